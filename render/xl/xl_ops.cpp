// Operator writers, the system's comments and the graphics-state cache.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "kestrel/render/xl.h"
#include "xl_local.h"

// attribute written with a ubyte value
static int attr_ubyte(XlContext* ctx, BYTE value, WORD id) {
  if (xl_data_ubyte(ctx, value) != 0) return -1;
  return xl_attribute(ctx, id);
}

static int attr_uint16(XlContext* ctx, WORD value, WORD id) {
  if (xl_data_uint16(ctx, value) != 0) return -1;
  return xl_attribute(ctx, id);
}

// ---- session, page, data source ----------------------------------------------

int xl_beginsession(XlContext* ctx, WORD unitsX, WORD unitsY, BYTE measure, BYTE errorReport) {
  if (xl_data_uint16_xy(ctx, unitsX, unitsY) != 0 || xl_attribute(ctx, XL_ATTR_UNITSPERMEASURE) != 0) return -1;
  if (attr_ubyte(ctx, measure, XL_ATTR_MEASURE) != 0) return -1;
  if (attr_ubyte(ctx, errorReport, XL_ATTR_ERRORREPORT) != 0) return -1;
  return xl_tag(ctx, XL_OP_BEGINSESSION);
}

int xl_endsession(XlContext* ctx) { return xl_tag(ctx, XL_OP_ENDSESSION); }

static bool left_out(WORD v) { return (v & XL_LEAVE_OUT) != 0; }

int xl_beginpage(XlContext* ctx, const XlBeginPage* p) {
  if (p == nullptr) return -1;
  const bool custom = (p->mediaSize & 0x8000) != 0;
  const bool withSource = static_cast<SHORT>(p->mediaSource) >= 0;
  const bool withDuplex = !left_out(p->duplexMode);
  const bool withSide = withDuplex && !left_out(p->duplexSide);
  const size_t typeLength = p->mediaType != nullptr ? std::strlen(p->mediaType) : 0;
  // Values that are written must fit their ubyte; refuse before writing.
  if (p->orientation > 255 || (withSource && p->mediaSource > 255) || (!custom && p->mediaSize > 255) ||
      (!left_out(p->destination) && p->destination > 255) || (!left_out(p->simplexMode) && p->simplexMode > 255) ||
      (withDuplex && p->duplexMode > 255) || (withSide && p->duplexSide > 255) || typeLength > 0xFFFF)
    return -1;

  if (attr_ubyte(ctx, static_cast<BYTE>(p->orientation), XL_ATTR_ORIENTATION) != 0) return -1;
  if (withSource && attr_ubyte(ctx, static_cast<BYTE>(p->mediaSource), XL_ATTR_MEDIASOURCE) != 0) return -1;
  if (custom) {
    if (xl_data_real32_xy(ctx, p->customWidth, p->customHeight) != 0 ||
        xl_attribute(ctx, XL_ATTR_CUSTOMMEDIASIZE) != 0)
      return -1;
    if (attr_ubyte(ctx, p->customUnits, XL_ATTR_CUSTOMMEDIASIZEUNITS) != 0) return -1;
  } else if (attr_ubyte(ctx, static_cast<BYTE>(p->mediaSize), XL_ATTR_MEDIASIZE) != 0) {
    return -1;
  }
  if (typeLength > 0) {
    if (xl_data_ubyte_array(ctx, reinterpret_cast<const BYTE*>(p->mediaType), static_cast<DWORD>(typeLength)) != 0 ||
        xl_attribute(ctx, XL_ATTR_MEDIATYPE) != 0)
      return -1;
  }
  if (!left_out(p->destination) &&
      attr_ubyte(ctx, static_cast<BYTE>(p->destination), XL_ATTR_MEDIADESTINATION) != 0)
    return -1;
  if (!left_out(p->simplexMode) &&
      attr_ubyte(ctx, static_cast<BYTE>(p->simplexMode), XL_ATTR_SIMPLEXPAGEMODE) != 0)
    return -1;
  if (withDuplex && attr_ubyte(ctx, static_cast<BYTE>(p->duplexMode), XL_ATTR_DUPLEXPAGEMODE) != 0) return -1;
  if (withSide && attr_ubyte(ctx, static_cast<BYTE>(p->duplexSide), XL_ATTR_DUPLEXPAGESIDE) != 0) return -1;
  return xl_tag(ctx, XL_OP_BEGINPAGE);
}

