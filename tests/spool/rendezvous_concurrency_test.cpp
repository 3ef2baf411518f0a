// The rendezvous between the spooler's thread and the job's parser thread,
// through the exports: a write returns once the parser took it, a rejected
// stream or an abort lets every writer go at once, and nothing of the job
// is left after Close.
#include <thread>

#include "spool_fixture.h"

namespace kestrel::test {
namespace {

using namespace std::chrono_literals;

std::string OpenedJob() {
  return InbandCommand(XL_IC_ENABLE, "", false) +
         InbandCommand(XL_IC_OPEN, std::string("d\0o\0c\0\0\0", 8), true);
}

class SpoolRendezvous : public SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    handles_ = KpOpenHandleCount();
    blocks_ = KpGlobalBlockCount();
  }
  // Nothing of the job is left: no thread, event, heap or block.
  void ExpectNothingLeft() {
    EXPECT_EQ(KpOpenHandleCount(), handles_);
    EXPECT_EQ(KpGlobalBlockCount(), blocks_);
  }
  BOOL Write(HANDLE job, const std::string& bytes, DWORD* written = nullptr) {
    DWORD n = 0;
    const BOOL r = DrvSplWritePrinter(job, const_cast<char*>(bytes.data()), static_cast<DWORD>(bytes.size()), &n);
    if (written != nullptr) *written = n;
    return r;
  }
  size_t handles_ = 0;
  size_t blocks_ = 0;
};

TEST_F(SpoolRendezvous, AWriteReturnsOnceTheParserTookIt) {
  Watchdog dog(30s);
  HANDLE job = DrvSplStartDoc(queue_.printer, 3);
  ASSERT_NE(job, nullptr);
  auto* ctx = static_cast<UmpdJobContext*>(job);
  DWORD written = 0;
  EXPECT_TRUE(Write(job, OpenedJob(), &written));
  EXPECT_EQ(written, OpenedJob().size());
  EXPECT_EQ(ctx->offered.load(), 0u);
  EXPECT_TRUE(Write(job, "", &written));  // zero bytes: taken too
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(ctx->offered.load(), 0u);
  EXPECT_EQ(ctx->writeCount.load(), 2u);
  EXPECT_TRUE(Write(job, Bytes({0x44, 0x44})));
  DrvSplEndDoc(job);
  DrvSplClose(job);
  EXPECT_EQ(Printer().bytes, Bytes({0x44, 0x44}));
  ExpectNothingLeft();
}

TEST_F(SpoolRendezvous, ARejectedStreamAnswersFalseAtOnce) {
  Watchdog dog(30s);
  HANDLE job = DrvSplStartDoc(queue_.printer, 4);
  ASSERT_NE(job, nullptr);
  DWORD written = 7;
  EXPECT_FALSE(Write(job, Bytes({0x20, 0x44}), &written));
  EXPECT_EQ(written, 0u);
  for (int i = 0; i < 3; ++i) {
    written = 7;
    EXPECT_FALSE(Write(job, Bytes({0x44}), &written));
    EXPECT_EQ(written, 0u);
  }
  DrvSplClose(job);
  EXPECT_TRUE(Printer().bytes.empty());
  ExpectNothingLeft();
}

TEST_F(SpoolRendezvous, AbortFromAnotherThreadLetsTheWaitingWriterGo) {
  Watchdog dog(30s);
  HANDLE job = DrvSplStartDoc(queue_.printer, 5);
  ASSERT_NE(job, nullptr);
  ASSERT_TRUE(Write(job, OpenedJob()));
  // An operator with 3000 bytes of data (LineRelPath: an image would need
  // its colour space first) is written straight out while the
  // rest of the buffer waits; WritePrinter is held at the gate.
  const std::string stream =
      Bytes({0x9D, 0xFA, 0xB8, 0x0B, 0, 0}) + std::string(3000, 'i') + Bytes({0x44, 0x44});
  Printer().CloseGate();
  BOOL result = TRUE;
  std::thread writer([&] { result = Write(job, stream); });
  Printer().WaitUntilHeld();
  std::thread aborter([&] { DrvSplAbort(job); });
  std::this_thread::sleep_for(50ms);
  Printer().OpenGate();
  writer.join();
  aborter.join();
  EXPECT_FALSE(result);
  EXPECT_FALSE(Write(job, Bytes({0x44})));  // after the abort: at once
  DrvSplAbort(job);                         // a second abort changes nothing
  DrvSplClose(job);
  ExpectNothingLeft();
}

