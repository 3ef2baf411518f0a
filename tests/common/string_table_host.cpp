// A library that carries only the driver libraries' own string table
// (kestrel_lib.krc); the tests load it as "kestrelui.dll".
extern "C" __attribute__((visibility("default"))) int kuihost_Present(void) { return 1; }
