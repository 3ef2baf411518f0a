// The update driver, the rule passes over the device description's rules,
// the size checks, the messages and the solutions (see kestrel/ui/constraint.h).
#include <cstring>
#include <string>
#include <vector>

#include "kestrel/ui/constraint.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_layout.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/ui/uiwindata.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/byte_order.h"
#include "kplatform/kernel32_memory.h"
#include "kplatform/kernel32_string.h"
#include "kplatform/user32_messagebox.h"

namespace {

constexpr WORD kCaptionString = 265;
constexpr DWORD kHideErrorCapability = ZANLIB_CAP_BIT(48);
static_assert(kHideErrorCapability == static_cast<DWORD>(-65488));
constexpr WORD kCheckMask = 0x3C00;
constexpr WORD kUserSizeCheck = 4096;
constexpr WORD kGroupRoom = 10;  // ids of one condition group, and of the groups merged

// ---- Values ------------------------------------------------------------------

bool IsNumber(WORD type) { return ddm_NumberSize(type) != 0; }

// A value in a slot of the full width of its type; a string is copied (a
// description value's string is cut at its stride, so it is never read past
// its element).
struct Val {
  WORD type = 0;
  BYTE bytes[8] = {};
  std::u16string str;
  const void* ptr() const { return type == 6 ? static_cast<const void*>(str.c_str()) : bytes; }
};

Val StringVal(LPCWSTR p, size_t maxChars) {
  Val v;
  v.type = 6;
  size_t n = 0;
  while (n < maxChars && p[n]) ++n;
  v.str.assign(p, n);
  return v;
}

LONGLONG ReadLE(WORD type, const BYTE* p, size_t size) {
  BYTE b[8] = {};
  std::memcpy(b, p, size < 8 ? size : 8);
  DWORD u = kp_LoadU32(b);
  switch (type) {
    case 2: return static_cast<SHORT>(u & 0xFFFF);
    case 3: return u & 0xFFFF;
    case 4: case 10: return static_cast<LONG>(u);
    case 8: return u & 0xFF;
    default: return u;
  }
}

Val Make(WORD type, LONGLONG n) {
  Val v;
  v.type = type;
  DWORD u = static_cast<DWORD>(n);
  std::memcpy(v.bytes, &u, 4);  // little-endian: the low bytes hold the narrow types
  if (type == 2 || type == 3) std::memset(v.bytes + 2, 0, 6);
  if (type == 8) std::memset(v.bytes + 1, 0, 7);
  return v;
}

// Candidate number i of a description value.
Val Candidate(const DDD_VALUE& dv, WORD i) {
  const BYTE* p = static_cast<const BYTE*>(dv.data) + static_cast<size_t>(i) * dv.size;
  if (dv.type == 6) {
    // The element may sit at an odd offset: copy it character by character.
    std::u16string text;
    for (size_t k = 0; k + 1 < dv.size; k += 2) {
      char16_t c = kp_LoadU16(p + k);
      if (!c) break;
      text += c;
    }
    Val v;
    v.type = 6;
    v.str = std::move(text);
    return v;
  }
  return Make(dv.type, ReadLE(dv.type, p, dv.size));
}

// The value of a setting in the type `as` when both are numbers.
bool Current(const CONST_SETTINGS* s, const CONST_VALUE* proposed, WORD ddmId, WORD as, Val* out) {
  WORD type = 0;
  LONGLONG n = 0;
  if (proposed && proposed->value && proposed->ddmId == ddmId) {
    type = proposed->type;
    if (type == 6) {
      *out = StringVal(static_cast<LPCWSTR>(proposed->value), 0xFFFF);
      return true;
    }
    if (!IsNumber(type)) return false;
    n = ReadLE(type, static_cast<const BYTE*>(proposed->value), ddm_NumberSize(type));
  } else {
    DWORD size = 0;
    ULONG_PTR slot = 0;
    if (ddm_GetValue(ddmId, s->devmode, s->printerData, &type, &size, &slot) != 0) return false;
    if (type == 6) {
      if (!slot) return false;
      *out = StringVal(reinterpret_cast<LPCWSTR>(slot), size / 2);
      return true;
    }
    if (!IsNumber(type)) return false;
    BYTE b[sizeof(slot)];
    std::memcpy(b, &slot, sizeof(slot));
    n = ReadLE(type, b, ddm_NumberSize(type));
  }
  *out = Make(IsNumber(as) ? as : type, n);
  return true;
}

// ---- Rule records ----------------------------------------------------------------

struct Rule {
  DDD_CONSTRAINTS* rec = nullptr;
  WORD category = 0;
  ~Rule() {
    if (rec) {
      void* p = rec;
      ddd_Free(&p, category);
    }
  }
};

WORD ReadRule(HCDDD ddd, WORD category, WORD dataId, Rule* rule) {
  void* rec = nullptr;
  if (ddd_GetDataByIDX(DDD_FULL, ddd->main, ddd->referenced, category, dataId, 0, &rec) != DDD_OK || !rec)
    return CONST_ERR;
  rule->rec = static_cast<DDD_CONSTRAINTS*>(rec);
  rule->category = category;
  DDDFILE* file = rule->rec->head.file;
  if (DFILE_ExpandGroupedDevmodeValues(file, &rule->rec->target.value) != DDD_OK) return CONST_ERR;
  for (WORD i = 0; i < rule->rec->conditions.count; ++i)
    if (DFILE_ExpandGroupedDevmodeValues(file, &rule->rec->conditions.items[i].value) != DDD_OK) return CONST_ERR;
  for (WORD i = 0; i < rule->rec->solutions.count; ++i)
    if (DFILE_ExpandGroupedDevmodeValues(file, &rule->rec->solutions.items[i].value) != DDD_OK) return CONST_ERR;
  return CONST_OK;
}

WORD Count(const DDD_VALUE& v) { return v.data ? v.count : 0; }

// The value type of a setting's items (from its first item), 0 when unknown.
WORD ItemType(HCDDD ddd, WORD ddmId) {
  WORD cat = 0;
  void* rec = nullptr;
  if (ddma_GetItemDataX(DDD_QUICK, ddd->main, ddd->referenced, ddmId, 1, &cat, &rec) != DDD_OK || !rec) return 0;
  WORD type = 0;
  if (cat == DDD_CAT_OPTIONITEM_INSTALL || cat == DDD_CAT_OPTIONITEM_DOC)
    type = static_cast<DDD_OPTIONITEM*>(rec)->value.type;
  ddd_Free(&rec, cat);
  return type;
}

enum class Lists { kRead, kUnreadable, kOtherKind };

// The rule ids the setting names for the two passes: the option's lists, or,
// given a value, the lists of the item with that value.
Lists RuleLists(const CONST_SETTINGS* s, WORD ddmId, const Val* value, std::vector<WORD>* first,
               std::vector<WORD>* second) {
  HCDDD ddd = s->ddd;
  WORD cat = 0;
  void* rec = nullptr;
  DDD_VALUE dv = {};
  const DDD_VALUE* pv = nullptr;
  if (value) {
    dv.type = value->type;
    dv.count = 1;
    dv.owned = FALSE;
    if (value->type == 6) {
      dv.data = const_cast<char16_t*>(value->str.c_str());
      dv.size = static_cast<WORD>((value->str.size() + 1) * 2);
    } else {
      dv.data = const_cast<BYTE*>(value->bytes);
      dv.size = ddm_NumberSize(value->type);
    }
    pv = &dv;
  }
  if (ddma_GetDataX(DDD_FULL, ddd->main, ddd->referenced, ddmId, pv, &cat, &rec) != DDD_OK || !rec)
    return Lists::kUnreadable;
  Lists r = Lists::kRead;
  if (cat == DDD_CAT_OPTION_INSTALL || cat == DDD_CAT_OPTION_DOC) {
    auto* o = static_cast<DDD_OPTION*>(rec);
    first->assign(o->list2.ids, o->list2.ids + o->list2.count);
    second->assign(o->list3.ids, o->list3.ids + o->list3.count);
  } else if (cat == DDD_CAT_OPTIONITEM_INSTALL || cat == DDD_CAT_OPTIONITEM_DOC) {
    auto* it = static_cast<DDD_OPTIONITEM*>(rec);
    first->assign(it->list1.ids, it->list1.ids + it->list1.count);
    second->assign(it->list2.ids, it->list2.ids + it->list2.count);
  } else {
    r = Lists::kOtherKind;
  }
  ddd_Free(&rec, cat);
  return r;
}

// ---- Size checks -------------------------------------------------------------------

bool PaperSize(const CONST_SETTINGS* s, const CONST_VALUE* proposed, DWORD* width, DWORD* length, WORD* paperId) {
  Val v;
  if (!Current(s, proposed, DDM_PAPERSIZE, 2, &v)) return false;
  *paperId = static_cast<WORD>(ReadLE(2, v.bytes, 2));
  if (*paperId == DMPAPER_USER) return zanLib_GetUsrDefSize(s->devmode, s->printerData, width, length) != FALSE;
  WORD lw = 0, ll = 0, uw = 0, ul = 0, st = 0;
  if (!cdddGetPaperSize(s->ddd, DDM_PAPERSIZE, *paperId, &lw, &ll, &uw, &ul, &st)) return false;
  *width = lw;
  *length = ll;
  return true;
}

bool Outside(DWORD w, DWORD l, const DDD_POINT& lower, const DDD_POINT& upper) {
  return w < lower.first || w > upper.first || l < lower.second || l > upper.second;
}

// True when the rule applies under its size-check kind.
bool SizeCheck(const CONST_SETTINGS* s, const CONST_VALUE* proposed, const DDD_CONSTRAINTS* rule, const Val& candidate,
               bool haveCandidate) {
  WORD kind = rule->field & kCheckMask;
  DWORD w = 0, l = 0;
  WORD paper = 0;
  if (!PaperSize(s, proposed, &w, &l, &paper)) return false;
  HCDDD ddd = s->ddd;
  if (kind == kUserSizeCheck) {
    if (paper != DMPAPER_USER) return false;
    WORD lw = 0, ll = 0, uw = 0, ul = 0, st = 0;
    if (!cdddGetPaperSize(ddd, DDM_PAPERSIZE, DMPAPER_USER, &lw, &ll, &uw, &ul, &st)) return false;
    return Outside(w, l, {lw, ll}, {uw, ul});
  }
  // A tray kind: the tray named by the rule's value (or the current one).
  Val trayValue = candidate;
  if (!haveCandidate && !Current(s, proposed, rule->target.ddmId, rule->target.value.type, &trayValue)) return false;
  DDD_VALUE dv = {};
  dv.type = trayValue.type;
  dv.size = ddm_NumberSize(trayValue.type);
  dv.count = 1;
  dv.data = trayValue.bytes;
  WORD cat = 0;
  void* item = nullptr;
  if (ddma_GetDataX(DDD_FULL, ddd->main, ddd->referenced, rule->target.ddmId, &dv, &cat, &item) != DDD_OK || !item)
    return false;
  WORD kindOut = 0;
  void* tray = nullptr;
  WORD r = ddma_GetRefDataX(DDD_FULL, ddd->main, ddd->referenced, item, &kindOut, &tray);
  ddd_Free(&item, cat);
  if (r != DDD_OK || !tray) return false;
  bool applies = false;
  if (kindOut == DDD_CAT_TRAY || kindOut == DDD_CAT_TRAY2) {
    auto* t = static_cast<DDD_TRAY*>(tray);
    applies = Outside(w, l, t->lower, t->upper);
  }
  ddd_Free(&tray, kindOut);
  return applies;
}

// ---- Conditions --------------------------------------------------------------------

// 1 holds, 0 does not, 2 cannot be read.
WORD Entry(const CONST_SETTINGS* s, const CONST_VALUE* proposed, const DDD_ITEM& e) {
  WORD n = Count(e.value);
  if (n == 0) return e.op == 0 ? 1 : 0;
  Val cur;
  if (!Current(s, proposed, e.ddmId, e.value.type, &cur)) return 2;
  bool any = false, all = true;
  for (WORD i = 0; i < n; ++i) {
    Val c = Candidate(e.value, i);
    WORD cmp = cnstUtil_CompareDevmodeValue(e.op, c.type, c.ptr(), cur.type, cur.ptr());
    bool holds = cmp == CONST_CMP_TRUE;
    any = any || holds;
    all = all && holds;
  }
  return (e.op == 2 ? all : any) ? 1 : 0;
}

bool ModeSkips(WORD evalMode, WORD flags) {
  WORD bits = flags & 0x4300;
  switch (evalMode) {
    case 1: return (bits & 0x200) || bits >= 0x4000;
    case 2: return (bits & 0x100) || bits >= 0x4000;
    case 3: return bits < 0x4000;
    default: return false;
  }
}

// 3 (no conditions) or 1 (a group holds): the rule matches; 0 or 2: it does not.
WORD CheckRule(WORD evalMode, const CONST_SETTINGS* s, const CONST_VALUE* proposed, WORD changedId,
               const DDD_CONSTRAINTS* rule, const Val* candidate, const WORD* const* dimOut, ConstInfo* info,
               WORD* err) {
  const DDD_ITEMLIST& conds = rule->conditions;
  WORD kind = rule->field & kCheckMask;
  // Related ids.
  for (WORD i = 0; i < conds.count; ++i)
    if ((*err = cnstUtil_AddWordArray(conds.items[i].ddmId, CONST_ROOM_RELATED, &info->related, &info->relatedCount)))
      return 2;
  if (kind) {
    WORD ids[2] = {DDM_PAPERSIZE, rule->target.ddmId};
    if ((*err = cnstUtil_MergeWordArray(CONST_ROOM_RELATED, &info->related, &info->relatedCount, ids, 2))) return 2;
  }
  if (candidate) {
    if (rule->target.ddmId != changedId) return 2;
    Val cur;
    if (!Current(s, proposed, changedId, candidate->type, &cur)) return 2;
    WORD cmp = cnstUtil_CompareDevmodeValue(rule->target.op, candidate->type, candidate->ptr(), cur.type, cur.ptr());
    if (cmp == CONST_CMP_FALSE) return 0;
    if (cmp != CONST_CMP_TRUE) return 2;
  }
  if (ModeSkips(evalMode, rule->field)) return 0;
  if (conds.count == 0) return 3;
  WORD room[kGroupRoom] = {};
  WORD* ids = room;
  WORD idCount = 0;
  WORD links = 0;
  WORD r = cnstUtil_CheckConstAccept(evalMode, s, proposed, rule, dimOut, &ids, &idCount, &links);
  cnstUtil_FreeWordList(ids, idCount, kGroupRoom);
  return r;
}

// One pass over rules of one category. Answers 0, or 1 / 2 on a failure.
WORD Pass(WORD evalMode, WORD pass, const CONST_SETTINGS* s, const CONST_VALUE* proposed, WORD changedId,
          const std::vector<WORD>& ids, const WORD* const* dimOut, ConstInfo* info) {
  WORD category = pass == 0 ? DDD_CAT_CONSTRAINTS : DDD_CAT_CONSTRAINTS2;
  for (WORD id : ids) {
    Rule rule;
    if (ReadRule(s->ddd, category, id, &rule)) return CONST_ERR;
    const DDD_CONSTRAINTS* rec = rule.rec;
    const DDD_VALUE& tv = rec->target.value;
    WORD n = Count(tv);
    std::vector<Val> candidates;
    bool none = n == 0;
    if (none) {
      if (rec->target.op == 1) continue;
      if (rec->target.op != 0 && rec->target.op != 2) continue;
    } else if (n >= 2 && tv.size == 2 && rec->target.op == 1) {
      Val cur;
      if (!Current(s, proposed, changedId, tv.type, &cur)) continue;
      for (WORD i = 0; i < n; ++i) {
        Val c = Candidate(tv, i);
        if (cnstUtil_CompareDevmodeValue(1, c.type, c.ptr(), cur.type, cur.ptr()) == CONST_CMP_TRUE) {
          candidates.push_back(c);
          break;
        }
      }
      if (candidates.empty()) continue;
    } else {
      for (WORD i = 0; i < n; ++i) candidates.push_back(Candidate(tv, i));
    }
    size_t tests = none ? 1 : candidates.size();
    for (size_t t = 0; t < tests; ++t) {
      const Val* cand = none ? nullptr : &candidates[t];
      WORD err = 0;
      WORD r = CheckRule(evalMode, s, proposed, changedId, rec, cand, dimOut, info, &err);
      if (err) return err;
      if (r != 3 && r != 1) continue;
      if ((rec->field & kCheckMask) && !SizeCheck(s, proposed, rec, cand ? *cand : Val{}, cand != nullptr)) continue;
      if ((err = cnstUtil_WriteConstInfo(pass, info, id))) return err;
      info->action = cnstUtil_UpdateAction(info->action, rec->field & 0xFF);
      break;
    }
  }
  return CONST_OK;
}

bool InList(const WORD* list, WORD id) {
  for (; list && *list; ++list)
    if (*list == id) return true;
  return false;
}

bool Accepts(WORD action) { return action == 0 || action == 4 || action == 9; }

}  // namespace

