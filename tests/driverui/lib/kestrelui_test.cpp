// kestrelui loaded through the platform's loader as the spooler loads it:
// the attach writes the system TrueType family list where the renderer
// looks, readies the devmode access and the per-user store, traces itself,
// and the last free gives everything back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/printerdata.h"
#include "kestrel/ui/prnid.h"
#include "kestrel/core/systtf.h"
#include "kplatform/gdi32_fonts.h"
#include "kplatform/kernel32_file.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/kwindows.h"
#include "kplatform/winspool.h"
#include "kplatform/winspool_printer.h"
#include "temp_root.h"

namespace kestrel::test::kui {
namespace {

constexpr const char16_t* kPrinter = kModelAPrinter;
constexpr char kDriverDirHost[] = "c/Windows/system32/spool/drivers/x64/3";
constexpr char kListHost[] = "c/Windows/system32/kestreltt.tmp";
constexpr char kTraceHost[] = "c/DEBUG_LOG/WINNT/DDI_PRNUI_TRACE_LOG.txt";

using GetUpgradedFn = BOOL (*)(HANDLE, void*, DWORD*, DWORD);

// The renderer's rule: the data file's path searched backwards for
// "system32" (any case), then "\kestreltt.tmp" after it.
std::u16string RendererListName(const std::u16string& dataFile) {
  std::u16string lower = dataFile;
  for (char16_t& c : lower) c = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  size_t at = lower.rfind(u"system32");
  if (at == std::u16string::npos) return {};
  return dataFile.substr(0, at + 8) + u"\\kestreltt.tmp";
}

int CALLBACK CollectTrueType(const LOGFONTW* font, const TEXTMETRICW*, DWORD type, LPARAM param) {
  if (type & TRUETYPE_FONTTYPE) reinterpret_cast<std::vector<std::u16string>*>(param)->push_back(font->lfFaceName);
  return 1;
}

std::vector<std::u16string> TrueTypeFamilies() {
  LOGFONTW filter = {};
  filter.lfCharSet = DEFAULT_CHARSET;
  std::vector<std::u16string> families;
  EnumFontFamiliesExW(nullptr, &filter, CollectTrueType, reinterpret_cast<LPARAM>(&families), 0);
  return families;
}

// The whole file through the platform, or empty with a failure.
std::string ReadPlatformFile(const std::u16string& name) {
  HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << "the renderer's name does not reach the list";
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes(GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  EXPECT_TRUE(ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr));
  CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

// The names of the list file after checking its frame.
std::vector<std::u16string> ParseList(const std::string& bytes) {
  std::vector<std::u16string> names;
  EXPECT_GE(bytes.size(), 6u);
  if (bytes.size() < 6 || bytes.size() % 2) return names;
  DWORD b = 0;
  std::memcpy(&b, bytes.data(), 4);
  EXPECT_EQ(b, bytes.size() - 4) << "the first word is the file's size minus 4";
  std::u16string block((bytes.size() - 4) / 2, u'\0');
  std::memcpy(block.data(), bytes.data() + 4, block.size() * 2);
  size_t at = 0;
  while (at < block.size() && block[at]) {
    size_t end = block.find(u'\0', at);
    if (end == std::u16string::npos) break;
    names.push_back(block.substr(at, end - at));
    at = end + 1;
  }
  EXPECT_EQ(at + 1, block.size()) << "one closing NUL after the last name";
  return names;
}

class KestrelUiTest : public RootedTest {
 protected:
  // Installs the model pair, kestrelui and the resource module in the
  // driver directory, the devmode-access module when asked, and the printer.
  void Install(bool withAccessModule) {
    ASSERT_EQ(InstallModelFiles(kModelA), "");
    ASSERT_TRUE(KpInstallModule("libkestrelui.so", nullptr));
    ASSERT_TRUE(KpInstallModule("kestrelrs.zrs", nullptr));
    if (withAccessModule) {
      ASSERT_TRUE(KpInstallModule("libkestreljd.so", nullptr));
    }
    ASSERT_EQ(AddModelAPrinter(kPrinter), "");
    std::u16string name = kPrinter;
    ASSERT_TRUE(OpenPrinterW(name.data(), &printer_, nullptr));
  }

  void TearDown() override {
    while (library_ && FreeLibrary(library_)) {
    }
    if (printer_) ClosePrinter(printer_);
  }

  HMODULE Load() {
    HMODULE module = LoadLibraryW(u"kestrelui.dll");
    EXPECT_NE(module, nullptr) << GetLastError();
    if (module) library_ = module;
    return module;
  }

  void Free() {
    ASSERT_TRUE(FreeLibrary(library_));
    library_ = nullptr;
  }

  // The library's record load: 1 and the 4736-byte record, or 0.
  BOOL LoadRecord(std::vector<BYTE>& record) {
    auto get = reinterpret_cast<GetUpgradedFn>(
        reinterpret_cast<void*>(GetProcAddress(library_, "GetUpgradedPrinterData")));
    EXPECT_NE(get, nullptr);
    if (!get) return FALSE;
    DWORD size = 0;
    EXPECT_TRUE(get(printer_, nullptr, &size, 0));
    EXPECT_EQ(size, PD_RECORD_SIZE);
    record.assign(PD_RECORD_SIZE, 0xEE);
    size = PD_RECORD_SIZE;
    return get(printer_, record.data(), &size, 0);
  }

  std::u16string DataFile() {
    DWORD needed = 0;
    GetPrinterDriverW(printer_, nullptr, 2, nullptr, 0, &needed);
    std::vector<BYTE> info(needed);
    EXPECT_TRUE(GetPrinterDriverW(printer_, nullptr, 2, info.data(), needed, &needed));
    if (needed == 0 || info.size() < sizeof(DRIVER_INFO_2W)) return {};
    return reinterpret_cast<DRIVER_INFO_2W*>(info.data())->pDataFile;
  }

  HANDLE printer_ = nullptr;
  HMODULE library_ = nullptr;
};

TEST_F(KestrelUiTest, AttachWritesTheFamilyListWhereTheRendererFindsIt) {
  Install(true);
  ASSERT_TRUE(ReadHostFile(root_.host(kListHost)).empty()) << "a fresh root has no list";
  ASSERT_NE(Load(), nullptr);

  std::u16string dataFile = DataFile();
  ASSERT_NE(dataFile.find(u"K350.DDD"), std::u16string::npos) << "the queue's data file";
  std::u16string listName = RendererListName(dataFile);
  ASSERT_FALSE(listName.empty());
  std::string bytes = ReadPlatformFile(listName);
  EXPECT_EQ(bytes, ReadHostFile(root_.host(kListHost))) << "the mapped system32 folder holds it";
  std::vector<std::u16string> families = TrueTypeFamilies();
  ASSERT_FALSE(families.empty()) << "the platform's font folder offers TrueType families";
  EXPECT_EQ(ParseList(bytes), families);
}

// The devmode access and the per-user store are ready after the load, a
// second load attaches nothing again, and the last free unloads both
// kestrelui and the devmode-access module it loaded.
TEST_F(KestrelUiTest, AttachReadiesTheValueAccessAndTheLastFreeGivesItBack) {
  Install(true);
  const size_t before = KpLoadedModuleCount();
  ASSERT_NE(Load(), nullptr);
  EXPECT_GE(KpLoadedModuleCount(), before + 2) << "kestrelui and kestreljd";
  EXPECT_NE(GetModuleHandleW(u"kestreljd.dll"), nullptr);

  std::vector<BYTE> record;
  ASSERT_TRUE(LoadRecord(record)) << "the defaults are built through the value access";
  PD_RECORD_HEAD head;
  std::memcpy(&head, record.data(), sizeof(head));
  EXPECT_EQ(head.size, PD_RECORD_SIZE);
  EXPECT_EQ(head.structVersion, PD_STRUCT_VERSION);
  EXPECT_EQ(head.driverVersion, PD_DRIVER_VERSION);

  // With a record stored in the queue, the load goes through the per-user
  // store registered at attach, which makes the queue's printer id.
  BYTE id[16] = {};
  EXPECT_FALSE(getPRNID(printer_, id));
  ASSERT_TRUE(zanSavePrinterDataToRegistry(printer_, record.data(), PD_RECORD_SIZE, ZAN_KIND_PRINTERDATA, 0));
  ASSERT_TRUE(LoadRecord(record));
  EXPECT_TRUE(getPRNID(printer_, id));

  const size_t loaded = KpLoadedModuleCount();
  HMODULE again = LoadLibraryW(u"kestrelui.dll");
  EXPECT_EQ(again, library_);
  EXPECT_EQ(KpLoadedModuleCount(), loaded);
  ASSERT_TRUE(FreeLibrary(again));
  EXPECT_EQ(KpLoadedModuleCount(), loaded) << "one reference is still held";
  ASSERT_TRUE(LoadRecord(record));

  Free();
  EXPECT_EQ(KpLoadedModuleCount(), before);
  EXPECT_EQ(GetModuleHandleW(u"kestreljd.dll"), nullptr);
}

// Without kestreljd the library still loads and writes the list; a load of
// the record, whose defaults are read and written by DDM id, then fails
// instead of answering a record it could not build.
TEST_F(KestrelUiTest, MissingAccessModuleLeavesTheLibraryLoaded) {
  Install(false);
  const size_t before = KpLoadedModuleCount();
  ASSERT_NE(Load(), nullptr);
  EXPECT_EQ(GetModuleHandleW(u"kestreljd.dll"), nullptr);
  EXPECT_FALSE(ReadHostFile(root_.host(kListHost)).empty());
  std::vector<BYTE> record;
  EXPECT_FALSE(LoadRecord(record));
  Free();
  EXPECT_EQ(KpLoadedModuleCount(), before);
}

// With the trace log switched on in kestrel.cfg, the attach and the detach
// each write their entry and exit lines, in that order.
TEST_F(KestrelUiTest, TraceLogShowsAttachAndDetach) {
  Install(true);
  WriteHostFile(root_.host(std::string(kDriverDirHost) + "/kestrel.cfg"), "[LOG]\r\nLog=0x3\r\n");
  ASSERT_NE(Load(), nullptr);
  Free();
  std::string text = ReadHostFile(root_.host(kTraceHost));
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    if (end > at) lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  const std::vector<std::string> expected = {"IN <<DllInitialize_ATTACH", "OUT>>DllInitialize_ATTACH",
                                             "IN <<DllInitialize_DETACH", "OUT>>DllInitialize_DETACH"};
  EXPECT_EQ(lines, expected) << text;
}

}  // namespace
}  // namespace kestrel::test::kui
