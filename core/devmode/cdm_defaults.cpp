// Default settings member by member, the default-setting handlers of the
// member descriptors, the member checks, and the user-defined paper slots.
// The header face name's default differs between the builds
// (core/um/cdm_defaults_um.cpp, core/km/cdm_defaults_km.cpp).
#include <atomic>
#include <cstring>

#include "cdm_handlers.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/cdm_values.h"
#include "kestrel/core/ddm_layout.h"
#include "kestrel/core/dma_core.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/preconfig.h"
#include "kestrel/core/zanlib.h"

#include "cdm_defaults_modes.h"

using namespace cdm_defaults_modes;

namespace cdm_defaults_modes {

std::atomic<CdmHeaderFontFn> g_headerFont{nullptr};

}  // namespace cdm_defaults_modes

namespace {

// A new zero-filled block of `bytes` holding at most `maxChars` characters
// of text (null text: empty).
LPWSTR NewText(LPCWSTR text, DWORD bytes, DWORD maxChars) {
  auto* out = static_cast<LPWSTR>(kcore_Alloc(bytes));
  if (!out) return nullptr;
  kp_WideCopy(out, text, maxChars);
  return out;
}

bool IsNumeric(WORD type) { return (type >= 1 && type <= 5) || type == 8 || type == 10; }

WORD MemberType(WORD ddmId) {
  const DDM_LAYOUT* l = ddm_FindLayout(ddmId, nullptr, nullptr);
  if (!l) return 0;
  return l->reported ? l->reported : l->type;
}

}  // namespace

namespace cdm_defaults_modes {

// Operation 1 answered with a string block.
WORD AnswerText(CDM_MEMBER_ARGS* args, LPCWSTR text, DWORD bytes, DWORD maxChars) {
  LPWSTR block = NewText(text, bytes, maxChars);
  if (!block) return CDM_RESULT_REFUSED;
  cdmSetParamDefaultData(reinterpret_cast<ULONG_PTR>(block), DDM_TYPE_STRING, bytes, args);
  return CDM_RESULT_DONE;
}

}  // namespace cdm_defaults_modes

namespace {

// A check (2, on the stored value) or an allowed-value test (16, on
// args->value) by a predicate; every other operation to the data.
template <typename Pred>
WORD CheckBy(WORD operation, CDM_MEMBER_ARGS* args, WORD operations, Pred ok) {
  if (!args) return CDM_RESULT_REFUSED;
  if (!(operation & operations)) return CDM_RESULT_DDD;
  LONG v = 0;
  if (operation == CDM_OP_CHECK) {
    if (!ddm_GetNumber(args->ddmId, args->devmode, args->printerData, &v)) return CDM_RESULT_REFUSED;
  } else {
    v = static_cast<LONG>(static_cast<DWORD>(args->value));
  }
  return ok(operation, v) ? CDM_RESULT_DONE : CDM_RESULT_REFUSED;
}

// 257/513: any ICM value; 258/514: the list; the platform unreadable: none.
template <typename Pred>
WORD IcmCheck(WORD operation, CDM_MEMBER_ARGS* args, Pred inList) {
  return CheckBy(operation, args, CDM_OP_CHECK | CDM_OP_ALLOWED, [&](WORD, LONG v) {
    WORD os = 0;
    if (osVer_GetOS(&os) != 1) return false;
    if (os == 257 || os == 513) return true;
    return inList(v);
  });
}

}  // namespace

// ---- Handlers ----------------------------------------------------------------------
WORD cdmHandler_DeviceName(WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  if (operation != CDM_OP_DEFAULT) return CDM_RESULT_DDD;
  return AnswerText(args, args->printerName, CCHDEVICENAME * sizeof(WCHAR), CCHDEVICENAME - 1);
}

