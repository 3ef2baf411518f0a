// The trace log's shared half: switches, line formatting and the dumps (see
// kestrel/core/logout.h). Where a line goes is the mode-specific half's business
// (logout_sys.h).
#include "kestrel/core/logout.h"

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <mutex>
#include <new>

#include "kestrel/core/ddm_value.h"
#include "kestrel/core/devmode.h"
#include "kestrel/core/zanlib.h"
#include "kplatform/kernel32_string.h"
#include "logout_sys.h"

namespace {

constexpr DWORD kFormatChars = 1024;  // the formatter's bound, terminator included

struct LogState {
  std::mutex lock;  // the switches' reading, the id list, the sink
  std::atomic<bool> read{false};
  std::atomic<DWORD> flag{0};
  std::atomic<WORD> library{LOGOUT_LIB_PRNUI};
  LOGOUT_SWITCHES switches{};
};

LogState& S() {
  // Lives until the process ends, in static storage (no heap block: the
  // kernel-mode build has none but the engine's).
  alignas(LogState) static unsigned char storage[sizeof(LogState)];
  static LogState* state = new (storage) LogState;
  return *state;
}

void ReadLocked(LogState& s) {
  LOGOUT_SWITCHES sw{};
  logoutSys_ReadSwitches(&sw);
  if (sw.flag == 0) sw.count = 0;
  s.switches = sw;
  s.flag.store(sw.flag);
  s.read.store(true);
}

DWORD Flag() {
  LogState& s = S();
  if (!s.read.load()) {
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.read.load()) ReadLocked(s);
  }
  return s.flag.load();
}

bool On(DWORD bits) {
  DWORD f = Flag();
  return (f & LOGOUT_ON) && (f & bits) == bits;
}

DWORD Length(LPCWSTR s) {
  DWORD n = 0;
  if (s)
    while (s[n] && n < kFormatChars) ++n;
  return n;
}

// Writes one finished line (no formatting); 0 for a line of 514 characters
// or more.
BOOL WriteLine(LPCWSTR line) {
  DWORD length = Length(line);
  if (length > LOGOUT_MAX_LINE) return 0;
  LogState& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  return logoutSys_WriteLine(line, length, s.flag.load(), s.library.load());
}

// Formats into buf (kFormatChars); false when the result is too long.
bool FormatV(WCHAR* buf, LPCWSTR format, va_list ap) {
  if (!format) return false;
  int n = wvnsprintfW(buf, static_cast<int>(kFormatChars), format, ap);
  return n >= 0 && static_cast<DWORD>(n) <= LOGOUT_MAX_LINE;
}

bool Format(WCHAR* buf, LPCWSTR format, ...) {
  va_list ap;
  va_start(ap, format);
  bool ok = FormatV(buf, format, ap);
  va_end(ap);
  return ok;
}

BOOL WriteFormatted(LPCWSTR format, ...) {
  WCHAR buf[kFormatChars];
  va_list ap;
  va_start(ap, format);
  bool ok = FormatV(buf, format, ap);
  va_end(ap);
  return ok ? WriteLine(buf) : 0;
}

// ---- The standard DEVMODE ------------------------------------------------------

enum Kind { kText, kDec, kHex };
struct PublicMember {
  const char16_t* name;
  WORD offset;
  BYTE width;  // 2 or 4 bytes (text: characters are 32)
  bool isSigned;
  Kind kind;
};

