// A whole renderer stream, made with the renderer's own writers, through the
// exports in buffers of several sizes: every in-band command is carried out
// and removed, pages are framed, and the job passes the PCL XL checker as a
// job with its UEL/PJL frame. A job whose header cannot be made fails at
// the spooler's next write, with nothing sent.
#include <cstring>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/printerdata.h"

#include "pclxl_checker.h"
#include "spool_fixture.h"

namespace kestrel::test {
namespace {

void EndInputAndWait(UmpdJobContext* ctx) {
  EnterCriticalSection(&ctx->lock);
  ctx->endOfInput.store(1);
  LeaveCriticalSection(&ctx->lock);
  SetEvent(ctx->dataReady);
  WaitForSingleObject(ctx->parserThread, INFINITE);
}

class SpoolJob : public SpoolTest {};

TEST_F(SpoolJob, ARendererStreamBecomesAJob) {
  Watchdog dog(std::chrono::seconds(60));
  const std::string stream = RendererStream(queue_);
  for (size_t piece : {size_t{4096}, size_t{1}, size_t{333}}) {
    SCOPED_TRACE(piece);
    Printer().Reset();
    HANDLE job = DrvSplStartDoc(queue_.printer, 11);
    ASSERT_NE(job, nullptr);
    auto* ctx = static_cast<UmpdJobContext*>(job);
    for (size_t at = 0; at < stream.size(); at += piece) {
      const DWORD n = static_cast<DWORD>(std::min(piece, stream.size() - at));
      DWORD written = 0;
      ASSERT_TRUE(DrvSplWritePrinter(job, const_cast<char*>(stream.data() + at), n, &written));
      ASSERT_EQ(written, n);
    }
    DrvSplEndDoc(job);
    // Close ends the input; look at the job once the parser is done.
    EndInputAndWait(ctx);
    EXPECT_EQ(ctx->ok.load(), 1u);
    EXPECT_EQ(ctx->pagesOut, 2u);
    for (BYTE code = XL_IC_ENABLE; code <= XL_IC_SETJCLHEADERS; ++code) {
      if (code == XL_IC_PAGESTORING_START || code == XL_IC_OUTPUT_STOREDPAGE) continue;  // not sent
      EXPECT_GE(ctx->commandsRun[code - XL_IC_FIRST], 1u) << int(code);
    }
    DrvSplClose(job);
    const std::string& out = Printer().bytes;
    // The job header, the stream header right after it, the trailer last.
    EXPECT_EQ(out.rfind("\x1B%-12345X@PJL JOB MODE=", 0), 0u) << out.substr(0, 200);
    const size_t streamHeader = out.find(") HP-PCL XL;2;1;ZANVPL2-");
    ASSERT_NE(streamHeader, std::string::npos);
    EXPECT_EQ(out[streamHeader - 1], '\n');
    EXPECT_EQ(out.substr(out.size() - 18), "\x1B%-12345X@PJL EOJ\n");
    const auto report = pclxl_check::check(reinterpret_cast<const uint8_t*>(out.data()), out.size(),
                                           pclxl_check::Mode::Job);
    EXPECT_TRUE(report.ok()) << report.text();
  }
}

TEST_F(SpoolJob, AJobWhoseHeaderCannotBeMadeFailsTheSpoolersWrite) {
  Watchdog dog(std::chrono::seconds(60));
  BYTE printerData[XL_IC_PRINTERDATA_SIZE] = {};
  ASSERT_TRUE(pd_GetPrinterData(queue_.printer, printerData, queue_.ddd));
  std::string devmode = ModelADevmode(queue_);
  // A cover paper the writer has no name for: the header cannot be made.
  ASSERT_TRUE(ddm_SetNumber(DDM_INSERT_SHEET_1, devmode.data(), printerData, 1));
  ASSERT_TRUE(ddm_SetNumber(DDM_INSERT_PAPER_A, devmode.data(), printerData, 4321));
  const std::string beginSession = Bytes({0xD1, 0x58, 0x02, 0x58, 0x02, 0xF8, 0x89, 0xC0, 0, 0xF8, 0x86, 0xC0, 0,
                                          0xF8, 0x8F, XL_OP_BEGINSESSION});
  const std::string rop = Bytes({0xC0, 204, 0xF8, XL_ATTR_ROP3, XL_OP_SETROP});
  std::string stream = InbandCommand(XL_IC_ENABLE, "", false) + InbandCommand(XL_IC_OPEN, std::string("j\0\0\0", 4), true) +
                       InbandCommand(XL_IC_SETDEVMODE, devmode, true) + beginSession;
  for (int i = 0; i < 2000; ++i) stream += rop;
  HANDLE job = DrvSplStartDoc(queue_.printer, 12);
  ASSERT_NE(job, nullptr);
  BOOL failed = FALSE;
  for (size_t at = 0; at < stream.size() && !failed; at += 512) {
    const DWORD n = static_cast<DWORD>(std::min<size_t>(512, stream.size() - at));
    DWORD written = 0;
    failed = !DrvSplWritePrinter(job, const_cast<char*>(stream.data() + at), n, &written);
  }
  EXPECT_TRUE(failed);
  DWORD written = 0;
  EXPECT_FALSE(DrvSplWritePrinter(job, const_cast<char*>(rop.data()), static_cast<DWORD>(rop.size()), &written));
  DrvSplEndDoc(job);
  DrvSplClose(job);
  EXPECT_EQ(Printer().bytes, "");
}

TEST_F(SpoolJob, AStreamTheColourConversionCannotTakeReleasesTheSpooler) {
  // After the job's opening and session start, a SetColorSpace followed by
  // PaintPath (no brush, pen or image to complete it), then more operators:
  // the job ends at that operator, the spooler's writes answer FALSE from
  // then on, and the port receives no session body after the header.
  Watchdog dog(std::chrono::seconds(60));
  Printer().Reset();
  const std::string devmode = ModelADevmode(queue_);
  const std::string beginSession = Bytes({0xD1, 0x58, 0x02, 0x58, 0x02, 0xF8, 0x89, 0xC0, 0, 0xF8, 0x86, 0xC0, 0,
                                          0xF8, 0x8F, XL_OP_BEGINSESSION});
  const std::string space = Bytes({0xC0, 2, 0xF8, XL_ATTR_COLORSPACE, 0xC0, 0, 0xF8, XL_ATTR_OBJECTKIND,
                                    XL_OP_SETCOLORSPACE});
  const std::string rop = Bytes({0xC0, 204, 0xF8, XL_ATTR_ROP3, XL_OP_SETROP});
  std::string stream = InbandCommand(XL_IC_ENABLE, "", false) +
                       InbandCommand(XL_IC_OPEN, std::string("j\0\0\0", 4), true) +
                       InbandCommand(XL_IC_SETDEVMODE, devmode, true) + beginSession + space +
                       Bytes({XL_OP_PAINTPATH});
  for (int i = 0; i < 2000; ++i) stream += rop;
  HANDLE job = DrvSplStartDoc(queue_.printer, 13);
  ASSERT_NE(job, nullptr);
  BOOL failed = FALSE;
  for (size_t at = 0; at < stream.size() && !failed; at += 512) {
    const DWORD n = static_cast<DWORD>(std::min<size_t>(512, stream.size() - at));
    DWORD written = 0;
    failed = !DrvSplWritePrinter(job, const_cast<char*>(stream.data() + at), n, &written);
  }
  EXPECT_TRUE(failed);
  DWORD written = 0;
  EXPECT_FALSE(DrvSplWritePrinter(job, const_cast<char*>(rop.data()), static_cast<DWORD>(rop.size()), &written));
  DrvSplEndDoc(job);
  DrvSplClose(job);
  EXPECT_EQ(Printer().bytes.find(") HP-PCL XL;2;1;"), std::string::npos);  // what was buffered never went out
}

}  // namespace
}  // namespace kestrel::test
