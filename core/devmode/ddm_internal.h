// Internal to the devmode core: the member handlers the descriptors name.
#pragma once

#include "kestrel/devmode.h"

// Handlers whose rule is fixed with the member layout. The handlers of the
// other descriptors (device name, dmFields, paper lists, stamp names, the
// user-defined papers and the rest) belong to default setting and the
// setting lists; until those are built their descriptors carry no handler
// and cdmDispatchMember answers CDM_RESULT_NOMEMBER for them.
WORD cdmHandler_SpecVersion(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_DevmodeSize(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_DriverExtra(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_DriverVersion(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_Orientation(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_Color(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_AcceptAll(WORD operation, CDM_MEMBER_ARGS* args);
