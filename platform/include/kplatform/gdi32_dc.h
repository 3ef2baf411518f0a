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
//               before the renderer), the spooler job and the renderer's
//               document (KpEngineUseSpoolerJobs on the DC's engine printer,
//               KpEngineStartDoc: StartDocPrinterW, then DrvStartDoc with the
//               spooler's job id), STARTDOCPOST (13: the address of that job
//               id in; -1 fails StartDoc through AbortDoc). The answer is the
//               job id. A failure of the job or of DrvStartDoc raises
//               ABORTDOC (9) and answers SP_ERROR with the failure's error.
//   StartPage   STARTPAGE (6; -1 fails before KpEngineStartPage).
//   EndPage     ENDPAGE (7, result ignored), then KpEngineSendPage.
//   EndDoc      ENDDOC (8, result ignored; the driver may start and end a
//               page inside it), KpEngineEndDoc (DrvEndDoc, EndDocPrinter),
//               ENDDOCPOST (12).
//   AbortDoc    ABORTDOC (9), KpEngineEndDoc(ED_ABORTDOC): the job is
//               aborted (AbortPrinter).
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
//  - Spooler jobs: a document is a spooler job, as on Windows, when the
//    printer has a port (GetPrinterW level 2 names one): the renderer's
//    output goes through WritePrinter to the spooler, its user-mode driver
//    ("SPLUserModePrinterDriver") and the port; the engine's write record
//    still keeps the bytes. A printer without a port keeps the renderer's
//    output in the engine's record only (KpEngineGetOutput) under a job id
//    of the stand-in's own, as before. KpDcUseSpoolerJobs overrides this per
//    DC. A failed StartDocPrinterW (no port, a port that does not open, a
//    user-mode driver that refuses) raises ABORTDOC, since STARTDOC already
//    told the driver of the document, and StartDocW answers SP_ERROR with
//    the spooler's last error kept.
//  - The drawing calls are kept in the DC's log (name, arguments and
//    answer). They reach the renderer through the engine runner's drawing
//    calls (engine_draw.h) on the DC's session, in device pixels, only inside
//    a page (else FALSE, ERROR_INVALID_FUNCTION); ExtTextOutW and
//    GetTextExtentPoint32W through the runner's text call (KpEngineTextOut).
//    GetDeviceCaps, SaveDC, RestoreDC, SetTextColor, SetBkColor, SetBkMode,
//    SetPolyFillMode, MoveToEx, the object calls and the clip calls keep the
//    DC's state themselves; SaveDC keeps all of it (objects selected,
//    colours, modes, current position, clip) and RestoreDC brings it back.
//  - Objects: fonts, pens, brushes, bitmaps and rectangle regions, one table
//    a process. A DC starts with BLACK_PEN and WHITE_BRUSH (so a shape
//    drawn without selecting a brush is filled white, as on Windows) and no
//    font (SelectObject answers null for the first font). DeleteObject of
//    an object still selected answers TRUE: its handle is gone at once, but
//    the DCs (and their saved states) that have it selected draw on with it
//    until they select another; deleting a stock object answers TRUE and
//    keeps it. SelectObject of a region sets the clip (SelectClipRgn) and
//    answers the region's kind; a bitmap is refused (a printer DC has no
//    bitmap to select into).
//  - Pens: CreatePen takes PS_SOLID to PS_INSIDEFRAME (another style, or a
//    negative width: ERROR_INVALID_PARAMETER); a width of 0 or 1 is a
//    cosmetic pen, a wider one a geometric pen with round ends and joins
//    (dashed styles too). ExtCreatePen takes PS_COSMETIC (width 1, any style
//    but PS_INSIDEFRAME) and PS_GEOMETRIC (any style but PS_ALTERNATE), the
//    end caps and joins, PS_USERSTYLE with 1 to 16 entries not all 0, and a
//    LOGBRUSH of BS_SOLID (BS_NULL makes a null pen; other brushes:
//    ERROR_NOT_SUPPORTED). To LINEATTRS: a cosmetic pen is width 1 (LONG),
//    its dashes LONG style units (DEVINFO's style step), PS_ALTERNATE
//    LA_ALTERNATE; a geometric one is LA_GEOMETRIC, its width FLOATL, the
//    caps ROUND/SQUARE/FLAT as ENDCAP_ROUND/SQUARE/BUTT, the joins
//    ROUND/BEVEL/MITER as JOIN_ROUND/BEVEL/MITER, miter limit 10, dashes
//    FLOATL pixels. The standard dashes are dash 3 gap 1 (PS_DASH), 1 1
//    (PS_DOT), 3 1 1 1 (PS_DASHDOT), 3 1 1 1 1 1 (PS_DASHDOTDOT), in style
//    units for a cosmetic pen and in pen widths for a geometric one; user
//    styles are style units (cosmetic) or pixels (geometric). The gaps are
//    left unpainted in either background mode. PS_NULL draws no line;
//    PS_INSIDEFRAME wider than a pixel shrinks Rectangle's and Ellipse's box
//    by half the width so the line stays inside (elsewhere it is solid).
//  - Brushes: CreateSolidBrush; CreateHatchBrush (HS_HORIZONTAL to
//    HS_DIAGCROSS, else ERROR_INVALID_PARAMETER): the lines in the brush's
//    colour on the DC's background colour (SetBkColor, white at first), the
//    background left unpainted in TRANSPARENT mode (background mix R2_NOP);
//    CreatePatternBrush over a bitmap of CreateBitmap. That is the one
//    pattern brush: CreateBitmap takes one plane of 1 bit (0 bits paint in
//    the DC's text colour, 1 bits in its background colour, as Windows
//    paints a monochrome pattern) or of 32 bits (B, G, R and an unused
//    byte), rows padded to 16 bits as Windows' device-dependent bitmaps
//    are; other depths ERROR_NOT_SUPPORTED, no DIB pattern brushes. The
//    brush keeps the bitmap, so the bitmap may be deleted after. The brush
//    origin is the page's corner. GetStockObject answers the brushes
//    WHITE_BRUSH to NULL_BRUSH and the pens WHITE_PEN to NULL_PEN.
//  - Shapes: LineTo strokes from the current position (MoveToEx) and moves
//    it; Polyline and PolyBezier (1 + 3n points) are stroked only;
//    Rectangle (the box as given, normalised; corners at the pixel
//    coordinates), Ellipse (inscribed in it), Polygon (closed, the fill mode
//    of SetPolyFillMode: ALTERNATE FP_ALTERNATEMODE, WINDING
//    FP_WINDINGMODE) are stroked and filled: with both a pen and a brush
//    through one KpEngineStrokeAndFillPath, with a null pen KpEngineFillPath
//    alone, with a null brush KpEngineStrokePath alone, with neither
//    nothing (TRUE). Points beyond the engine's 28.4 range:
//    ERROR_INVALID_PARAMETER.
//  - Clip: rectangles only. CreateRectRgn makes a one-rectangle region;
//    SelectClipRgn copies it as the clip (null: no clip);
//    IntersectClipRect and ExcludeClipRect narrow the clip (ExcludeClipRect
//    of an unclipped DC starts from the page, HORZRES x VERTRES); all
//    answer NULLREGION, SIMPLEREGION or COMPLEXREGION (RGN_ERROR with an
//    unknown DC or region). Every drawing call (lines, shapes,
//    StretchDIBits, text) passes the clip to the renderer as a CLIPOBJ:
//    DC_TRIVIAL without a clip, DC_RECT for one rectangle, DC_COMPLEX for
//    more (disjoint); a clip that hides everything draws nothing (TRUE).
//    ExtTextOutW's ETO_CLIPPED rectangle clips within the DC's clip.
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

