// The printer id, the per-user key and the Administrators check.
#include <gtest/gtest.h>

#include <string>

#include "kestrel/ui/prnid.h"
#include "ui_fixture.h"

namespace kestrel::test::ui {
namespace {

std::string Hex(const BYTE* id) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (int i = 0; i < PRNID_SIZE; ++i) s += {digits[id[i] >> 4], digits[id[i] & 15]};
  return s;
}
std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

const char16_t kUserPath[] = u"Software\\Halcyra\\Kestrel\\Scriva K350\\";

class PrnIdTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    SYSTEMTIME t = {2024, 1, 2, 2, 3, 4, 5, 0};  // 1704164645 seconds
    ASSERT_TRUE(KpSetClock(&t));
  }
  void TearDown() override {
    KpSetClock(nullptr);
    UiTest::TearDown();
  }
  HANDLE AddPrinter(const char16_t* name) {
    EXPECT_EQ(AddModelAPrinter(name), "");
    return OpenPrinter(name);
  }
  std::string Stored(HANDLE printer) {
    BYTE id[PRNID_SIZE] = {};
    return getPRNID(printer, id) ? Hex(id) : std::string();
  }
};

// Digests of the 4 little-endian bytes of 1704164645 followed by the UTF-16
// name, from an MD5 outside this code.
TEST_F(PrnIdTest, DigestOfTheTimeAndTheWholeName) {
  struct Case {
    const char16_t* name;
    const char* digest;
  };
  const Case cases[] = {
      {u"Scriva K350", "4B943C9A5D89006C32AE3014A237F7FE"},
      {u"Office-1", "0F365A02EA40C33CCD17F55D1D6864ED"},
      {u"Office-2", "8D2BEBA1846EBE8DDA7928C97C09A1E1"},  // differs only in its last character
  };
  for (const Case& c : cases) {
    HANDLE p = std::u16string(c.name) == kPrinter ? printer_ : AddPrinter(c.name);
    BYTE id[PRNID_SIZE] = {};
    ASSERT_TRUE(CreatePRNID(p, id));
    EXPECT_EQ(Hex(id), c.digest);
  }
  EXPECT_FALSE(CreatePRNID(printer_, nullptr));
  BYTE unused[PRNID_SIZE];
  EXPECT_FALSE(CreatePRNID(reinterpret_cast<HANDLE>(0x77), unused));
}

TEST_F(PrnIdTest, KeyNames) {
  const BYTE id[PRNID_SIZE] = {0x00, 0x01, 0x7F, 0x80, 0xAB, 0xCD, 0xEF, 0xFF, 1, 2, 3, 4, 5, 6, 7, 8};
  WCHAR out[PRNID_KEY_CHARS];
  ASSERT_NE(local_CreatePRNIDKey(kUserPath, id, nullptr, out, PRNID_KEY_CHARS), nullptr);
  EXPECT_EQ(std::u16string(out), std::u16string(kUserPath) + u"00017F80ABCDEFFF0102030405060708");
  ASSERT_NE(local_CreatePRNIDKey(kUserPath, id, u"Stamps", out, PRNID_KEY_CHARS), nullptr);
  EXPECT_EQ(std::u16string(out), std::u16string(kUserPath) + u"00017F80ABCDEFFF0102030405060708\\Stamps");
  size_t exact = std::u16string(kUserPath).size() + 32 + 1;
  EXPECT_NE(local_CreatePRNIDKey(kUserPath, id, nullptr, out, static_cast<DWORD>(exact)), nullptr);
  EXPECT_EQ(local_CreatePRNIDKey(kUserPath, id, nullptr, out, static_cast<DWORD>(exact - 1)), nullptr);
  EXPECT_EQ(local_CreatePRNIDKey(nullptr, id, nullptr, out, PRNID_KEY_CHARS), nullptr);
}

