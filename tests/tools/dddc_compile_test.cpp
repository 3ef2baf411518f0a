// The compiler's output against bytes written by hand from the format's
// tables, its refusals of sources that break the readers' invariants, and
// its all-or-nothing writing of the file pair.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "dddc.h"
#include "ddd_bytes.h"
#include "temp_root.h"

namespace kestrel::test {
namespace {

namespace fs = std::filesystem;
using dddc::CompileText;
using dddc::Output;

// The least complete model: every PrinterInfo item the source must give.
std::string Prelude(const std::string& format = "0.0.4.0", const std::string& extra = "") {
  std::string s = "header \"H\"\nversion \"T:1.2.3\"\nformat " + format + "\nmodel \"M\"\n" + extra;
  const int strings[] = {13, 17, 18, 19, 20, 21, 22, 29, 31, 32, 37, 38};
  const int counted[] = {3, 14, 27, 28, 34, 35, 36, 39};
  for (int n = 1; n <= 41; ++n) {
    if (n == 2) continue;
    bool isString = false, isCounted = false;
    for (int k : strings) isString = isString || k == n;
    for (int k : counted) isCounted = isCounted || k == n;
    if (n == 30 || n == 33) {
      s += "info " + std::to_string(n) + " \"R\\\\\"\n";
    } else if (n == 41) {
      s += "info 41 8\n";
    } else if (isString) {
      s += "info " + std::to_string(n) + " \"\"\n";
    } else if (isCounted) {
      s += "info " + std::to_string(n) + "\n";
    } else {
      s += "info " + std::to_string(n) + " 0\n";
    }
  }
  return s;
}

// PrinterInfo of the prelude, by hand: item 0 (filled by the caller), item 2.
Bytes PreludeInfo(uint32_t item2) {
  Bytes b;
  Le32(b, 0);       // 0 category table offset, patched
  Le16(b, 0);       // 1
  Le32(b, item2);   // 2
  Le16(b, 0);       // 3 (count 0)
  Le16(b, 0);       // 4
  Add(b, {0});      // 5
  Le32(b, 0);       // 6
  Add(b, {0});      // 7
  Le32(b, 0);       // 8
  Le32(b, 0);       // 9
  Le16(b, 0);       // 10
  Le32(b, 0);       // 11
  Le32(b, 0);       // 12
  Le16(b, 0);       // 13 empty string
  Le16(b, 0);       // 14 (count 0)
  Le32(b, 0);       // 15
  Le16(b, 0);       // 16
  for (int i = 17; i <= 22; ++i) Le16(b, 0);
  Add(b, {0});      // 23
  Le16(b, 0);       // 24
  Le16(b, 0);       // 25
  Le32(b, 0);       // 26
  Le16(b, 0);       // 27 (count 0)
  Le16(b, 0);       // 28 (count 0)
  Le16(b, 0);       // 29
  Add(b, {0x02, 0x00, 0xAD, 0xA3});  // 30 "R\"
  Le16(b, 0);       // 31
  Le16(b, 0);       // 32
  Add(b, {0x02, 0x00, 0xAD, 0xA3});  // 33 "R\"
  Le16(b, 0);       // 34 (count 0)
  Le16(b, 0);       // 35 (count 0)
  Le16(b, 0);       // 36 (count 0)
  Le16(b, 0);       // 37
  Le16(b, 0);       // 38
  Le16(b, 0);       // 39 (count 0)
  Le16(b, 0);       // 40
  Le16(b, 8);       // 41
  return b;
}

TEST(DddcLayout, EmptyModelIsByteExact) {
  Output out = CompileText(Prelude(), "empty.dds", ".");
  ASSERT_TRUE(out.ok) << (out.errors.empty() ? "" : out.errors[0]);
  Bytes want(224, 0);
  want[0] = 'H';
  const char* version = "T:1.2.3";
  for (int i = 0; version[i]; ++i) want[64 + i] = uint8_t(version[i]);
  Add(want, {});
  want[92] = 0x00, want[93] = 0x00, want[94] = 0x04, want[95] = 0x00;  // format 1024
  want[96] = 'M';
  Bytes info = PreludeInfo(1);  // no EJCL records: the least bound, 1
  uint32_t cat = 224 + uint32_t(info.size());
  info[0] = uint8_t(cat - 228);
  info[1] = uint8_t((cat - 228) >> 8);
  want.insert(want.end(), info.begin(), info.end());
  Le32(want, 2 + 21 * 7);
  Le16(want, 21);
  uint32_t table = cat + 6 + 21 * 7;
  for (uint32_t i = 0; i < 21; ++i) {
    Add(want, {0});
    Le16(want, uint32_t(DDD_CATEGORY_ORDER[i]));
    Le32(want, table + 6 * i);  // every table empty: 4 + 2 bytes
  }
  for (int i = 0; i < 21; ++i) {
    Le32(want, 2);  // byte length of the count and no entries
    Le16(want, 0);
  }
  ASSERT_EQ(out.main.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) ASSERT_EQ(out.main[i], want[i]) << "byte " << i;
  EXPECT_TRUE(out.referencedName.empty());
  EXPECT_TRUE(out.referenced.empty());
}

struct RecordCase {
  const char* what;
  std::string format;
  std::string source;
  int category;
  int id;
  Bytes want;  // without the leading 32-bit length
};

Bytes Body(std::initializer_list<std::initializer_list<uint8_t>> parts) {
  Bytes b;
  for (auto p : parts) Add(b, p);
  return b;
}

const char* const kOption7 =
    "option O\n id 7\n name \"O\"\n method 1\n value i16 2\n default B\n"
    " item A\n  name \"A\"\n  value 1\n item B\n  name \"B\"\n  value 2\n";

std::vector<RecordCase> RecordCases() {
  return {
      {"size", "0.0.4.0", "size S\n fixed 2100 2970\n", 17, 1,
       Body({{0x01, 0x00}, {0x34, 0x08, 0x9A, 0x0B}, {0x34, 0x08, 0x9A, 0x0B}})},
      {"paper at format 1024: duplex byte and duplex size, no flag", "0.0.4.0",
       "size S\n fixed 2100 2970\npaper P\n id 9\n name \"HA\"\n size @size:S\n imageable @size:S\n margin @size:S\n"
       " portrait 2\n duplex 1\n",
       10, 9,
       Body({{0x09, 0x00}, {0x02, 0x00, 0xB7, 0xBE}, {0x00}, {0x01, 0x00}, {0x01, 0x00}, {0x01, 0x00},
             {0x02, 0x00}, {0x00, 0x00}, {0x01}, {0x00, 0x00}})},
      {"paper at format 256: neither", "0.0.1.0",
       "size S\n fixed 2100 2970\npaper P\n id 9\n name \"HA\"\n size @size:S\n imageable @size:S\n margin @size:S\n",
       10, 9,
       Body({{0x09, 0x00}, {0x02, 0x00, 0xB7, 0xBE}, {0x00}, {0x01, 0x00}, {0x01, 0x00}, {0x01, 0x00},
             {0x00, 0x00}, {0x00, 0x00}})},
      {"paper at format 1280: with its flag", "0.0.5.0",
       "size S\n fixed 2100 2970\npaper P\n id 9\n name \"HA\"\n size @size:S\n imageable @size:S\n margin @size:S\n"
       " duplex_size @size:S\n flag 3\n",
       10, 9,
       Body({{0x09, 0x00}, {0x02, 0x00, 0xB7, 0xBE}, {0x00}, {0x01, 0x00}, {0x01, 0x00}, {0x01, 0x00},
             {0x00, 0x00}, {0x00, 0x00}, {0x00}, {0x01, 0x00}, {0x03, 0x00}})},
      {"option: items list, empty rule lists, second name at 1024", "0.0.4.0", kOption7, 4, 7,
       Body({{0x07, 0x00}, {0x01, 0x00, 0xB0}, {0x01}, {0x02, 0x00}, {0x00, 0x00},
             {0x06, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x02, 0x00},
             {0x02, 0x00, 0x00, 0x00, 0x00, 0x00}, {0x02, 0x00, 0x00, 0x00, 0x00, 0x00}, {0x00, 0x00}, {0x00, 0x00}})},
      {"option item: id is its position, value i16", "0.0.4.0", kOption7, 14, 2,
       Body({{0x02, 0x00}, {0x01, 0x00, 0xBD}, {0x00, 0x00}, {0x00, 0x00}, {0x00, 0x00},
             {0x02, 0x00, 0x00, 0x00, 0x00, 0x00}, {0x02, 0x00, 0x00, 0x00, 0x00, 0x00},
             {0x02, 0x02, 0x00, 0x02, 0x00}, {0x00, 0x00}})},
      {"installable option lives in categories 3 and 13, boolean payload is one byte", "0.0.4.0",
       "option F\n id 4097\n name \"F\"\n value bool 4\n default On\n item On\n  name \"A\"\n  value 1\n", 13, 1,
       Body({{0x01, 0x00}, {0x01, 0x00, 0xBE}, {0x00, 0x00}, {0x00, 0x00}, {0x00, 0x00},
             {0x02, 0x00, 0x00, 0x00, 0x00, 0x00}, {0x02, 0x00, 0x00, 0x00, 0x00, 0x00}, {0x01, 0x04, 0x00, 0x01},
             {0x00, 0x00}})},
      {"constraint: grouped target values, flags, AND-closed condition, solution", "0.0.4.0",
       std::string(kOption7) +
           "constraint C\n target 7 eq i16:[1,2]\n action 3\n check 1024\n mode 0x100\n message \"HA\"\n"
           " cond 16 eq i16:1 4\n solve 7 eq i16:1\n",
       7, 1,
       Body({{0x01, 0x00},
             {0x07, 0x00, 0x01, 0x02, 0x00, 0x80, 0x02, 0x00, 0x01, 0x00},
             {0x03, 0x05},
             {0x02, 0x00, 0xB7, 0xBE},
             {0x0D, 0x00, 0x00, 0x00, 0x01, 0x00, 0x10, 0x00, 0x01, 0x01, 0x00, 0x02, 0x02, 0x00, 0x01, 0x00, 0x04},
             {0x0C, 0x00, 0x00, 0x00, 0x01, 0x00, 0x07, 0x00, 0x01, 0x01, 0x00, 0x02, 0x02, 0x00, 0x01, 0x00}})},
      {"the rule is listed by its option (first pass: second list)", "0.0.4.0",
       std::string(kOption7) + "constraint C\n target 7 eq i16:2\n action 2\n",
       4, 7,
       Body({{0x07, 0x00}, {0x01, 0x00, 0xB0}, {0x01}, {0x02, 0x00}, {0x00, 0x00},
             {0x06, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01, 0x00, 0x02, 0x00},
             {0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00}, {0x02, 0x00, 0x00, 0x00, 0x00, 0x00}, {0x00, 0x00},
             {0x00, 0x00}})},
      {"... and by the item whose value it names (second pass: second list)", "0.0.4.0",
       std::string(kOption7) + "constraint2 C\n target 7 eq i16:2\n action 2\n",
       14, 2,
       Body({{0x02, 0x00}, {0x01, 0x00, 0xBD}, {0x00, 0x00}, {0x00, 0x00}, {0x00, 0x00},
             {0x02, 0x00, 0x00, 0x00, 0x00, 0x00}, {0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00},
             {0x02, 0x02, 0x00, 0x02, 0x00}, {0x00, 0x00}})},
      {"grouped values made from a list", "0.0.4.0",
       std::string(kOption7) + "constraint C\n target 7 eq i16:[1,2]\n action 3\n", 20, 1,
       Body({{0x01, 0x00}, {0x00, 0x00}, {0x02}, {0x02, 0x00}, {0x00, 0x00, 0x00, 0x00}, {0x02, 0x00},
             {0x01, 0x00, 0x02, 0x00}})},
      {"EJCL: hint, one condition, command without argument", "0.0.4.0",
       "ejcl\n hint 12\n cond 334 eq u8:5 4\n command \"@X=\"\n", 15, 1,
       Body({{0x01, 0x00}, {0x0C, 0x00},
             {0x0C, 0x00, 0x00, 0x00, 0x01, 0x00, 0x4E, 0x01, 0x01, 0x01, 0x00, 0x08, 0x01, 0x00, 0x05, 0x04},
             {0x03, 0x00, 0xBF, 0xA7, 0xC2}, {0x00, 0x00}})},
      {"EJCL at format 1280 carries its flag", "0.0.5.0", "ejcl\n command \"@X=\"\n argument \"A\"\n flag 1\n", 15, 1,
       Body({{0x01, 0x00}, {0x00, 0x00}, {0x02, 0x00, 0x00, 0x00, 0x00, 0x00}, {0x03, 0x00, 0xBF, 0xA7, 0xC2},
             {0x01, 0x00, 0xBE}, {0x01, 0x00}})},
      {"tray: size id, PCL XL source, paper list, duplex, second name", "0.0.4.0",
       "size S\n fixed 2100 2970\npaper P\n id 9\n name \"P\"\n size @size:S\n imageable @size:S\n margin @size:S\n"
       "tray T\n id 1\n name \"HA\"\n size @size:S\n nrv 4\n papers @paper:P\n duplex 1\n name2 \"A\"\n",
       5, 1,
       Body({{0x01, 0x00}, {0x02, 0x00, 0xB7, 0xBE}, {0x01, 0x00}, {0x04, 0x00},
             {0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x09, 0x00}, {0x02, 0x00, 0x00, 0x00, 0x00, 0x00}, {0x01},
             {0x01, 0x00, 0xBE}})},
      {"favourite: skipped word, entries as type-size-values", "0.0.4.0",
       "favorite F\n name \"HA\"\n set 16 i16:2\n set 259 str: \"A\"\n", 21, 1,
       Body({{0x01, 0x00}, {0x02, 0x00, 0xB7, 0xBE}, {0x00, 0x00, 0x00, 0x00}, {0x02, 0x00},
             {0x10, 0x00, 0x02, 0x02, 0x00, 0x02, 0x00}, {0x03, 0x01, 0x06, 0x01, 0x00, 0xBE}})},
      {"paper type", "0.0.4.0", "papertype T\n id 3\n name \"HA\"\n duplex 1\n", 19, 3,
       Body({{0x03, 0x00}, {0x02, 0x00, 0xB7, 0xBE}, {0x01}, {0x00, 0x00}})},
      {"model data block", "0.0.4.0", "nrv\n byte1 1\n byte2 2\n data 0a0b\n", 16, 1,
       Body({{0x01, 0x00}, {0x02, 0x00, 0x00, 0x00, 0x00, 0x00}, {0x01, 0x02}, {0x02, 0x00, 0x0A, 0x0B}})},
      {"tray index", "0.0.4.0", "trayindex\n entry 1 4 0\n", 23, 1,
       Body({{0x01, 0x00}, {0x02, 0x00, 0x00, 0x00, 0x00, 0x00},
             {0x08, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00}})},
      {"device query", "0.0.4.0",
       "adcquery\n ddm 4097\n kind 1\n vtype 1\n vsize 4\n flag 1\n query \"HA\"\n extra u16:3\n", 22, 1,
       Body({{0x01, 0x00}, {0x01, 0x10}, {0x01, 0x00}, {0x01}, {0x04, 0x00}, {0x00}, {0x01, 0x00}, {0x00, 0x00},
             {0x06, 0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0xB7, 0xBE},
             {0x07, 0x00, 0x00, 0x00, 0x01, 0x00, 0x03, 0x02, 0x00, 0x03, 0x00}})},
      {"picture condition with a boolean condition", "0.0.4.0",
       "image I\n row \"0f\"\nimcondition\n cond 4099 eq bool:1 4\n at 3 4 @image:I\n", 9, 1,
       Body({{0x01, 0x00},
             {0x0C, 0x00, 0x00, 0x00, 0x01, 0x00, 0x03, 0x10, 0x01, 0x01, 0x00, 0x01, 0x04, 0x00, 0x01, 0x04},
             {0x03, 0x00, 0x04, 0x00, 0x01, 0x00}})},
      {"external string: fallback text, selector, id, 0", "0.0.4.0", "papertype T\n id 3\n name \"HA\" res 1 7\n", 19,
       3, Body({{0x03, 0x00}, {0x07, 0x00, 0xB7, 0xBE, 0x01, 0x00, 0x07, 0x00, 0x00}, {0x00}, {0x00, 0x00}})},
  };
}

TEST(DddcRecords, EachKindIsByteExact) {
  for (const RecordCase& c : RecordCases()) {
    SCOPED_TRACE(c.what);
    Output out = CompileText(Prelude(c.format) + c.source, "case.dds", ".");
    ASSERT_TRUE(out.ok) << out.errors[0];
    Bytes rec = Record(out.main, out.referenced, c.category, c.id);
    ASSERT_GE(rec.size(), 4u);
    EXPECT_EQ(Get32(rec, 0), rec.size());
    EXPECT_EQ(Bytes(rec.begin() + 4, rec.end()), c.want);
  }
}

TEST(DddcRecords, PictureIsAFileHeaderAndAPackedBitmap) {
  Output out = CompileText(Prelude() + "image I\n kind 2\n row \"0f\"\n", "image.dds", ".");
  ASSERT_TRUE(out.ok) << out.errors[0];
  Bytes rec = Record(out.main, out.referenced, 12, 1);
  Bytes want;
  Le32(want, 0);
  Le16(want, 1);
  Add(want, {0x02});          // image kind
  Le16(want, 2);              // width
  Le16(want, 1);              // height
  Le16(want, 0);              // skipped block: empty
  Le32(want, 14 + 40 + 64 + 4);
  Add(want, {'B', 'M'});
  Le32(want, 14 + 40 + 64 + 4);
  Le32(want, 0);
  Le32(want, 14 + 40 + 64);   // bits after the 16 colours
  Le32(want, 40);
  Le32(want, 2);
  Le32(want, 1);
  Le16(want, 1);
  Le16(want, 4);
  Le32(want, 0);
  Le32(want, 4);
  Le32(want, 3780);
  Le32(want, 3780);
  Le32(want, 16);
  Le32(want, 0);
  const uint32_t rgb[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                            0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  for (uint32_t c : rgb) Add(want, {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});
  Add(want, {0x0F, 0x00, 0x00, 0x00});  // one row, black then white, padded
  want[0] = uint8_t(want.size());
  EXPECT_EQ(rec, want);
}

// Two widths lines continue one list.
TEST(DddcRecords, FontNamesListsMetricsAndExtraValues) {
  Output out = CompileText(Prelude() +
                               "font F\n name \"HA\"\n name2 \"A\"\n subst \"AB\" \"C\"\n facename \"F\"\n"
                               " familyname \"G\"\n fontid \"1\"\n ascent 1\n descent 2\n maxwidth 3\n first 65\n"
                               " last 66\n widths 10\n widths 20\n printer_name \"P\"\n symbol_set 590\n",
                           "font.dds", ".");
  ASSERT_TRUE(out.ok) << out.errors[0];
  Bytes rec = Record(out.main, out.referenced, 11, 1);
  Bytes head = Body({{0x01, 0x00}, {0x02, 0x00, 0xB7, 0xBE}, {0x01, 0x00, 0xBE},
                     {0x02, 0x00, 0x02, 0x00, 0x01, 0x00, 0xBE, 0xBD, 0xBC},  // count, lengths, then the bodies
                     {0x00, 0x00},                                            // no second list
                     {0x00, 0x00}});                                          // skipped block
  ASSERT_GT(rec.size(), 4 + head.size() + 4);
  EXPECT_EQ(Bytes(rec.begin() + 4, rec.begin() + 4 + long(head.size())), head);
  size_t x = 4 + head.size() + 4;
  uint32_t xfmSize = Get32(rec, 4 + head.size());
  // 83 fixed bytes, "F\0G\0", 13 metric values, 2 widths, no kerning pairs, "1\0".
  ASSERT_EQ(xfmSize, 83u + 4 + 52 + 4 + 2 + 2);
  Bytes xfm(rec.begin() + long(x), rec.begin() + long(x + xfmSize));
  EXPECT_EQ(Get32(xfm, 0), xfmSize);
  EXPECT_EQ(Get16(xfm, 14), 1u);   // ascent
  EXPECT_EQ(Get16(xfm, 16), 2u);   // descent line
  EXPECT_EQ(Get16(xfm, 23), 400u);  // weight
  EXPECT_EQ(Get16(xfm, 33), 3u);   // maximum width
  EXPECT_EQ(xfm[35], 65);
  EXPECT_EQ(xfm[36], 66);
  EXPECT_EQ(Get32(xfm, 45), 83u - 6);
  EXPECT_EQ(Bytes(xfm.begin() + 83, xfm.begin() + 87), Bytes({'F', 0, 'G', 0}));
  EXPECT_EQ(Get32(xfm, 59), 87u - 6);
  EXPECT_EQ(Get32(xfm, 63), 139u - 6);
  EXPECT_EQ(Get16(xfm, 139), 10u);
  EXPECT_EQ(Get16(xfm, 141), 20u);
  EXPECT_EQ(Get32(xfm, 71), 143u - 6);
  EXPECT_EQ(Get16(xfm, 143), 0u);
  EXPECT_EQ(Get32(xfm, 79), 145u - 6);
  EXPECT_EQ(xfm[145], '1');
  Bytes tail = Body({{0x00, 0x00},                    // flag
                     {0x02, 0x00},                    // two extra values
                     {0x06, 0x01, 0x00, 0xAF},        // printer font name "P"
                     {0x03, 0x02, 0x00, 0x4E, 0x02}});  // symbol set 590
  EXPECT_EQ(Bytes(rec.begin() + long(x + xfmSize), rec.end()), tail);
}

TEST(DddcRecords, IconIsA32PixelIconImageWithItsMask) {
  std::string src = Prelude() + "icon X\n scale 4\n";
  for (int r = 0; r < 8; ++r) src += r == 0 ? " row \"f.......\"\n" : " row \"........\"\n";
  Output out = CompileText(src, "icon.dds", ".");
  ASSERT_TRUE(out.ok) << out.errors[0];
  Bytes rec = Record(out.main, out.referenced, 18, 1);
  ASSERT_GE(rec.size(), 8u);
  uint32_t n = Get16(rec, 6);
  ASSERT_EQ(rec.size(), 8 + n);
  Bytes img(rec.begin() + 8, rec.end());
  EXPECT_EQ(Get32(img, 4), 32u);   // width
  EXPECT_EQ(Get32(img, 8), 64u);   // height counts colour bits and mask
  EXPECT_EQ(Get16(img, 14), 4u);
  // 40 header + 64 colours + 32 rows x 16 bytes + 32 mask rows x 4 bytes.
  EXPECT_EQ(n, 40u + 64 + 32 * 16 + 32 * 4);
  // Top row (stored last): four white pixels, then transparent.
  size_t topColour = 40 + 64 + 31 * 16;
  EXPECT_EQ(img[topColour], 0xFF);
  EXPECT_EQ(img[topColour + 1], 0xFF);
  EXPECT_EQ(img[topColour + 2], 0x00);
  size_t topMask = 40 + 64 + 32 * 16 + 31 * 4;
  EXPECT_EQ(img[topMask], 0x0F);  // first four pixels opaque
  EXPECT_EQ(img[topMask + 1], 0xFF);
}

TEST(DddcLayout, RecordsOfTheReferencedFileAreIndexedAlikeInBothFiles) {
  Output out = CompileText(Prelude("0.0.4.0", "referenced \"R.DDD\"\n") +
                               "papertype A\n id 1\n name \"A\"\npapertype B\n id 2\n name \"B\"\n file referenced\n",
                           "pair.dds", ".");
  ASSERT_TRUE(out.ok) << out.errors[0];
  EXPECT_EQ(out.referencedName, "R.DDD");
  std::vector<Entry> inMain = Table(out.main, 19), inRef = Table(out.referenced, 19);
  ASSERT_EQ(inMain.size(), 2u);
  ASSERT_EQ(inRef.size(), 2u);
  EXPECT_EQ(inMain[0].location, 2);
  EXPECT_EQ(inMain[1].location, 1);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(inMain[i].id, inRef[i].id);
    EXPECT_EQ(inMain[i].location, inRef[i].location);
    EXPECT_EQ(inMain[i].offset, inRef[i].offset);
  }
  Bytes b = Record(out.main, out.referenced, 19, 2);
  ASSERT_FALSE(b.empty());
  EXPECT_EQ(b[6], 0x01);  // name "B": one byte
  EXPECT_EQ(b[8], uint8_t(~'B'));
  // The main file names its partner; the partner names none.
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&out.main[160])), "R.DDD");
  EXPECT_EQ(out.referenced[160], 0);
}

