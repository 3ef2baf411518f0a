// The in-band command executor: ParseZANNTKMUMComm recognises a command
// with xl_ic_read (one rule for the attribute's two id forms and for the
// payload checks, shared with the renderer's writers) and runs its
// Parse_ctrl_* handler. The operator itself is never written.
//
// A handler that cannot do what its command asks, where going on would
// lose or misplace output, ends the job (umpd_Reject): a page size that is
// not finite (138), a page matrix the writer refuses (137), a merged image
// that cannot be converted (149), form registration that cannot start
// (157), output that does not close cleanly (131).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "kestrel/core/cddd.h"
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/logout.h"
#include "kestrel/spool/image.h"
#include "kestrel/spool/umpd.h"
#include "kplatform/byte_order.h"
#include "kplatform/wide_text.h"
#include "kestrel/spool/colorconv.h"
#include "seams.h"

namespace {

constexpr DWORD kPageCtrlWords = sizeof(PAGECTRL) / 4;  // 37
constexpr DWORD kKeptWordsFirst = 3;                  // words 3-21 stay this side's
constexpr DWORD kKeptWordsLast = 21;
constexpr DWORD kJclHeadBytes = 16;

float LoadF32(const BYTE* p) {
  float f;
  std::memcpy(&f, p, sizeof(f));
  return f;
}

void LoadMatrix(const BYTE* p, float (&m)[6]) {
  for (int i = 0; i < 6; ++i) m[i] = LoadF32(p + 4 * i);
}

// A UTF-16 payload as a NUL-ended name of at most maxChars characters.
void CopyWideName(WCHAR* to, const BYTE* payload, DWORD bytes, DWORD maxChars) {
  DWORD chars = bytes / 2;
  if (chars > maxChars) chars = maxChars;
  DWORD i = 0;
  for (; i < chars; ++i) {
    const WCHAR c = static_cast<WCHAR>(kp_LoadU16(payload + 2 * i));
    if (c == 0) break;
    to[i] = c;
  }
  to[i] = 0;
}

DWORD DriverVersion(UmpdJobContext* ctx) {
  LONG v = 0;
  if (!ddm_GetNumber(DDM_PDLVERSION, ctx->devmode, ctx->printerData, &v)) return 0;
  return static_cast<DWORD>(v);
}

OSVERSIONINFOW SystemVersion(bool* known) {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  *known = GetVersionExW(&info) != 0;
  return info;
}

// UTF-16 to the ANSI code page into at most maxBytes bytes and a NUL: the
// longest prefix of whole characters that fits.
int ToAnsiCut(LPCWSTR text, int chars, char* out, int maxBytes) {
  int lo = 0;
  int hi = chars;
  auto fits = [&](int n) {
    if (n == 0) return true;
    const int need = WideCharToMultiByte(CP_ACP, 0, text, n, nullptr, 0, nullptr, nullptr);
    return need > 0 && need <= maxBytes;
  };
  if (!fits(hi)) {
    while (lo < hi) {  // the largest n with fits(n)
      const int mid = lo + (hi - lo + 1) / 2;
      if (fits(mid)) lo = mid;
      else hi = mid - 1;
    }
    hi = lo;
    // Never end between the halves of a surrogate pair.
    if (hi > 0 && text[hi - 1] >= 0xD800 && text[hi - 1] <= 0xDBFF) --hi;
  }
  const int n = hi > 0 ? WideCharToMultiByte(CP_ACP, 0, text, hi, out, maxBytes, nullptr, nullptr) : 0;
  out[n > 0 ? n : 0] = 0;
  return n > 0 ? n : 0;
}

// ---- handlers -------------------------------------------------------------------------------

int Parse_ctrl_open(UmpdJobContext* ctx, const BYTE* payload, DWORD length) {
  const DWORD chars = length / 2;
  WCHAR* name = static_cast<WCHAR*>(GlobalAlloc(GPTR, (static_cast<SIZE_T>(chars) + 1) * sizeof(WCHAR)));
  if (name == nullptr) return 0;  // the output stays closed
  CopyWideName(name, payload, length, chars);
  if (jobOutput_open(ctx, ctx->printer, name) != 0) Logout_OutputString(u"kestrelum: the job output did not open");
  GlobalFree(name);
  return 0;
}

int Parse_ctrl_startpage(UmpdJobContext* ctx, const BYTE* payload) {
  const float width = LoadF32(payload);
  const float height = LoadF32(payload + 4);
  if (!std::isfinite(width) || !std::isfinite(height)) {
    umpd_Reject(ctx, u"a page size that is not a number");
    return 0;
  }
  umpd_TakeSnapshot(ctx);
  if (jobOutput_redirect_startpage(ctx, payload[8], payload[9], payload[10], Parse_ctrl_roundPaperSize(width),
                                   Parse_ctrl_roundPaperSize(height), 0) != 0) {
    umpd_Reject(ctx, u"the page start was not written");
  }
  return 0;
}

int Parse_ctrl_SetPageCtrl(UmpdJobContext* ctx, const BYTE* payload) {
  BYTE kept[sizeof(PAGECTRL)];
  std::memcpy(kept, &ctx->pageCtrl, sizeof(kept));
  BYTE now[sizeof(PAGECTRL)];
  std::memcpy(now, payload, sizeof(now));
  std::memcpy(now, kept, 4);  // word 0: the output-open bits of this side
  std::memcpy(now + 4 * kKeptWordsFirst, kept + 4 * kKeptWordsFirst, 4 * (kKeptWordsLast - kKeptWordsFirst + 1));
  // Word 1: the page-store state bits are this side's (132-136 set them),
  // the renderer's own bits (0x40, the form macro's 0x80) come from it.
  const uint32_t store = (ctx->pageCtrl.pageStore & PAGESTORE_STATE_BITS) |
                         (kp_LoadU32(now + 4) & ~PAGESTORE_STATE_BITS);
  std::memcpy(&ctx->pageCtrl, now, sizeof(now));
  ctx->pageCtrl.pageStore = store;
  static_assert(kPageCtrlWords == 37);
  return 0;
}

int Parse_ctrl_SetJCLHeaders(UmpdJobContext* ctx, const BYTE* payload, DWORD length) {
  // head: count, entry size, then two words this side fills; count entries
  // of entry size bytes (int32 text length, the text); count int32 values.
  if (length < kJclHeadBytes) return 0;
  const int32_t count = kp_LoadI32(payload);
  const int32_t entrySize = kp_LoadI32(payload + 4);
  if (count < 0 || entrySize < 4) return 0;
  const uint64_t expected = (static_cast<uint64_t>(entrySize) + 4) * static_cast<uint64_t>(count) + kJclHeadBytes;
  if (expected != length) return 0;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t textLength = kp_LoadI32(payload + kJclHeadBytes + static_cast<uint64_t>(i) * entrySize);
    if (textLength < 0 || textLength > entrySize - 4) return 0;
  }
  if (ctx->jclHeaders != nullptr) GlobalFree(ctx->jclHeaders);
  ctx->jclHeaders = nullptr;
  ctx->jclHeadersSize = 0;
  BYTE* table = static_cast<BYTE*>(GlobalAlloc(GPTR, length));
  if (table == nullptr) return -1;
  std::memcpy(table, payload, length);
  // The entries and the values are found by their offsets from the head
  // (the wire's two 32-bit address words cannot hold an address here).
  kp_StoreU32(table + 8, kJclHeadBytes);
  kp_StoreU32(table + 12, static_cast<DWORD>(kJclHeadBytes + static_cast<uint64_t>(count) * entrySize));
  ctx->jclHeaders = table;
  ctx->jclHeadersSize = length;
  return 0;
}

