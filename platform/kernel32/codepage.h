// Conversions the platform's own components use internally (message boxes
// to standard error, the formatter's narrow strings, debug output). They
// never touch the caller's last error.
#pragma once

#include <string>
#include <string_view>

#include "kplatform/wintypes.h"

namespace kp {

// UTF-16 to UTF-8; lone surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// 8-bit text of the ANSI code page to UTF-16 (undecodable bytes replaced).
std::u16string AnsiToUtf16(std::string_view text);
// UTF-16 to the ANSI code page ('?' for what it lacks).
std::string Utf16ToAnsi(std::u16string_view text);

}  // namespace kp
