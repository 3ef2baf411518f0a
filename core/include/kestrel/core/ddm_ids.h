// The DDM ids the code names: one list, checked against the member layout
// table at compile time (core/devmode/ddm_tables.cpp asserts that every id
// here has a layout row). Code outside the tables writes these names, never
// the number.
//
// Each entry is X(name, id). Names follow the member's role; the standard
// members 1-25 carry the DEVMODEW field they address. A member whose role
// is not fixed is named by what the code does with it (the upgrade rule
// that sets it, the low/high bit it gives a combined value). The first id
// of a run (user-defined paper slots, colour adjustments) names the run.
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
  X(DDM_DITHERTYPE, 25)              \
  /* the devmode's private part */   \
  X(DDM_PRIVATE_VERSION, 257)        \
  X(DDM_PRIVATE_DRIVERVERSION, 258)  \
  X(DDM_MODELNAME, 259)              \
  X(DDM_TRAYPAPER, 262)              \
  X(DDM_INPUTBIN, 265)               \
  X(DDM_MARGINPOSITION, 267)         \
  X(DDM_MARGINVALUE1, 268)           \
  X(DDM_MARGINVALUE2, 269)           \
  X(DDM_COLORMODE, 270)              \
  X(DDM_DEPTH, 271)                  \
  X(DDM_ADJUSTEDOBJECTS, 273)        \
  X(DDM_COLORADJUST_FIRST, 274)      \
  X(DDM_NIE, 291)                    \
  X(DDM_FONTTYPE, 292)               \
  X(DDM_ICMMODE, 293)                \
  X(DDM_PAGESPERSHEET, 295)          \
  X(DDM_PAGECOMPOSE, 296)            \
  X(DDM_STAMPNAME, 297)              \
  X(DDM_STAMPLIST, 298)              \
  X(DDM_STAMPFONT_FACENAME, 305)     \
  X(DDM_STAMPFONT_WIDTH, 319)        \
  X(DDM_STAPLE, 320)                 \
  X(DDM_LAYOUTMODE, 321)             \
  X(DDM_BOOKLETNUMBER, 323)          \
  X(DDM_MARGINVALUE3, 324)           \
  X(DDM_MARGINEDGE, 325)             \
  X(DDM_STAPLEEDGE, 326)             \
  X(DDM_LETTERLOCALE, 327)           \
  X(DDM_OFFSETCATCH, 331)            \
  X(DDM_JOBTYPE, 334)                \
  X(DDM_FORCEPDLVERSION, 336)        \
  X(DDM_PUNCH, 341)                  \
  X(DDM_PUNCHEDGE, 344)              \
  X(DDM_COLORCAPABLE, 345)           \
  X(DDM_RES600OPTION, 346)           \
  X(DDM_PATTERNRESOLUTION, 348)      \
  X(DDM_RESCONVTHRESHOLD, 350)       \
  X(DDM_HEADERFONT_FACENAME, 358)    \
  X(DDM_EMULATEDMEDIA, 388)          \
  X(DDM_PRESETADJUST, 390)           \
  X(DDM_QUEUEBYTE1, 438)             \
  X(DDM_QUEUEBYTE2, 440)             \
  X(DDM_OUTPUTSELECTION, 444)        \
  X(DDM_BOOKLETPARTITION, 446)       \
  X(DDM_SADDLEOUTPUT, 448)           \
  X(DDM_EMULATEDMEDIA2, 453)         \
  X(DDM_COLORTOBLACK, 454)           \
  X(DDM_GRAYH, 455)                  \
  X(DDM_INPUTBINCONVERSION, 457)     \
  X(DDM_BOOKLET, 465)                \
  X(DDM_VAGUEAUTO, 1289)             \
  X(DDM_RESCONVERSION, 1302)         \
  X(DDM_GRAYH_LOW, 1306)             \
  X(DDM_COLORTOBLACK_LOW, 1308)      \
  X(DDM_GRAYH_HIGH, 1309)            \
  X(DDM_COLORTOBLACK_HIGH, 1311)     \
  X(DDM_PEROBJECTADJUST, 1314)       \
  X(DDM_APPLICATIONZOOM, 1324)       \
  X(DDM_SADDLESTAPLE, 1328)          \
  X(DDM_ENABLEPAPERWIDTHLENGTH, 1331) \
  X(DDM_PAPERIDFIRST, 1353)          \
  /* the non-devmode record */       \
  X(DDM_NONDEV_VERSION, 1793)        \
  X(DDM_LANGUAGESWITCH, 1804)        \
  X(DDM_NONDEV_PAPER, 1824)          \
  X(DDM_FORMDIRECTORY, 1829)         \
  X(DDM_CUSTOMPAPERWIDTH, 1863)      \
  X(DDM_CUSTOMPAPERLENGTH, 1864)     \
  /* the printer-data record */      \
  X(DDM_OPTION_HICAPACITYTRAY, 4097) \
  X(DDM_OPTION_FINISHERFLAG, 4101)   \
  X(DDM_OPTION_DUPLEX, 4103)         \
  X(DDM_OPTION_MEMORY1, 4104)        \
  X(DDM_OPTION_TRAYMODULE1, 4105)    \
  X(DDM_OPTION_TRAYMODULE2, 4106)    \
  X(DDM_OPTION_TRAYMODULE3, 4107)    \
  X(DDM_OPTION_MEMORY2, 4117)        \
  X(DDM_FEWCOLORPRINT, 4129)         \
  X(DDM_OPTION_MEMORYSELECT, 4355)   \
  X(DDM_PAPERSETTING, 4356)          \
  X(DDM_OPTION_INTRAY, 4357)         \
  X(DDM_PAPERSWITCH_8K16K, 4358)     \
  X(DDM_OPTION_FINISHER, 4359)       \
  X(DDM_HCFSELECT, 4362)             \
  X(DDM_PDLKIND, 5125)               \
  X(DDM_USERNAMETYPE, 5127)          \
  X(DDM_QUEUEVALUE1, 5132)           \
  X(DDM_QUEUEVALUE2, 5135)           \
  X(DDM_MODELID, 5137)               \
  X(DDM_SPECIAL1, 5153)              \
  X(DDM_MAXBOOKLETNUMBER, 5158)      \
  X(DDM_ACCOUNTMODE, 5163)           \
  X(DDM_USERNAMETYPE2, 5178)         \
  X(DDM_CUSTOMPAPER_ENABLED, 5200)   \
  X(DDM_EMULATION, 5201)             \
  X(DDM_FORCECOLORMODE, 5202)        \
  X(DDM_DEFINEWIDTH_FIRST, 5889)     \
  X(DDM_DEFINELENGTH_FIRST, 5909)    \
  X(DDM_DEFINENAME_FIRST, 5929)      \
  X(DDM_TRAYTABLE_A_PAPER, 6145)     \
  X(DDM_TRAYTABLE_B_PAPER, 6220)     \
  X(DDM_PDLVERSION, 8205)            \
  X(DDM_DEVICECOLLATE, 8206)

#define KESTREL_DDM_ID_CONSTANT(name, id) inline constexpr WORD name = id;
KESTREL_DDM_IDS(KESTREL_DDM_ID_CONSTANT)
#undef KESTREL_DDM_ID_CONSTANT

// Runs of members named by their first id.
inline constexpr WORD DDM_COLORADJUST_COUNT = 12;   // three adjustments for each of four object groups
inline constexpr WORD DDM_COLORADJUST_OBJECTS = 4;  // all, text, graphics, images: one id apart
inline constexpr WORD DDM_TRAYTABLE_ROWS = 15;     // rows of the input-tray tables A and B
// The stamp members: the stamp name up to the stamp font's last field.
inline constexpr WORD DDM_STAMP_FIRST = DDM_STAMPNAME;
inline constexpr WORD DDM_STAMP_LAST = DDM_STAMPFONT_WIDTH;
// The id ranges of the private part and of the non-devmode record.
inline constexpr WORD DDM_PRIVATE_FIRST = DDM_PRIVATE_VERSION;
inline constexpr WORD DDM_PRIVATE_LAST = 467;
inline constexpr WORD DDM_NONDEV_FIRST = DDM_NONDEV_VERSION;
inline constexpr WORD DDM_NONDEV_LAST = 1865;
