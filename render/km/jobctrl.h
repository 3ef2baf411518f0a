// Job control: the renderer's state machine for one print job on one PDEV.
// It turns the engine's document and page calls and the first drawing call of
// each page into the job's in-band commands and PCL XL page framing. Pages
// start lazily: DrvStartPage prepares fonts and graphics state only; the
// first drawing call opens the page (jobCtrl_informStartDDI), and the first
// page of the job also sends the job's records and opens the PCL XL session.
//
// Every operation takes the PDEV and answers 0 or -1 unless its line says
// otherwise.
#pragma once

#include "kestrel/render/pdev.h"

// The flag word: word 0 of the page control (PAGECTRL::flags), which travels
// to the spooler side with command 155.
constexpr DWORD JOBCTRL_STARTED = 0x1;
constexpr DWORD JOBCTRL_DOCINFO_SENT = 0x2;
constexpr DWORD JOBCTRL_PHYSICAL_PAGE = 0x4;
constexpr DWORD JOBCTRL_LOGICAL_PAGE = 0x8;
constexpr DWORD JOBCTRL_RESET_IN_JOB = 0x40;  // paper and tray are read again at the next page
constexpr DWORD JOBCTRL_ABORTED = 0x8000;     // every later call but jobCtrl_Disable is refused

LONG jobCtrl_Enable(PDEV* pdev, HANDLE printer);
LONG jobCtrl_StartDoc(PDEV* pdev, LPCWSTR docName, LPCWSTR outputName);
LONG jobCtrl_SetDocInfo(PDEV* pdev);
LONG jobCtrl_StartPage(PDEV* pdev);
LONG jobCtrl_EndPage(PDEV* pdev);
LONG jobCtrl_EndDoc(PDEV* pdev);
LONG jobCtrl_AbortDoc(PDEV* pdev);
LONG jobCtrl_Disable(PDEV* pdev);
LONG jobCtrl_informStartDDI(PDEV* pdev);
LONG jobCtrl_ResetDC(PDEV* pdevNew, PDEV* pdevOld);
BOOL jobCtrl_isJobStarted(PDEV* pdev);  // bit 0x1
BOOL jobCtrl_isJobOpened(PDEV* pdev);   // bits 0x1 and 0x2

// Stamps and headers/footers.
LONG jobCtrl_setStampDrawMode(PDEV* pdev, BOOL on, BOOL physical);
BOOL jobCtrl_isStampDrawMode(PDEV* pdev);
BOOL jobCtrl_isPhysicalStampMode(PDEV* pdev);
BOOL jobCtrl_isStampTransparency(PDEV* pdev);

// Resets the graphics state (init_cgs); with send, first sends the devmode
// and the document name (150, 152).
LONG jobCtrl_initCGS(PDEV* pdev, BOOL send);
// Keeps a copy of the fax address block for the fax flow; -1 for a zero size
// or a null block.
LONG jobCtrl_setFaxInfo(PDEV* pdev, DWORD size, const void* block);
// The private-escape state: the PDL version, DDM 4103 and whether the
// printer-information item 5 of the description is 2; -1 when that item is
// 255.
LONG jobCtrl_privateEscape_init(PDEV* pdev);
// (pesc_ctl_initPescPdev, the state's start, is the private gate's: pesc.h.)

// Frees what job control holds in a PDEV that is being freed (the job-data
// record, the fax copy) without writing anything; FreePdevMemory calls it.
void jobCtrl_ReleasePdev(PDEV* pdev);
