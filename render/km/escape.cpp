// DrvEscape: the renderer's side door. Applications use QUERYESCSUPPORT,
// SETCOPYCOUNT, GETTECHNOLOGY and the private gate (4209-4212, 4216); the
// driver's document-event handler hands the job's settings over with the
// private codes 0x5001-0x5031 and 0x5100 (before and after StartDoc) and asks
// for page information while it draws stamps and headers.
//
// Dispatch: no surface -1; QUERYESCSUPPORT needs its 16-bit code (else -1)
// and does not check the PDEV; any other code needs a valid PDEV (else error
// 87 and 0); an unknown code gives 0. The table below holds every handler
// with the answer QUERYESCSUPPORT gives for it and its mute behaviour: while
// the escape status word has KM_ESCSTATUS_MUTED, the Set escapes that honour
// it answer at once (1, or -1 for the security-marking blocks) and store
// nothing.
//
// Any application reaches these escapes, so every handler reads its input
// only within the size given, writes its output only within the size given,
// and answers -1 for a block whose own counts point past its end.
//
// Decisions:
//  - Sizes. Where a size is given exactly, only that size is taken. An
//    output given as a bare size (0x500A: 4) or "at least" takes a buffer of
//    at least that size and writes that many bytes. An input where no size
//    is given (0x5021's status, 0x5100's byte) or an optional input (0x5001,
//    0x5003, 0x5008) counts only when it holds the whole value read: a
//    shorter input counts as missing (-1 where the input is needed, the
//    escape's default where it is optional). An optional output likewise
//    counts only when it holds the answer.
//  - 0x5001: a request other than 0 (end of page) or 1 (end of document)
//    answers -1. On -1 the output is not written.
//  - QUERYESCSUPPORT of SETCOPYCOUNT reads DDM 1333 only from a valid PDEV;
//    without one it answers 999.
//  - QUERYESCSUPPORT with fewer than 2 bytes of input answers -1, as without
//    input.
//  - SETCOPYCOUNT: the copies are held to 1..32767 (the devmode's 16-bit
//    copies), and within the model's maximum when it has one; the output is
//    written when it holds 32 bits.
//  - 0x5003/0x5008: the mode is answered as it was before the call; the
//    in-band beginstamp/endstamp is sent only when job control took the mode
//    change (a refused change sends nothing and answers -1).
//  - 0x5004: job control's page start runs only when no logical page is open
//    (an open page is the page the offset is for). Job control's in-band
//    coordinate switch is the page store: while pages are being stored
//    (page-store state not idle) the matrix goes in band (137, with bit
//    0x40 of the page-store word set around it), where the spooler side
//    replays stored pages; otherwise into the PCL XL stream
//    (pdl_setcoordinate). The stamp-paper matrix itself is
//    pagemat_setPageMatrix_phsycalStamppPaper (pagemat.cpp).
//    Offsets come from any application: the matrix is computed wide, and a
//    matrix the writer cannot carry (an offset beyond its range) fails the
//    escape with -1.
//  - 0x5006: the whole 768-byte answer is written (zero where nothing is
//    stored), never the caller's old bytes. The six presence words govern
//    the six items in offset order: the 128-byte block, the name, the
//    document name, the page number, the 22-byte and the 12-byte block; the
//    page number is always written (+1 with a record, as kept without one).
//    An item whose block was never stored is answered empty.
//  - 0x5007: the 64-byte name from the printer data (the decision table) is
//    taken only in place of an input name that is present (first word not
//    0), and only when that string is there and not empty; it is cut to 31
//    characters and a NUL.
//  - 0x5010: the layout information's application margins lie at 152, 154,
//    156 and 158 and the paper id at 160.
//  - 0x5021: status 0 (start of the StartDocPost block) mutes when the job
//    was not started or its document information was already sent.
//  - 0x5023: an odd last byte is not a character; an input of one byte
//    gives the empty name.
//  - 0x5024: the block is handed on only when it is tagged "DFAX001" and
//    holds its header and every entry its count names (1442 + 742 x count
//    bytes); job control gets exactly that many bytes. Anything else -1.
//  - 0x5025: the table's size, (entry size + 4) x count + 16, is computed in
//    64 bits; a negative count or size, or a size beyond the input, answers
//    -1 and sends nothing. In-band re-sends (150, 156, the security-marking
//    hooks) happen only once the job has started (job-control flag 0x1):
//    before, the Set escapes only store, and 0x5025, which stores nothing,
//    answers 1 (the StartDocPost round sends the table).
//  - 0x502D, 0x502F, 0x5031: an empty input is refused like a missing one
//    (-1, the previous block kept).
//  - 0x5028/0x5029: the status block is the private gate's state {gate,
//    colour-mode switch, colour mode} (pesc_getStatusBlock and
//    pesc_setStatusBlock, pesc.cpp); the last two bytes are kept as given.
//  - Before any escape that may write to the stream, a direct image of the
//    private gate still receiving pieces is ended (pesc_beforeEscape).
//  - 0x5100: a byte other than 1 or 2 is not taken and changes nothing
//    (1). When the output form is re-set to the default paper it stays
//    marked substituted.
#include "escape.h"

#include <cstring>

#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/render/km_forms.h"
#include "kestrel/render/km_services.h"
#include "kestrel/render/xl_inband.h"
#include "kestrel/render/xl_outbuf.h"
#include "km_entry.h"
#include "kplatform/byte_order.h"
#include "kplatform/wingdi_consts.h"
#include "pagemat.h"
#include "pesc.h"

