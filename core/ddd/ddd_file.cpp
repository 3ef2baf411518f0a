// DDD file layer: the file context, cursor reads, tables, version rules,
// strings and devmode values.
#include <atomic>
#include <cstdint>

#include "ddd_internal.h"

namespace {

std::atomic<DddDriverDirectoryFn> g_driverDirectory{nullptr};

bool IsOpen(const DDDFILE* c) { return c && c->open && c->image; }

DDDFILE* MainOf(DDDFILE* c) { return c->partner ? c->partner : c; }

}  // namespace

void ddd_SetDriverDirectoryProvider(DddDriverDirectoryFn fn) { g_driverDirectory.store(fn); }

void ddd_FreeMem(void* block) { kcore_Free(block); }

// --- wide strings -------------------------------------------------------------

LPWSTR local_AnsiFieldToWide(const char* src, DWORD maxBytes) {
  DWORD n = 0;
  while (n < maxBytes && src[n]) ++n;
  auto* d = static_cast<LPWSTR>(kcore_Alloc((static_cast<SIZE_T>(n) + 1) * sizeof(WCHAR)));
  if (d) kcore_AnsiToWide(src, n, d, n + 1);
  return d;
}

// --- cursor -------------------------------------------------------------------

DWORD local_Remaining(const DDDFILE* c) { return IsOpen(c) && c->cursor <= c->size ? c->size - c->cursor : 0; }

WORD DFILE_ReadFile(DDDFILE* context, void* buffer, DWORD n) {
  if (!IsOpen(context) || !buffer || n == 0) return DDD_ERR_ARG;
  if (n > local_Remaining(context)) return DDD_ERR_ARG;
  std::memcpy(buffer, context->image + context->cursor, n);
  context->cursor += n;
  return DDD_OK;
}

WORD local_Read8(DDDFILE* c, BYTE* out) { return DFILE_ReadFile(c, out, 1); }

WORD local_Read16(DDDFILE* c, WORD* out) {
  BYTE b[2];
  WORD r = DFILE_ReadFile(c, b, 2);
  if (r == DDD_OK) *out = kp_LoadU16(b);
  return r;
}

WORD local_Read32(DDDFILE* c, DWORD* out) {
  BYTE b[4];
  WORD r = DFILE_ReadFile(c, b, 4);
  if (r == DDD_OK) *out = kp_LoadU32(b);
  return r;
}

WORD local_Skip(DDDFILE* c, DWORD n) {
  if (!IsOpen(c) || n > local_Remaining(c)) return DDD_ERR_ARG;
  c->cursor += n;
  return DDD_OK;
}

const BYTE* LOCAL_ReferFile(DDDFILE* c, DWORD n) {
  if (!IsOpen(c) || n > local_Remaining(c)) return nullptr;
  const BYTE* p = c->image + c->cursor;
  c->cursor += n;
  return p;
}

WORD DFILE_Seek(DDDFILE* context, WORD mode, LONG offset) {
  if (!IsOpen(context)) return DDD_ERR_ARG;
  long long target = (mode == 1 ? static_cast<long long>(context->cursor) : 0) + offset;
  if (target < 0 || target > static_cast<long long>(context->size)) return DDD_ERR_ARG;
  context->cursor = static_cast<DWORD>(target);
  return DDD_OK;
}

WORD DFILE_SeekBack(DDDFILE* context, DWORD n) {
  if (!IsOpen(context) || n > context->cursor) return DDD_ERR_ARG;
  context->cursor -= n;
  return DDD_OK;
}

static WORD local_SeekAbs(DDDFILE* c, unsigned long long pos) {
  if (!IsOpen(c) || pos > c->size) return DDD_ERR_ARG;
  c->cursor = static_cast<DWORD>(pos);
  return DDD_OK;
}

// --- open and close -------------------------------------------------------------

WORD DFILE_OpenFileX(LPCWSTR fileName, DDDFILE* context, DDDFILE* partner) {
  if (!fileName || !context || context->open) return DDD_ERR_ARG;
  if (partner && (!partner->open || !partner->strings)) return DDD_ERR_ARG;
  KCORE_FILEVIEW view{};
  if (!kcore_MapFile(fileName, &view)) return DDD_ERR_ARG;
  auto* image = static_cast<BYTE*>(kcore_Alloc(view.size ? view.size : 1));
  if (!image) {
    kcore_UnmapFile(&view);
    return DDD_ERR_MEMORY;
  }
  if (view.size) std::memcpy(image, view.view, view.size);
  DWORD size = view.size;
  kcore_UnmapFile(&view);

  DDD_STRING_STATE* strings;
  if (partner) {
    strings = partner->strings;
  } else {
    strings = static_cast<DDD_STRING_STATE*>(kcore_Alloc(sizeof(DDD_STRING_STATE)));
    if (!strings) {
      kcore_Free(image);
      return DDD_ERR_MEMORY;
    }
    strings->tryResource = TRUE;
  }
  context->image = image;
  context->size = size;
  context->cursor = 0;
  context->partner = partner;
  context->strings = strings;
  context->packedVersion = 0;
  context->formatVersion = 0;
  context->open = TRUE;
  return DDD_OK;
}

