// Opening the description data of a printer in the user-mode build (see
// kestrel/core/cddd_open.h; the shared part is core/common/cddd_open.cpp):
// the file named by the printer driver's information.
#include "kestrel/core/cddd_open.h"

#include "kestrel/core/kcore_sys.h"

HCDDD cddd_Open(HANDLE printer) {
  LPWSTR name = cdddGetFileName(printer);
  if (!name) return nullptr;
  HCDDD h = cddd_OpenFile(name);
  kcore_Free(name);
  return h;
}
