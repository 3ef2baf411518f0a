// Every DDM id of the layout tables, in table order, for the benchmarks that
// run over all settings.
#pragma once

#include <vector>

#include "kestrel/core/ddm_layout.h"

inline std::vector<WORD> EveryDdmId() {
  std::vector<WORD> ids;
  const DDM_GROUP* groups = ddm_GroupTable();
  for (int g = 0; g < DDM_GROUP_COUNT; ++g)
    for (WORD i = 0; i < groups[g].layoutCount; ++i) ids.push_back(groups[g].layout[i].id);
  return ids;
}