WORD DFILE_CloseFileX(DDDFILE* context) {
  if (!context || !context->open) return DDD_ERR_ARG;
  kcore_Free(context->image);
  if (!context->partner && context->strings) {
    DDD_STRING_STATE* s = context->strings;
    for (auto& slot : s->slots) kcore_Free(slot.buffer);
    if (s->resourceModule) kcore_FreeStringModule(s->resourceModule);
    kcore_Free(s);
  }
  context->image = nullptr;
  context->size = 0;
  context->cursor = 0;
  context->strings = nullptr;
  context->partner = nullptr;
  context->open = FALSE;
  return DDD_OK;
}

// --- versions -------------------------------------------------------------------

DWORD DFILE_PackVersion(WORD a, WORD b, WORD c) {
  return ((static_cast<DWORD>(a) * 256u + b) * 65536u) + c;
}

namespace {
// Reads decimal digits at str[*i]; 1 when there are none, 8 when the number
// exceeds limit.
WORD ParseNumber(const char* str, DWORD chars, DWORD* i, DWORD limit, WORD* out) {
  DWORD value = 0;
  DWORD digits = 0;
  bool over = false;
  while (*i < chars && str[*i] >= '0' && str[*i] <= '9') {
    if (!over) {
      value = value * 10 + static_cast<DWORD>(str[*i] - '0');
      if (value > limit) over = true;
    }
    ++digits;
    ++*i;
  }
  if (digits == 0) return DDD_ERR_ARG;
  if (over) return DDD_ERR_VERSION;
  *out = static_cast<WORD>(value);
  return DDD_OK;
}
}  // namespace

WORD DFILE_strToVersion(const char* str, DWORD chars, WORD* a, WORD* b, WORD* c) {
  if (!str || !a || !b || !c) return DDD_ERR_ARG;
  // The text ends at a NUL or after `chars` characters.
  DWORD len = 0;
  while (len < chars && str[len]) ++len;
  DWORD i = 0;
  while (i < len && str[i] != ':') ++i;
  if (i >= len) return DDD_ERR_ARG;
  ++i;
  WORD va, vb, vc;
  WORD r = ParseNumber(str, len, &i, 255, &va);
  if (r) return r;
  if (i >= len) return DDD_ERR_ARG;  // one separator must follow
  ++i;
  r = ParseNumber(str, len, &i, 255, &vb);
  if (r) return r;
  if (i >= len) return DDD_ERR_ARG;
  ++i;
  r = ParseNumber(str, len, &i, 65535, &vc);
  if (r) return r;
  *a = va;
  *b = vb;
  *c = vc;
  return DDD_OK;
}

WORD DFILE_strToDDDFormatVersion(const BYTE bytes[4], LONG* packed) {
  if (!bytes || !packed) return DDD_ERR_ARG;
  long long v = 0;
  for (int k = 0; k < 4; ++k) v = v * 256 + static_cast<signed char>(bytes[k]);
  if (v < INT32_MIN) v = INT32_MIN;  // only a first byte of 0x80 gets here
  *packed = static_cast<LONG>(v);
  return DDD_OK;
}

WORD ddd_GetFileInfo(DDDFILE* context, DDD_FILEINFO** info) {
  if (!info) return DDD_ERR_ARG;
  *info = nullptr;
  if (!IsOpen(context)) return DDD_ERR_ARG;
  BYTE header[DDD_HEADER_SIZE];
  WORD r = DFILE_Seek(context, 0, 0);
  if (!r) r = DFILE_ReadFile(context, header, DDD_HEADER_SIZE);
  if (r) return r;
  auto* fi = static_cast<DDD_FILEINFO*>(DALLOC_AllocData(context, DDD_CAT_FILEINFO));
  if (!fi) return DDD_ERR_MEMORY;
  r = DFILE_strToVersion(reinterpret_cast<const char*>(header + DDD_VERSION_OFFSET), DDD_VERSION_SIZE,
                         &fi->versionA, &fi->versionB, &fi->versionC);
  if (!r) r = DFILE_strToDDDFormatVersion(header + DDD_FORMAT_OFFSET, &fi->formatVersion);
  if (!r) {
    fi->headerText = local_AnsiFieldToWide(reinterpret_cast<const char*>(header + DDD_HEADER_TEXT_OFFSET),
                                      DDD_HEADER_TEXT_SIZE);
    fi->modelName =
        local_AnsiFieldToWide(reinterpret_cast<const char*>(header + DDD_MODELNAME_OFFSET), DDD_MODELNAME_SIZE);
    fi->refFileName =
        local_AnsiFieldToWide(reinterpret_cast<const char*>(header + DDD_REFNAME_OFFSET), DDD_REFNAME_SIZE);
    if (!fi->headerText || !fi->modelName || !fi->refFileName) r = DDD_ERR_MEMORY;
  }
  if (r) {
    void* p = fi;
    ddd_Free(&p, DDD_CAT_FILEINFO);
    return r;
  }
  fi->head.location = context->location;
  *info = fi;
  return DDD_OK;
}

WORD ddd_VersionCheck(DDDFILE* context) {
  DDD_FILEINFO* fi = nullptr;
  WORD r = ddd_GetFileInfo(context, &fi);
  if (r) return r;
  DWORD packed = DFILE_PackVersion(fi->versionA, fi->versionB, fi->versionC);
  LONG format = fi->formatVersion;
  void* p = fi;
  ddd_Free(&p, DDD_CAT_FILEINFO);
  if (packed < DFILE_PackVersion(0, 0, 0) || packed > DFILE_PackVersion(255, 255, 65535)) return DDD_ERR_VERSION;
  context->packedVersion = packed;
  context->formatVersion = format;
  return DDD_OK;
}

