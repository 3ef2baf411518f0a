// The records a graphics driver and the graphics engine exchange: the entry
// table the driver hands back from DrvEnableDriver, what it reports about the
// device (GDIINFO, DEVINFO), and the handles of engine objects.
//
// Sizes. These records were laid out for a 32-bit engine. In this 64-bit
// build every field keeps its width; records that hold a pointer or a handle
// grow by the pointer:
//   DRVENABLEDATA  12 bytes on the 32-bit platform, 16 here (the table
//                  pointer is 8 bytes at offset 8). The runner always passes
//                  sizeof(DRVENABLEDATA); a driver that checks the size must
//                  want at least the 16 bytes it writes.
//   DRVFN          8 bytes there, 16 here (index, padding, address).
//   GDIINFO        264 bytes on both: no pointer in it. Fields end with
//                  ulBltAlignment.
//   DEVINFO        296 bytes there, 304 here: hpalDefault is 8 bytes at
//                  offset 296 (after 2 bytes of padding behind cyDither).
//                  Everything before it keeps its 32-bit offset.
//   COLORINFO      120 bytes on both.
// The engine passes sizeof() of its own records as the size arguments
// (cjCaps, cjDevInfo); a driver copies at most that many bytes.
#pragma once

#include <cstddef>

#include "kplatform/winspool.h"  // SIZEL, RECTL, FORM_INFO_1W
#include "kplatform/wingdi_types.h"
#include "kplatform/wintypes.h"

#ifndef ERROR_BAD_DRIVER_LEVEL
#define ERROR_BAD_DRIVER_LEVEL 119L
#endif
#ifndef ERROR_GEN_FAILURE
#define ERROR_GEN_FAILURE 31L
#endif

typedef ULONG FLONG;
typedef LONG LDECI4;
typedef LONG FIX;  // 28.4 fixed point: an arithmetic shift right by 4 gives pixels
typedef ULONG_PTR (*PFN)();

// Engine object handles: distinct pointer types so that one cannot be passed
// for another.
KP_DECLARE_HANDLE(HDEV);
KP_DECLARE_HANDLE(HSURF);
KP_DECLARE_HANDLE(DHSURF);
KP_DECLARE_HANDLE(DHPDEV);
KP_DECLARE_HANDLE(HSEMAPHORE);
KP_DECLARE_HANDLE(HPALETTE);

typedef struct _POINTL {
  LONG x;
  LONG y;
} POINTL, *PPOINTL;

typedef struct _POINTFIX {
  FIX x;
  FIX y;
} POINTFIX, *PPOINTFIX;

typedef struct _RECTFX {
  FIX xLeft;
  FIX yTop;
  FIX xRight;
  FIX yBottom;
} RECTFX, *PRECTFX;

static_assert(sizeof(POINTL) == 8 && sizeof(POINTFIX) == 8 && sizeof(RECTFX) == 16);
static_assert(sizeof(SIZEL) == 8 && sizeof(RECTL) == 16);

// ---- Driver entry table --------------------------------------------------------

typedef struct _DRVFN {
  ULONG iFunc;
  PFN pfn;
} DRVFN, *PDRVFN;
static_assert(sizeof(DRVFN) == 16 && offsetof(DRVFN, pfn) == 8);

typedef struct tagDRVENABLEDATA {
  ULONG iDriverVersion;
  ULONG c;
  DRVFN* pdrvfn;
} DRVENABLEDATA, *PDRVENABLEDATA;
static_assert(sizeof(DRVENABLEDATA) == 16 && offsetof(DRVENABLEDATA, pdrvfn) == 8);

// The engine version the runner announces, and the oldest driver version it
// accepts back.
#define DDI_DRIVER_VERSION_NT5 0x00030000u
#define DDI_DRIVER_VERSION_NT4 0x00020000u
#define KP_ENGINE_VERSION DDI_DRIVER_VERSION_NT5

