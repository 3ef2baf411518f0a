// The EJCL header of model A with a devmode and printer data changed by the
// input: the writer never writes past its capacity, leaves nothing but an
// empty text when it fails, and a header it makes has no ESC but the first
// byte's and no control byte but CR and LF.
//
// Input: 16-bit capacity, a flag byte (bit 0 hard-coded block, bit 1 JCID,
// bit 2 the 9x system of code set 0), a name length and the document name
// (8-bit, widened), then changes of {16-bit offset, byte}: offsets below
// 5440 in the devmode, the rest in the printer data.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../fuzz_input.h"
#include "../model_a_host.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/ejcl.h"
#include "kplatform/kernel32_system.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using kestrel::fuzz::Check;
  static HCDDD model = kestrel::fuzz::OpenModelA();
  static std::vector<BYTE> baseDm, basePd;
  if (baseDm.empty()) {
    baseDm.assign(NRV_DEVMODE_SIZE_FULL, 0);
    basePd.assign(NRV_PRINTERDATA_SIZE, 0);
    if (!cdm_SetDefaultDevmode(model, baseDm.data(), basePd.data(), nullptr)) __builtin_trap();
  }
  kestrel::fuzz::Reader in{data, size};
  const DWORD capacity = in.Take<uint16_t>();
  const uint8_t flags = in.Take<uint8_t>();
  const size_t nameLength = in.Take<uint8_t>();
  std::u16string name;
  for (size_t i = 0; i < nameLength && in.n > 0; ++i) name.push_back(in.Take<uint8_t>());
  std::vector<BYTE> dm = baseDm, pd = basePd;
  while (in.n >= 3) {
    uint16_t at = in.Take<uint16_t>();
    uint8_t v = in.Take<uint8_t>();
    if (at < dm.size())
      dm[at] = v;
    else if (at - dm.size() < pd.size())
      pd[at - dm.size()] = v;
  }
  if (flags & 4) {
    KpSetVersion(4, 0, 950, VER_PLATFORM_WIN32_WINDOWS);
    ejclUtil_SetStringCodeSet(EJCL_CODESET_UNSET);
  } else {
    KpSetVersion(5, 1, 2600, VER_PLATFORM_WIN32_NT);
  }
  EJCL_CONTEXT c{};
  c.devmode = dm.data();
  c.printerData = pd.data();
  c.documentName = name.c_str();
  c.hardCoded = flags & 1;
  c.jcidFlag = (flags & 2) ? 1 : 0;
  std::strcpy(c.jcid, "J\x1B\"1");
  std::vector<char> buffer(static_cast<size_t>(capacity) + 64, '~');
  LONG r = ejcl_getEJCLCommandsHead(model->main, model->referenced, &c, buffer.data(), capacity);
  for (size_t i = capacity; i < buffer.size(); ++i) Check(buffer[i] == '~');
  if (r < 0) {
    Check(capacity == 0 || buffer[0] == 0);
    for (size_t i = 1; i < capacity; ++i) Check(buffer[i] == '~');
    return 0;
  }
  Check(static_cast<DWORD>(r) < capacity && buffer[static_cast<size_t>(r)] == 0);
  Check(r >= 9 && std::memcmp(buffer.data(), "\x1B%-12345X", 9) == 0);
  for (LONG i = 1; i < r; ++i) {
    auto b = static_cast<unsigned char>(buffer[static_cast<size_t>(i)]);
    Check(b >= 0x20 || b == '\r' || b == '\n');
  }
  return 0;
}
