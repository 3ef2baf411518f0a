// Setting lists for the user interface of the user-mode build (see
// kestrel/core/cdm_lists.h; the handlers of both builds are cdm_lists.cpp): the
// list operations of the enumerated lists and the selection information.
#include "kestrel/core/cdm_lists.h"

#include <cstdio>
#include <cstring>

#include "../devmode/cdm_handlers.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/papdat.h"
#include "kestrel/core/zanlib.h"

#include "../devmode/cdm_lists_modes.h"

using namespace cdm_lists_modes;

namespace cdm_lists_modes {

bool IsListOperation(WORD operation, const CDM_MEMBER_ARGS* args) {
  return args && args->list && (operation == CDM_OP_LISTINFO || operation == CDM_OP_LISTITEM);
}

// A face-name list: one item a family, its face name as name and value.
WORD ServeFaceNames(WORD operation, CDM_MEMBER_ARGS* args) {
  const CDM_ENUM_ITEMS* list = args->list;
  if (operation == CDM_OP_LISTINFO) {
    cdmSetParamSelectItemInfoData(CDM_SELECT_LIST, list->count, DDM_TYPE_STRING, args);
    return CDM_RESULT_DONE;
  }
  if (args->index >= list->count) return CDM_RESULT_REFUSED;
  LPCWSTR name = cdmGetEnumItemName(list, args->index);
  return cdmSetParamSelectItemListData(0, name, reinterpret_cast<ULONG_PTR>(name), DDM_TYPE_STRING, args)
             ? CDM_RESULT_DONE
             : CDM_RESULT_REFUSED;
}

// The stamp-name list: a leading "none" entry, then the stored stamps.
WORD ServeStampNames(WORD operation, CDM_MEMBER_ARGS* args) {
  const CDM_ENUM_ITEMS* list = args->list;
  if (list->count >= 0xFFFF) return CDM_RESULT_REFUSED;
  if (operation == CDM_OP_LISTINFO) {
    cdmSetParamSelectItemInfoData(CDM_SELECT_LIST, list->count + 1, DDM_TYPE_STRING, args);
    return CDM_RESULT_DONE;
  }
  if (args->index > list->count) return CDM_RESULT_REFUSED;
  BOOL ok;
  if (args->index == 0) {
    ok = cdmSetParamSelectItemListData(CDM_STRID_STAMP_NONE, nullptr, reinterpret_cast<ULONG_PTR>(u""),
                                       DDM_TYPE_STRING, args);
  } else {
    LPCWSTR name = cdmGetEnumItemName(list, args->index - 1);
    ok = cdmSetParamSelectItemListData(0, name, reinterpret_cast<ULONG_PTR>(name), DDM_TYPE_STRING, args);
  }
  return ok ? CDM_RESULT_DONE : CDM_RESULT_REFUSED;
}

}  // namespace cdm_lists_modes

