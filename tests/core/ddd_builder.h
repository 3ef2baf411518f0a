// Hand-made DDD bytes for the reader's tests: little helpers that spell out
// the stored primitives, and a container builder that lays out the header,
// the PrinterInfo items, the category table and the data-offset tables
// around record bytes written by hand in the tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "kestrel/core/ddd_layout.h"

namespace kestrel::test::ddd {

inline std::string U8(unsigned v) { return std::string(1, static_cast<char>(v & 0xFF)); }
inline std::string U16(unsigned v) { return U8(v) + U8(v >> 8); }
inline std::string U32(uint32_t v) { return U16(v & 0xFFFF) + U16(v >> 16); }
inline std::string Hex(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

// String: 16-bit length, then the complemented 8-bit text.
inline std::string Body(const std::string& plain) {
  std::string s;
  for (char c : plain) s += static_cast<char>(~static_cast<unsigned char>(c));
  return s;
}
inline std::string Str(const std::string& plain) { return U16(static_cast<unsigned>(plain.size())) + Body(plain); }
// An external-string reference: fallback text, selector, id, 0.
inline std::string ExtStr(const std::string& fallback, unsigned selector, unsigned id) {
  std::string b = Body(fallback) + U16(selector) + U16(id) + U8(0);
  return U16(static_cast<unsigned>(b.size())) + b;
}
// List: 32-bit byte length of count and elements, 16-bit count, elements.
inline std::string List(unsigned count, const std::string& elements) {
  return U32(static_cast<uint32_t>(2 + elements.size())) + U16(count) + elements;
}
inline std::string IdList(std::initializer_list<unsigned> ids) {
  std::string e;
  for (unsigned id : ids) e += U16(id);
  return List(static_cast<unsigned>(ids.size()), e);
}
// Devmode value: 8-bit type, 16-bit size, payload.
inline std::string Val(unsigned type, unsigned size, const std::string& payload) {
  return U8(type) + U16(size) + payload;
}
// ITEM: DDM id, operator, count, value.
inline std::string Item(unsigned ddm, unsigned op, unsigned count, const std::string& value) {
  return U16(ddm) + U8(op) + U16(count) + value;
}
// Record: 32-bit length (never read), data id, fields.
inline std::string Rec(unsigned id, const std::string& fields) {
  return U32(static_cast<uint32_t>(6 + fields.size())) + U16(id) + fields;
}
inline std::string Size(unsigned id, unsigned w1, unsigned l1, unsigned w2, unsigned l2) {
  return Rec(id, U16(w1) + U16(l1) + U16(w2) + U16(l2));
}

inline std::string FormatBytes(long v) {
  // 0.0.b2.b3 for the versions the tests use.
  return U8(0) + U8(0) + U8((v >> 8) & 0xFF) + U8(v & 0xFF);
}

// Location of a record named in a data-offset table.
constexpr unsigned kMain = DDD_LOC_MAIN;
constexpr unsigned kRef = DDD_LOC_REFERENCED;

struct Entry {
  unsigned location;
  unsigned id;
  std::string record;  // bytes (for entries of the file being built)
  uint32_t offset;     // for entries that point into the other file
};

// One DDD file.
class FileBuilder {
 public:
  std::string headerText = "Kestrel test data";
  std::string version = "K350:1.2.3";
  long format = 1280;
  std::string model = "Scriva Test";
  std::string refName;
  // PrinterInfo items 1-41 as stored (item 0 is computed).
  std::map<int, std::string> items;
  // Categories by their number; entries in table order.
  std::map<int, std::vector<Entry>> tables;
  // Bytes placed behind the records (to test references past the end).
  std::string trailer;

  FileBuilder() {
    const std::string empty = U16(0);  // a String of length 0
    items[1] = U16(0);
    items[2] = U32(512);
    items[3] = U16(0);
    items[4] = U16(999);
    items[5] = U8(1);
    items[6] = U32(0);
    items[7] = U8(2);
    items[8] = U32(0);
    items[9] = U32(0);
    items[10] = U16(0);
    items[11] = U32(0);
    items[12] = U32(0);
    items[13] = empty;
    items[14] = U16(0);
    items[15] = U32(0);
    items[16] = U16(0);
    for (int i = 17; i <= 22; ++i) items[i] = Str("lib" + std::to_string(i) + ".dll");
    items[23] = U8(3);
    items[24] = U16(0);
    items[25] = U16(0);
    items[26] = U32(0);
    items[27] = U16(0);
    items[28] = U16(0);
    items[29] = empty;
    items[30] = Str("Software\\Kestrel\\Test\\");
    items[31] = empty;
    items[32] = empty;
    items[33] = Str("Software\\Kestrel\\User\\");
    items[34] = U16(0);
    items[35] = U16(1) + Str("kestrelrs.zrs");
    items[36] = U16(0);
    items[37] = empty;
    items[38] = empty;
    items[39] = U16(0);
    items[40] = U16(0);
    items[41] = U16(0);
  }

  void Add(int category, unsigned id, const std::string& record) {
    tables[category].push_back(Entry{kMain, id, record, 0});
  }
  // An entry that names a record of the referenced file at `offset`.
  void AddRef(int category, unsigned id, uint32_t offset) { tables[category].push_back(Entry{kRef, id, "", offset}); }

  static std::string Fixed(const std::string& text, size_t width) {
    std::string s = text.substr(0, width);
    s.resize(width, '\0');
    return s;
  }

  // Offset of the first record of category/position after Build().
  std::map<std::pair<int, size_t>, uint32_t> offsets;

  std::string Build() {
    std::string header = Fixed(headerText, DDD_HEADER_TEXT_SIZE) + Fixed(version, DDD_VERSION_SIZE) + U32(0) +
                         FormatBytes(format) + Fixed(model, DDD_MODELNAME_SIZE) + Fixed(refName, DDD_REFNAME_SIZE);
    std::string info;
    for (int i = 1; i < DDD_PRINTERINFO_END; ++i) info += items[i];
    // Category table, then the data-offset tables, then the records.
    uint32_t catTableAt = DDD_CATTABLE_BASE + static_cast<uint32_t>(info.size());
    uint32_t tablesAt = catTableAt + DDD_CATTABLE_SIZE;
    uint32_t tablesSize = 0;
    for (int c : DDD_CATEGORY_ORDER) {
      tablesSize += DDD_TABLE_HEAD_SIZE + DDD_ENTRY_SIZE * static_cast<uint32_t>(tables[c].size());
    }
    uint32_t recordAt = tablesAt + tablesSize;
    std::string catTable = U32(0) + U16(DDD_CATEGORY_COUNT);
    std::string tableBytes;
    std::string records;
    uint32_t tableAt = tablesAt;
    for (int c : DDD_CATEGORY_ORDER) {
      catTable += Hex({0, 0, 0}) + U32(tableAt);
      std::string t = U32(0) + U16(static_cast<unsigned>(tables[c].size()));
      for (size_t k = 0; k < tables[c].size(); ++k) {
        Entry& e = tables[c][k];
        uint32_t off = e.offset;
        if (e.location == kMain) {
          off = recordAt + static_cast<uint32_t>(records.size());
          records += e.record;
        }
        offsets[{c, k}] = off;
        t += U8(e.location) + U16(e.id) + U32(off);
      }
      tableBytes += t;
      tableAt += static_cast<uint32_t>(t.size());
    }
    return header + U32(catTableAt - DDD_CATTABLE_BASE) + info + catTable + tableBytes + records + trailer;
  }
};

}  // namespace kestrel::test::ddd
