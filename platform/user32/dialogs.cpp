// Dialogs made from DLGTEMPLATEEX templates, the dialog manager's message
// answers, and modal runs played from scripts (kplatform/user32_dialog.h).
#include "user32/dialogs.h"

#include <deque>
#include <map>
#include <mutex>

#include "kplatform/comctl32_controls.h"
#include "kplatform/kernel32_resource.h"
#include "kplatform/kernel32_string.h"
#include "kplatform/user32_controls.h"
#include "kplatform/user32_messagebox.h"
#include "user32/dialog_template.h"
#include "user32/window_table.h"

#ifndef ERROR_CANCELLED
#define ERROR_CANCELLED 1223L
#endif

namespace kp::user32 {
namespace {

// A generic answer of KpQueueDialogAnswer.
struct Answer {
  int button;
  std::vector<std::pair<int, std::u16string>> texts;
};

struct State {
  std::mutex lock;
  std::deque<Answer> answers;
  std::map<DWORD, std::deque<Script>> scripts;
  std::vector<KP_DIALOG_RUN> runs;
  DWORD count = 0;
  DWORD lastTemplate = 0;
};

State& S() {
  static State* s = new State;  // lives as long as the process
  return *s;
}

DWORD TemplateIdOf(LPCWSTR name) {
  return IS_INTRESOURCE(name) ? static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(name)) : 0;
}

void RecordRun(DWORD templateId, DWORD outcome, INT_PTR result) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  s.runs.push_back(KP_DIALOG_RUN{templateId, outcome, result});
}

// The messages whose answer is the procedure's own return value.
bool AnswersDirectly(UINT message) {
  return message == WM_INITDIALOG || message == WM_VKEYTOITEM || message == WM_CHARTOITEM ||
         message == WM_COMPAREITEM || (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC);
}

bool IsOwnerDrawList(Kind kind, LONG style) {
  if (kind == Kind::kComboBox) return (style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) != 0;
  if (kind == Kind::kListBox) return (style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) != 0;
  return false;
}

}  // namespace

LRESULT DialogDispatch(HWND window, DLGPROC proc, UINT message, WPARAM wParam, LPARAM lParam) {
  const INT_PTR r = proc ? proc(window, message, wParam, lParam) : 0;
  if (AnswersDirectly(message)) return r;
  if (r) return GetWindowLongPtrW(window, DWLP_MSGRESULT);
  switch (message) {
    case WM_SETTEXT:
    case WM_GETTEXT:
    case WM_GETTEXTLENGTH:
      return DefWindowProcW(window, message, wParam, lParam);
    case WM_CLOSE:
      // The dialog manager turns closing into Cancel.
      SendMessageW(window, WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(GetDlgItem(window, IDCANCEL)));
      return 0;
    default:
      return 0;
  }
}

bool KindOfClass(const std::u16string& name, Kind* kind, std::u16string* canonical) {
  static const struct {
    const char16_t* name;
    Kind kind;
  } kClasses[] = {
      {u"Button", Kind::kButton},
      {u"Edit", Kind::kEdit},
      {u"Static", Kind::kStatic},
      {u"ListBox", Kind::kListBox},
      {u"ScrollBar", Kind::kScrollBar},
      {u"ComboBox", Kind::kComboBox},
      {u"msctls_updown32", Kind::kUpDown},
      {u"msctls_trackbar32", Kind::kTrackbar},
      {u"SysListView32", Kind::kListView},
      {u"SysTabControl32", Kind::kTab},
      {u"SysTreeView32", Kind::kTreeView},
  };
  for (const auto& c : kClasses) {
    std::u16string known(c.name);
    if (known.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < known.size() && same; ++i) {
      char16_t a = known[i], b = name[i];
      if (a >= u'A' && a <= u'Z') a = static_cast<char16_t>(a + 32);
      if (b >= u'A' && b <= u'Z') b = static_cast<char16_t>(b + 32);
      same = a == b;
    }
    if (same) {
      *kind = c.kind;
      *canonical = known;
      return true;
    }
  }
  return false;
}

