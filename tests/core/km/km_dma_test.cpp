// The kernel-mode renderer's own devmode access (dma_GetValue, dma_SetValue,
// dma_GetInfo, dma_GetBitFlagValue, dma_CheckTypeAndSize) and ddm_GetValue /
// ddm_SetValue, which forward to it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/dma_core.h"
#include "kestrel/core/dma_kernel.h"

namespace {

struct Records {
  std::vector<BYTE> dm = std::vector<BYTE>(NRV_DEVMODE_SIZE_FULL, 0);
  std::vector<BYTE> pd = std::vector<BYTE>(NRV_PRINTERDATA_SIZE, 0);

  WORD Set(WORD id, WORD type, DWORD size, const void* value) {
    return dma_SetValue(id, dm.data(), pd.data(), type, size, value);
  }
  WORD SetNumber(WORD id, WORD type, DWORD size, DWORD value) { return Set(id, type, size, &value); }
  // The value read, or ~0 when the read fails.
  ULONG_PTR Get(WORD id) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR v = 0;
    return dma_GetValue(id, dm.data(), pd.data(), &type, &size, &v, nullptr) == DMA_OK ? v : ~ULONG_PTR{0};
  }
  WORD Word(size_t offset) const {
    WORD w = 0;
    std::memcpy(&w, dm.data() + offset, 2);
    return w;
  }
};

// Bits that differ between two records.
size_t ChangedBits(const std::vector<BYTE>& a, const std::vector<BYTE>& b) {
  size_t n = 0;
  for (size_t i = 0; i < a.size(); ++i) n += __builtin_popcount(static_cast<unsigned>(a[i] ^ b[i]));
  return n;
}
size_t ChangedBytes(const std::vector<BYTE>& a, const std::vector<BYTE>& b) {
  size_t n = 0;
  for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
  return n;
}

TEST(KernelDevmodeAccess, SpecialMembersReadAndWriteInPlace) {
  Records r;
  // Id 14: the print quality in the high and the Y resolution in the low 16 bits.
  ASSERT_EQ(r.SetNumber(14, DDM_TYPE_DWORD, 4, 600u * 65536u + 1200u), DMA_OK);
  EXPECT_EQ(r.Word(offsetof(DEVMODEW, dmPrintQuality)), 600);
  EXPECT_EQ(r.Word(offsetof(DEVMODEW, dmYResolution)), 1200);
  EXPECT_EQ(r.Get(14), 600u * 65536u + 1200u);

  // A flag sets and clears its own bit of the shared word and nothing else;
  // a flag in the printer data alike.
  for (WORD id : {1281, 1313, 1345, 4097, 4609}) {
    SCOPED_TRACE(id);
    Records before = r;
    ASSERT_EQ(r.SetNumber(id, DDM_TYPE_FLAG, 4, 1), DMA_OK);
    EXPECT_EQ(ChangedBits(before.dm, r.dm) + ChangedBits(before.pd, r.pd), 1u);
    EXPECT_EQ(r.Get(id), 1u);
    ASSERT_EQ(r.SetNumber(id, DDM_TYPE_FLAG, 4, 0), DMA_OK);
    EXPECT_EQ(r.dm, before.dm);
    EXPECT_EQ(r.pd, before.pd);
    EXPECT_EQ(r.Get(id), 0u);
    DWORD mask = 0;
    EXPECT_TRUE(dma_GetBitFlagValue(id, &mask));
    EXPECT_EQ(__builtin_popcount(mask), 1);
  }
  DWORD mask = 7;
  EXPECT_FALSE(dma_GetBitFlagValue(12, &mask));
  EXPECT_EQ(mask, 0u);

  // 1284 reads inverted and is written by parity: odd clears its bit, even sets it.
  struct Parity {
    DWORD value;
    ULONG_PTR reads;
  } parity[] = {{1, 1}, {2, 0}, {3, 1}, {0, 0}};
  for (const Parity& p : parity) {
    ASSERT_EQ(r.SetNumber(1284, DDM_TYPE_DWORD, 4, p.value), DMA_OK);
    EXPECT_EQ(r.Get(1284), p.reads) << p.value;
  }

  // Packed bytes: each id owns one byte of the word, written and read in
  // place (not shifted).
  Records before = r;
  ASSERT_EQ(r.SetNumber(393, DDM_TYPE_DWORD, 4, 0x3400), DMA_OK);
  EXPECT_EQ(ChangedBytes(before.dm, r.dm), 1u);
  EXPECT_EQ(r.Get(393), 0x3400u);
  EXPECT_EQ(r.Get(392), 0u);
  ASSERT_EQ(r.SetNumber(392, DDM_TYPE_DWORD, 4, 0x12), DMA_OK);
  ASSERT_EQ(r.SetNumber(394, DDM_TYPE_DWORD, 4, 0x560000), DMA_OK);
  EXPECT_EQ(r.Get(392), 0x12u);
  EXPECT_EQ(r.Get(393), 0x3400u);
  EXPECT_EQ(r.Get(394), 0x560000u);

  // 311 is mirrored into devmode offset 600 and served only while both agree.
  ASSERT_EQ(r.SetNumber(311, DDM_TYPE_LFLONG, 4, 900), DMA_OK);
  DWORD mirror = 0;
  std::memcpy(&mirror, r.dm.data() + 600, 4);
  EXPECT_EQ(mirror, 900u);
  EXPECT_EQ(r.Get(311), 900u);
  r.dm[600] ^= 1;
  EXPECT_EQ(r.Get(311), ~ULONG_PTR{0});
}

