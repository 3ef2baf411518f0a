// The device description handle (see kestrel/core/cddd.h). Finding the file
// of a printer differs between the builds (core/um/cddd_um.cpp,
// core/km/cddd_km.cpp).
#include "kestrel/core/cddd.h"

#include <atomic>
#include <cstring>

#include "kestrel/core/ddm_layout.h"
#include "kestrel/core/kcore_sys.h"
#if !defined(KESTREL_KERNEL_MODE)
#include "kplatform/kernel32_memory.h"
#endif

#include "cddd_modes.h"

using namespace cddd_modes;

namespace {

std::atomic<const CDDD_ATTACH_OPS*> g_ops{nullptr};
CDDD_ATTACH_OPS g_opsCopy{};

void SetStatus(WORD* status, WORD value) {
  if (status) *status = value;
}

}  // namespace

namespace cddd_modes {

LPWSTR Duplicate(LPCWSTR s) {
  if (!s) return nullptr;
  DWORD n = kp_WideLength(s);
  auto* copy = static_cast<LPWSTR>(kcore_Alloc((static_cast<SIZE_T>(n) + 1) * sizeof(WCHAR)));
  if (copy) std::memcpy(copy, s, (static_cast<SIZE_T>(n) + 1) * sizeof(WCHAR));
  return copy;
}

}  // namespace cddd_modes

namespace {

bool IsOptionKind(WORD kind) { return kind == DDD_CAT_OPTION_INSTALL || kind == DDD_CAT_OPTION_DOC; }

// Bytes of a numeric description value: the width of the same-numbered
// number type, and 4 for a float; 0 for strings, blocks and unknown types.
DWORD TypeWidth(WORD type) { return type == DDD_TYPE_FLOAT ? 4 : ddm_NumberSize(type); }

// A value as a signed 64-bit number; false for strings, blocks and floats.
bool AsInteger(WORD type, const void* data, DWORD size, long long* out) {
  DWORD width = TypeWidth(type);
  if (!data || width == 0 || type == DDD_TYPE_FLOAT || size < width) return false;
  const auto* b = static_cast<const BYTE*>(data);
  DWORD u = 0;
  for (DWORD i = 0; i < width; ++i) u |= static_cast<DWORD>(b[i]) << (8 * i);
  switch (type) {
    case DDD_TYPE_SHORT: *out = static_cast<SHORT>(u); return true;
    case DDD_TYPE_LONG: case DDD_TYPE_BOOL: *out = static_cast<LONG>(u); return true;
    default: *out = u; return true;
  }
}

// The option record of a setting (quick read); null when it is no option.
DDD_OPTION* ReadOption(HCDDD h, WORD ddmId, WORD depth, WORD* result) {
  WORD category = 0;
  void* record = nullptr;
  *result = ddma_GetDataX(depth, h->main, h->referenced, ddmId, nullptr, &category, &record);
  if (*result) return nullptr;
  if (category == DDD_CAT_FILEINFO) {
    ddd_FreeMem(record);
    *result = DDD_ERR_ARG;
    return nullptr;
  }
  if (!record || !IsOptionKind(category)) {
    ddd_Free(&record, DDD_KIND_ANY);
    *result = DDD_ERR_ARG;
    return nullptr;
  }
  return static_cast<DDD_OPTION*>(record);
}

// The Paper record an option item refers to.
DDD_PAPER* PaperOfItem(HCDDD h, const DDD_OPTIONITEM* item, WORD* result) {
  WORD kind = 0;
  void* record = nullptr;
  *result = ddma_GetRefDataX(DDD_FULL, h->main, h->referenced, item, &kind, &record);
  if (*result) return nullptr;
  if (kind != DDD_CAT_PAPER || !record) {
    ddd_Free(&record, DDD_KIND_ANY);
    *result = DDD_ERR_ARG;
    return nullptr;
  }
  return static_cast<DDD_PAPER*>(record);
}

// The item carrying a setting's default value (the model-dependent
// overrides included).
DDD_OPTIONITEM* DefaultItem(HCDDD h, WORD ddmId, WORD* result) {
  void* value = nullptr;
  WORD type = 0;
  *result = ddma_GetDefaultPDEV(h->main, h->referenced, ddmId, &value, &type);
  if (*result) return nullptr;
  DDD_VALUE v{};
  v.type = type;
  v.count = 1;
  v.data = value;
  v.size = static_cast<WORD>(type == DDD_TYPE_STRING ? (kp_WideLength(static_cast<LPCWSTR>(value)) + 1) * sizeof(WCHAR)
                                                     : TypeWidth(type));
  WORD category = 0;
  void* record = nullptr;
  *result = value ? ddma_GetDataX(DDD_FULL, h->main, h->referenced, ddmId, &v, &category, &record)
                  : static_cast<WORD>(DDD_ERR_NOTFOUND);
  ddd_FreeMem(value);
  if (*result) return nullptr;
  if (category != DDD_CAT_OPTIONITEM_INSTALL && category != DDD_CAT_OPTIONITEM_DOC) {
    ddd_Free(&record, DDD_KIND_ANY);
    *result = DDD_ERR_ARG;
    return nullptr;
  }
  return static_cast<DDD_OPTIONITEM*>(record);
}

}  // namespace

