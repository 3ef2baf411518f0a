// DrvDocumentEvent: the dispatch by event, the CreateDC and ResetDC devmode
// with its trailer, StartDoc, StartDocPost, StartPage, and the stamp and
// header/footer calls at EndPage and EndDoc. Decisions: see
// kestrel/ui/docevent.h.
#include <cstring>
#include <mutex>
#include <vector>

#include "kestrel/core/cdm_merge.h"
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/faxlist.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/logout.h"
#include "kestrel/core/nondev.h"
#include "kestrel/core/papdat.h"
#include "kestrel/core/preconfig.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/upgrade.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/ui/docevent.h"
#include "kplatform/byte_order.h"
#include "kplatform/kwindows.h"
#include "kplatform/user32_messagebox.h"
#include "kplatform/winspool_printer.h"

namespace {

constexpr DWORD kTraceDevmode = 0x30000;       // trace category of the CreateDC devmode dumps
constexpr WORD kPrinterInfoMarginKey = 30;     // printer information string item: the margin store's key
constexpr WORD kPreConfigColorMode = DDM_COLORMODE;  // the property whose enforcement the trailer tells
constexpr UINT kStrEmfWarning = 3;
// The shortest devmode that states its size and fields.
constexpr WORD kMinDevmodeSize = offsetof(DEVMODEW, dmFields) + 4;             // resource string: the EMF-spooling warning

// ---- The blocks CREATEDCPRE and RESETDCPRE handed out, so that POST frees
// only those (never an application's devmode).
std::mutex g_preLock;
std::vector<void*> g_preBlocks;

void RememberPreBlock(void* block) {
  std::lock_guard<std::mutex> g(g_preLock);
  g_preBlocks.push_back(block);
}
bool ForgetPreBlock(void* block) {
  std::lock_guard<std::mutex> g(g_preLock);
  for (auto it = g_preBlocks.begin(); it != g_preBlocks.end(); ++it)
    if (*it == block) {
      g_preBlocks.erase(it);
      return true;
    }
  return false;
}

LONG Number(WORD id, void* devmode, void* printerData, LONG fallback = 0) {
  LONG v = 0;
  return ddm_GetNumber(id, devmode, printerData, &v) ? v : fallback;
}

void l_getAppMarginInfo(HANDLE hPrinter, BYTE* block) {
  if (Number(DDM_APP_MARGINS, block, nullptr) == 0) return;
  SHORT formId = static_cast<SHORT>(Number(DDM_PAPERSIZE, block, nullptr));
  WORD paperId = 0;
  if (form_GetPaperIDByFormID(hPrinter, static_cast<WORD>(formId), &paperId) != 1) return;
  WORD margins[4];
  _getAppMarginByPaperID(hPrinter, paperId, margins);  // the 46s stay when no margins are known
  kp_StoreU16(block + KM_TRAILER_FORM_ID, static_cast<WORD>(formId));
  kp_StoreU16(block + KM_TRAILER_PAPER_ID, paperId);
  for (int i = 0; i < 4; ++i) kp_StoreU16(block + KM_TRAILER_MARGINS + 2 * i, margins[i]);
}

void l_getDMEInfo(HCDDD ddd, BYTE* block, void* printerData) {
  PAPDAT papdat{};
  papdat.ddd = ddd;
  kp_StoreU32(block + KM_TRAILER_EMULATION, PapDat_IsEnableFormDBSupport(&papdat, printerData) ? 1u : 0u);
}

void l_getPRECFGInfo(HCDDD ddd, BYTE* block) {
  kp_StoreU32(block + KM_TRAILER_PRECONFIG,
              ddd->preConfig && PreConfig_IsEnforcedProperty(kPreConfigColorMode, ddd->preConfig) ? 1u : 0u);
}

bool IsExtended(const void* devmode) {
  const auto* p = static_cast<const BYTE*>(devmode);
  DWORD size = kp_LoadU16(p + offsetof(DEVMODEW, dmSize)) + kp_LoadU16(p + offsetof(DEVMODEW, dmDriverExtra));
  return size == KM_CREATEDC_SIZE && kp_LoadU16(p + KM_TRAILER_MARKER) == KM_TRAILER_MARKER_VALUE;
}

// _modifyDevmode: the printer's default devmode, with the given one merged in.
bool _modifyDevmode(HANDLE hPrinter, HCDDD ddd, BYTE* block, const void* given, void* printerData) {
  DWORD size = NRV_DEVMODE_SIZE_KIND1;
  BOOL converted = FALSE;
  void* info = wNTc_MakeEnvironment(hPrinter, ddd, block, &size, &converted);
  if (!info) return false;
  kcore_Free(info);
  if (given && !cdm_ModifyDevmodeWithDME(ddd, block, given, printerData, hPrinter, 2)) return false;
  Logout_OutputDDM(kTraceDevmode, u"<INPUT  DEVMODE>", const_cast<void*>(given), printerData);
  Logout_OutputDDM(kTraceDevmode, u"<OUTPUT DEVMODE>", block, printerData);
  return true;
}

}  // namespace

