// The stamp store under the per-user key.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kestrel/ui/prnid.h"
#include "kestrel/ui/stamp.h"
#include "ui_fixture.h"

namespace kestrel::test::ui {
namespace {

const std::vector<std::u16string> kDefaults = {u"Confidential", u"Draft", u"Copy", u"Urgent", u"Approved", u"Final"};

class StampTest : public UiTest {
 protected:
  std::u16string KeyName(const char16_t* sub) {
    WCHAR name[PRNID_KEY_CHARS] = {};
    EXPECT_TRUE(local_GetCurrentUserKeyName(printer_, ddd_, sub, name, PRNID_KEY_CHARS));
    return name;
  }
  std::vector<std::u16string> List() {
    DWORD size = 0;
    WORD count = 0;
    EXPECT_EQ(zanStamp_GetStampList(printer_, ddd_, nullptr, &count, &size), STAMP_OK);
    std::vector<WCHAR> buffer(size / 2);
    EXPECT_EQ(zanStamp_GetStampList(printer_, ddd_, buffer.data(), &count, &size), STAMP_OK);
    std::vector<std::u16string> names;
    for (const WCHAR* p = buffer.data(); *p; p += names.back().size() + 1) names.emplace_back(p);
    EXPECT_EQ(names.size(), count);
    return names;
  }
  WORD Count() {
    WORD n = 0xFFFF;
    EXPECT_EQ(zanStamp_GetEntryNum(printer_, ddd_, &n), STAMP_OK);
    return n;
  }
  static STAMPINFO Stamp(const std::u16string& name, const std::u16string& text) {
    STAMPINFO r = {};
    std::memcpy(r.name, name.c_str(), (name.size() + 1) * 2);
    std::memcpy(r.text, text.c_str(), (text.size() + 1) * 2);
    r.placement = 45;
    r.color = 0xFF;
    r.font.lfHeight = 72;
    r.font.lfWeight = 400;
    std::memcpy(r.font.lfFaceName, u"DejaVu Serif", 26);
    return r;
  }
  // Writes a raw value into the user's stamp key.
  void PutRaw(const char16_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(zanStamp_OpenSubKey(printer_, ddd_, 0, &key), STAMP_OK);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
  }
};

TEST_F(StampTest, ANewUserGetsTheSixDefaultsAndTheVersion) {
  EXPECT_EQ(List(), kDefaults);
  EXPECT_EQ(Count(), 6);

  HKEY others = nullptr;
  ASSERT_EQ(RegOpenKeyW(HKEY_CURRENT_USER, KeyName(u"Stamps\\Others").c_str(), &others), ERROR_SUCCESS);
  BYTE data[32] = {};
  DWORD type = 0, size = sizeof(data);
  ASSERT_EQ(RegQueryValueExW(others, u"Stamp Version", nullptr, &type, data, &size), ERROR_SUCCESS);
  RegCloseKey(others);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 8u) << "written without its terminator";
  EXPECT_EQ(std::memcmp(data, u"0.01", 8), 0);