// DEVMODEW: member names, offsets and widths.
constexpr PublicMember kPublic[] = {
    {u"dmDeviceName", 0, 64, false, kText},   {u"dmSpecVersion", 64, 2, false, kDec},
    {u"dmDriverVersion", 66, 2, false, kDec}, {u"dmSize", 68, 2, false, kDec},
    {u"dmDriverExtra", 70, 2, false, kDec},   {u"dmFields", 72, 4, false, kHex},
    {u"dmOrientation", 76, 2, true, kDec},    {u"dmPaperSize", 78, 2, true, kDec},
    {u"dmPaperLength", 80, 2, true, kDec},    {u"dmPaperWidth", 82, 2, true, kDec},
    {u"dmScale", 84, 2, true, kDec},          {u"dmCopies", 86, 2, true, kDec},
    {u"dmDefaultSource", 88, 2, true, kDec},  {u"dmPrintQuality", 90, 2, true, kDec},
    {u"dmColor", 92, 2, true, kDec},          {u"dmDuplex", 94, 2, true, kDec},
    {u"dmYResolution", 96, 2, true, kDec},    {u"dmTTOption", 98, 2, true, kDec},
    {u"dmCollate", 100, 2, true, kDec},       {u"dmFormName", 102, 64, false, kText},
    {u"dmLogPixels", 166, 2, false, kDec},    {u"dmBitsPerPel", 168, 4, false, kDec},
    {u"dmPelsWidth", 172, 4, false, kDec},    {u"dmPelsHeight", 176, 4, false, kDec},
    {u"dmDisplayFlags", 180, 4, false, kDec}, {u"dmDisplayFrequency", 184, 4, false, kDec},
    {u"dmICMMethod", 188, 4, false, kDec},    {u"dmICMIntent", 192, 4, false, kDec},
    {u"dmMediaType", 196, 4, false, kDec},    {u"dmDitherType", 200, 4, false, kDec},
    {u"dmPanningWidth", 212, 4, false, kDec}, {u"dmPanningHeight", 216, 4, false, kDec},
};
constexpr WORD kPublicHeadBytes = 76;  // dmDeviceName up to dmFields: always printed
constexpr WORD kPublicBytes = 220;

LONG ReadNumber(const BYTE* dm, const PublicMember& m) {
  if (m.width == 2) {
    WORD w;
    std::memcpy(&w, dm + m.offset, 2);
    return m.isSigned ? static_cast<LONG>(static_cast<SHORT>(w)) : static_cast<LONG>(w);
  }
  DWORD d;
  std::memcpy(&d, dm + m.offset, 4);
  return static_cast<LONG>(d);
}

// A text member of 32 characters, terminated even when the member is not.
void ReadText(const BYTE* dm, WORD offset, WCHAR out[33]) {
  std::memcpy(out, dm + offset, 64);
  out[32] = 0;
}

// "name" padded with blanks to 19 characters, then "=".
void PaddedName(const char16_t* name, WCHAR out[24]) {
  DWORD n = 0;
  while (name[n] && n < 22) {
    out[n] = name[n];
    ++n;
  }
  while (n < 19) out[n++] = u' ';
  out[n++] = u'=';
  out[n] = 0;
}

struct FieldName {
  DWORD bit;
  const char16_t* name;
};
// The names as the dump has always spelled them.
constexpr FieldName kFieldNames[] = {
    {DM_ORIENTATION, u"dmOrientation"},
    {DM_PAPERSIZE, u"dmPaperSize"},
    {DM_PAPERLENGTH, u"dmPaperLength"},
    {DM_PAPERWIDTH, u"dmPaperWidth"},
    {DM_SCALE, u"dmScale"},
    {DM_COPIES, u"dmCopies"},
    {DM_DEFAULTSOURCE, u"dmDefaultSource"},
    {DM_PRINTQUALITY, u"dmPrintQuality"},
    {DM_COLOR, u"dmColor"},
    {DM_DUPLEX, u"dmDuplex"},
    {DM_YRESOLUTION, u"dmYResolution"},
    {DM_TTOPTION, u"dmTTOption"},
    {DM_COLLATE, u"dmCollate"},
    {DM_FORMNAME, u"dmFormName"},
    {DM_LOGPIXELS, u"dmLogPixels"},
    {DM_BITSPERPEL, u"dmBitsPerPel"},
    {DM_PELSWIDTH, u"dmPelsWidth"},
    {DM_PELSHEIGHT, u"dmPelsheight"},
    {DM_DISPLAYFLAGS, u"dmDisplayFlags"},
    {DM_DISPLAYFREQUENCY, u"dmDisplayFrequen"},
    {KDM_FIELD_ICMMETHOD, u"dmICMMetHod"},
    {KDM_FIELD_ICMINTENT, u"dmICMintent"},
    {KDM_FIELD_MEDIATYPE, u"dmMediaType"},
    {KDM_FIELD_DITHERTYPE, u"dmDitherType"},
    {KDM_FIELD_PANNINGWIDTH, u"dmPanningWidth"},
    {KDM_FIELD_PANNINGHEIGHT, u"dmPanningHeight"},
};
static_assert(sizeof(kFieldNames) / sizeof(kFieldNames[0]) == 26);

