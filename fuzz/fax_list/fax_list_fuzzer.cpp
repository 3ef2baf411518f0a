// A fax address list from any bytes: a list is kept only when it holds its
// own entries, and every recipient's attribute line stays within its
// capacity, keeps its one CR LF at the end, carries no other control byte
// and, when framed, exactly its two double quotes.
#include <cstdint>
#include <cstring>
#include <vector>

#include "../fuzz_input.h"
#include "kestrel/core/faxlist.h"
#include "kestrel/core/nondev.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using kestrel::fuzz::Check;
  if (size < 2 || size > (1u << 20)) return 0;
  const uint8_t mode = data[0];
  std::vector<uint8_t> bytes(data + 1, data + size);
  WORD count = 0xFFFF;
  void* list = CreateFaxAddressInfoFromMem(nullptr, 0, static_cast<DWORD>(bytes.size()), bytes.data(), &count);
  if (!list) {
    Check(count == 0);
    return 0;
  }
  Check(FAXLIST_HEAD_SIZE + static_cast<size_t>(FAXLIST_ENTRY_SIZE) * count <= bytes.size());
  FAX_LINE_SETTINGS s{};
  std::memcpy(s.prefix1, u"0123456", 12);  // six units, no NUL
  s.prefix1Flag = mode & 1;
  for (WORD i = 0; i < count && i < 64; ++i) {
    BYTE entry[FAXLIST_ENTRY_SIZE];
    Check(GetFaxAddressData(list, i, entry));
    const bool framed = mode & 2;
    const int form = (mode & 4) ? FANU_FORM_ENCODED : FANU_FORM_PLAIN;
    const int capacity = 64 + (mode >> 3) * 16;
    std::vector<char> text(static_cast<size_t>(capacity) + 8, '~');
    int length = 7;
    if (!GetFANUString(form, entry, &s, capacity, framed, FALSE, text.data(), &length)) {
      Check(length == 0 || length == -1);
      continue;
    }
    Check(length >= 8 && length <= capacity);
    for (size_t k = static_cast<size_t>(capacity) + 1; k < text.size(); ++k) Check(text[k] == '~');
    int quotes = 0;
    for (int k = 0; k < length - 2; ++k) {
      auto c = static_cast<unsigned char>(text[static_cast<size_t>(k)]);
      Check(c >= 0x20 && c != 0x7F);
      quotes += c == '"';
    }
    Check(text[static_cast<size_t>(length) - 2] == '\r' && text[static_cast<size_t>(length) - 1] == '\n');
    if (framed) Check(quotes == 2);
  }
  BYTE beyond[FAXLIST_ENTRY_SIZE];
  Check(!GetFaxAddressData(list, count, beyond));
  DeleteFaxAddressInfo(list);
  return 0;
}