TEST(DddcLayout, ItemTwoBoundsTheCommandText) {
  // Per record: three bytes a stored character, two quotes and the line
  // end; a hinted record adds room for its value.
  Output out = CompileText(Prelude() + "ejcl\n command \"@A=\"\n argument \"XY\"\nejcl\n hint 12\n command \"@Q=\"\n",
                           "ejcl.dds", ".");
  ASSERT_TRUE(out.ok) << out.errors[0];
  uint32_t item2 = Get32(out.main, 224 + 4 + 2);
  EXPECT_EQ(item2, (3 * 5 + 3) + (3 * 3 + 3 + 768));
}

struct Refusal {
  const char* what;
  std::string source;  // appended to the prelude (or whole, when `whole`)
  const char* message;
  bool whole = false;
};

std::vector<Refusal> Refusals() {
  const std::string opt = "option O\n id 7\n name \"O\"\n value i16 2\n default A\n item A\n  name \"A\"\n  value 1\n";
  return {
      {"an item id other than its position",
       "option O\n id 7\n name \"O\"\n value i16 2\n default A\n item A\n  id 2\n  name \"A\"\n  value 1\n",
       "differs from its position"},
      {"an option without items", "option O\n id 7\n name \"O\"\n value i16 2\n", "has no items"},
      {"a default that is no item",
       "option O\n id 7\n name \"O\"\n value i16 2\n default 3\n item A\n  name \"A\"\n  value 1\n",
       "no valid default"},
      {"a paper-list item that stands for no paper",
       "option P\n id 8\n name \"P\"\n value i16 2\n default A\n item A\n  name \"A\"\n  value 9\n",
       "must stand for a paper"},
      {"an item naming a missing paper by number",
       "option O\n id 262\n name \"O\"\n value u16 2\n default A\n item A\n  name \"A\"\n  ref 10 9\n  value 9\n",
       "no paper has id 9"},
      {"a paper whose size names nothing",
       "paper P\n id 9\n name \"P\"\n size @size:Missing\n imageable fixed 10 10\n margin 1 1 1 1\n",
       "names nothing"},
      {"a tray without a size", "tray T\n id 1\n name \"T\"\n", "missing field 'size'"},
      {"a registry path without its backslash", "", "must end with a backslash"},
      {"a model name longer than its member", "", "1 to 31 characters"},
      {"a text that would read as an external-string reference",
       "papertype T\n id 1\n name \"Caf\xC3\xBF\"\n", "external-string reference"},
      {"a 32-bit value of size 0", opt + "constraint C\n target 7 eq i16:1\n action 2\n cond 12 eq long:none 4\n",
       "must have a size"},
      {"two records with one id", "papertype A\n id 1\n name \"A\"\npapertype B\n id 1\n name \"B\"\n",
       "is used twice"},
      {"a field the record does not have", "papertype A\n id 1\n name \"A\"\n colour 2\n", "unknown field"},
      {"a field the format version does not have yet", "papertype A\n id 1\n name \"A\"\n", "format version 512",
       false},
      {"a rule about a setting no option lists", "constraint C\n target 9999 eq u16:1\n action 2\n",
       "has no option"},
      {"a rule value no item has", opt + "constraint C\n target 7 eq i16:5\n action 2\n", "matches no item"},
      {"a text outside code page 1252", "papertype T\n id 1\n name \"\xE2\x82\xAC\xE4\xB8\x80\"\n",
       "not in code page 1252"},
      {"room for fewer papers than the model has", "", "below the number of papers"},
      {"an include that is missing", "include \"no-such-file.dds\"\n", "cannot read include file"},
      {"more widths than characters over two lines",
       "font F\n name \"F\"\n facename \"F\"\n familyname \"F\"\n fontid \"1\"\n ascent 1\n descent 2\n"
       " maxwidth 3\n first 65\n last 66\n widths 10 20\n widths 30\n",
       "more widths than characters"},
      {"a printer font name over the 16 bytes SetFont carries",
       "font F\n name \"F\"\n facename \"F\"\n familyname \"F\"\n fontid \"1\"\n ascent 1\n descent 2\n"
       " maxwidth 3\n printer_name \"Helvetica      Bd\"\n",
       "at most 16 characters"},
      {"a DDM id that is never looked up as an option", "option O\n id 275\n name \"O\"\n value i16 2\n",
       "not looked up as an option"},
  };
}

