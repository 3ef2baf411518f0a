// The font, character and character-state operators, with the suppression
// of character-state values equal to the last ones sent (XlFontState).
#include <cstring>

#include "kestrel/render/xl.h"
#include "xl_local.h"

namespace {

bool NameOk(DWORD length, const char* name) {
  return name && length > 0 && length < static_cast<DWORD>(XL_FONTNAME_MAX);
}

int PutName(XlContext* ctx, DWORD length, const char* name) {
  if (xl_data_ubyte_array(ctx, reinterpret_cast<const BYTE*>(name), length) != 0) return -1;
  return xl_attribute(ctx, XL_ATTR_FONTNAME);
}

int NamedOp(XlContext* ctx, DWORD length, const char* name, BYTE op) {
  if (!NameOk(length, name)) return -1;
  if (PutName(ctx, length, name) != 0) return -1;
  return xl_tag(ctx, op);
}

bool SameName(const XlFontState& f, DWORD length, const char* name) {
  return std::strlen(f.fontName) == length && std::memcmp(f.fontName, name, length) == 0;
}

int AngleOp(XlContext* ctx, WORD angle) {
  if (xl_data_uint16(ctx, angle) != 0 || xl_attribute(ctx, XL_ATTR_CHARANGLE) != 0) return -1;
  return xl_tag(ctx, XL_OP_SETCHARANGLE);
}

}  // namespace

int xl_BeginFontHeader(XlContext* ctx, DWORD length, const char* name) {
  if (!NameOk(length, name)) return -1;
  if (PutName(ctx, length, name) != 0) return -1;
  if (xl_data_ubyte(ctx, 0) != 0 || xl_attribute(ctx, XL_ATTR_FONTFORMAT) != 0) return -1;
  return xl_tag(ctx, XL_OP_BEGINFONTHEADER);
}

int xl_ReadFontHeader(XlContext* ctx, DWORD length, const void* data) {
  if (length == 0 || length > 0xFFFF || !data) return -1;
  if (xl_data_uint16(ctx, static_cast<WORD>(length)) != 0 || xl_attribute(ctx, XL_ATTR_FONTHEADERLENGTH) != 0)
    return -1;
  if (xl_tag(ctx, XL_OP_READFONTHEADER) != 0) return -1;
  return xl_embeddeddata(ctx, data, length);
}

int xl_EndFontHeader(XlContext* ctx) { return xl_tag(ctx, XL_OP_ENDFONTHEADER); }

int xl_BeginChar(XlContext* ctx, DWORD length, const char* name) {
  return NamedOp(ctx, length, name, XL_OP_BEGINCHAR);
}

int xl_ReadChar(XlContext* ctx, WORD code, DWORD size, const void* data) {
  if (size == 0 || !data) return -1;
  if (xl_data_uint16(ctx, code) != 0 || xl_attribute(ctx, XL_ATTR_CHARCODE) != 0) return -1;
  if (xl_data_uint32(ctx, size) != 0 || xl_attribute(ctx, XL_ATTR_CHARDATASIZE) != 0) return -1;
  if (xl_tag(ctx, XL_OP_READCHAR) != 0) return -1;
  return xl_embeddeddata(ctx, data, size);
}

int xl_EndChar(XlContext* ctx) { return xl_tag(ctx, XL_OP_ENDCHAR); }

int xl_RemoveFont(XlContext* ctx, DWORD length, const char* name) {
  return NamedOp(ctx, length, name, XL_OP_REMOVEFONT);
}

int xl_SetFont(XlContext* ctx, DWORD length, const char* name, float charSize, WORD symbolSet) {
  if (!NameOk(length, name)) return -1;
  XlFontState& f = ctx->font;
  if (!f.reset && SameName(f, length, name) && f.charSize == charSize && f.symbolSet == symbolSet) return 0;
  std::memset(f.fontName, 0, sizeof(f.fontName));
  std::memcpy(f.fontName, name, length);
  f.charSize = charSize;
  f.symbolSet = symbolSet;
  if (PutName(ctx, length, name) != 0) return -1;
  if (xl_data_real32(ctx, charSize) != 0 || xl_attribute(ctx, XL_ATTR_CHARSIZE) != 0) return -1;
  if (xl_data_uint16(ctx, symbolSet) != 0 || xl_attribute(ctx, XL_ATTR_SYMBOLSET) != 0) return -1;
  return xl_tag(ctx, XL_OP_SETFONT);
}

