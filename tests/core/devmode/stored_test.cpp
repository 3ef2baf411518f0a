// The stamp-name list and the copy of a printer's stored devmode.
#include <memory>

#include "defaults_fixture.h"

namespace kestrel::test::defaults {
namespace {

// A stamp store fixture: the names it holds, and how many bytes it claims
// more at the second call (a stamp added between the two calls).
std::u16string g_names;
WORD g_count = 0;
DWORD g_growBy = 0;
int g_calls = 0;
WORD g_result = 1;

WORD FakeStamps(HANDLE, HCDDD, LPWSTR buffer, WORD* count, DWORD* size) {
  ++g_calls;
  if (g_result != 1) return g_result;
  DWORD bytes = static_cast<DWORD>(g_names.size() * 2);
  if (!buffer) {
    *size = bytes;
    return 1;
  }
  std::u16string names = g_names + std::u16string(g_growBy / 2, u'g');
  DWORD copy = std::min<DWORD>(*size, static_cast<DWORD>(names.size() * 2));
  std::memcpy(buffer, names.data(), copy);
  *count = g_count;
  return 1;
}

class EnumItems : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls = 0;
    g_growBy = 0;
    g_result = 1;
    cdm_SetStampListProvider(FakeStamps);
  }
  void TearDown() override { cdm_SetStampListProvider(nullptr); }
};

TEST_F(EnumItems, StampNamesComeFromTheStore) {
  g_names = std::u16string(u"Draft\0Copy\0", 11);
  g_count = 2;
  CDM_ENUM_ITEMS* list = nullptr;
  ASSERT_EQ(1, cdmCreateEnumItemData(nullptr, 298, &list, nullptr));
  ASSERT_NE(nullptr, list);
  EXPECT_EQ(2, g_calls);  // once for the size, once for the names
  EXPECT_EQ(2u, list->count);
  EXPECT_EQ(u"Draft", std::u16string(list->names));
  EXPECT_EQ(u"Copy", std::u16string(list->names + 6));
  cdmDestroyEnumItemData(list);
}

TEST_F(EnumItems, AStoreThatGrewBetweenTheCallsStaysInItsBlock) {
  g_names = std::u16string(u"Draft", 5);  // no final NUL, and growing
  g_count = 1;
  g_growBy = 40;
  CDM_ENUM_ITEMS* list = nullptr;
  ASSERT_EQ(1, cdmCreateEnumItemData(nullptr, 298, &list, nullptr));
  EXPECT_EQ(u"Draft", std::u16string(list->names));
  cdmDestroyEnumItemData(list);
}

TEST_F(EnumItems, OtherIdsAndFailures) {
  CDM_ENUM_ITEMS* list = nullptr;
  ASSERT_EQ(1, cdmCreateEnumItemData(nullptr, 297, &list, nullptr));
  ASSERT_NE(nullptr, list);
  EXPECT_EQ(0u, list->count);
  EXPECT_EQ(nullptr, list->names);
  EXPECT_EQ(0, g_calls);
  cdmDestroyEnumItemData(list);

  g_result = 9;  // the enumeration failed
  list = reinterpret_cast<CDM_ENUM_ITEMS*>(1);
  EXPECT_EQ(0, cdmCreateEnumItemData(nullptr, 298, &list, nullptr));
  EXPECT_EQ(nullptr, list);
  cdm_SetStampListProvider(nullptr);
  EXPECT_EQ(0, cdmCreateEnumItemData(nullptr, 298, &list, nullptr));
  EXPECT_EQ(0, cdmCreateEnumItemData(nullptr, 298, nullptr, nullptr));
  cdmDestroyEnumItemData(nullptr);
}

TEST(StoredDevmode, CopiedWithinItsOwnSizeAndNeverPast5440) {
  struct Case {
    const char* what;
    WORD size, extra;
    DWORD allocated;  // exact heap size of the stored devmode
    DWORD copied;
  };
  const Case cases[] = {
      {"bare standard devmode", 220, 0, 220, 220},
      {"application form", 220, 1336, 1556, 1556},
      {"full form", 220, 5220, 5440, 5440},
      {"CreateDC form", 220, 5244, 5464, 5440},
      {"oversized", 220, 60000, 60220, 5440},
  };
  for (const Case& c : cases) {
    std::unique_ptr<BYTE[]> stored(new BYTE[c.allocated]);
    std::memset(stored.get(), 0x5A, c.allocated);
    std::memcpy(stored.get() + 68, &c.size, 2);
    std::memcpy(stored.get() + 70, &c.extra, 2);
    std::unique_ptr<BYTE[]> out(new BYTE[NRV_DEVMODE_SIZE_FULL]);
    std::memset(out.get(), 0xEE, NRV_DEVMODE_SIZE_FULL);
    ASSERT_EQ(1, cdmCopyStoredDevmode(stored.get(), out.get())) << c.what;
    for (DWORD i = 72; i < NRV_DEVMODE_SIZE_FULL; ++i)
      ASSERT_EQ(i < c.copied ? 0x5A : 0, out[i]) << c.what << " byte " << i;
  }
  BYTE out[8];
  EXPECT_EQ(0, cdmCopyStoredDevmode(nullptr, out));
}

class StoredFromPrinter : public DefaultsTest {};

TEST_F(StoredFromPrinter, APrinterWithoutStoredDevmodeGivesNothing) {
  HCDDD h = OpenModel("K350");
  ASSERT_NE(nullptr, h);
  ASSERT_TRUE(KpSpoolerAddPrinter(u"Front Desk", u"Kestrel", u"K350.DDD", u"kestrelui.dll", u"kestrelkm.dll"));
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Front Desk"), &printer, nullptr));
  Records r;
  r.PutU16(78, 77);
  EXPECT_EQ(0, local_SetPrtIconRegData(h, r.dm.data(), 8, r.pd.data(), printer));
  EXPECT_EQ(77, r.U16(78));
  EXPECT_EQ(0, local_SetPrtIconRegData(h, r.dm.data(), 8, r.pd.data(), nullptr));
  ClosePrinter(printer);
  KpSpoolerReset();
}

}  // namespace
}  // namespace kestrel::test::defaults
