// The control tables (see kestrel/sheets/sheet_tables.h).
#include "kestrel/core/ddm_ids.h"
#include "kestrel/sheets/sheet_dialogs.h"
#include "kestrel/sheets/sheet_tables.h"

namespace {

constexpr LONG N = UI_NOSTRING;
constexpr LONG kTabHelp = 9999;

#define DSP(name, id) const UI_DSPINFO name[] = {{id, 3}};
DSP(kDspPaper, DDM_PAPERSIZE)
DSP(kDspCopies, DDM_COPIES)
DSP(kDspOrientation, DDM_ORIENTATION)
DSP(kDspCollate, DDM_COLLATE)
DSP(kDspDuplex, DDM_DUPLEX)
DSP(kDspNup, DDM_NUP)
#undef DSP

const UI_BUTTON kOk = {1, nullptr};
const UI_BUTTON kCancel = {2, nullptr};
const UI_BUTTON kDefaults = {3, nullptr};

const UI_EDITRULE kCopiesRule = {UI_EDIT_NUMBER | UI_EDIT_FORMAT, 4, nullptr,
                                 UI_CHECK_KILLACTIVE | UI_CHECK_KILLFOCUS | UI_CHECK_VALIDATE};
const LONG kOrientationIds[] = {IDC_PPR_PORTRAIT, IDC_PPR_LANDSCAPE};
const UI_RADIOPOS kOrientation = {2, kOrientationIds};

const UI_DIALOG* const kCoverSheetDialogs[] = {&DialogPprCoverSheet};
const UI_DIALOGLIST kCoverSheetList = {0, 0, N, IDD_COVERSHEET, 1, kCoverSheetDialogs};
const UI_BUTTON kCoverSheet = {4, &kCoverSheetList};
const UI_DIALOG* const kPosterDialogs[] = {&DialogPprPosterBooklet};
const UI_DIALOGLIST kPosterList = {0, 0, N, IDD_POSTERBOOKLET, 1, kPosterDialogs};
const UI_BUTTON kPoster = {4, &kPosterList};

// The margin sheet: the margin page and its second page.
const UI_DIALOG kMarginSecond = {IDD_MARGIN_2, uiDlgMargin, 14, N, 0, 0};
const UI_DIALOG* const kMarginDialogs[] = {&DialogPprMargin, &kMarginSecond};
const UI_DIALOGLIST kMarginList = {0, 0, N, IDD_MARGIN, 2, kMarginDialogs};
const UI_BUTTON kMargin = {5, &kMarginList};

// clang-format off
const UI_IDTBL UiIdTblPaper[] = {
    {IDC_PPR_PAPERSIZE, 1, kDspPaper, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_HELPTEXT, 1, kDspPaper, UI_CT_HELPTEXT, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_COPIES, 1, kDspCopies, UI_CT_EDIT, nullptr, &kCopiesRule, N, N, nullptr},
    {IDC_PPR_COPIES_SPIN, 1, kDspCopies, UI_CT_SPIN, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_PORTRAIT, 1, kDspOrientation, UI_CT_RADIO, nullptr, &kOrientation, N, N, nullptr},
    {IDC_PPR_LANDSCAPE, 1, kDspOrientation, UI_CT_RADIO, nullptr, &kOrientation, N, N, nullptr},
    {IDC_PPR_COLLATE, 1, kDspCollate, UI_CT_CHECK, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_DUPLEX, 1, kDspDuplex, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_NUP, 1, kDspNup, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_COVERSHEET, 0, nullptr, UI_CT_BUTTON, nullptr, &kCoverSheet, N, N, nullptr},
    {IDC_DEFAULT, 0, nullptr, UI_CT_BUTTON, nullptr, &kDefaults, N, N, nullptr},
};
const UI_IDTBL UiIdTblOutput[] = {
    {IDC_OUT_POSTERBOOKLET, 0, nullptr, UI_CT_BUTTON, nullptr, &kPoster, N, N, nullptr},
    {IDC_OUT_MARGIN, 0, nullptr, UI_CT_BUTTON, nullptr, &kMargin, N, N, nullptr},
    {IDC_DEFAULT, 0, nullptr, UI_CT_BUTTON, nullptr, &kDefaults, N, N, nullptr},
};
const UI_IDTBL UiIdTblTab[] = {
    {IDC_DEFAULT, 0, nullptr, UI_CT_BUTTON, nullptr, &kDefaults, N, N, nullptr},
};
const UI_IDTBL UiIdTblDialog[] = {
    {IDOK, 0, nullptr, UI_CT_BUTTON, nullptr, &kOk, N, N, nullptr},
    {IDCANCEL, 0, nullptr, UI_CT_BUTTON, nullptr, &kCancel, N, N, nullptr},
};
const UI_IDTBL UiIdTblNestedPage[] = {
    {UI_CTLID_SELF, 0, nullptr, UI_CT_DUMMY, nullptr, nullptr, N, N, nullptr},
};
// clang-format on

template <size_t R>
constexpr UI_CONTROL_INFO Info(const UI_IDTBL (&rows)[R], LONG help) {
  return {rows, static_cast<LONG>(R), help, nullptr, nullptr, 0};
}
constexpr UI_CONTROL_INFO kNone = {nullptr, 0, 0, nullptr, nullptr, 0};
constexpr UI_CONTROL_INFO Tab() { return Info(UiIdTblTab, kTabHelp); }
constexpr UI_CONTROL_INFO Dlg(LONG help) { return Info(UiIdTblDialog, help); }
constexpr UI_CONTROL_INFO Nested(LONG help) { return Info(UiIdTblNestedPage, help); }

}  // namespace

