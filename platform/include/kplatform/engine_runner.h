// The graphics-engine stand-in's own interface: the driver runner, the
// printer contexts it hands a driver, and the controls tests use to watch and
// steer the engine services.
//
// A printer context stands for what the engine knows of one printer while a
// driver renders for it: the spooler printer name, the driver file and data
// file paths (Windows paths), and every EngWritePrinter call made on it. Its
// printer data and forms are the spooler stand-in's: EngGetPrinterData and
// EngEnumForms open the spooler's printer of that name (OpenPrinterW) at
// their first call and answer what GetPrinterDataW and EnumFormsW answer;
// tests store printer data with the spooler's SetPrinterDataW. Its handle is the printer handle (hDriver) a driver gets
// in DrvEnablePDEV and passes to EngWritePrinter, EngGetPrinterData and
// EngEnumForms. A device (HDEV) belongs to one printer context; the runner
// makes one per PDEV.
#pragma once

#include "kplatform/engine_ddi.h"
#include "kplatform/engine_objects.h"
#include "kplatform/engine_devfont.h"

// ---- Printer contexts ------------------------------------------------------------

typedef struct _KP_ENGINE_PRINTER_INFO {
  // The spooler's printer name: the device name the runner passes to
  // DrvEnablePDEV, and the printer EngEnumForms opens with OpenPrinterW.
  LPCWSTR printerName;
  // The driver file's Windows path (EngGetDriverName); null: that call
  // answers null.
  LPCWSTR driverPath;
  // The printer's data file's Windows path (EngGetPrinterDataFileName);
  // null: that call answers null.
  LPCWSTR dataFile;
} KP_ENGINE_PRINTER_INFO;

// Null with ERROR_INVALID_PARAMETER when info or its printer name is null or
// empty. The strings are copied.
KP_API HANDLE KpEngineCreatePrinter(const KP_ENGINE_PRINTER_INFO* info);
// FALSE (ERROR_INVALID_HANDLE) for a handle that is no printer context.
// Devices of the printer stay valid handles but answer as if it were gone.
KP_API BOOL KpEngineDeletePrinter(HANDLE printer);

// Makes every EngGetPrinterData on the printer answer `error` (0 clears),
// without asking the spooler.
KP_API BOOL KpEngineFailPrinterData(HANDLE printer, DWORD error);

// EngWritePrinter record: calls nth to nth + times - 1 (counted from 1 at
// the next call on this printer) keep at most maxBytes bytes each; with
// error 0 they succeed short, otherwise they answer FALSE with that error
// after keeping those bytes (the count kept is still reported). nth 0 clears.
KP_API BOOL KpEngineSetWriteFault(HANDLE printer, DWORD nth, DWORD times, DWORD maxBytes, DWORD error);
// EngWritePrinter calls made on the printer (those that failed included).
KP_API DWORD KpEngineWriteCount(HANDLE printer);
// The size asked for (cbBuf) in call `index` (0-based); 0 beyond the count.
KP_API DWORD KpEngineWriteSize(HANDLE printer, DWORD index);
// The bytes kept by every call, in order: copies at most size bytes and
// answers the total kept. Null buffer: only the total.
KP_API size_t KpEngineGetOutput(HANDLE printer, void* buffer, size_t size);
// Forgets the calls and bytes recorded (the fault stays).
KP_API BOOL KpEngineClearOutput(HANDLE printer);

// Spooler jobs (off by default): while on, each document the runner starts
// on a session of this printer context is a spooler job of the printer of
// that name (winspool_job.h): KpEngineStartDoc calls StartDocPrinterW (level
// 1, the document name, "RAW") on a printer handle of its own before
// DrvStartDoc, which gets the spooler's job id; KpEngineStartPage calls
// StartPagePrinter before DrvStartPage; KpEngineSendPage EndPagePrinter
// after DrvSendPage; KpEngineEndDoc EndDocPrinter after DrvEndDoc, or
// AbortPrinter when the document is ended as aborted or DrvEndDoc failed;
// disabling a session in a document aborts its job. A spooler call that
// fails fails the runner's call with its error (a StartDocPrinterW failure
// before DrvStartDoc is called). EngWritePrinter on the printer context is
// then WritePrinter on the job: its result, its count and last error; the
// write record keeps each call's size and the bytes the job took; the write
// fault above is not applied (the spooler's KpSpoolerSetWriteFault is);
// outside a document it answers FALSE, ERROR_SPL_NO_STARTDOC. One document
// at a time per printer context: a second one is refused with ERROR_BUSY.
// Switching while a document is started: FALSE, ERROR_BUSY.
KP_API BOOL KpEngineUseSpoolerJobs(HANDLE printer, BOOL on);

