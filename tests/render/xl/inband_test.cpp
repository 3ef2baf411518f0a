// The in-band command writers and the reader helper, in both builds.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "kestrel/render/xl_inband.h"
#include "xl_harness.h"

using kxltest::hex;
using kxltest::toHex;
using kxltest::Writer;

namespace {

std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<uint8_t> pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 3);
  return v;
}

template <size_t N>
const BYTE (&asArray(const std::vector<uint8_t>& v))[N] {
  return *reinterpret_cast<const BYTE(*)[N]>(v.data());
}

const std::vector<uint8_t> kPrinterData = pattern(XL_IC_PRINTERDATA_SIZE, 1);
const std::vector<uint8_t> kJobInfo = pattern(XL_IC_JOBINFO_SIZE, 2);
const std::vector<uint8_t> kLayout = pattern(XL_IC_LAYOUTINFO_SIZE, 3);
const std::vector<uint8_t> kPageCtrl = pattern(XL_IC_PAGECTRL_SIZE, 4);
const std::vector<uint8_t> kDevmode = pattern(XL_IC_DEVMODE_SIZE, 5);
// Two entries of 8 bytes: count 2, size 8, two receiver words, entries, two values.
const std::vector<uint8_t> kJcl = hex("02 00 00 00 08 00 00 00 00 00 00 00 00 00 00 00 "
                                      "04 00 00 00 41 42 43 44  02 00 00 00 45 46 00 00 "
                                      "01 00 00 00 02 00 00 00");

struct Command {
  BYTE code;
  std::function<int(XlContext*)> write;
  std::vector<uint8_t> payload;  // empty with hasPayload false: no data at all
  bool hasPayload;
};

std::vector<Command> commands() {
  const float identity[6] = {1, 0, 0, 1, 10, 20};
  std::vector<uint8_t> devmodePayload = kDevmode;
  devmodePayload.resize(XL_IC_DEVMODE_PAYLOAD, 0);
  return {
      {128, [](XlContext* c) { return xl_ic_enable(c); }, {}, false},
      {129, [](XlContext* c) { return xl_ic_disable(c); }, {}, false},
      {130, [](XlContext* c) { return xl_ic_open(c, u"AB"); }, hex("41 00 42 00 00 00"), true},
      {131, [](XlContext* c) { return xl_ic_close(c); }, {}, false},
      {132, [](XlContext* c) { return xl_ic_pageStoring_init(c, 1, 80); }, hex("01 00 50 00"), true},
      {133,
       [](XlContext* c) {
         XlIcPageStoringStart s{1, 38, 1, 1, 7, 12};
         return xl_ic_pageStoring_start(c, &s);
       },
       hex("01 00 00 00 26 00 00 00 01 00 00 00 01 00 00 00 07 00 0C 00"), true},
      {134, [](XlContext* c) { return xl_ic_pageStoring_stop(c, 7); }, hex("07 00"), true},
      {135, [](XlContext* c) { return xl_ic_pageStoring_dispose(c); }, {}, false},
      {136,
       [](XlContext* c) {
         static const float base[6] = {1, 0, 0, 1, 0, 0};
         XlIcStoredPage s{nullptr, base, 1, 3, 0xFFFF, 2, 0xFFFF};
         return xl_ic_output_aStoredPage_withOtherPageColor(c, &s);
       },
       hex("00 00 80 3F 00 00 00 00 00 00 00 00 00 00 80 3F 00 00 00 00 00 00 00 00 "
           "01 00 00 00 03 00 FF FF 02 00 00 00 FF FF 00 00"),
       true},
      {137, [identity](XlContext* c) { return xl_ic_setcoordinate(c, identity); },
       hex("00 00 80 3F 00 00 00 00 00 00 00 00 00 00 80 3F 00 00 20 41 00 00 A0 41"), true},
      {138, [](XlContext* c) { return xl_ic_startpage(c, 210, 297, 1, 2, 81); },
       hex("00 00 52 43 00 80 94 43 01 02 51 00"), true},
      {139, [](XlContext* c) { return xl_ic_showpage(c); }, {}, false},
      {140, [](XlContext* c) { return xl_ic_endpage(c); }, {}, false},
      {141, [](XlContext* c) { return xl_ic_setcolormode(c, 2, 1); }, hex("02 00 00 00 01 00 00 00"), true},
      {142, [](XlContext* c) { return xl_ic_startjob(c); }, {}, false},
      {143, [](XlContext* c) { return xl_ic_openprinter(c); }, {}, false},
      {144, [](XlContext* c) { return xl_ic_closeprinter(c, 5); }, hex("05"), true},
      {145, [](XlContext* c) { return xl_ic_timeout(c, 6); }, hex("06"), true},
      {146, [](XlContext* c) { return xl_ic_beginstamp(c); }, {}, false},
      {147, [](XlContext* c) { return xl_ic_endstamp(c); }, {}, false},
      {148, [](XlContext* c) { return xl_ic_linkimagestart(c); }, {}, false},
      {149, [](XlContext* c) { return xl_ic_linkimageend(c); }, {}, false},
      {150, [](XlContext* c) { return xl_ic_setdevmode(c, kDevmode.data(), XL_IC_DEVMODE_SIZE); }, devmodePayload,
       true},
      {151, [](XlContext* c) { return xl_ic_setprinterdata(c, asArray<XL_IC_PRINTERDATA_SIZE>(kPrinterData)); },
       kPrinterData, true},
      {152, [](XlContext* c) { return xl_ic_setdocname(c, u"AB"); }, hex("41 00 42 00 00 00"), true},
      {153, [](XlContext* c) { return xl_ic_setjobinfo(c, asArray<XL_IC_JOBINFO_SIZE>(kJobInfo)); }, kJobInfo, true},
      {154, [](XlContext* c) { return xl_ic_setlayoutinfo(c, asArray<XL_IC_LAYOUTINFO_SIZE>(kLayout)); }, kLayout,
       true},
      {155, [](XlContext* c) { return xl_ic_setpagectrl(c, asArray<XL_IC_PAGECTRL_SIZE>(kPageCtrl)); }, kPageCtrl,
       true},
      {156, [](XlContext* c) { return xl_ic_setjclheaders(c, kJcl.data(), static_cast<DWORD>(kJcl.size())); }, kJcl,
       true},
      {157, [](XlContext* c) { return xl_ic_changeSpool_forFormRegister(c); }, {}, false},
      {158, [](XlContext* c) { return xl_ic_stopSpool_forFormRegister(c); }, {}, false},
  };
}

