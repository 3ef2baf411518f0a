// Code pages: conversions between UTF-16 and 8-bit text.
//
// Known code pages: 1252 (Western), 932 (Japanese Shift-JIS, double-byte),
// 437 (the OEM code page beside 1252) and 65001 (UTF-8). CP_ACP means the
// ANSI code page (1252 unless a test sets 932) and CP_OEMCP its OEM partner
// (437 beside 1252, 932 beside 932).
//
// Conversion rules, as on the original platform:
// - a source length of -1 converts up to and including the terminating NUL,
//   and the NUL counts in the result; a positive length converts exactly
//   that many units (an embedded NUL is an ordinary character);
// - a destination size of 0 answers the size needed and writes nothing;
// - a destination too small answers 0 with ERROR_INSUFFICIENT_BUFFER and
//   leaves the destination untouched;
// - a null source, a source length of 0 or below -1, a negative destination
//   size, a null destination with a nonzero size, or an unknown code page
//   answer 0 with ERROR_INVALID_PARAMETER; flags a code page does not take
//   answer 0 with ERROR_INVALID_FLAGS.
// Bytes that do not decode become U+FFFD (UTF-8), U+30FB (932) or U+003F;
// with MB_ERR_INVALID_CHARS they fail the call with
// ERROR_NO_UNICODE_TRANSLATION. The five bytes 1252 leaves unassigned
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the same
// value and back. Characters a code page lacks become the default character
// ('?' or the one passed) with *usedDefault set; there is no "best fit"
// mapping to a similar-looking letter. Into UTF-8 a lone surrogate becomes
// U+FFFD (or fails with WC_ERR_INVALID_CHARS), and the default-character
// arguments must be null.
#pragma once

#include "kplatform/wintypes.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008

#define WC_COMPOSITECHECK 0x00000200
#define WC_DEFAULTCHAR 0x00000040
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080

KP_API int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcBytes, LPWSTR dst,
                                      int dstChars);
KP_API int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcChars, LPSTR dst,
                                      int dstBytes, LPCSTR defaultChar, LPBOOL usedDefault);

// TRUE when the byte opens a two-byte character in the code page (932:
// 0x81-0x9F and 0xE0-0xFC); FALSE for single-byte code pages and UTF-8.
KP_API BOOL WINAPI IsDBCSLeadByteEx(UINT codePage, BYTE testChar);
// The same in the ANSI code page.
KP_API BOOL WINAPI IsDBCSLeadByte(BYTE testChar);
KP_API BOOL WINAPI IsValidCodePage(UINT codePage);
KP_API UINT WINAPI GetACP(void);
KP_API UINT WINAPI GetOEMCP(void);

// Test controls.
// Sets the ANSI code page of the process: 1252 or 932 (the OEM code page
// follows). Anything else is refused with ERROR_INVALID_PARAMETER.
KP_API BOOL KpSetACP(UINT codePage);