// ---- Condition groups ----------------------------------------------------------------

BOOL cnstUtil_isDimoutConditions(const WORD* const* dimOut, const WORD* ids, WORD n) {
  if (!dimOut || !ids || n == 0) return FALSE;
  for (WORD i = 0; i < n; ++i) {
    bool dimmed = false;
    for (const WORD* const* list = dimOut; *list && !dimmed; ++list) dimmed = InList(*list, ids[i]);
    if (!dimmed) return FALSE;
  }
  return TRUE;
}

WORD cnstUtil_CheckConstAccept(WORD evalMode, const CONST_SETTINGS* settings, const CONST_VALUE* proposed,
                               const DDD_CONSTRAINTS* rule, const WORD* const* dimOut, WORD** ids, WORD* idCount,
                               WORD* links) {
  if (!settings || !rule || !ids || !*ids || !idCount || !links) return 2;
  const DDD_ITEMLIST& conds = rule->conditions;
  if (conds.count == 0) return 3;
  bool matched = false;
  WORD i = 0;
  while (i < conds.count) {
    bool ok = true;
    WORD room[kGroupRoom] = {};
    WORD* group = room;
    WORD groupCount = 0;
    WORD groupLinks = 0;
    WORD err = 0;
    for (;;) {
      const DDD_ITEM& e = conds.items[i];
      if (ok) {
        WORD r = Entry(settings, proposed, e);
        if (r == 2) err = 2;
        ok = r == 1;
        if (ok) {
          err = cnstUtil_AddWordArray(e.ddmId, kGroupRoom, &group, &groupCount);
          groupLinks |= e.connective;
        }
        if (err) ok = false;
      }
      ++i;
      if (err || e.connective != 2 || i >= conds.count) break;
    }
    if (!err && ok && !(evalMode == 1 && cnstUtil_isDimoutConditions(dimOut, group, groupCount))) {
      err = cnstUtil_MergeWordArray(kGroupRoom, ids, idCount, group, groupCount);
      if (!err) {
        *links |= groupLinks;
        matched = true;
      }
    }
    cnstUtil_FreeWordList(group, groupCount, kGroupRoom);
    if (err) return 2;
  }
  return matched ? 1 : 0;
}

