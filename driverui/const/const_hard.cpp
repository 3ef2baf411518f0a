// The hard-coded rules: the rules written in code rather than in the device
// description, run by the update driver before the description's rules
// (see the decisions in kestrel/ui/constraint.h and driverui/README.md).
#include <cstring>

#include "kestrel/ui/constraint.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/byte_order.h"
#include "kplatform/kernel32_string.h"

namespace {

constexpr LONG kLayoutNormal = 0;
constexpr LONG kLayoutPoster = 1;
constexpr WORD kChangedRoom = 10;  // the driver's changed-id list starts with room for 10

LONG Decode(WORD type, const BYTE* p) {
  switch (type) {
    case 2: return kp_LoadI16(p);
    case 3: return kp_LoadU16(p);
    case 8: return p[0];
    default: return kp_LoadI32(p);
  }
}

bool IsNumber(WORD type) { return (type >= 1 && type <= 5) || type == 8 || type == 10; }

// A number setting's value: the proposed one when `id` is the changed id and
// a value is proposed, else the settings' own.
bool Number(const CONST_SETTINGS* s, const CONST_VALUE* proposed, WORD id, LONG* out) {
  if (proposed && proposed->ddmId == id && proposed->value) {
    if (!IsNumber(proposed->type)) return false;
    *out = Decode(proposed->type, static_cast<const BYTE*>(proposed->value));
    return true;
  }
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR slot = 0;
  if (ddm_GetValue(id, s->devmode, s->printerData, &type, &size, &slot) != 0 || !IsNumber(type)) return false;
  BYTE b[sizeof slot];
  std::memcpy(b, &slot, sizeof slot);
  *out = Decode(type, b);
  return true;
}

// Writes a number in the member's own type and records the id as changed.
WORD Write(const CONST_SETTINGS* s, WORD id, LONG value, WORD** changed, WORD* changedCount) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR slot = 0;
  if (ddm_GetValue(id, s->devmode, s->printerData, &type, &size, &slot) != 0 || !IsNumber(type)) return CONST_ERR;
  BYTE bytes[4];
  std::memcpy(bytes, &value, 4);
  if (cnstUtil_SetDevmodeValue(s, id, type, bytes) != CONST_OK) return CONST_ERR;
  if (changed && changedCount) return cnstUtil_AddWordArray(id, kChangedRoom, changed, changedCount);
  return CONST_OK;
}

// True when the description's own rules take the proposed value without
// asking the user (no rule, or only actions 0, 4 and 9).
bool ModelRulesAccept(HWND window, const CONST_SETTINGS* s, const CONST_VALUE* proposed) {
  ConstInfo* scratch = const_AllocConstData();
  if (!scratch) return false;
  WORD r = const_DDDUpdateConstData(proposed->value ? 1 : 2, window, s, proposed, nullptr, nullptr, scratch, nullptr,
                                    nullptr, 0);
  WORD a = scratch->action;
  const_FreeConstData(scratch);
  if (r == CONST_NORULE) return true;
  return r == CONST_OK && (a == 0 || a == 4 || a == 9);
}

struct Fix {
  WORD ddmId;
  LONG value;
  WORD message;  // string of the notice
};

// ---- The poster rule -----------------------------------------------------------

// Poster printing (layout 1) and more than one page a sheet exclude each
// other: the job only carries the poster and drops the page count.
bool PosterRule(const CONST_SETTINGS* s, const CONST_VALUE* p, Fix* fix) {
  if (p->ddmId != DDM_LAYOUTMODE && p->ddmId != DDM_NUP) return false;
  LONG layout = 0, nup = 0;
  if (!Number(s, p, DDM_LAYOUTMODE, &layout) || !Number(s, p, DDM_NUP, &nup)) return false;
  if (layout != kLayoutPoster || nup <= 1) return false;
  if (p->ddmId == DDM_LAYOUTMODE)
    *fix = {DDM_NUP, 1, CONST_STR_HARD_POSTER_NUP};
  else
    *fix = {DDM_LAYOUTMODE, kLayoutNormal, CONST_STR_HARD_NUP_POSTER};
  return true;
}

// ---- The output-bin rule --------------------------------------------------------

bool PaperSize(const CONST_SETTINGS* s, const CONST_VALUE* p, WORD* paper, DWORD* w, DWORD* l) {
  LONG id = 0;
  if (!Number(s, p, DDM_PAPERSIZE, &id) || id <= 0 || id > 0xFFFF) return false;
  *paper = static_cast<WORD>(id);
  if (*paper == DMPAPER_USER) return zanLib_GetUsrDefSize(s->devmode, s->printerData, w, l) != FALSE;
  WORD lw = 0, ll = 0, uw = 0, ul = 0, st = 0;
  if (!cdddGetPaperSize(s->ddd, DDM_PAPERSIZE, *paper, &lw, &ll, &uw, &ul, &st)) return false;
  *w = lw;
  *l = ll;
  return true;
}

