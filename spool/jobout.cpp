// The job output: the job data record with its 2048-byte spool buffer, the
// Win32 layer (drvio_*) beneath it, the context-level operations
// (jobOutput_*) above it, and form registration (157/158).
//
// Every byte that is not written is a failure: a short WritePrinter piece,
// the last one included, fails the write; a file write retried after the
// box writes only what is left; a retry answered OK again and again ends as
// soon as the job is aborted.
#include <cstring>

#include "kestrel/core/cil_color.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/logout.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/spool/umpd.h"
#include "kplatform/wide_text.h"
#include "printer_calls.h"
#include "seams.h"

namespace {


bool JobAborted(const jobData* record) {
  return record->status != nullptr && (record->status->load() & UMPD_STATUS_ABORTED) != 0;
}

// The retry box of a failed file write: TRUE when the user answered OK and
// the job is still going.
BOOL AskRetry(jobData* record) {
  if (JobAborted(record)) return FALSE;
  WCHAR* caption = static_cast<WCHAR*>(GlobalAlloc(GPTR, (JOBDATA_CAPTION_CHARS + 1) * sizeof(WCHAR)));
  WCHAR* text = static_cast<WCHAR*>(GlobalAlloc(GPTR, (JOBDATA_TEXT_CHARS + 1) * sizeof(WCHAR)));
  BOOL retry = FALSE;
  if (caption != nullptr && text != nullptr) {
    if (record->resource != nullptr) {
      LoadStringW(record->resource, JOBDATA_STR_CAPTION, caption, JOBDATA_CAPTION_CHARS + 1);
      if (record->writeErrorTextId != 0) {
        LoadStringW(record->resource, record->writeErrorTextId, text, JOBDATA_TEXT_CHARS + 1);
      }
    }
    retry = MessageBoxW(nullptr, text, caption, MB_OKCANCEL | MB_ICONINFORMATION | MB_SETFOREGROUND) == IDOK;
  }
  if (caption != nullptr) GlobalFree(caption);
  if (text != nullptr) GlobalFree(text);
  return retry && !JobAborted(record);
}

// Writes all of bytes to the output file, asking again for what is left
// after a short or failed write.
bool WriteFileAll(jobData* record, const BYTE* bytes, DWORD count) {
  DWORD done = 0;
  while (done < count) {
    DWORD n = 0;
    drvio_file_write(record->outFile, bytes + done, count - done, &n);
    if (n > count - done) n = count - done;
    done += n;
    if (done < count && !AskRetry(record)) return false;
  }
  return true;
}

bool IsSeparator(WCHAR c) { return c == u'\\' || c == u'/' || c == 0x00A5; }

}  // namespace

// ---- drvio: files ------------------------------------------------------------------------

