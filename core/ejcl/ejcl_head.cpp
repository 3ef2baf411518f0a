// The EJCL header and trailer (kestrel/core/ejcl.h): sizes, the header's
// steps, the record writer, the hint writers, the value writer and the
// hard-coded block.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ejcl_internal.h"
#include "kestrel/core/ddm_ids.h"
#include "kestrel/core/ddm_value.h"
#include "kestrel/core/faxlist.h"
#include "kestrel/core/kcore_sys.h"
#include "kestrel/core/nondev.h"
#include "kestrel/core/qsp.h"
#include "kestrel/core/vellum.h"
#include "kplatform/advapi32_registry.h"
#include "kplatform/byte_order.h"
#include "kplatform/kernel32_codepage.h"
#include "kplatform/kernel32_file.h"
#include "kplatform/kernel32_module.h"
#include "kplatform/kernel32_system.h"
#include "kplatform/kernel32_time.h"

using namespace ejcl;

namespace {

constexpr char kUel[] = "\x1B%-12345X";
constexpr char kEojPjl[] = "@PJL EOJ";
constexpr char kEojPlain[] = "@EOJO";
constexpr char16_t kJobMode[] = u"@PJL JOB MODE=";
constexpr char kJobAttrOpen[] = "@PJL SET JOBATTR=\"";
constexpr char kUnknownUser[] = "UnknownUser";
constexpr WORD kOsWin95 = 257;                 // the 4.0 release of the 9x platform
constexpr DWORD kCapBooklet = 0xFFFF0000u | 45;  // the description data's booklet test (-65491)
constexpr DWORD kCapBoxPrint = 0xFFFF0000u | 42; // the box-print test (-65494)
constexpr BYTE kPdFaxByte = 11;                // printer-data byte whose bit 0x10 enables the fax settings
constexpr BYTE kPdFaxBit = 0x10;
constexpr UINT kStrFaxFolder = 9366;           // fax data folder below the Windows drive
constexpr size_t kBktpPlaceholderPjl = 38;
constexpr size_t kBktpPlaceholderPlain = 20;
constexpr WORD kUserPaper = 262;
constexpr DWORD kMaxUserBytes = 255;

// Device types of zanLib_GetDeviceType that carry fax commands.
constexpr WORD kDeviceFax = 2;
constexpr WORD kDevicePrinterFax = 4;
constexpr BYTE kJobTypeFax = 5;
constexpr BYTE kJobTypeBox = 3;

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...) {
  char buf[128];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buf, sizeof buf, format, args);
  va_end(args);
  return n > 0 ? std::string(buf, static_cast<size_t>(std::min<int>(n, sizeof buf - 1))) : std::string();
}

WORD DeviceType(DDDFILE* main, DDDFILE* referenced) {
  CDDD_INFO info{};
  info.main = main;
  info.referenced = referenced;
  return zanLib_GetDeviceType(&info);
}

DWORD Caps(DDDFILE* main) {
  ZANLIB_CAPABILITY caps{};
  zanLib_GetDDDCapabilitiesFromFile(main, &caps);
  return caps.word0;
}

// A number read into *v, or the read's code returned.
#define READ(id, v)                          \
  do {                                       \
    LONG s_ = Number((id), w.ctx, &(v));     \
    if (s_ < 0) return s_;                   \
  } while (0)

// Rolls the output back to `mark` when a step wrote nothing of its own.
struct Mark {
  Writer& w;
  DWORD at;
  explicit Mark(Writer& writer) : w(writer), at(writer.out.Len()) {}
  void Undo() { w.out.Truncate(at); }
  DWORD Written() const { return w.out.Len() - at; }
};

// ---- Vellumhall library ----------------------------------------------------------

// An export of the Vellumhall library by name, loading the library at the
// first need; null when the library or the export is missing.
template <typename Fn>
Fn Vellum(Writer& w, const char* name) {
  if (!w.vellumTried) {
    w.vellumTried = true;
    LPWSTR dll = nullptr;
    if (ddd_GetDLLName(w.main, VELLUM_DLL_SELECTOR, &dll) == DDD_OK && dll && dll[0]) {
      WCHAR dir[MAX_PATH] = {};
      std::u16string path;
      if (zanlib_GetDriverDirectory(dir, sizeof dir)) {
        path = dir;
        if (!path.empty() && path.back() != u'\\') path += u'\\';
      }
      path += dll;
      w.vellum = LoadLibraryW(path.c_str());
    }
    ddd_FreeMem(dll);
  }
  FARPROC p = w.vellum ? GetProcAddress(w.vellum, name) : nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(p));
}

// The text an export answered, checked: -510 unless it is NUL-terminated
// inside its buffer.
LONG VellumText(BOOL ok, const char* buffer, int size, std::string* out) {
  if (!ok) return EJCL_ERR_VELLUM;
  const void* nul = std::memchr(buffer, 0, static_cast<size_t>(size));
  if (!nul) return EJCL_ERR_VELLUM;
  out->assign(buffer, static_cast<const char*>(nul));
  return 1;
}

// ---- Small writers -------------------------------------------------------------------

// "@PJL SET JOBATTR=" "..." (always, or with the PJL form only) around a
// text the callback writes; nothing when the callback writes nothing.
template <typename F>
LONG JobAttr(Writer& w, bool always, F body) {
  Mark m(w);
  bool frame = always || w.Pjl();
  LONG r = frame ? w.Raw(kJobAttrOpen) : 0;
  if (r < 0) return r;
  bool wasQuoted = w.quoted;
  w.quoted = frame;
  DWORD before = w.out.Len();
  r = body();
  w.quoted = wasQuoted;
  if (r < 0) return r;
  if (w.out.Len() == before) {
    m.Undo();
    return 0;
  }
  if (frame && (r = w.Raw("\"")) < 0) return r;
  return static_cast<LONG>(m.Written());
}

LONG Lf(Writer& w) { return w.Raw("\n"); }

LONG MBValue(Writer& w, const std::string& text) {
  return ejclUtil_WriteStringToBufferMB(w, text.c_str(), static_cast<DWORD>(text.size() + 1), Filter::kValue);
}

