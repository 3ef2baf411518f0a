// The fax address list and the fax job attribute line (kestrel/core/faxlist.h).
#include "kestrel/core/faxlist.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/nondev.h"
#include "kestrel/core/qsp.h"
#include "kplatform/byte_order.h"
#include "kplatform/kernel32_codepage.h"

static_assert(FAXLIST_HEAD_SIZE == NONDEV_FAX_HEAD_SIZE && FAXLIST_ENTRY_SIZE == NONDEV_FAX_ENTRY_SIZE);
static_assert(FAXENTRY_PCODE + FAXENTRY_CODE_BYTES == FAXLIST_ENTRY_SIZE);
static_assert(FAXENTRY_NUMBER + FAXENTRY_NUMBER_BYTES == FAXENTRY_PREFIX_SELECTOR);
static_assert(FAXENTRY_PASSWORD + FAXENTRY_PASSWORD_BYTES == FAXENTRY_RELAY_STATION);
static_assert(FAXENTRY_RELAY_NUMBERS + FAXENTRY_RELAY_NUMBERS_BYTES == FAXENTRY_FCODE);

namespace {

WORD CountOf(const void* list) { return kp_LoadU16(static_cast<const BYTE*>(list) + NONDEV_FAX_COUNT_OFFSET); }

const BYTE* EntryAt(const void* list, WORD index) {
  return static_cast<const BYTE*>(list) + FAXLIST_HEAD_SIZE + static_cast<size_t>(FAXLIST_ENTRY_SIZE) * index;
}

// A fixed UTF-16 field of `bytes` bytes, ending at its NUL or its end, with
// control characters made blanks and, when framed, '"' made '\''.
std::u16string Field(const BYTE* entry, DWORD offset, DWORD bytes, bool framed) {
  std::u16string s;
  for (DWORD i = 0; i + 1 < bytes; i += 2) {
    char16_t c = kp_LoadU16(entry + offset + i);
    if (c == 0) break;
    if (c < 0x20 || c == 0x7F) c = u' ';
    if (framed && c == u'"') c = u'\'';
    s.push_back(c);
  }
  return s;
}

std::u16string Ascii(const char* text) { return std::u16string(text, text + std::strlen(text)); }

// The 8-bit text of a wide string in the ANSI code page; false when it
// cannot be converted.
bool ToAnsi(const std::u16string& w, std::string* out) {
  out->clear();
  if (w.empty()) return true;
  int n = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  out->resize(static_cast<size_t>(n));
  return WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), out->data(), n, nullptr, nullptr) == n;
}

// The code text of one line, built in a bounded buffer.
struct CodeBuffer {
  static constexpr size_t kCapacity = 512;
  char text[kCapacity] = {};
  size_t length = 0;
  bool overflow = false;
  void Put(const std::string& s) {
    if (length + s.size() > kCapacity) {
      overflow = true;
      return;
    }
    std::memcpy(text + length, s.data(), s.size());
    length += s.size();
  }
};

constexpr int kFailed = -1;

// Section 0 replaces the code with the text and counts its length; other
// sections append "{" text "}" and count its length + 2. kFailed when the
// text cannot be converted.
int SetFANUCode(int section, const std::u16string& text, CodeBuffer* code) {
  std::string bytes;
  if (!ToAnsi(text, &bytes)) return kFailed;
  if (section == 0) {
    code->length = 0;
    code->Put(bytes);
    return static_cast<int>(bytes.size());
  }
  code->Put("{" + bytes + "}");
  return static_cast<int>(bytes.size()) + 2;
}

std::u16string Format(const char* format, int a, int b) {
  char buf[32];
  std::snprintf(buf, sizeof buf, format, a, b);
  return Ascii(buf);
}

// The plain length, in ANSI bytes, of a value that is stored encoded (or
// plain); kFailed when it cannot be decoded or converted.
int PlainLength(const std::u16string& value, bool encodedInput) {
  std::u16string plain = value;
  if (encodedInput && !value.empty()) {
    LPWSTR decoded = nullptr;
    if (!zanlib_EncodeOrDecodeData(2, value.c_str(), &decoded)) return kFailed;
    plain = decoded;
    kcore_Free(decoded);
  }
  std::string bytes;
  return ToAnsi(plain, &bytes) ? static_cast<int>(bytes.size()) : kFailed;
}

// The text written for a secret in the FAEN form: scrambled and encoded
// from the plain value, or the stored text when it is already encoded.
bool EncodedText(const std::u16string& value, bool encodedInput, std::u16string* out) {
  if (encodedInput || value.empty()) {
    *out = value;
    return true;
  }
  LPWSTR encoded = nullptr;
  if (!zanlib_EncodeOrDecodeData(1, value.c_str(), &encoded)) return false;
  *out = encoded;
  kcore_Free(encoded);
  return true;
}

