// The job's frame on the spooler side: the EJCL header before the stream
// and the trailer with the job-information comment after it (golden text
// for model A with a fixed clock and user), a header that cannot be made
// failing the job with nothing sent, the booklet sheet count written over
// its placeholder only, and the graphics-state filter as a table of
// operator sequences against the operators written.
#include <algorithm>
#include <cstring>
#include <vector>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/gsb_ctrl.h"
#include "kestrel/core/printerdata.h"
#include "kplatform/advapi32_registry.h"
#include "kplatform/kernel32_system.h"
#include "kplatform/kernel32_time.h"
#include "kplatform/winspool_printer.h"
#include "spool_fixture.h"

namespace kestrel::test {
namespace {

int32_t PutToString(void* sink, DWORD n, const void* bytes) {
  static_cast<std::string*>(sink)->append(static_cast<const char*>(bytes), n);
  return static_cast<int32_t>(n);
}

// What one job's stream carries.
struct JobSetUp {
  std::string devmode;                    // empty: model A's default
  BYTE printerData[XL_IC_PRINTERDATA_SIZE] = {};
  BYTE jobInfo[XL_IC_JOBINFO_SIZE] = {};
  BYTE layoutInfo[XL_IC_LAYOUTINFO_SIZE] = {};
  std::vector<std::vector<BYTE>> pageCtrl;  // one record per page
  std::vector<BYTE> jcl;                    // command 156's table, empty: none
};

template <typename T>
void Put(BYTE* record, DWORD offset, T value) {
  std::memcpy(record + offset, &value, sizeof(value));
}

JobSetUp ModelAJob(const ModelAQueue& queue, int pages) {
  JobSetUp s;
  s.devmode = ModelADevmode(queue);
  EXPECT_TRUE(pd_GetPrinterData(queue.printer, s.printerData, queue.ddd));
  Put<DWORD>(s.jobInfo, 0, 0x02010000);  // PCL XL 2.1, as the renderer keeps it
  Put<WORD>(s.jobInfo, 172, 1);         // copies
  Put<int32_t>(s.jobInfo, 212, 1);      // the job information in the trailer
  Put<WORD>(s.layoutInfo, 38, 2100);    // A4, tenths of a millimetre
  Put<WORD>(s.layoutInfo, 40, 2970);
  Put<WORD>(s.layoutInfo, 104, 1);      // N-up
  for (int i = 0; i < pages; ++i) {
    std::vector<BYTE> pc(XL_IC_PAGECTRL_SIZE);
    Put<WORD>(pc.data(), 88, static_cast<WORD>(i + 1));  // sheets
    Put<WORD>(pc.data(), 92, static_cast<WORD>(i + 1));  // logical pages
    Put<BYTE>(pc.data(), 132, 1);                        // the page has marks
    Put<WORD>(pc.data(), 130, 1);                        // tray 1
    s.pageCtrl.push_back(pc);
  }
  return s;
}

std::string Stream(const JobSetUp& s) {
  std::string out;
  XlContext xl;
  xl_initcontext(&xl, PutToString, &out);
  bool ok = xl_ic_enable(&xl) == 0 && xl_ic_open(&xl, u"job") == 0 && xl_ic_setdocname(&xl, u"Report") == 0 &&
            xl_ic_setdevmode(&xl, s.devmode.data(), XL_IC_DEVMODE_SIZE) == 0 &&
            xl_ic_setprinterdata(&xl, s.printerData) == 0 && xl_ic_setjobinfo(&xl, s.jobInfo) == 0 &&
            xl_ic_setlayoutinfo(&xl, s.layoutInfo) == 0;
  if (!s.jcl.empty()) ok = ok && xl_ic_setjclheaders(&xl, s.jcl.data(), static_cast<DWORD>(s.jcl.size())) == 0;
  ok = ok && xl_ic_startjob(&xl) == 0 && xl_beginsession(&xl, 600, 600, 0, 0) == 0 && xl_opendatasource(&xl) == 0;
  for (const std::vector<BYTE>& pc : s.pageCtrl) {
    BYTE record[XL_IC_PAGECTRL_SIZE];
    std::memcpy(record, pc.data(), sizeof(record));
    ok = ok && xl_ic_setpagectrl(&xl, record) == 0 && xl_ic_startpage(&xl, 0, 0, 2, 1, 9) == 0 &&
         xl_newpath(&xl) == 0 && xl_rectangle(&xl, RECT{100, 100, 400, 300}) == 0 && xl_ic_showpage(&xl) == 0 &&
         xl_ic_endpage(&xl) == 0;
  }
  ok = ok && xl_closedatasource(&xl) == 0 && xl_endsession(&xl) == 0 && xl_ic_close(&xl) == 0 &&
       xl_ic_disable(&xl) == 0;
  EXPECT_TRUE(ok);
  return out;
}

class SpoolFrame : public SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    SYSTEMTIME t{};
    t.wYear = 2025;
    t.wMonth = 12;
    t.wDay = 31;
    t.wHour = 23;
    t.wMinute = 59;
    t.wSecond = 30;
    ASSERT_TRUE(KpSetClock(&t));
    const LONG bias = 0;
    KpSetTimeZoneBias(&bias);
    KpSetUserName(u"alice");
  }
  void TearDown() override {
    KpSetClock(nullptr);
    KpSetTimeZoneBias(nullptr);
    KpResetMachineFacts();
    SpoolTest::TearDown();
  }
  // Runs the job offline; answers what reached the printer.
  std::string RunJob(const JobSetUp& s, HANDLE queuePrinter, uint32_t* ok) {
    OfflineJob job(Stream(s), queuePrinter, false);
    job.Run();
    *ok = job.ctx()->ok.load();
    return Printer().bytes;
  }
};

