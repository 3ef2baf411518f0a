// Device contexts: the application's side of the graphics interface for a
// printer, in Windows' order. A device context (HDC) owns its own printer
// handle (OpenPrinterW), the printer driver's configuration library (the
// DRIVER_INFO_2W pConfigFile, taken for its DrvDocumentEvent) and a session
// of the renderer (pDriverPath) run through the engine stand-in
// (engine_runner.h). Every document event is raised in the order and with
// the in and out buffers written at each call below; no lock of the stand-in
// is held while the driver is called.
//
// Events (DrvDocumentEvent's iEsc, winddiui.h):
//   CreateDCW   QUERYFILTER (14, the result is not used: every event is
//               raised), CREATEDCPRE (1: a DOCEVENT_CREATEDCPRE in, a
//               DEVMODEW pointer out; -1 fails CreateDC), the renderer
//               (KpEngineCreatePrinter, KpEngineLoadDriver, KpEngineEnablePDEV
//               with PRE's devmode or else the application's,
//               KpEngineEnableSurface), CREATEDCPOST (2: the address of PRE's
//               pointer in), also when the renderer refused (the answer is
//               then null).
//   StartDocW   STARTDOC (5: the address of the DOCINFOW pointer in; -1 fails
//               before the renderer), KpEngineStartDoc with the stand-in's
//               own job id, STARTDOCPOST (13: the address of the job id in;
//               -1 fails StartDoc through AbortDoc).
//   StartPage   STARTPAGE (6; -1 fails before KpEngineStartPage).
//   EndPage     ENDPAGE (7, result ignored), then KpEngineSendPage.
//   EndDoc      ENDDOC (8, result ignored; the driver may start and end a
//               page inside it), KpEngineEndDoc, ENDDOCPOST (12).
//   AbortDoc    ABORTDOC (9), KpEngineEndDoc(ED_ABORTDOC).
//   ResetDCW    RESETDCPRE (3: the address of the devmode pointer in, a
//               DEVMODEW pointer out), KpEngineResetPDEV, RESETDCPOST (4:
//               the address of PRE's pointer). Between documents and between
//               pages.
//   DeleteDC    DELETEDC (10), KpEngineDisablePDEV, the driver libraries
//               freed, the printer closed.
//   ExtEscape   ESCAPE (11 with a DOCEVENT_ESCAPE in; its result is not
//               used), then KpEngineEscape with the sizes as given; its
//               answer is ExtEscape's.
//
// Decisions:
//  - The source folder is gdi32/ (platform/README.md: device contexts are
//    gdi32's), so the header carries gdi32's prefix.
//  - A DC's document state follows the engine's: StartDocW in a document,
//    StartPage in a page, EndPage outside one, EndDoc outside a document are
//    refused with SP_ERROR (-1) and ERROR_INVALID_PARAMETER, no event raised.
//  - The drawing calls the driver's stamps and header/footer use are kept in
//    the DC's log (name, arguments and answer). Polyline and StretchDIBits
//    reach the renderer through the engine runner's drawing calls
//    (engine_draw.h: KpEngineStrokePath, KpEngineBitBlt, KpEngineStretchBlt)
//    on the DC's session, in device pixels, so only inside a page; ExtTextOutW and
//    GetTextExtentPoint32W reach it through the runner's text call
//    (KpEngineTextOut, below). GetDeviceCaps, SaveDC,
//    RestoreDC, SetTextColor, SetBkMode, CreateFontIndirectW, CreatePen,
//    SelectObject and DeleteObject keep the DC's state themselves.
//  - Polyline strokes the selected pen (none: the black one-pixel pen):
//    width 0 or 1 a cosmetic line, wider a geometric line of that many
//    pixels with round joins and ends; PS_NULL draws nothing (TRUE);
//    other styles are not drawn (ERROR_NOT_SUPPORTED).
//  - StretchDIBits takes uncompressed DIBs of 1, 4, 8, 16 (5-5-5), 24 and
//    32 bits with DIB_RGB_COLORS, bottom-up or top-down, sources inside
//    the bitmap and positive sizes (else ERROR_INVALID_PARAMETER). The same
//    size is blitted with the raster operation given; a change of size is
//    stretched with SRCCOPY only (another operation: ERROR_NOT_SUPPORTED).
//    The answer is the source rows drawn, 0 on failure.
//  - The text calls: the selected logical font is a TrueType face of the font folder found
//    by face name (family or full name, case ignored; bold and italic
//    matched, else simulated; an empty name is DejaVu Sans; no other font
//    mapping: a name the folder lacks fails with ERROR_INVALID_PARAMETER);
//    lfHeight < 0 is the em in pixels, > 0 the cell height, 0 is 12 points;
//    the reference point is the cell's top-left; ETO_GLYPH_INDEX,
//    ETO_CLIPPED, ETO_OPAQUE (filled white), dx steps, underline and
//    strike-out are honoured; text outside a page fails with
//    ERROR_INVALID_FUNCTION.
//  - GetDeviceCaps answers from the session's GDIINFO.
#pragma once