namespace {
bool HasDddExtension(LPCWSTR name) {
  DWORD n = kp_WideLength(name);
  DWORD dot = n;
  for (DWORD i = 0; i < n; ++i)
    if (name[i] == u'.') dot = i;
  if (dot == n || n - dot - 1 != 3) return false;
  const char16_t want[] = u"DDD";
  for (int k = 0; k < 3; ++k) {
    WCHAR ch = name[dot + 1 + k];
    if (ch >= u'a' && ch <= u'z') ch = static_cast<WCHAR>(ch - u'a' + u'A');
    if (ch != want[k]) return false;
  }
  return true;
}
}  // namespace

WORD ddd_OpenFile(LPCWSTR dataFileName, DWORD /*reserved*/, DDDFILE* main, DDDFILE* referenced) {
  if (!dataFileName || !main || !referenced || main == referenced || main->open || referenced->open)
    return DDD_ERR_ARG;
  if (!HasDddExtension(dataFileName)) return DDD_ERR_ARG;

  WORD r = DFILE_OpenFileX(dataFileName, main, nullptr);
  if (r) return r;
  main->location = DDD_LOC_MAIN;
  r = ddd_VersionCheck(main);
  if (r) {
    DFILE_CloseFileX(main);
    return r;
  }

  char refName[DDD_REFNAME_SIZE];
  r = DFILE_Seek(main, 0, DDD_REFNAME_OFFSET);
  if (!r) r = DFILE_ReadFile(main, refName, DDD_REFNAME_SIZE);
  LPWSTR wideRef = nullptr;
  if (!r) {
    wideRef = local_AnsiFieldToWide(refName, DDD_REFNAME_SIZE);
    if (!wideRef) r = DDD_ERR_MEMORY;
  }
  referenced->location = DDD_LOC_REFERENCED;
  if (!r && wideRef[0]) {
    // The referenced file lies beside the main file; a name that reaches
    // into another folder is refused.
    for (DWORD i = 0; wideRef[i]; ++i)
      if (wideRef[i] == u'\\' || wideRef[i] == u'/' || wideRef[i] == u':') r = DDD_ERR_ARG;
    if (!r) {
      DWORD n = kp_WideLength(dataFileName);
      DWORD dirLen = 0;
      for (DWORD i = 0; i < n; ++i)
        if (dataFileName[i] == u'\\' || dataFileName[i] == u'/') dirLen = i + 1;
      DWORD refLen = kp_WideLength(wideRef);
      auto* path = static_cast<LPWSTR>(kcore_Alloc((static_cast<SIZE_T>(dirLen) + refLen + 1) * sizeof(WCHAR)));
      if (!path) {
        r = DDD_ERR_MEMORY;
      } else {
        std::memcpy(path, dataFileName, dirLen * sizeof(WCHAR));
        std::memcpy(path + dirLen, wideRef, refLen * sizeof(WCHAR));
        r = DFILE_OpenFileX(path, referenced, main);
        kcore_Free(path);
        if (!r) {
          referenced->location = DDD_LOC_REFERENCED;
          r = ddd_VersionCheck(referenced);
        }
      }
    }
  }
  kcore_Free(wideRef);
  if (r) {
    if (referenced->open) DFILE_CloseFileX(referenced);
    DFILE_CloseFileX(main);
    return r;
  }
  return DDD_OK;
}

WORD ddd_CloseFile(DDDFILE* main, DDDFILE* referenced) {
  WORD r = 0;
  if (referenced && referenced->open) r |= DFILE_CloseFileX(referenced);
  r |= DFILE_CloseFileX(main);
  return r;
}

// --- tables ---------------------------------------------------------------------

WORD DFILE_GotoPrinterInfo(DDDFILE* context, DWORD relativeOffset) {
  return local_SeekAbs(context, static_cast<unsigned long long>(DDD_PRINTERINFO_OFFSET) + relativeOffset);
}

WORD DFILE_GotoCategoryOffset(DDDFILE* context) {
  DWORD offset = 0;
  WORD r = DFILE_GotoPrinterInfo(context, 0);
  if (!r) r = local_Read32(context, &offset);
  if (!r) r = local_SeekAbs(context, static_cast<unsigned long long>(context->cursor) + offset);
  return r;
}

WORD DFILE_GotoDataOffsetTable(DDDFILE* context, WORD category, DWORD extra) {
  int pos = ddd_CategoryPosition(category);
  if (pos < 0) return DDD_ERR_NOTFOUND;
  WORD count = 0;
  DWORD tableOffset = 0;
  WORD r = DFILE_GotoCategoryOffset(context);
  if (!r) r = local_Skip(context, DDD_TABLE_COUNT_OFFSET);
  if (!r) r = local_Read16(context, &count);
  if (r) return r;
  if (pos >= count) return DDD_ERR_NOTFOUND;
  r = local_Skip(context, static_cast<DWORD>(pos) * DDD_CATENTRY_SIZE + DDD_CATENTRY_TABLE_OFFSET);
  if (!r) r = local_Read32(context, &tableOffset);
  if (!r) r = local_SeekAbs(context, static_cast<unsigned long long>(tableOffset) + extra);
  return r;
}

