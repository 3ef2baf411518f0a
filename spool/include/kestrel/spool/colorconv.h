// kestrelum's colour conversion of PCL XL operators (color/xlcc.cpp), its
// per-job colour parameters (color/colorparam.cpp) and the colour judge
// with the page's colour mode (color/colorjudge.cpp). Parser thread only.
//
// Byte order: the stream carries R, G, B; the profile engine and the LCC
// work on B, G, R. Every path that hands stream colours to the conversion
// (brush and pen colours, raster patterns, palettes) turns them around and
// back explicitly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kestrel/core/cil_color.h"
#include "kestrel/spool/cil.h"
#include "kestrel/spool/pagestore.h"
#include "kestrel/spool/umpd.h"

// ---- the operator conversion ---------------------------------------------------

// XLColorConv's results.
enum : int { XLCC_ERROR = 0, XLCC_PASS = 1, XLCC_HELD = 2 };

// The private attributes of the renderer's stream: 254 the object kind on
// SetColorSpace (XL_ATTR_OBJECTKIND), 253 the rotation mark this side puts
// on ReadImage for the image re-encoding. Neither ever reaches the printer.
constexpr BYTE XLCC_ATTR_ROTATION = 253;
// Colour-space kinds (attribute 254) and PCL XL colour spaces.
enum : BYTE { XLCC_KIND_GRAPHICS = 0, XLCC_KIND_TEXT = 1, XLCC_KIND_IMAGE = 2, XLCC_KIND_NONE = 0xFF };
enum : BYTE { XLCC_SPACE_GRAY = 1, XLCC_SPACE_RGB = 2 };
constexpr BYTE XLCC_COMPRESS_NONE = 0;
constexpr BYTE XLCC_COMPRESS_JPEG = 2;
constexpr BYTE XLCC_MAPPING_DIRECT = 0;
constexpr BYTE XLCC_MAPPING_INDEXED = 1;
constexpr int XLCC_ROTATION_MARKED = 90;  // SetPageRotation's angle that marks the next image
constexpr BYTE XLCC_IC_CLEARS_ROTATION = XL_IC_SETCOORDINATE;  // command 138

// Offers one complete operator: XLCC_PASS to let it (or the record it was
// merged into) go on, XLCC_HELD when it was taken into a held list (op's
// list is then null), XLCC_ERROR when the stream cannot be converted.
int XLColorConv(UmpdJobContext* ctx, XLOperator* op);

int XLCC_BeginSession(UmpdJobContext* ctx, XLOperator* op);
int XLCC_EndSession(UmpdJobContext* ctx, XLOperator* op);
int XLCC_SetColorSpace(UmpdJobContext* ctx, XLOperator* op);
int XLCC_SetBrushSource(UmpdJobContext* ctx, XLOperator* op);
int XLCC_SetPenSource(UmpdJobContext* ctx, XLOperator* op);
int XLCC_SetROP(UmpdJobContext* ctx, XLOperator* op);
int XLCC_SetPageRotation(UmpdJobContext* ctx, XLOperator* op);
int XLCC_SetCursor(UmpdJobContext* ctx, XLOperator* op);
int XLCC_SetStoreNIE(UmpdJobContext* ctx, XLOperator* op);
int XLCC_BeginImage(UmpdJobContext* ctx, XLOperator* op);
int XLCC_ReadImage(UmpdJobContext* ctx, XLOperator* op);
int XLCC_EndImage(UmpdJobContext* ctx, XLOperator* op);
int XLCC_ReadRastPattern(UmpdJobContext* ctx, XLOperator* op);

// The conversion's start (BeginSession, command 142): colour parameters and
// judge information, once per job. 1 ready, 0 failed (the job ends: the
// user cancelled at the ICC box, no memory, or a list is pending).
int InitXLCC(UmpdJobContext* ctx);
// Its end (EndSession, command 131, abort, close): parameters, the outside
// library, judge information and held lists released. 1 when all released.
int ExitXLCC(UmpdJobContext* ctx);

// ---- colour parameters --------------------------------------------------------

