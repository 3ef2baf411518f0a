// The sheet exports' saves at SET_RESULT with the test playing the
// property-sheet host, the printer sheet's save ntif_updateDeviceProperty,
// and the host loaded per call (CallCompstui) for both sheets (the sheets
// themselves: tests/sheets).
#include "docprop_fixture.h"
#include "kestrel/core/nondev.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/regfile.h"
#include "kestrel/ui/usersetting.h"
#include "kplatform/kernel32_file.h"
#include "kplatform/kernel32_module.h"

extern "C" LONG DrvDocumentPropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam);
extern "C" LONG DrvDevicePropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam);
extern "C" LONG DrvDocumentProperties(HWND, HANDLE, LPWSTR, void*, void*, DWORD);
extern "C" BOOL PrinterProperties(HWND, HANDLE);

namespace kestrel::test::ui {
namespace {

class SheetTest : public DocPropTest {
 protected:
  void TearDown() override {
    destroyUiLParam(uiRoot_);
    DocPropTest::TearDown();
  }
  // The host's call of SET_RESULT on a sheet whose UI root record exists.
  LONG DocumentSetResult(DOCUMENTPROPERTYHEADER* header, LRESULT pressed) {
    if (!uiRoot_) uiRoot_ = FillUiLParam(printer_, header->pdmIn, header->fMode);
    EXPECT_NE(uiRoot_, nullptr);
    PROPSHEETUI_INFO info{};
    info.cbSize = sizeof info;
    info.Reason = PROPSHEETUI_REASON_SET_RESULT;
    info.lParamInit = reinterpret_cast<LPARAM>(header);
    info.UserData = reinterpret_cast<ULONG_PTR>(uiRoot_);
    info.Result = 77;
    SETRESULT_INFO set{sizeof(SETRESULT_INFO), 0, nullptr, pressed};
    LONG r = DrvDocumentPropertySheets(&info, reinterpret_cast<LPARAM>(&set));
    lastResult_ = info.Result;
    return r;
  }
  LONG DeviceSetResult(WORD flags, LRESULT pressed) {
    if (!uiRoot_) uiRoot_ = FillUiLParam(printer_, nullptr, 0);
    DEVICEPROPERTYHEADER header{sizeof(DEVICEPROPERTYHEADER), flags, printer_, nullptr};
    PROPSHEETUI_INFO info{};
    info.Reason = PROPSHEETUI_REASON_SET_RESULT;
    info.lParamInit = reinterpret_cast<LPARAM>(&header);
    info.UserData = reinterpret_cast<ULONG_PTR>(uiRoot_);
    SETRESULT_INFO set{sizeof(SETRESULT_INFO), 0, nullptr, pressed};
    LONG r = DrvDevicePropertySheets(&info, reinterpret_cast<LPARAM>(&set));
    lastResult_ = info.Result;
    return r;
  }
  bool Stored(const char16_t* value) {
    DWORD size = 0;
    return zanGetChunkedValueEx(printer_, value, nullptr, &size, nullptr) && size > 0;
  }
  void ClearStored() {
    for (std::u16string n : ListPrinterDataNames(kPrinter)) DeletePrinterDataW(printer_, n.data());
  }

