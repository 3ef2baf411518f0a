// The re-encoding of one image at its EndImage (see kestrel/spool/image.h):
// the description read back from the held operators, the outside colour
// library's collection while linking, the colour judgement and conversion,
// rotation and compression, and the ReadImage that replaces the incoming
// one.
//
// Decisions:
//  - The description must match the data: one ReadImage, CompressMode 0
//    (a ubyte), StartLine 0, and exactly the rows the attributes declare
//    (height rows of r bytes, each padded to the ReadImage's own
//    PadBytesMultiple, 4 when it names none); sizes are computed in
//    size_t. Anything else goes out as it came. A marked image (rotation
//    mark) declares its size turned; its data is read with width and height
//    swapped.
//  - A marked image whose depth cannot be turned (1 or 4 bits) goes out as
//    it came, unturned (the renderer marks only 8- and 24-bit images).
//  - The incoming data is never changed in place: the re-encoding works on
//    its own copy, so every path on which the new ReadImage cannot be
//    built sends the incoming data, consistent with its colour space.
//    A palette is written back (R, G, B, or grey) as soon as it is
//    converted: the indexes do not change with it.
//  - Indexed images: ColorMapping decides (1 indexed, which needs a
//    palette); without ColorMapping, a palette makes the image indexed.
//    Direct images need 8 bits a component.
//  - The outside library's conversion is given the pixels of direct
//    images and the palette (as a row of entries) of indexed colour ones.
//  - NIE_CreateParam32 is given width x height B, G, R pixels of every
//    image it is offered, since the library reads that many: an indexed
//    image expanded through its palette, a grey one as three equal bytes a
//    pixel (an index beyond the palette as black). An image whose pixels
//    cannot be made (no memory) counts as refused by the library.
//  - Grey images (kinds 3 and 10) are never converted; the judge leaves
//    them unjudged.
//  - Every image described is rebuilt from the re-encoding's copy: DDM 330
//    unreadable means no compression, and a JPEG that cannot be read back
//    (or whose file does not open) goes uncompressed, converted and turned
//    as the others. Only a shortage of memory sends the incoming data.
#include <cstring>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/logout.h"
#include "kestrel/spool/colorconv.h"
#include "kestrel/spool/image.h"
#include "kplatform/byte_order.h"

