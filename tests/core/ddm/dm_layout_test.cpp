// Devmode forms, the group and member tables, the descriptor dispatch.
#include <kplatform/kernel32_memory.h>

#include <cstring>

#include "devmode_fixture.h"
#include "kestrel/core/ddm_layout.h"

namespace kestrel::test {
namespace {

// ---- Anchors from the record descriptions (not from the tables) --------------------
TEST(DevmodeLayout, AnchorsOfTheRecords) {
  Records r;
  // 1284 is bit 3 of the word at 288, which member 260 carries.
  ASSERT_EQ(CoreSet(DMA_RULES_MODULE, r, 1284, 5, 4, 0), 0);  // inverted: 0 sets the bit
  EXPECT_EQ(r.U32(288), 0x8u);
  EXPECT_EQ(CoreGet(DMA_RULES_MODULE, r, 260).value, 0x8u);
  // 1345 is bit 0 of the word at 1516 (member 462).
  ASSERT_EQ(CoreSet(DMA_RULES_MODULE, r, 1345, 1, 4, 1), 0);
  EXPECT_EQ(r.U32(1516), 0x1u);
  EXPECT_EQ(CoreGet(DMA_RULES_MODULE, r, 462).value, 0x1u);
  // 1313 is bit 0 of the word at 292 (member 261).
  ASSERT_EQ(CoreSet(DMA_RULES_MODULE, r, 1313, 1, 4, 1), 0);
  EXPECT_EQ(r.U32(292), 0x1u);
  // 1865 lies at 1556 + 3820 of the 5440-byte devmode.
  ASSERT_EQ(CoreSetString(DMA_RULES_KERNEL, r, 1865, u"Z"), 0);
  EXPECT_EQ(r.dm[1556 + 3820], 'Z');
  // 329 at the odd offset 693.
  ASSERT_EQ(CoreSetString(DMA_RULES_KERNEL, r, 329, u"Q"), 0);
  EXPECT_EQ(r.dm[693], 'Q');
  // The private part begins with 257 and 258 at 220 and 222.
  ASSERT_EQ(CoreSet(DMA_RULES_MODULE, r, 258, 3, 2, NRV_DRIVER_VERSION), 0);
  EXPECT_EQ(r.U16(222), NRV_DRIVER_VERSION);
  // The printer-data record starts with its size, structure and driver version.
  ASSERT_EQ(CoreSet(DMA_RULES_MODULE, r, 8202, 3, 2, 4736), 0);
  ASSERT_EQ(CoreSet(DMA_RULES_MODULE, r, 8203, 3, 2, 0x2182), 0);
  ASSERT_EQ(CoreSet(DMA_RULES_MODULE, r, 8204, 3, 2, 0x5110), 0);
  const BYTE head[] = {0x80, 0x12, 0x10, 0x51, 0x82, 0x21};
  EXPECT_EQ(std::memcmp(r.pd.data(), head, sizeof(head)), 0);
}

TEST(DevmodeLayout, FormsAndSizes) {
  struct Case {
    WORD kind;
    DWORD size;
  };
  for (Case c : {Case{1, 1556}, Case{0, 5440}, Case{2, 5440}, Case{0xFFFF, 5440}}) {
    EXPECT_EQ(dmGetSizeNRVDEVMODE(c.kind), c.size) << c.kind;
    BYTE* dm = static_cast<BYTE*>(dmCreateNRVDEVMODE(c.kind));
    ASSERT_NE(dm, nullptr);
    EXPECT_EQ(GlobalSize(dm), c.size);
    for (DWORD i = 0; i < c.size; ++i) ASSERT_EQ(dm[i], 0);
    std::memset(dm, 0x5A, c.size);
    BYTE* copy = static_cast<BYTE*>(dmCreateNRVDEVMODE(c.kind));
    dmCopyNRVDEVMODE(copy, dm, c.kind);
    EXPECT_EQ(std::memcmp(copy, dm, c.size), 0);
    EXPECT_EQ(dmZeroClearNRVDEVMODE(dm, c.kind), 0);
    for (DWORD i = 0; i < c.size; ++i) ASSERT_EQ(dm[i], 0);
    dmDeleteNRVDEVMODE(copy);
    dmDeleteNRVDEVMODE(dm);
  }
  EXPECT_EQ(cdm_GetExtraSize(), 1336u);
  static BYTE block[NRV_DEVMODE_SIZE_KIND1] = {};
  EXPECT_EQ(cdm_GetPrivateDataAddr(block), block + 220);
  EXPECT_EQ(cdm_GetPrivateDataAddr(nullptr), nullptr);
}

TEST(DevmodeLayout, CreateFailsCleanlyWhenMemoryIsShort) {
  KpFailAllocation(1);
  EXPECT_EQ(dmCreateNRVDEVMODE(0), nullptr);
}

// ---- Group and member tables ---------------------------------------------------------
TEST(DevmodeTables, TableIndexKindsAndCounts) {
  // index -> (group, kind, layout rows, member rows)
  struct Case {
    WORD index;
    WORD group;
    WORD kind;
    WORD layout;
    WORD members;
    WORD firstId;
  };
  const Case cases[] = {
      {0, 5, 0, 45, 45, 257},    {1, 6, 0, 46, 34, 304},    {2, 7, 0, 47, 36, 352},  {3, 8, 0, 28, 27, 400},
      {4, 9, 0, 20, 19, 448},    {5, 10, 0, 96, 95, 1281},  {6, 11, 1, 73, 74, 1793}, {7, 0, 2, 74, 74, 4097},
      {8, 1, 2, 32, 32, 4609},   {9, 2, 2, 76, 76, 5121},   {10, 3, 2, 254, 172, 5633}, {11, 4, 0, 25, 23, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    WORD kind = 0xFFFF;
    ASSERT_EQ(dmGetDevmodeTableKind(c.index, &kind), 1);
    EXPECT_EQ(kind, c.kind);
    EXPECT_EQ(dmGetDevmodeTableCount(c.index), c.layout);
    EXPECT_EQ(dmGetDevmodeDdmID(c.index, 0), c.firstId);
    EXPECT_EQ(dmGetDevmodeDdmID(c.index, c.layout), 0);
    const CDM_MEMBER_ENTRY* table = nullptr;
    WORD count = 0, gkind = 0xFFFF;
    ASSERT_EQ(local_GetCdmDmDataFuncTbl(c.group, &table, &count, &gkind), 1);
    EXPECT_EQ(count, c.members);
    EXPECT_EQ(gkind, c.kind);
    EXPECT_EQ(table[count].ddmId, 0u);
  }
  WORD kind = 7;
  EXPECT_EQ(dmGetDevmodeTableKind(12, &kind), 0);
  EXPECT_EQ(kind, 7);
  EXPECT_EQ(dmGetDevmodeDdmID(12, 0), 0);
  const CDM_MEMBER_ENTRY* table = nullptr;
  WORD count = 9;
  EXPECT_EQ(local_GetCdmDmDataFuncTbl(12, &table, &count, nullptr), 0);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->ddmId, 0u);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(local_GetCdmDmDataFuncTbl(0, nullptr, nullptr, nullptr), 1);
}

TEST(DevmodeTables, PrinterDataOthersKeepTheRecordOrder) {
  // 5633-5654, 8201-8207, 6145-6294, 6401-6410, 5889-5948, 8208-8212
  EXPECT_EQ(dmGetDevmodeDdmID(10, 0), 5633);
  EXPECT_EQ(dmGetDevmodeDdmID(10, 22), 8201);
  EXPECT_EQ(dmGetDevmodeDdmID(10, 29), 6145);
  EXPECT_EQ(dmGetDevmodeDdmID(10, 179), 6401);
  EXPECT_EQ(dmGetDevmodeDdmID(10, 189), 5889);
  EXPECT_EQ(dmGetDevmodeDdmID(10, 249), 8208);
  EXPECT_EQ(dmGetDevmodeDdmID(10, 253), 8212);
}

TEST(DevmodeTables, MemberTableLookup) {
  struct Case {
    WORD id;
    bool inLayout;
    bool inMemberTable;
    const char* descriptor;  // null: none
  };
  const Case cases[] = {
      {20, true, false, nullptr},       {21, true, false, nullptr},        {289, false, false, nullptr},
      {290, false, false, nullptr},     {304, true, false, nullptr},       {329, true, false, nullptr},
      {1295, true, false, nullptr},     {5633, true, false, nullptr},      {6190, true, false, nullptr},
      {6219, true, false, nullptr},     {6220, true, true, nullptr},       {2, true, true, "SpecVersion"},
      {3, true, true, "DmStructVersion"}, {1793, true, true, "DmStructVersion"}, {8204, true, true, "DmStructVersion"},
      {298, true, true, "StampNameList"}, {297, true, true, nullptr},      {463, true, true, "DocPropType"},
      {5908, true, true, "DefineWidth"}, {5948, true, true, "DefineName"}, {8202, true, true, "PrinterDataSize"},
      {1864, true, true, nullptr},      {26, false, false, nullptr},       {0, false, false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    EXPECT_EQ(ddm_FindLayout(c.id, nullptr, nullptr) != nullptr, c.inLayout);
    const CDM_MEMBER_ENTRY* e = cdmSerchDmDataFuncTbl(c.id);
    ASSERT_EQ(e != nullptr, c.inMemberTable);
    if (!e) continue;
    EXPECT_EQ(e->ddmId, c.id);
    if (c.descriptor) {
      ASSERT_NE(e->desc, nullptr);
      EXPECT_STREQ(e->desc->name, c.descriptor);
    } else {
      EXPECT_EQ(e->desc, nullptr);
    }
  }
  // 1864 is listed twice in group 11's member table.
  const CDM_MEMBER_ENTRY* table = nullptr;
  WORD count = 0;
  ASSERT_EQ(local_GetCdmDmDataFuncTbl(11, &table, &count, nullptr), 1);
  int seen = 0;
  for (WORD i = 0; i < count; ++i) seen += table[i].ddmId == 1864;
  EXPECT_EQ(seen, 2);
}

// ---- Descriptor dispatch --------------------------------------------------------------
TEST(DevmodeDispatch, RoutesByOperationMask) {
  struct Case {
    WORD id;
    WORD op;
    ULONG_PTR value;
    WORD result;
    ULONG_PTR answer;  // for defaults
  };
  const Case cases[] = {
      {3, CDM_OP_DEFAULT, 0, CDM_RESULT_DONE, 0x5110},      // static default
      {8202, CDM_OP_DEFAULT, 0, CDM_RESULT_DONE, 4736},     // static default
      {463, CDM_OP_DEFAULT, 0, CDM_RESULT_DDD, 0},          // empty mask: never taken
      {4, CDM_OP_DEFAULT, 0, CDM_RESULT_DONE, 220},
      {5, CDM_OP_DEFAULT, 0, CDM_RESULT_DONE, 1336},
      {7, CDM_OP_DEFAULT, 0, CDM_RESULT_DDD, 0},            // mask 2, 16 only
      {7, CDM_OP_ALLOWED, 2, CDM_RESULT_DONE, 0},
      {7, CDM_OP_ALLOWED, 3, CDM_RESULT_REFUSED, 0},
      {24, CDM_OP_ALLOWED, 12345, CDM_RESULT_DONE, 0},      // every media type
      {24, CDM_OP_CHECK, 0, CDM_RESULT_DDD, 0},
      {15, CDM_OP_DEFAULT, 0, CDM_RESULT_REFUSED, 0},       // needs the handle for 270 and 345
      {15, CDM_OP_ALLOWED, 1, CDM_RESULT_DONE, 0},
      {270, CDM_OP_DEFAULT, 0, CDM_RESULT_DDD, 0},          // no descriptor
      {270, CDM_OP_ALLOWED, 1, CDM_RESULT_DDD, 0},
      {20, CDM_OP_DEFAULT, 0, CDM_RESULT_NOMEMBER, 0},      // layout only
      {289, CDM_OP_CHECK, 0, CDM_RESULT_NOMEMBER, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "id " << c.id << " op " << c.op);
    CDM_MEMBER_ARGS args{};
    args.ddmId = c.id;
    args.value = c.value;
    EXPECT_EQ(cdmDispatchMember(c.id, c.op, &args), c.result);
    if (c.op == CDM_OP_DEFAULT && c.result == CDM_RESULT_DONE) {
      EXPECT_EQ(args.value, c.answer);
    }
  }
}

TEST(DevmodeDispatch, IsDevmodeOurs) {
  struct Case {
    const char* what;
    WORD specVersion;
    WORD size;
    WORD extra;
    WORD driver;
    BOOL ours;
  };
  const Case cases[] = {
      {"1556-byte form", 0x401, 220, 1336, 0x2182, 1},
      {"size 1556", 0x401, 1556, 1336, 0x2182, 1},
      {"size 212", 0x401, 212, 1336, 0x2182, 1},
      {"CreateDC driver extra", 0x401, 220, 5244, 0x2182, 1},
      {"driver extra 5220", 0x401, 220, 5220, 0x2182, 0},
      {"dmSpecVersion", 0x400, 220, 1336, 0x2182, 0},
      {"size", 0x401, 216, 1336, 0x2182, 0},
      {"driver version", 0x401, 220, 1336, 0x2181, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Records r;
    r.PutU16(64, c.specVersion);
    r.PutU16(68, c.size);
    r.PutU16(70, c.extra);
    r.PutU16(222, c.driver);
    EXPECT_EQ(wNTc_IsDevmodeOurs(r.dm.data()), c.ours);
  }
  EXPECT_EQ(wNTc_IsDevmodeOurs(nullptr), 0);
}

}  // namespace
}  // namespace kestrel::test
