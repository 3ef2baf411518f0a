// The job's frame: the EJCL header before the PCL XL stream (OutputEJCL
// head 1, at BeginSession), the trailer after it (head 0, after
// EndSession) with the job-information comment between its universal exit
// and its end of job, the comment's collection while the pages pass, and
// the booklet sheet count written into a header prepared before the count
// was known.
//
// A header or trailer that cannot be made or written fails the job: the
// parser is stopped (umpd_Reject), nothing more is written and the next
// write answers FALSE. A secure or held job must never reach the printer
// as a bare PCL XL stream that prints at once.
#include <cstdio>
#include <cstring>
#include <utility>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/ejcl.h"
#include "kestrel/core/gsb_ctrl.h"
#include "kestrel/core/jobinfo.h"
#include "kestrel/core/logout.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/spool/umpd.h"
#include "kplatform/byte_order.h"
#include "seams.h"

namespace {

constexpr DWORD kDevmodeFaxMode = 748;     // devmode byte: 5 = fax with an address file
constexpr BYTE kFaxModeAddressFile = 5;
constexpr DWORD kPrinterDataFaxFlags = 11; // printer-data byte: bit 0x10 the address file is required
constexpr BYTE kFaxFileRequired = 0x10;
constexpr DWORD kJclHeadBytes = 16;

int Fail(UmpdJobContext* ctx, const char16_t* why) {
  umpd_Reject(ctx, why);
  return 0;
}

bool Put(UmpdJobContext* ctx, const void* bytes, DWORD count) {
  if (count == 0) return true;
  return PutData(ctx, count, bytes) == static_cast<int32_t>(count);
}

DWORD Caps(DDDFILE* main) {
  ZANLIB_CAPABILITY caps{};
  zanLib_GetDDDCapabilitiesFromFile(main, &caps);
  return caps.word0;
}

// A wide string member (type 6); empty when it cannot be read.
const WCHAR* WideValue(WORD ddmId, void* devmode, void* printerData) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR value = 0;
  if (ddm_GetValue(ddmId, devmode, printerData, &type, &size, &value) != 0 || type != DDM_TYPE_STRING ||
      value == 0)
    return u"";
  return reinterpret_cast<const WCHAR*>(value);
}

// The fax-address file a fax job with an address file needs: DDM 375 of
// the devmode when it is set, else DDM 1799. TRUE when it opens for
// reading (or when the job does not need one).
bool FaxFileReady(UmpdJobContext* ctx) {
  if (ctx->devmodeSnapshot[kDevmodeFaxMode] != kFaxModeAddressFile ||
      (ctx->printerData[kPrinterDataFaxFlags] & kFaxFileRequired) == 0)
    return true;
  const WCHAR* name = WideValue(DDM_FAX_ADDRESS_FILE, ctx->devmodeSnapshot, ctx->printerData);
  if (name[0] == 0) name = WideValue(DDM_FAX_DATA_FILE, ctx->devmodeSnapshot, ctx->printerData);
  if (name[0] == 0) return false;
  HANDLE f = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  CloseHandle(f);
  return true;
}

// The booklet's page count: page control offset 102 as the renderer sent it
// (command 155 copies word 25, offsets 100-103, from the renderer, which
// puts there the pages of the book before it asks for the header); this
// side does not count stored pages into it.
WORD BookletPages(const UmpdJobContext* ctx) {
  WORD pages = 0;
  std::memcpy(&pages, reinterpret_cast<const BYTE*>(&ctx->pageCtrl) + 102, sizeof(pages));
  return pages;
}

bool IsBooklet(const UmpdJobContext* ctx) { return ctx->jobInfo.bookletCountInHeader == 1; }

