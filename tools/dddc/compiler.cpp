// The dddc compiler: resolves a read source into records, checks the
// invariants the readers rely on, and lays out the main and referenced files.
//
// File layout written (both files of a pair):
//   0    224-byte header
//   224  PrinterInfo items 0-41 (item 0: offset of the category table from 228)
//        category table: 32-bit byte length of what follows, 16-bit count 21,
//        21 entries {8-bit 0, 16-bit category, 32-bit offset of its table}
//        21 data-offset tables, in category-table order: 32-bit byte length of
//        what follows, 16-bit count, entries {8-bit location, 16-bit id,
//        32-bit offset}
//        the records of this file, category by category
// Both files carry the same PrinterInfo and the same data-offset tables (the
// entries name the file a record lies in, 2 main or 1 referenced), so a
// lookup answers alike whichever file's table it searches. The referenced
// file's header leaves the referenced-file name empty.
#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <set>

#include "dddc.h"
#include "encode.h"
#include "member_check.h"
#include "source.h"

namespace kestrel::dddc {

namespace {

// Category-table order of the categories.
constexpr int kCatOrder[21] = {3, 4, 5, 6, 17, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 19, 20, 21, 22, 23};

// PrinterInfo item table: element count (0 = the item holds its own 16-bit
// count) and element size (0 = each element is a String).
struct InfoDef {
  int count;
  int size;
};
constexpr InfoDef kInfo[42] = {
    {1, 4}, {1, 2}, {1, 4}, {0, 2}, {1, 2}, {1, 1}, {1, 4}, {1, 1}, {1, 4}, {1, 4}, {1, 2}, {1, 4}, {1, 4}, {1, 0},
    {0, 1}, {1, 4}, {1, 2}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 1}, {1, 2}, {1, 2}, {1, 4}, {0, 2},
    {0, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {0, 2}, {0, 0}, {0, 0}, {1, 0}, {1, 0}, {0, 4}, {1, 2}, {1, 2}};

// The EJCL header writer sizes its buffer from PrinterInfo item 2: the bytes
// the command records can produce. The compiler counts, per record, three
// bytes per stored character of command and argument (a character of code
// page 1252 takes at most three bytes of UTF-8), two quotes and the line end,
// and for a record with a hint id room for the value the hint writes.
constexpr uint32_t kHintValueBound = 768;

struct KindInfo {
  const char* name;
  int cat;  // 0 for option/item (3/4, 13/14 chosen by id)
};
constexpr KindInfo kKinds[] = {{"option", 0},      {"item", 0},       {"tray", 5},       {"outbin", 6},
                               {"constraint", 7},  {"constraint2", 8}, {"imcondition", 9}, {"paper", 10},
                               {"font", 11},       {"image", 12},     {"ejcl", 15},      {"nrv", 16},
                               {"size", 17},       {"icon", 18},      {"papertype", 19}, {"group", 20},
                               {"favorite", 21},   {"adcquery", 22},  {"trayindex", 23}};

int CatOfKind(const std::string& kind) {
  for (const auto& k : kKinds) {
    if (kind == k.name) return k.cat;
  }
  return -1;
}

// The category a DDM id's option lives in, and the data id it is found by.
// 0 when no option of that id can ever be found by its DDM id.
int OptionCategory(int ddm, int* dataId) {
  *dataId = ddm;
  if (ddm == 4129) return 4;
  if (ddm >= 4097 && ddm <= 4362) return 3;
  if (ddm == 1 || ddm == 259 || ddm == 32769 || ddm == 32770 || ddm == 32771 || ddm == 32779) return 0;
  if (ddm >= 274 && ddm <= 285) {
    int base = ddm < 278 ? 274 : ddm < 282 ? 278 : 282;
    *dataId = base;
    return 4;
  }
  return 4;
}

struct TypeName {
  const char* name;
  int type;
  int size;  // natural stored size; 0 = by content
};
constexpr TypeName kTypes[] = {{"bool", 1, 4}, {"i16", 2, 2}, {"u16", 3, 2}, {"i32", 4, 4}, {"u32", 5, 4},
                               {"str", 6, 0},  {"u8", 8, 1},  {"bin", 9, 0}, {"long", 10, 4}};

const TypeName* FindType(const std::string& n) {
  for (const auto& t : kTypes) {
    if (n == t.name) return &t;
  }
  return nullptr;
}

// A devmode value as stored: type, size, payload; `count` is the number of
// values it carries (1, the element count of a grouped value, 0 for none);
// `keys` the values for matching against option items.
struct Value {
  int type = 0;
  int size = 0;
  std::vector<uint8_t> payload;
  int count = 0;
  std::vector<std::vector<uint8_t>> keys;
};

struct Rec {
  std::string kind;
  int cat = 0;
  std::string sym;
  Loc loc;
  int id = 0;
  bool explicitId = false;
  bool inRef = false;
  const Section* sec = nullptr;
  // option
  int vtype = 0, vsize = 0;
  bool fitsMember = false;  // the declared value fits the member of the DDM id
  MemberInfo member;
  std::vector<Rec*> items;
  std::vector<int> rules7, rules8;
  // item
  Rec* option = nullptr;
  std::vector<uint8_t> key;
  // group
  int gType = 0, gSize = 0;
  std::vector<std::vector<uint8_t>> gElems;
  // size
  int w1 = 0, l1 = 0, w2 = 0, l2 = 0;
  // constraint: the target ITEM, encoded once when the rule lists are made
  Bytes target;
  bool haveTarget = false;
  Bytes bytes;
  uint32_t offset = 0;
};

class FieldSet {
 public:
  FieldSet(const Section& s, Diags* d, std::initializer_list<const char*> singles,
           std::initializer_list<const char*> multis = {})
  {
    for (const char* k : singles) singles_.insert(k);
    for (const char* k : multis) multis_.insert(k);
    for (const SrcLine& l : s.fields) {
      const std::string& k = l.key();
      if (singles_.count(k) == 0 && multis_.count(k) == 0) {
        d->Error(l.loc, "unknown field '" + k + "' in " + s.kind + " " + s.sym);
        continue;
      }
      if (singles_.count(k) != 0 && !m_[k].empty()) {
        d->Error(l.loc, "field '" + k + "' given twice");
        continue;
      }
      m_[k].push_back(&l);
    }
  }
  const SrcLine* One(const std::string& k) const {
    auto it = m_.find(k);
    return it == m_.end() || it->second.empty() ? nullptr : it->second[0];
  }
  std::vector<const SrcLine*> All(const std::string& k) const {
    auto it = m_.find(k);
    return it == m_.end() ? std::vector<const SrcLine*>() : it->second;
  }

 private:
  std::set<std::string> singles_, multis_;
  std::map<std::string, std::vector<const SrcLine*>> m_;
};

class Compiler {
 public:
  explicit Compiler(Diags* d) : d_(d) {}
  void Run(const Source& src, Output* out);

 private:
  Diags* d_;
  std::string headerText_, versionStr_, modelName_, refName_;
  uint8_t fmt_[4] = {0, 0, 0, 0};
  int64_t fmtPacked_ = 0;
  Loc globalsLoc_;
  std::map<int, const SrcLine*> info_;
  std::deque<Rec> recs_;
  std::map<std::string, std::map<std::string, Rec*>> syms_;
  std::map<int, std::vector<Rec*>> byCat_;
  std::map<int, int> nextId_;
  std::map<std::string, Rec*> anonSizes_;
  uint32_t ejclBound_ = 0;

  // --- small helpers ---
  bool Num(const SrcLine& l, size_t i, int64_t lo, int64_t hi, int64_t* v, const char* what) {
    if (i >= l.toks.size() || l.toks[i].kind != TokKind::Number) {
      d_->Error(l.loc, std::string("'") + l.key() + "' needs a number for " + what);
      return false;
    }
    int64_t n = l.toks[i].number;
    if (n < lo || n > hi) {
      d_->Error(l.loc, std::string(what) + " " + std::to_string(n) + " lies outside " + std::to_string(lo) + ".." +
                           std::to_string(hi));
      return false;
    }
    *v = n;
    return true;
  }
  void Arity(const SrcLine& l, size_t n) {
    if (l.toks.size() != n) d_->Error(l.loc, "'" + l.key() + "' takes " + std::to_string(n - 1) + " value(s)");
  }
  int64_t NumField(const FieldSet& f, const char* key, int64_t lo, int64_t hi, int64_t dflt, bool required = false,
                   const Loc* secLoc = nullptr) {
    const SrcLine* l = f.One(key);
    if (l == nullptr) {
      if (required) d_->Error(*secLoc, std::string("missing field '") + key + "'");
      return dflt;
    }
    Arity(*l, 2);
    int64_t v = dflt;
    Num(*l, 1, lo, hi, &v, key);
    return v;
  }
  bool Gate(const SrcLine* l, int64_t version) {
    if (l != nullptr && fmtPacked_ < version) {
      d_->Error(l->loc, "field '" + l->key() + "' needs format version " + std::to_string(version) + " or later");
      return false;
    }
    return true;
  }

  bool AnsiText(const Loc& loc, const std::string& utf8, std::vector<uint8_t>* ansi) {
    std::string bad;
    if (!ToCp1252(utf8, ansi, &bad)) {
      d_->Error(loc, "text \"" + utf8 + "\": " + bad);
      return false;
    }
    return true;
  }

  // Stored bytes of a String body. A text whose last character is 0xFF
  // would be stored ending in 0 and could be taken for an external-string
  // reference: refused.
  bool StringBody(const Loc& loc, const std::string& utf8, std::vector<uint8_t>* body) {
    std::vector<uint8_t> ansi;
    if (!AnsiText(loc, utf8, &ansi)) return false;
    if (!ansi.empty() && ansi.back() == 0xFF) {
      d_->Error(loc, "text \"" + utf8 + "\" ends in character 0xFF and would read as an external-string reference");
      return false;
    }
    if (std::find(ansi.begin(), ansi.end(), 0) != ansi.end()) {
      d_->Error(loc, "text \"" + utf8 + "\" holds a NUL character");
      return false;
    }
    if (ansi.size() > 60000) {
      d_->Error(loc, "text too long");
      return false;
    }
    *body = Complement(ansi);
    return true;
  }

