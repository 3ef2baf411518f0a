// Marked copies with the stand-in libraries: one serial into the job's own
// print job, three as three further jobs with copies 1 and 2 registered
// with the document monitor, refusals that print nothing, a failure at a
// copy, a copy longer than the copy buffer, the job attribute record, and
// the ANSI cut under code page 932.
#include <algorithm>
#include <cstring>
#include <vector>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "spool_fixture.h"

namespace kestrel::test {
namespace {

// The stand-ins the test holds loaded for their controls; freed before
// another stand-in is installed under the same name, and at the end.
std::vector<HMODULE>& Held() {
  static std::vector<HMODULE> held;
  return held;
}
void FreeHeld() {
  for (HMODULE m : Held()) FreeLibrary(m);
  Held().clear();
}

template <typename Fn>
Fn Export(const char16_t* library, const char* name) {
  HMODULE m = LoadLibraryW(library);
  if (m != nullptr) Held().push_back(m);
  FARPROC p = m != nullptr ? GetProcAddress(m, name) : nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(p));
}

std::string CallLog(const char16_t* library) {
  auto log = Export<int (*)(char*, int)>(library, "MarkTest_Log");
  if (log == nullptr) return "<no library>";
  std::string s(8192, '\0');
  const int n = log(s.data(), static_cast<int>(s.size()));
  s.resize(std::min<size_t>(static_cast<size_t>(n), s.size() - 1));
  return s;
}

size_t Count(const std::string& s, const std::string& what) {
  size_t n = 0;
  for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
  return n;
}

class SpoolMarking : public SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    Install("libkgsbtest.so");
    ASSERT_TRUE(KpInstallModule("libkqdmtest.so", u"kqdm.dll"));
  }
  void TearDown() override {
    if (job_ != nullptr) {
      delete job_;
      job_ = nullptr;
    }
    KpSetACP(1252);
    FreeHeld();
    SpoolTest::TearDown();
  }
  void Install(const char* library) {
    FreeHeld();
    ASSERT_TRUE(KpInstallModule(library, u"kgsb.dll"));
  }
  // A job of the queue with model A's devmode, a spooled job file of
  // `bytes`, `serials` asked and the library answering `libraryCount`.
  UmpdJobContext* Job(const std::string& bytes, int serials, int libraryCount, bool monitor = false) {
    Printer().Reset();
    job_ = new OfflineJob("", queue_.printer, false);
    UmpdJobContext* ctx = job_->ctx();
    const std::string dm = ModelADevmode(queue_);
    std::memcpy(ctx->devmode, dm.data(), dm.size());
    ddm_SetNumber(DDM_DOCMONITOR_REGISTER, ctx->devmode, ctx->printerData, monitor ? 1 : 0);
    ddm_SetNumber(DDM_COMMENT_SUPPRESS, ctx->devmode, ctx->printerData, monitor ? 1 : 0);
    std::memcpy(ctx->documentName, u"Report", sizeof(u"Report"));
    std::memcpy(ctx->userName, u"alice", sizeof(u"alice"));
    ctx->jobInfo.securityMarking = 1;
    ctx->serialCount = static_cast<DWORD>(serials);
    auto* info = static_cast<jobOutInfo*>(GlobalAlloc(GPTR, sizeof(jobOutInfo)));
    info->path = static_cast<LPWSTR>(GlobalAlloc(GPTR, MAX_PATH * sizeof(WCHAR)));
    EXPECT_TRUE(drvio_tmpFileName_make(info->path));
    HANDLE f = CreateFileW(info->path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(f);
    ctx->jobOutputInfo = info;
    source_ = info->path;
    Export<void (*)(int)>(u"kgsb.dll", "MarkTest_Reset")(libraryCount);
    if (auto reset = Export<void (*)(int)>(u"kqdm.dll", "MarkTest_Reset")) reset(0);
    return ctx;
  }
  OfflineJob* job_ = nullptr;
  std::u16string source_;
};

const std::string kJob = "\x1B%-12345X@PJL JOB\n) HP-PCL XL;2;1\nbody\x1B%-12345X@PJL EOJ\n";

