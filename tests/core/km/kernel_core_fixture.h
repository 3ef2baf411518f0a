// Set-up of the tests of the core's kernel-mode build: a fresh root, the
// library's path given to the resource module as the renderer gives it, a
// model's file pair in the driver directory (InstallModelFiles), the spooler printer that keeps the printer data,
// and the graphics engine's printer context and device for it (what
// DrvEnablePDEV gets). Printer data is written straight through the spooler,
// in the chunked form the renderer reads.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/engine.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/advapi32_registry.h"
#include "kplatform/winspool.h"
#include "kplatform/winspool_monitor.h"
#include "kplatform/winspool_printer.h"
#include "temp_root.h"

namespace kestrel::test::km {

struct Model {
  const char* file;  // "K350": the base name of its file pair
  const char16_t* printer;
};
inline constexpr Model kModelA{test::kModelA, test::kModelAPrinter};
inline constexpr Model kModelB{test::kModelB, u"Scriva K260"};

class KernelModelTest : public RootedTest {
 protected:
  void Open(const Model& model) {
    resource_startToUse(nullptr, (std::u16string(kDriverDirW) + u"kestrelkm.dll").c_str());
    ASSERT_EQ(InstallModelFiles(model.file), "");
    const std::u16string main = Widen(std::string(model.file) + ".DDD");
    ASSERT_TRUE(KpSpoolerAddPrinter(model.printer, u"Kestrel PCL6", main.c_str(), u"kestrel.cfg", u"kestrelkm.dll"));
    std::u16string name = model.printer;
    ASSERT_TRUE(OpenPrinterW(name.data(), &spooler_, nullptr));
    std::u16string driver = std::u16string(kDriverDirW) + u"kestrelkm.dll";
    std::u16string data = std::u16string(kDriverDirW) + main;
    KP_ENGINE_PRINTER_INFO info{model.printer, driver.c_str(), data.c_str()};
    printer_ = KpEngineCreatePrinter(&info);
    ASSERT_NE(printer_, nullptr);
    hdev_ = KpEngineCreateDevice(printer_);
    ASSERT_NE(hdev_, nullptr);
    ddd_ = cddd_Open(hdev_);
    ASSERT_NE(ddd_, nullptr);
  }
  void TearDown() override {
    if (ddd_) cddd_Close(ddd_);
    if (hdev_) KpEngineDeleteDevice(hdev_);
    if (printer_) KpEngineDeletePrinter(printer_);
    if (spooler_) ClosePrinter(spooler_);
    KpSpoolerReset();
    resource_finishToUse();
  }

  // One printer-data value through the spooler.
  void PutValue(const std::u16string& name, DWORD type, const void* data, DWORD size) {
    std::u16string n = name;
    ASSERT_EQ(SetPrinterDataW(spooler_, n.data(), type, static_cast<LPBYTE>(const_cast<void*>(data)), size),
              static_cast<DWORD>(ERROR_SUCCESS))
        << std::string(name.begin(), name.end());
  }
  // A chunked value: "<base>Size" = size, "<base>1".. of 768 bytes.
  void PutChunked(const std::u16string& base, const std::vector<BYTE>& bytes, DWORD size = 0) {
    if (size == 0) size = static_cast<DWORD>(bytes.size());
    for (size_t at = 0, n = 1; at < bytes.size(); at += ZAN_CHUNK_BYTES, ++n) {
      DWORD part = static_cast<DWORD>(std::min<size_t>(ZAN_CHUNK_BYTES, bytes.size() - at));
      std::string digits = std::to_string(n);
      PutValue(base + Widen(digits), REG_BINARY, bytes.data() + at, part);
    }
    PutValue(base + u"Size", REG_DWORD, &size, sizeof size);
  }

  HANDLE spooler_ = nullptr;
  HANDLE printer_ = nullptr;  // the engine's printer context
  HDEV hdev_ = nullptr;
  HCDDD ddd_ = nullptr;
};

}  // namespace kestrel::test::km
