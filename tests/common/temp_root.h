// A fresh platform root for one test: a temporary folder made the stand-in's
// root for the test's lifetime and removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel::test {

class TempRoot {
 public:
  TempRoot();
  ~TempRoot();
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;

  // Host path of the root folder.
  const std::string& path() const { return path_; }
  // Host path of a file or folder below the root ("c/Windows/...").
  std::string host(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

// Fixture for tests that touch files or the registry.
class RootedTest : public ::testing::Test {
 protected:
  TempRoot root_;
};

// Installs a queue for model A in the current root: the model's file pair
// from modelsDir, the test library carrying the driver's own string table as
// kestrelui.dll, kestreljd and the resource module in the driver directory,
// and a printer named printerName that uses them. Fails the calling test at
// the first step that does not work.
void InstallModelAQueue(const std::string& modelsDir, const char16_t* printerName);

// The names of a spooler printer's stored printer-data values as the
// registry store lists them, sorted.
std::vector<std::u16string> ListPrinterDataNames(const char16_t* printerName);

// Reads a whole host file; empty when missing.
std::string ReadHostFile(const std::string& path);
// Writes a whole host file, creating its folder.
void WriteHostFile(const std::string& path, const std::string& bytes);

}  // namespace kestrel::test
