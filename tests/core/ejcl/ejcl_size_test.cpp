// The header's size over the capability bits and device types, and the
// golden header of a model with every capability bit.
#include <gtest/gtest.h>

#include <string>

#include "ejcl_fixture.h"

namespace kestrel::test::ejcl {
namespace {

class SizeTest : public EjclTest {
 protected:
  // A copy of a model's main file with PrinterInfo items patched (item 2:
  // 32-bit, 23: 8-bit, 26: 32-bit); answers the header size it gives.
  LONG Size(const char* model, DWORD caps, BYTE deviceItem, DWORD item2 = 0xFFFFFFFF) {
    std::string file = std::string(model) + ".DDD";
    std::string bytes = ReadHostFile(ModelFile(file));
    DDDFILE main{}, referenced{};
    std::u16string original = DriverFile(Widen(file));
    EXPECT_EQ(DDD_OK, ddd_OpenFile(original.c_str(), 0, &main, &referenced));
    EXPECT_EQ(DDD_OK, ddd_GotoPrinterInfoDef(&main, 26));
    size_t at26 = main.cursor;
    EXPECT_EQ(DDD_OK, ddd_GotoPrinterInfoDef(&main, 23));
    size_t at23 = main.cursor;
    EXPECT_EQ(DDD_OK, ddd_GotoPrinterInfoDef(&main, 2));
    size_t at2 = main.cursor;
    ddd_CloseFile(&main, &referenced);
    for (int i = 0; i < 4; ++i) bytes[at26 + i] = static_cast<char>((caps >> (8 * i)) & 0xFF);
    bytes[at23] = static_cast<char>(deviceItem);
    if (item2 != 0xFFFFFFFF)
      for (int i = 0; i < 4; ++i) bytes[at2 + i] = static_cast<char>((item2 >> (8 * i)) & 0xFF);
    WriteHostFile(root_.host(std::string(kDriverDir) + "SIZE.DDD"), bytes);
    EXPECT_EQ(DDD_OK, ddd_OpenFile(DriverFile(u"SIZE.DDD").c_str(), 0, &main, &referenced));
    LONG size = ejcl_bufferSizeHead(&main, &referenced);
    ddd_CloseFile(&main, &referenced);
    return size;
  }
};

TEST_F(SizeTest, HeadSizeOverCapabilityBitsAndDeviceTypes) {
  constexpr DWORD PJL = EJCL_CAP_PJL, BK = EJCL_CAP_BOOKLET_SHEETS, NUP = EJCL_CAP_NUP,
                  HOAD = EJCL_CAP_HOST_ADDRESS, CNAM = EJCL_CAP_HOST_NAME;
  constexpr LONG kComments = 3 * (13 + 3421) + 6 + 5 + 5;
  constexpr LONG kFaxA = 100 * 160;  // model A: 100 destinations of 160 bytes
  const LONG bound = static_cast<LONG>(
      ddd_GetPrinterInfo_orderedItem_Indirect(a_.ddd->main, DDD_PI_EJCL_BOUND, 4, 0));
  ASSERT_GT(bound, 0);
  struct Case {
    const char* name;
    DWORD caps;
    BYTE item23;  // device type - 1
    LONG rest;    // all but the bound, the 9 bytes and the comment lines
  };
  const Case cases[] = {
      {"no bits, printer with fax", 0, 3, 84 + 47 + 178 + kFaxA + 21},
      {"PJL form, printer with fax", PJL, 3, 20 + 84 + 66 + 178 + kFaxA + 40},
      {"PJL form and booklet count, printer", PJL | BK, 2, 20 + 125 + 66 + 178},
      {"booklet count without the PJL form", BK, 2, 107 + 47 + 178},
      {"N-up, host address and name", NUP | HOAD | CNAM, 2, 84 + 18 + 28 + 47 + 47 + 178},
      {"all of them, PJL form, fax device", PJL | BK | NUP | HOAD | CNAM, 1,
       20 + 125 + 37 + 47 + 66 + 66 + 178 + kFaxA + 40},
      {"device type 1: no fax part", PJL, 0, 20 + 84 + 66 + 178},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Size(kModelA, c.caps, c.item23), bound + 9 + c.rest + kComments);
  }
  EXPECT_EQ(Size(kModelA, PJL, 3, 0), EJCL_ERR_SIZEITEM) << "item 2 below 1";
  EXPECT_EQ(Size(kModelB, PJL, 3), EJCL_ERR_SIZEITEM) << "a fax device without its fax items";
  EXPECT_EQ(ejclFax_bufferSizeHead(a_.ddd->main, a_.ddd->referenced), kFaxA + 40);
}

TEST_F(EjclTest, EveryCapabilityBitOnModelAData) {
  Model& m = Patched();
  Set(m, DDM_JOB_OWNER_ON, 1);
  Set(m, DDM_USERNAMETYPE, 0);
  Set(m, DDM_NUP, 4);
  EXPECT_EQ(Head(m), std::string("\x1B%-12345X") +
                         "@PJL JOB MODE=PRINT\n"
                         "@PJL SET STRINGCODESET=UTF8\n"
                         "@PJL COMMENT DATE=12/31/2025\n"
                         "@PJL COMMENT TIME=23:59:30\n"
                         "@PJL COMMENT DNAME=Report\n"
                         "@PJL SET JOBNAME=Report\n"
                         "@PJL SET USERNAME=alice\n"
                         "@PJL SET QTY=1\n"
                         "@PJL SET DUPLEX=OFF\n"
                         "@PJL SET RESOLUTION=600\n"
                         "@PJL SET RENDERMODE=COLOR\n"
                         "@PJL SET OUTBIN=FACEDOWN\n"
                         "@PJL SET JOBATTR=\"@NLPP=2\"\n"
                         "@PJL SET JOBATTR=\"@HOAD=192.0.2.7\"\n"
                         // With bit 0x4 or 0x8 the kind is 5 (host name bit) and layout and bin stay 0.
                         "@PJL SET JOBATTR=\"@JOAU=5:HOST:0:0\"\n"
                         "@PJL SET JOBATTR=\"@CNAM=HOST32.0\"\n"
                         "@PJL SET ECONOMODE=OFF\n");
}

}  // namespace
}  // namespace kestrel::test::ejcl