namespace {

constexpr LONG kOutputMono = 1;  // DDM 270: black-and-white output

BYTE* Devmode(UmpdJobContext* ctx) { return ctx->snapshotTaken ? ctx->devmodeSnapshot : ctx->devmode; }

XLData* NewToken(UmpdJobContext* ctx, const BYTE* head, DWORD headLength, const BYTE* body, size_t bodyLength) {
  if (bodyLength > 0x7FFFFFF0u - headLength) return nullptr;
  const DWORD raw = headLength + static_cast<DWORD>(bodyLength);
  XLData* n = XLDataAlloc(ctx, raw);
  if (n == nullptr) return nullptr;
  std::memcpy(n->raw(), head, headLength);
  if (bodyLength > 0) std::memcpy(n->raw() + headLength, body, bodyLength);
  n->tag = head[0];
  n->rawLength = raw;
  n->value = n->raw() + (head[0] >= XL_TAG_UBYTE && head[0] < XL_TAG_UBYTE_ARRAY ? 1 : headLength);
  n->valueLength = raw - static_cast<DWORD>(n->value - n->raw());
  return n;
}

// A scalar attribute (ubyte, uint16, uint32, sint16) of the list.
bool Number(XLData* list, BYTE id, int64_t* out) {
  XLData* v = SearchAttributeData(list, id);
  if (v == nullptr) return false;
  switch (v->tag) {
    case XL_TAG_UBYTE: *out = v->value[0]; return true;
    case XL_TAG_UINT16: *out = kp_LoadU16(v->value); return true;
    case XL_TAG_UINT32: *out = kp_LoadU32(v->value); return true;
    case XL_TAG_SINT16: *out = static_cast<int16_t>(kp_LoadU16(v->value)); return true;
    default: return false;
  }
}

// The first operator token `op` of the list and how many there are.
XLData* FindOperator(XLData* list, BYTE op, int* count) {
  *count = 0;
  XLData* first = nullptr;
  if (list == nullptr) return nullptr;
  XLData* n = list;
  do {
    if (IsOperator(n) && n->tag == op) {
      if (first == nullptr) first = n;
      ++*count;
    }
    n = n->next;
  } while (n != list);
  return first;
}

void FreeDesc(ImageDesc* img) {
  if (img->data != nullptr) GlobalFree(img->data);
  if (img->paletteWork != nullptr) GlobalFree(img->paletteWork);
  img->data = nullptr;
  img->paletteWork = nullptr;
}

// GetListValue: the description of the image the list holds, with its own
// copy of the rows. 0, or -1 (no description: the image goes as it came).
int GetImageDescription(XLData* list, ImageDesc* img) {
  *img = ImageDesc{};
  int64_t mark = 0, width = 0, height = 0, depth = -1, space = -1, mapping = -1, compress = -1, start = 0,
          pad = IMAGE_XL_DEFAULT_PAD;
  XLData* markValue = SearchAttributeData(list, XLCC_ATTR_ROTATION);
  if (markValue != nullptr && markValue->tag == XL_TAG_UBYTE) mark = markValue->value[0];
  if (!Number(list, XL_ATTR_SOURCEWIDTH, &width) || !Number(list, XL_ATTR_SOURCEHEIGHT, &height) ||
      !Number(list, XL_ATTR_COLORDEPTH, &depth) || !Number(list, XL_ATTR_COLORSPACE, &space)) {
    return -1;
  }
  Number(list, XL_ATTR_COLORMAPPING, &mapping);
  Number(list, XL_ATTR_STARTLINE, &start);
  Number(list, XL_ATTR_PADBYTESMULTIPLE, &pad);
  XLData* mode = SearchAttributeData(list, XL_ATTR_COMPRESSMODE);
  if (mode == nullptr || mode->tag != XL_TAG_UBYTE) return -1;
  compress = mode->value[0];
  if (width < 1 || width > 0xFFFF || height < 1 || height > 0xFFFF || compress != IMAGE_XL_NOCOMPRESSION ||
      start != 0 || pad < 1 || pad > 0xFF || (space != XLCC_SPACE_GRAY && space != XLCC_SPACE_RGB)) {
    return -1;
  }
  int count = 0;
  XLData* begin = FindOperator(list, XL_OP_BEGINIMAGE, &count);
  if (begin == nullptr || count != 1) return -1;
  XLData* read = FindOperator(list, XL_OP_READIMAGE, &count);
  if (read == nullptr || count != 1) return -1;
  // BeginImage before ReadImage, the data right after it and last.
  bool beginFirst = false;
  for (XLData* n = list; n != read; n = n->next) beginFirst = beginFirst || n == begin;
  XLData* data = read->next;
  if (!beginFirst || data == list || !IsEmbedData(data) || data->next != list) return -1;

  XLData* palette = SearchAttributeData(list, XL_ATTR_PALETTEDATA);
  if (palette != nullptr && palette->tag != XL_TAG_UBYTE_ARRAY) return -1;
  img->indexed = mapping >= 0 ? mapping == XLCC_MAPPING_INDEXED : palette != nullptr;
  if (mapping >= 0 && mapping != XLCC_MAPPING_INDEXED && mapping != XLCC_MAPPING_DIRECT) return -1;
  const bool grey = space == XLCC_SPACE_GRAY;
  if (img->indexed) {
    if (palette == nullptr) return -1;
    img->palette = palette;
    img->paletteCount = grey ? palette->valueLength : palette->valueLength / 3;
    if (img->paletteCount == 0) return -1;
    img->kind = grey ? IMAGE_KIND_INDEXED_GRAY : IMAGE_KIND_INDEXED_RGB;
  } else {
    if (depth != IMAGE_DEPTH_8) return -1;
    img->kind = grey ? IMAGE_KIND_GRAY : IMAGE_KIND_RGB;
  }
  if (GetBPP(&img->bpp, grey ? IMAGE_COLOR_GRAY : IMAGE_COLOR_COLOR, img->indexed ? TRUE : FALSE,
             static_cast<int>(depth)) != 0) {
    return -1;
  }
  img->depth = static_cast<BYTE>(depth);
  img->mark = mark != 0;
  if (img->mark && img->bpp != 8 && img->bpp != 24) return -1;  // cannot be turned: goes as it came
  img->width = static_cast<DWORD>(img->mark ? height : width);
  img->height = static_cast<DWORD>(img->mark ? width : height);
  img->rowBytes = (static_cast<size_t>(img->width) * static_cast<size_t>(img->bpp) + 7) / 8;
  const size_t stride = (img->rowBytes + static_cast<size_t>(pad) - 1) / static_cast<size_t>(pad) *
                        static_cast<size_t>(pad);
  if (data->valueLength != stride * img->height) return -1;  // at most 65535 x 196860: no overflow
  img->data = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, img->rowBytes * img->height));
  if (img->data == nullptr) return -1;
  for (DWORD y = 0; y < img->height; ++y) {
    std::memcpy(img->data + y * img->rowBytes, data->value + y * stride, img->rowBytes);
  }
  return 0;
}

