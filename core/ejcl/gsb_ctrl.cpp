// Security marking and the document monitor (kestrel/core/gsb_ctrl.h): the
// outside libraries loaded by name, their exports looked up at each call.
#include "kestrel/core/gsb_ctrl.h"

#include <cstdio>
#include <cstring>

#include "kestrel/core/cddd.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/logout.h"
#include "kplatform/kwindows.h"
#include "kplatform/winspool_printer.h"
#include "kplatform/wide_text.h"

namespace {

constexpr int kOk = 1;
constexpr int kNull = -1;
constexpr int kConversion = -7;
constexpr int kLanguage = -8;
constexpr int kLevel = -9;
constexpr int kNoHandle = -10;
constexpr int kCopy = -11;
constexpr int kLibrary = -101;
constexpr int kConflict = 4;
constexpr int kAnsiMax = 2 * MAX_PATH;

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
  FARPROC p = module != nullptr ? GetProcAddress(module, name) : nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(p));
}

HMODULE Load(LPCWSTR library) {
  if (library == nullptr || library[0] == 0) return nullptr;
  return LoadLibraryW(library);
}

void CopyName(WCHAR (&to)[MAX_PATH], LPCWSTR from) {
  const size_t n = kp_WideCopy(to, from, MAX_PATH - 1);
  to[n] = 0;
}

// The registered jobs behind a document-monitor handle: one for a
// registration of this process, every copy's for registrations taken over
// from the application's side.
// The count ids follow the record in its block.
struct BddmJob {
  HMODULE module;
  uint32_t count;
  uint32_t* ids() { return reinterpret_cast<uint32_t*>(this + 1); }
};

BddmJob* NewJob(HMODULE module, uint32_t count) {
  const size_t bytes = sizeof(BddmJob) + sizeof(uint32_t) * count;
  auto* job = static_cast<BddmJob*>(kcore_Alloc(bytes));
  if (job == nullptr) return nullptr;
  job->module = module;
  job->count = count;
  return job;
}

// Releases the monitor and the library the handle holds, and the handle.
void EndHold(BddmJob* job) {
  auto release = Export<void (*)(void)>(job->module, BDDM_RELEASE);
  if (release != nullptr) release();
  FreeLibrary(job->module);
  kcore_Free(job);
}

// The printer-data value of a job's hand-off.
void HandOffName(DWORD jobId, WCHAR (&name)[32]) {
  size_t n = kp_WideCopy(name, BDDM_HANDOFF_PREFIX, 16);
  char digits[16];
  const int count = std::snprintf(digits, sizeof digits, "%lu", static_cast<unsigned long>(jobId));
  for (int i = 0; i < count; ++i) name[n++] = static_cast<WCHAR>(digits[i]);
  name[n] = 0;
}

}  // namespace

// ---- names ----------------------------------------------------------------------

BOOL gsb_ctrl_ReadDevice(CDDD_INFO* ddd, const BYTE* devmode, const BYTE* printerData, GSB_DEVICE* device) {
  if (device == nullptr) return FALSE;
  device->library[0] = 0;
  device->model[0] = 0;
  if (ddd == nullptr) return FALSE;
  LPWSTR name = nullptr;
  if (ddd_GetDLLName(ddd->main, GSB_DLL_SELECTOR, &name) == DDD_OK && name != nullptr) CopyName(device->library, name);
  kcore_Free(name);
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR value = 0;
  if (devmode != nullptr &&
      ddm_GetValue(DDM_MODELNAME, const_cast<BYTE*>(devmode), const_cast<BYTE*>(printerData), &type, &size, &value) == 0 &&
      value != 0) {
    CopyName(device->model, reinterpret_cast<LPCWSTR>(value));
  }
  return device->library[0] != 0;
}

BOOL bddm_LibraryName(CDDD_INFO* ddd, WCHAR (&library)[MAX_PATH]) {
  library[0] = 0;
  if (ddd == nullptr) return FALSE;
  LPWSTR name = nullptr;
  if (ddd_GetDLLName(ddd->main, BDDM_DLL_SELECTOR, &name) == DDD_OK && name != nullptr) CopyName(library, name);
  kcore_Free(name);
  return library[0] != 0;
}

