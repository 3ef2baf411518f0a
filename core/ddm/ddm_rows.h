// The member layout of the devmode, the non-devmode record and the
// printer-data record, the twelve DDM id groups and which members have a
// row in their group's member table.
//
// kRows below is written in the shape of the layout tables: one row per
// line of those tables, a run of consecutive ids at consecutive offsets kept
// as one row with its printed first and last offset. Everything else (the
// per-member layout rows, the per-group layout tables in lookup order, the
// member tables with their descriptors) is expanded from it at compile time,
// and the checks of the files that use it stop the build when a row is wrong.
//
// Decisions:
//  - Layout tables list a group's members in id order; the printer-data
//    group 5633-8212 keeps the record's order of sub-ranges: 5633-5654,
//    8201-8207, 6145-6294, 6401-6410, 5889-5948, 8208-8212.
//  - The eight LOGFONTW byte fields of the two fonts (308, 312-318 and 361,
//    365-371) are stored as bytes and reported as 16-bit values, like the
//    other byte members of their groups; the LONG fields are type 10.
//  - Id 14 occupies the two bytes of dmPrintQuality (90); its low half
//    lives in dmYResolution (96, member 21). Member 20 shares its bytes.
//  - The member table of group 11 lists 1864 twice (the second row right
//    after the first); a search finds the first.
//
// Private to the core: the layout tables (ddm/ddm_tables.cpp) and the
// member tables of the devmode floor (devmode/cdm_members.cpp) both build on
// these rows, and the checks of each file stop the build when a row is wrong.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>

#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_layout.h"
#include "kestrel/core/devmode.h"

