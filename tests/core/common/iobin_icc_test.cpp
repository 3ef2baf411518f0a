// The input-bin configuration table and the ICC profile check.
#include <gtest/gtest.h>

#include <string>

#include "kestrel/core/papdat.h"
#include "kplatform/kwindows.h"
#include "temp_root.h"

namespace kestrel::test::common {
namespace {

TEST(InputBins, RowsOfTheTable) {
  struct Row {
    WORD bin;
    WORD ids[5];
  };
  const Row rows[] = {
      {1, {6145, 6160, 6175, 6190, 6205}},   {3, {6146, 6161, 6176, 6191, 6206}},
      {2, {6147, 6162, 6177, 6192, 6207}},   {11, {6151, 6166, 6181, 6196, 6211}},
      {271, {6159, 6174, 6189, 6204, 6219}}, {273, {6220, 6235, 6250, 6265, 6280}},
  };
  for (const Row& row : rows) {
    WORD ids[5] = {};
    ASSERT_TRUE(ioBinLib_GetInputBinConfig(row.bin, ids)) << row.bin;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(row.ids[i], ids[i]) << row.bin;
    WORD fourth = 0, fifth = 0;
    ASSERT_TRUE(ioBinLib_GetDimIdByConfigTray(row.ids[0], &fourth, &fifth));
    EXPECT_EQ(row.ids[3], fourth);
    EXPECT_EQ(row.ids[4], fifth);
  }
  WORD ids[5] = {1, 2, 3, 4, 5};
  EXPECT_FALSE(ioBinLib_GetInputBinConfig(4, ids));  // manual feed has no row
  EXPECT_EQ(1, ids[0]);
  EXPECT_FALSE(ioBinLib_GetDimIdByConfigTray(6160, nullptr, nullptr));
}

std::string Header(const char* deviceClass, const char* space, const char* pcs, const char* signature) {
  std::string h(132, '\0');
  h.replace(12, 4, deviceClass);
  h.replace(16, 4, space);
  h.replace(20, 4, pcs);
  h.replace(36, 4, signature);
  return h;
}

class IccProfile : public RootedTest {
 protected:
  LONG Check(const std::string& bytes) {
    WriteHostFile(root_.host("c/Windows/Temp/p.icc"), bytes);
    return cil_Check_ICC_Prof("C:\\Windows\\Temp\\p.icc");
  }
};

TEST_F(IccProfile, HeaderFields) {
  struct Row {
    std::string bytes;
    LONG expected;
  };
  const Row rows[] = {
      {Header("mntr", "RGB ", "XYZ ", "acsp"), ICC_OK},
      {Header("scnr", "RGB ", "Lab ", "acsp"), ICC_OK},
      {Header("prtr", "RGB ", "XYZ ", "acsp"), ICC_WRONGCLASS},  // a printer profile
      {Header("mntr", "CMYK", "XYZ ", "acsp"), ICC_WRONGCLASS},
      {Header("mntr", "RGB ", "Luv ", "acsp"), ICC_WRONGPCS},
      {Header("mntr", "RGB ", "XYZ ", "ACSP"), ICC_NOTPROFILE},
      {Header("mntr", "RGB ", "XYZ ", "acsp").substr(0, 131), ICC_TOOSHORT},
      {Header("mntr", "RGB ", "XYZ ", "acsp") + std::string(400, 'x'), ICC_OK},
  };
  for (const Row& row : rows) EXPECT_EQ(row.expected, Check(row.bytes)) << row.bytes.size();
  EXPECT_EQ(ICC_NULLNAME, cil_Check_ICC_Prof(nullptr));
  EXPECT_EQ(ICC_CANNOTOPEN, cil_Check_ICC_Prof("C:\\Windows\\Temp\\none.icc"));
  EXPECT_EQ(0x78563412u, ReverseEndian32(0x12345678u));
}

}  // namespace
}  // namespace kestrel::test::common
