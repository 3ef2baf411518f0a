// Store-all-pages and form registration (declarations in impose.h): every
// page of the job is stored and the job is replayed at its end, in order
// or in reverse, once or once a collated copy; a duplex job whose last sheet
// has only its front printed gets a stored white back face.
//
// Decisions:
//  - Store-all-pages with poster: each poster page is stored whole (mask 38,
//    in the store of all pages) and replayed at the job end through its
//    parts, page by page in the set's order. Store-all-pages with booklet:
//    the booklet's own store holds the pages; each book (at the job end, or
//    a completed session of booklet kind 2) goes out once a collated set;
//    reverse order is the booklet's own (its page lookup inverted). A
//    duplex back face due in either is only counted, never stored or
//    printed: a book surface and a poster part are sheets of their own.
//  - Form registration with poster or booklet is not defined (its single
//    replay of mask 1 has no parts or surfaces): such a job is refused at
//    its first page with ERROR_NOT_SUPPORTED (page_checkJobModes).
//  - Between collated sets nothing more is inserted: a duplex set with an
//    odd page count already ends with its stored white back face, so every
//    set starts on a new sheet.
//  - Form registration replays its stored pages once with mask 1, between
//    157 and 158 unless job information 208 is set; its header and footer
//    carry no session (DDM 339 is 1).
//  - Leading white pages (job information 136): mode 1 puts one white page
//    before the job, mode 2 one before the job and each collated set. A
//    duplex job whose paper allows duplex gets a second white page, so that
//    its first page starts a sheet. The white pages are not the document's
//    pages: the page counters do not count them. A job that prints at once
//    gets it after its header; a stored job at the start of its replay.
#include <cstring>

#include "impose.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/render/km_services.h"
#include "kplatform/wingdi_consts.h"
#include "km_entry.h"
#include "pageflow.h"

namespace {

constexpr WORD kStoreAllGrowth = 80;
constexpr LONG kStoreAllMask = 6;   // store-all-pages (with the colour bit)
constexpr LONG kBackFaceMask = 2;   // the stored white back face
constexpr LONG kReplayWhole = 1;    // replay mask of one whole page
constexpr WORD kNone = 0xFFFF;
constexpr size_t kNoSpoolChangeOffset = 8;  // job information 208 within the reserved bytes at 200
constexpr LONG kLeadEachSet = 2;  // leading-white-page mode: before the job and each copy set

bool NoSpoolChange(const PDEV* pdev) {
  int32_t v = 0;
  std::memcpy(&v, pdev->jobInfo.reserved200 + kNoSpoolChangeOffset, sizeof v);
  return v != 0;
}

WORD NextPage(const PDEV* pdev) { return static_cast<WORD>(pdev->pageCtrl.physicalPages + 1); }

LONG Store(PDEV* pdev, WORD page, LONG mask) {
  LONG result = 0;
  if (pdev->pageCtrl.pageStore == PDL_STORE_IDLE) result |= pdl_ctrl_pageStoring_init(pdev, page, kStoreAllGrowth);
  if (result == 0) {
    const JOBINFO& job = pdev->jobInfo;
    result |= pdl_ctrl_pageStoring_start(pdev, page, pdev->pageCtrl.pageColorMode, mask, job.fewColorEnable,
                                         static_cast<WORD>(job.fewColorLimit), job.fewColorValue);
  }
  if (result == 0) result |= pdl_ctrl_setPaperInfo(pdev, &pdev->layoutInfo, pdev->layoutInfo.landscapeOutput, page);
  return result;
}

}  // namespace

BOOL page_isStoreAllJob(const PDEV* pdev) {
  if (!pdev) return FALSE;
  const JOBINFO& j = pdev->jobInfo;
  return j.storeAllPages != 0 || j.formRegistration != 0 ? TRUE : FALSE;
}

BOOL page_storesForLater(const PDEV* pdev) { return page_isBookletJob(pdev) || page_isStoreAllJob(pdev); }

