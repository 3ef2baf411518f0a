// Shared set-up of the favourites tests: model A's queue in use with the
// default devmode and printer data, the constraint sweep registered, the
// favourites list made as the selector makes it, and helpers over the
// per-user store.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kestrel/core/cdm_defaults.h"
#include "kestrel/ui/docevent.h"
#include "kestrel/ui/favorite.h"
#include "kestrel/ui/prnid.h"
#include "kestrel/ui/sweep_adapter.h"
#include "kestrel/ui/usersetting.h"
#include "kplatform/kernel32_codepage.h"
#include "kplatform/user32_messagebox.h"
#include "kplatform/wide_text.h"
#include "ui_fixture.h"

namespace kestrel::test::ui {

class FavoriteTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(cdm_SetDefaultDevmode(ddd_, dm_.data(), pd_.data(), kPrinter), 1);
    kui_RegisterSweep();
    ASSERT_TRUE(Fav_LoadList(printer_, ddd_, dm_.data(), pd_.data(), &list_));
  }
  void TearDown() override {
    cdm_SetSweepOps(nullptr);
    KpSetACP(1252);
    UiTest::TearDown();
  }

  // The stored index list.
  std::vector<WORD> Index() {
    std::vector<WORD> index(FAV_NUMBER_MAX + 1, 0);
    EXPECT_TRUE(LoadCurrentUserUserInfo(printer_, ddd_, index.data(), static_cast<WORD>(index.size())));
    std::vector<WORD> out;
    for (WORD n : index) {
      if (!n) break;
      out.push_back(n);
    }
    return out;
  }
  void StoreIndexBytes(const std::vector<BYTE>& bytes) {
    ASSERT_TRUE(SaveCurrentUserData(printer_, ddd_, bytes.data(), static_cast<DWORD>(bytes.size()), REG_BINARY,
                                    FAV_SUBKEY, FAV_VALUE_INDEX));
  }
  void StoreDword(LPCWSTR value, DWORD v) {
    ASSERT_TRUE(SaveCurrentUserData(printer_, ddd_, &v, 4, REG_DWORD, FAV_SUBKEY, value));
  }
  std::u16string StoredName(WORD number) {
    WCHAR name[FAV_NAME_UNITS + 1] = {};
    if (!LoadCurrentUserUserSel(printer_, ddd_, number, nullptr, name, nullptr, nullptr)) return u"<none>";
    return name;
  }
  std::vector<std::u16string> NamesOf(const FAV_LIST& list) {
    std::vector<std::u16string> out;
    for (const auto& e : list.entries) out.emplace_back(e.name);
    return out;
  }
  void SetText(WORD id, const std::u16string& text) {
    ASSERT_EQ(ddm_SetValue(id, dm_.data(), pd_.data(), DDM_TYPE_STRING, static_cast<DWORD>((text.size() + 1) * 2),
                           text.c_str()),
              0)
        << id;
  }
  // A number of a stored favourite's devmode.
  static LONG Value(std::vector<BYTE>& devmode, WORD id) {
    LONG v = -999;
    EXPECT_TRUE(ddm_GetNumber(id, devmode.data(), nullptr, &v)) << id;
    return v;
  }

  FAV_LIST list_;
};

}  // namespace kestrel::test::ui
