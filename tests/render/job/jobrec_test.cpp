// The job records: built from a default devmode of the K350 model (kernel
// build of the devmode core), read back as the bytes that travel in band.
#include <gtest/gtest.h>
#include <kplatform/kernel32_module.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/render/jobrec.h"
#include "kestrel/render/xl_inband.h"
#include "kestrel/core/zanlib.h"
#include "temp_root.h"
#include "xl_harness.h"

namespace {

using kestrel::test::kDriverDirW;

using Settings = std::vector<std::pair<WORD, LONG>>;

class JobRecords : public kestrel::test::RootedTest {
 protected:
  void SetUp() override {
    resource_startToUse(nullptr, (std::u16string(kDriverDirW) + u"kestrelkm.dll").c_str());
    ASSERT_EQ(kestrel::test::InstallModelFiles(kestrel::test::kModelA), "");
    handle_ = cddd_OpenFile((std::u16string(kDriverDirW) + u"K350.DDD").c_str());
    ASSERT_NE(handle_, nullptr);
    ASSERT_TRUE(cdm_SetDefaultDevmode(handle_, dm_.data(), pd_.data(), u"Kestrel"));
  }
  void TearDown() override {
    if (handle_) cddd_Close(handle_);
    resource_finishToUse();
  }

  // Writes a setting in its own type.
  void Put(WORD id, LONG value) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR slot = 0;
    ASSERT_EQ(ddm_GetValue(id, dm_.data(), pd_.data(), &type, &size, &slot), 0) << "DDM " << id;
    ASSERT_EQ(ddm_SetValue(id, dm_.data(), pd_.data(), type, size, &value), 0) << "DDM " << id << " = " << value;
  }
  void PutText(WORD id, const std::u16string& text) {
    ASSERT_EQ(ddm_SetValue(id, dm_.data(), pd_.data(), DDM_TYPE_STRING, DWORD(2 * (text.size() + 1)), text.c_str()), 0)
        << "DDM " << id;
  }
  void PutAll(const Settings& s) {
    for (const auto& [id, v] : s) Put(id, v);
  }

  LONG Build(const JOBREC_DEVICE& device, WORD* bad = nullptr) {
    LONG r = jobInfo_jobInfo_initAtJobStart(&job_, dm_.data(), pd_.data(), &device, bad);
    if (r != JOBREC_OK) return r;
    return jobInfo_layoutInfo_initAtJobStart(&layout_, &job_, dm_.data(), pd_.data(), &device, bad);
  }

  HCDDD handle_ = nullptr;
  std::vector<BYTE> dm_ = std::vector<BYTE>(NRV_DEVMODE_SIZE_FULL);
  std::vector<BYTE> pd_ = std::vector<BYTE>(NRV_PRINTERDATA_SIZE);
  JOBINFO job_{};
  LAYOUTINFO layout_{};
};

// One value read from the bytes that travel, by offset and width.
struct Field {
  char record;  // 'J' job information, 'L' layout information
  size_t offset;
  int width;    // 2 or 4 (signed read for 4)
  LONG value;
};

template <size_t N>
LONG ReadAt(const BYTE (&bytes)[N], size_t offset, int width) {
  if (width == 2) {
    uint16_t v;
    std::memcpy(&v, bytes + offset, 2);
    return v;
  }
  int32_t v;
  std::memcpy(&v, bytes + offset, 4);
  return v;
}

constexpr JOBREC_DEVICE kClass20{0x02000000, 0};
constexpr JOBREC_DEVICE kClass21{0x02010000, 0};
constexpr DWORD kAllCaps = JOBREC_CAP_LEADING_WHITE | JOBREC_CAP_FEATURE_405 | JOBREC_CAP_FEATURE_406 |
                           JOBREC_CAP_JOBTYPE_NO_MARGIN | JOBREC_CAP_DRIVER_COLLATE | JOBREC_CAP_TRAILER_JOBINFO |
                           JOBREC_CAP_BOOKLET_COUNT;