namespace {

// Growing text for the relabelled names.
struct Text {
  WCHAR buffer[512] = {};
  DWORD length = 0;
  bool overflow = false;
  void Put(LPCWSTR s, DWORD n) {
    for (DWORD i = 0; i < n; ++i) {
      if (length + 1 >= 512) {
        overflow = true;
        return;
      }
      buffer[length++] = s[i];
    }
  }
  void Put(LPCWSTR s) { Put(s, kp_WideLength(s)); }
  void PutAscii(const char* s) {
    for (; *s; ++s) {
      WCHAR c = static_cast<WCHAR>(static_cast<unsigned char>(*s));
      Put(&c, 1);
    }
  }
};

void FreeItem(CDM_SELECT_ITEM* item, WORD type, WORD method) {
  kcore_Free(item->name);
  cdmDestroySelectItemIcon(item->icon);
  kcore_Free(item->palette);
  if (type == DDM_TYPE_STRING && method != CDM_SELECT_LIMITS) kcore_Free(reinterpret_cast<void*>(item->value));
  *item = CDM_SELECT_ITEM{};
}

// Stores a value given as the address of its bytes in its type.
bool StoreValue(CDM_SELECT_ITEM* item, WORD type, const void* value) {
  if (type == DDM_TYPE_STRING) {
    if (!value) return true;
    LPWSTR copy = kcore_WideDup(static_cast<LPCWSTR>(value));
    if (!copy) return false;
    item->value = reinterpret_cast<ULONG_PTR>(copy);
    return true;
  }
  if (!value) return true;
  return cdmSetData(type, &item->value, value) != 0;
}

const CDM_MEMBER_DESC* DescOf(const CDM_MEMBER_ENTRY* entry) { return entry ? entry->desc : nullptr; }

bool HandlerServes(const CDM_MEMBER_ENTRY* entry, WORD operation) {
  const CDM_MEMBER_DESC* d = DescOf(entry);
  return d && (d->operations & operation) && d->handler;
}

// The member's static selection record when its flags give the head
// (CDM_STATIC_FLAG_HEAD, operation 4) or the items (CDM_STATIC_FLAG_ITEMS,
// operation 8) and the descriptor serves that operation.
const CDM_STATIC_SELECT* StaticSelect(const CDM_MEMBER_ENTRY* entry, WORD operation) {
  const CDM_MEMBER_DESC* d = DescOf(entry);
  if (!d || !(d->operations & operation) || !d->staticDefault || !d->staticDefault->select) return nullptr;
  WORD flag = operation == CDM_OP_LISTINFO ? CDM_STATIC_FLAG_HEAD : CDM_STATIC_FLAG_ITEMS;
  return (d->staticDefault->flags & flag) ? d->staticDefault->select : nullptr;
}

// Item args->index of a static selection record, through the same output
// helpers a handler uses.
bool StaticItem(const CDM_STATIC_SELECT* record, WORD method, CDM_MEMBER_ARGS* args) {
  switch (method) {
    case CDM_SELECT_CHECKBOX: return cdmSetParamSelectItemBoolData(0, 1, record->type, args) != 0;
    case CDM_SELECT_LIST: {
      if (!record->list || args->index >= record->count) return false;
      const CDM_STATIC_SELECT_ITEM& e = record->list[args->index];
      return cdmSetParamSelectItemListData(0, e.name, e.value, record->type, args) != 0;
    }
    case CDM_SELECT_INPUT:
    case CDM_SELECT_LIMITS: return cdmSetParamSelectItemInputData(record->first, record->second, args) != 0;
    case CDM_SELECT_RANGE:
      return cdmSetParamSelectItemMaxMinData(record->first, record->second, record->third, record->type, args) != 0;
    default: return false;
  }
}

// Copies an answered item (operation 8 of a handler, or a static record)
// into the list: its name, and its value in the list's type.
bool StoreAnswer(CDM_SELECT_INFO* info, DWORD index, const CDM_MEMBER_ARGS& args) {
  CDM_SELECT_ITEM& item = info->items[index];
  if (info->type == 0) info->type = args.type;  // taken from the first item
  if (args.itemNameId != 0) {
    WCHAR text[256] = {};
    resource_LoadString(args.itemNameId, text, 256);
    if (!(item.name = kcore_WideDup(text))) return false;
  } else if (args.itemName) {
    if (!(item.name = kcore_WideDup(args.itemName))) return false;
  }
  if (info->type == DDM_TYPE_STRING) return StoreValue(&item, DDM_TYPE_STRING, reinterpret_cast<const void*>(args.value));
  return StoreValue(&item, info->type, &args.value);
}

WORD MemberType(WORD ddmId, void* devmode, void* printerData) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  if (!devmode || ddm_GetValue(ddmId, devmode, printerData, &type, &size, &v) != 0) return 0;
  return type;
}

// Size text of one dimension in 0.1 mm.
void SizeText(WORD tenthsMm, const CDM_UNIT_INFO* unit, char* out, size_t room) {
  if (!unit || !unit->inch) {
    std::snprintf(out, room, "%u", static_cast<unsigned>(tenthsMm / 10));
    return;
  }
  DWORD whole = 0, fraction = 0;
  zanlib_SeparatePaperSize(unit->digits, static_cast<DWORD>(zanlib_MMToInch(tenthsMm)), &whole, &fraction);
  std::snprintf(out, room, unit->digits ? "%u.%u" : "%u.%02u", static_cast<unsigned>(whole),
                static_cast<unsigned>(fraction));
}

