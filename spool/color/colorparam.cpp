// The job's colour parameters (see kestrel/spool/colorconv.h): the blocks
// built from the devmode at the conversion's start, the ICC box, the
// outside colour library, and the text-and-graphics conversion that uses
// them.
//
// Decisions:
//  - White-point orders 4 and 5 and gamma orders 6 to 9 pass the range test
//    but name no table entry: they build no block, as the tables' zero
//    entries build a block that copies (no white-point correction either
//    way).
//  - Profile names (DDM 1832, 1833): a name with a drive ("X:") or network
//    ("\\server") prefix is a full path and is taken as it stands; any other
//    name lies in the system colour folder (<system directory>\spool\drivers
//    \color), where Windows installs profiles.
//  - Cancel at the ICC box ends the job: the user declined to print without
//    the colour correction asked for, and a failed start of the conversion
//    ends the job. OK goes on without that profile, as does any other
//    creation failure (settings that cannot be read, no library).
//  - Two numberings of the object kinds meet here: the colour adjustments'
//    (DDM 273: bit 0 text, bit 1 graphics, bit 2 images; the triples 275,
//    276, 277 and on in the same order; the grey pair 1326 text, 1327
//    graphics) and the renderer's object kind on SetColorSpace (attribute
//    254: 0 graphics, 1 text, 2 image), which picks the conversion mode
//    (graphics 1, text 0) and so the DDM 454/455 reads. The blocks are
//    built by the adjustments' numbering and served by the object kind:
//    text objects take the first triple's block, graphics the second's.
//  - The text-and-graphics conversion switch of the job context has no
//    setter on this side; no switch is kept, so the step mask always
//    follows the settings.
#include <cstring>

#include "../seams.h"
#include "kestrel/core/cddd.h"
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddd.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/logout.h"
#include "kestrel/core/zanlib.h"
#include "kestrel/spool/colorconv.h"
#include "kplatform/user32_window.h"
#include "kplatform/wide_text.h"

const char* const kNieFunctionNames[7] = {"NIE_LoadNIE32",   "NIE_FreeNIE32",         "NIE_CreateParam_Begin32",
                                          "NIE_CreateParam32", "NIE_CreateParam_End32", "NIE_DeleteParam32",
                                          "NIE_ColorConvert32"};