std::vector<uint8_t> lengthToken(size_t n) {
  if (n < 256) return {0xFB, static_cast<uint8_t>(n)};
  return {0xFA, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
          static_cast<uint8_t>(n >> 24)};
}

TEST(InBandWriters, EveryCommandsBytesAndPayloadSize) {
  auto all = commands();
  ASSERT_EQ(all.size(), 31u) << "codes 128 to 158";
  for (const Command& c : all) {
    Writer w;
    ASSERT_EQ(c.write(w.ctx()), 0) << int(c.code);
    std::vector<uint8_t> expected = {0xC0, c.code, 0xF8, 0xFF, 0xFF};
    if (c.hasPayload) expected = concat({expected, lengthToken(c.payload.size()), c.payload});
    EXPECT_EQ(w.bytes(), expected) << int(c.code);
    const int32_t size = xl_ic_payload_size(c.code);
    if (size >= 0) {
      EXPECT_EQ(static_cast<size_t>(size), c.hasPayload ? c.payload.size() : 0u) << int(c.code);
    }
  }
  EXPECT_EQ(xl_ic_payload_size(127), -2);
  EXPECT_EQ(xl_ic_payload_size(159), -2);
}

TEST(InBandWriters, RoundTripThroughTheReader) {
  for (const Command& c : commands()) {
    Writer w;
    ASSERT_EQ(c.write(w.ctx()), 0);
    auto bytes = w.bytes();
    bytes.push_back(0x85);  // the next operator must stay outside the command
    XlIcRead r = xl_ic_read(bytes.data(), bytes.size(), FALSE);
    ASSERT_EQ(r.status, XL_IC_COMMAND) << int(c.code);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.length, bytes.size() - 1) << int(c.code);
    EXPECT_EQ(bool(r.hasPayload), c.hasPayload) << int(c.code);
    if (c.hasPayload) {
      EXPECT_EQ(std::vector<uint8_t>(r.payload, r.payload + r.payloadLength), c.payload);
    }
  }
}

