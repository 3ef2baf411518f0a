// Outside text the common library reads: message formats from the resource
// module (positional formatting), numbers typed by users and read from
// configuration files, ICC profile headers, and code-page text.
// Input: byte 0 chooses the reader, byte 1 a capacity, the rest is the text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kestrel/core/ordered_sprintf.h"
#include "kestrel/core/papdat.h"
#include "kestrel/core/strconv.h"
#include "kestrel/core/zanlib.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

const char16_t kText[] = u"ab\u00E9";

std::vector<char16_t> Wide(const uint8_t* data, size_t size) {
  std::vector<char16_t> w(size / 2 + 1, 0);
  for (size_t i = 0; i + 1 < size; i += 2) w[i / 2] = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  return w;
}

size_t Length(const char16_t* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

// Every escape becomes one kind, so that each argument is read as what it is.
void Format(std::vector<char16_t> format, int capacity, bool strings) {
  for (size_t i = 0; i + 1 < format.size(); ++i) {
    if (format[i] != u'%') continue;
    char16_t& k = format[i + 1] >= u'1' && format[i + 1] <= u'9' && i + 2 < format.size() ? format[i + 2]
                                                                                          : format[i + 1];
    if (strings && (k == u'd' || k == u'D')) k = static_cast<char16_t>(k == u'd' ? u's' : u'S');
    if (!strings && (k == u's' || k == u'S')) k = static_cast<char16_t>(k == u's' ? u'd' : u'D');
  }
  size_t room = 12 * Length(format.data()) + 16;
  if (static_cast<size_t>(capacity) > room) room = static_cast<size_t>(capacity);
  std::vector<char16_t> out(room, u'#');
  int n = strings ? OrderedSprintf(out.data(), capacity, format.data(), kText, kText, kText, kText, kText, kText,
                                   kText, kText, kText, kText)
                  : OrderedSprintf(out.data(), capacity, format.data(), -2147483647 - 1, 1, 22, -333, 4444, 5, 6, 7,
                                   8, 9);
  Check(n >= 0 && static_cast<size_t>(n) == Length(out.data()));
  Check(capacity == 0 || n < capacity);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  int selector = data[0] % 4;
  int capacity = data[1];
  data += 2;
  size -= 2;
  switch (selector) {
    case 0: {
      std::vector<char16_t> format = Wide(data, size);
      Format(format, capacity, true);
      Format(format, capacity, false);
      break;
    }
    case 1: {
      std::vector<char16_t> text = Wide(data, size);
      DWORD value = 0;
      zanLib_StringToDWORD(text.data(), &value);
      zanLib_atoi(text.data());
      break;
    }
    case 2: {
      LONG r = cil_Check_ICC_Header(data, static_cast<DWORD>(size));
      Check(r <= 0 && r >= ICC_WRONGPCS);
      break;
    }
    default: {
      std::vector<char> text(data, data + size);
      text.push_back(0);
      std::vector<char16_t> wide(static_cast<size_t>(capacity) + 1, u'#');
      int n = CopyStr2WideChar(932, wide.data(), text.data(), capacity);
      Check(capacity == 0 || (n >= 0 && n < capacity && wide[static_cast<size_t>(n)] == 0));
      wide[static_cast<size_t>(capacity)] = 0;  // capacity 0 only counted
      std::vector<char> narrow(static_cast<size_t>(capacity) + 1, '#');
      copyWideCharStr2MultiByteStr(932, wide.data(), narrow.data(), capacity);
      break;
    }
  }
  return 0;
}
