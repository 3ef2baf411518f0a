// An application's document through the DC stand-in, kestrelui's document
// events and kestrelkm: the CreateDC devmode, the escapes in their order
// with their sizes and bytes, the job in the renderer's stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "docevent_fixture.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/faxlist.h"
#include "kestrel/core/gsb_ctrl.h"
#include "kestrel/core/nondev.h"
#include "kestrel/core/papdat.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/render/km_escape.h"
#include "kestrel/ui/docevent.h"
#include "kplatform/byte_order.h"
#include "kplatform/kwindows.h"
#include "kplatform/user32_messagebox.h"
#include "kplatform/winspool_printer.h"
#include "kplatform/user32_window.h"
#include "kplatform/winspool_monitor.h"
#include "pclxl_checker.h"

namespace kestrel::test::docevent {
namespace {

// The escapes of StartDoc, StartDocPost, and the block inside the latter.
const std::vector<LONG> kStartDoc = {KM_ESC_SET_STARTDOC_FLAG, KM_ESC_GET_DEVMODE, KM_ESC_GET_PESCAPE_STATUS,
                                     KM_ESC_GET_GSBDATA,       KM_ESC_GET_IS_FAX,  KM_ESC_SET_DEVMODE};
const std::vector<LONG> kBlockHead = {KM_ESC_SET_STATUS, KM_ESC_SET_LETTER_FLAG, KM_ESC_SET_DOC_NAME,
                                      KM_ESC_SET_DEVMODE, KM_ESC_SET_PRINTER_DATA, KM_ESC_SET_HEADER_FOOTER,
                                      KM_ESC_SET_PESCAPE_STATUS};

std::vector<LONG> Join(std::initializer_list<std::vector<LONG>> parts) {
  std::vector<LONG> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::vector<LONG> PlainPost() {
  return Join({{KM_ESC_QUERY_EMFSPOOL, KM_ESC_GET_DEVMODE}, kBlockHead, {KM_ESC_SET_CSDX, KM_ESC_SET_STATUS}});
}

const Escape* Find(const std::vector<Escape>& escapes, LONG code, size_t nth = 0) {
  for (const Escape& e : escapes)
    if (e.code == code && nth-- == 0) return &e;
  return nullptr;
}

DOCINFOW Doc(LPCWSTR name) { return DOCINFOW{sizeof(DOCINFOW), name, nullptr, nullptr, 0}; }

// ---- The CreateDC devmode

struct TrailerCase {
  const char* name;
  int input;          // 0 none, 1 the 1556-byte form, 2 5464 with the marker, 3 5464 without it
  bool appMargins;    // DDM 387
  bool storedMargin;  // a per-user margin record for the paper
};

class TrailerTest : public DocEventTest, public ::testing::WithParamInterface<TrailerCase> {};

TEST_P(TrailerTest, CreateDcPreBuildsTheTrailerAndPostFreesOnlyItsBlock) {
  const TrailerCase& c = GetParam();
  HANDLE printer = queue_.printer;
  // A devmode to start from: PRE's own answer for no devmode.
  void* base = nullptr;
  DOCEVENT_CREATEDCPRE pre{nullptr, const_cast<LPWSTR>(kPrinter), nullptr, FALSE};
  ASSERT_EQ(Event()(printer, nullptr, DOCUMENTEVENT_CREATEDCPRE, sizeof pre, &pre, sizeof base, &base), 1);
  ASSERT_NE(base, nullptr);
  std::vector<BYTE> input(static_cast<BYTE*>(base), static_cast<BYTE*>(base) + KM_CREATEDC_SIZE);
  ASSERT_EQ(Event()(printer, nullptr, DOCUMENTEVENT_CREATEDCPOST, sizeof base, &base, 0, nullptr), 1);
  EXPECT_EQ(base, nullptr) << "POST frees PRE's block and clears the pointer";
  ASSERT_EQ(Event()(printer, nullptr, DOCUMENTEVENT_DELETEDC, 0, nullptr, 0, nullptr), 1);

  ASSERT_TRUE(ddm_SetNumber(DDM_APP_MARGINS, input.data(), nullptr, c.appMargins ? 1 : 0));
  LONG form = 0;
  ASSERT_TRUE(ddm_GetNumber(DDM_PAPERSIZE, input.data(), nullptr, &form));
  if (c.storedMargin) {
    WORD paper = 0;
    ASSERT_EQ(form_GetPaperIDByFormID(printer, static_cast<WORD>(form), &paper), 1);
    const WORD margins[4] = {11, 22, 33, 44};  // top, bottom, left, right
    ASSERT_TRUE(PpMgn_SetMargin(printer, queue_.ddd, paper, margins));
  }
  const void* given = nullptr;
  if (c.input == 1) {
    input.resize(NRV_DEVMODE_SIZE_KIND1);
    ASSERT_TRUE(ddm_SetNumber(DDM_DRIVEREXTRA, input.data(), nullptr, NRV_DEVMODE_EXTRA));
    given = input.data();
  } else if (c.input >= 2) {
    if (c.input == 3) kp_StoreU16(input.data() + KM_TRAILER_MARKER, 0);
    given = input.data();
  }
  size_t blocks = KpGlobalBlockCount();
  void* out = nullptr;
  pre.pdm = static_cast<DEVMODEW*>(const_cast<void*>(given));
  ASSERT_EQ(Event()(printer, nullptr, DOCUMENTEVENT_CREATEDCPRE, sizeof pre, &pre, sizeof out, &out), 1);
  if (c.input == 2) {
    EXPECT_EQ(out, nullptr) << "an extended devmode passes unchanged";
  } else {
    ASSERT_NE(out, nullptr);
    const BYTE* b = static_cast<const BYTE*>(out);
    EXPECT_EQ(kp_LoadU16(b + KM_TRAILER_MARKER), 24);
    EXPECT_EQ(kp_LoadU16(b + offsetof(DEVMODEW, dmDriverExtra)), 5244);
    EXPECT_EQ(kp_LoadU16(b + offsetof(DEVMODEW, dmSize)) + kp_LoadU16(b + offsetof(DEVMODEW, dmDriverExtra)), 5464);
    EXPECT_EQ(kp_LoadU16(b + KM_TRAILER_ZERO), 0);
    EXPECT_LE(kp_LoadU32(b + KM_TRAILER_EMULATION), 1u);
    EXPECT_LE(kp_LoadU32(b + KM_TRAILER_PRECONFIG), 1u);
    WORD words[6];
    for (int i = 0; i < 6; ++i) words[i] = kp_LoadU16(b + KM_TRAILER_FORM_ID + 2 * i);
    if (!c.appMargins) {
      for (WORD w : words) EXPECT_EQ(w, 0) << "DDM 387 clear: the margin part stays zero";
    } else {
      EXPECT_EQ(words[0], static_cast<WORD>(form));
      EXPECT_NE(words[1], 0);
      if (c.storedMargin) {
        // left, right, top, bottom from the record's top, bottom, left, right
        EXPECT_EQ(words[2], 33);
        EXPECT_EQ(words[3], 44);
        EXPECT_EQ(words[4], 11);
        EXPECT_EQ(words[5], 22);
      } else {
        EXPECT_FALSE(words[2] == 46 && words[3] == 46 && words[4] == 46 && words[5] == 46)
            << "the paper's default margins, not the fallback";
      }
    }
  }
  void* post = out;
  ASSERT_EQ(Event()(printer, nullptr, DOCUMENTEVENT_CREATEDCPOST, sizeof post, &post, 0, nullptr), 1);
  ASSERT_EQ(Event()(printer, nullptr, DOCUMENTEVENT_DELETEDC, 0, nullptr, 0, nullptr), 1);
  EXPECT_EQ(KpGlobalBlockCount(), blocks) << "no block left";
  EXPECT_EQ(input.size() >= NRV_DEVMODE_SIZE_KIND1, true) << "the application's devmode is the test's own";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrailerTest,
    ::testing::Values(TrailerCase{"none", 0, false, false}, TrailerCase{"kind1", 1, false, false},
                      TrailerCase{"extended", 2, false, false}, TrailerCase{"unmarked", 3, false, false},
                      TrailerCase{"marginsDefault", 3, true, false}, TrailerCase{"marginsStored", 3, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

// An application's bare devmode merged at CreateDC with the queue's member
// 5201 (emulation) on and no "[DME,1]" section in the configuration file:
// the emulation's default merge rules decide the fields (collate, default
// source and resolution taken whether the application named them or not;
// its media type never, which this model does not take at all), and the
// source is not converted. 5201 off: only the fields the application named.
TEST_F(DocEventTest, EmulationWithoutItsSectionMergesByTheDefaultRules) {
  HANDLE printer = queue_.printer;
  void* base = nullptr;
  DOCEVENT_CREATEDCPRE pre{nullptr, const_cast<LPWSTR>(kPrinter), nullptr, FALSE};
  ASSERT_EQ(Event()(printer, nullptr, DOCUMENTEVENT_CREATEDCPRE, sizeof pre, &pre, sizeof base, &base), 1);
  const std::vector<BYTE> defaults(static_cast<BYTE*>(base), static_cast<BYTE*>(base) + KM_CREATEDC_SIZE);
  Event()(printer, nullptr, DOCUMENTEVENT_CREATEDCPOST, sizeof base, &base, 0, nullptr);
  Event()(printer, nullptr, DOCUMENTEVENT_DELETEDC, 0, nullptr, 0, nullptr);
  auto number = [](const std::vector<BYTE>& dm, WORD id) {
    LONG v = -1;
    EXPECT_TRUE(ddm_GetNumber(id, const_cast<BYTE*>(dm.data()), nullptr, &v)) << id;
    return v;
  };
  constexpr LONG kDpi600 = 39322200, kDpi1200 = 78644400;  // the model's two resolutions
  ASSERT_EQ(number(defaults, DDM_COLLATE), 1);
  ASSERT_EQ(number(defaults, DDM_DEFAULTSOURCE), 7);
  ASSERT_EQ(number(defaults, DDM_RESOLUTION), kDpi600);

  // The application's devmode: 220 bytes naming only the orientation, with
  // collate off, tray 2 and 1200 dpi in the fields it does not name.
  std::vector<BYTE> app(defaults.begin(), defaults.begin() + NRV_DEVMODE_PUBLIC_SIZE);
  kp_StoreU16(app.data() + offsetof(DEVMODEW, dmDriverExtra), 0);
  kp_StoreU32(app.data() + offsetof(DEVMODEW, dmFields), DM_ORIENTATION);
  kp_StoreU16(app.data() + offsetof(DEVMODEW, dmCollate), 0);
  kp_StoreU16(app.data() + offsetof(DEVMODEW, dmDefaultSource), 3);
  kp_StoreU16(app.data() + offsetof(DEVMODEW, dmPrintQuality), 1200);
  kp_StoreU16(app.data() + offsetof(DEVMODEW, dmYResolution), 1200);

  struct Case {
    LONG emulation;  // member 5201 of the queue's printer data
    LONG collate;
    LONG source;
    LONG resolution;
  } const cases[] = {{0, 1, 7, kDpi600}, {1, 0, 3, kDpi1200}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.emulation);
    std::vector<BYTE> record(PD_RECORD_SIZE);
    ASSERT_TRUE(pd_GetPrinterData(printer, record.data(), queue_.ddd));
    ASSERT_TRUE(ddm_SetNumber(DDM_EMULATION, nullptr, record.data(), c.emulation));
    ASSERT_TRUE(pd_SetPrinterData(printer, record.data(), queue_.ddd, 1));
    void* out = nullptr;
    pre.pdm = reinterpret_cast<DEVMODEW*>(app.data());
    ASSERT_EQ(Event()(printer, nullptr, DOCUMENTEVENT_CREATEDCPRE, sizeof pre, &pre, sizeof out, &out), 1);
    ASSERT_NE(out, nullptr);
    const std::vector<BYTE> merged(static_cast<BYTE*>(out), static_cast<BYTE*>(out) + KM_CREATEDC_SIZE);
    Event()(printer, nullptr, DOCUMENTEVENT_CREATEDCPOST, sizeof out, &out, 0, nullptr);
    Event()(printer, nullptr, DOCUMENTEVENT_DELETEDC, 0, nullptr, 0, nullptr);
    EXPECT_EQ(number(merged, DDM_COLLATE), c.collate);
    EXPECT_EQ(number(merged, DDM_DEFAULTSOURCE), c.source);
    EXPECT_EQ(number(merged, DDM_RESOLUTION), c.resolution);
  }
}

TEST_F(DocEventTest, PostNeverFreesTheApplicationsDevmode) {
  std::vector<BYTE> app(NRV_DEVMODE_SIZE_KIND1);
  void* pointer = app.data();
  // Handed to POST as if PRE had answered it: not PRE's block, kept.
  EXPECT_EQ(Event()(queue_.printer, nullptr, DOCUMENTEVENT_CREATEDCPOST, sizeof pointer, &pointer, 0, nullptr), 1);
  EXPECT_EQ(pointer, app.data());
}

// ---- A plain job through the DC stand-in

TEST_F(DocEventTest, PlainJobSendsTheBlockInOrderAndTheStreamCarriesIt) {
  HDC hdc = CreateDc();
  ASSERT_NE(hdc, nullptr) << GetLastError();
  EXPECT_EQ(docevent_RecordCount(), 0u) << "the test process's own list is not kestrelui's";
  DOCINFOW doc = Doc(u"Quarterly report");
  ASSERT_GT(StartDocW(hdc, &doc), 0);
  DWORD afterStart = KpDcLogCount(hdc);
  std::vector<Escape> start = Escapes(hdc);
  EXPECT_EQ(Codes(start), Join({kStartDoc, PlainPost()}));
  // Sizes and bytes.
  const Escape* status0 = Find(start, KM_ESC_SET_STATUS, 0);
  const Escape* status1 = Find(start, KM_ESC_SET_STATUS, 1);
  ASSERT_TRUE(status0 && status1);
  EXPECT_EQ(status0->in, (std::vector<BYTE>{0, 0}));
  EXPECT_EQ(status1->in, (std::vector<BYTE>{1, 0}));
  const Escape* name = Find(start, KM_ESC_SET_DOC_NAME);
  ASSERT_TRUE(name);
  EXPECT_EQ(name->cbIn, 522u);
  std::u16string sent(reinterpret_cast<const char16_t*>(name->in.data()));
  EXPECT_EQ(sent, u"Quarterly report");
  EXPECT_EQ(Find(start, KM_ESC_SET_DEVMODE)->cbIn, 5440u);
  EXPECT_EQ(Find(start, KM_ESC_SET_PRINTER_DATA)->cbIn, 4736u);
  EXPECT_EQ(Find(start, KM_ESC_SET_HEADER_FOOTER)->cbIn, 768u);
  EXPECT_EQ(Find(start, KM_ESC_SET_PESCAPE_STATUS)->cbIn, 12u);
  const Escape* csdx = Find(start, KM_ESC_SET_CSDX);
  ASSERT_TRUE(csdx);
  ASSERT_EQ(csdx->cbIn, 2112u);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(csdx->in.data() + KM_CSDX_DOCUMENT)), u"Quarterly report");
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(csdx->in.data() + KM_CSDX_PRINTER)), kPrinter);
  const Escape* letter = Find(start, KM_ESC_SET_LETTER_FLAG);
  ASSERT_TRUE(letter);
  EXPECT_EQ(letter->cbIn, 2u);
  for (const Escape& e : start) EXPECT_GE(e.result, 1) << "escape 0x" << std::hex << e.code;

