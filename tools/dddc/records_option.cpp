// Encoders of the option records (categories 3 and 4), their items (13 and
// 14) and the records that name options: constraints (7 and 8) and picture
// conditions (9).
#include "compiler.h"
#include "kestrel/core/ddm_ids.h"

namespace kestrel::dddc {

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
        if (refCat == DDD_CAT_PAPER && FindById(DDD_CAT_PAPER, refId) == nullptr) {
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
  if (o->id == DDM_PAPERSIZE && refCat != DDD_CAT_PAPER)
    d_->Error(s.loc, "an item of the paper list must stand for a paper ('ref @paper:...')");
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

}  // namespace kestrel::dddc