#include "kplatform/engine_draw.h"
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
typedef HGDIOBJ HBRUSH;
typedef HGDIOBJ HBITMAP;
typedef HGDIOBJ HRGN;
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
// Pen styles: the style, in ExtCreatePen also the end cap, the join and the type.
#define PS_SOLID 0
#define PS_DASH 1
#define PS_DOT 2
#define PS_DASHDOT 3
#define PS_DASHDOTDOT 4
#define PS_NULL 5
#define PS_INSIDEFRAME 6
#define PS_USERSTYLE 7
#define PS_ALTERNATE 8
#define PS_STYLE_MASK 0x0000000Fu
#define PS_ENDCAP_ROUND 0x00000000u
#define PS_ENDCAP_SQUARE 0x00000100u
#define PS_ENDCAP_FLAT 0x00000200u
#define PS_ENDCAP_MASK 0x00000F00u
#define PS_JOIN_ROUND 0x00000000u
#define PS_JOIN_BEVEL 0x00001000u
#define PS_JOIN_MITER 0x00002000u
#define PS_JOIN_MASK 0x0000F000u
#define PS_COSMETIC 0x00000000u
#define PS_GEOMETRIC 0x00010000u
#define PS_TYPE_MASK 0x000F0000u
// Brush styles (LOGBRUSH.lbStyle); the hatches HS_* are engine_draw.h's.
#define BS_SOLID 0
#define BS_NULL 1
#define BS_HOLLOW BS_NULL
#define BS_HATCHED 2
#define BS_PATTERN 3
// Stock objects
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
// Polygon fill modes
#define ALTERNATE 1
#define WINDING 2
// What a clip call answers: the kind of region left.
#define RGN_ERROR 0
#define NULLREGION 1
#define SIMPLEREGION 2
#define COMPLEXREGION 3
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

