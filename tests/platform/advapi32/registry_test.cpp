#include <kplatform/kwindows.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "temp_root.h"

namespace {

using kestrel::test::RootedTest;

std::vector<BYTE> bytesOf(const std::u16string& text, bool withNul) {
  size_t n = (text.size() + (withNul ? 1 : 0)) * sizeof(char16_t);
  std::vector<BYTE> out(n, 0);
  std::memcpy(out.data(), text.data(), text.size() * sizeof(char16_t));
  return out;
}

LONG setBytes(HKEY key, const char16_t* name, DWORD type, const std::vector<BYTE>& data) {
  return RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
}

// The value by the two-call protocol; empty when missing.
std::vector<BYTE> queryBytes(HKEY key, const char16_t* name, DWORD* type = nullptr) {
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, type, nullptr, &size) != ERROR_SUCCESS) return {};
  std::vector<BYTE> data(size);
  if (RegQueryValueExW(key, name, nullptr, type, data.data(), &size) != ERROR_SUCCESS) return {};
  data.resize(size);
  return data;
}

std::u16string queryString(HKEY key, const char16_t* name) {
  std::vector<BYTE> data = queryBytes(key, name);
  std::u16string out(data.size() / 2, u'\0');
  std::memcpy(out.data(), data.data(), out.size() * 2);
  while (!out.empty() && out.back() == 0) out.pop_back();
  return out;
}

HKEY create(HKEY parent, const char16_t* path, REGSAM access = KEY_ALL_ACCESS) {
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(parent, path, 0, nullptr, 0, access, nullptr, &key, nullptr));
  return key;
}

std::vector<std::u16string> subKeyNames(HKEY key) {
  std::vector<std::u16string> names;
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD size = 256;
    LONG r = RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (r != ERROR_SUCCESS) {
      EXPECT_EQ(ERROR_NO_MORE_ITEMS, r);
      break;
    }
    names.emplace_back(name, size);
  }
  return names;
}

std::vector<std::u16string> valueNames(HKEY key) {
  std::vector<std::u16string> names;
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD size = 256;
    LONG r = RegEnumValueW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (r != ERROR_SUCCESS) {
      EXPECT_EQ(ERROR_NO_MORE_ITEMS, r);
      break;
    }
    names.emplace_back(name, size);
  }
  return names;
}

class Registry : public RootedTest {
 protected:
  void SetUp() override { handlesBefore_ = KpOpenHandleCount(); }
  void TearDown() override {
    KpResetMachineFacts();
    EXPECT_EQ(handlesBefore_, KpOpenHandleCount()) << "a key handle was left open";
  }
  size_t handlesBefore_ = 0;
};

// ---------------------------------------------------------------------------
// The two-call size protocol, for every type.

TEST_F(Registry, SizeProtocolForEveryType) {
  struct Case {
    const char16_t* name;
    DWORD type;
    std::vector<BYTE> data;
  };
  const Case cases[] = {
      {u"Text", REG_SZ, bytesOf(u"Kestrel", true)},
      {u"Expand", REG_EXPAND_SZ, bytesOf(u"%TEMP%\\x", true)},
      {u"Number", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
      {u"Blob", REG_BINARY, {0, 1, 2, 0, 0xFF, 0x80, 7}},
      {u"List", REG_MULTI_SZ, bytesOf(std::u16string(u"a\0bc\0", 5), true)},
      {u"Empty", REG_BINARY, {}},
      {u"", REG_SZ, bytesOf(u"default value", true)},
  };
  HKEY key = create(HKEY_LOCAL_MACHINE, u"Software\\Sizes");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)));
    ASSERT_EQ(ERROR_SUCCESS, setBytes(key, c.name, c.type, c.data));

    DWORD type = 99, size = 12345;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, c.name, nullptr, &type, nullptr, &size));
    EXPECT_EQ(c.type, type);
    EXPECT_EQ(c.data.size(), size);

    if (!c.data.empty()) {
      std::vector<BYTE> small(c.data.size() - 1, 0xAA);
      DWORD smallSize = static_cast<DWORD>(small.size());
      type = 99;
      EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExW(key, c.name, nullptr, &type, small.data(), &smallSize));
      EXPECT_EQ(c.data.size(), smallSize);
      EXPECT_EQ(c.type, type);
      EXPECT_EQ(std::vector<BYTE>(small.size(), 0xAA), small) << "a too-small buffer is left alone";
    }
    std::vector<BYTE> exact(c.data.size() + 8, 0xAA);
    DWORD exactSize = static_cast<DWORD>(c.data.size());
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, c.name, nullptr, nullptr, exact.data(), &exactSize));
    EXPECT_EQ(c.data, std::vector<BYTE>(exact.begin(), exact.begin() + exactSize));
    EXPECT_EQ(0xAA, exact[c.data.size()]) << "nothing written past the size given";
  }
  // Data without a size slot, or a missing value.
  BYTE buffer[4];
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExW(key, u"Number", nullptr, nullptr, buffer, nullptr));
  DWORD size = 4;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(key, u"Nope", nullptr, nullptr, buffer, &size));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegSetValueExW(key, u"X", 0, REG_BINARY, nullptr, 4));
  RegCloseKey(key);
}

