// Stamps and header/footer drawn on the application's DC with ordinary
// drawing calls, between the application's own pages.
//
// Our rules (the design leaves them to us):
//  - GetPageInfo's rectangles are the renderer's, on the page with its
//    corner at (0, 0); the DC's (0, 0) is the corner of the printable area.
//    Both are moved onto the DC by its PHYSICALOFFSETX/Y before anything is
//    drawn (drawn as given, a stamp sat off centre by the unprintable edge
//    and the footer ran past the bottom of the sheet).
//  - A text stamp is one line whose middle is the middle of the stamp
//    rectangle of GetPageInfo (words 3-6), turned by the angle (degrees,
//    counter-clockwise; the font's escapement in tenths), in the stamp's
//    font with its height set by the stamp size.
//  - The stamp size is in points at the resolution (DDM 20); a size of 0
//    (a devmode whose stamp was never set from a stamp record) takes the
//    default stamp record's (zanStamp_GetStampInfo without a name). A
//    stamp never leaves the page: when its text, turned, is wider or
//    taller than the stamp rectangle less a twentieth of it on each side,
//    its height is shrunk until it fits (the default record's 128 points
//    make "CONFIDENTIAL" about 330 mm long, shrunk to about 150 mm on A4
//    at 45 degrees); a stamp that fits keeps its size. The box that must
//    fit is the text's cell (GetTextExtentPoint32W: the advances by the
//    font's height), turned.
//  - With transparency the colour is mixed toward white by that
//    percentage; no frame.
//  - The stamp rectangle is used as GetPageInfo gives it, in the page's
//    orientation as the DC draws it: a landscape page's rectangle is
//    already landscape (swapping its sides for a stamp that does not turn
//    with the page put the stamp off the middle and off the page).
//  - The angle: a stamp that turns with the page takes it on the page. One
//    that does not (DDM 1288 clear, `fixedToPaper`) takes it on the sheet:
//    the layout turns a landscape page a quarter counter-clockwise onto its
//    sheet, so on a landscape page the stamp is drawn a quarter turn less,
//    and reads on the sheet as on a portrait job's. Only for one page a
//    sheet (the caller clears the flag otherwise): N-up, poster and
//    booklet pages are turned in their cells by the layout, and the stamp
//    turns with them. A 180-degree turn of the page (DDM 437) turns the
//    whole output, the stamp with it.
//  - A bitmap stamp is a .bmp file named by the stamp's bitmap name (an
//    absolute path, or one below the driver directory), drawn at the
//    rectangle's top left in bands of at most kTileRows rows: each band is
//    announced with SetPaperOffset (its row and column offsets) before it is
//    blitted, SRCAND when transparent, else SRCCOPY.
//  - The header/footer block (GetHeaderFooter) is drawn in the devmode's
//    header/footer face (DDM 358; the driver's default header font when
//    empty) at 9 points as one text line
//    at the printable area's top (user names, document name) and one at its
//    bottom (date, time, the page number), each item separated by two
//    blanks, bracketed by GetSetHeaderMode 1 and 0; placed in the DC's own
//    coordinates (the printable area's corner is their origin), each
//    line's glyphs inside the printable area. A line with items is
//    set off from the page by a rule across the printable width: under the
//    header, over the footer, a quarter of the text height away, drawn with
//    a black pen of kRulePoints / 10 points (at least one pixel).
// Results: 1 drawn, -1 when a drawing call or escape failed.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/ui/docevent.h"
#include "kestrel/ui/stamp.h"
#include "kplatform/byte_order.h"
#include "kplatform/kwindows.h"
#include "kplatform/wide_text.h"

