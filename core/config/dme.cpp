// Devmode emulation (see kestrel/core/dme.h). Reading the emulation tables
// from the configuration file differs between the builds (core/um/dme_um.cpp,
// core/km/dme_km.cpp): the kernel-mode build reads none.
#include "kestrel/core/dme.h"

#include <cstring>
#include <initializer_list>

#include "../common/config_util.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/preconfig.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kernel32_string.h"

#include "dme_modes.h"

using namespace dme_modes;

namespace {

constexpr Name kFieldsNames[] = {
    {u"ORIENTATION", DM_ORIENTATION},       {u"PAPERSIZE", DM_PAPERSIZE},
    {u"PAPERLENGTH", DM_PAPERLENGTH},       {u"PAPERWIDTH", DM_PAPERWIDTH},
    {u"SCALE", DM_SCALE},                   {u"COPIES", DM_COPIES},
    {u"DEFAULTSOURCE", DM_DEFAULTSOURCE},   {u"PRINTQUALITY", DM_PRINTQUALITY},
    {u"COLOR", DM_COLOR},                   {u"DUPLEX", DM_DUPLEX},
    {u"YRESOLUTION", DM_YRESOLUTION},       {u"TTOPTION", DM_TTOPTION},
    {u"COLLATE", DM_COLLATE},               {u"FORMNAME", DM_FORMNAME},
    {u"ICMMETHOD", KDM_FIELD_ICMMETHOD},    {u"ICMINTENT", KDM_FIELD_ICMINTENT},
    {u"MEDIATYPE", KDM_FIELD_MEDIATYPE},    {u"DITHERTYPE", KDM_FIELD_DITHERTYPE},
};
constexpr Name kCollateNames[] = {{u"COLLATE_TRUE", DMCOLLATE_TRUE}, {u"COLLATE_FALSE", DMCOLLATE_FALSE}};
constexpr Name kBinNames[] = {
    {u"AUTO", DMBIN_AUTO},
    {u"TRAY1", DMBIN_UPPER},
    {u"TRAY2", DMBIN_MIDDLE},
    {u"TRAY3", DMBIN_LOWER},
    {u"TRAY4", 257},
    {u"PRINTER", 259},
    {u"MANUAL", DMBIN_MANUAL},
    {u"MANUAL_CONFIRM", 260},
    {u"LARGECAPACITY", DMBIN_LARGECAPACITY},
    {u"LARGECAPACITY2", 268},
    {u"TRAY3_LARGE", 261},
    {u"TRAY4_LARGE", 262},
    {u"INTERPORSER", 264},
    {u"TRAY2-1", 265},
    {u"TRAY2-2", 266},
    {u"TRAY2-3", 267},
    {u"TRAY1_LCASSETTE", 269},
    {u"TRAY2_LCASSETTE", 270},
    {u"TRAY1_LARGE", 272},
    {u"TRAY2_LARGE", 271},
};
constexpr Name kMediaNames[] = {
    {u"PAPER_NORMAL", 0},   {u"PAPER_THICK", 1},    {u"PAPER_SUPERTHICK", 2},
    {u"PAPER_OHP", 3},      {u"PAPER_DEFINE1", 13}, {u"PAPER_DEFINE2", 14},
    {u"PAPER_DEFINE3", 15}, {u"PAPER_DEFINE4", 16}, {u"PAPER_DEFINE5", 17},
};

}  // namespace

namespace dme_modes {

constexpr FeatureDef kFeatures[DME_FEATURE_COUNT] = {
    {u"fields", 6, 0, DME_UNSET, DME_UNSET, DME_UNSET, DME_UNSET, kFieldsNames, 18, true, false},
    {u"collate", 18, kMerge | kDefault, 1, 0, DME_UNSET, DME_UNSET, kCollateNames, 2, true, false},
    {u"resolution", 14, kMerge | kMode | kDefault, 1, 0, 0, DME_UNSET, nullptr, 0, false, false},
    {u"bin", 13, kMerge | kDefault | kWindows, 1, 0, DME_UNSET, 0, kBinNames, 20, true, true},
    {u"media", 24, kMerge | kDefault | kWindows, 0, 0, DME_UNSET, 0, kMediaNames, 9, true, true},
    {u"color", 15, kMode, DME_UNSET, DME_UNSET, 0, DME_UNSET, nullptr, 0, false, false},
};

}  // namespace dme_modes

