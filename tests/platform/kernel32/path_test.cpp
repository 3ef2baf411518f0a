// The path mapper, the current directory and the path-name functions.
#include <kplatform/kernel32_file.h>
#include <kplatform/kernel32_sync.h>

#include <filesystem>
#include <string>

#include "temp_root.h"

namespace fs = std::filesystem;
using kestrel::test::RootedTest;
using kestrel::test::TempRoot;

namespace {

// The host path of a Windows path relative to the root ("" when unmappable;
// the last error tells why).
std::string mapRelative(const TempRoot& root, const std::u16string& path) {
  char buffer[4096];
  DWORD n = KpMapPath(path.c_str(), buffer, sizeof buffer);
  if (n == 0) return "";
  std::string host(buffer, n);
  if (host.compare(0, root.path().size() + 1, root.path() + "/") != 0) return "OUTSIDE:" + host;
  return host.substr(root.path().size() + 1);
}

std::string narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

class PathTest : public RootedTest {
 protected:
  void SetUp() override {
    fs::create_directories(root_.host("c/Data/Sub"));
    kestrel::test::WriteHostFile(root_.host("c/Data/Sub/File.TXT"), "x");
    fs::create_directories(root_.host("unc/Srv/Share/x"));
    fs::create_directories(root_.host("c/Cyr/\xD0\x94\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5"));  // "Данные"
  }
};

struct MapCase {
  std::u16string windows;
  std::string host;  // relative to the root
};

TEST_F(PathTest, MapsDrivesSharesAndPrefixesMatchingCase) {
  const MapCase cases[] = {
      {u"C:\\Windows\\system32", "c/Windows/system32"},
      {u"c:\\WINDOWS\\SYSTEM32\\New.txt", "c/Windows/system32/New.txt"},
      {u"C:/data/SUB/file.txt", "c/Data/Sub/File.TXT"},
      {u"C:\\data\\sub/FILE.txt", "c/Data/Sub/File.TXT"},
      {u"C:\\Data\\Missing\\Deeper", "c/Data/Missing/Deeper"},
      {u"C:\\DATA\\missing\\SUB", "c/Data/missing/SUB"},
      {u"C:\\", "c"},
      {u"D:\\x", "d/x"},
      {u"\\\\srv\\SHARE\\X", "unc/Srv/Share/x"},
      {u"//SRV/share/y", "unc/Srv/Share/y"},
      {u"\\\\?\\C:\\Data\\sub", "c/Data/Sub"},
      {u"\\\\?\\unc\\srv\\share\\x", "unc/Srv/Share/x"},
      {u"\\\\?\\C:", "c"},
      {u"C:\\Cyr\\\u0434\u0430\u043D\u043D\u044B\u0415", "c/Cyr/\xD0\x94\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5"},
      {u"C:\\Data\\name. .", "c/Data/name"},
      {u"\\\\?\\C:\\Data\\name.", "c/Data/name."},
      {u"C:\\Data\\.\\Sub\\.\\", "c/Data/Sub"},
      // ".." never climbs above the drive or the share.
      {u"C:\\..\\..\\Data", "c/Data"},
      {u"C:\\Data\\..\\..\\..\\Windows", "c/Windows"},
      {u"\\\\srv\\share\\..\\..\\other", "unc/Srv/Share/other"},
      {u"\\\\?\\C:\\..\\..\\etc", "c/etc"},
      {u"..\\..\\..\\..\\x", "c/x"},
      // Relative forms resolve against the current directory C:\Windows\system32.
      {u"relative.txt", "c/Windows/system32/relative.txt"},
      {u"..\\Temp", "c/Windows/Temp"},
      {u"\\top", "c/top"},
      {u"C:rel", "c/Windows/system32/rel"},
      {u"C:", "c/Windows/system32"},
      {u"D:rel", "d/rel"},
  };
  for (const MapCase& c : cases) EXPECT_EQ(c.host, mapRelative(root_, c.windows)) << narrow(c.windows);
}

TEST_F(PathTest, RefusesPathsWindowsRefuses) {
  struct ErrorCase {
    std::u16string windows;
    DWORD error;
  };
  const ErrorCase cases[] = {
      {u"", ERROR_PATH_NOT_FOUND},
      {u"C:\\a*b", ERROR_INVALID_NAME},
      {u"C:\\a?b", ERROR_INVALID_NAME},
      {u"C:\\a|b\\c", ERROR_INVALID_NAME},
      {u"C:\\x:y", ERROR_INVALID_NAME},
      {u"C:\\a\"b", ERROR_INVALID_NAME},
      {u"C:\\a\x01z", ERROR_INVALID_NAME},
      {u"C:\\...", ERROR_INVALID_NAME},
      {u"C:\\ok\\\xD800z", ERROR_INVALID_NAME},  // unpaired surrogate
      {u"\\\\server", ERROR_BAD_PATHNAME},
      {u"\\\\server\\", ERROR_BAD_PATHNAME},
      {u"\\\\..\\share\\x", ERROR_BAD_PATHNAME},
      {u"\\\\srv\\..\\x", ERROR_BAD_PATHNAME},
      {u"\\\\?\\UNC\\srv", ERROR_BAD_PATHNAME},
      {u"\\\\?\\Windows", ERROR_INVALID_NAME},
      {u"\\\\.\\COM1", ERROR_INVALID_NAME},
  };
  for (const ErrorCase& c : cases) {
    SetLastError(0);
    EXPECT_EQ("", mapRelative(root_, c.windows)) << narrow(c.windows);
    EXPECT_EQ(c.error, GetLastError()) << narrow(c.windows);
  }
}

TEST_F(PathTest, PrefersTheExactNameWhenTwoDifferOnlyInCase) {
  fs::create_directories(root_.host("c/dup"));
  fs::create_directories(root_.host("c/Dup"));
  EXPECT_EQ("c/dup", mapRelative(root_, u"C:\\dup"));
  EXPECT_EQ("c/Dup", mapRelative(root_, u"C:\\Dup"));
  EXPECT_EQ("c/Dup", mapRelative(root_, u"C:\\DUP"));  // first in byte order
}

TEST(PathMapper, MapsBelowTheRootInForce) {
  TempRoot first;
  char buffer[512];
  ASSERT_NE(0u, KpMapPath(u"C:\\x", buffer, sizeof buffer));
  EXPECT_EQ(first.path() + "/c/x", std::string(buffer));
  TempRoot second;
  ASSERT_NE(0u, KpMapPath(u"C:\\x", buffer, sizeof buffer));
  EXPECT_EQ(second.path() + "/c/x", std::string(buffer));
}

TEST_F(PathTest, MapPathUsesTheTwoCallSizeProtocol) {
  char small[4];
  std::string expected = root_.path() + "/c/Data";
  EXPECT_EQ(expected.size() + 1, KpMapPath(u"C:\\data", small, sizeof small));
  EXPECT_EQ(expected.size() + 1, KpMapPath(u"C:\\data", nullptr, 0));
}

TEST_F(PathTest, UnmapsHostPathsBelowTheRootOnly) {
  struct UnmapCase {
    std::string host;
    std::u16string windows;  // empty: refused
  };
  const std::string r = root_.path();
  const UnmapCase cases[] = {
      {r + "/c/Windows/system32", u"C:\\Windows\\system32"},
      {r + "/c", u"C:\\"},
      {r + "/d/x/", u"D:\\x"},
      {r + "/unc/srv/share/a/b", u"\\\\srv\\share\\a\\b"},
      {r + "/unc/srv/share", u"\\\\srv\\share\\"},
      {r + "/unc/srv", u""},
      {r + "/cc/x", u""},
      {r, u""},
      {r + "/c/../../etc", u""},
      {r + "x/c/Windows", u""},
      {"/etc/passwd", u""},
      {"relative/c", u""},
  };
  for (const UnmapCase& c : cases) {
    WCHAR buffer[512];
    DWORD n = KpUnmapPath(c.host.c_str(), buffer, 512);
    EXPECT_EQ(c.windows, std::u16string(buffer, n)) << c.host;
  }
}

TEST_F(PathTest, CurrentDirectoryResolvesRelativePathsAndIsChecked) {
  WCHAR buffer[MAX_PATH];
  ASSERT_EQ(19u, GetCurrentDirectoryW(MAX_PATH, buffer));
  EXPECT_EQ(std::u16string(u"C:\\Windows\\system32"), std::u16string(buffer));

  ASSERT_TRUE(SetCurrentDirectoryW(u"c:/data/SUB/"));
  ASSERT_EQ(11u, GetCurrentDirectoryW(MAX_PATH, buffer));
  EXPECT_EQ(std::u16string(u"C:\\data\\SUB"), std::u16string(buffer));  // the name as given, drive in upper case
  EXPECT_EQ("c/Data/Sub/File.TXT", mapRelative(root_, u"file.txt"));
  EXPECT_EQ("c/Data/x", mapRelative(root_, u"..\\x"));

  struct Refused {
    std::u16string path;
    DWORD error;
  };
  const Refused refused[] = {
      {u"C:\\Data\\Nowhere", ERROR_FILE_NOT_FOUND},
      {u"C:\\Nowhere\\Deeper", ERROR_PATH_NOT_FOUND},
      {u"C:\\Data\\Sub\\File.txt", ERROR_DIRECTORY},
      {u"", ERROR_PATH_NOT_FOUND},
  };
  for (const Refused& c : refused) {
    SetLastError(0);
    EXPECT_FALSE(SetCurrentDirectoryW(c.path.c_str())) << narrow(c.path);
    EXPECT_EQ(c.error, GetLastError()) << narrow(c.path);
  }
  ASSERT_EQ(11u, GetCurrentDirectoryW(MAX_PATH, buffer));  // unchanged by the refusals

  // The current directory is kept per process and set back with the root.
  TempRoot other;
  ASSERT_EQ(19u, GetCurrentDirectoryW(MAX_PATH, buffer));
}

TEST_F(PathTest, SystemFoldersAnswerWithTheSizeProtocol) {
  struct Folder {
    const char* name;
    DWORD (*get)(DWORD, LPWSTR);
    std::u16string expected;
  };
  const Folder folders[] = {
      {"windows", [](DWORD n, LPWSTR b) -> DWORD { return GetWindowsDirectoryW(b, n); }, u"C:\\Windows"},
      {"system windows", [](DWORD n, LPWSTR b) -> DWORD { return GetSystemWindowsDirectoryW(b, n); }, u"C:\\Windows"},
      {"system", [](DWORD n, LPWSTR b) -> DWORD { return GetSystemDirectoryW(b, n); }, u"C:\\Windows\\system32"},
      {"temp", [](DWORD n, LPWSTR b) -> DWORD { return GetTempPathW(n, b); }, u"C:\\Windows\\Temp\\"},
      {"current", [](DWORD n, LPWSTR b) -> DWORD { return GetCurrentDirectoryW(n, b); }, u"C:\\Windows\\system32"},
  };
  for (const Folder& f : folders) {
    const DWORD length = static_cast<DWORD>(f.expected.size());
    WCHAR buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(length + 1, f.get(length, buffer)) << f.name;  // one short: the size needed
    EXPECT_EQ(u'#', buffer[0]) << f.name;                    // and nothing written
    EXPECT_EQ(length + 1, f.get(0, nullptr)) << f.name;
    EXPECT_EQ(length, f.get(length + 1, buffer)) << f.name;
    EXPECT_EQ(f.expected, std::u16string(buffer)) << f.name;
    // Every one of them exists below the root.
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesW(buffer)) << f.name;
  }
}