// Function indices of the entry table (the rows a printer driver fills).
#define INDEX_DrvEnablePDEV 0
#define INDEX_DrvCompletePDEV 1
#define INDEX_DrvDisablePDEV 2
#define INDEX_DrvEnableSurface 3
#define INDEX_DrvDisableSurface 4
#define INDEX_DrvResetPDEV 7
#define INDEX_DrvDisableDriver 8
#define INDEX_DrvRealizeBrush 12
#define INDEX_DrvStrokePath 14
#define INDEX_DrvFillPath 15
#define INDEX_DrvStrokeAndFillPath 16
#define INDEX_DrvBitBlt 18
#define INDEX_DrvCopyBits 19
#define INDEX_DrvStretchBlt 20
#define INDEX_DrvTextOut 23
#define INDEX_DrvEscape 24
#define INDEX_DrvQueryFont 26
#define INDEX_DrvQueryFontTree 27
#define INDEX_DrvQueryFontData 28
#define INDEX_DrvSendPage 32
#define INDEX_DrvStartPage 33
#define INDEX_DrvEndDoc 34
#define INDEX_DrvStartDoc 35
#define INDEX_DrvGetGlyphMode 37
#define INDEX_DrvQueryAdvanceWidths 53
#define INDEX_LAST 89  // indices run below this

// ---- What the driver reports ---------------------------------------------------

typedef struct _CIECHROMA {
  LDECI4 x;
  LDECI4 y;
  LDECI4 Y;
} CIECHROMA;

typedef struct _COLORINFO {
  CIECHROMA Red;
  CIECHROMA Green;
  CIECHROMA Blue;
  CIECHROMA Cyan;
  CIECHROMA Magenta;
  CIECHROMA Yellow;
  CIECHROMA AlignmentWhite;
  LDECI4 RedGamma;
  LDECI4 GreenGamma;
  LDECI4 BlueGamma;
  LDECI4 MagentaInCyanDye;
  LDECI4 YellowInCyanDye;
  LDECI4 CyanInMagentaDye;
  LDECI4 YellowInMagentaDye;
  LDECI4 CyanInYellowDye;
  LDECI4 MagentaInYellowDye;
} COLORINFO;
static_assert(sizeof(COLORINFO) == 120);

typedef struct _GDIINFO {
  ULONG ulVersion;
  ULONG ulTechnology;
  ULONG ulHorzSize;
  ULONG ulVertSize;
  ULONG ulHorzRes;
  ULONG ulVertRes;
  ULONG cBitsPixel;
  ULONG cPlanes;
  ULONG ulNumColors;
  ULONG flRaster;
  ULONG ulLogPixelsX;
  ULONG ulLogPixelsY;
  ULONG flTextCaps;
  ULONG ulDACRed;
  ULONG ulDACGreen;
  ULONG ulDACBlue;
  ULONG ulAspectX;
  ULONG ulAspectY;
  ULONG ulAspectXY;
  LONG xStyleStep;
  LONG yStyleStep;
  LONG denStyleStep;
  POINTL ptlPhysOffset;
  SIZEL szlPhysSize;
  ULONG ulNumPalReg;
  COLORINFO ciDevice;
  ULONG ulDevicePelsDPI;
  ULONG ulPrimaryOrder;
  ULONG ulHTPatternSize;
  ULONG ulHTOutputFormat;
  ULONG flHTFlags;
  ULONG ulVRefresh;
  ULONG ulDesktopHorzRes;
  ULONG ulDesktopVertRes;
  ULONG ulBltAlignment;
} GDIINFO, *PGDIINFO;
static_assert(sizeof(GDIINFO) == 264);
static_assert(offsetof(GDIINFO, ptlPhysOffset) == 88 && offsetof(GDIINFO, ciDevice) == 108);
static_assert(offsetof(GDIINFO, ulDevicePelsDPI) == 228 && offsetof(GDIINFO, flHTFlags) == 244);

#define DT_RASPRINTER 2

// The engine's name for the 92-byte LOGFONTW record.
typedef LOGFONTW ENGLOGFONTW;

typedef struct _DEVINFO {
  FLONG flGraphicsCaps;
  ENGLOGFONTW lfDefaultFont;
  ENGLOGFONTW lfAnsiVarFont;
  ENGLOGFONTW lfAnsiFixFont;
  ULONG cFonts;
  ULONG iDitherFormat;
  USHORT cxDither;
  USHORT cyDither;
  HPALETTE hpalDefault;
} DEVINFO, *PDEVINFO;
static_assert(offsetof(DEVINFO, cFonts) == 280 && offsetof(DEVINFO, cyDither) == 290);
static_assert(offsetof(DEVINFO, hpalDefault) == 296 && sizeof(DEVINFO) == 304);

