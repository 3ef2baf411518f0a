// The PJL reply parser over a corpus of replies: the records each reply
// writes, the same records when the reply arrives split at any byte, and the
// limits of what it holds and counts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lm.h"

namespace {

class Parser {
 public:
  Parser() {
    lm::HeapInit();
    InitializeCriticalSection(&cs_);
    ok_ = lm::StatusInit(&st_, &cs_);
  }
  ~Parser() {
    lm::StatusFree(&st_);
    DeleteCriticalSection(&cs_);
  }
  bool ok() const { return ok_; }
  lm::Status& st() { return st_; }
  int feed(const std::string& s) { return lm::Feed(&st_, s.data(), static_cast<DWORD>(s.size())); }
  DWORD dword(const char* record) {
    DWORD v = 0;
    std::memcpy(&v, lm::FindRecord(&st_, record)->data, 4);
    return v;
  }
  lm::JobRecord job() {
    lm::JobRecord j;
    std::memcpy(&j, lm::FindRecord(&st_, "PrintingJobInfo2")->data, sizeof j);
    return j;
  }
  std::u16string display() {
    lm::DisplayRecord d;
    std::memcpy(&d, lm::FindRecord(&st_, "PrinterDisplay")->data, sizeof d);
    return std::u16string(d.text);
  }
  std::string text(const char* record) { return reinterpret_cast<const char*>(lm::FindRecord(&st_, record)->data); }
  // Every record's bytes and the configuration, for comparing two runs.
  std::string snapshot() {
    std::string s;
    for (DWORD i = 0; i < st_.recordCount; ++i)
      s.append(reinterpret_cast<const char*>(st_.records[i].data), st_.records[i].size);
    s.append(reinterpret_cast<const char*>(&st_.config), sizeof st_.config - sizeof(DWORD) * 2);
    s += std::to_string(st_.pendingCount) + "/" + std::to_string(st_.stoppingError);
    return s;
  }

