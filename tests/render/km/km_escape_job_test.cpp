// The escapes once a job runs, through the entry table on the engine
// runner's PDEV: the answers that depend on the job (Query_EMFSpool, the
// page information at N-up 2), the document-event round with its mute, and
// what the Set escapes send in band (150 with the new devmode, 156, the
// document name in 152 as the spooler side's reader takes it).
#include <gtest/gtest.h>
#include <kplatform/engine.h>
#include <kplatform/kwindows.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/render/km_escape.h"
#include "kestrel/render/pdev.h"
#include "kestrel/render/xl_inband.h"
#include "kplatform/byte_order.h"
#include "kplatform/wingdi_consts.h"
#include "renderer_fixture.h"

namespace {

using kestrel::test::km::CreateDcDevmode;
using kestrel::test::km::U16;
using kestrel::test::km::U32;
using kestrel::test::km::EntryTable;
using kestrel::test::km::kModelA;
using kestrel::test::km::KmTest;

using Bytes = std::vector<BYTE>;
using Escape = ULONG(WINAPI*)(SURFOBJ*, ULONG, ULONG, PVOID, ULONG, PVOID);
using BitBlt = BOOL(WINAPI*)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*, POINTL*, BRUSHOBJ*,
                             POINTL*, ULONG);

Bytes Name(const std::u16string& text) {
  Bytes b((text.size() + 1) * 2);
  std::memcpy(b.data(), text.data(), text.size() * 2);
  return b;
}

using Command = kestrel::test::km::StreamItem;

// The in-band commands of a renderer stream, in order, as the spooler side's
// reader takes them.
std::vector<Command> Commands(const Bytes& stream) {
  bool ok = false;
  std::vector<Command> out;
  for (Command& item : kestrel::test::km::DecodeStream(stream, &ok))
    if (item.inband) out.push_back(std::move(item));
  EXPECT_TRUE(ok) << "the stream breaks";
  return out;
}

size_t Count(const std::vector<Command>& commands, BYTE code) {
  size_t n = 0;
  for (const Command& c : commands) n += c.code == code;
  return n;
}

class KmEscapeJob : public KmTest {
 protected:
  void Open(const std::function<void(CreateDcDevmode&)>& tweak = {}) {
    printer_ = Printer(kModelA);
    ASSERT_NE(printer_, nullptr);
    driver_ = LoadDriver();
    ASSERT_NE(driver_, nullptr);
    dm_ = Devmode(kModelA);
    if (tweak) tweak(dm_);
    session_ = KpEngineEnablePDEV(driver_, printer_, dm_.data());
    ASSERT_NE(session_, nullptr);
    ASSERT_TRUE(KpEngineEnableSurface(session_));
    table_ = std::make_unique<EntryTable>();
    ASSERT_TRUE(table_->ok());
    escape_ = table_->Get<Escape>(INDEX_DrvEscape);
    bitBlt_ = table_->Get<BitBlt>(INDEX_DrvBitBlt);
  }
  PDEV* Pdev() { return reinterpret_cast<PDEV*>(KpEngineSessionPDEV(session_)); }
  LONG Esc(ULONG code, Bytes* in, Bytes* out) {
    return static_cast<LONG>(escape_(KpEngineSessionSurface(session_), code, in ? static_cast<ULONG>(in->size()) : 0,
                                     in ? in->data() : nullptr, out ? static_cast<ULONG>(out->size()) : 0,
                                     out ? out->data() : nullptr));
  }
  // A drawing call: it opens the page (a BitBlt without a source is then
  // refused with 87).
  void Draw() {
    RECTL r{0, 0, 10, 10};
    bitBlt_(KpEngineSessionSurface(session_), nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr, nullptr,
            nullptr, 0xCCCC);
    ASSERT_TRUE(Pdev()->pageCtrl.flags & 0x8) << "no logical page open";
  }
  std::vector<Command> Stream() {
    Bytes bytes(KpEngineGetOutput(printer_, nullptr, 0));
    KpEngineGetOutput(printer_, bytes.data(), bytes.size());
    return Commands(bytes);
  }
  Bytes PageInfo(DWORD request) {
    Bytes in = U32(request), out(sizeof(KM_PAGEINFO));
    EXPECT_EQ(Esc(KM_ESC_GET_PAGE_INFO, &in, &out), 1);
    return out;
  }