TEST_F(JobRecords, DevmodeVariantsGiveTheirOffsets) {
  struct Case {
    const char* name;
    Settings settings;
    JOBREC_DEVICE device;
    std::vector<Field> expect;
  };
  const Case cases[] = {
      {"booklet kind 1 with count in header",
       {{321, 2}, {446, 1}, {5158, 3}, {1328, 1}, {1291, 1}, {1292, 1}, {324, 7}, {322, 1}, {295, 4}},
       {0x02010000, JOBREC_CAP_BOOKLET_COUNT},
       {{'J', 60, 4, 1}, {'J', 64, 4, 1}, {'J', 68, 4, 3}, {'J', 80, 4, 1}, {'J', 104, 4, 0}, {'J', 100, 4, 0},
        {'L', 104, 2, 1}, {'L', 112, 2, 1}, {'L', 114, 2, 1}, {'L', 128, 4, 1}, {'L', 132, 4, 1},
        {'L', 136, 4, 7}, {'L', 140, 4, 2}, {'L', 72, 4, 0}, {'L', 76, 4, 0}}},
      {"booklet kind 2 without the capability",
       {{321, 2}, {446, 2}, {323, 9}, {1328, 1}, {322, 0}},
       kClass21,
       {{'J', 64, 4, 2}, {'J', 68, 4, 9}, {'J', 80, 4, 0}, {'L', 140, 4, 1}, {'L', 128, 4, 0}}},
      {"poster 3 x 3 with crop marks",
       {{321, 1}, {296, 771}, {1285, 1}, {382, 2}, {16, 2}},
       kClass21,
       {{'J', 48, 4, 1}, {'J', 52, 2, 3}, {'J', 54, 2, 3}, {'J', 56, 4, 1}, {'J', 60, 4, 0},
        {'L', 144, 2, 3}, {'L', 146, 2, 3}, {'L', 148, 4, 0}, {'L', 72, 4, 0}, {'L', 104, 2, 1}}},
      {"no poster: 1 x 1 and DDM 382 kept",
       {{321, 0}, {382, 2}},
       kClass21,
       {{'J', 48, 4, 0}, {'J', 52, 2, 0}, {'L', 144, 2, 1}, {'L', 146, 2, 1}, {'L', 148, 4, 2}}},
      {"N-up 2 portrait: grid turned, paper turned",
       {{295, 2}, {294, 1}, {1281, 1}, {263, 50}},
       kClass21,
       {{'J', 34, 2, 2}, {'J', 100, 4, 0}, {'J', 104, 4, 0}, {'L', 104, 2, 2}, {'L', 108, 4, 1},
        {'L', 112, 2, 1}, {'L', 114, 2, 2}, {'L', 116, 4, 0}, {'L', 120, 4, 1}, {'L', 84, 4, 0},
        {'L', 88, 2, 100}}},
      {"N-up 8 landscape: grid and paper agree",
       {{295, 8}, {294, 2}},
       kClass21,
       {{'L', 108, 4, 1}, {'L', 112, 2, 2}, {'L', 114, 2, 4}, {'L', 116, 4, 1}, {'L', 120, 4, 0}}},
      {"N-up 32",
       {{295, 32}, {294, 1}},
       kClass21,
       {{'J', 34, 2, 32}, {'L', 108, 4, 1}, {'L', 112, 2, 4}, {'L', 114, 2, 8}, {'L', 120, 4, 1}}},
      {"N-up 16: not turned",
       {{295, 16}, {294, 1}},
       kClass21,
       {{'L', 108, 4, 0}, {'L', 112, 2, 4}, {'L', 114, 2, 4}, {'L', 120, 4, 0}}},
      {"duplex long edge",
       {{16, 2}},
       kClass21,
       {{'J', 32, 2, 2}, {'L', 72, 4, 2}}},
      {"duplex short edge",
       {{16, 3}},
       kClass21,
       {{'J', 32, 2, 2}, {'L', 72, 4, 1}}},
      {"simplex",
       {{16, 1}},
       kClass21,
       {{'J', 32, 2, 1}, {'L', 72, 4, 0}}},
      {"collated copies by the driver",
       {{12, 3}, {18, 1}, {1344, 0}},
       {0x02010000, JOBREC_CAP_DRIVER_COLLATE},
       {{'J', 172, 2, 3}, {'J', 180, 4, 1}, {'J', 176, 4, 1}, {'J', 216, 4, 1}, {'J', 184, 4, 0}}},
      {"collate without the capability",
       {{12, 3}, {18, 1}, {1344, 0}},
       kClass21,
       {{'J', 180, 4, 0}, {'J', 176, 4, 0}, {'J', 216, 4, 1}}},
      {"collate of one copy",
       {{12, 1}, {18, 1}},
       {0x02010000, JOBREC_CAP_DRIVER_COLLATE},
       {{'J', 180, 4, 0}, {'J', 216, 4, 1}}},
      {"collate with a hard disk making them",
       {{12, 2}, {18, 1}, {1344, 1}, {4123, 0}, {4099, 1}},
       {0x02010000, JOBREC_CAP_DRIVER_COLLATE},
       {{'J', 180, 4, 0}}},
      {"reverse order stores all pages",
       {{1312, 1}, {18, 0}},
       kClass21,
       {{'J', 184, 4, 1}, {'J', 176, 4, 1}, {'J', 180, 4, 0}, {'J', 216, 4, 0}}},
      {"zoom 25", {{1281, 1}, {263, 25}, {1283, 1}}, kClass21, {{'L', 84, 4, 1}, {'L', 88, 2, 25}, {'L', 92, 4, 0}}},
      {"zoom 400", {{1281, 1}, {263, 400}}, kClass21, {{'L', 84, 4, 1}, {'L', 88, 2, 400}}},
      {"zoom off ignores its percent",
       {{1281, 0}, {263, 401}, {1283, 1}},
       kClass21,
       {{'L', 84, 4, 0}, {'L', 88, 2, 100}, {'L', 92, 4, 1}}},
      {"fax job type", {{334, 5}}, kClass21, {{'J', 224, 4, 4}}},
      {"job type 3 clears the margin position with the capability",
       {{334, 3}, {267, 2}},
       {0x02010000, JOBREC_CAP_JOBTYPE_NO_MARGIN},
       {{'J', 224, 4, 3}, {'L', 76, 4, 0}}},
      {"margin position and widths",
       {{334, 0}, {267, 7}, {268, 120}, {269, 80}},
       {0x02010000, JOBREC_CAP_JOBTYPE_NO_MARGIN},
       {{'J', 224, 4, 0}, {'L', 76, 4, 2}, {'L', 80, 2, 120}, {'L', 82, 2, 80}}},
      {"class 2.0: 120/124 unsupported, banner 2 becomes 0",
       {{1293, 1}, {1294, 1}, {332, 2}},
       kClass20,
       {{'J', 0, 4, 0x02000000}, {'J', 120, 4, -1}, {'J', 124, 4, -1}, {'J', 136, 4, 0}}},
      {"class 2.1: 120/124 and banner 2",
       {{1293, 1}, {1294, 0}, {332, 2}},
       kClass21,
       {{'J', 0, 4, 0x02010000}, {'J', 120, 4, 1}, {'J', 124, 4, 0}, {'J', 136, 4, 2}}},
      {"leading white page from DDM 404",
       {{404, 1}, {1340, 0}, {407, 5}, {333, 9}},
       {0x02010000, JOBREC_CAP_LEADING_WHITE},
       {{'J', 136, 4, 2}, {'J', 192, 4, 5}}},
      {"colour mode 3 with automatic colour",
       {{270, 3}, {1289, 1}},
       kClass21,
       {{'J', 12, 4, 0}, {'J', 16, 4, 1}}},
      {"colour mode 3 without automatic colour",
       {{270, 3}, {1289, 0}},
       kClass21,
       {{'J', 12, 4, 2}, {'J', 16, 4, 0}}},
      {"form registration", {{339, 1}, {5149, 1}}, kClass21, {{'J', 128, 4, 1}, {'J', 132, 4, 0}, {'J', 196, 4, 0}}},
      {"form overlay", {{339, 2}, {5149, 1}}, kClass21, {{'J', 128, 4, 0}, {'J', 132, 4, 1}, {'J', 196, 4, 1}}},
      {"device capabilities",
       {{405, 1}, {406, 1}, {1834, -3}, {1853, 7}},
       {0x02010000, kAllCaps},
       {{'J', 212, 4, 1}, {'J', 1292, 4, 1}, {'J', 1296, 4, 1}, {'J', 1304, 2, 0xFFFD}, {'J', 1342, 2, 7}}},
      {"header and footer items",
       {{1296, 1}, {1298, 1}, {351, 4}, {353, 6}},
       kClass21,
       {{'J', 140, 4, 1}, {'J', 144, 2, 4}, {'J', 146, 2, 0xFFFF}, {'J', 148, 2, 6}, {'J', 154, 2, 0xFFFF},
        {'J', 156, 4, 1}}},
  };
  const std::vector<BYTE> pristineDm = dm_;
  const std::vector<BYTE> pristinePd = pd_;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dm_ = pristineDm;
    pd_ = pristinePd;
    PutAll(c.settings);
    WORD bad = 0xBEEF;
    ASSERT_EQ(Build(c.device, &bad), JOBREC_OK) << "bad DDM " << bad;
    BYTE jb[XL_IC_JOBINFO_SIZE];
    BYTE lb[XL_IC_LAYOUTINFO_SIZE];
    jobrec_Store(&job_, jb);
    jobrec_Store(&layout_, lb);
    for (const Field& f : c.expect) {
      const LONG got = f.record == 'J' ? ReadAt(jb, f.offset, f.width) : ReadAt(lb, f.offset, f.width);
      EXPECT_EQ(got, f.value) << f.record << " offset " << f.offset;
    }
  }
}

