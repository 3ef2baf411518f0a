// dddc: compiles a model's device description data source (a line-oriented
// text, see models/README.md) into the main DDD file and, where the source
// asks, the referenced file. The compiler writes the records from its own
// tables; of the reader in core/ it shares only the file layout
// (kestrel/core/ddd_layout.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel::dddc {

struct Output {
  bool ok = false;
  // "file:line: message" lines, in source order; empty when ok.
  std::vector<std::string> errors;
  std::vector<uint8_t> main;
  // Empty name: the model has no referenced file.
  std::string referencedName;
  std::vector<uint8_t> referenced;
};

// Compiles the source file at `path` (includes are found relative to the
// including file).
Output CompileFile(const std::string& path);

// Compiles source text held in memory; `name` stands for its file name in
// messages and includes are found relative to `baseDir`.
Output CompileText(const std::string& text, const std::string& name, const std::string& baseDir);

// Writes the compiled pair: the main file at `mainPath`, the referenced file
// beside it under its own name. Each file is written to a temporary file in
// the same folder and renamed into place only when every write succeeded, so
// a failure leaves neither a half-written file nor a changed old one.
bool WriteOutput(const Output& out, const std::string& mainPath, std::string* error);

}  // namespace kestrel::dddc