// The prepared header of the current copy set (command 156), checked at
// use: the index within the count, the text within its entry, the values
// within the table. 1 written, 0 failed, -1 no usable entry (an index past
// the count, an empty or overlong text): the writer makes the header.
int WritePreparedHeader(UmpdJobContext* ctx, HCDDD ddd) {
  const BYTE* t = ctx->jclHeaders;
  if (t == nullptr || ctx->jclHeadersSize < kJclHeadBytes) return -1;
  const int32_t count = kp_LoadI32(t);
  const int32_t entrySize = kp_LoadI32(t + 4);
  if (count <= 0 || entrySize < 4 || ctx->copySet >= static_cast<DWORD>(count)) return -1;
  const uint64_t values = kJclHeadBytes + static_cast<uint64_t>(count) * static_cast<uint32_t>(entrySize);
  if (values + 4ull * static_cast<uint32_t>(count) > ctx->jclHeadersSize) return -1;
  const BYTE* entry = t + kJclHeadBytes + static_cast<uint64_t>(ctx->copySet) * static_cast<uint32_t>(entrySize);
  const int32_t length = kp_LoadI32(entry);
  // An empty entry is no prepared header: the writer makes it.
  if (length <= 0 || length > entrySize - 4) return -1;
  char* text = static_cast<char*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(length)));
  if (text == nullptr) return Fail(ctx, u"no memory for the job header");
  std::memcpy(text, entry + 4, static_cast<size_t>(length));
  if (IsBooklet(ctx)) {
    const DWORD offset = kp_LoadU32(t + values + 4ull * ctx->copySet);
    const WORD sheets = ejcl_bookletSheets(BookletPages(ctx), ctx->jobInfo.bookletShift != 0);
    const int r = ejcl_overwriteEJCLCommandsBKTP(ddd->main, ddd->referenced, sheets, offset, text,
                                                 static_cast<DWORD>(length));
    if (r < 0) Logout_OutputString(u"kestrelum: the booklet sheet count has no placeholder at %lu", offset);
  }
  const bool ok = Put(ctx, text, static_cast<DWORD>(length));
  GlobalFree(text);
  return ok ? 1 : Fail(ctx, u"the job header was not written whole");
}

// The job's registration with the document monitor when the printer data
// asks for it (DDM 8201), the devmode does (DDM 1321) and the monitor the
// model names is usable, unless the document events' registrations were
// taken over; made once a job (a job of several sessions, a fax
// sent once a destination, keeps its first), released by
// umseam_DocumentMonitorGo or Reset, or with the context.
void RegisterWithDocumentMonitor(UmpdJobContext* ctx, HCDDD ddd) {
  if (ctx->documentMonitor != 0) return;
  BYTE record[BRIGHTDESK_RECORD_SIZE];
  ctx->documentMonitor = outGSB_RegisterCopy(ctx, ddd, ctx->devmodeSnapshot, 0, record);
}

int OutputEJCLHead(UmpdJobContext* ctx) {
  HCDDD ddd = cddd_Open(ctx->printer);
  if (ddd == nullptr) return Fail(ctx, u"the job header cannot be made: no device description");
  if (!FaxFileReady(ctx)) {
    cddd_Close(ddd);
    ctx->status.fetch_or(UMPD_STATUS_ABORTED);
    return Fail(ctx, u"the fax-address file of the job does not open");
  }
  // The job's user, for the document monitor (the header's own user hint
  // follows the same rule in the core).
  if (ejcl_GetJobUserName(ctx->userName, UMPD_USER_CHARS + 1) == 0) ctx->userName[0] = 0;
  // The document events' registrations of prepared headers come first: the
  // job is then registered already.
  outGSB_TakeOverDocumentMonitor(ctx);
  // A job asking for marking is spooled to its file from the header on.
  if (outGSB_PrepareSpool(ctx) != 0) {
    cddd_Close(ddd);
    return Fail(ctx, u"the spooled file of a marked job cannot be made");
  }

  int result = WritePreparedHeader(ctx, ddd);
  if (result < 0) {
    result = 0;
    const LONG size = ejcl_bufferSizeHead(ddd->main, ddd->referenced);
    if (size <= 0) {
      cddd_Close(ddd);
      return Fail(ctx, u"the job header cannot be made: no size");
    }
    const DWORD capacity = static_cast<DWORD>(size) + 1;  // and the NUL
    char* block = static_cast<char*>(GlobalAlloc(GPTR, capacity));
    if (block == nullptr) {
      cddd_Close(ddd);
      return Fail(ctx, u"no memory for the job header");
    }
    EJCL_CONTEXT c{};
    c.devmode = ctx->devmodeSnapshot;
    c.printerData = ctx->printerData;
    c.documentName = ctx->documentName;
    c.hardCoded = 1;  // this header is the job's only one: it carries the hard-coded commands
    c.fax = nullptr;  // no in-band command brings a fax list to this side
    c.printer = ctx->printer;
    c.bookletSheets = IsBooklet(ctx)
                          ? static_cast<SHORT>(ejcl_bookletSheets(BookletPages(ctx), ctx->jobInfo.bookletShift != 0))
                          : 0;
    const LONG n = ejcl_getEJCLCommandsHead(ddd->main, ddd->referenced, &c, block, capacity);
    if (n > 0) RegisterWithDocumentMonitor(ctx, ddd);
    if (n <= 0) {
      Logout_OutputString(u"kestrelum: the EJCL writer answered %ld", n);
      result = Fail(ctx, u"the job header cannot be made");
    } else if (!Put(ctx, block, static_cast<DWORD>(n))) {
      result = Fail(ctx, u"the job header was not written whole");
    } else {
      result = 1;
    }
    GlobalFree(block);
  }
  cddd_Close(ddd);
  return result;
}

