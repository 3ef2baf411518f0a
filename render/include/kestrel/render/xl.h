// The PCL XL operator writer (prefix xl_): binary little-endian PCL XL,
// protocol class 2.1, written token by token into the writer's output.
//
// One set of sources, two builds with the same byte output:
//   kxl_km  (KXL_BUILD_KM): the renderer's writer; every byte goes through the
//           4096-byte output buffer (xl_outbuf.h) and leaves with the engine's
//           printer write.
//   kxl_um  (KXL_BUILD_UM): the spooler side's writer; every byte goes through
//           the put function that the job context installs (its PutData).
// The compile definition comes with the library, so a consumer that links one
// of them sees the matching XlContext.
//
// Every writer takes the writer context first and returns 0 on success or -1
// as soon as one put fails. Nothing is rolled back: a failed call may leave a
// partial token sequence in the output. Where a writer refuses an argument
// (a count that does not fit its encoding, a palette that is too long, a
// matrix that is not finite) it returns -1 before writing anything.
//
// Decisions taken at this interface:
// - Real numbers are IEEE single floats in both builds. The renderer keeps its
//   arithmetic in engine FLOATOBJ values and converts a value to float when
//   it calls a writer; the value that reaches the stream is the same.
// - The values the renderer takes from the devmode or the PDEV (resolution,
//   error-report setting, page orientation, media selections) are plain
//   arguments or fields of XlContext; the renderer fills them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kplatform/wintypes.h"

#if defined(KXL_BUILD_KM) == defined(KXL_BUILD_UM)
#error "define exactly one of KXL_BUILD_KM and KXL_BUILD_UM (link kxl_km or kxl_um)"
#endif

#if defined(KXL_BUILD_KM)
#include "kestrel/render/xl_outbuf.h"
#endif

// ---- value, attribute and operator tags -------------------------------------

enum : BYTE {
  XL_TAG_UBYTE = 0xC0,
  XL_TAG_UINT16 = 0xC1,
  XL_TAG_UINT32 = 0xC2,
  XL_TAG_SINT16 = 0xC3,
  XL_TAG_REAL32 = 0xC5,
  XL_TAG_UBYTE_ARRAY = 0xC8,
  XL_TAG_UINT16_ARRAY = 0xC9,
  XL_TAG_SINT16_ARRAY = 0xCB,
  XL_TAG_UBYTE_XY = 0xD0,
  XL_TAG_UINT16_XY = 0xD1,
  XL_TAG_SINT16_XY = 0xD3,
  XL_TAG_REAL32_XY = 0xD5,
  XL_TAG_UBYTE_BOX = 0xE0,
  XL_TAG_SINT16_BOX = 0xE3,
  XL_TAG_DATA_LENGTH = 0xFA,       // uint32 length follows
  XL_TAG_DATA_LENGTH_BYTE = 0xFB,  // one-byte length follows
  XL_TAG_ATTR_UBYTE = 0xF8,
  XL_TAG_ATTR_UINT16 = 0xF9,
};

