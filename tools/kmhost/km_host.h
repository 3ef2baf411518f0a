// A model's queue for kestrelkm outside the tests: the platform root's driver
// directory gets kestrelkm, the resource module and the model's file pair;
// the spooler gets the printer, and the graphics-engine stand-in a printer
// context for it. Used by the render demo and the renderer's benchmark.
#pragma once

#include <kplatform/engine.h>

#include <string>
#include <vector>

namespace kestrel::kmhost {

inline constexpr char16_t kDriverDir[] = u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\";

struct Queue {
  HANDLE printer = nullptr;      // the engine's printer context
  KP_ENGINE_DRIVER* driver = nullptr;
  std::vector<BYTE> devmode;     // the 5464-byte CreateDC devmode of the model's defaults
  std::string error;             // what failed, when Open answers false
  Queue() = default;
  Queue(const Queue&) = delete;
  Queue& operator=(const Queue&) = delete;
  ~Queue();
  // modelsDir: the build's compiled models; model: "K350" or "K260";
  // printerName: the spooler printer's (and driver's) name. The platform
  // root must be set.
  bool Open(const std::string& modelsDir, const std::string& model, const char16_t* printerName);
};

}  // namespace kestrel::kmhost
