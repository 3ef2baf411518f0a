// The renderer's kernel-mode services: the PDEV heap over the engine's
// blocks, the devmode shorthand of a PDEV, units on the engine's
// floating-point objects, the halftone pattern size, the devmode part copies
// and the renderer's reading of tray, paper and font records.
#include <gtest/gtest.h>
#include <kplatform/engine.h>
#include <kplatform/kernel32_module.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/render/km_services.h"
#include "kestrel/core/zanlib.h"
#include "temp_root.h"

namespace {

using kestrel::test::kDriverDirW;

// ---- Heap ------------------------------------------------------------------------

TEST(KernelHeap, BlocksAreLinkedAlignedAndAllFreedWithTheHeap) {
  size_t before = KpEngineBlockCount(KM_HEAP_TAG);
  size_t badFrees = KpEngineBadFreeCount();
  void* heap = HEAPCREATE();
  ASSERT_NE(heap, nullptr);
  std::vector<BYTE*> blocks;
  for (ULONG size : {1u, 16u, 100u, 4736u, 14284u}) {
    auto* b = static_cast<BYTE*>(_HEAPALLOC(heap, size, 0));
    ASSERT_NE(b, nullptr) << size;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 16, 0u) << size;
    std::memset(b, 0x5A, size);  // the whole block is the caller's
    blocks.push_back(b);
  }
  EXPECT_EQ(KpEngineBlockCount(KM_HEAP_TAG), before + 6);  // five blocks and the head

  HEAPFREE(heap, blocks[2]);  // from the middle of the list
  HEAPFREE(heap, blocks[4]);  // the newest
  HEAPFREE(heap, blocks[0]);  // the oldest
  EXPECT_EQ(KpEngineBlockCount(KM_HEAP_TAG), before + 3);
  // A block freed already, a block of another heap, or none: ignored.
  void* other = HEAPCREATE();
  void* foreign = _HEAPALLOC(other, 8, 0);
  HEAPFREE(heap, blocks[2]);
  HEAPFREE(heap, foreign);
  HEAPFREE(heap, nullptr);
  HEAPFREE(nullptr, blocks[1]);
  EXPECT_EQ(KpEngineBadFreeCount(), badFrees);
  EXPECT_EQ(KpEngineBlockCount(KM_HEAP_TAG), before + 5);

  HEAPDESTROY(heap);
  HEAPDESTROY(other);
  HEAPDESTROY(nullptr);
  EXPECT_EQ(KpEngineBlockCount(KM_HEAP_TAG), before);
  EXPECT_EQ(KpEngineBadFreeCount(), badFrees);
}

TEST(KernelHeap, AllocationFailuresLeaveTheHeapAsItWas) {
  size_t before = KpEngineBlockCount(KM_HEAP_TAG);
  KpEngineFailAllocation(1);
  EXPECT_EQ(HEAPCREATE(), nullptr);
  void* heap = HEAPCREATE();
  ASSERT_NE(heap, nullptr);
  void* kept = _HEAPALLOC(heap, 32, 0);
  ASSERT_NE(kept, nullptr);
  KpEngineFailAllocation(1);
  EXPECT_EQ(_HEAPALLOC(heap, 32, 0), nullptr);
  EXPECT_EQ(_HEAPALLOC(heap, 0x7FFFFFFFu, 0), nullptr);  // with its head beyond the largest block
  EXPECT_EQ(_HEAPALLOC(nullptr, 32, 0), nullptr);
  EXPECT_EQ(KpEngineBlockCount(KM_HEAP_TAG), before + 2);
  void* next = _HEAPALLOC(heap, 32, 0);  // the list is still whole
  ASSERT_NE(next, nullptr);
  HEAPFREE(heap, kept);
  HEAPDESTROY(heap);
  EXPECT_EQ(KpEngineBlockCount(KM_HEAP_TAG), before);
}

// ---- Units -------------------------------------------------------------------------