TEST(DddcRefusals, SourcesBreakingAnInvariantAreRefusedWithFileAndLine) {
  for (const Refusal& r : Refusals()) {
    SCOPED_TRACE(r.what);
    std::string src;
    std::string what = r.what;
    if (what == "a registry path without its backslash") {
      src = Prelude();
      src.replace(src.find("info 30 \"R\\\\\""), 13, "info 30 \"R\"  ");
    } else if (what == "a model name longer than its member") {
      src = Prelude();
      src.replace(src.find("model \"M\""), 9, "model \"" + std::string(32, 'N') + "\"");
    } else if (what == "a field the format version does not have yet") {
      src = Prelude("0.0.1.0") + r.source;  // paper types need 512
    } else if (what == "room for fewer papers than the model has") {
      src = Prelude();
      src.replace(src.find("info 41 8"), 9, "info 41 0");
      src += "size S\n fixed 10 10\npaper P\n id 9\n name \"P\"\n size @size:S\n imageable @size:S\n margin @size:S\n";
    } else {
      src = Prelude() + r.source;
    }
    Output out = CompileText(src, "bad.dds", ".");
    EXPECT_FALSE(out.ok);
    EXPECT_TRUE(out.main.empty());
    bool found = false;
    for (const std::string& e : out.errors) {
      found = found || e.find(r.message) != std::string::npos;
      EXPECT_EQ(e.rfind("bad.dds:", 0), 0u) << e;
    }
    EXPECT_TRUE(found) << "no error says '" << r.message << "'; first: " << (out.errors.empty() ? "" : out.errors[0]);
  }
}