  for (int page = 0; page < 2; ++page) {
    ASSERT_GT(StartPage(hdc), 0);
    ASSERT_GT(EndPage(hdc), 0);
  }
  std::vector<Escape> pages = Escapes(hdc, afterStart);
  EXPECT_EQ(Codes(pages), (std::vector<LONG>{KM_ESC_GET_DEVMODE, KM_ESC_SET_APP_MARGIN, KM_ESC_GET_PAGE_INFO,
                                             KM_ESC_GET_DEVMODE, KM_ESC_SET_APP_MARGIN, KM_ESC_GET_PAGE_INFO}));
  EXPECT_EQ(pages[1].cbIn, 10u);
  EXPECT_EQ(pages[2].cbIn, 4u);
  EXPECT_EQ(pages[2].cbOut, 44u);
  EXPECT_EQ(kp_LoadU32(pages[2].in.data()), 0u) << "0 at EndPage";
  DWORD beforeEnd = KpDcLogCount(hdc);
  ASSERT_GT(EndDoc(hdc), 0);
  std::vector<Escape> end = Escapes(hdc, beforeEnd);
  ASSERT_EQ(end.size(), 1u);
  EXPECT_EQ(kp_LoadU32(end[0].in.data()), 1u) << "1 at EndDoc";

  std::vector<std::pair<LONG, LONG>> expected = {
      {DOCUMENTEVENT_QUERYFILTER, 0}, {DOCUMENTEVENT_CREATEDCPRE, 1}, {DOCUMENTEVENT_CREATEDCPOST, 1},
      {DOCUMENTEVENT_STARTDOC, 1},    {DOCUMENTEVENT_STARTDOCPOST, 1}, {DOCUMENTEVENT_STARTPAGE, 1},
      {DOCUMENTEVENT_ENDPAGE, 1},     {DOCUMENTEVENT_STARTPAGE, 1},    {DOCUMENTEVENT_ENDPAGE, 1},
      {DOCUMENTEVENT_ENDDOC, 1},      {DOCUMENTEVENT_ENDDOCPOST, 0}};
  EXPECT_EQ(Events(hdc), expected);

