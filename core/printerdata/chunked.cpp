// Chunked printer-data values (see kestrel/core/printerdata.h): the reader.
//
// The reader is one piece of code in both builds: every value is read
// through the build's getter (the spooler's GetPrinterDataW in user mode, the
// graphics engine's EngGetPrinterData in kernel mode; both answer alike), so
// the checks on stored sizes and chunks are the same for the renderer. The
// writer and the printer-information helpers are user mode only
// (core/um/chunked_um.cpp).
#include <cstring>

#include "kestrel/core/printerdata.h"
#if defined(KESTREL_KERNEL_MODE)
#include "kplatform/engine.h"
#else
#include "kplatform/winspool_printer.h"
#endif

#include "chunked_modes.h"

using namespace chunked_modes;

namespace {

// The one getter every read goes through.
typedef DWORD(WINAPI* PrinterDataGetter)(HANDLE printer, LPWSTR name, LPDWORD type, LPBYTE data, DWORD size,
                                         LPDWORD needed);
#if defined(KESTREL_KERNEL_MODE)
constexpr PrinterDataGetter kGet = EngGetPrinterData;
#else
constexpr PrinterDataGetter kGet = GetPrinterDataW;
#endif

}  // namespace

namespace chunked_modes {

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

}  // namespace chunked_modes

LPCWSTR zanChunkBaseName(WORD kind) { return kind < kKinds ? kBaseNames[kind] : nullptr; }

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