HANDLE drvio_file_open(LPCWSTR path, DWORD mode) {
  if (path == nullptr) return INVALID_HANDLE_VALUE;
  const DWORD access = (mode & DRVIO_READ_ONLY) ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE);
  const DWORD disposition = (mode & DRVIO_CREATE_ALWAYS) ? CREATE_ALWAYS : OPEN_ALWAYS;
  return CreateFileW(path, access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

BOOL drvio_file_close(HANDLE file) { return file != INVALID_HANDLE_VALUE && CloseHandle(file); }

BOOL drvio_file_read(HANDLE file, void* buffer, DWORD count, DWORD* done) {
  if (done != nullptr) *done = 0;
  if (file == INVALID_HANDLE_VALUE || buffer == nullptr) return FALSE;
  if (count == 0) return TRUE;
  DWORD n = 0;
  const BOOL ok = ReadFile(file, buffer, count, &n, nullptr);
  if (done != nullptr) *done = ok ? n : 0;
  return ok;
}

BOOL drvio_file_write(HANDLE file, const void* buffer, DWORD count, DWORD* done) {
  if (done != nullptr) *done = 0;
  if (file == INVALID_HANDLE_VALUE || buffer == nullptr) return FALSE;
  if (count == 0) return TRUE;
  DWORD n = 0;
  const BOOL ok = WriteFile(file, buffer, count, &n, nullptr);
  if (done != nullptr) *done = ok ? n : 0;
  return ok;
}

LONG drvio_file_seekSet(HANDLE file, LONG offset) {
  const DWORD at = SetFilePointer(file, offset, nullptr, FILE_BEGIN);
  return at == INVALID_SET_FILE_POINTER ? -1 : static_cast<LONG>(at);
}

LONG drvio_file_seekLast(HANDLE file, LONG offset) {
  const DWORD at = SetFilePointer(file, offset, nullptr, FILE_END);
  return at == INVALID_SET_FILE_POINTER ? -1 : static_cast<LONG>(at);
}

// ---- drvio: the printer ------------------------------------------------------------------

HANDLE drvio_printer_open(HANDLE printer, void*, void*, void*) { return printer; }

BOOL drvio_printer_close(HANDLE printer, int) { return printer != nullptr; }

HANDLE drvio_printer_force_open(HANDLE printer, void*, LPCWSTR documentName, void*) {
  if (printer == nullptr) return nullptr;
  DWORD needed = 0;
  GetPrinterW(printer, 1, nullptr, 0, &needed);
  BYTE* info = needed != 0 ? static_cast<BYTE*>(GlobalAlloc(GPTR, needed)) : nullptr;
  if (info == nullptr) return printer;  // output goes on in the current job
  HANDLE second = nullptr;
  if (GetPrinterW(printer, 1, info, needed, &needed)) {
    PRINTER_INFO_1W pi;
    std::memcpy(&pi, info, sizeof(pi));
    if (OpenPrinterW(pi.pName, &second, nullptr)) {
      WCHAR datatype[] = u"RAW";
      DOC_INFO_1W doc{const_cast<LPWSTR>(documentName), nullptr, datatype};
      // The second job is output only when it really started.
      if (StartDocPrinterW(second, 1, reinterpret_cast<LPBYTE>(&doc)) == 0) {
        ClosePrinter(second);
        second = nullptr;
      } else if (!StartPagePrinter(second)) {
        EndDocPrinter(second);
        ClosePrinter(second);
        second = nullptr;
      }
    } else {
      second = nullptr;
    }
  }
  GlobalFree(info);
  return second;
}

BOOL drvio_printer_force_close(HANDLE printer, int) {
  if (printer == nullptr) return FALSE;
  const BOOL page = EndPagePrinter(printer);
  const BOOL doc = EndDocPrinter(printer);
  const BOOL closed = ClosePrinter(printer);
  return page && doc && closed;
}

BOOL drvio_printer_write(HANDLE printer, const void* buffer, DWORD count, DWORD* done) {
  if (done != nullptr) *done = 0;
  if (printer == nullptr || buffer == nullptr) return count == 0 && printer != nullptr;
  if (count == 0) return TRUE;
  const BYTE* at = static_cast<const BYTE*>(buffer);
  DWORD total = 0;
  while (count - total > 0) {
    const DWORD piece = count - total > DRVIO_PRINTER_PIECE ? DRVIO_PRINTER_PIECE : count - total;
    DWORD n = 0;
    // A piece written short, the last one too, is a failure: a lost byte
    // fails the job.
    if (!WritePrinter(printer, const_cast<BYTE*>(at + total), piece, &n) || n != piece) return FALSE;
    total += n;
  }
  if (done != nullptr) *done = total;
  return TRUE;
}

// ---- the job data record ----------------------------------------------------------------------

jobData* jobData_enable(HINSTANCE resource) {
  jobData* record = static_cast<jobData*>(GlobalAlloc(GPTR, sizeof(jobData)));
  if (record == nullptr) return nullptr;
  record->direction = JOBDATA_CLOSED;
  record->outFile = INVALID_HANDLE_VALUE;
  record->writeErrorTextId = 0;
  record->resource = resource;
  if (jobData_page_enable(record) != 0) {
    GlobalFree(record);
    return nullptr;
  }
  return record;
}

int jobData_disable(jobData* record) {
  if (record == nullptr) return -1;
  if (jobData_isOpened(record)) jobData_close(record, 0);
  // The page store's file goes with the record, stored pages or not.
  const int result = jobData_page_disable(record);
  GlobalFree(record);
  return result;
}

int jobData_open(jobData* record, HANDLE printer, void*, void*, void*) {
  if (record == nullptr) return -1;
  // Files left behind by earlier jobs go now; a file of this record still
  // open is closed and deleted first.
  tempFile_init(&record->pageFile, 1, record->resource);
  record->printer = drvio_printer_open(printer, nullptr, nullptr, nullptr);
  if (record->printer == nullptr) {
    record->direction = JOBDATA_CLOSED;
    return -1;
  }
  record->buffered = 0;
  record->direction = JOBDATA_PRINTER;
  return 0;
}

int jobData_close(jobData* record, int flag) {
  if (record == nullptr) return -1;
  int result = 0;
  if (record->direction == JOBDATA_FILE && jobData_closeOutfile(record, nullptr) != 0) result = -1;
  if (_jobData_spool_flush(record) != 0) result = -1;
  if (!drvio_printer_close(record->printer, flag)) return -1;
  record->printer = nullptr;
  record->direction = JOBDATA_CLOSED;
  return result;
}

int jobData_openPrinter(jobData* record, HANDLE printer, void*, LPCWSTR documentName, void*) {
  if (record == nullptr) return -1;
  record->printer = drvio_printer_force_open(printer, nullptr, documentName, nullptr);
  if (record->printer == nullptr) {
    record->direction = JOBDATA_CLOSED;
    return -1;
  }
  record->buffered = 0;
  record->direction = JOBDATA_PRINTER;
  return 0;
}

int jobData_closePrinter(jobData* record, int flag) {
  if (record == nullptr) return -1;
  const int flushed = _jobData_spool_flush(record);
  if (!drvio_printer_force_close(record->printer, flag)) return -1;
  record->printer = nullptr;
  record->direction = JOBDATA_CLOSED;
  return flushed;
}

int jobData_openOutfile(jobData* record, LPCWSTR path, DWORD* size, DWORD mode) {
  if (record == nullptr) return -1;
  HANDLE file = drvio_file_open(path, mode);
  if (file != INVALID_HANDLE_VALUE) {
    const LONG end = drvio_file_seekLast(file, 0);
    if (end < 0) {
      drvio_file_close(file);
      file = INVALID_HANDLE_VALUE;
    } else if (size != nullptr) {
      *size = static_cast<DWORD>(end);
    }
  }
  record->outFile = file;
  if (file == INVALID_HANDLE_VALUE) return -1;
  record->direction = JOBDATA_FILE;
  return 0;
}

int jobData_closeOutfile(jobData* record, DWORD* size) {
  if (record == nullptr) return -1;
  int result = _jobData_spool_flush(record);
  const LONG end = drvio_file_seekLast(record->outFile, 0);
  if (end < 0) result = -1;
  else if (size != nullptr) *size = static_cast<DWORD>(end);
  record->direction = JOBDATA_PRINTER;
  const BOOL closed = drvio_file_close(record->outFile);
  record->outFile = INVALID_HANDLE_VALUE;
  return closed ? result : -1;
}

int jobData_startOutputPrinterAndFile(jobData* record, LPCWSTR path) {
  if (record == nullptr || record->direction != JOBDATA_PRINTER) return -1;
  if (_jobData_spool_flush(record) != 0) return -1;
  return jobData_openOutfile(record, path, nullptr, DRVIO_CREATE_ALWAYS);
}

int jobData_finishOutputPrinterAndFile(jobData* record) {
  if (record == nullptr) return -1;
  const int flushed = _jobData_spool_flush(record);
  record->direction = JOBDATA_PRINTER;
  const int closed = record->outFile != INVALID_HANDLE_VALUE ? jobData_closeOutfile(record, nullptr) : 0;
  return flushed | closed;
}

BOOL jobData_isOpened(const jobData* record) { return record != nullptr && record->printer != nullptr; }

int _jobData_spool_setDirection(jobData* record, int16_t direction) {
  if (record == nullptr || record->direction < 0 || record->direction > 5) return -1;
  const int flushed = record->buffered != 0 ? _jobData_spool_flush(record) : 0;
  record->direction = direction;
  return flushed;
}

int _jobData_spool_flush(jobData* record) {
  if (record == nullptr) return -1;
  if (record->buffered == 0) return 0;
  const DWORD n = record->buffered;
  record->buffered = 0;  // whatever the outcome
  switch (record->direction) {
    case JOBDATA_PRINTER: {
      DWORD done = 0;
      return drvio_printer_write(record->printer, record->buffer, n, &done) && done == n ? 0 : -1;
    }
    case JOBDATA_FILE: return WriteFileAll(record, record->buffer, n) ? 0 : -1;
    case JOBDATA_PAGESTORE: return jobData_page_writeStream(record, record->buffer, n);
    default: return -1;
  }
}

int32_t jobData_spool_write(jobData* record, DWORD count, const void* data) {
  if (record == nullptr || record->direction == JOBDATA_CLOSED) return -1;
  if (count == 0) return 0;
  if (data == nullptr) return -1;
  if (static_cast<uint64_t>(record->buffered) + count <= JOBDATA_BUFFER_SIZE) {
    std::memcpy(record->buffer + record->buffered, data, count);
    record->buffered += count;
    return static_cast<int32_t>(count);
  }
  // A write that does not fit goes out directly after the buffer.
  const int flushed = _jobData_spool_flush(record);
  bool written = false;
  switch (record->direction) {
    case JOBDATA_PRINTER: {
      DWORD done = 0;
      written = drvio_printer_write(record->printer, data, count, &done) && done == count;
      break;
    }
    case JOBDATA_FILE: written = WriteFileAll(record, static_cast<const BYTE*>(data), count); break;
    case JOBDATA_PAGESTORE: written = jobData_page_writeStream(record, data, count) == 0; break;
    default: written = false; break;
  }
  return flushed == 0 && written ? static_cast<int32_t>(count) : -1;
}

// ---- context level ---------------------------------------------------------------------------------

int jobOutput_enable(UmpdJobContext* ctx) {
  if (ctx == nullptr) return -1;
  ctx->pageCtrl.pageStore = 0;
  if (ctx->jobDataRecord != nullptr) return 0;  // already enabled
  ctx->jobDataRecord = jobData_enable(resource_get_hInstance());
  if (ctx->jobDataRecord == nullptr) return -1;
  ctx->jobDataRecord->status = &ctx->status;
  return 0;
}

int jobOutput_disable(UmpdJobContext* ctx) {
  if (ctx == nullptr) return -1;
  ctx->pageCtrl.pageStore = 0;
  jobData_disable(ctx->jobDataRecord);
  ctx->jobDataRecord = nullptr;
  return 0;
}

int jobOutput_open(UmpdJobContext* ctx, HANDLE printer, LPCWSTR) {
  if (ctx == nullptr || ctx->jobDataRecord == nullptr) return -1;
  ctx->pageCtrl.flags |= PAGECTRL_OUTPUT_OPEN;
  ctx->pageCtrl.pageStore = 0;
  FEWCOLORINFO none{};
  fewColor_init(&none, 0, 0, FEWCOLOR_MODE_NO_WHITE);
  pageCtrl_setFewColor(ctx, &none);
  return jobData_open(ctx->jobDataRecord, printer, nullptr, nullptr, nullptr);
}

int jobOutput_close(UmpdJobContext* ctx, int flag) {
  if (ctx == nullptr) return -1;
  int result = 0;
  if (ctx->jobDataRecord != nullptr && jobData_isOpened(ctx->jobDataRecord)) {
    result = jobData_close(ctx->jobDataRecord, flag);
  }
  ctx->pageCtrl.flags &= ~PAGECTRL_OUTPUT_OPEN;
  faxctrl_DeleteAddressInfo(ctx);
  return result;
}

int jobOutput_isOpened(UmpdJobContext* ctx) {
  if (ctx == nullptr) return -1;
  return ctx->jobDataRecord != nullptr && jobData_isOpened(ctx->jobDataRecord) ? 1 : 0;
}

int jobOutput_spool_write(UmpdJobContext* ctx, DWORD count, const void* data) {
  if (ctx == nullptr || (ctx->pageCtrl.flags & PAGECTRL_OUTPUT_OPEN) == 0) return -1;
  return jobData_spool_write(ctx->jobDataRecord, count, data) >= 0 ? 0 : -1;
}

int jobOutput_openPrinter(UmpdJobContext* ctx, HANDLE printer, void*, LPCWSTR documentName, void*) {
  if (ctx == nullptr) return -1;
  return jobData_openPrinter(ctx->jobDataRecord, printer, nullptr, documentName, nullptr);
}

int jobOutput_closePrinter(UmpdJobContext* ctx, int flag) {
  if (ctx == nullptr || ctx->jobDataRecord == nullptr) return -1;
  if (ctx->jobDataRecord->printer == ctx->printer) return jobData_close(ctx->jobDataRecord, flag);
  return jobData_closePrinter(ctx->jobDataRecord, flag);
}

int jobOutput_releasejobOutInfo(jobOutInfo* info) {
  if (info == nullptr) return 0;
  if (info->path != nullptr) {
    // A file that cannot be deleted now is recorded for the sweep of a
    // later job.
    if (TempFileDelete(info->path) != 0) {
      TFReg_Entry(info->path);
      TFReg_Release(info->path);  // left to the sweep of a later job
    } else {
      TFReg_Delete(info->path);
    }
    GlobalFree(info->path);
    info->path = nullptr;
  }
  std::memset(info->data, 0, sizeof(info->data));
  info->word = 0;
  return 0;
}

void faxctrl_DeleteAddressInfo(UmpdJobContext*) {}  // this side keeps no fax address list

// ---- form registration ----------------------------------------------------------------------------

BOOL jobOutput_makeFormPath(LPCWSTR formName, LPCWSTR defaultFolder, LPCWSTR extension, WCHAR (&path)[MAX_PATH],
                            DWORD* folderEnd) {
  path[0] = 0;
  if (folderEnd != nullptr) *folderEnd = 0;
  if (formName == nullptr || formName[0] == 0) return FALSE;
  const size_t nameLength = kp_WideLength(formName);
  // No ".." part anywhere: the name must not climb out of its folder.
  for (size_t i = 0; i < nameLength;) {
    size_t j = i;
    while (j < nameLength && !IsSeparator(formName[j])) ++j;
    if (j - i == 2 && formName[i] == u'.' && formName[i + 1] == u'.') return FALSE;
    i = j + 1;
  }
  const bool unc = nameLength >= 2 && IsSeparator(formName[0]) && IsSeparator(formName[1]);
  size_t firstSep = 0;
  while (firstSep < nameLength && !IsSeparator(formName[firstSep])) ++firstSep;
  const bool drive = firstSep < nameLength && firstSep > 0 && formName[firstSep - 1] == u':';
  WCHAR built[2 * MAX_PATH] = {};
  size_t n = 0;
  auto append = [&](LPCWSTR s, size_t len) {
    for (size_t i = 0; i < len && n < 2 * MAX_PATH - 1; ++i) built[n++] = s[i];
  };
  if (!unc && !drive) {
    if (defaultFolder == nullptr || defaultFolder[0] == 0) return FALSE;
    const size_t folderLength = kp_WideLength(defaultFolder);
    append(defaultFolder, folderLength);
    if (!IsSeparator(defaultFolder[folderLength - 1])) append(u"\\", 1);
    size_t skip = 0;
    while (skip < nameLength && IsSeparator(formName[skip])) ++skip;
    append(formName + skip, nameLength - skip);
  } else {
    append(formName, nameLength);
  }
  // The folder part ends at the last separator; the file gets its own
  // extension whatever the name ended with.
  size_t last = n;
  while (last > 0 && !IsSeparator(built[last - 1])) --last;
  if (last == n) return FALSE;  // no file name
  append(u".", 1);
  append(extension, extension != nullptr ? kp_WideLength(extension) : 0);
  if (n > MAX_PATH - 1) return FALSE;  // refused, never cut
  std::memcpy(path, built, n * sizeof(WCHAR));
  path[n] = 0;
  if (folderEnd != nullptr) *folderEnd = static_cast<DWORD>(last);
  return TRUE;
}

BOOL jobOutput_createFolders(const WCHAR* path, DWORD folderEnd) {
  WCHAR prefix[MAX_PATH];
  DWORD start = 0;
  if (folderEnd >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    // \\server\share\ is not made.
    DWORD seps = 0;
    start = 2;
    while (start < folderEnd && seps < 2) {
      if (IsSeparator(path[start])) ++seps;
      ++start;
    }
  } else if (folderEnd >= 2 && path[1] == u':') {
    start = 3;  // "X:\"
  }
  for (DWORD i = start; i < folderEnd; ++i) {
    if (!IsSeparator(path[i])) continue;
    std::memcpy(prefix, path, i * sizeof(WCHAR));
    prefix[i] = 0;
    if (!CreateDirectoryW(prefix, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return FALSE;
  }
  return TRUE;
}

int jobOutput_formFilePath(UmpdJobContext* ctx, WCHAR (&path)[MAX_PATH], DWORD* folderEnd) {
  path[0] = 0;
  if (ctx == nullptr) return -1;
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR value = 0;
  if (ddm_GetValue(DDM_FORMDIRECTORY, ctx->devmode, ctx->printerData, &type, &size, &value) != 0 || value == 0) {
    return -1;
  }
  const LPCWSTR formName = reinterpret_cast<LPCWSTR>(value);
  WCHAR extension[JOBDATA_EXTENSION_CHARS + 1] = {};
  resource_LoadString(JOBDATA_STR_FORM_EXTENSION, extension, JOBDATA_EXTENSION_CHARS + 1);
  LPWSTR folder = zanLib_GetFormDirDefault();
  const BOOL made = jobOutput_makeFormPath(formName, folder, extension, path, folderEnd);
  kcore_Free(folder);
  if (!made) {
    Logout_OutputString(u"kestrelum: form name refused: %ls", formName);
    return -1;
  }
  return 0;
}

int jobOutput_changeSpool_forFormRegister(UmpdJobContext* ctx) {
  if (ctx == nullptr || ctx->jobDataRecord == nullptr) return -1;
  WCHAR path[MAX_PATH];
  DWORD folderEnd = 0;
  if (jobOutput_formFilePath(ctx, path, &folderEnd) != 0) return -1;
  if (!jobOutput_createFolders(path, folderEnd)) {
    WCHAR caption[JOBDATA_CAPTION_CHARS + 1] = {};
    WCHAR text[JOBDATA_TEXT_CHARS + 1] = {};
    resource_LoadString(JOBDATA_STR_CAPTION, caption, JOBDATA_CAPTION_CHARS + 1);
    resource_LoadString(JOBDATA_STR_FOLDER_FAILED, text, JOBDATA_TEXT_CHARS + 1);
    const int answer = MessageBoxW(nullptr, text, caption, MB_OKCANCEL | MB_ICONWARNING | MB_SETFOREGROUND);
    return answer == IDOK ? 0 : -1;  // OK: the job prints without registering the form
  }
  // The folder as the file system names it, then the file name.
  WCHAR folderPath[MAX_PATH];
  std::memcpy(folderPath, path, folderEnd * sizeof(WCHAR));
  folderPath[folderEnd] = 0;
  WCHAR shortFolder[MAX_PATH];
  const DWORD shortLength = GetShortPathNameW(folderPath, shortFolder, MAX_PATH);
  WCHAR file[MAX_PATH];
  if (shortLength > 0 && shortLength < MAX_PATH) {
    const size_t rest = kp_WideLength(path + folderEnd);
    const bool needSep = !IsSeparator(shortFolder[shortLength - 1]);
    if (shortLength + (needSep ? 1 : 0) + rest > MAX_PATH - 1) return -1;
    std::memcpy(file, shortFolder, shortLength * sizeof(WCHAR));
    DWORD at = shortLength;
    if (needSep) file[at++] = u'\\';
    std::memcpy(file + at, path + folderEnd, (rest + 1) * sizeof(WCHAR));
  } else {
    std::memcpy(file, path, sizeof(path));
  }
  ctx->jobDataRecord->writeErrorTextId = JOBDATA_STR_FORM_WRITE;
  return jobData_startOutputPrinterAndFile(ctx->jobDataRecord, file);
}

int jobOutput_stopSpool_forFormRegister(UmpdJobContext* ctx) {
  if (ctx != nullptr && ctx->jobDataRecord != nullptr && ctx->jobDataRecord->direction == JOBDATA_FILE) {
    if (jobData_finishOutputPrinterAndFile(ctx->jobDataRecord) != 0) {
      umpd_Reject(ctx, u"the form file was not written whole");
    }
  }
  return 0;
}
