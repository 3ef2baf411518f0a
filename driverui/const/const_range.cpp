// The range of a range setting, the message builders of the range check and
// its message box (see kestrel/ui/constraint.h).
#include <cstring>

#include "kestrel/ui/constraint.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/ui/uiwindata.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/byte_order.h"
#include "kplatform/kernel32_string.h"
#include "kplatform/user32_messagebox.h"

namespace {

bool ToLong(const DDD_VALUE& v, LONG* out) {
  if (!v.data || v.count == 0) return false;
  const BYTE* p = static_cast<const BYTE*>(v.data);
  switch (v.type) {
    case DDD_TYPE_SHORT:
      if (v.size < 2) return false;
      *out = kp_LoadI16(p);
      return true;
    case DDD_TYPE_USHORT:
      if (v.size < 2) return false;
      *out = kp_LoadU16(p);
      return true;
    case DDD_TYPE_BYTE:
      if (v.size < 1) return false;
      *out = p[0];
      return true;
    case DDD_TYPE_BOOL:
    case DDD_TYPE_LONG:
    case DDD_TYPE_ULONG:
    case DDD_TYPE_DWORD: {
      if (v.size < 4) return false;
      *out = kp_LoadI32(p);
      return true;
    }
    default: return false;
  }
}

bool IsSignedType(WORD type) { return type == DDD_TYPE_SHORT || type == DDD_TYPE_LONG || type == DDD_TYPE_DWORD; }

// Replaces the first three %s of `format` by the three texts; FALSE when the
// result does not fit into out or the format holds another directive.
BOOL Fill(LPCWSTR format, const LPCWSTR texts[3], LPWSTR out, int cch) {
  int k = 0, used = 0;
  auto put = [&](WCHAR c) {
    if (k + 1 >= cch) return false;
    out[k++] = c;
    return true;
  };
  for (const WCHAR* f = format; *f; ++f) {
    if (*f != u'%') {
      if (!put(*f)) return FALSE;
      continue;
    }
    if (f[1] == u'%') {
      if (!put(u'%')) return FALSE;
      ++f;
      continue;
    }
    if (f[1] != u's' || used >= 3) return FALSE;
    for (const WCHAR* t = texts[used]; *t; ++t)
      if (!put(*t)) return FALSE;
    ++used;
    ++f;
  }
  out[k] = 0;
  return TRUE;
}

}  // namespace

int cnsMkMsg_FormatNumber(LONG value, BOOL isSigned, WORD decimals, LPWSTR out, int cch) {
  if (!out || cch <= 0) return 0;
  out[0] = 0;
  if (decimals > 9) return 0;
  WCHAR text[64] = {};
  int n;
  if (decimals == 0) {
    n = isSigned ? wnsprintfW(text, 64, u"%ld", value) : wnsprintfW(text, 64, u"%lu", static_cast<DWORD>(value));
  } else {
    DWORD scale = 1;
    for (WORD i = 0; i < decimals; ++i) scale *= 10;
    bool negative = isSigned && value < 0;
    // The magnitude in 32 bits: -2^31 as a signed value is 2^31 unsigned.
    DWORD magnitude = negative ? 0u - static_cast<DWORD>(value) : static_cast<DWORD>(value);
    DWORD whole = magnitude / scale, fraction = magnitude % scale;
    // The zeros that lead the fraction: one fewer than its missing digits.
    WCHAR zeros[10] = {};
    int digits = 1;
    for (DWORD f = fraction; f >= 10; f /= 10) ++digits;
    int z = 0;
    for (; z < decimals - digits; ++z) zeros[z] = u'0';
    zeros[z] = 0;
    WCHAR* at = text;
    if (negative) *at++ = u'-';
    if (isSigned)
      n = wnsprintfW(at, 63, u"%ld.%s%ld", static_cast<LONG>(whole), zeros, static_cast<LONG>(fraction));
    else
      n = wnsprintfW(at, 63, u"%lu.%s%lu", whole, zeros, fraction);
    if (n >= 0 && negative) ++n;
  }
  if (n <= 0 || n >= cch) return 0;
  std::memcpy(out, text, (static_cast<size_t>(n) + 1) * sizeof(WCHAR));
  return n;
}

