#include "ui_fixture.h"

#include <map>

namespace kestrel::test {
namespace {

const char kTestTemplates[] = R"(
ICON 5 { 00 00 01 00 }
DIALOGEX 100 0, 0, 300, 200
STYLE DS_SETFONT | WS_POPUP | WS_CAPTION
CAPTION "Controls"
FONT 8, "MS Shell Dlg", 400, 0, 1
BEGIN
  EDITTEXT 10, 5, 5, 100, 12, ES_AUTOHSCROLL
  COMBOBOX 11, 5, 20, 100, 80, CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS
  AUTOCHECKBOX "Check", 12, 5, 35, 100, 10
  AUTORADIOBUTTON "A", 13, 5, 50, 50, 10, WS_GROUP | WS_TABSTOP
  AUTORADIOBUTTON "B", 14, 60, 50, 50, 10
  EDITTEXT 30, 5, 65, 40, 12, ES_NUMBER | WS_GROUP
  CONTROL "", 15, "msctls_updown32", UDS_SETBUDDYINT | UDS_AUTOBUDDY | UDS_ALIGNRIGHT, 45, 65, 10, 12
  CONTROL "", 16, "msctls_trackbar32", TBS_HORZ | WS_TABSTOP, 5, 80, 100, 15
  SCROLLBAR 17, 5, 100, 100, 10
  CONTROL "", 18, "SysListView32", LVS_REPORT | LVS_SINGLESEL | WS_BORDER, 110, 5, 100, 60
  CONTROL "", 19, "SysTabControl32", 0, 110, 70, 100, 15
  LTEXT "Label", 20, 110, 90, 50, 8
  ICON 5, 21, 110, 100
  LISTBOX 22, 110, 115, 100, 40, LBS_NOTIFY
  DEFPUSHBUTTON "OK", IDOK, 190, 180, 50, 14
  PUSHBUTTON "Cancel", IDCANCEL, 245, 180, 50, 14
END
DIALOGEX 101 0, 0, 200, 100
STYLE DS_SETFONT | DS_CONTROL | WS_CHILD
CAPTION "Page A"
FONT 8, "MS Shell Dlg"
BEGIN
  EDITTEXT 40, 5, 5, 100, 12
END
DIALOGEX 102 0, 0, 200, 100
STYLE DS_SETFONT | DS_CONTROL | WS_CHILD
CAPTION "Page B"
FONT 8, "MS Shell Dlg"
BEGIN
  AUTOCHECKBOX "Check", 12, 5, 5, 100, 10
END
DIALOGEX 103 0, 0, 100, 50
BEGIN
  CONTROL "", 1, "NoSuchClass", 0, 0, 0, 10, 10
END
DIALOG 104 { 01 00 ff ff 00 00 }
DIALOGEX 105 0, 0, 200, 100
BEGIN
  CONTROL "", 50, "SysTreeView32", TVS_HASBUTTONS | TVS_HASLINES | WS_BORDER, 5, 5, 150, 80
END
)";

std::map<UINT, LONG_PTR>& Answers() {
  static std::map<UINT, LONG_PTR> answers;
  return answers;
}

std::string Name(UINT message) {
  switch (message) {
    case WM_INITDIALOG: return "INITDIALOG";
    case WM_COMMAND: return "COMMAND";
    case WM_NOTIFY: return "NOTIFY";
    case WM_MEASUREITEM: return "MEASURE";
    case WM_DRAWITEM: return "DRAW";
    case WM_HSCROLL: return "HSCROLL";
    case WM_VSCROLL: return "VSCROLL";
    case WM_DESTROY: return "DESTROY";
    default: return {};
  }
}

}  // namespace

std::vector<std::string>& UiLog() {
  static std::vector<std::string> log;
  return log;
}

LONG_PTR& UiNotifyAnswer(UINT code) { return Answers()[code]; }

void ResetUiLog() {
  UiLog().clear();
  Answers().clear();
}

std::vector<std::string> LogFrom(const std::string& from) {
  std::vector<std::string> out;
  bool on = false;
  for (const std::string& line : UiLog()) {
    if (!on && line.rfind(from, 0) == 0) on = true;
    if (on) out.push_back(line);
  }
  return out;
}

INT_PTR LogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  const std::string name = Name(message);
  if (name.empty()) return FALSE;
  std::string line = name;
  switch (message) {
    case WM_COMMAND:
      line += " " + std::to_string(LOWORD(wParam)) + " " + std::to_string(HIWORD(wParam));
      break;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      line += " " + std::to_string(header->idFrom) + " " + std::to_string(static_cast<int>(header->code));
      UiLog().push_back(line);
      const LONG_PTR answer = Answers()[header->code];
      if (answer) SetWindowLongPtrW(dialog, DWLP_MSGRESULT, answer);
      return answer ? TRUE : FALSE;
    }
    case WM_MEASUREITEM: {
      const auto* m = reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam);
      line += " " + std::to_string(m->CtlID) + " " + std::to_string(static_cast<int>(m->itemID));
      break;
    }
    case WM_DRAWITEM: {
      const auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      line += " " + std::to_string(d->CtlID) + " " + std::to_string(static_cast<int>(d->itemID));
      WCHAR text[64] = {};
      if (static_cast<int>(d->itemID) >= 0)
        SendMessageW(d->hwndItem, CB_GETLBTEXT, d->itemID, reinterpret_cast<LPARAM>(text));
      DrawTextW(d->hDC, text, -1, nullptr, DT_SINGLELINE);
      DrawIconEx(d->hDC, 0, 0, reinterpret_cast<HICON>(static_cast<ULONG_PTR>(0x1000 + d->itemID)), 16, 16, 0,
                 nullptr, DI_NORMAL);
      break;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
      line += " " + std::to_string(GetDlgCtrlID(reinterpret_cast<HWND>(lParam))) + " " +
              std::to_string(LOWORD(wParam)) + " " + std::to_string(static_cast<SHORT>(HIWORD(wParam)));
      break;
    default:
      break;
  }
  UiLog().push_back(line);
  return message == WM_INITDIALOG ? TRUE : FALSE;
}

void UiTest::SetUp() {
  ResetUiLog();
  KpClearDialogs();
  KpClearSheetChanges();
  krc::Result r = krc::Compile(kTestTemplates, ".", "ui_test.krc");
  ASSERT_TRUE(r.ok) << r.error;
  WriteHostFile(root_.host("c/Windows/system32/spool/drivers/x64/3/uitest.zrs"),
                std::string(r.container.begin(), r.container.end()));
  module_ = LoadLibraryExW(u"uitest.zrs", nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(module_, nullptr);
}

void UiTest::TearDown() {
  if (module_) FreeLibrary(module_);
  KpClearDialogs();
  KpPumpMessages();
}

KP_UI_ACTION Act(int kind, int control, int value, LPCWSTR text) {
  KP_UI_ACTION a{};
  a.kind = kind;
  a.control = control;
  a.value = value;
  a.text = text;
  return a;
}

}  // namespace kestrel::test