LONG page_checkJobModes(PDEV* pdev) {
  if (!pdev) return -1;
  const JOBINFO& j = pdev->jobInfo;
  if (j.formRegistration == 0 || (j.poster == 0 && j.booklet == 0)) return 0;
  EngSetLastError(ERROR_NOT_SUPPORTED);
  return -1;
}

LONG page_collatedSets(const PDEV* pdev) {
  if (!pdev) return 1;
  const JOBINFO& job = pdev->jobInfo;
  return job.formRegistration == 0 && job.driverCollate != 0 && job.copies > 1 ? job.copies : 1;
}

LONG storeAll_StartPage(PDEV* pdev) { return pdev ? Store(pdev, NextPage(pdev), kStoreAllMask) : -1; }

LONG storeAll_StorePage(PDEV* pdev, LONG mask) { return pdev ? Store(pdev, NextPage(pdev), mask) : -1; }

LONG storeAll_EndPage(PDEV* pdev) {
  if (!pdev || !pdev->jobData) return -1;
  return pdl_ctrl_pageStoring_stop(pdev, static_cast<WORD>(pdev->jobData->firstPage + pdev->jobData->pageCount));
}

namespace {

constexpr WORD kTrayManual = 4;  // the bypass tray: paper and paper type decide as well

// A record's duplex answer: -1 when the description has no record (which
// allows duplex), else 0 or 1.
LONG RecordDuplex(PDEV* pdev, WORD category, WORD id) {
  if (!pdev->ddd) return -1;
  void* record = nullptr;
  if (ddd_GetDataByIDX(DDD_QUICK, pdev->ddd->main, pdev->ddd->referenced, category, id, 0, &record) != DDD_OK ||
      !record)
    return -1;
  LONG answer = -1;
  if (category == DDD_CAT_PAPERTYPE) {
    BYTE duplex = 0;
    if (ddd_GetPaperTypeDuplexAvailability(record, &duplex) == DDD_OK) answer = duplex != 0 ? 1 : 0;
  } else {
    answer = static_cast<const DDD_TRAY*>(record)->duplex != 0 ? 1 : 0;
  }
  ddd_Free(&record, category);
  return answer;
}

bool PaperDuplex(const DDD_PAPER* paper) {
  if (!paper) return true;  // no record: allowed
  BYTE duplex = 0;
  const DDD_POINT* lower = nullptr;
  const DDD_POINT* upper = nullptr;
  return ddd_GetPaperDuplexAvailability(paper, &duplex, &lower, &upper) == DDD_OK && duplex != 0;
}

LONG Num(PDEV* pdev, WORD id) {
  LONG v = 0;
  return ddm_GetNumber(id, pdev->devmode, pdev->printerData, &v) ? v : 0;
}

}  // namespace

BOOL queryDup_isEnableDuplex(PDEV* pdev, const DDD_PAPER* paper, WORD tray) {
  if (!pdev) return FALSE;
  if (tray == DMBIN_AUTO) return PaperDuplex(paper) ? TRUE : FALSE;
  if (RecordDuplex(pdev, DDD_CAT_TRAY, tray) == 0) return FALSE;
  if (tray == kTrayManual) {
    if (!PaperDuplex(paper)) return FALSE;
    if (RecordDuplex(pdev, DDD_CAT_PAPERTYPE, static_cast<WORD>(Num(pdev, DDM_EMULATEDMEDIA))) == 0) return FALSE;
  }
  return RecordDuplex(pdev, DDD_CAT_TRAY2, static_cast<WORD>(Num(pdev, DDM_OUTPUT_TRAY))) == 0 ? FALSE : TRUE;
}