// ---- DDM values --------------------------------------------------------------

constexpr DWORD kFaceNameOffset = 28;  // LOGFONTW.lfFaceName
constexpr DWORD kFaceNameChars = 32;

// A string member by its address: members may stand at odd offsets, so the
// characters are copied byte-wise into an aligned buffer (the access layer
// serves only strings terminated within their member).
void CopyMemberString(ULONG_PTR address, WCHAR* out, DWORD capacity) {
  DWORD n = 0;
  const auto* p = reinterpret_cast<const BYTE*>(address);
  if (p) {
    for (; n + 1 < capacity; ++n) {
      WCHAR c;
      std::memcpy(&c, p + n * sizeof(WCHAR), sizeof(WCHAR));
      if (c == 0) break;
      out[n] = c;
    }
  }
  out[n] = 0;
}

// One DDM value line; id 0 is skipped (1). 0 when the value can't be read.
BOOL OutputDdmValue(WORD id, void* devmode, void* printerData) {
  if (id == 0) return 1;
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR value = 0;
  if (ddm_GetValue(id, devmode, printerData, &type, &size, &value) != 0) return 0;
  switch (type) {
    case DDM_TYPE_FLAG:
      return WriteFormatted(u"[0x%04x] = [%d]", id, static_cast<LONG>(static_cast<DWORD>(value)));
    case DDM_TYPE_SHORT:
      return WriteFormatted(u"[0x%04x] = [%d]", id, static_cast<LONG>(static_cast<SHORT>(value)));
    case DDM_TYPE_WORD:
      return WriteFormatted(u"[0x%04x] = [0x%02x]", id, static_cast<DWORD>(static_cast<WORD>(value)));
    case DDM_TYPE_LONG:
      return WriteFormatted(u"[0x%04x] = [%ld]", id, static_cast<LONG>(static_cast<DWORD>(value)));
    case DDM_TYPE_DWORD:
      return WriteFormatted(u"[0x%04x] = [0x%04x]", id, static_cast<DWORD>(value));
    case DDM_TYPE_STRING: {
      WCHAR text[kFormatChars];
      CopyMemberString(value, text, kFormatChars);
      return WriteFormatted(u"[0x%04x] = [%s]", id, text);
    }
    case DDM_TYPE_BYTE:
      return WriteFormatted(u"[0x%04x] = [0x%x]", id, static_cast<DWORD>(static_cast<BYTE>(value)));
    case DDM_TYPE_LFLONG:
      return WriteFormatted(u"[0x%04x] = [%d]", id, static_cast<LONG>(static_cast<DWORD>(value)));
    default:
      return WriteLine(u"???");
  }
}

}  // namespace

// ---- Shared helpers of both halves -------------------------------------------------

void logout_AddTargetId(LOGOUT_SWITCHES* sw, DWORD value) {
  if (!sw || value == 0 || value > 0xFFFF || sw->count >= LOGOUT_MAX_IDS) return;
  for (WORD i = 0; i < sw->count; ++i)
    if (sw->ids[i] == value) return;
  sw->ids[sw->count++] = static_cast<WORD>(value);
}

BOOL logout_ParseValue(LPCWSTR text, DWORD* value) {
  if (!text || !value) return FALSE;
  DWORD n = Length(text);
  bool hex = n >= 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X');
  if (n == 0 || (hex ? n - 2 : n) > 8) return FALSE;
  return zanLib_StringToDWORD(text, value);
}

// ---- Interface ---------------------------------------------------------------------