WORD cdmHandler_Fields(WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  if (operation != CDM_OP_DEFAULT) return CDM_RESULT_DDD;
  DWORD fields = 0;
  if (!cdmGetFields(args->ddd, &fields, CDM_OP_DEFAULT)) return CDM_RESULT_REFUSED;
  cdmSetParamDefaultData(fields, DDM_TYPE_DWORD, 0, args);
  return CDM_RESULT_DONE;
}

WORD cdmHandler_PaperLengthWidth(WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  if (operation != CDM_OP_DEFAULT) return CDM_RESULT_DDD;
  WORD width = 0, length = 0, status = 0;
  if (!cdddGetDefaultPaperSize(args->ddd, DDM_PAPERSIZE, &width, &length, &status)) return CDM_RESULT_REFUSED;
  cdmSetParamDefaultData(args->ddmId == DDM_PAPERLENGTH ? length : width, DDM_TYPE_SHORT, 0, args);
  return CDM_RESULT_DONE;
}

WORD cdmHandler_Scale(WORD operation, CDM_MEMBER_ARGS* args) {
  return CheckBy(operation, args, CDM_OP_CHECK | CDM_OP_ALLOWED, [](WORD, LONG v) { return v > 0; });
}

WORD cdmHandler_Copies(WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  if (operation == CDM_OP_DEFAULT) {
    cdmSetParamDefaultData(1, DDM_TYPE_SHORT, 0, args);
    return CDM_RESULT_DONE;
  }
  if (operation == CDM_OP_LISTINFO || operation == CDM_OP_LISTITEM) return CDM_RESULT_NOMEMBER;
  return CheckBy(operation, args, CDM_OP_CHECK | CDM_OP_ALLOWED, [&](WORD op, LONG v) {
    if (op == CDM_OP_ALLOWED) return v > 0;
    // Unsigned: a negative count is far above every maximum.
    DWORD copies = static_cast<WORD>(v);
    return copies >= 1 && copies <= cdddGetMaxCopies(args->ddd);
  });
}

WORD cdmHandler_DefaultSource(WORD operation, CDM_MEMBER_ARGS* args) {
  return CheckBy(operation, args, CDM_OP_ALLOWED, [](WORD, LONG v) { return v > 0; });
}

WORD cdmHandler_ColorDefault(WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  if (operation != CDM_OP_DEFAULT) return cdmHandler_Color(operation, args);
  LONG both = 1;
  for (WORD id : {DDM_COLORMODE, DDM_COLORCAPABLE}) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR v = 0;
    LONG r = cdmGetDefaultData(args->ddd, id, &type, &size, &v);
    if (r == -1) return CDM_RESULT_REFUSED;
    if (r != 1 || cdmDmConvertINT(type, &v) != 1) both = 0;
    cdmDmIdDefaultDataFree(id, v, type);
  }
  cdmSetParamDefaultData(both ? DMCOLOR_MONOCHROME : DMCOLOR_COLOR, DDM_TYPE_SHORT, 0, args);
  return CDM_RESULT_DONE;
}

WORD cdmHandler_Duplex(WORD operation, CDM_MEMBER_ARGS* args) {
  return CheckBy(operation, args, CDM_OP_ALLOWED, [](WORD, LONG v) { return v >= DMDUP_SIMPLEX && v <= DMDUP_HORIZONTAL; });
}
WORD cdmHandler_TTOption(WORD operation, CDM_MEMBER_ARGS* args) {
  return CheckBy(operation, args, CDM_OP_CHECK | CDM_OP_ALLOWED, [](WORD, LONG v) { return v >= DMTT_BITMAP && v <= DMTT_DOWNLOAD_OUTLINE; });
}
WORD cdmHandler_Collate(WORD operation, CDM_MEMBER_ARGS* args) {
  return CheckBy(operation, args, CDM_OP_CHECK | CDM_OP_ALLOWED, [](WORD, LONG v) { return v == DMCOLLATE_FALSE || v == DMCOLLATE_TRUE; });
}

