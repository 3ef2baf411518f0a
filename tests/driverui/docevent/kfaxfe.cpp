// Test double of the fax front end: a library exporting "StartDocFax", which
// the document events load by name (string 9370 + ".DLL" in the driver
// directory). The test scripts it through KfaxScript (taken from the same
// loaded module): the answer text and result of the next calls, and reads
// back what it was called with.
#include <cstring>
#include <string>

#include "kplatform/kwindows.h"
#include "kplatform/user32_window.h"

namespace {
std::string g_answer;
BOOL g_result = TRUE;
DWORD g_calls = 0;
DWORD g_mode = 0;
HWND g_window = nullptr;
BOOL g_windowEnabled = FALSE;
}  // namespace

extern "C" __attribute__((visibility("default"))) BOOL StartDocFax(HINSTANCE, HWND window, LPSTR answer, DWORD mode) {
  ++g_calls;
  g_mode = mode;
  g_window = window;
  g_windowEnabled = window ? IsWindowEnabled(window) : FALSE;
  if (answer) std::memcpy(answer, g_answer.data(), std::min<size_t>(g_answer.size(), 9600));
  return g_result;
}

struct KfaxState {
  DWORD calls;
  DWORD mode;
  HWND window;
  BOOL windowEnabled;
};

extern "C" __attribute__((visibility("default"))) void KfaxScript(const char* answer, size_t size, BOOL result,
                                                                   KfaxState* state) {
  if (answer) g_answer.assign(answer, size);
  g_result = result;
  if (state) *state = KfaxState{g_calls, g_mode, g_window, g_windowEnabled};
}