// The ANSI bytes of a wide text.
std::string Ansi(const std::u16string& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// ---- Value writer -------------------------------------------------------------------------

LONG ejclUtil_WriteCommandRefID(Writer& w, WORD id) {
  Raw r;
  LONG s = ReadRaw(id, w.ctx, &r);
  if (s < 0) return s;
  auto need = [&](DWORD size) { return r.size == size; };
  std::string text;
  switch (r.type) {
    case 1:
      if (!need(4)) return EJCL_ERR_SIZE;
      text = RawNumber(r) == 1 ? "ON" : "OFF";
      break;
    case 2:
      if (!need(2)) return EJCL_ERR_SIZE;
      text = Printf("%hd", static_cast<short>(RawNumber(r)));
      break;
    case 3:
      if (!need(2)) return EJCL_ERR_SIZE;
      text = Printf("%hu", static_cast<unsigned short>(RawNumber(r)));
      break;
    case 4:
      if (!need(4)) return EJCL_ERR_SIZE;
      text = Printf("%ld", static_cast<long>(RawNumber(r)));
      break;
    case 5:
      if (!need(4)) return EJCL_ERR_SIZE;
      text = Printf("%lu", static_cast<unsigned long>(RawNumber(r)));
      break;
    case 8:
      if (!need(1)) return EJCL_ERR_SIZE;
      text = Printf("%hd", static_cast<short>(RawNumber(r)));
      break;
    case 10:  // a signed 32-bit decimal
      if (!need(4)) return EJCL_ERR_SIZE;
      text = Printf("%d", static_cast<int>(RawNumber(r)));
      break;
    case 6: {
      std::u16string value;
      if ((s = String(id, w.ctx, &value)) < 0) return s;
      return ejclUtil_WriteStringToBuffer(w, value, Filter::kValue);
    }
    default: return EJCL_ERR_NOTWRITABLE;
  }
  return w.Value(text.data(), static_cast<DWORD>(text.size()));
}

// ---- Hint writers ------------------------------------------------------------------------

// The byte-by-byte test of a user or document name in the ANSI code page.
bool IsSingle(BYTE b) { return (b >= 0x20 && b <= 0x7E) || (b >= 0xA1 && b <= 0xDF); }
bool IsLead(BYTE b) { return b >= 0x81 && b <= 0xFC && !IsSingle(b); }

bool ValidUserName(const std::string& s) {
  if (s.empty() || s.size() > kMaxUserBytes) return false;
  bool blank = true;
  for (size_t i = 0; i < s.size(); ++i) {
    BYTE b = static_cast<BYTE>(s[i]);
    if (b != ' ') blank = false;
    if (IsSingle(b)) continue;
    if (!IsLead(b) || i + 1 >= s.size()) return false;
    BYTE t = static_cast<BYTE>(s[++i]);
    if (t < 0x40 || t > 0xFC) return false;
  }
  return !blank;
}

LONG HintUserName(Writer& w) {
  WCHAR name[UNLEN + 1] = {};
  ejcl_GetJobUserName(name, UNLEN + 1);
  std::string bytes = Ansi(name);
  if (!ValidUserName(bytes)) bytes = kUnknownUser;
  return MBValue(w, bytes);
}

// The document name when it passes the character test and fits; "" else.
std::string DocumentName(const Writer& w) {
  if (!w.ctx->documentName) return {};
  std::string bytes = Ansi(w.ctx->documentName);
  const bool dbcs = (w.caps & EJCL_CAP_DBCS_DOCNAME) != 0;
  const size_t limit = dbcs ? 24 : 12;
  size_t cut = 0;
  for (size_t i = 0; i < bytes.size();) {
    BYTE b = static_cast<BYTE>(bytes[i]);
    size_t n = 1;
    if (!IsSingle(b)) {
      if (!dbcs || i + 1 >= bytes.size()) return {};
      WORD pair = static_cast<WORD>(b << 8 | static_cast<BYTE>(bytes[i + 1]));
      if (pair < 0x8140 || pair > 0xFCFC) return {};
      n = 2;
    }
    if (i + n <= limit) cut = i + n;
    i += n;
  }
  if (bytes.size() > limit) {
    if (!dbcs) return {};
    bytes.resize(cut);
  }
  return bytes;
}

LONG HintDocumentName(Writer& w) { return MBValue(w, DocumentName(w)); }

// The copy count the printer is told. When the renderer makes collated
// copies itself (its job information at 180: a device with the driver-collate
// capability, collate on, and DDM 1344 clear or neither job separator nor
// finisher unit), the stream already holds every copy and the printer is told
// 1; else the printer makes the copies. The condition is the renderer's
// (render/job/jobrec.cpp): a header that asked for copies the stream already
// holds would print copies x copies sets. Models set only the first of the two
// collate bits, and the PDL version number of DDM 8205 is the printer's own,
// so neither may narrow it here.
LONG HintCopies(Writer& w) {
  LONGLONG finisher = 0, separator = 0, collate = 0, member1344 = 0;
  if (w.caps & EJCL_CAP_COLLATE_A) {
    READ(DDM_COLLATE, collate);
    READ(DDM_MEMBER_1344, member1344);
    READ(DDM_FINISHER_UNIT, finisher);
    READ(DDM_JOB_SEPARATOR, separator);
    if (static_cast<WORD>(collate) == DMCOLLATE_TRUE && (member1344 == 0 || (finisher == 0 && separator == 0)))
      return w.Value("1", 1);
  }
  return ejclUtil_WriteCommandRefID(w, DDM_COPIES);
}

LONG HintComment(Writer& w) {
  LONGLONG off = 0;
  READ(DDM_COMMENT_SUPPRESS, off);
  if (off != 0) return 0;
  Raw r;
  LONG s = ReadRaw(DDM_MEMBER_329, w.ctx, &r);
  if (s < 0) return s;
  if (r.type != DDM_TYPE_STRING || !r.value) return EJCL_ERR_ACCESS;
  // The comment is kept as every string member is, UTF-16 through the value
  // access (the member sits at an odd offset: read it bytewise), and is
  // written in the ANSI code page like the other texts of the header.
  std::u16string wide(r.size / 2, u'\0');
  if (!wide.empty()) std::memcpy(wide.data(), reinterpret_cast<const void*>(r.value), wide.size() * 2);
  size_t nul = wide.find(u'\0');
  if (nul == std::u16string::npos) return EJCL_ERR_LENGTH;
  wide.resize(nul);
  std::string text = Ansi(wide);
  if (text.empty()) return 0;
  LONG n = MBValue(w, text);
  if (n < 0) return n;
  const char16_t empty[1] = {0};
  ddm_SetValue(DDM_MEMBER_329, w.ctx->devmode, w.ctx->printerData, DDM_TYPE_STRING, sizeof empty, empty);
  return n;
}

struct PaperName {
  WORD id;
  const char* text;
};
constexpr PaperName kPapers[] = {{8, "A3"},          {9, "A4"},          {11, "A5"},       {70, "A6"},
                                 {12, "B4"},         {13, "B5"},         {1, "INCH85_11"}, {14, "INCH85_13"},
                                 {5, "INCH85_14"},   {3, "INCH11_17"},   {6, "INCH55_85"}, {259, "INCH8_10"},
                                 {260, "INCH12_18"}, {261, "SRA3"},      {257, "8KAI"},    {258, "16KAI"},
                                 {43, "HAGAKI"}};

LONG HintPaper(Writer& w, WORD id) {
  LONGLONG paper = 0;
  READ(id, paper);
  if (paper == kUserPaper) {
    LONGLONG width = 0, length = 0, edge = 0;
    READ(DDM_CUSTOMPAPERWIDTH, width);
    READ(DDM_CUSTOMPAPERLENGTH, length);
    READ(DDM_INSERT_FEED_EDGE, edge);
    auto mm = [](LONGLONG tenths) { return static_cast<unsigned short>((tenths + 5) / 10); };
    unsigned short a = mm(width), b = mm(length);
    if (static_cast<WORD>(edge) == 2) std::swap(a, b);
    std::string text = Printf("UNFIXED:%hu:%hu", a, b);
    return w.Value(text.data(), static_cast<DWORD>(text.size()));
  }
  for (const PaperName& p : kPapers)
    if (p.id == paper) return w.Value(p.text, static_cast<DWORD>(std::strlen(p.text)));
  return EJCL_ERR_REQUIRED;
}

LONG HintFeedEdge(Writer& w, WORD hint) {
  static constexpr WORD kPairs[3][2] = {{DDM_INSERT_SHEET_1, DDM_INSERT_SHEET_1_VALUE},
                                        {DDM_INSERT_SHEET_2, DDM_INSERT_SHEET_2_VALUE},
                                        {DDM_INSERT_SHEET_3, DDM_INSERT_SHEET_3_VALUE}};
  bool pair = false;
  for (const auto& p : kPairs) {
    LONGLONG a = 0, b = 0;
    READ(p[0], a);
    READ(p[1], b);
    if (a == 1 && b == 4) pair = true;
  }
  LONGLONG tested = 0;
  if (pair && hint == DDM_INSERT_FEED_EDGE) {
    READ(DDM_INSERT_FEED_EDGE, tested);
    tested = static_cast<WORD>(tested);
  } else {
    READ(DDM_QUEUEBYTE1, tested);
    tested = static_cast<BYTE>(tested);
  }
  return tested == 2 ? w.Value("SEF", 3) : w.Value("LEF", 3);
}

LONG HintUserId(Writer& w) {
  std::u16string id;
  LONG s = String(DDM_USER_ID, w.ctx, &id);
  if (s < 0) return s;
  size_t start = id.find_first_not_of(u'0');
  if (start == std::u16string::npos) return EJCL_ERR_ARGUMENT;
  return ejclUtil_WriteStringToBuffer(w, id.substr(start), Filter::kValue);
}

LONG HintFaxDocumentName(Writer& w) {
  LONGLONG source = 0;
  READ(DDM_FAX_NAME_SOURCE, source);
  if (source == 0) {
    LONG e = ejclUtil_CheckNULLStr(DDM_FAX_DOCUMENT_NAME, w.ctx);
    if (e < 0) return e;
    if (e != 102) return EJCL_ERR_REQUIRED;
    return ejclUtil_WriteCommandRefID(w, DDM_FAX_DOCUMENT_NAME);
  }
  if (source == 1) return HintDocumentName(w);
  return EJCL_ERR_FAXNAME;
}

LONG HintInsertPositions(Writer& w) {
  std::vector<LONGLONG> positions;
  for (WORD id = DDM_INSERT_POSITION_FIRST; id <= DDM_INSERT_POSITION_LAST; ++id) {
    LONGLONG v = 0;
    READ(id, v);
    if (v >= 2 && v <= 9998) positions.push_back(v);
  }
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  std::string text;
  for (LONGLONG p : positions) text += (text.empty() ? "" : ":") + std::to_string(p);
  return text.empty() ? 0 : w.Value(text.data(), static_cast<DWORD>(text.size()));
}

SYSTEMTIME Tomorrow(const SYSTEMTIME& today) {
  FILETIME ft{};
  SYSTEMTIME midday = today;
  midday.wHour = 12;
  midday.wMinute = midday.wSecond = midday.wMilliseconds = 0;
  SystemTimeToFileTime(&midday, &ft);
  ULONGLONG t = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime) + 864000000000ull;
  ft.dwLowDateTime = static_cast<DWORD>(t);
  ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
  SYSTEMTIME next{};
  FileTimeToSystemTime(&ft, &next);
  return next;
}

