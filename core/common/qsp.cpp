// The password scrambler and base64 (kestrel/core/qsp.h), for both builds.
#include "kestrel/core/qsp.h"

#include "kestrel/core/kcore_sys.h"
#include "kplatform/byte_order.h"

namespace {

constexpr char B64CHR[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr BYTE kNoValue = 0xFF;

// The inverse of B64CHR over the 128 ASCII codes: 0..63, or 0xFF.
struct B64Table {
  BYTE v[128];
  constexpr B64Table() : v() {
    for (BYTE& b : v) b = kNoValue;
    for (int i = 0; i < 64; ++i) v[static_cast<unsigned char>(B64CHR[i])] = static_cast<BYTE>(i);
  }
};
constexpr B64Table B64TBL;

bool IsSpace(BYTE c) { return (c >= 9 && c <= 13) || c == 32; }

LONG CheckArgs(const void* input, LONG n, const void* output, const LONG* count, LONG capacity) {
  if (!input || !output || !count) return QSP_ERR_NULL;
  if (n < 1 || capacity < 1) return QSP_ERR_SIZE;
  return QSP_OK;
}

// The decoder's view of the text: at most n bytes, a NUL ends it sooner.
struct Text {
  const BYTE* p;
  LONG n;
  LONG pos = 0;
  bool AtEnd() const { return pos >= n || p[pos] == 0; }
  void SkipSpace() {
    while (!AtEnd() && IsSpace(p[pos])) ++pos;
  }
  // The next character after white space; 0 at the end.
  BYTE Next() {
    SkipSpace();
    return AtEnd() ? 0 : p[pos++];
  }
};

// The six bits of an alphabet character, or kNoValue.
BYTE Bits(BYTE c) { return c < 128 ? B64TBL.v[c] : kNoValue; }

// Checks the whole text before anything is written: every character is white
// space or of the alphabet, "=" only in a group's third or fourth place.
bool IsB64Text(const BYTE* p, LONG n) {
  Text t{p, n};
  for (;;) {
    BYTE c[4];
    for (BYTE& x : c) x = t.Next();
    if (c[0] == 0) return true;
    if (Bits(c[0]) == kNoValue) return false;
    if (c[1] == 0) return true;  // a lone last character yields nothing
    if (Bits(c[1]) == kNoValue) return false;
    for (int k = 2; k < 4; ++k)
      if (c[k] != 0 && c[k] != '=' && Bits(c[k]) == kNoValue) return false;
    if (c[2] == 0 || c[3] == 0 || c[2] == '=' || c[3] == '=') return true;  // decoding stops here
  }
}

}  // namespace

LONG QSPEncrypt(const void* input, LONG n, void* output, LONG* count, LONG capacity) {
  LONG r = CheckArgs(input, n, output, count, capacity);
  if (r) return r;
  *count = 0;
  const BYTE* in = static_cast<const BYTE*>(input);
  BYTE* out = static_cast<BYTE*>(output);
  LONG i = 0;
  for (; n - i >= 4; i += 4) {
    *count += 4;
    if (*count > capacity) {
      *count -= 4;
      return QSP_ERR_ROOM;
    }
    kp_StoreU32(out + i, kp_LoadU32(in + i) ^ QSP_KEY_WORD);
  }
  LONG rest = n - i;
  if (rest > 0) {
    *count += rest;
    if (*count > capacity) {
      *count -= rest;
      return QSP_ERR_ROOM;
    }
    for (LONG k = 0; k < rest; ++k) out[i + k] = static_cast<BYTE>(in[i + k] ^ static_cast<BYTE>(QSP_KEY[k]));
  }
  return QSP_OK;
}

LONG QSPBinToB64(const void* input, LONG n, void* output, LONG* count, LONG capacity) {
  LONG r = CheckArgs(input, n, output, count, capacity);
  if (r) return r;
  *count = 0;
  LONGLONG need = (static_cast<LONGLONG>(n) + 2) / 3 * 4;
  if (need > capacity) return QSP_ERR_ROOM;
  const BYTE* in = static_cast<const BYTE*>(input);
  char* out = static_cast<char*>(output);
  LONG o = 0;
  for (LONG i = 0; i < n; i += 3) {
    LONG k = n - i < 3 ? n - i : 3;
    DWORD v = static_cast<DWORD>(in[i]) << 16;
    if (k > 1) v |= static_cast<DWORD>(in[i + 1]) << 8;
    if (k > 2) v |= in[i + 2];
    out[o++] = B64CHR[(v >> 18) & 63];
    out[o++] = B64CHR[(v >> 12) & 63];
    out[o++] = k > 1 ? B64CHR[(v >> 6) & 63] : '=';
    out[o++] = k > 2 ? B64CHR[v & 63] : '=';
  }
  *count = o;
  return QSP_OK;
}

LONG QSPB64ToBin(const void* input, LONG n, void* output, LONG* count, LONG capacity) {
  LONG r = CheckArgs(input, n, output, count, capacity);
  if (r) return r;
  *count = 0;
  LONGLONG groups = (static_cast<LONGLONG>(n) + 3) / 4;
  if (groups * 3 > capacity) return QSP_ERR_ROOM;
  const BYTE* in = static_cast<const BYTE*>(input);
  if (!IsB64Text(in, n)) return QSP_ERR_NOT_B64;
  BYTE* out = static_cast<BYTE*>(output);
  Text t{in, n};
  LONG o = 0;
  t.SkipSpace();
  while (!t.AtEnd()) {
    BYTE c1 = t.Next(), c2 = t.Next();
    if (c2 == 0) break;
    BYTE c3 = t.Next();
    if (c3 == 0) break;  // a last group of fewer than three characters yields nothing
    BYTE c4 = t.Next();
    out[o++] = static_cast<BYTE>(Bits(c1) << 2 | Bits(c2) >> 4);
    if (c4 == 0 || c3 == '=') break;
    out[o++] = static_cast<BYTE>(Bits(c2) << 4 | Bits(c3) >> 2);
    if (c4 == '=') break;
    out[o++] = static_cast<BYTE>(Bits(c3) << 6 | Bits(c4));
  }
  *count = o;
  return QSP_OK;
}

LONG QSPEncryptAndBinToB64(const void* input, LONG n, void* output, LONG* count, LONG capacity) {
  LONG r = CheckArgs(input, n, output, count, capacity);
  if (r) return r;
  *count = 0;
  BYTE* work = static_cast<BYTE*>(kcore_Alloc(static_cast<SIZE_T>(n) + 1));
  if (!work) return QSP_ERR_MEMORY;
  LONG between = 0;
  r = QSPEncrypt(input, n, work, &between, n + 1);
  if (r == QSP_OK) r = QSPBinToB64(work, between, output, count, capacity);
  kcore_Free(work);
  return r;
}

LONG QSPB64ToBinAndEncrypt(const void* input, LONG n, void* output, LONG* count, LONG capacity) {
  LONG r = CheckArgs(input, n, output, count, capacity);
  if (r) return r;
  *count = 0;
  BYTE* work = static_cast<BYTE*>(kcore_Alloc(static_cast<SIZE_T>(n) + 1));
  if (!work) return QSP_ERR_MEMORY;
  LONG between = 0;
  // The decoded bytes never outnumber the text, so n + 1 always holds them.
  r = QSPB64ToBin(input, n, work, &between, n + 1);
  // A text that decodes to nothing (a lone character, white space only)
  // unscrambles to nothing.
  if (r == QSP_OK && between > 0) r = QSPEncrypt(work, between, output, count, capacity);
  kcore_Free(work);
  return r;
}

LONG QSPEncryptAndBinToB64BuffSize(LONG n) { return n < 0 ? QSP_ERR_MEMORY : (n + 2) / 3 * 4 + 1; }
LONG QSPB64ToBinAndEncryptBuffSize(LONG n) { return n < 0 ? QSP_ERR_MEMORY : n / 4 * 3 + 1; }
