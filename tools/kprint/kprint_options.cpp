// kprint's command line (kprint_options.h).
#include "kprint_options.h"

#include <arpa/inet.h>

#include <cstdlib>

using namespace kestrel::road;

namespace {

// The options that are settings of the queue, by their road names.
bool IsSetting(const std::string& name) {
  for (const char* s : {"paper", "orientation", "copies", "collate", "duplex", "nup", "nup-frame", "poster", "booklet",
                        "colour", "resolution", "image-compression", "staple", "print-type", "password"})
    if (name == s) return true;
  return false;
}

bool HostPort(const std::string& text, std::string* host, uint16_t* port) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  *host = text.substr(0, colon);
  in_addr addr{};
  if (inet_pton(AF_INET, host->c_str(), &addr) != 1) return false;
  const std::string digits = text.substr(colon + 1);
  if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  const long n = std::strtol(digits.c_str(), nullptr, 10);
  if (n < 1 || n > 65535) return false;
  *port = static_cast<uint16_t>(n);
  return true;
}

}  // namespace

int ParseKprintOptions(int argc, char** argv, const std::string& buildDir, KprintOptions* o, std::string* error) {
  o->root = buildDir + "/kprint/root";
  o->output = buildDir + "/kprint/sample-job.pcl";
  o->document = RoadSampleDocument();
  bool outputGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return kKprintHelp;
    if (arg.rfind("--", 0) != 0) {
      *error = "unexpected argument \"" + arg + "\"";
      return kKprintUsageError;
    }
    std::string name = arg.substr(2), value;
    const size_t eq = name.find('=');
    if (eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
    } else if (name == "model" || name == "output" || name == "port" || name == "root" || IsSetting(name)) {
      if (i + 1 >= argc) {
        *error = "--" + name + " needs a value";
        return kKprintUsageError;
      }
      value = argv[++i];
    }
    if (name == "model") {
      if (value == "A" || value == "a") {
        o->model = RoadModel::A;
      } else if (value == "B" || value == "b") {
        o->model = RoadModel::B;
      } else {
        *error = "unknown model \"" + value + "\" (A or B)";
        return kKprintUsageError;
      }
    } else if (name == "output") {
      if (value.empty()) {
        *error = "--output needs a file name";
        return kKprintUsageError;
      }
      o->output = value;
      outputGiven = true;
    } else if (name == "port") {
      if (!HostPort(value, &o->tcpHost, &o->tcpPort)) {
        *error = "--port takes HOST:PORT with an IPv4 address and a port 1-65535, not \"" + value + "\"";
        return kKprintUsageError;
      }
    } else if (name == "root") {
      if (value.empty()) {
        *error = "--root needs a folder";
        return kKprintUsageError;
      }
      o->root = value;
    } else if (IsSetting(name)) {
      o->settings.push_back({name, value});
    } else {
      *error = "unknown option \"" + arg + "\"";
      return kKprintUsageError;
    }
  }
  if (outputGiven && o->tcpPort != 0) {
    *error = "--output and --port exclude each other: the job goes to one port";
    return kKprintUsageError;
  }
  return 0;
}

std::string KprintHelp() {
  std::string h =
      "kprint: prints a document through the whole printing road: the application's drawing calls on a\n"
      "device context (CreateDCW ... DeleteDC), kestrelui's document events, the renderer kestrelkm, the\n"
      "spooler, the spooler-side job processor kestrelum and the language monitor kmonant, to a file or\n"
      "to a printer's raw TCP port. The document is the built-in sample: a cover page of text, a vector\n"
      "page, a photo page, a blank page and a page with a stamp and the header/footer.\n"
      "\n"
      "With no options it prints the sample for model A to a file in the build folder and says where the\n"
      "job is and what it holds: pages, bytes, PJL lines and the PCL XL operators of each page.\n"
      "\n"
      "Usage: kprint [--model A|B] [SETTING VALUE]... [--output FILE | --port HOST:PORT] [--root DIR]\n"
      "\n"
      "  --model A|B        A: Scriva K350 (A3 colour, finisher); B: Scriva K260 (A4 monochrome). Default A.\n"
      "  --output FILE      where the job the printer would receive is written (default:\n"
      "                     <build>/kprint/sample-job.pcl)\n"
      "  --port HOST:PORT   send the job to a printer's raw TCP port instead (IPv4, e.g. 192.168.1.20:9100)\n"
      "  --root DIR         the folder that keeps the queue and its settings (default <build>/kprint/root)\n"
      "  --help             this text\n"
      "\n"
      "Settings are stored with the model's queue and kept between runs, as a printer queue keeps them:\n"
      "an option given once stays until it is given again. A value the model does not offer is refused.\n";
  for (RoadModel m : {RoadModel::A, RoadModel::B}) {
    h += std::string("\nSettings of model ") + (m == RoadModel::A ? "A" : "B") + ":\n";
    for (const RoadSettingInfo& s : RoadSettingNames(m)) {
      std::string line = "  --" + s.name;
      line.resize(std::max<size_t>(line.size() + 1, 16), ' ');
      line += s.help + ".\n" + std::string(16, ' ') + "values:";
      for (const std::string& v : s.values) line += " " + v;
      h += line + "\n";
    }
  }
  h += "\nExit status: 0 printed; 1 the road failed (the message says where); 2 an unknown option or value\n"
       "(nothing is printed and the stored settings are left as they were).\n";
  return h;
}
