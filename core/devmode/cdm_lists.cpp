// Setting lists for the user interface (kestrel/cdm_lists.h).
#include "kestrel/cdm_lists.h"

#include <cstdio>
#include <cstring>

#include "ddm_internal.h"
#include "kestrel/cdm_defaults.h"
#include "kestrel/cdm_values.h"
#include "kestrel/ddm_value.h"
#include "kestrel/kcore_sys.h"
#include "kestrel/papdat.h"
#include "kestrel/zanlib.h"

// ---- Handler output helpers and the copies list (both builds: the member
// tables name the handler) ------------------------------------------------------------
void cdmSetParamSelectItemInfoData(WORD method, DWORD count, WORD type, CDM_MEMBER_ARGS* args) {
  if (!args) return;
  args->index = method;
  args->count = count;
  args->type = type;
}

BOOL cdmSetParamSelectItemMaxMinData(LONG minimum, LONG maximum, LONG step, WORD type, CDM_MEMBER_ARGS* args) {
  if (!args || args->index > 2) return 0;
  const LONG v[3] = {minimum, maximum, step};
  args->value = static_cast<ULONG_PTR>(static_cast<DWORD>(v[args->index]));
  args->type = type;
  return 1;
}

BOOL cdmSetParamSelectItemBoolData(LONG off, LONG on, WORD type, CDM_MEMBER_ARGS* args) {
  if (!args || args->index > 1) return 0;
  args->value = static_cast<ULONG_PTR>(static_cast<DWORD>(args->index == 0 ? on : off));
  args->type = type;
  return 1;
}

WORD cdmHandler_CopiesList(WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  if (operation == CDM_OP_LISTINFO) {
    cdmSetParamSelectItemInfoData(CDM_SELECT_RANGE, 3, DDM_TYPE_SHORT, args);
    return CDM_RESULT_DONE;
  }
  if (operation == CDM_OP_LISTITEM) {
    WORD maximum = cdddGetMaxCopies(args->ddd);
    if (maximum == 0) return CDM_RESULT_REFUSED;  // no model at hand: no range to offer
    return cdmSetParamSelectItemMaxMinData(1, maximum, 1, DDM_TYPE_SHORT, args) ? CDM_RESULT_DONE
                                                                                : CDM_RESULT_REFUSED;
  }
  return cdmHandler_Copies(operation, args);
}

#if !defined(KESTREL_KERNEL_MODE)

namespace {

DWORD WideLen(LPCWSTR s) {
  DWORD n = 0;
  if (s)
    while (s[n]) ++n;
  return n;
}

LPWSTR WideDup(LPCWSTR s) {
  if (!s) return nullptr;
  DWORD n = WideLen(s);
  auto* out = static_cast<LPWSTR>(kcore_Alloc((static_cast<SIZE_T>(n) + 1) * sizeof(WCHAR)));
  if (out) std::memcpy(out, s, static_cast<SIZE_T>(n) * sizeof(WCHAR));
  return out;
}

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
  void Put(LPCWSTR s) { Put(s, WideLen(s)); }
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
    LPWSTR copy = WideDup(static_cast<LPCWSTR>(value));
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

LONG ItemNumber(const CDM_SELECT_ITEM& item, WORD type) {
  return type == DDM_TYPE_BYTE ? static_cast<LONG>(item.value & 0xFF)
         : (type == DDM_TYPE_SHORT || type == DDM_TYPE_WORD) ? static_cast<LONG>(item.value & 0xFFFF)
                                                               : static_cast<LONG>(item.value);
}

bool ReadNumber(WORD id, void* devmode, void* printerData, WORD* out) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  if (ddm_GetValue(id, devmode, printerData, &type, &size, &v) != 0) return false;
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
    if (ItemNumber(item, info->type) != 256) continue;
    WORD width = 0, length = 0;
    if (!ReadNumber(1863, devmode, printerData, &width) || !ReadNumber(1864, devmode, printerData, &length))
      return false;
    LPWSTR own = WideDup(item.name ? item.name : u"");
    if (!own) return false;
    bool ok = Relabel(&item, nullptr, devmode, printerData, width, length, own, unit);
    kcore_Free(own);
    return ok;
  }
  return true;
}

bool EditTray(CDM_SELECT_INFO* info, void* devmode, void* printerData, const CDM_UNIT_INFO* unit) {
  for (DWORD i = 0; i < info->count; ++i) {
    CDM_SELECT_ITEM& item = info->items[i];
    if (ItemNumber(item, info->type) != 275) continue;
    WORD widthId = 0, lengthId = 0;
    if (!ioBinLib_GetDimIdByConfigTray(info->ddmId, &widthId, &lengthId)) return false;
    WORD width = 0, length = 0;
    if (!ReadNumber(widthId, devmode, printerData, &width) || !ReadNumber(lengthId, devmode, printerData, &length))
      return false;
    LPWSTR own = WideDup(item.name ? item.name : u"");
    if (!own) return false;
    bool ok = Relabel(&item, nullptr, devmode, printerData, width, length, own, unit);
    kcore_Free(own);
    return ok;
  }
  return true;
}

bool IsTrayPaperList(WORD id) { return id == 262 || (id >= 6145 && id <= 6159) || (id >= 6220 && id <= 6234); }

