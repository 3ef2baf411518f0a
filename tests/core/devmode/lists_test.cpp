// Setting lists on model A (K350): the head and items from the member
// handlers and from the description data, icons and their palettes, and
// paper entries relabelled with their sizes.
#include <gtest/gtest.h>
#include <kplatform/kernel32_module.h>

#include <cstring>
#include <string>
#include <vector>

#include <filesystem>

#include "../ddd_builder.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_lists.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddm_access.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/gdi32_fonts.h"
#include "temp_root.h"

namespace kestrel::test {
namespace {

class ListsTest : public RootedTest {
 protected:
  void SetUp() override {
    // Model A's queue without its printer.
    ASSERT_EQ(InstallModelFiles(kModelA), "");
    ASSERT_EQ(InstallDriverModules(), "");
    library_ = LoadLibraryW(u"kestrelui.dll");
    ASSERT_NE(library_, nullptr);
    resource_startToUse(library_, nullptr);
    ASSERT_EQ(ddm_AccessInit(library_), 1);
    ddd_ = cddd_OpenFile((std::u16string(kDriverDirW) + u"K350.DDD").c_str());
    ASSERT_NE(ddd_, nullptr);
    dm_.assign(NRV_DEVMODE_SIZE_FULL, 0);
    pd_.assign(NRV_PRINTERDATA_SIZE, 0);
    ASSERT_TRUE(cdm_SetDefaultDevmode(ddd_, dm_.data(), pd_.data(), u"Scriva K350"));
  }
  void TearDown() override {
    if (ddd_) cddd_Close(ddd_);
    while (ddm_AccessCount() > 0) ddm_AccessEnd();
    resource_finishToUse();
    if (library_) FreeLibrary(library_);
  }

  void Set(WORD id, LONG value) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR slot = 0;
    ASSERT_EQ(ddm_GetValue(id, dm_.data(), pd_.data(), &type, &size, &slot), 0) << id;
    ASSERT_EQ(ddm_SetValue(id, dm_.data(), pd_.data(), type, size, &value), 0) << id;
  }
  void SetText(WORD id, const std::u16string& text) {
    ASSERT_EQ(ddm_SetValue(id, dm_.data(), pd_.data(), DDM_TYPE_STRING, static_cast<DWORD>(text.size() * 2 + 2),
                           text.c_str()),
              0)
        << id;
  }

  CDM_SELECT_INFO* List(WORD id, CDM_UNIT_INFO unit = {0, 0}, HCDDD ddd = nullptr) {
    CDM_SELECT_INFO* info =
        cdmCreateSelectItemInfo(ddd ? ddd : ddd_, nullptr, id, nullptr, dm_.data(), pd_.data(), &unit);
    if (info) made_.push_back(info);
    return info;
  }
  void TearDownLists() {
    for (CDM_SELECT_INFO* i : made_) cdmSelectInfoFree(i);
    made_.clear();
  }
  ~ListsTest() override { TearDownLists(); }

