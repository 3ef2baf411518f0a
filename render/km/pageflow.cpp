// The page steps (declarations in pageflow.h): the paper and tray records
// at the first page, the job header and footer, and the start and end of
// logical and physical pages, with the page stores of automatic colour,
// poster, booklet (bookletflow.cpp) and store-all-pages (storeall.cpp), the
// N-up frames and crop marks, the white page, the image-rotation judgement
// and the fax flow (cover sheets, sends repeated between 143 and 144).
//
// Decisions:
//  - The blank page. A page on which nothing was drawn is printed as a blank
//    page when DrvSendPage ends it (the end of a logical page opens the page
//    then), unless skip-blank-pages (job information offset 40) is set: then
//    nothing of it is sent. So a document of pages that draw nothing makes
//    BeginPage framing (command 138) for each page, and only
//    skip-blank-pages leaves them out.
//  - The paper records start from the forms as the PDEV holds them (a
//    landscape form is already turned: width and length exchanged). The
//    output record stays so: it is the sheet as fed. The input record of a
//    landscape page is exchanged back, whole: paper size, imageable size,
//    offsets and the four margins, so that the page group of the layout
//    (which exchanges x and y for landscape output itself) is the page the
//    application drew; left as it was, a landscape page was fitted turned
//    into its turned cell (1-up at 70 %). The margins go where the page
//    lands: a landscape page's left edge lies on the sheet's bottom edge and
//    its top on the sheet's left, so its left, top, right and bottom
//    margins become the record's bottom, left, top and right ones (what the
//    layout's margin step and escape 0x5001 read back for landscape
//    output). Margins are left = the left offset, right = width -
//    imageable width - left, and likewise top and bottom. With DDM 387 the
//    application margins (layout 152-158, escape 0x5010) replace them only
//    when their paper id (160) is the record's paper code and they fit:
//    none negative, and left + right below the width, top + bottom below
//    the height.
//  - The input tray is the devmode's default source (DDM 13); its media
//    source is the description tray record's printer argument (0 when the
//    description has no record for it). The tray setting DDM 265 and its
//    switches (DDM 457, the tray capability) choose among the same trays
//    on models whose description sets that capability; neither model does,
//    so they are not read. N-up jobs keep the tray of the first page.
//  - The page store of automatic colour numbers physical pages from 1.
//  - The colour argument of command 138 for an automatic-colour value of 0
//    and a page colour mode of 3 is 3, like every other value outside 0-2.
//  - The job's PDL version (job information offset 0) is the printer data's
//    version (DDM 8205) as jobInfo_getPDLVersion_forApplink keeps it:
//    0x02000000 unless DDM 1332 is set and the value lies in 0x02000000 -
//    0x02010000. (DDM 8205 itself holds other numbering on both models.)
//    The private-escape state takes the same version.
//  - The device capabilities of the job records are the description's
//    capability word 0 (printer information item 26), its bits 0x400,
//    0x10000, 0x40000 and 0x4000000; the low capability bits of the job
//    records (leading white page, DDM 405, DDM 406, job type 3 without
//    margin) have no source in the description data, so they stay 0.
//  - The page number kept by job control counts every application page
//    ended, skipped blank pages included.
//  - Job information 76 (the booklet's shifted page counting) is set at the
//    first page when the leading-white-page mode is 1 and the first page's
//    paper cannot be printed on both sides from its tray
//    (queryDup_isEnableDuplex), before the job information goes out (153).
//  - Fax jobs (fax address information came with escape 0x5024): the cover
//    sheet is sent when DDM 381 is not 0; it is the description's paper of
//    id 9 (a model without it fails the job at its first page, ERROR_NOT_SUPPORTED),
//    portrait, its imageable area and default margins, at 600 dpi in the
//    layout information (154) that frames it, colour argument 1, the job's
//    input tray, with nothing drawn: 154, 155, 138, time stamp 2, the base
//    matrix (137), 139, 140, time stamp 3. The sheet kinds (DDM 376, 377) and
//    the send timer (DDM 1800) are the printer's, carried by the EJCL header;
//    the page stream does not read them.
//  - The sends: one per destination when DDM 379 is 0 (one EJCL header per
//    destination), else one. Destinations are DDM 380, at least 1 and at
//    most the fax list's own count. A job sent once puts its cover sheet
//    after the header and counts it as its first physical page. A job sent
//    more than once stores every page (store-all-pages, job information
//    176, set before 153) and at its end makes each send whole between 143
//    and 144: header, cover sheet, the stored pages (as store-all-pages puts
//    them out), footer. Every send carries the pages and its own footer: a
//    session without its pages would send a destination an empty fax, and
//    one without its footer leaves the PCL XL session open. 144's value is 1
//    on the last send, else 0.
#include "pageflow.h"

#include <cstring>
#include <utility>

