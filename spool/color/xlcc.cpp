// The colour conversion of PCL XL operators (see kestrel/spool/colorconv.h).
// Every complete operator is offered to XLColorConv before the graphics-
// state filter: a SetColorSpace starts a pending list that the next brush,
// pen or image completes; colours are converted in place, and a colour that
// turns grey becomes a grey colour with a grey colour space.
//
// Decisions:
//  - Held lists are emitted as one operator record marked as SetColorSpace
//    (op 0x6A) whose second byte names the operator that completed it, so
//    the graphics-state filter can drop an unchanged colour space.
//  - While in-band image linking is on, the page operators held with the
//    linked images (SetPageRotation, SetCursor, clip and path operators)
//    go into the image list with them, in their order; the end of the link
//    (149) or an image the outside library refuses puts the list out.
//  - A raster pattern turns grey (one byte a pixel, grey colour space) only
//    when it is read in one block (StartLine 0, BlockHeight = SourceHeight)
//    with an RGB colour space: a later block could not change the colour
//    space its earlier blocks were written with. Other blocks are converted
//    in colour, a grey result written back as R = G = B.
//  - A raster pattern's rows are padded to its PadBytesMultiple (4 when
//    the ReadRastPattern names none; the renderer pads every row to 4
//    bytes), so its data is height x the padded row, not SourceWidth x
//    BlockHeight x 3 (direct) or the unpadded index rows: the pattern is
//    judged, counted and converted row by row at the padded stride, the pad
//    bytes never read as pixels nor changed. Data of exactly height
//    unpadded rows is still taken as such (a stream that pads nothing);
//    data of any other length is left alone. A direct pattern that turns
//    grey gets rows of one byte a pixel padded the same way (the embedded
//    length rewritten); one converted in colour keeps its pad bytes.
//  - An indexed pattern (ColorJudAndConvert) has its RGB palette judged and
//    converted; a grey result installs a grey palette (SetGrayPalette) for a
//    two-entry palette and is written back as R = G = B entries for larger
//    ones (a two-entry grey palette would misread their indexes).
//  - EndImage with a CompressMode that is not a ubyte emits the held list
//    unchanged (the image is never lost, the next SetColorSpace finds no
//    list pending); with CompressMode 2 (JPEG already) it is passed on
//    without re-encoding. Both lose the rotation mark.
#include <cstring>

#include "../seams.h"
#include "kestrel/core/logout.h"
#include "kestrel/spool/colorconv.h"
#include "kestrel/spool/image.h"
#include "kplatform/byte_order.h"