// A device of the printer context (what the runner passes as HDEV); null
// for a handle that is no printer context.
KP_API HDEV KpEngineCreateDevice(HANDLE printer);
KP_API BOOL KpEngineDeleteDevice(HDEV hdev);

// ---- Memory, objects, debug output ----------------------------------------------

// Fails the nth EngAllocMem from now (1 = the next), in any thread; 0 clears.
KP_API void KpEngineFailAllocation(DWORD nth);
// Live EngAllocMem blocks with this pool tag; tag 0 counts every block.
KP_API size_t KpEngineBlockCount(ULONG tag);
// EngAllocMem calls made so far (in any thread; the refused ones too), so a
// test can walk KpEngineFailAllocation over every allocation of a step.
KP_API size_t KpEngineAllocationCount(void);
// EngFreeMem calls on a pointer that was no live block (ignored, counted).
KP_API size_t KpEngineBadFreeCount(void);

// Live engine objects of one kind.
#define KP_ENGINE_MODULES 1
#define KP_ENGINE_SEMAPHORES 2
#define KP_ENGINE_PALETTES 3
#define KP_ENGINE_SURFACES 4
#define KP_ENGINE_DEVICES 5
#define KP_ENGINE_PRINTERS 6
#define KP_ENGINE_DRAWING_OBJECTS 7  // paths, transforms, colour translations, fonts, strings
KP_API size_t KpEngineObjectCount(DWORD kind);

// EngDebugPrint's capture (newest 1048576 bytes), as the bytes printed.
// Copies at most size - 1 bytes and a NUL; answers the length captured.
KP_API size_t KpEngineGetDebugOutput(char* buffer, size_t size);
KP_API void KpEngineClearDebugOutput(void);

// What an associated device surface is.
typedef struct _KP_ENGINE_SURFACE_INFO {
  DHSURF dhsurf;
  HDEV hdev;      // null until associated
  DHPDEV dhpdev;  // the device's PDEV at association
  SIZEL size;
  ULONG format;
  FLONG hooks;
} KP_ENGINE_SURFACE_INFO;
KP_API BOOL KpEngineQuerySurface(HSURF hsurf, KP_ENGINE_SURFACE_INFO* info);

// Drawing objects for tests, until drawing calls make them. A path copies
// its records and points; a transform copies its matrix; a colour
// translation copies its table (flXlate XO_TRIVIAL or XO_TABLE).
KP_API PATHOBJ* KpEngineCreatePath(ULONG cRecords, const PATHDATA* records);
KP_API XFORMOBJ* KpEngineCreateXform(const XFORML* matrix);
KP_API XLATEOBJ* KpEngineCreateXlate(FLONG flXlate, ULONG cEntries, const ULONG* table);
// Deletes any object made above; FALSE for a pointer that is none.
KP_API BOOL KpEngineDeleteObject(PVOID object);