void* Slot(UmpdJobContext* ctx, int slot) { return ColorConv_GetParamAddr(ctx->colorParams, slot); }

// The pixels the outside library's NIE_CreateParam32 is given: width x
// height B, G, R pixels, whatever the image's kind (a library reads width x
// height x 3 bytes). Direct colour is turned in place; grey levels become
// three equal bytes; indexes are looked up in the palette (R, G, B or grey
// entries), an index beyond it as black. A GlobalAlloc block the caller
// frees when it is not img->data; null without memory.
BYTE* LibraryPixels(ImageDesc* img) {
  if (img->kind == IMAGE_KIND_RGB) {
    BGRtoRGB(img->data, img->width, img->height);
    return img->data;
  }
  const size_t pixels = static_cast<size_t>(img->width) * img->height;
  BYTE* out = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, pixels * 3 + 1));
  if (out == nullptr) return nullptr;
  const bool greyEntries = img->kind == IMAGE_KIND_INDEXED_GRAY;
  for (DWORD y = 0; y < img->height; ++y) {
    const BYTE* row = img->data + static_cast<size_t>(y) * img->rowBytes;
    BYTE* to = out + static_cast<size_t>(y) * img->width * 3;
    for (DWORD x = 0; x < img->width; ++x, to += 3) {
      if (img->kind == IMAGE_KIND_GRAY) {
        to[0] = to[1] = to[2] = row[x];
        continue;
      }
      const DWORD index = img->bpp == 1   ? (row[x / 8] >> (7 - x % 8)) & 0x1
                          : img->bpp == 4 ? (row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0xF
                                          : row[x];
      if (index >= img->paletteCount) {
        to[0] = to[1] = to[2] = 0;
      } else if (greyEntries) {
        to[0] = to[1] = to[2] = img->palette->value[index];
      } else {
        const BYTE* e = img->palette->value + static_cast<size_t>(index) * 3;
        to[0] = e[2];
        to[1] = e[1];
        to[2] = e[0];
      }
    }
  }
  return out;
}

