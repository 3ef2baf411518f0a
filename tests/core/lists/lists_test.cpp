// Setting lists on model A (K350): the head and items from the member
// handlers and from the description data, icons and their palettes, and
// paper entries relabelled with their sizes.
#include <gtest/gtest.h>
#include <kplatform/kernel_module.h>

#include <cstring>
#include <string>
#include <vector>

#include "kestrel/cdm_defaults.h"
#include "kestrel/cdm_lists.h"
#include "kestrel/cdm_values.h"
#include "kestrel/cddd.h"
#include "kestrel/ddm_value.h"
#include "kestrel/kcore_sys.h"
#include "kestrel/zanlib.h"
#include "temp_root.h"

namespace kestrel::test {
namespace {

constexpr char16_t kDriverDirW[] = u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\";

class ListsTest : public RootedTest {
 protected:
  void SetUp() override {
    for (const char* file : {"K350.DDD", "K350RES.DDD"}) {
      std::u16string name(file, file + std::char_traits<char>::length(file));
      ASSERT_TRUE(KpInstallModule((std::string(KLISTS_MODELS_DIR) + "/" + file).c_str(), name.c_str())) << file;
    }
    ASSERT_TRUE(KpInstallModule("libklisthost.so", u"kestrelui.dll"));
    ASSERT_TRUE(KpInstallModule("libkestreljd.so", nullptr));
    ASSERT_TRUE(KpInstallModule("kestrelrs.zrs", nullptr));
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

  CDM_SELECT_INFO* List(WORD id, CDM_UNIT_INFO unit = {0, 0}) {
    CDM_SELECT_INFO* info = cdmCreateSelectItemInfo(ddd_, nullptr, id, nullptr, dm_.data(), pd_.data(), &unit);
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
