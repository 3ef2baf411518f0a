// The trace log in kernel mode: kestrel.cfg is mapped whole and read as
// plain text; every line goes to the kernel debugger through EngDebugPrint.
// There is no log file.
#include <cstdarg>
#include <cstring>

#include "../log/logout_sys.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/engine.h"

namespace {

constexpr DWORD kPathChars = 260;
constexpr DWORD kAnsiBytes = 1027;
constexpr DWORD kValueChars = 32;

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsEnd(char c) { return c == 0 || c == '\r' || c == '\n'; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// The first place of `key` (upper case) in text, letter case ignored.
const char* Find(const char* text, const char* key) {
  for (; *text; ++text) {
    DWORD i = 0;
    while (key[i] && Upper(text[i]) == key[i]) ++i;
    if (!key[i]) return text;
  }
  return nullptr;
}

// The text after `key` up to the line end, as UTF-16 (at most kValueChars - 1
// characters; a longer value is refused).
bool ValueAfter(const char* at, WCHAR out[kValueChars]) {
  DWORD n = 0;
  while (!IsEnd(at[n])) {
    if (n + 1 >= kValueChars) return false;
    out[n] = static_cast<unsigned char>(at[n]);
    ++n;
  }
  out[n] = 0;
  return true;
}

void DebugPrint(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  EngDebugPrint(const_cast<LPSTR>(""), const_cast<LPSTR>(format), ap);
  va_end(ap);
}

}  // namespace

// The configuration file kestrel.cfg of the driver directory as a
// NUL-terminated copy of its bytes (kcore_Free), or null.
char* local_MAPFILEforCfgFile(void) {
  WCHAR dir[MAX_PATH] = {};
  if (!zanlib_GetDriverDirectory(dir, sizeof(dir))) return nullptr;
  WCHAR file[kPathChars] = {};
  DWORD n = 0;
  while (dir[n]) {
    file[n] = dir[n];
    ++n;
  }
  if (n && file[n - 1] != u'\\') file[n++] = u'\\';
  for (const char16_t* p = LOGOUT_CONFIG_FILE; *p; ++p) {
    if (n + 1 >= kPathChars) return nullptr;
    file[n++] = *p;
  }
  file[n] = 0;
  HANDLE module = nullptr;
  PVOID view = nullptr;
  ULONG size = 0;
  if (!MAPFILE(file, &module, &view, &size)) return nullptr;
  auto* copy = static_cast<char*>(kcore_Alloc(static_cast<SIZE_T>(size) + 1));
  if (copy) std::memcpy(copy, view, size);
  EngFreeModule(module);
  return copy;
}

void logoutSys_ReadSwitches(LOGOUT_SWITCHES* out) {
  *out = LOGOUT_SWITCHES{};
  char* text = local_MAPFILEforCfgFile();
  if (!text) return;
  const char* at = Find(text, "LOG=0X");
  DWORD flag = 0;
  if (at) {
    at += 6;
    DWORD digits = 0;
    while (!IsEnd(at[digits]) && IsHex(at[digits]) && digits < 9) ++digits;
    if (digits == 8 && IsEnd(at[8])) {
      for (DWORD i = 0; i < 8; ++i) {
        char c = at[i];
        DWORD d = c <= '9' ? static_cast<DWORD>(c - '0') : static_cast<DWORD>((c | 0x20) - 'a' + 10);
        flag = flag * 16 + d;
      }
    }
  }
  out->flag = flag;
  if (flag) {
    const char* p = text;
    for (DWORD seen = 0; seen < LOGOUT_MAX_IDS; ++seen) {
      p = Find(p, "LOGOUT.DDMID=");
      if (!p) break;
      p += 13;
      WCHAR value[kValueChars];
      DWORD id = 0;
      if (ValueAfter(p, value) && logout_ParseValue(value, &id)) logout_AddTargetId(out, id);
    }
  }
  kcore_Free(text);
}

BOOL logoutSys_Open(WORD) { return 1; }
BOOL logoutSys_Close(void) { return 1; }

// A line of more than 513 characters is dropped (0). The line and its LF
// take at most 1027 bytes in the ANSI code page (513 double-byte characters
// and the LF); one byte more holds the NUL the debug print needs. The line
// is printed as the argument of "%s", never as the format itself, so a "%"
// in it stays text.
BOOL logoutSys_WriteLine(LPCWSTR line, DWORD length, DWORD, WORD) {
  if (length > LOGOUT_MAX_LINE || (length && !line)) return 0;
  char bytes[kAnsiBytes + 1];
  INT n = 0;
  if (length) {
    USHORT oem = 0, ansi = 0;
    EngGetCurrentCodePage(&oem, &ansi);
    n = EngWideCharToMultiByte(ansi, const_cast<LPWSTR>(line), static_cast<INT>(length * sizeof(WCHAR)), bytes,
                               static_cast<INT>(kAnsiBytes - 1));
    if (n <= 0) return 0;
  }
  bytes[n++] = '\n';
  bytes[n] = 0;
  DebugPrint("%s", bytes);
  return 1;
}