LONG HintPrintTime(Writer& w) {
  LONGLONG hour = 0, minute = 0;
  READ(DDM_PRINT_HOUR, hour);
  READ(DDM_PRINT_MINUTE, minute);
  SYSTEMTIME now{};
  GetLocalTime(&now);
  SYSTEMTIME day = now;
  if (now.wHour * 100 + now.wMinute > hour * 100 + minute) day = Tomorrow(now);
  std::string text = Printf("%04d:%02d:%02d:%02d:%02d", day.wYear, day.wMonth, day.wDay, static_cast<int>(hour),
                            static_cast<int>(minute));
  return w.Value(text.data(), static_cast<DWORD>(text.size()));
}

LONG HintJcid(Writer& w) {
  if (w.ctx->jcidFlag != 1) return 0;
  return ejclUtil_WriteStringToBufferMB(w, w.ctx->jcid, EJCL_JCID_BYTES, Filter::kValue);
}

bool FaxHints(const Writer& w, LONGLONG jobType) {
  return w.deviceType == kDeviceFax || (w.deviceType == kDevicePrinterFax && jobType == kJobTypeFax);
}

LONG HintFax(Writer& w, WORD hint) {
  if (hint == DDM_FAX_TIMER_ON) {
    LONGLONG on = 0, h = 0, m = 0;
    READ(DDM_FAX_TIMER_ON, on);
    if (on != 1) return 0;
    READ(DDM_FAX_TIMER_HOUR, h);
    READ(DDM_FAX_TIMER_MINUTE, m);
    std::string text = Printf("%02d:%02d", static_cast<int>(h), static_cast<int>(m));
    return w.Value(text.data(), static_cast<DWORD>(text.size()));
  }
  if (hint == DDM_FAX_PASSWORD) {
    std::u16string secret;
    LONG s = String(DDM_FAX_PASSWORD, w.ctx, &secret);
    if (s < 0) return s;
    if (secret.empty()) return 0;
    LPWSTR encoded = nullptr;
    // A secret that cannot be encoded is never written plain.
    if (!zanlib_EncodeOrDecodeData(1, secret.c_str(), &encoded)) return EJCL_ERR_MEMORY;
    LONG n = ejclUtil_WriteStringToBuffer(w, encoded, kp_WideLength(encoded), Filter::kValue);
    kcore_Free(encoded);
    return n;
  }
  return 0;
}