struct Line {
  const BYTE* entry;
  const FAX_LINE_SETTINGS* settings;
  bool framed;
  bool encodedInput;
  CodeBuffer code;
  WORD lineFlag = 0;
};

int local_ShortNumberCode(Line* l) {
  return SetFANUCode(0, u"'" + Field(l->entry, FAXENTRY_NUMBER, FAXENTRY_NUMBER_BYTES, l->framed) + u"'", &l->code);
}

std::u16string Prefix(const WCHAR* units, bool framed) {
  BYTE raw[12];
  std::memcpy(raw, units, sizeof raw);
  return Field(raw, 0, sizeof raw, framed);
}

int local_FaxNumberCode(Line* l) {
  std::u16string prefix;
  switch (kp_LoadU16(l->entry + FAXENTRY_PREFIX_SELECTOR)) {
    case 2:
      prefix = Prefix(l->settings->prefix1, l->framed);
      l->lineFlag = l->settings->prefix1Flag;
      break;
    case 1:
      prefix = Prefix(l->settings->prefix2, l->framed);
      l->lineFlag = l->settings->prefix2Flag;
      break;
    default:
      l->lineFlag = l->settings->noPrefixFlag;
      break;
  }
  return SetFANUCode(0, prefix + Field(l->entry, FAXENTRY_NUMBER, FAXENTRY_NUMBER_BYTES, l->framed), &l->code);
}

// The relay short numbers as 4-digit pieces; false when a piece is not of
// one or two characters, or the result is longer than 80 characters.
bool GetRelayShortNumberCode(const std::u16string& list, std::u16string* out) {
  out->clear();
  std::string bytes;
  if (!ToAnsi(list, &bytes)) return false;
  if (bytes.empty()) return true;
  size_t start = 0;
  for (;;) {
    size_t comma = bytes.find(',', start);
    std::string piece = bytes.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (piece.size() == 1)
      piece = "000" + piece;
    else if (piece.size() == 2)
      piece = "00" + piece;
    else
      return false;
    *out += Ascii(piece.c_str());
    if (out->size() > FANU_RELAY_LIMIT) return false;
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

int local_ComSetRelayCode(Line* l) {
  std::u16string relay;
  if (!GetRelayShortNumberCode(Field(l->entry, FAXENTRY_RELAY_NUMBERS, FAXENTRY_RELAY_NUMBERS_BYTES, l->framed),
                               &relay))
    return kFailed;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d%04d%d", 1, kp_LoadU16(l->entry + FAXENTRY_RELAY_STATION),
                kp_LoadU16(l->entry + FAXENTRY_RELAY_FLAG) == 1 ? 1 : 0);
  return SetFANUCode(1, Ascii(buf) + relay, &l->code);
}

std::u16string MailboxDigits(const Line* l) { return Format("%d%04d", 4, kp_LoadU16(l->entry + FAXENTRY_MAILBOX)); }

int local_ComfidentialCodeFANU(Line* l) {
  return SetFANUCode(4, MailboxDigits(l) + Field(l->entry, FAXENTRY_PASSWORD, FAXENTRY_PASSWORD_BYTES, l->framed),
                     &l->code);
}

int local_ComfidentialCodeFAEN(Line* l) {
  std::u16string stored = Field(l->entry, FAXENTRY_PASSWORD, FAXENTRY_PASSWORD_BYTES, l->framed);
  std::u16string written;
  int plain = PlainLength(stored, l->encodedInput);
  if (plain == kFailed || !EncodedText(stored, l->encodedInput, &written)) return kFailed;
  std::u16string digits = MailboxDigits(l);
  if (SetFANUCode(4, digits + written, &l->code) == kFailed) return kFailed;
  return static_cast<int>(digits.size()) + plain + 2;
}

int local_LineKindCode(Line* l) { return SetFANUCode(2, Format("%d%d", 2, l->lineFlag == 0 ? 0 : 1), &l->code); }

int local_ComModeCode(Line* l) {
  WORD mode = kp_LoadU16(l->entry + FAXENTRY_COM_MODE);
  if (mode > 2) return kFailed;
  return SetFANUCode(3, Format("%d%d", 3, mode * 2), &l->code);
}

int local_FCode(Line* l) {
  return SetFANUCode(5, u"5" + Field(l->entry, FAXENTRY_FCODE, FAXENTRY_CODE_BYTES, l->framed), &l->code);
}

int local_PCodeFANU(Line* l) {
  return SetFANUCode(6, u"6" + Field(l->entry, FAXENTRY_PCODE, FAXENTRY_CODE_BYTES, l->framed), &l->code);
}

int local_PCodeFAEN(Line* l) {
  std::u16string stored = Field(l->entry, FAXENTRY_PCODE, FAXENTRY_CODE_BYTES, l->framed);
  std::u16string written;
  int plain = PlainLength(stored, l->encodedInput);
  if (plain == kFailed || !EncodedText(stored, l->encodedInput, &written)) return kFailed;
  if (SetFANUCode(6, u"6" + written, &l->code) == kFailed) return kFailed;
  return plain + 3;
}

constexpr char kJobAttr[] = "@PJL SET JOBATTR=";

}  // namespace