WORD DFILE_GotoDataOffsetByID(DDDFILE* context, WORD category, WORD dataId) {
  WORD count = 0;
  WORD r = DFILE_GotoDataOffsetTable(context, category, DDD_TABLE_COUNT_OFFSET);
  if (!r) r = local_Read16(context, &count);
  if (r) return r;
  for (WORD i = 0; i < count; ++i) {
    const BYTE* e = LOCAL_ReferFile(context, DDD_ENTRY_SIZE);
    if (!e) return DDD_ERR_ARG;
    if (kp_LoadU16(e + DDD_ENTRY_ID_OFFSET) == dataId) return DFILE_SeekBack(context, DDD_ENTRY_SIZE);
  }
  return DDD_ERR_NOTFOUND;
}

WORD DFILE_GotoDataOffsetByIndex(DDDFILE* context, WORD category, WORD position) {
  WORD count = 0;
  WORD r = DFILE_GotoDataOffsetTable(context, category, DDD_TABLE_COUNT_OFFSET);
  if (!r) r = local_Read16(context, &count);
  if (r) return r;
  if (position == 0 || position > count) return DDD_ERR_NOTFOUND;
  return local_Skip(context, static_cast<DWORD>(position - 1) * DDD_ENTRY_SIZE);
}

WORD DFILE_GotoData(WORD mode, DDDFILE* main, DDDFILE* referenced, WORD tableFile, WORD category, WORD idOrPosition,
                    WORD* location) {
  if (!main || !location) return DDD_ERR_ARG;
  *location = 0;
  DDDFILE* table = tableFile == DDD_LOC_MAIN ? main : referenced;
  if (!IsOpen(table)) return DDD_ERR_ARG;
  WORD r = mode == 1 ? DFILE_GotoDataOffsetByIndex(table, category, idOrPosition)
                     : DFILE_GotoDataOffsetByID(table, category, idOrPosition);
  if (r) return r;
  const BYTE* e = LOCAL_ReferFile(table, DDD_ENTRY_SIZE);
  if (!e) return DDD_ERR_ARG;
  WORD loc = e[DDD_ENTRY_LOCATION_OFFSET] == DDD_LOC_MAIN ? DDD_LOC_MAIN : DDD_LOC_REFERENCED;
  DDDFILE* target = loc == DDD_LOC_MAIN ? main : referenced;
  if (!IsOpen(target)) return DDD_ERR_ARG;
  r = local_SeekAbs(target, kp_LoadU32(e + DDD_ENTRY_DATA_OFFSET));
  if (r) return r;
  *location = loc;
  return DDD_OK;
}

WORD DFILE_GotoDataByID(DDDFILE* main, DDDFILE* referenced, WORD tableFile, WORD category, WORD dataId,
                        WORD itemNumber, WORD* location) {
  if (!location) return DDD_ERR_ARG;
  *location = 0;
  if (itemNumber != 0 && category != DDD_CAT_OPTION_INSTALL && category != DDD_CAT_OPTION_DOC) return DDD_ERR_ARG;
  WORD loc = 0;
  WORD r = DFILE_GotoData(0, main, referenced, tableFile, category, dataId, &loc);
  if (r) return r;
  if (itemNumber == 0) {
    *location = loc;
    return DDD_OK;
  }
  // Walk the option record up to its item list.
  DDDFILE* f = loc == DDD_LOC_MAIN ? main : referenced;
  WORD nameLen = 0, count = 0, itemId = 0;
  DWORD listBytes = 0;
  r = local_Skip(f, DDD_RECORD_START_SIZE);
  if (!r) r = local_Read16(f, &nameLen);
  if (!r) r = local_Skip(f, static_cast<DWORD>(nameLen) + 1 + 2 + 2);  // name, method, default, first reference
  if (!r) r = local_Read32(f, &listBytes);
  if (!r) r = local_Read16(f, &count);
  if (r) return r;
  if (count < itemNumber) return DDD_ERR_NOTFOUND;
  r = local_Skip(f, static_cast<DWORD>(itemNumber - 1) * 2);
  if (!r) r = local_Read16(f, &itemId);
  if (r) return r;
  WORD itemCategory = category == DDD_CAT_OPTION_INSTALL ? DDD_CAT_OPTIONITEM_INSTALL : DDD_CAT_OPTIONITEM_DOC;
  return DFILE_GotoData(0, main, referenced, loc, itemCategory, itemId, location);
}

// --- string buffer pool ------------------------------------------------------------

BYTE* local_getStringBuffer(DDD_STRING_STATE* state, DWORD request) {
  if (!state) return nullptr;
  if (request < DDD_STRING_MIN_BUFFER) request = DDD_STRING_MIN_BUFFER;
  for (auto& slot : state->slots) {
    if (slot.inUse) continue;
    if (slot.buffer && slot.size < request) {
      kcore_Free(slot.buffer);
      slot.buffer = nullptr;
      slot.size = 0;
    }
    if (!slot.buffer) {
      slot.buffer = static_cast<BYTE*>(kcore_Alloc(request));
      if (!slot.buffer) return nullptr;
      slot.size = request;
    }
    slot.inUse = TRUE;
    return slot.buffer;
  }
  return nullptr;
}

void local_releaseStringBuffer(DDD_STRING_STATE* state, const BYTE* buffer) {
  if (!state || !buffer) return;
  for (auto& slot : state->slots)
    if (slot.buffer == buffer) slot.inUse = FALSE;
}

