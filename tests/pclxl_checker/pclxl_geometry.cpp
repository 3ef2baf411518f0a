// The checker's geometry mode (pclxl_geometry.h): the page transform and
// the painting operators of a decoded listing, followed into sheet
// coordinates.
#include "pclxl_geometry.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "json.h"

#ifndef PCLXL_TABLES_PATH
#error "PCLXL_TABLES_PATH must name pclxl-tables.json"
#endif

namespace pclxl_check {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMediaDpi = 300.0;       // the tables' media sizes are in 1/300 inch
constexpr double kMmPerInch = 25.4;
constexpr double kGlyphWidth = 0.6;       // a glyph without an advance, in CharSize
constexpr double kGlyphDescent = 0.25;    // below the baseline, in CharSize
constexpr int kDefaultPenWidth = 1;       // PCL XL's default pen width

// The tables' media sizes and labels, and the points of each Measure.
struct Media {
  std::map<int, std::pair<double, double>> size300;  // code -> width, height in 1/300 inch
  std::map<int, std::string> label;
  std::map<std::string, int> byLabel;                // "A4" and "eA4Paper" -> code
  std::map<int, double> pointsPerUnit;
  std::string error;
};

Media loadMedia() {
  Media m;
  std::ifstream in(PCLXL_TABLES_PATH, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  json::Value root;
  if (!in || !json::parse(ss.str(), root, m.error)) {
    if (m.error.empty()) m.error = std::string("cannot read ") + PCLXL_TABLES_PATH;
    return m;
  }
  for (const auto& [code, v] : root["media_size_dimensions_300dpi"].object)
    m.size300[std::atoi(code.c_str())] = {v["width"].number, v["height"].number};
  for (const char* table : {"MediaSize", "MediaSizeExtensions"})
    for (const auto& [code, v] : root["enumerations"][table].object) {
      const int c = std::atoi(code.c_str());
      m.label[c] = v.string;
      m.byLabel[v.string] = c;
      // The name form of MediaSize: the label without its "e" and "Paper".
      std::string bare = v.string.size() > 1 ? v.string.substr(1) : v.string;
      if (bare.size() > 5 && bare.compare(bare.size() - 5, 5, "Paper") == 0) bare.resize(bare.size() - 5);
      m.byLabel[bare] = c;
    }
  for (const auto& [unit, v] : root["measure_units_in_points"].object) m.pointsPerUnit[std::atoi(unit.c_str())] = v.number;
  return m;
}

const Media& media() {
  static const Media m = loadMedia();
  return m;
}

const ListedAttribute* attr(const ListedItem& item, const char* name) {
  const ListedAttribute* found = nullptr;
  for (const auto& a : item.attributes)
    if (a.name == name) found = &a;
  return found;
}

bool xy(const ListedItem& item, const char* name, double* x, double* y) {
  const ListedAttribute* a = attr(item, name);
  if (a == nullptr || a->numbers.size() < 2) return false;
  *x = a->numbers[0];
  *y = a->numbers[1];
  return true;
}

double scalar(const ListedItem& item, const char* name, double fallback) {
  const ListedAttribute* a = attr(item, name);
  return a != nullptr && !a->numbers.empty() ? a->numbers[0] : fallback;
}

// The user axes turned by `degrees` counter-clockwise as the sheet is seen
// (y points down): a new point (x, y) is the old (x cos + y sin, -x sin + y cos).
Transform turn(double degrees) {
  const double r = degrees * kPi / 180.0;
  double c = std::cos(r), s = std::sin(r);
  if (std::fabs(c) < 1e-12) c = 0;
  if (std::fabs(s) < 1e-12) s = 0;
  Transform t;
  t.a = c;
  t.b = -s;
  t.c = s;
  t.d = c;
  return t;
}

// first, then `then`: the map of p is then(first(p)).
Transform compose(const Transform& first, const Transform& then) {
  Transform r;
  r.a = first.a * then.a + first.b * then.c;
  r.b = first.a * then.b + first.b * then.d;
  r.c = first.c * then.a + first.d * then.c;
  r.d = first.c * then.b + first.d * then.d;
  r.e = first.e * then.a + first.f * then.c + then.e;
  r.f = first.e * then.b + first.f * then.d + then.f;
  return r;
}

Transform translate(double x, double y) {
  Transform t;
  t.e = x;
  t.f = y;
  return t;
}

Transform scale(double x, double y) {
  Transform t;
  t.a = x;
  t.d = y;
  return t;
}

// What PushGS keeps.
struct State {
  Transform ctm;
  bool pen = true;
  double penWidth = kDefaultPenWidth;
  double charSize = 0, charScaleX = 1, charScaleY = 1, charAngle = 0;
};

class Follower {
 public:
  Follower(const GeometryOptions& options, Geometry& out) : options_(options), out_(out) {}

  void item(const ListedItem& it) {
    if (it.inband) return;
    const std::string& n = it.name;
    if (n == "BeginSession") return beginSession(it);
    if (n == "BeginPage") return beginPage(it);
    if (n == "EndPage") {
      side_ = nullptr;
      return;
    }
    if (side_ == nullptr) return;
    if (n == "PushGS") return stack_.push_back(gs_);
    if (n == "PopGS") {
      if (!stack_.empty()) {
        gs_ = stack_.back();
        stack_.pop_back();
      }
      return;
    }
    if (n == "SetPageDefaultCTM") {
      gs_.ctm = defaultCtm_;
      section_ = -1;
      return;
    }
    if (n == "SetPageOrigin") {
      double x, y;
      if (xy(it, "PageOrigin", &x, &y)) gs_.ctm = compose(translate(x, y), gs_.ctm);
      return;
    }
    if (n == "SetPageScale") {
      double x, y;
      if (xy(it, "PageScale", &x, &y)) gs_.ctm = compose(scale(x, y), gs_.ctm);
      return;
    }
    if (n == "SetPageRotation") {
      gs_.ctm = compose(turn(scalar(it, "PageAngle", 0)), gs_.ctm);
      return;
    }
    if (n == "SetPenSource") {
      gs_.pen = attr(it, "NullPen") == nullptr;
      return;
    }
    if (n == "SetPenWidth") {
      gs_.penWidth = scalar(it, "PenWidth", kDefaultPenWidth);
      return;
    }
    if (n == "SetFont") {
      gs_.charSize = scalar(it, "CharSize", gs_.charSize);
      return;
    }
    if (n == "SetCharScale") {
      xy(it, "CharScale", &gs_.charScaleX, &gs_.charScaleY);
      return;
    }
    if (n == "SetCharAngle") {
      gs_.charAngle = scalar(it, "CharAngle", 0);
      return;
    }
    if (n == "NewPath") {
      path_ = pathUser_ = Box{};
      return;
    }
    if (n == "SetCursor") {
      xy(it, "Point", &cx_, &cy_);
      return;
    }
    if (n == "SetCursorRel") {
      double x, y;
      if (xy(it, "Point", &x, &y)) {
        cx_ += x;
        cy_ += y;
      }
      return;
    }
    if (n == "LinePath" || n == "BezierPath") return points(it, false);
    if (n == "LineRelPath" || n == "BezierRelPath") return points(it, true);
    if (n == "RectanglePath" || n == "EllipsePath" || n == "RoundRectanglePath" || n == "ArcPath" ||
        n == "ChordPath" || n == "PiePath") {
      addBox(it, &path_, &pathUser_);
      return;
    }
    if (n == "PaintPath") {
      Box b = path_;
      if (gs_.pen) b = widen(b);
      paint(b, pathUser_);
      return;
    }
    if (n == "Rectangle" || n == "Ellipse" || n == "RoundRectangle" || n == "Arc" || n == "Chord" || n == "Pie") {
      Box sheet, user;
      addBox(it, &sheet, &user);
      if (gs_.pen) sheet = widen(sheet);
      paint(sheet, user);
      return;
    }
    if (n == "Text" || n == "TextPath") return text(it, n == "TextPath");
    if (n == "BeginImage") {
      double w, h;
      if (xy(it, "DestinationSize", &w, &h)) {
        Box user;
        user.add(cx_, cy_);
        user.add(cx_ + w, cy_ + h);
        paint(gs_.ctm.map(user), user);
      }
      return;
    }
    if (n == "BeginScan" || n == "ExecStream") out_.unmodelled.push_back(n + " @" + std::to_string(it.offset));
  }

 private:
  const GeometryOptions& options_;
  Geometry& out_;
  double unitsX_ = 0, unitsY_ = 0;  // session units per inch
  SheetSide* side_ = nullptr;
  Transform defaultCtm_;
  State gs_;
  std::vector<State> stack_;
  int section_ = -1;  // the side's section painting now (-1: the next paint opens one)
  double cx_ = 0, cy_ = 0;
  Box path_;          // sheet coordinates
  Box pathUser_;      // the path since NewPath in user coordinates

  void beginSession(const ListedItem& it) {
    double x = 0, y = 0;
    xy(it, "UnitsPerMeasure", &x, &y);
    const int measure = static_cast<int>(scalar(it, "Measure", 0));
    auto p = media().pointsPerUnit.find(measure);
    const double perInch = p != media().pointsPerUnit.end() && p->second > 0 ? 72.0 / p->second : 1.0;
    unitsX_ = x * perInch;
    unitsY_ = y * perInch;
    out_.unitsPerInch = unitsX_;
  }

  void beginPage(const ListedItem& it) {
    out_.sides.emplace_back();
    side_ = &out_.sides.back();
    side_->offset = it.offset;
    side_->orientation = static_cast<int>(scalar(it, "Orientation", 0));
    double w = 0, h = 0;
    if (unitsX_ <= 0 || unitsY_ <= 0) {
      out_.problem = "BeginPage @" + std::to_string(it.offset) + " outside a session with units";
    } else if (const ListedAttribute* m = attr(it, "MediaSize")) {
      int code = -1;
      if (m->type == "ubyte" && !m->numbers.empty()) {
        code = static_cast<int>(m->numbers[0]);
      } else {
        std::string name;
        for (double c : m->numbers) name += static_cast<char>(static_cast<int>(c));
        auto found = media().byLabel.find(name);
        if (found != media().byLabel.end()) code = found->second;
      }
      auto size = media().size300.find(code);
      if (size == media().size300.end()) {
        out_.problem = "BeginPage @" + std::to_string(it.offset) + " with a medium of no known size (" + m->value + ")";
      } else {
        w = size->second.first / kMediaDpi * unitsX_;
        h = size->second.second / kMediaDpi * unitsY_;
        auto label = media().label.find(code);
        side_->medium = label != media().label.end() ? label->second : m->value;
      }
    } else if (xy(it, "CustomMediaSize", &w, &h)) {
      const int unit = static_cast<int>(scalar(it, "CustomMediaSizeUnits", 0));
      auto p = media().pointsPerUnit.find(unit);
      const double inches = p != media().pointsPerUnit.end() ? p->second / 72.0 : 1.0;
      w *= inches * unitsX_;
      h *= inches * unitsY_;
      side_->medium = "custom";
    } else {
      out_.problem = "BeginPage @" + std::to_string(it.offset) + " without a medium";
    }
    side_->sheet.add(0, 0);
    side_->sheet.add(w, h);
    const double mx = options_.marginMillimetres / kMmPerInch * unitsX_;
    const double my = options_.marginMillimetres / kMmPerInch * unitsY_;
    side_->printable.add(mx, my);
    side_->printable.add(w - mx, h - my);
    // The logical page on the sheet: landscape turned a quarter
    // counter-clockwise (its origin at the sheet's lower left), reverse
    // portrait a half, reverse landscape three quarters.
    switch (side_->orientation) {
      case 1: defaultCtm_ = compose(turn(90), translate(0, h)); break;
      case 2: defaultCtm_ = compose(turn(180), translate(w, h)); break;
      case 3: defaultCtm_ = compose(turn(270), translate(w, 0)); break;
      default: defaultCtm_ = Transform{};
    }
    gs_ = State{};
    gs_.ctm = defaultCtm_;
    stack_.clear();
    section_ = -1;
    cx_ = cy_ = 0;
    path_ = pathUser_ = Box{};
  }

  void point(double x, double y, Box* sheet, Box* user) {
    double sx, sy;
    gs_.ctm.apply(x, y, &sx, &sy);
    sheet->add(sx, sy);
    user->add(x, y);
  }

  // LinePath and BezierPath, absolute or relative to the cursor: their
  // attribute points or their embedded point list.
  void points(const ListedItem& it, bool relative) {
    std::vector<std::pair<double, double>> pts;
    double x, y;
    for (const char* name : {"ControlPoint1", "ControlPoint2", "EndPoint"})
      if (xy(it, name, &x, &y)) pts.emplace_back(x, y);
    const ListedAttribute* type = attr(it, "PointType");
    if (pts.empty() && type != nullptr && !type->numbers.empty() && it.hasData) {
      const int t = static_cast<int>(type->numbers[0]);  // 0 ubyte, 1 sbyte, 2 uint16, 3 sint16
      const size_t width = t <= 1 ? 1 : 2;
      for (size_t i = 0; i + 2 * width <= it.data.size(); i += 2 * width) {
        double v[2];
        for (int k = 0; k < 2; ++k) {
          const uint8_t* p = it.data.data() + i + k * width;
          const uint32_t raw = width == 1 ? p[0] : static_cast<uint32_t>(p[0] | (p[1] << 8));
          if (t == 1) v[k] = static_cast<int8_t>(raw);
          else if (t == 3) v[k] = static_cast<int16_t>(raw);
          else v[k] = raw;
        }
        pts.emplace_back(v[0], v[1]);
      }
    }
    // The path starts at the cursor; a Bézier's segments take three points
    // each and add the curve's own extremes, not its control points.
    const bool bezier = it.name == "BezierPath" || it.name == "BezierRelPath";
    // Relative lines count from the point before; a relative Bézier's three
    // points all count from its segment's start.
    std::vector<std::pair<double, double>> at{{cx_, cy_}};
    for (size_t k = 0; k < pts.size(); ++k) {
      const auto [px, py] = pts[k];
      if (!relative) {
        at.emplace_back(px, py);
      } else if (bezier) {
        const auto& start = at[at.size() - 1 - (k % 3)];
        at.emplace_back(start.first + px, start.second + py);
      } else {
        at.emplace_back(at.back().first + px, at.back().second + py);
      }
    }
    cx_ = at.back().first;
    cy_ = at.back().second;
    if (!bezier) {
      for (const auto& [x, y] : at) point(x, y, &path_, &pathUser_);
      return;
    }
    point(at[0].first, at[0].second, &path_, &pathUser_);
    for (size_t k = 0; k + 3 < at.size(); k += 3) {
      point(at[k + 3].first, at[k + 3].second, &path_, &pathUser_);
      for (double t : extremes(at[k].first, at[k + 1].first, at[k + 2].first, at[k + 3].first))
        bezierPoint(at, k, t);
      for (double t : extremes(at[k].second, at[k + 1].second, at[k + 2].second, at[k + 3].second))
        bezierPoint(at, k, t);
    }
  }

  // The parameters in (0, 1) where one coordinate of a cubic turns.
  static std::vector<double> extremes(double p0, double p1, double p2, double p3) {
    const double a = 3 * (-p0 + 3 * p1 - 3 * p2 + p3), b = 6 * (p0 - 2 * p1 + p2), c = 3 * (p1 - p0);
    std::vector<double> roots;
    if (std::fabs(a) < 1e-12) {
      if (std::fabs(b) > 1e-12) roots.push_back(-c / b);
    } else {
      const double disc = b * b - 4 * a * c;
      if (disc >= 0) {
        roots.push_back((-b + std::sqrt(disc)) / (2 * a));
        roots.push_back((-b - std::sqrt(disc)) / (2 * a));
      }
    }
    std::vector<double> inside;
    for (double t : roots)
      if (t > 0 && t < 1) inside.push_back(t);
    return inside;
  }

  void bezierPoint(const std::vector<std::pair<double, double>>& at, size_t k, double t) {
    const double u = 1 - t;
    const double w0 = u * u * u, w1 = 3 * u * u * t, w2 = 3 * u * t * t, w3 = t * t * t;
    point(w0 * at[k].first + w1 * at[k + 1].first + w2 * at[k + 2].first + w3 * at[k + 3].first,
          w0 * at[k].second + w1 * at[k + 1].second + w2 * at[k + 2].second + w3 * at[k + 3].second, &path_,
          &pathUser_);
  }

  // A BoundingBox's four corners into `sheet` and `user`.
  void addBox(const ListedItem& it, Box* sheet, Box* user) {
    const ListedAttribute* b = attr(it, "BoundingBox");
    if (b == nullptr || b->numbers.size() < 4) return;
    for (int corner = 0; corner < 4; ++corner)
      point(b->numbers[corner & 1 ? 2 : 0], b->numbers[corner & 2 ? 3 : 1], sheet, user);
  }

  Box widen(Box b) const {
    if (b.empty) return b;
    const double half = gs_.penWidth / 2 * gs_.ctm.scaleX();
    b.left -= half;
    b.top -= half;
    b.right += half;
    b.bottom += half;
    return b;
  }

  void text(const ListedItem& it, bool toPath) {
    const ListedAttribute* data = attr(it, "TextData");
    const ListedAttribute* spacing = attr(it, "XSpacingData");
    const ListedAttribute* rise = attr(it, "YSpacingData");
    if (data == nullptr) return;
    const size_t count = data->numbers.size();
    const double size = gs_.charSize;
    // A glyph's frame at its origin: the character scale and angle. The
    // spacing data are user-space moves of the cursor (turned text carries
    // its baseline's direction in XSpacingData and YSpacingData together);
    // without them a glyph advances along its own turned baseline.
    const Transform glyph = compose(scale(gs_.charScaleX, gs_.charScaleY), turn(gs_.charAngle));
    const bool spaced = spacing != nullptr || rise != nullptr;
    auto at = [](const ListedAttribute* a, size_t i) {
      return a != nullptr && i < a->numbers.size() ? a->numbers[i] : 0.0;
    };
    Box user, sheet;
    double x = cx_, y = cy_;
    for (size_t i = 0; i < count; ++i) {
      double dx = at(spacing, i), dy = at(rise, i);
      if (!spaced) {
        const double width = kGlyphWidth * size;
        dx = width * glyph.a;
        dy = width * glyph.b;
      }
      const bool hasAdvance = spaced && i + 1 < count;
      const double width = hasAdvance ? std::hypot(dx, dy) : kGlyphWidth * size;
      for (double gx : {0.0, width})
        for (double gy : {-size, kGlyphDescent * size}) {
          double ux, uy;
          glyph.apply(gx, gy, &ux, &uy);
          ux += x;
          uy += y;
          user.add(ux, uy);
          double sx, sy;
          gs_.ctm.apply(ux, uy, &sx, &sy);
          sheet.add(sx, sy);
        }
      x += dx;
      y += dy;
    }
    cx_ = x;
    cy_ = y;
    if (toPath) {
      path_.add(sheet);
      pathUser_.add(user);
    } else {
      paint(sheet, user);
    }
  }

  void paint(const Box& sheet, const Box& user) {
    if (sheet.empty) return;
    if (section_ < 0) {
      side_->sections.emplace_back();
      section_ = static_cast<int>(side_->sections.size()) - 1;
      side_->sections.back().ctm = gs_.ctm;
    }
    Section& s = side_->sections[static_cast<size_t>(section_)];
    s.painted.add(sheet);
    s.user.add(user);
    side_->painted.add(sheet);
  }
};

std::string num(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

}  // namespace

void Box::add(double x, double y) {
  if (empty) {
    left = right = x;
    top = bottom = y;
    empty = false;
    return;
  }
  left = std::min(left, x);
  right = std::max(right, x);
  top = std::min(top, y);
  bottom = std::max(bottom, y);
}

void Box::add(const Box& other) {
  if (other.empty) return;
  add(other.left, other.top);
  add(other.right, other.bottom);
}

bool Box::inside(const Box& outer, double tolerance) const {
  if (empty) return true;
  if (outer.empty) return false;
  return left >= outer.left - tolerance && top >= outer.top - tolerance && right <= outer.right + tolerance &&
         bottom <= outer.bottom + tolerance;
}

std::string Box::text() const {
  if (empty) return "empty";
  return "(" + num(left) + "," + num(top) + ")-(" + num(right) + "," + num(bottom) + ")";
}

void Transform::apply(double x, double y, double* sx, double* sy) const {
  *sx = x * a + y * c + e;
  *sy = x * b + y * d + f;
}

Box Transform::map(const Box& user) const {
  Box out;
  if (user.empty) return out;
  for (double x : {user.left, user.right})
    for (double y : {user.top, user.bottom}) {
      double sx, sy;
      apply(x, y, &sx, &sy);
      out.add(sx, sy);
    }
  return out;
}

Box Transform::unmap(const Box& sheet) const {
  Box out;
  const double det = a * d - b * c;
  if (sheet.empty || det == 0) return out;
  for (double x : {sheet.left, sheet.right})
    for (double y : {sheet.top, sheet.bottom}) {
      const double px = x - e, py = y - f;
      out.add((px * d - py * c) / det, (py * a - px * b) / det);
    }
  return out;
}

double Transform::scaleX() const { return std::hypot(a, b); }
double Transform::scaleY() const { return std::hypot(c, d); }

double Transform::angle() const {
  double deg = std::atan2(-b, a) * 180.0 / kPi;
  if (deg < 0) deg += 360.0;
  if (std::fabs(deg - 360.0) < 1e-9) deg = 0;
  return deg;
}

std::string Transform::text() const {
  return "{" + num(a) + " " + num(b) + " " + num(c) + " " + num(d) + " " + num(e) + " " + num(f) + "}";
}

std::string Geometry::text() const {
  std::string out;
  for (size_t i = 0; i < sides.size(); ++i) {
    const SheetSide& s = sides[i];
    out += "side " + std::to_string(i + 1) + " " + s.medium + " orientation " + std::to_string(s.orientation) +
           " sheet " + s.sheet.text() + " printable " + s.printable.text() + " painted " + s.painted.text() + "\n";
    for (size_t k = 0; k < s.sections.size(); ++k) {
      const Section& c = s.sections[k];
      out += "  section " + std::to_string(k + 1) + " scale " + num(c.ctm.scaleX()) + " angle " + num(c.ctm.angle()) +
             " painted " + c.painted.text() + " user " + c.user.text() + "\n";
    }
  }
  for (const std::string& u : unmodelled) out += "not followed: " + u + "\n";
  if (!problem.empty()) out += "problem: " + problem + "\n";
  return out;
}

Geometry geometry(const Listing& listing, const GeometryOptions& options) {
  Geometry out;
  if (!media().error.empty()) {
    out.problem = "language tables not loaded: " + media().error;
    return out;
  }
  Follower follower(options, out);
  for (const ListedItem& item : listing.items) follower.item(item);
  return out;
}

}  // namespace pclxl_check
