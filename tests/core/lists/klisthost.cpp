// A library that carries only the driver libraries' own string table; the
// list tests load it as "kestrelui.dll".
extern "C" __attribute__((visibility("default"))) int klisthost_Present(void) { return 1; }
