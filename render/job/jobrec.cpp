// The job records: building them at job start, page counting, point
// conversion and their byte form. Decisions are listed in kestrel/render/jobrec.h.
#include "kestrel/render/jobrec.h"

#include <cstring>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kplatform/wide_text.h"

namespace {

// Reads settings by DDM id and remembers the first one that failed.
class Reader {
 public:
  Reader(void* devmode, void* printerData) : dm_(devmode), pd_(printerData) {}

  // The value as a signed number (16-bit signed members sign-extended).
  LONG Num(WORD id) {
    LONG v = 0;
    if (!ddm_GetNumber(id, dm_, pd_, &v)) {
      Fail(id);
      return 0;
    }
    return v;
  }
  bool Set(WORD id) { return Num(id) != 0; }
  bool Is(WORD id, LONG v) { return Num(id) == v; }
  // A string member that holds at least one character.
  bool HasText(WORD id) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR slot = 0;
    if (ddm_GetValue(id, dm_, pd_, &type, &size, &slot) != 0 || type != DDM_TYPE_STRING || slot == 0) {
      Fail(id);
      return false;
    }
    char16_t first;
    std::memcpy(&first, reinterpret_cast<const void*>(slot), sizeof first);
    return first != 0;
  }
  void Fail(WORD id) {
    if (!failed_) {
      failed_ = true;
      bad_ = id;
    }
  }
  bool failed() const { return failed_; }
  WORD bad() const { return bad_; }

 private:
  void* dm_;
  void* pd_;
  bool failed_ = false;
  WORD bad_ = 0;
};

// DDM_OUTPUTSIZE: the output takes the original's size.
constexpr LONG kOutputSameAsOriginal = 267;

bool PdlSupportsClass21(DWORD version) { return version >= 0x02010000 && version <= JOBREC_PDL_MAX; }

LONG Finish(const Reader& r, WORD* badDdmId) {
  if (badDdmId) *badDdmId = r.bad();
  return r.failed() ? JOBREC_ERR_VALUE : JOBREC_OK;
}

uint16_t SatInc(uint16_t v) { return v == 0xFFFF ? v : static_cast<uint16_t>(v + 1); }

}  // namespace

