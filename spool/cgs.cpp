// The graphics-state filter: a copy of the printer's graphics state as this
// side last wrote it, per page, so that an operator that would set what is
// already in force is not written. In-band operators never reach the output.
//
// One rule keeps the copy true: an entry the filter cannot hold (a value of
// another type, or an array shorter or longer than its cache) makes that
// entry unknown, so the next value is always written. Likewise a brush or
// pen operator written outside the colour-space join forgets the cached
// brush or pen, both forms of the miter limit are one entry (storing one
// form makes the other unknown), a SetColorSpace written without a palette
// makes the palette unknown, and PopGS (which brings back a state this copy
// does not know) makes every entry unknown.
#include <cstring>

#include "kestrel/spool/umpd.h"

namespace {

constexpr LONG kUnknown = -1;
constexpr BYTE kOpSecondMergedImage = XL_OP_BEGINIMAGE;  // an operator inside a merged image
constexpr BYTE kOpSecondMergedList = XL_OP_ENDIMAGE;     // SetCursor carrying the merged image
constexpr BYTE kOpBeginPageAlt = 0x80;                   // always written
constexpr BYTE kOpSetClipIntersect = 0x67;

void Set1(BYTE (&cache)[1], LONG* length, BYTE value) {
  cache[0] = value;
  *length = 1;
}

void ForgetLists(UmpdJobContext* ctx) {
  XLDataListFree(ctx, ctx->cgs.brush);
  XLDataListFree(ctx, ctx->cgs.pen);
  ctx->cgs.brush = nullptr;
  ctx->cgs.pen = nullptr;
}

// Every entry unknown (after PopGS).
void MakeUnknown(UmpdJobContext* ctx) {
  ForgetLists(ctx);
  XlCgsState& s = ctx->cgs;
  for (LONG* l : {&s.colorSpaceLength, &s.paletteDepthLength, &s.paletteDataLength, &s.fillModeLength,
                  &s.miterU16Length, &s.miterR32Length, &s.lineCapLength, &s.lineJoinLength, &s.dashLength,
                  &s.dashOffsetLength, &s.penWidthLength, &s.clipModeLength, &s.clipRegionLength, &s.clipRectLength,
                  &s.paintTxLength, &s.sourceTxLength, &s.ropLength})
    *l = kUnknown;
  s.clipState = -1;
  s.defaultCtm = 0;
}

bool Has(XLData* list, BYTE attribute) { return SearchAttribute(list, attribute) != nullptr; }

// A plain attribute against its cache: non-zero when the operator is new.
int Scalar(UmpdJobContext* ctx, XLOperator* op, BYTE attribute, BYTE tag, BYTE* cache, LONG* length, DWORD capacity) {
  LONG out = 0;
  return SetCgsData(ctx, op->list, attribute, tag, cache, length, capacity, &out) != XLCGS_EQUAL;
}

// The colour space of a SetColorSpace against the cache: TRUE when changed.
bool ColorSpaceChanged(UmpdJobContext* ctx, XLData* list) {
  if (Has(list, XL_ATTR_NULLPEN) || Has(list, XL_ATTR_NULLBRUSH)) return false;
  XlCgsState& s = ctx->cgs;
  LONG out = 0;
  const int cs = SetCgsData(ctx, list, XL_ATTR_COLORSPACE, XL_TAG_UBYTE, s.colorSpace, &s.colorSpaceLength, 1, &out);
  const int depth =
      SetCgsData(ctx, list, XL_ATTR_PALETTEDEPTH, XL_TAG_UBYTE, s.paletteDepth, &s.paletteDepthLength, 1, &out);
  const int data = SetCgsData(ctx, list, XL_ATTR_PALETTEDATA, XL_TAG_UBYTE_ARRAY, s.paletteData, &s.paletteDataLength,
                              XLCGS_PALETTE_MAX, &out);
  if (depth == XLCGS_ABSENT && data == XLCGS_ABSENT) {
    const bool changed = cs != XLCGS_EQUAL;
    if (changed) {
      // Written without a palette: the printer's palette is not the cached one.
      s.paletteDepthLength = kUnknown;
      s.paletteDataLength = kUnknown;
    }
    return changed;
  }
  return !(cs == XLCGS_EQUAL && depth == XLCGS_EQUAL && data == XLCGS_EQUAL);
}

int XlCgs_SetColorSpace(UmpdJobContext* ctx, XLOperator* op) {
  XlCgsState& s = ctx->cgs;
  if (op->second == kOpSecondMergedImage) {
    LONG out = 0;
    return SetCgsData(ctx, op->list, XL_ATTR_COLORSPACE, XL_TAG_UBYTE, s.colorSpace, &s.colorSpaceLength, 1, &out) !=
           XLCGS_EQUAL;
  }
  if (op->second == XL_OP_SETBRUSHSOURCE || op->second == XL_OP_SETPENSOURCE) {
    XLData*& cached = op->second == XL_OP_SETBRUSHSOURCE ? s.brush : s.pen;
    if (cached != nullptr && XLDataListIsEqual(op->list, cached)) return 0;
    XLDataListFree(ctx, cached);
    cached = XLDataListCopy(ctx, op->list);  // null when short of memory: then nothing is cached
  }
  const bool changed = ColorSpaceChanged(ctx, op->list);
  if (op->second == XL_OP_SETCOLORSPACE || op->second == 0) return changed ? 1 : 0;
  if (changed) return 1;
  // Joined, the colour space unchanged: only the brush or pen part goes out.
  XLData* n = op->list;
  while (n != nullptr) {
    const bool last = IsOperator(n) && n->tag == XL_OP_SETCOLORSPACE;
    n = XLDataFree(ctx, n);
    if (last) break;
  }
  op->list = n;
  return n != nullptr ? 1 : 0;
}

int XlCgs_SetLineDash(UmpdJobContext* ctx, XLOperator* op) {
  XlCgsState& s = ctx->cgs;
  if (Has(op->list, XL_ATTR_SOLIDLINE)) {
    if (s.dashLength == 0) return 0;
    s.dashLength = 0;
    return 1;
  }
  LONG out = 0;
  const int dash = SetCgsData(ctx, op->list, XL_ATTR_LINEDASHSTYLE, XL_TAG_UINT16_ARRAY, s.dash, &s.dashLength,
                              XLCGS_DASH_MAX, &out);
  const int offset =
      SetCgsData(ctx, op->list, XL_ATTR_DASHOFFSET, XL_TAG_UINT16, s.dashOffset, &s.dashOffsetLength, 2, &out);
  return !(dash == XLCGS_EQUAL && offset == XLCGS_EQUAL);
}

int XlCgs_SetMiterLimit(UmpdJobContext* ctx, XLOperator* op) {
  XlCgsState& s = ctx->cgs;
  LONG out = 0;
  // The value comes in one form; the other form's test finds another tag.
  const int u16 = SetCgsData(ctx, op->list, XL_ATTR_MITERLENGTH, XL_TAG_UINT16, s.miterU16, &s.miterU16Length, 2, &out);
  if (u16 == XLCGS_EQUAL) {
    s.miterR32Length = kUnknown;
    return 0;
  }
  if (u16 == XLCGS_STORED) {
    s.miterR32Length = kUnknown;
    return 1;
  }
  const int r32 = SetCgsData(ctx, op->list, XL_ATTR_MITERLENGTH, XL_TAG_REAL32, s.miterR32, &s.miterR32Length, 4, &out);
  if (r32 == XLCGS_EQUAL || r32 == XLCGS_STORED) s.miterU16Length = kUnknown;
  return r32 != XLCGS_EQUAL;
}

int XlCgs_SetClipRectangle(UmpdJobContext* ctx, XLOperator* op) {
  XlCgsState& s = ctx->cgs;
  LONG out = 0;
  const int region =
      SetCgsData(ctx, op->list, XL_ATTR_CLIPREGION, XL_TAG_UBYTE, s.clipRegion, &s.clipRegionLength, 1, &out);
  const int box = SetCgsData(ctx, op->list, XL_ATTR_BOUNDINGBOX, XL_TAG_SINT16_BOX, s.clipRect, &s.clipRectLength,
                             sizeof(s.clipRect), &out);
  const bool wasRect = s.clipState == 1;
  s.clipState = 1;
  return !(wasRect && region == XLCGS_EQUAL && box == XLCGS_EQUAL);
}

int XlCgs_ZANNTUMKMComm(UmpdJobContext* ctx, XLOperator* op) {
  // The command's code is the first token (ubyte) of the operator.
  XLData* first = op->list;
  if (first != nullptr && first->tag == XL_TAG_UBYTE && first->valueLength == 1 &&
      first->value[0] == XL_IC_SETCOORDINATE) {
    ctx->cgs.defaultCtm = 0;
    ctx->cgs.clipRectLength = kUnknown;
  }
  return 0;
}

// The merged image: each operator of the list through the filter; the
// tokens of those not new are removed.
int XlCgs_MergedList(UmpdJobContext* ctx, XLOperator* op) {
  XLData* head = op->list;
  XLData* kept = nullptr;
  while (head != nullptr) {
    // One operator: its tokens up to the operator, and embedded data after it.
    XLData* end = head;
    while (!IsOperator(end) && end->next != head) end = end->next;
    if (IsOperator(end) && end->next != head && IsEmbedData(end->next)) end = end->next;
    // Cut [head, end] out of the ring.
    XLData* rest = end->next != head ? end->next : nullptr;
    if (rest != nullptr) {
      XLData* tail = head->prev;
      tail->next = rest;
      rest->prev = tail;
      head->prev = end;
      end->next = head;
    }
    XLOperator sub{head, 0, kOpSecondMergedImage};
    for (XLData* n = head;; n = n->next) {
      if (IsOperator(n)) {
        sub.op = n->tag;
        break;
      }
      if (n == end) break;
    }
    if (sub.op != 0 && IsNewXLCGSAttr(ctx, &sub)) {
      if (sub.list != nullptr) kept = XLListAddTailList(kept, sub.list);
    } else {
      XLDataListFree(ctx, sub.list);
    }
    head = rest;
  }
  op->list = kept;
  return kept != nullptr ? 1 : 0;
}

}  // namespace

