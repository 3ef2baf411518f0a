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
  X(DDM_DITHERTYPE, 25)             \
  /* named by the renderer and the user interface */ \
  /* (DDM_MEMBER_<id>: a member whose role is not settled yet) */ \
  X(DDM_MODEL_NAME, 259)               \
  X(DDM_OUTPUT_SIZE, 262)              \
  X(DDM_ZOOM, 263)                     \
  X(DDM_PAGE_ORDER, 264)               \
  X(DDM_OUTPUT_TRAY, 266)              \
  X(DDM_MARGIN_POSITION, 267)          \
  X(DDM_MARGIN_VALUE_1, 268)           \
  X(DDM_MARGIN_VALUE_2, 269)           \
  X(DDM_COLOR_MODE, 270)               \
  X(DDM_TRUETYPE, 292)                 \
  X(DDM_LAYOUT_ORIENTATION, 294)       \
  X(DDM_NUP, 295)                      \
  X(DDM_POSTER, 296)                   \
  X(DDM_STAMP_NAME, 297)               \
  X(DDM_STAMP_TEXT_NAME, 299)          \
  X(DDM_PRINT_LAYOUT, 321)             \
  X(DDM_BOOKLET_DIRECTION, 322)        \
  X(DDM_BOOKLET_NUMBER, 323)           \
  X(DDM_BOOKLET_MARGIN, 324)           \
  X(DDM_STAPLE_EDGE, 326)              \
  X(DDM_BANNER_SHEET, 332)             \
  X(DDM_BANNER_SHEET_VALUE, 333)       \
  X(DDM_JOB_TYPE, 334)                 \
  X(DDM_FORM_REGISTRATION, 339)        \
  X(DDM_PUNCH_EDGE, 344)               \
  X(DDM_HEADERFOOTER_ITEM_FIRST, 351)  \
  X(DDM_FAX_TEMP_FILE, 374)            \
  X(DDM_FAX_ADDRESS_FILE, 375)         \
  X(DDM_FAX_SHEET_KIND_A, 376)         \
  X(DDM_FAX_SHEET_KIND_B, 377)         \
  X(DDM_FAX_SINGLE_HEADER, 379)        \
  X(DDM_FAX_DESTINATION_COUNT, 380)    \
  X(DDM_FAX_COVER_SHEET_MODE, 381)     \
  X(DDM_MEMBER_382, 382)               \
  X(DDM_EDGE_TO_EDGE, 383)             \
  X(DDM_APP_MARGINS, 387)              \
  X(DDM_INSERT_SHEET_1, 404)           \
  X(DDM_INSERT_SHEET_2, 405)           \
  X(DDM_INSERT_SHEET_3, 406)           \
  X(DDM_INSERT_SHEET_1_VALUE, 407)     \
  X(DDM_INSERT_SHEET_2_VALUE, 408)     \
  X(DDM_INSERT_SHEET_3_VALUE, 409)     \
  X(DDM_ROTATE_180_KIND, 437)          \
  X(DDM_MEMBER_441, 441)               \
  X(DDM_BOOKLET_FINISH, 446)           \
  X(DDM_MEMBER_459, 459)               \
  X(DDM_MEMBER_460, 460)               \
  X(DDM_MEMBER_461, 461)               \
  X(DDM_REPORT_FULL_COLOR, 464)        \
  X(DDM_ZOOM_ON, 1281)                 \
  X(DDM_MEMBER_1283, 1283)             \
  X(DDM_POSTER_CROP_MARKS, 1285)       \
  X(DDM_MEMBER_1286, 1286)             \
  X(DDM_STAMP_TRANSPARENT, 1287)       \
  X(DDM_STAMP_FIRST_PAGE, 1288)        \
  X(DDM_COLOR_MODE_AUTO, 1289)         \
  X(DDM_BOOKLET_MARGIN_ON, 1291)       \
  X(DDM_MEMBER_1292, 1292)             \
  X(DDM_CURE_DRAW_MODE_A, 1293)        \
  X(DDM_CURE_DRAW_MODE_B, 1294)        \
  X(DDM_HEADERFOOTER_ON_FIRST, 1296)   \
  X(DDM_REVERSE_ORDER, 1312)           \
  X(DDM_MEMBER_1313, 1313)             \
  X(DDM_MEMBER_1320, 1320)             \
  X(DDM_BOOKLET_COUNT_IN_HEADER, 1328) \
  X(DDM_APPLINK_PDL_VERSION, 1332)     \
  X(DDM_NO_APP_COPY_COUNT, 1333)       \
  X(DDM_SKIP_BLANK_PAGES, 1334)        \
  X(DDM_MEMBER_1340, 1340)             \
  X(DDM_NO_DEVICE_FONTS, 1343)         \
  X(DDM_MEMBER_1344, 1344)             \
  X(DDM_RESET_TAKES_DUPLEX, 1350)      \
  X(DDM_INSERT_POSITION_FIRST, 1834)   \
  X(DDM_STAMP_BITMAP_NAME, 1857)       \
  X(DDM_FINISHER_UNIT, 4099)           \
  X(DDM_JOB_SEPARATOR, 4123)           \
  X(DDM_COLOR_SENSOR_UNIT, 4129)       \
  X(DDM_FEW_COLOR_SETTING, 5126)       \
  X(DDM_ORIENTATION_COMMENT, 5149)     \
  X(DDM_FEW_COLOR_PRINT, 5153)         \
  X(DDM_MAX_BOOKLET_NUMBER, 5158)

#define KESTREL_DDM_ID_CONSTANT(name, id) inline constexpr WORD name = id;
KESTREL_DDM_IDS(KESTREL_DDM_ID_CONSTANT)
#undef KESTREL_DDM_ID_CONSTANT
