// Encoders of the pictures: images (category 12) and icons (18), drawn in
// the source as rows of palette digits.
#include <cctype>

#include "compiler.h"

namespace kestrel::dddc {

namespace {

// The 16 colours every picture and icon of the sources draws with, indexed
// by one hexadecimal digit per pixel.
constexpr uint32_t kPalette[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                                   0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

// A device-independent bitmap: BITMAPINFOHEADER, colour table, bottom-up
// rows padded to 4 bytes. With `mask` the height counts twice and a 1-bit
// mask (set = transparent) follows the colour bits, as icon images are kept.
std::vector<uint8_t> Dib(int width, int height, int bits, const std::vector<std::vector<int>>& px, bool mask) {
  Bytes b;
  int colours = bits == 4 ? 16 : 256;
  int rowBytes = ((width * bits + 31) / 32) * 4;
  int maskRow = ((width + 31) / 32) * 4;
  b.U32(40);
  b.U32(static_cast<uint32_t>(width));
  b.U32(static_cast<uint32_t>(mask ? height * 2 : height));
  b.U16(1);
  b.U16(static_cast<uint32_t>(bits));
  b.U32(0);
  b.U32(static_cast<uint32_t>(rowBytes * height + (mask ? maskRow * height : 0)));
  b.U32(mask ? 0 : 3780);
  b.U32(mask ? 0 : 3780);
  b.U32(bits == 4 ? 16 : 0);  // an 8-bit image leaves the count to its depth
  b.U32(0);
  for (int i = 0; i < colours; ++i) {
    uint32_t c = i < 16 ? kPalette[i] : 0;
    b.U8(c & 0xFF);          // blue
    b.U8((c >> 8) & 0xFF);   // green
    b.U8((c >> 16) & 0xFF);  // red
    b.U8(0);
  }
  for (int y = height - 1; y >= 0; --y) {
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes), 0);
    for (int x = 0; x < width; ++x) {
      int v = px[static_cast<size_t>(y)][static_cast<size_t>(x)];
      if (v < 0) v = 0;
      if (bits == 8) {
        row[static_cast<size_t>(x)] = static_cast<uint8_t>(v);
      } else {
        row[static_cast<size_t>(x / 2)] |= static_cast<uint8_t>(x % 2 == 0 ? v << 4 : v);
      }
    }
    b.Raw(row);
  }
  if (mask) {
    for (int y = height - 1; y >= 0; --y) {
      std::vector<uint8_t> row(static_cast<size_t>(maskRow), 0);
      for (int x = 0; x < width; ++x) {
        if (px[static_cast<size_t>(y)][static_cast<size_t>(x)] < 0) {
          row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
        }
      }
      b.Raw(row);
    }
  }
  return b.b;
}

}  // namespace

bool Compiler::Pixels(const Rec* r, const FieldSet& f, int* width, int* height, int* bits,
                      std::vector<std::vector<int>>* px) {
  const Section& s = *r->sec;
  int64_t scale = NumField(f, "scale", 1, 16, 1);
  *bits = static_cast<int>(NumField(f, "bits", 1, 8, 4));
  if (*bits != 4 && *bits != 8) d_->Error(s.loc, "pictures have 4 or 8 bits per pixel");
  auto rows = f.All("row");
  if (rows.empty()) {
    d_->Error(s.loc, "a picture needs its 'row' lines");
    return false;
  }
  size_t w = 0;
  for (const SrcLine* l : rows) {
    if (l->toks.size() != 2 || l->toks[1].kind != TokKind::String) {
      d_->Error(l->loc, "'row' takes one quoted line of pixels");
      return false;
    }
    const std::string& t = l->toks[1].text;
    if (t.size() * static_cast<size_t>(scale) > 4096 || rows.size() * static_cast<size_t>(scale) > 4096) {
      d_->Error(l->loc, "a picture is at most 4096 pixels wide and high");
      return false;
    }
    if (w == 0) w = t.size();
    if (t.size() != w || w == 0) {
      d_->Error(l->loc, "every row of a picture has the same width");
      return false;
    }
    std::vector<int> line;
    for (char c : t) {
      int v = c == '.' ? -1 : std::isxdigit(static_cast<unsigned char>(c)) ? std::stoi(std::string(1, c), nullptr, 16) : -2;
      if (v == -2) {
        d_->Error(l->loc, "a pixel is a hexadecimal colour digit or '.'");
        return false;
      }
      for (int k = 0; k < scale; ++k) line.push_back(v);
    }
    for (int k = 0; k < scale; ++k) px->push_back(line);
  }
  *width = static_cast<int>(w * scale);
  *height = static_cast<int>(rows.size() * scale);
  return true;
}

void Compiler::EncodeImage(Rec* r) {
  const Section& s = *r->sec;
  FieldSet f(s, d_, {"id", "kind", "scale", "bits", "file"}, {"row"});
  Bytes b = Start(r);
  int64_t kind = NumField(f, "kind", 1, 2, 1);
  int w = 0, h = 0, bits = 4;
  std::vector<std::vector<int>> px;
  if (!Pixels(r, f, &w, &h, &bits, &px)) return;
  std::vector<uint8_t> dib = Dib(w, h, bits, px, false);
  b.U8(static_cast<uint32_t>(kind));
  b.U16(static_cast<uint32_t>(w));
  b.U16(static_cast<uint32_t>(h));
  b.U16(0);  // the block the reader skips: empty
  uint32_t colourBytes = bits == 4 ? 64 : 1024;
  b.U32(static_cast<uint32_t>(14 + dib.size()));
  b.U8('B');
  b.U8('M');
  b.U32(static_cast<uint32_t>(14 + dib.size()));
  b.U16(0);
  b.U16(0);
  b.U32(14 + 40 + colourBytes);
  b.Raw(dib);
  Finish(r, b);
}

void Compiler::EncodeIcon(Rec* r) {
  const Section& s = *r->sec;
  FieldSet f(s, d_, {"id", "scale", "bits", "file"}, {"row"});
  Bytes b = Start(r);
  int w = 0, h = 0, bits = 4;
  std::vector<std::vector<int>> px;
  if (!Pixels(r, f, &w, &h, &bits, &px)) return;
  if (w != 32 || h != 32) d_->Error(s.loc, "an icon is 32 by 32 pixels (" + std::to_string(w) + " by " + std::to_string(h) + " given)");
  std::vector<uint8_t> dib = Dib(w, h, bits, px, true);
  b.U16(static_cast<uint32_t>(dib.size()));
  b.Raw(dib);
  Finish(r, b);
}

}  // namespace kestrel::dddc