bool RelabelPapers(HCDDD handle, CDM_SELECT_INFO* info, void* devmode, void* printerData, const CDM_UNIT_INFO* unit) {
  if (!devmode) return true;
  bool all = info->ddmId == 1824;
  if (info->ddmId == 8) {
    PAPDAT papers{};
    papers.ddd = handle;
    all = !PapDat_IsEnableFormDBSupport(&papers, printerData);
  }
  if (!all && !IsTrayPaperList(info->ddmId)) return true;
  if (all && !EditCustom(info, devmode, printerData, unit)) return false;
  return EditUserDefine(info, devmode, printerData, unit) && EditTray(info, devmode, printerData, unit);
}

// Item 0 "none" (string 426, empty value), then the stored stamp names. The
// names lie one after another, each terminated, with two NULs after the
// last: an empty name ends the walk, so a store that copied fewer names
// than it counted leaves the rest empty instead of reading on.
BOOL StampItems(CDM_SELECT_INFO* info) {
  WCHAR none[128] = {};
  resource_LoadString(426, none, 128);
  if (!(info->items[0].name = WideDup(none)) || !StoreValue(&info->items[0], DDM_TYPE_STRING, u"")) return 0;
  LPCWSTR p = info->stamps->names;
  for (DWORD i = 1; i < info->count; ++i) {
    LPCWSTR name = p ? p : u"";
    DWORD n = WideLen(name);
    if (!(info->items[i].name = WideDup(name)) || !StoreValue(&info->items[i], DDM_TYPE_STRING, name)) return 0;
    if (p && n) p += n + 1;
  }
  return 1;
}

}  // namespace

// ---- Selection information -------------------------------------------------------------
BOOL cdmCreateSelectItemInfoData(HCDDD handle, WORD ddmId, HWND window, CDM_SELECT_INFO* info,
                                 const CDM_MEMBER_ENTRY* entry, void* devmode, void* printerData) {
  (void)window;
  if (!info) return 0;
  info->ddmId = ddmId;
  if (!HandlerServes(entry, CDM_OP_LISTINFO)) {
    WORD method = 0, count = 0, status = 0;
    LPCWSTR name = nullptr;
    void* list = nullptr;
    if (!cdddGetSelectItemInfo(handle, ddmId, &method, &count, &name, &list, &status)) return 0;
    info->method = method;
    info->count = count;
    info->name = name ? WideDup(name) : nullptr;
    bool ok = !name || info->name;
    cdddSelectItemInfoFree(list);
    if (!ok) return 0;
    info->type = 0;  // taken from the first item
    return 1;
  }
  CDM_MEMBER_ARGS args{};
  args.ddmId = ddmId;
  args.devmode = devmode;
  args.printerData = printerData;
  args.ddd = handle;
  if (entry->desc->handler(CDM_OP_LISTINFO, &args) != CDM_RESULT_DONE) return 0;
  WORD method = args.index == 0 ? CDM_SELECT_LIST : static_cast<WORD>(args.index);
  DWORD count = args.count;
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
  info->type = args.type ? args.type : MemberType(ddmId, devmode, printerData);
  return 1;
}

CDM_SELECT_INFO* local_CreateSelectInfoExceptItemInfo(HCDDD handle, HANDLE printer, WORD ddmId, HWND window,
                                                      void* devmode, void* printerData,
                                                      const CDM_MEMBER_ENTRY** entry) {
  if (entry) *entry = nullptr;
  auto* info = static_cast<CDM_SELECT_INFO*>(kcore_Alloc(sizeof(CDM_SELECT_INFO)));
  if (!info) return nullptr;
  if (ddmId == 298) {
    if (!cdmCreateEnumItemData(handle, ddmId, &info->stamps, printer) || info->stamps->count >= 0xFFFF) {
      cdmSelectInfoFree(info);
      return nullptr;
    }
    info->ddmId = ddmId;
    info->method = CDM_SELECT_LIST;
    info->type = DDM_TYPE_STRING;
    info->count = info->stamps->count + 1;
    if (entry) *entry = cdmSerchDmDataFuncTbl(ddmId);
    return info;
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
  if (info->stamps) return StampItems(info);
  const bool byHandler = HandlerServes(entry, CDM_OP_LISTITEM);
  for (DWORD i = 0; i < info->count; ++i) {
    CDM_SELECT_ITEM& item = info->items[i];
    if (byHandler) {
      if (info->method == CDM_SELECT_LIMITS && i == 2) continue;  // the third item carries no value
      CDM_MEMBER_ARGS args{};
      args.ddmId = ddmId;
      args.devmode = devmode;
      args.printerData = printerData;
      args.ddd = handle;
      args.index = i;
      if (entry->desc->handler(CDM_OP_LISTITEM, &args) != CDM_RESULT_DONE) return 0;
      if (info->type == DDM_TYPE_STRING) {
        if (!StoreValue(&item, DDM_TYPE_STRING, reinterpret_cast<const void*>(args.value))) return 0;
      } else {
        item.value = args.value;
      }
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
    if (ok && name) ok = (item.name = WideDup(name)) != nullptr;
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
  cdmDestroyEnumItemData(info->stamps);
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
  DWORD n = WideLen(name);
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
  DWORD nameChars = WideLen(name);
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
  return WideDup(text.buffer);
}

#endif  // !KESTREL_KERNEL_MODE
