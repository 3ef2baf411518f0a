// The document events' glue to work of other folders (kestrel/ui/docevent.h):
// the temporary-file sweep and the marking status over the core's gsb_ctrl_*.
#include "kestrel/core/gsb_ctrl.h"
#include "kestrel/core/regfile.h"
#include "kestrel/ui/docevent.h"
#include "kplatform/wide_text.h"

// The temporary settings file list: both lists of the description are
// swept (the core's RegFile_DeleteTmpFile); a list that cannot be swept is
// left for the next document.
BOOL docevent_DeleteTmpFile(HCDDD ddd) {
  return RegFile_DeleteTmpFile(ddd, nullptr, nullptr) == ERROR_SUCCESS ? TRUE : FALSE;
}

// The marking library's status of the job (the core's gsb_ctrl_* glue):
// when the model names a marking library, the library is installed and it
// supports the model (DDM 259, also the settings it is asked about), the
// status is {1, the serial ids the library makes}. No library, or a model
// it does not support: status 0 (nothing available), answer 1, the job
// prints unmarked as asked of such a printer. A library that supports the
// model but cannot make its handle or count its serials answers 0, which
// fails the StartDoc: a job that asked for marking never goes out
// unmarked because the library broke.
int local_FillGSBSTATUS(HCDDD ddd, LPCWSTR printerName, LPCWSTR modelName, const BYTE* data, DWORD size,
                        DWORD status[2]) {
  (void)printerName;
  (void)size;
  if (!modelName || !data || !status) return 0;
  status[0] = 0;
  status[1] = 0;
  GSB_DEVICE device{};
  if (!gsb_ctrl_ReadDevice(ddd, nullptr, nullptr, &device)) return 1;
  kp_WideCopy(device.model, modelName, MAX_PATH - 1);
  if (gsb_ctrl_IsAvailable(&device, modelName) != 1) return 1;
  GSB_HANDLE* handle = nullptr;
  if (gsb_ctrl_GetHandle(&device, modelName, 0, &handle) != 1) return 0;
  int32_t serials = 0;
  const bool counted = gsb_ctrl_GetNumOfSerial(handle, modelName, &serials) == 1;
  gsb_ctrl_ReleaseHandle(handle);
  if (!counted) return 0;
  status[0] = 1;
  status[1] = static_cast<DWORD>(serials);
  return 1;
}
