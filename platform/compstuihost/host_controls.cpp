// The common property-sheet host's state in libkplatform: the user's answer
// for the next sheets and the record of callback calls (kplatform/compstui.h).
// The host library itself is platform/compstui/compstui.cpp, built apart.
#include <mutex>
#include <vector>

#include "kplatform/compstui.h"
#include "kplatform/root.h"

namespace {

struct State {
  std::mutex lock;
  LRESULT userResult = CPSUI_OK;
  std::vector<KP_COMPSTUI_CALL> calls;
  DWORD failAdd = 0;  // counts down to the add that fails
};

void OnRootChanged();

State& S() {
  static State* s = new State;  // outlives static destructors
  static std::once_flag once;
  std::call_once(once, [] { KpOnRootChanged(OnRootChanged); });
  return *s;
}

void OnRootChanged() {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  s.userResult = CPSUI_OK;
  s.calls.clear();
  s.failAdd = 0;
}

}  // namespace

KP_API void KpCompstuiSetUserResult(LRESULT result) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  s.userResult = result;
}

KP_API DWORD KpCompstuiCalls(KP_COMPSTUI_CALL* calls, DWORD capacity) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  for (DWORD i = 0; calls && i < capacity && i < s.calls.size(); ++i) calls[i] = s.calls[i];
  return static_cast<DWORD>(s.calls.size());
}

KP_API void KpCompstuiReset(void) { OnRootChanged(); }

KP_API LRESULT KpCompstuiUserResult(void) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  return s.userResult;
}

KP_API void KpCompstuiRecord(WORD reason, LONG answer) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  s.calls.push_back(KP_COMPSTUI_CALL{reason, answer});
}

KP_API void KpCompstuiFailAdd(DWORD nth) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  s.failAdd = nth;
}

KP_API BOOL KpCompstuiTakeFailAdd(void) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  if (s.failAdd == 0) return FALSE;
  return --s.failAdd == 0 ? TRUE : FALSE;
}