TEST(DddcRefusals, VersionTextsOutsideTheirRules) {
  const char* versions[] = {"T1.2.3", "T:1.2", "T:256.0.0", "T:1.256.0", "T:1.2.65536", "T:1..3"};
  for (const char* v : versions) {
    SCOPED_TRACE(v);
    std::string src = Prelude();
    src.replace(src.find("\"T:1.2.3\""), 9, std::string("\"") + v + "\"");
    EXPECT_FALSE(CompileText(src, "v.dds", ".").ok);
  }
}

TEST(DddcRefusals, IncludeCycleIsRefused) {
  TempRoot dir;
  WriteHostFile(dir.host("a.dds"), "include \"b.dds\"\n");
  WriteHostFile(dir.host("b.dds"), "include \"a.dds\"\n");
  Output out = dddc::CompileFile(dir.host("a.dds"));
  ASSERT_FALSE(out.ok);
  EXPECT_NE(out.errors[0].find("includes itself"), std::string::npos) << out.errors[0];
}

// --- The devmode-member check ----------------------------------------------

// An option of the DDM id with the declaration and one item per value:
// line 4 is the `value` line, item k's value is on line 8 + 3k.
std::string MemberOption(int id, const std::string& decl, const std::vector<std::string>& values) {
  std::string s = "option O\n id " + std::to_string(id) + "\n name \"O\"\n value " + decl + "\n default I1\n";
  for (size_t k = 0; k < values.size(); ++k) {
    s += " item I" + std::to_string(k + 1) + "\n  name \"I\"\n  value " + values[k] + "\n";
  }
  return s;
}