// Bitmap formats (iFormatCompat, iDitherFormat).
#define BMF_1BPP 1
#define BMF_4BPP 2
#define BMF_8BPP 3
#define BMF_16BPP 4
#define BMF_24BPP 5
#define BMF_32BPP 6
#define BMF_4RLE 7
#define BMF_8RLE 8

// Palette modes.
#define PAL_INDEXED 0x00000001u
#define PAL_BITFIELDS 0x00000002u
#define PAL_RGB 0x00000004u
#define PAL_BGR 0x00000008u

// Drawing calls a device surface hooks (EngAssociateSurface).
#define HOOK_BITBLT 0x00000001u
#define HOOK_STRETCHBLT 0x00000002u
#define HOOK_PLGBLT 0x00000004u
#define HOOK_TEXTOUT 0x00000008u
#define HOOK_PAINT 0x00000010u
#define HOOK_STROKEPATH 0x00000020u
#define HOOK_FILLPATH 0x00000040u
#define HOOK_STROKEANDFILLPATH 0x00000080u
#define HOOK_LINETO 0x00000100u
#define HOOK_COPYBITS 0x00000400u

// The number of standard hatch patterns the engine passes to DrvEnablePDEV.
#define HS_DDI_MAX 6

// Surface kinds (SURFOBJ.iType).
#define STYPE_BITMAP 0
#define STYPE_DEVICE 1
#define STYPE_DEVBITMAP 3

// The surface record the engine hands to drawing and document calls. For a
// device surface dhpdev is the PDEV of the device the surface was associated
// with; the bitmap fields are zero (the device manages its own bits).
typedef struct _SURFOBJ {
  DHSURF dhsurf;
  HSURF hsurf;
  DHPDEV dhpdev;
  HDEV hdev;
  SIZEL sizlBitmap;
  ULONG cjBits;
  PVOID pvBits;
  PVOID pvScan0;
  LONG lDelta;
  ULONG iUniq;
  ULONG iBitmapFormat;
  USHORT iType;
  USHORT fjBitmap;
} SURFOBJ, *PSURFOBJ;

// The devmode the engine hands over unchanged; the driver defines it.

// ---- The entry points' shapes (how the runner calls the table) ------------------
typedef BOOL(WINAPI* PFN_DrvEnableDriver)(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded);
typedef DHPDEV(WINAPI* PFN_DrvEnablePDEV)(struct DEVMODEW* pdm, LPWSTR pwszLogAddress, ULONG cPat,
                                          HSURF* phsurfPatterns, ULONG cjCaps, ULONG* pdevcaps, ULONG cjDevInfo,
                                          DEVINFO* pdi, HDEV hdev, LPWSTR pwszDeviceName, HANDLE hDriver);
typedef VOID(WINAPI* PFN_DrvCompletePDEV)(DHPDEV dhpdev, HDEV hdev);
typedef VOID(WINAPI* PFN_DrvDisableDriver)(void);
typedef VOID(WINAPI* PFN_DrvDisablePDEV)(DHPDEV dhpdev);
typedef HSURF(WINAPI* PFN_DrvEnableSurface)(DHPDEV dhpdev);
typedef VOID(WINAPI* PFN_DrvDisableSurface)(DHPDEV dhpdev);
typedef BOOL(WINAPI* PFN_DrvResetPDEV)(DHPDEV dhpdevOld, DHPDEV dhpdevNew);
typedef BOOL(WINAPI* PFN_DrvStartDoc)(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId);
typedef BOOL(WINAPI* PFN_DrvEndDoc)(SURFOBJ* pso, FLONG fl);
typedef BOOL(WINAPI* PFN_DrvStartPage)(SURFOBJ* pso);
typedef BOOL(WINAPI* PFN_DrvSendPage)(SURFOBJ* pso);
typedef ULONG(WINAPI* PFN_DrvEscape)(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut);

#define ED_ABORTDOC 0x00000001u
