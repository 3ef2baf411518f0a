// Opening a model's DDD file pair that lies on the host (a build output)
// through the real reader: the pair is copied into the driver directory of
// the platform root, where the driver finds its data files, and opened from
// there. Used by ddddump, the demo, the benchmark and the tests.
#pragma once

#include <kestrel/core/ddd.h>

#include <functional>
#include <string>

namespace kestrel::ddd_host {

// The driver directory below the current platform root, as a host path and
// as the Windows path the reader is given.
std::string DriverDirHost();
std::u16string DriverDirWindows();

// Makes a fresh temporary folder the platform root (for programs that have
// none); empty on failure. RemoveTempRoot deletes it again.
std::string MakeTempRoot();
void RemoveTempRoot(const std::string& folder);
// Runs `run` with a fresh temporary platform root and removes the root
// after it: run's answer, or 1 (said on stderr) when no root can be made.
int RunInTempRoot(const std::function<int()>& run);

// An open pair; closes itself.
class Model {
 public:
  Model() = default;
  ~Model() { Close(); }
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;

  // Copies `hostMainPath` (and the referenced file its header names, found
  // beside it) into the driver directory and opens it with ddd_OpenFile.
  // Returns the reader's result (0 on success) or 1 when a file cannot be
  // copied.
  WORD Open(const std::string& hostMainPath);
  void Close();
  bool IsOpen() const { return open_; }

  DDDFILE main = {};
  DDDFILE referenced = {};

 private:
  bool open_ = false;
};

// The file name (no folder) of a host path.
std::string BaseName(const std::string& path);
// The referenced-file name in the header of a host DDD file; empty when it
// names none or the file is shorter than the header.
std::string ReferencedName(const std::string& hostMainPath);
// A wide string as UTF-8 (null gives "").
std::string Narrow(LPCWSTR s);
std::u16string Widen(const std::string& s);

}  // namespace kestrel::ddd_host
