// The user-interface data of a sheet's or dialog's owner window: what the
// constraint engine's message boxes (and later the driver exports and the
// property sheets, which fill it) read from the window a change came from.
// The record is attached to the window with
// SetWindowLongPtrW(window, GWLP_USERDATA, (LONG_PTR)record).
#pragma once

#include "kestrel/core/cddd.h"
#include "kplatform/wintypes.h"

#define UIWINDATA_UNIT_MM 0    // paper sizes shown in millimetres
#define UIWINDATA_UNIT_INCH 1  // paper sizes shown in inches

struct UIWINDATA {
  DWORD cbSize;        // sizeof(UIWINDATA); anything else is not our record
  HANDLE printer;      // the printer the sheet edits, or null
  HCDDD ddd;           // its device description, or null
  void* devmode;       // the settings being edited
  void* printerData;
  WORD paperUnit;      // UIWINDATA_UNIT_*
  WORD reserved;
  // The pages' dim-out lists (zero-ended DDM id lists, the array ended by
  // null) while the user lacks permission; null otherwise. The constraint
  // engine does not count a condition group whose ids are all dimmed out.
  const WORD* const* dimOutLists;
};

// The record attached to `window`; null when there is none or it is not
// ours.
UIWINDATA* uiGetWindowData(HWND window);
// The paper-size unit of the window's record; FALSE when there is no record
// or its unit is none of UIWINDATA_UNIT_*.
BOOL uiGetPaperUnit(HWND window, WORD* unit);