WORD cdmHandler_FormName(WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  if (operation != CDM_OP_DEFAULT) return CDM_RESULT_DDD;
  WORD status = 0;
  LPWSTR name = cdddGetDefaultPaperName(args->ddd, DDM_PAPERSIZE, &status);
  if (!name) return CDM_RESULT_REFUSED;
  WORD r = AnswerText(args, name, CCHFORMNAME * sizeof(WCHAR), CCHFORMNAME - 1);
  kcore_Free(name);
  return r;
}

WORD cdmHandler_IcmMethod(WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  if (operation == CDM_OP_DEFAULT) {
    cdmSetParamDefaultData(1, DDM_TYPE_DWORD, 0, args);
    return CDM_RESULT_DONE;
  }
  return IcmCheck(operation, args, [](LONG v) { return v >= DMICMMETHOD_NONE && v <= DMICMMETHOD_DEVICE; });
}
WORD cdmHandler_IcmIntent(WORD operation, CDM_MEMBER_ARGS* args) {
  return IcmCheck(operation, args, [](LONG v) { return v >= DMICM_SATURATE && v <= DMICM_COLORIMETRIC; });
}

WORD cdmHandler_ModelName(WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  if (operation != CDM_OP_DEFAULT && operation != CDM_OP_CHECK) return CDM_RESULT_DDD;
  WORD status = 0;
  LPWSTR model = cdddGetModelName(args->ddd, &status);
  if (!model) return CDM_RESULT_REFUSED;
  WORD r = CDM_RESULT_REFUSED;
  if (operation == CDM_OP_DEFAULT) {
    DWORD chars = kp_WideLength(model);
    r = AnswerText(args, model, (chars + 1) * sizeof(WCHAR), chars);
  } else {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR v = 0;
    WORD location = 0;
    // Read through the access core (kernel rules answer the address); the
    // core never serves a string without its NUL inside the member.
    if (dmaCore_GetValue(DMA_RULES_KERNEL, DDM_MODELNAME, args->devmode, args->printerData, &type, &size, &v, &location) ==
            0 &&
        v && kp_WideEqual(reinterpret_cast<LPCWSTR>(v), model))
      r = CDM_RESULT_DONE;
  }
  kcore_Free(model);
  return r;
}

WORD cdmHandler_StampName(WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  if (operation != CDM_OP_DEFAULT) return CDM_RESULT_NOMEMBER;  // the setting lists are built elsewhere
  return AnswerText(args, u"", 66, 0);
}
WORD cdmHandler_StampFaceName(WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  if (operation != CDM_OP_DEFAULT) return CDM_RESULT_NOMEMBER;
  return AnswerText(args, u"", 64, 0);
}

WORD cdmHandler_HeaderLogFont(WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  if (operation != CDM_OP_DEFAULT) return CDM_RESULT_DDD;
  CdmHeaderFontFn provider = g_headerFont.load();
  if (!provider) return CDM_RESULT_DDD;
  auto* font = static_cast<LOGFONTW*>(kcore_Alloc(sizeof(LOGFONTW)));
  if (!font) return CDM_RESULT_REFUSED;
  provider(font);
  cdmSetParamDefaultData(reinterpret_cast<ULONG_PTR>(font), DDM_TYPE_FONT, 0, args);
  return CDM_RESULT_DONE;
}

WORD cdmHandler_DefineSize(WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  if (operation != CDM_OP_DEFAULT) return CDM_RESULT_DDD;
  WORD width = 0, length = 0, status = 0;
  if (!cdddGetPaperSize(args->ddd, DDM_PAPERSIZE, DDM_PAPERLENGTH, &width, &length, nullptr, nullptr, &status)) return CDM_RESULT_REFUSED;
  cdmSetParamDefaultData(args->ddmId < DDM_DEFINELENGTH_FIRST ? width : length, DDM_TYPE_WORD, 0, args);
  return CDM_RESULT_DONE;
}

