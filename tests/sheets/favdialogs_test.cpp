// The favourites add and edit dialogs as a person uses them: names the
// add refuses, the new favourite first and selected, a full list, a long
// comment under code page 932, the contents tree, and the edit dialog's
// up, down, delete, rename, OK and Cancel.
#include <string>
#include <vector>

#include "kestrel/sheets/sheet_dialogs.h"
#include "kestrel/ui/favorite.h"
#include "kestrel/ui/sweep_adapter.h"
#include "kplatform/kernel32_codepage.h"
#include "kplatform/user32_messagebox.h"
#include "kplatform/user32_shell.h"
#include "sheet_fixture.h"

namespace kestrel::test::ui {
namespace {

using Names = std::vector<std::u16string>;

class FavDialogTest : public SheetControlTest {
 protected:
  void SetUp() override {
    SheetControlTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(Fav_LoadList(printer_, uiRoot_->uiData->ddd, uiRoot_->devmode, uiRoot_->printerData, &list_));
  }
  HANDLE Printer() { return uiRoot_->uiData->printer; }
  HCDDD Ddd() { return uiRoot_->uiData->ddd; }
  Names StoredNames() {
    FAV_LIST list;
    std::vector<BYTE> dm(static_cast<BYTE*>(uiRoot_->devmode), static_cast<BYTE*>(uiRoot_->devmode) + NRV_DEVMODE_SIZE_FULL);
    EXPECT_TRUE(Fav_LoadList(Printer(), Ddd(), dm.data(), uiRoot_->printerData, &list));
    Names out;
    for (const auto& e : list.entries) out.emplace_back(e.name);
    return out;
  }
  // The texts of a tree view's top-level items.
  Names Tree(int id) {
    Names out;
    HWND tree = Item(id);
    for (auto h = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0); h;
         h = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, h)) {
      WCHAR text[128] = {};
      TVITEMW item = {};
      item.mask = TVIF_TEXT;
      item.hItem = reinterpret_cast<HTREEITEM>(h);
      item.pszText = text;
      item.cchTextMax = 128;
      SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
      out.emplace_back(text);
    }
    return out;
  }
  Names ListNames() {
    Names out;
    LRESULT n = SendMessageW(Item(IDC_UED_LIST), LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
      WCHAR text[64] = {};
      SendMessageW(Item(IDC_UED_LIST), LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
      out.emplace_back(text);
    }
    return out;
  }
  FAV_LIST list_;
};

const Names kBase = {u"Default Settings", u"Economy Printing", u"Presentation"};

TEST_F(FavDialogTest, AddRefusesNamesAndPutsTheNewFavouriteFirst) {
  SetNum(DDM_FAVORITE_SELECTION, 2);
  struct Case {
    const char* what;
    const char16_t* name;
    const char16_t* box;  // a fragment of the message, or null
    Names stored;
  } const cases[] = {
      {"no name", u"", u"1 to 32 characters", kBase},
      {"a name of the base set", u"Economy Printing", u"already exists", kBase},
      {"a new name", u"Mine", nullptr, {u"Mine", u"Default Settings", u"Economy Printing", u"Presentation"}},
      {"the user's own name again", u"Mine", nullptr,
       {u"Mine", u"Default Settings", u"Economy Printing", u"Presentation"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KpClearMessageBoxes();
    std::vector<KP_UI_ACTION> script;
    if (c.name[0]) script.push_back(Type(IDC_UAD_NAME, reinterpret_cast<LPCWSTR>(c.name)));
    script.push_back(Do(KP_UI_OK));
    INT_PTR r = Run(IDD_USERSEL_ADD, uiDlgUserAdd, script);
    EXPECT_EQ(r, c.box ? IDCANCEL : IDOK);  // a refused OK leaves the dialog open
    if (c.box) EXPECT_NE(Box().find(c.box), std::u16string::npos);
    else EXPECT_EQ(KpMessageBoxCount(), 0u);
    EXPECT_EQ(StoredNames(), c.stored);
  }
  EXPECT_EQ(Num(DDM_FAVORITE_SELECTION), 0);  // the new favourite is selected
}

TEST_F(FavDialogTest, FullListShowsTheLimit) {
  for (int i = 0; i < list_.maximum - 3; ++i) {
    std::u16string name = u"F" + Widen(std::to_string(i));
    ASSERT_EQ(Fav_Add(Printer(), Ddd(), nullptr, uiRoot_->devmode, uiRoot_->printerData,
                      reinterpret_cast<LPCWSTR>(name.c_str()), u"", &list_),
              FAV_OK);
  }
  Names before = StoredNames();
  EXPECT_EQ(Run(IDD_USERSEL_ADD, uiDlgUserAdd, {Type(IDC_UAD_NAME, u"One more"), Do(KP_UI_OK)}), IDCANCEL);
  EXPECT_NE(Box().find(u"at most 25"), std::u16string::npos);
  EXPECT_EQ(StoredNames(), before);
}

TEST_F(FavDialogTest, LongCommentIsCutAtAWholeCharacter) {
  KpSetACP(932);
  Show(IDD_USERSEL_ADD, uiDlgUserAdd);
  std::u16string comment(128, u'\u3042');  // 256 bytes in code page 932
  ASSERT_TRUE(Act(KP_UI_TYPE, IDC_UAD_COMMENT, 0, reinterpret_cast<LPCWSTR>(comment.c_str())));
  ASSERT_EQ(KpMessageBoxCount(), 1u);
  EXPECT_NE(Box().find(u"at most 255 bytes"), std::u16string::npos);
  EXPECT_EQ(Text(IDC_UAD_COMMENT), std::u16string(127, u'\u3042'));
}

TEST_F(FavDialogTest, ContentsTreeShowsWhatDiffersFromTheDefaults) {
  Show(IDD_USERSEL_ADD, uiDlgUserAdd);
  EXPECT_EQ(Tree(IDC_UAD_CONTENTS), (Names{u"Default settings"}));
  SetNum(DDM_ORIENTATION, 2);
  Show(IDD_USERSEL_ADD, uiDlgUserAdd);
  Names tree = Tree(IDC_UAD_CONTENTS);
  ASSERT_EQ(tree.size(), 1u);
  EXPECT_EQ(tree[0].rfind(u"Orientation: ", 0), 0u);
}

TEST_F(FavDialogTest, EditMovesRenamesDeletesAndStoresOnOk) {
  ASSERT_EQ(Fav_Add(Printer(), Ddd(), nullptr, uiRoot_->devmode, uiRoot_->printerData, u"Old", u"", &list_), FAV_OK);
  ASSERT_EQ(Fav_Add(Printer(), Ddd(), nullptr, uiRoot_->devmode, uiRoot_->printerData, u"Mine", u"", &list_), FAV_OK);
  // The page had "Economy Printing" selected (position 3).
  uiUedGetWorkArea(uiRoot_)->position = 3;
  Show(IDD_USERSEL_EDIT, uiDlgUserEdit);
  EXPECT_EQ(ListNames(), (Names{u"Mine", u"Old", u"Default Settings", u"Economy Printing", u"Presentation"}));
  EXPECT_EQ(SendMessageW(Item(IDC_UED_LIST), LB_GETCURSEL, 0, 0), 3);
  // The base set can be neither renamed nor deleted.
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_UED_DELETE)));
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_UED_NAME)));
  // "Mine": down one place, renamed; "Old" deleted.
  ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_UED_LIST, 0));
  EXPECT_EQ(Text(IDC_UED_NAME), u"Mine");
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_UED_UP)));
  ASSERT_TRUE(Act(KP_UI_CLICK, IDC_UED_DOWN));
  Act(KP_UI_SELECT_ALL, IDC_UED_NAME);
  ASSERT_TRUE(Act(KP_UI_TYPE, IDC_UED_NAME, 0, u"Ours"));
  ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_UED_LIST, 0));
  EXPECT_EQ(Text(IDC_UED_NAME), u"Old");
  ASSERT_TRUE(Act(KP_UI_CLICK, IDC_UED_DELETE));
  EXPECT_EQ(ListNames(), (Names{u"Ours", u"Default Settings", u"Economy Printing", u"Presentation"}));
  // Nothing is stored before OK.
  EXPECT_EQ(StoredNames(), (Names{u"Mine", u"Old", u"Default Settings", u"Economy Printing", u"Presentation"}));
  ASSERT_TRUE(Act(KP_UI_CLICK, IDOK));
  EXPECT_EQ(StoredNames(), (Names{u"Ours", u"Default Settings", u"Economy Printing", u"Presentation"}));
  EXPECT_EQ(Num(DDM_FAVORITE_SELECTION), 2);  // "Economy Printing" in its new place
}

