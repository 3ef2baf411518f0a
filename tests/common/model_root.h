// A fresh platform root and model A installed in it: the one set-up that the
// tests, the fuzz targets and the benchmarks build on. Nothing here depends on
// GoogleTest or on a build of the core; each step answers what failed, so a
// test can assert on it and a fuzz target or benchmark can give up.
#pragma once

#include <string>

namespace kestrel::test {

// The driver directory of a root: below the root on the host, and as the
// driver names it.
inline constexpr char kDriverDir[] = "c/Windows/system32/spool/drivers/x64/3/";
inline constexpr char16_t kDriverDirW[] = u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\";

// Model A: the base name of its file pair ("K350.DDD", "K350RES.DDD"), its
// spooler printer and that printer's driver name. Model B: its file pair.
inline constexpr char kModelA[] = "K350";
inline constexpr char16_t kModelAPrinter[] = u"Scriva K350";
inline constexpr char16_t kModelADriver[] = u"Scriva K350 PCL6";
inline constexpr char kModelB[] = "K260";

// The build's compiled models, and the host path of one of their files.
std::string ModelsDir();
std::string ModelFile(const std::string& name);
// An ASCII text as UTF-16.
std::u16string Widen(const std::string& ascii);
// The Windows path of a file in the driver directory.
std::u16string DriverFile(const std::u16string& name);

// A temporary folder made the platform's root for the object's lifetime and
// removed with it. `prefix` names the folder ("<prefix>-XXXXXX").
class FreshRoot {
 public:
  explicit FreshRoot(const char* prefix = "kestrel-test");
  ~FreshRoot();
  FreshRoot(const FreshRoot&) = delete;
  FreshRoot& operator=(const FreshRoot&) = delete;

  // False when the folder could not be made or made the root.
  bool ok() const { return ok_; }
  // Host path of the folder; empty when it could not be made.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool ok_ = false;
};

// The steps below answer "" when every part worked, else the name of the
// part that failed.

// "<model>.DDD" and "<model>RES.DDD" from the build's models into the driver
// directory.
std::string InstallModelFiles(const char* model = kModelA);
// What the user-mode driver loads beside the model: the library carrying the
// driver libraries' own string table as "kestrelui.dll" (through it the
// value-access module and the resource module are found), kestreljd and the
// resource module kestrelrs.zrs.
std::string InstallDriverModules();
// Model A's spooler printer `name` (driver "Scriva K350 PCL6", data file
// K350.DDD, configuration K350.cfg, user interface kestrelui.dll).
std::string AddModelAPrinter(const char16_t* name = kModelAPrinter);
// Model A's queue: its file pair, the driver modules and its printer.
std::string InstallModelAQueue(const char16_t* printerName = kModelAPrinter);

}  // namespace kestrel::test