  // A String field at toks[i...]: "text", optionally followed by
  // `res <selector> <string id>` for an external string whose fallback is
  // the text.
  void PutString(Bytes& out, const SrcLine* l, size_t i, bool required, const Loc& secLoc, const char* what) {
    if (l == nullptr) {
      if (required) d_->Error(secLoc, std::string("missing field '") + what + "'");
      out.U16(0);
      return;
    }
    if (i >= l->toks.size() || l->toks[i].kind != TokKind::String) {
      d_->Error(l->loc, std::string("'") + l->key() + "' needs a quoted text");
      out.U16(0);
      return;
    }
    std::vector<uint8_t> body;
    if (!StringBody(l->loc, l->toks[i].text, &body)) {
      out.U16(0);
      return;
    }
    if (l->toks.size() == i + 1) {
      out.U16(static_cast<uint32_t>(body.size()));
      out.Raw(body);
      return;
    }
    int64_t sel = 0, sid = 0;
    if (l->toks.size() != i + 4 || l->toks[i + 1].kind != TokKind::Word || l->toks[i + 1].text != "res" ||
        !Num(*l, i + 2, 1, 0xFFFF, &sel, "library selector") || !Num(*l, i + 3, 1, 0xFFFF, &sid, "string id")) {
      if (l->toks.size() != i + 4) d_->Error(l->loc, "an external string is written: \"fallback\" res <selector> <id>");
      out.U16(0);
      return;
    }
    if (body.empty()) {
      d_->Error(l->loc, "an external string needs a fallback text");
      out.U16(0);
      return;
    }
    out.U16(static_cast<uint32_t>(body.size() + 5));
    out.Raw(body);
    out.U16(static_cast<uint32_t>(sel));
    out.U16(static_cast<uint32_t>(sid));
    out.U8(0);
  }
  void PutStringTok(Bytes& out, const Loc& loc, const Tok& t) {
    if (t.kind != TokKind::String) {
      d_->Error(loc, "a quoted text is needed");
      out.U16(0);
      return;
    }
    std::vector<uint8_t> body;
    if (!StringBody(loc, t.text, &body)) body.clear();
    out.U16(static_cast<uint32_t>(body.size()));
    out.Raw(body);
  }

  Rec* NewRec(const std::string& kind, int cat, const std::string& sym, const Loc& loc) {
    recs_.emplace_back();
    Rec* r = &recs_.back();
    r->kind = kind;
    r->cat = cat;
    r->sym = sym;
    r->loc = loc;
    if (!sym.empty()) {
      auto& m = syms_[kind];
      if (m.count(sym) != 0) {
        d_->Error(loc, kind + " '" + sym + "' is defined twice (first at " + m[sym]->loc.file + ":" +
                           std::to_string(m[sym]->loc.line) + ")");
      } else {
        m[sym] = r;
      }
    }
    return r;
  }
  void Place(Rec* r) { byCat_[r->cat].push_back(r); }
  int NextId(int cat) {
    int& n = nextId_[cat];
    if (n == 0) n = 1;
    return n++;
  }

  Rec* Lookup(const Loc& loc, const Tok& t, const std::string& wantKind) {
    if (t.kind != TokKind::Ref) {
      d_->Error(loc, "a reference @" + wantKind + ":<symbol> is needed");
      return nullptr;
    }
    if (!wantKind.empty() && t.refKind != wantKind) {
      d_->Error(loc, "reference " + t.text + " should name a " + wantKind);
      return nullptr;
    }
    auto it = syms_.find(t.refKind);
    if (it == syms_.end() || it->second.count(t.refSym) == 0) {
      d_->Error(loc, "reference " + t.text + " names nothing");
      return nullptr;
    }
    return it->second[t.refSym];
  }
  Rec* FindById(int cat, int id) {
    for (Rec* r : byCat_[cat]) {
      if (r->id == id) return r;
    }
    return nullptr;
  }
  // An ID field: a reference of the wanted kind, or a number naming an
  // existing record of the category (0 allowed when `zeroOk`).
  int RefId(const Loc& loc, const Tok& t, const std::string& kind, bool zeroOk) {
    if (t.kind == TokKind::Number) {
      if (t.number == 0 && zeroOk) return 0;
      int cat = CatOfKind(kind);
      if (t.number < 1 || t.number > 0xFFFF || (cat > 0 && FindById(cat, static_cast<int>(t.number)) == nullptr)) {
        d_->Error(loc, "no " + kind + " has id " + std::to_string(t.number));
        return 0;
      }
      return static_cast<int>(t.number);
    }
    Rec* r = Lookup(loc, t, kind);
    return r == nullptr ? 0 : r->id;
  }

  // --- values ---
  bool ScalarBytes(const Loc& loc, int type, int size, const Tok& t, std::vector<uint8_t>* key) {
    key->clear();
    if (type == 6) {
      if (t.kind != TokKind::String) {
        d_->Error(loc, "a string value is written as a quoted text");
        return false;
      }
      std::vector<uint8_t> ansi;
      if (!AnsiText(loc, t.text, &ansi)) return false;
      *key = ansi;
      return true;
    }
    if (type == 9) {
      std::string hex = t.text;
      if (t.kind != TokKind::Word && t.kind != TokKind::Number) hex.clear();
      if (hex.empty() || hex.size() % 2 != 0 ||
          hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        d_->Error(loc, "a binary value is written as hexadecimal byte pairs");
        return false;
      }
      for (size_t i = 0; i < hex.size(); i += 2) key->push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
      return true;
    }
    if (t.kind != TokKind::Number) {
      d_->Error(loc, "a number is needed for a value of type " + std::to_string(type));
      return false;
    }
    int64_t v = t.number;
    int64_t lo = 0, hi = 0;
    switch (type) {
      case 1: lo = 0; hi = 1; break;
      case 2: lo = -32768; hi = 32767; break;
      case 3: lo = 0; hi = 65535; break;
      case 4: case 10: lo = INT32_MIN; hi = INT32_MAX; break;
      case 5: lo = 0; hi = UINT32_MAX; break;
      case 8: lo = 0; hi = 255; break;
      default:
        d_->Error(loc, "value type " + std::to_string(type) + " cannot be written");
        return false;
    }
    if (v < lo || v > hi) {
      d_->Error(loc, "value " + std::to_string(v) + " does not fit type " + std::to_string(type));
      return false;
    }
    int n = type == 1 ? 1 : type == 10 ? 4 : size;
    for (int i = 0; i < n; ++i) key->push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
    return true;
  }

  // Fills `v` with a scalar value of the declared type and size from the
  // matching key bytes.
  bool MakeScalar(const Loc& loc, int type, int size, const std::vector<uint8_t>& key, Value* v) {
    v->type = type;
    v->count = 1;
    v->keys = {key};
    if (type == 6) {
      if (!key.empty() && key.back() == 0xFF) {
        d_->Error(loc, "text ends in character 0xFF and would read as an external-string reference");
        return false;
      }
      v->payload = Complement(key);
      v->size = static_cast<int>(key.size());
      if (size > 0 && static_cast<int>(key.size()) * 2 + 2 > size) {
        d_->Error(loc, "text of " + std::to_string(key.size()) + " characters does not fit a " +
                           std::to_string(size) + "-byte member");
        return false;
      }
      if (v->size == 0) {
        d_->Error(loc, "an empty string value would have no payload; write the type with 'none'");
        return false;
      }
      return true;
    }
    if (type == 9) {
      v->payload = key;
      v->size = static_cast<int>(key.size());
      return true;
    }
    v->size = size;
    v->payload = key;
    return true;
  }

  Rec* NewGroup(const Loc& loc, int type, int size, const std::vector<std::vector<uint8_t>>& elems) {
    Rec* g = NewRec("group", 20, "", loc);
    g->id = static_cast<int>(byCat_[20].size()) + 1;
    g->gType = type;
    g->gSize = size;
    g->gElems = elems;
    Place(g);
    return g;
  }

  // A typed value written in the source: T:N, T:[a,b,...], T:none, str:"x",
  // bin:HEX, or @group:sym. Consumes toks[*i...].
  bool TypedValue(const SrcLine& l, size_t* i, Value* v) {
    if (*i >= l.toks.size()) {
      d_->Error(l.loc, "a typed value is missing");
      return false;
    }
    const Tok& t = l.toks[*i];
    if (t.kind == TokKind::Ref) {
      Rec* g = Lookup(l.loc, t, "group");
      ++*i;
      if (g == nullptr) return false;
      v->type = 128;
      v->size = 2;
      v->payload = {static_cast<uint8_t>(g->id), static_cast<uint8_t>(g->id >> 8)};
      v->count = static_cast<int>(g->gElems.size());
      v->keys = g->gElems;
      return true;
    }
    size_t colon = t.text.find(':');
    if (t.kind != TokKind::Word || colon == std::string::npos) {
      d_->Error(l.loc, "a typed value is written type:value (for example u16:1)");
      ++*i;
      return false;
    }
    const TypeName* tn = FindType(t.text.substr(0, colon));
    std::string rest = t.text.substr(colon + 1);
    ++*i;
    if (tn == nullptr) {
      d_->Error(l.loc, "unknown value type in '" + t.text + "'");
      return false;
    }
    if (rest == "none") {
      if (tn->type == 1 || tn->type == 10) {
        d_->Error(l.loc, "a value of type " + std::to_string(tn->type) +
                             " must have a size: its payload is read whatever the size says");
        return false;
      }
      v->type = tn->type;
      v->size = 0;
      v->count = 0;
      return true;
    }
    if (tn->type == 6) {
      if (!rest.empty() || *i >= l.toks.size() || l.toks[*i].kind != TokKind::String) {
        d_->Error(l.loc, "a string value is written str: \"text\"");
        return false;
      }
      std::vector<uint8_t> key;
      if (!ScalarBytes(l.loc, 6, 0, l.toks[*i], &key)) return false;
      ++*i;
      return MakeScalar(l.loc, 6, 0, key, v);
    }
    if (!rest.empty() && rest.front() == '[') {
      if (rest.back() != ']' || tn->type == 9) {
        d_->Error(l.loc, "a list of values is written T:[a,b,...]");
        return false;
      }
      std::vector<std::vector<uint8_t>> elems;
      std::string body = rest.substr(1, rest.size() - 2);
      size_t p = 0;
      while (p <= body.size()) {
        size_t q = body.find(',', p);
        if (q == std::string::npos) q = body.size();
        Tok nt;
        int64_t num = 0;
        std::string part = body.substr(p, q - p);
        char* end = nullptr;
        num = std::strtoll(part.c_str(), &end, 0);
        if (part.empty() || end == nullptr || *end != 0) {
          d_->Error(l.loc, "'" + part + "' in a value list is not a number");
          return false;
        }
        nt.kind = TokKind::Number;
        nt.number = num;
        std::vector<uint8_t> key;
        int esize = tn->type == 1 ? 4 : tn->size;
        if (!ScalarBytes(l.loc, tn->type, esize, nt, &key)) return false;
        if (tn->type == 1) key = {key[0], 0, 0, 0};
        elems.push_back(key);
        p = q + 1;
      }
      Rec* g = NewGroup(l.loc, tn->type, tn->type == 1 ? 4 : tn->size, elems);
      v->type = 128;
      v->size = 2;
      v->payload = {static_cast<uint8_t>(g->id), static_cast<uint8_t>(g->id >> 8)};
      v->count = static_cast<int>(elems.size());
      for (auto& e : elems) v->keys.push_back(tn->type == 1 ? std::vector<uint8_t>{e[0]} : e);
      return true;
    }
    Tok nt;
    if (tn->type == 9) {
      nt.kind = TokKind::Word;
      nt.text = rest;
    } else {
      char* end = nullptr;
      nt.kind = TokKind::Number;
      nt.number = std::strtoll(rest.c_str(), &end, 0);
      if (rest.empty() || *end != 0) {
        d_->Error(l.loc, "'" + rest + "' is not a number");
        return false;
      }
    }
    std::vector<uint8_t> key;
    if (!ScalarBytes(l.loc, tn->type, tn->size, nt, &key)) return false;
    return MakeScalar(l.loc, tn->type, tn->size, key, v);
  }