TEST_F(SpoolMarking, OneSerialGoesIntoTheJobsOwnPrintJob) {
  UmpdJobContext* ctx = Job(kJob, 1, 1);
  EXPECT_EQ(jobOutput_ForGlyphseal(ctx), 0);
  EXPECT_EQ(Printer().bytes, "\x1B%-12345X@PJL JOB\n@PJL COMMENT GLYPHSEAL COPY=0\n) HP-PCL XL;2;1\nbody\x1B%-12345X@PJL EOJ\n");
  EXPECT_TRUE(Printer().events.empty()) << "no further print job";
  const std::string log = CallLog(u"kgsb.dll");
  EXPECT_EQ(log.substr(log.find("serials")), "serials\nvalidate 2 5440\ndriver 2\njob 1\naddgs 0 record 0\nrelease\n");
  // The 800-byte record at its offsets.
  BYTE record[GSB_JOBATTR_SIZE];
  Export<void (*)(BYTE*)>(u"kgsb.dll", "MarkTest_JobInfo")(record);
  GSB_JOBATTR1 r;
  std::memcpy(&r, record, sizeof(r));
  EXPECT_EQ(r.size, 800u);
  EXPECT_GT(r.time, 0u);
  EXPECT_STREQ(reinterpret_cast<const char*>(record + 8), "alice");
  EXPECT_STREQ(reinterpret_cast<const char*>(record + 24), "Report");
  EXPECT_EQ(record[799], 0);
}

TEST_F(SpoolMarking, ThreeSerialsAreThreeJobsWithCopiesOneAndTwoRegistered) {
  UmpdJobContext* ctx = Job(kJob, 3, 3, true);
  EXPECT_EQ(jobOutput_ForGlyphseal(ctx), 0);
  EXPECT_EQ(Count(Printer().bytes, "GLYPHSEAL COPY="), 3u);
  EXPECT_LT(Printer().bytes.find("COPY=0"), Printer().bytes.find("COPY=1"));
  EXPECT_LT(Printer().bytes.find("COPY=1"), Printer().bytes.find("COPY=2"));
  EXPECT_EQ(std::count(Printer().events.begin(), Printer().events.end(), "StartDocPrinterW"), 3);
  EXPECT_EQ(std::count(Printer().events.begin(), Printer().events.end(), "EndDocPrinter"), 3);
  const std::string monitor = CallLog(u"kqdm.dll");
  EXPECT_EQ(Count(monitor, "register copy"), 2u) << monitor;
  EXPECT_NE(monitor.find("register copy 1 id 100 doc Report"), std::string::npos) << monitor;
  EXPECT_NE(monitor.find("run 100"), std::string::npos);
  EXPECT_NE(monitor.find("run 101"), std::string::npos);
  EXPECT_EQ(Count(monitor, "withdraw"), 0u);
  EXPECT_NE(CallLog(u"kgsb.dll").find("addgs 1 record 100"), std::string::npos);
}

