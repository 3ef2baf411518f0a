// The private gate of kestrelkm: escapes 4209-4212 and 4216 through the
// engine runner (KpEngineEscape), the direct JPEG image in the decoded
// listing (every stream passes the checker), the marker walk over JPEGs
// made by libjpeg, the piece bookkeeping and the devmode overrides.
#include <gtest/gtest.h>
#include <kplatform/engine.h>

#include <cstring>
#include <string>
#include <vector>

#include "draw.h"
#include "draw_fixture.h"
#include "jpeg_maker.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/render/jobrec.h"
#include "kestrel/render/km_escape.h"
#include "kplatform/byte_order.h"
#include "kplatform/wingdi_consts.h"
#include "pesc.h"
#include "pesc_blocks.h"

namespace {

using namespace kestrel::test::km;
using Bytes = std::vector<BYTE>;

constexpr DWORD kVersion20 = 0x2000000;
constexpr DWORD kVersion21 = 0x2010000;
constexpr MIX kCopyPen = R2_COPYPEN | R2_COPYPEN << 8;

// ---- jpeg_GetParam ------------------------------------------------------------------

TEST(JpegGetParam, ReadsTheComponentCountOfLibjpegFiles) {
  struct Case {
    const char* name;
    JpegSpec picture;
  };
  JpegSpec grey;
  grey.components = 1;
  JpegSpec progressive;
  progressive.progressive = true;
  JpegSpec markers;
  markers.markers = {{0xE1, std::string(300, 'x')}, {0xFE, "a comment"}, {0xED, std::string(2, '\xFF')}};
  JpegSpec restarts;
  restarts.restartInterval = 1;
  restarts.height = 64;
  JpegSpec greyProgressive = progressive;
  greyProgressive.components = 1;
  const Case cases[] = {{"rgb", JpegSpec{}}, {"grey", grey},           {"progressive", progressive},
                        {"grey progressive", greyProgressive},     {"APPn and COM", markers},
                        {"restart markers", restarts}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> jpeg = MakeJpeg(c.picture);
    DWORD components = 99;
    EXPECT_EQ(jpeg_GetParam(jpeg.data(), &components, static_cast<DWORD>(jpeg.size())), 0);
    EXPECT_EQ(components, static_cast<DWORD>(c.picture.components));
  }
}

// Every cut of a real file: the answer is 0 exactly when the whole frame
// header is inside; nothing is read beyond the length (AddressSanitizer).
TEST(JpegGetParam, EveryCutOfAFileAnswersZeroOnlyWithTheWholeFrameHeader) {
  JpegSpec picture;
  picture.markers = {{0xFE, "cut me"}};
  const std::vector<uint8_t> jpeg = MakeJpeg(picture);
  const size_t frameEnd = FrameHeaderEnd(jpeg);
  ASSERT_GT(frameEnd, 20u);
  for (size_t n = 0; n <= frameEnd + 4; ++n) {
    std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + static_cast<ptrdiff_t>(n));
    DWORD components = 0;
    const LONG r = jpeg_GetParam(cut.data(), &components, static_cast<DWORD>(n));
    if (n >= frameEnd) {
      EXPECT_EQ(r, 0) << n;
      EXPECT_EQ(components, 3u);
    } else {
      EXPECT_NE(r, 0) << n;
    }
  }
}

TEST(JpegGetParam, BrokenData) {
  struct Case {
    const char* name;
    Bytes data;
    LONG result;
  };
  const Case cases[] = {
      {"empty", {}, PESC_JPEG_NO_FRAME},
      {"no marker at all", {1, 2, 3, 4}, -1},
      {"only stuffed bytes", {1, 0xFF, 0, 2}, -1},
      {"0xFF last", {0xFF, 0xD8, 0xFF}, -1},
      {"start and end, no frame", {0xFF, 0xD8, 0xFF, 0xD9}, PESC_JPEG_SOI | PESC_JPEG_EOI},
      {"a second start", {0xFF, 0xD8, 0xFF, 0xD8, 0xFF, 0xC0}, PESC_JPEG_SOI | PESC_JPEG_NO_FRAME},
      {"no frame", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 1, 2}, PESC_JPEG_SOI | PESC_JPEG_NO_FRAME},
      {"a segment past the end", {0xFF, 0xD8, 0xFF, 0xE0, 0x40, 0x00, 1, 2, 3}, PESC_JPEG_SOI | PESC_JPEG_NO_FRAME},
      {"a segment length below 2", {0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x01, 0xFF, 0xC0}, -1},
      {"short frame header", {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 8, 0, 16, 0, 16, 3}, -1},
      {"frame length too small", {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x07, 8, 0, 16, 0, 16, 3, 0}, -1},
      {"frame length field cut", {0xFF, 0xD8, 0xFF, 0xC2, 0x00}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DWORD components = 77;
    const BYTE none = 0;
    EXPECT_EQ(jpeg_GetParam(c.data.empty() ? &none : c.data.data(), &components, static_cast<DWORD>(c.data.size())),
              c.result);
    EXPECT_EQ(components, 77u);
  }
  // Fill bytes before a marker and a frame after restart markers and a
  // stuffed byte are found.
  const Bytes filled = {0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xD0, 0x12, 0xFF, 0x00, 0xFF, 0xC1,
                        0x00, 0x08, 8,    0,    1,    0,    1,    1};
  DWORD components = 0;
  EXPECT_EQ(jpeg_GetParam(filled.data(), &components, static_cast<DWORD>(filled.size())), 0);
  EXPECT_EQ(components, 1u);
  EXPECT_EQ(jpeg_GetParam(nullptr, &components, 4), -1);
}

// ---- Piece bookkeeping ---------------------------------------------------------------

