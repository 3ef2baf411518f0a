// Chunked printer-data values (see kestrel/core/printerdata.h).
//
// The reader is one piece of code in both builds: every value is read
// through the build's getter (the spooler's GetPrinterDataW in user mode, the
// graphics engine's EngGetPrinterData in kernel mode; both answer alike), so
// the checks on stored sizes and chunks are the same for the renderer. The
// writer and the printer-information helpers are user mode only.
#include <cstring>

#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/printerdata.h"
#if defined(KESTREL_KERNEL_MODE)
#include "kplatform/engine.h"
#else
#include <vector>

#include "kplatform/advapi32_registry.h"
#include "kplatform/winspool.h"
#include "kplatform/winspool_printer.h"
#endif

namespace {

const char16_t* const kBaseNames[] = {u"FontSubTable", u"SysTTFontList", u"PrinterData", u"UserSettingInfo",
                                      u"PaperMarginArray"};
constexpr WORD kKinds = 5;

// The one getter every read goes through.
typedef DWORD(WINAPI* PrinterDataGetter)(HANDLE printer, LPWSTR name, LPDWORD type, LPBYTE data, DWORD size,
                                         LPDWORD needed);
#if defined(KESTREL_KERNEL_MODE)
constexpr PrinterDataGetter kGet = EngGetPrinterData;
#else
constexpr PrinterDataGetter kGet = GetPrinterDataW;
#endif

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
  DWORD rc = kGet(printer, name.Size(), &type, reinterpret_cast<LPBYTE>(&value), sizeof(value), &needed);
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
    DWORD rc = kGet(printer, name.Chunk(i), nullptr, buffer + *read, bytes, &needed);
    if (rc == ERROR_SUCCESS && needed != bytes) rc = ERROR_INVALID_DATA;  // a short chunk
    if (rc == ERROR_MORE_DATA) rc = ERROR_INVALID_DATA;                   // a long chunk
    if (rc != ERROR_SUCCESS) return rc == ERROR_FILE_NOT_FOUND ? ERROR_INVALID_DATA : rc;
    *read += bytes;
  }
  return ERROR_SUCCESS;
}

#if !defined(KESTREL_KERNEL_MODE)
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
#endif  // !KESTREL_KERNEL_MODE

}  // namespace

LPCWSTR zanChunkBaseName(WORD kind) { return kind < kKinds ? kBaseNames[kind] : nullptr; }

#if !defined(KESTREL_KERNEL_MODE)
BOOL zanSavePrinterDataToRegistry(HANDLE printer, const void* data, DWORD size, WORD kind, DWORD) {
  if (kind >= kKinds) return FALSE;
  return zanSaveChunkedValue(printer, kBaseNames[kind], data, size);
}

BOOL zanSaveChunkedValue(HANDLE printer, LPCWSTR baseName, const void* data, DWORD size) {
  if (!baseName || !baseName[0] || !printer || !data || size == 0) return FALSE;
  DWORD n = ChunkCount(size);
  if (n > ZAN_CHUNK_MAX) return FALSE;
  ValueName name(baseName);
  if (!name.ok()) return FALSE;

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
#endif  // !KESTREL_KERNEL_MODE

BOOL zanGetPrinterDataFromRegistryEx(HANDLE printer, WORD kind, void* buffer, DWORD* size, DWORD* error) {
  if (kind >= kKinds) {
    if (error) *error = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  return zanGetChunkedValueEx(printer, kBaseNames[kind], buffer, size, error);
}

BOOL zanGetChunkedValueEx(HANDLE printer, LPCWSTR baseName, void* buffer, DWORD* size, DWORD* error) {
  DWORD dummy = 0;
  if (!error) error = &dummy;
  *error = ERROR_INVALID_PARAMETER;
  if (!baseName || !baseName[0] || !printer || !size) return FALSE;
  ValueName name(baseName);
  if (!name.ok()) return FALSE;
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

#if !defined(KESTREL_KERNEL_MODE)
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

#endif  // !KESTREL_KERNEL_MODE
