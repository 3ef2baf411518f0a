#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "kptest_count.h"

namespace {
std::mutex g_lock;
std::map<std::string, KpTestModuleEvents>& events() {
  static std::map<std::string, KpTestModuleEvents> e;
  return e;
}
}  // namespace

KPTEST_API void KpTestRecord(const char* module, HINSTANCE instance, DWORD reason) {
  std::lock_guard<std::mutex> guard(g_lock);
  KpTestModuleEvents& e = events()[module];
  e.lastInstance = instance;
  if (reason == 1) ++e.attaches;
  if (reason == 0) ++e.detaches;
}

KPTEST_API KpTestModuleEvents* KpTestEvents(const char* module) {
  std::lock_guard<std::mutex> guard(g_lock);
  return &events()[module];  // map nodes stay put
}

KPTEST_API void KpTestResetEvents(void) {
  std::lock_guard<std::mutex> guard(g_lock);
  for (auto& [name, e] : events()) std::memset(&e, 0, sizeof e);
}