int Parse_ctrl_LinkImageStart(UmpdJobContext* ctx) {
  ctx->imageGathering = FALSE;
  ctx->imageCheck = FALSE;
  XLDataListFree(ctx, ctx->imageList);
  ctx->imageList = nullptr;
  LONG value = 0;
  if (!ddm_GetNumber(DDM_NIE, ctx->devmode, ctx->printerData, &value) || (value & 0xFFFF) == 0) return 0;
  void* handle = ColorConv_GetParamAddr(ctx->colorParams, UMPD_COLOR_HANDLE);
  void* beginLink = ColorConv_GetParamAddr(ctx->colorParams, UMPD_COLOR_BEGINLINK);
  if (handle != nullptr && beginLink != nullptr) {
    if (reinterpret_cast<UmpdBeginLinkFn>(beginLink)(handle, static_cast<BYTE>(value & 0xFF)) == 0) {
      ctx->imageGathering = TRUE;
      ctx->imageCheck = TRUE;
    }
  }
  return 0;
}

int Parse_ctrl_LinkImageEnd(UmpdJobContext* ctx, XLOperator* op) {
  void* handle = ColorConv_GetParamAddr(ctx->colorParams, UMPD_COLOR_HANDLE);
  void* check = ColorConv_GetParamAddr(ctx->colorParams, UMPD_COLOR_CHECK);
  void* endLink = ColorConv_GetParamAddr(ctx->colorParams, UMPD_COLOR_ENDLINK);
  if (ctx->imageGathering) {
    if (ctx->imageCheck) {
      ctx->imageCheck = FALSE;
      if (handle != nullptr && check != nullptr && reinterpret_cast<UmpdCheckFn>(check)(handle) == 0) {
        ctx->imageCheck = TRUE;
      }
    }
    if (OutputNIESpool(ctx) != 0) {
      // The gathering ends here whatever happened: later images go their
      // ordinary way, the list is freed, the library's link is ended, and
      // the job ends, since the merged image is lost.
      ctx->imageGathering = FALSE;
      XLDataListFree(ctx, ctx->imageList);
      ctx->imageList = nullptr;
      umpd_Reject(ctx, u"a merged image could not be converted");
    } else {
      FreeOperator(ctx, op);
      op->list = ctx->imageList;
      op->op = XL_OP_SETCURSOR;
      op->second = XL_OP_ENDIMAGE;
      ctx->imageList = nullptr;
      ctx->imageGathering = FALSE;
    }
  }
  if (handle != nullptr && endLink != nullptr) reinterpret_cast<UmpdEndLinkFn>(endLink)(handle);
  ctx->imageCheck = FALSE;
  return 0;
}