#include <cstdint>

#include "kplatform/engine_runner.h"
#include "kplatform/wingdi_consts.h"
#include "kplatform/wingdi_types.h"
#include "kplatform/wintypes.h"

#ifndef KP_HAVE_HDC
#define KP_HAVE_HDC
KP_DECLARE_HANDLE(HDC);
#endif
KP_DECLARE_HANDLE(HGDIOBJ);
typedef HGDIOBJ HFONT;
typedef HGDIOBJ HPEN;
typedef DWORD COLORREF;
#define RGB(r, g, b) \
  (static_cast<COLORREF>((static_cast<BYTE>(r)) | (static_cast<DWORD>(static_cast<BYTE>(g)) << 8) | \
                         (static_cast<DWORD>(static_cast<BYTE>(b)) << 16)))

// ---- Document events: DOCUMENTEVENT_* codes and answers are in wingdi_consts.h.

typedef struct _DOCEVENT_CREATEDCPRE {
  LPWSTR pszDriver;
  LPWSTR pszDevice;
  DEVMODEW* pdm;
  BOOL bIC;
} DOCEVENT_CREATEDCPRE;
typedef struct _DOCEVENT_ESCAPE {
  int iEscape;
  int cjInput;
  PVOID pvInData;
} DOCEVENT_ESCAPE;

typedef int (*PFN_DrvDocumentEvent)(HANDLE hPrinter, HDC hdc, int iEsc, ULONG cbIn, PVOID pvIn, ULONG cbOut,
                                    PVOID pvOut);

typedef struct _DOCINFOW {
  int cbSize;
  LPCWSTR lpszDocName;
  LPCWSTR lpszOutput;
  LPCWSTR lpszDatatype;
  DWORD fwType;
} DOCINFOW;

#define SP_ERROR (-1)

// ---- GetDeviceCaps indexes
#define HORZSIZE 4
#define VERTSIZE 6
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define LOGPIXELSX 88
#define LOGPIXELSY 90
#define PHYSICALWIDTH 110
#define PHYSICALHEIGHT 111
#define PHYSICALOFFSETX 112
#define PHYSICALOFFSETY 113

// ---- Drawing constants
#define TRANSPARENT 1
#define OPAQUE 2
#define PS_SOLID 0
#define PS_DASH 1
#define PS_NULL 5
#define DIB_RGB_COLORS 0
#define BI_RGB 0
#define SRCCOPY 0x00CC0020u
#define SRCAND 0x008800C6u
#define COLORONCOLOR 3  // the stretching mode that deletes rows and columns
#define ETO_OPAQUE 0x0002u
#define ETO_CLIPPED 0x0004u
#define ETO_GLYPH_INDEX 0x0010u
#define GDI_ERROR 0xFFFFFFFFu
#define CLR_INVALID 0xFFFFFFFFu

typedef struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER;
static_assert(sizeof(BITMAPINFOHEADER) == 40);
typedef struct tagRGBQUAD {
  BYTE rgbBlue, rgbGreen, rgbRed, rgbReserved;
} RGBQUAD;
typedef struct tagBITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
} BITMAPINFO;