bool Relabel(CDM_SELECT_ITEM* item, HINSTANCE instance, void* devmode, void* printerData, WORD width, WORD length,
             LPCWSTR name, const CDM_UNIT_INFO* unit) {
  CDM_DEFINE_PAPER paper{static_cast<WORD>(item->value), width, length, name};
  LPWSTR text = cdmGetDefinePaperName(instance, devmode, printerData, &paper, unit);
  if (!text) return false;
  kcore_Free(item->name);
  item->name = text;
  return true;
}

// Relabels an item with its own name (copied first: the label replaces it).
bool RelabelOwnName(CDM_SELECT_ITEM* item, void* devmode, void* printerData, WORD width, WORD length,
                    const CDM_UNIT_INFO* unit) {
  LPWSTR own = kcore_WideDup(item->name ? item->name : u"");
  if (!own) return false;
  bool ok = Relabel(item, nullptr, devmode, printerData, width, length, own, unit);
  kcore_Free(own);
  return ok;
}

LONG ItemNumber(const CDM_SELECT_ITEM& item, WORD type) {
  return type == DDM_TYPE_BYTE ? static_cast<LONG>(item.value & 0xFF)
         : (type == DDM_TYPE_SHORT || type == DDM_TYPE_WORD) ? static_cast<LONG>(item.value & 0xFFFF)
                                                               : static_cast<LONG>(item.value);
}

// A dimension member as the 16-bit value the labels take (the number's low
// 16 bits).
bool ReadWord(WORD id, void* devmode, void* printerData, WORD* out) {
  LONG v = 0;
  if (!ddm_GetNumber(id, devmode, printerData, &v)) return false;
  *out = static_cast<WORD>(v);
  return true;
}

bool EditUserDefine(CDM_SELECT_INFO* info, void* devmode, void* printerData, const CDM_UNIT_INFO* unit) {
  DWORD done = 0;
  for (DWORD i = 0; i < info->count && done < CDM_DEFINE_COUNT; ++i) {
    CDM_SELECT_ITEM& item = info->items[i];
    WORD width = 0, length = 0;
    WCHAR name[65] = {};
    if (!cdmSearchDefineInfo(devmode, printerData, static_cast<WORD>(ItemNumber(item, info->type)), info->type,
                             &width, &length, name, 65))
      continue;
    if (!Relabel(&item, nullptr, devmode, printerData, width, length, name, unit)) return false;
    ++done;
  }
  return true;
}

bool EditCustom(CDM_SELECT_INFO* info, void* devmode, void* printerData, const CDM_UNIT_INFO* unit) {
  for (DWORD i = 0; i < info->count; ++i) {
    CDM_SELECT_ITEM& item = info->items[i];
    if (ItemNumber(item, info->type) != DMPAPER_USER) continue;
    WORD width = 0, length = 0;
    if (!ReadWord(DDM_CUSTOMPAPERWIDTH, devmode, printerData, &width) ||
        !ReadWord(DDM_CUSTOMPAPERLENGTH, devmode, printerData, &length))
      return false;
    return RelabelOwnName(&item, devmode, printerData, width, length, unit);
  }
  return true;
}

bool EditTray(CDM_SELECT_INFO* info, void* devmode, void* printerData, const CDM_UNIT_INFO* unit) {
  for (DWORD i = 0; i < info->count; ++i) {
    CDM_SELECT_ITEM& item = info->items[i];
    if (ItemNumber(item, info->type) != 275) continue;
    WORD widthId = 0, lengthId = 0;
    // No members named for this list: nothing to show, the entry stays.
    if (!ioBinLib_GetDimIdByConfigTray(info->ddmId, &widthId, &lengthId)) return true;
    WORD width = 0, length = 0;
    if (!ReadWord(widthId, devmode, printerData, &width) || !ReadWord(lengthId, devmode, printerData, &length))
      return false;
    return RelabelOwnName(&item, devmode, printerData, width, length, unit);
  }
  return true;
}

bool IsTrayPaperList(WORD id) {
  auto inTable = [id](WORD first) { return id >= first && id < first + DDM_TRAYTABLE_ROWS; };
  return id == DDM_OUTPUTSIZE || inTable(DDM_TRAYTABLE_A_PAPER) || inTable(DDM_TRAYTABLE_B_PAPER);
}

