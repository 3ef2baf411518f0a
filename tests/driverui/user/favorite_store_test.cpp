// The favourites store: the base set, favourites read back after the store
// is reopened, index lists as stored by anyone, the selected position, the
// renumbering after a driver upgrade, and the add and edit dialogs' work.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "favorite_fixture.h"
#include "kestrel/core/ddm_ids.h"

namespace kestrel::test::ui {
namespace {

using Names = std::vector<std::u16string>;

TEST_F(FavoriteTest, BaseSetIsTheDefaultsAndTheModelsFavourites) {
  EXPECT_EQ(NamesOf(list_), (Names{u"Default Settings", u"Economy Printing", u"Presentation"}));
  EXPECT_EQ(Index(), (std::vector<WORD>{1, 2, 3}));
  EXPECT_EQ(list_.maximum, 2 + FAV_EXTRA_SLOTS);
  EXPECT_EQ(list_.entries[1].dddItem, 1);
  EXPECT_EQ(list_.entries[2].dddItem, 2);
  for (const auto& e : list_.entries) EXPECT_EQ(e.flag, FAV_FLAG_BASE);
  // Favourite 2 carries its record's settings over the defaults.
  std::vector<BYTE> fav(NRV_DEVMODE_SIZE_FULL, 0);
  ASSERT_TRUE(LoadCurrentUserUserSel(printer_, ddd_, 2, fav.data(), nullptr, nullptr, nullptr));
  EXPECT_EQ(Value(fav, 295), 2);
  EXPECT_EQ(Value(fav, 16), 2);
  ASSERT_TRUE(LoadCurrentUserUserSel(printer_, ddd_, 1, fav.data(), nullptr, nullptr, nullptr));
  EXPECT_TRUE(ddm_CompFavoriteDevmode(fav.data(), dm_.data(), pd_.data()));
  // A second start finds the list and builds nothing again.
  FAV_LIST again;
  ASSERT_TRUE(Fav_LoadList(printer_, ddd_, dm_.data(), pd_.data(), &again));
  EXPECT_EQ(NamesOf(again), NamesOf(list_));
  // A stored list that names nothing usable gives the base set again.
  StoreIndexBytes({0, 0});
  ASSERT_TRUE(Fav_LoadList(printer_, ddd_, dm_.data(), pd_.data(), &again));
  EXPECT_EQ(NamesOf(again), NamesOf(list_));
  EXPECT_EQ(Index(), (std::vector<WORD>{1, 2, 3}));
}

TEST_F(FavoriteTest, FavouriteReadBackAfterTheStoreIsReopened) {
  Set(DDM_ORIENTATION, 2);
  Set(DDM_MEMBER_460, -7);
  ASSERT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), u"Landscape  ", u"two\r\nlines", &list_), FAV_OK);
  WORD number = list_.entries[0].number;
  EXPECT_EQ(number, 4);
  std::vector<BYTE> saved = dm_;
  queue_.Close();
  ASSERT_EQ(queue_.Open(kPrinter), "");
  std::vector<BYTE> back(NRV_DEVMODE_SIZE_FULL, 0);
  WCHAR name[FAV_NAME_UNITS + 1] = {}, comment[FAV_COMMENT_UNITS] = {};
  DWORD flag = 9;
  ASSERT_TRUE(LoadCurrentUserUserSel(queue_.printer, queue_.ddd, number, back.data(), name, comment, &flag));
  EXPECT_EQ(std::u16string(name), u"Landscape  ");
  EXPECT_EQ(std::u16string(comment), u"two\r\nlines");
  EXPECT_EQ(flag, FAV_FLAG_USER);
  EXPECT_TRUE(ddm_CompFavoriteDevmode(back.data(), saved.data(), pd_.data()));
  EXPECT_EQ(Value(back, DDM_MEMBER_460), -7);
  FAV_LIST list;
  ASSERT_TRUE(Fav_LoadList(queue_.printer, queue_.ddd, dm_.data(), pd_.data(), &list));
  EXPECT_EQ(NamesOf(list), (Names{u"Landscape  ", u"Default Settings", u"Economy Printing", u"Presentation"}));
}

