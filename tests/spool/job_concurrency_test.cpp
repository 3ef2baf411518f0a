// A whole renderer stream, made with the renderer's own writers, through the
// exports in buffers of several sizes: every in-band command is carried out
// and removed, pages are framed, and the job passes the PCL XL checker as a
// job (without its UEL/PJL frame, which is later work).
#include <cstring>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/printerdata.h"
#include "pclxl_checker.h"
#include "spool_fixture.h"

namespace kestrel::test {
namespace {

int32_t PutToString(void* sink, DWORD n, const void* bytes) {
  static_cast<std::string*>(sink)->append(static_cast<const char*>(bytes), n);
  return static_cast<int32_t>(n);
}

void EndInputAndWait(UmpdJobContext* ctx) {
  EnterCriticalSection(&ctx->lock);
  ctx->endOfInput.store(1);
  LeaveCriticalSection(&ctx->lock);
  SetEvent(ctx->dataReady);
  WaitForSingleObject(ctx->parserThread, INFINITE);
}

class SpoolJob : public SpoolTest {
 protected:
  // Every command but form registration (157/158 divert the output to a
  // file), two pages.
  std::string RendererStream() {
    std::string s;
    XlContext xl{};
    xl_initcontext(&xl, PutToString, &s);
    std::vector<BYTE> devmode(XL_IC_DEVMODE_SIZE);
    BYTE printerData[XL_IC_PRINTERDATA_SIZE] = {};
    EXPECT_TRUE(pd_GetPrinterData(queue_.printer, printerData, queue_.ddd));
    EXPECT_TRUE(cdm_SetDefaultDevmode(queue_.ddd, devmode.data(), printerData, kModelAPrinter));
    const BYTE jobInfo[XL_IC_JOBINFO_SIZE] = {};
    const BYTE layoutInfo[XL_IC_LAYOUTINFO_SIZE] = {};
    const BYTE pageCtrl[XL_IC_PAGECTRL_SIZE] = {};
    BYTE jcl[16 + 2 * (8 + 4)] = {2, 0, 0, 0, 8, 0, 0, 0};
    const float matrix[6] = {1, 0, 0, 1, 0, 0};
    bool ok = xl_ic_enable(&xl) == 0 && xl_ic_open(&xl, u"job") == 0 && xl_ic_setdocname(&xl, u"job") == 0 &&
              xl_ic_setdevmode(&xl, devmode.data(), XL_IC_DEVMODE_SIZE) == 0 &&
              xl_ic_setprinterdata(&xl, printerData) == 0 && xl_ic_setjobinfo(&xl, jobInfo) == 0 &&
              xl_ic_setlayoutinfo(&xl, layoutInfo) == 0 && xl_ic_setpagectrl(&xl, pageCtrl) == 0 &&
              xl_ic_setjclheaders(&xl, jcl, sizeof(jcl)) == 0 && xl_ic_startjob(&xl) == 0 &&
              xl_ic_setcolormode(&xl, 1, 1) == 0 && xl_ic_openprinter(&xl) == 0 && xl_ic_closeprinter(&xl, 0) == 0 &&
              xl_ic_pageStoring_init(&xl, 1, 4) == 0 && xl_beginsession(&xl, 600, 600, 0, 0) == 0 &&
              xl_opendatasource(&xl) == 0 && xl_ic_timeout(&xl, XL_TIMESTAMP_JOBSTART) == 0 &&
              xl_ic_timeout(&xl, XL_TIMESTAMP_VERSION) == 0;
    for (int page = 0; page < 2 && ok; ++page) {
      ok = xl_ic_startpage(&xl, 0, 0, 2, 1, 2) == 0 && xl_ic_timeout(&xl, XL_TIMESTAMP_PAGESTART) == 0 &&
           xl_ic_setcoordinate(&xl, matrix) == 0 && xl_ic_beginstamp(&xl) == 0 &&
           xl_setcolorspace_simple(&xl, 2, 0) == 0 && xl_setbrushsource_rgb(&xl, 10, 20, 30) == 0 &&
           xl_newpath(&xl) == 0 && xl_rectangle(&xl, RECT{100, 100, 400, 300}) == 0 && xl_ic_endstamp(&xl) == 0 &&
           xl_ic_linkimagestart(&xl) == 0 && xl_ic_linkimageend(&xl) == 0 && xl_ic_pageStoring_stop(&xl, 1) == 0 &&
           xl_ic_showpage(&xl) == 0 && xl_ic_timeout(&xl, XL_TIMESTAMP_PHYSICALPAGEEND) == 0 &&
           xl_ic_endpage(&xl) == 0;
    }
    ok = ok && xl_ic_pageStoring_dispose(&xl) == 0 && xl_ic_timeout(&xl, XL_TIMESTAMP_JOBEND) == 0 &&
         xl_closedatasource(&xl) == 0 && xl_endsession(&xl) == 0 && xl_ic_close(&xl) == 0 && xl_ic_disable(&xl) == 0;
    EXPECT_TRUE(ok);
    return s;
  }
};

TEST_F(SpoolJob, ARendererStreamBecomesAJob) {
  Watchdog dog(std::chrono::seconds(60));
  const std::string stream = RendererStream();
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
    EXPECT_EQ(out.rfind(") HP-PCL XL;2;1;ZANVPL2-", 0), 0u);
    const auto report = pclxl_check::check(reinterpret_cast<const uint8_t*>(out.data()), out.size(),
                                           pclxl_check::Mode::UnframedJob);
    EXPECT_TRUE(report.ok()) << report.text();
  }
}

}  // namespace
}  // namespace kestrel::test
