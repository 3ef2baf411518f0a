// Encoders of the paper-handling records: trays (categories 5 and 6), sizes
// (17), papers (10), paper types (19) and the tray index (23).
#include "compiler.h"

namespace kestrel::dddc {

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
    Rec* ps = FindById(DDD_CAT_SIZE, size);
    Rec* ms = FindById(DDD_CAT_SIZE, margin);
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

}  // namespace kestrel::dddc
