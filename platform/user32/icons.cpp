// Icons as handles, and the recording DC of owner-drawn items
// (kplatform/user32_controls.h).
#include <map>
#include <mutex>

#include "kplatform/kernel32_resource.h"
#include "kplatform/kernel32_string.h"
#include "kplatform/user32_controls.h"
#include "user32/drawing.h"
#include "user32/window_table.h"

#ifndef ERROR_INVALID_CURSOR_HANDLE
#define ERROR_INVALID_CURSOR_HANDLE 1402L
#endif
#ifndef ERROR_NOT_SUPPORTED
#define ERROR_NOT_SUPPORTED 50L
#endif

namespace kp::user32 {
namespace {

struct IconState {
  std::mutex lock;
  std::map<HICON, std::pair<HINSTANCE, WORD>> icons;
  UINT_PTR next = 0;
  // The DCs of WM_DRAWITEM calls in progress: DC -> control and item.
  std::map<HDC, std::pair<HWND, DWORD>> drawing;
};

IconState& S() {
  static IconState* s = new IconState;
  return *s;
}

// Icon and DC handles sit in ranges of their own.
constexpr UINT_PTR kIconBase = 0x7E000000u;
constexpr UINT_PTR kDcBase = 0x7D000000u;

void Record(HDC dc, DWORD kind, const char16_t* text, size_t count, void* icon) {
  HWND control;
  DWORD item;
  {
    IconState& s = S();
    std::lock_guard<std::mutex> g(s.lock);
    auto it = s.drawing.find(dc);
    control = it->second.first;
    item = it->second.second;
  }
  KP_DRAWN d{};
  d.item = item;
  d.kind = kind;
  d.icon = icon;
  for (size_t i = 0; text && i < count && i < 259; ++i) d.text[i] = text[i];
  auto& t = Windows();
  std::lock_guard<std::recursive_mutex> g(t.lock);
  if (Window* w = FindWindowRecord(control)) w->drawn.push_back(d);
}

bool IsDrawingDc(HDC dc) {
  IconState& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  if (s.drawing.count(dc)) return true;
  SetLastError(ERROR_INVALID_HANDLE);
  return false;
}

}  // namespace

HDC BeginItemDrawing(HWND control, DWORD item) {
  IconState& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  HDC dc = reinterpret_cast<HDC>(kDcBase + 0x10 * ++s.next);
  s.drawing[dc] = {control, item};
  return dc;
}

void EndItemDrawing(HDC dc) {
  IconState& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  s.drawing.erase(dc);
}

}  // namespace kp::user32

using namespace kp::user32;

KP_API int WINAPI DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT, UINT) {
  if (!IsDrawingDc(dc) || !text) return 0;
  const size_t n = count < 0 ? std::char_traits<char16_t>::length(text) : static_cast<size_t>(count);
  Record(dc, 1, text, n, nullptr);
  return 16;
}

KP_API BOOL WINAPI DrawIconEx(HDC dc, int, int, HICON icon, int, int, UINT, void*, UINT) {
  if (!IsDrawingDc(dc)) return FALSE;
  Record(dc, 2, nullptr, 0, icon);
  return TRUE;
}

KP_API BOOL WINAPI DrawIcon(HDC dc, int x, int y, HICON icon) { return DrawIconEx(dc, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL); }

KP_API HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR name) {
  HRSRC found = FindResourceW(instance, name, RT_ICON);
  if (!found) found = FindResourceW(instance, name, MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  if (!found) return nullptr;
  IconState& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  HICON icon = reinterpret_cast<HICON>(kIconBase + 0x10 * ++s.next);
  s.icons[icon] = {instance, IS_INTRESOURCE(name) ? static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)) : WORD{0}};
  return icon;
}

KP_API HANDLE WINAPI LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int, int, UINT) {
  if (type != IMAGE_ICON) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  return LoadIconW(instance, name);
}

KP_API BOOL WINAPI DestroyIcon(HICON icon) {
  IconState& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  if (!s.icons.erase(icon)) {
    SetLastError(ERROR_INVALID_CURSOR_HANDLE);
    return FALSE;
  }
  return TRUE;
}

KP_API DWORD KpLiveIconCount(void) {
  IconState& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  return static_cast<DWORD>(s.icons.size());
}
