// The private gate: escapes 4209-4212 and 4216, the direct JPEG image and
// the devmode overrides (declarations and the decisions taken in pesc.h).
// Kernel-mode code: engine services only; memory through kcore_Alloc.
#include "pesc.h"

#include <cstddef>
#include <cstring>

#include "draw.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/render/km_escape.h"
#include "kestrel/render/xl_outbuf.h"
#include "kplatform/byte_order.h"
#include "kplatform/wingdi_consts.h"
#include "kplatform/wingdi_types.h"
#include "layout.h"

namespace {

// The function table: the first row of an id whose minimum version the
// job's version meets answers.
constexpr PESC_FUNCINFO kFunctions[] = {
    {PESC_FUNC_GATE, KM_ESC_PRIVATE_GATE, 0x2000000, {15, 65280, 65280}},
    {PESC_FUNC_DIRECT_IMAGE, KM_ESC_DIRECT_IMAGE, 0x2010000, {16, 0, 0}},
    {PESC_FUNC_DIRECT_IMAGE, KM_ESC_DIRECT_IMAGE, 0x2000000, {0, 0, 0}},
    {PESC_FUNC_COLOR_MODE, KM_ESC_PAGE_COLOR_MODE, 0x2010000, {31, 0, 0}},
    {PESC_FUNC_LAYOUT, KM_ESC_LAYOUT, 0x2000000, {799, 139, 0}},
    {PESC_FUNC_4213, 4213, 0x2000000, {0, 0, 0}},
    {PESC_FUNC_4215_A, 4215, 0x2000000, {0, 0, 0}},
    {PESC_FUNC_4215_B, 4215, 0x2000000, {0, 0, 0}},
};
static_assert(sizeof kFunctions / sizeof kFunctions[0] == 8);

constexpr DWORD kPdlVersionFirst = 0x2000000;  // the page-description versions known
constexpr DWORD kPdlVersionLast = 0x2010000;
constexpr DWORD kLayoutSwitchBits = 0xC;       // hidden from 4356 without the layout switch
constexpr LONG kForceColorModeOn = 1;          // printer data 5202: the colour mode is forced
constexpr BYTE kXlSRGB = 6;                    // ColorSpace eSRGB
constexpr BYTE kXlJpeg = 2;                    // CompressMode eJPEGCompression
constexpr BYTE kJpegPadBytes = 3;              // PadBytesMultiple of JPEG data
constexpr LONG kFullTurn = 360;

// The JPEG markers the walk knows.
constexpr BYTE kMarker = 0xFF;
constexpr BYTE kSOI = 0xD8, kEOI = 0xD9, kRST0 = 0xD0, kRST7 = 0xD7;
constexpr DWORD kFrameComponentsAt = 7;        // from the length field's start
constexpr DWORD kFrameHeaderMin = 8;           // length, precision, height, width, components

// The overrides' devmode values, in the saved order.
constexpr WORD kSavedIds[7] = {DDM_DUPLEX,    DDM_NUP,         DDM_PAGE_ORDER, DDM_LAYOUT_ORIENTATION,
                               DDM_LAYOUTMODE, DDM_POSTERPARTS, DDM_COLORMODE};
enum : int { kSavedDuplex, kSavedNup, kSavedOrder, kSavedOrientation, kSavedLayout, kSavedPoster, kSavedColor };
// PDEV_PESC::overridesApplied: applied, and which saved values were read.
constexpr DWORD kAppliedFlag = 0x80000000u;

// 4212's N-up counts and the order each sets.
struct NupOrder {
  WORD count;
  SHORT order;
};
constexpr NupOrder kNupOrders[] = {{1, 0}, {2, 1}, {4, 3}, {8, 3}, {16, 3}, {32, 3}};
constexpr SHORT kNupOrientation = 1;
constexpr SHORT kNone = -1;

const BYTE* In(const void* pv) { return static_cast<const BYTE*>(pv); }

LONG Num(PDEV* pdev, WORD id) {
  LONG v = 0;
  return ddm_GetNumber(id, pdev->devmode, pdev->printerData, &v) ? v : 0;
}

void ClearImage(PDEV_PESC* s) {
  s->currentImageId = 0;
  s->imageSize = 0;
  s->bytesReceived = 0;
  s->imageOpen = 0;
  s->imageRotation = 0;
}

// ---- 4210's block ------------------------------------------------------------

struct Piece {
  // piece header
  DWORD destOffset, jpegTotal, pieceOffset, pieceBytes, clipOffset;
  WORD id, rotation;
  // destination record
  SHORT x, y;
  WORD width, height, zero1, zero2, srcWidth, srcHeight;
  DWORD jpegOffset, bmihOffset, rop;
  // bitmap header
  LONG bmiWidth, bmiHeight;
  DWORD compression;
  // clip rectangle
  bool hasClip;
  SHORT clipX, clipY;
  WORD clipW, clipH;
  const BYTE* bytes;
};

struct Block {
  const BYTE* in;
  unsigned long long limit;
  // A record of `size` bytes at `offset`: not 0 and wholly inside.
  bool Inside(DWORD offset, unsigned long long size) const {
    return offset != 0 && static_cast<unsigned long long>(offset) + size <= limit;
  }
};

// The block's head, piece header and destination record; -4 when one is
// not wholly inside the input.
LONG ReadHead(const BYTE* in, ULONG cjIn, Block* block, Piece* p) {
  if (cjIn < PESC_DBLT_HEAD) return PESC_BAD_SIZE;
  const DWORD total = kp_LoadU32(in);
  if (total > cjIn) return PESC_BAD_SIZE;
  *block = Block{in, total != 0 ? total : cjIn};
  if (!block->Inside(PESC_DBLT_HEAD, PESC_DBLT_PIECE_SIZE)) return PESC_BAD_SIZE;
  p->destOffset = kp_LoadU32(in + PESC_PIECE_DEST);
  p->jpegTotal = kp_LoadU32(in + PESC_PIECE_JPEG_TOTAL);
  p->pieceOffset = kp_LoadU32(in + PESC_PIECE_OFFSET);
  p->pieceBytes = kp_LoadU32(in + PESC_PIECE_BYTES);
  p->id = kp_LoadU16(in + PESC_PIECE_ID);
  p->rotation = kp_LoadU16(in + PESC_PIECE_ROTATION);
  p->clipOffset = kp_LoadU32(in + PESC_PIECE_CLIP);
  if (!block->Inside(p->destOffset, PESC_DBLT_DEST_SIZE)) return PESC_BAD_SIZE;
  const BYTE* d = in + p->destOffset;
  p->x = static_cast<SHORT>(kp_LoadU16(d + PESC_DEST_X));
  p->y = static_cast<SHORT>(kp_LoadU16(d + PESC_DEST_Y));
  p->width = kp_LoadU16(d + PESC_DEST_W);
  p->height = kp_LoadU16(d + PESC_DEST_H);
  p->zero1 = kp_LoadU16(d + PESC_DEST_ZERO1);
  p->zero2 = kp_LoadU16(d + PESC_DEST_ZERO2);
  p->srcWidth = kp_LoadU16(d + PESC_DEST_SRC_W);
  p->srcHeight = kp_LoadU16(d + PESC_DEST_SRC_H);
  p->jpegOffset = kp_LoadU32(d + PESC_DEST_JPEG);
  p->bmihOffset = kp_LoadU32(d + PESC_DEST_BMIH);
  p->rop = kp_LoadU32(d + PESC_DEST_ROP);
  return 0;
}

// The bitmap header, the clip rectangle and the piece's bytes; -4 when one
// is not wholly inside.
LONG ReadRest(const Block& block, Piece* p) {
  if (!block.Inside(p->bmihOffset, PESC_BMIH_SIZE)) return PESC_BAD_SIZE;
  const BYTE* h = block.in + p->bmihOffset;
  p->bmiWidth = static_cast<LONG>(kp_LoadU32(h + PESC_BMIH_WIDTH));
  p->bmiHeight = static_cast<LONG>(kp_LoadU32(h + PESC_BMIH_HEIGHT));
  p->compression = kp_LoadU32(h + PESC_BMIH_COMPRESSION);
  p->hasClip = p->clipOffset != 0;
  if (p->hasClip) {
    if (!block.Inside(p->clipOffset, PESC_DBLT_CLIP_SIZE)) return PESC_BAD_SIZE;
    const BYTE* c = block.in + p->clipOffset;
    p->clipX = static_cast<SHORT>(kp_LoadU16(c));
    p->clipY = static_cast<SHORT>(kp_LoadU16(c + 2));
    p->clipW = kp_LoadU16(c + 4);
    p->clipH = kp_LoadU16(c + 6);
  }
  p->bytes = nullptr;
  if (p->pieceBytes != 0) {
    if (!block.Inside(p->jpegOffset, p->pieceBytes)) return PESC_BAD_SIZE;
    p->bytes = block.in + p->jpegOffset;
  }
  return 0;
}

bool KnownRotation(WORD r) { return r == 0 || r == 90 || r == 180 || r == 270; }

// The geometry of a piece: -5 for non-zero reserved values, a size of 0, a
// source size that is not the header's, an unknown rotation; -1 for data
// other than JPEG.
LONG CheckGeometry(const Piece& p) {
  if (p.zero1 != 0 || p.zero2 != 0) return PESC_BAD_ARGUMENT;
  if (p.srcWidth == 0 || p.srcHeight == 0 || p.width == 0 || p.height == 0) return PESC_BAD_ARGUMENT;
  if (p.bmiWidth != p.srcWidth || p.bmiHeight != p.srcHeight) return PESC_BAD_ARGUMENT;
  if (!KnownRotation(p.rotation)) return PESC_BAD_ARGUMENT;
  if (p.compression != PESC_BI_JPEG) return PESC_FAIL;
  return 0;
}

// The cursor of the image by its rotation.
POINT Position(const Piece& p) {
  const LONG x = p.x, y = p.y, w = p.width, h = p.height;
  switch (p.rotation) {
    case 90: return POINT{y, -h - x};
    case 180: return POINT{-w - x, -h - y};
    case 270: return POINT{-w - y, x};
    default: return POINT{x, y};
  }
}

// Ends an open image (the piece sequence stopped) and answers `code`.
LONG Stop(PDEV* pdev, LONG code) {
  pesc_endDirectImage(pdev);
  return code;
}

// The piece's bytes as ReadImage data, in parts of at most 65280 bytes.
bool PutData(PDEV* pdev, const BYTE* bytes, DWORD n) {
  while (n > 0) {
    const DWORD part = n < PESC_PIECE_MAX ? n : PESC_PIECE_MAX;
    if (!kmWritten(xl_readimage_data(&pdev->xl, bytes, part))) return false;
    bytes += part;
    n -= part;
  }
  return true;
}

// The first piece's set-up: clip, graphics state, colour space, page
// rotation, cursor, BeginImage and the ReadImage header for the whole JPEG.
bool SendHead(PDEV* pdev, const Piece& p) {
  XlContext* xl = &pdev->xl;
  RECT box;
  if (p.hasClip) {
    box = RECT{p.clipX, p.clipY, static_cast<LONG>(p.clipX) + p.clipW, static_cast<LONG>(p.clipY) + p.clipH};
  } else {
    PAGEINFO info{};
    _setPageInfoStruct(&pdev->layoutInfo, &info);
    box = RECT{0, 0, info.pageArea.right - info.pageArea.left, info.pageArea.bottom - info.pageArea.top};
  }
  const RECT& kept = pdev->clipRect;
  const bool inForce = pdev->clipState == KM_CLIP_RECT && kept.left == box.left && kept.top == box.top &&
                       kept.right == box.right && kept.bottom == box.bottom;
  if (!inForce) {
    if (pdev->clipState == KM_CLIP_RESET && !kmWritten(xl_setcliptopage(xl))) return false;
    pdev->clipState = KM_CLIP_RESET;  // until the rectangle is in force
    if (!kmWritten(xl_setcliprectangle(xl, KM_XL_INTERIOR, box))) return false;
    pdev->clipRect = box;
    pdev->clipState = KM_CLIP_RECT;
  }
  DWORD components = 0;
  const bool grey = p.bytes && jpeg_GetParam(p.bytes, &components, p.pieceBytes) == 0 && components == 1;
  const POINT at = Position(p);
  if (!kmWritten(xl_setfillmode(xl, KM_XL_EVENODD)) || !kmWritten(xl_setpainttxmode(xl, KM_XL_OPAQUE)) ||
      !kmWritten(xl_setsourcetxmode(xl, KM_XL_OPAQUE)) || !kmWritten(xl_setrop(xl, static_cast<BYTE>(p.rop >> 16))) ||
      !kmWritten(xl_setcolorspace_simple(xl, grey ? static_cast<BYTE>(KM_XL_GRAY) : kXlSRGB, KM_XL_OBJ_IMAGE)))
    return false;
  if (p.rotation != 0 && !kmWritten(xl_setpagerotation(xl, kFullTurn - p.rotation))) return false;
  pdev->pesc.imageRotation = p.rotation;
  return kmWritten(xl_setcursor(xl, at)) &&
         kmWritten(xl_beginimage(xl, KM_XL_DIRECT, KM_XL_8BIT, p.srcWidth, p.srcHeight, p.width, p.height)) &&
         kmWritten(xl_readimage_hdr(xl, 0, p.srcHeight, kXlJpeg, kJpegPadBytes, p.jpegTotal));
}

// EndImage and the page rotation back.
bool SendTail(PDEV* pdev) {
  const WORD rotation = pdev->pesc.imageRotation;
  if (!kmWritten(xl_endimage(&pdev->xl))) return false;
  return rotation == 0 || kmWritten(xl_setpagerotation(&pdev->xl, rotation));
}

}  // namespace

