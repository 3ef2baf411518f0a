// A small hand-made model: one record of every kind, written byte by byte,
// in a main file and a referenced file. Fields that exist only from some
// format version on are written only when the file's version has them.
#pragma once

#include "../ddd_builder.h"

namespace kestrel::test::ddd {

struct ModelBytes {
  std::string main;
  std::string ref;
};

inline std::string Cond(unsigned ddm, unsigned value, unsigned connective) {
  return Item(ddm, 1, 1, Val(3, 2, U16(value))) + U8(connective);
}

// Main file name "model.DDD", referenced file "modelref.DDD".
inline ModelBytes BuildModel(long format, long refFormat = -1) {
  if (refFormat < 0) refFormat = format;
  const bool v512 = format >= 512, v1024 = format >= 1024, v1280 = format >= 1280;

  // --- the referenced file: a paper and a tray of category 6 ----------------
  FileBuilder r;
  r.format = refFormat;
  r.model = "Scriva Test Ref";
  std::string letter = Str("Letter") + U8(2) + U16(6) + U16(2) + U16(3) + U16(8) + U16(0);
  if (refFormat >= 512) letter += U8(0) + U16(0);
  if (refFormat >= 1280) letter += U16(0x0001);
  r.Add(10, 1, Rec(1, letter));
  std::string bypass = Str("Bypass") + U16(5) + U16(0x30) + IdList({9, 1}) + IdList({});
  if (refFormat >= 512) bypass += U8(0);
  if (refFormat >= 1024) bypass += Str("BP");
  r.Add(6, 2, Rec(2, bypass));
  ModelBytes out;
  out.ref = r.Build();
  const uint32_t letterAt = r.offsets[{10, 0}];
  const uint32_t bypassAt = r.offsets[{6, 0}];

  // --- the main file ----------------------------------------------------------
  FileBuilder m;
  m.format = format;
  m.refName = "modelref.DDD";
  m.items[1] = U16(1);        // model picture: Image 1
  m.items[12] = U32(0x2);     // option 4098 (and 4130) is a default option
  m.items[36] = U16(8) + Str("s6") + Str("s7") + Str("s8") + Str("s9") + Str("s10") + Str("s11") + Str("s14") +
                Str("s15");
  m.items[40] = U16(1);

  // Option 8 (document feature): items 1-3 of category 14, default item 2.
  std::string paperOpt = Str("Paper Size") + U8(2) + U16(2) + U16(0) + IdList({1, 2, 3}) + IdList({}) +
                         IdList({7}) + U16(1);
  if (v1024) paperOpt += Str("PS");
  m.Add(4, 8, Rec(8, paperOpt));
  // Option 20: a 32-bit item and a grouped item.
  std::string resOpt = Str("Resolution") + U8(1) + U16(1) + U16(0) + IdList({4, 5}) + IdList({}) + IdList({}) + U16(0);
  if (v1024) resOpt += Str("");
  m.Add(4, 20, Rec(20, resOpt));
  // Option 30: values of every comparable type.
  std::string miscOpt = Str("Misc") + U8(0) + U16(0) + U16(0) + IdList({6, 7, 8, 9, 10}) + IdList({}) + IdList({}) +
                        U16(0);
  if (v1024) miscOpt += Str("");
  m.Add(4, 30, Rec(30, miscOpt));
  // Installable option 4097: items 1-2 of category 13.
  std::string duplexOpt = Str("Duplex Unit") + U8(1) + U16(1) + U16(0) + IdList({1, 2}) + IdList({}) + IdList({}) +
                          U16(0);
  if (v1024) duplexOpt += Str("");
  m.Add(3, 4097, Rec(4097, duplexOpt));

  // Items of category 14 (ids equal positions).
  m.Add(14, 1,
        Rec(1, Str("A4") + U16(10) + U16(9) + U16(5) + IdList({1}) + IdList({2, 3}) + Val(3, 2, U16(9)) + U16(1)));
  m.Add(14, 2, Rec(2, Str("Letter") + U16(10) + U16(1) + U16(0) + IdList({}) + IdList({}) + Val(3, 2, U16(1)) +
                          U16(0)));
  m.Add(14, 3, Rec(3, Str("Custom") + U16(0) + U16(0) + U16(0) + IdList({}) + IdList({}) +
                          Val(6, 6, Body("Custom")) + U16(0)));
  m.Add(14, 4, Rec(4, Str("600 dpi") + U16(0) + U16(0) + U16(0) + IdList({}) + IdList({}) + Val(10, 2, U32(600)) +
                          U16(0)));
  m.Add(14, 5, Rec(5, Str("Grouped") + U16(0) + U16(0) + U16(0) + IdList({}) + IdList({}) + Val(128, 2, U16(1)) +
                          U16(0)));
  m.Add(14, 6, Rec(6, Str("Short") + U16(0) + U16(0) + U16(0) + IdList({}) + IdList({}) + Val(2, 2, U16(0xFFFB)) +
                          U16(0)));
  m.Add(14, 7, Rec(7, Str("Byte") + U16(0) + U16(0) + U16(0) + IdList({}) + IdList({}) + Val(8, 1, U8(7)) + U16(0)));
  m.Add(14, 8, Rec(8, Str("Block") + U16(0) + U16(0) + U16(0) + IdList({}) + IdList({}) +
                          Val(9, 4, Hex({1, 2, 3, 4})) + U16(0)));
  m.Add(14, 9, Rec(9, Str("Float") + U16(0) + U16(0) + U16(0) + IdList({}) + IdList({}) +
                          Val(7, 4, U32(0x3FC00000u)) + U16(0)));  // 1.5f
  m.Add(14, 10, Rec(10, Str("Narrow") + U16(0) + U16(0) + U16(0) + IdList({}) + IdList({}) + Val(4, 2, U16(77)) +
                            U16(0)));  // a 32-bit type stored in 2 bytes
  // Items of category 13.
  m.Add(13, 1, Rec(1, Str("Not Installed") + U16(0) + U16(0) + U16(0) + IdList({}) + IdList({}) +
                          Val(1, 1, U8(0)) + U16(0)));
  m.Add(13, 2, Rec(2, Str("Installed") + U16(0) + U16(0) + U16(0) + IdList({}) + IdList({}) + Val(1, 2, U16(5)) +
                          U16(0)));

  // Trays.
  std::string tray1 = Str("Tray 1") + U16(5) + U16(0x21) + IdList({9, 1}) + IdList({7, 8});
  if (v512) tray1 += U8(1);
  if (v1024) tray1 += Str("T1");
  m.Add(5, 1, Rec(1, tray1));
  m.AddRef(6, 2, bypassAt);

  // Sizes: paper, imageable area, margins, duplex range, tray range.
  m.Add(17, 1, Size(1, 2100, 2970, 2100, 2970));
  m.Add(17, 2, Size(2, 2000, 2870, 2000, 2870));
  m.Add(17, 3, Size(3, 50, 40, 30, 20));
  m.Add(17, 4, Size(4, 1480, 2100, 2970, 4200));
  m.Add(17, 5, Size(5, 900, 1400, 3000, 4300));
  m.Add(17, 6, Size(6, 2159, 2794, 2159, 2794));

  // Papers: A4 here, Letter in the referenced file.
  std::string a4 = Str("A4") + U8(1) + U16(1) + U16(2) + U16(3) + U16(7) + U16(0x55);
  if (v512) a4 += U8(1) + U16(4);
  if (v1280) a4 += U16(0x1234);
  m.Add(10, 9, Rec(9, a4));
  m.AddRef(10, 1, letterAt);

  // Constraints of both passes.
  m.Add(7, 1, Rec(1, Item(8, 1, 1, Val(3, 2, U16(9))) + U16(0x0102) + Str("Conflict") +
                         List(2, Cond(4097, 0, 1) + Cond(20, 600, 0)) + List(1, Item(8, 2, 1, Val(3, 2, U16(1))))));
  m.Add(8, 1, Rec(1, Item(20, 1, 0, Val(10, 4, U32(600))) + U16(0) + Str("") + List(0, "") + List(0, "")));
  // ImCondition showing Image 1 at (10, 20).
  m.Add(9, 1, Rec(1, List(1, Cond(4097, 1, 0)) + U16(10) + U16(20) + U16(1)));
  // Font with two substitution names and metrics data.
  std::string font = Str("Courier") + Str("CourierX") + U16(2) + U16(5) + U16(11) + Body("Arial") +
                     Body("Courier New") + U16(1) + U16(3) + Body("Foo") + U16(2) + "zz" + U32(6) + "XFMXFM" +
                     U16(0x77);
  if (v1024) font += U16(2) + Val(3, 2, U16(42)) + Val(6, 4, Body("abcd"));
  m.Add(11, 1, Rec(1, font));
  // Image 1: kind 1, 32 x 16, a skipped block, then a bitmap file of 22 bytes.
  m.Add(12, 1, Rec(1, U8(1) + U16(32) + U16(16) + U16(3) + "abc" + U32(22) + "BM" + std::string(12, '\x01') +
                          "PACKEDBM"));
  // EJCL command.
  std::string ejcl = U16(0) + List(1, Cond(4097, 1, 0)) + Str("@PJL JOB MODE=") + Str("PRINT");
  if (v1280) ejcl += U16(0x42);
  m.Add(15, 1, Rec(1, ejcl));
  // NRV block.
  m.Add(16, 1, Rec(1, List(0, "") + U8(1) + U8(2) + U16(3) + "xyz"));
  // Icon.
  m.Add(18, 1, Rec(1, U16(4) + Hex({0x11, 0x22, 0x33, 0x44})));
  // Paper type.
  std::string ptype = Str("Plain") + U8(1);
  if (v1024) ptype += Str("P");
  m.Add(19, 1, Rec(1, ptype));
  // Grouped values: 32-bit, boolean and 16-bit elements.
  m.Add(20, 1, Rec(1, U16(0) + U8(10) + U16(4) + U32(0) + U16(3) + U32(300) + U32(600) + U32(1200)));
  m.Add(20, 2, Rec(2, U16(0) + U8(1) + U16(2) + U32(0) + U16(3) + Hex({0, 0, 5, 0, 0, 1})));
  m.Add(20, 3, Rec(3, U16(0) + U8(3) + U16(2) + U32(0) + U16(2) + U16(7) + U16(8)));
  // Favourite with a number and a string.
  m.Add(21, 1, Rec(1, Str("Fav") + U32(0) + U16(2) + U16(8) + Val(3, 2, U16(9)) + U16(375) + Val(6, 3, Body("abc"))));
  // Device query.
  m.Add(22, 1, Rec(1, U16(1) + U16(2) + U8(1) + U16(1) + U8(3) + U16(0x99) + U16(4) + List(2, Str("Q1") + Str("Q2")) +
                          List(1, Val(5, 4, U32(7)))));
  // Tray index table.
  m.Add(23, 1, Rec(1, List(1, Cond(8, 9, 0)) + List(2, U16(1) + U16(2) + U16(3) + U16(4) + U16(5) + U16(6))));
  out.main = m.Build();
  return out;
}

}  // namespace kestrel::test::ddd