namespace {

constexpr LONG kDone = 1;
constexpr LONG kFail = -1;

// The devmode's copies are 16-bit.
constexpr LONG kMaxDevmodeCopies = 32767;
// Printer-information items of the description data.
constexpr WORD kPiMaxCopies = 4;  // 2 bytes; 0: no maximum
// Capability bits (printer-information item 26).
constexpr DWORD kCapLetterFlag = 0x400000;      // the letter flag is the model's switch
constexpr DWORD kCapPopupUserName = 0x2000000;  // the header name may be the popup's user name
// The user-name kind that names a user-name string of the printer data.
constexpr LONG kUserNameTypeString = 7;
// Bit of the page-store word set while escape 0x5004 sends its matrix in band.
constexpr DWORD kPageStoreStampMatrix = 0x40;
constexpr LONG kMicronsPerTenthMm = 100;
constexpr double kPSRealPerInch = 18432.0;

const BYTE* In(const void* pv) { return static_cast<const BYTE*>(pv); }
BYTE* Out(void* pv) { return static_cast<BYTE*>(pv); }

LONG Num(PDEV* pdev, WORD id, LONG fallback = 0) {
  LONG v = 0;
  return ddm_GetNumber(id, pdev->devmode, pdev->printerData, &v) ? v : fallback;
}

bool JobStarted(PDEV* pdev) { return jobCtrl_isJobStarted(pdev) != FALSE; }

bool HasCapability(PDEV* pdev, DWORD bit) { return zanLib_CheckCapability_Indirect(pdev->ddd, bit) != FALSE; }

// The model's most copies (0: no maximum).
LONG MaxCopies(PDEV* pdev) {
  BYTE bytes[2] = {};
  if (!pdev->dddMain || ddd_GetPrinterInfo_orderedItem(pdev->dddMain, kPiMaxCopies, 2, 0, bytes) != DDD_OK) return 0;
  return kp_LoadU16(bytes);
}

// A length in 1/18432 inch as device pixels at the job's resolution.
float Pixels(LONG psReal, LONG dpi) { return static_cast<float>(static_cast<double>(psReal) * dpi / kPSRealPerInch); }
LONG TenthMmToPSReal(LONG tenths) { return MicronToPSReal(tenths * kMicronsPerTenthMm); }

// Frees a kept block and clears it.
void DropBlock(PDEV_BLOCK* block) {
  kcore_Free(block->data);
  *block = PDEV_BLOCK{};
}

// Replaces a kept block with a copy of the input; -1 (the previous block
// kept) for a missing or empty input, -1 (nothing kept) when memory fails.
LONG KeepBlock(PDEV_BLOCK* block, ULONG cjIn, const void* pvIn) {
  if (!pvIn || cjIn == 0) return kFail;
  DropBlock(block);
  auto* copy = static_cast<BYTE*>(kcore_Alloc(cjIn));
  if (!copy) return kFail;
  std::memcpy(copy, pvIn, cjIn);
  block->data = copy;
  block->size = cjIn;
  return kDone;
}

// ---- 0x5003 / 0x5008
// --------------------------------------------------------------

// Answers *mode (when the output holds it), then takes the input as the new
// mode and switches job control's stamp drawing: input 1 on (headerMode:
// the physical stamp mode instead), anything else off; beginstamp or
// endstamp in band after a change job control took.
LONG GetSetMode(PDEV* pdev, DWORD* mode, bool headerMode, ULONG cjIn, const void* pvIn, ULONG cjOut, void* pvOut) {
  if (pvOut && cjOut >= sizeof(DWORD)) kp_StoreU32(pvOut, *mode);
  if (!pvIn || cjIn < sizeof(DWORD)) return kDone;
  const DWORD value = kp_LoadU32(pvIn);
  *mode = value;
  const bool on = value == 1;
  const LONG changed = on ? jobCtrl_setStampDrawMode(pdev, headerMode ? FALSE : TRUE, headerMode ? TRUE : FALSE)
                          : jobCtrl_setStampDrawMode(pdev, FALSE, FALSE);
  if (changed != 0) return kFail;
  const LONG sent = on ? pdl_beginstamp(pdev) : pdl_endstamp(pdev);
  return sent == 0 ? kDone : kFail;
}

// ---- 0x5007: the header/footer name from the printer data
// --------------------------

// The printer-data string that replaces the header/footer name, or 0 to keep
// the input's (the model's capability and the user-name settings decide).
WORD HeaderNameId(PDEV* pdev) {
  const LONG account = Num(pdev, DDM_ACCOUNTMODE);
  if (!HasCapability(pdev, kCapPopupUserName)) {
    if (account == 0 && Num(pdev, DDM_USERNAMETYPE) == kUserNameTypeString) return DDM_USERNAME;
    if (account == 1 && Num(pdev, DDM_USERNAMETYPE2) == kUserNameTypeString) return DDM_USERNAME2;
    return 0;
  }
  if (account != 0) {
    if (Num(pdev, DDM_USERNAMEPOPUP2) == 1) return DDM_POPUPUSERNAME;
    if (Num(pdev, DDM_USERNAMETYPE2) == kUserNameTypeString) return DDM_USERNAME2;
    return 0;
  }
  if (Num(pdev, DDM_USERNAMEPOPUP) == 1) return DDM_POPUPUSERNAME;
  if (Num(pdev, DDM_USERNAMETYPE) == kUserNameTypeString) return DDM_USERNAME;
  return 0;
}

// The 64-byte name block: the input's, or the printer data's string.
void StoreHeaderName(PDEV* pdev, const BYTE* input, BYTE* block) {
  constexpr DWORD kBytes = PDEV_HF_BLOCK_SIZES[1];
  std::memcpy(block, input, kBytes);
  const WORD id = HeaderNameId(pdev);
  if (id == 0) return;
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR value = 0;
  if (ddm_GetValue(id, pdev->devmode, pdev->printerData, &type, &size, &value) != 0 || type != DDM_TYPE_STRING ||
      value == 0)
    return;
  // The printer data's user names are 33-character members: the first 31
  // characters fit with the NUL.
  const auto* text = reinterpret_cast<const WCHAR*>(value);
  constexpr DWORD maxChars = kBytes / sizeof(WCHAR) - 1;
  WCHAR name[kBytes / sizeof(WCHAR)] = {};
  if (kp_WideCopy(name, text, maxChars) == 0) return;  // an empty string leaves the input's name
  std::memcpy(block, name, kBytes);
}

// ---- 0x5100
// -------------------------------------------------------------------------

// The description data's default paper as the output form.
bool ResetOutputFormToDefault(PDEV* pdev) {
  DDD_PAPER* paper = nullptr;
  if (GetDefaultDddPaper(pdev, &paper) != DDD_OK || !paper) return false;
  PRINTERFORM& out = pdev->outForm;
  // A record the output form shares with the current form stays the
  // current form's.
  DDD_PAPER* shared = out.paperRecord == pdev->curForm.paperRecord ? out.paperRecord : nullptr;
  if (shared) out.paperRecord = nullptr;
  if (!SetPrinterForm(paper, &out, Num(pdev, DDM_EDGE_TO_EDGE) == 1 ? TRUE : FALSE)) {
    if (shared) out.paperRecord = shared;
    void* record = paper;
    ddd_Free(&record, DDD_CAT_PAPER);
    return false;
  }
  return true;
}

}  // namespace

