// kestrelkm's entry: DrvEnableDriver and the 24-row table of entry points it
// hands to the graphics engine. Every row is a wrapper that writes the trace
// log's entry line ("IN <<" and the name), calls the DDI_ body of the same
// name and writes the exit line ("OUT>>" and "<name> RetValue = <result>").
//
// Decisions:
//  - DRVENABLEDATA is 16 bytes in this 64-bit build (the table pointer is 8
//    bytes at offset 8; 12 bytes is the 32-bit size). DrvEnableDriver writes
//    all 16, so a buffer smaller than sizeof(DRVENABLEDATA) is refused with
//    error 119 like an engine version below 0x20000; exactly 16 is taken.
//    A null buffer is refused with error 87.
//  - The library is never unmapped once loaded (linked -z nodelete, see
//    CMakeLists.txt), so the semaphores made by the first DrvEnableDriver
//    stay valid; a later DrvEnableDriver keeps them instead of making new
//    ones each time. None is deleted, as the driver has no disable entry.
//    A semaphore that can't be made fails DrvEnableDriver (error 8).
//  - Result formats of the exit lines: "%d" for BOOL results; the handle
//    results (DrvEnablePDEV, DrvEnableSurface, DrvQueryFont,
//    DrvQueryFontTree) as "0x%08I64X", the whole 64-bit value with at least
//    eight digits (the 32-bit "0x%08X" would cut a pointer in half); "%ld"
//    for DrvGetGlyphMode, DrvEscape and DrvQueryFontData. DrvCompletePDEV
//    and DrvDisableSurface write their bare name, DrvDisablePDEV
//    "DrvDisablePDEV RetValue". The name is always an argument of a fixed
//    format, never a format itself.
#include "km_entry.h"

#include "kestrel/core/logout.h"

#define KESTRELKM_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr ULONG kDriverVersion = 0x20000;
constexpr ULONG kEngineVersionMin = 0x20000;

void In(LPCWSTR name) { Logout_InDDIFunctionTraceLog(name); }
void OutBool(LPCWSTR name, BOOL result) {
  Logout_OutDDIFunctionTraceLog(u"%s RetValue = %d", name, static_cast<int>(result));
}
void OutHandle(LPCWSTR name, const void* result) {
  Logout_OutDDIFunctionTraceLog(u"%s RetValue = 0x%08I64X", name,
                                static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(result)));
}
void OutLong(LPCWSTR name, LONG result) { Logout_OutDDIFunctionTraceLog(u"%s RetValue = %ld", name, result); }
void OutBare(LPCWSTR name) { Logout_OutDDIFunctionTraceLog(u"%s", name); }

// One entry with a result: the entry line, the DDI_ body, the exit line with
// the result in the entry's format (Out).
template <auto Out, typename R, typename... P, typename... A>
R Traced(LPCWSTR name, R (*body)(P...), A... args) {
  In(name);
  R r = body(args...);
  Out(name, r);
  return r;
}

// ---- The wrappers -------------------------------------------------------------

DHPDEV WINAPI DrvEnablePDEV(DEVMODEW* pdm, LPWSTR pwszLogAddress, ULONG cPat, HSURF* phsurfPatterns, ULONG cjCaps,
                            ULONG* pdevcaps, ULONG cjDevInfo, DEVINFO* pdi, HDEV hdev, LPWSTR pwszDeviceName,
                            HANDLE hDriver) {
  return Traced<OutHandle>(u"DrvEnablePDEV", DDI_DrvEnablePDEV, pdm, pwszLogAddress, cPat, phsurfPatterns, cjCaps,
      pdevcaps, cjDevInfo, pdi, hdev, pwszDeviceName, hDriver);
}

BOOL WINAPI DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew) {
  return Traced<OutBool>(u"DrvResetPDEV", DDI_DrvResetPDEV, dhpdevOld, dhpdevNew);
}

VOID WINAPI DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev) {
  In(u"DrvCompletePDEV");
  DDI_DrvCompletePDEV(dhpdev, hdev);
  OutBare(u"DrvCompletePDEV");
}

VOID WINAPI DrvDisablePDEV(DHPDEV dhpdev) {
  In(u"DrvDisablePDEV");
  DDI_DrvDisablePDEV(dhpdev);
  OutBare(u"DrvDisablePDEV RetValue");
}