LONG jobInfo_jobInfo_initAtJobStart(JOBINFO* jobInfo, void* devmode, void* printerData, const JOBREC_DEVICE* device,
                                    WORD* badDdmId) {
  if (badDdmId) *badDdmId = 0;
  if (!jobInfo || !devmode || !printerData || !device) return JOBREC_ERR_ARG;
  if (device->pdlVersion < JOBREC_PDL_MIN || device->pdlVersion > JOBREC_PDL_MAX) return JOBREC_ERR_VALUE;
  const DWORD caps = device->capabilities;
  const DWORD version = device->pdlVersion;
  Reader r(devmode, printerData);
  JOBINFO j{};
  // What is kept over a rebuild: the names and the handle set at enable and
  // StartDoc are not settings.
  std::memcpy(j.documentName, jobInfo->documentName, sizeof j.documentName);
  std::memcpy(j.outputName, jobInfo->outputName, sizeof j.outputName);
  j.printerHandle = jobInfo->printerHandle;

  j.pdlVersion = version;
  const bool autoColor = r.Set(DDM_COLORMODEAUTO);
  switch (r.Num(DDM_COLORMODE)) {
    case 0: j.colorMode = 0; break;
    case 1: j.colorMode = 1; break;
    case 2: j.colorMode = 2; break;
    case 3: j.colorMode = autoColor ? 0 : 2; break;
    default: r.Fail(DDM_COLORMODE);
  }
  j.colorModeAuto = autoColor ? 1 : 0;
  j.fewColorEnable = (r.Is(DDM_COLORSENSORUNIT, 1) && r.Is(DDM_SPECIAL1, 1) && j.colorMode == 0) ? 1 : 0;
  if (j.fewColorEnable) {
    const LONG few = r.Num(DDM_FEW_COLOR_SETTING);
    j.fewColorLimit = few & 0xFF;
    const LONG bits = (few >> 8) & 0xF;
    if (bits > 1) r.Fail(DDM_FEW_COLOR_SETTING);
    j.fewColorValue = bits;
  }
  switch (r.Num(DDM_DUPLEX)) {
    case DMDUP_SIMPLEX: j.sides = 1; break;
    case DMDUP_VERTICAL:
    case DMDUP_HORIZONTAL: j.sides = 2; break;
    default: r.Fail(DDM_DUPLEX);
  }
  const LONG nup = r.Num(DDM_NUP);
  switch (nup) {
    case 1: case 2: case 4: case 8: case 16: case 32: j.nup = static_cast<uint16_t>(nup); break;
    default: r.Fail(DDM_NUP);
  }
  j.skipBlankPages = r.Set(DDM_SKIP_BLANK_PAGES) ? 1 : 0;
  const LONG layoutMode = r.Num(DDM_LAYOUTMODE);
  j.poster = layoutMode == 1 ? 1 : 0;
  if (j.poster) {
    switch (r.Num(DDM_POSTERPARTS)) {
      case 514: j.posterAcross = j.posterDown = 2; break;
      case 771: j.posterAcross = j.posterDown = 3; break;
      case 1028: j.posterAcross = j.posterDown = 4; break;
      default: r.Fail(DDM_POSTERPARTS);
    }
    j.posterCropMarks = r.Set(DDM_POSTER_CROP_MARKS) ? 1 : 0;
  }
  j.booklet = layoutMode == 2 ? 1 : 0;
  if (j.booklet) {
    const LONG kind = r.Num(DDM_BOOKLETKIND) & 0xFF;
    if (kind > 2) r.Fail(DDM_BOOKLETKIND);
    j.bookletKind = kind;
    if (kind == 1) j.bookletValue = r.Num(DDM_MAXBOOKLETNUMBER);
    if (kind == 2) j.bookletValue = r.Num(DDM_BOOKLETNUMBER);
  }
  j.bookletCountInHeader =
      ((caps & JOBREC_CAP_BOOKLET_COUNT) && j.bookletKind == 1 && r.Is(DDM_SADDLESTAPLE, 1)) ? 1 : 0;
  if (r.HasText(DDM_STAMPNAME) && (r.HasText(DDM_STAMP_TEXT_NAME) || r.HasText(DDM_STAMP_BITMAP_NAME))) {
    if (r.Set(DDM_STAMP_FIRST_PAGE))
      j.stampOnFirst = 1;
    else
      j.stampOnAll = 1;
    j.stampValue1 = r.Num(DDM_MEMBER_1286);
    j.stampValue2 = r.Num(DDM_STAMP_TRANSPARENT);
  }
  const bool combined = j.nup > 1 || j.booklet;
  j.sameOutputSize = (!combined && r.Is(DDM_OUTPUTSIZE, kOutputSameAsOriginal)) ? 1 : 0;
  j.onePagePerSheet = combined ? 0 : 1;
  if (PdlSupportsClass21(version)) {
    j.cureDrawModeA = r.Is(DDM_CURE_DRAW_MODE_A, 1) ? 1 : 0;
    j.cureDrawModeB = r.Is(DDM_CURE_DRAW_MODE_B, 1) ? 1 : 0;
  } else {
    j.cureDrawModeA = j.cureDrawModeB = -1;
  }
  const LONG form = r.Num(DDM_FORM_REGISTRATION);
  j.formRegistration = form == 1 ? 1 : 0;
  j.formOverlay = (form != 0 && form != 1) ? 1 : 0;
  if ((caps & JOBREC_CAP_LEADING_WHITE) && r.Set(DDM_INSERT_SHEET_1)) {
    j.leadingWhiteMode = r.Set(DDM_MEMBER_1340) ? 1 : 2;
    j.leadingWhiteValue = r.Num(DDM_INSERT_SHEET_1_VALUE);
  } else {
    switch (r.Num(DDM_BANNER_SHEET)) {
      case 0: j.leadingWhiteMode = 0; break;
      case 1: j.leadingWhiteMode = 1; break;
      case 2: j.leadingWhiteMode = PdlSupportsClass21(version) ? 2 : 0; break;
      default: r.Fail(DDM_BANNER_SHEET);
    }
    j.leadingWhiteValue = r.Num(DDM_BANNER_SHEET_VALUE);
  }
  for (WORD i = 0; i < 6; ++i) {
    const bool on = r.Set(static_cast<WORD>(DDM_HEADERFOOTER_ON_FIRST + i));
    if (on) j.headerFooter = 1;
    j.headerFooterItems[i] =
        on ? static_cast<uint16_t>(r.Num(static_cast<WORD>(DDM_HEADERFOOTER_ITEM_FIRST + i))) : 0xFFFF;
  }
  j.alwaysOne = 1;
  j.stapleEdge = static_cast<uint16_t>(r.Num(DDM_STAPLEEDGE));
  j.punchEdge = static_cast<uint16_t>(r.Num(DDM_PUNCHEDGE));
  j.edgeToEdge = r.Set(DDM_EDGE_TO_EDGE) ? 1 : 0;
  j.appMargins = r.Set(DDM_APP_MARGINS) ? 1 : 0;
  const LONG copies = r.Num(DDM_COPIES);
  j.copies = static_cast<uint16_t>(copies);
  const bool collate = r.Is(DDM_COLLATE, DMCOLLATE_TRUE);
  // The job header's copy count (core/ejcl, HintCopies) tests the same
  // condition: keep the two alike.
  j.driverCollate = (copies != 1 && (caps & JOBREC_CAP_DRIVER_COLLATE) && collate &&
                     (r.Is(DDM_MEMBER_1344, 0) || (r.Is(DDM_JOB_SEPARATOR, 0) && r.Is(DDM_FINISHER_UNIT, 0))))
                        ? 1
                        : 0;
  j.reverseOrder = r.Is(DDM_REVERSE_ORDER, 1) ? 1 : 0;
  j.storeAllPages = (j.driverCollate || j.reverseOrder) ? 1 : 0;
  j.orientationComment = (r.Is(DDM_ORIENTATION_COMMENT, 1) && j.formRegistration == 0) ? 1 : 0;
  j.trailerJobInfo = (caps & JOBREC_CAP_TRAILER_JOBINFO) ? 1 : 0;
  j.collate = collate ? 1 : 0;
  j.member1320Set = r.Is(DDM_MEMBER_1320, 1) ? 1 : 0;
  switch (r.Num(DDM_JOBTYPE)) {
    case 1: j.jobType = 1; break;
    case 2: j.jobType = 2; break;
    case 3: j.jobType = 3; break;
    case 5: j.jobType = 4; break;
    default: j.jobType = 0;
  }
  if (r.Set(DDM_MEMBER_1313)) j.member1313Mode = (r.Num(DDM_MEMBER_441) & 0xFF) ? 2 : 1;
  j.feature405 = (r.Set(DDM_INSERT_SHEET_2) && (caps & JOBREC_CAP_FEATURE_405)) ? 1 : 0;
  j.feature406 = (r.Set(DDM_INSERT_SHEET_3) && (caps & JOBREC_CAP_FEATURE_406)) ? 1 : 0;
  j.insertSheet2Value = static_cast<uint16_t>(r.Num(DDM_INSERT_SHEET_2_VALUE));
  j.insertSheet3Value = static_cast<uint16_t>(r.Num(DDM_INSERT_SHEET_3_VALUE));
  if (j.feature406)
    for (WORD i = 0; i < 20; ++i)
      j.feature406Values[i] = static_cast<int16_t>(r.Num(static_cast<WORD>(DDM_INSERT_POSITION_FIRST + i)));

  const LONG result = Finish(r, badDdmId);
  if (result == JOBREC_OK) *jobInfo = j;
  return result;
}