// ---- The DDD step ------------------------------------------------------------------

WORD const_DDDUpdateConstData(WORD evalMode, HWND window, const CONST_SETTINGS* settings, const CONST_VALUE* proposed,
                              const WORD* idFilter, const ConstInfo* previous, ConstInfo* info, WORD** changed,
                              WORD* changedCount, WORD flag) {
  (void)changed;
  (void)changedCount;
  if (!settings || !settings->ddd || !proposed || !info) return CONST_ERR;
  WORD id = proposed->ddmId;
  if (idFilter && !InList(idFilter, id)) {
    bool related = false;
    for (WORD i = 0; previous && i < previous->relatedCount && !related; ++i)
      related = InList(idFilter, previous->related[i]);
    if (!related) return CONST_NORULE;
  }
  std::vector<WORD> first, second;
  Lists lists;
  if (flag == 1) {
    lists = RuleLists(settings, id, nullptr, &first, &second);
  } else {
    Val v;
    if (!Current(settings, proposed, id, ItemType(settings->ddd, id), &v)) return CONST_NORULE;
    lists = RuleLists(settings, id, &v, &first, &second);
  }
  if (lists == Lists::kUnreadable) return CONST_NORULE;
  if (lists == Lists::kOtherKind) return CONST_OK;
  // The pages' dim-out lists, when the sheet's user lacks permission.
  UIWINDATA* wd = uiGetWindowData(window);
  const WORD* const* dimOut = wd ? wd->dimOutLists : nullptr;
  WORD r = Pass(evalMode, 0, settings, proposed, id, first, dimOut, info);
  if (!r) r = Pass(evalMode, 1, settings, proposed, id, second, dimOut, info);
  return r;
}

