// Forms and paper of the kernel-mode renderer (see kestrel/render/km_forms.h).
#include "kestrel/render/km_forms.h"

#include <cstdint>
#include <cstring>

#include "kestrel/core/cddd.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/render/km_services.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/engine.h"

namespace {

constexpr WORD kOutputSameAsOriginal = 267;  // DDM_OUTPUTSIZE: no output size of its own
constexpr WORD kCustomPaperId = 262;         // the custom paper's record
constexpr LONG kSameSizeTolerance = 10;      // 1 mm
constexpr WORD kAlignmentStepItem = 10;      // PrinterInfo item: custom size alignment step
constexpr WORD kNoPortraitCommand = 0xFFFF;  // portrait argument -1
constexpr LONG kMaxTenths = FORM_MAX_MICRONS / 100;
constexpr DWORD kNameChars = 31;  // characters kept of a name (then the NUL)
constexpr int kEnumAttempts = 4;  // the database may grow between the size query and the read

const WCHAR kEmptyName[] = {0};

// ---- Small helpers -------------------------------------------------------------

LONG TenthsToPS(LONG tenths) { return MicronToPSReal(tenths * 100); }
LONG MicronsToTenths(LONG um) { return (um + 50) / 100; }
LONG PSToTenths(LONG length) { return MicronsToTenths(PSRealToMicron(length)); }

void SetName(PRINTERFORM* form, LPCWSTR name) {
  std::memset(form->formName, 0, sizeof form->formName);
  kp_WideCopy(form->formName, name, kNameChars);
}

LPCWSTR PaperName(const DDD_PAPER* paper) { return paper && paper->name.str ? paper->name.str : kEmptyName; }

void FreePaper(DDD_PAPER* paper) {
  if (!paper) return;
  void* record = paper;
  ddd_Free(&record, DDD_CAT_PAPER);
}

// Clears what the form code sets (the reserved bytes stay as they are) and
// frees the record the form held.
void ClearForm(PRINTERFORM* form) {
  form_FreeFormRecord(form);
  std::memset(form->formName, 0, sizeof form->formName);
  form->imageableLeft = form->imageableTop = form->imageableRight = form->imageableBottom = 0;
  form->paperWidth = form->paperLength = 0;
  form->landscape = 0;
  form->substituted = 0;
}

// The current form's contents without its record (records are never shared).
void CopyFormContents(PRINTERFORM* to, const PRINTERFORM* from) {
  form_FreeFormRecord(to);
  std::memcpy(to->formName, from->formName, sizeof to->formName);
  to->imageableLeft = from->imageableLeft;
  to->imageableTop = from->imageableTop;
  to->imageableRight = from->imageableRight;
  to->imageableBottom = from->imageableBottom;
  to->paperWidth = from->paperWidth;
  to->paperLength = from->paperLength;
  to->landscape = from->landscape;
  to->substituted = from->substituted;
}

// Hands the record to the form (a record the form held before is freed).
void KeepRecord(PRINTERFORM* form, DDD_PAPER* paper) {
  if (form->paperRecord != paper) form_FreeFormRecord(form);
  form->paperRecord = paper;
}

bool SizeInRange(LONG tenths) { return tenths > 0 && tenths <= kMaxTenths; }

BOOL EdgeToEdge(PDEV* pdev) { return DDMS_GetShort(pdev, DDM_EDGE_TO_EDGE) == 1; }

bool HasData(PDEV* pdev) { return pdev && pdev->ddd && pdev->ddd->main; }

// Walks the paper records from index 1 and hands out the first one `match`
// accepts; the others are freed.
template <typename Match>
WORD FindPaper(PDEV* pdev, DDD_PAPER** paper, Match match) {
  if (!paper) return DDD_ERR_ARG;
  *paper = nullptr;
  if (!HasData(pdev)) return DDD_ERR_ARG;
  for (WORD position = 1; position != 0; ++position) {
    void* record = nullptr;
    WORD r = ddd_GetDataByIndexX(DDD_QUICK, pdev->ddd->main, pdev->ddd->referenced, DDD_CAT_PAPER, position, &record);
    if (r != DDD_OK) return r;
    auto* p = static_cast<DDD_PAPER*>(record);
    if (p->head.kind == DDD_CAT_PAPER && match(*p)) {
      *paper = p;
      return DDD_OK;
    }
    ddd_Free(&record, DDD_CAT_PAPER);
  }
  return DDD_ERR_NOTFOUND;
}

// ---- The forms database ---------------------------------------------------------

// A name inside the enumeration block, or null when it is not a
// NUL-terminated text in the block's string area.
LPWSTR CheckedName(const BYTE* block, DWORD bytes, DWORD recordBytes, LPWSTR name) {
  if (!name) return nullptr;
  auto first = reinterpret_cast<uintptr_t>(block) + recordBytes;
  auto end = reinterpret_cast<uintptr_t>(block) + bytes;
  auto at = reinterpret_cast<uintptr_t>(name);
  if (at < first || at >= end || (at - first) % sizeof(WCHAR) != 0) return nullptr;
  for (uintptr_t p = at; p + sizeof(WCHAR) <= end; p += sizeof(WCHAR)) {
    WCHAR c;
    std::memcpy(&c, reinterpret_cast<const void*>(p), sizeof c);
    if (c == 0) return name;
  }
  return nullptr;
}

enum class Key { Index, Name, Size };

// Finds a sane form by index, name or size (micrometres). *found gets the
// sane copy (its pName points into *block, which the caller frees).
WORD FindDatabaseForm(HANDLE printer, Key key, WORD index, LPCWSTR name, LONG widthUm, LONG lengthUm,
                      FORM_INFO_1W** block, FORM_INFO_1W* found, WORD* foundIndex) {
  *block = nullptr;
  DWORD bytes = 0, count = 0;
  WORD status = MyEnumForms(printer, block, &bytes, &count);
  if (status != FORMS_OK) return status;
  for (DWORD i = 0; i < count; ++i) {
    const FORM_INFO_1W& entry = (*block)[i];
    bool hit = false;
    switch (key) {
      case Key::Index:
        hit = i + 1 == index;
        break;
      case Key::Name:
        hit = name && name[0] && kp_WideEqual(entry.pName ? entry.pName : kEmptyName, name);
        break;
      case Key::Size:
        hit = entry.Size.cx == widthUm && entry.Size.cy == lengthUm;
        break;
    }
    if (!hit) continue;
    if (form_CheckDatabaseForm(&entry, found)) {
      if (foundIndex) *foundIndex = static_cast<WORD>(i + 1);
      return FORMS_OK;
    }
    if (key != Key::Size) break;  // names and indexes are unique
  }
  kcore_Free(*block);
  *block = nullptr;
  return FORMS_NOTFOUND;
}

// The found form as a new DATABASE_FORM_BLOCK.
WORD MakeFormBlock(const FORM_INFO_1W& form, FORM_INFO_1W** out) {
  auto* b = static_cast<DATABASE_FORM_BLOCK*>(kcore_Alloc(DATABASE_FORM_BLOCK_SIZE));
  if (!b) return FORMS_BADARG;
  b->form = form;
  if (form.pName)
    for (DWORD i = 0; i < kNameChars && form.pName[i] != 0; ++i) b->name[i] = form.pName[i];
  b->form.pName = b->name;
  *out = &b->form;
  return FORMS_OK;
}

WORD DatabaseForm(HANDLE printer, Key key, WORD index, LPCWSTR name, LONG widthUm, LONG lengthUm,
                  FORM_INFO_1W** out, WORD* foundIndex) {
  FORM_INFO_1W* block = nullptr;
  FORM_INFO_1W found{};
  WORD status = FindDatabaseForm(printer, key, index, name, widthUm, lengthUm, &block, &found, foundIndex);
  if (status == FORMS_OK) status = MakeFormBlock(found, out);
  kcore_Free(block);
  return status;
}

// The built-in form of index id, when there is one.
WORD BuiltinForm(HANDLE printer, WORD id, FORM_INFO_1W** out) {
  *out = nullptr;
  if (id == 0) return FORMS_NOTFOUND;
  WORD status = GetDatabaseFormsByID(printer, id, out);
  if (status == FORMS_OK && !((*out)->Flags & FORM_BUILTIN)) {
    kcore_Free(*out);
    *out = nullptr;
    status = FORMS_NOTFOUND;
  }
  return status;
}

// ---- Current form rules ----------------------------------------------------------

// Rule 1 with the form found in the database.
BOOL CurFormFromDatabase(PDEV* pdev, const FORM_INFO_1W* entry, WORD formId, BOOL edge, PRINTERFORM* form) {
  LONG width = MicronsToTenths(entry->Size.cx), length = MicronsToTenths(entry->Size.cy);
  DDD_PAPER* paper = nullptr;
  if (entry->Flags & FORM_BUILTIN) GetDddPaperByFormID(pdev, formId, &paper);
  if (!paper) GetDddPaperByFormName(pdev, entry->pName, &paper);
  if (paper && !IsCustomDddPaper(paper)) {
    if (!SetPrinterFormImageableArea(form, paper, width, length, edge)) {
      FreePaper(paper);
      return FALSE;
    }
    SetName(form, entry->pName);
    form->paperWidth = TenthsToPS(width);
    form->paperLength = TenthsToPS(length);
    KeepRecord(form, paper);
    return TRUE;
  }
  FreePaper(paper);  // a custom record is not kept: the custom paper's margins size it
  return l_AdjustPaper(pdev, width, length, entry->pName, formId, form);
}

// 1: done (result in *ok); 0: go on to the next rule.
int CurFormByName(PDEV* pdev, BOOL edge, PRINTERFORM* form, BOOL* ok) {
  // The member holds at most 31 characters and the NUL; never read past it.
  WCHAR name[kNameChars + 1] = {};
  kp_WideCopy(name, DDMS_GetPStr(pdev, DDM_FORMNAME), kNameChars);
  if (!name[0]) return 0;
  FORM_INFO_1W* entry = nullptr;
  WORD formId = 0;
  WORD status = GetDatabaseFormsByName(pdev->hPrinter, name, &entry, &formId);
  if (status == FORMS_NOTFOUND) return 0;
  *ok = status == FORMS_OK && CurFormFromDatabase(pdev, entry, formId, edge, form);
  kcore_Free(entry);
  return 1;
}

BOOL CurFormBySize(PDEV* pdev, BOOL edge, PRINTERFORM* form) {
  LONG width = DDMS_GetShort(pdev, DDM_PAPERWIDTH);
  LONG length = DDMS_GetShort(pdev, DDM_PAPERLENGTH);
  DDD_PAPER* paper = nullptr;
  WORD r = GetSameDddPaper(pdev, width, length, &paper);
  if (r != DDD_OK && r != DDD_ERR_NOTFOUND) return FALSE;
  if (paper && !IsCustomDddPaper(paper)) {
    if (!SetPrinterForm(paper, form, edge)) {
      FreePaper(paper);
      return FALSE;
    }
    ReviseBuiltinFormName(pdev, form);
    return TRUE;
  }
  FreePaper(paper);
  return l_AdjustPaper(pdev, width, length, kEmptyName, 0, form);
}

// 1: done (result in *ok); 0: go on to the default paper.
int CurFormByPaperId(PDEV* pdev, BOOL edge, PRINTERFORM* form, BOOL* ok) {
  WORD id = static_cast<WORD>(DDMS_GetShort(pdev, DDM_PAPERSIZE));
  DDD_PAPER* paper = nullptr;
  GetDddPaperByFormID(pdev, id, &paper);
  if (paper && !IsCustomDddPaper(paper)) {
    *ok = SetPrinterForm(paper, form, edge);
    if (!*ok) FreePaper(paper);
    return 1;
  }
  FreePaper(paper);
  FORM_INFO_1W* entry = nullptr;
  if (GetDatabaseFormsByID(pdev->hPrinter, id, &entry) != FORMS_OK) return 0;
  *ok = l_AdjustPaper(pdev, MicronsToTenths(entry->Size.cx), MicronsToTenths(entry->Size.cy), entry->pName, id, form);
  kcore_Free(entry);
  return 1;
}

// ---- Output form steps ------------------------------------------------------------

// Step 1. 1: done (result in *ok); 0: go on to step 2.
int OutFormByOutputSize(PDEV* pdev, BOOL edge, PRINTERFORM* form, BOOL* ok) {
  WORD outputId = static_cast<WORD>(DDMS_GetShort(pdev, DDM_OUTPUTSIZE));
  if (outputId == kOutputSameAsOriginal) return 0;
  DDD_PAPER* paper = nullptr;
  if (GetDddPaperByFormID(pdev, outputId, &paper) != DDD_OK) return 0;
  FORM_INFO_1W* entry = nullptr;
  if (BuiltinForm(pdev->hPrinter, paper->head.id, &entry) != FORMS_OK)
    GetDatabaseFormsByName(pdev->hPrinter, PaperName(paper), &entry, nullptr);
  if (entry) {
    LONG width = MicronsToTenths(entry->Size.cx), length = MicronsToTenths(entry->Size.cy);
    kcore_Free(entry);
    if (SetPrinterFormImageableArea(form, paper, width, length, edge)) {
      SetName(form, PaperName(paper));
      form->paperWidth = TenthsToPS(width);
      form->paperLength = TenthsToPS(length);
      form->landscape = 0;
      form->substituted = 0;
      KeepRecord(form, paper);
      ReviseBuiltinFormName(pdev, form);
      *ok = TRUE;
      return 1;
    }
  }
  if (!IsCustomDddPaper(paper)) {
    *ok = SetPrinterForm(paper, form, edge);
    if (*ok)
      form->substituted = 0;
    else
      FreePaper(paper);
    return 1;
  }
  FreePaper(paper);
  return 0;
}

// The default paper set with SetPrinterForm, substituted.
BOOL OutFormDefault(PDEV* pdev, BOOL edge, PRINTERFORM* form) {
  DDD_PAPER* paper = nullptr;
  if (GetDefaultDddPaper(pdev, &paper) != DDD_OK) return FALSE;
  if (!SetPrinterForm(paper, form, edge)) {
    FreePaper(paper);
    return FALSE;
  }
  form->substituted = 1;
  return TRUE;
}

// Step 2. 1: done (result in *ok); 0: go on to step 3.
int OutFormByCurrent(PDEV* pdev, const PRINTERFORM* current, BOOL edge, PRINTERFORM* form, BOOL* ok) {
  DDD_PAPER* paper = nullptr;
  WORD builtinId = GetSystemBuiltinPaperID(pdev->hPrinter, current->formName);
  if (builtinId) GetDddPaperByFormID(pdev, builtinId, &paper);
  if (!paper && current->formName[0]) GetDddPaperByFormName(pdev, current->formName, &paper);
  if (!paper) return 0;
  LONG width = PSToTenths(current->paperWidth), length = PSToTenths(current->paperLength);
  if (!IsValidCommand(paper)) {
    FreePaper(paper);
    DDD_PAPER* fallback = nullptr;
    if (GetDefaultDddPaper(pdev, &fallback) != DDD_OK) {
      *ok = FALSE;
      return 1;
    }
    const DDD_POINT* lower = ddd_GetPaperLower(fallback);
    if (lower && width <= lower->first && length <= lower->second) {
      CopyFormContents(form, current);
      KeepRecord(form, fallback);
      form->substituted = 1;
      *ok = TRUE;
      return 1;
    }
    *ok = SetPrinterForm(fallback, form, edge);
    if (*ok)
      form->substituted = 1;
    else
      FreePaper(fallback);
    return 1;
  }
  if (IsCustomDddPaper(paper) && !IsValidSize(paper, width, length)) {
    FreePaper(paper);
    return 0;
  }
  CopyFormContents(form, current);
  KeepRecord(form, paper);
  form->substituted = 0;
  *ok = TRUE;
  return 1;
}

// Step 3.
BOOL OutFormCustomOrDefault(PDEV* pdev, const PRINTERFORM* current, BOOL edge, PRINTERFORM* form) {
  if (static_cast<WORD>(DDMS_GetShort(pdev, DDM_PAPERSIZE)) == DMPAPER_USER || pdev->emulationValue != 0) {
    DDD_PAPER* custom = nullptr;
    if (GetDddPaperByFormID(pdev, kCustomPaperId, &custom) == DDD_OK) {
      CopyFormContents(form, current);
      KeepRecord(form, custom);
      form->substituted = 0;
      return TRUE;
    }
  }
  return OutFormDefault(pdev, edge, form);
}

}  // namespace