enum : BYTE {
  XL_OP_BEGINSESSION = 0x41,
  XL_OP_ENDSESSION = 0x42,
  XL_OP_BEGINPAGE = 0x43,
  XL_OP_ENDPAGE = 0x44,
  XL_OP_COMMENT = 0x47,
  XL_OP_OPENDATASOURCE = 0x48,
  XL_OP_CLOSEDATASOURCE = 0x49,
  XL_OP_BEGINSTREAM = 0x5B,
  XL_OP_READSTREAM = 0x5C,
  XL_OP_ENDSTREAM = 0x5D,
  XL_OP_EXECSTREAM = 0x5E,
  XL_OP_POPGS = 0x60,
  XL_OP_PUSHGS = 0x61,
  XL_OP_SETCLIPREPLACE = 0x62,
  XL_OP_SETBRUSHSOURCE = 0x63,
  XL_OP_SETCLIPRECTANGLE = 0x68,
  XL_OP_SETCLIPTOPAGE = 0x69,
  XL_OP_SETCOLORSPACE = 0x6A,
  XL_OP_SETCURSOR = 0x6B,
  XL_OP_SETFILLMODE = 0x6E,
  XL_OP_SETLINEDASH = 0x70,
  XL_OP_SETLINECAP = 0x71,
  XL_OP_SETLINEJOIN = 0x72,
  XL_OP_SETMITERLIMIT = 0x73,
  XL_OP_SETPAGEDEFAULTCTM = 0x74,
  XL_OP_SETPAGEORIGIN = 0x75,
  XL_OP_SETPAGEROTATION = 0x76,
  XL_OP_SETPAGESCALE = 0x77,
  XL_OP_SETPAINTTXMODE = 0x78,
  XL_OP_SETPENSOURCE = 0x79,
  XL_OP_SETPENWIDTH = 0x7A,
  XL_OP_SETROP = 0x7B,
  XL_OP_SETSOURCETXMODE = 0x7C,
  XL_OP_SETCLIPMODE = 0x7F,
  XL_OP_CLOSESUBPATH = 0x84,
  XL_OP_NEWPATH = 0x85,
  XL_OP_PAINTPATH = 0x86,
  XL_OP_BEGINFONTHEADER = 0x4F,
  XL_OP_READFONTHEADER = 0x50,
  XL_OP_ENDFONTHEADER = 0x51,
  XL_OP_BEGINCHAR = 0x52,
  XL_OP_READCHAR = 0x53,
  XL_OP_ENDCHAR = 0x54,
  XL_OP_REMOVEFONT = 0x55,
  XL_OP_SETCHARATTRIBUTES = 0x56,
  XL_OP_SETCHARANGLE = 0x64,
  XL_OP_SETCHARSCALE = 0x65,
  XL_OP_SETCHARSHEAR = 0x66,
  XL_OP_SETFONT = 0x6F,
  XL_OP_SETCHARBOLDVALUE = 0x7D,
  XL_OP_SETCHARSUBMODE = 0x81,
  XL_OP_TEXT = 0xA8,
  XL_OP_BEZIERPATH = 0x93,
  XL_OP_BEZIERRELPATH = 0x95,
  XL_OP_ELLIPSE = 0x98,
  XL_OP_LINEPATH = 0x9B,
  XL_OP_LINERELPATH = 0x9D,
  XL_OP_RECTANGLE = 0xA0,
  XL_OP_BEGINIMAGE = 0xB0,
  XL_OP_READIMAGE = 0xB1,
  XL_OP_ENDIMAGE = 0xB2,
  XL_OP_BEGINRASTPATTERN = 0xB3,
  XL_OP_READRASTPATTERN = 0xB4,
  XL_OP_ENDRASTPATTERN = 0xB5,
  XL_OP_INBAND = 0xFF,  // the private in-band command (xl_inband.h)
};

