// Helpers shared by the writer's sources.
#pragma once

#include "kestrel/render/xl.h"
#include "kplatform/byte_order.h"  // the language's numbers are little-endian

// Every byte of the writer goes through here: 0, or -1 when the put failed.
int xl_put(XlContext* ctx, const void* bytes, DWORD n);
// Origin (0, 0), rotation 0, scale 1 x 1.
void xl_reset_convctm(XlConvCtm* ctm);
