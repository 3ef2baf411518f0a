#include <kplatform/kwindows.h>

#include <string>
#include <thread>
#include <vector>

#include "temp_root.h"

namespace {

// Each write reads, changes and replaces the whole file; threads writing to
// one file at once must not lose each other's keys.
TEST(ProfileThreads, ConcurrentWritesToOneFileLoseNoKey) {
  kestrel::test::TempRoot root;
  constexpr int kThreads = 4;
  constexpr int kKeys = 20;
  const char16_t* file = u"C:\\Windows\\threads.ini";
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([=] {
      std::u16string section = u"Section" + std::u16string(1, static_cast<char16_t>(u'0' + t % 2));
      for (int i = 0; i < kKeys; ++i) {
        std::u16string key = u"k" + std::u16string(1, static_cast<char16_t>(u'0' + t)) +
                             std::u16string(1, static_cast<char16_t>(u'A' + i));
        EXPECT_TRUE(WritePrivateProfileStringW(section.c_str(), key.c_str(), u"1", file));
        EXPECT_EQ(1u, GetPrivateProfileIntW(section.c_str(), key.c_str(), 0, file));
      }
    });
  }
  for (std::thread& t : threads) t.join();
  for (const char16_t* section : {u"Section0", u"Section1"}) {
    std::vector<WCHAR> buffer(4096);
    DWORD n = GetPrivateProfileSectionW(section, buffer.data(), 4096, file);
    size_t entries = 0;
    for (DWORD i = 0; i < n; ++i) entries += buffer[i] == 0;
    EXPECT_EQ(static_cast<size_t>(kKeys * kThreads / 2), entries) << "keys lost";
  }
}

}  // namespace