LONG local_WriteHintValue(Writer& w, WORD hint) {
  switch (hint) {
    case DDM_COPIES: return HintCopies(w);
    case DDM_MEMBER_329: return HintComment(w);
    case DDM_INSERT_PAPER_A:
    case DDM_INSERT_PAPER_B: return HintPaper(w, hint);
    case DDM_INSERT_FEED_EDGE:
    case DDM_QUEUEBYTE1: return HintFeedEdge(w, hint);
    case DDM_USER_ID: return HintUserId(w);
    case DDM_FAX_DOCUMENT_NAME: return HintFaxDocumentName(w);
    case DDM_INSERT_POSITION_FIRST: return HintInsertPositions(w);
    case EJCL_HINT_USERNAME: return HintUserName(w);
    case EJCL_HINT_JCID: return HintJcid(w);
    case EJCL_HINT_PRINTTIME: return HintPrintTime(w);
    case EJCL_HINT_DOCNAME: return HintDocumentName(w);
    default: {
      LONGLONG jobType = 0;
      if (w.deviceType == kDevicePrinterFax) READ(DDM_JOBTYPE, jobType);
      if (FaxHints(w, jobType)) {
        DWORD before = w.out.Len();
        LONG r = HintFax(w, hint);
        if (r < 0 || w.out.Len() != before) return r;
      }
      return ejclUtil_WriteCommandRefID(w, hint);
    }
  }
}

// The text (command, maybe with its argument) then the hint's value; the
// whole is taken back when the value is empty.
LONG local_WriteCommandWithHint(Writer& w, WORD hint, const std::u16string& text) {
  Mark m(w);
  LONG r = ejclUtil_WriteStringToBuffer(w, text, Filter::kNone);
  if (r < 0) return r;
  DWORD before = w.out.Len();
  r = local_WriteHintValue(w, hint);
  if (r < 0) return r;
  if (w.out.Len() == before) {
    m.Undo();
    return 0;
  }
  return static_cast<LONG>(m.Written());
}

bool IsStringValue(Writer& w, WORD id) {
  Raw r;
  return ReadRaw(id, w.ctx, &r) > 0 && r.type == DDM_TYPE_STRING;
}

LONG local_WriteCommand(Writer& w, const DDD_EJCL* rec) {
  LPCWSTR command = ddd_GetEJCLCommand(rec);
  if (!command || !command[0]) return EJCL_ERR_NOCOMMAND;
  LPCWSTR argument = ddd_GetEJCLArgument(rec);
  Mark m(w);
  if (rec->hintId == 0) {
    if (!argument) return EJCL_ERR_NOARGUMENT;
    LONG r = ejclUtil_WriteStringToBuffer(w, std::u16string(command) + argument, Filter::kNone);
    return r < 0 ? r : static_cast<LONG>(m.Written());
  }
  if (!w.Pjl()) return local_WriteCommandWithHint(w, rec->hintId, command);
  std::u16string text = command;
  bool open = false;
  if (argument) {
    text += u"\"";
    text += argument;
    open = true;
  } else if (rec->hintId != DDM_USER_ID && IsStringValue(w, rec->hintId)) {
    text += u"\"";
    open = true;
  }
  w.quoted = open;
  LONG r = local_WriteCommandWithHint(w, rec->hintId, text);
  w.quoted = false;
  if (r <= 0) return r;
  if (open && (r = w.Raw("\"")) < 0) return r;
  return static_cast<LONG>(m.Written());
}

// ---- Hard-coded block ---------------------------------------------------------------

bool BoxPrint(Writer& w, LONG* error) {
  if (!zanLib_CheckCapability(&w.block, kCapBoxPrint)) return false;
  LONGLONG jobType = 0;
  LONG s = Number(DDM_JOBTYPE, w.ctx, &jobType);
  if (s < 0) *error = s;
  return s > 0 && static_cast<BYTE>(jobType) == kJobTypeBox;
}

LONG Bktp(Writer& w) {
  LONGLONG layout = 0, kind = 0, booklet = 0;
  READ(DDM_LAYOUTMODE, layout);
  if (static_cast<WORD>(layout) != 2 || !(w.caps & EJCL_CAP_BOOKLET_SHEETS)) return 0;
  READ(DDM_BOOKLETKIND, kind);
  if (static_cast<BYTE>(kind) != 1) return 0;
  bool on = false;
  if (zanLib_CheckCapability(&w.block, kCapBooklet)) {
    READ(DDM_BOOKLET, booklet);
    on = static_cast<BYTE>(booklet) == 2;
  } else {
    READ(DDM_SADDLESTAPLE, booklet);
    on = booklet == 1;
  }
  if (!on) return 0;
  LONG error = 0;
  if (BoxPrint(w, &error) || error < 0) return error;
  DWORD at = w.out.Len();
  LONG r;
  if (w.ctx->bookletSheets > 0) {
    std::string text = "@BKTP=" + std::to_string(w.ctx->bookletSheets);
    r = JobAttr(w, false, [&] { return w.Value(text.data(), static_cast<DWORD>(text.size())); });
    w.ctx->bktpOffset = 0;
  } else {
    std::string blanks(w.Pjl() ? kBktpPlaceholderPjl : kBktpPlaceholderPlain, ' ');
    r = w.out.Put(blanks.data(), static_cast<DWORD>(blanks.size()), Filter::kNone, false);
    if (r > 0) w.ctx->bktpOffset = at;
  }
  if (r > 0 && (r = Lf(w)) < 0) return r;
  return r;
}

LONG Nlpp(Writer& w) {
  LONGLONG layout = 0, value = 0;
  READ(DDM_LAYOUTMODE, layout);
  int code = -1;
  LONG error = 0;
  if (layout == 2 && !BoxPrint(w, &error)) {
    code = 1;
  } else if (error < 0) {
    return error;
  } else if (layout == 1) {
    READ(DDM_POSTERPARTS, value);
    switch (value) {
      case 258: code = 7; break;
      case 259: code = 13; break;
      case 260:
      case 514: code = 8; break;
      case 771: code = 10; break;
      case 1028: code = 11; break;
      default: break;
    }
  } else {
    READ(DDM_NUP, value);
    switch (value) {
      case 1: code = 0; break;
      case 2: code = 1; break;
      case 4: code = 2; break;
      case 8: code = 4; break;
      case 16: code = 6; break;
      case 32: code = 12; break;
      default: break;
    }
  }
  if (code < 0) return 0;
  auto fn = Vellum<VHGetEJCLStringOfNupFn>(w, VELLUM_NUP);
  if (!fn) return EJCL_ERR_VELLUM;
  char buf[VELLUM_NUP_SIZE] = {};
  std::string text;
  LONG s = VellumText(fn(code, buf, VELLUM_NUP_SIZE), buf, VELLUM_NUP_SIZE, &text);
  if (s < 0) return s;
  return JobAttr(w, false, [&] { return MBValue(w, text); });
}