int xl_endpage(XlContext* ctx, WORD copies) {
  if (copies != 0 && attr_uint16(ctx, copies, XL_ATTR_PAGECOPIES) != 0) return -1;
  return xl_tag(ctx, XL_OP_ENDPAGE);
}

int xl_comment(XlContext* ctx, const char* text) {
  const size_t n = text != nullptr ? std::strlen(text) : 0;
  if (n > 0xFFFF) return -1;
  if (xl_data_ubyte_array(ctx, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(n)) != 0) return -1;
  if (xl_attribute(ctx, XL_ATTR_COMMENTDATA) != 0) return -1;
  return xl_tag(ctx, XL_OP_COMMENT);
}

int xl_opendatasource(XlContext* ctx) {
  if (attr_ubyte(ctx, 0, XL_ATTR_SOURCETYPE) != 0) return -1;
  if (attr_ubyte(ctx, 1, XL_ATTR_DATAORG) != 0) return -1;
  return xl_tag(ctx, XL_OP_OPENDATASOURCE);
}

int xl_closedatasource(XlContext* ctx) { return xl_tag(ctx, XL_OP_CLOSEDATASOURCE); }

// The stream name always takes the uint16 length form.
static int stream_op(XlContext* ctx, const BYTE* name, WORD length, BYTE op) {
  if (length > 0 && name == nullptr) return -1;
  BYTE hdr[4] = {XL_TAG_UBYTE_ARRAY, XL_TAG_UINT16, static_cast<BYTE>(length), static_cast<BYTE>(length >> 8)};
  if (xl_put(ctx, hdr, 4) != 0 || xl_put(ctx, name, length) != 0) return -1;
  if (xl_attribute(ctx, XL_ATTR_STREAMNAME) != 0) return -1;
  return xl_tag(ctx, op);
}

int xl_beginstream(XlContext* ctx, const BYTE* name, WORD length) {
  return stream_op(ctx, name, length, XL_OP_BEGINSTREAM);
}
int xl_execstream(XlContext* ctx, const BYTE* name, WORD length) {
  return stream_op(ctx, name, length, XL_OP_EXECSTREAM);
}

int xl_readstream(XlContext* ctx, DWORD length) {
  if (xl_data_uint32(ctx, length) != 0 || xl_attribute(ctx, XL_ATTR_STREAMDATALENGTH) != 0) return -1;
  return xl_tag(ctx, XL_OP_READSTREAM);
}

int xl_popgs(XlContext* ctx) { return xl_tag(ctx, XL_OP_POPGS); }
int xl_pushgs(XlContext* ctx) { return xl_tag(ctx, XL_OP_PUSHGS); }

int xl_setclipreplace(XlContext* ctx, BYTE region) {
  if (attr_ubyte(ctx, region, XL_ATTR_CLIPREGION) != 0) return -1;
  return xl_tag(ctx, XL_OP_SETCLIPREPLACE);
}

int xl_setcliptopage(XlContext* ctx) { return xl_tag(ctx, XL_OP_SETCLIPTOPAGE); }

// ---- brush and pen -------------------------------------------------------

int xl_setbrushsource_null(XlContext* ctx) {
  if (attr_ubyte(ctx, 0, XL_ATTR_NULLBRUSH) != 0) return -1;
  return xl_tag(ctx, XL_OP_SETBRUSHSOURCE);
}

int xl_setbrushsource_gray(XlContext* ctx, BYTE gray) {
  if (attr_ubyte(ctx, gray, XL_ATTR_GRAYLEVEL) != 0) return -1;
  return xl_tag(ctx, XL_OP_SETBRUSHSOURCE);
}

static int rgb_source(XlContext* ctx, BYTE blue, BYTE green, BYTE red, BYTE op) {
  const BYTE rgb[3] = {red, green, blue};
  if (xl_data_ubyte_array(ctx, rgb, 3) != 0 || xl_attribute(ctx, XL_ATTR_RGBCOLOR) != 0) return -1;
  return xl_tag(ctx, op);
}

int xl_setbrushsource_rgb(XlContext* ctx, BYTE blue, BYTE green, BYTE red) {
  return rgb_source(ctx, blue, green, red, XL_OP_SETBRUSHSOURCE);
}
int xl_setpensource_rgb(XlContext* ctx, BYTE blue, BYTE green, BYTE red) {
  return rgb_source(ctx, blue, green, red, XL_OP_SETPENSOURCE);
}