TEST(PescImageContinue, PieceSequences) {
  struct Step {
    WORD id;
    DWORD offset, bytes, total;
    LONG answer;
    bool first, last;
  };
  struct Case {
    const char* name;
    WORD counter;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"one piece", 0, {{0, 0, 10, 10, 1, true, true}}},
      {"two pieces", 4, {{0, 0, 6, 10, 5, true, false}, {5, 6, 4, 10, 5, false, true}}},
      {"ids wrap above 0x3FFF", 0x3FFF, {{0, 0, 1, 1, 1, true, true}}},
      {"the last id", 0x3FFE, {{0, 0, 1, 1, 0x3FFF, true, true}}},
      {"first piece with an id", 0, {{3, 0, 1, 1, -4, false, false}, {0, 0, 1, 1, 1, true, true}}},
      {"first piece not at 0", 0, {{0, 2, 1, 10, -4, false, false}}},
      {"total of 0", 0, {{0, 0, 0, 0, -4, false, false}}},
      {"wrong offset clears", 0, {{0, 0, 4, 10, 1, true, false}, {1, 5, 4, 10, -4, false, false},
                                  {1, 4, 6, 10, -4, false, false}, {0, 0, 2, 2, 2, true, true}}},
      {"wrong id", 0, {{0, 0, 4, 10, 1, true, false}, {2, 4, 6, 10, -4, false, false}}},
      {"another total", 0, {{0, 0, 4, 10, 1, true, false}, {1, 4, 6, 11, -4, false, false}}},
      {"past the total", 0, {{0, 0, 4, 10, 1, true, false}, {1, 4, 7, 10, -4, false, false}}},
      {"too big a first piece", 0, {{0, 0, 11, 10, -4, false, false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PDEV_PESC s{};
    pesc_ctl_initPescPdev(&s, kVersion20, 0, 0);
    s.imageIdCounter = c.counter;
    for (const Step& step : c.steps) {
      BOOL first = TRUE, last = TRUE;
      EXPECT_EQ(pesc_imageContinue(&s, step.id, step.offset, step.bytes, step.total, &first, &last), step.answer);
      EXPECT_EQ(first != FALSE, step.first);
      EXPECT_EQ(last != FALSE, step.last);
      if (step.answer < 0) {
        EXPECT_EQ(s.currentImageId, 0);
      }
    }
  }
}

// ---- Devmode overrides -----------------------------------------------------------------

class PescDevmode : public KmTest {};

TEST_F(PescDevmode, ForceAndRestoreRoundTrip) {
  ASSERT_NE(Printer(kModelA), nullptr);
  CreateDcDevmode dm = Devmode(kModelA);
  Bytes pd(NRV_PRINTERDATA_SIZE);
  ASSERT_TRUE(dm.Set(DDM_COLORMODE, 2));
  const Bytes before = dm.bytes;
  PDEV_PESC s{};
  pesc_ctl_initPescPdev(&s, kVersion20, 1, 1);
  s.duplexOverride = 2;
  s.nupOverride = 4;
  s.orderOverride = 3;
  s.orientationOverride = 1;
  s.posterOverride = 0;
  s.colorModeSwitch = 1;
  pesc_ctl_forceDevMode(dm.data(), pd.data(), &s);
  EXPECT_EQ(dm.Get(DDM_DUPLEX), 2);
  EXPECT_EQ(dm.Get(DDM_NUP), 4);
  EXPECT_EQ(dm.Get(DDM_PAGE_ORDER), 3);
  EXPECT_EQ(dm.Get(DDM_LAYOUT_ORIENTATION), 1);
  EXPECT_EQ(dm.Get(DDM_COLORMODE), 0);
  // Forcing again starts from the saved values, not the forced ones.
  s.nupOverride = -1;
  pesc_ctl_forceDevMode(dm.data(), pd.data(), &s);
  EXPECT_EQ(dm.Get(DDM_NUP), CreateDcDevmode{before}.Get(DDM_NUP));
  pesc_ctl_restoreDevMode(dm.data(), pd.data(), &s);
  EXPECT_EQ(dm.bytes, before);
  // A second restore changes nothing.
  ASSERT_TRUE(dm.Set(DDM_NUP, 2));
  pesc_ctl_restoreDevMode(dm.data(), pd.data(), &s);
  EXPECT_EQ(dm.Get(DDM_NUP), 2);
}

// ---- Through the engine runner -----------------------------------------------------------

Bytes LayoutRecord(WORD selector, WORD argument = 0) {
  Bytes b(8);
  kp_StoreU32(&b[0], 8);
  kp_StoreU32(&b[4], static_cast<DWORD>(argument) << 16 | selector);
  return b;
}

// Items of the listing whose key is one of the image's operators.
std::vector<const pclxl_check::ListedItem*> Items(const pclxl_check::Listing& l, const std::string& key) {
  std::vector<const pclxl_check::ListedItem*> out;
  for (const auto& item : l.items)
    if (item.key() == key) out.push_back(&item);
  return out;
}

std::string Attr(const pclxl_check::ListedItem& item, const std::string& name) {
  for (const auto& a : item.attributes)
    if (a.name == name) return a.value;
  return "";
}

class KmPesc : public KmDrawTest {
 protected:
  // Model A (the colour model: the gate's colour function is offered), a
  // document and its first page.
  bool OpenA(const std::function<void(CreateDcDevmode&)>& tweak = {}) { return Open(kModelA, tweak); }
  LONG Esc(ULONG code, const Bytes* in, Bytes* out = nullptr) {
    return static_cast<LONG>(KpEngineEscape(Session(), code, in ? static_cast<ULONG>(in->size()) : 0,
                                            in ? const_cast<BYTE*>(in->data()) : nullptr,
                                            out ? static_cast<ULONG>(out->size()) : 0, out ? out->data() : nullptr));
  }
  LONG Query(WORD code) {
    Bytes in(2);
    kp_StoreU16(in.data(), code);
    return Esc(QUERYESCSUPPORT, &in);
  }
  LONG Gate(WORD function, WORD argument = 0, Bytes* out = nullptr) {
    const Bytes in = GateRecord(function, argument);
    return Esc(KM_ESC_PRIVATE_GATE, &in, out);
  }
  LONG Send(const Direct& d) {
    const Bytes in = d.Block();
    return Esc(KM_ESC_DIRECT_IMAGE, &in);
  }
  ULONG width_ = 0, height_ = 0;  // the surface's printable area, pixels
  // Sends a JPEG in pieces of the given sizes; answers each piece's result.
  std::vector<LONG> SendPieces(Direct d, const std::vector<uint8_t>& jpeg, const std::vector<size_t>& sizes) {
    std::vector<LONG> answers;
    d.jpegTotal = static_cast<DWORD>(jpeg.size());
    size_t at = 0;
    for (size_t n : sizes) {
      d.piece.assign(jpeg.begin() + static_cast<ptrdiff_t>(at), jpeg.begin() + static_cast<ptrdiff_t>(at + n));
      d.pieceOffset = static_cast<DWORD>(at);
      answers.push_back(Send(d));
      if (answers.back() > 0) d.id = static_cast<WORD>(answers.back());
      at += n;
    }
    return answers;
  }
};

TEST_F(KmPesc, GateOnAndOffWithQueryEscSupport) {
  ASSERT_TRUE(OpenA());
  const WORD codes[] = {KM_ESC_DIRECT_IMAGE, KM_ESC_PAGE_COLOR_MODE, KM_ESC_LAYOUT, KM_ESC_GSB_INTERACTION};
  EXPECT_EQ(Query(KM_ESC_PRIVATE_GATE), 1);
  for (WORD c : codes) EXPECT_EQ(Query(c), 0) << c;
  EXPECT_EQ(Gate(PESC_GATE_ON), 1);
  for (WORD c : codes) EXPECT_EQ(Query(c), 1) << c;
  // The status block of 0x5028 carries the gate.
  Bytes status(KM_ESC_PESCAPE_STATUS_SIZE);
  EXPECT_EQ(Esc(KM_ESC_GET_PESCAPE_STATUS, nullptr, &status), 1);
  EXPECT_EQ(kp_LoadU32(&status[0]), 1u);
  EXPECT_EQ(Gate(PESC_GATE_OFF), 1);
  for (WORD c : codes) EXPECT_EQ(Query(c), 0) << c;
  // 0x5029 sets it again (the document-event round carries it).
  kp_StoreU32(&status[0], 1);
  EXPECT_EQ(Esc(KM_ESC_SET_PESCAPE_STATUS, &status), 1);
  EXPECT_EQ(Query(KM_ESC_DIRECT_IMAGE), 1);

  // Bad records.
  Bytes shortSize = GateRecord(PESC_GATE_ON);
  kp_StoreU32(&shortSize[0], 7);
  EXPECT_EQ(Esc(KM_ESC_PRIVATE_GATE, &shortSize), -4);
  Bytes cut = GateRecord(PESC_GATE_ON);
  cut.resize(6);
  EXPECT_EQ(Esc(KM_ESC_PRIVATE_GATE, &cut), -4);
  EXPECT_EQ(Esc(KM_ESC_PRIVATE_GATE, nullptr), -1);
  EXPECT_EQ(Gate(4), -2);
  Finish();
}

// A reset between the pages of a document keeps the gate and its image ids.
TEST_F(KmPesc, ResetInTheDocumentKeepsTheGate) {
  ASSERT_TRUE(OpenA());
  ASSERT_EQ(Gate(PESC_GATE_ON), 1);
  const std::vector<uint8_t> jpeg = MakeJpeg(JpegSpec{});
  EXPECT_EQ(SendPieces(Direct{}, jpeg, {jpeg.size()}), std::vector<LONG>{1});
  ASSERT_TRUE(KpEngineSendPage(Session()));
  CreateDcDevmode dm = Devmode(kModelA);
  ASSERT_TRUE(KpEngineResetPDEV(Session(), dm.data()));
  ASSERT_TRUE(KpEngineStartPage(Session()));
  EXPECT_EQ(Query(KM_ESC_DIRECT_IMAGE), 1);
  EXPECT_EQ(SendPieces(Direct{}, jpeg, {jpeg.size()}), std::vector<LONG>{2});
  Finish();
  EXPECT_EQ(Items(Listing(), "ReadImage").size(), 2u);
}

TEST_F(KmPesc, FunctionInfoAndSignature) {
  ASSERT_TRUE(OpenA());
  Pdev()->pesc.version = kVersion21;
  Pdev()->pesc.layoutSwitch = 1;
  struct Case {
    WORD function;
    WORD escape;
    DWORD caps[3];
  };
  const Case cases[] = {{PESC_FUNC_GATE, 4209, {15, 65280, 65280}}, {PESC_FUNC_DIRECT_IMAGE, 4210, {16, 0, 0}},
                        {PESC_FUNC_COLOR_MODE, 4211, {31, 0, 0}},   {PESC_FUNC_LAYOUT, 4212, {799, 139, 0}},
                        {PESC_FUNC_4213, 4213, {0, 0, 0}},          {PESC_FUNC_4215_B, 4215, {0, 0, 0}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.function);
    Bytes out(18, 0xEE);
    ASSERT_EQ(Gate(PESC_GATE_FUNCINFO, c.function, &out), 1);
    EXPECT_EQ(kp_LoadU32(&out[0]), 18u);
    EXPECT_EQ(kp_LoadU16(&out[4]), c.escape);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(kp_LoadU32(&out[6 + 4 * i]), c.caps[i]);
  }
  // Output sizes: 18 exactly, or larger when its first word says 18.
  Bytes small(17), larger(24, 0), marked(24, 0);
  EXPECT_EQ(Gate(PESC_GATE_FUNCINFO, PESC_FUNC_GATE, &small), -4);
  EXPECT_EQ(Gate(PESC_GATE_FUNCINFO, PESC_FUNC_GATE, &larger), -4);
  kp_StoreU32(&marked[0], 18);
  std::memset(&marked[18], 0xAB, 6);
  EXPECT_EQ(Gate(PESC_GATE_FUNCINFO, PESC_FUNC_GATE, &marked), 1);
  EXPECT_EQ(Bytes(marked.begin() + 18, marked.end()), Bytes(6, 0xAB)) << "written past 18 bytes";
  EXPECT_EQ(Gate(PESC_GATE_FUNCINFO, PESC_FUNC_GATE), -1);
  Bytes out(18);
  EXPECT_EQ(Gate(PESC_GATE_FUNCINFO, 4360, &out), -3);
  // "EPNZ".
  Bytes sig(4), sigShort(3);
  EXPECT_EQ(Gate(PESC_GATE_CHECK, 0, &sig), 1);
  EXPECT_EQ(std::string(sig.begin(), sig.end()), "EPNZ");
  EXPECT_EQ(Gate(PESC_GATE_CHECK, 0, &sigShort), -4);
  EXPECT_EQ(Gate(PESC_GATE_CHECK), -1);
  Finish();
}

TEST_F(KmPesc, AvailabilityByVersionAndSwitches) {
  ASSERT_TRUE(OpenA());
  PDEV* pdev = Pdev();
  const PDEV_PESC saved = pdev->pesc;
  struct Case {
    const char* name;
    DWORD version;
    DWORD layoutSwitch, colorSwitch, preConfig;
    LONG noAppCopies, forceColor;
    WORD function;
    LONG result;
    DWORD cap0;
  };
  const Case cases[] = {
      {"direct image at 2.1", kVersion21, 1, 1, 0, 0, 0, PESC_FUNC_DIRECT_IMAGE, 0, 16},
      {"direct image at 2.0", kVersion20, 1, 1, 0, 0, 0, PESC_FUNC_DIRECT_IMAGE, 0, 0},
      {"direct image refused by 1333", kVersion21, 1, 1, 0, 1, 0, PESC_FUNC_DIRECT_IMAGE, -1, 0},
      {"colour at 2.0", kVersion20, 1, 1, 0, 0, 0, PESC_FUNC_COLOR_MODE, -1, 0},
      {"colour at 2.1", kVersion21, 1, 1, 0, 0, 0, PESC_FUNC_COLOR_MODE, 0, 31},
      {"colour without the switch", kVersion21, 1, 0, 0, 0, 0, PESC_FUNC_COLOR_MODE, -1, 0},
      {"colour with pre-configuration", kVersion21, 1, 1, 1, 0, 0, PESC_FUNC_COLOR_MODE, -1, 0},
      {"colour forced by the printer data", kVersion21, 1, 1, 0, 0, 1, PESC_FUNC_COLOR_MODE, -1, 0},
      {"layout with its switch", kVersion20, 1, 0, 0, 0, 0, PESC_FUNC_LAYOUT, 0, 799},
      {"layout without its switch", kVersion20, 0, 0, 0, 0, 0, PESC_FUNC_LAYOUT, 0, 799 & ~0xCu},
      {"an unknown older version", 0x1000000, 1, 1, 0, 0, 0, PESC_FUNC_GATE, -1, 0},
      {"an unknown newer version", 0x2020000, 1, 1, 0, 0, 0, PESC_FUNC_LAYOUT, -1, 0},
      {"no such function", kVersion21, 1, 1, 0, 0, 0, 4352, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pdev->pesc.version = c.version;
    pdev->pesc.layoutSwitch = c.layoutSwitch;
    pdev->pesc.colorSwitch = c.colorSwitch;
    pdev->preConfigValue = c.preConfig;
    ASSERT_TRUE(ddm_SetNumber(DDM_NO_APP_COPY_COUNT, pdev->devmode, pdev->printerData, c.noAppCopies));
    ASSERT_TRUE(ddm_SetNumber(DDM_FORCECOLORMODE, pdev->devmode, pdev->printerData, c.forceColor));
    PESC_FUNCINFO row{};
    EXPECT_EQ(PDL_pesc_getFuncInfo(pdev, c.function, &row), c.result);
    if (c.result == 0) {
      EXPECT_EQ(row.caps[0], c.cap0);
    }
    // Through the escape: function 3 answers -3 for what is not available.
    Bytes out(18);
    pdev->pesc.gate = 1;
    const LONG viaGate = Gate(PESC_GATE_FUNCINFO, c.function, &out);
    if (c.version < kVersion20 || c.version > kVersion21)
      EXPECT_EQ(viaGate, 0) << "no gate outside the known versions";
    else
      EXPECT_EQ(viaGate, c.result == 0 ? 1 : -3);
  }
  // Off, the gate's functions answer 0 and do nothing.
  pdev->pesc = saved;
  pdev->preConfigValue = 0;
  ASSERT_TRUE(ddm_SetNumber(DDM_NO_APP_COPY_COUNT, pdev->devmode, pdev->printerData, 0));
  ASSERT_TRUE(ddm_SetNumber(DDM_FORCECOLORMODE, pdev->devmode, pdev->printerData, 0));
  const Bytes layout = LayoutRecord(PESC_LAYOUT_SET_NUP, 2);
  EXPECT_EQ(Esc(KM_ESC_LAYOUT, &layout), 0);
  EXPECT_EQ(pdev->pesc.nupOverride, -1);
  Direct d;
  d.piece = {0xFF, 0xD8};
  d.jpegTotal = 2;
  EXPECT_EQ(Send(d), 0);
  Finish();
  EXPECT_TRUE(Items(Listing(), "BeginImage").empty());
}

// A new queue's printer data carries the model's page-description version
// (DDM 8205, 1.5.1). That is not one of the PCL XL versions the job records
// and the gate know (2.0 and 2.1), so even for linked applications (DDM
// 1332 set) the job's version is 2.0 and the gate answers 2.0's functions:
// the direct image without capabilities, no page colour mode.
TEST_F(KmPesc, TheModelsVersionMakesAVersionTwoZeroJob) {
  ASSERT_TRUE(OpenA([](CreateDcDevmode& dm) { EXPECT_TRUE(dm.Set(DDM_APPLINK_PDL_VERSION, 1)); }));
  PDEV* pdev = Pdev();
  LONG model = 0;
  ASSERT_TRUE(ddm_GetNumber(DDM_PDLVERSION, pdev->devmode, pdev->printerData, &model));
  EXPECT_EQ(static_cast<DWORD>(model), 0x01010501u);
  EXPECT_EQ(jobInfo_getPDLVersion_forApplink(static_cast<DWORD>(model), pdev->devmode, pdev->printerData),
            kVersion20);
  EXPECT_EQ(pdev->pesc.version, kVersion20);
  ASSERT_EQ(Gate(PESC_GATE_ON), 1);
  Bytes out(18);
  EXPECT_EQ(Gate(PESC_GATE_FUNCINFO, PESC_FUNC_DIRECT_IMAGE, &out), 1);
  EXPECT_EQ(kp_LoadU16(&out[4]), KM_ESC_DIRECT_IMAGE);
  EXPECT_EQ(kp_LoadU32(&out[6]), 0u);
  EXPECT_EQ(Gate(PESC_GATE_FUNCINFO, PESC_FUNC_COLOR_MODE, &out), -3);
  Finish();
}

TEST_F(KmPesc, TwoPieceJpegGoesOutWhole) {
  ASSERT_TRUE(OpenA());
  width_ = KpEngineSessionGdiInfo(Session())->ulHorzRes;
  height_ = KpEngineSessionGdiInfo(Session())->ulVertRes;
  ASSERT_EQ(Gate(PESC_GATE_ON), 1);
  JpegSpec picture;
  picture.width = 64;
  picture.height = 48;
  const std::vector<uint8_t> jpeg = MakeJpeg(picture);
  Direct d;
  d.srcWidth = d.bmiWidth = 64;
  d.srcHeight = d.bmiHeight = 48;
  const std::vector<LONG> answers = SendPieces(d, jpeg, {100, jpeg.size() - 100});
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_GT(answers[0], 0);
  EXPECT_EQ(answers[1], answers[0]);
  EXPECT_EQ(Pdev()->pesc.currentImageId, 0) << "the image ended";
  // A grey one is the next image.
  picture.components = 1;
  const std::vector<uint8_t> greyJpeg = MakeJpeg(picture);
  EXPECT_EQ(SendPieces(d, greyJpeg, {greyJpeg.size()}), std::vector<LONG>{answers[0] + 1});
  Finish();
  const auto begins = Items(Listing(), "BeginImage");
  const auto reads = Items(Listing(), "ReadImage");
  const auto spaces = Items(Listing(), "SetColorSpace");
  ASSERT_EQ(begins.size(), 2u);
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(Attr(*begins[0], "SourceWidth"), "64");
  EXPECT_EQ(Attr(*begins[0], "SourceHeight"), "48");
  EXPECT_EQ(Attr(*begins[0], "DestinationSize"), "(300,400)");
  EXPECT_EQ(Attr(*begins[0], "ColorMapping"), "0");
  EXPECT_EQ(Attr(*reads[0], "CompressMode"), "2");
  EXPECT_EQ(Attr(*reads[0], "BlockHeight"), "48");
  EXPECT_EQ(reads[0]->data, jpeg) << "the JPEG's bytes, unchanged";
  EXPECT_EQ(reads[1]->data, greyJpeg);
  ASSERT_GE(spaces.size(), 2u);
  EXPECT_EQ(Attr(*spaces[spaces.size() - 2], "ColorSpace"), "6");
  EXPECT_EQ(Attr(*spaces.back(), "ColorSpace"), "1");
  const auto rops = Items(Listing(), "SetROP");
  ASSERT_FALSE(rops.empty());
  EXPECT_EQ(Attr(*rops.back(), "ROP3"), "204");
  // Clipped to the page's printable area (the surface) without a clip
  // rectangle.
  const auto clips = Items(Listing(), "SetClipRectangle");
  ASSERT_EQ(clips.size(), 1u);
  EXPECT_EQ(Attr(*clips[0], "BoundingBox"), "(0,0," + std::to_string(width_) + "," + std::to_string(height_) + ")");
}

// A group of merged image strips is closed (in-band 149) before the JPEG.
TEST_F(KmPesc, PendingMergedImageIsClosedFirst) {
  ASSERT_TRUE(OpenA());
  ASSERT_EQ(Gate(PESC_GATE_ON), 1);
  XLATEOBJ* bgr = Keep(KpEngineCreateXlateBitfields(0xFF0000, 0xFF00, 0xFF));
  std::vector<BYTE> bits(40 * 3 * 20, 0x80);
  SURFOBJ* picture = Keep(KpEngineCreateBitmap(40, 20, BMF_24BPP, BMF_TOPDOWN, bits.data(), 0));
  for (LONG y : {0, 10}) {
    RECTL to{0, y, 40, y + 10}, from{0, y, 40, y + 10};
    EXPECT_TRUE(KpEngineStretchBlt(Session(), picture, nullptr, nullptr, bgr, &to, &from, nullptr, 3));
  }
  const std::vector<uint8_t> jpeg = MakeJpeg(JpegSpec{});
  EXPECT_GT(SendPieces(Direct{}, jpeg, {jpeg.size()})[0], 0);
  Finish();
  std::vector<std::string> keys;
  for (const auto& item : Listing().items) {
    const std::string k = item.key();
    if (k == "IC 148" || k == "IC 149" || k == "BeginImage") keys.push_back(k);
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"IC 148", "BeginImage", "BeginImage", "IC 149", "BeginImage"}));
}

TEST_F(KmPesc, WrongOffsetFailsAndPadsTheImage) {
  ASSERT_TRUE(OpenA());
  ASSERT_EQ(Gate(PESC_GATE_ON), 1);
  const std::vector<uint8_t> jpeg = MakeJpeg(JpegSpec{});
  Direct d;
  d.jpegTotal = static_cast<DWORD>(jpeg.size());
  d.piece.assign(jpeg.begin(), jpeg.begin() + 50);
  const LONG id = Send(d);
  ASSERT_GT(id, 0);
  d.id = static_cast<WORD>(id);
  d.pieceOffset = 51;
  d.piece.assign(jpeg.begin() + 51, jpeg.end());
  EXPECT_EQ(Send(d), -4);
  EXPECT_EQ(Pdev()->pesc.currentImageId, 0);
  // The sequence starts again with a new image.
  EXPECT_EQ(SendPieces(Direct{}, jpeg, {jpeg.size()}), std::vector<LONG>{id + 1});
  Finish();
  const auto reads = Items(Listing(), "ReadImage");
  ASSERT_EQ(reads.size(), 2u);
  const std::vector<uint8_t>& cut = reads[0]->data;
  ASSERT_EQ(cut.size(), jpeg.size()) << "the announced size is kept";
  EXPECT_TRUE(std::equal(jpeg.begin(), jpeg.begin() + 50, cut.begin()));
  EXPECT_EQ(cut[cut.size() - 2], 0xFF);
  EXPECT_EQ(cut.back(), 0xD9);
  EXPECT_EQ(Items(Listing(), "EndImage").size(), 2u);
}

TEST_F(KmPesc, ImageIdsWrapAbove0x3FFF) {
  ASSERT_TRUE(OpenA());
  ASSERT_EQ(Gate(PESC_GATE_ON), 1);
  Pdev()->pesc.imageIdCounter = 0x3FFE;
  const std::vector<uint8_t> jpeg = MakeJpeg(JpegSpec{});
  EXPECT_EQ(SendPieces(Direct{}, jpeg, {jpeg.size()}), std::vector<LONG>{0x3FFF});
  EXPECT_EQ(SendPieces(Direct{}, jpeg, {jpeg.size()}), std::vector<LONG>{1});
  Finish();
}

TEST_F(KmPesc, PositionAndPageRotationByRotation) {
  struct Case {
    WORD rotation;
    std::string operators;  // the turn, the cursor, the image, the turn back
  };
  // x 100, y 200, width 300, height 400.
  const Case cases[] = {{0, "C(100,200) B R E "},
                        {90, "T270 C(200,-500) B R E T90 "},
                        {180, "T180 C(-400,-600) B R E T180 "},
                        {270, "T90 C(-500,100) B R E T270 "}};
  const std::vector<uint8_t> jpeg = MakeJpeg(JpegSpec{});
  ASSERT_TRUE(OpenA());
  ASSERT_EQ(Gate(PESC_GATE_ON), 1);
  std::string expected;
  for (const Case& c : cases) {
    Direct d;
    d.rotation = c.rotation;
    EXPECT_GT(SendPieces(d, jpeg, {jpeg.size()})[0], 0) << c.rotation;
    expected += c.operators;
  }
  // An unknown rotation is refused and sends nothing.
  Direct d;
  d.rotation = 45;
  EXPECT_EQ(SendPieces(d, jpeg, {jpeg.size()})[0], -5);
  Finish();
  std::string seen;
  for (const auto& item : Listing().items) {
    const std::string k = item.key();
    if (k == "SetPageRotation") seen += "T" + Attr(item, "PageAngle") + " ";
    if (k == "SetCursor") seen += "C" + Attr(item, "Point") + " ";
    if (k == "BeginImage") seen += "B ";
    if (k == "ReadImage") {
      seen += "R ";
      EXPECT_EQ(item.data, jpeg);
    }
    if (k == "EndImage") seen += "E ";
  }
  EXPECT_EQ(seen, expected);
}

TEST_F(KmPesc, RefusedBlocksSendNothing) {
  const std::vector<uint8_t> jpeg = MakeJpeg(JpegSpec{});
  struct Case {
    const char* name;
    std::function<void(Direct&)> record;  // a change of the record before the block is made
    std::function<void(Bytes&)> bytes;    // or of the block's bytes
    LONG result;
  };
  const Case cases[] = {
      {"ROP 0x8800C6", [](Direct& d) { d.rop = 0x8800C6; }, nullptr, 0},
      {"block size beyond the input", nullptr, [](Bytes& b) { kp_StoreU32(&b[0], static_cast<DWORD>(b.size()) + 1); },
       -4},
      {"no destination record", nullptr, [](Bytes& b) { kp_StoreU32(&b[PESC_PIECE_DEST], 0); }, -4},
      {"destination record past the end",
       nullptr, [](Bytes& b) { kp_StoreU32(&b[PESC_PIECE_DEST], static_cast<DWORD>(b.size()) - 8); }, -4},
      {"bitmap header past the end",
       nullptr, [](Bytes& b) { kp_StoreU32(&b[Direct::kDest + PESC_DEST_BMIH], static_cast<DWORD>(b.size()) - 20); },
       -4},
      {"bitmap header offset wrapping",
       nullptr, [](Bytes& b) { kp_StoreU32(&b[Direct::kDest + PESC_DEST_BMIH], 0xFFFFFFF0u); }, -4},
      {"clip past the end", nullptr, [](Bytes& b) { kp_StoreU32(&b[PESC_PIECE_CLIP], static_cast<DWORD>(b.size()) - 4); },
       -4},
      {"piece bytes past the end",
       nullptr, [](Bytes& b) { kp_StoreU32(&b[PESC_PIECE_BYTES], kp_LoadU32(&b[PESC_PIECE_BYTES]) + 1); }, -4},
      {"piece offset wrapping", nullptr, [](Bytes& b) { kp_StoreU32(&b[Direct::kDest + PESC_DEST_JPEG], 0xFFFFFF00u); },
       -4},
      {"block shorter than its header", nullptr, [](Bytes& b) { b.resize(30); }, -4},
      {"reserved values", [](Direct& d) { d.zero2 = 1; }, nullptr, -5},
      {"source not the header's size", [](Direct& d) { d.bmiHeight = -24; }, nullptr, -5},
      {"destination of width 0", [](Direct& d) { d.width = 0; }, nullptr, -5},
      {"not JPEG", [](Direct& d) { d.compression = 0; }, nullptr, -1},
      {"first piece with an id", [](Direct& d) { d.id = 7; }, nullptr, -4},
      {"total smaller than the piece", [](Direct& d) { d.jpegTotal = 10; }, nullptr, -4},
  };
  ASSERT_TRUE(OpenA());
  ASSERT_EQ(Gate(PESC_GATE_ON), 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Direct d;
    d.piece.assign(jpeg.begin(), jpeg.end());
    d.jpegTotal = static_cast<DWORD>(jpeg.size());
    if (c.record) c.record(d);
    Bytes block = d.Block();
    if (c.bytes) c.bytes(block);
    EXPECT_EQ(Esc(KM_ESC_DIRECT_IMAGE, &block), c.result);
    EXPECT_EQ(Pdev()->pesc.currentImageId, 0);
  }
  EXPECT_EQ(Esc(KM_ESC_DIRECT_IMAGE, nullptr), -1);
  Finish();
  EXPECT_TRUE(Items(Listing(), "BeginImage").empty());
}

TEST_F(KmPesc, LargePieceAndClipRectangle) {
  ASSERT_TRUE(OpenA());
  ASSERT_EQ(Gate(PESC_GATE_ON), 1);
  JpegSpec picture;
  picture.width = 320;
  picture.height = 240;
  picture.noise = true;
  picture.quality = 100;
  const std::vector<uint8_t> jpeg = MakeJpeg(picture);
  ASSERT_GT(jpeg.size(), 2 * PESC_PIECE_MAX + 10);
  Direct d;
  d.srcWidth = d.bmiWidth = 320;
  d.srcHeight = d.bmiHeight = 240;
  d.clip = true;
  d.clipX = 10;
  d.clipY = 20;
  d.clipW = 30;
  d.clipH = 40;
  EXPECT_GT(SendPieces(d, jpeg, {jpeg.size()})[0], 0);
  Finish();
  const auto reads = Items(Listing(), "ReadImage");
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0]->data, jpeg) << "a piece above 65280 bytes is written whole";
  const auto clips = Items(Listing(), "SetClipRectangle");
  ASSERT_FALSE(clips.empty());
  EXPECT_EQ(Attr(*clips.back(), "BoundingBox"), "(10,20,40,60)");
}

