// Conversion between the devmode-access (external) ids and the DDM ids.
//
// Thirteen lists, each serving one range of external ids; the external
// numbering is what favourites files and the security-marking attribute list
// store, so these pairs must never change once released:
//
//   external      DDM                                     pairs
//   1-25          1-25                                    25
//   257-303       257-303                                 47
//   304-351       304-351                                 48
//   352-399       352-399                                 48
//   400-447       400-444 the same; 445-447 -> 465-467    48
//   4097-4114     4097-4113 -> 448-464 (4114 has none)    17
//   449-512       1281-1344                               64
//   961-968       1348-1355                               8
//   513-557       1793-1837                               45
//   769-810       4097-4138                               42
//   897-928       4609-4640                               32
//   1025-1107     1025 + k -> 5121 + k, except            83
//                 1026 -> 1333 and 1028 -> 1332
//   1281-1631     1281 -> 8201, 1297 -> 8202, 1298 -> 8203, 232
//                 1307 -> 8204, 1308 -> 8205, 1309 -> 8206,
//                 1310-1315 -> 8207-8212, 1412-1631 -> 5633-5852
//
// Files of structure version 0x5002 consult one more list first, in which the
// 53 ids 448-450 and 1281-1330 map to themselves.
//
// An external id inside a list's range without a pair of its own has no DDM
// id (0). A DDM id reached from two external ids (1332 and 1333) converts
// back to the first list's external id in the order above.
#include <array>

#include "kestrel/core/zanlib.h"

namespace {

struct Pair {
  WORD external;
  WORD ddm;
};

struct List {
  WORD first;
  WORD last;
  const Pair* pairs;
  WORD count;
};

template <size_t N>
struct Pairs {
  std::array<Pair, N> pairs{};
  WORD count = 0;
  constexpr void add(WORD e, WORD d) { pairs[count++] = Pair{e, d}; }
  constexpr void run(WORD e, WORD d, WORD n) {
    for (WORD i = 0; i < n; ++i) add(static_cast<WORD>(e + i), static_cast<WORD>(d + i));
  }
};

constexpr auto kPublic = [] { Pairs<25> p; p.run(1, 1, 25); return p; }();
constexpr auto kPrivate1 = [] { Pairs<47> p; p.run(257, 257, 47); return p; }();
constexpr auto kPrivate2 = [] { Pairs<48> p; p.run(304, 304, 48); return p; }();
constexpr auto kPrivate3 = [] { Pairs<48> p; p.run(352, 352, 48); return p; }();
constexpr auto kPrivate4 = [] {
  Pairs<48> p;
  p.run(400, 400, 45);
  p.run(445, 465, 3);
  return p;
}();
constexpr auto kPrivate5 = [] { Pairs<17> p; p.run(4097, 448, 17); return p; }();
constexpr auto kFlags = [] { Pairs<64> p; p.run(449, 1281, 64); return p; }();
constexpr auto kFlags2 = [] { Pairs<8> p; p.run(961, 1348, 8); return p; }();
constexpr auto kNonDevmode = [] { Pairs<45> p; p.run(513, 1793, 45); return p; }();
constexpr auto kOptions = [] { Pairs<42> p; p.run(769, 4097, 42); return p; }();
constexpr auto kPrinterFlags = [] { Pairs<32> p; p.run(897, 4609, 32); return p; }();
constexpr auto kInitial = [] {
  Pairs<83> p;
  for (WORD k = 0; k < 83; ++k) {
    WORD e = static_cast<WORD>(1025 + k);
    if (e == 1026)
      p.add(e, 1333);
    else if (e == 1028)
      p.add(e, 1332);
    else
      p.add(e, static_cast<WORD>(5121 + k));
  }
  return p;
}();
constexpr auto kPrinterData = [] {
  Pairs<232> p;
  p.add(1281, 8201);
  p.add(1297, 8202);
  p.add(1298, 8203);
  p.add(1307, 8204);
  p.add(1308, 8205);
  p.add(1309, 8206);
  p.run(1310, 8207, 6);
  p.run(1412, 5633, 220);
  return p;
}();
constexpr auto kVersion5002 = [] {
  Pairs<53> p;
  p.run(448, 448, 3);
  p.run(1281, 1281, 50);
  return p;
}();

template <size_t N>
constexpr List MakeList(WORD first, WORD last, const Pairs<N>& p) {
  return List{first, last, p.pairs.data(), p.count};
}

constexpr List kLists[13] = {
    MakeList(1, 25, kPublic),          MakeList(257, 303, kPrivate1),   MakeList(304, 351, kPrivate2),
    MakeList(352, 399, kPrivate3),     MakeList(400, 447, kPrivate4),   MakeList(4097, 4114, kPrivate5),
    MakeList(449, 512, kFlags),        MakeList(961, 968, kFlags2),     MakeList(513, 557, kNonDevmode),
    MakeList(769, 810, kOptions),      MakeList(897, 928, kPrinterFlags), MakeList(1025, 1107, kInitial),
    MakeList(1281, 1631, kPrinterData),
};
constexpr List kList5002 = MakeList(448, 1330, kVersion5002);

static_assert(kPublic.count == 25 && kPrivate1.count == 47 && kPrivate2.count == 48 && kPrivate3.count == 48);
static_assert(kPrivate4.count == 48 && kPrivate5.count == 17 && kFlags.count == 64 && kFlags2.count == 8);
static_assert(kNonDevmode.count == 45 && kOptions.count == 42 && kPrinterFlags.count == 32);
static_assert(kInitial.count == 83 && kPrinterData.count == 232 && kVersion5002.count == 53);

bool Find(const List& list, WORD external, WORD* ddm) {
  for (WORD i = 0; i < list.count; ++i) {
    if (list.pairs[i].external == external) {
      *ddm = list.pairs[i].ddm;
      return true;
    }
  }
  return false;
}

}  // namespace

BOOL zanLib_ConvertDmaIDtoFuncID(WORD externalId, WORD* ddmId, WORD structureVersion) {
  if (!ddmId) return FALSE;
  *ddmId = 0;
  if (structureVersion == 0x5002 && Find(kList5002, externalId, ddmId)) return TRUE;
  for (const List& list : kLists) {
    if (externalId < list.first || externalId > list.last) continue;
    return Find(list, externalId, ddmId) ? TRUE : FALSE;
  }
  return FALSE;
}

BOOL zanLib_ConvertFuncIDtoDmaID(WORD ddmId, WORD* externalId) {
  if (!externalId) return FALSE;
  *externalId = 0;
  for (const List& list : kLists) {
    for (WORD i = 0; i < list.count; ++i) {
      if (list.pairs[i].ddm == ddmId) {
        *externalId = list.pairs[i].external;
        return TRUE;
      }
    }
  }
  return FALSE;
}
