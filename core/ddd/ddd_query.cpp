// DDD queries: PrinterInfo items, records by id and position, DDM id
// mapping, defaults, value matching, user-interface bundles and field readers.
#include <atomic>

#include "ddd_internal.h"
#include "kestrel/core/ddm_ids.h"

namespace {

std::atomic<DddDefaultOverrideFn> g_defaultOverride{nullptr};

bool IsOption(WORD kind) { return kind == DDD_CAT_OPTION_INSTALL || kind == DDD_CAT_OPTION_DOC; }
bool IsOptionItem(WORD kind) { return kind == DDD_CAT_OPTIONITEM_INSTALL || kind == DDD_CAT_OPTIONITEM_DOC; }
bool IsTray(WORD kind) { return kind == DDD_CAT_TRAY || kind == DDD_CAT_TRAY2; }
WORD ItemCategoryOf(WORD optionKind) {
  return optionKind == DDD_CAT_OPTION_INSTALL ? DDD_CAT_OPTIONITEM_INSTALL : DDD_CAT_OPTIONITEM_DOC;
}

const DDD_HEAD* Head(const void* record) { return static_cast<const DDD_HEAD*>(record); }
bool KindIs(const void* record, WORD kind) { return record && Head(record)->kind == kind; }

// Reads the count of the item at the cursor (after ddd_GotoPrinterInfoDef).
WORD ReadItemCount(DDDFILE* c, WORD item, WORD* count) {
  if (DDD_PRINTERINFO_ITEMS[item].count) {
    *count = DDD_PRINTERINFO_ITEMS[item].count;
    return DDD_OK;
  }
  return local_Read16(c, count);
}

// Skips a record start and a String (used where a record is walked in place).
WORD SkipStartAndString(DDDFILE* f) {
  WORD n = 0;
  WORD r = local_Skip(f, DDD_RECORD_START_SIZE);
  if (!r) r = local_Read16(f, &n);
  if (!r) r = local_Skip(f, n);
  return r;
}

LPWSTR CopyName(const DDD_STRING& s) {
  static const WCHAR kEmpty[] = {0};
  return kcore_WideDup(s.str ? s.str : kEmpty);
}

// A copy of a devmode value's payload (type 6: the wide string).
void* CopyValue(const DDD_VALUE& v) {
  if (!v.data) return nullptr;
  DWORD bytes = static_cast<DWORD>(v.size) * (v.count ? v.count : 1);
  void* p = LOCAL_AllocDevmodeValue(bytes);
  if (p) std::memcpy(p, v.data, bytes);
  return p;
}

// Width in bytes of a numeric value type, 0 for types that never match.
DWORD MatchWidth(WORD type) {
  switch (type) {
    case DDD_TYPE_BOOL:
    case DDD_TYPE_LONG:
    case DDD_TYPE_ULONG:
    case DDD_TYPE_DWORD:
    case DDD_TYPE_FLOAT:
      return 4;
    case DDD_TYPE_SHORT:
    case DDD_TYPE_USHORT:
      return 2;
    case DDD_TYPE_BYTE:
      return 1;
    default:
      return 0;
  }
}

bool ValuesMatch(const DDD_VALUE& item, const DDD_VALUE& given) {
  if (!item.data || !given.data) return false;
  if (item.type == DDD_TYPE_STRING) {
    if (given.type != DDD_TYPE_STRING) return false;
    auto* a = static_cast<const WCHAR*>(item.data);
    auto* b = static_cast<const WCHAR*>(given.data);
    DWORD aChars = item.size / sizeof(WCHAR);
    DWORD bChars = given.size ? given.size / sizeof(WCHAR) : 0xFFFFFFFFu;
    for (DWORD i = 0;; ++i) {
      WCHAR ca = i < aChars ? a[i] : 0;
      WCHAR cb = i < bChars ? b[i] : 0;
      if (ca != cb) return false;
      if (ca == 0) return true;
    }
  }
  DWORD width = MatchWidth(item.type);
  if (width == 0 || given.type == DDD_TYPE_STRING) return false;
  if (item.size < width || given.size < width) return false;
  if (item.type == DDD_TYPE_FLOAT) {
    float fa, fb;
    std::memcpy(&fa, item.data, 4);
    std::memcpy(&fb, given.data, 4);
    return fa == fb;
  }
  return std::memcmp(item.data, given.data, width) == 0;
}

// Name, value and type of a record for the user interface.
WORD SetNameAndDevmode(const void* record, LPWSTR* name, void** value, WORD* type, WORD* size) {
  *name = nullptr;
  *value = nullptr;
  *type = 0;
  *size = 0;
  if (!record) return DDD_ERR_ARG;
  WORD kind = Head(record)->kind;
  if (IsOption(kind)) {
    *name = CopyName(static_cast<const DDD_OPTION*>(record)->name);
    return *name ? DDD_OK : DDD_ERR_MEMORY;
  }
  if (IsTray(kind) || kind == DDD_CAT_PAPER) {
    *name = CopyName(IsTray(kind) ? static_cast<const DDD_TRAY*>(record)->name
                                  : static_cast<const DDD_PAPER*>(record)->name);
    auto* id = static_cast<WORD*>(LOCAL_AllocDevmodeValue(2));
    if (!*name || !id) {
      kcore_Free(*name);
      kcore_Free(id);
      *name = nullptr;
      return DDD_ERR_MEMORY;
    }
    *id = Head(record)->id;
    *value = id;
    *type = DDD_TYPE_USHORT;
    *size = 2;
    return DDD_OK;
  }
  if (IsOptionItem(kind)) {
    auto* it = static_cast<const DDD_OPTIONITEM*>(record);
    *name = CopyName(it->name);
    void* v = CopyValue(it->value);
    if (!*name || (it->value.data && !v)) {
      kcore_Free(*name);
      kcore_Free(v);
      *name = nullptr;
      return DDD_ERR_MEMORY;
    }
    *value = v;
    *type = it->value.type;
    *size = static_cast<WORD>(it->value.data ? it->value.size * (it->value.count ? it->value.count : 1) : 0);
    return DDD_OK;
  }
  return DDD_ERR_ARG;
}

DDDFILE* FileOf(DDDFILE* main, DDDFILE* referenced, WORD location) {
  return location == DDD_LOC_MAIN ? main : referenced;
}

}  // namespace

