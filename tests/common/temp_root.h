// A fresh platform root for one test: a temporary folder made the stand-in's
// root for the test's lifetime and removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>

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

// Reads a whole host file; empty when missing.
std::string ReadHostFile(const std::string& path);
// Writes a whole host file, creating its folder.
void WriteHostFile(const std::string& path, const std::string& bytes);

}  // namespace kestrel::test
