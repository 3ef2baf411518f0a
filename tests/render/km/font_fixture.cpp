#include "font_fixture.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>

#include "kestrel/render/xl_inband.h"
#include "pclxl_checker.h"

namespace fonttest {

std::string FontPath(const char* file) { return std::string(kDejaVu) + file; }

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
void PutBe16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}
void PutBe32(Bytes& b, uint32_t v) {
  PutBe16(b, static_cast<uint16_t>(v >> 16));
  PutBe16(b, static_cast<uint16_t>(v));
}
uint32_t Tag(const char* s) { return Be32(reinterpret_cast<const uint8_t*>(s)); }

Sfnt ParseSfnt(const Bytes& file, uint32_t base) {
  Sfnt f;
  f.version = Be32(file.data() + base);
  uint16_t n = Be16(file.data() + base + 4);
  for (uint16_t i = 0; i < n; ++i) {
    const uint8_t* e = file.data() + base + 12 + 16 * i;
    uint32_t off = Be32(e + 8), len = Be32(e + 12);
    f.tables[Be32(e)] = Bytes(file.begin() + off, file.begin() + off + len);
    f.checksums[Be32(e)] = Be32(e + 4);
  }
  return f;
}

namespace {
uint32_t Sum(const Bytes& t) {
  uint32_t s = 0;
  for (size_t i = 0; i < t.size(); i += 4) {
    uint8_t w[4] = {};
    for (size_t k = 0; k < 4 && i + k < t.size(); ++k) w[k] = t[i + k];
    s += Be32(w);
  }
  return s;
}
void Pad(Bytes& b) {
  while (b.size() % 4) b.push_back(0);
}
}  // namespace

Bytes SymbolCmap(uint16_t rangeOffsetOfSecond) {
  Bytes sub;
  uint16_t seg = 3;
  PutBe16(sub, 4);
  PutBe16(sub, 0);  // length, set below
  PutBe16(sub, 0);
  PutBe16(sub, seg * 2);
  PutBe16(sub, 4), PutBe16(sub, 1), PutBe16(sub, 2);
  PutBe16(sub, 0xF022), PutBe16(sub, 0xF031), PutBe16(sub, 0xFFFF);  // end codes
  PutBe16(sub, 0);
  PutBe16(sub, 0xF020), PutBe16(sub, 0xF030), PutBe16(sub, 0xFFFF);   // start codes
  PutBe16(sub, uint16_t(10 - 0xF020)), PutBe16(sub, 5), PutBe16(sub, 1);  // deltas
  PutBe16(sub, 0), PutBe16(sub, rangeOffsetOfSecond), PutBe16(sub, 0);   // range offsets
  PutBe16(sub, 40), PutBe16(sub, 0);  // glyphIdArray: F030 -> 40 + 5, F031 missing
  sub[2] = uint8_t(sub.size() >> 8), sub[3] = uint8_t(sub.size());
  Bytes cmap;
  PutBe16(cmap, 0), PutBe16(cmap, 1);
  PutBe16(cmap, 3), PutBe16(cmap, 0), PutBe32(cmap, 12);
  cmap.insert(cmap.end(), sub.begin(), sub.end());
  return cmap;
}

Bytes NameTable(const std::u16string& face) {
  const std::pair<uint16_t, std::u16string> names[] = {{1, face}, {2, u"Regular"}, {4, face}};
  constexpr uint16_t kCount = 3;
  Bytes t, strings;
  PutBe16(t, 0);
  PutBe16(t, kCount);
  PutBe16(t, 6 + 12 * kCount);
  for (const auto& [id, text] : names) {
    PutBe16(t, 3), PutBe16(t, 1), PutBe16(t, 0x409), PutBe16(t, id);  // Microsoft, Unicode BMP, en-US
    PutBe16(t, static_cast<uint16_t>(text.size() * 2));
    PutBe16(t, static_cast<uint16_t>(strings.size()));
    for (char16_t c : text) PutBe16(strings, c);
  }
  t.insert(t.end(), strings.begin(), strings.end());
  return t;
}