void ddd_SetDefaultOverride(DddDefaultOverrideFn fn) { g_defaultOverride.store(fn); }

// --- PrinterInfo ---------------------------------------------------------------

WORD ddd_GotoPrinterInfoDef(DDDFILE* context, WORD item) {
  if (item >= DDD_PRINTERINFO_END) return DDD_ERR_NOTFOUND;
  WORD r = DFILE_GotoPrinterInfo(context, 0);
  if (r) return r;
  for (WORD i = 0; i < item; ++i) {
    WORD count = 0;
    r = ReadItemCount(context, i, &count);
    if (r) return r;
    if (DDD_PRINTERINFO_ITEMS[i].size) {
      r = local_Skip(context, static_cast<DWORD>(count) * DDD_PRINTERINFO_ITEMS[i].size);
      if (r) return r;
      continue;
    }
    for (WORD k = 0; k < count; ++k) {
      WORD len = 0;
      r = local_Read16(context, &len);
      if (!r) r = local_Skip(context, len);
      if (r) return r;
    }
  }
  return DDD_OK;
}

WORD ddd_GetPrinterInfo_numOfItem(DDDFILE* context, WORD item) {
  WORD count = 0;
  if (ddd_GotoPrinterInfoDef(context, item) != DDD_OK) return 0;
  if (ReadItemCount(context, item, &count) != DDD_OK) return 0;
  return count;
}

WORD ddd_GetPrinterInfo_orderedItem(DDDFILE* context, WORD item, WORD elementSize, WORD index, void* out) {
  if (!out || elementSize == 0) return DDD_ERR_ARG;
  WORD count = 0;
  WORD r = ddd_GotoPrinterInfoDef(context, item);
  if (!r) r = ReadItemCount(context, item, &count);
  if (r) return r;
  if (index >= count) return DDD_ERR_ARG;
  r = local_Skip(context, static_cast<DWORD>(index) * elementSize);
  if (!r) r = DFILE_ReadFile(context, out, elementSize);
  return r;
}

DWORD ddd_GetPrinterInfo_orderedItem_Indirect(DDDFILE* context, WORD item, WORD elementSize, WORD index) {
  if (elementSize > 4) return 0;
  BYTE b[4] = {};
  if (ddd_GetPrinterInfo_orderedItem(context, item, elementSize, index, b) != DDD_OK) return 0;
  return kp_LoadU32(b);
}

WORD ddd_GetPrinterInfo_allItems(DDDFILE* context, WORD item, WORD elementSize, WORD* count, void** buffer) {
  if (!count || !buffer || elementSize == 0) return DDD_ERR_ARG;
  *count = 0;
  *buffer = nullptr;
  WORD n = 0;
  WORD r = ddd_GotoPrinterInfoDef(context, item);
  if (!r) r = ReadItemCount(context, item, &n);
  if (r) return r;
  if (n == 0) return DDD_OK;
  DWORD bytes = static_cast<DWORD>(n) * elementSize;
  if (bytes > local_Remaining(context)) return DDD_ERR_ARG;
  void* b = kcore_Alloc(bytes);
  if (!b) return DDD_ERR_MEMORY;
  r = DFILE_ReadFile(context, b, bytes);
  if (r) {
    kcore_Free(b);
    return r;
  }
  *count = n;
  *buffer = b;
  return DDD_OK;
}

WORD ddd_GetPrinterInfo_orderedString(DDDFILE* context, WORD item, WORD index, LPWSTR* str) {
  if (!str) return DDD_ERR_ARG;
  *str = nullptr;
  if (item >= DDD_PRINTERINFO_END || DDD_PRINTERINFO_ITEMS[item].size != 0) return DDD_ERR_ARG;
  WORD count = 0;
  WORD r = ddd_GotoPrinterInfoDef(context, item);
  if (!r) r = ReadItemCount(context, item, &count);
  if (r) return r;
  if (index >= count) return DDD_ERR_ARG;
  for (WORD k = 0; k < index; ++k) {
    WORD len = 0;
    r = local_Read16(context, &len);
    if (!r) r = local_Skip(context, len);
    if (r) return r;
  }
  DWORD bytes = 0;
  return DFILE_ReadNegativeString(context, str, &bytes);
}

