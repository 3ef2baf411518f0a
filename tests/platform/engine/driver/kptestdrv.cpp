// A small graphics driver for the runner tests: answers an entry table as a
// printer driver does, keeps a PDEV in engine memory, makes and associates a
// device surface, and writes a few bytes per document event through
// EngWritePrinter. With the drawing control on, its drawing calls record
// what they were given (paths, line attributes, brushes, clips).
#include "kptestdrv.h"

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <mutex>
#include <vector>

#define KTD_API extern "C" __attribute__((visibility("default")))

namespace {

KtdControl g_control = {DDI_DRIVER_VERSION_NT4, sizeof(DRVENABLEDATA), DDI_DRIVER_VERSION_NT4, kKtdTableNormal,
                        FALSE, FALSE, FALSE, 16, 0, 0, 0, 0, FALSE, FALSE, 0, 0, 0, 0, 0, 0, {}, FALSE};

constexpr ULONG kMagic = 0x4B544450;  // "PDTK"

struct Pdev {
  ULONG magic;
  HANDLE printer;
  HDEV hdev;
  HPALETTE palette;
  HSURF surface;
  ULONG pages;
};

// The "last call" controls are written under several threads' PDEVs (tests
// read them once their calls are done).
std::mutex g_lastLock;

// Counters of the controls change under several threads' PDEVs.
void count(LONG& counter, LONG by) { std::atomic_ref<LONG>(counter).fetch_add(by); }

Pdev* pdevOf(DHPDEV dhpdev) {
  auto* p = reinterpret_cast<Pdev*>(dhpdev);
  return p && p->magic == kMagic ? p : nullptr;
}

void trace(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  EngDebugPrint(const_cast<char*>("KTD: "), const_cast<char*>(format), ap);
  va_end(ap);
}

bool write(Pdev* p, const char* text, ULONG n) {
  DWORD written = 0;
  return EngWritePrinter(p->printer, const_cast<char*>(text), n, &written) && written == n;
}

Pdev* pdevOfSurface(SURFOBJ* pso) {
  Pdev* p = pso ? pdevOf(pso->dhpdev) : nullptr;
  if (!p) count(g_control.wrongSurfaces, 1);
  return p;
}

DHPDEV WINAPI EnablePDEV(DEVMODEW*, LPWSTR, ULONG cPat, HSURF* patterns, ULONG cjCaps, ULONG* caps, ULONG cjDevInfo,
                         DEVINFO* devinfo, HDEV hdev, LPWSTR deviceName, HANDLE printer) {
  if (g_control.failEnablePDEV || !caps || !devinfo || !printer) return nullptr;
  auto* p = static_cast<Pdev*>(EngAllocMem(FL_ZERO_MEMORY, sizeof(Pdev), KTD_POOL_TAG));
  if (!p) return nullptr;
  p->magic = kMagic;
  p->printer = printer;
  p->hdev = hdev;
  p->palette = EngCreatePalette(PAL_BGR, 0, nullptr, 0, 0, 0);
  if (!p->palette) {
    EngFreeMem(p);
    return nullptr;
  }
  GDIINFO gdi{};
  gdi.ulVersion = 0x400;
  gdi.ulTechnology = DT_RASPRINTER;
  gdi.ulHorzRes = 4760;
  gdi.ulVertRes = 6812;
  gdi.ulLogPixelsX = gdi.ulLogPixelsY = 600;
  std::memcpy(caps, &gdi, cjCaps < sizeof gdi ? cjCaps : sizeof gdi);
  DEVINFO dev{};
  dev.flGraphicsCaps = 0x11F;
  dev.iDitherFormat = BMF_24BPP;
  dev.hpalDefault = p->palette;
  std::memcpy(devinfo, &dev, cjDevInfo < sizeof dev ? cjDevInfo : sizeof dev);
  for (ULONG i = 0; i < cPat; ++i) patterns[i] = nullptr;
  count(g_control.livePdevs, 1);
  trace("EnablePDEV %ls %lu\n", deviceName, cjCaps);
  return reinterpret_cast<DHPDEV>(p);
}

VOID WINAPI CompletePDEV(DHPDEV dhpdev, HDEV hdev) {
  if (Pdev* p = pdevOf(dhpdev)) p->hdev = hdev;
}

VOID WINAPI DisablePDEV(DHPDEV dhpdev) {
  Pdev* p = pdevOf(dhpdev);
  if (!p) return;
  EngDeletePalette(p->palette);
  p->magic = 0;
  EngFreeMem(p);
  count(g_control.livePdevs, -1);
}

HSURF WINAPI EnableSurface(DHPDEV dhpdev) {
  Pdev* p = pdevOf(dhpdev);
  if (!p) return nullptr;
  HSURF s = EngCreateDeviceSurface(reinterpret_cast<DHSURF>(p), SIZEL{4760, 6812}, BMF_24BPP);
  if (!s) return nullptr;
  if (!g_control.skipAssociate &&
      !EngAssociateSurface(s, p->hdev, HOOK_BITBLT | HOOK_STRETCHBLT | HOOK_TEXTOUT | HOOK_STROKEPATH |
                                           HOOK_FILLPATH | HOOK_STROKEANDFILLPATH | HOOK_COPYBITS)) {
    EngDeleteSurface(s);
    return nullptr;
  }
  p->surface = s;
  return s;
}

VOID WINAPI DisableSurface(DHPDEV dhpdev) {
  Pdev* p = pdevOf(dhpdev);
  if (!p || !p->surface) return;
  EngDeleteSurface(p->surface);
  p->surface = nullptr;
}

BOOL WINAPI ResetPDEV(DHPDEV oldPdev, DHPDEV newPdev) {
  Pdev* o = pdevOf(oldPdev);
  Pdev* n = pdevOf(newPdev);
  if (!o || !n) {
    EngSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  n->pages = o->pages;
  g_control.lastResetPages = o->pages;
  return TRUE;
}

BOOL WINAPI StartDoc(SURFOBJ* pso, LPWSTR docName, DWORD jobId) {
  Pdev* p = pdevOfSurface(pso);
  {
    std::lock_guard<std::mutex> hold(g_lastLock);
    g_control.lastJobId = jobId;
    size_t n = 0;
    for (; docName && docName[n] && n + 1 < 32; ++n) g_control.lastDocName[n] = docName[n];
    g_control.lastDocName[n] = 0;
  }
  if (g_control.failStartDoc) {
    EngSetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  }
  return p && write(p, "<doc>", 5);
}

// Records the call, echoes the input into the output (as far as both go),
// and answers the controls' value.
ULONG WINAPI Escape(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
  if (!pdevOfSurface(pso)) return 0;
  count(g_control.escapes, 1);
  {
    std::lock_guard<std::mutex> hold(g_lastLock);
    g_control.lastEscape = iEsc;
    g_control.lastEscapeIn = cjIn;
    g_control.lastEscapeOut = cjOut;
  }
  if (pvIn && pvOut) std::memcpy(pvOut, pvIn, cjIn < cjOut ? cjIn : cjOut);
  return g_control.escapeAnswer;
}

BOOL WINAPI StartPage(SURFOBJ* pso) { return pdevOfSurface(pso) != nullptr; }

BOOL WINAPI SendPage(SURFOBJ* pso) {
  Pdev* p = pdevOfSurface(pso);
  if (!p) return FALSE;
  ++p->pages;
  char page[256];
  ULONG n = g_control.pageBytes < sizeof page ? g_control.pageBytes : sizeof page;
  std::memset(page, 'P', n);
  return write(p, page, n);
}

BOOL WINAPI EndDoc(SURFOBJ* pso, FLONG fl) {
  Pdev* p = pdevOfSurface(pso);
  if (!p) return FALSE;
  return (fl & ED_ABORTDOC) ? write(p, "<abort>", 7) : write(p, "</doc>", 6);
}

// ---- Drawing calls: each records what it got (KtdDrawing).
std::vector<KtdDrawing> g_drawings;  // under g_lastLock

// The realization: what the brush was made of.
BOOL WINAPI RealizeBrush(BRUSHOBJ* pbo, SURFOBJ*, SURFOBJ* pattern, SURFOBJ*, XLATEOBJ* xlo, ULONG iHatch) {
  auto* rb = static_cast<KtdBrush*>(BRUSHOBJ_pvAllocRbrush(pbo, sizeof(KtdBrush)));
  if (!rb) return FALSE;
  rb->solid = pbo->iSolidColor;
  rb->hatch = iHatch;
  if (pattern) {
    rb->format = pattern->iBitmapFormat;
    rb->size = pattern->sizlBitmap;
    if (pattern->pvScan0) {  // the top row with its padding
      const size_t row = static_cast<size_t>(pattern->lDelta < 0 ? -pattern->lDelta : pattern->lDelta);
      std::memcpy(rb->firstRow, pattern->pvScan0, row < sizeof rb->firstRow ? row : sizeof rb->firstRow);
    }
  }
  rb->colors[0] = xlo ? XLATEOBJ_iXlate(xlo, 0) : 0;
  rb->colors[1] = xlo ? XLATEOBJ_iXlate(xlo, 1) : 0;
  return TRUE;
}

KtdBrush brushOf(BRUSHOBJ* pbo) {
  KtdBrush b{};
  b.solid = pbo ? pbo->iSolidColor : KTD_NO_BRUSH;
  b.hatch = ~0u;
  if (pbo && pbo->iSolidColor == 0xFFFFFFFFu) {
    if (const auto* rb = static_cast<const KtdBrush*>(BRUSHOBJ_pvGetRbrush(pbo))) b = *rb;
  }
  return b;
}

void recordDrawing(ULONG index, PATHOBJ* ppo, CLIPOBJ* pco, LINEATTRS* la, BRUSHOBJ* stroke, BRUSHOBJ* fill,
                   MIX mix, FLONG options, const RECTL* target) {
  KtdDrawing d{};
  d.index = index;
  if (ppo) {
    d.pathFlags = ppo->fl;
    PATHOBJ_vEnumStart(ppo);
    PATHDATA pd;
    BOOL more;
    do {
      more = PATHOBJ_bEnum(ppo, &pd);
      if (pd.count == 0 && !more) break;
      if (d.records == 0 && pd.count) d.firstPoint = pd.pptfx[0];
      if (d.records < KTD_MAX_RECORDS) {
        d.recordFlags[d.records] = pd.flags;
        d.recordPoints[d.records] = pd.count;
      }
      ++d.records;
    } while (more);
  }
  if (la) {
    d.hasLine = TRUE;
    d.line = *la;
    d.line.pstyle = nullptr;
    for (ULONG i = 0; la->pstyle && i < la->cstyle && i < KTD_MAX_STYLE; ++i) d.style[i] = la->pstyle[i];
  }
  d.clipComplexity = pco ? pco->iDComplexity : 0xFF;
  if (pco) {
    d.clipBounds = pco->rclBounds;
    if (PATHOBJ* clipPath = CLIPOBJ_ppoGetPath(pco)) {
      PATHOBJ_vEnumStart(clipPath);
      PATHDATA pd;
      BOOL more;
      do {
        more = PATHOBJ_bEnum(clipPath, &pd);
        if (pd.flags & PD_BEGINSUBPATH) ++d.clipRects;
      } while (more);
      EngDeletePath(clipPath);
    }
  }
  d.stroke = brushOf(stroke);
  d.fill = brushOf(fill);
  d.mix = mix;
  d.fillOptions = options;
  if (target) d.target = *target;
  std::lock_guard<std::mutex> hold(g_lastLock);
  g_drawings.push_back(d);
}

BOOL WINAPI StrokePath(SURFOBJ*, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ*, BRUSHOBJ* pbo, POINTL*, LINEATTRS* la,
                       MIX mix) {
  recordDrawing(INDEX_DrvStrokePath, ppo, pco, la, pbo, nullptr, mix, 0, nullptr);
  return TRUE;
}
BOOL WINAPI FillPath(SURFOBJ*, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL*, MIX mix, FLONG options) {
  recordDrawing(INDEX_DrvFillPath, ppo, pco, nullptr, nullptr, pbo, mix, options, nullptr);
  return TRUE;
}
BOOL WINAPI StrokeAndFillPath(SURFOBJ*, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ*, BRUSHOBJ* stroke, LINEATTRS* la,
                              BRUSHOBJ* fill, POINTL*, MIX mix, FLONG options) {
  recordDrawing(INDEX_DrvStrokeAndFillPath, ppo, pco, la, stroke, fill, mix, options, nullptr);
  return TRUE;
}
BOOL WINAPI BitBlt(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ* pco, XLATEOBJ*, RECTL* target, POINTL*, POINTL*,
                   BRUSHOBJ* pbo, POINTL*, ROP4 rop4) {
  recordDrawing(INDEX_DrvBitBlt, nullptr, pco, nullptr, nullptr, pbo, rop4, 0, target);
  return TRUE;
}
BOOL WINAPI StretchBlt(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ* pco, XLATEOBJ*, COLORADJUSTMENT*, POINTL*,
                       RECTL* target, RECTL*, POINTL*, ULONG) {
  recordDrawing(INDEX_DrvStretchBlt, nullptr, pco, nullptr, nullptr, nullptr, 0, 0, target);
  return TRUE;
}
BOOL WINAPI TextOut(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ* pco, RECTL*, RECTL*, BRUSHOBJ* fore, BRUSHOBJ* opaque,
                    POINTL*, MIX mix) {
  recordDrawing(INDEX_DrvTextOut, nullptr, pco, nullptr, fore, opaque, mix, 0, nullptr);
  return TRUE;
}

VOID WINAPI DisableDriver() { count(g_control.driverDisables, 1); }

template <typename Fn>
PFN pfn(Fn f) {
  return reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(f));
}

DRVFN g_table[24];

}  // namespace

