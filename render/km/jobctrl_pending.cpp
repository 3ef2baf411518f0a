// TEMPORARY, not for merging: the job-control and PDL-control operations the
// escapes call, until the job-control work (branch jc) lands jobctrl.cpp and
// pdl_ctrl.cpp. Each refuses with ERROR_NOT_SUPPORTED: no job can start yet,
// so none of them can be asked for real work. Deleted when jc is merged.
#include "km_entry.h"

namespace {

LONG Refuse() {
  EngSetLastError(ERROR_NOT_SUPPORTED);
  return -1;
}

}  // namespace

LONG jobCtrl_StartPage(PDEV*) { return Refuse(); }
LONG jobCtrl_setStampDrawMode(PDEV*, BOOL, BOOL) { return Refuse(); }
LONG jobCtrl_setFaxInfo(PDEV*, DWORD, const void*) { return Refuse(); }
BOOL pdl_setdevmode(PDEV*) { return Refuse() == 0; }
BOOL pdl_setJCLHeaders(PDEV*, DWORD, const void*) { return Refuse() == 0; }
LONG pdl_ctrl_Set_ExtGSData(PDEV*) { return 0; }
LONG pdl_ctrl_CreateAddressInfo(PDEV*, DWORD, const void*) { return 0; }
LONG pdl_ctrl_setcoordinate(PDEV*, const float*) { return Refuse(); }
BOOL pdl_setcoordinate(PDEV*, const FLOATOBJ*) { return Refuse() == 0; }
void conv_nrvxform_foxform(const float*, FLOATOBJ*) {}
LONG pdl_initclip(PDEV*) { return Refuse(); }