namespace {

const DME_HANDLE* Handle(const void* p) { return static_cast<const DME_HANDLE*>(p); }

bool Reserve(DME_FEATURE* f, WORD count) {
  if (count <= f->capacity) return true;
  WORD capacity = static_cast<WORD>(count < 8 ? 8 : (count > 0x7FFF ? 0xFFFF : count * 2));
  auto* entries = static_cast<DME_ENTRY*>(kcore_Alloc(sizeof(DME_ENTRY) * capacity));
  if (!entries) return false;
  if (f->count) std::memcpy(entries, f->entries, sizeof(DME_ENTRY) * f->count);
  kcore_Free(f->entries);
  f->entries = entries;
  f->capacity = capacity;
  return true;
}

}  // namespace

namespace dme_modes {

bool Append(DME_FEATURE* f, DWORD internalValue, DWORD externalValue) {
  if (f->count == 0xFFFF || !Reserve(f, static_cast<WORD>(f->count + 1))) return false;
  f->entries[f->count++] = DME_ENTRY{internalValue, externalValue, static_cast<BYTE>(internalValue != externalValue)};
  return true;
}

}  // namespace dme_modes

namespace {

void FreeFeatures(DME_HANDLE* h) {
  if (!h || !h->features) return;
  for (WORD i = 0; i < h->featureCount; ++i) kcore_Free(h->features[i].entries);
  kcore_Free(h->features);
  h->features = nullptr;
}

DWORD Convert(const DME_FEATURE& f, DWORD external) {
  for (WORD i = 0; i < f.count; ++i)
    if (f.entries[i].differs && f.entries[i].externalValue == external) return f.entries[i].internalValue;
  for (WORD i = 0; i < f.count; ++i)
    if (f.entries[i].externalValue == external) return f.entries[i].internalValue;
  if (f.defaultValue != DME_UNSET && f.defaultValue != 0) return f.defaultValue;
  return external;
}

}  // namespace

LONG dme_CreateDMEHandle(DME_HANDLE** out) {
  if (!out) return DME_ERR_ARG;
  *out = nullptr;
  auto* h = static_cast<DME_HANDLE*>(kcore_Alloc(sizeof(DME_HANDLE)));
  if (!h) return DME_ERR_MEMORY;
  h->featureCount = DME_FEATURE_COUNT;
  h->features = static_cast<DME_FEATURE*>(kcore_Alloc(sizeof(DME_FEATURE) * DME_FEATURE_COUNT));
  if (!h->features) {
    kcore_Free(h);
    return DME_ERR_MEMORY;
  }
  for (WORD i = 0; i < DME_FEATURE_COUNT; ++i) {
    const FeatureDef& def = kFeatures[i];
    DME_FEATURE& f = h->features[i];
    f.ddmId = def.ddmId;
    f.merge = def.merge;
    f.defaultValue = def.defaultValue;
    f.mode = def.mode;
    f.windowsValue = def.windowsValue;
    if (!def.initialEntries) continue;
    for (WORD k = 0; k < def.nameCount; ++k) {
      // fields: internal = the bit, external 0; the others: internal = external.
      DWORD v = def.names[k].value;
      if (!Append(&f, v, i == DME_FEATURE_FIELDS ? 0 : v)) {
        dme_ReleaseDMEHandle(h);
        return DME_ERR_MEMORY;
      }
      f.entries[f.count - 1].differs = 0;
    }
  }
  *out = h;
  return DME_OK;
}

void dme_ReleaseDMEHandle(DME_HANDLE* handle) {
  if (!handle) return;
  FreeFeatures(handle);
  kcore_Free(handle);
}

void DMETbl_DestroyDmeHandle(void* handle) { dme_ReleaseDMEHandle(static_cast<DME_HANDLE*>(handle)); }

BOOL dme_IsEnableDME(const void* handle) { return handle && Handle(handle)->enabled ? 1 : 0; }

BOOL dme_IsEnableFormDB(const void* handle) { return handle && Handle(handle)->formDbMode == 1 ? 1 : 0; }

