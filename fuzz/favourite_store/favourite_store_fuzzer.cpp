// Arbitrary stored favourites values: the first byte picks the value (the
// index list, "SelPosition", "DriverVersion", or one of favourite 1-4's
// devmode, name, comment and flag), the second its registry type, the rest
// is the value. The store reads it without reading past it: an index list
// holds distinct numbers from 1 to the maximum, names and comments are
// terminated within their limits, and the selector's list selects one of
// its entries. The value is put back afterwards.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "favourite_host.h"
#include "kestrel/ui/prnid.h"
#include "kplatform/advapi32_registry.h"
#include "kplatform/wide_text.h"

#include <cstdio>

// A broken property, with its line for the one who replays the input.
#define Check(ok)                                             \
  do {                                                        \
    if (!(ok)) {                                              \
      std::fprintf(stderr, "favourite_store: line %d\n", __LINE__); \
      kestrel::fuzz::Check(false);                           \
    }                                                         \
  } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  auto& h = kestrel::fuzz::Host();
  static const char16_t* kValues[] = {FAV_VALUE_DEVMODE, FAV_VALUE_NAME, FAV_VALUE_COMMENT, FAV_VALUE_FLAG};
  static const DWORD kTypes[] = {REG_BINARY, REG_SZ, REG_DWORD, REG_NONE, REG_MULTI_SZ, REG_EXPAND_SZ};
  const BYTE pick = data[0] % 19;
  const DWORD type = kTypes[data[1] % 6];
  WCHAR key[32] = {};
  LPCWSTR value = nullptr;
  WORD number = 0;
  if (pick < 3) {
    wsprintfW(key, u"%s", FAV_SUBKEY);
    value = pick == 0 ? FAV_VALUE_INDEX : pick == 1 ? FAV_VALUE_SELPOSITION : FAV_VALUE_DRIVERVERSION;
  } else {
    number = static_cast<WORD>((pick - 3) / 4 + 1);
    wsprintfW(key, FAV_SEL_FORMAT, static_cast<int>(number));
    value = kValues[(pick - 3) % 4];
  }
  HKEY k = nullptr;
  Check(OpenCurrentUser(h.queue.printer, h.queue.ddd, key, &k));
  // The value as it was, put back at the end.
  DWORD oldType = 0, oldSize = 0;
  bool had = RegQueryValueExW(k, value, nullptr, &oldType, nullptr, &oldSize) == ERROR_SUCCESS;
  std::vector<BYTE> old(oldSize + 1);
  if (had) Check(RegQueryValueExW(k, value, nullptr, &oldType, old.data(), &oldSize) == ERROR_SUCCESS);
  Check(RegSetValueExW(k, value, 0, type, data + 2, static_cast<DWORD>(size - 2)) == ERROR_SUCCESS);

  const WORD max = h.list.maximum;
  std::vector<WORD> index(FAV_NUMBER_MAX + 1, 0xFFFF);
  if (LoadCurrentUserUserInfo(h.queue.printer, h.queue.ddd, index.data(), static_cast<WORD>(index.size()))) {
    auto end = std::find(index.begin(), index.end(), WORD{0});
    Check(end != index.end() && end - index.begin() <= max);
    for (auto i = index.begin(); i != end; ++i)
      Check(*i >= 1 && *i <= max && std::find(index.begin(), i, *i) == i);
  }
  if (number) {
    std::vector<BYTE> dm(NRV_DEVMODE_SIZE_FULL, 0);
    WCHAR name[FAV_NAME_UNITS + 2], comment[FAV_COMMENT_UNITS + 1];
    std::fill(std::begin(name), std::end(name), u'x');
    std::fill(std::begin(comment), std::end(comment), u'x');
    DWORD flag = 0;
    if (LoadCurrentUserUserSel(h.queue.printer, h.queue.ddd, number, dm.data(), name, comment, &flag)) {
      Check(kp_WideLength(name) <= FAV_NAME_CHARS && name[FAV_NAME_UNITS + 1] == u'x');
      Check(kp_WideLength(comment) < FAV_COMMENT_UNITS && comment[FAV_COMMENT_UNITS] == u'x');
    }
  }
  std::vector<BYTE> dm = h.dm;
  FAV_LIST list;
  if (Fav_LoadList(h.queue.printer, h.queue.ddd, dm.data(), h.pd.data(), &list)) {
    Check(!list.entries.empty() && list.selected < list.entries.size() && list.entries.size() <= max);
    for (size_t i = 0; i < list.entries.size(); ++i)
      for (size_t j = 0; j < i; ++j) Check(list.entries[i].number != list.entries[j].number);
  }

  if (had)
    Check(RegSetValueExW(k, value, 0, oldType, old.data(), oldSize) == ERROR_SUCCESS);
  else
    RegDeleteValueW(k, value);
  RegCloseKey(k);
  return 0;
}