WORD escape_PageNumber(const PDEV* pdev) { return static_cast<WORD>(pdev->pageNumber); }

// ---- Standard escapes
// ---------------------------------------------------------------

KM_ESCAPE_HANDLER(ctlfc_SetCopyCount) {
  if (!pvIn || cjIn < sizeof(LONG)) return kFail;
  if (Num(pdev, DDM_NO_APP_COPY_COUNT) != 0) return kFail;
  const LONG requested = kp_LoadI32(pvIn);
  const LONG maximum = MaxCopies(pdev);
  const LONG limit = maximum > 0 && maximum < kMaxDevmodeCopies ? maximum : kMaxDevmodeCopies;
  const LONG copies = requested < 1 ? 1 : (requested > limit ? limit : requested);
  if (!ddm_SetNumber(DDM_COPIES, pdev->devmode, pdev->printerData, copies)) return kFail;
  pdev->copies = static_cast<DWORD>(copies);
  if (pvOut && cjOut >= sizeof(LONG)) kp_StoreU32(pvOut, static_cast<DWORD>(copies));
  return kDone;
}

KM_ESCAPE_HANDLER(ctlfc_GetTechnology) {
  (void)pdev;
  (void)cjIn;
  if (!pvIn) return kFail;
  if (cjOut < sizeof KM_TECHNOLOGY) {
    EngSetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!pvOut) return kFail;
  std::memcpy(pvOut, KM_TECHNOLOGY, sizeof KM_TECHNOLOGY);
  return kDone;
}

// ---- Page information and matrices
// --------------------------------------------------

