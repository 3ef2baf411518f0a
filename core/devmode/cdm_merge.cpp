// Merging an application's devmode into the driver's (kestrel/core/cdm_merge.h).
#include "kestrel/core/cdm_merge.h"

#if !defined(KESTREL_KERNEL_MODE)

#include <kplatform/winspool.h>

#include <cstring>
#include <initializer_list>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/dma_core.h"
#include "kestrel/core/dme.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/logout.h"
#include "kestrel/core/papdat.h"
#include "kestrel/core/preconfig.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/byte_order.h"

namespace {

constexpr DWORD kPaperSize = 0x2, kPaperLength = 0x4, kPaperWidth = 0x8, kFormName = 0x10000;
constexpr DWORD kResolutionFields = CDM_MERGE_RESOLUTION_FIELDS;
constexpr size_t kFieldsEnd = 76;  // dmFields ends here

// The merged standard fields: bit, DDM id, end of the field in DEVMODEW.
struct MergeRow {
  DWORD bit;
  WORD ddmId;
  WORD end;
};
constexpr MergeRow kRows[] = {
    {0x1, 7, 78},          {0x10, 11, 86},        {0x100, 12, 88},       {0x200, 13, 90},
    {0x1000, 16, 96},      {0x4000, 17, 100},     {0x8000, 18, 102},     {0x4000000, 23, 196},
    {0x8000000, 24, 200},  {0x10000000, 25, 204},
};
// Fields of the adjustment steps with the end of their member.
constexpr MergeRow kOtherFields[] = {
    {kPaperSize, 8, 80}, {kPaperLength, 9, 82}, {kPaperWidth, 10, 84}, {kFormName, 19, 166},
    {0x400, 20, 92},     {0x2000, 21, 98},      {0x800, 0, 94},        {0x800000, 0, 192},
};

// The bytes of a member at its offset (a devmode may sit at any address).
const BYTE* At(const void* dm, size_t off) { return static_cast<const BYTE*>(dm) + off; }

DWORD Fields(const void* dm) { return kp_LoadU32(At(dm, offsetof(DEVMODEW, dmFields))); }
void SetFields(void* dm, DWORD f) { kp_StoreU32(static_cast<BYTE*>(dm) + offsetof(DEVMODEW, dmFields), f); }

bool ReadNum(WORD id, void* dm, void* pd, LONG* out) { return ddm_GetNumber(id, dm, pd, out); }
bool WriteNum(WORD id, void* dm, void* pd, LONG value) { return ddm_SetNumber(id, dm, pd, value); }

// Copies one member from one devmode to another (strings by their text).
bool CopyMember(WORD id, void* from, void* to, void* pd) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  WORD location = 0;
  if (dmaCore_GetValue(DMA_RULES_KERNEL, id, from, pd, &type, &size, &v, &location) != 0) return false;
  if (type == DDM_TYPE_STRING || type == DDM_TYPE_FONT)
    return ddm_SetValue(id, to, pd, type, size, reinterpret_cast<const void*>(v)) == 0;
  return ddm_SetValue(id, to, pd, type, size, &v) == 0;
}

bool WriteFormName(void* dm, void* pd, LPCWSTR name) {
  WCHAR buffer[CCHFORMNAME] = {};
  DWORD chars = kp_WideCopy(buffer, name, CCHFORMNAME - 1);
  return ddm_SetValue(19, dm, pd, DDM_TYPE_STRING, (chars + 1) * 2, buffer) == 0;
}

bool IsOwn(HCDDD handle, void* dm, void* pd) { return dm && cdm_IsDevmode(handle, dm, pd) == 1; }

bool FormDbAllowed(HCDDD handle, void* dm, void* pd) {
  if (!handle || !handle->dme || !dme_IsEnableFormDB(handle->dme)) return false;
  LONG on = 0;
  return ReadNum(5201, dm, pd, &on) && on != 0;
}

bool InCustomRange(HCDDD handle, WORD width, WORD length) {
  WORD minW = 0, minL = 0, maxW = 0, maxL = 0;
  if (!cdmGetPaperSize(handle, CDM_CUSTOM_PAPER_DATA_ID, &minW, &minL, &maxW, &maxL)) return false;
  return width >= minW && width <= maxW && length >= minL && length <= maxL && width > 0 && length > 0;
}

