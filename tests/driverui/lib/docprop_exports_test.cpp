// kestrelui's devmode exports and printer event through the library loaded
// as the spooler and applications load it: DrvDocumentProperties,
// DrvConvertDevMode, DevQueryPrintEx and DrvPrinterEvent, with their trace
// lines and last errors.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/devmode.h"
#include "kestrel/ui/prnid.h"
#include "kplatform/byte_order.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/kwindows.h"
#include "kplatform/winddiui.h"
#include "kplatform/winspool.h"
#include "kplatform/winspool_printer.h"
#include "temp_root.h"

namespace kestrel::test::kui {
namespace {

constexpr const char16_t* kPrinter = kModelAPrinter;
constexpr char kDriverDirHost[] = "c/Windows/system32/spool/drivers/x64/3";
constexpr char kTraceHost[] = "c/DEBUG_LOG/WINNT/DDI_PRNUI_TRACE_LOG.txt";

using DocumentPropertiesFn = LONG (*)(HWND, HANDLE, LPWSTR, void*, void*, DWORD);
using AdvancedFn = LONG (*)(HWND, HANDLE, LPWSTR, void*, void*);
using ConvertFn = BOOL (*)(LPWSTR, void*, void*, LONG*, DWORD);
using QueryFn = BOOL (*)(DEVQUERYPRINT_INFO*);
using EventFn = BOOL (*)(LPWSTR, int, DWORD, LPARAM);

class DocPropExportsTest : public RootedTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(InstallModelFiles(kModelA), "");
    ASSERT_TRUE(KpInstallModule("libkestrelui.so", nullptr));
    ASSERT_TRUE(KpInstallModule("kestrelrs.zrs", nullptr));
    ASSERT_TRUE(KpInstallModule("libkestreljd.so", nullptr));
    ASSERT_EQ(AddModelAPrinter(kPrinter), "");
    ASSERT_TRUE(OpenPrinterW(name_.data(), &printer_, nullptr));
  }
  void TearDown() override {
    KpSpoolerFailPrinterData(0, 0, 0, 0);
    while (library_ && FreeLibrary(library_)) {
    }
    if (printer_) ClosePrinter(printer_);
  }
  template <typename Fn>
  Fn Entry(const char* name) {
    if (!library_) library_ = LoadLibraryW(u"kestrelui.dll");
    EXPECT_NE(library_, nullptr);
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library_, name)));
    EXPECT_NE(fn, nullptr) << name;
    return fn;
  }
  std::vector<BYTE> OurDevmode() {
    std::vector<BYTE> dm(NRV_DEVMODE_SIZE_KIND1);
    EXPECT_EQ(Entry<DocumentPropertiesFn>("DrvDocumentProperties")(nullptr, printer_, name_.data(), dm.data(), nullptr,
                                                                   DM_COPY),
              1);
    return dm;
  }
  bool HasValue(const char16_t* value) {
    DWORD needed = 0;
    DWORD rc = GetPrinterDataW(printer_, const_cast<LPWSTR>(value), nullptr, nullptr, 0, &needed);
    return rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA;
  }
  DWORD UserForms() {
    DWORD needed = 0, count = 0;
    EnumFormsW(printer_, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(EnumFormsW(printer_, 1, buffer.data(), needed, &needed, &count));
    return count - 118;
  }

  std::u16string name_ = kPrinter;
  HANDLE printer_ = nullptr;
  HMODULE library_ = nullptr;
};

TEST_F(DocPropExportsTest, DocumentPropertiesAnswersTheSizeOrCopiesTheDevmode) {
  auto props = Entry<DocumentPropertiesFn>("DrvDocumentProperties");
  std::vector<BYTE> out(NRV_DEVMODE_SIZE_KIND1, 0xCC);
  EXPECT_EQ(props(nullptr, printer_, name_.data(), out.data(), nullptr, 0), 1556);
  EXPECT_EQ(props(nullptr, printer_, name_.data(), nullptr, nullptr, DM_COPY), 1556);
  EXPECT_EQ(out[0], 0xCC);
  EXPECT_EQ(props(nullptr, printer_, name_.data(), out.data(), nullptr, DM_COPY | DM_UPDATE), 1);
  EXPECT_EQ(kp_LoadU16(&out[68]), 220);
  EXPECT_EQ(kp_LoadU16(&out[70]), 1336);
  // The advanced sheet needs the host and the sheet engine: 0.
  auto advanced = Entry<AdvancedFn>("DrvAdvancedDocumentProperties");
  EXPECT_EQ(advanced(nullptr, printer_, name_.data(), out.data(), nullptr), 0);
  EXPECT_EQ(advanced(nullptr, printer_, name_.data(), nullptr, nullptr), 1);
}