TEST_F(Registry, StringsKeepTheStoredBytesAndGetATerminatorOnlyWhenThereIsRoom) {
  HKEY key = create(HKEY_LOCAL_MACHINE, u"Software\\Strings");
  // Stored with its length in bytes without the terminator: 8 bytes.
  ASSERT_EQ(ERROR_SUCCESS, setBytes(key, u"Stamp Version", REG_SZ, bytesOf(u"0.01", false)));
  DWORD size = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"Stamp Version", nullptr, nullptr, nullptr, &size));
  EXPECT_EQ(8u, size);

  WCHAR text[8];
  std::fill(std::begin(text), std::end(text), u'#');
  size = sizeof text;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"Stamp Version", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size));
  EXPECT_EQ(8u, size);
  EXPECT_EQ(u"0.01", std::u16string(text)) << "terminated because the buffer had room";

  std::fill(std::begin(text), std::end(text), u'#');
  size = 8;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"Stamp Version", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size));
  EXPECT_EQ(u'#', text[4]) << "no terminator written past a buffer of exactly the value's size";

  // The short form stores the string with its terminator in the sub-key's
  // default value, creating the sub-key; cbData is ignored.
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueW(key, u"TempFile\\C:/tmp/a.tmp", REG_SZ, u"[2026,12/10,14:00:00]", 3));
  HKEY record = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyW(key, u"TempFile\\C:/tmp/a.tmp", &record));
  size = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(record, nullptr, nullptr, nullptr, nullptr, &size));
  EXPECT_EQ((21u + 1u) * 2u, size);
  EXPECT_EQ(u"[2026,12/10,14:00:00]", queryString(record, u""));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegSetValueW(key, u"Other", REG_DWORD, u"x", 0));
  RegCloseKey(record);
  RegCloseKey(key);
}

// ---------------------------------------------------------------------------
// Names: case rules and paths.

TEST_F(Registry, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
  HKEY key = create(HKEY_LOCAL_MACHINE, u"Software\\Halcyra\\Zan NRV Printer Driver");
  HKEY same = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\halcyra\\ZAN nrv PRINTER driver", 0,
                                           nullptr, 0, KEY_ALL_ACCESS, nullptr, &same, &disposition));
  EXPECT_EQ(REG_OPENED_EXISTING_KEY, disposition);

  ASSERT_EQ(ERROR_SUCCESS, setBytes(key, u"PrinterData", REG_BINARY, {1}));
  ASSERT_EQ(ERROR_SUCCESS, setBytes(same, u"PRINTERDATA", REG_BINARY, {2, 2}));  // overwrites
  EXPECT_EQ((std::vector<BYTE>{2, 2}), queryBytes(key, u"printerdata"));
  EXPECT_EQ(std::vector<std::u16string>{u"PrinterData"}, valueNames(key));

  // Letters beyond ASCII fold too.
  HKEY accents = create(key, u"Café Ünïcode Ж");
  HKEY upper = nullptr;
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(key, u"CAFÉ üNÏCODE ж", 0, KEY_READ, &upper));

  HKEY software = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"software\\HALCYRA", 0, KEY_READ, &software));
  EXPECT_EQ(std::vector<std::u16string>{u"Zan NRV Printer Driver"}, subKeyNames(software));
  for (HKEY h : {key, same, accents, upper, software}) EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(h));
}

