// The kernel-mode load of the printer-data record and of the TrueType
// substitution table: the chunked values of the spooler's printer read
// through the graphics engine (EngGetPrinterData) with the engine's printer
// handle, as DrvEnablePDEV reads them.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/printerdata.h"
#include "kestrel/core/ttsubst.h"
#include "kernel_core_fixture.h"

namespace kestrel::test::km {
namespace {

constexpr WORD kMarker = 5132;  // a 16-bit member of the record no default rule touches

class KernelPrinterData : public KernelModelTest {
 protected:
  void SetUp() override { Open(kModelA); }

  std::vector<BYTE> Defaults() {
    std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL), pd(PD_RECORD_SIZE);
    EXPECT_TRUE(cdm_SetDefaultDevmode(ddd_, dm.data(), pd.data(), u"DummyName"));
    return pd;
  }
  static WORD Read16(const std::vector<BYTE>& record, WORD id) {
    WORD type = 0;
    DWORD size = 0;
    ULONG_PTR v = 0;
    EXPECT_EQ(ddm_GetValue(id, nullptr, const_cast<BYTE*>(record.data()), &type, &size, &v), 0) << id;
    return static_cast<WORD>(v);
  }
  static void Write16(std::vector<BYTE>& record, WORD id, WORD value) {
    ASSERT_EQ(ddm_SetValue(id, nullptr, record.data(), DDM_TYPE_WORD, 2, &value), 0) << id;
  }
  static void PutWord(std::vector<BYTE>& record, size_t offset, WORD value) {
    std::memcpy(record.data() + offset, &value, 2);
  }
  BOOL Load(std::vector<BYTE>& out) {
    out.assign(PD_RECORD_SIZE, 0xEE);
    return pd_GetPrinterData(printer_, out.data(), ddd_);
  }
};

TEST_F(KernelPrinterData, StoredRecordsAreTakenWholeLaidOverDefaultsOrUpgraded) {
  const std::vector<BYTE> defaults = Defaults();
  std::vector<BYTE> stored = defaults;
  Write16(stored, kMarker, 1234);
  ASSERT_NE(stored, defaults);

  // The current driver version (8578): the record as stored.
  PutChunked(u"PrinterData", stored);
  std::vector<BYTE> out;
  ASSERT_TRUE(Load(out));
  EXPECT_EQ(out, stored);

  // A shorter record of this version: read into the 4736-byte record, the
  // missing tail from the defaults.
  constexpr size_t kShort = 3000;
  static_assert(kShort > 1110 + 2, "the marker lies in the stored part");
  PutChunked(u"PrinterData", std::vector<BYTE>(stored.begin(), stored.begin() + kShort));
  ASSERT_TRUE(Load(out));
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + kShort, stored.begin()));
  EXPECT_TRUE(std::equal(out.begin() + kShort, out.end(), defaults.begin() + kShort));
  EXPECT_EQ(Read16(out, kMarker), 1234);

  // An older driver version of the same structure: upgraded to 8578, the
  // stored members kept.
  std::vector<BYTE> older = stored;
  PutWord(older, offsetof(PD_RECORD_HEAD, driverVersion), PD_DRIVER_VERSION - 1);
  PutChunked(u"PrinterData", older);
  ASSERT_TRUE(Load(out));
  WORD driver = 0;
  std::memcpy(&driver, out.data() + offsetof(PD_RECORD_HEAD, driverVersion), 2);
  EXPECT_EQ(driver, PD_DRIVER_VERSION);
  EXPECT_EQ(Read16(out, kMarker), 1234);
}

TEST_F(KernelPrinterData, NothingStoredGivesTheModelsDefaults) {
  std::vector<BYTE> out;
  ASSERT_TRUE(Load(out));
  EXPECT_EQ(out, Defaults());
}

