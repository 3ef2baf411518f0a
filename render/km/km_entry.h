// kestrelkm's own declarations: the DDI_ bodies behind the entry table, the
// PDEV set-up of pdev.cpp and the calls the PDEV makes into the device fonts
// (devfont.cpp) and merged images (image.cpp). The engine reaches none of this directly: it calls the
// 24 rows of the table DrvEnableDriver hands back (entry.cpp), each a trace
// wrapper around the DDI_ function of the same name.
//
// Results follow the engine's conventions (BOOL, handles, 32-bit counts) for
// the DDI_ functions; the renderer's own functions answer 0 or -1, the
// set-up steps TRUE or FALSE.
#pragma once

#include <atomic>
#include <initializer_list>

#include "jobctrl.h"
#include "kestrel/render/pdev.h"
#include "pdl_ctrl.h"
#include "kplatform/engine.h"

// The stream of the PDEV has failed for good (a write failed, or the
// output was marked failed): nothing more is written.
inline bool kmOutputFailed(const PDEV* pdev) {
  return (pdev->ddiFlags & PDEV_OUTPUT_FAILED) || (pdev->xl.out.status & XL_STATUS_OUTPUT_FAILED);
}
// The results of steps that write, ORed, the steps run in the order
// written: the elements of a braced list are evaluated left to right, the
// operands of | in no fixed order.
inline LONG kmSteps(std::initializer_list<LONG> results) {
  LONG r = 0;
  for (LONG x : results) r |= x;
  return r;
}
// A stream writer's result: true on success; a failure sets the
// write-fault error.
inline bool kmWritten(int result) {
  if (result == 0) return true;
  EngSetLastError(ERROR_WRITE_FAULT);
  return false;
}


// The answer of DrvQueryFontData that means failure.
#define KM_FD_ERROR 0xFFFFFFFFu
// The answer of DrvEscape for a failed call.
#define KM_ESCAPE_ERROR 0xFFFFFFFFu

// ---- Globals of the driver (defined in pdev.cpp) ---------------------------
// Created once by DrvEnableDriver (entry.cpp) and never deleted (the library stays
// mapped for the process, so a later DrvEnableDriver finds them).
// Made at the first DrvEnableDriver and kept: the engine may enable the
// driver from several threads at once, so each is published once
// (km_PublishSemaphore) and read through its atomic.
extern std::atomic<HSEMAPHORE> hDddSemaphore;       // guards opening the description data
extern std::atomic<HSEMAPHORE> hFontNameSemaphore;  // created, not used
// Makes the semaphore of `slot` unless another thread has: FALSE only when
// none exists and none could be made.
BOOL km_PublishSemaphore(std::atomic<HSEMAPHORE>& slot);

// ---- The entry points' bodies ---------------------------------------------
BOOL DDI_DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded);

DHPDEV DDI_DrvEnablePDEV(DEVMODEW* pdm, LPWSTR pwszLogAddress, ULONG cPat, HSURF* phsurfPatterns, ULONG cjCaps,
                         ULONG* pdevcaps, ULONG cjDevInfo, DEVINFO* pdi, HDEV hdev, LPWSTR pwszDeviceName,
                         HANDLE hDriver);
BOOL DDI_DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew);
VOID DDI_DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev);
VOID DDI_DrvDisablePDEV(DHPDEV dhpdev);
HSURF DDI_DrvEnableSurface(DHPDEV dhpdev);
VOID DDI_DrvDisableSurface(DHPDEV dhpdev);

BOOL DDI_DrvStartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId);
BOOL DDI_DrvStartPage(SURFOBJ* pso);
BOOL DDI_DrvSendPage(SURFOBJ* pso);
BOOL DDI_DrvEndDoc(SURFOBJ* pso, FLONG fl);

