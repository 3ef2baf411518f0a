// Encoder of the device fonts (category 11) and their metrics data.
#include <array>
#include <map>

#include "compiler.h"

namespace kestrel::dddc {

namespace {

// Font metrics data (kept whole in the Font record):
//   0 32-bit size; 4 16-bit layout version 1; 6 reserved 32 bits;
//   10 aspect y, 12 aspect x, 14 ascent, 16 descent line, 18 line spacing
//   (16-bit each); 20 italic, 21 underline, 22 strike-out (bytes);
//   23 weight (16-bit); 25 character set; 30 pitch (low nibble, 0 fixed)
//   and family (high nibble); 31 average width, 33 maximum width (16-bit);
//   35 first, 36 last character; 37 default, 38 break character (both
//   counted from the first); the 32-bit offsets below count from byte 6:
//   45 face name (8-bit, NUL, then the family name, NUL), 59 thirteen 32-bit
//   metric values, 63 16-bit widths of the characters first..last, 67 the
//   extended width block (0: none), 71 kerning pairs (16-bit count, then
//   {first byte, second byte, 16-bit amount}), 79 the font id (hexadecimal
//   text, NUL). The variable parts follow from byte 83.
std::vector<uint8_t> Xfm(const std::map<std::string, int64_t>& n, const std::string& face, const std::string& family,
                         const std::vector<int>& widths, const std::vector<std::array<int, 3>>& kern,
                         const std::string& fontId, const std::array<uint32_t, 13>& m) {
  Bytes b;
  b.Zeros(83);
  auto put16 = [&](size_t at, int64_t v) {
    b.b[at] = static_cast<uint8_t>(v);
    b.b[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  auto put8 = [&](size_t at, int64_t v) { b.b[at] = static_cast<uint8_t>(v); };
  put16(4, 1);
  put16(10, n.at("aspecty"));
  put16(12, n.at("aspectx"));
  put16(14, n.at("ascent"));
  put16(16, n.at("descent"));
  put16(18, n.at("linespacing"));
  put8(20, n.at("italic"));
  put8(21, n.at("underlined"));
  put8(22, n.at("struckout"));
  put16(23, n.at("weight"));
  put8(25, n.at("charset"));
  put8(30, n.at("pitchfamily"));
  put16(31, n.at("avgwidth"));
  put16(33, n.at("maxwidth"));
  put8(35, n.at("first"));
  put8(36, n.at("last"));
  put8(37, n.at("defaultchar"));
  put8(38, n.at("breakchar"));
  b.Put32At(45, static_cast<uint32_t>(b.size() - 6));
  for (char c : face) b.U8(static_cast<uint8_t>(c));
  b.U8(0);
  for (char c : family) b.U8(static_cast<uint8_t>(c));
  b.U8(0);
  b.Put32At(59, static_cast<uint32_t>(b.size() - 6));
  for (uint32_t v : m) b.U32(v);
  b.Put32At(63, static_cast<uint32_t>(b.size() - 6));
  for (int w : widths) b.U16(static_cast<uint32_t>(w));
  b.Put32At(71, static_cast<uint32_t>(b.size() - 6));
  b.U16(static_cast<uint32_t>(kern.size()));
  for (const auto& k : kern) {
    b.U8(static_cast<uint32_t>(k[0]));
    b.U8(static_cast<uint32_t>(k[1]));
    b.U16(static_cast<uint32_t>(k[2] & 0xFFFF));
  }
  b.Put32At(79, static_cast<uint32_t>(b.size() - 6));
  for (char c : fontId) b.U8(static_cast<uint8_t>(c));
  b.U8(0);
  b.Put32At(0, static_cast<uint32_t>(b.size()));
  return b.b;
}

}  // namespace

void Compiler::EncodeFont(Rec* r) {
  const Section& s = *r->sec;
  static const char* const kNums[] = {"aspecty",  "aspectx",  "ascent",     "descent",   "linespacing",
                                      "italic",   "underlined", "struckout", "weight",    "charset",
                                      "avgwidth", "maxwidth", "first",      "last",      "defaultchar",
                                      "breakchar", "capheight", "xheight",  "lowestppem", "italicangle",
                                      "underline", "strikeout", "subscript", "superscript", "suboffset",
                                      "superoffset", "strikepos"};
  FieldSet f(s, d_,
             {"id", "name", "name2", "subst", "subst2", "pitch", "family", "facename", "familyname", "fontid",
              "flag", "printer_name", "symbol_set", "file", "aspecty", "aspectx", "ascent", "descent",
              "linespacing", "italic", "underlined", "struckout", "weight", "charset", "avgwidth", "maxwidth",
              "first", "last", "defaultchar", "breakchar", "capheight", "xheight", "lowestppem", "italicangle",
              "underline", "strikeout", "subscript", "superscript", "suboffset", "superoffset", "strikepos"},
             {"kern", "widths"});
  Bytes b = Start(r);
  PutString(b, f.One("name"), 1, true, s.loc, "name");
  PutString(b, f.One("name2"), 1, false, s.loc, "name2");
  auto nameList = [&](const char* key) {
    const SrcLine* l = f.One(key);
    std::vector<Bytes> bodies;
    if (l != nullptr) {
      for (size_t i = 1; i < l->toks.size(); ++i) {
        Bytes one;
        PutStringTok(one, l->loc, l->toks[i]);
        bodies.push_back(one);
      }
    }
    b.U16(static_cast<uint32_t>(bodies.size()));
    for (const Bytes& one : bodies) b.Raw({one.b.begin(), one.b.begin() + 2});
    for (const Bytes& one : bodies) b.Raw({one.b.begin() + 2, one.b.end()});
  };
  nameList("subst");
  nameList("subst2");
  b.U16(0);  // the block the reader skips: empty

  std::map<std::string, int64_t> n;
  const std::map<std::string, std::pair<int64_t, int64_t>> defaults = {
      {"aspecty", {300, 0xFFFF}}, {"aspectx", {300, 0xFFFF}}, {"italic", {0, 1}}, {"underlined", {0, 1}},
      {"struckout", {0, 1}},      {"weight", {400, 1000}},    {"charset", {0, 255}}, {"first", {32, 255}},
      {"last", {255, 255}},       {"defaultchar", {0, 255}},  {"breakchar", {0, 255}}, {"lowestppem", {3, 0xFFFF}},
      {"italicangle", {0, 0xFFFF}}, {"subscript", {0, 0xFFFF}}, {"superscript", {0, 0xFFFF}},
      {"suboffset", {0, 0xFFFF}}, {"superoffset", {0, 0xFFFF}}, {"capheight", {0, 0xFFFF}},
      {"xheight", {0, 0xFFFF}},   {"underline", {0, 0xFFFF}}, {"strikeout", {0, 0xFFFF}},
      {"ascent", {0, 0xFFFF}},    {"descent", {0, 0xFFFF}},   {"linespacing", {0, 0xFFFF}},
      {"avgwidth", {0, 0xFFFF}},  {"maxwidth", {0, 0xFFFF}}, {"strikepos", {0, 0x370}}};
  for (const char* k : kNums) {
    auto d = defaults.at(k);
    bool required = std::string(k) == "ascent" || std::string(k) == "descent" || std::string(k) == "maxwidth";
    n[k] = NumField(f, k, 0, d.second, d.first, required, &s.loc);
  }
  if (n["last"] < n["first"]) d_->Error(s.loc, "the last character lies before the first");
  int pitch = 0, family = 0;
  if (const SrcLine* l = f.One("pitch")) {
    std::string v = l->toks.size() == 2 ? l->toks[1].text : "";
    if (v == "fixed") pitch = 0;
    else if (v == "variable") pitch = 2;
    else d_->Error(l->loc, "pitch is fixed or variable");
  }
  if (const SrcLine* l = f.One("family")) {
    static const std::map<std::string, int> fam = {{"dontcare", 0}, {"roman", 1}, {"swiss", 2},
                                                   {"modern", 3},   {"script", 4}, {"decorative", 5}};
    std::string v = l->toks.size() == 2 ? l->toks[1].text : "";
    if (fam.count(v) == 0) d_->Error(l->loc, "family is dontcare, roman, swiss, modern, script or decorative");
    else family = fam.at(v);
  }
  n["pitchfamily"] = pitch | (family << 4);
  int count = static_cast<int>(n["last"] - n["first"] + 1);
  std::vector<int> widths;
  // Several `widths` lines continue one list, in their order.
  for (const SrcLine* l : f.All("widths")) {
    for (size_t i = 1; i < l->toks.size(); ++i) {
      int64_t w = 0;
      if (Num(*l, i, 0, 0xFFFF, &w, "width")) widths.push_back(static_cast<int>(w));
    }
    if (static_cast<int>(widths.size()) > count) {
      d_->Error(l->loc, "more widths than characters");
      break;
    }
  }
  // Characters the list leaves out take the average width.
  while (static_cast<int>(widths.size()) < count) widths.push_back(static_cast<int>(n["avgwidth"]));
  std::vector<std::array<int, 3>> kern;
  for (const SrcLine* l : f.All("kern")) {
    int64_t a = 0, c = 0, amount = 0;
    Arity(*l, 4);
    if (Num(*l, 1, 0, 255, &a, "character") && Num(*l, 2, 0, 255, &c, "character") &&
        Num(*l, 3, -32768, 32767, &amount, "kerning amount")) {
      kern.push_back({static_cast<int>(a), static_cast<int>(c), static_cast<int>(amount)});
    }
  }
  auto text = [&](const char* key, bool required) {
    const SrcLine* l = f.One(key);
    if (l == nullptr || l->toks.size() != 2 || l->toks[1].kind != TokKind::String) {
      if (required || l != nullptr) d_->Error(l != nullptr ? l->loc : s.loc, std::string("'") + key + "' needs one quoted text");
      return std::string();
    }
    std::vector<uint8_t> ansi;
    AnsiText(l->loc, l->toks[1].text, &ansi);
    return std::string(ansi.begin(), ansi.end());
  };
  std::string face = text("facename", true), familyName = text("familyname", true), fontId = text("fontid", true);
  if (fontId.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos || fontId.empty()) {
    d_->Error(s.loc, "the font id is a hexadecimal text");
  }
  auto hl = [&](const char* hi, const char* lo) {
    return static_cast<uint32_t>((n[hi] & 0xFFFF) << 16 | (n[lo] & 0xFFFF));
  };
  std::array<uint32_t, 13> m = {0,
                                0,
                                static_cast<uint32_t>(n["lowestppem"] & 0xFFFF),
                                static_cast<uint32_t>((n["capheight"] & 0xFFFF) << 16),
                                0,
                                static_cast<uint32_t>((n["italicangle"] & 0xFFFF) << 16),
                                hl("suboffset", "superoffset"),
                                hl("subscript", "superscript"),
                                static_cast<uint32_t>((n["underline"] & 0xFFFF) << 16),
                                0,
                                0,
                                static_cast<uint32_t>((n["strikeout"] & 0xFFFF) << 16),
                                0};
  // m[4]: twice the strike-out position (the renderer halves it) in the
  // high half, the x height in the low half.
  int64_t strikePos = n["strikepos"] != 0 ? n["strikepos"] : n["xheight"] / 2;
  m[4] = static_cast<uint32_t>(((strikePos * 2) & 0xFFFF) << 16 | (n["xheight"] & 0xFFFF));
  std::vector<uint8_t> xfm = Xfm(n, face, familyName, widths, kern, fontId, m);
  b.U32(static_cast<uint32_t>(xfm.size()));
  b.Raw(xfm);
  b.U16(static_cast<uint32_t>(NumField(f, "flag", 0, 0xFFFF, 0)));
  if (fmtPacked_ >= 1024) {
    // Extra values: 1 the printer's font name (at most 16 characters), 2 the
    // symbol set.
    std::vector<Value> extra;
    if (const SrcLine* l = f.One("printer_name")) {
      Value v;
      std::vector<uint8_t> key;
      if (l->toks.size() == 2 && ScalarBytes(l->loc, 6, 0, l->toks[1], &key)) {
        if (key.size() > 16) d_->Error(l->loc, "the printer's font name holds at most 16 characters");
        if (MakeScalar(l->loc, 6, 0, key, &v)) extra.push_back(v);
      } else {
        d_->Error(l->loc, "'printer_name' needs one quoted text");
      }
      Value ss;
      ss.type = 3;
      ss.size = 2;
      int64_t sym = NumField(f, "symbol_set", 0, 0xFFFF, 590);
      ss.payload = {static_cast<uint8_t>(sym), static_cast<uint8_t>(sym >> 8)};
      extra.push_back(ss);
    } else if (f.One("symbol_set") != nullptr) {
      d_->Error(f.One("symbol_set")->loc, "'symbol_set' comes with 'printer_name'");
    }
    b.U16(static_cast<uint32_t>(extra.size()));
    for (const Value& v : extra) PutValue(b, v);
  } else {
    Gate(f.One("printer_name"), 1024);
    Gate(f.One("symbol_set"), 1024);
  }
  Finish(r, b);
}

}  // namespace kestrel::dddc
