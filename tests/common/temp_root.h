// A fresh platform root for one test: a temporary folder made the stand-in's
// root for the test's lifetime and removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model_root.h"

namespace kestrel::test {

// A FreshRoot (model_root.h) that fails the test when it cannot be made.
class TempRoot {
 public:
  TempRoot();

  // Host path of the root folder.
  const std::string& path() const { return root_.path(); }
  // Host path of a file or folder below the root ("c/Windows/...").
  std::string host(const std::string& relative) const { return root_.path() + "/" + relative; }
  // Writes a file of the driver directory (a configuration file, say).
  void WriteDriverFile(const std::string& name, const std::string& text) const;

 private:
  FreshRoot root_;
};

// Fixture for tests that touch files or the registry.
class RootedTest : public ::testing::Test {
 protected:
  TempRoot root_;
};

// The names of a spooler printer's stored printer-data values as the
// registry store lists them, sorted.
std::vector<std::u16string> ListPrinterDataNames(const char16_t* printerName);
// Names the printer's user-mode driver library: its printer-data value
// "SPLUserModePrinterDriver" (REG_SZ) on a printer handle. False when
// SetPrinterDataW fails.
bool SetUserModeDriver(void* printer, const std::u16string& library);

// Reads a whole host file; empty when missing.
std::string ReadHostFile(const std::string& path);
// Writes a whole host file, creating its folder.
void WriteHostFile(const std::string& path, const std::string& bytes);

}  // namespace kestrel::test
