// Devmode values of the user-mode build (see kestrel/core/cdm_values.h; the
// shared part is cdm_values.cpp): the sweep's failure message, the TrueType
// face names and the printer's stored devmode as a value.
#include <cstdio>

#include "kestrel/core/cdm_values.h"
#include "kestrel/core/dma_core.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/core/systtf.h"
#include "kplatform/gdi32_fonts.h"
#include "kplatform/user32_messagebox.h"
#include "kplatform/winspool_printer.h"

#include "../devmode/cdm_values_modes.h"

using namespace cdm_values_modes;

namespace cdm_values_modes {

void ShowSweepFailure(HWND owner, WORD ddmId) {
  WCHAR tail[256] = {};
  resource_LoadString(CDM_STRID_SWEEP_FAILED, tail, 256);
  char head[32];
  std::snprintf(head, sizeof head, "DDMID = 0x%0x", static_cast<unsigned>(ddmId));
  WCHAR text[300] = {};
  DWORD n = 0;
  for (const char* p = head; *p && n < 299; ++p) text[n++] = static_cast<WCHAR>(*p);
  for (DWORD i = 0; tail[i] && n < 299; ++i) text[n++] = tail[i];
  text[n] = 0;
  MessageBoxW(owner, text, u"Default Set Err", MB_OK | MB_ICONSTOP);
}

// The TrueType family face names, counted and then copied by the callback
// of the system TrueType family list file (kestrel/core/systtf.h), which never
// writes past the buffer the count sized.
bool EnumTrueTypeFaces(CDM_ENUM_ITEMS* out) {
  LOGFONTW filter = {};
  filter.lfCharSet = DEFAULT_CHARSET;
  SYSTTF_ENUM context = {0, nullptr, 0};
  EnumFontFamiliesExW(nullptr, &filter, EnumFontFamilyProc, reinterpret_cast<LPARAM>(&context), 0);
  const DWORD capacity = context.count;
  // Two extra NULs: the list ends in two whatever the second pass copied.
  out->names = static_cast<LPWSTR>(kcore_Alloc((SIZE_T(capacity) + 2) * sizeof(WCHAR)));
  if (!out->names) return false;
  context = SYSTTF_ENUM{0, out->names, capacity};
  EnumFontFamiliesExW(nullptr, &filter, EnumFontFamilyProc, reinterpret_cast<LPARAM>(&context), 0);
  DWORD count = 0;
  for (LPCWSTR p = out->names; *p; p += kp_WideLength(p) + 1) ++count;
  out->count = count;
  return true;
}

}  // namespace cdm_values_modes

BOOL local_SetPrtIconRegData(HCDDD handle, void* devmode, WORD ddmId, void* printerData, HANDLE printer) {
  (void)handle;
  if (!devmode || !printer) return 0;
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  if (needed == 0) return 0;
  auto* info = static_cast<BYTE*>(kcore_Alloc(needed));
  if (!info) return 0;
  BOOL ok = 0;
  void* copy = nullptr;
  if (GetPrinterW(printer, 2, info, needed, &needed)) {
    const void* stored = reinterpret_cast<PRINTER_INFO_2W*>(info)->pDevMode;
    copy = kcore_Alloc(NRV_DEVMODE_SIZE_FULL);
    if (stored && copy && cdmCopyStoredDevmode(stored, copy)) {
      WORD type = 0, location = 0;
      DWORD size = 0;
      ULONG_PTR value = 0;
      if (dmaCore_GetValue(DMA_RULES_KERNEL, ddmId, copy, printerData, &type, &size, &value, &location) == 0)
        ok = cdm_SetValue(ddmId, devmode, printerData, size, type, &value);
    }
  }
  kcore_Free(copy);
  kcore_Free(info);
  return ok;
}