void Logout_SetLibrary(WORD library) { S().library.store(library == LOGOUT_LIB_UM ? LOGOUT_LIB_UM : LOGOUT_LIB_PRNUI); }

BOOL Logout_SetLogoutStatus(void) {
  LogState& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  ReadLocked(s);
  return 1;
}

DWORD Logout_GetDebugFlag(void) { return Flag(); }

WORD Logout_GetTargetIds(WORD* ids, WORD capacity) {
  Flag();
  LogState& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  WORD n = s.switches.count < capacity ? s.switches.count : capacity;
  if (ids)
    for (WORD i = 0; i < n; ++i) ids[i] = s.switches.ids[i];
  return ids ? n : s.switches.count;
}

BOOL Logout_OpenFile(void) {
  DWORD f = Flag();
  if (!(f & LOGOUT_ON) || (f & LOGOUT_DEBUGGER)) return 1;
  LogState& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  return logoutSys_Open(s.library.load());
}

BOOL Logout_CloseFile(void) {
  LogState& s = S();
  std::lock_guard<std::mutex> guard(s.lock);
  return logoutSys_Close();
}

BOOL Logout_OutputString(LPCWSTR format, ...) {
  if (!On(LOGOUT_ON)) return 1;
  WCHAR buf[kFormatChars];
  va_list ap;
  va_start(ap, format);
  bool ok = FormatV(buf, format, ap);
  va_end(ap);
  return ok ? WriteLine(buf) : 0;
}

BOOL Logout_InDDIFunctionTraceLog(LPCWSTR name) {
  if (!On(LOGOUT_ON | LOGOUT_DDI)) return 1;
  static constexpr char16_t kPrefix[] = u"IN <<";
  constexpr DWORD prefix = sizeof(kPrefix) / sizeof(kPrefix[0]) - 1;
  DWORD n = Length(name);
  if (!name || n > LOGOUT_MAX_LINE - prefix) return 0;
  WCHAR buf[kFormatChars];
  std::memcpy(buf, kPrefix, prefix * sizeof(WCHAR));
  std::memcpy(buf + prefix, name, n * sizeof(WCHAR));
  buf[prefix + n] = 0;
  return WriteLine(buf);
}

BOOL Logout_OutDDIFunctionTraceLog(LPCWSTR format, ...) {
  if (!On(LOGOUT_ON | LOGOUT_DDI)) return 1;
  WCHAR text[kFormatChars];
  va_list ap;
  va_start(ap, format);
  bool ok = FormatV(text, format, ap);
  va_end(ap);
  if (!ok) return 0;
  WCHAR line[kFormatChars];
  if (!Format(line, u"OUT>>%s\n", text)) return 0;
  return WriteLine(line);
}

BOOL Logout_OutputPublicDevmode(LPCWSTR title, const void* devmode) {
  if (!On(LOGOUT_ON | LOGOUT_DEVMODE)) return 1;
  if (!devmode) {
    WriteLine(u"lpdevmode = NULL");
    return 0;
  }
  const auto* dm = static_cast<const BYTE*>(devmode);
  WORD dmSize;
  std::memcpy(&dmSize, dm + 68, 2);
  BOOL ok = WriteLine(title ? title : u"\n<PublicDevmode>");
  for (const PublicMember& m : kPublic) {
    DWORD end = static_cast<DWORD>(m.offset) + m.width;
    if (end > kPublicHeadBytes && end > dmSize) continue;  // beyond this devmode
    WCHAR name[24];
    PaddedName(m.name, name);
    BOOL r;
    if (m.kind == kText) {
      WCHAR text[33];
      ReadText(dm, m.offset, text);
      r = WriteFormatted(u"%s%s", name, text);
    } else {
      r = WriteFormatted(m.kind == kHex ? u"%s%X" : u"%s%d", name, ReadNumber(dm, m));
    }
    ok = ok && r;
  }
  return ok;
}
static_assert(kPublicBytes == 220);

