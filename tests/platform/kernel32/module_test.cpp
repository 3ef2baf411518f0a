// The loader: the module-name rule, reference counts with DllMain attach and
// detach, GetProcAddress, GetModuleFileNameW, GetModuleHandleW, and the last
// error shared by every library.
#include <kplatform/kernel32_module.h>
#include <kplatform/kernel32_resource.h>

#include <string>

#include "kptest_count.h"
#include "temp_root.h"

namespace {

using kestrel::test::RootedTest;

const std::string kDriverDir = "c/Windows/system32/spool/drivers/x64/3/";
const std::string kSystemDir = "c/Windows/system32/";

// A minimal valid container: one RCDATA resource (type 10, id 1) holding `tag`.
std::string container(const std::string& tag) {
  std::string bytes = "KRES";
  auto put16 = [&](uint32_t v) { bytes += char(v & 0xFF), bytes += char((v >> 8) & 0xFF); };
  auto put32 = [&](uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
  const uint32_t padded = (static_cast<uint32_t>(tag.size()) + 3) & ~3u;
  put16(1), put16(0), put32(1), put32(16 + 12 + padded);
  put16(10), put16(1), put32(28), put32(static_cast<uint32_t>(tag.size()));
  bytes += tag;
  bytes.resize(16 + 12 + padded, '\0');
  return bytes;
}

std::string rcdataOf(HMODULE module) {
  HRSRC r = FindResourceW(module, MAKEINTRESOURCEW(1), RT_RCDATA);
  if (r == nullptr) return "<none>";
  const char* p = static_cast<const char*>(LockResource(LoadResource(module, r)));
  return std::string(p, SizeofResource(module, r));
}

// An export by name as a function of the given type.
template <class Fn>
Fn proc(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::u16string fileNameOf(HMODULE module) {
  WCHAR buffer[MAX_PATH];
  DWORD n = GetModuleFileNameW(module, buffer, MAX_PATH);
  return std::u16string(buffer, n);
}

class ModuleTest : public RootedTest {
 protected:
  void SetUp() override {
    KpTestResetEvents();
    ASSERT_TRUE(KpInstallModule("libkptestmod.so", nullptr));
    ASSERT_TRUE(KpInstallModule("libkptestfail.so", nullptr));
    baseline_ = KpLoadedModuleCount();
  }
  void TearDown() override { EXPECT_EQ(baseline_, KpLoadedModuleCount()) << "a test left a module loaded"; }
  KpTestModuleEvents& events(const char* name) { return *KpTestEvents(name); }
  size_t baseline_ = 0;
};

TEST_F(ModuleTest, AttachOnFirstLoadDetachOnLastFreeWithOneHandlePerFile) {
  HMODULE a = LoadLibraryW(u"kptestmod.dll");
  ASSERT_NE(nullptr, a);
  EXPECT_EQ(1, events("kptestmod").attaches);
  EXPECT_EQ(reinterpret_cast<HINSTANCE>(a), events("kptestmod").lastInstance);

  // Other names that reach the same file: the same module, one more reference, no second attach.
  HMODULE b = LoadLibraryW(u"KPTESTMOD");
  HMODULE c = LoadLibraryExW(u"C:\\WINDOWS\\System32\\Spool\\DRIVERS\\x64\\3\\libkptestmod.so", nullptr, 0);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, c);
  EXPECT_EQ(1, events("kptestmod").attaches);
  EXPECT_EQ(a, GetModuleHandleW(u"KpTestMod"));

  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_TRUE(FreeLibrary(b));
  EXPECT_EQ(0, events("kptestmod").detaches);
  EXPECT_EQ(a, GetModuleHandleW(u"kptestmod.dll"));
  EXPECT_TRUE(FreeLibrary(c));
  EXPECT_EQ(1, events("kptestmod").detaches);
  EXPECT_EQ(reinterpret_cast<HINSTANCE>(a), events("kptestmod").lastInstance);

  // Gone: the handle is dead everywhere.
  SetLastError(0);
  EXPECT_EQ(nullptr, GetModuleHandleW(u"kptestmod.dll"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
  EXPECT_FALSE(FreeLibrary(a));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
  WCHAR buffer[8];
  EXPECT_EQ(0u, GetModuleFileNameW(a, buffer, 8));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());

  // A fresh load attaches again, under a new handle.
  HMODULE d = LoadLibraryW(u"kptestmod.dll");
  ASSERT_NE(nullptr, d);
  EXPECT_NE(a, d);
  EXPECT_EQ(2, events("kptestmod").attaches);
  EXPECT_TRUE(FreeLibrary(d));
  EXPECT_EQ(2, events("kptestmod").detaches);
}

TEST_F(ModuleTest, DllMainSeesItsOwnFileNameAndStringTable) {
  HMODULE h = LoadLibraryW(u"kptestmod.dll");
  ASSERT_NE(nullptr, h);
  EXPECT_EQ(u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\kptestmod.dll",
            std::u16string(events("kptestmod").fileNameAtAttach));
  EXPECT_EQ(u"kestrelrs.zrs", std::u16string(events("kptestmod").string32767AtAttach));
  EXPECT_TRUE(FreeLibrary(h));
}

TEST_F(ModuleTest, AttachRefusedFailsTheLoadAfterADetach) {
  SetLastError(0);
  EXPECT_EQ(nullptr, LoadLibraryW(u"kptestfail.dll"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_DLL_INIT_FAILED), GetLastError());
  EXPECT_EQ(1, events("kptestfail").attaches);
  EXPECT_EQ(1, events("kptestfail").detaches);
  EXPECT_EQ(nullptr, GetModuleHandleW(u"kptestfail.dll"));
}

TEST_F(ModuleTest, GetProcAddressFindsOnlyTheModulesOwnExports) {
  HMODULE h = LoadLibraryW(u"kptestmod.dll");
  ASSERT_NE(nullptr, h);
  auto answer = proc<int (*)()>(h, "KpTestModAnswer");
  ASSERT_NE(nullptr, answer);
  EXPECT_EQ(42, answer());
  // Missing names, names of the libraries it links, and ordinals are not found.
  for (const char* name : {"NoSuchFunction", "SetLastError", "KpTestRecord", "kptestmodanswer"}) {
    SetLastError(0);
    EXPECT_EQ(nullptr, GetProcAddress(h, name)) << name;
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError()) << name;
  }
  EXPECT_EQ(nullptr, GetProcAddress(h, reinterpret_cast<LPCSTR>(1)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
  EXPECT_TRUE(FreeLibrary(h));
  SetLastError(0);
  EXPECT_EQ(nullptr, GetProcAddress(h, "KpTestModAnswer"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

TEST_F(ModuleTest, LastErrorSetInOneLibraryIsSeenByAnother) {
  HMODULE h = LoadLibraryW(u"kptestmod.dll");
  ASSERT_NE(nullptr, h);
  auto setLastError = proc<void (*)(DWORD)>(h, "KpTestModSetLastError");
  ASSERT_NE(nullptr, setLastError);
  SetLastError(0);
  setLastError(1234);
  EXPECT_EQ(1234u, GetLastError());
  EXPECT_TRUE(FreeLibrary(h));
}

TEST_F(ModuleTest, ModuleFileNameTruncatesAsWindowsDoes) {
  HMODULE h = LoadLibraryW(u"kptestmod.dll");
  ASSERT_NE(nullptr, h);
  const std::u16string full = fileNameOf(h);
  ASSERT_FALSE(full.empty());
  WCHAR buffer[MAX_PATH];
  for (DWORD i = 0; i < MAX_PATH; ++i) buffer[i] = u'#';
  SetLastError(0);
  EXPECT_EQ(10u, GetModuleFileNameW(h, buffer, 10));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(full.substr(0, 9), std::u16string(buffer));
  EXPECT_EQ(u'#', buffer[10]);
  // Exactly the length: no room for the NUL, so truncated too.
  EXPECT_EQ(static_cast<DWORD>(full.size()), GetModuleFileNameW(h, buffer, static_cast<DWORD>(full.size())));
  EXPECT_EQ(static_cast<DWORD>(full.size()), GetModuleFileNameW(h, buffer, static_cast<DWORD>(full.size() + 1)));
  EXPECT_EQ(full, std::u16string(buffer));
  EXPECT_TRUE(FreeLibrary(h));
}

// The name rule, one row per name. Files in the root: the two test modules
// (libkptestmod.so, libkptestfail.so) and, per row, the containers below.
TEST_F(ModuleTest, NameRule) {
  using kestrel::test::WriteHostFile;
  WriteHostFile(root_.host(kDriverDir + "Data.ZRS"), container("driver data"));
  WriteHostFile(root_.host(kDriverDir + "both.zrs"), container("driver copy"));
  WriteHostFile(root_.host(kSystemDir + "both.zrs"), container("system copy"));
  WriteHostFile(root_.host(kSystemDir + "sysonly.zrs"), container("system only"));
  WriteHostFile(root_.host("c/Other/side.zrs"), container("other folder"));
  WriteHostFile(root_.host(kDriverDir + "noext"), container("no extension"));
  ASSERT_TRUE(KpInstallModule("libkptestmod.so", u"Alias.DLL"));

  struct Row {
    const char16_t* name;
    DWORD flags;
    const char* rcdata;            // resource-only rows: what the container holds
    const char16_t* fileName;      // what GetModuleFileNameW answers, or null when the load fails
    DWORD error;                   // the last error of a failed load
  };
  const DWORD kRes = DONT_RESOLVE_DLL_REFERENCES | LOAD_WITH_ALTERED_SEARCH_PATH;
  const std::u16string dd = u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\";
  const Row rows[] = {
      // ".dll" is the file name.dll, or else libname.so; no extension means ".dll".
      {u"kptestmod.dll", 0, nullptr, u"kptestmod.dll", 0},
      {u"KPTESTMOD.DLL", 0, nullptr, u"KPTESTMOD.DLL", 0},
      {u"kptestmod", 0, nullptr, u"kptestmod.dll", 0},
      {u"libkptestmod.so", 0, nullptr, u"libkptestmod.so", 0},
      {u"alias.dll", 0, nullptr, u"Alias.DLL", 0},
      {u"kptestmod.so", 0, nullptr, nullptr, ERROR_MOD_NOT_FOUND},
      {u"nosuchmodule.dll", 0, nullptr, nullptr, ERROR_MOD_NOT_FOUND},
      {u"kptestmod.", 0, nullptr, nullptr, ERROR_MOD_NOT_FOUND},  // trailing dot: no extension, no such file
      // Other extensions name exactly that file, in any case.
      {u"data.zrs", kRes, "driver data", u"Data.ZRS", 0},
      {u"DATA.zrs", LOAD_LIBRARY_AS_DATAFILE, "driver data", u"Data.ZRS", 0},
      {u"data", kRes, nullptr, nullptr, ERROR_MOD_NOT_FOUND},
      {u"noext.", kRes, "no extension", u"noext", 0},
      // The driver directory comes before system32.
      {u"both.zrs", kRes, "driver copy", u"both.zrs", 0},
      {u"sysonly.zrs", kRes, "system only", u"C:\\Windows\\system32\\sysonly.zrs", 0},
      // A name with a folder is looked for there only.
      {u"c:\\other\\SIDE.zrs", kRes, "other folder", u"C:\\Other\\side.zrs", 0},
      {u"C:\\Other\\data.zrs", kRes, nullptr, nullptr, ERROR_MOD_NOT_FOUND},
      {u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\KPTESTMOD.dll", 0, nullptr, u"KPTESTMOD.dll", 0},
      // Code and resource-only loads each want their own kind of file.
      {u"data.zrs", 0, nullptr, nullptr, ERROR_BAD_EXE_FORMAT},
      {u"kptestmod.dll", kRes, nullptr, nullptr, ERROR_BAD_EXE_FORMAT},
      {u"", 0, nullptr, nullptr, ERROR_INVALID_PARAMETER},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name, row.name + std::char_traits<char16_t>::length(row.name)));
    SetLastError(0);
    HMODULE h = LoadLibraryExW(row.name, nullptr, row.flags);
    if (row.fileName == nullptr) {
      EXPECT_EQ(nullptr, h);
      EXPECT_EQ(row.error, GetLastError());
      continue;
    }
    ASSERT_NE(nullptr, h);
    std::u16string expected = row.fileName;
    if (expected.find(u'\\') == std::u16string::npos) expected = dd + expected;
    EXPECT_EQ(expected, fileNameOf(h));
    if (row.rcdata != nullptr) {
      EXPECT_EQ(row.rcdata, rcdataOf(h));
      EXPECT_EQ(nullptr, GetProcAddress(h, "DllMain"));
    }
    EXPECT_TRUE(FreeLibrary(h));
  }
  EXPECT_EQ(0, events("kptestmod").attaches - events("kptestmod").detaches);
}

TEST_F(ModuleTest, ResourceOnlyLoadsAreCountedPerFile) {
  kestrel::test::WriteHostFile(root_.host(kDriverDir + "data.zrs"), container("x"));
  const DWORD kRes = DONT_RESOLVE_DLL_REFERENCES | LOAD_WITH_ALTERED_SEARCH_PATH;
  HMODULE a = LoadLibraryExW(u"data.zrs", nullptr, kRes);
  HMODULE b = LoadLibraryExW(u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\DATA.ZRS", nullptr, kRes);
  ASSERT_NE(nullptr, a);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, GetModuleHandleW(u"data.zrs"));
  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_EQ("x", rcdataOf(b));  // still loaded: one reference left
  EXPECT_TRUE(FreeLibrary(b));
  EXPECT_EQ(nullptr, GetModuleHandleW(u"data.zrs"));
  EXPECT_FALSE(FreeLibrary(b));
}

// DisableThreadLibraryCalls takes a loaded code module only: the loader
// makes no thread calls, so there is nothing else to check.
TEST_F(ModuleTest, DisableThreadLibraryCallsChecksTheModule) {
  HMODULE code = LoadLibraryW(u"kptestmod.dll");
  ASSERT_NE(nullptr, code);
  EXPECT_TRUE(DisableThreadLibraryCalls(code));
  kestrel::test::WriteHostFile(root_.host(kDriverDir + "data.zrs"), container("x"));
  HMODULE data = LoadLibraryExW(u"data.zrs", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, data);
  SetLastError(0);
  EXPECT_FALSE(DisableThreadLibraryCalls(data));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_TRUE(FreeLibrary(data));
  EXPECT_TRUE(FreeLibrary(code));
  for (HMODULE stale : {code, static_cast<HMODULE>(nullptr), reinterpret_cast<HMODULE>(0x1234)}) {
    SetLastError(0);
    EXPECT_FALSE(DisableThreadLibraryCalls(stale));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
  }
}

TEST_F(ModuleTest, BadArgumentsAreRefused) {
  SetLastError(0);
  EXPECT_EQ(nullptr, LoadLibraryW(nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(nullptr, LoadLibraryExW(u"kptestmod.dll", nullptr, 0x100));  // a flag the loader does not take
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(nullptr, LoadLibraryExW(u"kptestmod.dll", INVALID_HANDLE_VALUE, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(nullptr, GetModuleHandleW(nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
  EXPECT_FALSE(FreeLibrary(nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
  EXPECT_EQ(0, events("kptestmod").attaches);
}

TEST_F(ModuleTest, LoadLibraryATakesAnsiNames) {
  HMODULE h = LoadLibraryA("KpTestMod.dll");
  ASSERT_NE(nullptr, h);
  EXPECT_EQ(h, GetModuleHandleW(u"kptestmod"));
  EXPECT_TRUE(FreeLibrary(h));
}

TEST(ModuleInstall, InstallNeedsAFileAndARoot) {
  kestrel::test::TempRoot root;
  SetLastError(0);
  EXPECT_FALSE(KpInstallModule("libnosuchlibrary.so", nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_FALSE(KpInstallModule("libkptestmod.so", u"..\\escape.dll"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError());
  EXPECT_TRUE(KpInstallModule("libkptestmod.so", u"again.dll"));
  EXPECT_TRUE(KpInstallModule("libkptestmod.so", u"again.dll"));  // replaces
}

}  // namespace
