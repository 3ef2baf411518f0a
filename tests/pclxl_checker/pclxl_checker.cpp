#include "pclxl_checker.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "json.h"

#ifndef PCLXL_TABLES_PATH
#error "PCLXL_TABLES_PATH must name pclxl-tables.json"
#endif

namespace pclxl_check {

const char* faultName(Fault f) {
  switch (f) {
    case Fault::Framing: return "Framing";
    case Fault::IllegalTag: return "IllegalTag";
    case Fault::Truncated: return "Truncated";
    case Fault::IllegalSequence: return "IllegalSequence";
    case Fault::PrivateAttribute: return "PrivateAttribute";
    case Fault::IllegalAttribute: return "IllegalAttribute";
    case Fault::MissingAttribute: return "MissingAttribute";
    case Fault::IllegalDataType: return "IllegalDataType";
    case Fault::Context: return "Context";
    case Fault::Nesting: return "Nesting";
    case Fault::UnbalancedGS: return "UnbalancedGS";
    case Fault::MissingData: return "MissingData";
    case Fault::UnexpectedData: return "UnexpectedData";
    case Fault::DataLength: return "DataLength";
    case Fault::InBand: return "InBand";
  }
  return "?";
}

bool Report::has(Fault f) const {
  for (const auto& x : findings)
    if (x.fault == f) return true;
  return false;
}

std::string Report::text() const {
  std::ostringstream o;
  for (const auto& x : findings) o << faultName(x.fault) << " @" << x.offset << ": " << x.message << "\n";
  return o.str();
}

namespace {

// ---- the language tables -----------------------------------------------------

enum class Structure { Scalar, Xy, Box, Array };

// How a scalar's raw bits read as its first element.
enum class Sign { Unsigned, S16, S32 };

struct DataType {
  bool valid = false;
  std::string name;
  Structure structure = Structure::Scalar;
  std::string element;  // "ubyte", "sint16", "real32", ...
  size_t elementSize = 0;
  Sign sign = Sign::Unsigned;  // from name, so that reading a value compares no text
};

struct Attribute {
  std::string name;
  std::set<std::string> types;
  std::array<bool, 256> typeTags{};  // the same, by data type tag
};

// The operators whose rules name them, and the context values, decided once
// when the tables are read: the check of an operator compares no text.
enum class OpKind {
  Other, OpenDataSource, CloseDataSource, PushGS, PopGS, SetColorSpace,
  LinePath, LineRelPath, BezierPath, BezierRelPath, ReadStream, ReadFontHeader, ReadChar
};
enum class Need { Any, Required, Forbidden };
enum class Scope { None, Session, Page, Block };

struct Operator {
  bool valid = false;
  std::string name;
  std::vector<int> required, optional;
  bool readsData = false;
  int dataWhenAttr = -1;       // data follows only when this attribute is given
  bool dataUnlessZero = false; // ... or unless BlockHeight is 0
  std::string session, page;   // "required", "forbidden", "any"
  bool anyBlock = false;
  std::string insideBlock;     // empty: outside every block
  std::string begins, ends;    // "session", "page" or a block name
  OpKind kind = OpKind::Other;
  Need sessionNeed = Need::Any, pageNeed = Need::Any;
  Scope beginsScope = Scope::None, endsScope = Scope::None;
};

struct Tables {
  bool loaded = false;
  std::string error;
  std::array<DataType, 256> types{};
  std::map<int, Attribute> attributes;
  std::map<std::string, int> attributeIds;
  std::vector<const Attribute*> attributeById;  // below attributeLimit; null: not defined
  int blockHeightId = -1, numberOfPointsId = -1, pointTypeId = -1, streamDataLengthId = -1,
      fontHeaderLengthId = -1, charDataSizeId = -1;
  std::array<Operator, 256> ops{};
  int attributeLimit = 0;
  std::array<bool, 256> whitespace{};
  std::array<bool, 256> whitespaceBeforeData{};
  std::string headerPrefix;
  std::set<std::string> classes;
};

int parseHex(const std::string& s) { return static_cast<int>(std::strtol(s.c_str(), nullptr, 16)); }

Tables loadTables() {
  Tables t;
  std::ifstream in(PCLXL_TABLES_PATH, std::ios::binary);
  if (!in) {
    t.error = std::string("cannot read ") + PCLXL_TABLES_PATH;
    return t;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  json::Value root;
  if (!json::parse(ss.str(), root, t.error)) return t;

  for (const auto& [tag, v] : root["data_types"].object) {
    DataType& d = t.types[static_cast<size_t>(parseHex(tag) & 0xFF)];
    d.valid = true;
    d.name = v["name"].string;
    d.elementSize = static_cast<size_t>(v["size"].number);
    d.element = v["element"].string;
    const std::string& s = v["structure"].string;
    d.structure = s == "xy" ? Structure::Xy : s == "box" ? Structure::Box : s == "array" ? Structure::Array
                                                                                          : Structure::Scalar;
    d.sign = d.name == "sint16" ? Sign::S16 : d.name == "sint32" ? Sign::S32 : Sign::Unsigned;
  }
  for (const auto& [id, v] : root["attributes"].object) {
    Attribute a;
    a.name = v["name"].string;
    for (const auto& ty : v["types"].array) a.types.insert(ty.string);
    for (size_t tag = 0; tag < t.types.size(); ++tag)
      a.typeTags[tag] = t.types[tag].valid && a.types.count(t.types[tag].name) != 0;
    t.attributeIds[a.name] = std::atoi(id.c_str());
    t.attributes[std::atoi(id.c_str())] = a;
  }
  for (const auto& [tag, v] : root["operators"].object) {
    Operator& o = t.ops[static_cast<size_t>(parseHex(tag) & 0xFF)];
    o.valid = true;
    o.name = v["name"].string;
    for (const auto& x : v["required"].array) o.required.push_back(static_cast<int>(x.number));
    for (const auto& x : v["optional"].array) o.optional.push_back(static_cast<int>(x.number));
    o.readsData = v["reads_data"].boolean;
    const std::string& when = v["data_when"].string;
    if (when.rfind("unless BlockHeight is 0", 0) == 0) {
      o.dataUnlessZero = true;
    } else if (when.rfind("when ", 0) == 0) {
      std::string word;
      for (size_t i = 5; i < when.size() && std::isalnum(static_cast<unsigned char>(when[i])); ++i) word += when[i];
      auto it = t.attributeIds.find(word);
      if (it != t.attributeIds.end()) o.dataWhenAttr = it->second;
    }
    const json::Value& c = v["context"];
    o.session = c["session"].string;
    o.page = c["page"].string;
    if (c["inside_block"].kind == json::Value::Kind::String) {
      if (c["inside_block"].string == "any")
        o.anyBlock = true;
      else
        o.insideBlock = c["inside_block"].string;
    }
    const std::string& effect = c["effect"].string;
    if (effect == "begins session") o.begins = "session";
    if (effect == "ends session") o.ends = "session";
    if (effect == "begins page") o.begins = "page";
    if (effect == "ends page") o.ends = "page";
    if (effect.rfind("begins block ", 0) == 0) o.begins = effect.substr(13);
    if (effect.rfind("ends block ", 0) == 0) o.ends = effect.substr(11);
    static const std::map<std::string, OpKind> kinds = {
        {"OpenDataSource", OpKind::OpenDataSource}, {"CloseDataSource", OpKind::CloseDataSource},
        {"PushGS", OpKind::PushGS},                 {"PopGS", OpKind::PopGS},
        {"SetColorSpace", OpKind::SetColorSpace},   {"LinePath", OpKind::LinePath},
        {"LineRelPath", OpKind::LineRelPath},       {"BezierPath", OpKind::BezierPath},
        {"BezierRelPath", OpKind::BezierRelPath},   {"ReadStream", OpKind::ReadStream},
        {"ReadFontHeader", OpKind::ReadFontHeader}, {"ReadChar", OpKind::ReadChar}};
    auto kind = kinds.find(o.name);
    if (kind != kinds.end()) o.kind = kind->second;
    auto need = [](const std::string& w) { return w == "required" ? Need::Required : w == "forbidden" ? Need::Forbidden : Need::Any; };
    o.sessionNeed = need(o.session);
    o.pageNeed = need(o.page);
    auto scope = [](const std::string& w) {
      return w.empty() ? Scope::None : w == "session" ? Scope::Session : w == "page" ? Scope::Page : Scope::Block;
    };
    o.beginsScope = scope(o.begins);
    o.endsScope = scope(o.ends);
  }
  t.attributeLimit = static_cast<int>(root["attribute_id_limit"].number);
  t.attributeById.assign(static_cast<size_t>(t.attributeLimit > 0 ? t.attributeLimit : 0), nullptr);
  for (const auto& [id, a] : t.attributes)
    if (id >= 0 && id < t.attributeLimit) t.attributeById[static_cast<size_t>(id)] = &a;
  auto idOf = [&](const char* name) {
    auto it = t.attributeIds.find(name);
    return it != t.attributeIds.end() ? it->second : -1;
  };
  t.blockHeightId = idOf("BlockHeight");
  t.numberOfPointsId = idOf("NumberOfPoints");
  t.pointTypeId = idOf("PointType");
  t.streamDataLengthId = idOf("StreamDataLength");
  t.fontHeaderLengthId = idOf("FontHeaderLength");
  t.charDataSizeId = idOf("CharDataSize");
  for (const auto& w : root["whitespace"].array) t.whitespace[static_cast<size_t>(w.number) & 0xFF] = true;
  for (const auto& w : root["whitespace_before_embedded_data"].array)
    t.whitespaceBeforeData[static_cast<size_t>(w.number) & 0xFF] = true;
  t.headerPrefix = root["stream_header"]["prefix_after_binding"].string;
  for (const auto& c : root["stream_header"]["protocol_classes"].array) t.classes.insert(c.string);
  t.loaded = t.attributeLimit > 0 && !t.attributes.empty();
  if (!t.loaded && t.error.empty()) t.error = "tables incomplete";
  return t;
}

const Tables& tables() {
  static const Tables t = loadTables();  // attributes are read before operators name them
  return t;
}

// ---- the in-band commands (renderer-stream mode) ------------------------------

// The renderer's own protocol beside PCL XL: each command's name (the name of
// its writer in the renderer) and payload size.
constexpr int kAnySize = -1;         // 130, 156: any length
constexpr int kDocNameSize = -2;     // 152: an even 2..520 bytes
struct InBand {
  const char* name;
  int size;  // >= 0 exact
};
constexpr int kFirstInBand = 128, kLastInBand = 158;
constexpr InBand kInBand[kLastInBand - kFirstInBand + 1] = {
    {"enable", 0},                                    // 128
    {"disable", 0},                                   // 129
    {"open", kAnySize},                               // 130: the document name
    {"close", 0},                                     // 131
    {"pageStoring_init", 4},                          // 132
    {"pageStoring_start", 20},                        // 133
    {"pageStoring_stop", 2},                          // 134
    {"pageStoring_dispose", 0},                       // 135
    {"output_aStoredPage_withOtherPageColor", 40},    // 136
    {"setcoordinate", 24},                            // 137
    {"startpage", 12},                                // 138: the spooler side writes BeginPage
    {"showpage", 0},                                  // 139: ... and EndPage
    {"endpage", 0},                                   // 140
    {"setcolormode", 8},                              // 141
    {"startjob", 0},                                  // 142
    {"openprinter", 0},                               // 143
    {"closeprinter", 1},                              // 144
    {"timeout", 1},                                   // 145
    {"beginstamp", 0},                                // 146
    {"endstamp", 0},                                  // 147
    {"linkimagestart", 0},                            // 148
    {"linkimageend", 0},                              // 149
    {"setdevmode", 8192},                             // 150
    {"setprinterdata", 4736},                         // 151
    {"setdocname", kDocNameSize},                     // 152
    {"setjobinfo", 1348},                             // 153
    {"setlayoutinfo", 176},                           // 154
    {"setpagectrl", 148},                             // 155
    {"setjclheaders", kAnySize},                      // 156
    {"changeSpool_forFormRegister", 0},               // 157
    {"stopSpool_forFormRegister", 0},                 // 158
};
constexpr int kInBandStartPage = 138;  // opens a page
constexpr int kInBandShowPage = 139;   // closes it
constexpr int kInBandStoreStart = 133, kInBandStoreStop = 134;  // the spooler side captures the page between
constexpr size_t kMaxDocNameBytes = 520;

const InBand& inBandCommand(int code) { return kInBand[code - kFirstInBand]; }

// ---- the listing's text ----------------------------------------------------------

std::string hexBytes(const std::vector<uint8_t>& b) {
  std::string out;
  char x[4];
  for (size_t i = 0; i < b.size(); ++i) {
    std::snprintf(x, sizeof x, i == 0 ? "%02X" : " %02X", b[i]);
    out += x;
  }
  return out;
}

// A payload of UTF-16 text ended by its NUL, as quoted text; empty when it is
// not one (odd length, no final NUL, a NUL inside, or outside ASCII).
std::string wideName(const std::vector<uint8_t>& b) {
  if (b.size() < 2 || b.size() % 2 != 0 || b[b.size() - 2] != 0 || b[b.size() - 1] != 0) return {};
  std::string out = "\"";
  for (size_t i = 0; i + 2 < b.size(); i += 2) {
    unsigned c = b[i] | (b[i + 1] << 8);
    if (c < 0x20 || c > 0x7E || c == '"') return {};
    out += static_cast<char>(c);
  }
  return out + "\"";
}

constexpr size_t kListedDataBytes = 24;  // longer data is listed by its length

std::string dataText(const std::vector<uint8_t>& b) {
  std::string out = "[" + std::to_string(b.size()) + "]";
  if (!b.empty() && b.size() <= kListedDataBytes) out += " " + hexBytes(b);
  return out;
}

// ---- the checker ---------------------------------------------------------------

struct Attr {
  int id;
  const DataType* type;
  uint8_t tag;
  size_t offset;
  double scalar = 0;  // the first element of a scalar value
  size_t count = 0;   // elements of an array
};

constexpr size_t kMaxFindings = 64;

class Checker {
 public:
  Checker(const uint8_t* d, size_t n, Mode m, Listing* listing)
      : t_(tables()), d_(d), n_(n), mode_(m), listing_(listing) {}

  Report run() {
    if (!t_.loaded) {
      add(Fault::Framing, 0, "language tables not loaded: " + t_.error);
    } else if (mode_ == Mode::RendererStream) {
      binary(0, true);
    } else if (mode_ == Mode::UnframedJob) {
      unframedJob();
    } else {
      job();
    }
    if (listing_ != nullptr && !decodedAll_)
      listing_->stopped = last_;  // the fault that stopped the reading is the last one
    return std::move(r_);
  }

 private:
  const Tables& t_;
  const uint8_t* d_;
  size_t n_;
  Mode mode_;
  Listing* listing_;
  Report r_;
  bool decodedAll_ = false;  // the binary part was read to its end
  std::string last_;         // the latest finding as text

  bool session_ = false, page_ = false, dataSource_ = false;
  bool capturing_ = false;  // renderer stream: between in-band 133 and 134
  std::string block_;
  int gsDepth_ = 0;

  void add(Fault f, size_t at, std::string msg) {
    last_ = std::string(faultName(f)) + " @" + std::to_string(at) + ": " + msg;  // kept past the cap
    if (r_.findings.size() < kMaxFindings) r_.findings.push_back({f, at, std::move(msg)});
  }

  static constexpr char kUel[] = "\x1b%-12345X";
  static constexpr size_t kUelLength = 9;
  bool uelAt(size_t i) const { return n_ - i >= kUelLength && std::equal(kUel, kUel + kUelLength, d_ + i); }

  // One text line of job control from i: printable bytes (and UTF-8), tab
  // and CR, ended by LF. Returns the index after the LF, or 0 on a fault.
  size_t textLine(size_t i) {
    size_t start = i;
    for (; i < n_; ++i) {
      uint8_t c = d_[i];
      if (c == '\n') return i + 1;
      if (c < 0x20 && c != '\t' && c != '\r') {
        add(Fault::Framing, i, "control byte in a job-control line");
        return 0;
      }
    }
    add(Fault::Framing, start, "job-control line without its line feed");
    return 0;
  }

  void job() {
    if (!uelAt(0)) {
      add(Fault::Framing, 0, "the job does not begin with the universal exit");
      return;
    }
    size_t i = kUelLength;
    // job-control lines up to the stream header
    while (true) {
      if (i >= n_) {
        add(Fault::Framing, i, "no stream header");
        return;
      }
      if (uelAt(i)) {
        i += kUelLength;
        continue;
      }
      if (d_[i] == ')' || d_[i] == '(' || d_[i] == '\'') break;
      size_t next = textLine(i);
      if (next == 0) return;
      i = next;
    }
    size_t bin = streamHeader(i);
    if (bin == 0) return;
    size_t end = binary(bin, false);
    if (end == 0) return;
    if (!uelAt(end)) {
      add(Fault::Framing, end, "the stream does not end with the universal exit");
      return;
    }
    i = end + kUelLength;
    while (i < n_) {
      if (uelAt(i)) {
        i += kUelLength;
        continue;
      }
      if (d_[i] == ')' || d_[i] == '(') {
        add(Fault::Framing, i, "a second stream header");
        return;
      }
      size_t next = textLine(i);
      if (next == 0) return;
      i = next;
    }
  }

  // A job without its UEL/PJL frame: the stream-header line first, then the
  // binary part to the end of the bytes (or to a universal exit, after which
  // only job-control lines may follow).
  void unframedJob() {
    if (n_ == 0) {
      add(Fault::Framing, 0, "no stream header");
      return;
    }
    size_t bin = streamHeader(0);
    if (bin == 0) return;
    size_t end = binary(bin, false);
    if (end == 0 || end >= n_) return;
    for (size_t i = end + kUelLength; i < n_;) {
      if (uelAt(i)) {
        i += kUelLength;
        continue;
      }
      size_t next = textLine(i);
      if (next == 0) return;
      i = next;
    }
  }

  // The one stream-header line; returns the index of the binary part, 0 on a fault.
  size_t streamHeader(size_t i) {
    if (d_[i] != ')') {
      add(Fault::Framing, i, "only the binary little-endian binding ')' is accepted");
      return 0;
    }
    size_t lf = i;
    while (lf < n_ && d_[lf] != '\n') ++lf;
    if (lf >= n_) {
      add(Fault::Framing, i, "stream header without its line feed");
      return 0;
    }
    std::string line(reinterpret_cast<const char*>(d_ + i + 1), lf - i - 1);
    if (line.rfind(t_.headerPrefix + ";", 0) != 0) {
      add(Fault::Framing, i, "stream header does not read \"" + t_.headerPrefix + ";\"");
      return 0;
    }
    std::string rest = line.substr(t_.headerPrefix.size() + 1);
    size_t semi = rest.find(';');
    if (semi == std::string::npos || t_.classes.count(rest.substr(0, semi)) == 0) {
      add(Fault::Framing, i, "stream header without a known protocol class");
      return 0;
    }
    std::string rev = rest.substr(semi + 1);
    size_t semi2 = rev.find(';');
    if (semi2 == std::string::npos || semi2 == 0) {
      add(Fault::Framing, i, "stream header without a revision");
      return 0;
    }
    for (char c : line)
      if (static_cast<unsigned char>(c) < 0x20 && c != '\r') {
        add(Fault::Framing, i, "control byte in the stream header");
        return 0;
      }
    return lf + 1;
  }

  bool need(size_t i, size_t bytes) {
    if (bytes > n_ - i || i > n_) {
      add(Fault::Truncated, i, "the bytes end inside a token");
      return false;
    }
    return true;
  }

  static uint32_t le(const uint8_t* p, size_t width) {
    uint32_t v = 0;
    for (size_t k = 0; k < width; ++k) v |= static_cast<uint32_t>(p[k]) << (8 * k);
    return v;
  }

  // Reads one value token at i; returns its length, 0 on a fault.
  size_t value(size_t i, Attr& a) {
    const DataType& dt = t_.types[d_[i]];
    a.type = &dt;
    a.tag = d_[i];
    a.offset = i;
    size_t es = dt.elementSize;
    switch (dt.structure) {
      case Structure::Scalar:
      case Structure::Xy:
      case Structure::Box: {
        size_t k = dt.structure == Structure::Scalar ? 1 : dt.structure == Structure::Xy ? 2 : 4;
        if (!need(i, 1 + k * es)) return 0;
        uint32_t raw = le(d_ + i + 1, es);
        if (dt.sign == Sign::S16)
          a.scalar = static_cast<int16_t>(raw);
        else if (dt.sign == Sign::S32)
          a.scalar = static_cast<int32_t>(raw);
        else
          a.scalar = raw;
        return 1 + k * es;
      }
      case Structure::Array: {
        if (!need(i, 2)) return 0;
        uint8_t lt = d_[i + 1];
        size_t head, count;
        if (lt == 0xC0) {
          if (!need(i, 3)) return 0;
          count = d_[i + 2];
          head = 3;
        } else if (lt == 0xC1) {
          if (!need(i, 4)) return 0;
          count = le(d_ + i + 2, 2);
          head = 4;
        } else {
          add(Fault::IllegalTag, i + 1, "array length is neither ubyte nor uint16");
          return 0;
        }
        if (!need(i, head + count * es)) return 0;
        a.count = count;
        return head + count * es;
      }
    }
    return 0;
  }

  // One element of a value at p, as a number.
  static double number(const DataType& dt, const uint8_t* p) {
    uint32_t raw = le(p, dt.elementSize);
    if (dt.element == "real32") {
      float f;
      std::memcpy(&f, &raw, sizeof f);
      return f;
    }
    if (dt.element == "sint16") return static_cast<int16_t>(raw);
    if (dt.element == "sint32") return static_cast<int32_t>(raw);
    return raw;
  }

  // One element of a value at p, as text.
  static std::string element(const DataType& dt, const uint8_t* p) {
    uint32_t raw = le(p, dt.elementSize);
    char text[32];
    if (dt.element == "real32") {
      float f;
      std::memcpy(&f, &raw, sizeof f);
      std::snprintf(text, sizeof text, "%g", static_cast<double>(f));
    } else if (dt.element == "sint16") {
      std::snprintf(text, sizeof text, "%d", static_cast<int>(static_cast<int16_t>(raw)));
    } else if (dt.element == "sint32") {
      std::snprintf(text, sizeof text, "%ld", static_cast<long>(static_cast<int32_t>(raw)));
    } else {
      std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(raw));
    }
    return text;
  }

  ListedAttribute listed(const Attr& a) const {
    ListedAttribute out;
    out.id = a.id;
    auto it = t_.attributes.find(a.id);
    out.name = it != t_.attributes.end() ? it->second.name : "Attr" + std::to_string(a.id);
    const DataType& dt = *a.type;
    out.type = dt.name;
    const uint8_t* v = d_ + a.offset + 1;
    switch (dt.structure) {
      case Structure::Scalar:
        out.value = element(dt, v);
        out.numbers.push_back(number(dt, v));
        break;
      case Structure::Xy:
      case Structure::Box: {
        size_t k = dt.structure == Structure::Xy ? 2 : 4;
        out.value = "(";
        for (size_t e = 0; e < k; ++e) {
          out.value += (e ? "," : "") + element(dt, v + e * dt.elementSize);
          out.numbers.push_back(number(dt, v + e * dt.elementSize));
        }
        out.value += ")";
        break;
      }
      case Structure::Array: {
        const uint8_t* first = v + (v[0] == 0xC0 ? 2 : 3);  // past the length token
        for (size_t e = 0; e < a.count; ++e) out.numbers.push_back(number(dt, first + e * dt.elementSize));
        bool printable = dt.element == "ubyte" && a.count > 0;
        for (size_t e = 0; printable && e < a.count; ++e) printable = first[e] >= 0x20 && first[e] <= 0x7E && first[e] != '"';
        if (printable) {
          out.value = "\"" + std::string(reinterpret_cast<const char*>(first), a.count) + "\"";
        } else {
          out.value = "[";
          for (size_t e = 0; e < a.count; ++e) out.value += (e ? " " : "") + element(dt, first + e * dt.elementSize);
          out.value += "]";
        }
        break;
      }
    }
    return out;
  }

  // Adds an item to the listing (when one is made) for the operator at i,
  // with its embedded data [dataAt, dataAt + length) when present.
  void record(size_t i, const std::vector<Attr>& attrs, int code, bool isInband, const std::string& name,
              bool present, size_t dataAt, uint32_t length) {
    if (listing_ == nullptr) return;
    ListedItem item;
    item.offset = i;
    item.code = code;
    item.inband = isInband;
    item.name = name;
    if (!isInband)
      for (const auto& a : attrs) item.attributes.push_back(listed(a));
    item.hasData = present;
    if (present) item.data.assign(d_ + dataAt, d_ + dataAt + length);
    listing_->items.push_back(std::move(item));
  }

  const Attr* find(const std::vector<Attr>& attrs, int id) const {
    const Attr* found = nullptr;
    for (const auto& a : attrs)
      if (a.id == id) found = &a;  // a repeated attribute replaces the earlier one
    return found;
  }

  // The binary part from i; returns where it ended (the index of a UEL in job
  // mode, n in renderer mode), or 0 when it could not be read to its end.
  size_t binary(size_t i, bool renderer) {
    std::vector<Attr> attrs;
    bool pendingValue = false;
    Attr pending{};
    const size_t start = i;
    while (i < n_) {
      const uint8_t b = d_[i];
      if (t_.whitespace[b]) {
        ++i;
        continue;
      }
      if (b == 0x1B && !renderer) {
        if (!uelAt(i)) {
          add(Fault::IllegalTag, i, "escape byte that does not begin the universal exit");
          return 0;
        }
        if (pendingValue || !attrs.empty()) add(Fault::IllegalSequence, i, "attributes without an operator");
        finish(i);
        return i == 0 ? 0 : i;
      }
      if (t_.types[b].valid) {
        if (pendingValue) add(Fault::IllegalSequence, i, "a value not followed by an attribute");
        pending = Attr{};
        size_t len = value(i, pending);
        if (len == 0) return 0;
        pendingValue = true;
        i += len;
        continue;
      }
      if (b == 0xF8 || b == 0xF9) {
        size_t width = b == 0xF8 ? 1 : 2;
        if (!need(i, 1 + width)) return 0;
        int id = static_cast<int>(le(d_ + i + 1, width));
        if (!pendingValue) {
          add(Fault::IllegalSequence, i, "an attribute without a value");
        } else {
          pending.id = id;
          attrs.push_back(pending);
        }
        if (id >= t_.attributeLimit) {
          bool allowed = renderer && (id == 254 || id == 255);
          if (!allowed) add(Fault::PrivateAttribute, i, "attribute id " + std::to_string(id) + " is not public");
        } else if (t_.attributeById[static_cast<size_t>(id)] == nullptr) {
          add(Fault::IllegalAttribute, i, "attribute id " + std::to_string(id) + " is not defined");
        }
        pendingValue = false;
        i += 1 + width;
        continue;
      }
      if (b == 0xFF && renderer) {
        if (pendingValue) add(Fault::IllegalSequence, i, "a value not followed by an attribute");
        size_t next = inband(i, attrs);
        if (next == 0) return 0;
        attrs.clear();
        pendingValue = false;
        i = next;
        continue;
      }
      if (t_.ops[b].valid) {
        if (pendingValue) add(Fault::IllegalSequence, i, "a value not followed by an attribute");
        size_t next = op(i, attrs);
        if (next == 0) return 0;
        attrs.clear();
        pendingValue = false;
        i = next;
        continue;
      }
      if (b == 0xFA || b == 0xFB) {
        add(Fault::UnexpectedData, i, "embedded data where no operator reads it");
        return 0;
      }
      char msg[48];
      std::snprintf(msg, sizeof msg, "illegal tag 0x%02X", b);
      add(Fault::IllegalTag, i, msg);
      return 0;
    }
    if (pendingValue || !attrs.empty()) add(Fault::IllegalSequence, i, "attributes without an operator");
    if (!renderer && mode_ != Mode::UnframedJob) {
      add(Fault::Framing, i, "the stream does not end with the universal exit");
      return 0;
    }
    finish(i);
    (void)start;
    return i;
  }

  void finish(size_t at) {
    decodedAll_ = true;
    if (!block_.empty()) add(Fault::Nesting, at, "block " + block_ + " left open");
    if (page_) add(Fault::Nesting, at, "page left open");
    if (session_) add(Fault::Nesting, at, "session left open");
  }

  // Embedded data after the operator at i (the operator byte excluded).
  // Returns the index after the data; `present` tells whether there was any.
  size_t data(size_t i, bool& present, uint32_t& length) {
    size_t j = i;
    while (j < n_ && t_.whitespaceBeforeData[d_[j]]) ++j;
    present = false;
    length = 0;
    if (j >= n_ || (d_[j] != 0xFA && d_[j] != 0xFB)) return i;
    size_t width = d_[j] == 0xFB ? 1 : 4;
    if (!need(j, 1 + width)) return 0;
    length = le(d_ + j + 1, width);
    if (length > n_ - (j + 1 + width)) {
      add(Fault::DataLength, j, "embedded data of " + std::to_string(length) + " bytes runs past the end");
      return 0;
    }
    present = true;
    return j + 1 + width + length;
  }

  size_t inband(size_t i, const std::vector<Attr>& attrs) {
    const Attr* codeAttr = attrs.size() == 1 && attrs[0].id == 255 ? &attrs[0] : nullptr;
    if (codeAttr == nullptr || codeAttr->tag != 0xC0) {
      add(Fault::InBand, i, "in-band operator without exactly one ubyte code in attribute 255");
    }
    // The code is range-checked as read, before any narrowing: a hostile
    // stream may carry a value no int holds.
    double rawCode = codeAttr != nullptr ? codeAttr->scalar : -1.0;
    bool codeInRange = rawCode >= kFirstInBand && rawCode <= kLastInBand;
    int code = codeInRange && codeAttr->tag == 0xC0 ? static_cast<int>(rawCode) : -1;
    if (codeAttr != nullptr && !codeInRange)
      add(Fault::InBand, i, "in-band code " + std::to_string(static_cast<long long>(rawCode)) + " outside 128-158");
    bool present;
    uint32_t length;
    size_t next = data(i + 1, present, length);
    if (next == 0) return 0;
    record(i, attrs, code, true, code >= 0 ? inBandCommand(code).name : "malformed", present, next - length, length);
    if (code < 0) return next;
    int size = inBandCommand(code).size;
    bool good = size == 0 ? !present
                : size == kAnySize ? present
                : size == kDocNameSize ? present && length <= kMaxDocNameBytes && length >= 2 && length % 2 == 0
                                       : present && length == static_cast<uint32_t>(size);
    if (!good) {
      add(Fault::InBand, i,
          "in-band command " + std::to_string(code) + " with " +
              (present ? std::to_string(length) + " bytes of data" : std::string("no data")));
      return next;  // the spooler side ignores it: no page framing either
    }
    if (code == kInBandStartPage) openPage(i);
    if (code == kInBandShowPage) closePage(i, "in-band 139");
    // Between 133 and 134 the spooler side captures the page into its
    // store and replays it later inside the job's session (136): the
    // captured page needs no session where it stands.
    if (code == kInBandStoreStart) capturing_ = true;
    if (code == kInBandStoreStop) {
      // The captured page ends with its capture (form registration sends no
      // 139 for it).
      if (capturing_ && page_) closePage(i, "in-band 134");
      capturing_ = false;
    }
    return next;
  }

  // The renderer's page framing: the spooler side writes BeginPage where it
  // executes 138, EndPage where it executes 139.
  void openPage(size_t i) {
    if (!session_ && !capturing_)
      add(Fault::Context, i, "in-band 138 outside a session (the spooler side's BeginPage needs one)");
    if (page_) add(Fault::Nesting, i, "in-band 138 inside an open page");
    if (!block_.empty()) add(Fault::Nesting, i, "in-band 138 inside block " + block_);
    page_ = true;
    gsDepth_ = 0;
  }

  void closePage(size_t i, const std::string& what) {
    if (!page_) add(Fault::Nesting, i, what + " without an open page");
    if (!block_.empty()) add(Fault::Nesting, i, what + " inside block " + block_);
    if (gsDepth_ != 0) add(Fault::UnbalancedGS, i, "page ended with " + std::to_string(gsDepth_) + " PushGS open");
    page_ = false;
    gsDepth_ = 0;
  }

  size_t op(size_t i, const std::vector<Attr>& attrs) {
    const Operator& o = t_.ops[d_[i]];
    const bool renderer = mode_ == Mode::RendererStream;
    // context
    if (o.sessionNeed == Need::Required && !session_ && !(renderer && capturing_))
      add(Fault::Context, i, o.name + " outside a session");
    if (o.sessionNeed == Need::Forbidden && session_) add(Fault::Context, i, o.name + " inside a session");
    if (o.pageNeed == Need::Required && !page_) add(Fault::Context, i, o.name + " outside a page");
    if (o.pageNeed == Need::Forbidden && page_) add(Fault::Context, i, o.name + " inside a page");
    if (!o.anyBlock) {
      if (o.insideBlock.empty() && !block_.empty())
        add(Fault::Nesting, i, o.name + " inside block " + block_);
      if (!o.insideBlock.empty() && block_ != o.insideBlock)
        add(Fault::Nesting, i, o.name + " outside block " + o.insideBlock);
    }
    // attributes
    for (const auto& a : attrs) {
      if (a.id >= t_.attributeLimit) {
        if (renderer && a.id == 254) {
          if (o.kind != OpKind::SetColorSpace) add(Fault::PrivateAttribute, a.offset, "attribute 254 on " + o.name);
          else if (a.tag != 0xC0) add(Fault::IllegalDataType, a.offset, "attribute 254 is not a ubyte");
        } else if (renderer && a.id == 255) {
          add(Fault::InBand, a.offset, "attribute 255 on " + o.name);
        }
        continue;  // reported when read
      }
      const Attribute* def = a.id >= 0 ? t_.attributeById[static_cast<size_t>(a.id)] : nullptr;
      if (def == nullptr) continue;  // reported when read
      bool listed = false;
      for (int x : o.required) listed = listed || x == a.id;
      for (int x : o.optional) listed = listed || x == a.id;
      if (!listed) {
        add(Fault::IllegalAttribute, a.offset, def->name + " on " + o.name);
        continue;
      }
      if (!def->typeTags[a.tag]) add(Fault::IllegalDataType, a.offset, def->name + " as " + a.type->name);
    }
    for (int x : o.required)
      if (find(attrs, x) == nullptr) {
        auto it = t_.attributes.find(x);
        add(Fault::MissingAttribute, i,
            o.name + " without " + (it != t_.attributes.end() ? it->second.name : std::to_string(x)));
      }
    // effects
    if (o.kind == OpKind::OpenDataSource) {
      if (dataSource_) add(Fault::Nesting, i, "data source opened twice");
      dataSource_ = true;
    }
    if (o.kind == OpKind::CloseDataSource) {
      if (!dataSource_) add(Fault::Nesting, i, "closing a data source that is not open");
      dataSource_ = false;
    }
    if (o.kind == OpKind::PushGS) ++gsDepth_;
    if (o.kind == OpKind::PopGS) {
      if (gsDepth_ == 0)
        add(Fault::UnbalancedGS, i, "PopGS without PushGS");
      else
        --gsDepth_;
    }
    if (o.beginsScope == Scope::Session) session_ = true;
    else if (o.beginsScope == Scope::Page) {
      if (renderer) {
        // The page stays as 138 left it: opened there, or not at all.
        add(Fault::Context, i, o.name + " in the renderer's stream: the spooler side writes it at in-band 138");
      } else {
        page_ = true;
        gsDepth_ = 0;
      }
    } else if (o.beginsScope == Scope::Block) {
      block_ = o.begins;
    }
    if (o.endsScope == Scope::Session) {
      if (dataSource_) add(Fault::Nesting, i, "session ended with the data source open");
      session_ = false;
      dataSource_ = false;
    } else if (o.endsScope == Scope::Page) {
      if (gsDepth_ != 0) add(Fault::UnbalancedGS, i, "page ended with " + std::to_string(gsDepth_) + " PushGS open");
      page_ = false;
      gsDepth_ = 0;
    } else if (o.endsScope == Scope::Block) {
      block_.clear();
    }
    // embedded data
    bool expected = o.readsData;
    if (expected && o.dataWhenAttr >= 0) expected = find(attrs, o.dataWhenAttr) != nullptr;
    if (expected && o.dataUnlessZero) {
      const Attr* h = find(attrs, t_.blockHeightId);
      expected = h == nullptr || h->scalar != 0;
    }
    bool present;
    uint32_t length;
    size_t next = data(i + 1, present, length);
    if (next == 0) return 0;
    record(i, attrs, -1, false, o.name, present, next - length, length);
    if (!expected) {
      if (present && length != 0) add(Fault::UnexpectedData, i + 1, "embedded data after " + o.name);
      return next;
    }
    if (!present) {
      add(Fault::MissingData, i + 1, o.name + " without its embedded data");
      return next;
    }
    if (o.readsData && !dataSource_) add(Fault::Context, i, o.name + " without an open data source");
    if (o.kind == OpKind::BezierPath || o.kind == OpKind::BezierRelPath) {
      const Attr* n = find(attrs, t_.numberOfPointsId);
      if (n != nullptr && static_cast<long>(n->scalar) % 3 != 0)
        add(Fault::DataLength, i, o.name + " with a point count that is not a multiple of 3");
    }
    long consumed = consumes(o, attrs);
    if (consumed >= 0 && static_cast<uint32_t>(consumed) != length)
      add(Fault::DataLength, i + 1,
          o.name + " consumes " + std::to_string(consumed) + " bytes, the data has " + std::to_string(length));
    return next;
  }

  // What an operator consumes when its attributes say so; -1 when unknown.
  long consumes(const Operator& o, const std::vector<Attr>& attrs) const {
    auto attr = [&](int id) { return find(attrs, id); };
    if (o.kind == OpKind::LinePath || o.kind == OpKind::LineRelPath || o.kind == OpKind::BezierPath ||
        o.kind == OpKind::BezierRelPath) {
      const Attr* n = attr(t_.numberOfPointsId);
      const Attr* type = attr(t_.pointTypeId);
      if (n == nullptr || type == nullptr) return -1;
      long size = type->scalar <= 1 ? 2 : 4;
      return static_cast<long>(n->scalar) * size;  // a Bezier count that is no multiple of 3 is caught below
    }
    if (o.kind == OpKind::ReadStream) {
      const Attr* a = attr(t_.streamDataLengthId);
      return a != nullptr ? static_cast<long>(a->scalar) : -1;
    }
    if (o.kind == OpKind::ReadFontHeader) {
      const Attr* a = attr(t_.fontHeaderLengthId);
      return a != nullptr ? static_cast<long>(a->scalar) : -1;
    }
    if (o.kind == OpKind::ReadChar) {
      const Attr* a = attr(t_.charDataSizeId);
      return a != nullptr ? static_cast<long>(a->scalar) : -1;
    }
    return -1;
  }
};

}  // namespace

Report check(const uint8_t* data, size_t size, Mode mode, Listing* listing) {
  static const uint8_t empty = 0;
  if (listing != nullptr) *listing = Listing{};
  return Checker(data != nullptr ? data : &empty, data != nullptr ? size : 0, mode, listing).run();
}

Listing list(const uint8_t* data, size_t size) {
  Listing listing;
  (void)check(data, size, Mode::RendererStream, &listing);
  return listing;
}

std::string ListedAttribute::text() const {
  bool bare = !value.empty() && (value[0] == '"' || value[0] == '[' || value[0] == '(');
  return name + "=" + type + (bare ? value : "(" + value + ")");
}

std::string ListedItem::key() const {
  if (inband) return code >= 0 ? "IC " + std::to_string(code) : std::string("IC ?");
  return name;
}

std::string ListedItem::text() const {
  std::string out = key();
  if (inband) {
    out += " " + name;
    if (hasData) {
      std::string quoted = code == 130 || code == 152 ? wideName(data) : std::string();
      out += " " + (quoted.empty() ? dataText(data) : "[" + std::to_string(data.size()) + "] " + quoted);
    }
    return out;
  }
  for (const auto& a : attributes) out += " " + a.text();
  if (hasData) out += " data" + dataText(data);
  return out;
}

std::vector<std::string> Listing::keys() const {
  std::vector<std::string> out;
  for (const auto& item : items) out.push_back(item.key());
  return out;
}

std::string Listing::text() const {
  std::string out;
  for (const auto& item : items) out += item.text() + "\n";
  if (!stopped.empty()) out += "(decoding stopped: " + stopped + ")\n";
  return out;
}

std::vector<const ListedItem*> Listing::commands(int code) const {
  std::vector<const ListedItem*> out;
  for (const auto& item : items)
    if (item.inband && item.code == code) out.push_back(&item);
  return out;
}

}  // namespace pclxl_check
