// What the shared reader of chunked printer-data values (chunked.cpp) and the
// user-mode writer (core/um/chunked_um.cpp) both use. Private to the core.
#pragma once

#include <cstring>

#include "kestrel/core/printerdata.h"
#include "kplatform/wide_text.h"

namespace chunked_modes {

inline const char16_t* const kBaseNames[] = {u"FontSubTable", u"SysTTFontList", u"PrinterData", u"UserSettingInfo",
                                             u"PaperMarginArray"};
inline constexpr WORD kKinds = 5;

// "<base>Size" or "<base><n>" in a fixed buffer (no heap block; the
// kernel-mode build has none but the engine's). A base longer than
// ZAN_CHUNK_BASE_MAX characters is refused (ok() false).
class ValueName {
 public:
  explicit ValueName(LPCWSTR base) : base_(base) {}
  bool ok() const { return base_ && kp_WideLength(base_) <= ZAN_CHUNK_BASE_MAX; }
  LPWSTR Size() {
    Put(u"Size");
    return buffer_;
  }
  LPWSTR Chunk(DWORD n) {
    char16_t digits[3] = {};
    if (n >= 10) {
      digits[0] = static_cast<char16_t>(u'0' + n / 10);
      digits[1] = static_cast<char16_t>(u'0' + n % 10);
    } else {
      digits[0] = static_cast<char16_t>(u'0' + n);
    }
    Put(digits);
    return buffer_;
  }

 private:
  void Put(const char16_t* suffix) {
    buffer_[0] = u'\0';
    if (!ok()) return;
    DWORD at = kp_WideLength(base_);
    std::memcpy(buffer_, base_, at * sizeof(char16_t));
    for (DWORD i = 0; suffix[i]; ++i) buffer_[at++] = suffix[i];
    buffer_[at] = u'\0';
  }
  LPCWSTR base_;
  char16_t buffer_[ZAN_CHUNK_BASE_MAX + 5] = {};  // the base, "Size" or two digits, the NUL
};

// Counted in 64 bits: a stored size near 4 GiB must not wrap to a few chunks.
DWORD ChunkCount(DWORD size);
DWORD ChunkBytes(DWORD size, DWORD n);  // n from 1

// Reads the stored size: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND (missing or 0)
// or a failure code.
DWORD ReadSize(HANDLE printer, ValueName& name, DWORD* size);

// Reads the chunks of a value of `size` bytes; *read counts the bytes read.
DWORD ReadChunks(HANDLE printer, ValueName& name, BYTE* buffer, DWORD size, DWORD* read);

}  // namespace chunked_modes
