#include "temp_root.h"

#include <kplatform/advapi32_registry.h>
#include <kplatform/winspool_printer.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace kestrel::test {

TempRoot::TempRoot() {
  if (root_.path().empty()) ADD_FAILURE() << "cannot make a temporary root";
  else if (!root_.ok()) ADD_FAILURE() << "KpSetRoot failed for " << root_.path();
}

bool SetUserModeDriver(void* printer, const std::u16string& library) {
  std::u16string name = u"SPLUserModePrinterDriver";
  return SetPrinterDataW(static_cast<HANDLE>(printer), name.data(), REG_SZ,
                         reinterpret_cast<LPBYTE>(const_cast<char16_t*>(library.c_str())),
                         static_cast<DWORD>((library.size() + 1) * sizeof(char16_t))) == ERROR_SUCCESS;
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

void TempRoot::WriteDriverFile(const std::string& name, const std::string& text) const {
  WriteHostFile(host(std::string(kDriverDir) + name), text);
}

void WriteHostFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace kestrel::test
