// Job control (declarations in jobctrl.h): the state machine of one print
// job on one PDEV, over the PDL control layer (pdl_ctrl.cpp) and the page
// steps (pageflow.cpp).
//
// Decisions:
//  - An aborted job is marked to the spooler side by where command 131
//    comes: a job that ended well sends the job footer (time stamp 5,
//    CloseDataSource, EndSession) before 131; an aborted one sends 131 with
//    no footer, while its PCL XL session is still open (or before any was
//    opened). After 131 the renderer writes nothing but 129.
//  - "The job's blocks" released at the end and abort of a job are the page
//    table of the job-data record and the fax address copy.
//  - jobCtrl_AbortDoc on a job that is already aborted sends nothing again
//    and answers -1.
//  - jobCtrl_Disable closes a job-data record that is still open (131)
//    before disabling it (129): a document that never started a page (so
//    DrvEndDoc does not run jobCtrl_EndDoc) still closes what it opened.
//  - Output-failed: job control sets both the DDI flag (PDEV_OUTPUT_FAILED)
//    and the output buffer's status bit, so every later write is refused.
//  - "Stamp or header/footer configured" is the job information's stamp
//    switches (offsets 84, 88) or its header/footer switch (140); the stamp
//    transparency is offset 96 (DDM 1287); "the stamp setting" of physical
//    stamp mode is offset 84 (the stamp is put on the sheet).
//  - The flag 0x40 is set by jobCtrl_ResetDC only while a job is started
//    (it is a job's flag: paper and tray are read again at its next page).
//  - A reset moves the job-data record, the current transform, the stamp
//    state, the header mode, the page number and the fax copy to the new
//    PDEV; the old PDEV keeps none of them.
//  - The private-escape state's PDL version is the job's (pageflow.cpp).
//  - A direct image of the private gate that is still receiving pieces is
//    ended (padded to its announced size) before any other drawing call
//    opens or uses the page, at the end of the page and the document, at an
//    abort and when the PDEV is disabled (pesc_endDirectImage): nothing else
//    may land inside its ReadImage data.
//  - The gate's devmode overrides are restored at the end and at the abort
//    of a job (pesc_ctl_restoreDevMode).
#include <cstring>

#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/render/km_services.h"
#include "kestrel/render/xl_outbuf.h"
#include "fontsubst.h"
#include "km_entry.h"
#include "impose.h"
#include "pageflow.h"
#include "pesc.h"

namespace {

constexpr WORD kPrinterInfoPescItem = 5;  // printer-information item 5: the private escapes
constexpr BYTE kPescNone = 255;          // no private escapes: no PDEV
constexpr BYTE kPescColor = 2;           // the colour function of the gate is offered

LONG Num(PDEV* pdev, WORD id) {
  LONG v = 0;
  return ddm_GetNumber(id, pdev->devmode, pdev->printerData, &v) ? v : 0;
}

DWORD& Flags(PDEV* pdev) { return pdev->pageCtrl.flags; }
bool Aborted(PDEV* pdev) { return (Flags(pdev) & JOBCTRL_ABORTED) != 0; }
bool Started(PDEV* pdev) { return (Flags(pdev) & JOBCTRL_STARTED) != 0; }

void SetOutputFailed(PDEV* pdev) {
  pdev->ddiFlags |= PDEV_OUTPUT_FAILED;
  pdev->xl.out.status |= XL_STATUS_OUTPUT_FAILED;
}

void FreeFaxInfo(PDEV* pdev) {
  kcore_Free(pdev->faxInfo.data);
  pdev->faxInfo = PDEV_BLOCK{};
}

void ReleaseJobBlocks(PDEV* pdev) {
  if (pdev->jobData) jobData_page_disable(pdev->jobData);
  FreeFaxInfo(pdev);
}

bool Configured(const PDEV* pdev) {
  const JOBINFO& j = pdev->jobInfo;
  return j.stampOnFirst != 0 || j.stampOnAll != 0 || j.headerFooter != 0;
}

}  // namespace

LONG jobCtrl_Enable(PDEV* pdev, HANDLE printer) {
  if (!pdev) return -1;
  pdev->jobInfo = JOBINFO{};
  pdev->layoutInfo = LAYOUTINFO{};
  pdev->pageCtrl = PAGECTRL{};
  jobInfo_setPrinterHandle(&pdev->jobInfo, printer);  // a handle that can't travel is kept as 0
  pdev->stamp = PDEV_JOBSTAMP{};
  pdev->pageNumber = 0;
  LONG result = _SetPageClip(pdev);
  common_set_Fontset(FONTSET_PCL);  // the alias set of the PCL fonts
  result |= pdl_ctrl_enable(pdev);
  return result;
}

