// Conversions between UTF-16, the ANSI (or a given) code page and UTF-8.
// Every allocation is zero-filled and freed by the caller with kcore_Free; a
// code page argument goes through GetValidCodePage. User-mode libraries; the
// kernel-mode build has its own small set (below) on the engine's code-page
// services.
//
// Decisions (sizes are always checked):
//  - CopyStr2WideChar with a capacity below the character count converts the
//    characters that fit (never half a surrogate pair), terminates within the
//    capacity and answers the characters written.
//  - copyWideCharStr2MultiByteStr and copyWideCharStr2UTF8Str with a size
//    below count + 1 write an empty string (when size >= 1) and answer 0:
//    a cut multi-byte text is never handed on as if whole.
#pragma once

#include "kplatform/wintypes.h"

#if !defined(KESTREL_KERNEL_MODE)
UINT GetValidCodePage(UINT codePage);
// Answers the character count (a double-byte pair is one character) when
// capacity < 1; otherwise converts into wide (capacity characters with the
// NUL) and answers the characters written.
int CopyStr2WideChar(UINT codePage, LPWSTR wide, LPCSTR text, int capacity);
// size 0 answers the byte count + 1; a negative size, or a positive size
// with no buffer, answers 0; else converts and answers count + 1.
int copyWideCharStr2MultiByteStr(UINT codePage, LPCWSTR wide, LPSTR out, int size);
LPSTR allocAndCopyWC2MB(UINT codePage, LPCWSTR wide);
LPWSTR allocAndCopyMB2WC(UINT codePage, LPCSTR text, int* count);
int copyWideCharStr2UTF8Str(LPCWSTR wide, LPSTR out, int size);
// *size: the bytes with the NUL.
LPSTR allocAndCopyWC2UTF8(LPCWSTR wide, int* size);
LPSTR allocAndCopyMB2UTF8(LPCSTR text, int* size);
// *length excludes the NUL.
BOOL zanlib_WideCharToMultiByte(LPCWSTR wide, LPSTR* out, int* length, UINT codePage);
// *length is the characters written including the NUL.
BOOL zanlib_MultiByteToWideChar(LPCSTR text, LPWSTR* out, int* length, UINT codePage);
#endif

#if defined(KESTREL_KERNEL_MODE)
// ---- Kernel mode (core/km/strconv_km.cpp) ----------------------------------------
//
// The code page is always the engine's ANSI code page (EngGetCurrentCodePage);
// the engine knows no other table.
//
// Decisions (sound behaviour):
//  - Every output is bounded by the capacity the caller gives, and every
//    null or empty buffer is refused without a write (0).
//  - CopyStr2Unicode takes the output's capacity in characters (with the
//    NUL). "0 or less: the input's own length" cannot be honoured without
//    knowing the output's size, so a capacity of 0 or less converts nothing
//    and answers 0. A text too long is cut at a whole character.
//  - MyMultiByteToUnicode converts all or nothing (the engine's
//    EngMultiByteToWideChar): an output too small answers -1 with *bytesOut 0.

// Charset and ANSI code page of the charset table.
struct KM_CHARSETPAIR {
  UINT charset;
  UINT codePage;
};
#define KM_TCI_SRCCHARSET 1
#define KM_TCI_SRCCODEPAGE 2

UINT MyGetACP(void);
// 65001 stays 65001; any other code page gives the ANSI code page.
UINT GetValidCodePage(UINT codePage);
// kind 1: value is a charset; kind 2: a code page. 1 with *pair filled when
// the table holds it; 0 otherwise (or for another kind, or a null pair).
BOOL MyTranslateCharsetInfo(DWORD value, KM_CHARSETPAIR* pair, DWORD kind);
// 1 for the double-byte code pages 932, 936, 949 and 950.
BOOL IsDBCSCodePage(UINT codePage);
// 932: 0x80-0xA0 and 0xDF-0xFF; 936, 949, 950: 0x80-0xFF; others: never.
BOOL MyIsDBCSLeadByteEx(UINT codePage, BYTE byte);
// inBytes of ANSI text into out (outBytes bytes; no NUL is added); answers
// the bytes written, -1 when it does not fit or an argument is missing.
// bytesOut (optional) gets the same count (0 on failure).
INT MyMultiByteToUnicode(LPWSTR out, ULONG outBytes, PULONG bytesOut, LPCSTR in, ULONG inBytes);
// The NUL-terminated ANSI text into out (chars characters with the NUL),
// cut at a whole character; answers the characters written before the NUL.
INT CopyStr2Unicode(LPWSTR out, LPCSTR in, INT chars);
// At most chars - 1 characters of in up to its NUL, then zeros to the end of
// out (chars characters); a null in leaves out all zeros. chars 0 or a null
// out does nothing. Answers the characters copied before the NUL.
DWORD CopyStringW(LPWSTR out, LPCWSTR in, DWORD chars);
#endif