TEST_F(KmPesc, PiecesThatStopAreEndedByTheNextDrawingOrThePageEnd) {
  ASSERT_TRUE(OpenA());
  ASSERT_EQ(Gate(PESC_GATE_ON), 1);
  const std::vector<uint8_t> jpeg = MakeJpeg(JpegSpec{});
  Direct d;
  d.rotation = 270;
  d.jpegTotal = static_cast<DWORD>(jpeg.size());
  d.piece.assign(jpeg.begin(), jpeg.begin() + 40);
  const LONG first = Send(d);
  ASSERT_GT(first, 0);
  // A drawing call ends the image; the next piece no longer fits.
  PATHOBJ* path = Rect(0, 0, 10, 10);
  EXPECT_TRUE(KpEngineFillPath(Session(), path, nullptr, Solid(0), nullptr, kCopyPen, 0));
  EXPECT_EQ(Pdev()->pesc.currentImageId, 0);
  d.id = static_cast<WORD>(first);
  d.pieceOffset = 40;
  d.piece.assign(jpeg.begin() + 40, jpeg.end());
  EXPECT_EQ(Send(d), -4);
  // Another image stops at the page end.
  d = Direct{};
  d.jpegTotal = static_cast<DWORD>(jpeg.size());
  d.piece.assign(jpeg.begin(), jpeg.begin() + 40);
  ASSERT_GT(Send(d), 0);
  Finish();
  const auto reads = Items(Listing(), "ReadImage");
  ASSERT_EQ(reads.size(), 2u);
  for (const auto* r : reads) EXPECT_EQ(r->data.size(), jpeg.size());
  EXPECT_EQ(Items(Listing(), "EndImage").size(), 2u);
  std::vector<std::string> turns;
  for (const auto* t : Items(Listing(), "SetPageRotation")) turns.push_back(Attr(*t, "PageAngle"));
  EXPECT_EQ(turns, (std::vector<std::string>{"90", "270"})) << "the page is turned back";
}

