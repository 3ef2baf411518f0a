#include <kplatform/kwindows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "temp_root.h"

namespace {

// Threads that write, read, enumerate and open and close handles on one key
// at the same time: every call succeeds and no write is lost.
TEST(RegistryThreads, ConcurrentWritersReadersAndEnumeratorsLoseNothing) {
  kestrel::test::TempRoot root;
  constexpr int kThreads = 4;
  constexpr int kValues = 40;
  HKEY shared = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyW(HKEY_LOCAL_MACHINE, u"Software\\Threads", &shared));
  std::atomic<int> failures{0};
  std::atomic<bool> writing{true};

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kValues; ++i) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"software\\threads", 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
          ++failures;
          continue;
        }
        std::u16string name = u"t" + std::u16string(1, static_cast<char16_t>(u'0' + t)) + u"v" +
                              std::u16string(1, static_cast<char16_t>(u'0' + i / 10)) +
                              std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
        DWORD value = static_cast<DWORD>(t * 1000 + i);
        if (RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4) != ERROR_SUCCESS)
          ++failures;
        DWORD back = 0, size = 4;
        if (RegQueryValueExW(shared, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&back), &size) !=
                ERROR_SUCCESS ||
            back != value)
          ++failures;
        if (RegCloseKey(key) != ERROR_SUCCESS) ++failures;
      }
    });
  }
  std::thread enumerator([&] {
    while (writing) {
      for (DWORD i = 0;; ++i) {
        WCHAR name[32];
        DWORD size = 32;
        LONG r = RegEnumValueW(shared, i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) {
          ++failures;
          break;
        }
      }
    }
  });
  for (std::thread& t : threads) t.join();
  writing = false;
  enumerator.join();

  EXPECT_EQ(0, failures.load());
  DWORD values = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(shared, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                                            nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(static_cast<DWORD>(kThreads * kValues), values);
  RegCloseKey(shared);
}

}  // namespace