LONG _isNeed_InsertWhitePage(PDEV* pdev, LONG type) {
  if (!pdev || pdev->jobInfo.sides != 2) return 0;
  const bool paperDuplex =
      pdev->layoutInfo.outputPaper.duplex != 0 &&
      queryDup_isEnableDuplex(pdev, pdev->outForm.paperRecord, pdev->layoutInfo.inputTray.trayId);
  if (type == 2) return paperDuplex ? 1 : 0;
  const JOBINFO& j = pdev->jobInfo;
  const bool frontOnly = pdev->pageCtrl.side == 1;
  return frontOnly && paperDuplex && j.booklet == 0 && (j.reverseOrder != 0 || j.driverCollate != 0) ? 1 : 0;
}

LONG _skip_backfaceInDuplex(PDEV* pdev) {
  if (!pdev) return -1;
  PAGECTRL& pc = pdev->pageCtrl;
  if (pc.side != 1) return 0;
  LONG result = 0;
  // A job that stores all its pages into a book or a poster's parts has no
  // place for a white back face: it is only counted (each book surface and
  // each poster part is a sheet of its own).
  if (page_isStoreAllJob(pdev) && (page_isBookletJob(pdev) || page_isPosterJob(pdev))) {
    _pageCtrl_nextPage_Physical(&pc);
    return 0;
  }
  const bool store = page_isStoreAllJob(pdev);
  const WORD page = NextPage(pdev);
  if (store) result |= Store(pdev, page, kBackFaceMask);
  if (result == 0 && (pdev->jobInfo.reverseOrder != 0 || _isNeed_InsertWhitePage(pdev, 0)))
    result |= _output_WhitePage(pdev);
  if (store && result == 0) result |= pdl_ctrl_pageStoring_stop(pdev, page);
  _pageCtrl_nextPage_Physical(&pc);
  return result;
}

LONG storeAll_EndDoc(PDEV* pdev) {
  if (!pdev) return -1;
  if (!page_isStoreAllJob(pdev) || page_isBookletJob(pdev)) return 0;
  LONG result = page_sendJobHeaderOnce(pdev);
  if (result != 0 || pdev->pageCtrl.pageStore != PDL_STORE_INITIALISED || !pdev->jobData) return result;
  const bool bracket = pdev->jobInfo.formRegistration != 0 && !NoSpoolChange(pdev);
  if (bracket) result |= pdl_ctrl_changeSpool_forFormRegister(pdev);
  if (result == 0) result |= storeAll_outputSets(pdev);
  if (bracket) result |= pdl_ctrl_stopSpool_forFormRegister(pdev);
  return result;
}

LONG storeAll_outputSets(PDEV* pdev) {
  if (!pdev) return -1;
  if (pdev->pageCtrl.pageStore != PDL_STORE_INITIALISED || !pdev->jobData) return 0;
  const JOBINFO& job = pdev->jobInfo;
  const bool registration = job.formRegistration != 0;
  const LONG pages = pdev->jobData->pageCount;
  const WORD first = pdev->jobData->firstPage;
  const LONG sets = page_collatedSets(pdev);
  LONG result = 0;
  for (LONG set = 0; set < sets && result == 0; ++set) {
    if (job.leadingWhiteMode == kLeadEachSet || (set == 0 && job.leadingWhiteMode != 0))
      result |= page_outputLeadingWhite(pdev);
    for (LONG i = 0; i < pages && result == 0; ++i) {
      const LONG index = job.reverseOrder != 0 && !registration ? pages - 1 - i : i;
      const WORD page = static_cast<WORD>(first + index);
      // A poster page goes out through its parts, every other page whole.
      if (page_isPosterJob(pdev))
        result |= page_outputPosterParts(pdev, page);
      else
        result |= pdl_ctrl_output_aStoredPage_withOtherPageColor(&pdev->layoutInfo, pdev, page, kReplayWhole, nullptr,
                                                                 kNone, job.colorModeAuto, kNone);
    }
  }
  return result;
}

LONG page_outputLeadingWhite(PDEV* pdev) {
  if (!pdev) return -1;
  LONG result = _output_WhitePage(pdev);
  if (result == 0 && pdev->jobInfo.sides == 2 && _isNeed_InsertWhitePage(pdev, 2)) result |= _output_WhitePage(pdev);
  return result;
}