// Judgement, then (when it succeeded) the profile conversion and
// Image_ColorConvert.
void JudgeAndConvert(UmpdJobContext* ctx, XLData** list, ImageDesc* img, bool nie) {
  const bool colourKind = img->kind == IMAGE_KIND_RGB || img->kind == IMAGE_KIND_INDEXED_RGB;
  const int judgeKind = img->kind == IMAGE_KIND_RGB ? COLORJUDGE_KIND_DIRECT : img->kind;
  const BYTE* palette = img->kind == IMAGE_KIND_INDEXED_RGB ? img->palette->value : nullptr;
  if (ColorJudge_JudgeObjectColor(ctx->xlcc.judge, ColorJudge_PageSummary(ctx), ctx, img->data, img->width,
                                  img->height, palette, palette != nullptr ? img->paletteCount : 0, judgeKind,
                                  img->bpp) != 0) {
    return;  // not judged: not converted
  }
  if (!colourKind) return;
  const BYTE rop = ctx->xlcc.rop3;
  if (img->kind == IMAGE_KIND_INDEXED_RGB && img->bpp == 1 && (rop == IMAGE_ROP_MASK_A || rop == IMAGE_ROP_MASK_B)) {
    return;
  }
  // To B, G, R once.
  BYTE* work = nullptr;
  size_t pixels = 0;
  if (img->kind == IMAGE_KIND_RGB) {
    BGRtoRGB(img->data, img->width, img->height);
    img->bgr = true;
    work = img->data;
    pixels = static_cast<size_t>(img->width) * img->height;
  } else {
    pixels = img->paletteCount;
    img->paletteWork = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, pixels * 3));
    if (img->paletteWork == nullptr) return;
    std::memcpy(img->paletteWork, img->palette->value, pixels * 3);
    BGRtoRGB(img->paletteWork, pixels, 1);
    work = img->paletteWork;
  }
  const void* cst = Slot(ctx, COLORCONV_SLOT_CST_WPGM);
  if (cst == nullptr) cst = Slot(ctx, COLORCONV_SLOT_CST_PROFILE2);
  if (cst != nullptr) cil_CST_Conv_sBGR(static_cast<const CIL_CST_PARAM*>(cst), work, work, pixels);
  Image_ColorConvert(ctx, list, img, nie);
  if (img->kind == IMAGE_KIND_INDEXED_RGB && img->paletteWork != nullptr) {
    // Written back as R, G, B at once: the incoming indexes stay valid.
    BGRtoRGB(img->paletteWork, img->paletteCount, 1);
    std::memcpy(img->palette->value, img->paletteWork, static_cast<size_t>(img->paletteCount) * 3);
  }
  if (img->paletteWork != nullptr) {
    GlobalFree(img->paletteWork);
    img->paletteWork = nullptr;
  }
}

// Judges, converts, turns, compresses and replaces the ReadImage; the
// rotation mark leaves the list whatever happens. XLCC_PASS, or
// XLCC_ERROR when a token could not be made.
int Reencode(UmpdJobContext* ctx, XLData** list, bool nie) {
  ImageDesc img;
  const int described = GetImageDescription(*list, &img);
  Image_RemoveRotationMark(ctx, list);
  if (described != 0) {
    FreeDesc(&img);
    return XLCC_PASS;
  }
  JudgeAndConvert(ctx, list, &img, nie);
  int result = XLCC_PASS;
  if (ImageRotCompResult* r = Image_RotComp(ctx, &img, img.mark)) {
    if (OutputReadImage(ctx, list, r) != 0) {
      result = XLCC_ERROR;
    } else if (img.toGray) {
      SetColorSpaceGray(list);
    }
    ImageRotComp_Free(r);
  }
  FreeDesc(&img);
  return result;
}

}  // namespace

void Image_RemoveRotationMark(UmpdJobContext* ctx, XLData** list) {
  RemoveAttributeWithData(ctx, list, XLCC_ATTR_ROTATION);
}

