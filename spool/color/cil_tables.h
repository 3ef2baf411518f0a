// The profile engine's generated tables (cil_tables.cpp). Private to spool/.
#pragma once

#include <cstdint>

extern const uint16_t gamma10TRC[256];
extern const uint16_t gamma14TRC[256];
extern const uint16_t gamma18TRC[256];
extern const uint16_t gamma22TRC[256];
extern const uint16_t gamma26TRC[256];
extern const uint8_t XYZ2sRGBTrc[4096];