namespace {

XlccState& S(UmpdJobContext* ctx) { return ctx->xlcc; }

ColorConvParam* Params(UmpdJobContext* ctx) { return ctx->xlcc.params; }

BYTE* Devmode(UmpdJobContext* ctx) { return ctx->snapshotTaken ? ctx->devmodeSnapshot : ctx->devmode; }

// A new token of the given raw bytes; its value starts valueOffset bytes in.
XLData* NewToken(UmpdJobContext* ctx, const BYTE* raw, DWORD rawLength, DWORD valueOffset) {
  XLData* n = XLDataAlloc(ctx, rawLength);
  if (n == nullptr) return nullptr;
  std::memcpy(n->raw(), raw, rawLength);
  n->tag = raw[0];
  n->rawLength = rawLength;
  n->value = n->raw() + valueOffset;
  n->valueLength = rawLength - valueOffset;
  return n;
}

// Puts fresh in the place of old in the list whose head is *head.
void Replace(UmpdJobContext* ctx, XLData** head, XLData* old, XLData* fresh) {
  XLListAddTail(old, fresh);  // splices fresh in just before old
  if (*head == old) *head = fresh;
  XLDataFree(ctx, old);
}


// A scalar attribute's value as a number; false when absent or not a scalar.
bool Number(XLData* list, BYTE id, int64_t* out) {
  XLData* v = SearchAttributeData(list, id);
  if (v == nullptr) return false;
  switch (v->tag) {
    case XL_TAG_UBYTE: *out = v->value[0]; return true;
    case XL_TAG_UINT16: *out = kp_LoadU16(v->value); return true;
    case XL_TAG_UINT32: *out = kp_LoadU32(v->value); return true;
    case XL_TAG_SINT16: *out = static_cast<int16_t>(kp_LoadU16(v->value)); return true;
    case 0xC4: *out = static_cast<int32_t>(kp_LoadU32(v->value)); return true;  // sint32
    case XL_TAG_REAL32: {
      float f;
      std::memcpy(&f, v->value, 4);
      if (!(f > -2147483648.0f && f < 2147483648.0f)) return false;
      *out = static_cast<int64_t>(f);
      return true;
    }
    default: return false;
  }
}

// The pending SetColorSpace's ColorSpace value token (a ubyte), or null.
XLData* PendingColorSpace(UmpdJobContext* ctx) {
  XLData* v = SearchAttributeData(S(ctx).pending, XL_ATTR_COLORSPACE);
  return v != nullptr && v->tag == XL_TAG_UBYTE ? v : nullptr;
}

// Emits the pending list and this operator as one record.
int EmitWith(UmpdJobContext* ctx, XLOperator* op) {
  XlccState& s = S(ctx);
  const BYTE completing = op->op;
  op->list = XLListAddTail(s.pending, op->list);
  op->op = XL_OP_SETCOLORSPACE;
  op->second = completing;
  s.pending = nullptr;
  s.pendingOpen = FALSE;
  s.colorSpaceKind = XLCC_KIND_NONE;
  return XLCC_PASS;
}

int Hold(UmpdJobContext* ctx, XLOperator* op) {
  XlccState& s = S(ctx);
  s.pending = XLListAddTail(s.pending, op->list);
  op->list = nullptr;
  return XLCC_HELD;
}

// The conversion mode of a colour-space kind: 1 graphics, 0 text, -1 none.
int ModeOf(BYTE kind) {
  if (kind == XLCC_KIND_GRAPHICS) return 1;
  if (kind == XLCC_KIND_TEXT) return 0;
  return -1;
}

void Swap13(BYTE* p, size_t pixels) {
  for (size_t i = 0; i < pixels; ++i) {
    const BYTE t = p[i * 3];
    p[i * 3] = p[i * 3 + 2];
    p[i * 3 + 2] = t;
  }
}

// Judges and converts R, G, B pixels in place: height rows of width
// pixels, `stride` bytes apart (a pattern's rows carry pad bytes after
// their pixels, which are neither judged nor touched). 1 colour (rgb holds
// the result), 2 grey (grey holds one byte a pixel, rows unpadded), 0 left
// alone.
int ConvertPixels(UmpdJobContext* ctx, BYTE* rgb, DWORD width, DWORD height, size_t stride, BYTE* grey) {
  const int mode = ModeOf(S(ctx).colorSpaceKind);
  if (mode < 0 || width == 0 || height == 0) return 0;
  if (ColorJudge_JudgeObjectColor(S(ctx).judge, ColorJudge_PageSummary(ctx), ctx, rgb, width, height, nullptr, 0,
                                  COLORJUDGE_KIND_DIRECT, 24, stride) != 0) {
    return 0;  // not judged: its colours stay as they are
  }
  const size_t row = static_cast<size_t>(width) * 3;
  const size_t pixels = static_cast<size_t>(width) * height;
  BYTE* bgr = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, pixels * 3));
  if (bgr == nullptr) return -1;
  for (DWORD y = 0; y < height; ++y) std::memcpy(bgr + y * row, rgb + y * stride, row);  // the pixels only
  Swap13(bgr, pixels);  // the stream's R, G, B to the engine's B, G, R
  const int r = ColorConv_ConvertTextGraph(Params(ctx), S(ctx).judge, ctx, Devmode(ctx), bgr, bgr, width, height, 0,
                                           mode, 0);
  if (r == 1) {
    Swap13(bgr, pixels);  // and back, into the rows' pixels (their pad stays)
    for (DWORD y = 0; y < height; ++y) std::memcpy(rgb + y * stride, bgr + y * row, row);
  } else if (r == 2) {
    std::memcpy(grey, bgr, pixels);
  }
  GlobalFree(bgr);
  return r == 1 || r == 2 ? r : -1;
}