// The DDD's paper of a mode 2 (size) or 3 (name) search.
bool DddPaper(HCDDD handle, WORD mode, const CDM_PAPER_KEY& key, CDDD_PAPERKEY* match) {
  CDDD_PAPERKEY k{key.paperId, key.width, key.length, key.name};
  *match = CDDD_PAPERKEY{};
  WORD status = 0;
  return cdddSamePaper(handle, 8, mode, &k, match, &status) != 0;
}
bool NameInDdd(HCDDD handle, LPCWSTR name) {
  if (!name || !*name) return false;
  CDM_PAPER_KEY key{0, 0, 0, const_cast<LPWSTR>(name)};
  CDDD_PAPERKEY match{};
  bool found = DddPaper(handle, 3, key, &match);
  if (found) cdddSamePaperFree(&match);
  return found;
}

struct Forms {
  FORM_INFO_1W* list = nullptr;
  DWORD count = 0;
  explicit Forms(HANDLE printer) {
    DWORD bytes = 0;
    if (!printer || MyEnumForms(printer, &list, &bytes, &count) != FORMS_OK) {
      kcore_Free(list);
      list = nullptr;
      count = 0;
    }
  }
  ~Forms() { kcore_Free(list); }
  Forms(const Forms&) = delete;
  Forms& operator=(const Forms&) = delete;
};

WORD FormW(const FORM_INFO_1W& f) { return static_cast<WORD>(f.Size.cx / 100); }
WORD FormL(const FORM_INFO_1W& f) { return static_cast<WORD>(f.Size.cy / 100); }

bool TakeKey(const CDM_PAPER_KEY& key, CDM_PAPER_KEY* result) {
  if (key.width == 0 || key.length == 0) return false;
  *result = CDM_PAPER_KEY{key.paperId, key.width, key.length, kcore_WideDup(key.name)};
  return true;
}

}  // namespace

void cdmFormResultFree(CDM_PAPER_KEY* result) {
  if (!result) return;
  kcore_Free(result->name);
  result->name = nullptr;
}

BOOL cdmCheckDmPaperUser(WORD paperId, WORD length, WORD width) {
  return paperId == CDM_PAPER_USER && length > 0 && width > 0;
}

BOOL cdmGetPaperSize(HCDDD handle, WORD paperDataId, WORD* minWidth, WORD* minLength, WORD* maxWidth,
                     WORD* maxLength) {
  if (!handle || !handle->main) return 0;
  void* record = nullptr;
  if (ddd_GetDataByIDX(DDD_FULL, handle->main, handle->referenced, DDD_CAT_PAPER, paperDataId, 0, &record) != DDD_OK ||
      !record) {
    ddd_Free(&record, DDD_KIND_ANY);
    return 0;
  }
  const DDD_PAPER* paper = static_cast<const DDD_PAPER*>(record);
  const DWORD marginW = DWORD(paper->marginFirst.first) + paper->marginSecond.first;
  const DWORD marginL = DWORD(paper->marginFirst.second) + paper->marginSecond.second;
  auto clip = [](DWORD v) { return static_cast<WORD>(v > 0xFFFF ? 0xFFFF : v); };
  if (minWidth) *minWidth = clip(paper->imageableLower.first + marginW);
  if (minLength) *minLength = clip(paper->imageableLower.second + marginL);
  if (maxWidth) *maxWidth = clip(paper->imageableUpper.first + marginW);
  if (maxLength) *maxLength = clip(paper->imageableUpper.second + marginL);
  ddd_Free(&record, DDD_KIND_ANY);
  return 1;
}

BOOL cdmSearchDefineFormName(void* devmode, void* printerData, LPCWSTR name, WORD mode) {
  if (!name || (mode != 1 && mode != 2)) return 0;
  for (WORD slot = 0; slot < CDM_DEFINE_COUNT; ++slot) {
    WCHAR slotName[CCHFORMNAME + 1] = {};
    if (mode == 1) {
      WORD type = 0;
      DWORD size = 0;
      ULONG_PTR address = 0;
      WORD location = 0;
      if (dmaCore_GetValue(DMA_RULES_KERNEL, static_cast<WORD>(5929 + slot), devmode, printerData, &type, &size,
                           &address, &location) != 0 ||
          type != DDM_TYPE_STRING || !address)
        return 0;
      const auto* text = reinterpret_cast<const WCHAR*>(address);
      const DWORD held = size / 2 + size % 2;  // characters that start inside the member's size
      kp_WideCopy(slotName, text, held < CCHFORMNAME ? held : CCHFORMNAME);
    } else if (!zanLib_GetUsrDefPap_DefaultName(slot, slotName, CCHFORMNAME)) {
      return 0;
    }
    if (!slotName[0]) continue;
    size_t i = 0;
    while (slotName[i] && name[i] == slotName[i]) ++i;
    if (!slotName[i]) return 1;
  }
  return 0;
}

