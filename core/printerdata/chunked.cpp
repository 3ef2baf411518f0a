// Chunked printer-data values (see kestrel/printerdata.h).
#if defined(KESTREL_USER_MODE)

#include <cstring>
#include <vector>

#include "kestrel/kcore_sys.h"
#include "kestrel/printerdata.h"
#include "kplatform/kernel_registry.h"
#include "kplatform/winspool.h"
#include "kplatform/winspool_printer.h"

namespace {

const char16_t* const kBaseNames[] = {u"FontSubTable", u"SysTTFontList", u"PrinterData", u"UserSettingInfo",
                                      u"PaperMarginArray"};
constexpr WORD kKinds = 5;

// "<base>Size" or "<base><n>" in a buffer of the base's length + 5 characters.
class ValueName {
 public:
  explicit ValueName(WORD kind) : base_(kBaseNames[kind]), buffer_(kcore_WideLength(base_) + 5, u'\0') {}
  LPWSTR Size() {
    Put(u"Size");
    return buffer_.data();
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
    return buffer_.data();
  }

 private:
  void Put(const char16_t* suffix) {
    DWORD at = kcore_WideLength(base_);
    std::memcpy(buffer_.data(), base_, at * sizeof(char16_t));
    for (DWORD i = 0; suffix[i]; ++i) buffer_[at++] = suffix[i];
    buffer_[at] = u'\0';
  }
  LPCWSTR base_;
  std::vector<char16_t> buffer_;
};

// Counted in 64 bits: a stored size near 4 GiB must not wrap to a few chunks.
DWORD ChunkCount(DWORD size) {
  return static_cast<DWORD>((static_cast<unsigned long long>(size) + ZAN_CHUNK_BYTES - 1) / ZAN_CHUNK_BYTES);
}

DWORD ChunkBytes(DWORD size, DWORD n) {  // n from 1
  DWORD before = (n - 1) * ZAN_CHUNK_BYTES;
  DWORD rest = size - before;
  return rest < ZAN_CHUNK_BYTES ? rest : ZAN_CHUNK_BYTES;
}

// Reads the stored size: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND (missing or 0)
// or a failure code.
DWORD ReadSize(HANDLE printer, ValueName& name, DWORD* size) {
  DWORD value = 0;
  DWORD needed = 0;
  DWORD type = 0;
  DWORD rc = GetPrinterDataW(printer, name.Size(), &type, reinterpret_cast<LPBYTE>(&value), sizeof(value), &needed);
  if (rc == ERROR_FILE_NOT_FOUND) return rc;
  if (rc != ERROR_SUCCESS) return rc;
  if (needed != sizeof(value)) return ERROR_INVALID_DATA;
  if (value == 0) return ERROR_FILE_NOT_FOUND;
  *size = value;
  return ERROR_SUCCESS;
}

// Reads the chunks of a value of `size` bytes; *read counts the bytes read.
DWORD ReadChunks(HANDLE printer, ValueName& name, BYTE* buffer, DWORD size, DWORD* read) {
  DWORD n = ChunkCount(size);
  *read = 0;
  for (DWORD i = 1; i <= n; ++i) {
    DWORD bytes = ChunkBytes(size, i);
    DWORD needed = 0;
    DWORD rc = GetPrinterDataW(printer, name.Chunk(i), nullptr, buffer + *read, bytes, &needed);
    if (rc == ERROR_SUCCESS && needed != bytes) rc = ERROR_INVALID_DATA;  // a short chunk
    if (rc == ERROR_MORE_DATA) rc = ERROR_INVALID_DATA;                   // a long chunk
    if (rc != ERROR_SUCCESS) return rc == ERROR_FILE_NOT_FOUND ? ERROR_INVALID_DATA : rc;
    *read += bytes;
  }
  return ERROR_SUCCESS;
}

// What was stored before a write.
enum class Old { kNone, kReadable, kBroken };

// Puts chunks 1..written back as they were before a failed write; false
// when that is not possible.
bool Restore(HANDLE printer, ValueName& name, const std::vector<BYTE>& old, Old state, DWORD written) {
  if (state == Old::kBroken) return false;  // nothing readable to go back to
  DWORD oldN = state == Old::kReadable ? ChunkCount(static_cast<DWORD>(old.size())) : 0;
  bool ok = true;
  for (DWORD i = 1; i <= written; ++i) {
    if (i <= oldN) {
      DWORD bytes = ChunkBytes(static_cast<DWORD>(old.size()), i);
      BYTE* at = const_cast<BYTE*>(old.data()) + (i - 1) * ZAN_CHUNK_BYTES;
      if (SetPrinterDataW(printer, name.Chunk(i), REG_BINARY, at, bytes) != ERROR_SUCCESS) ok = false;
    } else {
      DWORD rc = DeletePrinterDataW(printer, name.Chunk(i));
      if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) ok = false;
    }
  }
  return ok;
}

}  // namespace

