// Conversions between UTF-16, the ANSI (or a given) code page and UTF-8.
// Every allocation is zero-filled and freed by the caller with kcore_Free; a
// code page argument goes through GetValidCodePage. User-mode libraries only.
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
