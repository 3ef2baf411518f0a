// kprint: prints a document through the whole road (see --help).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kprint_options.h"
#include "road.h"

namespace fs = std::filesystem;
using namespace kestrel::road;

namespace {

std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// Writes the job beside the output's final name first, then renames it, so
// a failed write leaves no half-written file.
bool WriteOutput(const std::string& path, const std::string& bytes, std::string* error) {
  const std::string temp = path + ".part";
  std::error_code made;
  if (fs::path(path).has_parent_path()) fs::create_directories(fs::path(path).parent_path(), made);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      *error = "cannot write " + temp;
      std::error_code ec;
      fs::remove(temp, ec);
      return false;
    }
  }
  std::error_code ec;
  fs::rename(temp, path, ec);
  if (ec) {
    *error = "cannot write " + path + ": " + ec.message();
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

void Summary(const RoadJob& job, const KprintOptions& o) {
  std::printf("Printed \"%s\" on %s (model %s) to %s\n", Narrow(o.document.name).c_str(), Narrow(job.printer).c_str(),
              o.model == RoadModel::A ? "A" : "B",
              o.tcpPort ? (o.tcpHost + ":" + std::to_string(o.tcpPort)).c_str() : o.output.c_str());
  std::printf("The job: %zu bytes, %zu page%s (sheet sides); the strict PCL XL checker (job mode): %s\n",
              job.bytes.size(), job.pages.size(), job.pages.size() == 1 ? "" : "s",
              job.check.empty() ? "passes" : job.check.c_str());
  std::printf("PJL lines:\n");
  for (const std::string& line : job.pjl) std::printf("  %s\n", line.c_str());
  for (size_t i = 0; i < job.pages.size(); ++i) {
    const RoadPageSummary& p = job.pages[i];
    std::printf("Page %zu: %llu bytes%s%s\n  ", i + 1, static_cast<unsigned long long>(p.bytes),
                p.what.empty() ? "" : " - ", p.what.c_str());
    if (!p.calls.empty()) {
      std::printf("  drawn:");
      for (const std::string& c : p.calls) std::printf(" %s", c.c_str());
      std::printf("\n  ");
    }
    size_t column = 2;
    for (size_t k = 0; k < p.operators.size(); ++k) {
      // Runs of one operator are shown once with their count.
      size_t run = 1;
      while (k + run < p.operators.size() && p.operators[k + run] == p.operators[k]) ++run;
      std::string word = p.operators[k] + (run > 1 ? " x" + std::to_string(run) : "");
      k += run - 1;
      if (column + word.size() > 100) {
        std::printf("\n  ");
        column = 2;
      }
      std::printf("%s ", word.c_str());
      column += word.size() + 1;
    }
    std::printf("\n");
  }
  if (!job.printerStatus.empty()) {
    std::printf("The printer's status as the language monitor parsed it:\n");
    for (const std::string& s : job.printerStatus) std::printf("  %s\n", s.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  KprintOptions o;
  std::string error;
  const int parsed = ParseKprintOptions(argc, argv, KESTREL_BUILD_DIR, &o, &error);
  if (parsed == kKprintHelp) {
    // The values each model offers come from its description data.
    RoadOpen(o.root);
    std::fputs(KprintHelp().c_str(), stdout);
    return 0;
  }
  if (parsed != 0) {
    std::fprintf(stderr, "kprint: %s\n(kprint --help lists the options)\n", error.c_str());
    return parsed;
  }
  RoadResult r = RoadOpen(o.root);
  if (!r.ok()) {
    std::fprintf(stderr, "kprint: %s\n", r.message.c_str());
    return 1;
  }
  // A value the model does not offer is refused before anything is printed.
  r = RoadCheckSettings(o.model, o.settings);
  if (!r.ok()) {
    std::fprintf(stderr, "kprint: %s\n(kprint --help lists the options)\n", r.message.c_str());
    return 2;
  }
  RoadQueue q;
  q.model = o.model;
  q.tcpHost = o.tcpHost;
  q.tcpPort = o.tcpPort;
  if (r = RoadInstallQueue(q); !r.ok()) {
    std::fprintf(stderr, "kprint: %s\n", r.message.c_str());
    return 1;
  }
  if (!o.settings.empty()) {
    r = RoadApplySettings(q, o.settings);
    if (!r.ok()) {
      std::fprintf(stderr, "kprint: %s\n", r.message.c_str());
      return r.status == RoadStatus::BadSetting ? 2 : 1;
    }
  }
  std::vector<RoadSetting> stored;
  if (RoadReadSettings(q, &stored).ok()) {
    std::printf("The queue's settings (kept in %s):", o.root.c_str());
    for (const RoadSetting& s : stored) std::printf(" %s=%s", s.name.c_str(), s.value.c_str());
    std::printf("\n");
  }
  const RoadJob job = RoadPrint(q, o.document);

  if (!job.result.ok()) {
    std::fprintf(stderr, "kprint: %s\n", job.result.message.c_str());
    return 1;
  }
  if (o.tcpPort == 0 && !WriteOutput(o.output, job.bytes, &error)) {
    std::fprintf(stderr, "kprint: %s\n", error.c_str());
    return 1;
  }
  Summary(job, o);
  return 0;
}