// ---- The PDEV's two forms ----------------------------------------------------------

BOOL SetFormMetrics(PDEV* pdev) {
  if (!pdev) return FALSE;
  form_FreePaperRecords(pdev);
  if (!GetCurForm(pdev, &pdev->curForm) || !GetOutForm(pdev, &pdev->curForm, &pdev->outForm)) {
    form_FreePaperRecords(pdev);
    return FALSE;
  }
  AdjustPrinterFormLandscape(pdev, &pdev->curForm);
  return TRUE;
}

BOOL GetCurForm(PDEV* pdev, PRINTERFORM* form) {
  if (!form) return FALSE;
  ClearForm(form);
  if (!HasData(pdev)) return FALSE;
  DWORD fields = DDMS_GetUlong(pdev, DDM_FIELDS);
  BOOL edge = EdgeToEdge(pdev);
  BOOL ok = FALSE;
  if ((fields & DM_FORMNAME) && CurFormByName(pdev, edge, form, &ok)) return ok;
  if (fields & (DM_PAPERLENGTH | DM_PAPERWIDTH)) return CurFormBySize(pdev, edge, form);
  if ((fields & DM_PAPERSIZE) && CurFormByPaperId(pdev, edge, form, &ok)) return ok;
  return GetDefaultPrinterForm(pdev, form);
}

