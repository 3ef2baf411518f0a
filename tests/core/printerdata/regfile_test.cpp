// Temporary files recorded in the current user's registry: the sweep of both
// lists (owner window alive, file age, file gone, values not ours), the
// recording (top-level owner, no duplicates, first free number), and the
// key prefixes of the explicit sweep.
#include <sys/stat.h>

#include "kestrel/core/regfile.h"
#include "kplatform/kernel32_file.h"
#include "kplatform/kernel32_time.h"
#include "kplatform/user32_window.h"
#include "pd_fixture.h"

namespace kestrel::test::pd {
namespace {

constexpr char16_t kTempList[] = u"Software\\Halcyra\\Kestrel\\Scriva K350\\TempFile";
constexpr char16_t kFaxList[] = u"SOFTWARE\\Halcyra\\Kestrel\\Scriva K350\\DirectFax\\TempFile";
const HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(0x10000000);

struct Stored {
  std::u16string name;
  REGFILE_RECORD record;
};

class RegFileTest : public PdTest {
 protected:
  void SetUp() override {
    PdTest::SetUp();
    SYSTEMTIME start = {2026, 3, 0, 2, 9, 0, 0, 0};
    ASSERT_TRUE(KpSetClock(&start));
  }
  void TearDown() override {
    KpSetClock(nullptr);
    PdTest::TearDown();
  }

  // A file below C:\Windows\Temp, written now (on the platform's clock).
  std::u16string MakeFile(const char* name) {
    std::u16string path = u"C:\\Windows\\Temp\\" + Widen(name);
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(f, "x", 1, &written, nullptr);
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    SetFileTime(f, nullptr, &now, &now);
    CloseHandle(f);
    return path;
  }
  static bool Exists(const std::u16string& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

  void MoveClockDays(WORD days) {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    ULONGLONG t = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    t += static_cast<ULONGLONG>(days) * 86400ull * 10000000ull;
    FILETIME later = {static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
    SYSTEMTIME st{};
    FileTimeToSystemTime(&later, &st);
    ASSERT_TRUE(KpSetClock(&st));
  }

  std::vector<Stored> List(const char16_t* key = kTempList) {
    std::vector<Stored> out;
    HKEY k = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return out;
    for (DWORD i = 0;; ++i) {
      WCHAR name[300];
      DWORD chars = 300;
      BYTE data[REGFILE_RECORD_SIZE];
      DWORD size = sizeof data;
      DWORD type = 0;
      LONG rc = RegEnumValueW(k, i, name, &chars, nullptr, &type, data, &size);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      Stored s{name, {}};
      if (rc == ERROR_SUCCESS && size == sizeof s.record) std::memcpy(&s.record, data, size);
      out.push_back(s);
    }
    RegCloseKey(k);
    return out;
  }
  void PutRaw(const char16_t* key, const char16_t* name, DWORD type, const void* bytes, DWORD size) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), 0);
    ASSERT_EQ(RegSetValueExW(k, name, 0, type, static_cast<const BYTE*>(bytes), size), 0);
    RegCloseKey(k);
  }
  void PutRecord(const char16_t* key, const char16_t* name, const std::u16string& path, DWORD window,
                 DWORD instance) {
    REGFILE_RECORD r{};
    std::memcpy(r.path, path.c_str(), (path.size() + 1) * 2);
    r.window = window;
    r.instance = instance;
    PutRaw(key, name, REG_BINARY, &r, sizeof r);
  }
};

TEST_F(RegFileTest, RecordsTheTopLevelOwnerOnceAndNumbersFromTheFirstFreeValue) {
  HWND top = KpCreateTestWindow(nullptr, kInstance);
  HWND child = KpCreateTestWindow(top, kInstance);
  std::u16string a = MakeFile("a.tmp"), b = MakeFile("b.tmp");
  ASSERT_EQ(RegFile_SetTmpFile(ddd_, child, a.c_str()), ERROR_SUCCESS);
  // The same file for the same owner, in other letter case: still one record.
  std::u16string upper = u"C:\\WINDOWS\\TEMP\\A.TMP";
  ASSERT_EQ(RegFile_SetTmpFile(ddd_, top, upper.c_str()), ERROR_SUCCESS);
  ASSERT_EQ(RegFile_SetTmpFile(ddd_, top, b.c_str()), ERROR_SUCCESS);
  auto list = List();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, u"DFaxInfo_1");
  EXPECT_EQ(std::u16string(list[0].record.path), a);
  EXPECT_EQ(list[0].record.window, static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(top)));
  EXPECT_EQ(list[0].record.instance, 0x10000000u);
  EXPECT_EQ(list[1].name, u"DFaxInfo_2");
  EXPECT_TRUE(RegFile_IsRecorded(ddd_, u"c:\\windows\\temp\\b.tmp"));
  EXPECT_FALSE(RegFile_IsRecorded(ddd_, u"C:\\Windows\\Temp\\c.tmp"));

  // A gap is filled first.
  HKEY k = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kTempList, 0, KEY_ALL_ACCESS, &k), 0);
  RegDeleteValueW(k, u"DFaxInfo_1");
  RegCloseKey(k);
  std::u16string c = MakeFile("c.tmp");
  ASSERT_EQ(RegFile_SetTmpFile(ddd_, top, c.c_str()), ERROR_SUCCESS);
  bool one = false;
  for (const auto& s : List())
    if (s.name == u"DFaxInfo_1") one = std::u16string(s.record.path) == c;
  EXPECT_TRUE(one);
}