LPWSTR ddd_GetPrinterInfo_orderedString_Indirect(DDDFILE* context, WORD item, WORD index) {
  LPWSTR s = nullptr;
  if (ddd_GetPrinterInfo_orderedString(context, item, index, &s) != DDD_OK) return nullptr;
  return s;
}

WORD ddd_GetDLLName(DDDFILE* context, WORD selector, LPWSTR* name) {
  if (!name) return DDD_ERR_ARG;
  *name = nullptr;
  if (selector <= 5) return ddd_GetPrinterInfo_orderedString(context, static_cast<WORD>(17 + selector), 0, name);
  if (selector <= 11) return ddd_GetPrinterInfo_orderedString(context, 36, static_cast<WORD>(selector - 6), name);
  if (selector >= 14 && selector <= 20)
    return ddd_GetPrinterInfo_orderedString(context, 36, static_cast<WORD>(selector - 8), name);
  return DDD_ERR_ARG;
}

WORD ddd_GetRegistry(DDDFILE* context, WORD selector, LPWSTR* path) {
  if (!path) return DDD_ERR_ARG;
  *path = nullptr;
  if (selector == 0) return ddd_GetPrinterInfo_orderedString(context, 30, 0, path);
  if (selector == 1) return ddd_GetPrinterInfo_orderedString(context, 33, 0, path);
  return DDD_ERR_ARG;
}

BYTE* ddd_GetPrinterBitmap(DDDFILE* main, DDDFILE* referenced, WORD item, WORD* width, WORD* height) {
  if (width) *width = 0;
  if (height) *height = 0;
  WORD imageId = 0;
  if (ddd_GetPrinterInfo_orderedItem(main, item, 2, 0, &imageId) != DDD_OK) return nullptr;
  void* rec = nullptr;
  if (DFILE_GetDataByIDX(DDD_FULL, main, referenced, DDD_CAT_IMAGE, imageId, 0, &rec) != DDD_OK) return nullptr;
  auto* im = static_cast<DDD_IMAGE*>(rec);
  BYTE* bitmap = im->bitmap;
  im->bitmap = nullptr;
  if (bitmap) {
    if (width) *width = im->width;
    if (height) *height = im->height;
  }
  ddd_Free(&rec, DDD_CAT_IMAGE);
  return bitmap;
}

// --- records ----------------------------------------------------------------------

WORD ddd_GetNumOfData(DDDFILE* context, WORD category) {
  WORD count = 0;
  if (DFILE_GotoDataOffsetTable(context, category, DDD_TABLE_COUNT_OFFSET) != DDD_OK) return 0;
  if (local_Read16(context, &count) != DDD_OK) return 0;
  return count;
}

WORD ddd_GetDataByIndexX(WORD depth, DDDFILE* main, DDDFILE* referenced, WORD category, WORD position,
                         void** record) {
  if (!record) return DDD_ERR_ARG;
  *record = nullptr;
  WORD loc = 0;
  WORD r = DFILE_GotoData(1, main, referenced, DDD_LOC_MAIN, category, position, &loc);
  if (!r) r = DFILE_GetData(depth, FileOf(main, referenced, loc), main, referenced, category, record);
  if (!r) static_cast<DDD_HEAD*>(*record)->location = loc;
  return r;
}

WORD DFILE_GetDataByIDX(WORD depth, DDDFILE* main, DDDFILE* referenced, WORD category, WORD dataId, WORD itemNumber,
                        void** record) {
  if (!record) return DDD_ERR_ARG;
  *record = nullptr;
  WORD loc = 0;
  WORD r = DFILE_GotoDataByID(main, referenced, DDD_LOC_MAIN, category, dataId, itemNumber, &loc);
  if (r) return r;
  WORD readCategory = itemNumber ? ItemCategoryOf(category) : category;
  r = DFILE_GetData(depth, FileOf(main, referenced, loc), main, referenced, readCategory, record);
  if (!r) static_cast<DDD_HEAD*>(*record)->location = loc;
  return r;
}

WORD ddd_GetDataByIDX(WORD depth, DDDFILE* main, DDDFILE* referenced, WORD category, WORD dataId, WORD itemNumber,
                      void** record) {
  return DFILE_GetDataByIDX(depth, main, referenced, category, dataId, itemNumber, record);
}