  HANDLE printer_ = nullptr;
  KP_ENGINE_DRIVER* driver_ = nullptr;
  KP_ENGINE_SESSION* session_ = nullptr;
  CreateDcDevmode dm_;
  std::unique_ptr<EntryTable> table_;
  Escape escape_ = nullptr;
  BitBlt bitBlt_ = nullptr;
};

TEST_F(KmEscapeJob, QueryEmfSpoolByStartDocFlagAndJob) {
  struct Case {
    bool flag, enabled;
    DWORD answer;
    LONG result;
  };
  const Case cases[] = {{false, false, 0, -1}, {false, true, 1, 1}, {true, false, 1, 1}, {true, true, 0, 1}};
  Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "flag " << c.flag << ", enabled " << c.enabled);
    Pdev()->startDocFlag = c.flag ? 1 : 0;
    if (c.enabled) {
      ASSERT_TRUE(KpEngineStartDoc(session_, u"emf", 1));
    }
    Bytes out(4, 0xEE);
    EXPECT_EQ(Esc(KM_ESC_QUERY_EMFSPOOL, nullptr, &out), c.result);
    DWORD answer;
    std::memcpy(&answer, out.data(), 4);
    EXPECT_EQ(answer, c.answer);
    if (c.enabled) {
      ASSERT_TRUE(KpEngineEndDoc(session_, 0));
    }
  }
  EXPECT_TRUE(KpEngineDisablePDEV(session_));
}

