// The driver's registry check as applications and the property-sheet host
// reach it: DrvDocumentProperties without a sheet (once per process) and
// with the prompt bit (the sheet's INIT, at every start), on a queue whose
// "SPLUserModePrinterDriver" value is gone: the user is told, the value is
// written back, and the user is told once per process.
#include <string>
#include <vector>

#include "docprop_fixture.h"
#include "ui_fixture.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/printerdata.h"
#include "kplatform/kernel32_module.h"

extern "C" LONG DrvDocumentProperties(HWND, HANDLE, LPWSTR, void*, void*, DWORD);

namespace kestrel::test::ui {
namespace {

constexpr char16_t kUMDllValue[] = u"SPLUserModePrinterDriver";

class RegistryCheckTest : public DocPropTest {
 protected:
  void SetUp() override {
    DocPropTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(KpInstallModule("libcompstui.so", nullptr));  // the sheet's road
    kui_ResetRegistryCheck();  // as in a new process
  }
  void TearDown() override {
    kui_ResetRegistryCheck();
    DocPropTest::TearDown();
  }
  void DeleteValue() {
    std::u16string name = kUMDllValue;
    DeletePrinterDataW(printer_, name.data());
    ASSERT_EQ(Stored(), u"");
  }
  // The value as stored, or "" when there is none.
  std::u16string Stored() {
    std::vector<BYTE> data(1024, 0);
    DWORD type = 0, needed = 0;
    if (GetPrinterDataW(printer_, const_cast<LPWSTR>(kUMDllValue), &type, data.data(), 1000, &needed) !=
        ERROR_SUCCESS)
      return u"";
    return reinterpret_cast<const char16_t*>(data.data());
  }
  std::u16string Expected() {
    LPWSTR name = MakeUMDllName(printer_);
    std::u16string out = name ? name : u"?";
    kcore_Free(name);
    return out;
  }
  std::vector<std::u16string> Boxes() { return MessageBoxTexts(); }
  std::u16string String(UINT id) {
    WCHAR text[600] = {};
    LoadStringW(resource_get_hInstance(), id, text, 600);
    return text;
  }
  // One call of an application: without a sheet or through the sheet.
  void Call(bool sheet) {
    std::vector<BYTE> out(NRV_DEVMODE_SIZE_KIND1, 0);
    KpClearMessageBoxes();
    KpCompstuiReset();
    LONG r = DrvDocumentProperties(nullptr, printer_, name_.data(), out.data(), nullptr,
                                   sheet ? DM_COPY | DM_PROMPT : DM_COPY);
    if (sheet) {
      // The stand-in host cannot run a sheet (-1), but INIT ran.
      KP_COMPSTUI_CALL calls[8];
      ASSERT_GE(KpCompstuiCalls(calls, 8), 1u);
      EXPECT_EQ(calls[0].reason, PROPSHEETUI_REASON_INIT);
      EXPECT_EQ(calls[0].answer, 1);
    } else {
      EXPECT_EQ(r, 1);
    }
  }
};

TEST_F(RegistryCheckTest, AMissingValueIsToldAndWrittenBackOnBothRoads) {
  const std::u16string expected = Expected();
  ASSERT_NE(expected, u"?");
  // The user here is no administrator (no permission test in this process).
  const std::vector<std::u16string> told = {String(397), String(398)};
  ASSERT_NE(told[0], u"");
  for (bool sheet : {false, true}) {
    SCOPED_TRACE(sheet ? "the sheet's INIT" : "document properties");
    kui_ResetRegistryCheck();
    DeleteValue();
    // What the roads ask of the check: the flag 8 answers 8 here.
    KpClearMessageBoxes();
    EXPECT_EQ(CheckRegistryData(printer_, resource_get_hInstance(), DOCPROP_REGCHECK_FLAGS, 0), PD_CHECK_MISSING);
    Call(sheet);
    EXPECT_EQ(Boxes(), told);
    EXPECT_EQ(Stored(), expected);
  }
}

TEST_F(RegistryCheckTest, TheUserIsToldOncePerProcessAndDocumentPropertiesCheckOnce) {
  const std::u16string expected = Expected();
  // Document properties on a sound queue: checked, nothing to tell.
  ASSERT_TRUE(SetSPLUMName(printer_));
  Call(false);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(kui_RegistryCheckDone());
  // The value goes: document properties do not check again; the sheet does
  // at its start.
  DeleteValue();
  Call(false);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(Stored(), u"");
  Call(true);
  EXPECT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Stored(), expected);
  // Told once: a value lost again (or a repair that could not write) is not
  // told again in this process, on either road.
  DeleteValue();
  Call(true);
  Call(false);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(Stored(), u"");
  // A new process tells again.
  kui_ResetRegistryCheck();
  Call(false);
  EXPECT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Stored(), expected);
}

}  // namespace
}  // namespace kestrel::test::ui
