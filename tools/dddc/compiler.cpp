// The dddc compiler: resolves a read source into records, checks the
// invariants the readers rely on, and runs the steps in order: the record
// encoders (records_*.cpp) and the file assembly (layout.cpp) follow from
// here.
#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "compiler.h"
#include "kestrel/core/ddm_ids.h"

namespace kestrel::dddc {

namespace {

struct KindInfo {
  const char* name;
  int cat;  // 0 for option/item (3/4, 13/14 chosen by id)
};
constexpr KindInfo kKinds[] = {
    {"option", 0},                    {"item", 0},                       {"tray", DDD_CAT_TRAY},
    {"outbin", DDD_CAT_TRAY2},        {"constraint", DDD_CAT_CONSTRAINTS}, {"constraint2", DDD_CAT_CONSTRAINTS2},
    {"imcondition", DDD_CAT_IMCONDITION}, {"paper", DDD_CAT_PAPER},      {"font", DDD_CAT_FONT},
    {"image", DDD_CAT_IMAGE},         {"ejcl", DDD_CAT_EJCL},            {"nrv", DDD_CAT_NRV},
    {"size", DDD_CAT_SIZE},           {"icon", DDD_CAT_ICON},            {"papertype", DDD_CAT_PAPERTYPE},
    {"group", DDD_CAT_GROUPED},       {"favorite", DDD_CAT_FAVORITE},    {"adcquery", DDD_CAT_ADCQUERY},
    {"trayindex", DDD_CAT_TRAYINDEX}};

constexpr TypeName kTypes[] = {{"bool", 1, 4}, {"i16", 2, 2}, {"u16", 3, 2}, {"i32", 4, 4}, {"u32", 5, 4},
                               {"str", 6, 0},  {"u8", 8, 1},  {"bin", 9, 0}, {"long", 10, 4}};

}  // namespace

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
  if (ddm == DDM_COLORSENSORUNIT) return DDD_CAT_OPTION_DOC;
  if (ddm >= DDM_OPTIONFLAGS_FIRST && ddm <= DDM_OPTIONS_LAST) return DDD_CAT_OPTION_INSTALL;
  if (ddm == DDM_DEVICENAME || ddm == DDM_MODELNAME || ddm == DDM_SELECT_PAPER || ddm == DDM_SELECT_TRAY ||
      ddm == DDM_SELECT_TRAY2 || ddm == DDM_SELECT_PAPERTYPE)
    return 0;
  // A colour adjustment is found by the first id of its place in the
  // objects' triples (the first, second or third adjustment of each object).
  if (ddm >= DDM_COLORADJUST_FIRST && ddm < DDM_COLORADJUST_FIRST + DDM_COLORADJUST_COUNT) {
    const int place = (ddm - DDM_COLORADJUST_FIRST) / DDM_COLORADJUST_OBJECTS;
    *dataId = DDM_COLORADJUST_FIRST + place * DDM_COLORADJUST_OBJECTS;
    return DDD_CAT_OPTION_DOC;
  }
  return DDD_CAT_OPTION_DOC;
}

const TypeName* FindType(const std::string& n) {
  for (const auto& t : kTypes) {
    if (n == t.name) return &t;
  }
  return nullptr;
}

