// The favourite file: what an export writes, export and import back to the
// same file, files the import refuses without changing anything, the
// conflict question, a duplicate name, and a failing write.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "favorite_fixture.h"
#include "kestrel/core/ddm_ids.h"
#include "kplatform/kernel32_file.h"

namespace kestrel::test::ui {
namespace {

constexpr const char16_t* kFolder = u"C:\\Favs";
constexpr const char16_t* kFile = u"C:\\Favs\\one.kfv";

std::string HostPath(const char16_t* path) {
  char buffer[1024] = {};
  EXPECT_GT(KpMapPath(path, buffer, sizeof buffer), 0u);
  return buffer;
}

std::string ReadFile(const char16_t* path) {
  std::ifstream in(HostPath(path), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFileText(const char16_t* path, const std::string& text) {
  std::ofstream out(HostPath(path), std::ios::binary | std::ios::trunc);
  out << text;
}

// "\n" in a test's text is the file's CR LF.
std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

class FavoriteFileTest : public FavoriteTest {
 protected:
  void SetUp() override {
    FavoriteTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(CreateDirectoryW(kFolder, nullptr));
    KpClearMessageBoxes();
  }
  void TearDown() override {
    KpSetWriteFault(0, 0, 0, 0);
    FavoriteTest::TearDown();
  }
  // Adds the current settings as a favourite and exports it.
  WORD AddAndExport(const char16_t* name, const char16_t* comment, const char16_t* path = kFile) {
    EXPECT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), name, comment, &list_), FAV_OK);
    WORD number = list_.entries[0].number;
    EXPECT_TRUE(FavFile_Export(printer_, ddd_, nullptr, dm_.data(), pd_.data(), number, name, comment, path));
    return number;
  }
  LONG Import(const char16_t* path = kFile) {
    return FavFile_Import(printer_, ddd_, nullptr, dm_.data(), pd_.data(), path, &list_);
  }
  std::string Header(const std::string& name) {
    return "[Header]\nModel Name=\"Scriva K350\"\nDRVVersion=8578\nDDMVersion=20752\nDDDVersion=" +
           std::to_string(ddd_->main->packedVersion) + "\nFavoriteFileVersion=100\nLang=" +
           std::to_string(GetUserDefaultLangID()) + "\nSel Name=\"" + name + "\"\n";
  }
};

TEST_F(FavoriteFileTest, FavouriteEqualToFavouriteOneWritesTheHeaderAndComment) {
  AddAndExport(u"Same", u"");
  EXPECT_EQ(ReadFile(kFile), Crlf(Header("Same") + "[Sel Comment]\nSize=1\nString1=\"\"\nNum=1\n"));
  // With DDM 387 the (empty) margins add nothing either.
  Set(DDM_APP_MARGINS, 1);
  EXPECT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), u"Same", u"", &list_), FAV_OK);
  ASSERT_TRUE(PpMgn_DeleteFavMargins(printer_, ddd_, list_.entries[0].number));
  ASSERT_TRUE(FavFile_Export(printer_, ddd_, nullptr, dm_.data(), pd_.data(), list_.entries[0].number, u"Same", u"",
                             kFile));
  EXPECT_EQ(ReadFile(kFile), Crlf(Header("Same") + "[Sel Comment]\nSize=1\nString1=\"\"\nNum=1\n[387]\nData=1\n"));
}

TEST_F(FavoriteFileTest, ExportWritesEachDifferingSettingInItsType) {
  Set(DDM_ORIENTATION, 2);
  Set(DDM_MEMBER_460, -5);
  SetText(338, u" two  ");
  SetText(DDM_STAMPNAME, u"Draft");
  Set(DDM_STAMP_TRANSPARENT, 1);
  Set(DDM_APP_MARGINS, 1);
  const WORD a4 = static_cast<WORD>(Get(DDM_PAPERSIZE));
  const WORD m[4] = {10, 20, 30, 40};  // top, bottom, left, right
  ASSERT_TRUE(PpMgn_SetMargin(printer_, ddd_, a4, m));
  AddAndExport(u"All", u"first\r\n second \r\nthird");
  // Settings in the devmode tables' order; the stamp name's alias (298)
  // is a member of its own.
  const std::string expected = Header("All") +
                               "[Sel Comment]\nSize=23\nString1=\"first\"\nString2=\" second \"\nString3=\"third\"\nNum=3\n"
                               "[297]\nSize=6\nString1=\"Draft\"\nNum=1\n"
                               "[298]\nSize=6\nString1=\"Draft\"\nNum=1\n"
                               "[338]\nSize=7\nString1=\" two  \"\nNum=1\n"
                               "[387]\nData=1\n"
                               "[4109]\nData=-5\n"
                               "[455]\nData=1\n"
                               "[7]\nData=2\n"
                               "[Paper Margin]\n" +
                               std::to_string(a4) + "=L30,R40,T10,B20\n";
  EXPECT_EQ(ReadFile(kFile), Crlf(expected));
  // Without a stamp name the stamp's settings are not written.
  SetText(DDM_STAMPNAME, u"");
  AddAndExport(u"All", u"x");
  std::string text = ReadFile(kFile);
  EXPECT_EQ(text.find("[455]"), std::string::npos);
  EXPECT_EQ(text.find("[297]"), std::string::npos);
  EXPECT_NE(text.find("[4109]"), std::string::npos);
}

