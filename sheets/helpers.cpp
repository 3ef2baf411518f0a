// The helpers the handlers share (decisions at kestrel/sheets/sheet_controls.h).
#include <string>

#include "kestrel/core/cdm_lists.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_layout.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/sheets/sheet_controls.h"
#include "kestrel/sheets/sheet_engine.h"
#include "kestrel/ui/uitext.h"
#include "kplatform/kwindows.h"

namespace {
constexpr LONG kNoColour = -1;  // cdddGetPrinterColor: colour capability 0
constexpr WORD kTopTabItem = 16;  // a 16-bit printer-information item no other part reads
constexpr WORD kPrinterColour = 1, kPrinterMono = 2;

LONG RoundDiv(LONGLONG a, LONGLONG b) {
  if (b == 0) return static_cast<LONG>(a);
  LONGLONG q = (a >= 0) == (b > 0) ? (a + (b > 0 ? b : -b) / 2) / b : (a - (b > 0 ? b : -b) / 2) / b;
  return static_cast<LONG>(q);
}
}  // namespace

BOOL uiGetMinMax(UI_MSGINFO* msg, WORD ddmId, LONG* minimum, LONG* maximum) {
  if (!minimum || !maximum) return FALSE;
  CDM_SELECT_INFO* si = uiGetSelectInfo(msg, ddmId);
  const WORD method = si ? cdmGetSelMethod(si) : 0;
  if (method == CDM_SELECT_RANGE || method == CDM_SELECT_LIMITS) {
    const CDM_SELECT_ITEM* a = cdmGetSelectItemData(si, 0);
    const CDM_SELECT_ITEM* b = cdmGetSelectItemData(si, 1);
    if (!a || !b) return FALSE;
    WORD type = si->type ? si->type : 4;
    *minimum = cdmDmConvertINT(type, &a->value);
    *maximum = cdmDmConvertINT(type, &b->value);
    return TRUE;
  }
  // A text: its member's capacity in characters, less the NUL.
  const DDM_LAYOUT* layout = ddm_FindLayout(ddmId, nullptr, nullptr);
  if (layout && layout->type == DDM_TYPE_STRING && layout->bytes >= 2) {
    *minimum = 0;
    *maximum = layout->bytes / 2 - 1;
    return TRUE;
  }
  return FALSE;
}

LONG uiCalcSetData(const UI_CONVERT* convert, LONG value, WORD mode) {
  if (!convert || !convert->mul || !convert->div) return value;
  return mode == 2 ? RoundDiv(static_cast<LONGLONG>(value) * convert->mul, convert->div)
                   : RoundDiv(static_cast<LONGLONG>(value) * convert->div, convert->mul);
}

LONG uiMmInch(LONG value, WORD unit, WORD mode) {
  if (unit != UIWINDATA_UNIT_INCH) return value;
  return mode == 2 ? RoundDiv(static_cast<LONGLONG>(value) * 100, 254) : RoundDiv(static_cast<LONGLONG>(value) * 254, 100);
}

int uiNumtoStr(LONG value, LPWSTR out, int cch) {
  if (!out || cch <= 0) return 0;
  std::u16string s;
  unsigned long long m = value < 0 ? static_cast<unsigned long long>(-static_cast<long long>(value)) : value;
  do {
    s.insert(s.begin(), static_cast<char16_t>(u'0' + m % 10));
    m /= 10;
  } while (m);
  if (value < 0) s.insert(s.begin(), u'-');
  if (static_cast<int>(s.size()) + 1 > cch) {
    out[0] = 0;
    return 0;
  }
  lstrcpynW(out, reinterpret_cast<LPCWSTR>(s.c_str()), cch);
  return static_cast<int>(s.size());
}

int uiCom_FloatNumtoStr(LONG value, LPWSTR out, int cch) {
  if (!out || cch <= 0) return 0;
  long long a = value < 0 ? -static_cast<long long>(value) : value;
  WCHAR whole[24] = {};
  uiNumtoStr(static_cast<LONG>(a / 10), whole, 24);
  std::u16string s = value < 0 ? u"-" : u"";
  s += reinterpret_cast<const char16_t*>(whole);
  s += u'.';
  s += static_cast<char16_t>(u'0' + a % 10);
  if (static_cast<int>(s.size()) + 1 > cch) {
    out[0] = 0;
    return 0;
  }
  lstrcpynW(out, reinterpret_cast<LPCWSTR>(s.c_str()), cch);
  return static_cast<int>(s.size());
}

BOOL uiIsStr(LPCWSTR text, BOOL fraction) {
  if (!text) return FALSE;
  const char16_t* p = reinterpret_cast<const char16_t*>(text);
  if (*p == u'-') ++p;
  int digits = 0, points = 0;
  for (; *p; ++p) {
    if (*p >= u'0' && *p <= u'9') {
      ++digits;
    } else if (*p == u'.' && fraction && points == 0) {
      ++points;
    } else {
      return FALSE;
    }
  }
  return digits > 0;
}

BOOL uiMakeMsg(UINT id, const LPCWSTR* args, int count, LPWSTR out, int cch) {
  return uiFormatText(id, args, count, out, cch);
}

int uiMsgWindow(HWND owner, LPCWSTR text, UINT type) {
  WCHAR caption[129] = {};
  resource_LoadString(UI_STR_CAPTION, caption, 129);
  return MessageBoxW(owner, text, caption, type);
}

BOOL uiCom_CheckCapability(HCDDD ddd, DWORD flag) { return ddd && zanLib_CheckCapability_Indirect(ddd, flag); }

WORD uiCom_CheckPrinterSupportColor(HCDDD ddd) {
  if (!ddd) return kPrinterColour;
  return cdddGetPrinterColor(ddd) == kNoColour ? kPrinterMono : kPrinterColour;
}

WORD uiCom_GetTopTabType(HCDDD ddd) {
  if (!ddd || !ddd->main) return 0;
  if (ddd_GetPrinterInfo_numOfItem(ddd->main, kTopTabItem) == 0) return 0;
  return static_cast<WORD>(ddd_GetPrinterInfo_orderedItem_Indirect(ddd->main, kTopTabItem, 2, 0));
}