  // The renderer's stream: the document name (152) and StartDoc's devmode
  // (150), and the strict checker's renderer-stream mode passes it.
  std::vector<BYTE> stream = Output(hdc);
  pclxl_check::Listing listing;
  pclxl_check::Report report = pclxl_check::check(stream, pclxl_check::Mode::RendererStream, &listing);
  EXPECT_TRUE(report.ok()) << report.text();
  auto names = listing.commands(152);
  ASSERT_FALSE(names.empty());
  std::u16string streamed;
  for (size_t i = 0; i + 1 < names.front()->data.size(); i += 2) {
    char16_t ch = static_cast<char16_t>(kp_LoadU16(names.front()->data.data() + i));
    if (!ch) break;
    streamed += ch;
  }
  EXPECT_EQ(streamed, u"Quarterly report");
  EXPECT_FALSE(listing.commands(150).empty());
  EXPECT_TRUE(DeleteDC(hdc));
  EXPECT_EQ(KpDcCount(), 0u);
}

TEST_F(DocEventTest, ApplicationMarginsReachTheStream) {
  // DDM 387 set and margins stored for the paper: the CreateDC trailer and
  // every SetAppMargin carry them, and the layout info (154) of each page
  // has them as left, right, top, bottom and the paper id.
  void* base = nullptr;
  DOCEVENT_CREATEDCPRE pre{nullptr, const_cast<LPWSTR>(kPrinter), nullptr, FALSE};
  ASSERT_EQ(Event()(queue_.printer, nullptr, DOCUMENTEVENT_CREATEDCPRE, sizeof pre, &pre, sizeof base, &base), 1);
  std::vector<BYTE> dm(static_cast<BYTE*>(base), static_cast<BYTE*>(base) + KM_CREATEDC_SIZE);
  Event()(queue_.printer, nullptr, DOCUMENTEVENT_CREATEDCPOST, sizeof base, &base, 0, nullptr);
  Event()(queue_.printer, nullptr, DOCUMENTEVENT_DELETEDC, 0, nullptr, 0, nullptr);
  ASSERT_TRUE(ddm_SetNumber(DDM_APP_MARGINS, dm.data(), nullptr, 1));
  kp_StoreU16(dm.data() + KM_TRAILER_MARKER, 0);  // rebuilt at CreateDC
  LONG form = 0;
  ASSERT_TRUE(ddm_GetNumber(DDM_PAPERSIZE, dm.data(), nullptr, &form));
  WORD paper = 0;
  ASSERT_EQ(form_GetPaperIDByFormID(queue_.printer, static_cast<WORD>(form), &paper), 1);
  const WORD margins[4] = {110, 120, 130, 140};  // top, bottom, left, right
  ASSERT_TRUE(PpMgn_SetMargin(queue_.printer, queue_.ddd, paper, margins));
  HDC hdc = CreateDc(reinterpret_cast<const DEVMODEW*>(dm.data()));
  ASSERT_NE(hdc, nullptr);
  DOCINFOW doc = Doc(u"Margins");
  ASSERT_GT(StartDocW(hdc, &doc), 0);
  ASSERT_GT(StartPage(hdc), 0);
  ASSERT_GT(EndPage(hdc), 0);
  ASSERT_GT(EndDoc(hdc), 0);
  std::vector<Escape> all = Escapes(hdc);
  const Escape* set = Find(all, KM_ESC_SET_APP_MARGIN);
  ASSERT_TRUE(set);
  EXPECT_EQ(set->in, (std::vector<BYTE>{static_cast<BYTE>(paper), static_cast<BYTE>(paper >> 8), 130, 0, 140, 0, 110,
                                        0, 120, 0}));
  pclxl_check::Listing listing;
  pclxl_check::Report report = pclxl_check::check(Output(hdc), pclxl_check::Mode::RendererStream, &listing);
  EXPECT_TRUE(report.ok()) << report.text();
  auto layouts = listing.commands(154);
  ASSERT_FALSE(layouts.empty());
  const std::vector<uint8_t>& l = layouts.back()->data;
  ASSERT_GE(l.size(), 162u);
  EXPECT_EQ(kp_LoadU16(l.data() + 152), 130);
  EXPECT_EQ(kp_LoadU16(l.data() + 154), 140);
  EXPECT_EQ(kp_LoadU16(l.data() + 156), 110);
  EXPECT_EQ(kp_LoadU16(l.data() + 158), 120);
  EXPECT_EQ(kp_LoadU16(l.data() + 160), paper);
  EXPECT_TRUE(DeleteDC(hdc));
}

TEST_F(DocEventTest, NullDocInfoGivesAnEmptyNameAndLongNamesAreCut) {
  for (int round = 0; round < 2; ++round) {
    HDC hdc = CreateDc();
    ASSERT_NE(hdc, nullptr);
    std::u16string longName(300, u'x');
    DOCINFOW doc = Doc(longName.c_str());
    ASSERT_GT(StartDocW(hdc, round == 0 ? nullptr : &doc), 0);
    std::vector<Escape> all = Escapes(hdc);
    const Escape* name = Find(all, KM_ESC_SET_DOC_NAME);
    ASSERT_TRUE(name);
    std::u16string sent(reinterpret_cast<const char16_t*>(name->in.data()));
    EXPECT_EQ(sent.size(), round == 0 ? 0u : 260u);
    EXPECT_GT(AbortDoc(hdc), 0);
    EXPECT_TRUE(DeleteDC(hdc));
  }
}

// ---- The StartDocPost block's variants

TEST_F(DocEventTest, JclHeaderTableKeepsItsLayout) {
  // DDM 1333 set in the application's devmode: one header, prepared ahead.
  void* base = nullptr;
  DOCEVENT_CREATEDCPRE pre{nullptr, const_cast<LPWSTR>(kPrinter), nullptr, FALSE};
  ASSERT_EQ(Event()(queue_.printer, nullptr, DOCUMENTEVENT_CREATEDCPRE, sizeof pre, &pre, sizeof base, &base), 1);
  std::vector<BYTE> dm(static_cast<BYTE*>(base), static_cast<BYTE*>(base) + KM_CREATEDC_SIZE);
  Event()(queue_.printer, nullptr, DOCUMENTEVENT_CREATEDCPOST, sizeof base, &base, 0, nullptr);
  Event()(queue_.printer, nullptr, DOCUMENTEVENT_DELETEDC, 0, nullptr, 0, nullptr);
  ASSERT_TRUE(ddm_SetNumber(DDM_NO_APP_COPY_COUNT, dm.data(), nullptr, 1));
  HDC hdc = CreateDc(reinterpret_cast<const DEVMODEW*>(dm.data()));
  ASSERT_NE(hdc, nullptr);
  DOCINFOW doc = Doc(u"Header");
  ASSERT_GT(StartDocW(hdc, &doc), 0);
  std::vector<Escape> all = Escapes(hdc);
  const Escape* table = Find(all, KM_ESC_SET_JCL_HEADER);
  ASSERT_TRUE(table) << "DDM 1333 set: a table";
  const BYTE* t = table->in.data();
  int32_t count = kp_LoadI32(t);
  int32_t entry = kp_LoadI32(t + 4);
  ASSERT_EQ(count, 1);
  ASSERT_GT(entry, 4);
  EXPECT_EQ(table->cbIn, KM_JCL_TableSize(1, entry));
  int32_t length = kp_LoadI32(t + KM_JCL_EntryOffset(0, entry));
  ASSERT_GT(length, 0);
  EXPECT_LE(length, entry - 4) << "the text within its entry";
  std::string text(reinterpret_cast<const char*>(t + KM_JCL_EntryOffset(0, entry) + 4), static_cast<size_t>(length));
  EXPECT_NE(text.find("Header"), std::string::npos) << "the document name in the header's comment";
  // The table comes before SetCSDX, after SetPEscapeStatus.
  std::vector<LONG> codes = Codes(all);
  auto at = std::find(codes.begin(), codes.end(), KM_ESC_SET_JCL_HEADER);
  EXPECT_EQ(*(at + 1), KM_ESC_SET_CSDX);
  EXPECT_GT(EndDoc(hdc), 0);
  EXPECT_TRUE(DeleteDC(hdc));
}

// A fax list of `count` recipients, numbers "5550100", "5550101", ...
std::vector<BYTE> FaxList(WORD count) {
  std::vector<BYTE> list(FAXLIST_HEAD_SIZE + FAXLIST_ENTRY_SIZE * count, 0);
  std::memcpy(list.data(), KM_FAX_TAG, sizeof KM_FAX_TAG);
  kp_StoreU16(list.data() + KM_FAX_COUNT_OFFSET, count);
  for (WORD i = 0; i < count; ++i) {
    std::u16string number = u"555010" + std::u16string(1, static_cast<char16_t>(u'0' + i));
    std::memcpy(list.data() + FAXLIST_HEAD_SIZE + FAXLIST_ENTRY_SIZE * i + FAXENTRY_NUMBER, number.data(),
                number.size() * 2);
  }
  return list;
}

// Stores a fax list as the queue's (the non-devmode record's list).
void StoreFaxList(const ModelAQueue& queue, std::vector<BYTE>& fax) {
  std::vector<BYTE> nondev(NRV_NONDEVMODE_SIZE);
  ASSERT_TRUE(nonDev_SetDefaultData(queue.printer, nondev.data()));
  ASSERT_TRUE(nonDev_SaveNonDevDat(queue.printer, queue.ddd, nullptr, NONDEV_LOCATION_PRINTERDATA, fax.data(),
                                   static_cast<DWORD>(fax.size()), nondev.data(), nullptr, 0));
}

// The driver's CreateDC devmode of the printer (the record CREATEDCPRE
// makes is deleted again), for a test to change and create DCs with.
void DriverDevmode(PFN_DrvDocumentEvent event, HANDLE printer, std::vector<BYTE>* dm) {
  void* base = nullptr;
  DOCEVENT_CREATEDCPRE pre{nullptr, const_cast<LPWSTR>(kPrinter), nullptr, FALSE};
  ASSERT_EQ(event(printer, nullptr, DOCUMENTEVENT_CREATEDCPRE, sizeof pre, &pre, sizeof base, &base), 1);
  dm->assign(static_cast<BYTE*>(base), static_cast<BYTE*>(base) + KM_CREATEDC_SIZE);
  event(printer, nullptr, DOCUMENTEVENT_CREATEDCPOST, sizeof base, &base, 0, nullptr);
  event(printer, nullptr, DOCUMENTEVENT_DELETEDC, 0, nullptr, 0, nullptr);
}

TEST_F(DocEventTest, FaxJobHeadersOnePerDestinationOrOneForAll) {
  // The queue's stored fax list (three recipients), a fax job (GetIsFax
  // answered 1, the fax job type DDM 334 = 5 on model A, a printer with fax:
  // device type 4, the fax kit installed), DDM 1333 set. One header a
  // destination carries that destination's number only; the one header
  // for all carries every number.
  std::vector<BYTE> fax = FaxList(3);
  StoreFaxList(queue_, fax);
  std::vector<BYTE> dm;
  DriverDevmode(Event(), queue_.printer, &dm);
  ASSERT_TRUE(ddm_SetNumber(DDM_NO_APP_COPY_COUNT, dm.data(), nullptr, 1));
  ASSERT_TRUE(ddm_SetNumber(DDM_JOBTYPE, dm.data(), nullptr, 5));
  ASSERT_TRUE(ddm_SetNumber(DDM_FAX_NAME_SOURCE, dm.data(), nullptr, 1));  // the fax is named by the document
  std::vector<BYTE> record(NRV_PRINTERDATA_SIZE);
  ASSERT_TRUE(pd_GetPrinterData(queue_.printer, record.data(), queue_.ddd));
  ASSERT_TRUE(ddm_SetNumber(DDM_OPTION_FAXKIT, nullptr, record.data(), 1));
  ASSERT_TRUE(pd_SetPrinterData(queue_.printer, record.data(), queue_.ddd, 1));
  EscapeScript script({{KM_ESC_GET_IS_FAX, 1, {1, 0, 0, 0}}});
  struct Row {
    LONG single;        // DDM 379
    LONG destinations;  // DDM 380
    int headers;        // 0: the block fails cleanly, no table
  } rows[] = {{0, 3, 3}, {1, 3, 1}, {0, 4, 0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.single * 10 + r.destinations);
    ASSERT_TRUE(ddm_SetNumber(DDM_FAX_SINGLE_HEADER, dm.data(), nullptr, r.single));
    ASSERT_TRUE(ddm_SetNumber(DDM_FAX_DESTINATION_COUNT, dm.data(), nullptr, r.destinations));
    HDC hdc = CreateDc(reinterpret_cast<const DEVMODEW*>(dm.data()));
    ASSERT_NE(hdc, nullptr);
    DOCINFOW doc = Doc(u"Fax");
    int started = StartDocW(hdc, &doc);
    std::vector<Escape> all = Escapes(hdc);
    const Escape* info = Find(all, KM_ESC_SET_FAX_ADDRESS_INFO);
    const Escape* table = Find(all, KM_ESC_SET_JCL_HEADER);
    if (r.headers == 0) {
      EXPECT_EQ(started, SP_ERROR) << "more destinations than the list holds";
      EXPECT_EQ(table, nullptr);
      EXPECT_EQ(all.back().code, KM_ESC_SET_STATUS) << "the block still ends";
    } else {
      ASSERT_GT(started, 0);
      ASSERT_TRUE(info);
      EXPECT_EQ(info->cbIn, fax.size());
      EXPECT_EQ(info->in, fax);
      ASSERT_TRUE(table);
      const BYTE* t = table->in.data();
      int32_t entry = kp_LoadI32(t + 4);
      ASSERT_EQ(kp_LoadI32(t), r.headers);
      EXPECT_EQ(table->cbIn, KM_JCL_TableSize(r.headers, entry));
      for (int i = 0; i < r.headers; ++i) {
        int32_t length = kp_LoadI32(t + KM_JCL_EntryOffset(i, entry));
        ASSERT_GT(length, 0);
        ASSERT_LE(length, entry - 4);
        std::string text(reinterpret_cast<const char*>(t + KM_JCL_EntryOffset(i, entry) + 4), length);
        EXPECT_NE(text.find("Fax"), std::string::npos) << "the header's comment names the document";
        for (int n = 0; n < 3; ++n) {
          const bool carried = r.headers == 1 || n == i;
          const std::string number = "555010" + std::to_string(n);
          EXPECT_EQ(text.find(number) != std::string::npos, carried) << "header " << i << ", " << number << ":\n"
                                                                      << text;
        }
      }
      EXPECT_GT(EndDoc(hdc), 0);
    }
    EXPECT_TRUE(DeleteDC(hdc));
  }
}

// ---- The document monitor at StartDocPost

// The monitor stand-in (kqdmtest installed as kqdm.dll, the library model
// A names), held loaded so that it keeps its script and log.
class MonitorDouble {
 public:
  MonitorDouble() {
    EXPECT_TRUE(KpInstallModule("libkqdmtest.so", u"kqdm.dll"));
    library_ = LoadLibraryW(u"kqdm.dll");
    EXPECT_NE(library_, nullptr);
    if (auto reset = Fn<void (*)(int)>("MarkTest_Reset")) reset(0);
  }
  ~MonitorDouble() {
    if (library_) FreeLibrary(library_);
  }
  MonitorDouble(const MonitorDouble&) = delete;
  MonitorDouble& operator=(const MonitorDouble&) = delete;
  void Fail(const char* step, int copy) {
    if (auto fail = Fn<void (*)(const char*, int)>("MarkTest_Fail")) fail(step, copy);
  }
  std::string Log() {
    auto read = Fn<int (*)(char*, int)>("MarkTest_Log");
    if (!read) return "";
    std::string log(16384, '\0');
    const int n = read(log.data(), static_cast<int>(log.size()));
    log.resize(std::min(log.size() - 1, static_cast<size_t>(std::max(0, n))));
    return log;
  }
  // The ids of the stand-in's "register copy N id M" lines, by copy.
  std::vector<std::string> Registered() {
    std::vector<std::string> ids;
    const std::string log = Log();
    for (size_t at = log.find("register copy "); at != std::string::npos; at = log.find("register copy ", at + 1)) {
      const size_t id = log.find(" id ", at) + 4;
      EXPECT_EQ(log.compare(at + 14, 1, std::to_string(ids.size())), 0) << "copies in order: " << log;
      ids.push_back(log.substr(id, log.find(' ', id) - id));
    }
    return ids;
  }