LPCWSTR zanChunkBaseName(WORD kind) { return kind < kKinds ? kBaseNames[kind] : nullptr; }

BOOL zanSavePrinterDataToRegistry(HANDLE printer, const void* data, DWORD size, WORD kind, DWORD) {
  if (kind >= kKinds || !printer || !data || size == 0) return FALSE;
  DWORD n = ChunkCount(size);
  if (n > ZAN_CHUNK_MAX) return FALSE;
  ValueName name(kind);

  // The value as stored now, to put back should the write fail part-way.
  // When not even its size can be read (other than "not stored"), nothing
  // is written: a failure then could not be undone.
  std::vector<BYTE> old;
  Old state = Old::kNone;
  DWORD oldSize = 0;
  DWORD rc = ReadSize(printer, name, &oldSize);
  if (rc == ERROR_SUCCESS) {
    state = Old::kBroken;
    if (ChunkCount(oldSize) <= ZAN_CHUNK_MAX) {
      old.resize(oldSize);
      DWORD read = 0;
      if (ReadChunks(printer, name, old.data(), oldSize, &read) == ERROR_SUCCESS) state = Old::kReadable;
    }
  } else if (rc == ERROR_INVALID_DATA) {
    state = Old::kBroken;
  } else if (rc != ERROR_FILE_NOT_FOUND) {
    return FALSE;
  }

  const BYTE* bytes = static_cast<const BYTE*>(data);
  DWORD written = 0;
  bool ok = true;
  for (DWORD i = 1; i <= n && ok; ++i) {
    BYTE* at = const_cast<BYTE*>(bytes) + (i - 1) * ZAN_CHUNK_BYTES;
    ok = SetPrinterDataW(printer, name.Chunk(i), REG_BINARY, at, ChunkBytes(size, i)) == ERROR_SUCCESS;
    if (ok) written = i;
  }
  if (ok) {
    DWORD value = size;
    ok = SetPrinterDataW(printer, name.Size(), REG_DWORD, reinterpret_cast<LPBYTE>(&value), sizeof(value)) ==
         ERROR_SUCCESS;
  }
  if (ok) return TRUE;

  // The size value is still the old one (or missing): bring the chunks back,
  // or else take the size value away so that no mix is ever read.
  if (!Restore(printer, name, old, state, written)) DeletePrinterDataW(printer, name.Size());
  return FALSE;
}

BOOL zanGetPrinterDataFromRegistryEx(HANDLE printer, WORD kind, void* buffer, DWORD* size, DWORD* error) {
  DWORD dummy = 0;
  if (!error) error = &dummy;
  *error = ERROR_INVALID_PARAMETER;
  if (kind >= kKinds || !printer || !size) return FALSE;
  ValueName name(kind);
  DWORD stored = 0;
  *error = ReadSize(printer, name, &stored);
  if (*error != ERROR_SUCCESS) return FALSE;
  if (!buffer) {
    *size = stored;
    return TRUE;
  }
  if (stored > *size) {
    *size = 0;
    *error = ERROR_INSUFFICIENT_BUFFER;
    return FALSE;
  }
  if (ChunkCount(stored) > ZAN_CHUNK_MAX) {
    *size = 0;
    *error = ERROR_INVALID_DATA;
    return FALSE;
  }
  DWORD read = 0;
  *error = ReadChunks(printer, name, static_cast<BYTE*>(buffer), stored, &read);
  *size = read;
  return *error == ERROR_SUCCESS;
}

BOOL zanGetPrinterDataFromRegistry(HANDLE printer, WORD kind, void* buffer, DWORD* size) {
  return zanGetPrinterDataFromRegistryEx(printer, kind, buffer, size, nullptr);
}

void* MyGetPrinter(HANDLE printer, DWORD level) {
  DWORD needed = 0;
  GetPrinterW(printer, level, nullptr, 0, &needed);
  if (needed == 0) return nullptr;
  void* block = kcore_Alloc(needed);
  if (!block) return nullptr;
  if (!GetPrinterW(printer, level, static_cast<LPBYTE>(block), needed, &needed)) {
    kcore_Free(block);
    return nullptr;
  }
  return block;
}

void* MyGetPrinterDriver(HANDLE printer, DWORD level) {
  DWORD needed = 0;
  GetPrinterDriverW(printer, nullptr, level, nullptr, 0, &needed);
  if (needed == 0) return nullptr;
  void* block = kcore_Alloc(needed);
  if (!block) return nullptr;
  if (!GetPrinterDriverW(printer, nullptr, level, static_cast<LPBYTE>(block), needed, &needed)) {
    kcore_Free(block);
    return nullptr;
  }
  return block;
}

#endif  // KESTREL_USER_MODE
