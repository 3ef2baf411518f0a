// Set-up of the control tests: model A's queue, a UI root record with the
// engine's state of a document sheet, and one dialog made from a template
// of the resource module whose rows are a test's control table.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddd_layout.h"
#include "kplatform/byte_order.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/preconfig.h"
#include "kestrel/ui/docprop.h"
#include "kestrel/ui/sweep_adapter.h"
#include "kestrel/ui/uiroot.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/sheets/sheet_tables.h"
#include "kplatform/byte_order.h"
#include "kplatform/comctl32_controls.h"
#include "kplatform/user32_actions.h"
#include "kplatform/user32_controls.h"
#include "kplatform/user32_dialog.h"
#include "ui_fixture.h"

namespace kestrel::test::ui {

// Printer-information values of a test description.
struct Info {
  BYTE colour;      // item 5
  WORD topTab;      // item 16
  BYTE deviceType;  // item 23
  DWORD caps0;      // item 26
  DWORD caps1;      // item 39, first word
};

inline LONG g_testDlgNo = 1;

// The offsets of the printer-information items in a description file.
inline std::vector<size_t> PrinterInfoOffsets(const std::string& file) {
  std::vector<size_t> at;
  size_t p = DDD_PRINTERINFO_OFFSET;
  auto u16 = [&](size_t o) { return static_cast<size_t>(kp_LoadU16(reinterpret_cast<const BYTE*>(&file[o]))); };
  for (const DddPrinterInfoDef& d : DDD_PRINTERINFO_ITEMS) {
    at.push_back(p);
    size_t count = d.count;
    if (count == 0) {
      count = u16(p);
      p += 2;
    }
    for (size_t i = 0; i < count; ++i) p += d.size ? d.size : 2 + u16(p);
  }
  return at;
}

// Sets the printer information of a description file's bytes (a copy of
// model A's) to info.
inline void PatchPrinterInfo(std::string* file, const Info& info) {
  std::vector<size_t> at = PrinterInfoOffsets(*file);
  auto* b = reinterpret_cast<BYTE*>(file->data());
  b[at[5]] = info.colour;
  kp_StoreU16(b + at[16], info.topTab);
  b[at[23]] = info.deviceType;
  kp_StoreU32(b + at[26], info.caps0);
  EXPECT_GE(kp_LoadU16(b + at[39]), 1u);
  kp_StoreU32(b + at[39] + 2, info.caps1);
}

// The dialog procedure of a test dialog: a modal sub-dialog of the engine.
inline INT_PTR TestDialogProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  UI_MSGFUNC handler = nullptr;
  WORD slot = 0;
  if (!uiMsg_GetMsgFncTemplete(m, wp, lp, UI_KIND_CHILDDLG, &handler, &slot)) return 0;
  return uiMsg_CallMsgFnc(w, m, wp, lp, g_testDlgNo, UI_KIND_CHILDDLG, handler);
}

class SheetControlTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    // What kestrelui's entry registers: the sweep and the pre-configuration.
    kui_RegisterSweep();
    PreConfig_InstallAttachOps();
    uiRoot_ = FillUiLParam(printer_, nullptr, 0);
    ASSERT_NE(uiRoot_, nullptr);
    uiRoot_->uiData->ddd = cddd_Open(printer_);
    ASSERT_NE(uiRoot_->uiData->ddd, nullptr);
    auto* sheet = static_cast<UI_SHEET*>(kcore_Alloc(sizeof(UI_SHEET)));
    ASSERT_NE(sheet, nullptr);
    sheet->kind = SHEET_KIND_DOCUMENT;
    sheet->permission = 1;
    sheet->uiDoc = static_cast<UI_DRVUIDOC*>(kcore_Alloc(sizeof(UI_DRVUIDOC)));
    uiRoot_->sheet = sheet;
    uiRoot_->sheetFree = uiSheet_Free;
    UIWINDATA& wd = uiRoot_->uiData->winData;
    wd.cbSize = sizeof(UIWINDATA);
    wd.printer = printer_;
    wd.ddd = uiRoot_->uiData->ddd;
    wd.devmode = uiRoot_->devmode;
    wd.printerData = uiRoot_->printerData;
    wd.paperUnit = UIWINDATA_UNIT_MM;
    KpClearMessageBoxes();
  }
  void TearDown() override {
    if (dialog_) DestroyWindow(dialog_);
    destroyUiLParam(uiRoot_);
    KpClearMessageBoxes();
    KpSetACP(1252);
    cdm_SetSweepOps(nullptr);
    cddd_SetAttachOps(nullptr);
    UiTest::TearDown();
  }
  UI_SHEET* Sheet() { return uiGetSheet(uiRoot_); }
  // The sheet reads a description like model A's whose capability words
  // (printer-information items 26 and 39) are the ones given.
  void UseCapabilities(DWORD caps0, DWORD caps1 = 0) {
    std::string bytes = ReadHostFile(root_.host(std::string(kDriverDir) + "K350.DDD"));
    std::vector<size_t> at = PrinterInfoOffsets(bytes);
    auto* b = reinterpret_cast<BYTE*>(bytes.data());
    kp_StoreU32(b + at[26], caps0);
    ASSERT_GE(kp_LoadU16(b + at[39]), 1u);
    kp_StoreU32(b + at[39] + 2, caps1);
    UseDescription({{"KCAPS.DDD", bytes}});
  }
  // The sheet reads a description written into the driver directory: each
  // file a path below the directory ('/' between folders) and its bytes, the
  // first the main file. A main file alone in the directory itself takes
  // model A's referenced file.
  void UseDescription(const std::vector<std::pair<std::string, std::string>>& files) {
    ASSERT_FALSE(files.empty());
    for (const auto& [name, bytes] : files) WriteHostFile(root_.host(std::string(kDriverDir) + name), bytes);
    std::u16string main = Widen(files[0].first);
    for (char16_t& c : main)
      if (c == u'/') c = u'\\';
    cddd_Close(uiRoot_->uiData->ddd);
    uiRoot_->uiData->ddd = cddd_OpenDataFile(DriverFile(main).c_str());
    ASSERT_NE(uiRoot_->uiData->ddd, nullptr);
    uiRoot_->uiData->winData.ddd = uiRoot_->uiData->ddd;
  }
  // Rows of dialog number dlgNo for the next dialog made.
  void Rows(LONG dlgNo, const UI_IDTBL* rows, LONG n) {
    if (dialog_) DestroyWindow(dialog_);  // its state refers to the rows it was made with
    dialog_ = nullptr;
    UI_DRVUIDOC* doc = Sheet()->uiDoc;
    kcore_Free(doc->controlInfo[dlgNo]);
    doc->controlInfo[dlgNo] = static_cast<UI_CONTROL_INFO*>(kcore_Alloc(sizeof(UI_CONTROL_INFO)));
    *doc->controlInfo[dlgNo] = {rows, n, 0, nullptr, nullptr, 0};
  }
  // Makes the dialog of the template as a modal sub-dialog gets it.
  HWND Open(LONG templateId, LONG dlgNo = 1) {
    if (dialog_) DestroyWindow(dialog_);
    g_testDlgNo = dlgNo;
    dialog_ = CreateDialogParamW(resource_get_hInstance(), MAKEINTRESOURCEW(templateId), nullptr, TestDialogProc,
                                 reinterpret_cast<LPARAM>(uiRoot_));
    EXPECT_NE(dialog_, nullptr);
    ShowWindow(dialog_, SW_SHOW);  // a page is shown by its sheet
    return dialog_;
  }
  // The dialog as a sheet's button opens it (its own procedure), left open
  // for the test.
  HWND Show(LONG templateId, DLGPROC proc) {
    if (dialog_) DestroyWindow(dialog_);
    dialog_ = CreateDialogParamW(resource_get_hInstance(), MAKEINTRESOURCEW(templateId), nullptr, proc,
                                 reinterpret_cast<LPARAM>(uiRoot_));
    EXPECT_NE(dialog_, nullptr);
    ShowWindow(dialog_, SW_SHOW);
    return dialog_;
  }
  // A modal run of the dialog with a script of a person's actions.
  INT_PTR Run(LONG templateId, DLGPROC proc, const std::vector<KP_UI_ACTION>& script) {
    KpScriptDialog(static_cast<DWORD>(templateId), script.data(), static_cast<DWORD>(script.size()));
    return DialogBoxParamW(resource_get_hInstance(), MAKEINTRESOURCEW(templateId), nullptr, proc,
                           reinterpret_cast<LPARAM>(uiRoot_));
  }
  static KP_UI_ACTION Type(int control, LPCWSTR text) { return {KP_UI_TYPE, control, 0, text, nullptr, nullptr}; }
  static KP_UI_ACTION Do(int kind, int control = 0, int value = 0) {
    return {kind, control, value, nullptr, nullptr, nullptr};
  }
  BOOL Act(int kind, int control, int value = 0, LPCWSTR text = nullptr) {
    KP_UI_ACTION a = {kind, control, value, text, nullptr, nullptr};
    return KpUiAct(dialog_, &a);
  }
  HWND Item(int id) { return GetDlgItem(dialog_, id); }
  std::u16string Text(int id) {
    WCHAR buf[512] = {};
    GetDlgItemTextW(dialog_, id, buf, 512);
    return buf;
  }
  LONG Num(WORD id) {
    LONG v = -99;
    EXPECT_TRUE(ddm_GetNumber(id, uiRoot_->devmode, uiRoot_->printerData, &v)) << id;
    return v;
  }
  void SetNum(WORD id, LONG v) { ASSERT_TRUE(ddm_SetNumber(id, uiRoot_->devmode, uiRoot_->printerData, v)) << id; }
  std::vector<BYTE> Devmode() {
    auto* p = static_cast<BYTE*>(uiRoot_->devmode);
    return std::vector<BYTE>(p, p + NRV_DEVMODE_SIZE_FULL);
  }
  // The message information of the dialog, as a handler gets it.
  UI_MSGINFO Msg() {
    UI_MSGINFO m{};
    uiInitMsgInfo(&m, dialog_, WM_COMMAND);
    return m;
  }
  LRESULT Notify(UINT code) {
    PSHNOTIFY n{};
    n.hdr.hwndFrom = nullptr;
    n.hdr.code = code;
    SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, 0);
    SendMessageW(dialog_, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&n));
    return GetWindowLongPtrW(dialog_, DWLP_MSGRESULT);
  }
  // The index of an item value in the selection list of a setting.
  int ItemIndex(WORD id, LONG value) {
    UI_MSGINFO m = Msg();
    CDM_SELECT_INFO* si = uiGetSelectInfo(&m, id);
    for (LONG i = 0; si && i < cdmGetSelectItemNum(si); ++i)
      if (static_cast<LONG>(cdmDmConvertINT(si->type ? si->type : 3, &cdmGetSelectItemDevData(si, i)->value)) == value)
        return static_cast<int>(i);
    return -1;
  }

  UIROOT* uiRoot_ = nullptr;
  HWND dialog_ = nullptr;
};

}  // namespace kestrel::test::ui
