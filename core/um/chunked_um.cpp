// Chunked printer-data values of the user-mode build (see
// kestrel/core/printerdata.h; the reader is chunked.cpp): the writer and the
// printer-information helpers.
#include <cstring>
#include <vector>

#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/printerdata.h"
#include "kplatform/advapi32_registry.h"
#include "kplatform/winspool.h"
#include "kplatform/winspool_printer.h"

#include "../printerdata/chunked_modes.h"

using namespace chunked_modes;

namespace {

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
