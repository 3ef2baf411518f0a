// A queue's files in the platform root, as the spooler keeps them in its
// driver directory: a model's description data pair and the driver's
// modules. One place for kprint's road, the demos and anything else that
// sets a queue up (the tests keep their own set-up in tests/common, with
// their string-table host in place of kestrelui).
#pragma once

#include <string>

namespace kestrel::queue {

// "<model>.DDD" and "<model>RES.DDD" from `modelsDir` (the build's models).
// Answers "" when both were installed, else the file that was not.
std::string InstallModelFiles(const std::string& modelsDir, const std::string& model);

// The driver's modules: kestrelui (the configuration file, as
// "kestrelui.dll"), kestreljd, the resource module kestrelrs.zrs and, with
// `wholeRoad`, kestrelkm (the renderer), kestrelum (the user-mode driver,
// as "kestrelum.dll") and kmonant (the language monitor). Answers "" when
// all were installed, else the first that was not.
std::string InstallDriverModules(bool wholeRoad);

}  // namespace kestrel::queue
