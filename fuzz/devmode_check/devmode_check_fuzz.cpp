// Arbitrary bytes as a devmode and printer-data record handed in from
// outside: the validation of foreign devmodes, the standard member checks
// under both operations, the derived members and the copy of a stored
// devmode, against model A's description data. Nothing may read or write
// outside the records, whatever they hold.
#include <kplatform/kernel_module.h>
#include <kplatform/root.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "kestrel/cdm_defaults.h"
#include "kestrel/cdm_values.h"
#include "kestrel/ddm_value.h"

namespace {

std::string g_root;

void RemoveRoot() {
  std::error_code ec;
  if (!g_root.empty()) std::filesystem::remove_all(g_root, ec);
}

HCDDD Handle() {
  static HCDDD handle = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-dmcheck-fuzz-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (!made || !KpSetRoot(made)) std::abort();
    g_root = made;
    std::atexit(RemoveRoot);
    const std::string models = KESTREL_MODELS_DIR;
    if (!KpInstallModule("libkestreljd.so", u"kestreljd.dll") || !KpInstallModule("libkdemohost.so", u"kdemohost.dll") ||
        !KpInstallModule((models + "/K350.DDD").c_str(), u"K350.DDD") ||
        !KpInstallModule((models + "/K350RES.DDD").c_str(), u"K350RES.DDD"))
      std::abort();
    HMODULE host = LoadLibraryW(u"kdemohost.dll");
    if (!host || ddm_AccessInit(host) != 1) std::abort();
    HCDDD h = cddd_OpenFile(u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\K350.DDD");
    if (!h) std::abort();
    return h;
  }();
  return handle;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  HCDDD h = Handle();
  std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL), pd(NRV_PRINTERDATA_SIZE);
  size_t n = std::min(size, dm.size());
  std::memcpy(dm.data(), data, n);
  if (size > n) std::memcpy(pd.data(), data + n, std::min(size - n, pd.size()));

  cdm_IsDevmode(h, dm.data(), pd.data());
  wNTc_IsDevmodeOurs(dm.data());
  for (WORD id : {12, 13, 16, 7, 17, 22, 15, 11, 18, 23, 8, 24, 259, 1, 19})
    for (WORD op : {CDM_OP_CHECK, CDM_OP_ALLOWED}) {
      cdmPublicDataCheck(h, dm.data(), pd.data(), id, op);
      cdmCheckData(h, id, dm.data(), pd.data(), op);
    }
  cdmColorCapabilityTodmColor(dm.data(), pd.data());
  cdmConvertTTOptionAndFontType(dm.data(), pd.data(), 17);
  cdmConvertTTOptionAndFontType(dm.data(), pd.data(), 0);
  cdmIcmModeToIcmMethod(dm.data(), pd.data());
  cdmApplicationZoomToDmScale(dm.data());
  cdmEnableDmPaperWidthLength(dm.data());
  cdmDefaultSourceToInputBin(dm.data(), pd.data());
  cdmInputBinToDefaultSource(dm.data(), pd.data());
  cdmAdjustObjectSet(dm.data(), pd.data());
  WORD width = 0, length = 0;
  WCHAR name[15];
  for (WORD paper : {262, 301, 256}) cdmSearchDefineInfo(dm.data(), pd.data(), paper, 2, &width, &length, name, 15);

  // The same bytes as a stored devmode of exactly the size it claims.
  if (size >= 72) {
    WORD storedSize = 0, extra = 0;
    std::memcpy(&storedSize, data + 68, 2);
    std::memcpy(&extra, data + 70, 2);
    size_t claimed = std::max<size_t>(size_t(storedSize) + extra, 72);
    std::vector<BYTE> stored(claimed);
    std::memcpy(stored.data(), data, std::min(size, claimed));
    std::vector<BYTE> out(NRV_DEVMODE_SIZE_FULL);
    cdmCopyStoredDevmode(stored.data(), out.data());
  }
  return 0;
}