BOOL cdmPaperInfoDefaultSet(HCDDD handle, void* devmode, void* printerData, HANDLE printer) {
  for (WORD id : {WORD(8), WORD(9), WORD(10), WORD(19)})
    if (!local_SetPrtIconRegData(handle, devmode, id, printerData, printer)) return 0;
  return 1;
}

BOOL cdmFormSearchFromPaperInfo(HCDDD handle, void* devmode, void* printerData, HANDLE printer,
                                WORD formNumber, const FORM_INFO_1W* form, CDM_PAPER_KEY* result) {
  if (!form || !result) return 0;
  const WORD w = FormW(*form), l = FormL(*form);
  if (FormDbAllowed(handle, devmode, printerData) || IsSystemBuiltinPaperID(printer, formNumber) ||
      NameInDdd(handle, form->pName)) {
    *result = CDM_PAPER_KEY{formNumber, w, l, kcore_WideDup(form->pName)};
    return 1;
  }
  CDM_PAPER_KEY key{0, w, l, nullptr};
  CDDD_PAPERKEY paper{};
  if (DddPaper(handle, 2, key, &paper)) {
    Forms forms(printer);
    for (DWORD i = 0; i < forms.count; ++i) {
      if (paper.name && kp_WideEqual(forms.list[i].pName, paper.name)) {
        *result = CDM_PAPER_KEY{static_cast<WORD>(i + 1), FormW(forms.list[i]), FormL(forms.list[i]), nullptr};
        cdddSamePaperFree(&paper);
        return 1;
      }
    }
    cdddSamePaperFree(&paper);
  }
  if (InCustomRange(handle, w, l)) {
    *result = CDM_PAPER_KEY{CDM_PAPER_USER, w, l, nullptr};
    return 1;
  }
  return 0;
}

BOOL cdmFormSearch(HCDDD handle, void* devmode, void* printerData, HANDLE printer, WORD kind, WORD /*kinds*/,
                   const CDM_PAPER_KEY* key, CDM_PAPER_KEY* result) {
  if (!key || !result || (kind != CDM_SEARCH_NAME && kind != CDM_SEARCH_ID)) return 0;
  *result = CDM_PAPER_KEY{};
  Forms forms(printer);
  for (DWORD i = 0; i < forms.count; ++i) {
    const WORD number = static_cast<WORD>(i + 1);
    const bool hit = kind == CDM_SEARCH_NAME
                         ? (key->name && key->name[0] && kp_WideEqual(forms.list[i].pName, key->name))
                         : number == key->paperId;
    if (hit) return cdmFormSearchFromPaperInfo(handle, devmode, printerData, printer, number, &forms.list[i], result);
  }
  return 0;
}

BOOL cdmFormSearchBySize(HCDDD handle, void* devmode, void* printerData, HANDLE printer, WORD kinds,
                         const CDM_PAPER_KEY* key, CDM_PAPER_KEY* result) {
  if (!key || !result) return 0;
  *result = CDM_PAPER_KEY{};
  Forms forms(printer);
  const FORM_INFO_1W* winner = nullptr;
  DWORD winnerIndex = 0;
  auto pick = [&](auto accept) {
    for (DWORD i = 0; i < forms.count && !winner; ++i) {
      const FORM_INFO_1W& f = forms.list[i];
      if (!cdddIsSamePaperSize(FormW(f), FormL(f), key->width, key->length)) continue;
      if (accept(i, f) && NameInDdd(handle, f.pName)) {
        winner = &f;
        winnerIndex = i;
      }
    }
  };
  if (kinds & CDM_SEARCH_ID) pick([&](DWORD i, const FORM_INFO_1W&) { return i + 1 == key->paperId; });
  if (!winner && (kinds & CDM_SEARCH_NAME) && key->name && key->name[0]) {
    if (!cdmSearchDefineFormName(devmode, printerData, key->name, 1))
      pick([&](DWORD, const FORM_INFO_1W& f) { return kp_WideEqual(f.pName, key->name); });
  }
  if (!winner) pick([](DWORD, const FORM_INFO_1W&) { return true; });
  if (winner) {
    *result = CDM_PAPER_KEY{static_cast<WORD>(winnerIndex + 1), FormW(*winner), FormL(*winner),
                            kcore_WideDup(winner->pName)};
    return 1;
  }
  if (InCustomRange(handle, key->width, key->length)) {
    *result = CDM_PAPER_KEY{CDM_PAPER_USER, key->width, key->length, nullptr};
    return 1;
  }
  return 0;
}