BOOL GetOutForm(PDEV* pdev, const PRINTERFORM* current, PRINTERFORM* form) {
  if (!form) return FALSE;
  ClearForm(form);
  if (!HasData(pdev) || !current) return FALSE;
  BOOL edge = EdgeToEdge(pdev);
  BOOL ok = FALSE;
  if (OutFormByOutputSize(pdev, edge, form, &ok)) return ok;
  if (OutFormByCurrent(pdev, current, edge, form, &ok)) return ok;
  return OutFormCustomOrDefault(pdev, current, edge, form);
}

void AdjustPrinterFormLandscape(PDEV* pdev, PRINTERFORM* form) {
  if (!pdev || !form) return;
  if (!(DDMS_GetUlong(pdev, DDM_FIELDS) & DM_ORIENTATION) || DDMS_GetShort(pdev, DDM_ORIENTATION) != DMORIENT_LANDSCAPE)
    return;
  LONG width = form->paperWidth;
  LONG left = form->imageableTop;
  LONG top = width - form->imageableRight;
  LONG right = form->imageableBottom;
  LONG bottom = width - form->imageableLeft;
  form->imageableLeft = left;
  form->imageableTop = top;
  form->imageableRight = right;
  form->imageableBottom = bottom;
  form->paperWidth = form->paperLength;
  form->paperLength = width;
  form->landscape = 1;
}

