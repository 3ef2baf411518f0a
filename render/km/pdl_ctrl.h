// The PDL control layer: between job control and the page steps on one side
// and the PCL XL writer and in-band command writers on the other. Each
// operation keeps the renderer's bookkeeping (the job-data record, the
// page-store state word, the current transform) consistent with what it asks
// the spooler side to do, then writes the matching in-band command or PCL XL
// operators.
//
// Results:
//  - pdl_ctrl_* answer 0 or -1; where an operation combines several steps
//    their results are OR-ed, so -1 wins;
//  - pdl_set* and pdl_timeout answer 1 on success and 0 on failure (never
//    OR-ed as they are: convert first);
//  - the others as each line says.
#pragma once

#include "kestrel/render/pdev.h"
#include "kplatform/engine_float.h"

// ---- job-data record and job framing ---------------------------------------
LONG pdl_ctrl_enable(PDEV* pdev);   // allocate the record, page bookkeeping on; 128
LONG pdl_ctrl_disable(PDEV* pdev);  // dispose the record; 129
// Opens the job-data record on the printer; only when that succeeds, 130
// with the document name.
LONG pdl_ctrl_open(PDEV* pdev, HANDLE printer, LPCWSTR outputName, LPCWSTR documentName, void* data);
LONG pdl_ctrl_close(PDEV* pdev, BOOL success);  // close the record; 131; flush

// ---- stored pages ------------------------------------------------------------
// The page-store state word (PAGECTRL::pageStore).
constexpr DWORD PDL_STORE_IDLE = 0;
constexpr DWORD PDL_STORE_INITIALISED = 0x8000;
constexpr DWORD PDL_STORE_STORING = 0x8001;  // with a capture mask within PDL_STORE_MASK_BITS
constexpr DWORD PDL_STORE_MASK_BITS = 0x3E;
constexpr DWORD PDL_STORE_WHITE_PAGE = 0x80;  // an inserted white page is being sent

// The 36-byte page information of a stored page: the first eight int32 of the
// layout information and the paper value.
LONG pdl_ctrl_setPaperInfo(PDEV* pdev, const LAYOUTINFO* layout, LONG paperValue, WORD page);
LONG pdl_ctrl_getPaperInfo(PDEV* pdev, BYTE (&record)[32], LONG* paperValue, WORD page);
LONG pdl_ctrl_pageStoring_init(PDEV* pdev, WORD firstPage, WORD growthStep);  // 132
LONG pdl_ctrl_pageStoring_start(PDEV* pdev, WORD page, LONG colorMode, LONG mask, LONG fewColorEnable,
                                WORD fewColorLimit, LONG fewColorValue);  // 133
LONG pdl_ctrl_pageStoring_stop(PDEV* pdev, WORD page);                   // 134
LONG pdl_ctrl_pageStoring_dispose(PDEV* pdev);                          // 135
LONG pdl_ctrl_flushCurrentPage_forColors(PDEV* pdev);                   // 134, 136, 135
// 136. matrix null: the layout's base matrix. otherPage 0xFFFF: none.
// mediaSource 0xFFFF: no override.
LONG pdl_ctrl_output_aStoredPage_withOtherPageColor(LAYOUTINFO* layout, PDEV* pdev, WORD page, LONG replayMask,
                                                    const float* matrix, WORD otherPage, LONG colorFlag,
                                                    WORD mediaSource);

// ---- transform -----------------------------------------------------------------
// Keeps the matrix (six IEEE singles) as the current transform; 137.
LONG pdl_ctrl_setcoordinate(PDEV* pdev, const float matrix[6]);
// Keeps the matrix and writes the page transform into the PCL XL stream
// itself (xl_setcoordinate); 1 or 0.
BOOL pdl_setcoordinate(PDEV* pdev, const FLOATOBJ matrix[6]);
void conv_nrvxform_foxform(const float in[6], FLOATOBJ out[6]);
void conv_foxform_nrvxform(const FLOATOBJ in[6], float out[6]);

// ---- page and job commands ---------------------------------------------------
// 138. widthMm x heightMm: the custom size (0 x 0 for a standard paper).
LONG pdl_ctrl_startpage(PDEV* pdev, BYTE colorMode, BYTE inputBin, BYTE paperCode, float widthMm, float heightMm);
LONG pdl_ctrl_showpage(PDEV* pdev);   // 139
LONG pdl_ctrl_endpage(PDEV* pdev);    // 140
LONG pdl_ctrl_startjob(PDEV* pdev);   // 142
LONG pdl_ctrl_changeSpool_forFormRegister(PDEV* pdev);  // 157
LONG pdl_ctrl_stopSpool_forFormRegister(PDEV* pdev);    // 158
LONG pdl_ctrl_setcolormode(PDEV* pdev, WORD pageColorMode, LONG jobColorMode);  // 141
LONG pdl_ctrl_openPrinter(PDEV* pdev);             // 143
LONG pdl_ctrl_closePrinter(PDEV* pdev, BYTE value);  // 144

// ---- records sent in band (1 or 0) ---------------------------------------------
BOOL pdl_setJCLHeaders(PDEV* pdev, DWORD size, const void* table);  // 156
// The devmode's copies (DDM 12) become the PDEV's copy count, then 150.
BOOL pdl_setdevmode(PDEV* pdev);
BOOL pdl_setprinterdata(PDEV* pdev);  // 151
BOOL pdl_setjobinfo(PDEV* pdev);      // 153
BOOL pdl_setlayoutinfo(PDEV* pdev);   // 154
BOOL pdl_setpagectrl(PDEV* pdev);     // 155
BOOL pdl_setdocname(PDEV* pdev);      // 152
BOOL pdl_timeout(PDEV* pdev, BYTE code);  // 145

// ---- PCL XL session ------------------------------------------------------------
// Unless DDM 339 is 1: BeginSession and OpenDataSource (a failure gives 0);
// then time stamps 1 and 6. 1 when both were sent.
BOOL pdl_startjob(PDEV* pdev);
BOOL pdl_endjob(PDEV* pdev);    // CloseDataSource and EndSession; 1 when both were written
// SetClipToPage; the drawing calls' clip state becomes "page" (or "reset
// pending" when the operator failed).
LONG pdl_initclip(PDEV* pdev);
// The in-band stamp markers (brush.cpp): stamp drawing on (146), off (147).
LONG pdl_beginstamp(PDEV* pdev);
LONG pdl_endstamp(PDEV* pdev);

// ---- page state --------------------------------------------------------------------
// The current transform becomes the identity, the page's graphics records are
// cleared and the PCL XL state cache is reset.
LONG init_cgs(PDEV* pdev);
LONG page_InitFontCache_StartPage_pdl(PDEV* pdev);
void page_DeleteFontCache_pdl(PDEV* pdev);
// 150 and 152, and DDM 348 kept in the PDEV; 0 when a send failed.
BOOL page_setDEVData_pdl(PDEV* pdev);

// ---- hooks of later work ---------------------------------------------------------
LONG pdl_ctrl_Set_ExtGSData(PDEV* pdev);  // 0, nothing to do
LONG pdl_ctrl_CreateAddressInfo(PDEV* pdev, DWORD size, const void* block);  // 0, nothing to do
LONG pdl_ctrl_HB_Finalize(PDEV* pdev);  // -1, nothing done