// ---- JPEG header walk ---------------------------------------------------------

LONG jpeg_GetParam(const BYTE* data, DWORD* components, DWORD length) {
  if (!data || !components) return -1;
  LONG flags = 0;
  DWORD at = 0;
  while (at < length) {
    if (data[at] != kMarker) {
      // To the next 0xFF that is followed by a non-zero byte.
      for (;;) {
        while (at < length && data[at] != kMarker) ++at;
        if (at + 1 >= length) return -1;
        if (data[at + 1] != 0) break;
        at += 2;
      }
    }
    // Fill bytes before the marker.
    while (at + 1 < length && data[at + 1] == kMarker) ++at;
    if (at + 1 >= length) return -1;
    const BYTE marker = data[at + 1];
    if (marker == kSOI) {
      if (at != 0) return flags | PESC_JPEG_NO_FRAME;
      flags |= PESC_JPEG_SOI;
      at += 2;
      continue;
    }
    if (marker >= kRST0 && marker <= kRST7) {
      at += 2;
      continue;
    }
    if (marker == kEOI) return flags | PESC_JPEG_EOI;
    const bool frame = (marker >= 0xC0 && marker <= 0xCF) && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    const DWORD segment = at + 2;  // the length field
    if (frame) {
      if (static_cast<unsigned long long>(segment) + 2 > length) return -1;
      const DWORD size = static_cast<DWORD>(data[segment]) << 8 | data[segment + 1];
      if (size < kFrameHeaderMin || static_cast<unsigned long long>(segment) + size > length) return -1;
      *components = data[segment + kFrameComponentsAt];
      return 0;
    }
    if (static_cast<unsigned long long>(segment) + 2 > length) return flags | PESC_JPEG_NO_FRAME;
    const DWORD size = static_cast<DWORD>(data[segment]) << 8 | data[segment + 1];
    if (size < 2) return -1;
    const unsigned long long next = static_cast<unsigned long long>(segment) + size;
    if (next >= length) return flags | PESC_JPEG_NO_FRAME;
    at = static_cast<DWORD>(next);
  }
  return flags | PESC_JPEG_NO_FRAME;
}