LONG jobInfo_layoutInfo_initAtJobStart(LAYOUTINFO* layoutInfo, const JOBINFO* jobInfo, void* devmode,
                                       void* printerData, const JOBREC_DEVICE* device, WORD* badDdmId) {
  if (badDdmId) *badDdmId = 0;
  if (!layoutInfo || !jobInfo || !devmode || !printerData || !device) return JOBREC_ERR_ARG;
  Reader r(devmode, printerData);
  LAYOUTINFO l{};
  // The paper steps and the margin escape own these bytes.
  l.inputPaper = layoutInfo->inputPaper;
  l.landscapeOutput = layoutInfo->landscapeOutput;
  l.outputPaper = layoutInfo->outputPaper;
  l.inputTray = layoutInfo->inputTray;
  std::memcpy(l.appMargins, layoutInfo->appMargins, sizeof l.appMargins);

  const bool posterOrBooklet = jobInfo->poster || jobInfo->booklet;
  const LONG rotate180 = r.Num(DDM_ROTATE_180_KIND) & 0xFF;
  if (rotate180 > 3) r.Fail(DDM_ROTATE_180_KIND);
  l.rotate180Kind = rotate180;
  if (!posterOrBooklet) {
    switch (r.Num(DDM_DUPLEX)) {
      case DMDUP_SIMPLEX: l.binding = 0; break;
      case DMDUP_VERTICAL: l.binding = 2; break;
      case DMDUP_HORIZONTAL: l.binding = 1; break;
      default: r.Fail(DDM_DUPLEX);
    }
  }
  const bool noMargin =
      posterOrBooklet || ((device->capabilities & JOBREC_CAP_JOBTYPE_NO_MARGIN) && jobInfo->jobType == 3);
  if (!noMargin) {
    switch (r.Num(DDM_MARGINPOSITION)) {
      case 0: l.marginPosition = 0; break;
      case 1: case 3: l.marginPosition = 1; break;
      case 2: case 7: l.marginPosition = 2; break;
      case 5: case 6: l.marginPosition = 3; break;
      case 4: case 8: l.marginPosition = 4; break;
      default: r.Fail(DDM_MARGINPOSITION);
    }
    if (l.marginPosition != 0) {
      l.margin1 = static_cast<uint16_t>(r.Num(DDM_MARGINVALUE1));
      l.margin2 = static_cast<uint16_t>(r.Num(DDM_MARGINVALUE2));
    }
  }
  l.zoomOn = (jobInfo->nup <= 1 && r.Set(DDM_ZOOM_ON)) ? 1 : 0;
  if (l.zoomOn) {
    const LONG zoom = r.Num(DDM_ZOOM);
    if (zoom < 25 || zoom > 400) r.Fail(DDM_ZOOM);
    l.zoomPercent = static_cast<uint16_t>(zoom);
  } else {
    l.zoomPercent = 100;
    l.member1283Set = r.Set(DDM_MEMBER_1283) ? 1 : 0;
  }
  if (!posterOrBooklet) {
    const LONG order = r.Num(DDM_PAGE_ORDER);
    if (order < 0 || order > 6) r.Fail(DDM_PAGE_ORDER);
    l.pageOrder = order;
  }
  l.nup = posterOrBooklet ? 1 : jobInfo->nup;
  switch (l.nup) {
    case 2: l.gridColumns = 1; l.gridRows = 2; break;
    case 4: l.gridColumns = 2; l.gridRows = 2; break;
    case 8: l.gridColumns = 2; l.gridRows = 4; break;
    case 16: l.gridColumns = 4; l.gridRows = 4; break;
    case 32: l.gridColumns = 4; l.gridRows = 8; break;
    default: l.gridColumns = 1; l.gridRows = 1;
  }
  l.gridTurned = (l.nup == 2 || l.nup == 8 || l.nup == 32) ? 1 : 0;
  LONG orientation = r.Num(DDM_LAYOUT_ORIENTATION);
  if (orientation == 0) orientation = r.Num(DDM_ORIENTATION);
  switch (orientation) {
    case DMORIENT_PORTRAIT: l.orientation = 0; break;
    case DMORIENT_LANDSCAPE: l.orientation = 1; break;
    default: r.Fail(orientation == 0 ? DDM_ORIENTATION : DDM_LAYOUT_ORIENTATION);
  }
  l.paperTurned = l.orientation != l.gridTurned ? 1 : 0;
  LONG dpi = r.Num(DDM_PRINTQUALITY);
  if (dpi <= 0) dpi = 600;
  if (dpi > 0xFFFF) r.Fail(DDM_PRINTQUALITY);
  l.resolutionX = l.resolutionY = static_cast<uint16_t>(dpi);
  if (jobInfo->booklet) {
    l.booklet1291 = r.Num(DDM_BOOKLET_MARGIN_ON);
    if (l.booklet1291) {
      l.booklet1292 = r.Num(DDM_MEMBER_1292);
      l.booklet324 = r.Num(DDM_BOOKLETMARGIN);
    }
    switch (r.Num(DDM_BOOKLET_DIRECTION)) {
      case 0: l.bookletDirection = 1; break;
      case 1: l.bookletDirection = 2; break;
      default: r.Fail(DDM_BOOKLET_DIRECTION);
    }
  }
  if (jobInfo->poster) {
    l.posterAcross = jobInfo->posterAcross;
    l.posterDown = jobInfo->posterDown;
  } else {
    l.posterAcross = l.posterDown = 1;
    const LONG m382 = r.Num(DDM_MEMBER_382);
    l.member382 = (m382 >= 1 && m382 <= 4) ? m382 : 0;
  }
  const LONG m459 = r.Num(DDM_MEMBER_459);
  l.member459 = (m459 == 1 || m459 == 2) ? m459 : 0;
  if (l.member459 == 1) {
    l.member460 = static_cast<uint16_t>(r.Num(DDM_MEMBER_460));
    l.member461 = static_cast<uint16_t>(r.Num(DDM_MEMBER_461));
  }

  const LONG result = Finish(r, badDdmId);
  if (result == JOBREC_OK) *layoutInfo = l;
  return result;
}

