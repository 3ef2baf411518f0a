// Windows as records: made by KpCreateTestWindow, the dialog calls and the
// property sheets, destroyed with their descendants, asked for parent,
// instance, id, style, text, enabled and visible state; messages sent at
// once or posted and pumped; the focus. See kplatform/user32_window.h.
#include <algorithm>
#include <deque>
#include <vector>

#include "kplatform/comctl32_controls.h"
#include "kplatform/kernel32_string.h"
#include "kplatform/user32_controls.h"
#include "kplatform/user32_dialog.h"
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

struct Posted {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

struct PostQueue {
  std::mutex lock;
  std::deque<Posted> queue;
};

PostQueue& Queue() {
  static PostQueue* q = new PostQueue;
  return *q;
}

// How many posted messages one pump delivers at most.
constexpr DWORD kPumpLimit = 100000;

}  // namespace

HWND MakeWindow(Window record) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  if (record.parent && !FindWindowRecord(record.parent)) return nullptr;
  HWND handle = reinterpret_cast<HWND>(kHandleBase + kHandleStep * ++t.next);
  t.windows.emplace(handle, std::move(record));
  return handle;
}

bool WindowKind(HWND window, Kind* kind) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  Window* w = FindWindowRecord(window);
  if (!w) return false;
  *kind = w->kind;
  return true;
}

HWND ParentOf(HWND window) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  Window* w = FindWindowRecord(window);
  return w ? w->parent : nullptr;
}

LONG StyleOf(HWND window) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  Window* w = FindWindowRecord(window);
  return w ? w->style : 0;
}

LONG IdOf(HWND window) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  Window* w = FindWindowRecord(window);
  return w ? w->id : 0;
}

std::vector<HWND> ChildrenOf(HWND window) {
  std::vector<HWND> children;
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  for (const auto& [handle, w] : t.windows)
    if (w.parent == window) children.push_back(handle);
  return children;
}

void NotifyCommand(HWND control, int code) {
  HWND parent = ParentOf(control);
  if (!parent) return;
  const LONG id = IdOf(control);
  SendMessageW(parent, WM_COMMAND, static_cast<WPARAM>(MAKELONG(static_cast<WORD>(id), static_cast<WORD>(code))),
               reinterpret_cast<LPARAM>(control));
}

LRESULT NotifyParent(HWND control, NMHDR* header, UINT code) {
  HWND parent = ParentOf(control);
  if (!parent) return 0;
  header->hwndFrom = control;
  header->idFrom = static_cast<UINT_PTR>(IdOf(control));
  header->code = code;
  return SendMessageW(parent, WM_NOTIFY, header->idFrom, reinterpret_cast<LPARAM>(header));
}

LRESULT CopyOut(const std::u16string& text, WPARAM max, LPARAM buffer) {
  auto* out = reinterpret_cast<char16_t*>(buffer);
  if (!out || max == 0) return 0;
  const size_t n = std::min(text.size(), static_cast<size_t>(max - 1));
  text.copy(out, n);
  out[n] = 0;
  return static_cast<LRESULT>(n);
}

}  // namespace kp::user32

using kp::user32::FindWindowRecord;
using kp::user32::Kind;
using kp::user32::Window;
using kp::user32::Windows;

KP_API HWND WINAPI KpCreateTestWindow(HWND parent, HINSTANCE instance) {
  Window w;
  w.parent = parent;
  w.instance = instance;
  HWND handle = kp::user32::MakeWindow(std::move(w));
  if (handle) SetLastError(ERROR_SUCCESS);
  return handle;
}