TEST_F(SpoolRendezvous, AWriteAfterAbortAnswersFalse) {
  Watchdog dog(30s);
  HANDLE job = DrvSplStartDoc(queue_.printer, 6);
  ASSERT_NE(job, nullptr);
  ASSERT_TRUE(Write(job, OpenedJob() + Bytes({0x44})));
  DrvSplAbort(job);
  DWORD written = 5;
  EXPECT_FALSE(Write(job, Bytes({0x44}), &written));
  EXPECT_EQ(written, 0u);
  DrvSplClose(job);
  EXPECT_TRUE(Printer().bytes.empty());  // an aborted job sends what it buffered nowhere
  ExpectNothingLeft();
}

TEST_F(SpoolRendezvous, APrinterWriteFailureReachesTheNextWriteAtTheLatest) {
  Watchdog dog(30s);
  HANDLE job = DrvSplStartDoc(queue_.printer, 7);
  ASSERT_NE(job, nullptr);
  ASSERT_TRUE(Write(job, OpenedJob()));
  Printer().failAt = 1;
  const std::string big = Bytes({0x9D, 0xFA, 0xB8, 0x0B, 0, 0}) + std::string(3000, 'i');
  const BOOL first = Write(job, big + Bytes({0x44}));
  const BOOL second = Write(job, Bytes({0x44}));
  EXPECT_FALSE(first && second);
  EXPECT_FALSE(second);
  DrvSplClose(job);
  ExpectNothingLeft();
}

TEST_F(SpoolRendezvous, StartPageEndPageAndWrongHandles) {
  HANDLE job = DrvSplStartDoc(queue_.printer, 8);
  ASSERT_NE(job, nullptr);
  EXPECT_TRUE(DrvSplStartPage(job));
  EXPECT_TRUE(DrvSplEndPage(job));
  uint32_t notAJob[8] = {0x12345678};
  EXPECT_FALSE(DrvSplStartPage(nullptr));
  EXPECT_FALSE(DrvSplStartPage(notAJob));
  EXPECT_FALSE(DrvSplEndPage(notAJob));
  EXPECT_FALSE(DrvSplWritePrinter(notAJob, notAJob, 4, nullptr));
  DrvSplEndDoc(notAJob);
  DrvSplAbort(notAJob);
  DrvSplClose(notAJob);
  DrvSplClose(nullptr);
  EXPECT_EQ(static_cast<UmpdJobContext*>(job)->startPageCount.load(), 1u);
  DrvSplClose(job);
  ExpectNothingLeft();
}

TEST_F(SpoolRendezvous, ThroughModesCopyOrDropTheInput) {
  Watchdog dog(30s);
  const std::string input = Bytes({0x20, 0x00, 0xFF}) + std::string(3000, 'r') + "end";
  for (DWORD mode : {1u, 2u}) {
    SCOPED_TRACE(mode);
    Printer().Reset();
    WCHAR name[] = UMPD_THROUGH_VALUE;
    ASSERT_EQ(SetPrinterDataW(queue_.printer, name, REG_DWORD, reinterpret_cast<LPBYTE>(&mode), 4), ERROR_SUCCESS);
    HANDLE job = DrvSplStartDoc(queue_.printer, 9);
    ASSERT_NE(job, nullptr);
    EXPECT_TRUE(Write(job, input.substr(0, 1000)));
    EXPECT_TRUE(Write(job, input.substr(1000)));
    DrvSplClose(job);
    EXPECT_EQ(Printer().bytes, mode == 1 ? input : "");
  }
  WCHAR name[] = UMPD_THROUGH_VALUE;
  DeletePrinterDataW(queue_.printer, name);
  iThroughMode.store(0);
}

}  // namespace
}  // namespace kestrel::test