TEST_F(FavDialogTest, EditCancelStoresNothingAndOkRefusesTakenNames) {
  ASSERT_EQ(Fav_Add(Printer(), Ddd(), nullptr, uiRoot_->devmode, uiRoot_->printerData, u"Mine", u"", &list_), FAV_OK);
  SetNum(DDM_FAVORITE_SELECTION, 0);
  EXPECT_EQ(Run(IDD_USERSEL_EDIT, uiDlgUserEdit,
                {Do(KP_UI_CHOOSE_MOUSE, IDC_UED_LIST, 0), Do(KP_UI_CLICK, IDC_UED_DELETE), Do(KP_UI_CANCEL)}),
            IDCANCEL);
  EXPECT_EQ(StoredNames(), (Names{u"Mine", u"Default Settings", u"Economy Printing", u"Presentation"}));
  EXPECT_EQ(Num(DDM_FAVORITE_SELECTION), 0);
  // A name the base set has: 4717, the dialog stays and nothing is stored.
  KpClearMessageBoxes();
  Show(IDD_USERSEL_EDIT, uiDlgUserEdit);
  ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_UED_LIST, 0));
  Act(KP_UI_SELECT_ALL, IDC_UED_NAME);
  ASSERT_TRUE(Act(KP_UI_TYPE, IDC_UED_NAME, 0, u"Presentation"));
  ASSERT_TRUE(Act(KP_UI_CLICK, IDOK));
  ASSERT_EQ(KpMessageBoxCount(), 1u);
  EXPECT_NE(Box().find(u"already exists"), std::u16string::npos);
  EXPECT_EQ(GetFocus(), Item(IDC_UED_NAME));
  EXPECT_EQ(StoredNames(), (Names{u"Mine", u"Default Settings", u"Economy Printing", u"Presentation"}));
}

}  // namespace
}  // namespace kestrel::test::ui

