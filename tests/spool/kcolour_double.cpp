// A stand-in for the outside colour library (model A's "kcolour.dll"),
// installed with KpInstallModule: the seven NIE_* functions with a simple
// visible conversion (every byte inverted). Every call is appended as a line
// to the host file named by KCOLOUR_DOUBLE_LOG (when set), so the calls stay
// readable after the library is unloaded; the function named by
// KCOLOUR_DOUBLE_FAIL answers failure (non-zero, or a null handle). Built
// twice: kcolourtest with all seven, kcolourpart without NIE_ColorConvert32.
//
// NIE_CreateParam32 reads width x height B, G, R pixels, as a library does:
// it checks that the block it is given (kestrelum's GlobalAlloc blocks)
// holds that many bytes, and refuses a shorter one without reading it
// ("param WxH short N" with the block's size). With KCOLOUR_DOUBLE_PIXELS
// set it also logs the pixels it took ("pixels" and the bytes in hex).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kplatform/kernel32_memory.h"

#define KCOLOUR_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

int g_handle = 0;  // the library's one parameter set

void Log(const char* what, const char* detail = "") {
  const char* path = std::getenv("KCOLOUR_DOUBLE_LOG");
  if (path == nullptr || *path == 0) return;
  if (FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s%s%s\n", what, *detail ? " " : "", detail);
    std::fclose(f);
  }
}

bool Fails(const char* name) {
  const char* failing = std::getenv("KCOLOUR_DOUBLE_FAIL");
  return failing != nullptr && std::strcmp(failing, name) == 0;
}

}  // namespace

KCOLOUR_EXPORT void* NIE_LoadNIE32(const char* path) {
  Log("load", path != nullptr ? path : "(null)");
  return Fails("NIE_LoadNIE32") ? nullptr : &g_handle;
}

KCOLOUR_EXPORT int32_t NIE_FreeNIE32(void* handle) {
  Log("free");
  return handle == &g_handle && !Fails("NIE_FreeNIE32") ? 0 : 1;
}

KCOLOUR_EXPORT int32_t NIE_CreateParam_Begin32(void* handle, uint8_t mode) {
  char m[8];
  std::snprintf(m, sizeof m, "%u", static_cast<unsigned>(mode));
  Log("begin", m);
  return handle == &g_handle && !Fails("NIE_CreateParam_Begin32") ? 0 : 1;
}

KCOLOUR_EXPORT int32_t NIE_CreateParam32(void* handle, const uint8_t* pixels, int32_t width, int32_t height) {
  char m[64];
  if (width < 0 || height < 0) return 1;
  const size_t need = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
  const size_t have = pixels != nullptr ? GlobalSize(const_cast<uint8_t*>(pixels)) : 0;
  if (have < need) {
    std::snprintf(m, sizeof m, "%dx%d short %zu", static_cast<int>(width), static_cast<int>(height), have);
    Log("param", m);
    return 1;
  }
  std::snprintf(m, sizeof m, "%dx%d", static_cast<int>(width), static_cast<int>(height));
  Log("param", m);
  if (std::getenv("KCOLOUR_DOUBLE_PIXELS") != nullptr) {
    std::string hex;
    for (size_t i = 0; i < need; ++i) {
      char b[4];
      std::snprintf(b, sizeof b, "%02x", pixels[i]);
      hex += b;
    }
    Log("pixels", hex.c_str());
  }
  return handle == &g_handle && !Fails("NIE_CreateParam32") ? 0 : 1;
}

KCOLOUR_EXPORT int16_t NIE_CreateParam_End32(void* handle) {
  Log("end");
  return handle == &g_handle && !Fails("NIE_CreateParam_End32") ? 0 : 1;
}

KCOLOUR_EXPORT void NIE_DeleteParam32(void*) { Log("delete"); }

#ifndef KCOLOUR_PARTIAL
KCOLOUR_EXPORT int32_t NIE_ColorConvert32(void* handle, const uint8_t* source, uint8_t* destination, int32_t width,
                                          int32_t height) {
  Log("convert");
  if (handle != &g_handle || Fails("NIE_ColorConvert32") || width < 0 || height < 0) return 1;
  const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
  for (size_t i = 0; i < n; ++i) destination[i] = static_cast<uint8_t>(255 - source[i]);
  return 0;
}
#endif
