// What user32's test controls need of a running property sheet
// (comctl32/prsht.cpp).
#pragma once

#include <utility>
#include <vector>

#include "kplatform/comctl32_prsht.h"

namespace kp::comctl32 {

// The sheet's pages in order: the page's window (null while not made) and
// its template id (0 for a named one). Empty for a window that is no sheet.
std::vector<std::pair<HWND, DWORD>> SheetPages(HWND sheet);

}  // namespace kp::comctl32
