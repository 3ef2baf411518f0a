// Everything the stand-in offers in place of the Windows system interfaces
// a driver calls, by the Windows component that exports them. Driver code
// includes this one header.
#pragma once

#include "kplatform/wintypes.h"
#include "kplatform/root.h"
// kernel32
#include "kplatform/kernel32_string.h"
#include "kplatform/kernel32_memory.h"
#include "kplatform/kernel32_sync.h"
#include "kplatform/kernel32_time.h"
#include "kplatform/kernel32_file.h"
#include "kplatform/kernel32_profile.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/kernel32_resource.h"
#include "kplatform/kernel32_codepage.h"
#include "kplatform/kernel32_system.h"
// advapi32
#include "kplatform/advapi32_registry.h"
#include "kplatform/advapi32_eventlog.h"
// user32
#include "kplatform/user32_messagebox.h"
// winspool
#include "kplatform/winspool.h"
#include "kplatform/winspool_job.h"