WORD ddd_GetItemDataByIndexX(WORD depth, BOOL byDefault, DDDFILE* main, DDDFILE* referenced, const DDD_OPTION* option,
                             WORD position, WORD* category, DDD_OPTIONITEM** item) {
  if (category) *category = 0;
  if (item) *item = nullptr;
  if (!option || !category || !item || !IsOption(option->head.kind)) return DDD_ERR_ARG;
  if (byDefault) position = option->defaultItem;
  if (position == 0 && !byDefault) return DDD_ERR_ARG;
  if (position == 0 || position > option->items.count) return DDD_ERR_NOTFOUND;
  WORD itemCategory = ItemCategoryOf(option->head.kind);
  void* rec = nullptr;
  WORD r = DFILE_GetDataByIDX(depth, main, referenced, itemCategory, option->items.ids[position - 1], 0, &rec);
  if (r) return r;
  *category = itemCategory;
  *item = static_cast<DDD_OPTIONITEM*>(rec);
  return DDD_OK;
}

WORD DDMIDtoCategory(WORD ddmId, const WORD* givenDataId, WORD* category, WORD* dataId) {
  WORD cat = DDD_CAT_OPTION_DOC;
  WORD id = ddmId;
  WORD given = givenDataId ? *givenDataId : 0;
  if (ddmId == DDM_COLORSENSORUNIT) {
    cat = DDD_CAT_OPTION_DOC;
  } else if (ddmId >= DDM_OPTIONFLAGS_FIRST && ddmId <= DDM_OPTIONS_LAST) {
    cat = DDD_CAT_OPTION_INSTALL;
  } else if (ddmId == DDM_DEVICENAME || ddmId == DDM_MODELNAME) {
    cat = DDD_CAT_FILEINFO;
  } else if (ddmId >= DDM_COLORADJUST_FIRST && ddmId < DDM_COLORADJUST_FIRST + DDM_COLORADJUST_COUNT) {
    // a colour adjustment is found by the first id of its place in the
    // objects' triples
    const WORD place = static_cast<WORD>((ddmId - DDM_COLORADJUST_FIRST) / DDM_COLORADJUST_OBJECTS);
    id = static_cast<WORD>(DDM_COLORADJUST_FIRST + place * DDM_COLORADJUST_OBJECTS);
  } else if (ddmId == DDM_SELECT_PAPER) {
    cat = DDD_CAT_PAPER;
    id = given;
  } else if (ddmId == DDM_SELECT_TRAY) {
    cat = DDD_CAT_TRAY;
    id = given;
  } else if (ddmId == DDM_SELECT_TRAY2) {
    cat = DDD_CAT_TRAY2;
    id = given;
  } else if (ddmId == DDM_SELECT_PAPERTYPE) {
    cat = DDD_CAT_PAPERTYPE;
    id = given;
  }
  if (category) *category = cat;
  if (dataId) *dataId = id;
  return 1;
}

WORD ddma_GetItemDataByDEVMODE(WORD depth, DDDFILE* main, DDDFILE* referenced, const DDD_OPTION* option,
                               const DDD_VALUE* value, WORD* category, DDD_OPTIONITEM** item) {
  if (category) *category = 0;
  if (item) *item = nullptr;
  if (!option || !value || !category || !item || !IsOption(option->head.kind)) return DDD_ERR_ARG;
  WORD itemCategory = ItemCategoryOf(option->head.kind);
  for (WORD i = 0; i < option->items.count; ++i) {
    // Item ids equal their positions in the item table.
    void* rec = nullptr;
    WORD r = ddd_GetDataByIndexX(depth, main, referenced, itemCategory, option->items.ids[i], &rec);
    if (r) return r;
    auto* it = static_cast<DDD_OPTIONITEM*>(rec);
    if (ValuesMatch(it->value, *value)) {
      *category = itemCategory;
      *item = it;
      return DDD_OK;
    }
    ddd_Free(&rec, itemCategory);
  }
  return DDD_ERR_NOTFOUND;
}

WORD ddma_GetDataX(WORD depth, DDDFILE* main, DDDFILE* referenced, WORD ddmId, const DDD_VALUE* value, WORD* category,
                   void** record) {
  if (!category || !record) return DDD_ERR_ARG;
  *category = 0;
  *record = nullptr;
  WORD cat = 0, dataId = 0;
  DDMIDtoCategory(ddmId, nullptr, &cat, &dataId);
  if (cat == DDD_CAT_FILEINFO) {
    if (ddmId != DDM_DEVICENAME && ddmId != DDM_MODELNAME) return DDD_ERR_NOTFOUND;
    DDD_FILEINFO* fi = nullptr;
    WORD r = ddd_GetFileInfo(main, &fi);
    if (r) return r;
    LPWSTR name = kcore_WideDup(fi->modelName);
    void* p = fi;
    ddd_Free(&p, DDD_CAT_FILEINFO);
    if (!name) return DDD_ERR_MEMORY;
    *category = DDD_CAT_FILEINFO;
    *record = name;
    return DDD_OK;
  }
  if (IsOption(cat) && value) {
    void* opt = nullptr;
    WORD r = DFILE_GetDataByIDX(DDD_FULL, main, referenced, cat, dataId, 0, &opt);
    if (r) return r;
    DDD_OPTIONITEM* it = nullptr;
    r = ddma_GetItemDataByDEVMODE(depth, main, referenced, static_cast<DDD_OPTION*>(opt), value, category, &it);
    ddd_Free(&opt, cat);
    *record = it;
    return r;
  }
  WORD r = DFILE_GetDataByIDX(depth, main, referenced, cat, dataId, 0, record);
  if (!r) *category = cat;
  return r;
}

