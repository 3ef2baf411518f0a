// The control tables of the pages and dialogs: one control-info record per
// dialog number (uiControlInfoTbl), the rows of each and the control ids
// they name in the templates of the resource module.
//
// Decision: a page or dialog whose settings have no rows (every page but
// Paper and Output; see the README's "What the sheets do not do") carries
// the rows every dialog needs (a sub-dialog its OK and Cancel, a tab page
// its Defaults button), so that it opens, closes and follows the engine's
// rules.
//
// Decision: on the Paper page the original's size (DDM 8) is the paper-size
// combo's (1005) and the output-paper combo (1006, "Output size") shows the
// output size (DDM 262), the paper the zoom and the paper summary take. The
// output-paper handler still opens the user-defined paper dialog when the
// original becomes the user-defined size (256), whichever control chose it.
#pragma once

#include "kestrel/sheets/sheet_controls.h"

// The template and control ids are the resource module's
// (kestrel/ui/kestrelrs_ids.h, generated from resources/kestrelrs.krc).
#include "kestrel/ui/kestrelrs_ids.h"

extern const UI_CONTROL_INFO uiControlInfoTbl[UI_DLG_COUNT];
extern const UI_CONTROL_INFO& uiControlInfoPaper;
extern const UI_CONTROL_INFO& uiControlInfoOutput;