namespace {

// Copies src into dst of `chars` units, cut to chars - 1 and terminated.
void CopyZ(LPWSTR dst, size_t chars, LPCWSTR src) {
  if (!chars) return;
  size_t n = kp_WideCopy(dst, src, chars - 1);
  dst[n] = 0;
}

constexpr LONG kTileRows = 256;
constexpr LONG kPointsPerInch = 72;
constexpr LONG kDefaultResolution = 600;
constexpr LONG kHeaderFooterPoints = 9;
constexpr LONG kRulePoints = 5;  // tenths of a point: the rule's pen

COLORREF Mix(COLORREF color, LONG percent) {
  auto part = [&](int shift) {
    LONG c = static_cast<LONG>((color >> shift) & 0xFF);
    return static_cast<DWORD>(c + (255 - c) * percent / 100) << shift;
  };
  return part(0) | part(8) | part(16);
}

// One text line at (x, y) in the selected font; 1 drawn, -1 failed.
int DrawText(HDC hdc, LONG x, LONG y, const std::u16string& text) {
  if (text.empty()) return 1;
  return ExtTextOutW(hdc, x, y, 0, nullptr, text.c_str(), static_cast<UINT>(text.size()), nullptr) ? 1 : -1;
}

std::u16string Item(const BYTE* block, DWORD at, DWORD chars) {
  std::u16string s;
  for (DWORD i = 0; i < chars; ++i) {
    char16_t c = static_cast<char16_t>(kp_LoadU16(block + at + 2 * i));
    if (!c) break;
    s += c;
  }
  return s;
}

// The header/footer's face: the devmode's header/footer font (DDM 357,
// its face name 358), else the driver's default header font, a face the
// system has (a name the font folder lacks would lose every line).
void HeaderFace(void* devmode, WCHAR face[LF_FACESIZE]) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR value = 0;
  face[0] = 0;
  if (devmode && ddm_GetValue(DDM_HEADERFONT_FACENAME, devmode, nullptr, &type, &size, &value) == 0 &&
      type == DDM_TYPE_STRING && value)
    CopyZ(face, std::min<size_t>(LF_FACESIZE, size / sizeof(WCHAR) + 1), reinterpret_cast<LPCWSTR>(value));
  if (face[0]) return;
  LOGFONTW def{};
  SetDefaultHeaderLogFont(&def);
  CopyZ(face, LF_FACESIZE, def.lfFaceName);
}

// A rectangle of GetPageInfo moved onto the DC (see the rules above).
struct DcRect {
  double left, top, right, bottom;
};
DcRect OnDc(HDC hdc, float left, float top, float right, float bottom) {
  const double x = GetDeviceCaps(hdc, PHYSICALOFFSETX), y = GetDeviceCaps(hdc, PHYSICALOFFSETY);
  return {left - x, top - y, right - x, bottom - y};
}

constexpr LONG kStampBorderParts = 20;  // the stamp keeps a twentieth of its rectangle free on each side
constexpr int kStampFitTries = 8;       // shrinking steps; the extent is not quite linear in the height
constexpr double kPi = 3.14159265358979323846;
constexpr LONG kQuarterTurn = 90, kFullTurn = 360;  // degrees

// The stamp's font at `height` pixels, and its text cell measured unturned
// (with a copy of the font at escapement 0: the extent of turned text is
// not the cell's on every DC).
struct StampFont {
  HFONT font = nullptr;
  SIZE extent{};
};
StampFont MakeStampFont(HDC hdc, LOGFONTW lf, LONG height, LPCWSTR text, LONG length) {
  StampFont f;
  lf.lfHeight = -height;
  f.font = CreateFontIndirectW(&lf);
  lf.lfEscapement = lf.lfOrientation = 0;
  HFONT upright = CreateFontIndirectW(&lf);
  if (!f.font || !upright) {
    if (f.font) DeleteObject(f.font);
    if (upright) DeleteObject(upright);
    return {};
  }
  HGDIOBJ old = SelectObject(hdc, upright);
  if (!GetTextExtentPoint32W(hdc, text, length, &f.extent)) f.extent = SIZE{};
  SelectObject(hdc, old);
  DeleteObject(upright);
  return f;
}

}  // namespace

