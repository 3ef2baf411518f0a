// Fixtures of the font download tests: a PDEV made by hand whose writer
// records its output, TrueType files read and rebuilt on the test side
// (sharing no code with the download), and a reader of the font headers and
// glyph records the download writes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fontcache.h"
#include "ttdl.h"

namespace fonttest {

using Bytes = std::vector<uint8_t>;

constexpr char kDejaVu[] = "/usr/share/fonts/truetype/dejavu/";
std::string FontPath(const char* file);
Bytes ReadFile(const std::string& path);

uint16_t Be16(const uint8_t* p);
uint32_t Be32(const uint8_t* p);
void PutBe16(Bytes& b, uint16_t v);
void PutBe32(Bytes& b, uint32_t v);
uint32_t Tag(const char* s);

// The tables of a TrueType file (or of a collection's member at `base`).
struct Sfnt {
  uint32_t version = 0x00010000;
  std::map<uint32_t, Bytes> tables;  // by tag
  std::map<uint32_t, uint32_t> checksums;  // the directory's
};
Sfnt ParseSfnt(const Bytes& file, uint32_t base = 0);
// A file with these tables in tag order, padded, with computed checksums.
Bytes BuildSfnt(const Sfnt& font);
// A collection of whole fonts.
Bytes BuildCollection(const std::vector<Bytes>& fonts);
// A (3, 0) cmap with one format-4 subtable: segments {0xF020-0xF022 by
// delta to glyphs 10-12}, {0xF030-0xF031 through glyphIdArray: 0xF030 to
// glyph 45 when rangeOffsetOfSecond is 4, 0xF031 missing}, the 0xFFFF end.
Bytes SymbolCmap(uint16_t rangeOffsetOfSecond);
// A "name" table of Microsoft Unicode records: family and full name `face`,
// style "Regular".
Bytes NameTable(const std::u16string& face);

// A PDEV with its writer recording (or failing) its printer writes.
class FontPdev {
 public:
  FontPdev();
  ~FontPdev();
  PDEV* get() { return pdev_.get(); }
  // Flushes the buffer and answers everything written so far.
  Bytes Output();
  void Clear();
  // The nth printer write from now fails (1 = the next); 0 none.
  void FailWrite(int nth) { failAt_ = nth; }

 private:
  static BOOL Write(HANDLE h, LPVOID bytes, DWORD n, LPDWORD written);
  std::unique_ptr<PDEV> pdev_;
  Bytes bytes_;
  int failAt_ = 0;
};

// The output wrapped in a session and page and checked in renderer-stream
// mode; the check's findings as text (empty when it passes).
std::string CheckInPage(const Bytes& ops);

// Table information of a file already read.
struct TableInfo {
  Bytes file;
  TT_TABLEINFO info{};
  bool ok = false;
};
std::unique_ptr<TableInfo> LoadInfo(const std::string& path, const char16_t* faceName);
std::unique_ptr<TableInfo> InfoOf(Bytes file, const char16_t* faceName);

// A character state with a name.
XLTEXT_CHARSTATE CharState(const char* name, WORD symbolSet, double charSize = 100);

}  // namespace fonttest
