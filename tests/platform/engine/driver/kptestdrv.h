// The test driver's controls: a small graphics driver that the runner tests
// load by name. The test reaches its controls with GetProcAddress after the
// runner (or the test) has loaded it.
#pragma once

#include <kplatform/engine.h>

enum KtdTable {
  kKtdTableNormal = 0,
  kKtdTableDuplicateIndex,
  kKtdTableMissingEnableSurface,
  kKtdTableIndexBeyondLast,
  kKtdTableNullAddress,
  kKtdTableEmpty,
  kKtdTableNullPointer,
};

struct KtdControl {
  ULONG minEngineVersion;  // below it DrvEnableDriver fails with 119
  ULONG minSize;           // a smaller buffer fails with 119
  ULONG driverVersion;     // the version answered
  int table;               // KtdTable
  BOOL omitDocumentEntries;
  BOOL failEnablePDEV;
  BOOL skipAssociate;
  ULONG pageBytes;         // bytes DrvSendPage writes
  LONG livePdevs;          // PDEVs enabled and not yet disabled
  LONG driverDisables;     // DrvDisableDriver calls
  LONG wrongSurfaces;      // document calls whose surface carried another PDEV
  ULONG lastResetPages;    // pages the new PDEV took over at the last reset
  BOOL omitEscape;         // the table has no DrvEscape
  BOOL failStartDoc;       // DrvStartDoc answers FALSE with ERROR_INVALID_FUNCTION
  ULONG escapeAnswer;      // what DrvEscape answers
  LONG escapes;            // DrvEscape calls
  ULONG lastEscape;        // the last DrvEscape's code, input and output sizes
  ULONG lastEscapeIn;
  ULONG lastEscapeOut;
  DWORD lastJobId;         // the last DrvStartDoc's job id and document name (truncated)
  WCHAR lastDocName[32];
  BOOL drawing;            // the table has the drawing calls, which record what they get
};

// What one drawing call got (DrvStrokePath, DrvFillPath,
// DrvStrokeAndFillPath, DrvBitBlt, DrvStretchBlt, DrvTextOut), recorded
// while KtdControl.drawing is on.
#define KTD_MAX_RECORDS 8
#define KTD_MAX_STYLE 16
#define KTD_NO_BRUSH 0xFFFFFFFEu  // no brush object given
typedef struct _KtdBrush {
  ULONG solid;        // iSolidColor, KTD_NO_BRUSH without a brush
  ULONG hatch;        // realized: iHatch (HS_*, or 6 and up for a pattern); else ~0
  ULONG format;       // realized pattern: BMF_*; else 0
  SIZEL size;         // realized pattern's size
  ULONG colors[2];    // realized: translation of indices 0 and 1
  BYTE firstRow[8];   // realized pattern: the first bytes of its top row, padding included
} KtdBrush;
typedef struct _KtdDrawing {
  ULONG index;          // INDEX_Drv*
  FLONG pathFlags;      // PATHOBJ fl
  ULONG records;        // path records
  FLONG recordFlags[KTD_MAX_RECORDS];
  ULONG recordPoints[KTD_MAX_RECORDS];
  POINTFIX firstPoint;  // the path's first point
  BOOL hasLine;         // a LINEATTRS was given
  LINEATTRS line;       // as given (pstyle not kept)
  FLOAT_LONG style[KTD_MAX_STYLE];
  BYTE clipComplexity;  // DC_TRIVIAL, DC_RECT, DC_COMPLEX; 0xFF without a clip object
  RECTL clipBounds;
  ULONG clipRects;      // subpaths of CLIPOBJ_ppoGetPath
  KtdBrush stroke;      // the pen's brush (DrvStrokePath, DrvStrokeAndFillPath), DrvTextOut's foreground
  KtdBrush fill;        // the fill brush, DrvBitBlt's brush
  MIX mix;
  FLONG fillOptions;
  RECTL target;         // blits: the target rectangle
} KtdDrawing;
typedef ULONG (*KtdDrawingCountFn)(void);
typedef BOOL (*KtdGetDrawingFn)(ULONG index, KtdDrawing* out);
typedef void (*KtdClearDrawingsFn)(void);

typedef KtdControl* (*KtdGetControlFn)(void);
// Default controls (the driver resets to these at DrvEnableDriver only if
// asked: tests set what they need before loading).
#define KTD_POOL_TAG 0x6474644Bu  // "Kdtd"