// Indexed by dialog number.
const UI_CONTROL_INFO uiControlInfoTbl[UI_DLG_COUNT] = {
    kNone,                               // 0
    Info(UiIdTblPaper, kTabHelp),        // 1 Paper
    Info(UiIdTblOutput, kTabHelp),       // 2 Output
    Tab(),                               // 3 Graphics
    Dlg(90040),                          // 4 Font
    Tab(),                               // 5 Init
    Tab(),                               // 6 Option
    kNone,                               // 7
    Dlg(90080),                          // 8 Version
    kNone,                               // 9
    Dlg(90100),                          // 10 OHP sheet
    Nested(90110),                       // 11 Colour set-up
    kNone,                               // 12
    Tab(),                               // 13 Detail
    Nested(90140),                       // 14 Margin
    kNone,                               // 15
    Dlg(90160),                          // 16 Poster / booklet
    Tab(),                               // 17 Stamp
    Dlg(90180),                          // 18 New stamp
    Dlg(90190),                          // 19 Edit stamp
    Dlg(90200),                          // 20 Mixed staple
    Dlg(90210),                          // 21 Cover sheet
    uiControlInfoSecurity,               // 22 Secure print
    Dlg(90230),                          // 23 Font substitution
    Dlg(90240),                          // 24 User-defined paper
    Dlg(90250),                          // 25 Header print
    Nested(90260),                       // 26 Colour balance
    Nested(90270),                       // 27 Profile
    Nested(90280),                       // 28 Full-scale printing
    Nested(90290),                       // 29 Print position
    kNone, kNone, kNone, kNone, kNone,   // 30-34
    uiControlInfoUserAdd,                // 35 Favourite add
    uiControlInfoUserEdit,               // 36 Favourite edit
    uiControlInfoCoverInsert,            // 37 Cover insert
    kNone,                               // 38
    Nested(90390),                       // 39 Print area
    Dlg(90400),                          // 40 Manual tray
    Dlg(90410),                          // 41 Paper type for APS
    uiControlInfoSample,                 // 42 Sample print
    uiControlInfoDelay,                  // 43 Delayed print
    uiControlInfoKnowledge,              // 44 Lorebox print
    kNone,                               // 45
    Tab(),                               // 46 Init (accounts)
    Dlg(90470),                          // 47 Account detail
    uiControlInfoCoverInsertDFinisher,   // 48 Cover insert (finisher)
    kNone,                               // 49
    Dlg(90500),                          // 50 New bitmap
    Dlg(90510),                          // 51 Edit bitmap
    Tab(),                               // 52 Fax
    Dlg(90530),                          // 53 Paper select
    Dlg(90540),                          // 54 Select finishing
    Dlg(90550),                          // 55 User-defined paper (document)
};
const UI_CONTROL_INFO& uiControlInfoPaper = uiControlInfoTbl[1];
const UI_CONTROL_INFO& uiControlInfoOutput = uiControlInfoTbl[2];