TEST_F(FavoriteTest, IndexListsAreReadLeniently) {
  const WORD max = list_.maximum;  // 25
  struct Case {
    const char* what;
    std::vector<WORD> stored;
    bool odd;
    std::vector<WORD> read;
  } cases[] = {
      {"empty", {}, false, {}},
      {"0 first", {0, 2, 3}, false, {}},
      {"0 in the middle", {1, 2, 0, 3}, false, {1, 2}},
      {"duplicates", {1, 2, 2, 1, 3, 0}, false, {1, 2, 3}},
      {"above the maximum", {1, static_cast<WORD>(max + 1), 99, 100, 0xFFFF, 3, 0}, false, {1, 3}},
      {"no terminator", {3, 2, 1}, false, {3, 2, 1}},
      {"odd trailing byte", {4, 5}, true, {4, 5}},
  };
  for (const auto& c : cases) {
    std::vector<BYTE> bytes(c.stored.size() * 2);
    for (size_t i = 0; i < c.stored.size(); ++i) std::memcpy(bytes.data() + 2 * i, &c.stored[i], 2);
    if (c.odd) bytes.push_back(7);
    StoreIndexBytes(bytes);
    EXPECT_EQ(Index(), c.read) << c.what;
  }
  // A list of more numbers than the maximum keeps the first ones.
  std::vector<BYTE> many;
  for (WORD n = 1; n <= 60; ++n) {
    WORD v = static_cast<WORD>((n - 1) % max + 1);
    many.push_back(static_cast<BYTE>(v));
    many.push_back(0);
  }
  StoreIndexBytes(many);
  EXPECT_EQ(Index().size(), max);
  // No list at all.
  HKEY root = nullptr;
  ASSERT_TRUE(OpenCurrentUser(printer_, ddd_, FAV_SUBKEY, &root));
  RegDeleteValueW(root, FAV_VALUE_INDEX);
  RegCloseKey(root);
  WORD index[4] = {9, 9, 9, 9};
  EXPECT_FALSE(LoadCurrentUserUserInfo(printer_, ddd_, index, 4));
  EXPECT_EQ(index[0], 0);
}

TEST_F(FavoriteTest, FreeNumbers) {
  struct Case {
    std::vector<WORD> list;
    WORD max;
    WORD expected;
  } cases[] = {
      {{0}, 25, 1}, {{1, 2, 3, 0}, 25, 4}, {{2, 3, 0}, 25, 1}, {{1, 3, 0}, 25, 2}, {{1, 2, 0}, 2, 0},
      {{5, 4, 3, 2, 1, 0}, 5, 0}, {{0}, 0, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(CreateFavoriteIndex(c.list.data(), c.max), c.expected);
  std::vector<WORD> full;
  for (WORD n = 1; n <= FAV_NUMBER_MAX; ++n) full.push_back(n);
  full.push_back(0);
  EXPECT_EQ(CreateFavoriteIndex(full.data(), 200), 0) << "two-digit names end at 99";
}

TEST_F(FavoriteTest, StoredPositionSelectsItsEntryOrFavouriteOne) {
  StoreIndexBytes({3, 0, 1, 0, 2, 0, 0, 0});  // favourite 1 second
  struct Case {
    DWORD stored;
    WORD selected;
  } cases[] = {{0, 0}, {2, 2}, {3, 1}, {200, 1}, {0xFFFFFFFF, 1}};
  for (const auto& c : cases) {
    StoreDword(FAV_VALUE_SELPOSITION, c.stored);
    FAV_LIST list;
    ASSERT_TRUE(Fav_LoadList(printer_, ddd_, dm_.data(), pd_.data(), &list));
    EXPECT_EQ(list.selected, c.selected) << c.stored;
  }
}

// Favourite 3 becomes a description favourite the data no longer lists.
class FavoriteUpgradeTest : public FavoriteTest {
 protected:
  void SetUp() override {
    FavoriteTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), u"Mine", u"", &list_), FAV_OK);  // number 4
    std::vector<BYTE> fav(NRV_DEVMODE_SIZE_FULL, 0);
    ASSERT_TRUE(LoadCurrentUserUserSel(printer_, ddd_, 3, fav.data(), nullptr, nullptr, nullptr));
    ASSERT_TRUE(SaveCurrentUserUserSel(printer_, ddd_, 3, fav.data(), u"Gone", u"", FAV_FLAG_BASE));
    StoreIndexBytes({1, 0, 3, 0, 2, 0, 4, 0, 0, 0});
  }
  void Upgrade(DWORD position) {
    StoreDword(FAV_VALUE_SELPOSITION, position);
    StoreDword(FAV_VALUE_DRIVERVERSION, static_cast<DWORD>(Get(DDM_PRIVATE_DRIVERVERSION)) - 1);
    ASSERT_TRUE(Fav_LoadList(printer_, ddd_, dm_.data(), pd_.data(), &list_));
  }
};