// Drawing entries: path.cpp (paths and clipping), brush.cpp (brushes),
// image.cpp (bit-block calls). The font entries: devfont.cpp (devfont.h).
// DrvTextOut (ddi_later.cpp) refuses cleanly until the text work lands.
// DrvEscape: escape.cpp.
BOOL DDI_DrvBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclTrg,
                   POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4);
BOOL DDI_DrvStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                       COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask,
                       ULONG iMode);
BOOL DDI_DrvCopyBits(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest,
                     POINTL* pptlSrc);
BOOL DDI_DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra, RECTL* prclOpaque,
                    BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix);
BOOL DDI_DrvStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
                       LINEATTRS* plineattrs, MIX mix);
BOOL DDI_DrvFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix,
                     FLONG flOptions);
BOOL DDI_DrvStrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pboStroke,
                              LINEATTRS* plineattrs, BRUSHOBJ* pboFill, POINTL* pptlBrushOrg, MIX mixFill,
                              FLONG flOptions);
BOOL DDI_DrvRealizeBrush(BRUSHOBJ* pbo, SURFOBJ* psoTarget, SURFOBJ* psoPattern, SURFOBJ* psoMask, XLATEOBJ* pxlo,
                         ULONG iHatch);
IFIMETRICS* DDI_DrvQueryFont(DHPDEV dhpdev, ULONG_PTR iFile, ULONG iFace, ULONG_PTR* pid);
PVOID DDI_DrvQueryFontTree(DHPDEV dhpdev, ULONG_PTR iFile, ULONG iFace, ULONG iMode, ULONG_PTR* pid);
LONG DDI_DrvQueryFontData(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH hg, GLYPHDATA* pgd, PVOID pv,
                          ULONG cjSize);
BOOL DDI_DrvQueryAdvanceWidths(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH* phg, PVOID pvWidths,
                               ULONG cGlyphs);
ULONG DDI_DrvGetGlyphMode(DHPDEV dhpdev, FONTOBJ* pfo);
ULONG DDI_DrvEscape(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut);

// ---- PDEV set-up (pdev.cpp) ------------------------------------------------
// The PDEV of a DHPDEV or of a surface when it is valid, else null with
// EngSetLastError(ERROR_INVALID_PARAMETER).
PDEV* pdev_FromHandle(DHPDEV dhpdev);
PDEV* pdev_FromSurface(SURFOBJ* pso);

// The device resolution (DDM 20); a print quality of 0 or less (the
// devmode's quality levels) means 600 dpi.
LONG pdev_GetDpi(PDEV* pdev);

BOOL FillPsDevData(PDEV* pdev, const BYTE* devmode, LPCWSTR deviceName);
BOOL FillPsDevCaps(PDEV* pdev, const PDEV_APPMARGINS* appMargins, ULONG cjCaps, ULONG* pdevcaps);
BOOL FillPsDevInfo(PDEV* pdev, ULONG cjDevInfo, DEVINFO* pdi);
// Frees everything the PDEV owns and destroys its heap (the PDEV with it).
void FreePdevMemory(PDEV* pdev);

// a x b / c, plus one when the remainder x 10 / c exceeds 4; 0 for c = 0.
LONG w40c_Round(LONG a, LONG b, LONG c);

// The halftone description the renderer reports (GDIINFO ciDevice,
// ulDevicePelsDPI, the fallback pattern size).
struct KM_DEVHTINFO {
  DWORD HTFlags;
  DWORD HTPatternSize;
  DWORD DevPelsDPI;
  COLORINFO ColorInfo;
};
extern const KM_DEVHTINFO DefDevHTInfo;

// ---- Device fonts (devfont.cpp) and merged images (image.cpp) --------------
BOOL EnableDriverDeviceFonts(void);
BOOL EnablePDEVDeviceFonts(PDEV* pdev);
BOOL SetDefaultFont_pdl(PDEV* pdev, ENGLOGFONTW* font);
BOOL EnableMergeImage(PDEV* pdev);
void DisableMergeImage(PDEV* pdev);
LONG SendMergeImage(PDEV* pdev);
