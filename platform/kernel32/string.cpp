// UTF-16 and 8-bit string helpers and the bounded formatter.
#include <cstdarg>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>

#include "codepage.h"
#include "kplatform/kernel32_string.h"

namespace {

char16_t FoldUpper(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 32);
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17E) {
    // Latin Extended-A: upper and lower case alternate; between 0x139 and
    // 0x148 and from 0x179 on the upper case letter is the odd one.
    bool upperIsOdd = (c >= 0x139 && c <= 0x148) || c >= 0x179;
    // Dotted capital I and dotless small i pair with ASCII letters, kra and
    // 'n with none: all four stay as they are.
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149) return c;
    bool isOdd = (c & 1) != 0;
    if (upperIsOdd ? !isOdd : isOdd) return static_cast<char16_t>(c - 1);
    return c;
  }
  if (c >= 0x3B1 && c <= 0x3CB) return c == 0x3C2 ? static_cast<char16_t>(0x3A3) : static_cast<char16_t>(c - 32);
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return static_cast<char16_t>(c - 37);
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return static_cast<char16_t>(c - 63);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 32);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 80);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 32);
  return c;
}

template <class Char, class Map>
int Compare(const Char* a, const Char* b, Map map) {
  if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
  using U = std::make_unsigned_t<Char>;
  for (;; ++a, ++b) {
    auto ca = map(static_cast<U>(*a));
    auto cb = map(static_cast<U>(*b));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

template <class Char>
size_t Length(const Char* text) {
  size_t n = 0;
  if (text != nullptr)
    while (text[n] != 0) ++n;
  return n;
}

template <class Char>
size_t BoundedLength(const Char* text, size_t limit) {
  size_t n = 0;
  while (n < limit && text[n] != 0) ++n;
  return n;
}

// ---------------------------------------------------------------------------
// The formatter.

template <class Char>
class Sink {
 public:
  // The buffer is kept terminated after every character, so that whatever
  // stops the formatting leaves a finished string.
  Sink(Char* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) { buffer_[0] = 0; }
  bool full() const { return full_; }
  void put(Char c) {
    if (length_ + 1 < capacity_) {
      buffer_[length_++] = c;
      buffer_[length_] = 0;
    } else {
      full_ = true;
    }
  }
  void repeat(Char c, size_t n) {
    for (size_t i = 0; i < n && !full_; ++i) put(c);
  }
  template <class Text>
  void text(const Text& t) {
    for (size_t i = 0; i < t.size() && !full_; ++i) put(static_cast<Char>(t[i]));
  }
  int finish() const { return static_cast<int>(length_); }

 private:
  Char* buffer_;
  size_t capacity_;
  size_t length_ = 0;
  bool full_ = false;
};

struct Directive {
  bool left = false;
  bool zero = false;
  bool alternate = false;
  size_t width = 0;
  bool hasPrecision = false;
  size_t precision = 0;
  enum Size { kDefault, kShort, kLong, kWide, k64 } size = kDefault;
};

// Widths and precisions beyond this are taken as this (the output is
// bounded anyway; this only keeps the counting sane).
constexpr size_t kMaxField = 1u << 20;

template <class Char>
size_t ReadNumber(const Char*& p) {
  size_t value = 0;
  while (*p >= '0' && *p <= '9') {
    value = value * 10 + static_cast<size_t>(*p - '0');
    if (value > kMaxField) value = kMaxField;
    ++p;
  }
  return value;
}

template <class Char>
void Pad(Sink<Char>& out, const Directive& directive, size_t length, bool before) {
  if (directive.width > length && directive.left != before) out.repeat(Char(' '), directive.width - length);
}

template <class Char>
void PutNumber(Sink<Char>& out, const Directive& directive, uint64_t magnitude, bool negative, unsigned base, bool upper) {
  char digits[32];
  size_t n = 0;
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  while (magnitude != 0) {
    digits[n++] = set[magnitude % base];
    magnitude /= base;
  }
  bool wasZero = n == 0;
  size_t minDigits = directive.hasPrecision ? directive.precision : 1;
  size_t zeros = minDigits > n ? minDigits - n : 0;
  std::string_view prefix = negative ? "-" : "";
  if (directive.alternate && base == 16 && !wasZero) prefix = upper ? "0X" : "0x";
  size_t length = prefix.size() + zeros + n;
  if (directive.zero && !directive.left && !directive.hasPrecision && directive.width > length) {
    zeros += directive.width - length;
    length = directive.width;
  }
  Pad(out, directive, length, true);
  out.text(prefix);
  out.repeat(Char('0'), zeros);
  while (n > 0 && !out.full()) out.put(Char(digits[--n]));
  Pad(out, directive, length, false);
}

template <class Char>
void PutText(Sink<Char>& out, const Directive& directive, const Char* text, size_t length) {
  if (directive.hasPrecision && directive.precision < length) length = directive.precision;
  Pad(out, directive, length, true);
  out.text(std::basic_string_view<Char>(text, length));
  Pad(out, directive, length, false);
}

// A string argument of the other width, converted through the ANSI code page.
std::u16string Other(const char* narrow, size_t length) { return kp::AnsiToUtf16(std::string_view(narrow, length)); }
std::string Other(const char16_t* wide, size_t length) { return kp::Utf16ToAnsi(std::u16string_view(wide, length)); }

template <class Char>
int Format(Char* buffer, int count, const Char* format, va_list* args) {
  using OtherChar = std::conditional_t<std::is_same_v<Char, char>, char16_t, char>;
  if (buffer == nullptr || count <= 0) return 0;
  Sink<Char> out(buffer, static_cast<size_t>(count));
  static const Char kNull[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
  const Char* p = format != nullptr ? format : kNull + 6;
  while (*p != 0 && !out.full()) {
    if (*p != '%') {
      out.put(*p++);
      continue;
    }
    ++p;
    Directive directive;
    for (;; ++p) {
      if (*p == '-')
        directive.left = true;
      else if (*p == '0')
        directive.zero = true;
      else if (*p == '#')
        directive.alternate = true;
      else
        break;
    }
    directive.width = ReadNumber(p);
    if (*p == '.') {
      ++p;
      directive.hasPrecision = true;
      directive.precision = ReadNumber(p);
    }
    if (*p == 'l') {
      directive.size = Directive::kLong;
      ++p;
    } else if (*p == 'h') {
      directive.size = Directive::kShort;
      ++p;
    } else if (*p == 'w') {
      directive.size = Directive::kWide;
      ++p;
    } else if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
      directive.size = Directive::k64;
      p += 3;
    }
    Char type = *p;
    if (type == 0) break;
    ++p;
    // Whether a %s/%c directive takes text of the other width.
    bool narrowSize = directive.size == Directive::kShort;
    bool wideSize = directive.size == Directive::kLong || directive.size == Directive::kWide;
    bool upperType = type == 'S' || type == 'C';
    bool other = std::is_same_v<Char, char16_t> ? (narrowSize || (upperType && !wideSize))
                                                 : (wideSize || (upperType && !narrowSize));
    switch (type) {
      case 'd':
      case 'i': {
        int64_t value = directive.size == Directive::k64 ? va_arg(*args, int64_t) : va_arg(*args, int32_t);
        if (directive.size == Directive::kShort) value = static_cast<int16_t>(value);
        uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
        PutNumber(out, directive, magnitude, value < 0, 10, false);
        break;
      }
      case 'u':
      case 'x':
      case 'X': {
        uint64_t value = directive.size == Directive::k64 ? va_arg(*args, uint64_t) : va_arg(*args, uint32_t);
        if (directive.size == Directive::kShort) value = static_cast<uint16_t>(value);
        PutNumber(out, directive, value, false, type == 'u' ? 10 : 16, type == 'X');
        break;
      }
      case 'c':
      case 'C': {
        int value = va_arg(*args, int);
        if (other) {
          OtherChar c = static_cast<OtherChar>(value);
          auto converted = Other(&c, 1);
          PutText(out, directive, converted.data(), converted.size());
        } else {
          Char c = static_cast<Char>(value);
          PutText(out, directive, &c, 1);
        }
        break;
      }
      case 's':
      case 'S': {
        if (other) {
          const OtherChar* s = va_arg(*args, const OtherChar*);
          if (s == nullptr) {
            PutText(out, directive, kNull, 6);
          } else {
            size_t length = directive.hasPrecision ? BoundedLength(s, directive.precision) : Length(s);
            auto converted = Other(s, length);
            PutText(out, directive, converted.data(), converted.size());
          }
        } else {
          const Char* s = va_arg(*args, const Char*);
          if (s == nullptr)
            PutText(out, directive, kNull, 6);
          else
            PutText(out, directive, s, directive.hasPrecision ? BoundedLength(s, directive.precision) : Length(s));
        }
        break;
      }
      default:  // "%%" and unknown types: the character itself
        out.put(type);
        break;
    }
  }
  return out.finish();
}

constexpr int kUnboundedLimit = 1024;

template <class Char>
int FormatSafely(Char* buffer, int count, const Char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int result = 0;
  try {
    result = Format(buffer, count, format, &copy);
  } catch (const std::bad_alloc&) {
    // Only a conversion of a narrow/wide argument allocates: keep what was
    // written so far, terminated.
    result = static_cast<int>(Length(buffer));
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  }
  va_end(copy);
  return result;
}

}  // namespace

KP_API int WINAPI lstrlenW(LPCWSTR text) { return static_cast<int>(Length(text)); }

KP_API LPWSTR WINAPI lstrcpyW(LPWSTR dst, LPCWSTR src) {
  if (dst == nullptr || src == nullptr) return nullptr;
  std::memmove(dst, src, (Length(src) + 1) * sizeof(WCHAR));
  return dst;
}

KP_API LPWSTR WINAPI lstrcpynW(LPWSTR dst, LPCWSTR src, int count) {
  if (dst == nullptr || src == nullptr) return nullptr;
  if (count <= 0) return dst;
  size_t n = BoundedLength(src, static_cast<size_t>(count) - 1);
  std::memmove(dst, src, n * sizeof(WCHAR));
  dst[n] = 0;
  return dst;
}

KP_API LPWSTR WINAPI lstrcatW(LPWSTR dst, LPCWSTR src) {
  if (dst == nullptr || src == nullptr) return nullptr;
  std::memmove(dst + Length(dst), src, (Length(src) + 1) * sizeof(WCHAR));
  return dst;
}

KP_API int WINAPI lstrcmpW(LPCWSTR a, LPCWSTR b) {
  return Compare(a, b, [](char16_t c) { return c; });
}

KP_API int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b) { return Compare(a, b, FoldUpper); }