WORD cnstUtil_GetRange(HCDDD ddd, WORD ddmId, CONST_RANGE* range) {
  if (!ddd || !range) return CONST_ERR;
  *range = {};
  WORD method = 0, count = 0;
  LPCWSTR name = nullptr;
  void* list = nullptr;
  if (!cdddGetSelectItemInfo(ddd, ddmId, &method, &count, &name, &list, nullptr)) return CONST_ERR;
  bool isRange = (method == 4 || method == 6) && count >= 2;
  LPWSTR copy = nullptr;
  if (isRange && name) {
    size_t chars = static_cast<size_t>(lstrlenW(name)) + 1;
    copy = static_cast<LPWSTR>(kcore_Alloc(chars * sizeof(WCHAR)));
    if (copy) std::memcpy(copy, name, chars * sizeof(WCHAR));
  }
  bool hadName = name != nullptr;
  cdddSelectItemInfoFree(list);
  if (!isRange) return CONST_ERR;
  if (hadName && !copy) return CONST_NOMEM;

  LONG bounds[2] = {};
  WORD kind = 0, type = 0;
  for (WORD position = 1; position <= 2; ++position) {
    WORD category = 0;
    void* record = nullptr;
    if (ddma_GetItemDataX(DDD_QUICK, ddd->main, ddd->referenced, ddmId, position, &category, &record) != DDD_OK) {
      ddd_Free(&record, DDD_KIND_ANY);
      kcore_Free(copy);
      return CONST_ERR;
    }
    const DDD_VALUE& v = static_cast<DDD_OPTIONITEM*>(record)->value;
    bool ok = ToLong(v, &bounds[position - 1]);
    type = v.type;
    if (position == 1) kind = category;
    ddd_Free(&record, DDD_KIND_ANY);
    if (!ok) {
      kcore_Free(copy);
      return CONST_ERR;
    }
  }
  range->minimum = bounds[0];
  range->maximum = bounds[1];
  range->itemKind = kind;
  range->isSigned = IsSignedType(type);
  range->name = copy;
  return CONST_OK;
}

void cnstUtil_FreeRange(CONST_RANGE* range) {
  if (!range) return;
  kcore_Free(range->name);
  range->name = nullptr;
}

BOOL cnsMkMsg_Range(const CONST_RANGE* range, LPWSTR out, int cch) {
  if (!range || !out || cch <= 0) return FALSE;
  out[0] = 0;
  UINT id = range->itemKind == DDD_CAT_OPTIONITEM_INSTALL ? CONST_STR_RANGE_PRINTER : CONST_STR_RANGE_DOCUMENT;
  WCHAR format[256] = {};
  if (resource_LoadString(id, format, 256) <= 0) return FALSE;
  WCHAR low[32], high[32];
  if (!cnsMkMsg_FormatNumber(range->minimum, range->isSigned, 0, low, 32) ||
      !cnsMkMsg_FormatNumber(range->maximum, range->isSigned, 0, high, 32))
    return FALSE;
  const LPCWSTR texts[3] = {range->name ? range->name : u"", low, high};
  if (!Fill(format, texts, out, cch)) {
    out[0] = 0;
    return FALSE;
  }
  return TRUE;
}

WORD cnstMsg_Range(HWND window, const CONST_SETTINGS* settings, WORD ddmId) {
  WORD unit = 0;
  if (!settings || !settings->ddd || !uiGetPaperUnit(window, &unit)) return CONST_ERR;
  CONST_RANGE range;
  if (cnstUtil_GetRange(settings->ddd, ddmId, &range) != CONST_OK) return CONST_ERR;
  WCHAR text[512] = {};
  BOOL built = cnsMkMsg_Range(&range, text, 512);
  cnstUtil_FreeRange(&range);
  if (!built) return CONST_ERR;
  WCHAR caption[129] = {};
  resource_LoadString(CONST_STR_CAPTION, caption, 129);
  MessageBoxW(window, text, caption, MB_OK | MB_ICONEXCLAMATION);
  return CONST_REFUSED;
}