// ---- The function table and the gate ---------------------------------------------

BOOL _checkNotOldPDLVersion(DWORD version, DWORD minVersion) {
  return version >= kPdlVersionFirst && version <= kPdlVersionLast && version >= minVersion ? TRUE : FALSE;
}

LONG PDL_pesc_getFuncInfo(PDEV* pdev, WORD functionId, PESC_FUNCINFO* out) {
  if (!pdev) return -1;
  if (functionId == PESC_FUNC_DIRECT_IMAGE && Num(pdev, DDM_NO_APP_COPY_COUNT) != 0) return -1;
  if (functionId == PESC_FUNC_COLOR_MODE &&
      (pdev->preConfigValue != 0 || !pdev->pesc.colorSwitch || Num(pdev, DDM_FORCECOLORMODE) == kForceColorModeOn))
    return -1;
  for (const PESC_FUNCINFO& row : kFunctions) {
    if (row.functionId != functionId || !_checkNotOldPDLVersion(pdev->pesc.version, row.minVersion)) continue;
    if (out) {
      *out = row;
      if (functionId == PESC_FUNC_LAYOUT && !pdev->pesc.layoutSwitch) out->caps[0] &= ~kLayoutSwitchBits;
    }
    return 0;
  }
  return -1;
}

BOOL checkFuncIDEnable(PDEV* pdev, WORD functionId) {
  return pdev && pdev->pesc.gate != 0 && PDL_pesc_getFuncInfo(pdev, functionId, nullptr) == 0 ? TRUE : FALSE;
}