LONG Hoad(Writer& w) {
  auto fn = Vellum<VHGetEJCLStringOfHostAddressFn>(w, VELLUM_HOST_ADDRESS);
  if (!fn) return EJCL_ERR_VELLUM;
  char buf[VELLUM_HOST_ADDRESS_SIZE] = {};
  std::string text;
  LONG s = VellumText(fn(buf, VELLUM_HOST_ADDRESS_SIZE), buf, VELLUM_HOST_ADDRESS_SIZE, &text);
  if (s < 0) return s;
  return JobAttr(w, false, [&] { return MBValue(w, text); });
}

LONG Cnam(Writer& w) {
  auto fn = Vellum<VHGetEJCLStringOfHostNameExFn>(w, VELLUM_HOST_NAME);
  if (!fn) return EJCL_ERR_VELLUM;
  char buf[VELLUM_HOST_NAME_SIZE] = {};
  std::string text;
  LONG s = VellumText(fn(VELLUM_HOST_NAME_KIND, buf, VELLUM_HOST_NAME_SIZE, 0), buf, VELLUM_HOST_NAME_SIZE, &text);
  if (s < 0) return s;
  return JobAttr(w, false, [&] { return MBValue(w, text); });
}

// The fax settings' gate: a fax job on a printer whose record enables them.
LONG FaxSettings(Writer& w, bool* on) {
  *on = false;
  LONGLONG jobType = 0;
  READ(DDM_JOBTYPE, jobType);
  const BYTE* pd = static_cast<const BYTE*>(w.ctx->printerData);
  *on = jobType == kJobTypeFax && pd && (pd[kPdFaxByte] & kPdFaxBit);
  return 1;
}

LONG FaxLine(Writer& w, bool jobAttr, const char* text) {
  LONG r = jobAttr ? JobAttr(w, true, [&] { return w.Raw(text); }) : w.Raw(text);
  if (r > 0 && Lf(w) < 0) return EJCL_ERR_ROOM;
  return r;
}

LONG FaxSettingLines(Writer& w) {
  LONGLONG res = 0, report = 0, head = 0;
  READ(DDM_FAX_RESOLUTION, res);
  READ(DDM_FAX_TX_REPORT, report);
  READ(DDM_FAX_TX_HEADER, head);
  std::string prn = std::string("@PJL SET RESOLUTION=") + (res == 2 ? "400" : res == 3 ? "600" : "200");
  std::string fare = std::string("@FARE=") + (res == 1   ? "FINE"
                                               : res == 2 ? "SUPERFINE"
                                               : res == 3 ? "ULTRAFINE"
                                                          : "NORMAL");
  std::string trre = std::string("@TRRE=") + (report == 1 ? "ONERROR" : report == 2 ? "ON" : "OFF");
  std::string txhe = std::string("@TXHE=") + (head == 1 ? "ON" : "OFF");
  LONG r;
  if ((r = FaxLine(w, false, prn.c_str())) < 0) return r;
  if ((r = FaxLine(w, true, fare.c_str())) < 0) return r;
  if ((r = FaxLine(w, true, trre.c_str())) < 0) return r;
  return FaxLine(w, true, txhe.c_str());
}

LONG InputBinFlag(Writer& w, LONGLONG* flag) {
  LONGLONG source = 0, bin = 0, media = 0;
  READ(DDM_DEFAULTSOURCE, source);
  READ(DDM_INPUTBIN, bin);
  LONGLONG current;
  if (w.caps & EJCL_CAP_INPUT_BIN)
    current = source != 15 ? source : bin;
  else
    current = bin != 258 ? bin : source;
  switch (current) {
    case 7: *flag = 0; break;
    case 1: *flag = 1; break;
    case 3: *flag = 2; break;
    case 265: *flag = 3; break;
    case 266: *flag = 4; break;
    case 267: *flag = 5; break;
    case 2: *flag = 6; break;
    case 257: *flag = 7; break;
    case 4:
    case 260:
      READ(DDM_EMULATEDMEDIA, media);
      *flag = media == 3 ? 9 : (media == 1 || media == 2 || media == 7 || media == 8) ? 10 : 8;
      break;
    default: *flag = 11; break;
  }
  return 1;
}

LONG Joau(Writer& w) {
  LONGLONG account = 0, mode = 0, nameSwitch = 0, unknown = 0;
  READ(DDM_ACCOUNTMODE, account);
  const bool second = static_cast<BYTE>(account) != 0;
  const WORD modeId = second ? DDM_USERNAMETYPE2 : DDM_USERNAMETYPE;
  const WORD switchId = second ? DDM_OWNER_SWITCH_B : DDM_OWNER_SWITCH_A;
  const WORD nameId = second ? DDM_OWNER_NAME_B : DDM_OWNER_NAME_A;
  bool haveName = false;
  std::u16string name;
  if (w.caps & EJCL_CAP_OWNER_NAME) {
    READ(switchId, nameSwitch);
    if (static_cast<BYTE>(nameSwitch) == 1) {
      haveName = true;
      READ(DDM_OWNER_UNKNOWN, unknown);
      if (static_cast<BYTE>(unknown) == 1) {
        name = u"UnknownUser";
      } else {
        LONG s = String(DDM_OWNER_DEVMODE_NAME, w.ctx, &name);
        if (s < 0) return s;
      }
    }
  }
  READ(modeId, mode);
  mode = static_cast<WORD>(mode);
  int kind = 0;
  LONGLONG layout = 0, bin = 0;
  if (w.caps & (EJCL_CAP_NUP | EJCL_CAP_HOST_ADDRESS)) {
    kind = (w.caps & EJCL_CAP_HOST_NAME) ? 5 : 1;
  } else {
    if (mode == 0 || mode == 1 || mode == 5 || mode == 7)
      kind = 3;
    else if (mode == 3 || mode == 4 || mode == 6)
      kind = 4;
    else
      return 0;
    LONGLONG layoutMode = 0;
    READ(DDM_NUP, layout);
    layout = static_cast<WORD>(layout);
    READ(DDM_LAYOUTMODE, layoutMode);
    LONG error = 0;
    if (layout == 1 && layoutMode == 1)
      layout = 100;
    else if (layout == 1 && layoutMode == 2 && !BoxPrint(w, &error))
      layout = 2;
    if (error < 0) return error;
    LONG s = InputBinFlag(w, &bin);
    if (s < 0) return s;
  }
  char buf[VELLUM_OWNER_SIZE] = {};
  BOOL ok = FALSE;
  if (haveName || mode == 1 || (mode >= 4 && mode <= 7)) {
    if (!haveName) {
      LONG s = String(nameId, w.ctx, &name);
      if (s < 0) return s;
    }
    auto fn = Vellum<VHGetEJCLStringOfJobOwnerFromInputAFn>(w, VELLUM_OWNER_FROM_INPUT);
    if (!fn) return EJCL_ERR_VELLUM;
    std::string ansi = Ansi(name);
    ok = fn(kind, ansi.c_str(), static_cast<int>(layout), static_cast<int>(bin), buf, VELLUM_OWNER_SIZE);
  } else if (mode == 0 || mode == 3) {
    auto fn = Vellum<VHGetEJCLStringOfJobOwnerStringFromUserHostNameFn>(w, VELLUM_OWNER_FROM_USER_HOST);
    if (!fn) return EJCL_ERR_VELLUM;
    ok = fn(kind, static_cast<int>(layout), static_cast<int>(bin), buf, VELLUM_OWNER_SIZE);
  } else {
    return 0;
  }
  std::string text;
  LONG s = VellumText(ok, buf, VELLUM_OWNER_SIZE, &text);
  if (s < 0) return s;
  return JobAttr(w, false, [&] { return MBValue(w, text); });
}

