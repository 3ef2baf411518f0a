// Code-page conversions over glibc iconv.
#include "codepage.h"

#include <iconv.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "kplatform/kernel32_codepage.h"

static_assert(std::endian::native == std::endian::little, "UTF-16LE is handed to iconv as it lies in memory");

namespace {

std::atomic<UINT> g_acp{1252};

UINT OemFor(UINT acp) { return acp == 932 ? 932u : 437u; }

UINT Resolve(UINT codePage) {
  if (codePage == CP_ACP) return g_acp.load(std::memory_order_relaxed);
  if (codePage == CP_OEMCP) return OemFor(g_acp.load(std::memory_order_relaxed));
  return codePage;
}

// Index of a known code page in the converter cache, or -1.
int Slot(UINT codePage) {
  switch (codePage) {
    case 437: return 0;
    case 932: return 1;
    case 1252: return 2;
    case CP_UTF8: return 3;
    default: return -1;
  }
}

const char* IconvName(int slot) {
  static const char* const kNames[] = {"CP437", "CP932", "CP1252", "UTF-8"};
  return kNames[slot];
}

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// Open converters, kept for reuse by any thread: a descriptor is lent to one
// caller at a time and never closed. Opening happens under the pool's lock,
// so glibc loads each converter module exactly once and no thread ever
// unloads one under another.
class ConverterPool {
 public:
  // An open converter in its initial state, or kNoConverter.
  iconv_t borrow(int slot, bool toWide) {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<iconv_t>& idle = idle_[slot][toWide ? 1 : 0];
    if (!idle.empty()) {
      iconv_t cd = idle.back();
      idle.pop_back();
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      return cd;
    }
    idle.reserve(idle.capacity() + 1);  // giving it back never needs memory
    return toWide ? iconv_open("UTF-16LE", IconvName(slot)) : iconv_open(IconvName(slot), "UTF-16LE");
  }
  void giveBack(int slot, bool toWide, iconv_t cd) {
    std::lock_guard<std::mutex> guard(lock_);
    idle_[slot][toWide ? 1 : 0].push_back(cd);
  }

 private:
  std::mutex lock_;
  std::vector<iconv_t> idle_[4][2];
};

ConverterPool& pool() {
  static ConverterPool* p = new ConverterPool;  // outlives every static destructor
  return *p;
}

// A converter lent for the length of one conversion.
class Lease {
 public:
  Lease(int slot, bool toWide) : slot_(slot), toWide_(toWide) {
    if (slot >= 0) cd_ = pool().borrow(slot, toWide);
  }
  ~Lease() {
    if (cd_ != kNoConverter) pool().giveBack(slot_, toWide_, cd_);
  }
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;
  iconv_t get() const { return cd_; }