int PrintWaterMark(HDC hdc, const KM_PAGEINFO* info, LONG orientation, LONG resolution, LONG angle,
                   const LOGFONTW* font, LPCWSTR text, COLORREF color, LONG transparency, LONG size,
                   BOOL fixedToPaper) {
  if (!hdc || !info || !text || !*text) return -1;
  if (resolution <= 0) resolution = kDefaultResolution;
  if (size <= 0) {
    STAMPINFO record{};
    zanStamp_GetStampInfo(nullptr, nullptr, nullptr, &record, TRUE);
    size = record.size;
  }
  // On the sheet: a landscape page lies a quarter turn counter-clockwise
  // on it (see the rules above).
  if (fixedToPaper && orientation == DMORIENT_LANDSCAPE) angle -= kQuarterTurn;
  angle = ((angle % kFullTurn) + kFullTurn) % kFullTurn;
  LOGFONTW lf = font ? *font : LOGFONTW{};
  lf.lfEscapement = lf.lfOrientation = angle * 10;
  // The stamp rectangle is the page's as the DC draws it, landscape pages
  // included: whether the stamp turns with the page does not change where
  // the page is (see the rules above).
  const DcRect mark = OnDc(hdc, info->markLeft, info->markTop, info->markRight, info->markBottom);
  const double width = (mark.right - mark.left) * (kStampBorderParts - 2) / kStampBorderParts;
  const double height = (mark.bottom - mark.top) * (kStampBorderParts - 2) / kStampBorderParts;
  const double turn = angle * kPi / 180;
  const double c = std::cos(turn), s = std::sin(turn);
  const LONG length = static_cast<LONG>(kp_WideLength(text));
  // The turned cell's width and height, and how much too large it is.
  auto over = [&](const SIZE& e) {
    const double w = e.cx * std::fabs(c) + e.cy * std::fabs(s), h = e.cx * std::fabs(s) + e.cy * std::fabs(c);
    return std::max({w / std::max(width, 1.0), h / std::max(height, 1.0), 0.0});
  };
  LONG pixels = std::max<LONG>(1, size * resolution / kPointsPerInch);
  StampFont f = MakeStampFont(hdc, lf, pixels, text, length);
  for (int i = 0; i < kStampFitTries && f.font && over(f.extent) > 1 && pixels > 1; ++i) {
    const LONG smaller = std::min(pixels - 1, static_cast<LONG>(pixels / over(f.extent)));
    pixels = std::max<LONG>(1, smaller);
    DeleteObject(f.font);
    f = MakeStampFont(hdc, lf, pixels, text, length);
  }
  int saved = SaveDC(hdc);
  HGDIOBJ old = f.font ? SelectObject(hdc, f.font) : nullptr;
  SetTextColor(hdc, Mix(color, transparency));
  SetBkMode(hdc, TRANSPARENT);
  // The text starts at its cell's top left: the cell's middle, less half
  // the cell along the baseline (cos, -sin on the DC, y down) and half
  // down it (sin, cos).
  const double cx = (mark.left + mark.right) / 2, cy = (mark.top + mark.bottom) / 2;
  const double hw = f.extent.cx / 2.0, hh = f.extent.cy / 2.0;
  const LONG x = static_cast<LONG>(std::lround(cx - hw * c - hh * s));
  const LONG y = static_cast<LONG>(std::lround(cy + hw * s - hh * c));
  int r = f.font ? DrawText(hdc, x, y, std::u16string(text, static_cast<size_t>(length))) : -1;
  if (old) SelectObject(hdc, old);
  if (saved) RestoreDC(hdc, saved);
  if (f.font) DeleteObject(f.font);
  return r;
}