// The fax data folder: the Windows drive + resource string 9366, with a
// trailing backslash; "" when it cannot be had.
std::u16string FaxDataFolder() {
  WCHAR dir[MAX_PATH] = {};
  UINT n = GetWindowsDirectoryW(dir, MAX_PATH);
  if (n < 2 || n >= MAX_PATH || dir[1] != u':') return {};
  WCHAR tail[MAX_PATH] = {};
  if (resource_LoadString(kStrFaxFolder, tail, MAX_PATH) <= 0) return {};
  std::u16string folder = std::u16string(dir, 2) + tail;
  if (folder.back() != u'\\') folder += u'\\';
  return folder;
}

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

// True when `file` names a file inside `folder` (no "..", no second
// level of folders, no separator tricks).
bool InsideFolder(const std::u16string& folder, const std::u16string& file) {
  if (folder.empty() || file.size() <= folder.size()) return false;
  for (size_t i = 0; i < folder.size(); ++i)
    if (Upper(folder[i]) != Upper(file[i]) && !(folder[i] == u'\\' && file[i] == u'/')) return false;
  std::u16string rest = file.substr(folder.size());
  return rest.find_first_of(u"\\/:") == std::u16string::npos && rest != u"." && rest != u"..";
}

LONG Faen(Writer& w) {
  std::u16string name;
  LONG s = String(DDM_FAX_ADDRESS_FILE, w.ctx, &name);
  if (s < 0) return s;
  if (name.empty() && (s = String(DDM_FAX_DATA_FILE, w.ctx, &name)) < 0) return s;
  if (name.empty() || !InsideFolder(FaxDataFolder(), name)) return 0;
  HANDLE f = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (f == INVALID_HANDLE_VALUE) return 0;
  std::vector<char> bytes(EJCL_FAEN_MAX);
  DWORD got = 0;
  BOOL ok = ReadFile(f, bytes.data(), EJCL_FAEN_MAX, &got, nullptr);
  CloseHandle(f);
  DeleteFileW(name.c_str());
  if (!ok || got == 0) return 0;
  return w.out.Put(bytes.data(), got, Filter::kFile, false);
}

LONG HardCodedExtras(Writer& w) {
  LONG r;
  auto step = [&](LONG written) -> LONG {
    if (written > 0 && Lf(w) < 0) return EJCL_ERR_ROOM;
    return written;
  };
  if ((w.caps & EJCL_CAP_NUP) && (r = step(Nlpp(w))) < 0) return r;
  if ((w.caps & EJCL_CAP_HOST_ADDRESS) && (r = step(Hoad(w))) < 0) return r;
  bool fax = false;
  if ((r = FaxSettings(w, &fax)) < 0) return r;
  if (fax && (r = FaxSettingLines(w)) < 0) return r;
  LONGLONG owner = 0;
  READ(DDM_JOB_OWNER_ON, owner);
  if (owner == 1 && (r = step(Joau(w))) < 0) return r;
  LONGLONG jobType = 0, kit = 0;
  READ(DDM_JOBTYPE, jobType);
  if (jobType == kJobTypeFax) {
    READ(DDM_OPTION_FAXKIT, kit);
    if (kit != 0 && (r = Faen(w)) < 0) return r;
  }
  if ((w.caps & EJCL_CAP_HOST_NAME) && (r = step(Cnam(w))) < 0) return r;
  return 1;
}

LONG Fanu(Writer& w) {
  const EJCL_FAX_RANGE* range = w.ctx->fax;
  if (!range || !range->list) return 0;
  LONGLONG count = 0;
  READ(DDM_FAX_DESTINATION_COUNT, count);
  if (range->first > range->last || range->last >= count) return 0;
  DWORD need = nonDev_FaxListNeeded(range->list, range->listSize);
  if (need == 0 || need > range->listSize) return EJCL_ERR_REQUIRED;
  BYTE header[FAXLIST_HEAD_SIZE];
  if (!GetFaxAddressHeaderInfo(range->list, header)) return EJCL_ERR_REQUIRED;
  if (kp_LoadU16(header + NONDEV_FAX_COUNT_OFFSET) != count) return 0;
  FAX_LINE_SETTINGS settings{};
  std::u16string p1, p2;
  LONG s;
  LONGLONG f1 = 0, f2 = 0, f0 = 0;
  if ((s = String(DDM_FAX_PREFIX_1, w.ctx, &p1)) < 0 || (s = String(DDM_FAX_PREFIX_2, w.ctx, &p2)) < 0) return s;
  READ(DDM_FAX_PREFIX_1_FLAG, f1);
  READ(DDM_FAX_PREFIX_2_FLAG, f2);
  READ(DDM_FAX_NO_PREFIX_FLAG, f0);
  for (size_t i = 0; i < 6 && i < p1.size(); ++i) settings.prefix1[i] = p1[i];
  for (size_t i = 0; i < 6 && i < p2.size(); ++i) settings.prefix2[i] = p2[i];
  settings.prefix1Flag = static_cast<WORD>(f1);
  settings.prefix2Flag = static_cast<WORD>(f2);
  settings.noPrefixFlag = static_cast<WORD>(f0);
  const int form = (w.caps & EJCL_CAP_FAX_FORM2) ? FANU_FORM_ENCODED : FANU_FORM_PLAIN;
  for (DWORD i = range->first; i <= range->last; ++i) {
    BYTE entry[FAXLIST_ENTRY_SIZE];
    if (!GetFaxAddressData(range->list, static_cast<WORD>(i), entry)) return EJCL_ERR_REQUIRED;
    char line[EJCL_FANU_BUFFER];
    int length = 0;
    if (!GetFANUString(form, entry, &settings, sizeof line, w.Pjl(), FALSE, line, &length) || length <= 0)
      return EJCL_ERR_REQUIRED;
    LONG r = w.out.Put(line, static_cast<DWORD>(length), Filter::kNone, false);
    if (r < 0) return r;
  }
  return 1;
}

