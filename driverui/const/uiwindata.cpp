// The owner window's user-interface data (see kestrel/ui/uiwindata.h).
#include "kestrel/ui/uiwindata.h"

#include "kplatform/user32_window.h"

UIWINDATA* uiGetWindowData(HWND window) {
  if (!window) return nullptr;
  auto* data = reinterpret_cast<UIWINDATA*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!data || data->cbSize != sizeof(UIWINDATA)) return nullptr;
  return data;
}

BOOL uiGetPaperUnit(HWND window, WORD* unit) {
  UIWINDATA* data = uiGetWindowData(window);
  if (!data || !unit) return FALSE;
  if (data->paperUnit != UIWINDATA_UNIT_MM && data->paperUnit != UIWINDATA_UNIT_INCH) return FALSE;
  *unit = data->paperUnit;
  return TRUE;
}
