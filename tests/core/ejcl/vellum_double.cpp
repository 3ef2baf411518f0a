// Stand-ins for the Vellumhall library, installed as "kvellum.dll" with
// KpInstallModule. VELLUM_MODE 0 (kvellumtest) answers fixed texts that
// echo its arguments, 1 (kvellumfail) fails every call, 2 (kvellumfull)
// fills the whole buffer without a NUL and answers success.
#include <cstdio>
#include <cstring>

#include "kplatform/wintypes.h"

#define VELLUM_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

BOOL Answer(char* buffer, int size, const char* text) {
#if VELLUM_MODE == 1
  (void)buffer;
  (void)size;
  (void)text;
  return FALSE;
#elif VELLUM_MODE == 2
  (void)text;
  std::memset(buffer, 'Z', static_cast<size_t>(size));
  return TRUE;
#else
  std::snprintf(buffer, static_cast<size_t>(size), "%s", text);
  return TRUE;
#endif
}

}  // namespace

VELLUM_EXPORT BOOL VHGetEJCLStringOfNup(int code, char* buffer, int size) {
  char text[32];
  std::snprintf(text, sizeof text, "@NLPP=%d", code);
  return Answer(buffer, size, text);
}

VELLUM_EXPORT BOOL VHGetEJCLStringOfHostAddress(char* buffer, int size) { return Answer(buffer, size, "@HOAD=192.0.2.7"); }

VELLUM_EXPORT BOOL VHGetEJCLStringOfHostNameEx(int kind, char* buffer, int size, int flags) {
  char text[48];
  std::snprintf(text, sizeof text, "@CNAM=HOST%d.%d", kind, flags);
  return Answer(buffer, size, text);
}

VELLUM_EXPORT BOOL VHGetEJCLStringOfJobOwnerFromInputA(int kind, const char* name, int layout, int bin, char* buffer,
                                                 int size) {
  char text[128];
  std::snprintf(text, sizeof text, "@JOAU=%d:%.20s:%d:%d", kind, name ? name : "", layout, bin);
  return Answer(buffer, size, text);
}

VELLUM_EXPORT BOOL VHGetEJCLStringOfJobOwnerStringFromUserHostName(int kind, int layout, int bin, char* buffer, int size) {
  char text[64];
  std::snprintf(text, sizeof text, "@JOAU=%d:HOST:%d:%d", kind, layout, bin);
  return Answer(buffer, size, text);
}