// --- strings ----------------------------------------------------------------------

WORD DFILE_GetReadableString(const BYTE* stored, DWORD n, LPWSTR* str, DWORD* bytes) {
  *str = nullptr;
  *bytes = 0;
  auto* plain = static_cast<char*>(kcore_Alloc(n ? n : 1));
  if (!plain) return DDD_ERR_MEMORY;
  for (DWORD i = 0; i < n; ++i) plain[i] = static_cast<char>(~stored[i]);
  auto* wide = static_cast<LPWSTR>(kcore_Alloc((static_cast<SIZE_T>(n) + 1) * sizeof(WCHAR)));
  if (!wide) {
    kcore_Free(plain);
    return DDD_ERR_MEMORY;
  }
  DWORD chars = kcore_AnsiToWide(plain, n, wide, n + 1);
  kcore_Free(plain);
  *str = wide;
  *bytes = (chars + 1) * sizeof(WCHAR);
  return DDD_OK;
}

WORD DFILE_LoadString_fromResource(HANDLE module, WORD id, LPWSTR* str, DWORD* bytes) {
  *str = nullptr;
  *bytes = 0;
  if (!module) return DDD_ERR_ARG;
  auto* buffer = static_cast<LPWSTR>(kcore_Alloc(DDD_EXTSTRING_CHARS * sizeof(WCHAR)));
  if (!buffer) return DDD_ERR_MEMORY;
  DWORD chars = kcore_LoadString(module, id, buffer, DDD_EXTSTRING_CHARS);
  if (chars == 0) {
    kcore_Free(buffer);
    return DDD_ERR_NOTFOUND;
  }
  buffer[chars < DDD_EXTSTRING_CHARS ? chars : DDD_EXTSTRING_CHARS - 1] = 0;
  *str = kcore_WideDup(buffer);
  kcore_Free(buffer);
  if (!*str) return DDD_ERR_MEMORY;
  *bytes = (kp_WideLength(*str) + 1) * sizeof(WCHAR);
  return DDD_OK;
}

namespace {
// Loads the library named by element `element` of PrinterInfo item 35 from the
// driver directory. Read through a copy of the main context, so no cursor moves.
HANDLE LoadExternalLibrary(DDDFILE* main, WORD element) {
  DddDriverDirectoryFn provider = g_driverDirectory.load();
  if (!provider) return nullptr;
  WCHAR dir[MAX_PATH + 1] = {};
  if (!provider(dir, MAX_PATH)) return nullptr;
  dir[MAX_PATH] = 0;
  DDDFILE copy = *main;
  LPWSTR name = nullptr;
  if (ddd_GetPrinterInfo_orderedString(&copy, 35, element, &name) != DDD_OK || !name) {
    kcore_Free(name);
    return nullptr;
  }
  DWORD dirLen = kp_WideLength(dir);
  DWORD nameLen = kp_WideLength(name);
  bool slash = dirLen > 0 && dir[dirLen - 1] != u'\\' && dir[dirLen - 1] != u'/';
  DWORD total = dirLen + (slash ? 1 : 0) + nameLen;
  HANDLE module = nullptr;
  if (nameLen > 0 && total < MAX_PATH) {
    WCHAR path[MAX_PATH];
    std::memcpy(path, dir, dirLen * sizeof(WCHAR));
    DWORD at = dirLen;
    if (slash) path[at++] = u'\\';
    std::memcpy(path + at, name, nameLen * sizeof(WCHAR));
    path[total] = 0;
    module = kcore_LoadStringModule(path);
  }
  kcore_Free(name);
  return module;
}
}  // namespace

WORD DFILE_GetString_fromExtResource(DDDFILE* context, WORD selector, WORD id, LPWSTR* str, DWORD* bytes) {
  *str = nullptr;
  *bytes = 0;
  if (!IsOpen(context) || !context->strings || selector == 0) return DDD_ERR_ARG;
  DDD_STRING_STATE* s = context->strings;
  DDDFILE* main = MainOf(context);
  if (!IsOpen(main)) return DDD_ERR_ARG;
  s->resolving = TRUE;
  WORD r;
  if (selector == 1) {
    if (!s->resourceModule) {
      s->resourceModule = LoadExternalLibrary(main, 0);
      if (!s->resourceModule) s->tryResource = FALSE;
    }
    r = s->resourceModule ? DFILE_LoadString_fromResource(s->resourceModule, id, str, bytes) : DDD_ERR_NOTFOUND;
  } else {
    HANDLE module = LoadExternalLibrary(main, static_cast<WORD>(selector - 1));
    r = module ? DFILE_LoadString_fromResource(module, id, str, bytes) : DDD_ERR_NOTFOUND;
    if (module) kcore_FreeStringModule(module);
  }
  s->resolving = FALSE;
  return r;
}