namespace ddm_rows {

using T = BYTE;
constexpr T FLAG = DDM_TYPE_FLAG, SHORT_ = DDM_TYPE_SHORT, WORD_ = DDM_TYPE_WORD, LONG_ = DDM_TYPE_LONG,
            DWORD_ = DDM_TYPE_DWORD, STR = DDM_TYPE_STRING, BYTE_ = DDM_TYPE_BYTE, FONT = DDM_TYPE_FONT,
            LFLONG = DDM_TYPE_LFLONG;

// One line of a layout table.
struct Row {
  WORD firstId;
  WORD lastId;
  DWORD firstOff;  // offset of the first member
  DWORD lastOff;   // last byte of the run, as printed (checked below)
  WORD stride;     // offset step from one id to the next
  T type;
  T reported;
  WORD bytes;      // bytes each member occupies
  WORD alias;
  BYTE special;
  WORD maskBase;   // flags: the id whose mask is bit 0
  bool printed;    // lastOff was printed in the table (not computed)
};

// A single scalar member.
constexpr Row M(WORD id, DWORD off, T type, T reported = 0) {
  const WORD size = ddm_TypeSize(type);
  return {id, id, off, off + size - 1u, size, type, reported, size, 0, DDM_SPECIAL_NONE, 0, false};
}
// A byte member reported as a 16-bit value ("8/3").
constexpr Row B3(WORD id, DWORD off) { return M(id, off, BYTE_, WORD_); }
// first-last | offFirst-offLast | type, count x width
constexpr Row RUN(WORD first, WORD last, DWORD offFirst, DWORD offLast, T type, T reported = 0) {
  const WORD size = ddm_TypeSize(type);
  return {first, last, offFirst, offLast, size, type, reported, size, 0, DDM_SPECIAL_NONE, 0, true};
}
// id | off (capacity) | 6
constexpr Row S(WORD id, DWORD off, WORD capacity) {
  return {id, id, off, off + capacity - 1u, capacity, STR, 0, capacity, 0, DDM_SPECIAL_NONE, 0, false};
}
// count strings of one capacity, one after the other.
constexpr Row SRUN(WORD first, WORD last, DWORD off, WORD capacity) {
  return {first, last, off, off + (last - first + 1u) * capacity - 1u, capacity, STR, 0, capacity, 0,
          DDM_SPECIAL_NONE, 0, false};
}
// Members spread over a table of entries: member first+k at off + k x stride.
constexpr Row STRIDED(WORD first, WORD last, DWORD off, WORD stride, T type, WORD bytes = 0) {
  WORD b = bytes ? bytes : ddm_TypeSize(type);
  return {first, last, off, off + (last - first) * DWORD{stride} + b - 1u, stride, type, 0, b, 0, DDM_SPECIAL_NONE, 0,
          false};
}
// A font record.
constexpr Row FONTREC(WORD id, DWORD off) { return M(id, off, FONT); }
// A member sharing the bytes of another.
constexpr Row ALIAS(Row r, WORD alias) {
  r.alias = alias;
  return r;
}
// Bits of the 32-bit word at off; the mask of id n is 1 << ((n - base) mod 32).
constexpr Row FLAGS(WORD first, WORD last, DWORD off, WORD carrier, WORD base, T reported = 0) {
  return {first, last, off, off + 3u, 0, FLAG, reported, 4, carrier, DDM_SPECIAL_FLAG, base, false};
}
// Three members per 32-bit word (low, second, third byte), words one after another.
constexpr Row PACKED(WORD first, WORD last, DWORD offFirst, DWORD offLast) {
  return {first, last, offFirst, offLast, 4, DWORD_, 0, 4, 0, DDM_SPECIAL_PACKED, 0, true};
}
constexpr Row RESOLUTION(WORD id, DWORD off) {
  return {id, id, off, off + 1u, 2, DWORD_, 0, 2, 0, DDM_SPECIAL_RESOLUTION, 0, false};
}

// ---------------------------------------------------------------------------
// The layout tables.
// ---------------------------------------------------------------------------
constexpr Row kRows[] = {
    // ---- Standard DEVMODEW fields, ids 1-25 (offsets into the devmode) ----
    S(1, 0, 64),            // dmDeviceName
    M(2, 64, WORD_),        // dmSpecVersion
    M(3, 66, WORD_),        // dmDriverVersion (the structure version)
    M(4, 68, WORD_),        // dmSize
    M(5, 70, WORD_),        // dmDriverExtra
    M(6, 72, DWORD_),       // dmFields
    M(7, 76, SHORT_),       // dmOrientation
    M(8, 78, SHORT_),       // dmPaperSize
    M(9, 80, SHORT_),       // dmPaperLength
    M(10, 82, SHORT_),      // dmPaperWidth
    M(11, 84, SHORT_),      // dmScale
    M(12, 86, SHORT_),      // dmCopies
    M(13, 88, SHORT_),      // dmDefaultSource
    RESOLUTION(14, 90),     // dmPrintQuality << 16 | dmYResolution
    M(15, 92, SHORT_),      // dmColor
    M(16, 94, SHORT_),      // dmDuplex
    M(17, 98, SHORT_),      // dmTTOption
    M(18, 100, SHORT_),     // dmCollate
    S(19, 102, 64),         // dmFormName
    ALIAS(M(20, 90, SHORT_), 14),  // dmPrintQuality
    M(21, 96, SHORT_),      // dmYResolution
    M(22, 188, DWORD_),     // dmICMMethod
    M(23, 192, DWORD_),     // dmICMIntent
    M(24, 196, DWORD_),     // dmMediaType
    M(25, 200, DWORD_),     // dmDitherType

    // ---- Private members (offsets into the devmode) ----
    M(257, 220, WORD_),
    M(258, 222, WORD_),
    S(259, 224, 64),
    RUN(260, 261, 288, 295, DWORD_),
    RUN(262, 263, 296, 299, WORD_),
    B3(264, 300),
    RUN(265, 266, 302, 305, WORD_),
    M(388, 306, WORD_),
    B3(267, 308),
    RUN(268, 269, 310, 313, WORD_),
    M(389, 314, WORD_),
    B3(270, 316),
    M(271, 318, WORD_),
    B3(390, 320),
    B3(272, 321),
    M(273, 324, DWORD_),
    RUN(274, 285, 328, 351, SHORT_),
    B3(391, 352),
    PACKED(392, 403, 356, 371),
    RUN(286, 288, 372, 374, BYTE_, WORD_),
    RUN(291, 295, 375, 379, BYTE_, WORD_),
    M(296, 380, WORD_),
    S(297, 382, 66),
    ALIAS(S(298, 382, 66), 297),
    S(299, 448, 130),
    B3(300, 578),
    M(301, 580, DWORD_),
    B3(302, 584),
    M(303, 586, WORD_),
    // stamp font 304 and its fields
    FONTREC(304, 588),
    ALIAS(M(306, 588, LFLONG), 304),            // lfHeight
    ALIAS(M(319, 592, LFLONG), 304),            // lfWidth
    ALIAS(M(309, 596, LFLONG), 304),            // lfEscapement
    ALIAS(M(311, 596, LFLONG), 304),            // lfEscapement, mirrored into 600
    ALIAS(M(310, 600, LFLONG), 304),            // lfOrientation
    ALIAS(M(307, 604, LFLONG), 304),            // lfWeight
    ALIAS(B3(308, 608), 304),                   // lfItalic
    ALIAS(RUN(312, 318, 609, 615, BYTE_, WORD_), 304),  // lfUnderline .. lfPitchAndFamily
    ALIAS(S(305, 616, 64), 304),                // lfFaceName
    RUN(320, 323, 680, 683, BYTE_, WORD_),
    M(324, 684, WORD_),
    B3(325, 686),
    RUN(326, 327, 688, 691, WORD_),
    B3(328, 692),
    S(329, 693, 49),
    RUN(330, 332, 742, 744, BYTE_, WORD_),
    M(333, 746, WORD_),
    RUN(334, 336, 748, 750, BYTE_, WORD_),
    S(338, 752, 18),
    B3(339, 770),
    S(340, 772, 18),
    RUN(341, 343, 790, 792, BYTE_, WORD_),
    M(344, 794, WORD_),
    B3(345, 796),
    M(346, 797, BYTE_),
    RUN(348, 351, 798, 805, WORD_),
    RUN(352, 356, 806, 815, WORD_),
    // header/footer font 357 and its fields
    FONTREC(357, 816),
    ALIAS(M(359, 816, LFLONG), 357),            // lfHeight
    ALIAS(M(372, 820, LFLONG), 357),            // lfWidth
    ALIAS(M(362, 824, LFLONG), 357),            // lfEscapement
    ALIAS(M(364, 824, LFLONG), 357),            // lfEscapement, mirrored into 828
    ALIAS(M(363, 828, LFLONG), 357),            // lfOrientation
    ALIAS(M(360, 832, LFLONG), 357),            // lfWeight
    ALIAS(B3(361, 836), 357),                   // lfItalic
    ALIAS(RUN(365, 371, 837, 843, BYTE_, WORD_), 357),  // lfUnderline .. lfPitchAndFamily
    ALIAS(S(358, 844, 64), 357),                // lfFaceName
    M(373, 908, DWORD_),
    RUN(404, 406, 912, 914, BYTE_, WORD_),
    RUN(407, 410, 916, 923, WORD_),
    RUN(412, 413, 924, 925, BYTE_, WORD_),
    M(411, 926, WORD_),
    M(414, 928, WORD_),
    S(374, 930, 258),
    S(375, 1188, 258),
    RUN(376, 377, 1446, 1447, BYTE_, WORD_),
    B3(379, 1448),
    M(380, 1450, WORD_),
    RUN(381, 383, 1452, 1454, BYTE_, WORD_),
    RUN(384, 385, 1456, 1459, WORD_),
    RUN(386, 387, 1460, 1461, BYTE_, WORD_),
    S(435, 1462, 10),
    S(436, 1472, 10),
    RUN(437, 447, 1482, 1492, BYTE_),
    RUN(448, 450, 1493, 1495, BYTE_),
    RUN(451, 452, 1500, 1501, BYTE_),
    M(453, 1502, WORD_),
    B3(456, 1504),
    M(457, 1505, BYTE_),
    RUN(454, 455, 1506, 1507, BYTE_),
    RUN(458, 459, 1508, 1509, BYTE_),
    RUN(460, 461, 1510, 1513, SHORT_),
    M(462, 1516, DWORD_),
    M(463, 1524, BYTE_),
    M(464, 1532, BYTE_),
    M(465, 1540, BYTE_),
    RUN(466, 467, 1548, 1549, BYTE_),

    // ---- Flags: bits of the words of 260 (288), 261 (292) and 462 (1516) ----
    FLAGS(1281, 1283, 288, 260, 1281),
    FLAGS(1284, 1284, 288, 260, 1281, DWORD_),  // reads inverted
    FLAGS(1285, 1295, 288, 260, 1281),
    FLAGS(1296, 1302, 288, 260, 1281, BYTE_),
    FLAGS(1303, 1312, 288, 260, 1281),
    FLAGS(1313, 1321, 292, 261, 1281),
    FLAGS(1322, 1322, 292, 261, 1281, WORD_),
    FLAGS(1323, 1331, 292, 261, 1281),
    FLAGS(1332, 1332, 292, 261, 1281, WORD_),
    FLAGS(1333, 1344, 292, 261, 1281),
    FLAGS(1345, 1376, 1516, 462, 1281),

    // ---- Non-devmode record (offsets into the 3884-byte record) ----
    RUN(1793, 1794, 0, 3, WORD_),
    S(1795, 4, 258),
    M(1796, 262, WORD_),
    S(1797, 264, 82),
    S(1798, 346, 166),
    S(1799, 512, 522),
    RUN(1800, 1804, 1034, 1043, WORD_),
    S(1805, 1044, 10),
    S(1806, 1054, 58),
    RUN(1807, 1812, 1112, 1123, WORD_),
    S(1813, 1124, 10),
    RUN(1814, 1815, 1134, 1137, WORD_),
    S(1816, 1138, 120),
    S(1817, 1258, 42),
    S(1818, 1300, 42),
    S(1819, 1342, 82),
    S(1820, 1424, 82),
    S(1821, 1506, 418),
    S(1822, 1924, 62),
    S(1823, 1986, 62),
    M(1824, 2048, WORD_),
    RUN(1825, 1828, 2052, 2067, LONG_),
    S(1829, 2072, 256),
    S(1830, 2328, 258),
    S(1831, 2586, 50),
    S(1832, 2636, 258),
    S(1833, 2894, 258),
    RUN(1834, 1853, 3152, 3191, WORD_),
    S(1854, 3196, 2),
    M(1855, 3200, DWORD_),
    M(1856, 3204, WORD_),
    S(1857, 3206, 522),
    S(1858, 3732, 58),
    RUN(1859, 1860, 3790, 3793, WORD_),
    M(1861, 3800, BYTE_),
    M(1862, 3808, BYTE_),
    RUN(1863, 1864, 3816, 3819, SHORT_),
    S(1865, 3820, 58),

    // ---- Printer-data record (offsets into the 4736-byte record) ----
    M(8202, 0, WORD_),
    M(8204, 2, WORD_),
    M(8203, 4, WORD_),
    ALIAS(FLAGS(4097, 4097, 8, 0, 4097), 0),
    ALIAS(FLAGS(4098, 4128, 8, 0, 4097), 4097),
    M(8206, 12, FLAG),
    M(5127, 16, WORD_),
    S(5121, 18, 66),
    M(5648, 880, FLAG),
    M(5123, 884, WORD_),
    M(5649, 886, WORD_),
    M(5125, 888, WORD_),
    M(5126, 890, WORD_),
    M(8201, 892, FLAG),
    RUN(5633, 5642, 896, 915, WORD_),
    SRUN(5643, 5647, 916, 30),
    M(5650, 1072, FLAG),
    S(5130, 1098, 10),
    M(5131, 1108, WORD_),
    M(5132, 1110, WORD_),
    M(5651, 1112, WORD_),
    M(5134, 1120, WORD_),
    M(5135, 1122, WORD_),
    M(8205, 1124, DWORD_),
    M(5136, 1132, WORD_),
    S(5129, 1134, 50),
    M(5137, 1188, WORD_),
    M(5138, 1196, BYTE_),
    M(5653, 1204, WORD_),
    M(5654, 1206, WORD_),
    S(5141, 1208, 12),
    M(5142, 1220, WORD_),
    S(5143, 1222, 12),
    M(5144, 1234, WORD_),
    M(5145, 1236, WORD_),
    M(5146, 1244, WORD_),
    S(5147, 1246, 258),
    M(8207, 1504, DWORD_),
    S(5148, 1508, 26),
    M(5149, 1534, BYTE_),
    S(5150, 1536, 66),
    M(5652, 1602, BYTE_),
    // table A: entry j (0..14) at 1608 + 10j
    STRIDED(6145, 6159, 1608, 10, WORD_),
    STRIDED(6160, 6174, 1610, 10, WORD_),
    STRIDED(6175, 6189, 1612, 10, WORD_),
    STRIDED(6190, 6204, 1614, 10, WORD_),
    STRIDED(6205, 6219, 1616, 10, WORD_),
    // user-defined papers 1-10: entry j at 1758 + 68j
    STRIDED(5889, 5898, 1758, 68, WORD_),
    STRIDED(5909, 5918, 1760, 68, WORD_),
    STRIDED(5929, 5938, 1762, 68, STR, 64),
    M(8208, 2438, WORD_),
    S(8209, 2440, 44),
    SRUN(6401, 6410, 2484, 50),
    M(8210, 2984, WORD_),
    FLAGS(4609, 4609, 2988, 0, 4609),
    ALIAS(FLAGS(4610, 4640, 2988, 0, 4609), 4609),
    S(5152, 2992, 26),
    M(5153, 3024, BYTE_),
    M(5154, 3032, BYTE_),
    RUN(5155, 5158, 3034, 3041, WORD_),
    RUN(4353, 4355, 3048, 3050, BYTE_),
    SRUN(5159, 5161, 3052, 34),
    M(8211, 3154, BYTE_),
    // user-defined papers 11-20: entry j at 3156 + 68(j - 10)
    STRIDED(5899, 5908, 3156, 68, WORD_),
    STRIDED(5919, 5928, 3158, 68, WORD_),
    STRIDED(5939, 5948, 3160, 68, STR, 64),
    M(5162, 3836, BYTE_),
    M(5163, 3844, BYTE_),
    M(5164, 3845, BYTE_),
    M(5165, 3846, BYTE_),
    S(5166, 3848, 66),
    S(5167, 3914, 66),
    RUN(5168, 5173, 3980, 4003, FLAG),
    S(5174, 4004, 66),
    S(5175, 4070, 34),
    S(5176, 4104, 66),
    M(5177, 4170, BYTE_),
    M(5178, 4172, WORD_),
    S(5179, 4174, 50),
    S(5180, 4224, 50),
    S(5181, 4274, 34),
    S(5182, 4308, 34),
    M(5183, 4342, BYTE_),
    S(5184, 4344, 50),
    S(5185, 4394, 34),
    RUN(4356, 4358, 4428, 4430, BYTE_),
    M(4359, 4436, BYTE_),
    ALIAS(FLAGS(4129, 4129, 4444, 0, 4097), 0),
    ALIAS(FLAGS(4130, 4160, 4444, 0, 4097), 4129),
    RUN(4360, 4361, 4448, 4449, BYTE_),
    M(5186, 4452, FLAG),
    M(4362, 4460, BYTE_),
    RUN(5187, 5198, 4462, 4485, WORD_),
    S(8212, 4492, 66),
    M(5199, 4560, FLAG),
    M(5200, 4564, FLAG),
    M(5201, 4568, FLAG),
    M(5202, 4572, BYTE_),
    // table B: entry j (0..14) at 4574 + 10j
    STRIDED(6220, 6234, 4574, 10, WORD_),
    STRIDED(6235, 6249, 4576, 10, WORD_),
    STRIDED(6250, 6264, 4578, 10, WORD_),
    STRIDED(6265, 6279, 4580, 10, WORD_),
    STRIDED(6280, 6294, 4582, 10, WORD_),
    M(5203, 4728, FLAG),
};

// ---------------------------------------------------------------------------
// The groups, in lookup order (the order of the group-range table).
// ---------------------------------------------------------------------------
struct GroupDef {
  WORD group;
  WORD kind;
  WORD firstId;
  WORD lastId;
  WORD layoutCount;  // members in the layout table
  WORD memberCount;  // rows of the member table
};
constexpr GroupDef kGroups[DDM_GROUP_COUNT] = {
    {5, DDM_KIND_DEVMODE, 257, 303, 45, 45},
    {6, DDM_KIND_DEVMODE, 304, 351, 46, 34},
    {7, DDM_KIND_DEVMODE, 352, 399, 47, 36},
    {8, DDM_KIND_DEVMODE, 400, 447, 28, 27},
    {9, DDM_KIND_DEVMODE, 448, 467, 20, 19},
    {10, DDM_KIND_DEVMODE, 1281, 1376, 96, 95},
    {11, DDM_KIND_NONDEVMODE, 1793, 1865, 73, 74},
    {0, DDM_KIND_PRINTERDATA, 4097, 4362, 74, 74},
    {1, DDM_KIND_PRINTERDATA, 4609, 4640, 32, 32},
    {2, DDM_KIND_PRINTERDATA, 5121, 5203, 76, 76},
    {3, DDM_KIND_PRINTERDATA, 5633, 8212, 254, 172},
    {4, DDM_KIND_DEVMODE, 1, 25, 25, 23},
};

// Members of the layout that have no row in their group's member table.
struct IdRange {
  WORD first;
  WORD last;
};
constexpr IdRange kNotInMemberTable[] = {
    {20, 21},     {304, 304},   {309, 310},   {312, 319},   {329, 329},   {362, 372},  {442, 442},
    {466, 466},   {1295, 1295}, {5633, 5654}, {6190, 6219}, {6265, 6294},
};
// Member-table rows listed twice.
constexpr WORD kListedTwice[] = {1864};

// The printer-data group 5633-8212 keeps the record's order of sub-ranges.
constexpr IdRange kGroup3Order[] = {{5633, 5654}, {8201, 8207}, {6145, 6294},
                                    {6401, 6410}, {5889, 5948}, {8208, 8212}};

// ---------------------------------------------------------------------------
// Expansion.
// ---------------------------------------------------------------------------
constexpr std::size_t RowCount(const Row& r) { return std::size_t(r.lastId) - r.firstId + 1; }

constexpr std::size_t CountMembers() {
  std::size_t n = 0;
  for (const Row& r : kRows) n += RowCount(r);
  return n;
}
constexpr std::size_t kLayoutTotal = CountMembers();

constexpr int GroupIndexOf(WORD id) {
  for (int g = 0; g < DDM_GROUP_COUNT; ++g)
    if (id >= kGroups[g].firstId && id <= kGroups[g].lastId) return g;
  return -1;
}

constexpr DWORD SortKey(int groupIndex, WORD id) {
  if (kGroups[groupIndex].group == 3) {
    for (DWORD k = 0; k < std::size(kGroup3Order); ++k)
      if (id >= kGroup3Order[k].first && id <= kGroup3Order[k].last) return (DWORD(groupIndex) << 20) | (k << 16) | id;
  }
  return (DWORD(groupIndex) << 20) | id;
}

constexpr DDM_LAYOUT Expand(const Row& r, std::size_t k) {
  DDM_LAYOUT l{};
  l.id = static_cast<WORD>(r.firstId + k);
  l.type = r.type;
  l.reported = r.reported;
  l.bytes = r.bytes;
  l.alias = r.alias;
  l.special = r.special;
  l.offset = static_cast<WORD>(r.firstOff + k * r.stride);
  if (r.special == DDM_SPECIAL_FLAG) {
    l.offset = static_cast<WORD>(r.firstOff);
    l.mask = DWORD{1} << ((l.id - r.maskBase) % 32);
  } else if (r.special == DDM_SPECIAL_PACKED) {
    l.offset = static_cast<WORD>(r.firstOff + 4 * (k / 3));
    l.mask = DWORD{0xFF} << (8 * (k % 3));
    // The three members of one word share it with its low-byte member.
    if (k % 3) l.alias = static_cast<WORD>(r.firstId + k - k % 3);
  }
  return l;
}

struct Keyed {
  DWORD key;
  DDM_LAYOUT layout;
};

constexpr std::array<DDM_LAYOUT, kLayoutTotal> BuildLayout() {
  std::array<Keyed, kLayoutTotal> keyed{};
  std::size_t n = 0;
  for (const Row& r : kRows)
    for (std::size_t k = 0; k < RowCount(r); ++k) {
      DDM_LAYOUT l = Expand(r, k);
      int g = GroupIndexOf(l.id);
      // An id outside every group sorts last; IdsInGroups reports it.
      keyed[n++] = {g < 0 ? 0xFFFFFFFFu : SortKey(g, l.id), l};
    }
  std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
  std::array<DDM_LAYOUT, kLayoutTotal> out{};
  for (std::size_t i = 0; i < n; ++i) out[i] = keyed[i].layout;
  return out;
}

constexpr std::array<DDM_LAYOUT, kLayoutTotal> kLayout = BuildLayout();

constexpr std::array<WORD, DDM_GROUP_COUNT + 1> BuildLayoutStarts() {
  std::array<WORD, DDM_GROUP_COUNT + 1> starts{};
  std::size_t i = 0;
  for (int g = 0; g < DDM_GROUP_COUNT; ++g) {
    starts[g] = static_cast<WORD>(i);
    while (i < kLayout.size() && GroupIndexOf(kLayout[i].id) == g) ++i;
  }
  starts[DDM_GROUP_COUNT] = static_cast<WORD>(i);
  return starts;
}
constexpr auto kLayoutStart = BuildLayoutStarts();

constexpr bool InMemberTable(WORD id) {
  for (const IdRange& r : kNotInMemberTable)
    if (id >= r.first && id <= r.last) return false;
  return true;
}
constexpr bool ListedTwice(WORD id) {
  for (WORD t : kListedTwice)
    if (t == id) return true;
  return false;
}

constexpr DWORD RecordSize(WORD kind) {
  return kind == DDM_KIND_DEVMODE ? NRV_DEVMODE_SIZE_KIND1
         : kind == DDM_KIND_NONDEVMODE ? NRV_NONDEVMODE_SIZE
                                       : NRV_PRINTERDATA_SIZE;
}

// Position + 1 of every id in kLayout (0: no member).
constexpr WORD kMaxId = 8212;
constexpr std::array<WORD, kMaxId + 1> BuildIdIndex() {
  std::array<WORD, kMaxId + 1> index{};
  for (std::size_t i = 0; i < kLayout.size(); ++i)
    if (kLayout[i].id <= kMaxId) index[kLayout[i].id] = static_cast<WORD>(i + 1);
  return index;
}
constexpr auto kIdIndex = BuildIdIndex();

constexpr const DDM_LAYOUT* Find(WORD id) {
  return id <= kMaxId && kIdIndex[id] ? &kLayout[kIdIndex[id] - 1] : nullptr;
}
constexpr WORD KindOf(WORD id) { return kGroups[GroupIndexOf(id)].kind; }

}  // namespace ddm_rows
