// The window stand-in's dialogs and controls: templates made into windows,
// the orders in which controls tell their parent what a person did, modal
// runs from scripts, and the state dump.
#include <functional>

#include "ui_fixture.h"

namespace {

using namespace kestrel::test;

class Dialogs : public UiTest {
 public:
  HWND Open() {
    HWND dialog = CreateDialogParamW(module_, MAKEINTRESOURCEW(kControlsDialog), nullptr, LogProc, 42);
    EXPECT_NE(dialog, nullptr);
    ShowWindow(dialog, SW_SHOW);  // the template has no WS_VISIBLE: hidden until shown
    return dialog;
  }
  BOOL Do(HWND dialog, KP_UI_ACTION a) { return KpUiAct(dialog, &a); }
  std::string Dump(HWND window) {
    char buffer[8192];
    KpUiDump(window, buffer, sizeof buffer);
    return buffer;
  }
};

// The combo box's items, and five items in the list view and the tab.
void Fill(HWND dialog) {
  for (const char16_t* s : {u"Letter", u"Legal", u"A4", u"A5"})
    SendDlgItemMessageW(dialog, kCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  SendDlgItemMessageW(dialog, kCombo, CB_SETCURSEL, 0, 0);
  for (int i = 0; i < 3; ++i) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = i;
    item.pszText = const_cast<LPWSTR>(u"row");
    SendDlgItemMessageW(dialog, kListView, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    TCITEMW tab{};
    tab.mask = TCIF_TEXT;
    tab.pszText = const_cast<LPWSTR>(u"tab");
    SendDlgItemMessageW(dialog, kTab, TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&tab));
  }
}

TEST_F(Dialogs, ATemplateMakesItsControlsAndOwnerDrawIsMeasuredBeforeInit) {
  HWND dialog = Open();
  // WM_MEASUREITEM for the owner-draw combo box (selection field, then its
  // items) comes before WM_INITDIALOG; the list box is not owner-drawn. Its
  // TRUE answer puts the focus on the first tab stop (EN_SETFOCUS).
  EXPECT_EQ(UiLog(), (std::vector<std::string>{"MEASURE 11 -1", "MEASURE 11 0", "INITDIALOG", "COMMAND 10 256"}));
  WCHAR text[32] = {};
  GetClassNameW(GetDlgItem(dialog, kTrackbar), text, 32);
  EXPECT_EQ(std::u16string(text), u"msctls_trackbar32");
  GetWindowTextW(dialog, text, 32);
  EXPECT_EQ(std::u16string(text), u"Controls");
  EXPECT_EQ(GetParent(GetDlgItem(dialog, kEdit)), dialog);
  EXPECT_EQ(GetDlgCtrlID(GetDlgItem(dialog, IDOK)), IDOK);
  EXPECT_EQ(GetDlgItem(dialog, 999), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONTROL_ID_NOT_FOUND));
  // The icon static holds the module's icon 5; the up-down took the edit
  // before it as its buddy.
  EXPECT_NE(SendDlgItemMessageW(dialog, kIcon, STM_GETICON, 0, 0), 0);
  EXPECT_EQ(reinterpret_cast<HWND>(SendDlgItemMessageW(dialog, kUpDown, UDM_GETBUDDY, 0, 0)),
            GetDlgItem(dialog, kBuddy));
  // WM_INITDIALOG answered TRUE: the focus is on the first tab stop.
  EXPECT_EQ(GetFocus(), GetDlgItem(dialog, kEdit));
  EXPECT_EQ(GetWindowLongPtrW(GetDlgItem(dialog, kEdit), GWL_STYLE) & WS_TABSTOP, WS_TABSTOP);
  EXPECT_TRUE(DestroyWindow(dialog));
  EXPECT_EQ(UiLog().back(), "DESTROY");
  EXPECT_FALSE(IsWindow(GetDlgItem(dialog, kEdit)));
}

// What a person or the program does, and what the dialog procedure hears,
// from the first entry that names the control's notification on.
struct Case {
  const char* name;
  std::function<void(HWND, Dialogs&)> act;
  const char* from;
  std::vector<std::string> heard;
};