int LineCount(const std::string& s) { return static_cast<int>(std::count(s.begin(), s.end(), '\n')); }

struct MemberMisfit {
  const char* what;
  std::string source;              // appended to the prelude
  int line;                        // line of the error within `source`
  std::vector<std::string> says;   // every piece the message must hold
};

std::vector<MemberMisfit> MemberMisfits() {
  return {
      {"a 16-bit value for the byte member of installed memory", MemberOption(4353, "u16 2", {"4"}), 4,
       {"option O (DDM 4353) declares u16 2", "which does not fit member 4353 (printer data at offset 3048; u8 1)",
        "type differs"}},
      {"unsigned for a signed member", MemberOption(7, "u16 2", {"1"}), 4,
       {"declares u16 2", "member 7 (devmode at offset 76; i16 2)"}},
      {"a byte for a 16-bit member", MemberOption(262, "u8 1", {"1"}), 4,
       {"declares u8 1", "member 262 (devmode at offset 296; u16 2)"}},
      {"16 bits for the 32-bit resolution pair", MemberOption(14, "u16 2", {"600"}), 4,
       {"declares u16 2", "member 14 (devmode at offset 90; u32 4)"}},
      {"a one-byte boolean for a flag", MemberOption(4097, "bool 1", {"1"}), 4,
       {"declares bool 1", "; bool 4, bit 0x1 of a 32-bit word)", "size is not"}},
      {"a boolean for a 16-bit member", MemberOption(262, "bool 4", {"1"}), 4, {"declares bool 4", "; u16 2)"}},
      {"a number for a string member", MemberOption(435, "u16 2", {"1"}), 4,
       {"member 435 (devmode at offset 1462; str of up to 10 bytes)", "string member takes str"}},
      {"a string wider than its member", MemberOption(435, "str 12", {"\"AB\""}), 4,
       {"declares str 12", "up to 10 bytes", "capacity"}},
      {"a font member not declared as its 92 bytes", MemberOption(304, "bin 90", {"ab"}), 4,
       {"declares bin 90", "; bin 92 (a font))"}},
      {"a byte for a member of the non-devmode record", MemberOption(1803, "u8 1", {"1"}), 4,
       {"member 1803 (non-devmode record at offset 1040; u16 2)"}},
      {"an item value past a byte member read as 16 bits", MemberOption(264, "u16 2", {"1", "300"}), 11,
       {"item I2 of option O: value 300 does not fit member 264 (devmode at offset 300; u8 1 or u16 2)",
        "only 8 bits"}},
      {"a packed byte's value outside its byte", MemberOption(392, "u32 4", {"0x100"}), 8,
       {"value 0x100 does not fit member 392", "bits outside the member's 0xFF"}},
      {"a flag read as a byte given 2", MemberOption(1296, "u8 1", {"0", "2"}), 11,
       {"value 2 does not fit member 1296", "; bool 4 or u8 1, bit 0x8000", "only 0 or 1"}},
      {"a favourite's 16-bit setting of a byte member", "favorite F\n name \"F\"\n set 4353 u16:4\n", 3,
       {"favourite F's setting (DDM 4353) is u16 2, which does not fit", "; u8 1)"}},
      {"a favourite's text longer than its member", "favorite F\n name \"F\"\n set 435 str: \"ABCDEFGH\"\n", 3,
       {"(DDM 435) is str 18", "capacity"}},
      {"a device query answering 16 bits for a byte member", "adcquery\n ddm 4353\n kind 2\n vtype 3\n vsize 2\n", 4,
       {"the device query's answer (DDM 4353) is u16 2", "; u8 1)"}},
  };
}

