// The job records: building them at job start, page counting, point
// conversion and their byte form. Decisions are listed in kestrel/render/jobrec.h.
#include "kestrel/render/jobrec.h"

#include <cstring>

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
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR slot = 0;
    if (ddm_GetValue(id, dm_, pd_, &type, &size, &slot) != 0 || type == DDM_TYPE_STRING || type == DDM_TYPE_FONT) {
      Fail(id);
      return 0;
    }
    switch (type) {
      case DDM_TYPE_SHORT: return static_cast<int16_t>(slot & 0xFFFF);
      case DDM_TYPE_WORD: return static_cast<LONG>(slot & 0xFFFF);
      case DDM_TYPE_BYTE: return static_cast<LONG>(slot & 0xFF);
      default: return static_cast<LONG>(static_cast<uint32_t>(slot));
    }
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
  const bool autoColor = r.Set(1289);
  switch (r.Num(270)) {
    case 0: j.colorMode = 0; break;
    case 1: j.colorMode = 1; break;
    case 2: j.colorMode = 2; break;
    case 3: j.colorMode = autoColor ? 0 : 2; break;
    default: r.Fail(270);
  }
  j.colorModeAuto = autoColor ? 1 : 0;
  j.fewColorEnable = (r.Is(4129, 1) && r.Is(5153, 1) && j.colorMode == 0) ? 1 : 0;
  if (j.fewColorEnable) {
    const LONG few = r.Num(5126);
    j.fewColorLimit = few & 0xFF;
    const LONG bits = (few >> 8) & 0xF;
    if (bits > 1) r.Fail(5126);
    j.fewColorValue = bits;
  }
  switch (r.Num(16)) {
    case 1: j.sides = 1; break;
    case 2:
    case 3: j.sides = 2; break;
    default: r.Fail(16);
  }
  const LONG nup = r.Num(295);
  switch (nup) {
    case 1: case 2: case 4: case 8: case 16: case 32: j.nup = static_cast<uint16_t>(nup); break;
    default: r.Fail(295);
  }
  j.skipBlankPages = r.Set(1334) ? 1 : 0;
  const LONG layoutMode = r.Num(321);
  j.poster = layoutMode == 1 ? 1 : 0;
  if (j.poster) {
    switch (r.Num(296)) {
      case 514: j.posterAcross = j.posterDown = 2; break;
      case 771: j.posterAcross = j.posterDown = 3; break;
      case 1028: j.posterAcross = j.posterDown = 4; break;
      default: r.Fail(296);
    }
    j.posterCropMarks = r.Set(1285) ? 1 : 0;
  }
  j.booklet = layoutMode == 2 ? 1 : 0;
  if (j.booklet) {
    const LONG kind = r.Num(446) & 0xFF;
    if (kind > 2) r.Fail(446);
    j.bookletKind = kind;
    if (kind == 1) j.bookletValue = r.Num(5158);
    if (kind == 2) j.bookletValue = r.Num(323);
  }
  j.bookletCountInHeader = ((caps & JOBREC_CAP_BOOKLET_COUNT) && j.bookletKind == 1 && r.Is(1328, 1)) ? 1 : 0;
  if (r.HasText(297) && (r.HasText(299) || r.HasText(1857))) {
    if (r.Set(1288))
      j.stampOnFirst = 1;
    else
      j.stampOnAll = 1;
    j.stampValue1 = r.Num(1286);
    j.stampValue2 = r.Num(1287);
  }
  const bool combined = j.nup > 1 || j.booklet;
  j.value100 = (!combined && r.Is(262, 267)) ? 1 : 0;
  j.value104 = combined ? 0 : 1;
  if (PdlSupportsClass21(version)) {
    j.value120 = r.Is(1293, 1) ? 1 : 0;
    j.value124 = r.Is(1294, 1) ? 1 : 0;
  } else {
    j.value120 = j.value124 = -1;
  }
  const LONG form = r.Num(339);
  j.formRegistration = form == 1 ? 1 : 0;
  j.formOverlay = (form != 0 && form != 1) ? 1 : 0;
  if ((caps & JOBREC_CAP_LEADING_WHITE) && r.Set(404)) {
    j.leadingWhiteMode = r.Set(1340) ? 1 : 2;
    j.leadingWhiteValue = r.Num(407);
  } else {
    switch (r.Num(332)) {
      case 0: j.leadingWhiteMode = 0; break;
      case 1: j.leadingWhiteMode = 1; break;
      case 2: j.leadingWhiteMode = PdlSupportsClass21(version) ? 2 : 0; break;
      default: r.Fail(332);
    }
    j.leadingWhiteValue = r.Num(333);
  }
  for (WORD i = 0; i < 6; ++i) {
    const bool on = r.Set(static_cast<WORD>(1296 + i));
    if (on) j.headerFooter = 1;
    j.headerFooterItems[i] = on ? static_cast<uint16_t>(r.Num(static_cast<WORD>(351 + i))) : 0xFFFF;
  }
  j.value156 = 1;
  j.value160 = static_cast<uint16_t>(r.Num(326));
  j.value162 = static_cast<uint16_t>(r.Num(344));
  j.value164 = r.Set(383) ? 1 : 0;
  j.value168 = r.Set(387) ? 1 : 0;
  const LONG copies = r.Num(12);
  j.copies = static_cast<uint16_t>(copies);
  const bool collate = r.Is(18, 1);
  j.driverCollate = (copies != 1 && (caps & JOBREC_CAP_DRIVER_COLLATE) && collate &&
                     (r.Is(1344, 0) || (r.Is(4123, 0) && r.Is(4099, 0))))
                        ? 1
                        : 0;
  j.reverseOrder = r.Is(1312, 1) ? 1 : 0;
  j.storeAllPages = (j.driverCollate || j.reverseOrder) ? 1 : 0;
  j.orientationComment = (r.Is(5149, 1) && j.formRegistration == 0) ? 1 : 0;
  j.trailerJobInfo = (caps & JOBREC_CAP_TRAILER_JOBINFO) ? 1 : 0;
  j.collate = collate ? 1 : 0;
  j.value220 = r.Is(1320, 1) ? 1 : 0;
  switch (r.Num(334)) {
    case 1: j.jobType = 1; break;
    case 2: j.jobType = 2; break;
    case 3: j.jobType = 3; break;
    case 5: j.jobType = 4; break;
    default: j.jobType = 0;
  }
  if (r.Set(1313)) j.value228 = (r.Num(441) & 0xFF) ? 2 : 1;
  j.feature405 = (r.Set(405) && (caps & JOBREC_CAP_FEATURE_405)) ? 1 : 0;
  j.feature406 = (r.Set(406) && (caps & JOBREC_CAP_FEATURE_406)) ? 1 : 0;
  j.value1300 = static_cast<uint16_t>(r.Num(408));
  j.value1302 = static_cast<uint16_t>(r.Num(409));
  if (j.feature406)
    for (WORD i = 0; i < 20; ++i) j.feature406Values[i] = static_cast<int16_t>(r.Num(static_cast<WORD>(1834 + i)));

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
  std::memcpy(l.inputPaper, layoutInfo->inputPaper, sizeof l.inputPaper);
  std::memcpy(l.outputPaper0, layoutInfo->outputPaper0, 68 - 36);
  std::memcpy(l.inputTray, layoutInfo->inputTray, sizeof l.inputTray);
  std::memcpy(l.appMargins, layoutInfo->appMargins, sizeof l.appMargins);

  const bool posterOrBooklet = jobInfo->poster || jobInfo->booklet;
  const LONG v437 = r.Num(437) & 0xFF;
  if (v437 > 3) r.Fail(437);
  l.value68 = v437;
  if (!posterOrBooklet) {
    switch (r.Num(16)) {
      case 1: l.binding = 0; break;
      case 2: l.binding = 2; break;
      case 3: l.binding = 1; break;
      default: r.Fail(16);
    }
  }
  const bool noMargin =
      posterOrBooklet || ((device->capabilities & JOBREC_CAP_JOBTYPE_NO_MARGIN) && jobInfo->jobType == 3);
  if (!noMargin) {
    switch (r.Num(267)) {
      case 0: l.marginPosition = 0; break;
      case 1: case 3: l.marginPosition = 1; break;
      case 2: case 7: l.marginPosition = 2; break;
      case 5: case 6: l.marginPosition = 3; break;
      case 4: case 8: l.marginPosition = 4; break;
      default: r.Fail(267);
    }
    if (l.marginPosition != 0) {
      l.margin1 = static_cast<uint16_t>(r.Num(268));
      l.margin2 = static_cast<uint16_t>(r.Num(269));
    }
  }
  l.zoomOn = (jobInfo->nup <= 1 && r.Set(1281)) ? 1 : 0;
  if (l.zoomOn) {
    const LONG zoom = r.Num(263);
    if (zoom < 25 || zoom > 400) r.Fail(263);
    l.zoomPercent = static_cast<uint16_t>(zoom);
  } else {
    l.zoomPercent = 100;
    l.value92 = r.Set(1283) ? 1 : 0;
  }
  if (!posterOrBooklet) {
    const LONG v264 = r.Num(264);
    if (v264 < 0 || v264 > 6) r.Fail(264);
    l.value100 = v264;
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
  LONG orientation = r.Num(294);
  if (orientation == 0) orientation = r.Num(7);
  switch (orientation) {
    case 1: l.orientation = 0; break;
    case 2: l.orientation = 1; break;
    default: r.Fail(orientation == 0 ? 7 : 294);
  }
  l.paperTurned = l.orientation != l.gridTurned ? 1 : 0;
  LONG dpi = r.Num(20);
  if (dpi <= 0) dpi = 600;
  if (dpi > 0xFFFF) r.Fail(20);
  l.resolutionX = l.resolutionY = static_cast<uint16_t>(dpi);
  if (jobInfo->booklet) {
    l.booklet1291 = r.Num(1291);
    if (l.booklet1291) {
      l.booklet1292 = r.Num(1292);
      l.booklet324 = r.Num(324);
    }
    switch (r.Num(322)) {
      case 0: l.bookletDirection = 1; break;
      case 1: l.bookletDirection = 2; break;
      default: r.Fail(322);
    }
  }
  if (jobInfo->poster) {
    l.posterAcross = jobInfo->posterAcross;
    l.posterDown = jobInfo->posterDown;
  } else {
    l.posterAcross = l.posterDown = 1;
    const LONG v382 = r.Num(382);
    l.value148 = (v382 >= 1 && v382 <= 4) ? v382 : 0;
  }
  const LONG v459 = r.Num(459);
  l.value164 = (v459 == 1 || v459 == 2) ? v459 : 0;
  if (l.value164 == 1) {
    l.value168 = static_cast<uint16_t>(r.Num(460));
    l.value170 = static_cast<uint16_t>(r.Num(461));
  }

  const LONG result = Finish(r, badDdmId);
  if (result == JOBREC_OK) *layoutInfo = l;
  return result;
}

void jobInfo_pageCtrl_clearCounters(PAGECTRL* p) {
  if (!p) return;
  p->sheets = p->physicalPages = p->logicalPages = p->logicalOnPhysical = p->side = 0;
  p->value100 = p->bookletPageCount = 0;
  p->value104 = p->value116 = p->value120 = p->value140 = p->value144 = 0;
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
    if (r.Set(1332) && !r.failed()) return version;
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
  p->value144 = 0;
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
