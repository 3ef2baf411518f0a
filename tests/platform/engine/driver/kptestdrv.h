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
};

typedef KtdControl* (*KtdGetControlFn)(void);
// Default controls (the driver resets to these at DrvEnableDriver only if
// asked: tests set what they need before loading).
#define KTD_POOL_TAG 0x6474644Bu  // "Kdtd"