HWND CreateDialogFromTemplate(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM param,
                              bool shown) {
  if (parent && !IsWindow(parent)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  // 1. The template, read and checked whole.
  HRSRC resource = FindResourceW(instance, templateName, RT_DIALOG);
  if (!resource) return nullptr;
  HGLOBAL loaded = LoadResource(instance, resource);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  const DWORD size = SizeofResource(instance, resource);
  DialogTemplate dialog;
  if (!bytes || !ParseDialogTemplate(static_cast<const uint8_t*>(bytes), size, &dialog, nullptr)) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  // 2. Every control's class must be one the stand-in has.
  static const char16_t* const kOrdinalClasses[] = {u"Button", u"Edit", u"Static", u"ListBox", u"ScrollBar",
                                                    u"ComboBox"};
  std::vector<std::pair<Kind, std::u16string>> classes;
  for (const TemplateItem& item : dialog.items) {
    std::u16string name = item.windowClass.name;
    if (item.windowClass.ordinal) {
      if (item.windowClass.ordinal < 0x80 || item.windowClass.ordinal > 0x85) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
      }
      name = kOrdinalClasses[item.windowClass.ordinal - 0x80];
    }
    Kind kind;
    std::u16string canonical;
    if (!KindOfClass(name, &kind, &canonical)) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    classes.emplace_back(kind, canonical);
  }
  // 3. The dialog and its controls.
  Window w;
  w.parent = parent;
  w.instance = instance;
  w.kind = Kind::kDialog;
  w.className = u"#32770";
  w.style = static_cast<LONG>(dialog.style) & ~WS_VISIBLE;
  w.exStyle = static_cast<LONG>(dialog.exStyle);
  w.text = dialog.title;
  w.dlgProc = proc;
  w.visible = false;
  w.enabled = (dialog.style & WS_DISABLED) == 0;
  w.templateId = TemplateIdOf(templateName);
  HWND handle = MakeWindow(std::move(w));
  if (!handle) return nullptr;
  HWND firstTabStop = nullptr;
  HWND previous = nullptr;
  std::vector<HWND> ownerDraw;
  for (size_t i = 0; i < dialog.items.size(); ++i) {
    const TemplateItem& item = dialog.items[i];
    Window c;
    c.parent = handle;
    c.instance = instance;
    c.id = static_cast<LONG>(item.id);
    c.style = static_cast<LONG>(item.style);
    c.exStyle = static_cast<LONG>(item.exStyle);
    c.kind = classes[i].first;
    c.className = classes[i].second;
    c.visible = (item.style & WS_VISIBLE) != 0;
    c.enabled = (item.style & WS_DISABLED) == 0;
    c.text = item.title.name;
    if (c.kind == Kind::kUpDown) {
      c.maximum = 0;  // upper limit
      c.minimum = 100;  // lower limit (Windows' default range)
      if (item.style & UDS_AUTOBUDDY) c.buddy = previous;
    }
    if (c.kind == Kind::kTrackbar) c.maximum = 100;
    HWND control = MakeWindow(std::move(c));
    if (!control) {
      DestroyWindow(handle);
      return nullptr;
    }
    if (item.title.ordinal && classes[i].first == Kind::kStatic && (item.style & SS_TYPEMASK) == SS_ICON) {
      HICON icon = LoadIconW(instance, MAKEINTRESOURCEW(item.title.ordinal));
      if (icon) SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    }
    if (!firstTabStop && (item.style & WS_TABSTOP) && !(item.style & WS_DISABLED)) firstTabStop = control;
    if (IsOwnerDrawList(classes[i].first, static_cast<LONG>(item.style))) ownerDraw.push_back(control);
    previous = control;
  }
  // 4. Owner-draw boxes are measured before WM_INITDIALOG.
  for (HWND control : ownerDraw) {
    Kind kind;
    WindowKind(control, &kind);
    MEASUREITEMSTRUCT measure{};
    measure.CtlType = kind == Kind::kComboBox ? ODT_COMBOBOX : ODT_LISTBOX;
    measure.CtlID = static_cast<UINT>(IdOf(control));
    measure.itemHeight = 16;
    if (kind == Kind::kComboBox) {
      measure.itemID = static_cast<UINT>(-1);  // the selection field
      SendMessageW(handle, WM_MEASUREITEM, measure.CtlID, reinterpret_cast<LPARAM>(&measure));
      measure.itemHeight = 16;
    }
    measure.itemID = 0;
    SendMessageW(handle, WM_MEASUREITEM, measure.CtlID, reinterpret_cast<LPARAM>(&measure));
  }
  // 5. WM_INITDIALOG; its non-zero answer puts the focus on the first tab stop.
  if (SendMessageW(handle, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop), param) && firstTabStop &&
      IsWindow(firstTabStop))
    SetFocus(firstTabStop);
  if (IsWindow(handle) && (shown || (dialog.style & WS_VISIBLE))) ShowWindow(handle, SW_SHOW);
  return IsWindow(handle) ? handle : nullptr;
}

bool TakeScript(DWORD templateId, Script* script) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  auto it = s.scripts.find(templateId);
  if (it == s.scripts.end() || it->second.empty()) return false;
  *script = std::move(it->second.front());
  it->second.pop_front();
  return true;
}

bool DialogEnded(HWND dialog, INT_PTR* result) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  auto it = t.windows.find(dialog);
  if (it == t.windows.end()) return true;  // gone: nothing more to play
  if (result) *result = it->second.result;
  return it->second.ended;
}

}  // namespace kp::user32

using namespace kp::user32;

KP_API HWND WINAPI CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc,
                                      LPARAM param) {
  return CreateDialogFromTemplate(instance, templateName, parent, proc, param, false);
}

