// What the shared devmode emulation (dme.cpp) and its user-mode reading of the
// configuration file (core/um/dme_um.cpp) both use. Private to the core.
#pragma once

#include "kestrel/core/dme.h"

namespace dme_modes {

struct Name {
  const char16_t* name;
  DWORD value;
};

// Settable properties.
constexpr BYTE kMerge = 0x1, kMode = 0x2, kDefault = 0x4, kWindows = 0x8;

struct FeatureDef {
  const char16_t* name;
  WORD ddmId;
  BYTE properties;
  WORD merge, defaultValue, mode, windowsValue;
  const Name* names;
  WORD nameCount;
  bool initialEntries;  // the names give the initial entries
  bool everyMatch;      // every matching line of an internal name counts (bin, media)
};

extern const FeatureDef kFeatures[DME_FEATURE_COUNT];

bool Append(DME_FEATURE* f, DWORD internalValue, DWORD externalValue);

}  // namespace dme_modes
