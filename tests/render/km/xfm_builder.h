// Hand-made XFM font metric records for the device-font tests, laid out as
// the description-data compiler writes them (render/km/devfont.h gives the
// offsets), and a PDEV made by hand that offers such records as its device
// fonts.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "devfont.h"
#include "kestrel/render/km_services.h"
#include "km_entry.h"

namespace kestrel::test::km {

// An XFM record as the compiler lays it out, with an optional extended block.
struct XfmBuilder {
  std::vector<BYTE> b = std::vector<BYTE>(83);
  void Put16(size_t at, int v) {
    b[at] = static_cast<BYTE>(v);
    b[at + 1] = static_cast<BYTE>(v >> 8);
  }
  void Put32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<BYTE>(v >> (8 * i));
  }
  void Here(size_t field) { Put32(field, static_cast<uint32_t>(b.size() - 6)); }
  void U16(int v) { b.push_back(static_cast<BYTE>(v)), b.push_back(static_cast<BYTE>(v >> 8)); }
  void U32(uint32_t v) { U16(static_cast<int>(v & 0xFFFF)), U16(static_cast<int>(v >> 16)); }
  void Text(const char* t) { b.insert(b.end(), t, t + std::strlen(t) + 1); }

  // first..last with the widths given (none: no table).
  XfmBuilder(BYTE first, BYTE last, const std::vector<int>& widths, WORD weight, WORD avg, bool ext,
             BYTE charSet = 0, BYTE pitchFamily = 0x22) {
    Put16(14, 800);
    Put16(16, 1100);
    Put16(18, 1200);
    Put16(23, weight);
    b[25] = charSet;
    b[30] = pitchFamily;
    Put16(31, avg);
    Put16(33, 900);
    b[35] = first;
    b[36] = last;
    Here(45);
    Text("Hand");
    Text("Hand Family");
    Here(59);
    for (int i = 0; i < 13; ++i) U32(0);
    if (!widths.empty()) {
      Here(63);
      for (int w : widths) U16(w);
    }
    if (ext) {
      Here(67);
      U16(1);  // ranges
      U16(0x100), U16(0x1FF), U16(333);
      U16(1);  // areas: 0x300..0x302, widths at the offset after the pairs
      U16(0x300), U16(0x302);
      size_t areaOffsetAt = b.size();
      U32(0);
      U16(2);  // pairs, sorted
      U16(0x150), U16(444);
      U16(0x2000), U16(555);
      Put32(areaOffsetAt, static_cast<uint32_t>(b.size() - 6));
      U16(10), U16(20), U16(30);
    }
    Here(71);
    U16(0);
    Here(79);
    Text("12AB");
    Put32(0, static_cast<uint32_t>(b.size()));
  }
};


// A PDEV of its own heap offering the records as faces 1, 2, ... (no
// description data: the tables are made directly).
class HandPdev {
 public:
  explicit HandPdev(const std::vector<XfmBuilder>& fonts) : pdev_(std::make_unique<PDEV>()) {
    pdev_->heap = HEAPCREATE();
    auto* t = static_cast<DEVFONT_TABLES*>(_HEAPALLOC(pdev_->heap, sizeof(DEVFONT_TABLES), 0));
    std::memset(t, 0, sizeof *t);
    t->exposed = static_cast<NTFM**>(_HEAPALLOC(pdev_->heap, static_cast<ULONG>(fonts.size() * sizeof(NTFM*)), 0));
    pdev_->deviceFonts = t;
    for (const XfmBuilder& x : fonts) {
      NTFM* f = pntfmConvertXfmToNtm(pdev_.get(), x.b.data(), static_cast<DWORD>(x.b.size()));
      if (f) t->exposed[t->cExposed++] = f;
    }
    pdev_->cDeviceFonts = t->cExposed;
  }
  ~HandPdev() {
    devfont_Free(pdev_.get());
    HEAPDESTROY(pdev_->heap);
  }
  PDEV* get() { return pdev_.get(); }

 private:
  std::unique_ptr<PDEV> pdev_;
};

}  // namespace kestrel::test::km