void jobInfo_pageCtrl_clearCounters(PAGECTRL* p) {
  if (!p) return;
  p->sheets = p->physicalPages = p->logicalPages = p->logicalOnPhysical = p->side = 0;
  p->pageFlow100 = p->bookletPageCount = 0;
  p->pageFlow104 = p->pageFlow116 = p->pageFlow120 = p->pageFlow140 = p->physicalPageFlow = 0;
}

void jobInfo_setNames(JOBINFO* jobInfo, const WCHAR* documentName, const WCHAR* outputName) {
  if (!jobInfo) return;
  auto copy = [](char16_t (&to)[JOBREC_NAME_CHARS + 1], const WCHAR* from) {
    std::memset(to, 0, sizeof to);
    kp_WideCopy(to, from, JOBREC_NAME_CHARS);
  };
  copy(jobInfo->documentName, documentName);
  copy(jobInfo->outputName, outputName);
}

BOOL jobInfo_setPrinterHandle(JOBINFO* jobInfo, HANDLE printer) {
  if (!jobInfo) return FALSE;
  const auto value = reinterpret_cast<intptr_t>(printer);
  if (value < INT32_MIN || value > INT32_MAX) {
    jobInfo->printerHandle = 0;
    return FALSE;
  }
  jobInfo->printerHandle = static_cast<uint32_t>(static_cast<int32_t>(value));
  return TRUE;
}

