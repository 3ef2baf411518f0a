// Everything the stand-in offers in place of the Windows kernel interfaces.
// Driver code includes this one header.
#pragma once

#include "kplatform/wintypes.h"
#include "kplatform/root.h"
#include "kplatform/kernel_string.h"
#include "kplatform/kernel_memory.h"
#include "kplatform/kernel_sync.h"
#include "kplatform/kernel_time.h"
#include "kplatform/kernel_file.h"
#include "kplatform/kernel_registry.h"
#include "kplatform/kernel_profile.h"
#include "kplatform/kernel_module.h"
#include "kplatform/kernel_resource.h"
#include "kplatform/kernel_codepage.h"
#include "kplatform/kernel_user.h"
#include "kplatform/kernel_system.h"
#include "kplatform/kernel_eventlog.h"
#include "kplatform/winspool.h"