#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/render/km_forms.h"
#include "kestrel/render/km_services.h"
#include "kestrel/render/xl_inband.h"
#include "kplatform/byte_order.h"
#include "impose.h"
#include "km_entry.h"
#include "pagemat.h"
#include "pesc.h"

namespace {

constexpr BYTE kPaperCodeCustom = 81;  // command 138's paper code for a custom size
constexpr WORD kNoPortraitArg = 0xFFFF;
constexpr WORD kAutoColorGrowth = 1;   // the page store of automatic colour grows one page at a time
constexpr LONG kAutoColorMask = 4;     // capture mask of an automatic-colour page
constexpr WORD kPosterGrowth = 1;      // the poster's store holds one page at a time
constexpr LONG kPosterMask = 38;       // capture mask of a poster page (with the base-matrix bit 0x20)
constexpr LONG kPosterPartMask = 9;    // replay mask of one poster part
constexpr WORD kNoOtherPage = 0xFFFF, kNoMediaOverride = 0xFFFF;
constexpr DWORD kFunctionUnchargedPage = 0x1020000;  // the printer takes "ZANCC=00" and an EndPage of ours
constexpr LONG kDuplexLong = 2, kDuplexShort = 3;    // DDM 16's duplex values
constexpr LONG kJobColorAuto = 0;      // job information offset 12: automatic colour
constexpr BYTE kColorArgMono = 1, kColorArgColor = 2, kColorArgOther = 3;
// The job records' capabilities that are the description's own bits.
constexpr DWORD kCapabilityBits =
    JOBREC_CAP_BOOKLET_UNIT | JOBREC_CAP_DRIVER_COLLATE | JOBREC_CAP_TRAILER_JOBINFO | JOBREC_CAP_BOOKLET_COUNT;
// A page stored with this capture bit is placed by the replay: its logical
// page gets the base matrix.
constexpr DWORD kStoreBaseMatrix = 0x20;

LONG Num(PDEV* pdev, WORD id) {
  LONG v = 0;
  return ddm_GetNumber(id, pdev->devmode, pdev->printerData, &v) ? v : 0;
}

int16_t Clamp16(LONG v) { return static_cast<int16_t>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v)); }

// The description's duplex answer for a paper record and size (0.1 mm).
int16_t PaperDuplex(const DDD_PAPER* paper, LONG width, LONG height) {
  if (!paper) return 0;
  BYTE duplex = 0;
  const DDD_POINT* lower = nullptr;
  const DDD_POINT* upper = nullptr;
  if (ddd_GetPaperDuplexAvailability(paper, &duplex, &lower, &upper) != 0 || duplex == 0) return 0;
  if (paper->duplexSizeId == 0) return 1;
  return width >= lower->first && width <= upper->first && height >= lower->second && height <= upper->second;
}

void FillPaper(PDEV* pdev, const PRINTERFORM& form, WORD paperCode, JOBREC_PAPER* out) {
  JOBREC_PAPER p{};
  const LONG width = PSRealToDeciMM(form.paperWidth);
  const LONG height = PSRealToDeciMM(form.paperLength);
  LONG iw = PSRealToDeciMM(form.imageableRight - form.imageableLeft);
  LONG ih = PSRealToDeciMM(form.imageableBottom - form.imageableTop);
  if (Num(pdev, DDM_EDGE_TO_EDGE) != 0) {
    iw = width;
    ih = height;
  }
  p.paperCode = paperCode;
  p.width = Clamp16(width);
  p.height = Clamp16(height);
  p.imageableWidth = Clamp16(iw);
  p.imageableHeight = Clamp16(ih);
  const LONG left = (width - iw + 1) / 2;
  const LONG top = (height - ih + 1) / 2;
  p.left = Clamp16(left);
  p.top = Clamp16(top);
  p.landscape = Num(pdev, DDM_ORIENTATION) == DMORIENT_LANDSCAPE ? 1 : 0;
  p.duplex = PaperDuplex(form.paperRecord, width, height);
  p.marginLeft = Clamp16(left);
  p.marginRight = Clamp16(width - iw - left);
  p.marginTop = Clamp16(top);
  p.marginBottom = Clamp16(height - ih - top);
  const uint16_t* app = pdev->layoutInfo.appMargins;  // left, right, top, bottom, paper id
  if (Num(pdev, DDM_APP_MARGINS) != 0 && app[4] == paperCode) {
    const LONG l = static_cast<int16_t>(app[0]), r = static_cast<int16_t>(app[1]);
    const LONG t = static_cast<int16_t>(app[2]), b = static_cast<int16_t>(app[3]);
    if (l >= 0 && r >= 0 && t >= 0 && b >= 0 && l + r < width && t + b < height) {
      p.marginLeft = Clamp16(l);
      p.marginRight = Clamp16(r);
      p.marginTop = Clamp16(t);
      p.marginBottom = Clamp16(b);
    }
  }
  *out = p;
}

