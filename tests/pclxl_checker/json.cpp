#include "json.h"

#include <cstdlib>

namespace pclxl_check::json {

const Value& Value::operator[](const std::string& key) const {
  static const Value null;
  if (kind != Kind::Object) return null;
  auto it = object.find(key);
  return it == object.end() ? null : it->second;
}

namespace {

struct Parser {
  explicit Parser(const std::string& text) : s(text) {}
  const std::string& s;
  size_t i = 0;
  std::string error;

  void ws() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t')) ++i;
  }
  bool fail(const char* what) {
    if (error.empty()) error = std::string(what) + " at " + std::to_string(i);
    return false;
  }
  bool literal(const char* word) {
    size_t n = std::char_traits<char>::length(word);
    if (s.compare(i, n, word) != 0) return fail("bad literal");
    i += n;
    return true;
  }
  bool string(std::string& out) {
    if (i >= s.size() || s[i] != '"') return fail("string expected");
    ++i;
    while (i < s.size() && s[i] != '"') {
      char c = s[i++];
      if (c != '\\') {
        out += c;
        continue;
      }
      if (i >= s.size()) return fail("bad escape");
      char e = s[i++];
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          if (i + 4 > s.size()) return fail("bad escape");
          unsigned cp = static_cast<unsigned>(std::strtoul(s.substr(i, 4).c_str(), nullptr, 16));
          i += 4;
          if (cp < 0x80) {
            out += static_cast<char>(cp);
          } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
          } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
          }
          break;
        }
        default: out += e; break;
      }
    }
    if (i >= s.size()) return fail("unterminated string");
    ++i;
    return true;
  }
  bool value(Value& v) {
    ws();
    if (i >= s.size()) return fail("value expected");
    char c = s[i];
    if (c == '{') {
      v.kind = Value::Kind::Object;
      ++i;
      ws();
      if (i < s.size() && s[i] == '}') {
        ++i;
        return true;
      }
      while (true) {
        ws();
        std::string key;
        if (!string(key)) return false;
        ws();
        if (i >= s.size() || s[i] != ':') return fail("':' expected");
        ++i;
        if (!value(v.object[key])) return false;
        ws();
        if (i < s.size() && s[i] == ',') {
          ++i;
          continue;
        }
        if (i < s.size() && s[i] == '}') {
          ++i;
          return true;
        }
        return fail("',' or '}' expected");
      }
    }
    if (c == '[') {
      v.kind = Value::Kind::Array;
      ++i;
      ws();
      if (i < s.size() && s[i] == ']') {
        ++i;
        return true;
      }
      while (true) {
        v.array.emplace_back();
        if (!value(v.array.back())) return false;
        ws();
        if (i < s.size() && s[i] == ',') {
          ++i;
          continue;
        }
        if (i < s.size() && s[i] == ']') {
          ++i;
          return true;
        }
        return fail("',' or ']' expected");
      }
    }
    if (c == '"') {
      v.kind = Value::Kind::String;
      return string(v.string);
    }
    if (c == 't') {
      v.kind = Value::Kind::Bool;
      v.boolean = true;
      return literal("true");
    }
    if (c == 'f') {
      v.kind = Value::Kind::Bool;
      return literal("false");
    }
    if (c == 'n') return literal("null");
    char* end = nullptr;
    v.number = std::strtod(s.c_str() + i, &end);
    if (end == s.c_str() + i) return fail("number expected");
    v.kind = Value::Kind::Number;
    i = static_cast<size_t>(end - s.c_str());
    return true;
  }
};

}  // namespace

bool parse(const std::string& text, Value& out, std::string& error) {
  Parser p(text);
  out = Value{};
  if (!p.value(out)) {
    error = p.error;
    return false;
  }
  p.ws();
  if (p.i != text.size()) {
    error = "trailing bytes";
    return false;
  }
  return true;
}

}  // namespace pclxl_check::json
