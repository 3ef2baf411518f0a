// DDD record parsers, allocation and freers.
#include "ddd_internal.h"

namespace {

SIZE_T RecordSize(WORD kind) {
  switch (kind) {
    case DDD_CAT_FILEINFO: return sizeof(DDD_FILEINFO);
    case DDD_CAT_OPTION_INSTALL:
    case DDD_CAT_OPTION_DOC: return sizeof(DDD_OPTION);
    case DDD_CAT_TRAY:
    case DDD_CAT_TRAY2: return sizeof(DDD_TRAY);
    case DDD_CAT_CONSTRAINTS:
    case DDD_CAT_CONSTRAINTS2: return sizeof(DDD_CONSTRAINTS);
    case DDD_CAT_IMCONDITION: return sizeof(DDD_IMCONDITION);
    case DDD_CAT_PAPER: return sizeof(DDD_PAPER);
    case DDD_CAT_FONT: return sizeof(DDD_FONT);
    case DDD_CAT_IMAGE: return sizeof(DDD_IMAGE);
    case DDD_CAT_OPTIONITEM_INSTALL:
    case DDD_CAT_OPTIONITEM_DOC: return sizeof(DDD_OPTIONITEM);
    case DDD_CAT_EJCL: return sizeof(DDD_EJCL);
    case DDD_CAT_NRV: return sizeof(DDD_NRV);
    case DDD_CAT_SIZE: return sizeof(DDD_SIZE);
    case DDD_CAT_ICON: return sizeof(DDD_ICON);
    case DDD_CAT_PAPERTYPE: return sizeof(DDD_PAPERTYPE);
    case DDD_CAT_GROUPED: return sizeof(DDD_GROUPED);
    case DDD_CAT_FAVORITE: return sizeof(DDD_FAVORITE);
    case DDD_CAT_ADCQUERY: return sizeof(DDD_ADCQUERY);
    case DDD_CAT_TRAYINDEX: return sizeof(DDD_TRAYINDEX);
    case DDD_KIND_ICONBYTES: return sizeof(DDD_ICONBYTES);
    case DDD_KIND_GUIDATA: return sizeof(DDD_GUIDATA);
    default: return 0;
  }
}

// Reads the record start: the 32-bit length (skipped) and the data id.
WORD ReadStart(DDDFILE* c, DDD_HEAD* head) {
  WORD r = local_Skip(c, DDD_RECORD_ID_OFFSET);
  if (!r) r = local_Read16(c, &head->id);
  return r;
}

WORD ReadString(DDDFILE* c, DDD_STRING* s) { return DFILE_ReadNegativeString(c, &s->str, &s->bytes); }

void FreeString(DDD_STRING* s) {
  kcore_Free(s->str);
  s->str = nullptr;
}

WORD ReadIdList(DDDFILE* c, DDD_IDLIST* l) {
  void* a = nullptr;
  WORD r = LOCAL_ReadList(DDD_KIND_ID, c, &l->count, &a);
  l->ids = static_cast<WORD*>(a);
  return r;
}

void FreeIdList(DDD_IDLIST* l) {
  kcore_Free(l->ids);
  l->ids = nullptr;
}

WORD ReadItemList(WORD kind, DDDFILE* c, DDD_ITEMLIST* l) {
  void* a = nullptr;
  WORD r = LOCAL_ReadList(kind, c, &l->count, &a);
  l->items = static_cast<DDD_ITEM*>(a);
  return r;
}

void FreeItemList(DDD_ITEMLIST* l) {
  LOCAL_FreeList(DDD_KIND_ITEM, l->count, l->items);
  l->items = nullptr;
  l->count = 0;
}

WORD ReadWideByte(DDDFILE* c, WORD* out) {
  BYTE b = 0;
  WORD r = local_Read8(c, &b);
  if (!r) *out = b;
  return r;
}

// A Font's string list: 16-bit count, the stored lengths, then the bodies.
WORD ReadCountedStrings(DDDFILE* c, DDD_STRINGLIST* l) {
  WORD n = 0;
  WORD r = local_Read16(c, &n);
  if (r || n == 0) return r;
  if (static_cast<DWORD>(n) * 2 > local_Remaining(c)) return DDD_ERR_ARG;
  const BYTE* lengths = LOCAL_ReferFile(c, static_cast<DWORD>(n) * 2);
  if (!lengths) return DDD_ERR_ARG;
  l->strings = static_cast<DDD_STRING*>(kcore_Alloc(static_cast<SIZE_T>(n) * sizeof(DDD_STRING)));
  if (!l->strings) return DDD_ERR_MEMORY;
  l->count = n;
  for (WORD i = 0; i < n; ++i) {
    r = LOCAL_ReadStrData(c, kp_LoadU16(lengths + 2 * i), &l->strings[i].str, &l->strings[i].bytes);
    if (r) return r;  // the caller frees what was built
  }
  return DDD_OK;
}

void FreeStringList(DDD_STRINGLIST* l) {
  LOCAL_FreeList(DDD_KIND_STRING, l->count, l->strings);
  l->strings = nullptr;
  l->count = 0;
}

template <typename T>
T* Alloc(DDDFILE* c, WORD kind) {
  return static_cast<T*>(DALLOC_AllocData(c, kind));
}

// Frees a partly built record and passes the failing result on.
WORD Fail(void* record, WORD kind, WORD result) {
  ddd_Free(&record, kind);
  return result;
}

// --- parsers ---------------------------------------------------------------------

WORD LOCAL_GetOptionData(DDDFILE* c, WORD kind, DDD_OPTION** out) {
  auto* o = Alloc<DDD_OPTION>(c, kind);
  if (!o) return DDD_ERR_MEMORY;
  WORD r = ReadStart(c, &o->head);
  if (!r) r = ReadString(c, &o->name);
  if (!r) r = ReadWideByte(c, &o->selectMethod);
  if (!r) r = local_Read16(c, &o->defaultItem);
  if (!r) r = DFILE_ReadID(c, &o->firstRef);
  if (!r) r = ReadIdList(c, &o->items);
  if (!r) r = ReadIdList(c, &o->list2);
  if (!r) r = ReadIdList(c, &o->list3);
  if (!r) r = DFILE_ReadID(c, &o->iconId);
  if (!r && c->formatVersion >= 1024) r = ReadString(c, &o->name2);
  if (r) return Fail(o, kind, r);
  *out = o;
  return DDD_OK;
}

WORD LOCAL_GetOptionItemData(WORD depth, DDDFILE* c, WORD kind, DDD_OPTIONITEM** out) {
  auto* it = Alloc<DDD_OPTIONITEM>(c, kind);
  if (!it) return DDD_ERR_MEMORY;
  WORD r = ReadStart(c, &it->head);
  if (!r) r = ReadString(c, &it->name);
  if (!r) r = local_Read16(c, &it->refCategory);
  if (!r) r = DFILE_ReadID(c, &it->refId);
  if (depth == DDD_FULL) {
    if (!r) r = DFILE_ReadID(c, &it->areaId);
    if (!r) r = ReadIdList(c, &it->list1);
    if (!r) r = ReadIdList(c, &it->list2);
  } else {
    if (!r) r = local_Skip(c, 2);
    if (!r) r = LOCAL_SkipList(c);
    if (!r) r = LOCAL_SkipList(c);
  }
  if (!r) r = LOCAL_ReadDEVValue_refer(c, &it->value);
  if (!r) r = DFILE_ReadID(c, &it->iconId);
  if (r) return Fail(it, kind, r);
  *out = it;
  return DDD_OK;
}

WORD LOCAL_GetTrayData(DDDFILE* c, WORD kind, DDD_TRAY** out) {
  auto* t = Alloc<DDD_TRAY>(c, kind);
  if (!t) return DDD_ERR_MEMORY;
  WORD r = ReadStart(c, &t->head);
  if (!r) r = ReadString(c, &t->name);
  if (!r) r = local_Read16(c, &t->sizeId);
  if (!r) r = local_Read16(c, &t->nrvArg);
  if (!r) r = ReadIdList(c, &t->papers);
  if (!r) r = ReadIdList(c, &t->feeds);
  if (!r && c->formatVersion >= 512) r = local_Read8(c, &t->duplex);
  if (!r && c->formatVersion >= 1024) r = ReadString(c, &t->name2);
  if (r) return Fail(t, kind, r);
  *out = t;
  return DDD_OK;
}

WORD LOCAL_GetSizeData(DDDFILE* c, DDD_SIZE** out) {
  auto* s = Alloc<DDD_SIZE>(c, DDD_CAT_SIZE);
  if (!s) return DDD_ERR_MEMORY;
  WORD r = ReadStart(c, &s->head);
  if (!r) r = DFILE_ReadPOINT(c, &s->lower);
  if (!r) r = DFILE_ReadPOINT(c, &s->upper);
  if (r) return Fail(s, DDD_CAT_SIZE, r);
  *out = s;
  return DDD_OK;
}

WORD LOCAL_GetPaperData(DDDFILE* c, DDD_PAPER** out) {
  auto* p = Alloc<DDD_PAPER>(c, DDD_CAT_PAPER);
  if (!p) return DDD_ERR_MEMORY;
  WORD r = ReadStart(c, &p->head);
  if (!r) r = ReadString(c, &p->name);
  if (!r) r = ReadWideByte(c, &p->paperClass);
  if (!r) r = local_Read16(c, &p->sizeId);
  if (!r) r = local_Read16(c, &p->imageableId);
  if (!r) r = local_Read16(c, &p->marginId);
  if (!r) r = local_Read16(c, &p->portraitArg);
  if (!r) r = local_Read16(c, &p->field2);
  if (!r && c->formatVersion >= 512) {
    r = local_Read8(c, &p->duplex);
    if (!r) r = local_Read16(c, &p->duplexSizeId);
  }
  if (!r && c->formatVersion >= 1280) r = local_Read16(c, &p->additionalFlag);
  if (r) return Fail(p, DDD_CAT_PAPER, r);
  *out = p;
  return DDD_OK;
}

WORD LOCAL_GetConstraintsData(DDDFILE* c, WORD kind, DDD_CONSTRAINTS** out) {
  auto* k = Alloc<DDD_CONSTRAINTS>(c, kind);
  if (!k) return DDD_ERR_MEMORY;
  WORD r = ReadStart(c, &k->head);
  if (!r) r = DFILE_ReadITEM(c, &k->target);
  if (!r) r = local_Read16(c, &k->field);
  if (!r) r = ReadString(c, &k->message);
  if (!r) r = ReadItemList(DDD_KIND_ITEM_CONNECTIVE, c, &k->conditions);
  if (!r) r = ReadItemList(DDD_KIND_ITEM, c, &k->solutions);
  if (r) return Fail(k, kind, r);
  *out = k;
  return DDD_OK;
}

WORD LOCAL_GetImConditionData(DDDFILE* c, DDD_IMCONDITION** out) {
  auto* k = Alloc<DDD_IMCONDITION>(c, DDD_CAT_IMCONDITION);
  if (!k) return DDD_ERR_MEMORY;
  WORD r = ReadStart(c, &k->head);
  if (!r) r = ReadItemList(DDD_KIND_ITEM_CONNECTIVE, c, &k->conditions);
  if (!r) r = DFILE_ReadImStruct(c, &k->image);
  if (r) return Fail(k, DDD_CAT_IMCONDITION, r);
  *out = k;
  return DDD_OK;
}

WORD LOCAL_GetImageData(WORD depth, DDDFILE* c, DDD_IMAGE** out) {
  auto* im = Alloc<DDD_IMAGE>(c, DDD_CAT_IMAGE);
  if (!im) return DDD_ERR_MEMORY;
  WORD skip = 0;
  WORD r = ReadStart(c, &im->head);
  if (!r) r = local_Read8(c, &im->imageKind);
  if (!r && depth == DDD_FULL && im->imageKind != 1 && im->imageKind != 2) r = DDD_ERR_ARG;
  if (!r) r = local_Read16(c, &im->width);
  if (!r) r = local_Read16(c, &im->height);
  if (!r) r = local_Read16(c, &skip);
  if (!r) r = local_Skip(c, skip);
  if (!r && depth == DDD_FULL) {
    DWORD length = 0;
    r = local_Read32(c, &length);
    // The stored bitmap begins with its 14-byte file header.
    if (!r && (length < 14 || length > local_Remaining(c))) r = DDD_ERR_ARG;
    if (!r) r = local_Skip(c, 14);
    if (!r && length > 14) {
      const BYTE* bits = LOCAL_ReferFile(c, length - 14);
      im->bitmap = static_cast<BYTE*>(kcore_Alloc(length - 14));
      if (!bits) {
        r = DDD_ERR_ARG;
      } else if (!im->bitmap) {
        r = DDD_ERR_MEMORY;
      } else {
        std::memcpy(im->bitmap, bits, length - 14);
        im->bitmapSize = length - 14;
      }
    }
  }
  if (r) return Fail(im, DDD_CAT_IMAGE, r);
  *out = im;
  return DDD_OK;
}

WORD LOCAL_GetFontData(WORD depth, DDDFILE* c, DDD_FONT** out) {
  auto* f = Alloc<DDD_FONT>(c, DDD_CAT_FONT);
  if (!f) return DDD_ERR_MEMORY;
  WORD skip = 0;
  DWORD xfm = 0;
  WORD r = ReadStart(c, &f->head);
  if (!r) r = ReadString(c, &f->name);
  if (!r) r = ReadString(c, &f->name2);
  if (!r) r = ReadCountedStrings(c, &f->substNames);
  if (!r) r = ReadCountedStrings(c, &f->names2);
  if (!r) r = local_Read16(c, &skip);
  if (!r) r = local_Skip(c, skip);
  if (!r) r = local_Read32(c, &xfm);
  if (!r && xfm > local_Remaining(c)) r = DDD_ERR_ARG;
  if (!r && depth == DDD_FULL && xfm > 0) {
    const BYTE* data = LOCAL_ReferFile(c, xfm);
    f->xfm = static_cast<BYTE*>(kcore_Alloc(xfm));
    if (!data) {
      r = DDD_ERR_ARG;
    } else if (!f->xfm) {
      r = DDD_ERR_MEMORY;
    } else {
      std::memcpy(f->xfm, data, xfm);
      f->xfmSize = xfm;
    }
  } else if (!r) {
    r = local_Skip(c, xfm);
  }
  if (!r) r = local_Read16(c, &f->additionalFlag);
  if (!r && c->formatVersion >= 1024) {
    WORD n = 0;
    r = local_Read16(c, &n);
    if (!r && static_cast<DWORD>(n) * 3 > local_Remaining(c)) r = DDD_ERR_ARG;
    if (!r && n > 0) {
      f->extra.values = static_cast<DDD_TSV*>(kcore_Alloc(static_cast<SIZE_T>(n) * sizeof(DDD_TSV)));
      if (!f->extra.values) r = DDD_ERR_MEMORY;
      if (!r) f->extra.count = n;
      for (WORD i = 0; !r && i < n; ++i) r = LOCAL_ReadTypeSizeValue(c, &f->extra.values[i]);
    }
  }
  if (r) return Fail(f, DDD_CAT_FONT, r);
  *out = f;
  return DDD_OK;
}

WORD LOCAL_GetEJCLData(DDDFILE* c, DDD_EJCL** out) {
  auto* e = Alloc<DDD_EJCL>(c, DDD_CAT_EJCL);
  if (!e) return DDD_ERR_MEMORY;
  WORD r = ReadStart(c, &e->head);
  if (!r) r = local_Read16(c, &e->hintId);
  if (!r) r = ReadItemList(DDD_KIND_ITEM_CONNECTIVE, c, &e->conditions);
  if (!r) r = ReadString(c, &e->command);
  if (!r) r = ReadString(c, &e->argument);
  if (!r && c->formatVersion >= 1280) r = local_Read16(c, &e->additionalFlag);
  if (r) return Fail(e, DDD_CAT_EJCL, r);
  *out = e;
  return DDD_OK;
}

WORD LOCAL_GetNRVData(DDDFILE* c, DDD_NRV** out) {
  auto* n = Alloc<DDD_NRV>(c, DDD_CAT_NRV);
  if (!n) return DDD_ERR_MEMORY;
  WORD r = ReadStart(c, &n->head);
  if (!r) r = ReadItemList(DDD_KIND_ITEM_CONNECTIVE, c, &n->conditions);
  if (!r) r = local_Read8(c, &n->byte1);
  if (!r) r = local_Read8(c, &n->byte2);
  if (!r) r = local_Read16(c, &n->dataSize);
  if (!r && n->dataSize > 0) {
    const BYTE* data = LOCAL_ReferFile(c, n->dataSize);
    if (!data) {
      r = DDD_ERR_ARG;
    } else {
      n->data = static_cast<BYTE*>(kcore_Alloc(n->dataSize));
      if (!n->data)
        r = DDD_ERR_MEMORY;
      else
        std::memcpy(n->data, data, n->dataSize);
    }
  }
  if (r) return Fail(n, DDD_CAT_NRV, r);
  *out = n;
  return DDD_OK;
}

WORD LOCAL_GetIconData(DDDFILE* c, DDD_ICON** out) {
  auto* ic = Alloc<DDD_ICON>(c, DDD_CAT_ICON);
  if (!ic) return DDD_ERR_MEMORY;
  WORD n = 0;
  WORD r = ReadStart(c, &ic->head);
  if (!r) r = local_Read16(c, &n);
  const BYTE* data = nullptr;
  if (!r) {
    data = LOCAL_ReferFile(c, n);
    if (!data) r = DDD_ERR_ARG;
  }
  if (!r) {
    ic->bytes = Alloc<DDD_ICONBYTES>(c, DDD_KIND_ICONBYTES);
    if (!ic->bytes) r = DDD_ERR_MEMORY;
  }
  if (!r && n > 0) {
    ic->bytes->data = static_cast<BYTE*>(kcore_Alloc(n));
    if (!ic->bytes->data)
      r = DDD_ERR_MEMORY;
    else
      std::memcpy(ic->bytes->data, data, n);
  }
  if (!r) ic->bytes->size = n;
  if (r) return Fail(ic, DDD_CAT_ICON, r);
  *out = ic;
  return DDD_OK;
}

WORD LOCAL_GetPaperTypeData(DDDFILE* c, DDD_PAPERTYPE** out) {
  if (c->formatVersion < 512) return DDD_ERR_ARG;
  auto* t = Alloc<DDD_PAPERTYPE>(c, DDD_CAT_PAPERTYPE);
  if (!t) return DDD_ERR_MEMORY;
  WORD r = ReadStart(c, &t->head);
  if (!r) r = ReadString(c, &t->name);
  if (!r) r = local_Read8(c, &t->duplex);
  if (!r && c->formatVersion >= 1024) r = ReadString(c, &t->name2);
  if (r) return Fail(t, DDD_CAT_PAPERTYPE, r);
  *out = t;
  return DDD_OK;
}

WORD LOCAL_GetFavoriteData(DDDFILE* c, DDD_FAVORITE** out) {
  auto* f = Alloc<DDD_FAVORITE>(c, DDD_CAT_FAVORITE);
  if (!f) return DDD_ERR_MEMORY;
  WORD n = 0;
  WORD r = ReadStart(c, &f->head);
  if (!r) r = ReadString(c, &f->name);
  if (!r) r = local_Skip(c, 4);
  if (!r) r = local_Read16(c, &n);
  if (!r && static_cast<DWORD>(n) * 5 > local_Remaining(c)) r = DDD_ERR_ARG;
  if (!r && n > 0) {
    f->entries = static_cast<DDD_FAVENTRY*>(kcore_Alloc(static_cast<SIZE_T>(n) * sizeof(DDD_FAVENTRY)));
    if (!f->entries) r = DDD_ERR_MEMORY;
    if (!r) f->count = n;
    for (WORD i = 0; !r && i < n; ++i) {
      r = local_Read16(c, &f->entries[i].ddmId);
      if (!r) r = LOCAL_ReadTypeSizeValue(c, &f->entries[i].value);
    }
  }
  if (r) return Fail(f, DDD_CAT_FAVORITE, r);
  *out = f;
  return DDD_OK;
}

WORD LOCAL_GetAdcQueryData(DDDFILE* c, DDD_ADCQUERY** out) {
  auto* a = Alloc<DDD_ADCQUERY>(c, DDD_CAT_ADCQUERY);
  if (!a) return DDD_ERR_MEMORY;
  WORD r = ReadStart(c, &a->head);
  if (!r) r = local_Read16(c, &a->field1);
  if (!r) r = local_Read16(c, &a->field2);
  if (!r) r = ReadWideByte(c, &a->valueType);
  if (!r) r = local_Read16(c, &a->valueSize);
  if (!r && a->valueType == DDD_TYPE_BOOL) a->valueSize = 4;
  if (!r) r = ReadWideByte(c, &a->field3);
  if (!r) r = local_Read16(c, &a->additionalFlag);
  if (!r) r = local_Read16(c, &a->field4);
  if (!r) {
    void* arr = nullptr;
    r = LOCAL_ReadList(DDD_KIND_STRING, c, &a->queries.count, &arr);
    a->queries.strings = static_cast<DDD_STRING*>(arr);
  }
  if (!r) {
    void* arr = nullptr;
    r = LOCAL_ReadList(DDD_KIND_TSV, c, &a->extra.count, &arr);
    a->extra.values = static_cast<DDD_TSV*>(arr);
  }
  if (r) return Fail(a, DDD_CAT_ADCQUERY, r);
  *out = a;
  return DDD_OK;
}

WORD LOCAL_GetTrayIndexData(DDDFILE* c, DDD_TRAYINDEX** out) {
  auto* t = Alloc<DDD_TRAYINDEX>(c, DDD_CAT_TRAYINDEX);
  if (!t) return DDD_ERR_MEMORY;
  WORD r = ReadStart(c, &t->head);
  if (!r) r = ReadItemList(DDD_KIND_ITEM_CONNECTIVE, c, &t->conditions);
  if (!r) {
    void* arr = nullptr;
    r = LOCAL_ReadList(DDD_KIND_INDEXEDTRAY, c, &t->count, &arr);
    t->entries = static_cast<DDD_INDEXEDTRAY*>(arr);
  }
  if (r) return Fail(t, DDD_CAT_TRAYINDEX, r);
  *out = t;
  return DDD_OK;
}

// --- freers -----------------------------------------------------------------------

void FreeTSVs(DDD_TSVLIST* l) {
  for (WORD i = 0; i < l->count; ++i) LOCAL_FreeTSV(&l->values[i]);
  kcore_Free(l->values);
  l->values = nullptr;
}

// Frees the parts of a record of one of the reader's kinds (not the record).
void FreeParts(void* record, WORD kind) {
  switch (kind) {
    case DDD_CAT_FILEINFO: {
      auto* f = static_cast<DDD_FILEINFO*>(record);
      kcore_Free(f->headerText);
      kcore_Free(f->modelName);
      kcore_Free(f->refFileName);
      break;
    }
    case DDD_CAT_OPTION_INSTALL:
    case DDD_CAT_OPTION_DOC: {
      auto* o = static_cast<DDD_OPTION*>(record);
      FreeString(&o->name);
      FreeIdList(&o->items);
      FreeIdList(&o->list2);
      FreeIdList(&o->list3);
      FreeString(&o->name2);
      break;
    }
    case DDD_CAT_TRAY:
    case DDD_CAT_TRAY2: {
      auto* t = static_cast<DDD_TRAY*>(record);
      FreeString(&t->name);
      FreeIdList(&t->papers);
      FreeIdList(&t->feeds);
      FreeString(&t->name2);
      break;
    }
    case DDD_CAT_CONSTRAINTS:
    case DDD_CAT_CONSTRAINTS2: {
      auto* k = static_cast<DDD_CONSTRAINTS*>(record);
      FreeString(&k->message);
      DFREE_FreeDevmodeValue(&k->target.value);
      FreeItemList(&k->conditions);
      FreeItemList(&k->solutions);
      break;
    }
    case DDD_CAT_IMCONDITION:
      FreeItemList(&static_cast<DDD_IMCONDITION*>(record)->conditions);
      break;
    case DDD_CAT_PAPER:
      FreeString(&static_cast<DDD_PAPER*>(record)->name);
      break;
    case DDD_CAT_FONT: {
      auto* f = static_cast<DDD_FONT*>(record);
      FreeString(&f->name);
      FreeString(&f->name2);
      FreeStringList(&f->substNames);
      FreeStringList(&f->names2);
      kcore_Free(f->xfm);
      f->xfm = nullptr;
      FreeTSVs(&f->extra);
      break;
    }
    case DDD_CAT_IMAGE:
      kcore_Free(static_cast<DDD_IMAGE*>(record)->bitmap);
      break;
    case DDD_CAT_OPTIONITEM_INSTALL:
    case DDD_CAT_OPTIONITEM_DOC: {
      auto* it = static_cast<DDD_OPTIONITEM*>(record);
      FreeString(&it->name);
      FreeIdList(&it->list1);
      FreeIdList(&it->list2);
      DFREE_FreeDevmodeValue(&it->value);
      break;
    }
    case DDD_CAT_EJCL: {
      auto* e = static_cast<DDD_EJCL*>(record);
      FreeString(&e->command);
      FreeString(&e->argument);
      FreeItemList(&e->conditions);
      break;
    }
    case DDD_CAT_NRV: {
      auto* n = static_cast<DDD_NRV*>(record);
      FreeItemList(&n->conditions);
      kcore_Free(n->data);
      break;
    }
    case DDD_CAT_ICON: {
      void* bytes = static_cast<DDD_ICON*>(record)->bytes;
      if (bytes) ddd_Free(&bytes, DDD_KIND_ICONBYTES);
      break;
    }
    case DDD_KIND_ICONBYTES:
      kcore_Free(static_cast<DDD_ICONBYTES*>(record)->data);
      break;
    case DDD_KIND_GUIDATA: {
      auto* g = static_cast<DDD_GUIDATA*>(record);
      kcore_Free(g->name);
      kcore_Free(g->value);
      void* icon = g->icon;
      if (icon) ddd_Free(&icon, DDD_KIND_ICONBYTES);
      break;
    }
    case DDD_CAT_PAPERTYPE: {
      auto* t = static_cast<DDD_PAPERTYPE*>(record);
      FreeString(&t->name);
      FreeString(&t->name2);
      break;
    }
    case DDD_CAT_FAVORITE: {
      auto* f = static_cast<DDD_FAVORITE*>(record);
      FreeString(&f->name);
      for (WORD i = 0; i < f->count; ++i) LOCAL_FreeTSV(&f->entries[i].value);
      kcore_Free(f->entries);
      break;
    }
    case DDD_CAT_ADCQUERY: {
      auto* a = static_cast<DDD_ADCQUERY*>(record);
      FreeStringList(&a->queries);
      FreeTSVs(&a->extra);
      break;
    }
    case DDD_CAT_TRAYINDEX: {
      auto* t = static_cast<DDD_TRAYINDEX*>(record);
      FreeItemList(&t->conditions);
      kcore_Free(t->entries);
      break;
    }
    case DDD_KIND_ITEM:
    case DDD_KIND_ITEM_CONNECTIVE:
      DFREE_FreeDevmodeValue(&static_cast<DDD_ITEM*>(record)->value);
      break;
    default:  // Size, GroupedDevmodeValues: nothing but the record
      break;
  }
}

// Kinds that share one freer.
bool SameFamily(WORD asked, WORD own) {
  auto family = [](WORD k) -> WORD {
    switch (k) {
      case 4: return 3;
      case 6: return 5;
      case 8: return 7;
      case 14: return 13;
      case DDD_KIND_ITEM_CONNECTIVE: return DDD_KIND_ITEM;
      default: return k;
    }
  };
  return family(asked) == family(own);
}

bool HasFreer(WORD kind) {
  return (kind >= 1 && kind <= 23 && kind != DDD_CAT_PRINTERINFO) || kind == DDD_KIND_ITEM ||
         kind == DDD_KIND_ITEM_CONNECTIVE || kind == DDD_KIND_ICONBYTES || kind == DDD_KIND_GUIDATA;
}

}  // namespace