int SetCgsData(UmpdJobContext* ctx, XLData* list, BYTE attribute, BYTE tag, BYTE* cache, LONG* cachedLength,
               DWORD capacity, LONG* outLength) {
  (void)ctx;
  *outLength = kUnknown;
  XLData* data = SearchAttributeData(list, attribute);
  if (data == nullptr) return XLCGS_ABSENT;
  if (data->tag != tag || data->valueLength > capacity) {
    *cachedLength = kUnknown;
    return XLCGS_OTHER;
  }
  const LONG length = static_cast<LONG>(data->valueLength);
  if (*cachedLength == length && std::memcmp(cache, data->value, data->valueLength) == 0) {
    *outLength = length;
    return XLCGS_EQUAL;
  }
  if (data->valueLength < capacity) {
    *cachedLength = kUnknown;
    return XLCGS_SHORT;
  }
  std::memcpy(cache, data->value, capacity);
  *cachedLength = static_cast<LONG>(capacity);
  *outLength = *cachedLength;
  return XLCGS_STORED;
}

void InitXLCGS(UmpdJobContext* ctx) {
  ForgetLists(ctx);
  XlCgsState& s = ctx->cgs;
  Set1(s.colorSpace, &s.colorSpaceLength, 2);  // RGB
  s.paletteDepthLength = kUnknown;
  s.paletteDataLength = 0;
  Set1(s.fillMode, &s.fillModeLength, 0);
  const WORD miter = 10;
  std::memcpy(s.miterU16, &miter, 2);
  s.miterU16Length = 2;
  const float miterReal = 10.0f;
  std::memcpy(s.miterR32, &miterReal, 4);
  s.miterR32Length = 4;
  Set1(s.lineCap, &s.lineCapLength, 0);
  Set1(s.lineJoin, &s.lineJoinLength, 0);
  s.dashLength = 0;
  s.dashOffsetLength = kUnknown;
  const WORD width = 1;
  std::memcpy(s.penWidth, &width, 2);
  s.penWidthLength = 2;
  s.clipState = 0;
  Set1(s.clipMode, &s.clipModeLength, 0);
  Set1(s.clipRegion, &s.clipRegionLength, 0);
  std::memset(s.clipRect, 0, sizeof(s.clipRect));
  s.clipRectLength = sizeof(s.clipRect);
  Set1(s.paintTx, &s.paintTxLength, 0);
  Set1(s.sourceTx, &s.sourceTxLength, 0);
  Set1(s.rop, &s.ropLength, 252);
  s.defaultCtm = 1;
}