int BrushOrPen(UmpdJobContext* ctx, XLOperator* op) {
  XlccState& s = S(ctx);
  if (!s.pendingOpen) return XLCC_ERROR;
  XLData* value = SearchAttributeData(op->list, XL_ATTR_RGBCOLOR);
  if (value != nullptr && value->tag == XL_TAG_UBYTE_ARRAY && value->valueLength == 3) {
    BYTE rgb[3] = {value->value[0], value->value[1], value->value[2]};
    BYTE grey = 0;
    const int r = ConvertPixels(ctx, rgb, 1, 1, 3, &grey);
    if (r < 0) {
      ctx->ok.store(0);
      return XLCC_ERROR;
    }
    const char16_t* what = op->op == XL_OP_SETBRUSHSOURCE ? u"brush" : u"pen";
    if (r == 1) {
      Logout_OutputString(u"kestrelum: colour: %ls (%d,%d,%d) -> (%d,%d,%d)", what, value->value[0], value->value[1],
                          value->value[2], rgb[0], rgb[1], rgb[2]);
    } else if (r == 2) {
      Logout_OutputString(u"kestrelum: colour: %ls (%d,%d,%d) -> grey %d", what, value->value[0], value->value[1],
                          value->value[2], grey);
    }
    XLData* space = PendingColorSpace(ctx);
    if (r == 2 && space != nullptr) {
      // GrayLevel (attribute 9, ubyte) in place of the RGB colour, and a
      // grey colour space.
      const BYTE raw[2] = {XL_TAG_UBYTE, grey};
      XLData* fresh = NewToken(ctx, raw, 2, 1);
      if (fresh == nullptr) {
        ctx->ok.store(0);
        return XLCC_ERROR;
      }
      XLData* attr = value->next;
      Replace(ctx, &op->list, value, fresh);
      attr->raw()[1] = XL_ATTR_GRAYLEVEL;
      attr->value[0] = XL_ATTR_GRAYLEVEL;
      space->value[0] = XLCC_SPACE_GRAY;
      s.grayed = TRUE;
    } else if (r == 2) {
      std::memset(value->value, grey, 3);  // no colour space to turn grey: the grey as R = G = B
      s.grayed = FALSE;
    } else if (r == 1) {
      std::memcpy(value->value, rgb, 3);
      s.grayed = FALSE;
    }
  }
  return EmitWith(ctx, op);
}

// The embedded data of a list as a replaceable token.
XLData* Embedded(XLData* list) { return SearchEmbedData(list); }

// New embedded data of `length` bytes, the same header form when it fits.
XLData* NewEmbedded(UmpdJobContext* ctx, const BYTE* data, DWORD length, bool byteForm) {
  BYTE head[5];
  DWORD headLength;
  if (byteForm && length <= 0xFF) {
    head[0] = XL_TAG_DATA_LENGTH_BYTE;
    head[1] = static_cast<BYTE>(length);
    headLength = 2;
  } else {
    head[0] = XL_TAG_DATA_LENGTH;
    kp_StoreU32(head + 1, length);
    headLength = 5;
  }
  XLData* n = XLDataAlloc(ctx, headLength + length);
  if (n == nullptr) return nullptr;
  std::memcpy(n->raw(), head, headLength);
  std::memcpy(n->raw() + headLength, data, length);
  n->tag = head[0];
  n->rawLength = headLength + length;
  n->value = n->raw() + headLength;
  n->valueLength = length;
  return n;
}

}  // namespace

int SetGrayPalette(UmpdJobContext* ctx, XLData** list, const BYTE* grey, DWORD entries);

// ---- the handlers ---------------------------------------------------------------

int XLCC_BeginSession(UmpdJobContext* ctx, XLOperator*) { return InitXLCC(ctx); }

int XLCC_EndSession(UmpdJobContext* ctx, XLOperator*) { return ExitXLCC(ctx); }

int XLCC_SetColorSpace(UmpdJobContext* ctx, XLOperator* op) {
  XlccState& s = S(ctx);
  if (s.pendingOpen) return XLCC_ERROR;
  int64_t kind = XLCC_KIND_NONE;
  XLData* k = SearchAttributeData(op->list, static_cast<BYTE>(XL_ATTR_OBJECTKIND));
  if (k != nullptr && k->tag == XL_TAG_UBYTE) kind = k->value[0];
  RemoveAttributeWithData(ctx, &op->list, static_cast<BYTE>(XL_ATTR_OBJECTKIND));
  s.colorSpaceKind = static_cast<BYTE>(kind);
  s.pendingOpen = TRUE;
  s.pending = op->list;
  op->list = nullptr;
  return XLCC_HELD;
}

int XLCC_SetBrushSource(UmpdJobContext* ctx, XLOperator* op) { return BrushOrPen(ctx, op); }
int XLCC_SetPenSource(UmpdJobContext* ctx, XLOperator* op) { return BrushOrPen(ctx, op); }