LONG pescd_QueryFunction(PDEV* pdev) {
  if (!pdev) return -1;
  return pdev->pesc.gate != 0 ? 1 : 0;
}

// ---- 4209 --------------------------------------------------------------------------

LONG pesc_ctlfc_PrivateGate(PDEV* pdev, ULONG cjIn, const void* pvIn, ULONG cjOut, void* pvOut) {
  if (!pdev) return PESC_FAIL;
  if (PDL_pesc_getFuncInfo(pdev, PESC_FUNC_GATE, nullptr) != 0) return PESC_UNAVAILABLE;
  if (!pvIn) return PESC_FAIL;
  if (cjIn < PESC_GATE_RECORD_SIZE || kp_LoadU32(pvIn) != PESC_GATE_RECORD_SIZE) return PESC_BAD_SIZE;
  const WORD function = kp_LoadU16(In(pvIn) + 4);
  const WORD argument = kp_LoadU16(In(pvIn) + 6);
  auto* out = static_cast<BYTE*>(pvOut);
  switch (function) {
    case PESC_GATE_ON:
      pdev->pesc.gate = 1;
      return PESC_OK;
    case PESC_GATE_OFF:
      pdev->pesc.gate = 0;
      return PESC_OK;
    case PESC_GATE_FUNCINFO: {
      if (!out) return PESC_FAIL;
      if (cjOut < PESC_FUNCINFO_SIZE || (cjOut != PESC_FUNCINFO_SIZE && kp_LoadU32(out) != PESC_FUNCINFO_SIZE))
        return PESC_BAD_SIZE;
      PESC_FUNCINFO row{};
      if (PDL_pesc_getFuncInfo(pdev, argument, &row) != 0) return PESC_BAD_SELECTOR;
      kp_StoreU32(out, PESC_FUNCINFO_SIZE);
      kp_StoreU16(out + 4, row.escape);
      kp_StoreU32(out + 6, row.caps[0]);
      kp_StoreU32(out + 10, row.caps[1]);
      kp_StoreU32(out + 14, row.caps[2]);
      return PESC_OK;
    }
    case PESC_GATE_CHECK:
      if (!out) return PESC_FAIL;
      if (cjOut < sizeof(DWORD)) return PESC_BAD_SIZE;
      kp_StoreU32(out, PESC_GATE_SIGNATURE);
      return PESC_OK;
    default:
      return PESC_BAD_FUNCTION;
  }
}

