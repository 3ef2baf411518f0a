// The control tables (see kestrel/sheets/sheet_tables.h).
#include "kestrel/core/ddm_ids.h"
#include "kestrel/sheets/sheet_dialogs.h"
#include "kestrel/sheets/sheet_pages.h"
#include "kestrel/sheets/sheet_tables.h"

namespace {

constexpr LONG N = UI_NOSTRING;
constexpr LONG kTabHelp = 9999;

#define DSP(name, id) const UI_DSPINFO name[] = {{id, 3}};
DSP(kDspPaper, DDM_PAPERSIZE)
DSP(kDspOutputSize, DDM_OUTPUTSIZE)
DSP(kDspCopies, DDM_COPIES)
DSP(kDspOrientation, DDM_ORIENTATION)
DSP(kDspCollate, DDM_COLLATE)
DSP(kDspDuplex, DDM_DUPLEX)
DSP(kDspNup, DDM_NUP)
DSP(kDspZoom, DDM_ZOOM)
DSP(kDspFavorite, DDM_FAVORITE_SELECTION)
DSP(kDspNupOrient, DDM_LAYOUT_ORIENTATION)
DSP(kDspPrintType, DDM_JOBTYPE)
DSP(kDspPaperSource, DDM_INPUTBIN)
DSP(kDspOutputTray, DDM_OUTPUT_TRAY)
DSP(kDspPageOrder, DDM_PAGE_ORDER)
DSP(kDspLayout, DDM_LAYOUTMODE)
DSP(kDspPosterParts, DDM_POSTERPARTS)
DSP(kDspCropMarks, DDM_POSTER_CROP_MARKS)
#undef DSP

const UI_BUTTON kOk = {1, nullptr};
const UI_BUTTON kCancel = {2, nullptr};
const UI_BUTTON kDefaults = {3, nullptr};

const UI_EDITRULE kCopiesRule = {UI_EDIT_NUMBER | UI_EDIT_FORMAT, 4, nullptr,
                                 UI_CHECK_KILLACTIVE | UI_CHECK_KILLFOCUS | UI_CHECK_VALIDATE};
const LONG kOrientationIds[] = {IDC_PPR_PORTRAIT, IDC_PPR_LANDSCAPE};
const UI_RADIOPOS kOrientation = {2, kOrientationIds};

const UI_EDITRULE kZoomRule = {UI_EDIT_NUMBER | UI_EDIT_FORMAT, 3, nullptr,
                                UI_CHECK_KILLACTIVE | UI_CHECK_KILLFOCUS | UI_CHECK_VALIDATE};

// A button opening one dialog.
#define UI_ONE_DIALOG(name, dialog, templ)                        \
  const UI_DIALOG* const name##Dialogs[] = {&dialog};              \
  const UI_DIALOGLIST name##List = {0, 0, N, templ, 1, name##Dialogs}; \
  const UI_BUTTON name = {4, &name##List};
UI_ONE_DIALOG(kFavAdd, DialogPprUserAddSel, IDD_USERSEL_ADD)
UI_ONE_DIALOG(kFavEdit, DialogPprUserEditSel, IDD_USERSEL_EDIT)
UI_ONE_DIALOG(kUserPaper, DialogPprDfnPprDP, IDD_USERDEFINE_DOCPROP)
UI_ONE_DIALOG(kOhp, DialogPprOhpSheet, IDD_OHP)
UI_ONE_DIALOG(kPaperTypeAps, DialogPprPreferenceOfPaperType, IDD_PAPERTYPE_APS)
UI_ONE_DIALOG(kPaperSelect, DialogPprPaperSelect, IDD_PAPERSELECT)
UI_ONE_DIALOG(kFinishing, DialogSelectFinishing, IDD_SELECTFINISHING)
UI_ONE_DIALOG(kManualTray, DialogPprManualTray, IDD_MANUALTRAY)
UI_ONE_DIALOG(kMixStaple, DialogPprMixStaple, IDD_MIXSTAPLE)
UI_ONE_DIALOG(kSecure, DialogSecurity, IDD_SECURITY)
UI_ONE_DIALOG(kSample, DialogSample, IDD_SAMPLE)
UI_ONE_DIALOG(kDelay, DialogDelay, IDD_DELAY)
UI_ONE_DIALOG(kLorebox, DialogKnowledge, IDD_KNOWLEDGE)
UI_ONE_DIALOG(kCoverInsert, DialogPprCoverInsert, IDD_COVERINSERT)
UI_ONE_DIALOG(kCoverInsertFinisher, DialogPprCoverInsertDFinisher, IDD_COVERINSERT_DFINISHER)
#undef UI_ONE_DIALOG

// The print type's dialogs by DDM 334: 0 normal (none), 1 secure, 2 sample,
// 3 Lorebox, 4 delayed; 5 and above: none.
const UI_BUTTON* const kPrintTypeButtons[] = {nullptr, &kSecure, &kSample, &kLorebox, &kDelay};
const UI_BUTTONROWS kPrintType = {5, kPrintTypeButtons};
// The cover-and-insert dialogs by cover-insert dialog kind: 0 (and a kind
// that cannot be read) and 1 the ordinary dialog, 2 the booklet finisher's.
const UI_BUTTON* const kCoverInsertButtons[] = {&kCoverInsert, &kCoverInsert, &kCoverInsertFinisher};
const UI_BUTTONROWS kCoverInsertRows = {3, kCoverInsertButtons};

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
    {IDC_PPR_USERSEL, 1, kDspFavorite, UI_CT_COMBO, uiPapUserSelComb, nullptr, N, N, nullptr},
    {IDC_PPR_USERSEL_ADD, 0, nullptr, UI_CT_BUTTON, uiPapUadButton, &kFavAdd, N, N, nullptr},
    {IDC_PPR_USERSEL_EDIT, 0, nullptr, UI_CT_BUTTON, uiPapUedButton, &kFavEdit, N, N, nullptr},
    {IDC_PPR_PAPERSIZE, 1, kDspPaper, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_USERDEFINE, 0, nullptr, UI_CT_BUTTON, nullptr, &kUserPaper, N, N, nullptr},
    {IDC_PPR_OUTPUTPAPER, 1, kDspOutputSize, UI_CT_COMBO, uiPaperOutput, nullptr, N, N, nullptr},
    {IDC_PPR_ZOOM, 1, kDspZoom, UI_CT_EDIT, uiEditZoom, &kZoomRule, N, N, nullptr},
    {IDC_PPR_ZOOM_SPIN, 1, kDspZoom, UI_CT_SPIN, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_HELPTEXT, 1, kDspPaper, UI_CT_HELPTEXT, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_COPIES, 1, kDspCopies, UI_CT_EDIT, uiDspEditCopies, &kCopiesRule, N, N, nullptr},
    {IDC_PPR_COPIES_SPIN, 1, kDspCopies, UI_CT_SPIN, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_PORTRAIT, 1, kDspOrientation, UI_CT_RADIO, nullptr, &kOrientation, N, N, nullptr},
    {IDC_PPR_LANDSCAPE, 1, kDspOrientation, UI_CT_RADIO, nullptr, &kOrientation, N, N, nullptr},
    {IDC_PPR_COLLATE, 1, kDspCollate, UI_CT_CHECK, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_DUPLEX, 1, kDspDuplex, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_NUP, 1, kDspNup, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_NUP_ORIENT, 1, kDspNupOrient, UI_CT_COMBO, uiPap_NupOrient, nullptr, N, N, nullptr},
    {IDC_PPR_PRINTTYPE, 1, kDspPrintType, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
    {IDC_PPR_PRINTTYPE_SET, 1, kDspPrintType, UI_CT_BUTTON, uiPrintTypeBtn, &kPrintType, N, N, nullptr},
    {IDC_PPR_COVERSHEET, 0, nullptr, UI_CT_BUTTON, nullptr, &kCoverSheet, N, N, nullptr},
    {IDC_PPR_COVERINSERT, 0, nullptr, UI_CT_BUTTON, uiOutCoverSheet, &kCoverInsertRows, N, N, nullptr},
    {IDC_PPR_OHP, 0, nullptr, UI_CT_BUTTON, uiOutOHPInsertSheet, &kOhp, N, N, nullptr},
    {IDC_PPR_PAPTYPE_APS, 0, nullptr, UI_CT_BUTTON, nullptr, &kPaperTypeAps, N, N, nullptr},
    {IDC_PPR_PAPERSELECT, 0, nullptr, UI_CT_BUTTON, nullptr, &kPaperSelect, N, N, nullptr},
    {IDC_PPR_LOGO, 0, nullptr, UI_CT_BITMAP, uiPap_CorporateLogo, nullptr, N, N, nullptr},
    // The finishing-summary variant's controls.
    {IDC_PPR_PAPER_SUMMARY, 1, kDspPaper, UI_CT_DUMMY, uiPap_PaperSummary, nullptr, N, N, nullptr},
    {IDC_PPR_FINISHING, 0, nullptr, UI_CT_BUTTON, uiPap_SelectFinishing, &kFinishing, N, N, nullptr},
    {IDC_PPR_FINISHING_SUMMARY, 0, nullptr, UI_CT_DUMMY, uiPap_FinishingSummary, nullptr, N, N, nullptr},
    {IDC_DEFAULT, 0, nullptr, UI_CT_BUTTON, uiPap_DefaultButton, &kDefaults, N, N, nullptr},
};
const UI_IDTBL UiIdTblOutput[] = {
    {IDC_OUT_PAPERSOURCE, 1, kDspPaperSource, UI_CT_COMBO, uiOutPprSource, nullptr, N, N, nullptr},
    {IDC_OUT_MANUALTRAY, 0, nullptr, UI_CT_BUTTON, uiOutManualTray, &kManualTray, N, N, nullptr},
    {IDC_OUT_PAPTYPE_PREF, 0, nullptr, UI_CT_BUTTON, uiOutPreferenceOfPapertype, &kPaperTypeAps, N, N, nullptr},
    {IDC_OUT_OUTPUTBIN, 1, kDspOutputTray, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
    {IDC_OUT_MIXSTAPLE, 0, nullptr, UI_CT_BUTTON, uiOutMixStaple, &kMixStaple, N, N, nullptr},
    {IDC_OUT_POSTERBOOKLET, 0, nullptr, UI_CT_BUTTON, nullptr, &kPoster, N, N, nullptr},
    {IDC_OUT_MARGIN, 0, nullptr, UI_CT_BUTTON, nullptr, &kMargin, N, N, nullptr},
    {IDC_OUT_COVERINSERT, 0, nullptr, UI_CT_BUTTON, uiOutCoverSheet, &kCoverInsertRows, N, N, nullptr},
    {IDC_OUT_PAGEORDER, 1, kDspPageOrder, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
    {IDC_DEFAULT, 0, nullptr, UI_CT_BUTTON, nullptr, &kDefaults, N, N, nullptr},
};
// Poster / booklet (dialog 16): the booklet's controls follow the layout.
const UI_IDTBL UiIdTblPosterBooklet[] = {
    {IDC_PBK_LAYOUT, 1, kDspLayout, UI_CT_COMBO, nullptr, nullptr, N, N, nullptr},
    {IDC_PBK_SIZE, 1, kDspPosterParts, UI_CT_COMBO, uiPbk_LayoutControl, nullptr, N, N, nullptr},
    {IDC_PBK_OVERLAP, 0, nullptr, UI_CT_DUMMY, uiPbk_LayoutControl, nullptr, N, N, nullptr},
    {IDC_PBK_OVERLAPWIDTH, 0, nullptr, UI_CT_DUMMY, uiPbk_LayoutControl, nullptr, N, N, nullptr},
    {IDC_PBK_OVERLAPSPIN, 0, nullptr, UI_CT_DUMMY, uiPbk_LayoutControl, nullptr, N, N, nullptr},
    {IDC_PBK_CUTMARKS, 1, kDspCropMarks, UI_CT_CHECK, uiPbk_LayoutControl, nullptr, N, N, nullptr},
    {IDC_PBK_HELP, 0, nullptr, UI_CT_HELPTEXT, uiPbk_HelpText, nullptr, N, N, nullptr},
    {IDOK, 0, nullptr, UI_CT_BUTTON, nullptr, &kOk, N, N, nullptr},
    {IDCANCEL, 0, nullptr, UI_CT_BUTTON, nullptr, &kCancel, N, N, nullptr},
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
    Info(UiIdTblPosterBooklet, 90160),   // 16 Poster / booklet
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