void cddd_SetAttachOps(const CDDD_ATTACH_OPS* ops) {
  if (!ops) {
    g_ops.store(nullptr);
    return;
  }
  g_opsCopy = *ops;
  g_ops.store(&g_opsCopy);
}

const CDDD_ATTACH_OPS* cddd_GetAttachOps(void) { return g_ops.load(); }

WORD cddd_MapStatus(WORD readerResult) {
  switch (readerResult) {
    case DDD_OK: return CDDD_OK;
    case DDD_ERR_NOTFOUND: return CDDD_NOTFOUND;
    case DDD_ERR_MEMORY: return CDDD_NOMEM;
    default: return CDDD_ERR;
  }
}

// ---- Opening and closing ------------------------------------------------------

HCDDD cdddAllocFinfo(void) {
  auto* h = static_cast<HCDDD>(kcore_Alloc(sizeof(CDDD_INFO)));
  if (!h) return nullptr;
  h->main = static_cast<DDDFILE*>(kcore_Alloc(sizeof(DDDFILE)));
  h->referenced = static_cast<DDDFILE*>(kcore_Alloc(sizeof(DDDFILE)));
  if (!h->main || !h->referenced) {
    cddd_HandleFree(h);
    return nullptr;
  }
  return h;
}

void cddd_HandleFree(HCDDD handle) {
  if (!handle) return;
  const CDDD_ATTACH_OPS* ops = g_ops.load();
  if (handle->preConfig && ops && ops->closePreConfig) ops->closePreConfig(handle->preConfig);
  if (handle->dme && ops && ops->destroyDme) ops->destroyDme(handle->dme);
  kcore_Free(handle->main);
  kcore_Free(handle->referenced);
  kcore_Free(handle->dataFile);
  kcore_Free(handle);
}

HCDDD cddd_OpenDataFile(LPCWSTR dataFile) {
  if (!dataFile) return nullptr;
  HCDDD h = cdddAllocFinfo();
  if (!h) return nullptr;
  if (ddd_OpenFile(dataFile, 0, h->main, h->referenced) != DDD_OK) {
    cddd_HandleFree(h);
    return nullptr;
  }
  h->dataFile = Duplicate(dataFile);  // the configuration file is named after it
  const CDDD_ATTACH_OPS* ops = g_ops.load();
  if (ops) {
    LPWSTR configFile = ops->configFileName ? ops->configFileName(h) : nullptr;
    if (configFile) {
      WORD status = 0;
      LPWSTR model = cdddGetModelName(h, &status);
      if (model && ops->openPreConfig) h->preConfig = ops->openPreConfig(model, configFile);
      if (ops->createDme) h->dme = ops->createDme(configFile, 1);
      kcore_Free(model);
      kcore_Free(configFile);
    }
  }
  return h;
}