TEST(KernelDevmodeAccess, RefusalsAndFailedReadsAnswerZero) {
  Records r;
  const WCHAR fits[32] = u"0123456789012345678901234567890";     // 31 characters: 64 bytes with the NUL
  const WCHAR tooLong[33] = u"01234567890123456789012345678901";  // one more
  struct Case {
    const char* what;
    WORD id;
    WORD type;
    DWORD size;
    const void* value;
    WORD code;
  };
  const DWORD one = 1;
  const Case cases[] = {
      {"a string that fits its 64 bytes", 19, DDM_TYPE_STRING, sizeof fits, fits, DMA_OK},
      {"a string one character too long", 19, DDM_TYPE_STRING, sizeof tooLong, tooLong, DMA_ERR_FIT},
      {"an id between two groups", 600, DDM_TYPE_WORD, 2, &one, DMA_ERR_NOGROUP},
      {"an id inside a group without a member", 7000, DDM_TYPE_WORD, 2, &one, DMA_ERR_MEMBER},
      {"another type", 12, DDM_TYPE_LONG, 4, &one, DMA_ERR_TYPE},
      {"another size", 12, DDM_TYPE_SHORT, 4, &one, DMA_ERR_SIZE},
      {"no value", 12, DDM_TYPE_SHORT, 2, nullptr, DMA_ERR_MEMBER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(dma_CheckTypeAndSize(c.id, c.type, c.size, c.value), c.code);
    EXPECT_EQ(r.Set(c.id, c.type, c.size, c.value), c.code);
    EXPECT_EQ(ddm_SetValue(c.id, r.dm.data(), r.pd.data(), c.type, c.size, c.value), c.code);
  }
  EXPECT_EQ(r.Word(102), u'0');  // the string that fitted was written

  // A failed read leaves nothing uninitialised: type, size and value are 0.
  for (WORD id : {WORD{600}, WORD{7000}, WORD{4097}}) {
    SCOPED_TRACE(id);
    WORD type = 0xBEEF;
    DWORD size = 0xBEEF;
    ULONG_PTR v = 0xBEEF;
    WORD location = 0xBEEF;
    // 4097 lives in the printer data, which is not given here.
    EXPECT_NE(dma_GetValue(id, r.dm.data(), nullptr, &type, &size, &v, &location), DMA_OK);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(location, 0);
    type = 0xBEEF, size = 0xBEEF, v = 0xBEEF;
    EXPECT_NE(ddm_GetValue(id, r.dm.data(), nullptr, &type, &size, &v), DMA_OK);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(v, 0u);
  }
}

TEST(KernelDevmodeAccess, InfoNamesTheMemberAndItsPlace) {
  Records r;
  struct Case {
    WORD id;
    bool inPrinterData;
    WORD code;
    WORD type;
    DWORD size;
  } cases[] = {
      {19, false, DMA_OK, DDM_TYPE_STRING, 64},
      {12, false, DMA_OK, DDM_TYPE_SHORT, 2},
      {1793, false, DMA_OK, 0, 0},  // the non-devmode record at devmode + 1556
      {4097, true, DMA_OK, DDM_TYPE_FLAG, 4},
      {600, false, DMA_ERR_NOGROUP, 0, 0},
      {7000, true, DMA_ERR_MEMBER, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    WORD type = 0xBEEF;
    DWORD size = 0xBEEF, extra = 0xBEEF;
    void* address = &type;
    ASSERT_EQ(dma_GetInfo(c.id, r.dm.data(), r.pd.data(), &type, &size, &extra, &address), c.code);
    if (c.code != DMA_OK) {
      EXPECT_EQ(address, nullptr);
      EXPECT_EQ(type, 0);
      continue;
    }
    const BYTE* base = c.inPrinterData ? r.pd.data() : r.dm.data();
    const BYTE* end = base + (c.inPrinterData ? r.pd.size() : r.dm.size());
    EXPECT_GE(static_cast<const BYTE*>(address), base);
    EXPECT_LT(static_cast<const BYTE*>(address), end);
    if (c.type) {
      EXPECT_EQ(type, c.type);
      EXPECT_EQ(size, c.size);
    }
    if (c.id == 1793) {
      EXPECT_GE(static_cast<const BYTE*>(address), base + NRV_NONDEVMODE_OFFSET);
    }
    if (c.id == 4097) {
      EXPECT_EQ(__builtin_popcount(extra), 1);
    }
  }
  // The record of the member's group must be given.
  void* address = nullptr;
  EXPECT_EQ(dma_GetInfo(4097, r.dm.data(), nullptr, nullptr, nullptr, nullptr, &address), DMA_ERR_MEMBER);
  EXPECT_EQ(address, nullptr);

  // Exchanged sizes: strings and fonts go by address.
  EXPECT_EQ(dma_GetDataSize(DDM_TYPE_SHORT), 2);
  EXPECT_EQ(dma_GetDataSize(DDM_TYPE_FLAG), 4);
  EXPECT_EQ(dma_GetDataSize(DDM_TYPE_BYTE), 1);
  EXPECT_EQ(dma_GetDataSize(DDM_TYPE_STRING), sizeof(ULONG_PTR));
  EXPECT_EQ(dma_GetDataSize(7), 0);
}

}  // namespace