TEST_F(Registry, SubKeyPaths) {
  HKEY base = create(HKEY_LOCAL_MACHINE, u"Software\\Paths\\Deep");
  struct Case {
    std::u16string path;
    LONG open;
  };
  const Case cases[] = {
      {u"Software\\Paths\\Deep", ERROR_SUCCESS},
      {u"Software\\Paths\\Deep\\", ERROR_SUCCESS},  // one trailing backslash is ignored
      {u"\\Software\\Paths", ERROR_BAD_PATHNAME},
      {u"Software\\\\Paths", ERROR_BAD_PATHNAME},
      {u"Software\\Paths\\Missing", ERROR_FILE_NOT_FOUND},
      {u"Software\\" + std::u16string(256, u'k'), ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.size());
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(c.open, RegOpenKeyExW(HKEY_LOCAL_MACHINE, c.path.c_str(), 0, KEY_READ, &key));
    if (c.open == ERROR_SUCCESS)
      RegCloseKey(key);
    else
      EXPECT_EQ(nullptr, key);
  }
  // A 255-character name is allowed; a null or empty sub-key opens the key itself.
  HKEY longName = create(base, std::u16string(255, u'n').c_str());
  HKEY self = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(base, nullptr, 0, KEY_READ, &self));
  EXPECT_EQ(1u, subKeyNames(self).size());
  RegCloseKey(self);
  RegCloseKey(longName);
  RegCloseKey(base);
}

// ---------------------------------------------------------------------------
// Enumeration and key information.

TEST_F(Registry, EnumerationOrderAndBufferSizes) {
  HKEY key = create(HKEY_LOCAL_MACHINE, u"Software\\Enum");
  for (const char16_t* name : {u"beta", u"Alpha", u"gamma", u"_under"}) RegCloseKey(create(key, name));
  // '_' (0x5F) sorts after the upper-case letters, as names are compared upper-cased.
  EXPECT_EQ((std::vector<std::u16string>{u"Alpha", u"beta", u"gamma", u"_under"}), subKeyNames(key));

  for (const char16_t* name : {u"zeta", u"Eta", u"alpha"}) setBytes(key, name, REG_DWORD, {1, 0, 0, 0});
  setBytes(key, u"zeta", REG_BINARY, {9, 9, 9, 9, 9, 9});  // overwriting keeps the place
  EXPECT_EQ((std::vector<std::u16string>{u"zeta", u"Eta", u"alpha"}), valueNames(key));

  // A name buffer without room for the terminator.
  WCHAR name[8];
  DWORD nameSize = 4;
  EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueW(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(4u, nameSize);
  nameSize = 5;
  BYTE data[2];
  DWORD dataSize = 2, type = 0;
  EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueW(key, 0, name, &nameSize, nullptr, &type, data, &dataSize));
  EXPECT_EQ(6u, dataSize);
  EXPECT_EQ(REG_BINARY, type);
  EXPECT_EQ(u"zeta", std::u16string(name, nameSize));
  nameSize = 5;
  EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExW(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
  nameSize = 6;
  EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExW(key, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(5u, nameSize);

  DWORD subKeys = 0, maxSubKey = 0, values = 0, maxValueName = 0, maxValue = 0;
  FILETIME written = {};
  ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, &maxSubKey, nullptr, &values,
                                            &maxValueName, &maxValue, nullptr, &written));
  EXPECT_EQ(4u, subKeys);
  EXPECT_EQ(6u, maxSubKey);  // "_under", in characters
  EXPECT_EQ(3u, values);
  EXPECT_EQ(5u, maxValueName);  // "alpha"
  EXPECT_EQ(6u, maxValue);
  EXPECT_NE(0u, written.dwHighDateTime);

  HKEY empty = create(key, u"Alpha");
  EXPECT_TRUE(subKeyNames(empty).empty());
  EXPECT_TRUE(valueNames(empty).empty());
  RegCloseKey(empty);
  RegCloseKey(key);
}