void form_FreeFormRecord(PRINTERFORM* form) {
  if (!form) return;
  FreePaper(form->paperRecord);
  form->paperRecord = nullptr;
}

void form_FreePaperRecords(PDEV* pdev) {
  if (!pdev) return;
  if (pdev->outForm.paperRecord == pdev->curForm.paperRecord) pdev->outForm.paperRecord = nullptr;
  form_FreeFormRecord(&pdev->curForm);
  form_FreeFormRecord(&pdev->outForm);
}

// ---- Forms from paper records --------------------------------------------------------

BOOL getMarginDefaultEx(const DDD_PAPER* paper, BOOL edgeToEdge, DDD_POINT* m1, DDD_POINT* m2) {
  if (!paper || !m1 || !m2) return FALSE;
  const DDD_POINT* first = nullptr;
  const DDD_POINT* second = nullptr;
  if (ddd_GetMarginDefault(paper, &first, &second) != DDD_OK || !first || !second) return FALSE;
  if (edgeToEdge) {
    *m1 = DDD_POINT{0, 0};
    *m2 = DDD_POINT{0, 0};
  } else {
    *m1 = *first;
    *m2 = *second;
  }
  return TRUE;
}

BOOL SetPrinterFormImageableArea(PRINTERFORM* form, const DDD_PAPER* paper, LONG width, LONG length,
                                 BOOL edgeToEdge) {
  DDD_POINT m1{}, m2{};
  if (!form || !SizeInRange(width) || !SizeInRange(length) || !getMarginDefaultEx(paper, edgeToEdge, &m1, &m2))
    return FALSE;
  LONG left = m1.first, top = m1.second;
  LONG right = width - m2.first, bottom = length - m2.second;
  if (right <= left || bottom <= top) return FALSE;
  form->imageableLeft = TenthsToPS(left);
  form->imageableTop = TenthsToPS(top);
  form->imageableRight = TenthsToPS(right);
  form->imageableBottom = TenthsToPS(bottom);
  return TRUE;
}