BOOL local_CopyWideStringToMBCString(LPCWSTR wide, int size, char* out) {
  if (wide == nullptr || out == nullptr || size <= 0) return FALSE;
  out[0] = 0;
  const int need = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (need <= 0) return FALSE;
  char* all = static_cast<char*>(kcore_Alloc(static_cast<size_t>(need)));
  if (all == nullptr) return FALSE;
  if (WideCharToMultiByte(CP_ACP, 0, wide, -1, all, need, nullptr, nullptr) != need) {
    kcore_Free(all);
    return FALSE;
  }
  const int length = need - 1;  // without the NUL
  int keep = length < size - 1 ? length : size - 1;
  if (keep < length) {
    // Cut inside the text: end at a character boundary, found from the
    // start (a trail byte may have a lead byte's value).
    int at = 0;
    while (at < keep) {
      const int step = IsDBCSLeadByte(static_cast<BYTE>(all[at])) && at + 1 < length ? 2 : 1;
      if (at + step > keep) break;
      at += step;
    }
    keep = at;
  }
  std::memcpy(out, all, static_cast<size_t>(keep));
  out[keep] = 0;
  kcore_Free(all);
  return TRUE;
}

// ---- gsb_ctrl -----------------------------------------------------------------------

int gsb_ctrl_IsAvailable(const GSB_DEVICE* device, LPCWSTR settings) {
  if (device == nullptr || settings == nullptr) return kNull;
  HMODULE module = Load(device->library);
  if (module == nullptr) return 0;
  char model[kAnsiMax];
  int result = 0;
  if (local_CopyWideStringToMBCString(device->model, kAnsiMax, model)) {
    auto supported = Export<ZangsbIsSupportedFn>(module, ZANGSB_ISSUPPORTED);
    result = supported != nullptr && supported(model) != 0 ? 1 : 0;
  }
  FreeLibrary(module);
  return result;
}

int gsb_ctrl_GetHandle(const GSB_DEVICE* device, LPCWSTR settings, int mode, GSB_HANDLE** handle) {
  if (handle != nullptr) *handle = nullptr;
  if (device == nullptr || settings == nullptr || handle == nullptr) return kNull;
  char model[kAnsiMax];
  char text[kAnsiMax];
  if (!local_CopyWideStringToMBCString(device->model, kAnsiMax, model) ||
      !local_CopyWideStringToMBCString(settings, kAnsiMax, text)) {
    return kConversion;
  }
  const LANGID language = GetUserDefaultUILanguage();
  if (language == 0) return kLanguage;
  HMODULE module = Load(device->library);
  auto create = Export<ZangsbCreateHandleFn>(module, ZANGSB_CREATEHANDLE);
  void* library = create != nullptr ? create(model, text, mode, language) : nullptr;
  GSB_HANDLE* block = library != nullptr ? static_cast<GSB_HANDLE*>(kcore_Alloc(sizeof(GSB_HANDLE))) : nullptr;
  if (block == nullptr) {
    auto release = Export<ZangsbReleaseHandleFn>(module, ZANGSB_RELEASEHANDLE);
    if (library != nullptr && release != nullptr) release(library);
    if (module != nullptr) FreeLibrary(module);
    return library != nullptr ? kNull : kLibrary;
  }
  block->library = library;
  block->serials = 0;
  block->module = module;
  *handle = block;
  return kOk;
}

int gsb_ctrl_ReleaseHandle(GSB_HANDLE* handle) {
  if (handle == nullptr) return kNull;
  int result = kOk;
  if (handle->library == nullptr) {
    result = kNoHandle;
  } else {
    auto release = Export<ZangsbReleaseHandleFn>(handle->module, ZANGSB_RELEASEHANDLE);
    if (release == nullptr || release(handle->library) == 0) result = kLibrary;
  }
  if (handle->module != nullptr) FreeLibrary(handle->module);
  kcore_Free(handle);
  return result;
}

int gsb_ctrl_CreateDrvAttrList(GSB_HANDLE* handle, const BYTE* devmode, const BYTE* printerData, GSB_ATTRLIST** list) {
  if (list != nullptr) *list = nullptr;
  if (handle == nullptr || devmode == nullptr || printerData == nullptr || list == nullptr) return kNull;
  constexpr DWORD kDevmodeSize = 5440;
  constexpr DWORD kPrinterDataSize = 4736;
  GSB_ATTRLIST* l = static_cast<GSB_ATTRLIST*>(kcore_Alloc(sizeof(GSB_ATTRLIST)));
  GSB_ATTR* a = static_cast<GSB_ATTR*>(kcore_Alloc(2 * sizeof(GSB_ATTR)));
  if (l == nullptr || a == nullptr) {
    kcore_Free(l);
    kcore_Free(a);
    return kNull;
  }
  a[0] = GSB_ATTR{GSB_ATTR_DEVMODE, kDevmodeSize, devmode};
  a[1] = GSB_ATTR{GSB_ATTR_PRINTERDATA, kPrinterDataSize, printerData};
  l->count = 2;
  l->attrs = a;
  *list = l;
  return kOk;
}

