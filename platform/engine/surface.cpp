// Palettes and device surfaces.
#include "engine/engine_state.h"

namespace kp::engine {

struct Palette : Object {
  Palette() : Object(KP_ENGINE_PALETTES) {}
  ULONG mode = 0;
  std::vector<ULONG> colors;
  FLONG masks[3] = {0, 0, 0};
};

struct Surface : Object {
  Surface() : Object(KP_ENGINE_SURFACES) {}
  SURFOBJ record{};
  FLONG hooks = 0;
};

// The record of a surface, for the runner; null when the handle is none.
SURFOBJ* SurfaceRecord(HSURF hsurf) {
  auto s = FindAs<Surface>(hsurf, KP_ENGINE_SURFACES);
  return s ? &s->record : nullptr;  // lives in the table while the surface exists
}

}  // namespace kp::engine

using kp::engine::FindAs;
using kp::engine::Palette;
using kp::engine::Surface;

KP_API HPALETTE WINAPI EngCreatePalette(ULONG iMode, ULONG cColors, ULONG* pulColors, FLONG flRed, FLONG flGreen,
                                        FLONG flBlue) {
  auto p = std::make_shared<Palette>();
  p->mode = iMode;
  switch (iMode) {
    case PAL_INDEXED:
      if ((cColors > 0 && !pulColors) || cColors > 65536) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
      }
      if (cColors > 0) p->colors.assign(pulColors, pulColors + cColors);
      break;
    case PAL_BITFIELDS:
      if (flRed == 0 || flGreen == 0 || flBlue == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
      }
      p->masks[0] = flRed;
      p->masks[1] = flGreen;
      p->masks[2] = flBlue;
      break;
    case PAL_RGB:
    case PAL_BGR:
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
  return reinterpret_cast<HPALETTE>(kp::engine::Insert(p));
}

KP_API BOOL WINAPI EngDeletePalette(HPALETTE hpal) {
  if (!kp::engine::Remove(reinterpret_cast<uintptr_t>(hpal), KP_ENGINE_PALETTES)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

KP_API HSURF WINAPI EngCreateDeviceSurface(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat) {
  if (sizl.cx <= 0 || sizl.cy <= 0 || iFormatCompat < BMF_1BPP || iFormatCompat > BMF_8RLE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto s = std::make_shared<Surface>();
  auto handle = reinterpret_cast<HSURF>(kp::engine::Insert(s));
  s->record.dhsurf = dhsurf;
  s->record.hsurf = handle;
  s->record.sizlBitmap = sizl;
  s->record.iBitmapFormat = iFormatCompat;
  s->record.iType = STYPE_DEVICE;
  s->record.iUniq = 1;
  return handle;
}

KP_API BOOL WINAPI EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks) {
  auto s = FindAs<Surface>(hsurf, KP_ENGINE_SURFACES);
  auto d = FindAs<kp::engine::Device>(hdev, KP_ENGINE_DEVICES);
  if (!s || !d) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  s->record.hdev = hdev;
  s->record.dhpdev = d->dhpdev;
  s->hooks = flHooks;
  return TRUE;
}

KP_API BOOL WINAPI EngDeleteSurface(HSURF hsurf) {
  if (!kp::engine::Remove(reinterpret_cast<uintptr_t>(hsurf), KP_ENGINE_SURFACES)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

KP_API BOOL KpEngineQuerySurface(HSURF hsurf, KP_ENGINE_SURFACE_INFO* info) {
  auto s = FindAs<Surface>(hsurf, KP_ENGINE_SURFACES);
  if (!s || !info) {
    SetLastError(s ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  info->dhsurf = s->record.dhsurf;
  info->hdev = s->record.hdev;
  info->dhpdev = s->record.dhpdev;
  info->size = s->record.sizlBitmap;
  info->format = s->record.iBitmapFormat;
  info->hooks = s->hooks;
  return TRUE;
}
