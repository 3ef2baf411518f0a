// dddc SOURCE -o MAIN.DDD
// Compiles a model source; the referenced file, when the source names one,
// is written beside the main file. Errors go to stderr as file:line lines;
// on any error nothing is written and the exit code is 1.
#include <cstdio>
#include <cstring>
#include <string>

#include "dddc.h"

int main(int argc, char** argv) {
  std::string source, output;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
      output = argv[++i];
    } else if (argv[i][0] == '-' || !source.empty()) {
      std::fprintf(stderr, "usage: dddc SOURCE -o MAIN.DDD\n");
      return 2;
    } else {
      source = argv[i];
    }
  }
  if (source.empty() || output.empty()) {
    std::fprintf(stderr, "usage: dddc SOURCE -o MAIN.DDD\n");
    return 2;
  }
  kestrel::dddc::Output out = kestrel::dddc::CompileFile(source);
  for (const std::string& e : out.errors) std::fprintf(stderr, "%s\n", e.c_str());
  if (!out.ok) return 1;
  std::string error;
  if (!kestrel::dddc::WriteOutput(out, output, &error)) {
    std::fprintf(stderr, "dddc: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