typedef struct tagLOGBRUSH {
  UINT lbStyle;
  COLORREF lbColor;
  ULONG_PTR lbHatch;
} LOGBRUSH;

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

KP_API HGDIOBJ WINAPI GetStockObject(int index);
KP_API HPEN WINAPI ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* brush, DWORD styleCount,
                                const DWORD* styleEntries);
KP_API HBRUSH WINAPI CreateSolidBrush(COLORREF color);
KP_API HBRUSH WINAPI CreateHatchBrush(int hatch, COLORREF color);
KP_API HBITMAP WINAPI CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
KP_API HBRUSH WINAPI CreatePatternBrush(HBITMAP bitmap);
KP_API COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color);
KP_API int WINAPI SetPolyFillMode(HDC hdc, int mode);
KP_API BOOL WINAPI MoveToEx(HDC hdc, int x, int y, POINT* previous);
KP_API BOOL WINAPI LineTo(HDC hdc, int x, int y);
KP_API BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom);
KP_API BOOL WINAPI Ellipse(HDC hdc, int left, int top, int right, int bottom);
KP_API BOOL WINAPI Polygon(HDC hdc, const POINT* points, int count);
KP_API BOOL WINAPI PolyBezier(HDC hdc, const POINT* points, DWORD count);

KP_API HRGN WINAPI CreateRectRgn(int left, int top, int right, int bottom);
KP_API int WINAPI SelectClipRgn(HDC hdc, HRGN region);
KP_API int WINAPI IntersectClipRect(HDC hdc, int left, int top, int right, int bottom);
KP_API int WINAPI ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom);
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
  const BYTE* in;   // the input bytes as sent (cbIn of them): an escape's block, an event's
                    // input (STARTDOCPOST: the job id; pointers as their bytes)
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
// Whether the DC's next documents are spooler jobs (see StartDocW at the
// top): TRUE always, FALSE never (the renderer's output then stays in the
// engine's record, KpEngineGetOutput). Until called, a document is a job
// when the printer has a port. Refused inside a document (ERROR_BUSY) and
// for an unknown DC (ERROR_INVALID_HANDLE).
KP_API BOOL KpDcUseSpoolerJobs(HDC hdc, BOOL on);
// The spooler printer handle the DC opened.
KP_API HANDLE KpDcPrinterHandle(HDC hdc);
// Live DCs in the process.
KP_API DWORD KpDcCount(void);