int _commonCreateAndResetDCPre(HANDLE hPrinter, const void* devmode, void** out) {
  if (!out) return -1;
  // A devmode too short to state its own size is refused; one that states
  // it is read within that size.
  if (devmode && kp_LoadU16(static_cast<const BYTE*>(devmode) + offsetof(DEVMODEW, dmSize)) < kMinDevmodeSize)
    return -1;
  if (devmode && IsExtended(devmode)) return 1;  // already extended: *out stays as it is
  int result = -1;
  BYTE* printerData = static_cast<BYTE*>(GlobalAlloc(GPTR, NRV_PRINTERDATA_SIZE));
  HCDDD ddd = printerData ? cddd_Open(hPrinter) : nullptr;
  BYTE* block = nullptr;
  if (ddd && pd_GetPrinterData(hPrinter, printerData, ddd)) block = static_cast<BYTE*>(GlobalAlloc(GPTR, KM_CREATEDC_SIZE));
  if (block && _modifyDevmode(hPrinter, ddd, block, devmode, printerData)) {
    l_getAppMarginInfo(hPrinter, block);
    l_getDMEInfo(ddd, block, printerData);
    l_getPRECFGInfo(ddd, block);
    kp_StoreU16(block + KM_TRAILER_MARKER, KM_TRAILER_MARKER_VALUE);
    if (ctl_SetDDMValue(block, nullptr, DDM_DRIVEREXTRA, DDM_TYPE_WORD, 2, KM_CREATEDC_DRIVER_EXTRA) == 0) {
      RememberPreBlock(block);
      *out = block;
      block = nullptr;
      result = 1;
    }
  }
  if (block) GlobalFree(block);
  if (ddd) cddd_Close(ddd);
  if (printerData) GlobalFree(printerData);
  return result;
}

int _commonCreateAndResetDCPost(HANDLE, void** pre) {
  if (pre && *pre && ForgetPreBlock(*pre)) {
    GlobalFree(*pre);
    *pre = nullptr;
  }
  return 1;
}

int _getAppMarginByPaperID(HANDLE hPrinter, WORD paperId, WORD out[4]) {
  for (int i = 0; i < 4; ++i) out[i] = KM_DEFAULT_APP_MARGIN;
  HCDDD ddd = cddd_Open(hPrinter);
  if (!ddd) return -1;
  WORD record[4] = {};
  bool have = false;
  LPWSTR key = nullptr;
  if (ddd_GetPrinterInfo_orderedString(ddd->main, kPrinterInfoMarginKey, 0, &key) == 0 && key)
    have = PpMgn_GetMargin(hPrinter, ddd, paperId, record) != FALSE;
  if (key) ddd_FreeMem(key);
  if (!have) have = PpMgn_GetDefaultMargin(ddd, paperId, record) != FALSE;
  cddd_Close(ddd);
  if (!have) return -1;
  // The record is top, bottom, left, right; the words go third, fourth,
  // first, second: left, right, top, bottom, as the renderer reads them.
  out[0] = record[2];
  out[1] = record[3];
  out[2] = record[0];
  out[3] = record[1];
  return 0;
}

