// The one folder in which the stand-in keeps what Windows keeps on disk and in
// the registry. Windows paths map into it (see kernel32_file.h):
//   C:\...              <root>/c/...      (every drive letter its own folder)
//   \\server\share\...  <root>/unc/server/share/...
// Setting the root lays out C:\Windows, C:\Windows\system32 and the driver
// directory C:\Windows\system32\spool\drivers\x64\3 beneath it.
//
// Tests give each test its own temporary root. A process that sets none uses
// the folder named by the environment variable KESTREL_ROOT, and fails every
// file and registry call with ERROR_PATH_NOT_FOUND when that is unset too.
#pragma once

#include "kplatform/wintypes.h"

// Makes `folder` (an absolute host path) the root, creating it and the layout
// above when missing. Closes the registry store of a previous root. Returns
// FALSE (and sets the last error) when the folder cannot be made.
KP_API BOOL KpSetRoot(const char* folder);

// The root in use as a host path, or an empty string when there is none.
KP_API const char* KpGetRoot(void);

// Registers a function called whenever the root changes (the registry closes
// its store there). Components call this once, from a static initialiser.
typedef void (*KpRootChangedFn)(void);
KP_API void KpOnRootChanged(KpRootChangedFn fn);