int XLCC_SetROP(UmpdJobContext* ctx, XLOperator* op) {
  int64_t rop = 0;
  if (Number(op->list, XL_ATTR_ROP3, &rop)) S(ctx).rop3 = static_cast<BYTE>(rop);
  return XLCC_PASS;
}

int XLCC_SetStoreNIE(UmpdJobContext* ctx, XLOperator* op) {
  if (ctx->imageGathering) {
    ctx->imageList = XLListAddTail(ctx->imageList, op->list);
    op->list = nullptr;
    return XLCC_HELD;
  }
  return XLCC_PASS;
}

int XLCC_SetPageRotation(UmpdJobContext* ctx, XLOperator* op) {
  int64_t angle = 0;
  S(ctx).rotationMark = Number(op->list, XL_ATTR_PAGEANGLE, &angle) && angle == XLCC_ROTATION_MARKED ? 1 : 0;
  return XLCC_SetStoreNIE(ctx, op);
}

int XLCC_SetCursor(UmpdJobContext* ctx, XLOperator* op) {
  XLData* v = SearchAttributeData(op->list, XL_ATTR_POINT);
  if (v != nullptr && (v->tag == XL_TAG_SINT16_XY || v->tag == XL_TAG_UINT16_XY) && v->valueLength == 4) {
    S(ctx).cursor[0] = static_cast<int16_t>(kp_LoadU16(v->value));
    S(ctx).cursor[1] = static_cast<int16_t>(kp_LoadU16(v->value + 2));
  }
  return XLCC_SetStoreNIE(ctx, op);
}

int XLCC_BeginImage(UmpdJobContext* ctx, XLOperator* op) {
  if (!S(ctx).pendingOpen) return XLCC_ERROR;
  return Hold(ctx, op);
}

int XLCC_ReadImage(UmpdJobContext* ctx, XLOperator* op) {
  XlccState& s = S(ctx);
  if (!s.pendingOpen) return XLCC_ERROR;
  // The rotation mark as a ubyte with attribute 253, before the operator.
  const BYTE value[2] = {XL_TAG_UBYTE, s.rotationMark};
  const BYTE attr[2] = {XL_TAG_ATTR_UBYTE, XLCC_ATTR_ROTATION};
  XLData* v = NewToken(ctx, value, 2, 1);
  XLData* a = NewToken(ctx, attr, 2, 1);
  XLData* opToken = SearchOperator(op->list);
  if (v == nullptr || a == nullptr || opToken == nullptr) {
    XLDataFree(ctx, v);
    XLDataFree(ctx, a);
    ctx->ok.store(0);
    return XLCC_ERROR;
  }
  XLListAddTail(opToken, v);  // before the operator token
  XLListAddTail(opToken, a);
  if (op->list == opToken) op->list = v;
  s.rotationMark = 0;
  return Hold(ctx, op);
}

int XLCC_EndImage(UmpdJobContext* ctx, XLOperator* op) {
  XlccState& s = S(ctx);
  if (!s.pendingOpen) return XLCC_HELD;  // nothing held: an EndImage of no image
  XLData* mode = SearchAttributeData(s.pending, XL_ATTR_COMPRESSMODE);
  const bool ubyte = mode != nullptr && mode->tag == XL_TAG_UBYTE;
  const bool reencode = ubyte && mode->value[0] != XLCC_COMPRESS_JPEG;
  int r = XLCC_PASS;
  if (reencode) {
    r = OutputImageData(ctx, &s.pending);
  } else {
    Image_RemoveRotationMark(ctx, &s.pending);  // passed on as it came (JPEG already), less the mark
  }
  if (r == XLCC_HELD) {  // the outside library holds the image: its EndImage goes with it
    ctx->imageList = XLListAddTail(ctx->imageList, op->list);
    op->list = nullptr;
    s.pending = nullptr;
    s.pendingOpen = FALSE;
    return XLCC_HELD;
  }
  if (r != XLCC_PASS) {
    ctx->ok.store(0);
    return XLCC_ERROR;
  }
  return EmitWith(ctx, op);
}