TEST(DddcMemberCheck, ValuesThatDoNotFitTheirMemberAreRefusedAtTheirLine) {
  const std::string prelude = Prelude();
  for (const MemberMisfit& c : MemberMisfits()) {
    SCOPED_TRACE(c.what);
    Output out = CompileText(prelude + c.source, "bad.dds", ".");
    EXPECT_FALSE(out.ok);
    EXPECT_TRUE(out.main.empty());
    ASSERT_EQ(out.errors.size(), 1u) << (out.errors.empty() ? "" : out.errors[0]);
    const std::string& e = out.errors[0];
    EXPECT_EQ(e.rfind("bad.dds:" + std::to_string(LineCount(prelude) + c.line) + ": ", 0), 0u) << e;
    for (const std::string& piece : c.says) EXPECT_NE(e.find(piece), std::string::npos) << piece << " | " << e;
  }
}

TEST(DddcMemberCheck, EveryWayAValueFitsIsAccepted) {
  const std::pair<const char*, std::string> fits[] = {
      {"a byte member read as 16 bits, as a byte", MemberOption(264, "u8 1", {"0", "255"})},
      {"... and as 16 bits within the byte", MemberOption(264, "u16 2", {"0", "255"})},
      {"installed memory in a byte", MemberOption(4353, "u8 1", {"2", "4", "8"})},
      {"a flag of the option words", MemberOption(4097, "bool 4", {"0", "1"})},
      {"a flag of the second option word", MemberOption(4129, "bool 4", {"0", "1"})},
      {"a flag through its reported byte", MemberOption(1296, "u8 1", {"0", "1"})},
      {"the inverted flag through its reported 32 bits", MemberOption(1284, "u32 4", {"0", "1"})},
      {"a 4-byte boolean of the printer data", MemberOption(8206, "bool 4", {"0", "1"})},
      {"the resolution pair", MemberOption(14, "u32 4", {"39322200"})},
      {"a string within its capacity", MemberOption(435, "str 10", {"\"ABCD\""})},
      {"a string member at its odd offset", MemberOption(329, "str 49", {"\"A\""})},
      {"the second byte of a packed word, in place", MemberOption(393, "u32 4", {"256", "65280"})},
      {"a member of the non-devmode record", MemberOption(1803, "u16 2", {"1"})},
      {"an id without member (289)", MemberOption(289, "u16 2", {"7"})},
      {"an id in no group (26)", MemberOption(26, "u16 2", {"7"})},
      {"favourite settings", "favorite F\n name \"F\"\n set 14 u32:39322200\n set 264 u16:3\n set 259 str: \"A\"\n"},
      {"device queries", "adcquery\n ddm 4353\n kind 2\n vtype 8\n vsize 1\nadcquery\n ddm 4097\n vtype 1\n vsize 4\n"},
  };
  for (const auto& [what, source] : fits) {
    SCOPED_TRACE(what);
    Output out = CompileText(Prelude() + source, "good.dds", ".");
    EXPECT_TRUE(out.ok) << (out.errors.empty() ? "" : out.errors[0]);
  }
}