// Attribute ids as written.
enum : WORD {
  XL_ATTR_PALETTEDEPTH = 2,
  XL_ATTR_COLORSPACE = 3,
  XL_ATTR_NULLBRUSH = 4,
  XL_ATTR_NULLPEN = 5,
  XL_ATTR_PALETTEDATA = 6,
  XL_ATTR_PATTERNSELECTID = 8,
  XL_ATTR_GRAYLEVEL = 9,
  XL_ATTR_RGBCOLOR = 11,
  XL_ATTR_PATTERNORIGIN = 12,
  XL_ATTR_NEWDESTINATIONSIZE = 13,
  XL_ATTR_MEDIADESTINATION = 36,
  XL_ATTR_MEDIASIZE = 37,
  XL_ATTR_MEDIASOURCE = 38,
  XL_ATTR_MEDIATYPE = 39,
  XL_ATTR_ORIENTATION = 40,
  XL_ATTR_PAGEANGLE = 41,
  XL_ATTR_PAGEORIGIN = 42,
  XL_ATTR_PAGESCALE = 43,
  XL_ATTR_ROP3 = 44,
  XL_ATTR_TXMODE = 45,
  XL_ATTR_CUSTOMMEDIASIZE = 47,
  XL_ATTR_CUSTOMMEDIASIZEUNITS = 48,
  XL_ATTR_PAGECOPIES = 49,
  XL_ATTR_SIMPLEXPAGEMODE = 52,
  XL_ATTR_DUPLEXPAGEMODE = 53,
  XL_ATTR_DUPLEXPAGESIDE = 54,
  XL_ATTR_BOUNDINGBOX = 66,
  XL_ATTR_DASHOFFSET = 67,
  XL_ATTR_ENDPOINT = 69,
  XL_ATTR_FILLMODE = 70,
  XL_ATTR_LINECAPSTYLE = 71,
  XL_ATTR_LINEJOINSTYLE = 72,
  XL_ATTR_MITERLENGTH = 73,
  XL_ATTR_LINEDASHSTYLE = 74,
  XL_ATTR_PENWIDTH = 75,
  XL_ATTR_POINT = 76,
  XL_ATTR_NUMBEROFPOINTS = 77,
  XL_ATTR_SOLIDLINE = 78,
  XL_ATTR_POINTTYPE = 80,
  XL_ATTR_CLIPREGION = 83,
  XL_ATTR_CLIPMODE = 84,
  XL_ATTR_COLORDEPTH = 98,
  XL_ATTR_BLOCKHEIGHT = 99,
  XL_ATTR_COLORMAPPING = 100,
  XL_ATTR_COMPRESSMODE = 101,
  XL_ATTR_DESTINATIONSIZE = 103,
  XL_ATTR_PATTERNPERSISTENCE = 104,
  XL_ATTR_PATTERNDEFINEID = 105,
  XL_ATTR_SOURCEHEIGHT = 107,
  XL_ATTR_SOURCEWIDTH = 108,
  XL_ATTR_STARTLINE = 109,
  XL_ATTR_PADBYTESMULTIPLE = 110,
  XL_ATTR_CHARANGLE = 161,
  XL_ATTR_CHARCODE = 162,
  XL_ATTR_CHARDATASIZE = 163,
  XL_ATTR_CHARSCALE = 164,
  XL_ATTR_CHARSHEAR = 165,
  XL_ATTR_CHARSIZE = 166,
  XL_ATTR_FONTHEADERLENGTH = 167,
  XL_ATTR_FONTNAME = 168,
  XL_ATTR_FONTFORMAT = 169,
  XL_ATTR_SYMBOLSET = 170,
  XL_ATTR_TEXTDATA = 171,
  XL_ATTR_CHARSUBMODEARRAY = 172,
  XL_ATTR_WRITINGMODE = 173,
  XL_ATTR_XSPACINGDATA = 175,
  XL_ATTR_YSPACINGDATA = 176,
  XL_ATTR_CHARBOLDVALUE = 177,
  XL_ATTR_COMMENTDATA = 129,
  XL_ATTR_DATAORG = 130,
  XL_ATTR_MEASURE = 134,
  XL_ATTR_SOURCETYPE = 136,
  XL_ATTR_UNITSPERMEASURE = 137,
  XL_ATTR_STREAMNAME = 139,
  XL_ATTR_STREAMDATALENGTH = 140,
  XL_ATTR_ERRORREPORT = 143,
  XL_ATTR_OBJECTKIND = 254,  // private: object kind on SetColorSpace (0 graphics, 1 text, 2 image)
  XL_ATTR_INBAND = 255,      // private: the in-band command code
};

// Point types of the embedded point lists.
enum : BYTE { XL_POINT_UBYTE = 0, XL_POINT_SBYTE = 1, XL_POINT_UINT16 = 2, XL_POINT_SINT16 = 3 };

// BeginPage arguments with this bit are left out.
constexpr WORD XL_LEAVE_OUT = 0x8000;

// ---- writer state ------------------------------------------------------------

// The graphics-state cache: settings last written, so that repeated settings
// are not written again. Every field is held in 32 bits with -1 for
// "unknown", so that no real value (a ROP3 of 255, a pen width of 0xFFFF) can
// be mistaken for the unknown mark and silently left out.
constexpr int XL_DASH_MAX = 20;
struct XlGsCache {
  int32_t fillMode;
  int32_t miterLimit;
  int32_t lineCap;
  int32_t lineJoin;
  int32_t solidLine;  // 1 after SolidLine was written, 0 after a dash pattern
  int32_t dashCount;
  WORD dash[XL_DASH_MAX];
  int32_t dashOffset;
  int32_t penWidth;
  int32_t paintTxMode;
  int32_t sourceTxMode;
  int32_t rop3;
};

