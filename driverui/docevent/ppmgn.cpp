// Per-user paper margins (kestrel/ui/docevent.h): four 16-bit values a
// paper, top, bottom, left, right in 0.1 mm, under the printer's per-user
// key, and the paper record's default margins.
#include <cstring>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/ui/docevent.h"
#include "kestrel/ui/prnid.h"
#include "kestrel/ui/usersetting.h"
#include "kplatform/byte_order.h"
#include "kplatform/kwindows.h"

namespace {

constexpr DWORD kRecordBytes = 8;

void ValueName(WORD paperId, WCHAR* name) { wsprintfW(name, u"%u", static_cast<unsigned>(paperId)); }

}  // namespace

BOOL PpMgn_GetMargin(HANDLE printer, HCDDD ddd, WORD paperId, WORD margins[4]) {
  if (!printer || !margins) return FALSE;
  WCHAR name[8] = {};
  ValueName(paperId, name);
  BYTE record[kRecordBytes] = {};
  DWORD size = kRecordBytes;
  if (LoadCurrentUserData(printer, ddd, record, &size, REG_BINARY, PPMGN_SUBKEY, name) != 0 || size != kRecordBytes)
    return FALSE;
  for (int i = 0; i < 4; ++i) margins[i] = kp_LoadU16(record + 2 * i);
  return TRUE;
}

BOOL PpMgn_SetMargin(HANDLE printer, HCDDD ddd, WORD paperId, const WORD margins[4]) {
  if (!printer || !margins) return FALSE;
  WCHAR name[8] = {};
  ValueName(paperId, name);
  BYTE record[kRecordBytes];
  for (int i = 0; i < 4; ++i) kp_StoreU16(record + 2 * i, margins[i]);
  return SaveCurrentUserData(printer, ddd, record, kRecordBytes, REG_BINARY, PPMGN_SUBKEY, name);
}

BOOL PpMgn_GetDefaultMargin(HCDDD ddd, WORD paperId, WORD margins[4]) {
  if (!ddd || !margins) return FALSE;
  DDD_PAPER* paper = nullptr;
  WORD status = 0;
  if (!cdddGetPaperSizeInfo(ddd, DDM_PAPERSIZE, paperId, 0, &paper, &status) || !paper) return FALSE;
  // The record's margins are {left, top} and {right, bottom}.
  margins[0] = paper->marginFirst.second;   // top
  margins[1] = paper->marginSecond.second;  // bottom
  margins[2] = paper->marginFirst.first;    // left
  margins[3] = paper->marginSecond.first;   // right
  cdddGetPaperSizeInfoFree(paper);
  return TRUE;
}
