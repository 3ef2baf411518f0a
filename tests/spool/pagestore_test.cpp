// The page store: pages fed as streams made with the renderer's writers,
// stored in the temporary file (compared byte for byte with hand-built
// blocks), replayed with their matrices, masks and colour modes; the
// refusals; the file's life; the few-colour summary.
#include <cstring>
#include <functional>

#include "kplatform/byte_order.h"
#include "spool_fixture.h"

namespace kestrel::test {
namespace {

int32_t PutToString(void* sink, DWORD n, const void* bytes) {
  static_cast<std::string*>(sink)->append(static_cast<const char*>(bytes), n);
  return static_cast<int32_t>(n);
}

// A string with an XlContext writing into it.
struct Writer {
  std::string out;
  XlContext xl{};
  Writer() { xl_initcontext(&xl, PutToString, &out); }
};

std::string U16(uint16_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string I32(int32_t v) {
  std::string s(4, '\0');
  std::memcpy(s.data(), &v, 4);
  return s;
}
std::string F32(float f) {
  std::string s(4, '\0');
  std::memcpy(s.data(), &f, 4);
  return s;
}
std::string Matrix(const float (&m)[6]) {
  std::string s;
  for (float f : m) s += F32(f);
  return s;
}
std::string Block(int16_t id, const std::string& params, int32_t distance) {
  return U16(static_cast<uint16_t>(id)) + U16(static_cast<uint16_t>(params.size())) + I32(distance) + params;
}

constexpr float kS[6] = {2, 0, 0, 3, 10, 20};
constexpr float kM1[6] = {0, 1, -1, 0, 100, 200};
constexpr float kSM1[6] = {0, 2, -3, 0, 80, 210};  // S first, then M1
constexpr float kM2[6] = {1, 0, 0, 1, -5, 7};
constexpr float kSM2[6] = {2, 0, 0, 3, 5, 27};

// The drawing of page n (a path and a rectangle whose corner names the page).
std::string Drawing(int n) {
  Writer w;
  EXPECT_EQ(xl_newpath(&w.xl), 0);
  EXPECT_EQ(xl_rectangle(&w.xl, RECT{10 * n, 10, 100, 100}), 0);
  EXPECT_EQ(xl_paintpath(&w.xl), 0);
  return w.out;
}

// The page start as the spooler side writes it.
std::string PageStart(BYTE colorArg, BYTE source, BYTE size) {
  Writer w;
  if ((colorArg & 0x0F) == 1) xl_colorcomment(&w.xl, 1);
  if ((colorArg & 0x0F) == 2) xl_colorcomment(&w.xl, 3);
  XlBeginPage page{};
  page.orientation = 0;
  page.mediaSource = source;
  page.mediaSize = size;
  page.customUnits = 1;
  page.destination = XL_LEAVE_OUT;
  page.simplexMode = XL_LEAVE_OUT;
  page.duplexMode = XL_LEAVE_OUT;
  page.duplexSide = XL_LEAVE_OUT;
  EXPECT_EQ(xl_beginpage(&w.xl, &page), 0);
  return w.out;
}
std::string Op(BYTE op) { return std::string(1, static_cast<char>(op)); }
std::string SetCoordinate(const float (&m)[6]) {
  Writer w;
  EXPECT_EQ(xl_setcoordinate(&w.xl, m), 0);
  return w.out;
}

// The layout and page-control records the tests send (patterns, so the
// stored copies show where they came from).
std::string LayoutPattern() {
  std::string s(XL_IC_LAYOUTINFO_SIZE, '\0');
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>(i + 1);
  return s;
}
std::string PageCtrlPattern() {
  std::string s(XL_IC_PAGECTRL_SIZE, '\0');
  for (size_t i = 124; i < 140; ++i) s[i] = static_cast<char>(0xA0 + i - 124);
  return s;
}

// A stream of in-band writers; `pages` draws what each caller wants.
class StreamBuilder {
 public:
  StreamBuilder() { xl_initcontext(&xl_, PutToString, &s_); }
  StreamBuilder& Records(int32_t captureExtension = 0) {
    BYTE ji[XL_IC_JOBINFO_SIZE] = {};
    kp_StoreU32(ji + 1344, static_cast<uint32_t>(captureExtension));
    BYTE li[XL_IC_LAYOUTINFO_SIZE];
    std::memcpy(li, LayoutPattern().data(), sizeof(li));
    BYTE pc[XL_IC_PAGECTRL_SIZE];
    std::memcpy(pc, PageCtrlPattern().data(), sizeof(pc));
    EXPECT_EQ(xl_ic_setjobinfo(&xl_, ji), 0);
    EXPECT_EQ(xl_ic_setlayoutinfo(&xl_, li), 0);
    EXPECT_EQ(xl_ic_setpagectrl(&xl_, pc), 0);
    return *this;
  }
  StreamBuilder& Init(WORD first, WORD growth) {
    EXPECT_EQ(xl_ic_pageStoring_init(&xl_, first, growth), 0);
    return *this;
  }
  // One stored page: 133, start page, matrix S, drawing, show, end, 134.
  StreamBuilder& Page(WORD page, int32_t colorMode, int32_t mask) {
    XlIcPageStoringStart start{colorMode, mask, 0, 0, page, 0};
    EXPECT_EQ(xl_ic_pageStoring_start(&xl_, &start), 0);
    EXPECT_EQ(xl_ic_startpage(&xl_, 0, 0, static_cast<BYTE>(colorMode), 1, 2), 0);
    EXPECT_EQ(xl_ic_setcoordinate(&xl_, kS), 0);
    s_ += Drawing(page);
    EXPECT_EQ(xl_ic_showpage(&xl_), 0);
    EXPECT_EQ(xl_ic_endpage(&xl_), 0);
    EXPECT_EQ(xl_ic_pageStoring_stop(&xl_, page), 0);
    return *this;
  }
  StreamBuilder& Replay(WORD page, int32_t mask, const float (&m)[6], WORD other = 0xFFFF, WORD source = 0xFFFF) {
    XlIcStoredPage stored{m, nullptr, mask, page, other, 0, source};
    EXPECT_EQ(xl_ic_output_aStoredPage_withOtherPageColor(&xl_, &stored), 0);
    return *this;
  }
  StreamBuilder& Dispose() {
    EXPECT_EQ(xl_ic_pageStoring_dispose(&xl_), 0);
    return *this;
  }
  StreamBuilder& Raw(const std::string& bytes) {
    s_ += bytes;
    return *this;
  }
  const std::string& bytes() const { return s_; }

 private:
  std::string s_;
  XlContext xl_{};
};

bool Exists(const WCHAR* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

bool HasRecord(const std::u16string& path) {
  WCHAR key[2 * MAX_PATH];
  if (!TFReg_KeyOf(path.c_str(), key, 2 * MAX_PATH)) return false;
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

// The whole page-store file as the record reads it (the position is put
// back at the end for the writes that follow).
std::string StoreFile(jobData* record) {
  tempFile* f = &record->pageFile;
  const int32_t size = tempFile_getWritten(f);
  if (size < 0 || tempFile_seekSet(f, 0) != 0) return "<unreadable>";
  std::string s(static_cast<size_t>(size), '\0');
  if (size > 0 && tempFile_read(f, s.data(), static_cast<uint32_t>(size)) != size) return "<short>";
  tempFile_seekLast(f);
  return s;
}

// The records below the current root's "TempFile" key.
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

class SpoolPageStore : public SpoolTest {
 protected:
  void SetUp() override {
    SpoolTest::SetUp();
    TFReg_SetRegRoot(u"Software\\Halcyra\\Zan NRV Printer Driver\\");
  }
  // Runs the stream with the output left open; the output's bytes so far
  // (flushed) go to `check`.
  void Run(const std::string& stream, const std::function<void(UmpdJobContext*, const std::string&)>& check) {
    Printer().Reset();
    OfflineJob job(stream, queue_.printer);
    ParseGroupedStream(job.ctx());
    _jobData_spool_flush(job.ctx()->jobDataRecord);
    check(job.ctx(), Printer().bytes);
  }
};

TEST_F(SpoolPageStore, PosterPageStoredAsBlocksAndReplayedWithTwoMatrices) {
  const std::string stored = StreamBuilder().Records().Init(1, 4).Page(1, 2, 38).bytes();
  Run(stored, [&](UmpdJobContext* ctx, const std::string& out) {
    ASSERT_EQ(ctx->ok.load(), 1u);
    EXPECT_EQ(out, "") << "a stored page writes nothing to the printer";
    EXPECT_EQ(ctx->pageCtrl.pageStore & PAGESTORE_STATE_BITS, PAGESTORE_INIT);
    jobData* record = ctx->jobDataRecord;
    EXPECT_EQ(record->storedPageCount, 1);
    // Block 0 (52 bytes of parameters), the PushGS of the stored page, block
    // 3 with the matrix, the drawing, the show page written directly (mask
    // 38 does not capture it) after the PopGS that balances the page start's
    // PushGS, no end page.
    const std::string layout = LayoutPattern(), pc = PageCtrlPattern();
    const std::string start = Bytes({2, 1, 2, 0}) + F32(0) + F32(0) + layout.substr(36, 32) + pc.substr(130, 2) +
                              Bytes({0, 0}) + pc.substr(132, 4);
    ASSERT_EQ(start.size(), 52u);
    const std::string expected = Block(0, start, 61) + Op(XL_OP_PUSHGS) + Block(3, Matrix(kS), 0) + Drawing(1) +
                                 Op(XL_OP_POPGS) + Op(XL_OP_ENDPAGE);
    EXPECT_EQ(StoreFile(record), expected);
    PAGESTORE_POSITION position{};
    ASSERT_EQ(variableArray_getItem(&record->pagePosition, 0, &position), 0);
    EXPECT_EQ(position.streamStart, 0);
    EXPECT_EQ(position.streamEnd, static_cast<int32_t>(expected.size()));
    EXPECT_EQ(position.firstBlock, 0);
  });
  // Two parts of the poster: page start with the override (4, then the
  // stored source 1), S then M, EndPage from the stream.
  const std::string replayed = StreamBuilder().Raw(stored).Replay(1, 9, kM1, 0xFFFF, 4).Replay(1, 9, kM2).bytes();
  Run(replayed, [&](UmpdJobContext* ctx, const std::string& out) {
    ASSERT_EQ(ctx->ok.load(), 1u);
    const std::string tail = Drawing(1) + Op(XL_OP_POPGS) + Op(XL_OP_ENDPAGE);
    const std::string part1 = PageStart(2, 4, 2) + Op(XL_OP_PUSHGS) + SetCoordinate(kSM1) + tail;
    const std::string part2 = PageStart(2, 1, 2) + Op(XL_OP_PUSHGS) + SetCoordinate(kSM2) + tail;
    EXPECT_EQ(out, part1 + part2);
    EXPECT_EQ(ctx->pagesOut, 2u);
    // The stored layout words and page-control values are back in force.
    EXPECT_EQ(std::memcmp(reinterpret_cast<BYTE*>(&ctx->layoutInfo) + 36, LayoutPattern().data() + 36, 32), 0);
  });
}

TEST_F(SpoolPageStore, BookletOfThreePagesReplayedWithMasksFifteenNineAndFourteen) {
  const std::string stream = StreamBuilder()
                                 .Records()
                                 .Init(1, 80)
                                 .Page(1, 1, 62)
                                 .Page(2, 1, 62)
                                 .Page(3, 1, 62)
                                 .Replay(3, 15, kM1)
                                 .Replay(1, 9, kM2)
                                 .Replay(2, 14, kM1)
                                 .Replay(2, 0, kM1)
                                 .bytes();
  Run(stream, [&](UmpdJobContext* ctx, const std::string& out) {
    ASSERT_EQ(ctx->ok.load(), 1u);
    EXPECT_EQ(ctx->jobDataRecord->storedPageCount, 3);
    EXPECT_EQ(variableArray_getArrayNum(&ctx->jobDataRecord->pageInfo), 80);
    const std::string push = Op(XL_OP_PUSHGS), pop = Op(XL_OP_POPGS), end = Op(XL_OP_ENDPAGE);
    const std::string expected = PageStart(1, 1, 2) + push + SetCoordinate(kSM1) + Drawing(3) + pop + end +  // 15
                                 PageStart(1, 1, 2) + push + SetCoordinate(kSM2) + Drawing(1) + pop +        // 9
                                 push + SetCoordinate(kSM1) + Drawing(2) + pop + end +                       // 14
                                 push + Drawing(2) + pop;                                                    // 0
    EXPECT_EQ(out, expected);
  });
}

TEST_F(SpoolPageStore, APageWithoutBlocksReplaysItsStreamOnly) {
  // Mask 2 captures nothing: the page start and end go into the stream.
  const std::string stream = StreamBuilder().Records().Init(7, 2).Page(7, 1, 2).Replay(7, 15, kM1).bytes();
  Run(stream, [&](UmpdJobContext* ctx, const std::string& out) {
    ASSERT_EQ(ctx->ok.load(), 1u);
    PAGESTORE_POSITION position{};
    ASSERT_EQ(variableArray_getItem(&ctx->jobDataRecord->pagePosition, 0, &position), 0);
    EXPECT_EQ(position.firstBlock, -1);
    EXPECT_EQ(out, PageStart(1, 1, 2) + SetCoordinate(kS) + Drawing(7) + Op(XL_OP_ENDPAGE));
  });
}

TEST_F(SpoolPageStore, CaptureExtensionWidensTheMask) {
  Run(StreamBuilder().Records(1).Init(1, 1).bytes() + [] {
        StreamBuilder b;
        XlIcPageStoringStart start{1, 0x08, 0, 0, 1, 0};
        std::string s;
        XlContext xl{};
        xl_initcontext(&xl, PutToString, &s);
        xl_ic_pageStoring_start(&xl, &start);
        return s;
      }(),
      [](UmpdJobContext* ctx, const std::string&) {
        // Show page (0x08) asked; 0x36 added: everything captured.
        EXPECT_EQ(ctx->pageCtrl.pageStore & PAGESTORE_STATE_BITS, 0x803Fu);
      });
}

// The colour of a replay: the page's own, the other page's, or merged.
TEST_F(SpoolPageStore, MergedColourModeOfTwoSides) {
  Printer().Reset();
  OfflineJob job("", queue_.printer);
  UmpdJobContext* ctx = job.ctx();
  ASSERT_EQ(jobOutput_pageStoring_init(ctx, 1, 2), 0);
  // Page 1 mono with red counted; page 2 colour with green and blue.
  auto store = [&](WORD page, int32_t mode, std::initializer_list<uint32_t> colors, bool counting) {
    ASSERT_EQ(jobOutput_pageStoring_start(ctx, page, mode, 0x04, counting ? 1 : 0, 5, FEWCOLOR_MODE_NO_WHITE), 0);
    FEWCOLORINFO s{};
    pageCtrl_getFewColor(ctx, &s);
    for (uint32_t c : colors) fewColor_countColorsOnPixel(&s, c);
    pageCtrl_setFewColor(ctx, &s);
    ASSERT_EQ(jobOutput_pageStoring_stop(ctx, page), 0);
  };
  store(1, 1, {0xFF0000}, true);
  store(2, 2, {0x00FF00, 0x0000FF, 0xFF0000}, true);
  struct Case {
    WORD page;
    int16_t other;
    int32_t colorFlag;
    BYTE argument;
    int32_t mode;
    WORD found;
  } cases[] = {
      {1, -1, 0, 1, 1, 1},                 // its own: mono
      {2, -1, 0, 3 * 16 + 2, 2, 3},        // its own: colour, three colours counted
      {1, 2, 0, 3 * 16 + 2, 2, 3},         // merged: red, green, blue
      {0x8001, -1, 0, 1, 1, 0},            // bit 15 without other page: mono
      {0x8001, 2, 0, 3 * 16 + 2, 2, 3},    // bit 15: the other page's
      {1, 2, 1, 3, 2, 3},                  // the colour flag: 3
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.page << " with " << c.other);
    BYTE arg = 0;
    ASSERT_EQ(_get_margedColorModeArg(ctx, c.page, c.other, c.colorFlag, &arg), 0);
    EXPECT_EQ(arg, c.argument);
    EXPECT_EQ(ctx->pageCtrl.pageColorMode, c.mode);
    EXPECT_EQ(kp_LoadU16(reinterpret_cast<BYTE*>(&ctx->pageCtrl) + 128), c.found);
  }
  // Counting off: the plain colour argument 2.
  store(3, 2, {}, false);
  BYTE arg = 0;
  ASSERT_EQ(_get_margedColorModeArg(ctx, 3, 1, 0, &arg), 0);
  EXPECT_EQ(arg, 2);
  BYTE unused = 0;
  EXPECT_EQ(_get_margedColorModeArg(ctx, 9, -1, 0, &unused), -1) << "not stored";
}

TEST_F(SpoolPageStore, RefusalsLeaveTheFlagsAsTheyWere) {
  Printer().Reset();
  OfflineJob job("", queue_.printer);
  UmpdJobContext* ctx = job.ctx();
  const float m[6] = {1, 0, 0, 1, 0, 0};
  using Step = std::function<int(UmpdJobContext*)>;
  struct Case {
    const char* what;
    uint32_t flagsBefore;  // reached with the steps below
    Step call;
    int result;
  };
  auto init = [](UmpdJobContext* c) { return jobOutput_pageStoring_init(c, 1, 2); };
  auto start = [](WORD page, int32_t mask) {
    return [=](UmpdJobContext* c) { return jobOutput_pageStoring_start(c, page, 1, mask, 0, 0, 0); };
  };
  const Case cases[] = {
      {"132 with step 0", 0, [](UmpdJobContext* c) { return jobOutput_pageStoring_init(c, 1, 0); }, -1},
      {"134 without a page", 0, [](UmpdJobContext* c) { return jobOutput_pageStoring_stop(c, 1); }, 0},
      {"135 without a store", 0, [](UmpdJobContext* c) { return jobOutput_pageStoring_dispose(c); }, 0},
      {"136 without a store", 0, [&](UmpdJobContext* c) { return jobOutput_output_aStoredPage_withOtherPageColor(c, 1, 15, m, -1, 0, -1); }, 0},
      {"133 without a store", 0, start(1, 4), -1},
      {"132 twice", 0x8000, init, -1},
      {"133 with mask 0", 0x8000, start(1, 0), -1},
      {"133 with mask 0x01", 0x8000, start(1, 0x05), -1},
      {"133 with mask 0x40", 0x8000, start(1, 0x44), -1},
      {"133 out of sequence", 0x8000, start(2, 4), -1},
      {"136 of a page not stored", 0x8000, [&](UmpdJobContext* c) { return jobOutput_output_aStoredPage_withOtherPageColor(c, 1, 15, m, -1, 0, -1); }, -1},
      {"136 paired with itself", 0x8000, [&](UmpdJobContext* c) { return jobOutput_output_aStoredPage_withOtherPageColor(c, 1, 15, m, 1, 0, -1); }, -1},
      {"136 while storing", 0x8005, [&](UmpdJobContext* c) { return jobOutput_output_aStoredPage_withOtherPageColor(c, 1, 15, m, -1, 0, -1); }, -1},
      {"135 while storing", 0x8005, [](UmpdJobContext* c) { return jobOutput_pageStoring_dispose(c); }, -1},
      {"133 while storing", 0x8005, start(2, 4), -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // Reach the state from scratch.
    jobOutput_pageStoring_stop(ctx, 1);
    jobOutput_pageStoring_dispose(ctx);
    ASSERT_EQ(ctx->pageCtrl.pageStore & PAGESTORE_STATE_BITS, 0u);
    if (c.flagsBefore & PAGESTORE_INIT) {
      ASSERT_EQ(init(ctx), 0);
    }
    if (c.flagsBefore & PAGESTORE_STORING) {
      ASSERT_EQ(start(1, 4)(ctx), 0);
    }
    ASSERT_EQ(ctx->pageCtrl.pageStore & PAGESTORE_STATE_BITS, c.flagsBefore);
    EXPECT_EQ(c.call(ctx), c.result);
    EXPECT_EQ(ctx->pageCtrl.pageStore & PAGESTORE_STATE_BITS, c.flagsBefore);
  }
  jobOutput_pageStoring_stop(ctx, 1);
  jobOutput_pageStoring_dispose(ctx);
}

// A page file whose blocks are damaged ends the replay with -1; what was
// already written stays written.
TEST_F(SpoolPageStore, DamagedBlocksEndTheReplay) {
  struct Case {
    const char* what;
    size_t at;        // offset in the file of the page
    std::string bytes;
    size_t written;   // bytes of output before the failure
  } cases[] = {
      {"block id 4", 0, U16(4), 0},
      {"start page of 51 bytes", 2, U16(51), 0},
      {"set coordinate of 20 bytes", 61 + 2, U16(20), 0},
      {"distance into its own parameters", 4, I32(8), 0},
      {"distance past the page", 4, I32(100000), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Printer().Reset();
    OfflineJob job(StreamBuilder().Records().Init(1, 4).Page(1, 2, 38).bytes(), queue_.printer);
    UmpdJobContext* ctx = job.ctx();
    ParseGroupedStream(ctx);
    ASSERT_EQ(ctx->jobDataRecord->storedPageCount, 1);
    tempFile* f = &ctx->jobDataRecord->pageFile;
    ASSERT_EQ(tempFile_seekSet(f, static_cast<uint32_t>(c.at)), static_cast<int32_t>(c.at));
    ASSERT_EQ(tempFile_write(f, c.bytes.data(), static_cast<uint32_t>(c.bytes.size())),
              static_cast<int32_t>(c.bytes.size()));
    EXPECT_EQ(jobOutput_output_aStoredPage_withOtherPageColor(ctx, 1, 15, kM1, -1, 0, -1), -1);
    EXPECT_EQ(ctx->jobDataRecord->cursor.state, CMDBLOCK_IDLE) << "the cursor is free for the next replay";
  }
}

TEST_F(SpoolPageStore, TheFileAndItsRecordLiveFromInitToDispose) {
  std::u16string path;
  Run(StreamBuilder().Records().Init(1, 4).Page(1, 1, 62).bytes(), [&](UmpdJobContext* ctx, const std::string&) {
    path = ctx->jobDataRecord->pageFile.path;
    EXPECT_TRUE(Exists(path.c_str()));
    EXPECT_TRUE(HasRecord(path));
    EXPECT_EQ(jobOutput_pageStoring_dispose(ctx), 0);
    EXPECT_FALSE(Exists(path.c_str()));
    EXPECT_FALSE(HasRecord(path));
  });
  // The job ends while a page is being stored: closed without 135, or the
  // stream is rejected mid-page; the file and the record go all the same.
  const std::string midPage = [] {
    std::string s;
    XlContext xl{};
    xl_initcontext(&xl, PutToString, &s);
    XlIcPageStoringStart start{1, 0x3E, 0, 0, 1, 0};
    xl_ic_pageStoring_start(&xl, &start);
    xl_ic_startpage(&xl, 0, 0, 1, 1, 2);
    return s;
  }();
  for (const std::string& tail : {std::string(), Bytes({0x41, 0x42, 0x43})}) {  // nothing, or not a token
    Printer().Reset();
    std::u16string held;
    {
      OfflineJob job(StreamBuilder().Records().Init(1, 4).bytes() + midPage + tail, queue_.printer);
      job.Run();
      held = job.ctx()->jobDataRecord == nullptr ? u"" : job.ctx()->jobDataRecord->pageFile.path;
    }
    EXPECT_EQ(held, u"") << "the output is disabled at the parser's end";
  }
  EXPECT_EQ(RecordCount(), 0u) << "no record outlives its job";
}

TEST_F(SpoolPageStore, RecordsOfAnEarlierRunAreSweptAtTheNextJob) {
  const std::u16string left = u"C:\\Windows\\Temp\\ZAN99.tmp";
  HANDLE f = CreateFileW(left.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  CloseHandle(f);
  { OfflineJob first("", queue_.printer); }  // the job start sets the model's root (string 30)
  ASSERT_EQ(TFReg_Entry(left.c_str()), 0);
  TFReg_Release(left.c_str());  // a record of a run that was killed
  ASSERT_TRUE(HasRecord(left));
  OfflineJob job("", queue_.printer);  // its output opens: the sweep runs
  EXPECT_FALSE(Exists(left.c_str()));
  EXPECT_FALSE(HasRecord(left));
}

TEST(SpoolVariableArray, GrowthIsCheckedAndNeverWraps) {
  static const VariableArrayAllocator a{[](void*, size_t n) -> void* { return GlobalAlloc(GPTR, n); },
                                        [](void*, void* b) { GlobalFree(b); }, nullptr};
  variableArray v{};
  EXPECT_EQ(variableArray_create(&v, &a, 12, 0), -1) << "a growth step of 0";
  ASSERT_EQ(variableArray_create(&v, &a, 12, 40000), 0);
  const BYTE item[12] = {1, 2, 3};
  ASSERT_EQ(variableArray_setItem(&v, 39999, item), 0);
  EXPECT_EQ(variableArray_setItem(&v, 40000, item), -1);
  EXPECT_EQ(variableArray_expand(&v), -1) << "80000 elements do not fit 16 bits";
  EXPECT_EQ(variableArray_getArrayNum(&v), 40000);
  BYTE back[12] = {};
  ASSERT_EQ(variableArray_getItem(&v, 39999, back), 0);
  EXPECT_EQ(back[2], 3);
  EXPECT_EQ(variableArray_reserve(&v, 65535), -1);
  EXPECT_EQ(variableArray_setFillData(&v, 40000, 0), -1);
  variableArray_dispose(&v);
  EXPECT_EQ(variableArray_getArrayNum(&v), 0);
  EXPECT_EQ(variableArray_getBlockSize(nullptr), 0);
}

TEST(SpoolFewColor, CountingMergingAndTheArgument) {
  FEWCOLORINFO s{};
  EXPECT_EQ(fewColor_init(&s, 1, 16, 0), -1);
  ASSERT_EQ(fewColor_init(&s, 1, 3, FEWCOLOR_MODE_NO_WHITE), 0);
  for (uint32_t c : {0xFF0000u, 0x00FF00u, 0x0000FFu, 0xFFFFFFu, 0xFF0000u}) fewColor_countColorsOnPixel(&s, c);
  EXPECT_EQ(s.count, 3);
  EXPECT_EQ(s.enabled, 1u);
  fewColor_countColorsOnPixel(&s, 0x123456);
  EXPECT_EQ(s.enabled, 0u) << "a fourth colour passes the limit";
  BYTE arg = 0;
  fewColor_addColorCountBits(&s, 2, &arg);
  EXPECT_EQ(arg, 2) << "disabled: the argument as it is";
  // Mode 2: greys are black, white is not counted.
  ASSERT_EQ(fewColor_init(&s, 1, 5, FEWCOLOR_MODE_GREY_BLACK), 0);
  for (uint32_t c : {0x404040u, 0x808080u, 0xFFFFFFu}) fewColor_countColorsOnPixel(&s, c);
  EXPECT_EQ(s.count, 1);
  EXPECT_EQ(s.colors[0], 0u);
  fewColor_addColorCountBits(&s, 2, &arg);
  EXPECT_EQ(arg, 1 * 16 + 2);
  fewColor_addColorCountBits(&s, 1, &arg);
  EXPECT_EQ(arg, 1);
  // Merging counts the second list into the first; one past its limit
  // leaves the merge past it too.
  FEWCOLORINFO t{};
  fewColor_init(&t, 1, 5, FEWCOLOR_MODE_ALL);
  fewColor_countColorsOnPixel(&t, 0x00FF00);
  fewColor_countColorsOnPixel(&t, 0);
  ASSERT_EQ(fewColor_margeInfo(&s, &t), 0);
  EXPECT_EQ(s.count, 2);
  FEWCOLORINFO full{};
  fewColor_init(&full, 1, 0, FEWCOLOR_MODE_ALL);
  fewColor_countColorsOnPixel(&full, 0x010203);
  ASSERT_EQ(full.enabled, 0u);
  ASSERT_EQ(fewColor_margeInfo(&s, &full), 0);
  EXPECT_EQ(s.enabled, 0u);
  FEWCOLORINFO bad{};
  fewColor_init(&bad, 1, 5, 7);
  EXPECT_EQ(fewColor_countColorsOnPixel(&bad, 0x010101), -1);
}

TEST(SpoolPageMatrix, SFirstThenM) {
  float out[6];
  _concat_nrvXform(kS, kM1, out);
  for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(out[i], kSM1[i]) << i;
  _concat_nrvXform(kS, kM2, out);
  for (int i = 0; i < 6; ++i) EXPECT_FLOAT_EQ(out[i], kSM2[i]) << i;
}

}  // namespace
}  // namespace kestrel::test