void* CreateFaxAddressInfoFromMem(HANDLE printer, DWORD /*reserved*/, DWORD size, const void* block, WORD* count) {
  if (count) *count = 0;
  void* list = nullptr;
  DWORD listSize = 0;
  if (block) {
    if (size == 0) return nullptr;
    list = kcore_Alloc(size);
    if (!list) return nullptr;
    std::memcpy(list, block, size);
    listSize = size;
  } else if (!nonDev_LoadFaxData_v1(printer, &list, &listSize)) {
    return nullptr;
  }
  DWORD need = nonDev_FaxListNeeded(list, listSize);
  if (need == 0 || need > listSize) {
    kcore_Free(list);
    return nullptr;
  }
  if (count) *count = CountOf(list);
  return list;
}

BOOL GetFaxAddressHeaderInfo(const void* list, void* header) {
  if (!list || !header) return FALSE;
  std::memcpy(header, list, FAXLIST_HEAD_SIZE);
  return TRUE;
}

BOOL GetFaxAddressData(const void* list, WORD index, void* entry) {
  if (!list || !entry || index >= CountOf(list)) return FALSE;
  std::memcpy(entry, EntryAt(list, index), FAXLIST_ENTRY_SIZE);
  return TRUE;
}

BOOL GetAddressDataPointer(WORD kind, const void* list, WORD index, const void** pointer) {
  if (!list || !pointer) return FALSE;
  if (kind == 0) {
    *pointer = list;
    return TRUE;
  }
  if (index >= CountOf(list)) return FALSE;
  *pointer = EntryAt(list, index);
  return TRUE;
}

BOOL DeleteFaxAddressInfo(void* list) {
  kcore_Free(list);
  return TRUE;
}

BOOL GetFANUString(int form, const void* entry, const FAX_LINE_SETTINGS* settings, int capacity, BOOL pjlFraming,
                   BOOL encodedInput, char* text, int* length) {
  if (!entry || !settings || !length) return FALSE;
  *length = 0;
  const bool encoded = form == FANU_FORM_ENCODED;
  Line l{static_cast<const BYTE*>(entry), settings, pjlFraming != FALSE, encodedInput != FALSE, {}};
  int mainLength = 0;
  int codeLength = 0;
  auto add = [](int part, int* sum) {
    if (part == kFailed) return false;
    *sum += part;
    return true;
  };
  if (kp_LoadU16(l.entry + FAXENTRY_KIND) == FAXENTRY_KIND_SHORT_NUMBER) {
    if (!add(local_ShortNumberCode(&l), &mainLength)) return FALSE;
  } else {
    WORD option = kp_LoadU16(l.entry + FAXENTRY_SEND_OPTION);
    if (!add(local_FaxNumberCode(&l), &mainLength)) return FALSE;
    if (option == FAXENTRY_SEND_RELAY && !add(local_ComSetRelayCode(&l), &mainLength)) return FALSE;
    if (option == FAXENTRY_SEND_MAILBOX &&
        !add(encoded ? local_ComfidentialCodeFAEN(&l) : local_ComfidentialCodeFANU(&l), &mainLength))
      return FALSE;
    if (!add(local_LineKindCode(&l), &mainLength) || !add(local_ComModeCode(&l), &mainLength)) return FALSE;
    if (kp_LoadU16(l.entry + FAXENTRY_FCODE) != 0 && !add(local_FCode(&l), &codeLength)) return FALSE;
    if (kp_LoadU16(l.entry + FAXENTRY_PCODE) != 0 &&
        !add(encoded ? local_PCodeFAEN(&l) : local_PCodeFANU(&l), &codeLength))
      return FALSE;
  }
  if (mainLength > FANU_MAIN_LIMIT || codeLength > FANU_CODE_LIMIT || l.code.overflow) {
    *length = -1;
    return FALSE;
  }
  if (!text) {
    *length = mainLength;
    return TRUE;
  }
  const int framing = pjlFraming ? static_cast<int>(sizeof kJobAttr - 1) + 2 : 0;
  const int need = 6 + static_cast<int>(l.code.length) + 2 + framing;
  if (capacity < need) return FALSE;
  char* p = text;
  auto put = [&p](const char* s, size_t n) {
    std::memcpy(p, s, n);
    p += n;
  };
  if (pjlFraming) put("@PJL SET JOBATTR=\"", framing - 1);
  put(encoded ? "@FAEN=" : "@FANU=", 6);
  put(l.code.text, l.code.length);
  if (pjlFraming) put("\"", 1);
  put("\r\n", 2);
  if (capacity > need) *p = 0;
  *length = need;
  return TRUE;
}
