// The job-information comment: whole comments written by hand from the
// keyword table, the resumable output, the page-entry array across its
// block boundary and the line that can never fit.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "kestrel/core/jobinfo.h"

namespace {

struct Free {
  void operator()(JobInfoBuilder* b) const { IJ_lEnd(b); }
};
using Builder = std::unique_ptr<JobInfoBuilder, Free>;

Builder Make(DWORD initial = 4, WORD growth = 4) { return Builder(IJ_lInit(initial, growth)); }

// The whole comment in one call with a large buffer.
std::string Comment(JobInfoBuilder* b, DWORD* flags = nullptr, DWORD size = 1 << 20) {
  std::string buf(size, '\0');
  DWORD more = 7, f = 0;
  LONG n = IJ_lGetComment(b, buf.data(), size, &more, &f);
  EXPECT_GE(n, 0);
  EXPECT_EQ(more, 0u);
  if (flags) *flags = f;
  return buf.substr(0, n < 0 ? 0 : static_cast<size_t>(n));
}

const std::string P = "@PJL COMMENT ZANJOBINFO ";

void Page(JobInfoBuilder* b, const char* size, LONG mode, LONG tray) {
  ASSERT_TRUE(IJ_lAppendPage(b));
  IJ_lSetPaperSize(b, size);
  IJ_lSetColorMode(b, mode);
  IJ_lSetInTray(b, tray);
}

TEST(JobInfoTest, ThreePagesWithAnEmptyOneCountTwoPhysicalPages) {
  Builder b = Make();
  IJ_lSetPdlType(b.get(), IJ_PDL_PCLXL, "2.1");
  IJ_lSetJobType(b.get(), IJ_JOB_PRINT);
  IJ_lSetJobCopies(b.get(), 2);
  IJ_lSetPageCopies(b.get(), 1);
  IJ_lSetDuplexType(b.get(), 1);
  IJ_lSetLogicalPages(b.get(), 3);
  Page(b.get(), "A4", IJ_PAGE_COLOR, 1);
  IJ_lSetColors(b.get(), 4);
  Page(b.get(), "A4", IJ_PAGE_EMPTY, 1);
  Page(b.get(), "LETTER", IJ_PAGE_MONOCHROME, 2);
  DWORD flags = 9;
  EXPECT_EQ(Comment(b.get(), &flags),
            P + "VERSION=1.1.0\n" + P + "BEGIN\n" + P + "PDLTYPE=PDL[PCLXL]:VERSION[2.1]\n" + P + "JOBTYPE=PRINT\n" +
                P + "JOBCOPIES=2\n" + P + "PAGECOPIES=1\n" + P + "DUPLEXTYPE=DUPLEX\n" + P + "PHYSICALPAGES=2\n" + P +
                "LOGICALPAGES=3\n" + P + "PAGEINFOBEGIN\n" + P + "PAGEINFO=SIZE[A4]:MODE[COLOR]:COLORS[4]:INTRAY[1]\n" +
                P + "PAGEINFO=SIZE[A4]:MODE[EMPTY]:INTRAY[1]\n" + P +
                "PAGEINFO=SIZE[LETTER]:MODE[MONOCHROME]:INTRAY[2]\n" + P + "PAGEINFOEND\n" + P + "END\n");
  EXPECT_EQ(flags, 0u);
}

TEST(JobInfoTest, RefusedValuesWriteAnEmptyKeywordAndMissingItemsSetBitZero) {
  Builder b = Make();
  IJ_lSetCRPut(b.get(), TRUE);
  IJ_lSetPdlType(b.get(), IJ_PDL_PCLXL, "2.1");
  IJ_lSetJobType(b.get(), IJ_JOB_PRINT);  // PRINT without copies
  IJ_lSetOutTray(b.get(), 2, 0);          // tray 2 needs a bin of 1 or more
  IJ_lSetNUp(b.get(), 0);
  IJ_lSetPunch(b.get(), 2, 3);
  IJ_lSetBooklet(b.get(), 3, 0);
  Page(b.get(), "", IJ_PAGE_MONOCHROME, 1);
  DWORD flags = 0;
  EXPECT_EQ(Comment(b.get(), &flags),
            P + "VERSION=1.1.0\r\n" + P + "BEGIN\r\n" + P + "PDLTYPE=PDL[PCLXL]:VERSION[2.1]\r\n" + P +
                "JOBTYPE=PRINT\r\n" + P + "\r\n" + P + "\r\n" + P + "\r\n" + P +
                "PUNCH=HOLES[TWO]:POSITION[BOTTOM]\r\n" + P + "PHYSICALPAGES=1\r\n" + P + "PAGEINFOBEGIN\r\n" + P +
                "PAGEINFO=MODE[MONOCHROME]:INTRAY[1]\r\n" + P + "PAGEINFOEND\r\n" + P + "END\r\n");
  EXPECT_EQ(flags & IJ_RESULT_MISSING, IJ_RESULT_MISSING);
}

TEST(JobInfoTest, FormRegistrationCommentFitsItsBuffer) {
  Builder b = Make(1, 1);
  IJ_lSetPdlType(b.get(), 1, "1.8.2");
  IJ_lSetJobType(b.get(), IJ_JOB_FORMREGISTRATION);
  ASSERT_TRUE(IJ_lAppendPage(b.get()));
  IJ_lSetPaperSize(b.get(), "A4");
  DWORD flags = 0;
  std::string c = Comment(b.get(), &flags, 1025);
  EXPECT_EQ(c, P + "VERSION=1.1.0\n" + P + "BEGIN\n" + P + "PDLTYPE=PDL[VOLEX]:VERSION[1.8.2]\n" + P +
                   "JOBTYPE=FORMREGISTRATION\n" + P + "PHYSICALPAGES=1\n" + P + "PAGEINFOBEGIN\n" + P +
                   "PAGEINFO=SIZE[A4]\n" + P + "PAGEINFOEND\n" + P + "END\n");
  EXPECT_EQ(flags, 0u);
}

TEST(JobInfoTest, OutputResumesAcrossCallsWithWholeLinesOnly) {
  Builder b = Make();
  IJ_lSetPdlType(b.get(), IJ_PDL_PCLXL, "2.1");
  IJ_lSetJobType(b.get(), IJ_JOB_PRINT);
  for (int i = 0; i < 7; ++i) Page(b.get(), "A4", IJ_PAGE_MONOCHROME, i);
  std::string whole = Comment(b.get());
  std::string pieces;
  char buf[100];
  DWORD more = 1;
  int calls = 0;
  while (more) {
    LONG n = IJ_lGetComment(b.get(), buf, sizeof buf, &more, nullptr);
    ASSERT_GT(n, 0);
    ASSERT_EQ(buf[n - 1], '\n') << "only whole lines";
    pieces.append(buf, static_cast<size_t>(n));
    ASSERT_LT(++calls, 100);
  }
  EXPECT_EQ(pieces, whole);
  EXPECT_GT(calls, 10);
}

TEST(JobInfoTest, ALineLongerThanTheBufferIsAnErrorNotMoreForEver) {
  Builder b = Make();
  IJ_lSetPdlType(b.get(), IJ_PDL_PCLXL, std::string(64, 'v').c_str());
  char buf[64];
  DWORD more = 7;
  // The first line fits, the PDL line (24 + 91 bytes) never does.
  LONG n = IJ_lGetComment(b.get(), buf, sizeof buf, &more, nullptr);
  EXPECT_EQ(n, static_cast<LONG>(P.size() + 14));
  EXPECT_EQ(more, 1u);
  n = IJ_lGetComment(b.get(), buf, sizeof buf, &more, nullptr);
  EXPECT_EQ(n, static_cast<LONG>(P.size() + 6));  // BEGIN
  n = IJ_lGetComment(b.get(), buf, sizeof buf, &more, nullptr);
  EXPECT_EQ(n, IJ_ERR_LINE_TOO_LONG);
  EXPECT_EQ(more, 0u);
  // A large enough buffer goes on from that line.
  std::string rest = Comment(b.get());
  EXPECT_EQ(rest.rfind(P + "PDLTYPE=PDL[PCLXL]:VERSION[" + std::string(64, 'v') + "]\n", 0), 0u);
}

TEST(JobInfoTest, PagesAcrossTheBlockBoundary) {
  for (DWORD pages : {1600u, 1601u}) {
    SCOPED_TRACE(pages);
    Builder b = Make(100, 500);
    IJ_lSetPdlType(b.get(), IJ_PDL_PCLXL, "2.1");
    IJ_lSetJobType(b.get(), IJ_JOB_PRINT);
    for (DWORD i = 1; i <= pages; ++i) {
      ASSERT_TRUE(IJ_lAppendPage(b.get()));
      ASSERT_EQ(IJ_lGetIndex(b.get()), i);
      IJ_lSetPaperSize(b.get(), "A4");
      IJ_lSetPosition(b.get(), i);
    }
    EXPECT_EQ(IJ_aNum(b->pages), pages);
    EXPECT_EQ(b->pages->perBlock, 1600u);
    EXPECT_EQ(b->pages->blocks, pages > 1600 ? 2u : 1u);
    std::string c = Comment(b.get());
    size_t count = 0;
    for (size_t at = c.find("PAGEINFO=SIZE"); at != std::string::npos; at = c.find("PAGEINFO=SIZE", at + 1)) ++count;
    EXPECT_EQ(count, pages);
    std::string last = "PAGEINFO=SIZE[A4]:POS[" + std::to_string(pages) + "]\n";
    EXPECT_NE(c.find(P + last), std::string::npos);
    ASSERT_EQ(IJ_aLocate(b->pages, pages), pages);
    EXPECT_EQ(static_cast<IJ_PAGE*>(IJ_aAddr(b->pages))->position, pages);
    EXPECT_EQ(IJ_aLocate(b->pages, pages + 1), 0u);
  }
}

TEST(JobInfoTest, ArrayGrowthFillsTheLastBlockThenAddsBlocks) {
  IJ_ARRAY* a = IJ_aInit(3, 40, 2000);
  ASSERT_NE(a, nullptr);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(IJ_aAppend(a));
  EXPECT_EQ(a->capacity, 3u);
  ASSERT_TRUE(IJ_aAppend(a));  // 3 + 2000: the block grows to 1600, one block of 403 more
  EXPECT_EQ(a->capacity, 2003u);
  EXPECT_EQ(a->blocks, 2u);
  EXPECT_EQ(a->rows[0].capacity, 1600u);
  EXPECT_EQ(a->rows[1].capacity, 403u);
  EXPECT_EQ(IJ_aNum(a), 4u);
  IJ_aEnd(a);
  IJ_ARRAY* none = IJ_aInit(0, 40, 0);
  ASSERT_NE(none, nullptr);
  EXPECT_FALSE(IJ_aAppend(none)) << "no capacity and no growth step";
  EXPECT_EQ(IJ_aAddr(none), nullptr);
  IJ_aEnd(none);
}

}  // namespace
