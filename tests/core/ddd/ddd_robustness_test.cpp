// Damaged files: every shorter length of a file pair, and records whose
// stored lengths and references point outside the file. Nothing may read
// past the image (the sanitizer build checks that); every failure is 1 or 2.
#include "../../../core/ddd/ddd_internal.h"
#include "../../../fuzz/ddd_reader/ddd_walk.h"
#include "ddd_test_util.h"

namespace kestrel::test::ddd {
namespace {

using kestrel::ddd_walk::Walk;
using kestrel::ddd_walk::WalkResult;

void ExpectOnlyReaderFailures(const WalkResult& w) {
  for (WORD r : w.results) ASSERT_TRUE(r == DDD_OK || r == DDD_ERR_ARG || r == DDD_ERR_NOTFOUND) << r;
}

class DddTruncationTest : public DddTest, public ::testing::WithParamInterface<bool> {};

// For every shorter length of one file of the pair, the pair either fails to
// open or the walk over it fails somewhere, with 1 or 2.
TEST_P(DddTruncationTest, EveryShorterLengthFails) {
  const bool truncateMain = GetParam();
  ModelBytes m = BuildModel(4096);
  ASSERT_EQ(OpenPair(m.main, m.ref), DDD_OK);
  const WalkResult good = Walk(&main_, &ref_);
  ExpectOnlyReaderFailures(good);
  ASSERT_EQ(ddd_CloseFile(&main_, &ref_), DDD_OK);

  const std::string& whole = truncateMain ? m.main : m.ref;
  size_t blocks = KpGlobalBlockCount();
  for (size_t length = 0; length < whole.size(); ++length) {
    SCOPED_TRACE("length " + std::to_string(length));
    std::string cut = whole.substr(0, length);
    if (!truncateMain) Put("modelref.DDD", cut);
    WORD r = truncateMain ? OpenPair(cut, m.ref) : OpenPair(m.main, "");
    if (length < DDD_HEADER_SIZE) {
      ASSERT_EQ(r, DDD_ERR_ARG);
    }
    if (r != DDD_OK) {
      ASSERT_EQ(r, DDD_ERR_ARG);
      continue;
    }
    WalkResult w = Walk(&main_, &ref_);
    ExpectOnlyReaderFailures(w);
    ASSERT_NE(w, good);
    ASSERT_EQ(ddd_CloseFile(&main_, &ref_), DDD_OK);
    ASSERT_EQ(KpGlobalBlockCount(), blocks);
  }
}

INSTANTIATE_TEST_SUITE_P(MainAndReferenced, DddTruncationTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Main" : "Referenced"; });

// Records whose stored lengths or references reach outside the file.
TEST_F(DddTest, RecordsReachingOutsideTheFileAreRefused) {
  struct Case {
    const char* what;
    int category;
    std::string record;
  };
  const Case cases[] = {
      {"option name longer than the file", 4, Rec(8, U16(5000) + "abc")},
      {"option item list longer than the file", 4, Rec(8, Str("x") + U8(0) + U16(1) + U16(0) + U32(5000) + U16(1))},
      {"item value size past the end", 14, Rec(1, Str("x") + U16(0) + U16(0) + U16(0) + IdList({}) + IdList({}) +
                                                      Val(3, 9000, "ab"))},
      {"string value past the end", 14, Rec(1, Str("x") + U16(0) + U16(0) + U16(0) + IdList({}) + IdList({}) +
                                                  Val(6, 9000, "ab"))},
      {"font name list lengths past the end", 11, Rec(1, Str("a") + Str("b") + U16(3) + U16(2) + U16(9999))},
      {"font metrics past the end", 11, Rec(1, Str("a") + Str("b") + U16(0) + U16(0) + U16(0) + U32(100000))},
      {"font extra values announced but missing", 11,
       Rec(1, Str("a") + Str("b") + U16(0) + U16(0) + U16(0) + U32(0) + U16(0) + U16(60000))},
      {"favourite entries announced but missing", 21, Rec(1, Str("f") + U32(0) + U16(60000) + U16(8))},
      {"icon bytes past the end", 18, Rec(1, U16(500) + "abc")},
      {"NRV data past the end", 16, Rec(1, List(0, "") + U8(0) + U8(0) + U16(300) + "x")},
      {"record start cut short", 17, U32(10) + U8(1)},
      {"constraint conditions whose list length disagrees", 7,
       Rec(1, Item(8, 1, 1, Val(3, 2, U16(1))) + U16(0) + Str("m") + U32(3) + U16(1) + Item(8, 1, 1, Val(0, 0, "")) +
                  U8(0) + List(0, ""))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FileBuilder f;
    f.Add(c.category, c.category == 4 ? 8 : 1, c.record);
    ASSERT_EQ(OpenPair(f.Build(), ""), DDD_OK);
    for (WORD depth : {WORD(DDD_QUICK), WORD(DDD_FULL)}) {
      Held rec;
      WORD r = ddd_GetDataByIndexX(depth, &main_, &ref_, static_cast<WORD>(c.category), 1, rec.out());
      if (depth == DDD_QUICK && c.category == 11 && r == DDD_OK) continue;  // quick font reads skip the metrics
      EXPECT_EQ(r, DDD_ERR_ARG) << "depth " << depth;
      EXPECT_FALSE(rec);
    }
    ExpectOnlyReaderFailures(Walk(&main_, &ref_));
    ddd_CloseFile(&main_, &ref_);
  }
}

TEST_F(DddTest, TablesPointingOutsideTheFileAreRefused) {
  ModelBytes m = BuildModel(1280);
  struct Case {
    const char* what;
    size_t at;  // offset within the file, from the category table
    std::string bytes;
    bool sizeLookupFails;
  };
  std::string main = m.main;
  DWORD catTable = 228 + kp_LoadU32(reinterpret_cast<const BYTE*>(&main[224]));
  DWORD sizeTable = kp_LoadU32(reinterpret_cast<const BYTE*>(&main[catTable + 6 + 4 * 7 + 3]));
  const Case cases[] = {
      {"category table offset past the end", 224, U32(0xFFFFFF00u), true},
      {"data-offset table past the end", catTable + 6 + 4 * 7 + 3, U32(0x7FFFFFFFu), true},
      {"data-offset table count beyond its entries", sizeTable + 4, U16(60000), false},
      {"record offset past the end", sizeTable + 6 + 3, U32(0xFFFFFFF0u), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = main;
    bytes.replace(c.at, c.bytes.size(), c.bytes);
    ASSERT_EQ(OpenPair(bytes, m.ref), DDD_OK);
    WalkResult w = Walk(&main_, &ref_);
    ExpectOnlyReaderFailures(w);
    Held size;
    EXPECT_EQ(ddd_GetDataByIDX(DDD_QUICK, &main_, &ref_, DDD_CAT_SIZE, 1, 0, size.out()),
              c.sizeLookupFails ? DDD_ERR_ARG : DDD_OK);
    ddd_CloseFile(&main_, &ref_);
  }
}


// Every allocation of an open and a walk may fail: the failing call answers 4
// (or a read failure where the caller decodes the bytes directly), and
// nothing is lost or left allocated.
TEST_F(DddTest, AllocationFailuresLeaveNothingBehind) {
  ModelBytes m = BuildModel(4096);
  Put("modelref.DDD", m.ref);
  std::u16string path = Put("model.DDD", m.main);
  size_t blocks = KpGlobalBlockCount();
  bool sawMemoryFailure = false;
  for (DWORD nth = 1; nth < 4000; nth += nth < 400 ? 1 : 13) {
    SCOPED_TRACE("allocation " + std::to_string(nth));
    KpFailAllocation(nth);
    WORD r = ddd_OpenFile(path.c_str(), 0, &main_, &ref_);
    if (r == DDD_OK) {
      WalkResult w = Walk(&main_, &ref_);
      for (WORD x : w.results) {
        ASSERT_TRUE(x == DDD_OK || x == DDD_ERR_ARG || x == DDD_ERR_NOTFOUND || x == DDD_ERR_MEMORY) << x;
        sawMemoryFailure |= x == DDD_ERR_MEMORY;
      }
      ASSERT_EQ(ddd_CloseFile(&main_, &ref_), DDD_OK);
    } else {
      ASSERT_EQ(r, DDD_ERR_MEMORY);
      sawMemoryFailure = true;
      EXPECT_FALSE(main_.open);
      EXPECT_FALSE(ref_.open);
    }
    KpFailAllocation(0);
    ASSERT_EQ(KpGlobalBlockCount(), blocks);
  }
  EXPECT_TRUE(sawMemoryFailure);
}

}  // namespace
}  // namespace kestrel::test::ddd
