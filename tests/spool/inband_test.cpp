// The in-band executor: every command with its right, short and long
// payload; the record copies and what this side keeps; the hostile header
// tables; the page start's rounding and refusal; the time-stamp texts; the
// merged-image calls into the colour library.
#include <cmath>
#include <cstring>
#include <functional>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kplatform/byte_order.h"
#include "spool_fixture.h"

namespace kestrel::test {
namespace {

std::string Pattern(size_t n, int seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + seed) & 0xFF);
  return s;
}
std::string F32(float f) {
  std::string s(4, '\0');
  std::memcpy(s.data(), &f, 4);
  return s;
}
std::string I32(int32_t v) {
  std::string s(4, '\0');
  std::memcpy(s.data(), &v, 4);
  return s;
}
std::string Wide(const std::u16string& text, bool nul) {
  std::string s(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  if (nul) s += std::string(2, '\0');
  return s;
}

class SpoolInband : public SpoolTest {
 protected:
  // Runs the stream on a job of model A's queue; `check` looks at the
  // context and the output before the job ends.
  void Run(const std::string& stream, const std::function<void(UmpdJobContext*)>& before,
           const std::function<void(UmpdJobContext*, const std::string&)>& check, bool endJob = true) {
    Printer().Reset();
    OfflineJob job(stream, queue_.printer);
    if (before) before(job.ctx());
    if (endJob) job.Run();
    else ParseGroupedStream(job.ctx());  // the job's output stays open
    check(job.ctx(), Printer().bytes);
  }
};

struct CommandCase {
  BYTE code;
  std::string payload;
  bool shortTaken;  // the payload one byte short is still taken
  bool longTaken;   // one byte long is still taken
  std::function<bool(UmpdJobContext*, const std::string& out)> effect;
};

TEST_F(SpoolInband, EachCommandWithRightShortAndLongPayload) {
  const std::string dm = Pattern(5440, 1), pd = Pattern(4736, 2), ji = Pattern(1348, 3), li = Pattern(176, 4);
  const float shift[6] = {1, 0, 0, 1, 100, 200};
  std::string matrix;
  for (float f : shift) matrix += F32(f);
  const std::vector<CommandCase> cases = {
      {XL_IC_SETCOORDINATE, matrix, false, false, [](UmpdJobContext*, const std::string& out) { return !out.empty(); }},
      {XL_IC_STARTPAGE, F32(0) + F32(0) + Bytes({2, 1, 9, 0}), false, false,
       [](UmpdJobContext*, const std::string& out) { return !out.empty() && out.back() == 0x43; }},
      {XL_IC_SETCOLORMODE, I32(7) + Bytes({3, 0, 0, 0}), false, false,
       [](UmpdJobContext* c, const std::string&) { return c->jobInfo.colorModeAuto == 7 && c->pageCtrl.pageColorMode == 3; }},
      {XL_IC_TIMEOUT, Bytes({2}), false, false,
       [](UmpdJobContext*, const std::string& out) { return out.find("StartPage") != std::string::npos; }},
      {XL_IC_SETDEVMODE, dm, false, true,
       [&](UmpdJobContext* c, const std::string&) { return std::memcmp(c->devmode, dm.data(), 5440) == 0; }},
      {XL_IC_SETPRINTERDATA, pd, false, false,
       [&](UmpdJobContext* c, const std::string&) { return std::memcmp(c->printerData, pd.data(), 4736) == 0; }},
      {XL_IC_SETJOBINFO, ji, false, false,
       [&](UmpdJobContext* c, const std::string&) { return std::memcmp(&c->jobInfo, ji.data(), 1348) == 0; }},
      {XL_IC_SETLAYOUTINFO, li, false, false,
       [&](UmpdJobContext* c, const std::string&) { return std::memcmp(&c->layoutInfo, li.data(), 176) == 0; }},
      {XL_IC_SETDOCNAME, Wide(u"Quarterly", true), true, true,
       [](UmpdJobContext* c, const std::string&) { return std::u16string(c->documentName) == u"Quarterly"; }},
  };
  for (const CommandCase& c : cases) {
    for (int variant = 0; variant < 3; ++variant) {
      std::string payload = c.payload;
      bool taken = true;
      if (variant == 1) {
        payload.pop_back();
        taken = c.shortTaken;
      } else if (variant == 2) {
        payload += '\0';
        taken = c.longTaken;
      }
      SCOPED_TRACE(testing::Message() << "code " << int(c.code) << " variant " << variant);
      Run(InbandCommand(c.code, payload, true), nullptr, [&](UmpdJobContext* ctx, const std::string& out) {
        EXPECT_EQ(c.effect(ctx, out), taken);
        EXPECT_EQ(ctx->ok.load(), 1u);
      });
    }
  }
}

TEST_F(SpoolInband, StampFlagAndNoPayloadCommands) {
  Run(InbandCommand(XL_IC_BEGINSTAMP, "", false), nullptr,
      [](UmpdJobContext* c, const std::string& out) {
        EXPECT_EQ(c->stampFlag, 1u);
        EXPECT_TRUE(out.empty());  // the operator itself never reaches the output
      });
  Run(InbandCommand(XL_IC_BEGINSTAMP, "", false) + InbandCommand(XL_IC_ENDSTAMP, "", false) +
          InbandCommand(XL_IC_OPENPRINTER, "", false) + InbandCommand(XL_IC_CLOSEPRINTER, "x", true),
      nullptr, [](UmpdJobContext* c, const std::string& out) {
        EXPECT_EQ(c->stampFlag, 0u);
        EXPECT_TRUE(out.empty());
        EXPECT_EQ(c->commandsRun[XL_IC_CLOSEPRINTER - XL_IC_FIRST], 1u);
      });
}

TEST_F(SpoolInband, PageControlKeepsWordsZeroAndThreeToTwentyOne) {
  std::string incoming = Pattern(148, 9);
  Run(InbandCommand(XL_IC_SETPAGECTRL, incoming, true),
      [](UmpdJobContext* c) { std::memset(reinterpret_cast<BYTE*>(&c->pageCtrl) + 12, 0xEE, 76); },
      [&](UmpdJobContext* c, const std::string&) {
        const BYTE* now = reinterpret_cast<const BYTE*>(&c->pageCtrl);
        EXPECT_EQ(c->pageCtrl.flags, PAGECTRL_OUTPUT_OPEN);  // this side's open bits
        // Word 1: the page-store state bits (0x803F) stay this side's (no
        // store here), the renderer's other bits come with the record; word
        // 2 as it came.
        EXPECT_EQ(c->pageCtrl.pageStore,
                  kp_LoadU32(reinterpret_cast<const BYTE*>(incoming.data()) + 4) & ~PAGESTORE_STATE_BITS);
        EXPECT_EQ(std::memcmp(now + 8, incoming.data() + 8, 4), 0);      // word 2
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(now + 12), 76), std::string(76, '\xEE'));
        EXPECT_EQ(std::memcmp(now + 88, incoming.data() + 88, 60), 0);  // words 22-36
      },
      false);
  // The renderer's record claims a page is being stored with the page
  // start captured (0x8005) while this side stores nothing (no 132/133
  // reached it): its state bits are not taken, so the page is framed
  // directly, start, show and end page alike.
  std::string storing(148, '\0');
  storing[4] = 0x05;
  storing[5] = static_cast<char>(0x80);
  Run(InbandCommand(XL_IC_SETPAGECTRL, storing, true) +
          InbandCommand(XL_IC_STARTPAGE, F32(0) + F32(0) + Bytes({1, 1, 9, 0}), true) +
          InbandCommand(XL_IC_SHOWPAGE, "", false) + InbandCommand(XL_IC_ENDPAGE, "", false),
      nullptr, [](UmpdJobContext* c, const std::string& out) {
        EXPECT_EQ(c->ok.load(), 1u);
        EXPECT_EQ(c->pagesOut, 1u);
        ASSERT_GE(out.size(), 2u);
        EXPECT_NE(out.find('\x43'), std::string::npos);  // BeginPage
        EXPECT_EQ(out.back(), 0x44);                      // EndPage
      });
}

