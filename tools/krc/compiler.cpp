#include "krc.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "rescontainer.h"

namespace krc {
namespace {

namespace res = kp::res;

enum class TokenKind { kWord, kString, kOpen, kClose };

struct Token {
  TokenKind kind;
  std::string text;       // a word as written
  std::u16string string;  // a quoted string, decoded
};

struct Failure {
  std::string message;
};

// Appends the UTF-16 form of one code point.
void appendCodePoint(std::u16string& out, uint32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes one UTF-8 sequence at line[i]; advances i.
uint32_t decodeUtf8(std::string_view line, size_t& i) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(line[k]); };
  const uint8_t lead = byte(i);
  if (lead < 0x80) return line[i++];
  int extra = 0;
  uint32_t cp = 0;
  uint32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, cp = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, cp = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, cp = lead & 0x07, minimum = 0x10000;
  } else {
    throw Failure{"invalid UTF-8 in a string"};
  }
  if (i + static_cast<size_t>(extra) >= line.size()) throw Failure{"invalid UTF-8 in a string"};
  for (int k = 1; k <= extra; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) throw Failure{"invalid UTF-8 in a string"};
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) throw Failure{"invalid UTF-8 in a string"};
  i += static_cast<size_t>(extra) + 1;
  return cp;
}

std::vector<Token> tokenize(std::string_view line) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
    } else if (c == '#' || (c == '/' && i + 1 < line.size() && line[i + 1] == '/')) {
      break;  // comment to the end of the line
    } else if (c == '{' || c == '}') {
      tokens.push_back({c == '{' ? TokenKind::kOpen : TokenKind::kClose, std::string(1, c), {}});
      ++i;
    } else if (c == '"') {
      Token t{TokenKind::kString, {}, {}};
      ++i;
      bool closed = false;
      while (i < line.size()) {
        const char d = line[i];
        if (d == '"') {
          closed = true;
          ++i;
          break;
        }
        if (d != '\\') {
          appendCodePoint(t.string, decodeUtf8(line, i));
          continue;
        }
        if (i + 1 >= line.size()) throw Failure{"a backslash ends the line inside a string"};
        const char e = line[i + 1];
        i += 2;
        switch (e) {
          case '\\': t.string.push_back(u'\\'); break;
          case '"': t.string.push_back(u'"'); break;
          case 'n': t.string.push_back(u'\n'); break;
          case 'r': t.string.push_back(u'\r'); break;
          case 't': t.string.push_back(u'\t'); break;
          case '0': t.string.push_back(u'\0'); break;
          case 'u': {
            uint32_t unit = 0;
            for (int k = 0; k < 4; ++k) {
              const int v = i < line.size() ? hexValue(line[i]) : -1;
              if (v < 0) throw Failure{"\\u needs four hexadecimal digits"};
              unit = unit * 16 + static_cast<uint32_t>(v);
              ++i;
            }
            t.string.push_back(static_cast<char16_t>(unit));
            break;
          }
          default: throw Failure{std::string("unknown escape \\") + e};
        }
      }
      if (!closed) throw Failure{"string not closed on its line"};
      tokens.push_back(std::move(t));
    } else {
      size_t start = i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '"' &&
             line[i] != '{' && line[i] != '}' && line[i] != '#')
        ++i;
      tokens.push_back({TokenKind::kWord, std::string(line.substr(start, i - start)), {}});
    }
  }
  return tokens;
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// A decimal or 0x-hexadecimal number in lo..hi.
uint32_t number(const Token& t, uint32_t lo, uint32_t hi, const char* what) {
  if (t.kind != TokenKind::kWord || t.text.empty()) throw Failure{std::string("expected ") + what};
  uint64_t value = 0;
  size_t i = 0;
  int base = 10;
  if (t.text.size() > 2 && t.text[0] == '0' && (t.text[1] == 'x' || t.text[1] == 'X')) {
    base = 16;
    i = 2;
  }
  for (; i < t.text.size(); ++i) {
    const int v = hexValue(t.text[i]);
    if (v < 0 || v >= base) throw Failure{std::string("expected ") + what + ", found '" + t.text + "'"};
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(v);
    if (value > hi) break;
  }
  if (value < lo || value > hi)
    throw Failure{std::string(what) + " " + t.text + " is out of range " + std::to_string(lo) + ".." +
                  std::to_string(hi)};
  return static_cast<uint32_t>(value);
}

