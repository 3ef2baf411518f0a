// The in-band command stream: job state and job-control requests that the
// renderer hands to the spooler side inside its PCL XL stream.
//
// One command is: 0xC0 code (ubyte value, code 128-158), 0xF8 0xFF (attribute
// 255), 0xFF (the in-band operator), then, for commands with a payload, the
// payload as embedded data (0xFB n below 256 bytes, 0xFA n32 otherwise).
// Numbers in payloads are little-endian. The printer never sees these: the
// spooler side removes every 0xFF operator with its tokens.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kestrel/render/xl.h"

enum : BYTE {
  XL_IC_ENABLE = 128,
  XL_IC_DISABLE = 129,
  XL_IC_OPEN = 130,
  XL_IC_CLOSE = 131,
  XL_IC_PAGESTORING_INIT = 132,
  XL_IC_PAGESTORING_START = 133,
  XL_IC_PAGESTORING_STOP = 134,
  XL_IC_PAGESTORING_DISPOSE = 135,
  XL_IC_OUTPUT_STOREDPAGE = 136,
  XL_IC_SETCOORDINATE = 137,
  XL_IC_STARTPAGE = 138,
  XL_IC_SHOWPAGE = 139,
  XL_IC_ENDPAGE = 140,
  XL_IC_SETCOLORMODE = 141,
  XL_IC_STARTJOB = 142,
  XL_IC_OPENPRINTER = 143,
  XL_IC_CLOSEPRINTER = 144,
  XL_IC_TIMEOUT = 145,
  XL_IC_BEGINSTAMP = 146,
  XL_IC_ENDSTAMP = 147,
  XL_IC_LINKIMAGESTART = 148,
  XL_IC_LINKIMAGEEND = 149,
  XL_IC_SETDEVMODE = 150,
  XL_IC_SETPRINTERDATA = 151,
  XL_IC_SETDOCNAME = 152,
  XL_IC_SETJOBINFO = 153,
  XL_IC_SETLAYOUTINFO = 154,
  XL_IC_SETPAGECTRL = 155,
  XL_IC_SETJCLHEADERS = 156,
  XL_IC_CHANGESPOOL_FORMREGISTER = 157,
  XL_IC_STOPSPOOL_FORMREGISTER = 158,
  XL_IC_FIRST = XL_IC_ENABLE,
  XL_IC_LAST = XL_IC_STOPSPOOL_FORMREGISTER,
};

// Sizes of the records carried.
constexpr DWORD XL_IC_DEVMODE_SIZE = 5440;       // the private devmode
constexpr DWORD XL_IC_DEVMODE_PAYLOAD = 8192;    // sent zero-padded to this
constexpr DWORD XL_IC_PRINTERDATA_SIZE = 4736;
constexpr DWORD XL_IC_JOBINFO_SIZE = 1348;
constexpr DWORD XL_IC_LAYOUTINFO_SIZE = 176;
constexpr DWORD XL_IC_PAGECTRL_SIZE = 148;
// The longest document name command 152 carries: 259 characters and the NUL.
constexpr DWORD XL_IC_DOCNAME_MAX_CHARS = 259;
constexpr DWORD XL_IC_DOCNAME_MAX_BYTES = 2 * XL_IC_DOCNAME_MAX_CHARS + 2;

// Time-stamp codes of command 145.
enum : BYTE {
  XL_TIMESTAMP_JOBSTART = 1,
  XL_TIMESTAMP_PAGESTART = 2,
  XL_TIMESTAMP_PHYSICALPAGEEND = 3,
  XL_TIMESTAMP_LOGICALPAGEEND = 4,
  XL_TIMESTAMP_JOBEND = 5,
  XL_TIMESTAMP_VERSION = 6,
};

// ---- writers (each returns 0, or -1 when a put failed or an argument was
// refused before anything was written) ----------------------------------------

