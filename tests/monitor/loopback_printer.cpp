#include "loopback_printer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace kestrel::test {

namespace {
const std::string kUel = "\x1b%-12345X";

bool StartsWith(const std::string& s, const char* p) { return s.rfind(p, 0) == 0; }

std::string Quoted(const std::string& line, const char* key) {
  size_t at = line.find(key);
  if (at == std::string::npos) return "";
  at += std::strlen(key);
  size_t end = line.find('"', at);
  return line.substr(at, end == std::string::npos ? std::string::npos : end - at);
}
}  // namespace

struct LoopbackPrinter::Conn {
  int fd = -1;
  std::string bytes;
  bool job = false;
  bool ustatusJob = false, ustatusPage = false, ustatusDevice = false;
  std::string jobName;
  std::atomic<bool> done{false};
};

LoopbackPrinter::LoopbackPrinter() {
  listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listen_, 16) != 0) {
    ::close(listen_);
    listen_ = -1;
    return;
  }
  socklen_t len = sizeof addr;
  ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackPrinter::~LoopbackPrinter() {
  stop_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> g(lock_);
    workers.swap(workers_);
  }
  for (auto& w : workers) w.join();
  if (listen_ >= 0) ::close(listen_);
}

void LoopbackPrinter::setMode(PrinterMode mode, int delayMs) {
  std::lock_guard<std::mutex> g(lock_);
  mode_ = mode;
  delayMs_ = delayMs;
}

void LoopbackPrinter::update(const std::function<void(PrinterState&)>& change) {
  std::lock_guard<std::mutex> g(lock_);
  change(state_);
}

void LoopbackPrinter::closeJobsAfter(size_t bytes) {
  std::lock_guard<std::mutex> g(lock_);
  closeAfter_ = bytes;
}

PrinterState LoopbackPrinter::state() {
  std::lock_guard<std::mutex> g(lock_);
  return state_;
}

std::vector<std::string> LoopbackPrinter::connections() {
  std::lock_guard<std::mutex> g(lock_);
  std::vector<std::string> out;
  for (auto& c : conns_) out.push_back(c->bytes);
  return out;
}

std::vector<std::string> LoopbackPrinter::commands() {
  std::lock_guard<std::mutex> g(lock_);
  return commands_;
}

std::vector<std::string> LoopbackPrinter::jobs() {
  std::lock_guard<std::mutex> g(lock_);
  std::vector<std::string> out;
  for (auto& c : conns_)
    if (c->job) out.push_back(c->bytes);
  return out;
}

std::vector<std::string> LoopbackPrinter::finishedJobs() {
  std::lock_guard<std::mutex> g(lock_);
  std::vector<std::string> out;
  for (auto& c : conns_)
    if (c->job && c->done) out.push_back(c->bytes);
  return out;
}

bool LoopbackPrinter::waitUntil(const std::function<bool()>& ready, int ms) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return ready();
}

