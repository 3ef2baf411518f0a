// The encoders of the primitives every record is built from: Strings,
// devmode values, ITEMs, condition and id lists, sizes written inline, and
// the record start.
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "compiler.h"

namespace kestrel::dddc {

bool Compiler::AnsiText(const Loc& loc, const std::string& utf8, std::vector<uint8_t>* ansi) {
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
bool Compiler::StringBody(const Loc& loc, const std::string& utf8, std::vector<uint8_t>* body) {
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
void Compiler::PutString(Bytes& out, const SrcLine* l, size_t i, bool required, const Loc& secLoc, const char* what) {
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

void Compiler::PutStringTok(Bytes& out, const Loc& loc, const Tok& t) {
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

bool Compiler::ScalarBytes(const Loc& loc, int type, int size, const Tok& t, std::vector<uint8_t>* key) {
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
bool Compiler::MakeScalar(const Loc& loc, int type, int size, const std::vector<uint8_t>& key, Value* v) {
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

Rec* Compiler::NewGroup(const Loc& loc, int type, int size, const std::vector<std::vector<uint8_t>>& elems) {
  Rec* g = NewRec("group", DDD_CAT_GROUPED, "", loc);
  g->id = static_cast<int>(byCat_[DDD_CAT_GROUPED].size()) + 1;
  g->gType = type;
  g->gSize = size;
  g->gElems = elems;
  Place(g);
  return g;
}

// A typed value written in the source: T:N, T:[a,b,...], T:none, str:"x",
// bin:HEX, or @group:sym. Consumes toks[*i...].
bool Compiler::TypedValue(const SrcLine& l, size_t* i, Value* v) {
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

void Compiler::PutValue(Bytes& out, const Value& v) {
  out.U8(static_cast<uint32_t>(v.type));
  out.U16(static_cast<uint32_t>(v.size));
  if (v.size != 0) out.Raw(v.payload);
}

// ITEM: DDM id, operator, value (toks from *i).
bool Compiler::Item(const SrcLine& l, size_t* i, Bytes& out, int* ddmOut, Value* vOut) {
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
void Compiler::Conditions(Bytes& out, const std::vector<const SrcLine*>& lines) {
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

void Compiler::IdList(Bytes& out, const std::vector<int>& ids) {
  if (ids.size() > 0xFFFF) d_->Error(Loc{"source", 0}, "a list holds at most 65535 ids");
  out.U32(static_cast<uint32_t>(2 + 2 * ids.size()));
  out.U16(static_cast<uint32_t>(ids.size()));
  for (int id : ids) out.U16(static_cast<uint32_t>(id));
}

// A size written inline: fixed W L | range W1 L1 W2 L2 | @size:sym.
int Compiler::SizeField(const SrcLine* l, const Loc& secLoc, const char* what, bool margin) {
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

int Compiler::AnonSize(const Loc& loc, int w1, int l1, int w2, int l2) {
  std::string key = std::to_string(w1) + "," + std::to_string(l1) + "," + std::to_string(w2) + "," +
                    std::to_string(l2);
  auto it = anonSizes_.find(key);
  if (it != anonSizes_.end()) return it->second->id;
  Rec* r = NewRec("size", DDD_CAT_SIZE, "", loc);
  r->id = NextId(DDD_CAT_SIZE);
  r->w1 = w1;
  r->l1 = l1;
  r->w2 = w2;
  r->l2 = l2;
  Place(r);
  anonSizes_[key] = r;
  return r->id;
}

Bytes Compiler::Start(const Rec* r) {
  Bytes b;
  b.U32(0);  // record length, filled by Finish
  b.U16(static_cast<uint32_t>(r->id));
  return b;
}

void Compiler::Finish(Rec* r, Bytes& b) {
  b.Put32At(0, static_cast<uint32_t>(b.size()));
  r->bytes = b;
}

}  // namespace kestrel::dddc
