// Dialogs from templates and the scripts of modal runs, for user32's and
// comctl32's calls (the property sheets make their pages and play their
// scripts with these).
#pragma once

#include <string>
#include <vector>

#include "kplatform/user32_actions.h"
#include "kplatform/user32_dialog.h"

namespace kp::user32 {

// Makes the dialog from the module's template (see kplatform/user32_dialog.h:
// controls, WM_MEASUREITEM, WM_INITDIALOG, focus). `shown` forces it visible
// (a modal dialog, a sheet's page shown at once); otherwise WS_VISIBLE
// decides. Null with the last error when the template is missing or bad, a
// class is unknown, or the parent is no window.
HWND CreateDialogFromTemplate(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM param,
                              bool shown);

// One action of a script, its text owned.
struct ScriptAction {
  KP_UI_ACTION action{};
  std::u16string text;
};
using Script = std::vector<ScriptAction>;

// Takes the first script queued for the id; false when there is none.
bool TakeScript(DWORD templateId, Script* script);
// Plays the actions on the window in order, pumping after each, until
// `done` says the run is over (checked before each action).
template <class Done>
void PlayScript(HWND window, const Script& script, Done done) {
  for (const ScriptAction& step : script) {
    if (done()) return;
    KP_UI_ACTION a = step.action;
    a.text = step.text.c_str();
    KpUiAct(window, &a);
  }
}

// True when the dialog was ended by EndDialog; its result in *result.
bool DialogEnded(HWND dialog, INT_PTR* result);

}  // namespace kp::user32