int xl_SetCharAngle(XlContext* ctx, WORD angle) {
  XlFontState& f = ctx->font;
  if (!f.reset && f.charAngle == angle) return 0;
  f.charAngle = angle;
  return AngleOp(ctx, angle);
}

int xl_SetCharScale(XlContext* ctx, float x, float y) {
  XlFontState& f = ctx->font;
  if (!f.reset && f.charScaleX == x && f.charScaleY == y) return 0;
  f.charScaleX = x;
  f.charScaleY = y;
  if (xl_data_real32_xy(ctx, x, y) != 0 || xl_attribute(ctx, XL_ATTR_CHARSCALE) != 0) return -1;
  if (xl_tag(ctx, XL_OP_SETCHARSCALE) != 0) return -1;
  return f.reset ? 0 : AngleOp(ctx, f.charAngle);
}

int xl_SetCharShear(XlContext* ctx, float x, float y) {
  XlFontState& f = ctx->font;
  if (!f.reset && f.charShearX == x && f.charShearY == y) return 0;
  f.charShearX = x;
  f.charShearY = y;
  if (xl_data_real32_xy(ctx, x, y) != 0 || xl_attribute(ctx, XL_ATTR_CHARSHEAR) != 0) return -1;
  if (xl_tag(ctx, XL_OP_SETCHARSHEAR) != 0) return -1;
  return f.reset ? 0 : AngleOp(ctx, f.charAngle);
}

int xl_SetCharBoldValue(XlContext* ctx, float value) {
  XlFontState& f = ctx->font;
  if (!f.reset && f.boldValue == value) return 0;
  f.boldValue = value;
  if (xl_data_real32(ctx, value) != 0 || xl_attribute(ctx, XL_ATTR_CHARBOLDVALUE) != 0) return -1;
  return xl_tag(ctx, XL_OP_SETCHARBOLDVALUE);
}

int xl_SetCharSubMode(XlContext* ctx, DWORD length, const BYTE* modes) {
  if (length == 0 || !modes) return -1;
  XlFontState& f = ctx->font;
  if (!f.reset && f.subMode == modes[0]) return 0;
  f.subMode = modes[0];
  if (xl_data_ubyte_array(ctx, modes, length) != 0 || xl_attribute(ctx, XL_ATTR_CHARSUBMODEARRAY) != 0) return -1;
  return xl_tag(ctx, XL_OP_SETCHARSUBMODE);
}

int xl_SetCharAttributes(XlContext* ctx, BYTE writingMode) {
  XlFontState& f = ctx->font;
  if (!f.reset && f.writingMode == writingMode) return 0;
  f.writingMode = writingMode;
  if (xl_data_ubyte(ctx, writingMode) != 0 || xl_attribute(ctx, XL_ATTR_WRITINGMODE) != 0) return -1;
  return xl_tag(ctx, XL_OP_SETCHARATTRIBUTES);
}

int xl_Text(XlContext* ctx, DWORD count, const WORD* codes, BOOL hasX, BOOL hasY, const SHORT* xSpacing,
            const SHORT* ySpacing) {
  if (count == 0 || count > 0xFFFF || !codes || (hasX && !xSpacing) || (hasY && !ySpacing)) return -1;
  if (xl_data_uint16_array(ctx, codes, count) != 0 || xl_attribute(ctx, XL_ATTR_TEXTDATA) != 0) return -1;
  if (hasX && (xl_data_sint16_array(ctx, xSpacing, count) != 0 || xl_attribute(ctx, XL_ATTR_XSPACINGDATA) != 0))
    return -1;
  if (hasY && (xl_data_sint16_array(ctx, ySpacing, count) != 0 || xl_attribute(ctx, XL_ATTR_YSPACINGDATA) != 0))
    return -1;
  if (xl_tag(ctx, XL_OP_TEXT) != 0) return -1;
  ctx->font.reset = FALSE;
  return 0;
}