// The two rounds of Set escapes the document-event handler sends: at
// StartDoc (only stored) and in the StartDocPost block between SetStatus 0
// and 1 (stored and sent in band). The same block after the first page was
// set up is muted: nothing stored, nothing sent.
TEST_F(KmEscapeJob, DocumentEventRoundAndItsMute) {
  Open();
  Bytes devmode(KM_ESC_DEVMODE_SIZE);
  ASSERT_EQ(Esc(KM_ESC_GET_DEVMODE, nullptr, &devmode), 1);
  Bytes jcl(16 + (4 + 4) * 1);
  const int32_t head[2] = {1, 4};
  std::memcpy(jcl.data(), head, 8);
  std::memcpy(&jcl[16], "\x04\0\0\0JCL1", 8);

  // Round 1, before the job: stored, nothing sent.
  Bytes first = Name(u"first");
  EXPECT_EQ(Esc(KM_ESC_SET_DOC_NAME, &first, nullptr), 1);
  EXPECT_EQ(Esc(KM_ESC_SET_JCL_HEADER, &jcl, nullptr), 1);
  EXPECT_EQ(KpEngineWriteCount(printer_), 0u);

  ASSERT_TRUE(KpEngineStartDoc(session_, u"report", 1));
  Bytes start = U16(KM_SETSTATUS_BLOCK_START), end = U16(KM_SETSTATUS_BLOCK_END);
  EXPECT_EQ(Esc(KM_ESC_SET_STATUS, &start, nullptr), 1);
  EXPECT_EQ(Pdev()->escapeStatus & KM_ESCSTATUS_MUTED, 0u);  // started, nothing sent yet: not muted
  Bytes second = devmode;
  second[5000] = 0x5A;  // a mark in the non-devmode part
  EXPECT_EQ(Esc(KM_ESC_SET_DEVMODE, &second, nullptr), 1);
  Bytes secondName = Name(u"second");
  EXPECT_EQ(Esc(KM_ESC_SET_DOC_NAME, &secondName, nullptr), 1);
  EXPECT_EQ(Esc(KM_ESC_SET_JCL_HEADER, &jcl, nullptr), 1);
  EXPECT_EQ(Esc(KM_ESC_SET_STATUS, &end, nullptr), 1);
  EXPECT_EQ(Pdev()->escapeStatus, KM_ESCSTATUS_POSTBLOCK_ENDED);

  ASSERT_TRUE(KpEngineStartPage(session_));
  Draw();

  // Round 2 after the first page: muted.
  EXPECT_EQ(Esc(KM_ESC_SET_STATUS, &start, nullptr), 1);
  EXPECT_NE(Pdev()->escapeStatus & KM_ESCSTATUS_MUTED, 0u);
  Bytes third = devmode;
  third[5000] = 0xC3;
  Bytes thirdName = Name(u"third");
  Bytes gsb = {1, 2, 3};
  EXPECT_EQ(Esc(KM_ESC_SET_DEVMODE, &third, nullptr), 1);
  EXPECT_EQ(Esc(KM_ESC_SET_DOC_NAME, &thirdName, nullptr), 1);
  EXPECT_EQ(Esc(KM_ESC_SET_JCL_HEADER, &jcl, nullptr), 1);
  EXPECT_EQ(Esc(KM_ESC_SET_GSBDATA, &gsb, nullptr), -1);
  EXPECT_EQ(Pdev()->devmode[5000], 0x5A);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(Pdev()->docName)), u"second");
  EXPECT_EQ(Pdev()->securityMarking[PDEV_GSB_DATA].data, nullptr);
  EXPECT_EQ(Esc(KM_ESC_SET_STATUS, &end, nullptr), 1);
  EXPECT_EQ(Pdev()->escapeStatus & KM_ESCSTATUS_MUTED, 0u);

  ASSERT_TRUE(KpEngineSendPage(session_));
  ASSERT_TRUE(KpEngineEndDoc(session_, 0));
  const std::vector<Command> commands = Stream();
  // 156 once (round 2); 150 with the marked devmode, never the muted one;
  // the name of round 2 in 152.
  EXPECT_EQ(Count(commands, XL_IC_SETJCLHEADERS), 1u);
  bool marked = false;
  for (const Command& c : commands) {
    if (c.code == XL_IC_SETDEVMODE) {
      ASSERT_EQ(c.payload.size(), XL_IC_DEVMODE_PAYLOAD);
      EXPECT_NE(c.payload[5000], 0xC3);
      marked |= c.payload[5000] == 0x5A;
    }
    if (c.code == XL_IC_SETJCLHEADERS) {
      EXPECT_EQ(c.payload, jcl);
    }
    if (c.code == XL_IC_SETDOCNAME) {
      EXPECT_EQ(c.payload, secondName);
    }
  }
  EXPECT_TRUE(marked);
  EXPECT_TRUE(KpEngineDisablePDEV(session_));
}

// SetDevMode once the job started sends 150 at once, carrying the new
// devmode with the PDEV's copies.
TEST_F(KmEscapeJob, SetDevModeAfterTheStartSendsIt) {
  Open();
  ASSERT_TRUE(KpEngineStartDoc(session_, u"report", 1));
  Bytes copies = U32(4);
  ASSERT_EQ(Esc(SETCOPYCOUNT, &copies, nullptr), 1);
  Bytes devmode(KM_ESC_DEVMODE_SIZE);
  ASSERT_EQ(Esc(KM_ESC_GET_DEVMODE, nullptr, &devmode), 1);
  devmode[4321] = 0x77;
  std::vector<BYTE> pd(NRV_PRINTERDATA_SIZE);
  ASSERT_TRUE(ddm_SetNumber(DDM_COPIES, devmode.data(), pd.data(), 9));
  EXPECT_EQ(Esc(KM_ESC_SET_DEVMODE, &devmode, nullptr), 1);
  ASSERT_TRUE(KpEngineEndDoc(session_, 0));  // no page: the only 150 is the escape's
  const std::vector<Command> commands = Stream();
  ASSERT_EQ(Count(commands, XL_IC_SETDEVMODE), 1u);
  for (const Command& c : commands) {
    if (c.code != XL_IC_SETDEVMODE) continue;
    EXPECT_EQ(c.payload[4321], 0x77);
    Bytes sent(c.payload.begin(), c.payload.begin() + KM_ESC_DEVMODE_SIZE);
    LONG sentCopies = 0;
    ASSERT_TRUE(ddm_GetNumber(DDM_COPIES, sent.data(), pd.data(), &sentCopies));
    EXPECT_EQ(sentCopies, 4);  // the PDEV's copies
  }
  EXPECT_TRUE(KpEngineDisablePDEV(session_));
}

