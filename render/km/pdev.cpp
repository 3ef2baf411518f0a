// The PDEV: its creation from the CreateDC devmode (DrvEnablePDEV), what it
// reports to the engine (GDIINFO, DEVINFO), the move of a job to a new PDEV
// (DrvResetPDEV), the drawing surface, the four document calls, and freeing.
//
// Decisions:
//  - The devmode is checked first: a null devmode, or one whose
//    dmDriverExtra + 220 is not 5464 or whose word at offset 5440 is not 24,
//    gives no PDEV (no error set) before anything is built.
//  - The local copy of the devmode (5440 bytes) comes from the PDEV heap,
//    not the stack, and is freed before DrvEnablePDEV returns.
//  - A scale (DDM 11) of 0 or less gives no PDEV: the sizes of GDIINFO are
//    divided by it. A print quality (DDM 20) of 0 or less (the devmode's
//    quality levels) means 600 dpi wherever the resolution is used.
//  - Every failure after the heap exists frees everything built so far:
//    the palette, the substitution table, the printer-data record, the
//    description handle, the forms' paper records, the escape blocks, the
//    heap (with the PDEV) and the resource module's start; the description
//    semaphore is always released.
//  - The trace log's switches are read again right after the resource module
//    started in DrvEnablePDEV: kestrel.cfg lies in the driver directory, which
//    the kernel build learns only from the driver's path given there, so the
//    switches read before (at DrvEnableDriver) could not see the file.
//  - The TrueType substitution table is read with no engine device: when the
//    printer data has none, the default table is built from the description
//    handle this PDEV already holds instead of opening the data a second
//    time. The result is the same table.
//  - FillPsDevCaps: the printable size and offset follow the four cases as
//    given, including the offsets of a description paper: (m1.x, m2.y)
//    upright and (m1.y, m1.x) turned, although the forms code builds the
//    imageable area from m1 = (left, top). The two agree on every paper of
//    both models (equal margins on all sides); which pair a paper with
//    unequal margins should report is left to the layout work, which owns
//    the turned page's geometry. Application margins are taken only when they are not negative and
//    leave a printable size above 0 in both directions; other margins are
//    ignored (the paper's own printable area stands), so GDIINFO never
//    reports a negative or empty printable area.
//  - When the description paper's size is not in the forms database
//    (form_GetPaperSize answers 2: a paper only the model knows), its lower
//    size bound is the paper size; any other failure fails the call.
//  - GDIINFO copies at most sizeof(GDIINFO) = 264 bytes; DEVINFO at most
//    sizeof(DEVINFO) = 304 bytes in this build (296 on the 32-bit platform,
//    where the palette handle is 4 bytes).
//  - DrvResetPDEV: the new PDEV also takes the output-failed bit (0x8), the
//    whole escape state (with the escape status word, the form-file switch
//    and the document name, which the in-band 152 of later pages carries),
//    and the escape blocks are moved, not shared: once the reset has succeeded
//    the new PDEV owns them and the old one's pointers are cleared, so each
//    block is freed exactly once. A failed reset leaves both PDEVs as they
//    were (apart from the carried flags), and the engine keeps the old one.
//  - DrvStartDoc after a reset (bit 0x100000) continues the job only when the
//    reset actually carried a started job; otherwise it starts one as any
//    DrvStartDoc does, so a reset between documents does not leave the next
//    document without a job.
//  - The document calls report the failures of the job-control steps they
//    call (DrvStartDoc fails when the job can't be enabled or started and
//    clears bit 0x4 again; DrvSendPage and DrvEndDoc fail when ending the
//    page or the document fails) instead of answering TRUE regardless.
//  - DrvEndDoc disables the job after an abort as well (jobCtrl_Disable and
//    psflush run in both cases), so an aborted job's record is not left
//    enabled.
#include <cstring>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/render/km_forms.h"
#include "kestrel/render/km_services.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/logout.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/ttsubst.h"
#include "kplatform/byte_order.h"
#include "kestrel/render/xl_outbuf.h"
#include "kestrel/core/zanlib.h"
#include "devfont.h"
#include "fontcache.h"
#include "km_entry.h"
#include "pesc.h"

// The driver's semaphores (made by DrvEnableDriver, entry.cpp).
std::atomic<HSEMAPHORE> hDddSemaphore{nullptr};
std::atomic<HSEMAPHORE> hFontNameSemaphore{nullptr};

BOOL km_PublishSemaphore(std::atomic<HSEMAPHORE>& slot) {
  if (slot.load(std::memory_order_acquire)) return TRUE;
  HSEMAPHORE made = EngCreateSemaphore();
  if (!made) return FALSE;
  HSEMAPHORE none = nullptr;
  if (!slot.compare_exchange_strong(none, made, std::memory_order_acq_rel)) EngDeleteSemaphore(made);
  return TRUE;
}

