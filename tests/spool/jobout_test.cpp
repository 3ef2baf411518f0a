// The job output: the spool buffer's edge, WritePrinter pieces, short and
// failed writes (nothing lost counts as written), the file write's retry,
// the form file's path, and the second job.
#include <cstring>

#include "kplatform/monitor_host.h"
#include "kplatform/winspool_job.h"
#include "spool_fixture.h"

namespace kestrel::test {
namespace {

HANDLE const kPrinter = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x77));

class SpoolJobOutput : public RootedTest {
 protected:
  void SetUp() override {
    Printer().Reset();
    record_ = jobData_enable(nullptr);
    ASSERT_NE(record_, nullptr);
    ASSERT_EQ(jobData_open(record_, kPrinter, nullptr, nullptr, nullptr), 0);
  }
  void TearDown() override {
    jobData_disable(record_);
    Printer().Reset();
    KpSetWriteFault(0, 0, 0, 0);
    KpClearMessageBoxes();
  }
  jobData* record_ = nullptr;
};

TEST_F(SpoolJobOutput, BufferFullThenOneByteMore) {
  const std::string full(2048, 'a');
  EXPECT_EQ(jobData_spool_write(record_, 2048, full.data()), 2048);
  EXPECT_TRUE(Printer().sizes.empty());  // exactly full is still buffered
  EXPECT_EQ(jobData_spool_write(record_, 1, "b"), 1);
  EXPECT_EQ(Printer().sizes, (std::vector<DWORD>{2048, 1}));  // flushed, then written directly
  EXPECT_EQ(Printer().bytes, full + "b");
}

TEST_F(SpoolJobOutput, LargeWritesGoInMillionBytePieces) {
  const std::string big(2500000, 'x');
  EXPECT_EQ(jobData_spool_write(record_, static_cast<DWORD>(big.size()), big.data()), 2500000);
  EXPECT_EQ(Printer().sizes, (std::vector<DWORD>{1000000, 1000000, 500000}));
  EXPECT_EQ(Printer().bytes.size(), big.size());
}

