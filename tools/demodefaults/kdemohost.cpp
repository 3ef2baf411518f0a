// A library that carries only its string table (kdemohost.krc).
extern "C" __attribute__((visibility("default"))) int kdemohost_Present(void) { return 1; }