namespace {

constexpr DWORD kCreateDcSize = NRV_DEVMODE_SIZE_CREATEDC;  // 5464
constexpr DWORD kMarkerOffset = NRV_DEVMODE_SIZE_FULL;      // 5440
constexpr WORD kMarker = 24;
constexpr DWORD kAppMarginOffset = 5442;
constexpr DWORD kEmulationOffset = 5456;
constexpr DWORD kPreConfigOffset = 5460;
constexpr DWORD kDriverExtraOffset = 70;
constexpr LONG kDefaultDpi = 600;
constexpr DWORD kTraceEnable = 0x10000;
constexpr DWORD kTraceReset = 0x20000;
constexpr DWORD kTraceStartDoc = 0x80000;
constexpr DWORD kTraceStartPage = 0x100000;

constexpr FLONG kSurfaceHooks = HOOK_BITBLT | HOOK_STRETCHBLT | HOOK_TEXTOUT | HOOK_STROKEPATH | HOOK_FILLPATH |
                                HOOK_STROKEANDFILLPATH | HOOK_COPYBITS;
static_assert(kSurfaceHooks == 0x4EB);

// GDIINFO.ulVersion as the engine has always been given it: 0x400, not the
// printer-driver GDI_DRIVER_VERSION (0x4000).
constexpr ULONG kGdiInfoVersion = 0x400;
constexpr ULONG kTextCaps = TC_OP_CHARACTER | TC_OP_STROKE | TC_CP_STROKE | TC_CR_ANY | TC_SF_X_YINDEP | TC_SA_DOUBLE |
                            TC_SA_INTEGER | TC_SA_CONTIN | TC_UA_ABLE | TC_SO_ABLE;
static_assert(kTextCaps == 0x19F7);
constexpr ULONG kGraphicsCaps =
    GCAPS_BEZIERS | GCAPS_GEOMETRICWIDE | GCAPS_ALTERNATEFILL | GCAPS_WINDINGFILL | GCAPS_HALFTONE | GCAPS_OPAQUERECT;
static_assert(kGraphicsCaps == 0x11F);
constexpr ULONG kGraphicsCapsNoCopies = GCAPS_DONTJOURNAL;  // added when DDM_NO_APP_COPY_COUNT is 0
constexpr ULONG kHTFlags = 2;
constexpr ULONG kHTOutputFormatColor = 2;

// A numeric member of the PDEV's records; false when it can't be read.
bool ReadNum(PDEV* pdev, WORD id, LONG* out) { return ddm_GetNumber(id, pdev->devmode, pdev->printerData, out); }
// The same, or `fallback` when it can't be read.
LONG Num(PDEV* pdev, WORD id, LONG fallback = 0) {
  LONG v = 0;
  return ReadNum(pdev, id, &v) ? v : fallback;
}

bool IsColor(PDEV* pdev) { return Num(pdev, DDM_COLOR) == DMCOLOR_COLOR; }

void TraceDevmode(DWORD category, LPCWSTR title, void* devmode, void* printerData) {
  Logout_OutputDDM(category, title, devmode, printerData);
}

// ---- Escape blocks: owned by one PDEV at a time ---------------------------------

void FreeEscapeBlocks(PDEV* pdev) {
  if (PDEV_HEADERFOOTER* hf = pdev->headerFooter) {
    for (BYTE*& block : hf->blocks) {
      kcore_Free(block);
      block = nullptr;
    }
    kcore_Free(hf);
    pdev->headerFooter = nullptr;
  }
  kcore_Free(pdev->colorServerBlock);
  pdev->colorServerBlock = nullptr;
  for (PDEV_BLOCK& b : pdev->securityMarking) {
    kcore_Free(b.data);
    b = PDEV_BLOCK{};
  }
}

// Hands the blocks of `from` to `to` (whose own blocks are freed first) and
// clears them in `from`.
void MoveEscapeBlocks(PDEV* from, PDEV* to) {
  FreeEscapeBlocks(to);
  to->headerFooter = from->headerFooter;
  from->headerFooter = nullptr;
  to->colorServerBlock = from->colorServerBlock;
  from->colorServerBlock = nullptr;
  for (DWORD i = 0; i < PDEV_GSB_BLOCKS; ++i) {
    to->securityMarking[i] = from->securityMarking[i];
    from->securityMarking[i] = PDEV_BLOCK{};
  }
}

// ---- The printable area (0.1 mm) ---------------------------------------------------

struct Area {
  LONG px, py;  // paper size
  LONG sx, sy;  // printable size
  LONG ox, oy;  // printable offset
};

LONG TenthMm(LONG psReal) { return (PSRealToMicron(psReal) + 50) / 100; }

bool PaperArea(PDEV* pdev, Area* a) {
  const PRINTERFORM& form = pdev->curForm;
  if (const DDD_PAPER* rec = form.paperRecord) {
    if (rec->marginId == 0 || rec->imageableId == 0) return false;  // no margins or bounds
    const DDD_POINT m1 = rec->marginFirst;
    const DDD_POINT m2 = rec->marginSecond;
    WORD sizes[6] = {};
    LONG w = 0, l = 0;
    WORD answer = form_GetPaperSize(pdev->hPrinter, form.formName, 0, sizes);
    if (answer == FORMS_OK) {
      w = sizes[0];
      l = sizes[1];
    } else if (answer == FORMS_NOTFOUND) {
      w = rec->paperLower.first;
      l = rec->paperLower.second;
    } else {
      return false;
    }
    LONG along = w - m2.first - m1.first;
    LONG across = l - m2.second - m1.second;
    if (along > rec->imageableUpper.first) along = rec->imageableUpper.first;
    if (along < rec->imageableLower.first) along = rec->imageableLower.first;
    if (across > rec->imageableUpper.second) across = rec->imageableUpper.second;
    if (across < rec->imageableLower.second) across = rec->imageableLower.second;
    if (form.landscape) {
      *a = Area{l, w, across, along, m1.second, m1.first};
    } else {
      *a = Area{w, l, along, across, m1.first, m2.second};
    }
    return true;
  }
  a->px = TenthMm(form.paperWidth);
  a->py = TenthMm(form.paperLength);
  a->sx = TenthMm(form.imageableRight - form.imageableLeft);
  a->sy = TenthMm(form.imageableBottom - form.imageableTop);
  a->ox = (a->px - a->sx) / 2;
  a->oy = (a->py - a->sy) / 2;
  return true;
}

void ApplyAppMargins(PDEV* pdev, const PDEV_APPMARGINS* app, Area* a) {
  if (!app || Num(pdev, DDM_APP_MARGINS) != 1) return;
  LONG paper = 0;
  if (!ReadNum(pdev, DDM_PAPERSIZE, &paper) || static_cast<SHORT>(kp_LoadU16(app->bytes)) != paper) return;
  LONG left = static_cast<SHORT>(kp_LoadU16(app->bytes + 4));
  LONG right = static_cast<SHORT>(kp_LoadU16(app->bytes + 6));
  LONG top = static_cast<SHORT>(kp_LoadU16(app->bytes + 8));
  LONG bottom = static_cast<SHORT>(kp_LoadU16(app->bytes + 10));
  if (left < 0 || right < 0 || top < 0 || bottom < 0) return;
  Area m = *a;
  if (Num(pdev, DDM_ORIENTATION) == DMORIENT_PORTRAIT) {
    m.sx = a->px - right - left;
    m.sy = a->py - bottom - top;
    m.ox = left;
    m.oy = top;
  } else {
    m.sx = a->px - top - bottom;
    m.sy = a->py - right - left;
    m.ox = bottom;
    m.oy = left;
  }
  if (m.sx <= 0 || m.sy <= 0) return;
  *a = m;
}

}  // namespace