namespace {

uint64_t PadTo(uint64_t bytes, int64_t pad) {
  return (bytes + static_cast<uint64_t>(pad) - 1) / static_cast<uint64_t>(pad) * static_cast<uint64_t>(pad);
}

// The bytes between a pattern's rows: rowBytes padded to PadBytesMultiple
// when the data holds height such rows (*padded true), rowBytes itself
// when it holds height unpadded rows instead (a stream that pads nothing),
// else 0 (the data does not match the attributes: the pattern is left
// alone).
uint64_t PatternStride(uint64_t rowBytes, int64_t pad, uint64_t height, uint64_t length, bool* padded) {
  *padded = false;
  if (pad < 1 || pad > 0xFF) return 0;
  const uint64_t stride = PadTo(rowBytes, pad);
  if (length == stride * height) {
    *padded = true;
    return stride;
  }
  return length == rowBytes * height ? rowBytes : 0;
}

}  // namespace

int XLCC_ReadRastPattern(UmpdJobContext* ctx, XLOperator* op) {
  XlccState& s = S(ctx);
  if (!s.pendingOpen) return XLCC_ERROR;
  XLData* data = Embedded(op->list);
  int64_t width = 0, height = 0, compress = -1, mapping = XLCC_MAPPING_DIRECT, startLine = 0, sourceHeight = -1,
          pad = IMAGE_XL_DEFAULT_PAD;
  Number(s.pending, XL_ATTR_SOURCEWIDTH, &width);
  Number(s.pending, XL_ATTR_COLORMAPPING, &mapping);
  Number(s.pending, XL_ATTR_SOURCEHEIGHT, &sourceHeight);
  Number(op->list, XL_ATTR_BLOCKHEIGHT, &height);
  Number(op->list, XL_ATTR_COMPRESSMODE, &compress);
  Number(op->list, XL_ATTR_STARTLINE, &startLine);
  Number(op->list, XL_ATTR_PADBYTESMULTIPLE, &pad);
  if (data == nullptr || compress != XLCC_COMPRESS_NONE || width <= 0 || height <= 0 || width > 0xFFFF ||
      height > 0xFFFF) {
    return Hold(ctx, op);
  }
  const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  if (mapping == XLCC_MAPPING_DIRECT) {
    const uint64_t rowBytes = static_cast<uint64_t>(width) * 3;
    bool padded = false;
    const uint64_t stride = PatternStride(rowBytes, pad, static_cast<uint64_t>(height), data->valueLength, &padded);
    if (stride == 0) return Hold(ctx, op);
    XLData* space = PendingColorSpace(ctx);
    BYTE* grey = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, static_cast<size_t>(pixels)));
    if (grey == nullptr) {
      ctx->ok.store(0);
      return XLCC_ERROR;
    }
    const int r = ConvertPixels(ctx, data->value, static_cast<DWORD>(width), static_cast<DWORD>(height),
                                static_cast<size_t>(stride), grey);
    int result = XLCC_HELD;
    if (r < 0) {
      ctx->ok.store(0);
      result = XLCC_ERROR;
    } else if (r == 2) {
      const bool whole = startLine == 0 && height == sourceHeight;
      if (whole && space != nullptr && space->value[0] == XLCC_SPACE_RGB) {
        // One byte a pixel, each row padded as the incoming rows were
        // (to PadBytesMultiple, or not at all when they came unpadded).
        const uint64_t greyStride = padded ? PadTo(static_cast<uint64_t>(width), pad) : static_cast<uint64_t>(width);
        const size_t length = static_cast<size_t>(greyStride * static_cast<uint64_t>(height));
        BYTE* rows = static_cast<BYTE*>(GlobalAlloc(GPTR, length));  // zeroed: the pad bytes
        XLData* fresh = nullptr;
        if (rows != nullptr) {
          for (int64_t y = 0; y < height; ++y) {
            std::memcpy(rows + static_cast<size_t>(y) * greyStride, grey + static_cast<size_t>(y) * width,
                        static_cast<size_t>(width));
          }
          fresh = NewEmbedded(ctx, rows, static_cast<DWORD>(length), data->tag == XL_TAG_DATA_LENGTH_BYTE);
          GlobalFree(rows);
        }
        if (fresh == nullptr) {
          ctx->ok.store(0);
          result = XLCC_ERROR;
        } else {
          Replace(ctx, &op->list, data, fresh);
          space->value[0] = XLCC_SPACE_GRAY;
        }
      } else {
        for (int64_t y = 0; y < height; ++y) {  // the grey as R = G = B, the pad untouched
          BYTE* row = data->value + static_cast<size_t>(y) * stride;
          for (int64_t x = 0; x < width; ++x) std::memset(row + x * 3, grey[y * width + x], 3);
        }
      }
    }
    GlobalFree(grey);
    if (result == XLCC_ERROR) return result;
    return Hold(ctx, op);
  }
  // Indexed: ColorJudAndConvert over the RGB palette of the colour space.
  // Only the palette is converted; the indexes and their pad stay.
  int64_t depth = -1;
  Number(s.pending, XL_ATTR_COLORDEPTH, &depth);
  const int bits = depth == 0 ? 1 : depth == 1 ? 4 : depth == 2 ? 8 : 0;  // e1Bit, e4Bit, e8Bit
  XLData* palette = SearchAttributeData(s.pending, XL_ATTR_PALETTEDATA);
  XLData* space = PendingColorSpace(ctx);
  const uint64_t rowBytes = (static_cast<uint64_t>(width) * bits + 7) / 8;
  bool padded = false;
  const uint64_t stride = PatternStride(rowBytes, pad, static_cast<uint64_t>(height), data->valueLength, &padded);
  if (bits == 0 || palette == nullptr || palette->tag != XL_TAG_UBYTE_ARRAY || space == nullptr ||
      space->value[0] != XLCC_SPACE_RGB || palette->valueLength < 3 || stride == 0 || ModeOf(s.colorSpaceKind) < 0) {
    return Hold(ctx, op);
  }
  const DWORD entries = palette->valueLength / 3;
  if (ColorJudge_JudgeObjectColor(s.judge, ColorJudge_PageSummary(ctx), ctx, data->value, static_cast<DWORD>(width),
                                  static_cast<DWORD>(height), palette->value, entries, COLORJUDGE_KIND_INDEXED,
                                  bits, static_cast<size_t>(stride)) != 0) {
    return Hold(ctx, op);
  }
  BYTE grey[256];
  BYTE rgb[256 * 3];
  const DWORD n = entries > 256 ? 256 : entries;
  std::memcpy(rgb, palette->value, n * 3);
  Swap13(rgb, n);
  const int r = ColorConv_ConvertTextGraph(Params(ctx), s.judge, ctx, Devmode(ctx), rgb, rgb, n, 1, 0,
                                           ModeOf(s.colorSpaceKind), 0);
  if (r == 1) {
    Swap13(rgb, n);
    std::memcpy(palette->value, rgb, n * 3);
  } else if (r == 2) {
    std::memcpy(grey, rgb, n);
    if (n != 2 || SetGrayPalette(ctx, &s.pending, grey, n) != 0) {
      for (DWORD i = 0; i < n; ++i) std::memset(palette->value + i * 3, grey[i], 3);
    }
  }
  return Hold(ctx, op);
}