std::optional<uint16_t> typeKeyword(const std::string& word) {
  static const std::map<std::string, uint16_t> kTypes = {
      {"BITMAP", 2}, {"ICON", 3}, {"DIALOG", 5}, {"RCDATA", 10}, {"GROUP_ICON", 14}};
  auto it = kTypes.find(upper(word));
  if (it == kTypes.end()) return std::nullopt;
  return it->second;
}

class Compiler {
 public:
  Compiler(const std::filesystem::path& baseDir, Result& result) : baseDir_(baseDir), result_(result) {}

  void line(std::string_view text, size_t number) {
    std::vector<Token> tokens = tokenize(text);
    if (inBytes_) return bytes(tokens, 0);
    if (tokens.empty()) return;
    if (inStrings_) return stringLine(tokens);
    statement(tokens, number);
  }

  void finish() {
    if (inStrings_) throw Failure{"STRINGTABLE opened on line " + std::to_string(openedOn_) + " has no END"};
    if (inBytes_) throw Failure{"byte list opened on line " + std::to_string(openedOn_) + " has no '}'"};
    std::vector<res::Item> items = std::move(items_);
    for (auto& [block, strings] : blocks_) items.push_back({res::kTypeString, block, res::BuildStringBlock(strings)});
    uint64_t total = res::kHeaderSize;
    for (const res::Item& item : items) total += res::kEntrySize + item.bytes.size() + 3;
    if (total > 0xFFFFFFF0u) throw Failure{"the resources exceed 4 GB"};
    result_.container = res::Build(std::move(items));
  }

 private:
  void statement(const std::vector<Token>& tokens, size_t lineNumber) {
    const Token& first = tokens[0];
    if (first.kind != TokenKind::kWord) throw Failure{"a statement begins with a keyword"};
    const std::string keyword = upper(first.text);
    if (keyword == "STRINGTABLE") {
      if (tokens.size() != 1) throw Failure{"STRINGTABLE stands alone on its line"};
      inStrings_ = true;
      openedOn_ = lineNumber;
      return;
    }
    if (keyword == "END") throw Failure{"END without STRINGTABLE"};
    uint16_t type = 0;
    if (std::optional<uint16_t> known = typeKeyword(first.text)) {
      type = *known;
    } else if (std::isdigit(static_cast<unsigned char>(first.text[0]))) {
      type = static_cast<uint16_t>(number(first, 1, 0xFFFF, "resource type"));
      if (type == res::kTypeString) throw Failure{"type 6 is the string table: use STRINGTABLE"};
    } else {
      throw Failure{"unknown statement '" + first.text + "'"};
    }
    if (tokens.size() < 3) throw Failure{"expected: " + first.text + " <id> \"file\" or " + first.text + " <id> { bytes }"};
    const uint16_t id = static_cast<uint16_t>(number(tokens[1], 1, 0xFFFF, "resource id"));
    if (!seen_.insert({type, id}).second)
      throw Failure{"resource " + first.text + " " + tokens[1].text + " is defined twice"};
    if (tokens[2].kind == TokenKind::kString) {
      if (tokens.size() != 3) throw Failure{"unexpected text after the file name"};
      items_.push_back({type, id, fileBytes(tokens[2].string, type)});
      return;
    }
    if (tokens[2].kind != TokenKind::kOpen) throw Failure{"expected a file name in quotes or '{'"};
    items_.push_back({type, id, {}});
    inBytes_ = true;
    openedOn_ = lineNumber;
    bytes(tokens, 3);
  }

  void bytes(const std::vector<Token>& tokens, size_t from) {
    std::vector<uint8_t>& out = items_.back().bytes;
    for (size_t i = from; i < tokens.size(); ++i) {
      const Token& t = tokens[i];
      if (t.kind == TokenKind::kClose) {
        if (i + 1 != tokens.size()) throw Failure{"unexpected text after '}'"};
        inBytes_ = false;
        return;
      }
      if (t.kind != TokenKind::kWord || t.text.size() != 2 || hexValue(t.text[0]) < 0 || hexValue(t.text[1]) < 0)
        throw Failure{"expected a byte as two hexadecimal digits, found '" + t.text + "'"};
      out.push_back(static_cast<uint8_t>(hexValue(t.text[0]) * 16 + hexValue(t.text[1])));
    }
  }