BOOL cddd_Close(HCDDD handle) {
  if (!handle) return FALSE;
  WORD r = ddd_CloseFile(handle->main, handle->referenced);
  cddd_HandleFree(handle);
  return r == DDD_OK;
}

// ---- Defaults and lists ------------------------------------------------------------

BOOL cdddGetDefaultDataInfo(HCDDD handle, WORD ddmId, ULONG_PTR* value, WORD* type, WORD* status) {
  if (value) *value = 0;
  if (!handle || !value || !type) {
    SetStatus(status, CDDD_ERR);
    return FALSE;
  }
  SetStatus(status, CDDD_OK);
  void* data = nullptr;
  WORD t = 0;
  WORD r = ddma_GetDefaultPDEV(handle->main, handle->referenced, ddmId, &data, &t);
  if (r) {
    SetStatus(status, cddd_MapStatus(r));
    return FALSE;
  }
  *type = t;
  if (t == DDD_TYPE_STRING || t == DDD_TYPE_BLOCK) {
    *value = reinterpret_cast<ULONG_PTR>(data);
    return TRUE;
  }
  DWORD width = TypeWidth(t);
  DWORD have = width;
#if !defined(KESTREL_KERNEL_MODE)
  if (data) {
    SIZE_T size = GlobalSize(data);
    if (size < have) have = static_cast<DWORD>(size);
  }
#endif
  ULONG_PTR v = 0;
  if (data)
    for (DWORD i = 0; i < have; ++i) v |= static_cast<ULONG_PTR>(static_cast<const BYTE*>(data)[i]) << (8 * i);
  ddd_FreeMem(data);
  *value = v;
  return TRUE;
}

void cdddGetDefaultDataFree(ULONG_PTR value, WORD type) {
  if (type == DDD_TYPE_STRING || type == DDD_TYPE_BLOCK) ddd_FreeMem(reinterpret_cast<void*>(value));
}

BOOL cdddGetSelectItemInfo(HCDDD handle, WORD ddmId, WORD* method, WORD* count, LPCWSTR* name, void** list,
                           WORD* status) {
  if (list) *list = nullptr;
  if (name) *name = nullptr;
  if (!handle || !list) {
    SetStatus(status, CDDD_ERR);
    return FALSE;
  }
  SetStatus(status, CDDD_OK);
  WORD r = 0;
  DDD_OPTION* option = ReadOption(handle, ddmId, DDD_FULL, &r);
  if (!option) {
    SetStatus(status, cddd_MapStatus(r));
    return FALSE;
  }
  if (method) *method = option->selectMethod;
  if (count) *count = option->items.count;
  if (name) *name = option->name.str;
  *list = option;
  return TRUE;
}

void cdddSelectItemInfoFree(void* list) {
  if (list) ddd_Free(&list, DDD_KIND_ANY);
}

BOOL cdddGetSelectItemData(HCDDD handle, WORD ddmId, WORD itemNumber, DDD_GUIDATA** item, WORD* status) {
  if (item) *item = nullptr;
  if (!handle || !item || itemNumber == 0) {
    SetStatus(status, CDDD_ERR);
    return FALSE;
  }
  SetStatus(status, CDDD_OK);
  WORD r = ddma_GetGUIData(handle->main, handle->referenced, ddmId, itemNumber, item);
  if (r) {
    SetStatus(status, cddd_MapStatus(r));
    *item = nullptr;
    return FALSE;
  }
  return TRUE;
}

void cdddSelectItemDataFree(DDD_GUIDATA* item) {
  if (!item) return;
  void* p = item;
  ddd_Free(&p, DDD_KIND_GUIDATA);
}