bool RelabelPapers(HCDDD handle, CDM_SELECT_INFO* info, void* devmode, void* printerData, const CDM_UNIT_INFO* unit) {
  if (!devmode) return true;
  bool all = info->ddmId == DDM_NONDEV_PAPER;
  if (info->ddmId == DDM_PAPERSIZE) {
    PAPDAT papers{};
    papers.ddd = handle;
    all = !PapDat_IsEnableFormDBSupport(&papers, printerData);
  }
  if (!all && !IsTrayPaperList(info->ddmId)) return true;
  if (all && !EditCustom(info, devmode, printerData, unit)) return false;
  return EditUserDefine(info, devmode, printerData, unit) && EditTray(info, devmode, printerData, unit);
}

}  // namespace

// ---- Selection information -------------------------------------------------------------
BOOL cdmCreateSelectItemInfoData(HCDDD handle, WORD ddmId, HWND window, CDM_SELECT_INFO* info,
                                 const CDM_MEMBER_ENTRY* entry, void* devmode, void* printerData) {
  (void)window;
  if (!info) return 0;
  info->ddmId = ddmId;
  const CDM_STATIC_SELECT* record = StaticSelect(entry, CDM_OP_LISTINFO);
  if (!record && !HandlerServes(entry, CDM_OP_LISTINFO)) {
    WORD method = 0, count = 0, status = 0;
    LPCWSTR name = nullptr;
    void* list = nullptr;
    if (!cdddGetSelectItemInfo(handle, ddmId, &method, &count, &name, &list, &status)) return 0;
    info->method = method;
    info->count = count;
    info->name = name ? kcore_WideDup(name) : nullptr;
    bool ok = !name || info->name;
    cdddSelectItemInfoFree(list);
    if (!ok) return 0;
    info->type = 0;  // taken from the first item
    return 1;
  }
  WORD method = 0, type = 0;
  DWORD count = 0;
  if (record) {
    method = record->method;
    count = record->count;
    type = record->type;
  } else {
    CDM_MEMBER_ARGS args{};
    args.ddmId = ddmId;
    args.devmode = devmode;
    args.printerData = printerData;
    args.ddd = handle;
    args.list = info->enumItems;
    if (entry->desc->handler(CDM_OP_LISTINFO, &args) != CDM_RESULT_DONE) return 0;
    method = args.index == 0 ? CDM_SELECT_LIST : static_cast<WORD>(args.index);
    count = args.count;
    type = args.type;
  }
  switch (method) {
    case CDM_SELECT_CHECKBOX: count = 2; break;
    case CDM_SELECT_LIST: break;
    case CDM_SELECT_INPUT: count = 1; break;
    case CDM_SELECT_RANGE:
    case CDM_SELECT_LIMITS: count = 3; break;
    default: return 0;
  }
  info->method = method;
  info->count = count;
  info->type = type ? type : MemberType(ddmId, devmode, printerData);
  return 1;
}

CDM_SELECT_INFO* local_CreateSelectInfoExceptItemInfo(HCDDD handle, HANDLE printer, WORD ddmId, HWND window,
                                                      void* devmode, void* printerData,
                                                      const CDM_MEMBER_ENTRY** entry) {
  if (entry) *entry = nullptr;
  auto* info = static_cast<CDM_SELECT_INFO*>(kcore_Alloc(sizeof(CDM_SELECT_INFO)));
  if (!info) return nullptr;
  // Stamp names and face names: their enumeration first, for the handler.
  if (cdmIsEnumItemMember(ddmId) &&
      (!cdmCreateEnumItemData(handle, ddmId, &info->enumItems, printer) || info->enumItems->count >= 0xFFFF)) {
    cdmSelectInfoFree(info);
    return nullptr;
  }
  const CDM_MEMBER_ENTRY* row = cdmSerchDmDataFuncTbl(ddmId);
  if (!cdmCreateSelectItemInfoData(handle, ddmId, window, info, row, devmode, printerData)) {
    cdmSelectInfoFree(info);
    return nullptr;
  }
  if (entry) *entry = row;
  return info;
}