WORD ddma_GetItemDataX(WORD depth, DDDFILE* main, DDDFILE* referenced, WORD ddmId, WORD position, WORD* category,
                       void** record) {
  if (!category || !record) return DDD_ERR_ARG;
  *category = 0;
  *record = nullptr;
  if (position == 0) return DDD_ERR_ARG;
  WORD cat = 0, dataId = 0;
  DDMIDtoCategory(ddmId, nullptr, &cat, &dataId);
  if (IsOption(cat)) {
    void* opt = nullptr;
    WORD r = DFILE_GetDataByIDX(DDD_QUICK, main, referenced, cat, dataId, 0, &opt);
    if (r) return r;
    DDD_OPTIONITEM* it = nullptr;
    r = ddd_GetItemDataByIndexX(depth, FALSE, main, referenced, static_cast<DDD_OPTION*>(opt), position, category,
                                &it);
    ddd_Free(&opt, cat);
    *record = it;
    return r;
  }
  if (IsTray(cat) || cat == DDD_CAT_PAPER) {
    WORD r = ddd_GetDataByIndexX(depth, main, referenced, cat, position, record);
    if (!r) *category = cat;
    return r;
  }
  return DDD_ERR_NOTFOUND;
}

WORD ddma_GetNameAndDEVMODE(DDDFILE* main, DDDFILE* referenced, WORD ddmId, WORD position, LPWSTR* name, void** value,
                            WORD* type) {
  if (!name || !value || !type) return DDD_ERR_ARG;
  *name = nullptr;
  *value = nullptr;
  *type = 0;
  WORD cat = 0;
  void* rec = nullptr;
  WORD r = ddma_GetItemDataX(DDD_FULL, main, referenced, ddmId, position, &cat, &rec);
  if (r) return r;
  WORD size = 0;
  r = SetNameAndDevmode(rec, name, value, type, &size);
  ddd_Free(&rec, DDD_KIND_ANY);
  return r;
}

WORD ddd_GetNameFromData(const void* record, LPWSTR* name) {
  if (!name) return DDD_ERR_ARG;
  *name = nullptr;
  if (!record) return DDD_ERR_ARG;
  const DDD_STRING* s = nullptr;
  switch (Head(record)->kind) {
    case DDD_CAT_OPTION_INSTALL:
    case DDD_CAT_OPTION_DOC:
      s = &static_cast<const DDD_OPTION*>(record)->name;
      break;
    case DDD_CAT_TRAY:
    case DDD_CAT_TRAY2:
      s = &static_cast<const DDD_TRAY*>(record)->name;
      break;
    case DDD_CAT_PAPER:
      s = &static_cast<const DDD_PAPER*>(record)->name;
      break;
    case DDD_CAT_FONT:
      s = &static_cast<const DDD_FONT*>(record)->name;
      break;
    case DDD_CAT_OPTIONITEM_INSTALL:
    case DDD_CAT_OPTIONITEM_DOC:
      s = &static_cast<const DDD_OPTIONITEM*>(record)->name;
      break;
    default:
      return DDD_ERR_ARG;
  }
  *name = CopyName(*s);
  return *name ? DDD_OK : DDD_ERR_MEMORY;
}

WORD ddma_GetNameFromDDD(DDDFILE* main, DDDFILE* referenced, WORD ddmId, const DDD_VALUE* value, LPWSTR* name) {
  if (!name) return DDD_ERR_ARG;
  *name = nullptr;
  WORD cat = 0;
  void* rec = nullptr;
  WORD r = ddma_GetDataX(DDD_QUICK, main, referenced, ddmId, value, &cat, &rec);
  if (r) return r;
  if (cat == DDD_CAT_FILEINFO) {  // the model name itself
    *name = static_cast<LPWSTR>(rec);
    return DDD_OK;
  }
  r = ddd_GetNameFromData(rec, name);
  ddd_Free(&rec, DDD_KIND_ANY);
  return r;
}

WORD ddma_GetRefDataX(WORD depth, DDDFILE* main, DDDFILE* referenced, const void* itemRecord, WORD* kind,
                      void** record) {
  if (kind) *kind = 0;
  if (record) *record = nullptr;
  if (!itemRecord || !kind || !record || !IsOptionItem(Head(itemRecord)->kind)) return DDD_ERR_ARG;
  auto* it = static_cast<const DDD_OPTIONITEM*>(itemRecord);
  WORD r = DFILE_GetDataByIDX(depth, main, referenced, it->refCategory, it->refId, 0, record);
  if (!r) *kind = Head(*record)->kind;
  return r;
}