void ExitXLCGS(UmpdJobContext* ctx) { ForgetLists(ctx); }

int IsNewXLCGSAttr(UmpdJobContext* ctx, XLOperator* op) {
  XlCgsState& s = ctx->cgs;
  switch (op->op) {
    case XL_OP_BEGINPAGE:
    case kOpBeginPageAlt: return 1;
    case XL_OP_ENDPAGE: ForgetLists(ctx); return 1;
    case XL_OP_POPGS: MakeUnknown(ctx); return 1;
    case XL_OP_SETBRUSHSOURCE:
      XLDataListFree(ctx, s.brush);
      s.brush = nullptr;
      return 1;
    case XL_OP_SETPENSOURCE:
      XLDataListFree(ctx, s.pen);
      s.pen = nullptr;
      return 1;
    case XL_OP_SETCLIPREPLACE:
    case kOpSetClipIntersect: {
      LONG out = 0;
      SetCgsData(ctx, op->list, XL_ATTR_CLIPREGION, XL_TAG_UBYTE, s.clipRegion, &s.clipRegionLength, 1, &out);
      s.clipState = 2;
      return 1;
    }
    case XL_OP_SETCLIPRECTANGLE: return XlCgs_SetClipRectangle(ctx, op);
    case XL_OP_SETCLIPTOPAGE: {
      const bool write = s.clipState != 0;
      s.clipState = 0;
      return write ? 1 : 0;
    }
    case XL_OP_SETCOLORSPACE: return XlCgs_SetColorSpace(ctx, op);
    case XL_OP_SETCURSOR: return op->second == kOpSecondMergedList ? XlCgs_MergedList(ctx, op) : 1;
    case XL_OP_SETFILLMODE:
      return Scalar(ctx, op, XL_ATTR_FILLMODE, XL_TAG_UBYTE, s.fillMode, &s.fillModeLength, 1);
    case XL_OP_SETLINECAP:
      return Scalar(ctx, op, XL_ATTR_LINECAPSTYLE, XL_TAG_UBYTE, s.lineCap, &s.lineCapLength, 1);
    case XL_OP_SETLINEJOIN:
      return Scalar(ctx, op, XL_ATTR_LINEJOINSTYLE, XL_TAG_UBYTE, s.lineJoin, &s.lineJoinLength, 1);
    case XL_OP_SETPENWIDTH:
      return Scalar(ctx, op, XL_ATTR_PENWIDTH, XL_TAG_UINT16, s.penWidth, &s.penWidthLength, 2);
    case XL_OP_SETROP: return Scalar(ctx, op, XL_ATTR_ROP3, XL_TAG_UBYTE, s.rop, &s.ropLength, 1);
    case XL_OP_SETCLIPMODE:
      return Scalar(ctx, op, XL_ATTR_CLIPMODE, XL_TAG_UBYTE, s.clipMode, &s.clipModeLength, 1);
    case XL_OP_SETPAINTTXMODE: return Scalar(ctx, op, XL_ATTR_TXMODE, XL_TAG_UBYTE, s.paintTx, &s.paintTxLength, 1);
    case XL_OP_SETSOURCETXMODE:
      return Scalar(ctx, op, XL_ATTR_TXMODE, XL_TAG_UBYTE, s.sourceTx, &s.sourceTxLength, 1);
    case XL_OP_SETLINEDASH: return XlCgs_SetLineDash(ctx, op);
    case XL_OP_SETMITERLIMIT: return XlCgs_SetMiterLimit(ctx, op);
    case XL_OP_SETPAGEDEFAULTCTM:
      if (s.defaultCtm != 0) return 0;
      s.defaultCtm = 1;
      s.clipRectLength = kUnknown;
      return 1;
    case XL_OP_SETPAGEORIGIN:
    case XL_OP_SETPAGEROTATION:
    case XL_OP_SETPAGESCALE:
      s.defaultCtm = 0;
      s.clipRectLength = kUnknown;
      return 1;
    case XL_OP_INBAND: return XlCgs_ZANNTUMKMComm(ctx, op);
    default: return 1;
  }
}