TEST_F(SpoolMarking, RefusalsPrintNothing) {
  struct Case {
    const char* what;
    int serials, library;
    const char* fail;
    const char* install;
  } cases[] = {
      {"serial mismatch", 2, 3, "", "libkgsbtest.so"},
      {"refused validation", 1, 1, "validate", "libkgsbtest.so"},
      {"settings conflict", 1, 1, "conflict", "libkgsbtest.so"},
      {"no handle", 1, 1, "create", "libkgsbtest.so"},
      {"missing AddGS export", 1, 1, "", "libkgsbnoadd.so"},
      {"no serial count (no library at the header)", 0, 1, "", "libkgsbtest.so"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (job_ != nullptr) {
      delete job_;
      job_ = nullptr;
    }
    Install(c.install);
    UmpdJobContext* ctx = Job(kJob, c.serials, c.library);
    if (c.fail[0] != 0) Export<void (*)(const char*, int)>(u"kgsb.dll", "MarkTest_Fail")(c.fail, -1);
    EXPECT_EQ(jobOutput_ForGlyphseal(ctx), -1);
    EXPECT_EQ(Printer().bytes, "");
    EXPECT_TRUE(Printer().events.empty());
  }
  // The library's own answer for a missing export.
  HMODULE noAdd = LoadLibraryW(u"kgsb.dll");
  ASSERT_NE(noAdd, nullptr);
  Held().push_back(noAdd);
  GSB_HANDLE h{reinterpret_cast<void*>(1), 1, noAdd};
  EXPECT_EQ(gsb_ctrl_AddGS(&h, 0, u"C:\\a", u"C:\\b", nullptr), -101);
  EXPECT_EQ(gsb_ctrl_AddGS(&h, 2, u"C:\\a", u"C:\\b", nullptr), -11);
  h.library = nullptr;
  EXPECT_EQ(gsb_ctrl_AddGS(&h, 0, u"C:\\a", u"C:\\b", nullptr), -10);
  EXPECT_EQ(gsb_ctrl_RegisterJobAttr(&h, 2, nullptr, nullptr, nullptr), -1);
}

TEST_F(SpoolMarking, AFailureAtCopyTwoKeepsTheCopiesBeforeAndWithdrawsItsRegistration) {
  UmpdJobContext* ctx = Job(kJob, 3, 3, true);
  Export<void (*)(const char*, int)>(u"kgsb.dll", "MarkTest_Fail")("addgs", 2);
  EXPECT_EQ(jobOutput_ForGlyphseal(ctx), -1);
  EXPECT_EQ(Count(Printer().bytes, "GLYPHSEAL COPY="), 2u);
  EXPECT_EQ(Printer().bytes.find("COPY=2"), std::string::npos);
  const std::string monitor = CallLog(u"kqdm.dll");
  EXPECT_NE(monitor.find("run 100"), std::string::npos) << monitor;
  EXPECT_NE(monitor.find("withdraw 101"), std::string::npos) << monitor;
  EXPECT_EQ(monitor.find("run 101"), std::string::npos);
}

TEST_F(SpoolMarking, ACopyLongerThanTheBufferArrivesWhole) {
  std::string big = "\x1B%-12345X@PJL JOB\n";
  while (big.size() < 2 * 32768 + 5 - 30) big += static_cast<char>('a' + big.size() % 26);
  big.resize(2 * 32768 + 5 - 30);  // the stand-in adds its 30-byte comment
  UmpdJobContext* ctx = Job(big, 1, 1);
  EXPECT_EQ(jobOutput_ForGlyphseal(ctx), 0);
  ASSERT_EQ(Printer().bytes.size(), 2u * 32768 + 5);
  EXPECT_EQ(Printer().bytes.substr(Printer().bytes.size() - 100), big.substr(big.size() - 100));
}

TEST(SpoolMarkingText, TheAnsiCutKeepsWholeCharactersUnderCodePage932) {
  ASSERT_TRUE(KpSetACP(932));
  char out[8];
  // U+3042 (0x82 0xA0) x 3: "\x82\xA0\x82\xA0\x82\xA0"; a size of 6 keeps
  // two characters, never a lone lead byte.
  EXPECT_TRUE(local_CopyWideStringToMBCString(u"\u3042\u3042\u3042", 6, out));
  EXPECT_STREQ(out, "\x82\xA0\x82\xA0");
  // A trail byte with a lead byte's value is no lead byte: "a" U+4E9C "b"
  // is 61 88 9F 62; cut to three bytes it ends after the whole character
  // (looking only at the byte before the cut would drop the 0x9F).
  EXPECT_TRUE(local_CopyWideStringToMBCString(u"a\u4E9Cb", 4, out));
  EXPECT_STREQ(out, "a\x88\x9F");
  EXPECT_TRUE(local_CopyWideStringToMBCString(u"ab", 8, out));
  EXPECT_STREQ(out, "ab");
  EXPECT_FALSE(local_CopyWideStringToMBCString(nullptr, 8, out));
  ASSERT_TRUE(KpSetACP(1252));
}

}  // namespace
}  // namespace kestrel::test