namespace kestrel::test::ui {
namespace {

TEST_F(FavDialogTest, ExportThenImportTheSelectedFavourite) {
  ASSERT_EQ(Fav_Add(Printer(), Ddd(), nullptr, uiRoot_->devmode, uiRoot_->printerData, u"Mine", u"note", &list_),
            FAV_OK);
  KpClearShellCalls();
  Show(IDD_USERSEL_EDIT, uiDlgUserEdit);
  ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_UED_LIST, 0));
  WCHAR folder[MAX_PATH] = {};
  ASSERT_TRUE(FavFile_GetFolder(Ddd(), folder, MAX_PATH));
  std::u16string path = std::u16string(folder) + u"\\mine.ini";
  KpQueueFileDialogAnswer(reinterpret_cast<LPCWSTR>(path.c_str()));
  ASSERT_TRUE(Act(KP_UI_CLICK, IDC_UED_WRITEFILE));
  EXPECT_EQ(KpMessageBoxCount(), 0u);
  EXPECT_NE(GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.c_str())), INVALID_FILE_ATTRIBUTES);
  // The proposed name was the favourite's, and DDM 375 is empty again.
  KP_SHELL_CALL call{};
  ASSERT_EQ(KpShellCalls(&call, 1), 1u);
  EXPECT_EQ(std::u16string(call.text[2]), u"Mine");
  // Read back: a new entry of the same name, last, selected for renaming.
  KpQueueFileDialogAnswer(reinterpret_cast<LPCWSTR>(path.c_str()));
  ASSERT_TRUE(Act(KP_UI_CLICK, IDC_UED_READFILE));
  EXPECT_EQ(ListNames(), (Names{u"Mine", u"Default Settings", u"Economy Printing", u"Presentation", u"Mine"}));
  EXPECT_EQ(SendMessageW(Item(IDC_UED_LIST), LB_GETCURSEL, 0, 0), 4);
  EXPECT_NE(Box().find(u"already exists"), std::u16string::npos);
  EXPECT_EQ(Text(IDC_UED_COMMENT), u"note");
  EXPECT_EQ(GetFocus(), Item(IDC_UED_NAME));
  // Renamed, it is stored with OK.
  Act(KP_UI_SELECT_ALL, IDC_UED_NAME);
  ASSERT_TRUE(Act(KP_UI_TYPE, IDC_UED_NAME, 0, u"Copy"));
  ASSERT_TRUE(Act(KP_UI_CLICK, IDOK));
  EXPECT_EQ(StoredNames(), (Names{u"Mine", u"Default Settings", u"Economy Printing", u"Presentation", u"Copy"}));
}

// A path longer than the 128 characters the favourite file's setting keeps,
// chosen in the write-file or read-file dialog: the too-long message, the
// dialog again, and nothing written or read.
TEST_F(FavDialogTest, AFileChoiceLongerThanItsSettingIsRefusedAndAskedAgain) {
  ASSERT_EQ(Fav_Add(Printer(), Ddd(), nullptr, uiRoot_->devmode, uiRoot_->printerData, u"Mine", u"", &list_), FAV_OK);
  WCHAR folder[MAX_PATH] = {};
  ASSERT_TRUE(FavFile_GetFolder(Ddd(), folder, MAX_PATH));
  std::u16string path = std::u16string(folder) + u"\\";
  path += std::u16string(145 - path.size() - 4, u'x') + u".ini";
  ASSERT_EQ(path.size(), 145u);
  struct Case {
    const char* what;
    int button;
  } const cases[] = {{"export", IDC_UED_WRITEFILE}, {"import", IDC_UED_READFILE}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Show(IDD_USERSEL_EDIT, uiDlgUserEdit);
    ASSERT_TRUE(Act(KP_UI_CHOOSE_MOUSE, IDC_UED_LIST, 0));
    const Names before = ListNames();
    KpClearMessageBoxes();
    KpClearShellCalls();
    KpQueueFileDialogAnswer(reinterpret_cast<LPCWSTR>(path.c_str()));
    KpQueueFileDialogAnswer(nullptr);  // then the user cancels
    ASSERT_TRUE(Act(KP_UI_CLICK, c.button));
    EXPECT_EQ(KpShellCalls(nullptr, 0), 2u);  // the dialog came again
    ASSERT_EQ(KpMessageBoxCount(), 1u);
    EXPECT_EQ(Box(), u"Enter at most 128 characters (64 double-byte characters).");
    EXPECT_EQ(GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.c_str())), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ListNames(), before);
  }
}

}  // namespace
}  // namespace kestrel::test::ui
