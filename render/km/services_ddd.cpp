// The renderer's additions to the description data reader (see
// kestrel/render/km_services.h): fields of the reader's tray, paper and font records
// read by name.
#include "kestrel/core/ddd.h"
#include "kestrel/render/km_services.h"

namespace {

constexpr WORD kOk = DDD_OK;
constexpr WORD kRefused = DDD_ERR_ARG;
constexpr LONG kDuplexFormat = 0x200;  // format version that brought the duplex fields

const DDD_HEAD* Head(const void* record) { return static_cast<const DDD_HEAD*>(record); }
bool KindIs(const void* record, WORD kind) { return record && Head(record)->kind == kind; }

}  // namespace

WORD ddd_GetTrayNRVArg(const void* record, WORD* nrvArg) {
  if (!nrvArg || !KindIs(record, DDD_CAT_TRAY)) return kRefused;
  *nrvArg = static_cast<const DDD_TRAY*>(record)->nrvArg;
  return kOk;
}

WORD ddd_GetTrayDuplexAvailability(const void* record, BYTE* duplex) {
  if (!duplex || !(KindIs(record, DDD_CAT_TRAY) || KindIs(record, DDD_CAT_TRAY2))) return kRefused;
  if (Head(record)->formatVersion < kDuplexFormat) return kRefused;
  *duplex = static_cast<const DDD_TRAY*>(record)->duplex;
  return kOk;
}

WORD ddd_GetPortraitArg(const void* record) {
  return KindIs(record, DDD_CAT_PAPER) ? static_cast<const DDD_PAPER*>(record)->portraitArg : 0;
}

WORD ddd_GetPaperDuplexAvailability(const void* record, BYTE* duplex, const DDD_POINT** duplexLower,
                                    const DDD_POINT** duplexUpper) {
  if (!duplex || !duplexLower || !duplexUpper || !KindIs(record, DDD_CAT_PAPER)) return kRefused;
  if (Head(record)->formatVersion < kDuplexFormat) return kRefused;
  const auto* paper = static_cast<const DDD_PAPER*>(record);
  *duplex = paper->duplex;
  *duplexLower = &paper->duplexLower;
  *duplexUpper = &paper->duplexUpper;
  return kOk;
}

DWORD ddd_GetXFMSize(const void* record) {
  return KindIs(record, DDD_CAT_FONT) ? static_cast<const DDD_FONT*>(record)->xfmSize : 0;
}
