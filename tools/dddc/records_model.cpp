// Encoders of the model's command and data records: EJCL command templates
// (category 15), NRV data blocks (16), grouped devmode values (20),
// favourites (21) and device queries (22).
#include "compiler.h"

namespace kestrel::dddc {

namespace {

// The EJCL header writer sizes its buffer from PrinterInfo item 2: the bytes
// the command records can produce. The compiler counts, per record, three
// bytes per stored character of command and argument (a character of code
// page 1252 takes at most three bytes of UTF-8), two quotes and the line end,
// and for a record with a hint id room for the value the hint writes.
constexpr uint32_t kHintValueBound = 768;

}  // namespace

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
      size_t before = byCat_[DDD_CAT_GROUPED].size();
      if (TypedValue(*l, &i, &v) && v.type == 128 && byCat_[DDD_CAT_GROUPED].size() == before + 1) {
        // The list made an anonymous group: take its elements over.
        Rec* anon = byCat_[DDD_CAT_GROUPED].back();
        r->gType = anon->gType;
        r->gSize = anon->gSize;
        r->gElems = anon->gElems;
        byCat_[DDD_CAT_GROUPED].pop_back();
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

}  // namespace kestrel::dddc