// A damaged stored copy gives the model's defaults, as nothing stored does:
// one bad chunk must not stop the queue from printing.
TEST_F(KernelPrinterData, AStoredCopyThatCannotBeReadGivesTheModelsDefaults) {
  const std::vector<BYTE> defaults = Defaults();
  std::vector<BYTE> stored = defaults;
  Write16(stored, kMarker, 1234);
  std::vector<BYTE> out;
  struct Case {
    const char* what;
    std::function<void()> prepare;
  };
  const Case cases[] = {
      {"the engine fails the read",
       [&] {
         PutChunked(u"PrinterData", stored);
         ASSERT_TRUE(KpEngineFailPrinterData(printer_, ERROR_NOT_ENOUGH_MEMORY));
       }},
      {"a chunk shorter than 768 bytes",
       [&] {
         PutChunked(u"PrinterData", stored);
         PutValue(u"PrinterData2", REG_BINARY, stored.data(), 700);
       }},
      {"a missing chunk",
       [&] {
         PutChunked(u"PrinterData", stored);
         std::u16string name = u"PrinterData7";
         ASSERT_EQ(DeletePrinterDataW(spooler_, name.data()), static_cast<DWORD>(ERROR_SUCCESS));
       }},
      {"a size near 4 GiB", [&] { PutChunked(u"PrinterData", stored, 0xFFFFFF00u); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.prepare();
    ASSERT_TRUE(Load(out));
    EXPECT_EQ(out, defaults);
    ASSERT_TRUE(KpEngineFailPrinterData(printer_, 0));
  }
  // The failure knob alone, with nothing stored either.
  std::u16string size = u"PrinterDataSize";
  DeletePrinterDataW(spooler_, size.data());
  ASSERT_TRUE(KpEngineFailPrinterData(printer_, ERROR_INVALID_HANDLE));
  ASSERT_TRUE(Load(out));
  EXPECT_EQ(out, defaults);
  ASSERT_TRUE(KpEngineFailPrinterData(printer_, 0));
  EXPECT_TRUE(Load(out));

  EXPECT_FALSE(pd_GetPrinterData(nullptr, out.data(), ddd_));
  EXPECT_FALSE(pd_GetPrinterData(printer_, nullptr, ddd_));
  EXPECT_FALSE(pd_GetPrinterData(printer_, out.data(), nullptr));
}

// ---- The TrueType substitution table ----------------------------------------------

std::vector<BYTE> TableBytes(const std::u16string& pairs) {  // pairs with their NULs, then the closing one
  std::vector<BYTE> b((pairs.size() + 1) * 2, 0);
  std::memcpy(b.data(), pairs.data(), pairs.size() * 2);
  return b;
}

std::vector<BYTE> Copy(LPCWSTR table) {
  std::vector<BYTE> b;
  if (!table) return b;
  DWORD bytes = ttsb_TableBytes(table, TTSB_MAX_BYTES + 1);
  b.assign(reinterpret_cast<const BYTE*>(table), reinterpret_cast<const BYTE*>(table) + bytes);
  return b;
}

TEST_F(KernelPrinterData, SubstitutionTableStoredOrBuiltFromTheModel) {
  LPWSTR model = ttsb_DefaultTrueTypeSubstTable(ddd_);
  ASSERT_NE(model, nullptr);
  const std::vector<BYTE> modelTable = Copy(model);
  ttsb_FreeTrueTypeSubstTable(model);
  ASSERT_GT(modelTable.size(), 2u);

  // Nothing stored: the model's table when an engine device is given, none
  // without one.
  LPWSTR t = ttsb_CurrentTrueTypeSubstTable(printer_, 0, hdev_);
  EXPECT_EQ(Copy(t), modelTable);
  ttsb_FreeTrueTypeSubstTable(t);
  EXPECT_EQ(ttsb_CurrentTrueTypeSubstTable(printer_, 0, nullptr), nullptr);

  // A stored table wins over the model's.
  const std::vector<BYTE> stored = TableBytes(std::u16string(u"Arial\0Helvetica\0", 16));
  PutChunked(u"FontSubTable", stored);
  t = ttsb_CurrentTrueTypeSubstTable(printer_, 0, hdev_);
  EXPECT_EQ(Copy(t), stored);
  ttsb_FreeTrueTypeSubstTable(t);

  // A stored table that is not well formed (a face without its device font)
  // is not taken: the model's again.
  PutChunked(u"FontSubTable", TableBytes(std::u16string(u"Arial\0", 6)));
  t = ttsb_CurrentTrueTypeSubstTable(printer_, 0, hdev_);
  EXPECT_EQ(Copy(t), modelTable);
  ttsb_FreeTrueTypeSubstTable(t);
}

}  // namespace
}  // namespace kestrel::test::km
