// Window data kept per made-up window handle (see kplatform/user32_window.h).
#include <map>
#include <mutex>
#include <utility>

#include "kplatform/kernel32_string.h"
#include "kplatform/user32_window.h"
#include "user32/window_table.h"

namespace {

struct Store {
  std::mutex lock;
  std::map<std::pair<HWND, int>, LONG_PTR> values;
};
Store& S() {
  static Store* store = new Store;  // lives as long as the process
  return *store;
}

bool Check(HWND window, int index) {
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  if (index != GWLP_USERDATA && index != DWLP_MSGRESULT && index != DWLP_DLGPROC && index != DWLP_USER) {
    SetLastError(ERROR_INVALID_INDEX);
    return false;
  }
  return true;
}

// GWL_STYLE, GWL_EXSTYLE and GWL_ID are the made window's own.
bool IsRecordIndex(int index) { return index == GWL_STYLE || index == GWL_EXSTYLE || index == GWL_ID; }

// GWLP_WNDPROC: the program's procedure in front of the class's.
LONG_PTR WndProcValue(HWND window, const LONG_PTR* value) {
  auto& t = kp::user32::Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  kp::user32::Window* w = kp::user32::FindWindowRecord(window);
  if (!w) return 0;
  WNDPROC previous = w->subclass ? w->subclass : kp::user32::ClassWindowProc;
  if (value) {
    auto proc = reinterpret_cast<WNDPROC>(*value);
    w->subclass = proc == kp::user32::ClassWindowProc ? nullptr : proc;
  }
  SetLastError(ERROR_SUCCESS);
  return reinterpret_cast<LONG_PTR>(previous);
}

LONG_PTR RecordValue(HWND window, int index, const LONG_PTR* value) {
  auto& t = kp::user32::Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  kp::user32::Window* w = kp::user32::FindWindowRecord(window);
  if (!w) return 0;
  LONG* field = index == GWL_STYLE ? &w->style : index == GWL_EXSTYLE ? &w->exStyle : &w->id;
  const LONG previous = *field;
  if (value) {
    *field = static_cast<LONG>(*value);
    if (index == GWL_STYLE) {
      // The style bits are the state they name.
      w->visible = (w->style & WS_VISIBLE) != 0;
      w->enabled = (w->style & WS_DISABLED) == 0;
    }
  }
  SetLastError(ERROR_SUCCESS);
  return previous;
}

}  // namespace

KP_API LONG_PTR WINAPI GetWindowLongPtrW(HWND window, int index) {
  if (IsRecordIndex(index)) return RecordValue(window, index, nullptr);
  if (index == GWLP_WNDPROC) return WndProcValue(window, nullptr);
  if (!Check(window, index)) return 0;
  std::lock_guard<std::mutex> g(S().lock);
  auto it = S().values.find({window, index});
  return it == S().values.end() ? 0 : it->second;
}

KP_API LONG_PTR WINAPI SetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
  if (IsRecordIndex(index)) return RecordValue(window, index, &value);
  if (index == GWLP_WNDPROC) return WndProcValue(window, &value);
  if (!Check(window, index)) return 0;
  std::lock_guard<std::mutex> g(S().lock);
  LONG_PTR& slot = S().values[{window, index}];
  LONG_PTR previous = slot;
  slot = value;
  SetLastError(ERROR_SUCCESS);
  return previous;
}

KP_API void KpForgetWindowData(HWND window) {
  std::lock_guard<std::mutex> g(S().lock);
  if (!window) {
    S().values.clear();
    return;
  }
  for (auto it = S().values.begin(); it != S().values.end();) {
    it = it->first.first == window ? S().values.erase(it) : std::next(it);
  }
}