// ---- 4210 --------------------------------------------------------------------------

LONG pesc_imageContinue(PDEV_PESC* s, WORD id, DWORD pieceOffset, DWORD pieceBytes, DWORD jpegTotal, BOOL* first,
                        BOOL* last) {
  if (!s || !first || !last) return PESC_FAIL;
  *first = *last = FALSE;
  auto broken = [&]() {
    *first = FALSE;
    s->currentImageId = 0;
    s->imageSize = 0;
    s->bytesReceived = 0;
    return PESC_BAD_SIZE;
  };
  if (s->currentImageId == 0) {
    if (pieceOffset != 0 || id != 0 || jpegTotal == 0) return broken();
    WORD next = static_cast<WORD>(s->imageIdCounter + 1);
    if (next > PESC_IMAGE_ID_MAX) next = 1;
    s->imageIdCounter = next;
    s->currentImageId = next;
    s->imageSize = jpegTotal;
    s->bytesReceived = 0;
    *first = TRUE;
  } else if (id != s->currentImageId || jpegTotal != s->imageSize) {
    return broken();
  }
  if (pieceOffset != s->bytesReceived || pieceBytes > s->imageSize - s->bytesReceived) return broken();
  s->bytesReceived += pieceBytes;
  const LONG answer = s->currentImageId;
  if (s->bytesReceived == s->imageSize) {
    *last = TRUE;
    s->currentImageId = 0;
    s->imageSize = 0;
    s->bytesReceived = 0;
  }
  return answer;
}

LONG PDL_pesc_outputNIEImage(PDEV* pdev) { return pdev && SendMergeImage(pdev) == 0 ? 0 : -1; }

LONG pesc_endDirectImage(PDEV* pdev) {
  if (!pdev) return -1;
  PDEV_PESC& s = pdev->pesc;
  LONG result = 0;
  if (s.imageOpen && !kmOutputFailed(pdev)) {
    // The data still announced: zeros, the last two bytes the end marker
    // (a single missing byte is a zero).
    static const BYTE kZeros[256] = {};
    static const BYTE kEnd[2] = {kMarker, kEOI};
    DWORD missing = s.imageSize - s.bytesReceived;
    const DWORD tail = missing >= sizeof kEnd ? sizeof kEnd : 0;
    bool ok = true;
    while (ok && missing > tail) {
      DWORD n = missing - tail;
      if (n > sizeof kZeros) n = sizeof kZeros;
      ok = kmWritten(xl_readimage_data(&pdev->xl, kZeros, n));
      missing -= n;
    }
    if (ok && tail) ok = kmWritten(xl_readimage_data(&pdev->xl, kEnd, tail));
    if (!ok || !SendTail(pdev)) result = -1;
  }
  ClearImage(&s);
  return result;
}

