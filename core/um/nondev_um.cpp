// The non-devmode record store (see kestrel/core/nondev.h).

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/nondev.h"

#include <cstring>
#include <string>
#include <vector>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/printerdata.h"
#include "kplatform/kernel32_file.h"
#include "kplatform/kernel32_sync.h"
#include "kplatform/winspool_printer.h"

namespace {

constexpr char16_t kDefaultsDeviceName[] = u"DummyName";
constexpr char16_t kTempPrefix[] = u"ndv";
constexpr DWORD kHeaderBytes = sizeof(NONDEV_HEADER);
constexpr DWORD kGsbHeaderBytes = sizeof(NONDEV_GSB_HEADER);

// A stored tag: exactly the 16 bytes of the name and its NUL (the 8th unit).
bool TagIs(const WCHAR* tag, const char16_t* name) {
  for (int i = 0; i < 8; ++i) {
    if (tag[i] != name[i]) return false;
    if (name[i] == u'\0') return i == 7;
  }
  return false;
}

void PutTag(WCHAR* tag, const char16_t* name) {
  std::memset(tag, 0, 8 * sizeof(WCHAR));
  for (int i = 0; i < 7 && name[i]; ++i) tag[i] = name[i];
}

// Reading position over bytes already in memory.
struct Cursor {
  const BYTE* at;
  DWORD remaining;
  void Skip(DWORD n) {
    at += n;
    remaining -= n;
  }
};

// What the parse hands out before it is given to the caller.
struct Outputs {
  std::vector<BYTE> record = std::vector<BYTE>(NONDEV_RECORD_SIZE);
  void* fax = nullptr;
  void* gsb = nullptr;
  DWORD gsbSize = 0;
  void Free() {
    kcore_Free(fax);
    kcore_Free(gsb);
    fax = nullptr;
    gsb = nullptr;
    gsbSize = 0;
  }
};

void* CopyBlock(const BYTE* bytes, DWORD size) {
  void* block = kcore_Alloc(size);
  if (block) std::memcpy(block, bytes, size);
  return block;
}

// Step 1: the record header and record.
bool local_GetNonDevDat(Cursor& c, NonDevDefaultsFn defaults, void* context, BYTE* record) {
  if (c.remaining < kHeaderBytes) return false;
  NONDEV_HEADER head;
  std::memcpy(&head, c.at, kHeaderBytes);
  if (!TagIs(head.tag, NONDEV_TAG) || head.version > NONDEV_VERSION) return false;
  if (c.remaining - kHeaderBytes < head.size) return false;
  // An older or shorter record is laid over the defaults.
  if (head.version < NONDEV_VERSION || head.size < NONDEV_RECORD_SIZE) {
    if (!defaults || !defaults(context, record)) return false;
  }
  DWORD copy = head.size < NONDEV_RECORD_SIZE ? head.size : NONDEV_RECORD_SIZE;
  std::memcpy(record, c.at + kHeaderBytes, copy);
  c.Skip(kHeaderBytes + head.size);
  record[0] = 0x10;  // member 1793, the structure version: 0x5110
  record[1] = 0x51;
  return true;
}

// Step 2: the security-marking header and block (handed out when wanted).
bool local_GetGSBInfo(Cursor& c, bool wanted, Outputs& out) {
  if (c.remaining < kGsbHeaderBytes) return false;
  NONDEV_GSB_HEADER head;
  std::memcpy(&head, c.at, kGsbHeaderBytes);
  if (!TagIs(head.tag, NONDEV_GSB_TAG)) return false;
  if (c.remaining - kGsbHeaderBytes < head.size) return false;
  if (wanted && head.size > 0) {
    out.gsb = CopyBlock(c.at + kGsbHeaderBytes, head.size);
    if (!out.gsb) return false;
    out.gsbSize = head.size;
  }
  c.Skip(kGsbHeaderBytes + head.size);
  return true;
}

// Step 3: the fax list, which must fill the remaining bytes exactly.
bool local_GetFaxData(Cursor& c, Outputs& out) {
  DWORD size = nonDev_FaxListSize(c.at, c.remaining);
  if (size == 0) return false;
  out.fax = CopyBlock(c.at, size);
  if (!out.fax) return false;
  c.Skip(size);
  return true;
}

// Hands the parse's outputs to the caller (success) or frees and clears
// them (failure); the record buffer is written only on success.
BOOL Finish(bool ok, Outputs& out, void** faxList, void* record, void** gsbInfo, DWORD* gsbInfoSize) {
  if (!ok) {
    out.Free();
  } else {
    std::memcpy(record, out.record.data(), NONDEV_RECORD_SIZE);
  }
  if (faxList) *faxList = out.fax;
  if (gsbInfo) *gsbInfo = out.gsb;
  if (gsbInfoSize) *gsbInfoSize = out.gsbSize;
  return ok ? TRUE : FALSE;
}

BOOL DefaultsOfPrinter(void* context, void* record) {
  return nonDev_SetDefaultData(static_cast<HANDLE>(context), record);
}

// ---- Files ---------------------------------------------------------------------

bool local_WriteFile(HANDLE file, const void* data, DWORD size) {
  if (size == 0) return true;
  DWORD written = 0;
  return WriteFile(file, data, size, &written, nullptr) && written == size;
}

// The whole file into a new vector; *error tells a missing file apart.
bool local_ReadFile(LPCWSTR fileName, std::vector<BYTE>& bytes, DWORD* error) {
  HANDLE file = CreateFileW(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    if (*error == ERROR_PATH_NOT_FOUND) *error = ERROR_FILE_NOT_FOUND;
    return false;
  }
  bool ok = false;
  LARGE_INTEGER size = {};
  *error = ERROR_INVALID_DATA;
  if (GetFileSizeEx(file, &size) && size.QuadPart >= 0 && size.QuadPart <= NONDEV_FILE_MAX) {
    bytes.assign(static_cast<size_t>(size.QuadPart), 0);
    DWORD total = 0;
    ok = true;
    while (ok && total < bytes.size()) {
      DWORD read = 0;
      ok = ReadFile(file, bytes.data() + total, static_cast<DWORD>(bytes.size()) - total, &read, nullptr) &&
           read > 0;
      total += read;
    }
    if (!ok) *error = GetLastError() ? GetLastError() : static_cast<DWORD>(ERROR_READ_FAULT);
  }
  CloseHandle(file);
  if (ok) *error = ERROR_SUCCESS;
  return ok;
}

// Writes the file's bytes to a new temporary file beside it and moves that
// over the old file; the old file is untouched unless the whole new one was
// written.
bool local_SaveDocPropFile(LPCWSTR fileName, const BYTE* record, const void* gsb, DWORD gsbSize, const void* fax,
                           DWORD faxSize) {
  DWORD attributes = GetFileAttributesW(fileName);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;  // the file must already exist
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  WCHAR full[MAX_PATH] = {};
  LPWSTR filePart = nullptr;
  DWORD length = GetFullPathNameW(fileName, MAX_PATH, full, &filePart);
  if (length == 0 || length >= MAX_PATH || !filePart) return false;
  *filePart = u'\0';  // full is now the folder, with its separator
  WCHAR temp[MAX_PATH] = {};
  if (GetTempFileNameW(full, kTempPrefix, 0, temp) == 0) return false;

  bool ok = false;
  HANDLE file = CreateFileW(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    NONDEV_HEADER head = {};
    PutTag(head.tag, NONDEV_TAG);
    head.version = NONDEV_VERSION;
    head.size = NONDEV_RECORD_SIZE;
    NONDEV_GSB_HEADER gsbHead = {};
    PutTag(gsbHead.tag, NONDEV_GSB_TAG);
    gsbHead.size = gsb ? gsbSize : 0;
    ok = local_WriteFile(file, &head, kHeaderBytes) && local_WriteFile(file, record, NONDEV_RECORD_SIZE) &&
         local_WriteFile(file, &gsbHead, kGsbHeaderBytes) && (!gsb || local_WriteFile(file, gsb, gsbSize)) &&
         (!fax || local_WriteFile(file, fax, faxSize)) && FlushFileBuffers(file);
    CloseHandle(file);
  }
  if (ok) ok = MoveFileExW(temp, fileName, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
  if (!ok) {
    DWORD error = GetLastError();
    DeleteFileW(temp);
    SetLastError(error);
  }
  return ok;
}

BOOL local_LoadDocPropFile(LPCWSTR fileName, HANDLE printer, void** faxList, void* record, void** gsbInfo,
                           DWORD* gsbInfoSize, DWORD* error) {
  std::vector<BYTE> bytes;
  if (!local_ReadFile(fileName, bytes, error)) {
    Outputs none;
    return Finish(false, none, faxList, record, gsbInfo, gsbInfoSize);
  }
  BOOL ok = nonDev_ParseDocProp(bytes.data(), static_cast<DWORD>(bytes.size()), DefaultsOfPrinter, printer, faxList,
                                record, gsbInfo, gsbInfoSize);
  *error = ok ? ERROR_SUCCESS : ERROR_INVALID_DATA;
  return ok;
}

// ---- Printer data ---------------------------------------------------------------

bool local_SaveRegistryLocalMachine(HANDLE printer, LPCWSTR base, const void* data, DWORD size) {
  return zanSaveChunkedValue(printer, base, data, size) != FALSE;
}

// The whole chunked value; *error ERROR_FILE_NOT_FOUND when none is stored.
bool local_LoadRegistryLocalMachine(HANDLE printer, LPCWSTR base, std::vector<BYTE>& bytes, DWORD* error) {
  DWORD size = 0;
  if (!zanGetChunkedValueEx(printer, base, nullptr, &size, error)) return false;
  if (size > ZAN_CHUNK_MAX * ZAN_CHUNK_BYTES) {
    *error = ERROR_INVALID_DATA;  // no such value can be read: never allocated
    return false;
  }
  bytes.assign(size, 0);
  DWORD read = size;
  if (!zanGetChunkedValueEx(printer, base, bytes.data(), &read, error)) return false;
  bytes.resize(read);
  return true;
}

bool local_SaveRegData_N_Dev(HANDLE printer, const BYTE* record, const void* fax, DWORD faxSize) {
  std::vector<BYTE> value(kHeaderBytes + NONDEV_RECORD_SIZE + (fax ? faxSize : 0));
  NONDEV_HEADER head = {};
  PutTag(head.tag, NONDEV_TAG);
  head.version = NONDEV_VERSION;
  head.size = NONDEV_RECORD_SIZE;
  std::memcpy(value.data(), &head, kHeaderBytes);
  std::memcpy(value.data() + kHeaderBytes, record, NONDEV_RECORD_SIZE);
  if (fax) std::memcpy(value.data() + kHeaderBytes + NONDEV_RECORD_SIZE, fax, faxSize);
  return local_SaveRegistryLocalMachine(printer, NONDEV_VALUE, value.data(), static_cast<DWORD>(value.size()));
}

bool local_SaveRegData_GSBInfo(HANDLE printer, const void* gsb, DWORD gsbSize) {
  DWORD size = gsb ? gsbSize : 0;
  std::vector<BYTE> value(kGsbHeaderBytes + size);
  NONDEV_GSB_HEADER head = {};
  PutTag(head.tag, NONDEV_GSB_TAG);
  head.size = size;
  std::memcpy(value.data(), &head, kGsbHeaderBytes);
  if (size) std::memcpy(value.data() + kGsbHeaderBytes, gsb, size);
  return local_SaveRegistryLocalMachine(printer, NONDEV_GSB_VALUE, value.data(), static_cast<DWORD>(value.size()));
}

// "N_Dev" then "GSBInfo", as one set (see the header).
bool SavePrinterDataSet(HANDLE printer, const BYTE* record, const void* fax, DWORD faxSize, const void* gsb,
                        DWORD gsbSize) {
  // Values too large for the chunked form are refused before anything is
  // written.
  const unsigned long long limit = ZAN_CHUNK_MAX * ZAN_CHUNK_BYTES;
  if (kHeaderBytes + NONDEV_RECORD_SIZE + static_cast<unsigned long long>(fax ? faxSize : 0) > limit ||
      kGsbHeaderBytes + static_cast<unsigned long long>(gsb ? gsbSize : 0) > limit) {
    return false;
  }
  std::vector<BYTE> old;
  DWORD oldError = ERROR_SUCCESS;
  bool hadOld = local_LoadRegistryLocalMachine(printer, NONDEV_VALUE, old, &oldError);
  if (!local_SaveRegData_N_Dev(printer, record, fax, faxSize)) return false;
  if (local_SaveRegData_GSBInfo(printer, gsb, gsbSize)) return true;
  if (hadOld) {
    local_SaveRegistryLocalMachine(printer, NONDEV_VALUE, old.data(), static_cast<DWORD>(old.size()));
  } else if (oldError == ERROR_FILE_NOT_FOUND) {
    std::u16string sizeName = std::u16string(NONDEV_VALUE) + u"Size";
    DeletePrinterDataW(printer, sizeName.data());
  }
  return false;
}

bool local_LoadRegData_N_Dev(HANDLE printer, bool wantFax, Outputs& out, DWORD* error) {
  std::vector<BYTE> bytes;
  if (!local_LoadRegistryLocalMachine(printer, NONDEV_VALUE, bytes, error)) return false;
  *error = ERROR_INVALID_DATA;
  Cursor c = {bytes.data(), static_cast<DWORD>(bytes.size())};
  if (!local_GetNonDevDat(c, DefaultsOfPrinter, printer, out.record.data())) return false;
  if (wantFax && c.remaining > 0 && !local_GetFaxData(c, out)) return false;
  *error = ERROR_SUCCESS;
  return true;
}

bool local_LoadRegData_GSBInfo(HANDLE printer, bool wanted, Outputs& out, DWORD* error) {
  std::vector<BYTE> bytes;
  if (!local_LoadRegistryLocalMachine(printer, NONDEV_GSB_VALUE, bytes, error)) {
    if (*error != ERROR_FILE_NOT_FOUND) return false;
    *error = ERROR_SUCCESS;  // no block stored: none
    return true;
  }
  Cursor c = {bytes.data(), static_cast<DWORD>(bytes.size())};
  *error = local_GetGSBInfo(c, wanted, out) ? ERROR_SUCCESS : ERROR_INVALID_DATA;
  return *error == ERROR_SUCCESS;
}

}  // namespace

DWORD nonDev_FaxListNeeded(const void* list, DWORD available) {
  if (!list || available < NONDEV_FAX_HEAD_SIZE) return 0;
  const BYTE* bytes = static_cast<const BYTE*>(list);
  WCHAR tag[8];
  std::memcpy(tag, bytes, sizeof(tag));
  if (!TagIs(tag, NONDEV_FAX_TAG)) return 0;
  WORD count = 0;
  std::memcpy(&count, bytes + NONDEV_FAX_COUNT_OFFSET, sizeof(count));
  unsigned long long size =
      NONDEV_FAX_HEAD_SIZE + static_cast<unsigned long long>(NONDEV_FAX_ENTRY_SIZE) * count;
  static_assert(NONDEV_FAX_HEAD_SIZE + NONDEV_FAX_ENTRY_SIZE * 65535ull <= 0xFFFFFFFFull);
  return static_cast<DWORD>(size);
}

DWORD nonDev_FaxListSize(const void* list, DWORD available) {
  DWORD need = nonDev_FaxListNeeded(list, available);
  return need != 0 && need == available ? available : 0;
}

BOOL nonDev_ParseDocProp(const void* bytes, DWORD size, NonDevDefaultsFn defaults, void* context, void** faxList,
                         void* record, void** gsbInfo, DWORD* gsbInfoSize) {
  Outputs out;
  bool ok = bytes && record && !(gsbInfo && !gsbInfoSize);
  if (ok) {
    Cursor c = {static_cast<const BYTE*>(bytes), size};
    ok = local_GetNonDevDat(c, defaults, context, out.record.data()) && local_GetGSBInfo(c, gsbInfo != nullptr, out) &&
         (!faxList || c.remaining == 0 || local_GetFaxData(c, out));
  }
  return Finish(ok, out, faxList, record, gsbInfo, gsbInfoSize);
}

BOOL nonDev_SaveNonDevDat(HANDLE printer, HCDDD, LPCWSTR fileName, DWORD location, const void* faxList,
                          DWORD faxListSize, const void* record, const void* gsbInfo, DWORD gsbInfoSize) {
  if (!record) return FALSE;
  if (faxList && (faxListSize == 0 || nonDev_FaxListSize(faxList, faxListSize) != faxListSize)) return FALSE;
  if (gsbInfo && gsbInfoSize == 0) return FALSE;
  const BYTE* bytes = static_cast<const BYTE*>(record);
  if (fileName) return local_SaveDocPropFile(fileName, bytes, gsbInfo, gsbInfoSize, faxList, faxListSize);
  if (!printer || location != NONDEV_LOCATION_PRINTERDATA) return FALSE;
  return SavePrinterDataSet(printer, bytes, faxList, faxListSize, gsbInfo, gsbInfoSize);
}

BOOL nonDev_LoadNonDevDatEx(HANDLE printer, HCDDD, LPCWSTR fileName, DWORD location, void** faxList, void* record,
                            void** gsbInfo, DWORD* gsbInfoSize, DWORD* error) {
  DWORD dummy = 0;
  if (!error) error = &dummy;
  *error = ERROR_INVALID_PARAMETER;
  Outputs out;
  if (!record || (gsbInfo && !gsbInfoSize) || (!fileName && (!printer || location != NONDEV_LOCATION_PRINTERDATA))) {
    return Finish(false, out, faxList, record, gsbInfo, gsbInfoSize);
  }
  if (fileName) return local_LoadDocPropFile(fileName, printer, faxList, record, gsbInfo, gsbInfoSize, error);
  bool ok = local_LoadRegData_N_Dev(printer, faxList != nullptr, out, error) &&
            local_LoadRegData_GSBInfo(printer, gsbInfo != nullptr, out, error);
  return Finish(ok, out, faxList, record, gsbInfo, gsbInfoSize);
}

BOOL nonDev_LoadNonDevDat(HANDLE printer, HCDDD userContext, LPCWSTR fileName, DWORD location, void** faxList,
                          void* record, void** gsbInfo, DWORD* gsbInfoSize) {
  return nonDev_LoadNonDevDatEx(printer, userContext, fileName, location, faxList, record, gsbInfo, gsbInfoSize,
                                nullptr);
}

BOOL nonDev_SetDefaultData(HANDLE printer, void* record) {
  if (!printer || !record) return FALSE;
  HCDDD ddd = cddd_Open(printer);
  if (!ddd) return FALSE;
  BOOL ok = FALSE;
  if (BYTE* devmode = static_cast<BYTE*>(kcore_Alloc(NRV_DEVMODE_SIZE_FULL))) {
    if (cdm_SetDefaultDevmode(ddd, devmode, nullptr, kDefaultsDeviceName) == 1) {
      std::memcpy(record, devmode + NRV_NONDEVMODE_OFFSET, NONDEV_RECORD_SIZE);
      ok = TRUE;
    }
    kcore_Free(devmode);
  }
  cddd_Close(ddd);
  return ok;
}

BOOL nonDev_LoadFaxData_v1(HANDLE printer, void** list, DWORD* size) {
  if (!printer || !list || !size) return FALSE;
  *list = nullptr;
  *size = 0;
  std::vector<BYTE> bytes;
  DWORD error = ERROR_SUCCESS;
  if (!local_LoadRegistryLocalMachine(printer, NONDEV_FAX_VALUE, bytes, &error)) return FALSE;
  DWORD listSize = nonDev_FaxListSize(bytes.data(), static_cast<DWORD>(bytes.size()));
  if (listSize == 0) return FALSE;
  void* block = CopyBlock(bytes.data(), listSize);
  if (!block) return FALSE;
  *list = block;
  *size = listSize;
  return TRUE;
}