TEST_F(FavoriteFileTest, ExportImportExportGivesTheSameFile) {
  Set(DDM_ORIENTATION, 2);
  Set(DDM_MEMBER_460, -32768);
  Set(462, static_cast<LONG>(0xFFFFFFFEu));  // unsigned 32-bit, written "-2"
  SetText(338, u"  ");
  Set(DDM_APP_MARGINS, 1);
  const WORD m[4] = {0, 65535, 7, 8};
  ASSERT_TRUE(PpMgn_SetMargin(printer_, ddd_, static_cast<WORD>(Get(DDM_PAPERSIZE)), m));
  const std::u16string name = u"Caf\u00e9 \u2713";
  const std::u16string comment = u"\r\n lines \r\n";
  WORD number = AddAndExport(name.c_str(), comment.c_str());
  const std::string first = ReadFile(kFile);
  size_t before = list_.entries.size();
  // The same name is pointed out and the new entry selected.
  ASSERT_EQ(Import(), FAV_OK);
  ASSERT_EQ(list_.entries.size(), before + 1);
  const FAV_ENTRY& added = list_.entries.back();
  EXPECT_NE(added.number, number);
  EXPECT_EQ(std::u16string(added.name), name);
  EXPECT_EQ(std::u16string(added.comment), comment);
  EXPECT_EQ(list_.selected, list_.entries.size() - 1);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].find(name), std::u16string::npos);
  // Its settings come back in the form the export wrote them.
  std::vector<BYTE> fav(NRV_DEVMODE_SIZE_FULL, 0);
  ASSERT_TRUE(LoadCurrentUserUserSel(printer_, ddd_, added.number, fav.data(), nullptr, nullptr, nullptr));
  EXPECT_TRUE(FavFile_Export(printer_, ddd_, nullptr, fav.data(), pd_.data(), added.number, added.name, added.comment,
                             u"C:\\Favs\\two.kfv"));
  EXPECT_EQ(ReadFile(u"C:\\Favs\\two.kfv"), first);
}

struct Refused {
  const char* what;
  std::string file;  // "%H" the header of model A
};

