// The renderer's output buffer and job-data record (kxl_km only).
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "kestrel/render/xl.h"
#include "kestrel/render/xl_inband.h"
#include "kestrel/render/xl_outbuf.h"
#include "xl_harness.h"

using kxltest::Writer;

namespace {

std::vector<uint8_t> bytesOf(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 13);
  return v;
}

TEST(OutputBuffer, WriteSizesAsTheBufferFillsAndOverflows) {
  struct Case {
    const char* name;
    size_t before;  // bytes already buffered
    size_t n;
    std::vector<uint32_t> writes;  // printer writes during the pswrite
    uint32_t kept;                 // bytes buffered afterwards
  } cases[] = {
      {"1024 into a full buffer flushes, then buffers", 4096, 1024, {4096}, 1024},
      {"1025 into a full buffer goes out at once", 4096, 1025, {4096, 1025}, 0},
      {"10000 into an empty buffer", 0, 10000, {4096, 4096, 1808}, 0},
      {"9000 into an empty buffer keeps the last 808", 0, 9000, {4096, 4096}, 808},
      {"a write that fits is gathered", 100, 3996, {}, 4096},
      {"one byte more flushes first", 100, 3997, {100, 3997}, 0},
  };
  for (const auto& c : cases) {
    Writer w;
    XlOutBuf* out = &w.ctx()->out;
    auto first = bytesOf(c.before, 1), second = bytesOf(c.n, 7);
    ASSERT_EQ(pswrite(out, first.data(), static_cast<DWORD>(first.size())), 1);
    ASSERT_TRUE(w.sink().writes.empty()) << c.name;
    ASSERT_EQ(pswrite(out, second.data(), static_cast<DWORD>(second.size())), 1) << c.name;
    EXPECT_EQ(w.sink().writes, c.writes) << c.name;
    EXPECT_EQ(out->count, c.kept) << c.name;
    // Nothing lost, nothing reordered.
    auto all = first;
    all.insert(all.end(), second.begin(), second.end());
    EXPECT_EQ(w.bytes(), all) << c.name;
  }
}

TEST(OutputBuffer, FailureAtTheKthWriteRefusesEveryLaterWrite) {
  for (bool shortWrite : {false, true}) {
    for (int k = 1; k <= 3; ++k) {
      Writer w;
      w.sink().failAt = k;
      w.sink().short_ = shortWrite;
      XlOutBuf* out = &w.ctx()->out;
      auto data = bytesOf(5000, 3);
      int accepted = 0;
      int i = 0;
      for (; i < 10; ++i) {
        if (pswrite(out, data.data(), 5000) != 1) break;
        ++accepted;
      }
      EXPECT_LT(i, 10) << "the k-th write fails";
      EXPECT_TRUE(out->status & XL_STATUS_OUTPUT_FAILED);
      const int callsAtFailure = w.sink().calls;
      EXPECT_EQ(callsAtFailure, k);
      EXPECT_EQ(pswrite(out, data.data(), 1), 0);
      EXPECT_EQ(psflush(out), 1) << "an already failed output flushes nothing and reports no new failure";
      EXPECT_EQ(xl_newpath(w.ctx()), -1) << "every writer above reports the failure";
      EXPECT_EQ(xl_ic_close(w.ctx()), -1);
      EXPECT_EQ(w.sink().calls, callsAtFailure) << "no write after the failure";
      psinitbuf(out);
      EXPECT_EQ(pswrite(out, data.data(), 1), 0) << "the failure outlives a buffer reset";
    }
  }
}

TEST(OutputBuffer, FlushResults) {
  Writer w;
  XlOutBuf* out = &w.ctx()->out;
  EXPECT_EQ(psflush(out), 1) << "nothing to write";
  EXPECT_TRUE(w.sink().writes.empty());
  ASSERT_EQ(pswrite(out, "abc", 3), 1);
  w.sink().failAt = 1;
  EXPECT_EQ(psflush(out), 0);
  EXPECT_EQ(out->count, 0u) << "emptied on failure too";
  EXPECT_EQ(psflush(out), 1);
}

TEST(PrinterWrite, Edges) {
  Writer w;
  XlPrinter printer = w.ctx()->out.printer;
  DWORD written = 99;
  EXPECT_FALSE(drvio_printer_write(nullptr, "x", 1, &written));
  EXPECT_EQ(written, 0u);
  XlPrinter none{nullptr, printer.write};
  EXPECT_FALSE(drvio_printer_write(&none, "x", 1, &written));
  EXPECT_TRUE(drvio_printer_write(&printer, nullptr, 0, &written));
  EXPECT_EQ(w.sink().calls, 0) << "n = 0 makes no call";
  EXPECT_FALSE(drvio_printer_write(&printer, nullptr, 5, &written));
  EXPECT_TRUE(drvio_printer_write(&printer, "abcd", 4, nullptr));
  w.sink().failAt = 2;
  EXPECT_FALSE(drvio_printer_write(&printer, "abcd", 4, &written));
  EXPECT_EQ(written, 0u);
}

// ---- job-data record -------------------------------------------------------

struct CountingAllocator {
  int live = 0;
  int calls = 0;
  int failAt = 0;
  static void* alloc(void* user, size_t n) {
    auto* a = static_cast<CountingAllocator*>(user);
    if (a->failAt != 0 && ++a->calls == a->failAt) return nullptr;
    ++a->live;
    return std::calloc(1, n);
  }
  static void release(void* user, void* p) {
    --static_cast<CountingAllocator*>(user)->live;
    std::free(p);
  }
  XlAllocator get() { return XlAllocator{&alloc, &release, this}; }
};

