#include "spool_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "model_root.h"
#include "kestrel/spool/colorconv.h"
#include "seams.h"

namespace kestrel::test {

void PrinterDouble::Reset() {
  std::lock_guard<std::mutex> guard(lock);
  bytes.clear();
  sizes.clear();
  events.clear();
  failAt = shortAt = shortBy = 0;
  failStartDoc = failStartPage = FALSE;
}

void PrinterDouble::CloseGate() {
  std::lock_guard<std::mutex> guard(lock);
  gateClosed = true;
}
void PrinterDouble::OpenGate() {
  {
    std::lock_guard<std::mutex> guard(lock);
    gateClosed = false;
  }
  gate.notify_all();
}
void PrinterDouble::WaitUntilHeld() {
  std::unique_lock<std::mutex> guard(lock);
  gate.wait(guard, [this] { return waiting > 0; });
}

PrinterDouble& Printer() {
  static PrinterDouble printer;
  return printer;
}

namespace {
// The handle the offline jobs write to.
HANDLE const kOfflinePrinter = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x5A5A));
}  // namespace

OfflineJob::OfflineJob(const std::string& bytes, HANDLE queuePrinter, bool openOutput) : input_(bytes) {
  ctx_ = queuePrinter != nullptr ? umpd_CreateContext(queuePrinter, 1) : nullptr;
  if (ctx_ == nullptr) {
    // No queue: a bare context, as StartDoc's first four steps make it.
    void* block = GlobalAlloc(GPTR, sizeof(UmpdJobContext));
    ctx_ = new (block) UmpdJobContext();
    InitializeCriticalSection(&ctx_->lock);
    ctx_->magic = UMPD_MAGIC;
    ctx_->jobId = 1;
    ctx_->status.store(UMPD_STATUS_CREATED);
    ctx_->dataReady = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ctx_->dataConsumed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ctx_->ok.store(1);
    xl_initcontext(&ctx_->xl, PutData, ctx_);
  }
  if (queuePrinter == nullptr) ctx_->printer = kOfflinePrinter;
  ctx_->dataPointer = reinterpret_cast<const BYTE*>(input_.data());
  ctx_->dataLength.store(static_cast<int32_t>(input_.size()));
  ctx_->offered.store(1);
  ctx_->endOfInput.store(1);
  if (openOutput) {
    jobOutput_enable(ctx_);
    jobOutput_open(ctx_, kOfflinePrinter, u"offline");
  }
}

OfflineJob::~OfflineJob() { umpd_DestroyContext(ctx_); }

void OfflineJob::Run() {
  ParseGroupedStream(ctx_);
  ExitXLCC(ctx_);
  ExitXLCGS(ctx_);
  umpd_ParserEnd(ctx_);
}

void SpoolTest::SetUp() {
  Printer().Reset();
  ASSERT_EQ(InstallModelAQueue(), "");
  ASSERT_EQ(queue_.Open(), "");
}

void SpoolTest::TearDown() {
  queue_.Close();
  Printer().Reset();
}

std::string InbandCommand(BYTE code, const std::string& payload, bool hasPayload) {
  std::string s;
  s += static_cast<char>(0xC0);
  s += static_cast<char>(code);
  s += static_cast<char>(0xF8);
  s += static_cast<char>(0xFF);
  s += static_cast<char>(0xFF);
  if (hasPayload) {
    if (payload.size() < 256) {
      s += static_cast<char>(0xFB);
      s += static_cast<char>(payload.size());
    } else {
      s += static_cast<char>(0xFA);
      const uint32_t n = static_cast<uint32_t>(payload.size());
      for (int i = 0; i < 4; ++i) s += static_cast<char>((n >> (8 * i)) & 0xFF);
    }
    s += payload;
  }
  return s;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

}  // namespace kestrel::test