LONG pesc_ctlfc_DirectBlt(PDEV* pdev, ULONG cjIn, const void* pvIn, ULONG, void*) {
  if (!pdev) return PESC_FAIL;
  if (!checkFuncIDEnable(pdev, PESC_FUNC_DIRECT_IMAGE)) return PESC_UNAVAILABLE;
  if (!pvIn) return Stop(pdev, PESC_FAIL);
  Block block{};
  Piece p{};
  LONG r = ReadHead(In(pvIn), cjIn, &block, &p);
  if (r != 0) return Stop(pdev, r);
  if (p.rop != PESC_ROP_SRCCOPY) return PESC_UNAVAILABLE;
  if ((r = ReadRest(block, &p)) != 0) return Stop(pdev, r);
  // The bookkeeping on a copy: nothing is counted before the piece is sent.
  PDEV_PESC next = pdev->pesc;
  BOOL first = FALSE, last = FALSE;
  const LONG id = pesc_imageContinue(&next, p.id, p.pieceOffset, p.pieceBytes, p.jpegTotal, &first, &last);
  if (id < 0) return Stop(pdev, id);
  if ((r = CheckGeometry(p)) != 0) return Stop(pdev, r);
  if (kmOutputFailed(pdev)) return Stop(pdev, PESC_FAIL);
  if (first) {
    // Outside a started job there is no page to draw on (and a drawing
    // call there would mark the PDEV's output failed for good).
    if (!jobCtrl_isJobStarted(pdev) || jobCtrl_informStartDDI(pdev) != 0) return PESC_FAIL;
    pdev->ddiFlags &= ~PDEV_PAGE_EMPTY;  // the page has drawing now
    if (PDL_pesc_outputNIEImage(pdev) != 0) return PESC_FAIL;
    if (!SendHead(pdev, p)) {
      ClearImage(&pdev->pesc);
      return PESC_FAIL;
    }
    pdev->pesc.imageIdCounter = next.imageIdCounter;
    pdev->pesc.currentImageId = static_cast<WORD>(id);
    pdev->pesc.imageSize = p.jpegTotal;
    pdev->pesc.bytesReceived = 0;
    pdev->pesc.imageOpen = 1;
  }
  if (!PutData(pdev, p.bytes, p.pieceBytes)) {
    ClearImage(&pdev->pesc);
    return PESC_FAIL;
  }
  pdev->pesc.bytesReceived += p.pieceBytes;
  if (last) {
    const bool ended = SendTail(pdev);
    ClearImage(&pdev->pesc);
    if (!ended) return PESC_FAIL;
  }
  return id;
}

// ---- 4211 --------------------------------------------------------------------------

LONG pesc_ctlfc_SetPageColorMode(PDEV* pdev, ULONG cjIn, const void* pvIn, ULONG, void*) {
  if (!pdev) return PESC_FAIL;
  if (!checkFuncIDEnable(pdev, PESC_FUNC_COLOR_MODE)) return PESC_UNAVAILABLE;
  if (!pvIn) return PESC_FAIL;
  if (cjIn < sizeof(WORD)) return PESC_BAD_SIZE;
  PDEV_PESC& s = pdev->pesc;
  const bool docStarted = (pdev->ddiFlags & PDEV_DOC_STARTED) != 0;
  switch (kp_LoadU16(pvIn)) {
    case PESC_COLOR_ON:
      if (docStarted) return PESC_NOT_NOW;
      s.colorModeSwitch = 1;
      s.colorMode = 0;
      return PESC_OK;
    case PESC_COLOR_OFF:
      if (docStarted) return PESC_NOT_NOW;
      s.colorModeSwitch = 0;
      return PESC_OK;
    case PESC_COLOR_MODE1:
    case PESC_COLOR_MODE2:
    case PESC_COLOR_MODE0: {
      if (!s.colorModeSwitch) return PESC_NOT_NOW;
      const WORD code = kp_LoadU16(pvIn);
      s.colorMode = code == PESC_COLOR_MODE1 ? 1 : (code == PESC_COLOR_MODE2 ? 2 : 0);
      return PESC_OK;
    }
    default:
      return PESC_BAD_SELECTOR;
  }
}

// ---- 4212 --------------------------------------------------------------------------