namespace {

// The search of the paper step. devmode: the record whose user-defined
// paper names the size search compares with.
bool SearchSamePaper(HCDDD handle, void* devmode, void* pd, HANDLE printer, DWORD fields, bool customOrder,
                     const CDM_PAPER_KEY& key, CDM_PAPER_KEY* result) {
  if (!(fields & CDM_MERGE_PAPER_FIELDS)) return false;
  WORD kinds = 0;
  if (fields & kPaperSize) kinds |= CDM_SEARCH_ID;
  if (fields & kFormName) kinds |= CDM_SEARCH_NAME;
  if ((fields & (kPaperLength | kPaperWidth)) && key.width > 0 && key.length > 0) kinds |= CDM_SEARCH_SIZE;
  const bool customAllowed = zanLib_IsEnableDPCustomPaperSize(devmode, pd) != 0;
  if (key.paperId == CDM_PAPER_USER) {
    if (customAllowed) {
      if ((fields & (kPaperLength | kPaperWidth)) == (kPaperLength | kPaperWidth)) return TakeKey(key, result);
      kinds = CDM_SEARCH_ID;
    } else if (cdmCheckDmPaperUser(key.paperId, key.length, key.width)) {
      kinds = CDM_SEARCH_SIZE;
    }
  }
  static constexpr WORD kNormal[] = {CDM_SEARCH_SIZE, CDM_SEARCH_ID, CDM_SEARCH_NAME};
  static constexpr WORD kCustom[] = {CDM_SEARCH_ID, CDM_SEARCH_NAME, CDM_SEARCH_SIZE};
  for (WORD kind : customOrder ? kCustom : kNormal) {
    if (!(kinds & kind)) continue;
    if (kind == CDM_SEARCH_SIZE) return cdmFormSearchBySize(handle, devmode, pd, printer, kinds, &key, result) != 0;
    if (cdmFormSearch(handle, devmode, pd, printer, kind, kinds, &key, result)) return true;
    if (kind == CDM_SEARCH_ID && customAllowed && key.paperId == CDM_PAPER_USER) return TakeKey(key, result);
  }
  return false;
}

}  // namespace

BOOL cdmCheckAndModifyPaper(HCDDD handle, void* destination, void* source, void* printerData, HANDLE printer,
                            DWORD sourceFields) {
  if (!source || !printerData) return 0;
  const bool reset = destination == nullptr;
  if (reset) destination = source;
  WCHAR name[CCHFORMNAME + 1] = {};
  std::memcpy(name, static_cast<const BYTE*>(source) + offsetof(DEVMODEW, dmFormName), CCHFORMNAME * sizeof(WCHAR));
  CDM_PAPER_KEY key{kp_LoadU16(At(source, offsetof(DEVMODEW, dmPaperSize))),
                    kp_LoadU16(At(source, offsetof(DEVMODEW, dmPaperWidth))),
                    kp_LoadU16(At(source, offsetof(DEVMODEW, dmPaperLength))), name};
  void* own = IsOwn(handle, source, printerData) ? source : IsOwn(handle, destination, printerData) ? destination
                                                                                                    : nullptr;
  LONG flag = 0;
  const bool customOrder = own && ReadNum(1353, own, printerData, &flag) && flag != 0;
  CDM_PAPER_KEY match{};
  if (!SearchSamePaper(handle, destination, printerData, printer, sourceFields, customOrder, key, &match))
    return reset ? cdmPaperInfoDefaultSet(handle, source, printerData, printer) : 1;
  bool ok = WriteNum(9, destination, printerData, match.length) && WriteNum(10, destination, printerData, match.width) &&
            WriteNum(8, destination, printerData, match.paperId);
  if (ok && match.name) ok = WriteFormName(destination, printerData, match.name);
  if (ok) {
    DWORD fields = Fields(destination) | (sourceFields & (kFormName | kPaperSize));
    if (customOrder) fields |= kPaperLength | kPaperWidth;
    if (match.paperId == CDM_PAPER_USER) fields = (fields & ~kFormName) | kPaperLength | kPaperWidth;
    SetFields(destination, fields);
  }
  cdmFormResultFree(&match);
  return ok ? 1 : 0;
}

