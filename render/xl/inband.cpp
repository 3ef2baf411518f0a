// Writers of the in-band command stream.
#include <cstring>

#include "kestrel/render/xl_inband.h"
#include "xl_local.h"

// The command head: the code as a ubyte value, attribute 255, operator 0xFF.
static int command(XlContext* ctx, BYTE code) {
  const BYTE head[5] = {XL_TAG_UBYTE, code, XL_TAG_ATTR_UBYTE, 0xFF, XL_OP_INBAND};
  return xl_put(ctx, head, sizeof(head));
}

static int command_with(XlContext* ctx, BYTE code, const void* payload, DWORD n) {
  if (command(ctx, code) != 0) return -1;
  return xl_embeddeddata(ctx, payload, n);
}

int32_t xl_ic_payload_size(BYTE code) {
  switch (code) {
    case XL_IC_OPEN:
    case XL_IC_SETDOCNAME:
    case XL_IC_SETJCLHEADERS: return -1;
    case XL_IC_PAGESTORING_INIT: return 4;
    case XL_IC_PAGESTORING_START: return 20;
    case XL_IC_PAGESTORING_STOP: return 2;
    case XL_IC_OUTPUT_STOREDPAGE: return 40;
    case XL_IC_SETCOORDINATE: return 24;
    case XL_IC_STARTPAGE: return 12;
    case XL_IC_SETCOLORMODE: return 8;
    case XL_IC_CLOSEPRINTER: return 1;
    case XL_IC_TIMEOUT: return 1;
    case XL_IC_SETDEVMODE: return XL_IC_DEVMODE_PAYLOAD;
    case XL_IC_SETPRINTERDATA: return XL_IC_PRINTERDATA_SIZE;
    case XL_IC_SETJOBINFO: return XL_IC_JOBINFO_SIZE;
    case XL_IC_SETLAYOUTINFO: return XL_IC_LAYOUTINFO_SIZE;
    case XL_IC_SETPAGECTRL: return XL_IC_PAGECTRL_SIZE;
    default: return code >= XL_IC_FIRST && code <= XL_IC_LAST ? 0 : -2;
  }
}

static void put_f32(BYTE* p, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof(bits));
  kp_StoreU32(p, bits);
}
static void put_i32(BYTE* p, int32_t v) { kp_StoreU32(p, static_cast<DWORD>(v)); }

// A UTF-16 name with its NUL, little-endian, at most maxChars characters.
static int name_command(XlContext* ctx, BYTE code, const WCHAR* name, size_t maxChars) {
  size_t n = 0;
  if (name != nullptr)
    while (name[n] != 0) ++n;
  if (n > maxChars) n = maxChars;
  if (n > 0x7FFFFFF0u / 2) return -1;
  if (command(ctx, code) != 0) return -1;
  const DWORD bytes = static_cast<DWORD>(2 * n + 2);
  if (xl_embeddeddata_hdr(ctx, bytes) != 0) return -1;
  BYTE chunk[512];
  size_t used = 0;
  for (size_t i = 0; i <= n; ++i) {
    const WCHAR c = i < n ? name[i] : 0;
    kp_StoreU16(chunk + used, static_cast<WORD>(c));
    used += 2;
    if (used == sizeof(chunk)) {
      if (xl_put(ctx, chunk, static_cast<DWORD>(used)) != 0) return -1;
      used = 0;
    }
  }
  return used > 0 ? xl_put(ctx, chunk, static_cast<DWORD>(used)) : 0;
}

int xl_ic_enable(XlContext* ctx) { return command(ctx, XL_IC_ENABLE); }
int xl_ic_disable(XlContext* ctx) { return command(ctx, XL_IC_DISABLE); }
int xl_ic_open(XlContext* ctx, const WCHAR* name) { return name_command(ctx, XL_IC_OPEN, name, SIZE_MAX); }
int xl_ic_close(XlContext* ctx) { return command(ctx, XL_IC_CLOSE); }