TEST_F(FavoriteUpgradeTest, DroppedSelectionReturnsToFavouriteOne) {
  Upgrade(1);
  // "Presentation" is built again under its old number, at the end.
  EXPECT_EQ(NamesOf(list_), (Names{u"Default Settings", u"Economy Printing", u"Mine", u"Presentation"}));
  EXPECT_EQ(Index(), (std::vector<WORD>{1, 2, 4, 3}));
  EXPECT_EQ(list_.selected, 0);
  EXPECT_EQ(Get(DDM_FAVORITE_SELECTION), 0);
}

TEST_F(FavoriteUpgradeTest, DroppedEntryBeforeTheSelectionMovesItDown) {
  Upgrade(3);  // "Mine"
  EXPECT_EQ(list_.selected, 2);
  EXPECT_EQ(list_.entries[list_.selected].number, 4);
  EXPECT_EQ(Get(DDM_FAVORITE_SELECTION), 2);
  // The version is stored: the next start renumbers nothing.
  FAV_LIST again;
  ASSERT_TRUE(Fav_LoadList(printer_, ddd_, dm_.data(), pd_.data(), &again));
  EXPECT_EQ(NamesOf(again), NamesOf(list_));
}

TEST_F(FavoriteUpgradeTest, VanishedFavouriteIsSkippedNotTheEndOfTheList) {
  StoreDword(FAV_VALUE_SELPOSITION, 0);
  FAV_LIST list;
  ASSERT_TRUE(Fav_LoadList(printer_, ddd_, dm_.data(), pd_.data(), &list));
  EXPECT_EQ(NamesOf(list), (Names{u"Default Settings", u"Economy Printing", u"Mine"}));
}

// ---- Add

TEST_F(FavoriteTest, AddPutsTheNewFavouriteFirstAndSelectsIt) {
  Set(DDM_FAVORITE_SELECTION, 2);
  std::vector<WORD> before = Index();
  ASSERT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), u"Draft", u"quick", &list_), FAV_OK);
  EXPECT_EQ(list_.entries[0].number, 4);
  EXPECT_EQ(std::u16string(list_.entries[0].comment), u"quick");
  EXPECT_EQ(list_.selected, 0);
  EXPECT_EQ(Get(DDM_FAVORITE_SELECTION), 0);
  before.insert(before.begin(), 4);
  EXPECT_EQ(Index(), before);
  EXPECT_EQ(StoredName(4), u"Draft");
}

TEST_F(FavoriteTest, AddWithTheNameOfAnExistingFavourite) {
  // The base set's favourites are never replaced.
  for (const char16_t* base : {u"Default Settings", u"Economy Printing"}) {
    EXPECT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), base, u"", &list_), FAV_ERR_PROTECTED);
    EXPECT_EQ(Index(), (std::vector<WORD>{1, 2, 3}));
  }
  // The user's own is: one entry of that name, first, with the new settings.
  ASSERT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), u"Mine", u"old", &list_), FAV_OK);
  ASSERT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), u"Other", u"", &list_), FAV_OK);
  Set(DDM_ORIENTATION, 2);
  ASSERT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), u"Mine", u"new", &list_), FAV_OK);
  EXPECT_EQ(NamesOf(list_), (Names{u"Mine", u"Other", u"Default Settings", u"Economy Printing", u"Presentation"}));
  EXPECT_EQ(Index().size(), 5u);
  std::vector<BYTE> fav(NRV_DEVMODE_SIZE_FULL, 0);
  WCHAR comment[FAV_COMMENT_UNITS] = {};
  ASSERT_TRUE(LoadCurrentUserUserSel(printer_, ddd_, list_.entries[0].number, fav.data(), nullptr, comment, nullptr));
  EXPECT_EQ(std::u16string(comment), u"new");
  EXPECT_EQ(Value(fav, DDM_ORIENTATION), 2);
  // Names that are no names.
  for (const char16_t* bad : {u"", u"123456789012345678901234567890123", u"tab\there"})
    EXPECT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), bad, u"", &list_), FAV_ERR_ARG);
}