JOBREC_DEVICE Device(PDEV* pdev) {
  JOBREC_DEVICE device{};
  device.pdlVersion =
      jobInfo_getPDLVersion_forApplink(static_cast<DWORD>(Num(pdev, DDM_PDLVERSION)), pdev->devmode, pdev->printerData);
  ZANLIB_CAPABILITY caps{};
  if (pdev->ddd && zanLib_GetDDDCapabilities(pdev->ddd, &caps)) device.capabilities = caps.word0 & kCapabilityBits;
  return device;
}

bool PosterJob(const PDEV* pdev) {
  return pdev->jobInfo.poster != 0 && pdev->jobInfo.booklet == 0 && pdev->jobInfo.nup == 1;
}

// The poster's parts: each tile of the stored page through its own matrix,
// across x then down, in reverse part order when printing in reverse.
LONG OutputPosterParts(PDEV* pdev, WORD page);

}  // namespace

BOOL page_isPosterJob(const PDEV* pdev) { return pdev && PosterJob(pdev) ? TRUE : FALSE; }
LONG page_outputPosterParts(PDEV* pdev, WORD page) { return pdev ? OutputPosterParts(pdev, page) : -1; }

namespace {

LONG OutputPosterParts(PDEV* pdev, WORD page) {
  PSTR_PARAM params{};
  if (pstrJob_getLayoutParam(&pdev->layoutInfo, &params) != 0) return -1;
  const LONG parts = static_cast<LONG>(params.columns) * params.rows;
  LONG result = 0;
  for (LONG i = 0; i < parts && result == 0; ++i) {
    const LONG part = pdev->jobInfo.reverseOrder ? parts - 1 - i : i;
    nrvxform m{};
    if (pstrJob_getPageXform(&m, &params, part) != 0) return -1;
    const float matrix[6] = {m.m11, m.m12, m.m21, m.m22, m.dx, m.dy};
    result |= pdl_ctrl_output_aStoredPage_withOtherPageColor(&pdev->layoutInfo, pdev, page, kPosterPartMask, matrix,
                                                             kNoOtherPage, pdev->jobInfo.colorModeAuto,
                                                             kNoMediaOverride);
  }
  return result;
}

// The judgement's request for the current page: the finishing edge codes
// (job information 160 and 162 hold DDM 326 and 344, already edge codes such
// as 0x101 or 0x606, passed as they are), the input tray, and the layout.
// The layout kind is 0 for N-up, else 2; kind 1 (the fallback value) is
// chosen by no built page step.
JUDGE_REQUEST JudgeRequest(PDEV* pdev) {
  const LAYOUTINFO& l = pdev->layoutInfo;
  JUDGE_REQUEST r{};
  r.paperId = l.inputPaper.paperCode;
  r.stapleCode = pdev->jobInfo.stapleEdge;
  r.punchCode = pdev->jobInfo.punchEdge;
  r.tray = l.inputTray.trayId;
  r.feedOrientation = l.orientation;
  r.orientation = l.orientation;
  r.kind = l.nup > 1 ? 0 : 2;
  r.nupCount = l.nup;
  return r;
}

// The white-page table (job information 1304, with 1296): an entry n puts a
// white page before the document's n-th physical page (counted from 1; 0 is
// an unused entry), with its back in duplex when the paper allows it; the
// entry is then cleared. The white pages are not the document's pages and
// are not counted; the physical page being started stays open.
LONG WhitePageTable(PDEV* pdev) {
  JOBINFO& job = pdev->jobInfo;
  if (job.feature406 == 0) return 0;
  const LONG next = pdev->pageCtrl.physicalPages + 1;
  LONG result = 0;
  for (int16_t& entry : job.feature406Values) {
    if (entry <= 0 || entry != next) continue;
    entry = 0;
    result |= init_cgs(pdev);
    result |= page_outputLeadingWhite(pdev);
    pdev->pageCtrl.flags |= JOBCTRL_PHYSICAL_PAGE;
  }
  return result;
}

bool StoringForColor(const PDEV* pdev) {
  return pdev->jobInfo.colorMode == kJobColorAuto || pdev->jobInfo.fewColorEnable != 0;
}

BYTE ColorArgument(const PDEV* pdev) {
  switch (pdev->jobInfo.colorModeAuto) {
    case 0: break;
    case 1: return kColorArgMono;
    case 2: return kColorArgColor;
    default: return kColorArgOther;
  }
  switch (pdev->pageCtrl.pageColorMode) {
    case 0: case 1: return kColorArgMono;
    case 2: return kColorArgColor;
    default: return kColorArgOther;
  }
}

LONG Stamp(PDEV* pdev, BYTE code) { return pdl_timeout(pdev, code) ? 0 : -1; }
LONG Sent(BOOL ok) { return ok ? 0 : -1; }

// _output_startpage_current: 154, 155 and 138 for the current physical page
// (colorArg 0: the page's own colour argument).
LONG OutputStartPage(PDEV* pdev, BYTE colorArg = 0) {
  LONG result = 0;
  if (pdev->jobInfo.orientationComment) result |= xl_comment(&pdev->xl, "InformOrientation") == 0 ? 0 : -1;
  const JOBREC_PAPER& out = pdev->layoutInfo.outputPaper;
  const DDD_PAPER* record = pdev->outForm.paperRecord;
  BYTE paperCode = kPaperCodeCustom;
  float widthMm = static_cast<float>(out.width) / 10.0f;
  float heightMm = static_cast<float>(out.height) / 10.0f;
  if (record && !IsCustomDddPaper(record) && record->portraitArg != kNoPortraitArg && record->portraitArg <= 0xFF) {
    paperCode = static_cast<BYTE>(record->portraitArg);
    widthMm = heightMm = 0.0f;
  }
  result |= Sent(pdl_setlayoutinfo(pdev));
  pdev->pageCtrl.inputTray = pdev->layoutInfo.inputTray.trayId;
  // A white page the flow inserts is empty; every other page is printed.
  pdev->pageCtrl.pageContent =
      (pdev->pageCtrl.pageStore & PDL_STORE_WHITE_PAGE) ? PAGECTRL_CONTENT_EMPTY : PAGECTRL_CONTENT_PRINTED;
  result |= Sent(pdl_setpagectrl(pdev));
  result |= pdl_ctrl_startpage(pdev, colorArg != 0 ? colorArg : ColorArgument(pdev),
                               pdev->layoutInfo.inputTray.mediaSource, paperCode, widthMm, heightMm);
  return result;
}

}  // namespace

