// The registry store's cost per call: setting and querying one value, and
// enumerating a key of 100 values (each call a transaction on the store).
#include <benchmark/benchmark.h>
#include <kplatform/kwindows.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "model_root.h"

namespace {

// A temporary root for the whole program, removed at exit.
struct BenchRoot {
  kestrel::test::FreshRoot fresh{"kestrel-bench"};
};

HKEY openKey(benchmark::State& state, const char16_t* name) {
  static BenchRoot root;
  HKEY key = nullptr;
  if (!root.fresh.ok() || RegCreateKeyW(HKEY_LOCAL_MACHINE, name, &key) != ERROR_SUCCESS)
    state.SkipWithError("no registry store");
  return key;
}

void BM_SetValue(benchmark::State& state) {
  HKEY key = openKey(state, u"Software\\Bench\\Set");
  DWORD value = 0;
  for (auto _ : state) {
    ++value;
    if (RegSetValueExW(key, u"Counter", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4) != ERROR_SUCCESS)
      state.SkipWithError("set failed");
  }
  RegCloseKey(key);
}
BENCHMARK(BM_SetValue);

void BM_QueryValue(benchmark::State& state) {
  HKEY key = openKey(state, u"Software\\Bench\\Query");
  BYTE data[64] = {1};
  RegSetValueExW(key, u"Data", 0, REG_BINARY, data, sizeof data);
  for (auto _ : state) {
    DWORD size = sizeof data;
    if (RegQueryValueExW(key, u"data", nullptr, nullptr, data, &size) != ERROR_SUCCESS)
      state.SkipWithError("query failed");
    benchmark::DoNotOptimize(data);
  }
  RegCloseKey(key);
}
BENCHMARK(BM_QueryValue);

void BM_EnumerateHundredValues(benchmark::State& state) {
  HKEY key = openKey(state, u"Software\\Bench\\Enum");
  for (DWORD i = 0; i < 100; ++i) {
    std::u16string name = u"Value" + std::u16string(1, static_cast<char16_t>(u'0' + i / 10)) +
                          std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
    RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&i), 4);
  }
  for (auto _ : state) {
    DWORD count = 0;
    for (DWORD i = 0;; ++i) {
      WCHAR name[64];
      DWORD nameSize = 64, value = 0, size = 4;
      if (RegEnumValueW(key, i, name, &nameSize, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS)
        break;
      ++count;
    }
    if (count != 100) state.SkipWithError("enumeration incomplete");
  }
  RegCloseKey(key);
}
BENCHMARK(BM_EnumerateHundredValues);

}  // namespace
