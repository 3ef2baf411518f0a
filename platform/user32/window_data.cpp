// Window data kept per made-up window handle (see kplatform/user32_window.h).
#include <map>
#include <mutex>
#include <utility>

#include "kplatform/kernel32_string.h"
#include "kplatform/user32_window.h"

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

}  // namespace

KP_API LONG_PTR WINAPI GetWindowLongPtrW(HWND window, int index) {
  if (!Check(window, index)) return 0;
  std::lock_guard<std::mutex> g(S().lock);
  auto it = S().values.find({window, index});
  return it == S().values.end() ? 0 : it->second;
}

KP_API LONG_PTR WINAPI SetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
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

HWND WINAPI GetActiveWindow(void) { return nullptr; }