// ---- StartDoc

int _DocEventStartDoc(HANDLE hPrinter, HDC hdc, ULONG cbIn, const DOCINFOW* docInfo, PVOID pvOut, ULONG cbOut) {
  (void)cbIn;
  // 1. The record, reset for the new document.
  DocEventData* d = _GetDocEventData(hPrinter);
  if (!d) return -1;
  _ResetDocEventData(d);
  d->started = 1;
  // 2. The started flag, and the renderer's devmode.
  if (docevent_Send(hdc, KM_ESC_SET_STARTDOC_FLAG, sizeof d->started, &d->started, 0, nullptr) != 1) return -1;
  if (docevent_Send(hdc, KM_ESC_GET_DEVMODE, 0, nullptr, sizeof d->devmode, d->devmode) != 1) return -1;
  // 3. The document name (a null DOCINFO or name: empty), the CSDX block.
  d->docName[0] = 0;
  if (docInfo && docInfo->lpszDocName) {
    size_t n = 0;
    while (n < KM_ESC_DOCNAME_CHARS && docInfo->lpszDocName[n]) {
      d->docName[n] = docInfo->lpszDocName[n];
      ++n;
    }
    d->docName[n] = 0;
  }
  // 4. The description data, printer data, user name and escape status.
  HCDDD ddd = cddd_Open(hPrinter);
  int result = -1;
  DWORD userChars = 257;
  BOOL marking = FALSE;
  if (docInfo && local_FillCSDX(d->csdx, hPrinter, d->docName, nullptr) != 1) goto done;
  if (!ddd || !pd_GetPrinterData(hPrinter, d->printerData, ddd)) goto done;
  if (!zanLib_GetUserName(d->userName, &userChars)) d->userName[0] = 0;
  if (docevent_Send(hdc, KM_ESC_GET_PESCAPE_STATUS, 0, nullptr, sizeof d->escapeStatus, d->escapeStatus) != 1)
    goto done;
  // 5. The renderer's security-marking data.
  {
    WORD selector = KM_GSBDATA_SIZE;
    DWORD size = 0;
    if (docevent_Send(hdc, KM_ESC_GET_GSBDATA, sizeof selector, &selector, sizeof size, &size) == 1 && size > 0 &&
        size < 0x7FFFFFFFu) {
      BYTE* block = static_cast<BYTE*>(GlobalAlloc(GPTR, size));
      selector = KM_GSBDATA_DATA;
      if (block && docevent_Send(hdc, KM_ESC_GET_GSBDATA, sizeof selector, &selector, size, block) == 1) {
        if (d->extGsbData) GlobalFree(d->extGsbData);
        d->extGsbData = block;
        d->extGsbDataSize = size;
      } else if (block) {
        GlobalFree(block);
      }
    }
  }
  // 6. The temporary settings file.
  docevent_DeleteTmpFile(ddd);
  // 7. The non-devmode record, with the marking data when the switch is on.
  marking = d->extGsbData ? TRUE : Number(DDM_MARKING_SWITCH, d->devmode, nullptr) != 0;
  {
    BYTE* nondev = d->devmode + NRV_NONDEVMODE_OFFSET;
    void* fax = nullptr;
    void* gsb = nullptr;
    DWORD gsbSize = 0;
    BOOL loaded = FALSE;
    LPCWSTR file = reinterpret_cast<LPCWSTR>(ctl_GetDDMValue(d->devmode, nullptr, DDM_FAX_TEMP_FILE, DDM_TYPE_STRING));
    if (file && *file)
      loaded = nonDev_LoadNonDevDat(hPrinter, ddd, file, 0, &fax, nondev, marking ? &gsb : nullptr,
                                    marking ? &gsbSize : nullptr);
    if (!loaded)
      loaded = nonDev_LoadNonDevDat(hPrinter, ddd, nullptr, NONDEV_LOCATION_PRINTERDATA, &fax, nondev,
                                    marking ? &gsb : nullptr, marking ? &gsbSize : nullptr);
    if (!loaded) nonDev_SetDefaultData(hPrinter, nondev);
    if (gsb) {
      d->gsbData = static_cast<BYTE*>(gsb);
      d->gsbDataSize = gsbSize;
    }
    // The fax address list the load handed out becomes the record's fax
    // address information, when it is a whole list.
    if (fax) {
      WORD count = 0;
      void* info = CreateFaxAddressInfoFromMem(hPrinter, 0, static_cast<DWORD>(zanLib_GetGlobalSize(fax)), fax,
                                               &count);
      if (info) {
        d->faxInfo = static_cast<BYTE*>(info);
        d->faxInfoSize = FAXLIST_HEAD_SIZE + FAXLIST_ENTRY_SIZE * count;
      }
      kcore_Free(fax);
    }
  }
  // 8. The marking status.
  if (marking) {
    LPCWSTR model = reinterpret_cast<LPCWSTR>(ctl_GetDDMValue(d->devmode, nullptr, DDM_MODELNAME, DDM_TYPE_STRING));
    if (!d->gsbData && d->extGsbData) {
      d->gsbData = static_cast<BYTE*>(GlobalAlloc(GPTR, d->extGsbDataSize));
      if (d->gsbData) {
        std::memcpy(d->gsbData, d->extGsbData, d->extGsbDataSize);
        d->gsbDataSize = d->extGsbDataSize;
      }
    }
    LPCWSTR printerName = reinterpret_cast<LPCWSTR>(d->csdx + KM_CSDX_PRINTER);
    if (!model || !d->gsbData ||
        local_FillGSBSTATUS(ddd, printerName, model, d->gsbData, d->gsbDataSize, d->gsbStatus) == 0)
      goto done;
  }
  // 9. Whether the job is a fax job.
  if (docevent_Send(hdc, KM_ESC_GET_IS_FAX, 0, nullptr, sizeof d->isFax, &d->isFax) != 1) goto done;
  // 10. The job settings, each only after the one before went on.
  result = FaxJobSetting(hdc, hPrinter, const_cast<DOCINFOW*>(docInfo), pvOut, cbOut);
  if (result == 1) result = ConfidentialUserSetting(hdc, hPrinter);
  if (result == 1 && _PrinterStartDocProc(hPrinter, hdc, d->devmode, d->printerData, ddd, d->isFax) == -1)
    result = -1;
  // 11. The devmode back to the renderer (the dialogs may have changed it).
  if (docevent_Send(hdc, KM_ESC_SET_DEVMODE, sizeof d->devmode, d->devmode, 0, nullptr) != 1) result = -1;
  // 12. The header/footer block.
  if (_HeaderFooterStartDocProc(d->headerFooter, hPrinter, hdc, d->devmode, d->printerData, d->docName, ddd) == -1)
    result = -1;
done:
  // 13. The description handle is closed on every way out.
  if (ddd) cddd_Close(ddd);
  return result;
}