TEST_F(Dialogs, ControlsTellTheirParentInTheirWrittenOrder) {
  const std::string combo = "COMMAND 11 ";
  const Case cases[] = {
      {"WM_SETTEXT on an edit sends EN_CHANGE", [](HWND d, Dialogs&) { SetDlgItemTextW(d, kEdit, u"x"); },
       "COMMAND 10", {"COMMAND 10 1024", "COMMAND 10 768"}},
      {"SetFocus alone sends EN_KILLFOCUS, then the new control's SETFOCUS",
       [](HWND d, Dialogs&) { SetFocus(GetDlgItem(d, kCombo)); }, "COMMAND 10",
       {"COMMAND 10 512", "COMMAND 11 3"}},
      {"typing: each keystroke is EN_UPDATE, EN_CHANGE",
       [](HWND d, Dialogs& t) { t.Do(d, Act(KP_UI_TYPE, kEdit, 0, u"ab")); }, "COMMAND 10 1024",
       {"COMMAND 10 1024", "COMMAND 10 768", "COMMAND 10 1024", "COMMAND 10 768"}},
      {"typing past EM_LIMITTEXT is refused with EN_MAXTEXT",
       [](HWND d, Dialogs& t) {
         SendDlgItemMessageW(d, kEdit, EM_LIMITTEXT, 1, 0);
         t.Do(d, Act(KP_UI_TYPE, kEdit, 0, u"ab"));
       },
       "COMMAND 10 1024", {"COMMAND 10 1024", "COMMAND 10 768", "COMMAND 10 1281"}},
      {"the combo by mouse", [](HWND d, Dialogs& t) { t.Do(d, Act(KP_UI_CHOOSE_MOUSE, kCombo, 2)); }, "COMMAND 11 7",
       {"COMMAND 11 7", "COMMAND 11 1", "COMMAND 11 9", "COMMAND 11 8"}},
      {"the combo by keys: one SELCHANGE a step",
       [](HWND d, Dialogs& t) { t.Do(d, Act(KP_UI_CHOOSE_KEYS, kCombo, 2)); }, "COMMAND 11 7",
       {"COMMAND 11 7", "COMMAND 11 1", "COMMAND 11 1", "COMMAND 11 9", "COMMAND 11 8"}},
      {"the combo closed without a choice",
       [](HWND d, Dialogs& t) { t.Do(d, Act(KP_UI_CHOOSE_MOUSE, kCombo, -1)); }, "COMMAND 11 7",
       {"COMMAND 11 7", "COMMAND 11 10", "COMMAND 11 8"}},
      {"a check box changes before BN_CLICKED",
       [](HWND d, Dialogs& t) {
         t.Do(d, Act(KP_UI_CLICK, kCheck));
         UiLog().push_back("checked " + std::to_string(IsDlgButtonChecked(d, kCheck)));
       },
       "COMMAND 12 0", {"COMMAND 12 0", "checked 1"}},
      {"a trackbar key: its code, then TB_ENDTRACK",
       [](HWND d, Dialogs& t) { t.Do(d, Act(KP_UI_STEP, kTrackbar, TB_PAGEDOWN)); }, "HSCROLL",
       {"HSCROLL 16 3 0", "HSCROLL 16 8 0"}},
      {"a trackbar drag", [](HWND d, Dialogs& t) { t.Do(d, Act(KP_UI_DRAG, kTrackbar, 70)); }, "HSCROLL",
       {"HSCROLL 16 5 70", "HSCROLL 16 4 70", "HSCROLL 16 8 0"}},
      {"an up-down at its limit still sends SB_THUMBPOSITION",
       [](HWND d, Dialogs& t) {
         SendDlgItemMessageW(d, kUpDown, UDM_SETRANGE, 0, MAKELONG(5, 1));  // upper 5, lower 1
         SendDlgItemMessageW(d, kUpDown, UDM_SETPOS, 0, 5);
         t.Do(d, Act(KP_UI_STEP, kUpDown, 1));
       },
       "NOTIFY 15", {"NOTIFY 15 -722", "VSCROLL 15 4 5", "VSCROLL 15 8 5"}},
      {"an up-down step moves and shows the value in its buddy",
       [](HWND d, Dialogs& t) {
         SendDlgItemMessageW(d, kUpDown, UDM_SETRANGE, 0, MAKELONG(5, 1));
         SendDlgItemMessageW(d, kUpDown, UDM_SETPOS, 0, 2);
         t.Do(d, Act(KP_UI_STEP, kUpDown, -1));
       },
       "NOTIFY 15", {"NOTIFY 15 -722", "COMMAND 30 1024", "COMMAND 30 768", "VSCROLL 15 4 1", "VSCROLL 15 8 1"}},
      {"a scroll bar line step, then SB_ENDSCROLL",
       [](HWND d, Dialogs& t) { t.Do(d, Act(KP_UI_STEP, kScroll, SB_LINEDOWN)); }, "HSCROLL",
       {"HSCROLL 17 1 0", "HSCROLL 17 8 0"}},
      {"a list view choice: the old item loses, the new one gains",
       [](HWND d, Dialogs& t) {
         t.Do(d, Act(KP_UI_CHOOSE_MOUSE, kListView, 0));
         UiLog().push_back("--");
         t.Do(d, Act(KP_UI_CHOOSE_MOUSE, kListView, 2));
       },
       "--", {"--", "NOTIFY 18 -101", "NOTIFY 18 -101"}},
      {"a tab choice", [](HWND d, Dialogs& t) { t.Do(d, Act(KP_UI_CHOOSE_MOUSE, kTab, 1)); }, "NOTIFY 19",
       {"NOTIFY 19 -552", "NOTIFY 19 -551"}},
      {"owner drawing: the selection field, then each item",
       [](HWND d, Dialogs& t) { t.Do(d, Act(KP_UI_PAINT, kCombo)); }, "DRAW",
       {"DRAW 11 0", "DRAW 11 0", "DRAW 11 1", "DRAW 11 2", "DRAW 11 3"}},
      {"an owner-drawn static is one item",
       [](HWND d, Dialogs& t) {
         HWND label = GetDlgItem(d, kLabel);
         SetWindowLongPtrW(label, GWL_STYLE, GetWindowLongPtrW(label, GWL_STYLE) | SS_OWNERDRAW);
         t.Do(d, Act(KP_UI_PAINT, kLabel));
       },
       "DRAW", {"DRAW 20 0"}},
      {"a posted message waits for the pump",
       [](HWND d, Dialogs&) {
         PostMessageW(d, WM_COMMAND, MAKELONG(77, 0), 0);
         UiLog().push_back("posted");
         KpPumpMessages();
       },
       "posted", {"posted", "COMMAND 77 0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HWND dialog = Open();
    Fill(dialog);
    UiLog().clear();
    c.act(dialog, *this);
    EXPECT_EQ(LogFrom(c.from), c.heard);
    DestroyWindow(dialog);
  }
}

TEST_F(Dialogs, ActionsAPersonCouldNotDoChangeNothing) {
  HWND dialog = Open();
  Fill(dialog);
  SendDlgItemMessageW(dialog, kEdit, EM_SETREADONLY, TRUE, 0);
  EXPECT_FALSE(Do(dialog, Act(KP_UI_TYPE, kEdit, 0, u"x")));
  EnableWindow(GetDlgItem(dialog, kCheck), FALSE);
  EXPECT_FALSE(Do(dialog, Act(KP_UI_CLICK, kCheck)));
  ShowWindow(GetDlgItem(dialog, kCombo), SW_HIDE);
  EXPECT_FALSE(Do(dialog, Act(KP_UI_CHOOSE_MOUSE, kCombo, 1)));
  EXPECT_FALSE(Do(dialog, Act(KP_UI_CLICK, 999)));
  EXPECT_EQ(SendDlgItemMessageW(dialog, kCombo, CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(IsDlgButtonChecked(dialog, kCheck), static_cast<UINT>(BST_UNCHECKED));
  // A read-only edit still takes the program's text; EM_LIMITTEXT limits
  // typing only.
  SendDlgItemMessageW(dialog, kEdit, EM_LIMITTEXT, 2, 0);
  EXPECT_TRUE(SetDlgItemTextW(dialog, kEdit, u"longer"));
  WCHAR text[16] = {};
  EXPECT_EQ(GetDlgItemTextW(dialog, kEdit, text, 16), 6u);
  // Radio buttons of a group clear each other.
  Do(dialog, Act(KP_UI_CLICK, kRadioA));
  Do(dialog, Act(KP_UI_CLICK, kRadioB));
  EXPECT_EQ(IsDlgButtonChecked(dialog, kRadioA), static_cast<UINT>(BST_UNCHECKED));
  EXPECT_EQ(IsDlgButtonChecked(dialog, kRadioB), static_cast<UINT>(BST_CHECKED));
  // GWL_STYLE is the window's own; ES_READONLY through it is EM_SETREADONLY.
  HWND edit = GetDlgItem(dialog, kEdit);
  SetWindowLongPtrW(edit, GWL_STYLE, GetWindowLongPtrW(edit, GWL_STYLE) & ~ES_READONLY);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  EXPECT_TRUE(Do(dialog, Act(KP_UI_TYPE, kEdit, 0, u"z")));
  GetDlgItemTextW(dialog, kEdit, text, 16);
  EXPECT_EQ(std::u16string(text), u"z");
  DestroyWindow(dialog);
}

TEST_F(Dialogs, TheDumpHasOneLinePerControl) {
  HWND dialog = Open();
  Fill(dialog);
  SetDlgItemTextW(dialog, kEdit, u"say \"hi\"");
  CheckDlgButton(dialog, kCheck, BST_CHECKED);
  SendDlgItemMessageW(dialog, kEdit, EM_SETREADONLY, TRUE, 0);
  const std::string dump = Dump(dialog);
  EXPECT_NE(dump.find("id=10 class=Edit text=\"say \\\"hi\\\"\" enabled=1 visible=1 checked=0 sel=-1 readonly=1 "
                      "focus=1\n"),
            std::string::npos)
      << dump;
  EXPECT_NE(dump.find("id=11 class=ComboBox text=\"Letter\" enabled=1 visible=1 checked=0 sel=0"), std::string::npos);
  EXPECT_NE(dump.find("id=12 class=Button text=\"Check\" enabled=1 visible=1 checked=1"), std::string::npos);
  EXPECT_NE(dump.find("id=16 class=msctls_trackbar32 text=\"\" enabled=1 visible=1 checked=0 sel=-1 readonly=0 "
                      "focus=0 pos=0\n"),
            std::string::npos);
  size_t lines = 0;
  for (char c : dump) lines += c == '\n';
  EXPECT_EQ(lines, 16u);  // the 16 controls of the template
  // Owner drawing was recorded: text and icon per item.
  Do(dialog, Act(KP_UI_PAINT, kCombo));
  KP_DRAWN drawn[16];
  ASSERT_EQ(KpDrawnItems(GetDlgItem(dialog, kCombo), drawn, 16), 10u);
  EXPECT_EQ(std::u16string(drawn[2].text), u"Letter");
  EXPECT_EQ(drawn[3].kind, 2u);
  EXPECT_EQ(drawn[9].icon, reinterpret_cast<void*>(0x1003));
  DestroyWindow(dialog);
}

INT_PTR EndOnOk(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  LogProc(dialog, message, wParam, lParam);
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    WCHAR text[16] = {};
    GetDlgItemTextW(dialog, kEdit, text, 16);
    EndDialog(dialog, text[0] == u'7' ? 7 : IDOK);
    return TRUE;
  }
  return FALSE;
}

TEST_F(Dialogs, ModalRunsPlayTheirScriptAndEnd) {
  HWND owner = KpCreateTestWindow(nullptr, nullptr);
  // No script: -1 at once, the procedure never called.
  EXPECT_EQ(DialogBoxParamW(module_, MAKEINTRESOURCEW(kControlsDialog), owner, EndOnOk, 0), -1);
  EXPECT_TRUE(UiLog().empty());
  // A script that ends the dialog; the owner is disabled only meanwhile.
  const KP_UI_ACTION typed[] = {Act(KP_UI_TYPE, kEdit, 0, u"7"), Act(KP_UI_OK)};
  KpScriptDialog(kControlsDialog, typed, 2);
  EXPECT_EQ(DialogBoxParamW(module_, MAKEINTRESOURCEW(kControlsDialog), owner, EndOnOk, 0), 7);
  EXPECT_TRUE(IsWindowEnabled(owner));
  // A script that leaves it open: IDCANCEL sent, the dialog ended with it.
  const KP_UI_ACTION idle[] = {Act(KP_UI_CLICK, kCheck)};
  KpScriptDialog(kControlsDialog, idle, 1);
  UiLog().clear();
  EXPECT_EQ(DialogBoxParamW(module_, MAKEINTRESOURCEW(kControlsDialog), owner, EndOnOk, 0), IDCANCEL);
  EXPECT_EQ(LogFrom("COMMAND 2 ").size(), 2u);  // IDCANCEL, then WM_DESTROY
  // The old queue of texts and a button still plays.
  const KP_DIALOG_TEXT texts[] = {{kEdit, u"71"}};
  KpQueueDialogAnswer(IDOK, texts, 1);
  EXPECT_EQ(DialogBoxParamW(module_, MAKEINTRESOURCEW(kControlsDialog), owner, EndOnOk, 0), 7);
  // Bad templates fail their dialog.
  KpScriptDialog(kBadClassDialog, idle, 1);
  EXPECT_EQ(DialogBoxParamW(module_, MAKEINTRESOURCEW(kBadClassDialog), owner, EndOnOk, 0), -1);
  KpScriptDialog(kBrokenDialog, idle, 1);
  EXPECT_EQ(DialogBoxParamW(module_, MAKEINTRESOURCEW(kBrokenDialog), owner, EndOnOk, 0), -1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
  EXPECT_EQ(CreateDialogParamW(module_, MAKEINTRESOURCEW(999), owner, EndOnOk, 0), nullptr);
  KP_DIALOG_RUN runs[8];
  ASSERT_EQ(KpDialogRuns(runs, 8), 6u);
  const DWORD outcomes[] = {KP_RUN_UNSCRIPTED, KP_RUN_ENDED, KP_RUN_LEFT_OPEN,
                            KP_RUN_ENDED,      KP_RUN_FAILED, KP_RUN_FAILED};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(runs[i].outcome, outcomes[i]) << i;
  EXPECT_TRUE(IsWindowEnabled(owner));
  DestroyWindow(owner);
}

}  // namespace

namespace {

// The tree view: items under their parents in order, found again by the
// next-item walk, their text and data read back, a subtree deleted whole.
TEST_F(Dialogs, TreeViewKeepsItsItemsInOrderUnderTheirParents) {
  HWND dialog = CreateDialogParamW(module_, MAKEINTRESOURCEW(kTreeDialog), nullptr, LogProc, 0);
  ASSERT_NE(dialog, nullptr);
  HWND tree = GetDlgItem(dialog, 50);
  auto insert = [&](HTREEITEM parent, HTREEITEM after, const char16_t* text, LPARAM data = 0) {
    TVINSERTSTRUCTW in{};
    in.hParent = parent;
    in.hInsertAfter = after;
    in.item.mask = TVIF_TEXT | TVIF_PARAM;
    in.item.pszText = const_cast<LPWSTR>(text);
    in.item.lParam = data;
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&in)));
  };
  auto text = [&](LRESULT item) {
    WCHAR buffer[32] = {};
    TVITEMW get{};
    get.mask = TVIF_TEXT | TVIF_PARAM;
    get.hItem = reinterpret_cast<HTREEITEM>(item);
    get.pszText = buffer;
    get.cchTextMax = 32;
    if (!SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&get))) return std::u16string(u"<none>");
    return std::u16string(buffer) + u"/" + static_cast<char16_t>(u'0' + get.lParam);
  };
  // The items under a parent (0: the top level), in order.
  auto children = [&](LRESULT parent) {
    std::vector<std::u16string> out;
    for (LRESULT i = SendMessageW(tree, TVM_GETNEXTITEM, parent ? TVGN_CHILD : TVGN_ROOT, parent); i;
         i = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, i))
      out.push_back(text(i));
    return out;
  };
  HTREEITEM paper = insert(TVI_ROOT, TVI_LAST, u"Paper", 1);
  HTREEITEM output = insert(TVI_ROOT, TVI_LAST, u"Output", 2);
  insert(TVI_ROOT, TVI_FIRST, u"Colour", 3);
  ASSERT_NE(paper, nullptr);
  insert(paper, TVI_LAST, u"A4", 4);
  insert(paper, TVI_SORT, u"A3", 5);
  insert(paper, TVI_LAST, u"B5", 6);
  EXPECT_EQ(insert(reinterpret_cast<HTREEITEM>(999), TVI_LAST, u"lost"), nullptr);  // no such parent
  EXPECT_EQ(children(0), (std::vector<std::u16string>{u"Colour/3", u"Paper/1", u"Output/2"}));
  EXPECT_EQ(children(reinterpret_cast<LRESULT>(paper)), (std::vector<std::u16string>{u"A3/5", u"A4/4", u"B5/6"}));
  EXPECT_EQ(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_PARENT,
                         SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LRESULT>(paper))),
            reinterpret_cast<LRESULT>(paper));
  EXPECT_EQ(SendMessageW(tree, TVM_GETCOUNT, 0, 0), 6);
  // Deleting "Paper" takes its items with it; TVI_ROOT takes everything.
  EXPECT_TRUE(SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(paper)));
  EXPECT_EQ(SendMessageW(tree, TVM_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(text(reinterpret_cast<LRESULT>(paper)), u"<none>");
  EXPECT_FALSE(SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(paper)));
  EXPECT_EQ(children(0), (std::vector<std::u16string>{u"Colour/3", u"Output/2"}));
  EXPECT_NE(insert(output, TVI_LAST, u"Tray", 7), nullptr);
  EXPECT_TRUE(SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT)));
  EXPECT_EQ(SendMessageW(tree, TVM_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0), 0);
  DestroyWindow(dialog);
}

}  // namespace
