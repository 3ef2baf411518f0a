// Merging an application's devmode into the driver's (kestrel/core/cdm_merge.h).
#include "kestrel/core/cdm_merge.h"

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

constexpr DWORD kResolutionFields = CDM_MERGE_RESOLUTION_FIELDS;
constexpr size_t kFieldsEnd = MEMBER_END(DEVMODEW, dmFields);

// The merged standard fields: bit, DDM id, end of the field in DEVMODEW.
struct MergeRow {
  DWORD bit;
  WORD ddmId;
  WORD end;
};
// The ICM intent, media type and dither type rows carry this driver's own
// field bits (KDM_FIELD_*).
constexpr MergeRow kRows[] = {
    {DM_ORIENTATION, DDM_ORIENTATION, MEMBER_END(DEVMODEW, dmOrientation)},
    {DM_SCALE, DDM_SCALE, MEMBER_END(DEVMODEW, dmScale)},
    {DM_COPIES, DDM_COPIES, MEMBER_END(DEVMODEW, dmCopies)},
    {DM_DEFAULTSOURCE, DDM_DEFAULTSOURCE, MEMBER_END(DEVMODEW, dmDefaultSource)},
    {DM_DUPLEX, DDM_DUPLEX, MEMBER_END(DEVMODEW, dmDuplex)},
    {DM_TTOPTION, DDM_TTOPTION, MEMBER_END(DEVMODEW, dmTTOption)},
    {DM_COLLATE, DDM_COLLATE, MEMBER_END(DEVMODEW, dmCollate)},
    {KDM_FIELD_ICMINTENT, DDM_ICMINTENT, MEMBER_END(DEVMODEW, dmICMIntent)},
    {KDM_FIELD_MEDIATYPE, DDM_MEDIATYPE, MEMBER_END(DEVMODEW, dmMediaType)},
    {KDM_FIELD_DITHERTYPE, DDM_DITHERTYPE, MEMBER_END(DEVMODEW, dmDitherType)},
};
// Fields of the adjustment steps with the end of their member (no DDM id:
// the steps read the field itself). DM_ICMMETHOD is Windows' bit here: its
// member is cut off with dmICMMethod.
constexpr MergeRow kOtherFields[] = {
    {DM_PAPERSIZE, DDM_PAPERSIZE, MEMBER_END(DEVMODEW, dmPaperSize)},
    {DM_PAPERLENGTH, DDM_PAPERLENGTH, MEMBER_END(DEVMODEW, dmPaperLength)},
    {DM_PAPERWIDTH, DDM_PAPERWIDTH, MEMBER_END(DEVMODEW, dmPaperWidth)},
    {DM_FORMNAME, DDM_FORMNAME, MEMBER_END(DEVMODEW, dmFormName)},
    {DM_PRINTQUALITY, DDM_PRINTQUALITY, MEMBER_END(DEVMODEW, dmPrintQuality)},
    {DM_YRESOLUTION, DDM_YRESOLUTION, MEMBER_END(DEVMODEW, dmYResolution)},
    {DM_COLOR, 0, MEMBER_END(DEVMODEW, dmColor)},
    {DM_ICMMETHOD, 0, MEMBER_END(DEVMODEW, dmICMMethod)},
};

// The bytes of a member at its offset (a devmode may sit at any address).
const BYTE* At(const void* dm, size_t off) { return static_cast<const BYTE*>(dm) + off; }

DWORD Fields(const void* dm) { return kp_LoadU32(At(dm, offsetof(DEVMODEW, dmFields))); }
void SetFields(void* dm, DWORD f) { kp_StoreU32(static_cast<BYTE*>(dm) + offsetof(DEVMODEW, dmFields), f); }

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
  return ddm_SetValue(DDM_FORMNAME, dm, pd, DDM_TYPE_STRING, (chars + 1) * 2, buffer) == 0;
}