WORD ddma_GetDefaultPDEV(DDDFILE* main, DDDFILE* referenced, WORD ddmId, void** value, WORD* type) {
  if (!value || !type) return DDD_ERR_ARG;
  *value = nullptr;
  *type = 0;
  WORD cat = 0, dataId = 0;
  DDMIDtoCategory(ddmId, nullptr, &cat, &dataId);
  if (!IsOption(cat)) return DDD_ERR_ARG;
  if (dataId == 0) return DDD_ERR_NOTFOUND;

  // The option record, walked in place up to its default item's id.
  WORD loc = 0;
  WORD r = DFILE_GotoData(0, main, referenced, DDD_LOC_MAIN, cat, dataId, &loc);
  if (r) return r;
  DDDFILE* f = FileOf(main, referenced, loc);
  WORD position = 0, count = 0, itemId = 0;
  r = SkipStartAndString(f);
  if (!r) r = local_Skip(f, 1);
  if (!r) r = local_Read16(f, &position);
  if (!r) r = local_Skip(f, 2 + 4);  // first reference, the list's byte length
  if (!r) r = local_Read16(f, &count);
  if (r) return r;
  if (position == 0 || position > count) return DDD_ERR_ARG;
  r = local_Skip(f, static_cast<DWORD>(position - 1) * 2);
  if (!r) r = local_Read16(f, &itemId);
  if (r) return r;

  // The item record, walked in place up to its value.
  r = DFILE_GotoData(0, main, referenced, DDD_LOC_MAIN, ItemCategoryOf(cat), itemId, &loc);
  if (r) return r;
  f = FileOf(main, referenced, loc);
  WORD size = 0;
  r = SkipStartAndString(f);
  if (!r) r = local_Skip(f, 2 + 2 + 2);  // referenced category, referenced id, area
  if (!r) r = LOCAL_SkipList(f);
  if (!r) r = LOCAL_SkipList(f);
  if (!r) r = DFILE_ReadDEVValue(f, type, &size, value);
  if (r) return r;

  DddDefaultOverrideFn hook = g_defaultOverride.load();
  if (hook) {
    r = hook(main, referenced, ddmId, value, type);
    if (r) {
      kcore_Free(*value);
      *value = nullptr;
      *type = 0;
    }
  }
  return r;
}

WORD ddma_IsDefaultOption(DDDFILE* main, DDDFILE* /*referenced*/, WORD optionId) {
  // The option flags are two 32-bit words; either word's id gives its bit.
  if (optionId < DDM_OPTIONFLAGS_FIRST || optionId > DDM_OPTIONFLAGS_LAST) return 1;
  const WORD bit = static_cast<WORD>((optionId - DDM_OPTIONFLAGS_FIRST) % 32);
  BYTE flags[4];
  if (ddd_GetPrinterInfo_orderedItem(main, 12, 4, 0, flags) != DDD_OK) return 1;
  return (kp_LoadU32(flags) >> bit) & 1u ? 0 : 1;
}

WORD ddma_GetIconData(DDDFILE* main, DDDFILE* referenced, const void* record, DDD_ICONBYTES** icon) {
  if (!icon) return DDD_ERR_ARG;
  *icon = nullptr;
  if (!record) return DDD_ERR_ARG;
  WORD kind = Head(record)->kind;
  WORD iconId;
  if (IsOption(kind))
    iconId = static_cast<const DDD_OPTION*>(record)->iconId;
  else if (IsOptionItem(kind))
    iconId = static_cast<const DDD_OPTIONITEM*>(record)->iconId;
  else
    return DDD_ERR_ARG;
  if (iconId == 0) return DDD_ERR_NOTFOUND;
  void* rec = nullptr;
  WORD r = DFILE_GetDataByIDX(DDD_FULL, main, referenced, DDD_CAT_ICON, iconId, 0, &rec);
  if (r) return r;
  const DDD_ICONBYTES* src = static_cast<DDD_ICON*>(rec)->bytes;
  auto* copy = static_cast<DDD_ICONBYTES*>(DALLOC_AllocData(main, DDD_KIND_ICONBYTES));
  if (copy && src && src->size) {
    copy->data = static_cast<BYTE*>(kcore_Alloc(src->size));
    if (copy->data) {
      std::memcpy(copy->data, src->data, src->size);
      copy->size = src->size;
    } else {
      void* p = copy;
      ddd_Free(&p, DDD_KIND_ICONBYTES);
      copy = nullptr;
    }
  }
  ddd_Free(&rec, DDD_CAT_ICON);
  if (!copy) return DDD_ERR_MEMORY;
  *icon = copy;
  return DDD_OK;
}

WORD ddma_GetGUIData(DDDFILE* main, DDDFILE* referenced, WORD ddmId, WORD position, DDD_GUIDATA** data) {
  if (!data) return DDD_ERR_ARG;
  *data = nullptr;
  WORD cat = 0;
  void* rec = nullptr;
  WORD r = position == 0 ? ddma_GetDataX(DDD_FULL, main, referenced, ddmId, nullptr, &cat, &rec)
                         : ddma_GetItemDataX(DDD_FULL, main, referenced, ddmId, position, &cat, &rec);
  if (r) return r;
  if (cat == DDD_CAT_FILEINFO) {  // a model name, not a record
    kcore_Free(rec);
    return DDD_ERR_ARG;
  }
  auto* gui = static_cast<DDD_GUIDATA*>(DALLOC_AllocData(main, DDD_KIND_GUIDATA));
  if (!gui) {
    ddd_Free(&rec, DDD_KIND_ANY);
    return DDD_ERR_MEMORY;
  }
  gui->head.id = Head(rec)->id;
  r = SetNameAndDevmode(rec, &gui->name, &gui->value, &gui->valueType, &gui->valueSize);
  WORD kind = Head(rec)->kind;
  if (!r && (IsOption(kind) || IsOptionItem(kind))) {
    WORD ir = ddma_GetIconData(main, referenced, rec, &gui->icon);
    if (ir == DDD_ERR_MEMORY) r = ir;  // a missing icon is no failure
  }
  ddd_Free(&rec, DDD_KIND_ANY);
  if (r) {
    void* p = gui;
    ddd_Free(&p, DDD_KIND_GUIDATA);
    return r;
  }
  *data = gui;
  return DDD_OK;
}