void Image_ColorConvert(UmpdJobContext* ctx, XLData** list, ImageDesc* img, bool nie) {
  const bool direct = img->kind == IMAGE_KIND_RGB;
  BYTE* work = direct ? img->data : img->paletteWork;
  if (work == nullptr) return;
  const DWORD w = direct ? img->width : img->paletteCount;
  const DWORD h = direct ? img->height : 1;
  const size_t pixels = static_cast<size_t>(w) * h;
  // 1. The outside library, while its set is usable; a failure closes it.
  auto convert = reinterpret_cast<NIE_ColorConvert32_t>(Slot(ctx, COLORCONV_SLOT_NIE_CONVERT));
  void* handle = Slot(ctx, COLORCONV_SLOT_NIE_HANDLE);
  if (nie && ctx->imageCheck && convert != nullptr && handle != nullptr) {
    BYTE* out = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, pixels * 3));
    if (out != nullptr && convert(handle, work, out, static_cast<int32_t>(w), static_cast<int32_t>(h)) == 0) {
      std::memcpy(work, out, pixels * 3);
    } else {
      ctx->imageCheck = FALSE;
    }
    if (out != nullptr) GlobalFree(out);
  }
  // 2. The LCC block of images.
  if (const void* lcc = Slot(ctx, COLORCONV_SLOT_LCC)) {
    cil_LCC_Conv_sBGR(static_cast<const CIL_LCC_PARAM*>(lcc), work, work, pixels);
  }
  // 3. Black-and-white output, or a palette of pure black and white.
  LONG colourMode = 0;
  const bool mono = ddm_GetNumber(DDM_COLORMODE, Devmode(ctx), ctx->printerData, &colourMode) &&
                    colourMode == kOutputMono;
  if (!direct && (mono || (CheckBWPalette(work, img->paletteCount) && ctx->xlcc.rop3 != IMAGE_ROP_SRCCOPY))) {
    BYTE grey[256];
    const DWORD n = img->paletteCount > 256 ? 256 : img->paletteCount;
    ColorToBlanceGray(work, grey, n, 1);
    BYTE head[4] = {XL_TAG_UBYTE_ARRAY, XL_TAG_UBYTE, static_cast<BYTE>(n), 0};
    DWORD headLength = 3;
    if (n > 0xFF) {
      head[1] = XL_TAG_UINT16;
      kp_StoreU16(head + 2, static_cast<WORD>(n));
      headLength = 4;
    }
    XLData* fresh = NewToken(ctx, head, headLength, grey, n);
    if (fresh == nullptr) return;
    XLListAddTail(img->palette, fresh);  // in its place
    if (*list == img->palette) *list = fresh;
    XLDataFree(ctx, img->palette);
    img->palette = fresh;
    img->paletteCount = n;
    GlobalFree(img->paletteWork);
    img->paletteWork = nullptr;
    img->kind = IMAGE_KIND_INDEXED_GRAY;
    SetColorSpaceGray(list);
  } else if (direct && mono) {
    BYTE* grey = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, pixels == 0 ? 1 : pixels));
    if (grey == nullptr) return;
    ColorToBlanceGray(img->data, grey, img->width, img->height);
    GlobalFree(img->data);
    img->data = grey;
    img->rowBytes = img->width;
    img->bpp = 8;
    img->kind = IMAGE_KIND_GRAY;
    img->bgr = false;
    img->toGray = true;
  }
}