 private:
  template <typename F>
  F Fn(const char* name) {
    return library_ ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(library_, name))) : nullptr;
  }
  HMODULE library_ = nullptr;
};

// The printer-data value a job's registrations are handed off in.
std::u16string HandOffName(DWORD job) {
  const std::string digits = std::to_string(job);
  return u"BDDMJob" + std::u16string(digits.begin(), digits.end());
}

// The hand-off value of a job in the printer data (empty when there is none).
std::vector<BYTE> HandOffValue(HANDLE printer, DWORD job) {
  std::u16string name = HandOffName(job);
  DWORD type = 0, needed = 0;
  if (GetPrinterDataW(printer, name.data(), &type, nullptr, 0, &needed) != ERROR_MORE_DATA) return {};
  std::vector<BYTE> value(needed);
  EXPECT_EQ(GetPrinterDataW(printer, name.data(), &type, value.data(), needed, &needed), 0u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  return value;
}

TEST_F(DocEventTest, DocumentMonitorRegistersEachPreparedHeader) {
  // DDM 1333 (headers prepared here), the printer data's DDM 8201 and the
  // devmode's DDM 1321 set: StartDocPost registers one copy a header with
  // the model's monitor, the header of copy i carries its registration's
  // job control id, and the records go to the spooler side in the printer
  // data under the job id. A copy the monitor refuses, a block that fails
  // (StartDoc ends in AbortDoc) or an application's AbortDoc leave nothing
  // registered.
  std::vector<BYTE> fax = FaxList(3);
  StoreFaxList(queue_, fax);
  std::vector<BYTE> record(NRV_PRINTERDATA_SIZE);
  ASSERT_TRUE(pd_GetPrinterData(queue_.printer, record.data(), queue_.ddd));
  ASSERT_TRUE(ddm_SetNumber(DDM_DOCMONITOR_REGISTER, nullptr, record.data(), 1));
  ASSERT_TRUE(pd_SetPrinterData(queue_.printer, record.data(), queue_.ddd, 1));
  std::vector<BYTE> dm;
  DriverDevmode(Event(), queue_.printer, &dm);
  ASSERT_TRUE(ddm_SetNumber(DDM_NO_APP_COPY_COUNT, dm.data(), nullptr, 1));
  ASSERT_TRUE(ddm_SetNumber(DDM_COMMENT_SUPPRESS, dm.data(), nullptr, 1));
  ASSERT_TRUE(ddm_SetNumber(DDM_FAX_SINGLE_HEADER, dm.data(), nullptr, 0));
  ASSERT_TRUE(ddm_SetNumber(DDM_FAX_DESTINATION_COUNT, dm.data(), nullptr, 3));
  struct Row {
    const char* name;
    bool installed;     // the monitor (from this row on: the root keeps it)
    bool fax;           // a fax job to three destinations, one header each
    int refuseCopy;     // the monitor refuses this copy (-1: none)
    LONG refuse;        // an escape of the block the renderer refuses (0: none)
    bool appAbort;      // the application aborts after its first page
    size_t registered;  // registrations made
    bool kept;          // handed to the spooler side (else all withdrawn)
  };
  const Row rows[] = {{"no monitor installed", false, false, -1, 0, false, 0, false},
                      {"one header", true, false, -1, 0, false, 1, true},
                      {"three fax destinations", true, true, -1, 0, false, 3, true},
                      {"the monitor refuses the second copy", true, true, 1, 0, false, 1, false},
                      {"the block fails: StartDoc aborts", true, false, -1, KM_ESC_SET_CSDX, false, 1, false},
                      {"the application aborts", true, false, -1, 0, true, 1, false}};
  std::unique_ptr<MonitorDouble> monitor;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    if (r.installed) {
      monitor.reset();
      monitor = std::make_unique<MonitorDouble>();
      if (r.refuseCopy >= 0) monitor->Fail("register", r.refuseCopy);
    }
    std::vector<EscapeScript::Answer> answers;
    if (r.fax) answers.push_back({KM_ESC_GET_IS_FAX, 1, {1, 0, 0, 0}});
    if (r.refuse) answers.push_back({r.refuse, 0, {}});
    EscapeScript script(answers);
    HDC hdc = CreateDc(reinterpret_cast<const DEVMODEW*>(dm.data()));
    ASSERT_NE(hdc, nullptr);
    DOCINFOW doc = Doc(u"Watched");
    const int job = StartDocW(hdc, &doc);
    if (r.refuse) {
      EXPECT_EQ(job, SP_ERROR);
    } else {
      ASSERT_GT(job, 0);
    }
    if (r.appAbort) {
      ASSERT_GT(StartPage(hdc), 0);
      ASSERT_GT(EndPage(hdc), 0);
      EXPECT_GT(AbortDoc(hdc), 0);
    } else if (job > 0) {
      EXPECT_GT(EndDoc(hdc), 0);
    }
    // The registrations, the headers' job control ids, the hand-off.
    std::vector<std::string> ids = monitor ? monitor->Registered() : std::vector<std::string>{};
    const std::string log = monitor ? monitor->Log() : "";
    ASSERT_EQ(ids.size(), r.registered) << log;
    const bool carried = r.registered > 0 && r.refuseCopy < 0;  // the registration made it to the headers
    const std::vector<Escape> all = Escapes(hdc);
    const Escape* table = Find(all, KM_ESC_SET_JCL_HEADER);
    ASSERT_TRUE(table);
    const BYTE* t = table->in.data();
    const int32_t entry = kp_LoadI32(t + 4);
    ASSERT_EQ(kp_LoadI32(t), r.fax ? 3 : 1);
    for (int32_t i = 0; i < kp_LoadI32(t); ++i) {
      const int32_t length = kp_LoadI32(t + KM_JCL_EntryOffset(i, entry));
      const std::string text(reinterpret_cast<const char*>(t + KM_JCL_EntryOffset(i, entry) + 4), length);
      if (carried) {
        EXPECT_NE(text.find("@PJL SET JOBATTR=\"@JCID=" + ids[i] + "\"\n"), std::string::npos) << text;
      } else {
        EXPECT_EQ(text.find("@JCID="), std::string::npos) << text;
      }
    }
    if (r.kept) {
      EXPECT_EQ(log.find("withdraw"), std::string::npos) << log;
      std::vector<BYTE> value = HandOffValue(queue_.printer, static_cast<DWORD>(job));
      ASSERT_EQ(value.size(), 2 + r.registered * BRIGHTDESK_RECORD_SIZE);
      EXPECT_EQ(kp_LoadU16(value.data()), r.registered);
      for (size_t i = 0; i < r.registered; ++i) {
        const BYTE* rec = value.data() + 2 + i * BRIGHTDESK_RECORD_SIZE;
        EXPECT_EQ(std::to_string(kp_LoadU32(rec)), ids[i]);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(rec + BRIGHTDESK_JCID_OFFSET)), ids[i]);
      }
      // The spooler side would take them over; the test withdraws them.
      std::u16string name = HandOffName(static_cast<DWORD>(job));
      EXPECT_EQ(DeletePrinterDataW(queue_.printer, name.data()), 0u);
    } else {
      for (const std::string& id : ids) EXPECT_NE(log.find("withdraw " + id + "\n"), std::string::npos) << log;
      EXPECT_EQ(log.find("run "), std::string::npos) << log;
      if (job > 0) {
        EXPECT_TRUE(HandOffValue(queue_.printer, static_cast<DWORD>(job)).empty());
      }
    }
    EXPECT_TRUE(DeleteDC(hdc));
    if (monitor) monitor->Fail("", -1);
  }
}