TEST_F(KmPesc, PageColorMode) {
  printer_ = Printer(kModelA);
  driver_ = LoadDriver();
  ASSERT_TRUE(printer_ && driver_);
  CreateDcDevmode dm = Devmode(kModelA);
  session_ = KpEngineEnablePDEV(driver_, printer_, dm.data());
  ASSERT_NE(session_, nullptr);
  ASSERT_TRUE(KpEngineEnableSurface(session_));
  Pdev()->pesc.version = kVersion21;
  ASSERT_EQ(Gate(PESC_GATE_ON), 1);
  struct Step {
    WORD code;
    LONG result;
    DWORD colorSwitch;
    LONG mode;
  };
  const Step before[] = {{PESC_COLOR_MODE1, -6, 0, -1}, {PESC_COLOR_ON, 1, 1, 0},   {PESC_COLOR_MODE1, 1, 1, 1},
                         {PESC_COLOR_MODE2, 1, 1, 2},   {PESC_COLOR_MODE0, 1, 1, 0}, {4608, -3, 1, 0},
                         {4614, -3, 1, 0},              {PESC_COLOR_OFF, 1, 0, 0},   {PESC_COLOR_MODE2, -6, 0, 0},
                         {PESC_COLOR_ON, 1, 1, 0},      {PESC_COLOR_MODE2, 1, 1, 2}};
  for (const Step& s : before) {
    SCOPED_TRACE(s.code);
    const Bytes in = U16(s.code);
    EXPECT_EQ(Esc(KM_ESC_PAGE_COLOR_MODE, &in), s.result);
    EXPECT_EQ(Pdev()->pesc.colorModeSwitch, s.colorSwitch);
    EXPECT_EQ(Pdev()->pesc.colorMode, s.mode);
  }
  const Bytes tooShort(1);
  EXPECT_EQ(Esc(KM_ESC_PAGE_COLOR_MODE, &tooShort), -4);
  // A direct image before the document is refused and spoils nothing.
  const std::vector<uint8_t> jpeg = MakeJpeg(JpegSpec{});
  EXPECT_EQ(SendPieces(Direct{}, jpeg, {jpeg.size()}), std::vector<LONG>{-1});
  ASSERT_TRUE(KpEngineStartDoc(session_, u"colour", 1));
  ASSERT_TRUE(KpEngineStartPage(session_));
  EXPECT_EQ(SendPieces(Direct{}, jpeg, {jpeg.size()}), std::vector<LONG>{1});
  ASSERT_TRUE(KpEngineSendPage(session_));
  const Bytes on = U16(PESC_COLOR_ON), off = U16(PESC_COLOR_OFF), mode1 = U16(PESC_COLOR_MODE1);
  EXPECT_EQ(Esc(KM_ESC_PAGE_COLOR_MODE, &on), -6);
  EXPECT_EQ(Esc(KM_ESC_PAGE_COLOR_MODE, &off), -6);
  EXPECT_EQ(Esc(KM_ESC_PAGE_COLOR_MODE, &mode1), 1);
  // At 2.0 the function is not there.
  Pdev()->pesc.version = kVersion20;
  EXPECT_EQ(Esc(KM_ESC_PAGE_COLOR_MODE, &mode1), 0);
  ASSERT_TRUE(KpEngineEndDoc(session_, 0));
}