// ---- StartDocPost

int _GetEMFSpoolStatus(HANDLE hPrinter, HDC hdc) {
  DocEventData* d = _GetDocEventData(hPrinter);
  if (!d || !d->started) return -1;
  if (docevent_Send(hdc, KM_ESC_QUERY_EMFSPOOL, 0, nullptr, sizeof d->emfSpool, &d->emfSpool) != 1) return -1;
  if (!d->emfSpool || Number(DDM_FORCEPDLVERSION, d->devmode, nullptr) != 1) return 1;
  DWORD needed = 0;
  GetPrinterW(hPrinter, 2, nullptr, 0, &needed);
  if (needed < sizeof(PRINTER_INFO_2W)) return 1;
  std::vector<BYTE> buffer(needed);
  if (!GetPrinterW(hPrinter, 2, buffer.data(), needed, &needed)) return 1;
  PRINTER_INFO_2W info;
  std::memcpy(&info, buffer.data(), sizeof info);
  const DWORD both = PRINTER_ATTRIBUTE_SHARED | PRINTER_ATTRIBUTE_NETWORK;
  if ((info.Attributes & both) != both) return 1;
  WCHAR text[512] = {};
  resource_LoadString(kStrEmfWarning, text, 512);
  LPCWSTR caption = reinterpret_cast<LPCWSTR>(ctl_GetDDMValue(d->devmode, nullptr, DDM_DEVICENAME, DDM_TYPE_STRING));
  d->emfWarning = 1;
  return MessageBoxW(nullptr, text, caption, MB_OKCANCEL | MB_ICONEXCLAMATION) == IDCANCEL ? -1 : 1;
}