// One text of the EJCL writer into a block of the size it reports, written.
template <typename Size, typename Write>
bool WriteText(UmpdJobContext* ctx, Size size, Write write) {
  const LONG n = size();
  if (n <= 0) return false;
  const DWORD capacity = static_cast<DWORD>(n) + 1;
  char* block = static_cast<char*>(GlobalAlloc(GPTR, capacity));
  if (block == nullptr) return false;
  const LONG written = write(block, capacity);
  const bool ok = written > 0 && Put(ctx, block, static_cast<DWORD>(written));
  GlobalFree(block);
  return ok;
}

int OutputEJCLTail(UmpdJobContext* ctx) {
  ejclcmnt_setJobInfo(ctx);
  HCDDD ddd = cddd_Open(ctx->printer);
  if (ddd == nullptr) return Fail(ctx, u"the job trailer cannot be made: no device description");
  DDDFILE* main = ddd->main;
  DDDFILE* ref = ddd->referenced;
  bool ok = true;
  if (ctx->jobInfo.trailerJobInfo != 0) {
    ok = WriteText(
        ctx, [] { return ejcl_bufferSizeUniversalExit(); },
        [](char* b, DWORD c) { return ejcl_getEJCLCommandsUniversalExit(b, c); });
    if (ok && ctx->jobInfoBuilder != nullptr) {
      char piece[EJCLCMNT_BUFFER_SIZE];
      DWORD more = 0;
      do {
        const LONG n = ejclcmnt_getEJCLComment(ctx, piece, &more);
        ok = n >= 0 && Put(ctx, piece, static_cast<DWORD>(n));
      } while (ok && more != 0);
    }
    if (ok)
      ok = WriteText(
          ctx, [&] { return ejcl_bufferSizeEndOfJob(main, ref); },
          [&](char* b, DWORD c) { return ejcl_getEJCLCommandsEndOfJob(main, ref, b, c); });
  } else {
    ok = WriteText(
        ctx, [&] { return ejcl_bufferSizeTail(main, ref); },
        [&](char* b, DWORD c) { return ejcl_getEJCLCommandsTail(main, ref, b, c); });
  }
  cddd_Close(ddd);
  return ok ? 1 : Fail(ctx, u"the job trailer was not written whole");
}

// ---- the collection --------------------------------------------------------------

template <typename T>
T At(const void* record, DWORD offset) {
  T v;
  std::memcpy(&v, static_cast<const BYTE*>(record) + offset, sizeof(v));
  return v;
}

LONG InTray(WORD bin) {
  switch (bin) {
    case 7: return 0;
    case 1: case 272: return 1;
    case 3: case 271: return 2;
    case 2: case 261: return 3;
    case 257: case 262: return 4;
    case 4: case 260: return 5;
    case 265: return 201;
    case 266: return 202;
    case 267: return 203;
    default: return 0x8000;
  }
}

}  // namespace

int OutputEJCL(UmpdJobContext* ctx, int head) { return head ? OutputEJCLHead(ctx) : OutputEJCLTail(ctx); }

WORD ejcl_bookletSheets(WORD pages, BOOL shifted) {
  const int n = pages;
  return static_cast<WORD>(shifted ? (n + 5) / 4 * 2 - 1 : (n + 3) / 4 * 2);
}

