// The port monitor beneath a language monitor: raw TCP and file ports.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "kernel32/clock.h"
#include "kplatform/kernel32_file.h"
#include "kplatform/kernel32_sync.h"
#include "kplatform/kernel32_time.h"
#include "kplatform/monitor_host.h"

namespace {

std::u16string Upper(LPCWSTR text) {
  std::u16string out;
  for (; text != nullptr && *text != 0; ++text) {
    char16_t c = *text;
    out.push_back(c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c);
  }
  return out;
}

struct PortDef {
  bool tcp = false;
  std::string ip;
  WORD tcpPort = 0;
  std::u16string path;
  KP_PORT_FAULTS faults{};
  KP_PORT_STATS stats{};
};

struct PortHandle {
  std::u16string name;  // upper case
  int sock = -1;
  HANDLE file = INVALID_HANDLE_VALUE;
  bool docOpen = false;
  std::mutex io;  // one call at a time on a handle
};

struct State {
  std::mutex lock;
  std::map<std::u16string, PortDef> ports;
  std::set<PortHandle*> handles;
  DWORD readTimeout = 1000;
};

State& S() {
  static State* s = new State();  // lives as long as the process
  return *s;
}

PortHandle* Find(HANDLE h) {
  auto* p = static_cast<PortHandle*>(h);
  std::lock_guard<std::mutex> g(S().lock);
  return S().handles.count(p) ? p : nullptr;
}

// Copies of a port's definition and a change of its counts, under the lock.
bool Def(const std::u16string& name, PortDef* out) {
  std::lock_guard<std::mutex> g(S().lock);
  auto it = S().ports.find(name);
  if (it == S().ports.end()) return false;
  *out = it->second;
  return true;
}

template <class F>
void Update(const std::u16string& name, F f) {
  std::lock_guard<std::mutex> g(S().lock);
  auto it = S().ports.find(name);
  if (it != S().ports.end()) f(it->second);
}

// How long the end of a TCP document waits for the printer to close its side.
constexpr int kLingerMs = 3000;

// The end of a TCP document is a graceful close: our side is shut for
// writing, then what the printer still sends (late status replies nobody
// reads any more) is read and dropped until it closes its side. Closing a
// socket with unread bytes would reset the connection, and a reset makes
// the printer drop the job's bytes it has not read yet: the job would be
// cut short while the port reported it sent.
void CloseSocket(int sock) {
  ::shutdown(sock, SHUT_WR);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLingerMs);
  char drop[4096];
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    pollfd pfd{sock, POLLIN, 0};
    const int r = ::poll(&pfd, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    const ssize_t n = ::recv(sock, drop, sizeof drop, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (n <= 0) break;  // the printer closed its side, or the connection failed
  }
  ::close(sock);
}

void CloseDoc(PortHandle* p) {
  if (p->sock >= 0) {
    CloseSocket(p->sock);
    p->sock = -1;
  }
  if (p->file != INVALID_HANDLE_VALUE) {
    CloseHandle(p->file);
    p->file = INVALID_HANDLE_VALUE;
  }
  if (p->docOpen) Update(p->name, [](PortDef& d) { d.stats.docsOpen--; });
  p->docOpen = false;
}

// Real milliseconds for a wait of `clockMs` on the stand-in's clock, at least
// `floorMs` (a socket answers in real time, whatever the scale).
int RealWait(DWORD clockMs, int floorMs) {
  auto until = kp::DeadlineAfter(clockMs);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(until - kp::RealClock::now()).count();
  return static_cast<int>(std::max<long long>(ms, floorMs));
}

BOOL WINAPI PmOpenPort(LPWSTR name, PHANDLE handle) {
  if (name == nullptr || handle == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string key = Upper(name);
  std::lock_guard<std::mutex> g(S().lock);
  auto it = S().ports.find(key);
  if (it == S().ports.end()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (it->second.faults.failOpen) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  auto* p = new PortHandle();
  p->name = key;
  S().handles.insert(p);
  it->second.stats.openHandles++;
  it->second.stats.opens++;
  *handle = p;
  return TRUE;
}

BOOL WINAPI PmStartDocPort(HANDLE port, LPWSTR, DWORD, DWORD, LPBYTE) {
  PortHandle* p = Find(port);
  if (p == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> io(p->io);
  PortDef def;
  if (!Def(p->name, &def)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (def.faults.failStartDoc) {
    SetLastError(ERROR_NOT_READY);
    return FALSE;
  }
  if (p->docOpen) CloseDoc(p);
  if (def.tcp) {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
      SetLastError(ERROR_NOT_READY);
      return FALSE;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(def.tcpPort);
    if (::inet_pton(AF_INET, def.ip.c_str(), &addr.sin_addr) != 1 ||
        ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      ::close(s);
      SetLastError(ERROR_NOT_READY);
      return FALSE;
    }
    int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    p->sock = s;
  } else {
    HANDLE f = CreateFileW(def.path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return FALSE;  // the file layer's error stands
    SetFilePointer(f, 0, nullptr, FILE_END);
    p->file = f;
  }
  p->docOpen = true;
  Update(p->name, [](PortDef& d) {
    d.stats.startDocs++;
    d.stats.docsOpen++;
  });
  return TRUE;
}

BOOL WINAPI PmWritePort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD written) {
  PortHandle* p = Find(port);
  if (p == nullptr || written == nullptr || (buffer == nullptr && size != 0)) {
    SetLastError(p == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *written = 0;
  std::lock_guard<std::mutex> io(p->io);
  KP_PORT_FAULTS f{};
  bool stall = false, fail = false;
  {
    std::lock_guard<std::mutex> g(S().lock);
    auto it = S().ports.find(p->name);
    if (it != S().ports.end()) {
      f = it->second.faults;
      it->second.stats.writeCalls++;
      if (it->second.faults.failWrites > 0) {
        it->second.faults.failWrites--;
        fail = true;
      } else if (it->second.faults.stallWrites > 0) {
        it->second.faults.stallWrites--;
        stall = true;
      }
    }
  }
  if (!p->docOpen) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (fail) {
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  if (stall) return TRUE;
  DWORD take = size;
  if (f.maxWrite != 0) take = std::min(take, f.maxWrite);
  if (p->sock >= 0) {
    DWORD done = 0;
    while (done < take) {
      ssize_t n = ::send(p->sock, buffer + done, take - done, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        *written = done;
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
      }
      done += static_cast<DWORD>(n);
    }
    *written = done;
  } else {
    DWORD n = 0;
    if (!WriteFile(p->file, buffer, take, &n, nullptr)) {
      *written = n;
      return FALSE;
    }
    *written = n;
  }
  DWORD w = *written;
  Update(p->name, [w](PortDef& d) { d.stats.bytesWritten += w; });
  return TRUE;
}

BOOL WINAPI PmReadPort(HANDLE port, LPBYTE buffer, DWORD size, LPDWORD read) {
  PortHandle* p = Find(port);
  if (p == nullptr || read == nullptr || (buffer == nullptr && size != 0)) {
    SetLastError(p == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *read = 0;
  std::lock_guard<std::mutex> io(p->io);
  PortDef def;
  DWORD timeout;
  {
    std::lock_guard<std::mutex> g(S().lock);
    timeout = S().readTimeout;
  }
  if (!Def(p->name, &def)) def = PortDef{};
  if (def.faults.readBlockMs != 0) Sleep(def.faults.readBlockMs);
  if (!p->docOpen) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (p->sock < 0 || size == 0) return TRUE;  // a file port has no back channel
  pollfd pfd{p->sock, POLLIN, 0};
  int r;
  do {
    r = ::poll(&pfd, 1, RealWait(timeout, 20));
  } while (r < 0 && errno == EINTR);
  if (r <= 0) return TRUE;
  ssize_t n;
  do {
    n = ::recv(p->sock, buffer, size, MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK) return TRUE;
    SetLastError(ERROR_READ_FAULT);
    return FALSE;
  }
  *read = static_cast<DWORD>(n);  // 0: the printer closed its side
  return TRUE;
}

BOOL WINAPI PmEndDocPort(HANDLE port) {
  PortHandle* p = Find(port);
  if (p == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> io(p->io);
  CloseDoc(p);
  return TRUE;
}

BOOL WINAPI PmClosePort(HANDLE port) {
  PortHandle* p = Find(port);
  if (p == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> io(p->io);
    CloseDoc(p);
  }
  {
    std::lock_guard<std::mutex> g(S().lock);
    S().handles.erase(p);
    auto it = S().ports.find(p->name);
    if (it != S().ports.end()) it->second.stats.openHandles--;
  }
  delete p;
  return TRUE;
}

BOOL WINAPI PmGetPrinterDataFromPort(HANDLE port, DWORD, LPWSTR, LPWSTR, DWORD, LPWSTR, DWORD, LPDWORD) {
  SetLastError(Find(port) == nullptr ? ERROR_INVALID_HANDLE : ERROR_NOT_SUPPORTED);
  return FALSE;
}

MONITOR g_table = {
    nullptr,          PmOpenPort, nullptr, PmStartDocPort, PmWritePort, PmReadPort, PmEndDocPort,
    PmClosePort,      nullptr,    nullptr, nullptr,        nullptr,     PmGetPrinterDataFromPort,
    nullptr,
};

}  // namespace

KP_API LPMONITOR KpPortMonitor(void) { return &g_table; }

KP_API BOOL KpPortDefineTcp(LPCWSTR portName, const char* ipv4, WORD tcpPort) {
  in_addr a{};
  if (portName == nullptr || *portName == 0 || ipv4 == nullptr || ::inet_pton(AF_INET, ipv4, &a) != 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  PortDef d;
  d.tcp = true;
  d.ip = ipv4;
  d.tcpPort = tcpPort;
  std::lock_guard<std::mutex> g(S().lock);
  auto& slot = S().ports[Upper(portName)];
  d.stats = slot.stats;
  slot = d;
  return TRUE;
}

KP_API BOOL KpPortDefineFile(LPCWSTR portName, LPCWSTR windowsPath) {
  if (portName == nullptr || *portName == 0 || windowsPath == nullptr || *windowsPath == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  PortDef d;
  d.path = windowsPath;
  std::lock_guard<std::mutex> g(S().lock);
  auto& slot = S().ports[Upper(portName)];
  d.stats = slot.stats;
  slot = d;
  return TRUE;
}

KP_API void KpPortReset(void) {
  std::lock_guard<std::mutex> g(S().lock);
  S().ports.clear();
  S().readTimeout = 1000;
}

KP_API BOOL KpPortSetFaults(LPCWSTR portName, const KP_PORT_FAULTS* faults) {
  std::lock_guard<std::mutex> g(S().lock);
  auto it = S().ports.find(Upper(portName));
  if (it == S().ports.end()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  it->second.faults = faults ? *faults : KP_PORT_FAULTS{};
  return TRUE;
}

KP_API void KpPortSetReadTimeout(DWORD milliseconds) {
  std::lock_guard<std::mutex> g(S().lock);
  S().readTimeout = milliseconds;
}

KP_API BOOL KpPortGetStats(LPCWSTR portName, KP_PORT_STATS* stats) {
  std::lock_guard<std::mutex> g(S().lock);
  auto it = S().ports.find(Upper(portName));
  if (it == S().ports.end() || stats == nullptr) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  *stats = it->second.stats;
  return TRUE;
}