static int pattern_source(XlContext* ctx, SHORT id, SHORT ox, SHORT oy, WORD dw, WORD dh, BYTE op) {
  if (xl_data_sint16(ctx, id) != 0 || xl_attribute(ctx, XL_ATTR_PATTERNSELECTID) != 0) return -1;
  if (ox != 0 || oy != 0) {
    if (xl_data_sint16_xy(ctx, ox, oy) != 0 || xl_attribute(ctx, XL_ATTR_PATTERNORIGIN) != 0) return -1;
  }
  if (dw != 0 && dh != 0) {
    if (xl_data_uint16_xy(ctx, dw, dh) != 0 || xl_attribute(ctx, XL_ATTR_NEWDESTINATIONSIZE) != 0) return -1;
  }
  return xl_tag(ctx, op);
}

int xl_setbrushsource_pattern(XlContext* ctx, SHORT id, SHORT ox, SHORT oy, WORD dw, WORD dh) {
  return pattern_source(ctx, id, ox, oy, dw, dh, XL_OP_SETBRUSHSOURCE);
}
int xl_setpensource_pattern(XlContext* ctx, SHORT id, SHORT ox, SHORT oy, WORD dw, WORD dh) {
  return pattern_source(ctx, id, ox, oy, dw, dh, XL_OP_SETPENSOURCE);
}

int xl_setpensource_null(XlContext* ctx) {
  if (attr_ubyte(ctx, 0, XL_ATTR_NULLPEN) != 0) return -1;
  return xl_tag(ctx, XL_OP_SETPENSOURCE);
}

// ---- colour space ----------------------------------------------------------

int xl_setcolorspace_simple(XlContext* ctx, BYTE colorSpace, BYTE objectKind) {
  if (attr_ubyte(ctx, colorSpace, XL_ATTR_COLORSPACE) != 0) return -1;
  if (attr_ubyte(ctx, objectKind, XL_ATTR_OBJECTKIND) != 0) return -1;
  return xl_tag(ctx, XL_OP_SETCOLORSPACE);
}

int xl_setcolorspace_palette(XlContext* ctx, BYTE colorSpace, BYTE depth, const BYTE* palette, DWORD length,
                             BYTE objectKind) {
  if (length > 0 && palette == nullptr) return -1;
  const DWORD unit = colorSpace == 2 ? 3 : 1;  // RGB entries are three bytes
  DWORD padded;
  if (length <= 2 * unit)
    padded = 2 * unit;
  else if (length <= 16 * unit)
    padded = 16 * unit;
  else if (length <= 256 * unit)
    padded = 256 * unit;
  else
    return -1;
  if (attr_ubyte(ctx, colorSpace, XL_ATTR_COLORSPACE) != 0) return -1;
  if (attr_ubyte(ctx, depth, XL_ATTR_PALETTEDEPTH) != 0) return -1;
  if (xl_data_ubyte_array_hdr(ctx, padded) != 0 || xl_data_ubyte_array_data(ctx, palette, length) != 0) return -1;
  static const BYTE zeros[64] = {};
  for (DWORD rest = padded - length; rest > 0;) {
    DWORD n = rest < sizeof(zeros) ? rest : static_cast<DWORD>(sizeof(zeros));
    if (xl_put(ctx, zeros, n) != 0) return -1;
    rest -= n;
  }
  if (xl_attribute(ctx, XL_ATTR_PALETTEDATA) != 0) return -1;
  if (attr_ubyte(ctx, objectKind, XL_ATTR_OBJECTKIND) != 0) return -1;
  return xl_tag(ctx, XL_OP_SETCOLORSPACE);
}

// ---- cached settings -----------------------------------------------------

// Writes `value` as a ubyte attribute and operator unless the cache holds it.
static int cached_ubyte(XlContext* ctx, int32_t* cache, BYTE value, WORD id, BYTE op) {
  if (*cache == value) return 0;
  if (attr_ubyte(ctx, value, id) != 0 || xl_tag(ctx, op) != 0) return -1;
  *cache = value;
  return 0;
}

