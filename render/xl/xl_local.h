// Helpers shared by the writer's sources.
#pragma once

#include "kestrel/render/xl.h"

// Every byte of the writer goes through here: 0, or -1 when the put failed.
int xl_put(XlContext* ctx, const void* bytes, DWORD n);
// Origin (0, 0), rotation 0, scale 1 x 1.
void xl_reset_convctm(XlConvCtm* ctm);

inline void xl_store_u16(BYTE* p, WORD v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
}
inline void xl_store_u32(BYTE* p, DWORD v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
  p[2] = static_cast<BYTE>(v >> 16);
  p[3] = static_cast<BYTE>(v >> 24);
}