  void stringLine(const std::vector<Token>& tokens) {
    if (tokens[0].kind == TokenKind::kWord && upper(tokens[0].text) == "END") {
      if (tokens.size() != 1) throw Failure{"END stands alone on its line"};
      inStrings_ = false;
      return;
    }
    if (tokens.size() != 2 || tokens[1].kind != TokenKind::kString) throw Failure{"expected: <id> \"text\""};
    const uint32_t id = number(tokens[0], 0, 0xFFFF, "string id");
    if (tokens[1].string.size() > 0xFFFF) throw Failure{"string longer than 65535 UTF-16 units"};
    auto& block = blocks_[static_cast<uint16_t>(id / res::kStringsPerBlock + 1)];
    const std::string key = std::to_string(id);
    if (!stringIds_.insert(id).second) throw Failure{"string " + key + " is defined twice"};
    block[id % res::kStringsPerBlock] = tokens[1].string;
  }

  std::vector<uint8_t> fileBytes(const std::u16string& name, uint16_t type) {
    std::string narrow;
    for (char16_t c : name) {
      if (c == 0 || c > 0x7F) throw Failure{"file names are plain ASCII"};
      narrow.push_back(static_cast<char>(c));
    }
    const std::filesystem::path path = baseDir_ / narrow;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Failure{"cannot read file '" + narrow + "'"};
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw Failure{"cannot read file '" + narrow + "'"};
    if (std::find(result_.files.begin(), result_.files.end(), path.string()) == result_.files.end())
      result_.files.push_back(path.string());
    if (type == 2) {
      // A bitmap resource is the DIB without the 14-byte file header, as on Windows.
      if (data.size() < 14 + 40 || data[0] != 'B' || data[1] != 'M')
        throw Failure{"'" + narrow + "' is not a BMP file"};
      data.erase(data.begin(), data.begin() + 14);
    }
    return data;
  }

  std::filesystem::path baseDir_;
  Result& result_;
  std::vector<res::Item> items_;
  std::set<std::pair<uint16_t, uint16_t>> seen_;
  std::map<uint16_t, std::array<std::u16string, res::kStringsPerBlock>> blocks_;
  std::set<uint32_t> stringIds_;
  bool inStrings_ = false;
  bool inBytes_ = false;
  size_t openedOn_ = 0;
};

}  // namespace

Result Compile(std::string_view text, const std::filesystem::path& baseDir, const std::string& sourceName) {
  Result result;
  Compiler compiler(baseDir, result);
  size_t lineNumber = 0;
  size_t start = 0;
  try {
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      ++lineNumber;
      compiler.line(text.substr(start, end - start), lineNumber);
      start = end + 1;
    }
    ++lineNumber;  // problems found at the end are reported past the last line
    compiler.finish();
  } catch (const Failure& failure) {
    result.ok = false;
    result.container.clear();
    result.error = sourceName + ":" + std::to_string(lineNumber) + ": " + failure.message;
    return result;
  }
  result.ok = true;
  return result;
}

std::string EmitCpp(const std::vector<uint8_t>& container, const std::string& sourceName) {
  std::ostringstream out;
  out << "// Generated by krc from " << sourceName << "; do not edit.\n"
      << "#include <kplatform/kernel32_resource.h>\n\n"
      << "namespace {\n\n"
      << "alignas(8) const unsigned char kResources[" << container.size() << "] = {";
  static const char kHex[] = "0123456789abcdef";
  for (size_t i = 0; i < container.size(); ++i) {
    if (i % 16 == 0) out << "\n   ";
    out << " 0x" << kHex[container[i] >> 4] << kHex[container[i] & 15] << ',';
  }
  out << "\n};\n\n"
      << "struct Registration {\n"
      << "  Registration() { KpRegisterModuleResources(kResources, sizeof kResources); }\n"
      << "  ~Registration() { KpUnregisterModuleResources(kResources); }\n"
      << "} registration;\n\n"
      << "}  // namespace\n";
  return out.str();
}

}  // namespace krc
