// Profile (INI) files with the Windows rules.
//
// File names go through the path mapper (kernel32_file.h); a bare file name
// without a folder is looked for in the Windows directory, and a null one is
// "win.ini" there, as on Windows.
//
// Reading (the layout rules are those of the file; see platform/README.md):
// sections and keys compare without regard to case; blanks around keys and
// values are trimmed; a value in matching single or double quotes is answered
// without them by GetPrivateProfileStringW and GetPrivateProfileIntW. Lines
// starting with ';' are comments. A file starting with the UTF-16LE byte-order
// mark is read as UTF-16LE, every other file as UTF-8; bytes that are not
// UTF-8 are kept as they are when the file is rewritten. When a section or a
// key appears twice, the first one counts. A missing file reads as empty and
// sets the last error ERROR_FILE_NOT_FOUND.
//
// Copies into the caller's buffer (sizes in characters):
// - a single string that does not fit is cut to nSize - 1 characters and
//   terminated; the answer is then nSize - 1;
// - a list (each string NUL-terminated, one more NUL at the end) that does not
//   fit ends with two NULs after its cut last string; the answer is then
//   nSize - 2;
// - otherwise the answer is the number of characters copied, without the
//   (last) terminator. A null buffer or nSize 0 copies nothing and answers 0.
#pragma once

#include "kplatform/wintypes.h"

// lpAppName null: the list of section names. lpKeyName null: the list of the
// section's keys. Otherwise the key's value. A section (or key) that is not
// there gives lpDefault (null is ""), with blanks at its end removed.
KP_API DWORD WINAPI GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                             LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName);
// The value as a number: blanks, an optional sign, then decimal digits or
// "0x" and hexadecimal digits, up to the first other character (32-bit, wraps
// around); no digits give 0. A missing or empty value gives nDefault.
KP_API UINT WINAPI GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault, LPCWSTR lpFileName);
// The section's lines as a list of "key=value" strings (key and value
// trimmed; a line without '=' as it stands), comments and blank lines left
// out. A missing section gives an empty list.
KP_API DWORD WINAPI GetPrivateProfileSectionW(LPCWSTR lpAppName, LPWSTR lpReturnedString, DWORD nSize,
                                              LPCWSTR lpFileName);
KP_API DWORD WINAPI GetPrivateProfileSectionNamesW(LPWSTR lpszReturnBuffer, DWORD nSize, LPCWSTR lpFileName);

// Sets the key's value (lpString), deletes the key in every section of that
// name (lpString null), or deletes every section of that name with its keys
// (lpKeyName null). All other lines keep their text and order; a new key goes
// after the last non-blank line of its section, a new section at the end of
// the file. Lines are written with CR LF, in the file's encoding (UTF-8 for a
// new file). The file is written whole to a temporary file beside it that then
// replaces it, so a failed write leaves the old file as it was. A delete that
// finds nothing changes nothing and creates no file.
//
// Refused with ERROR_INVALID_PARAMETER (file untouched), because the file
// could not read them back as written: a null lpAppName (unless all three
// strings are null, which answers TRUE: nothing is cached); a line break
// (CR or LF) in any of the strings; a key holding '=' or starting with ';'
// or '['. A file another handle holds open without sharing read and write,
// or maps, gives ERROR_SHARING_VIOLATION. A missing folder gives
// ERROR_PATH_NOT_FOUND.
KP_API BOOL WINAPI WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                              LPCWSTR lpFileName);