TEST_F(FavoriteTest, FullListShowsTheLimitAndSavesNothing) {
  for (int i = 0; list_.entries.size() < list_.maximum; ++i) {
    std::u16string name = u"F" + std::u16string(1, static_cast<char16_t>(u'a' + i));
    ASSERT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), name.c_str(), u"", &list_), FAV_OK) << i;
  }
  std::vector<WORD> full = Index();
  EXPECT_EQ(full.size(), list_.maximum);
  KpClearMessageBoxes();
  EXPECT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), u"One more", u"", &list_), FAV_ERR_FULL);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].find(u"Favourites"), std::u16string::npos);
  EXPECT_NE(Boxes()[0].find(u"25"), std::u16string::npos);
  EXPECT_EQ(Index(), full);
  EXPECT_EQ(StoredName(26), u"<none>");
  // Replacing one of the user's own still works on a full list.
  EXPECT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), u"Fa", u"again", &list_), FAV_OK);
}

TEST_F(FavoriteTest, KeepMarginsSavesOrDeletesTheFavouritesMargins) {
  const WORD a4 = static_cast<WORD>(Get(DDM_PAPERSIZE));
  const WORD mine[4] = {11, 22, 33, 44};
  ASSERT_TRUE(PpMgn_SetMargin(printer_, ddd_, a4, mine));
  Set(DDM_APP_MARGINS, 1);
  ASSERT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), u"Margins", u"", &list_), FAV_OK);
  WORD number = list_.entries[0].number;
  std::vector<WORD> papers;
  ASSERT_TRUE(PpMgn_ListFavMargins(printer_, ddd_, number, &papers));
  EXPECT_EQ(papers, std::vector<WORD>{a4});
  WORD got[4] = {};
  ASSERT_TRUE(PpMgn_GetFavMargin(printer_, ddd_, number, a4, got));
  EXPECT_EQ(std::vector<WORD>(got, got + 4), std::vector<WORD>(mine, mine + 4));
  // Applying the favourite's margins gives them back to the user.
  const WORD other[4] = {1, 2, 3, 4};
  ASSERT_TRUE(PpMgn_SetMargin(printer_, ddd_, a4, other));
  ASSERT_TRUE(PpMgn_SetUiMargin(printer_, ddd_, number));
  ASSERT_TRUE(PpMgn_GetMargin(printer_, ddd_, a4, got));
  EXPECT_EQ(got[0], 11);
  // Without the user's own margins the paper's defaults are kept.
  Set(DDM_PAPERSIZE, 11);  // A5
  ASSERT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), u"Margins", u"", &list_), FAV_OK);
  WORD defaults[4] = {};
  ASSERT_TRUE(PpMgn_GetDefaultMargin(ddd_, 11, defaults));
  ASSERT_TRUE(PpMgn_ListFavMargins(printer_, ddd_, list_.entries[0].number, &papers));
  EXPECT_EQ(papers, std::vector<WORD>{11}) << "the margins replace the old ones";
  ASSERT_TRUE(PpMgn_GetFavMargin(printer_, ddd_, list_.entries[0].number, 11, got));
  EXPECT_EQ(std::vector<WORD>(got, got + 4), std::vector<WORD>(defaults, defaults + 4));
  // DDM 387 off deletes them.
  Set(DDM_APP_MARGINS, 0);
  ASSERT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), u"Margins", u"", &list_), FAV_OK);
  ASSERT_TRUE(PpMgn_ListFavMargins(printer_, ddd_, list_.entries[0].number, &papers));
  EXPECT_TRUE(papers.empty());
}