WORD LOCAL_ReadStrData(DDDFILE* context, DWORD n, LPWSTR* str, DWORD* bytes) {
  *str = nullptr;
  *bytes = 0;
  if (!IsOpen(context) || !context->strings) return DDD_ERR_ARG;
  if (n == 0) return DDD_OK;
  if (n > local_Remaining(context)) return DDD_ERR_ARG;
  DDD_STRING_STATE* s = context->strings;
  BYTE* buffer = local_getStringBuffer(s, n);
  if (!buffer) return DDD_ERR_MEMORY;
  WORD r = DFILE_ReadFile(context, buffer, n);
  if (r) {
    local_releaseStringBuffer(s, buffer);
    return r;
  }
  // An external-string reference ends in: selector (16 bit), id (16 bit), 0.
  DWORD textLen = n;
  if (n > 5 && buffer[n - 1] == 0) {
    WORD selector = kp_LoadU16(buffer + n - 5);
    WORD id = kp_LoadU16(buffer + n - 3);
    if (selector != 0 && id != 0) {
      textLen = n - 5;  // the text before the reference is its fallback
      if (s->tryResource && !s->resolving) {
        r = DFILE_GetString_fromExtResource(context, selector, id, str, bytes);
        if (r == DDD_OK) {
          local_releaseStringBuffer(s, buffer);
          return DDD_OK;
        }
        if (r == DDD_ERR_MEMORY) {
          local_releaseStringBuffer(s, buffer);
          return r;
        }
      }
    }
  }
  r = DFILE_GetReadableString(buffer, textLen, str, bytes);
  local_releaseStringBuffer(s, buffer);
  return r;
}

WORD DFILE_ReadNegativeString(DDDFILE* context, LPWSTR* str, DWORD* bytes) {
  if (!str || !bytes) return DDD_ERR_ARG;
  *str = nullptr;
  *bytes = 0;
  WORD n = 0;
  WORD r = local_Read16(context, &n);
  if (r) return r;
  return LOCAL_ReadStrData(context, n, str, bytes);
}

// --- primitives ------------------------------------------------------------------

WORD DFILE_ReadID(DDDFILE* context, WORD* id) { return id ? local_Read16(context, id) : DDD_ERR_ARG; }

WORD DFILE_ReadPOINT(DDDFILE* context, DDD_POINT* point) {
  if (!point) return DDD_ERR_ARG;
  WORD r = local_Read16(context, &point->first);
  if (!r) r = local_Read16(context, &point->second);
  return r;
}

WORD DFILE_ReadImStruct(DDDFILE* context, DDD_IMSTRUCT* im) {
  if (!im) return DDD_ERR_ARG;
  WORD r = local_Read16(context, &im->x);
  if (!r) r = local_Read16(context, &im->y);
  if (!r) r = DFILE_ReadID(context, &im->imageId);
  return r;
}

WORD LOCAL_ReadIndexedTray(DDDFILE* context, DDD_INDEXEDTRAY* tray) {
  WORD r = local_Read16(context, &tray->first);
  if (!r) r = local_Read16(context, &tray->second);
  if (!r) r = local_Read16(context, &tray->third);
  return r;
}

void* LOCAL_AllocDevmodeValue(DWORD bytes) { return kcore_Alloc(bytes ? bytes : 1); }

void DFREE_FreeDevmodeValue(DDD_VALUE* value) {
  if (!value) return;
  if (value->owned) kcore_Free(value->data);
  value->data = nullptr;
  value->owned = FALSE;
  value->size = 0;
}

WORD LOCAL_ReadDEVValue_refer(DDDFILE* context, DDD_VALUE* value) {
  *value = DDD_VALUE{};
  BYTE type = 0;
  WORD size = 0;
  WORD r = local_Read8(context, &type);
  if (!r) r = local_Read16(context, &size);
  if (r) return r;
  value->type = type;
  value->count = 1;
  if (size == 0) return DDD_OK;  // no payload
  switch (type) {
    case DDD_TYPE_BOOL: {
      BYTE b = 0;
      r = local_Read8(context, &b);
      if (r) return r;
      auto* v = static_cast<DWORD*>(LOCAL_AllocDevmodeValue(4));
      if (!v) return DDD_ERR_MEMORY;
      *v = b ? 1u : 0u;
      value->data = v;
      value->size = 4;
      value->owned = TRUE;
      return DDD_OK;
    }
    case DDD_TYPE_STRING: {
      LPWSTR s = nullptr;
      DWORD bytes = 0;
      r = LOCAL_ReadStrData(context, size, &s, &bytes);
      if (r) return r;
      if (bytes > 0xFFFF) {
        kcore_Free(s);
        return DDD_ERR_ARG;
      }
      value->data = s;
      value->size = static_cast<WORD>(bytes);
      value->owned = TRUE;
      return DDD_OK;
    }
    case DDD_TYPE_DWORD: {
      const BYTE* p = LOCAL_ReferFile(context, 4);
      if (!p) return DDD_ERR_ARG;
      value->data = const_cast<BYTE*>(p);
      value->size = 4;
      return DDD_OK;
    }
    default: {
      const BYTE* p = LOCAL_ReferFile(context, size);
      if (!p) return DDD_ERR_ARG;
      value->data = const_cast<BYTE*>(p);
      value->size = size;
      return DDD_OK;
    }
  }
}

WORD DFILE_ReadDEVValue(DDDFILE* context, WORD* type, WORD* size, void** out) {
  if (!type || !size || !out) return DDD_ERR_ARG;
  *out = nullptr;
  DDD_VALUE v;
  WORD r = LOCAL_ReadDEVValue_refer(context, &v);
  if (r) return r;
  if (v.data && !v.owned) {
    void* copy = LOCAL_AllocDevmodeValue(v.size);
    if (!copy) return DDD_ERR_MEMORY;
    std::memcpy(copy, v.data, v.size);
    v.data = copy;
  }
  *type = v.type;
  *size = v.size;
  *out = v.data;
  return DDD_OK;
}