LONG dme_GetMergeMode(const void* handle, WORD feature, WORD* merge) {
  if (!handle || !merge) return DME_ERR_ARG;
  if (feature < DME_FEATURE_COLLATE || feature > DME_FEATURE_MEDIA) return DME_ERR_FEATURE;
  *merge = Handle(handle)->features[feature].merge;
  return DME_OK;
}

LONG dme_GetModeFlag(const void* handle, WORD feature, WORD* mode) {
  if (!handle || !mode) return DME_ERR_ARG;
  if (feature != DME_FEATURE_RESOLUTION && feature != DME_FEATURE_COLOR) return DME_ERR_FEATURE;
  *mode = Handle(handle)->features[feature].mode;
  return DME_OK;
}

LONG dme_GetFields(const void* handle, DWORD dmFields, DWORD* fields) {
  if (!handle || !fields) return DME_ERR_ARG;
  const DME_FEATURE& f = Handle(handle)->features[DME_FEATURE_FIELDS];
  DWORD out = dmFields;
  for (WORD i = 0; i < f.count; ++i) {
    if (f.entries[i].externalValue == 1) out &= ~f.entries[i].internalValue;
    if (f.entries[i].externalValue == 2) out |= f.entries[i].internalValue;
  }
  *fields = out;
  return DME_OK;
}

LONG dme_ConvertToInternalValue(const void* handle, WORD feature, DWORD externalValue, DWORD* internalValue) {
  if (!handle || !internalValue || feature >= DME_FEATURE_COUNT) return DME_ERR_ARG;
  *internalValue = Convert(Handle(handle)->features[feature], externalValue);
  return DME_OK;
}

LONG dme_GetMergedFields(const void* handle, DWORD dmFields, SHORT collate, DWORD* fields) {
  if (!handle || !fields) return DME_ERR_ARG;
  DWORD out = 0;
  LONG r = dme_GetFields(handle, dmFields, &out);
  if (r != DME_OK) return r;
  const DME_FEATURE* features = Handle(handle)->features;
  struct Rule {
    WORD feature;
    DWORD bits;
  };
  constexpr Rule kRules[] = {{DME_FEATURE_COLLATE, DM_COLLATE},
                             {DME_FEATURE_RESOLUTION, DM_PRINTQUALITY | DM_YRESOLUTION},
                             {DME_FEATURE_BIN, DM_DEFAULTSOURCE},
                             {DME_FEATURE_MEDIA, KDM_FIELD_MEDIATYPE}};
  for (const Rule& rule : kRules) {
    WORD merge = features[rule.feature].merge;
    if (merge == 1) {
      out |= rule.bits;
    } else if (rule.feature == DME_FEATURE_COLLATE && merge == 2) {
      DWORD converted = Convert(features[DME_FEATURE_COLLATE], static_cast<DWORD>(static_cast<LONG>(collate)));
      if (converted == 0)
        out |= rule.bits;
      else
        out &= ~rule.bits;
    } else if (rule.feature == DME_FEATURE_COLLATE && merge != 0) {
      // any other collate merge mode leaves the bit as it is
    } else {
      out &= ~rule.bits;
    }
  }
  *fields = out;
  return DME_OK;
}

LONG dme_ConvertDevmode(const void* handle, void* devmode) {
  if (!handle || !devmode) return DME_ERR_ARG;
  for (WORD feature : {DME_FEATURE_COLLATE, DME_FEATURE_BIN, DME_FEATURE_MEDIA}) {
    const DME_FEATURE& f = Handle(handle)->features[feature];
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR value = 0;
    if (ddm_GetValue(f.ddmId, devmode, nullptr, &type, &size, &value) != 0) return DME_ERR_DDM;
    if (size == 0 || size > 4 || type == DDM_TYPE_STRING || type == DDM_TYPE_FONT) return DME_ERR_DDM;
    DWORD external = static_cast<DWORD>(value);
    if (type == DDM_TYPE_SHORT) external = static_cast<DWORD>(static_cast<LONG>(static_cast<SHORT>(value)));
    DWORD internalValue = Convert(f, external);
    BYTE bytes[4];
    for (DWORD i = 0; i < 4; ++i) bytes[i] = static_cast<BYTE>(internalValue >> (8 * i));
    if (ddm_SetValue(f.ddmId, devmode, nullptr, type, size, bytes) != 0) return DME_ERR_DDM;
  }
  return DME_OK;
}
