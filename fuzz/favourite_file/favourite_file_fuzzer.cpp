// Arbitrary bytes as a favourite file read by the import: either exactly one
// favourite is added (in the list and in the store, under a number no entry
// used, with a terminated name of at most 32 characters) or nothing changes
// (the list, the stored index, the number's store and its margins).
#include <cstdint>
#include <vector>

#include "favourite_host.h"
#include "kestrel/ui/docevent.h"
#include "kplatform/kernel32_file.h"
#include "kplatform/user32_messagebox.h"
#include "kplatform/wide_text.h"

using kestrel::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto& h = kestrel::fuzz::Host();
  const char16_t* path = u"C:\\Fuzz\\in.kfv";
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  Check(file != INVALID_HANDLE_VALUE);
  DWORD written = 0;
  Check(size == 0 || WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr));
  CloseHandle(file);

  // The number the import takes has margins of an earlier file.
  const std::vector<WORD> index = h.Index();
  std::vector<WORD> used(index.begin(), index.end());
  WORD number = CreateFavoriteIndex(used.data(), h.list.maximum);
  const WORD stale[4] = {1, 2, 3, 4};
  Check(PpMgn_SetFavMargin(h.queue.printer, h.queue.ddd, number, 9, stale));

  FAV_LIST list = h.list;
  KpClearMessageBoxes();
  LONG result = FavFile_Import(h.queue.printer, h.queue.ddd, nullptr, h.dm.data(), h.pd.data(), path, &list);
  Check(h.Index() == index);
  WCHAR name[FAV_NAME_UNITS + 1] = {};
  bool stored = LoadCurrentUserUserSel(h.queue.printer, h.queue.ddd, number, nullptr, name, nullptr, nullptr) != FALSE;
  if (result == FAV_OK) {
    Check(list.entries.size() == h.list.entries.size() + 1);
    const FAV_ENTRY& e = list.entries.back();
    Check(e.number == number && stored && e.name[0] != 0 && kp_WideLength(e.name) <= FAV_NAME_CHARS);
    Check(kp_WideEqual(e.name, name));
    Check(DeleteCurrentUserUserSel(h.queue.printer, h.queue.ddd, number));
  } else {
    Check(list.entries.size() == h.list.entries.size() && !stored);
    std::vector<WORD> papers;
    Check(PpMgn_ListFavMargins(h.queue.printer, h.queue.ddd, number, &papers));
    Check(papers == std::vector<WORD>{9} || result == FAV_ERR_CANCELLED);
  }
  return 0;
}