LONG pesc_ctlfc_Layout(PDEV* pdev, ULONG cjIn, const void* pvIn, ULONG cjOut, void* pvOut) {
  if (!pdev) return PESC_FAIL;
  if (!checkFuncIDEnable(pdev, PESC_FUNC_LAYOUT)) return PESC_UNAVAILABLE;
  if (!pvIn) return PESC_FAIL;
  if (cjIn < PESC_LAYOUT_RECORD_SIZE || kp_LoadU32(pvIn) != PESC_LAYOUT_RECORD_SIZE) return PESC_BAD_SIZE;
  const DWORD value = kp_LoadU32(In(pvIn) + 4);
  const WORD selector = static_cast<WORD>(value & 0xFFFF);
  const WORD argument = static_cast<WORD>(value >> 16);
  PDEV_PESC& s = pdev->pesc;
  const bool canAnswer = pvOut && cjOut >= sizeof(WORD);
  switch (selector) {
    case PESC_LAYOUT_GET_DUPLEX: {
      if (!canAnswer) return PESC_BAD_SIZE;
      const LONG duplex = Num(pdev, DDM_DUPLEX);
      if (duplex < 1 || duplex > 3) return PESC_FAIL;
      kp_StoreU16(pvOut, static_cast<WORD>(PESC_DUPLEX_SIMPLEX + duplex - 1));
      return PESC_OK;
    }
    case PESC_LAYOUT_SET_DUPLEX:
      switch (argument) {
        case PESC_DUPLEX_SIMPLEX:
          s.duplexOverride = 1;
          return PESC_OK;
        case PESC_DUPLEX_KIND2:
        case PESC_DUPLEX_KIND3:
          if (!(kp_LoadU32(pdev->devmode + offsetof(DEVMODEW, dmFields)) & DM_DUPLEX)) return PESC_NOT_NOW;
          s.duplexOverride = static_cast<SHORT>(argument == PESC_DUPLEX_KIND2 ? 2 : 3);
          return PESC_OK;
        case PESC_DUPLEX_CLEAR:
          s.duplexOverride = kNone;
          return PESC_OK;
        default:
          return PESC_BAD_ARGUMENT;
      }
    case PESC_LAYOUT_GET_NUP: {
      if (!canAnswer) return PESC_BAD_SIZE;
      LONG answer = 0;
      if (Num(pdev, DDM_LAYOUTMODE) == 0) {
        const LONG nup = Num(pdev, DDM_NUP);
        answer = -1;
        for (const NupOrder& n : kNupOrders)
          if (nup == n.count) answer = nup;
        if (answer < 0) return PESC_FAIL;
      }
      kp_StoreU16(pvOut, static_cast<WORD>(answer));
      return PESC_OK;
    }
    case PESC_LAYOUT_SET_NUP:
      if (argument == 0) {
        s.nupOverride = s.orderOverride = s.orientationOverride = s.layoutOverride = s.posterOverride = kNone;
        return PESC_OK;
      }
      for (const NupOrder& n : kNupOrders) {
        if (argument != n.count) continue;
        s.nupOverride = static_cast<SHORT>(n.count);
        s.orderOverride = n.order;
        s.orientationOverride = kNupOrientation;
        s.layoutOverride = kNone;
        s.posterOverride = 0;
        return PESC_OK;
      }
      return PESC_BAD_ARGUMENT;
    default:
      return PESC_BAD_SELECTOR;
  }
}

// ---- 4216 --------------------------------------------------------------------------

LONG pesc_ctlfc_GSB_Interaction(PDEV* pdev, ULONG cjIn, const void* pvIn, ULONG, void*) {
  if (!pdev) return PESC_FAIL;
  if (!pdev->pesc.gate) return PESC_UNAVAILABLE;
  if (!pvIn) return PESC_FAIL;
  if (cjIn < sizeof(DWORD)) return PESC_BAD_SIZE;
  const unsigned long long n = kp_LoadU32(pvIn);
  constexpr unsigned long long kLimit = 0x10000;
  if (n + sizeof(DWORD) > kLimit || n == 0 || n + sizeof(DWORD) > cjIn) return PESC_BAD_SIZE;
  PDEV_BLOCK& block = pdev->securityMarking[PDEV_GSB_EXTENDED];
  if (!block.data || block.size != n) {
    kcore_Free(block.data);
    block = PDEV_BLOCK{};
    auto* copy = static_cast<BYTE*>(kcore_Alloc(static_cast<DWORD>(n)));
    if (!copy) return PESC_FAIL;
    block = PDEV_BLOCK{copy, static_cast<DWORD>(n)};
  }
  std::memcpy(block.data, In(pvIn) + sizeof(DWORD), static_cast<size_t>(n));
  return PESC_OK;
}

// ---- Devmode overrides ---------------------------------------------------------------

void pesc_ctl_restoreDevMode(void* devmode, void* printerData, PDEV_PESC* s) {
  if (!devmode || !s || !(s->overridesApplied & kAppliedFlag)) return;
  for (int i = 0; i < 7; ++i)
    if (s->overridesApplied & (1u << i)) ddm_SetNumber(kSavedIds[i], devmode, printerData, s->saved[i]);
  s->overridesApplied = 0;
}

