// The renderer's device instance (PDEV): one per device context, allocated
// zero-filled from its own heap by DrvEnablePDEV and freed with that heap by
// DrvDisablePDEV.
//
// The PDEV lives only in the renderer's memory: it is never stored or sent,
// so it is this 64-bit build's own structure (natural alignment, pointers at
// their width). The 14284 bytes of the 32-bit layout do not apply; what holds
// is the order of the shared members and the magic at both ends (the tail
// magic in the PDEV's last four bytes, asserted below).
//
// Members that later work fills (device fonts, merged images, escape state,
// job control) are here already so that the PDEV's shape does not change
// when that work lands; until then they stay zero.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kestrel/core/cddd.h"
#include "kestrel/core/devmode.h"
#include "kestrel/render/jobrec.h"
#include "kestrel/render/xl.h"
#include "kplatform/engine_ddi.h"
#include "kplatform/engine_float.h"

struct XlJobData;

// "DLPV" read little-endian.
constexpr DWORD PDEV_MAGIC = 0x56504C44;

// DDI flag word (PDEV::ddiFlags): the bits the document calls set and test.
constexpr DWORD PDEV_DOC_STARTED = 0x4;          // DrvStartDoc .. DrvEndDoc
constexpr DWORD PDEV_OUTPUT_FAILED = 0x8;        // the output failed; never cleared
constexpr DWORD PDEV_JOB_OPENED_BY_PAGE = 0x4000; // DrvStartPage opened the job
constexpr DWORD PDEV_PAGE_EMPTY = 0x8000;        // a page is open and nothing was drawn yet
constexpr DWORD PDEV_RESET_NO_JOB = 0x100000;    // after DrvResetPDEV: the next DrvStartDoc starts no job
// Job control sets none of 0x10000, 0x80000, 0x200000 and 0x400000: no built
// page step needs DrvStartPage to answer at once (they belong to the fax
// sheets and repeats, refused until that work), so the document calls only
// ever clear them.
constexpr DWORD PDEV_JOBCTRL_PAGE = 0x200000;        // cleared by DrvStartPage
constexpr DWORD PDEV_RESET_PAGE_CLEARS = 0x800000;   // cleared with PDEV_RESET_NO_JOB by DrvStartPage
constexpr DWORD PDEV_STARTPAGE_DONE = 0x498000;  // any of these: DrvStartPage succeeds at once
constexpr DWORD PDEV_STARTDOC_CLEARS = 0x4FC000;
constexpr DWORD PDEV_ENDDOC_CLEARS = 0x114004;
// The bits a new PDEV takes from the old one at DrvResetPDEV. The
// output-failed bit goes with them: a reset must not revive a failed output
// (the bits 0x1094104 alone would drop it).
constexpr DWORD PDEV_RESET_CARRIES = 0x1094104 | PDEV_OUTPUT_FAILED;

// A printer form: the current form (what the application's page is) and the
// output form (what is printed on). Lengths in 1/18432 inch (points x 256)
// from the paper's top-left corner.
struct PRINTERFORM {
  WCHAR formName[32];  // NUL-padded
  BYTE reserved[32];   // not set by the form code
  LONG imageableLeft;
  LONG imageableTop;
  LONG imageableRight;
  LONG imageableBottom;
  LONG paperWidth;
  LONG paperLength;
  DWORD landscape;    // 1 after the landscape turn
  DWORD substituted;  // 1 when another paper was put in place of the requested one
  DDD_PAPER* paperRecord;  // the description data's paper record (owned by the PDEV), or null
  DWORD unused;
};

// The application margins of the CreateDC devmode trailer (offset 5442).
struct PDEV_APPMARGINS {
  BYTE bytes[12];  // 16-bit paper id, then margins at offsets 4, 6, 8, 10
};

// Blocks the escapes store in the PDEV. Every block comes from the engine's
// allocator (EngAllocMem), belongs to exactly one PDEV and is freed with it
// (FreePdevMemory); DrvResetPDEV moves them to the new PDEV and clears the old
// one's pointers, so no block is ever reachable from two PDEVs.
struct PDEV_BLOCK {
  BYTE* data;  // null when nothing is stored
  DWORD size;
};

// The header/footer record of escape 0x5007: five blocks of the sizes below
// (each null until a Set stores it) and a 16-bit word.
constexpr DWORD PDEV_HF_BLOCKS = 5;
constexpr DWORD PDEV_HF_BLOCK_SIZES[PDEV_HF_BLOCKS] = {128, 64, 522, 22, 12};
struct PDEV_HEADERFOOTER {
  BYTE* blocks[PDEV_HF_BLOCKS];
  WORD word;
};