// Replaces the pending colour space's palette by a grey palette of the
// first two entries (their first bytes) and sets PaletteDepth to 8 bits.
// -1 (nothing changed) for fewer than two entries or a colour space without
// a palette.
int SetGrayPalette(UmpdJobContext* ctx, XLData** list, const BYTE* grey, DWORD entries) {
  constexpr BYTE kDepth8 = 2;  // e8Bit
  if (entries < 2 || grey == nullptr) return -1;
  XLData* palette = SearchAttributeData(*list, XL_ATTR_PALETTEDATA);
  XLData* space = SearchAttributeData(*list, XL_ATTR_COLORSPACE);
  XLData* depth = SearchAttributeData(*list, XL_ATTR_PALETTEDEPTH);
  if (palette == nullptr || space == nullptr || space->tag != XL_TAG_UBYTE || depth == nullptr ||
      depth->tag != XL_TAG_UBYTE) {
    return -1;
  }
  const BYTE raw[5] = {XL_TAG_UBYTE_ARRAY, XL_TAG_UBYTE, 2, grey[0], grey[1]};
  XLData* fresh = NewToken(ctx, raw, 5, 3);
  if (fresh == nullptr) return -1;
  Replace(ctx, list, palette, fresh);
  space->value[0] = XLCC_SPACE_GRAY;
  depth->value[0] = kDepth8;
  return 0;
}

// ---- start, end, dispatch -------------------------------------------------------