TEST(KernelUnits, ConversionsEqualIntegerTruncation) {
  // Lengths of A3 and A4 (and their edges) in micrometres and 1/18432 inch.
  const LONG micrometres[] = {210000, 297000, 420000, 4200, -297000, 1};
  for (LONG um : micrometres) {
    LONG ps = MicronToPSReal(um);
    EXPECT_EQ(ps, static_cast<LONG>(int64_t{um} * 18432 / 25400)) << um;
    EXPECT_EQ(PSRealToMicron(ps), static_cast<LONG>(int64_t{ps} * 25400 / 18432)) << ps;
    for (LONG dpi : {600, 1200}) {
      EXPECT_EQ(PSRealToPixel(ps, dpi), static_cast<LONG>(int64_t{ps} * dpi / 18432)) << ps << " at " << dpi;
    }
  }
  // A3's length at 1200 dpi: 420 mm = 304781 units, 19842 pixels (the
  // product is beyond what a single-precision float holds exactly).
  EXPECT_EQ(MicronToPSReal(420000), 304781);
  EXPECT_EQ(PSRealToPixel(304781, 1200), 19842);
  // Beyond the LONG range the answer is held at its end.
  constexpr LONG kMax = 2147483647;
  constexpr LONG kMin = -kMax - 1;
  EXPECT_EQ(PSRealToMicron(kMax), kMax);
  EXPECT_EQ(PSRealToMicron(kMin), kMin);
}

TEST(KernelUnits, HalftonePatternSizeFromTheSmallerResolution) {
  struct Case {
    ULONG x, y;
    BOOL flag;
    ULONG size;
  } cases[] = {
      {600, 1200, FALSE, 7}, {1200, 1200, FALSE, 11}, {2400, 2400, FALSE, 15}, {1800, 2400, FALSE, 13},
      {900, 900, FALSE, 9},  {899, 1200, FALSE, 7},   {400, 400, FALSE, 7},    {399, 600, FALSE, 5},
      {180, 180, FALSE, 5},  {179, 179, FALSE, 3},    {179, 179, TRUE, 1},     {2400, 2400, TRUE, 13},
      {0, 0, FALSE, 3},
  };
  for (const Case& c : cases) EXPECT_EQ(PickDefaultHTPatSize(c.x, c.y, c.flag), c.size) << c.x << "x" << c.y;
}

// ---- A PDEV with model A's defaults ---------------------------------------------------

class KernelPdev : public kestrel::test::RootedTest {
 protected:
  void SetUp() override {
    resource_startToUse(nullptr, (std::u16string(kDriverDirW) + u"kestrelkm.dll").c_str());
    Install(kestrel::test::kModelA, u"K350.DDD");
  }
  void TearDown() override {
    if (ddd_) cddd_Close(ddd_);
    resource_finishToUse();
  }
  void Install(const char* model, const char16_t* mainW) {
    ASSERT_EQ(kestrel::test::InstallModelFiles(model), "");
    if (ddd_) cddd_Close(ddd_);
    ddd_ = cddd_OpenFile((std::u16string(kDriverDirW) + mainW).c_str());
    ASSERT_NE(ddd_, nullptr);
  }
  std::unique_ptr<PDEV> DefaultPdev() {
    auto pdev = std::make_unique<PDEV>();
    EXPECT_TRUE(cdm_SetDefaultDevmode(ddd_, pdev->devmode, pd_.data(), u"Kestrel"));
    pdev->printerData = pd_.data();
    return pdev;
  }

  HCDDD ddd_ = nullptr;
  std::vector<BYTE> pd_ = std::vector<BYTE>(NRV_PRINTERDATA_SIZE);
};