KTD_API KtdControl* KtdGetControl(void) { return &g_control; }

KTD_API ULONG KtdDrawingCount(void) {
  std::lock_guard<std::mutex> hold(g_lastLock);
  return static_cast<ULONG>(g_drawings.size());
}

KTD_API BOOL KtdGetDrawing(ULONG index, KtdDrawing* out) {
  std::lock_guard<std::mutex> hold(g_lastLock);
  if (index >= g_drawings.size() || !out) return FALSE;
  *out = g_drawings[index];
  return TRUE;
}

KTD_API void KtdClearDrawings(void) {
  std::lock_guard<std::mutex> hold(g_lastLock);
  g_drawings.clear();
}

KTD_API BOOL WINAPI DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded) {
  if (iEngineVersion < g_control.minEngineVersion || cj < g_control.minSize || !pded) {
    EngSetLastError(ERROR_BAD_DRIVER_LEVEL);
    return FALSE;
  }
  ULONG n = 0;
  g_table[n++] = {INDEX_DrvEnablePDEV, pfn(&EnablePDEV)};
  g_table[n++] = {INDEX_DrvCompletePDEV, pfn(&CompletePDEV)};
  g_table[n++] = {INDEX_DrvDisablePDEV, pfn(&DisablePDEV)};
  if (g_control.table != kKtdTableMissingEnableSurface) g_table[n++] = {INDEX_DrvEnableSurface, pfn(&EnableSurface)};
  g_table[n++] = {INDEX_DrvDisableSurface, pfn(&DisableSurface)};
  g_table[n++] = {INDEX_DrvResetPDEV, pfn(&ResetPDEV)};
  g_table[n++] = {INDEX_DrvDisableDriver, pfn(&DisableDriver)};
  if (!g_control.omitEscape) g_table[n++] = {INDEX_DrvEscape, pfn(&Escape)};
  if (!g_control.omitDocumentEntries) {
    g_table[n++] = {INDEX_DrvStartDoc, pfn(&StartDoc)};
    g_table[n++] = {INDEX_DrvStartPage, pfn(&StartPage)};
    g_table[n++] = {INDEX_DrvSendPage, pfn(&SendPage)};
    g_table[n++] = {INDEX_DrvEndDoc, pfn(&EndDoc)};
  }
  if (g_control.drawing) {
    g_table[n++] = {INDEX_DrvRealizeBrush, pfn(&RealizeBrush)};
    g_table[n++] = {INDEX_DrvStrokePath, pfn(&StrokePath)};
    g_table[n++] = {INDEX_DrvFillPath, pfn(&FillPath)};
    g_table[n++] = {INDEX_DrvStrokeAndFillPath, pfn(&StrokeAndFillPath)};
    g_table[n++] = {INDEX_DrvBitBlt, pfn(&BitBlt)};
    g_table[n++] = {INDEX_DrvStretchBlt, pfn(&StretchBlt)};
    g_table[n++] = {INDEX_DrvTextOut, pfn(&TextOut)};
  }
  if (g_control.table == kKtdTableDuplicateIndex) g_table[n++] = {INDEX_DrvEnablePDEV, pfn(&EnablePDEV)};
  if (g_control.table == kKtdTableIndexBeyondLast) g_table[0].iFunc = INDEX_LAST;
  if (g_control.table == kKtdTableNullAddress) g_table[1].pfn = nullptr;
  pded->iDriverVersion = g_control.driverVersion;
  pded->c = g_control.table == kKtdTableEmpty ? 0 : n;
  pded->pdrvfn = g_control.table == kKtdTableNullPointer ? nullptr : g_table;
  return TRUE;
}
