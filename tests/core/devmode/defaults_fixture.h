// Set-up shared by the default-devmode and merge tests: a fresh root whose
// driver directory holds kestreljd, the driver-library stand-in and a model
// pair (InstallModelFiles, model_root.h), the access module taken into use,
// and the model opened through the description handle.
#pragma once

#include <gtest/gtest.h>
#include <kplatform/kernel32_module.h>
#include <kplatform/kernel32_system.h>
#include <kplatform/winspool.h>

#include <cstring>
#include <string>

#include "../ddm/devmode_fixture.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddm_layout.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/preconfig.h"
#include "kestrel/core/zanlib.h"

namespace kestrel::test::defaults {

class DefaultsTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    KpSetVersion(6, 1, 7601, VER_PLATFORM_WIN32_NT);
    resource_startToUse(nullptr, (std::u16string(kDriverDirW) + u"kestrelui.dll").c_str());
  }
  void TearDown() override {
    for (HCDDD h : open_) cddd_Close(h);
    cddd_SetAttachOps(nullptr);
    resource_finishToUse();
    KpSetVersion(6, 1, 7601, VER_PLATFORM_WIN32_NT);
    ModuleTest::TearDown();
  }

  // Installs "<model>.DDD" and "<model>RES.DDD" and opens the first.
  HCDDD OpenModel(const std::string& model) {
    if (!InstallModelFiles(model.c_str()).empty()) return nullptr;
    HCDDD h = cddd_OpenFile(DriverFile(Widen(model + ".DDD")).c_str());
    if (h) open_.push_back(h);
    return h;
  }
  void WriteDriverFile(const std::string& name, const std::string& text) { root_.WriteDriverFile(name, text); }

  std::vector<HCDDD> open_;
};

// The bytes of one member inside a pair of records.
inline std::vector<BYTE> MemberBytes(const Records& r, WORD id) {
  const DDM_GROUP* g = nullptr;
  const DDM_LAYOUT* l = ddm_FindLayout(id, &g, nullptr);
  if (!l) return {};
  const BYTE* base = g->kind == DDM_KIND_PRINTERDATA ? r.pd.data()
                     : g->kind == DDM_KIND_NONDEVMODE ? r.dm.data() + NRV_NONDEVMODE_OFFSET
                                                      : r.dm.data();
  WORD bytes = l->bytes;
  if (l->mask) bytes = 4;  // a flag bit or a packed byte: its whole word
  return std::vector<BYTE>(base + l->offset, base + l->offset + bytes);
}

inline std::u16string WideAt(const Records& r, size_t off, size_t maxChars) {
  std::u16string s;
  for (size_t i = 0; i < maxChars; ++i) {
    char16_t c;
    std::memcpy(&c, &r.dm[off + 2 * i], 2);
    if (!c) break;
    s.push_back(c);
  }
  return s;
}

}  // namespace kestrel::test::defaults
