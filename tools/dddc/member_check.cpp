// The devmode-member check of dddc (see member_check.h for what fits).
#include "member_check.h"

#include <cstdio>

#include "kestrel/core/ddm_layout.h"
#include "kestrel/core/devmode.h"

namespace kestrel::dddc {

namespace {

const char* RecordName(int record) {
  switch (record) {
    case DDM_KIND_DEVMODE: return "devmode";
    case DDM_KIND_NONDEVMODE: return "non-devmode record";
    default: return "printer data";
  }
}

std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", v);
  return buf;
}

uint64_t Unsigned(const std::vector<uint8_t>& value) {
  uint64_t v = 0;
  for (size_t i = 0; i < value.size() && i < 8; ++i) v |= static_cast<uint64_t>(value[i]) << (8 * i);
  return v;
}

}  // namespace

int ExchangeSize(int type) { return type >= 0 && type <= 0xFF ? ddm_TypeSize(static_cast<WORD>(type)) : 0; }

std::string ValueTypeName(int type) {
  switch (type) {
    case DDM_TYPE_FLAG: return "bool";
    case DDM_TYPE_SHORT: return "i16";
    case DDM_TYPE_WORD: return "u16";
    case DDM_TYPE_LONG: return "i32";
    case DDM_TYPE_DWORD: return "u32";
    case DDM_TYPE_STRING: return "str";
    case DDM_TYPE_BYTE: return "u8";
    case DDM_TYPE_FONT: return "bin";
    case DDM_TYPE_LFLONG: return "long";
    default: return "type " + std::to_string(type);
  }
}

bool FindMember(int ddm, MemberInfo* out) {
  if (ddm < 1 || ddm > 0xFFFF) return false;
  const DDM_GROUP* group = nullptr;
  const DDM_LAYOUT* row = ddm_FindLayout(static_cast<WORD>(ddm), &group, nullptr);
  if (row == nullptr || group == nullptr) return false;
  MemberInfo m;
  m.ddm = ddm;
  m.record = group->kind;
  m.offset = row->offset;
  m.type = row->type;
  m.reported = row->reported != 0 ? row->reported : row->type;
  m.bytes = row->bytes;
  m.mask = row->mask;
  m.flag = row->special == DDM_SPECIAL_FLAG;
  m.packed = row->special == DDM_SPECIAL_PACKED;
  *out = m;
  return true;
}

std::string DescribeMember(const MemberInfo& m) {
  std::string where = std::string(RecordName(m.record)) + " at offset " + std::to_string(m.offset);
  std::string holds;
  if (m.type == DDM_TYPE_STRING) {
    holds = "str of up to " + std::to_string(m.bytes) + " bytes";
  } else if (m.type == DDM_TYPE_FONT) {
    holds = "bin 92 (a font)";
  } else {
    holds = ValueTypeName(m.type) + " " + std::to_string(ExchangeSize(m.type));
    if (m.reported != m.type) {
      holds += " or " + ValueTypeName(m.reported) + " " + std::to_string(ExchangeSize(m.reported));
    }
    if (m.flag) holds += ", bit " + Hex(m.mask) + " of a 32-bit word";
    if (m.packed) holds += ", bits " + Hex(m.mask) + " of a 32-bit word";
  }
  return "member " + std::to_string(m.ddm) + " (" + where + "; " + holds + ")";
}

std::string DeclarationMismatch(const MemberInfo& m, int type, int size) {
  if (m.type == DDM_TYPE_STRING) {
    if (type != DDM_TYPE_STRING) return "a string member takes str";
    if (size < 2) return "a string needs room for its NUL (2 bytes at least)";
    if (size > m.bytes) return "the text would not fit the member's capacity";
    return "";
  }
  if (m.type == DDM_TYPE_FONT) {
    return type == DDM_TYPE_FONT && size == static_cast<int>(NRV_LOGFONT_SIZE) ? "" : "a font member takes bin 92";
  }
  if (type != m.type && type != m.reported) return "the value type differs from the member's";
  if (size != ExchangeSize(type)) return "the size is not the size of a " + ValueTypeName(type) + " value";
  return "";
}

std::string ValueMismatch(const MemberInfo& m, int type, const std::vector<uint8_t>& value) {
  if (m.type == DDM_TYPE_STRING || m.type == DDM_TYPE_FONT || value.empty()) return "";
  uint64_t v = Unsigned(value);
  if (m.flag || m.type == DDM_TYPE_FLAG) {
    return v <= 1 ? "" : "a flag reads back only 0 or 1";
  }
  if (m.packed) {
    return (v & ~static_cast<uint64_t>(m.mask)) == 0 ? "" : "the value has bits outside the member's " + Hex(m.mask);
  }
  int stored = ExchangeSize(m.type);
  if (type != m.type && stored > 0 && stored < 8 && static_cast<int>(value.size()) > stored) {
    // Written through a wider reported type: the stored width decides.
    uint64_t limit = (uint64_t{1} << (8 * stored)) - 1;
    if (v > limit) {
      return "the member keeps only " + std::to_string(stored * 8) + " bits (0-" + std::to_string(limit) + ")";
    }
  }
  return "";
}

}  // namespace kestrel::dddc
