// Scripted modal dialogs (kplatform/user32_dialog.h).
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "kplatform/kernel32_system.h"
#include "kplatform/user32_dialog.h"
#include "kplatform/user32_messagebox.h"
#include "kplatform/user32_window.h"

namespace {

struct Script {
  int button;
  std::vector<std::pair<int, std::u16string>> texts;
};

struct Running {
  std::map<int, std::u16string> items;
  bool ended = false;
  INT_PTR result = 0;
};

struct State {
  std::mutex lock;
  std::deque<Script> queue;
  std::map<HWND, Running> running;
  DWORD count = 0;
  DWORD lastTemplate = 0;
};

State& S() {
  static State* s = new State;
  return *s;
}

}  // namespace

KP_API INT_PTR WINAPI DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC proc,
                                      LPARAM param) {
  if (!proc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  HWND dialog = KpCreateTestWindow(owner && IsWindow(owner) ? owner : nullptr, instance);
  if (!dialog) return -1;
  Script script{IDCANCEL, {}};
  State& s = S();
  {
    std::lock_guard<std::mutex> g(s.lock);
    if (!s.queue.empty()) {
      script = s.queue.front();
      s.queue.pop_front();
    }
    s.running[dialog] = Running{};
    ++s.count;
    ULONG_PTR id = reinterpret_cast<ULONG_PTR>(templateName);
    s.lastTemplate = id <= 0xFFFF ? static_cast<DWORD>(id) : 0;
  }
  BOOL ownerWasEnabled = owner && IsWindow(owner) ? IsWindowEnabled(owner) : FALSE;
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  proc(dialog, WM_INITDIALOG, 0, param);
  auto ended = [&] {
    std::lock_guard<std::mutex> g(s.lock);
    return s.running[dialog].ended;
  };
  if (!ended()) {
    for (const auto& t : script.texts) SetDlgItemTextW(dialog, t.first, t.second.c_str());
    proc(dialog, WM_COMMAND, static_cast<WPARAM>(script.button), 0);
  }
  INT_PTR result;
  {
    std::lock_guard<std::mutex> g(s.lock);
    Running& r = s.running[dialog];
    result = r.ended ? r.result : script.button;
    s.running.erase(dialog);
  }
  if (ownerWasEnabled) EnableWindow(owner, TRUE);
  DestroyWindow(dialog);
  return result;
}

KP_API BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  auto it = s.running.find(dialog);
  if (it == s.running.end()) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  it->second.ended = true;
  it->second.result = result;
  return TRUE;
}

KP_API UINT WINAPI GetDlgItemTextW(HWND dialog, int item, LPWSTR text, int max) {
  if (!text || max <= 0) return 0;
  text[0] = 0;
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  auto it = s.running.find(dialog);
  if (it == s.running.end()) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  auto item_it = it->second.items.find(item);
  if (item_it == it->second.items.end()) return 0;
  size_t n = std::min(item_it->second.size(), static_cast<size_t>(max - 1));
  item_it->second.copy(reinterpret_cast<char16_t*>(text), n);
  text[n] = 0;
  return static_cast<UINT>(n);
}

KP_API BOOL WINAPI SetDlgItemTextW(HWND dialog, int item, LPCWSTR text) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  auto it = s.running.find(dialog);
  if (it == s.running.end()) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  it->second.items[item] = text ? std::u16string(text) : std::u16string();
  return TRUE;
}

KP_API void KpQueueDialogAnswer(int button, const KP_DIALOG_TEXT* texts, DWORD count) {
  Script script{button, {}};
  for (DWORD i = 0; texts && i < count; ++i)
    script.texts.emplace_back(texts[i].item, texts[i].text ? std::u16string(texts[i].text) : std::u16string());
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  s.queue.push_back(std::move(script));
}

KP_API DWORD KpQueuedDialogAnswers(void) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  return static_cast<DWORD>(s.queue.size());
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

KP_API void KpClearDialogs(void) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  s.queue.clear();
  s.count = 0;
  s.lastTemplate = 0;
}
