// Tab design: which tabs and sub-dialogs a sheet of models A and B, and of
// test descriptions made from model A with other printer information, gets,
// with their templates and titles.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kestrel/core/cddd.h"
#include "kestrel/core/ddd_layout.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/sheets/sheet_engine.h"
#include "kestrel/ui/docprop.h"
#include "kplatform/byte_order.h"
#include "sheet_fixture.h"

namespace kestrel::test::ui {
namespace {

class TabTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    ASSERT_EQ(InstallModelFiles(kModelB), "");
  }
  void TearDown() override {
    destroyUiLParam(uiRoot_);
    UiTest::TearDown();
  }
  // A description file like model A's with the printer information given.
  std::u16string TestModel(const char* name, const Info& info) {
    std::string bytes = ReadHostFile(root_.host(std::string(kDriverDir) + "K350.DDD"));
    PatchPrinterInfo(&bytes, info);
    WriteHostFile(root_.host(std::string(kDriverDir) + name), bytes);
    return DriverFile(Widen(name));
  }
  // The sheet's tabs (template ids), the Stamp tab's title and the table's
  // length for the description file.
  void Walk(const std::u16string& file, WORD kind, std::vector<LONG>* templates, std::u16string* stampTitle,
            LONG* length) {
    destroyUiLParam(uiRoot_);
    uiRoot_ = FillUiLParam(printer_, nullptr, 0);
    ASSERT_NE(uiRoot_, nullptr);
    uiRoot_->uiData->ddd = cddd_OpenDataFile(file.c_str());
    ASSERT_NE(uiRoot_->uiData->ddd, nullptr);
    uiRoot_->sheet = kcore_Alloc(sizeof(UI_SHEET));
    uiRoot_->sheetFree = uiSheet_Free;
    const WORD type = zanLib_GetDeviceType(uiRoot_->uiData->ddd);
    LONG count = 0;
    const UI_WNDINFO** table = uiTabDef_AllocWndInfoTbl(nullptr, kind, uiRoot_, &count, 0, type);
    ASSERT_NE(table, nullptr);
    ASSERT_TRUE(uiTabDef_MakeWndInfoTbl(nullptr, kind, uiRoot_, table, 0, type));
    *length = count;
    LONG tabs = 0;
    PROPSHEETPAGEW* pages = ui_PropSheetInit(table, uiRoot_, count, &tabs);
    ASSERT_NE(pages, nullptr);
    templates->clear();
    stampTitle->clear();
    for (LONG i = 0; i < tabs; ++i) {
      templates->push_back(static_cast<LONG>(reinterpret_cast<ULONG_PTR>(pages[i].pszTemplate)));
      EXPECT_EQ(pages[i].dwFlags & PSP_HASHELP, PSP_HASHELP);
      if (pages[i].dwFlags & PSP_USETITLE) *stampTitle = pages[i].pszTitle;
    }
    // Each tab's record is followed by its sub-dialogs.
    for (LONG i = 0, t = 0; i < count; ++t) {
      ASSERT_NE(table[i]->tab, nullptr);
      i += 1 + table[i]->tab->subCount;
    }
    kcore_Free(pages);
    kcore_Free(table);
  }
  UIROOT* uiRoot_ = nullptr;
};

TEST_F(TabTest, TabsOfEachModelAndPrinterInformation) {
  // The Stamp tab is titled by the name of select item 36894, which model
  // A's description (and the test descriptions made from it) gives; model B
  // has no such item and keeps the template's caption.
  const std::u16string stamp = u"Stamp/Watermark";

  // The file's device type byte is the type less one: model A's 3 is the
  // fax-capable type 4, model B's 2 type 3 (design B without fax), 1 type 2
  // (design A).
  const Info a = {2, 0, 3, 0x04070000, 0};
  struct Case {
    const char* what;
    const char* file;  // model A or B as built, or a test description
    Info info;
    WORD kind;
    std::vector<LONG> templates;
    LONG length;
  };
  const Case cases[] = {
      {"model A, document (design B, fax device)", "K350.DDD", a, SHEET_KIND_DOCUMENT,
       {518, 2231, 566, 538, 504, 517}, 36},
      {"model B, document (design B, monochrome, no fax)", "K260.DDD", a, SHEET_KIND_DOCUMENT,
       {518, 2561, 566, 538, 504}, 32},
      {"simple fax page (-65495)", "KTAB1.DDD", {2, 0, 3, 0x04070000, 1u << 9}, SHEET_KIND_DOCUMENT,
       {518, 2231, 566, 538, 504, 6011}, 36},
      {"no fax device", "KTAB2.DDD", {2, 0, 2, 0x04070000, 0}, SHEET_KIND_DOCUMENT, {518, 2231, 566, 538, 504}, 35},
      {"monochrome", "KTAB3.DDD", {0, 0, 2, 0x04070000, 0}, SHEET_KIND_DOCUMENT, {518, 2561, 566, 538, 504}, 32},
      {"top-tab type 2", "KTAB4.DDD", {2, 2, 2, 0x04070000, 0}, SHEET_KIND_DOCUMENT, {3856, 2231, 566, 538, 504},
       36},
      {"top-tab type 3", "KTAB5.DDD", {2, 3, 2, 0x04070000, 0}, SHEET_KIND_DOCUMENT, {580, 2231, 566, 538, 504}, 32},
      {"design A never shows fax", "KTAB6.DDD", {2, 0, 1, 0x04070000, 0}, SHEET_KIND_DOCUMENT,
       {518, 566, 2231, 538, 504}, 35},
      {"model A, printer", "K350.DDD", a, SHEET_KIND_PRINTER, {501, 503}, 4},
      {"accounts (0x2000000), printer", "KTAB7.DDD", {2, 0, 3, 0x06070000, 0}, SHEET_KIND_PRINTER, {3580, 503}, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::u16string file = std::string(c.file).rfind("KTAB", 0) == 0 ? TestModel(c.file, c.info)
                                                                      : DriverFile(Widen(c.file));
    std::vector<LONG> templates;
    std::u16string title;
    LONG length = 0;
    Walk(file, c.kind, &templates, &title, &length);
    EXPECT_EQ(templates, c.templates);
    EXPECT_EQ(length, c.length);
    const bool titled = c.kind == SHEET_KIND_DOCUMENT && std::string(c.file) != "K260.DDD";
    EXPECT_EQ(title, titled ? stamp : u"");
  }
}

TEST_F(TabTest, BadKindAndDialogNumbers) {
  uiRoot_ = FillUiLParam(printer_, nullptr, 0);
  ASSERT_NE(uiRoot_, nullptr);
  LONG count = 7;
  EXPECT_EQ(uiTabDef_AllocWndInfoTbl(nullptr, 3, uiRoot_, &count, 0, 3), nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(uiGetControlInfoByDlgNo(nullptr, -1), nullptr);
  EXPECT_EQ(uiGetControlInfoByDlgNo(nullptr, UI_DLG_COUNT), nullptr);
  EXPECT_NE(uiGetControlInfoByDlgNo(nullptr, 1), nullptr);
}

}  // namespace
}  // namespace kestrel::test::ui