ImageRotCompResult* Image_RotComp(UmpdJobContext* ctx, ImageDesc* img, bool rotate) {
  // DDM 330 unreadable: no compression, but the rows are still built from
  // the re-encoding's copy (a marked image's incoming data lies unturned).
  LONG setting = IMAGECOMP_SETTING_NONE;
  if (!ddm_GetNumber(DDM_IMAGECOMPRESSION, Devmode(ctx), ctx->printerData, &setting)) setting = IMAGECOMP_SETTING_NONE;
  if (img->bgr) {  // back to R, G, B before anything is built
    BGRtoRGB(img->data, img->width, img->height);
    img->bgr = false;
  }
  const BYTE* rows = img->data;
  DWORD w = img->width, h = img->height;
  size_t rowBytes = img->rowBytes;
  if (rotate) {
    if (ctx->xlcc.rotation == nullptr && imgrot_CreateHandle(&ctx->xlcc.rotation) != 0) return nullptr;
    BYTE* turned = nullptr;
    if (imgrot_ImageRotation(ctx->xlcc.rotation, w, h, rowBytes, img->bpp, rows, 1, &turned) != 0) return nullptr;
    rows = turned;
    const DWORD t = w;
    w = h;
    h = t;
    rowBytes = static_cast<size_t>(w) * static_cast<size_t>(img->bpp / 8);
  }
  auto* r = static_cast<ImageRotCompResult*>(GlobalAlloc(GPTR, sizeof(ImageRotCompResult)));
  if (r == nullptr) return nullptr;
  r->width = w;
  r->height = h;
  r->palette = img->indexed ? 1 : 0;
  r->color = img->kind == IMAGE_KIND_RGB || img->kind == IMAGE_KIND_INDEXED_RGB ? IMAGE_COLOR_COLOR : IMAGE_COLOR_GRAY;
  r->depth = img->depth;
  r->startLine = 0;
  r->blockHeight = static_cast<WORD>(h);
  const size_t raw = rowBytes * h;

  if (setting == IMAGECOMP_SETTING_JPEG) {
    IMAGECOMP_DATA d{img->kind, img->bpp, raw, IMAGECOMP_JPEG_ARG_COLORSPACE, IMAGECOMP_JPEG_ARG_ROP};
    int method = IMAGECOMP_METHOD_NONE;
    ImageComp_GetCompressMethod(IMAGECOMP_METHOD_JPEG, &d, &method);
    if (method == IMAGECOMP_METHOD_JPEG) {
      const BYTE* pixels = rows;
      BYTE* grey = nullptr;
      bool usable = true;
      if (img->kind == IMAGE_KIND_INDEXED_GRAY) {  // grey bytes through the palette
        grey = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, raw));
        usable = grey != nullptr;
        for (size_t i = 0; usable && i < raw; ++i) {
          if (rows[i] >= img->paletteCount) {
            usable = false;  // beyond the palette: the image goes with its indexes
          } else {
            grey[i] = img->palette->value[rows[i]];
          }
        }
        pixels = grey;
      }
      BYTE* jpeg = usable ? static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, raw)) : nullptr;
      size_t length = 0;
      const int rc = jpeg != nullptr ? ImageComp_CompressByJPEG(ctx, pixels, w, h, img->kind == IMAGE_KIND_RGB ? 3 : 1,
                                                                jpeg, raw, &length)
                                     : IMAGEJPEG_LIBRARY;
      if (grey != nullptr) GlobalFree(grey);
      if (rc == IMAGEJPEG_DONE) {
        r->uncompressedSize = raw;  // the pixels the JPEG stands for (no rows are built)
        r->jpeg = 1;
        r->palette = 0;
        r->compressed = jpeg;
        r->compressedSize = length;
        return r;
      }
      if (jpeg != nullptr) GlobalFree(jpeg);
    }
  }
  if (MakeXLdata(r, rows, rowBytes) != 0) {
    ImageRotComp_Free(r);
    return nullptr;
  }
  if (setting == IMAGECOMP_SETTING_ROWS) {
    // No room, no memory or a delta row past its 16-bit length: uncompressed.
    if (r->color == IMAGE_COLOR_GRAY) {
      MakeXLdata_RLE(r, rows, rowBytes);
    } else {
      MakeXLdata_DeltaRow(r, rows, rowBytes);
    }
  }
  return r;
}

// ---- the list ----------------------------------------------------------------------------------