WORD LOCAL_ReadDEVValue_toAnyType(DDDFILE* context, WORD* type, WORD* size, BYTE field[4], LPWSTR* str,
                                  BOOL* owned) {
  std::memset(field, 0, 4);
  *str = nullptr;
  *owned = FALSE;
  DDD_VALUE v;
  WORD r = LOCAL_ReadDEVValue_refer(context, &v);
  if (r) return r;
  *type = v.type;
  *size = v.size;
  if (v.type == DDD_TYPE_STRING) {
    *str = static_cast<LPWSTR>(v.data);
    *owned = v.owned;
    return DDD_OK;
  }
  if (v.size > 4) {  // only strings and payloads of up to 4 bytes fit
    DFREE_FreeDevmodeValue(&v);
    return DDD_ERR_ARG;
  }
  if (v.data) std::memcpy(field, v.data, v.size);
  DFREE_FreeDevmodeValue(&v);
  return DDD_OK;
}

WORD LOCAL_ReadTypeSizeValue(DDDFILE* context, DDD_TSV* tsv) {
  *tsv = DDD_TSV{};
  return LOCAL_ReadDEVValue_toAnyType(context, &tsv->type, &tsv->size, tsv->value, &tsv->string, &tsv->owned);
}

void LOCAL_FreeTSV(DDD_TSV* tsv) {
  if (tsv->owned) kcore_Free(tsv->string);
  tsv->string = nullptr;
  tsv->owned = FALSE;
}

WORD DFILE_ReadITEM(DDDFILE* context, DDD_ITEM* item) {
  if (!item) return DDD_ERR_ARG;
  *item = DDD_ITEM{};
  item->head.kind = DDD_KIND_ITEM;
  item->head.file = context;
  if (context) {
    item->head.location = context->location;
    item->head.formatVersion = context->formatVersion;
  }
  WORD r = local_Read16(context, &item->ddmId);
  if (!r) r = local_Read8(context, &item->op);
  if (!r) r = local_Read16(context, &item->count);
  if (!r) r = LOCAL_ReadDEVValue_refer(context, &item->value);
  if (r) return r;
  item->hasValue = item->value.data != nullptr;
  return DDD_OK;
}

// --- lists -------------------------------------------------------------------------

namespace {
struct ListKind {
  WORD kind;
  DWORD elementSize;  // in memory
  DWORD minStored;    // least bytes of one stored element
};
constexpr ListKind kListKinds[] = {
    {DDD_KIND_ID, sizeof(WORD), 2},
    {DDD_KIND_ITEM, sizeof(DDD_ITEM), 8},
    {DDD_KIND_IMSTRUCT, sizeof(DDD_IMSTRUCT), 6},
    {DDD_KIND_STRING, sizeof(DDD_STRING), 2},
    {DDD_KIND_ITEM_CONNECTIVE, sizeof(DDD_ITEM), 9},
    {DDD_KIND_INDEXEDTRAY, sizeof(DDD_INDEXEDTRAY), 6},
    {DDD_KIND_TSV, sizeof(DDD_TSV), 3},
};
const ListKind* FindListKind(WORD kind) {
  for (const auto& k : kListKinds)
    if (k.kind == kind) return &k;
  return nullptr;
}

WORD ReadElement(WORD kind, DDDFILE* c, BYTE* at) {
  switch (kind) {
    case DDD_KIND_ID:
      return DFILE_ReadID(c, reinterpret_cast<WORD*>(at));
    case DDD_KIND_ITEM:
      return DFILE_ReadITEM(c, reinterpret_cast<DDD_ITEM*>(at));
    case DDD_KIND_ITEM_CONNECTIVE: {
      auto* item = reinterpret_cast<DDD_ITEM*>(at);
      WORD r = DFILE_ReadITEM(c, item);
      item->head.kind = DDD_KIND_ITEM_CONNECTIVE;
      if (!r) r = local_Read8(c, &item->connective);
      return r;
    }
    case DDD_KIND_IMSTRUCT:
      return DFILE_ReadImStruct(c, reinterpret_cast<DDD_IMSTRUCT*>(at));
    case DDD_KIND_STRING: {
      auto* s = reinterpret_cast<DDD_STRING*>(at);
      return DFILE_ReadNegativeString(c, &s->str, &s->bytes);
    }
    case DDD_KIND_INDEXEDTRAY:
      return LOCAL_ReadIndexedTray(c, reinterpret_cast<DDD_INDEXEDTRAY*>(at));
    case DDD_KIND_TSV:
      return LOCAL_ReadTypeSizeValue(c, reinterpret_cast<DDD_TSV*>(at));
    default:
      return DDD_ERR_ARG;
  }
}

void FreeElement(WORD kind, BYTE* at) {
  switch (kind) {
    case DDD_KIND_ITEM:
    case DDD_KIND_ITEM_CONNECTIVE:
      DFREE_FreeDevmodeValue(&reinterpret_cast<DDD_ITEM*>(at)->value);
      break;
    case DDD_KIND_STRING: {
      auto* s = reinterpret_cast<DDD_STRING*>(at);
      kcore_Free(s->str);
      s->str = nullptr;
      break;
    }
    case DDD_KIND_TSV:
      LOCAL_FreeTSV(reinterpret_cast<DDD_TSV*>(at));
      break;
    default:
      break;
  }
}
}  // namespace

