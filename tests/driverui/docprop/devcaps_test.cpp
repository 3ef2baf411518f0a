// DrvDeviceCapabilities on model A: lists and their names agree, sizes come
// from the paper records, fixed answers, codes it cannot answer.
#include "docprop_fixture.h"
#include "kplatform/wingdi_consts.h"

extern "C" DWORD DrvDeviceCapabilities(HANDLE, LPWSTR, WORD, void*, void*);

namespace kestrel::test::ui {
namespace {

using DevCapsTest = DocPropTest;
constexpr DWORD kGdiError = 0xFFFFFFFFu;

TEST_F(DevCapsTest, PaperListsNamesAndSizesAgree) {
  DWORD count = DrvDeviceCapabilities(printer_, name_.data(), DC_PAPERS, nullptr, nullptr);
  ASSERT_GT(count, 1u);
  ASSERT_NE(count, kGdiError);
  EXPECT_EQ(DrvDeviceCapabilities(printer_, name_.data(), DC_PAPERNAMES, nullptr, nullptr), count);
  EXPECT_EQ(DrvDeviceCapabilities(printer_, name_.data(), DC_PAPERSIZE, nullptr, nullptr), count);
  std::vector<WORD> papers(count);
  std::vector<WCHAR> names(64 * count);
  std::vector<LONG> sizes(2 * count);
  ASSERT_EQ(DrvDeviceCapabilities(printer_, name_.data(), DC_PAPERS, papers.data(), nullptr), count);
  ASSERT_EQ(DrvDeviceCapabilities(printer_, name_.data(), DC_PAPERNAMES, names.data(), nullptr), count);
  ASSERT_EQ(DrvDeviceCapabilities(printer_, name_.data(), DC_PAPERSIZE, sizes.data(), nullptr), count);
  bool a4 = false;
  for (DWORD i = 0; i < count; ++i) {
    EXPECT_NE(names[64 * i], 0) << "paper " << papers[i] << " has a name";
    if (papers[i] == DMPAPER_A4) {
      a4 = true;
      EXPECT_EQ(sizes[2 * i], 2100);
      EXPECT_EQ(sizes[2 * i + 1], 2970);
    }
  }
  EXPECT_TRUE(a4);
}

TEST_F(DevCapsTest, OtherListsAndFixedAnswers) {
  struct {
    WORD code;
    DWORD expected;  // 0: any answer other than GDI_ERROR
  } const cases[] = {
      {DC_SIZE, 220},          {DC_EXTRA, 1336},          {DC_VERSION, 0x401},       {DC_DRIVER, 0x2182},
      {DC_ORIENTATION, 90},    {DC_TRUETYPE, DCTT_DOWNLOAD}, {DC_FILEDEPENDENCIES, 0}, {DC_BINS, 0},
      {DC_ENUMRESOLUTIONS, 0}, {DC_COPIES, 0},            {DC_DUPLEX, 0},            {DC_COLLATE, 0},
      {DC_COLORDEVICE, 0},     {DC_NUP, 0},               {DC_MEDIATYPES, 0},        {DC_FIELDS, 0},
      {DC_MINEXTENT, 0},       {DC_MAXEXTENT, 0},         {DC_STAPLE, 0},            {DC_PERSONALITY, 1},
  };
  for (const auto& c : cases) {
    DWORD r = DrvDeviceCapabilities(printer_, name_.data(), c.code, nullptr, nullptr);
    EXPECT_NE(r, kGdiError) << c.code;
    if (c.expected) {
      EXPECT_EQ(r, c.expected) << c.code;
    }
  }
  DWORD resolutions = DrvDeviceCapabilities(printer_, name_.data(), DC_ENUMRESOLUTIONS, nullptr, nullptr);
  ASSERT_GT(resolutions, 0u);
  std::vector<LONG> pairs(2 * resolutions);
  DrvDeviceCapabilities(printer_, name_.data(), DC_ENUMRESOLUTIONS, pairs.data(), nullptr);
  EXPECT_EQ(pairs[0], pairs[1]);
  EXPECT_GE(DrvDeviceCapabilities(printer_, name_.data(), DC_COPIES, nullptr, nullptr), 1u);
  DWORD fields = DrvDeviceCapabilities(printer_, name_.data(), DC_FIELDS, nullptr, nullptr);
  EXPECT_TRUE(fields & DM_PAPERSIZE);
  WCHAR personality[32];
  DrvDeviceCapabilities(printer_, name_.data(), DC_PERSONALITY, personality, nullptr);
  EXPECT_EQ(std::u16string(personality), u"PCL XL");
  for (WORD code : {WORD(DC_BINADJUST), WORD(DC_EMF_COMPLIANT), WORD(DC_MEDIAREADY), WORD(999)})
    EXPECT_EQ(DrvDeviceCapabilities(printer_, name_.data(), code, nullptr, nullptr), kGdiError) << code;
  EXPECT_EQ(DrvDeviceCapabilities(reinterpret_cast<HANDLE>(0x1234), nullptr, DC_SIZE, nullptr, nullptr), kGdiError);
}

}  // namespace
}  // namespace kestrel::test::ui