int PrintBitmapWaterMark(HDC hdc, const KM_PAGEINFO* info, LONG orientation, LONG angle, LPCWSTR bitmapName,
                         LONG transparent, LONG option) {
  (void)orientation;
  (void)angle;
  (void)option;
  if (!hdc || !info || !bitmapName || !*bitmapName) return -1;
  std::u16string path(bitmapName);
  if (path.size() < 2 || path[1] != u':') {
    WCHAR dir[MAX_PATH] = {};
    if (!zanlib_GetDriverDirectory(dir, sizeof dir)) return -1;
    std::u16string base(dir);
    if (!base.empty() && base.back() != u'\\') base += u'\\';
    path = base + path;
  }
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (f == INVALID_HANDLE_VALUE) return -1;
  DWORD size = GetFileSize(f, nullptr);
  std::vector<BYTE> file(size);
  DWORD read = 0;
  BOOL ok = size > 54 && size < (64u << 20) && ReadFile(f, file.data(), size, &read, nullptr) && read == size;
  CloseHandle(f);
  // The file header (14 bytes: "BM", size, reserved, bits offset), then the
  // BITMAPINFOHEADER; bottom-up rows of an uncompressed bitmap only.
  if (!ok || file[0] != 'B' || file[1] != 'M') return -1;
  DWORD bitsAt = kp_LoadU32(file.data() + 10);
  BITMAPINFOHEADER h;
  std::memcpy(&h, file.data() + 14, sizeof h);
  if (h.biSize < sizeof h || h.biWidth <= 0 || h.biHeight <= 0 || h.biCompression != BI_RGB ||
      (h.biBitCount != 1 && h.biBitCount != 4 && h.biBitCount != 8 && h.biBitCount != 24 && h.biBitCount != 32))
    return -1;
  // The colour table lies between the header and the bits.
  uint64_t colours = h.biBitCount <= 8 ? (h.biClrUsed ? h.biClrUsed : (1u << h.biBitCount)) : 0;
  if (14 + static_cast<uint64_t>(h.biSize) + colours * sizeof(RGBQUAD) > bitsAt) return -1;
  uint64_t stride = ((static_cast<uint64_t>(h.biWidth) * h.biBitCount + 31) / 32) * 4;
  if (bitsAt >= size || stride * static_cast<uint64_t>(h.biHeight) > size - bitsAt) return -1;
  // The header and colour table, copied to an aligned block (they lie at
  // offset 14 of the file).
  const size_t infoBytes = static_cast<size_t>(bitsAt) - 14;
  std::vector<uint32_t> infoBlock((infoBytes + 3) / 4);
  std::memcpy(infoBlock.data(), file.data() + 14, infoBytes);
  const BITMAPINFO* bmi = reinterpret_cast<const BITMAPINFO*>(infoBlock.data());
  LONG x0 = static_cast<LONG>(info->markLeft), y0 = static_cast<LONG>(info->markTop);
  DWORD rop = transparent ? SRCAND : SRCCOPY;
  // Bands from the top of the picture: the bottom-up rows of band b start
  // at source row height - (b + 1) x rows.
  for (LONG top = 0; top < h.biHeight; top += kTileRows) {
    LONG rows = std::min(kTileRows, h.biHeight - top);
    BYTE offset[KM_ESC_PAPER_OFFSET_SIZE];
    kp_StoreU32(offset, static_cast<DWORD>(top));
    kp_StoreU32(offset + 4, 0);
    if (docevent_Send(hdc, KM_ESC_SET_PAPER_OFFSET, sizeof offset, offset, 0, nullptr) != 1) return -1;
    LONG srcY = h.biHeight - top - rows;
    if (StretchDIBits(hdc, x0, y0 + top, h.biWidth, rows, 0, srcY, h.biWidth, rows, file.data() + bitsAt, bmi,
                      DIB_RGB_COLORS, rop) == 0)
      return -1;
  }
  return 1;
}