KP_API int WINAPI lstrlenA(LPCSTR text) { return static_cast<int>(Length(text)); }

KP_API LPSTR WINAPI lstrcpyA(LPSTR dst, LPCSTR src) {
  if (dst == nullptr || src == nullptr) return nullptr;
  std::memmove(dst, src, Length(src) + 1);
  return dst;
}

KP_API int WINAPI lstrcmpA(LPCSTR a, LPCSTR b) {
  return Compare(a, b, [](unsigned char c) { return c; });
}

KP_API int WINAPI wvnsprintfW(LPWSTR buffer, int count, LPCWSTR format, va_list args) {
  return FormatSafely(buffer, count, format, args);
}

KP_API int WINAPI wnsprintfW(LPWSTR buffer, int count, LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  int result = FormatSafely(buffer, count, format, args);
  va_end(args);
  return result;
}

KP_API int WINAPI wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args) {
  return FormatSafely(buffer, kUnboundedLimit, format, args);
}

KP_API int WINAPI wsprintfW(LPWSTR buffer, LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  int result = FormatSafely(buffer, kUnboundedLimit, format, args);
  va_end(args);
  return result;
}

KP_API int WINAPI wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  int result = FormatSafely(buffer, kUnboundedLimit, format, args);
  va_end(args);
  return result;
}
