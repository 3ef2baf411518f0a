// Chunked printer-data values: the chunk split, the size limits, reads that
// must fail, and writes that fail part-way.
#include "pd_fixture.h"

namespace kestrel::test::pd {
namespace {

class ChunkedTest : public PdTest {};

struct SplitCase {
  DWORD size;
  DWORD chunks;
  DWORD lastChunk;
};

// Each size is stored as the size value and ceil(size / 768) chunks, the
// last one holding the rest, and reads back byte for byte.
TEST_F(ChunkedTest, SplitsIntoChunksOf768AndReadsBack) {
  const SplitCase cases[] = {{1, 1, 1},        {767, 1, 767},   {768, 1, 768},
                             {769, 2, 1},      {4736, 7, 128},  {99 * 768, 99, 768}};
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.size);
    for (const std::u16string& n : ListValues()) DeleteValue(n);
    std::vector<BYTE> data = Pattern(c.size, static_cast<BYTE>(c.size));
    ASSERT_TRUE(zanSavePrinterDataToRegistry(printer_, data.data(), c.size, ZAN_KIND_PAPERMARGINARRAY, 0));
    EXPECT_EQ(ListValues(), ChunkNames(u"PaperMarginArray", c.chunks, true));
    std::u16string last = u"PaperMarginArray" + ChunkNames(u"", c.chunks, false).back();
    DWORD needed = 0;
    GetPrinterDataW(printer_, last.data(), nullptr, nullptr, 0, &needed);
    EXPECT_EQ(needed, c.lastChunk);

    DWORD size = 0;
    ASSERT_TRUE(zanGetPrinterDataFromRegistry(printer_, ZAN_KIND_PAPERMARGINARRAY, nullptr, &size));
    EXPECT_EQ(size, c.size);
    BOOL ok = FALSE;
    EXPECT_EQ(Read(ZAN_KIND_PAPERMARGINARRAY, c.size, &ok), data);
    EXPECT_TRUE(ok);
  }
}

TEST_F(ChunkedTest, KindsNameTheirValues) {
  const char16_t* bases[] = {u"FontSubTable", u"SysTTFontList", u"PrinterData", u"UserSettingInfo",
                             u"PaperMarginArray"};
  std::vector<BYTE> data = Pattern(10, 1);
  for (WORD kind = 0; kind < 5; ++kind) {
    for (const std::u16string& n : ListValues()) DeleteValue(n);
    ASSERT_TRUE(zanSavePrinterDataToRegistry(printer_, data.data(), 10, kind, 0));
    EXPECT_EQ(ListValues(), ChunkNames(bases[kind], 1, true));
  }
  EXPECT_FALSE(zanSavePrinterDataToRegistry(printer_, data.data(), 10, 5, 0));
  DWORD size = 10;
  EXPECT_FALSE(zanGetPrinterDataFromRegistry(printer_, 5, data.data(), &size));

  // The same form under any base name; a missing or empty name is refused.
  for (const std::u16string& n : ListValues()) DeleteValue(n);
  ASSERT_TRUE(zanSaveChunkedValue(printer_, u"N_Dev", data.data(), 10));
  EXPECT_EQ(ListValues(), ChunkNames(u"N_Dev", 1, true));
  std::vector<BYTE> back(10);
  size = 10;
  EXPECT_TRUE(zanGetChunkedValueEx(printer_, u"N_Dev", back.data(), &size, nullptr));
  EXPECT_EQ(back, data);
  EXPECT_FALSE(zanSaveChunkedValue(printer_, nullptr, data.data(), 10));
  EXPECT_FALSE(zanSaveChunkedValue(printer_, u"", data.data(), 10));
  DWORD error = 0;
  EXPECT_FALSE(zanGetChunkedValueEx(printer_, u"", back.data(), &size, &error));
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(ListValues(), ChunkNames(u"N_Dev", 1, true));
}

