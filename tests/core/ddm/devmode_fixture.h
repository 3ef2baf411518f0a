// Records, core calls and fixtures shared by the devmode tests (and by the
// configuration and trace-log tests, whose fixture takes kestreljd into use
// through ModuleTest).
#pragma once

#include <gtest/gtest.h>
#include <kplatform/kernel32_module.h>

#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/ddm_access.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/dma_core.h"
#include "temp_root.h"

namespace kestrel::test {

// A 5440-byte devmode and a 4736-byte printer-data record, zero-filled.
struct Records {
  std::vector<BYTE> dm = std::vector<BYTE>(NRV_DEVMODE_SIZE_FULL);
  std::vector<BYTE> pd = std::vector<BYTE>(NRV_PRINTERDATA_SIZE);

  WORD U16(size_t off) const {
    WORD v;
    std::memcpy(&v, &dm[off], 2);
    return v;
  }
  DWORD U32(size_t off) const {
    DWORD v;
    std::memcpy(&v, &dm[off], 4);
    return v;
  }
  DWORD PdU32(size_t off) const {
    DWORD v;
    std::memcpy(&v, &pd[off], 4);
    return v;
  }
  void PutU16(size_t off, WORD v) { std::memcpy(&dm[off], &v, 2); }
  void PutU32(size_t off, DWORD v) { std::memcpy(&dm[off], &v, 4); }
};

inline std::u16string Chars(size_t n, char16_t c = u'x') { return std::u16string(n, c); }

// Core calls with the value given as a number (scalars) under one rule set.
inline WORD CoreSet(WORD rules, Records& r, WORD id, WORD type, DWORD size, ULONG_PTR value) {
  return dmaCore_SetValue(rules, id, r.dm.data(), r.pd.data(), type, size, &value);
}
inline WORD CoreSetString(WORD rules, Records& r, WORD id, const std::u16string& s) {
  return dmaCore_SetValue(rules, id, r.dm.data(), r.pd.data(), DDM_TYPE_STRING,
                          static_cast<DWORD>((s.size() + 1) * 2), s.c_str());
}
struct Got {
  WORD status = 0xFFFF;
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR value = 0;
  WORD location = 0xFFFF;
};
inline Got CoreGet(WORD rules, const Records& r, WORD id) {
  Got g;
  g.status = dmaCore_GetValue(rules, id, r.dm.data(), r.pd.data(), &g.type, &g.size, &g.value, &g.location);
  return g;
}

// A platform root with kestreljd and a driver-library stand-in (kdmhost,
// whose string 32766 names kestreljd.dll) in its driver directory.
class ModuleRootTest : public RootedTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(ddm_AccessCount(), 0) << "an earlier test left the access module counted";
    ASSERT_TRUE(KpInstallModule("libkdmhost.so", nullptr));
    host_ = LoadLibraryW(u"kdmhost.dll");
    ASSERT_NE(host_, nullptr);
  }
  void TearDown() override {
    while (ddm_AccessCount() > 0) ddm_AccessEnd();
    if (host_) FreeLibrary(host_);
  }
  static void InstallAccessModule() { ASSERT_TRUE(KpInstallModule("libkestreljd.so", nullptr)); }

  HMODULE host_ = nullptr;
};

// The same with the access module installed and taken into use.
class ModuleTest : public ModuleRootTest {
 protected:
  void SetUp() override {
    ModuleRootTest::SetUp();
    InstallAccessModule();
    ASSERT_EQ(ddm_AccessInit(host_), 1);
  }
};

}  // namespace kestrel::test
