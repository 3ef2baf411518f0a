// The booklet's page flow (declarations in impose.h): every page of a book
// is stored with the base matrix, and the book is replayed surface by
// surface at its end, two logical pages a surface, each half through its
// placement matrix.
//
// Decisions:
//  - The job header of a booklet job goes out before its first book is
//    replayed (the stored pages need none); page control offset 100 counts
//    the books replayed, so the header goes out once.
//  - The header's booklet page count: the page control the renderer sends
//    (command 155) carries at offset 102 the pages of the book in the store
//    (the job's pages, or the first session's), sent once more just before
//    the header. The spooler side takes offset 100-103 from every 155 like
//    the rest of the renderer's words and counts nothing of its own there
//    (offset 100 is the renderer's header flag), so its header count reads
//    the renderer's number.
//  - The booklet page lookup gets the binding from the layout (offset 140,
//    1 or 2; 0 counts as 1), right-to-left from the booklet option (job
//    information 72) inverted for reverse order, and job information 76 as
//    its cover switch (as the job header's page count takes it) for the book
//    that holds the job's first page: the white page then fills the first
//    surface of the first sheet, and the surfaces are counted from the
//    second. The book's surfaces then print from the inside of the cover:
//    the first one's halves are exchanged (page 1 on the left as read,
//    behind the cover), the later ones carry the lookup's cover shift. The
//    lookup's other order (reverse order inverts the option: the inner
//    sheet first) puts the white page before the inner sheet, not on the
//    cover; left as the lookup has it.
//  - The banner (the leading white page, job information 136) goes out after
//    the header, before the book:
//      with job information 76: one white side, the first surface of the
//      first sheet, before each copy of the job's first book (the cover
//      switch leaves that surface to it in every copy);
//      otherwise (76 clear in mode 1, or mode 2): a white sheet of its own,
//      two sides, so that the book's surfaces keep their sheets; mode 1
//      once before the job's first book, mode 2 before each copy of every
//      book (a session's copies are sets of their own).
//    The banner's sides are not the book's: the header's page count does
//    not count them.
//  - The booklet sheet is the output paper printed with its long side
//    across; a paper fed portrait is turned land-to-port. The stored page
//    is fitted into each half (the halves split the sheet's printable area
//    at its middle).
//  - Rotation codes of _set_bookletParams: 1 + (binding 2 ? 2 : 0) + (odd
//    surface ? 1 : 0); codes 2 and 3 (the back surface of a left-bound
//    book, the front of a right-bound one) are turned by 180 degrees, so
//    that a surface and its back share the fold.
//  - Sessions (booklet kind 2) hold 4 x the sheets per session pages (job
//    information 68); the session check gets job information 76 as its
//    flag, and the session's first and last page on the job's scale (0 the
//    job's first page), so that only the job's first session is the one
//    the flag shortens. Partitions (kind 1) come from the booklet library with the
//    sheets per booklet of job information 68.
#include <utility>

#include "impose.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/render/xl_outbuf.h"
#include "km_entry.h"
#include "pageflow.h"