// A 260-character document name reaches command 152 in a form the spooler
// side's reader takes: its first 259 characters and the NUL.
TEST_F(KmEscapeJob, LongDocumentNameReachesTheSpoolerSide) {
  Open();
  const std::u16string name(260, u'd');
  Bytes in = Name(name);
  ASSERT_EQ(Esc(KM_ESC_SET_DOC_NAME, &in, nullptr), 1);
  ASSERT_TRUE(KpEngineStartDoc(session_, u"short", 1));
  ASSERT_TRUE(KpEngineStartPage(session_));
  Draw();
  ASSERT_TRUE(KpEngineSendPage(session_));
  ASSERT_TRUE(KpEngineEndDoc(session_, 0));
  const std::vector<Command> commands = Stream();
  ASSERT_GE(Count(commands, XL_IC_SETDOCNAME), 1u);
  for (const Command& c : commands)
    if (c.code == XL_IC_SETDOCNAME) {
      EXPECT_EQ(c.payload, Name(name.substr(0, 259)));
    }
  EXPECT_TRUE(KpEngineDisablePDEV(session_));
}

// GetPageInfo at N-up 2 through three pages: the page-level marking at each
// page end, the sheet-level marking when a sheet fills and, at the end of
// the document, for the half-filled last sheet; the printable area turned
// with the sheet.
TEST_F(KmEscapeJob, PageInfoAtTwoUp) {
  Open([](CreateDcDevmode& dm) { ASSERT_TRUE(dm.Set(295, 2)); });
  ASSERT_TRUE(KpEngineStartDoc(session_, u"two-up", 1));
  auto value = [](const Bytes& info, int i) {
    DWORD v;
    std::memcpy(&v, &info[4 * i], 4);
    return v;
  };
  auto real = [](const Bytes& info, int i) {
    float v;
    std::memcpy(&v, &info[4 * i], 4);
    return v;
  };
  struct Expect {
    DWORD request;
    DWORD sheet, page, headerFooter;
  };
  const Expect pages[] = {{0, 0, 1, 0}, {0, 1, 1, 5}, {0, 0, 1, 0}};
  for (int page = 0; page < 3; ++page) {
    SCOPED_TRACE(page + 1);
    ASSERT_TRUE(KpEngineStartPage(session_));
    Draw();
    if (page == 0) {
      // The job's marking settings: on every page and on every sheet.
      Pdev()->jobInfo.stampOnAll = 1;
      Pdev()->jobInfo.stampOnFirst = 1;
      Pdev()->jobInfo.headerFooter = 5;
    }
    Bytes info = PageInfo(pages[page].request);
    EXPECT_EQ(value(info, 0), pages[page].sheet);
    EXPECT_EQ(value(info, 1), pages[page].page);
    EXPECT_EQ(value(info, 2), pages[page].headerFooter);
    ASSERT_TRUE(KpEngineSendPage(session_));
  }
  // End of the document: the last sheet holds one page of two.
  Bytes info = PageInfo(KM_PAGEINFO_END_OF_DOCUMENT);
  EXPECT_EQ(value(info, 0), 1u);
  EXPECT_EQ(value(info, 1), 0u);
  EXPECT_EQ(value(info, 2), 5u);
  // The marking rectangle is the current form's printable area; the output
  // sheet is turned at 2-up, so its printable area comes turned.
  const LONG dpi = 600;
  const PRINTERFORM& cur = Pdev()->curForm;
  EXPECT_FLOAT_EQ(real(info, 3), static_cast<float>(static_cast<double>(cur.imageableLeft) * dpi / 18432));
  EXPECT_FLOAT_EQ(real(info, 6), static_cast<float>(static_cast<double>(cur.imageableBottom) * dpi / 18432));
  const PRINTERFORM& out = Pdev()->outForm;
  EXPECT_FLOAT_EQ(real(info, 7), static_cast<float>(static_cast<double>(out.imageableTop) * dpi / 18432));
  EXPECT_FLOAT_EQ(real(info, 8), static_cast<float>(static_cast<double>(out.imageableLeft) * dpi / 18432));
  EXPECT_FLOAT_EQ(real(info, 9), static_cast<float>(static_cast<double>(out.imageableBottom) * dpi / 18432));
  EXPECT_FLOAT_EQ(real(info, 10), static_cast<float>(static_cast<double>(out.imageableRight) * dpi / 18432));
  // The page number job control keeps: three pages ended.
  Bytes number(4);
  EXPECT_EQ(Esc(KM_ESC_GET_PAGE_NUMBER, nullptr, &number), 1);
  EXPECT_EQ(number, U32(3));
  ASSERT_TRUE(KpEngineEndDoc(session_, 0));
  EXPECT_TRUE(KpEngineDisablePDEV(session_));
}

