// The dddc compiler's declarations: the records it resolves a source into,
// the field lookup of a section, and the compiler's state and steps. The
// steps are defined in
//   compiler.cpp        source resolution: globals, declarations, ids, rules,
//                       invariants, and the order of the steps (Run)
//   values.cpp          encoders of the primitives every record is built from
//   records_*.cpp       one encoder per record kind, grouped by family
//   layout.cpp          the file assembly: header, PrinterInfo, category and
//                       data-offset tables, record offsets
// The file layout itself is kestrel/core/ddd_layout.h.
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "dddc.h"
#include "encode.h"
#include "kestrel/core/ddd_layout.h"
#include "member_check.h"
#include "source.h"

namespace kestrel::dddc {

// The category a record kind of the source is stored in; 0 for option and
// item (chosen by id), -1 for no such kind.
int CatOfKind(const std::string& kind);

// The category a DDM id's option lives in, and the data id it is found by.
// 0 when no option of that id can ever be found by its DDM id.
int OptionCategory(int ddm, int* dataId);

// A value type as the source names it (bool, i16, ..., str, bin).
struct TypeName {
  const char* name;
  int type;
  int size;  // natural stored size; 0 = by content
};
const TypeName* FindType(const std::string& n);

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

// The fields of one section, by key: `singles` may be given once, `multis`
// any number of times; any other key is an error.
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

  // --- source resolution (compiler.cpp) ---
  void Globals(const Source& src);
  void Declare(const Source& src);
  void AssignIds();
  void Rules();
  void EncodeAll();
  void CheckInvariants();

  // Field readers: a number at toks[i] within lo..hi; a line's token count;
  // a single numeric field with its default; a field that needs a later
  // format version.
  bool Num(const SrcLine& l, size_t i, int64_t lo, int64_t hi, int64_t* v, const char* what);
  void Arity(const SrcLine& l, size_t n);
  int64_t NumField(const FieldSet& f, const char* key, int64_t lo, int64_t hi, int64_t dflt, bool required = false,
                   const Loc* secLoc = nullptr);
  bool Gate(const SrcLine* l, int64_t version);

  // Records and their symbols.
  Rec* NewRec(const std::string& kind, int cat, const std::string& sym, const Loc& loc);
  void Place(Rec* r) { byCat_[r->cat].push_back(r); }
  int NextId(int cat);
  Rec* Lookup(const Loc& loc, const Tok& t, const std::string& wantKind);
  Rec* FindById(int cat, int id);
  // An ID field: a reference of the wanted kind, or a number naming an
  // existing record of the category (0 allowed when `zeroOk`).
  int RefId(const Loc& loc, const Tok& t, const std::string& kind, bool zeroOk);

  // The devmode-member check (member_check.h): an option's declared value
  // must fit the member its DDM id names; an id without member is not
  // checked.
  void CheckOptionMember(Rec* r, const SrcLine& valueLine);
  // A value the source writes to a member by DDM id outside an option (a
  // favourite's setting, a device query's answer): the same check. `size` is
  // the value's bytes as exchanged (a string's with its NUL); `value` the
  // scalar's bytes, empty for none.
  void CheckWrittenValue(const Loc& loc, const std::string& who, int ddm, int type, int size,
                         const std::vector<uint8_t>& value);

  // --- primitives (values.cpp) ---
  bool AnsiText(const Loc& loc, const std::string& utf8, std::vector<uint8_t>* ansi);
  // Stored bytes of a String body. A text whose last character is 0xFF
  // would be stored ending in 0 and could be taken for an external-string
  // reference: refused.
  bool StringBody(const Loc& loc, const std::string& utf8, std::vector<uint8_t>* body);
  // A String field at toks[i...]: "text", optionally followed by
  // `res <selector> <string id>` for an external string whose fallback is
  // the text.
  void PutString(Bytes& out, const SrcLine* l, size_t i, bool required, const Loc& secLoc, const char* what);
  void PutStringTok(Bytes& out, const Loc& loc, const Tok& t);
  bool ScalarBytes(const Loc& loc, int type, int size, const Tok& t, std::vector<uint8_t>* key);
  // Fills `v` with a scalar value of the declared type and size from the
  // matching key bytes.
  bool MakeScalar(const Loc& loc, int type, int size, const std::vector<uint8_t>& key, Value* v);
  Rec* NewGroup(const Loc& loc, int type, int size, const std::vector<std::vector<uint8_t>>& elems);
  // A typed value written in the source: T:N, T:[a,b,...], T:none, str:"x",
  // bin:HEX, or @group:sym. Consumes toks[*i...].
  bool TypedValue(const SrcLine& l, size_t* i, Value* v);
  static void PutValue(Bytes& out, const Value& v);
  // ITEM: DDM id, operator, value (toks from *i).
  bool Item(const SrcLine& l, size_t* i, Bytes& out, int* ddmOut, Value* vOut);
  // List of ITEM with connective from `cond` lines.
  void Conditions(Bytes& out, const std::vector<const SrcLine*>& lines);
  void IdList(Bytes& out, const std::vector<int>& ids);
  // A size written inline: fixed W L | range W1 L1 W2 L2 | @size:sym.
  int SizeField(const SrcLine* l, const Loc& secLoc, const char* what, bool margin = false);
  int AnonSize(const Loc& loc, int w1, int l1, int w2, int l2);
  // The record start (length, filled by Finish, and data id) and its end.
  Bytes Start(const Rec* r);
  static void Finish(Rec* r, Bytes& b);

  // --- record encoders (records_*.cpp) ---
  void EncodeOption(Rec* r);
  void EncodeItem(Rec* r);
  void EncodeConstraint(Rec* r);
  void EncodeImCondition(Rec* r);
  void EncodeTray(Rec* r);
  void ParseSize(Rec* r);
  void EncodeSize(Rec* r);
  void EncodePaper(Rec* r);
  void EncodePaperType(Rec* r);
  void EncodeTrayIndex(Rec* r);
  bool Pixels(const Rec* r, const FieldSet& f, int* width, int* height, int* bits, std::vector<std::vector<int>>* px);
  void EncodeImage(Rec* r);
  void EncodeIcon(Rec* r);
  void EncodeFont(Rec* r);
  void EncodeEjcl(Rec* r);
  void EncodeNrv(Rec* r);
  void ParseGroup(Rec* r);
  void EncodeGroup(Rec* r);
  void EncodeFavorite(Rec* r);
  void EncodeAdcQuery(Rec* r);

  // --- file assembly (layout.cpp) ---
  Bytes PrinterInfo();
  std::vector<uint8_t> Header(bool main);
  void Layout(Output* out);
};

}  // namespace kestrel::dddc
