#include "ddd_host.h"

#include <kplatform/kernel32_codepage.h>
#include <kplatform/root.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace kestrel::ddd_host {

namespace {

BOOL DriverDirectory(WCHAR* buffer, DWORD chars) {
  std::u16string dir = DriverDirWindows() + u"\\";
  if (dir.size() + 1 > chars) return FALSE;
  for (size_t i = 0; i < dir.size(); ++i) buffer[i] = dir[i];
  buffer[dir.size()] = 0;
  return TRUE;
}

}  // namespace

std::string DriverDirHost() { return std::string(KpGetRoot()) + "/c/Windows/system32/spool/drivers/x64/3"; }
std::u16string DriverDirWindows() { return u"C:\\Windows\\system32\\spool\\drivers\\x64\\3"; }

std::string MakeTempRoot() {
  std::string pattern = (fs::temp_directory_path() / "kestrel-ddd-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  if (made == nullptr) return "";
  if (!KpSetRoot(made)) {
    std::error_code ec;
    fs::remove_all(made, ec);
    return "";
  }
  return made;
}

void RemoveTempRoot(const std::string& folder) {
  if (folder.empty()) return;
  std::error_code ec;
  fs::remove_all(folder, ec);
}

int RunInTempRoot(const std::function<int()>& run) {
  const std::string root = MakeTempRoot();
  if (root.empty()) {
    std::fprintf(stderr, "cannot make a platform root\n");
    return 1;
  }
  const int rc = run();
  RemoveTempRoot(root);
  return rc;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ReferencedName(const std::string& hostMainPath) {
  std::ifstream in(hostMainPath, std::ios::binary);
  char header[DDD_HEADER_SIZE];
  if (!in.read(header, DDD_HEADER_SIZE)) return "";
  std::string name;
  for (uint32_t i = 0; i < DDD_REFNAME_SIZE && header[DDD_REFNAME_OFFSET + i] != 0; ++i) {
    name += header[DDD_REFNAME_OFFSET + i];
  }
  // Only a plain file name is copied; anything else is left for the reader
  // to refuse.
  if (name.find_first_of("/\\:") != std::string::npos || name == "." || name == "..") return "";
  return name;
}

std::string Narrow(LPCWSTR s) {
  if (s == nullptr) return std::string();
  int size = WideCharToMultiByte(CP_UTF8, 0, s, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, s, -1, out.data(), size, nullptr, nullptr);
  out.pop_back();  // the terminating NUL
  return out;
}

std::u16string Widen(const std::string& s) {
  std::u16string out;
  for (unsigned char c : s) out += static_cast<char16_t>(c);  // file names are ASCII
  return out;
}

WORD Model::Open(const std::string& hostMainPath) {
  Close();
  ddd_SetDriverDirectoryProvider(DriverDirectory);
  std::string dir = DriverDirHost();
  std::error_code ec;
  fs::create_directories(dir, ec);
  std::string name = BaseName(hostMainPath);
  if (!fs::copy_file(hostMainPath, dir + "/" + name, fs::copy_options::overwrite_existing, ec)) return 1;
  std::string ref = ReferencedName(hostMainPath);
  if (!ref.empty()) {
    size_t slash = hostMainPath.find_last_of('/');
    std::string hostDir = slash == std::string::npos ? std::string(".") : hostMainPath.substr(0, slash);
    // A missing referenced file is left for the reader to report.
    fs::copy_file(hostDir + "/" + ref, dir + "/" + ref, fs::copy_options::overwrite_existing, ec);
  }
  std::u16string path = DriverDirWindows() + u"\\" + Widen(name);
  main = {};
  referenced = {};
  WORD r = ddd_OpenFile(path.c_str(), 0, &main, &referenced);
  open_ = r == DDD_OK;
  return r;
}

void Model::Close() {
  if (open_) ddd_CloseFile(&main, &referenced);
  open_ = false;
}

}  // namespace kestrel::ddd_host