TEST_F(FavoriteFileTest, RefusedFilesChangeNothing) {
  const std::string head = "[Header]\nModel Name=Scriva K350\nDRVVersion=8578\nDDMVersion=20752\nSel Name=X\n";
  const std::string comment = "[Sel Comment]\nSize=1\nString1=\nNum=1\n";
  const Refused cases[] = {
      {"another model", "[Header]\nModel Name=Scriva K260\nDRVVersion=8578\nDDMVersion=20752\nSel Name=X\n" + comment},
      {"no DRVVersion", "[Header]\nModel Name=Scriva K350\nDDMVersion=20752\nSel Name=X\n" + comment},
      {"DDMVersion not a number", "[Header]\nModel Name=Scriva K350\nDRVVersion=8578\nDDMVersion=5x\nSel Name=X\n" + comment},
      {"no name", "[Header]\nModel Name=Scriva K350\nDRVVersion=8578\nDDMVersion=20752\n" + comment},
      {"no comment", head},
      {"size 0", head + "[Sel Comment]\nSize=0\nString1=\nNum=1\n"},
      {"absurd size", head + "[Sel Comment]\nSize=4000000000\nString1=\nNum=1\n"},
      {"no Num", head + "[Sel Comment]\nSize=1\nString1=\n"},
      {"absurd Num", head + "[Sel Comment]\nSize=1\nString1=\nNum=100000\n"},
      {"a piece missing", head + "[Sel Comment]\nSize=9\nString1=a\nNum=2\n"},
      {"pieces beyond the size", head + "[Sel Comment]\nSize=3\nString1=abcdef\nNum=1\n"},
      {"unknown id", head + comment + "[1000]\nData=1\n"},
      {"not an id", head + comment + "[seven]\nData=1\n"},
      {"value not a number", head + comment + "[7]\nData=two\n"},
      {"value beyond its type", head + comment + "[7]\nData=70000\n"},
      {"negative unsigned", head + comment + "[387]\nData=-1\n"},
      {"value the devmode refuses", head + comment + "[338]\nSize=40\nString1=123456789012345678901234567890\nNum=1\n"},
      {"margins without numbers", head + comment + "[Paper Margin]\n9=L,R,T,B\n"},
      {"margins without letters", head + comment + "[Paper Margin]\n9=X1\n"},
      {"a margin missing", head + comment + "[Paper Margin]\n9=L1,R2,T3\n"},
      {"a negative margin", head + comment + "[Paper Margin]\n9=L-1,R2,T3,B4\n"},
      {"a margin beyond 16 bits", head + comment + "[Paper Margin]\n9=L1,R2,T3,B65536\n"},
      {"no paper", head + comment + "[Paper Margin]\n=L1,R2,T3,B4\n"},
  };
  // Margins already stored under the number the import would take.
  const WORD stale[4] = {1, 2, 3, 4};
  ASSERT_TRUE(PpMgn_SetFavMargin(printer_, ddd_, 4, 9, stale));
  const std::vector<WORD> index = Index();
  for (const auto& c : cases) {
    WriteFileText(kFile, Crlf(c.file));
    KpClearMessageBoxes();
    EXPECT_EQ(Import(), FAV_ERR_FILE) << c.what;
    EXPECT_EQ(list_.entries.size(), 3u) << c.what;
    EXPECT_EQ(Index(), index) << c.what;
    EXPECT_EQ(StoredName(4), u"<none>") << c.what;
    std::vector<WORD> papers;
    EXPECT_TRUE(PpMgn_ListFavMargins(printer_, ddd_, 4, &papers));
    EXPECT_EQ(papers, std::vector<WORD>{9}) << c.what;
    ASSERT_EQ(Boxes().size(), 1u) << c.what;
    EXPECT_NE(Boxes()[0].find(kFile), std::u16string::npos) << c.what;
  }
  // The same header and comment with nothing wrong are taken.
  WriteFileText(kFile, Crlf(head + comment + "[7]\nData=2\n[Paper Margin]\n9=B4,T3,R2,L1\n"));
  EXPECT_EQ(Import(), FAV_OK);
  EXPECT_EQ(list_.entries.back().number, 4);
  WORD got[4] = {};
  ASSERT_TRUE(PpMgn_GetFavMargin(printer_, ddd_, 4, 9, got));
  EXPECT_EQ(std::vector<WORD>(got, got + 4), (std::vector<WORD>{3, 4, 1, 2}));
}

TEST_F(FavoriteFileTest, FileReadInItsOwnOrder) {
  // A value section first is lost (the first two sections are skipped
  // unread); the versions are the file's; the name is cut to 32 characters.
  WriteFileText(kFile, Crlf("[7]\nData=2\n[Header]\nModel Name=Scriva K350\nDRVVersion=8577\nDDMVersion=20752\n"
                            "Sel Name=123456789012345678901234567890123456\n"
                            "[Sel Comment]\nSize=1\nString1=\nNum=1\n[4109]\nData=-3\n"));
  ASSERT_EQ(Import(), FAV_OK);
  const FAV_ENTRY& e = list_.entries.back();
  EXPECT_EQ(std::u16string(e.name), u"12345678901234567890123456789012");
  EXPECT_EQ(list_.selected, 0) << "no duplicate name";
  EXPECT_TRUE(Boxes().empty());
  WCHAR key[32] = {};
  wsprintfW(key, FAV_SEL_FORMAT, static_cast<int>(e.number));
  std::vector<BYTE> raw(NRV_DEVMODE_SIZE_FULL, 0);
  DWORD size = NRV_DEVMODE_SIZE_FULL;
  ASSERT_EQ(LoadCurrentUserData(printer_, ddd_, raw.data(), &size, REG_BINARY, key, FAV_VALUE_DEVMODE), 0);
  EXPECT_EQ(Value(raw, DDM_ORIENTATION), 1);
  EXPECT_EQ(Value(raw, DDM_PRIVATE_DRIVERVERSION), 8577);
  EXPECT_EQ(Value(raw, DDM_MEMBER_460), -3);
}

TEST_F(FavoriteFileTest, SectionNamesConvertWithTheFilesStructureVersion) {
  // External id 1281 is DDM 1281 itself in a 0x5002 file, otherwise the
  // printer data's 8201, which a favourite does not carry.
  struct Case {
    const char* version;
    LONG zoomOn;
  } cases[] = {{"20482", 1}, {"20752", 0}};
  for (const auto& c : cases) {
    WriteFileText(kFile, Crlf(std::string("[Header]\nModel Name=Scriva K350\nDRVVersion=8578\nDDMVersion=") + c.version +
                              "\nSel Name=V\n[Sel Comment]\nSize=1\nString1=\nNum=1\n[1281]\nData=1\n"));
    ASSERT_EQ(Import(), FAV_OK) << c.version;
    WCHAR key[32] = {};
    wsprintfW(key, FAV_SEL_FORMAT, static_cast<int>(list_.entries.back().number));
    std::vector<BYTE> raw(NRV_DEVMODE_SIZE_FULL, 0);
    DWORD size = NRV_DEVMODE_SIZE_FULL;
    ASSERT_EQ(LoadCurrentUserData(printer_, ddd_, raw.data(), &size, REG_BINARY, key, FAV_VALUE_DEVMODE), 0);
    EXPECT_EQ(Value(raw, DDM_ZOOM_ON), c.zoomOn) << c.version;
  }
}