const std::string kUel = "\x1B%-12345X";
const std::string kInfo = "@PJL COMMENT ZANJOBINFO ";

TEST_F(SpoolFrame, AModelAJobIsFramedByItsHeaderAndTrailer) {
  JobSetUp s = ModelAJob(queue_, 3);
  Put<BYTE>(s.pageCtrl[1].data(), 132, 0);  // the second page is empty
  uint32_t ok = 0;
  const std::string out = RunJob(s, queue_.printer, &ok);
  EXPECT_EQ(ok, 1u);
  const std::string header = kUel +
                             "@PJL JOB MODE=PRINT\n"
                             "@PJL SET STRINGCODESET=UTF8\n"
                             "@PJL COMMENT DATE=12/31/2025\n"
                             "@PJL COMMENT TIME=23:59:30\n"
                             "@PJL COMMENT DNAME=Report\n"
                             "@PJL SET JOBNAME=Report\n"
                             "@PJL SET USERNAME=alice\n"
                             "@PJL SET QTY=1\n"
                             "@PJL SET DUPLEX=OFF\n"
                             "@PJL SET RESOLUTION=600\n"
                             "@PJL SET RENDERMODE=COLOR\n"
                             "@PJL SET OUTBIN=FACEDOWN\n"
                             "@PJL SET ECONOMODE=OFF\n"
                             ") HP-PCL XL;2;1;ZANVPL2-";
  EXPECT_EQ(out.substr(0, header.size()), header);
  const std::string trailer = kUel + kInfo + "VERSION=1.1.0\n" + kInfo + "BEGIN\n" + kInfo +
                              "PDLTYPE=PDL[PCLXL]:VERSION[2.1.0]\n" + kInfo + "JOBTYPE=PRINT\n" + kInfo +
                              "STOREDJOBTYPE=IMMEDIATE\n" + kInfo + "JOBCOPIES=1\n" + kInfo + "PAGECOPIES=1\n" +
                              kInfo + "DUPLEXTYPE=SIMPLEX\n" + kInfo + "NUP=1\n" + kInfo + "POSTER=1\n" + kInfo +
                              "BOOKLETTYPE=TYPE[NOBOOKLET]\n" + kInfo + "PAGEORDER=1TON\n" + kInfo +
                              "SLIPSHEET=NOSLIPSHEET\n" + kInfo + "TONERSAVE=OFF\n" + kInfo + "PHYSICALPAGES=2\n" +
                              kInfo + "LOGICALPAGES=3\n" + kInfo + "ESTIMATEDSHEETS=3\n" + kInfo + "PAGEINFOBEGIN\n" +
                              kInfo + "PAGEINFO=SIZE[210.0X297.0]:MODE[MONOCHROME]:INTRAY[1]:DUPLEX[SIMPLEX]\n" +
                              kInfo + "PAGEINFO=SIZE[210.0X297.0]:MODE[EMPTY]:INTRAY[1]:DUPLEX[SIMPLEX]\n" + kInfo +
                              "PAGEINFO=SIZE[210.0X297.0]:MODE[MONOCHROME]:INTRAY[1]:DUPLEX[SIMPLEX]\n" + kInfo +
                              "PAGEINFOEND\n" + kInfo + "END\n" + "@PJL EOJ\n";
  ASSERT_GE(out.size(), trailer.size());
  EXPECT_EQ(out.substr(out.size() - trailer.size()), trailer);
  // Between them the stream, ending with EndSession.
  EXPECT_EQ(out[out.size() - trailer.size() - 1], static_cast<char>(XL_OP_ENDSESSION));
}