// Refused arguments leave nothing written.
TEST_F(ChunkedTest, RefusesBadWritesWithoutWriting) {
  std::vector<BYTE> big = Pattern(99 * 768 + 1, 3);
  EXPECT_FALSE(zanSavePrinterDataToRegistry(printer_, big.data(), 99 * 768 + 1, ZAN_KIND_PRINTERDATA, 0));
  EXPECT_FALSE(zanSavePrinterDataToRegistry(printer_, big.data(), 0, ZAN_KIND_PRINTERDATA, 0));
  EXPECT_FALSE(zanSavePrinterDataToRegistry(nullptr, big.data(), 10, ZAN_KIND_PRINTERDATA, 0));
  EXPECT_FALSE(zanSavePrinterDataToRegistry(printer_, nullptr, 10, ZAN_KIND_PRINTERDATA, 0));
  EXPECT_TRUE(ListValues().empty());
}

struct BadStore {
  const char* what;
  int damage;  // 0 capacity one short, 1 short chunk, 2 long chunk, 3 missing chunk, 4 size over 99 chunks,
               // 5 size 0, 6 size not 4 bytes
};

// Every damaged store fails the read; none reads past its buffer.
TEST_F(ChunkedTest, DamagedValuesFailTheRead) {
  const BadStore cases[] = {{"capacity one short", 0}, {"short chunk", 1},  {"long chunk", 2},
                            {"missing chunk", 3},      {"over 99 chunks", 4}, {"size 0", 5},
                            {"size of 2 bytes", 6}};
  for (const BadStore& c : cases) {
    SCOPED_TRACE(c.what);
    for (const std::u16string& n : ListValues()) DeleteValue(n);
    std::vector<BYTE> data = Pattern(2000, 9);
    ASSERT_TRUE(zanSavePrinterDataToRegistry(printer_, data.data(), 2000, ZAN_KIND_PRINTERDATA, 0));
    DWORD capacity = 2000;
    switch (c.damage) {
      case 0: capacity = 1999; break;
      case 1: PutValue(u"PrinterData2", REG_BINARY, Pattern(767, 1)); break;
      case 2: PutValue(u"PrinterData3", REG_BINARY, Pattern(465, 1)); break;
      case 3: DeleteValue(u"PrinterData2"); break;
      case 4: PutSize(u"PrinterDataSize", 99 * 768 + 1), capacity = 99 * 768 + 1; break;
      case 5: PutSize(u"PrinterDataSize", 0); break;
      case 6: PutValue(u"PrinterDataSize", REG_BINARY, {0xD0, 0x07}); break;
    }
    BOOL ok = TRUE;
    std::vector<BYTE> got = Read(ZAN_KIND_PRINTERDATA, capacity, &ok);
    EXPECT_FALSE(ok);
    if (c.damage == 0) {
      EXPECT_TRUE(got.empty());
    }
  }
}

// A write that fails at any of its steps (the seven chunks, then the size
// value) leaves the earlier value readable as it was, never a mix, and
// nothing beside it.
TEST_F(ChunkedTest, FailedWriteKeepsTheOldValue) {
  std::vector<BYTE> oldData = Pattern(4736, 1);
  std::vector<BYTE> newData = Pattern(4736, 2);
  ASSERT_TRUE(zanSavePrinterDataToRegistry(printer_, oldData.data(), 4736, ZAN_KIND_PRINTERDATA, 0));
  for (DWORD k = 1; k <= 8; ++k) {
    SCOPED_TRACE(k);
    KpSpoolerFailPrinterData(0, k, 1, ERROR_WRITE_FAULT);
    EXPECT_FALSE(zanSavePrinterDataToRegistry(printer_, newData.data(), 4736, ZAN_KIND_PRINTERDATA, 0));
    KpSpoolerFailPrinterData(0, 0, 0, 0);
    BOOL ok = FALSE;
    EXPECT_EQ(Read(ZAN_KIND_PRINTERDATA, 4736, &ok), oldData);
    EXPECT_TRUE(ok);
    EXPECT_EQ(ListValues(), ChunkNames(u"PrinterData", 7, true));
  }
  ASSERT_TRUE(zanSavePrinterDataToRegistry(printer_, newData.data(), 4736, ZAN_KIND_PRINTERDATA, 0));
  BOOL ok = FALSE;
  EXPECT_EQ(Read(ZAN_KIND_PRINTERDATA, 4736, &ok), newData);
}