// ---- The application's calls
KP_API HDC WINAPI CreateDCW(LPCWSTR driver, LPCWSTR device, LPCWSTR output, const DEVMODEW* devmode);
KP_API BOOL WINAPI DeleteDC(HDC hdc);
KP_API int WINAPI StartDocW(HDC hdc, const DOCINFOW* docInfo);
KP_API int WINAPI EndDoc(HDC hdc);
KP_API int WINAPI AbortDoc(HDC hdc);
KP_API int WINAPI StartPage(HDC hdc);
KP_API int WINAPI EndPage(HDC hdc);
// The DC answered; null when the reset failed (the DC keeps its state).
KP_API HDC WINAPI ResetDCW(HDC hdc, const DEVMODEW* devmode);
KP_API int WINAPI ExtEscape(HDC hdc, int escape, int cjInput, LPCSTR input, int cjOutput, LPSTR output);

KP_API int WINAPI GetDeviceCaps(HDC hdc, int index);
KP_API int WINAPI SaveDC(HDC hdc);
KP_API BOOL WINAPI RestoreDC(HDC hdc, int saved);
KP_API HFONT WINAPI CreateFontIndirectW(const LOGFONTW* font);
KP_API HPEN WINAPI CreatePen(int style, int width, COLORREF color);
KP_API HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ object);
KP_API BOOL WINAPI DeleteObject(HGDIOBJ object);
KP_API COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color);
KP_API int WINAPI SetBkMode(HDC hdc, int mode);
KP_API BOOL WINAPI ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                               const INT* dx);
KP_API BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int count, SIZE* size);
KP_API BOOL WINAPI Polyline(HDC hdc, const POINT* points, int count);
KP_API int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                                int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info, UINT usage,
                                DWORD rop);

// ---- Test controls
// One entry of a DC's log, in call order.
#define KP_DCLOG_EVENT 1    // a document event: code = iEsc, result = the driver's answer
#define KP_DCLOG_ESCAPE 2   // an escape reaching the renderer (or the test's answer)
#define KP_DCLOG_DRAWING 3  // a drawing call: name, the arguments as numbers
typedef struct _KP_DC_LOG_ENTRY {
  DWORD kind;
  LONG code;        // event or escape code
  ULONG cbIn;       // in size
  ULONG cbOut;      // out size
  LONG result;      // the answer
  const BYTE* in;   // escapes: the input bytes as sent (cbIn of them; events: null)
  const char* name; // drawing: the call's name
  LONG args[4];     // drawing: the first numeric arguments
} KP_DC_LOG_ENTRY;
KP_API DWORD KpDcLogCount(HDC hdc);
// FALSE beyond the count or for an unknown DC. The pointers stay valid until
// the log is cleared or the DC deleted.
KP_API BOOL KpDcLogEntry(HDC hdc, DWORD index, KP_DC_LOG_ENTRY* entry);
KP_API void KpDcClearLog(HDC hdc);

// An escape answered by the test instead of the renderer: called for every
// ExtEscape of any DC; a TRUE answer stands (*result is the escape's
// answer, pvOut written by the hook), FALSE passes the escape on. Null
// removes it. Called without any lock of the stand-in held.
typedef BOOL (*KP_DC_ESCAPE_HOOK)(void* context, HDC hdc, ULONG code, ULONG cbIn, const void* pvIn, ULONG cbOut,
                                 void* pvOut, LONG* result);
KP_API void KpDcSetEscapeHook(KP_DC_ESCAPE_HOOK hook, void* context);

// What the DC runs on, for reading the renderer's output: the engine
// printer context and session (null for an unknown DC).
KP_API HANDLE KpDcEnginePrinter(HDC hdc);
KP_API KP_ENGINE_SESSION* KpDcEngineSession(HDC hdc);
// The spooler printer handle the DC opened.
KP_API HANDLE KpDcPrinterHandle(HDC hdc);
// Live DCs in the process.
KP_API DWORD KpDcCount(void);
