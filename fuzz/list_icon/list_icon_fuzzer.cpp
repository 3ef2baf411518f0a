// An item image of the description data made into a list icon and its
// palette. The input is copied into a block of exactly its size, so a read
// past the image is caught; an icon that is made must fit the image.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kestrel/core/cdm_lists.h"
#include "kestrel/core/kcore_sys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  std::vector<BYTE> image(data, data + size);
  CDM_ICON* icon = nullptr;
  CDM_PALETTE* palette = nullptr;
  if (cdmCreateSelectItemIcon(nullptr, image.data(), static_cast<DWORD>(image.size()), &icon, &palette)) {
    if (!icon || icon->width <= 0 || icon->height <= 0) std::abort();
    uint64_t need = sizeof(CDM_BITMAPINFOHEADER) +
                    static_cast<uint64_t>(icon->colourStride + icon->maskStride) * static_cast<uint64_t>(icon->height);
    if (need > size) std::abort();
    if (palette && (palette->palVersion != 0x300 || palette->palNumEntries == 0)) std::abort();
  } else if (icon || palette) {
    std::abort();
  }
  cdmDestroySelectItemIcon(icon);
  kcore_Free(palette);
  CDM_PALETTE* alone = cdmDIBCreatePalette(image.data(), static_cast<DWORD>(image.size()));
  kcore_Free(alone);
  return 0;
}