LONG HardCodedBlock(Writer& w) {
  LONG r = Bktp(w);
  if (r < 0) return r;
  if (w.ctx->hardCoded && (r = HardCodedExtras(w)) < 0) return r;
  LONGLONG jobType = 0, kit = 0;
  bool fax = w.deviceType == kDeviceFax;
  if (w.deviceType == kDevicePrinterFax) {
    READ(DDM_JOBTYPE, jobType);
    if (static_cast<WORD>(jobType) == kJobTypeFax) {
      READ(DDM_OPTION_FAXKIT, kit);
      fax = kit != 0;
    }
  }
  if (fax && (r = Fanu(w)) < 0) return r;
  return 1;
}

// ---- Header ------------------------------------------------------------------------

LONG ReadRecord(Writer& w, WORD index, DDD_EJCL** rec) {
  void* p = nullptr;
  WORD r = ddd_GetDataByIndexX(DDD_FULL, w.main, w.referenced, DDD_CAT_EJCL, index, &p);
  if (r == DDD_ERR_NOTFOUND) return 0;
  if (r != DDD_OK || !p) return EJCL_ERR_DDD;
  auto* e = static_cast<DDD_EJCL*>(p);
  for (WORD i = 0; i < e->conditions.count; ++i) {
    if (DFILE_ExpandGroupedDevmodeValues(e->head.file, &e->conditions.items[i].value) != DDD_OK) {
      ddd_Free(&p, DDD_CAT_EJCL);
      return EJCL_ERR_DDD;
    }
  }
  *rec = e;
  return 1;
}

struct Held {
  DDD_EJCL* rec = nullptr;
  ~Held() {
    void* p = rec;
    if (p) ddd_Free(&p, DDD_CAT_EJCL);
  }
};

LONG JobModeLine(Writer& w) {
  for (DWORD index = 1; index <= 0xFFFF; ++index) {
    Held h;
    LONG r = ReadRecord(w, static_cast<WORD>(index), &h.rec);
    if (r == 0) break;
    if (r < 0) return r;
    LPCWSTR command = ddd_GetEJCLCommand(h.rec);
    if (!command || std::u16string(command) != kJobMode) continue;
    EJCL_CUTBUFFER scratch = w.cut;
    if (ejclUtil_IsCutCommand(&scratch, h.rec, w.Pjl())) continue;
    LONG holds = ejclUtil_CheckConditionsOf(h.rec, w.ctx);
    if (holds < 0) return holds;
    if (!holds) continue;
    if ((r = local_WriteCommand(w, h.rec)) < 0 || (r = Lf(w)) < 0) return r;
    static_assert(sizeof kJobMode / sizeof(char16_t) <= EJCL_CUT_KEY_CHARS);
    std::memcpy(w.cut.command, kJobMode, sizeof kJobMode);
    w.cut.found = TRUE;
    return 1;
  }
  return EJCL_ERR_REQUIRED;
}

LONG Comments(Writer& w) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  std::string date = Printf("@PJL COMMENT DATE=%02d/%02d/%04d\n", now.wMonth, now.wDay, now.wYear);
  std::string time = Printf("@PJL COMMENT TIME=%02d:%02d:%02d\n", now.wHour, now.wMinute, now.wSecond);
  LONG r;
  if ((r = w.Raw(date.c_str())) < 0 || (r = w.Raw(time.c_str())) < 0 || (r = w.Raw("@PJL COMMENT DNAME=")) < 0)
    return r;
  if (w.ctx->documentName &&
      (r = ejclUtil_WriteStringToBuffer(w, w.ctx->documentName, kp_WideLength(w.ctx->documentName),
                                        Filter::kValue)) < 0)
    return r;
  return Lf(w);
}

LONG Walk(Writer& w) {
  for (DWORD index = 1; index <= 0xFFFF; ++index) {
    Held h;
    LONG r = ReadRecord(w, static_cast<WORD>(index), &h.rec);
    if (r == 0) return 1;
    if (r < 0) return r;
    if (ejclUtil_IsCutCommand(&w.cut, h.rec, w.Pjl())) continue;
    LONG holds = ejclUtil_CheckConditionsOf(h.rec, w.ctx);
    if (holds < 0) return holds;
    if (!holds) continue;
    if (ejclUtil_IsHardCodeCommand(h.rec)) {
      if ((r = HardCodedBlock(w)) < 0) return r;
      continue;
    }
    if ((r = local_WriteCommand(w, h.rec)) < 0) return r;
    if (r > 0 && (r = Lf(w)) < 0) return r;
  }
  return 1;
}

LONG Head(Writer& w) {
  if (!zanLib_GetDDDCapabilitiesFromFile(w.main, &w.block)) return EJCL_ERR_DDD;
  w.caps = w.block.word0;
  w.deviceType = DeviceType(w.main, w.referenced);
  WORD os = 0;
  if (osVer_GetOS(&os) == 1 && os != kOsWin95) ejclUtil_SetStringCodeSet(EJCL_CODESET_UTF8);
  w.cut = EJCL_CUTBUFFER{};
  LONGLONG force = 0;
  READ(DDM_FORCEPDLVERSION, force);
  if (static_cast<WORD>(force) == 1) w.cut.flags |= EJCL_CUT_ONLY_FLAGGED;
  LONG r;
  if ((r = w.out.Put(kUel, sizeof kUel - 1, Filter::kNone, false)) < 0) return r;
  if (ejclUtil_GetStringCodeSet() == EJCL_CODESET_UTF8) {
    if ((r = JobModeLine(w)) < 0) return r;
    if ((r = w.Raw("@PJL SET STRINGCODESET=UTF8\n")) < 0) return r;
  }
  if ((r = Comments(w)) < 0) return r;
  return Walk(w);
}

