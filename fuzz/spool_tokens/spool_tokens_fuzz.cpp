// The job processor's tokenizer, grouping and in-band executor on one
// context fed from memory, without threads: whatever the bytes, every token
// is freed, the pool is empty at the end and nothing reads outside them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "kestrel/spool/umpd.h"
#include "printer_double.h"
#include "seams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  void* block = GlobalAlloc(GPTR, sizeof(UmpdJobContext));
  if (block == nullptr) return 0;
  auto* ctx = new (block) UmpdJobContext();
  InitializeCriticalSection(&ctx->lock);
  ctx->magic = UMPD_MAGIC;
  ctx->printer = kestrel::fuzz::kDiscardPrinter;
  ctx->status.store(UMPD_STATUS_CREATED);
  ctx->dataReady = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ctx->dataConsumed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ctx->ok.store(1);
  xl_initcontext(&ctx->xl, PutData, ctx);
  ctx->dataPointer = data;
  ctx->dataLength.store(static_cast<int32_t>(size));
  ctx->offered.store(1);
  ctx->endOfInput.store(1);
  jobOutput_enable(ctx);
  jobOutput_open(ctx, kestrel::fuzz::kDiscardPrinter, u"fuzz");
  ParseGroupedStream(ctx);
  umpd_ParserEnd(ctx);
  if (ctx->poolCount != 0) std::abort();
  umpd_DestroyContext(ctx);
  return 0;
}