// const_HardUpdateConstData: const_hard.cpp.

// ---- The driver --------------------------------------------------------------------

WORD const_UpdateConstDataX(WORD mode, HWND window, HCDDD ddd, void* devmode, void* printerData, const WORD* idFilter,
                            WORD ddmId, WORD type, const void* value, ConstInfo* info, WORD** changedIds, WORD flag) {
  if (changedIds) *changedIds = nullptr;
  if (!ddd || !devmode || !printerData || !info) return CONST_ERR;
  if (!window) {
    cnstUtil_ClearConstInfo(info);
    return CONST_ERR;
  }
  CONST_SETTINGS s = {ddd, devmode, printerData};
  CONST_VALUE proposed = {ddmId, type, value};
  CONST_VALUE current = {ddmId, type, nullptr};

  if (mode == 1 && value) {
    ConstInfo* scratch = const_AllocConstData();
    if (!scratch) return CONST_NOMEM;
    WORD r = const_DDDUpdateConstData(2, window, &s, &current, idFilter, info, scratch, nullptr, nullptr, flag);
    WORD a = scratch->action;
    if (r == CONST_OK && (a == 1 || a == 6 || a == 7 || a == 8) && (scratch->rule7Count || scratch->rule8Count)) {
      scratch->action = 0;
      WORD c = cnstUtil_CopyConstInfo(info, scratch);
      const_FreeConstData(scratch);
      return c ? c : CONST_OK;
    }
    const_FreeConstData(scratch);
  }

  ConstInfo* previous = const_AllocConstData();
  if (!previous) return CONST_NOMEM;
  WORD r = cnstUtil_CopyConstInfo(previous, info);
  if (r) {
    const_FreeConstData(previous);
    return r;
  }
  cnstUtil_ClearConstInfo(info);

  WORD changedRoom[10] = {};
  WORD* changed = changedRoom;
  WORD changedCount = 0;
  const CONST_VALUE* p = value ? &proposed : &current;
  WORD evalMode = value ? 1 : 2;

  WORD hard = const_HardUpdateConstData(window, &s, p, previous, info, &changed, &changedCount);
  bool evaluated = false;  // the description's rules were evaluated in this call
  if (hard != CONST_OK && hard != CONST_NORULE) {
    r = hard;
  } else {
    r = const_DDDUpdateConstData(evalMode, window, &s, p, idFilter, previous, info, &changed, &changedCount, flag);
    if (r == CONST_NORULE) {
      r = CONST_OK;
      if (hard == CONST_NORULE) {
        r = cnstUtil_CopyConstInfo(info, previous);
        info->changed = 0;  // nothing was written in this call
      }
    } else {
      evaluated = r == CONST_OK;
    }
  }

  // Mode 1 applies the solutions of rules (matched in this call) that ask
  // nothing of the user.
  if (evaluated && mode == 1 && Accepts(info->action) && (info->rule7Count || info->rule8Count)) {
    WORD room[CONST_ROOM_CHANGED] = {};
    WORD* list = room;
    WORD n = 0;
    WORD a = cnstDDD_ApplySolution(1, &s, &list, &n, info->rule7Count, info->rule7);
    if (a != CONST_ERR && a != CONST_NOMEM)
      a = cnstDDD_ApplySolution(0, &s, &list, &n, info->rule8Count, info->rule8);
    if (a == CONST_ERR || a == CONST_NOMEM) r = a;
    WORD m = 0;
    if (r == CONST_OK) m = cnstUtil_MergeWordArray(10, &changed, &changedCount, list, n);
    if (m) r = m;
    cnstUtil_FreeWordList(list, n, CONST_ROOM_CHANGED);
  }

  if ((r == CONST_OK || r == CONST_CHANGED) && changedCount > 0) {
    info->changed = changedCount;
    if (changedIds) {
      auto* out = static_cast<WORD*>(GlobalAlloc(GPTR, (static_cast<size_t>(changedCount) + 2) * sizeof(WORD)));
      if (!out) {
        r = CONST_NOMEM;
      } else {
        WORD k = 0;
        out[k++] = ddmId;
        for (WORD i = 0; i < changedCount; ++i)
          if (changed[i] != ddmId) out[k++] = changed[i];
        out[k] = 0;
        *changedIds = out;
      }
    }
  }
  cnstUtil_FreeWordList(changed, changedCount, 10);
  const_FreeConstData(previous);
  return r;
}

