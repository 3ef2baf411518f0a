// The sheet engine's entry point as kestrelui reaches it until the
// property-sheet engine lands: a named seam that answers honestly. No page
// can be made yet, so INIT is refused (-1) and the host shows no sheet;
// GET_INFO_HEADER -1; DESTROY destroys the UI root record kept in the info's
// user data (none while INIT is refused) and answers 1; SET_RESULT answers 0
// so that the exports do their saves (they are built and tested with a test
// playing the host); any other reason -1. The sheet engine replaces this
// file with its CommonPropSheetProc and adds its own fields to the UI
// records and to destroyUiLParam.
#include "kestrel/ui/docprop.h"
#include "kestrel/ui/uiroot.h"

LONG CommonPropSheetProc(WORD, PROPSHEETUI_INFO* info, LPARAM, void*, KUI_PAGEPROC) {
  if (!info) return -1;
  switch (info->Reason) {
    case PROPSHEETUI_REASON_DESTROY:
      destroyUiLParam(reinterpret_cast<UIROOT*>(info->UserData));
      info->UserData = 0;
      return 1;
    case PROPSHEETUI_REASON_SET_RESULT:
      return 0;
    case PROPSHEETUI_REASON_INIT:
    case PROPSHEETUI_REASON_GET_INFO_HEADER:
    default:
      return -1;
  }
}