int _DocEventStartDocPost(HANDLE hPrinter, HDC hdc, DWORD jobId) {
  int r = _GetEMFSpoolStatus(hPrinter, hdc);
  if (r != 1) return r;
  Brightdesk_StartDocPost(hPrinter, hdc, jobId);  // its result is not used (the trace has its failures)
  return _PutEscapeInStartDocPost(hPrinter, hdc);
}

// ---- StartPage

int _DocEventStartPage(HANDLE hPrinter, HDC hdc) {
  std::vector<BYTE> devmode(NRV_DEVMODE_SIZE_FULL);
  if (docevent_Send(hdc, KM_ESC_GET_DEVMODE, 0, nullptr, NRV_DEVMODE_SIZE_FULL, devmode.data()) != 1) return -1;
  KM_APPMARGIN record{KM_DEFAULT_APP_MARGIN_PAPER,
                      {KM_DEFAULT_APP_MARGIN, KM_DEFAULT_APP_MARGIN, KM_DEFAULT_APP_MARGIN, KM_DEFAULT_APP_MARGIN}};
  WORD paperId = 0;
  WORD margins[4];
  WORD formId = static_cast<WORD>(Number(DDM_PAPERSIZE, devmode.data(), nullptr));
  if (form_GetPaperIDByFormID(hPrinter, formId, &paperId) == 1 && _getAppMarginByPaperID(hPrinter, paperId, margins) == 0) {
    record.paperId = paperId;
    std::memcpy(record.margin, margins, sizeof margins);
  }
  BYTE bytes[KM_ESC_APP_MARGIN_SIZE];
  kp_StoreU16(bytes, record.paperId);
  for (int i = 0; i < 4; ++i) kp_StoreU16(bytes + 2 + 2 * i, record.margin[i]);
  return docevent_Send(hdc, KM_ESC_SET_APP_MARGIN, sizeof bytes, bytes, 0, nullptr) == 1 ? 1 : -1;
}

// ---- EndPage and EndDoc: stamps and header/footer

int stampCheckAndCall(HANDLE hPrinter, HDC hdc, DWORD atEnd) {
  DocEventData* d = _GetDocEventData(hPrinter);
  // The extra page EndDoc draws on ends with its own ENDPAGE: nothing more is
  // drawn on it.
  if (d && d->inExtraPage && !atEnd) return 1;
  DWORD request = atEnd ? KM_PAGEINFO_END_OF_DOCUMENT : KM_PAGEINFO_END_OF_PAGE;
  BYTE answer[sizeof(KM_PAGEINFO)] = {};
  if (docevent_Send(hdc, KM_ESC_GET_PAGE_INFO, sizeof request, &request, sizeof answer, answer) != 1) return 1;
  KM_PAGEINFO info;
  std::memcpy(&info, answer, sizeof info);
  // Word 0 (a stamp on an extra page) is the renderer's only at EndDoc.
  DWORD extraPage = atEnd ? info.sheetMarkDue : 0;
  if (!extraPage && !info.pageMarkDue && !info.headerFooter) return 1;
  std::vector<BYTE> devmode(NRV_DEVMODE_SIZE_FULL);
  if (docevent_Send(hdc, KM_ESC_GET_DEVMODE, 0, nullptr, NRV_DEVMODE_SIZE_FULL, devmode.data()) != 1) return 1;
  int result = 1;
  bool pageStarted = false;
  auto startExtraPage = [&] {
    if (pageStarted) return;
    if (d) d->inExtraPage = 1;
    pageStarted = StartPage(hdc) > 0;
    if (!pageStarted && d) d->inExtraPage = 0;
  };
  if (info.pageMarkDue) result = _PrintStamp(hdc, devmode.data(), &info);
  if (extraPage) {
    startExtraPage();
    result = _PrintStamp(hdc, devmode.data(), &info);
  }
  if (info.headerFooter) {
    if (atEnd) startExtraPage();
    result = _HeaderFooter(hdc, devmode.data(), &info);
  }
  if (pageStarted) EndPage(hdc);
  if (d) d->inExtraPage = 0;
  return result;
}

