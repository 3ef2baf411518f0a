#include "temp_root.h"

#include <kplatform/kernel32_module.h>
#include <kplatform/advapi32_registry.h>
#include <kplatform/root.h>
#include <kplatform/winspool.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace kestrel::test {

TempRoot::TempRoot() {
  std::string pattern = (fs::temp_directory_path() / "kestrel-test-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  if (made == nullptr) {
    ADD_FAILURE() << "cannot make a temporary root";
    return;
  }
  path_ = made;
  if (!KpSetRoot(path_.c_str())) ADD_FAILURE() << "KpSetRoot failed for " << path_;
}

TempRoot::~TempRoot() {
  if (path_.empty()) return;
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void InstallModelAQueue(const std::string& modelsDir, const char16_t* printerName) {
  for (const char* file : {"K350.DDD", "K350RES.DDD"}) {
    std::u16string name(file, file + std::char_traits<char>::length(file));
    ASSERT_TRUE(KpInstallModule((modelsDir + "/" + file).c_str(), name.c_str())) << file;
  }
  ASSERT_TRUE(KpInstallModule("libkui_testhost.so", u"kestrelui.dll"));
  ASSERT_TRUE(KpInstallModule("libkestreljd.so", nullptr));
  ASSERT_TRUE(KpInstallModule("kestrelrs.zrs", nullptr));
  ASSERT_TRUE(KpSpoolerAddPrinter(printerName, u"Scriva K350 PCL6", u"K350.DDD", u"K350.cfg", u"kestrelui.dll"));
}

std::vector<std::u16string> ListPrinterDataNames(const char16_t* printerName) {
  std::vector<std::u16string> names;
  const std::u16string key =
      u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\" + std::u16string(printerName) + u"\\PrinterDriverData";
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD chars = 256;
    if (RegEnumValueW(h, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, chars);
  }
  RegCloseKey(h);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteHostFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace kestrel::test
