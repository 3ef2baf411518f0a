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
#include "user32/dialog_template.h"

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
    if (dialogState_ != DialogState::kNone) return dialogLine(splitPunctuation(tokens));
    statement(tokens, number);
  }

  void finish() {
    if (inStrings_) throw Failure{"STRINGTABLE opened on line " + std::to_string(openedOn_) + " has no END"};
    if (inBytes_) throw Failure{"byte list opened on line " + std::to_string(openedOn_) + " has no '}'"};
    if (dialogState_ != DialogState::kNone)
      throw Failure{"DIALOGEX opened on line " + std::to_string(openedOn_) + " has no END"};
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
    if (keyword == "DEFINE") return define(tokens);
    if (keyword == "DIALOGEX") return dialogHeader(splitPunctuation(tokens), lineNumber);
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


  // ---- DEFINE and DIALOGEX

  enum class DialogState { kNone, kProperties, kControls };

  // Words split further at ',' and '|', which stand as tokens of their own.
  static std::vector<Token> splitPunctuation(const std::vector<Token>& tokens) {
    std::vector<Token> out;
    for (const Token& t : tokens) {
      if (t.kind != TokenKind::kWord) {
        out.push_back(t);
        continue;
      }
      std::string word;
      for (char c : t.text) {
        if (c == ',' || c == '|') {
          if (!word.empty()) out.push_back({TokenKind::kWord, word, {}});
          word.clear();
          out.push_back({TokenKind::kWord, std::string(1, c), {}});
        } else {
          word.push_back(c);
        }
      }
      if (!word.empty()) out.push_back({TokenKind::kWord, word, {}});
    }
    return out;
  }

  static bool isName(const std::string& word) {
    if (word.empty() || !(std::isalpha(static_cast<unsigned char>(word[0])) || word[0] == '_')) return false;
    for (char c : word)
      if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
    return true;
  }

  void define(const std::vector<Token>& tokens) {
    if (tokens.size() != 3 || tokens[1].kind != TokenKind::kWord || !isName(tokens[1].text))
      throw Failure{"expected: DEFINE NAME value"};
    const std::string& name = tokens[1].text;
    if (symbols_.count(name) || styleValue(name)) throw Failure{"'" + name + "' is defined twice"};
    const long value = signedValue(tokens[2]);
    symbols_[name] = value;
    result_.defines.emplace_back(name, value);
  }

  // The window, dialog and control styles a template may name.
  static std::optional<uint32_t> styleValue(const std::string& name) {
    static const std::map<std::string, uint32_t> kStyles = {
        {"WS_OVERLAPPED", 0x00000000}, {"WS_POPUP", 0x80000000}, {"WS_CHILD", 0x40000000},
        {"WS_VISIBLE", 0x10000000}, {"WS_DISABLED", 0x08000000}, {"WS_CAPTION", 0x00C00000},
        {"WS_BORDER", 0x00800000}, {"WS_SYSMENU", 0x00080000}, {"WS_VSCROLL", 0x00200000},
        {"WS_HSCROLL", 0x00100000}, {"WS_GROUP", 0x00020000}, {"WS_TABSTOP", 0x00010000},
        {"WS_EX_CLIENTEDGE", 0x00000200}, {"WS_EX_CONTROLPARENT", 0x00010000},
        {"DS_SETFONT", 0x40}, {"DS_MODALFRAME", 0x80}, {"DS_FIXEDSYS", 0x08}, {"DS_CONTROL", 0x400},
        {"DS_CENTER", 0x800}, {"DS_SHELLFONT", 0x48}, {"DS_3DLOOK", 0x4},
        {"BS_PUSHBUTTON", 0x0}, {"BS_DEFPUSHBUTTON", 0x1}, {"BS_CHECKBOX", 0x2}, {"BS_AUTOCHECKBOX", 0x3},
        {"BS_RADIOBUTTON", 0x4}, {"BS_3STATE", 0x5}, {"BS_AUTO3STATE", 0x6}, {"BS_GROUPBOX", 0x7},
        {"BS_AUTORADIOBUTTON", 0x9}, {"BS_OWNERDRAW", 0xB}, {"BS_NOTIFY", 0x4000}, {"BS_MULTILINE", 0x2000},
        {"ES_LEFT", 0x0}, {"ES_CENTER", 0x1}, {"ES_RIGHT", 0x2}, {"ES_MULTILINE", 0x4}, {"ES_PASSWORD", 0x20},
        {"ES_AUTOHSCROLL", 0x80}, {"ES_READONLY", 0x800}, {"ES_NUMBER", 0x2000},
        {"SS_LEFT", 0x0}, {"SS_CENTER", 0x1}, {"SS_RIGHT", 0x2}, {"SS_ICON", 0x3}, {"SS_BITMAP", 0xE}, {"SS_OWNERDRAW", 0xD},
        {"SS_NOTIFY", 0x100}, {"SS_SUNKEN", 0x1000}, {"SS_ETCHEDHORZ", 0x10},
        {"LBS_NOTIFY", 0x1}, {"LBS_SORT", 0x2}, {"LBS_OWNERDRAWFIXED", 0x10}, {"LBS_OWNERDRAWVARIABLE", 0x20},
        {"LBS_HASSTRINGS", 0x40}, {"LBS_NOINTEGRALHEIGHT", 0x100},
        {"CBS_SIMPLE", 0x1}, {"CBS_DROPDOWN", 0x2}, {"CBS_DROPDOWNLIST", 0x3}, {"CBS_OWNERDRAWFIXED", 0x10},
        {"CBS_OWNERDRAWVARIABLE", 0x20}, {"CBS_AUTOHSCROLL", 0x40}, {"CBS_SORT", 0x100},
        {"CBS_HASSTRINGS", 0x200},
        {"SBS_HORZ", 0x0}, {"SBS_VERT", 0x1},
        {"UDS_WRAP", 0x1}, {"UDS_SETBUDDYINT", 0x2}, {"UDS_ALIGNRIGHT", 0x4}, {"UDS_AUTOBUDDY", 0x10},
        {"UDS_ARROWKEYS", 0x20}, {"UDS_HORZ", 0x40}, {"UDS_NOTHOUSANDS", 0x80},
        {"TBS_HORZ", 0x0}, {"TBS_VERT", 0x2}, {"TBS_AUTOTICKS", 0x1}, {"TBS_BOTH", 0x8},
        {"LVS_REPORT", 0x1}, {"LVS_SINGLESEL", 0x4}, {"LVS_SHOWSELALWAYS", 0x8}, {"LVS_NOCOLUMNHEADER", 0x4000},
        {"TVS_HASBUTTONS", 0x1}, {"TVS_HASLINES", 0x2}, {"TVS_LINESATROOT", 0x4},
        {"TCS_TABS", 0x0},
    };
    auto it = kStyles.find(name);
    if (it == kStyles.end()) return std::nullopt;
    return it->second;
  }

  // A number (decimal, 0x hexadecimal, a leading '-') or a DEFINE's name;
  // also IDOK, IDCANCEL, IDC_STATIC.
  long signedValue(const Token& t) {
    if (t.kind != TokenKind::kWord || t.text.empty()) throw Failure{"expected a number or a name"};
    static const std::map<std::string, long> kBuiltIn = {{"IDOK", 1}, {"IDCANCEL", 2}, {"IDC_STATIC", -1}};
    if (auto it = symbols_.find(t.text); it != symbols_.end()) return it->second;
    if (auto it = kBuiltIn.find(t.text); it != kBuiltIn.end()) return it->second;
    if (isName(t.text)) throw Failure{"'" + t.text + "' is not defined"};
    const bool negative = t.text[0] == '-';
    Token digits = t;
    if (negative) digits.text = t.text.substr(1);
    const long v = static_cast<long>(number(digits, 0, 0xFFFFFFFFu, "number"));
    return negative ? -v : v;
  }

  // A cursor over one line's tokens.
  struct Cursor {
    const std::vector<Token>& tokens;
    size_t at;
    bool more() const { return at < tokens.size(); }
    const Token& next() {
      if (!more()) throw Failure{"the line ends too early"};
      return tokens[at++];
    }
    bool takeComma() {
      if (more() && tokens[at].kind == TokenKind::kWord && tokens[at].text == ",") {
        ++at;
        return true;
      }
      return false;
    }
    void comma() {
      if (!takeComma()) throw Failure{"expected ','"};
    }
  };

  int16_t coordinate(Cursor& c) {
    const long v = signedValue(c.next());
    if (v < -32768 || v > 32767) throw Failure{"a position or size is out of range -32768..32767"};
    return static_cast<int16_t>(v);
  }

  // style := term ('|' term)*, term := [NOT] (number | name); `base` holds
  // the defaults that NOT may take away.
  uint32_t styleExpression(Cursor& c, uint32_t base) {
    uint32_t value = base;
    for (;;) {
      const Token& t = c.next();
      bool negate = false;
      const Token* term = &t;
      if (t.kind == TokenKind::kWord && upper(t.text) == "NOT") {
        negate = true;
        term = &c.next();
      }
      uint32_t bits;
      if (term->kind == TokenKind::kWord && styleValue(term->text)) {
        bits = *styleValue(term->text);
      } else {
        bits = static_cast<uint32_t>(signedValue(*term));
      }
      value = negate ? (value & ~bits) : (value | bits);
      if (!(c.more() && c.tokens[c.at].kind == TokenKind::kWord && c.tokens[c.at].text == "|")) return value;
      ++c.at;
    }
  }

  std::u16string quoted(Cursor& c, const char* what) {
    const Token& t = c.next();
    if (t.kind != TokenKind::kString) throw Failure{std::string("expected ") + what + " in quotes"};
    return t.string;
  }

  void dialogHeader(const std::vector<Token>& tokens, size_t lineNumber) {
    Cursor c{tokens, 1};
    const long id = signedValue(c.next());
    if (id < 1 || id > 0xFFFF) throw Failure{"resource id out of range 1..65535"};
    if (!seen_.insert({uint16_t{5}, static_cast<uint16_t>(id)}).second)
      throw Failure{"resource DIALOG " + std::to_string(id) + " is defined twice"};
    dialog_ = kp::user32::DialogTemplate{};
    dialogId_ = static_cast<uint16_t>(id);
    dialog_.x = coordinate(c);
    c.comma();
    dialog_.y = coordinate(c);
    c.comma();
    dialog_.cx = coordinate(c);
    c.comma();
    dialog_.cy = coordinate(c);
    if (c.more()) throw Failure{"unexpected text after the dialog's size"};
    dialog_.style = 0x80000000u | 0x00800000u | 0x00080000u;  // WS_POPUP | WS_BORDER | WS_SYSMENU
    dialogState_ = DialogState::kProperties;
    openedOn_ = lineNumber;
  }

  void dialogLine(const std::vector<Token>& tokens) {
    const Token& first = tokens[0];
    if (first.kind != TokenKind::kWord) throw Failure{"a dialog line begins with a keyword"};
    const std::string keyword = upper(first.text);
    Cursor c{tokens, 1};
    if (dialogState_ == DialogState::kProperties) {
      if (keyword == "STYLE") {
        dialog_.style = styleExpression(c, 0) | (dialog_.style & 0x40u);
      } else if (keyword == "EXSTYLE") {
        dialog_.exStyle = styleExpression(c, 0);
      } else if (keyword == "CAPTION") {
        dialog_.title = quoted(c, "the caption");
      } else if (keyword == "HELPID") {
        dialog_.helpId = static_cast<uint32_t>(signedValue(c.next()));
      } else if (keyword == "FONT") {
        const long size = signedValue(c.next());
        c.comma();
        dialog_.typeface = quoted(c, "the typeface");
        dialog_.pointSize = static_cast<uint16_t>(size);
        dialog_.weight = 0;
        if (c.takeComma()) dialog_.weight = static_cast<uint16_t>(signedValue(c.next()));
        if (c.takeComma()) dialog_.italic = static_cast<uint8_t>(signedValue(c.next()));
        if (c.takeComma()) dialog_.charset = static_cast<uint8_t>(signedValue(c.next()));
        dialog_.style |= 0x40u;  // DS_SETFONT: the font fields are written
      } else if (keyword == "BEGIN") {
        if (tokens.size() != 1) throw Failure{"BEGIN stands alone on its line"};
        dialogState_ = DialogState::kControls;
        controlIds_.clear();
        return;
      } else {
        throw Failure{"unknown dialog property '" + first.text + "'"};
      }
      if (c.more()) throw Failure{"unexpected text after " + keyword};
      return;
    }
    if (keyword == "END") {
      if (tokens.size() != 1) throw Failure{"END stands alone on its line"};
      finishDialog();
      return;
    }
    control(keyword, c);
    if (c.more()) throw Failure{"unexpected text after the control"};
  }

  void control(const std::string& keyword, Cursor& c) {
    constexpr uint32_t kChildVisible = 0x40000000u | 0x10000000u;  // WS_CHILD | WS_VISIBLE
    constexpr uint32_t kTabStop = 0x00010000u, kGroup = 0x00020000u, kBorder = 0x00800000u;
    // keyword -> class ordinal (0: a class name follows), default style, text first?
    struct Shape {
      uint16_t ordinal;
      uint32_t style;
      bool text;
    };
    static const std::map<std::string, Shape> kShapes = {
        {"LTEXT", {0x82, 0x0 | kGroup, true}},       {"RTEXT", {0x82, 0x2 | kGroup, true}},
        {"CTEXT", {0x82, 0x1 | kGroup, true}},       {"PUSHBUTTON", {0x80, 0x0 | kTabStop, true}},
        {"DEFPUSHBUTTON", {0x80, 0x1 | kTabStop, true}}, {"AUTOCHECKBOX", {0x80, 0x3 | kTabStop, true}},
        {"CHECKBOX", {0x80, 0x2 | kTabStop, true}},  {"AUTORADIOBUTTON", {0x80, 0x9, true}},
        {"RADIOBUTTON", {0x80, 0x4, true}},          {"GROUPBOX", {0x80, 0x7, true}},
        {"EDITTEXT", {0x81, kBorder | kTabStop, false}}, {"COMBOBOX", {0x85, kTabStop, false}},
        {"LISTBOX", {0x83, 0x1 | kBorder | kTabStop, false}}, {"SCROLLBAR", {0x84, 0x0, false}},
        {"ICON", {0x82, 0x3, true}},
    };
    kp::user32::TemplateItem item;
    if (keyword == "CONTROL") {
      // CONTROL "text", id, "class", style, x, y, cx, cy [, exstyle [, helpid]]
      const Token& text = c.next();
      if (text.kind == TokenKind::kString) {
        item.title.name = text.string;
      } else {
        item.title.ordinal = static_cast<uint16_t>(signedValue(text));
      }
      c.comma();
      item.id = static_cast<uint32_t>(signedValue(c.next()));
      c.comma();
      const std::u16string className = quoted(c, "the class");
      static const char16_t* const kOrdinals[] = {u"BUTTON", u"EDIT", u"STATIC", u"LISTBOX", u"SCROLLBAR",
                                                  u"COMBOBOX"};
      std::u16string folded;
      for (char16_t ch : className) folded.push_back(ch >= u'a' && ch <= u'z' ? static_cast<char16_t>(ch - 32) : ch);
      for (uint16_t k = 0; k < 6; ++k)
        if (folded == kOrdinals[k]) item.windowClass.ordinal = static_cast<uint16_t>(0x80 + k);
      if (!item.windowClass.ordinal) item.windowClass.name = className;
      if (className.empty()) throw Failure{"a control's class is empty"};
      c.comma();
      item.style = styleExpression(c, kChildVisible);
      c.comma();
      position(c, item);
      if (c.takeComma()) item.exStyle = styleExpression(c, 0);
      if (c.takeComma()) item.helpId = static_cast<uint32_t>(signedValue(c.next()));
    } else {
      auto it = kShapes.find(keyword);
      if (it == kShapes.end()) throw Failure{"unknown control '" + keyword + "'"};
      const Shape& shape = it->second;
      item.windowClass.ordinal = shape.ordinal;
      if (shape.text) {
        const Token& text = c.next();
        if (text.kind == TokenKind::kString) {
          item.title.name = text.string;
        } else {
          item.title.ordinal = static_cast<uint16_t>(signedValue(text));  // an icon's resource id
        }
        c.comma();
      }
      item.id = static_cast<uint32_t>(signedValue(c.next()));
      c.comma();
      if (keyword == "ICON") {
        item.x = coordinate(c);
        c.comma();
        item.y = coordinate(c);
        item.cx = item.cy = 0;
        if (c.takeComma()) {
          item.cx = coordinate(c);
          c.comma();
          item.cy = coordinate(c);
        }
      } else {
        position(c, item);
      }
      item.style = kChildVisible | shape.style;
      if (c.takeComma()) item.style = styleExpression(c, item.style);
      if (c.takeComma()) item.exStyle = styleExpression(c, 0);
    }
    const long id = static_cast<int32_t>(item.id);
    if (id != -1 && id != 0xFFFF && !controlIds_.insert(id).second)
      throw Failure{"control id " + std::to_string(id) + " is used twice in the dialog"};
    dialog_.items.push_back(std::move(item));
  }

  void position(Cursor& c, kp::user32::TemplateItem& item) {
    item.x = coordinate(c);
    c.comma();
    item.y = coordinate(c);
    c.comma();
    item.cx = coordinate(c);
    c.comma();
    item.cy = coordinate(c);
  }

  void finishDialog() {
    if (dialog_.items.size() > 0xFFFF) throw Failure{"a dialog has more than 65535 controls"};
    std::vector<uint8_t> bytes = kp::user32::WriteDialogTemplate(dialog_);
    // The container's check of what it carries: the template reads back whole.
    kp::user32::DialogTemplate back;
    std::string why;
    if (!kp::user32::ParseDialogTemplate(bytes.data(), bytes.size(), &back, &why) ||
        back.items.size() != dialog_.items.size())
      throw Failure{"the dialog's template does not read back: " + why};
    items_.push_back({uint16_t{5}, dialogId_, std::move(bytes)});
    dialogState_ = DialogState::kNone;
  }

  std::map<std::string, long> symbols_;
  DialogState dialogState_ = DialogState::kNone;
  kp::user32::DialogTemplate dialog_;
  uint16_t dialogId_ = 0;
  std::set<long> controlIds_;

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

std::string EmitHeader(const Result& result, const std::string& sourceName) {
  std::ostringstream out;
  out << "// Generated by krc from " << sourceName << "; do not edit.\n"
      << "// The template, control and string ids the resources and the code share.\n"
      << "#pragma once\n\n";
  for (const auto& [name, value] : result.defines) out << "#define " << name << " (" << value << ")\n";
  return out.str();
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