TEST_F(SpoolInband, DocumentNameAlwaysEndsWithItsNul) {
  const std::u16string name259(259, u'n');
  struct Case {
    const char* what;
    std::string payload;
    std::u16string expected;
  };
  const Case cases[] = {
      {"520 bytes with the NUL", Wide(name259, true), name259},
      {"522 bytes: ignored", Wide(name259 + u"x", true), u"before"},
      {"520 bytes without NUL", Wide(name259 + u"z", false), name259},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Run(InbandCommand(XL_IC_SETDOCNAME, Wide(u"before", true), true) + InbandCommand(XL_IC_SETDOCNAME, c.payload, true),
        nullptr, [&](UmpdJobContext* ctx, const std::string&) { EXPECT_EQ(std::u16string(ctx->documentName), c.expected); });
  }
}

std::string JclTable(int32_t count, int32_t entrySize, const std::vector<std::string>& texts) {
  std::string t = I32(count) + I32(entrySize) + I32(0) + I32(0);
  for (const std::string& text : texts) {
    std::string entry = I32(static_cast<int32_t>(text.size())) + text;
    entry.resize(static_cast<size_t>(entrySize), '\0');
    t += entry;
  }
  for (int32_t i = 0; i < count; ++i) t += I32(i + 1);
  return t;
}