// ---- Checks by kind ------------------------------------------------------------------

WORD const_RangeCheckConstraints(HWND window, const CONST_SETTINGS* settings, const CONST_VALUE* proposed) {
  if (!settings || !settings->ddd || !proposed) return CONST_ERR;
  Val v;
  WORD as = ItemType(settings->ddd, proposed->ddmId);
  if (!Current(settings, proposed, proposed->ddmId, as, &v)) return CONST_ERR;
  DDD_VALUE dv = {};
  dv.type = v.type;
  dv.count = 1;
  if (v.type == 6) {
    dv.data = const_cast<char16_t*>(v.str.c_str());
    dv.size = static_cast<WORD>((v.str.size() + 1) * 2);
  } else {
    dv.data = v.bytes;
    dv.size = ddm_NumberSize(v.type);
  }
  if (cdddSearchItemData(settings->ddd, proposed->ddmId, &dv)) return CONST_ACCEPT;
  // A range setting's value out of its range: say which range holds (no box
  // without the window's UI data); refused either way.
  cnstMsg_Range(window, settings, proposed->ddmId);
  return CONST_REFUSED;
}

WORD const_CheckConstToChangeDevValue(HWND window, const CONST_SETTINGS* settings, const CONST_VALUE* proposed,
                                      WORD kind, WORD* outCode) {
  auto code = [&](WORD c) {
    if (outCode) *outCode = c;
  };
  switch (kind) {
    case 12:
    case 8: {
      WORD r = const_RangeCheckConstraints(window, settings, proposed);
      if (kind == 12 && r == CONST_ACCEPT) {
        code(1);
        return CONST_BYKIND;
      }
      return r;
    }
    case 16: {
      ConstInfo* info = const_AllocConstData();
      if (!info) return CONST_NOMEM;
      WORD r = const_HardUpdateConstData(window, settings, proposed, nullptr, info, nullptr, nullptr);
      const_FreeConstData(info);
      return r == CONST_OK ? CONST_CHANGED : r;  // a hard rule applied: it wrote its correction
    }
    case 1: return CONST_REFUSED;
    case 4:
    case 36:
    case 132: code(1); return CONST_BYKIND;
    case 68:
    case 100: code(4); return CONST_BYKIND;
    default: return CONST_ERR;
  }
}