BOOL cdmConvertPaperSize_NT(HCDDD handle, HANDLE printer, void* devmode, void* printerData) {
  if (!devmode || !printerData) return 0;
  const WORD paperId = kp_LoadU16(At(devmode, offsetof(DEVMODEW, dmPaperSize)));
  if (paperId == CDM_PAPER_USER) return cdmCheckAndModifyPaper(handle, nullptr, devmode, printerData, printer, Fields(devmode));
  WCHAR name[CCHFORMNAME + 1] = {};
  DWORD fields = kFormName;
  WORD width = 0, length = 0;
  if (cdmSearchDefineInfo(devmode, printerData, paperId, DDM_TYPE_SHORT, &width, &length, name, CCHFORMNAME)) {
    // the user-defined slot's name
  } else if (FormDbAllowed(handle, devmode, printerData)) {
    PAPDAT papers{};
    LPCWSTR found = nullptr;
    WORD key = paperId;
    const bool ok = PapDat_build(handle, printer, &papers) == 1 &&
                    PapDat_getPaperInfo(&papers, PAPDAT_KEY_PAPERID, &key, PAPDAT_WHAT_NAME, &found) == 1 && found;
    if (ok) kp_WideCopy(name, found, CCHFORMNAME);
    PapDat_free(&papers);
    if (!ok) return 0;
  } else if (IsSystemBuiltinPaperID(printer, paperId)) {
    fields = kPaperSize;
  } else {
    CDDD_PAPERKEY key{paperId, 0, 0, nullptr};
    CDDD_PAPERKEY match{};
    WORD status = 0;
    if (!cdddSamePaper(handle, 8, 1, &key, &match, &status)) return 0;
    for (size_t i = 0; match.name && i < CCHFORMNAME && match.name[i]; ++i) name[i] = match.name[i];
    cdddSamePaperFree(&match);
  }
  if (fields == kFormName && !WriteFormName(devmode, printerData, name)) return 0;
  return cdmCheckAndModifyPaper(handle, nullptr, devmode, printerData, printer, fields);
}

