// UTF-16 and 8-bit string helpers and the bounded printf-style formatter.
//
// Null pointers never crash a helper: a null string has length 0, a copy
// from or to null copies nothing and answers null, and a null string sorts
// before every other string (two nulls are equal).
//
// Comparisons are by code unit, not by a language's collation:
// lstrcmpW/lstrcmpA compare UTF-16 code units (or unsigned bytes) in order;
// lstrcmpiW first folds both sides to upper case (ASCII, Latin-1, Latin
// Extended-A, Greek, Cyrillic and the full-width Latin letters). The result
// is -1, 0 or 1.
#pragma once

#include <cstdarg>

#include "kplatform/wintypes.h"

KP_API int WINAPI lstrlenW(LPCWSTR text);
KP_API LPWSTR WINAPI lstrcpyW(LPWSTR dst, LPCWSTR src);
// Copies at most count - 1 characters and always terminates (count >= 1);
// count 0 writes nothing. Answers dst, or null for a null dst or src.
KP_API LPWSTR WINAPI lstrcpynW(LPWSTR dst, LPCWSTR src, int count);
KP_API LPWSTR WINAPI lstrcatW(LPWSTR dst, LPCWSTR src);
KP_API int WINAPI lstrcmpW(LPCWSTR a, LPCWSTR b);
KP_API int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b);

KP_API int WINAPI lstrlenA(LPCSTR text);
KP_API LPSTR WINAPI lstrcpyA(LPSTR dst, LPCSTR src);
KP_API int WINAPI lstrcmpA(LPCSTR a, LPCSTR b);

// The formatter. Directives: %[flags][width][.precision][size]type with
//   flags      '-' (left-justify), '0' (pad numbers with zeros), '#' (0x/0X
//              before a nonzero hexadecimal number)
//   width      decimal digits (no '*')
//   precision  minimum digits of a number, maximum characters of a string
//   size       'l' (32 bits, as the 32-bit long of the original platform),
//              'h' (narrow string/character in the wide form, wide in the
//              narrow one), 'I64' (64 bits)
//   type       d i u x X c C s S %
// In the wide form %s and %c take wide text, %S/%hs/%C/%hc narrow text in
// the ANSI code page; in the narrow form the other way round. A null string
// prints "(null)". An unknown type character is copied as it stands.
//
// The bounded forms never write past `count` characters, always terminate
// when count >= 1, and answer the number of characters stored without the
// terminator (count - 1 when the text was cut; 0 with nothing written for a
// count of 0 or less). wsprintfW, wvsprintfW and wsprintfA are bounded at
// 1024 characters including the terminator, as on the original platform:
// the buffer must hold 1024 characters or the whole result.
KP_API int WINAPI wnsprintfW(LPWSTR buffer, int count, LPCWSTR format, ...);
KP_API int WINAPI wvnsprintfW(LPWSTR buffer, int count, LPCWSTR format, va_list args);
KP_API int WINAPI wsprintfW(LPWSTR buffer, LPCWSTR format, ...);
KP_API int WINAPI wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args);
KP_API int WINAPI wsprintfA(LPSTR buffer, LPCSTR format, ...);