TEST_F(DocEventTest, AFailingEscapeStillEndsTheBlockAndFailsStartDoc) {
  EscapeScript script({{KM_ESC_SET_DOC_NAME, 0, {}}});
  HDC hdc = CreateDc();
  ASSERT_NE(hdc, nullptr);
  DOCINFOW doc = Doc(u"Fails");
  EXPECT_EQ(StartDocW(hdc, &doc), SP_ERROR);
  std::vector<Escape> all = Escapes(hdc);
  std::vector<LONG> codes = Codes(all);
  ASSERT_FALSE(codes.empty());
  EXPECT_EQ(codes.back(), KM_ESC_SET_STATUS) << "the block ends with SetStatus 1";
  EXPECT_EQ(all.back().in, (std::vector<BYTE>{1, 0}));
  EXPECT_EQ(Find(all, KM_ESC_SET_DOC_NAME)->result, 0);
  EXPECT_TRUE(Find(all, KM_ESC_SET_CSDX)) << "the block goes on after a failure";
  std::vector<std::pair<LONG, LONG>> events = Events(hdc);
  EXPECT_EQ(events[4], (std::pair<LONG, LONG>(DOCUMENTEVENT_STARTDOCPOST, -1)));
  EXPECT_EQ(events[5].first, DOCUMENTEVENT_ABORTDOC);
  EXPECT_TRUE(DeleteDC(hdc));
}

TEST_F(DocEventTest, StartDocFailuresLeaveNothingBehind) {
  // Each escape StartDoc needs, refused by the renderer: StartDoc fails
  // before the renderer starts the document, the window is enabled again,
  // and DeleteDC leaves no record or block.
  HWND window = KpCreateTestWindow(nullptr, nullptr);
  KpSetActiveWindow(window);
  const LONG refused[] = {KM_ESC_SET_STARTDOC_FLAG, KM_ESC_GET_DEVMODE, KM_ESC_GET_PESCAPE_STATUS,
                          KM_ESC_GET_IS_FAX, KM_ESC_SET_DEVMODE};
  for (LONG code : refused) {
    SCOPED_TRACE(code);
    size_t blocks = KpGlobalBlockCount();
    HDC hdc = CreateDc();
    ASSERT_NE(hdc, nullptr);
    {
      EscapeScript script({{code, 0, {}}});
      DOCINFOW doc = Doc(u"Refused");
      EXPECT_EQ(StartDocW(hdc, &doc), SP_ERROR);
    }
    std::vector<std::pair<LONG, LONG>> events = Events(hdc);
    EXPECT_EQ(events.back(), (std::pair<LONG, LONG>(DOCUMENTEVENT_STARTDOC, -1)));
    EXPECT_TRUE(IsWindowEnabled(window));
    EXPECT_TRUE(DeleteDC(hdc));
    EXPECT_EQ(KpGlobalBlockCount(), blocks);
  }
  // STARTDOC on a printer handle with no record.
  HANDLE other = nullptr;
  std::u16string name(kPrinter);
  ASSERT_TRUE(OpenPrinterW(name.data(), &other, nullptr));
  DOCINFOW doc = Doc(u"None");
  const DOCINFOW* pointer = &doc;
  EXPECT_EQ(Event()(other, reinterpret_cast<HDC>(static_cast<uintptr_t>(0x10)), DOCUMENTEVENT_STARTDOC,
                    sizeof pointer, &pointer, 0, nullptr),
            -1);
  EXPECT_EQ(Event()(other, reinterpret_cast<HDC>(static_cast<uintptr_t>(0x10)), DOCUMENTEVENT_STARTDOCPOST, 0,
                    nullptr, 0, nullptr),
            -1)
      << "StartDocPost without StartDoc";
  EXPECT_EQ(Event()(other, nullptr, DOCUMENTEVENT_STARTDOC, sizeof pointer, &pointer, 0, nullptr), -1) << "no DC";
  EXPECT_EQ(Event()(nullptr, nullptr, DOCUMENTEVENT_DELETEDC, 0, nullptr, 0, nullptr), -1) << "no printer";
  EXPECT_EQ(Event()(other, nullptr, 99, 0, nullptr, 0, nullptr), 0) << "not handled";
  ClosePrinter(other);
  DestroyWindow(window);
}

