// Registers the constraint engine with the all-settings sweep of the core
// (cdm_SetSweepOps in kestrel/core/cdm_values.h): the selection method of a member
// comes from its setting list head (local_CreateSelectInfoExceptItemInfo),
// the constraint data from const_AllocConstData, and the update of one
// member from const_UpdateConstDataX in mode 1 with the member's current
// value proposed.
//
// Decisions:
//  - Window: the engine refuses a null window, because its messages read the
//    UIWINDATA record of the window a change came from. The sweep passes
//    the caller's window through unchanged. When the caller has none (the
//    settings are swept outside a sheet), the adapter attaches a UIWINDATA
//    record of its own (the same description handle, devmode and printer
//    data, no printer, paper sizes in millimetres) to a private window for
//    the one update, and removes it afterwards.
//  - A member "changed" when the engine wrote at least one id (the
//    ConstInfo's changed count); the engine results 1 (failure) and 2 (no
//    memory) fail the sweep, every other result is an answer.
#pragma once

#include "kestrel/core/cdm_values.h"

// The operations registered; the same table on every call.
const CDM_SWEEP_OPS* kui_SweepOps(void);
// cdm_SetSweepOps(kui_SweepOps()).
void kui_RegisterSweep(void);