  static void PutValue(Bytes& out, const Value& v) {
    out.U8(static_cast<uint32_t>(v.type));
    out.U16(static_cast<uint32_t>(v.size));
    if (v.size != 0) out.Raw(v.payload);
  }

  // ITEM: DDM id, operator, value (toks from *i).
  bool Item(const SrcLine& l, size_t* i, Bytes& out, int* ddmOut, Value* vOut) {
    int64_t ddm = 0;
    if (*i < l.toks.size() && l.toks[*i].kind == TokKind::Ref) {
      Rec* o = Lookup(l.loc, l.toks[*i], "option");
      if (o == nullptr) return false;
      ddm = o->id;
    } else if (!Num(l, *i, 1, 0xFFFF, &ddm, "DDM id")) {
      return false;
    }
    ++*i;
    if (*i >= l.toks.size()) {
      d_->Error(l.loc, "an operator is missing");
      return false;
    }
    static const std::map<std::string, int> ops = {{"any", 0}, {"eq", 1}, {"ne", 2}, {"gt", 3},
                                                   {"ge", 4},  {"lt", 5}, {"le", 6}};
    int op = -1;
    const Tok& ot = l.toks[*i];
    if (ot.kind == TokKind::Number && ot.number >= 0 && ot.number <= 12) op = static_cast<int>(ot.number);
    if (ot.kind == TokKind::Word && ops.count(ot.text) != 0) op = ops.at(ot.text);
    if (op < 0) {
      d_->Error(l.loc, "unknown operator '" + ot.text + "'");
      return false;
    }
    ++*i;
    Value v;
    if (!TypedValue(l, i, &v)) return false;
    out.U16(static_cast<uint32_t>(ddm));
    out.U8(static_cast<uint32_t>(op));
    out.U16(static_cast<uint32_t>(v.count));
    PutValue(out, v);
    if (ddmOut != nullptr) *ddmOut = static_cast<int>(ddm);
    if (vOut != nullptr) *vOut = v;
    return true;
  }

  // List of ITEM with connective from `cond` lines.
  void Conditions(Bytes& out, const std::vector<const SrcLine*>& lines) {
    if (lines.size() > 0xFFFF) d_->Error(lines[0]->loc, "a list holds at most 65535 entries");
    Bytes body;
    body.U16(static_cast<uint32_t>(lines.size()));
    for (const SrcLine* l : lines) {
      size_t i = 1;
      if (!Item(*l, &i, body, nullptr, nullptr)) continue;
      int64_t link = 0;
      if (i >= l->toks.size()) {
        d_->Error(l->loc, "a condition ends with its link number");
        continue;
      }
      if (!Num(*l, i, 0, 255, &link, "link")) continue;
      body.U8(static_cast<uint32_t>(link));
      if (i + 1 != l->toks.size()) d_->Error(l->loc, "extra words after the link");
    }
    out.U32(static_cast<uint32_t>(body.size()));
    out.Raw(body.b);
  }

  void IdList(Bytes& out, const std::vector<int>& ids) {
    if (ids.size() > 0xFFFF) d_->Error(Loc{"source", 0}, "a list holds at most 65535 ids");
    out.U32(static_cast<uint32_t>(2 + 2 * ids.size()));
    out.U16(static_cast<uint32_t>(ids.size()));
    for (int id : ids) out.U16(static_cast<uint32_t>(id));
  }

  // A size written inline: fixed W L | range W1 L1 W2 L2 | @size:sym.
  int SizeField(const SrcLine* l, const Loc& secLoc, const char* what, bool margin = false) {
    if (l == nullptr) {
      d_->Error(secLoc, std::string("missing field '") + what + "'");
      return 0;
    }
    if (l->toks.size() == 2 && l->toks[1].kind == TokKind::Ref) return RefId(l->loc, l->toks[1], "size", false);
    int64_t v[4] = {0, 0, 0, 0};
    bool ok = true;
    if (margin) {
      // margin LEFT TOP RIGHT BOTTOM: first pair (left, top), second (right, bottom)
      if (l->toks.size() != 5) {
        d_->Error(l->loc, "'margin' takes left top right bottom, or @size:sym");
        return 0;
      }
      for (int k = 0; k < 4; ++k) ok = Num(*l, 1 + k, 0, 0xFFFF, &v[k], "margin") && ok;
    } else if (l->toks.size() == 4 && l->toks[1].kind == TokKind::Word && l->toks[1].text == "fixed") {
      ok = Num(*l, 2, 1, 0xFFFF, &v[0], "width") && Num(*l, 3, 1, 0xFFFF, &v[1], "length");
      v[2] = v[0];
      v[3] = v[1];
    } else if (l->toks.size() == 6 && l->toks[1].kind == TokKind::Word && l->toks[1].text == "range") {
      for (int k = 0; k < 4; ++k) ok = Num(*l, 2 + k, 1, 0xFFFF, &v[k], "size") && ok;
      if (ok && (v[2] < v[0] || v[3] < v[1])) {
        d_->Error(l->loc, "the upper size lies below the lower size");
        ok = false;
      }
    } else {
      d_->Error(l->loc, std::string("'") + what + "' takes fixed W L, range W1 L1 W2 L2, or @size:sym");
      return 0;
    }
    if (!ok) return 0;
    return AnonSize(l->loc, static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
                    static_cast<int>(v[3]));
  }
  int AnonSize(const Loc& loc, int w1, int l1, int w2, int l2) {
    std::string key = std::to_string(w1) + "," + std::to_string(l1) + "," + std::to_string(w2) + "," +
                      std::to_string(l2);
    auto it = anonSizes_.find(key);
    if (it != anonSizes_.end()) return it->second->id;
    Rec* r = NewRec("size", 17, "", loc);
    r->id = NextId(17);
    r->w1 = w1;
    r->l1 = l1;
    r->w2 = w2;
    r->l2 = l2;
    Place(r);
    anonSizes_[key] = r;
    return r->id;
  }

  // The devmode-member check (member_check.h): an option's declared value
  // must fit the member its DDM id names; an id without member is not
  // checked.
  void CheckOptionMember(Rec* r, const SrcLine& valueLine) {
    MemberInfo m;
    if (!FindMember(r->id, &m)) return;
    std::string why = DeclarationMismatch(m, r->vtype, r->vsize);
    if (!why.empty()) {
      d_->Error(valueLine.loc, "option " + r->sym + " (DDM " + std::to_string(r->id) + ") declares " +
                                   ValueTypeName(r->vtype) + " " + std::to_string(r->vsize) + ", which does not fit " +
                                   DescribeMember(m) + ": " + why);
      return;
    }
    r->member = m;
    r->fitsMember = true;
  }
  // A value the source writes to a member by DDM id outside an option (a
  // favourite's setting, a device query's answer): the same check. `size` is
  // the value's bytes as exchanged (a string's with its NUL); `value` the
  // scalar's bytes, empty for none.
  void CheckWrittenValue(const Loc& loc, const std::string& who, int ddm, int type, int size,
                         const std::vector<uint8_t>& value) {
    MemberInfo m;
    if (!FindMember(ddm, &m)) return;
    std::string why = DeclarationMismatch(m, type, size);
    if (why.empty()) why = ValueMismatch(m, type, value);
    if (!why.empty()) {
      d_->Error(loc, who + " (DDM " + std::to_string(ddm) + ") is " + ValueTypeName(type) + " " + std::to_string(size) +
                         ", which does not fit " + DescribeMember(m) + ": " + why);
    }
  }

  void Globals(const Source& src);
  void Declare(const Source& src);
  void AssignIds();
  void Rules();
  void EncodeAll();
  void EncodeOption(Rec* r);
  void EncodeItem(Rec* r);
  void EncodeTray(Rec* r);
  void EncodeSize(Rec* r);
  void ParseSize(Rec* r);
  void ParseGroup(Rec* r);
  void EncodePaper(Rec* r);
  void EncodeConstraint(Rec* r);
  void EncodeImCondition(Rec* r);
  void EncodeImage(Rec* r);
  void EncodeFont(Rec* r);
  void EncodeEjcl(Rec* r);
  void EncodeNrv(Rec* r);
  void EncodeIcon(Rec* r);
  void EncodePaperType(Rec* r);
  void EncodeGroup(Rec* r);
  void EncodeFavorite(Rec* r);
  void EncodeAdcQuery(Rec* r);
  void EncodeTrayIndex(Rec* r);
  void CheckInvariants();
  Bytes PrinterInfo();
  std::vector<uint8_t> Header(bool main);
  void Layout(Output* out);
  bool Pixels(const Rec* r, const FieldSet& f, int* width, int* height, int* bits, std::vector<std::vector<int>>* px);