int gsb_ctrl_DeleteDrvAttrList(GSB_ATTRLIST* list) {
  if (list == nullptr) return kNull;
  kcore_Free(list->attrs);
  kcore_Free(list);
  return kOk;
}

int gsb_ctrl_ValidateSetting(void*, GSB_HANDLE* handle, const GSB_ATTRLIST* list, LPCWSTR jobSettings) {
  if (handle == nullptr || list == nullptr || jobSettings == nullptr) return kNull;
  if (handle->library == nullptr) return kNoHandle;
  char text[kAnsiMax];
  if (!local_CopyWideStringToMBCString(jobSettings, kAnsiMax, text)) return kConversion;
  auto validate = Export<ZangsbValidateFn>(handle->module, ZANGSB_VALIDATE);
  if (validate == nullptr) return kLibrary;
  const int r = validate(handle->library, list->attrs, list->count, text);
  return r == 0 ? kOk : r == 1 ? kConflict : kLibrary;
}

int gsb_ctrl_GetNumOfSerial(GSB_HANDLE* handle, LPCWSTR jobSettings, int32_t* count) {
  if (handle == nullptr || jobSettings == nullptr || count == nullptr) return kNull;
  if (handle->library == nullptr) return kNoHandle;
  char text[kAnsiMax];
  if (!local_CopyWideStringToMBCString(jobSettings, kAnsiMax, text)) return kConversion;
  auto serials = Export<ZangsbNumOfSerialFn>(handle->module, ZANGSB_NUMOFSERIAL);
  int n = 0;
  if (serials == nullptr || serials(handle->library, text, &n) == 0 || n < 0) return kLibrary;
  *count = n;
  handle->serials = n;
  return kOk;
}

int32_t local_ExtractGSBNumOfSerial(const GSB_HANDLE* handle) { return handle != nullptr ? handle->serials : 0; }

int gsb_ctrl_RegisterDrvAttrList(GSB_HANDLE* handle, const GSB_ATTRLIST* list) {
  if (handle == nullptr || list == nullptr) return kNull;
  if (handle->library == nullptr) return kNoHandle;
  return ZANGSB_SetDriverSettings(handle, list->attrs, list->count) != 0 ? kOk : kLibrary;
}

int gsb_ctrl_RegisterJobAttr(GSB_HANDLE* handle, int level, const GSB_JOBSTRINGS* strings, void*, void*) {
  if (handle == nullptr || strings == nullptr) return kNull;
  if (handle->library == nullptr) return kNoHandle;
  if (level != 1) return kLevel;
  GSB_JOBATTR1 record{};
  record.size = GSB_JOBATTR_SIZE;
  record.time = static_cast<uint32_t>(KpTime(nullptr));
  const auto put = [](LPCWSTR from, char* to, int size) {
    return from == nullptr || local_CopyWideStringToMBCString(from, size, to);
  };
  if (!put(strings->user, record.user, sizeof(record.user)) ||
      !put(strings->document, record.document, sizeof(record.document)) ||
      !put(strings->printer, record.printer, sizeof(record.printer)) ||
      !put(strings->port, record.port, sizeof(record.port))) {
    return kConversion;
  }
  BYTE bytes[GSB_JOBATTR_SIZE];
  std::memcpy(bytes, &record, sizeof(bytes));
  return ZANGSB_SetJobInfo(handle, level, bytes) != 0 ? kOk : kLibrary;
}

int gsb_ctrl_AddGS(GSB_HANDLE* handle, int32_t copy, LPCWSTR source, LPCWSTR output, void* brightdesk) {
  if (handle == nullptr || source == nullptr || output == nullptr) return kNull;
  if (copy < 0 || copy > handle->serials) return kCopy;
  if (handle->library == nullptr) return kNoHandle;
  char from[kAnsiMax];
  char to[kAnsiMax];
  if (!local_CopyWideStringToMBCString(source, kAnsiMax, from) || !local_CopyWideStringToMBCString(output, kAnsiMax, to)) {
    return kConversion;
  }
  return ZANGSB_AddGS(handle, from, to, brightdesk, copy) != 0 ? kOk : kLibrary;
}

