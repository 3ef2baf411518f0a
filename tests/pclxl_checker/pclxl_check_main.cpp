// pclxl_check: the checker from the command line.
//
//   pclxl_check [--renderer | --unframed] [--list] [--geometry] FILE
//
// Checks FILE as a job (the default), with --renderer as the renderer's
// stream, or with --unframed as a job without its UEL/PJL frame (what the
// spooler side writes before the language monitor frames it); --list also
// prints the decoded listing, one operator or in-band command a line,
// before the findings; --geometry prints where each sheet side paints
// (pclxl_geometry.h). Exit status: 0 when the stream
// passes, 1 when there are findings, 2 for a usage or file error.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "pclxl_checker.h"
#include "pclxl_geometry.h"

int main(int argc, char** argv) {
  bool renderer = false, unframed = false, listing = false, geometry = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--renderer") == 0) {
      renderer = true;
    } else if (std::strcmp(argv[i], "--unframed") == 0) {
      unframed = true;
    } else if (std::strcmp(argv[i], "--list") == 0) {
      listing = true;
    } else if (std::strcmp(argv[i], "--geometry") == 0) {
      geometry = true;
    } else if (argv[i][0] != '-' && path == nullptr) {
      path = argv[i];
    } else {
      path = nullptr;
      break;
    }
  }
  if (path == nullptr || (renderer && unframed)) {
    std::fprintf(stderr, "usage: pclxl_check [--renderer | --unframed] [--list] [--geometry] FILE\n");
    return 2;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "pclxl_check: cannot read %s\n", path);
    return 2;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto mode = renderer   ? pclxl_check::Mode::RendererStream
                    : unframed ? pclxl_check::Mode::UnframedJob
                               : pclxl_check::Mode::Job;
  const char* kind = renderer ? "renderer" : unframed ? "unframed job" : "job";
  pclxl_check::Listing list;
  pclxl_check::Report report = pclxl_check::check(bytes, mode, listing || geometry ? &list : nullptr);
  if (listing) std::fputs(list.text().c_str(), stdout);
  if (geometry) std::fputs(pclxl_check::geometry(list).text().c_str(), stdout);
  if (report.ok()) {
    std::printf("%s: %zu bytes, %s stream passes\n", path, bytes.size(), kind);
    return 0;
  }
  std::printf("%s: %zu finding(s)\n%s", path, report.findings.size(), report.text().c_str());
  return 1;
}