WORD cdmHandler_DefineName(WORD operation, CDM_MEMBER_ARGS* args) {
  if (!args) return CDM_RESULT_REFUSED;
  if (operation != CDM_OP_DEFAULT) return CDM_RESULT_DDD;
  WCHAR name[15] = {};
  if (!zanLib_GetUsrDefPap_DefaultName(static_cast<WORD>(args->ddmId - DDM_DEFINENAME_FIRST), name, 15)) return CDM_RESULT_REFUSED;
  return AnswerText(args, name, 30, 14);
}

// ---- Defaults ---------------------------------------------------------------------
void cdm_SetHeaderFontProvider(CdmHeaderFontFn provider) { g_headerFont.store(provider); }

void cdmSetParamDefaultData(ULONG_PTR value, WORD type, DWORD size, CDM_MEMBER_ARGS* args) {
  if (!args) return;
  args->value = value;
  args->type = type;
  args->size = (type == DDM_TYPE_STRING && size != 0) ? size : cdmSetParamSize(&args->value, type, static_cast<DWORD>(-1));
}

namespace {

// Whether the entry's default, when found, is a block of the descriptor side
// (static or handler) rather than the reader's.
bool FromDescriptor(const CDM_MEMBER_ENTRY* entry) {
  const CDM_MEMBER_DESC* d = entry->desc;
  return d && (d->operations & CDM_OP_DEFAULT) &&
         ((d->staticDefault && (d->staticDefault->flags & 1)) || d->handler);
}

}  // namespace

BOOL cdmGetDefaultDataInfo(HCDDD handle, void* printerData, LPCWSTR printerName, const CDM_MEMBER_ENTRY* entry,
                           ULONG_PTR* value, WORD* type, DWORD* size, WORD* status) {
  WORD st = CDM_DEFAULT_FAILED;
  if (value) *value = 0;
  if (!entry || !value || !type || !size) {
    if (status) *status = st;
    return 0;
  }
  WORD id = static_cast<WORD>(entry->ddmId);
  WORD memberType = MemberType(id);
  CDM_MEMBER_ARGS args{};
  args.ddmId = id;
  args.printerData = printerData;
  args.ddd = handle;
  args.printerName = printerName;
  WORD r = cdmDispatchMember(id, CDM_OP_DEFAULT, &args);
  bool found = false;
  *type = 0;
  *size = 0;
  if (r == CDM_RESULT_DONE) {
    const CDM_MEMBER_DESC* d = entry->desc;
    if (d && d->staticDefault && (d->staticDefault->flags & 1) && (d->operations & CDM_OP_DEFAULT)) {
      const CDM_STATIC_DEFAULT* s = d->staticDefault;
      if (s->type == DDM_TYPE_STRING) {
        auto text = reinterpret_cast<LPCWSTR>(s->value);
        DWORD chars = kp_WideLength(text);
        LPWSTR block = NewText(text, (chars + 1) * sizeof(WCHAR), chars);
        if (!block) {
          if (status) *status = CDM_DEFAULT_NOMEM;
          return 0;
        }
        cdmSetParamDefaultData(reinterpret_cast<ULONG_PTR>(block), s->type, 0, &args);
      } else {
        cdmSetParamDefaultData(s->value, s->type, 0, &args);
      }
    }
    // A handler that answers a number without naming its type answers it in
    // the member's own type.
    if (args.type == 0) cdmSetParamDefaultData(args.value, memberType, 0, &args);
    *value = args.value;
    *type = args.type;
    *size = args.size;
    found = true;
    st = CDM_DEFAULT_FOUND;
  } else if (r == CDM_RESULT_DDD) {
    ULONG_PTR v = 0;
    WORD t = 0, dst = CDDD_ERR;
    if (cdddGetDefaultDataInfo(handle, id, &v, &t, &dst)) {
      if (IsNumeric(t) && IsNumeric(memberType)) t = memberType;
      *value = v;
      *type = t;
      *size = cdmSetParamSize(value, t, static_cast<DWORD>(-1));
      found = true;
      st = CDM_DEFAULT_FOUND;
    } else {
      st = dst == CDDD_NOTFOUND ? CDM_DEFAULT_NONE : (dst == CDDD_NOMEM ? CDM_DEFAULT_NOMEM : CDM_DEFAULT_FAILED);
    }
  }
  // The pre-configuration replaces whatever was found (numeric members).
  if (handle && handle->preConfig && IsNumeric(memberType) && (found || st == CDM_DEFAULT_NONE)) {
    ULONG_PTR configured = 0;
    if (PreConfig_GetDefaultData(id, handle->preConfig, &configured, memberType)) {
      if (found) cdmGetDefaultDataFree(entry, *value, *type);
      *value = configured;
      *type = memberType;
      *size = cdmSetParamSize(value, memberType, static_cast<DWORD>(-1));
      found = true;
      st = CDM_DEFAULT_FOUND;
    }
  }
  if (status) *status = st;
  return found ? 1 : 0;
}