// 1: the output bin of that value takes the paper; 0: it does not; -1: the
// bin's record cannot be read (the rule then stays out of the way).
int BinTakes(const CONST_SETTINGS* s, LONG bin, WORD paper, DWORD w, DWORD l) {
  WORD value = static_cast<WORD>(bin);
  DDD_VALUE dv = {};
  dv.type = 3;
  dv.size = 2;
  dv.count = 1;
  dv.data = &value;
  WORD cat = 0;
  void* item = nullptr;
  HCDDD ddd = s->ddd;
  if (ddma_GetDataX(DDD_FULL, ddd->main, ddd->referenced, DDM_OUTPUT_TRAY, &dv, &cat, &item) != DDD_OK || !item)
    return -1;
  WORD kind = 0;
  void* rec = nullptr;
  WORD r = ddma_GetRefDataX(DDD_FULL, ddd->main, ddd->referenced, item, &kind, &rec);
  ddd_Free(&item, cat);
  if (r != DDD_OK || !rec) return -1;
  int takes = -1;
  if (kind == DDD_CAT_TRAY2) {
    auto* t = static_cast<DDD_TRAY*>(rec);
    bool listed = t->papers.count == 0;
    for (WORD i = 0; i < t->papers.count && !listed; ++i) listed = t->papers.ids[i] == paper;
    bool fits = w >= t->lower.first && w <= t->upper.first && l >= t->lower.second && l <= t->upper.second;
    takes = listed && fits ? 1 : 0;
  }
  ddd_Free(&rec, kind);
  return takes;
}

// A paper change that the current output bin cannot take sends the output to
// the model's default bin, when that one takes the paper.
bool OutputBinRule(const CONST_SETTINGS* s, const CONST_VALUE* p, Fix* fix) {
  if (p->ddmId != DDM_PAPERSIZE) return false;
  WORD paper = 0;
  DWORD w = 0, l = 0;
  LONG bin = 0;
  if (!PaperSize(s, p, &paper, &w, &l) || !Number(s, p, DDM_OUTPUT_TRAY, &bin)) return false;
  if (BinTakes(s, bin, paper, w, l) != 0) return false;
  ULONG_PTR def = 0;
  WORD defType = 0, st = 0;
  if (!cdddGetDefaultDataInfo(s->ddd, DDM_OUTPUT_TRAY, &def, &defType, &st)) return false;
  if (!IsNumber(defType)) {
    cdddGetDefaultDataFree(def, defType);
    return false;
  }
  LONG defBin = static_cast<LONG>(def);
  if (defBin == bin || BinTakes(s, defBin, paper, w, l) != 1) return false;
  *fix = {DDM_OUTPUT_TRAY, defBin, CONST_STR_HARD_OUTPUT_BIN};
  return true;
}

void Notice(HWND window, const CONST_SETTINGS* s, WORD message) {
  WCHAR text[256] = {};
  if (resource_LoadString(message, text, 256) <= 0) return;
  cnstDDD_MsgConstraintsCHANGE_CONFIRM(window, s, text);
}

}  // namespace

WORD const_HardUpdateConstData(HWND window, const CONST_SETTINGS* settings, const CONST_VALUE* proposed,
                               const ConstInfo* previous, ConstInfo* info, WORD** changed, WORD* changedCount) {
  (void)previous;
  if (!settings || !settings->ddd || !settings->devmode || !settings->printerData || !proposed || !info)
    return CONST_ERR;
  Fix fix{};
  WORD related[2] = {};
  if (PosterRule(settings, proposed, &fix)) {
    related[0] = DDM_LAYOUTMODE;
    related[1] = DDM_NUP;
  } else if (OutputBinRule(settings, proposed, &fix)) {
    related[0] = DDM_PAPERSIZE;
    related[1] = DDM_OUTPUT_TRAY;
  } else {
    return CONST_NORULE;
  }
  // What the model's rules say of the proposed value comes first: when they
  // ask the user or refuse, nothing is written here (the change may yet be
  // cancelled, and a written correction would then be a lost setting).
  if (!ModelRulesAccept(window, settings, proposed)) return CONST_NORULE;
  WORD r = cnstUtil_MergeWordArray(CONST_ROOM_RELATED, &info->related, &info->relatedCount, related, 2);
  if (r) return r;
  r = Write(settings, fix.ddmId, fix.value, changed, changedCount);
  if (r) return r;
  Notice(window, settings, fix.message);
  return CONST_OK;
}
