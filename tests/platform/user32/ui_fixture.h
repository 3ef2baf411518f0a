// Dialog templates compiled by krc into a resource-only module of the test's
// root, and a dialog procedure that writes down every message it gets, for
// the tests of the window stand-in (dialogs, controls, property sheets).
#pragma once

#include <kplatform/comctl32_controls.h>
#include <kplatform/comctl32_prsht.h>
#include <kplatform/kernel32_module.h>
#include <kplatform/user32_actions.h>
#include <kplatform/user32_controls.h>
#include <kplatform/user32_dialog.h>

#include <string>
#include <vector>

#include "krc.h"
#include "temp_root.h"

namespace kestrel::test {

// The messages the log procedure saw, one text each ("INITDIALOG",
// "COMMAND 11 9" for id 11 and notification code 9, "NOTIFY 18 -101",
// "MEASURE 11 -1", "HSCROLL 16 8 0" for code 8 at position 0, ...).
std::vector<std::string>& UiLog();
// Logs and answers FALSE, except: WM_INITDIALOG TRUE; WM_NOTIFY with the
// answer UiNotifyAnswer() gives (set into DWLP_MSGRESULT when not 0).
INT_PTR LogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// What LogProc answers to a notification code (0: nothing set).
LONG_PTR& UiNotifyAnswer(UINT code);
void ResetUiLog();

// The logged entries from the first one that starts with `from` on.
std::vector<std::string> LogFrom(const std::string& from);

class UiTest : public RootedTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // The module holding the test templates (kTestTemplates).
  HMODULE module_ = nullptr;
};

// Template ids of the test module.
constexpr WORD kControlsDialog = 100;  // one control of every class
constexpr WORD kPageA = 101;           // pages of a sheet
constexpr WORD kPageB = 102;
constexpr WORD kBadClassDialog = 103;  // a control of a class the stand-in lacks
constexpr WORD kBrokenDialog = 104;    // bytes that are no template
constexpr WORD kTreeDialog = 105;      // a tree view (control 50)

// Control ids of kControlsDialog.
enum : int {
  kEdit = 10,
  kCombo = 11,
  kCheck = 12,
  kRadioA = 13,
  kRadioB = 14,
  kBuddy = 30,
  kUpDown = 15,
  kTrackbar = 16,
  kScroll = 17,
  kListView = 18,
  kTab = 19,
  kLabel = 20,
  kIcon = 21,
  kList = 22,
  kPageEdit = 40,
};

KP_UI_ACTION Act(int kind, int control = 0, int value = 0, LPCWSTR text = nullptr);

}  // namespace kestrel::test
