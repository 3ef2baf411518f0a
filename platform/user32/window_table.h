// The window table behind user32's window calls: every window the stand-in
// made, with what its calls read and change. Nothing is drawn. Later window
// components (dialogs, controls) add their state here, under the same lock.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "kplatform/wintypes.h"

namespace kp::user32 {

struct Window {
  HWND parent = nullptr;
  HINSTANCE instance = nullptr;
  LONG id = 0;
  LONG style = 0;
  bool enabled = true;
};

struct WindowTable {
  std::recursive_mutex lock;
  std::map<HWND, Window> windows;
  HWND active = nullptr;
  UINT_PTR next = 0;  // handles are made from this counter, see MakeHandle
};

WindowTable& Windows();

// The window's record, or null (and ERROR_INVALID_WINDOW_HANDLE) when the
// stand-in did not make it or it was destroyed. Call under the table's lock.
Window* FindWindowRecord(HWND window);

}  // namespace kp::user32