// --- Writing --------------------------------------------------------------

std::string Slurp(const std::string& p) { return ReadHostFile(p); }

int RunDddc(const std::string& args) { return std::system((std::string(KESTREL_DDDC) + " " + args + " 2>/dev/null").c_str()); }

TEST(DddcWrite, WritesBothFilesAndLeavesNoTemporaries) {
  TempRoot dir;
  WriteHostFile(dir.host("m.dds"), Prelude("0.0.4.0", "referenced \"PAIR.DDD\"\n") +
                                       "papertype A\n id 1\n name \"A\"\n file referenced\n");
  EXPECT_NE(RunDddc(dir.host("m.dds") + " -o " + dir.host("out/MAIN.DDD")), 0)
      << "the output folder does not exist: the write must fail";
  fs::create_directories(dir.host("out"));
  ASSERT_EQ(RunDddc(dir.host("m.dds") + " -o " + dir.host("out/MAIN.DDD")), 0);
  Output direct = dddc::CompileFile(dir.host("m.dds"));
  EXPECT_EQ(Slurp(dir.host("out/MAIN.DDD")), std::string(direct.main.begin(), direct.main.end()));
  EXPECT_EQ(Slurp(dir.host("out/PAIR.DDD")), std::string(direct.referenced.begin(), direct.referenced.end()));
  size_t files = 0;
  for (auto& e : fs::directory_iterator(dir.host("out"))) files += e.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 2u);
}

