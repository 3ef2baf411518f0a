// The stamp store: per user and printer, one REG_BINARY value of 832 bytes a
// stamp under the per-user key's sub-key "Stamps" (at most 32 stamps), with
// "Stamps\Others" holding "Stamp Version" ("0.01"). A user without stamps
// gets the machine-wide stamps copied (HKEY_LOCAL_MACHINE, the description's
// registry path item 0 followed by "Stamps") or else the six defaults.
//
// Decisions (sound behaviour where the stored data can be damaged):
//  - A value that is not REG_BINARY or not exactly 832 bytes is no stamp:
//    it is skipped (not counted, not listed, never matched), and does not
//    make the enumeration fail.
//  - A stored name or text without its NUL is cut at its last character.
//  - zanStamp_RegistrationCheck answers 2 for a name in use in every mode:
//    no fixed text is compared with a stored text (the codes 15 and 16 are
//    not given).
//  - zanStamp_Registration refuses a default stamp's name with 3, as
//    zanStamp_Elimination does: the defaults cannot be replaced.
//  - zanStamp_AdjustmentCheck compares face names without regard to case.
//  - The values at 196-212 and 308 are the stamp editor's placement and look
//    settings; the store only keeps, copies and compares them, and the
//    editor and the drawing that give them their meaning are not written
//    yet. Their names are our reading of the six defaults (placement and
//    offsets 0, size and density at the middle of 0-255, a COLORREF colour,
//    the frame on); the editor confirms or renames them when it lands.
#pragma once

#include <cstddef>

#include "kestrel/core/cddd.h"
#include "kestrel/core/devmode.h"
#include "kplatform/advapi32_registry.h"
#include "kplatform/wintypes.h"

#define STAMP_NAME_CHARS 33
#define STAMP_TEXT_CHARS 65
#define STAMP_RECORD_SIZE 832
#define STAMP_MAX 32

struct STAMPINFO {
  WCHAR name[STAMP_NAME_CHARS];  // 0
  WCHAR text[STAMP_TEXT_CHARS];  // 66
  DWORD placement;     // 196: where on the page the stamp stands
  WORD offsetX;        // 200: horizontal offset from the placement
  WORD unused202;
  DWORD offsetY;       // 204: vertical offset from the placement
  WORD size;           // 208
  WORD density;        // 210
  DWORD color;         // 212: 0x00BBGGRR
  LOGFONTW font;       // 216
  WORD frame;          // 308: a frame around the text
  WORD reservedZero;   // 310: always 0
  BYTE reserved[520];  // 312-831
};
static_assert(sizeof(STAMPINFO) == STAMP_RECORD_SIZE);
static_assert(offsetof(STAMPINFO, text) == 66);
static_assert(offsetof(STAMPINFO, unused202) == 202);
static_assert(offsetof(STAMPINFO, placement) == 196);
static_assert(offsetof(STAMPINFO, offsetX) == 200);
static_assert(offsetof(STAMPINFO, offsetY) == 204);
static_assert(offsetof(STAMPINFO, size) == 208);
static_assert(offsetof(STAMPINFO, density) == 210);
static_assert(offsetof(STAMPINFO, color) == 212);
static_assert(offsetof(STAMPINFO, font) == 216);
static_assert(offsetof(STAMPINFO, frame) == 308);
static_assert(offsetof(STAMPINFO, reservedZero) == 310);

// Results.
#define STAMP_OK 1
#define STAMP_DEFAULT 3
#define STAMP_FULL 4
#define STAMP_NOSTORED 6
#define STAMP_DIFFERENT 7
#define STAMP_KEY 8
#define STAMP_ENUM 9
#define STAMP_WRITE 10
#define STAMP_DELETE 11
#define STAMP_SMALL 12
#define STAMP_NONE 99
#define STAMP_INUSE 2
#define STAMP_DEFAULT_NAME 17

// A stored value as a stamp record: TRUE only for REG_BINARY of exactly 832
// bytes; the name and the text are terminated at their last character.
BOOL zanStamp_ReadRecord(DWORD type, const BYTE* data, DWORD size, STAMPINFO* record);
// kind 0 "Stamps", 1 "Stamps\Others". 1 with *key open, 8 or 99.
WORD zanStamp_OpenSubKey(HANDLE printer, HCDDD ddd, WORD kind, HKEY* key);
WORD zanStamp_GetEntryNum(HANDLE printer, HCDDD ddd, WORD* count);
// *size: in, the buffer's bytes; out, the bytes the names need (names with
// their NULs plus one more NUL). Without a buffer: 1 and the size; with a
// buffer too small: 12 and the size, nothing written. Without a stamp key:
// the default names.
WORD zanStamp_GetStampList(HANDLE printer, HCDDD ddd, LPWSTR buffer, WORD* count, DWORD* size);
WORD zanStamp_GetStampInfo(HANDLE printer, HCDDD ddd, LPCWSTR name, STAMPINFO* record, BOOL defaultsOnly);
WORD zanStamp_RegistrationCheck(HANDLE printer, HCDDD ddd, LPCWSTR name, WORD mode);
WORD zanStamp_Registration(HANDLE printer, HCDDD ddd, const STAMPINFO* record);
WORD zanStamp_EliminationCheck(HANDLE printer, HCDDD ddd, LPCWSTR name);
WORD zanStamp_Elimination(HANDLE printer, HCDDD ddd, LPCWSTR name);
WORD zanStamp_AdjustmentCheck(HANDLE printer, HCDDD ddd, const STAMPINFO* record);
BOOL zanStamp_IsDefaultStamp(LPCWSTR name);
// Builds the default stamp number `index` (0-5) from the resource strings.
BOOL SetValueStampInfo(WORD index, STAMPINFO* record);
// Fills the default header/footer font; answers its face name.
LPWSTR SetDefaultHeaderLogFont(LOGFONTW* font);