LONG PSRealToDeciMM(LONG value) {
  return static_cast<LONG>((static_cast<int64_t>(value) * 254 + 9216) / 18432);
}

LONG _getInputPaper(PDEV* pdev) {
  if (!pdev) return -1;
  JOBREC_PAPER& p = pdev->layoutInfo.inputPaper;
  FillPaper(pdev, pdev->curForm, static_cast<WORD>(Num(pdev, DDM_PAPERSIZE)), &p);
  if (p.landscape) {
    // The landscape form back to the sheet's way (the top comment).
    std::swap(p.width, p.height);
    std::swap(p.imageableWidth, p.imageableHeight);
    std::swap(p.left, p.top);
    const JOBREC_PAPER page = p;
    p.marginBottom = page.marginLeft;
    p.marginLeft = page.marginTop;
    p.marginTop = page.marginRight;
    p.marginRight = page.marginBottom;
  }
  pdev->layoutInfo.landscapeOutput = p.landscape;
  return 0;
}

LONG _getOutputPaper(PDEV* pdev) {
  if (!pdev) return -1;
  const DDD_PAPER* record = pdev->outForm.paperRecord;
  const WORD code = record ? record->head.id : static_cast<WORD>(Num(pdev, DDM_PAPERSIZE));
  FillPaper(pdev, pdev->outForm, code, &pdev->layoutInfo.outputPaper);
  return 0;
}

LONG _getInputTray(PDEV* pdev) {
  if (!pdev) return -1;
  JOBREC_TRAY tray{};
  tray.trayId = static_cast<uint16_t>(Num(pdev, DDM_DEFAULTSOURCE));
  if (pdev->ddd) {
    void* record = nullptr;
    if (ddd_GetDataByIDX(DDD_QUICK, pdev->ddd->main, pdev->ddd->referenced, DDD_CAT_TRAY, tray.trayId, 0, &record) ==
            DDD_OK &&
        record) {
      WORD arg = 0;
      if (ddd_GetTrayNRVArg(record, &arg) == 0 && arg <= 0xFF) tray.mediaSource = static_cast<uint8_t>(arg);
      ddd_Free(&record, DDD_CAT_TRAY);
    }
  }
  pdev->layoutInfo.inputTray = tray;
  return 0;
}

LONG _setJobStartSettings(PDEV* pdev) {
  if (!pdev) return -1;
  // The private gate's devmode overrides (restored at the job's end).
  pesc_ctl_forceDevMode(pdev->devmode, pdev->printerData, &pdev->pesc);
  const JOBREC_DEVICE device = Device(pdev);
  WORD bad = 0;
  if (jobInfo_jobInfo_initAtJobStart(&pdev->jobInfo, pdev->devmode, pdev->printerData, &device, &bad) != JOBREC_OK)
    return -1;
  if (page_checkJobModes(pdev) != 0) return -1;
  LONG result = kmSteps({_getInputPaper(pdev), _getOutputPaper(pdev), _getInputTray(pdev)});
  if (jobInfo_layoutInfo_initAtJobStart(&pdev->layoutInfo, &pdev->jobInfo, pdev->devmode, pdev->printerData, &device,
                                        &bad) != JOBREC_OK)
    return -1;
  jobInfo_pageCtrl_clearCounters(&pdev->pageCtrl);
  // Job information 76: a leading white page the first page's tray cannot
  // back shifts the booklet's counting.
  JOBINFO& job = pdev->jobInfo;
  job.bookletShift = job.leadingWhiteMode == 1 && !queryDup_isEnableDuplex(pdev, pdev->outForm.paperRecord,
                                                                            pdev->layoutInfo.inputTray.trayId)
                         ? 1
                         : 0;
  if (result == 0) result |= faxCtrl_initAtJobStart(pdev);
  return result;
}

