// The PDL control layer (declarations and results in pdl_ctrl.h): the
// renderer's job-data record, the page-store state word and the current
// transform, kept in step with the in-band commands and PCL XL operators
// each operation writes.
//
// Decisions:
//  - The job-data record comes from the engine's allocator (zero-filled
//    EngAllocMem, EngFreeMem). pdl_ctrl_enable on a PDEV that still holds a
//    record frees the old one first; an allocation failure sends no 128.
//  - Opening the record (pdl_ctrl_open) needs an enabled record that is not
//    open and a printer handle; it then writes (direction 1) to that
//    printer. Anything else fails and no 130 goes out.
//  - Page numbers of the page store count physical pages from 1;
//    pdl_ctrl_flushCurrentPage_forColors takes the page being stored (the
//    store's first page plus the pages already stored).
//  - The layout's base matrix of command 136 is the identity (the layout
//    work's layout_setBaseMatrix).
//  - Command 152 carries the name the escapes stored (0x5023) when there is
//    one, else the document name the job was started with.
//  - The BeginSession resolution is DDM 20 x DDM 21; a value of 0 or less
//    (the devmode's quality levels) means 600 dpi, as everywhere else.
#include <cstring>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/render/km_services.h"
#include "kestrel/render/xl_inband.h"
#include "kestrel/render/xl_outbuf.h"
#include "draw.h"
#include "fontcache.h"
#include "km_entry.h"

