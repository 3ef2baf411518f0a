// The image-rotation judgement: whether the page image must be turned, from
// the finishing position, the paper feed and the layout (declarations in
// impose.h).
//
// Decisions:
//  - The request (JUDGE_REQUEST) carries the paper id and the staple and
//    punch edge codes (job information 160 and 162 translated through the
//    position tables), the input tray and the page's feed orientation, and
//    the layout's orientation, kind, N-up count and fallback value. The
//    logical page start fills it and keeps the answer in the page control's
//    word at offset 140 (1 turned, 0 not) for the image work.
//  - Feed values of the description's acceptable papers: 1 and 2 answer
//    themselves, 3 is both; a tray or paper without a record answers 0.
#include "impose.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/zanlib.h"

namespace {

constexpr WORD kEdgeTopLeft = 0x101, kEdgeTopRight = 0x202, kEdgeBottomLeft = 0x303, kEdgeBottomRight = 0x404;
constexpr WORD kEdgeSaddle = 0x606;
constexpr LONG kFeedBoth = 3;
constexpr WORD kTrayManual = 4;  // the tray whose "both" feed follows the orientation

LONG Finishing(WORD code, WORD paperId) {
  switch (code) {
    case kEdgeTopLeft:
    case kEdgeTopRight: return 1;
    case kEdgeBottomLeft:
    case kEdgeBottomRight: return 2;
    case kEdgeSaddle:
      switch (paperId) {
        case 1: case 9: case 13: case 258: case 283: return 2;
        case 3: case 8: case 12: case 257: case 282: return 1;
        default: return 0;
      }
    default: return 0;
  }
}

}  // namespace

LONG _Judge_WithFinishing(const JUDGE_REQUEST* r) {
  if (!r) return 0;
  const LONG staple = Finishing(r->stapleCode, r->paperId);
  return staple != 0 ? staple : Finishing(r->punchCode, r->paperId);
}

LONG _ddd_getFeedableOrientation(PDEV* pdev, WORD tray, WORD paperId) {
  if (!pdev || !pdev->ddd) return 0;
  void* record = nullptr;
  if (ddd_GetDataByIDX(DDD_QUICK, pdev->ddd->main, pdev->ddd->referenced, DDD_CAT_TRAY, tray, 0, &record) != DDD_OK ||
      !record)
    return 0;
  LONG feed = 0;
  for (WORD pos = 0;; ++pos) {
    const WORD* id = nullptr;
    if (ddd_GetAcceptablePaperID(record, pos, &id) != 0 || !id) break;
    if (*id != paperId) continue;
    WORD value = 0;
    if (ddd_GetAcceptableFeedID(record, pos, &value) == 0) feed = value;
    break;
  }
  ddd_Free(&record, DDD_CAT_TRAY);
  return feed;
}

LONG _Judge_PaperFeedOrient(PDEV* pdev, const JUDGE_REQUEST* r) {
  if (!r) return 0;
  const LONG feed = _ddd_getFeedableOrientation(pdev, r->tray, r->paperId);
  if (feed == 1 || feed == 2) return feed;
  if (feed == kFeedBoth) {
    if (r->tray == kTrayManual) return r->feedOrientation == 1 ? 2 : 1;
    return 2;
  }
  return 0;
}

LONG _Judge_WithLayout(LONG orientation, LONG kind, LONG nupCount, LONG fallback) {
  if (kind == 0 && (nupCount == 2 || nupCount == 8)) return orientation == 1 ? 1 : 2;
  if (kind == 1) return fallback;
  return orientation == 1 ? 2 : 1;
}

LONG JudgeImageRotation(PDEV* pdev, const JUDGE_REQUEST* r) {
  if (!r) return 0;
  LONG first = _Judge_WithFinishing(r);
  if (first == 0) first = _Judge_PaperFeedOrient(pdev, r);
  if (first == 0) return 0;
  return first != _Judge_WithLayout(r->orientation, r->kind, r->nupCount, r->fallback) ? 1 : 0;
}

BOOL Qf_IsSupportFunction(PDEV* pdev, DWORD functionId) {
  if (!pdev) return FALSE;
  return zanLib_IsSupportFuncWithVersion(pdev->jobInfo.pdlVersion, functionId) ? TRUE : FALSE;
}