  Bytes Start(const Rec* r) {
    Bytes b;
    b.U32(0);  // record length, filled by Finish
    b.U16(static_cast<uint32_t>(r->id));
    return b;
  }
  static void Finish(Rec* r, Bytes& b) {
    b.Put32At(0, static_cast<uint32_t>(b.size()));
    r->bytes = b;
  }
};

void Compiler::Globals(const Source& src) {
  std::set<std::string> seen;
  bool haveFmt = false, haveVersion = false, haveModel = false;
  for (const SrcLine& l : src.globals) {
    const std::string& k = l.key();
    if (k != "info" && !seen.insert(k).second) {
      d_->Error(l.loc, "'" + k + "' given twice");
      continue;
    }
    if (globalsLoc_.file.empty()) globalsLoc_ = l.loc;
    if (k == "info") {
      int64_t n = 0;
      if (!Num(l, 1, 0, 41, &n, "PrinterInfo item")) continue;
      if (n == 0 || n == 2) {
        d_->Error(l.loc, "PrinterInfo item " + std::to_string(n) + " is computed by the compiler");
        continue;
      }
      if (info_.count(static_cast<int>(n)) != 0) {
        d_->Error(l.loc, "PrinterInfo item " + std::to_string(n) + " given twice");
        continue;
      }
      info_[static_cast<int>(n)] = &l;
      continue;
    }
    if (k == "format") {
      Arity(l, 2);
      // a.b.c.d: the four format bytes, each written as a number 0..255 or
      // -128..-1 (a byte of 0x80 or more counts negative when read).
      std::string s = l.toks.size() > 1 ? l.toks[1].text : "";
      int parts[4] = {0, 0, 0, 0};
      int np = 0;
      size_t p = 0;
      bool ok = true;
      while (ok) {
        size_t q = s.find('.', p);
        std::string part = s.substr(p, q == std::string::npos ? std::string::npos : q - p);
        char* end = nullptr;
        long v = std::strtol(part.c_str(), &end, 10);
        ok = !part.empty() && *end == 0 && v >= -128 && v <= 255 && np < 4;
        if (ok) parts[np++] = static_cast<int>(v);
        if (q == std::string::npos) break;
        p = q + 1;
      }
      if (!ok || np != 4) {
        d_->Error(l.loc, "format is written as four byte values a.b.c.d");
        continue;
      }
      fmtPacked_ = 0;
      for (int i = 0; i < 4; ++i) {
        fmt_[i] = static_cast<uint8_t>(parts[i]);
        fmtPacked_ = fmtPacked_ * 256 + static_cast<int8_t>(fmt_[i]);
      }
      haveFmt = true;
      continue;
    }
    if (l.toks.size() != 2 || l.toks[1].kind != TokKind::String) {
      d_->Error(l.loc, "'" + k + "' takes one quoted text");
      continue;
    }
    std::vector<uint8_t> ansi;
    if (!AnsiText(l.loc, l.toks[1].text, &ansi)) continue;
    const std::string& text = l.toks[1].text;
    if (k == "header") {
      if (ansi.size() > 63) d_->Error(l.loc, "the header text holds at most 63 characters");
      headerText_ = text;
    } else if (k == "version") {
      haveVersion = true;
      if (ansi.size() > 23) d_->Error(l.loc, "the version text holds at most 23 characters");
      // text ':' a '.' b '.' c
      size_t colon = text.find(':');
      bool ok = colon != std::string::npos;
      long long parts[3] = {0, 0, 0};
      size_t p = colon + 1;
      for (int i = 0; ok && i < 3; ++i) {
        size_t q = p;
        while (q < text.size() && std::isdigit(static_cast<unsigned char>(text[q]))) ++q;
        ok = q > p && q - p <= 6;
        if (ok) parts[i] = std::stoll(text.substr(p, q - p));
        if (ok && i < 2) ok = q < text.size() && !std::isdigit(static_cast<unsigned char>(text[q]));
        p = q + 1;
        if (ok && i == 2) ok = q == text.size();
      }
      if (!ok) {
        d_->Error(l.loc, "the version text is written name:a.b.c");
      } else if (parts[0] > 255 || parts[1] > 255 || parts[2] > 65535) {
        d_->Error(l.loc, "version numbers lie outside 255.255.65535");
      }
      versionStr_ = text;
    } else if (k == "model") {
      haveModel = true;
      // The model name is returned for DDM 259, a 64-byte UTF-16 member:
      // at most 31 characters and the NUL.
      if (ansi.empty() || ansi.size() > 31) d_->Error(l.loc, "the model name holds 1 to 31 characters");
      modelName_ = text;
    } else if (k == "referenced") {
      if (ansi.empty() || ansi.size() > 63 || text.find_first_of("\\/:") != std::string::npos) {
        d_->Error(l.loc, "the referenced file name is a plain file name of 1 to 63 characters");
      }
      refName_ = text;
    }
  }
  Loc top{globalsLoc_.file.empty() ? std::string("source") : globalsLoc_.file, 0};
  if (!haveFmt) d_->Error(top, "missing 'format'");
  if (!haveVersion) d_->Error(top, "missing 'version'");
  if (!haveModel) d_->Error(top, "missing 'model'");
  for (int n = 1; n <= 41; ++n) {
    if (n != 2 && info_.count(n) == 0) d_->Error(top, "missing PrinterInfo item " + std::to_string(n));
  }
}

void Compiler::Declare(const Source& src) {
  static const std::set<std::string> anonymousOk = {"constraint", "constraint2", "imcondition", "ejcl",
                                                    "nrv",        "favorite",    "adcquery",    "trayindex"};
  for (const Section& s : src.sections) {
    if (s.sym.empty() && anonymousOk.count(s.kind) == 0) d_->Error(s.loc, s.kind + " needs a symbol");
    int cat = CatOfKind(s.kind);
    Rec* r = NewRec(s.kind, cat, s.sym, s.loc);
    r->sec = &s;
    for (const SrcLine& l : s.fields) {
      if (l.key() == "file") {
        if (l.toks.size() != 2 || l.toks[1].text != "referenced") {
          d_->Error(l.loc, "'file' takes the word referenced");
        } else if (refName_.empty()) {
          d_->Error(l.loc, "a record is placed in the referenced file but the model names none");
        } else {
          r->inRef = true;
        }
      }
      if (l.key() == "id") {
        int64_t id = 0;
        Arity(l, 2);
        if (Num(l, 1, 1, 0xFFFF, &id, "id")) {
          r->id = static_cast<int>(id);
          r->explicitId = true;
        }
      }
    }
    if (s.kind == "option") {
      if (!r->explicitId) d_->Error(s.loc, "option " + s.sym + " needs its DDM id ('id')");
      int dataId = 0;
      r->cat = OptionCategory(r->id, &dataId);
      if (r->explicitId && (r->cat == 0 || dataId != r->id)) {
        d_->Error(s.loc, "DDM id " + std::to_string(r->id) + " is not looked up as an option of its own");
        r->cat = 4;
      }
      for (const SrcLine& l : s.fields) {
        if (l.key() != "value") continue;
        const TypeName* tn = l.toks.size() == 3 && l.toks[1].kind == TokKind::Word ? FindType(l.toks[1].text) : nullptr;
        int64_t size = 0;
        if (tn == nullptr || !Num(l, 2, 1, 0xFFFF, &size, "value size")) {
          if (tn == nullptr) d_->Error(l.loc, "'value' declares the feature's value type and size, e.g. value u16 2");
          continue;
        }
        if (tn->size != 0 && tn->type != 1 && size != tn->size) {
          d_->Error(l.loc, std::string("a ") + tn->name + " value has size " + std::to_string(tn->size));
        }
        r->vtype = tn->type;
        r->vsize = static_cast<int>(size);
        CheckOptionMember(r, l);
      }
      if (r->vtype == 0) d_->Error(s.loc, "option " + s.sym + " does not declare its value ('value TYPE SIZE')");
      Place(r);
      int itemCat = r->cat == 3 ? 13 : 14;
      for (const Section& is : s.items) {
        Rec* it = NewRec("item", itemCat, s.sym + "." + is.sym, is.loc);
        it->sec = &is;
        it->option = r;
        it->inRef = r->inRef;
        it->id = static_cast<int>(byCat_[itemCat].size()) + 1;
        for (const SrcLine& l : is.fields) {
          if (l.key() != "id") continue;
          int64_t id = 0;
          if (Num(l, 1, 1, 0xFFFF, &id, "id") && id != it->id) {
            d_->Error(l.loc, "item id " + std::to_string(id) + " differs from its position " + std::to_string(it->id) +
                                 " in the item table");
          }
        }
        r->items.push_back(it);
        Place(it);
      }
      continue;
    }
    if (s.kind == "group") {
      if (r->explicitId) d_->Error(s.loc, "a group's id is its position; it takes no 'id'");
      r->id = static_cast<int>(byCat_[20].size()) + 1;
    }
    Place(r);
  }
}

void Compiler::AssignIds() {
  for (auto& [cat, list] : byCat_) {
    if (cat == 13 || cat == 14 || cat == 20) continue;
    int maxId = 0;
    std::map<int, Rec*> seen;
    for (Rec* r : list) {
      if (!r->explicitId) continue;
      maxId = std::max(maxId, r->id);
      if (seen.count(r->id) != 0) {
        d_->Error(r->loc, r->kind + " id " + std::to_string(r->id) + " is used twice in category " +
                              std::to_string(cat) + " (also at " + seen[r->id]->loc.file + ":" +
                              std::to_string(seen[r->id]->loc.line) + ")");
      }
      seen[r->id] = r;
    }
    nextId_[cat] = maxId + 1;
    for (Rec* r : list) {
      if (!r->explicitId) r->id = NextId(cat);
    }
  }
  for (int cat : {10, 5, 6, 19}) {
    for (Rec* r : byCat_[cat]) {
      if (!r->explicitId) d_->Error(r->loc, r->kind + " " + r->sym + " needs its id");
    }
  }
  if (nextId_[17] == 0) nextId_[17] = 1;
}

// Every constraint names the option its target is about; the option lists
// the rule among its rules (second id list: pass one, category 7; third id
// list: pass two, category 8), and so does every item of the option whose
// value is one of the target's values (first id list: category 7, second:
// category 8). A target without values names every item.
void Compiler::Rules() {
  // The items' values, for matching (errors in them are reported when the
  // items are written).
  Diags quiet;
  Diags* keep = d_;
  d_ = &quiet;
  for (int cat : {13, 14}) {
    for (Rec* it : byCat_[cat]) {
      for (const SrcLine& l : it->sec->fields) {
        if (l.key() == "value" && l.toks.size() == 2) {
          ScalarBytes(l.loc, it->option->vtype, it->option->vsize, l.toks[1], &it->key);
        }
      }
    }
  }
  d_ = keep;
  for (int cat : {7, 8}) {
    for (Rec* r : byCat_[cat]) {
      const SrcLine* t = nullptr;
      for (const SrcLine& l : r->sec->fields) {
        if (l.key() == "target" && t == nullptr) t = &l;
      }
      if (t == nullptr) {
        d_->Error(r->loc, "a constraint needs its 'target'");
        continue;
      }
      size_t i = 1;
      int ddm = 0;
      Value v;
      Bytes target;
      if (!Item(*t, &i, target, &ddm, &v)) continue;
      r->target = target;
      r->haveTarget = true;
      if (i != t->toks.size()) d_->Error(t->loc, "extra words after the target");
      int dataId = 0;
      int ocat = OptionCategory(ddm, &dataId);
      Rec* opt = ocat == 0 ? nullptr : FindById(ocat, dataId);
      if (opt == nullptr) {
        d_->Error(t->loc, "the target's DDM id " + std::to_string(ddm) + " has no option that could list the rule");
        continue;
      }
      int vt = v.type;
      if (v.type == 128) {
        size_t pos = static_cast<size_t>(v.payload[0] | (v.payload[1] << 8));
        vt = pos >= 1 && pos <= byCat_[20].size() ? byCat_[20][pos - 1]->gType : 0;
      }
      if (v.count > 0 && vt != opt->vtype) {
        d_->Error(t->loc, "the target's value type " + std::to_string(vt) + " differs from option " + opt->sym +
                              "'s type " + std::to_string(opt->vtype));
        continue;
      }
      (cat == 7 ? opt->rules7 : opt->rules8).push_back(r->id);
      static const std::set<int> equality = {0, 1, 7, 8, 10, 11, 12};
      int op = target.b.size() > 2 ? target.b[2] : 1;
      bool anyItem = v.count == 0 || equality.count(op) == 0;
      for (const auto& k : anyItem ? std::vector<std::vector<uint8_t>>() : v.keys) {
        bool found = false;
        for (Rec* it : opt->items) found = found || it->key == k;
        if (!found) d_->Error(t->loc, "a target value matches no item of option " + opt->sym);
      }
      // Only an equality names particular items; a rule whose operator
      // compares otherwise, or whose target has no values, may hold for
      // any item.
      for (Rec* it : opt->items) {
        bool match = anyItem;
        for (const auto& k : v.keys) match = match || it->key == k;
        if (match) (cat == 7 ? it->rules7 : it->rules8).push_back(r->id);
      }
    }
  }
}

void Compiler::EncodeOption(Rec* r) {
  const Section& s = *r->sec;
  FieldSet f(s, d_, {"id", "name", "method", "default", "ref", "icon", "name2", "value", "file"});
  Bytes b = Start(r);
  PutString(b, f.One("name"), 1, true, s.loc, "name");
  b.U8(static_cast<uint32_t>(NumField(f, "method", 0, 255, 1)));
  int def = 0;
  if (const SrcLine* l = f.One("default")) {
    Arity(*l, 2);
    if (l->toks.size() >= 2 && l->toks[1].kind == TokKind::Word) {
      for (size_t k = 0; k < r->items.size(); ++k) {
        if (r->items[k]->sym == s.sym + "." + l->toks[1].text) def = static_cast<int>(k) + 1;
      }
      if (def == 0) d_->Error(l->loc, "default '" + l->toks[1].text + "' is no item of option " + s.sym);
    } else {
      int64_t n = 0;
      if (Num(*l, 1, 1, 0xFFFF, &n, "default position")) def = static_cast<int>(n);
    }
  }
  if (r->items.empty()) d_->Error(s.loc, "option " + s.sym + " has no items");
  if (def < 1 || def > static_cast<int>(r->items.size())) {
    if (!r->items.empty()) d_->Error(s.loc, "option " + s.sym + " has no valid default item");
  }
  b.U16(static_cast<uint32_t>(def));
  int ref = 0;
  if (const SrcLine* l = f.One("ref")) {
    Arity(*l, 2);
    if (l->toks.size() == 2) ref = RefId(l->loc, l->toks[1], l->toks[1].kind == TokKind::Ref ? l->toks[1].refKind : "", true);
  }
  b.U16(static_cast<uint32_t>(ref));
  std::vector<int> ids;
  for (Rec* it : r->items) ids.push_back(it->id);
  IdList(b, ids);
  IdList(b, r->rules7);
  IdList(b, r->rules8);
  int icon = 0;
  if (const SrcLine* l = f.One("icon")) {
    Arity(*l, 2);
    if (l->toks.size() == 2) icon = RefId(l->loc, l->toks[1], "icon", true);
  }
  b.U16(static_cast<uint32_t>(icon));
  if (fmtPacked_ >= 1024) {
    PutString(b, f.One("name2"), 1, false, s.loc, "name2");
  } else {
    Gate(f.One("name2"), 1024);
  }
  Finish(r, b);
}

void Compiler::EncodeItem(Rec* r) {
  const Section& s = *r->sec;
  FieldSet f(s, d_, {"id", "name", "ref", "area", "icon", "value"});
  Bytes b = Start(r);
  PutString(b, f.One("name"), 1, true, s.loc, "name");
  int refCat = 0, refId = 0;
  if (const SrcLine* l = f.One("ref")) {
    if (l->toks.size() == 2 && l->toks[1].kind == TokKind::Ref) {
      int cat = CatOfKind(l->toks[1].refKind);
      Rec* t = Lookup(l->loc, l->toks[1], "");
      if (t != nullptr) {
        refCat = t->cat;
        refId = t->id;
      }
      if (cat <= 0 && t != nullptr && t->kind != "option") d_->Error(l->loc, "an item cannot stand for that record");
    } else if (l->toks.size() == 3) {
      int64_t c = 0, id = 0;
      if (Num(*l, 1, 0, 23, &c, "category") && Num(*l, 2, 0, 0xFFFF, &id, "id")) {
        refCat = static_cast<int>(c);
        refId = static_cast<int>(id);
        if (refCat == 10 && FindById(10, refId) == nullptr) {
          d_->Error(l->loc, "no paper has id " + std::to_string(refId));
        }
      }
    } else {
      d_->Error(l->loc, "'ref' takes @kind:symbol, or a category and an id");
    }
  }
  b.U16(static_cast<uint32_t>(refCat));
  b.U16(static_cast<uint32_t>(refId));
  int area = 0;
  if (const SrcLine* l = f.One("area")) area = SizeField(l, s.loc, "area");
  b.U16(static_cast<uint32_t>(area));
  IdList(b, r->rules7);
  IdList(b, r->rules8);
  const Rec* o = r->option;
  if (o->id == 8 && refCat != 10) d_->Error(s.loc, "an item of the paper list must stand for a paper ('ref @paper:...')");
  const SrcLine* vl = f.One("value");
  Value v;
  if (vl == nullptr) {
    d_->Error(s.loc, "missing field 'value'");
  } else {
    Arity(*vl, 2);
    if (vl->toks.size() == 2 && ScalarBytes(vl->loc, o->vtype, o->vsize, vl->toks[1], &r->key)) {
      MakeScalar(vl->loc, o->vtype, o->vsize, r->key, &v);
      if (o->fitsMember) {
        std::string why = ValueMismatch(o->member, o->vtype, r->key);
        if (!why.empty()) {
          d_->Error(vl->loc, "item " + s.sym + " of option " + o->sym + ": value " + vl->toks[1].text +
                                 " does not fit " + DescribeMember(o->member) + ": " + why);
        }
      }
    }
  }
  if (v.type == 0) {
    v.type = o->vtype;
    v.size = 0;
  }
  PutValue(b, v);
  int icon = 0;
  if (const SrcLine* l = f.One("icon")) {
    Arity(*l, 2);
    if (l->toks.size() == 2) icon = RefId(l->loc, l->toks[1], "icon", true);
  }
  b.U16(static_cast<uint32_t>(icon));
  Finish(r, b);
}

void Compiler::EncodeTray(Rec* r) {
  const Section& s = *r->sec;
  FieldSet f(s, d_, {"id", "name", "size", "nrv", "papers", "feeds", "duplex", "name2", "file"});
  Bytes b = Start(r);
  PutString(b, f.One("name"), 1, true, s.loc, "name");
  int size = SizeField(f.One("size"), s.loc, "size");
  b.U16(static_cast<uint32_t>(size));
  b.U16(static_cast<uint32_t>(NumField(f, "nrv", -32768, 65535, 0) & 0xFFFF));
  std::vector<int> papers, feeds;
  if (const SrcLine* l = f.One("papers")) {
    for (size_t i = 1; i < l->toks.size(); ++i) papers.push_back(RefId(l->loc, l->toks[i], "paper", false));
  }
  if (const SrcLine* l = f.One("feeds")) {
    for (size_t i = 1; i < l->toks.size(); ++i) feeds.push_back(RefId(l->loc, l->toks[i], "papertype", false));
  }
  IdList(b, papers);
  IdList(b, feeds);
  if (fmtPacked_ >= 512) {
    b.U8(static_cast<uint32_t>(NumField(f, "duplex", 0, 255, 0)));
  } else {
    Gate(f.One("duplex"), 512);
  }
  if (fmtPacked_ >= 1024) {
    PutString(b, f.One("name2"), 1, false, s.loc, "name2");
  } else {
    Gate(f.One("name2"), 1024);
  }
  Finish(r, b);
}

void Compiler::ParseSize(Rec* r) {
  if (r->sec != nullptr) {
    const Section& s = *r->sec;
    FieldSet f(s, d_, {"id", "lower", "upper", "fixed", "file"});
    auto pair = [&](const char* k, int* w, int* l) {
      const SrcLine* line = f.One(k);
      if (line == nullptr) return false;
      int64_t a = 0, c = 0;
      Arity(*line, 3);
      if (Num(*line, 1, 0, 0xFFFF, &a, "width") && Num(*line, 2, 0, 0xFFFF, &c, "length")) {
        *w = static_cast<int>(a);
        *l = static_cast<int>(c);
      }
      return true;
    };
    if (pair("fixed", &r->w1, &r->l1)) {
      r->w2 = r->w1;
      r->l2 = r->l1;
      if (f.One("lower") != nullptr || f.One("upper") != nullptr) d_->Error(s.loc, "a fixed size has no bounds");
    } else if (!pair("lower", &r->w1, &r->l1) || !pair("upper", &r->w2, &r->l2)) {
      d_->Error(s.loc, "a size needs 'fixed W L' or 'lower W L' and 'upper W L'");
    }
  }
}

void Compiler::EncodeSize(Rec* r) {
  Bytes b = Start(r);
  b.U16(static_cast<uint32_t>(r->w1));
  b.U16(static_cast<uint32_t>(r->l1));
  b.U16(static_cast<uint32_t>(r->w2));
  b.U16(static_cast<uint32_t>(r->l2));
  Finish(r, b);
}

void Compiler::EncodePaper(Rec* r) {
  const Section& s = *r->sec;
  FieldSet f(s, d_, {"id", "name", "class", "size", "imageable", "margin", "portrait", "field2", "duplex",
                     "duplex_size", "flag", "file"});
  Bytes b = Start(r);
  PutString(b, f.One("name"), 1, true, s.loc, "name");
  b.U8(static_cast<uint32_t>(NumField(f, "class", 0, 255, 0)));
  int size = SizeField(f.One("size"), s.loc, "size");
  int margin = SizeField(f.One("margin"), s.loc, "margin", true);
  int imageable = 0;
  if (f.One("imageable") != nullptr) {
    imageable = SizeField(f.One("imageable"), s.loc, "imageable");
  } else if (size != 0 && margin != 0) {
    // The imageable size defaults to the paper size less its margins.
    Rec* ps = FindById(17, size);
    Rec* ms = FindById(17, margin);
    int dw = ms->w1 + ms->w2, dl = ms->l1 + ms->l2;
    if (ps->w1 <= dw || ps->l1 <= dl) {
      d_->Error(s.loc, "the margins leave no imageable area");
    } else {
      imageable = AnonSize(s.loc, ps->w1 - dw, ps->l1 - dl, ps->w2 - dw, ps->l2 - dl);
    }
  }
  b.U16(static_cast<uint32_t>(size));
  b.U16(static_cast<uint32_t>(imageable));
  b.U16(static_cast<uint32_t>(margin));
  b.U16(static_cast<uint32_t>(NumField(f, "portrait", -32768, 65535, 0) & 0xFFFF));
  b.U16(static_cast<uint32_t>(NumField(f, "field2", -32768, 65535, 0) & 0xFFFF));
  if (fmtPacked_ >= 512) {
    b.U8(static_cast<uint32_t>(NumField(f, "duplex", 0, 255, 0)));
    int ds = 0;
    if (f.One("duplex_size") != nullptr) ds = SizeField(f.One("duplex_size"), s.loc, "duplex_size");
    b.U16(static_cast<uint32_t>(ds));
  } else {
    Gate(f.One("duplex"), 512);
    Gate(f.One("duplex_size"), 512);
  }
  if (fmtPacked_ >= 1280) {
    b.U16(static_cast<uint32_t>(NumField(f, "flag", 0, 0xFFFF, 0)));
  } else {
    Gate(f.One("flag"), 1280);
  }
  Finish(r, b);
}

void Compiler::EncodeConstraint(Rec* r) {
  const Section& s = *r->sec;
  FieldSet f(s, d_, {"id", "target", "action", "check", "mode", "flags", "message", "file"}, {"cond", "solve"});
  Bytes b = Start(r);
  if (r->haveTarget) b.Raw(r->target.b);
  // The rule's 16-bit word: action code in the low byte, the kind of extra
  // size check in bits 0x3C00 and the evaluation-mode bits 0x4300.
  uint32_t flags = 0;
  if (f.One("flags") != nullptr) {
    flags = static_cast<uint32_t>(NumField(f, "flags", 0, 0xFFFF, 0));
    if (f.One("action") || f.One("check") || f.One("mode")) d_->Error(s.loc, "'flags' replaces action, check and mode");
  } else {
    flags = static_cast<uint32_t>(NumField(f, "action", 0, 255, 0, true, &s.loc));
    int64_t check = NumField(f, "check", 0, 0x3C00, 0);
    if ((check & ~0x3C00) != 0) d_->Error(s.loc, "a size-check kind is a multiple of 1024 up to 15360");
    flags |= static_cast<uint32_t>(check);
    int64_t mode = NumField(f, "mode", 0, 0xFFFF, 0);
    if ((mode & ~0x4300) != 0) d_->Error(s.loc, "mode bits are 0x100, 0x200 and 0x4000");
    flags |= static_cast<uint32_t>(mode);
  }
  b.U16(flags);
  PutString(b, f.One("message"), 1, false, s.loc, "message");
  Conditions(b, f.All("cond"));
  Bytes sol;
  auto solves = f.All("solve");
  sol.U16(static_cast<uint32_t>(solves.size()));
  for (const SrcLine* l : solves) {
    size_t i = 1;
    if (Item(*l, &i, sol, nullptr, nullptr) && i != l->toks.size()) d_->Error(l->loc, "extra words after the solution");
  }
  b.U32(static_cast<uint32_t>(sol.size()));
  b.Raw(sol.b);
  Finish(r, b);
}

void Compiler::EncodeImCondition(Rec* r) {
  const Section& s = *r->sec;
  FieldSet f(s, d_, {"id", "at", "file"}, {"cond"});
  Bytes b = Start(r);
  Conditions(b, f.All("cond"));
  const SrcLine* at = f.One("at");
  int64_t x = 0, y = 0;
  int img = 0;
  if (at == nullptr) {
    d_->Error(s.loc, "missing field 'at' (x y @image:sym)");
  } else if (at->toks.size() == 4 && Num(*at, 1, 0, 0xFFFF, &x, "x") && Num(*at, 2, 0, 0xFFFF, &y, "y")) {
    img = RefId(at->loc, at->toks[3], "image", false);
  } else {
    d_->Error(at->loc, "'at' takes x y @image:sym");
  }
  b.U16(static_cast<uint32_t>(x));
  b.U16(static_cast<uint32_t>(y));
  b.U16(static_cast<uint32_t>(img));
  Finish(r, b);
}

// The 16 colours every picture and icon of the sources draws with, indexed
// by one hexadecimal digit per pixel.
constexpr uint32_t kPalette[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                                   0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

bool Compiler::Pixels(const Rec* r, const FieldSet& f, int* width, int* height, int* bits,
                      std::vector<std::vector<int>>* px) {
  const Section& s = *r->sec;
  int64_t scale = NumField(f, "scale", 1, 16, 1);
  *bits = static_cast<int>(NumField(f, "bits", 1, 8, 4));
  if (*bits != 4 && *bits != 8) d_->Error(s.loc, "pictures have 4 or 8 bits per pixel");
  auto rows = f.All("row");
  if (rows.empty()) {
    d_->Error(s.loc, "a picture needs its 'row' lines");
    return false;
  }
  size_t w = 0;
  for (const SrcLine* l : rows) {
    if (l->toks.size() != 2 || l->toks[1].kind != TokKind::String) {
      d_->Error(l->loc, "'row' takes one quoted line of pixels");
      return false;
    }
    const std::string& t = l->toks[1].text;
    if (t.size() * static_cast<size_t>(scale) > 4096 || rows.size() * static_cast<size_t>(scale) > 4096) {
      d_->Error(l->loc, "a picture is at most 4096 pixels wide and high");
      return false;
    }
    if (w == 0) w = t.size();
    if (t.size() != w || w == 0) {
      d_->Error(l->loc, "every row of a picture has the same width");
      return false;
    }
    std::vector<int> line;
    for (char c : t) {
      int v = c == '.' ? -1 : std::isxdigit(static_cast<unsigned char>(c)) ? std::stoi(std::string(1, c), nullptr, 16) : -2;
      if (v == -2) {
        d_->Error(l->loc, "a pixel is a hexadecimal colour digit or '.'");
        return false;
      }
      for (int k = 0; k < scale; ++k) line.push_back(v);
    }
    for (int k = 0; k < scale; ++k) px->push_back(line);
  }
  *width = static_cast<int>(w * scale);
  *height = static_cast<int>(rows.size() * scale);
  return true;
}

// A device-independent bitmap: BITMAPINFOHEADER, colour table, bottom-up
// rows padded to 4 bytes. With `mask` the height counts twice and a 1-bit
// mask (set = transparent) follows the colour bits, as icon images are kept.
std::vector<uint8_t> Dib(int width, int height, int bits, const std::vector<std::vector<int>>& px, bool mask) {
  Bytes b;
  int colours = bits == 4 ? 16 : 256;
  int rowBytes = ((width * bits + 31) / 32) * 4;
  int maskRow = ((width + 31) / 32) * 4;
  b.U32(40);
  b.U32(static_cast<uint32_t>(width));
  b.U32(static_cast<uint32_t>(mask ? height * 2 : height));
  b.U16(1);
  b.U16(static_cast<uint32_t>(bits));
  b.U32(0);
  b.U32(static_cast<uint32_t>(rowBytes * height + (mask ? maskRow * height : 0)));
  b.U32(mask ? 0 : 3780);
  b.U32(mask ? 0 : 3780);
  b.U32(bits == 4 ? 16 : 0);  // an 8-bit image leaves the count to its depth
  b.U32(0);
  for (int i = 0; i < colours; ++i) {
    uint32_t c = i < 16 ? kPalette[i] : 0;
    b.U8(c & 0xFF);          // blue
    b.U8((c >> 8) & 0xFF);   // green
    b.U8((c >> 16) & 0xFF);  // red
    b.U8(0);
  }
  for (int y = height - 1; y >= 0; --y) {
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes), 0);
    for (int x = 0; x < width; ++x) {
      int v = px[static_cast<size_t>(y)][static_cast<size_t>(x)];
      if (v < 0) v = 0;
      if (bits == 8) {
        row[static_cast<size_t>(x)] = static_cast<uint8_t>(v);
      } else {
        row[static_cast<size_t>(x / 2)] |= static_cast<uint8_t>(x % 2 == 0 ? v << 4 : v);
      }
    }
    b.Raw(row);
  }
  if (mask) {
    for (int y = height - 1; y >= 0; --y) {
      std::vector<uint8_t> row(static_cast<size_t>(maskRow), 0);
      for (int x = 0; x < width; ++x) {
        if (px[static_cast<size_t>(y)][static_cast<size_t>(x)] < 0) {
          row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
      }
      b.Raw(row);
    }
  }
  return b.b;
}

void Compiler::EncodeImage(Rec* r) {
  const Section& s = *r->sec;
  FieldSet f(s, d_, {"id", "kind", "scale", "bits", "file"}, {"row"});
  Bytes b = Start(r);
  int64_t kind = NumField(f, "kind", 1, 2, 1);
  int w = 0, h = 0, bits = 4;
  std::vector<std::vector<int>> px;
  if (!Pixels(r, f, &w, &h, &bits, &px)) return;
  std::vector<uint8_t> dib = Dib(w, h, bits, px, false);
  b.U8(static_cast<uint32_t>(kind));
  b.U16(static_cast<uint32_t>(w));
  b.U16(static_cast<uint32_t>(h));
  b.U16(0);  // the block the reader skips: empty
  uint32_t colourBytes = bits == 4 ? 64 : 1024;
  b.U32(static_cast<uint32_t>(14 + dib.size()));
  b.U8('B');
  b.U8('M');
  b.U32(static_cast<uint32_t>(14 + dib.size()));
  b.U16(0);
  b.U16(0);
  b.U32(14 + 40 + colourBytes);
  b.Raw(dib);
  Finish(r, b);
}

void Compiler::EncodeIcon(Rec* r) {
  const Section& s = *r->sec;
  FieldSet f(s, d_, {"id", "scale", "bits", "file"}, {"row"});
  Bytes b = Start(r);
  int w = 0, h = 0, bits = 4;
  std::vector<std::vector<int>> px;
  if (!Pixels(r, f, &w, &h, &bits, &px)) return;
  if (w != 32 || h != 32) d_->Error(s.loc, "an icon is 32 by 32 pixels (" + std::to_string(w) + " by " + std::to_string(h) + " given)");
  std::vector<uint8_t> dib = Dib(w, h, bits, px, true);
  b.U16(static_cast<uint32_t>(dib.size()));
  b.Raw(dib);
  Finish(r, b);
}

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
              "widths", "flag", "printer_name", "symbol_set", "file", "aspecty", "aspectx", "ascent", "descent",
              "linespacing", "italic", "underlined", "struckout", "weight", "charset", "avgwidth", "maxwidth",
              "first", "last", "defaultchar", "breakchar", "capheight", "xheight", "lowestppem", "italicangle",
              "underline", "strikeout", "subscript", "superscript", "suboffset", "superoffset", "strikepos"},
             {"kern"});
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
  if (const SrcLine* l = f.One("widths")) {
    for (size_t i = 1; i < l->toks.size(); ++i) {
      int64_t w = 0;
      if (Num(*l, i, 0, 0xFFFF, &w, "width")) widths.push_back(static_cast<int>(w));
    }
    if (static_cast<int>(widths.size()) > count) d_->Error(l->loc, "more widths than characters");
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

void Compiler::EncodeEjcl(Rec* r) {
  const Section& s = *r->sec;
  FieldSet f(s, d_, {"id", "hint", "command", "argument", "flag", "file"}, {"cond"});
  Bytes b = Start(r);
  int64_t hint = NumField(f, "hint", 0, 0xFFFF, 0);
  b.U16(static_cast<uint32_t>(hint));
  Conditions(b, f.All("cond"));
  size_t before = b.size();
  PutString(b, f.One("command"), 1, true, s.loc, "command");
  size_t cmd = b.size() - before - 2;
  before = b.size();
  PutString(b, f.One("argument"), 1, false, s.loc, "argument");
  size_t arg = b.size() - before - 2;
  if (hint == 0 && arg == 0) d_->Error(s.loc, "a command without a hint id needs its argument");
  ejclBound_ += static_cast<uint32_t>(3 * (cmd + arg) + 3 + (hint != 0 ? kHintValueBound : 0));
  if (fmtPacked_ >= 1280) {
    b.U16(static_cast<uint32_t>(NumField(f, "flag", 0, 0xFFFF, 0)));
  } else {
    Gate(f.One("flag"), 1280);
  }
  Finish(r, b);
}

void Compiler::EncodeNrv(Rec* r) {
  const Section& s = *r->sec;
  FieldSet f(s, d_, {"id", "byte1", "byte2", "data", "file"}, {"cond"});
  Bytes b = Start(r);
  Conditions(b, f.All("cond"));
  b.U8(static_cast<uint32_t>(NumField(f, "byte1", 0, 255, 0)));
  b.U8(static_cast<uint32_t>(NumField(f, "byte2", 0, 255, 0)));
  std::vector<uint8_t> data;
  if (const SrcLine* l = f.One("data")) {
    Arity(*l, 2);
    if (l->toks.size() == 2) ScalarBytes(l->loc, 9, 0, l->toks[1], &data);
  }
  b.U16(static_cast<uint32_t>(data.size()));
  b.Raw(data);
  Finish(r, b);
}

void Compiler::EncodePaperType(Rec* r) {
  const Section& s = *r->sec;
  FieldSet f(s, d_, {"id", "name", "duplex", "name2", "file"});
  if (fmtPacked_ < 512) d_->Error(s.loc, "paper types need format version 512 or later");
  Bytes b = Start(r);
  PutString(b, f.One("name"), 1, true, s.loc, "name");
  b.U8(static_cast<uint32_t>(NumField(f, "duplex", 0, 255, 0)));
  if (fmtPacked_ >= 1024) {
    PutString(b, f.One("name2"), 1, false, s.loc, "name2");
  } else {
    Gate(f.One("name2"), 1024);
  }
  Finish(r, b);
}

void Compiler::ParseGroup(Rec* r) {
  if (r->sec != nullptr) {
    const Section& s = *r->sec;
    FieldSet f(s, d_, {"values", "file"});
    const SrcLine* l = f.One("values");
    if (l == nullptr || l->toks.size() != 2 || l->toks[1].kind != TokKind::Word) {
      d_->Error(s.loc, "a group holds one line: values T:[a,b,...]");
    } else {
      size_t i = 1;
      Value v;
      size_t before = byCat_[20].size();
      if (TypedValue(*l, &i, &v) && v.type == 128 && byCat_[20].size() == before + 1) {
        // The list made an anonymous group: take its elements over.
        Rec* anon = byCat_[20].back();
        r->gType = anon->gType;
        r->gSize = anon->gSize;
        r->gElems = anon->gElems;
        byCat_[20].pop_back();
      } else {
        d_->Error(l->loc, "a group holds a list of values T:[a,b,...]");
      }
    }
  }
}

void Compiler::EncodeGroup(Rec* r) {
  Bytes b = Start(r);
  b.U16(0);
  b.U8(static_cast<uint32_t>(r->gType));
  b.U16(static_cast<uint32_t>(r->gSize));
  b.U32(0);
  b.U16(static_cast<uint32_t>(r->gElems.size()));
  for (const auto& e : r->gElems) b.Raw(e);
  Finish(r, b);
}

void Compiler::EncodeFavorite(Rec* r) {
  const Section& s = *r->sec;
  FieldSet f(s, d_, {"id", "name", "file"}, {"set"});
  Bytes b = Start(r);
  PutString(b, f.One("name"), 1, true, s.loc, "name");
  b.U32(0);  // skipped by the reader
  auto sets = f.All("set");
  b.U16(static_cast<uint32_t>(sets.size()));
  for (const SrcLine* l : sets) {
    int64_t ddm = 0;
    size_t i = 2;
    Value v;
    if (!Num(*l, 1, 1, 0xFFFF, &ddm, "DDM id") || !TypedValue(*l, &i, &v)) continue;
    if (v.type == 128 || v.type == 9 || (v.type != 6 && v.size > 4)) {
      d_->Error(l->loc, "a favourite's value is a string or a number of at most 4 bytes");
    }
    if (i != l->toks.size()) d_->Error(l->loc, "extra words after the value");
    if (v.type != 128 && v.type != 9) {
      // A string goes to its member as UTF-16 with its NUL; a value
      // without payload is checked by its type alone.
      int size = v.type == 6 ? (v.size + 1) * 2 : v.count == 0 ? ExchangeSize(v.type) : v.size;
      std::string who = s.sym.empty() ? std::string("the favourite's setting") : "favourite " + s.sym + "'s setting";
      CheckWrittenValue(l->loc, who, static_cast<int>(ddm), v.type, size,
                        v.type == 6 ? std::vector<uint8_t>() : v.payload);
    }
    b.U16(static_cast<uint32_t>(ddm));
    PutValue(b, v);
  }
  Finish(r, b);
}

void Compiler::EncodeAdcQuery(Rec* r) {
  const Section& s = *r->sec;
  FieldSet f(s, d_, {"id", "ddm", "kind", "vtype", "vsize", "mode", "flag", "field4", "file"}, {"query", "extra"});
  Bytes b = Start(r);
  int64_t ddm = NumField(f, "ddm", 0, 0xFFFF, 0);
  b.U16(static_cast<uint32_t>(ddm));
  b.U16(static_cast<uint32_t>(NumField(f, "kind", 0, 0xFFFF, 0)));
  int64_t vtype = NumField(f, "vtype", 0, 255, 0);
  b.U8(static_cast<uint32_t>(vtype));
  int64_t vsize = NumField(f, "vsize", 0, 0xFFFF, 0);
  if ((vtype == 1 || vtype == 10) && vsize == 0) d_->Error(s.loc, "a value of type 1 or 10 must have a size");
  // The answer is stored in the member the query names.
  const SrcLine* vl = f.One("vtype");
  CheckWrittenValue(vl != nullptr ? vl->loc : s.loc, "the device query's answer", static_cast<int>(ddm),
                    static_cast<int>(vtype), static_cast<int>(vsize), {});
  b.U16(static_cast<uint32_t>(vsize));
  b.U8(static_cast<uint32_t>(NumField(f, "mode", 0, 255, 0)));
  b.U16(static_cast<uint32_t>(NumField(f, "flag", 0, 0xFFFF, 0)));
  b.U16(static_cast<uint32_t>(NumField(f, "field4", 0, 0xFFFF, 0)));
  Bytes q;
  auto queries = f.All("query");
  q.U16(static_cast<uint32_t>(queries.size()));
  for (const SrcLine* l : queries) {
    Arity(*l, 2);
    if (l->toks.size() == 2) PutStringTok(q, l->loc, l->toks[1]);
  }
  b.U32(static_cast<uint32_t>(q.size()));
  b.Raw(q.b);
  Bytes e;
  auto extras = f.All("extra");
  e.U16(static_cast<uint32_t>(extras.size()));
  for (const SrcLine* l : extras) {
    size_t i = 1;
    Value v;
    if (!TypedValue(*l, &i, &v)) continue;
    if (v.type == 128 || v.type == 9 || (v.type != 6 && v.size > 4)) {
      d_->Error(l->loc, "an extra value is a string or a number of at most 4 bytes");
    }
    PutValue(e, v);
  }
  b.U32(static_cast<uint32_t>(e.size()));
  b.Raw(e.b);
  Finish(r, b);
}

void Compiler::EncodeTrayIndex(Rec* r) {
  const Section& s = *r->sec;
  FieldSet f(s, d_, {"id", "file"}, {"cond", "entry"});
  Bytes b = Start(r);
  Conditions(b, f.All("cond"));
  Bytes e;
  auto entries = f.All("entry");
  e.U16(static_cast<uint32_t>(entries.size()));
  for (const SrcLine* l : entries) {
    Arity(*l, 4);
    for (size_t i = 1; i <= 3; ++i) {
      int64_t v = 0;
      Num(*l, i, 0, 0xFFFF, &v, "entry value");
      e.U16(static_cast<uint32_t>(v));
    }
  }
  b.U32(static_cast<uint32_t>(e.size()));
  b.Raw(e.b);
  Finish(r, b);
}

void Compiler::EncodeAll() {
  // Records that may make anonymous sizes and groups come first; sizes and
  // groups last.
  for (int cat : {7, 8, 9, 15, 16, 21, 22, 23, 3, 4, 13, 14, 10, 5, 6, 11, 12, 18, 19}) {
    for (Rec* r : std::vector<Rec*>(byCat_[cat])) {
      switch (cat) {
        case 3: case 4: EncodeOption(r); break;
        case 13: case 14: EncodeItem(r); break;
        case 5: case 6: EncodeTray(r); break;
        case 7: case 8: EncodeConstraint(r); break;
        case 9: EncodeImCondition(r); break;
        case 10: EncodePaper(r); break;
        case 11: EncodeFont(r); break;
        case 12: EncodeImage(r); break;
        case 15: EncodeEjcl(r); break;
        case 16: EncodeNrv(r); break;
        case 18: EncodeIcon(r); break;
        case 19: EncodePaperType(r); break;
        case 21: EncodeFavorite(r); break;
        case 22: EncodeAdcQuery(r); break;
        case 23: EncodeTrayIndex(r); break;
        default: break;
      }
    }
  }
  for (Rec* r : std::vector<Rec*>(byCat_[17])) EncodeSize(r);
  for (Rec* r : std::vector<Rec*>(byCat_[20])) EncodeGroup(r);
}

Bytes Compiler::PrinterInfo() {
  Bytes b;
  for (int n = 0; n <= 41; ++n) {
    const InfoDef d = kInfo[n];
    if (n == 0) {
      b.U32(0);  // filled by Layout
      continue;
    }
    if (n == 2) {
      if (ejclBound_ == 0) ejclBound_ = 1;
      b.U32(ejclBound_);
      continue;
    }
    auto it = info_.find(n);
    if (it == info_.end()) {
      if (d.count == 0) b.U16(0);
      else if (d.size == 0) b.U16(0);
      else b.Zeros(static_cast<size_t>(d.size));
      continue;
    }
    const SrcLine& l = *it->second;
    size_t values = l.toks.size() - 2;
    if (d.count == 1 && values != 1) {
      d_->Error(l.loc, "PrinterInfo item " + std::to_string(n) + " holds one value");
      b.Zeros(d.size == 0 ? 2 : static_cast<size_t>(d.size));
      continue;
    }
    if (d.count == 0) b.U16(static_cast<uint32_t>(values));
    if (values > 0xFFFF) d_->Error(l.loc, "an item holds at most 65535 elements");
    for (size_t i = 2; i < l.toks.size(); ++i) {
      const Tok& t = l.toks[i];
      if (d.size == 0) {
        if (t.kind != TokKind::String) d_->Error(l.loc, "PrinterInfo item " + std::to_string(n) + " holds texts");
        std::vector<uint8_t> body;
        if (t.kind == TokKind::String) StringBody(l.loc, t.text, &body);
        b.U16(static_cast<uint32_t>(body.size()));
        b.Raw(body);
        continue;
      }
      int64_t v = 0;
      if (t.kind == TokKind::Ref) {
        v = RefId(l.loc, t, t.refKind, false);
      } else if (t.kind == TokKind::Number) {
        v = t.number;
        int64_t hi = d.size == 1 ? 0xFF : d.size == 2 ? 0xFFFF : 0xFFFFFFFFll;
        int64_t lo = d.size == 1 ? -128 : d.size == 2 ? -32768 : INT32_MIN;
        if (v < lo || v > hi) d_->Error(l.loc, "value " + std::to_string(v) + " does not fit the item's element");
      } else {
        d_->Error(l.loc, "PrinterInfo item " + std::to_string(n) + " holds numbers");
      }
      for (int k = 0; k < d.size; ++k) b.U8(static_cast<uint32_t>(static_cast<uint64_t>(v) >> (8 * k)));
    }
  }
  return b;
}

void Compiler::CheckInvariants() {
  auto textOf = [&](int n, size_t idx) -> std::string {
    auto it = info_.find(n);
    if (it == info_.end() || it->second->toks.size() <= 2 + idx) return "";
    return it->second->toks[2 + idx].text;
  };
  for (int n : {30, 33}) {
    auto it = info_.find(n);
    std::string p = textOf(n, 0);
    if (it != info_.end() && (p.empty() || p.back() != '\\')) {
      d_->Error(it->second->loc, "registry path (PrinterInfo item " + std::to_string(n) + ") must end with a backslash");
    }
  }
  for (int n : {1, 40}) {
    auto it = info_.find(n);
    if (it != info_.end() && it->second->toks.size() == 3 && it->second->toks[2].kind == TokKind::Number &&
        it->second->toks[2].number != 0 && FindById(12, static_cast<int>(it->second->toks[2].number)) == nullptr) {
      d_->Error(it->second->loc, "PrinterInfo item " + std::to_string(n) + " names no image");
    }
  }
  if (auto it = info_.find(34); it != info_.end()) {
    for (size_t i = 2; i < it->second->toks.size(); ++i) {
      const Tok& t = it->second->toks[i];
      if (t.kind == TokKind::Number && FindById(10, static_cast<int>(t.number)) == nullptr) {
        d_->Error(it->second->loc, "paper id " + std::to_string(t.number) + " in PrinterInfo item 34 names no paper");
      }
    }
  }
  if (auto it = info_.find(41); it != info_.end() && it->second->toks.size() == 3 &&
                                it->second->toks[2].kind == TokKind::Number) {
    if (it->second->toks[2].number < static_cast<int64_t>(byCat_[10].size())) {
      d_->Error(it->second->loc, "PrinterInfo item 41 (room for paper entries) is below the number of papers (" +
                                     std::to_string(byCat_[10].size()) + ")");
    }
  }
  for (int cat : {13, 14}) {
    int pos = 1;
    for (Rec* r : byCat_[cat]) {
      if (r->id != pos++) d_->Error(r->loc, "item ids must equal their positions");
    }
  }
  for (Rec* r : byCat_[5]) (void)r;
}

std::vector<uint8_t> Compiler::Header(bool main) {
  Bytes b;
  auto fixed = [&](const std::string& utf8, size_t n) {
    std::vector<uint8_t> ansi;
    std::string bad;
    ToCp1252(utf8, &ansi, &bad);
    ansi.resize(n, 0);
    ansi[n - 1] = 0;
    b.Raw(ansi);
  };
  fixed(headerText_, 64);
  fixed(versionStr_, 24);
  b.U32(0);
  for (uint8_t c : fmt_) b.U8(c);
  fixed(modelName_, 64);
  fixed(main ? refName_ : std::string(), 64);
  return b.b;
}

void Compiler::Layout(Output* out) {
  for (const auto& [cat, list] : byCat_) {
    if (list.size() > 0xFFFF) d_->Error(Loc{"source", 0}, "category " + std::to_string(cat) + " holds more than 65535 records");
    for (Rec* r : list) {
      if (r->id > 0xFFFF) d_->Error(r->loc, "no id is left for this record");
    }
  }
  Bytes info = PrinterInfo();
  // Category table right after PrinterInfo.
  uint32_t catTable = 224 + static_cast<uint32_t>(info.size());
  uint32_t pos = catTable + 4 + 2 + 21 * 7;
  std::map<int, uint32_t> tableAt;
  for (int cat : kCatOrder) {
    tableAt[cat] = pos;
    pos += 4 + 2 + 7 * static_cast<uint32_t>(byCat_[cat].size());
  }
  uint32_t mainPos = pos, refPos = pos;
  for (int cat : kCatOrder) {
    for (Rec* r : byCat_[cat]) {
      uint32_t& p = r->inRef ? refPos : mainPos;
      r->offset = p;
      p += static_cast<uint32_t>(r->bytes.size());
    }
  }
  info.Put32At(0, catTable - 228);
  Bytes tables;
  tables.U32(2 + 21 * 7);
  tables.U16(21);
  for (int cat : kCatOrder) {
    tables.U8(0);
    tables.U16(static_cast<uint32_t>(cat));
    tables.U32(tableAt[cat]);
  }
  for (int cat : kCatOrder) {
    const auto& list = byCat_[cat];
    tables.U32(static_cast<uint32_t>(2 + 7 * list.size()));
    tables.U16(static_cast<uint32_t>(list.size()));
    for (Rec* r : list) {
      tables.U8(r->inRef ? 1 : 2);
      tables.U16(static_cast<uint32_t>(r->id));
      tables.U32(r->offset);
    }
  }
  auto build = [&](bool main) {
    Bytes f;
    f.Raw(Header(main));
    f.Raw(info.b);
    f.Raw(tables.b);
    for (int cat : kCatOrder) {
      for (Rec* r : byCat_[cat]) {
        if (r->inRef != main) f.Raw(r->bytes.b);
      }
    }
    return f.b;
  };
  out->main = build(true);
  out->referencedName = refName_;
  if (!refName_.empty()) out->referenced = build(false);
  if (static_cast<uint64_t>(mainPos) > 0x7FFFFFFF || static_cast<uint64_t>(refPos) > 0x7FFFFFFF) {
    d_->Error(Loc{"source", 0}, "the model is too large");
  }
}

void Compiler::Run(const Source& src, Output* out) {
  Globals(src);
  Declare(src);
  AssignIds();
  if (d_->Failed()) return;
  for (Rec* r : std::vector<Rec*>(byCat_[17])) ParseSize(r);
  for (Rec* r : std::vector<Rec*>(byCat_[20])) ParseGroup(r);
  Rules();
  EncodeAll();
  CheckInvariants();
  if (d_->Failed()) return;
  // Layout must see the item-2 bound, which the EJCL records set.
  Layout(out);
  if (d_->Failed()) {
    out->main.clear();
    out->referenced.clear();
  }
}

}  // namespace

Output CompileText(const std::string& text, const std::string& name, const std::string& baseDir) {
  Output out;
  Diags d;
  Source src;
  ReadSource(text, name, baseDir, &src, &d);
  if (!d.Failed()) {
    Compiler c(&d);
    c.Run(src, &out);
  }
  out.errors = d.errors;
  out.ok = d.errors.empty();
  if (!out.ok) {
    out.main.clear();
    out.referenced.clear();
  }
  return out;
}

}  // namespace kestrel::dddc