namespace {

bool ReflectColor(HCDDD handle, const void* source, void* dst, void* pd) {
  WORD mode = 0;
  if (dme_GetModeFlag(handle->dme, DME_FEATURE_COLOR, &mode) != DME_OK) return false;
  if (mode == 0) return true;
  const SHORT color = static_cast<SHORT>(kp_LoadU16(At(source, offsetof(DEVMODEW, dmColor))));
  const LONG value = color != 2 ? 1 : (mode == 2 ? 0 : 2);
  return WriteNum(270, dst, pd, value);
}

bool ReflectMedia(HCDDD handle, void* dst, void* pd) {
  WORD merge = 0;
  if (dme_GetMergeMode(handle->dme, DME_FEATURE_MEDIA, &merge) != DME_OK) return false;
  if (merge == 0) return true;
  const LONG media = static_cast<LONG>(kp_LoadU32(At(dst, offsetof(DEVMODEW, dmMediaType))) & 0xFFFF);
  return WriteNum(388, dst, pd, media) && WriteNum(453, dst, pd, media);
}

bool MergeResolution(HCDDD handle, void* src, void* dst, void* pd, WORD operation, bool emulation) {
  if (emulation && handle->dme) {
    WORD merge = 0, mode = 0;
    if (dme_GetMergeMode(handle->dme, DME_FEATURE_RESOLUTION, &merge) == DME_OK &&
        dme_GetModeFlag(handle->dme, DME_FEATURE_RESOLUTION, &mode) == DME_OK && merge == 1 && mode == 1)
      operation = CDM_OP_ALLOWED;
  }
  if (operation == CDM_OP_ALLOWED) {
    LONG quality = 0;
    if (!ReadNum(20, src, pd, &quality)) return false;
    if (quality <= 0) return true;
    if (!WriteNum(20, dst, pd, quality) || !WriteNum(21, dst, pd, quality)) return false;
  } else {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR value = 0;
    if (ddm_GetValue(14, src, pd, &type, &size, &value) != 0) return false;
    DDD_VALUE v{};
    v.type = type;
    v.size = static_cast<WORD>(size);
    v.count = 1;
    v.data = &value;
    if (!cdddSearchItemData(handle, 14, &v)) return true;
    if (ddm_SetValue(14, dst, pd, type, size, &value) != 0) return false;
  }
  SetFields(dst, Fields(dst) | kResolutionFields);
  return true;
}

// The merge on work copies: src is a full-size zero-padded copy of the
// application's devmode, srcFields its usable fields.
bool Merge(HCDDD handle, void* dst, void* src, bool own, DWORD srcFields, void* pd, HANDLE printer, WORD operation,
           bool emulation) {
  if (own)
    std::memcpy(static_cast<BYTE*>(dst) + NRV_DEVMODE_PUBLIC_SIZE, static_cast<BYTE*>(src) + NRV_DEVMODE_PUBLIC_SIZE,
                NRV_DEVMODE_EXTRA);
  DWORD dstFields = Fields(dst);
  if (emulation) {
    const SHORT collate = static_cast<SHORT>(kp_LoadU16(At(src, offsetof(DEVMODEW, dmCollate))));
    DWORD merged = 0;
    if (!handle->dme || dme_GetMergedFields(handle->dme, srcFields, collate, &merged) != DME_OK) return false;
    srcFields = merged;
  }
  DWORD allowed = 0;
  if (!cdmGetFields(handle, &allowed, 2)) return false;
  LONG zoom = 0;
  if (own && ReadNum(1324, src, pd, &zoom) && zoom == 0) allowed &= ~DWORD(0x10);
  for (const MergeRow& row : kRows) {
    const DWORD bits = row.bit & allowed & srcFields;
    if (!bits || cdmPublicDataCheck(handle, src, pd, row.ddmId, operation) != 1) continue;
    if (!CopyMember(row.ddmId, src, dst, pd)) return false;
    dstFields |= bits;
  }
  SetFields(dst, dstFields);
  const DWORD mask = allowed & srcFields;
  if ((mask & CDM_MERGE_PAPER_FIELDS) && !cdmCheckAndModifyPaper(handle, dst, src, pd, printer, mask)) return false;
  if ((mask & kResolutionFields) && !MergeResolution(handle, src, dst, pd, operation, emulation)) return false;
  if (!cdmConvertTTOptionAndFontType(dst, pd, 17)) return false;
  if (emulation && !ReflectColor(handle, src, dst, pd)) return false;
  if (!cdmColorCapabilityTodmColor(dst, pd) || !cdmApplicationZoomToDmScale(dst) ||
      !cdmDefaultSourceToInputBin(dst, pd) || !cdmIcmModeToIcmMethod(dst, pd))
    return false;
  if (emulation && (mask & 0x8000000) && !ReflectMedia(handle, dst, pd)) return false;
  return true;
}

// The fields whose member lies wholly inside the first `size` bytes.
DWORD FieldsWithin(DWORD fields, WORD size) {
  for (const MergeRow& row : kRows)
    if (row.end > size) fields &= ~row.bit;
  for (const MergeRow& row : kOtherFields)
    if (row.end > size) fields &= ~row.bit;
  return fields;
}

BOOL ModifyDevmode(HCDDD handle, void* destination, const void* source, void* printerData, HANDLE printer,
                   WORD operation, bool emulation) {
  if (!destination || !printerData) return 0;
  if (!source) return 1;
  const WORD size = kp_LoadU16(At(source, offsetof(DEVMODEW, dmSize)));
  if (size < kFieldsEnd) return 0;
  BYTE* work = static_cast<BYTE*>(kcore_Alloc(2 * NRV_DEVMODE_SIZE_FULL + NRV_PRINTERDATA_SIZE));
  if (!work) return 0;
  BYTE* src = work;
  BYTE* dst = work + NRV_DEVMODE_SIZE_FULL;
  BYTE* pd = work + 2 * NRV_DEVMODE_SIZE_FULL;
  std::memcpy(dst, destination, NRV_DEVMODE_SIZE_FULL);
  std::memcpy(pd, printerData, NRV_PRINTERDATA_SIZE);
  BOOL result = 0;
  if (cdmCopyStoredDevmode(source, src)) {
    const WORD extra = kp_LoadU16(At(source, offsetof(DEVMODEW, dmDriverExtra)));
    const bool own = size == NRV_DEVMODE_PUBLIC_SIZE && extra >= NRV_DEVMODE_EXTRA && IsOwn(handle, src, pd);
    // The private part of a foreign devmode is never read as ours.
    if (!own) std::memset(src + NRV_DEVMODE_PUBLIC_SIZE, 0, NRV_DEVMODE_SIZE_FULL - NRV_DEVMODE_PUBLIC_SIZE);
    const DWORD fields = FieldsWithin(Fields(src), size);
    if (emulation && dme_ConvertDevmode(handle->dme, src) != DME_OK) {
      result = 0;
    } else if (Merge(handle, dst, src, own, fields, pd, printer, operation, emulation)) {
      if (handle && handle->preConfig) PreConfig_SetAllDataToDDM(handle->preConfig, dst, pd, 1);
      std::memcpy(destination, dst, NRV_DEVMODE_SIZE_FULL);
      std::memcpy(printerData, pd, NRV_PRINTERDATA_SIZE);
      result = 1;
    }
  }
  kcore_Free(work);
  return result;
}

void LogDevmode(bool input, void* dm, void* pd) {
  (void)pd;
  if (input) {
    Logout_OutputPublicDevmode(u"\nInput DEVMODE(Public)", dm);
    Logout_OutputdmFields(u"\nInput DEVMODE(dmFields)", dm);
    Logout_OutputPrivateDevmode(u"\nInput DEVMODE(Private)", dm, 270);
    Logout_OutputPrivateDevmode(u"Input DEVMODE(Private)", dm, 388);
    Logout_OutputPrivateDevmode(u"Input DEVMODE(Private)", dm, 453);
  } else {
    Logout_OutputPublicDevmode(u"\nOutput DEVMODE(Public)", dm);
    Logout_OutputdmFields(u"\nOutput DEVMODE(dmFields)", dm);
    Logout_OutputPrivateDevmode(u"\nOutput DEVMODE(Private)", dm, 270);
    Logout_OutputPrivateDevmode(u"Output DEVMODE(Private)", dm, 388);
    Logout_OutputPrivateDevmode(u"Output DEVMODE(Private)", dm, 453);
  }
}

}  // namespace

