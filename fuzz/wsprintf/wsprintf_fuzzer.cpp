// Runs arbitrary format strings (format texts come from resource strings)
// through the wide and narrow formatters. Every argument is the address of
// a text that reads as a terminated string both as wide and as narrow
// characters, so that any directive finds an argument it can use; formats
// with more directives than arguments are skipped.
// Input: byte 0 chooses the output size, the rest is the format (as UTF-16
// for the wide form, as bytes for the narrow one).
#include <kplatform/kernel32_string.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

const char16_t kText[] = u"ab\u00E9";  // narrow view: "ab" then stops at the NUL byte

}  // namespace

#define KP_ARGS16 kText, kText, kText, kText, kText, kText, kText, kText, kText, kText, kText, kText, kText, kText, kText, kText

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  int count = data[0];
  size_t percents = 0;
  for (size_t i = 1; i < size; ++i) percents += data[i] == '%';
  if (percents > 16) return 0;

  std::vector<char16_t> format((size - 1) / 2 + 1, 0);
  std::memcpy(format.data(), data + 1, ((size - 1) / 2) * sizeof(char16_t));
  std::vector<WCHAR> out(static_cast<size_t>(count) + 1, u'#');
  int n = wnsprintfW(out.data(), count, format.data(), KP_ARGS16);
  Check(out[static_cast<size_t>(count)] == u'#');
  if (count > 0) Check(n >= 0 && n < count && out[static_cast<size_t>(n)] == 0);

  std::vector<WCHAR> big(1025, u'#');
  n = wsprintfW(big.data(), format.data(), KP_ARGS16);
  Check(n >= 0 && n < 1024 && big[1024] == u'#' && big[static_cast<size_t>(n)] == 0);

  std::vector<char> narrowFormat(data + 1, data + size);
  narrowFormat.push_back('\0');
  std::vector<char> narrow(1025, '#');
  n = wsprintfA(narrow.data(), narrowFormat.data(), KP_ARGS16);
  Check(n >= 0 && n < 1024 && narrow[1024] == '#' && narrow[static_cast<size_t>(n)] == '\0');
  return 0;
}