TEST_F(PathTest, FullPathNameResolvesByNameAndPointsAtTheLastComponent) {
  struct FullCase {
    std::u16string in;
    std::u16string full;
    std::u16string filePart;  // empty: none
  };
  const FullCase cases[] = {
      {u"x.txt", u"C:\\Windows\\system32\\x.txt", u"x.txt"},
      {u"c:/a/./b/../C.TXT", u"C:\\a\\C.TXT", u"C.TXT"},
      {u"\\top\\", u"C:\\top\\", u""},
      {u"C:\\..", u"C:\\", u""},
      {u"\\\\Srv\\Share\\..\\f", u"\\\\Srv\\Share\\f", u"f"},
      {u"\\\\?\\C:\\a\\..\\b", u"\\\\?\\C:\\a\\..\\b", u"b"},
  };
  for (const FullCase& c : cases) {
    WCHAR buffer[MAX_PATH];
    LPWSTR filePart = reinterpret_cast<LPWSTR>(1);
    DWORD n = GetFullPathNameW(c.in.c_str(), MAX_PATH, buffer, &filePart);
    ASSERT_EQ(c.full.size(), n) << narrow(c.in);
    EXPECT_EQ(c.full, std::u16string(buffer)) << narrow(c.in);
    if (c.filePart.empty()) {
      EXPECT_EQ(nullptr, filePart) << narrow(c.in);
    } else {
      ASSERT_NE(nullptr, filePart) << narrow(c.in);
      EXPECT_EQ(c.filePart, std::u16string(filePart)) << narrow(c.in);
    }
    EXPECT_EQ(n + 1, GetFullPathNameW(c.in.c_str(), n, buffer, nullptr)) << narrow(c.in);
  }
}

TEST_F(PathTest, ShortPathNameNeedsAnExistingPathAndAnswersItAsGiven) {
  WCHAR buffer[MAX_PATH];
  EXPECT_EQ(20u, GetShortPathNameW(u"c:\\data\\sub\\file.txt", buffer, MAX_PATH));
  EXPECT_EQ(std::u16string(u"c:\\data\\sub\\file.txt"), std::u16string(buffer));
  SetLastError(0);
  EXPECT_EQ(0u, GetShortPathNameW(u"C:\\Data\\none.txt", buffer, MAX_PATH));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());

  // In place, as the output-file code calls it.
  WCHAR inPlace[MAX_PATH] = u"C:\\Data\\Sub\\";
  EXPECT_EQ(12u, GetShortPathNameW(inPlace, inPlace, MAX_PATH));
  EXPECT_EQ(std::u16string(u"C:\\Data\\Sub\\"), std::u16string(inPlace));
  EXPECT_EQ(13u, GetShortPathNameW(inPlace, inPlace, 12));
}

}  // namespace