BOOL SetPrinterForm(DDD_PAPER* paper, PRINTERFORM* form, BOOL edgeToEdge) {
  if (!paper || !form) return FALSE;
  const DDD_POINT* lower = ddd_GetPaperLower(paper);
  if (!lower) return FALSE;
  if (!SetPrinterFormImageableArea(form, paper, lower->first, lower->second, edgeToEdge)) return FALSE;
  SetName(form, PaperName(paper));
  form->paperWidth = TenthsToPS(lower->first);
  form->paperLength = TenthsToPS(lower->second);
  form->landscape = 0;
  KeepRecord(form, paper);
  return TRUE;
}

WORD GetDefaultDddPaper(PDEV* pdev, DDD_PAPER** paper) {
  if (!paper) return DDD_ERR_ARG;
  *paper = nullptr;
  if (!HasData(pdev)) return DDD_ERR_ARG;
  ULONG_PTR value = 0;
  WORD type = 0, status = 0;
  if (!cdddGetDefaultDataInfo(pdev->ddd, DDM_PAPERSIZE, &value, &type, &status)) {
    return status == CDDD_NOTFOUND ? DDD_ERR_NOTFOUND : DDD_ERR_ARG;
  }
  if (type == DDD_TYPE_STRING || type == DDD_TYPE_BLOCK) {  // not a paper id
    cdddGetDefaultDataFree(value, type);
    return DDD_ERR_ARG;
  }
  return GetDddPaperByFormID(pdev, static_cast<WORD>(value), paper);
}