// Fonts and strings for tests, until text drawing calls make them (the
// decisions of the stand-in's fonts are in engine_objects.h). A TrueType
// font from a file of the font folder (a name without a folder) or a host
// path: `member` chooses a collection's face; `emPixels` is the em height
// in device pixels; `escapement` is in tenths of a degree counter-clockwise;
// `shear` moves the up direction along the baseline; `flags` takes
// FO_SIM_BOLD, FO_SIM_ITALIC and FO_VERT_FACE (a vertical face, "@" in front
// of its name); `mirror` mirrors the baseline. Null with ERROR_FILE_NOT_FOUND
// for a file that is not there or that FreeType cannot read, and with
// ERROR_INVALID_PARAMETER for an em of 0 or less.
typedef struct _KP_ENGINE_FONT_INFO {
  const char* file;
  LONG member;
  LONG emPixels;
  LONG escapement;
  BOOL mirror;
  FLOAT shear;
  FLONG flags;
} KP_ENGINE_FONT_INFO;
KP_API FONTOBJ* KpEngineCreateTrueTypeFont(const KP_ENGINE_FONT_INFO* info);
// A string of `count` codes on a font (made above): Unicode text, or glyph
// indices when `flAccel` has SO_GLYPHINDEX_TEXTOUT. `flAccel` may add
// SO_REVERSED and the like; SO_HORIZONTAL is set for an unturned font.
// `glyphMode` is what DrvGetGlyphMode answered (FO_GLYPHBITS gives positions
// with bits). `batch` is how many positions STROBJ_bEnum hands out at a time
// (0: all); `withPositions` fills pgp at once. `charInc` is ulCharInc.
typedef struct _KP_ENGINE_STRING_INFO {
  FONTOBJ* font;
  const WCHAR* text;
  ULONG count;
  POINTL origin;
  FLONG flAccel;
  ULONG glyphMode;
  ULONG batch;
  BOOL withPositions;
  ULONG charInc;
} KP_ENGINE_STRING_INFO;
KP_API STROBJ* KpEngineCreateString(const KP_ENGINE_STRING_INFO* info);
// Fault knobs of a font: FONTOBJ_pifi, FONTOBJ_pxoGetXform and
// FONTOBJ_pvTrueTypeFontFile answer null while the matching flag is set,
// and the nth FONTOBJ_cGetGlyphs from now answers 0 (0: none).
#define KP_FONT_FAIL_PIFI 0x1u
#define KP_FONT_FAIL_XFORM 0x2u
#define KP_FONT_FAIL_FILE 0x4u
KP_API BOOL KpEngineFontFault(FONTOBJ* font, DWORD failFlags, DWORD failGlyphsNth);
// Fonts and strings are deleted with KpEngineDeleteObject (a string before
// its font) and counted as drawing objects.


// ---- The driver runner ------------------------------------------------------------
//
// Loads a driver library with LoadLibraryW, calls its DrvEnableDriver and
// then only the entries of the table it hands back, in the engine's order:
//   DrvEnablePDEV, DrvCompletePDEV, DrvEnableSurface,
//   (DrvStartDoc, (DrvStartPage, drawing, DrvSendPage)*, DrvEndDoc)*,
//   DrvDisableSurface, DrvDisablePDEV,
// with DrvEscape at any point from DrvEnablePDEV to DrvDisablePDEV.
// A call out of that order is refused (ERROR_INVALID_FUNCTION) without
// reaching the driver. A document entry the table lacks is not called and
// counts as success (the engine needs none of them from a driver); the five
// PDEV and surface entries are required.
//
// Every call the runner makes is logged per driver: the entry's name and
// what it answered (0 for entries without a result).
//
// As in the engine, several threads may use one loaded driver at once, each
// with its own sessions (PDEVs); a session is used by one thread at a time.

typedef struct _KP_ENGINE_DRIVER KP_ENGINE_DRIVER;
typedef struct _KP_ENGINE_SESSION KP_ENGINE_SESSION;

// DrvEnableDriver is called with the engine version KP_ENGINE_VERSION and
// sizeof(DRVENABLEDATA). Null when the library can't be loaded (the
// loader's error), has no DrvEnableDriver (ERROR_PROC_NOT_FOUND), answers
// FALSE (the driver's error, or ERROR_GEN_FAILURE when it set none),
// answers a driver version below DDI_DRIVER_VERSION_NT4 or above the engine
// version (ERROR_BAD_DRIVER_LEVEL), or a table that is null, empty, longer
// than INDEX_LAST rows, names an index twice or beyond INDEX_LAST, has a
// null address, or lacks one of the five required entries
// (ERROR_INVALID_DATA). A refused driver is unloaded again.
KP_API KP_ENGINE_DRIVER* KpEngineLoadDriver(LPCWSTR name);
// The same with the version and buffer size the engine announces, so that
// a driver's own checks can be tried.
KP_API KP_ENGINE_DRIVER* KpEngineLoadDriverEx(LPCWSTR name, ULONG engineVersion, ULONG cj);
// Calls DrvDisableDriver when the table has it, then frees the library.
// Sessions still open are disabled first (DrvDisableSurface, DrvDisablePDEV).
KP_API BOOL KpEngineUnloadDriver(KP_ENGINE_DRIVER* driver);
// The table as the driver gave it (version and rows).
KP_API ULONG KpEngineDriverVersion(KP_ENGINE_DRIVER* driver);
KP_API ULONG KpEngineDriverEntryCount(KP_ENGINE_DRIVER* driver);
// Whether the table has a row for the index.
KP_API BOOL KpEngineDriverHasEntry(KP_ENGINE_DRIVER* driver, ULONG index);

