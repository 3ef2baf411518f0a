// File dialogs, ShellExecuteW and WinHelpW: recorded and scripted
// (kplatform/user32_shell.h). They sit beside the scripted dialogs: three
// calls do not make a comdlg32 or shell32 folder.
#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kplatform/kernel32_file.h"
#include "kplatform/kernel32_string.h"
#include "kplatform/user32_shell.h"

namespace {

struct State {
  std::mutex lock;
  std::deque<std::optional<std::u16string>> fileAnswers;
  std::deque<INT_PTR> shellAnswers;
  std::vector<KP_SHELL_CALL> calls;
  DWORD lastError = 0;  // CommDlgExtendedError
};

State& S() {
  static State* s = new State;
  return *s;
}

void Put(WCHAR (&field)[260], const char16_t* text, size_t count) {
  size_t n = 0;
  for (; text && n < count && n < 259; ++n) field[n] = text[n];
  field[n] = 0;
}

void Put(WCHAR (&field)[260], LPCWSTR text) {
  Put(field, text, text && !IS_INTRESOURCE(text) ? std::char_traits<char16_t>::length(text) : 0);
}

// The filter's pairs with their NULs turned into '|' (it ends with two NULs).
void PutFilter(WCHAR (&field)[260], LPCWSTR filter) {
  std::u16string joined;
  for (const char16_t* p = filter; p && *p; p += std::char_traits<char16_t>::length(p) + 1) {
    if (!joined.empty()) joined.push_back(u'|');
    joined += p;
  }
  Put(field, joined.data(), joined.size());
}

BOOL FileDialog(LPOPENFILENAMEW ofn, DWORD kind) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  s.lastError = 0;
  if (!ofn || ofn->lStructSize < sizeof(OPENFILENAMEW) || !ofn->lpstrFile) {
    s.lastError = 0xFFFF;  // CDERR_DIALOGFAILURE: the record is not one
    return FALSE;
  }
  KP_SHELL_CALL call{};
  call.kind = kind;
  Put(call.text[0], ofn->lpstrTitle);
  Put(call.text[1], ofn->lpstrInitialDir);
  Put(call.text[2], ofn->nMaxFile ? ofn->lpstrFile : nullptr);
  Put(call.text[3], ofn->lpstrDefExt);
  PutFilter(call.text[4], ofn->lpstrFilter);
  call.number = ofn->Flags;
  std::optional<std::u16string> answer;
  if (!s.fileAnswers.empty()) {
    answer = std::move(s.fileAnswers.front());
    s.fileAnswers.pop_front();
  }
  BOOL chosen = FALSE;
  if (answer) {
    if (answer->size() + 1 > ofn->nMaxFile) {
      s.lastError = FNERR_BUFFERTOOSMALL;
      if (ofn->nMaxFile >= 2) {
        // As Windows: the first two bytes hold the size needed.
        const auto needed = static_cast<WORD>(std::min<size_t>(answer->size() + 1, 0xFFFF));
        std::memcpy(ofn->lpstrFile, &needed, sizeof needed);
      }
    } else {
      answer->copy(reinterpret_cast<char16_t*>(ofn->lpstrFile), answer->size());
      ofn->lpstrFile[answer->size()] = 0;
      const size_t slash = answer->find_last_of(u"\\/");
      const size_t name = slash == std::u16string::npos ? 0 : slash + 1;
      const size_t dot = answer->find_last_of(u'.');
      ofn->nFileOffset = static_cast<WORD>(name);
      ofn->nFileExtension =
          static_cast<WORD>(dot == std::u16string::npos || dot < name ? answer->size() : dot + 1);
      if (ofn->lpstrFileTitle && ofn->nMaxFileTitle) {
        const std::u16string title = answer->substr(name);
        const size_t n = std::min<size_t>(title.size(), ofn->nMaxFileTitle - 1);
        title.copy(reinterpret_cast<char16_t*>(ofn->lpstrFileTitle), n);
        ofn->lpstrFileTitle[n] = 0;
      }
      chosen = TRUE;
    }
  }
  call.answered = chosen;
  s.calls.push_back(call);
  return chosen;
}

}  // namespace

KP_API BOOL WINAPI GetOpenFileNameW(LPOPENFILENAMEW ofn) { return FileDialog(ofn, 1); }
KP_API BOOL WINAPI GetSaveFileNameW(LPOPENFILENAMEW ofn) { return FileDialog(ofn, 2); }

KP_API DWORD WINAPI CommDlgExtendedError(void) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  return s.lastError;
}

KP_API HINSTANCE WINAPI ShellExecuteW(HWND, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory,
                                      int show) {
  std::optional<INT_PTR> queued;
  {
    State& s = S();
    std::lock_guard<std::mutex> g(s.lock);
    if (!s.shellAnswers.empty()) {
      queued = s.shellAnswers.front();
      s.shellAnswers.pop_front();
    }
  }
  // Without a queued answer: 42 when the file is there, SE_ERR_FNF when not.
  INT_PTR answer = queued ? *queued
                          : (file && GetFileAttributesW(file) != INVALID_FILE_ATTRIBUTES ? 42 : SE_ERR_FNF);
  KP_SHELL_CALL call{};
  call.kind = 3;
  Put(call.text[0], verb);
  Put(call.text[1], file);
  Put(call.text[2], parameters);
  Put(call.text[3], directory);
  call.number = static_cast<DWORD>(show);
  call.data = static_cast<ULONG_PTR>(answer);
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  s.calls.push_back(call);
  return reinterpret_cast<HINSTANCE>(answer);
}

KP_API BOOL WINAPI WinHelpW(HWND, LPCWSTR file, UINT command, ULONG_PTR data) {
  KP_SHELL_CALL call{};
  call.kind = 4;
  Put(call.text[0], file);
  call.number = command;
  call.data = data;
  call.answered = TRUE;
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  s.calls.push_back(call);
  return TRUE;
}

KP_API void KpQueueFileDialogAnswer(LPCWSTR path) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  s.fileAnswers.push_back(path ? std::optional<std::u16string>(path) : std::nullopt);
}

KP_API void KpQueueShellExecuteAnswer(INT_PTR answer) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  s.shellAnswers.push_back(answer);
}

KP_API DWORD KpShellCalls(KP_SHELL_CALL* calls, DWORD capacity) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  for (DWORD i = 0; calls && i < capacity && i < s.calls.size(); ++i) calls[i] = s.calls[i];
  return static_cast<DWORD>(s.calls.size());
}

KP_API void KpClearShellCalls(void) {
  State& s = S();
  std::lock_guard<std::mutex> g(s.lock);
  s.calls.clear();
  s.fileAnswers.clear();
  s.shellAnswers.clear();
  s.lastError = 0;
}