// The stream header's first text carries the page-description version of
// the printer data (DDM 8205, which a new queue takes from the model:
// 1.5.1), its second the system's version in
// hexadecimal and the driver's own number.
// The copy count line of the same header does not depend on that version.
TEST_F(SpoolFrame, TheStreamHeaderCarriesTheVersions) {
  struct Case {
    const char* what;
    std::vector<std::pair<WORD, LONG>> numbers;
    std::string streamHeader;
    std::string copies;
  } cases[] = {
      {"model A's defaults", {}, ") HP-PCL XL;2;1;ZANVPL2-1.5.1,WINNT-a.0,VPL2DRV-2.6.2.1\n",
       "@PJL SET QTY=1\n"},
      {"three collated copies: the stream holds them", {{DDM_COPIES, 3}, {DDM_COLLATE, 1}},
       ") HP-PCL XL;2;1;ZANVPL2-1.5.1,WINNT-a.0,VPL2DRV-2.6.2.1\n", "@PJL SET QTY=1\n"},
      {"three copies, not collated", {{DDM_COPIES, 3}, {DDM_COLLATE, 0}},
       ") HP-PCL XL;2;1;ZANVPL2-1.5.1,WINNT-a.0,VPL2DRV-2.6.2.1\n", "@PJL SET QTY=3\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KpSetVersion(10, 0, 19045, 2);
    JobSetUp s = ModelAJob(queue_, 1);  // the queue's own printer data, as a new queue has it
    for (auto [id, v] : c.numbers) ASSERT_TRUE(ddm_SetNumber(id, s.devmode.data(), s.printerData, v)) << id;
    Printer().Reset();
    uint32_t ok = 0;
    const std::string out = RunJob(s, queue_.printer, &ok);
    EXPECT_EQ(ok, 1u);
    const size_t at = out.find(") HP-PCL XL");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(out.substr(at, out.find('\n', at) + 1 - at), c.streamHeader);
    EXPECT_NE(out.substr(0, at).find(c.copies), std::string::npos) << out.substr(0, at);
  }
}

// A renderer that writes no BeginSession (DDM 339 set) has the stream
// header written at the first time stamp (code 1), before its comment; the
// parser writes no job header. The system's version is "4.0" when it
// cannot be read. Without 339 the time stamp writes only its comment.
TEST_F(SpoolFrame, WithoutBeginSessionTheFirstTimeStampWritesTheStreamHeader) {
  KpSetVersion(6, 1, 7601, 2);
  struct Case {
    const char* what;
    LONG noSession;
    bool versionUnreadable;
    const char* streamHeader;  // null: none
  } cases[] = {
      {"339 set", 1, false, ") HP-PCL XL;2;1;ZANVPL2-1.5.1,WINNT-6.1,VPL2DRV-2.6.2.1\n"},
      {"339 set, the system's version unreadable", 1, true, ") HP-PCL XL;2;1;ZANVPL2-1.5.1,WINNT-4.0,VPL2DRV-2.6.2.1\n"},
      {"339 clear", 0, false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    JobSetUp s = ModelAJob(queue_, 0);
    ASSERT_TRUE(ddm_SetNumber(DDM_FORM_REGISTRATION, s.devmode.data(), s.printerData, c.noSession));
    Printer().Reset();
    std::string stream;
    XlContext xl;
    xl_initcontext(&xl, PutToString, &stream);
    ASSERT_TRUE(xl_ic_enable(&xl) == 0 && xl_ic_open(&xl, u"job") == 0 && xl_ic_setdocname(&xl, u"Form") == 0 &&
                xl_ic_setdevmode(&xl, s.devmode.data(), XL_IC_DEVMODE_SIZE) == 0 &&
                xl_ic_setprinterdata(&xl, s.printerData) == 0 && xl_ic_setjobinfo(&xl, s.jobInfo) == 0 &&
                xl_ic_setlayoutinfo(&xl, s.layoutInfo) == 0 && xl_ic_startjob(&xl) == 0 &&
                xl_ic_timeout(&xl, XL_TIMESTAMP_JOBSTART) == 0 && xl_ic_close(&xl) == 0 && xl_ic_disable(&xl) == 0);
    OfflineJob job(stream, queue_.printer, false);
    KpSetVersionFailure(c.versionUnreadable ? TRUE : FALSE);
    job.Run();
    KpSetVersionFailure(FALSE);
    EXPECT_EQ(job.ctx()->ok.load(), 1u);
    const std::string& out = Printer().bytes;
    const std::string stamp = "\"[2025,12/31,23:59:30][Form][";
    EXPECT_EQ(out.find(kUel), std::string::npos) << "no job header";
    if (c.streamHeader != nullptr) {
      EXPECT_EQ(out.rfind(c.streamHeader, 0), 0u) << out;
      EXPECT_NE(out.find(stamp, std::strlen(c.streamHeader)), std::string::npos) << out;
    } else {
      EXPECT_EQ(out.find(") HP-PCL XL"), std::string::npos) << out;
      EXPECT_NE(out.find(stamp), std::string::npos) << out;
    }
  }
}

TEST_F(SpoolFrame, WithoutJobInformationThePlainTrailerEndsTheJob) {
  JobSetUp s = ModelAJob(queue_, 1);
  Put<int32_t>(s.jobInfo, 212, 0);
  uint32_t ok = 0;
  const std::string out = RunJob(s, queue_.printer, &ok);
  EXPECT_EQ(ok, 1u);
  const std::string tail = std::string(1, static_cast<char>(XL_OP_ENDSESSION)) + kUel + "@PJL EOJ\n";
  EXPECT_EQ(out.substr(out.size() - tail.size()), tail);
}

// The job's user and the header's user hint follow one rule: "System" in
// any letter case takes the Winlogon default user.
TEST_F(SpoolFrame, AJobOfTheSystemAccountTakesTheWinlogonUser) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  const char16_t bob[] = u"bob";
  RegSetValueExW(k, u"DefaultUserName", 0, REG_SZ, reinterpret_cast<const BYTE*>(bob), sizeof bob);
  RegCloseKey(k);
  for (const char16_t* account : {u"SYSTEM", u"System", u"system"}) {
    Printer().Reset();
    KpSetUserName(account);
    OfflineJob job(Stream(ModelAJob(queue_, 1)), queue_.printer, false);
    job.Run();
    EXPECT_EQ(job.ctx()->ok.load(), 1u);
    EXPECT_EQ(std::u16string(job.ctx()->userName), u"bob");
    EXPECT_NE(Printer().bytes.find("\n@PJL SET USERNAME=bob\n"), std::string::npos);
  }
}

// A job whose header cannot be made fails, and nothing of it (no PCL XL
// without its PJL) reaches the printer.
TEST_F(SpoolFrame, AHeaderThatCannotBeMadeFailsTheJobWithNothingSent) {
  struct Case {
    const char* name;
    void (*setUp)(JobSetUp&);
    bool queue;  // a printer with description data
    bool aborted;
  };
  const Case cases[] = {
      {"no description data for the printer", [](JobSetUp&) {}, false, false},
      {"the writer refuses the devmode (an unknown cover paper)",
       [](JobSetUp& s) {
         ASSERT_TRUE(ddm_SetNumber(DDM_INSERT_SHEET_1, s.devmode.data(), s.printerData, 1));
         ASSERT_TRUE(ddm_SetNumber(DDM_INSERT_PAPER_A, s.devmode.data(), s.printerData, 4321));
       },
       true, false},
      {"the fax-address file is missing",
       [](JobSetUp& s) {
         s.devmode[748] = 5;
         s.printerData[11] |= 0x10;
       },
       true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Printer().Reset();
    JobSetUp s = ModelAJob(queue_, 1);
    c.setUp(s);
    uint32_t ok = 1;
    OfflineJob job(Stream(s), c.queue ? queue_.printer : nullptr, false);
    job.Run();
    EXPECT_EQ(job.ctx()->ok.load(), 0u);
    EXPECT_EQ((job.ctx()->status.load() & UMPD_STATUS_ABORTED) != 0, c.aborted);
    EXPECT_EQ(job.ctx()->operatorsOut, 0u);
    EXPECT_EQ(Printer().bytes, "");
    (void)ok;
  }
}

// A prepared header (command 156) is sent as it stands; a booklet's sheet
// count goes over its placeholder's blanks only, never elsewhere.
TEST_F(SpoolFrame, APreparedHeaderGetsItsBookletCountOverThePlaceholderOnly) {
  const std::string blanks(EJCL_BKTP_BLANKS_PJL, ' ');
  const std::string text = kUel + "@PJL JOB MODE=PRINT\n" + blanks + "\n";
  const DWORD at = static_cast<DWORD>(kUel.size() + 20);
  struct Case {
    const char* name;
    int pages;
    int shift;
    DWORD offset;
    std::string expected;
  };
  const std::string count5 = "@PJL SET JOBATTR=\"@BKTP=5\"";
  const std::string count6 = "@PJL SET JOBATTR=\"@BKTP=6\"";
  const Case cases[] = {
      {"9 pages, first page shifted", 9, 1, at, kUel + "@PJL JOB MODE=PRINT\n" + count5 + blanks.substr(count5.size()) + "\n"},
      {"9 pages", 9, 0, at, kUel + "@PJL JOB MODE=PRINT\n" + count6 + blanks.substr(count6.size()) + "\n"},
      {"10 pages, first page shifted", 10, 1, at, kUel + "@PJL JOB MODE=PRINT\n" + count5 + blanks.substr(count5.size()) + "\n"},
      {"10 pages", 10, 0, at, kUel + "@PJL JOB MODE=PRINT\n" + count6 + blanks.substr(count6.size()) + "\n"},
      {"offset 0: no placeholder", 9, 0, 0, text},
      {"an offset outside the text", 9, 0, 5000, text},
      {"an offset not on the blanks", 9, 0, 3, text},
      {"an offset whose blanks run past the text", 9, 0, static_cast<DWORD>(text.size() - 10), text},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Printer().Reset();
    JobSetUp s = ModelAJob(queue_, 1);
    Put<int32_t>(s.jobInfo, 80, 1);  // booklet sheet count in the header
    Put<int32_t>(s.jobInfo, 76, c.shift);
    Put<int32_t>(s.jobInfo, 212, 0);
    Put<WORD>(s.pageCtrl[0].data(), 102, static_cast<WORD>(c.pages));
    const DWORD entrySize = 4 + static_cast<DWORD>(text.size());
    s.jcl.assign(16 + entrySize + 4, 0);
    Put<int32_t>(s.jcl.data(), 0, 1);
    Put<int32_t>(s.jcl.data(), 4, static_cast<int32_t>(entrySize));
    Put<int32_t>(s.jcl.data(), 16, static_cast<int32_t>(text.size()));
    std::memcpy(s.jcl.data() + 20, text.data(), text.size());
    Put<DWORD>(s.jcl.data(), 16 + entrySize, c.offset);
    std::string stream = Stream(s);
    uint32_t ok = 0;
    OfflineJob job(stream, queue_.printer, false);
    // The page count as the page flow left it when BeginSession comes.
    std::memcpy(&job.ctx()->pageCtrl, s.pageCtrl[0].data(), XL_IC_PAGECTRL_SIZE);
    job.Run();
    ok = job.ctx()->ok.load();
    EXPECT_EQ(ok, 1u);
    const std::string& out = Printer().bytes;
    EXPECT_EQ(out.substr(0, c.expected.size()), c.expected);
    EXPECT_EQ(out.compare(c.expected.size(), 24, ") HP-PCL XL;2;1;ZANVPL2-"), 0);
  }
}

// A fax sent once per destination: three sessions, each between 143 and
// 144, each opened with its own prepared header of the table (entry 0, 1,
// 2 in turn); a fourth 144 never moves past the table.
TEST_F(SpoolFrame, EachFaxSendTakesItsOwnPreparedHeader) {
  JobSetUp s = ModelAJob(queue_, 1);
  Put<int32_t>(s.jobInfo, 212, 0);
  const char* texts[] = {"@PJL COMMENT FIRST\n", "@PJL COMMENT SECOND\n", "@PJL COMMENT THIRD\n"};
  const DWORD entrySize = 4 + 64;
  s.jcl.assign(16 + 3 * entrySize + 3 * 4, 0);
  Put<int32_t>(s.jcl.data(), 0, 3);
  Put<int32_t>(s.jcl.data(), 4, static_cast<int32_t>(entrySize));
  for (int i = 0; i < 3; ++i) {
    const std::string text = kUel + texts[i];
    Put<int32_t>(s.jcl.data(), 16 + i * entrySize, static_cast<int32_t>(text.size()));
    std::memcpy(s.jcl.data() + 16 + i * entrySize + 4, text.data(), text.size());
  }
  std::string out;
  XlContext xl;
  xl_initcontext(&xl, PutToString, &out);
  bool ok = xl_ic_enable(&xl) == 0 && xl_ic_open(&xl, u"fax") == 0 && xl_ic_setdocname(&xl, u"Fax") == 0 &&
            xl_ic_setdevmode(&xl, s.devmode.data(), XL_IC_DEVMODE_SIZE) == 0 &&
            xl_ic_setprinterdata(&xl, s.printerData) == 0 && xl_ic_setjobinfo(&xl, s.jobInfo) == 0 &&
            xl_ic_setlayoutinfo(&xl, s.layoutInfo) == 0 &&
            xl_ic_setjclheaders(&xl, s.jcl.data(), static_cast<DWORD>(s.jcl.size())) == 0 && xl_ic_startjob(&xl) == 0;
  for (int send = 0; send < 3; ++send) {
    BYTE record[XL_IC_PAGECTRL_SIZE];
    std::memcpy(record, s.pageCtrl[0].data(), sizeof(record));
    ok = ok && xl_ic_openprinter(&xl) == 0 && xl_beginsession(&xl, 600, 600, 0, 0) == 0 &&
         xl_opendatasource(&xl) == 0 && xl_ic_setpagectrl(&xl, record) == 0 &&
         xl_ic_startpage(&xl, 0, 0, 2, 1, 9) == 0 && xl_newpath(&xl) == 0 &&
         xl_rectangle(&xl, RECT{100, 100, 400, 300}) == 0 && xl_ic_showpage(&xl) == 0 && xl_ic_endpage(&xl) == 0 &&
         xl_closedatasource(&xl) == 0 && xl_endsession(&xl) == 0 && xl_ic_closeprinter(&xl, send == 2 ? 1 : 0) == 0;
  }
  ok = ok && xl_ic_closeprinter(&xl, 1) == 0 && xl_ic_close(&xl) == 0 && xl_ic_disable(&xl) == 0;
  ASSERT_TRUE(ok);
  OfflineJob job(out, queue_.printer, false);
  job.Run();
  EXPECT_EQ(job.ctx()->ok.load(), 1u);
  EXPECT_EQ(job.ctx()->copySet, 2u) << "held at the table's last entry";
  const std::string& printed = Printer().bytes;
  size_t at = 0;
  for (const char* text : texts) {
    const size_t found = printed.find(kUel + text, at);
    ASSERT_NE(found, std::string::npos) << text << " in order";
    EXPECT_EQ(printed.compare(found + kUel.size() + std::strlen(text), 16, ") HP-PCL XL;2;1;"), 0) << text;
    at = found + 1;
  }
}

// The document monitor: a job whose printer data (DDM 8201) and devmode
// (DDM 1321) ask for it is registered with its header (copy 0) when the
// model's monitor (kqdm.dll, here the stand-in) is usable, and run when
// its input has ended; nothing is registered otherwise, and the job prints
// either way.
TEST_F(SpoolFrame, TheJobIsRegisteredWithTheDocumentMonitorAtItsHeader) {
  struct Case {
    const char* name;
    bool installed;
    LONG monitor, comments;  // DDM 8201, DDM 1321
    bool registered;
  };
  // The monitor is installed from the second case on (the root keeps it).
  const Case cases[] = {{"no monitor installed", false, 1, 1, false},
                        {"asked", true, 1, 1, true},
                        {"printer data does not ask", true, 0, 1, false},
                        {"devmode does not ask", true, 1, 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HMODULE library = nullptr;
    if (c.installed) {
      ASSERT_TRUE(KpInstallModule("libkqdmtest.so", u"kqdm.dll"));
      library = LoadLibraryW(u"kqdm.dll");  // held: the stand-in keeps its log while loaded
      ASSERT_NE(library, nullptr);
      reinterpret_cast<void (*)(int)>(reinterpret_cast<void (*)()>(GetProcAddress(library, "MarkTest_Reset")))(0);
    }
    Printer().Reset();
    JobSetUp s = ModelAJob(queue_, 1);
    ASSERT_TRUE(ddm_SetNumber(DDM_DOCMONITOR_REGISTER, s.devmode.data(), s.printerData, c.monitor));
    ASSERT_TRUE(ddm_SetNumber(DDM_COMMENT_SUPPRESS, s.devmode.data(), s.printerData, c.comments));
    uint32_t ok = 0;
    const std::string out = RunJob(s, queue_.printer, &ok);
    EXPECT_EQ(ok, 1u);
    EXPECT_NE(out.find(") HP-PCL XL;2;1;"), std::string::npos) << "the job prints";
    if (library) {
      std::string log(4096, '\0');
      auto read = reinterpret_cast<int (*)(char*, int)>(
          reinterpret_cast<void (*)()>(GetProcAddress(library, "MarkTest_Log")));
      log.resize(static_cast<size_t>(std::max(0, read(log.data(), static_cast<int>(log.size())))));
      const size_t at = log.find("register copy 0 id ");
      if (c.registered) {
        ASSERT_NE(at, std::string::npos) << log;
        EXPECT_NE(log.find(" doc Report", at), std::string::npos) << log;
        const std::string id = log.substr(at + 19, log.find(' ', at + 19) - (at + 19));
        EXPECT_NE(log.find("run " + id), std::string::npos) << log;
        EXPECT_EQ(log.find("withdraw"), std::string::npos) << log;
      } else {
        EXPECT_EQ(log.find("register"), std::string::npos) << log;
      }
      FreeLibrary(library);
    }
  }
}

// The registrations the document events made for a job's prepared headers
// come in the printer data under the job id: the job takes them over and
// makes none of its own, runs them all when its input ended well and
// withdraws them all when it was aborted; the value is gone either way. A
// value whose size does not match its count is dropped, and the job
// registers itself at its header as without one.
TEST_F(SpoolFrame, RegistrationsHandedOverByTheDocumentEventsAreTakenOver) {
  ASSERT_TRUE(KpInstallModule("libkqdmtest.so", u"kqdm.dll"));
  HMODULE library = LoadLibraryW(u"kqdm.dll");  // held: the stand-in keeps its log while loaded
  ASSERT_NE(library, nullptr);
  auto reset = reinterpret_cast<void (*)(int)>(reinterpret_cast<void (*)()>(GetProcAddress(library, "MarkTest_Reset")));
  auto read = reinterpret_cast<int (*)(char*, int)>(reinterpret_cast<void (*)()>(GetProcAddress(library, "MarkTest_Log")));
  ASSERT_TRUE(reset && read);
  auto log = [&] {
    std::string text(8192, '\0');
    text.resize(static_cast<size_t>(std::max(0, read(text.data(), static_cast<int>(text.size())))));
    return text;
  };
  auto count = [](const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  std::u16string name = u"BDDMJob1";  // the offline job's id is 1
  struct Case {
    const char* name;
    bool aborted;
    bool whole;  // the value's size matches its count
  };
  const Case cases[] = {{"ends well", false, true}, {"aborted", true, true}, {"torn value", false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset(0);
    Printer().Reset();
    // Two copies registered on the application's side and let go of.
    std::vector<BYTE> records(BDDM_HANDOFF_COUNT_BYTES + 2 * BRIGHTDESK_RECORD_SIZE, 0);
    records[0] = 2;
    std::vector<std::string> ids;
    for (DWORD i = 0; i < 2; ++i) {
      BRIGHTDESK_REQUEST request{};
      request.library = u"kqdm.dll";
      request.document = u"Report";
      request.copySet = i;
      request.copy = i;
      BYTE record[BRIGHTDESK_RECORD_SIZE];
      const ULONG_PTR handle = Brightdesk_Ready(&request, record);
      ASSERT_NE(handle, 0u);
      ASSERT_TRUE(Brightdesk_Detach(handle));
      std::memcpy(records.data() + BDDM_HANDOFF_COUNT_BYTES + i * BRIGHTDESK_RECORD_SIZE, record, sizeof record);
      uint32_t id = 0;
      std::memcpy(&id, record, sizeof id);
      ids.push_back(std::to_string(id));
    }
    if (c.whole) {
      ASSERT_TRUE(Brightdesk_HandOff(queue_.printer, 1, records.data()));
    } else {
      ASSERT_EQ(SetPrinterDataW(queue_.printer, name.data(), REG_BINARY, records.data(),
                                BDDM_HANDOFF_COUNT_BYTES + BRIGHTDESK_RECORD_SIZE),
                0u);
    }
    JobSetUp s = ModelAJob(queue_, 1);
    ASSERT_TRUE(ddm_SetNumber(DDM_DOCMONITOR_REGISTER, s.devmode.data(), s.printerData, 1));
    ASSERT_TRUE(ddm_SetNumber(DDM_COMMENT_SUPPRESS, s.devmode.data(), s.printerData, 1));
    {
      OfflineJob job(Stream(s), queue_.printer, false);
      if (c.aborted) job.ctx()->status.fetch_or(UMPD_STATUS_ABORTED);
      job.Run();
      EXPECT_EQ(job.ctx()->documentMonitor, 0u) << "settled when the input ended";
    }
    const std::string text = log();
    for (const std::string& id : ids) {
      EXPECT_EQ(count(text, "run " + id + "\n"), c.whole && !c.aborted ? 1u : 0u) << text;
      EXPECT_EQ(count(text, "withdraw " + id + "\n"), c.whole && c.aborted ? 1u : 0u) << text;
    }
    // Only the torn value leaves the job to register itself (copy 0).
    EXPECT_EQ(count(text, "register copy"), c.whole ? 2u : 3u) << text;
    DWORD type = 0, needed = 0;
    EXPECT_EQ(GetPrinterDataW(queue_.printer, name.data(), &type, nullptr, 0, &needed),
              static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  }
  FreeLibrary(library);
}

// ---- the graphics-state filter ----------------------------------------------------

std::string B(std::initializer_list<int> v) { return Bytes(v); }
std::string Rop(int r) { return B({0xC0, r, 0xF8, XL_ATTR_ROP3, XL_OP_SETROP}); }
std::string Dash(int entries, int first) {
  std::string s = B({0xC9, 0xC0, entries});
  for (int i = 0; i < entries; ++i) s += B({first + i, 0});
  return s + B({0xF8, XL_ATTR_LINEDASHSTYLE, 0xC1, 0, 0, 0xF8, XL_ATTR_DASHOFFSET, XL_OP_SETLINEDASH});
}
std::string Solid() { return B({0xC0, 0, 0xF8, XL_ATTR_SOLIDLINE, XL_OP_SETLINEDASH}); }
std::string Palette(int bytes, int fill) {
  std::string s = B({0xC0, 2, 0xF8, XL_ATTR_COLORSPACE, 0xC0, 8, 0xF8, XL_ATTR_PALETTEDEPTH});
  s += bytes < 256 ? B({0xC8, 0xC0, bytes}) : B({0xC8, 0xC1, bytes & 0xFF, bytes >> 8});
  s += std::string(static_cast<size_t>(bytes), static_cast<char>(fill));
  return s + B({0xF8, XL_ATTR_PALETTEDATA, XL_OP_SETCOLORSPACE});
}
std::string Space(int cs) { return B({0xC0, cs, 0xF8, XL_ATTR_COLORSPACE, XL_OP_SETCOLORSPACE}); }
std::string Brush(int r) { return B({0xC8, 0xC0, 3, r, 20, 30, 0xF8, XL_ATTR_RGBCOLOR, XL_OP_SETBRUSHSOURCE}); }
std::string Miter16(int v) { return B({0xC1, v, 0, 0xF8, XL_ATTR_MITERLENGTH, XL_OP_SETMITERLIMIT}); }
std::string MiterReal10() { return B({0xC5, 0x00, 0x00, 0x20, 0x41, 0xF8, XL_ATTR_MITERLENGTH, XL_OP_SETMITERLIMIT}); }
std::string ClipRect(int x) {
  return B({0xC0, 0, 0xF8, XL_ATTR_CLIPREGION, 0xE3, x, 0, 0, 0, 50, 0, 50, 0, 0xF8, XL_ATTR_BOUNDINGBOX,
            XL_OP_SETCLIPRECTANGLE});
}

struct Step {
  std::string bytes;
  BYTE second;  // set by the colour conversion for a joined operator, else 0
  int operators = 1;  // a joined operator holds two
  BYTE op = 0;        // the record's operator when it is not the first one (a merged image)
};

// Runs the operators through the filter after a page start; answers the
// bytes written.
std::string Filter(const std::vector<Step>& steps) {
  std::string input;
  for (const Step& s : steps) input += s.bytes;
  OfflineJob job(input, nullptr, false);
  UmpdJobContext* ctx = job.ctx();
  InitXLCGS(ctx);
  std::vector<XLData*> nodes;
  while (XLData* node = ParseTag(ctx)) nodes.push_back(node);
  std::string out;
  size_t at = 0;
  for (const Step& step : steps) {
    // The step's tokens: up to its last operator, with embedded data after it.
    XLOperator op{};
    op.second = step.second;
    for (int seen = 0; seen < step.operators && at < nodes.size(); ++at) {
      op.list = XLListAddTail(op.list, nodes[at]);
      if (!IsOperator(nodes[at])) continue;
      if (seen++ == 0) op.op = nodes[at]->tag;
    }
    if (step.op != 0) op.op = step.op;
    if (at < nodes.size() && IsEmbedData(nodes[at])) op.list = XLListAddTail(op.list, nodes[at++]);
    if (IsNewXLCGSAttr(ctx, &op)) {
      XLData* n = op.list;
      if (n != nullptr) do {
          out.append(reinterpret_cast<const char*>(n->raw()), n->rawLength);
          n = n->next;
        } while (n != op.list);
    }
    XLDataListFree(ctx, op.list);
  }
  ExitXLCGS(ctx);
  return out;
}

TEST(SpoolGraphicsState, OperatorSequencesAgainstTheOperatorsWritten) {
  const std::string dashA = Dash(20, 1), dashB = Dash(10, 50);
  const std::string palA = Palette(768, 7), palB = Palette(48, 9);
  const std::string joined = Space(2) + Brush(10);
  const std::string inband = InbandCommand(XL_IC_SETCOORDINATE, std::string(24, '\0'), true);
  const std::string defaultCtm = B({XL_OP_SETPAGEDEFAULTCTM});
  const std::string readImage = B({0xC1, 0, 0, 0xF8, XL_ATTR_STARTLINE, 0xC1, 1, 0, 0xF8, XL_ATTR_BLOCKHEIGHT,
                                   XL_OP_READIMAGE, 0xFB, 4, 1, 2, 3, 4});
  const std::string cursor = B({0xD3, 16, 0, 16, 0, 0xF8, XL_ATTR_POINT, XL_OP_SETCURSOR});
  struct Case {
    const char* name;
    std::vector<Step> in;
    std::string written;
  };
  const Case cases[] = {
      {"two SetROP 252 at a page start are both dropped", {{Rop(252), 0}, {Rop(252), 0}}, ""},
      {"a new ROP once, then not again", {{Rop(204), 0}, {Rop(204), 0}, {Rop(252), 0}}, Rop(204) + Rop(252)},
      {"SetClipToPage after a page start is dropped", {{B({XL_OP_SETCLIPTOPAGE}), 0}}, ""},
      {"a clip rectangle repeated is dropped, another written",
       {{ClipRect(10), 0}, {ClipRect(10), 0}, {ClipRect(11), 0}, {B({XL_OP_SETCLIPTOPAGE}), 0}},
       ClipRect(10) + ClipRect(11) + B({XL_OP_SETCLIPTOPAGE})},
      {"a 20-entry dash is cached", {{dashA, 0}, {dashA, 0}}, dashA},
      {"a 10-entry dash is written every time", {{dashB, 0}, {dashB, 0}}, dashB + dashB},
      {"dash A, B, A: every one written (B makes the cache unknown)",
       {{dashA, 0}, {dashB, 0}, {dashA, 0}},
       dashA + dashB + dashA},
      {"a solid line after an uncached dash is written", {{dashB, 0}, {Solid(), 0}, {Solid(), 0}}, dashB + Solid()},
      {"a solid line at a page start is dropped", {{Solid(), 0}}, ""},
      {"a 768-byte palette is dropped when repeated", {{palA, 0}, {palA, 0}}, palA},
      {"a 48-byte palette is written every time", {{palB, 0}, {palB, 0}}, palB + palB},
      {"palette A, B, A: every one written", {{palA, 0}, {palB, 0}, {palA, 0}}, palA + palB + palA},
      {"the initial colour space is dropped, another written", {{Space(2), 0}, {Space(1), 0}}, Space(1)},
      {"a brush joined with an unchanged colour space goes without it",
       {{joined, XL_OP_SETBRUSHSOURCE, 2}},
       Brush(10)},
      {"the same joined brush again is dropped",
       {{joined, XL_OP_SETBRUSHSOURCE, 2}, {joined, XL_OP_SETBRUSHSOURCE, 2}},
       Brush(10)},
      {"a plain brush in between forgets the cached one",
       {{joined, XL_OP_SETBRUSHSOURCE, 2}, {Brush(99), 0}, {joined, XL_OP_SETBRUSHSOURCE, 2}},
       Brush(10) + Brush(99) + Brush(10)},
      {"a miter limit of 10 is dropped at a page start", {{Miter16(10), 0}}, ""},
      {"a miter limit of 10.0 is dropped at a page start", {{MiterReal10(), 0}}, ""},
      {"a brush joined with a changed colour space goes whole",
       {{Space(1) + Brush(10), XL_OP_SETBRUSHSOURCE, 2}},
       Space(1) + Brush(10)},
      {"a miter limit of 20, then 10.0 as a real, is written",
       {{Miter16(20), 0}, {MiterReal10(), 0}},
       Miter16(20) + MiterReal10()},
      {"SetPageDefaultCTM at a page start is dropped, after a page matrix written",
       {{defaultCtm, 0}, {inband, 0}, {defaultCtm, 0}},
       defaultCtm},
      {"no in-band command reaches the output", {{InbandCommand(XL_IC_BEGINSTAMP, "", false), 0}}, ""},
      {"a merged image keeps only what changes the state, images and all",
       {{Space(2) + Rop(252) + Rop(204) + readImage + Space(2) + cursor, XL_OP_ENDIMAGE, 6, XL_OP_SETCURSOR}},
       Rop(204) + readImage + cursor},
      {"PopGS makes the state unknown",
       {{Rop(204), 0}, {B({XL_OP_POPGS}), 0}, {Rop(204), 0}},
       Rop(204) + B({XL_OP_POPGS}) + Rop(204)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Filter(c.in), c.written);
  }
}

TEST(SpoolGraphicsState, SetCgsDataAnswersAndTheCacheItLeaves) {
  // A ubyte array cache of 4 bytes.
  struct Case {
    const char* name;
    std::string bytes;  // one operator
    LONG cachedBefore;
    int result;
    LONG cachedAfter;
  };
  const std::string op4 = B({0xC8, 0xC0, 4, 1, 2, 3, 4, 0xF8, XL_ATTR_PALETTEDATA, XL_OP_SETCOLORSPACE});
  const std::string op2 = B({0xC8, 0xC0, 2, 1, 2, 0xF8, XL_ATTR_PALETTEDATA, XL_OP_SETCOLORSPACE});
  const std::string op5 = B({0xC8, 0xC0, 5, 1, 2, 3, 4, 5, 0xF8, XL_ATTR_PALETTEDATA, XL_OP_SETCOLORSPACE});
  const std::string other = B({0xC0, 1, 0xF8, XL_ATTR_PALETTEDATA, XL_OP_SETCOLORSPACE});
  const std::string absent = B({XL_OP_SETCOLORSPACE});
  const Case cases[] = {
      {"stored", op4, -1, XLCGS_STORED, 4},
      {"equal", op4, 4, XLCGS_EQUAL, 4},
      {"absent leaves the cache", absent, 4, XLCGS_ABSENT, 4},
      {"shorter makes it unknown", op2, 4, XLCGS_SHORT, -1},
      {"longer makes it unknown", op5, 4, XLCGS_OTHER, -1},
      {"another tag makes it unknown", other, 4, XLCGS_OTHER, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OfflineJob job(c.bytes, nullptr, false);
    XLData* list = nullptr;
    while (XLData* n = ParseTag(job.ctx())) list = XLListAddTail(list, n);
    BYTE cache[4] = {1, 2, 3, 4};
    LONG cached = c.cachedBefore;
    LONG out = 0;
    EXPECT_EQ(SetCgsData(job.ctx(), list, XL_ATTR_PALETTEDATA, XL_TAG_UBYTE_ARRAY, cache, &cached, 4, &out), c.result);
    EXPECT_EQ(cached, c.cachedAfter);
    EXPECT_EQ(out, c.result == XLCGS_EQUAL || c.result == XLCGS_STORED ? 4 : -1);
    XLDataListFree(job.ctx(), list);
  }
}

}  // namespace
}  // namespace kestrel::test