TEST(InBandWriters, DevmodeIsPaddedTo8192) {
  Writer w;
  std::vector<uint8_t> small = pattern(150, 9);
  ASSERT_EQ(xl_ic_setdevmode(w.ctx(), small.data(), 150), 0);
  auto b = w.bytes();
  ASSERT_EQ(b.size(), 5u + 5u + 8192u);
  EXPECT_EQ(toHex({b.begin() + 5, b.begin() + 10}), "FA 00 20 00 00");
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 10, b.begin() + 160), small);
  for (size_t i = 160; i < b.size(); ++i) ASSERT_EQ(b[i], 0) << i;
  std::vector<uint8_t> big(8193);
  Writer r;
  EXPECT_EQ(xl_ic_setdevmode(r.ctx(), big.data(), 8193), -1);
  EXPECT_TRUE(r.bytes().empty());
}

TEST(InBandWriters, DocumentNameAtTheReadersLimit) {
  struct Case {
    size_t chars;
    size_t sentChars;
    bool opened;  // command 130 carries any length
  } cases[] = {{0, 0, true}, {127, 127, true}, {259, 259, true}, {260, 259, true}, {600, 259, true}};
  for (const auto& c : cases) {
    std::u16string name(c.chars, u'x');
    Writer w;
    ASSERT_EQ(xl_ic_setdocname(w.ctx(), name.c_str()), 0);
    auto b = w.bytes();
    XlIcRead r = xl_ic_read(b.data(), b.size(), TRUE);
    ASSERT_EQ(r.status, XL_IC_COMMAND) << c.chars << ": a long name is cut so that the reader takes it";
    EXPECT_EQ(r.payloadLength, 2 * c.sentChars + 2);
    EXPECT_EQ(r.payload[r.payloadLength - 1], 0);
    EXPECT_EQ(r.payload[r.payloadLength - 2], 0);

    Writer o;
    ASSERT_EQ(xl_ic_open(o.ctx(), name.c_str()), 0);
    auto ob = o.bytes();
    XlIcRead ro = xl_ic_read(ob.data(), ob.size(), TRUE);
    ASSERT_EQ(ro.status, XL_IC_COMMAND);
    EXPECT_EQ(ro.payloadLength, 2 * c.chars + 2) << "the open command keeps the whole name";
  }
}

TEST(InBandWriters, RefusedArgumentsWriteNothing) {
  Writer w;
  EXPECT_EQ(xl_ic_timeout(w.ctx(), 0), -1);
  EXPECT_EQ(xl_ic_timeout(w.ctx(), 7), -1);
  const float m[6] = {1, 0, 0, 1, 0, 0};
  XlIcStoredPage same{m, nullptr, 0, 4, 4, 0, 0xFFFF};
  EXPECT_EQ(xl_ic_output_aStoredPage_withOtherPageColor(w.ctx(), &same), -1);
  XlIcStoredPage noMatrix{nullptr, nullptr, 0, 4, 5, 0, 0xFFFF};
  EXPECT_EQ(xl_ic_output_aStoredPage_withOtherPageColor(w.ctx(), &noMatrix), -1);
  std::vector<uint8_t> jcl = kJcl;
  EXPECT_EQ(xl_ic_setjclheaders(w.ctx(), jcl.data(), static_cast<DWORD>(jcl.size() - 1)), -1);
  jcl[0] = 0xFF;
  jcl[3] = 0xFF;  // a negative count
  EXPECT_EQ(xl_ic_setjclheaders(w.ctx(), jcl.data(), static_cast<DWORD>(jcl.size())), -1);
  EXPECT_EQ(xl_ic_setjclheaders(w.ctx(), jcl.data(), 15), -1);
  EXPECT_TRUE(w.bytes().empty());
  // The same page is accepted when the page number has bit 0x8000.
  XlIcStoredPage marked{m, nullptr, 0, 0x8004, 0x8004, 0, 0xFFFF};
  EXPECT_EQ(xl_ic_output_aStoredPage_withOtherPageColor(w.ctx(), &marked), 0);
}

// ---- the reader's rules ----------------------------------------------------