void* DALLOC_AllocData(DDDFILE* context, WORD kind) {
  SIZE_T size = RecordSize(kind);
  if (size == 0) return nullptr;
  auto* head = static_cast<DDD_HEAD*>(kcore_Alloc(size));
  if (!head) return nullptr;
  head->kind = kind;
  head->file = context;
  if (context) {
    head->location = context->location;
    head->formatVersion = context->formatVersion;
  }
  return head;
}

WORD ddd_Free(void** record, WORD kind) {
  if (!record || !*record) return DDD_OK;
  auto* head = static_cast<DDD_HEAD*>(*record);
  if (kind >= DDD_KIND_ANY) kind = head->kind;
  if (HasFreer(kind)) {
    if (!SameFamily(kind, head->kind)) return DDD_ERR_ARG;  // left as it is
    FreeParts(*record, head->kind);
  }
  kcore_Free(*record);
  *record = nullptr;
  return DDD_OK;
}

WORD LOCAL_GetGroupedDevmodeValues(DDDFILE* c, DDD_GROUPED** out) {
  *out = nullptr;
  auto* g = Alloc<DDD_GROUPED>(c, DDD_CAT_GROUPED);
  if (!g) return DDD_ERR_ARG;
  DWORD skipped = 0;
  WORD r = ReadStart(c, &g->head);
  if (!r) r = local_Read16(c, &g->field1);
  if (!r) r = ReadWideByte(c, &g->elemType);
  if (!r) r = local_Read16(c, &g->elemSize);
  if (!r) r = local_Read32(c, &skipped);
  if (!r) r = local_Read16(c, &g->elemCount);
  if (!r) {
    // The elements are referenced in place and must lie in the file.
    g->data = LOCAL_ReferFile(c, static_cast<DWORD>(g->elemCount) * g->elemSize);
    if (!g->data && g->elemCount && g->elemSize) r = DDD_ERR_ARG;
  }
  if (r) return Fail(g, DDD_CAT_GROUPED, r);
  *out = g;
  return DDD_OK;
}