BOOL cdddGetSelectItemForDataTbl(const DDD_GUIDATA* item, const void** value, LPCWSTR* name, WORD* type,
                                 const DDD_ICONBYTES** image) {
  if (!item) return FALSE;
  if (value) *value = item->value;
  if (name) *name = item->name;
  if (type) *type = item->valueType;
  if (image) *image = item->icon;
  return TRUE;
}

WORD cdddGetMaxCopies(HCDDD handle) {
  if (!handle) return 0;
  return static_cast<WORD>(ddd_GetPrinterInfo_orderedItem_Indirect(handle->main, 4, 2, 0));
}

BOOL cdddSearchItemData(HCDDD handle, WORD ddmId, const DDD_VALUE* value) {
  if (!handle || !value) return FALSE;
  WORD r = 0;
  DDD_OPTION* option = ReadOption(handle, ddmId, DDD_QUICK, &r);
  if (!option) return FALSE;
  WORD method = option->selectMethod;
  void* p = option;
  ddd_Free(&p, DDD_KIND_ANY);

  long long given = 0;
  if ((method == 4 || method == 6) && AsInteger(value->type, value->data, value->size, &given)) {
    // Range setting: items 1-3 are minimum, maximum and step.
    long long bounds[3] = {};
    for (WORD position = 1; position <= 3; ++position) {
      WORD category = 0;
      void* record = nullptr;
      if (ddma_GetItemDataX(DDD_QUICK, handle->main, handle->referenced, ddmId, position, &category, &record))
        return FALSE;
      const DDD_VALUE& v = static_cast<DDD_OPTIONITEM*>(record)->value;
      bool ok = AsInteger(v.type, v.data, v.size, &bounds[position - 1]);
      ddd_Free(&record, DDD_KIND_ANY);
      if (!ok) return FALSE;
    }
    long long minimum = bounds[0], maximum = bounds[1], step = bounds[2];
    if (given < minimum || given > maximum) return FALSE;
    return step <= 0 || (given - minimum) % step == 0;
  }
  WORD category = 0;
  void* record = nullptr;
  r = ddma_GetDataX(DDD_QUICK, handle->main, handle->referenced, ddmId, value, &category, &record);
  ddd_Free(&record, DDD_KIND_ANY);
  return r == DDD_OK;
}

BOOL cdddIsSamePaperSize(LONG width1, LONG length1, LONG width2, LONG length2) {
  auto close = [](LONG a, LONG b) { return (a > b ? static_cast<long long>(a) - b : static_cast<long long>(b) - a) <= 10; };
  bool sameOrientation = (width1 > length1 && width2 > length2) || (width1 < length1 && width2 < length2);
  if (sameOrientation) return close(width1, width2) && close(length1, length2);
  return close(width1, length2) && close(length1, width2);
}

// ---- Papers --------------------------------------------------------------------------

BOOL cdddGetPaperSizeInfo(HCDDD handle, WORD ddmId, WORD paperDataId, DWORD /*extra*/, DDD_PAPER** paper,
                          WORD* status) {
  if (paper) *paper = nullptr;
  if (!handle || !paper) {
    SetStatus(status, CDDD_ERR);
    return FALSE;
  }
  SetStatus(status, CDDD_OK);
  BYTE bytes[4] = {static_cast<BYTE>(paperDataId), static_cast<BYTE>(paperDataId >> 8), 0, 0};
  DDD_VALUE v{};
  v.type = DDD_TYPE_ULONG;
  v.size = 4;
  v.count = 1;
  v.data = bytes;
  WORD category = 0;
  void* item = nullptr;
  WORD r = ddma_GetDataX(DDD_QUICK, handle->main, handle->referenced, ddmId, &v, &category, &item);
  if (!r && category != DDD_CAT_OPTIONITEM_INSTALL && category != DDD_CAT_OPTIONITEM_DOC) {
    ddd_Free(&item, DDD_KIND_ANY);
    r = DDD_ERR_ARG;
  }
  if (r) {
    SetStatus(status, cddd_MapStatus(r));
    return FALSE;
  }
  DDD_PAPER* record = PaperOfItem(handle, static_cast<DDD_OPTIONITEM*>(item), &r);
  ddd_Free(&item, DDD_KIND_ANY);
  if (!record) {
    SetStatus(status, cddd_MapStatus(r));
    return FALSE;
  }
  *paper = record;
  return TRUE;
}

