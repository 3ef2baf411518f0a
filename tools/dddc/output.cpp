#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "dddc.h"

namespace kestrel::dddc {

namespace {

std::string DirOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Writes `bytes` to a new temporary file beside `path`; its name goes to
// *temp. False (and no file left) on any failure.
bool WriteTemp(const std::string& path, const std::vector<uint8_t>& bytes, std::string* temp, std::string* error) {
  std::string pattern = path + ".tmpXXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back(0);
  int fd = mkstemp(name.data());
  if (fd < 0) {
    *error = "cannot create a file beside " + path + ": " + std::strerror(errno);
    return false;
  }
  *temp = name.data();
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = "cannot write " + *temp + ": " + std::strerror(errno);
      close(fd);
      unlink(temp->c_str());
      return false;
    }
    done += static_cast<size_t>(n);
  }
  if (fchmod(fd, 0644) != 0 || fsync(fd) != 0 || close(fd) != 0) {
    *error = "cannot finish " + *temp + ": " + std::strerror(errno);
    unlink(temp->c_str());
    return false;
  }
  return true;
}

}  // namespace

Output CompileFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    Output out;
    out.errors.push_back(path + ":0: cannot read the source file");
    return out;
  }
  std::stringstream ss;
  ss << f.rdbuf();
  return CompileText(ss.str(), path, DirOf(path));
}

bool WriteOutput(const Output& out, const std::string& mainPath, std::string* error) {
  if (!out.ok) {
    *error = "nothing to write: the compile failed";
    return false;
  }
  std::string mainTemp, refTemp, refPath;
  if (!out.referencedName.empty()) {
    std::string dir = DirOf(mainPath);
    refPath = (dir.empty() ? std::string() : dir + "/") + out.referencedName;
    if (refPath == mainPath) {
      *error = "the referenced file would overwrite the main file";
      return false;
    }
    if (!WriteTemp(refPath, out.referenced, &refTemp, error)) return false;
  }
  if (!WriteTemp(mainPath, out.main, &mainTemp, error)) {
    if (!refTemp.empty()) unlink(refTemp.c_str());
    return false;
  }
  // Both files are complete on disk; rename them into place, the referenced
  // file first so that a main file never names a missing partner.
  if (!refTemp.empty() && rename(refTemp.c_str(), refPath.c_str()) != 0) {
    *error = "cannot rename into " + refPath + ": " + std::strerror(errno);
    unlink(refTemp.c_str());
    unlink(mainTemp.c_str());
    return false;
  }
  if (rename(mainTemp.c_str(), mainPath.c_str()) != 0) {
    *error = "cannot rename into " + mainPath + ": " + std::strerror(errno);
    unlink(mainTemp.c_str());
    return false;
  }
  return true;
}

}  // namespace kestrel::dddc
