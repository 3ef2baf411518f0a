// The renderer's 4096-byte output buffer and its job-data record.
#include <cstring>

#include "kestrel/render/xl.h"
#include "kestrel/render/xl_outbuf.h"

BOOL drvio_printer_write(const XlPrinter* printer, const void* bytes, DWORD n, DWORD* written) {
  if (written != nullptr) *written = 0;
  if (printer == nullptr || printer->handle == nullptr || printer->write == nullptr) return FALSE;
  if (n == 0) return TRUE;
  if (bytes == nullptr) return FALSE;
  DWORD done = 0;
  // The engine's write takes a non-const buffer but does not change it.
  BOOL ok = printer->write(printer->handle, const_cast<void*>(bytes), n, &done);
  if (!ok) done = 0;
  if (written != nullptr) *written = done;
  return ok ? TRUE : FALSE;
}

void psinitbuf(XlOutBuf* out) {
  out->capacity = XL_OUTBUF_SIZE;
  out->count = 0;
}

// One engine write of n bytes; a failed or short write marks the output failed.
static bool send(XlOutBuf* out, const BYTE* bytes, DWORD n) {
  DWORD written = 0;
  if (!drvio_printer_write(&out->printer, bytes, n, &written) || written != n) {
    out->status |= XL_STATUS_OUTPUT_FAILED;
    return false;
  }
  return true;
}

int psflush(XlOutBuf* out) {
  if (out->status & XL_STATUS_OUTPUT_FAILED) {
    out->count = 0;
    return 1;
  }
  if (out->count == 0) return 1;
  const bool ok = send(out, out->buffer, out->count);
  out->count = 0;
  return ok ? 1 : 0;
}

int pswrite(XlOutBuf* out, const void* bytes, DWORD n) {
  if (out->status & XL_STATUS_OUTPUT_FAILED) return 0;
  if (n == 0) return 1;
  if (bytes == nullptr) return 0;
  const BYTE* p = static_cast<const BYTE*>(bytes);
  DWORD rest = n;
  if (static_cast<uint64_t>(rest) + out->count > out->capacity) {
    if (psflush(out) != 1) return 0;
    // Large writes leave straight from the caller's bytes in spooler-sized
    // pieces; only a tail of at most 1024 bytes is kept for what follows.
    while (rest > XL_OUTBUF_TAIL) {
      const DWORD piece = rest < XL_OUTBUF_SIZE ? rest : XL_OUTBUF_SIZE;
      if (!send(out, p, piece)) return 0;
      p += piece;
      rest -= piece;
    }
  }
  std::memcpy(out->buffer + out->count, p, rest);
  out->count += rest;
  return 1;
}

// ---- job-data record -------------------------------------------------------

static void table_free(XlJobData* jd) { variableArray_dispose(&jd->pages); }

// Grows the table to at least `needed` elements, in whole growth steps.
static bool table_grow(XlJobData* jd, DWORD needed) {
  return needed == 0 || variableArray_reserve(&jd->pages, needed - 1) == 0;
}

XlJobData* jobData_enable(const XlAllocator* allocator) {
  if (allocator == nullptr || allocator->alloc == nullptr || allocator->free == nullptr) return nullptr;
  auto* jd = static_cast<XlJobData*>(allocator->alloc(allocator->user, sizeof(XlJobData)));
  if (jd == nullptr) return nullptr;
  std::memset(jd, 0, sizeof(*jd));
  jd->allocator = *allocator;
  jd->pageAllocator = VariableArrayAllocator{allocator->alloc, allocator->free, allocator->user};
  variableArray_init(&jd->pages);
  jd->direction = 0;
  jd->pageBookkeeping = TRUE;
  return jd;
}

void jobData_disable(XlJobData* jd) {
  if (jd == nullptr) return;
  table_free(jd);
  XlAllocator a = jd->allocator;
  a.free(a.user, jd);
}

void jobData_page_enable(XlJobData* jd) {
  if (jd == nullptr) return;
  jd->firstPage = 0;
  jd->pageCount = 0;
  if (jd->pages.buffer != nullptr)
    std::memset(jd->pages.buffer, 0, static_cast<size_t>(jd->pages.capacity) * jd->pages.elementSize);
}

void jobData_page_disable(XlJobData* jd) {
  if (jd == nullptr) return;
  jd->firstPage = 0;
  jd->pageCount = 0;
  table_free(jd);
}

int jobData_page_startToUse(XlJobData* jd, WORD firstPage, DWORD elementSize, DWORD growthStep) {
  if (jd == nullptr) return -1;
  table_free(jd);
  jd->pageCount = 0;
  jd->firstPage = firstPage;
  if (elementSize == 0 || growthStep == 0 || elementSize > 0xFFFF || growthStep > 0xFFFF) return -1;
  if (variableArray_create(&jd->pages, &jd->pageAllocator, static_cast<uint16_t>(elementSize),
                           static_cast<uint16_t>(growthStep)) != 0) {
    table_free(jd);
    return -1;
  }
  return 0;
}

int jobData_page_startToStore(XlJobData* jd, WORD page) {
  if (jd == nullptr || jd->pages.elementSize == 0) return -1;
  if (static_cast<uint32_t>(jd->firstPage) + jd->pageCount != page) return -1;
  // The kernel build never buffers spool data, so there is nothing this
  // flush could lose; a record that is not open simply has nothing to send.
  (void)_jobData_spool_flush(jd);
  const DWORD index = static_cast<DWORD>(page - jd->firstPage);
  if (!table_grow(jd, index + 1)) return -1;
  if (variableArray_setFillData(&jd->pages, index, 0) != 0) return -1;
  return 0;
}

int jobData_page_endToStore(XlJobData* jd) {
  if (jd == nullptr) return -1;
  (void)_jobData_spool_flush(jd);
  if (jd->pageCount < 0xFFFF) ++jd->pageCount;
  return 0;
}

BYTE* jobData_page_element(XlJobData* jd, WORD page) {
  if (jd == nullptr || jd->pages.buffer == nullptr || page < jd->firstPage) return nullptr;
  const DWORD index = static_cast<DWORD>(page - jd->firstPage);
  if (index >= jd->pageCount + 1u) return nullptr;
  return variableArray_item(&jd->pages, index);
}

int _jobData_spool_flush(XlJobData* jd) {
  if (jd == nullptr || jd->direction == 0 || jd->direction == 2) return -1;
  if (jd->spoolCount == 0) return 0;
  if (jd->direction != 1 && jd->direction != 4) return 0;
  const DWORD n = jd->spoolCount;
  jd->spoolCount = 0;
  DWORD written = 0;
  if (!drvio_printer_write(&jd->printer, jd->spoolBuffer, n, &written) || written != n) return -1;
  return 0;
}

int PDL_InitDEVDATA(XlContext*) { return 1; }

int PDL_CopyDEVDATA(const XlContext* oldCtx, XlContext* newCtx, DWORD oldPdevStatus) {
  if (oldCtx == nullptr || newCtx == nullptr) return 1;
  if (oldPdevStatus & XL_PDEV_JOB_IN_PROGRESS) {
    newCtx->cgs = oldCtx->cgs;
    newCtx->font = oldCtx->font;
    newCtx->convctm = oldCtx->convctm;
  }
  newCtx->out.status |= oldCtx->out.status & XL_STATUS_OUTPUT_FAILED;
  return 1;
}