BOOL cdmInitSelectItemDataTbl(HCDDD handle, WORD ddmId, CDM_SELECT_INFO* info, const CDM_MEMBER_ENTRY* entry,
                              void* devmode, void* printerData) {
  if (!info) return 0;
  if (info->count == 0) return 1;
  if (info->count > 0xFFFF) return 0;
  info->items = static_cast<CDM_SELECT_ITEM*>(kcore_Alloc(sizeof(CDM_SELECT_ITEM) * info->count));
  if (!info->items) return 0;
  const CDM_STATIC_SELECT* record = StaticSelect(entry, CDM_OP_LISTITEM);
  const bool byHandler = !record && HandlerServes(entry, CDM_OP_LISTITEM);
  for (DWORD i = 0; i < info->count; ++i) {
    CDM_SELECT_ITEM& item = info->items[i];
    if (record || byHandler) {
      if (info->method == CDM_SELECT_LIMITS && i == 2) continue;  // the third item carries no value
      CDM_MEMBER_ARGS args{};
      args.ddmId = ddmId;
      args.devmode = devmode;
      args.printerData = printerData;
      args.ddd = handle;
      args.index = i;
      args.list = info->enumItems;
      bool answered = record ? StaticItem(record, info->method, &args)
                             : entry->desc->handler(CDM_OP_LISTITEM, &args) == CDM_RESULT_DONE;
      if (!answered || !StoreAnswer(info, i, args)) return 0;
      continue;
    }
    DDD_GUIDATA* data = nullptr;
    WORD status = 0;
    if (!cdddGetSelectItemData(handle, ddmId, static_cast<WORD>(i + 1), &data, &status)) return 0;
    const void* value = nullptr;
    LPCWSTR name = nullptr;
    WORD type = 0;
    const DDD_ICONBYTES* image = nullptr;
    bool ok = cdddGetSelectItemForDataTbl(data, &value, &name, &type, &image) != 0;
    if (ok && info->type == 0) info->type = type;
    if (ok && name) ok = (item.name = kcore_WideDup(name)) != nullptr;
    if (ok && !(info->method == CDM_SELECT_LIMITS && i == 2)) ok = StoreValue(&item, info->type, value);
    // The reader hands out the icon image itself (the record's own 16 bytes
    // are already behind it) with its length.
    if (ok && image && image->data && image->size)
      ok = cdmCreateSelectItemIcon(nullptr, image->data, image->size, &item.icon, &item.palette) != 0;
    cdddSelectItemDataFree(data);
    if (!ok) return 0;
  }
  return 1;
}

CDM_SELECT_INFO* cdmCreateSelectItemInfo(HCDDD handle, HANDLE printer, WORD ddmId, HWND window, void* devmode,
                                         void* printerData, const CDM_UNIT_INFO* unit) {
  const CDM_MEMBER_ENTRY* entry = nullptr;
  CDM_SELECT_INFO* info =
      local_CreateSelectInfoExceptItemInfo(handle, printer, ddmId, window, devmode, printerData, &entry);
  if (!info) return nullptr;
  if (!cdmInitSelectItemDataTbl(handle, ddmId, info, entry, devmode, printerData) ||
      !RelabelPapers(handle, info, devmode, printerData, unit)) {
    cdmSelectInfoFree(info);
    return nullptr;
  }
  return info;
}

BOOL cdmSelectInfoFree(CDM_SELECT_INFO* info) {
  if (!info) return 0;
  kcore_Free(info->name);
  if (info->items)
    for (DWORD i = 0; i < info->count; ++i) FreeItem(&info->items[i], info->type, info->method);
  kcore_Free(info->items);
  cdmDestroyEnumItemData(info->enumItems);
  kcore_Free(info);
  return 1;
}