BOOL cdm_ModifyDevmode(HCDDD handle, void* destination, const void* source, void* printerData, HANDLE printer,
                       WORD operation) {
  return ModifyDevmode(handle, destination, source, printerData, printer, operation, false);
}

BOOL cdm_ModifyDevmodeWithDME(HCDDD handle, void* destination, const void* source, void* printerData,
                              HANDLE printer, WORD operation) {
  if (!destination || !printerData) return 0;
  if (!source) return 1;
  if (kp_LoadU16(At(source, offsetof(DEVMODEW, dmSize))) < kFieldsEnd) return 0;
  // The trace log reads a whole driver devmode: dump a bounded copy.
  BYTE* copy = static_cast<BYTE*>(kcore_Alloc(NRV_DEVMODE_SIZE_FULL));
  if (!copy || !cdmCopyStoredDevmode(source, copy)) {
    kcore_Free(copy);
    return 0;
  }
  LogDevmode(true, copy, printerData);
  kcore_Free(copy);
  LONG on = 0;
  const bool emulation = handle && handle->dme && dme_IsEnableDME(handle->dme) &&
                         ReadNum(5201, destination, printerData, &on) && on != 0;
  const BOOL result = ModifyDevmode(handle, destination, source, printerData, printer, operation, emulation);
  LogDevmode(false, destination, printerData);
  return result;
}

#endif  // !KESTREL_KERNEL_MODE