void cdddGetPaperSizeInfoFree(DDD_PAPER* paper) {
  if (!paper) return;
  void* p = paper;
  ddd_Free(&p, DDD_KIND_ANY);
}

BOOL cdddGetPaperSize(HCDDD handle, WORD ddmId, WORD paperDataId, WORD* lowerWidth, WORD* lowerLength,
                      WORD* upperWidth, WORD* upperLength, WORD* status) {
  DDD_PAPER* paper = nullptr;
  if (!cdddGetPaperSizeInfo(handle, ddmId, paperDataId, 0, &paper, status)) {
    SetStatus(status, CDDD_ERR);
    return FALSE;
  }
  if (lowerWidth) *lowerWidth = paper->paperLower.first;
  if (lowerLength) *lowerLength = paper->paperLower.second;
  if (upperWidth) *upperWidth = paper->paperUpper.first;
  if (upperLength) *upperLength = paper->paperUpper.second;
  cdddGetPaperSizeInfoFree(paper);
  return TRUE;
}

BOOL cdddGetDefaultPDEV(HCDDD handle, WORD ddmId, DDD_OPTIONITEM** item, WORD* status) {
  if (item) *item = nullptr;
  if (!handle || !item) {
    SetStatus(status, CDDD_ERR);
    return FALSE;
  }
  SetStatus(status, CDDD_OK);
  WORD r = 0;
  *item = DefaultItem(handle, ddmId, &r);
  if (!*item) {
    SetStatus(status, cddd_MapStatus(r));
    return FALSE;
  }
  return TRUE;
}

void cdddGetDefaultPDEVFree(DDD_OPTIONITEM* item) {
  if (!item) return;
  void* p = item;
  ddd_Free(&p, DDD_KIND_ANY);
}

namespace {
DDD_PAPER* DefaultPaper(HCDDD handle, WORD ddmId, WORD* status) {
  DDD_OPTIONITEM* item = nullptr;
  if (!cdddGetDefaultPDEV(handle, ddmId, &item, status)) return nullptr;
  WORD r = 0;
  DDD_PAPER* paper = PaperOfItem(handle, item, &r);
  cdddGetDefaultPDEVFree(item);
  if (!paper) SetStatus(status, cddd_MapStatus(r));
  return paper;
}
}  // namespace

BOOL cdddGetDefaultPaperSize(HCDDD handle, WORD ddmId, WORD* lowerWidth, WORD* lowerLength, WORD* status) {
  if (!handle) {
    SetStatus(status, CDDD_ERR);
    return FALSE;
  }
  DDD_PAPER* paper = DefaultPaper(handle, ddmId, status);
  if (!paper) return FALSE;
  if (lowerWidth) *lowerWidth = paper->paperLower.first;
  if (lowerLength) *lowerLength = paper->paperLower.second;
  cdddGetPaperSizeInfoFree(paper);
  return TRUE;
}

LPWSTR cdddGetDefaultPaperName(HCDDD handle, WORD ddmId, WORD* status) {
  if (!handle) {
    SetStatus(status, CDDD_ERR);
    return nullptr;
  }
  DDD_PAPER* paper = DefaultPaper(handle, ddmId, status);
  if (!paper) return nullptr;
  LPWSTR name = Duplicate(paper->name.str ? paper->name.str : u"");
  cdddGetPaperSizeInfoFree(paper);
  if (!name) SetStatus(status, CDDD_NOMEM);
  return name;
}

