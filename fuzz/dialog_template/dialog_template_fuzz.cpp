// Feeds arbitrary bytes to the dialog-template reader. A template it accepts
// must write back to bytes that read as the same template (so the dialog
// calls and the resource compiler agree on every accepted template); one it
// refuses fails its dialog (-1), which the dialog tests hold.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "user32/dialog_template.h"

namespace {

bool Same(const kp::user32::NameOrOrdinal& a, const kp::user32::NameOrOrdinal& b) {
  return a.ordinal == b.ordinal && a.name == b.name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy sized exactly, so that reads past the end are caught.
  std::vector<uint8_t> bytes(data, data + size);
  kp::user32::DialogTemplate first;
  if (!kp::user32::ParseDialogTemplate(bytes.data(), bytes.size(), &first, nullptr)) return 0;
  const std::vector<uint8_t> written = kp::user32::WriteDialogTemplate(first);
  kp::user32::DialogTemplate second;
  if (!kp::user32::ParseDialogTemplate(written.data(), written.size(), &second, nullptr)) __builtin_trap();
  if (second.style != first.style || second.title != first.title || second.typeface != first.typeface ||
      !Same(second.menu, first.menu) || !Same(second.windowClass, first.windowClass) ||
      second.items.size() != first.items.size())
    __builtin_trap();
  for (size_t i = 0; i < first.items.size(); ++i) {
    const auto& a = first.items[i];
    const auto& b = second.items[i];
    if (a.id != b.id || a.style != b.style || !Same(a.windowClass, b.windowClass) || !Same(a.title, b.title) ||
        a.extra != b.extra)
      __builtin_trap();
  }
  return 0;
}