int xl_ic_pageStoring_init(XlContext* ctx, WORD firstPage, WORD growthStep) {
  BYTE p[4];
  kp_StoreU16(p, firstPage);
  kp_StoreU16(p + 2, growthStep);
  return command_with(ctx, XL_IC_PAGESTORING_INIT, p, sizeof(p));
}

int xl_ic_pageStoring_start(XlContext* ctx, const XlIcPageStoringStart* s) {
  if (s == nullptr) return -1;
  BYTE p[20];
  put_i32(p, s->pageColorMode);
  put_i32(p + 4, s->captureMask);
  put_i32(p + 8, s->fewColorEnable);
  put_i32(p + 12, s->fewColorValue);
  kp_StoreU16(p + 16, s->page);
  kp_StoreU16(p + 18, s->fewColorLimit);
  return command_with(ctx, XL_IC_PAGESTORING_START, p, sizeof(p));
}

int xl_ic_pageStoring_stop(XlContext* ctx, WORD page) {
  BYTE p[2];
  kp_StoreU16(p, page);
  return command_with(ctx, XL_IC_PAGESTORING_STOP, p, sizeof(p));
}

int xl_ic_pageStoring_dispose(XlContext* ctx) { return command(ctx, XL_IC_PAGESTORING_DISPOSE); }

int xl_ic_output_aStoredPage_withOtherPageColor(XlContext* ctx, const XlIcStoredPage* s) {
  if (s == nullptr) return -1;
  const float* m = s->matrix != nullptr ? s->matrix : s->baseMatrix;
  if (m == nullptr) return -1;
  if (s->otherPage == s->page && (s->page & 0x8000) == 0) return -1;
  BYTE p[40] = {};
  for (int i = 0; i < 6; ++i) put_f32(p + 4 * i, m[i]);
  put_i32(p + 24, s->replayMask);
  kp_StoreU16(p + 28, s->page);
  kp_StoreU16(p + 30, s->otherPage);
  put_i32(p + 32, s->colorFlag);
  kp_StoreU16(p + 36, s->mediaSource);
  // bytes 38 and 39 carry no value; they go out as zeros
  return command_with(ctx, XL_IC_OUTPUT_STOREDPAGE, p, sizeof(p));
}

int xl_ic_setcoordinate(XlContext* ctx, const float matrix[6]) {
  if (matrix == nullptr) return -1;
  BYTE p[24];
  for (int i = 0; i < 6; ++i) put_f32(p + 4 * i, matrix[i]);
  return command_with(ctx, XL_IC_SETCOORDINATE, p, sizeof(p));
}

int xl_ic_startpage(XlContext* ctx, float widthMm, float heightMm, BYTE colorMode, BYTE inputBin, BYTE paperCode) {
  BYTE p[12] = {};
  put_f32(p, widthMm);
  put_f32(p + 4, heightMm);
  p[8] = colorMode;
  p[9] = inputBin;
  p[10] = paperCode;
  return command_with(ctx, XL_IC_STARTPAGE, p, sizeof(p));
}

int xl_ic_showpage(XlContext* ctx) { return command(ctx, XL_IC_SHOWPAGE); }
int xl_ic_endpage(XlContext* ctx) { return command(ctx, XL_IC_ENDPAGE); }

int xl_ic_setcolormode(XlContext* ctx, int32_t jobColorMode, WORD pageColorMode) {
  BYTE p[8] = {};
  put_i32(p, jobColorMode);
  kp_StoreU16(p + 4, pageColorMode);
  return command_with(ctx, XL_IC_SETCOLORMODE, p, sizeof(p));
}

int xl_ic_startjob(XlContext* ctx) { return command(ctx, XL_IC_STARTJOB); }
int xl_ic_openprinter(XlContext* ctx) { return command(ctx, XL_IC_OPENPRINTER); }
int xl_ic_closeprinter(XlContext* ctx, BYTE value) { return command_with(ctx, XL_IC_CLOSEPRINTER, &value, 1); }