int _HeaderFooter(HDC hdc, void* devmode, const KM_PAGEINFO* info) {
  if (!hdc || !info) return -1;
  DWORD on = 1, answer = 0;
  if (docevent_Send(hdc, KM_ESC_GETSET_HEADER_MODE, sizeof on, &on, sizeof answer, &answer) != 1) return -1;
  BYTE block[KM_HF_SIZE] = {};
  int r = docevent_Send(hdc, KM_ESC_GET_HEADER_FOOTER, 0, nullptr, sizeof block, block);
  if (r == 1) {
    std::u16string header, footer;
    auto add = [](std::u16string& line, const std::u16string& item) {
      if (item.empty()) return;
      if (!line.empty()) line += u"  ";
      line += item;
    };
    add(header, Item(block, KM_HF_USERNAME, KM_HF_USERNAME_CHARS));
    add(header, Item(block, KM_HF_USERHOST, KM_HF_USERHOST_CHARS));
    add(header, Item(block, KM_HF_DOCUMENT, KM_HF_DOCUMENT_CHARS));
    add(footer, Item(block, KM_HF_DATE, KM_HF_DATE_CHARS));
    add(footer, Item(block, KM_HF_TIME, KM_HF_TIME_CHARS));
    WORD page = kp_LoadU16(block + KM_HF_PAGENUMBER);
    if (page) {
      WCHAR number[12] = {};
      wsprintfW(number, u"%u", static_cast<unsigned>(page));
      add(footer, number);
    }
    LONG dpi = GetDeviceCaps(hdc, LOGPIXELSY);
    if (dpi <= 0) dpi = kDefaultResolution;
    LOGFONTW lf{};
    lf.lfHeight = -kHeaderFooterPoints * dpi / kPointsPerInch;
    HeaderFace(devmode, lf.lfFaceName);
    int saved = SaveDC(hdc);
    HFONT f = CreateFontIndirectW(&lf);
    HGDIOBJ old = f ? SelectObject(hdc, f) : nullptr;
    SetBkMode(hdc, TRANSPARENT);
    // The printable area comes in sheet pixels; on the DC (whose origin is
    // the printable area's top left corner) it is `OnDc`'s rectangle. A line
    // is drawn by its cell's top (the cell: the font's ascent and descent);
    // no glyph rises more than the text height above its baseline or falls
    // more than a quarter of it below, and a Latin face's descent is at most
    // that quarter, so the header's cell starts where its baseline lies one
    // text height under the top, and the footer's ends a quarter of the
    // text height above the bottom.
    const DcRect printable =
        OnDc(hdc, info->printableLeft, info->printableTop, info->printableRight, info->printableBottom);
    const LONG left = static_cast<LONG>(printable.left);
    const LONG top = static_cast<LONG>(printable.top);
    const LONG right = static_cast<LONG>(printable.right);
    const LONG bottom = static_cast<LONG>(printable.bottom);
    const LONG lineHeight = -lf.lfHeight;
    const LONG quarter = lineHeight / 4;
    const LONG gap = lineHeight / 4;
    SIZE extent{};
    const LONG cell = GetTextExtentPoint32W(hdc, u"Hg", 2, &extent) && extent.cy >= lineHeight
                          ? extent.cy
                          : lineHeight + quarter;
    const LONG headerTop = top + std::max<LONG>(0, lineHeight + quarter - cell);
    const LONG footerTop = bottom - cell - quarter;
    r = 1;
    if (DrawText(hdc, left, headerTop, header) != 1) r = -1;
    if (DrawText(hdc, left, footerTop, footer) != 1) r = -1;
    // The rule's pen stays inside the printable width: its ends are drawn
    // half a pen width in.
    const LONG penWidth = std::max<LONG>(1, kRulePoints * dpi / (kPointsPerInch * 10));
    HPEN pen = CreatePen(PS_SOLID, penWidth, RGB(0, 0, 0));
    HGDIOBJ oldPen = pen ? SelectObject(hdc, pen) : nullptr;
    auto rule = [&](LONG y) {
      const POINT line[2] = {{left + (penWidth + 1) / 2, y}, {right - (penWidth + 1) / 2, y}};
      if (!pen || !Polyline(hdc, line, 2)) r = -1;
    };
    if (!header.empty()) rule(headerTop + cell + gap);
    if (!footer.empty()) rule(footerTop - gap);
    if (oldPen) SelectObject(hdc, oldPen);
    if (pen) DeleteObject(pen);
    if (old) SelectObject(hdc, old);
    if (saved) RestoreDC(hdc, saved);
    if (f) DeleteObject(f);
  } else {
    r = -1;
  }
  DWORD off = 0;
  docevent_Send(hdc, KM_ESC_GETSET_HEADER_MODE, sizeof off, &off, sizeof answer, &answer);
  return r;
}
