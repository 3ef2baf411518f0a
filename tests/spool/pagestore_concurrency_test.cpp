// The page store under threads: a job aborted from the spooler's second
// thread while a page is being stored leaves neither its temporary file nor
// the file's record; two jobs storing and replaying pages at once keep
// their own files.
#include <cstring>
#include <thread>

#include "spool_fixture.h"

namespace kestrel::test {
namespace {

int32_t PutToString(void* sink, DWORD n, const void* bytes) {
  static_cast<std::string*>(sink)->append(static_cast<const char*>(bytes), n);
  return static_cast<int32_t>(n);
}

// A job that stores `pages` pages and puts each out twice; with midStore
// it stops inside the first stored page.
std::string StoringStream(const ModelAQueue& queue, int pages, bool midStore) {
  std::string s;
  XlContext xl{};
  xl_initcontext(&xl, PutToString, &s);
  const std::string devmode = ModelADevmode(queue);
  const float m[6] = {1, 0, 0, 1, 0, 0};
  bool ok = xl_ic_enable(&xl) == 0 && xl_ic_open(&xl, u"store") == 0 &&
            xl_ic_setdevmode(&xl, devmode.data(), XL_IC_DEVMODE_SIZE) == 0 && xl_ic_pageStoring_init(&xl, 1, 2) == 0;
  for (int page = 1; page <= pages && ok; ++page) {
    const XlIcPageStoringStart start{1, 0x3E, 0, 0, static_cast<WORD>(page), 0};
    ok = xl_ic_pageStoring_start(&xl, &start) == 0 && xl_ic_startpage(&xl, 0, 0, 1, 1, 2) == 0 &&
         xl_ic_setcoordinate(&xl, m) == 0 && xl_newpath(&xl) == 0 &&
         xl_rectangle(&xl, RECT{page, 1, 300, 300}) == 0 && xl_paintpath(&xl) == 0;
    if (midStore) return s;
    ok = ok && xl_ic_showpage(&xl) == 0 && xl_ic_endpage(&xl) == 0 &&
         xl_ic_pageStoring_stop(&xl, static_cast<WORD>(page)) == 0;
  }
  for (int page = 1; page <= pages && ok; ++page) {
    for (int copy = 0; copy < 2 && ok; ++copy) {
      const XlIcStoredPage stored{m, nullptr, 15, static_cast<WORD>(page), 0xFFFF, 0, 0xFFFF};
      ok = xl_ic_output_aStoredPage_withOtherPageColor(&xl, &stored) == 0;
    }
  }
  ok = ok && xl_ic_pageStoring_dispose(&xl) == 0 && xl_ic_close(&xl) == 0 && xl_ic_disable(&xl) == 0;
  EXPECT_TRUE(ok);
  return s;
}

bool Write(HANDLE job, const std::string& stream) {
  for (size_t at = 0; at < stream.size(); at += 1000) {
    const DWORD n = static_cast<DWORD>(std::min<size_t>(1000, stream.size() - at));
    DWORD written = 0;
    if (!DrvSplWritePrinter(job, const_cast<char*>(stream.data() + at), n, &written)) return false;
  }
  return true;
}

DWORD RecordCount() {
  WCHAR root[TFREG_ROOT_CHARS + 1];
  TFReg_GetRegRoot(root);
  const std::u16string name = std::u16string(root) + u"TempFile";
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  DWORD subKeys = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr);
  RegCloseKey(key);
  return subKeys;
}

class SpoolPageStoreThreads : public SpoolTest {};

TEST_F(SpoolPageStoreThreads, AbortFromASecondThreadWhileAPageIsStored) {
  Watchdog dog(std::chrono::seconds(60));
  HANDLE job = DrvSplStartDoc(queue_.printer, 21);
  ASSERT_NE(job, nullptr);
  auto* ctx = static_cast<UmpdJobContext*>(job);
  ASSERT_TRUE(Write(job, StoringStream(queue_, 1, true)));
  (void)ctx;
  // The page is being stored: its file and record exist (the parser may
  // still be carrying out the last command it took).
  for (int i = 0; i < 500 && RecordCount() == 0; ++i) Sleep(2);
  EXPECT_EQ(RecordCount(), 1u);
  std::thread spooler([job] { DrvSplAbort(job); });
  spooler.join();
  EXPECT_EQ(RecordCount(), 0u);
  DrvSplClose(job);
  EXPECT_EQ(RecordCount(), 0u);
  EXPECT_EQ(Printer().bytes.find("\x43"), std::string::npos) << "no page of the stored part reached the printer";
}

TEST_F(SpoolPageStoreThreads, TwoJobsStoringAtOnce) {
  Watchdog dog(std::chrono::seconds(60));
  const std::string a = StoringStream(queue_, 3, false), b = StoringStream(queue_, 2, false);
  struct Result {
    uint32_t ok = 0;
    uint64_t pages = 0;
  } ra, rb;
  auto run = [this](const std::string& stream, DWORD id, Result* r) {
    HANDLE job = DrvSplStartDoc(queue_.printer, id);
    if (job == nullptr) return;
    auto* ctx = static_cast<UmpdJobContext*>(job);
    Write(job, stream);
    DrvSplEndDoc(job);
    EnterCriticalSection(&ctx->lock);
    ctx->endOfInput.store(1);
    LeaveCriticalSection(&ctx->lock);
    SetEvent(ctx->dataReady);
    WaitForSingleObject(ctx->parserThread, INFINITE);
    r->ok = ctx->ok.load();
    r->pages = ctx->pagesOut;
    DrvSplClose(job);
  };
  std::thread ta(run, std::cref(a), 31, &ra), tb(run, std::cref(b), 32, &rb);
  ta.join();
  tb.join();
  EXPECT_EQ(ra.ok, 1u);
  EXPECT_EQ(rb.ok, 1u);
  EXPECT_EQ(ra.pages, 6u);
  EXPECT_EQ(rb.pages, 4u);
  EXPECT_EQ(RecordCount(), 0u);
}

}  // namespace
}  // namespace kestrel::test
