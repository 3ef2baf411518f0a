// krc: compiles a resource source into a resource container (-o) and/or a
// C++ source that a shared library links to carry it (--cpp).
//
//   krc SOURCE [-o CONTAINER] [--cpp SOURCE.cpp] [--header IDS.h] [--depfile FILE]
//
// --header writes the source's DEFINEs as a C++ header.
//
// Outputs are written whole or not at all. Errors go to standard error as
// "SOURCE:LINE: message" and the exit status is 1.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "krc.h"

namespace fs = std::filesystem;

namespace {

bool writeWhole(const std::string& path, const std::string& bytes) {
  const std::string temporary = path + ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ec;
      fs::remove(temporary, ec);
      std::fprintf(stderr, "krc: cannot write %s\n", path.c_str());
      return false;
    }
  }
  std::error_code ec;
  fs::rename(temporary, path, ec);
  if (ec) {
    fs::remove(temporary, ec);
    std::fprintf(stderr, "krc: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

std::string escapeForDepfile(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == ' ' || c == '#' || c == '\\') out.push_back('\\');
    if (c == '$') out.push_back('$');
    out.push_back(c);
  }
  return out;
}

int usage() {
  std::fprintf(stderr, "usage: krc SOURCE [-o CONTAINER] [--cpp SOURCE.cpp] [--header IDS.h] [--depfile FILE]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string source, container, cpp, header, depfile;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "-o" || arg == "--cpp" || arg == "--header" || arg == "--depfile") && i + 1 < argc) {
      (arg == "-o" ? container : arg == "--cpp" ? cpp : arg == "--header" ? header : depfile) = argv[++i];
    } else if (!arg.empty() && arg[0] != '-' && source.empty()) {
      source = arg;
    } else {
      return usage();
    }
  }
  if (source.empty() || (container.empty() && cpp.empty() && header.empty())) return usage();

  std::ifstream in(source, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "krc: cannot read %s\n", source.c_str());
    return 1;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const fs::path sourcePath(source);
  krc::Result result = krc::Compile(text, sourcePath.parent_path(), source);
  if (!result.ok) {
    std::fprintf(stderr, "%s\n", result.error.c_str());
    return 1;
  }
  if (!container.empty() &&
      !writeWhole(container, std::string(result.container.begin(), result.container.end())))
    return 1;
  if (!cpp.empty() && !writeWhole(cpp, krc::EmitCpp(result.container, sourcePath.filename().string()))) return 1;
  if (!header.empty() && !writeWhole(header, krc::EmitHeader(result, sourcePath.filename().string()))) return 1;
  if (!depfile.empty()) {
    std::string deps = escapeForDepfile(container.empty() ? cpp : container) + ":";
    deps += " " + escapeForDepfile(fs::absolute(sourcePath).string());
    for (const std::string& file : result.files) deps += " " + escapeForDepfile(fs::absolute(file).string());
    deps += "\n";
    if (!writeWhole(depfile, deps)) return 1;
  }
  return 0;
}