TEST_F(Registry, EnumerationWithDeletionRestartingFromZero) {
  // The temporary-file sweep deletes the key at an index and starts again at 0.
  HKEY list = create(HKEY_LOCAL_MACHINE, u"Software\\Sweep\\TempFile");
  for (int i = 0; i < 5; ++i) RegCloseKey(create(list, (u"C:/tmp/f" + std::u16string(1, u'0' + i)).c_str()));
  int removed = 0;
  for (DWORD index = 0;;) {
    WCHAR name[261];
    DWORD size = 261;
    LONG r = RegEnumKeyExW(list, index, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(ERROR_SUCCESS, r);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(list, name));
    ++removed;
    index = 0;
  }
  EXPECT_EQ(5, removed);
  RegCloseKey(list);
}

// ---------------------------------------------------------------------------
// Deletion and handles.

TEST_F(Registry, DeleteKeyRefusesSubKeysAndTakesItsValues) {
  HKEY parent = create(HKEY_LOCAL_MACHINE, u"Software\\Del");
  HKEY child = create(parent, u"Child\\Grandchild");
  ASSERT_EQ(ERROR_SUCCESS, setBytes(child, u"v", REG_DWORD, {1, 2, 3, 4}));

  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(parent, u"Child"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyW(parent, u"Nothing"));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyW(parent, nullptr));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(parent, u"CHILD\\grandchild"));

  // The open handle now names a deleted key.
  DWORD size = 0;
  EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExW(child, u"v", nullptr, nullptr, nullptr, &size));
  EXPECT_EQ(ERROR_KEY_DELETED, setBytes(child, u"v", REG_DWORD, {1, 2, 3, 4}));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(child));

  // A key made again under the same name starts empty.
  HKEY again = create(parent, u"Child\\Grandchild");
  EXPECT_TRUE(valueNames(again).empty());
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(again, u""));  // the key itself
  EXPECT_EQ(ERROR_KEY_DELETED, RegDeleteValueW(again, u"v"));
  RegCloseKey(again);

  ASSERT_EQ(ERROR_SUCCESS, setBytes(parent, u"x", REG_DWORD, {0, 0, 0, 0}));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(parent, u"X"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(parent, u"x"));
  RegCloseKey(parent);

  HKEY hiveRoot = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"", 0, KEY_ALL_ACCESS, &hiveRoot));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(hiveRoot, u""));
  RegCloseKey(hiveRoot);
}

TEST_F(Registry, HandlesAndAccessRights) {
  RegCloseKey(create(HKEY_LOCAL_MACHINE, u"Software\\Rights"));
  HKEY reader = nullptr, writer = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Rights", 0, KEY_READ, &reader));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Rights", 0, KEY_SET_VALUE, &writer));
  EXPECT_EQ(ERROR_ACCESS_DENIED, setBytes(reader, u"v", REG_DWORD, {1, 0, 0, 0}));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueW(reader, u"v"));
  HKEY sub = nullptr;
  EXPECT_EQ(ERROR_ACCESS_DENIED,
            RegCreateKeyExW(reader, u"New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr));
  EXPECT_EQ(ERROR_SUCCESS, setBytes(writer, u"v", REG_DWORD, {1, 0, 0, 0}));
  DWORD size = 0;
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegQueryValueExW(writer, u"v", nullptr, nullptr, nullptr, &size));
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(reader, u"v", nullptr, nullptr, nullptr, &size));

  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(reader));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(reader)) << "closed twice";
  EXPECT_EQ(ERROR_INVALID_HANDLE, setBytes(reader, u"v", REG_DWORD, {1, 0, 0, 0}));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(writer));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u))))
      << "the predefined key's low 32 bits alone";
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000009u))));

  // A non-key handle is not closed by RegCloseKey.
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(nullptr, event);
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(static_cast<HKEY>(event)));
  EXPECT_TRUE(CloseHandle(event));
}