TEST_F(SpoolJobOutput, AShortOrFailedPieceFailsTheWrite) {
  const std::string big(2500000, 'x');
  struct Case {
    const char* what;
    DWORD failAt, shortAt;
  } cases[] = {{"short last piece", 0, 3}, {"short first piece", 0, 1}, {"second piece fails", 2, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Printer().Reset();
    Printer().failAt = c.failAt;
    Printer().shortAt = c.shortAt;
    Printer().shortBy = 1;
    EXPECT_EQ(jobData_spool_write(record_, static_cast<DWORD>(big.size()), big.data()), -1);
    DWORD done = 99;
    Printer().Reset();
    Printer().failAt = c.failAt;
    Printer().shortAt = c.shortAt;
    Printer().shortBy = 1;
    EXPECT_FALSE(drvio_printer_write(kPrinter, big.data(), static_cast<DWORD>(big.size()), &done));
    EXPECT_EQ(done, 0u);
  }
  // A failed flush fails the close.
  Printer().Reset();
  Printer().failAt = 1;
  jobData_spool_write(record_, 10, "0123456789");
  EXPECT_EQ(jobData_close(record_, 1), -1);
}

TEST_F(SpoolJobOutput, FileWriteRetriedWritesOnlyTheRest) {
  ASSERT_EQ(jobData_openOutfile(record_, u"C:\\out.bin", nullptr, DRVIO_CREATE_ALWAYS), 0);
  std::string expect(5000, ' ');
  for (size_t i = 0; i < expect.size(); ++i) expect[i] = static_cast<char>('a' + i % 26);
  KpSetWriteFault(1, 1, 1000, 0);  // the first write takes 1000 bytes
  KpQueueMessageBoxAnswer(IDOK);
  EXPECT_EQ(jobData_spool_write(record_, static_cast<DWORD>(expect.size()), expect.data()), 5000);
  EXPECT_EQ(KpMessageBoxCount(), 1u);
  EXPECT_EQ(jobData_closeOutfile(record_, nullptr), 0);
  EXPECT_EQ(ReadHostFile(root_.host("c/out.bin")), expect);
}

TEST_F(SpoolJobOutput, RetryEndsOnceTheJobIsAborted) {
  std::atomic<uint32_t> status{UMPD_STATUS_CREATED | UMPD_STATUS_ABORTED};
  record_->status = &status;
  ASSERT_EQ(jobData_openOutfile(record_, u"C:\\out.bin", nullptr, DRVIO_CREATE_ALWAYS), 0);
  KpSetWriteFault(1, 1000, 0, ERROR_DISK_FULL);
  for (int i = 0; i < 5; ++i) KpQueueMessageBoxAnswer(IDOK);
  const std::string data(4000, 'z');
  EXPECT_EQ(jobData_spool_write(record_, static_cast<DWORD>(data.size()), data.data()), -1);
  EXPECT_EQ(KpMessageBoxCount(), 0u);
}

TEST(SpoolFormPath, NamesAndFolders) {
  const char16_t* folder = u"C:\\Halcyra\\form\\";
  struct Case {
    const char16_t* name;
    const char16_t* path;  // null: refused
    DWORD folderEnd;
  };
  const std::u16string longName = u"C:\\" + std::u16string(300, u'f');
  const std::u16string fits = u"C:\\" + std::u16string(252, u'f');  // 255 + ".kfm" = 259
  const Case cases[] = {
      {u"Letterhead", u"C:\\Halcyra\\form\\Letterhead.kfm", 16},
      {u"dept\\Letterhead.old", u"C:\\Halcyra\\form\\dept\\Letterhead.old.kfm", 21},
      {u"D:\\Forms\\Letterhead", u"D:\\Forms\\Letterhead.kfm", 9},
      {u"\\\\server\\share\\Letterhead", u"\\\\server\\share\\Letterhead.kfm", 15},
      {u"..\\Letterhead", nullptr, 0},
      {u"D:\\Forms\\..\\Windows\\x", nullptr, 0},
      {longName.c_str(), nullptr, 0},
      {fits.c_str(), nullptr, 3},
      {u"", nullptr, 0},
      {u"D:\\Forms\\", nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name)).substr(0, 40));
    WCHAR path[MAX_PATH];
    DWORD end = 0;
    const BOOL ok = jobOutput_makeFormPath(c.name, folder, u"kfm", path, &end);
    if (c.name == fits.c_str()) {
      EXPECT_TRUE(ok);
      EXPECT_EQ(std::u16string(path).size(), 259u);
    } else if (c.path == nullptr) {
      EXPECT_FALSE(ok);
    } else {
      ASSERT_TRUE(ok);
      EXPECT_EQ(std::u16string(path), c.path);
      EXPECT_EQ(end, c.folderEnd);
    }
  }
}

class SpoolSecondJob : public SpoolTest {};

TEST_F(SpoolSecondJob, StartsOnlyWhenStartDocAndStartPageWork) {
  HANDLE second = drvio_printer_force_open(queue_.printer, nullptr, u"marked", nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(second, queue_.printer);
  EXPECT_TRUE(drvio_printer_force_close(second, 1));
  EXPECT_EQ(Printer().events, (std::vector<std::string>{"StartDocPrinterW", "StartPagePrinter", "EndPagePrinter",
                                                        "EndDocPrinter"}));
  Printer().Reset();
  Printer().failStartDoc = TRUE;
  EXPECT_EQ(drvio_printer_force_open(queue_.printer, nullptr, u"marked", nullptr), nullptr);
  Printer().Reset();
  Printer().failStartPage = TRUE;
  EXPECT_EQ(drvio_printer_force_open(queue_.printer, nullptr, u"marked", nullptr), nullptr);
  EXPECT_EQ(Printer().events.back(), "EndDocPrinter");
}

}  // namespace
}  // namespace kestrel::test

namespace kestrel::test {
namespace {

class SpoolNames : public SpoolTest {};

TEST_F(SpoolNames, APortNameOf300CharactersKeeps259) {
  KpPortReset();
  const std::u16string port = u"P" + std::u16string(299, u'x');
  ASSERT_TRUE(KpPortDefineFile(port.c_str(), u"C:\\port.prn"));
  ASSERT_TRUE(KpSpoolerSetPrinterPort(kModelAPrinter, port.c_str(), nullptr));
  UmpdJobContext* ctx = umpd_CreateContext(queue_.printer, 1);
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(std::u16string(ctx->portName), port.substr(0, 259));
  EXPECT_EQ(std::u16string(ctx->printerName), kModelAPrinter);
  umpd_DestroyContext(ctx);
  KpSpoolerReset();
  KpPortReset();
}

}  // namespace
}  // namespace kestrel::test