TEST_F(KmPesc, LayoutReadsAndOverrides) {
  ASSERT_TRUE(OpenA([](CreateDcDevmode& dm) { ASSERT_TRUE(dm.Set(DDM_DUPLEX, 1)); }));
  ASSERT_EQ(Gate(PESC_GATE_ON), 1);
  PDEV_PESC& s = Pdev()->pesc;
  auto layout = [&](WORD selector, WORD argument, Bytes* out = nullptr) {
    const Bytes in = LayoutRecord(selector, argument);
    return Esc(KM_ESC_LAYOUT, &in, out);
  };
  // Reads.
  Bytes out(2);
  EXPECT_EQ(layout(PESC_LAYOUT_GET_DUPLEX, 0, &out), 1);
  EXPECT_EQ(kp_LoadU16(out.data()), PESC_DUPLEX_SIMPLEX);
  EXPECT_EQ(layout(PESC_LAYOUT_GET_DUPLEX, 0), -4);
  EXPECT_EQ(layout(PESC_LAYOUT_GET_NUP, 0, &out), 1);
  EXPECT_EQ(kp_LoadU16(out.data()), 1);
  // N-up.
  struct NupCase {
    WORD argument;
    LONG result;
    SHORT nup, order, orientation, layoutMode, poster;
  };
  const NupCase nups[] = {{2, 1, 2, 1, 1, -1, 0}, {3, -5, 2, 1, 1, -1, 0}, {16, 1, 16, 3, 1, -1, 0},
                          {0, 1, -1, -1, -1, -1, -1}, {64, -5, -1, -1, -1, -1, -1}, {1, 1, 1, 0, 1, -1, 0}};
  for (const NupCase& c : nups) {
    SCOPED_TRACE(c.argument);
    EXPECT_EQ(layout(PESC_LAYOUT_SET_NUP, c.argument), c.result);
    EXPECT_EQ(s.nupOverride, c.nup);
    EXPECT_EQ(s.orderOverride, c.order);
    EXPECT_EQ(s.orientationOverride, c.orientation);
    EXPECT_EQ(s.layoutOverride, c.layoutMode);
    EXPECT_EQ(s.posterOverride, c.poster);
  }
  // Duplex: kinds 2 and 3 need the devmode's duplex field.
  DWORD& fields = *reinterpret_cast<DWORD*>(Pdev()->devmode + offsetof(DEVMODEW, dmFields));
  const DWORD savedFields = fields;
  fields &= ~static_cast<DWORD>(DM_DUPLEX);
  EXPECT_EQ(layout(PESC_LAYOUT_SET_DUPLEX, PESC_DUPLEX_KIND2), -6);
  EXPECT_EQ(s.duplexOverride, -1);
  fields |= DM_DUPLEX;
  EXPECT_EQ(layout(PESC_LAYOUT_SET_DUPLEX, PESC_DUPLEX_KIND3), 1);
  EXPECT_EQ(s.duplexOverride, 3);
  EXPECT_EQ(layout(PESC_LAYOUT_SET_DUPLEX, PESC_DUPLEX_SIMPLEX), 1);
  EXPECT_EQ(s.duplexOverride, 1);
  EXPECT_EQ(layout(PESC_LAYOUT_SET_DUPLEX, PESC_DUPLEX_CLEAR), 1);
  EXPECT_EQ(s.duplexOverride, -1);
  EXPECT_EQ(layout(PESC_LAYOUT_SET_DUPLEX, 4885), -5);
  fields = savedFields;
  // Selectors and sizes.
  EXPECT_EQ(layout(4869, 0), -3);
  Bytes badSize = LayoutRecord(PESC_LAYOUT_SET_NUP, 2);
  kp_StoreU32(&badSize[0], 12);
  EXPECT_EQ(Esc(KM_ESC_LAYOUT, &badSize), -4);
  badSize.resize(4);
  EXPECT_EQ(Esc(KM_ESC_LAYOUT, &badSize), -4);
  Finish();
}