// Build flags of ColorConv_CreateParam. The per-object blocks follow the
// object groups of the colour adjustments (DDM 273's bits and the triples
// 275-285): bit 0 text, bit 1 graphics, bit 2 images, in that order. The
// renderer's object kind (attribute 254: 0 graphics, 1 text, 2 image) is
// another numbering; ColorConv_ConvertTextGraph maps its mode to the group.
enum : DWORD {
  COLORCONV_LCC_TEXT = 0x01,
  COLORCONV_GRAYLCC_TEXT = 0x02,
  COLORCONV_LCC_GRAPHICS = 0x04,
  COLORCONV_GRAYLCC_GRAPHICS = 0x08,
  COLORCONV_LCC_IMAGE = 0x10,
  COLORCONV_LCC_COMMON = 0x20,
  COLORCONV_GRAYLCC_COMMON = 0x40,
  COLORCONV_CST_WPGM = 0x80,
  COLORCONV_CST_PROFILE1 = 0x100,
  COLORCONV_CST_PROFILE2 = 0x200,
  COLORCONV_NIE = 0x400,
};

// ColorConv_GetParamAddr's slots.
enum : int {
  COLORCONV_SLOT_LCC = 1,          // colour LCC of images (kind 2), or the common one
  COLORCONV_SLOT_CST_WPGM = 2,
  COLORCONV_SLOT_CST_PROFILE2 = 3, // the first profile's block when both are the same profile
  COLORCONV_SLOT_NIE_HANDLE = UMPD_COLOR_HANDLE,  // 4
  COLORCONV_SLOT_NIE_LOAD = 5,
  COLORCONV_SLOT_NIE_FREE = 6,
  COLORCONV_SLOT_NIE_BEGIN = UMPD_COLOR_BEGINLINK,  // 7
  COLORCONV_SLOT_NIE_PARAM = 8,
  COLORCONV_SLOT_NIE_END = UMPD_COLOR_CHECK,        // 9
  COLORCONV_SLOT_NIE_DELETE = UMPD_COLOR_ENDLINK,   // 10
  COLORCONV_SLOT_NIE_CONVERT = 11,
};

// The outside colour library's seven functions (every one answers 0 for
// success, NIE_LoadNIE32 its handle or null). Paths are in the ANSI code
// page, pixels B, G, R.
using NIE_LoadNIE32_t = void* (*)(const char* path);
using NIE_FreeNIE32_t = int32_t (*)(void* handle);
using NIE_CreateParam_Begin32_t = UmpdBeginLinkFn;  // (handle, low byte of DDM 291)
using NIE_CreateParam32_t = int32_t (*)(void* handle, const BYTE* pixels, int32_t width, int32_t height);
using NIE_CreateParam_End32_t = UmpdCheckFn;
using NIE_DeleteParam32_t = UmpdEndLinkFn;
using NIE_ColorConvert32_t = int32_t (*)(void* handle, const BYTE* source, BYTE* destination, int32_t width,
                                         int32_t height);
extern const char* const kNieFunctionNames[7];  // slots 5-11 in order

// The kinds of the description data's DLL names (ddd_GetDLLName).
constexpr WORD COLORCONV_DLL_NIE_DATA = 1;  // handed to NIE_LoadNIE32
constexpr WORD COLORCONV_DLL_NIE = 4;       // the outside colour library

struct ColorConvParam {
  UmpdColorParams slots;  // first member: the job context's colorParams points here
  DWORD flags;            // the blocks built
  CIL_LCC_PARAM lcc[3];   // colour LCC by object group (0 text, 1 graphics, 2 images); [0] the common one
  CIL_LCC_GRAY_PARAM grayLcc[2];  // grey LCC by object group (0 text, 1 graphics); [0] the common one
  CIL_CST_PARAM cstWpGm;
  CIL_CST_PARAM cstProfile[2];
  HMODULE nieModule;
};
static_assert(offsetof(ColorConvParam, slots) == 0);