// --- field readers -------------------------------------------------------------------

const DDD_POINT* ddd_GetTrayLowerPaper(const void* tray) {
  return tray && IsTray(Head(tray)->kind) ? &static_cast<const DDD_TRAY*>(tray)->lower : nullptr;
}

const DDD_POINT* ddd_GetTrayUpperPaper(const void* tray) {
  return tray && IsTray(Head(tray)->kind) ? &static_cast<const DDD_TRAY*>(tray)->upper : nullptr;
}

WORD ddd_GetAcceptablePaperID(const void* tray, WORD position, const WORD** id) {
  if (!id) return DDD_ERR_ARG;
  *id = nullptr;
  if (!tray || !IsTray(Head(tray)->kind) || position == 0) return DDD_ERR_ARG;
  const DDD_IDLIST& l = static_cast<const DDD_TRAY*>(tray)->papers;
  if (position > l.count) return DDD_ERR_NOTFOUND;
  *id = &l.ids[position - 1];
  return DDD_OK;
}

WORD ddd_GetAcceptableFeedID(const void* tray, WORD position, WORD* id) {
  if (!id || !tray || !IsTray(Head(tray)->kind) || position == 0) return DDD_ERR_ARG;
  const DDD_IDLIST& l = static_cast<const DDD_TRAY*>(tray)->feeds;
  if (position > l.count) return DDD_ERR_NOTFOUND;
  *id = l.ids[position - 1];
  return DDD_OK;
}

const DDD_POINT* ddd_GetPaperLower(const void* paper) {
  return KindIs(paper, DDD_CAT_PAPER) ? &static_cast<const DDD_PAPER*>(paper)->paperLower : nullptr;
}

const DDD_POINT* ddd_GetPaperUpper(const void* paper) {
  return KindIs(paper, DDD_CAT_PAPER) ? &static_cast<const DDD_PAPER*>(paper)->paperUpper : nullptr;
}

WORD ddd_GetMarginDefault(const void* paper, const DDD_POINT** first, const DDD_POINT** second) {
  if (!first || !second || !KindIs(paper, DDD_CAT_PAPER)) return DDD_ERR_ARG;
  *first = &static_cast<const DDD_PAPER*>(paper)->marginFirst;
  *second = &static_cast<const DDD_PAPER*>(paper)->marginSecond;
  return DDD_OK;
}

const DDD_POINT* ddd_GetImageableSizeLower(const void* paper) {
  return KindIs(paper, DDD_CAT_PAPER) ? &static_cast<const DDD_PAPER*>(paper)->imageableLower : nullptr;
}

const DDD_POINT* ddd_GetImageableSizeUpper(const void* paper) {
  return KindIs(paper, DDD_CAT_PAPER) ? &static_cast<const DDD_PAPER*>(paper)->imageableUpper : nullptr;
}

WORD ddd_GetSubstFontName(const void* font, WORD position, LPCWSTR* name) {
  if (!name) return DDD_ERR_ARG;
  *name = nullptr;
  if (!KindIs(font, DDD_CAT_FONT) || position == 0) return DDD_ERR_ARG;
  const DDD_STRINGLIST& l = static_cast<const DDD_FONT*>(font)->substNames;
  if (position > l.count) return DDD_ERR_NOTFOUND;
  *name = l.strings[position - 1].str;
  return DDD_OK;
}

const BYTE* ddd_GetXFMData(const void* font) {
  return KindIs(font, DDD_CAT_FONT) ? static_cast<const DDD_FONT*>(font)->xfm : nullptr;
}

namespace {
const DDD_TSVLIST* ExtraOf(const void* record) {
  if (KindIs(record, DDD_CAT_FONT)) return &static_cast<const DDD_FONT*>(record)->extra;
  if (KindIs(record, DDD_CAT_ADCQUERY)) return &static_cast<const DDD_ADCQUERY*>(record)->extra;
  return nullptr;
}
}  // namespace

WORD ddd_GetNumOfDataEx(const void* record, WORD* count) {
  const DDD_TSVLIST* l = ExtraOf(record);
  if (!count || !l) return DDD_ERR_ARG;
  *count = l->count;
  return DDD_OK;
}