LONG _sendJobHeader(PDEV* pdev) {
  if (!pdev) return -1;
  // The EJCL header is written by the spooler side at BeginSession; the
  // renderer sends nothing for it, nor for a form declaration.
  return Sent(pdl_startjob(pdev));
}

LONG _sendJobFooter(PDEV* pdev) {
  if (!pdev) return -1;
  LONG result = Stamp(pdev, XL_TIMESTAMP_JOBEND);
  if (Num(pdev, DDM_FORM_REGISTRATION) != 1) result |= Sent(pdl_endjob(pdev));
  return result;
}

LONG _commonPageStep(PDEV* pdev) {
  if (!pdev) return -1;
  if (!(pdev->pageCtrl.flags & JOBCTRL_RESET_IN_JOB)) return 0;
  LONG result = kmSteps({_getInputPaper(pdev), _getOutputPaper(pdev)});
  if (pdev->jobInfo.nup <= 1) result |= _getInputTray(pdev);
  return result;
}

LONG _StartPage_Physical(PDEV* pdev) {
  if (!pdev) return -1;
  PAGECTRL& pc = pdev->pageCtrl;
  if (pc.flags & (JOBCTRL_PHYSICAL_PAGE | JOBCTRL_LOGICAL_PAGE)) return -1;
  // 1. The page colour mode, the graphics state. The paper direction of the
  // page matrices comes with the layout work.
  pc.flags |= JOBCTRL_PHYSICAL_PAGE;
  const PDEV_PESC& pesc = pdev->pesc;
  pc.pageColorMode = (pesc.colorModeSwitch && pesc.colorMode >= 0 && pesc.colorMode <= 3) ? pesc.colorMode
                                                                                          : pdev->jobInfo.colorMode;
  LONG result = pdl_ctrl_setcolormode(pdev, static_cast<WORD>(pc.pageColorMode), pdev->jobInfo.colorMode);
  result |= init_cgs(pdev);
  // 2. A change of tray, paper or duplex: a pending back face first.
  if (result == 0) {
    result |= _checkChangingPaperOrTray(pdev);
    pc.flags |= JOBCTRL_PHYSICAL_PAGE;  // a white back face closed its own page
  }
  // 3. The sheet.
  if (pc.physicalPages != 0) _pageCtrl_StartPage_Physical(&pc, &pdev->jobInfo, FALSE);
  // 4. The white-page table.
  if (result == 0) result |= WhitePageTable(pdev);
  // 5. Job information offset 108.
  int32_t refuseAll = 0;
  std::memcpy(&refuseAll, pdev->jobInfo.reserved108, sizeof refuseAll);
  if (refuseAll) return -1;
  // 6. Poster: the page is stored with its paper and replayed once a part
  // at its end. Automatic colour: the page is stored and flushed with its
  // own colour decision at its end.
  if (PosterJob(pdev) && page_isStoreAllJob(pdev)) {
    result |= storeAll_StorePage(pdev, kPosterMask);
  } else if (PosterJob(pdev)) {
    const WORD page = static_cast<WORD>(pc.physicalPages + 1);
    result |= pdl_ctrl_pageStoring_init(pdev, page, kPosterGrowth);
    if (result == 0)
      result |= pdl_ctrl_pageStoring_start(pdev, page, pc.pageColorMode, kPosterMask, pdev->jobInfo.fewColorEnable,
                                           static_cast<WORD>(pdev->jobInfo.fewColorLimit),
                                           pdev->jobInfo.fewColorValue);
    if (result == 0)
      result |= pdl_ctrl_setPaperInfo(pdev, &pdev->layoutInfo, pdev->layoutInfo.landscapeOutput, page);
  } else if (page_isBookletJob(pdev)) {
    result |= booklet_StartPage(pdev);
  } else if (page_isStoreAllJob(pdev)) {
    result |= storeAll_StartPage(pdev);
  } else if (StoringForColor(pdev)) {
    const WORD page = static_cast<WORD>(pc.physicalPages + 1);
    result |= pdl_ctrl_pageStoring_init(pdev, page, kAutoColorGrowth);
    if (result == 0)
      result |= pdl_ctrl_pageStoring_start(pdev, page, pc.pageColorMode, kAutoColorMask, pdev->jobInfo.fewColorEnable,
                                           static_cast<WORD>(pdev->jobInfo.fewColorLimit),
                                           pdev->jobInfo.fewColorValue);
  }
  // 7.
  if (result == 0) result |= OutputStartPage(pdev);
  return result;
}

