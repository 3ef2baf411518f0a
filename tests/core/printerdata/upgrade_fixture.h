// Records for the upgrade tests: the model's default printer-data record and
// default devmode (1556-byte form) with helpers to read and write members by
// DDM id and to set the version head.
#pragma once

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/upgrade.h"
#include "pd_fixture.h"

namespace kestrel::test::upg {

using Bytes = std::vector<BYTE>;

inline WORD W(const Bytes& b, size_t off) {
  WORD w = 0;
  std::memcpy(&w, b.data() + off, 2);
  return w;
}
inline void PutW(Bytes& b, size_t off, WORD w) { std::memcpy(b.data() + off, &w, 2); }

inline LONG Get(WORD id, BYTE* dm, BYTE* pd) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  EXPECT_EQ(ddm_GetValue(id, dm, pd, &type, &size, &v), 0) << id;
  if (type == DDM_TYPE_SHORT) return static_cast<SHORT>(v);
  return static_cast<LONG>(v);
}
inline void Set(WORD id, BYTE* dm, BYTE* pd, LONG value) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  ASSERT_EQ(ddm_GetValue(id, dm, pd, &type, &size, &v), 0) << id;
  ASSERT_EQ(ddm_SetValue(id, dm, pd, type, size, &value), 0) << id;
}
// A string member of the record (the value access answers its address).
inline std::u16string GetString(WORD id, BYTE* pd) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  EXPECT_EQ(ddm_GetValue(id, nullptr, pd, &type, &size, &v), 0);
  std::u16string s;
  if (!v || v < reinterpret_cast<ULONG_PTR>(pd) || v >= reinterpret_cast<ULONG_PTR>(pd + PD_RECORD_SIZE)) return s;
  const BYTE* p = reinterpret_cast<const BYTE*>(v);
  for (size_t i = 0; i < 32 && p + 2 * i + 2 <= pd + PD_RECORD_SIZE; ++i) {
    char16_t c = 0;
    std::memcpy(&c, p + 2 * i, 2);
    if (!c) break;
    s.push_back(c);
  }
  return s;
}

class UpgradeTest : public pd::PdTest {
 protected:
  Bytes DefaultRecord() {
    Bytes dm(NRV_DEVMODE_SIZE_FULL), rec(PD_RECORD_SIZE);
    EXPECT_EQ(cdm_SetDefaultDevmode(ddd_, dm.data(), rec.data(), pd::kPrinter), 1);
    return rec;
  }
  Bytes Record(WORD driver, WORD structVersion) {
    Bytes rec = DefaultRecord();
    PutW(rec, 4, driver);
    PutW(rec, 2, structVersion);
    return rec;
  }
  Bytes DefaultDevmode() {
    Bytes dm(NRV_DEVMODE_SIZE_FULL);
    EXPECT_EQ(cdm_SetDefaultDevmode(ddd_, dm.data(), nullptr, pd::kPrinter), 1);
    dm.resize(NRV_DEVMODE_SIZE_KIND1);
    PutW(dm, 70, NRV_DEVMODE_EXTRA);
    return dm;
  }
  Bytes Devmode(WORD driver, WORD structVersion) {
    Bytes dm = DefaultDevmode();
    PutW(dm, 222, driver);
    PutW(dm, 220, structVersion);
    return dm;
  }
  // The stored block in a heap block of exactly its bytes (ASan sees any
  // read past it).
  static std::unique_ptr<BYTE[]> Exact(const Bytes& b, size_t n) {
    std::unique_ptr<BYTE[]> p(new BYTE[n]);
    if (!b.empty()) std::memcpy(p.get(), b.data(), n < b.size() ? n : b.size());
    if (n > b.size()) std::memset(p.get() + b.size(), 0x5A, n - b.size());
    return p;
  }
};

}  // namespace kestrel::test::upg