// The character state last sent (the text writers fill it and compare with
// it). Font names are whole: 8-bit characters up to XL_FONTNAME_MAX - 1
// bytes and a NUL, enough for a converted face name (94 bytes) and the
// longest suffix the renderer adds (30); a longer name is refused by the
// writers, so two different names are never taken for one.
constexpr int XL_FONTNAME_MAX = 128;
struct XlFontState {
  char fontName[XL_FONTNAME_MAX];  // "No Font" after a reset
  float charSize;                  // with the name, what SetFont sent
  WORD symbolSet;
  float charScaleX, charScaleY;  // 1 x 1 after a reset
  float charShearX, charShearY;
  WORD charAngle;  // degrees 0-359
  float boldValue;
  BYTE subMode;
  BYTE writingMode;
  int32_t fontCount;  // 1 after a reset
  BOOL reset;         // set by xl_initfontcgs: every character-state operator is sent again; Text clears it
};

// The transform record used around a drawing operator whose points were moved
// into the sint16 range.
struct XlConvCtm {
  int32_t originX, originY;  // device units
  int16_t rotation;          // degrees
  float scaleX, scaleY;
};

#if defined(KXL_BUILD_UM)
// The spooler side's put: writes n bytes to the job output; returns n, or -1
// once the job is aborted or its output failed.
using XlPutFn = int32_t (*)(void* sink, DWORD n, const void* bytes);
#endif

struct XlContext {
#if defined(KXL_BUILD_KM)
  XlOutBuf out;  // the 4096-byte output buffer (psinitbuf before use)
#else
  XlPutFn put;
  void* sink;
#endif
  XlGsCache cgs;
  XlFontState font;
  XlConvCtm convctm;
  // The page orientation as the renderer keeps it (2, 3 and 4 turn the base
  // rotation of xl_setcoordinate to 180, 90 and 270; anything else 0).
  int32_t orientation;
};

// Sets up a context for a fresh stream: cache unknown, identity transform,
// orientation 0. KM: the buffer is initialised and writes go to `printer`.
#if defined(KXL_BUILD_KM)
void xl_initcontext(XlContext* ctx, XlPrinter printer);
#else
void xl_initcontext(XlContext* ctx, XlPutFn put, void* sink);
#endif

// ---- primitives --------------------------------------------------------------

int xl_tag(XlContext* ctx, BYTE tag);
int xlputubyte(XlContext* ctx, BYTE v);
int xlputuint16(XlContext* ctx, WORD v);
int xlputsint16(XlContext* ctx, SHORT v);
int xlputuint32(XlContext* ctx, DWORD v);
int xlputreal32(XlContext* ctx, float v);
int xlputbulkdata(XlContext* ctx, const void* bytes, DWORD n);

