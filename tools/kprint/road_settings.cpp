// The road's user settings: each name and value mapped to the DDM ids and
// values of the driver's records, checked against the model's description
// data (the option lists and ranges the model offers).
#include <cstdlib>
#include <cstring>

#include "kestrel/core/cddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "road_internal.h"

namespace kestrel::road {
namespace {

// DDM value types of the options below (the description data's `value` types).
constexpr WORD kI16 = 2, kU16 = 3, kU32 = 5, kU8 = 8;

// Device units of the resolution option: dmPrintQuality in the high and
// dmYResolution in the low 16 bits.
constexpr LONG Dpi(LONG dpi) { return (dpi << 16) | dpi; }

// Booklet and poster are values of one member, the layout mode.
constexpr LONG kLayoutNormal = 0, kLayoutPoster = 1, kLayoutBooklet = 2;

const std::vector<SettingDesc>& Table() {
  static const std::vector<SettingDesc> table = {
      {"paper", "the paper size", DDM_PAPERSIZE, kI16,
       {{"A3", 8}, {"A4", 9}, {"A5", 11}, {"A6", 70}, {"B4", 12}, {"B5", 13}, {"B6", 88}, {"Letter", 1},
        {"Legal", 5}, {"Tabloid", 3}, {"Executive", 7}, {"Statement", 6}, {"Folio", 14}, {"SRA3", 261}}},
      {"orientation", "the page's orientation", DDM_ORIENTATION, kI16, {{"portrait", 1}, {"landscape", 2}}},
      {"copies", "how many copies of the document", DDM_COPIES, kI16, {}, true},
      {"collate", "whole copies one after another (on) or each page's copies together (off)", DDM_COLLATE, kI16,
       {{"off", 0}, {"on", 1}}},
      {"duplex", "printing on both sides: off, long (long-edge binding) or short (short-edge binding)", DDM_DUPLEX,
       kI16, {{"off", 1}, {"long", 2}, {"short", 3}}},
      {"nup", "pages printed on one sheet side", DDM_NUP, kU8,
       {{"1", 1}, {"2", 2}, {"4", 4}, {"8", 8}, {"16", 16}, {"32", 32}}},
      {"nup-frame", "a frame around each page of an N-up sheet", DDM_NUP_FRAME, 1, {{"off", 0}, {"on", 1}}},
      {"poster", "one page printed in parts on several sheets (columns x rows)", DDM_POSTERPARTS, kU16,
       {{"off", 0}, {"1x2", 258}, {"1x3", 259}, {"1x4", 260}, {"2x2", 514}, {"3x3", 771}, {"4x4", 1028}}},
      {"booklet", "pages laid out as a folded booklet", DDM_LAYOUTMODE, kU16, {{"off", 0}, {"on", 1}}},
      {"colour", "colour mode: auto (the driver judges each page), colour or mono", DDM_COLORMODE, kU8,
       {{"auto", 0}, {"mono", 1}, {"colour", 2}}},
      {"resolution", "dots per inch", DDM_RESOLUTION, kU32, {{"600", Dpi(600)}, {"1200", Dpi(1200)}}},
      {"staple", "staple position", DDM_STAPLE, kU8,
       {{"off", 0}, {"top-left", 1}, {"top-right", 2}, {"left-double", 3}, {"top-double", 4}, {"right-double", 5}}},
      {"print-type", "normal, secure (held until the password is given at the printer), sample, box or delayed",
       DDM_JOBTYPE, kU8, {{"normal", 0}, {"secure", 1}, {"sample", 2}, {"box", 3}, {"delayed", 4}}},
      {"image-compression", "how kestrelum compresses images: off, delta-row (run-length for grey) or jpeg",
       DDM_IMAGECOMPRESSION, kU8, {{"off", 0}, {"delta-row", 1}, {"jpeg", 2}}},
      {"password",
       "the secure print's password, 1 to 4 digits (not all 0): the job carries it as its id and the printer "
       "releases the job when it is entered; sample print needs it too",
       DDM_USER_ID, 6, {}, false, true},
  };
  return table;
}

bool Digits(const std::string& s, size_t least, size_t most) {
  if (s.size() < least || s.size() > most) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

const SettingDesc* FindSetting(const std::string& name) {
  for (const SettingDesc& d : Table())
    if (d.name == name) return &d;
  return nullptr;
}

const std::vector<SettingDesc>& SettingTable() { return Table(); }

// The member and number a value stands for, or why it is refused. The model
// is asked through its description data whether it offers the value.
RoadResult ResolveSetting(HCDDD ddd, const char* modelName, const RoadSetting& s, ResolvedSetting* out) {
  const SettingDesc* d = FindSetting(s.name);
  if (d == nullptr) return {RoadStatus::BadSetting, "unknown setting \"" + s.name + "\""};
  out->desc = d;
  out->text = s.value;
  if (d->isText) {
    // The job header writes the id without its leading zeros: an id of
    // zeros alone would be empty and fail the job.
    if (!Digits(s.value, 1, 4) || s.value.find_first_not_of('0') == std::string::npos)
      return {RoadStatus::BadSetting, "the password must be 1 to 4 digits, not all 0; \"" + s.value + "\" is not"};
    return {};
  }
  LONG number = 0;
  bool known = false;
  if (d->range) {
    char* end = nullptr;
    const long v = s.value.empty() ? -1 : std::strtol(s.value.c_str(), &end, 10);
    known = end != nullptr && *end == 0 && v > 0 && v < 100000;
    number = static_cast<LONG>(v);
  } else {
    for (const auto& [name, value] : d->values)
      if (name == s.value) {
        known = true;
        number = value;
      }
  }
  if (!known) return {RoadStatus::BadSetting, "unknown value \"" + s.value + "\" for " + s.name};
  out->number = number;
  // The layout members: poster and booklet are layout modes of DDM 321, the
  // parts of a poster DDM 296; "off" is the normal layout.
  if (d->id == DDM_LAYOUTMODE) {
    out->layout = number != 0 ? kLayoutBooklet : kLayoutNormal;
    number = out->layout;
  } else if (d->id == DDM_POSTERPARTS) {
    out->layout = number != 0 ? kLayoutPoster : kLayoutNormal;
    if (number == 0) return {};
  }
  if (d->id == DDM_NUP_FRAME) return {};  // a flag every model has
  // Whether the model offers the value (a list item or inside the range).
  const WORD probe = d->id == DDM_LAYOUTMODE ? DDM_LAYOUTMODE : d->id;
  LONGLONG wide = number;
  DDD_VALUE v{};
  v.type = d->type;
  v.count = 1;
  v.size = d->type == kU8 ? 1 : (d->type == kU32 ? 4 : 2);
  v.data = &wide;
  if (!cdddSearchItemData(ddd, probe, &v))
    return {RoadStatus::BadSetting, "model " + std::string(modelName) + " does not offer " + s.name + " \"" +
                                        s.value + "\""};
  return {};
}

std::vector<RoadSettingInfo> RoadSettingNames(RoadModel model) {
  std::vector<RoadSettingInfo> out;
  std::lock_guard<std::mutex> hold(SettingsLock());
  RoadResult opened;
  ModelData data = OpenModelData(model, &opened);
  for (const SettingDesc& d : Table()) {
    RoadSettingInfo info{d.name, d.help, {}};
    if (d.range) {
      WORD most = data.ddd ? cdddGetMaxCopies(data.ddd) : 0;
      info.values.push_back("1-" + std::to_string(most ? most : 999));
    } else if (d.isText) {
      info.values.push_back("1-4 digits");
    } else {
      for (const auto& [name, value] : d.values) {
        ResolvedSetting r;
        if (data.ddd == nullptr || ResolveSetting(data.ddd, ModelLetter(model), {d.name, name}, &r).ok())
          info.values.push_back(name);
      }
    }
    if (!info.values.empty()) out.push_back(info);
  }
  CloseModelData(&data);
  return out;
}

RoadResult RoadCheckSettings(RoadModel model, const std::vector<RoadSetting>& settings) {
  std::lock_guard<std::mutex> hold(SettingsLock());
  RoadResult opened;
  ModelData data = OpenModelData(model, &opened);
  if (!opened.ok()) return opened;
  RoadResult r;
  for (const RoadSetting& s : settings) {
    ResolvedSetting resolved;
    r = ResolveSetting(data.ddd, ModelLetter(model), s, &resolved);
    if (!r.ok()) break;
  }
  CloseModelData(&data);
  return r;
}

}  // namespace kestrel::road
