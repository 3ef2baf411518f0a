// The blocks an application hands the private gate (escapes 4209 and
// 4210), built from the escape header's offsets; shared by the renderer's
// gate tests and the spooler side's end-to-end test.
#pragma once

#include <cstring>
#include <vector>

#include "kestrel/render/km_escape.h"
#include "kplatform/byte_order.h"

namespace kestrel::test::km {

// A 4210 block: head, piece header, destination record, bitmap header, an
// optional clip rectangle, then the piece's bytes.
struct Direct {
  WORD x = 100, y = 200, width = 300, height = 400;
  WORD srcWidth = 32, srcHeight = 24;
  LONG bmiWidth = 32, bmiHeight = 24;
  DWORD compression = PESC_BI_JPEG;
  DWORD rop = PESC_ROP_SRCCOPY;
  WORD zero1 = 0, zero2 = 0;
  DWORD jpegTotal = 0, pieceOffset = 0;
  WORD id = 0, rotation = 0;
  bool clip = false;
  SHORT clipX = 0, clipY = 0;
  WORD clipW = 0, clipH = 0;
  std::vector<BYTE> piece;

  static constexpr DWORD kDest = 40, kBmih = 72, kClip = 112, kData = 120;
  std::vector<BYTE> Block() const {
    std::vector<BYTE> b(kData + piece.size());
    kp_StoreU32(&b[0], static_cast<DWORD>(b.size()));
    kp_StoreU32(&b[PESC_PIECE_DEST], kDest);
    kp_StoreU32(&b[PESC_PIECE_JPEG_TOTAL], jpegTotal);
    kp_StoreU32(&b[PESC_PIECE_OFFSET], pieceOffset);
    kp_StoreU32(&b[PESC_PIECE_BYTES], static_cast<DWORD>(piece.size()));
    kp_StoreU16(&b[PESC_PIECE_ID], id);
    kp_StoreU16(&b[PESC_PIECE_ROTATION], rotation);
    kp_StoreU32(&b[PESC_PIECE_CLIP], clip ? kClip : 0);
    BYTE* d = &b[kDest];
    kp_StoreU16(d + PESC_DEST_X, x);
    kp_StoreU16(d + PESC_DEST_Y, y);
    kp_StoreU16(d + PESC_DEST_W, width);
    kp_StoreU16(d + PESC_DEST_H, height);
    kp_StoreU16(d + PESC_DEST_ZERO1, zero1);
    kp_StoreU16(d + PESC_DEST_ZERO2, zero2);
    kp_StoreU16(d + PESC_DEST_SRC_W, srcWidth);
    kp_StoreU16(d + PESC_DEST_SRC_H, srcHeight);
    kp_StoreU32(d + PESC_DEST_JPEG, kData);
    kp_StoreU32(d + PESC_DEST_BMIH, kBmih);
    kp_StoreU32(d + PESC_DEST_ROP, rop);
    BYTE* h = &b[kBmih];
    kp_StoreU32(h, 40);
    kp_StoreU32(h + PESC_BMIH_WIDTH, static_cast<DWORD>(bmiWidth));
    kp_StoreU32(h + PESC_BMIH_HEIGHT, static_cast<DWORD>(bmiHeight));
    kp_StoreU32(h + PESC_BMIH_COMPRESSION, compression);
    kp_StoreU16(&b[kClip], static_cast<WORD>(clipX));
    kp_StoreU16(&b[kClip + 2], static_cast<WORD>(clipY));
    kp_StoreU16(&b[kClip + 4], clipW);
    kp_StoreU16(&b[kClip + 6], clipH);
    if (!piece.empty()) std::memcpy(&b[kData], piece.data(), piece.size());
    return b;
  }
};

inline std::vector<BYTE> GateRecord(WORD function, WORD argument = 0) {
  std::vector<BYTE> b(8);
  kp_StoreU32(&b[0], 8);
  kp_StoreU16(&b[4], function);
  kp_StoreU16(&b[6], argument);
  return b;
}

}  // namespace kestrel::test::km