int ejcl_overwriteEJCLCommandsBKTP(void* dddMain, void*, WORD sheets, DWORD offset, char* text, DWORD textLength) {
  if (offset == 0) return 1;
  const bool pjl = (Caps(static_cast<DDDFILE*>(dddMain)) & EJCL_CAP_PJL) != 0;
  const DWORD blanks = pjl ? EJCL_BKTP_BLANKS_PJL : EJCL_BKTP_BLANKS_PLAIN;
  if (text == nullptr || offset > textLength || textLength - offset < blanks) return -1;
  for (DWORD i = 0; i < blanks; ++i)
    if (text[offset + i] != ' ') return -1;
  char count[48];
  const int n = pjl ? std::snprintf(count, sizeof(count), "@PJL SET JOBATTR=\"@BKTP=%u\"", static_cast<unsigned>(sheets))
                    : std::snprintf(count, sizeof(count), "@BKTP=%u", static_cast<unsigned>(sheets));
  if (n <= 0 || static_cast<DWORD>(n) > blanks) return -1;
  std::memcpy(text + offset, count, static_cast<size_t>(n));
  return 1;
}

int ejclcmnt_initEJCLComment(UmpdJobContext* ctx) {
  if (ctx == nullptr) return -1;
  if (ctx->jobInfoBuilder != nullptr) return 0;
  ctx->jobInfoBuilder = IJ_lInit(10, 10);
  if (ctx->jobInfoBuilder == nullptr) return -1;
  IJ_lSetCRPut(ctx->jobInfoBuilder, FALSE);
  return 0;
}

void ejclcmnt_endEJCLComment(UmpdJobContext* ctx) {
  if (ctx == nullptr || ctx->jobInfoBuilder == nullptr) return;
  IJ_lEnd(ctx->jobInfoBuilder);
  ctx->jobInfoBuilder = nullptr;
}

int ejclcmnt_setPageInfo(UmpdJobContext* ctx, BOOL customSize) {
  if (ctx == nullptr || ctx->jobInfoBuilder == nullptr) return -1;
  JobInfoBuilder* b = ctx->jobInfoBuilder;
  const JOBINFO& ji = ctx->jobInfo;
  const void* lay = &ctx->layoutInfo;
  const void* pc = &ctx->pageCtrl;
  if (ji.formRegistration != 0 && IJ_lGetIndex(b) >= 1) return 0;  // a form: its first page only
  if (!IJ_lAppendPage(b)) return -1;
  // The paper, the shorter side first, in tenths of a millimetre.
  WORD w = At<WORD>(lay, 38);
  WORD l = At<WORD>(lay, 40);
  if (w > l) std::swap(w, l);
  char size[32];
  std::snprintf(size, sizeof(size), customSize ? "*%d.%dX%d.%d" : "%d.%dX%d.%d", w / 10, w % 10, l / 10, l % 10);
  IJ_lSetPaperSize(b, size);
  const BYTE pageColor = At<BYTE>(pc, 132);
  LONG mode;
  if (pageColor == 0) {
    mode = IJ_PAGE_EMPTY;
  } else {
    const BYTE jobColor = At<BYTE>(&ji, 12);
    if (jobColor == 2) mode = 1;
    else if (jobColor == 1) mode = 2;
    else if (jobColor != 0) mode = 0;
    else if (pageColor == 1) mode = 2;
    else mode = At<int32_t>(pc, 8) == 2 ? 1 : 2;
  }
  IJ_lSetColorMode(b, mode);
  IJ_lSetColors(b, (At<BYTE>(&ji, 20) != 0 && mode == 1) ? At<BYTE>(pc, 128) : 0);
  IJ_lSetInTray(b, InTray(At<WORD>(pc, 130)));
  LONG duplex;
  if (At<BYTE>(&ji, 60) != 0) {
    duplex = 2;
  } else if (At<BYTE>(&ji, 112) != 0) {
    const BYTE side = At<BYTE>(pc, 140);
    duplex = side == 2 ? 1 : side == 3 ? 2 : 0;
  } else {
    const BYTE binding = At<BYTE>(lay, 72);
    duplex = binding == 1 ? 2 : binding == 2 ? 1 : 0;
  }
  IJ_lSetDuplex(b, duplex);
  return 0;
}