// The call log.
KP_API DWORD KpEngineCallCount(KP_ENGINE_DRIVER* driver);
// Name of call `index` ("DrvEnablePDEV"), null beyond the count.
KP_API LPCSTR KpEngineCallName(KP_ENGINE_DRIVER* driver, DWORD index);
KP_API ULONG_PTR KpEngineCallResult(KP_ENGINE_DRIVER* driver, DWORD index);
KP_API void KpEngineClearCallLog(KP_ENGINE_DRIVER* driver);

// DrvEnablePDEV (devmode as given, no logical address, HS_DDI_MAX zeroed
// pattern handles, the session's GDIINFO and DEVINFO zeroed with their
// sizes, a new device of the printer, the printer name as the device name,
// the printer handle), then DrvCompletePDEV with the same device. Null when
// the driver answers no PDEV (the last error as the driver left it).
KP_API KP_ENGINE_SESSION* KpEngineEnablePDEV(KP_ENGINE_DRIVER* driver, HANDLE printer, const void* devmode);
// DrvEnableSurface; the surface must be a device surface the driver made and
// associated with the session's device (else FALSE, ERROR_INVALID_HANDLE,
// and the session goes on without a surface).
KP_API BOOL KpEngineEnableSurface(KP_ENGINE_SESSION* session);
KP_API BOOL KpEngineStartDoc(KP_ENGINE_SESSION* session, LPCWSTR docName, DWORD jobId);
KP_API BOOL KpEngineStartPage(KP_ENGINE_SESSION* session);
KP_API BOOL KpEngineSendPage(KP_ENGINE_SESSION* session);
// flags ED_ABORTDOC ends the document as aborted.
KP_API BOOL KpEngineEndDoc(KP_ENGINE_SESSION* session, FLONG flags);
// A new PDEV for the session's device from `devmode` (DrvEnablePDEV), then
// DrvResetPDEV(old, new), DrvCompletePDEV(new), DrvDisableSurface(old) when
// the old one had a surface, DrvDisablePDEV(old), DrvEnableSurface(new) when
// the old one had a surface. Allowed between documents and between pages.
// When the new PDEV can't be made, or DrvResetPDEV answers FALSE, the new
// one is disabled and the session keeps the old PDEV (FALSE).
// Inside a document (started and not ended) the engine then starts the
// document on the new PDEV: DrvStartDoc on the new surface with the name and
// job id the document was started with. When that DrvStartDoc (or the new
// surface) fails the reset answers FALSE with the driver's error, the session
// stays on the new PDEV and the document is over: no DrvEndDoc is due for it.
KP_API BOOL KpEngineResetPDEV(KP_ENGINE_SESSION* session, const void* devmode);

// ExtEscape: DrvEscape(surface, code, cjIn, pvIn, cjOut, pvOut) on the
// session, logged with its answer, which is passed back unchanged. Allowed
// from DrvEnablePDEV on, in and outside documents and pages. Before
// DrvEnableSurface (or after a surface was refused) the driver gets a
// surface record of the session that carries only its PDEV and device
// (dhpdev, hdev, iType STYPE_DEVICE), as the engine hands a printer driver
// escapes on a device context whose surface is not enabled yet. A driver
// without DrvEscape is not called: 0 (not implemented), as ExtEscape
// answers. A session handle that is none: KP_ENGINE_ESCAPE_ERROR with
// ERROR_INVALID_PARAMETER, nothing called.
#define KP_ENGINE_ESCAPE_ERROR 0xFFFFFFFFu  // ExtEscape's error answer, -1
KP_API ULONG KpEngineEscape(KP_ENGINE_SESSION* session, ULONG code, ULONG cjIn, PVOID pvIn, ULONG cjOut,
                            PVOID pvOut);
// DrvDisableSurface (when enabled) and DrvDisablePDEV; frees the session.
// A document still open is ended as aborted first.
KP_API BOOL KpEngineDisablePDEV(KP_ENGINE_SESSION* session);