bool IsOwn(HCDDD handle, void* dm, void* pd) { return dm && cdm_IsDevmode(handle, dm, pd) == 1; }

bool FormDbAllowed(HCDDD handle, void* dm, void* pd) {
  if (!handle || !handle->dme || !dme_IsEnableFormDB(handle->dme)) return false;
  LONG on = 0;
  return ddm_GetNumber(DDM_EMULATION, dm, pd, &on) && on != 0;
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
  return cdddSamePaper(handle, DDM_PAPERSIZE, mode, &k, match, &status) != 0;
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
      if (dmaCore_GetValue(DMA_RULES_KERNEL, static_cast<WORD>(DDM_DEFINENAME_FIRST + slot), devmode, printerData, &type, &size,
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
  for (WORD id : {DDM_PAPERSIZE, DDM_PAPERLENGTH, DDM_PAPERWIDTH, DDM_FORMNAME})
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
  if (fields & DM_PAPERSIZE) kinds |= CDM_SEARCH_ID;
  if (fields & DM_FORMNAME) kinds |= CDM_SEARCH_NAME;
  if ((fields & (DM_PAPERLENGTH | DM_PAPERWIDTH)) && key.width > 0 && key.length > 0) kinds |= CDM_SEARCH_SIZE;
  const bool customAllowed = zanLib_IsEnableDPCustomPaperSize(devmode, pd) != 0;
  if (key.paperId == CDM_PAPER_USER) {
    if (customAllowed) {
      if ((fields & (DM_PAPERLENGTH | DM_PAPERWIDTH)) == (DM_PAPERLENGTH | DM_PAPERWIDTH)) return TakeKey(key, result);
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
  const bool customOrder = own && ddm_GetNumber(DDM_PAPERIDFIRST, own, printerData, &flag) && flag != 0;
  CDM_PAPER_KEY match{};
  if (!SearchSamePaper(handle, destination, printerData, printer, sourceFields, customOrder, key, &match))
    return reset ? cdmPaperInfoDefaultSet(handle, source, printerData, printer) : 1;
  bool ok = ddm_SetNumber(DDM_PAPERLENGTH, destination, printerData, match.length) &&
            ddm_SetNumber(DDM_PAPERWIDTH, destination, printerData, match.width) &&
            ddm_SetNumber(DDM_PAPERSIZE, destination, printerData, match.paperId);
  if (ok && match.name) ok = WriteFormName(destination, printerData, match.name);
  if (ok) {
    DWORD fields = Fields(destination) | (sourceFields & (DM_FORMNAME | DM_PAPERSIZE));
    if (customOrder) fields |= DM_PAPERLENGTH | DM_PAPERWIDTH;
    if (match.paperId == CDM_PAPER_USER) fields = (fields & ~DM_FORMNAME) | DM_PAPERLENGTH | DM_PAPERWIDTH;
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
  DWORD fields = DM_FORMNAME;
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
    fields = DM_PAPERSIZE;
  } else {
    CDDD_PAPERKEY key{paperId, 0, 0, nullptr};
    CDDD_PAPERKEY match{};
    WORD status = 0;
    if (!cdddSamePaper(handle, DDM_PAPERSIZE, 1, &key, &match, &status)) return 0;
    for (size_t i = 0; match.name && i < CCHFORMNAME && match.name[i]; ++i) name[i] = match.name[i];
    cdddSamePaperFree(&match);
  }
  if (fields == DM_FORMNAME && !WriteFormName(devmode, printerData, name)) return 0;
  return cdmCheckAndModifyPaper(handle, nullptr, devmode, printerData, printer, fields);
}

namespace {

bool ReflectColor(const void* table, const void* source, void* dst, void* pd) {
  WORD mode = 0;
  if (dme_GetModeFlag(table, DME_FEATURE_COLOR, &mode) != DME_OK) return false;
  if (mode == 0) return true;
  const SHORT color = static_cast<SHORT>(kp_LoadU16(At(source, offsetof(DEVMODEW, dmColor))));
  const LONG value = color != DMCOLOR_COLOR ? 1 : (mode == 2 ? 0 : 2);
  return ddm_SetNumber(DDM_COLORMODE, dst, pd, value);
}

bool ReflectMedia(const void* table, void* dst, void* pd) {
  WORD merge = 0;
  if (dme_GetMergeMode(table, DME_FEATURE_MEDIA, &merge) != DME_OK) return false;
  if (merge == 0) return true;
  const LONG media = static_cast<LONG>(kp_LoadU32(At(dst, offsetof(DEVMODEW, dmMediaType))) & 0xFFFF);
  return ddm_SetNumber(DDM_EMULATEDMEDIA, dst, pd, media) && ddm_SetNumber(DDM_EMULATEDMEDIA2, dst, pd, media);
}

bool MergeResolution(HCDDD handle, void* src, void* dst, void* pd, WORD operation, const void* table) {
  if (table) {
    WORD merge = 0, mode = 0;
    if (dme_GetMergeMode(table, DME_FEATURE_RESOLUTION, &merge) == DME_OK &&
        dme_GetModeFlag(table, DME_FEATURE_RESOLUTION, &mode) == DME_OK && merge == 1 && mode == 1)
      operation = CDM_OP_ALLOWED;
  }
  if (operation == CDM_OP_ALLOWED) {
    LONG quality = 0;
    if (!ddm_GetNumber(DDM_PRINTQUALITY, src, pd, &quality)) return false;
    if (quality <= 0) return true;
    if (!ddm_SetNumber(DDM_PRINTQUALITY, dst, pd, quality) || !ddm_SetNumber(DDM_YRESOLUTION, dst, pd, quality))
      return false;
  } else {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR value = 0;
    if (ddm_GetValue(DDM_RESOLUTION, src, pd, &type, &size, &value) != 0) return false;
    DDD_VALUE v{};
    v.type = type;
    v.size = static_cast<WORD>(size);
    v.count = 1;
    v.data = &value;
    if (!cdddSearchItemData(handle, DDM_RESOLUTION, &v)) return true;
    if (ddm_SetValue(DDM_RESOLUTION, dst, pd, type, size, &value) != 0) return false;
  }
  SetFields(dst, Fields(dst) | kResolutionFields);
  return true;
}

// The merge on work copies: src is a full-size zero-padded copy of the
// application's devmode, srcFields its usable fields; table is the emulation
// table when the merge runs with emulation on, else null.
bool Merge(HCDDD handle, void* dst, void* src, bool own, DWORD srcFields, void* pd, HANDLE printer, WORD operation,
           const void* table) {
  if (own)
    std::memcpy(static_cast<BYTE*>(dst) + NRV_DEVMODE_PUBLIC_SIZE, static_cast<BYTE*>(src) + NRV_DEVMODE_PUBLIC_SIZE,
                NRV_DEVMODE_EXTRA);
  DWORD dstFields = Fields(dst);
  if (table) {
    const SHORT collate = static_cast<SHORT>(kp_LoadU16(At(src, offsetof(DEVMODEW, dmCollate))));
    DWORD merged = 0;
    if (dme_GetMergedFields(table, srcFields, collate, &merged) != DME_OK) return false;
    srcFields = merged;
  }
  DWORD allowed = 0;
  if (!cdmGetFields(handle, &allowed, 2)) return false;
  LONG zoom = 0;
  if (own && ddm_GetNumber(DDM_APPLICATIONZOOM, src, pd, &zoom) && zoom == 0) allowed &= ~DWORD(DM_SCALE);
  for (const MergeRow& row : kRows) {
    const DWORD bits = row.bit & allowed & srcFields;
    if (!bits || cdmPublicDataCheck(handle, src, pd, row.ddmId, operation) != 1) continue;
    if (!CopyMember(row.ddmId, src, dst, pd)) return false;
    dstFields |= bits;
  }
  SetFields(dst, dstFields);
  const DWORD mask = allowed & srcFields;
  if ((mask & CDM_MERGE_PAPER_FIELDS) && !cdmCheckAndModifyPaper(handle, dst, src, pd, printer, mask)) return false;
  if ((mask & kResolutionFields) && !MergeResolution(handle, src, dst, pd, operation, table)) return false;
  if (!cdmConvertTTOptionAndFontType(dst, pd, DDM_TTOPTION)) return false;
  if (table && !ReflectColor(table, src, dst, pd)) return false;
  if (!cdmColorCapabilityTodmColor(dst, pd) || !cdmApplicationZoomToDmScale(dst) ||
      !cdmDefaultSourceToInputBin(dst, pd) || !cdmIcmModeToIcmMethod(dst, pd))
    return false;
  if (table && (mask & KDM_FIELD_MEDIATYPE) && !ReflectMedia(table, dst, pd)) return false;
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

// table: the emulation table of a merge with emulation on (null: off);
// convert: the source is converted with it first (an enabled table).
BOOL ModifyDevmode(HCDDD handle, void* destination, const void* source, void* printerData, HANDLE printer,
                   WORD operation, const void* table, bool convert) {
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
    if (table && convert && dme_ConvertDevmode(table, src) != DME_OK) {
      result = 0;
    } else if (Merge(handle, dst, src, own, fields, pd, printer, operation, table)) {
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
    Logout_OutputPrivateDevmode(u"\nInput DEVMODE(Private)", dm, DDM_COLORMODE);
    Logout_OutputPrivateDevmode(u"Input DEVMODE(Private)", dm, DDM_EMULATEDMEDIA);
    Logout_OutputPrivateDevmode(u"Input DEVMODE(Private)", dm, DDM_EMULATEDMEDIA2);
  } else {
    Logout_OutputPublicDevmode(u"\nOutput DEVMODE(Public)", dm);
    Logout_OutputdmFields(u"\nOutput DEVMODE(dmFields)", dm);
    Logout_OutputPrivateDevmode(u"\nOutput DEVMODE(Private)", dm, DDM_COLORMODE);
    Logout_OutputPrivateDevmode(u"Output DEVMODE(Private)", dm, DDM_EMULATEDMEDIA);
    Logout_OutputPrivateDevmode(u"Output DEVMODE(Private)", dm, DDM_EMULATEDMEDIA2);
  }
}

}  // namespace

BOOL cdm_ModifyDevmode(HCDDD handle, void* destination, const void* source, void* printerData, HANDLE printer,
                       WORD operation) {
  return ModifyDevmode(handle, destination, source, printerData, printer, operation, nullptr, false);
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
  // The merge runs with emulation as member 5201 says; only the conversion
  // of the source needs a table the configuration file enabled. Without
  // the "[DME,1]" section the handle's table is disabled and holds the
  // defaults, whose merge rules still apply (collate, resolution and default
  // source forced on, media type off). A handle without a table (no
  // configuration file could be named) merges with a table of the defaults
  // made for the call.
  LONG on = 0;
  const bool emulation = ddm_GetNumber(DDM_EMULATION, destination, printerData, &on) && on != 0;
  const void* table = emulation && handle ? handle->dme : nullptr;
  DME_HANDLE* defaults = nullptr;
  if (emulation && !table) {
    if (dme_CreateDMEHandle(&defaults) != DME_OK) return 0;
    table = defaults;
  }
  const bool convert = table && table != defaults && dme_IsEnableDME(table);
  const BOOL result =
      ModifyDevmode(handle, destination, source, printerData, printer, operation, table, convert);
  if (defaults) dme_ReleaseDMEHandle(defaults);
  LogDevmode(false, destination, printerData);
  return result;
}