void ejclcmnt_setJobInfo(UmpdJobContext* ctx) {
  if (ctx == nullptr || ctx->jobInfoBuilder == nullptr) return;
  JobInfoBuilder* b = ctx->jobInfoBuilder;
  const void* ji = &ctx->jobInfo;
  const void* lay = &ctx->layoutInfo;
  const void* pc = &ctx->pageCtrl;
  // The renderer keeps the PCL XL version as it checks it, major in the top
  // byte (0x02010000 is 2.1): the text is major.minor.revision from the top
  // three bytes. Read from the low three, as the word once was laid out, a
  // 2.1 stream would say "1.0.0".
  const DWORD v = At<DWORD>(ji, 0);
  char version[IJ_PDL_VERSION_CHARS + 1];
  std::snprintf(version, sizeof(version), "%d.%d.%d", static_cast<int>((v >> 24) & 0xFF),
                static_cast<int>((v >> 16) & 0xFF), static_cast<int>((v >> 8) & 0xFF));
  IJ_lSetPdlType(b, IJ_PDL_PCLXL, version);
  // No in-band command brings a fax block to this side: only the job type
  // word tells a fax job.
  const BYTE type224 = At<BYTE>(ji, 224);
  IJ_lSetJobType(b, At<BYTE>(ji, 128) != 0 ? IJ_JOB_FORMREGISTRATION : type224 == 4 ? 1 : IJ_JOB_PRINT);
  IJ_lSetStoredType(b, type224 == 1 ? 1 : type224 == 2 ? 2 : type224 == 3 ? 5 : 0);
  LONG jobCopies = 1;
  LONG pageCopies = 1;
  if (At<BYTE>(ji, 180) == 0) {
    const WORD copies = At<WORD>(ji, 172);
    if (At<BYTE>(ji, 216) != 0 || type224 == 2) jobCopies = copies;
    else pageCopies = copies;
  }
  IJ_lSetJobCopies(b, jobCopies);
  IJ_lSetPageCopies(b, pageCopies);
  const BYTE binding = At<BYTE>(lay, 72);
  IJ_lSetDuplexType(b, (At<BYTE>(ji, 60) != 0 || binding == 1) ? 2 : binding == 2 ? 1 : 0);
  IJ_lSetNUp(b, At<BYTE>(lay, 104));
  IJ_lSetPoster(b, At<BYTE>(ji, 48) != 0 ? static_cast<LONG>(At<WORD>(ji, 52)) * At<WORD>(ji, 54) : 1);
  if (At<BYTE>(ji, 60) == 0) {
    IJ_lSetBooklet(b, 0, 1);
  } else {
    const BYTE kind = At<BYTE>(ji, 64);
    const LONG threshold = At<WORD>(ji, 68);
    if (kind == 0) IJ_lSetBooklet(b, 1, 1);
    else if (kind == 1) IJ_lSetBooklet(b, 2, threshold);
    else if (kind == 2) IJ_lSetBooklet(b, 3, threshold);
    else IJ_lSetBooklet(b, 0, 1);
  }
  IJ_lSetPageOrder(b, At<BYTE>(ji, 184) != 0 ? 1 : 0);
  const BYTE slip = At<BYTE>(ji, 228);
  IJ_lSetSlipSheet(b, slip == 1 ? 1 : slip == 2 ? 2 : 0);
  IJ_lSetTonerSave(b, At<BYTE>(ji, 220) != 0 ? 1 : 0);
  IJ_lSetLogicalPages(b, At<BYTE>(pc, 92));
  IJ_lSetChargedPapers(b, At<BYTE>(pc, 88));
}

DWORD ejclcmnt_bufferSizeComment(void) { return EJCLCMNT_BUFFER_SIZE; }

LONG ejclcmnt_getEJCLComment(UmpdJobContext* ctx, char* buffer, DWORD* more) {
  if (ctx == nullptr || ctx->jobInfoBuilder == nullptr || buffer == nullptr || more == nullptr) return -1;
  DWORD flags = 0;
  *more = 0;
  const LONG n = IJ_lGetComment(ctx->jobInfoBuilder, buffer, EJCLCMNT_BUFFER_SIZE, more, &flags);
  return n < 0 ? -1 : n;
}