TEST_F(SpoolInband, HeaderTablesAreCheckedWhole) {
  const std::string good = JclTable(2, 32, {"@PJL SET COPIES=1", "@PJL SET COPIES=2"});
  Run(InbandCommand(XL_IC_SETJCLHEADERS, good, true), nullptr, [&](UmpdJobContext* c, const std::string&) {
    ASSERT_NE(c->jclHeaders, nullptr);
    EXPECT_EQ(c->jclHeadersSize, good.size());
    EXPECT_EQ(kp_LoadU32(c->jclHeaders + 8), 16u);           // first entry, by offset
    EXPECT_EQ(kp_LoadU32(c->jclHeaders + 12), 16u + 2 * 32);  // the values after the entries
    EXPECT_EQ(std::memcmp(c->jclHeaders + 16 + 32 + 4, "@PJL SET COPIES=2", 17), 0);
  });
  std::string tooLongText = JclTable(1, 8, {"abcd"});
  kp_StoreU32(reinterpret_cast<BYTE*>(tooLongText.data()) + 16, 5);  // 5 > 8 - 4
  std::string negativeText = JclTable(1, 8, {"abcd"});
  kp_StoreU32(reinterpret_cast<BYTE*>(negativeText.data()) + 16, 0xFFFFFFFFu);
  const std::string hostile[] = {
      JclTable(2, 32, {"a", "b"}).substr(0, 90),                         // shorter than its count says
      I32(0x7FFFFFFF) + I32(0x7FFFFFFF) + I32(0) + I32(0) + "xxxx",     // (size + 4) x count beyond 32 bits
      I32(-1) + I32(8) + I32(0) + I32(0),                                // negative count
      I32(1) + I32(2) + I32(0) + I32(0) + "xxxxxx",                      // entry smaller than its length word
      tooLongText,
      negativeText,
  };
  for (const std::string& t : hostile) {
    Run(InbandCommand(XL_IC_SETJCLHEADERS, good, true) + InbandCommand(XL_IC_SETJCLHEADERS, t, true), nullptr,
        [&](UmpdJobContext* c, const std::string&) {
          ASSERT_NE(c->jclHeaders, nullptr);  // the table before stays
          EXPECT_EQ(c->jclHeadersSize, good.size());
          EXPECT_EQ(c->ok.load(), 1u);
        });
  }
}

TEST_F(SpoolInband, PageStartRoundsItsSizeAndRefusesNaN) {
  EXPECT_EQ(Parse_ctrl_roundPaperSize(209.96f), 210.0f);
  EXPECT_EQ(Parse_ctrl_roundPaperSize(297.04f), 297.0f);
  EXPECT_EQ(Parse_ctrl_roundPaperSize(100.0f), 100.0f);
  // A custom size (paper code 81), colour mode 2: the colour comment, then
  // BeginPage with the rounded size in millimetres.
  Run(InbandCommand(XL_IC_STARTPAGE, F32(209.96f) + F32(297.04f) + Bytes({2, 1, 81, 0}), true), nullptr,
      [](UmpdJobContext* c, const std::string& out) {
        EXPECT_EQ(c->ok.load(), 1u);
        const std::string comment = Bytes({0xC8, 0xC0, 8}) + "ZANPC=03" + Bytes({0xF8, 0x81, 0x47});
        ASSERT_GE(out.size(), comment.size());
        EXPECT_EQ(out.substr(0, comment.size()), comment);
        EXPECT_NE(out.find(Bytes({0xD5}) + F32(210.0f) + F32(297.0f)), std::string::npos);
        EXPECT_EQ(out.back(), 0x43);
        EXPECT_EQ(c->pagesOut, 1u);
      });
  Run(InbandCommand(XL_IC_STARTPAGE, F32(std::nanf("")) + F32(297.0f) + Bytes({1, 1, 81, 0}), true) + Bytes({0x44}),
      nullptr, [](UmpdJobContext* c, const std::string& out) {
        EXPECT_EQ(c->ok.load(), 0u);
        EXPECT_TRUE(out.empty());
      });
}

std::string CommentBytes(const std::string& text) {
  return Bytes({0xC8, 0xC0, static_cast<int>(text.size())}) + text + Bytes({0xF8, 0x81, 0x47});
}

