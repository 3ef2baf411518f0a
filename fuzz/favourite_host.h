// Model A's queue taken into use for the favourites fuzz targets (the tests'
// model-A set-up, tests/common): the default devmode and printer data, the
// constraint sweep registered, the favourites list made as the selector
// makes it. Message boxes answer their default button. Any step that fails
// ends the run: a target without them would test nothing.
#pragma once

#include <cstdlib>
#include <vector>

#include "fuzz_input.h"
#include "kestrel/core/cdm_defaults.h"
#include "kestrel/ui/favorite.h"
#include "kestrel/ui/sweep_adapter.h"
#include "kplatform/kernel32_file.h"
#include "model_a_queue.h"
#include "model_root.h"

namespace kestrel::fuzz {

struct FavouriteHost {
  test::FreshRoot root{"kestrel-fuzz"};
  test::ModelAQueue queue;
  std::vector<BYTE> dm = std::vector<BYTE>(NRV_DEVMODE_SIZE_FULL, 0);
  std::vector<BYTE> pd = std::vector<BYTE>(NRV_PRINTERDATA_SIZE, 0);
  FAV_LIST list;

  FavouriteHost() {
    if (!root.ok() || !test::InstallModelAQueue().empty() || !queue.Open().empty() ||
        cdm_SetDefaultDevmode(queue.ddd, dm.data(), pd.data(), test::kModelAPrinter) != 1)
      std::abort();
    kui_RegisterSweep();
    if (!Fav_LoadList(queue.printer, queue.ddd, dm.data(), pd.data(), &list)) std::abort();
    CreateDirectoryW(u"C:\\Fuzz", nullptr);
  }

  // The stored index list, 0-ended.
  std::vector<WORD> Index() {
    std::vector<WORD> index(FAV_NUMBER_MAX + 1, 0);
    LoadCurrentUserUserInfo(queue.printer, queue.ddd, index.data(), static_cast<WORD>(index.size()));
    return index;
  }
};

inline FavouriteHost& Host() {
  static FavouriteHost host;
  return host;
}

}  // namespace kestrel::fuzz