namespace {

constexpr WORD kBookletGrowth = 80;   // stored pages the store grows by
constexpr LONG kBookletMask = 62;     // capture mask of a booklet page (base-matrix bit 0x20 with it)
constexpr LONG kMaskAlone = 15;       // a page alone on its surface
constexpr LONG kMaskFirst = 9, kMaskSecond = 14;  // two pages sharing a surface
constexpr LONG kKindPartitions = 1, kKindSessions = 2;
constexpr LONG kBindingSecond = 2;
constexpr LONG kLeadEachSet = 2;  // leading-white-page mode: before the job and each copy set
constexpr WORD kNone = 0xFFFF;
constexpr ULONG kTag = 0x6D737044u;  // "Dpsm", the renderer's plain blocks

LONG Binding(const PDEV* pdev) { return pdev->layoutInfo.bookletDirection == kBindingSecond ? kBindingSecond : 1; }
LONG RightToLeft(const PDEV* pdev) { return (pdev->jobInfo.bookletOption != 0) != (pdev->jobInfo.reverseOrder != 0); }

LONG Place(PDEV* pdev, LONG logical, LONG half, LONG surface, LONG mask, LONG other) {
  BOOKLET_PARAM bp{};
  nrvxform m{};
  if (_set_bookletParams(pdev, &bp, half, surface) != 0 || booklet_getLayoutMatrics(&m, &bp) != 0) return -1;
  const float matrix[6] = {m.m11, m.m12, m.m21, m.m22, m.dx, m.dy};
  const WORD first = pdev->jobData->firstPage;
  const WORD page = static_cast<WORD>(first + logical);
  const WORD otherPage = other < 0 ? kNone : static_cast<WORD>(first + other);
  return pdl_ctrl_output_aStoredPage_withOtherPageColor(&pdev->layoutInfo, pdev, page, mask, matrix, otherPage,
                                                        pdev->jobInfo.colorModeAuto, kNone);
}

// Whether the store holds the job's first page (the store numbers pages
// from 1).
bool HoldsJobStart(const PDEV* pdev) { return pdev->jobData && pdev->jobData->firstPage == 1; }

// The job header of the book in the store, once: the page control first,
// with the book's page count for the header.
LONG BookletHeader(PDEV* pdev) {
  PAGECTRL& pc = pdev->pageCtrl;
  if (pc.pageFlow100 != 0) return 0;
  pc.bookletPageCount = pdev->jobData ? pdev->jobData->pageCount : 0;
  if (!pdl_setpagectrl(pdev)) return -1;
  return page_sendJobHeaderOnce(pdev);
}

// The banner before one copy (set) of the book in the store.
LONG Banner(PDEV* pdev, LONG set) {
  const JOBINFO& job = pdev->jobInfo;
  if (job.bookletShift != 0 && HoldsJobStart(pdev)) return _output_WhitePage(pdev);
  const bool due = job.leadingWhiteMode == kLeadEachSet || (job.leadingWhiteMode != 0 && set == 0 && HoldsJobStart(pdev));
  if (!due) return 0;
  LONG result = _output_WhitePage(pdev);
  if (result == 0) result |= _output_WhitePage(pdev);
  return result;
}

}  // namespace

LONG page_sendJobHeaderOnce(PDEV* pdev) {
  if (!pdev) return -1;
  PAGECTRL& pc = pdev->pageCtrl;
  if (pc.pageFlow100 != 0) return 0;
  pc.pageFlow100 = 1;
  return _sendJobHeader(pdev);
}

BOOL page_isBookletJob(const PDEV* pdev) {
  return pdev && pdev->jobInfo.booklet != 0 && pdev->jobInfo.poster == 0 && pdev->jobInfo.nup == 1 ? TRUE : FALSE;
}