void pesc_ctl_forceDevMode(void* devmode, void* printerData, PDEV_PESC* s) {
  if (!devmode || !s) return;
  pesc_ctl_restoreDevMode(devmode, printerData, s);
  DWORD read = 0;
  for (int i = 0; i < 7; ++i) {
    LONG v = 0;
    if (!ddm_GetNumber(kSavedIds[i], devmode, printerData, &v)) continue;
    s->saved[i] = static_cast<SHORT>(v);
    read |= 1u << i;
  }
  auto force = [&](int i, SHORT value) {
    if (value != kNone) ddm_SetNumber(kSavedIds[i], devmode, printerData, value);
  };
  force(kSavedDuplex, s->duplexOverride);
  force(kSavedNup, s->nupOverride);
  force(kSavedOrder, s->orderOverride);
  force(kSavedOrientation, s->orientationOverride);
  force(kSavedLayout, s->layoutOverride);
  force(kSavedPoster, s->posterOverride);
  if (s->colorModeSwitch) ddm_SetNumber(DDM_COLORMODE, devmode, printerData, 0);
  s->overridesApplied = kAppliedFlag | read;
}

void pesc_ctl_initPescPdev(PDEV_PESC* state, DWORD version, DWORD layoutSwitch, DWORD colorSwitch) {
  if (!state) return;
  *state = PDEV_PESC{};
  state->version = version;
  state->layoutSwitch = layoutSwitch;
  state->colorSwitch = colorSwitch;
  state->nupOverride = state->orderOverride = state->orientationOverride = kNone;
  state->layoutOverride = state->posterOverride = state->duplexOverride = kNone;
  state->colorMode = -1;
}

// ---- The status block of 0x5028/0x5029 ------------------------------------------------

void pesc_getStatusBlock(const PDEV* pdev, BYTE block[12]) {
  std::memcpy(block, pdev->statusBlock, 12);
  kp_StoreU32(block, pdev->pesc.gate);
  kp_StoreU32(block + 4, pdev->pesc.colorModeSwitch);
  kp_StoreU16(block + 8, static_cast<WORD>(pdev->pesc.colorMode));
}

void pesc_setStatusBlock(PDEV* pdev, const BYTE block[12]) {
  std::memcpy(pdev->statusBlock, block, 12);
  pdev->pesc.gate = kp_LoadU32(block);
  pdev->pesc.colorModeSwitch = kp_LoadU32(block + 4);
  pdev->pesc.colorMode = static_cast<SHORT>(kp_LoadU16(block + 8));
}

// ---- The dispatcher (DrvEscape) -------------------------------------------------------

LONG pesc_Escape(PDEV* pdev, ULONG code, BOOL query, ULONG cjIn, const void* pvIn, ULONG cjOut, void* pvOut) {
  if (query) return code == KM_ESC_PRIVATE_GATE ? 1 : pescd_QueryFunction(pdev);
  switch (code) {
    case KM_ESC_PRIVATE_GATE: return pesc_ctlfc_PrivateGate(pdev, cjIn, pvIn, cjOut, pvOut);
    case KM_ESC_DIRECT_IMAGE: return pesc_ctlfc_DirectBlt(pdev, cjIn, pvIn, cjOut, pvOut);
    case KM_ESC_PAGE_COLOR_MODE: return pesc_ctlfc_SetPageColorMode(pdev, cjIn, pvIn, cjOut, pvOut);
    case KM_ESC_LAYOUT: return pesc_ctlfc_Layout(pdev, cjIn, pvIn, cjOut, pvOut);
    case KM_ESC_GSB_INTERACTION: return pesc_ctlfc_GSB_Interaction(pdev, cjIn, pvIn, cjOut, pvOut);
    default: return 0;
  }
}

LONG pesc_beforeEscape(PDEV* pdev, ULONG code) {
  if (!pdev || !pdev->pesc.imageOpen) return 0;
  switch (code) {
    // Escapes that only answer: an open image goes on.
    case GETTECHNOLOGY:
    case KM_ESC_GET_PAGE_INFO:
    case KM_ESC_GET_DEVMODE:
    case KM_ESC_GET_HEADER_FOOTER:
    case KM_ESC_GET_IS_FAX:
    case KM_ESC_GET_PAGE_NUMBER:
    case KM_ESC_GET_PESCAPE_STATUS:
    case KM_ESC_QUERY_EMFSPOOL:
    case KM_ESC_GET_GSBDATA:
      return 0;
    default:
      return pesc_endDirectImage(pdev);
  }
}