KM_ESCAPE_HANDLER(ctlfc_GetPageInfo) {
  DWORD request = KM_PAGEINFO_END_OF_PAGE;
  if (pvIn && cjIn >= sizeof(DWORD)) request = kp_LoadU32(pvIn);
  if (request != KM_PAGEINFO_END_OF_PAGE && request != KM_PAGEINFO_END_OF_DOCUMENT) return kFail;
  if (!pvOut || cjOut != sizeof(KM_PAGEINFO)) return kFail;
  if (request == KM_PAGEINFO_END_OF_DOCUMENT) pdev->documentEndPage = 1;

  KM_PAGEINFO info{};
  const DWORD flags = pdev->pageCtrl.flags;
  constexpr DWORD kOnPage = JOBCTRL_STARTED | JOBCTRL_DOCINFO_SENT | JOBCTRL_PHYSICAL_PAGE;
  if ((flags & kOnPage) != kOnPage) {
    std::memcpy(pvOut, &info, sizeof info);
    return kDone;
  }
  const JOBINFO& job = pdev->jobInfo;
  const DWORD n = job.nup;
  if (n == 0) return kFail;

  // 1. Whether this ends a sheet, with the logical page (c) and sheet (p)
  // numbers as they are after it.
  DWORD c = pdev->pageCtrl.logicalPages;
  DWORD p = pdev->pageCtrl.sheets;
  const bool counts = job.skipBlankPages == 0 || (flags & JOBCTRL_LOGICAL_PAGE);
  const bool endOfPage = request == KM_PAGEINFO_END_OF_PAGE;
  if (endOfPage) {
    ++c;
    const bool complete = c % n == 0 && counts;
    if (complete) ++p;
    info.sheetMarkDue = complete ? 1 : 0;  // 2.
    info.pageMarkDue = 1;
  } else {
    const bool complete = c % n == 0 && counts;
    if (!complete) ++p;
    info.sheetMarkDue = complete ? 0 : 1;
    info.pageMarkDue = 0;
  }
  // 3.
  if (job.stampOnAll == 0 || (job.stampValue1 != 0 && c != 1)) info.pageMarkDue = 0;
  // 4.
  info.headerFooter = info.sheetMarkDue;
  if (info.sheetMarkDue) {
    if (job.stampOnFirst == 0 || (job.stampValue1 != 0 && p != 1)) info.sheetMarkDue = 0;
    info.headerFooter = static_cast<uint32_t>(job.headerFooter);
  }

  // 5. The marking rectangle: the current form's imageable area, narrowed to
  // the application margins for a page-level marking.
  LONG left = pdev->curForm.imageableLeft, top = pdev->curForm.imageableTop;
  LONG right = pdev->curForm.imageableRight, bottom = pdev->curForm.imageableBottom;
  if (info.pageMarkDue) {
    const JOBREC_PAPER& paper = pdev->layoutInfo.inputPaper;
    const LONG l10 = paper.left, l12 = paper.top;
    const LONG l18 = paper.marginLeft, l20 = paper.marginRight, l22 = paper.marginTop, l24 = paper.marginBottom;
    if (pdev->layoutInfo.landscapeOutput == 0) {
      left += TenthMmToPSReal(l18 - l10);
      top += TenthMmToPSReal(l22 - l12);
      right -= TenthMmToPSReal(l20 - l10);
      bottom -= TenthMmToPSReal(l24 - l12);
    } else {
      left += TenthMmToPSReal(l24 - l12);
      top += TenthMmToPSReal(l18 - l10);
      right -= TenthMmToPSReal(l22 - l12);
      bottom -= TenthMmToPSReal(l20 - l10);
    }
  }
  const LONG dpi = pdev_GetDpi(pdev);
  info.markLeft = Pixels(left, dpi);
  info.markTop = Pixels(top, dpi);
  info.markRight = Pixels(right, dpi);
  info.markBottom = Pixels(bottom, dpi);

  // 6. The output paper's printable area, turned with the output paper.
  const PRINTERFORM& out = pdev->outForm;
  info.printableLeft = Pixels(out.imageableLeft, dpi);
  info.printableTop = Pixels(out.imageableTop, dpi);
  info.printableRight = Pixels(out.imageableRight, dpi);
  info.printableBottom = Pixels(out.imageableBottom, dpi);
  if (pagemat_getOutputPaperOrient(pdev) == 1) {
    const float l = info.printableLeft, r = info.printableRight;
    info.printableLeft = info.printableTop;
    info.printableTop = l;
    info.printableRight = info.printableBottom;
    info.printableBottom = r;
  }
  std::memcpy(pvOut, &info, sizeof info);
  return kDone;
}

KM_ESCAPE_HANDLER(ctlfc_SetPaperOffset) {
  (void)cjOut;
  (void)pvOut;
  if (cjIn != KM_ESC_PAPER_OFFSET_SIZE) return kDone;
  if (!pvIn) return kFail;
  const LONG x = kp_LoadI32(In(pvIn));
  const LONG y = kp_LoadI32(In(pvIn) + 4);
  if (!kmOutputFailed(pdev) && !(pdev->pageCtrl.flags & JOBCTRL_LOGICAL_PAGE) && jobCtrl_StartPage(pdev) != 0)
    return kFail;
  float matrix[6] = {};
  if (pagemat_setPageMatrix_phsycalStamppPaper(pdev, matrix, x, y, pagemat_getOutputPaperOrient(pdev)) != 0)
    return kFail;
  if (pdev->pageCtrl.pageStore != PDL_STORE_IDLE) {
    pdev->pageCtrl.pageStore |= kPageStoreStampMatrix;
    const LONG sent = pdl_ctrl_setcoordinate(pdev, matrix);
    pdev->pageCtrl.pageStore &= ~kPageStoreStampMatrix;
    if (sent != 0) return kFail;
  } else {
    FLOATOBJ engineMatrix[6];
    conv_nrvxform_foxform(matrix, engineMatrix);
    if (!pdl_setcoordinate(pdev, engineMatrix)) return kFail;
  }
  return pdl_initclip(pdev) == 0 ? kDone : kFail;
}

// ---- Devmode and printer data
// ---------------------------------------------------------

KM_ESCAPE_HANDLER(ctlfc_GetDevMode) {
  (void)cjIn;
  (void)pvIn;
  if (!pvOut || cjOut != KM_ESC_DEVMODE_SIZE) return kFail;
  std::memcpy(pvOut, pdev->devmode, KM_ESC_DEVMODE_SIZE);
  return kDone;
}

KM_ESCAPE_HANDLER(ctlfc_SetDevMode) {
  (void)cjOut;
  (void)pvOut;
  if (!pvIn || cjIn != KM_ESC_DEVMODE_SIZE) return kFail;
  std::memcpy(pdev->devmode, pvIn, KM_ESC_DEVMODE_SIZE);
  if (JobStarted(pdev) && !pdl_setdevmode(pdev)) return kFail;
  return kDone;
}