 private:
  CRITICAL_SECTION cs_;
  lm::Status st_;
  bool ok_ = false;
};

const std::string kStatus = "@PJL INFO STATUS\r\nCODE=10001\r\nDISPLAY=\"READY\"\r\nONLINE=TRUE\r\n\f";
const std::string kJam = "@PJL USTATUS DEVICE\r\nCODE=42000\r\nDISPLAY=\"PAPER JAM\"\r\nONLINE=FALSE\r\n\f";
const std::string kJobStart = "@PJL USTATUS JOB\r\nSTART\r\nNAME=\"MSJOB 7\"\r\n\f";
const std::string kPages = "@PJL USTATUS PAGE\r\n1\r\n\f@PJL USTATUS PAGE\r\n2\r\n\f@PJL USTATUS PAGE\r\n3\r\n\f";
const std::string kJobEnd = "@PJL USTATUS JOB\r\nEND\r\nNAME=\"MSJOB 7\"\r\nPAGES=3\r\nRESULT=OK\r\n\f";
const std::string kPageCount = "@PJL INFO PAGECOUNT\r\n4711\r\n\f";
const std::string kVariables =
    "@PJL INFO VARIABLES\r\nCOPIES=5 [2 RANGE]\r\n\t1\r\n\t999\r\nORIENTATION=LANDSCAPE [2 ENUMERATED]\r\n"
    "\tPORTRAIT\r\n\tLANDSCAPE\r\nRET=MEDIUM\r\nECONOMODE=ON\r\nINTRAY=2\r\nINTRAY3FIXED=AUTO\r\n"
    "INTRAY1FIXED=LETTER\r\nINTRAYMTSIZE=A4\r\nINTRAYMTDIR=LONG\r\nPOWERSAVE=ON\r\nPOWERSAVE2=ON\r\n"
    "POWERSAVETIME=30\r\nPOWERSAVETIME2=60\r\nPAPER=HEAVY\r\nPAPER2=OHP\r\nPAPERSORT=ON\r\nPAPERFEED3=ON\r\n"
    "PAPERFEEDMP=ON\r\nTIMEOUT=15\r\nDUPLEX=ON\r\nBINDPOSITION=SHORTEDGE2\r\nOUTBIN=OUTTRAY2\r\n\f";
const std::string kConfig =
    "@PJL INFO CONFIG\r\nIN TRAYS [3 ENUMERATED]\r\n\tINTRAY1 TYPE=NORMAL NAME=\"TRAY 1\"\r\n"
    "\tINTRAY2 TYPE=LARGE NAME=\"LARGE CAPACITY TRAY NUMBER TWO\"\r\n\tINTRAY40 TYPE=LARGE\r\nDUPLEX\r\n"
    "OUT TRAYS [2 ENUMERATED]\r\n\tOUTTRAY1\r\n\tOUTTRAY2\r\nMEMORY=134217728\r\nRAMDISK=1048576\r\n"
    "LANGUAGES [1 ENUMERATED]\r\n\tPCLXL\r\n\f";
const std::string kId = "@PJL INFO ID\r\n\"Scriva K350\"\r\n\f";
const std::string kInquire = "@PJL INQUIRE COPIES\r\n3\r\n\f";

struct Case {
  const char* name;
  std::string text;
};

const std::vector<Case> kCorpus = {
    {"status", kStatus},
    {"jam", kJam},
    {"job", kJobStart + kPages + kJobEnd},
    {"pagecount", kPageCount},
    {"variables", kVariables},
    {"config", kConfig + kId},
    {"inquire", kInquire},
    {"echo then status", "@PJL ECHO KESTREL 1\r\n\f" + kStatus},
    {"unknown then pagecount", "@PJL FOO BAR\r\nX=1\r\n\f" + kPageCount},
    {"noise then status", "garbage\r\n\f" + kStatus},
};

TEST(ReplyParser, SplitAtAnyByteGivesTheSameRecords) {
  for (const Case& c : kCorpus) {
    SCOPED_TRACE(c.name);
    Parser whole;
    ASSERT_TRUE(whole.ok());
    whole.feed(c.text);
    std::string expected = whole.snapshot();
    Parser bytes;
    for (char ch : c.text) bytes.feed(std::string(1, ch));
    EXPECT_EQ(bytes.snapshot(), expected) << "byte by byte";
    for (size_t cut = 1; cut < c.text.size(); ++cut) {
      Parser two;
      two.feed(c.text.substr(0, cut));
      two.feed(c.text.substr(cut));
      ASSERT_EQ(two.snapshot(), expected) << "cut at " << cut;
    }
  }
}

TEST(ReplyParser, StatusRepliesSetDisplayCodeAndStop) {
  Parser p;
  EXPECT_EQ(p.feed(kStatus), 0);
  EXPECT_EQ(p.display(), u"READY");
  EXPECT_EQ(p.dword("ErrCode"), 10001u);
  EXPECT_FALSE(p.st().stoppingError);
  p.feed(kJam);
  EXPECT_EQ(p.display(), u"PAPER JAM");
  EXPECT_TRUE(p.st().stoppingError);
  p.feed(kStatus);
  EXPECT_FALSE(p.st().stoppingError);
}

TEST(ReplyParser, DisplayStopsAtItsQuoteAndIsCut) {
  struct {
    const char* line;
    const char16_t* shown;
  } const cases[] = {
      {"DISPLAY=\"READY\" LINE=1", u"READY"},
      {"DISPLAY=\"0123456789ABCDEF0123456789ABCDEFXYZ\"", u"0123456789ABCDEF0123456789ABCDEF"},
      {"DISPLAY=\"OPEN", u"OPEN"},
      {"DISPLAY=\"\"", u""},
  };
  for (const auto& c : cases) {
    Parser p;
    p.feed(std::string("@PJL INFO STATUS\r\n") + c.line + "\r\n\f");
    EXPECT_EQ(p.display(), c.shown) << c.line;
  }
}

TEST(ReplyParser, SameDisplayIsNotMarkedChanged) {
  Parser p;
  p.feed(kStatus);
  lm::Record* r = lm::FindRecord(&p.st(), "PrinterDisplay");
  EXPECT_EQ(r->changed, 1u);
  r->changed = 0;
  p.feed(kStatus);
  EXPECT_EQ(r->changed, 0u);
  p.feed("@PJL INFO STATUS\r\nDISPLAY=\"SLEEP\"\r\n\f");
  EXPECT_EQ(r->changed, 1u);
}

TEST(ReplyParser, JobProgressAndPendingList) {
  Parser p;
  p.feed(kJobStart);
  lm::JobRecord j = p.job();
  EXPECT_EQ(j.jobId, 7u);
  EXPECT_EQ(j.flags & (lm::kJobStarted | lm::kJobSeen), lm::kJobStarted | lm::kJobSeen);
  EXPECT_EQ(p.st().pendingCount, 1u);
  p.feed(kPages);
  EXPECT_EQ(p.job().printedPages, 3u);
  p.feed(kJobEnd);
  j = p.job();
  EXPECT_NE(j.flags & lm::kJobEnded, 0u);
  EXPECT_EQ(j.printedPages, 3u);
  EXPECT_EQ(p.st().pendingCount, 0u);
}

TEST(ReplyParser, NamesAreLookedUpAmongTheJobsSent) {
  Parser p;
  lm::NoteSentJob(&p.st(), "03AB", 12);
  p.feed("@PJL USTATUS JOB\r\nSTART\r\nNAME=\"03AB\"\r\n\f");
  EXPECT_EQ(p.job().jobId, 12u);
  p.feed("@PJL USTATUS JOB\r\nSTART\r\nNAME=\"SOMEONE ELSE\"\r\n\f");
  EXPECT_EQ(p.job().jobId, 0u);
}

TEST(ReplyParser, PageCountsNeverWrap) {
  Parser p;
  p.feed(kJobStart);
  p.feed("@PJL USTATUS PAGE\r\n5\r\n\f@PJL USTATUS PAGE\r\n3\r\n\f");
  EXPECT_EQ(p.job().printedPages, 5u) << "a smaller page number adds nothing";
  p.feed("@PJL USTATUS PAGE\r\n99999999999999999999\r\n\f");
  EXPECT_EQ(p.job().printedPages, 0xFFFFFFFFu);
  p.feed("@PJL USTATUS PAGE\r\n-4\r\n\f@PJL USTATUS PAGE\r\n7X\r\n\f");
  EXPECT_EQ(p.job().printedPages, 0xFFFFFFFFu);
  p.feed("@PJL INFO PAGECOUNT\r\n99999999999999999999\r\n\f");
  EXPECT_EQ(p.dword("PageCount"), 0xFFFFFFFFu);
  p.feed("@PJL INFO PAGECOUNT\r\nPAGECOUNT=12\r\n\f");
  EXPECT_EQ(p.dword("PageCount"), 12u);
}

TEST(ReplyParser, VariablesTable) {
  Parser p;
  p.feed(kVariables);
  struct {
    const char* record;
    DWORD value;
  } const expected[] = {
      {"OppCopies", 5},        {"OppOrientation", 1},     {"OppRet", 1},           {"OppEconoMode", 1},
      {"OppIntray", 2},        {"OppIntrayFixed", 0x5},   {"OppIntrayMTDir", 1},   {"OppPowerSave", 1},
      {"OppPowerSave2", 1},    {"OppPowerSaveTime", 30},  {"OppPowerSaveTime2", 60}, {"OppPaperType", 18},
      {"OppPaperType2", 2},    {"OppPaperSort", 1},       {"OppPaperFeed", 0x80000004u}, {"OppTimeout", 15},
      {"OppDuplex", 1},        {"OppBindPosition", 3},    {"OppOuttray", 2},
  };
  for (const auto& e : expected) EXPECT_EQ(p.dword(e.record), e.value) << e.record;
  EXPECT_EQ(p.text("OppIntrayMTSize"), "A4");
  EXPECT_NE(p.st().flags & 0x80000000u, 0u);
}

TEST(ReplyParser, ValuesOutOfRangeLeaveRecords) {
  struct {
    const char* line;
    const char* record;
  } const cases[] = {
      {"COPIES=0", "OppCopies"},          {"COPIES=1000", "OppCopies"},     {"COPIES=-1", "OppCopies"},
      {"INTRAY=0", "OppIntray"},          {"INTRAY=33", "OppIntray"},       {"INTRAY40FIXED=AUTO", "OppIntrayFixed"},
      {"ORIENTATION=SIDEWAYS", "OppOrientation"}, {"PAPERFEED33=ON", "OppPaperFeed"},
  };
  for (const auto& c : cases) {
    Parser p;
    p.feed("@PJL INFO VARIABLES\r\nCOPIES=9\r\nINTRAY=4\r\nORIENTATION=LANDSCAPE\r\n\f");
    DWORD before = p.dword(c.record);
    p.feed(std::string("@PJL INFO VARIABLES\r\n") + c.line + "\r\n\f");
    EXPECT_EQ(p.dword(c.record), before) << c.line;
  }
}

TEST(ReplyParser, InquireForm) {
  Parser p;
  p.feed(kInquire);
  EXPECT_EQ(p.dword("OppCopies"), 3u);
  p.feed("@PJL INQUIRE DUPLEX\r\nON\r\n\f");
  EXPECT_EQ(p.dword("OppDuplex"), 1u);
}

TEST(ReplyParser, ConfigurationFillsBinsOptionsAndLmValues) {
  Parser p;
  p.feed(kConfig + kId);
  lm::BinConfig bc;
  std::memcpy(&bc, lm::FindRecord(&p.st(), "PrinterBinConfig")->data, sizeof bc);
  ASSERT_EQ(bc.count, 2u) << "tray 40 is out of range";
  EXPECT_EQ(bc.bins[0].trayId, 1u);
  EXPECT_EQ(bc.bins[0].sizeClass, 2u);
  EXPECT_EQ(bc.bins[1].trayId, 2u);
  EXPECT_EQ(bc.bins[1].sizeClass, 3u);
  lm::OptionConfig oc;
  std::memcpy(&oc, lm::FindRecord(&p.st(), "PrinterOptionConfig")->data, sizeof oc);
  auto installed = [&](DWORD id) {
    for (DWORD i = 0; i < oc.count; ++i)
      if (oc.options[i].optionId == id) return oc.options[i].installed;
    return 0xFFu;
  };
  EXPECT_EQ(installed(1), 1u);
  EXPECT_EQ(installed(6001), 1u);
  EXPECT_EQ(installed(1001), 0u);
  const lm::Config& c = p.st().config;
  EXPECT_TRUE(c.filled);
  EXPECT_EQ(c.memoryKB, 131072u);
  EXPECT_EQ(c.memoryMB, 128u);
  EXPECT_EQ(c.ramDisk, 1);
  EXPECT_EQ(c.duplexModule, 1);
  ASSERT_EQ(c.trayCount, 2u);
  EXPECT_STREQ(c.trays[0].name, "TRAY 1");
  EXPECT_STREQ(c.trays[1].name, "LARGE CAPACITY TRAY NUM") << "cut to its field";
  EXPECT_STREQ(c.sysName, "Scriva K350");
}

TEST(ReplyParser, UnknownAndEndlessRepliesAreNotHeldForever) {
  Parser p;
  EXPECT_EQ(p.feed("@PJL FOO\r\nBAR\r\n\f"), 2) << "a complete unknown reply is skipped";
  EXPECT_EQ(p.st().heldLen, 0u);
  EXPECT_EQ(p.feed("@PJL USTATUS DEVICE\r\nCODE=10001\r\n"), 1);
  EXPECT_EQ(p.st().state, 6);
  // a reply that never ends: the held text stays within its cap
  std::string endless = "@PJL INFO VARIABLES\r\n";
  for (int i = 0; i < 2000; ++i) endless += "COPIES=2\r\n";
  Parser q;
  q.feed(endless);
  EXPECT_LE(q.st().heldLen, lm::kHeldCap);
  q.feed("\f" + kPageCount);
  EXPECT_EQ(q.dword("PageCount"), 4711u) << "the next reply is served";
  EXPECT_EQ(q.dword("OppCopies"), 0u) << "the overflowing reply was dropped";
}

TEST(ReplyParser, PendingJobListIsCapped) {
  Parser p;
  for (int i = 0; i < 200; ++i)
    p.feed("@PJL USTATUS JOB\r\nSTART\r\nNAME=\"MSJOB " + std::to_string(i) + "\"\r\n\f");
  EXPECT_EQ(p.st().pendingCount, lm::kPendingCap);
}

TEST(ReplyParser, SummaryFollowsTheRecords) {
  Parser p;
  ASSERT_TRUE(p.ok());
  struct Step {
    const char* name;
    std::string text;
    bool changed;
    DWORD state, code, jobId, pages, pending, trays;
  } const steps[] = {
      {"ready", kStatus, true, lm::kSummaryIdle, 10001, 0, 0, 0, 0},
      {"the same status again", kStatus, false, lm::kSummaryIdle, 10001, 0, 0, 0, 0},
      {"a job starts", kJobStart, true, lm::kSummaryPrinting, 10001, 7, 0, 1, 0},
      {"three pages", kPages, true, lm::kSummaryPrinting, 10001, 7, 3, 1, 0},
      {"a jam stops output", kJam, true, lm::kSummaryStopped, 42000, 7, 3, 1, 0},
      {"the job ends, ready again", kJobEnd + kStatus, true, lm::kSummaryIdle, 10001, 7, 3, 0, 0},
      {"the trays", kConfig, true, lm::kSummaryIdle, 10001, 7, 3, 0, 2},
      {"an unknown reply", "@PJL FOO\r\n\f", false, lm::kSummaryIdle, 10001, 7, 3, 0, 2},
  };
  DWORD changes = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    p.st().summaryChanged = 0;
    p.feed(s.text);
    const lm::StatusSummary& sum = p.st().summary;
    EXPECT_EQ(p.st().summaryChanged != 0, s.changed);
    changes += s.changed ? 1 : 0;
    EXPECT_EQ(sum.size, 44u);
    EXPECT_EQ(sum.changes, changes);
    EXPECT_EQ(sum.state, s.state);
    EXPECT_EQ(sum.statusCode, s.code);
    EXPECT_EQ(sum.jobId, s.jobId);
    EXPECT_EQ(sum.printedPages, s.pages);
    EXPECT_EQ(sum.pendingJobs, s.pending);
    EXPECT_EQ(sum.trayCount, s.trays);
  }
  // the device id's status word
  std::string id = "MFG:Zan;STS:0105;";
  p.st().summaryChanged = 0;
  lm::ScanDeviceId(&p.st(), id.data(), static_cast<DWORD>(id.size()));
  EXPECT_EQ(p.st().summary.deviceStatus, 0x105u);
  EXPECT_NE(p.st().summaryChanged, 0u);
}

TEST(DeviceId, FieldsAreScanned) {
  Parser p;
  std::string id = "MFG:Zan;CMD:PJL,PCLXL;MDL:Scriva K350;STS:0105;";
  lm::ScanDeviceId(&p.st(), id.data(), static_cast<DWORD>(id.size()));
  EXPECT_EQ(p.text("PrinterManufacturer"), "Zan");
  EXPECT_EQ(p.text("PrinterModel"), "Scriva K350");
  EXPECT_EQ(p.text("EmulationInfo"), "PJL,PCLXL");
  EXPECT_EQ(p.dword("DeviceStatus"), 0x105u);
  std::string big = "MANUFACTURER:" + std::string(200, 'M') + ";STS:FFFFFFFF";
  lm::ScanDeviceId(&p.st(), big.data(), static_cast<DWORD>(big.size()));
  EXPECT_EQ(p.text("PrinterManufacturer"), std::string(63, 'M'));
  EXPECT_EQ(p.dword("DeviceStatus"), 0u) << "codes above 4351 count as 0";
}

}  // namespace
