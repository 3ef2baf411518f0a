// The system TrueType family list file kestreltt.tmp, written by the
// user-interface library at process attach for the kernel-mode renderer,
// which cannot enumerate the system's fonts.
//
// File "\\?\" + system directory + "\kestreltt.tmp": a 32-bit little-endian
// byte count B, then B bytes: the face name of every TrueType family (font
// type bit 4) in enumeration order, each UTF-16 and NUL-terminated, then one
// more NUL. B = 2 x (sum of (length + 1)) + 2, at most 1048576.
//
// Decisions (sound behaviour):
//  - The file is replaced whole or not at all: the list is written to
//    "kestreltt.new" beside it (created without sharing, always new) and
//    moved over the old file only after both writes succeeded; a failed
//    write, a list that is too long or a failed move leaves the old file as
//    it was (and removes the half-written one). Two processes attaching at
//    once: the second cannot create the staging file and answers 0; the
//    first writer's file stands.
//  - The second enumeration fills a buffer sized by the first; a family
//    that appears in between is left out when its name does not fit (names
//    are never cut), so the buffer is never overrun.
//  - The platform offers no desktop device context; the enumeration is given
//    none (its families do not depend on it).
#pragma once

#include "kestrel/core/devmode.h"
#include "kplatform/gdi32_fonts.h"
#include "kplatform/wintypes.h"

#define SYSTTF_FILE_NAME u"\\kestreltt.tmp"
#define SYSTTF_MAX_BLOCK 0x100000u

// The enumeration context: a character count and the buffer (null while
// counting) with its capacity in characters.
struct SYSTTF_ENUM {
  DWORD count;
  WCHAR* buffer;
  DWORD capacity;
};

BOOL SetSystemTrueTypeFontFamilyList(void* unused);
// "\\?\" + system directory + name (with its leading backslash), a new
// kcore_Alloc block, or null.
LPWSTR GetSysTTFListFileName(LPCWSTR name);
BOOL OpenSysTTFListFile(HANDLE* file, LPCWSTR name);
void CloseSysTTFListFile(HANDLE file);
int CALLBACK EnumFontFamilyProc(const LOGFONTW* font, const TEXTMETRICW* metrics, DWORD fontType, LPARAM param);
