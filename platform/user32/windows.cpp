// Windows as records: made by KpCreateTestWindow (and later by the dialog
// calls), destroyed with their descendants, asked for parent, instance, id,
// style and enabled state. See kplatform/user32_window.h.
#include <vector>

#include "kplatform/kernel32_string.h"
#include "kplatform/user32_window.h"
#include "user32/window_table.h"

namespace kp::user32 {

WindowTable& Windows() {
  static WindowTable* table = new WindowTable;  // lives as long as the process
  return *table;
}

Window* FindWindowRecord(HWND window) {
  auto& t = Windows();
  auto it = window ? t.windows.find(window) : t.windows.end();
  if (it == t.windows.end()) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return &it->second;
}

namespace {

// Made handles sit in a range of their own (0x7F000000 + 0x10 * n), clear of
// the small values tests make up by hand.
constexpr UINT_PTR kHandleBase = 0x7F000000u;
constexpr UINT_PTR kHandleStep = 0x10u;

HWND MakeHandle(WindowTable& t) {
  return reinterpret_cast<HWND>(kHandleBase + kHandleStep * ++t.next);
}

}  // namespace
}  // namespace kp::user32

using kp::user32::FindWindowRecord;
using kp::user32::Window;
using kp::user32::Windows;

KP_API HWND WINAPI KpCreateTestWindow(HWND parent, HINSTANCE instance) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  if (parent && !FindWindowRecord(parent)) return nullptr;
  HWND handle = kp::user32::MakeHandle(t);
  Window w;
  w.parent = parent;
  w.instance = instance;
  t.windows[handle] = w;
  SetLastError(ERROR_SUCCESS);
  return handle;
}

KP_API BOOL WINAPI DestroyWindow(HWND window) {
  std::vector<HWND> doomed;
  {
    auto& t = Windows();
    std::lock_guard<std::recursive_mutex> g(t.lock);
    if (!FindWindowRecord(window)) return FALSE;
    // The window and every descendant: children before their parents go.
    doomed.push_back(window);
    for (size_t i = 0; i < doomed.size(); ++i) {
      for (const auto& [handle, w] : t.windows) {
        if (w.parent == doomed[i]) doomed.push_back(handle);
      }
    }
    for (HWND h : doomed) {
      t.windows.erase(h);
      if (t.active == h) t.active = nullptr;
    }
  }
  for (HWND h : doomed) KpForgetWindowData(h);
  return TRUE;
}

KP_API BOOL WINAPI IsWindow(HWND window) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  return window && t.windows.count(window) ? TRUE : FALSE;
}

KP_API HWND WINAPI GetParent(HWND window) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  Window* w = FindWindowRecord(window);
  if (!w) return nullptr;
  if (!w->parent) SetLastError(ERROR_SUCCESS);
  return w->parent;
}

KP_API LONG WINAPI GetWindowLongW(HWND window, int index) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  Window* w = FindWindowRecord(window);
  if (!w) return 0;
  switch (index) {
    case GWL_HINSTANCE:
      // The 32-bit call keeps the low half of the instance handle, as on
      // 64-bit Windows; GetWindowLongPtrW is the whole-handle call.
      return static_cast<LONG>(reinterpret_cast<UINT_PTR>(w->instance));
    case GWL_ID:
      return w->id;
    case GWL_STYLE:
      return w->style;
    default:
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
  }
}

KP_API HWND WINAPI GetActiveWindow(void) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  return t.active;
}

KP_API HWND WINAPI KpSetActiveWindow(HWND window) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  if (window && !FindWindowRecord(window)) return nullptr;
  HWND previous = t.active;
  t.active = window;
  return previous;
}

KP_API BOOL WINAPI EnableWindow(HWND window, BOOL enable) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  Window* w = FindWindowRecord(window);
  if (!w) return FALSE;
  BOOL wasDisabled = w->enabled ? FALSE : TRUE;
  w->enabled = enable != FALSE;
  return wasDisabled;
}

KP_API BOOL WINAPI IsWindowEnabled(HWND window) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  Window* w = FindWindowRecord(window);
  return w && w->enabled ? TRUE : FALSE;
}