KM_ESCAPE_HANDLER(ctlfc_SetPrinterData) {
  (void)cjOut;
  (void)pvOut;
  if (!pvIn || cjIn != KM_ESC_PRINTERDATA_SIZE || !pdev->printerData) return kFail;
  std::memcpy(pdev->printerData, pvIn, KM_ESC_PRINTERDATA_SIZE);
  if (JobStarted(pdev) && !pdl_setdevmode(pdev)) return kFail;
  return kDone;
}

// ---- Stamps and headers/footers
// -------------------------------------------------------

KM_ESCAPE_HANDLER(ctlfc_GetSetStampMode) { return GetSetMode(pdev, &pdev->stampMode, false, cjIn, pvIn, cjOut, pvOut); }

KM_ESCAPE_HANDLER(ctlfc_GetSetHeaderMode) {
  return GetSetMode(pdev, &pdev->headerMode, true, cjIn, pvIn, cjOut, pvOut);
}

namespace {

// Where each stored block of the header/footer record lies in the 768-byte
// record, and the presence word (0-5) that governs it on Get.
constexpr DWORD kHfOffsets[PDEV_HF_BLOCKS] = {KM_HF_TEXT, KM_HF_NAME, KM_HF_DOCNAME, KM_HF_BLOCK4, KM_HF_BLOCK5};
constexpr DWORD kHfPresence[PDEV_HF_BLOCKS] = {0, 1, 2, 4, 5};
constexpr DWORD kHfNameBlock = 1;
constexpr DWORD kHfDocNameBlock = 2;
static_assert(KM_HF_NAME + PDEV_HF_BLOCK_SIZES[1] <= KM_HF_DOCNAME);
static_assert(KM_HF_DOCNAME + PDEV_HF_BLOCK_SIZES[2] == KM_HF_PAGENUMBER);
static_assert(KM_HF_BLOCK4 + PDEV_HF_BLOCK_SIZES[3] == KM_HF_BLOCK5);
static_assert(sizeof(PDEV::docName) == PDEV_HF_BLOCK_SIZES[kHfDocNameBlock]);
static_assert(sizeof(JOBINFO::headerFooterItems) == KM_HF_ITEMS * sizeof(WORD));

}  // namespace

KM_ESCAPE_HANDLER(ctlfc_GetHeaderFooter) {
  (void)cjIn;
  (void)pvIn;
  if (!pvOut || cjOut != KM_HF_SIZE) return kFail;
  BYTE* out = Out(pvOut);
  std::memset(out, 0, KM_HF_SIZE);
  const WORD page = escape_PageNumber(pdev);
  const PDEV_HEADERFOOTER* hf = pdev->headerFooter;
  if (!hf) {
    kp_StoreU16(out + KM_HF_PAGENUMBER, page);
    return kFail;
  }
  kp_StoreU32(out + KM_HF_VALUE, static_cast<DWORD>(pdev->jobInfo.headerFooter));
  WORD presence[KM_HF_ITEMS];
  std::memcpy(presence, pdev->jobInfo.headerFooterItems, sizeof presence);
  std::memcpy(out + KM_HF_PRESENCE, presence, sizeof presence);
  for (DWORD i = 0; i < PDEV_HF_BLOCKS; ++i) {
    if (presence[kHfPresence[i]] == KM_HF_ABSENT) continue;
    if (i == kHfDocNameBlock) {
      std::memcpy(out + kHfOffsets[i], pdev->docName, sizeof pdev->docName);
    } else if (hf->blocks[i]) {
      std::memcpy(out + kHfOffsets[i], hf->blocks[i], PDEV_HF_BLOCK_SIZES[i]);
    }
  }
  kp_StoreU16(out + KM_HF_PAGENUMBER, static_cast<WORD>(page + 1));
  return kDone;
}

KM_ESCAPE_HANDLER(ctlfc_SetHeaderFooter) {
  (void)cjOut;
  (void)pvOut;
  if (!pvIn || cjIn != KM_HF_SIZE) return kFail;
  if (!pdev->headerFooter) {
    pdev->headerFooter = static_cast<PDEV_HEADERFOOTER*>(kcore_Alloc(sizeof(PDEV_HEADERFOOTER)));
    if (!pdev->headerFooter) return kFail;
  }
  PDEV_HEADERFOOTER* hf = pdev->headerFooter;
  const BYTE* in = In(pvIn);
  LONG result = kDone;
  for (DWORD i = 0; i < PDEV_HF_BLOCKS; ++i) {
    const BYTE* from = in + kHfOffsets[i];
    if (kp_LoadU16(from) == 0) continue;
    if (!hf->blocks[i]) hf->blocks[i] = static_cast<BYTE*>(kcore_Alloc(PDEV_HF_BLOCK_SIZES[i]));
    if (!hf->blocks[i]) {
      result = kFail;
      continue;
    }
    if (i == kHfNameBlock) {
      StoreHeaderName(pdev, from, hf->blocks[i]);
    } else {
      std::memcpy(hf->blocks[i], from, PDEV_HF_BLOCK_SIZES[i]);
    }
  }
  hf->word = 0;
  return result;
}

// ---- Answers about the device and the job
// ---------------------------------------------