KP_API BOOL WINAPI DestroyWindow(HWND window) {
  std::vector<HWND> doomed;
  {
    auto& t = Windows();
    std::lock_guard<std::recursive_mutex> g(t.lock);
    if (!FindWindowRecord(window)) return FALSE;
    // The window and every descendant.
    doomed.push_back(window);
    for (size_t i = 0; i < doomed.size(); ++i) {
      for (const auto& [handle, w] : t.windows) {
        if (w.parent == doomed[i] || w.owner == doomed[i]) doomed.push_back(handle);
      }
    }
  }
  // WM_DESTROY goes to the window first, then to its descendants, while all
  // of them still exist (as Windows does).
  for (HWND h : doomed) {
    Kind kind;
    if (kp::user32::WindowKind(h, &kind) && kind != Kind::kPlain) SendMessageW(h, WM_DESTROY, 0, 0);
  }
  {
    auto& t = Windows();
    std::lock_guard<std::recursive_mutex> g(t.lock);
    for (HWND h : doomed) {
      t.windows.erase(h);
      if (t.active == h) t.active = nullptr;
      if (t.focus == h) t.focus = nullptr;
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
    case GWL_EXSTYLE:
      return w->exStyle;
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
  bool changed = false;
  BOOL wasDisabled = FALSE;
  {
    auto& t = Windows();
    std::lock_guard<std::recursive_mutex> g(t.lock);
    Window* w = FindWindowRecord(window);
    if (!w) return FALSE;
    wasDisabled = w->enabled ? FALSE : TRUE;
    changed = w->enabled != (enable != FALSE);
    w->enabled = enable != FALSE;
    if (w->enabled)
      w->style &= ~WS_DISABLED;
    else
      w->style |= WS_DISABLED;
  }
  if (changed) {
    Kind kind;
    if (kp::user32::WindowKind(window, &kind) && kind != Kind::kPlain)
      SendMessageW(window, WM_ENABLE, enable ? TRUE : FALSE, 0);
  }
  return wasDisabled;
}

KP_API BOOL WINAPI IsWindowEnabled(HWND window) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  Window* w = FindWindowRecord(window);
  return w && w->enabled ? TRUE : FALSE;
}

// ---- Messages

LRESULT CALLBACK kp::user32::ClassWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Kind kind;
  DLGPROC dlgProc = nullptr;
  WNDPROC wndProc = nullptr;
  {
    auto& t = Windows();
    std::lock_guard<std::recursive_mutex> g(t.lock);
    Window* w = FindWindowRecord(window);
    if (!w) return 0;
    kind = w->kind;
    dlgProc = w->dlgProc;
    wndProc = w->wndProc;
  }
  switch (kind) {
    case Kind::kPlain:
      return DefWindowProcW(window, message, wParam, lParam);
    case Kind::kDialog:
      return kp::user32::DialogDispatch(window, dlgProc, message, wParam, lParam);
    case Kind::kSheet:
      return wndProc ? wndProc(window, message, wParam, lParam) : 0;
    case Kind::kToolTip:
      return kp::user32::ToolTipProc(window, message, wParam, lParam);
    case Kind::kUpDown:
    case Kind::kTrackbar:
    case Kind::kListView:
    case Kind::kTab:
    case Kind::kTreeView:
      return kp::user32::CommonControlProc(window, kind, message, wParam, lParam);
    default:
      return kp::user32::ControlProc(window, kind, message, wParam, lParam);
  }
}

KP_API LRESULT WINAPI SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC subclass = nullptr;
  {
    auto& t = Windows();
    std::lock_guard<std::recursive_mutex> g(t.lock);
    Window* w = FindWindowRecord(window);
    if (!w) return 0;
    subclass = w->subclass;
  }
  return subclass ? subclass(window, message, wParam, lParam)
                  : kp::user32::ClassWindowProc(window, message, wParam, lParam);
}

KP_API LRESULT WINAPI CallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(window, message, wParam, lParam) : 0;
}

