// The result block, word arrays, value comparison and action priorities of
// the constraint engine (see kestrel/ui/constraint.h).
#include <cstring>

#include "kestrel/ui/constraint.h"
#include "kplatform/byte_order.h"
#include "kplatform/kernel32_memory.h"
#include "kplatform/kernel32_string.h"

namespace {

void* AllocWords(size_t n) { return GlobalAlloc(GPTR, n * sizeof(WORD)); }

// Frees a grown array and points it back at its inline room.
void Reset(WORD** array, WORD* count, WORD capacity, WORD* room) {
  if (*count > capacity && *array != room) GlobalFree(*array);
  *array = room;
  *count = 0;
}

WORD CopyArray(WORD capacity, const WORD* ids, WORD n, WORD* room, WORD** array, WORD* count) {
  *array = room;
  *count = 0;
  return cnstUtil_MergeWordArray(capacity, array, count, ids, n);
}

}  // namespace

ConstInfo* const_AllocConstData(void) {
  auto* info = static_cast<ConstInfo*>(GlobalAlloc(GPTR, sizeof(ConstInfo)));
  if (!info) return nullptr;
  info->rule7 = info->rule7Room;
  info->rule8 = info->rule8Room;
  info->related = info->relatedRoom;
  return info;
}

BOOL const_FreeConstData(ConstInfo* info) {
  if (!info) return FALSE;
  cnstUtil_ClearConstInfo(info);
  GlobalFree(info);
  return TRUE;
}

void cnstUtil_ClearConstInfo(ConstInfo* info) {
  if (!info) return;
  if (info->rule7) Reset(&info->rule7, &info->rule7Count, CONST_ROOM_RULES, info->rule7Room);
  if (info->rule8) Reset(&info->rule8, &info->rule8Count, CONST_ROOM_RULES, info->rule8Room);
  if (info->related) Reset(&info->related, &info->relatedCount, CONST_ROOM_RELATED, info->relatedRoom);
  std::memset(info, 0, sizeof(*info));
  info->rule7 = info->rule7Room;
  info->rule8 = info->rule8Room;
  info->related = info->relatedRoom;
}

WORD cnstUtil_CopyConstInfo(ConstInfo* to, const ConstInfo* from) {
  if (!to || !from) return CONST_ERR;
  cnstUtil_ClearConstInfo(to);
  to->changed = from->changed;
  to->action = from->action;
  WORD r = CopyArray(CONST_ROOM_RULES, from->rule7, from->rule7Count, to->rule7Room, &to->rule7, &to->rule7Count);
  if (!r) r = CopyArray(CONST_ROOM_RULES, from->rule8, from->rule8Count, to->rule8Room, &to->rule8, &to->rule8Count);
  if (!r)
    r = CopyArray(CONST_ROOM_RELATED, from->related, from->relatedCount, to->relatedRoom, &to->related,
                  &to->relatedCount);
  if (r) cnstUtil_ClearConstInfo(to);
  return r;
}

// An array holds its ids in the caller's inline room of `capacity` ids until
// it is full; from then on in blocks of its own whose room grows in steps of
// five: capacity + 5, capacity + 10, ... A block is full when the count
// past the capacity is a multiple of five.
WORD cnstUtil_AddWordArray(WORD id, WORD capacity, WORD** array, WORD* count) {
  if (!array || !*array || !count) return CONST_ERR;
  WORD n = *count;
  for (WORD i = 0; i < n; ++i)
    if ((*array)[i] == id) return CONST_OK;
  bool full = n == capacity || (n > capacity && (n - capacity) % 5 == 0);
  if (full) {
    if (n == 0xFFFF) return CONST_NOMEM;
    size_t room = static_cast<size_t>(capacity) + 5u * ((n - capacity) / 5u + 1u);
    auto* block = static_cast<WORD*>(AllocWords(room));
    if (!block) return CONST_NOMEM;
    std::memcpy(block, *array, static_cast<size_t>(n) * sizeof(WORD));
    if (n > capacity) GlobalFree(*array);  // the old block was ours, not the inline room
    *array = block;
  }
  (*array)[n] = id;
  *count = static_cast<WORD>(n + 1);
  return CONST_OK;
}