  HMODULE library_ = nullptr;
  HCDDD ddd_ = nullptr;
  std::vector<BYTE> dm_, pd_;
  std::vector<CDM_SELECT_INFO*> made_;
};

std::u16string Str(LPCWSTR s) { return s ? std::u16string(s) : u"<none>"; }

TEST_F(ListsTest, CopiesRangeFromOneToTheModelsMaximumByOne) {
  WORD maximum = cdddGetMaxCopies(ddd_);
  ASSERT_GT(maximum, 1);
  CDM_SELECT_INFO* copies = List(12);
  ASSERT_NE(copies, nullptr);
  EXPECT_EQ(cdmGetSelMethod(copies), CDM_SELECT_RANGE);
  EXPECT_EQ(copies->type, DDM_TYPE_SHORT);
  ASSERT_EQ(cdmGetSelectItemNum(copies), 3);
  EXPECT_EQ(cdmGetSelectItemDevData(copies, 0)->value, 1u);
  EXPECT_EQ(cdmGetSelectItemDevData(copies, 1)->value, maximum);
  EXPECT_EQ(cdmGetSelectItemDevData(copies, 2)->value, 1u);

  // Without the model there is no maximum to offer: no list, nothing left over.
  CDM_UNIT_INFO unit{};
  EXPECT_EQ(cdmCreateSelectItemInfo(nullptr, nullptr, 12, nullptr, dm_.data(), pd_.data(), &unit), nullptr);

  // The member's other operations still reach its own handler.
  CDM_MEMBER_ARGS args{};
  args.ddmId = 12;
  args.ddd = ddd_;
  args.value = maximum + 1u;
  EXPECT_EQ(cdmHandler_CopiesList(CDM_OP_ALLOWED, &args), CDM_RESULT_DONE);
  EXPECT_EQ(cdmHandler_CopiesList(CDM_OP_DEFAULT, &args), CDM_RESULT_DONE);
  EXPECT_EQ(args.value, 1u);
}

TEST_F(ListsTest, ListFromTheDescriptionAndItsAccessors) {
  CDM_SELECT_INFO* paper = List(8);
  ASSERT_NE(paper, nullptr);
  LONG n = cdmGetSelectItemNum(paper);
  ASSERT_GT(n, 1);
  EXPECT_NE(cdmGetSelectFuncName(paper), nullptr);
  for (LONG i = 0; i < n; ++i) {
    EXPECT_NE(cdmGetSelectItemName(paper, i), nullptr) << i;
    // Model A's paper items carry 4-bit icons: an icon, no palette.
    EXPECT_NE(cdmGetIconHandle(paper, i), nullptr) << i;
    EXPECT_EQ(cdmGetPaletteHandle(paper, i), nullptr) << i;
  }

  // Out of range and missing objects.
  EXPECT_EQ(cdmGetSelectItemData(paper, n), nullptr);
  EXPECT_EQ(cdmGetSelectItemData(paper, -1), nullptr);
  EXPECT_EQ(cdmGetSelectItemName(paper, n), nullptr);
  EXPECT_EQ(cdmGetIconHandle(paper, n), nullptr);
  EXPECT_EQ(cdmGetSelectItemNum(nullptr), -1);
  EXPECT_EQ(cdmGetSelectFuncName(nullptr), nullptr);
  EXPECT_EQ(cdmSelectInfoFree(nullptr), 0);

  // Search by the beginning of a name: the given name's length counts.
  std::u16string first = Str(cdmGetSelectItemName(paper, 0));
  ASSERT_GE(first.size(), 2u);
  EXPECT_EQ(cdmGetSelectItemDevDataByItemName(paper, first.substr(0, 2).c_str()),
            cdmGetSelectItemDevDataByItemName(paper, first.c_str()));
  EXPECT_EQ(cdmGetSelectItemDevDataByItemName(paper, (first + u"~").c_str()), nullptr);

  // A member the data does not describe has no list.
  EXPECT_EQ(List(3), nullptr);
}

TEST_F(ListsTest, CustomSizeEntryRelabelledInMillimetresAndInches) {
  Set(1863, 1000);  // 100 x 150 mm
  Set(1864, 1500);
  CDM_SELECT_INFO* mm = List(8);
  ASSERT_NE(mm, nullptr);
  LONG custom = -1;
  for (LONG i = 0; i < cdmGetSelectItemNum(mm); ++i)
    if ((cdmGetSelectItemDevData(mm, i)->value & 0xFFFF) == 256) custom = i;
  ASSERT_GE(custom, 0) << "model A lists the user-defined size";
  std::u16string name = Str(cdmGetSelectItemName(mm, custom));
  EXPECT_NE(name.find(u" (100 x 150 mm)"), std::u16string::npos) << std::string(name.begin(), name.end());

  CDM_SELECT_INFO* inch = List(8, {1, 0});
  ASSERT_NE(inch, nullptr);
  name = Str(cdmGetSelectItemName(inch, custom));
  EXPECT_NE(name.find(u" (3.94 x 5.91 in)"), std::u16string::npos) << std::string(name.begin(), name.end());
  // Only the custom entry changes.
  for (LONG i = 0; i < cdmGetSelectItemNum(mm); ++i) {
    if (i == custom) continue;
    EXPECT_EQ(Str(cdmGetSelectItemName(mm, i)), Str(cdmGetSelectItemName(inch, i)));
  }
}

// A stamp store holding two stamps; the second call may copy fewer names
// than it counts.
bool g_shortCopy = false;
WORD TwoStamps(HANDLE, HCDDD, LPWSTR buffer, WORD* count, DWORD* size) {
  static const char16_t kNames[] = u"Draft\0Secret\0";
  *count = 2;
  if (!buffer) {
    *size = sizeof kNames;
    return 1;
  }
  DWORD bytes = g_shortCopy ? 12 : sizeof kNames;  // "Draft" and its NUL only
  std::memcpy(buffer, kNames, bytes);
  return 1;
}

TEST_F(ListsTest, StampNamesFollowALeadingNoneEntry) {
  CDM_UNIT_INFO unit{};
  HANDLE printer = reinterpret_cast<HANDLE>(0x10);
  EXPECT_EQ(cdmCreateSelectItemInfo(ddd_, printer, 298, nullptr, dm_.data(), pd_.data(), &unit), nullptr)
      << "no stamp store: no list";
  cdm_SetStampListProvider(TwoStamps);
  for (bool shortCopy : {false, true}) {
    g_shortCopy = shortCopy;
    CDM_SELECT_INFO* stamps = cdmCreateSelectItemInfo(ddd_, printer, 298, nullptr, dm_.data(), pd_.data(), &unit);
    ASSERT_NE(stamps, nullptr);
    made_.push_back(stamps);
    EXPECT_EQ(cdmGetSelMethod(stamps), CDM_SELECT_LIST);
    ASSERT_EQ(cdmGetSelectItemNum(stamps), 3);
    EXPECT_EQ(Str(cdmGetSelectItemName(stamps, 0)), u"None");
    EXPECT_EQ(Str(reinterpret_cast<LPCWSTR>(cdmGetSelectItemDevData(stamps, 0)->value)), u"");
    EXPECT_EQ(Str(cdmGetSelectItemName(stamps, 1)), u"Draft");
    EXPECT_EQ(Str(reinterpret_cast<LPCWSTR>(cdmGetSelectItemDevData(stamps, 1)->value)), u"Draft");
    EXPECT_EQ(Str(cdmGetSelectItemName(stamps, 2)), shortCopy ? u"" : u"Secret");
  }
  cdm_SetStampListProvider(nullptr);
}

// ---- Face-name lists ----------------------------------------------------------------
// The machine's fonts: two TrueType families and a bitmap font, in the order
// of their files.
class FaceNameLists : public ListsTest {
 protected:
  void TearDown() override {
    KpSetFontFolder(nullptr);
    ListsTest::TearDown();
  }
  void UseFonts(const std::vector<std::pair<std::string, std::string>>& files) {
    std::string folder = root_.host("fonts");
    std::filesystem::create_directories(folder);
    for (const auto& [from, to] : files) std::filesystem::copy_file(from, folder + "/" + to);
    ASSERT_TRUE(KpSetFontFolder(folder.c_str()));
  }
};

constexpr char kDejaVu[] = "/usr/share/fonts/truetype/dejavu/";

TEST_F(FaceNameLists, EveryTrueTypeFamilyOnceInTheOrderOffered) {
  std::string bitmap = root_.host("pixel.bdf");
  WriteHostFile(bitmap,
                "STARTFONT 2.1\nFONT -Test-Pixel Test-Medium-R-Normal--8-80-75-75-C-80-ISO10646-1\n"
                "SIZE 8 75 75\nFONTBOUNDINGBOX 8 8 0 0\nSTARTPROPERTIES 4\nFAMILY_NAME \"Pixel Test\"\n"
                "WEIGHT_NAME \"Medium\"\nFONT_ASCENT 7\nFONT_DESCENT 1\nENDPROPERTIES\nCHARS 1\nSTARTCHAR A\n"
                "ENCODING 65\nSWIDTH 500 0\nDWIDTH 8 0\nBBX 8 8 0 0\nBITMAP\nFF\n81\n81\n81\n81\n81\n81\nFF\n"
                "ENDCHAR\nENDFONT\n");
  // Serif's file first, two faces of Sans, then a family that is no TrueType.
  UseFonts({{std::string(kDejaVu) + "DejaVuSerif.ttf", "a.ttf"},
            {std::string(kDejaVu) + "DejaVuSans.ttf", "b.ttf"},
            {std::string(kDejaVu) + "DejaVuSans-Bold.ttf", "c.ttf"},
            {bitmap, "d.bdf"}});
  for (WORD id : {WORD(305), WORD(358)}) {
    CDM_SELECT_INFO* faces = List(id);
    ASSERT_NE(faces, nullptr) << id;
    EXPECT_EQ(cdmGetSelMethod(faces), CDM_SELECT_LIST) << id;
    EXPECT_EQ(faces->type, DDM_TYPE_STRING) << id;
    ASSERT_EQ(cdmGetSelectItemNum(faces), 2) << id;
    const std::u16string expected[] = {u"DejaVu Serif", u"DejaVu Sans"};
    for (LONG i = 0; i < 2; ++i) {
      EXPECT_EQ(Str(cdmGetSelectItemName(faces, i)), expected[i]) << id;
      EXPECT_EQ(Str(reinterpret_cast<LPCWSTR>(cdmGetSelectItemDevData(faces, i)->value)), expected[i]) << id;
    }
    // The head the all-settings sweep asks for: a list of the same count.
    const CDM_MEMBER_ENTRY* entry = nullptr;
    CDM_SELECT_INFO* head =
        local_CreateSelectInfoExceptItemInfo(ddd_, nullptr, id, nullptr, dm_.data(), pd_.data(), &entry);
    ASSERT_NE(head, nullptr) << id;
    EXPECT_EQ(cdmGetSelMethod(head), CDM_SELECT_LIST);
    EXPECT_EQ(cdmGetSelectItemNum(head), 2);
    EXPECT_NE(entry, nullptr);
    cdmSelectInfoFree(head);
  }
}

TEST_F(FaceNameLists, NoTrueTypeFamilyGivesAnEmptyList) {
  std::filesystem::create_directories(root_.host("none"));
  ASSERT_TRUE(KpSetFontFolder(root_.host("none").c_str()));
  for (WORD id : {WORD(305), WORD(358)}) {
    CDM_SELECT_INFO* faces = List(id);
    ASSERT_NE(faces, nullptr) << id;
    EXPECT_EQ(cdmGetSelMethod(faces), CDM_SELECT_LIST);
    EXPECT_EQ(cdmGetSelectItemNum(faces), 0);
    EXPECT_EQ(cdmGetSelectItemData(faces, 0), nullptr);
  }
}

// ---- Static selection records -----------------------------------------------------
// A member whose descriptor carries a static selection record: the head and
// the items come from it, or the items from the handler when the record
// gives the head only.
WORD InputHandler(WORD operation, CDM_MEMBER_ARGS* args) {
  if (operation != CDM_OP_LISTITEM) return CDM_RESULT_REFUSED;
  return cdmSetParamSelectItemInputData(40, 70, args) ? CDM_RESULT_DONE : CDM_RESULT_REFUSED;
}

TEST_F(ListsTest, StaticSelectionRecordsAsATable) {
  static const CDM_STATIC_SELECT_ITEM kEntries[] = {{7, u"Seven"}, {9, nullptr}, {11, u"Eleven"}};
  struct Case {
    const char* what;
    WORD flags;
    CDM_STATIC_SELECT record;
    CDM_MEMBER_HANDLER handler;
    WORD operations;
    bool made;
    WORD method;
    std::vector<ULONG_PTR> values;
    std::vector<std::u16string> names;  // "<none>" for an item without name
  } cases[] = {
      {"check box", 0xC, {1, 3, 0, nullptr, 0, 0, 0}, nullptr, CDM_OP_ALL, true, 1, {1, 0}, {u"<none>", u"<none>"}},
      {"list", 0xC, {2, 3, 3, kEntries, 0, 0, 0}, nullptr, CDM_OP_ALL, true, 2, {7, 9, 11},
       {u"Seven", u"<none>", u"Eleven"}},
      {"input", 0xC, {3, 3, 0, nullptr, 25, 0, 0}, nullptr, CDM_OP_ALL, true, 3, {25}, {u"<none>"}},
      {"range", 0xC, {4, 3, 0, nullptr, 10, 500, 5}, nullptr, CDM_OP_ALL, true, 4, {10, 500, 5},
       {u"<none>", u"<none>", u"<none>"}},
      {"limits: the third item keeps no value", 0xC, {6, 3, 0, nullptr, 10, 500, 5}, nullptr, CDM_OP_ALL, true, 6,
       {10, 500, 0}, {u"<none>", u"<none>", u"<none>"}},
      {"input items from the handler", 0x4, {3, 3, 0, nullptr, 25, 0, 0}, InputHandler, CDM_OP_ALL, true, 3, {40},
       {u"<none>"}},
      {"limits from the handler", 0x4, {6, 3, 0, nullptr, 0, 0, 0}, InputHandler, CDM_OP_ALL, true, 6, {40, 70, 0},
       {u"<none>", u"<none>", u"<none>"}},
      {"unknown method", 0xC, {5, 3, 0, nullptr, 0, 0, 0}, nullptr, CDM_OP_ALL, false, 0, {}, {}},
      // The mask lacks operation 4: the head is the data's, which has no list for the member.
      {"record not served", 0xC, {1, 3, 0, nullptr, 0, 0, 0}, nullptr, CDM_OP_DEFAULT, false, 0, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const CDM_STATIC_DEFAULT def = {c.flags, DDM_TYPE_WORD, -1, 0, &c.record};
    const CDM_MEMBER_DESC desc = {"Test", &def, c.handler, c.operations};
    const CDM_MEMBER_ENTRY entry = {3, &desc};  // a member the data does not describe
    auto* info = static_cast<CDM_SELECT_INFO*>(kcore_Alloc(sizeof(CDM_SELECT_INFO)));
    ASSERT_NE(info, nullptr);
    bool made = cdmCreateSelectItemInfoData(ddd_, 3, nullptr, info, &entry, dm_.data(), pd_.data()) &&
                cdmInitSelectItemDataTbl(ddd_, 3, info, &entry, dm_.data(), pd_.data());
    EXPECT_EQ(made, c.made);
    if (made) {
      EXPECT_EQ(cdmGetSelMethod(info), c.method);
      EXPECT_EQ(info->type, DDM_TYPE_WORD);
      ASSERT_EQ(cdmGetSelectItemNum(info), static_cast<LONG>(c.values.size()));
      for (LONG i = 0; i < cdmGetSelectItemNum(info); ++i) {
        EXPECT_EQ(cdmGetSelectItemDevData(info, i)->value, c.values[i]) << i;
        EXPECT_EQ(Str(cdmGetSelectItemName(info, i)), c.names[i]) << i;
      }
    }
    cdmSelectInfoFree(info);
  }
  // The input helper answers items 0 and 1 only, in type 3.
  CDM_MEMBER_ARGS args{};
  args.index = 1;
  ASSERT_TRUE(cdmSetParamSelectItemInputData(-2, 8, &args));
  EXPECT_EQ(args.value, 8u);
  EXPECT_EQ(args.type, DDM_TYPE_WORD);
  args.index = 2;
  EXPECT_FALSE(cdmSetParamSelectItemInputData(-2, 8, &args));
}

// ---- Relabelled paper lists on a small description ---------------------------------
// Model A lists no user-defined or tray-dependent paper ids, so these lists
// come from a description made for the test: each list below names some of
// items 1-5 (A4 9, the papers of user-defined slots 0 (262) and 5 (287),
// the custom size 256 and the tray-dependent paper 275).
std::string RelabelData() {
  using namespace ddd;
  FileBuilder m;
  const std::pair<const char*, unsigned> items[] = {
      {"A4", 9}, {"User 1", 262}, {"User 6", 287}, {"Custom", 256}, {"Tray Paper", 275}};
  for (unsigned i = 0; i < 5; ++i)
    m.Add(14, i + 1,
          Rec(i + 1, ddd::Str(items[i].first) + U16(0) + U16(0) + U16(0) + IdList({}) + IdList({}) +
                         Val(3, 2, U16(items[i].second)) + U16(0)));
  auto option = [&](unsigned id, std::initializer_list<unsigned> list) {
    m.Add(4, id, Rec(id, ddd::Str("Paper") + U8(2) + U16(1) + U16(0) + IdList(list) + IdList({}) + IdList({}) + U16(0) +
                             ddd::Str("")));
  };
  for (unsigned id : {8u, 1824u}) option(id, {1, 2, 3, 4, 5});
  for (unsigned id : {262u, 6145u}) option(id, {1, 2, 4, 5});
  for (unsigned id : {6146u, 6220u, 6221u}) option(id, {5});
  return m.Build();
}

TEST_F(ListsTest, UserDefinedCustomAndTrayPapersRelabelledByList) {
  WriteHostFile(root_.host("c/Windows/system32/spool/drivers/x64/3/RELABEL.DDD"), RelabelData());
  HCDDD data = cddd_OpenFile((std::u16string(kDriverDirW) + u"RELABEL.DDD").c_str());
  ASSERT_NE(data, nullptr);
  Set(5889, 1000);  // slot 0: 100 x 200 mm "Mine"
  Set(5909, 2000);
  SetText(5929, u"Mine");
  Set(5894, 3000);  // slot 5: 300 x 400 mm "Wide"
  Set(5914, 4000);
  SetText(5934, u"Wide");
  Set(1863, 1100);  // custom size 110 x 220 mm
  Set(1864, 2200);
  Set(6190, 1200);  // tray of list 6145: 120 x 130 mm
  Set(6205, 1300);
  Set(6191, 1400);  // tray of list 6146: 140 x 150 mm
  Set(6206, 1500);
  Set(6265, 1600);  // tray of list 6220: 160 x 170 mm
  Set(6280, 1700);

  struct Case {
    WORD list;
    std::vector<std::u16string> names;
  } cases[] = {
      // Papers and the form list: all three relabellings (the tray entry has
      // no tray members, so it keeps its name).
      {8, {u"A4", u"Mine (100 x 200 mm)", u"Wide (300 x 400 mm)", u"Custom (110 x 220 mm)", u"Tray Paper"}},
      {1824, {u"A4", u"Mine (100 x 200 mm)", u"Wide (300 x 400 mm)", u"Custom (110 x 220 mm)", u"Tray Paper"}},
      // The other paper lists: user-defined and tray-dependent only.
      {262, {u"A4", u"Mine (100 x 200 mm)", u"Custom", u"Tray Paper"}},
      {6145, {u"A4", u"Mine (100 x 200 mm)", u"Custom", u"Tray Paper (120 x 130 mm)"}},
      {6146, {u"Tray Paper (140 x 150 mm)"}},
      {6220, {u"Tray Paper (160 x 170 mm)"}},
      {6221, {u"Tray Paper"}},  // a tray list the input-bin table does not name
  };
  for (const Case& c : cases) {
    CDM_SELECT_INFO* list = List(c.list, {0, 0}, data);
    ASSERT_NE(list, nullptr) << c.list;
    ASSERT_EQ(cdmGetSelectItemNum(list), static_cast<LONG>(c.names.size())) << c.list;
    for (LONG i = 0; i < cdmGetSelectItemNum(list); ++i)
      EXPECT_EQ(Str(cdmGetSelectItemName(list, i)), c.names[i]) << c.list << " item " << i;
  }
  TearDownLists();
  cddd_Close(data);
}

TEST_F(ListsTest, DefinePaperNameFormats) {
  struct Case {
    WORD width, length;
    CDM_UNIT_INFO unit;
    std::u16string expected;
  } cases[] = {
      {2100, 2970, {0, 0}, u"Mine (210 x 297 mm)"},
      {2159, 2794, {1, 0}, u"Mine (8.50 x 11.00 in)"},
      {2159, 2794, {1, 1}, u"Mine (8.5 x 11.0 in)"},
      {1005, 99, {0, 0}, u"Mine (100 x 9 mm)"},  // tenths are dropped
      {1270, 254, {1, 0}, u"Mine (5.00 x 1.00 in)"},
  };
  for (const Case& c : cases) {
    CDM_DEFINE_PAPER paper{257, c.width, c.length, u"Mine"};
    LPWSTR text = cdmGetDefinePaperName(nullptr, dm_.data(), pd_.data(), &paper, &c.unit);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::u16string(text), c.expected) << c.width << "x" << c.length;
    kcore_Free(text);
  }
}

// ---- Icons ----------------------------------------------------------------------
// An icon image: header, colour table of `colours` entries (blue, green,
// red, 0 with blue = i, green = 2i, red = 3i), colour rows, mask rows (row r
// holds r in its first byte).
std::vector<BYTE> IconImage(LONG size, WORD bits, DWORD clrUsed, DWORD tableEntries) {
  CDM_BITMAPINFOHEADER h{};
  h.biSize = 40;
  h.biWidth = size;
  h.biHeight = size * 2;
  h.biPlanes = 1;
  h.biBitCount = bits;
  h.biClrUsed = clrUsed;
  std::vector<BYTE> out(40);
  std::memcpy(out.data(), &h, 40);
  for (DWORD i = 0; i < tableEntries; ++i) {
    BYTE e[4] = {BYTE(i), BYTE(2 * i), BYTE(3 * i), 0};
    out.insert(out.end(), e, e + 4);
  }
  DWORD colourStride = ((size * bits + 31) / 32) * 4;
  out.insert(out.end(), static_cast<size_t>(colourStride) * size, 0x5A);
  DWORD maskStride = ((size + 31) / 32) * 4;
  for (LONG r = 0; r < size; ++r) {
    std::vector<BYTE> row(maskStride, 0);
    row[0] = static_cast<BYTE>(r);
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

std::vector<BYTE> Prefix(std::vector<BYTE> image, size_t bytes) {
  image.resize(bytes);
  return image;
}

TEST(ListIcons, ColourCountOfTheHeader) {
  struct Case {
    WORD bits;
    DWORD clrUsed;
    WORD expected;
  } cases[] = {{1, 0, 2}, {4, 0, 16}, {8, 0, 256}, {24, 0, 0}, {8, 16, 16}, {4, 3, 3}};
  for (const Case& c : cases) {
    CDM_BITMAPINFOHEADER h{};
    h.biBitCount = c.bits;
    h.biClrUsed = c.clrUsed;
    EXPECT_EQ(cdmDIBNumColors(&h), c.expected) << c.bits << "/" << c.clrUsed;
  }
  EXPECT_EQ(cdmDIBNumColors(nullptr), 0);
}

TEST(ListIcons, EightBitImageWithoutColourCountGetsItsPalette) {
  std::vector<BYTE> image = IconImage(32, 8, 0, 256);
  CDM_ICON* icon = nullptr;
  CDM_PALETTE* palette = nullptr;
  ASSERT_TRUE(cdmCreateSelectItemIcon(nullptr, image.data(), static_cast<DWORD>(image.size()), &icon, &palette));
  ASSERT_NE(palette, nullptr);
  EXPECT_EQ(palette->palVersion, 0x300);
  EXPECT_EQ(palette->palNumEntries, 256);
  for (int i : {0, 1, 85, 255}) {
    CDM_PALETTEENTRY e;
    std::memcpy(&e, reinterpret_cast<BYTE*>(palette) + 4 + 4 * i, 4);
    EXPECT_EQ(e.peRed, BYTE(3 * i)) << i;  // blue-green-red turned into red-green-blue
    EXPECT_EQ(e.peGreen, BYTE(2 * i)) << i;
    EXPECT_EQ(e.peBlue, BYTE(i)) << i;
    EXPECT_EQ(e.peFlags, 0) << i;
  }
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->width, 32);
  EXPECT_EQ(icon->height, 32) << "the image's height counts colour and mask rows";
  EXPECT_EQ(icon->maskStride, 4u);
  for (int r = 0; r < 32; ++r) EXPECT_EQ(icon->maskBits[r * 4], 31 - r) << "mask rows in reverse order";
  EXPECT_EQ(icon->colourBits[32 * 32 - 1], 0x5A);
  cdmDestroySelectItemIcon(icon);
  kcore_Free(palette);
}

TEST(ListIcons, PaletteOnlyForFullColourTablesAndBoundedReads) {
  struct Case {
    const char* what;
    std::vector<BYTE> image;
    size_t cut;  // bytes taken off the end
    bool made;
    bool palette;
  } cases[] = {
      {"4-bit", IconImage(32, 4, 0, 16), 0, true, false},
      {"8-bit, 16 colours counted", IconImage(16, 8, 16, 16), 0, true, false},
      {"8-bit, 256 counted", IconImage(16, 8, 256, 256), 0, true, true},
      {"1-bit", IconImage(32, 1, 0, 2), 0, true, false},
      {"mask row missing", IconImage(32, 8, 0, 256), 1, false, false},
      {"colour table cut", Prefix(IconImage(32, 8, 0, 256), 40 + 100), 0, false, false},
      {"header only", Prefix(IconImage(32, 8, 0, 256), 39), 0, false, false},
  };
  for (Case& c : cases) {
    c.image.resize(c.image.size() - c.cut);
    // An exact-size heap copy, so a read past it is caught under AddressSanitizer.
    std::vector<BYTE> exact(c.image);
    CDM_ICON* icon = reinterpret_cast<CDM_ICON*>(1);
    CDM_PALETTE* palette = reinterpret_cast<CDM_PALETTE*>(1);
    BOOL ok = cdmCreateSelectItemIcon(nullptr, exact.data(), static_cast<DWORD>(exact.size()), &icon, &palette);
    EXPECT_EQ(ok != 0, c.made) << c.what;
    EXPECT_EQ(icon != nullptr, c.made) << c.what;
    EXPECT_EQ(palette != nullptr, c.palette) << c.what;
    cdmDestroySelectItemIcon(icon);
    kcore_Free(palette);
  }
}

}  // namespace
}  // namespace kestrel::test
