// The TrueType substitution table (see kestrel/core/ttsubst.h). Built in both
// builds; the current table with its default fallback differs between them
// (core/um/ttsubst_um.cpp, core/km/ttsubst_km.cpp), and storing a table and
// the upgrade are user mode only (core/um/ttsubst_um.cpp).
#include "kestrel/core/ttsubst.h"

#include <cstring>

#include "kestrel/core/ddd.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/printerdata.h"

namespace {

constexpr DWORD kStartBytes = 1279;
constexpr DWORD kGrowBytes = 1280;

// A copy of the first `bytes` bytes of a table in a new block.
LPWSTR CopyBlock(const void* from, DWORD bytes) {
  auto* block = static_cast<LPWSTR>(kcore_Alloc(bytes));
  if (block) std::memcpy(block, from, bytes);
  return block;
}

// A growing table being built.
class Builder {
 public:
  ~Builder() { kcore_Free(buffer_); }
  bool Start(DWORD capacity) {
    buffer_ = static_cast<BYTE*>(kcore_Alloc(capacity));
    capacity_ = capacity;
    return buffer_ != nullptr;
  }
  // Appends the strings (each with its NUL); false when out of memory or
  // the table would reach 65536 bytes.
  bool AddPair(LPCWSTR a, DWORD aChars, LPCWSTR b, DWORD bChars) {
    DWORD add = (aChars + 1 + bChars + 1) * 2;
    if (used_ + add + 2 > TTSB_MAX_BYTES) return false;
    while (capacity_ - 2 < used_ + add) {
      BYTE* grown = static_cast<BYTE*>(kcore_Alloc(capacity_ + kGrowBytes));
      if (!grown) return false;
      std::memcpy(grown, buffer_, used_);
      kcore_Free(buffer_);
      buffer_ = grown;
      capacity_ += kGrowBytes;
    }
    Put(a, aChars);
    Put(b, bChars);
    return true;
  }
  // The finished table (the closing NUL is the zero-filled tail).
  LPWSTR Finish() {
    BYTE* done = buffer_;
    buffer_ = nullptr;
    return reinterpret_cast<LPWSTR>(done);
  }

 private:
  void Put(LPCWSTR s, DWORD chars) {
    std::memcpy(buffer_ + used_, s, chars * 2);
    std::memset(buffer_ + used_ + chars * 2, 0, 2);
    used_ += (chars + 1) * 2;
  }
  BYTE* buffer_ = nullptr;
  DWORD capacity_ = 0;
  DWORD used_ = 0;
};

DWORD CharsWithin(LPCWSTR s, DWORD maxChars) {
  DWORD n = 0;
  while (n < maxChars && s[n]) ++n;
  return n;
}

}  // namespace

DWORD ttsb_TableBytes(LPCWSTR table, DWORD bytes) {
  if (!table || bytes < 2 || bytes % 2 != 0 || bytes > TTSB_MAX_BYTES + 1) return 0;
  DWORD chars = bytes / 2;
  DWORD at = 0;
  for (;;) {
    if (at >= chars) return 0;
    if (table[at] == 0) return (at + 1) * 2 <= TTSB_MAX_BYTES ? (at + 1) * 2 : 0;  // the closing empty string
    // A pair: two strings, each terminated within the block.
    for (int s = 0; s < 2; ++s) {
      DWORD n = CharsWithin(table + at, chars - at);
      if (at + n >= chars) return 0;
      if (s == 1 && n == 0) return 0;  // a face without its device font
      at += n + 1;
    }
  }
}

void ttsb_FreeTrueTypeSubstTable(void* table) { kcore_Free(table); }

LPWSTR ttsb_CurrentTrueTypeSubstTableNODEFAULT(HANDLE printer, DWORD) {
  DWORD size = 0;
  if (!zanGetPrinterDataFromRegistry(printer, ZAN_KIND_FONTSUBTABLE, nullptr, &size)) return nullptr;
  if (size < 2 || size > TTSB_MAX_BYTES + 1) return nullptr;
  void* block = kcore_Alloc(size);
  if (!block) return nullptr;
  DWORD read = size;
  LPWSTR table = nullptr;
  if (zanGetPrinterDataFromRegistry(printer, ZAN_KIND_FONTSUBTABLE, block, &read) && read == size) {
    DWORD bytes = ttsb_TableBytes(static_cast<LPCWSTR>(block), size);
    if (bytes != 0) table = CopyBlock(block, bytes);
  }
  kcore_Free(block);
  return table;
}

LPWSTR ttsb_DefaultTrueTypeSubstTable(HCDDD ddd) {
  if (!ddd) return nullptr;
  Builder table;
  if (!table.Start(kStartBytes)) return nullptr;
  for (WORD font = 1;; ++font) {
    void* record = nullptr;
    WORD rc = ddd_GetDataByIndexX(DDD_QUICK, ddd->main, ddd->referenced, DDD_CAT_FONT, font, &record);
    if (rc == DDD_ERR_NOTFOUND) break;
    if (rc != DDD_OK) return nullptr;
    LPWSTR device = nullptr;
    bool ok = ddd_GetNameFromData(record, &device) == DDD_OK && device;
    for (WORD k = 1; ok; ++k) {
      LPCWSTR substitute = nullptr;
      WORD r = ddd_GetSubstFontName(record, k, &substitute);
      if (r == DDD_ERR_NOTFOUND) break;
      ok = r == DDD_OK && substitute &&
           table.AddPair(substitute, kp_WideLength(substitute), device, kp_WideLength(device));
    }
    ddd_FreeMem(device);
    ddd_Free(&record, DDD_KIND_ANY);
    if (!ok) return nullptr;
    if (font == 0xFFFF) return nullptr;
  }
  return table.Finish();
}

LPCWSTR ttsb_FindTrueTypeSubstTable(LPCWSTR table, LPCWSTR trueTypeName) {
  if (!table || !trueTypeName) return nullptr;
  while (*table) {
    LPCWSTR partner = table + kp_WideLength(table) + 1;
    if (kp_WideEqual(table, trueTypeName)) return partner;
    table = partner + kp_WideLength(partner) + 1;
  }
  return nullptr;
}

LPWSTR ttsb_ModifyTrueTypeSubstTable(LPCWSTR table, LPCWSTR trueTypeName, LPCWSTR deviceName) {
  if (!table || !trueTypeName) return nullptr;
  Builder out;
  if (!out.Start(kStartBytes)) return nullptr;
  bool found = false;
  while (*table) {
    DWORD aChars = kp_WideLength(table);
    LPCWSTR partner = table + aChars + 1;
    DWORD bChars = kp_WideLength(partner);
    if (!found && kp_WideEqual(table, trueTypeName)) {
      found = true;
      if (deviceName && !out.AddPair(table, aChars, deviceName, kp_WideLength(deviceName))) return nullptr;
    } else if (!out.AddPair(table, aChars, partner, bChars)) {
      return nullptr;
    }
    table = partner + bChars + 1;
  }
  if (!found && deviceName &&
      !out.AddPair(trueTypeName, kp_WideLength(trueTypeName), deviceName, kp_WideLength(deviceName))) {
    return nullptr;
  }
  return out.Finish();
}