// sRGB-like description of the device's colours for the engine's halftoning
// (chromaticities and luminance in units of 1/10000): the sRGB primaries
// (red 0.64/0.33, green 0.30/0.60, blue 0.15/0.06 with luminance 0.2126,
// 0.7152, 0.0722), the secondaries as the sums of their two primaries (cyan
// 0.2247/0.3287 Y 0.7874, magenta 0.3209/0.1542 Y 0.2848, yellow
// 0.4193/0.5053 Y 0.9278), a D65 white (0.3127/0.3290, Y 1), gamma 2.2 for
// each channel, and ideal dyes (no dye in another's colour). The device pel
// size is left to the engine (0: derived from the resolution); the fallback
// pattern size is the one 600 dpi takes (7).
const KM_DEVHTINFO DefDevHTInfo = {
    0,
    7,
    0,
    {
        {6400, 3300, 2126},   // Red
        {3000, 6000, 7152},   // Green
        {1500, 600, 722},     // Blue
        {2247, 3287, 7874},   // Cyan
        {3209, 1542, 2848},   // Magenta
        {4193, 5053, 9278},   // Yellow
        {3127, 3290, 10000},  // AlignmentWhite
        22000,                // RedGamma
        22000,                // GreenGamma
        22000,                // BlueGamma
        0, 0, 0, 0, 0, 0,     // dye contamination
    },
};

BOOL bValidatePDEV(const PDEV* pdev) {
  return pdev && pdev->headMagic == PDEV_MAGIC && pdev->tailMagic == PDEV_MAGIC ? TRUE : FALSE;
}