bool Compiler::Num(const SrcLine& l, size_t i, int64_t lo, int64_t hi, int64_t* v, const char* what) {
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

void Compiler::Arity(const SrcLine& l, size_t n) {
  if (l.toks.size() != n) d_->Error(l.loc, "'" + l.key() + "' takes " + std::to_string(n - 1) + " value(s)");
}

int64_t Compiler::NumField(const FieldSet& f, const char* key, int64_t lo, int64_t hi, int64_t dflt, bool required,
                           const Loc* secLoc) {
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

bool Compiler::Gate(const SrcLine* l, int64_t version) {
  if (l != nullptr && fmtPacked_ < version) {
    d_->Error(l->loc, "field '" + l->key() + "' needs format version " + std::to_string(version) + " or later");
    return false;
  }
  return true;
}

Rec* Compiler::NewRec(const std::string& kind, int cat, const std::string& sym, const Loc& loc) {
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

int Compiler::NextId(int cat) {
  int& n = nextId_[cat];
  if (n == 0) n = 1;
  return n++;
}

Rec* Compiler::Lookup(const Loc& loc, const Tok& t, const std::string& wantKind) {
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

Rec* Compiler::FindById(int cat, int id) {
  for (Rec* r : byCat_[cat]) {
    if (r->id == id) return r;
  }
  return nullptr;
}

// An ID field: a reference of the wanted kind, or a number naming an
// existing record of the category (0 allowed when `zeroOk`).
int Compiler::RefId(const Loc& loc, const Tok& t, const std::string& kind, bool zeroOk) {
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

// The devmode-member check (member_check.h): an option's declared value
// must fit the member its DDM id names; an id without member is not
// checked.
void Compiler::CheckOptionMember(Rec* r, const SrcLine& valueLine) {
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
void Compiler::CheckWrittenValue(const Loc& loc, const std::string& who, int ddm, int type, int size,
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
      if (!Num(l, 1, 0, DDD_PRINTERINFO_END - 1, &n, "PrinterInfo item")) continue;
      if (n == DDD_PI_CATTABLE_OFFSET || n == DDD_PI_EJCL_BOUND) {
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
  for (int n = 1; n < DDD_PRINTERINFO_END; ++n) {
    if (n != DDD_PI_EJCL_BOUND && info_.count(n) == 0) d_->Error(top, "missing PrinterInfo item " + std::to_string(n));
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
        r->cat = DDD_CAT_OPTION_DOC;
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
      int itemCat = r->cat == DDD_CAT_OPTION_INSTALL ? DDD_CAT_OPTIONITEM_INSTALL : DDD_CAT_OPTIONITEM_DOC;
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
      r->id = static_cast<int>(byCat_[DDD_CAT_GROUPED].size()) + 1;
    }
    Place(r);
  }
}

void Compiler::AssignIds() {
  for (auto& [cat, list] : byCat_) {
    if (cat == DDD_CAT_OPTIONITEM_INSTALL || cat == DDD_CAT_OPTIONITEM_DOC || cat == DDD_CAT_GROUPED) continue;
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
  for (int cat : {DDD_CAT_PAPER, DDD_CAT_TRAY, DDD_CAT_TRAY2, DDD_CAT_PAPERTYPE}) {
    for (Rec* r : byCat_[cat]) {
      if (!r->explicitId) d_->Error(r->loc, r->kind + " " + r->sym + " needs its id");
    }
  }
  if (nextId_[DDD_CAT_SIZE] == 0) nextId_[DDD_CAT_SIZE] = 1;
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
  for (int cat : {DDD_CAT_OPTIONITEM_INSTALL, DDD_CAT_OPTIONITEM_DOC}) {
    for (Rec* it : byCat_[cat]) {
      for (const SrcLine& l : it->sec->fields) {
        if (l.key() == "value" && l.toks.size() == 2) {
          ScalarBytes(l.loc, it->option->vtype, it->option->vsize, l.toks[1], &it->key);
        }
      }
    }
  }
  d_ = keep;
  for (int cat : {DDD_CAT_CONSTRAINTS, DDD_CAT_CONSTRAINTS2}) {
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
        vt = pos >= 1 && pos <= byCat_[DDD_CAT_GROUPED].size() ? byCat_[DDD_CAT_GROUPED][pos - 1]->gType : 0;
      }
      if (v.count > 0 && vt != opt->vtype) {
        d_->Error(t->loc, "the target's value type " + std::to_string(vt) + " differs from option " + opt->sym +
                              "'s type " + std::to_string(opt->vtype));
        continue;
      }
      (cat == DDD_CAT_CONSTRAINTS ? opt->rules7 : opt->rules8).push_back(r->id);
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
        if (match) (cat == DDD_CAT_CONSTRAINTS ? it->rules7 : it->rules8).push_back(r->id);
      }
    }
  }
}

void Compiler::EncodeAll() {
  // Records that may make anonymous sizes and groups come first; sizes and
  // groups last.
  for (int cat : {DDD_CAT_CONSTRAINTS, DDD_CAT_CONSTRAINTS2, DDD_CAT_IMCONDITION, DDD_CAT_EJCL, DDD_CAT_NRV,
                  DDD_CAT_FAVORITE, DDD_CAT_ADCQUERY, DDD_CAT_TRAYINDEX, DDD_CAT_OPTION_INSTALL, DDD_CAT_OPTION_DOC,
                  DDD_CAT_OPTIONITEM_INSTALL, DDD_CAT_OPTIONITEM_DOC, DDD_CAT_PAPER, DDD_CAT_TRAY, DDD_CAT_TRAY2,
                  DDD_CAT_FONT, DDD_CAT_IMAGE, DDD_CAT_ICON, DDD_CAT_PAPERTYPE}) {
    for (Rec* r : std::vector<Rec*>(byCat_[cat])) {
      switch (cat) {
        case DDD_CAT_OPTION_INSTALL: case DDD_CAT_OPTION_DOC: EncodeOption(r); break;
        case DDD_CAT_OPTIONITEM_INSTALL: case DDD_CAT_OPTIONITEM_DOC: EncodeItem(r); break;
        case DDD_CAT_TRAY: case DDD_CAT_TRAY2: EncodeTray(r); break;
        case DDD_CAT_CONSTRAINTS: case DDD_CAT_CONSTRAINTS2: EncodeConstraint(r); break;
        case DDD_CAT_IMCONDITION: EncodeImCondition(r); break;
        case DDD_CAT_PAPER: EncodePaper(r); break;
        case DDD_CAT_FONT: EncodeFont(r); break;
        case DDD_CAT_IMAGE: EncodeImage(r); break;
        case DDD_CAT_EJCL: EncodeEjcl(r); break;
        case DDD_CAT_NRV: EncodeNrv(r); break;
        case DDD_CAT_ICON: EncodeIcon(r); break;
        case DDD_CAT_PAPERTYPE: EncodePaperType(r); break;
        case DDD_CAT_FAVORITE: EncodeFavorite(r); break;
        case DDD_CAT_ADCQUERY: EncodeAdcQuery(r); break;
        case DDD_CAT_TRAYINDEX: EncodeTrayIndex(r); break;
        default: break;
      }
    }
  }
  for (Rec* r : std::vector<Rec*>(byCat_[DDD_CAT_SIZE])) EncodeSize(r);
  for (Rec* r : std::vector<Rec*>(byCat_[DDD_CAT_GROUPED])) EncodeGroup(r);
}

void Compiler::CheckInvariants() {
  auto textOf = [&](int n, size_t idx) -> std::string {
    auto it = info_.find(n);
    if (it == info_.end() || it->second->toks.size() <= 2 + idx) return "";
    return it->second->toks[2 + idx].text;
  };
  for (int n : {DDD_PI_REGISTRY_PATH, DDD_PI_USER_REGISTRY_PATH}) {
    auto it = info_.find(n);
    std::string p = textOf(n, 0);
    if (it != info_.end() && (p.empty() || p.back() != '\\')) {
      d_->Error(it->second->loc, "registry path (PrinterInfo item " + std::to_string(n) + ") must end with a backslash");
    }
  }
  for (int n : {DDD_PI_MODEL_IMAGE, DDD_PI_LOGO_IMAGE}) {
    auto it = info_.find(n);
    if (it != info_.end() && it->second->toks.size() == 3 && it->second->toks[2].kind == TokKind::Number &&
        it->second->toks[2].number != 0 &&
        FindById(DDD_CAT_IMAGE, static_cast<int>(it->second->toks[2].number)) == nullptr) {
      d_->Error(it->second->loc, "PrinterInfo item " + std::to_string(n) + " names no image");
    }
  }
  if (auto it = info_.find(DDD_PI_PAPER_LIST); it != info_.end()) {
    for (size_t i = 2; i < it->second->toks.size(); ++i) {
      const Tok& t = it->second->toks[i];
      if (t.kind == TokKind::Number && FindById(DDD_CAT_PAPER, static_cast<int>(t.number)) == nullptr) {
        d_->Error(it->second->loc, "paper id " + std::to_string(t.number) + " in PrinterInfo item 34 names no paper");
      }
    }
  }
  if (auto it = info_.find(DDD_PI_PAPER_ROOM); it != info_.end() && it->second->toks.size() == 3 &&
                                it->second->toks[2].kind == TokKind::Number) {
    if (it->second->toks[2].number < static_cast<int64_t>(byCat_[DDD_CAT_PAPER].size())) {
      d_->Error(it->second->loc, "PrinterInfo item 41 (room for paper entries) is below the number of papers (" +
                                     std::to_string(byCat_[DDD_CAT_PAPER].size()) + ")");
    }
  }
  for (int cat : {DDD_CAT_OPTIONITEM_INSTALL, DDD_CAT_OPTIONITEM_DOC}) {
    int pos = 1;
    for (Rec* r : byCat_[cat]) {
      if (r->id != pos++) d_->Error(r->loc, "item ids must equal their positions");
    }
  }
  for (Rec* r : byCat_[DDD_CAT_TRAY]) (void)r;
}

void Compiler::Run(const Source& src, Output* out) {
  Globals(src);
  Declare(src);
  AssignIds();
  if (d_->Failed()) return;
  for (Rec* r : std::vector<Rec*>(byCat_[DDD_CAT_SIZE])) ParseSize(r);
  for (Rec* r : std::vector<Rec*>(byCat_[DDD_CAT_GROUPED])) ParseGroup(r);
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
