// The configuration file's section parser. A section is handled as its list
// of "key=value" entries: a block of NUL-terminated strings ended by an empty
// one (kcore_Free). A key matches an entry that is longer than the key and
// begins with it, letter case ignored; the key holds its "=" and must be
// shorter than 47 characters (a longer key never matches); the value is the
// rest of the entry, cut to 31 characters. The trace log reads its switches
// and the pre-configuration its settings through it.
//
// Decisions:
//  - CFG_GetCfgValueString refuses (0) an out value that is not null on
//    entry, so an earlier copy is never lost.
//  - The kernel-mode renderer has no profile reader: the parser is not built
//    there.
#pragma once

#include "kplatform/wintypes.h"

#define CFG_KEY_MAX 47u    // a key must be shorter than this
#define CFG_VALUE_MAX 31u  // characters of a value kept

#if !defined(KESTREL_KERNEL_MODE)
LPWSTR CFG_GetSectionData(LPCWSTR file, LPCWSTR section);
// startIndex: 1-based index of the first entry looked at (0 and 1: the first).
// takeLast 0: the first match wins; otherwise the last one. *value must be
// null on entry and gets a new block (kcore_Free). Answers the 1-based index
// of the match, 0 for none.
WORD CFG_GetCfgValueString(WORD startIndex, WORD takeLast, LPCWSTR entries, LPCWSTR key, LPWSTR* value);
BOOL CFG_IsExistTargetSection(LPCWSTR file, LPCWSTR section);
#endif
