// The TrueType substitution table of the user-mode build (see
// kestrel/core/ttsubst.h; the shared part is ttsubst.cpp): the current table
// with the default for the queue, the store and the upgrade.
#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ttsubst.h"

#include "kestrel/core/ddd.h"
#include "kestrel/core/printerdata.h"

LPWSTR ttsb_CurrentTrueTypeSubstTable(HANDLE printer, DWORD unused) {
  LPWSTR table = ttsb_CurrentTrueTypeSubstTableNODEFAULT(printer, unused);
  if (table || !printer) return table;
  HCDDD ddd = cddd_Open(printer);
  if (!ddd) return nullptr;
  table = ttsb_DefaultTrueTypeSubstTable(ddd);
  cddd_Close(ddd);
  return table;
}

BOOL ttsb_SetTrueTypeSubstTable(HANDLE printer, DWORD, LPCWSTR table) {
  if (!table) return FALSE;
  DWORD bytes = ttsb_TableBytes(table, TTSB_MAX_BYTES + 1);
  // A table shorter than the limit ends before it; ttsb_TableBytes reads no
  // further than the closing empty string.
  if (bytes == 0) return FALSE;
  return zanSavePrinterDataToRegistry(printer, table, bytes, ZAN_KIND_FONTSUBTABLE, 0);
}

BOOL UpgradeTrueTypeSubstTable(HANDLE printer, DWORD, HCDDD ddd) {
  LPWSTR stored = ttsb_CurrentTrueTypeSubstTableNODEFAULT(printer, 0);
  if (stored) {
    ttsb_FreeTrueTypeSubstTable(stored);
    return TRUE;
  }
  LPWSTR table = ttsb_DefaultTrueTypeSubstTable(ddd);
  if (!table) return FALSE;
  BOOL ok = ttsb_SetTrueTypeSubstTable(printer, 0, table);
  ttsb_FreeTrueTypeSubstTable(table);
  return ok;
}
