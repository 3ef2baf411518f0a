// The renderer's output buffer and its job-data record (kxl_km only).
//
// Every byte the renderer produces passes through one 4096-byte buffer and
// leaves through the engine's printer write on the printer handle. The
// engine service is reached through XlPrinter, a handle plus the write
// function: the renderer puts EngWritePrinter there, tests put a recorder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kestrel/render/variable_array.h"
#include "kplatform/wintypes.h"

#if !defined(KXL_BUILD_KM)
#error "the output buffer belongs to the renderer's build (kxl_km)"
#endif

// The engine's printer write: BOOL EngWritePrinter(printer, bytes, n, out written).
using XlWritePrinterFn = BOOL (*)(HANDLE printer, LPVOID bytes, DWORD n, LPDWORD written);

struct XlPrinter {
  HANDLE handle;
  XlWritePrinterFn write;
};

// The engine's printer write on `printer`: a null printer (handle or
// function) gives 0; n = 0 succeeds without a call; a null buffer with n > 0
// gives 0; `written` (when not null) gets the count written, 0 on failure.
BOOL drvio_printer_write(const XlPrinter* printer, const void* bytes, DWORD n, DWORD* written);

constexpr DWORD XL_OUTBUF_SIZE = 4096;
// Status bit of the PDEV kept here: the output has failed. Once set it stays
// set for the buffer's life and every later write is refused.
constexpr DWORD XL_STATUS_OUTPUT_FAILED = 0x8;
// The part of a large write that is kept in the buffer instead of being sent.
constexpr DWORD XL_OUTBUF_TAIL = 1024;

struct XlOutBuf {
  DWORD capacity;  // 4096
  DWORD count;     // bytes buffered; the fill pointer is buffer + count
  BYTE buffer[XL_OUTBUF_SIZE];
  XlPrinter printer;
  DWORD status;  // XL_STATUS_OUTPUT_FAILED
};

// Count 0, capacity 4096. The printer and the status are kept.
void psinitbuf(XlOutBuf* out);
// 1 when the bytes were taken, 0 when the output has failed. Small writes are
// gathered; a write that does not fit flushes the buffer and sends its bytes
// in writes of up to 4096, keeping a tail of at most 1024 bytes buffered.
int pswrite(XlOutBuf* out, const void* bytes, DWORD n);
// 1 on success, with nothing to write, or when the output had already failed;
// 0 when this write failed. The buffer is empty afterwards.
int psflush(XlOutBuf* out);

// ---- job-data record -------------------------------------------------------

// The allocator of the record and its page table. The renderer passes the
// engine's allocator (EngAllocMem zero-filled, EngFreeMem); alloc returns
// zero-filled memory or null.
struct XlAllocator {
  void* (*alloc)(void* user, size_t bytes);
  void (*free)(void* user, void* block);
  void* user;
};


constexpr DWORD XL_SPOOL_BUFFER_SIZE = 2048;

// The kernel build's job-data record: the numbering of the pages stored for
// later output, kept so that the page-storing commands agree with the page
// store of the spooler side. It is not exchanged, so its size is this build's
// own (the 32-bit layout's 2144 bytes do not apply).
struct XlJobData {
  int16_t direction;  // 0 when not open; 1 and 4 write, 2 stores
  XlPrinter printer;
  WORD firstPage;
  WORD pageCount;  // saturates at 0xFFFF
  BOOL pageBookkeeping;
  variableArray pages;  // the page table (the spooler side's page store uses the same array)
  DWORD spoolCount;  // bytes in spoolBuffer; the kernel build never fills it
  BYTE spoolBuffer[XL_SPOOL_BUFFER_SIZE];
  XlAllocator allocator;
  VariableArrayAllocator pageAllocator;  // the allocator above, for the page table
};

// Elements of the renderer's page table: the eight int32 of the page's layout
// paper record and one int32 paper value.
constexpr DWORD XL_PAGE_ELEMENT_SIZE = 36;

// Allocates the record: direction 0, no printer, page bookkeeping enabled;
// null when memory fails.
XlJobData* jobData_enable(const XlAllocator* allocator);
// Frees the record and its table (null is fine).
void jobData_disable(XlJobData* jd);
void jobData_page_enable(XlJobData* jd);   // first page and count 0, empty table
void jobData_page_disable(XlJobData* jd);  // the same, and the table freed
// Count 0, first page set, a table of `elementSize`-byte elements that grows
// by `growthStep` (both at most 65535); 0, or -1 (table disposed) on a bad
// size or no memory.
int jobData_page_startToUse(XlJobData* jd, WORD firstPage, DWORD elementSize, DWORD growthStep);
// The page must be first page + count; the spool buffer is flushed, the table
// grown to hold the page and its element zero-filled. 0, or -1.
int jobData_page_startToStore(XlJobData* jd, WORD page);
// Flush, count + 1 (saturating). 0, or -1 when the record is null.
int jobData_page_endToStore(XlJobData* jd);
// The element of a stored page, or null when the page is not in the table.
BYTE* jobData_page_element(XlJobData* jd, WORD page);
// -1 when the record is not open or is storing (direction 2); buffered bytes
// with direction 1 or 4 go out through drvio_printer_write and the buffer is
// emptied whatever the outcome; -1 when that write failed or was short.
int _jobData_spool_flush(XlJobData* jd);

struct XlContext;
// Returns 1; nothing to set up.
int PDL_InitDEVDATA(XlContext* ctx);
// When the old PDEV has a job in progress (its status bit 0x4, passed here),
// the graphics-state cache, the font state and the transform record go to the
// new context; returns 1. The output-failed bit of the old buffer is carried
// over as well, so that a reset cannot revive a failed output.
int PDL_CopyDEVDATA(const XlContext* oldCtx, XlContext* newCtx, DWORD oldPdevStatus);
constexpr DWORD XL_PDEV_JOB_IN_PROGRESS = 0x4;