int InitXLCC(UmpdJobContext* ctx) {
  XlccState& s = S(ctx);
  if (s.pendingOpen) return 0;
  if (s.ready) return 1;
  ColorConvParam* p = nullptr;
  if (ColorConv_CreateParam(ctx, Devmode(ctx), ctx->printerData, &p) != 0) {
    Logout_OutputString(u"kestrelum: colour correction cancelled at the profile box; the job ends");
    return 0;
  }
  if (ColorJudge_InitColorJudgeInfo(&s.judge) != 0) {
    ColorConv_DisposeParam(p);
    return 0;
  }
  s.params = p;
  ctx->colorParams = p != nullptr ? &p->slots : nullptr;
  s.colorSpaceKind = XLCC_KIND_NONE;
  s.ready = TRUE;
  return 1;
}

int ExitXLCC(UmpdJobContext* ctx) {
  XlccState& s = S(ctx);
  int result = 1;
  if (s.params != nullptr) {
    if (ctx->colorParams == &s.params->slots) ctx->colorParams = nullptr;
    if (ColorConv_DisposeParam(s.params) != 0) result = 0;
    s.params = nullptr;
  }
  if (ColorJudge_DisposeColorJudgeInfo(&s.judge) != 0) result = 0;
  XLDataListFree(ctx, s.pending);
  s.pending = nullptr;
  s.pendingOpen = FALSE;
  Image_ExitJob(ctx);
  s.ready = FALSE;
  s.rotationMark = 0;
  s.grayed = FALSE;
  return result;
}

namespace {

// The command code of an in-band operator (attribute 255 in its one-byte or
// two-byte id form), or -1.
int InbandCode(XLData* list) {
  if (list == nullptr) return -1;
  XLData* n = list;
  do {
    const bool id255 = (n->tag == XL_TAG_ATTR_UBYTE && n->valueLength == 1 && n->value[0] == XL_ATTR_INBAND) ||
                       (n->tag == XL_TAG_ATTR_UINT16 && n->valueLength == 2 && kp_LoadU16(n->value) == XL_ATTR_INBAND);
    if (id255) return n != list && n->prev->tag == XL_TAG_UBYTE ? n->prev->value[0] : -1;
    n = n->next;
  } while (n != list);
  return -1;
}

}  // namespace

int XLColorConv(UmpdJobContext* ctx, XLOperator* op) {
  XlccState& s = S(ctx);
  switch (op->op) {
    case XL_OP_BEGINSESSION: return XLCC_BeginSession(ctx, op);
    case XL_OP_ENDSESSION: return XLCC_EndSession(ctx, op);
    case XL_OP_SETCOLORSPACE: return XLCC_SetColorSpace(ctx, op);
    case XL_OP_SETBRUSHSOURCE: return XLCC_SetBrushSource(ctx, op);
    case XL_OP_SETPENSOURCE: return XLCC_SetPenSource(ctx, op);
    case XL_OP_SETROP: return XLCC_SetROP(ctx, op);
    case XL_OP_SETPAGEROTATION: return XLCC_SetPageRotation(ctx, op);
    case XL_OP_SETCURSOR:
      // The merged images of command 149 arrive as a SetCursor record.
      if (op->second == XL_OP_ENDIMAGE) return XLCC_PASS;
      return XLCC_SetCursor(ctx, op);
    case XL_OP_SETCLIPREPLACE:
    case XL_OP_SETCLIPRECTANGLE:
    case XL_OP_SETCLIPTOPAGE:
    case XL_OP_SETPAGEORIGIN:
    case XL_OP_SETPAGESCALE:
    case XL_OP_SETCLIPMODE:
    case XL_OP_CLOSESUBPATH:
    case XL_OP_NEWPATH:
    case XL_OP_BEZIERPATH:
    case XL_OP_BEZIERRELPATH:
    case XL_OP_LINEPATH:
    case XL_OP_LINERELPATH: return XLCC_SetStoreNIE(ctx, op);
    case XL_OP_BEGINIMAGE:
    case XL_OP_BEGINRASTPATTERN:
    case XL_OP_ENDRASTPATTERN: return XLCC_BeginImage(ctx, op);
    case XL_OP_READIMAGE: return XLCC_ReadImage(ctx, op);
    case XL_OP_ENDIMAGE: return XLCC_EndImage(ctx, op);
    case XL_OP_READRASTPATTERN: return XLCC_ReadRastPattern(ctx, op);
    case XL_OP_INBAND:
      if (InbandCode(op->list) == XLCC_IC_CLEARS_ROTATION) s.rotationMark = 0;
      return XLCC_PASS;
    default: return s.pendingOpen ? XLCC_ERROR : XLCC_PASS;
  }
}