TEST_F(FavoriteTest, CommentIsCutAtTheLastWholeCharacter) {
  struct Case {
    UINT codePage;
    std::u16string comment;
    size_t keptChars;
  } cases[] = {
      {1252, std::u16string(255, u'a'), 255},
      {1252, std::u16string(256, u'a'), 255},
      {932, std::u16string(127, u'\u3042') + u'\u3044', 127},  // 256 bytes: the last double-byte character goes
      {932, std::u16string(253, u'a') + u'\u3042', 254},        // 255 bytes fit
      {932, std::u16string(254, u'a') + u'\u3042', 254},        // 256 bytes
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(KpSetACP(c.codePage));
    ASSERT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), u"Long", c.comment.c_str(), &list_), FAV_OK);
    WCHAR comment[FAV_COMMENT_UNITS] = {};
    ASSERT_TRUE(LoadCurrentUserUserSel(printer_, ddd_, list_.entries[0].number, nullptr, nullptr, comment, nullptr));
    EXPECT_EQ(std::u16string(comment), c.comment.substr(0, c.keptChars)) << c.codePage << " " << c.comment.size();
  }
}

// ---- Edit

TEST_F(FavoriteTest, EditOkStoresTheOrderNamesAndSelection) {
  ASSERT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), u"Mine", u"", &list_), FAV_OK);    // 4
  ASSERT_EQ(Fav_Add(printer_, ddd_, nullptr, dm_.data(), pd_.data(), u"Gone", u"", &list_), FAV_OK);    // 5
  // [Gone, Mine, Default, Economy, Presentation]: the user selected
  // Presentation, moves it first, renames Mine and deletes Gone.
  FAV_LIST edited = list_;
  edited.entries.erase(edited.entries.begin());
  std::rotate(edited.entries.begin(), edited.entries.end() - 1, edited.entries.end());
  std::u16string renamed = u"Renamed";
  Fav_CopyText(edited.entries[1].name, renamed.c_str(), FAV_NAME_CHARS);
  Fav_CopyText(edited.entries[1].comment, u"note", 10);
  ASSERT_TRUE(Fav_EditApply(printer_, ddd_, dm_.data(), pd_.data(), 3, &edited));
  EXPECT_EQ(Index(), (std::vector<WORD>{3, 4, 1, 2}));
  EXPECT_EQ(Get(DDM_FAVORITE_SELECTION), 0);
  EXPECT_EQ(StoredName(4), u"Renamed");
  EXPECT_EQ(StoredName(5), u"<none>") << "the deleted favourite is gone from the store";
  // The selected favourite deleted: favourite 1's new place.
  edited.entries.erase(edited.entries.begin());
  ASSERT_TRUE(Fav_EditApply(printer_, ddd_, dm_.data(), pd_.data(), 3, &edited));
  EXPECT_EQ(Get(DDM_FAVORITE_SELECTION), 1);
  // The devmode stays as stored.
  std::vector<BYTE> fav(NRV_DEVMODE_SIZE_FULL, 0);
  ASSERT_TRUE(LoadCurrentUserUserSel(printer_, ddd_, 2, fav.data(), nullptr, nullptr, nullptr));
  EXPECT_EQ(Value(fav, 295), 2);
  // A list with a number twice is refused, nothing stored.
  edited.entries.push_back(edited.entries[0]);
  EXPECT_FALSE(Fav_EditApply(printer_, ddd_, dm_.data(), pd_.data(), 3, &edited));
  EXPECT_EQ(Index(), (std::vector<WORD>{4, 1, 2}));
}

TEST_F(FavoriteTest, FileNamesLoseTheReservedCharacters) {
  struct Case {
    const char16_t* name;
    const char16_t* file;
  } cases[] = {
      {u"Plain", u"Plain"}, {u"a\\b/c:d,e;f*g?h\"i<j>k|l", u"abcdefghijkl"}, {u"???", u""}, {u"x\ty", u"xy"},
  };
  for (const auto& c : cases) {
    WCHAR out[FAV_NAME_UNITS + 1] = {};
    FavStr_MakeFileName(c.name, out, FAV_NAME_UNITS + 1);
    EXPECT_EQ(std::u16string(out), c.file);
    ASSERT_TRUE(FavFile_ProposeName(dm_.data(), pd_.data(), c.name));
    EXPECT_EQ(GetString(DDM_FAX_ADDRESS_FILE), c.file);
  }
}

}  // namespace
}  // namespace kestrel::test::ui