int ZANGSB_SetDriverSettings(GSB_HANDLE* handle, const GSB_ATTR* attrs, int count) {
  auto fn = Export<ZangsbSetDriverSettingsFn>(handle != nullptr ? handle->module : nullptr, ZANGSB_SETDRIVERSETTINGS);
  return fn != nullptr ? fn(handle->library, attrs, count) : 0;
}

int ZANGSB_SetJobInfo(GSB_HANDLE* handle, int level, const void* record) {
  auto fn = Export<ZangsbSetJobInfoFn>(handle != nullptr ? handle->module : nullptr, ZANGSB_SETJOBINFO);
  return fn != nullptr ? fn(handle->library, level, record) : 0;
}

int ZANGSB_AddGS(GSB_HANDLE* handle, const char* source, const char* output, void* brightdesk, int copy) {
  auto fn = Export<ZangsbAddGSFn>(handle != nullptr ? handle->module : nullptr, ZANGSB_ADDGS);
  return fn != nullptr ? fn(handle->library, source, output, brightdesk, copy) : 0;
}

// ---- the document monitor ------------------------------------------------------------------

int bddm_IsValid(LPCWSTR library) {
  HMODULE module = Load(library);
  if (module == nullptr) return 0;
  auto init = Export<int (*)(void)>(module, BDDM_INITIALIZE);
  auto release = Export<void (*)(void)>(module, BDDM_RELEASE);
  const int ok = init != nullptr && release != nullptr && init() != 0 ? 1 : 0;
  if (ok) release();
  FreeLibrary(module);
  return ok;
}

ULONG_PTR Brightdesk_Ready(const BRIGHTDESK_REQUEST* request, BYTE (&record)[BRIGHTDESK_RECORD_SIZE]) {
  std::memset(record, 0, sizeof(record));
  if (request == nullptr) return 0;
  BDDM_JOBDESC desc{};
  const auto put = [](LPCWSTR from, char* to, int size) {
    return from == nullptr || local_CopyWideStringToMBCString(from, size, to);
  };
  if (!put(request->document, desc.document, sizeof(desc.document)) ||
      !put(request->printerName, desc.printer, sizeof(desc.printer)) ||
      !put(request->port, desc.port, sizeof(desc.port)) || !put(request->user, desc.user, sizeof(desc.user))) {
    return 0;
  }
  desc.outputTray = request->outputTray;
  desc.copySet = request->copySet;
  desc.copy = request->copy;
  HMODULE module = Load(request->library);
  auto init = Export<int (*)(void)>(module, BDDM_INITIALIZE);
  auto reg = Export<uint32_t (*)(const BDDM_JOBDESC*)>(module, BDDM_REGISTERJOB);
  uint32_t id = 0;
  if (init != nullptr && reg != nullptr && init() != 0) id = reg(&desc);
  BddmJob* job = id != 0 ? NewJob(module, 1) : nullptr;
  if (job == nullptr) {
    auto withdraw = Export<int (*)(uint32_t)>(module, BDDM_WITHDRAWJOB);
    if (id != 0 && withdraw != nullptr) withdraw(id);
    if (module != nullptr) FreeLibrary(module);
    return 0;
  }
  job->ids()[0] = id;
  // The record names the job the copy belongs to, and the job control id
  // its header carries: the id in decimal.
  std::memcpy(record, &id, sizeof(id));
  std::snprintf(reinterpret_cast<char*>(record) + BRIGHTDESK_JCID_OFFSET, BRIGHTDESK_JCID_BYTES, "%lu",
                static_cast<unsigned long>(id));
  return reinterpret_cast<ULONG_PTR>(job);
}

int bddm_Go(ULONG_PTR handle) {
  if (handle == 0) return BDDM_NO_JOB;
  BddmJob* job = reinterpret_cast<BddmJob*>(handle);
  auto run = Export<int (*)(uint32_t)>(job->module, BDDM_RUNJOB);
  const bool released = Export<void (*)(void)>(job->module, BDDM_RELEASE) != nullptr;
  bool ran = run != nullptr;
  for (uint32_t i = 0; run != nullptr && i < job->count; ++i) ran = run(job->ids()[i]) != 0 && ran;
  EndHold(job);
  return ran && released ? BDDM_DONE : BDDM_FAILED;
}