TEST(JobData, PageNumberingAndTable) {
  CountingAllocator a;
  XlAllocator al = a.get();
  XlJobData* jd = jobData_enable(&al);
  ASSERT_NE(jd, nullptr);
  EXPECT_EQ(jd->direction, 0);
  EXPECT_TRUE(jd->pageBookkeeping);
  ASSERT_EQ(jobData_page_startToUse(jd, 5, XL_PAGE_ELEMENT_SIZE, 2), 0);
  EXPECT_EQ(jobData_page_startToStore(jd, 6), -1) << "the page must be first + count";
  for (WORD page = 5; page < 10; ++page) {
    ASSERT_EQ(jobData_page_startToStore(jd, page), 0) << page;
    BYTE* e = jobData_page_element(jd, page);
    ASSERT_NE(e, nullptr);
    for (DWORD i = 0; i < XL_PAGE_ELEMENT_SIZE; ++i) EXPECT_EQ(e[i], 0) << "zero-filled element";
    e[0] = static_cast<BYTE>(page);
    ASSERT_EQ(jobData_page_endToStore(jd), 0);
  }
  EXPECT_EQ(jd->pageCount, 5);
  EXPECT_GE(jd->pages.capacity, 5u);
  EXPECT_EQ(jd->pages.capacity % 2, 0u) << "grown in whole steps";
  for (WORD page = 5; page < 10; ++page) EXPECT_EQ(jobData_page_element(jd, page)[0], page) << "kept across growth";
  EXPECT_EQ(jobData_page_element(jd, 4), nullptr);
  jobData_page_enable(jd);
  EXPECT_EQ(jd->pageCount, 0);
  jobData_page_disable(jd);
  EXPECT_EQ(jd->pages.buffer, nullptr);
  jobData_disable(jd);
  EXPECT_EQ(a.live, 0);
}

TEST(JobData, CountSaturatesAndMemoryFailuresAreReported) {
  CountingAllocator a;
  XlAllocator al = a.get();
  XlJobData* jd = jobData_enable(&al);
  ASSERT_NE(jd, nullptr);
  ASSERT_EQ(jobData_page_startToUse(jd, 0, 4, 16), 0);
  jd->pageCount = 0xFFFE;
  EXPECT_EQ(jobData_page_endToStore(jd), 0);
  EXPECT_EQ(jd->pageCount, 0xFFFF);
  EXPECT_EQ(jobData_page_endToStore(jd), 0);
  EXPECT_EQ(jd->pageCount, 0xFFFF) << "saturates, never wraps to 0";
  EXPECT_EQ(jobData_page_startToUse(jd, 0, 0, 16), -1);
  EXPECT_EQ(jd->pages.buffer, nullptr) << "a failure disposes the table";
  a.failAt = a.calls + 1;
  EXPECT_EQ(jobData_page_startToUse(jd, 0, 4, 16), -1);
  EXPECT_EQ(jd->pages.buffer, nullptr);
  jobData_disable(jd);
  EXPECT_EQ(a.live, 0);

  CountingAllocator none;
  none.failAt = 1;
  XlAllocator nal = none.get();
  EXPECT_EQ(jobData_enable(&nal), nullptr);
}

TEST(JobData, SpoolFlush) {
  CountingAllocator a;
  XlAllocator al = a.get();
  XlJobData* jd = jobData_enable(&al);
  ASSERT_NE(jd, nullptr);
  Writer w;
  jd->printer = w.ctx()->out.printer;
  EXPECT_EQ(_jobData_spool_flush(jd), -1) << "not open";
  jd->direction = 2;
  EXPECT_EQ(_jobData_spool_flush(jd), -1) << "storing";
  jd->direction = 1;
  EXPECT_EQ(_jobData_spool_flush(jd), 0) << "nothing buffered";
  jd->spoolCount = 3;
  jd->spoolBuffer[0] = 'a';
  EXPECT_EQ(_jobData_spool_flush(jd), 0);
  EXPECT_EQ(w.sink().writes, std::vector<uint32_t>{3});
  jd->spoolCount = 3;
  w.sink().failAt = 2;
  EXPECT_EQ(_jobData_spool_flush(jd), -1);
  EXPECT_EQ(jd->spoolCount, 0u) << "emptied whatever the outcome";
  jobData_disable(jd);
}

TEST(PdlDevData, CopyCarriesTheCacheOnlyWhileAJobRuns) {
  Writer oldW, newW;
  XlContext* o = oldW.ctx();
  XlContext* n = newW.ctx();
  EXPECT_EQ(PDL_InitDEVDATA(n), 1);
  ASSERT_EQ(xl_setfillmode(o, 1), 0);
  o->convctm.originX = 77;
  EXPECT_EQ(PDL_CopyDEVDATA(o, n, 0), 1);
  EXPECT_EQ(n->cgs.fillMode, -1);
  EXPECT_EQ(PDL_CopyDEVDATA(o, n, XL_PDEV_JOB_IN_PROGRESS), 1);
  EXPECT_EQ(n->cgs.fillMode, 1);
  EXPECT_EQ(n->convctm.originX, 77);
  o->out.status |= XL_STATUS_OUTPUT_FAILED;
  EXPECT_EQ(PDL_CopyDEVDATA(o, n, 0), 1);
  EXPECT_TRUE(n->out.status & XL_STATUS_OUTPUT_FAILED) << "a reset does not revive a failed output";
}

}  // namespace
