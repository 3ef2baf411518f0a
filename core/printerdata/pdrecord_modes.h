// What the shared load of the printer-data record (pdrecord.cpp) and its
// user-mode and kernel-mode parts (core/um/pdrecord_um.cpp,
// core/km/pdrecord_km.cpp) call across files. Private to the core.
#pragma once

#include <cstddef>

#include "kestrel/core/printerdata.h"

namespace pdrecord_modes {

WORD HeadWord(const BYTE* record, size_t offset);

// An older stored record (size bytes) brought up to date into out.
bool Convert(HANDLE printer, HCDDD ddd, const BYTE* stored, DWORD size, BYTE* out);

// The load behind pd_GetPrinterDataEx; readFailed tells a stored copy that
// could not be read (an error of the printer data) from one that was read
// but is of no use (a record that cannot be converted).
BOOL LoadRecord(HANDLE printer, void* record, HCDDD ddd, DWORD* source, bool* readFailed);

#if !defined(KESTREL_KERNEL_MODE)
// Steps a-e of the load: the current user's settings into the stored block.
void LoadUserSettings(HANDLE printer, HCDDD ddd, BYTE* stored);
#endif

}  // namespace pdrecord_modes