TEST(InBandReader, RecognitionRules) {
  auto payload = [](size_t n) { return pattern(n, 1); };
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    XlIcStatus status;
    size_t length;  // bytes the operator covers (ignored for INCOMPLETE)
    BOOL end = TRUE;
  } cases[] = {
      {"payload of 255 bytes with the byte length",
       concat({hex("C0 82 F8 FF FF FB FF"), payload(255)}), XL_IC_COMMAND, 262},
      {"payload of 256 bytes with the uint32 length",
       concat({hex("C0 82 F8 FF FF FA 00 01 00 00"), payload(256)}), XL_IC_COMMAND, 266},
      {"document name of 520 bytes", concat({hex("C0 98 F8 FF FF FA 08 02 00 00"), payload(520)}),
       XL_IC_COMMAND, 530},
      {"document name of 522 bytes is ignored", concat({hex("C0 98 F8 FF FF FA 0A 02 00 00"), payload(522)}),
       XL_IC_IGNORED, 532},
      {"devmode of 8192 bytes", concat({hex("C0 96 F8 FF FF FA 00 20 00 00"), payload(8192)}), XL_IC_COMMAND, 8202},
      {"devmode of 5440 bytes", concat({hex("C0 96 F8 FF FF FA 40 15 00 00"), payload(5440)}), XL_IC_COMMAND, 5450},
      {"devmode of 5439 bytes is ignored", concat({hex("C0 96 F8 FF FF FA 3F 15 00 00"), payload(5439)}),
       XL_IC_IGNORED, 5449},
      {"start page with 11 bytes is ignored", concat({hex("C0 8A F8 FF FF FB 0B"), payload(11)}), XL_IC_IGNORED,
       18},
      {"start page without data is ignored", hex("C0 8A F8 FF FF 85"), XL_IC_IGNORED, 5},
      {"a code with the uint16 tag is not recognised",
       concat({hex("C1 8A 00 F8 FF FF FB 0C"), payload(12)}), XL_IC_IGNORED, 20},
      {"attribute 255 in its two-byte form", hex("C0 80 F9 FF 00 FF"), XL_IC_COMMAND, 6},
      {"code 159 does nothing", hex("C0 9F F8 FF FF"), XL_IC_IGNORED, 5},
      {"code 127 does nothing", hex("C0 7F F8 FF FF"), XL_IC_IGNORED, 5},
      {"no attribute 255", hex("C0 80 F8 FE FF"), XL_IC_IGNORED, 5},
      {"other values are skipped", hex("D1 01 00 02 00 F8 10 C0 8B F8 FF FF"), XL_IC_COMMAND, 12},
      {"the value right before 255 must be the ubyte", hex("C0 8B F8 10 C3 8B 00 F8 FF FF"), XL_IC_IGNORED, 10},
      {"143 and 144 are recognised", hex("C0 90 F8 FF FF FB 01 05"), XL_IC_COMMAND, 8},
      {"zero-payload command ignores data after it", hex("C0 80 F8 FF FF FB 01 00"), XL_IC_COMMAND, 8},
      {"an ordinary operator", hex("C0 00 F8 46 6E FB 00"), XL_IC_NOT_INBAND, 5},
      {"embedded data length past the end", hex("C0 82 F8 FF FF FA 00 01 00 00 41"), XL_IC_INCOMPLETE, 0},
      {"ends inside an array", hex("C8 C1 05 00 41"), XL_IC_INCOMPLETE, 0},
      {"ends after the operator while more may come", hex("C0 80 F8 FF FF"), XL_IC_INCOMPLETE, 0, FALSE},
      {"a stray data tag", hex("FB 00 FF"), XL_IC_MALFORMED, 0},
      {"an illegal array length tag", hex("C8 C3 01 00 41 FF"), XL_IC_MALFORMED, 0},
  };
  for (const auto& c : cases) {
    XlIcRead r = xl_ic_read(c.bytes.data(), c.bytes.size(), c.end);
    EXPECT_EQ(r.status, c.status) << c.name;
    if (c.status != XL_IC_INCOMPLETE && c.status != XL_IC_MALFORMED) {
      EXPECT_EQ(r.length, c.length) << c.name;
    }
  }
  EXPECT_EQ(xl_ic_read(nullptr, 0, TRUE).status, XL_IC_MALFORMED);
}

TEST(InBandReader, PayloadSizesOfEveryFixedCommand) {
  for (int code = 128; code <= 158; ++code) {
    const int32_t size = xl_ic_payload_size(static_cast<BYTE>(code));
    if (size <= 0 || code == 150) continue;
    for (int32_t n : {size - 1, size, size + 1}) {
      std::vector<uint8_t> b = concat({{0xC0, static_cast<uint8_t>(code), 0xF8, 0xFF, 0xFF},
                                       lengthToken(static_cast<size_t>(n)), pattern(static_cast<size_t>(n), 0)});
      XlIcRead r = xl_ic_read(b.data(), b.size(), TRUE);
      const bool takes = n == size || code == 144;  // 144 shares the handler of 143, which needs nothing
      EXPECT_EQ(r.status, takes ? XL_IC_COMMAND : XL_IC_IGNORED) << code << " with " << n;
      EXPECT_EQ(r.length, b.size());
    }
  }
}

}  // namespace
