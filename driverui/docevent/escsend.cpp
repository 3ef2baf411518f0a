// The private escapes that hand the job to the renderer: the sender, the
// StartDocPost block, the EJCL header table, the header/footer block and
// the CSDX block. Layouts: kestrel/render/km_escape.h.
#include <cstring>
#include <vector>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/ejcl.h"
#include "kestrel/core/faxlist.h"
#include "kestrel/core/gsb_ctrl.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/ui/docevent.h"
#include "kplatform/byte_order.h"
#include "kplatform/kwindows.h"
#include "kplatform/wide_text.h"
#include "kplatform/winspool_printer.h"

namespace {

// Copies src into dst of `chars` units, cut to chars - 1 and terminated.
void CopyZ(LPWSTR dst, size_t chars, LPCWSTR src) {
  if (!chars) return;
  size_t n = kp_WideCopy(dst, src, chars - 1);
  dst[n] = 0;
}

constexpr UINT kStrTimeFormat = 5178;     // "%02d:%02d": hour, minute
constexpr UINT kStrDateFormatMDY = 5179;  // month, day, year
constexpr UINT kStrDateFormatDMY = 5180;  // day, month, year
constexpr UINT kStrDateFormatYMD = 5181;  // year, month, day
constexpr DWORD kCapNoHostInOwner = 0x2000000;  // capability: the user name goes without the host
constexpr DWORD kCapLetterLocale = 0x400000;   // capability: the locale may ask for letter paper
constexpr char16_t kUnknownHost[] = u"UnkownHost";
constexpr DWORD kJcidRecordsPerCopy = KM_GSBJCID_ENTRY;

LONG Number(WORD id, void* devmode, void* printerData, LONG fallback = 0) {
  LONG v = 0;
  return ddm_GetNumber(id, devmode, printerData, &v) ? v : fallback;
}

// Copies at most `chars` characters and a NUL into the UTF-16 field at `at`.
void PutText(BYTE* block, DWORD at, LPCWSTR text, DWORD chars) {
  DWORD n = 0;
  if (text)
    while (n < chars && text[n]) ++n;
  std::memcpy(block + at, text ? text : u"", n * sizeof(WCHAR));
  kp_StoreU16(block + at + n * sizeof(WCHAR), 0);
}

}  // namespace

bool docevent_PrinterNames(HANDLE hPrinter, WCHAR* name, DWORD nameChars, WCHAR* port, DWORD portChars) {
  DWORD needed = 0;
  GetPrinterW(hPrinter, 2, nullptr, 0, &needed);
  if (needed < sizeof(PRINTER_INFO_2W)) return false;
  std::vector<BYTE> buffer(needed);
  if (!GetPrinterW(hPrinter, 2, buffer.data(), needed, &needed)) return false;
  PRINTER_INFO_2W info;
  std::memcpy(&info, buffer.data(), sizeof info);
  if (name) CopyZ(name, nameChars, info.pPrinterName ? info.pPrinterName : u"");
  if (port) CopyZ(port, portChars, info.pPortName ? info.pPortName : u"");
  return true;
}

int docevent_Send(HDC hdc, ULONG code, ULONG cbIn, const void* pvIn, ULONG cbOut, void* pvOut) {
  int r = ExtEscape(hdc, static_cast<int>(code), static_cast<int>(cbIn), static_cast<LPCSTR>(pvIn),
                    static_cast<int>(cbOut), static_cast<LPSTR>(pvOut));
  return r >= 1 ? 1 : -1;
}

int local_FillCSDX(BYTE* block, HANDLE hPrinter, LPCWSTR docName, LPCWSTR userName) {
  std::memset(block, 0, KM_ESC_CSDX_SIZE);
  WCHAR computer[KM_CSDX_COMPUTER_CHARS] = {};
  DWORD size = KM_CSDX_COMPUTER_CHARS;
  if (!GetComputerNameW(computer, &size)) computer[0] = 0;
  PutText(block, KM_CSDX_COMPUTER, computer, KM_CSDX_COMPUTER_CHARS - 1);
  PutText(block, KM_CSDX_DOCUMENT, docName, KM_CSDX_DOCUMENT_CHARS);
  WCHAR user[KM_CSDX_USER_CHARS + 1] = {};
  if (userName) {
    CopyZ(user, KM_CSDX_USER_CHARS + 1, userName);
  } else {
    DWORD chars = KM_CSDX_USER_CHARS + 1;
    if (!zanLib_GetUserName(user, &chars)) user[0] = 0;
  }
  PutText(block, KM_CSDX_USER, user, KM_CSDX_USER_CHARS);
  WCHAR printer[KM_CSDX_PRINTER_CHARS + 1] = {};
  if (!docevent_PrinterNames(hPrinter, printer, KM_CSDX_PRINTER_CHARS + 1, nullptr, 0)) return -1;
  PutText(block, KM_CSDX_PRINTER, printer, KM_CSDX_PRINTER_CHARS);
  return 1;
}

