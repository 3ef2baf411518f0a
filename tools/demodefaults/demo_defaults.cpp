// kestrel-demo-defaults: builds model A's default devmode and printer-data
// record (the build's compiled K350.DDD) through the devmode core, as the
// driver does for a printer without stored settings, and prints them.
#include <kplatform/kernel32_module.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ddd_host.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddm_access.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/kcore_sys.h"

using kestrel::ddd_host::Narrow;

namespace {

bool Install(const std::string& hostFile, const std::string& asName) {
  std::u16string name(asName.begin(), asName.end());
  return KpInstallModule(hostFile.c_str(), name.c_str());
}

// A member's value as text, read back through the value access.
std::string ValueText(WORD id, std::vector<BYTE>& dm, std::vector<BYTE>& pd) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  if (ddm_GetValue(id, dm.data(), pd.data(), &type, &size, &v) != 0) return "?";
  // Strings and fonts are left to the standard part above.
  if (type == DDM_TYPE_STRING || type == DDM_TYPE_FONT) return "";
  LPWSTR text = cdmDmConvertStr(type, &v, nullptr);
  std::string out = text ? Narrow(text) : "?";
  kcore_Free(text);
  return out;
}

std::string Wide(const std::vector<BYTE>& record, size_t offset, size_t chars) {
  std::u16string s;
  for (size_t i = 0; i < chars; ++i) {
    char16_t c;
    std::memcpy(&c, &record[offset + 2 * i], 2);
    if (!c) break;
    s.push_back(c);
  }
  return Narrow(s.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::string models = argc > 1 ? argv[1] : std::string(KESTREL_MODELS_DIR);
  std::string root = kestrel::ddd_host::MakeTempRoot();
  if (root.empty()) {
    std::fprintf(stderr, "cannot make a platform root\n");
    return 1;
  }
  int rc = 1;
  HMODULE host = nullptr;
  HCDDD h = nullptr;
  do {
    if (!Install("libkestreljd.so", "kestreljd.dll") || !Install("libkdemohost.so", "kdemohost.dll") ||
        !Install(models + "/K350.DDD", "K350.DDD") || !Install(models + "/K350RES.DDD", "K350RES.DDD")) {
      std::fprintf(stderr, "cannot install the driver files\n");
      break;
    }
    host = LoadLibraryW(u"kdemohost.dll");
    if (!host || ddm_AccessInit(host) != 1) {
      std::fprintf(stderr, "the devmode-access module does not load\n");
      break;
    }
    h = cddd_OpenFile((kestrel::ddd_host::DriverDirWindows() + u"\\K350.DDD").c_str());
    if (!h) {
      std::fprintf(stderr, "K350.DDD does not open\n");
      break;
    }
    std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL), pd(NRV_PRINTERDATA_SIZE);
    BOOL built = cdm_SetDefaultDevmode(h, dm.data(), pd.data(), u"Scriva K350 (front desk)");
    WORD status = 0;
    LPWSTR model = cdddGetModelName(h, &status);
    std::printf("Model: %s\n", model ? Narrow(model).c_str() : "?");
    kcore_Free(model);
    std::printf("Defaults built: %s; our own devmode: %s\n", built ? "yes" : "no",
                cdm_IsDevmode(h, dm.data(), pd.data()) ? "yes" : "no");

    DEVMODEW pub;
    std::memcpy(&pub, dm.data(), sizeof pub);
    std::printf("\nStandard part (%u bytes, %u private):\n", pub.dmSize, pub.dmDriverExtra);
    std::printf("  dmDeviceName     %s\n", Wide(dm, 0, 32).c_str());
    WORD version = 0;
    std::memcpy(&version, dm.data() + 64, 2);
    std::printf("  version (64)     0x%X\n", version);
    std::printf("  dmDriverVersion  0x%X\n", pub.dmDriverVersion);
    std::printf("  dmFields         0x%08X\n", pub.dmFields);
    std::printf("  dmOrientation    %d\n", pub.dmOrientation);
    std::printf("  dmPaperSize      %d (%s, %.1f x %.1f mm)\n", pub.dmPaperSize, Wide(dm, 102, 32).c_str(),
                pub.dmPaperWidth / 10.0, pub.dmPaperLength / 10.0);
    std::printf("  dmCopies         %d\n", pub.dmCopies);
    std::printf("  dmDefaultSource  %d\n", pub.dmDefaultSource);
    std::printf("  dmPrintQuality   %d x %d dpi\n", pub.dmPrintQuality, pub.dmYResolution);
    std::printf("  dmColor          %d\n", pub.dmColor);
    std::printf("  dmDuplex         %d\n", pub.dmDuplex);
    std::printf("  dmTTOption       %d\n", pub.dmTTOption);
    std::printf("  dmCollate        %d\n", pub.dmCollate);
    std::printf("  dmICMMethod      %u\n", pub.dmICMMethod);
    std::printf("  model name       %s\n", Wide(dm, 224, 32).c_str());

    const char* kinds[] = {"devmode", "non-devmode record", "printer data"};
    for (WORD g = 0; g < 12; ++g) {
      const CDM_MEMBER_ENTRY* t = nullptr;
      WORD n = 0, kind = 0;
      if (!local_GetCdmDmDataFuncTbl(g, &t, &n, &kind)) break;
      std::printf("\nGroup %u (%s, %u members), members not 0:\n", g, kinds[kind], n);
      int col = 0;
      for (WORD i = 0; i < n; ++i) {
        WORD id = static_cast<WORD>(t[i].ddmId);
        if (i && t[i - 1].ddmId == id) continue;
        std::string v = ValueText(id, dm, pd);
        if (v.empty() || v == "0") continue;
        std::printf("%s%5u=%-8s", col == 0 ? "  " : " ", id, v.c_str());
        if (++col == 8) {
          std::printf("\n");
          col = 0;
        }
      }
      if (col) std::printf("\n");
    }
    rc = built ? 0 : 1;
  } while (false);
  if (h) cddd_Close(h);
  while (ddm_AccessCount() > 0) ddm_AccessEnd();
  if (host) FreeLibrary(host);
  kestrel::ddd_host::RemoveTempRoot(root);
  return rc;
}
