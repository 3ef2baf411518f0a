// Primitive writers: tags, little-endian numbers, values, arrays and embedded
// data. Every byte of both builds passes xl_put.
#include <cstring>

#include "kestrel/render/xl.h"
#include "xl_local.h"

int xl_put(XlContext* ctx, const void* bytes, DWORD n) {
  if (n == 0) return 0;
#if defined(KXL_BUILD_KM)
  return pswrite(&ctx->out, bytes, n) == 1 ? 0 : -1;
#else
  if (ctx->put == nullptr) return -1;
  int32_t r = ctx->put(ctx->sink, n, bytes);
  return r >= 0 && static_cast<DWORD>(r) == n ? 0 : -1;
#endif
}

#if defined(KXL_BUILD_KM)
void xl_initcontext(XlContext* ctx, XlPrinter printer) {
  std::memset(ctx, 0, sizeof(*ctx));
  ctx->out.printer = printer;
  psinitbuf(&ctx->out);
  xl_initcgs(ctx);
  xl_reset_convctm(&ctx->convctm);
}
#else
void xl_initcontext(XlContext* ctx, XlPutFn put, void* sink) {
  std::memset(ctx, 0, sizeof(*ctx));
  ctx->put = put;
  ctx->sink = sink;
  xl_initcgs(ctx);
  xl_reset_convctm(&ctx->convctm);
}
#endif

void xl_reset_convctm(XlConvCtm* ctm) {
  ctm->originX = 0;
  ctm->originY = 0;
  ctm->rotation = 0;
  ctm->scaleX = 1.0f;
  ctm->scaleY = 1.0f;
}

int xl_tag(XlContext* ctx, BYTE tag) { return xl_put(ctx, &tag, 1); }
int xlputubyte(XlContext* ctx, BYTE v) { return xl_put(ctx, &v, 1); }

int xlputuint16(XlContext* ctx, WORD v) {
  BYTE b[2] = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8)};
  return xl_put(ctx, b, 2);
}

int xlputsint16(XlContext* ctx, SHORT v) { return xlputuint16(ctx, static_cast<WORD>(v)); }

int xlputuint32(XlContext* ctx, DWORD v) {
  BYTE b[4];
  kp_StoreU32(b, v);
  return xl_put(ctx, b, 4);
}

int xlputreal32(XlContext* ctx, float v) {
  uint32_t bits;
  static_assert(sizeof(bits) == sizeof(v));
  std::memcpy(&bits, &v, sizeof(bits));
  return xlputuint32(ctx, bits);
}

int xlputbulkdata(XlContext* ctx, const void* bytes, DWORD n) {
  if (n > 0 && bytes == nullptr) return -1;
  return xl_put(ctx, bytes, n);
}

int xl_attribute(XlContext* ctx, WORD id) {
  if (id < 256) {
    BYTE b[2] = {XL_TAG_ATTR_UBYTE, static_cast<BYTE>(id)};
    return xl_put(ctx, b, 2);
  }
  BYTE b[3] = {XL_TAG_ATTR_UINT16, static_cast<BYTE>(id), static_cast<BYTE>(id >> 8)};
  return xl_put(ctx, b, 3);
}

int xl_data_ubyte(XlContext* ctx, BYTE v) {
  BYTE b[2] = {XL_TAG_UBYTE, v};
  return xl_put(ctx, b, 2);
}

int xl_data_uint16(XlContext* ctx, WORD v) {
  BYTE b[3] = {XL_TAG_UINT16, static_cast<BYTE>(v), static_cast<BYTE>(v >> 8)};
  return xl_put(ctx, b, 3);
}

int xl_data_uint32(XlContext* ctx, DWORD v) {
  BYTE b[5] = {XL_TAG_UINT32};
  kp_StoreU32(b + 1, v);
  return xl_put(ctx, b, 5);
}

int xl_data_sint16(XlContext* ctx, SHORT v) {
  BYTE b[3] = {XL_TAG_SINT16, static_cast<BYTE>(v), static_cast<BYTE>(static_cast<WORD>(v) >> 8)};
  return xl_put(ctx, b, 3);
}