// ---- Messages ------------------------------------------------------------------------

namespace {

// The message text of the first matched rule whose action is `action`.
bool RuleText(const CONST_SETTINGS* s, const ConstInfo* info, WORD action, std::u16string* text) {
  if (!s || !s->ddd || !info) return false;
  for (int pass = 0; pass < 2; ++pass) {
    WORD n = pass == 0 ? info->rule7Count : info->rule8Count;
    const WORD* ids = pass == 0 ? info->rule7 : info->rule8;
    for (WORD i = 0; i < n; ++i) {
      Rule rule;
      if (ReadRule(s->ddd, pass == 0 ? DDD_CAT_CONSTRAINTS : DDD_CAT_CONSTRAINTS2, ids[i], &rule)) continue;
      if ((rule.rec->field & 0xFF) != action) continue;
      if (rule.rec->message.str && rule.rec->message.str[0]) {
        *text = reinterpret_cast<const char16_t*>(rule.rec->message.str);
        return true;
      }
    }
  }
  return false;
}

int Box(HWND window, const std::u16string& text, UINT type) {
  WCHAR caption[129] = {};
  resource_LoadString(kCaptionString, caption, 129);
  return MessageBoxW(window, text.c_str(), caption, type);
}

}  // namespace

WORD constDDD_ActionConfirmMsg(HWND window, const CONST_SETTINGS* settings, const CONST_VALUE* changed,
                               const ConstInfo* info) {
  (void)changed;
  if (!info) return CONST_ERR;
  WORD action = info->action;
  if (action == 0 || action == 4 || action == 9) return CONST_ACCEPT;
  bool box = action == 2 || action == 3 || action == 5 || action == 7 || action == 8 ||
             (action >= 10 && action <= 13);
  if (!box) return CONST_ERR;
  WORD unit = 0;
  if (!uiGetPaperUnit(window, &unit)) return CONST_ERR;
  std::u16string text;
  bool built = RuleText(settings, info, action, &text);
  constexpr UINT kExclamation = MB_OK | MB_ICONEXCLAMATION;
  constexpr UINT kQuestion = MB_OKCANCEL | MB_ICONINFORMATION;
  switch (action) {
    case 2:
      if (settings && settings->ddd && zanLib_CheckCapability_Indirect(settings->ddd, kHideErrorCapability))
        return CONST_REFUSED;
      if (!built) text = u"This setting cannot be combined with the current settings.";
      Box(window, text, kExclamation);
      return CONST_REFUSED;
    case 3:
    case 5:
      if (!built) return CONST_REFUSED;
      return Box(window, text, kQuestion) == IDOK ? CONST_ACCEPT : CONST_REFUSED;
    case 8:
      if (!built) return CONST_NOTICE;
      return Box(window, text, kQuestion) == IDOK ? CONST_ACCEPT : CONST_NOTICE;
    case 7:
      if (!built) text = u"The option this setting needs is not installed.";
      Box(window, text, kExclamation);
      return CONST_NOTICE;
    default:  // 10-13
      if (!built) text = u"Stapling and punching cannot be combined in these positions.";
      Box(window, text, kExclamation);
      return CONST_REFUSED;
  }
}