LONG jobCtrl_StartDoc(PDEV* pdev, LPCWSTR docName, LPCWSTR outputName) {
  if (!pdev) return -1;
  pdev->pageCtrl.pageStore = PDL_STORE_IDLE;
  pdev->documentEndPage = 0;
  Flags(pdev) = JOBCTRL_STARTED;
  jobInfo_setNames(&pdev->jobInfo, docName, outputName);
  return pdl_ctrl_open(pdev, pdev->hPrinter, outputName, docName, nullptr);
}

LONG jobCtrl_SetDocInfo(PDEV* pdev) {
  if (!pdev) return -1;
  if (Aborted(pdev) || !Started(pdev) || (pdev->pageCtrl.pageStore & PDL_STORE_STORING) == PDL_STORE_STORING)
    return -1;
  Flags(pdev) |= JOBCTRL_DOCINFO_SENT;
  // 3. The job's settings; a mode not built yet stops here, before anything
  // of the job is sent.
  LONG result = _setJobStartSettings(pdev);
  // 4.
  if (result == 0) {
    result |= pdl_ctrl_startjob(pdev);
    if (!pdl_setprinterdata(pdev) || !pdl_setjobinfo(pdev) || !pdl_setlayoutinfo(pdev) || !pdl_setpagectrl(pdev))
      result = -1;
  }
  // 5, 6. Devmode and document name, the graphics state, the job header.
  if (result == 0) result |= jobCtrl_initCGS(pdev, TRUE);
  // Booklet, store-all-pages and form registration store their pages: the
  // header goes out before they are replayed.
  if (result == 0 && !page_storesForLater(pdev)) {
    result |= _sendJobHeader(pdev);
    // A fax sent once: its cover sheet.
    if (result == 0) result |= faxCtrl_StartJob(pdev);
    // A white page leads the job.
    if (result == 0 && pdev->jobInfo.leadingWhiteMode != 0) result |= page_outputLeadingWhite(pdev);
  }
  if (result != 0) {
    const DWORD error = EngGetLastError();
    jobCtrl_AbortDoc(pdev);
    if (error) EngSetLastError(error);
    return -1;
  }
  return 0;
}

LONG jobCtrl_StartPage(PDEV* pdev) {
  if (!pdev) return -1;
  if (Aborted(pdev) || !Started(pdev) || (Flags(pdev) & JOBCTRL_LOGICAL_PAGE)) return -1;
  if (!(Flags(pdev) & JOBCTRL_DOCINFO_SENT) && (jobCtrl_SetDocInfo(pdev) != 0 || Aborted(pdev))) return -1;
  LONG result = _commonPageStep(pdev);
  if (result == 0 && !(Flags(pdev) & JOBCTRL_PHYSICAL_PAGE)) result |= _StartPage_Physical(pdev);
  if (result == 0) result |= _StartPage_Logical(pdev);
  if (result != 0) {
    jobCtrl_AbortDoc(pdev);
    return -1;
  }
  return 0;
}

LONG jobCtrl_EndPage(PDEV* pdev) {
  if (!pdev) return -1;
  if (Aborted(pdev) || !Started(pdev)) return -1;
  if (pesc_endDirectImage(pdev) != 0 || _EndPage_Logical(pdev) != 0) {
    if (!Aborted(pdev)) jobCtrl_AbortDoc(pdev);
    return -1;
  }
  return 0;
}