namespace {

constexpr int kWhitePoints[4] = {5000, 6500, 9300, 0};  // by DDM 287
constexpr int kGammaCodes[6] = {10, 14, 18, 22, 26, 0};  // by DDM 288
constexpr LONG kWhitePointOrders = 6;                    // DDM 287 below this passes the range test
constexpr LONG kGammaOrders = 10;                        // DDM 288 likewise

constexpr LONG kOutputMono = 1;       // DDM 270: black-and-white output
constexpr LONG kMatchingWpGm = 1;     // DDM 286
constexpr LONG kMatchingProfiles = 2;
constexpr UINT kStrIccBox = 1;        // resource string: the profile cannot be used ("%s" its name)
constexpr int kIccBoxChars = 512;
constexpr char16_t kIccBoxBuiltIn[] = u"ICC Profile cannot be used. \nDocuments will be printed without color correction.";
constexpr char16_t kColorFolder[] = u"\\spool\\drivers\\color\\";

// The id of value j (0 brightness, 1 chroma, 2 contrast) of an adjustment
// group: 0 common, 1-3 kinds 0-2.
WORD AdjustId(int group, int j) {
  return static_cast<WORD>(DDM_COLORADJUST_FIRST + DDM_COLORADJUST_OBJECTS * j + group);
}

bool ReadTriple(BYTE* devmode, BYTE* printerData, int group, LONG v[3]) {
  for (int j = 0; j < 3; ++j) {
    if (!ddm_GetNumber(AdjustId(group, j), devmode, printerData, &v[j])) return false;
  }
  return true;
}

// The wide string of a string member; empty when absent.
void ReadName(BYTE* devmode, BYTE* printerData, WORD id, WCHAR (&out)[MAX_PATH]) {
  out[0] = 0;
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR value = 0;
  if (ddm_GetValue(id, devmode, printerData, &type, &size, &value) != 0 || type != DDM_TYPE_STRING || value == 0) {
    return;
  }
  const DWORD chars = size / sizeof(WCHAR);
  const auto* s = reinterpret_cast<const WCHAR*>(value);
  DWORD n = 0;
  while (n < chars && n < MAX_PATH - 1 && s[n] != 0) {
    out[n] = s[n];
    ++n;
  }
  out[n] = 0;
}

bool IsFullPath(const WCHAR* name) {
  return (name[0] != 0 && name[1] == u':') || (name[0] == u'\\' && name[1] == u'\\');
}

// The profile's path in the ANSI code page; false when it does not fit.
bool ProfilePath(const WCHAR* name, char (&ansi)[MAX_PATH * 2]) {
  WCHAR wide[MAX_PATH] = {};  // kp_WideCopy writes no NUL: the zeros end the path
  if (IsFullPath(name)) {
    if (kp_WideLength(name) >= MAX_PATH) return false;
    kp_WideCopy(wide, name, MAX_PATH - 1);
  } else {
    const UINT n = GetSystemDirectoryW(wide, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    const size_t folder = kp_WideLength(kColorFolder);
    if (n + folder + kp_WideLength(name) >= MAX_PATH) return false;
    kp_WideCopy(wide + n, kColorFolder, folder);
    kp_WideCopy(wide + n + folder, name, MAX_PATH - 1 - n - folder);
  }
  return WideCharToMultiByte(CP_ACP, 0, wide, -1, ansi, sizeof(ansi), nullptr, nullptr) > 0;
}

// The box for a profile that cannot be used: TRUE to go on without it.
bool IccBoxGoOn(const WCHAR* name) {
  WCHAR format[kIccBoxChars + 1] = {};
  WCHAR text[kIccBoxChars + MAX_PATH + 1] = {};
  if (resource_LoadString(kStrIccBox, format, kIccBoxChars + 1) > 0) {
    // The name goes where the text's "%s" stands; nothing else is a format.
    size_t at = 0;
    size_t out = 0;
    const size_t cap = sizeof(text) / sizeof(WCHAR) - 1;
    bool placed = false;
    while (format[at] != 0 && out < cap) {
      if (!placed && format[at] == u'%' && format[at + 1] == u's') {
        for (size_t i = 0; name[i] != 0 && out < cap; ++i) text[out++] = name[i];
        at += 2;
        placed = true;
      } else {
        text[out++] = format[at++];
      }
    }
    text[out] = 0;
  } else {
    kp_WideCopy(text, kIccBoxBuiltIn, sizeof(text) / sizeof(WCHAR) - 1);  // text is zeroed: it stays ended
  }
  return MessageBoxW(GetActiveWindow(), text, u"Error", MB_OKCANCEL | MB_ICONINFORMATION) != IDCANCEL;
}

// The outside library: loaded only when all seven functions are there.
void LoadNie(UmpdJobContext* ctx, ColorConvParam* p) {
  LPWSTR path = MakeDllFullPath(ctx->printer, COLORCONV_DLL_NIE);
  if (path == nullptr) return;
  HMODULE module = LoadLibraryW(path);
  GlobalFree(path);
  if (module == nullptr) return;
  void* fn[7];
  for (int i = 0; i < 7; ++i) {
    fn[i] = reinterpret_cast<void*>(GetProcAddress(module, kNieFunctionNames[i]));
    if (fn[i] == nullptr) {
      Logout_OutputString(u"kestrelum: the colour library lacks a function; no linking");
      FreeLibrary(module);
      return;
    }
  }
  LPWSTR data = MakeDllFullPath(ctx->printer, COLORCONV_DLL_NIE_DATA);
  char ansi[MAX_PATH * 2] = {};
  if (data != nullptr) WideCharToMultiByte(CP_ACP, 0, data, -1, ansi, sizeof(ansi), nullptr, nullptr);
  if (data != nullptr) GlobalFree(data);
  void* handle = reinterpret_cast<NIE_LoadNIE32_t>(fn[0])(ansi);
  if (handle == nullptr) {
    FreeLibrary(module);
    return;
  }
  for (int i = 0; i < 7; ++i) p->slots.slot[COLORCONV_SLOT_NIE_LOAD + i] = fn[i];
  p->slots.slot[COLORCONV_SLOT_NIE_HANDLE] = handle;
  p->nieModule = module;
  p->flags |= COLORCONV_NIE;
}

}  // namespace

LPWSTR MyGetDriverDirectory(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterDriverW(printer, nullptr, 2, nullptr, 0, &needed);
  if (needed == 0) return nullptr;
  BYTE* info = static_cast<BYTE*>(GlobalAlloc(GPTR, needed));
  if (info == nullptr) return nullptr;
  LPWSTR folder = nullptr;
  if (GetPrinterDriverW(printer, nullptr, 2, info, needed, &needed)) {
    const WCHAR* file = reinterpret_cast<DRIVER_INFO_2W*>(info)->pDriverPath;
    if (file != nullptr) {
      size_t end = kp_WideLength(file);
      while (end > 0 && file[end - 1] != u'\\') --end;
      if (end > 0) {
        folder = static_cast<LPWSTR>(GlobalAlloc(GPTR, (end + 1) * sizeof(WCHAR)));
        if (folder != nullptr) std::memcpy(folder, file, end * sizeof(WCHAR));
      }
    }
  }
  GlobalFree(info);
  return folder;
}

LPWSTR MakeDllFullPath(HANDLE printer, WORD kind) {
  LPWSTR folder = MyGetDriverDirectory(printer);
  if (folder == nullptr) return nullptr;
  LPWSTR full = nullptr;
  HCDDD ddd = cddd_Open(printer);
  if (ddd != nullptr) {
    LPWSTR name = nullptr;
    if (ddd_GetDLLName(ddd->main, kind, &name) == DDD_OK && name != nullptr && name[0] != 0) {
      const size_t a = kp_WideLength(folder), b = kp_WideLength(name);
      full = static_cast<LPWSTR>(GlobalAlloc(GPTR, (a + b + 1) * sizeof(WCHAR)));
      if (full != nullptr) {
        std::memcpy(full, folder, a * sizeof(WCHAR));
        std::memcpy(full + a, name, b * sizeof(WCHAR));
      }
    }
    ddd_FreeMem(name);
    cddd_Close(ddd);
  }
  GlobalFree(folder);
  return full;
}

void* ColorConv_GetParamAddr(UmpdColorParams* handle, int slot) {
  if (handle == nullptr || slot < COLORCONV_SLOT_LCC || slot > COLORCONV_SLOT_NIE_CONVERT) return nullptr;
  return handle->slot[slot];
}

int ColorConv_DisposeParam(ColorConvParam* p) {
  if (p == nullptr) return -1;
  void* handle = p->slots.slot[COLORCONV_SLOT_NIE_HANDLE];
  if (handle != nullptr) {
    auto del = reinterpret_cast<NIE_DeleteParam32_t>(p->slots.slot[COLORCONV_SLOT_NIE_DELETE]);
    auto free = reinterpret_cast<NIE_FreeNIE32_t>(p->slots.slot[COLORCONV_SLOT_NIE_FREE]);
    if (del != nullptr) del(handle);
    if (free != nullptr) free(handle);
  }
  if (p->nieModule != nullptr) FreeLibrary(p->nieModule);
  cil_Dispose_CST_Param(&p->cstWpGm);
  cil_Dispose_CST_Param(&p->cstProfile[0]);
  cil_Dispose_CST_Param(&p->cstProfile[1]);
  GlobalFree(p);
  return 0;
}

int ColorConv_CreateParam(UmpdJobContext* ctx, BYTE* devmode, BYTE* printerData, ColorConvParam** out) {
  if (out == nullptr) return 0;
  *out = nullptr;
  LONG mono = 0, perObject = 0, adjusted = 0, matching = 0, greyText = 0, greyGraphics = 0, nie = 0;
  if (!ddm_GetNumber(DDM_COLORMODE, devmode, printerData, &mono) ||
      !ddm_GetNumber(DDM_PEROBJECTADJUST, devmode, printerData, &perObject) ||
      !ddm_GetNumber(DDM_ADJUSTEDOBJECTS, devmode, printerData, &adjusted) ||
      !ddm_GetNumber(DDM_COLORMATCHING, devmode, printerData, &matching) ||
      !ddm_GetNumber(DDM_GRAYLCC_TEXT, devmode, printerData, &greyText) ||
      !ddm_GetNumber(DDM_GRAYLCC_GRAPHICS, devmode, printerData, &greyGraphics) ||
      !ddm_GetNumber(DDM_NIE, devmode, printerData, &nie)) {
    Logout_OutputString(u"kestrelum: the colour settings cannot be read; colours pass unconverted");
    return 0;
  }
  auto* p = static_cast<ColorConvParam*>(GlobalAlloc(GPTR, sizeof(ColorConvParam)));
  if (p == nullptr) return 0;
  for (CIL_CST_PARAM* b : {&p->cstWpGm, &p->cstProfile[0], &p->cstProfile[1]}) b->mode = CIL_MODE_COPY;

  // 1. The LCC blocks. Bit k of DDM 273 is object group k (0 text, 1
  // graphics, 2 images), whose triple is the adjustments' group k + 1
  // (275/279/283 text, 276/280/284 graphics, 277/281/285 images); the grey
  // pair follows the same reading (1326 text, 1327 graphics).
  if (perObject == 1) {
    constexpr DWORD kColourFlag[3] = {COLORCONV_LCC_TEXT, COLORCONV_LCC_GRAPHICS, COLORCONV_LCC_IMAGE};
    constexpr DWORD kGreyFlag[2] = {COLORCONV_GRAYLCC_TEXT, COLORCONV_GRAYLCC_GRAPHICS};
    for (int k = 0; k < 3; ++k) {
      LONG v[3];
      if ((adjusted & (1 << k)) == 0 || !ReadTriple(devmode, printerData, k + 1, v)) continue;
      if (v[0] == 0 && v[1] == 0 && v[2] == 0) continue;
      cil_Create_LCC_Param_sBGR(&p->lcc[k], v[0], v[1], v[2]);
      p->flags |= kColourFlag[k];
      if (k < 2 && mono != kOutputMono && (k == 0 ? greyText : greyGraphics) == 1) {
        cil_Create_LCC_Param_sGray(&p->grayLcc[k], v[0], v[2]);
        p->flags |= kGreyFlag[k];
      }
    }
  } else if ((adjusted & 0x7) != 0) {  // bits 0-2: text, graphics, images
    LONG v[3];
    if (ReadTriple(devmode, printerData, 0, v) && (v[0] != 0 || v[1] != 0 || v[2] != 0)) {
      cil_Create_LCC_Param_sBGR(&p->lcc[0], v[0], v[1], v[2]);
      p->flags |= COLORCONV_LCC_COMMON;
      if (mono != kOutputMono && (greyText == 1 || greyGraphics == 1)) {
        cil_Create_LCC_Param_sGray(&p->grayLcc[0], v[0], v[2]);
        p->flags |= COLORCONV_GRAYLCC_COMMON;
      }
    }
  }
  p->slots.slot[COLORCONV_SLOT_LCC] = (p->flags & COLORCONV_LCC_IMAGE)    ? &p->lcc[2]
                                      : (p->flags & COLORCONV_LCC_COMMON) ? &p->lcc[0]
                                                                          : nullptr;

  // 2. White point and gamma.
  if (matching == kMatchingWpGm) {
    LONG wp = 0, gamma = 0;
    if (ddm_GetNumber(DDM_WHITEPOINT, devmode, printerData, &wp) &&
        ddm_GetNumber(DDM_GAMMA, devmode, printerData, &gamma) && wp >= 0 && wp < kWhitePointOrders && gamma >= 0 &&
        gamma < kGammaOrders && wp < 4 && gamma < 6) {
      cil_Create_CST_Param_WpGm(&p->cstWpGm, kWhitePoints[wp], kGammaCodes[gamma]);
      p->flags |= COLORCONV_CST_WPGM;
      p->slots.slot[COLORCONV_SLOT_CST_WPGM] = &p->cstWpGm;
    }
  }

  // 3. ICC profiles.
  if (matching == kMatchingProfiles) {
    LONG first = 0, second = 0, same = 0;
    WCHAR name1[MAX_PATH], name2[MAX_PATH];
    ReadName(devmode, printerData, DDM_ICCPROFILE1_NAME, name1);
    ReadName(devmode, printerData, DDM_ICCPROFILE2_NAME, name2);
    ddm_GetNumber(DDM_ICCPROFILE1_ON, devmode, printerData, &first);
    ddm_GetNumber(DDM_ICCPROFILE2_ON, devmode, printerData, &second);
    ddm_GetNumber(DDM_ICCPROFILE2_SAMEASFIRST, devmode, printerData, &same);
    // The second conversion (images) is built when it is on and its
    // profile is named: the first profile's name when "the same as the
    // first" is set, whether or not the first profile itself is on (it
    // serves text and graphics only), else its own name. When the first
    // profile was built the second shares its block; when it was wanted and
    // refused, the user has answered the box for that profile already and
    // the second is not tried again.
    const bool sameAsFirst = same == 1;
    struct Want {
      bool on;
      const WCHAR* name;
      DWORD flag;
      int code;  // the failure the box stands for: -3 first, -4 second
    } wants[2] = {{first == 1 && name1[0] != 0, name1, COLORCONV_CST_PROFILE1, -3},
                  {second == 1 && (sameAsFirst ? name1[0] != 0 && first != 1 : same == 0 && name2[0] != 0),
                   sameAsFirst ? name1 : name2, COLORCONV_CST_PROFILE2, -4}};
    for (int i = 0; i < 2; ++i) {
      if (!wants[i].on) continue;
      char ansi[MAX_PATH * 2] = {};
      const int rc = ProfilePath(wants[i].name, ansi) ? cil_Create_CST_Param_Prof(&p->cstProfile[i], ansi)
                                                      : static_cast<int>(CIL_PROF_NOFILE);
      if (rc == 0) {
        p->flags |= wants[i].flag;
        continue;
      }
      Logout_OutputString(u"kestrelum: colour profile %ls refused (%d), result %d", wants[i].name, rc, wants[i].code);
      if (!IccBoxGoOn(wants[i].name)) {
        ColorConv_DisposeParam(p);
        return -1;
      }
    }
    if (second == 1 && sameAsFirst && (p->flags & COLORCONV_CST_PROFILE1)) {
      p->flags |= COLORCONV_CST_PROFILE2;
      p->slots.slot[COLORCONV_SLOT_CST_PROFILE2] = &p->cstProfile[0];  // the first profile serves again
    } else if (p->flags & COLORCONV_CST_PROFILE2) {
      p->slots.slot[COLORCONV_SLOT_CST_PROFILE2] = &p->cstProfile[1];
    }
  }

  // 4. The outside library.
  if (nie != 0) LoadNie(ctx, p);

  *out = p;
  return 0;
}

void ColorToBlanceGray(const BYTE* data, BYTE* out, DWORD width, DWORD rows) {
  if (data == nullptr || out == nullptr) return;
  const uint64_t n = static_cast<uint64_t>(width) * rows;
  for (uint64_t i = 0; i < n; ++i) {
    const BYTE* p = data + i * 3;
    out[i] = static_cast<BYTE>((p[2] * 77u + p[1] * 151u + p[0] * 28u) >> 8);
  }
}

namespace {

// Which steps run for one object (the step bits in the order of the
// design's mask; the steps run in ColorConv_ConvertTextGraph's order).
enum : DWORD {
  kStepFlatGrey = 0x01,
  kStepLccColour = 0x02,
  kStepLccGrey = 0x04,
  kStepCstWpGm = 0x08,
  kStepCstProfile = 0x10,
  kStepBlack = 0x20,
};

struct Blocks {
  const CIL_LCC_PARAM* lcc = nullptr;
  const CIL_LCC_GRAY_PARAM* grey = nullptr;
  const CIL_CST_PARAM* wpgm = nullptr;
  const CIL_CST_PARAM* profile = nullptr;
};

// The object group (DDM 273's bit) of the renderer's object kind.
constexpr int kGroupText = 0;
constexpr int kGroupGraphics = 1;

// The blocks of one object kind (attribute 254: XLCC_KIND_GRAPHICS or
// XLCC_KIND_TEXT), taken from that kind's own group.
Blocks BlocksOf(const ColorConvParam* p, int kind) {
  Blocks b;
  if (p == nullptr) return b;
  const bool text = kind == XLCC_KIND_TEXT;
  const int group = text ? kGroupText : kGroupGraphics;
  const DWORD colourFlag = text ? COLORCONV_LCC_TEXT : COLORCONV_LCC_GRAPHICS;
  const DWORD greyFlag = text ? COLORCONV_GRAYLCC_TEXT : COLORCONV_GRAYLCC_GRAPHICS;
  if (p->flags & colourFlag) {
    b.lcc = &p->lcc[group];
  } else if (p->flags & COLORCONV_LCC_COMMON) {
    b.lcc = &p->lcc[0];
  }
  if (p->flags & greyFlag) {
    b.grey = &p->grayLcc[group];
  } else if (p->flags & COLORCONV_GRAYLCC_COMMON) {
    b.grey = &p->grayLcc[0];
  }
  if (p->flags & COLORCONV_CST_WPGM) b.wpgm = &p->cstWpGm;
  if (p->flags & COLORCONV_CST_PROFILE1) b.profile = &p->cstProfile[0];
  return b;
}

}  // namespace

int ColorConv_ConvertTextGraph(ColorConvParam* params, ColorJudgeInfo* judge, UmpdJobContext* ctx, BYTE* devmode,
                               const BYTE* source, BYTE* destination, DWORD width, DWORD height, int, int mode, int) {
  // _ColorConv_CheckConditionTextGraph: the settings and the step mask.
  if (mode != 0 && mode != 1) return -1;
  if (width > 0xFFFF || height > 0xFFFF || source == nullptr || destination == nullptr || ctx == nullptr) return -1;
  LONG colourMode = 0, greyH = 0, toBlack = 0;
  ddm_GetNumber(DDM_COLORMODE, devmode, ctx->printerData, &colourMode);
  ddm_GetNumber(DDM_GRAYH, devmode, ctx->printerData, &greyH);
  ddm_GetNumber(DDM_COLORTOBLACK, devmode, ctx->printerData, &toBlack);
  const bool mono = colourMode == kOutputMono;
  const LONG own = mode == 1 ? 2 : 1;  // DDM 455 and 454: 1 text (mode 0), 2 graphics (mode 1), 3 both
  const bool greyTreatment = !mono && (greyH == own || greyH == 3);
  const bool blackTreatment = toBlack == 3 || toBlack == own;
  const int kind = mode == 1 ? XLCC_KIND_GRAPHICS : XLCC_KIND_TEXT;
  const Blocks b = BlocksOf(params, kind);
  const bool strict = ctx->jobInfo.colorModeAuto == 0;
  DWORD steps = 0;
  bool greyObject = false;
  if (greyTreatment) {
    greyObject = ColorJudge_JudgeObjectColorForGrayH(judge, source, width, height, 0, 0, COLORJUDGE_KIND_DIRECT, 24, 0,
                                                     strict ? 1 : 0) == COLORJUDGE_GRAY_STRICT;
    if (greyObject) steps |= kStepFlatGrey | (b.grey != nullptr ? static_cast<DWORD>(kStepLccGrey) : 0u);
  }
  if ((!mono && !greyObject) || (mono && !blackTreatment)) {
    if (b.lcc != nullptr) steps |= kStepLccColour;
    if (b.wpgm != nullptr) steps |= kStepCstWpGm;
    if (b.profile != nullptr) steps |= kStepCstProfile;
  }
  if (blackTreatment) steps |= kStepBlack;

  // _ColorConv_ConvertTextGraphObject: each step on the previous one's output.
  const size_t pixels = static_cast<size_t>(width) * height;
  BYTE* work = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, pixels * 3 + 1));
  if (work == nullptr) return -1;
  std::memcpy(work, source, pixels * 3);
  int bytesPerPixel = 3;
  if (steps & kStepFlatGrey) {
    cil_ColorToFlatGray(work, work, static_cast<WORD>(width), static_cast<WORD>(height));  // in place: reads ahead
    bytesPerPixel = 1;
  }
  if (steps & kStepLccGrey) cil_LCC_Conv_sGray(b.grey, work, work, pixels);
  if (steps & kStepCstWpGm) cil_CST_Conv_sBGR(b.wpgm, work, work, pixels);
  if (steps & kStepCstProfile) cil_CST_Conv_sBGR(b.profile, work, work, pixels);
  if (steps & kStepLccColour) cil_LCC_Conv_sBGR(b.lcc, work, work, pixels);
  if (steps & kStepBlack) {
    cil_ColorToBlack(work, work, static_cast<WORD>(width), static_cast<WORD>(height), bytesPerPixel);
  }
  std::memcpy(destination, work, pixels * static_cast<size_t>(bytesPerPixel));
  GlobalFree(work);
  return bytesPerPixel == 1 ? 2 : 1;
}
