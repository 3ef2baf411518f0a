// Devmode emulation of the user-mode build (see kestrel/core/dme.h; the shared
// part is dme.cpp): the emulation tables read from the configuration file.
#include "kestrel/core/dme.h"

#include "../common/config_util.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/preconfig.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kernel32_string.h"

#include "../config/dme_modes.h"

using namespace dme_modes;

namespace {

// Windows-value tables, taken when a feature's WindowsValue property is 1 in
// the configuration file (read in user mode only): {internal, Windows value}.
constexpr DWORD kBinWindows[][2] = {
    {7, 7},     {1, 14},    {1, 8},     {1, 9},     {3, 3},     {2, 2},     {257, 257}, {259, 259}, {4, 4},
    {4, 5},     {4, 6},     {4, 11},    {4, 10},    {260, 260}, {11, 11},   {268, 268}, {261, 261}, {262, 262},
    {264, 264}, {265, 265}, {266, 266}, {267, 267}, {269, 269}, {270, 270}, {272, 272}, {271, 271},
};
static_assert(sizeof(kBinWindows) / sizeof(kBinWindows[0]) == 26);
constexpr DWORD kMediaWindows[][2] = {{0, 1}, {1, 3}, {2, 2}, {3, 2}, {13, 13}, {14, 14}, {15, 15}, {16, 16}, {17, 17}};

// The value of the last entry of key that reads as a number.
bool LastValue(LPCWSTR entries, LPCWSTR key, DWORD* value) {
  WORD start = 1;
  bool found = false;
  for (;;) {
    LPWSTR text = nullptr;
    WORD at = CFG_GetCfgValueString(start, 0, entries, key, &text);
    if (!at) break;
    DWORD v = 0;
    if (zanLib_StringToDWORD(text, &v)) {
      *value = v;
      found = true;
    }
    kcore_Free(text);
    if (at == 0xFFFF) break;
    start = static_cast<WORD>(at + 1);
  }
  return found;
}

void SetProperty(DME_FEATURE* f, WORD* field, LPCWSTR entries, const char16_t* feature, const char16_t* property) {
  WCHAR key[64];
  wnsprintfW(key, 64, u"%s.%s=", feature, property);
  DWORD v = 0;
  if (!LastValue(entries, key, &v) || v > 0xFFFF) return;
  *field = static_cast<WORD>(v);
  f->changed = 1;
}

bool ReadFeature(DME_FEATURE* f, const FeatureDef& def, LPCWSTR entries) {
  if (def.properties & kMerge) SetProperty(f, &f->merge, entries, def.name, u"merge");
  if (def.properties & kMode) SetProperty(f, &f->mode, entries, def.name, u"mode");
  if (def.properties & kDefault) SetProperty(f, &f->defaultValue, entries, def.name, u"default");
  if (def.properties & kWindows) SetProperty(f, &f->windowsValue, entries, def.name, u"WindowsValue");

  if ((def.properties & kWindows) && f->windowsValue == 1) {
    const DWORD(*table)[2] = f->ddmId == 13 ? kBinWindows : kMediaWindows;
    WORD n = static_cast<WORD>(f->ddmId == 13 ? sizeof(kBinWindows) / sizeof(kBinWindows[0])
                                              : sizeof(kMediaWindows) / sizeof(kMediaWindows[0]));
    f->count = 0;
    for (WORD i = 0; i < n; ++i)
      if (!Append(f, table[i][0], table[i][1])) return false;
  }

  WCHAR key[64];
  for (WORD k = 0; k < def.nameCount; ++k) {
    wnsprintfW(key, 64, u"%s.%s=", def.name, def.names[k].name);
    DWORD internalValue = def.names[k].value;
    if (def.everyMatch) {
      WORD start = 1;
      for (;;) {
        LPWSTR text = nullptr;
        WORD at = CFG_GetCfgValueString(start, 0, entries, key, &text);
        if (!at) break;
        DWORD external = 0;
        bool ok = zanLib_StringToDWORD(text, &external);
        kcore_Free(text);
        if (ok) {
          f->changed = 1;
          DME_ENTRY* hit = nullptr;
          for (WORD i = 0; i < f->count && !hit; ++i)
            if (f->entries[i].externalValue == external) hit = &f->entries[i];
          if (hit) {
            hit->internalValue = internalValue;
            hit->differs = static_cast<BYTE>(hit->internalValue != hit->externalValue);
          } else if (!Append(f, internalValue, external)) {
            return false;
          }
        }
        if (at == 0xFFFF) break;
        start = static_cast<WORD>(at + 1);
      }
    } else {
      DWORD external = 0;
      if (!LastValue(entries, key, &external)) continue;
      f->changed = 1;
      for (WORD i = 0; i < f->count; ++i)
        if (f->entries[i].internalValue == internalValue) {
          f->entries[i].externalValue = external;
          break;
        }
    }
  }
  return true;
}

}  // namespace

void* DMETbl_CreateDmeHandle(LPCWSTR file, int section) {
  DME_HANDLE* h = nullptr;
  if (dme_CreateDMEHandle(&h) != DME_OK) return nullptr;
  WCHAR name[32];
  wnsprintfW(name, 32, u"%s,%d", DME_SECTION, section);
  if (!file || !CFG_IsExistTargetSection(file, name)) return h;
  h->enabled = 1;
  LPWSTR entries = CFG_GetSectionData(file, name);
  if (!entries) return h;
  bool ok = true;
  for (WORD i = 0; i < DME_FEATURE_COUNT && ok; ++i) ok = ReadFeature(&h->features[i], kFeatures[i], entries);
  DWORD mode = 0;
  if (ok && LastValue(entries, u"formdb.mode=", &mode) && mode <= 0xFF) h->formDbMode = static_cast<BYTE>(mode);
  kcore_Free(entries);
  if (!ok) {
    dme_ReleaseDMEHandle(h);
    return nullptr;
  }
  return h;
}
