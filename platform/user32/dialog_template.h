// The reader of DLGTEMPLATEEX templates (layout in kplatform/user32_dialog.h).
// Shared by the dialog calls, the resource compiler's check of what it
// writes, and the fuzz target: it reads only within the bytes it is given
// and refuses a template whole when anything is out of place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kp::user32 {

// A name or an ordinal (sz_Or_Ord): `ordinal` non-zero for an ordinal,
// else `name` (possibly empty: none).
struct NameOrOrdinal {
  uint16_t ordinal = 0;
  std::u16string name;
};

struct TemplateItem {
  uint32_t helpId = 0;
  uint32_t exStyle = 0;
  uint32_t style = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  uint32_t id = 0;
  NameOrOrdinal windowClass;
  NameOrOrdinal title;
  std::vector<uint8_t> extra;
};

struct DialogTemplate {
  uint32_t helpId = 0;
  uint32_t exStyle = 0;
  uint32_t style = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  NameOrOrdinal menu;
  NameOrOrdinal windowClass;
  std::u16string title;
  uint16_t pointSize = 0;
  uint16_t weight = 0;
  uint8_t italic = 0;
  uint8_t charset = 0;
  std::u16string typeface;
  std::vector<TemplateItem> items;
};

// Reads the template; false (with `why`, if given) for anything that is not
// a whole DLGTEMPLATEEX: version 1 and signature 0xFFFF, every string ended
// within the bytes, each item's extra bytes within them, at most 65535
// items. Bytes after the last item are allowed (resources are padded).
bool ParseDialogTemplate(const uint8_t* data, size_t size, DialogTemplate* out, std::string* why);

// The bytes of a template (what the resource compiler writes): the exact
// inverse of the reader.
std::vector<uint8_t> WriteDialogTemplate(const DialogTemplate& dialog);

}  // namespace kp::user32