BOOL cdddSamePaper(HCDDD handle, WORD ddmId, WORD mode, const CDDD_PAPERKEY* key, CDDD_PAPERKEY* match,
                   WORD* status) {
  SetStatus(status, CDDD_ERR);
  if (!handle || !key || !match || mode < 1 || mode > 3) return FALSE;
  if (mode == 3 && !key->name) return FALSE;
  WORD r = 0;
  DDD_OPTION* option = ReadOption(handle, ddmId, DDD_QUICK, &r);
  if (!option) {
    SetStatus(status, cddd_MapStatus(r));
    return FALSE;
  }
  WORD n = option->items.count;
  if (n == 0) {
    void* p = option;
    ddd_Free(&p, DDD_KIND_ANY);
    SetStatus(status, CDDD_NOTFOUND);
    return FALSE;
  }
  BOOL found = FALSE;
  for (WORD position = 1; position <= n && !found; ++position) {
    WORD category = 0;
    DDD_OPTIONITEM* item = nullptr;
    r = ddd_GetItemDataByIndexX(DDD_QUICK, FALSE, handle->main, handle->referenced, option, position, &category,
                                &item);
    if (r) break;
    DDD_PAPER* paper = PaperOfItem(handle, item, &r);
    cdddGetDefaultPDEVFree(item);
    if (!paper) break;
    bool hit = false;
    if (mode == 1) {
      hit = paper->head.id == key->paperId;
    } else if (mode == 2) {
      hit = cdddIsSamePaperSize(paper->paperLower.first, paper->paperLower.second, key->width, key->length);
    } else {
      LPCWSTR a = paper->name.str ? paper->name.str : u"";
      DWORD la = kp_WideLength(a);
      hit = la == kp_WideLength(key->name) && std::memcmp(a, key->name, la * sizeof(WCHAR)) == 0;
    }
    if (hit) {
      LPWSTR name = Duplicate(paper->name.str ? paper->name.str : u"");
      if (!name) {
        cdddGetPaperSizeInfoFree(paper);
        r = DDD_ERR_MEMORY;
        break;
      }
      match->paperId = paper->head.id;
      match->width = paper->paperLower.first;
      match->length = paper->paperLower.second;
      match->name = name;
      found = TRUE;
    }
    cdddGetPaperSizeInfoFree(paper);
  }
  void* p = option;
  ddd_Free(&p, DDD_KIND_ANY);
  if (r) {
    SetStatus(status, cddd_MapStatus(r));
    return FALSE;
  }
  SetStatus(status, found ? CDDD_OK : CDDD_NOTFOUND);
  return found;
}

void cdddSamePaperFree(CDDD_PAPERKEY* match) {
  if (!match) return;
  kcore_Free(match->name);
  match->name = nullptr;
}

// ---- Printer information -----------------------------------------------------------

LPWSTR cdddGetModelName(HCDDD handle, WORD* status) {
  if (!handle) {
    SetStatus(status, CDDD_ERR);
    return nullptr;
  }
  SetStatus(status, CDDD_OK);
  DDD_FILEINFO* info = nullptr;
  WORD r = ddd_GetFileInfo(handle->main, &info);
  if (r) {
    SetStatus(status, cddd_MapStatus(r));
    return nullptr;
  }
  LPWSTR name = Duplicate(info->modelName ? info->modelName : u"");
  void* p = info;
  ddd_Free(&p, DDD_CAT_FILEINFO);
  if (!name) SetStatus(status, CDDD_NOMEM);
  return name;
}

LONG cdddGetPrinterColor(HCDDD handle) {
  if (!handle) return 0xFFFF;
  BYTE colour = 0;
  if (ddd_GetPrinterInfo_orderedItem(handle->main, 5, 1, 0, &colour) != DDD_OK) return 0xFFFF;
  if (colour == 0) return -1;
  if (colour == 2) return 2;
  return 1;
}

WORD cdddGetICMVersion(HCDDD handle) {
  if (!handle) return 65535;
  BYTE version = 0;
  if (ddd_GetPrinterInfo_orderedItem(handle->main, 7, 1, 0, &version) != DDD_OK) return 65535;
  return version;
}
