// The paper-data list: the model's papers merged with the forms database
// (see kestrel/core/papdat.h).
#include <cstring>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/papdat.h"
#include "kestrel/core/zanlib.h"
#if !defined(KESTREL_KERNEL_MODE)
#include "kplatform/kwindows.h"
#endif

namespace {

constexpr WORD kUserDefinedSize = 256;


DWORD Total(const PAPDAT_HEADER* h) { return static_cast<DWORD>(h->modelCount) + h->formCount; }

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

#if !defined(KESTREL_KERNEL_MODE)
constexpr WORD kFirstSlotPaper = 262;  // its size range bounds the forms offered

void SetName(PAPDAT_ENTRY* e, LPCWSTR name) {
  DWORD n = kp_WideLength(name);
  if (n > PAPDAT_NAME_CHARS - 1) n = PAPDAT_NAME_CHARS - 1;
  if (n) std::memcpy(e->name, name, n * sizeof(WCHAR));
  e->name[n] = 0;
}

// The model's default user-defined size in 0.1 mm.
bool DefaultUserSize(HCDDD handle, const DDD_PAPER* paper, DWORD* width, DWORD* length) {
  ULONG_PTR w = 0, l = 0;
  WORD tw = 0, tl = 0, status = 0;
  bool haveW = cdddGetDefaultDataInfo(handle, DDM_CUSTOMPAPERWIDTH, &w, &tw, &status);
  bool haveL = cdddGetDefaultDataInfo(handle, DDM_CUSTOMPAPERLENGTH, &l, &tl, &status);
  if (haveW && haveL && w && l) {
    *width = static_cast<DWORD>(w & 0xFFFF);
    *length = static_cast<DWORD>(l & 0xFFFF);
    return true;
  }
  *width = paper->paperLower.first;
  *length = paper->paperLower.second;
  return *width != 0 && *length != 0;
}

void FromForm(PAPDAT_ENTRY* e, const FORM_INFO_1W& form, WORD formId) {
  e->formId = formId;
  e->width = static_cast<DWORD>(form.Size.cx);
  e->length = static_cast<DWORD>(form.Size.cy);
  e->left = form.ImageableArea.left;
  e->top = form.ImageableArea.top;
  e->right = form.ImageableArea.right;
  e->bottom = form.ImageableArea.bottom;
}

const FORM_INFO_1W* FormByName(const FORM_INFO_1W* forms, DWORD count, LPCWSTR name, WORD* formId) {
  for (DWORD i = 0; i < count; ++i) {
    if (kp_WideEqual(forms[i].pName, name)) {
      *formId = static_cast<WORD>(i + 1);
      return &forms[i];
    }
  }
  return nullptr;
}

// Fills the model's papers; false when one cannot be read or has no form.
bool AddModelPapers(HCDDD handle, const FORM_INFO_1W* forms, DWORD formCount, PAPDAT_HEADER* h, WORD count) {
  for (WORD position = 1; position <= count; ++position) {
    void* record = nullptr;
    if (ddd_GetDataByIndexX(DDD_FULL, handle->main, handle->referenced, DDD_CAT_PAPER, position, &record) !=
            DDD_OK ||
        !record)
      return false;
    auto* paper = static_cast<DDD_PAPER*>(record);
    PAPDAT_ENTRY* e = &h->entries[h->modelCount];
    bool ok = true;
    e->paperId = paper->head.id;
    SetName(e, paper->name.str);
    if (paper->head.id == kUserDefinedSize) {
      DWORD w = 0, l = 0;
      ok = DefaultUserSize(handle, paper, &w, &l);
      e->formId = 0;
      e->width = w * 100;
      e->length = l * 100;
      e->left = static_cast<LONG>(paper->marginFirst.first) * 100;
      e->top = static_cast<LONG>(paper->marginFirst.second) * 100;
      e->right = static_cast<LONG>(w * 100) - static_cast<LONG>(paper->marginSecond.first) * 100;
      e->bottom = static_cast<LONG>(l * 100) - static_cast<LONG>(paper->marginSecond.second) * 100;
    } else if (paper->head.id >= 1 && paper->head.id <= formCount &&
               (forms[paper->head.id - 1].Flags & FORM_BUILTIN)) {
      FromForm(e, forms[paper->head.id - 1], paper->head.id);
    } else {
      WORD formId = 0;
      const FORM_INFO_1W* form = FormByName(forms, formCount, paper->name.str, &formId);
      if (form)
        FromForm(e, *form, formId);
      else
        ok = false;
    }
    ddd_Free(&record, DDD_KIND_ANY);
    if (!ok) return false;
    ++h->modelCount;
  }
  return true;
}

// The user-defined size limits (paper 262), thousandths of a millimetre.
bool UserLimits(HCDDD handle, DWORD* minW, DWORD* minL, DWORD* maxW, DWORD* maxL) {
  WORD count = ddd_GetNumOfData(handle->main, DDD_CAT_PAPER);
  for (WORD position = 1; position <= count; ++position) {
    void* record = nullptr;
    if (ddd_GetDataByIndexX(DDD_FULL, handle->main, handle->referenced, DDD_CAT_PAPER, position, &record) !=
        DDD_OK)
      return false;
    auto* paper = static_cast<DDD_PAPER*>(record);
    bool hit = paper->head.id == kFirstSlotPaper;
    if (hit) {
      *minW = paper->paperLower.first * 100u;
      *minL = paper->paperLower.second * 100u;
      *maxW = paper->paperUpper.first * 100u;
      *maxL = paper->paperUpper.second * 100u;
    }
    ddd_Free(&record, DDD_KIND_ANY);
    if (hit) return true;
  }
  return false;
}

bool IsModelPaperName(const PAPDAT_HEADER* h, LPCWSTR name) {
  for (WORD i = 0; i < h->modelCount; ++i)
    if (kp_WideEqual(h->entries[i].name, name)) return true;
  return false;
}
#endif

}  // namespace