int Parse_ctrl_TimeOut(UmpdJobContext* ctx, BYTE code) {
  if (code == XL_TIMESTAMP_JOBSTART) {
    LONG formRegistration = 0;
    if (ddm_GetNumber(DDM_FORM_REGISTRATION, ctx->devmode, ctx->printerData, &formRegistration) &&
        formRegistration == 1) {
      umpd_TakeSnapshot(ctx);
      OutputHeader(ctx);
    }
  }
  char text[256];
  Parse_ctrl_timeStampText(ctx, code, text);
  if (code == XL_TIMESTAMP_JOBSTART) ctx->timeStampTick = GetTickCount();
  if (xl_comment(&ctx->xl, text) != 0) umpd_Reject(ctx, u"a time stamp was not written");
  return 0;
}

}  // namespace

float Parse_ctrl_roundPaperSize(float mm) {
  // ((5 + trunc(100 v)) div 10) x 0.1, truncating toward zero in both steps.
  const double hundredths = std::trunc(100.0 * static_cast<double>(mm));
  if (!(std::fabs(hundredths) < 2147483000.0)) return mm;  // out of integer range: left as it is
  const long v = (5 + static_cast<long>(hundredths)) / 10;
  return static_cast<float>(static_cast<double>(v) * 0.1);
}