namespace {

// Whether the job prints one page a sheet, upright in the printable area
// (no N-up, poster or booklet, whose pages the layout turns in their
// cells): where a stamp that does not turn with the page can take its
// angle on the sheet (stampdraw.cpp).
constexpr LONG kLayoutPoster = 1, kLayoutBooklet = 2;  // DDM 321
bool OnePageASheet(void* devmode) {
  const LONG layout = Number(DDM_LAYOUTMODE, devmode, nullptr);
  return Number(DDM_NUP, devmode, nullptr) <= 1 && layout != kLayoutPoster && layout != kLayoutBooklet;
}

}  // namespace

int _PrintStamp(HDC hdc, void* devmode, const KM_PAGEINFO* info) {
  LPCWSTR text = reinterpret_cast<LPCWSTR>(ctl_GetDDMValue(devmode, nullptr, DDM_STAMP_TEXT_NAME, DDM_TYPE_STRING));
  LPCWSTR bitmap =
      reinterpret_cast<LPCWSTR>(ctl_GetDDMValue(devmode, nullptr, DDM_STAMP_BITMAP_NAME, DDM_TYPE_STRING));
  bool haveText = text && *text;
  bool haveBitmap = bitmap && *bitmap;
  if (!haveText && !haveBitmap) return 1;
  DWORD on = 1;
  DWORD answer = 0;
  if (docevent_Send(hdc, KM_ESC_GETSET_STAMP_MODE, sizeof on, &on, sizeof answer, &answer) != 1) return -1;
  LONG orientation = Number(DDM_ORIENTATION, devmode, nullptr);
  LONG fixed = Number(DDM_STAMP_FIRST_PAGE, devmode, nullptr);
  LONG angle = fixed ? 0 : Number(DDM_STAMP_ANGLE, devmode, nullptr);
  LONG transparent = Number(DDM_STAMP_TRANSPARENT, devmode, nullptr);
  int result;
  if (haveText) {
    LOGFONTW font{};
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR value = 0;
    if (ddm_GetValue(DDM_STAMP_FONT, devmode, nullptr, &type, &size, &value) == 0 && type == DDM_TYPE_FONT &&
        value && size >= sizeof font)
      std::memcpy(&font, reinterpret_cast<const void*>(value), sizeof font);
    result = PrintWaterMark(hdc, info, orientation, Number(DDM_PRINTQUALITY, devmode, nullptr), angle, &font, text,
                            static_cast<COLORREF>(Number(DDM_STAMP_COLOR, devmode, nullptr)), transparent ? 75 : 0,
                            Number(DDM_STAMP_SIZE, devmode, nullptr), fixed == 0 && OnePageASheet(devmode));
  } else {
    result = PrintBitmapWaterMark(hdc, info, orientation, angle, bitmap, transparent,
                                  Number(DDM_STAMP_BITMAP_OPTION, devmode, nullptr));
  }
  DWORD off = 0;
  docevent_Send(hdc, KM_ESC_GETSET_STAMP_MODE, sizeof off, &off, sizeof answer, &answer);
  return result;
}

// ---- The export