TEST_F(SpoolInband, TimeStampTexts) {
  SYSTEMTIME t{};
  t.wYear = 2026;
  t.wMonth = 3;
  t.wDay = 14;
  t.wHour = 9;
  t.wMinute = 26;
  t.wSecond = 53;
  ASSERT_TRUE(KpSetClock(&t));
  const LONG bias = 0;
  KpSetTimeZoneBias(&bias);
  Run(InbandCommand(XL_IC_SETDOCNAME, Wide(u"Report", true), true) + InbandCommand(XL_IC_TIMEOUT, Bytes({1}), true),
      nullptr, [](UmpdJobContext* c, const std::string& out) {
        EXPECT_EQ(out, CommentBytes("\"[2026,03/14,09:26:53][Report][]\""));
        EXPECT_NE(c->timeStampTick, 0u);
      });
  // Codes 2-5, 7 against the tick of code 1 (a millisecond may pass while
  // the text is made).
  OfflineJob job("", queue_.printer);
  const struct {
    BYTE code;
    const char* format;
  } codes[] = {{2, "\"[%ldms]StartPage\""}, {3, "\"[%ldms]EndPage of Physical\""},
               {4, "\"[%ldms]EndPage of Logical\""}, {5, "\"[%ldms]EndJob\""}, {7, "\"[%ldms]\""}};
  for (const auto& c : codes) {
    job.ctx()->timeStampTick = GetTickCount() - 1234;
    char text[256];
    Parse_ctrl_timeStampText(job.ctx(), c.code, text);
    char a[64], b[64];
    std::snprintf(a, sizeof(a), c.format, 1234L);
    std::snprintf(b, sizeof(b), c.format, 1235L);
    EXPECT_TRUE(std::string(text) == a || std::string(text) == b) << text;
  }
  // Code 6: the description data's file and versions, the system's, the
  // driver version.
  KpSetVersion(6, 1, 7601, 2);
  job.ctx()->timeStampTick = GetTickCount();
  char text[256];
  Parse_ctrl_timeStampText(job.ctx(), 6, text);
  EXPECT_EQ(std::string(text).find("[0ms][K350"), 0u) << text;
  EXPECT_NE(std::string(text).find("][6:1:1db1:2:"), std::string::npos) << text;
  // Last the printer data's page-description version, as model A gives a
  // new queue: 1.5.1.
  const std::string stamp6 = text;
  ASSERT_GE(stamp6.size(), 10u);
  EXPECT_EQ(stamp6.substr(stamp6.size() - 10), "][1010501]") << text;
  // A name too long for the 256 bytes is cut at a character, not lost.
  const std::u16string longName(300, u'\u00e9');
  Run(InbandCommand(XL_IC_SETDOCNAME, Wide(longName.substr(0, 259), true), true) +
          InbandCommand(XL_IC_TIMEOUT, Bytes({1}), true),
      nullptr, [](UmpdJobContext*, const std::string& out) {
        ASSERT_GT(out.size(), 200u);
        EXPECT_EQ(static_cast<BYTE>(out[2]), 255u);  // 255 bytes of text
        EXPECT_EQ(out.substr(3, 24), "\"[2026,03/14,09:26:53][\xE9");
      });
  KpSetClock(nullptr);
  KpSetTimeZoneBias(nullptr);
  KpResetMachineFacts();
}

// The colour library's merged-image entries, recorded in call order.
std::vector<std::string> g_calls;
int32_t BeginLink(void*, BYTE mode) {
  g_calls.push_back("begin " + std::to_string(mode));
  return 0;
}
int16_t Check(void*) {
  g_calls.push_back("check");
  return 0;
}
void EndLink(void*) { g_calls.push_back("end"); }