TEST_F(FavoriteFileTest, ImportNumberIsFreeInTheListAndTheStoredIndex) {
  ASSERT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), u"Pending", u"", &list_), FAV_OK);  // 4
  AddAndExport(u"Exported", u"");                                                                       // 5
  // The dialog removed "Pending" but has not stored the list yet.
  list_.entries.erase(list_.entries.begin() + 1);
  ASSERT_EQ(Import(), FAV_OK);
  EXPECT_EQ(list_.entries.back().number, 6);
  EXPECT_EQ(StoredName(4), u"Pending");
}

TEST_F(FavoriteFileTest, ConflictingSettingsAskFirst) {
  const std::string file = "[Header]\nModel Name=Scriva K350\nDRVVersion=8578\nDDMVersion=20752\nSel Name=Poster\n"
                           "[Sel Comment]\nSize=1\nString1=\nNum=1\n[295]\nData=2\n[321]\nData=1\n";
  WriteFileText(kFile, Crlf(file));
  // The constraint engine's own notice of the poster rule comes first,
  // then the question. Cancel: nothing stays.
  KpQueueMessageBoxAnswer(IDOK);
  KpQueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(Import(), FAV_ERR_CANCELLED);
  EXPECT_EQ(list_.entries.size(), 3u);
  EXPECT_EQ(StoredName(4), u"<none>");
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_NE(Boxes()[0].find(u"Poster printing"), std::u16string::npos);
  EXPECT_NE(Boxes()[1].find(u"\"Poster\""), std::u16string::npos);
  EXPECT_NE(Boxes()[1].find(u"Favourites"), std::u16string::npos);
  // OK: the corrected settings are stored.
  KpClearMessageBoxes();
  KpQueueMessageBoxAnswer(IDOK);
  KpQueueMessageBoxAnswer(IDOK);
  ASSERT_EQ(Import(), FAV_OK);
  EXPECT_EQ(Boxes().size(), 2u);
  std::vector<BYTE> fav(NRV_DEVMODE_SIZE_FULL, 0);
  ASSERT_TRUE(LoadCurrentUserUserSel(printer_, ddd_, 4, fav.data(), nullptr, nullptr, nullptr));
  EXPECT_FALSE(Value(fav, 321) == 1 && Value(fav, 295) == 2);
}

TEST_F(FavoriteFileTest, FailingWriteKeepsTheOldFile) {
  WriteFileText(kFile, "old");
  Set(DDM_ORIENTATION, 2);
  ASSERT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), u"W", u"", &list_), FAV_OK);
  const WORD number = list_.entries[0].number;
  // A key the profile file refuses half-way (a name with a line break), and
  // a target that cannot be replaced at the end.
  KpClearMessageBoxes();
  EXPECT_FALSE(FavFile_Export(printer_, ddd_, nullptr, dm_.data(), pd_.data(), number, u"W\nX", u"", kFile));
  EXPECT_EQ(ReadFile(kFile), "old");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].find(kFile), std::u16string::npos);
  HANDLE held = CreateFileW(kFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  KpClearMessageBoxes();
  EXPECT_FALSE(FavFile_Export(printer_, ddd_, nullptr, dm_.data(), pd_.data(), number, u"W", u"", kFile));
  CloseHandle(held);
  EXPECT_EQ(ReadFile(kFile), "old");
  EXPECT_EQ(Boxes().size(), 1u);
  // Nothing but the old file is left in the folder.
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(HostPath(kFolder)))
    files.push_back(entry.path().filename().string());
  EXPECT_EQ(files, std::vector<std::string>{"one.kfv"});
}

// The favourite files live in the forms folder (string 9377), made when
// missing.
TEST_F(FavoriteFileTest, FavouritesFolderIsMadeBelowTheWindowsDrive) {
  WCHAR folder[MAX_PATH] = {};
  ASSERT_TRUE(FavFile_GetFolder(ddd_, folder, MAX_PATH));
  EXPECT_EQ(std::u16string(folder), u"C:\\Halcyra\\form");
  EXPECT_TRUE(std::filesystem::is_directory(HostPath(folder)));
  ASSERT_TRUE(FavFile_GetFolder(ddd_, folder, MAX_PATH)) << "an existing folder is fine";
}

}  // namespace
}  // namespace kestrel::test::ui