LONG jobCtrl_EndDoc(PDEV* pdev) {
  if (!pdev) return -1;
  if (Aborted(pdev) || !Started(pdev)) return -1;
  LONG result = pesc_endDirectImage(pdev);
  // 2. Open pages are closed (each end writes its time stamp).
  if (Flags(pdev) & JOBCTRL_LOGICAL_PAGE) {
    result |= _EndPage_Logical(pdev);
    if (Flags(pdev) & JOBCTRL_LOGICAL_PAGE) result = -1;
  }
  if (result == 0 && (Flags(pdev) & JOBCTRL_PHYSICAL_PAGE)) {
    result |= _EndPage_Physical(pdev);
    if (Flags(pdev) & JOBCTRL_PHYSICAL_PAGE) result = -1;
  }
  // 3. The back face of a duplex job's last sheet when one is due (a book
  // has none).
  if (result == 0 && pdev->jobInfo.sides == 2 && (Flags(pdev) & JOBCTRL_DOCINFO_SENT) && !page_isBookletJob(pdev) &&
      (pdev->jobInfo.reverseOrder != 0 || _isNeed_InsertWhitePage(pdev, 0)))
    result |= _skip_backfaceInDuplex(pdev);
  // 4. The page count.
  if (result == 0) {
    _pageCtrl_EndJob(&pdev->pageCtrl, &pdev->jobInfo);
    if (!pdl_setpagectrl(pdev)) result = -1;
  }
  // 5. The footer of a job whose header was sent; a fax sent more than once
  // makes each send whole, footer included.
  if (result == 0 && (Flags(pdev) & JOBCTRL_DOCINFO_SENT)) {
    const bool repeated = faxCtrl_isRepeated(pdev);
    if (repeated) {
      result |= faxCtrl_EndDoc(pdev);
    } else {
      result |= booklet_EndDoc(pdev);
      result |= storeAll_EndDoc(pdev);
    }
    if (pdev->pageCtrl.pageStore == PDL_STORE_INITIALISED) result |= pdl_ctrl_pageStoring_dispose(pdev);
    if (!repeated) result |= _sendJobFooter(pdev);
  }
  // 6.
  const DWORD error = EngGetLastError();
  result |= pdl_ctrl_close(pdev, result == 0 ? TRUE : FALSE);
  ReleaseJobBlocks(pdev);
  pesc_ctl_restoreDevMode(pdev->devmode, pdev->printerData, &pdev->pesc);
  Flags(pdev) &= ~(JOBCTRL_STARTED | JOBCTRL_DOCINFO_SENT);
  if (result != 0 && error) EngSetLastError(error);
  return result;
}

LONG jobCtrl_AbortDoc(PDEV* pdev) {
  if (!pdev || Aborted(pdev)) return -1;
  Flags(pdev) |= JOBCTRL_ABORTED;
  // An open direct image keeps its announced size (the spooler side reads
  // the stream up to the close command).
  pesc_endDirectImage(pdev);
  const LONG result = pdl_ctrl_close(pdev, FALSE);
  ReleaseJobBlocks(pdev);
  pesc_ctl_restoreDevMode(pdev->devmode, pdev->printerData, &pdev->pesc);
  Flags(pdev) &= ~(JOBCTRL_STARTED | JOBCTRL_DOCINFO_SENT);
  return result;
}

LONG jobCtrl_Disable(PDEV* pdev) {
  if (!pdev) return -1;
  LONG result = 0;
  if (pdev->jobData && pdev->jobData->direction != 0) {
    pesc_endDirectImage(pdev);
    result |= pdl_ctrl_close(pdev, FALSE);
  }
  Flags(pdev) = 0;
  pdev->pageCtrl.pageStore = PDL_STORE_IDLE;
  pdev->jobWord = 0;
  ReleaseJobBlocks(pdev);
  result |= pdl_ctrl_disable(pdev);
  return result;
}

LONG jobCtrl_informStartDDI(PDEV* pdev) {
  if (!pdev) return -1;
  if (Aborted(pdev)) return -1;
  if (!Started(pdev)) {
    SetOutputFailed(pdev);
    return -1;
  }
  if (pesc_endDirectImage(pdev) != 0) {
    SetOutputFailed(pdev);
    return -1;
  }
  if (jobCtrl_isStampDrawMode(pdev)) return 0;
  if (Flags(pdev) & JOBCTRL_LOGICAL_PAGE) return 0;
  if (jobCtrl_StartPage(pdev) != 0) {
    SetOutputFailed(pdev);
    return -1;
  }
  return (Flags(pdev) & JOBCTRL_LOGICAL_PAGE) ? 0 : -1;
}