int _HeaderFooterStartDocProc(BYTE* block, HANDLE hPrinter, HDC, void* devmode, void* printerData, LPCWSTR docName,
                              HCDDD ddd) {
  (void)hPrinter;
  std::memset(block, 0, KM_HF_SIZE);
  auto on = [&](WORD id) { return Number(id, devmode, printerData) == 1; };
  DWORD any = 0;
  WCHAR user[KM_HF_USERNAME_CHARS] = {};
  DWORD chars = KM_HF_USERNAME_CHARS;
  if (!zanLib_GetUserName(user, &chars)) user[0] = 0;
  if (on(DDM_HEADERFOOTER_ON_FIRST)) {
    PutText(block, KM_HF_USERNAME, user, KM_HF_USERNAME_CHARS - 1);
    any = 1;
  }
  if (on(DDM_HEADERFOOTER_USERHOST)) {
    WCHAR text[KM_HF_USERHOST_CHARS * 4] = {};
    CopyZ(text, KM_HF_USERHOST_CHARS * 4, user);
    if (!(ddd && zanLib_CheckCapability_Indirect(ddd, kCapNoHostInOwner))) {
      WCHAR host[MAX_COMPUTERNAME_LENGTH + 1] = {};
      DWORD hostChars = MAX_COMPUTERNAME_LENGTH + 1;
      if (!GetComputerNameW(host, &hostChars) || !host[0]) CopyZ(host, MAX_COMPUTERNAME_LENGTH + 1, kUnknownHost);
      size_t n = kp_WideLength(text);
      if (n + 1 < KM_HF_USERHOST_CHARS * 4) {
        text[n] = u'\\';
        CopyZ(text + n + 1, KM_HF_USERHOST_CHARS * 4 - n - 1, host);
      }
    }
    PutText(block, KM_HF_USERHOST, text, KM_HF_USERHOST_CHARS - 1);
    any = 1;
  }
  if (on(DDM_HEADERFOOTER_DOCNAME)) {
    PutText(block, KM_HF_DOCUMENT, docName, KM_HF_DOCUMENT_CHARS - 1);
    any = 1;
  }
  if (on(DDM_HEADERFOOTER_PAGENUMBER)) any = 1;  // the page number only sets the first word
  SYSTEMTIME now{};
  GetLocalTime(&now);
  if (on(DDM_HEADERFOOTER_DATE)) {
    WCHAR order[4] = {};
    LONG idate = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IDATE, order, 4) ? zanLib_atoi(order) : 0;
    if (idate > 2) idate = 2;
    if (idate < 0) idate = 0;
    WCHAR format[64] = {};
    WCHAR text[64] = {};
    UINT id = idate == 0 ? kStrDateFormatMDY : idate == 1 ? kStrDateFormatDMY : kStrDateFormatYMD;
    if (resource_LoadString(id, format, 64) > 0) {
      // Each format takes its three numbers in the order it shows them.
      if (idate == 0)
        wsprintfW(text, format, now.wMonth, now.wDay, now.wYear);
      else if (idate == 1)
        wsprintfW(text, format, now.wDay, now.wMonth, now.wYear);
      else
        wsprintfW(text, format, now.wYear, now.wMonth, now.wDay);
    }
    PutText(block, KM_HF_DATE, text, KM_HF_DATE_CHARS - 1);
    any = 1;
  }
  if (on(DDM_HEADERFOOTER_TIME)) {
    WCHAR format[64] = {};
    WCHAR text[64] = {};
    if (resource_LoadString(kStrTimeFormat, format, 64) > 0) wsprintfW(text, format, now.wHour, now.wMinute);
    PutText(block, KM_HF_TIME, text, KM_HF_TIME_CHARS - 1);
    any = 1;
  }
  kp_StoreU32(block + KM_HF_VALUE, any);
  return 1;
}