BOOL Logout_OutputPrivateDevmode(LPCWSTR title, void* devmode, WORD ddmId) {
  if (!On(LOGOUT_ON | LOGOUT_DEVMODE)) return 1;
  if (!devmode) {
    WriteLine(u"lpdevmode = NULL");
    return 0;
  }
  BOOL ok = WriteLine(title ? title : u"\n<PrivateDevmode>");
  WORD type = 0;
  DWORD size = 0;
  ULONG_PTR value = 0;
  if (ddm_GetValue(ddmId, devmode, nullptr, &type, &size, &value) != 0) return 0;
  BOOL r;
  if (type == DDM_TYPE_STRING) {
    WCHAR text[kFormatChars];
    CopyMemberString(value, text, kFormatChars);
    r = WriteFormatted(u"FunctionID:%d(0x%X)       = %s", ddmId, ddmId, text);
  } else if (type == DDM_TYPE_FONT) {
    WCHAR face[kFaceNameChars + 1] = {};
    if (value) std::memcpy(face, reinterpret_cast<const BYTE*>(value) + kFaceNameOffset, kFaceNameChars * 2);
    face[kFaceNameChars] = 0;
    r = WriteFormatted(u"FunctionID:%d(0x%X)       = %s", ddmId, ddmId, face);
  } else {
    LONG number = static_cast<LONG>(static_cast<DWORD>(value));
    if (type == DDM_TYPE_SHORT) number = static_cast<SHORT>(value);
    if (type == DDM_TYPE_WORD) number = static_cast<WORD>(value);
    if (type == DDM_TYPE_BYTE) number = static_cast<BYTE>(value);
    r = WriteFormatted(u"FunctionID:%d(0x%X)       = %d", ddmId, ddmId, number);
  }
  return ok && r;
}

BOOL Logout_OutputdmFields(LPCWSTR title, const void* devmode) {
  if (!On(LOGOUT_ON | LOGOUT_DMFIELDS)) return 1;
  if (!devmode) {
    WriteLine(u"lpDevmode = NULL");
    return 0;
  }
  DWORD fields;
  std::memcpy(&fields, static_cast<const BYTE*>(devmode) + 72, 4);
  Logout_OpenFile();  // one open for the whole dump
  BOOL ok = WriteLine(title ? title : u"\n<dmFields>");
  for (const FieldName& f : kFieldNames) {
    BOOL r = WriteFormatted(u"%s = %s", f.name, (fields & f.bit) ? u"ON" : u"OFF");
    ok = ok && r;
  }
  Logout_CloseFile();
  return ok;
}

BOOL Logout_OutputDDM(DWORD category, LPCWSTR title, void* devmode, void* printerData) {
  if (!devmode && !printerData) return 1;
  DWORD f = Flag();
  if (!(f & LOGOUT_ON)) return 1;
  WORD ids[LOGOUT_MAX_IDS];
  WORD extra = 0;
  {
    LogState& s = S();
    std::lock_guard<std::mutex> guard(s.lock);
    extra = s.switches.count;
    std::memcpy(ids, s.switches.ids, sizeof(WORD) * extra);
  }
  if (!(f & (LOGOUT_DDM_PUBLIC | LOGOUT_DDM_PRIVATE)) && extra == 0) return 1;
  DWORD mask = f & LOGOUT_CATEGORY_MASK;
  if (mask && !(mask & category)) return 1;

  static constexpr char16_t kRule[] = u"---------------------------------------------------------------------";
  static_assert(sizeof(kRule) / sizeof(kRule[0]) == 70);
  BOOL ok = 1;
  auto note = [&ok](BOOL r) { ok = ok && r; };
  if (title) note(WriteLine(title));
  note(WriteLine(kRule));
  if (f & LOGOUT_DDM_PUBLIC)
    for (WORD id = 1; id <= 25; ++id) note(OutputDdmValue(id, devmode, printerData));
  if (f & LOGOUT_DDM_PRIVATE)
    for (WORD id = DDM_PRIVATE_FIRST; id <= DDM_PRIVATE_LAST; ++id) note(OutputDdmValue(id, devmode, printerData));
  for (WORD i = 0; i < extra; ++i) note(OutputDdmValue(ids[i], devmode, printerData));
  note(WriteLine(kRule));
  return ok;
}
