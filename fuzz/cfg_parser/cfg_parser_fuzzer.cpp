// Arbitrary bytes as a configuration file: read as the pre-configuration of
// two models and as the devmode-emulation section, and, as UTF-16, as a
// section's entry list for the key matcher and the value reader.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kestrel/core/dme.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/preconfig.h"
#include "model_root.h"

namespace {

const std::string& File() {
  static std::string file = [] {
    static kestrel::test::FreshRoot root("kestrel-cfg-fuzz");
    if (!root.ok()) std::abort();
    std::filesystem::create_directories(root.path() + "/c/fz");
    return root.path() + "/c/fz/k.cfg";
  }();
  return file;
}

void Entries(const uint8_t* data, size_t size) {
  std::u16string list(size / 2, u'\0');
  std::memcpy(list.data(), data, list.size() * 2);
  list.push_back(0);
  list.push_back(0);
  const char16_t* keys[] = {u"duplex.enforced=", u"LOGOUT.DDMID=", u"bin.TRAY1=", u"k", u"="};
  for (const char16_t* key : keys) {
    WORD start = 1;
    for (int round = 0; round < 64; ++round) {
      LPWSTR value = nullptr;
      WORD at = CFG_GetCfgValueString(start, static_cast<WORD>(round & 1), list.c_str(), key, &value);
      if (!at) break;
      DWORD v = 0;
      PreConfig_ParseValue(value, &v);
      kcore_Free(value);
      if (at == 0xFFFF) break;
      start = static_cast<WORD>(at + 1);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  Entries(data, size);
  {
    std::ofstream out(File(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const char16_t* file = u"C:\\fz\\k.cfg";
  for (const char16_t* model : {u"ABC-100 PS/2", u"Scriva K350"}) {
    void* h = PreConfig_OpenFileEx(model, file);
    WORD flags = 0;
    DWORD value = 0;
    for (WORD i = 0; i < PreConfigFuncIdTblCount; ++i) {
      WORD id = PreConfigFuncIdTbl[i].ddmId;
      PreConfig_GetPropertyFlg(id, h, &flags);
      PreConfig_IsEnforcedProperty(id, h);
      PreConfig_GetDefaultData(id, h, &value, 5);
    }
    PreConfig_CloseFileEx(h);
    LPWSTR comment = PreConfig_GetPrCfgVersionComment(model, file);
    kcore_Free(comment);
  }
  void* dme = DMETbl_CreateDmeHandle(file, 1);
  if (dme) {
    DWORD fields = 0, internalValue = 0;
    dme_GetMergedFields(dme, 0xFFFFFFFF, 0, &fields);
    for (WORD feature = 0; feature < DME_FEATURE_COUNT; ++feature)
      dme_ConvertToInternalValue(dme, feature, 14, &internalValue);
    DMETbl_DestroyDmeHandle(dme);
  }
  return 0;
}