// The overrides set before the job are in force while it runs and gone
// after it.
TEST_F(KmPesc, OverridesAroundTheJob) {
  printer_ = Printer(kModelA);
  driver_ = LoadDriver();
  ASSERT_TRUE(printer_ && driver_);
  CreateDcDevmode dm = Devmode(kModelA);
  session_ = KpEngineEnablePDEV(driver_, printer_, dm.data());
  ASSERT_NE(session_, nullptr);
  ASSERT_TRUE(KpEngineEnableSurface(session_));
  ASSERT_EQ(Gate(PESC_GATE_ON), 1);
  const Bytes before(Pdev()->devmode, Pdev()->devmode + NRV_DEVMODE_SIZE_FULL);
  const Bytes nup = LayoutRecord(PESC_LAYOUT_SET_NUP, 2);
  ASSERT_EQ(Esc(KM_ESC_LAYOUT, &nup), 1);
  ASSERT_TRUE(KpEngineStartDoc(session_, u"overrides", 1));
  ASSERT_TRUE(KpEngineStartPage(session_));
  PATHOBJ* path = Rect(0, 0, 10, 10);
  ASSERT_TRUE(KpEngineFillPath(Session(), path, nullptr, Solid(0), nullptr, kCopyPen, 0));
  EXPECT_EQ(Pdev()->jobInfo.nup, 2);
  LONG v = 0;
  EXPECT_TRUE(ddm_GetNumber(DDM_NUP, Pdev()->devmode, Pdev()->printerData, &v));
  EXPECT_EQ(v, 2);
  ASSERT_TRUE(KpEngineSendPage(session_));
  ASSERT_TRUE(KpEngineEndDoc(session_, 0));
  EXPECT_EQ(Bytes(Pdev()->devmode, Pdev()->devmode + NRV_DEVMODE_SIZE_FULL), before);
}