// What the session holds.
KP_API const GDIINFO* KpEngineSessionGdiInfo(KP_ENGINE_SESSION* session);
KP_API const DEVINFO* KpEngineSessionDevInfo(KP_ENGINE_SESSION* session);
KP_API DHPDEV KpEngineSessionPDEV(KP_ENGINE_SESSION* session);
KP_API HDEV KpEngineSessionDevice(KP_ENGINE_SESSION* session);
// The surface record the document calls get; null without a surface.
KP_API SURFOBJ* KpEngineSessionSurface(KP_ENGINE_SESSION* session);
// The job id DrvStartDoc got for the session's latest document (the
// spooler's with spooler jobs on, else the one KpEngineStartDoc was given);
// 0 before the first document and for a handle that is no session.
KP_API DWORD KpEngineSessionJobId(KP_ENGINE_SESSION* session);

// One whole job: enable PDEV and surface, one document of `pages` pages
// (calling drawPage, when given, between DrvStartPage and DrvSendPage;
// its FALSE aborts the document), end of document, disable. Stops at the
// first step that fails (a document already started is ended as aborted, and
// the PDEV is disabled) and answers FALSE.
typedef BOOL (*KP_ENGINE_DRAW_PAGE)(void* context, KP_ENGINE_SESSION* session, ULONG page);
KP_API BOOL KpEngineRunJob(KP_ENGINE_DRIVER* driver, HANDLE printer, const void* devmode, LPCWSTR docName,
                           ULONG pages, KP_ENGINE_DRAW_PAGE drawPage, void* context);

// ---- Device fonts ------------------------------------------------------------------
//
// The engine asks the driver about its device fonts (DEVINFO cFonts faces)
// with DrvQueryFont and DrvQueryFontTree (QFT_GLYPHSET) and checks each
// answer before using it: the IFIMETRICS must be at least its own size
// (cjThis), its four name offsets must lie inside cjThis with their NUL, and
// the glyph set's runs and handles must lie inside its cjThis. A device font
// object (FO_TYPE_DEVICE, iFace the face) answers the driver's record from
// FONTOBJ_pifi; its transform maps the record's em (fwdUnitsPerEm) to
// `emPixels` as a TrueType font's does; it has no file and no glyph bits.
// Strings on it map each character through the glyph set (a character
// outside it takes the handle of the record's default character) and are
// laid out with the driver's DrvQueryAdvanceWidths (28.4 widths along the
// baseline). There is no LOGFONT mapping: the caller picks the face.
typedef BOOL(WINAPI* KP_PFN_QUERY_ADVANCE_WIDTHS)(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH* phg,
                                                  PVOID pvWidths, ULONG cGlyphs);
typedef struct _KP_ENGINE_DEVICE_FONT_INFO {
  IFIMETRICS* ifi;              // the driver's record (kept by the driver)
  const FD_GLYPHSET* glyphSet;  // the face's glyph set (kept by the driver)
  ULONG iFace;
  LONG emPixels;
  LONG escapement;  // tenths of a degree, counter-clockwise
  BOOL mirror;
  FLOAT shear;
  FLONG flags;  // FO_SIM_BOLD, FO_SIM_ITALIC
  DHPDEV dhpdev;
  KP_PFN_QUERY_ADVANCE_WIDTHS queryWidths;
} KP_ENGINE_DEVICE_FONT_INFO;
// Null with ERROR_INVALID_PARAMETER for a missing record, glyph set or
// widths call, or an em of 0 or less.
KP_API FONTOBJ* KpEngineCreateDeviceFont(const KP_ENGINE_DEVICE_FONT_INFO* info);
// The session's device faces: DEVINFO's cFonts.
KP_API ULONG KpEngineSessionDeviceFontCount(KP_ENGINE_SESSION* session);
// Face iFace's name (the record's face name, NUL-terminated within `chars`),
// after checking the driver's answers; FALSE (ERROR_INVALID_DATA for an
// answer that fails the checks, the driver's error when it refuses) else.
KP_API BOOL KpEngineSessionDeviceFontName(KP_ENGINE_SESSION* session, ULONG iFace, LPWSTR name, ULONG chars);
// A device font of face iFace of the session, with the size, escapement,
// mirror, shear and flags of `info` (its file and member are not used).
KP_API FONTOBJ* KpEngineCreateSessionDeviceFont(KP_ENGINE_SESSION* session, ULONG iFace,
                                                const KP_ENGINE_FONT_INFO* info);
