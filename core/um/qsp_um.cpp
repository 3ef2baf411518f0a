// The wide-string wrapper of the password scrambler (user mode only).
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/qsp.h"
#include "kestrel/core/strconv.h"
#include "kplatform/kernel32_codepage.h"

BOOL zanlib_EncodeOrDecodeData(int mode, LPCWSTR input, LPWSTR* out) {
  if (!out) return FALSE;
  *out = nullptr;
  if (!input || input[0] == 0) return FALSE;
  LPSTR text = nullptr;
  int n = 0;
  if (!zanlib_WideCharToMultiByte(input, &text, &n, CP_ACP) || !text || n < 1) {
    kcore_Free(text);
    return FALSE;
  }
  LONG size = mode == 1 ? QSPEncryptAndBinToB64BuffSize(n) : QSPB64ToBinAndEncryptBuffSize(n);
  BOOL ok = FALSE;
  auto* result = size > 0 ? static_cast<char*>(kcore_Alloc(static_cast<SIZE_T>(size))) : nullptr;
  if (result) {
    LONG count = 0;
    LONG r = mode == 1 ? QSPEncryptAndBinToB64(text, n, result, &count, size - 1)
                       : QSPB64ToBinAndEncrypt(text, n, result, &count, size - 1);
    if (r == QSP_OK) {
      result[count] = 0;  // the zero fill ends it too; a NUL inside cuts the value
      LPWSTR wide = nullptr;
      int chars = 0;
      if (result[0] == 0) {
        wide = static_cast<LPWSTR>(kcore_Alloc(sizeof(WCHAR)));
        ok = wide != nullptr;
      } else {
        ok = zanlib_MultiByteToWideChar(result, &wide, &chars, CP_ACP);
      }
      if (ok) *out = wide;
    }
    kcore_Free(result);
  }
  kcore_Free(text);
  return ok;
}
