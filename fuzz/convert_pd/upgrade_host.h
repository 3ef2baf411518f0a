// A queue of model K350 in a fresh root for the upgrade fuzz targets, on the
// tests' model-A set-up (tests/common): the model pair, the driver's string
// library as "kestrelui.dll", the value access module, a printer and an open
// description handle.
#pragma once

#include "model_a_queue.h"
#include "model_root.h"

struct UpgradeHost {
  kestrel::test::FreshRoot root{"kestrel-fuzz"};
  kestrel::test::ModelAQueue queue;
  HCDDD ddd = nullptr;
  UpgradeHost() {
    if (!root.ok() || !kestrel::test::InstallModelAQueue().empty()) return;
    if (queue.Open().empty()) ddd = queue.ddd;
  }
  ~UpgradeHost() { queue.Close(); }
};