int xl_attribute(XlContext* ctx, WORD id);
int xl_data_ubyte(XlContext* ctx, BYTE v);
int xl_data_uint16(XlContext* ctx, WORD v);
int xl_data_uint32(XlContext* ctx, DWORD v);
int xl_data_sint16(XlContext* ctx, SHORT v);
int xl_data_real32(XlContext* ctx, float v);
int xl_data_ubyte_xy(XlContext* ctx, BYTE x, BYTE y);
int xl_data_uint16_xy(XlContext* ctx, WORD x, WORD y);
int xl_data_sint16_xy(XlContext* ctx, SHORT x, SHORT y);
int xl_data_real32_xy(XlContext* ctx, float x, float y);
int xl_data_ubyte_box(XlContext* ctx, BYTE x1, BYTE y1, BYTE x2, BYTE y2);
int xl_data_sint16_box(XlContext* ctx, SHORT x1, SHORT y1, SHORT x2, SHORT y2);
// The narrowest pair: ubyte when every coordinate is in 0..255, else sint16.
// A coordinate outside the sint16 range is refused (-1, nothing written).
int xl_data_s16or8_xy(XlContext* ctx, int32_t x, int32_t y);
int xl_data_s16or8_box(XlContext* ctx, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// Arrays: the length token is ubyte below 256 elements, uint16 otherwise. A
// count above 65535 cannot be encoded and is refused (-1, nothing written).
int xl_data_ubyte_array(XlContext* ctx, const BYTE* v, DWORD count);
int xl_data_ubyte_array_hdr(XlContext* ctx, DWORD count);
int xl_data_ubyte_array_data(XlContext* ctx, const BYTE* v, DWORD count);
int xl_data_uint16_array(XlContext* ctx, const WORD* v, DWORD count);
int xl_data_uint16_array_hdr(XlContext* ctx, DWORD count);
int xl_data_uint16_array_data(XlContext* ctx, const WORD* v, DWORD count);
int xl_data_sint16_array(XlContext* ctx, const SHORT* v, DWORD count);
int xl_data_sint16_array_hdr(XlContext* ctx, DWORD count);
int xl_data_sint16_array_data(XlContext* ctx, const SHORT* v, DWORD count);

// Embedded data: 0xFB and a byte below 256 bytes, 0xFA and a uint32 otherwise.
int xl_embeddeddata(XlContext* ctx, const void* bytes, DWORD n);
int xl_embeddeddata_hdr(XlContext* ctx, DWORD n);
int xl_embeddeddata_data(XlContext* ctx, const void* bytes, DWORD n);

// ---- operators ---------------------------------------------------------------

// BeginSession: UnitsPerMeasure (resolution x, y), Measure, ErrorReport.
int xl_beginsession(XlContext* ctx, WORD unitsX, WORD unitsY, BYTE measure, BYTE errorReport);
int xl_endsession(XlContext* ctx);
// BeginPage. mediaSource is left out when negative as a signed 16-bit value;
// mediaSize with bit 0x8000 writes the custom size instead of the size code;
// mediaType is an 8-bit name, left out when null or empty; destination,
// simplex and duplex are left out with bit 0x8000, duplexSide only follows a
// written duplex mode. A written value above 255 is refused (-1, nothing
// written).
struct XlBeginPage {
  WORD orientation;
  WORD mediaSource;
  WORD mediaSize;
  float customWidth, customHeight;
  BYTE customUnits;
  const char* mediaType;
  WORD destination;
  WORD simplexMode;
  WORD duplexMode;
  WORD duplexSide;
};
int xl_beginpage(XlContext* ctx, const XlBeginPage* page);
int xl_endpage(XlContext* ctx, WORD copies);
int xl_comment(XlContext* ctx, const char* text);
int xl_opendatasource(XlContext* ctx);  // SourceType 0, DataOrg 1 (binary, low byte first)
int xl_closedatasource(XlContext* ctx);
int xl_beginstream(XlContext* ctx, const BYTE* name, WORD length);
int xl_execstream(XlContext* ctx, const BYTE* name, WORD length);
int xl_readstream(XlContext* ctx, DWORD length);  // the data follows with xl_embeddeddata
int xl_popgs(XlContext* ctx);
int xl_pushgs(XlContext* ctx);
int xl_setclipreplace(XlContext* ctx, BYTE region);
int xl_setbrushsource_null(XlContext* ctx);
int xl_setbrushsource_gray(XlContext* ctx, BYTE gray);
int xl_setbrushsource_rgb(XlContext* ctx, BYTE blue, BYTE green, BYTE red);
int xl_setbrushsource_pattern(XlContext* ctx, SHORT id, SHORT originX, SHORT originY, WORD destW, WORD destH);
int xl_setpensource_null(XlContext* ctx);
int xl_setpensource_rgb(XlContext* ctx, BYTE blue, BYTE green, BYTE red);
int xl_setpensource_pattern(XlContext* ctx, SHORT id, SHORT originX, SHORT originY, WORD destW, WORD destH);
int xl_setcliptopage(XlContext* ctx);
int xl_setcolorspace_simple(XlContext* ctx, BYTE colorSpace, BYTE objectKind);
// Palette padded with zeros to 2/16/256 bytes (6/48/768 for colour space 2,
// RGB); a longer palette is refused (-1, nothing written).
int xl_setcolorspace_palette(XlContext* ctx, BYTE colorSpace, BYTE depth, const BYTE* palette, DWORD length,
                             BYTE objectKind);
int xl_setfillmode(XlContext* ctx, BYTE mode);
int xl_setlinedash_solid(XlContext* ctx);
int xl_setlinedash_dash(XlContext* ctx, const WORD* dashes, DWORD count, WORD offset);
int xl_setlinecap(XlContext* ctx, BYTE cap);
int xl_setlinejoin(XlContext* ctx, BYTE join);
int xl_setmiterlimit(XlContext* ctx, WORD limit);
// A real limit goes out as the nearest whole number (0..65535) in the uint16
// form, because MiterLength has no real encoding; NaN is refused.
int xl_setmiterlimit_r32(XlContext* ctx, float limit);
int xl_setpagedefaultctm(XlContext* ctx);
int xl_setpageorigin(XlContext* ctx, SHORT x, SHORT y);
int xl_setpagerotation(XlContext* ctx, int32_t angle);
int xl_setpagescale(XlContext* ctx, float x, float y);
int xl_setpainttxmode(XlContext* ctx, BYTE mode);
int xl_setsourcetxmode(XlContext* ctx, BYTE mode);
int xl_setpenwidth(XlContext* ctx, WORD width);
int xl_setrop(XlContext* ctx, BYTE rop3);
int xl_setclipmode(XlContext* ctx, BYTE mode);
int xl_closesubpath(XlContext* ctx);
int xl_newpath(XlContext* ctx);
int xl_paintpath(XlContext* ctx);
int xl_beginimage(XlContext* ctx, BYTE colorMapping, BYTE colorDepth, WORD sourceWidth, WORD sourceHeight,
                  WORD destWidth, WORD destHeight);
// ReadImage and its embedded-data header for `dataLength` bytes; the image
// bytes follow with xl_readimage_data. PadBytesMultiple is left out for 0 and 4.
int xl_readimage_hdr(XlContext* ctx, WORD startLine, WORD blockHeight, BYTE compressMode, BYTE padBytes,
                     DWORD dataLength);
int xl_readimage_data(XlContext* ctx, const void* bytes, DWORD n);
int xl_endimage(XlContext* ctx);
int xl_beginrastpattern(XlContext* ctx, BYTE colorMapping, BYTE colorDepth, WORD sourceWidth, WORD sourceHeight,
                        WORD destWidth, WORD destHeight, SHORT patternId, BYTE persistence);
int xl_readrastpattern_hdr(XlContext* ctx, WORD startLine, WORD blockHeight, BYTE compressMode, BYTE padBytes,
                           DWORD dataLength);
int xl_readrastpattern(XlContext* ctx, const void* bytes, DWORD n);
int xl_endrastpattern(XlContext* ctx);

// Point lists already converted: NumberOfPoints, PointType, the operator
// (the Rel form when `relative`), then `numberOfPoints` points of the point
// type as embedded data. pointData holds numberOfPoints x (2 or 4) bytes.
int xl_linepath_multi_noconv(XlContext* ctx, WORD numberOfPoints, BYTE pointType, BOOL relative,
                             const BYTE* pointData);
int xl_bezierpath_multi_noconv(XlContext* ctx, WORD numberOfPoints, BYTE pointType, BOOL relative,
                               const BYTE* pointData);

// Comments of the system.
int xl_colorcomment(XlContext* ctx, int32_t value);        // "ZANPC=%02d", low byte
int xl_setcuredrawmode(XlContext* ctx, int32_t a, int32_t b);  // "ZANSR=%02d", byte (a | b << 2)
int xl_setunchargedpage(XlContext* ctx);                   // "ZANCC=00"

// ---- transforms and points ------------------------------------------------

// An offset outside the sint16 range becomes several SetPageOrigin operators,
// each clamped to -32768..32767, until the rest is zero in both axes; (0, 0)
// writes nothing.
int xl_setpageorigin_long(XlContext* ctx, int32_t x, int32_t y);

// The page transform of a 2 x 3 matrix {m11, m12, m21, m22, dx, dy}. A matrix
// with a value that is not finite, a linear part beyond +-65535 or an offset
// beyond +-8388607 device units is refused (-1, nothing written): such values
// come from outside (an in-band command) and would otherwise turn into
// undefined integer conversions or endless origin steps.
int xl_setcoordinate(XlContext* ctx, const float matrix[6]);
float fHypot(float a, float b);

// The range check: when every point is in the sint16 range the record is the
// identity; otherwise the bounding box centre becomes the origin and, when the
// moved points still do not fit, every coordinate is divided by one whole
// scale m. The points are changed in place. count 0 gives the identity.
void xl_check_range(XlContext* ctx, POINT* points, DWORD count);
int xl_set_convctm(XlContext* ctx);
int xl_restore_convctm(XlContext* ctx);

// Point types that can hold a value: bit (1 << point type).
BYTE xl_make_typemask(int64_t value);
// The preferred type of a mask: sbyte, ubyte, sint16, uint16; -1 for none.
int xl_get_type(BYTE mask);
POINT xl_convert_point(const XlConvCtm* ctm, POINT p);
POINT xl_convert_point_rel(const XlConvCtm* ctm, POINT p, POINT previous);

// One run of a point list: how many points, of what type and form.
struct XlPointRun {
  int32_t count;  // -1 when no point fits
  BYTE pointType;
  BOOL relative;
};
// Picks the longest run (at most 65535 points; for Bezier lists a multiple of
// 3) from points[0..count) against the context's transform record, the first
// point relative to `reference`.
XlPointRun xl_convert_points_range(const XlContext* ctx, const POINT* points, DWORD count, POINT reference,
                                   BOOL bezier);

// Whole drawing operators on 32-bit device points.
int xl_setcursor(XlContext* ctx, POINT p);
int xl_linepath_single(XlContext* ctx, POINT p);
int xl_setcliprectangle(XlContext* ctx, BYTE region, RECT box);
int xl_ellipse(XlContext* ctx, RECT box);
int xl_rectangle(XlContext* ctx, RECT box);
// Point lists: `current` is the current point the first point is relative to.
int xl_linepath_multi_nt(XlContext* ctx, const POINT* points, DWORD count, POINT current);
int xl_bezierpath_multi_nt(XlContext* ctx, const POINT* points, DWORD count, POINT current);

// ---- fonts, characters and the character state ----------------------------------
//
// Names are 8-bit, `length` bytes (the NUL not counted); a name of 0 bytes
// or of XL_FONTNAME_MAX bytes or more is refused (-1, nothing written).
// The character-state writers compare with ctx->font and write nothing for
// a value equal to the last one sent, unless the reset flag is set; a
// written value is stored. SetCharScale and SetCharShear written while the
// reset flag is clear are followed by SetCharAngle with the last angle, so
// the printer applies the angle after the new scale or shear. Text clears
// the reset flag.
int xl_BeginFontHeader(XlContext* ctx, DWORD length, const char* name);  // FontFormat 0
int xl_ReadFontHeader(XlContext* ctx, DWORD length, const void* data);   // length 1..65535
int xl_EndFontHeader(XlContext* ctx);
int xl_BeginChar(XlContext* ctx, DWORD length, const char* name);
int xl_ReadChar(XlContext* ctx, WORD code, DWORD size, const void* data);
int xl_EndChar(XlContext* ctx);
int xl_RemoveFont(XlContext* ctx, DWORD length, const char* name);
int xl_SetFont(XlContext* ctx, DWORD length, const char* name, float charSize, WORD symbolSet);
int xl_SetCharAngle(XlContext* ctx, WORD angle);
int xl_SetCharScale(XlContext* ctx, float x, float y);
int xl_SetCharShear(XlContext* ctx, float x, float y);
int xl_SetCharBoldValue(XlContext* ctx, float value);
int xl_SetCharSubMode(XlContext* ctx, DWORD length, const BYTE* modes);  // the first byte is compared
int xl_SetCharAttributes(XlContext* ctx, BYTE writingMode);
// TextData and the spacing arrays (count entries each, count 1..65535).
int xl_Text(XlContext* ctx, DWORD count, const WORD* codes, BOOL hasX, BOOL hasY, const SHORT* xSpacing,
            const SHORT* ySpacing);

// ---- state -------------------------------------------------------------------

void xl_initcgs(XlContext* ctx);      // everything unknown, then xl_initfontcgs
void xl_initfontcgs(XlContext* ctx);  // "No Font", scale 1 x 1, the rest 0, font count 1
