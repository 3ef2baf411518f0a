// The DDM ids the code names: one list, checked against the member layout
// table at compile time (core/ddm/ddm_tables.cpp asserts that every id
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
  X(DDM_FLAGWORD1, 260)              \
  X(DDM_FLAGWORD2, 261)              \
  X(DDM_OUTPUTSIZE, 262)              \
  X(DDM_INPUTBIN, 265)               \
  X(DDM_MARGINPOSITION, 267)         \
  X(DDM_MARGINVALUE1, 268)           \
  X(DDM_MARGINVALUE2, 269)           \
  X(DDM_COLORMODE, 270)              \
  X(DDM_DEPTH, 271)                  \
  X(DDM_ADJUSTEDOBJECTS, 273)        \
  X(DDM_COLORADJUST_FIRST, 274)      \
  X(DDM_COLORMATCHING, 286)          \
  X(DDM_WHITEPOINT, 287)             \
  X(DDM_GAMMA, 288)                  \
  X(DDM_NIE, 291)                    \
  X(DDM_TRUETYPE, 292)               \
  X(DDM_ICMMODE, 293)                \
  X(DDM_NUP, 295)          \
  X(DDM_POSTERPARTS, 296)            \
  X(DDM_STAMPNAME, 297)              \
  X(DDM_STAMPLIST, 298)              \
  X(DDM_STAMPFONT_FACENAME, 305)     \
  X(DDM_STAMPFONT_ORIENTATION, 310)  \
  X(DDM_STAMPFONT_ESCAPEMENT, 311)   \
  X(DDM_STAMPFONT_WIDTH, 319)        \
  X(DDM_STAPLE, 320)                 \
  X(DDM_LAYOUTMODE, 321)             \
  X(DDM_BOOKLETNUMBER, 323)          \
  X(DDM_BOOKLETMARGIN, 324)          \
  X(DDM_MARGINEDGE, 325)             \
  X(DDM_STAPLEEDGE, 326)             \
  X(DDM_LETTERLOCALE, 327)           \
  X(DDM_MEMBER_329, 329)             \
  X(DDM_IMAGECOMPRESSION, 330)       \
  X(DDM_OFFSETCATCH, 331)            \
  X(DDM_JOBTYPE, 334)                \
  X(DDM_FORCEPDLVERSION, 336)        \
  X(DDM_PUNCH, 341)                  \
  X(DDM_PUNCHEDGE, 344)              \
  X(DDM_COLORCAPABLE, 345)           \
  X(DDM_RES600OPTION, 346)           \
  X(DDM_PATTERNRESOLUTION, 348)      \
  X(DDM_MEMBER_349, 349)             \
  X(DDM_RESCONVTHRESHOLD, 350)       \
  X(DDM_PATTERNATDEVICERES, 386)     \
  X(DDM_HEADERFONT_FACENAME, 358)    \
  X(DDM_HEADERFONT_ORIENTATION, 363) \
  X(DDM_HEADERFONT_ESCAPEMENT, 364)  \
  X(DDM_HEADERFONT_UNDERLINE, 365)   \
  X(DDM_HEADERFONT_WIDTH, 372)       \
  X(DDM_EMULATEDMEDIA, 388)          \
  X(DDM_PRESETADJUST, 390)           \
  X(DDM_PACKEDBYTES_FIRST, 392)      \
  X(DDM_QUEUEBYTE1, 438)             \
  X(DDM_DOCPROPTYPE, 439)            \
  X(DDM_QUEUEBYTE2, 440)             \
  X(DDM_FAVORITE_SELECTION, 442)     \
  X(DDM_OUTPUTSELECTION, 444)        \
  X(DDM_BOOKLETKIND, 446)       \
  X(DDM_SADDLEOUTPUT, 448)           \
  X(DDM_EMULATEDMEDIA2, 453)         \
  X(DDM_COLORTOBLACK, 454)           \
  X(DDM_GRAYH, 455)                  \
  X(DDM_INPUTBINCONVERSION, 457)     \
  X(DDM_FLAGWORD3, 462)              \
  X(DDM_DOCPROPTYPE2, 463)           \
  X(DDM_BOOKLET, 465)                \
  X(DDM_INVERTED_FLAG, 1284)         \
  X(DDM_COLORMODEAUTO, 1289)         \
  X(DDM_MEMBER_1295, 1295)           \
  X(DDM_RESCONVERSION, 1302)         \
  X(DDM_ICCPROFILE1_ON, 1303)        \
  X(DDM_ICCPROFILE2_ON, 1304)        \
  X(DDM_ICCPROFILE2_SAMEASFIRST, 1305) \
  X(DDM_GRAYH_LOW, 1306)             \
  X(DDM_DEPTH8_ONLY, 1307)           \
  X(DDM_COLORTOBLACK_LOW, 1308)      \
  X(DDM_GRAYH_HIGH, 1309)            \
  X(DDM_COLORTOBLACK_HIGH, 1311)     \
  X(DDM_PEROBJECTADJUST, 1314)       \
  X(DDM_COLOROUTPUT_ONLY, 1317)      \
  X(DDM_MONOOUTPUT_ONLY, 1318)       \
  X(DDM_APPLICATIONZOOM, 1324)       \
  X(DDM_GRAYLCC_TEXT, 1326)          /* grey adjustment of text, as 273's bit 0 */ \
  X(DDM_GRAYLCC_GRAPHICS, 1327)      /* and of graphics, bit 1 */ \
  X(DDM_SADDLESTAPLE, 1328)          \
  X(DDM_ENABLEPAPERWIDTHLENGTH, 1331) \
  X(DDM_PAPERIDFIRST, 1353)          \
  /* the non-devmode record */       \
  X(DDM_NONDEV_VERSION, 1793)        \
  X(DDM_LANGUAGESWITCH, 1804)        \
  X(DDM_NONDEV_PAPER, 1824)          \
  X(DDM_FORMDIRECTORY, 1829)         \
  X(DDM_ICCPROFILE1_NAME, 1832)      \
  X(DDM_ICCPROFILE2_NAME, 1833)      \
  X(DDM_MERGEALLIMAGES, 1862)        \
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
  X(DDM_COLORSENSORUNIT, 4129)         \
  X(DDM_OPTION_MEMORYSELECT, 4355)   \
  X(DDM_PAPERSETTING, 4356)          \
  X(DDM_OPTION_INTRAY, 4357)         \
  X(DDM_PAPERSWITCH_8K16K, 4358)     \
  X(DDM_OPTION_FINISHER, 4359)       \
  X(DDM_HCFSELECT, 4362)             \
  X(DDM_USERNAME, 5121)              \
  X(DDM_PDLKIND, 5125)               \
  X(DDM_USERNAMETYPE, 5127)          \
  X(DDM_QUEUEVALUE1, 5132)           \
  X(DDM_QUEUEVALUE2, 5135)           \
  X(DDM_MODELID, 5137)               \
  X(DDM_USERNAME2, 5150)             \
  X(DDM_SPECIAL1, 5153)              \
  X(DDM_MAXBOOKLETNUMBER, 5158)      \
  X(DDM_ACCOUNTMODE, 5163)           \
  X(DDM_USERNAMEPOPUP, 5164)         \
  X(DDM_USERNAMEPOPUP2, 5165)        \
  X(DDM_POPUPUSERNAME, 5174)         \
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
  X(DDM_DEVICECOLLATE, 8206)                                      \
  /* named by the renderer and the user interface */              \
  /* (DDM_MEMBER_<id>: a member whose role is not settled yet) */ \
  X(DDM_ZOOM, 263)                                                \
  X(DDM_PAGE_ORDER, 264)                                          \
  X(DDM_OUTPUT_TRAY, 266)                                         \
  X(DDM_LAYOUT_ORIENTATION, 294)                                  \
  X(DDM_STAMP_TEXT_NAME, 299)                                     \
  X(DDM_BOOKLET_DIRECTION, 322)                                   \
  X(DDM_BANNER_SHEET, 332)                                        \
  X(DDM_BANNER_SHEET_VALUE, 333)                                  \
  X(DDM_FORM_REGISTRATION, 339)                                   \
  X(DDM_HEADERFOOTER_ITEM_FIRST, 351)                             \
  X(DDM_FAX_TEMP_FILE, 374)                                       \
  X(DDM_FAX_ADDRESS_FILE, 375)                                    \
  X(DDM_FAX_SHEET_KIND_A, 376)                                    \
  X(DDM_FAX_SHEET_KIND_B, 377)                                    \
  X(DDM_FAX_SINGLE_HEADER, 379)                                   \
  X(DDM_FAX_DESTINATION_COUNT, 380)                               \
  X(DDM_FAX_COVER_SHEET_MODE, 381)                                \
  X(DDM_MEMBER_382, 382)                                          \
  X(DDM_EDGE_TO_EDGE, 383)                                        \
  X(DDM_DEFAULT_FONT_ID, 384)                                     \
  X(DDM_DEFAULT_FONT_SIZE, 385)                                   \
  X(DDM_APP_MARGINS, 387)                                         \
  X(DDM_INSERT_SHEET_1, 404)                                      \
  X(DDM_INSERT_SHEET_2, 405)                                      \
  X(DDM_INSERT_SHEET_3, 406)                                      \
  X(DDM_INSERT_SHEET_1_VALUE, 407)                                \
  X(DDM_INSERT_SHEET_2_VALUE, 408)                                \
  X(DDM_INSERT_SHEET_3_VALUE, 409)                                \
  X(DDM_ROTATE_180_KIND, 437)                                     \
  X(DDM_MEMBER_441, 441)                                          \
  X(DDM_MEMBER_459, 459)                                          \
  X(DDM_MEMBER_460, 460)                                          \
  X(DDM_MEMBER_461, 461)                                          \
  X(DDM_REPORT_FULL_COLOR, 464)                                   \
  X(DDM_ZOOM_ON, 1281)                                            \
  X(DDM_MEMBER_1283, 1283)                                        \
  X(DDM_POSTER_CROP_MARKS, 1285)                                  \
  X(DDM_MEMBER_1286, 1286)                                        \
  X(DDM_STAMP_TRANSPARENT, 1287)                                  \
  X(DDM_STAMP_FIRST_PAGE, 1288)                                   \
  X(DDM_BOOKLET_MARGIN_ON, 1291)                                  \
  X(DDM_MEMBER_1292, 1292)                                        \
  X(DDM_CURE_DRAW_MODE_A, 1293)                                   \
  X(DDM_CURE_DRAW_MODE_B, 1294)                                   \
  X(DDM_HEADERFOOTER_ON_FIRST, 1296)                              \
  X(DDM_REVERSE_ORDER, 1312)                                      \
  X(DDM_MEMBER_1313, 1313)                                        \
  X(DDM_MEMBER_1320, 1320)                                        \
  X(DDM_APPLINK_PDL_VERSION, 1332)                                \
  X(DDM_NO_APP_COPY_COUNT, 1333)                                  \
  X(DDM_SKIP_BLANK_PAGES, 1334)                                   \
  X(DDM_FONTTYPE, 1335)                                           \
  X(DDM_ERROR_REPORT, 1336)                                       \
  X(DDM_NUP_FRAME, 1337)                                          \
  X(DDM_MEMBER_1340, 1340)                                        \
  X(DDM_NO_DEVICE_FONTS, 1343)                                    \
  X(DDM_MEMBER_1344, 1344)                                        \
  X(DDM_RESET_TAKES_DUPLEX, 1350)                                 \
  X(DDM_INSERT_POSITION_FIRST, 1834)                              \
  X(DDM_STAMP_BITMAP_NAME, 1857)                                  \
  X(DDM_FINISHER_UNIT, 4099)                                      \
  X(DDM_JOB_SEPARATOR, 4123)                                      \
  X(DDM_FEW_COLOR_SETTING, 5126)                                  \
  X(DDM_ORIENTATION_COMMENT, 5149)                                \
  /* named by the job header writer */                            \
  X(DDM_FAX_NAME_SOURCE, 335)                                     \
  X(DDM_INSERT_PAPER_A, 410)                                      \
  X(DDM_INSERT_PAPER_B, 411)                                      \
  X(DDM_INSERT_FEED_EDGE, 412)                                    \
  X(DDM_USER_ID, 435)                                             \
  X(DDM_PRINT_HOUR, 451)                                          \
  X(DDM_PRINT_MINUTE, 452)                                        \
  X(DDM_COMMENT_SUPPRESS, 1321)                                   \
  /* named by the marked re-output: copies registered with the    */ \
  /* document monitor (with DDM 1321)                             */ \
  X(DDM_DOCMONITOR_REGISTER, 8201)                                \
  X(DDM_FAX_DATA_FILE, 1799)                                      \
  X(DDM_FAX_TIMER_ON, 1800)                                       \
  X(DDM_FAX_TIMER_HOUR, 1801)                                     \
  X(DDM_FAX_TIMER_MINUTE, 1802)                                   \
  X(DDM_FAX_RESOLUTION, 1803)                                     \
  X(DDM_FAX_DOCUMENT_NAME, 1831)                                  \
  X(DDM_INSERT_POSITION_LAST, 1853)                               \
  X(DDM_FAX_TX_HEADER, 1859)                                      \
  X(DDM_FAX_TX_REPORT, 1860)                                      \
  X(DDM_FAX_PASSWORD, 1865)                                       \
  X(DDM_OPTION_FAXKIT, 4125)                                      \
  X(DDM_OWNER_NAME_A, 5121)                                       \
  X(DDM_FAX_PREFIX_1, 5141)                                       \
  X(DDM_FAX_PREFIX_1_FLAG, 5142)                                  \
  X(DDM_FAX_PREFIX_2, 5143)                                       \
  X(DDM_FAX_PREFIX_2_FLAG, 5144)                                  \
  X(DDM_FAX_NO_PREFIX_FLAG, 5145)                                 \
  X(DDM_OWNER_NAME_B, 5150)                                       \
  X(DDM_OWNER_SWITCH_A, 5164)                                     \
  X(DDM_OWNER_SWITCH_B, 5165)                                     \
  X(DDM_OWNER_DEVMODE_NAME, 5174)                                 \
  X(DDM_OWNER_UNKNOWN, 5183)                                      \
  X(DDM_JOB_OWNER_ON, 5203)                                       \
  /* named by the driver's devmode and property-sheet exports */  \
  X(DDM_OUTPUT_BLOCK_CHECK, 1341)                                 \
  X(DDM_PD_DRIVERVERSION, 8203)                                   \
  /* named by the document events */                              \
  X(DDM_STAMP_COLOR, 301)                                         \
  X(DDM_STAMP_SIZE, 302)                                          \
  X(DDM_STAMP_ANGLE, 303)                                         \
  X(DDM_STAMP_FONT, 304)                                          \
  X(DDM_HEADERFOOTER_USERHOST, 1297)                              \
  X(DDM_HEADERFOOTER_DOCNAME, 1298)                               \
  X(DDM_HEADERFOOTER_PAGENUMBER, 1299)                            \
  X(DDM_HEADERFOOTER_DATE, 1300)                                  \
  X(DDM_HEADERFOOTER_TIME, 1301)                                  \
  X(DDM_MARKING_SWITCH, 1339)                                     \
  X(DDM_STAMP_BITMAP_OPTION, 1856)                                \
  X(DDM_FAX_FRONTEND_MODE, 4113)                                  \
  X(DDM_ACCOUNT_ID, 5175)                                         \
  X(DDM_ACCOUNT_NAME, 5176)                                       \
  X(DDM_ACCOUNT_ALT_POPUPS, 5186)                                 \
  X(DDM_CONFIDENTIAL_ID, 5129)                                    \
  X(DDM_CONFIDENTIAL_PASSWORD, 5130)

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
// The stamp's flags: 1286, transparency and the first-page flag.
inline constexpr WORD DDM_STAMPFLAGS_FIRST = DDM_MEMBER_1286;
inline constexpr WORD DDM_STAMPFLAGS_LAST = DDM_STAMP_FIRST_PAGE;
// The byte-packed members: three ids a 32-bit word, four words.
inline constexpr WORD DDM_PACKEDBYTES_PER_WORD = 3;
inline constexpr WORD DDM_PACKEDBYTES_LAST = 403;
// The bits of the flag words: the devmode's three words (260, 261, 462) and
// the printer data's option flags and flags.
inline constexpr WORD DDM_DEVMODEFLAGS_FIRST = DDM_ZOOM_ON;
inline constexpr WORD DDM_DEVMODEFLAGS_LAST = 1376;
inline constexpr WORD DDM_OPTIONFLAGS_FIRST = DDM_OPTION_HICAPACITYTRAY;
inline constexpr WORD DDM_OPTIONFLAGS_LAST = 4160;
inline constexpr WORD DDM_PRINTERFLAGS_FIRST = 4609;
inline constexpr WORD DDM_PRINTERFLAGS_LAST = 4640;
// The non-devmode paper and the four LONG members after it.
inline constexpr WORD DDM_NONDEV_PAPER_LAST = 1828;
// The printer-data group of the option flags and the options (4097-4362).
inline constexpr WORD DDM_OPTIONS_LAST = DDM_HCFSELECT;
// Ids above every record: each asks the device description data for one
// category's list by a data id the caller gives; no member has them.
inline constexpr WORD DDM_SELECT_PAPER = 32769;
inline constexpr WORD DDM_SELECT_TRAY = 32770;
inline constexpr WORD DDM_SELECT_TRAY2 = 32771;
inline constexpr WORD DDM_SELECT_PAPERTYPE = 32779;
// The id ranges of the private part and of the non-devmode record.
inline constexpr WORD DDM_PRIVATE_FIRST = DDM_PRIVATE_VERSION;
inline constexpr WORD DDM_PRIVATE_LAST = 467;
inline constexpr WORD DDM_NONDEV_FIRST = DDM_NONDEV_VERSION;
inline constexpr WORD DDM_NONDEV_LAST = 1865;
