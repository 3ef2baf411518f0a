// Decodes arbitrary bytes in every code page and encodes the result back,
// checking the size protocol on the way: the measured size is the size
// converted, one unit less is refused, and nothing is written past the end.
// Input: byte 0 chooses the code page, byte 1 the flags, the rest is text.
#include <kplatform/kernel32_codepage.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

const UINT kCodePages[] = {CP_ACP, CP_OEMCP, 1252, 932, 437, CP_UTF8};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  UINT cp = kCodePages[data[0] % (sizeof kCodePages / sizeof kCodePages[0])];
  KpSetACP((data[0] & 0x80) != 0 ? 932 : 1252);
  DWORD mbFlags = (data[1] & 1) != 0 ? MB_ERR_INVALID_CHARS : 0;
  const char* text = reinterpret_cast<const char*>(data + 2);
  int length = static_cast<int>(size - 2);

  int needed = MultiByteToWideChar(cp, mbFlags, text, length, nullptr, 0);
  if (needed == 0) {
    Check(mbFlags != 0 && GetLastError() == ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  std::vector<WCHAR> wide(static_cast<size_t>(needed) + 1, u'#');
  Check(MultiByteToWideChar(cp, mbFlags, text, length, wide.data(), needed) == needed);
  Check(wide[static_cast<size_t>(needed)] == u'#');
  if (needed > 1) {
    std::vector<WCHAR> small(static_cast<size_t>(needed) - 1, u'#');
    Check(MultiByteToWideChar(cp, mbFlags, text, length, small.data(), needed - 1) == 0);
    Check(GetLastError() == ERROR_INSUFFICIENT_BUFFER);
  }

  BOOL used = FALSE;
  BOOL* usedOut = cp == CP_UTF8 ? nullptr : &used;
  DWORD wcFlags = cp == CP_UTF8 && (data[1] & 2) != 0 ? WC_ERR_INVALID_CHARS : 0;
  int bytes = WideCharToMultiByte(cp, wcFlags, wide.data(), needed, nullptr, 0, nullptr, usedOut);
  if (bytes == 0) return 0;
  std::vector<char> back(static_cast<size_t>(bytes) + 1, '#');
  Check(WideCharToMultiByte(cp, wcFlags, wide.data(), needed, back.data(), bytes, nullptr, usedOut) == bytes);
  Check(back[static_cast<size_t>(bytes)] == '#');
  // Every byte of the single-byte code pages has a character and back.
  UINT resolved = cp == CP_ACP ? GetACP() : (cp == CP_OEMCP ? GetOEMCP() : cp);
  if (resolved == 1252 || resolved == 437) {
    Check(bytes == length && std::memcmp(back.data(), text, static_cast<size_t>(length)) == 0);
  }

  // The same bytes read as UTF-16 (lone surrogates and all) into each page.
  if (length >= 2) {
    std::vector<WCHAR> raw(static_cast<size_t>(length) / 2);
    std::memcpy(raw.data(), text, raw.size() * sizeof(WCHAR));
    int n = WideCharToMultiByte(cp, 0, raw.data(), static_cast<int>(raw.size()), nullptr, 0, nullptr, nullptr);
    if (n > 0) {
      std::vector<char> out(static_cast<size_t>(n));
      Check(WideCharToMultiByte(cp, 0, raw.data(), static_cast<int>(raw.size()), out.data(), n, nullptr, nullptr) == n);
    }
  }
  KpSetACP(1252);
  return 0;
}