TEST_F(JobRecords, FewColourAndStampNeedTheirConditions) {
  Put(270, 0);
  Put(4129, 1);
  Put(5153, 1);
  Put(5126, 0x0105);
  ASSERT_EQ(Build(kClass21), JOBREC_OK);
  EXPECT_EQ(job_.fewColorEnable, 1);
  EXPECT_EQ(job_.fewColorLimit, 5);
  EXPECT_EQ(job_.fewColorValue, 1);

  Put(270, 1);  // colour mode 1: no few-colour printing
  Put(5126, 0x0F05);  // and its bits are then not looked at
  ASSERT_EQ(Build(kClass21), JOBREC_OK);
  EXPECT_EQ(job_.fewColorEnable, 0);
  EXPECT_EQ(job_.fewColorLimit, 0);

  // Stamp: a stamp name and one of its texts.
  PutText(297, u"Draft");
  PutText(299, u"");
  PutText(1857, u"");
  ASSERT_EQ(Build(kClass21), JOBREC_OK);
  EXPECT_EQ(job_.stampOnFirst + job_.stampOnAll, 0);
  PutText(1857, u"x");
  Put(1288, 1);
  Put(1286, 1);  // both are flags
  Put(1287, 0);
  ASSERT_EQ(Build(kClass21), JOBREC_OK);
  EXPECT_EQ(job_.stampOnFirst, 1);
  EXPECT_EQ(job_.stampOnAll, 0);
  EXPECT_EQ(job_.stampValue1, 1);
  EXPECT_EQ(job_.stampValue2, 0);
}

