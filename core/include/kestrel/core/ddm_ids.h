// The DDM ids the code names: one list, checked against the member layout
// table at compile time (core/devmode/ddm_tables.cpp asserts that every id
// here has a layout row). Code outside the tables writes these names, never
// the number.
//
// Each entry is X(name, id). Names follow the member's role; the standard
// members 1-25 carry the DEVMODEW field they address.
#pragma once

#include "kplatform/wintypes.h"

#define KESTREL_DDM_IDS(X)          \
  /* the standard DEVMODEW members */ \
  X(DDM_DEVICENAME, 1)              \
  X(DDM_SPECVERSION, 2)             \
  X(DDM_DRIVERVERSION, 3)           \
  X(DDM_SIZE, 4)                    \
  X(DDM_DRIVEREXTRA, 5)             \
  X(DDM_FIELDS, 6)                  \
  X(DDM_ORIENTATION, 7)             \
  X(DDM_PAPERSIZE, 8)               \
  X(DDM_PAPERLENGTH, 9)             \
  X(DDM_PAPERWIDTH, 10)             \
  X(DDM_SCALE, 11)                  \
  X(DDM_COPIES, 12)                 \
  X(DDM_DEFAULTSOURCE, 13)          \
  X(DDM_RESOLUTION, 14)             \
  X(DDM_COLOR, 15)                  \
  X(DDM_DUPLEX, 16)                 \
  X(DDM_TTOPTION, 17)               \
  X(DDM_COLLATE, 18)                \
  X(DDM_FORMNAME, 19)               \
  X(DDM_PRINTQUALITY, 20)           \
  X(DDM_YRESOLUTION, 21)            \
  X(DDM_ICMMETHOD, 22)              \
  X(DDM_ICMINTENT, 23)              \
  X(DDM_MEDIATYPE, 24)              \
  X(DDM_DITHERTYPE, 25)

#define KESTREL_DDM_ID_CONSTANT(name, id) inline constexpr WORD name = id;
KESTREL_DDM_IDS(KESTREL_DDM_ID_CONSTANT)
#undef KESTREL_DDM_ID_CONSTANT