BOOL UnInitializeDocMon(ULONG_PTR handle) {
  if (handle == 0) return FALSE;
  BddmJob* job = reinterpret_cast<BddmJob*>(handle);
  auto withdraw = Export<int (*)(uint32_t)>(job->module, BDDM_WITHDRAWJOB);
  bool done = withdraw != nullptr;
  for (uint32_t i = 0; withdraw != nullptr && i < job->count; ++i) done = withdraw(job->ids()[i]) != 0 && done;
  EndHold(job);
  return done ? TRUE : FALSE;
}

int bddm_Reset(ULONG_PTR handle) {
  if (handle == 0) return BDDM_NO_JOB;
  return UnInitializeDocMon(handle) ? BDDM_DONE : BDDM_FAILED;
}

// ---- the hand-off between the two sides ------------------------------------------------------

BOOL Brightdesk_Detach(ULONG_PTR handle) {
  if (handle == 0) return FALSE;
  EndHold(reinterpret_cast<BddmJob*>(handle));
  return TRUE;
}

BOOL Brightdesk_HandOff(HANDLE printer, DWORD jobId, const BYTE* records) {
  if (printer == nullptr || records == nullptr) return FALSE;
  WORD count = 0;
  std::memcpy(&count, records, sizeof(count));
  if (count == 0) return FALSE;
  WCHAR name[32];
  HandOffName(jobId, name);
  const DWORD size = BDDM_HANDOFF_COUNT_BYTES + static_cast<DWORD>(count) * BRIGHTDESK_RECORD_SIZE;
  return SetPrinterDataW(printer, name, REG_BINARY, const_cast<BYTE*>(records), size) == ERROR_SUCCESS ? TRUE
                                                                                                       : FALSE;
}

ULONG_PTR Brightdesk_TakeOver(HANDLE printer, CDDD_INFO* ddd, DWORD jobId) {
  if (printer == nullptr) return 0;
  WCHAR name[32];
  HandOffName(jobId, name);
  DWORD type = 0, needed = 0;
  const DWORD asked = GetPrinterDataW(printer, name, &type, nullptr, 0, &needed);
  if (asked != ERROR_SUCCESS && asked != ERROR_MORE_DATA) return 0;  // no value
  BYTE* value = needed > 0 ? static_cast<BYTE*>(kcore_Alloc(needed)) : nullptr;
  if (needed > 0 && value == nullptr) return 0;
  DWORD got = 0;
  const bool read =
      needed == 0 || (GetPrinterDataW(printer, name, &type, value, needed, &got) == ERROR_SUCCESS && got == needed);
  // Deleting the value is the claim: of two takers (the spooler side and an
  // aborting application) only one deletes it, and only that one goes on.
  if (!read || DeletePrinterDataW(printer, name) != ERROR_SUCCESS) {
    kcore_Free(value);
    return 0;
  }
  WORD count = 0;
  if (needed >= sizeof(count)) std::memcpy(&count, value, sizeof(count));
  const bool whole = type == REG_BINARY && count > 0 &&
                     needed == BDDM_HANDOFF_COUNT_BYTES + static_cast<DWORD>(count) * BRIGHTDESK_RECORD_SIZE;
  WCHAR library[MAX_PATH];
  HMODULE module = whole && bddm_LibraryName(ddd, library) ? Load(library) : nullptr;
  auto init = Export<int (*)(void)>(module, BDDM_INITIALIZE);
  BddmJob* job = nullptr;
  if (init != nullptr && init() != 0) {
    job = NewJob(module, count);
    auto release = Export<void (*)(void)>(module, BDDM_RELEASE);
    if (job == nullptr && release != nullptr) release();
  }
  if (job == nullptr) {
    Logout_OutputString(u"kestrel: the document monitor's registrations of job %lu cannot be taken over", jobId);
    if (module != nullptr) FreeLibrary(module);
    kcore_Free(value);
    return 0;
  }
  for (uint32_t i = 0; i < count; ++i)
    std::memcpy(&job->ids()[i], value + BDDM_HANDOFF_COUNT_BYTES + i * BRIGHTDESK_RECORD_SIZE, sizeof(uint32_t));
  kcore_Free(value);
  return reinterpret_cast<ULONG_PTR>(job);
}