  UIROOT* uiRoot_ = nullptr;
  ULONG_PTR lastResult_ = 0;
};

struct SetResultCase {
  const char* what;
  LRESULT pressed;
  DWORD fMode;
  bool copied;     // the output devmode written
  BYTE docProp;    // DDM 439 of the output (when copied)
  bool file;       // a recorded document-property file
  bool printerData;  // "N_Dev" written
};

TEST_F(SheetTest, DocumentSheetSetResultAsATable) {
  const SetResultCase cases[] = {
      {"cancel, copy", CPSUI_CANCEL, DM_COPY, false, 0, false, false},
      {"cancel, user default", CPSUI_CANCEL, DM_COPY | DM_USER_DEFAULT, false, 0, false, false},
      {"OK, neither update nor copy", CPSUI_OK, DM_PROMPT, false, 0, false, false},
      {"OK, copy", CPSUI_OK, DM_COPY | DM_PROMPT, true, 1, true, false},
      {"OK, update", CPSUI_OK, DM_UPDATE | DM_PROMPT, true, 1, true, false},
      {"OK, user default", CPSUI_OK, DM_COPY | DM_USER_DEFAULT, true, 0, false, true},
  };
  for (const SetResultCase& c : cases) {
    SCOPED_TRACE(c.what);
    ClearStored();
    destroyUiLParam(uiRoot_);
    uiRoot_ = nullptr;
    RegFile_DeleteTmpFile(nullptr, u"Software\\Halcyra\\Kestrel\\Scriva K350\\", u"Software\\Halcyra\\Kestrel\\Scriva K350\\");
    std::vector<BYTE> out(NRV_DEVMODE_SIZE_KIND1, 0xCC);
    auto h = Header(out.data(), nullptr, c.fMode);
    EXPECT_EQ(DocumentSetResult(&h, c.pressed), 1);
    EXPECT_EQ(lastResult_, static_cast<ULONG_PTR>(c.pressed));
    EXPECT_EQ(Stored(NONDEV_VALUE), c.printerData);
    if (!c.copied) {
      EXPECT_EQ(out[0], 0xCC);
      continue;
    }
    ASSERT_TRUE(wNTc_IsDevmodeOurs(out.data()));
    EXPECT_EQ(Number(DDM_DOCPROPTYPE, out.data()), c.docProp);
    std::u16string file = Text(DDM_FAX_TEMP_FILE, out.data());
    if (c.file) {
      EXPECT_EQ(file.rfind(u"C:\\Windows\\Temp\\ZNF", 0), 0u) << std::string(file.begin(), file.end());
      EXPECT_TRUE(RegFile_IsRecorded(ddd_, file.c_str()));
      // The file holds the non-devmode record; a new sheet on the output
      // devmode loads it again.
      std::vector<BYTE> nondev(NRV_NONDEVMODE_SIZE);
      EXPECT_TRUE(nonDev_LoadNonDevDat(printer_, ddd_, file.c_str(), 0, nullptr, nondev.data(), nullptr, nullptr));
    } else {
      EXPECT_EQ(file, u"");
    }
    EXPECT_TRUE(CurrentUserSettingInfoRegCheck(printer_, ddd_));
  }
}

TEST_F(SheetTest, OnlyARecordedFileNamedByTheDevmodeIsWritten) {
  // An application's devmode naming some other file of the user's.
  WriteHostFile(root_.host("c/Users/notes.txt"), "precious");
  std::vector<BYTE> in = OurDevmode();
  std::u16string victim = u"C:\\Users\\notes.txt";
  ASSERT_EQ(ddm_SetValue(DDM_FAX_TEMP_FILE, in.data(), nullptr, DDM_TYPE_STRING,
                         static_cast<DWORD>((victim.size() + 1) * 2), victim.c_str()),
            0);
  std::vector<BYTE> out(NRV_DEVMODE_SIZE_KIND1);
  auto h = Header(out.data(), in.data(), DM_COPY | DM_PROMPT);
  ASSERT_EQ(DocumentSetResult(&h, CPSUI_OK), 1);
  EXPECT_EQ(ReadHostFile(root_.host("c/Users/notes.txt")), "precious");
  std::u16string made = Text(DDM_FAX_TEMP_FILE, out.data());
  EXPECT_NE(made, victim);
  EXPECT_TRUE(RegFile_IsRecorded(ddd_, made.c_str()));

  // The recorded file is used again by the next sheet on that devmode.
  destroyUiLParam(uiRoot_);
  uiRoot_ = nullptr;
  std::vector<BYTE> again(NRV_DEVMODE_SIZE_KIND1);
  auto h2 = Header(again.data(), out.data(), DM_COPY | DM_PROMPT);
  ASSERT_EQ(DocumentSetResult(&h2, CPSUI_OK), 1);
  EXPECT_EQ(Text(DDM_FAX_TEMP_FILE, again.data()), made);
}

TEST_F(SheetTest, AFailedSaveIsReportedAndTheDevmodeStillCopied) {
  std::vector<BYTE> out(NRV_DEVMODE_SIZE_KIND1);
  auto h = Header(out.data(), nullptr, DM_COPY | DM_USER_DEFAULT);
  uiRoot_ = FillUiLParam(printer_, nullptr, h.fMode);
  ASSERT_NE(uiRoot_, nullptr);
  KpSpoolerFailPrinterData(0, 1, 1000, ERROR_ACCESS_DENIED);
  EXPECT_EQ(DocumentSetResult(&h, CPSUI_OK), -1);
  KpSpoolerFailPrinterData(0, 0, 0, 0);
  EXPECT_TRUE(wNTc_IsDevmodeOurs(out.data()));
  // No temporary folder for a document-property file: nothing saved, -1.
  ASSERT_TRUE(RemoveDirectoryW(u"C:\\Windows\\Temp"));
  std::vector<BYTE> out2(NRV_DEVMODE_SIZE_KIND1);
  auto h2 = Header(out2.data(), nullptr, DM_COPY | DM_PROMPT);
  EXPECT_EQ(DocumentSetResult(&h2, CPSUI_OK), -1);
  EXPECT_TRUE(wNTc_IsDevmodeOurs(out2.data()));
  EXPECT_EQ(Text(DDM_FAX_TEMP_FILE, out2.data()), u"");
  EXPECT_EQ(Number(DDM_DOCPROPTYPE, out2.data()), 0);
}

TEST_F(SheetTest, DocumentSheetBadArguments) {
  std::vector<BYTE> out(NRV_DEVMODE_SIZE_KIND1);
  auto h = Header(out.data(), nullptr, 0);
  // No info: the header alone is the devmode query.
  EXPECT_EQ(DrvDocumentPropertySheets(nullptr, reinterpret_cast<LPARAM>(&h)), 1556);
  EXPECT_EQ(DrvDocumentPropertySheets(nullptr, 0), -1);
  PROPSHEETUI_INFO info{};
  info.Reason = PROPSHEETUI_REASON_SET_RESULT;
  EXPECT_EQ(DrvDocumentPropertySheets(&info, 0), -1);  // no header
  info.lParamInit = reinterpret_cast<LPARAM>(&h);
  SETRESULT_INFO set{sizeof(SETRESULT_INFO), 0, nullptr, CPSUI_OK};
  EXPECT_EQ(DrvDocumentPropertySheets(&info, reinterpret_cast<LPARAM>(&set)), -1);  // no root record
  h.fMode = DM_COPY;
  h.pdmOut = nullptr;
  EXPECT_EQ(DocumentSetResult(&h, CPSUI_OK), -1);  // no output devmode
  // INIT without the host's page function cannot add a page (-1); DESTROY
  // frees the root record.
  info.Reason = PROPSHEETUI_REASON_INIT;
  EXPECT_EQ(DrvDocumentPropertySheets(&info, 0), -1);
  info.Reason = PROPSHEETUI_REASON_DESTROY;
  info.UserData = reinterpret_cast<ULONG_PTR>(uiRoot_);
  uiRoot_ = nullptr;
  EXPECT_EQ(DrvDocumentPropertySheets(&info, 1), 1);
  EXPECT_EQ(info.UserData, 0u);
}

TEST_F(SheetTest, PrinterSheetSavesOnOKWithPermissionOnly) {
  struct {
    WORD flags;
    LRESULT pressed;
    bool saved;
  } const cases[] = {{0, CPSUI_OK, true}, {0, CPSUI_CANCEL, false}, {DPS_NOPERMISSION, CPSUI_OK, false}};
  for (const auto& c : cases) {
    ClearStored();
    EXPECT_EQ(DeviceSetResult(c.flags, c.pressed), 1);
    EXPECT_EQ(lastResult_, static_cast<ULONG_PTR>(c.pressed));
    EXPECT_EQ(Stored(u"PrinterData"), c.saved);
  }
  KpSpoolerFailPrinterData(0, 1, 1000, ERROR_ACCESS_DENIED);
  EXPECT_EQ(DeviceSetResult(0, CPSUI_OK), -1);
}

TEST_F(SheetTest, UpdateDevicePropertyLeavesANewerDriversRecord) {
  uiRoot_ = FillUiLParam(printer_, nullptr, 0);
  ASSERT_NE(uiRoot_, nullptr);
  std::vector<BYTE> stored(static_cast<BYTE*>(uiRoot_->printerData),
                           static_cast<BYTE*>(uiRoot_->printerData) + NRV_PRINTERDATA_SIZE);
  struct {
    const char* what;
    int version;  // -1: the stored record is unreadable
    bool replaced;
  } const cases[] = {{"newer", NRV_DRIVER_VERSION + 1, false}, {"older", NRV_DRIVER_VERSION - 1, true},
                     {"unreadable", -1, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ClearStored();
    if (c.version >= 0) {
      kp_StoreU16(&stored[4], static_cast<WORD>(c.version));
      ASSERT_TRUE(zanSaveChunkedValue(printer_, u"PrinterData", stored.data(), NRV_PRINTERDATA_SIZE));
    } else {
      DWORD bogus = 5000;  // a size with no chunks behind it
      ASSERT_EQ(SetPrinterDataW(printer_, const_cast<LPWSTR>(u"PrinterDataSize"), REG_DWORD,
                                reinterpret_cast<LPBYTE>(&bogus), 4),
                0u);
    }
    EXPECT_TRUE(ntif_updateDeviceProperty(uiRoot_));
    std::vector<BYTE> now(NRV_PRINTERDATA_SIZE);
    DWORD size = NRV_PRINTERDATA_SIZE;
    bool read = zanGetChunkedValueEx(printer_, u"PrinterData", now.data(), &size, nullptr);
    if (c.replaced) {
      ASSERT_TRUE(read);
      EXPECT_EQ(kp_LoadU16(&now[4]), NRV_DRIVER_VERSION);
    } else {
      EXPECT_EQ(kp_LoadU16(&now[4]), NRV_DRIVER_VERSION + 1);
    }
  }
  ClearStored();
  KpSpoolerFailPrinterData(0, 1, 1000, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(ntif_updateDeviceProperty(uiRoot_));
  KpSpoolerFailPrinterData(0, 0, 0, 0);
  EXPECT_FALSE(ntif_updateDeviceProperty(nullptr));
}

TEST_F(SheetTest, TheHostIsLoadedPerCallAndRefusedInitClosesTheSheet) {
  DWORD result = 99;
  // No host installed: -1 and the result untouched.
  EXPECT_EQ(CallCompstui(nullptr, DrvDocumentPropertySheets, 0, &result), -1);
  EXPECT_EQ(result, 99u);
  std::vector<BYTE> out(NRV_DEVMODE_SIZE_KIND1, 0xCC);
  EXPECT_EQ(DrvDocumentProperties(nullptr, printer_, name_.data(), out.data(), nullptr, DM_COPY | DM_PROMPT), -1);
  EXPECT_FALSE(PrinterProperties(nullptr, printer_));

  ASSERT_TRUE(KpInstallModule("libcompstui.so", nullptr));
  // INIT refused (the host does not take the first page): only DESTROY
  // follows, and the application's block is untouched.
  KpCompstuiFailAdd(1);
  EXPECT_EQ(DrvDocumentProperties(nullptr, printer_, name_.data(), out.data(), nullptr, DM_COPY | DM_PROMPT), -1);
  KpCompstuiFailAdd(0);
  EXPECT_EQ(out[0], 0xCC);
  KP_COMPSTUI_CALL calls[8];
  ASSERT_EQ(KpCompstuiCalls(calls, 8), 2u);
  EXPECT_EQ(calls[0].reason, PROPSHEETUI_REASON_INIT);
  EXPECT_EQ(calls[0].answer, -1);
  EXPECT_EQ(calls[1].reason, PROPSHEETUI_REASON_DESTROY);
  EXPECT_EQ(calls[1].answer, 1);
  // A sheet that cannot run (no user here: the stand-in's sheet answers -1)
  // is named and destroyed without a result.
  KpCompstuiReset();
  EXPECT_EQ(DrvDocumentProperties(nullptr, printer_, name_.data(), out.data(), nullptr, DM_COPY | DM_PROMPT), -1);
  EXPECT_EQ(out[0], 0xCC);
  ASSERT_EQ(KpCompstuiCalls(calls, 8), 3u);
  EXPECT_EQ(calls[0].answer, 1);
  EXPECT_EQ(calls[1].reason, PROPSHEETUI_REASON_GET_INFO_HEADER);
  EXPECT_EQ(calls[2].reason, PROPSHEETUI_REASON_DESTROY);
  KpCompstuiReset();
  EXPECT_FALSE(PrinterProperties(nullptr, printer_));
  EXPECT_EQ(KpCompstuiCalls(nullptr, 0), 3u);
  // Without the prompt bit no host is needed.
  EXPECT_EQ(DrvDocumentProperties(nullptr, printer_, name_.data(), out.data(), nullptr, DM_COPY), 1);
}

TEST_F(SheetTest, AHostWithoutItsExportCountsAsNoHost) {
  // Another library under the host's name.
  ASSERT_TRUE(KpInstallModule("libkdemohost.so", u"compstui.dll"));
  DWORD result = 99;
  EXPECT_EQ(CallCompstui(nullptr, DrvDevicePropertySheets, 0, &result), -1);
  EXPECT_EQ(result, 99u);
  EXPECT_FALSE(PrinterProperties(nullptr, printer_));
  EXPECT_EQ(KpCompstuiCalls(nullptr, 0), 0u);
}

TEST_F(SheetTest, PrinterPropertiesProbesThePermission) {
  EXPECT_EQ(kui_PrinterPermissionFlags(printer_), 0);
  DWORD type = 0, value = 0, needed = 0;
  ASSERT_EQ(GetPrinterDataW(printer_, const_cast<LPWSTR>(u"Permission"), &type, reinterpret_cast<LPBYTE>(&value), 4,
                            &needed),
            0u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 1u);
  KpSpoolerFailPrinterData(0, 1, 1, ERROR_ACCESS_DENIED);
  EXPECT_EQ(kui_PrinterPermissionFlags(printer_), DPS_NOPERMISSION);
}

}  // namespace
}  // namespace kestrel::test::ui
