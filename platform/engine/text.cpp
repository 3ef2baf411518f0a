// Code pages (EngMultiByteToWideChar and its kin, EngGetCurrentCodePage)
// over the kernel stand-in's conversions, and EngDebugPrint with its
// capture.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/engine_state.h"
#include "kernel32/codepage.h"
#include "kplatform/kernel32_codepage.h"

namespace {

// The whole of an 8-bit text as UTF-16; false when it can't be converted.
// One conversion into room for the most it can give: a byte decodes to one
// UTF-16 unit at most in every code page.
bool toWide(UINT cp, const char* text, int bytes, std::u16string& out) {
  out.clear();
  if (bytes == 0) return true;
  out.resize(static_cast<size_t>(bytes));
  int n = MultiByteToWideChar(cp, 0, text, bytes, out.data(), bytes);
  if (n <= 0) return false;
  out.resize(static_cast<size_t>(n));
  return true;
}

// A UTF-16 unit encodes to three bytes at most (UTF-8; a surrogate pair's
// two units to four).
constexpr int kMostBytesPerUnit = 3;

bool toNarrow(UINT cp, const char16_t* text, int chars, std::string& out) {
  out.clear();
  if (chars == 0) return true;
  if (chars > INT_MAX / kMostBytesPerUnit) {  // too long for that room: asked for its size first
    int n = WideCharToMultiByte(cp, 0, text, chars, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    out.resize(static_cast<size_t>(n));
    return WideCharToMultiByte(cp, 0, text, chars, out.data(), n, nullptr, nullptr) == n;
  }
  out.resize(static_cast<size_t>(chars) * kMostBytesPerUnit);
  int n = WideCharToMultiByte(cp, 0, text, chars, out.data(), static_cast<int>(out.size()), nullptr, nullptr);
  if (n <= 0) return false;
  out.resize(static_cast<size_t>(n));
  return true;
}

}  // namespace

KP_API INT WINAPI EngMultiByteToWideChar(UINT CodePage, LPWSTR WideCharString, INT BytesInWideCharString,
                                         LPSTR MultiByteString, INT BytesInMultiByteString) {
  if (BytesInMultiByteString < 0 || BytesInWideCharString < 0 || (!MultiByteString && BytesInMultiByteString > 0) ||
      (!WideCharString && BytesInWideCharString > 0))
    return -1;
  std::u16string wide;
  if (!toWide(CodePage, MultiByteString, BytesInMultiByteString, wide)) return -1;
  size_t bytes = wide.size() * sizeof(WCHAR);
  if (bytes > static_cast<size_t>(BytesInWideCharString)) return -1;
  if (bytes > 0) std::memcpy(WideCharString, wide.data(), bytes);
  return static_cast<INT>(bytes);
}

KP_API INT WINAPI EngWideCharToMultiByte(UINT CodePage, LPWSTR WideCharString, INT BytesInWideCharString,
                                         LPSTR MultiByteString, INT BytesInMultiByteString) {
  if (BytesInMultiByteString < 0 || BytesInWideCharString < 0 || (!WideCharString && BytesInWideCharString > 0) ||
      (!MultiByteString && BytesInMultiByteString > 0))
    return -1;
  std::string narrow;
  if (!toNarrow(CodePage, WideCharString, BytesInWideCharString / 2, narrow)) return -1;
  if (narrow.size() > static_cast<size_t>(BytesInMultiByteString)) return -1;
  if (!narrow.empty()) std::memcpy(MultiByteString, narrow.data(), narrow.size());
  return static_cast<INT>(narrow.size());
}

KP_API VOID WINAPI EngMultiByteToUnicodeN(LPWSTR UnicodeString, ULONG MaxBytesInUnicodeString,
                                          PULONG BytesInUnicodeString, LPSTR MultiByteString,
                                          ULONG BytesInMultiByteString) {
  if (BytesInUnicodeString) *BytesInUnicodeString = 0;
  if (!UnicodeString || !MultiByteString || BytesInMultiByteString > 0x7FFFFFFFu) return;
  std::u16string wide;
  if (!toWide(CP_ACP, MultiByteString, static_cast<int>(BytesInMultiByteString), wide)) return;
  size_t units = std::min<size_t>(wide.size(), MaxBytesInUnicodeString / sizeof(WCHAR));
  if (units > 0 && units < wide.size() && wide[units - 1] >= 0xD800 && wide[units - 1] <= 0xDBFF) --units;
  if (units > 0) std::memcpy(UnicodeString, wide.data(), units * sizeof(WCHAR));
  if (BytesInUnicodeString) *BytesInUnicodeString = static_cast<ULONG>(units * sizeof(WCHAR));
}

KP_API VOID WINAPI EngUnicodeToMultiByteN(LPSTR MultiByteString, ULONG MaxBytesInMultiByteString,
                                          PULONG BytesInMultiByteString, LPWSTR UnicodeString,
                                          ULONG BytesInUnicodeString) {
  if (BytesInMultiByteString) *BytesInMultiByteString = 0;
  if (!MultiByteString || !UnicodeString || BytesInUnicodeString > 0x7FFFFFFFu) return;
  std::string narrow;
  UINT acp = GetACP();
  if (!toNarrow(acp, UnicodeString, static_cast<int>(BytesInUnicodeString / 2), narrow)) return;
  // Whole characters only: a lead byte goes with its trail byte or not at all.
  size_t keep = 0;
  while (keep < narrow.size()) {
    size_t width = IsDBCSLeadByteEx(acp, static_cast<BYTE>(narrow[keep])) && keep + 1 < narrow.size() ? 2 : 1;
    if (keep + width > MaxBytesInMultiByteString) break;
    keep += width;
  }
  if (keep > 0) std::memcpy(MultiByteString, narrow.data(), keep);
  if (BytesInMultiByteString) *BytesInMultiByteString = static_cast<ULONG>(keep);
}

KP_API VOID WINAPI EngGetCurrentCodePage(PUSHORT OemCodePage, PUSHORT AnsiCodePage) {
  if (OemCodePage) *OemCodePage = static_cast<USHORT>(GetOEMCP());
  if (AnsiCodePage) *AnsiCodePage = static_cast<USHORT>(GetACP());
}

// ---- EngDebugPrint -----------------------------------------------------------------

namespace {

constexpr size_t kCaptureLimit = 1048576;
constexpr size_t kCallLimit = 4096;  // bytes one call prints, and the largest width or precision

struct Capture {
  std::mutex lock;
  std::string text;
};

Capture& capture() {
  static Capture* c = new Capture;
  return *c;
}

bool echoToStderr() {
  const char* v = std::getenv("KESTREL_DEBUG_OUTPUT");
  return v && v[0] && std::strcmp(v, "0") != 0;
}

std::string wideArgument(const char16_t* text, int precision) {
  if (!text) return "(null)";
  std::u16string_view view(text);
  if (precision >= 0 && static_cast<size_t>(precision) < view.size()) view = view.substr(0, precision);
  return kp::Utf16ToAnsi(view);
}

// Formats one call: the original platform's printf family, where "l" is 32
// bits. Each conversion is handed to snprintf with an argument of the right
// host type, so no host "long" is ever read for a 32-bit value.
std::string format(const char* fmt, va_list ap) {
  std::string out;
  char buffer[512];
  for (const char* p = fmt; *p;) {
    if (*p != '%') {
      out += *p++;
      continue;
    }
    const char* start = p++;
    if (*p == '%') {
      out += '%';
      ++p;
      continue;
    }
    std::string directive = "%";
    while (*p && std::strchr("-+ 0#", *p)) directive += *p++;
    int width = -1, precision = -1;
    if (*p == '*') {
      width = va_arg(ap, int);
      if (width < 0) {  // a negative width means left-justified
        directive += '-';
        width = width == INT_MIN ? INT_MAX : -width;
      }
      ++p;
    } else if (*p >= '0' && *p <= '9') {
      width = 0;
      while (*p >= '0' && *p <= '9') width = std::min(width * 10 + (*p++ - '0'), 100000);
    }
    width = std::min(width, static_cast<int>(kCallLimit));
    if (*p == '.') {
      ++p;
      if (*p == '*') {
        precision = va_arg(ap, int);
        ++p;
      } else {
        precision = 0;
        while (*p >= '0' && *p <= '9') precision = std::min(precision * 10 + (*p++ - '0'), 100000);
      }
      precision = std::min(precision, static_cast<int>(kCallLimit));
    }
    int size = 32;  // 16, 32 or 64 bits
    bool wide = false;
    if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
      size = 64;
      p += 3;
    } else if (p[0] == 'l' && p[1] == 'l') {
      size = 64;
      p += 2;
    } else if (*p == 'l' || *p == 'w') {
      wide = true;  // for s and c; 32 bits for numbers
      ++p;
    } else if (*p == 'h') {
      size = 16;
      ++p;
    }
    char conv = *p ? *p++ : 0;
    if (width >= 0) directive += std::to_string(width);
    if (precision >= 0) directive += "." + std::to_string(precision);
    const std::string& f = directive;
    switch (conv) {
      case 'd':
      case 'i':
        if (size == 64) {
          std::snprintf(buffer, sizeof buffer, (f + "lld").c_str(), static_cast<long long>(va_arg(ap, int64_t)));
        } else {
          int v = va_arg(ap, int);
          if (size == 16) v = static_cast<int16_t>(v);
          std::snprintf(buffer, sizeof buffer, (f + "d").c_str(), v);
        }
        out += buffer;
        break;
      case 'u':
      case 'x':
      case 'X':
      case 'o': {
        std::string c(1, conv);
        if (size == 64) {
          std::snprintf(buffer, sizeof buffer, (f + "ll" + c).c_str(),
                        static_cast<unsigned long long>(va_arg(ap, uint64_t)));
        } else {
          unsigned v = va_arg(ap, unsigned);
          if (size == 16) v = static_cast<uint16_t>(v);
          std::snprintf(buffer, sizeof buffer, (f + c).c_str(), v);
        }
        out += buffer;
        break;
      }
      case 'c':
      case 'C': {
        int v = va_arg(ap, int);
        std::string text;
        if (wide || conv == 'C') {
          char16_t unit[2] = {static_cast<char16_t>(v), 0};
          text = wideArgument(unit, -1);
        } else {
          text = std::string(1, static_cast<char>(v));
        }
        std::snprintf(buffer, sizeof buffer, (f + "s").c_str(), text.c_str());
        out += buffer;
        break;
      }
      case 's':
      case 'S': {
        std::string text;
        if (wide || conv == 'S') {
          text = wideArgument(va_arg(ap, const char16_t*), precision);
        } else {
          const char* s = va_arg(ap, const char*);
          text = s ? s : "(null)";
        }
        // Width and precision apply to the converted text.
        std::string textSpec = f + "s";
        int n = std::snprintf(nullptr, 0, textSpec.c_str(), text.c_str());
        if (n > 0) {
          std::string converted(static_cast<size_t>(n) + 1, '\0');
          std::snprintf(converted.data(), converted.size(), textSpec.c_str(), text.c_str());
          converted.resize(static_cast<size_t>(n));
          out += converted;
        }
        break;
      }
      case 'p':
        std::snprintf(buffer, sizeof buffer, "%p", va_arg(ap, void*));
        out += buffer;
        break;
      default:
        out.append(start, p);  // an unknown conversion ends the formatting
        return out;
    }
    if (out.size() >= kCallLimit) break;
  }
  return out;
}

}  // namespace