 private:
  int slot_;
  bool toWide_;
  iconv_t cd_ = kNoConverter;
};

bool IsLead932(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsTrail932(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

// The five bytes 1252 leaves unassigned stand for the control characters of
// the same value.
bool IsUnassigned1252(unsigned b) { return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D; }

// Length of the undecodable UTF-8 sequence at p: the lead byte and the
// continuation bytes that could still have belonged to it.
size_t Utf8BadLength(const unsigned char* p, size_t n) {
  unsigned char b0 = p[0];
  if (b0 < 0xC2 || b0 > 0xF4) return 1;
  size_t need = b0 < 0xE0 ? 1 : (b0 < 0xF0 ? 2 : 3);
  unsigned char lo = 0x80, hi = 0xBF;
  if (b0 == 0xE0) lo = 0xA0;
  if (b0 == 0xED) hi = 0x9F;
  if (b0 == 0xF0) lo = 0x90;
  if (b0 == 0xF4) hi = 0x8F;
  size_t i = 1;
  if (i < n && p[i] >= lo && p[i] <= hi) {
    ++i;
    while (i < n && i < need && p[i] >= 0x80 && p[i] <= 0xBF) ++i;
  }
  return i;
}

enum class Status { kOk, kInvalidChars, kNoConverter };

// Decodes `n` bytes of the (resolved) code page into `out` through iconv.
Status DecodeWithIconv(UINT codePage, const char* src, size_t n, bool strict, std::u16string& out) {
  Lease lease(Slot(codePage), true);
  iconv_t cd = lease.get();
  if (cd == kNoConverter) return Status::kNoConverter;
  char16_t chunk[1024];
  char* in = const_cast<char*>(src);
  size_t inLeft = n;
  while (inLeft > 0) {
    char* outPtr = reinterpret_cast<char*>(chunk);
    size_t outLeft = sizeof chunk;
    size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(chunk, static_cast<size_t>(reinterpret_cast<char16_t*>(outPtr) - chunk));
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL (a sequence cut off at the end): replace or refuse.
    const unsigned char* bad = reinterpret_cast<const unsigned char*>(in);
    size_t skip = 1;
    char16_t replacement = u'?';
    if (codePage == 1252 && IsUnassigned1252(bad[0])) {
      replacement = bad[0];
    } else if (strict) {
      return Status::kInvalidChars;
    } else if (codePage == CP_UTF8) {
      skip = Utf8BadLength(bad, inLeft);
      replacement = u'\uFFFD';
    } else if (codePage == 932) {
      if (IsLead932(bad[0]) && inLeft >= 2 && IsTrail932(bad[1])) skip = 2;
      replacement = u'\u30FB';
    }
    out.push_back(replacement);
    in += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return Status::kOk;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Encodes `n` UTF-16 units into the (resolved) code page. `fallback` is the
// default character for code pages other than UTF-8; *usedDefault is set
// when it was used.
Status EncodeWithIconv(UINT codePage, const char16_t* src, size_t n, bool strict, std::string_view fallback,
                       bool* usedDefault, std::string& out) {
  Lease lease(Slot(codePage), false);
  iconv_t cd = lease.get();
  if (cd == kNoConverter) return Status::kNoConverter;
  char chunk[4096];
  char* in = reinterpret_cast<char*>(const_cast<char16_t*>(src));
  size_t inLeft = n * sizeof(char16_t);
  while (inLeft > 0) {
    char* outPtr = chunk;
    size_t outLeft = sizeof chunk;
    size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(chunk, static_cast<size_t>(outPtr - chunk));
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    char16_t bad;
    std::memcpy(&bad, in, sizeof bad);
    size_t skip = sizeof(char16_t);
    if (IsHighSurrogate(bad) && inLeft >= 2 * sizeof(char16_t)) {
      char16_t next;
      std::memcpy(&next, in + sizeof(char16_t), sizeof next);
      if (IsLowSurrogate(next)) skip = 2 * sizeof(char16_t);  // a whole character the code page lacks
    }
    if (codePage == 1252 && IsUnassigned1252(bad)) {
      out.push_back(static_cast<char>(bad));
    } else if (codePage == CP_UTF8) {
      if (strict) return Status::kInvalidChars;
      out.append("\xEF\xBF\xBD");
    } else {
      out.append(fallback);
      if (usedDefault != nullptr) *usedDefault = true;
    }
    in += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return Status::kOk;
}

// The single-byte code pages (437, 1252) convert through memos of iconv's
// own answers, each byte and each UTF-16 unit asked once a process: both
// are stateless, so a text converts as its units one by one do, without a
// converter's lease and iconv's cost on every call.
int SingleByteIndex(UINT codePage) { return codePage == 437 ? 0 : codePage == 1252 ? 1 : -1; }

// A byte's decoding: 0 not asked yet, else kKnown | (kStrictFails) | unit.
constexpr uint32_t kKnown = 1u << 17, kStrictFails = 1u << 16;
std::atomic<uint32_t> g_wide[2][256];
// A unit's encoding: 0 not asked yet, kUnmappable, else the byte + 1.
constexpr uint16_t kUnmappable = 0xFFFF;
std::atomic<uint16_t> g_narrow[2][65536];

Status Decode(UINT codePage, const char* src, size_t n, bool strict, std::u16string& out) {
  const int index = SingleByteIndex(codePage);
  if (index < 0) return DecodeWithIconv(codePage, src, n, strict, out);
  const size_t start = out.size();
  out.reserve(start + n);
  for (size_t i = 0; i < n; ++i) {
    const auto b = static_cast<unsigned char>(src[i]);
    uint32_t known = g_wide[index][b].load(std::memory_order_relaxed);
    if (known == 0) {
      std::u16string one;
      const bool fails = DecodeWithIconv(codePage, &src[i], 1, true, one) != Status::kOk;
      if (fails) {
        one.clear();
        Status status = DecodeWithIconv(codePage, &src[i], 1, false, one);
        if (status != Status::kOk) return status;
      }
      if (one.size() != 1) {  // not a single-byte answer: iconv converts the whole text
        out.resize(start);
        return DecodeWithIconv(codePage, src, n, strict, out);
      }
      known = kKnown | (fails ? kStrictFails : 0u) | one[0];
      g_wide[index][b].store(known, std::memory_order_relaxed);
    }
    if (strict && (known & kStrictFails)) return Status::kInvalidChars;
    out.push_back(static_cast<char16_t>(known & 0xFFFFu));
  }
  return Status::kOk;
}

Status Encode(UINT codePage, const char16_t* src, size_t n, bool strict, std::string_view fallback,
              bool* usedDefault, std::string& out) {
  const int index = SingleByteIndex(codePage);
  if (index < 0) return EncodeWithIconv(codePage, src, n, strict, fallback, usedDefault, out);
  out.reserve(out.size() + n);
  auto useDefault = [&] {
    out.append(fallback);
    if (usedDefault != nullptr) *usedDefault = true;
  };
  for (size_t i = 0; i < n; ++i) {
    const char16_t u = src[i];
    if (IsHighSurrogate(u) || IsLowSurrogate(u)) {  // no single-byte code page has a character beyond the BMP
      if (IsHighSurrogate(u) && i + 1 < n && IsLowSurrogate(src[i + 1])) ++i;
      useDefault();
      continue;
    }
    uint16_t known = g_narrow[index][u].load(std::memory_order_relaxed);
    if (known == 0) {
      std::string one;
      bool used = false;
      Status status = EncodeWithIconv(codePage, &u, 1, false, "", &used, one);
      if (status != Status::kOk) return status;
      known = used || one.size() != 1 ? kUnmappable : static_cast<uint16_t>(static_cast<unsigned char>(one[0]) + 1);
      g_narrow[index][u].store(known, std::memory_order_relaxed);
    }
    if (known == kUnmappable) {
      useDefault();
    } else {
      out.push_back(static_cast<char>(known - 1));
    }
  }
  return Status::kOk;
}

DWORD ErrorFor(Status status) {
  return status == Status::kInvalidChars ? static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION)
                                         : static_cast<DWORD>(ERROR_INVALID_PARAMETER);
}

// Copies a finished conversion out under the size rules.
template <class Char, class String>
int Deliver(const String& result, Char* dst, int dstSize) {
  if (result.size() > static_cast<size_t>(INT_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int needed = static_cast<int>(result.size());
  if (dstSize == 0) return needed;
  if (needed > dstSize) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (needed > 0) std::memcpy(dst, result.data(), result.size() * sizeof(Char));
  return needed;
}

}  // namespace

KP_API int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcBytes, LPWSTR dst,
                                      int dstChars) {
  if (src == nullptr || srcBytes == 0 || srcBytes < -1 || dstChars < 0 || (dst == nullptr && dstChars != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  UINT cp = Resolve(codePage);
  if (Slot(cp) < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  DWORD allowed = cp == CP_UTF8 ? MB_ERR_INVALID_CHARS : (MB_PRECOMPOSED | MB_ERR_INVALID_CHARS);
  if ((flags & ~allowed) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  size_t n = srcBytes == -1 ? std::strlen(src) + 1 : static_cast<size_t>(srcBytes);
  try {
    std::u16string result;
    Status status = Decode(cp, src, n, (flags & MB_ERR_INVALID_CHARS) != 0, result);
    if (status != Status::kOk) {
      SetLastError(ErrorFor(status));
      return 0;
    }
    return Deliver(result, dst, dstChars);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
}

KP_API int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcChars, LPSTR dst,
                                      int dstBytes, LPCSTR defaultChar, LPBOOL usedDefault) {
  if (src == nullptr || srcChars == 0 || srcChars < -1 || dstBytes < 0 || (dst == nullptr && dstBytes != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  UINT cp = Resolve(codePage);
  if (Slot(cp) < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (cp == CP_UTF8) {
    if ((flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
    if (defaultChar != nullptr || usedDefault != nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
  } else if ((flags & ~static_cast<DWORD>(WC_COMPOSITECHECK | WC_DEFAULTCHAR | WC_NO_BEST_FIT_CHARS)) != 0) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  std::string_view fallback = "?";
  if (defaultChar != nullptr) {
    bool twoBytes = cp == 932 && IsLead932(static_cast<unsigned char>(defaultChar[0])) && defaultChar[1] != '\0';
    fallback = std::string_view(defaultChar, twoBytes ? 2 : 1);
  }
  size_t n = 0;
  if (srcChars == -1) {
    while (src[n] != 0) ++n;
    ++n;
  } else {
    n = static_cast<size_t>(srcChars);
  }
  bool used = false;
  try {
    std::string result;
    Status status = Encode(cp, src, n, (flags & WC_ERR_INVALID_CHARS) != 0, fallback, &used, result);
    if (usedDefault != nullptr) *usedDefault = used ? TRUE : FALSE;
    if (status != Status::kOk) {
      SetLastError(ErrorFor(status));
      return 0;
    }
    return Deliver(result, dst, dstBytes);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
}

KP_API BOOL WINAPI IsDBCSLeadByteEx(UINT codePage, BYTE testChar) {
  UINT cp = Resolve(codePage);
  if (Slot(cp) < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return cp == 932 && IsLead932(testChar) ? TRUE : FALSE;
}

KP_API BOOL WINAPI IsDBCSLeadByte(BYTE testChar) { return IsDBCSLeadByteEx(CP_ACP, testChar); }

KP_API BOOL WINAPI IsValidCodePage(UINT codePage) {
  // CP_ACP and CP_OEMCP name no code page of their own.
  Lease lease(Slot(codePage), true);
  return lease.get() != kNoConverter ? TRUE : FALSE;
}

KP_API UINT WINAPI GetACP(void) { return g_acp.load(std::memory_order_relaxed); }

KP_API UINT WINAPI GetOEMCP(void) { return OemFor(g_acp.load(std::memory_order_relaxed)); }

KP_API BOOL KpSetACP(UINT codePage) {
  if (codePage != 1252 && codePage != 932) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  g_acp.store(codePage, std::memory_order_relaxed);
  return TRUE;
}

namespace kp {

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  Encode(CP_UTF8, text.data(), text.size(), false, "?", nullptr, out);
  return out;
}

std::u16string AnsiToUtf16(std::string_view text) {
  std::u16string out;
  Decode(Resolve(CP_ACP), text.data(), text.size(), false, out);
  return out;
}

std::string Utf16ToAnsi(std::u16string_view text) {
  std::string out;
  Encode(Resolve(CP_ACP), text.data(), text.size(), false, "?", nullptr, out);
  return out;
}

}  // namespace kp