// 0 with *out the block (null when no block is wanted or the settings
// cannot be read: colours then pass unconverted); -1 when the user chose
// Cancel at the ICC box (nothing is left built).
int ColorConv_CreateParam(UmpdJobContext* ctx, BYTE* devmode, BYTE* printerData, ColorConvParam** out);
// Releases the blocks and the outside library (delete, free, unload). 0, or
// -1 for null.
int ColorConv_DisposeParam(ColorConvParam* params);
// The slot's address (1-11), null for any other slot or a null handle.
void* ColorConv_GetParamAddr(UmpdColorParams* handle, int slot);
// width x height B, G, R pixels (mode 1: graphics, object kind 0; mode 0:
// text, object kind 1), each with its own group's adjustment blocks. 1: colour result, 3 bytes a pixel; 2: grey result, 1 byte a
// pixel; -1: mode other than 0 and 1, sizes above 65535, no memory.
int ColorConv_ConvertTextGraph(ColorConvParam* params, ColorJudgeInfo* judge, UmpdJobContext* ctx, BYTE* devmode,
                               const BYTE* source, BYTE* destination, DWORD width, DWORD height, int, int mode, int);
// Grey = (R x 77 + G x 151 + B x 28) >> 8 of B, G, R pixels.
void ColorToBlanceGray(const BYTE* data, BYTE* out, DWORD width, DWORD rows);

// The driver folder (up to the last backslash of the driver file of
// GetPrinterDriverW level 2), and a description-data DLL name of a kind in
// it. GlobalAlloc blocks, null when unknown.
LPWSTR MyGetDriverDirectory(HANDLE printer);
LPWSTR MakeDllFullPath(HANDLE printer, WORD kind);

// ---- the colour judge ------------------------------------------------------------

enum : int32_t {
  COLORJUDGE_COLOR = 1,
  COLORJUDGE_GRAY_STRICT = 2,
  COLORJUDGE_GRAY_TOLERANT = 3,
  COLORJUDGE_NOT_JUDGED = 4,
};
struct ColorJudgeInfo {
  int32_t result;  // the last judgement
};
// Image kinds the judge knows: direct RGB and indexed colour.
constexpr int COLORJUDGE_KIND_DIRECT = 0;
constexpr int COLORJUDGE_KIND_INDEXED = 11;

// The 76-byte few-colour summary is the page store's (FEWCOLORINFO,
// kestrel/spool/pagestore.h): words 3-21 of the page-control record.
// The page's summary inside the page-control record.
FEWCOLORINFO* ColorJudge_PageSummary(UmpdJobContext* ctx);

int ColorJudge_InitColorJudgeInfo(ColorJudgeInfo** info);
int ColorJudge_DisposeColorJudgeInfo(ColorJudgeInfo** info);
// data: rows of R, G, B (24 bits) or of indexes (1, 4, 8 bits) into a
// palette of R, G, B entries, rowStride bytes apart (0: the unpadded row,
// width x 3 or (width x bits + 7) / 8 bytes; a raster pattern's rows are
// padded to its PadBytesMultiple). 0: the caller may convert the colours;
// -1 not.
int ColorJudge_JudgeObjectColor(ColorJudgeInfo* info, FEWCOLORINFO* summary, UmpdJobContext* ctx, const BYTE* data,
                                DWORD width, DWORD height, const BYTE* palette, DWORD paletteCount, int kind,
                                int bits, size_t rowStride = 0);
int ColorJudge_JudgeObjectColorForGrayH(ColorJudgeInfo* info, const BYTE* data, DWORD width, DWORD height, int,
                                        int, int kind, int bits, int, int strict);
bool ColorJudge_IsGrayStrict(const BYTE* p);
bool ColorJudge_IsGrayTolerant(const BYTE* p);

BOOL jobOutput_isFixedAutoColorMode(UmpdJobContext* ctx);
BOOL jobOutput_isFixedVagueAutoColor(UmpdJobContext* ctx);
int jobOutput_setColorModeToColor(UmpdJobContext* ctx);

// Counts an image's colours into the summary (rows as the judge's, the
// same row stride; colour flag clear: 24-bit rows are width grey bytes and
// palette entries grey levels). 0 done, -1 for another depth or a failed
// count.
int fewColor_countColorsInDIB(FEWCOLORINFO* summary, const BYTE* data, DWORD width, DWORD height, int bits,
                              BOOL colorFlag, const BYTE* palette, DWORD paletteCount, size_t rowStride = 0);