TEST_F(DocEventTest, MarkingStatusDecidesTheMarkingEscapes) {
  // The renderer has 16 bytes of marking data (so the marking switch is
  // on). The status comes from the marking library the model names
  // (kgsb.dll, here the stand-in): none installed or the model not
  // supported leaves it clear and none of the marking escapes is sent; a
  // library making 3 serials sets it {1, 3} and the block sends the data,
  // the extended data and the status after SetCSDX (no per-copy records:
  // no document monitor); a library that cannot make its handle fails the
  // StartDoc.
  struct Case {
    const char* name;
    bool installed;
    const char* fail;  // the stand-in's failing step ("" none)
    int startDoc;      // > 0 or SP_ERROR
    DWORD status[2];
  };
  const Case cases[] = {{"no library", false, "", 1, {0, 0}},
                        {"three serials", true, "", 1, {1, 3}},
                        {"model not supported", true, "supported", 1, {0, 0}},
                        {"no handle", true, "create", SP_ERROR, {0, 0}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HMODULE library = nullptr;
    if (c.installed) {
      ASSERT_TRUE(KpInstallModule("libkgsbtest.so", u"kgsb.dll"));
      library = LoadLibraryW(u"kgsb.dll");  // held: the stand-in keeps its script while loaded
      ASSERT_NE(library, nullptr);
      auto reset = reinterpret_cast<void (*)(int)>(
          reinterpret_cast<void (*)()>(GetProcAddress(library, "MarkTest_Reset")));
      auto fail = reinterpret_cast<void (*)(const char*, int)>(
          reinterpret_cast<void (*)()>(GetProcAddress(library, "MarkTest_Fail")));
      ASSERT_TRUE(reset && fail);
      reset(3);
      if (*c.fail) fail(c.fail, -1);
    }
    EscapeScript script({{KM_ESC_GET_GSBDATA, 1, {16, 0, 0, 0}}});
    HDC hdc = CreateDc();
    ASSERT_NE(hdc, nullptr);
    DOCINFOW doc = Doc(u"Marked");
    const int started = StartDocW(hdc, &doc);
    if (c.startDoc == SP_ERROR) {
      EXPECT_EQ(started, SP_ERROR);
    } else {
      ASSERT_GT(started, 0);
    }
    std::vector<Escape> all = Escapes(hdc);
    const Escape* sizeAsk = Find(all, KM_ESC_GET_GSBDATA, 0);
    const Escape* dataAsk = Find(all, KM_ESC_GET_GSBDATA, 1);
    ASSERT_TRUE(sizeAsk && dataAsk);
    EXPECT_EQ(sizeAsk->in, (std::vector<BYTE>{0, 0}));
    EXPECT_EQ(dataAsk->in, (std::vector<BYTE>{1, 0}));
    EXPECT_EQ(dataAsk->cbOut, 16u);
    EXPECT_FALSE(Find(all, KM_ESC_SET_GSBJCID));
    if (c.status[0]) {
      // The block's tail, in order.
      std::vector<LONG> codes = Codes(all);
      auto csdx = std::find(codes.begin(), codes.end(), KM_ESC_SET_CSDX);
      ASSERT_NE(csdx, codes.end());
      EXPECT_EQ(std::vector<LONG>(csdx, codes.end()),
                (std::vector<LONG>{KM_ESC_SET_CSDX, KM_ESC_SET_GSBDATA, KM_ESC_SET_EXT_GSBDATA, KM_ESC_SET_GSBSTATUS,
                                   KM_ESC_SET_STATUS}));
      const Escape* status = Find(all, KM_ESC_SET_GSBSTATUS);
      ASSERT_TRUE(status);
      ASSERT_EQ(status->cbIn, 8u);
      EXPECT_EQ(kp_LoadU32(status->in.data()), c.status[0]);
      EXPECT_EQ(kp_LoadU32(status->in.data() + 4), c.status[1]);
      EXPECT_EQ(Find(all, KM_ESC_SET_GSBDATA)->cbIn, 16u);
      for (LONG code : {KM_ESC_SET_GSBDATA, KM_ESC_SET_EXT_GSBDATA, KM_ESC_SET_GSBSTATUS})
        EXPECT_GE(Find(all, code)->result, 1) << code;
    } else {
      for (LONG code : {KM_ESC_SET_GSBDATA, KM_ESC_SET_EXT_GSBDATA, KM_ESC_SET_GSBSTATUS})
        EXPECT_FALSE(Find(all, code)) << code;
    }
    if (started > 0) {
      EXPECT_GT(EndDoc(hdc), 0);
    }
    EXPECT_TRUE(DeleteDC(hdc));
    if (library) FreeLibrary(library);
  }
}

TEST_F(DocEventTest, ResetDcResendsTheBlockOnlyInsideAJob) {
  HDC hdc = CreateDc();
  ASSERT_NE(hdc, nullptr);
  DWORD before = KpDcLogCount(hdc);
  ASSERT_EQ(ResetDCW(hdc, nullptr), hdc);
  EXPECT_TRUE(Escapes(hdc, before).empty()) << "before StartDoc nothing is sent";
  DOCINFOW doc = Doc(u"Reset");
  ASSERT_GT(StartDocW(hdc, &doc), 0);
  ASSERT_GT(StartPage(hdc), 0);
  ASSERT_GT(EndPage(hdc), 0);
  before = KpDcLogCount(hdc);
  ASSERT_EQ(ResetDCW(hdc, nullptr), hdc);
  std::vector<LONG> codes = Codes(Escapes(hdc, before));
  EXPECT_EQ(codes, Join({{KM_ESC_GET_DEVMODE}, kBlockHead, {KM_ESC_SET_CSDX, KM_ESC_SET_STATUS}}));
  ASSERT_GT(StartPage(hdc), 0);
  ASSERT_GT(EndPage(hdc), 0);
  ASSERT_GT(EndDoc(hdc), 0);
  pclxl_check::Report report = pclxl_check::check(Output(hdc), pclxl_check::Mode::RendererStream);
  EXPECT_TRUE(report.ok()) << report.text();
  EXPECT_TRUE(DeleteDC(hdc));
}

TEST_F(DocEventTest, EmfWarningOnASharedNetworkPrinter) {
  // The job spooled as EMF (answered by the test), DDM 336 set: the box.
  void* base = nullptr;
  DOCEVENT_CREATEDCPRE pre{nullptr, const_cast<LPWSTR>(kPrinter), nullptr, FALSE};
  ASSERT_EQ(Event()(queue_.printer, nullptr, DOCUMENTEVENT_CREATEDCPRE, sizeof pre, &pre, sizeof base, &base), 1);
  std::vector<BYTE> dm(static_cast<BYTE*>(base), static_cast<BYTE*>(base) + KM_CREATEDC_SIZE);
  Event()(queue_.printer, nullptr, DOCUMENTEVENT_CREATEDCPOST, sizeof base, &base, 0, nullptr);
  Event()(queue_.printer, nullptr, DOCUMENTEVENT_DELETEDC, 0, nullptr, 0, nullptr);
  if (!ddm_SetNumber(DDM_FORCEPDLVERSION, dm.data(), nullptr, 1)) GTEST_SKIP() << "model A lacks DDM 336";
  KpSpoolerSetPrinterAttributes(kPrinter, PRINTER_ATTRIBUTE_SHARED | PRINTER_ATTRIBUTE_NETWORK);
  EscapeScript script({{KM_ESC_QUERY_EMFSPOOL, 1, {1, 0, 0, 0}}});
  for (int answer : {IDOK, IDCANCEL}) {
    KpClearMessageBoxes();
    KpQueueMessageBoxAnswer(answer);
    HDC hdc = CreateDc(reinterpret_cast<const DEVMODEW*>(dm.data()));
    ASSERT_NE(hdc, nullptr);
    DOCINFOW doc = Doc(u"EMF");
    int r = StartDocW(hdc, &doc);
    EXPECT_EQ(KpMessageBoxCount(), 1u);
    std::vector<Escape> all = Escapes(hdc);
    if (answer == IDOK) {
      EXPECT_GT(r, 0);
      EXPECT_TRUE(Find(all, KM_ESC_DISABLE_FORM_FILE)) << "after the warning the form file is off";
      EXPECT_GT(EndDoc(hdc), 0);
    } else {
      EXPECT_EQ(r, SP_ERROR);
      EXPECT_FALSE(Find(all, KM_ESC_SET_STATUS)) << "Cancel: no block";
    }
    EXPECT_TRUE(DeleteDC(hdc));
  }
  KpSpoolerSetPrinterAttributes(kPrinter, 0);
}

// ---- EndPage and EndDoc: GetPageInfo's words

TEST_F(DocEventTest, PageInfoWordsDrawStampsAndHeaderFooterOnce) {
  // Word 1 at every EndPage and words 0 and 2 at EndDoc: the stamp brackets
  // (0x5003 1 and 0) around each stamp; EndDoc's extra page is drawn once.
  KM_PAGEINFO info{};
  info.sheetMarkDue = 1;
  info.pageMarkDue = 1;
  info.headerFooter = 1;
  std::vector<BYTE> answer(sizeof info);
  std::memcpy(answer.data(), &info, sizeof info);
  void* base = nullptr;
  DOCEVENT_CREATEDCPRE pre{nullptr, const_cast<LPWSTR>(kPrinter), nullptr, FALSE};
  ASSERT_EQ(Event()(queue_.printer, nullptr, DOCUMENTEVENT_CREATEDCPRE, sizeof pre, &pre, sizeof base, &base), 1);
  std::vector<BYTE> dm(static_cast<BYTE*>(base), static_cast<BYTE*>(base) + KM_CREATEDC_SIZE);
  Event()(queue_.printer, nullptr, DOCUMENTEVENT_CREATEDCPOST, sizeof base, &base, 0, nullptr);
  Event()(queue_.printer, nullptr, DOCUMENTEVENT_DELETEDC, 0, nullptr, 0, nullptr);
  const char16_t stamp[] = u"DRAFT";
  ASSERT_EQ(ddm_SetValue(DDM_STAMP_TEXT_NAME, dm.data(), nullptr, DDM_TYPE_STRING, sizeof stamp, stamp), 0);
  HDC hdc = CreateDc(reinterpret_cast<const DEVMODEW*>(dm.data()));
  ASSERT_NE(hdc, nullptr);
  DOCINFOW doc = Doc(u"Stamps");
  ASSERT_GT(StartDocW(hdc, &doc), 0);
  {
    EscapeScript script({{KM_ESC_GET_PAGE_INFO, 1, answer},
                         {KM_ESC_GETSET_STAMP_MODE, 1, {}},
                         {KM_ESC_GETSET_HEADER_MODE, 1, {}},
                         {KM_ESC_GET_HEADER_FOOTER, 1, {}}});
    ASSERT_GT(StartPage(hdc), 0);
    DWORD before = KpDcLogCount(hdc);
    ASSERT_GT(EndPage(hdc), 0);
    std::vector<Escape> page = Escapes(hdc, before);
    EXPECT_EQ(Codes(page), (std::vector<LONG>{KM_ESC_GET_PAGE_INFO, KM_ESC_GET_DEVMODE, KM_ESC_GETSET_STAMP_MODE,
                                              KM_ESC_GETSET_STAMP_MODE, KM_ESC_GETSET_HEADER_MODE,
                                              KM_ESC_GET_HEADER_FOOTER, KM_ESC_GETSET_HEADER_MODE}))
        << "word 0 means nothing at EndPage";
    EXPECT_EQ(kp_LoadU32(page[2].in.data()), 1u);
    EXPECT_EQ(kp_LoadU32(page[3].in.data()), 0u);
    before = KpDcLogCount(hdc);
    ASSERT_GT(EndDoc(hdc), 0);
    std::vector<LONG> end = Codes(Escapes(hdc, before));
    // EndDoc: the page's stamp, the extra page (its StartPage sends the
    // margins) with its stamp and header/footer; the extra page's own
    // ENDPAGE asks nothing.
    EXPECT_EQ(end, (std::vector<LONG>{KM_ESC_GET_PAGE_INFO, KM_ESC_GET_DEVMODE, KM_ESC_GETSET_STAMP_MODE,
                                      KM_ESC_GETSET_STAMP_MODE, KM_ESC_GET_DEVMODE, KM_ESC_SET_APP_MARGIN,
                                      KM_ESC_GETSET_STAMP_MODE, KM_ESC_GETSET_STAMP_MODE,
                                      KM_ESC_GETSET_HEADER_MODE, KM_ESC_GET_HEADER_FOOTER,
                                      KM_ESC_GETSET_HEADER_MODE}));
  }
  std::vector<std::string> drawing = Drawing(hdc);
  EXPECT_NE(std::find(drawing.begin(), drawing.end(), "ExtTextOutW"), drawing.end());
  EXPECT_TRUE(DeleteDC(hdc));
}

// A bottom-up 24-bit .bmp of width x height pixels, every pixel `bgr`.
std::string Bmp(int width, int height, const BYTE (&bgr)[3]) {
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
  std::string bmp(54 + stride * static_cast<size_t>(height), '\0');
  auto put32 = [&](size_t at, uint32_t v) { std::memcpy(bmp.data() + at, &v, 4); };
  bmp[0] = 'B';
  bmp[1] = 'M';
  put32(2, static_cast<uint32_t>(bmp.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  bmp[26] = 1;
  bmp[28] = 24;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) std::memcpy(bmp.data() + 54 + y * stride + x * 3, bgr, 3);
  return bmp;
}

// The drawing calls of a DC's log, with their answers.
std::vector<std::pair<std::string, LONG>> DrawingResults(HDC hdc) {
  std::vector<std::pair<std::string, LONG>> calls;
  for (DWORD i = 0; i < KpDcLogCount(hdc); ++i) {
    KP_DC_LOG_ENTRY e{};
    if (KpDcLogEntry(hdc, i, &e) && e.kind == KP_DCLOG_DRAWING) calls.emplace_back(e.name, e.result);
  }
  return calls;
}

size_t CountKeys(const pclxl_check::Listing& listing, const std::string& key) {
  std::vector<std::string> keys = listing.keys();
  return static_cast<size_t>(std::count(keys.begin(), keys.end(), key));
}

TEST_F(DocEventTest, BitmapStampAndHeaderFooterRulesReachTheStream) {
  // A bitmap stamp of 2 x 300 pixels on every page and the document name in
  // the header: at EndPage the stamp goes out in two bands (256 and 44
  // rows), each announced with SetPaperOffset and blitted into the
  // renderer; the header's rule is a stroked line. The application's own
  // line opens the page. The stream passes the strict checker.
  const BYTE red[3] = {0, 0, 255};
  WriteHostFile(root_.host("c/stamp.bmp"), Bmp(2, 300, red));
  void* base = nullptr;
  DOCEVENT_CREATEDCPRE pre{nullptr, const_cast<LPWSTR>(kPrinter), nullptr, FALSE};
  ASSERT_EQ(Event()(queue_.printer, nullptr, DOCUMENTEVENT_CREATEDCPRE, sizeof pre, &pre, sizeof base, &base), 1);
  std::vector<BYTE> dm(static_cast<BYTE*>(base), static_cast<BYTE*>(base) + KM_CREATEDC_SIZE);
  Event()(queue_.printer, nullptr, DOCUMENTEVENT_CREATEDCPOST, sizeof base, &base, 0, nullptr);
  Event()(queue_.printer, nullptr, DOCUMENTEVENT_DELETEDC, 0, nullptr, 0, nullptr);
  const char16_t name[] = u"Mark";
  const char16_t bitmap[] = u"C:\\stamp.bmp";
  ASSERT_EQ(ddm_SetValue(DDM_STAMPNAME, dm.data(), nullptr, DDM_TYPE_STRING, sizeof name, name), 0);
  ASSERT_EQ(ddm_SetValue(DDM_STAMP_BITMAP_NAME, dm.data(), nullptr, DDM_TYPE_STRING, sizeof bitmap, bitmap), 0);
  ASSERT_TRUE(ddm_SetNumber(DDM_HEADERFOOTER_DOCNAME, dm.data(), nullptr, 1));
  // The bitmap's name is a non-devmode setting: StartDoc takes it from the
  // queue's stored record.
  ASSERT_TRUE(nonDev_SaveNonDevDat(queue_.printer, queue_.ddd, nullptr, NONDEV_LOCATION_PRINTERDATA, nullptr, 0,
                                   dm.data() + NRV_DEVMODE_SIZE_KIND1, nullptr, 0));
  HDC hdc = CreateDc(reinterpret_cast<const DEVMODEW*>(dm.data()));
  ASSERT_NE(hdc, nullptr);
  DOCINFOW doc = Doc(u"Stamped");
  ASSERT_GT(StartDocW(hdc, &doc), 0);
  ASSERT_GT(StartPage(hdc), 0);
  const POINT line[3] = {{100, 100}, {600, 100}, {600, 400}};
  ASSERT_TRUE(Polyline(hdc, line, 3)) << GetLastError();
  DWORD before = KpDcLogCount(hdc);
  ASSERT_GT(EndPage(hdc), 0);
  std::vector<Escape> page = Escapes(hdc, before);
  std::vector<const Escape*> offsets;
  for (const Escape& e : page)
    if (e.code == KM_ESC_SET_PAPER_OFFSET) offsets.push_back(&e);
  ASSERT_EQ(offsets.size(), 2u);
  EXPECT_EQ(kp_LoadU32(offsets[0]->in.data()), 0u);
  EXPECT_EQ(kp_LoadU32(offsets[1]->in.data()), 256u) << "the second band's row offset";
  for (const Escape* e : offsets) EXPECT_EQ(e->result, 1);
  ASSERT_GT(EndDoc(hdc), 0);
  std::vector<std::pair<std::string, LONG>> calls = DrawingResults(hdc);
  std::vector<LONG> blits, lines, texts;
  for (const auto& [call, result] : calls) {
    if (call == "StretchDIBits") blits.push_back(result);
    if (call == "Polyline") lines.push_back(result);
    if (call == "ExtTextOutW") texts.push_back(result);
  }
  EXPECT_EQ(blits, (std::vector<LONG>{256, 44})) << "the rows of each band";
  ASSERT_GE(lines.size(), 2u) << "the application's line and the header's rule";
  for (LONG r : lines) EXPECT_EQ(r, TRUE);
  // The header's line is drawn in a face the system has (the devmode's
  // header/footer font), so its text reaches the page.
  ASSERT_FALSE(texts.empty()) << "the header's line";
  for (LONG r : texts) EXPECT_EQ(r, TRUE);

  pclxl_check::Listing listing;
  pclxl_check::Report report = pclxl_check::check(Output(hdc), pclxl_check::Mode::RendererStream, &listing);
  EXPECT_TRUE(report.ok()) << report.text();
  EXPECT_TRUE(listing.stopped.empty()) << listing.stopped;
  EXPECT_EQ(CountKeys(listing, "BeginImage"), 2u) << listing.text();
  EXPECT_EQ(CountKeys(listing, "ReadImage"), 2u);
  EXPECT_GE(CountKeys(listing, "PaintPath"), lines.size());
  EXPECT_TRUE(DeleteDC(hdc));
}

TEST_F(DocEventTest, BitmapStampTilesAreAnnouncedBeforeTheyAreBlitted) {
  // PrintBitmapWaterMark on a page of its own: a 2 x 300 picture in two
  // bands, each SetPaperOffset (its row offset, column 0) before its blit
  // at the stamp rectangle's corner, SRCAND when transparent, else
  // SRCCOPY. A missing file draws nothing and answers -1.
  const BYTE blue[3] = {255, 0, 0};
  WriteHostFile(root_.host("c/stamp.bmp"), Bmp(2, 300, blue));
  HDC hdc = CreateDc();
  ASSERT_NE(hdc, nullptr);
  DOCINFOW doc = Doc(u"Tiles");
  ASSERT_GT(StartDocW(hdc, &doc), 0);
  ASSERT_GT(StartPage(hdc), 0);
  KM_PAGEINFO info{};
  info.markLeft = 100;
  info.markTop = 200;
  for (LONG transparent : {0, 1}) {
    SCOPED_TRACE(transparent);
    KpDcClearLog(hdc);
    EXPECT_EQ(PrintBitmapWaterMark(hdc, &info, 1, 0, u"C:\\stamp.bmp", transparent, 0), 1);
    std::vector<Escape> escapes = Escapes(hdc);
    ASSERT_EQ(Codes(escapes), (std::vector<LONG>{KM_ESC_SET_PAPER_OFFSET, KM_ESC_SET_PAPER_OFFSET}));
    EXPECT_EQ(escapes[0].in, (std::vector<BYTE>(8, 0))) << "row 0, column 0";
    EXPECT_EQ(kp_LoadU32(escapes[1].in.data()), 256u);
    EXPECT_EQ(kp_LoadU32(escapes[1].in.data() + 4), 0u);
    std::vector<KP_DC_LOG_ENTRY> blits;
    for (DWORD i = 0; i < KpDcLogCount(hdc); ++i) {
      KP_DC_LOG_ENTRY e{};
      if (KpDcLogEntry(hdc, i, &e) && e.kind == KP_DCLOG_DRAWING && std::string(e.name) == "StretchDIBits")
        blits.push_back(e);
    }
    ASSERT_EQ(blits.size(), 2u);
    EXPECT_EQ(blits[0].args[0], 100);
    EXPECT_EQ(blits[0].args[1], 200);
    EXPECT_EQ(blits[1].args[1], 456) << "the second band below the first";
    for (const KP_DC_LOG_ENTRY& e : blits) EXPECT_EQ(static_cast<DWORD>(e.args[2]), transparent ? SRCAND : SRCCOPY);
    EXPECT_EQ(blits[0].result, 256);
    EXPECT_EQ(blits[1].result, 44);
  }
  KpDcClearLog(hdc);
  EXPECT_EQ(PrintBitmapWaterMark(hdc, &info, 1, 0, u"C:\\missing.bmp", 0, 0), -1);
  EXPECT_TRUE(Escapes(hdc).empty());
  EXPECT_TRUE(DrawingResults(hdc).empty());
  ASSERT_GT(EndPage(hdc), 0);
  ASSERT_GT(EndDoc(hdc), 0);
  pclxl_check::Report report = pclxl_check::check(Output(hdc), pclxl_check::Mode::RendererStream);
  EXPECT_TRUE(report.ok()) << report.text();
  EXPECT_TRUE(DeleteDC(hdc));
}

TEST_F(DocEventTest, DrawingCallsCheckTheirArgumentsAndThePage) {
  // Polyline and StretchDIBits on a DC: what is refused before the
  // renderer is called, and what the renderer draws (counted in the
  // finished stream: the renderer's buffer goes out as it fills).
  HDC hdc = CreateDc();
  ASSERT_NE(hdc, nullptr);
  const POINT line[2] = {{10, 10}, {200, 10}};
  SetLastError(0);
  EXPECT_FALSE(Polyline(hdc, line, 2)) << "outside a page";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
  DOCINFOW doc = Doc(u"Calls");
  ASSERT_GT(StartDocW(hdc, &doc), 0);
  ASSERT_GT(StartPage(hdc), 0);

  struct PenCase {
    const char* name;
    int style, width;
    BOOL result;
    DWORD error;     // when FALSE
    bool reaches;    // the renderer strokes it
  };
  const PenCase pens[] = {{"default", -1, 0, TRUE, 0, true},
                          {"cosmetic", PS_SOLID, 1, TRUE, 0, true},
                          {"wide", PS_SOLID, 8, TRUE, 0, true},
                          {"null", PS_NULL, 1, TRUE, 0, false},
                          {"dashed", PS_DASH, 1, TRUE, 0, true},
                          {"wide dash-dot", PS_DASHDOT, 6, TRUE, 0, true}};
  size_t paths = 0, images = 0;
  for (const PenCase& c : pens) {
    SCOPED_TRACE(c.name);
    HPEN pen = c.style >= 0 ? CreatePen(c.style, c.width, RGB(0, 0, 255)) : nullptr;
    HGDIOBJ old = pen ? SelectObject(hdc, pen) : nullptr;
    SetLastError(0);
    EXPECT_EQ(Polyline(hdc, line, 2), c.result);
    if (!c.result) {
      EXPECT_EQ(GetLastError(), c.error);
    }
    paths += c.reaches ? 1 : 0;
    if (pen) {
      SelectObject(hdc, old ? old : pen);
      DeleteObject(pen);
    }
  }
  const POINT far[2] = {{0, 0}, {0x08000000, 0}};
  EXPECT_FALSE(Polyline(hdc, far, 2)) << "beyond the engine's 28.4 range";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  // A 4 x 2 DIB of 8 bits with a two-colour table.
  struct {
    BITMAPINFOHEADER h;
    RGBQUAD colours[2];
  } dib8{};
  dib8.h = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 4, 2, 1, 8, BI_RGB, 0, 0, 0, 2, 0};
  dib8.colours[1] = RGBQUAD{255, 0, 0, 0};
  const BYTE bits[8] = {0, 1, 0, 1, 1, 0, 1, 0};
  const BITMAPINFO* info = reinterpret_cast<const BITMAPINFO*>(&dib8);
  auto rle = dib8;
  rle.h.biCompression = 1;  // BI_RLE8
  struct BlitCase {
    const char* name;
    const BITMAPINFO* info;
    const void* bits;
    int dx, dy, sx, sy, sw, sh;
    DWORD rop;
    int result;
    DWORD error;
  };
  const BlitCase blits[] = {
      {"copy", info, bits, 4, 2, 0, 0, 4, 2, SRCCOPY, 2, 0},
      {"and", info, bits, 4, 2, 0, 0, 4, 2, SRCAND, 2, 0},
      {"one row", info, bits, 4, 1, 0, 1, 4, 1, SRCCOPY, 1, 0},
      {"stretched", info, bits, 8, 4, 0, 0, 4, 2, SRCCOPY, 2, 0},
      {"stretched and", info, bits, 8, 4, 0, 0, 4, 2, SRCAND, 0, ERROR_NOT_SUPPORTED},
      {"no bits", info, nullptr, 4, 2, 0, 0, 4, 2, SRCCOPY, 0, ERROR_INVALID_PARAMETER},
      {"compressed", reinterpret_cast<const BITMAPINFO*>(&rle), bits, 4, 2, 0, 0, 4, 2, SRCCOPY, 0,
       ERROR_INVALID_PARAMETER},
      {"source beyond", info, bits, 4, 2, 1, 0, 4, 2, SRCCOPY, 0, ERROR_INVALID_PARAMETER},
      {"mirrored", info, bits, -4, 2, 0, 0, 4, 2, SRCCOPY, 0, ERROR_INVALID_PARAMETER}};
  for (const BlitCase& c : blits) {
    SCOPED_TRACE(c.name);
    SetLastError(0);
    EXPECT_EQ(StretchDIBits(hdc, 300, 300, c.dx, c.dy, c.sx, c.sy, c.sw, c.sh, c.bits, c.info, DIB_RGB_COLORS,
                            c.rop),
              c.result);
    if (!c.result) {
      EXPECT_EQ(GetLastError(), c.error);
    }
    images += c.result ? 1 : 0;
  }
  ASSERT_GT(EndPage(hdc), 0);
  ASSERT_GT(EndDoc(hdc), 0);
  pclxl_check::Listing listing;
  pclxl_check::Report report = pclxl_check::check(Output(hdc), pclxl_check::Mode::RendererStream, &listing);
  EXPECT_TRUE(report.ok()) << report.text();
  EXPECT_EQ(CountKeys(listing, "PaintPath"), paths) << listing.text();
  EXPECT_EQ(CountKeys(listing, "BeginImage"), images);
  EXPECT_TRUE(DeleteDC(hdc));
}

TEST_F(DocEventTest, AFailingPageInfoDrawsNothing) {
  HDC hdc = CreateDc();
  ASSERT_NE(hdc, nullptr);
  DOCINFOW doc = Doc(u"NoInfo");
  ASSERT_GT(StartDocW(hdc, &doc), 0);
  EscapeScript script({{KM_ESC_GET_PAGE_INFO, -1, {}}});
  ASSERT_GT(StartPage(hdc), 0);
  DWORD before = KpDcLogCount(hdc);
  ASSERT_GT(EndPage(hdc), 0);
  EXPECT_EQ(Codes(Escapes(hdc, before)), (std::vector<LONG>{KM_ESC_GET_PAGE_INFO}));
  EXPECT_TRUE(Drawing(hdc).empty());
  std::vector<std::pair<LONG, LONG>> events = Events(hdc);
  EXPECT_EQ(events.back(), (std::pair<LONG, LONG>(DOCUMENTEVENT_ENDPAGE, 1)));
  EXPECT_GT(EndDoc(hdc), 0);
  EXPECT_TRUE(DeleteDC(hdc));
}

// The DC's text calls reach the renderer: the selected font becomes a
// DejaVu Sans font object, which the model's default settings print with a
// device font (TrueType substitution is on), the text as its codes; the
// extent is the text's advance; text outside a page and a face the font
// folder lacks are refused.
TEST_F(DocEventTest, TextThroughTheDcReachesTheRenderer) {
  HDC hdc = CreateDc();
  ASSERT_NE(hdc, nullptr);
  LOGFONTW lf{};
  lf.lfHeight = -100;
  lf.lfWeight = 400;
  lf.lfUnderline = 1;
  const char16_t face[] = u"DejaVu Sans";
  std::memcpy(lf.lfFaceName, face, sizeof face);
  HFONT font = CreateFontIndirectW(&lf);
  ASSERT_NE(font, nullptr);
  SelectObject(hdc, font);
  const char16_t text[] = u"Kestrel";
  SIZE extent{};
  ASSERT_TRUE(GetTextExtentPoint32W(hdc, text, 7, &extent));
  EXPECT_GT(extent.cx, 300);  // seven glyphs of about 60 pixels at an em of 100
  EXPECT_LT(extent.cx, 500);
  EXPECT_EQ(extent.cy, 115);  // ascent 92 + descent 23 of DejaVu Sans at 100 pixels
  SetLastError(0);
  EXPECT_FALSE(ExtTextOutW(hdc, 10, 10, 0, nullptr, text, 7, nullptr));  // no page yet
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
  DOCINFOW doc = Doc(u"Text");
  ASSERT_GT(StartDocW(hdc, &doc), 0);
  EscapeScript script({{KM_ESC_GET_PAGE_INFO, -1, {}}});
  ASSERT_GT(StartPage(hdc), 0);
  EXPECT_TRUE(ExtTextOutW(hdc, 300, 300, 0, nullptr, text, 7, nullptr)) << GetLastError();
  LOGFONTW missing = lf;
  const char16_t none[] = u"No Such Face";
  std::memcpy(missing.lfFaceName, none, sizeof none);
  HFONT other = CreateFontIndirectW(&missing);
  HGDIOBJ old = SelectObject(hdc, other);
  SetLastError(0);
  EXPECT_FALSE(ExtTextOutW(hdc, 300, 500, 0, nullptr, text, 7, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SelectObject(hdc, old);
  ASSERT_GT(EndPage(hdc), 0);
  ASSERT_GT(EndDoc(hdc), 0);
  std::vector<BYTE> bytes = Output(hdc);
  pclxl_check::Listing listing;
  pclxl_check::Report report = pclxl_check::check(bytes, pclxl_check::Mode::RendererStream, &listing);
  EXPECT_TRUE(report.ok()) << report.text();
  const std::string stream(bytes.begin(), bytes.end());
  EXPECT_NE(stream.find("Helvetica       "), std::string::npos) << listing.text();
  EXPECT_NE(listing.text().find("Text TextData=uint16_array[75 101 115 116 114 101 108]"), std::string::npos)
      << listing.text();
  EXPECT_TRUE(DeleteDC(hdc));
  DeleteObject(font);
  DeleteObject(other);
}

// ---- The record list

TEST_F(DocEventTest, TwoDcsOnOnePrinterKeepTheirOwnRecords) {
  HDC a = CreateDc();
  HDC b = CreateDc();
  ASSERT_TRUE(a && b);
  DOCINFOW docA = Doc(u"First");
  DOCINFOW docB = Doc(u"Second");
  ASSERT_GT(StartDocW(a, &docA), 0);
  ASSERT_GT(StartDocW(b, &docB), 0);
  auto sentName = [](HDC hdc) {
    std::vector<Escape> all = Escapes(hdc);
    const Escape* e = Find(all, KM_ESC_SET_DOC_NAME);
    return e ? std::u16string(reinterpret_cast<const char16_t*>(e->in.data())) : std::u16string();
  };
  EXPECT_EQ(sentName(a), u"First");
  EXPECT_EQ(sentName(b), u"Second");
  EXPECT_GT(EndDoc(a), 0);
  EXPECT_TRUE(DeleteDC(a));
  EXPECT_GT(EndDoc(b), 0);
  EXPECT_TRUE(DeleteDC(b));
}

// ---- The header/footer block and the code ranges (the services directly)

TEST_F(DocEventTest, HeaderFooterBlock) {
  struct Case {
    const char* name;
    LCID locale;       // its date order: 0x0409 "0", 0x0809 "1", 0x0411 "2"
    char16_t idate;
    LPCWSTR computer;  // null: cannot be read
    bool allOn;
  };
  const Case cases[] = {{"mdy", 0x0409, u'0', u"HOST", true},   {"dmy", 0x0809, u'1', u"HOST", true},
                        {"ymd", 0x0411, u'2', u"HOST", true},   {"noHost", 0x0409, u'0', nullptr, true},
                        {"off", 0x0409, u'0', u"HOST", false}};
  std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL);
  {
    void* base = nullptr;
    DOCEVENT_CREATEDCPRE pre{nullptr, const_cast<LPWSTR>(kPrinter), nullptr, FALSE};
    ASSERT_EQ(Event()(queue_.printer, nullptr, DOCUMENTEVENT_CREATEDCPRE, sizeof pre, &pre, sizeof base, &base), 1);
    std::memcpy(dm.data(), base, dm.size());
    Event()(queue_.printer, nullptr, DOCUMENTEVENT_CREATEDCPOST, sizeof base, &base, 0, nullptr);
    Event()(queue_.printer, nullptr, DOCUMENTEVENT_DELETEDC, 0, nullptr, 0, nullptr);
  }
  std::vector<BYTE> pd(NRV_PRINTERDATA_SIZE);
  ASSERT_TRUE(pd_GetPrinterData(queue_.printer, pd.data(), queue_.ddd));
  KpSetUserName(u"alice");
  std::u16string longName(300, u'd');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (WORD id : {DDM_HEADERFOOTER_ON_FIRST, DDM_HEADERFOOTER_USERHOST, DDM_HEADERFOOTER_DOCNAME,
                    DDM_HEADERFOOTER_PAGENUMBER, DDM_HEADERFOOTER_DATE, DDM_HEADERFOOTER_TIME})
      ASSERT_TRUE(ddm_SetNumber(id, dm.data(), pd.data(), c.allOn ? 1 : 0));
    KpSetComputerName(c.computer);
    ASSERT_TRUE(KpSetUserLocale(c.locale));
    std::vector<BYTE> block(KM_HF_SIZE, 0xEE);
    ASSERT_EQ(_HeaderFooterStartDocProc(block.data(), queue_.printer, nullptr, dm.data(), pd.data(),
                                        longName.c_str(), queue_.ddd),
              1);
    auto text = [&](DWORD at) { return std::u16string(reinterpret_cast<const char16_t*>(block.data() + at)); };
    EXPECT_EQ(kp_LoadU32(block.data()), c.allOn ? 1u : 0u);
    for (DWORD i = 4; i < 16; ++i) EXPECT_EQ(block[i], 0);
    if (!c.allOn) {
      EXPECT_TRUE(text(KM_HF_USERNAME).empty());
      EXPECT_TRUE(text(KM_HF_DATE).empty());
      continue;
    }
    EXPECT_EQ(text(KM_HF_USERNAME), u"alice");
    EXPECT_EQ(text(KM_HF_USERHOST), c.computer ? u"alice\\HOST" : u"alice\\UnkownHost");
    EXPECT_EQ(text(KM_HF_DOCUMENT).size(), 260u);
    EXPECT_EQ(kp_LoadU16(block.data() + KM_HF_PAGENUMBER), 0);
    std::u16string date = text(KM_HF_DATE);
    ASSERT_EQ(date.size(), 10u);
    if (c.idate == u'0') {
      EXPECT_EQ(date[2], u'/');
    } else if (c.idate == u'1') {
      EXPECT_EQ(date[2], u'.');
    } else {
      EXPECT_EQ(date[4], u'-');
    }
    EXPECT_EQ(text(KM_HF_TIME).size(), 5u);
  }
  KpResetMachineFacts();
}

TEST(CodeRange, PairsAreJoinedCheckedAndReduced) {
  struct Case {
    const char* in;
    bool dbcs;
    const char* out;
  } cases[] = {
      {"30,39", false, "30-39"},
      {"30,39,41,5A", false, "30-39,41-5A"},
      {"20,20", false, "20"},
      {"39,30,41,5A", false, "41-5A"},
      {"8140,0x84BE", true, "814084BE"},
      {"", false, ""},
  };
  for (const Case& c : cases) {
    char* out = local_CodeRangeFromText(c.in, c.dbcs);
    ASSERT_NE(out, nullptr) << c.in;
    EXPECT_STREQ(out, c.out) << c.in;
    GlobalFree(out);
  }
}

}  // namespace
}  // namespace kestrel::test::docevent
