// A small JSON reader for the checker's language tables (a trusted file).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace pclxl_check::json {

struct Value {
  enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<Value> array;
  std::map<std::string, Value> object;

  bool isNull() const { return kind == Kind::Null; }
  // Member access; a missing member reads as null.
  const Value& operator[](const std::string& key) const;
  bool has(const std::string& key) const { return kind == Kind::Object && object.count(key) != 0; }
};

// Parses a whole document; false with `error` set on a syntax error.
bool parse(const std::string& text, Value& out, std::string& error);

}  // namespace pclxl_check::json
