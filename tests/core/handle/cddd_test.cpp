// The device description handle over the two models: opening and closing,
// the attached pre-configuration and emulation slots, defaults, value lists,
// paper searches, printer information and the model-dependent defaults the
// reader asks this library for.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../ddd_builder.h"
#include "common_fixture.h"
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kwindows.h"

namespace kestrel::test::common {
namespace {

class Handle : public ModelTest {};

TEST_F(Handle, PrinterInformationOfBothModels) {
  struct Row {
    const char16_t* printer;
    const char16_t* model;
    WORD copies;
    LONG colour;
    WORD icm;
  };
  const Row rows[] = {{kK350, u"Scriva K350", 9999, 2, 2}, {kK260, u"Scriva K260", 999, -1, 0}};
  for (const Row& row : rows) {
    HCDDD h = Open(row.printer);
    ASSERT_NE(nullptr, h);
    WORD status = 9;
    LPWSTR model = cdddGetModelName(h, &status);
    ASSERT_NE(nullptr, model);
    EXPECT_EQ(std::u16string(row.model), model);
    EXPECT_EQ(CDDD_OK, status);
    kcore_Free(model);
    EXPECT_EQ(row.copies, cdddGetMaxCopies(h));
    EXPECT_EQ(row.colour, cdddGetPrinterColor(h));
    EXPECT_EQ(row.icm, cdddGetICMVersion(h));
  }
  // No handle: the two colour answers stay apart.
  EXPECT_EQ(0xFFFF, cdddGetPrinterColor(nullptr));
  EXPECT_NE(cdddGetPrinterColor(nullptr), -1);
  EXPECT_EQ(65535, cdddGetICMVersion(nullptr));
  EXPECT_EQ(0, cdddGetMaxCopies(nullptr));
  WORD status = 0;
  EXPECT_EQ(nullptr, cdddGetModelName(nullptr, &status));
  EXPECT_EQ(CDDD_ERR, status);
}

TEST_F(Handle, MissingDataFileGivesNone) {
  ASSERT_TRUE(KpSpoolerAddPrinter(u"Lost", u"Scriva K350 PCL6", u"NONE.DDD", u"", u"kestrelui.dll"));
  HANDLE lost = Printer(u"Lost");
  ASSERT_NE(nullptr, lost);
  LPWSTR name = cdddGetFileName(lost);
  ASSERT_NE(nullptr, name);
  EXPECT_EQ(std::u16string(u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\NONE.DDD"), name);
  kcore_Free(name);
  SIZE_T blocks = KpGlobalBlockCount();
  EXPECT_EQ(nullptr, cddd_Open(lost));
  EXPECT_EQ(blocks, KpGlobalBlockCount());  // the half-built handle is freed
  EXPECT_EQ(nullptr, cddd_Open(nullptr));
  EXPECT_EQ(nullptr, cdddGetFileName(nullptr));
  EXPECT_FALSE(cddd_Close(nullptr));
  HCDDD h = cddd_Open(Printer(kK350));
  ASSERT_NE(nullptr, h);
  EXPECT_TRUE(cddd_Close(h));
}

// Pre-configuration and emulation layers that count their calls.
struct Attach {
  static inline int opens, closes, creates, destroys;
  static inline bool fail;
  static inline std::u16string model, config;
  static void* Open(LPCWSTR m, LPCWSTR c) {
    ++opens;
    model = m;
    config = c;
    return fail ? nullptr : kcore_Alloc(8);
  }
  static void Close(void* p) {
    ++closes;
    kcore_Free(p);
  }
  static void* Create(LPCWSTR, int section) {
    ++creates;
    return fail || section != 1 ? nullptr : kcore_Alloc(8);
  }
  static void Destroy(void* p) {
    ++destroys;
    kcore_Free(p);
  }
  static LPWSTR Config(HCDDD) {
    auto* s = static_cast<LPWSTR>(kcore_Alloc(32));
    std::u16string text = u"K350.cfg";
    for (size_t i = 0; i < text.size(); ++i) s[i] = text[i];
    return s;
  }
  static void Reset(bool failing) {
    opens = closes = creates = destroys = 0;
    fail = failing;
  }
};

TEST_F(Handle, PreConfigurationAndEmulationSlots) {
  // No layers attached: the slots stay empty and the handle works.
  HCDDD plain = Open(kK350);
  ASSERT_NE(nullptr, plain);
  EXPECT_EQ(nullptr, plain->preConfig);
  EXPECT_EQ(nullptr, plain->dme);
  EXPECT_EQ(9999, cdddGetMaxCopies(plain));

  CDDD_ATTACH_OPS ops{Attach::Open, Attach::Close, Attach::Create, Attach::Destroy, nullptr, Attach::Config};
  cddd_SetAttachOps(&ops);
  for (bool failing : {true, false}) {
    SCOPED_TRACE(failing);
    Attach::Reset(failing);
    HCDDD h = cddd_Open(Printer(kK350));
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(1, Attach::opens);
    EXPECT_EQ(1, Attach::creates);
    EXPECT_EQ(std::u16string(u"Scriva K350"), Attach::model);
    EXPECT_EQ(std::u16string(u"K350.cfg"), Attach::config);
    EXPECT_EQ(failing, h->preConfig == nullptr);
    EXPECT_EQ(failing, h->dme == nullptr);
    EXPECT_EQ(9999, cdddGetMaxCopies(h));  // usable either way
    EXPECT_TRUE(cddd_Close(h));
    EXPECT_EQ(failing ? 0 : 1, Attach::closes);
    EXPECT_EQ(failing ? 0 : 1, Attach::destroys);
  }
}

TEST(HandleStatus, ReaderResultsMapToFourStatuses) {
  const WORD rows[][2] = {{DDD_OK, CDDD_OK},         {DDD_ERR_ARG, CDDD_ERR},      {DDD_ERR_NOTFOUND, CDDD_NOTFOUND},
                          {DDD_ERR_MEMORY, CDDD_NOMEM}, {DDD_ERR_VERSION, CDDD_ERR}, {DDD_ERR_NODMA, CDDD_ERR},
                          {3, CDDD_ERR}};
  for (const auto& row : rows) EXPECT_EQ(row[1], cddd_MapStatus(row[0])) << row[0];
}

TEST_F(Handle, DefaultsAndTheirRelease) {
  HCDDD h = Open(kK350);
  ASSERT_NE(nullptr, h);
  struct Row {
    WORD ddmId;
    WORD type;
    ULONG_PTR value;
  };
  const Row rows[] = {{7, DDD_TYPE_SHORT, 1}, {8, DDD_TYPE_SHORT, 9}, {11, DDD_TYPE_SHORT, 100}, {12, DDD_TYPE_SHORT, 1}};
  for (const Row& row : rows) {
    ULONG_PTR value = 0;
    WORD type = 0, status = 9;
    ASSERT_TRUE(cdddGetDefaultDataInfo(h, row.ddmId, &value, &type, &status)) << row.ddmId;
    EXPECT_EQ(row.type, type);
    EXPECT_EQ(row.value, value);
    EXPECT_EQ(CDDD_OK, status);
  }
  // A string default is the reader's buffer until its free function (a
  // first read lets the reader set up its own string buffers).
  ULONG_PTR value = 0;
  WORD type = 0, status = 9;
  ASSERT_TRUE(cdddGetDefaultDataInfo(h, 435, &value, &type, &status));
  cdddGetDefaultDataFree(value, type);
  SIZE_T blocks = KpGlobalBlockCount();
  ASSERT_TRUE(cdddGetDefaultDataInfo(h, 435, &value, &type, &status));
  EXPECT_EQ(DDD_TYPE_STRING, type);
  EXPECT_EQ(std::u16string(u"0"), reinterpret_cast<LPCWSTR>(value));
  EXPECT_EQ(blocks + 1, KpGlobalBlockCount());
  cdddGetDefaultDataFree(value, type);
  EXPECT_EQ(blocks, KpGlobalBlockCount());

  EXPECT_FALSE(cdddGetDefaultDataInfo(h, 9999, &value, &type, &status));  // no such feature
  EXPECT_EQ(CDDD_NOTFOUND, status);
  EXPECT_EQ(0u, value);
  EXPECT_FALSE(cdddGetDefaultDataInfo(nullptr, 8, &value, &type, &status));
  EXPECT_EQ(CDDD_ERR, status);
  EXPECT_FALSE(cdddGetDefaultDataInfo(h, 8, nullptr, &type, &status));
}

TEST_F(Handle, ValueListsAndItems) {
  HCDDD h = Open(kK350);
  ASSERT_NE(nullptr, h);
  WORD method = 0, count = 0, status = 9;
  LPCWSTR name = nullptr;
  void* list = nullptr;
  ASSERT_TRUE(cdddGetSelectItemInfo(h, 7, &method, &count, &name, &list, &status));
  EXPECT_EQ(1, method);
  EXPECT_EQ(2, count);
  EXPECT_EQ(std::u16string(u"Orientation"), name);  // the text stored beside the external reference
  cdddSelectItemInfoFree(list);
  EXPECT_FALSE(cdddGetSelectItemInfo(h, 7, &method, &count, &name, nullptr, &status));
  EXPECT_EQ(CDDD_ERR, status);
  EXPECT_FALSE(cdddGetSelectItemInfo(h, 1, &method, &count, &name, &list, &status));  // no list: the model name

  DDD_GUIDATA* item = nullptr;
  ASSERT_TRUE(cdddGetSelectItemData(h, 7, 2, &item, &status));
  const void* value = nullptr;
  LPCWSTR itemName = nullptr;
  WORD type = 0;
  const DDD_ICONBYTES* image = nullptr;
  ASSERT_TRUE(cdddGetSelectItemForDataTbl(item, &value, &itemName, &type, &image));
  EXPECT_EQ(std::u16string(u"Landscape"), itemName);
  EXPECT_EQ(DDD_TYPE_SHORT, type);
  SHORT landscape = 0;
  std::memcpy(&landscape, value, sizeof landscape);
  EXPECT_EQ(2, landscape);
  EXPECT_NE(nullptr, image);
  cdddSelectItemDataFree(item);
  cdddSelectItemDataFree(nullptr);
  EXPECT_FALSE(cdddGetSelectItemForDataTbl(nullptr, &value, &itemName, &type, &image));

  EXPECT_FALSE(cdddGetSelectItemData(h, 7, 3, &item, &status));
  EXPECT_EQ(CDDD_NOTFOUND, status);
  EXPECT_EQ(nullptr, item);
  EXPECT_FALSE(cdddGetSelectItemData(h, 7, 0, &item, &status));
  EXPECT_EQ(CDDD_ERR, status);
}

TEST_F(Handle, ExternalStringsUseTheDriverDirectory) {
  // The referenced-name text of feature 7 is backed by string 6001 of the
  // resource module named in the data file; it is found once the library
  // knows its driver directory.
  StartResources("kcore_test_rs_digits.zrs");
  HCDDD h = Open(kK350);
  ASSERT_NE(nullptr, h);
  WORD status = 0;
  LPCWSTR name = nullptr;
  void* list = nullptr;
  ASSERT_TRUE(cdddGetSelectItemInfo(h, 7, nullptr, nullptr, &name, &list, &status));
  EXPECT_EQ(std::u16string(u"Page Orientation"), name);
  cdddSelectItemInfoFree(list);
}

DDD_VALUE Short(SHORT& v) {
  DDD_VALUE value{};
  value.type = DDD_TYPE_SHORT;
  value.size = 2;
  value.count = 1;
  value.data = &v;
  return value;
}

TEST_F(Handle, SearchAcceptsRangeValuesAndExactListValues) {
  HCDDD h = Open(kK350);
  ASSERT_NE(nullptr, h);
  struct Row {
    WORD ddmId;
    SHORT value;
    BOOL found;
  };
  const Row rows[] = {
      {7, 2, TRUE},     {7, 3, FALSE},               // a list: exact items only
      {11, 250, TRUE},  {11, 25, TRUE},  {11, 400, TRUE}, {11, 24, FALSE}, {11, 401, FALSE},  // range 25-400
      {12, 5000, TRUE}, {12, 0, FALSE},                // copies 1-9999
      {9999, 1, FALSE},
  };
  for (const Row& row : rows) {
    SHORT v = row.value;
    DDD_VALUE value = Short(v);
    EXPECT_EQ(row.found, cdddSearchItemData(h, row.ddmId, &value)) << row.ddmId << " " << row.value;
  }
  EXPECT_FALSE(cdddSearchItemData(h, 7, nullptr));
}

TEST_F(Handle, RangeValuesLieOnTheStep) {
  // Options 11 (method 4), 12 (method 6) and 13 (method 1) share the items
  // minimum 10, maximum 100, step 5 and default 50.
  using namespace kestrel::test::ddd;
  FileBuilder file;
  auto item = [](const char* name, unsigned v) {
    return Str(name) + U16(0) + U16(0) + U16(0) + IdList({}) + IdList({}) + Val(2, 2, U16(v)) + U16(0);
  };
  file.Add(14, 1, Rec(1, item("Minimum", 10)));
  file.Add(14, 2, Rec(2, item("Maximum", 100)));
  file.Add(14, 3, Rec(3, item("Step", 5)));
  file.Add(14, 4, Rec(4, item("Default", 50)));
  for (unsigned method : {4u, 6u, 1u}) {
    unsigned id = method == 4 ? 11 : method == 6 ? 12 : 13;
    file.Add(4, id, Rec(id, Str("Range") + U8(method) + U16(4) + U16(0) + IdList({1, 2, 3, 4}) + IdList({}) +
                                IdList({}) + U16(0) + Str("")));
  }
  WriteHostFile(root_.host(std::string(kDriverDir) + "RANGE.DDD"), file.Build());
  HCDDD h = OpenFile(u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\RANGE.DDD");
  ASSERT_NE(nullptr, h);
  struct Row {
    WORD ddmId;
    SHORT value;
    BOOL found;
  };
  const Row rows[] = {
      {11, 10, TRUE},  {11, 15, TRUE}, {11, 100, TRUE}, {11, 12, FALSE}, {11, 5, FALSE}, {11, 105, FALSE},
      {12, 95, TRUE},  {12, 96, FALSE},
      {13, 15, FALSE}, {13, 5, TRUE},  {13, 50, TRUE},  // a plain list matches its items only
  };
  for (const Row& row : rows) {
    SHORT v = row.value;
    DDD_VALUE value = Short(v);
    EXPECT_EQ(row.found, cdddSearchItemData(h, row.ddmId, &value)) << row.ddmId << " " << row.value;
  }
}

TEST(SamePaperSize, OrientationAndTolerance) {
  struct Row {
    LONG w1, l1, w2, l2;
    BOOL same;
  };
  const Row rows[] = {
      {2100, 2970, 2970, 2100, TRUE},  {2100, 2970, 2110, 2960, TRUE}, {2100, 2970, 2111, 2970, FALSE},
      {2100, 2970, 2100, 2970, TRUE},  {2970, 2100, 2960, 2110, TRUE}, {2000, 2000, 2005, 1995, TRUE},
      {2000, 2000, 1995, 2011, FALSE}, {2100, 2970, 2100, 2981, FALSE},
  };
  for (const Row& row : rows)
    EXPECT_EQ(row.same, cdddIsSamePaperSize(row.w1, row.l1, row.w2, row.l2)) << row.w1 << "x" << row.l1 << " "
                                                                             << row.w2 << "x" << row.l2;
}

TEST_F(Handle, PaperSizesOfItems) {
  HCDDD h = Open(kK350);
  ASSERT_NE(nullptr, h);
  WORD lw = 0, ll = 0, uw = 0, ul = 0, status = 9;
  ASSERT_TRUE(cdddGetPaperSize(h, 8, 9, &lw, &ll, &uw, &ul, &status));
  EXPECT_EQ(2100, lw);
  EXPECT_EQ(2970, ll);
  EXPECT_EQ(2100, uw);
  EXPECT_EQ(2970, ul);
  ASSERT_TRUE(cdddGetPaperSize(h, 8, 256, &lw, &ll, &uw, &ul, &status));
  EXPECT_EQ(900, lw);
  EXPECT_EQ(1390, ll);
  EXPECT_EQ(3048, uw);
  EXPECT_EQ(4572, ul);
  EXPECT_FALSE(cdddGetPaperSize(h, 8, 999, &lw, &ll, &uw, &ul, &status));
  EXPECT_EQ(CDDD_ERR, status);

  ASSERT_TRUE(cdddGetDefaultPaperSize(h, 8, &lw, &ll, &status));
  EXPECT_EQ(2100, lw);
  EXPECT_EQ(2970, ll);
  LPWSTR name = cdddGetDefaultPaperName(h, 8, &status);
  ASSERT_NE(nullptr, name);
  EXPECT_EQ(std::u16string(u"A4"), name);
  kcore_Free(name);
  DDD_OPTIONITEM* item = nullptr;
  ASSERT_TRUE(cdddGetDefaultPDEV(h, 8, &item, &status));
  SHORT stored = 0;
  std::memcpy(&stored, item->value.data, sizeof stored);  // may point into the file image, unaligned
  EXPECT_EQ(9, stored);
  cdddGetDefaultPDEVFree(item);
}

TEST_F(Handle, SamePaperModes) {
  HCDDD h = Open(kK350);
  ASSERT_NE(nullptr, h);
  struct Row {
    WORD mode;
    CDDD_PAPERKEY key;
    BOOL found;
    WORD status;
    WORD paperId;
    const char16_t* name;
  };
  char16_t b4[] = u"B4 (JIS)";
  char16_t lowerA4[] = u"a4";
  const Row rows[] = {
      {1, {8, 0, 0, nullptr}, TRUE, CDDD_OK, 8, u"A3"},
      {1, {4711, 0, 0, nullptr}, FALSE, CDDD_NOTFOUND, 0, nullptr},
      {2, {0, 2970, 2100, nullptr}, TRUE, CDDD_OK, 9, u"A4"},  // crosswise
      {2, {0, 2110, 2960, nullptr}, TRUE, CDDD_OK, 9, u"A4"},
      {2, {0, 2111, 2970, nullptr}, FALSE, CDDD_NOTFOUND, 0, nullptr},
      {3, {0, 0, 0, b4}, TRUE, CDDD_OK, 12, u"B4 (JIS)"},
      {3, {0, 0, 0, lowerA4}, FALSE, CDDD_NOTFOUND, 0, nullptr},  // case counts
      {3, {0, 0, 0, nullptr}, FALSE, CDDD_ERR, 0, nullptr},
      {4, {8, 0, 0, nullptr}, FALSE, CDDD_ERR, 0, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.mode);
    CDDD_PAPERKEY match{};
    WORD status = 9;
    EXPECT_EQ(row.found, cdddSamePaper(h, 8, row.mode, &row.key, &match, &status));
    EXPECT_EQ(row.status, status);
    if (row.found) {
      EXPECT_EQ(row.paperId, match.paperId);
      EXPECT_EQ(std::u16string(row.name), match.name);
      EXPECT_NE(0, match.width);
    }
    cdddSamePaperFree(&match);
  }
  CDDD_PAPERKEY key{9, 0, 0, nullptr}, match{};
  WORD status = 0;
  EXPECT_FALSE(cdddSamePaper(h, 7, 1, &key, &match, &status));  // orientation items name no paper
  EXPECT_EQ(CDDD_NOTFOUND, status);
}

// ---- The defaults the reader asks for ----------------------------------------------

class Overrides : public ModelTest {};

TEST_F(Overrides, LocaleAndCapabilityBitsChangeDefaults) {
  const uint32_t kItem26 = 0x04070000u;
  const uint32_t kLetter = 0x00400000u;
  const uint32_t kGroup = 1u << 0;       // capability bit 32
  const uint32_t k8K16K = 1u << 1;       // capability bit 33
  const uint32_t kGroupFlag = 1u << 7;   // capability bit 39
  struct Row {
    LCID locale;  // 0: the locale cannot be read
    uint32_t item26, item39;
    WORD ddmId;
    ULONG_PTR expected;
  };
  const Row rows[] = {
      {0x0409, kItem26 | kLetter, 0, 8, 1},    {0x0409, kItem26 | kLetter, 0, 1824, 1},
      {0x0409, kItem26 | kLetter, 0, 327, 3},  {0x0809, kItem26 | kLetter, 0, 8, 9},
      {0x0409, kItem26, 0, 8, 9},              {0x0409, kItem26, 0, 327, 1},
      {0, kItem26 | kLetter, 0, 8, 9},
      {0x0409, kItem26, kGroup, 4356, 4},      {0x0411, kItem26, kGroup, 4356, 1},
      {0x0804, kItem26, kGroup, 4356, 2},      {0x0804, kItem26, kGroup | kGroupFlag, 4356, 1},
      {0x080A, kItem26, kGroup | kGroupFlag, 4356, 0},
      {0, kItem26, kGroup, 4356, 0},           {0x0409, kItem26, 0, 4356, 0},
      {0x0804, kItem26, k8K16K, 4358, 1},      {0x0409, kItem26, k8K16K, 4358, 0},
      {0x0804, kItem26, 0, 4358, 0},           {0, kItem26, k8K16K, 4358, 0},
      {0x0409, kItem26, 0, 1804, 1},           {0x0411, kItem26, 0, 1804, 0},
  };
  int index = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(index);
    KpSetLocaleFailure(row.locale == 0);
    if (row.locale) {
      ASSERT_TRUE(KpSetUserLocale(row.locale));
    }
    zanlib_ResetLocaleCache();
    std::string file = "OVR" + std::to_string(index++) + ".DDD";
    HCDDD h = OpenFile(PatchedK350(file.c_str(), row.item26, row.item39));
    ASSERT_NE(nullptr, h);
    ULONG_PTR value = 0xEEEE;
    WORD type = 0, status = 9;
    ASSERT_TRUE(cdddGetDefaultDataInfo(h, row.ddmId, &value, &type, &status));
    EXPECT_EQ(row.expected, value) << row.ddmId;
  }
}

TEST_F(Overrides, LetterLocaleMakesLetterTheDefaultPaper) {
  ASSERT_TRUE(KpSetUserLocale(0x0409));
  HCDDD h = OpenFile(PatchedK350("LETTER.DDD", 0x04470000u, 0));
  ASSERT_NE(nullptr, h);
  WORD w = 0, l = 0, status = 0;
  ASSERT_TRUE(cdddGetDefaultPaperSize(h, 8, &w, &l, &status));
  EXPECT_EQ(2159, w);
  EXPECT_EQ(2794, l);
}

TEST_F(Overrides, FormDirectoryReplacesTheStoredText) {
  void* value = kcore_Alloc(4);
  WORD type = DDD_TYPE_STRING;
  ASSERT_EQ(DDD_OK, zanLib_DefaultOverride(nullptr, nullptr, 1829, &value, &type));
  EXPECT_EQ(DDD_TYPE_STRING, type);
  EXPECT_EQ(std::u16string(u"C:\\Halcyra\\form\\"), static_cast<LPCWSTR>(value));
  kcore_Free(value);
}

}  // namespace
}  // namespace kestrel::test::common