WORD ddd_GetDataEx(const void* record, WORD position, WORD* type, WORD* size, const void** value) {
  const DDD_TSVLIST* l = ExtraOf(record);
  if (!l || !type || !size || !value || position == 0) return DDD_ERR_ARG;
  if (position > l->count) return DDD_ERR_NOTFOUND;
  const DDD_TSV& v = l->values[position - 1];
  *type = v.type;
  *size = v.size;
  *value = v.type == DDD_TYPE_STRING ? static_cast<const void*>(v.string) : static_cast<const void*>(v.value);
  return DDD_OK;
}

LPCWSTR ddd_GetEJCLCommand(const void* ejcl) {
  return KindIs(ejcl, DDD_CAT_EJCL) ? static_cast<const DDD_EJCL*>(ejcl)->command.str : nullptr;
}

LPCWSTR ddd_GetEJCLArgument(const void* ejcl) {
  return KindIs(ejcl, DDD_CAT_EJCL) ? static_cast<const DDD_EJCL*>(ejcl)->argument.str : nullptr;
}

WORD ddd_GetImageFromImageCondition(DDDFILE* main, DDDFILE* referenced, const void* record, WORD* x, WORD* y,
                                    BYTE** bitmap) {
  if (!x || !y || !bitmap) return DDD_ERR_ARG;
  *bitmap = nullptr;
  if (!KindIs(record, DDD_CAT_IMCONDITION)) return DDD_ERR_ARG;
  const DDD_IMSTRUCT& im = static_cast<const DDD_IMCONDITION*>(record)->image;
  void* rec = nullptr;
  WORD r = DFILE_GetDataByIDX(DDD_FULL, main, referenced, DDD_CAT_IMAGE, im.imageId, 0, &rec);
  if (r) return r;
  auto* image = static_cast<DDD_IMAGE*>(rec);
  *bitmap = image->bitmap;
  image->bitmap = nullptr;
  ddd_Free(&rec, DDD_CAT_IMAGE);
  *x = im.x;
  *y = im.y;
  return DDD_OK;
}

WORD ddd_GetAdditionalFlag(const void* record, WORD* flag) {
  if (!record || !flag) return DDD_ERR_ARG;
  LONG fv = Head(record)->formatVersion;
  switch (Head(record)->kind) {
    case DDD_CAT_PAPER:
      if (fv < 1280) return DDD_ERR_ARG;
      *flag = static_cast<const DDD_PAPER*>(record)->additionalFlag;
      return DDD_OK;
    case DDD_CAT_FONT:
      if (fv < 256) return DDD_ERR_ARG;
      *flag = static_cast<const DDD_FONT*>(record)->additionalFlag;
      return DDD_OK;
    case DDD_CAT_EJCL:
      if (fv < 1280) return DDD_ERR_ARG;
      *flag = static_cast<const DDD_EJCL*>(record)->additionalFlag;
      return DDD_OK;
    case DDD_CAT_ADCQUERY:
      if (fv < 4096) return DDD_ERR_ARG;
      *flag = static_cast<const DDD_ADCQUERY*>(record)->additionalFlag;
      return DDD_OK;
    default:
      return DDD_ERR_ARG;
  }
}

WORD ddd_GetPaperTypeDuplexAvailability(const void* record, BYTE* duplex) {
  if (!duplex || !KindIs(record, DDD_CAT_PAPERTYPE) || Head(record)->formatVersion < 512) return DDD_ERR_ARG;
  *duplex = static_cast<const DDD_PAPERTYPE*>(record)->duplex;
  return DDD_OK;
}

WORD ddd_GetFavoriteSettingNum(const void* record, WORD* count) {
  if (!count || !KindIs(record, DDD_CAT_FAVORITE) || Head(record)->formatVersion < 768) return DDD_ERR_ARG;
  *count = static_cast<const DDD_FAVORITE*>(record)->count;
  return DDD_OK;
}

WORD ddd_GetFavoriteSetting(const void* record, WORD position, WORD* ddmId, WORD* size, WORD* type,
                            const void** value) {
  if (!ddmId || !size || !type || !value || position == 0) return DDD_ERR_ARG;
  if (!KindIs(record, DDD_CAT_FAVORITE) || Head(record)->formatVersion < 768) return DDD_ERR_ARG;
  auto* f = static_cast<const DDD_FAVORITE*>(record);
  if (position > f->count) return DDD_ERR_NOTFOUND;
  const DDD_FAVENTRY& e = f->entries[position - 1];
  *ddmId = e.ddmId;
  *size = e.value.size;
  *type = e.value.type;
  *value = e.value.type == DDD_TYPE_STRING ? static_cast<const void*>(e.value.string)
                                           : static_cast<const void*>(e.value.value);
  return DDD_OK;
}

WORD ddd_GetQueryString(const void* record, WORD position, LPCWSTR* str) {
  if (!str) return DDD_ERR_ARG;
  *str = nullptr;
  if (!KindIs(record, DDD_CAT_ADCQUERY)) return DDD_ERR_ARG;
  const DDD_STRINGLIST& l = static_cast<const DDD_ADCQUERY*>(record)->queries;
  if (position == 0 || position > l.count) return DDD_ERR_ARG;
  *str = l.strings[position - 1].str;
  return DDD_OK;
}
