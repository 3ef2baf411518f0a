// kestreldm: reads and writes single settings of the driver's records by DDM
// id for outside programs, over the narrow form of the records.
//
// Narrow records:
//   devmode          929 bytes: the 148-byte ANSI DEVMODE (no panning
//                    members), then the private members packed byte by byte
//   non-devmode      right behind the devmode, at devmode + 929
//                    (KESTRELDM_NONDEVMODE_SIZE bytes)
//   printer data     a buffer of its own (KESTRELDM_PRINTERDATA_SIZE bytes)
// Strings are 8-bit with their capacity counted in characters (NUL
// included); the font items are the 50-byte 16-bit LOGFONT. Nothing in a
// record is aligned: callers read members with memcpy.
//
// Every result is a status code:
//   0 done; 1 the id lies in no group; 2 the type given does not match the
//   item; 4 a buffer, string or value does not fit; 8 the size given does not
//   match; 16 the id is not in its group's list, a pointer that is needed is
//   null, or the item cannot be served.
//
// dma_GetValue(id, devmode, printer data, &type, &size, value, &kind):
//   type, size and value must not be null; kind may be null. On 0, *type is
//   the item's reported type (its stored type when it reports none), *size
//   the value's bytes (a string: its length + 1; a font: 50; otherwise the
//   type's size, see below), and value holds the value in that many bytes
//   (little-endian, the rest of the type's size cleared). For a string or a
//   font, value holds the 4-byte offset of the item in its record and *kind
//   the record (0 devmode, 1 non-devmode, 2 printer data); the caller adds
//   the record's base. *kind is written for every item when kind is not null.
//
// dma_SetValue(id, devmode, printer data, type, size, value):
//   value points at the value's `size` bytes; for a string at its first
//   character (size: the bytes the caller's buffer holds), for a font at the
//   50-byte LOGFONT (size at least 50). A bit flag is set by a value whose
//   first byte is not 0 and cleared by one whose first byte is 0 (1284 the
//   other way round); only that byte is read. A byte item reported as a
//   16-bit value takes 0-255 (4 otherwise). Setting 14 stores its high half
//   in dmPrintQuality and its low half in dmYResolution; setting 311 or 364
//   also stores the font's lfOrientation; setting 267, 320 or 341 also sets
//   325, 326 or 344 through the edge translation, and when that refuses the
//   value nothing is stored (16). A refused set changes nothing.
//
// Type sizes: 1 bit flag: 4 for the flag ids 1281-1376, 4097-4160 and
// 4609-4640, 2 for any other id; 2, 3 and 10: 2; 4 and 5: 4; 6 and 9: 4 (the
// offset); 8: 1; 7 and any other type: refused.
//
// DMA_QueryStructSize(kind): the byte sizes of the library's exchange
// structures: 2 -> 162, 3 -> 353, 4 -> 18, 5 -> 378, 6 -> 722, other -> 0.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KESTRELDM_DEVMODE_SIZE 929u         // ANSI DEVMODE and packed private part
#define KESTRELDM_NONDEVMODE_OFFSET 929u    // the non-devmode record follows the devmode
#define KESTRELDM_NONDEVMODE_SIZE 1974u
#define KESTRELDM_PRINTERDATA_SIZE 2628u
#define KESTRELDM_LOGFONT_SIZE 50u

#define KESTRELDM_OK 0
#define KESTRELDM_ERR_NOGROUP 1
#define KESTRELDM_ERR_TYPE 2
#define KESTRELDM_ERR_FIT 4
#define KESTRELDM_ERR_SIZE 8
#define KESTRELDM_ERR_NOTFOUND 16

#define KESTRELDM_KIND_DEVMODE 0
#define KESTRELDM_KIND_NONDEVMODE 1
#define KESTRELDM_KIND_PRINTERDATA 2

uint16_t dma_GetValue(uint16_t ddmId, const void* devmode, const void* printerData, uint16_t* type, uint16_t* size,
                      void* value, uint16_t* kind);
uint16_t dma_SetValue(uint16_t ddmId, void* devmode, void* printerData, uint16_t type, uint16_t size,
                      const void* value);
uint32_t DMA_QueryStructSize(uint32_t kind);

#ifdef __cplusplus
}
#endif