WORD LOCAL_setSizeData(DDDFILE* main, DDDFILE* referenced, WORD sizeId, DDD_POINT* lower, DDD_POINT* upper) {
  if (sizeId == 0) return DDD_ERR_NOTFOUND;
  void* rec = nullptr;
  WORD r = DFILE_GetDataByIDX(DDD_QUICK, main, referenced, DDD_CAT_SIZE, sizeId, 0, &rec);
  if (r) return r;
  auto* s = static_cast<DDD_SIZE*>(rec);
  *lower = s->lower;
  *upper = s->upper;
  ddd_Free(&rec, DDD_CAT_SIZE);
  return DDD_OK;
}

WORD DFILE_GetData(WORD depth, DDDFILE* context, DDDFILE* main, DDDFILE* referenced, WORD category, void** record) {
  if (!record) return DDD_ERR_ARG;
  *record = nullptr;
  if (!context || !context->open) return DDD_ERR_ARG;
  WORD r;
  void* rec = nullptr;
  switch (category) {
    case DDD_CAT_OPTION_INSTALL:
    case DDD_CAT_OPTION_DOC:
      r = LOCAL_GetOptionData(context, category, reinterpret_cast<DDD_OPTION**>(&rec));
      break;
    case DDD_CAT_TRAY:
    case DDD_CAT_TRAY2:
      r = LOCAL_GetTrayData(context, category, reinterpret_cast<DDD_TRAY**>(&rec));
      if (!r) {
        auto* t = static_cast<DDD_TRAY*>(rec);
        r = LOCAL_setSizeData(main, referenced, t->sizeId, &t->lower, &t->upper);
      }
      break;
    case DDD_CAT_CONSTRAINTS:
    case DDD_CAT_CONSTRAINTS2:
      r = LOCAL_GetConstraintsData(context, category, reinterpret_cast<DDD_CONSTRAINTS**>(&rec));
      break;
    case DDD_CAT_IMCONDITION:
      r = LOCAL_GetImConditionData(context, reinterpret_cast<DDD_IMCONDITION**>(&rec));
      break;
    case DDD_CAT_PAPER:
      r = LOCAL_GetPaperData(context, reinterpret_cast<DDD_PAPER**>(&rec));
      if (!r) {
        auto* p = static_cast<DDD_PAPER*>(rec);
        r = LOCAL_setSizeData(main, referenced, p->sizeId, &p->paperLower, &p->paperUpper);
        if (!r) r = LOCAL_setSizeData(main, referenced, p->marginId, &p->marginFirst, &p->marginSecond);
        if (!r) r = LOCAL_setSizeData(main, referenced, p->imageableId, &p->imageableLower, &p->imageableUpper);
        if (!r && p->duplexSizeId != 0)
          r = LOCAL_setSizeData(main, referenced, p->duplexSizeId, &p->duplexLower, &p->duplexUpper);
      }
      break;
    case DDD_CAT_FONT:
      r = LOCAL_GetFontData(depth, context, reinterpret_cast<DDD_FONT**>(&rec));
      break;
    case DDD_CAT_IMAGE:
      r = LOCAL_GetImageData(depth, context, reinterpret_cast<DDD_IMAGE**>(&rec));
      break;
    case DDD_CAT_OPTIONITEM_INSTALL:
    case DDD_CAT_OPTIONITEM_DOC:
      r = LOCAL_GetOptionItemData(depth, context, category, reinterpret_cast<DDD_OPTIONITEM**>(&rec));
      break;
    case DDD_CAT_EJCL:
      r = LOCAL_GetEJCLData(context, reinterpret_cast<DDD_EJCL**>(&rec));
      break;
    case DDD_CAT_NRV:
      r = LOCAL_GetNRVData(context, reinterpret_cast<DDD_NRV**>(&rec));
      break;
    case DDD_CAT_SIZE:
      r = LOCAL_GetSizeData(context, reinterpret_cast<DDD_SIZE**>(&rec));
      break;
    case DDD_CAT_ICON:
      r = LOCAL_GetIconData(context, reinterpret_cast<DDD_ICON**>(&rec));
      break;
    case DDD_CAT_PAPERTYPE:
      r = LOCAL_GetPaperTypeData(context, reinterpret_cast<DDD_PAPERTYPE**>(&rec));
      break;
    case DDD_CAT_GROUPED:
      r = LOCAL_GetGroupedDevmodeValues(context, reinterpret_cast<DDD_GROUPED**>(&rec));
      break;
    case DDD_CAT_FAVORITE:
      r = LOCAL_GetFavoriteData(context, reinterpret_cast<DDD_FAVORITE**>(&rec));
      break;
    case DDD_CAT_ADCQUERY:
      r = LOCAL_GetAdcQueryData(context, reinterpret_cast<DDD_ADCQUERY**>(&rec));
      break;
    case DDD_CAT_TRAYINDEX:
      r = LOCAL_GetTrayIndexData(context, reinterpret_cast<DDD_TRAYINDEX**>(&rec));
      break;
    default:
      return DDD_ERR_ARG;
  }
  if (r) {
    ddd_Free(&rec, DDD_KIND_ANY);
    return r;
  }
  *record = rec;
  return DDD_OK;
}
