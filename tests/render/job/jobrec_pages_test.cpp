// Page counting, point conversion, the printer handle and names in the job
// information, and the records through the in-band writers and reader.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "kestrel/render/jobrec.h"
#include "kestrel/render/xl_inband.h"
#include "xl_harness.h"

namespace {

JOBINFO Job(uint16_t nup, uint16_t sides, uint16_t copies) {
  JOBINFO j{};
  j.nup = nup;
  j.sides = sides;
  j.copies = copies;
  return j;
}

// Renders `logical` logical pages the way the page flow does: a physical page
// starts before its first logical page and ends when full or at the end.
PAGECTRL RunPages(const JOBINFO& j, int logical) {
  PAGECTRL p{};
  bool open = false;
  for (int i = 0; i < logical; ++i) {
    if (!open) {
      _pageCtrl_StartPage_Physical(&p, &j, FALSE);
      open = true;
    }
    if (_pageCtrl_nextPage_Logical(&p, &j)) {
      _pageCtrl_nextPage_Physical(&p);
      open = false;
    }
  }
  if (open) _pageCtrl_nextPage_Physical(&p);
  _pageCtrl_EndJob(&p, &j);
  return p;
}

TEST(JobRecordPages, CountingAcrossNupDuplexAndCopies) {
  struct Case {
    uint16_t nup, sides, copies;
    int logical;
    uint16_t physical, sheets;
  };
  const Case cases[] = {
      {1, 1, 1, 1, 1, 1},  {1, 1, 1, 5, 5, 5},   {1, 2, 1, 3, 3, 2},  {1, 2, 1, 4, 4, 2},
      {2, 1, 1, 3, 2, 2},  {2, 2, 1, 8, 4, 2},   {4, 2, 1, 9, 3, 2},  {8, 1, 1, 17, 3, 3},
      {32, 2, 1, 64, 2, 1}, {32, 2, 1, 65, 3, 2}, {1, 2, 3, 3, 3, 6},  {4, 1, 2, 4, 1, 2},
      {1, 1, 0, 2, 2, 2},  // copy count 0 counts once
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("nup " + std::to_string(c.nup) + " sides " + std::to_string(c.sides) + " copies " +
                 std::to_string(c.copies) + " pages " + std::to_string(c.logical));
    const PAGECTRL p = RunPages(Job(c.nup, c.sides, c.copies), c.logical);
    EXPECT_EQ(p.logicalPages, c.logical);
    EXPECT_EQ(p.physicalPages, c.physical);
    EXPECT_EQ(p.sheets, c.sheets);
    EXPECT_EQ(p.logicalOnPhysical, 0);
  }
}

TEST(JobRecordPages, PhysicalPageStepsAndForcedStart) {
  const JOBINFO j = Job(2, 2, 1);
  PAGECTRL p{};
  p.physicalPageFlow = 77;
  EXPECT_FALSE(_pageCtrl_nextPage_Logical(&p, &j));
  EXPECT_TRUE(_pageCtrl_nextPage_Logical(&p, &j));
  EXPECT_EQ(p.logicalOnPhysical, 2);
  _pageCtrl_nextPage_Physical(&p);
  EXPECT_EQ(p.logicalOnPhysical, 0);
  EXPECT_EQ(p.side, 1);
  EXPECT_EQ(p.physicalPageFlow, 0);
  // Forced: the sheet grows although the side (1) has not reached 2; the side stays.
  _pageCtrl_StartPage_Physical(&p, &j, TRUE);
  EXPECT_EQ(p.sheets, 1);
  EXPECT_EQ(p.side, 1);
  _pageCtrl_nextPage_Physical(&p);
  _pageCtrl_StartPage_Physical(&p, &j, TRUE);
  EXPECT_EQ(p.sheets, 2);
  EXPECT_EQ(p.side, 0);
}

TEST(JobRecordPages, CountersSaturate) {
  const JOBINFO j = Job(1, 1, 9999);
  PAGECTRL p{};
  p.logicalPages = p.logicalOnPhysical = p.physicalPages = p.side = p.sheets = 0xFFFF;
  _pageCtrl_nextPage_Logical(&p, &j);
  _pageCtrl_nextPage_Physical(&p);
  EXPECT_EQ(p.logicalPages, 0xFFFF);
  EXPECT_EQ(p.physicalPages, 0xFFFF);
  EXPECT_EQ(p.side, 0xFFFF);
  _pageCtrl_StartPage_Physical(&p, &j, FALSE);
  EXPECT_EQ(p.sheets, 0xFFFF);
  EXPECT_EQ(p.side, 0);

  PAGECTRL q{};
  q.sheets = 300;
  q.side = 1;
  _pageCtrl_EndJob(&q, &j);  // 301 x 9999
  EXPECT_EQ(q.sheets, 0xFFFF);

  jobInfo_pageCtrl_clearCounters(&q);
  q.flags = 0x5;
  q.pageStore = 0x8000;
  jobInfo_pageCtrl_clearCounters(&q);
  EXPECT_EQ(q.sheets, 0);
  EXPECT_EQ(q.flags, 0x5u);
  EXPECT_EQ(q.pageStore, 0x8000u);
}

TEST(JobRecordPages, PointConversionShiftsArithmetically) {
  const POINTFIX in[] = {{0, 0}, {16, 31}, {-1, -16}, {-17, 0x7FFFFFFF}, {INT32_MIN, 15}};
  const POINTL want[] = {{0, 0}, {1, 1}, {-1, -1}, {-2, 0x07FFFFFF}, {INT32_MIN / 16, 0}};
  POINTL out[5]{};
  ConvertPointfixParam(in, out, 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(out[i].x, want[i].x) << i;
    EXPECT_EQ(out[i].y, want[i].y) << i;
  }
}

TEST(JobRecordPages, PrinterHandleTravelsAs32Bits) {
  JOBINFO j{};
  EXPECT_TRUE(jobInfo_setPrinterHandle(&j, reinterpret_cast<HANDLE>(intptr_t{0x1234})));
  EXPECT_EQ(j.printerHandle, 0x1234u);
  EXPECT_EQ(jobrec_HandleFromWire(j.printerHandle), reinterpret_cast<HANDLE>(intptr_t{0x1234}));
  EXPECT_TRUE(jobInfo_setPrinterHandle(&j, reinterpret_cast<HANDLE>(intptr_t{-8})));
  EXPECT_EQ(jobrec_HandleFromWire(j.printerHandle), reinterpret_cast<HANDLE>(intptr_t{-8}));
  // A 64-bit address is not cut to its low half.
  EXPECT_FALSE(jobInfo_setPrinterHandle(&j, reinterpret_cast<HANDLE>(intptr_t{0x7F0000001234})));
  EXPECT_EQ(j.printerHandle, 0u);
}

TEST(JobRecordPages, NamesAreCutAt260Characters) {
  JOBINFO j;
  std::memset(&j, 0x41, sizeof j);
  const std::u16string longName(300, u'n');
  const std::u16string exact(260, u'e');
  jobInfo_setNames(&j, longName.c_str(), nullptr);
  EXPECT_EQ(std::u16string(j.documentName), std::u16string(260, u'n'));
  EXPECT_EQ(j.outputName[0], 0);
  EXPECT_EQ(j.outputName[260], 0);
  jobInfo_setNames(&j, u"doc", exact.c_str());
  EXPECT_EQ(std::u16string(j.documentName), u"doc");
  EXPECT_EQ(j.documentName[4], 0);  // nothing of the longer name lingers
  EXPECT_EQ(std::u16string(j.outputName), exact);
  EXPECT_EQ(j.printerHandle, 0x41414141u);  // the rest untouched
}

// Each record through its in-band writer, found again by the reader helper
// and loaded from the payload byte for byte.
TEST(JobRecordPages, RecordsRoundTripInBand) {
  JOBINFO job{};
  job.pdlVersion = 0x02010000;
  job.nup = 8;
  job.copies = 3;
  jobInfo_setNames(&job, u"Report", u"C:\\out.prn");
  job.feature406Values[19] = -2;
  LAYOUTINFO layout{};
  layout.zoomPercent = 25;
  layout.resolutionX = layout.resolutionY = 1200;
  layout.member461 = 0xBEEF;
  PAGECTRL page{};
  page.flags = 0x8000000F;
  page.sheets = 0xFFFF;
  page.physicalPageFlow = -1;

  BYTE jb[sizeof(JOBINFO)];
  BYTE lb[sizeof(LAYOUTINFO)];
  BYTE pb[sizeof(PAGECTRL)];
  jobrec_Store(&job, jb);
  jobrec_Store(&layout, lb);
  jobrec_Store(&page, pb);

  kxltest::Writer w;
  ASSERT_GE(xl_ic_setjobinfo(w.ctx(), jb), 0);
  ASSERT_GE(xl_ic_setlayoutinfo(w.ctx(), lb), 0);
  ASSERT_GE(xl_ic_setpagectrl(w.ctx(), pb), 0);
  const std::vector<uint8_t> stream = w.bytes();

  size_t at = 0;
  JOBINFO job2;
  LAYOUTINFO layout2;
  PAGECTRL page2;
  const BYTE codes[] = {XL_IC_SETJOBINFO, XL_IC_SETLAYOUTINFO, XL_IC_SETPAGECTRL};
  for (BYTE code : codes) {
    ASSERT_LT(at, stream.size());
    const XlIcRead r = xl_ic_read(stream.data() + at, stream.size() - at, TRUE);
    ASSERT_EQ(r.status, XL_IC_COMMAND);
    ASSERT_EQ(r.code, code);
    ASSERT_TRUE(r.hasPayload);
    if (code == XL_IC_SETJOBINFO) {
      ASSERT_TRUE(jobrec_Load(&job2, r.payload, r.payloadLength));
    } else if (code == XL_IC_SETLAYOUTINFO) {
      ASSERT_TRUE(jobrec_Load(&layout2, r.payload, r.payloadLength));
    } else {
      ASSERT_TRUE(jobrec_Load(&page2, r.payload, r.payloadLength));
    }
    at += r.length;
  }
  EXPECT_EQ(at, stream.size());
  EXPECT_EQ(std::memcmp(&job2, &job, sizeof job), 0);
  EXPECT_EQ(std::memcmp(&layout2, &layout, sizeof layout), 0);
  EXPECT_EQ(std::memcmp(&page2, &page, sizeof page), 0);
  EXPECT_EQ(std::u16string(job2.outputName), u"C:\\out.prn");

  // A payload of another size is refused and leaves the record alone.
  PAGECTRL keep = page2;
  EXPECT_FALSE(jobrec_Load(&page2, jb, sizeof jb));
  EXPECT_FALSE(jobrec_Load(&page2, nullptr, sizeof(PAGECTRL)));
  EXPECT_EQ(std::memcmp(&page2, &keep, sizeof keep), 0);
}

}  // namespace
