// Set-up of the printer-data and upgrade tests: model A's queue in a fresh
// root, taken into use (ModelAQueue: the driver's string table library
// loaded as "kestrelui.dll", the value access taken into use, the printer
// open and its description handle). Helpers list and change the printer's
// stored values directly in the registry store.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/cddd.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/advapi32_registry.h"
#include "kplatform/kernel32_system.h"
#include "kplatform/user32_messagebox.h"
#include "kplatform/kwindows.h"
#include "kplatform/winspool_printer.h"
#include "model_a_queue.h"
#include "temp_root.h"

namespace kestrel::test::pd {

inline constexpr const char16_t* kPrinter = kModelAPrinter;

inline std::vector<BYTE> Pattern(size_t n, BYTE seed) {
  std::vector<BYTE> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<BYTE>(seed + i * 7 + i / 251);
  return v;
}

class PdTest : public RootedTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(InstallModelAQueue(kPrinter), "");
    ASSERT_EQ(queue_.Open(kPrinter), "");
    KpClearMessageBoxes();
  }
  void TearDown() override {
    KpSpoolerFailPrinterData(0, 0, 0, 0);
    pd_SetUserStore(nullptr);
    pd_SetConvertFunction(nullptr);
    queue_.Close();
    KpClearMessageBoxes();
    KpResetMachineFacts();
  }

  // The names of the printer's stored values, sorted.
  std::vector<std::u16string> ListValues() { return ListPrinterDataNames(kPrinter); }
  // Writes or deletes one stored value directly.
  void PutValue(const std::u16string& name, DWORD type, const std::vector<BYTE>& bytes) {
    std::u16string n = name;
    ASSERT_EQ(SetPrinterDataW(printer_, n.data(), type, const_cast<BYTE*>(bytes.data()),
                              static_cast<DWORD>(bytes.size())),
              static_cast<DWORD>(ERROR_SUCCESS));
  }
  void PutSize(const std::u16string& name, DWORD size) {
    std::vector<BYTE> b(4);
    std::memcpy(b.data(), &size, 4);
    PutValue(name, REG_DWORD, b);
  }
  void DeleteValue(const std::u16string& name) {
    std::u16string n = name;
    DeletePrinterDataW(printer_, n.data());
  }
  std::vector<BYTE> Read(WORD kind, DWORD capacity, BOOL* ok) {
    std::vector<BYTE> out(capacity);
    DWORD size = capacity;
    *ok = zanGetPrinterDataFromRegistry(printer_, kind, out.data(), &size);
    out.resize(size);
    return out;
  }

  ModelAQueue queue_;
  // The queue's parts under the names the tests use.
  HMODULE& library_ = queue_.library;
  HANDLE& printer_ = queue_.printer;
  HCDDD& ddd_ = queue_.ddd;
};

// Chunk names of a base, sorted as the listing sorts them.
inline std::vector<std::u16string> ChunkNames(const std::u16string& base, DWORD n, bool withSize) {
  std::vector<std::u16string> names;
  for (DWORD i = 1; i <= n; ++i) {
    std::string d = std::to_string(i);
    names.push_back(base + std::u16string(d.begin(), d.end()));
  }
  if (withSize) names.push_back(base + u"Size");
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace kestrel::test::pd
