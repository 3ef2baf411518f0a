// The list operations of the enumerated lists, which the shared handlers
// (cdm_lists.cpp) hand to the user-mode build (core/um/cdm_lists_um.cpp); the
// kernel-mode build has none. Private to the core.
#pragma once

#include "kestrel/core/cdm_lists.h"

namespace cdm_lists_modes {

bool IsListOperation(WORD operation, const CDM_MEMBER_ARGS* args);

// A face-name list: one item a family, its face name as name and value.
WORD ServeFaceNames(WORD operation, CDM_MEMBER_ARGS* args);

// The stamp-name list: a leading "none" entry, then the stored stamps.
WORD ServeStampNames(WORD operation, CDM_MEMBER_ARGS* args);

}  // namespace cdm_lists_modes