// ---------------------------------------------------------------------------
// Hives: HKEY_CURRENT_USER follows the user name.

TEST_F(Registry, CurrentUserIsTheHiveOfTheUserNamedNow) {
  ASSERT_TRUE(KpSetUserName(u"alice"));
  HKEY alice = create(HKEY_CURRENT_USER, u"Software\\Kestrel");
  ASSERT_EQ(ERROR_SUCCESS, setBytes(alice, u"who", REG_SZ, bytesOf(u"alice", true)));
  ASSERT_EQ(ERROR_SUCCESS, setBytes(HKEY_CURRENT_USER, u"RootValue", REG_DWORD, {1, 0, 0, 0}));

  ASSERT_TRUE(KpSetUserName(u"bob"));
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Kestrel", 0, KEY_READ, &key));
  EXPECT_TRUE(queryBytes(HKEY_CURRENT_USER, u"RootValue").empty());
  EXPECT_TRUE(subKeyNames(HKEY_CURRENT_USER).empty());
  // A handle keeps the hive it was opened in.
  EXPECT_EQ(u"alice", queryString(alice, u"who"));
  HKEY bobs = create(HKEY_CURRENT_USER, u"Software\\Kestrel");
  ASSERT_EQ(ERROR_SUCCESS, setBytes(bobs, u"who", REG_SZ, bytesOf(u"bob", true)));

  ASSERT_TRUE(KpSetUserName(u"ALICE"));  // user names compare without case
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Kestrel", 0, KEY_READ, &key));
  EXPECT_EQ(u"alice", queryString(key, u"who"));
  RegCloseKey(key);
  // The machine hive is apart from every user's.
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Kestrel", 0, KEY_READ, &key));
  for (HKEY h : {alice, bobs}) RegCloseKey(h);

  // Without a user there is no current user's hive.
  ASSERT_TRUE(KpSetUserName(nullptr));
  EXPECT_EQ(ERROR_CANTOPEN, RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, &key));
}

// ---------------------------------------------------------------------------
// Persistence: a reopened store, another root, another process.

TEST_F(Registry, ValuesSurviveReopeningTheStore) {
  HKEY key = create(HKEY_LOCAL_MACHINE, u"Software\\Persist");
  ASSERT_EQ(ERROR_SUCCESS, setBytes(key, u"Data", REG_BINARY, {1, 2, 3}));

  // Setting the root again closes the store; the next call reopens it.
  ASSERT_TRUE(KpSetRoot(root_.path().c_str()));
  EXPECT_EQ((std::vector<BYTE>{1, 2, 3}), queryBytes(key, u"Data")) << "a handle survives a reopen of its store";
  HKEY again = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"software\\persist", 0, KEY_READ, &again));
  EXPECT_EQ((std::vector<BYTE>{1, 2, 3}), queryBytes(again, u"data"));

  // Another root is another registry; handles of the old one answer "deleted".
  {
    kestrel::test::TempRoot other;
    HKEY missing = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Persist", 0, KEY_READ, &missing));
    DWORD size = 0;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExW(key, u"Data", nullptr, nullptr, nullptr, &size));
  }
  ASSERT_TRUE(KpSetRoot(root_.path().c_str()));
  EXPECT_EQ((std::vector<BYTE>{1, 2, 3}), queryBytes(again, u"Data"));
  RegCloseKey(again);
  RegCloseKey(key);
}

