// The spooler's job calls for the job processor's fuzz targets
// (printer_double.cpp): every byte written is taken and dropped.
#pragma once

#include "printer_calls.h"

namespace kestrel::fuzz {
inline HANDLE const kDiscardPrinter = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x4B50));
}