#if !defined(KESTREL_KERNEL_MODE)
LONG PapDat_build(HCDDD handle, HANDLE printer, PAPDAT* object) {
  if (!object) return PAPDAT_NULLOBJECT;
  PapDat_free(object);
  if (!handle || !printer) return PAPDAT_BADARG;
  WORD capacity = static_cast<WORD>(ddd_GetPrinterInfo_orderedItem_Indirect(handle->main, 41, 2, 0));
  WORD modelCount = ddd_GetNumOfData(handle->main, DDD_CAT_PAPER);
  if (capacity == 0 || capacity < modelCount) return PAPDAT_BADARG;

  auto* h = static_cast<PAPDAT_HEADER*>(kcore_Alloc(sizeof(PAPDAT_HEADER)));
  PAPDAT_ENTRY* entries =
      h ? static_cast<PAPDAT_ENTRY*>(kcore_Alloc(static_cast<SIZE_T>(capacity) * sizeof(PAPDAT_ENTRY))) : nullptr;
  FORM_INFO_1W* forms = nullptr;
  DWORD bytes = 0, formCount = 0;
  bool ok = entries && MyEnumForms(printer, &forms, &bytes, &formCount) == FORMS_OK;
  if (ok) {
    h->entries = entries;
    ok = AddModelPapers(handle, forms, formCount, h, modelCount);
  }
  DWORD minW = 0, minL = 0, maxW = 0, maxL = 0;
  if (ok) ok = UserLimits(handle, &minW, &minL, &maxW, &maxL);
  if (ok) {
    for (DWORD i = 0; i < formCount && Total(h) < capacity; ++i) {
      const FORM_INFO_1W& form = forms[i];
      DWORD w = static_cast<DWORD>(form.Size.cx), l = static_cast<DWORD>(form.Size.cy);
      if (IsModelPaperName(h, form.pName) || w < minW || w > maxW || l < minL || l > maxL) continue;
      PAPDAT_ENTRY* e = &entries[Total(h)];
      FromForm(e, form, static_cast<WORD>(i + 1));
      SetName(e, form.pName);
      e->paperId = static_cast<WORD>(PAPDAT_FORMDB_FIRST_ID + h->formCount);
      ++h->formCount;
    }
  }
  kcore_Free(forms);
  if (!ok) {
    kcore_Free(entries);
    kcore_Free(h);
    return PAPDAT_BADARG;
  }
  object->list = h;
  return PAPDAT_OK;
}

LONG PapDat_init(HANDLE printer, PAPDAT* object, void* printerData) {
  if (!object) return PAPDAT_NULLOBJECT;
  object->list = nullptr;
  HCDDD handle = cddd_Open(printer);
  if (!handle) return PAPDAT_BADARG;
  HCDDD previous = object->ddd;
  object->ddd = handle;
  LONG result = PAPDAT_OK;
  if (PapDat_IsEnableFormDBSupport(object, printerData)) result = PapDat_build(handle, printer, object);
  object->ddd = previous;
  cddd_Close(handle);
  return result;
}
#endif

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
