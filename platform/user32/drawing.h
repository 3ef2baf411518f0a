// The recording DC handed to WM_DRAWITEM (icons.cpp): made for one item of
// one control and ended when the parent has drawn it.
#pragma once

#include "kplatform/user32_controls.h"

namespace kp::user32 {

HDC BeginItemDrawing(HWND control, DWORD item);
void EndItemDrawing(HDC dc);

}  // namespace kp::user32