TEST_F(SpoolInband, MergedImageEndsItsGatheringAndGoesOut) {
  int handle = 0;
  UmpdColorParams params{};
  params.slot[UMPD_COLOR_HANDLE] = &handle;
  params.slot[UMPD_COLOR_BEGINLINK] = reinterpret_cast<void*>(BeginLink);
  params.slot[UMPD_COLOR_CHECK] = reinterpret_cast<void*>(Check);
  params.slot[UMPD_COLOR_ENDLINK] = reinterpret_cast<void*>(EndLink);
  g_calls.clear();
  Run(InbandCommand(XL_IC_LINKIMAGESTART, "", false) + InbandCommand(XL_IC_LINKIMAGEEND, "", false) + Bytes({0x44}),
      [&](UmpdJobContext* c) {
        ASSERT_TRUE(cdm_SetDefaultDevmode(queue_.ddd, c->devmode, c->printerData, kModelAPrinter));
        ASSERT_TRUE(ddm_SetNumber(DDM_COLORMODE, c->devmode, c->printerData, 1));  // 291 is available then
        ASSERT_TRUE(ddm_SetNumber(DDM_NIE, c->devmode, c->printerData, 2));
        c->colorParams = &params;
      },
      [](UmpdJobContext* c, const std::string& out) {
        EXPECT_FALSE(c->imageGathering);
        EXPECT_FALSE(c->imageCheck);
        EXPECT_EQ(c->imageList, nullptr);
        EXPECT_EQ(c->ok.load(), 1u);  // the (empty) merged image went out; the job goes on
        EXPECT_EQ(out, Bytes({0x44}));
      });
  EXPECT_EQ(g_calls, (std::vector<std::string>{"begin 2", "check", "end"}));
  // Without the setting the library is not asked; the end still ends the link.
  g_calls.clear();
  Run(InbandCommand(XL_IC_LINKIMAGESTART, "", false) + InbandCommand(XL_IC_LINKIMAGEEND, "", false),
      [&](UmpdJobContext* c) { c->colorParams = &params; },
      [](UmpdJobContext* c, const std::string&) { EXPECT_EQ(c->ok.load(), 1u); });
  EXPECT_EQ(g_calls, (std::vector<std::string>{"end"}));
}

}  // namespace
}  // namespace kestrel::test

namespace kestrel::test {
namespace {

class SpoolSnapshot : public SpoolTest {};

TEST_F(SpoolSnapshot, TakenOnTheParserAtBeginSession) {
  // The first devmode makes the job header; the later one arrives after it.
  const std::string first = ModelADevmode(queue_), later = std::string(5440, '\x22');
  const std::string beginSession = Bytes({0xD1, 0x58, 0x02, 0x58, 0x02, 0xF8, 0x89, 0xC0, 0, 0xF8, 0x86, 0xC0, 0,
                                          0xF8, 0x8F, 0x41});
  OfflineJob job(InbandCommand(XL_IC_SETDEVMODE, first, true) + beginSession +
                     InbandCommand(XL_IC_SETDEVMODE, later, true),
                 queue_.printer);
  // The spooler's StartPage before the parser ran takes nothing.
  ASSERT_TRUE(DrvSplStartPage(job.ctx()));
  EXPECT_FALSE(job.ctx()->snapshotTaken);
  job.Run();
  EXPECT_TRUE(job.ctx()->snapshotTaken);
  EXPECT_EQ(std::memcmp(job.ctx()->devmodeSnapshot, first.data(), 5440), 0);
  EXPECT_EQ(std::memcmp(job.ctx()->devmode, later.data(), 5440), 0);
}

}  // namespace
}  // namespace kestrel::test

namespace kestrel::test {
namespace {

class SpoolFormRegistration : public SpoolInband {
 protected:
  void SetForm(UmpdJobContext* c, const std::u16string& name) {
    ASSERT_TRUE(cdm_SetDefaultDevmode(queue_.ddd, c->devmode, c->printerData, kModelAPrinter));
    ASSERT_EQ(ddm_SetValue(DDM_FORMDIRECTORY, c->devmode, c->printerData, DDM_TYPE_STRING,
                           static_cast<DWORD>((name.size() + 1) * 2), name.c_str()),
              0);
  }
};

TEST_F(SpoolFormRegistration, TheFormGoesToItsFileThenOutputReturnsToThePrinter) {
  Run(Bytes({0x85}) + InbandCommand(XL_IC_CHANGESPOOL_FORMREGISTER, "", false) + Bytes({0x86, 0x86}) +
          InbandCommand(XL_IC_STOPSPOOL_FORMREGISTER, "", false) + Bytes({0x44}),
      [&](UmpdJobContext* c) { SetForm(c, u"dept\\Letterhead"); },
      [&](UmpdJobContext* c, const std::string& out) {
        EXPECT_EQ(c->ok.load(), 1u);
        EXPECT_EQ(out, Bytes({0x85, 0x44}));
        EXPECT_EQ(ReadHostFile(root_.host("c/Halcyra/form/dept/Letterhead.kfm")), Bytes({0x86, 0x86}));
      });
  // A name that climbs out of the form folder is refused and the job ends.
  Run(InbandCommand(XL_IC_CHANGESPOOL_FORMREGISTER, "", false) + Bytes({0x86}),
      [&](UmpdJobContext* c) { SetForm(c, u"..\\..\\Windows\\evil"); },
      [](UmpdJobContext* c, const std::string& out) {
        EXPECT_EQ(c->ok.load(), 0u);
        EXPECT_TRUE(out.empty());
      });
}

}  // namespace
}  // namespace kestrel::test