  HKEY stamps = nullptr;
  ASSERT_EQ(RegOpenKeyW(HKEY_CURRENT_USER, KeyName(u"Stamps").c_str(), &stamps), ERROR_SUCCESS);
  STAMPINFO stored = {};
  size = sizeof(stored);
  ASSERT_EQ(RegQueryValueExW(stamps, u"Draft", nullptr, &type, reinterpret_cast<BYTE*>(&stored), &size),
            ERROR_SUCCESS);
  RegCloseKey(stamps);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(size, 832u);
  EXPECT_EQ(std::u16string(stored.text), u"DRAFT");
  EXPECT_EQ(stored.font.lfHeight, 96);
  EXPECT_EQ(stored.font.lfEscapement, 450);
  EXPECT_EQ(stored.font.lfWeight, 700);
  EXPECT_EQ(std::u16string(stored.font.lfFaceName), u"DejaVu Sans");
  EXPECT_EQ(stored.reservedZero, 0);
  for (BYTE b : stored.reserved) ASSERT_EQ(b, 0);
}

TEST_F(StampTest, TheMachineWideStampsAreCopiedWhenThereAreAny) {
  HKEY machine = nullptr, others = nullptr;
  ASSERT_EQ(RegCreateKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Halcyra\\Kestrel\\Scriva K350\\Stamps", &machine),
            ERROR_SUCCESS);
  STAMPINFO site = Stamp(u"Site Copy", u"SITE");
  ASSERT_EQ(RegSetValueExW(machine, u"Site Copy", 0, REG_BINARY, reinterpret_cast<BYTE*>(&site), sizeof(site)),
            ERROR_SUCCESS);
  ASSERT_EQ(RegCreateKeyW(machine, u"Others", &others), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(others, u"Stamp Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"0.01"), 8),
            ERROR_SUCCESS);
  RegCloseKey(others);
  RegCloseKey(machine);

  EXPECT_EQ(List(), std::vector<std::u16string>{u"Site Copy"});
  STAMPINFO got = {};
  ASSERT_EQ(zanStamp_GetStampInfo(printer_, ddd_, u"Site Copy", &got, FALSE), STAMP_OK);
  EXPECT_EQ(std::memcmp(&got, &site, sizeof(site)), 0);
  HKEY copied = nullptr;
  EXPECT_EQ(RegOpenKeyW(HKEY_CURRENT_USER, KeyName(u"Stamps\\Others").c_str(), &copied), ERROR_SUCCESS);
  RegCloseKey(copied);
}

TEST_F(StampTest, TheListAnswersItsSize) {
  DWORD needed = 2;
  for (const auto& n : kDefaults) needed += static_cast<DWORD>((n.size() + 1) * 2);
  WORD count = 0;
  DWORD size = 0;
  EXPECT_EQ(zanStamp_GetStampList(printer_, ddd_, nullptr, &count, &size), STAMP_OK);
  EXPECT_EQ(size, needed);
  EXPECT_EQ(count, 6);

  std::vector<WCHAR> buffer(needed / 2, 0x7777);
  size = needed - 2;
  EXPECT_EQ(zanStamp_GetStampList(printer_, ddd_, buffer.data(), &count, &size), STAMP_SMALL);
  EXPECT_EQ(size, needed);
  EXPECT_EQ(buffer[0], 0x7777) << "nothing written into a buffer too small";
  size = needed;
  EXPECT_EQ(zanStamp_GetStampList(printer_, ddd_, buffer.data(), &count, &size), STAMP_OK);
  EXPECT_EQ(buffer[needed / 2 - 1], 0);
  EXPECT_EQ(buffer[needed / 2 - 2], 0);
  EXPECT_EQ(zanStamp_GetStampList(printer_, ddd_, buffer.data(), &count, nullptr), STAMP_NONE);
}

TEST_F(StampTest, ThirtyTwoAtMostAndOverwriteAtTheLimit) {
  for (int i = 0; i < 26; ++i) {
    std::u16string name = u"Stamp " + std::u16string(1, static_cast<char16_t>(u'A' + i));
    ASSERT_EQ(zanStamp_RegistrationCheck(printer_, ddd_, name.c_str(), 0), STAMP_OK) << i;
    STAMPINFO s = Stamp(name, u"T");
    ASSERT_EQ(zanStamp_Registration(printer_, ddd_, &s), STAMP_OK) << i;
  }
  EXPECT_EQ(Count(), 32);
  STAMPINFO extra = Stamp(u"One Too Many", u"X");
  EXPECT_EQ(zanStamp_RegistrationCheck(printer_, ddd_, extra.name, 0), STAMP_FULL);
  EXPECT_EQ(zanStamp_Registration(printer_, ddd_, &extra), STAMP_FULL);
  EXPECT_EQ(Count(), 32);

  STAMPINFO again = Stamp(u"Stamp C", u"NEW TEXT");
  EXPECT_EQ(zanStamp_RegistrationCheck(printer_, ddd_, u"stamp c", 0), STAMP_INUSE) << "names compare without case";
  EXPECT_EQ(zanStamp_Registration(printer_, ddd_, &again), STAMP_OK);
  EXPECT_EQ(Count(), 32);
  STAMPINFO got = {};
  ASSERT_EQ(zanStamp_GetStampInfo(printer_, ddd_, u"Stamp C", &got, FALSE), STAMP_OK);
  EXPECT_EQ(std::u16string(got.text), u"NEW TEXT");
}

TEST_F(StampTest, DefaultsAreProtected) {
  STAMPINFO draft = Stamp(u"Draft", u"MINE");
  EXPECT_EQ(zanStamp_Registration(printer_, ddd_, &draft), STAMP_DEFAULT);
  EXPECT_EQ(zanStamp_RegistrationCheck(printer_, ddd_, u"Draft", 1), STAMP_DEFAULT_NAME);
  EXPECT_EQ(zanStamp_RegistrationCheck(printer_, ddd_, u"Draft", 0), STAMP_INUSE);
  EXPECT_EQ(zanStamp_EliminationCheck(printer_, ddd_, u"Draft"), STAMP_DEFAULT);
  EXPECT_EQ(zanStamp_Elimination(printer_, ddd_, u"Draft"), STAMP_DEFAULT);
  EXPECT_EQ(Count(), 6);
  EXPECT_TRUE(zanStamp_IsDefaultStamp(u"Final"));
  EXPECT_FALSE(zanStamp_IsDefaultStamp(u"final"));
  EXPECT_FALSE(zanStamp_IsDefaultStamp(nullptr));

  STAMPINFO mine = Stamp(u"Mine", u"M");
  ASSERT_EQ(zanStamp_Registration(printer_, ddd_, &mine), STAMP_OK);
  EXPECT_EQ(zanStamp_EliminationCheck(printer_, ddd_, u"Mine"), STAMP_OK);
  EXPECT_EQ(zanStamp_Elimination(printer_, ddd_, u"Mine"), STAMP_OK);
  EXPECT_EQ(zanStamp_Elimination(printer_, ddd_, u"Mine"), STAMP_NONE);
  EXPECT_EQ(zanStamp_EliminationCheck(printer_, ddd_, u"Mine"), STAMP_NONE);
  EXPECT_EQ(zanStamp_Elimination(printer_, ddd_, nullptr), STAMP_NONE);
}

TEST_F(StampTest, ReadingAndComparingRecords) {
  STAMPINFO mine = Stamp(u"Mine", u"M");
  ASSERT_EQ(zanStamp_Registration(printer_, ddd_, &mine), STAMP_OK);
  STAMPINFO got = {};
  EXPECT_EQ(zanStamp_GetStampInfo(printer_, ddd_, u"Mine", &got, FALSE), STAMP_OK);
  EXPECT_EQ(std::memcmp(&got, &mine, sizeof(mine)), 0);
  EXPECT_EQ(zanStamp_GetStampInfo(printer_, ddd_, u"mine", &got, FALSE), STAMP_NONE) << "case counts";
  EXPECT_EQ(zanStamp_GetStampInfo(printer_, ddd_, u"Mine", &got, TRUE), STAMP_OK);
  EXPECT_EQ(std::u16string(got.name), u"Undefined") << "not a default: the record of no stamp";
  EXPECT_EQ(zanStamp_GetStampInfo(printer_, ddd_, u"Urgent", &got, TRUE), STAMP_OK);
  EXPECT_EQ(std::u16string(got.text), u"URGENT");
  EXPECT_EQ(zanStamp_GetStampInfo(printer_, ddd_, nullptr, &got, FALSE), STAMP_OK);
  EXPECT_EQ(std::u16string(got.text), u"Undefined");

  struct Case {
    const char* what;
    void (*change)(STAMPINFO*);
    WORD result;
  };
  const Case cases[] = {
      {"same", [](STAMPINFO*) {}, STAMP_OK},
      {"quality is not compared", [](STAMPINFO* s) { s->font.lfQuality = 5; }, STAMP_OK},
      {"face name case", [](STAMPINFO* s) { s->font.lfFaceName[0] = u'd'; }, STAMP_OK},
      {"text", [](STAMPINFO* s) { s->text[0] = u'N'; }, STAMP_DIFFERENT},
      {"colour", [](STAMPINFO* s) { s->color = 1; }, STAMP_DIFFERENT},
      {"escapement", [](STAMPINFO* s) { s->font.lfEscapement = 900; }, STAMP_DIFFERENT},
      {"pitch", [](STAMPINFO* s) { s->font.lfPitchAndFamily = 1; }, STAMP_DIFFERENT},
      {"face", [](STAMPINFO* s) { s->font.lfFaceName[1] = u'X'; }, STAMP_DIFFERENT},
      {"no such stamp", [](STAMPINFO* s) { s->name[0] = u'Q'; }, STAMP_NOSTORED},
  };
  for (const Case& c : cases) {
    STAMPINFO copy = mine;
    c.change(&copy);
    EXPECT_EQ(zanStamp_AdjustmentCheck(printer_, ddd_, &copy), c.result) << c.what;
  }
  EXPECT_EQ(zanStamp_AdjustmentCheck(printer_, ddd_, nullptr), STAMP_NONE);
}

TEST_F(StampTest, DamagedValuesAreSkippedAndNamesTerminated) {
  ASSERT_EQ(Count(), 6);
  std::vector<BYTE> odd(831, 0x41), big(900, 0x41);
  PutRaw(u"Short", REG_BINARY, odd.data(), static_cast<DWORD>(odd.size()));
  PutRaw(u"Long", REG_BINARY, big.data(), static_cast<DWORD>(big.size()));
  PutRaw(u"Text", REG_SZ, u"Text", 10);
  EXPECT_EQ(Count(), 6);
  EXPECT_EQ(List(), kDefaults);

  // A record whose name fills all 33 characters.
  STAMPINFO full = Stamp(u"", u"F");
  for (int i = 0; i < STAMP_NAME_CHARS; ++i) full.name[i] = u'N';
  PutRaw(u"Full", REG_BINARY, &full, sizeof(full));
  auto names = List();
  ASSERT_EQ(names.size(), 7u);
  EXPECT_EQ(names.back(), std::u16string(32, u'N'));

  // Every operation still works.
  STAMPINFO mine = Stamp(u"Mine", u"M");
  EXPECT_EQ(zanStamp_Registration(printer_, ddd_, &mine), STAMP_OK);
  EXPECT_EQ(zanStamp_Elimination(printer_, ddd_, u"Mine"), STAMP_OK);
}

TEST_F(StampTest, DefaultHeaderFont) {
  LOGFONTW font;
  std::memset(&font, 0xCC, sizeof(font));
  LPWSTR face = SetDefaultHeaderLogFont(&font);
  EXPECT_EQ(face, font.lfFaceName);
  EXPECT_EQ(std::u16string(font.lfFaceName), u"DejaVu Sans");
  EXPECT_EQ(font.lfHeight, -13);
  EXPECT_EQ(font.lfWeight, 400);
  EXPECT_EQ(font.lfEscapement, 0);
  EXPECT_EQ(font.lfFaceName[31], 0);
  EXPECT_EQ(SetDefaultHeaderLogFont(nullptr), nullptr);
}

}  // namespace
}  // namespace kestrel::test::ui