LONG EndOfJobText(DDDFILE* main, const char** text) {
  *text = (Caps(main) & EJCL_CAP_PJL) ? kEojPjl : kEojPlain;
  return 1;
}

LONG Start(char* buffer, DWORD capacity) {
  if (!buffer || capacity == 0) return EJCL_ERR_ROOM;
  buffer[0] = 0;
  return 1;
}

}  // namespace

// ---- Sizes ---------------------------------------------------------------------------

LONG ejclFax_bufferSizeHead(DDDFILE* main, DDDFILE* /*referenced*/) {
  WORD count = 0, bytes = 0;
  if (ddd_GetPrinterInfo_orderedItem(main, 24, 2, 0, &count) != DDD_OK ||
      ddd_GetPrinterInfo_orderedItem(main, 25, 2, 0, &bytes) != DDD_OK || count == 0 || bytes == 0)
    return EJCL_ERR_SIZEITEM;
  return static_cast<LONG>(count) * bytes + ((Caps(main) & EJCL_CAP_PJL) ? 40 : 21);
}

LONG ejcl_bufferSizeHead(DDDFILE* main, DDDFILE* referenced) {
  DWORD item2 = 0;
  if (!main || ddd_GetPrinterInfo_orderedItem(main, DDD_PI_EJCL_BOUND, 4, 0, &item2) != DDD_OK || item2 < 1 ||
      item2 > 0x10000000u)
    return EJCL_ERR_SIZEITEM;
  const DWORD caps = Caps(main);
  const bool pjl = (caps & EJCL_CAP_PJL) != 0;
  LONG n = static_cast<LONG>(item2) + 1 + 8;
  if (pjl) n += 20;
  LONG block = 84;
  if (caps & EJCL_CAP_BOOKLET_SHEETS) block = pjl ? 125 : 107;
  n += block;
  if (caps & EJCL_CAP_NUP) n += pjl ? 37 : 18;
  if (caps & EJCL_CAP_HOST_ADDRESS) n += pjl ? 47 : 28;
  if (caps & EJCL_CAP_HOST_NAME) n += pjl ? 66 : 47;
  n += pjl ? 66 : 47;
  n += 178;
  WORD type = DeviceType(main, referenced);
  if (type == kDeviceFax || type == kDevicePrinterFax) {
    LONG fax = ejclFax_bufferSizeHead(main, referenced);
    if (fax < 0) return fax;
    n += fax;
  }
  return n + 3 * (13 + 3421) + 6 + 5 + 5;
}

LONG ejcl_bufferSizeEndOfJob(DDDFILE* main, DDDFILE* /*referenced*/) {
  const char* eoj = nullptr;
  EndOfJobText(main, &eoj);
  return static_cast<LONG>(std::strlen(eoj)) + 1 + 5;
}

LONG ejcl_bufferSizeTail(DDDFILE* main, DDDFILE* referenced) {
  return 1 + 8 + ejcl_bufferSizeEndOfJob(main, referenced);
}

LONG ejcl_bufferSizeUniversalExit(void) { return 1 + 8 + 5; }

// ---- Writers ---------------------------------------------------------------------------

LONG ejcl_getEJCLCommandsUniversalExit(char* buffer, DWORD capacity) {
  LONG r = Start(buffer, capacity);
  if (r < 0) return r;
  Out out{buffer, capacity, {}};
  return out.Finish(out.Put(kUel, sizeof kUel - 1, Filter::kNone, false));
}

LONG ejcl_getEJCLCommandsEndOfJob(DDDFILE* main, DDDFILE* /*referenced*/, char* buffer, DWORD capacity) {
  LONG r = Start(buffer, capacity);
  if (r < 0) return r;
  Out out{buffer, capacity, {}};
  const char* eoj = nullptr;
  EndOfJobText(main, &eoj);
  r = out.Put(eoj, static_cast<DWORD>(std::strlen(eoj)), Filter::kNone, false);
  if (r >= 0) r = out.Put("\n", 1, Filter::kNone, false);
  return out.Finish(r);
}

LONG ejcl_getEJCLCommandsTail(DDDFILE* main, DDDFILE* /*referenced*/, char* buffer, DWORD capacity) {
  LONG r = Start(buffer, capacity);
  if (r < 0) return r;
  Out out{buffer, capacity, {}};
  const char* eoj = nullptr;
  EndOfJobText(main, &eoj);
  r = out.Put(kUel, sizeof kUel - 1, Filter::kNone, false);
  if (r >= 0) r = out.Put(eoj, static_cast<DWORD>(std::strlen(eoj)), Filter::kNone, false);
  if (r >= 0) r = out.Put("\n", 1, Filter::kNone, false);
  return out.Finish(r);
}

LONG ejcl_getEJCLCommandsHead(DDDFILE* main, DDDFILE* referenced, EJCL_CONTEXT* context, char* buffer,
                              DWORD capacity) {
  LONG r = Start(buffer, capacity);
  if (r < 0) return r;
  if (!main || !context) return EJCL_ERR_ARGUMENT;
  context->bktpOffset = 0;
  Writer w{main, referenced, context, Out{buffer, capacity, {}}, 0, {}, 0, nullptr, false, false, {}};
  r = Head(w);
  if (w.vellum) FreeLibrary(w.vellum);
  r = w.out.Finish(r);
  if (r < 0) context->bktpOffset = 0;
  return r;
}

DWORD ejcl_GetJobUserName(LPWSTR buffer, DWORD chars) {
  if (!buffer || chars == 0) return 0;
  buffer[0] = 0;
  WCHAR name[UNLEN + 1] = {};
  DWORD n = UNLEN + 1;
  std::u16string user;
  if (GetUserNameW(name, &n)) user = name;
  std::u16string upper = user;
  for (char16_t& c : upper) c = Upper(c);
  if (upper == u"SYSTEM") {
    user.clear();
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\", 0,
                      KEY_READ, &key) == ERROR_SUCCESS) {
      WCHAR value[UNLEN + 1] = {};
      DWORD bytes = sizeof(value) - sizeof(WCHAR);
      DWORD type = 0;
      if (RegQueryValueExW(key, u"DefaultUserName", nullptr, &type, reinterpret_cast<LPBYTE>(value), &bytes) ==
              ERROR_SUCCESS &&
          type == REG_SZ)
        user = value;
      RegCloseKey(key);
    }
  }
  if (user.size() + 1 > chars) return 0;
  std::memcpy(buffer, user.c_str(), (user.size() + 1) * sizeof(WCHAR));
  return static_cast<DWORD>(user.size());
}