TEST_F(KernelPdev, ShorthandReadsAndWritesByDdmId) {
  auto pdev = DefaultPdev();
  SHORT copies = 0;
  std::memcpy(&copies, pdev->devmode + offsetof(DEVMODEW, dmCopies), 2);
  EXPECT_EQ(DDMS_GetShort(pdev.get(), 12), copies);

  EXPECT_EQ(DDMS_SetShort(pdev.get(), 12, 3), 0);  // a signed 16-bit member
  EXPECT_EQ(DDMS_GetShort(pdev.get(), 12), 3);
  EXPECT_EQ(DDMS_SetShort(pdev.get(), 3, 0x5110), 0);  // an unsigned 16-bit member
  EXPECT_EQ(DDMS_GetUlong(pdev.get(), 3), 0x5110u);
  EXPECT_EQ(DDMS_SetShort(pdev.get(), 6, 1), 2);  // a 32-bit member refuses a 16-bit value
  EXPECT_EQ(DDMS_SetShort(pdev.get(), 600, 1), 1);

  ASSERT_EQ(DDMS_SetShort(pdev.get(), 20, 600), 0);
  ASSERT_EQ(DDMS_SetShort(pdev.get(), 21, 1200), 0);
  EXPECT_EQ(DDMS_GetUlong(pdev.get(), 14), 600u * 65536u + 1200u);

  LPWSTR form = DDMS_GetPStr(pdev.get(), 19);
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(reinterpret_cast<BYTE*>(form), pdev->devmode + offsetof(DEVMODEW, dmFormName));

  // Failed reads answer 0 (null for strings); so do strings read as numbers.
  struct Failure {
    WORD id;
    const char* what;
  } failures[] = {{600, "an id in no group"}, {7000, "an id without a member"}, {19, "a string"}};
  for (const Failure& f : failures) {
    EXPECT_EQ(DDMS_GetUlong(pdev.get(), f.id), 0u) << f.what;
    EXPECT_EQ(DDMS_GetShort(pdev.get(), f.id), 0) << f.what;
  }
  EXPECT_EQ(DDMS_GetPStr(pdev.get(), 12), nullptr);  // not a string
  EXPECT_EQ(DDMS_GetPStr(pdev.get(), 600), nullptr);
  EXPECT_EQ(DDMS_GetUlong(nullptr, 12), 0u);
  EXPECT_EQ(DDMS_GetPStr(nullptr, 19), nullptr);
  // Printer-data members while the record is not loaded.
  ASSERT_EQ(DDMS_SetShort(pdev.get(), 5132, 77), 0);
  ASSERT_EQ(DDMS_GetUlong(pdev.get(), 5132), 77u);
  pdev->printerData = nullptr;
  EXPECT_EQ(DDMS_GetUlong(pdev.get(), 5132), 0u);
  EXPECT_EQ(DDMS_SetShort(pdev.get(), 5132, 1), 16);
}

TEST_F(KernelPdev, CoreSetValueSizesEachType) {
  auto pdev = DefaultPdev();
  const DWORD flag = 1;
  const SHORT orientation = 2;
  const BYTE byteValue = 7;
  const char16_t form[] = u"A3";
  struct Case {
    WORD id;
    WORD type;
    const void* value;
  } cases[] = {
      {1281, DDM_TYPE_FLAG, &flag}, {7, DDM_TYPE_SHORT, &orientation}, {19, DDM_TYPE_STRING, form},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CoreDDM_SetValue(pdev->devmode, pdev->printerData, c.id, c.type, c.value), 0) << c.id;
  }
  EXPECT_EQ(DDMS_GetShort(pdev.get(), 1281), 1);
  EXPECT_EQ(DDMS_GetShort(pdev.get(), 7), 2);
  EXPECT_EQ(std::u16string(DDMS_GetPStr(pdev.get(), 19)), u"A3");
  // A byte member given as a byte; a type the access core does not know.
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  ASSERT_EQ(ddm_GetValue(5138, pdev->devmode, pdev->printerData, &type, &size, &v), 0);
  ASSERT_EQ(type, DDM_TYPE_BYTE);
  EXPECT_EQ(CoreDDM_SetValue(pdev->devmode, pdev->printerData, 5138, type, &byteValue), 0);
  EXPECT_NE(CoreDDM_SetValue(pdev->devmode, pdev->printerData, 12, 7, &flag), 0);
}

