// The printer double behind WritePrinter and the second job's calls
// (spool_fixture.h): linked into the unit-test programs only, where these
// definitions take the place of the platform's (the program's own symbols
// come first), so that a test sees and steers every call. The end-to-end
// tests (kestrelum_concurrency_test.cpp) run on the platform's spooler.
#include "spool_fixture.h"

// ---- the printer double (the job calls kestrelum writes with) ----------------------------

using kestrel::test::Printer;

extern "C" BOOL WINAPI WritePrinter(HANDLE, LPVOID buffer, DWORD count, LPDWORD written) {
  auto& p = Printer();
  std::unique_lock<std::mutex> guard(p.lock);
  if (p.gateClosed) {
    ++p.waiting;
    p.gate.notify_all();
    p.gate.wait(guard, [&p] { return !p.gateClosed; });
    --p.waiting;
  }
  p.sizes.push_back(count);
  const DWORD call = static_cast<DWORD>(p.sizes.size());
  if (written != nullptr) *written = 0;
  if (call == p.failAt) {
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  DWORD n = count;
  if (call == p.shortAt) n = count > p.shortBy ? count - p.shortBy : 0;
  p.bytes.append(static_cast<const char*>(buffer), n);
  if (written != nullptr) *written = n;
  return TRUE;
}

extern "C" DWORD WINAPI StartDocPrinterW(HANDLE, DWORD, LPBYTE) {
  auto& p = Printer();
  std::lock_guard<std::mutex> guard(p.lock);
  p.events.push_back("StartDocPrinterW");
  return p.failStartDoc ? 0 : 7;
}
extern "C" BOOL WINAPI StartPagePrinter(HANDLE) {
  auto& p = Printer();
  std::lock_guard<std::mutex> guard(p.lock);
  p.events.push_back("StartPagePrinter");
  return !p.failStartPage;
}
extern "C" BOOL WINAPI EndPagePrinter(HANDLE) {
  auto& p = Printer();
  std::lock_guard<std::mutex> guard(p.lock);
  p.events.push_back("EndPagePrinter");
  return TRUE;
}
extern "C" BOOL WINAPI EndDocPrinter(HANDLE) {
  auto& p = Printer();
  std::lock_guard<std::mutex> guard(p.lock);
  p.events.push_back("EndDocPrinter");
  return TRUE;
}