KP_API VOID WINAPI EngDebugPrint(LPSTR StandardPrefix, LPSTR DebugMessage, va_list ap) {
  std::string line = StandardPrefix ? StandardPrefix : "";
  if (DebugMessage) {
    va_list copy;
    va_copy(copy, ap);
    line += format(DebugMessage, copy);
    va_end(copy);
  }
  if (line.size() > kCallLimit) line.resize(kCallLimit);
  if (echoToStderr()) std::fwrite(line.data(), 1, line.size(), stderr);
  Capture& c = capture();
  std::lock_guard<std::mutex> g(c.lock);
  c.text += line;
  if (c.text.size() > kCaptureLimit) c.text.erase(0, c.text.size() - kCaptureLimit);
}

KP_API size_t KpEngineGetDebugOutput(char* buffer, size_t size) {
  Capture& c = capture();
  std::lock_guard<std::mutex> g(c.lock);
  if (buffer && size > 0) {
    size_t n = std::min(size - 1, c.text.size());
    std::memcpy(buffer, c.text.data(), n);
    buffer[n] = 0;
  }
  return c.text.size();
}

KP_API void KpEngineClearDebugOutput(void) {
  Capture& c = capture();
  std::lock_guard<std::mutex> g(c.lock);
  c.text.clear();
}
