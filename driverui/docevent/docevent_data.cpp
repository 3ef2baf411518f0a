// The per-DC document-event records: one list keyed by printer handle, the
// newest first, under one critical section.
//
// Decision: the critical section lives as long as the library (made at
// attach, deleted at detach). Making it with the first record and deleting
// it after the last, on a test of the list's emptiness made outside the
// lock, lets two threads make it twice or one delete it under another.
#include <cstring>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/faxlist.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/ui/docevent.h"
#include "kplatform/kwindows.h"

namespace {

CRITICAL_SECTION g_lock;
bool g_lockMade = false;
DocEventData* g_head = nullptr;
HMODULE g_module = nullptr;

// The lock for library code that runs without attach (tests linking the
// services directly): made once on first use.
void EnsureLock() {
  if (!g_lockMade) {
    InitializeCriticalSection(&g_lock);
    g_lockMade = true;
  }
}

void FreeBlock(BYTE*& block) {
  if (block) GlobalFree(block);
  block = nullptr;
}

}  // namespace

void docevent_Attach(HMODULE module) {
  g_module = module;
  EnsureLock();
}

void docevent_Detach(void) {
  if (!g_lockMade) return;
  // Records still listed belong to DCs never deleted: released with the
  // library (their module reference is the library's own, not freed here).
  EnterCriticalSection(&g_lock);
  while (g_head) {
    DocEventData* d = g_head;
    g_head = d->next;
    _ReleaseDocEventData(d);
    if (d->ddd) cddd_Close(d->ddd);
    GlobalFree(d);
  }
  LeaveCriticalSection(&g_lock);
  DeleteCriticalSection(&g_lock);
  g_lockMade = false;
  g_module = nullptr;
}

void _InitialDocEventData(DocEventData* d) {
  d->started = 0;
  d->isFax = 0;
  d->emfSpool = 0;
  d->emfWarning = 0;
  d->docName[0] = 0;
  d->userName[0] = 0;
  std::memset(d->headerFooter, 0, 4);
  d->jclTable = nullptr;
  d->jclTableSize = 0;
  d->bddmRecords = nullptr;
  d->bddmJobId = 0;
  d->faxInfoSize = 0;
  d->faxInfo = nullptr;
  d->tempFile = nullptr;
  std::memset(d->escapeStatus, 0, sizeof d->escapeStatus);
  std::memset(d->csdx, 0, sizeof d->csdx);
  d->gsbStatus[0] = d->gsbStatus[1] = 0;
  d->gsbDataSize = 0;
  d->gsbData = nullptr;
  d->extGsbDataSize = 0;
  d->extGsbData = nullptr;
  d->jcidSize = 0;
  d->jcid = nullptr;
  d->inExtraPage = 0;
}

void _ReleaseDocEventData(DocEventData* d) {
  FreeBlock(d->jclTable);
  FreeBlock(d->bddmRecords);
  if (d->faxInfo) DeleteFaxAddressInfo(d->faxInfo);
  d->faxInfo = nullptr;
  if (d->tempFile && d->tempFile != INVALID_HANDLE_VALUE) CloseHandle(d->tempFile);
  d->tempFile = nullptr;
  FreeBlock(d->gsbData);
  FreeBlock(d->extGsbData);
  FreeBlock(d->jcid);
}

void _ResetDocEventData(DocEventData* d) {
  _ReleaseDocEventData(d);
  _InitialDocEventData(d);
}

DocEventData* _CreateDocEventData(HANDLE printer) {
  EnsureLock();
  auto* d = static_cast<DocEventData*>(GlobalAlloc(GPTR, sizeof(DocEventData)));
  if (!d) return nullptr;
  d->printer = printer;
  _InitialDocEventData(d);
  // The driver's own module, loaded again so that it stays while the record
  // lives (a library without a module of its own, as in the tests, keeps
  // none).
  if (g_module) {
    WCHAR path[MAX_PATH] = {};
    if (GetModuleFileNameW(g_module, path, MAX_PATH)) d->module = LoadLibraryW(path);
  }
  EnterCriticalSection(&g_lock);
  d->next = g_head;
  g_head = d;
  LeaveCriticalSection(&g_lock);
  return d;
}

DocEventData* _GetDocEventData(HANDLE printer) {
  if (!g_lockMade) return nullptr;
  EnterCriticalSection(&g_lock);
  DocEventData* d = g_head;
  while (d && d->printer != printer) d = d->next;
  LeaveCriticalSection(&g_lock);
  return d;
}

int _DeleteDocEventData(HANDLE printer) {
  if (!g_lockMade) return 1;
  EnterCriticalSection(&g_lock);
  DocEventData** link = &g_head;
  while (*link && (*link)->printer != printer) link = &(*link)->next;
  DocEventData* d = *link;
  if (d) *link = d->next;
  LeaveCriticalSection(&g_lock);
  if (d) {
    _ReleaseDocEventData(d);
    if (d->ddd) cddd_Close(d->ddd);
    HMODULE module = d->module;
    GlobalFree(d);
    if (module) FreeLibrary(module);
  }
  return 1;
}

DWORD docevent_RecordCount(void) {
  if (!g_lockMade) return 0;
  EnterCriticalSection(&g_lock);
  DWORD n = 0;
  for (DocEventData* d = g_head; d; d = d->next) ++n;
  LeaveCriticalSection(&g_lock);
  return n;
}