KP_API HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR text, DWORD style, int x, int y,
                                   int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID) {
  Window w;
  std::u16string name = className ? std::u16string(reinterpret_cast<const char16_t*>(className)) : u"";
  if (name == std::u16string(TOOLTIPS_CLASSW)) {
    w.kind = Kind::kToolTip;
    w.className = TOOLTIPS_CLASSW;
  } else if (!kp::user32::KindOfClass(name, &w.kind, &w.className)) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  // A popup belongs to its owner: no child of it, destroyed with it.
  const bool popup = (style & static_cast<DWORD>(WS_CHILD)) == 0;
  if (parent && !IsWindow(parent)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  w.parent = popup ? nullptr : parent;
  w.owner = popup ? parent : nullptr;
  w.instance = instance;
  w.id = popup ? 0 : static_cast<LONG>(reinterpret_cast<UINT_PTR>(menu));
  w.style = static_cast<LONG>(style);
  w.exStyle = static_cast<LONG>(exStyle);
  w.visible = (style & static_cast<DWORD>(WS_VISIBLE)) != 0;
  w.enabled = (style & static_cast<DWORD>(WS_DISABLED)) == 0;
  w.text = text ? std::u16string(reinterpret_cast<const char16_t*>(text)) : u"";
  w.rect = {x, y, x + width, y + height};
  HWND handle = kp::user32::MakeWindow(std::move(w));
  if (handle) SetLastError(ERROR_SUCCESS);
  return handle;
}

KP_API BOOL WINAPI SetWindowPos(HWND window, HWND, int x, int y, int width, int height, UINT flags) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  Window* w = FindWindowRecord(window);
  if (!w) return FALSE;
  if (!(flags & SWP_NOMOVE)) {
    const LONG cx = w->rect.right - w->rect.left, cy = w->rect.bottom - w->rect.top;
    w->rect = {x, y, x + cx, y + cy};
  }
  if (!(flags & SWP_NOSIZE)) {
    w->rect.right = w->rect.left + width;
    w->rect.bottom = w->rect.top + height;
  }
  if (flags & SWP_HIDEWINDOW) {
    w->visible = false;
    w->style &= ~WS_VISIBLE;
  }
  if (flags & SWP_SHOWWINDOW) {
    w->visible = true;
    w->style |= WS_VISIBLE;
  }
  return TRUE;
}

KP_API BOOL WINAPI GetWindowRect(HWND window, LPRECT rect) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  Window* w = FindWindowRecord(window);
  if (!w || !rect) return FALSE;
  *rect = w->rect;
  return TRUE;
}

KP_API HWND WINAPI GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  if (!FindWindowRecord(dialog)) return nullptr;
  std::vector<HWND> stops;
  size_t from = 0;
  bool found = false;
  for (const auto& [handle, w] : t.windows) {
    if (w.parent != dialog) continue;
    if (handle == control) {
      from = stops.size();
      found = true;
    }
    if ((w.style & WS_TABSTOP) && w.visible && w.enabled) stops.push_back(handle);
  }
  if (stops.empty()) return control;
  if (!found) return previous ? stops.back() : stops.front();
  // `from` is the place the control has (or would have) among the stops.
  const bool isStop = from < stops.size() && stops[from] == control;
  if (previous) return stops[(from + stops.size() - 1) % stops.size()];
  return stops[(isStop ? from + 1 : from) % stops.size()];
}

KP_API BOOL WINAPI PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  auto& q = kp::user32::Queue();
  std::lock_guard<std::mutex> g(q.lock);
  q.queue.push_back({window, message, wParam, lParam});
  return TRUE;
}

KP_API DWORD KpPumpMessages(void) {
  DWORD delivered = 0;
  auto& q = kp::user32::Queue();
  while (delivered < kp::user32::kPumpLimit) {
    kp::user32::Posted p;
    {
      std::lock_guard<std::mutex> g(q.lock);
      if (q.queue.empty()) break;
      p = q.queue.front();
      q.queue.pop_front();
    }
    if (!IsWindow(p.window)) continue;  // gone since it was posted
    SendMessageW(p.window, p.message, p.wParam, p.lParam);
    ++delivered;
  }
  return delivered;
}

KP_API LRESULT WINAPI DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  Window* w = FindWindowRecord(window);
  if (!w) return 0;
  switch (message) {
    case WM_SETTEXT:
      w->text = lParam ? std::u16string(reinterpret_cast<const char16_t*>(lParam)) : std::u16string();
      return TRUE;
    case WM_GETTEXT:
      return kp::user32::CopyOut(w->text, wParam, lParam);
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w->text.size());
    default:
      return 0;
  }
}

// ---- Text, visibility, focus

KP_API BOOL WINAPI SetWindowTextW(HWND window, LPCWSTR text) {
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : u"")) ? TRUE : FALSE;
}

KP_API int WINAPI GetWindowTextW(HWND window, LPWSTR text, int max) {
  if (!text || max <= 0) return 0;
  text[0] = 0;
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return static_cast<int>(SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(max), reinterpret_cast<LPARAM>(text)));
}