TEST_F(KmPesc, SecurityMarkingBlock) {
  ASSERT_TRUE(OpenA());
  auto block = [](DWORD n, size_t extra = 0, BYTE fill = 0x5A) {
    Bytes b(4 + n + extra, fill);
    kp_StoreU32(b.data(), n);
    return b;
  };
  const Bytes small = block(16);
  EXPECT_EQ(Esc(KM_ESC_GSB_INTERACTION, &small), 0) << "the gate is off";
  ASSERT_EQ(Gate(PESC_GATE_ON), 1);
  struct Case {
    const char* name;
    Bytes in;
    LONG result;
  };
  Bytes lying = block(16);
  lying.resize(10);
  const Case cases[] = {{"too large", block(0x10000 - 3), -4},
                        {"the largest", block(0x10000 - 4), 1},
                        {"length past the input", lying, -4},
                        {"empty", block(0), -4},
                        {"no length", Bytes(3), -4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Esc(KM_ESC_GSB_INTERACTION, &c.in), c.result);
  }
  // The block replaces 0x5031's (0x502E reads it back), reused at the same size.
  const Bytes first = block(16, 0, 0x11), second = block(16, 0, 0x22);
  ASSERT_EQ(Esc(KM_ESC_GSB_INTERACTION, &first), 1);
  const BYTE* kept = Pdev()->securityMarking[PDEV_GSB_EXTENDED].data;
  ASSERT_EQ(Esc(KM_ESC_GSB_INTERACTION, &second), 1);
  EXPECT_EQ(Pdev()->securityMarking[PDEV_GSB_EXTENDED].data, kept);
  const Bytes selector = U16(KM_GSBDATA_DATA);
  Bytes back(16);
  ASSERT_EQ(Esc(KM_ESC_GET_GSBDATA, &selector, &back), 1);
  EXPECT_EQ(back, Bytes(16, 0x22));
  Finish();
}

}  // namespace
