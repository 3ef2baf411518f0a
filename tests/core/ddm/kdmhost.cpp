// A library that carries only its string table (kdmhost.krc).
extern "C" __attribute__((visibility("default"))) int kdmhost_Present(void) { return 1; }
