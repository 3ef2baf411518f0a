// A document-property file as the non-devmode store parses it. Byte 0 picks
// what is asked for (bit 0 the fax list, bit 1 the security-marking block);
// the rest is the file. A parse that succeeds hands out a block that lies
// within the file and a fax list whose size its own header describes; one
// that fails hands out nothing and leaves the caller's record as it was.
#include <cstdint>
#include <cstring>
#include <vector>

#include "../fuzz_input.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/nondev.h"

namespace {

BOOL Defaults(void*, void* record) {
  std::memset(record, 0x5A, NONDEV_RECORD_SIZE);
  return TRUE;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using kestrel::fuzz::Check;
  if (size == 0 || size > NONDEV_FILE_MAX) return 0;
  const bool askFax = data[0] & 1;
  const bool askGsb = data[0] & 2;
  const uint8_t* file = data + 1;
  const DWORD fileSize = static_cast<DWORD>(size - 1);
  // A copy of exactly the file's bytes, so a read past them is caught.
  std::vector<uint8_t> bytes(file, file + fileSize);

  std::vector<BYTE> record(NONDEV_RECORD_SIZE, 0xEE);
  void* fax = reinterpret_cast<void*>(0x1);
  void* gsb = reinterpret_cast<void*>(0x1);
  DWORD gsbSize = 0xFFFF;
  BOOL ok = nonDev_ParseDocProp(bytes.data(), fileSize, Defaults, nullptr, askFax ? &fax : nullptr, record.data(),
                                askGsb ? &gsb : nullptr, askGsb ? &gsbSize : nullptr);
  if (!ok) {
    Check(!askFax || fax == nullptr);
    Check(!askGsb || (gsb == nullptr && gsbSize == 0));
    for (BYTE b : record) Check(b == 0xEE);
    return 0;
  }
  Check(record[0] == 0x10 && record[1] == 0x51);
  if (askGsb) {
    Check((gsb == nullptr) == (gsbSize == 0));
    Check(gsbSize <= fileSize);
    kcore_Free(gsb);
  }
  if (askFax && fax) {
    WORD count = 0;
    std::memcpy(&count, static_cast<BYTE*>(fax) + NONDEV_FAX_COUNT_OFFSET, sizeof(count));
    DWORD faxSize = NONDEV_FAX_HEAD_SIZE + NONDEV_FAX_ENTRY_SIZE * count;
    Check(faxSize <= fileSize);
    Check(nonDev_FaxListSize(fax, faxSize) == faxSize);
    kcore_Free(fax);
  }
  return 0;
}
