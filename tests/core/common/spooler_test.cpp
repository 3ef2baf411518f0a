// The spooler stand-in: printers with their driver's files and the forms
// database.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kplatform/kwindows.h"
#include "temp_root.h"

namespace kestrel::test::common {
namespace {

class Spooler : public RootedTest {
 protected:
  HANDLE Open(const char16_t* name) {
    std::u16string n = name;
    HANDLE h = nullptr;
    return OpenPrinterW(n.data(), &h, nullptr) ? h : nullptr;
  }
};

TEST_F(Spooler, DriverInformation) {
  ASSERT_TRUE(KpSpoolerAddPrinter(u"Office", u"Scriva K350 PCL6", u"K350.DDD", u"C:\\cfg\\K350.cfg", u"kestrelui.dll"));
  EXPECT_EQ(nullptr, Open(u"Nobody"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME), GetLastError());
  HANDLE h = Open(u"OFFICE");  // names compare without case
  ASSERT_NE(nullptr, h);

  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterDriverW(h, nullptr, 2, nullptr, 0, &needed));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  ASSERT_GT(needed, sizeof(DRIVER_INFO_2W));
  std::vector<BYTE> buffer(needed);
  EXPECT_FALSE(GetPrinterDriverW(h, nullptr, 2, buffer.data(), needed - 1, &needed));
  ASSERT_TRUE(GetPrinterDriverW(h, nullptr, 2, buffer.data(), needed, &needed));
  auto* info = reinterpret_cast<DRIVER_INFO_2W*>(buffer.data());
  EXPECT_EQ(std::u16string(u"Scriva K350 PCL6"), info->pName);
  EXPECT_EQ(std::u16string(u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\K350.DDD"), info->pDataFile);
  EXPECT_EQ(std::u16string(u"C:\\cfg\\K350.cfg"), info->pConfigFile);
  EXPECT_EQ(std::u16string(u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\kestrelui.dll"), info->pDriverPath);
  for (LPWSTR s : {info->pName, info->pEnvironment, info->pDriverPath, info->pDataFile, info->pConfigFile}) {
    EXPECT_GE(reinterpret_cast<BYTE*>(s), buffer.data() + sizeof(DRIVER_INFO_2W));
    EXPECT_LT(reinterpret_cast<BYTE*>(s), buffer.data() + needed);
  }
  EXPECT_FALSE(GetPrinterDriverW(h, nullptr, 3, buffer.data(), needed, &needed));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_LEVEL), GetLastError());
  EXPECT_TRUE(ClosePrinter(h));
  EXPECT_FALSE(GetPrinterDriverW(h, nullptr, 2, buffer.data(), needed, &needed));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(Spooler, FormsDatabase) {
  ASSERT_TRUE(KpSpoolerAddPrinter(u"Office", u"Driver", u"X.DDD", u"", u""));
  HANDLE h = Open(u"Office");
  ASSERT_NE(nullptr, h);
  DWORD needed = 0, returned = 0;
  EXPECT_FALSE(EnumFormsW(h, 1, nullptr, 0, &needed, &returned));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(EnumFormsW(h, 1, buffer.data(), needed, &needed, &returned));
  EXPECT_EQ(118u, returned);
  auto* forms = reinterpret_cast<FORM_INFO_1W*>(buffer.data());
  EXPECT_EQ(std::u16string(u"Reserved48"), forms[47].pName);
  EXPECT_EQ(std::u16string(u"PRC Envelope #10 Rotated"), forms[117].pName);

  struct Row {
    const char16_t* name;
    LONG w, l;
    RECTL area;
    BOOL ok;
    DWORD error;
  };
  const Row rows[] = {
      {u"Site", 100000, 150000, {0, 0, 100000, 150000}, TRUE, 0},
      {u"SITE", 100000, 150000, {0, 0, 100000, 150000}, FALSE, ERROR_FILE_EXISTS},
      {u"Letter", 100000, 150000, {0, 0, 100000, 150000}, FALSE, ERROR_FILE_EXISTS},
      {u"", 100000, 150000, {0, 0, 100000, 150000}, FALSE, ERROR_INVALID_FORM_NAME},
      {u"Wide", 100000, 150000, {0, 0, 100001, 150000}, FALSE, ERROR_INVALID_FORM_SIZE},
      {u"Zero", 0, 150000, {0, 0, 0, 150000}, FALSE, ERROR_INVALID_FORM_SIZE},
      {u"Inset", 100000, 150000, {4000, 4000, 96000, 146000}, TRUE, 0},
  };
  for (const Row& row : rows) {
    std::u16string name = row.name;
    FORM_INFO_1W form{FORM_USER, name.data(), {row.w, row.l}, row.area};
    EXPECT_EQ(row.ok, AddFormW(h, 1, reinterpret_cast<LPBYTE>(&form))) << name.size();
    if (!row.ok) {
      EXPECT_EQ(row.error, GetLastError());
    }
  }
  ASSERT_FALSE(EnumFormsW(h, 1, nullptr, 0, &needed, &returned));
  buffer.assign(needed, 0);
  ASSERT_TRUE(EnumFormsW(h, 1, buffer.data(), needed, &needed, &returned));
  EXPECT_EQ(120u, returned);
  forms = reinterpret_cast<FORM_INFO_1W*>(buffer.data());
  EXPECT_EQ(std::u16string(u"Inset"), forms[119].pName);
  EXPECT_EQ(static_cast<DWORD>(FORM_USER), forms[119].Flags);
  EXPECT_EQ(4000, forms[119].ImageableArea.left);
  EXPECT_TRUE(ClosePrinter(h));
}

TEST(SpoolerRoot, NewRootForgetsPrintersAndForms) {
  {
    TempRoot first;
    ASSERT_TRUE(KpSpoolerAddPrinter(u"Office", u"Driver", u"X.DDD", u"", u""));
  }
  TempRoot second;
  std::u16string name = u"Office";
  HANDLE h = nullptr;
  EXPECT_FALSE(OpenPrinterW(name.data(), &h, nullptr));
}

}  // namespace
}  // namespace kestrel::test::common