HSURF WINAPI DrvEnableSurface(DHPDEV dhpdev) {
  return Traced<OutHandle>(u"DrvEnableSurface", DDI_DrvEnableSurface, dhpdev);
}

VOID WINAPI DrvDisableSurface(DHPDEV dhpdev) {
  In(u"DrvDisableSurface");
  DDI_DrvDisableSurface(dhpdev);
  OutBare(u"DrvDisableSurface");
}

BOOL WINAPI DrvBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                      RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4) {
  return Traced<OutBool>(u"DrvBitBlt", DDI_DrvBitBlt, psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask,
      pbo, pptlBrush, rop4);
}

BOOL WINAPI DrvStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                          COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask,
                          ULONG iMode) {
  return Traced<OutBool>(u"DrvStretchBlt", DDI_DrvStretchBlt, psoDest, psoSrc, psoMask, pco, pxlo, pca, pptlHTOrg,
      prclDest, prclSrc, pptlMask, iMode);
}

BOOL WINAPI DrvCopyBits(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest,
                        POINTL* pptlSrc) {
  return Traced<OutBool>(u"DrvCopyBits", DDI_DrvCopyBits, psoDest, psoSrc, pco, pxlo, prclDest, pptlSrc);
}

BOOL WINAPI DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra, RECTL* prclOpaque,
                       BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix) {
  return Traced<OutBool>(u"DrvTextOut", DDI_DrvTextOut, pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore,
      pboOpaque, pptlOrg, mix);
}

IFIMETRICS* WINAPI DrvQueryFont(DHPDEV dhpdev, ULONG_PTR iFile, ULONG iFace, ULONG_PTR* pid) {
  return Traced<OutHandle>(u"DrvQueryFont", DDI_DrvQueryFont, dhpdev, iFile, iFace, pid);
}

PVOID WINAPI DrvQueryFontTree(DHPDEV dhpdev, ULONG_PTR iFile, ULONG iFace, ULONG iMode, ULONG_PTR* pid) {
  return Traced<OutHandle>(u"DrvQueryFontTree", DDI_DrvQueryFontTree, dhpdev, iFile, iFace, iMode, pid);
}

LONG WINAPI DrvQueryFontData(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH hg, GLYPHDATA* pgd, PVOID pv,
                             ULONG cjSize) {
  return Traced<OutLong>(u"DrvQueryFontData", DDI_DrvQueryFontData, dhpdev, pfo, iMode, hg, pgd, pv, cjSize);
}

BOOL WINAPI DrvQueryAdvanceWidths(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH* phg, PVOID pvWidths,
                                  ULONG cGlyphs) {
  return Traced<OutBool>(u"DrvQueryAdvanceWidths", DDI_DrvQueryAdvanceWidths, dhpdev, pfo, iMode, phg, pvWidths,
      cGlyphs);
}

BOOL WINAPI DrvSendPage(SURFOBJ* pso) {
  return Traced<OutBool>(u"DrvSendPage", DDI_DrvSendPage, pso);
}

BOOL WINAPI DrvStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                          POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix) {
  return Traced<OutBool>(u"DrvStrokePath", DDI_DrvStrokePath, pso, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix);
}

BOOL WINAPI DrvFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix,
                        FLONG flOptions) {
  return Traced<OutBool>(u"DrvFillPath", DDI_DrvFillPath, pso, ppo, pco, pbo, pptlBrushOrg, mix, flOptions);
}

BOOL WINAPI DrvStrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pboStroke,
                                 LINEATTRS* plineattrs, BRUSHOBJ* pboFill, POINTL* pptlBrushOrg, MIX mixFill,
                                 FLONG flOptions) {
  return Traced<OutBool>(u"DrvStrokeAndFillPath", DDI_DrvStrokeAndFillPath, pso, ppo, pco, pxo, pboStroke, plineattrs,
      pboFill, pptlBrushOrg, mixFill, flOptions);
}

BOOL WINAPI DrvRealizeBrush(BRUSHOBJ* pbo, SURFOBJ* psoTarget, SURFOBJ* psoPattern, SURFOBJ* psoMask,
                            XLATEOBJ* pxlo, ULONG iHatch) {
  return Traced<OutBool>(u"DrvRealizeBrush", DDI_DrvRealizeBrush, pbo, psoTarget, psoPattern, psoMask, pxlo, iHatch);
}

