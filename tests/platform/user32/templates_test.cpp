// The resource module's dialog templates: every one loads as a dialog of
// the window stand-in, and the controls the sheets' handlers name by id are
// in the templates they belong to.
#include <kestrel/ui/kestrelrs_ids.h>

#include "ui_fixture.h"

namespace {

using namespace kestrel::test;

INT_PTR Quiet(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

class Templates : public RootedTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(KpInstallModule("kestrelrs.zrs", nullptr));
    module_ = LoadLibraryExW(u"kestrelrs.zrs", nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override { FreeLibrary(module_); }
  HMODULE module_ = nullptr;
};

TEST_F(Templates, EveryTemplateLoadsWithTheControlsItsHandlersName) {
  struct Row {
    int templateId;
    std::vector<int> controls;
  };
  const Row rows[] = {
      {IDD_PAPER, {1013, 1006, 1010, 1184, 1090, 1816}},
      {IDD_PAPER_FINISHING_SUMMARY, {1013, 1006, 1010, 1090, 1816, 3857, 3858, 3859}},
      {IDD_PAPER_SFP, {1013, 1006, 1010, 1090}},
      {IDD_OUTPUT, {1016, 1090}},
      {IDD_GRAPHICS_COLOR, {}},
      {IDD_GRAPHICS_MONO, {}},
      {IDD_STAMP, {}},
      {IDD_DETAIL, {}},
      {IDD_FAX, {}},
      {IDD_FAX_SIMPLE, {}},
      {IDD_INIT, {}},
      {IDD_INIT_JBA, {}},
      {IDD_OPTION, {}},
      {IDD_MANUALTRAY, {IDOK, IDCANCEL}},
      {IDD_PAPERTYPE_APS, {IDOK, IDCANCEL}},
      {IDD_COVERSHEET, {IDOK, IDCANCEL}},
      {IDD_COVERINSERT, {IDOK, IDCANCEL}},
      {IDD_COVERINSERT_DFINISHER, {IDOK, IDCANCEL}},
      {IDD_OHP, {IDOK, IDCANCEL}},
      {IDD_USERDEFINE_DOCPROP, {IDOK, IDCANCEL}},
      {IDD_MIXSTAPLE, {IDOK, IDCANCEL}},
      {IDD_USERSEL_ADD, {1698, IDOK, IDCANCEL}},
      {IDD_USERSEL_EDIT, {1702, 1705, 1707, 1759, IDOK, IDCANCEL}},
      {IDD_PAPERSELECT, {IDOK, IDCANCEL}},
      {IDD_SECURITY, {1549, 1555, 1090, IDOK, IDCANCEL}},
      {IDD_SAMPLE, {1549, 1555, 1090, IDOK, IDCANCEL}},
      {IDD_DELAY, {1555, 3371, 3374, IDOK, IDCANCEL}},
      {IDD_KNOWLEDGE, {1552, 1555, 1557, IDOK, IDCANCEL}},
      {IDD_SELECTFINISHING, {IDOK, IDCANCEL}},
      {IDD_MARGIN, {}},
      {IDD_MARGIN_2, {}},
      {IDD_POSTERBOOKLET, {1498, 1503, 1504, 1508, 1531, 1777, IDOK, IDCANCEL}},
      {IDD_STAMP_EDIT, {IDOK, IDCANCEL}},
      {IDD_STAMP_BITMAP, {1539, IDOK, IDCANCEL}},
      {IDD_HEADERPRINT, {IDOK, IDCANCEL}},
      {IDD_COLORSETUP, {}},
      {IDD_COLORSETUP_2, {}},
      {IDD_FONT, {IDOK, IDCANCEL}},
      {IDD_VERSION, {IDOK, IDCANCEL}},
      {IDD_FONTSUBST, {IDOK, IDCANCEL}},
      {IDD_USERDEFINE, {IDOK, IDCANCEL}},
      {IDD_JBADETAIL, {IDOK, IDCANCEL}},
      {IDD_JBA_POPUP, {IDC_JBA_POPUP_USERNAME, IDC_JBA_POPUP_ACCOUNT, IDC_JBA_POPUP_PASSWORD, IDOK, IDCANCEL}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.templateId);
    HWND dialog = CreateDialogParamW(module_, MAKEINTRESOURCEW(row.templateId), nullptr, Quiet, 0);
    ASSERT_NE(dialog, nullptr) << GetLastError();
    for (int id : row.controls) EXPECT_NE(GetDlgItem(dialog, id), nullptr) << id;
    DestroyWindow(dialog);
  }
  // The sheets' header icon.
  EXPECT_NE(LoadIconW(module_, MAKEINTRESOURCEW(IDI_PRINTER)), nullptr);
}

}  // namespace