KP_API int WINAPI GetWindowTextLengthW(HWND window) {
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
}

KP_API int WINAPI GetClassNameW(HWND window, LPWSTR name, int max) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  Window* w = FindWindowRecord(window);
  if (!w || !name || max <= 0) return 0;
  return static_cast<int>(kp::user32::CopyOut(w->className, static_cast<WPARAM>(max), reinterpret_cast<LPARAM>(name)));
}

KP_API BOOL WINAPI ShowWindow(HWND window, int command) {
  BOOL wasVisible;
  bool show = command != SW_HIDE;
  bool changed;
  {
    auto& t = Windows();
    std::lock_guard<std::recursive_mutex> g(t.lock);
    Window* w = FindWindowRecord(window);
    if (!w) return FALSE;
    wasVisible = w->visible ? TRUE : FALSE;
    changed = w->visible != show;
    w->visible = show;
    if (show)
      w->style |= WS_VISIBLE;
    else
      w->style &= ~WS_VISIBLE;
  }
  Kind kind;
  if (changed && kp::user32::WindowKind(window, &kind) && kind != Kind::kPlain)
    SendMessageW(window, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
  return wasVisible;
}

KP_API BOOL WINAPI IsWindowVisible(HWND window) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  for (HWND h = window; h;) {
    Window* w = FindWindowRecord(h);
    if (!w || !w->visible) return FALSE;
    h = w->parent;
  }
  return window ? TRUE : FALSE;
}

KP_API HWND WINAPI SetFocus(HWND window) {
  HWND previous;
  {
    auto& t = Windows();
    std::lock_guard<std::recursive_mutex> g(t.lock);
    if (window && !FindWindowRecord(window)) return nullptr;
    previous = t.focus;
    if (previous == window) return previous;
    t.focus = window;
  }
  if (previous && IsWindow(previous)) SendMessageW(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
  if (window && IsWindow(window)) SendMessageW(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
  return previous;
}

KP_API HWND WINAPI GetFocus(void) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  return t.focus;
}

// ---- Dialog items

KP_API HWND WINAPI GetDlgItem(HWND dialog, int item) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  if (!FindWindowRecord(dialog)) return nullptr;
  for (const auto& [handle, w] : t.windows)
    if (w.parent == dialog && w.id == item) return handle;
  SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return nullptr;
}

KP_API int WINAPI GetDlgCtrlID(HWND window) {
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  Window* w = FindWindowRecord(window);
  return w ? w->id : 0;
}

KP_API LRESULT WINAPI SendDlgItemMessageW(HWND dialog, int item, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND control = GetDlgItem(dialog, item);
  return control ? SendMessageW(control, message, wParam, lParam) : 0;
}

KP_API BOOL WINAPI SetDlgItemInt(HWND dialog, int item, UINT value, BOOL isSigned) {
  std::u16string text;
  long long v = isSigned ? static_cast<long long>(static_cast<int>(value)) : static_cast<long long>(value);
  for (char c : std::to_string(v)) text.push_back(static_cast<char16_t>(c));
  return SetDlgItemTextW(dialog, item, text.c_str());
}

KP_API UINT WINAPI GetDlgItemInt(HWND dialog, int item, BOOL* translated, BOOL isSigned) {
  if (translated) *translated = FALSE;
  WCHAR text[64] = {};
  HWND control = GetDlgItem(dialog, item);
  if (!control) return 0;
  GetWindowTextW(control, text, 64);
  size_t i = 0;
  while (text[i] == u' ') ++i;
  bool negative = false;
  if (isSigned && text[i] == u'-') negative = true, ++i;
  if (text[i] < u'0' || text[i] > u'9') return 0;
  long long v = 0;
  for (; text[i] >= u'0' && text[i] <= u'9'; ++i) {
    v = v * 10 + (text[i] - u'0');
    if (v > 0xFFFFFFFFll) return 0;
  }
  while (text[i] == u' ') ++i;
  if (text[i] != 0) return 0;
  if (negative) v = -v;
  if (isSigned && (v < INT32_MIN || v > INT32_MAX)) return 0;
  if (translated) *translated = TRUE;
  return static_cast<UINT>(v);
}
