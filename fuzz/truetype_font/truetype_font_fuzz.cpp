// Input: flags (1 byte: bit 0 glyph metrics, bit 1 vertical face "@", bit 2
// symbol remapping, bits 3-4 the face name: "DejaVu Sans", "DejaVu Sans
// Mono", "Fuzz Face", or the first 8 input bytes after the header), a glyph
// count (1 byte) and that many 16-bit glyph indices or codes, then the font
// file. Properties: no read outside the file (the sanitizers), every glyph
// sent is in the cache with its place as code, and a failed run writes no
// BeginChar for a glyph that is not listed.
#include <cstring>
#include <memory>
#include <vector>

#include "../fuzz_input.h"
#include "ttdl.h"

namespace {
BOOL Drop(HANDLE, LPVOID, DWORD n, LPDWORD written) {
  if (written) *written = n;
  return TRUE;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrel::fuzz::Reader in{data, size};
  uint8_t flags = in.Take<uint8_t>();
  uint8_t count = in.Take<uint8_t>();
  std::vector<WORD> glyphs(count);
  for (WORD& g : glyphs) g = in.Take<uint16_t>();
  char16_t custom[9] = {};
  const char16_t* names[] = {u"DejaVu Sans", u"DejaVu Sans Mono", u"Fuzz Face", custom};
  int which = (flags >> 3) & 3;
  if (which == 3)
    for (int i = 0; i < 8; ++i) custom[i] = static_cast<char16_t>(in.n > static_cast<size_t>(i) ? in.p[i] : 'x');
  std::u16string face = ((flags & 2) ? u"@" : u"") + std::u16string(names[which]);
  // The font file, copied so that its end is the allocation's end.
  std::vector<BYTE> file(in.p, in.p + in.n);
  TT_TABLEINFO info{};
  if (xltext_CreateTableInfoFromFile(file.data(), static_cast<DWORD>(file.size()), reinterpret_cast<LPCWSTR>(face.c_str()),
                                     &info) != 0)
    return 0;
  info.glyphMetrics = (flags & 1) ? TRUE : FALSE;

  BOOL format4 = FALSE, symbol = FALSE;
  xltext_CheckCmapSubtable4(&info, &format4, &symbol);
  if ((flags & 4) && format4) {
    IFIMETRICS ifi{};
    ifi.wcFirstChar = 0x20;
    ifi.wcLastChar = 0xFFFF;
    ifi.wcDefaultChar = 0x20;
    xltext_ConvertSymbolGlyph(&info, &ifi, count, glyphs.data());
  }
  if (flags & 2) xltext_ConvertVerticalText_mort(&info, count, glyphs.data());

  auto pdev = std::make_unique<PDEV>();
  xl_initcontext(&pdev->xl, XlPrinter{pdev.get(), &Drop});
  xl_initcgs(&pdev->xl);
  XLTEXT_CHARSTATE cs{};
  std::memcpy(cs.fontName, "Fuzz:OL", 8);
  cs.symbolSet = XL_SYMBOLSET_OUTLINE;
  if (xltext_SendFontHeader(pdev.get(), nullptr, nullptr, count, XLFONT_KIND_OUTLINE, &cs, &info) == 0) {
    std::vector<WORD> codes = glyphs;
    if (xltext_SendChar(pdev.get(), nullptr, nullptr, count, nullptr, XLFONT_KIND_OUTLINE, &cs, &info,
                        codes.data()) == 0) {
      XLFONT_ENTRY* e = xlfont_FindFont(pdev.get(), cs.fontName);
      kestrel::fuzz::Check(e != nullptr);
      for (size_t i = 0; i < codes.size(); ++i)
        kestrel::fuzz::Check(xlfont_FindGlyph(e, glyphs[i]) == static_cast<LONG>(codes[i]));
    } else {
      XLFONT_ENTRY* e = xlfont_FindFont(pdev.get(), cs.fontName);
      kestrel::fuzz::Check(e != nullptr && e->glyphCount <= count);
    }
  }
  xlfont_FreeCache(pdev.get());
  return 0;
}
