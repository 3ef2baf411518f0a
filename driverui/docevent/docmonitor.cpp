// The document monitor at StartDocPost: one registration a header of the
// job, handed to the spooler side under the job id (kestrel/ui/docevent.h,
// the core's Brightdesk_* in kestrel/core/gsb_ctrl.h).
#include <cstring>
#include <vector>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/faxlist.h"
#include "kestrel/core/gsb_ctrl.h"
#include "kestrel/core/logout.h"
#include "kestrel/ui/docevent.h"
#include "kplatform/byte_order.h"
#include "kplatform/kwindows.h"

namespace {

LONG Number(WORD id, DocEventData* d) {
  LONG v = 0;
  return ddm_GetNumber(id, d->devmode, d->printerData, &v) ? v : 0;
}

void Drop(DocEventData* d) {
  if (d->bddmRecords) GlobalFree(d->bddmRecords);
  d->bddmRecords = nullptr;
  if (d->jcid) GlobalFree(d->jcid);
  d->jcid = nullptr;
  d->jcidSize = 0;
}

// Withdraws every registration made so far.
void WithdrawAll(std::vector<ULONG_PTR>& handles) {
  for (ULONG_PTR h : handles) UnInitializeDocMon(h);
  handles.clear();
}

int Fail(std::vector<ULONG_PTR>& handles, BYTE* records, BYTE* jcid, DWORD jobId, const char16_t* why) {
  WithdrawAll(handles);
  if (records) GlobalFree(records);
  if (jcid) GlobalFree(jcid);
  Logout_OutputString(u"kestrelui: job %lu is not registered with the document monitor: %ls", jobId, why);
  return -1;
}

}  // namespace

int Brightdesk_StartDocPost(HANDLE hPrinter, HDC, DWORD jobId) {
  DocEventData* d = _GetDocEventData(hPrinter);
  if (!d || !d->started) return -1;
  Drop(d);  // a new document's registrations replace the last one's
  d->bddmJobId = jobId;
  if (Number(DDM_NO_APP_COPY_COUNT, d) == 0 || Number(DDM_DOCMONITOR_REGISTER, d) == 0 ||
      Number(DDM_COMMENT_SUPPRESS, d) == 0)
    return 1;
  HCDDD ddd = cddd_Open(hPrinter);
  if (!ddd) return -1;
  WCHAR library[MAX_PATH];
  if (!bddm_LibraryName(ddd, library) || bddm_IsValid(library) == 0) {
    cddd_Close(ddd);
    return 1;  // no monitor: nothing to register
  }
  std::vector<ULONG_PTR> handles;
  // One registration a header, in the table's order.
  DocEventHeaderPlan plan{};
  const bool planned = docevent_JclHeaderPlan(hPrinter, d, d->isFax, &plan);
  if (plan.faxList) DeleteFaxAddressInfo(plan.faxList);
  if (!planned || plan.count == 0 || plan.count > 0xFFFF) {
    cddd_Close(ddd);
    return Fail(handles, nullptr, nullptr, jobId, u"the job's headers cannot be counted");
  }
  const WORD count = static_cast<WORD>(plan.count);
  WCHAR printerName[MAX_PATH] = {};
  WCHAR port[MAX_PATH] = {};
  docevent_PrinterNames(hPrinter, printerName, MAX_PATH, port, MAX_PATH);
  BYTE* records = static_cast<BYTE*>(GlobalAlloc(GPTR, BDDM_HANDOFF_COUNT_BYTES + count * BRIGHTDESK_RECORD_SIZE));
  BYTE* jcid = static_cast<BYTE*>(GlobalAlloc(GPTR, count * KM_GSBJCID_ENTRY));
  if (!records || !jcid) {
    cddd_Close(ddd);
    return Fail(handles, records, jcid, jobId, u"no memory");
  }
  kp_StoreU16(records, count);
  BRIGHTDESK_REQUEST request{};
  request.library = library;
  request.resource = reinterpret_cast<HINSTANCE>(d->module);
  request.printer = hPrinter;
  request.ddd = ddd;
  request.devmode = d->devmode;
  request.printerData = d->printerData;
  request.document = d->docName;
  request.printerName = printerName;
  request.port = port;
  request.user = d->userName;
  request.outputTray = static_cast<DWORD>(Number(DDM_OUTPUT_TRAY, d));
  request.recipients = d->faxInfo;
  for (WORD i = 0; i < count; ++i) {
    BYTE record[BRIGHTDESK_RECORD_SIZE];
    request.copySet = i;
    request.copy = i;
    const ULONG_PTR handle = Brightdesk_Ready(&request, record);
    if (handle == 0) {
      cddd_Close(ddd);
      return Fail(handles, records, jcid, jobId, u"the monitor refused a copy");
    }
    handles.push_back(handle);
    std::memcpy(records + BDDM_HANDOFF_COUNT_BYTES + i * BRIGHTDESK_RECORD_SIZE, record, sizeof record);
    BYTE* entry = jcid + i * KM_GSBJCID_ENTRY;
    kp_StoreU32(entry, static_cast<DWORD>(i) + 1);  // copies counted from 1
    std::memcpy(entry + 4, record, sizeof record);
  }
  cddd_Close(ddd);
  // The spooler side takes the registrations over; this side lets go of
  // them only once they are handed off.
  if (!Brightdesk_HandOff(hPrinter, jobId, records))
    return Fail(handles, records, jcid, jobId, u"the registrations cannot be handed to the spooler side");
  for (ULONG_PTR h : handles) Brightdesk_Detach(h);
  d->bddmRecords = records;
  d->jcid = jcid;
  d->jcidSize = static_cast<DWORD>(count) * KM_GSBJCID_ENTRY;
  return 1;
}

void Brightdesk_AbortDoc(HANDLE hPrinter) {
  DocEventData* d = _GetDocEventData(hPrinter);
  if (!d || !d->bddmRecords) return;
  if (HCDDD ddd = cddd_Open(hPrinter)) {
    if (ULONG_PTR job = Brightdesk_TakeOver(hPrinter, ddd, d->bddmJobId)) UnInitializeDocMon(job);
    cddd_Close(ddd);
  } else {
    Logout_OutputString(u"kestrelui: job %lu: the document monitor's registrations cannot be taken back",
                        d->bddmJobId);
  }
  Drop(d);
}
