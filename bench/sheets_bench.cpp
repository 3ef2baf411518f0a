// The redisplay of model A's Paper page after one change (uiUpdateDisplay:
// the constraint state of every row and every control shown again) against
// the constraint engine's update driver on that change alone
// (const_UpdateConstDataX). The ratio is what a page's redisplay costs over
// the change it follows.
#include <benchmark/benchmark.h>

#include <cstring>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/sheets/sheet_tables.h"
#include "kestrel/ui/uiroot.h"
#include "kplatform/kwindows.h"
#include "kplatform/user32_dialog.h"
#include "model_a_queue.h"
#include "model_root.h"

namespace {

INT_PTR PageProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  UI_MSGFUNC handler = nullptr;
  WORD slot = 0;
  if (!uiMsg_GetMsgFncTemplete(m, wp, lp, UI_KIND_CHILDDLG, &handler, &slot)) return 0;
  return uiMsg_CallMsgFnc(w, m, wp, lp, 1, UI_KIND_CHILDDLG, handler);
}

// Model A's queue, a root record with the engine's state and the Paper page.
struct PaperPage {
  kestrel::test::FreshRoot root{"kestrel-bench"};
  kestrel::test::ModelAQueue queue;
  UIROOT* ui = nullptr;
  HWND page = nullptr;
  bool ready = false;
  PaperPage() {
    if (!root.ok() || !kestrel::test::InstallModelAQueue().empty() || !queue.Open().empty()) return;
    ui = FillUiLParam(queue.printer, nullptr, 0);
    if (!ui) return;
    ui->uiData->ddd = cddd_Open(queue.printer);
    auto* sheet = static_cast<UI_SHEET*>(kcore_Alloc(sizeof(UI_SHEET)));
    if (!ui->uiData->ddd || !sheet) return;
    sheet->kind = 2;
    sheet->permission = 1;
    sheet->uiDoc = static_cast<UI_DRVUIDOC*>(kcore_Alloc(sizeof(UI_DRVUIDOC)));
    ui->sheet = sheet;
    ui->sheetFree = uiSheet_Free;
    UIWINDATA& wd = ui->uiData->winData;
    wd.cbSize = sizeof wd;
    wd.ddd = ui->uiData->ddd;
    wd.devmode = ui->devmode;
    wd.printerData = ui->printerData;
    page = CreateDialogParamW(resource_get_hInstance(), MAKEINTRESOURCEW(IDD_PAPER), nullptr, PageProc,
                              reinterpret_cast<LPARAM>(ui));
    ready = page != nullptr;
  }
  ~PaperPage() {
    if (page) DestroyWindow(page);
    destroyUiLParam(ui);
    queue.Close();
  }
};

void BM_PaperPageRedisplay(benchmark::State& state) {
  PaperPage p;
  if (!p.ready) {
    state.SkipWithError("model A's Paper page could not be made");
    return;
  }
  UI_MSGINFO msg{};
  uiInitMsgInfo(&msg, p.page, UIM_REDISPLAY);
  WORD changed[] = {DDM_PAPERSIZE, 0};
  for (auto _ : state) uiUpdateDisplay(&msg, changed);
}
BENCHMARK(BM_PaperPageRedisplay);

void BM_PaperChangeConstraintsAlone(benchmark::State& state) {
  PaperPage p;
  if (!p.ready) {
    state.SkipWithError("model A's Paper page could not be made");
    return;
  }
  ConstInfo* info = const_AllocConstData();
  SHORT a3 = DMPAPER_A3;
  for (auto _ : state) {
    WORD* changed = nullptr;
    benchmark::DoNotOptimize(const_UpdateConstDataX(1, p.page, p.ui->uiData->ddd, p.ui->devmode, p.ui->printerData,
                                                    nullptr, DDM_PAPERSIZE, 2, &a3, info, &changed, 0));
    GlobalFree(changed);
  }
  const_FreeConstData(info);
}
BENCHMARK(BM_PaperChangeConstraintsAlone);

}  // namespace