// The security-marking blocks (PDEV::securityMarking).
constexpr DWORD PDEV_GSB_DATA = 0;      // escape 0x502D
constexpr DWORD PDEV_GSB_EXTENDED = 1;  // escape 0x5031
constexpr DWORD PDEV_GSB_JOBID = 2;     // escape 0x502F
constexpr DWORD PDEV_GSB_BLOCKS = 3;

// Stamp state of job control: stamp drawing on or off and physical stamp
// mode (the stamp or header/footer is drawn on the physical sheet).
struct PDEV_JOBSTAMP {
  BOOL drawMode;
  BOOL physical;
};

// The fax flow of a job (pageflow.cpp, faxCtrl_*): made at the job's first
// page from the fax address copy and the devmode, cleared with the job.
struct PDEV_FAXJOB {
  DWORD active;        // the job has fax address information
  DWORD coverSheet;    // a cover sheet goes before the document (DDM 381 not 0)
  DWORD repeats;       // sends between 143 and 144: 1, or one per destination
  BYTE sheetCode;      // command 138's paper code of the sheet paper
  BYTE reserved[3];
  float sheetWidthMm;  // its size when the code is the custom one, else 0
  float sheetHeightMm;
  JOBREC_PAPER sheet;  // the sheet paper (id 9) at 600 dpi, portrait
};

// The private-escape state (escapes 4209-4212, 4216): set up by
// jobCtrl_privateEscape_init; overrides are -1 for none.
struct PDEV_PESC {
  DWORD gate;          // 1 after gate function 1
  DWORD version;       // PDL version of the job
  DWORD layoutSwitch;  // DDM 4103; 0 hides two capability bits of function 4356
  DWORD colorSwitch;   // printer-information item 5 is 2; 0 refuses function 4355
  WORD imageIdCounter;
  WORD currentImageId;
  DWORD imageSize;
  DWORD bytesReceived;
  SHORT nupOverride;
  SHORT orderOverride;
  SHORT orientationOverride;
  SHORT layoutOverride;  // DDM 321
  SHORT posterOverride;  // DDM 296
  SHORT duplexOverride;  // 1 simplex, 2 and 3 duplex kinds
  LONG colorMode;        // 0, 1 or 2
  DWORD colorModeSwitch;  // 1 while the application sets the page colour mode
  // Saved values: DDM 16, 295, 264, 294, 321, 296, 270, and whether they
  // were applied.
  SHORT saved[7];
  DWORD overridesApplied;
  // The direct image being received (render/km/pesc.cpp): its rotation and
  // whether its BeginImage and ReadImage header went out (its data then
  // must reach the size announced).
  WORD imageRotation;
  WORD imageOpen;
};

struct PDEV {
  DWORD headMagic;  // PDEV_MAGIC, written by FillPsDevData
  // The job's devmode in its 5440-byte form (the DEVMODEW part, the private
  // part, the non-devmode record). Read and written by DDM id only.
  alignas(8) BYTE devmode[NRV_DEVMODE_SIZE_FULL];
  BYTE* printerData;  // the 4736-byte printer-data record, from the PDEV heap
  void* heap;         // the PDEV's heap (HEAPCREATE)
  HANDLE hPrinter;    // the spooler's handle given to DrvEnablePDEV
  DWORD reserved256;  // 256
  DWORD logicalResolution;  // DDM 20 x DDM 11 / 100
  // DDM_COPIES at start; SETCOPYCOUNT changes it. Not read yet: the in-band
  // devmode resend writes it back as DDM_COPIES before sending the devmode.
  DWORD copies;
  HDEV hdev;                // the engine's device, replaced by DrvCompletePDEV
  HSURF hsurf;
  HPALETTE hpal;
  DWORD ddiFlags;  // PDEV_* bits above, and job control's page-work bits

  PRINTERFORM curForm;
  PRINTERFORM outForm;

  HCDDD ddd;          // cddd_Open of the engine device
  DDDFILE* dddMain;   // the handle's two data contexts, kept beside it
  DDDFILE* dddReferenced;

  DWORD stampMode;  // 0 at start; 0x5003
  // The device fonts (render/km/devfont.h): the exposed fonts, the font set
  // and the exposed record numbers; cDeviceFonts is the exposed count.
  struct DEVFONT_TABLES* deviceFonts;
  DWORD cDeviceFonts;
  LPWSTR ttSubstTable;  // the TrueType substitution table