BOOL GetDefaultPrinterForm(PDEV* pdev, PRINTERFORM* form) {
  if (!form) return FALSE;
  DDD_PAPER* paper = nullptr;
  if (GetDefaultDddPaper(pdev, &paper) != DDD_OK) return FALSE;
  if (!SetPrinterForm(paper, form, EdgeToEdge(pdev))) {
    FreePaper(paper);
    return FALSE;
  }
  return TRUE;
}

// ---- Paper records -----------------------------------------------------------------------

WORD GetDddPaperByFormName(PDEV* pdev, LPCWSTR name, DDD_PAPER** paper) {
  if (!name) {
    if (paper) *paper = nullptr;
    return DDD_ERR_ARG;
  }
  return FindPaper(pdev, paper, [name](const DDD_PAPER& p) { return kp_WideEqual(PaperName(&p), name); });
}

WORD GetDddPaperByFormID(PDEV* pdev, WORD paperId, DDD_PAPER** paper) {
  return FindPaper(pdev, paper, [paperId](const DDD_PAPER& p) { return p.head.id == paperId; });
}

WORD GetSameDddPaper(PDEV* pdev, LONG width, LONG length, DDD_PAPER** paper) {
  return FindPaper(pdev, paper, [width, length](const DDD_PAPER& p) {
    if (zanLib_IsUsrDefPaperOrUsrDefSize(p.head.id)) return false;
    LONG dw = p.paperLower.first - width, dl = p.paperLower.second - length;
    return dw >= -kSameSizeTolerance && dw <= kSameSizeTolerance && dl >= -kSameSizeTolerance &&
           dl <= kSameSizeTolerance;
  });
}

BOOL IsCustomDddPaper(const DDD_PAPER* paper) {
  if (!paper) return FALSE;
  return paper->paperLower.first != paper->paperUpper.first || paper->paperLower.second != paper->paperUpper.second;
}

BOOL IsValidSize(const DDD_PAPER* paper, LONG width, LONG length) {
  if (!paper) return FALSE;
  return width >= paper->paperLower.first && width <= paper->paperUpper.first &&
         length >= paper->paperLower.second && length <= paper->paperUpper.second;
}

BOOL IsCutSize(const DDD_PAPER* paper, LONG width, LONG length) {
  if (!paper) return FALSE;
  return width > paper->paperLower.first || length > paper->paperLower.second;
}

BOOL IsValidCommand(const DDD_PAPER* paper) { return paper && paper->portraitArg != kNoPortraitCommand; }

void ReviseBuiltinFormName(PDEV* pdev, PRINTERFORM* form) {
  if (!pdev || !form || !form->paperRecord) return;
  FORM_INFO_1W* entry = nullptr;
  if (BuiltinForm(pdev->hPrinter, form->paperRecord->head.id, &entry) != FORMS_OK) return;
  SetName(form, entry->pName);
  kcore_Free(entry);
}

// ---- Custom sizes ------------------------------------------------------------------------

BOOL l_AdjustPaper(PDEV* pdev, LONG width, LONG length, LPCWSTR name, WORD index, PRINTERFORM* form) {
  if (!pdev || !form || !SizeInRange(width) || !SizeInRange(length)) return FALSE;
  if (pdev->emulationValue != 0 && l_AdjustFormDBPaper(pdev, width, length, name, index, form)) return TRUE;
  return l_AdjustCustomPaper(pdev, width, length, name, form);
}

