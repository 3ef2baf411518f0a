// A stored "UserSettingInfo" value as the loader reads it: the first byte
// picks the registry type (bits 0-2) and the carry-over flag (bit 3), the
// rest is the value. Whatever it holds, the record that comes out has the
// current header, this model's name and every string member terminated, and
// is the defaults whenever nothing was taken.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kestrel/ui/usersetting.h"
#include "kplatform/advapi32_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  DWORD type = data[0] & 7;
  BOOL carryOver = (data[0] & 8) != 0;
  USERSETTINGINFO defaults;
  SetDefaultCurrentUserSettingInfo(FALSE, &defaults);
  std::memcpy(defaults.modelName, u"Scriva K350", 24);
  USERSETTINGINFO out;
  BOOL taken = UserSetting_ReadStored(type, data + 1, static_cast<DWORD>(size - 1), &defaults, carryOver, &out);
  if (!taken && std::memcmp(&out, &defaults, sizeof(out)) != 0) std::abort();
  if (taken && (type != REG_BINARY || size - 1 != USERSETTING_SIZE)) std::abort();
  if (out.size[0] != (USERSETTING_SIZE & 0xFF) || out.size[1] != (USERSETTING_SIZE >> 8)) std::abort();
  if (out.version[0] != USERSETTING_VERSION || out.version[1] != 0) std::abort();
  if (std::memcmp(out.modelName, defaults.modelName, sizeof(out.modelName)) != 0) std::abort();
  const USERSETTING_MEMBER* m = UserSetting_Members();
  for (int i = 0; i < USERSETTING_MEMBERS; ++i) {
    if (m[i].type != 6) continue;
    const BYTE* field = reinterpret_cast<const BYTE*>(&out) + m[i].offset;
    bool terminated = false;
    for (WORD k = 0; k + 1 < m[i].width && !terminated; k += 2) terminated = field[k] == 0 && field[k + 1] == 0;
    if (!terminated) std::abort();
  }
  return 0;
}