TEST(DddcWrite, AFailedCompileOrWriteLeavesTheOldFilesAlone) {
  TempRoot dir;
  fs::create_directories(dir.host("out"));
  WriteHostFile(dir.host("out/MAIN.DDD"), "old main");
  WriteHostFile(dir.host("out/PAIR.DDD"), "old pair");
  // A source with an error: nothing is written.
  WriteHostFile(dir.host("bad.dds"), Prelude() + "papertype A\n name \"A\"\n");
  EXPECT_NE(RunDddc(dir.host("bad.dds") + " -o " + dir.host("out/MAIN.DDD")), 0);
  EXPECT_EQ(Slurp(dir.host("out/MAIN.DDD")), "old main");
  // A good source whose referenced file cannot be put in place (a folder
  // stands where it goes): neither file changes, no temporary stays.
  WriteHostFile(dir.host("good.dds"), Prelude("0.0.4.0", "referenced \"BLOCKED.DDD\"\n") +
                                          "papertype A\n id 1\n name \"A\"\n file referenced\n");
  fs::create_directories(dir.host("out/BLOCKED.DDD/inside"));
  EXPECT_NE(RunDddc(dir.host("good.dds") + " -o " + dir.host("out/MAIN.DDD")), 0);
  EXPECT_EQ(Slurp(dir.host("out/MAIN.DDD")), "old main");
  EXPECT_EQ(Slurp(dir.host("out/PAIR.DDD")), "old pair");
  size_t entries = 0;
  for (auto& e : fs::directory_iterator(dir.host("out"))) entries += e.path().filename().string().find(".tmp") == std::string::npos ? 0 : 1;
  EXPECT_EQ(entries, 0u);
}

}  // namespace
}  // namespace kestrel::test