WORD cnstDDD_MsgConstraintsCHANGE_CONFIRM(HWND window, const CONST_SETTINGS* settings, LPCWSTR text) {
  (void)settings;
  WORD unit = 0;
  if (!text || !uiGetPaperUnit(window, &unit)) return CONST_ERR;
  Box(window, reinterpret_cast<const char16_t*>(text), MB_OK | MB_ICONEXCLAMATION);
  return CONST_CHANGED;
}

// ---- Solutions -------------------------------------------------------------------------

WORD cnstUtil_SetDevmodeValue(const CONST_SETTINGS* s, WORD ddmId, WORD type, const void* value) {
  if (!s || !value) return CONST_ERR;
  DWORD size;
  if (type == 6)
    size = static_cast<DWORD>(lstrlenW(static_cast<LPCWSTR>(value)) * 2 + 2);
  else if (IsNumber(type))
    size = ddm_NumberSize(type);
  else
    return CONST_ERR;
  return ddm_SetValue(ddmId, s->devmode, s->printerData, type, size, value) == 0 ? CONST_OK : CONST_ERR;
}

namespace {

// Writes one value in the member's own type; adds its id to the list.
WORD WriteOne(const CONST_SETTINGS* s, WORD ddmId, const Val& v, WORD** changed, WORD* changedCount) {
  WORD memberType = 0;
  DWORD size = 0;
  ULONG_PTR slot = 0;
  if (ddm_GetValue(ddmId, s->devmode, s->printerData, &memberType, &size, &slot) != 0) return CONST_ERR;
  Val out = v;
  if (IsNumber(v.type) && IsNumber(memberType)) out = Make(memberType, ReadLE(v.type, v.bytes, ddm_NumberSize(v.type)));
  WORD r = cnstUtil_SetDevmodeValue(s, ddmId, out.type, out.ptr());
  if (r) return r;
  if (changed && changedCount) return cnstUtil_AddWordArray(ddmId, CONST_ROOM_CHANGED, changed, changedCount);
  return CONST_OK;
}

}  // namespace

