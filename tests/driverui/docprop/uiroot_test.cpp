// The UI root record: what FillUiLParam builds (fields, user-defined paper
// sizes from the forms, the input devmode, the non-devmode part), that every
// failure frees what it made and destroyUiLParam frees the rest, and the
// non-devmode save and load through the UI fax list.
#include "docprop_fixture.h"
#include "kestrel/core/nondev.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/winspool.h"
#include "kplatform/winspool_job.h"

namespace kestrel::test::ui {
namespace {

using UiRootTest = DocPropTest;

std::vector<BYTE> Entry(BYTE seed) {
  std::vector<BYTE> e(NONDEV_FAX_ENTRY_SIZE);
  for (size_t i = 0; i < e.size(); ++i) e[i] = static_cast<BYTE>(seed + i);
  return e;
}

TEST_F(UiRootTest, TheRecordsCarryThePrinterAndItsSettings) {
  ASSERT_TRUE(KpSpoolerSetPrinterPort(kPrinter, u"IP_10.0.0.5", nullptr));
  std::vector<BYTE> ours = OurDevmode();
  SetNumber(DDM_COPIES, ours.data(), 4);
  UIROOT* root = FillUiLParam(printer_, ours.data(), DM_COPY);
  ASSERT_NE(root, nullptr);
  UIDATA* ui = root->uiData;
  ASSERT_NE(ui, nullptr);
  EXPECT_EQ(std::u16string(ui->printerName), kPrinter);
  EXPECT_EQ(ui->printer, printer_);
  EXPECT_EQ(ui->docMonitor, 0);  // the document monitor is not wired in
  EXPECT_EQ(ui->ddd, nullptr);
  EXPECT_EQ(std::u16string(ui->portName), u"IP_10.0.0.5");
  ASSERT_NE(ui->userSelWork, nullptr);
  std::vector<BYTE> zero(UIDATA_USERSEL_WORK_SIZE, 0);
  EXPECT_EQ(std::memcmp(ui->userSelWork, zero.data(), zero.size()), 0);
  EXPECT_EQ(std::u16string(ui->registryPath), u"SOFTWARE\\Halcyra\\Kestrel\\Scriva K350\\");
  EXPECT_EQ(ui->winData.cbSize, sizeof(UIWINDATA));
  EXPECT_EQ(ui->winData.devmode, root->devmode);
  EXPECT_EQ(ui->winData.printerData, root->printerData);
  EXPECT_EQ(Number(DDM_COPIES, root->devmode), 4);
  EXPECT_TRUE(wNTc_IsDevmodeOurs(root->devmode));
  destroyUiLParam(root);

  // DM_USER_DEFAULT: the input is not merged.
  root = FillUiLParam(printer_, ours.data(), DM_COPY | DM_USER_DEFAULT);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Number(DDM_COPIES, root->devmode), 1);
  destroyUiLParam(root);
}

TEST_F(UiRootTest, UserDefinedPaperSizesComeFromTheFormsOrTheA4Fallback) {
  WCHAR first[UIDATA_FORMNAME_CHARS];
  ASSERT_TRUE(zanLib_GetUsrDefPap_DefaultName(0, first, UIDATA_FORMNAME_CHARS));
  FORM_INFO_1W form{FORM_USER, first, {123400, 56700}, {0, 0, 123400, 56700}};
  ASSERT_TRUE(AddFormW(printer_, 1, reinterpret_cast<LPBYTE>(&form)));
  UIROOT* root = FillUiLParam(printer_, nullptr, 0);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(Number(DDM_DEFINEWIDTH_FIRST, nullptr, root->printerData), 1234);
  EXPECT_EQ(Number(DDM_DEFINELENGTH_FIRST, nullptr, root->printerData), 567);
  for (WORD i = 1; i < UIDATA_USERPAPER_SLOTS; ++i) {
    EXPECT_EQ(Number(static_cast<WORD>(DDM_DEFINEWIDTH_FIRST + i), nullptr, root->printerData), 2100) << i;
    EXPECT_EQ(Number(static_cast<WORD>(DDM_DEFINELENGTH_FIRST + i), nullptr, root->printerData), 2970) << i;
  }
  destroyUiLParam(root);
}

TEST_F(UiRootTest, EveryFailedAllocationGivesNullAndLeavesNoBlock) {
  std::vector<BYTE> ours = OurDevmode();
  // Warm the process-wide caches (strings, the access module) first.
  destroyUiLParam(FillUiLParam(printer_, ours.data(), DM_COPY));
  size_t before = LiveBlocks();
  int failures = 0;
  for (DWORD n = 1; n < 400; ++n) {
    KpFailAllocation(n);
    UIROOT* root = FillUiLParam(printer_, ours.data(), DM_COPY);
    KpFailAllocation(0);
    if (!root) ++failures;
    destroyUiLParam(root);
    ASSERT_EQ(LiveBlocks(), before) << "allocation " << n;
  }
  EXPECT_GT(failures, 10);
  // A printer handle that opens nothing.
  EXPECT_EQ(FillUiLParam(reinterpret_cast<HANDLE>(0x1234), nullptr, 0), nullptr);
  EXPECT_EQ(LiveBlocks(), before);
}

TEST_F(UiRootTest, ChainListPositions) {
  UICHAINLIST list{};
  BYTE a = 'a', b = 'b', c = 'c', d = 'd';
  ASSERT_TRUE(uiComChainListAdd(&list, &a, 1, 0));                 // a
  ASSERT_TRUE(uiComChainListAdd(&list, &b, 1, 5));                 // a b (past the end)
  ASSERT_TRUE(uiComChainListAdd(&list, &c, 1, UICHAIN_POS_HEAD));  // c a b
  ASSERT_TRUE(uiComChainListAdd(&list, &d, 1, 2));                 // c a d b
  std::string order;
  for (WORD i = 0; i < list.count; ++i) order += static_cast<char>(uiComChainListGet(&list, i)->data[0]);
  EXPECT_EQ(order, "cadb");
  EXPECT_EQ(uiComChainListGet(&list, 4), nullptr);
  KpFailAllocation(1);
  EXPECT_FALSE(uiComChainListAdd(&list, &a, 1, 0));
  EXPECT_EQ(list.count, 4);
  uiComChainListFree(&list);
  EXPECT_EQ(list.count, 0);
  EXPECT_EQ(list.head, nullptr);
}

TEST_F(UiRootTest, FaxListRoundTripKeepsTheStoredOrder) {
  std::vector<BYTE> nondev(NRV_NONDEVMODE_SIZE);
  ASSERT_TRUE(nonDev_SetDefaultData(printer_, nondev.data()));
  for (WORD count : {0, 1, 3}) {
    SCOPED_TRACE(count);
    UIFAXLIST list{};
    std::memcpy(list.title, u"Title", 12);
    std::memcpy(list.text, u"Text", 10);
    for (WORD i = 0; i < count; ++i)
      ASSERT_TRUE(uiComChainListAdd(&list.entries, Entry(static_cast<BYTE>(i + 1)).data(), NONDEV_FAX_ENTRY_SIZE, i));
    ASSERT_TRUE(uiNonDev_SaveNonDevDat(printer_, ddd_, nullptr, NONDEV_LOCATION_PRINTERDATA, &list, nondev.data(),
                                       nullptr, 0));
    // Stored: the list's last entry first.
    void* stored = nullptr;
    std::vector<BYTE> record(NRV_NONDEVMODE_SIZE);
    void* gsb = nullptr;
    DWORD gsbSize = 0;
    ASSERT_TRUE(nonDev_LoadNonDevDat(printer_, ddd_, nullptr, NONDEV_LOCATION_PRINTERDATA, &stored, record.data(),
                                     &gsb, &gsbSize));
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(kp_LoadU16(static_cast<BYTE*>(stored) + NONDEV_FAX_COUNT_OFFSET), count);
    for (WORD k = 0; k < count; ++k)
      EXPECT_EQ(static_cast<BYTE*>(stored)[NONDEV_FAX_HEAD_SIZE + NONDEV_FAX_ENTRY_SIZE * k], count - k);
    kcore_Free(stored);
    kcore_Free(gsb);

    UIFAXLIST back{};
    ASSERT_TRUE(uiNonDev_LoadNonDevDat(printer_, ddd_, nullptr, NONDEV_LOCATION_PRINTERDATA, &back, record.data(),
                                       &gsb, &gsbSize));
    EXPECT_EQ(std::u16string(back.title), u"Title");
    EXPECT_EQ(std::u16string(back.text), u"Text");
    ASSERT_EQ(back.entries.count, count);
    for (WORD i = 0; i < count; ++i) {
      const UICHAINITEM* item = uiComChainListGet(&back.entries, i);
      EXPECT_EQ(std::vector<BYTE>(item->data, item->data + item->size), Entry(static_cast<BYTE>(i + 1)));
    }
    uiComChainListFree(&list.entries);
    uiComChainListFree(&back.entries);
    kcore_Free(gsb);
  }
}

TEST_F(UiRootTest, AStoredListWhoseSizeDoesNotMatchItsCountIsRefused) {
  std::vector<BYTE> nondev(NRV_NONDEVMODE_SIZE);
  ASSERT_TRUE(nonDev_SetDefaultData(printer_, nondev.data()));
  UIFAXLIST list{};
  for (WORD i = 0; i < 2; ++i)
    ASSERT_TRUE(uiComChainListAdd(&list.entries, Entry(9).data(), NONDEV_FAX_ENTRY_SIZE, UICHAIN_POS_HEAD));
  ASSERT_TRUE(uiNonDev_SaveNonDevDat(printer_, ddd_, nullptr, NONDEV_LOCATION_PRINTERDATA, &list, nondev.data(),
                                     nullptr, 0));
  uiComChainListFree(&list.entries);
  std::vector<BYTE> value(80000);
  DWORD size = static_cast<DWORD>(value.size());
  ASSERT_TRUE(zanGetChunkedValueEx(printer_, NONDEV_VALUE, value.data(), &size, nullptr));
  value.resize(size);
  kp_StoreU16(&value[24 + NRV_NONDEVMODE_SIZE + NONDEV_FAX_COUNT_OFFSET], 3);  // claims 3, holds 2
  ASSERT_TRUE(zanSaveChunkedValue(printer_, NONDEV_VALUE, value.data(), size));
  UIFAXLIST back{};
  ASSERT_TRUE(uiComChainListAdd(&back.entries, Entry(1).data(), NONDEV_FAX_ENTRY_SIZE, 0));
  std::vector<BYTE> record(NRV_NONDEVMODE_SIZE);
  EXPECT_FALSE(uiNonDev_LoadNonDevDat(printer_, ddd_, nullptr, NONDEV_LOCATION_PRINTERDATA, &back, record.data(),
                                      nullptr, nullptr));
  EXPECT_EQ(back.entries.count, 0);
  // Neither a printer nor a file, or no record: refused.
  EXPECT_FALSE(uiNonDev_SaveNonDevDat(nullptr, ddd_, nullptr, 2, nullptr, nondev.data(), nullptr, 0));
  EXPECT_FALSE(uiNonDev_SaveNonDevDat(printer_, ddd_, nullptr, 2, nullptr, nullptr, nullptr, 0));
}

}  // namespace
}  // namespace kestrel::test::ui