// ---- Accessors ------------------------------------------------------------------------------
LPCWSTR cdmGetSelectFuncName(const CDM_SELECT_INFO* info) { return info ? info->name : nullptr; }
CDM_SELECT_ITEM* cdmGetSelectItem(const CDM_SELECT_INFO* info) { return info ? info->items : nullptr; }
LONG cdmGetSelectItemNum(const CDM_SELECT_INFO* info) { return info ? static_cast<LONG>(info->count) : -1; }
CDM_SELECT_ITEM* cdmGetSelectItemData(const CDM_SELECT_INFO* info, LONG index) {
  if (!info || !info->items || index < 0 || static_cast<DWORD>(index) >= info->count) return nullptr;
  return &info->items[index];
}
LPCWSTR cdmGetSelectItemName(const CDM_SELECT_INFO* info, LONG index) {
  const CDM_SELECT_ITEM* item = cdmGetSelectItemData(info, index);
  return item ? item->name : nullptr;
}
CDM_SELECT_ITEM* cdmGetSelectItemDevData(const CDM_SELECT_INFO* info, LONG index) {
  return cdmGetSelectItemData(info, index);
}
CDM_ICON* cdmGetIconHandle(const CDM_SELECT_INFO* info, LONG index) {
  const CDM_SELECT_ITEM* item = cdmGetSelectItemData(info, index);
  return item ? item->icon : nullptr;
}
CDM_PALETTE* cdmGetPaletteHandle(const CDM_SELECT_INFO* info, LONG index) {
  const CDM_SELECT_ITEM* item = cdmGetSelectItemData(info, index);
  return item ? item->palette : nullptr;
}
WORD cdmGetSelMethod(const CDM_SELECT_INFO* info) { return info ? info->method : 0; }
BOOL cdmSetSelMethod(CDM_SELECT_INFO* info, WORD method) {
  if (!info) return 0;
  info->method = method;
  return 1;
}

CDM_SELECT_ITEM* cdmGetSelectItemDevDataByItemName(const CDM_SELECT_INFO* info, LPCWSTR name) {
  if (!info || !info->items || !name) return nullptr;
  DWORD n = kp_WideLength(name);
  for (DWORD i = 0; i < info->count; ++i) {
    LPCWSTR item = info->items[i].name;
    if (!item) continue;
    DWORD k = 0;
    while (k < n && item[k] == name[k]) ++k;
    if (k == n) return &info->items[i];
  }
  return nullptr;
}

// ---- Icons ----------------------------------------------------------------------------------
WORD cdmDIBNumColors(const CDM_BITMAPINFOHEADER* header) {
  if (!header) return 0;
  if (header->biClrUsed) return static_cast<WORD>(header->biClrUsed > 256 ? 256 : header->biClrUsed);
  switch (header->biBitCount) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
  }
}

namespace {
bool ReadHeader(const BYTE* image, DWORD bytes, CDM_BITMAPINFOHEADER* header) {
  if (!image || bytes < sizeof(CDM_BITMAPINFOHEADER)) return false;
  std::memcpy(header, image, sizeof *header);
  return header->biSize >= sizeof(CDM_BITMAPINFOHEADER) && header->biSize <= bytes;
}
}  // namespace

CDM_PALETTE* cdmDIBCreatePalette(const BYTE* image, DWORD bytes) {
  CDM_BITMAPINFOHEADER header{};
  if (!ReadHeader(image, bytes, &header)) return nullptr;
  WORD colours = cdmDIBNumColors(&header);
  if (colours == 0) return nullptr;
  if (static_cast<uint64_t>(header.biSize) + 4ull * colours > bytes) return nullptr;
  auto* palette = static_cast<CDM_PALETTE*>(kcore_Alloc(4 + 4u * colours));
  if (!palette) return nullptr;
  palette->palVersion = 0x300;
  palette->palNumEntries = colours;
  const BYTE* table = image + header.biSize;
  for (WORD i = 0; i < colours; ++i) {
    CDM_PALETTEENTRY e{table[4 * i + 2], table[4 * i + 1], table[4 * i], 0};
    std::memcpy(reinterpret_cast<BYTE*>(palette) + 4 + 4u * i, &e, 4);
  }
  return palette;
}

