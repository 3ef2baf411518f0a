// Code pages and string copies of the kernel-mode build (see
// kestrel/core/strconv.h): the engine's ANSI code page and its conversions only.
#include "kestrel/core/strconv.h"

#include "kplatform/engine.h"

namespace {

constexpr UINT kUtf8 = 65001;

// Charset -> ANSI code page.
constexpr KM_CHARSETPAIR kCharsets[] = {
    {0, 1252},   {128, 932},  {129, 949},  {130, 1361}, {134, 936},  {136, 950},  {177, 1255},
    {178, 1256}, {161, 1253}, {162, 1254}, {186, 1257}, {238, 1250}, {204, 1251}, {222, 874},
};
static_assert(sizeof(kCharsets) / sizeof(kCharsets[0]) == 14);

DWORD AnsiLength(LPCSTR text) {
  DWORD n = 0;
  while (text[n]) ++n;
  return n;
}

}  // namespace

UINT MyGetACP(void) {
  USHORT oem = 0, ansi = 0;
  EngGetCurrentCodePage(&oem, &ansi);
  return ansi;
}

UINT GetValidCodePage(UINT codePage) { return codePage == kUtf8 ? kUtf8 : MyGetACP(); }

BOOL MyTranslateCharsetInfo(DWORD value, KM_CHARSETPAIR* pair, DWORD kind) {
  if (!pair || (kind != KM_TCI_SRCCHARSET && kind != KM_TCI_SRCCODEPAGE)) return 0;
  for (const KM_CHARSETPAIR& row : kCharsets) {
    if ((kind == KM_TCI_SRCCHARSET ? row.charset : row.codePage) == value) {
      *pair = row;
      return 1;
    }
  }
  return 0;
}

BOOL IsDBCSCodePage(UINT codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

BOOL MyIsDBCSLeadByteEx(UINT codePage, BYTE byte) {
  if (!IsDBCSCodePage(codePage)) return 0;
  if (codePage == 932) return (byte >= 0x80 && byte <= 0xA0) || byte >= 0xDF;
  return byte >= 0x80;
}

INT MyMultiByteToUnicode(LPWSTR out, ULONG outBytes, PULONG bytesOut, LPCSTR in, ULONG inBytes) {
  if (bytesOut) *bytesOut = 0;
  if (!out || !in || outBytes < sizeof(WCHAR) || inBytes == 0 || outBytes > 0x7FFFFFFFu || inBytes > 0x7FFFFFFFu)
    return -1;
  INT written = EngMultiByteToWideChar(MyGetACP(), out, static_cast<INT>(outBytes & ~1u), const_cast<LPSTR>(in),
                                       static_cast<INT>(inBytes));
  if (written < 0) return -1;
  if (bytesOut) *bytesOut = static_cast<ULONG>(written);
  return written;
}

INT CopyStr2Unicode(LPWSTR out, LPCSTR in, INT chars) {
  if (!out || chars <= 0) return 0;
  out[0] = 0;
  if (!in) return 0;
  DWORD inBytes = AnsiLength(in);
  if (inBytes == 0 || chars == 1) return 0;
  ULONG written = 0;
  EngMultiByteToUnicodeN(out, static_cast<ULONG>(chars - 1) * sizeof(WCHAR), &written, const_cast<LPSTR>(in),
                         inBytes);
  ULONG n = written / sizeof(WCHAR);
  if (n > static_cast<ULONG>(chars - 1)) n = static_cast<ULONG>(chars - 1);
  out[n] = 0;
  return static_cast<INT>(n);
}

DWORD CopyStringW(LPWSTR out, LPCWSTR in, DWORD chars) {
  if (!out || chars == 0) return 0;
  DWORD n = 0;
  if (in)
    while (n + 1 < chars && in[n]) {
      out[n] = in[n];
      ++n;
    }
  for (DWORD i = n; i < chars; ++i) out[i] = 0;
  return n;
}