int xl_setfillmode(XlContext* ctx, BYTE mode) {
  return cached_ubyte(ctx, &ctx->cgs.fillMode, mode, XL_ATTR_FILLMODE, XL_OP_SETFILLMODE);
}
int xl_setlinecap(XlContext* ctx, BYTE cap) {
  return cached_ubyte(ctx, &ctx->cgs.lineCap, cap, XL_ATTR_LINECAPSTYLE, XL_OP_SETLINECAP);
}
int xl_setlinejoin(XlContext* ctx, BYTE join) {
  return cached_ubyte(ctx, &ctx->cgs.lineJoin, join, XL_ATTR_LINEJOINSTYLE, XL_OP_SETLINEJOIN);
}
int xl_setpainttxmode(XlContext* ctx, BYTE mode) {
  return cached_ubyte(ctx, &ctx->cgs.paintTxMode, mode, XL_ATTR_TXMODE, XL_OP_SETPAINTTXMODE);
}
int xl_setsourcetxmode(XlContext* ctx, BYTE mode) {
  return cached_ubyte(ctx, &ctx->cgs.sourceTxMode, mode, XL_ATTR_TXMODE, XL_OP_SETSOURCETXMODE);
}
int xl_setrop(XlContext* ctx, BYTE rop3) { return cached_ubyte(ctx, &ctx->cgs.rop3, rop3, XL_ATTR_ROP3, XL_OP_SETROP); }

int xl_setpenwidth(XlContext* ctx, WORD width) {
  if (ctx->cgs.penWidth == width) return 0;
  if (attr_uint16(ctx, width, XL_ATTR_PENWIDTH) != 0 || xl_tag(ctx, XL_OP_SETPENWIDTH) != 0) return -1;
  ctx->cgs.penWidth = width;
  return 0;
}

int xl_setmiterlimit(XlContext* ctx, WORD limit) {
  if (ctx->cgs.miterLimit == limit) return 0;
  if (attr_uint16(ctx, limit, XL_ATTR_MITERLENGTH) != 0 || xl_tag(ctx, XL_OP_SETMITERLIMIT) != 0) return -1;
  ctx->cgs.miterLimit = limit;
  return 0;
}

// MiterLength takes ubyte or uint16 values only: a real32 value is an illegal
// data type to the printer. A real limit is therefore rounded to the nearest
// whole number in 0..65535 and written (and cached) through the uint16 form.
int xl_setmiterlimit_r32(XlContext* ctx, float limit) {
  if (std::isnan(limit)) return -1;
  float whole = std::round(limit);  // halves away from zero
  if (whole < 0.0f) whole = 0.0f;
  if (whole > 65535.0f) whole = 65535.0f;
  return xl_setmiterlimit(ctx, static_cast<WORD>(whole));
}

int xl_setlinedash_solid(XlContext* ctx) {
  if (ctx->cgs.solidLine == 1) return 0;
  if (attr_ubyte(ctx, 0, XL_ATTR_SOLIDLINE) != 0 || xl_tag(ctx, XL_OP_SETLINEDASH) != 0) return -1;
  ctx->cgs.solidLine = 1;
  // The printer's dash pattern is gone: a later dash must be written again.
  ctx->cgs.dashCount = -1;
  return 0;
}

int xl_setlinedash_dash(XlContext* ctx, const WORD* dashes, DWORD count, WORD offset) {
  if (count == 0 || count > 0xFFFF || dashes == nullptr) return -1;
  XlGsCache& c = ctx->cgs;
  const DWORD compared = count < XL_DASH_MAX ? count : XL_DASH_MAX;
  if (c.solidLine == 0 && c.dashCount == static_cast<int32_t>(count) && c.dashOffset == offset &&
      std::memcmp(c.dash, dashes, compared * sizeof(WORD)) == 0)
    return 0;
  if (xl_data_uint16_array(ctx, dashes, count) != 0 || xl_attribute(ctx, XL_ATTR_LINEDASHSTYLE) != 0) return -1;
  if (offset != 0 && attr_uint16(ctx, offset, XL_ATTR_DASHOFFSET) != 0) return -1;
  if (xl_tag(ctx, XL_OP_SETLINEDASH) != 0) return -1;
  c.solidLine = 0;
  if (count <= XL_DASH_MAX) {
    c.dashCount = static_cast<int32_t>(count);
    c.dashOffset = offset;
    std::memcpy(c.dash, dashes, count * sizeof(WORD));
  } else {
    c.dashCount = -1;  // too long to remember
    c.dashOffset = -1;
  }
  return 0;
}