TEST_F(PrnIdTest, TheFirstIdIsKeptAndNamesTheUsersKey) {
  EXPECT_EQ(Stored(printer_), "");
  HKEY key = nullptr;
  ASSERT_TRUE(OpenCurrentUser(printer_, ddd_, nullptr, &key));
  RegCloseKey(key);
  const std::string first = Stored(printer_);
  EXPECT_EQ(first, "4B943C9A5D89006C32AE3014A237F7FE");

  // Later: a new id is made but never stored over the first.
  SYSTEMTIME later = {2025, 6, 0, 1, 0, 0, 0, 0};
  ASSERT_TRUE(KpSetClock(&later));
  BYTE other[PRNID_SIZE];
  ASSERT_TRUE(CreatePRNID(printer_, other));
  EXPECT_NE(Hex(other), first);
  EXPECT_TRUE(setPRNID(printer_, other));
  EXPECT_EQ(Stored(printer_), first);

  // The key, with and without a sub-key, lies under the model's user path.
  ASSERT_TRUE(OpenCurrentUser(printer_, ddd_, u"Favorites", &key));
  RegCloseKey(key);
  std::u16string name = std::u16string(kUserPath) + Wide(first);
  HKEY check = nullptr;
  EXPECT_EQ(RegOpenKeyW(HKEY_CURRENT_USER, name.c_str(), &check), ERROR_SUCCESS);
  RegCloseKey(check);
  EXPECT_EQ(RegOpenKeyW(HKEY_CURRENT_USER, (name + u"\\Favorites").c_str(), &check), ERROR_SUCCESS);
  RegCloseKey(check);

  // The id survives the handle: another handle of the printer reads it.
  HANDLE again = OpenPrinter(kPrinter);
  EXPECT_EQ(Stored(again), first);
}

TEST_F(PrnIdTest, AStoredValueOfTheWrongSizeIsReplacedOnce) {
  BYTE eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(SetPrinterDataW(printer_, const_cast<LPWSTR>(u"PRNID"), REG_BINARY, eight, 8), ERROR_SUCCESS);
  BYTE id[PRNID_SIZE];
  EXPECT_FALSE(getPRNID(printer_, id)) << "eight bytes are no id";
  HKEY key = nullptr;
  ASSERT_TRUE(OpenCurrentUser(printer_, ddd_, nullptr, &key));
  RegCloseKey(key);
  const std::string made = Stored(printer_);
  ASSERT_EQ(made.size(), 32u);

  SYSTEMTIME later = {2025, 6, 0, 1, 0, 0, 0, 0};
  ASSERT_TRUE(KpSetClock(&later));
  ASSERT_TRUE(OpenCurrentUser(printer_, ddd_, nullptr, &key));
  RegCloseKey(key);
  EXPECT_EQ(Stored(printer_), made) << "no new id (and no new key) on the next call";
}

TEST_F(PrnIdTest, FailuresLeaveNoKey) {
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_FALSE(OpenCurrentUser(printer_, nullptr, nullptr, &key));
  EXPECT_FALSE(OpenCurrentUser(reinterpret_cast<HANDLE>(0x77), ddd_, nullptr, &key));
  EXPECT_EQ(key, nullptr);
  EXPECT_FALSE(setPRNID(printer_, nullptr));
  EXPECT_FALSE(getPRNID(printer_, nullptr));
}

TEST_F(PrnIdTest, AdministratorsCheck) {
  struct Case {
    BOOL admin;
    DWORD extraGroups;
    BOOL expected;
  };
  // 40 further groups make the group list larger than the first 1024 bytes.
  const Case cases[] = {{TRUE, 0, TRUE}, {FALSE, 0, FALSE}, {TRUE, 40, TRUE}, {FALSE, 40, FALSE}};
  for (const Case& c : cases) {
    KpSetAdministrator(c.admin);
    KpSetTokenExtraGroups(c.extraGroups);
    EXPECT_EQ(uiGetUserPermission(), c.expected) << c.admin << "/" << c.extraGroups;
  }
}

}  // namespace
}  // namespace kestrel::test::ui