BOOL cdmGetDefaultDataFree(const CDM_MEMBER_ENTRY* entry, ULONG_PTR value, WORD type) {
  if (!entry) return 0;
  if (type != DDM_TYPE_STRING && type != DDM_TYPE_FONT) return 1;
  if (FromDescriptor(entry))
    kcore_Free(reinterpret_cast<void*>(value));
  else
    cdddGetDefaultDataFree(value, type);
  return 1;
}

BOOL cdmDmIdDefaultDataFree(WORD ddmId, ULONG_PTR value, WORD type) {
  return cdmGetDefaultDataFree(cdmSerchDmDataFuncTbl(ddmId), value, type);
}

LONG cdmGetDefaultData(HCDDD handle, WORD ddmId, WORD* type, DWORD* size, ULONG_PTR* value) {
  const CDM_MEMBER_ENTRY* entry = cdmSerchDmDataFuncTbl(ddmId);
  if (!entry || !type || !size || !value) return -1;
  WORD status = 0;
  if (cdmGetDefaultDataInfo(handle, nullptr, nullptr, entry, value, type, size, &status)) return 1;
  return status == CDM_DEFAULT_NONE ? 2 : -1;
}

BOOL cdmSetDefaultData(HCDDD handle, void* devmode, WORD ddmId, void* printerData) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR value = 0;
  if (cdmGetDefaultData(handle, ddmId, &type, &size, &value) != 1) return 1;
  BOOL r = cdm_SetValue(ddmId, devmode, printerData, size, type, &value);
  cdmDmIdDefaultDataFree(ddmId, value, type);
  return r;
}

BOOL cdm_SetDefaultDevmode(HCDDD handle, void* devmode, void* printerData, LPCWSTR printerName) {
  if (devmode) std::memset(devmode, 0, NRV_DEVMODE_SIZE_FULL);
  if (printerData) std::memset(printerData, 0, NRV_PRINTERDATA_SIZE);
  BOOL allSet = 1;
  for (WORD group = 0; group < 12; ++group) {
    const CDM_MEMBER_ENTRY* table = nullptr;
    WORD count = 0, kind = 0;
    if (!local_GetCdmDmDataFuncTbl(group, &table, &count, &kind)) return 0;
    if (kind == DDM_KIND_PRINTERDATA ? !printerData : !devmode) continue;
    for (WORD i = 0; i < count; ++i) {
      ULONG_PTR value = 0;
      WORD type = 0, status = 0;
      DWORD size = 0;
      if (!cdmGetDefaultDataInfo(handle, printerData, printerName, &table[i], &value, &type, &size, &status)) {
        if (status == CDM_DEFAULT_NONE) continue;
        allSet = 0;
        break;
      }
      BOOL written = cdm_SetValue(static_cast<WORD>(table[i].ddmId), devmode, printerData, size, type, &value);
      BOOL freed = cdmGetDefaultDataFree(&table[i], value, type);
      if (!written || !freed) {
        allSet = 0;
        break;
      }
    }
  }
  // dmTTOption has no default of its own: it follows the TrueType handling
  // (member 292, the model's option or the pre-configuration's font_subst).
  if (devmode && !cdmConvertTTOptionAndFontType(devmode, printerData, DDM_TRUETYPE)) allSet = 0;
  return allSet;
}

