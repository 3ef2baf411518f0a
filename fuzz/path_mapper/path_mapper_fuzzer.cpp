// Feeds arbitrary UTF-16 to the path mapper. Whatever the input, a mapped
// path lies below the root with no "." or ".." component left, maps back to
// a Windows path, and that Windows path maps to the same host path again.
#include <kplatform/kernel32_file.h>
#include <kplatform/root.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "model_root.h"

namespace {

const std::string& fuzzRoot() {
  static const std::string root = [] {
    static kestrel::test::FreshRoot fresh("kestrel-fuzz");
    if (!fresh.ok()) std::abort();
    return std::string(KpGetRoot());
  }();
  return root;
}

bool belowRoot(const std::string& root, const std::string& host) {
  if (host.compare(0, root.size() + 1, root + "/") != 0) return false;
  size_t i = root.size();
  while (i < host.size()) {
    size_t next = host.find('/', i + 1);
    if (next == std::string::npos) next = host.size();
    std::string part = host.substr(i + 1, next - i - 1);
    if (part.empty() || part == "." || part == "..") return false;
    i = next;
  }
  return true;
}

std::string mapOrEmpty(const std::u16string& path) {
  static char buffer[1 << 16];
  DWORD n = KpMapPath(path.c_str(), buffer, sizeof buffer);
  return (n == 0 || n >= sizeof buffer) ? std::string() : std::string(buffer, n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& root = fuzzRoot();
  std::u16string path(size / 2, u'\0');
  if (!path.empty()) std::memcpy(path.data(), data, path.size() * 2);
  path = path.substr(0, path.find(u'\0'));  // the Windows functions read up to the NUL

  std::string host = mapOrEmpty(path);
  if (host.empty()) return 0;
  if (!belowRoot(root, host)) std::abort();

  static WCHAR back[1 << 16];
  DWORD n = KpUnmapPath(host.c_str(), back, sizeof back / sizeof back[0]);
  if (n == 0 || n >= sizeof back / sizeof back[0]) std::abort();
  std::u16string windows(back, n);
  // Verbatim, so that names Windows would trim (trailing dots) come back whole.
  std::u16string verbatim =
      windows.compare(0, 2, u"\\\\") == 0 ? u"\\\\?\\UNC\\" + windows.substr(2) : u"\\\\?\\" + windows;
  if (mapOrEmpty(verbatim) != host) std::abort();

  WCHAR full[512];
  GetFullPathNameW(path.c_str(), 512, full, nullptr);
  return 0;
}
