// Input: one selector byte, then the bytes. Selector bit 0 clear: an XFM
// record (copied so that its end is the allocation's end) through
// xfm_CheckRecord, the width lookup of every 16-bit code, the metrics block
// (pntfmConvertXfmToNtm: widths, IFIMETRICS, kerning pairs, the copy) and
// GetDevfontInfo, and the bytes as a font id's text (HEXStr2DWORD); bit 0 set: a kestreltt.tmp file through the family-list
// reader. Properties: no read outside the record (the sanitizers); a width
// is -1 or not negative; a metrics block's names lie inside its IFIMETRICS
// and its kerning list ends with the zero pair.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "../fuzz_input.h"
#include "devfont.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/render/km_services.h"
#include "km_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrel::fuzz::Reader in{data, size};
  const uint8_t selector = in.Take<uint8_t>();
  std::vector<BYTE> bytes(in.p, in.p + in.n);
  const DWORD n = static_cast<DWORD>(bytes.size());
  if (selector & 1) {
    LPWSTR list = kmttf::ParseFamilyList(bytes.data(), n);
    if (list) {
      size_t chars = 0;
      for (LPCWSTR p = list; *p; p += kp_WideLength(p) + 1) chars += kp_WideLength(p) + 1;
      if (chars * 2 + 2 > n) std::abort();
      kcore_Free(list);
    }
    return 0;
  }
  std::vector<char> text(bytes.begin(), bytes.end());
  text.push_back(0);
  (void)HEXStr2DWORD(text.data());
  if (!xfm_CheckRecord(bytes.data(), n)) return 0;
  XFM_WIDTHINFO info;
  setNrvFontInfo(&info, bytes.data(), n);
  for (DWORD code = 0; code <= 0xFFFF; ++code)
    if (xfm_getCharWidth(&info, code) < -1) std::abort();

  auto pdev = std::make_unique<PDEV>();
  pdev->heap = HEAPCREATE();
  if (!pdev->heap) return 0;
  NTFM* ntfm = pntfmConvertXfmToNtm(pdev.get(), bytes.data(), n);
  if (ntfm) {
    IFIMETRICS* ifi = NTFM_Ifi(ntfm);
    const PTRDIFF names[] = {ifi->dpwszFamilyName, ifi->dpwszFaceName};
    for (PTRDIFF at : names)
      if (at < static_cast<PTRDIFF>(NTFM_IFI_FIXED) || at >= static_cast<PTRDIFF>(ifi->cjThis)) std::abort();
    const FD_KERNINGPAIR& last = NTFM_Kern(ntfm)[ntfm->sz.kernCount];
    if (last.wcFirst || last.wcSecond || last.fwdKern) std::abort();
    if (std::memcmp(NTFM_Xfm(ntfm), bytes.data(), n) != 0) std::abort();
  }
  DEVFONTINFO font{};
  GetDevfontInfo(pdev.get(), bytes.data(), n, u"Fuzz Face", "Fuzz", 0, &font);
  HEAPDESTROY(pdev->heap);
  return 0;
}