WORD cnstUtil_MergeWordArray(WORD capacity, WORD** array, WORD* count, const WORD* ids, WORD n) {
  if (!array || !count || (n && !ids)) return CONST_ERR;
  for (WORD i = 0; i < n; ++i) {
    WORD r = cnstUtil_AddWordArray(ids[i], capacity, array, count);
    if (r) return r;
  }
  return CONST_OK;
}

WORD cnstUtil_WriteConstInfo(WORD pass, ConstInfo* info, WORD dataId) {
  if (!info) return CONST_ERR;
  if (pass == 0) return cnstUtil_AddWordArray(dataId, CONST_ROOM_RULES, &info->rule7, &info->rule7Count);
  return cnstUtil_AddWordArray(dataId, CONST_ROOM_RULES, &info->rule8, &info->rule8Count);
}

void cnstUtil_FreeWordList(WORD* list, WORD count, WORD capacity) {
  if (list && count > capacity) GlobalFree(list);
}

// ---- Comparison ------------------------------------------------------------

namespace {

LONGLONG Number(WORD type, const void* p) {
  switch (type) {
    case 2: return kp_LoadI16(p);
    case 3: return kp_LoadU16(p);
    case 4:
    case 10: return kp_LoadI32(p);
    case 1:
    case 5: return kp_LoadU32(p);
    case 8:
      return *static_cast<const BYTE*>(p);
    default:
      return 0;
  }
}

}  // namespace

WORD cnstUtil_CompareDevmodeValue(BYTE op, WORD firstType, const void* first, WORD secondType, const void* second) {
  if (!first || !second) return CONST_CMP_MISSING;
  if (firstType != secondType) return CONST_CMP_TYPES;
  if (firstType == 7 || firstType == 9 || firstType < 1 || firstType > 10) return CONST_CMP_BADTYPE;
  if (op > 12) return CONST_CMP_BADOP;
  bool equality = op != 3 && op != 4 && op != 5 && op != 6;
  if ((firstType == 1 || firstType == 6) && !equality) return CONST_CMP_BADOP;
  int order;
  if (firstType == 6) {
    int c = lstrcmpW(static_cast<LPCWSTR>(first), static_cast<LPCWSTR>(second));
    order = c < 0 ? -1 : (c > 0 ? 1 : 0);
  } else {
    LONGLONG a = Number(firstType, first), b = Number(firstType, second);
    order = a < b ? -1 : (a > b ? 1 : 0);
  }
  bool holds;
  switch (op) {
    case 2: holds = order != 0; break;
    case 3: holds = order > 0; break;
    case 4: holds = order >= 0; break;
    case 5: holds = order < 0; break;
    case 6: holds = order <= 0; break;
    default: holds = order == 0; break;
  }
  return holds ? CONST_CMP_TRUE : CONST_CMP_FALSE;
}

// ---- Actions -------------------------------------------------------------------

WORD cnstUtil_ActionPriority(WORD action) {
  switch (action) {
    case 6: return 900;
    case 1: return 800;
    case 7: return 700;
    case 8: return 600;
    case 15: return 590;
    case 14: return 580;
    case 12: return 555;
    case 10: return 550;
    case 13: return 545;
    case 11: return 540;
    case 2: return 500;
    case 5: return 400;
    case 3: return 300;
    case 9: return 270;
    case 4: return 200;
    case 0: return 100;
    default: return 0;
  }
}

WORD cnstUtil_UpdateAction(WORD current, WORD next) {
  if (next == 0) return current;
  WORD p = cnstUtil_ActionPriority(next);
  if (p == 0) return current;
  return p > cnstUtil_ActionPriority(current) ? next : current;
}