BOOL l_AdjustFormDBPaper(PDEV* pdev, LONG width, LONG length, LPCWSTR name, WORD index, PRINTERFORM* form) {
  if (!pdev || !form) return FALSE;
  FORM_INFO_1W* block = nullptr;
  FORM_INFO_1W entry{};
  WORD status = FORMS_NOTFOUND;
  if (index != 0)
    status = FindDatabaseForm(pdev->hPrinter, Key::Index, index, nullptr, 0, 0, &block, &entry, nullptr);
  if (status == FORMS_NOTFOUND && name && name[0])
    status = FindDatabaseForm(pdev->hPrinter, Key::Name, 0, name, 0, 0, &block, &entry, nullptr);
  if (status == FORMS_NOTFOUND && SizeInRange(width) && SizeInRange(length))
    status = FindDatabaseForm(pdev->hPrinter, Key::Size, 0, nullptr, width * 100, length * 100, &block, &entry,
                              nullptr);
  if (status != FORMS_OK) return FALSE;
  form_FreeFormRecord(form);
  SetName(form, entry.pName);
  form->paperWidth = MicronToPSReal(entry.Size.cx);
  form->paperLength = MicronToPSReal(entry.Size.cy);
  form->imageableLeft = MicronToPSReal(entry.ImageableArea.left);
  form->imageableRight = MicronToPSReal(entry.ImageableArea.right);
  // The database's own area, with top and bottom in order (the sane copy has
  // them so already).
  LONG top = entry.ImageableArea.top, bottom = entry.ImageableArea.bottom;
  form->imageableTop = MicronToPSReal(top < bottom ? top : bottom);
  form->imageableBottom = MicronToPSReal(top < bottom ? bottom : top);
  form->landscape = 0;
  kcore_Free(block);
  return TRUE;
}

BOOL l_AdjustCustomPaper(PDEV* pdev, LONG width, LONG length, LPCWSTR name, PRINTERFORM* form) {
  if (!pdev || !form || !SizeInRange(width) || !SizeInRange(length)) return FALSE;
  DDD_PAPER* custom = nullptr;
  if (GetDddPaperByFormID(pdev, kCustomPaperId, &custom) != DDD_OK) return FALSE;
  DDD_POINT m1{}, m2{};
  BOOL haveMargins = getMarginDefaultEx(custom, EdgeToEdge(pdev), &m1, &m2);
  const DDD_POINT upper = custom->imageableUpper;
  FreePaper(custom);
  if (!haveMargins) return FALSE;
  LONG a = m2.first, b = m1.first, c = m2.second, d = m1.second;
  if (a + b + upper.first < width) {
    a = (width - upper.first + 1) / 2;
    b = width - upper.first - a;
  }
  if (c + d + upper.second < length) {
    c = (length - upper.second + 1) / 2;
    d = length - upper.second - c;
  }
  WORD step = 0;
  if (ddd_GetPrinterInfo_orderedItem(pdev->ddd->main, kAlignmentStepItem, sizeof step, 0, &step) == DDD_OK &&
      step > 1) {
    b += width % step;
    d += length % step;
  }
  if (a + b >= width || c + d >= length) return FALSE;  // no imageable area left
  form_FreeFormRecord(form);
  SetName(form, name);
  form->paperWidth = TenthsToPS(width);
  form->paperLength = TenthsToPS(length);
  form->imageableLeft = TenthsToPS(a);
  form->imageableRight = TenthsToPS(width - b);
  form->imageableTop = TenthsToPS(c);
  form->imageableBottom = TenthsToPS(length - d);
  form->landscape = 0;
  return TRUE;
}

// ---- The forms database ------------------------------------------------------------------