LONG _set_bookletParams(PDEV* pdev, BOOKLET_PARAM* bp, LONG half, LONG surface) {
  if (!pdev || !bp) return -1;
  const LAYOUTINFO& L = pdev->layoutInfo;
  PAGEINFO page{};
  if (_setPageInfoStruct(&L, &page) != 0) return -1;
  BOOKLET_PARAM p{};
  p.pageWidth = static_cast<float>(page.pagePaperWidth);
  p.pageLength = static_cast<float>(page.pagePaperLength);
  p.pageLeft = static_cast<float>(page.pageArea.left);
  p.pageTop = static_cast<float>(page.pageArea.top);
  p.pageRight = static_cast<float>(page.pageArea.right);
  p.pageBottom = static_cast<float>(page.pageArea.bottom);
  const JOBREC_PAPER& out = L.outputPaper;
  p.landscape = out.width < out.height ? 1 : 0;  // fed portrait: printed turned
  const LONG across = p.landscape ? out.height : out.width, down = p.landscape ? out.width : out.height;
  const LONG areaX = p.landscape ? out.top : out.left, areaY = p.landscape ? out.left : out.top;
  const LONG areaW = p.landscape ? out.imageableHeight : out.imageableWidth;
  const LONG areaH = p.landscape ? out.imageableWidth : out.imageableHeight;
  p.sheetWidth = static_cast<float>(l_dmm2dev(&L, across, LAYOUT_AXIS_X));
  p.sheetLength = static_cast<float>(l_dmm2dev(&L, down, LAYOUT_AXIS_Y));
  p.areaLeft = static_cast<float>(l_dmm2dev(&L, areaX, LAYOUT_AXIS_X));
  p.areaTop = static_cast<float>(l_dmm2dev(&L, areaY, LAYOUT_AXIS_Y));
  p.areaRight = p.areaLeft + static_cast<float>(l_dmm2dev(&L, areaW, LAYOUT_AXIS_X));
  p.areaBottom = p.areaTop + static_cast<float>(l_dmm2dev(&L, areaH, LAYOUT_AXIS_Y));
  p.half = half != 0 ? 1 : 0;
  p.resolutionX = L.resolutionX;
  p.resolutionY = L.resolutionY;
  p.rotationCode = 1 + (Binding(pdev) == kBindingSecond ? 2 : 0) + ((surface & 1) ? 1 : 0);
  p.rotate180 = p.rotationCode == 2 || p.rotationCode == 3 ? 1 : 0;
  *bp = p;
  return 0;
}

LONG _outputStoredPage_forBookletWithPage(PDEV* pdev, LONG first, LONG last) {
  if (!pdev || !pdev->jobData || first < 0 || last < first) return -1;
  // The cover switch only for the book of the job's first page; the lookup
  // numbers the store's pages from 0.
  const LONG cover = pdev->jobInfo.bookletShift != 0 && HoldsJobStart(pdev) ? 1 : 0;
  const LONG binding = Binding(pdev), rtl = RightToLeft(pdev);
  const LONG surfaces = booklet_getNumOfPaperSurfaces(first, last, cover);
  LONG result = 0;
  for (LONG c = 0; c < surfaces && result == 0; ++c) {
    LONG a = booklet_getLogicalPage(first, last, c, 0, binding, rtl, cover);
    LONG b = booklet_getLogicalPage(first, last, c, 1, binding, rtl, cover);
    // The cover book's first surface is the back of the white page's sheet
    // (the inside of the cover); the lookup leaves it out of the cover's
    // shift and lays it out as a front, which put page 1 behind the back
    // cover: its halves are exchanged.
    if (cover && rtl && c == 0) std::swap(a, b);
    if (a == BOOKLET_BLANK && b == BOOKLET_BLANK) {
      result |= _output_WhitePage(pdev);
    } else if (a == BOOKLET_BLANK || b == BOOKLET_BLANK) {
      result |= Place(pdev, a != BOOKLET_BLANK ? a : b, a != BOOKLET_BLANK ? 0 : 1, c, kMaskAlone, -1);
    } else {
      result |= Place(pdev, a, 0, c, kMaskFirst, b);
      result |= Place(pdev, b, 1, c, kMaskSecond, a);
    }
  }
  return result;
}

LONG _outputStoredPage_forBooklet(PDEV* pdev) {
  if (!pdev || !pdev->jobData) return -1;
  const LONG pages = pdev->jobData->pageCount;
  if (pages == 0) return 0;
  const JOBINFO& job = pdev->jobInfo;
  if (job.bookletKind != kKindPartitions) return _outputStoredPage_forBookletWithPage(pdev, 0, pages - 1);
  const LONG k = booklet_getBookletPartitionList(pages, job.reverseOrder, job.bookletValue, nullptr);
  if (k <= 0) return k < 0 ? -1 : 0;
  auto* list = static_cast<BOOKLET_PARTITION*>(
      EngAllocMem(FL_ZERO_MEMORY, static_cast<ULONG>(sizeof(BOOKLET_PARTITION) * static_cast<size_t>(k)), kTag));
  if (!list) return -1;
  LONG result = booklet_getBookletPartitionList(pages, job.reverseOrder, job.bookletValue, list);
  for (LONG i = 0; i < k && result == 0; ++i) result |= _outputStoredPage_forBookletWithPage(pdev, list[i].first, list[i].last);
  EngFreeMem(list);
  return result;
}