namespace {

constexpr ULONG kJobDataTag = 0x6D737044u;  // "Dpsm", the renderer's plain blocks
constexpr float kIdentity[6] = {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
constexpr DWORD kResolutionDefault = 600;
constexpr BYTE kMeasureInch = 0;
constexpr BYTE kErrorReportOn = 3;  // the error page and the back channel
constexpr DWORD kFormRegistrationOn = 1;  // DDM 339

void* EngineAlloc(void*, size_t bytes) { return EngAllocMem(FL_ZERO_MEMORY, static_cast<ULONG>(bytes), kJobDataTag); }
void EngineFree(void*, void* block) { EngFreeMem(block); }
constexpr XlAllocator kEngineAllocator{&EngineAlloc, &EngineFree, nullptr};

LONG Ic(int result) { return result == 0 ? 0 : -1; }
BOOL Sent(int result) { return result == 0 ? TRUE : FALSE; }

LONG Num(PDEV* pdev, WORD id) {
  LONG v = 0;
  return ddm_GetNumber(id, pdev->devmode, pdev->printerData, &v) ? v : 0;
}

DWORD Resolution(PDEV* pdev, WORD id) {
  LONG v = Num(pdev, id);
  return v <= 0 || v > 0xFFFF ? kResolutionDefault : static_cast<DWORD>(v);
}

bool DocInfoSent(const PDEV* pdev) { return (pdev->pageCtrl.flags & JOBCTRL_DOCINFO_SENT) != 0; }

}  // namespace

// ---- job-data record and job framing ---------------------------------------

LONG pdl_ctrl_enable(PDEV* pdev) {
  if (!pdev) return -1;
  jobData_disable(pdev->jobData);
  pdev->jobData = jobData_enable(&kEngineAllocator);
  if (!pdev->jobData) return -1;
  return Ic(xl_ic_enable(&pdev->xl));
}

LONG pdl_ctrl_disable(PDEV* pdev) {
  if (!pdev) return -1;
  jobData_disable(pdev->jobData);
  pdev->jobData = nullptr;
  return Ic(xl_ic_disable(&pdev->xl));
}

LONG pdl_ctrl_open(PDEV* pdev, HANDLE printer, LPCWSTR, LPCWSTR documentName, void*) {
  if (!pdev) return -1;
  XlJobData* jd = pdev->jobData;
  if (!jd || jd->direction != 0 || !printer) return -1;
  jd->direction = 1;
  jd->printer = XlPrinter{printer, &EngWritePrinter};
  return Ic(xl_ic_open(&pdev->xl, documentName));
}

LONG pdl_ctrl_close(PDEV* pdev, BOOL) {
  if (!pdev) return -1;
  LONG result = 0;
  if (XlJobData* jd = pdev->jobData) {
    if (jd->direction != 0 && jd->spoolCount != 0 && _jobData_spool_flush(jd) != 0) result = -1;
    jd->direction = 0;
  }
  result |= Ic(xl_ic_close(&pdev->xl));
  if (!psflush(&pdev->xl.out)) result = -1;
  return result;
}

// ---- stored pages ------------------------------------------------------------

LONG pdl_ctrl_setPaperInfo(PDEV* pdev, const LAYOUTINFO* layout, LONG paperValue, WORD page) {
  if (!pdev || !layout || !pdev->jobData) return -1;
  BYTE* element = jobData_page_element(pdev->jobData, page);
  if (!element) return -1;
  std::memcpy(element, layout, 32);
  std::memcpy(element + 32, &paperValue, sizeof paperValue);
  return 0;
}

LONG pdl_ctrl_getPaperInfo(PDEV* pdev, BYTE (&record)[32], LONG* paperValue, WORD page) {
  if (!pdev || !paperValue || !pdev->jobData) return -1;
  const BYTE* element = jobData_page_element(pdev->jobData, page);
  if (!element) return -1;
  std::memcpy(record, element, 32);
  std::memcpy(paperValue, element + 32, sizeof *paperValue);
  return 0;
}

LONG pdl_ctrl_pageStoring_init(PDEV* pdev, WORD firstPage, WORD growthStep) {
  if (!pdev || !pdev->jobData || !DocInfoSent(pdev) || pdev->pageCtrl.pageStore != PDL_STORE_IDLE) return -1;
  if (jobData_page_startToUse(pdev->jobData, firstPage, XL_PAGE_ELEMENT_SIZE, growthStep) != 0) return -1;
  pdev->pageCtrl.pageStore = PDL_STORE_INITIALISED;
  return Ic(xl_ic_pageStoring_init(&pdev->xl, firstPage, growthStep));
}

LONG pdl_ctrl_pageStoring_start(PDEV* pdev, WORD page, LONG colorMode, LONG mask, LONG fewColorEnable,
                                WORD fewColorLimit, LONG fewColorValue) {
  if (!pdev || !pdev->jobData || pdev->pageCtrl.pageStore != PDL_STORE_INITIALISED) return -1;
  if (mask == 0 || (static_cast<DWORD>(mask) & ~PDL_STORE_MASK_BITS) != 0) return -1;
  if (jobData_page_startToStore(pdev->jobData, page) != 0) return -1;
  pdev->pageCtrl.pageStore = PDL_STORE_STORING | static_cast<DWORD>(mask);
  XlIcPageStoringStart start{colorMode, mask, fewColorEnable, fewColorValue, page, fewColorLimit};
  return Ic(xl_ic_pageStoring_start(&pdev->xl, &start));
}

LONG pdl_ctrl_pageStoring_stop(PDEV* pdev, WORD page) {
  if (!pdev) return -1;
  if ((pdev->pageCtrl.pageStore & PDL_STORE_STORING) != PDL_STORE_STORING) return 0;
  LONG result = jobData_page_endToStore(pdev->jobData) == 0 ? 0 : -1;
  pdev->pageCtrl.pageStore &= ~(PDL_STORE_MASK_BITS | 1u);
  if (pdev->pageCtrl.pageStore != PDL_STORE_INITIALISED) return -1;
  return result | Ic(xl_ic_pageStoring_stop(&pdev->xl, page));
}

LONG pdl_ctrl_pageStoring_dispose(PDEV* pdev) {
  if (!pdev || pdev->pageCtrl.pageStore != PDL_STORE_INITIALISED) return -1;
  if (pdev->jobData) jobData_page_disable(pdev->jobData);
  pdev->pageCtrl.pageStore = PDL_STORE_IDLE;
  return Ic(xl_ic_pageStoring_dispose(&pdev->xl));
}

LONG pdl_ctrl_flushCurrentPage_forColors(PDEV* pdev) {
  if (!pdev || !pdev->jobData) return -1;
  const WORD page = static_cast<WORD>(pdev->jobData->firstPage + pdev->jobData->pageCount);
  LONG result = pdl_ctrl_pageStoring_stop(pdev, page);
  result |= pdl_ctrl_output_aStoredPage_withOtherPageColor(&pdev->layoutInfo, pdev, page, 1, nullptr, 0xFFFF,
                                                           pdev->jobInfo.colorModeAuto, 0xFFFF);
  result |= pdl_ctrl_pageStoring_dispose(pdev);
  return result;
}

LONG pdl_ctrl_output_aStoredPage_withOtherPageColor(LAYOUTINFO* layout, PDEV* pdev, WORD page, LONG replayMask,
                                                    const float* matrix, WORD otherPage, LONG colorFlag,
                                                    WORD mediaSource) {
  if (!pdev || !layout || !DocInfoSent(pdev)) return -1;
  if (!(page & 0x8000) && page == otherPage) return -1;
  XlIcStoredPage stored{matrix, kIdentity, replayMask, page, otherPage, colorFlag, mediaSource};
  return Ic(xl_ic_output_aStoredPage_withOtherPageColor(&pdev->xl, &stored));
}

// ---- transform -----------------------------------------------------------------

void conv_nrvxform_foxform(const float in[6], FLOATOBJ out[6]) {
  for (int i = 0; i < 6; ++i) FLOATOBJ_SetFloat(&out[i], in[i]);
}

void conv_foxform_nrvxform(const FLOATOBJ in[6], float out[6]) {
  for (int i = 0; i < 6; ++i) out[i] = FLOATOBJ_GetFloat(&in[i]);
}

LONG pdl_ctrl_setcoordinate(PDEV* pdev, const float matrix[6]) {
  if (!pdev || !matrix) return -1;
  conv_nrvxform_foxform(matrix, pdev->currentXform);
  return Ic(xl_ic_setcoordinate(&pdev->xl, matrix));
}

BOOL pdl_setcoordinate(PDEV* pdev, const FLOATOBJ matrix[6]) {
  if (!pdev || !matrix) return FALSE;
  for (int i = 0; i < 6; ++i) pdev->currentXform[i] = matrix[i];
  float m[6];
  conv_foxform_nrvxform(matrix, m);
  return Sent(xl_setcoordinate(&pdev->xl, m));
}

// ---- page and job commands ---------------------------------------------------

LONG pdl_ctrl_startpage(PDEV* pdev, BYTE colorMode, BYTE inputBin, BYTE paperCode, float widthMm, float heightMm) {
  if (!pdev) return -1;
  return Ic(xl_ic_startpage(&pdev->xl, widthMm, heightMm, colorMode, inputBin, paperCode));
}
LONG pdl_ctrl_showpage(PDEV* pdev) { return pdev ? Ic(xl_ic_showpage(&pdev->xl)) : -1; }
LONG pdl_ctrl_endpage(PDEV* pdev) { return pdev ? Ic(xl_ic_endpage(&pdev->xl)) : -1; }
LONG pdl_ctrl_startjob(PDEV* pdev) { return pdev ? Ic(xl_ic_startjob(&pdev->xl)) : -1; }
LONG pdl_ctrl_changeSpool_forFormRegister(PDEV* pdev) {
  return pdev ? Ic(xl_ic_changeSpool_forFormRegister(&pdev->xl)) : -1;
}
LONG pdl_ctrl_stopSpool_forFormRegister(PDEV* pdev) {
  return pdev ? Ic(xl_ic_stopSpool_forFormRegister(&pdev->xl)) : -1;
}
LONG pdl_ctrl_setcolormode(PDEV* pdev, WORD pageColorMode, LONG jobColorMode) {
  return pdev ? Ic(xl_ic_setcolormode(&pdev->xl, jobColorMode, pageColorMode)) : -1;
}
LONG pdl_ctrl_openPrinter(PDEV* pdev) { return pdev ? Ic(xl_ic_openprinter(&pdev->xl)) : -1; }
LONG pdl_ctrl_closePrinter(PDEV* pdev, BYTE value) { return pdev ? Ic(xl_ic_closeprinter(&pdev->xl, value)) : -1; }

// ---- records sent in band (1 or 0) ---------------------------------------------

BOOL pdl_setJCLHeaders(PDEV* pdev, DWORD size, const void* table) {
  if (!pdev || !table) return FALSE;
  return Sent(xl_ic_setjclheaders(&pdev->xl, table, size));
}

BOOL pdl_setdevmode(PDEV* pdev) {
  if (!pdev) return FALSE;
  // The copy count of the PDEV (SETCOPYCOUNT) is what the job prints.
  const DWORD copies = pdev->copies < 1 ? 1 : (pdev->copies > 0x7FFF ? 0x7FFF : pdev->copies);
  if (DDMS_SetShort(pdev, DDM_COPIES, static_cast<SHORT>(copies)) != 0) return FALSE;
  return Sent(xl_ic_setdevmode(&pdev->xl, pdev->devmode, XL_IC_DEVMODE_SIZE));
}

BOOL pdl_setprinterdata(PDEV* pdev) {
  if (!pdev || !pdev->printerData) return FALSE;
  return Sent(xl_ic_setprinterdata(&pdev->xl, *reinterpret_cast<const BYTE(*)[XL_IC_PRINTERDATA_SIZE]>(
                                                  pdev->printerData)));
}

BOOL pdl_setjobinfo(PDEV* pdev) {
  if (!pdev) return FALSE;
  BYTE bytes[sizeof(JOBINFO)];
  jobrec_Store(&pdev->jobInfo, bytes);
  return Sent(xl_ic_setjobinfo(&pdev->xl, bytes));
}

BOOL pdl_setlayoutinfo(PDEV* pdev) {
  if (!pdev) return FALSE;
  BYTE bytes[sizeof(LAYOUTINFO)];
  jobrec_Store(&pdev->layoutInfo, bytes);
  return Sent(xl_ic_setlayoutinfo(&pdev->xl, bytes));
}

BOOL pdl_setpagectrl(PDEV* pdev) {
  if (!pdev) return FALSE;
  BYTE bytes[sizeof(PAGECTRL)];
  jobrec_Store(&pdev->pageCtrl, bytes);
  return Sent(xl_ic_setpagectrl(&pdev->xl, bytes));
}

BOOL pdl_setdocname(PDEV* pdev) {
  if (!pdev) return FALSE;
  const WCHAR* name = pdev->docName[0] ? pdev->docName : reinterpret_cast<const WCHAR*>(pdev->jobInfo.documentName);
  return Sent(xl_ic_setdocname(&pdev->xl, name));
}

BOOL pdl_timeout(PDEV* pdev, BYTE code) { return pdev ? Sent(xl_ic_timeout(&pdev->xl, code)) : FALSE; }

// ---- PCL XL session ------------------------------------------------------------

BOOL pdl_startjob(PDEV* pdev) {
  if (!pdev) return FALSE;
  if (static_cast<DWORD>(Num(pdev, DDM_FORM_REGISTRATION)) != kFormRegistrationOn) {
    const BYTE report = Num(pdev, DDM_ERROR_REPORT) != 0 ? kErrorReportOn : 0;
    if (xl_beginsession(&pdev->xl, static_cast<WORD>(Resolution(pdev, DDM_PRINTQUALITY)),
                        static_cast<WORD>(Resolution(pdev, DDM_YRESOLUTION)), kMeasureInch, report) != 0 ||
        xl_opendatasource(&pdev->xl) != 0)
      return FALSE;
  }
  const BOOL start = pdl_timeout(pdev, XL_TIMESTAMP_JOBSTART);
  const BOOL version = start ? pdl_timeout(pdev, XL_TIMESTAMP_VERSION) : FALSE;
  return start && version ? TRUE : FALSE;
}

BOOL pdl_endjob(PDEV* pdev) {
  if (!pdev) return FALSE;
  if (xl_closedatasource(&pdev->xl) != 0) return FALSE;
  return Sent(xl_endsession(&pdev->xl));
}

LONG pdl_initclip(PDEV* pdev) {
  if (!pdev) return -1;
  const LONG result = Ic(xl_setcliptopage(&pdev->xl));
  pdev->clipState = result == 0 ? KM_CLIP_PAGE : KM_CLIP_RESET;
  return result;
}

// ---- page state --------------------------------------------------------------------

LONG init_cgs(PDEV* pdev) {
  if (!pdev) return -1;
  conv_nrvxform_foxform(kIdentity, pdev->currentXform);
  // The cached clip path goes: no clip is assumed across pages (the page
  // start sends its own SetClipToPage).
  path_ReleaseClipCache(pdev);
  pdev->clipState = KM_CLIP_RESET;
  pdev->xformFlags = 0;
  xl_initcgs(&pdev->xl);
  return 0;
}

// The page's font download cache: emptied at page start (entries a failed
// deletion left are freed), its fonts removed from the printer at page end.
LONG page_InitFontCache_StartPage_pdl(PDEV* pdev) { return xlfont_InitCache(pdev); }
void page_DeleteFontCache_pdl(PDEV* pdev) {
  if (pdev) xlfont_DeleteCache(pdev);
}

BOOL page_setDEVData_pdl(PDEV* pdev) {
  if (!pdev) return FALSE;
  if (!pdl_setdevmode(pdev) || !pdl_setdocname(pdev)) return FALSE;
  pdev->patternResolution = static_cast<DWORD>(Num(pdev, DDM_PATTERNRESOLUTION));
  return TRUE;
}

// ---- hooks of later work ---------------------------------------------------------

LONG pdl_ctrl_Set_ExtGSData(PDEV* pdev) { return pdev ? 0 : -1; }
LONG pdl_ctrl_CreateAddressInfo(PDEV* pdev, DWORD, const void*) { return pdev ? 0 : -1; }
LONG pdl_ctrl_HB_Finalize(PDEV*) { return -1; }