int docevent_Dispatch(HANDLE hPrinter, HDC hdc, int iEsc, ULONG cbIn, PVOID pvIn, ULONG cbOut, PVOID pvOut) {
  Logout_InDDIFunctionTraceLog(u"DrvDocumentEvent");
  int r = 0;
  bool needsDc = iEsc == DOCUMENTEVENT_STARTDOC || iEsc == DOCUMENTEVENT_STARTDOCPOST ||
                 iEsc == DOCUMENTEVENT_STARTPAGE || iEsc == DOCUMENTEVENT_ENDPAGE || iEsc == DOCUMENTEVENT_ENDDOC;
  if (!hPrinter) {
    r = -1;
  } else if (needsDc && !hdc) {
    r = -1;
  } else {
    switch (iEsc) {
      case DOCUMENTEVENT_CREATEDCPRE: {
        // The create-DC record's third member is the application's devmode;
        // the answer goes to the DEVMODEW pointer at pvOut.
        if (!pvIn || cbIn < sizeof(DOCEVENT_CREATEDCPRE) || !pvOut || cbOut < sizeof(void*)) {
          r = -1;
          break;
        }
        DOCEVENT_CREATEDCPRE pre;
        std::memcpy(&pre, pvIn, sizeof pre);
        void** out = static_cast<void**>(pvOut);
        r = _commonCreateAndResetDCPre(hPrinter, pre.pdm, out);
        if (r == 1 && !_CreateDocEventData(hPrinter)) {
          // The record cannot be made: the block PRE stored is freed and the
          // answer cleared.
          _commonCreateAndResetDCPost(hPrinter, out);
          *out = nullptr;
          r = -1;
        }
        break;
      }
      case DOCUMENTEVENT_CREATEDCPOST:
        r = _commonCreateAndResetDCPost(hPrinter, cbIn >= sizeof(void*) ? static_cast<void**>(pvIn) : nullptr);
        if (!hdc) _DeleteDocEventData(hPrinter);  // the renderer refused: no DC, no DELETEDC
        break;
      case DOCUMENTEVENT_RESETDCPRE: {
        if (!pvIn || cbIn < sizeof(void*) || !pvOut || cbOut < sizeof(void*)) {
          r = -1;
          break;
        }
        const void* given = *static_cast<void* const*>(pvIn);
        r = _commonCreateAndResetDCPre(hPrinter, given, static_cast<void**>(pvOut));
        break;
      }
      case DOCUMENTEVENT_RESETDCPOST:
        r = _commonCreateAndResetDCPost(hPrinter, cbIn >= sizeof(void*) ? static_cast<void**>(pvIn) : nullptr);
        if (r == 1 && hdc) r = _PutEscapeInStartDocPost(hPrinter, hdc);
        break;
      case DOCUMENTEVENT_STARTDOC: {
        const DOCINFOW* info = pvIn && cbIn >= sizeof(void*) ? *static_cast<const DOCINFOW* const*>(pvIn) : nullptr;
        r = _DocEventStartDoc(hPrinter, hdc, cbIn, info, pvOut, cbOut);
        break;
      }
      case DOCUMENTEVENT_STARTPAGE: r = _DocEventStartPage(hPrinter, hdc); break;
      case DOCUMENTEVENT_ENDPAGE: r = stampCheckAndCall(hPrinter, hdc, 0); break;
      case DOCUMENTEVENT_ENDDOC: r = stampCheckAndCall(hPrinter, hdc, 1); break;
      case DOCUMENTEVENT_DELETEDC: r = _DeleteDocEventData(hPrinter); break;
      case DOCUMENTEVENT_STARTDOCPOST: {
        // The input is the address of the spooler's job id.
        DWORD jobId = 0;
        if (pvIn && cbIn >= sizeof jobId) std::memcpy(&jobId, pvIn, sizeof jobId);
        r = _DocEventStartDocPost(hPrinter, hdc, jobId);
        break;
      }
      case DOCUMENTEVENT_ABORTDOC:
        // Not an event of the driver's (0), but the document monitor's
        // registrations of the job must not outlive it.
        Brightdesk_AbortDoc(hPrinter);
        r = 0;
        break;
      default: r = 0; break;
    }
  }
  Logout_OutDDIFunctionTraceLog(u"DrvDocumentEvent RetValue = %d", r);
  return r;
}
