// The file assembly of dddc: the header, the PrinterInfo block, the
// category table, the data-offset tables and the records, for the main file
// and the referenced file.
//
// File layout written (both files of a pair; kestrel/core/ddd_layout.h names
// its parts):
//   0    224-byte header
//   224  PrinterInfo items 0-41 (item 0: offset of the category table from 228)
//        category table: 32-bit byte length of what follows, 16-bit count 21,
//        21 entries {8-bit 0, 16-bit category, 32-bit offset of its table}
//        21 data-offset tables, in category-table order: 32-bit byte length of
//        what follows, 16-bit count, entries {8-bit location, 16-bit id,
//        32-bit offset}
//        the records of this file, category by category
// The bytes the reader skips are filled so that a dump explains itself: the
// tables' byte lengths and each category-table entry's category.
// Both files carry the same PrinterInfo and the same data-offset tables (the
// entries name the file a record lies in, 2 main or 1 referenced), so a
// lookup answers alike whichever file's table it searches. The referenced
// file's header leaves the referenced-file name empty.
#include <climits>

#include "compiler.h"

namespace kestrel::dddc {

namespace {

// Bytes of a table behind its first 4 (the byte length the compiler writes
// there): the 16-bit count and the entries.
constexpr uint32_t kCountSize = DDD_TABLE_HEAD_SIZE - DDD_TABLE_COUNT_OFFSET;
// A category-table entry as written: 8-bit 0, 16-bit category, table offset.
static_assert(DDD_CATENTRY_TABLE_OFFSET == 1 + 2);
// A data-offset table entry as written: location, data id, offset.
static_assert(DDD_ENTRY_SIZE == 1 + 2 + 4);

}  // namespace

Bytes Compiler::PrinterInfo() {
  Bytes b;
  for (int n = 0; n < DDD_PRINTERINFO_END; ++n) {
    const DddPrinterInfoDef d = DDD_PRINTERINFO_ITEMS[n];
    if (n == DDD_PI_CATTABLE_OFFSET) {
      b.U32(0);  // filled by Layout
      continue;
    }
    if (n == DDD_PI_EJCL_BOUND) {
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
  fixed(headerText_, DDD_HEADER_TEXT_SIZE);
  fixed(versionStr_, DDD_VERSION_SIZE);
  b.Zeros(DDD_UNUSED_SIZE);
  for (uint8_t c : fmt_) b.U8(c);
  fixed(modelName_, DDD_MODELNAME_SIZE);
  fixed(main ? refName_ : std::string(), DDD_REFNAME_SIZE);
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
  uint32_t catTable = DDD_PRINTERINFO_OFFSET + static_cast<uint32_t>(info.size());
  uint32_t pos = catTable + DDD_CATTABLE_SIZE;
  std::map<int, uint32_t> tableAt;
  for (int cat : DDD_CATEGORY_ORDER) {
    tableAt[cat] = pos;
    pos += DDD_TABLE_HEAD_SIZE + DDD_ENTRY_SIZE * static_cast<uint32_t>(byCat_[cat].size());
  }
  uint32_t mainPos = pos, refPos = pos;
  for (int cat : DDD_CATEGORY_ORDER) {
    for (Rec* r : byCat_[cat]) {
      uint32_t& p = r->inRef ? refPos : mainPos;
      r->offset = p;
      p += static_cast<uint32_t>(r->bytes.size());
    }
  }
  info.Put32At(0, catTable - DDD_CATTABLE_BASE);
  Bytes tables;
  tables.U32(kCountSize + DDD_CATEGORY_COUNT * DDD_CATENTRY_SIZE);
  tables.U16(DDD_CATEGORY_COUNT);
  for (int cat : DDD_CATEGORY_ORDER) {
    tables.U8(0);
    tables.U16(static_cast<uint32_t>(cat));
    tables.U32(tableAt[cat]);
  }
  for (int cat : DDD_CATEGORY_ORDER) {
    const auto& list = byCat_[cat];
    tables.U32(static_cast<uint32_t>(kCountSize + DDD_ENTRY_SIZE * list.size()));
    tables.U16(static_cast<uint32_t>(list.size()));
    for (Rec* r : list) {
      tables.U8(r->inRef ? DDD_LOC_REFERENCED : DDD_LOC_MAIN);
      tables.U16(static_cast<uint32_t>(r->id));
      tables.U32(r->offset);
    }
  }
  auto build = [&](bool main) {
    Bytes f;
    f.Raw(Header(main));
    f.Raw(info.b);
    f.Raw(tables.b);
    for (int cat : DDD_CATEGORY_ORDER) {
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

}  // namespace kestrel::dddc