Bytes BuildSfnt(const Sfnt& font) {
  Bytes out;
  uint16_t n = static_cast<uint16_t>(font.tables.size());
  PutBe32(out, font.version);
  PutBe16(out, n);
  uint16_t p = 1, e = 0;
  while (p * 2 <= n) p *= 2, ++e;
  PutBe16(out, static_cast<uint16_t>(16 * p));
  PutBe16(out, e);
  PutBe16(out, static_cast<uint16_t>(16 * (n - p)));
  uint32_t offset = 12 + 16u * n;
  Bytes data;
  for (const auto& [tag, bytes] : font.tables) {
    PutBe32(out, tag);
    PutBe32(out, Sum(bytes));
    PutBe32(out, offset + static_cast<uint32_t>(data.size()));
    PutBe32(out, static_cast<uint32_t>(bytes.size()));
    data.insert(data.end(), bytes.begin(), bytes.end());
    Pad(data);
  }
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes BuildCollection(const std::vector<Bytes>& fonts) {
  Bytes out;
  PutBe32(out, Tag("ttcf"));
  PutBe32(out, 0x00010000);
  PutBe32(out, static_cast<uint32_t>(fonts.size()));
  uint32_t at = 12 + 4 * static_cast<uint32_t>(fonts.size());
  std::vector<uint32_t> bases;
  for (const Bytes& f : fonts) {
    bases.push_back(at);
    at += static_cast<uint32_t>((f.size() + 3) & ~size_t{3});
  }
  for (uint32_t b : bases) PutBe32(out, b);
  for (size_t i = 0; i < fonts.size(); ++i) {
    // Each member's table offsets move by its base.
    Bytes f = fonts[i];
    uint16_t n = Be16(f.data() + 4);
    for (uint16_t k = 0; k < n; ++k) {
      uint8_t* e = f.data() + 12 + 16 * k + 8;
      uint32_t off = Be32(e) + bases[i];
      e[0] = static_cast<uint8_t>(off >> 24), e[1] = static_cast<uint8_t>(off >> 16);
      e[2] = static_cast<uint8_t>(off >> 8), e[3] = static_cast<uint8_t>(off);
    }
    out.insert(out.end(), f.begin(), f.end());
    Pad(out);
  }
  return out;
}

FontPdev::FontPdev() : pdev_(std::make_unique<PDEV>()) {
  xl_initcontext(&pdev_->xl, XlPrinter{this, &FontPdev::Write});
  xl_initcgs(&pdev_->xl);
}

FontPdev::~FontPdev() { xlfont_FreeCache(pdev_.get()); }

BOOL FontPdev::Write(HANDLE h, LPVOID bytes, DWORD n, LPDWORD written) {
  auto* self = static_cast<FontPdev*>(h);
  if (self->failAt_ > 0 && --self->failAt_ == 0) {
    if (written) *written = 0;
    return FALSE;
  }
  auto* p = static_cast<const uint8_t*>(bytes);
  self->bytes_.insert(self->bytes_.end(), p, p + n);
  if (written) *written = n;
  return TRUE;
}

Bytes FontPdev::Output() {
  psflush(&pdev_->xl.out);
  return bytes_;
}

void FontPdev::Clear() {
  psflush(&pdev_->xl.out);
  bytes_.clear();
}

std::string CheckInPage(const Bytes& ops) {
  struct Sink {
    Bytes bytes;
    static BOOL Write(HANDLE h, LPVOID b, DWORD n, LPDWORD w) {
      auto* s = static_cast<Sink*>(h);
      auto* p = static_cast<const uint8_t*>(b);
      s->bytes.insert(s->bytes.end(), p, p + n);
      if (w) *w = n;
      return TRUE;
    }
  } sink;
  auto ctx = std::make_unique<XlContext>();
  xl_initcontext(ctx.get(), XlPrinter{&sink, &Sink::Write});
  xl_initcgs(ctx.get());
  // The page as job control opens and ends it: the spooler side writes
  // BeginPage at 138 and EndPage at 139.
  xl_beginsession(ctx.get(), 600, 600, 0, 0);
  xl_opendatasource(ctx.get());
  xl_ic_startpage(ctx.get(), 0, 0, 0, 1, 2);
  psflush(&ctx->out);
  sink.bytes.insert(sink.bytes.end(), ops.begin(), ops.end());
  xl_ic_showpage(ctx.get());
  xl_ic_endpage(ctx.get());
  xl_closedatasource(ctx.get());
  xl_endsession(ctx.get());
  psflush(&ctx->out);
  pclxl_check::Report r = pclxl_check::check(sink.bytes, pclxl_check::Mode::RendererStream);
  return r.ok() ? std::string() : r.text();
}

std::unique_ptr<TableInfo> InfoOf(Bytes file, const char16_t* faceName) {
  auto t = std::make_unique<TableInfo>();
  t->file = std::move(file);
  t->ok = xltext_CreateTableInfoFromFile(t->file.data(), static_cast<DWORD>(t->file.size()), faceName, &t->info) == 0;
  return t;
}

std::unique_ptr<TableInfo> LoadInfo(const std::string& path, const char16_t* faceName) {
  return InfoOf(ReadFile(path), faceName);
}

XLTEXT_CHARSTATE CharState(const char* name, WORD symbolSet, double charSize) {
  XLTEXT_CHARSTATE cs{};
  std::strncpy(cs.fontName, name, sizeof(cs.fontName) - 1);
  cs.symbolSet = symbolSet;
  cs.charSize.value = charSize;
  return cs;
}

}  // namespace fonttest