int SetReadImage(UmpdJobContext* ctx, XLData** list, ImageRotCompResult* r) {
  BYTE mode = IMAGE_XL_NOCOMPRESSION;
  BYTE pad = IMAGE_PAD_ROWS;
  if (r->jpeg == 0 && r->uncompressed == nullptr) return -1;
  const BYTE* bytes = r->uncompressed;
  size_t length = r->uncompressedSize;
  if (r->jpeg != 0) {
    mode = IMAGE_XL_JPEG;
    pad = IMAGE_PAD_JPEG;
    bytes = r->compressed;
    length = r->compressedSize;
  } else if (r->compressed != nullptr && r->compressedSize < r->uncompressedSize) {
    mode = r->compression == IMAGE_COMP_DELTAROW ? IMAGE_XL_DELTAROW : IMAGE_XL_RLE;
    bytes = r->compressed;
    length = r->compressedSize;
  }
  if (bytes == nullptr || length > 0xFFFFFFFFu) return -1;
  const BYTE startLine[3] = {XL_TAG_UINT16, static_cast<BYTE>(r->startLine), static_cast<BYTE>(r->startLine >> 8)};
  const BYTE blockHeight[3] = {XL_TAG_UINT16, static_cast<BYTE>(r->blockHeight),
                               static_cast<BYTE>(r->blockHeight >> 8)};
  const BYTE modeValue[2] = {XL_TAG_UBYTE, mode};
  const BYTE padValue[2] = {XL_TAG_UBYTE, pad};
  const BYTE attrs[4][2] = {{XL_TAG_ATTR_UBYTE, XL_ATTR_STARTLINE},
                            {XL_TAG_ATTR_UBYTE, XL_ATTR_BLOCKHEIGHT},
                            {XL_TAG_ATTR_UBYTE, XL_ATTR_COMPRESSMODE},
                            {XL_TAG_ATTR_UBYTE, XL_ATTR_PADBYTESMULTIPLE}};
  const BYTE op[1] = {XL_OP_READIMAGE};
  BYTE dataHead[5];
  DWORD dataHeadLength;
  if (length <= 0xFF) {
    dataHead[0] = XL_TAG_DATA_LENGTH_BYTE;
    dataHead[1] = static_cast<BYTE>(length);
    dataHeadLength = 2;
  } else {
    dataHead[0] = XL_TAG_DATA_LENGTH;
    kp_StoreU32(dataHead + 1, static_cast<uint32_t>(length));
    dataHeadLength = 5;
  }
  XLData* fresh = nullptr;
  struct Piece {
    const BYTE* head;
    DWORD headLength;
    const BYTE* body;
    size_t bodyLength;
  } pieces[] = {
      {startLine, 3, nullptr, 0},  {attrs[0], 2, nullptr, 0}, {blockHeight, 3, nullptr, 0},
      {attrs[1], 2, nullptr, 0},   {modeValue, 2, nullptr, 0}, {attrs[2], 2, nullptr, 0},
      {padValue, 2, nullptr, 0},   {attrs[3], 2, nullptr, 0},  {op, 1, nullptr, 0},
      {dataHead, dataHeadLength, bytes, length},
  };
  for (const Piece& p : pieces) {
    XLData* t = NewToken(ctx, p.head, p.headLength, p.body, p.bodyLength);
    if (t == nullptr) {
      XLDataListFree(ctx, fresh);
      return -1;
    }
    if (p.head == op) {
      t->value = t->raw() + 1;
      t->valueLength = 0;
    } else if (p.head == attrs[0] || p.head == attrs[1] || p.head == attrs[2] || p.head == attrs[3]) {
      t->value = t->raw() + 1;
      t->valueLength = 1;
    }
    fresh = XLListAddTail(fresh, t);
  }
  *list = XLListAddTail(*list, fresh);
  return 0;
}

void DeleteReadImage(UmpdJobContext* ctx, XLData** list) {
  int count = 0;
  XLData* begin = FindOperator(*list, XL_OP_BEGINIMAGE, &count);
  if (begin == nullptr) return;
  while (begin->next != *list) {
    XLData* n = begin->next;
    XLListRemove(n);
    XLDataFree(ctx, n);
  }
}

int SetBeginImage(UmpdJobContext*, XLData** list, BYTE value) {
  XLData* v = SearchAttributeData(*list, XL_ATTR_COLORMAPPING);
  if (v == nullptr || v->tag != XL_TAG_UBYTE) return -1;
  v->value[0] = value;
  return 0;
}

int SetColorSpaceGray(XLData** list) {
  XLData* v = SearchAttributeData(*list, XL_ATTR_COLORSPACE);
  if (v == nullptr || v->tag != XL_TAG_UBYTE) return -1;
  v->value[0] = XLCC_SPACE_GRAY;
  return 0;
}

int OutputReadImage(UmpdJobContext* ctx, XLData** list, ImageRotCompResult* r) {
  XLData* fresh = nullptr;
  if (SetReadImage(ctx, &fresh, r) != 0) return -1;
  DeleteReadImage(ctx, list);
  *list = XLListAddTail(*list, fresh);
  if (r->jpeg != 0) SetBeginImage(ctx, list, XLCC_MAPPING_DIRECT);
  XLData* mode = SearchAttributeData(fresh, XL_ATTR_COMPRESSMODE);
  XLData* data = SearchEmbedData(fresh);
  Logout_OutputString(u"kestrelum: image: %lu x %lu, CompressMode %d, %lu bytes (uncompressed %lu)", r->width,
                      r->height, mode != nullptr ? mode->value[0] : -1,
                      data != nullptr ? static_cast<DWORD>(data->valueLength) : 0UL,
                      static_cast<DWORD>(r->uncompressedSize));
  return 0;
}

