// Resources: the compiler's source format and errors, the container reader
// refusing bad containers, FindResourceW/LoadResource/SizeofResource,
// LoadStringW with the Windows rules, the Windows string-block layout, a
// library's own string table, and the resource module kestrelrs.zrs.
#include <kplatform/kernel32_module.h>
#include <kplatform/kernel32_resource.h>

#include <cstring>
#include <string>
#include <vector>

#include "krc.h"
#include "temp_root.h"

namespace {

using kestrel::test::RootedTest;
using kestrel::test::WriteHostFile;

const std::string kDriverDir = "c/Windows/system32/spool/drivers/x64/3/";
const DWORD kResourceOnly = DONT_RESOLVE_DLL_REFERENCES | LOAD_WITH_ALTERED_SEARCH_PATH;

std::string bytesOf(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// Compiles a source (files relative to `dir`), failing the test on an error.
std::vector<uint8_t> compile(const std::string& source, const std::string& dir = ".") {
  krc::Result r = krc::Compile(source, dir, "test.krc");
  EXPECT_TRUE(r.ok) << r.error;
  return r.container;
}

const char kStrings[] =
    "# strings in three blocks\n"
    "STRINGTABLE\n"
    "  0 \"zero\"\n"
    "  15 \"fifteen\"\n"
    "  16 \"sixteen\"   // second block\n"
    "  35 \"thirty-five\"\n"
    "  36 \"\"\n"
    "  40 \"caf\xc3\xa9 \\\"q\\\" \\\\ \\n\\t\\u263a \xf0\x9f\x98\x80\"\n"
    "END\n"
    "RCDATA 300 { 01 02\n"
    "  0a FF }\n"
    "DIALOG 5 {}\n"
    "1234 7 { 4b }\n";

class ResourceTest : public RootedTest {
 protected:
  // Writes a container into the driver directory and loads it resource-only.
  HMODULE loadContainer(const std::vector<uint8_t>& bytes, const char* name = "test.zrs") {
    WriteHostFile(root_.host(kDriverDir + name), bytesOf(bytes));
    std::u16string wide(name, name + std::strlen(name));
    module_ = LoadLibraryExW(wide.c_str(), nullptr, kResourceOnly);
    return module_;
  }
  void TearDown() override {
    if (module_ != nullptr) {
      EXPECT_TRUE(FreeLibrary(module_));
    }
  }
  HMODULE module_ = nullptr;
};

TEST_F(ResourceTest, LoadStringRules) {
  HMODULE h = loadContainer(compile(kStrings));
  ASSERT_NE(nullptr, h);
  struct Row {
    UINT id;
    int size;
    int result;
    const char16_t* text;  // what the buffer holds afterwards
  };
  const Row rows[] = {
      {0, 16, 4, u"zero"},
      {15, 16, 7, u"fifteen"},
      {16, 16, 7, u"sixteen"},
      {35, 64, 11, u"thirty-five"},
      {35, 12, 11, u"thirty-five"},  // exactly room for the NUL
      {35, 11, 10, u"thirty-fiv"},   // cut to size - 1
      {35, 1, 0, u""},
      {40, 64, 17, u"caf\u00e9 \"q\" \\ \n\t\u263a \U0001F600"},
      {36, 16, 0, u""},  // empty string: none
      {17, 16, 0, u""},  // missing slot in a present block
      {100, 16, 0, u""}, // missing block
      {65535, 16, 0, u""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("id " + std::to_string(row.id) + " size " + std::to_string(row.size));
    WCHAR buffer[80];
    for (WCHAR& c : buffer) c = u'#';
    SetLastError(0);
    EXPECT_EQ(row.result, LoadStringW(h, row.id, buffer, row.size));
    EXPECT_EQ(std::u16string(row.text), std::u16string(buffer));
    EXPECT_EQ(u'#', buffer[row.size]) << "wrote past the buffer";
    if (row.result == 0 && row.size > 1) {
      EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
    }
  }

  // Size 0: a read-only pointer to the string itself (no NUL) and its full length.
  LPCWSTR text = nullptr;
  EXPECT_EQ(11, LoadStringW(h, 35, reinterpret_cast<LPWSTR>(&text), 0));
  ASSERT_NE(nullptr, text);
  EXPECT_EQ(u"thirty-five", std::u16string(text, 11));
  EXPECT_EQ(11, text[-1]) << "not in place behind its length";

  SetLastError(0);
  EXPECT_EQ(0, LoadStringW(h, 35, nullptr, 16));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  WCHAR buffer[4];
  EXPECT_EQ(0, LoadStringW(h, 35, buffer, -1));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(ResourceTest, StringBlocksHaveTheWindowsLayout) {
  HMODULE h = loadContainer(compile(kStrings));
  ASSERT_NE(nullptr, h);
  // What a loader of its own does: block id / 16 + 1, skip id % 16 counted strings.
  const UINT id = 35;
  HRSRC r = FindResourceW(h, MAKEINTRESOURCEW(id / 16 + 1), RT_STRING);
  ASSERT_NE(nullptr, r);
  const auto* block = static_cast<const uint8_t*>(LockResource(LoadResource(h, r)));
  const DWORD size = SizeofResource(h, r);
  ASSERT_NE(nullptr, block);
  size_t at = 0;
  for (UINT i = 0; i < id % 16; ++i) at += 2 + 2 * static_cast<size_t>(block[at] | (block[at + 1] << 8));
  const size_t length = block[at] | (block[at + 1] << 8);
  ASSERT_EQ(11u, length);
  std::u16string text(length, u'\0');
  std::memcpy(text.data(), block + at + 2, length * 2);
  EXPECT_EQ(u"thirty-five", text);
  // Block 3 holds strings 32-47: 35, 36 (empty) and 40; nothing after the 16 strings.
  EXPECT_EQ(2u * 16 + 2 * 11 + 2 * 17, size);
}

TEST_F(ResourceTest, FindResourceByTypeAndId) {
  HMODULE h = loadContainer(compile(kStrings));
  ASSERT_NE(nullptr, h);
  struct Row {
    LPCWSTR type;
    LPCWSTR name;
    std::string bytes;  // empty with an error
    DWORD error;
  };
  const Row rows[] = {
      {RT_RCDATA, MAKEINTRESOURCEW(300), std::string("\x01\x02\x0a\xff", 4), 0},
      {u"#10", u"#300", std::string("\x01\x02\x0a\xff", 4), 0},
      {MAKEINTRESOURCEW(1234), MAKEINTRESOURCEW(7), "K", 0},
      {RT_DIALOG, MAKEINTRESOURCEW(5), "", 0},
      {RT_RCDATA, MAKEINTRESOURCEW(301), "", ERROR_RESOURCE_NAME_NOT_FOUND},
      {RT_RCDATA, u"NAMED", "", ERROR_RESOURCE_NAME_NOT_FOUND},
      {RT_RCDATA, u"#70000", "", ERROR_RESOURCE_NAME_NOT_FOUND},
      {RT_BITMAP, MAKEINTRESOURCEW(300), "", ERROR_RESOURCE_TYPE_NOT_FOUND},
      {u"CUSTOM", MAKEINTRESOURCEW(300), "", ERROR_RESOURCE_TYPE_NOT_FOUND},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(&row - rows);
    SetLastError(0);
    HRSRC r = FindResourceW(h, row.name, row.type);
    if (row.error != 0) {
      EXPECT_EQ(nullptr, r);
      EXPECT_EQ(row.error, GetLastError());
      continue;
    }
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(r, FindResourceExW(h, row.type, row.name, 0x0409));
    HGLOBAL data = LoadResource(h, r);
    ASSERT_NE(nullptr, data);
    EXPECT_EQ(data, LockResource(data));
    EXPECT_EQ(row.bytes, std::string(static_cast<const char*>(data), SizeofResource(h, r)));
    EXPECT_FALSE(FreeResource(data));
  }
}

TEST_F(ResourceTest, ResourceHandlesBelongToTheirModule) {
  HMODULE h = loadContainer(compile(kStrings));
  ASSERT_NE(nullptr, h);
  WriteHostFile(root_.host(kDriverDir + "other.zrs"), bytesOf(compile("RCDATA 1 { 00 }\n")));
  HMODULE other = LoadLibraryExW(u"other.zrs", nullptr, kResourceOnly);
  ASSERT_NE(nullptr, other);
  HRSRC r = FindResourceW(h, MAKEINTRESOURCEW(300), RT_RCDATA);
  ASSERT_NE(nullptr, r);
  SetLastError(0);
  EXPECT_EQ(nullptr, LoadResource(other, r));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_EQ(0u, SizeofResource(other, r));
  EXPECT_EQ(nullptr, LoadResource(h, reinterpret_cast<HRSRC>(reinterpret_cast<uintptr_t>(r) + 1)));
  EXPECT_TRUE(FreeLibrary(other));
  // A freed module has no resources any more.
  SetLastError(0);
  WCHAR buffer[8];
  EXPECT_EQ(0, LoadStringW(other, 1, buffer, 8));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
  EXPECT_EQ(nullptr, FindResourceW(other, MAKEINTRESOURCEW(1), RT_RCDATA));
  EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

// Writes a 32-bit little-endian value into a container.
void set32(std::vector<uint8_t>& c, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) c[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

TEST_F(ResourceTest, CorruptContainersAreRefusedWhole) {
  // Directory: [0] STRING block 1 at 52 (34 bytes), [1] RCDATA 1 "abcd" at 88, [2] RCDATA 2 "" at 92.
  const std::vector<uint8_t> good = compile("RCDATA 1 { 61 62 63 64 }\nRCDATA 2 {}\nSTRINGTABLE\n 3 \"x\"\nEND\n");
  ASSERT_EQ(size_t{16 + 3 * 12 + 4 + 0 + 36}, good.size());
  ASSERT_NE(nullptr, loadContainer(good));
  EXPECT_TRUE(FreeLibrary(module_));
  module_ = nullptr;

  struct Row {
    const char* what;
    std::vector<uint8_t> bytes;
    DWORD error;
  };
  std::vector<Row> rows;
  auto mutated = [&](const char* what, auto change, DWORD error = ERROR_BAD_FORMAT) {
    std::vector<uint8_t> c = good;
    change(c);
    rows.push_back({what, c, error});
  };
  for (size_t keep : {size_t{4}, size_t{15}, size_t{16}, size_t{30}, good.size() - 1})
    rows.push_back({"truncated", std::vector<uint8_t>(good.begin(), good.begin() + keep), ERROR_BAD_FORMAT});
  rows.push_back({"empty", {}, ERROR_BAD_EXE_FORMAT});
  mutated("bad magic", [](auto& c) { c[0] = 'X'; }, ERROR_BAD_EXE_FORMAT);
  mutated("unknown version", [](auto& c) { c[4] = 2; });
  mutated("stated size too small", [&](auto& c) { set32(c, 12, static_cast<uint32_t>(good.size() - 4)); });
  mutated("extra bytes", [](auto& c) { c.insert(c.end(), 4, 0); });
  mutated("entry count beyond the file", [](auto& c) { set32(c, 8, 0x40000000u); });
  mutated("entry count huge", [](auto& c) { set32(c, 8, 0xFFFFFFFFu); });
  mutated("data past the end", [](auto& c) { set32(c, 16 + 8, 1000); });
  mutated("length overflows", [](auto& c) { set32(c, 16 + 8, 0xFFFFFFFFu); });
  mutated("offset overflows", [](auto& c) { set32(c, 16 + 4, 0xFFFFFFFCu); });
  mutated("misaligned data", [](auto& c) { set32(c, 16 + 4, 16 + 36 + 2), set32(c, 16 + 8, 1); });
  mutated("data inside the directory", [](auto& c) { set32(c, 16 + 4, 16); });
  mutated("directory out of order", [](auto& c) { c[16 + 12 + 2] = 3; });
  mutated("the same id twice", [](auto& c) { c[16 + 24 + 2] = 1; });
  mutated("zero id", [](auto& c) { c[16 + 2] = 0; });
  mutated("zero type", [](auto& c) { c[16] = 0; });
  mutated("string count past the block", [](auto& c) { c[52 + 6] = 0xFF; });
  mutated("string block too short", [](auto& c) { set32(c, 16 + 8, 32); });

  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const size_t loaded = KpLoadedModuleCount();
    SetLastError(0);
    EXPECT_EQ(nullptr, loadContainer(row.bytes));
    EXPECT_EQ(row.error, GetLastError());
    EXPECT_EQ(loaded, KpLoadedModuleCount());
  }
}

TEST_F(ResourceTest, TheResourceModuleLoadsResourceOnly) {
  ASSERT_TRUE(KpInstallModule("kestrelrs.zrs", nullptr));
  // As a driver library loads it: driver directory + string 32767, flags 9.
  module_ = LoadLibraryExW(u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\kestrelrs.zrs", nullptr, 9);
  ASSERT_NE(nullptr, module_);
  WCHAR buffer[64];
  EXPECT_EQ(25, LoadStringW(module_, 65535, buffer, 64));
  EXPECT_EQ(u"Kestrel resource module 1", std::u16string(buffer));
  SetLastError(0);
  EXPECT_EQ(nullptr, GetProcAddress(module_, "DllMain"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
  SetLastError(0);
  EXPECT_EQ(nullptr, LoadLibraryW(u"kestrelrs.zrs"));  // no code in it
  EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_EXE_FORMAT), GetLastError());
}

TEST_F(ResourceTest, ALibraryCarriesItsOwnStringTable) {
  ASSERT_TRUE(KpInstallModule("libkptestmod.so", nullptr));
  HMODULE h = LoadLibraryW(u"kptestmod.dll");
  ASSERT_NE(nullptr, h);
  WCHAR buffer[MAX_PATH];
  EXPECT_EQ(13, LoadStringW(h, 32766, buffer, MAX_PATH));
  EXPECT_EQ(u"kestreljd.dll", std::u16string(buffer));
  EXPECT_EQ(13, LoadStringW(h, 32767, buffer, MAX_PATH));
  EXPECT_EQ(u"kestrelrs.zrs", std::u16string(buffer));
  HRSRC r = FindResourceW(h, MAKEINTRESOURCEW(7), RT_RCDATA);
  ASSERT_NE(nullptr, r);
  EXPECT_EQ("KP", std::string(static_cast<const char*>(LockResource(LoadResource(h, r))), SizeofResource(h, r)));
  EXPECT_TRUE(FreeLibrary(h));
}

TEST(ResourceRegistration, CorruptOrMisplacedBytesAreRefused) {
  alignas(8) static const uint8_t kBad[16] = {'K', 'R', 'E', 'S', 9};
  SetLastError(0);
  EXPECT_FALSE(KpRegisterModuleResources(kBad, sizeof kBad));
  EXPECT_EQ(static_cast<DWORD>(ERROR_BAD_FORMAT), GetLastError());
  EXPECT_FALSE(KpRegisterModuleResources(kBad + 1, 8));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  KpUnregisterModuleResources(kBad);  // nothing registered: no effect
}

TEST(ResourceCompiler, SourceFilesAndBitmaps) {
  kestrel::test::TempRoot dir;
  std::string bmp = "BM";
  bmp += std::string(12, '\x01');         // the rest of the 14-byte file header
  bmp += std::string("\x28\0\0\0", 4);    // BITMAPINFOHEADER begins with its size, 40
  bmp += std::string(36, '\x02');
  WriteHostFile(dir.host("img/a.bmp"), bmp);
  WriteHostFile(dir.host("raw.bin"), std::string("\0\1\2", 3));
  krc::Result r = krc::Compile("bitmap 2 \"img/a.bmp\"\nICON 3 \"raw.bin\"\nDIALOG 4 \"raw.bin\"\n", dir.path(), "s");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(2u, r.files.size());
  // The bitmap keeps its DIB without the file header; other files stay whole.
  HMODULE h = nullptr;
  WriteHostFile(dir.host(kDriverDir + "files.zrs"), bytesOf(r.container));
  h = LoadLibraryExW(u"files.zrs", nullptr, kResourceOnly);
  ASSERT_NE(nullptr, h);
  auto bytes = [&](LPCWSTR type, WORD id) {
    HRSRC res = FindResourceW(h, MAKEINTRESOURCEW(id), type);
    return res ? std::string(static_cast<const char*>(LockResource(LoadResource(h, res))), SizeofResource(h, res))
               : std::string("<none>");
  };
  EXPECT_EQ(bmp.substr(14), bytes(RT_BITMAP, 2));
  EXPECT_EQ(std::string("\0\1\2", 3), bytes(RT_ICON, 3));
  EXPECT_EQ(std::string("\0\1\2", 3), bytes(RT_DIALOG, 4));
  EXPECT_TRUE(FreeLibrary(h));

  // The same source compiles to the same bytes.
  EXPECT_EQ(r.container, krc::Compile("bitmap 2 \"img/a.bmp\"\nICON 3 \"raw.bin\"\nDIALOG 4 \"raw.bin\"\n", dir.path(), "s").container);
  // The generated library source carries exactly these bytes.
  const std::string cpp = krc::EmitCpp({0x4b, 0xff}, "x.krc");
  EXPECT_NE(std::string::npos, cpp.find("kResources[2] = {\n    0x4b, 0xff,\n};"));
  EXPECT_NE(std::string::npos, cpp.find("KpRegisterModuleResources(kResources, sizeof kResources)"));
}

TEST(ResourceCompiler, ErrorsNameTheLine) {
  kestrel::test::TempRoot dir;
  WriteHostFile(dir.host("notbmp.bmp"), std::string(60, 'x'));
  const struct {
    const char* source;
    const char* error;
  } rows[] = {
      {"STRINGTABLE\n 1 \"a\"\n", "s:3: STRINGTABLE opened on line 1 has no END"},
      {"STRINGTABLE\n 1 \"a\"\n 1 \"b\"\nEND\n", "s:3: string 1 is defined twice"},
      {"STRINGTABLE\n 65536 \"a\"\nEND\n", "s:2: string id 65536 is out of range 0..65535"},
      {"STRINGTABLE\n 1x \"a\"\nEND\n", "s:2: expected string id, found '1x'"},
      {"STRINGTABLE\n 1 \"a\nEND\n", "s:2: string not closed on its line"},
      {"STRINGTABLE\n 1 \"a\\q\"\nEND\n", "s:2: unknown escape \\q"},
      {"STRINGTABLE\n 1 \"\\u12\"\nEND\n", "s:2: \\u needs four hexadecimal digits"},
      {"STRINGTABLE\n 1 \"\xc3\"\nEND\n", "s:2: invalid UTF-8 in a string"},
      {"STRINGTABLE\n 1 \"\xed\xa0\x80\"\nEND\n", "s:2: invalid UTF-8 in a string"},
      {"STRINGTABLE\n 1 a\nEND\n", "s:2: expected: <id> \"text\""},
      {"\n\nEND\n", "s:3: END without STRINGTABLE"},
      {"PICTURE 1 \"a\"\n", "s:1: unknown statement 'PICTURE'"},
      {"RCDATA 0 { 00 }\n", "s:1: resource id 0 is out of range 1..65535"},
      {"6 1 { 00 }\n", "s:1: type 6 is the string table: use STRINGTABLE"},
      {"RCDATA 1 { 00 }\nrcdata 1 { 01 }\n", "s:2: resource rcdata 1 is defined twice"},
      {"RCDATA 1 { 0 }\n", "s:1: expected a byte as two hexadecimal digits, found '0'"},
      {"RCDATA 1 { 00\n 0g }\n", "s:2: expected a byte as two hexadecimal digits, found '0g'"},
      {"RCDATA 1 {\n 00\n", "s:3: byte list opened on line 1 has no '}'"},
      {"RCDATA 1 { 00 } 01\n", "s:1: unexpected text after '}'"},
      {"RCDATA 1\n", "s:1: expected: RCDATA <id> \"file\" or RCDATA <id> { bytes }"},
      {"RCDATA 1 \"missing.bin\"\n", "s:1: cannot read file 'missing.bin'"},
      {"# ok\nBITMAP 1 \"notbmp.bmp\"\n", "s:2: 'notbmp.bmp' is not a BMP file"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.source);
    krc::Result r = krc::Compile(row.source, dir.path(), "s");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(row.error, r.error);
    EXPECT_TRUE(r.container.empty());
  }
}

}  // namespace
