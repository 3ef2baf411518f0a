// Stored printer-data values read as a chunked value. The input is what the
// queue holds: byte 0 the capacity the reader is given (in units of 256
// bytes), bytes 1-4 the size value (little-endian; absent when the input is
// shorter), then chunks, each a 16-bit little-endian length and its bytes
// (cut at the end of the input), stored as "PaperMarginArray1", "2", ...
// A read that succeeds must report the stored size, within the capacity,
// and equal to the bytes of its chunks.
#include <kplatform/winspool.h>
#include <kplatform/winspool_monitor.h>
#include <kplatform/winspool_printer.h>
#include <kplatform/advapi32_registry.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "kestrel/core/printerdata.h"
#include "model_root.h"

namespace {

constexpr int kMaxChunks = 9;

struct Queue {
  kestrel::test::FreshRoot root{"kestrel-fuzz"};
  HANDLE printer = nullptr;
  Queue() {
    if (!root.ok()) return;
    std::u16string name = u"Fuzz Queue";
    if (!KpSpoolerAddPrinter(name.c_str(), u"Fuzz Driver", u"X.DDD", u"X.cfg", u"kestrelui.dll")) return;
    OpenPrinterW(name.data(), &printer, nullptr);
  }
  ~Queue() {
    if (printer) ClosePrinter(printer);
  }
};

std::u16string ChunkName(int n) {
  std::string d = std::to_string(n);
  return u"PaperMarginArray" + std::u16string(d.begin(), d.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Queue queue;
  if (!queue.printer || size == 0) return 0;
  HANDLE p = queue.printer;
  std::u16string sizeName = u"PaperMarginArraySize";
  DeletePrinterDataW(p, sizeName.data());
  for (int i = 1; i <= kMaxChunks; ++i) {
    std::u16string n = ChunkName(i);
    DeletePrinterDataW(p, n.data());
  }

  DWORD capacity = static_cast<DWORD>(data[0]) * 256;
  size_t at = 1;
  if (size >= 5) {
    SetPrinterDataW(p, sizeName.data(), REG_DWORD, const_cast<uint8_t*>(data + 1), 4);
    at = 5;
  }
  for (int i = 1; i <= kMaxChunks && at + 2 <= size; ++i) {
    size_t len = data[at] | (data[at + 1] << 8);
    at += 2;
    if (len > size - at) len = size - at;
    std::u16string n = ChunkName(i);
    SetPrinterDataW(p, n.data(), REG_BINARY, const_cast<uint8_t*>(data + at), static_cast<DWORD>(len));
    at += len;
  }

  DWORD stored = 0;
  BOOL known = zanGetPrinterDataFromRegistry(p, ZAN_KIND_PAPERMARGINARRAY, nullptr, &stored);
  std::vector<BYTE> buffer(capacity + 1, 0xCD);
  DWORD got = capacity;
  if (zanGetPrinterDataFromRegistry(p, ZAN_KIND_PAPERMARGINARRAY, buffer.data(), &got)) {
    if (!known || got != stored || got > capacity) std::abort();
    if (buffer[capacity] != 0xCD) std::abort();  // nothing past the capacity
    size_t chunks = (got + 767) / 768;
    if (chunks > kMaxChunks) std::abort();
  } else if (got > capacity) {
    std::abort();
  }
  return 0;
}