HANDLE jobrec_HandleFromWire(uint32_t wire) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(static_cast<int32_t>(wire)));
}

DWORD jobInfo_getPDLVersion_forApplink(DWORD version, void* devmode, void* printerData) {
  if (version >= JOBREC_PDL_MIN && version <= JOBREC_PDL_MAX && devmode) {
    Reader r(devmode, printerData);
    if (r.Set(DDM_APPLINK_PDL_VERSION) && !r.failed()) return version;
  }
  return JOBREC_PDL_MIN;
}

BOOL _pageCtrl_nextPage_Logical(PAGECTRL* p, const JOBINFO* jobInfo) {
  if (!p || !jobInfo) return FALSE;
  p->logicalPages = SatInc(p->logicalPages);
  p->logicalOnPhysical = SatInc(p->logicalOnPhysical);
  const uint16_t nup = jobInfo->nup ? jobInfo->nup : 1;
  return p->logicalOnPhysical >= nup ? TRUE : FALSE;
}

void _pageCtrl_nextPage_Physical(PAGECTRL* p) {
  if (!p) return;
  p->logicalOnPhysical = 0;
  p->physicalPages = SatInc(p->physicalPages);
  p->side = SatInc(p->side);
  p->physicalPageFlow = 0;
}

void _pageCtrl_StartPage_Physical(PAGECTRL* p, const JOBINFO* jobInfo, BOOL forced) {
  if (!p || !jobInfo) return;
  const bool reached = p->side >= jobInfo->sides;
  if (forced || reached) p->sheets = SatInc(p->sheets);
  if (reached) p->side = 0;
}

void _pageCtrl_EndJob(PAGECTRL* p, const JOBINFO* jobInfo) {
  if (!p || !jobInfo) return;
  uint32_t sheets = p->sheets;
  if (p->side != 0) ++sheets;
  const uint32_t copies = jobInfo->copies > 0 && jobInfo->copies < 0x8000 ? jobInfo->copies : 1;
  sheets *= copies;
  p->sheets = static_cast<uint16_t>(sheets > 0xFFFF ? 0xFFFF : sheets);
}

void ConvertPointfixParam(const POINTFIX* in, POINTL* out, ULONG count) {
  if (!in || !out) return;
  for (ULONG i = 0; i < count; ++i) {
    out[i].x = in[i].x >> 4;
    out[i].y = in[i].y >> 4;
  }
}

void jobrec_Store(const JOBINFO* in, BYTE (&out)[sizeof(JOBINFO)]) { std::memcpy(out, in, sizeof out); }
void jobrec_Store(const LAYOUTINFO* in, BYTE (&out)[sizeof(LAYOUTINFO)]) { std::memcpy(out, in, sizeof out); }
void jobrec_Store(const PAGECTRL* in, BYTE (&out)[sizeof(PAGECTRL)]) { std::memcpy(out, in, sizeof out); }

namespace {
template <typename T>
BOOL LoadRecord(T* out, const BYTE* bytes, DWORD size) {
  if (!out || !bytes || size != sizeof(T)) return FALSE;
  std::memcpy(out, bytes, sizeof(T));
  return TRUE;
}
}  // namespace

BOOL jobrec_Load(JOBINFO* out, const BYTE* bytes, DWORD size) { return LoadRecord(out, bytes, size); }
BOOL jobrec_Load(LAYOUTINFO* out, const BYTE* bytes, DWORD size) { return LoadRecord(out, bytes, size); }
BOOL jobrec_Load(PAGECTRL* out, const BYTE* bytes, DWORD size) { return LoadRecord(out, bytes, size); }