int xl_data_real32(XlContext* ctx, float v) {
  if (xl_tag(ctx, XL_TAG_REAL32) != 0) return -1;
  return xlputreal32(ctx, v);
}

int xl_data_ubyte_xy(XlContext* ctx, BYTE x, BYTE y) {
  BYTE b[3] = {XL_TAG_UBYTE_XY, x, y};
  return xl_put(ctx, b, 3);
}

static int put_u16_group(XlContext* ctx, BYTE tag, const WORD* v, int n) {
  BYTE b[9];
  b[0] = tag;
  for (int i = 0; i < n; ++i) {
    b[1 + 2 * i] = static_cast<BYTE>(v[i]);
    b[2 + 2 * i] = static_cast<BYTE>(v[i] >> 8);
  }
  return xl_put(ctx, b, static_cast<DWORD>(1 + 2 * n));
}

int xl_data_uint16_xy(XlContext* ctx, WORD x, WORD y) {
  WORD v[2] = {x, y};
  return put_u16_group(ctx, XL_TAG_UINT16_XY, v, 2);
}

int xl_data_sint16_xy(XlContext* ctx, SHORT x, SHORT y) {
  WORD v[2] = {static_cast<WORD>(x), static_cast<WORD>(y)};
  return put_u16_group(ctx, XL_TAG_SINT16_XY, v, 2);
}

int xl_data_real32_xy(XlContext* ctx, float x, float y) {
  if (xl_tag(ctx, XL_TAG_REAL32_XY) != 0) return -1;
  if (xlputreal32(ctx, x) != 0) return -1;
  return xlputreal32(ctx, y);
}

int xl_data_ubyte_box(XlContext* ctx, BYTE x1, BYTE y1, BYTE x2, BYTE y2) {
  BYTE b[5] = {XL_TAG_UBYTE_BOX, x1, y1, x2, y2};
  return xl_put(ctx, b, 5);
}

int xl_data_sint16_box(XlContext* ctx, SHORT x1, SHORT y1, SHORT x2, SHORT y2) {
  WORD v[4] = {static_cast<WORD>(x1), static_cast<WORD>(y1), static_cast<WORD>(x2), static_cast<WORD>(y2)};
  return put_u16_group(ctx, XL_TAG_SINT16_BOX, v, 4);
}

static bool in_ubyte(int32_t v) { return v >= 0 && v <= 255; }
static bool in_sint16(int32_t v) { return v >= -32768 && v <= 32767; }

int xl_data_s16or8_xy(XlContext* ctx, int32_t x, int32_t y) {
  if (in_ubyte(x) && in_ubyte(y)) return xl_data_ubyte_xy(ctx, static_cast<BYTE>(x), static_cast<BYTE>(y));
  if (!in_sint16(x) || !in_sint16(y)) return -1;
  return xl_data_sint16_xy(ctx, static_cast<SHORT>(x), static_cast<SHORT>(y));
}

int xl_data_s16or8_box(XlContext* ctx, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (in_ubyte(x1) && in_ubyte(y1) && in_ubyte(x2) && in_ubyte(y2))
    return xl_data_ubyte_box(ctx, static_cast<BYTE>(x1), static_cast<BYTE>(y1), static_cast<BYTE>(x2),
                             static_cast<BYTE>(y2));
  if (!in_sint16(x1) || !in_sint16(y1) || !in_sint16(x2) || !in_sint16(y2)) return -1;
  return xl_data_sint16_box(ctx, static_cast<SHORT>(x1), static_cast<SHORT>(y1), static_cast<SHORT>(x2),
                            static_cast<SHORT>(y2));
}

// ---- arrays ------------------------------------------------------------------

static int array_hdr(XlContext* ctx, BYTE tag, DWORD count) {
  if (count > 0xFFFF) return -1;
  if (count < 256) {
    BYTE b[3] = {tag, XL_TAG_UBYTE, static_cast<BYTE>(count)};
    return xl_put(ctx, b, 3);
  }
  BYTE b[4] = {tag, XL_TAG_UINT16, static_cast<BYTE>(count), static_cast<BYTE>(count >> 8)};
  return xl_put(ctx, b, 4);
}