bool docevent_JclHeaderPlan(HANDLE hPrinter, DocEventData* d, DWORD isFax, DocEventHeaderPlan* plan) {
  *plan = DocEventHeaderPlan{1, false, 0, nullptr};
  if (!isFax) return true;
  LONG destinations = Number(DDM_FAX_DESTINATION_COUNT, d->devmode, d->printerData);
  WORD listCount = 0;
  if (d->faxInfo) plan->faxList = CreateFaxAddressInfoFromMem(hPrinter, 0, d->faxInfoSize, d->faxInfo, &listCount);
  if (destinations < 1 || !plan->faxList || destinations > listCount) return false;
  plan->perDestination = Number(DDM_FAX_SINGLE_HEADER, d->devmode, d->printerData) == 0;
  plan->count = plan->perDestination ? static_cast<uint64_t>(destinations) : 1;
  plan->destinations = static_cast<WORD>(destinations);
  return true;
}

int _GetJCLHeader_StartDocPost(HANDLE hPrinter, HDC hdc) {
  // 1. A table only when DDM 1333 is set and the fax question is answered.
  DocEventData* d = _GetDocEventData(hPrinter);
  if (!d || Number(DDM_NO_APP_COPY_COUNT, d->devmode, d->printerData) == 0) return 1;
  DWORD isFax = 0;
  if (docevent_Send(hdc, KM_ESC_GET_IS_FAX, 0, nullptr, sizeof isFax, &isFax) != 1) return 1;
  HCDDD ddd = cddd_Open(hPrinter);
  if (!ddd) return -1;
  int result = -1;
  BYTE* table = nullptr;
  // 2. The headers: one, or for a fax job one for all destinations or one
  // each. The count comes from the devmode and never passes the list's own.
  DocEventHeaderPlan plan{};
  const bool planned = docevent_JclHeaderPlan(hPrinter, d, isFax, &plan);
  const uint64_t count = plan.count;
  void* const faxList = plan.faxList;
  // The document monitor's per-copy records (uint16 count, 64 bytes each).
  WORD records = 0;
  if (d->bddmRecords) records = kp_LoadU16(d->bddmRecords);
  if (!planned) goto done;
  {
    // 3. The table: the head, the entries, the values.
    LONG entrySize = ejcl_bufferSizeHead(ddd->main, ddd->referenced);
    if (entrySize <= static_cast<LONG>(KM_JCL_ENTRY_COUNT_BYTES)) goto done;
    uint64_t size = KM_JCL_TableSize(count, static_cast<uint64_t>(entrySize));
    if (size > 0x7FFFFFFFu) goto done;
    table = static_cast<BYTE*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(size)));
    if (!table) goto done;
    kp_StoreU32(table, static_cast<DWORD>(count));
    kp_StoreU32(table + 4, static_cast<DWORD>(entrySize));
    // The sender's addresses mean nothing to a reader; their low 32 bits.
    kp_StoreU32(table + 8, static_cast<DWORD>(reinterpret_cast<uintptr_t>(table + KM_JCL_HEAD_SIZE)));
    kp_StoreU32(table + 12,
                static_cast<DWORD>(reinterpret_cast<uintptr_t>(table + KM_JCL_ValueOffset(0, count, entrySize))));
    for (uint64_t i = 0; i < count; ++i) {
      EJCL_FAX_RANGE range{};
      EJCL_CONTEXT context{};
      context.devmode = d->devmode;
      context.printerData = d->printerData;
      context.documentName = d->docName;
      context.hardCoded = 1;
      context.printer = hPrinter;
      context.bookletSheets = 0;  // the spooler side fills the sheet count
      if (isFax) {
        range.first = static_cast<WORD>(plan.perDestination ? i : 0);
        range.last = static_cast<WORD>(plan.perDestination ? i : plan.destinations - 1);
        range.list = faxList;
        range.listSize = d->faxInfoSize;
        context.fax = &range;
      }
      if (i < records) {
        // The copy's registration: its job control id goes into its header.
        const BYTE* record = d->bddmRecords + BDDM_HANDOFF_COUNT_BYTES + i * BRIGHTDESK_RECORD_SIZE;
        context.jcidFlag = 1;
        std::memcpy(context.jcid, record + BRIGHTDESK_JCID_OFFSET, BRIGHTDESK_JCID_BYTES);
        context.jcid[BRIGHTDESK_JCID_BYTES - 1] = 0;
      }
      BYTE* entry = table + KM_JCL_EntryOffset(i, entrySize);
      // The text after its 4-byte count, within the entry.
      LONG written = ejcl_getEJCLCommandsHead(ddd->main, ddd->referenced, &context,
                                              reinterpret_cast<char*>(entry + KM_JCL_ENTRY_COUNT_BYTES),
                                              static_cast<DWORD>(entrySize) - KM_JCL_ENTRY_COUNT_BYTES);
      if (written < 0) goto done;
      kp_StoreU32(entry, static_cast<DWORD>(written));
      kp_StoreU32(table + KM_JCL_ValueOffset(i, count, entrySize), context.bktpOffset);
    }
    // 4. The new table replaces the earlier one.
    if (d->jclTable) GlobalFree(d->jclTable);
    d->jclTable = table;
    d->jclTableSize = static_cast<DWORD>(size);
    table = nullptr;
    result = 1;
  }
