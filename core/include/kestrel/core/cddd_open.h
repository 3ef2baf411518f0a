// Opening the device description data for the driver: the handle of
// kestrel/core/cddd.h with the common library's seams of the reader (the
// driver directory for external strings and the model-dependent default
// overrides, zanLib_InstallDddSeams) installed before each open. The opening
// lives on the common library's floor because those seams come from it; the
// handle floor below opens with the seams as they stand (cddd_OpenDataFile).
#pragma once

#include "kestrel/core/cddd.h"

#if !defined(KESTREL_KERNEL_MODE)
// Opens the description data of the printer's driver; null when there is no
// file name or the data does not open.
HCDDD cddd_Open(HANDLE printer);
#else
// Opens the description data of the engine device's printer; null when there
// is no file name or the data does not open.
HCDDD cddd_Open(HDEV engineDevice);
#endif
// Opens the description data of a data file given by name (the kernel-mode
// renderer's road, and cddd_Open's after it found the name). The seams are
// installed first, whether the open succeeds or not.
HCDDD cddd_OpenFile(LPCWSTR dataFile);