PDEV* pdev_FromHandle(DHPDEV dhpdev) {
  auto* pdev = reinterpret_cast<PDEV*>(dhpdev);
  if (!bValidatePDEV(pdev)) {
    EngSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return pdev;
}

PDEV* pdev_FromSurface(SURFOBJ* pso) {
  if (!pso) {
    EngSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return pdev_FromHandle(pso->dhpdev);
}

LONG pdev_GetDpi(PDEV* pdev) {
  LONG dpi = Num(pdev, DDM_PRINTQUALITY);
  return dpi > 0 ? dpi : kDefaultDpi;
}

LONG w40c_Round(LONG a, LONG b, LONG c) {
  if (c == 0) return 0;
  long long product = static_cast<long long>(a) * b;
  long long q = product / c;
  long long r = product % c;
  if (r * 10 / c > 4) ++q;
  if (q > 0x7FFFFFFF) q = 0x7FFFFFFF;
  if (q < -0x7FFFFFFF - 1) q = -0x7FFFFFFF - 1;
  return static_cast<LONG>(q);
}

// ---- DrvEnablePDEV and what it calls ------------------------------------------------

BOOL FillPsDevData(PDEV* pdev, const BYTE* devmode, LPCWSTR) {
  pdev->headMagic = PDEV_MAGIC;
  pdev->tailMagic = PDEV_MAGIC;
  pdev->ddiFlags = 0;

  if (!pdev->ddd) return FALSE;
  pdev->printerData = static_cast<BYTE*>(_HEAPALLOC(pdev->heap, NRV_PRINTERDATA_SIZE, 0));
  if (!pdev->printerData) return FALSE;
  std::memset(pdev->printerData, 0, NRV_PRINTERDATA_SIZE);
  if (!pd_GetPrinterData(pdev->hPrinter, pdev->printerData, pdev->ddd)) return FALSE;

  // The DEVMODEW and private parts; the non-devmode part stays zero until
  // escape 0x5005 or DrvResetPDEV fills it.
  std::memcpy(pdev->devmode, devmode, NRV_DEVMODE_SIZE_KIND1);

  LONG scale = 0;
  if (!ReadNum(pdev, DDM_SCALE, &scale) || scale <= 0) return FALSE;

  if (!SetFormMetrics(pdev)) return FALSE;

  pdev->copies = static_cast<DWORD>(Num(pdev, DDM_COPIES));
  pdev->ttSubstTable = ttsb_CurrentTrueTypeSubstTable(pdev->hPrinter, 0, nullptr);
  if (!pdev->ttSubstTable) pdev->ttSubstTable = ttsb_DefaultTrueTypeSubstTable(pdev->ddd);
  if (!pdev->ttSubstTable) return FALSE;

  pdev->reserved256 = 256;
  pdev->logicalResolution = static_cast<DWORD>(pdev_GetDpi(pdev) * scale / 100);
  pdev->stampMode = 0;
  pdev->faxFlag = zanLib_GetDeviceType(pdev->ddd) == 2 ? 1 : 0;
  pdev->startDocFlag = 0;
  return TRUE;
}

BOOL FillPsDevCaps(PDEV* pdev, const PDEV_APPMARGINS* appMargins, ULONG cjCaps, ULONG* pdevcaps) {
  if (!pdev || !pdevcaps) return FALSE;
  Area a{};
  if (!PaperArea(pdev, &a)) return FALSE;
  if (Num(pdev, DDM_EDGE_TO_EDGE) == 1) {
    a.ox = a.oy = 0;
    a.sx = a.px;
    a.sy = a.py;
  }
  ApplyAppMargins(pdev, appMargins, &a);

  LONG scale = 0;
  if (!ReadNum(pdev, DDM_SCALE, &scale) || scale <= 0) return FALSE;
  const LONG dpi = pdev_GetDpi(pdev);
  const bool color = IsColor(pdev);

  GDIINFO gdi{};
  gdi.ulVersion = kGdiInfoVersion;
  gdi.ulTechnology = DT_RASPRINTER;
  gdi.ulHorzSize = static_cast<ULONG>(w40c_Round(a.sx, 10, scale));
  gdi.ulVertSize = static_cast<ULONG>(w40c_Round(a.sy, 10, scale));
  gdi.ulHorzRes = static_cast<ULONG>(w40c_Round(a.sx, dpi, 254));
  gdi.ulVertRes = static_cast<ULONG>(w40c_Round(a.sy, dpi, 254));
  gdi.cBitsPixel = color ? 24 : 1;
  gdi.cPlanes = 1;
  gdi.ulNumColors = color ? (Num(pdev, DDM_REPORT_FULL_COLOR) == 1 ? 0xFFFFFFu : 16u) : 2u;
  gdi.flRaster = 0;
  gdi.ulLogPixelsX = gdi.ulLogPixelsY = pdev->logicalResolution;
  gdi.flTextCaps = kTextCaps;
  gdi.ulDACRed = gdi.ulDACGreen = gdi.ulDACBlue = 0;
  gdi.ulAspectX = gdi.ulAspectY = static_cast<ULONG>(dpi);
  gdi.ulAspectXY = static_cast<ULONG>(dpi * 1414 / 1000);
  gdi.xStyleStep = 1;
  gdi.yStyleStep = 1;
  gdi.denStyleStep = dpi / 25;
  gdi.ptlPhysOffset.x = w40c_Round(a.ox, dpi, 254);
  gdi.ptlPhysOffset.y = w40c_Round(a.oy, dpi, 254);
  gdi.szlPhysSize.cx = w40c_Round(a.px, dpi, 254);
  gdi.szlPhysSize.cy = w40c_Round(a.py, dpi, 254);
  gdi.ulNumPalReg = 0;
  gdi.ciDevice = DefDevHTInfo.ColorInfo;
  gdi.ulDevicePelsDPI = DefDevHTInfo.DevPelsDPI;
  gdi.ulPrimaryOrder = 0;
  gdi.ulHTPatternSize = PickDefaultHTPatSize(static_cast<ULONG>(dpi), static_cast<ULONG>(dpi), FALSE);
  if (gdi.ulHTPatternSize > 15) gdi.ulHTPatternSize = DefDevHTInfo.HTPatternSize;
  gdi.ulHTOutputFormat = color && Num(pdev, DDM_COLORMODE) != 1 ? kHTOutputFormatColor : 0;
  gdi.flHTFlags = kHTFlags;
  std::memcpy(pdevcaps, &gdi, cjCaps < sizeof gdi ? cjCaps : sizeof gdi);

  return jobCtrl_privateEscape_init(pdev) == 0 ? TRUE : FALSE;
}

BOOL FillPsDevInfo(PDEV* pdev, ULONG cjDevInfo, DEVINFO* pdi) {
  if (!pdev || !pdi) return FALSE;
  DEVINFO info{};
  info.flGraphicsCaps = kGraphicsCaps;
  if (Num(pdev, DDM_NO_APP_COPY_COUNT) == 0) info.flGraphicsCaps |= kGraphicsCapsNoCopies;
  if (pdev->cDeviceFonts > 0) {
    if (!SetDefaultFont_pdl(pdev, &info.lfDefaultFont) && !devfont_FirstFontAsDefault(pdev, &info.lfDefaultFont))
      return FALSE;
    info.lfAnsiVarFont = info.lfDefaultFont;
    info.lfAnsiFixFont = info.lfDefaultFont;
    static constexpr char16_t kVar[] = u"Helvetica";
    static constexpr char16_t kFix[] = u"Courier";
    std::memset(info.lfAnsiVarFont.lfFaceName, 0, sizeof info.lfAnsiVarFont.lfFaceName);
    std::memset(info.lfAnsiFixFont.lfFaceName, 0, sizeof info.lfAnsiFixFont.lfFaceName);
    std::memcpy(info.lfAnsiVarFont.lfFaceName, kVar, sizeof kVar);
    std::memcpy(info.lfAnsiFixFont.lfFaceName, kFix, sizeof kFix);
    info.lfAnsiVarFont.lfCharSet = 0;
    info.lfAnsiFixFont.lfCharSet = 0;
    info.lfAnsiVarFont.lfPitchAndFamily = 0x22;
    info.lfAnsiFixFont.lfPitchAndFamily = 0x31;
  }
  info.cFonts = (Num(pdev, DDM_TRUETYPE) == 1 || Num(pdev, DDM_NO_DEVICE_FONTS) == 1) ? 0 : pdev->cDeviceFonts;
  info.iDitherFormat = BMF_24BPP;
  info.cxDither = 0;
  info.cyDither = 0;
  if (pdev->hpal) {
    EngDeletePalette(pdev->hpal);
    pdev->hpal = nullptr;
  }
  pdev->hpal = EngCreatePalette(PAL_BGR, 0, nullptr, 0, 0, 0);
  if (!pdev->hpal) return FALSE;
  info.hpalDefault = pdev->hpal;
  std::memcpy(pdi, &info, cjDevInfo < sizeof info ? cjDevInfo : sizeof info);
  return TRUE;
}

void FreePdevMemory(PDEV* pdev) {
  if (!pdev) return;
  void* heap = pdev->heap;
  FreeEscapeBlocks(pdev);
  jobCtrl_ReleasePdev(pdev);
  xlfont_FreeCache(pdev);  // fonts still listed (their removal was not written)
  devfont_Free(pdev);
  if (pdev->ttSubstTable) ttsb_FreeTrueTypeSubstTable(pdev->ttSubstTable);
  pdev->ttSubstTable = nullptr;
  if (pdev->printerData) HEAPFREE(heap, pdev->printerData);
  pdev->printerData = nullptr;
  form_FreePaperRecords(pdev);
  if (pdev->ddd) cddd_Close(pdev->ddd);
  pdev->ddd = nullptr;
  pdev->dddMain = pdev->dddReferenced = nullptr;
  pdev->headMagic = pdev->tailMagic = 0;
  HEAPDESTROY(heap);  // the PDEV itself goes with the heap
}

namespace {

// Everything a failed DrvEnablePDEV built, after the heap and the PDEV exist.
DHPDEV FailEnable(PDEV* pdev, BYTE* localDevmode, bool resourceStarted) {
  if (pdev->hpal) EngDeletePalette(pdev->hpal);
  pdev->hpal = nullptr;
  if (localDevmode) HEAPFREE(pdev->heap, localDevmode);
  FreePdevMemory(pdev);
  if (resourceStarted) resource_unload();
  return nullptr;
}

bool AcceptDevmode(const DEVMODEW* pdm) {
  if (!pdm) return false;
  const auto* bytes = reinterpret_cast<const BYTE*>(pdm);
  DWORD extra = kp_LoadU16(bytes + kDriverExtraOffset);
  if (extra + NRV_DEVMODE_PUBLIC_SIZE != kCreateDcSize) return false;
  return kp_LoadU16(bytes + kMarkerOffset) == kMarker;
}

}  // namespace

DHPDEV DDI_DrvEnablePDEV(DEVMODEW* pdm, LPWSTR, ULONG cPat, HSURF* phsurfPatterns, ULONG cjCaps, ULONG* pdevcaps,
                         ULONG cjDevInfo, DEVINFO* pdi, HDEV hdev, LPWSTR pwszDeviceName, HANDLE hDriver) {
  // 1. What the engine must give.
  if (!pdevcaps || !pdi || !hdev || !hDriver) return nullptr;
  if (!AcceptDevmode(pdm)) return nullptr;

  // 2. The heap and the zeroed PDEV.
  void* heap = HEAPCREATE();
  if (!heap) return nullptr;
  auto* pdev = static_cast<PDEV*>(_HEAPALLOC(heap, sizeof(PDEV), 0));
  if (!pdev) {
    HEAPDESTROY(heap);
    return nullptr;
  }
  std::memset(static_cast<void*>(pdev), 0, sizeof(PDEV));
  pdev->heap = heap;
  pdev->hPrinter = hDriver;
  pdev->hdev = hdev;

  // 3. The resource module, started from the driver's own file.
  LPWSTR driverName = EngGetDriverName(hdev);
  HANDLE module = driverName ? EngLoadModule(driverName) : nullptr;
  if (!module) return FailEnable(pdev, nullptr, false);
  resource_startToUse(static_cast<HINSTANCE>(module), driverName);
  EngFreeModule(module);
  Logout_SetLogoutStatus();

  // 4, 5. The devmode (checked above) and its trailer.
  const auto* in = reinterpret_cast<const BYTE*>(pdm);
  auto* local = static_cast<BYTE*>(_HEAPALLOC(heap, NRV_DEVMODE_SIZE_FULL, 0));
  if (!local) return FailEnable(pdev, nullptr, true);
  std::memcpy(local, in, NRV_DEVMODE_SIZE_FULL);
  kp_StoreU16(local + kDriverExtraOffset, static_cast<WORD>(NRV_DEVMODE_EXTRA));
  std::memcpy(pdev->appMargins.bytes, in + kAppMarginOffset, sizeof pdev->appMargins.bytes);
  pdev->emulationValue = kp_LoadU32(in + kEmulationOffset);
  pdev->preConfigValue = kp_LoadU32(in + kPreConfigOffset);

  // 6. The description data, opened one PDEV at a time.
  EngAcquireSemaphore(hDddSemaphore);
  pdev->ddd = cddd_Open(hdev);
  if (pdev->ddd) {
    pdev->dddMain = pdev->ddd->main;
    pdev->dddReferenced = pdev->ddd->referenced;
  }
  EngReleaseSemaphore(hDddSemaphore);
  if (!pdev->ddd) return FailEnable(pdev, local, true);

  // 7. The output buffer on the printer, the device fonts.
  xl_initcontext(&pdev->xl, XlPrinter{hDriver, &EngWritePrinter});
  psinitbuf(&pdev->xl.out);
  if (!EnablePDEVDeviceFonts(pdev)) return FailEnable(pdev, local, true);

  // 8. The PDEV's data, GDIINFO and DEVINFO.
  if (!FillPsDevData(pdev, local, pwszDeviceName)) return FailEnable(pdev, local, true);
  pdev->headerFooter = nullptr;
  pdev->jobWord = 0;
  if (!FillPsDevCaps(pdev, &pdev->appMargins, cjCaps, pdevcaps) || !FillPsDevInfo(pdev, cjDevInfo, pdi))
    return FailEnable(pdev, local, true);

  // 9. No standard patterns of the driver's own.
  if (phsurfPatterns)
    for (ULONG i = 0; i < cPat; ++i) phsurfPatterns[i] = nullptr;

  // 10. Merged images.
  if (!EnableMergeImage(pdev)) return FailEnable(pdev, local, true);

  // 11.
  PDL_InitDEVDATA(&pdev->xl);
  TraceDevmode(kTraceEnable, u"<INPUT  DEVMODE>", local, pdev->printerData);
  TraceDevmode(kTraceEnable, u"<OUTPUT DEVMODE>", pdev->devmode, pdev->printerData);
  HEAPFREE(heap, local);
  return reinterpret_cast<DHPDEV>(pdev);
}

VOID DDI_DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev) {
  if (PDEV* pdev = pdev_FromHandle(dhpdev)) pdev->hdev = hdev;
}

// ---- DrvResetPDEV --------------------------------------------------------------------

namespace {

// The application's settings a reset in the middle of a job takes over into
// the job's devmode: orientation, paper size, length, width, form name,
// default source, and duplex when DDM_RESET_TAKES_DUPLEX is set.
bool TakeApplicationSettings(PDEV* newPdev, const PDEV* oldPdev) {
  struct Saved {
    WORD id;
    WORD type;
    DWORD size;
    ULONG_PTR value;
  };
  Saved saved[7] = {};
  DWORD count = 0;
  WCHAR formName[32] = {};
  const WORD ids[] = {DDM_ORIENTATION, DDM_PAPERSIZE, DDM_PAPERLENGTH, DDM_PAPERWIDTH,
                      DDM_FORMNAME,    DDM_DEFAULTSOURCE, DDM_DUPLEX};
  const bool duplex = Num(newPdev, DDM_RESET_TAKES_DUPLEX) != 0;
  for (WORD id : ids) {
    if (id == DDM_DUPLEX && !duplex) continue;
    Saved s{id, 0, 0, 0};
    if (ddm_GetValue(id, newPdev->devmode, newPdev->printerData, &s.type, &s.size, &s.value) != 0) return false;
    if (s.type == DDM_TYPE_STRING) {
      const auto* text = reinterpret_cast<const WCHAR*>(s.value);
      DWORD n = kp_WideCopy(formName, text, 31);
      formName[n] = 0;
      s.size = (n + 1) * sizeof(WCHAR);
    }
    saved[count++] = s;
  }
  std::memcpy(newPdev->devmode, oldPdev->devmode, sizeof newPdev->devmode);
  for (DWORD i = 0; i < count; ++i) {
    const Saved& s = saved[i];
    const void* value = s.type == DDM_TYPE_STRING ? static_cast<const void*>(formName) : &s.value;
    if (ddm_SetValue(s.id, newPdev->devmode, newPdev->printerData, s.type, s.size, value) != 0) return false;
  }
  return true;
}

}  // namespace

BOOL DDI_DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew) {
  PDEV* oldPdev = pdev_FromHandle(dhpdevOld);
  PDEV* newPdev = pdev_FromHandle(dhpdevNew);
  if (!oldPdev || !newPdev || oldPdev == newPdev) {
    EngSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  PDL_CopyDEVDATA(&oldPdev->xl, &newPdev->xl, oldPdev->ddiFlags);

  // 2. A started document moves its job state.
  const bool carry = (oldPdev->ddiFlags & PDEV_DOC_STARTED) || oldPdev->startDocFlag;
  if (carry) {
    psflush(&oldPdev->xl.out);
    newPdev->xl.out.status |= oldPdev->xl.out.status & XL_STATUS_OUTPUT_FAILED;
    newPdev->jobInfo = oldPdev->jobInfo;
    newPdev->layoutInfo = oldPdev->layoutInfo;
    newPdev->pageCtrl = oldPdev->pageCtrl;
    newPdev->appMargins = oldPdev->appMargins;
    newPdev->stampMode = oldPdev->stampMode;
    // The status block is the private gate's state: the gate goes on with
    // the document, and so do its image ids.
    BYTE status[sizeof newPdev->statusBlock];
    pesc_getStatusBlock(oldPdev, status);
    pesc_setStatusBlock(newPdev, status);
    newPdev->pesc.imageIdCounter = oldPdev->pesc.imageIdCounter;
    newPdev->escapeStatus = oldPdev->escapeStatus;
    newPdev->formFileSwitch = oldPdev->formFileSwitch;
    std::memcpy(newPdev->docName, oldPdev->docName, sizeof newPdev->docName);
    newPdev->securityStatus[0] = oldPdev->securityStatus[0];
    newPdev->securityStatus[1] = oldPdev->securityStatus[1];
    newPdev->fontSelection[0] = oldPdev->fontSelection[0];
    newPdev->fontSelection[1] = oldPdev->fontSelection[1];
    newPdev->jobWord = oldPdev->jobWord;
  }

  // 3. The devmode of the new PDEV.
  if (jobCtrl_isJobOpened(newPdev)) {
    if (!TakeApplicationSettings(newPdev, oldPdev)) return FALSE;
    if (oldPdev->jobInfo.sameOutputSize == 0) {
      form_FreeFormRecord(&newPdev->curForm);
      newPdev->curForm = oldPdev->curForm;
      oldPdev->curForm.paperRecord = nullptr;
    }
  } else {
    if (!dmCopyNONDEVDAT(newPdev->devmode, oldPdev->devmode)) return FALSE;
    if (newPdev->faxFlag && !copyFAXDATA(newPdev->devmode, oldPdev->devmode)) return FALSE;
  }

  // 4. The flags and job control.
  newPdev->ddiFlags |= PDEV_RESET_NO_JOB | (oldPdev->ddiFlags & PDEV_RESET_CARRIES);
  if (jobCtrl_ResetDC(newPdev, oldPdev) != 0) return FALSE;
  newPdev->startDocFlag = oldPdev->startDocFlag;
  if (carry) MoveEscapeBlocks(oldPdev, newPdev);

  // 5.
  psinitbuf(&newPdev->xl.out);
  TraceDevmode(kTraceReset, u"<OLD DEVMODE>", oldPdev->devmode, oldPdev->printerData);
  TraceDevmode(kTraceReset, u"<NEW DEVMODE>", newPdev->devmode, newPdev->printerData);
  return TRUE;
}

// ---- Surface ----------------------------------------------------------------------------

HSURF DDI_DrvEnableSurface(DHPDEV dhpdev) {
  PDEV* pdev = pdev_FromHandle(dhpdev);
  if (!pdev) return nullptr;
  const LONG dpi = pdev_GetDpi(pdev);
  const PRINTERFORM& form = pdev->curForm;
  SIZEL size{PSRealToPixel(form.imageableRight - form.imageableLeft, dpi),
             PSRealToPixel(form.imageableBottom - form.imageableTop, dpi)};
  if (size.cx <= 0 || size.cy <= 0) {
    EngSetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HSURF hsurf = EngCreateDeviceSurface(reinterpret_cast<DHSURF>(pdev), size, BMF_24BPP);
  if (!hsurf) return nullptr;
  if (!EngAssociateSurface(hsurf, pdev->hdev, kSurfaceHooks)) {
    EngDeleteSurface(hsurf);
    return nullptr;
  }
  if (pdev->hsurf) EngDeleteSurface(pdev->hsurf);
  pdev->hsurf = hsurf;
  return hsurf;
}

VOID DDI_DrvDisableSurface(DHPDEV dhpdev) {
  auto* pdev = reinterpret_cast<PDEV*>(dhpdev);
  if (!bValidatePDEV(pdev)) return;
  if (pdev->hsurf) EngDeleteSurface(pdev->hsurf);
  pdev->hsurf = nullptr;
}

VOID DDI_DrvDisablePDEV(DHPDEV dhpdev) {
  PDEV* pdev = pdev_FromHandle(dhpdev);
  if (!pdev) return;
  DisableMergeImage(pdev);
  if (pdev->hsurf) EngDeleteSurface(pdev->hsurf);  // a surface the engine left behind
  pdev->hsurf = nullptr;
  if (pdev->hpal) EngDeletePalette(pdev->hpal);
  pdev->hpal = nullptr;
  psinitbuf(&pdev->xl.out);
  PDL_InitDEVDATA(&pdev->xl);
  FreePdevMemory(pdev);
  resource_unload();
}

// ---- The document calls --------------------------------------------------------------

namespace {

// The PDEV of a document call: FALSE at once for a null surface (no error),
// error 87 for an invalid PDEV.
PDEV* DocumentPdev(SURFOBJ* pso) {
  if (!pso) return nullptr;
  return pdev_FromHandle(pso->dhpdev);
}

}  // namespace

BOOL DDI_DrvStartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD) {
  PDEV* pdev = DocumentPdev(pso);
  if (!pdev) return FALSE;
  TraceDevmode(kTraceStartDoc, u"<STARTDOC DEVMODE>", pdev->devmode, pdev->printerData);
  pdev->ddiFlags |= PDEV_DOC_STARTED;
  if ((pdev->ddiFlags & PDEV_RESET_NO_JOB) && jobCtrl_isJobStarted(pdev)) return TRUE;  // the job goes on
  if (jobCtrl_Enable(pdev, pdev->hPrinter) != 0) {
    pdev->ddiFlags &= ~PDEV_DOC_STARTED;
    return FALSE;
  }
  if (jobCtrl_StartDoc(pdev, pwszDocName, nullptr) != 0) {
    DWORD error = EngGetLastError();
    jobCtrl_Disable(pdev);
    EngSetLastError(error);
    pdev->ddiFlags &= ~PDEV_DOC_STARTED;
    return FALSE;
  }
  pdev->ddiFlags &= ~PDEV_STARTDOC_CLEARS;
  return TRUE;
}

BOOL DDI_DrvStartPage(SURFOBJ* pso) {
  PDEV* pdev = DocumentPdev(pso);
  if (!pdev) return FALSE;
  TraceDevmode(kTraceStartPage, u"<STARTPAGE DEVMODE>", pdev->devmode, pdev->printerData);
  if (kmOutputFailed(pdev)) {
    EngSetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  if (pdev->ddiFlags & PDEV_STARTPAGE_DONE) return TRUE;
  if (!jobCtrl_isJobOpened(pdev)) {
    if (page_InitFontCache_StartPage_pdl(pdev) != 0 || !page_setDEVData_pdl(pdev)) return FALSE;
    pdev->ddiFlags |= PDEV_JOB_OPENED_BY_PAGE;
  }
  if (init_cgs(pdev) != 0) return FALSE;
  pdev->ddiFlags |= PDEV_PAGE_EMPTY;
  pdev->ddiFlags &= ~PDEV_JOBCTRL_PAGE;
  if (pdev->ddiFlags & PDEV_RESET_NO_JOB) pdev->ddiFlags &= ~(PDEV_RESET_NO_JOB | PDEV_RESET_PAGE_CLEARS);
  return TRUE;
}

BOOL DDI_DrvSendPage(SURFOBJ* pso) {
  PDEV* pdev = DocumentPdev(pso);
  if (!pdev) return FALSE;
  // The page's own steps say why it failed; an error left from before the
  // call does not.
  const DWORD before = EngGetLastError();
  EngSetLastError(0);
  BOOL ok = (pdev->ddiFlags & PDEV_PAGE_EMPTY) ? TRUE : (SendMergeImage(pdev) == 0 ? TRUE : FALSE);
  page_DeleteFontCache_pdl(pdev);
  if (jobCtrl_EndPage(pdev) != 0) ok = FALSE;
  pdev->ddiFlags &= ~PDEV_PAGE_EMPTY;
  // A page whose stream went nowhere fails as the write did.
  if (EngGetLastError() == 0) EngSetLastError(!ok && kmOutputFailed(pdev) ? ERROR_WRITE_FAULT : before);
  return ok;
}

BOOL DDI_DrvEndDoc(SURFOBJ* pso, FLONG fl) {
  PDEV* pdev = DocumentPdev(pso);
  if (!pdev) return FALSE;
  BOOL ok = TRUE;
  page_DeleteFontCache_pdl(pdev);
  if (fl & ED_ABORTDOC) {
    if (jobCtrl_AbortDoc(pdev) != 0) ok = FALSE;
  } else if ((pdev->ddiFlags & PDEV_JOB_OPENED_BY_PAGE) && jobCtrl_EndDoc(pdev) != 0) {
    ok = FALSE;
  }
  DWORD error = EngGetLastError();
  if (jobCtrl_Disable(pdev) != 0) ok = FALSE;
  if (!psflush(&pdev->xl.out)) ok = FALSE;
  if (!PDL_InitDEVDATA(&pdev->xl)) ok = FALSE;
  if (!ok && error) EngSetLastError(error);
  pdev->ddiFlags &= ~PDEV_ENDDOC_CLEARS;
  return ok;
}
