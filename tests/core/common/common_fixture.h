// Shared set-up of the common-library tests: the two models installed in the
// driver directory of a fresh root with a printer each, and the resource
// module loaded through a library that carries the driver libraries' own
// string table.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kwindows.h"
#include "temp_root.h"

namespace kestrel::test::common {

inline constexpr const char16_t* kK350 = kModelAPrinter;
inline const char16_t kK260[] = u"Scriva K260";

// Little-endian 32-bit at an offset of a byte string.
inline void Put32(std::string& bytes, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

class ModelTest : public RootedTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(InstallModelFiles(kModelA), "");
    ASSERT_EQ(InstallModelFiles(kModelB), "");
    ASSERT_EQ(AddModelAPrinter(kK350), "");
    ASSERT_TRUE(KpSpoolerAddPrinter(kK260, u"Scriva K260 PCL6", u"K260.DDD", u"K260.cfg", u"kestrelui.dll"));
    zanlib_ResetLocaleCache();
  }

  void TearDown() override {
    for (HANDLE p : printers_) ClosePrinter(p);
    for (HCDDD h : handles_) cddd_Close(h);
    StopResources();
    KpResetMachineFacts();
    zanlib_ResetLocaleCache();
    cddd_SetAttachOps(nullptr);
    zanLib_SetValueAccess(nullptr, nullptr);
  }

  HANDLE Printer(const char16_t* name) {
    HANDLE p = nullptr;
    std::u16string n = name;
    if (!OpenPrinterW(n.data(), &p, nullptr)) return nullptr;
    printers_.push_back(p);
    return p;
  }

  // A handle closed by the fixture.
  HCDDD Open(const char16_t* printer) {
    HCDDD h = cddd_Open(Printer(printer));
    if (h) handles_.push_back(h);
    return h;
  }
  HCDDD OpenFile(const std::u16string& dataFile) {
    HCDDD h = cddd_OpenFile(dataFile.c_str());
    if (h) handles_.push_back(h);
    return h;
  }

  // Installs a copy of K350.DDD as <name> with PrinterInfo items 26 and 39
  // set and, when formatByte is not 0, the format version's third byte
  // replaced. Answers the copy's Windows path.
  std::u16string PatchedK350(const char* name, uint32_t item26, uint32_t item39, int formatByte = 0) {
    std::string bytes = ReadHostFile(ModelFile("K350.DDD"));
    EXPECT_FALSE(bytes.empty());
    DDDFILE main{}, referenced{};
    std::u16string original = DriverFile(u"K350.DDD");
    EXPECT_EQ(DDD_OK, ddd_OpenFile(original.c_str(), 0, &main, &referenced));
    EXPECT_EQ(DDD_OK, ddd_GotoPrinterInfoDef(&main, 26));
    size_t at26 = main.cursor;
    EXPECT_EQ(DDD_OK, ddd_GotoPrinterInfoDef(&main, 39));
    size_t at39 = main.cursor + 2;  // after the item's own count
    ddd_CloseFile(&main, &referenced);
    Put32(bytes, at26, item26);
    Put32(bytes, at39, item39);
    if (formatByte) bytes[DDD_FORMAT_OFFSET + 2] = static_cast<char>(formatByte);
    WriteHostFile(root_.host(std::string(kDriverDir) + name), bytes);
    return DriverFile(Widen(name));
  }

  // Loads "kestrelui.dll" (a library with the driver's own string table) and
  // starts the resource module; zrs: the resource module installed as
  // kestrelrs.zrs, or null for none.
  void StartResources(const char* zrs) {
    ASSERT_TRUE(KpInstallModule("libkui_testhost.so", u"kestrelui.dll"));
    if (zrs) {
      ASSERT_TRUE(KpInstallModule(zrs, u"kestrelrs.zrs"));
    } else {
      DeleteFileW(DriverFile(u"kestrelrs.zrs").c_str());
    }
    library_ = LoadLibraryW(u"kestrelui.dll");
    ASSERT_NE(nullptr, library_);
    resource_startToUse(library_, nullptr);
  }
  void StopResources() {
    if (!library_) return;
    resource_finishToUse();
    FreeLibrary(library_);
    library_ = nullptr;
  }

  std::vector<HANDLE> printers_;
  std::vector<HCDDD> handles_;
  HMODULE library_ = nullptr;
};

}  // namespace kestrel::test::common
