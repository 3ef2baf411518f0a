// The password scrambler and base64 of secret edit values (user and job
// passwords, mailbox passwords, the fax P code): bytes are combined with the
// fixed key "kvor" and written as base64 text (RFC 4648 alphabet, "="
// padding, no line breaks, no terminator), and read back the same way.
//
// The five operations take (input, input bytes, output, out count, output
// capacity), answer 0 or a negative code, and write the bytes produced into
// the out count. Both core builds carry them; zanlib_EncodeOrDecodeData,
// which works on wide strings, is user mode only.
//
// Decisions:
//  - The decoder reads at most the n bytes it is given (a NUL before them
//    ends the text as well) and refuses, with QSP_ERR_NOT_B64, any byte that
//    is neither white space (9-13, 32), "=" in the third or fourth place of a
//    group, nor a character of the alphabet: bytes of 128 and above never
//    index the table, and nothing is written for a refused text.
//  - The combined operations answer QSP_ERR_MEMORY when the work area cannot
//    be had; their work area comes from kcore_Alloc (the engine's heap in
//    kernel mode).
#pragma once

#include "kplatform/wintypes.h"

inline constexpr LONG QSP_OK = 0;
inline constexpr LONG QSP_ERR_NULL = -1;      // a null pointer
inline constexpr LONG QSP_ERR_SIZE = -2;      // input length or capacity below 1
inline constexpr LONG QSP_ERR_ROOM = -3;      // the output is too small
inline constexpr LONG QSP_ERR_NOT_B64 = -4;   // the decoder met a byte that is not base64 text
inline constexpr LONG QSP_ERR_MEMORY = -10;   // no work area; a negative size helper argument

// The key, as a string and as the little-endian word its four bytes make.
inline constexpr char QSP_KEY[8] = {'k', 'v', 'o', 'r', 0, 0, 0, 0};
inline constexpr DWORD QSP_KEY_WORD = 0x726F766Bu;

LONG QSPEncrypt(const void* input, LONG n, void* output, LONG* count, LONG capacity);
LONG QSPBinToB64(const void* input, LONG n, void* output, LONG* count, LONG capacity);
LONG QSPB64ToBin(const void* input, LONG n, void* output, LONG* count, LONG capacity);
LONG QSPEncryptAndBinToB64(const void* input, LONG n, void* output, LONG* count, LONG capacity);
LONG QSPB64ToBinAndEncrypt(const void* input, LONG n, void* output, LONG* count, LONG capacity);

// (n + 2) / 3 x 4 + 1 (the text and a NUL); n / 4 x 3 + 1. -10 for n < 0.
LONG QSPEncryptAndBinToB64BuffSize(LONG n);
LONG QSPB64ToBinAndEncryptBuffSize(LONG n);

#if !defined(KESTREL_KERNEL_MODE)
// mode 1 scrambles and encodes, any other mode decodes and unscrambles, in
// the ANSI code page. 1 with a new wide string in *out (kcore_Free), 0 on
// failure (null or empty input included; *out is then null). A decoded value
// is cut at its first NUL byte.
BOOL zanlib_EncodeOrDecodeData(int mode, LPCWSTR input, LPWSTR* out);
#endif
