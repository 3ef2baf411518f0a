// The resource compiler: a resource source (see resources/README.md) to a
// resource container, and a container to a C++ source that a shared library
// links to carry it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace krc {

struct Result {
  bool ok = false;
  std::vector<uint8_t> container;
  // On failure: "<sourceName>:<line>: <what is wrong>".
  std::string error;
  // Every file the source names, as read (for build dependencies).
  std::vector<std::string> files;
  // The names DEFINE gave, in source order (for the id header).
  std::vector<std::pair<std::string, long>> defines;
};

// Compiles the text of a source; files it names are read relative to
// `baseDir`. `sourceName` begins every error message.
Result Compile(std::string_view text, const std::filesystem::path& baseDir, const std::string& sourceName);

// A C++ source holding the container bytes that registers them with the
// platform's loader from a static initialiser (see kestrel_add_resources).
std::string EmitCpp(const std::vector<uint8_t>& container, const std::string& sourceName);

// A C++ header naming every DEFINE of the source (`#define NAME value`), so
// that code and resources share one set of template and control ids.
std::string EmitHeader(const Result& result, const std::string& sourceName);

}  // namespace krc