// A larger value failing part-way: the old, smaller value stays, and the
// chunks it never had are removed again. With nothing stored before, a
// failed write leaves nothing stored.
TEST_F(ChunkedTest, FailedWriteOfOtherSizesLeavesNoTrace) {
  std::vector<BYTE> small = Pattern(800, 4);
  std::vector<BYTE> large = Pattern(3000, 5);
  KpSpoolerFailPrinterData(0, 2, 1, ERROR_WRITE_FAULT);
  EXPECT_FALSE(zanSavePrinterDataToRegistry(printer_, large.data(), 3000, ZAN_KIND_FONTSUBTABLE, 0));
  KpSpoolerFailPrinterData(0, 0, 0, 0);
  EXPECT_TRUE(ListValues().empty());

  ASSERT_TRUE(zanSavePrinterDataToRegistry(printer_, small.data(), 800, ZAN_KIND_FONTSUBTABLE, 0));
  KpSpoolerFailPrinterData(0, 5, 1, ERROR_WRITE_FAULT);  // the size value
  EXPECT_FALSE(zanSavePrinterDataToRegistry(printer_, large.data(), 3000, ZAN_KIND_FONTSUBTABLE, 0));
  KpSpoolerFailPrinterData(0, 0, 0, 0);
  BOOL ok = FALSE;
  EXPECT_EQ(Read(ZAN_KIND_FONTSUBTABLE, 3000, &ok), small);
  EXPECT_TRUE(ok);
  EXPECT_EQ(ListValues(), ChunkNames(u"FontSubTable", 2, true));
}

// When the repair fails too, or the old value was unreadable already, the
// size value goes, so the next read finds nothing stored rather than a mix.
// When the stored size cannot be read at all, nothing is written.
TEST_F(ChunkedTest, UnrepairableWritesLeaveNothingToMisread) {
  std::vector<BYTE> oldData = Pattern(4736, 1);
  std::vector<BYTE> newData = Pattern(4736, 2);
  struct Case {
    const char* what;
    DWORD getNth, setNth, count, error;
    bool keepsOld;
  };
  const Case cases[] = {
      {"chunk 4 and its repair fail", 0, 4, 2, ERROR_WRITE_FAULT, false},
      {"stored size near 4 GiB, chunk 1 fails", 0, 1, 1, ERROR_WRITE_FAULT, false},
      {"old chunk 3 unreadable, chunk 2 fails", 4, 2, 1, ERROR_READ_FAULT, false},
      {"size unreadable", 1, 0, 1, ERROR_ACCESS_DENIED, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(zanSavePrinterDataToRegistry(printer_, oldData.data(), 4736, ZAN_KIND_PRINTERDATA, 0));
    if (std::string(c.what).find("4 GiB") != std::string::npos) PutSize(u"PrinterDataSize", 0xFFFFFFF0u);
    KpSpoolerFailPrinterData(c.getNth, c.setNth, c.count, c.error);
    EXPECT_FALSE(zanSavePrinterDataToRegistry(printer_, newData.data(), 4736, ZAN_KIND_PRINTERDATA, 0));
    KpSpoolerFailPrinterData(0, 0, 0, 0);
    BOOL ok = FALSE;
    std::vector<BYTE> got = Read(ZAN_KIND_PRINTERDATA, 4736, &ok);
    if (c.keepsOld) {
      EXPECT_TRUE(ok);
      EXPECT_EQ(got, oldData);
    } else {
      DWORD size = 0, error = 0;
      EXPECT_FALSE(zanGetPrinterDataFromRegistryEx(printer_, ZAN_KIND_PRINTERDATA, nullptr, &size, &error));
      EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
  }
}

}  // namespace
}  // namespace kestrel::test::pd