int xl_ic_timeout(XlContext* ctx, BYTE code) {
  if (code < XL_TIMESTAMP_JOBSTART || code > XL_TIMESTAMP_VERSION) return -1;
  return command_with(ctx, XL_IC_TIMEOUT, &code, 1);
}

int xl_ic_beginstamp(XlContext* ctx) { return command(ctx, XL_IC_BEGINSTAMP); }
int xl_ic_endstamp(XlContext* ctx) { return command(ctx, XL_IC_ENDSTAMP); }
int xl_ic_linkimagestart(XlContext* ctx) { return command(ctx, XL_IC_LINKIMAGESTART); }
int xl_ic_linkimageend(XlContext* ctx) { return command(ctx, XL_IC_LINKIMAGEEND); }

int xl_ic_setdevmode(XlContext* ctx, const void* devmode, DWORD size) {
  if (devmode == nullptr || size > XL_IC_DEVMODE_PAYLOAD) return -1;
  if (command(ctx, XL_IC_SETDEVMODE) != 0) return -1;
  if (xl_embeddeddata_hdr(ctx, XL_IC_DEVMODE_PAYLOAD) != 0) return -1;
  if (xl_put(ctx, devmode, size) != 0) return -1;
  static const BYTE zeros[512] = {};
  for (DWORD rest = XL_IC_DEVMODE_PAYLOAD - size; rest > 0;) {
    const DWORD n = rest < sizeof(zeros) ? rest : static_cast<DWORD>(sizeof(zeros));
    if (xl_put(ctx, zeros, n) != 0) return -1;
    rest -= n;
  }
  return 0;
}

int xl_ic_setprinterdata(XlContext* ctx, const BYTE (&data)[XL_IC_PRINTERDATA_SIZE]) {
  return command_with(ctx, XL_IC_SETPRINTERDATA, data, XL_IC_PRINTERDATA_SIZE);
}

int xl_ic_setdocname(XlContext* ctx, const WCHAR* name) {
  return name_command(ctx, XL_IC_SETDOCNAME, name, XL_IC_DOCNAME_MAX_CHARS);
}

int xl_ic_setjobinfo(XlContext* ctx, const BYTE (&data)[XL_IC_JOBINFO_SIZE]) {
  return command_with(ctx, XL_IC_SETJOBINFO, data, XL_IC_JOBINFO_SIZE);
}
int xl_ic_setlayoutinfo(XlContext* ctx, const BYTE (&data)[XL_IC_LAYOUTINFO_SIZE]) {
  return command_with(ctx, XL_IC_SETLAYOUTINFO, data, XL_IC_LAYOUTINFO_SIZE);
}
int xl_ic_setpagectrl(XlContext* ctx, const BYTE (&data)[XL_IC_PAGECTRL_SIZE]) {
  return command_with(ctx, XL_IC_SETPAGECTRL, data, XL_IC_PAGECTRL_SIZE);
}

int xl_ic_setjclheaders(XlContext* ctx, const void* table, DWORD size) {
  if (table == nullptr || size < 16) return -1;
  const BYTE* t = static_cast<const BYTE*>(table);
  const int32_t count = kp_LoadI32(t);
  const int32_t entrySize = kp_LoadI32(t + 4);
  if (count < 0 || entrySize < 0) return -1;
  const uint64_t expected = (static_cast<uint64_t>(entrySize) + 4) * static_cast<uint64_t>(count) + 16;
  if (expected != size) return -1;
  return command_with(ctx, XL_IC_SETJCLHEADERS, table, size);
}

int xl_ic_changeSpool_forFormRegister(XlContext* ctx) { return command(ctx, XL_IC_CHANGESPOOL_FORMREGISTER); }
int xl_ic_stopSpool_forFormRegister(XlContext* ctx) { return command(ctx, XL_IC_STOPSPOOL_FORMREGISTER); }
