// Security marking and the document monitor (kestrel/core/gsb_ctrl.h): the
// outside libraries loaded by name, their exports looked up at each call.
#include "kestrel/core/gsb_ctrl.h"

#include <cstring>

#include "kestrel/core/cddd.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/kcore_sys.h"
#include "kplatform/kwindows.h"
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

// The registered job behind a document-monitor handle.
struct BddmJob {
  HMODULE module;
  uint32_t id;
};

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
  BddmJob* job = id != 0 ? static_cast<BddmJob*>(kcore_Alloc(sizeof(BddmJob))) : nullptr;
  if (job == nullptr) {
    auto withdraw = Export<int (*)(uint32_t)>(module, BDDM_WITHDRAWJOB);
    if (id != 0 && withdraw != nullptr) withdraw(id);
    if (module != nullptr) FreeLibrary(module);
    return 0;
  }
  job->module = module;
  job->id = id;
  std::memcpy(record, &id, sizeof(id));  // the record names the job the copy belongs to
  return reinterpret_cast<ULONG_PTR>(job);
}

int bddm_Go(ULONG_PTR handle) {
  if (handle == 0) return BDDM_NO_JOB;
  BddmJob* job = reinterpret_cast<BddmJob*>(handle);
  auto run = Export<int (*)(uint32_t)>(job->module, BDDM_RUNJOB);
  auto release = Export<void (*)(void)>(job->module, BDDM_RELEASE);
  const bool ran = run != nullptr && run(job->id) != 0;
  if (release != nullptr) release();
  FreeLibrary(job->module);
  kcore_Free(job);
  return ran && release != nullptr ? BDDM_DONE : BDDM_FAILED;
}

BOOL UnInitializeDocMon(ULONG_PTR handle) {
  if (handle == 0) return FALSE;
  BddmJob* job = reinterpret_cast<BddmJob*>(handle);
  auto withdraw = Export<int (*)(uint32_t)>(job->module, BDDM_WITHDRAWJOB);
  auto release = Export<void (*)(void)>(job->module, BDDM_RELEASE);
  const bool done = withdraw != nullptr && withdraw(job->id) != 0;
  if (release != nullptr) release();
  FreeLibrary(job->module);
  kcore_Free(job);
  return done ? TRUE : FALSE;
}

int bddm_Reset(ULONG_PTR handle) {
  if (handle == 0) return BDDM_NO_JOB;
  return UnInitializeDocMon(handle) ? BDDM_DONE : BDDM_FAILED;
}
