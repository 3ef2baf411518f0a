// The ICC profile file check of the user-mode build (see kestrel/core/papdat.h;
// the header check is iobin_icc.cpp).
#include "kestrel/core/papdat.h"
#include "kestrel/core/kcore_sys.h"
#include "kplatform/kwindows.h"

#include "../common/iobin_icc_modes.h"

using namespace iobin_icc_modes;

LONG cil_Check_ICC_Prof(LPCSTR fileName) {
  if (!fileName) return ICC_NULLNAME;
  WCHAR wide[MAX_PATH + 1] = {};
  int n = MultiByteToWideChar(CP_ACP, 0, fileName, -1, wide, MAX_PATH);
  if (n <= 0) return ICC_CANNOTOPEN;
  HANDLE file = CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return ICC_CANNOTOPEN;
  BYTE header[kIccHeaderBytes] = {};
  DWORD total = 0;
  while (total < kIccHeaderBytes) {
    DWORD got = 0;
    if (!ReadFile(file, header + total, kIccHeaderBytes - total, &got, nullptr) || got == 0) break;
    total += got;
  }
  if (!CloseHandle(file)) return ICC_CLOSEFAILED;
  return cil_Check_ICC_Header(header, total);
}