LONG booklet_StartPage(PDEV* pdev) {
  if (!pdev) return -1;
  PAGECTRL& pc = pdev->pageCtrl;
  JOBINFO& job = pdev->jobInfo;
  const WORD page = static_cast<WORD>(pc.physicalPages + 1);
  LONG result = 0;
  if (pc.pageStore == PDL_STORE_IDLE) {
    // The start of a book.
    result |= pdl_ctrl_pageStoring_init(pdev, page, kBookletGrowth);
    ZANLIB_CAPABILITY caps{};
    const bool unit = pdev->ddd && zanLib_GetDDDCapabilities(pdev->ddd, &caps) && (caps.word0 & JOBREC_CAP_BOOKLET_UNIT);
    job.bookletOption = unit ? 0 : 1;
  } else if (!pdev->jobData || page != pdev->jobData->firstPage + pdev->jobData->pageCount) {
    return -1;  // each page of a book is the next in sequence
  }
  // The page's place in the store first (the store grows to hold it), then
  // its paper information.
  if (result == 0)
    result |= pdl_ctrl_pageStoring_start(pdev, page, pc.pageColorMode, kBookletMask, job.fewColorEnable,
                                         static_cast<WORD>(job.fewColorLimit), job.fewColorValue);
  if (result == 0) result |= pdl_ctrl_setPaperInfo(pdev, &pdev->layoutInfo, pdev->layoutInfo.landscapeOutput, page);
  return result;
}

LONG booklet_EndPage(PDEV* pdev) {
  if (!pdev || !pdev->jobData) return -1;
  const WORD page = static_cast<WORD>(pdev->jobData->firstPage + pdev->jobData->pageCount);
  LONG result = pdl_ctrl_pageStoring_stop(pdev, page);
  const JOBINFO& job = pdev->jobInfo;
  if (result == 0 && job.bookletKind == kKindSessions) {
    // The session check counts on the job's scale (its first page is 0; the
    // store numbers pages from 1); the book's output counts within the
    // session's own store.
    const LONG count = pdev->jobData->pageCount;
    const LONG first = static_cast<LONG>(pdev->jobData->firstPage) - 1;
    if (booklet_checkSession(first, first + count - 1, job.bookletValue, job.bookletShift) == 1) {
      result |= BookletHeader(pdev);
      // The session's book once a collated set.
      const LONG sets = page_collatedSets(pdev);
      for (LONG set = 0; set < sets && result == 0; ++set) {
        result |= Banner(pdev, set);
        if (result == 0) result |= _outputStoredPage_forBookletWithPage(pdev, 0, count - 1);
      }
      result |= pdl_ctrl_pageStoring_dispose(pdev);
    }
  }
  return result;
}

LONG booklet_EndDoc(PDEV* pdev) {
  if (!pdev) return -1;
  if (!page_isBookletJob(pdev)) return 0;
  LONG result = BookletHeader(pdev);
  if (result == 0 && pdev->pageCtrl.pageStore == PDL_STORE_INITIALISED) {
    // The books once a collated set (store-all-pages with driver-made
    // collated copies; reverse order is the page lookup's).
    const LONG sets = page_collatedSets(pdev);
    for (LONG set = 0; set < sets && result == 0; ++set) {
      result |= Banner(pdev, set);
      if (result == 0) result |= _outputStoredPage_forBooklet(pdev);
    }
    result |= pdl_ctrl_pageStoring_dispose(pdev);
  }
  return result;
}