WORD cnstDDD_ApplySolution(WORD kind7, const CONST_SETTINGS* settings, WORD** changed, WORD* changedCount, WORD n,
                           const WORD* dataIds) {
  if (!settings || !settings->ddd || (n && !dataIds)) return CONST_ERR;
  WORD category = kind7 ? DDD_CAT_CONSTRAINTS : DDD_CAT_CONSTRAINTS2;
  bool wrote = false;
  for (WORD i = 0; i < n; ++i) {
    Rule rule;
    if (ReadRule(settings->ddd, category, dataIds[i], &rule)) return CONST_ERR;
    const DDD_ITEMLIST& sol = rule.rec->solutions;
    for (WORD k = 0; k < sol.count; ++k) {
      const DDD_ITEM& e = sol.items[k];
      if (changed && *changed && changedCount && *changedCount && rule.rec->field == 3) {
        bool listed = false;
        for (WORD j = 0; j < *changedCount; ++j) listed = listed || (*changed)[j] == e.ddmId;
        if (!listed) continue;
      }
      if (Count(e.value) == 0) continue;
      WORD r = WriteOne(settings, e.ddmId, Candidate(e.value, 0), changed, changedCount);
      if (r) return r;
      wrote = true;
    }
  }
  return wrote ? CONST_CHANGED : CONST_REFUSED;
}

WORD cnstDDD_ApplySolutionData(const CONST_SETTINGS* settings, WORD** changed, WORD* changedCount, WORD n,
                               const CONST_SOLUTION_VALUE* values) {
  if (!settings || (n && !values)) return CONST_ERR;
  bool wrote = false;
  for (WORD i = 0; i < n; ++i) {
    if (!values[i].value) return CONST_ERR;
    Val v;
    if (values[i].type == 6) {
      v = StringVal(static_cast<LPCWSTR>(values[i].value), 0xFFFF);
    } else if (IsNumber(values[i].type)) {
      v = Make(values[i].type,
               ReadLE(values[i].type, static_cast<const BYTE*>(values[i].value), ddm_NumberSize(values[i].type)));
    } else {
      return CONST_ERR;
    }
    WORD r = WriteOne(settings, values[i].ddmId, v, changed, changedCount);
    if (r) return r;
    wrote = true;
  }
  return wrote ? CONST_CHANGED : CONST_REFUSED;
}