TEST_F(RegFileTest, SweepKeepsLiveOwnersAndYoungFilesAndRemovesTheRest) {
  HWND open = KpCreateTestWindow(nullptr, kInstance);
  HWND closed = KpCreateTestWindow(nullptr, kInstance);
  DWORD openId = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(open));
  DWORD closedId = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(closed));
  std::u16string live = MakeFile("live.tmp"), old = MakeFile("old.tmp"), young = MakeFile("young.tmp");
  std::u16string otherInstance = MakeFile("other.tmp");
  ASSERT_TRUE(DestroyWindow(closed));
  PutRecord(kTempList, u"DFaxInfo_1", live, openId, 0x10000000u);
  PutRecord(kTempList, u"DFaxInfo_2", old, closedId, 0x10000000u);
  PutRecord(kFaxList, u"DFaxInfo_1", u"C:\\Windows\\Temp\\gone.tmp", openId, 0x10000000u);
  // The window exists but reports another instance: it is not the owner.
  PutRecord(kFaxList, u"DFaxInfo_2", otherInstance, openId, 0x20000000u);

  // Eight days on, a file made now stays young.
  MoveClockDays(8);
  PutRecord(kTempList, u"DFaxInfo_3", young = MakeFile("young.tmp"), closedId, 0);
  ASSERT_EQ(RegFile_DeleteTmpFile(ddd_, nullptr, nullptr), ERROR_SUCCESS);

  auto temp = List();
  ASSERT_EQ(temp.size(), 2u);
  EXPECT_EQ(std::u16string(temp[0].record.path), live);
  EXPECT_EQ(std::u16string(temp[1].record.path), young);
  EXPECT_TRUE(Exists(live));
  EXPECT_FALSE(Exists(old));
  EXPECT_TRUE(Exists(young));
  EXPECT_TRUE(List(kFaxList).empty());
  EXPECT_FALSE(Exists(otherInstance));
}

TEST_F(RegFileTest, ValuesThatAreNotRecordsAreLeftAlone) {
  std::u16string old = MakeFile("old.tmp");
  REGFILE_RECORD r{};
  std::memcpy(r.path, old.c_str(), (old.size() + 1) * 2);
  PutRaw(kTempList, u"Other", REG_BINARY, &r, sizeof r);                   // another name
  PutRaw(kTempList, u"DFaxInfo_1", REG_BINARY, &r, sizeof r - 1);          // short
  PutRaw(kTempList, u"DFaxInfo_2", REG_SZ, &r, sizeof r);                  // not binary
  REGFILE_RECORD unterminated;
  std::memset(&unterminated, 'A', sizeof unterminated);
  PutRaw(kTempList, u"DFaxInfo_3", REG_BINARY, &unterminated, sizeof unterminated);
  std::vector<BYTE> big(REGFILE_RECORD_SIZE + 10, 0);
  std::memcpy(big.data(), &r, sizeof r);
  PutRaw(kTempList, u"DFaxInfo_4", REG_BINARY, big.data(), static_cast<DWORD>(big.size()));
  MoveClockDays(8);
  ASSERT_EQ(RegFile_DeleteTmpFile(ddd_, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(List().size(), 5u);
  EXPECT_TRUE(Exists(old));
}

TEST_F(RegFileTest, AFileThatCannotBeDeletedKeepsItsRecord) {
  std::u16string stuck = MakeFile("stuck.tmp");
  PutRecord(kTempList, u"DFaxInfo_1", stuck, 0, 0);
  ASSERT_EQ(chmod(root_.host("c/Windows/Temp/stuck.tmp").c_str(), 0444), 0);  // read-only: not deleted
  MoveClockDays(8);
  ASSERT_EQ(RegFile_DeleteTmpFile(ddd_, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(List().size(), 1u);
  EXPECT_TRUE(Exists(stuck));
  chmod(root_.host("c/Windows/Temp/stuck.tmp").c_str(), 0644);
  ASSERT_EQ(RegFile_DeleteTmpFile(ddd_, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_TRUE(List().empty());
  EXPECT_FALSE(Exists(stuck));
}

TEST_F(RegFileTest, GivenPrefixesReplaceTheDescriptionsPaths) {
  PutRecord(u"Other\\TempFile", u"DFaxInfo_1", u"C:\\Windows\\Temp\\gone1.tmp", 0, 0);
  PutRecord(u"Other\\DirectFax\\TempFile", u"DFaxInfo_1", u"C:\\Windows\\Temp\\gone2.tmp", 0, 0);
  PutRecord(kTempList, u"DFaxInfo_1", u"C:\\Windows\\Temp\\gone3.tmp", 0, 0);
  EXPECT_EQ(RegFile_DeleteTmpFile(nullptr, u"Other\\", nullptr), ERROR_INVALID_PARAMETER);
  ASSERT_EQ(RegFile_DeleteTmpFile(nullptr, u"Other\\", u"Other\\"), ERROR_SUCCESS);
  EXPECT_TRUE(List(u"Other\\TempFile").empty());
  EXPECT_TRUE(List(u"Other\\DirectFax\\TempFile").empty());
  EXPECT_EQ(List().size(), 1u);
  // Missing lists are nothing to sweep.
  EXPECT_EQ(RegFile_DeleteTmpFile(nullptr, u"Nowhere\\", u"Nowhere\\"), ERROR_SUCCESS);
  EXPECT_EQ(RegFile_SetTmpFile(ddd_, nullptr, nullptr), ERROR_INVALID_PARAMETER);
  std::u16string tooLong(REGFILE_PATH_CHARS, u'a');
  EXPECT_EQ(RegFile_SetTmpFile(ddd_, nullptr, tooLong.c_str()), ERROR_INVALID_PARAMETER);
}

}  // namespace
}  // namespace kestrel::test::pd