// A landscape page with the application's own margins (DDM 387, escape
// 0x5010: left 10 mm, right 20, top 30, bottom 40): the page-level marking
// rectangle of escape 0x5001 is the page less those margins, each on its own
// side of the landscape page (pixels at 600 dpi from the page's corner).
TEST_F(KmEscapeJob, PageInfoOfALandscapePageKeepsEachMarginOnItsSide) {
  Open([](CreateDcDevmode& dm) {
    ASSERT_TRUE(dm.Set(DDM_ORIENTATION, DMORIENT_LANDSCAPE));
    ASSERT_TRUE(dm.Set(DDM_APP_MARGINS, 1));
  });
  ASSERT_TRUE(KpEngineStartDoc(session_, u"landscape", 1));
  const WORD margins[5] = {9, 100, 200, 300, 400};  // A4; left, right, top, bottom in 0.1 mm
  Bytes in(sizeof margins);
  std::memcpy(in.data(), margins, sizeof margins);
  ASSERT_EQ(Esc(KM_ESC_SET_APP_MARGIN, &in, nullptr), 1);
  ASSERT_TRUE(KpEngineStartPage(session_));
  Draw();
  Pdev()->jobInfo.stampOnAll = 1;
  const Bytes info = PageInfo(KM_PAGEINFO_END_OF_PAGE);
  KM_PAGEINFO page{};
  std::memcpy(&page, info.data(), sizeof page);
  ASSERT_EQ(page.pageMarkDue, 1u);
  const double px = 600.0 / 254;  // pixels a tenth of a millimetre
  EXPECT_NEAR(page.markLeft, 100 * px, 2);
  EXPECT_NEAR(page.markRight, (2970 - 200) * px, 2);
  EXPECT_NEAR(page.markTop, 300 * px, 2);
  EXPECT_NEAR(page.markBottom, (2100 - 400) * px, 2);
  ASSERT_TRUE(KpEngineSendPage(session_));
  ASSERT_TRUE(KpEngineEndDoc(session_, 0));
  EXPECT_TRUE(KpEngineDisablePDEV(session_));
}

}  // namespace
