// The window stand-in's pieces a page uses beyond its template: tooltips
// made with CreateWindowExW and read back, the tab order, a control's place,
// subclassing with a scripted left click, and a message box taking the
// focus from an edit while it is shown.
#include <kplatform/user32_messagebox.h>

#include "ui_fixture.h"

namespace {

using namespace kestrel::test;

class Popups : public UiTest {
 public:
  HWND Open() {
    HWND dialog = CreateDialogParamW(module_, MAKEINTRESOURCEW(kControlsDialog), nullptr, LogProc, 42);
    EXPECT_NE(dialog, nullptr);
    ShowWindow(dialog, SW_SHOW);
    return dialog;
  }
  void TearDown() override {
    KpClearMessageBoxes();
    UiTest::TearDown();
  }
};

std::u16string TipText(HWND tooltip, HWND owner, HWND tool) {
  WCHAR text[64] = {};
  TTTOOLINFOW t{};
  t.cbSize = sizeof t;
  t.hwnd = owner;
  t.uId = reinterpret_cast<UINT_PTR>(tool);
  t.lpszText = text;
  SendMessageW(tooltip, TTM_GETTEXTW, 64, reinterpret_cast<LPARAM>(&t));
  return text;
}

TEST_F(Popups, ToolTipsKeepTheirToolsTextsAndGoWithTheirOwner) {
  HWND dialog = Open();
  HWND tooltip =
      CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, TTS_ALWAYSTIP, 0, 0, 0, 0, dialog, nullptr, nullptr, nullptr);
  ASSERT_NE(tooltip, nullptr);
  EXPECT_EQ(GetParent(tooltip), nullptr);  // a popup owned by the dialog, not its child
  HWND combo = GetDlgItem(dialog, kCombo), edit = GetDlgItem(dialog, kEdit);
  TTTOOLINFOW t{};
  t.cbSize = sizeof t;
  t.uFlags = TTF_IDISHWND;
  t.hwnd = dialog;
  t.uId = reinterpret_cast<UINT_PTR>(combo);
  t.lpszText = const_cast<LPWSTR>(u"first");
  EXPECT_TRUE(SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&t)));
  EXPECT_EQ(TipText(tooltip, dialog, combo), u"first");
  t.lpszText = const_cast<LPWSTR>(u"second");
  SendMessageW(tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&t));
  EXPECT_EQ(TipText(tooltip, dialog, combo), u"second");
  // A tool that was never added: nothing to update, an empty text.
  t.uId = reinterpret_cast<UINT_PTR>(edit);
  SendMessageW(tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&t));
  EXPECT_EQ(TipText(tooltip, dialog, edit), u"");
  EXPECT_EQ(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), 1);
  EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", nullptr, 0, 0, 0, 0, 0, dialog, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
  DestroyWindow(dialog);
  EXPECT_FALSE(IsWindow(tooltip));
}

TEST_F(Popups, TheTabOrderSkipsDisabledAndHiddenControlsAndWraps) {
  HWND dialog = Open();
  HWND edit = GetDlgItem(dialog, kEdit), combo = GetDlgItem(dialog, kCombo), check = GetDlgItem(dialog, kCheck);
  HWND radio = GetDlgItem(dialog, kRadioA), cancel = GetDlgItem(dialog, IDCANCEL);
  EXPECT_EQ(GetNextDlgTabItem(dialog, edit, FALSE), combo);
  EXPECT_EQ(GetNextDlgTabItem(dialog, edit, TRUE), cancel);  // wraps backwards
  EXPECT_EQ(GetNextDlgTabItem(dialog, cancel, FALSE), edit);
  EXPECT_EQ(GetNextDlgTabItem(dialog, nullptr, FALSE), edit);
  EnableWindow(combo, FALSE);
  ShowWindow(check, SW_HIDE);
  EXPECT_EQ(GetNextDlgTabItem(dialog, edit, FALSE), radio);
  // From a control that is no tab stop itself (the label): the next one.
  EXPECT_EQ(GetNextDlgTabItem(dialog, GetDlgItem(dialog, kLabel), FALSE),
            GetNextDlgTabItem(dialog, GetDlgItem(dialog, kIcon), FALSE));
}

TEST_F(Popups, SetWindowPosKeepsThePlaceAndSize) {
  HWND dialog = Open();
  HWND label = GetDlgItem(dialog, kLabel);
  ASSERT_TRUE(SetWindowPos(label, nullptr, 10, 20, 30, 40, SWP_NOZORDER));
  ASSERT_TRUE(SetWindowPos(label, nullptr, 0, 0, 64, 32, SWP_NOMOVE | SWP_NOZORDER));
  RECT r{};
  ASSERT_TRUE(GetWindowRect(label, &r));
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right, 74);
  EXPECT_EQ(r.bottom, 52);
  EXPECT_FALSE(SetWindowPos(nullptr, nullptr, 0, 0, 1, 1, 0));
}

WNDPROC g_previous = nullptr;
int g_clicks = 0;
LRESULT CALLBACK Subclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_LBUTTONDOWN) ++g_clicks;
  return CallWindowProcW(g_previous, window, message, wParam, lParam);
}

TEST_F(Popups, ASubclassSeesTheClickAndPassesTheRestOn) {
  HWND dialog = Open();
  HWND label = GetDlgItem(dialog, kLabel);
  g_clicks = 0;
  g_previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(label, GWLP_WNDPROC));
  ASSERT_NE(g_previous, nullptr);
  EXPECT_EQ(SetWindowLongPtrW(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Subclass)),
            reinterpret_cast<LONG_PTR>(g_previous));
  KP_UI_ACTION click = Act(KP_UI_MOUSE_DOWN, kLabel);
  EXPECT_TRUE(KpUiAct(dialog, &click));
  EXPECT_EQ(g_clicks, 1);
  // The class procedure still answers through the subclass.
  EXPECT_TRUE(SetWindowTextW(label, u"Changed"));
  WCHAR text[16] = {};
  GetWindowTextW(label, text, 16);
  EXPECT_EQ(std::u16string(text), u"Changed");
  // Putting the class procedure back ends the subclass.
  SetWindowLongPtrW(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_previous));
  KpUiAct(dialog, &click);
  EXPECT_EQ(g_clicks, 1);
}

TEST_F(Popups, ABoxOverTheDialogTakesTheFocusFromTheEditAndGivesItBack) {
  HWND dialog = Open();
  HWND edit = GetDlgItem(dialog, kEdit);
  SetFocus(edit);
  ResetUiLog();
  KpQueueMessageBoxAnswer(IDOK);
  EXPECT_EQ(MessageBoxW(dialog, u"text", u"caption", MB_OK), IDOK);
  // EN_KILLFOCUS (512) while the box was shown, EN_SETFOCUS (256) after.
  EXPECT_EQ(UiLog(), (std::vector<std::string>{"COMMAND 10 512", "COMMAND 10 256"}));
  EXPECT_EQ(GetFocus(), edit);
  // A box without an owner leaves the focus alone.
  ResetUiLog();
  MessageBoxW(nullptr, u"text", u"caption", MB_OK);
  EXPECT_TRUE(UiLog().empty());
}

}  // namespace
