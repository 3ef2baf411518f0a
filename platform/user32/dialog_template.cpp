// DLGTEMPLATEEX reading and writing (dialog_template.h).
#include "user32/dialog_template.h"

#include "kplatform/byte_order.h"

namespace kp::user32 {
namespace {

constexpr uint16_t kVersion = 1;
constexpr uint16_t kSignature = 0xFFFF;
constexpr uint32_t kDsSetFont = 0x40;  // DS_SETFONT: the font fields follow the title

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool u16(uint16_t* v) {
    if (size_ - at_ < 2) return false;
    *v = kp_LoadU16(data_ + at_);
    at_ += 2;
    return true;
  }
  bool u32(uint32_t* v) {
    if (size_ - at_ < 4) return false;
    *v = kp_LoadU32(data_ + at_);
    at_ += 4;
    return true;
  }
  bool i16(int16_t* v) {
    uint16_t u;
    if (!u16(&u)) return false;
    *v = static_cast<int16_t>(u);
    return true;
  }
  bool u8(uint8_t* v) {
    if (size_ - at_ < 1) return false;
    *v = data_[at_++];
    return true;
  }
  bool string(std::u16string* s) {
    s->clear();
    for (;;) {
      uint16_t c;
      if (!u16(&c)) return false;
      if (c == 0) return true;
      s->push_back(static_cast<char16_t>(c));
    }
  }
  bool nameOrOrdinal(NameOrOrdinal* n) {
    uint16_t first;
    if (!u16(&first)) return false;
    n->ordinal = 0;
    n->name.clear();
    if (first == 0) return true;
    if (first == 0xFFFF) {
      if (!u16(&n->ordinal)) return false;
      return n->ordinal != 0;  // ordinal 0 would read back as "none"
    }
    n->name.push_back(static_cast<char16_t>(first));
    std::u16string rest;
    if (!string(&rest)) return false;
    n->name += rest;
    return true;
  }
  bool align4() {
    const size_t aligned = (at_ + 3) & ~static_cast<size_t>(3);
    if (aligned > size_) return false;
    at_ = aligned;
    return true;
  }
  bool bytes(size_t n, std::vector<uint8_t>* out) {
    if (size_ - at_ < n) return false;
    out->assign(data_ + at_, data_ + at_ + n);
    at_ += n;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

bool Fail(std::string* why, const char* what) {
  if (why) *why = what;
  return false;
}

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  PutU16(out, static_cast<uint16_t>(v));
  PutU16(out, static_cast<uint16_t>(v >> 16));
}
void PutString(std::vector<uint8_t>& out, const std::u16string& s) {
  for (char16_t c : s) PutU16(out, static_cast<uint16_t>(c));
  PutU16(out, 0);
}
void PutNameOrOrdinal(std::vector<uint8_t>& out, const NameOrOrdinal& n) {
  if (n.ordinal) {
    PutU16(out, 0xFFFF);
    PutU16(out, n.ordinal);
  } else {
    PutString(out, n.name);
  }
}

}  // namespace

bool ParseDialogTemplate(const uint8_t* data, size_t size, DialogTemplate* out, std::string* why) {
  if (!data || !out) return Fail(why, "no template");
  Reader r(data, size);
  DialogTemplate d;
  uint16_t version = 0, signature = 0, count = 0;
  if (!r.u16(&version) || !r.u16(&signature)) return Fail(why, "shorter than its header");
  if (version != kVersion || signature != kSignature) return Fail(why, "not a DLGTEMPLATEEX (version 1, 0xFFFF)");
  if (!r.u32(&d.helpId) || !r.u32(&d.exStyle) || !r.u32(&d.style) || !r.u16(&count) || !r.i16(&d.x) ||
      !r.i16(&d.y) || !r.i16(&d.cx) || !r.i16(&d.cy))
    return Fail(why, "shorter than its header");
  if (!r.nameOrOrdinal(&d.menu) || !r.nameOrOrdinal(&d.windowClass) || !r.string(&d.title))
    return Fail(why, "menu, class or title runs past the end");
  if (d.style & kDsSetFont) {
    if (!r.u16(&d.pointSize) || !r.u16(&d.weight) || !r.u8(&d.italic) || !r.u8(&d.charset) ||
        !r.string(&d.typeface))
      return Fail(why, "font runs past the end");
  }
  d.items.reserve(count);
  for (uint16_t i = 0; i < count; ++i) {
    TemplateItem item;
    uint16_t extra = 0;
    if (!r.align4() || !r.u32(&item.helpId) || !r.u32(&item.exStyle) || !r.u32(&item.style) || !r.i16(&item.x) ||
        !r.i16(&item.y) || !r.i16(&item.cx) || !r.i16(&item.cy) || !r.u32(&item.id))
      return Fail(why, "an item runs past the end");
    if (!r.nameOrOrdinal(&item.windowClass) || !r.nameOrOrdinal(&item.title) || !r.u16(&extra) ||
        !r.bytes(extra, &item.extra))
      return Fail(why, "an item's class, title or extra bytes run past the end");
    if (!item.windowClass.ordinal && item.windowClass.name.empty()) return Fail(why, "an item has no class");
    d.items.push_back(std::move(item));
  }
  *out = std::move(d);
  return true;
}

std::vector<uint8_t> WriteDialogTemplate(const DialogTemplate& d) {
  std::vector<uint8_t> out;
  PutU16(out, kVersion);
  PutU16(out, kSignature);
  PutU32(out, d.helpId);
  PutU32(out, d.exStyle);
  PutU32(out, d.style);
  PutU16(out, static_cast<uint16_t>(d.items.size()));
  for (int16_t v : {d.x, d.y, d.cx, d.cy}) PutU16(out, static_cast<uint16_t>(v));
  PutNameOrOrdinal(out, d.menu);
  PutNameOrOrdinal(out, d.windowClass);
  PutString(out, d.title);
  if (d.style & kDsSetFont) {
    PutU16(out, d.pointSize);
    PutU16(out, d.weight);
    out.push_back(d.italic);
    out.push_back(d.charset);
    PutString(out, d.typeface);
  }
  for (const TemplateItem& item : d.items) {
    while (out.size() % 4) out.push_back(0);
    PutU32(out, item.helpId);
    PutU32(out, item.exStyle);
    PutU32(out, item.style);
    for (int16_t v : {item.x, item.y, item.cx, item.cy}) PutU16(out, static_cast<uint16_t>(v));
    PutU32(out, item.id);
    PutNameOrOrdinal(out, item.windowClass);
    PutNameOrOrdinal(out, item.title);
    PutU16(out, static_cast<uint16_t>(item.extra.size()));
    out.insert(out.end(), item.extra.begin(), item.extra.end());
  }
  return out;
}

}  // namespace kp::user32