int Parse_ctrl_timeStampText(UmpdJobContext* ctx, BYTE code, char (&text)[256]) {
  const long ms = static_cast<long>(GetTickCount() - ctx->timeStampTick);
  switch (code) {
    case XL_TIMESTAMP_JOBSTART: {
      SYSTEMTIME t{};
      GetLocalTime(&t);
      WCHAR wide[32 + 2 * UMPD_NAME_CHARS];
      const int n = wnsprintfW(wide, static_cast<int>(sizeof(wide) / sizeof(WCHAR)),
                               u"\"[%04d,%02d/%02d,%02d:%02d:%02d][%ls][%ls]\"", t.wYear, t.wMonth, t.wDay,
                               t.wHour, t.wMinute, t.wSecond, ctx->documentName, ctx->portName);
      return ToAnsiCut(wide, n > 0 ? n : 0, text, static_cast<int>(sizeof(text)) - 1);
    }
    case XL_TIMESTAMP_PAGESTART: return std::snprintf(text, sizeof(text), "\"[%ldms]StartPage\"", ms);
    case XL_TIMESTAMP_PHYSICALPAGEEND:
      return std::snprintf(text, sizeof(text), "\"[%ldms]EndPage of Physical\"", ms);
    case XL_TIMESTAMP_LOGICALPAGEEND:
      return std::snprintf(text, sizeof(text), "\"[%ldms]EndPage of Logical\"", ms);
    case XL_TIMESTAMP_JOBEND: return std::snprintf(text, sizeof(text), "\"[%ldms]EndJob\"", ms);
    case XL_TIMESTAMP_VERSION: {
      std::snprintf(text, sizeof(text), "[%ldms][NO Versions]", ms);
      LPWSTR file = cdddGetFileName(ctx->printer);
      bool known = false;
      const OSVERSIONINFOW os = SystemVersion(&known);
      HCDDD ddd = file != nullptr && known ? cddd_Open(ctx->printer) : nullptr;
      if (ddd != nullptr) {
        const size_t length = kp_WideLength(file);
        size_t base = length;
        while (base > 0 && file[base - 1] != u'\\' && file[base - 1] != u'/') --base;
        // Both parts cut so that the whole line fits its 255 bytes.
        char baseName[80];
        ToAnsiCut(file + base, static_cast<int>(length - base), baseName, sizeof(baseName) - 1);
        char servicePack[48];
        ToAnsiCut(os.szCSDVersion, static_cast<int>(kp_WideLength(os.szCSDVersion)), servicePack,
                  sizeof(servicePack) - 1);
        std::snprintf(text, sizeof(text), "[%ldms][%s:%lx:%lx][%lx:%lx:%lx:%lx:%s][%lx]", ms, baseName,
                      static_cast<unsigned long>(ddd->main->packedVersion),
                      static_cast<unsigned long>(static_cast<DWORD>(ddd->main->formatVersion)),
                      static_cast<unsigned long>(os.dwMajorVersion), static_cast<unsigned long>(os.dwMinorVersion),
                      static_cast<unsigned long>(os.dwBuildNumber), static_cast<unsigned long>(os.dwPlatformId),
                      servicePack, static_cast<unsigned long>(DriverVersion(ctx)));
        cddd_Close(ddd);
      }
      kcore_Free(file);
      return static_cast<int>(std::strlen(text));
    }
    default: return std::snprintf(text, sizeof(text), "\"[%ldms]\"", ms);
  }
}

int OutputHeader(UmpdJobContext* ctx) {
  const DWORD version = DriverVersion(ctx);
  char first[64];
  const int n = std::snprintf(first, sizeof(first), ") HP-PCL XL;2;1;ZANVPL2-%d.%d.%d,",
                              static_cast<int>((version >> 16) & 0xFF), static_cast<int>((version >> 8) & 0xFF),
                              static_cast<int>(version & 0xFF));
  if (PutData(ctx, static_cast<DWORD>(n), first) != n) return 0;
  bool known = false;
  OSVERSIONINFOW os = SystemVersion(&known);
  if (!known) {
    os.dwMajorVersion = 4;
    os.dwMinorVersion = 0;
  }
  char second[64];
  const int m = std::snprintf(second, sizeof(second), "%s%x.%x,%s%d.%d.%d.%d%c", "WINNT-",
                              static_cast<unsigned>(os.dwMajorVersion), static_cast<unsigned>(os.dwMinorVersion),
                              "VPL2DRV-", 2, 6, 2, 1, '\n');
  PutData(ctx, static_cast<DWORD>(m), second);
  return 0;
}

