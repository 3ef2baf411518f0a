// The paper-data list: the model's papers merged with the forms database
// (see kestrel/core/papdat.h). Building the list is user mode only
// (core/um/papdat_um.cpp); its readers are the same in both builds.
#include <cstring>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/papdat.h"
#include "kestrel/core/zanlib.h"

#include "papdat_modes.h"

using namespace papdat_modes;

namespace papdat_modes {

DWORD Total(const PAPDAT_HEADER* h) { return static_cast<DWORD>(h->modelCount) + h->formCount; }

}  // namespace papdat_modes

namespace {

bool HasUserDefinedSize(const PAPDAT_HEADER* h) {
  for (WORD i = 0; i < h->modelCount; ++i)
    if (h->entries[i].paperId == kUserDefinedSize) return true;
  return false;
}

LONG Answer(const PAPDAT_ENTRY& e, WORD what, void* out) {
  if (!out) return PAPDAT_BADARG;
  switch (what) {
    case PAPDAT_WHAT_PAPERID: *static_cast<WORD*>(out) = e.paperId; return PAPDAT_OK;
    case PAPDAT_WHAT_FORMID: *static_cast<WORD*>(out) = e.formId; return PAPDAT_OK;
    case PAPDAT_WHAT_NAME: *static_cast<LPCWSTR*>(out) = e.name; return PAPDAT_OK;
    case PAPDAT_WHAT_SIZE: {
      LONG size[2] = {static_cast<LONG>(e.width / 100), static_cast<LONG>(e.length / 100)};
      std::memcpy(out, size, sizeof size);
      return PAPDAT_OK;
    }
    default: return PAPDAT_BADARG;
  }
}

LONG Check(const PAPDAT* object) {
  if (!object) return PAPDAT_NULLOBJECT;
  if (!object->list || !object->list->entries) return PAPDAT_NOLIST;
  return PAPDAT_OK;
}

}  // namespace

void PapDat_free(PAPDAT* object) {
  if (!object || !object->list) return;
  kcore_Free(object->list->entries);
  kcore_Free(object->list);
  object->list = nullptr;
}

BOOL PapDat_IsSupportFormDBPapers(const PAPDAT* object) { return object && object->list; }

BOOL PapDat_IsEnableFormDBSupport(const PAPDAT* object, void* printerData) {
  if (!object || !object->ddd || !object->ddd->dme) return FALSE;
  const CDDD_ATTACH_OPS* ops = cddd_GetAttachOps();
  if (!ops || !ops->isEnableFormDB || !ops->isEnableFormDB(object->ddd->dme)) return FALSE;
  // The devmode emulation switch of the printer data, through the value access.
  LONG enabled = 0;
  return zanLib_ReadNumber(DDM_EMULATION, nullptr, printerData, &enabled) && enabled != 0;
}

LONG PapDat_getPaperNum(const PAPDAT* object, WORD* count, WORD which) {
  LONG r = Check(object);
  if (r != PAPDAT_OK) return r;
  if (!count) return PAPDAT_BADARG;
  const PAPDAT_HEADER* h = object->list;
  switch (which) {
    case 1: *count = h->modelCount; return PAPDAT_OK;
    case 2: *count = h->formCount; return PAPDAT_OK;
    case 3: *count = static_cast<WORD>(Total(h)); return PAPDAT_OK;
    case 4: *count = static_cast<WORD>(Total(h) - (HasUserDefinedSize(h) ? 1 : 0)); return PAPDAT_OK;
    default: return PAPDAT_BADARG;
  }
}

LONG PapDat_getPaperInfo(const PAPDAT* object, WORD keyKind, const void* key, WORD what, void* out) {
  LONG r = Check(object);
  if (r != PAPDAT_OK) return r;
  if (!key || !out || keyKind < 1 || keyKind > 3) return PAPDAT_BADARG;
  const PAPDAT_HEADER* h = object->list;
  for (DWORD i = 0; i < Total(h); ++i) {
    const PAPDAT_ENTRY& e = h->entries[i];
    bool hit = false;
    if (keyKind == PAPDAT_KEY_PAPERID) hit = e.paperId == *static_cast<const WORD*>(key);
    if (keyKind == PAPDAT_KEY_FORMID) hit = e.formId == *static_cast<const WORD*>(key);
    if (keyKind == PAPDAT_KEY_NAME) hit = kp_WideEqual(e.name, static_cast<LPCWSTR>(key));
    if (hit) return Answer(e, what, out);
  }
  return PAPDAT_NOTFOUND;
}