int xl_setclipmode(XlContext* ctx, BYTE mode) {
  if (attr_ubyte(ctx, mode, XL_ATTR_CLIPMODE) != 0) return -1;
  return xl_tag(ctx, XL_OP_SETCLIPMODE);
}

// ---- page transform operators --------------------------------------------

int xl_setpagedefaultctm(XlContext* ctx) { return xl_tag(ctx, XL_OP_SETPAGEDEFAULTCTM); }

int xl_setpageorigin(XlContext* ctx, SHORT x, SHORT y) {
  if (xl_data_sint16_xy(ctx, x, y) != 0 || xl_attribute(ctx, XL_ATTR_PAGEORIGIN) != 0) return -1;
  return xl_tag(ctx, XL_OP_SETPAGEORIGIN);
}

int xl_setpagerotation(XlContext* ctx, int32_t angle) {
  int64_t a = angle;
  if (a < -360)
    a = -((-a - 1) % 360) - 1;
  else if (a > 360)
    a = (a - 1) % 360 + 1;
  if (xl_data_sint16(ctx, static_cast<SHORT>(a)) != 0 || xl_attribute(ctx, XL_ATTR_PAGEANGLE) != 0) return -1;
  return xl_tag(ctx, XL_OP_SETPAGEROTATION);
}

int xl_setpagescale(XlContext* ctx, float x, float y) {
  if (xl_data_real32_xy(ctx, x, y) != 0 || xl_attribute(ctx, XL_ATTR_PAGESCALE) != 0) return -1;
  return xl_tag(ctx, XL_OP_SETPAGESCALE);
}

// ---- paths -----------------------------------------------------------------

int xl_closesubpath(XlContext* ctx) { return xl_tag(ctx, XL_OP_CLOSESUBPATH); }
int xl_newpath(XlContext* ctx) { return xl_tag(ctx, XL_OP_NEWPATH); }
int xl_paintpath(XlContext* ctx) { return xl_tag(ctx, XL_OP_PAINTPATH); }

static DWORD point_size(BYTE pointType) { return pointType == XL_POINT_UBYTE || pointType == XL_POINT_SBYTE ? 2 : 4; }

static int multi_noconv(XlContext* ctx, WORD n, BYTE pointType, const BYTE* data, BYTE op) {
  if (pointType > XL_POINT_SINT16 || (n > 0 && data == nullptr)) return -1;
  if (attr_uint16(ctx, n, XL_ATTR_NUMBEROFPOINTS) != 0) return -1;
  if (attr_ubyte(ctx, pointType, XL_ATTR_POINTTYPE) != 0) return -1;
  if (xl_tag(ctx, op) != 0) return -1;
  return xl_embeddeddata(ctx, data, n * point_size(pointType));
}

int xl_linepath_multi_noconv(XlContext* ctx, WORD n, BYTE pointType, BOOL relative, const BYTE* data) {
  return multi_noconv(ctx, n, pointType, data, relative ? XL_OP_LINERELPATH : XL_OP_LINEPATH);
}
int xl_bezierpath_multi_noconv(XlContext* ctx, WORD n, BYTE pointType, BOOL relative, const BYTE* data) {
  if (n % 3 != 0) return -1;
  return multi_noconv(ctx, n, pointType, data, relative ? XL_OP_BEZIERRELPATH : XL_OP_BEZIERPATH);
}

// ---- images and raster patterns --------------------------------------------

static int image_head(XlContext* ctx, BYTE mapping, BYTE depth, WORD sw, WORD sh, WORD dw, WORD dh) {
  if (attr_ubyte(ctx, mapping, XL_ATTR_COLORMAPPING) != 0) return -1;
  if (attr_ubyte(ctx, depth, XL_ATTR_COLORDEPTH) != 0) return -1;
  if (attr_uint16(ctx, sw, XL_ATTR_SOURCEWIDTH) != 0) return -1;
  if (attr_uint16(ctx, sh, XL_ATTR_SOURCEHEIGHT) != 0) return -1;
  if (xl_data_uint16_xy(ctx, dw, dh) != 0 || xl_attribute(ctx, XL_ATTR_DESTINATIONSIZE) != 0) return -1;
  return 0;
}

