// The trace log: entry and exit lines of the driver's entry points and dumps
// of devmodes and DDM values, switched on by `kestrel.cfg` in the driver
// directory (section LOG, key Log; LOGOUT.DDMID lines add DDM ids to the DDM
// dumps). Nothing is written, and nothing costs more than one check, while
// the file or the switch is missing.
//
// User mode writes the lines to DDI_PRNUI_TRACE_LOG.txt (kestrelui) or
// DDI_UM_TRACE_LOG.txt (kestrelum) in the DEBUG_LOG\WINNT folder of the
// system drive, each line ended by a single LF, in the ANSI code page; with
// switch 0x80000000 each line (with "\n") goes to OutputDebugStringW instead
// and no file is made. Kernel mode (kestrelkm) reads `kestrel.cfg` as plain
// text and sends every line to EngDebugPrint; it has no file.
//
// Results: 1 done (or nothing to do), 0 failure.
//
// Decisions:
//  - A Log value is read as decimal of at most eight digits or as "0x" with
//    at most eight hexadecimal digits, so 0x80000001 switches the debugger
//    output on while 123456789 (nine characters) leaves logging off. A value
//    that does not fit in 32 bits, or any other text, leaves logging off.
//  - A LOGOUT.DDMID value must be a DDM id from 1 to 65535; others are
//    skipped.
//  - Lines are formatted into a bounded buffer; a line of 514 characters or
//    more (after formatting) is dropped with 0.
//  - One lock guards the open counter, the file handle and each write, so no
//    thread closes the handle another thread is writing with, and the lines
//    of several threads never mix within a line. The switch word is read
//    once under the same kind of lock; re-reading it is safe while others
//    log.
//  - While logging is off every function answers 1 without formatting.
//  - Which file a user-mode library writes is chosen with Logout_SetLibrary
//    (the core is one library linked into both); the default is kestrelui's.
//  - The standard DEVMODE dump prints the members up to dmFields always and
//    the later ones only when they lie within the devmode's dmSize, so a
//    short application devmode is never read past its end.
//  - A null devmode writes its "NULL" line and answers 0 in all three
//    devmode dumps.
//  - A private value of type 9 (a font) is printed as its face name with
//    the string line; its address is never printed as a number.
//  - A DDM dump goes on past an id that cannot be read (no line for it) and
//    answers 0 at the end when any line was not written.
#pragma once

#include "kplatform/wintypes.h"

// Switch bits (the Log value).
#define LOGOUT_ON 0x1u
#define LOGOUT_DDI 0x2u
#define LOGOUT_DEVMODE 0x4u
#define LOGOUT_DMFIELDS 0x8u
#define LOGOUT_DDM_PUBLIC 0x10u
#define LOGOUT_DDM_PRIVATE 0x20u
#define LOGOUT_CATEGORY_MASK 0x001F0000u
#define LOGOUT_DEBUGGER 0x80000000u

#define LOGOUT_MAX_LINE 513u  // characters of the longest line written
#define LOGOUT_MAX_IDS 256u   // LOGOUT.DDMID entries kept
#define LOGOUT_CONFIG_FILE u"kestrel.cfg"
#define LOGOUT_SECTION u"LOG"
#define LOGOUT_KEY u"Log"
#define LOGOUT_DDMID_KEY u"LOGOUT.DDMID="

// Which user-mode library writes (the file name).
#define LOGOUT_LIB_PRNUI 0  // "\DDI_PRNUI_TRACE_LOG.txt"
#define LOGOUT_LIB_UM 1     // "\DDI_UM_TRACE_LOG.txt"
void Logout_SetLibrary(WORD library);

BOOL Logout_OpenFile(void);
BOOL Logout_CloseFile(void);
BOOL Logout_SetLogoutStatus(void);

BOOL Logout_OutputString(LPCWSTR format, ...);
BOOL Logout_InDDIFunctionTraceLog(LPCWSTR name);
BOOL Logout_OutDDIFunctionTraceLog(LPCWSTR format, ...);

BOOL Logout_OutputPublicDevmode(LPCWSTR title, const void* devmode);
BOOL Logout_OutputPrivateDevmode(LPCWSTR title, void* devmode, WORD ddmId);
BOOL Logout_OutputdmFields(LPCWSTR title, const void* devmode);
BOOL Logout_OutputDDM(DWORD category, LPCWSTR title, void* devmode, void* printerData);

// The switch word and the extra id list as read (tests and callers that
// decide whether to build a dump). Reading them reads the switches once.
DWORD Logout_GetDebugFlag(void);
// Copies at most capacity ids; answers the number kept.
WORD Logout_GetTargetIds(WORD* ids, WORD capacity);