BOOL cdmCreateSelectItemIcon(HINSTANCE instance, const BYTE* image, DWORD bytes, CDM_ICON** icon,
                             CDM_PALETTE** palette) {
  (void)instance;
  if (icon) *icon = nullptr;
  if (palette) *palette = nullptr;
  CDM_BITMAPINFOHEADER header{};
  if (!icon || !palette || !ReadHeader(image, bytes, &header)) return 0;
  if (header.biWidth <= 0 || header.biWidth > 256 || header.biHeight <= 0 || header.biHeight > 512 ||
      header.biHeight % 2 || header.biPlanes != 1 || header.biCompression != 0)
    return 0;
  if (header.biBitCount != 1 && header.biBitCount != 4 && header.biBitCount != 8 && header.biBitCount != 24 &&
      header.biBitCount != 32)
    return 0;
  const LONG width = header.biWidth;
  const LONG height = header.biHeight / 2;
  const DWORD colourStride = ((static_cast<DWORD>(width) * header.biBitCount + 31) / 32) * 4;
  const DWORD maskStride = ((static_cast<DWORD>(width) + 31) / 32) * 4;
  const WORD colours = cdmDIBNumColors(&header);
  const uint64_t colourAt = header.biSize + 4ull * colours;
  const uint64_t maskAt = colourAt + static_cast<uint64_t>(colourStride) * height;
  if (maskAt + static_cast<uint64_t>(maskStride) * height > bytes) return 0;

  CDM_PALETTE* pal = nullptr;
  if (colours == 256 || (header.biBitCount == 8 && header.biClrUsed == 0)) {
    pal = cdmDIBCreatePalette(image, bytes);
    if (!pal) return 0;
  }
  auto* out = static_cast<CDM_ICON*>(kcore_Alloc(sizeof(CDM_ICON)));
  BYTE* colour = static_cast<BYTE*>(kcore_Alloc(static_cast<SIZE_T>(colourStride) * height));
  BYTE* mask = static_cast<BYTE*>(kcore_Alloc(static_cast<SIZE_T>(maskStride) * height));
  if (!out || !colour || !mask) {
    kcore_Free(out);
    kcore_Free(colour);
    kcore_Free(mask);
    kcore_Free(pal);
    return 0;
  }
  std::memcpy(colour, image + colourAt, static_cast<SIZE_T>(colourStride) * height);
  for (LONG r = 0; r < height; ++r)
    std::memcpy(mask + static_cast<SIZE_T>(r) * maskStride,
                image + maskAt + static_cast<SIZE_T>(height - 1 - r) * maskStride, maskStride);
  out->width = width;
  out->height = height;
  out->bitCount = header.biBitCount;
  out->colourStride = colourStride;
  out->maskStride = maskStride;
  out->colourBits = colour;
  out->maskBits = mask;
  *icon = out;
  *palette = pal;
  return 1;
}

void cdmDestroySelectItemIcon(CDM_ICON* icon) {
  if (!icon) return;
  kcore_Free(icon->colourBits);
  kcore_Free(icon->maskBits);
  kcore_Free(icon);
}

// ---- Relabelled paper names -------------------------------------------------------------------
LPWSTR cdmGetDefinePaperName(HINSTANCE instance, void* devmode, void* printerData, const CDM_DEFINE_PAPER* paper,
                             const CDM_UNIT_INFO* unit) {
  (void)instance;
  (void)devmode;
  (void)printerData;
  if (!paper) return nullptr;
  WCHAR between[64] = {};
  WCHAR format[128] = {};
  if (!resource_LoadString(2009, between, 64)) return nullptr;
  if (!resource_LoadString(unit && unit->inch ? 9247 : 703, format, 128)) return nullptr;
  char widthText[24], lengthText[24];
  SizeText(paper->width, unit, widthText, sizeof widthText);
  SizeText(paper->length, unit, lengthText, sizeof lengthText);

  Text text;
  LPCWSTR name = paper->name ? paper->name : u"";
  DWORD nameChars = kp_WideLength(name);
  text.Put(name, nameChars > 256 ? 256 : nameChars);
  text.Put(between);
  int argument = 0;
  for (DWORD i = 0; format[i]; ++i) {
    if (format[i] == u'%' && format[i + 1] == u's' && argument < 2) {
      text.PutAscii(argument++ == 0 ? widthText : lengthText);
      ++i;
      continue;
    }
    text.Put(&format[i], 1);
  }
  if (text.overflow) return nullptr;
  return kcore_WideDup(text.buffer);
}