int xl_ic_enable(XlContext* ctx);
int xl_ic_disable(XlContext* ctx);
// The document name in UTF-16 with its NUL (null is the empty name).
int xl_ic_open(XlContext* ctx, const WCHAR* documentName);
int xl_ic_close(XlContext* ctx);
int xl_ic_pageStoring_init(XlContext* ctx, WORD firstPage, WORD growthStep);
struct XlIcPageStoringStart {
  int32_t pageColorMode;
  int32_t captureMask;  // bits within 0x3E
  int32_t fewColorEnable;
  int32_t fewColorValue;
  WORD page;
  WORD fewColorLimit;
};
int xl_ic_pageStoring_start(XlContext* ctx, const XlIcPageStoringStart* start);
int xl_ic_pageStoring_stop(XlContext* ctx, WORD page);
int xl_ic_pageStoring_dispose(XlContext* ctx);
// Replay of a stored page. `matrix` is the replay page matrix, or null for
// `baseMatrix` (the layout's base matrix). otherPage is 0xFFFF for none; an
// other page equal to the page is refused unless the page has bit 0x8000.
// mediaSource is 0xFFFF for no override.
struct XlIcStoredPage {
  const float* matrix;
  const float* baseMatrix;
  int32_t replayMask;
  WORD page;
  WORD otherPage;
  int32_t colorFlag;
  WORD mediaSource;
};
int xl_ic_output_aStoredPage_withOtherPageColor(XlContext* ctx, const XlIcStoredPage* stored);
int xl_ic_setcoordinate(XlContext* ctx, const float matrix[6]);
// Custom size in millimetres (0 x 0 for a standard size), colour mode, input
// bin and paper code (81 for a custom size).
int xl_ic_startpage(XlContext* ctx, float widthMm, float heightMm, BYTE colorMode, BYTE inputBin, BYTE paperCode);
int xl_ic_showpage(XlContext* ctx);
int xl_ic_endpage(XlContext* ctx);
int xl_ic_setcolormode(XlContext* ctx, int32_t jobColorMode, WORD pageColorMode);
int xl_ic_startjob(XlContext* ctx);
int xl_ic_openprinter(XlContext* ctx);
int xl_ic_closeprinter(XlContext* ctx, BYTE value);
// Time-stamp code 1-6; another code is refused.
int xl_ic_timeout(XlContext* ctx, BYTE code);
int xl_ic_beginstamp(XlContext* ctx);
int xl_ic_endstamp(XlContext* ctx);
int xl_ic_linkimagestart(XlContext* ctx);
int xl_ic_linkimageend(XlContext* ctx);
// The devmode (at most 8192 bytes, normally the 5440-byte private devmode)
// followed by zero bytes up to 8192.
int xl_ic_setdevmode(XlContext* ctx, const void* devmode, DWORD size);
int xl_ic_setprinterdata(XlContext* ctx, const BYTE (&printerData)[XL_IC_PRINTERDATA_SIZE]);
// The document name, cut to 259 characters so that the reader takes it
// (a longer command would be ignored and the name lost).
int xl_ic_setdocname(XlContext* ctx, const WCHAR* documentName);
int xl_ic_setjobinfo(XlContext* ctx, const BYTE (&jobInfo)[XL_IC_JOBINFO_SIZE]);
int xl_ic_setlayoutinfo(XlContext* ctx, const BYTE (&layoutInfo)[XL_IC_LAYOUTINFO_SIZE]);
int xl_ic_setpagectrl(XlContext* ctx, const BYTE (&pageCtrl)[XL_IC_PAGECTRL_SIZE]);
// The EJCL header table as received: a 16-byte head (int32 entry count, int32
// entry size, two int32 the receiver fills), count entries, count int32
// values. A table whose size is not (entry size + 4) x count + 16, or with a
// negative count or size, is refused.
int xl_ic_setjclheaders(XlContext* ctx, const void* table, DWORD size);
int xl_ic_changeSpool_forFormRegister(XlContext* ctx);
int xl_ic_stopSpool_forFormRegister(XlContext* ctx);

// Payload size of a code: the fixed size, 0 for none, -1 when it varies
// (130, 152, 156), -2 for a code outside 128-158.
int32_t xl_ic_payload_size(BYTE code);

// ---- reader ------------------------------------------------------------------

enum XlIcStatus : int {
  XL_IC_INCOMPLETE = 0,   // the bytes end inside the operator: read more
  XL_IC_MALFORMED = 1,    // not a sequence of value/attribute tokens and an operator
  XL_IC_NOT_INBAND = 2,   // an ordinary operator (length covers its tokens, not its data)
  XL_IC_IGNORED = 3,      // an in-band operator that is not recognised or whose payload
                          // has the wrong form: remove it and do nothing
  XL_IC_COMMAND = 4,      // a recognised command: act on code and payload
};

struct XlIcRead {
  XlIcStatus status;
  size_t length;  // bytes of the operator: its tokens, the operator byte, its data
  BYTE code;      // valid for XL_IC_COMMAND
  const BYTE* payload;  // the embedded data after the operator, if any
  DWORD payloadLength;
  BOOL hasPayload;
};

// Reads one operator from bytes[0..n): its value and attribute tokens, the
// operator byte and, when it is the in-band operator, embedded data that
// follows at once. An in-band operator is a command when the value before
// its attribute 255 is a single ubyte with a code 128-158 and, for a command
// that needs a payload, the last token is embedded data of the command's
// size (at least 5440 bytes for 150, at most 520 for 152, any for 130 and
// 156). Codes 143 and 144 are recognised and carry nothing to do.
// When the bytes end right after an in-band operator, data may still follow:
// the result is XL_IC_INCOMPLETE unless endOfInput says there is no more.
XlIcRead xl_ic_read(const BYTE* bytes, size_t n, BOOL endOfInput);
