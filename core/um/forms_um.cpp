// The spooler's forms database and the mapping of form ids to the model's
// paper ids (see kestrel/core/papdat.h).
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/papdat.h"

#include <cstring>

#include "kestrel/core/kcore_sys.h"
#include "kplatform/byte_order.h"
#include "kplatform/kwindows.h"

namespace {

constexpr WORD kPaperSizeDdmId = 8;

// A copy of the form at 1-based position formId (its name, when asked, as a
// new block); *status is a forms status.
bool FormAt(HANDLE printer, WORD formId, FORM_INFO_1W* form, LPWSTR* name, WORD* status) {
  FORM_INFO_1W* forms = nullptr;
  DWORD bytes = 0, count = 0;
  *status = MyEnumForms(printer, &forms, &bytes, &count);
  if (*status != FORMS_OK) return false;
  if (formId == 0 || formId > count) {
    kcore_Free(forms);
    *status = FORMS_NOTFOUND;
    return false;
  }
  std::memcpy(form, reinterpret_cast<BYTE*>(forms) + (formId - 1) * sizeof(FORM_INFO_1W), sizeof *form);
  if (name) {
    DWORD n = kp_WideLength(form->pName);
    *name = static_cast<LPWSTR>(kcore_Alloc((static_cast<SIZE_T>(n) + 1) * sizeof(WCHAR)));
    if (!*name) {
      kcore_Free(forms);
      *status = FORMS_BADARG;
      return false;
    }
    std::memcpy(*name, form->pName, n * sizeof(WCHAR));
  }
  form->pName = nullptr;  // points into the freed block
  kcore_Free(forms);
  *status = FORMS_OK;
  return true;
}

// The item's 16-bit value (the paper id of a paper-size item).
bool ItemPaperId(const DDD_GUIDATA* item, WORD* id) {
  if (!item || !item->value || item->valueSize < 2) return false;
  *id = kp_LoadU16(item->value);
  return true;
}

}  // namespace

WORD MyEnumForms(HANDLE printer, FORM_INFO_1W** forms, DWORD* bytes, DWORD* count) {
  if (forms) *forms = nullptr;
  if (bytes) *bytes = 0;
  if (count) *count = 0;
  if (!printer || !forms || !bytes || !count) return FORMS_BADARG;
  DWORD needed = 0, returned = 0;
  if (EnumFormsW(printer, 1, nullptr, 0, &needed, &returned) || GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
      needed == 0)
    return FORMS_SPOOLER;
  auto* block = static_cast<BYTE*>(kcore_Alloc(needed));
  if (!block) return FORMS_BADARG;
  if (!EnumFormsW(printer, 1, block, needed, &needed, &returned) || returned == 0) {
    kcore_Free(block);
    return FORMS_SPOOLER;
  }
  *forms = reinterpret_cast<FORM_INFO_1W*>(block);
  *bytes = needed;
  *count = returned;
  return FORMS_OK;
}

WORD GetDatabaseFormNameByID(HANDLE printer, WORD formId, LPWSTR* name) {
  if (name) *name = nullptr;
  if (!printer || !name) return FORMS_BADARG;
  FORM_INFO_1W form{};
  WORD status = 0;
  FormAt(printer, formId, &form, name, &status);
  return status;
}

LPWSTR GetFormNameByID(HANDLE printer, WORD formId) {
  LPWSTR name = nullptr;
  return GetDatabaseFormNameByID(printer, formId, &name) == FORMS_OK ? name : nullptr;
}

BOOL IsSystemBuiltinPaperID(HANDLE printer, WORD id) {
  FORM_INFO_1W form{};
  WORD status = 0;
  if (!printer || !FormAt(printer, id, &form, nullptr, &status)) return FALSE;
  return (form.Flags & FORM_BUILTIN) != 0;
}

BOOL CheckPaperIDinDDDByHandle(HCDDD handle, WORD paperId) {
  if (!handle) return FALSE;
  for (WORD position = 1; position != 0; ++position) {
    DDD_GUIDATA* item = nullptr;
    WORD status = 0;
    if (!cdddGetSelectItemData(handle, kPaperSizeDdmId, position, &item, &status)) return FALSE;
    WORD id = 0;
    bool hit = ItemPaperId(item, &id) && id == paperId;
    cdddSelectItemDataFree(item);
    if (hit) return TRUE;
  }
  return FALSE;
}

BOOL CheckPaperIDinDDD(HANDLE printer, WORD paperId) {
  HCDDD handle = cddd_Open(printer);
  if (!handle) return FALSE;
  BOOL found = CheckPaperIDinDDDByHandle(handle, paperId);
  cddd_Close(handle);
  return found;
}

WORD form_GetPaperIDByFormIDByHandle(HCDDD handle, HANDLE printer, WORD formId, WORD* paperId) {
  if (!handle || !printer || !paperId) return FORMS_BADARG;
  if (IsSystemBuiltinPaperID(printer, formId) && CheckPaperIDinDDDByHandle(handle, formId)) {
    *paperId = formId;
    return FORMS_OK;
  }
  LPWSTR name = nullptr;
  WORD status = GetDatabaseFormNameByID(printer, formId, &name);
  if (status != FORMS_OK) return status;
  status = FORMS_NOTFOUND;
  for (WORD position = 1; position != 0; ++position) {
    DDD_GUIDATA* item = nullptr;
    WORD readStatus = 0;
    if (!cdddGetSelectItemData(handle, kPaperSizeDdmId, position, &item, &readStatus)) {
      if (readStatus != CDDD_NOTFOUND) status = FORMS_BADARG;
      break;
    }
    WORD id = 0;
    bool hit = kp_WideEqual(item->name, name) && ItemPaperId(item, &id);
    cdddSelectItemDataFree(item);
    if (hit) {
      *paperId = id;
      status = FORMS_OK;
      break;
    }
  }
  kcore_Free(name);
  return status;
}

WORD form_GetPaperIDByFormID(HANDLE printer, WORD formId, WORD* paperId) {
  if (!printer || !paperId) return FORMS_BADARG;
  HCDDD handle = cddd_Open(printer);
  if (!handle) return FORMS_BADARG;
  WORD status = form_GetPaperIDByFormIDByHandle(handle, printer, formId, paperId);
  cddd_Close(handle);
  return status;
}
