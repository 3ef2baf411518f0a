// Internal to the devmode floor: the member handlers the descriptors of the
// member tables (cdm_members.cpp) name.
#pragma once

#include "kestrel/core/devmode.h"

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

// Default-setting and check handlers (cdm_defaults.cpp).
WORD cdmHandler_DeviceName(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_Fields(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_PaperLengthWidth(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_Scale(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_Copies(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_DefaultSource(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_ColorDefault(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_Duplex(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_TTOption(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_Collate(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_FormName(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_IcmMethod(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_IcmIntent(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_ModelName(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_StampName(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_StampFaceName(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_HeaderLogFont(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_HeaderFaceName(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_DefineSize(WORD operation, CDM_MEMBER_ARGS* args);
WORD cdmHandler_DefineName(WORD operation, CDM_MEMBER_ARGS* args);