int ParseZANNTKMUMComm(UmpdJobContext* ctx, XLOperator* op) {
  const DWORD n = XLDataListRawLength(op->list);
  if (n == 0) return 0;
  BYTE* bytes = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, n));
  if (bytes == nullptr) {
    umpd_Reject(ctx, u"no memory for an in-band command");
    return 0;
  }
  DWORD at = 0;
  XLData* node = op->list;
  do {
    std::memcpy(bytes + at, node->raw(), node->rawLength);
    at += node->rawLength;
    node = node->next;
  } while (node != op->list);
  const XlIcRead r = xl_ic_read(bytes, n, TRUE);
  if (r.status != XL_IC_COMMAND || r.length != n) {
    GlobalFree(bytes);
    return 0;  // not recognised, or a payload of the wrong form: ignored
  }
  ++ctx->commandsRun[r.code - XL_IC_FIRST];
  const BYTE* p = r.payload;
  const DWORD length = r.payloadLength;
  switch (r.code) {
    case XL_IC_ENABLE: jobOutput_enable(ctx); break;
    case XL_IC_DISABLE:
      jobOutput_disable(ctx);
      ExitXLCC(ctx);
      if (ctx->jclHeaders != nullptr) GlobalFree(ctx->jclHeaders);
      ctx->jclHeaders = nullptr;
      ctx->jclHeadersSize = 0;
      ejclcmnt_endEJCLComment(ctx);
      break;
    case XL_IC_OPEN: Parse_ctrl_open(ctx, p, length); break;
    case XL_IC_CLOSE:
      if (jobOutput_close(ctx, 1) != 0) umpd_Reject(ctx, u"the job output did not close whole");
      break;
    // A store that cannot start or a page it refuses is printed as it
    // comes (137-140 then write it directly, and 136 finds no store); a
    // stored page that cannot be closed or put out again ends the job.
    case XL_IC_PAGESTORING_INIT:
      if (jobOutput_pageStoring_init(ctx, kp_LoadU16(p), kp_LoadU16(p + 2)) != 0) {
        Logout_OutputString(u"kestrelum: command 132 refused");
      }
      break;
    case XL_IC_PAGESTORING_START:
      if (jobOutput_pageStoring_start(ctx, kp_LoadU16(p + 16), kp_LoadI32(p), kp_LoadI32(p + 4), kp_LoadI32(p + 8),
                                      kp_LoadU16(p + 18), kp_LoadI32(p + 12)) != 0) {
        Logout_OutputString(u"kestrelum: command 133 refused");
      }
      break;
    case XL_IC_PAGESTORING_STOP:
      ExitXLCGS(ctx);
      if (jobOutput_pageStoring_stop(ctx, kp_LoadU16(p)) != 0) umpd_Reject(ctx, u"a stored page could not be closed");
      break;
    case XL_IC_PAGESTORING_DISPOSE:
      if (jobOutput_pageStoring_dispose(ctx) != 0) Logout_OutputString(u"kestrelum: command 135 refused");
      break;
    case XL_IC_OUTPUT_STOREDPAGE: {
      float m[6];
      LoadMatrix(p, m);
      const int32_t source = kp_LoadU16(p + 36) == 0xFFFF ? -1 : kp_LoadU16(p + 36);  // 0xFFFF: no override
      if (jobOutput_output_aStoredPage_withOtherPageColor(ctx, kp_LoadU16(p + 28), kp_LoadI32(p + 24), m,
                                                          static_cast<int16_t>(kp_LoadU16(p + 30)), kp_LoadI32(p + 32),
                                                          source) != 0) {
        umpd_Reject(ctx, u"a stored page could not be put out");
      }
      break;
    }
    case XL_IC_SETCOORDINATE: {
      float m[6];
      LoadMatrix(p, m);
      if (jobOutput_redirect_setcoordinate(ctx, m) != 0) umpd_Reject(ctx, u"a page matrix was refused");
      break;
    }
    case XL_IC_STARTPAGE:
      InitXLCGS(ctx);
      Parse_ctrl_startpage(ctx, p);
      break;
    case XL_IC_SHOWPAGE:
      Logout_OutputString(u"kestrelum: colour: page colour mode %d (0 undecided, 1 mono, 2 colour)",
                          static_cast<int>(ctx->pageCtrl.pageColorMode));
      if (jobOutput_redirect_showpage(ctx) != 0) umpd_Reject(ctx, u"the page end was not written");
      break;
    case XL_IC_ENDPAGE: jobOutput_redirect_endpage(ctx); break;
    case XL_IC_SETCOLORMODE:
      ctx->jobInfo.colorModeAuto = kp_LoadI32(p);
      ctx->pageCtrl.pageColorMode = kp_LoadU16(p + 4);
      break;
    case XL_IC_STARTJOB:
      TFReg_TryAllDelete();
      // The colour conversion starts here once the job's devmode is in
      // (else at BeginSession); a Cancel at the profile box ends the job.
      if (ctx->snapshotTaken && InitXLCC(ctx) == 0) umpd_Reject(ctx, u"colour conversion could not start");
      ejclcmnt_initEJCLComment(ctx);
      break;
    case XL_IC_OPENPRINTER: break;
    case XL_IC_CLOSEPRINTER:
      // The end of one send of a fax sent once per destination: the next
      // send's header is the next prepared header (its destination's),
      // never past the table's count.
      if (ctx->jclHeaders != nullptr && ctx->jclHeadersSize >= 4 &&
          ctx->copySet + 1 < static_cast<DWORD>(std::max<int32_t>(kp_LoadI32(ctx->jclHeaders), 0)))
        ++ctx->copySet;
      break;
    case XL_IC_TIMEOUT: Parse_ctrl_TimeOut(ctx, p[0]); break;
    case XL_IC_BEGINSTAMP: ctx->stampFlag = 1; break;
    case XL_IC_ENDSTAMP: ctx->stampFlag = 0; break;
    case XL_IC_LINKIMAGESTART: Parse_ctrl_LinkImageStart(ctx); break;
    case XL_IC_LINKIMAGEEND: Parse_ctrl_LinkImageEnd(ctx, op); break;
    case XL_IC_SETDEVMODE: std::memcpy(ctx->devmode, p, UMPD_DEVMODE_SIZE); break;
    case XL_IC_SETPRINTERDATA: std::memcpy(ctx->printerData, p, UMPD_PRINTERDATA_SIZE); break;
    case XL_IC_SETDOCNAME: CopyWideName(ctx->documentName, p, length, UMPD_NAME_CHARS - 1); break;
    case XL_IC_SETJOBINFO: std::memcpy(&ctx->jobInfo, p, sizeof(JOBINFO)); break;
    case XL_IC_SETLAYOUTINFO: std::memcpy(&ctx->layoutInfo, p, sizeof(LAYOUTINFO)); break;
    case XL_IC_SETPAGECTRL: Parse_ctrl_SetPageCtrl(ctx, p); break;
    case XL_IC_SETJCLHEADERS: Parse_ctrl_SetJCLHeaders(ctx, p, length); break;
    case XL_IC_CHANGESPOOL_FORMREGISTER:
      if (jobOutput_changeSpool_forFormRegister(ctx) != 0) umpd_Reject(ctx, u"form registration could not start");
      break;
    case XL_IC_STOPSPOOL_FORMREGISTER: jobOutput_stopSpool_forFormRegister(ctx); break;
    default: break;
  }
  GlobalFree(bytes);
  return 0;
}
