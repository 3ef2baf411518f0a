// Several threads give a printer without an id its per-user key at once:
// every one of them ends with the one id that is stored.
#include <gtest/gtest.h>

#include <barrier>
#include <string>
#include <thread>
#include <vector>

#include "kestrel/core/cddd_open.h"
#include "kestrel/ui/prnid.h"
#include "ui_fixture.h"

namespace kestrel::test::ui {
namespace {

TEST_F(UiTest, ConcurrentFirstUseAgreesOnOneId) {
  // A fast clock, so that ids made by different threads differ.
  ASSERT_TRUE(KpSetClockScale(1000000));
  constexpr int kThreads = 8;
  std::vector<HANDLE> handles;
  for (int i = 0; i < kThreads; ++i) handles.push_back(OpenPrinter(kPrinter));
  std::vector<std::u16string> names(kThreads);
  std::vector<int> opened(kThreads, 0);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      HCDDD ddd = cddd_Open(handles[i]);  // a description is read by one thread at a time
      HKEY key = nullptr;
      opened[i] = OpenCurrentUser(handles[i], ddd, nullptr, &key);
      if (key) RegCloseKey(key);
      WCHAR name[PRNID_KEY_CHARS] = {};
      if (local_GetCurrentUserKeyName(handles[i], ddd, nullptr, name, PRNID_KEY_CHARS)) names[i] = name;
      if (ddd) cddd_Close(ddd);
    });
  }
  for (auto& t : threads) t.join();
  KpSetClockScale(1);

  BYTE id[PRNID_SIZE];
  ASSERT_TRUE(getPRNID(printer_, id));
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_TRUE(opened[i]) << i;
    EXPECT_EQ(names[i], names[0]) << i;
  }
  // Exactly one key of this printer exists below the model's user path.
  HKEY parent = nullptr;
  ASSERT_EQ(RegOpenKeyW(HKEY_CURRENT_USER, u"Software\\Halcyra\\Kestrel", &parent), ERROR_SUCCESS);
  DWORD subKeys = 0;
  HKEY model = nullptr;
  ASSERT_EQ(RegOpenKeyW(parent, u"Scriva K350", &model), ERROR_SUCCESS);
  ASSERT_EQ(RegQueryInfoKeyW(model, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 1u);
  RegCloseKey(model);
  RegCloseKey(parent);
}

// Threads store ids of their own at once and read back what is stored:
// every one reads the one id that stays, so no key is ever named by an id
// that is overwritten afterwards.
TEST_F(UiTest, ConcurrentSetKeepsTheFirstId) {
  constexpr int kThreads = 8;
  for (int round = 0; round < 20; ++round) {
    DeletePrinterDataW(printer_, const_cast<LPWSTR>(u"PRNID"));
    std::barrier start(kThreads);
    std::vector<std::string> read(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([&, i] {
        BYTE own[PRNID_SIZE] = {};
        own[0] = static_cast<BYTE>(i + 1);
        start.arrive_and_wait();
        BYTE got[PRNID_SIZE] = {};
        if (setPRNID(printer_, own) && getPRNID(printer_, got)) read[i] = std::string(got, got + PRNID_SIZE);
      });
    }
    for (auto& t : threads) t.join();
    BYTE stored[PRNID_SIZE];
    ASSERT_TRUE(getPRNID(printer_, stored));
    for (int i = 0; i < kThreads; ++i)
      ASSERT_EQ(read[i], std::string(stored, stored + PRNID_SIZE)) << "round " << round << " thread " << i;
  }
}

}  // namespace
}  // namespace kestrel::test::ui
