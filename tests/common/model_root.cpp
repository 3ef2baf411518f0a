#include "model_root.h"

#include <kplatform/kernel32_module.h>
#include <kplatform/root.h>
#include <kplatform/winspool.h>
#include <stdlib.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace kestrel::test {

std::string ModelsDir() { return KESTREL_TEST_MODELS_DIR; }

std::string ModelFile(const std::string& name) { return ModelsDir() + "/" + name; }

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::u16string DriverFile(const std::u16string& name) { return std::u16string(kDriverDirW) + name; }

FreshRoot::FreshRoot(const char* prefix) {
  std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) return;
  path_ = pattern;
  ok_ = KpSetRoot(path_.c_str()) != FALSE;
}

FreshRoot::~FreshRoot() {
  if (path_.empty()) return;
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string InstallModelFiles(const char* model) {
  const std::string base = model;
  for (const std::string& file : {base + ".DDD", base + "RES.DDD"}) {
    if (!KpInstallModule(ModelFile(file).c_str(), Widen(file).c_str())) return file;
  }
  return "";
}

std::string InstallDriverModules() {
  if (!KpInstallModule("libkui_testhost.so", u"kestrelui.dll")) return "libkui_testhost.so";
  if (!KpInstallModule("libkestreljd.so", nullptr)) return "libkestreljd.so";
  if (!KpInstallModule("kestrelrs.zrs", nullptr)) return "kestrelrs.zrs";
  return "";
}

std::string AddModelAPrinter(const char16_t* name) {
  if (!KpSpoolerAddPrinter(name, kModelADriver, u"K350.DDD", u"K350.cfg", u"kestrelui.dll")) return "printer";
  return "";
}

std::string InstallModelAQueue(const char16_t* printerName) {
  std::string failed = InstallModelFiles(kModelA);
  if (failed.empty()) failed = InstallDriverModules();
  if (failed.empty()) failed = AddModelAPrinter(printerName);
  return failed;
}

}  // namespace kestrel::test
