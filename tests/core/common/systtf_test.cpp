// The system TrueType family list file: its format, where the renderer finds
// it, and that a failed rewrite keeps the old file.
#include <cstring>
#include <filesystem>
#include <string>

#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/systtf.h"
#include "kplatform/gdi32_fonts.h"
#include "kplatform/kernel32_file.h"
#include "kplatform/kernel32_sync.h"
#include "temp_root.h"

namespace kestrel::test::pd {
namespace {

constexpr char kListHost[] = "c/Windows/system32/kestreltt.tmp";

class SysTtfTest : public RootedTest {
 protected:
  void TearDown() override { KpSetFontFolder(nullptr); }

  // The names of the file's block, after checking its frame.
  std::vector<std::u16string> ReadList(const std::string& bytes) {
    std::vector<std::u16string> names;
    EXPECT_GE(bytes.size(), 6u);
    if (bytes.size() < 6) return names;
    DWORD b = 0;
    std::memcpy(&b, bytes.data(), 4);
    EXPECT_EQ(b, bytes.size() - 4) << "first word is the size minus 4";
    std::u16string block((bytes.size() - 4) / 2, u'\0');
    std::memcpy(block.data(), bytes.data() + 4, block.size() * 2);
    EXPECT_EQ(block.back(), u'\0');
    size_t at = 0;
    while (at < block.size() && block[at]) {
      size_t end = block.find(u'\0', at);
      names.push_back(block.substr(at, end - at));
      at = end + 1;
    }
    EXPECT_EQ(at, block.size() - 1) << "one closing NUL after the last name";
    return names;
  }
};

// The renderer's rule: the data file's path up to and with "system32", then
// the file name.
std::u16string RendererListName(const std::u16string& dataFile) {
  std::u16string lower = dataFile;
  for (char16_t& c : lower) c = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  size_t at = lower.find(u"system32");
  if (at == std::u16string::npos) return {};
  return dataFile.substr(0, at + 8) + SYSTTF_FILE_NAME;
}

int CALLBACK CollectTrueType(const LOGFONTW* font, const TEXTMETRICW*, DWORD type, LPARAM param) {
  if (type & TRUETYPE_FONTTYPE) reinterpret_cast<std::vector<std::u16string>*>(param)->push_back(font->lfFaceName);
  return 1;
}

TEST_F(SysTtfTest, WritesEveryTrueTypeFamilyWhereTheRendererLooks) {
  ASSERT_TRUE(SetSystemTrueTypeFontFamilyList(nullptr));
  std::vector<std::u16string> names = ReadList(ReadHostFile(root_.host(kListHost)));
  LOGFONTW filter = {};
  filter.lfCharSet = DEFAULT_CHARSET;
  std::vector<std::u16string> families;
  EnumFontFamiliesExW(nullptr, &filter, CollectTrueType, reinterpret_cast<LPARAM>(&families), 0);
  ASSERT_FALSE(families.empty()) << "the platform's font folder offers TrueType families";
  EXPECT_EQ(names, families);

  std::u16string name = RendererListName(u"C:\\WINDOWS\\System32\\spool\\drivers\\x64\\3\\K350.DDD");
  HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(file, nullptr), ReadHostFile(root_.host(kListHost)).size());
  CloseHandle(file);
  // No staging file is left behind.
  EXPECT_FALSE(std::filesystem::exists(root_.host("c/Windows/system32/kestreltt.new")));
}

TEST_F(SysTtfTest, NoTrueTypeFamiliesWriteAnEmptyBlock) {
  std::filesystem::create_directories(root_.host("nofonts"));
  ASSERT_TRUE(KpSetFontFolder(root_.host("nofonts").c_str()));
  ASSERT_TRUE(SetSystemTrueTypeFontFamilyList(nullptr));
  EXPECT_EQ(ReadHostFile(root_.host(kListHost)), std::string("\x02\0\0\0\0\0", 6));
}

TEST_F(SysTtfTest, FileNameIsTheLongPathOfTheSystemDirectory) {
  LPWSTR name = GetSysTTFListFileName(SYSTTF_FILE_NAME);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(std::u16string(name), u"\\\\?\\C:\\Windows\\system32\\kestreltt.tmp");
  kcore_Free(name);
  EXPECT_EQ(GetSysTTFListFileName(nullptr), nullptr);
}

// A rewrite that cannot be made leaves the earlier file as it was.
TEST_F(SysTtfTest, FailedRewriteKeepsTheOldFile) {
  ASSERT_TRUE(SetSystemTrueTypeFontFamilyList(nullptr));
  std::string before = ReadHostFile(root_.host(kListHost));
  std::filesystem::create_directories(root_.host("nofonts"));
  ASSERT_TRUE(KpSetFontFolder(root_.host("nofonts").c_str()));
  // Another process is writing: its file is open without sharing.
  HANDLE other = CreateFileW(u"C:\\Windows\\system32\\kestreltt.new", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(SetSystemTrueTypeFontFamilyList(nullptr));
  CloseHandle(other);
  EXPECT_EQ(ReadHostFile(root_.host(kListHost)), before);
}

}  // namespace
}  // namespace kestrel::test::pd
