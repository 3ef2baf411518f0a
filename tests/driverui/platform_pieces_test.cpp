// The platform pieces the driver's user-interface services stand on:
// printer information and printer data, window data and the font families.
#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "kestrel/ui/uifont.h"
#include "kplatform/compstui.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/winspool.h"
#include "kplatform/winspool_printer.h"
#include "ui_fixture.h"

namespace kestrel::test::ui {
namespace {

LPWSTR W(const char16_t* s) { return const_cast<LPWSTR>(s); }

TEST_F(UiTest, PrinterDataValues) {
  DWORD type = 0, needed = 0;
  BYTE buffer[16] = {};
  EXPECT_EQ(GetPrinterDataW(printer_, W(u"Value"), &type, buffer, sizeof(buffer), &needed), ERROR_FILE_NOT_FOUND);
  const BYTE data[6] = {1, 2, 3, 4, 5, 6};
  ASSERT_EQ(SetPrinterDataW(printer_, W(u"Value"), REG_BINARY, const_cast<BYTE*>(data), 6), ERROR_SUCCESS);
  EXPECT_EQ(GetPrinterDataW(printer_, W(u"Value"), &type, buffer, 4, &needed), ERROR_MORE_DATA);
  EXPECT_EQ(needed, 6u);
  EXPECT_EQ(GetPrinterDataW(printer_, W(u"value"), &type, nullptr, 0, &needed), ERROR_MORE_DATA) << "names fold case";
  ASSERT_EQ(GetPrinterDataW(printer_, W(u"Value"), &type, buffer, sizeof(buffer), &needed), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(needed, 6u);
  EXPECT_EQ(std::memcmp(buffer, data, 6), 0);

  // Kept for the printer, not the handle; another printer has its own.
  HANDLE again = OpenPrinter(kPrinter);
  EXPECT_EQ(GetPrinterDataW(again, W(u"Value"), &type, buffer, sizeof(buffer), &needed), ERROR_SUCCESS);
  ASSERT_TRUE(KpSpoolerAddPrinter(u"\\\\server\\other", u"Scriva K350 PCL6", u"K350.DDD", u"K350.cfg", u"x.dll"));
  HANDLE other = OpenPrinter(u"\\\\server\\other");
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(GetPrinterDataW(other, W(u"Value"), &type, buffer, sizeof(buffer), &needed), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(SetPrinterDataW(other, W(u"Value"), REG_DWORD, const_cast<BYTE*>(data), 4), ERROR_SUCCESS);

  EXPECT_EQ(DeletePrinterDataW(printer_, W(u"Value")), ERROR_SUCCESS);
  EXPECT_EQ(DeletePrinterDataW(printer_, W(u"Value")), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetPrinterDataW(other, W(u"Value"), &type, buffer, sizeof(buffer), &needed), ERROR_SUCCESS);

  HANDLE bad = reinterpret_cast<HANDLE>(0x55);
  EXPECT_EQ(GetPrinterDataW(bad, W(u"Value"), &type, buffer, sizeof(buffer), &needed), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetPrinterDataW(bad, W(u"Value"), REG_BINARY, const_cast<BYTE*>(data), 6), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetPrinterDataW(printer_, nullptr, &type, buffer, sizeof(buffer), &needed), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(GetPrinterDataW(printer_, W(u"Value"), &type, nullptr, 4, &needed), ERROR_INVALID_PARAMETER);
}

TEST_F(UiTest, PrinterInformation) {
  for (DWORD level : {1u, 2u}) {
    DWORD needed = 0;
    EXPECT_FALSE(GetPrinterW(printer_, level, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<BYTE> buffer(needed);
    EXPECT_FALSE(GetPrinterW(printer_, level, buffer.data(), needed - 1, &needed));
    ASSERT_TRUE(GetPrinterW(printer_, level, buffer.data(), needed, &needed)) << level;
    if (level == 1) {
      PRINTER_INFO_1W p;
      std::memcpy(&p, buffer.data(), sizeof(p));
      EXPECT_EQ(std::u16string(p.pName), kPrinter);
      EXPECT_EQ(std::u16string(p.pDescription), u"Scriva K350,Scriva K350 PCL6,");
    } else {
      PRINTER_INFO_2W p;
      std::memcpy(&p, buffer.data(), sizeof(p));
      EXPECT_EQ(std::u16string(p.pPrinterName), kPrinter);
      EXPECT_EQ(std::u16string(p.pDriverName), u"Scriva K350 PCL6");
      EXPECT_EQ(std::u16string(p.pDatatype), u"RAW");
      EXPECT_EQ(p.pDevMode, nullptr);
    }
  }
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterW(printer_, 3, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
  EXPECT_FALSE(GetPrinterW(reinterpret_cast<HANDLE>(0x55), 1, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// The printer's default devmode (SetPrinterW level 8): kept in the root's
// registry with the printer, answered by levels 2 and 8 after the record's
// strings, forgotten with a null devmode; a devmode too short to name its
// size is refused and changes nothing.
TEST_F(UiTest, StoredDefaultDevmode) {
  std::vector<BYTE> dm(220 + 30);
  const WORD size = 220, extra = 30;
  std::memcpy(dm.data() + 68, &size, sizeof size);
  std::memcpy(dm.data() + 70, &extra, sizeof extra);
  for (size_t i = 0; i < dm.size(); ++i)
    if (i < 68 || i > 71) dm[i] = static_cast<BYTE>(i * 7);
  PRINTER_INFO_8W set{dm.data()};
  ASSERT_TRUE(SetPrinterW(printer_, 8, reinterpret_cast<LPBYTE>(&set), 0)) << GetLastError();
  auto stored = [&](HANDLE printer, DWORD level) {
    DWORD needed = 0;
    GetPrinterW(printer, level, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (!GetPrinterW(printer, level, buffer.data(), needed, &needed)) return std::vector<BYTE>{0xEE};
    void* at = nullptr;
    if (level == 2) {
      PRINTER_INFO_2W p;
      std::memcpy(&p, buffer.data(), sizeof p);
      at = p.pDevMode;
      EXPECT_EQ(std::u16string(p.pPrinterName), kPrinter) << "the strings stay whole";
    } else {
      PRINTER_INFO_8W p;
      std::memcpy(&p, buffer.data(), sizeof p);
      at = p.pDevMode;
    }
    if (at == nullptr) return std::vector<BYTE>{};
    EXPECT_EQ(reinterpret_cast<uintptr_t>(at) % 8, 0u);
    const BYTE* b = static_cast<const BYTE*>(at);
    EXPECT_LE(b + dm.size(), buffer.data() + buffer.size());
    return std::vector<BYTE>(b, b + dm.size());
  };
  EXPECT_EQ(stored(printer_, 2), dm);
  EXPECT_EQ(stored(printer_, 8), dm);
  HANDLE again = OpenPrinter(kPrinter);
  EXPECT_EQ(stored(again, 2), dm) << "kept for the printer, not the handle";

  std::vector<BYTE> shortDm(dm);
  const WORD tiny = 40;
  std::memcpy(shortDm.data() + 68, &tiny, sizeof tiny);
  PRINTER_INFO_8W bad{shortDm.data()};
  EXPECT_FALSE(SetPrinterW(printer_, 8, reinterpret_cast<LPBYTE>(&bad), 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(SetPrinterW(printer_, 2, reinterpret_cast<LPBYTE>(&set), 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
  EXPECT_EQ(stored(printer_, 8), dm) << "a refused call changes nothing";

  PRINTER_INFO_8W none{nullptr};
  ASSERT_TRUE(SetPrinterW(printer_, 8, reinterpret_cast<LPBYTE>(&none), 0));
  EXPECT_EQ(stored(printer_, 2), std::vector<BYTE>{});
}

TEST(WindowData, ValuesPerWindowAndIndex) {
  HWND a = reinterpret_cast<HWND>(0x10), b = reinterpret_cast<HWND>(0x20);
  EXPECT_EQ(GetWindowLongPtrW(a, GWLP_USERDATA), 0);
  EXPECT_EQ(SetWindowLongPtrW(a, GWLP_USERDATA, 7), 0);
  EXPECT_EQ(SetWindowLongPtrW(a, GWLP_USERDATA, 8), 7) << "the previous value";
  EXPECT_EQ(SetWindowLongPtrW(a, DWLP_USER, 9), 0);
  EXPECT_EQ(GetWindowLongPtrW(a, GWLP_USERDATA), 8);
  EXPECT_EQ(GetWindowLongPtrW(a, DWLP_USER), 9);
  EXPECT_EQ(GetWindowLongPtrW(b, GWLP_USERDATA), 0);
  EXPECT_EQ(SetWindowLongPtrW(nullptr, GWLP_USERDATA, 1), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_EQ(GetWindowLongPtrW(a, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
  KpForgetWindowData(a);
  EXPECT_EQ(GetWindowLongPtrW(a, GWLP_USERDATA), 0);
}

// ---- Font families ---------------------------------------------------------

struct Seen {
  std::u16string face, full, style;
  DWORD type;
  LONG weight;
};

int CALLBACK Collect(const LOGFONTW* font, const TEXTMETRICW* tm, DWORD type, LPARAM param) {
  auto* out = reinterpret_cast<std::vector<Seen>*>(param);
  const auto* bytes = reinterpret_cast<const BYTE*>(font);
  const auto* full = reinterpret_cast<const char16_t*>(bytes + sizeof(LOGFONTW));
  out->push_back({font->lfFaceName, full, full + LF_FULLFACESIZE, type, tm->tmWeight});
  return 1;
}
int CALLBACK StopAtOnce(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM param) {
  ++*reinterpret_cast<int*>(param);
  return 0;
}

class FontTest : public RootedTest {
 protected:
  void TearDown() override { KpSetFontFolder(nullptr); }
  std::vector<Seen> Enum(const char16_t* face, BYTE charset = DEFAULT_CHARSET) {
    LOGFONTW filter = {};
    filter.lfCharSet = charset;
    if (face) std::memcpy(filter.lfFaceName, face, std::char_traits<char16_t>::length(face) * 2);
    std::vector<Seen> out;
    EnumFontFamiliesExW(nullptr, &filter, Collect, reinterpret_cast<LPARAM>(&out), 0);
    return out;
  }
};

TEST_F(FontTest, TheDefaultFolderGivesTheDejaVuFamilies) {
  auto families = Enum(nullptr);
  std::vector<std::u16string> names;
  for (const Seen& s : families) {
    names.push_back(s.face);
    EXPECT_EQ(s.type, static_cast<DWORD>(TRUETYPE_FONTTYPE)) << std::string(s.face.begin(), s.face.end());
  }
  for (const char16_t* want : {u"DejaVu Sans", u"DejaVu Serif", u"DejaVu Sans Mono"})
    EXPECT_NE(std::find(names.begin(), names.end(), want), names.end());
  EXPECT_EQ(std::set<std::u16string>(names.begin(), names.end()).size(), names.size()) << "one call a family";

  auto faces = Enum(u"dejavu serif");
  ASSERT_GE(faces.size(), 2u);
  bool bold = false;
  for (const Seen& s : faces) {
    EXPECT_EQ(s.face, u"DejaVu Serif");
    bold = bold || (s.style == u"Bold" && s.weight == 700 && s.full == u"DejaVu Serif Bold");
  }
  EXPECT_TRUE(bold);
  EXPECT_TRUE(Enum(nullptr, 128).empty()) << "only the ANSI character set is offered";
  EXPECT_TRUE(Enum(u"No Such Family").empty());

  int calls = 0;
  EXPECT_EQ(EnumFontFamiliesExW(nullptr, nullptr, StopAtOnce, reinterpret_cast<LPARAM>(&calls), 0), 0);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(EnumFontFamiliesExW(nullptr, nullptr, nullptr, 0, 0), 0);
  EXPECT_EQ(EnumFontFamiliesExW(nullptr, nullptr, StopAtOnce, reinterpret_cast<LPARAM>(&calls), 1), 0);
}

// A folder with one TrueType family and one bitmap font: the stamp editor's
// list keeps only the TrueType faces.
TEST_F(FontTest, TheStampFontListKeepsOnlyTrueType) {
  std::string folder = root_.host("fonts");
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", folder + "/a.ttf");
  std::filesystem::copy_file("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", folder + "/b.ttf");
  WriteHostFile(folder + "/pixel.bdf",
                "STARTFONT 2.1\nFONT -Test-Pixel Test-Medium-R-Normal--8-80-75-75-C-80-ISO10646-1\n"
                "SIZE 8 75 75\nFONTBOUNDINGBOX 8 8 0 0\nSTARTPROPERTIES 4\nFAMILY_NAME \"Pixel Test\"\n"
                "WEIGHT_NAME \"Medium\"\nFONT_ASCENT 7\nFONT_DESCENT 1\nENDPROPERTIES\nCHARS 1\nSTARTCHAR A\n"
                "ENCODING 65\nSWIDTH 500 0\nDWIDTH 8 0\nBBX 8 8 0 0\nBITMAP\nFF\n81\n81\n81\n81\n81\n81\nFF\n"
                "ENDCHAR\nENDFONT\n");
  WriteHostFile(folder + "/notes.txt", "not a font");
  ASSERT_TRUE(KpSetFontFolder(folder.c_str()));

  auto families = Enum(nullptr);
  ASSERT_EQ(families.size(), 2u);
  EXPECT_EQ(families[0].face, u"DejaVu Sans");
  EXPECT_EQ(families[1].face, u"Pixel Test");
  EXPECT_EQ(families[1].type, static_cast<DWORD>(RASTER_FONTTYPE));

  UIFONTINFO* list = uiCreateFontInfo(nullptr);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count, 2u);
  EXPECT_EQ(std::u16string(list->fonts[0].lfFaceName), u"DejaVu Sans");
  EXPECT_EQ(list->fonts[0].lfWeight, 400);
  EXPECT_EQ(list->fonts[1].lfWeight, 700);
  uiFreeFontInfo(list);

  ASSERT_TRUE(KpSetFontFolder(root_.host("empty").c_str()));
  EXPECT_TRUE(Enum(nullptr).empty());
}

}  // namespace
}  // namespace kestrel::test::ui

namespace kestrel::test::ui {
namespace {

// GetFormW level 1 with the spooler's size protocol.
TEST_F(UiTest, GetFormAnswersOneFormWithItsSizeProtocol) {
  DWORD needed = 0;
  EXPECT_FALSE(GetFormW(printer_, W(u"a4"), 1, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, sizeof(FORM_INFO_1W) + 6u);
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(GetFormW(printer_, W(u"a4"), 1, buffer.data(), needed, &needed));
  FORM_INFO_1W form;
  std::memcpy(&form, buffer.data(), sizeof form);
  EXPECT_EQ(std::u16string(form.pName), u"A4");
  EXPECT_EQ(form.Size.cx, 210000);
  EXPECT_EQ(form.Size.cy, 297000);
  EXPECT_EQ(form.Flags, static_cast<DWORD>(FORM_BUILTIN));

  FORM_INFO_1W mine{FORM_USER, W(u"Mine"), {50000, 60000}, {1000, 1000, 49000, 59000}};
  ASSERT_TRUE(AddFormW(printer_, 1, reinterpret_cast<LPBYTE>(&mine)));
  buffer.assign(512, 0);
  ASSERT_TRUE(GetFormW(printer_, W(u"MINE"), 1, buffer.data(), 512, &needed));
  std::memcpy(&form, buffer.data(), sizeof form);
  EXPECT_EQ(form.ImageableArea.right, 49000);

  struct {
    HANDLE printer;
    LPWSTR name;
    DWORD level;
    DWORD error;
  } const refused[] = {{printer_, W(u"Nothing"), 1, ERROR_INVALID_FORM_NAME},
                       {printer_, W(u"A4"), 2, ERROR_INVALID_LEVEL},
                       {printer_, nullptr, 1, ERROR_INVALID_PARAMETER},
                       {reinterpret_cast<HANDLE>(0x99), W(u"A4"), 1, ERROR_INVALID_HANDLE}};
  for (const auto& r : refused) {
    EXPECT_FALSE(GetFormW(r.printer, r.name, r.level, buffer.data(), 512, &needed));
    EXPECT_EQ(GetLastError(), r.error);
  }
}

// The common property-sheet host: the reasons in order, the user's answer,
// only DESTROY after a refused INIT.
std::vector<WORD> g_reasons;
LONG g_initAnswer = 1;
LRESULT g_seenResult = -1;
LONG WINAPI RecordingSheet(PROPSHEETUI_INFO* info, LPARAM lParam) {
  g_reasons.push_back(info->Reason);
  if (info->Reason == PROPSHEETUI_REASON_INIT) {
    EXPECT_EQ(info->lParamInit, lParam);
    return g_initAnswer;
  }
  if (info->Reason == PROPSHEETUI_REASON_SET_RESULT) g_seenResult = reinterpret_cast<SETRESULT_INFO*>(lParam)->Result;
  return 1;
}

TEST_F(UiTest, CommonPropertySheetHostRunsTheReasonsInOrder) {
  ASSERT_TRUE(KpInstallModule("libcompstui.so", nullptr));
  HMODULE host = LoadLibraryA("compstui.dll");
  ASSERT_NE(host, nullptr);
  auto run = reinterpret_cast<PFNCOMMONPROPERTYSHEETUIW>(
      reinterpret_cast<void*>(GetProcAddress(host, "CommonPropertySheetUIW")));
  ASSERT_NE(run, nullptr);
  struct {
    LONG init;
    LRESULT pressed;
    LONG answer;
    DWORD result;
    std::vector<WORD> reasons;
  } const cases[] = {
      {1, CPSUI_OK, 1, CPSUI_OK, {0, 1, 3, 2}},
      {1, CPSUI_CANCEL, 1, CPSUI_CANCEL, {0, 1, 3, 2}},
      {-1, CPSUI_OK, ERR_CPSUI_GETLASTERROR, CPSUI_CANCEL, {0, 2}},
  };
  for (const auto& c : cases) {
    g_reasons.clear();
    g_initAnswer = c.init;
    KpCompstuiReset();
    KpCompstuiSetUserResult(c.pressed);
    DWORD result = 99;
    EXPECT_EQ(run(nullptr, RecordingSheet, 1234, &result), c.answer);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(g_reasons, c.reasons);
    EXPECT_EQ(KpCompstuiCalls(nullptr, 0), c.reasons.size());
  }
  EXPECT_EQ(g_seenResult, CPSUI_CANCEL);
  KpCompstuiReset();
  FreeLibrary(host);
}

}  // namespace
}  // namespace kestrel::test::ui