  JOBINFO jobInfo;
  LAYOUTINFO layoutInfo;
  PAGECTRL pageCtrl;  // starts with job control's flag word

  // Escape state (the escapes fill it; blocks as PDEV_BLOCK says).
  DWORD escapeStatus;
  DWORD formFileSwitch;
  WCHAR docName[261];
  PDEV_HEADERFOOTER* headerFooter;  // null until the first 0x5007
  DWORD faxFlag;
  DWORD startDocFlag;
  BYTE statusBlock[12];    // 0x5029: 32-bit, 32-bit, 16-bit and 2 bytes, kept as given
  BYTE* colorServerBlock;  // 0x502C: 2112 bytes, or null
  PDEV_BLOCK securityMarking[PDEV_GSB_BLOCKS];
  DWORD securityStatus[2];  // 0x5030

  PDEV_APPMARGINS appMargins;  // from the CreateDC devmode trailer
  DWORD emulationValue;        // trailer offset 5456
  DWORD preConfigValue;        // trailer offset 5460
  DWORD jobWord;               // job control's word, cleared at enable

  // ---- Job control's state (jobctrl.cpp, pdl_ctrl.cpp, pageflow.cpp) ----
  // The job-data record: from pdl_ctrl_enable to pdl_ctrl_disable (engine
  // memory). DrvResetPDEV moves it with the transform to the new PDEV.
  XlJobData* jobData;
  // The current transform {m11, m12, m21, m22, dx, dy}: identity after
  // init_cgs, set by pdl_ctrl_setcoordinate and pdl_setcoordinate.
  FLOATOBJ currentXform[6];
  PDEV_JOBSTAMP stamp;
  DWORD headerMode;  // 0x5008, kept by job control
  // The page number kept by job control (escapes 0x500A and 0x5006): the
  // application pages ended in this job (0 while the first page is drawn).
  DWORD pageNumber;
  DWORD patternResolution;  // DDM 348, kept by page_setDEVData_pdl
  PDEV_BLOCK faxInfo;       // jobCtrl_setFaxInfo's copy (engine memory)
  PDEV_FAXJOB faxJob;       // the fax flow of the job
  PDEV_PESC pesc;           // the private-escape state

  // Device-font selection words (the device-font work fills them).
  DWORD fontSelection[2];

  // ---- The drawing calls' state (render/km/path*.cpp, brush*.cpp, image*.cpp;
  // names and values in render/km/draw.h) ----
  DWORD clipState;       // the printer's clip: page, rectangle, path, reset pending
  RECT clipRect;         // the clip rectangle in force (device pixels)
  BYTE* clipPath;        // the cached clip path block (PDEV heap), or null
  DWORD clipPathSize;    // its bytes
  DWORD clipPathCount;   // its path records
  DWORD xformFlags;      // bit 0x4: a geometric line's transform is in force
  struct KmMergeImage* mergeImage;  // EnableMergeImage .. DisableMergeImage
  FLOATOBJ worldXform[6];  // the world transform pdl_geolinexform read

  // The writer's state with the 4096-byte output buffer.
  XlContext xl;

  // The image-rotation judgement of the current logical page (1: the page
  // image is turned), made at its start for the image work.
  LONG imageRotation;
  // The paper of the last physical page (its code and sizes are compared at
  // the next one); lastPaperSet once a physical page has started.
  DWORD lastPaperSet;
  JOBREC_PAPER lastPaper;
  // Set once kestrelui asks for the page information of the document end:
  // the document's own pages have all ended, and a page opened after it is
  // the one kestrelui draws the last sheet's stamp on. That page takes its
  // place on the sheet but is not counted as a logical page of the document.
  DWORD documentEndPage;
  // The font download cache (render/km/fontcache.cpp): the fonts downloaded
  // in this page, most recently used first, and their number.
  struct XLFONT_ENTRY* fontCache;
  WORD fontCacheCount;
  BYTE fontCacheReserved[6];  // keeps the tail magic in the last four bytes

  DWORD pad;
  DWORD tailMagic;  // PDEV_MAGIC, in the last four bytes
};
static_assert(offsetof(PDEV, tailMagic) + sizeof(DWORD) == sizeof(PDEV), "tail magic ends the PDEV");
static_assert(offsetof(PDEV, headMagic) == 0);

// Valid: not null, and both magics hold PDEV_MAGIC.
BOOL bValidatePDEV(const PDEV* pdev);
