#include "road_checks.h"

#include <kplatform/advapi32_registry.h>
#include <kplatform/kwindows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "pclxl_checker.h"
#include "pclxl_geometry.h"

namespace fs = std::filesystem;

namespace kestrel::test {

namespace {

constexpr char kUel[] = "\x1b%-12345X";
constexpr char kStreamHeader[] = ") HP-PCL XL;";
constexpr DWORD kNameChars = 16384;  // the longest value name and a NUL

std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

void DumpKey(HKEY key, const std::u16string& path, RegistryDump& dump) {
  dump[path + u"|"];
  std::vector<WCHAR> name(kNameChars);
  for (DWORD i = 0;; ++i) {
    DWORD chars = kNameChars;
    DWORD type = 0, bytes = 0;
    LONG rc = RegEnumValueW(key, i, name.data(), &chars, nullptr, &type, nullptr, &bytes);
    if (rc != ERROR_SUCCESS) break;
    std::u16string valueName(name.data(), chars);
    std::string data(sizeof type + bytes, '\0');
    std::memcpy(data.data(), &type, sizeof type);
    DWORD got = bytes;
    if (RegQueryValueExW(key, valueName.c_str(), nullptr, nullptr,
                         reinterpret_cast<LPBYTE>(data.data() + sizeof type), &got) != ERROR_SUCCESS)
      continue;
    data.resize(sizeof type + got);
    dump[path + u"|" + valueName] = std::move(data);
  }
  std::vector<std::u16string> subkeys;
  for (DWORD i = 0;; ++i) {
    DWORD chars = kNameChars;
    if (RegEnumKeyExW(key, i, name.data(), &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subkeys.emplace_back(name.data(), chars);
  }
  for (const std::u16string& sub : subkeys) {
    HKEY child = nullptr;
    if (RegOpenKeyExW(key, sub.c_str(), 0, KEY_READ, &child) != ERROR_SUCCESS) continue;
    DumpKey(child, path + u"\\" + sub, dump);
    RegCloseKey(child);
  }
}

bool Text(HDC hdc, const char16_t* face, int points, int x, int y, const std::u16string& text, bool bold = false) {
  LOGFONTW lf{};
  lf.lfHeight = -points * GetDeviceCaps(hdc, LOGPIXELSY) / 72;
  lf.lfWeight = bold ? 700 : 400;
  const std::u16string name = face;
  std::memcpy(lf.lfFaceName, name.c_str(), (name.size() + 1) * sizeof(char16_t));
  HFONT font = CreateFontIndirectW(&lf);
  if (font == nullptr) return false;
  HGDIOBJ old = SelectObject(hdc, font);
  SetBkMode(hdc, TRANSPARENT);
  const BOOL ok = ExtTextOutW(hdc, x, y, 0, nullptr, text.c_str(), static_cast<UINT>(text.size()), nullptr);
  SelectObject(hdc, old);
  DeleteObject(font);
  return ok != FALSE;
}

}  // namespace

using kestrel::road::RoadDocument;

RoadDocument FacesDocument() {
  RoadDocument doc;
  doc.name = u"faces";
  doc.pages.push_back({"a line in each face of the font folder, regular and bold", [](HDC hdc) {
                         const int in = GetDeviceCaps(hdc, LOGPIXELSX);
                         bool ok = true;
                         int line = 0;
                         for (const char16_t* face : {u"DejaVu Sans", u"DejaVu Serif", u"DejaVu Sans Mono"}) {
                           for (bool bold : {false, true}) {
                             const std::u16string text = std::u16string(face) + (bold ? u" bold" : u" regular") +
                                                         u": the quick brown fox jumps over the lazy dog.";
                             ok = ok && Text(hdc, face, 12, in, in + line++ * in / 3, text, bold);
                           }
                         }
                         return ok;
                       }});
  return doc;
}

const std::vector<std::string>& ResidentFontNames() {
  static const std::vector<std::string> names = {
      "Courier         ", "Courier       Bd", "Courier       It", "Courier     BdIt", "Helvetica       ",
      "Helvetica     Bd", "Helvetica     Ob", "Helvetica   BdOb", "Times        Rmn", "Times         Bd",
      "Times         It", "Times       BdIt", "Arial           ", "Arial         Bd", "Arial         It",
      "Arial       BdIt", "TimesNewRmn     ", "TimesNewRmn   Bd", "TimesNewRmn   It", "TimesNewRmn BdIt"};
  return names;
}

RoadDocument OnePageDocument() {
  RoadDocument doc;
  doc.name = u"one page";
  doc.pages.push_back({"a frame, a diagonal and a line of text", [](HDC hdc) {
                         const int in = GetDeviceCaps(hdc, LOGPIXELSX);
                         POINT frame[] = {{in, in}, {in * 4, in}, {in * 4, in * 3}, {in, in * 3}, {in, in}};
                         POINT diagonal[] = {{in, in}, {in * 4, in * 3}};
                         return Polyline(hdc, frame, 5) && Polyline(hdc, diagonal, 2) &&
                                Text(hdc, u"DejaVu Sans", 12, in, in * 4, u"One page, walked.");
                       }});
  return doc;
}

RoadDocument TextDocument(int pages, const std::u16string& name) {
  RoadDocument doc;
  doc.name = name;
  for (int p = 1; p <= pages; ++p) {
    doc.pages.push_back({"text page " + std::to_string(p), [p, name](HDC hdc) {
                           const int in = GetDeviceCaps(hdc, LOGPIXELSX);
                           bool ok = true;
                           for (int line = 0; ok && line < 40; ++line) {
                             const std::string text = "Page " + std::to_string(p) + ", line " +
                                                      std::to_string(line + 1) +
                                                      ": the quick brown fox jumps over the lazy dog.";
                             ok = Text(hdc, u"DejaVu Serif", 10, in, in + line * in / 5,
                                       name + u" " + std::u16string(text.begin(), text.end()));
                           }
                           return ok;
                         }});
  }
  return doc;
}

RegistryDump DumpRegistry() {
  RegistryDump dump;
  DumpKey(HKEY_LOCAL_MACHINE, u"HKLM", dump);
  DumpKey(HKEY_CURRENT_USER, u"HKCU", dump);
  return dump;
}

std::vector<std::u16string> TempFileRecords(const RegistryDump& dump) {
  std::vector<std::u16string> out;
  for (const auto& [key, data] : dump) {
    const size_t at = key.find(u"\\TempFile\\");
    if (at != std::u16string::npos && key.back() == u'|') out.push_back(key.substr(0, key.size() - 1));
  }
  return out;
}

std::vector<std::string> RegistryChanges(const RegistryDump& before, const RegistryDump& after,
                                         const std::vector<std::u16string>& ignored) {
  auto skip = [&](const std::u16string& key) {
    for (const std::u16string& prefix : ignored)
      if (key.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
  };
  std::vector<std::string> out;
  for (const auto& [key, data] : after) {
    if (skip(key)) continue;
    auto it = before.find(key);
    if (it == before.end()) out.push_back("+ " + Narrow(key));
    else if (it->second != data) out.push_back("~ " + Narrow(key));
  }
  for (const auto& [key, data] : before)
    if (!skip(key) && after.count(key) == 0) out.push_back("- " + Narrow(key));
  return out;
}

std::set<std::string> FilesBelow(const std::string& folder) {
  std::set<std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_regular_file(ec)) out.insert(fs::relative(it->path(), folder, ec).generic_string());
  }
  return out;
}

PortJob SplitPortJob(const std::string& bytes) {
  PortJob job;
  const size_t header = bytes.find(kStreamHeader);
  if (header == std::string::npos) {
    job.error = "no PCL XL stream header";
    return job;
  }
  const size_t jobLine = bytes.rfind("@PJL JOB", header);
  const size_t frame = jobLine == std::string::npos ? std::string::npos : bytes.rfind(kUel, jobLine);
  if (frame == std::string::npos) {
    job.error = "no EJCL header (UEL and \"@PJL JOB\") before the stream header";
    return job;
  }
  const size_t lineEnd = bytes.find('\n', header);
  if (lineEnd == std::string::npos) {
    job.error = "the stream header line does not end";
    return job;
  }
  const size_t eoj = bytes.find("@PJL EOJ", lineEnd);
  const size_t trailer = eoj == std::string::npos ? std::string::npos : bytes.rfind(kUel, eoj);
  if (trailer == std::string::npos || trailer <= lineEnd) {
    job.error = "no trailer (UEL ... \"@PJL EOJ\") after the stream";
    return job;
  }
  job.monitorBlock = bytes.substr(0, frame);
  job.ejclHeader = bytes.substr(frame, header - frame);
  job.streamHeader = bytes.substr(header, lineEnd + 1 - header);
  job.stream = bytes.substr(lineEnd + 1, trailer - lineEnd - 1);
  job.trailer = bytes.substr(trailer);
  return job;
}

std::vector<std::string> JobShape(const std::string& bytes) {
  std::vector<std::string> shape;
  for (const std::string& line : PjlLines(bytes))
    if (line.rfind("@PJL COMMENT DATE=", 0) != 0 && line.rfind("@PJL COMMENT TIME=", 0) != 0) shape.push_back(line);
  pclxl_check::Listing listing;
  pclxl_check::check(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), pclxl_check::Mode::Job, &listing);
  for (const std::string& key : listing.keys())
    if (key != "Comment" && key != "PushGS" && key != "PopGS" && key.rfind("Set", 0) != 0) shape.push_back(key);
  return shape;
}

std::string JobShapeDiff(const std::string& a, const std::string& b) {
  const std::vector<std::string> x = JobShape(a), y = JobShape(b);
  for (size_t i = 0; i < std::max(x.size(), y.size()); ++i) {
    const std::string l = i < x.size() ? x[i] : "(end)", r = i < y.size() ? y[i] : "(end)";
    if (l != r) return "item " + std::to_string(i) + ": " + l + " / " + r;
  }
  return "";
}

std::vector<std::string> PjlLines(const std::string& part) {
  std::vector<std::string> out;
  for (size_t at = part.find("@PJL"); at != std::string::npos; at = part.find("@PJL", at + 1)) {
    size_t end = part.find('\n', at);
    std::string line = part.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
  }
  return out;
}

RoadDocument FramedPagesDocument(int pages) {
  RoadDocument doc;
  doc.name = u"framed pages";
  for (int p = 1; p <= pages; ++p) {
    doc.pages.push_back({"framed page " + std::to_string(p), [](HDC hdc) {
                           const int w = GetDeviceCaps(hdc, HORZRES), h = GetDeviceCaps(hdc, VERTRES);
                           HGDIOBJ pen = SelectObject(hdc, GetStockObject(NULL_PEN));
                           HGDIOBJ brush = SelectObject(hdc, GetStockObject(BLACK_BRUSH));
                           const BOOL ok = Rectangle(hdc, 0, 0, w, h);
                           SelectObject(hdc, brush);
                           SelectObject(hdc, pen);
                           return ok != FALSE;
                         }});
  }
  return doc;
}

RoadDocument NumberedPagesDocument(int pages) {
  RoadDocument doc;
  doc.name = u"numbered pages";
  for (int p = 1; p <= pages; ++p) {
    doc.pages.push_back({"numbered page " + std::to_string(p), [p, pages](HDC hdc) {
                           const int w = GetDeviceCaps(hdc, HORZRES), h = GetDeviceCaps(hdc, VERTRES);
                           HGDIOBJ pen = SelectObject(hdc, GetStockObject(NULL_PEN));
                           HGDIOBJ brush = SelectObject(hdc, GetStockObject(BLACK_BRUSH));
                           const BOOL ok = Rectangle(hdc, 0, (p - 1) * h / pages, w, p * h / pages);
                           SelectObject(hdc, brush);
                           SelectObject(hdc, pen);
                           return ok != FALSE;
                         }});
  }
  return doc;
}

namespace {

using pclxl_check::Box;

Box Intersect(const Box& a, const Box& b) {
  Box out;
  if (a.empty || b.empty) return out;
  const double l = std::max(a.left, b.left), t = std::max(a.top, b.top);
  const double r = std::min(a.right, b.right), bt = std::min(a.bottom, b.bottom);
  if (l < r && t < bt) {
    out.add(l, t);
    out.add(r, bt);
  }
  return out;
}

double Area(const Box& b) { return b.width() * b.height(); }

bool Near(double got, double want) { return std::fabs(got - want) <= 0.001 * std::fabs(want); }

// Cell (column, row; (0, 0) top left) of `columns` x `rows` as a side is
// read by a page of transform `ctm` (turned so that it stands upright), on
// the sheet as fed: the page's x axis points right (0), up (90), left (180)
// or down (270).
Box CellAsRead(const pclxl_check::SheetSide& side, const pclxl_check::Transform& ctm, int columns, int rows,
               std::pair<int, int> at) {
  const int turn = static_cast<int>(std::lround(ctm.angle() / 90.0)) % 4;
  const int C = columns, R = rows, cu = at.first, rv = at.second;
  int col = cu, row = rv, cols = C, rws = R;
  if (turn == 1) {
    col = rv;
    row = C - 1 - cu;
  } else if (turn == 2) {
    col = C - 1 - cu;
    row = R - 1 - rv;
  } else if (turn == 3) {
    col = R - 1 - rv;
    row = cu;
  }
  if (turn % 2 == 1) std::swap(cols, rws);
  const double w = side.printable.width() / cols, h = side.printable.height() / rws;
  Box cell;
  cell.add(side.printable.left + col * w, side.printable.top + row * h);
  cell.add(side.printable.left + (col + 1) * w, side.printable.top + (row + 1) * h);
  return cell;
}

// Whether `box` fills `cell` across one axis (a fitted page).
bool FillsOneAxis(const Box& box, const Box& cell, double tolerance) {
  const bool fillsX = std::fabs(box.width() - cell.width()) <= 0.001 * cell.width() + tolerance;
  const bool fillsY = std::fabs(box.height() - cell.height()) <= 0.001 * cell.height() + tolerance;
  return fillsX || fillsY;
}

}  // namespace

namespace {

// Landing::numbered: each side's pages told by their bands, each page's
// whole box in the cell that holds it.
template <typename ScaleFault>
void NumberedFaults(const pclxl_check::Geometry& g, const Landing& want, double tolerance, const ScaleFault& scaleFault,
                    std::ostringstream& out) {
  const std::vector<std::pair<int, int>> cells =
      want.cells.empty() ? std::vector<std::pair<int, int>>{{0, 0}} : want.cells;
  const int n = want.numbered;
  // The page in its own coordinates: the bands of the whole job together.
  Box page;
  for (const pclxl_check::SheetSide& side : g.sides)
    for (const pclxl_check::Section& s : side.sections) page.add(s.user);
  const double band = page.height() / n;
  // The page a band paints (0 when the section paints no single band).
  auto pageOf = [&](const Box& user) {
    if (band <= 0) return 0;
    const long top = std::lround((user.top - page.top) / band), bottom = std::lround((user.bottom - page.top) / band);
    return bottom == top + 1 && Near(user.width(), page.width()) ? static_cast<int>(bottom) : 0;
  };
  if (g.sides.size() != want.sidePages.size())
    out << g.sides.size() << " sheet sides printed, not " << want.sidePages.size() << "\n";
  for (size_t i = 0; i < g.sides.size() && i < want.sidePages.size(); ++i) {
    const pclxl_check::SheetSide& side = g.sides[i];
    const std::vector<int>& pages = want.sidePages[i];
    const std::string where = "side " + std::to_string(i + 1);
    std::vector<int> found;
    for (const pclxl_check::Section& s : side.sections) found.push_back(pageOf(s.user));
    std::vector<int> wanted;
    for (int p : pages)
      if (p != 0) wanted.push_back(p);
    std::vector<int> a = found, b = wanted;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    if (a != b) {
      out << where << ": pages";
      for (int p : found) out << " " << (p == 0 ? std::string("?") : std::to_string(p));
      out << ", not";
      for (int p : wanted) out << " " << p;
      out << "\n";
    }
    for (size_t k = 0; k < pages.size() && k < cells.size(); ++k) {
      if (pages[k] == 0) continue;
      for (size_t j = 0; j < side.sections.size(); ++j) {
        if (found[j] != pages[k]) continue;
        const pclxl_check::Section& s = side.sections[j];
        const std::string at = where + " page " + std::to_string(pages[k]);
        const Box whole = s.ctm.map(page);
        const Box cell = CellAsRead(side, s.ctm, want.columns, want.rows, cells[k]);
        if (!whole.inside(cell, tolerance))
          out << at << ": the page " << whole.text() << " outside its cell " << cell.text() << "\n";
        if (!FillsOneAxis(whole, cell, tolerance))
          out << at << ": the page " << whole.text() << " fills its cell " << cell.text() << " across neither axis\n";
        scaleFault(s, at);
      }
    }
  }
}

}  // namespace

std::string LandingFaults(const std::string& jobBytes, const Landing& want) {
  pclxl_check::Listing listing;
  const pclxl_check::Report report = pclxl_check::check(reinterpret_cast<const uint8_t*>(jobBytes.data()),
                                                        jobBytes.size(), pclxl_check::Mode::Job, &listing);
  const pclxl_check::Geometry g = pclxl_check::geometry(listing);
  std::ostringstream out;
  if (!report.ok()) out << "the strict checker's findings:\n" << report.text();
  if (!g.problem.empty()) out << g.problem << "\n";
  if (g.sides.empty()) out << "no sheet side\n";
  // Two printer dots at 600 dpi: the printable area's edge in whole pixels.
  const double tolerance = g.unitsPerInch / 300;
  auto scaleFault = [&](const pclxl_check::Section& s, const std::string& where) {
    if (want.scale > 0 && !(Near(s.ctm.scaleX(), want.scale) && Near(s.ctm.scaleY(), want.scale)))
      out << where << ": scale " << s.ctm.scaleX() << " x " << s.ctm.scaleY() << ", not " << want.scale << "\n";
  };
  if (want.posterParts > 0) {
    const size_t parts = static_cast<size_t>(want.posterParts);
    if (g.sides.size() % parts != 0) out << g.sides.size() << " sides are no whole number of posters\n";
    for (size_t first = 0; first + parts <= g.sides.size(); first += parts) {
      const std::string poster = "poster " + std::to_string(first / parts + 1);
      std::vector<Box> tiles;
      Box page;
      for (size_t k = first; k < first + parts; ++k) {
        const pclxl_check::SheetSide& side = g.sides[k];
        const std::string where = poster + " side " + std::to_string(k + 1);
        if (side.sections.size() != 1) {
          out << where << ": " << side.sections.size() << " page transforms painted, not one\n";
          continue;
        }
        const pclxl_check::Section& s = side.sections[0];
        scaleFault(s, where);
        if (page.empty) page = s.user;
        tiles.push_back(s.ctm.unmap(side.printable));
      }
      // The parts cover the page once: no two overlap, together no gap.
      const double slack = tolerance * (page.width() + page.height());
      double covered = 0;
      for (size_t a = 0; a < tiles.size(); ++a) {
        covered += Area(Intersect(tiles[a], page));
        for (size_t b = a + 1; b < tiles.size(); ++b)
          if (Area(Intersect(tiles[a], tiles[b])) > slack)
            out << poster << ": parts " << a + 1 << " and " << b + 1 << " overlap: " << tiles[a].text() << " "
                << tiles[b].text() << "\n";
      }
      if (Area(page) - covered > slack)
        out << poster << ": the parts leave " << Area(page) - covered << " square units of the page "
            << page.text() << " unprinted\n";
    }
  } else if (want.numbered > 0) {
    NumberedFaults(g, want, tolerance, scaleFault, out);
  } else {
    const std::vector<std::pair<int, int>> cells =
        want.cells.empty() ? std::vector<std::pair<int, int>>{{0, 0}} : want.cells;
    for (size_t i = 0; i < g.sides.size(); ++i) {
      const pclxl_check::SheetSide& side = g.sides[i];
      if (side.sections.size() > cells.size())
        out << "side " << i + 1 << ": " << side.sections.size() << " pages on " << cells.size() << " cells\n";
      if (side.sections.empty()) out << "side " << i + 1 << ": no page painted\n";
      for (size_t k = 0; k < side.sections.size() && k < cells.size(); ++k) {
        const pclxl_check::Section& s = side.sections[k];
        const std::string where = "side " + std::to_string(i + 1) + " page " + std::to_string(k + 1);
        const Box cell = CellAsRead(side, s.ctm, want.columns, want.rows, cells[k]);
        if (!s.painted.inside(cell, tolerance))
          out << where << ": painted " << s.painted.text() << " outside its cell " << cell.text() << "\n";
        if (!FillsOneAxis(s.painted, cell, tolerance))
          out << where << ": painted " << s.painted.text() << " fills its cell " << cell.text()
              << " across neither axis\n";
        scaleFault(s, where);
      }
    }
  }
  std::string faults = out.str();
  if (!faults.empty()) faults += "where the job paints:\n" + g.text();
  return faults;
}

}  // namespace kestrel::test