void LOCAL_FreeList(WORD elementKind, WORD count, void* array) {
  const ListKind* k = FindListKind(elementKind);
  if (!array) return;
  if (k)
    for (WORD i = 0; i < count; ++i) FreeElement(elementKind, static_cast<BYTE*>(array) + i * k->elementSize);
  kcore_Free(array);
}

WORD LOCAL_ReadList(WORD elementKind, DDDFILE* context, WORD* count, void** array) {
  if (!count || !array) return DDD_ERR_ARG;
  *count = 0;
  *array = nullptr;
  const ListKind* k = FindListKind(elementKind);
  if (!k) return DDD_ERR_ARG;
  DWORD listBytes = 0;
  WORD n = 0;
  WORD r = local_Read32(context, &listBytes);
  if (r) return r;
  DWORD start = context->cursor;
  // The byte length covers the count and the elements, and lies in the file.
  if (listBytes < 2 || listBytes > local_Remaining(context)) return DDD_ERR_ARG;
  r = local_Read16(context, &n);
  if (r) return r;
  if (static_cast<unsigned long long>(n) * k->minStored > listBytes - 2) return DDD_ERR_ARG;
  BYTE* elements = nullptr;
  if (n > 0) {
    elements = static_cast<BYTE*>(kcore_Alloc(static_cast<SIZE_T>(n) * k->elementSize));
    if (!elements) return DDD_ERR_MEMORY;
    for (WORD i = 0; i < n; ++i) {
      r = ReadElement(elementKind, context, elements + static_cast<SIZE_T>(i) * k->elementSize);
      if (r) {
        LOCAL_FreeList(elementKind, static_cast<WORD>(i + 1), elements);
        return r;
      }
    }
  }
  if (context->cursor - start != listBytes) {
    LOCAL_FreeList(elementKind, n, elements);
    return DDD_ERR_ARG;
  }
  *count = n;
  *array = elements;
  return DDD_OK;
}

WORD LOCAL_SkipList(DDDFILE* context) {
  DWORD listBytes = 0;
  WORD r = local_Read32(context, &listBytes);
  if (!r && listBytes < 2) r = DDD_ERR_ARG;
  if (!r) r = local_Skip(context, listBytes);
  return r;
}

// --- grouped values -------------------------------------------------------------------

WORD DFILE_ExpandGroupedDevmodeValues(DDDFILE* context, DDD_VALUE* value) {
  if (!context || !value) return DDD_ERR_ARG;
  if (value->type != DDD_TYPE_GROUPED || !value->data) return DDD_OK;
  if (value->size < 2 || !IsOpen(context)) return DDD_ERR_ARG;
  WORD position = kp_LoadU16(static_cast<const BYTE*>(value->data));

  // Work on copies, so that no caller's cursor moves.
  DDDFILE table = *context;
  WORD r = DFILE_GotoDataOffsetByIndex(&table, DDD_CAT_GROUPED, position);
  if (r) return r;
  const BYTE* e = LOCAL_ReferFile(&table, DDD_ENTRY_SIZE);
  if (!e) return DDD_ERR_ARG;
  DDDFILE* holder = nullptr;
  if (e[DDD_ENTRY_LOCATION_OFFSET] == DDD_LOC_MAIN)
    holder = MainOf(context);
  else if (context->location != DDD_LOC_MAIN)
    holder = context;
  if (!IsOpen(holder)) return DDD_ERR_ARG;
  DDDFILE file = *holder;
  r = local_SeekAbs(&file, kp_LoadU32(e + DDD_ENTRY_DATA_OFFSET));
  DDD_GROUPED* g = nullptr;
  if (!r) r = LOCAL_GetGroupedDevmodeValues(&file, &g);
  if (r) return r;

  void* data = const_cast<BYTE*>(g->data);
  BOOL owned = FALSE;
  WORD size = g->elemSize;
  if (g->elemType == DDD_TYPE_BOOL || g->elemType == DDD_TYPE_DWORD) {
    WORD need = g->elemType == DDD_TYPE_BOOL ? 1 : 4;
    if (g->elemSize < need) {
      void* p = g;
      ddd_Free(&p, DDD_CAT_GROUPED);
      return DDD_ERR_ARG;
    }
    auto* words = static_cast<DWORD*>(LOCAL_AllocDevmodeValue(static_cast<DWORD>(g->elemCount) * 4));
    if (!words) {
      void* p = g;
      ddd_Free(&p, DDD_CAT_GROUPED);
      return DDD_ERR_MEMORY;
    }
    for (WORD i = 0; i < g->elemCount; ++i) {
      const BYTE* el = g->data + static_cast<SIZE_T>(i) * g->elemSize;
      words[i] = g->elemType == DDD_TYPE_BOOL ? (el[0] ? 1u : 0u) : kp_LoadU32(el);
    }
    data = words;
    owned = TRUE;
    size = 4;
  }
  DFREE_FreeDevmodeValue(value);
  value->type = g->elemType;
  value->count = g->elemCount;
  value->size = size;
  value->data = data;
  value->owned = owned;
  void* p = g;
  ddd_Free(&p, DDD_CAT_GROUPED);
  return DDD_OK;
}
