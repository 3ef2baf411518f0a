#pragma once

#include "kplatform/wintypes.h"