TEST_F(JobRecords, ValuesOutsideTheirSetsStopTheJobAndKeepTheRecords) {
  struct Case {
    const char* name;
    Settings settings;
    WORD bad;
  };
  const Case cases[] = {
      {"zoom 24", {{295, 1}, {1281, 1}, {263, 24}}, 263},
      {"zoom 401", {{295, 1}, {1281, 1}, {263, 401}}, 263},
      {"N-up 3", {{295, 3}}, 295},
      {"colour mode 4", {{270, 4}}, 270},
      {"poster parts 5 x 5", {{321, 1}, {296, 1285}}, 296},
      {"booklet kind 3", {{321, 2}, {446, 3}}, 446},
      {"few-colour value bits 2", {{270, 0}, {4129, 1}, {5153, 1}, {5126, 0x0205}}, 5126},
      {"duplex 0", {{16, 0}}, 16},
      {"banner 3", {{404, 0}, {332, 3}}, 332},
  };
  const std::vector<BYTE> pristine = dm_;
  const std::vector<BYTE> pristinePd = pd_;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dm_ = pristine;
    pd_ = pristinePd;
    PutAll(c.settings);
    JOBINFO jobBefore;
    std::memset(&jobBefore, 0x5A, sizeof jobBefore);
    job_ = jobBefore;
    LAYOUTINFO layoutBefore;
    std::memset(&layoutBefore, 0xA5, sizeof layoutBefore);
    layout_ = layoutBefore;
    WORD bad = 0;
    LONG r = jobInfo_jobInfo_initAtJobStart(&job_, dm_.data(), pd_.data(), &kClass21, &bad);
    if (r == JOBREC_OK) {
      EXPECT_EQ(jobInfo_layoutInfo_initAtJobStart(&layout_, &job_, dm_.data(), pd_.data(), &kClass21, &bad),
                JOBREC_ERR_VALUE);
      EXPECT_EQ(std::memcmp(&layout_, &layoutBefore, sizeof layout_), 0);
    } else {
      EXPECT_EQ(r, JOBREC_ERR_VALUE);
      EXPECT_EQ(std::memcmp(&job_, &jobBefore, sizeof job_), 0);
    }
    EXPECT_EQ(bad, c.bad);
  }
}