TEST_F(Registry, AFileThatIsNotAStoreIsLeftAlone) {
  std::string junk = "this is not a database, and it must not be overwritten\n";
  kestrel::test::WriteHostFile(root_.host("registry.db"), junk + std::string(4096, 'x'));
  ASSERT_TRUE(KpSetRoot(root_.path().c_str()));
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_CANTOPEN, RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                            &key, nullptr));
  EXPECT_EQ(junk + std::string(4096, 'x'), kestrel::test::ReadHostFile(root_.host("registry.db")));
}

// Runs `child` in a forked process; its exit code is the result.
int inChild(const std::function<int()>& child) {
  pid_t pid = fork();
  if (pid == 0) _exit(child());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST_F(Registry, TwoProcessesSeeEachOthersWrites) {
  HKEY key = create(HKEY_LOCAL_MACHINE, u"Software\\Shared");  // the store is open in the parent
  ASSERT_EQ(ERROR_SUCCESS, setBytes(key, u"FromParent", REG_DWORD, {7, 0, 0, 0}));

  int result = inChild([] {
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Shared", 0, KEY_ALL_ACCESS, &k) != ERROR_SUCCESS) return 1;
    DWORD value = 0, size = 4;
    if (RegQueryValueExW(k, u"FromParent", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        value != 7)
      return 2;
    DWORD mine = 42;
    if (RegSetValueExW(k, u"FromChild", 0, REG_DWORD, reinterpret_cast<BYTE*>(&mine), 4) != ERROR_SUCCESS) return 3;
    if (RegCreateKeyW(k, u"ChildKey", &k) != ERROR_SUCCESS) return 4;
    return 0;
  });
  ASSERT_EQ(0, result);

  EXPECT_EQ((std::vector<BYTE>{42, 0, 0, 0}), queryBytes(key, u"FromChild"));
  EXPECT_EQ(std::vector<std::u16string>{u"ChildKey"}, subKeyNames(key));
  // And a change of the parent after the child's is seen by the next child.
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, u"FromChild"));
  EXPECT_EQ(0, inChild([] {
              HKEY k = nullptr;
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Shared", 0, KEY_READ, &k);
              DWORD size = 0;
              return RegQueryValueExW(k, u"FromChild", nullptr, nullptr, nullptr, &size) == ERROR_FILE_NOT_FOUND ? 0 : 1;
            }));
  RegCloseKey(key);
}

TEST_F(Registry, AKilledWriterLeavesNoHalfValue) {
  // Each value holds 64 KiB of one byte; a writer killed at any moment must
  // leave every value either absent or whole.
  constexpr int kValues = 400;
  constexpr size_t kSize = 64 * 1024;
  int ready[2];
  ASSERT_EQ(0, pipe(ready));
  pid_t pid = fork();
  if (pid == 0) {
    close(ready[0]);
    HKEY k = nullptr;
    if (RegCreateKeyW(HKEY_LOCAL_MACHINE, u"Software\\Crash", &k) != ERROR_SUCCESS) _exit(1);
    std::vector<BYTE> data(kSize);
    for (int i = 0; i < kValues; ++i) {
      std::fill(data.begin(), data.end(), static_cast<BYTE>(i));
      std::u16string name = u"v" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                            std::u16string(1, static_cast<char16_t>(u'A' + i / 26));
      RegSetValueExW(k, name.c_str(), 0, REG_BINARY, data.data(), static_cast<DWORD>(kSize));
      if (i == 10) (void)!write(ready[1], "x", 1);
    }
    _exit(0);
  }
  close(ready[1]);
  char c;
  ASSERT_EQ(1, read(ready[0], &c, 1));
  close(ready[0]);
  usleep(20000);
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);

  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Crash", 0, KEY_READ, &key));
  std::vector<std::u16string> names = valueNames(key);
  EXPECT_GE(names.size(), 11u);
  for (const std::u16string& name : names) {
    int i = (name[1] - u'A') + 26 * (name[2] - u'A');
    std::vector<BYTE> data = queryBytes(key, name.c_str());
    ASSERT_EQ(kSize, data.size()) << i;
    EXPECT_EQ(std::vector<BYTE>(kSize, static_cast<BYTE>(i)), data) << i;
  }
  RegCloseKey(key);
}

}  // namespace
