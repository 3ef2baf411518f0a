// A registry value read from the stamp store as a stamp record: the first
// byte picks the value type, the rest is the value. A record that is taken
// must have its name and text terminated within their fields.
#include <cstdint>
#include <cstdlib>

#include "kestrel/ui/stamp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  DWORD type = data[0] & 7;
  STAMPINFO record;
  if (zanStamp_ReadRecord(type, data + 1, static_cast<DWORD>(size - 1), &record)) {
    if (type != REG_BINARY || size - 1 != STAMP_RECORD_SIZE) std::abort();
    if (record.name[STAMP_NAME_CHARS - 1] != 0 || record.text[STAMP_TEXT_CHARS - 1] != 0) std::abort();
  }
  return 0;
}
