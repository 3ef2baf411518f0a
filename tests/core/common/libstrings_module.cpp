// A library that carries nothing but the driver libraries' own string table
// (its resources are linked in by kestrel_add_resources).
#include <kplatform/wintypes.h>

extern "C" __attribute__((visibility("default"))) int KcoreLibStringsPresent(void) { return 1; }