WORD MyEnumForms(HANDLE printer, FORM_INFO_1W** forms, DWORD* bytes, DWORD* count) {
  if (forms) *forms = nullptr;
  if (bytes) *bytes = 0;
  if (count) *count = 0;
  if (!printer || !forms || !bytes || !count) return FORMS_BADARG;
  DWORD size = 0;
  for (int attempt = 0; attempt < kEnumAttempts; ++attempt) {
    BYTE* block = nullptr;
    if (size) {
      block = static_cast<BYTE*>(kcore_Alloc(size));
      if (!block) return FORMS_BADARG;
    }
    DWORD needed = 0, returned = 0;
    if (EngEnumForms(printer, 1, block, size, &needed, &returned)) {
      if (!block || returned == 0 || returned > size / sizeof(FORM_INFO_1W)) {
        kcore_Free(block);
        return FORMS_SPOOLER;
      }
      DWORD recordBytes = returned * static_cast<DWORD>(sizeof(FORM_INFO_1W));
      auto* records = reinterpret_cast<FORM_INFO_1W*>(block);
      for (DWORD i = 0; i < returned; ++i)
        records[i].pName = CheckedName(block, size, recordBytes, records[i].pName);
      *forms = records;
      *bytes = size;
      *count = returned;
      return FORMS_OK;
    }
    DWORD error = EngGetLastError();
    kcore_Free(block);
    if (error != ERROR_INSUFFICIENT_BUFFER || needed <= size) return FORMS_SPOOLER;
    size = needed;
  }
  return FORMS_SPOOLER;
}

BOOL form_CheckDatabaseForm(const FORM_INFO_1W* in, FORM_INFO_1W* out) {
  if (!in || !out) return FALSE;
  LONG width = in->Size.cx, length = in->Size.cy;
  if (width <= 0 || length <= 0 || width > FORM_MAX_MICRONS || length > FORM_MAX_MICRONS) return FALSE;
  auto clip = [](LONG v, LONG limit) { return v < 0 ? 0 : (v > limit ? limit : v); };
  LONG left = clip(in->ImageableArea.left, width), right = clip(in->ImageableArea.right, width);
  LONG top = clip(in->ImageableArea.top, length), bottom = clip(in->ImageableArea.bottom, length);
  if (left > right) {
    LONG t = left;
    left = right;
    right = t;
  }
  if (top > bottom) {
    LONG t = top;
    top = bottom;
    bottom = t;
  }
  if (left == right || top == bottom) return FALSE;
  *out = *in;
  out->ImageableArea = RECTL{left, top, right, bottom};
  return TRUE;
}

WORD GetDatabaseFormsByName(HANDLE printer, LPCWSTR name, FORM_INFO_1W** form, WORD* formId) {
  if (form) *form = nullptr;
  if (formId) *formId = 0;
  if (!printer || !name || !form) return FORMS_BADARG;
  return DatabaseForm(printer, Key::Name, 0, name, 0, 0, form, formId);
}

WORD GetDatabaseFormsByID(HANDLE printer, WORD formId, FORM_INFO_1W** form) {
  if (form) *form = nullptr;
  if (!printer || !form) return FORMS_BADARG;
  if (formId == 0) return FORMS_NOTFOUND;
  return DatabaseForm(printer, Key::Index, formId, nullptr, 0, 0, form, nullptr);
}

WORD GetSystemBuiltinPaperID(HANDLE printer, LPCWSTR name) {
  if (!printer || !name || !name[0]) return 0;
  FORM_INFO_1W* forms = nullptr;
  DWORD bytes = 0, count = 0;
  if (MyEnumForms(printer, &forms, &bytes, &count) != FORMS_OK) return 0;
  WORD id = 0;
  for (DWORD i = 0; i < count && i < 0xFFFF; ++i) {
    if ((forms[i].Flags & FORM_BUILTIN) && kp_WideEqual(forms[i].pName, name)) {
      id = static_cast<WORD>(i + 1);
      break;
    }
  }
  kcore_Free(forms);
  return id;
}

WORD form_GetPaperSize(HANDLE printer, LPCWSTR name, WORD formId, WORD values[6]) {
  if (!printer || !values || ((!name || !name[0]) && formId == 0)) return FORMS_BADARG;
  FORM_INFO_1W* block = nullptr;
  FORM_INFO_1W entry{};
  WORD status = name && name[0]
                    ? FindDatabaseForm(printer, Key::Name, 0, name, 0, 0, &block, &entry, nullptr)
                    : FindDatabaseForm(printer, Key::Index, formId, nullptr, 0, 0, &block, &entry, nullptr);
  if (status != FORMS_OK) return status;
  const LONG sane[6] = {entry.Size.cx,           entry.Size.cy,           entry.ImageableArea.left,
                        entry.ImageableArea.top, entry.ImageableArea.right, entry.ImageableArea.bottom};
  for (int i = 0; i < 6; ++i) values[i] = static_cast<WORD>(MicronsToTenths(sane[i]));
  kcore_Free(block);
  return FORMS_OK;
}