done:
  if (table) GlobalFree(table);
  if (faxList) DeleteFaxAddressInfo(faxList);
  cddd_Close(ddd);
  return result;
}

int _PutEscapeInStartDocPost(HANDLE hPrinter, HDC hdc) {
  // 1. Only after StartDoc.
  DocEventData* d = _GetDocEventData(hPrinter);
  if (!d) return -1;
  if (!d->started) return 1;
  // 2. The renderer's devmode (its answer is not needed).
  docevent_Send(hdc, KM_ESC_GET_DEVMODE, 0, nullptr, sizeof d->devmode, d->devmode);
  // 3. The EJCL header table.
  int result = _GetJCLHeader_StartDocPost(hPrinter, hdc);
  // 4. The block; each failure is kept and the block goes on.
  auto send = [&](ULONG code, ULONG size, const void* data) {
    if (docevent_Send(hdc, code, size, data, 0, nullptr) != 1) result = -1;
  };
  WORD status = KM_SETSTATUS_BLOCK_START;
  send(KM_ESC_SET_STATUS, sizeof status, &status);
  if (HCDDD ddd = cddd_Open(hPrinter)) {
    ZANLIB_CAPABILITY caps{};
    zanLib_GetDDDCapabilities(ddd, &caps);
    // The letter flag of the user's locale when the model has the letter
    // capability, else 2 (not letter).
    static const BYTE kAny = 1;
    WORD letter = driver_get_letter_flag((caps.word0 & kCapLetterLocale) ? &kAny : nullptr);
    cddd_Close(ddd);
    send(KM_ESC_SET_LETTER_FLAG, sizeof letter, &letter);
  } else {
    result = -1;  // "Unable to open": recorded, and the block goes on
  }
  BYTE name[KM_ESC_DOCNAME_SIZE] = {};
  PutText(name, 0, d->docName, KM_ESC_DOCNAME_CHARS);
  send(KM_ESC_SET_DOC_NAME, sizeof name, name);
  send(KM_ESC_SET_DEVMODE, sizeof d->devmode, d->devmode);
  send(KM_ESC_SET_PRINTER_DATA, sizeof d->printerData, d->printerData);
  send(KM_ESC_SET_HEADER_FOOTER, sizeof d->headerFooter, d->headerFooter);
  send(KM_ESC_SET_PESCAPE_STATUS, sizeof d->escapeStatus, d->escapeStatus);
  if (d->emfWarning) {
    DWORD one = 1;
    send(KM_ESC_DISABLE_FORM_FILE, sizeof one, &one);
  }
  if (d->isFax && d->faxInfo) send(KM_ESC_SET_FAX_ADDRESS_INFO, d->faxInfoSize, d->faxInfo);
  if (d->jclTable) send(KM_ESC_SET_JCL_HEADER, d->jclTableSize, d->jclTable);
  send(KM_ESC_SET_CSDX, sizeof d->csdx, d->csdx);
  if (d->gsbData && d->gsbStatus[0]) {
    send(KM_ESC_SET_GSBDATA, d->gsbDataSize, d->gsbData);
    if (d->extGsbData) send(KM_ESC_SET_EXT_GSBDATA, d->extGsbDataSize, d->extGsbData);
    BYTE gsbStatus[KM_ESC_GSBSTATUS_SIZE];
    kp_StoreU32(gsbStatus, d->gsbStatus[0]);
    kp_StoreU32(gsbStatus + 4, d->gsbStatus[1]);
    send(KM_ESC_SET_GSBSTATUS, sizeof gsbStatus, gsbStatus);
    if (d->jcid && d->jcidSize >= kJcidRecordsPerCopy) send(KM_ESC_SET_GSBJCID, d->jcidSize, d->jcid);
  }
  status = KM_SETSTATUS_BLOCK_END;
  if (docevent_Send(hdc, KM_ESC_SET_STATUS, sizeof status, &status, 0, nullptr) != 1) return -1;
  return result;
}