LONG PapDat_getPaperInfoByIndex(const PAPDAT* object, WORD index, WORD what, void* out) {
  LONG r = Check(object);
  if (r != PAPDAT_OK) return r;
  if (index >= Total(object->list)) return PAPDAT_NOTFOUND;
  return Answer(object->list->entries[index], what, out);
}

LONG PapDat_enumPaperInfo(const PAPDAT* object, WORD what, void** block, DWORD* bytes, BOOL includeCustom,
                          void** customElement) {
  if (block) *block = nullptr;
  if (bytes) *bytes = 0;
  if (customElement) *customElement = nullptr;
  LONG r = Check(object);
  if (r != PAPDAT_OK) return r;
  DWORD element = 0;
  switch (what) {
    case PAPDAT_WHAT_PAPERID: case PAPDAT_WHAT_FORMID: element = 2; break;
    case PAPDAT_WHAT_NAME: element = PAPDAT_NAME_CHARS * sizeof(WCHAR); break;
    case PAPDAT_WHAT_SIZE: element = 2 * sizeof(LONG); break;
    default: return PAPDAT_BADARG;
  }
  if (!block || !bytes) return PAPDAT_BADARG;
  const PAPDAT_HEADER* h = object->list;
  DWORD n = 0;
  for (DWORD i = 0; i < Total(h); ++i)
    if (includeCustom || h->entries[i].paperId != kUserDefinedSize) ++n;
  auto* out = static_cast<BYTE*>(kcore_Alloc(n ? static_cast<SIZE_T>(n) * element : 1));
  if (!out) return PAPDAT_BADARG;
  DWORD at = 0;
  for (DWORD i = 0; i < Total(h); ++i) {
    const PAPDAT_ENTRY& e = h->entries[i];
    if (!includeCustom && e.paperId == kUserDefinedSize) continue;
    BYTE* slot = out + static_cast<SIZE_T>(at) * element;
    if (what == PAPDAT_WHAT_PAPERID) std::memcpy(slot, &e.paperId, 2);
    if (what == PAPDAT_WHAT_FORMID) std::memcpy(slot, &e.formId, 2);
    if (what == PAPDAT_WHAT_NAME) std::memcpy(slot, e.name, element);
    if (what == PAPDAT_WHAT_SIZE) Answer(e, PAPDAT_WHAT_SIZE, slot);
    if (e.paperId == kUserDefinedSize && customElement) *customElement = slot;
    ++at;
  }
  *block = out;
  *bytes = n * element;
  return PAPDAT_OK;
}

LONG PapDat_GetPaperAreaInfo(const PAPDAT* object, WORD paperId, LONG size[2], LONG imageable[2],
                             LONG leftBottom[2], LONG rightTop[2]) {
  LONG r = Check(object);
  if (r != PAPDAT_OK) return r;
  const PAPDAT_HEADER* h = object->list;
  for (DWORD i = 0; i < Total(h); ++i) {
    const PAPDAT_ENTRY& e = h->entries[i];
    if (e.paperId != paperId) continue;
    LONG w = static_cast<LONG>(e.width), l = static_cast<LONG>(e.length);
    if (size) {
      size[0] = w / 100;
      size[1] = l / 100;
    }
    if (imageable) {
      imageable[0] = (e.right - e.left) / 100;
      imageable[1] = (e.bottom - e.top) / 100;
    }
    if (leftBottom) {
      leftBottom[0] = e.left / 100;
      leftBottom[1] = (l - e.bottom) / 100;
    }
    if (rightTop) {
      rightTop[0] = (w - e.right) / 100;
      rightTop[1] = e.top / 100;
    }
    return PAPDAT_OK;
  }
  return PAPDAT_NOTFOUND;
}