LONG _StartPage_Logical(PDEV* pdev) {
  if (!pdev) return -1;
  pdev->pageCtrl.flags |= JOBCTRL_LOGICAL_PAGE;
  // Physical stamp mode matters to the stamps drawn in the page (drawing
  // work); nothing is noted before that.
  LONG result = Stamp(pdev, XL_TIMESTAMP_PAGESTART);
  float matrix[6] = {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
  if (!(pdev->pageCtrl.pageStore & kStoreBaseMatrix)) result |= pagemat_setPageMatrix_current(pdev, matrix);
  result |= pdl_ctrl_setcoordinate(pdev, matrix);
  const JOBINFO& job = pdev->jobInfo;
  if (job.cureDrawModeA != -1 && job.cureDrawModeB != -1)
    result |= xl_setcuredrawmode(&pdev->xl, job.cureDrawModeA == 1, job.cureDrawModeB == 1) == 0 ? 0 : -1;
  result |= pdl_initclip(pdev);
  const JUDGE_REQUEST request = JudgeRequest(pdev);
  pdev->imageRotation = JudgeImageRotation(pdev, &request);
  return result;
}

LONG _EndPage_Logical(PDEV* pdev) {
  if (!pdev) return -1;
  PAGECTRL& pc = pdev->pageCtrl;
  if (!(pc.flags & JOBCTRL_LOGICAL_PAGE)) {
    // Before the first page is set up the job information is not built
    // yet: the setting is read from the devmode.
    const bool skip = (pc.flags & JOBCTRL_DOCINFO_SENT) ? pdev->jobInfo.skipBlankPages != 0
                                                        : Num(pdev, DDM_SKIP_BLANK_PAGES) != 0;
    if (skip) {
      ++pdev->pageNumber;
      return 0;  // a blank page is not printed
    }
    if (jobCtrl_informStartDDI(pdev) != 0 || !(pc.flags & JOBCTRL_LOGICAL_PAGE)) return -1;
  }
  LONG result = Stamp(pdev, XL_TIMESTAMP_LOGICALPAGEEND);
  pc.flags &= ~(JOBCTRL_LOGICAL_PAGE | JOBCTRL_RESET_IN_JOB);
  ++pdev->pageNumber;
  const uint16_t counted = pc.logicalPages;
  const BOOL sheetFull = _pageCtrl_nextPage_Logical(&pc, &pdev->jobInfo);
  // The stamp page of the document end fills a place on the sheet, but the
  // document's logical page count (the job information's) stays.
  if (pdev->documentEndPage) pc.logicalPages = counted;
  if (sheetFull) result |= _EndPage_Physical(pdev);
  return result;
}

LONG _EndPage_Physical(PDEV* pdev) {
  if (!pdev) return -1;
  PAGECTRL& pc = pdev->pageCtrl;
  if (pc.flags & JOBCTRL_LOGICAL_PAGE) return -1;
  // Crop marks on a poster page that asks for them, N-up frames around the
  // sheet's logical pages (DDM 1337).
  LONG result = 0;
  if (PosterJob(pdev) && pdev->jobInfo.posterCropMarks) result |= pstrJob_drawPosterTonbo(pdev);
  if (Num(pdev, DDM_NUP_FRAME) != 0) result |= nupFrame_drawNupFrame(pdev, pc.logicalOnPhysical);
  if (!pdev->jobInfo.formRegistration) result |= pdl_ctrl_showpage(pdev);
  result |= pdl_ctrl_endpage(pdev);
  result |= Stamp(pdev, XL_TIMESTAMP_PHYSICALPAGEEND);
  if ((pc.pageStore & PDL_STORE_STORING) == PDL_STORE_STORING) {
    if (page_isBookletJob(pdev)) {
      result |= booklet_EndPage(pdev);
    } else if (page_isStoreAllJob(pdev)) {
      result |= storeAll_EndPage(pdev);
    } else if (PosterJob(pdev)) {
      const WORD page = static_cast<WORD>(pdev->jobData->firstPage + pdev->jobData->pageCount);
      result |= pdl_ctrl_pageStoring_stop(pdev, page);
      if (result == 0) result |= OutputPosterParts(pdev, page);
      result |= pdl_ctrl_pageStoring_dispose(pdev);
    } else {
      result |= pdl_ctrl_flushCurrentPage_forColors(pdev);
    }
  }
  _pageCtrl_nextPage_Physical(&pc);
  pc.flags &= ~JOBCTRL_PHYSICAL_PAGE;
  return result;
}

LONG _checkChangingPaperOrTray(PDEV* pdev) {
  if (!pdev) return -1;
  LONG result = 0;
  JOBINFO& job = pdev->jobInfo;
  if (Num(pdev, DDM_DEFAULTSOURCE) == DMBIN_AUTO || job.leadingWhiteMode == 1) result |= _getInputTray(pdev);
  const JOBREC_PAPER& now = pdev->layoutInfo.inputPaper;
  const JOBREC_PAPER& last = pdev->lastPaper;
  const LONG duplex = Num(pdev, DDM_DUPLEX);
  const uint16_t sides = duplex == kDuplexLong || duplex == kDuplexShort ? 2 : 1;
  const bool changed = pdev->lastPaperSet && (now.paperCode != last.paperCode || now.width != last.width ||
                                              now.height != last.height || sides != job.sides);
  if (changed && job.sides == 2) result |= _skip_backfaceInDuplex(pdev);
  job.sides = sides;
  pdev->lastPaper = now;
  pdev->lastPaperSet = TRUE;
  return result;
}

LONG _output_WhitePage(PDEV* pdev) {
  if (!pdev) return -1;
  PAGECTRL& pc = pdev->pageCtrl;
  pc.flags |= JOBCTRL_PHYSICAL_PAGE;
  // The page control of a white page carries the white-page bit; its colour
  // argument is 3 when the job colour mode is set, else 1.
  pc.pageStore |= PDL_STORE_WHITE_PAGE;
  LONG result = OutputStartPage(pdev, pdev->jobInfo.colorMode != 0 ? kColorArgOther : kColorArgMono);
  pc.pageStore &= ~PDL_STORE_WHITE_PAGE;
  float base[6];
  result |= pagemat_setBaseMatrix(base);
  result |= pdl_ctrl_setcoordinate(pdev, base);
  if (Qf_IsSupportFunction(pdev, kFunctionUnchargedPage)) {
    // An uncharged page: the comment and the page's end of its own.
    result |= xl_setunchargedpage(&pdev->xl) == 0 ? 0 : -1;
    result |= xl_endpage(&pdev->xl, 1) == 0 ? 0 : -1;
  } else {
    result |= pdl_ctrl_showpage(pdev);
  }
  result |= pdl_ctrl_endpage(pdev);
  pc.flags &= ~JOBCTRL_PHYSICAL_PAGE;
  return result;
}

// ---- Fax jobs ------------------------------------------------------------------------

namespace {

constexpr WORD kFaxSheetPaper = 9;        // the description's paper of the cover sheet
constexpr uint16_t kFaxSheetDpi = 600;    // its resolution
constexpr DWORD kFaxListCountOffset = 16; // the fax list's 16-bit entry count
constexpr BYTE kLastSend = 1, kMoreSends = 0;  // command 144's value

// The sheet paper record (job paper layout, 0.1 mm) and its command-138
// paper code from the description's paper of id 9; -1 when the description
// has none that gives a form.
LONG FaxSheetPaper(PDEV* pdev, PDEV_FAXJOB* fax) {
  DDD_PAPER* record = nullptr;
  if (GetDddPaperByFormID(pdev, kFaxSheetPaper, &record) != 0 || !record) return -1;
  PRINTERFORM form{};
  if (!SetPrinterForm(record, &form, FALSE)) {
    void* r = record;
    ddd_Free(&r, DDD_CAT_PAPER);
    return -1;
  }
  JOBREC_PAPER& p = fax->sheet;
  p = JOBREC_PAPER{};
  const LONG width = PSRealToDeciMM(form.paperWidth);
  const LONG height = PSRealToDeciMM(form.paperLength);
  const LONG iw = PSRealToDeciMM(form.imageableRight - form.imageableLeft);
  const LONG ih = PSRealToDeciMM(form.imageableBottom - form.imageableTop);
  p.paperCode = kFaxSheetPaper;
  p.width = Clamp16(width);
  p.height = Clamp16(height);
  p.imageableWidth = Clamp16(iw);
  p.imageableHeight = Clamp16(ih);
  p.left = Clamp16((width - iw + 1) / 2);
  p.top = Clamp16((height - ih + 1) / 2);
  p.duplex = PaperDuplex(form.paperRecord, width, height);
  DDD_POINT m1{}, m2{};
  if (getMarginDefaultEx(form.paperRecord, FALSE, &m1, &m2)) {
    p.marginLeft = Clamp16(m1.first);
    p.marginTop = Clamp16(m1.second);
    p.marginRight = Clamp16(m2.first);
    p.marginBottom = Clamp16(m2.second);
  }
  fax->sheetCode = kPaperCodeCustom;
  fax->sheetWidthMm = static_cast<float>(p.width) / 10.0f;
  fax->sheetHeightMm = static_cast<float>(p.height) / 10.0f;
  const DDD_PAPER* r = form.paperRecord;
  if (r && !IsCustomDddPaper(r) && r->portraitArg != kNoPortraitArg && r->portraitArg <= 0xFF) {
    fax->sheetCode = static_cast<BYTE>(r->portraitArg);
    fax->sheetWidthMm = fax->sheetHeightMm = 0.0f;
  }
  form_FreeFormRecord(&form);
  return 0;
}

}  // namespace

LONG faxCtrl_initAtJobStart(PDEV* pdev) {
  if (!pdev) return -1;
  PDEV_FAXJOB& fax = pdev->faxJob;
  fax = PDEV_FAXJOB{};
  const PDEV_BLOCK& list = pdev->faxInfo;
  if (!list.data || list.size < kFaxListCountOffset + sizeof(WORD)) return 0;
  fax.active = 1;
  fax.coverSheet = Num(pdev, DDM_FAX_COVER_SHEET_MODE) != 0 ? 1 : 0;
  LONG destinations = Num(pdev, DDM_FAX_DESTINATION_COUNT);
  const LONG listed = kp_LoadU16(list.data + kFaxListCountOffset);
  if (destinations > listed) destinations = listed;
  if (destinations < 1) destinations = 1;
  fax.repeats = Num(pdev, DDM_FAX_SINGLE_HEADER) == 0 ? static_cast<DWORD>(destinations) : 1;
  // A job sent more than once keeps its pages for each send.
  if (fax.repeats > 1) pdev->jobInfo.storeAllPages = 1;
  if (fax.coverSheet && FaxSheetPaper(pdev, &fax) != 0) {
    EngSetLastError(ERROR_NOT_SUPPORTED);
    return -1;
  }
  return 0;
}

BOOL faxCtrl_isRepeated(const PDEV* pdev) { return pdev && pdev->faxJob.active && pdev->faxJob.repeats > 1; }

LONG faxCtrl_outputCoverSheet(PDEV* pdev) {
  if (!pdev || !pdev->faxJob.active || !pdev->faxJob.coverSheet) return -1;
  const PDEV_FAXJOB& fax = pdev->faxJob;
  PAGECTRL& pc = pdev->pageCtrl;
  if (pc.flags & (JOBCTRL_PHYSICAL_PAGE | JOBCTRL_LOGICAL_PAGE)) return -1;
  // The sheet's layout information frames it; the job's comes back after.
  const LAYOUTINFO job = pdev->layoutInfo;
  pdev->layoutInfo.outputPaper = fax.sheet;
  pdev->layoutInfo.resolutionX = pdev->layoutInfo.resolutionY = kFaxSheetDpi;
  pc.flags |= JOBCTRL_PHYSICAL_PAGE;
  LONG result = init_cgs(pdev);
  result |= Sent(pdl_setlayoutinfo(pdev));
  pc.inputTray = pdev->layoutInfo.inputTray.trayId;
  pc.pageContent = PAGECTRL_CONTENT_PRINTED;
  result |= Sent(pdl_setpagectrl(pdev));
  result |= pdl_ctrl_startpage(pdev, kColorArgMono, pdev->layoutInfo.inputTray.mediaSource, fax.sheetCode,
                               fax.sheetWidthMm, fax.sheetHeightMm);
  result |= Stamp(pdev, XL_TIMESTAMP_PAGESTART);
  float base[6];
  result |= pagemat_setBaseMatrix(base);
  result |= pdl_ctrl_setcoordinate(pdev, base);
  result |= pdl_ctrl_showpage(pdev);
  result |= pdl_ctrl_endpage(pdev);
  result |= Stamp(pdev, XL_TIMESTAMP_PHYSICALPAGEEND);
  pdev->layoutInfo = job;
  pc.flags &= ~JOBCTRL_PHYSICAL_PAGE;
  return result;
}

LONG faxCtrl_StartJob(PDEV* pdev) {
  if (!pdev) return -1;
  const PDEV_FAXJOB& fax = pdev->faxJob;
  if (!fax.active || !fax.coverSheet || fax.repeats > 1) return 0;
  LONG result = faxCtrl_outputCoverSheet(pdev);
  // The cover sheet is the job's first physical page.
  if (result == 0) _pageCtrl_nextPage_Physical(&pdev->pageCtrl);
  return result;
}

LONG faxCtrl_EndDoc(PDEV* pdev) {
  if (!faxCtrl_isRepeated(pdev)) return 0;
  const PDEV_FAXJOB& fax = pdev->faxJob;
  LONG result = 0;
  for (DWORD send = 0; send < fax.repeats && result == 0; ++send) {
    result |= pdl_ctrl_openPrinter(pdev);
    result |= _sendJobHeader(pdev);
    if (result == 0 && fax.coverSheet) result |= faxCtrl_outputCoverSheet(pdev);
    if (result == 0) result |= storeAll_outputSets(pdev);
    if (result == 0) result |= _sendJobFooter(pdev);
    if (result == 0) result |= pdl_ctrl_closePrinter(pdev, send + 1 == fax.repeats ? kLastSend : kMoreSends);
  }
  return result;
}
