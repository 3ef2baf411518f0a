// Scripted message boxes and captured debugger output.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <string>

#include "kernel32/codepage.h"
#include "kplatform/user32_messagebox.h"
#include "kplatform/user32_window.h"

namespace {

struct Box {
  HWND owner;
  std::u16string text;
  std::u16string caption;
  UINT type;
  int answer;
};

struct Boxes {
  std::mutex lock;
  std::deque<int> answers;
  std::deque<Box> record;  // a deque keeps each element (and its strings) in place
};

Boxes& boxes() {
  static Boxes* b = new Boxes;  // outlives every static destructor
  return *b;
}

constexpr size_t kDebugCapacity = 1u << 20;

struct Debug {
  std::mutex lock;
  std::u16string captured;
};

Debug& debug() {
  static Debug* d = new Debug;
  return *d;
}

// The buttons of each box type, left to right.
struct Buttons {
  int count;
  int ids[3];
};
constexpr Buttons kButtons[] = {
    {1, {IDOK, 0, 0}},                         // MB_OK
    {2, {IDOK, IDCANCEL, 0}},                  // MB_OKCANCEL
    {3, {IDABORT, IDRETRY, IDIGNORE}},         // MB_ABORTRETRYIGNORE
    {3, {IDYES, IDNO, IDCANCEL}},              // MB_YESNOCANCEL
    {2, {IDYES, IDNO, 0}},                     // MB_YESNO
    {2, {IDRETRY, IDCANCEL, 0}},               // MB_RETRYCANCEL
    {3, {IDCANCEL, IDTRYAGAIN, IDCONTINUE}},   // MB_CANCELTRYCONTINUE
};

const char* AnswerName(int answer) {
  switch (answer) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "Abort";
    case IDRETRY: return "Retry";
    case IDIGNORE: return "Ignore";
    case IDYES: return "Yes";
    case IDNO: return "No";
    case IDTRYAGAIN: return "Try Again";
    case IDCONTINUE: return "Continue";
    default: return "?";
  }
}

bool DebugToStderr() {
  const char* value = std::getenv("KESTREL_DEBUG_OUTPUT");
  return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

void Capture(std::u16string_view text) {
  if (DebugToStderr()) {
    std::string utf8 = kp::Utf16ToUtf8(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
  }
  Debug& d = debug();
  std::lock_guard<std::mutex> guard(d.lock);
  if (text.size() >= kDebugCapacity) {
    d.captured.assign(text.substr(text.size() - kDebugCapacity));
    return;
  }
  size_t total = d.captured.size() + text.size();
  if (total > kDebugCapacity) d.captured.erase(0, total - kDebugCapacity);
  d.captured.append(text);
}

}  // namespace

namespace {
int ShowBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
}  // namespace

KP_API int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  if ((type & MB_TYPEMASK) >= sizeof kButtons / sizeof kButtons[0]) {
    SetLastError(ERROR_INVALID_MSGBOX_STYLE);
    return 0;
  }
  // A box over a window takes the focus while it is shown (the focused
  // control gets WM_KILLFOCUS) and gives it back when it closes.
  HWND focused = owner && IsWindow(owner) ? GetFocus() : nullptr;
  if (focused) SetFocus(nullptr);
  const int answer = ShowBox(owner, text, caption, type);
  const DWORD error = GetLastError();
  if (focused && IsWindow(focused) && !GetFocus()) SetFocus(focused);
  SetLastError(error);
  return answer;
}

namespace {
int ShowBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  UINT buttonType = type & MB_TYPEMASK;
  try {
    Box box{owner, text != nullptr ? std::u16string(text) : std::u16string(),
            caption != nullptr ? std::u16string(caption) : std::u16string(u"Error"), type, 0};
    Boxes& b = boxes();
    std::lock_guard<std::mutex> guard(b.lock);
    bool scripted = !b.answers.empty();
    if (scripted) {
      box.answer = b.answers.front();
      b.answers.pop_front();
    } else {
      const Buttons& buttons = kButtons[buttonType];
      int index = static_cast<int>((type & MB_DEFMASK) >> 8);
      box.answer = buttons.ids[index < buttons.count ? index : 0];
      std::string line = "[message box] " + kp::Utf16ToUtf8(box.caption) + ": " + kp::Utf16ToUtf8(box.text) +
                         " -> " + AnswerName(box.answer) + "\n";
      std::fwrite(line.data(), 1, line.size(), stderr);
    }
    b.record.push_back(std::move(box));
    int answer = b.record.back().answer;
    if (answer == 0) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return answer;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
}
}  // namespace

KP_API void WINAPI OutputDebugStringW(LPCWSTR text) {
  if (text == nullptr) return;
  try {
    Capture(std::u16string_view(text));
  } catch (const std::bad_alloc&) {
  }
}

KP_API void WINAPI OutputDebugStringA(LPCSTR text) {
  if (text == nullptr) return;
  try {
    Capture(kp::AnsiToUtf16(text));
  } catch (const std::bad_alloc&) {
  }
}

KP_API void KpQueueMessageBoxAnswer(int answer) {
  Boxes& b = boxes();
  std::lock_guard<std::mutex> guard(b.lock);
  b.answers.push_back(answer);
}

KP_API DWORD KpQueuedMessageBoxAnswers(void) {
  Boxes& b = boxes();
  std::lock_guard<std::mutex> guard(b.lock);
  return static_cast<DWORD>(b.answers.size());
}

KP_API DWORD KpMessageBoxCount(void) {
  Boxes& b = boxes();
  std::lock_guard<std::mutex> guard(b.lock);
  return static_cast<DWORD>(b.record.size());
}

KP_API BOOL KpGetMessageBox(DWORD index, KpMessageBoxRecord* record) {
  if (record == nullptr) return FALSE;
  Boxes& b = boxes();
  std::lock_guard<std::mutex> guard(b.lock);
  if (index >= b.record.size()) return FALSE;
  const Box& box = b.record[index];
  *record = KpMessageBoxRecord{box.owner, box.text.c_str(), box.caption.c_str(), box.type, box.answer};
  return TRUE;
}

KP_API void KpClearMessageBoxes(void) {
  Boxes& b = boxes();
  std::lock_guard<std::mutex> guard(b.lock);
  b.answers.clear();
  b.record.clear();
}

KP_API DWORD KpGetDebugOutput(LPWSTR buffer, DWORD count) {
  Debug& d = debug();
  std::lock_guard<std::mutex> guard(d.lock);
  if (buffer != nullptr && count > 0) {
    size_t n = d.captured.size() < count - 1 ? d.captured.size() : count - 1;
    std::memcpy(buffer, d.captured.data(), n * sizeof(WCHAR));
    buffer[n] = 0;
  }
  return static_cast<DWORD>(d.captured.size());
}

KP_API void KpClearDebugOutput(void) {
  Debug& d = debug();
  std::lock_guard<std::mutex> guard(d.lock);
  d.captured.clear();
}
