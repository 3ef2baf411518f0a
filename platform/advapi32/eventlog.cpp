// The event log: lines of <root>/eventlog/Application.log (see
// kplatform/advapi32_eventlog.h for the line layout).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kernel32/codepage.h"
#include "kernel32/object.h"
#include "kernel32/path.h"
#include "kplatform/advapi32_eventlog.h"
#include "kplatform/kernel32_time.h"
#include "kplatform/root.h"

namespace {

class EventSource : public kp::KernelObject {
 public:
  explicit EventSource(std::u16string source) : source(std::move(source)) {}
  const std::u16string source;
};

std::mutex& LogLock() {
  static std::mutex* m = new std::mutex();
  return *m;
}

// The log's folder and file below the root; empty without a root.
std::string LogFolder() {
  std::string root = KpGetRoot();
  return root.empty() ? root : root + "/eventlog";
}

std::string Escape(std::u16string_view text) {
  std::string in = kp::Utf16ToUtf8(text), out;
  for (char c : in) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

bool Unescape(const std::string& in, std::string* out) {
  out->clear();
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '\\') {
      *out += in[i];
      continue;
    }
    if (++i == in.size()) return false;
    switch (in[i]) {
      case '\\': *out += '\\'; break;
      case 't': *out += '\t'; break;
      case 'r': *out += '\r'; break;
      case 'n': *out += '\n'; break;
      default: return false;
    }
  }
  return true;
}

bool KnownType(WORD type) {
  switch (type) {
    case EVENTLOG_SUCCESS:
    case EVENTLOG_ERROR_TYPE:
    case EVENTLOG_WARNING_TYPE:
    case EVENTLOG_INFORMATION_TYPE:
    case EVENTLOG_AUDIT_SUCCESS:
    case EVENTLOG_AUDIT_FAILURE:
      return true;
    default:
      return false;
  }
}

// Every line of the current root's log (without their LF).
std::vector<std::string> ReadLines() {
  std::vector<std::string> lines;
  std::string folder = LogFolder();
  if (folder.empty()) return lines;
  std::ifstream in(folder + "/Application.log", std::ios::binary);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return fields;
}

bool ParseNumber(const std::string& text, unsigned long max, unsigned long* out) {
  if (text.empty() || text.size() > 10) return false;
  unsigned long long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  if (v > max) return false;
  *out = static_cast<unsigned long>(v);
  return true;
}

bool ParseTime(const std::string& text, SYSTEMTIME* t) {
  unsigned y, mo, d, h, mi, s, ms;
  char z = 0;
  if (text.size() != 24 ||
      std::sscanf(text.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u.%3u%c", &y, &mo, &d, &h, &mi, &s, &ms, &z) != 8 || z != 'Z')
    return false;
  *t = SYSTEMTIME{static_cast<WORD>(y), static_cast<WORD>(mo), 0,  static_cast<WORD>(d),
                  static_cast<WORD>(h), static_cast<WORD>(mi), static_cast<WORD>(s), static_cast<WORD>(ms)};
  return true;
}

}  // namespace

KP_API HANDLE WINAPI RegisterEventSourceW(LPCWSTR server, LPCWSTR source) {
  if (server != nullptr && server[0] != 0) {
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return nullptr;
  }
  if (source == nullptr || source[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HANDLE h = kp::InsertHandle(std::make_shared<EventSource>(std::u16string(source)));
  if (h == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return h;
}

KP_API BOOL WINAPI DeregisterEventSource(HANDLE eventLog) {
  if (kp::LookupHandleAs<EventSource>(eventLog) == nullptr || !kp::RemoveHandle(eventLog)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

KP_API BOOL WINAPI ReportEventW(HANDLE eventLog, WORD type, WORD category, DWORD eventId, PSID /*userSid*/,
                                WORD numStrings, DWORD dataSize, LPCWSTR* strings, LPVOID rawData) {
  auto source = kp::LookupHandleAs<EventSource>(eventLog);
  if (source == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!KnownType(type) || (numStrings > 0 && strings == nullptr) || (dataSize > 0 && rawData == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  for (WORD i = 0; i < numStrings; ++i) {
    if (strings[i] == nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
  }
  SYSTEMTIME t;
  GetSystemTime(&t);
  char head[128];
  std::snprintf(head, sizeof head, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", t.wYear, t.wMonth, t.wDay, t.wHour,
                t.wMinute, t.wSecond, t.wMilliseconds);
  std::string line = head;
  line += '\t' + Escape(source->source);
  std::snprintf(head, sizeof head, "\t%u\t%u\t%u\t%u", type, category, eventId, dataSize);
  line += head;
  for (WORD i = 0; i < numStrings; ++i) line += '\t' + Escape(strings[i]);
  line += '\n';

  std::string folder = LogFolder();
  if (folder.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(LogLock());
  if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  std::string path = folder + "/Application.log";
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) {
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  struct stat before {};
  ::fstat(fd, &before);
  ssize_t n = ::write(fd, line.data(), line.size());
  bool ok = n == static_cast<ssize_t>(line.size());
  if (!ok && n > 0) {
    // a short append is taken back: the log holds whole lines only
    if (::ftruncate(fd, before.st_size) != 0) ok = false;
  }
  ::close(fd);
  if (!ok) {
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  return TRUE;
}

KP_API DWORD KpEventLogCount(void) {
  std::lock_guard<std::mutex> guard(LogLock());
  return static_cast<DWORD>(ReadLines().size());
}

KP_API BOOL KpEventLogRead(DWORD index, KP_EVENT_RECORD* record) {
  if (record == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<std::string> lines;
  {
    std::lock_guard<std::mutex> guard(LogLock());
    lines = ReadLines();
  }
  if (index >= lines.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  std::vector<std::string> f = Split(lines[index]);
  KP_EVENT_RECORD r{};
  unsigned long type, category, id, size;
  std::string source;
  if (f.size() < 6 || !ParseTime(f[0], &r.time) || !Unescape(f[1], &source) || !ParseNumber(f[2], 0xFFFF, &type) ||
      !ParseNumber(f[3], 0xFFFF, &category) || !ParseNumber(f[4], 0xFFFFFFFFul, &id) ||
      !ParseNumber(f[5], 0xFFFFFFFFul, &size)) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  r.type = static_cast<WORD>(type);
  r.category = static_cast<WORD>(category);
  r.eventId = static_cast<DWORD>(id);
  r.dataSize = static_cast<DWORD>(size);
  auto decoded = kp::PathFromUtf8(source);
  if (!decoded) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  const std::u16string& wsource = *decoded;
  if (wsource.size() + 1 > sizeof r.source / sizeof r.source[0]) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(r.source, wsource.c_str(), (wsource.size() + 1) * sizeof(WCHAR));
  size_t at = 0;
  for (size_t i = 6; i < f.size(); ++i) {
    std::string text;
    if (!Unescape(f[i], &text)) {
      SetLastError(ERROR_INVALID_DATA);
      return FALSE;
    }
    auto w16 = kp::PathFromUtf8(text);
    if (!w16) {
      SetLastError(ERROR_INVALID_DATA);
      return FALSE;
    }
    const std::u16string& w = *w16;
    if (at + w.size() + 1 > sizeof r.strings / sizeof r.strings[0]) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    std::memcpy(r.strings + at, w.c_str(), (w.size() + 1) * sizeof(WCHAR));
    at += w.size() + 1;
    r.stringCount++;
  }
  *record = r;
  return TRUE;
}