TEST_F(JobRecords, PdlVersionAndArguments) {
  for (DWORD v : {0x01FFFFFFu, 0x02010001u}) {
    const JOBREC_DEVICE device{v, 0};
    EXPECT_EQ(jobInfo_jobInfo_initAtJobStart(&job_, dm_.data(), pd_.data(), &device, nullptr),
              JOBREC_ERR_VALUE)
        << std::hex << v;
  }
  EXPECT_EQ(jobInfo_jobInfo_initAtJobStart(nullptr, dm_.data(), pd_.data(), &kClass21, nullptr), JOBREC_ERR_ARG);
  EXPECT_EQ(jobInfo_jobInfo_initAtJobStart(&job_, nullptr, pd_.data(), &kClass21, nullptr), JOBREC_ERR_ARG);
  EXPECT_EQ(jobInfo_layoutInfo_initAtJobStart(&layout_, nullptr, dm_.data(), pd_.data(), &kClass21, nullptr),
            JOBREC_ERR_ARG);

  // Linked applications.
  Put(1332, 1);
  EXPECT_EQ(jobInfo_getPDLVersion_forApplink(0x02010000, dm_.data(), pd_.data()), 0x02010000u);
  EXPECT_EQ(jobInfo_getPDLVersion_forApplink(0x02010001, dm_.data(), pd_.data()), 0x02000000u);
  EXPECT_EQ(jobInfo_getPDLVersion_forApplink(0x01000000, dm_.data(), pd_.data()), 0x02000000u);
  Put(1332, 0);
  EXPECT_EQ(jobInfo_getPDLVersion_forApplink(0x02010000, dm_.data(), pd_.data()), 0x02000000u);
}

}  // namespace