TEST_F(KernelPdev, DevmodePartCopies) {
  auto source = DefaultPdev();
  auto target = DefaultPdev();
  // The non-devmode part moves whole; the devmode part stays.
  for (size_t i = NRV_NONDEVMODE_OFFSET; i < NRV_DEVMODE_SIZE_FULL; ++i) source->devmode[i] = static_cast<BYTE>(i);
  source->devmode[100] ^= 0xFF;
  std::vector<BYTE> before(target->devmode, target->devmode + NRV_DEVMODE_SIZE_FULL);
  ASSERT_TRUE(dmCopyNONDEVDAT(target->devmode, source->devmode));
  EXPECT_EQ(std::memcmp(target->devmode + NRV_NONDEVMODE_OFFSET, source->devmode + NRV_NONDEVMODE_OFFSET,
                        NRV_NONDEVMODE_SIZE),
            0);
  EXPECT_EQ(std::memcmp(target->devmode, before.data(), NRV_NONDEVMODE_OFFSET), 0);
  EXPECT_FALSE(dmCopyNONDEVDAT(nullptr, source->devmode));
  EXPECT_FALSE(dmCopyNONDEVDAT(target->devmode, nullptr));

  // The fax items: the five numbers and the two strings, nothing else.
  source = DefaultPdev();
  target = DefaultPdev();
  const char16_t number[] = u"0123456789";
  const char16_t name[] = u"Recipient";
  ASSERT_EQ(CoreDDM_SetValue(source->devmode, nullptr, 374, DDM_TYPE_STRING, number), 0);
  ASSERT_EQ(CoreDDM_SetValue(source->devmode, nullptr, 375, DDM_TYPE_STRING, name), 0);
  for (WORD id : {376, 377, 379, 380, 381}) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR v = 0;
    ASSERT_EQ(ddm_GetValue(id, source->devmode, nullptr, &type, &size, &v), 0) << id;
    ULONG_PTR changed = v ^ 1;
    ASSERT_EQ(ddm_SetValue(id, source->devmode, nullptr, type, size, &changed), 0) << id;
  }
  std::vector<BYTE> expected(source->devmode, source->devmode + NRV_DEVMODE_SIZE_FULL);
  before.assign(target->devmode, target->devmode + NRV_DEVMODE_SIZE_FULL);
  ASSERT_TRUE(copyFAXDATA(target->devmode, source->devmode));
  EXPECT_EQ(std::vector<BYTE>(target->devmode, target->devmode + NRV_DEVMODE_SIZE_FULL), expected);
  EXPECT_EQ(std::u16string(DDMS_GetPStr(target.get(), 374)), number);
  EXPECT_FALSE(copyFAXDATA(nullptr, source->devmode));
}

// ---- Description data additions ---------------------------------------------------------

struct Record {
  void* p = nullptr;
  ~Record() {
    if (p) ddd_Free(&p, DDD_KIND_ANY);
  }
};