KP_API INT_PTR WINAPI DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC proc,
                                      LPARAM param) {
  if (!proc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  const DWORD templateId = TemplateIdOf(templateName);
  State& s = S();
  {
    std::lock_guard<std::mutex> g(s.lock);
    ++s.count;
    s.lastTemplate = templateId;
  }
  // 1. The run's script: one for the template id, else a queued answer.
  Script script;
  Answer answer{0, {}};
  bool scripted = templateId && TakeScript(templateId, &script);
  bool answered = false;
  if (!scripted) {
    std::lock_guard<std::mutex> g(s.lock);
    if (!s.answers.empty()) {
      answer = std::move(s.answers.front());
      s.answers.pop_front();
      answered = true;
    }
  }
  if (!scripted && !answered) {
    RecordRun(templateId, KP_RUN_UNSCRIPTED, -1);
    SetLastError(ERROR_CANCELLED);
    return -1;
  }
  // 2. The dialog, with its owner disabled while it runs.
  HWND parent = owner && IsWindow(owner) ? owner : nullptr;
  const bool ownerWasEnabled = parent && IsWindowEnabled(parent);
  if (ownerWasEnabled) EnableWindow(parent, FALSE);
  HWND dialog = CreateDialogFromTemplate(instance, templateName, parent, proc, param, true);
  if (!dialog) {
    const DWORD error = GetLastError();
    if (ownerWasEnabled) EnableWindow(parent, TRUE);
    RecordRun(templateId, KP_RUN_FAILED, -1);
    SetLastError(error);
    return -1;
  }
  KpPumpMessages();
  // 3. The script.
  auto ended = [&] { return DialogEnded(dialog, nullptr); };
  DWORD outcome = KP_RUN_ENDED;
  INT_PTR result = IDCANCEL;
  if (scripted) {
    PlayScript(dialog, script, ended);
  } else if (!ended()) {
    for (const auto& text : answer.texts) SetDlgItemTextW(dialog, text.first, text.second.c_str());
    KpPumpMessages();
    if (!ended()) {
      SendMessageW(dialog, WM_COMMAND, static_cast<WPARAM>(answer.button),
                   reinterpret_cast<LPARAM>(GetDlgItem(dialog, answer.button)));
      KpPumpMessages();
    }
    // A procedure that does not end the dialog on the button is ended with it.
    if (!ended() && IsWindow(dialog)) EndDialog(dialog, answer.button);
  }
  // 4. A dialog left open is cancelled, and ended if it stays open.
  if (!ended()) {
    outcome = KP_RUN_LEFT_OPEN;
    SendMessageW(dialog, WM_COMMAND, IDCANCEL, reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
    KpPumpMessages();
    if (!ended() && IsWindow(dialog)) EndDialog(dialog, IDCANCEL);
  }
  DialogEnded(dialog, &result);
  if (ownerWasEnabled && IsWindow(parent)) EnableWindow(parent, TRUE);
  if (IsWindow(dialog)) DestroyWindow(dialog);
  RecordRun(templateId, outcome, result);
  return result;
}

KP_API BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  Window* w = FindWindowRecord(dialog);
  if (!w || w->kind != Kind::kDialog) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  w->ended = true;
  w->result = result;
  return TRUE;
}

KP_API UINT WINAPI GetDlgItemTextW(HWND dialog, int item, LPWSTR text, int max) {
  if (!text || max <= 0) return 0;
  text[0] = 0;
  HWND control = GetDlgItem(dialog, item);
  if (!control) return 0;
  return static_cast<UINT>(GetWindowTextW(control, text, max));
}

KP_API BOOL WINAPI SetDlgItemTextW(HWND dialog, int item, LPCWSTR text) {
  HWND control = GetDlgItem(dialog, item);
  if (!control) return FALSE;
  return SetWindowTextW(control, text);
}

KP_API void KpQueueDialogAnswer(int button, const KP_DIALOG_TEXT* texts, DWORD count) {
  Answer answer{button, {}};
  for (DWORD i = 0; texts && i < count; ++i)
    answer.texts.emplace_back(texts[i].item, texts[i].text ? std::u16string(texts[i].text) : std::u16string());
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  s.answers.push_back(std::move(answer));
}

KP_API DWORD KpQueuedDialogAnswers(void) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  return static_cast<DWORD>(s.answers.size());
}

KP_API void KpScriptDialog(DWORD templateId, const KP_UI_ACTION* actions, DWORD count) {
  Script script;
  for (DWORD i = 0; actions && i < count; ++i) {
    ScriptAction step;
    step.action = actions[i];
    if (actions[i].text) step.text = actions[i].text;
    step.action.text = nullptr;
    script.push_back(std::move(step));
  }
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  s.scripts[templateId].push_back(std::move(script));
}

KP_API DWORD KpScriptedRuns(DWORD templateId) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  auto it = s.scripts.find(templateId);
  return it == s.scripts.end() ? 0 : static_cast<DWORD>(it->second.size());
}

KP_API DWORD KpDialogCount(void) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  return s.count;
}

KP_API DWORD KpLastDialogTemplate(void) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  return s.lastTemplate;
}

KP_API DWORD KpDialogRuns(KP_DIALOG_RUN* runs, DWORD capacity) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  for (DWORD i = 0; runs && i < capacity && i < s.runs.size(); ++i) runs[i] = s.runs[i];
  return static_cast<DWORD>(s.runs.size());
}

KP_API void KpClearDialogs(void) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  s.answers.clear();
  s.scripts.clear();
  s.runs.clear();
  s.count = 0;
  s.lastTemplate = 0;
}