KM_ESCAPE_HANDLER(ctlfc_GetIsFax) {
  (void)cjIn;
  (void)pvIn;
  if (!pvOut || cjOut < sizeof(DWORD)) {
    EngSetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  kp_StoreU32(pvOut, pdev->faxFlag);
  return kDone;
}

KM_ESCAPE_HANDLER(ctlfc_GetPageNumber) {
  (void)cjIn;
  (void)pvIn;
  if (!pvOut || cjOut < sizeof(DWORD)) return kFail;
  kp_StoreU32(pvOut, escape_PageNumber(pdev));
  return kDone;
}

KM_ESCAPE_HANDLER(ctlfc_Query_EMFSpool) {
  (void)cjIn;
  (void)pvIn;
  if (!pvOut || cjOut != sizeof(DWORD)) return kFail;
  const bool flag = pdev->startDocFlag != 0;
  const bool enabled = JobStarted(pdev);
  kp_StoreU32(pvOut, flag != enabled ? 1u : 0u);
  return flag || enabled ? kDone : kFail;
}

// ---- Job settings kept in the PDEV
// -----------------------------------------------------

KM_ESCAPE_HANDLER(ctlfc_SetAppMargin) {
  (void)cjOut;
  (void)pvOut;
  if (!pvIn || cjIn != KM_ESC_APP_MARGIN_SIZE) return kFail;
  const BYTE* in = In(pvIn);
  const BYTE* trailer = pdev->appMargins.bytes;
  WORD* margins = pdev->layoutInfo.appMargins;  // four margins, then the paper id
  const WORD paperId = kp_LoadU16(in);
  if (paperId == kp_LoadU16(trailer + 2)) {
    for (DWORD i = 0; i < 4; ++i) margins[i] = kp_LoadU16(trailer + 4 + 2 * i);
    margins[4] = kp_LoadU16(trailer + 2);
  } else {
    for (DWORD i = 0; i < 4; ++i) margins[i] = kp_LoadU16(in + 2 + 2 * i);
    margins[4] = paperId;
  }
  return kDone;
}

KM_ESCAPE_HANDLER(ctlfc_SetStartDocFlag) {
  (void)cjIn;
  (void)pvIn;
  (void)cjOut;
  (void)pvOut;
  pdev->startDocFlag = 1;
  return kDone;
}

KM_ESCAPE_HANDLER(ctlfc_SetStatus) {
  (void)cjOut;
  (void)pvOut;
  if (!pvIn || cjIn < sizeof(WORD)) return kFail;
  const WORD status = kp_LoadU16(pvIn);
  const DWORD flags = pdev->pageCtrl.flags;
  if (status == KM_SETSTATUS_BLOCK_START) {
    if (!(flags & JOBCTRL_STARTED) || (flags & JOBCTRL_DOCINFO_SENT)) pdev->escapeStatus |= KM_ESCSTATUS_MUTED;
  } else if (status == KM_SETSTATUS_BLOCK_END) {
    pdev->escapeStatus &= ~KM_ESCSTATUS_MUTED;
    pdev->escapeStatus |= KM_ESCSTATUS_POSTBLOCK_ENDED;
  }
  return kDone;
}

KM_ESCAPE_HANDLER(ctlfc_SetDocName) {
  (void)cjOut;
  (void)pvOut;
  if (!pvIn || cjIn == 0) return kFail;
  const DWORD available = cjIn / sizeof(WCHAR);
  const DWORD limit = available < KM_ESC_DOCNAME_CHARS ? available : KM_ESC_DOCNAME_CHARS;
  const BYTE* in = In(pvIn);
  DWORD n = 0;
  for (; n < limit; ++n) {
    const WCHAR ch = kp_LoadU16(in + n * sizeof(WCHAR));
    if (ch == 0) break;
    pdev->docName[n] = ch;
  }
  pdev->docName[n] = 0;
  return kDone;
}

KM_ESCAPE_HANDLER(ctlfc_SetFaxAddressInfo) {
  (void)cjOut;
  (void)pvOut;
  if (!pvIn) return 0;
  const BYTE* in = In(pvIn);
  if (cjIn < KM_FAX_HEADER_SIZE || std::memcmp(in, KM_FAX_TAG, KM_FAX_TAG_BYTES) != 0) return kFail;
  const DWORD count = kp_LoadU16(in + KM_FAX_COUNT_OFFSET);
  const DWORD size = KM_FAX_HEADER_SIZE + KM_FAX_ENTRY_SIZE * count;  // at most 48626412: no wrap
  if (cjIn < size) return kFail;
  return jobCtrl_setFaxInfo(pdev, size, pvIn) == -1 ? kFail : kDone;
}

KM_ESCAPE_HANDLER(ctlfc_SetJCLHeader) {
  (void)cjOut;
  (void)pvOut;
  if (!pvIn || cjIn < KM_JCL_HEAD_SIZE) return kFail;
  const int64_t count = kp_LoadI32(In(pvIn));
  const int64_t entrySize = kp_LoadI32(In(pvIn) + 4);
  if (count < 0 || entrySize < 0) return kFail;
  const int64_t total = (entrySize + 4) * count + KM_JCL_HEAD_SIZE;  // below 2^63: no wrap
  if (total > static_cast<int64_t>(cjIn)) return kFail;
  if (!JobStarted(pdev)) return kDone;
  return pdl_setJCLHeaders(pdev, static_cast<DWORD>(total), pvIn) ? kDone : kFail;
}

KM_ESCAPE_HANDLER(ctlfc_GetPEscapeStatus) {
  (void)cjIn;
  (void)pvIn;
  if (!pvOut || cjOut != KM_ESC_PESCAPE_STATUS_SIZE) return kFail;
  pesc_getStatusBlock(pdev, Out(pvOut));
  return kDone;
}

KM_ESCAPE_HANDLER(ctlfc_SetPEscapeStatus) {
  (void)cjOut;
  (void)pvOut;
  if (!pvIn || cjIn != KM_ESC_PESCAPE_STATUS_SIZE) return kFail;
  pesc_setStatusBlock(pdev, In(pvIn));
  return kDone;
}

KM_ESCAPE_HANDLER(ctlfc_DisableFormFile) {
  (void)cjOut;
  (void)pvOut;
  if (!pvIn || cjIn != sizeof(DWORD)) return kFail;
  pdev->formFileSwitch = kp_LoadU32(pvIn);
  return kDone;
}

// ---- Colour server and security marking
// ------------------------------------------------

KM_ESCAPE_HANDLER(ctlfc_SetCSDX) {
  (void)cjOut;
  (void)pvOut;
  if (!pvIn || cjIn != KM_ESC_CSDX_SIZE) return kFail;
  if (!pdev->colorServerBlock) {
    pdev->colorServerBlock = static_cast<BYTE*>(kcore_Alloc(KM_ESC_CSDX_SIZE));
    if (!pdev->colorServerBlock) return kFail;
  }
  std::memcpy(pdev->colorServerBlock, pvIn, KM_ESC_CSDX_SIZE);
  if (JobStarted(pdev) && pdl_ctrl_Set_ExtGSData(pdev) != 0) return kFail;
  return kDone;
}

KM_ESCAPE_HANDLER(ctlfc_SetGSBDATA) {
  (void)cjOut;
  (void)pvOut;
  if (KeepBlock(&pdev->securityMarking[PDEV_GSB_DATA], cjIn, pvIn) != kDone) return kFail;
  if (JobStarted(pdev) && pdl_ctrl_Set_ExtGSData(pdev) != 0) return kFail;
  return kDone;
}

KM_ESCAPE_HANDLER(ctlfc_SetExtGSBDATA) {
  (void)cjOut;
  (void)pvOut;
  if (KeepBlock(&pdev->securityMarking[PDEV_GSB_EXTENDED], cjIn, pvIn) != kDone) return kFail;
  if (JobStarted(pdev) && pdl_ctrl_Set_ExtGSData(pdev) != 0) return kFail;
  return kDone;
}

KM_ESCAPE_HANDLER(ctlfc_GetGSBDATA) {
  if (!pvIn || cjIn != sizeof(WORD) || !pvOut) return kFail;
  const PDEV_BLOCK& block = pdev->securityMarking[PDEV_GSB_EXTENDED];
  switch (kp_LoadU16(pvIn)) {
    case KM_GSBDATA_SIZE:
      if (cjOut != sizeof(DWORD)) return kFail;
      kp_StoreU32(pvOut, block.size);
      return kDone;
    case KM_GSBDATA_DATA:
      if (!block.data || cjOut != block.size) return kFail;
      std::memcpy(pvOut, block.data, block.size);
      return kDone;
    default:
      return kFail;
  }
}

KM_ESCAPE_HANDLER(ctlfc_SetGSBJCID) {
  (void)cjOut;
  (void)pvOut;
  PDEV_BLOCK& block = pdev->securityMarking[PDEV_GSB_JOBID];
  if (KeepBlock(&block, cjIn, pvIn) != kDone) return kFail;
  if (JobStarted(pdev) && pdl_ctrl_CreateAddressInfo(pdev, block.size, block.data) != 0) return kFail;
  return kDone;
}

KM_ESCAPE_HANDLER(ctlfc_SetGSBSTATUS) {
  (void)cjOut;
  (void)pvOut;
  if (!pvIn || cjIn != KM_ESC_GSBSTATUS_SIZE) return kFail;
  pdev->securityStatus[0] = kp_LoadU32(In(pvIn));
  pdev->securityStatus[1] = kp_LoadU32(In(pvIn) + 4);
  return kDone;
}

// ---- Letter flag
// ------------------------------------------------------------------------

KM_ESCAPE_HANDLER(ctlfc_SetLetterFlag) {
  (void)cjOut;
  (void)pvOut;
  if (!pvIn || cjIn < 1) return kFail;
  const BOOL modelSwitch = HasCapability(pdev, kCapLetterFlag) ? TRUE : FALSE;
  const WORD old = driver_get_letter_flag(modelSwitch);
  const auto value = static_cast<signed char>(In(pvIn)[0]);
  if (value != 1 && value != 2) return kDone;  // only 1 or 2 are taken
  driver_put_letter_flag(static_cast<WORD>(value));
  if (pdev->outForm.substituted && static_cast<WORD>(value) != old && !ResetOutputFormToDefault(pdev)) return kFail;
  return kDone;
}

// ---- Dispatch
// ---------------------------------------------------------------------------

namespace {

using Handler = LONG (*)(PDEV*, ULONG, const void*, ULONG, void*);

// What a muted Set escape answers (kNotMuted: the handler ignores the bit).
constexpr LONG kNotMuted = 0;

struct EscapeRow {
  ULONG code;
  Handler handler;
  LONG muted;
};

constexpr EscapeRow kEscapes[] = {
    {SETCOPYCOUNT, ctlfc_SetCopyCount, kNotMuted},
    {GETTECHNOLOGY, ctlfc_GetTechnology, kNotMuted},
    {KM_ESC_GET_PAGE_INFO, ctlfc_GetPageInfo, kNotMuted},
    {KM_ESC_GET_DEVMODE, ctlfc_GetDevMode, kNotMuted},
    {KM_ESC_GETSET_STAMP_MODE, ctlfc_GetSetStampMode, kNotMuted},
    {KM_ESC_SET_PAPER_OFFSET, ctlfc_SetPaperOffset, kNotMuted},
    {KM_ESC_SET_DEVMODE, ctlfc_SetDevMode, kDone},
    {KM_ESC_GET_HEADER_FOOTER, ctlfc_GetHeaderFooter, kNotMuted},
    {KM_ESC_SET_HEADER_FOOTER, ctlfc_SetHeaderFooter, kDone},
    {KM_ESC_GETSET_HEADER_MODE, ctlfc_GetSetHeaderMode, kNotMuted},
    {KM_ESC_GET_IS_FAX, ctlfc_GetIsFax, kNotMuted},
    {KM_ESC_GET_PAGE_NUMBER, ctlfc_GetPageNumber, kNotMuted},
    {KM_ESC_SET_PRINTER_DATA, ctlfc_SetPrinterData, kDone},
    {KM_ESC_SET_APP_MARGIN, ctlfc_SetAppMargin, kNotMuted},
    {KM_ESC_SET_STARTDOC_FLAG, ctlfc_SetStartDocFlag, kNotMuted},
    {KM_ESC_SET_STATUS, ctlfc_SetStatus, kNotMuted},
    {KM_ESC_SET_DOC_NAME, ctlfc_SetDocName, kDone},
    {KM_ESC_SET_FAX_ADDRESS_INFO, ctlfc_SetFaxAddressInfo, kDone},
    {KM_ESC_SET_JCL_HEADER, ctlfc_SetJCLHeader, kDone},
    {KM_ESC_GET_PESCAPE_STATUS, ctlfc_GetPEscapeStatus, kNotMuted},
    {KM_ESC_SET_PESCAPE_STATUS, ctlfc_SetPEscapeStatus, kNotMuted},
    {KM_ESC_QUERY_EMFSPOOL, ctlfc_Query_EMFSpool, kNotMuted},
    {KM_ESC_DISABLE_FORM_FILE, ctlfc_DisableFormFile, kNotMuted},
    {KM_ESC_SET_CSDX, ctlfc_SetCSDX, kNotMuted},
    {KM_ESC_SET_GSBDATA, ctlfc_SetGSBDATA, kFail},
    {KM_ESC_GET_GSBDATA, ctlfc_GetGSBDATA, kNotMuted},
    {KM_ESC_SET_GSBJCID, ctlfc_SetGSBJCID, kFail},
    {KM_ESC_SET_GSBSTATUS, ctlfc_SetGSBSTATUS, kNotMuted},
    {KM_ESC_SET_EXT_GSBDATA, ctlfc_SetExtGSBDATA, kFail},
    {KM_ESC_SET_LETTER_FLAG, ctlfc_SetLetterFlag, kNotMuted},
};
static_assert(sizeof kEscapes / sizeof kEscapes[0] == 30, "every handler has its row");

const EscapeRow* FindEscape(ULONG code) {
  for (const EscapeRow& row : kEscapes)
    if (row.code == code) return &row;
  return nullptr;
}

bool IsPrivateGate(ULONG code) {
  return code == KM_ESC_PRIVATE_GATE || code == KM_ESC_DIRECT_IMAGE || code == KM_ESC_PAGE_COLOR_MODE ||
         code == KM_ESC_LAYOUT || code == KM_ESC_GSB_INTERACTION;
}

// QUERYESCSUPPORT's answer; pdev is null when the surface has no valid one.
LONG QueryEscape(PDEV* pdev, ULONG code) {
  if (IsPrivateGate(code)) return pesc_Escape(pdev, code, TRUE, 0, nullptr, 0, nullptr);
  if (code == SETCOPYCOUNT) return pdev && Num(pdev, DDM_NO_APP_COPY_COUNT) != 0 ? 0 : KM_QUERY_SETCOPYCOUNT;
  if (code == GETTECHNOLOGY) return KM_QUERY_GETTECHNOLOGY;
  return FindEscape(code) ? kDone : 0;
}

}  // namespace

ULONG DDI_DrvEscape(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
  if (!pso) return KM_ESCAPE_ERROR;
  if (iEsc == QUERYESCSUPPORT) {
    if (!pvIn || cjIn < sizeof(WORD)) return KM_ESCAPE_ERROR;
    auto* pdev = reinterpret_cast<PDEV*>(pso->dhpdev);
    return static_cast<ULONG>(QueryEscape(bValidatePDEV(pdev) ? pdev : nullptr, kp_LoadU16(pvIn)));
  }
  PDEV* pdev = pdev_FromSurface(pso);
  if (!pdev) return 0;
  if (IsPrivateGate(iEsc)) return static_cast<ULONG>(pesc_Escape(pdev, iEsc, FALSE, cjIn, pvIn, cjOut, pvOut));
  const EscapeRow* row = FindEscape(iEsc);
  if (!row) return 0;
  // A direct image of the gate still receiving pieces is ended before an
  // escape that may write to the stream.
  pesc_beforeEscape(pdev, iEsc);
  if (row->muted != kNotMuted && (pdev->escapeStatus & KM_ESCSTATUS_MUTED)) return static_cast<ULONG>(row->muted);
  return static_cast<ULONG>(row->handler(pdev, cjIn, pvIn, cjOut, pvOut));
}