int xl_beginimage(XlContext* ctx, BYTE mapping, BYTE depth, WORD sw, WORD sh, WORD dw, WORD dh) {
  if (image_head(ctx, mapping, depth, sw, sh, dw, dh) != 0) return -1;
  return xl_tag(ctx, XL_OP_BEGINIMAGE);
}

static int read_block_hdr(XlContext* ctx, WORD startLine, WORD blockHeight, BYTE compress, BYTE pad, DWORD n,
                          BYTE op) {
  if (attr_uint16(ctx, startLine, XL_ATTR_STARTLINE) != 0) return -1;
  if (attr_uint16(ctx, blockHeight, XL_ATTR_BLOCKHEIGHT) != 0) return -1;
  if (attr_ubyte(ctx, compress, XL_ATTR_COMPRESSMODE) != 0) return -1;
  if (pad != 0 && pad != 4 && attr_ubyte(ctx, pad, XL_ATTR_PADBYTESMULTIPLE) != 0) return -1;
  if (xl_tag(ctx, op) != 0) return -1;
  return xl_embeddeddata_hdr(ctx, n);
}

int xl_readimage_hdr(XlContext* ctx, WORD startLine, WORD blockHeight, BYTE compress, BYTE pad, DWORD n) {
  return read_block_hdr(ctx, startLine, blockHeight, compress, pad, n, XL_OP_READIMAGE);
}
int xl_readimage_data(XlContext* ctx, const void* bytes, DWORD n) { return xlputbulkdata(ctx, bytes, n); }
int xl_endimage(XlContext* ctx) { return xl_tag(ctx, XL_OP_ENDIMAGE); }

int xl_beginrastpattern(XlContext* ctx, BYTE mapping, BYTE depth, WORD sw, WORD sh, WORD dw, WORD dh, SHORT id,
                        BYTE persistence) {
  if (image_head(ctx, mapping, depth, sw, sh, dw, dh) != 0) return -1;
  if (xl_data_sint16(ctx, id) != 0 || xl_attribute(ctx, XL_ATTR_PATTERNDEFINEID) != 0) return -1;
  if (attr_ubyte(ctx, persistence, XL_ATTR_PATTERNPERSISTENCE) != 0) return -1;
  return xl_tag(ctx, XL_OP_BEGINRASTPATTERN);
}

int xl_readrastpattern_hdr(XlContext* ctx, WORD startLine, WORD blockHeight, BYTE compress, BYTE pad, DWORD n) {
  return read_block_hdr(ctx, startLine, blockHeight, compress, pad, n, XL_OP_READRASTPATTERN);
}
int xl_readrastpattern(XlContext* ctx, const void* bytes, DWORD n) { return xlputbulkdata(ctx, bytes, n); }
int xl_endrastpattern(XlContext* ctx) { return xl_tag(ctx, XL_OP_ENDRASTPATTERN); }

// ---- comments of the system ---------------------------------------------------

int xl_colorcomment(XlContext* ctx, int32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), "ZANPC=%02d", static_cast<int>(value & 0xFF));
  return xl_comment(ctx, text);
}

int xl_setcuredrawmode(XlContext* ctx, int32_t a, int32_t b) {
  char text[16];
  std::snprintf(text, sizeof(text), "ZANSR=%02d", static_cast<int>(static_cast<BYTE>(a | (b << 2))));
  return xl_comment(ctx, text);
}

int xl_setunchargedpage(XlContext* ctx) { return xl_comment(ctx, "ZANCC=00"); }

// ---- state -----------------------------------------------------------------

void xl_initcgs(XlContext* ctx) {
  XlGsCache& c = ctx->cgs;
  c.fillMode = -1;
  c.miterLimit = -1;
  c.lineCap = -1;
  c.lineJoin = -1;
  c.solidLine = -1;
  c.dashCount = -1;
  std::memset(c.dash, 0xFF, sizeof(c.dash));
  c.dashOffset = -1;
  c.penWidth = -1;
  c.paintTxMode = -1;
  c.sourceTxMode = -1;
  c.rop3 = -1;
  xl_initfontcgs(ctx);
}

void xl_initfontcgs(XlContext* ctx) {
  XlFontState& f = ctx->font;
  std::memset(&f, 0, sizeof(f));
  std::memcpy(f.fontName, "No Font", sizeof("No Font"));
  f.charScaleX = 1.0f;
  f.charScaleY = 1.0f;
  f.fontCount = 1;
  f.reset = TRUE;
}