TEST_F(KernelPdev, TrayPaperAndFontFieldsOfBothModels) {
  struct TrayCase {
    const char* model;
    WORD category, id;
    WORD nrvResult, nrv;
    BYTE duplex;
  } trays[] = {
      {"K350", DDD_CAT_TRAY, 1, 0, 4, 1}, {"K350", DDD_CAT_TRAY, 7, 0, 1, 1},
      {"K260", DDD_CAT_TRAY, 4, 0, 3, 0}, {"K260", DDD_CAT_TRAY2, 1, 1, 0, 1},  // an output bin: no NRV argument
  };
  struct PaperCase {
    const char* model;
    WORD id;
    WORD portrait;
    BYTE duplex;
    DDD_POINT lower, upper;
  } papers[] = {
      {"K350", 9, 2, 1, {0, 0}, {0, 0}},     {"K350", 8, 5, 1, {0, 0}, {0, 0}},
      {"K350", 261, 255, 0, {0, 0}, {0, 0}}, {"K350", 256, 255, 1, {900, 1390}, {2970, 4318}},
      {"K260", 256, 255, 1, {1397, 1820}, {2159, 3556}},
  };
  for (const char* model : {"K350", "K260"}) {
    SCOPED_TRACE(model);
    std::string main = std::string(model) + ".DDD";
    Install(model, std::u16string(main.begin(), main.end()).c_str());
    for (const TrayCase& t : trays) {
      if (std::string(t.model) != model) continue;
      SCOPED_TRACE(t.id);
      Record r;
      ASSERT_EQ(ddd_GetDataByIDX(DDD_QUICK, ddd_->main, ddd_->referenced, t.category, t.id, 0, &r.p), DDD_OK);
      WORD nrv = 0;
      BYTE duplex = 9;
      EXPECT_EQ(ddd_GetTrayNRVArg(r.p, &nrv), t.nrvResult);
      EXPECT_EQ(nrv, t.nrv);
      EXPECT_EQ(ddd_GetTrayDuplexAvailability(r.p, &duplex), 0);
      EXPECT_EQ(duplex, t.duplex);
      EXPECT_EQ(ddd_GetPortraitArg(r.p), 0);  // not a paper
      static_cast<DDD_HEAD*>(r.p)->formatVersion = 0x1FF;  // a file older than the duplex fields
      EXPECT_EQ(ddd_GetTrayDuplexAvailability(r.p, &duplex), 1);
      EXPECT_EQ(ddd_GetTrayNRVArg(r.p, nullptr), 1);
    }
    for (const PaperCase& p : papers) {
      if (std::string(p.model) != model) continue;
      SCOPED_TRACE(p.id);
      Record r;
      ASSERT_EQ(ddd_GetDataByIDX(DDD_FULL, ddd_->main, ddd_->referenced, DDD_CAT_PAPER, p.id, 0, &r.p), DDD_OK);
      EXPECT_EQ(ddd_GetPortraitArg(r.p), p.portrait);
      BYTE duplex = 9;
      const DDD_POINT* lower = nullptr;
      const DDD_POINT* upper = nullptr;
      ASSERT_EQ(ddd_GetPaperDuplexAvailability(r.p, &duplex, &lower, &upper), 0);
      EXPECT_EQ(duplex, p.duplex);
      ASSERT_TRUE(lower && upper);
      EXPECT_EQ(lower->first, p.lower.first);
      EXPECT_EQ(lower->second, p.lower.second);
      EXPECT_EQ(upper->first, p.upper.first);
      EXPECT_EQ(upper->second, p.upper.second);
      WORD nrv = 0;
      EXPECT_EQ(ddd_GetTrayNRVArg(r.p, &nrv), 1);  // not a tray
      EXPECT_EQ(ddd_GetXFMSize(r.p), 0u);
      EXPECT_EQ(ddd_GetPaperDuplexAvailability(r.p, &duplex, &lower, nullptr), 1);
      static_cast<DDD_HEAD*>(r.p)->formatVersion = 0x1FF;
      EXPECT_EQ(ddd_GetPaperDuplexAvailability(r.p, &duplex, &lower, &upper), 1);
    }
    // A font's metrics: their size comes with the full read only.
    for (WORD depth : {DDD_FULL, DDD_QUICK}) {
      Record r;
      ASSERT_EQ(ddd_GetDataByIndexX(depth, ddd_->main, ddd_->referenced, DDD_CAT_FONT, 1, &r.p), DDD_OK);
      if (depth == DDD_FULL) {
        EXPECT_GT(ddd_GetXFMSize(r.p), 0u);
        EXPECT_NE(ddd_GetXFMData(r.p), nullptr);
      } else {
        EXPECT_EQ(ddd_GetXFMSize(r.p), 0u);
      }
      EXPECT_EQ(ddd_GetPortraitArg(r.p), 0);
    }
  }
  EXPECT_EQ(ddd_GetPortraitArg(nullptr), 0);
  EXPECT_EQ(ddd_GetXFMSize(nullptr), 0u);
  EXPECT_EQ(_SetPageClip(nullptr), -1);
  int page = 0;
  EXPECT_EQ(_SetPageClip(&page), 0);
}

}  // namespace
