// The paper-data list of the user-mode build (see kestrel/core/papdat.h; the
// readers are papdat.cpp): the model's papers merged with the forms database.
#include <cstring>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/papdat.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kwindows.h"

#include "../common/papdat_modes.h"

using namespace papdat_modes;

namespace {

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

}  // namespace

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