LONG jobCtrl_ResetDC(PDEV* pdevNew, PDEV* pdevOld) {
  if (!pdevNew || !pdevOld) return -1;
  if (Aborted(pdevOld) || (Flags(pdevNew) & (JOBCTRL_ABORTED | JOBCTRL_LOGICAL_PAGE))) return -1;
  if (Started(pdevNew)) Flags(pdevNew) |= JOBCTRL_RESET_IN_JOB;
  if (pdevOld->jobData) {
    jobData_disable(pdevNew->jobData);
    pdevNew->jobData = pdevOld->jobData;
    pdevOld->jobData = nullptr;
    std::memcpy(pdevNew->currentXform, pdevOld->currentXform, sizeof pdevNew->currentXform);
    pdevNew->stamp = pdevOld->stamp;
    pdevNew->headerMode = pdevOld->headerMode;
    pdevNew->pageNumber = pdevOld->pageNumber;
    pdevNew->lastPaper = pdevOld->lastPaper;
    pdevNew->lastPaperSet = pdevOld->lastPaperSet;
    pdevNew->patternResolution = pdevOld->patternResolution;
    FreeFaxInfo(pdevNew);
    pdevNew->faxInfo = pdevOld->faxInfo;
    pdevOld->faxInfo = PDEV_BLOCK{};
  }
  return 0;
}

BOOL jobCtrl_isJobStarted(PDEV* pdev) { return pdev && Started(pdev) ? TRUE : FALSE; }

BOOL jobCtrl_isJobOpened(PDEV* pdev) {
  constexpr DWORD opened = JOBCTRL_STARTED | JOBCTRL_DOCINFO_SENT;
  return pdev && (Flags(pdev) & opened) == opened ? TRUE : FALSE;
}

LONG jobCtrl_setStampDrawMode(PDEV* pdev, BOOL on, BOOL physical) {
  if (!pdev) return -1;
  constexpr DWORD needed = JOBCTRL_STARTED | JOBCTRL_DOCINFO_SENT | JOBCTRL_PHYSICAL_PAGE;
  if ((Flags(pdev) & needed) != needed) return -1;
  pdev->stamp.drawMode = on ? TRUE : FALSE;
  pdev->stamp.physical = physical ? TRUE : FALSE;
  return on && !Configured(pdev) ? -1 : 0;
}

BOOL jobCtrl_isStampDrawMode(PDEV* pdev) {
  if (!pdev) return FALSE;
  if (pdev->stamp.drawMode && Configured(pdev)) return TRUE;
  return pdev->stamp.physical;
}

BOOL jobCtrl_isPhysicalStampMode(PDEV* pdev) {
  if (!pdev) return FALSE;
  if (pdev->stamp.drawMode && Configured(pdev))
    return pdev->stamp.physical || pdev->jobInfo.stampOnFirst != 0 ? TRUE : FALSE;
  return pdev->stamp.physical;
}

BOOL jobCtrl_isStampTransparency(PDEV* pdev) {
  if (!pdev) return FALSE;
  return pdev->stamp.drawMode && Configured(pdev) && pdev->jobInfo.stampValue2 != 0 ? TRUE : FALSE;
}

LONG jobCtrl_initCGS(PDEV* pdev, BOOL send) {
  if (!pdev) return -1;
  LONG result = 0;
  if (send && (!pdl_setdevmode(pdev) || !pdl_setdocname(pdev))) result = -1;
  result |= init_cgs(pdev);
  return result;
}

LONG jobCtrl_setFaxInfo(PDEV* pdev, DWORD size, const void* block) {
  if (!pdev || size == 0 || !block) return -1;
  auto* copy = static_cast<BYTE*>(kcore_Alloc(size));
  if (!copy) return -1;
  std::memcpy(copy, block, size);
  FreeFaxInfo(pdev);
  pdev->faxInfo = PDEV_BLOCK{copy, size};
  return 0;
}

LONG jobCtrl_privateEscape_init(PDEV* pdev) {
  if (!pdev) return -1;
  BYTE item = 0;
  if (pdev->dddMain && ddd_GetPrinterInfo_orderedItem(pdev->dddMain, kPrinterInfoPescItem, 1, 0, &item) != 0) item = 0;
  if (item == kPescNone) return -1;
  const DWORD version = jobInfo_getPDLVersion_forApplink(static_cast<DWORD>(Num(pdev, DDM_PDLVERSION)), pdev->devmode,
                                                         pdev->printerData);
  pesc_ctl_initPescPdev(&pdev->pesc, version, static_cast<DWORD>(Num(pdev, DDM_OPTION_DUPLEX)),
                        item == kPescColor ? 1 : 0);
  return 0;
}

void jobCtrl_ReleasePdev(PDEV* pdev) {
  if (!pdev) return;
  jobData_disable(pdev->jobData);
  pdev->jobData = nullptr;
  FreeFaxInfo(pdev);
}