// ---- Field mask -------------------------------------------------------------------
BOOL cdmGetFieldsFor(WORD platform, WORD icmVersion, WORD operationBits, DWORD* fields) {
  struct FieldRow {
    DWORD bit;
    WORD column[4];
  };
  // The ICM, media and dither rows carry this driver's own bits (KDM_FIELD_*).
  static constexpr FieldRow kRows[] = {
      {DM_ORIENTATION, {3, 3, 3, 3}},       {DM_PAPERSIZE, {3, 3, 3, 3}},        {DM_SCALE, {3, 3, 3, 3}},
      {DM_COPIES, {3, 3, 3, 3}},            {DM_DEFAULTSOURCE, {3, 3, 3, 3}},    {DM_PRINTQUALITY, {3, 3, 3, 3}},
      {DM_COLOR, {3, 3, 3, 3}},             {DM_DUPLEX, {3, 3, 3, 3}},           {DM_YRESOLUTION, {3, 3, 3, 3}},
      {DM_TTOPTION, {3, 3, 3, 3}},          {DM_COLLATE, {3, 3, 3, 3}},          {DM_FORMNAME, {0, 0, 3, 3}},
      {KDM_FIELD_ICMMETHOD, {7, 7, 7, 7}},  {KDM_FIELD_ICMINTENT, {7, 7, 7, 7}}, {KDM_FIELD_MEDIATYPE, {7, 7, 7, 7}},
      {KDM_FIELD_DITHERTYPE, {7, 7, 7, 7}},
  };
  if (!fields) return 0;
  int column;
  switch (platform) {
    case 257: column = 0; break;
    case 258: column = 1; break;
    case 513: column = 2; break;
    case 514: column = 3; break;
    default: return 0;
  }
  bool icmUsable = (platform == 258 || platform == 514) && icmVersion >= 1 && icmVersion <= 65534;
  DWORD out = 0;
  for (const FieldRow& row : kRows) {
    WORD flag = row.column[column];
    if (!(flag & operationBits)) continue;
    if ((flag & 4) && !icmUsable) continue;
    out |= row.bit;
  }
  *fields = out;
  return 1;
}

BOOL cdmGetFields(HCDDD handle, DWORD* fields, WORD operationBits) {
  WORD os = 0;
  if (osVer_GetOS(&os) != 1) return 0;
  return cdmGetFieldsFor(os, cdddGetICMVersion(handle), operationBits, fields);
}

// ---- Checks -----------------------------------------------------------------------
BOOL cdmCheckData(HCDDD handle, WORD ddmId, void* devmode, void* printerData, WORD operation) {
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR value = 0;
  if (ddm_GetValue(ddmId, devmode, printerData, &type, &size, &value) != 0) return 0;
  CDM_MEMBER_ARGS args{};
  args.ddmId = ddmId;
  args.devmode = devmode;
  args.printerData = printerData;
  args.ddd = handle;
  args.value = value;
  WORD r = cdmDispatchMember(ddmId, operation, &args);
  if (r == CDM_RESULT_DONE) return 1;
  if (r != CDM_RESULT_DDD) return 0;
  DDD_VALUE v{};
  v.type = type;
  v.count = 1;
  if (type == DDM_TYPE_STRING || type == DDM_TYPE_FONT) {
    // The value access answers strings and fonts as an offset in a record
    // under the module rules; checks read them through the kernel rules.
    ULONG_PTR address = 0;
    WORD location = 0;
    if (dmaCore_GetValue(DMA_RULES_KERNEL, ddmId, devmode, printerData, &type, &size, &address, &location) != 0)
      return 0;
    v.data = reinterpret_cast<void*>(address);
  } else {
    v.data = &value;
  }
  v.size = static_cast<WORD>(size);
  return cdddSearchItemData(handle, ddmId, &v) ? 1 : 0;
}

