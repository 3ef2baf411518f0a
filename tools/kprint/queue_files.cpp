#include "queue_files.h"

#include <kplatform/kernel32_module.h>

namespace kestrel::queue {

std::string InstallModelFiles(const std::string& modelsDir, const std::string& model) {
  for (const std::string& file : {model + ".DDD", model + "RES.DDD"}) {
    const std::u16string name(file.begin(), file.end());
    if (!KpInstallModule((modelsDir + "/" + file).c_str(), name.c_str())) return file;
  }
  return "";
}

std::string InstallDriverModules(bool wholeRoad) {
  struct Module {
    const char* file;
    const char16_t* as;  // null: the file's own name (the loader maps "x.dll" to libx.so)
    bool road;           // only for the whole road
  };
  static const Module kModules[] = {
      {"libkestrelui.so", u"kestrelui.dll", false}, {"libkestreljd.so", nullptr, false},
      {"kestrelrs.zrs", nullptr, false},            {"libkestrelkm.so", nullptr, true},
      {"libkestrelum.so", u"kestrelum.dll", true},  {"libkmonant.so", nullptr, true},
  };
  for (const Module& m : kModules) {
    if (m.road && !wholeRoad) continue;
    if (!KpInstallModule(m.file, m.as)) return m.file;
  }
  return "";
}

}  // namespace kestrel::queue