void LoopbackPrinter::acceptLoop() {
  while (!stop_) {
    pollfd p{listen_, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto conn = std::make_shared<Conn>();
    conn->fd = fd;
    std::lock_guard<std::mutex> g(lock_);
    conns_.push_back(conn);
    workers_.emplace_back([this, conn] { serve(conn); });
  }
}

void LoopbackPrinter::serve(std::shared_ptr<Conn> conn) {
  bool pjl = false;  // between a UEL and the job's data
  size_t scan = 0;
  char buf[65536];
  while (!stop_) {
    PrinterMode mode;
    {
      std::lock_guard<std::mutex> g(lock_);
      mode = mode_;
    }
    if (mode == PrinterMode::StopReading) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    pollfd p{conn->fd, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    ssize_t n = ::recv(conn->fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    if (mode == PrinterMode::Reset) {
      linger l{1, 0};
      ::setsockopt(conn->fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
      break;
    }
    std::string lines;
    {
      std::lock_guard<std::mutex> g(lock_);
      conn->bytes.append(buf, static_cast<size_t>(n));
    }
    // Commands: "@PJL" lines after a UEL, up to "@PJL ENTER" or the first
    // byte that is not PJL.
    for (;;) {
      std::string bytes;
      {
        std::lock_guard<std::mutex> g(lock_);
        bytes = conn->bytes;
      }
      if (!pjl) {
        size_t u = bytes.find(kUel, scan);
        if (u == std::string::npos) {
          if (bytes.size() > scan) {
            std::lock_guard<std::mutex> g(lock_);
            conn->job = true;  // data outside PJL
          }
          scan = bytes.size() > 8 ? std::max(scan, bytes.size() - 8) : scan;
          break;
        }
        if (u > scan) {
          std::lock_guard<std::mutex> g(lock_);
          conn->job = true;
        }
        scan = u + kUel.size();
        pjl = true;
        continue;
      }
      while (scan < bytes.size() && (bytes[scan] == '\r' || bytes[scan] == '\n')) ++scan;
      if (bytes.compare(scan, kUel.size(), kUel) == 0) {
        scan += kUel.size();
        continue;
      }
      size_t have = bytes.size() - scan;
      if (have == 0) break;
      if (bytes.compare(scan, std::min<size_t>(have, 4), std::string("@PJL").substr(0, std::min<size_t>(have, 4))) !=
          0) {
        pjl = false;  // the job's data begins
        continue;
      }
      size_t nl = bytes.find('\n', scan);
      if (nl == std::string::npos) break;
      std::string line = bytes.substr(scan, nl - scan);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      scan = nl + 1;
      handle(*conn, line);
      if (StartsWith(line, "@PJL ENTER")) pjl = false;
    }
    {
      std::lock_guard<std::mutex> g(lock_);
      if (closeAfter_ != 0 && conn->job && conn->bytes.size() >= closeAfter_) break;
    }
  }
  ::close(conn->fd);
  conn->done = true;
}

void LoopbackPrinter::reply(Conn& conn, std::string text) {
  PrinterMode mode;
  int delay;
  {
    std::lock_guard<std::mutex> g(lock_);
    mode = mode_;
    delay = delayMs_;
  }
  if (mode == PrinterMode::NeverEnd && !text.empty() && text.back() == '\f') text.pop_back();
  if (mode == PrinterMode::Hostile) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
      if (text[i] >= '0' && text[i] <= '9' && (i == 0 || text[i - 1] == '=' || text[i - 1] == '\n' ||
                                               text[i - 1] == ' ')) {
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        out += "99999999999999999999";
      } else {
        out += text[i++];
      }
    }
    text = out;
  }
  if (mode == PrinterMode::Delay) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  if (mode == PrinterMode::SplitBytes) {
    for (char c : text) {
      if (::send(conn.fd, &c, 1, MSG_NOSIGNAL) != 1) return;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return;
  }
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::send(conn.fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void LoopbackPrinter::handle(Conn& conn, const std::string& line) {
  PrinterState s;
  {
    std::lock_guard<std::mutex> g(lock_);
    commands_.push_back(line);
    s = state_;
  }
  auto status = [&] {
    return "CODE=" + s.code + "\r\nDISPLAY=\"" + s.display + "\"\r\nONLINE=" + s.online + "\r\n";
  };
  if (line == "@PJL USTATUS JOB=ON") conn.ustatusJob = true;
  else if (line == "@PJL USTATUS PAGE=ON") conn.ustatusPage = true;
  else if (line == "@PJL USTATUS DEVICE=ON") conn.ustatusDevice = true;
  else if (line == "@PJL INFO STATUS") reply(conn, "@PJL INFO STATUS\r\n" + status() + "\f");
  else if (line == "@PJL INFO CONFIG") reply(conn, "@PJL INFO CONFIG\r\n" + s.config + "\f");
  else if (line == "@PJL INFO VARIABLES") reply(conn, "@PJL INFO VARIABLES\r\n" + s.variables + "\f");
  else if (line == "@PJL INFO ID") reply(conn, "@PJL INFO ID\r\n" + s.id + "\r\n\f");
  else if (line == "@PJL INFO PAGECOUNT") reply(conn, "@PJL INFO PAGECOUNT\r\n" + s.pageCount + "\r\n\f");
  else if (StartsWith(line, "@PJL ECHO")) reply(conn, line + "\r\n\f");
  else if (StartsWith(line, "@PJL INQUIRE ")) {
    std::string var = line.substr(13);
    auto it = s.inquire.find(var);
    reply(conn, "@PJL INQUIRE " + var + "\r\n" + (it == s.inquire.end() ? "?" : it->second) + "\r\n\f");
  } else if (StartsWith(line, "@PJL JOB") || StartsWith(line, "@PJL SET JOBATTR=\"@JCID=")) {
    {
      std::lock_guard<std::mutex> g(lock_);
      conn.job = true;
    }
    conn.jobName = StartsWith(line, "@PJL JOB") ? Quoted(line, "NAME=\"") : Quoted(line, "@JCID=");
    if (conn.ustatusJob) reply(conn, "@PJL USTATUS JOB\r\nSTART\r\nNAME=\"" + conn.jobName + "\"\r\n\f");
    if (conn.ustatusJob && s.cancelJobs)
      reply(conn, "@PJL USTATUS JOB\r\nEND\r\nCANCELED\r\nNAME=\"" + conn.jobName + "\"\r\n\f");
  } else if (StartsWith(line, "@PJL EOJ")) {
    if (conn.ustatusPage)
      for (unsigned p = 1; p <= s.pagesPerJob; ++p) reply(conn, "@PJL USTATUS PAGE\r\n" + std::to_string(p) + "\r\n\f");
    if (conn.ustatusJob && s.endJobs)
      reply(conn, "@PJL USTATUS JOB\r\nEND\r\nNAME=\"" + conn.jobName + "\"\r\nPAGES=" +
                      std::to_string(s.pagesPerJob) + "\r\nRESULT=OK\r\n\f");
  }
}

}  // namespace kestrel::test