TEST_F(DocPropExportsTest, ConvertDevModeChecksItsArgumentsAndKeepsTheLastError) {
  WriteHostFile(root_.host(std::string(kDriverDirHost) + "/kestrel.cfg"), "[LOG]\r\nLog=0x3\r\n");
  auto convert = Entry<ConvertFn>("DrvConvertDevMode");
  std::vector<BYTE> ours = OurDevmode();
  std::vector<BYTE> out(NRV_DEVMODE_SIZE_KIND1);
  LONG needed = 1556;
  SetLastError(0);
  EXPECT_FALSE(convert(nullptr, ours.data(), out.data(), &needed, CDM_CONVERT));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(convert(name_.data(), ours.data(), out.data(), nullptr, CDM_CONVERT));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  needed = 1555;
  EXPECT_FALSE(convert(name_.data(), ours.data(), out.data(), &needed, CDM_CONVERT));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, 1556);
  std::u16string unknown = u"No Such Printer";
  EXPECT_FALSE(convert(unknown.data(), ours.data(), out.data(), &needed, CDM_CONVERT));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  struct {
    DWORD mode;
    BOOL result;
  } const modes[] = {{CDM_CONVERT, TRUE}, {CDM_CONVERT351, FALSE}, {CDM_DRIVER_DEFAULT, TRUE}};
  for (const auto& m : modes) {
    SCOPED_TRACE(m.mode);
    std::fill(out.begin(), out.end(), 0);
    needed = 1556;
    EXPECT_EQ(convert(name_.data(), ours.data(), out.data(), &needed, m.mode), m.result);
    if (m.result) {
      EXPECT_EQ(needed, 1556);
      EXPECT_EQ(kp_LoadU16(&out[70]), 1336);
    } else {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
  }
  std::string trace = ReadHostFile(root_.host(kTraceHost));
  EXPECT_NE(trace.find("DrvConvertDevMode RetValue = 0"), std::string::npos);
  EXPECT_NE(trace.find("DrvConvertDevMode RetValue = 1"), std::string::npos);
}

TEST_F(DocPropExportsTest, QueryPrintRefusesAForeignDevmodeWithItsText) {
  auto query = Entry<QueryFn>("DevQueryPrintEx");
  std::vector<BYTE> ours = OurDevmode();
  std::vector<BYTE> foreign(ours.begin(), ours.begin() + 220);
  kp_StoreU16(&foreign[70], 0);
  WCHAR text[10];
  DEVQUERYPRINT_INFO info{sizeof(DEVQUERYPRINT_INFO), 1, printer_, foreign.data(), text, 10, 0};
  EXPECT_FALSE(query(&info));
  EXPECT_EQ(std::u16string(text), u"Invalid D");
  EXPECT_EQ(info.cchNeeded, 27u);
  info.cchErrorStr = 0;
  text[0] = u'#';
  EXPECT_FALSE(query(&info));
  EXPECT_EQ(text[0], u'#');
  info.pszErrorStr = nullptr;
  info.cchErrorStr = 10;
  EXPECT_FALSE(query(&info));
  EXPECT_EQ(info.cchNeeded, 27u);
  info.pDevMode = ours.data();
  EXPECT_TRUE(query(&info));
  info.pDevMode = nullptr;
  EXPECT_TRUE(query(&info));
  EXPECT_FALSE(query(nullptr));
}

TEST_F(DocPropExportsTest, PrinterEventSetsUpANewQueueOnce) {
  WriteHostFile(root_.host(std::string(kDriverDirHost) + "/kestrel.cfg"), "[LOG]\r\nLog=0x3\r\n");
  auto event = Entry<EventFn>("DrvPrinterEvent");
  EXPECT_TRUE(event(name_.data(), PRINTER_EVENT_ADD_CONNECTION, 0, 0));
  EXPECT_TRUE(HasValue(u"SPLUserModePrinterDriver"));
  EXPECT_FALSE(HasValue(u"PRNID"));

  ASSERT_EQ(UserForms(), 0u);
  EXPECT_TRUE(event(name_.data(), PRINTER_EVENT_INITIALIZE, 0, 0));
  BYTE id[PRNID_SIZE], again[PRNID_SIZE];
  DWORD needed = 0;
  ASSERT_EQ(GetPrinterDataW(printer_, const_cast<LPWSTR>(u"PRNID"), nullptr, id, PRNID_SIZE, &needed), 0u);
  EXPECT_TRUE(HasValue(u"SupportJobOwnerTool"));
  EXPECT_TRUE(HasValue(u"PrinterDataSize"));
  DWORD forms = UserForms();
  EXPECT_GT(forms, 0u);
  EXPECT_TRUE(event(name_.data(), PRINTER_EVENT_INITIALIZE, 0, 0));
  ASSERT_EQ(GetPrinterDataW(printer_, const_cast<LPWSTR>(u"PRNID"), nullptr, again, PRNID_SIZE, &needed), 0u);
  EXPECT_EQ(std::memcmp(id, again, PRNID_SIZE), 0) << "the id is made once";
  EXPECT_EQ(UserForms(), forms);

  std::u16string unknown = u"No Such Printer";
  EXPECT_TRUE(event(unknown.data(), PRINTER_EVENT_ADD_CONNECTION, 0, 0));
  EXPECT_TRUE(event(unknown.data(), PRINTER_EVENT_INITIALIZE, 0, 0));
  EXPECT_TRUE(event(name_.data(), PRINTER_EVENT_DELETE, 0, 0));
  EXPECT_TRUE(event(nullptr, PRINTER_EVENT_INITIALIZE, 0, 0));
  std::string trace = ReadHostFile(root_.host(kTraceHost));
  EXPECT_NE(trace.find("DrvPrinterEvent RetValue = 1"), std::string::npos);
}

}  // namespace
}  // namespace kestrel::test::kui