BOOL WINAPI DrvStartPage(SURFOBJ* pso) {
  return Traced<OutBool>(u"DrvStartPage", DDI_DrvStartPage, pso);
}

BOOL WINAPI DrvStartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId) {
  return Traced<OutBool>(u"DrvStartDoc", DDI_DrvStartDoc, pso, pwszDocName, dwJobId);
}

ULONG WINAPI DrvEscape(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
  return Traced<OutLong>(u"DrvEscape", DDI_DrvEscape, pso, iEsc, cjIn, pvIn, cjOut, pvOut);
}

BOOL WINAPI DrvEndDoc(SURFOBJ* pso, FLONG fl) {
  return Traced<OutBool>(u"DrvEndDoc", DDI_DrvEndDoc, pso, fl);
}

ULONG WINAPI DrvGetGlyphMode(DHPDEV dhpdev, FONTOBJ* pfo) {
  return Traced<OutLong>(u"DrvGetGlyphMode", DDI_DrvGetGlyphMode, dhpdev, pfo);
}

// A row's address as the table's generic function pointer (through the
// generic void(*)() that every function pointer converts to and from).
template <typename Fn>
PFN Row(Fn fn) {
  return reinterpret_cast<PFN>(reinterpret_cast<void (*)()>(fn));
}

}  // namespace

// The entry table, in the order the engine is given it.
DRVFN gadrvfn[] = {
    {INDEX_DrvEnablePDEV, Row(&DrvEnablePDEV)},
    {INDEX_DrvResetPDEV, Row(&DrvResetPDEV)},
    {INDEX_DrvCompletePDEV, Row(&DrvCompletePDEV)},
    {INDEX_DrvDisablePDEV, Row(&DrvDisablePDEV)},
    {INDEX_DrvEnableSurface, Row(&DrvEnableSurface)},
    {INDEX_DrvDisableSurface, Row(&DrvDisableSurface)},
    {INDEX_DrvBitBlt, Row(&DrvBitBlt)},
    {INDEX_DrvStretchBlt, Row(&DrvStretchBlt)},
    {INDEX_DrvCopyBits, Row(&DrvCopyBits)},
    {INDEX_DrvTextOut, Row(&DrvTextOut)},
    {INDEX_DrvQueryFont, Row(&DrvQueryFont)},
    {INDEX_DrvQueryFontTree, Row(&DrvQueryFontTree)},
    {INDEX_DrvQueryFontData, Row(&DrvQueryFontData)},
    {INDEX_DrvQueryAdvanceWidths, Row(&DrvQueryAdvanceWidths)},
    {INDEX_DrvSendPage, Row(&DrvSendPage)},
    {INDEX_DrvStrokePath, Row(&DrvStrokePath)},
    {INDEX_DrvFillPath, Row(&DrvFillPath)},
    {INDEX_DrvStrokeAndFillPath, Row(&DrvStrokeAndFillPath)},
    {INDEX_DrvRealizeBrush, Row(&DrvRealizeBrush)},
    {INDEX_DrvStartPage, Row(&DrvStartPage)},
    {INDEX_DrvStartDoc, Row(&DrvStartDoc)},
    {INDEX_DrvEscape, Row(&DrvEscape)},
    {INDEX_DrvEndDoc, Row(&DrvEndDoc)},
    {INDEX_DrvGetGlyphMode, Row(&DrvGetGlyphMode)},
};
constexpr ULONG kEntryCount = sizeof(gadrvfn) / sizeof(gadrvfn[0]);
static_assert(kEntryCount == 24, "the table has 24 rows");

BOOL DDI_DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded) {
  if (iEngineVersion < kEngineVersionMin || cj < sizeof(DRVENABLEDATA)) {
    EngSetLastError(ERROR_BAD_DRIVER_LEVEL);
    return FALSE;
  }
  if (!pded) {
    EngSetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  pded->iDriverVersion = kDriverVersion;
  pded->c = kEntryCount;
  pded->pdrvfn = gadrvfn;
  if (!km_PublishSemaphore(hDddSemaphore) || !km_PublishSemaphore(hFontNameSemaphore)) {
    EngSetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  return EnableDriverDeviceFonts();
}

KESTRELKM_EXPORT BOOL WINAPI DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded) {
  return Traced<OutBool>(u"DrvEnableDriver", DDI_DrvEnableDriver, iEngineVersion, cj, pded);
}