int OutputImageData(UmpdJobContext* ctx, XLData** list) {
  if (ctx->imageGathering && ctx->imageCheck) {
    ImageDesc img;
    if (GetImageDescription(*list, &img) == 0) {
      auto param = reinterpret_cast<NIE_CreateParam32_t>(Slot(ctx, COLORCONV_SLOT_NIE_PARAM));
      void* handle = Slot(ctx, COLORCONV_SLOT_NIE_HANDLE);
      // The library takes width x height B, G, R pixels of every image;
      // an image whose pixels cannot be made counts as refused.
      BYTE* pixels = LibraryPixels(&img);
      const bool taken = param != nullptr && handle != nullptr && pixels != nullptr &&
                         param(handle, pixels, static_cast<int32_t>(img.width), static_cast<int32_t>(img.height)) == 0;
      if (pixels != nullptr && pixels != img.data) GlobalFree(pixels);
      FreeDesc(&img);
      if (taken) {  // held (with its rotation mark) until the link ends
        ctx->imageList = XLListAddTail(ctx->imageList, *list);
        *list = nullptr;
        return XLCC_HELD;
      }
      // Refused: the set is closed, the images collected so far go out
      // first, and linking ends.
      ctx->imageCheck = FALSE;
      if (OutputNIESpool(ctx) != 0) return XLCC_ERROR;
      XLData* before = ctx->imageList;
      ctx->imageList = nullptr;
      ctx->imageGathering = FALSE;
      const int r = Reencode(ctx, list, false);
      *list = XLListAddTail(before, *list);
      return r;
    }
  }
  return Reencode(ctx, list, false);
}

int OutputNIESpool(UmpdJobContext* ctx) {
  const bool nie = ctx->imageCheck != FALSE;
  XLData* in = ctx->imageList;
  ctx->imageList = nullptr;
  XLData* out = nullptr;
  XLData* image = nullptr;  // SetColorSpace ... ReadImage and its data of the image being gathered
  XLData* group = nullptr;  // tokens since the last operator
  bool failed = false;
  while (in != nullptr) {
    XLData* n = in;
    in = XLListRemove(n);
    if (IsEmbedData(n)) {  // belongs to the operator before it
      if (image != nullptr) {
        image = XLListAddTail(image, n);
      } else {
        out = XLListAddTail(out, n);
      }
      continue;
    }
    group = XLListAddTail(group, n);
    if (!IsOperator(n)) continue;
    if (image == nullptr && n->tag == XL_OP_SETCOLORSPACE) {
      image = group;
    } else if (image != nullptr && n->tag == XL_OP_ENDIMAGE) {
      if (Reencode(ctx, &image, nie) != XLCC_PASS) failed = true;
      out = XLListAddTail(out, image);
      out = XLListAddTail(out, group);
      image = nullptr;
    } else if (image != nullptr) {
      image = XLListAddTail(image, group);
    } else {
      out = XLListAddTail(out, group);
    }
    group = nullptr;
  }
  if (image != nullptr) {
    Image_RemoveRotationMark(ctx, &image);
    out = XLListAddTail(out, image);
  }
  out = XLListAddTail(out, group);
  ctx->imageList = out;
  if (failed) {
    ctx->ok.store(0);
    return -1;
  }
  return 0;
}

void Image_ExitJob(UmpdJobContext* ctx) {
  imgrot_DeleteHandle(&ctx->xlcc.rotation);
  tempFile* f = &ctx->xlcc.compressFile;
  const bool none = (f->file == nullptr || f->file == INVALID_HANDLE_VALUE) && f->path[0] == 0;
  if (!none) tempFile_closeAndDelete(f);
}