// Elements of 16 bits go out little-endian through a small stack buffer.
static int put_u16_elements(XlContext* ctx, const WORD* v, DWORD count) {
  if (count > 0 && v == nullptr) return -1;
  BYTE chunk[512];
  DWORD done = 0;
  while (done < count) {
    DWORD n = count - done;
    if (n > sizeof(chunk) / 2) n = sizeof(chunk) / 2;
    for (DWORD i = 0; i < n; ++i) {
      chunk[2 * i] = static_cast<BYTE>(v[done + i]);
      chunk[2 * i + 1] = static_cast<BYTE>(v[done + i] >> 8);
    }
    if (xl_put(ctx, chunk, 2 * n) != 0) return -1;
    done += n;
  }
  return 0;
}

int xl_data_ubyte_array_hdr(XlContext* ctx, DWORD count) { return array_hdr(ctx, XL_TAG_UBYTE_ARRAY, count); }

int xl_data_ubyte_array_data(XlContext* ctx, const BYTE* v, DWORD count) {
  if (count > 0 && v == nullptr) return -1;
  return xl_put(ctx, v, count);
}

int xl_data_ubyte_array(XlContext* ctx, const BYTE* v, DWORD count) {
  if (count > 0xFFFF || (count > 0 && v == nullptr)) return -1;
  if (xl_data_ubyte_array_hdr(ctx, count) != 0) return -1;
  return xl_data_ubyte_array_data(ctx, v, count);
}

int xl_data_uint16_array_hdr(XlContext* ctx, DWORD count) { return array_hdr(ctx, XL_TAG_UINT16_ARRAY, count); }

int xl_data_uint16_array_data(XlContext* ctx, const WORD* v, DWORD count) { return put_u16_elements(ctx, v, count); }

int xl_data_uint16_array(XlContext* ctx, const WORD* v, DWORD count) {
  if (count > 0xFFFF || (count > 0 && v == nullptr)) return -1;
  if (xl_data_uint16_array_hdr(ctx, count) != 0) return -1;
  return xl_data_uint16_array_data(ctx, v, count);
}

int xl_data_sint16_array_hdr(XlContext* ctx, DWORD count) { return array_hdr(ctx, XL_TAG_SINT16_ARRAY, count); }

int xl_data_sint16_array_data(XlContext* ctx, const SHORT* v, DWORD count) {
  static_assert(sizeof(SHORT) == sizeof(WORD));
  return put_u16_elements(ctx, reinterpret_cast<const WORD*>(v), count);
}

int xl_data_sint16_array(XlContext* ctx, const SHORT* v, DWORD count) {
  if (count > 0xFFFF || (count > 0 && v == nullptr)) return -1;
  if (xl_data_sint16_array_hdr(ctx, count) != 0) return -1;
  return xl_data_sint16_array_data(ctx, v, count);
}

// ---- embedded data -------------------------------------------------------

int xl_embeddeddata_hdr(XlContext* ctx, DWORD n) {
  if (n < 256) {
    BYTE b[2] = {XL_TAG_DATA_LENGTH_BYTE, static_cast<BYTE>(n)};
    return xl_put(ctx, b, 2);
  }
  BYTE b[5] = {XL_TAG_DATA_LENGTH};
  kp_StoreU32(b + 1, n);
  return xl_put(ctx, b, 5);
}

int xl_embeddeddata_data(XlContext* ctx, const void* bytes, DWORD n) { return xlputbulkdata(ctx, bytes, n); }

int xl_embeddeddata(XlContext* ctx, const void* bytes, DWORD n) {
  if (n > 0 && bytes == nullptr) return -1;
  if (xl_embeddeddata_hdr(ctx, n) != 0) return -1;
  return xl_embeddeddata_data(ctx, bytes, n);
}