BOOL cdm_IsDevmode(HCDDD handle, void* devmode, void* printerData) {
  if (!devmode) return 0;
  for (WORD id : {DDM_SPECVERSION, DDM_SIZE, DDM_DRIVEREXTRA, DDM_PRIVATE_DRIVERVERSION, DDM_MODELNAME})
    if (!cdmCheckData(handle, id, devmode, printerData, CDM_OP_CHECK)) return 0;
  return 1;
}

BOOL cdmPublicDataCheck(HCDDD handle, void* devmode, void* printerData, WORD ddmId, WORD operation) {
  static constexpr WORD kStandard[] = {DDM_COPIES,   DDM_DEFAULTSOURCE, DDM_DUPLEX, DDM_ORIENTATION, DDM_TTOPTION,
                                       DDM_ICMMETHOD, DDM_COLOR,         DDM_SCALE,  DDM_COLLATE,     DDM_ICMINTENT};
  for (WORD id : kStandard)
    if (id == ddmId) return cdmCheckData(handle, ddmId, devmode, printerData, operation);
  return 1;
}

// ---- User-defined paper slots --------------------------------------------------------
WORD cdmGetMaxDefineNum(void) { return CDM_DEFINE_COUNT; }

namespace {
bool SameId(WORD a, WORD b, WORD type) { return type == DDM_TYPE_BYTE ? (a & 0xFF) == (b & 0xFF) : a == b; }
}  // namespace

BOOL cdmSearchDefineId(WORD paperId, WORD type, WORD* widthId, WORD* lengthId, WORD* nameId, LPWSTR name,
                       DWORD nameChars) {
  for (WORD slot = 0; slot < CDM_DEFINE_COUNT; ++slot) {
    if (!SameId(zanLib_GetUsrDefPapID(slot), paperId, type)) continue;
    if (widthId) *widthId = static_cast<WORD>(DDM_DEFINEWIDTH_FIRST + slot);
    if (lengthId) *lengthId = static_cast<WORD>(DDM_DEFINELENGTH_FIRST + slot);
    if (nameId) *nameId = static_cast<WORD>(DDM_DEFINENAME_FIRST + slot);
    if (name && nameChars) zanLib_GetUsrDefPap_DefaultName(slot, name, nameChars);
    return 1;
  }
  return 0;
}

BOOL cdmSearchDefineInfo(void* devmode, void* printerData, WORD paperId, WORD type, WORD* width, WORD* length,
                         LPWSTR name, DWORD nameChars) {
  WORD widthId = 0, lengthId = 0, nameId = 0;
  if (!cdmSearchDefineId(paperId, type, &widthId, &lengthId, &nameId, nullptr, 0)) return 0;
  WORD t = 0;
  DWORD size = 0;
  ULONG_PTR v = 0;
  if (ddm_GetValue(widthId, devmode, printerData, &t, &size, &v) != 0) return 0;
  if (width) *width = static_cast<WORD>(v);
  if (ddm_GetValue(lengthId, devmode, printerData, &t, &size, &v) != 0) return 0;
  if (length) *length = static_cast<WORD>(v);
  ULONG_PTR address = 0;
  WORD location = 0;
  if (dmaCore_GetValue(DMA_RULES_KERNEL, nameId, devmode, printerData, &t, &size, &address, &location) != 0) return 0;
  if (name && nameChars) {
    auto text = reinterpret_cast<LPCWSTR>(address);
    name[kp_WideCopy(name, text, nameChars - 1)] = 0;
  }
  return 1;
}
