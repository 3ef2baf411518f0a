// A PJL printer on 127.0.0.1 for tests and the demo: it listens on an
// ephemeral port, takes jobs, records every byte and every PJL command, and
// answers status requests from a state model that tests change.
//
// Answers: @PJL INFO STATUS, USTATUS DEVICE/JOB/PAGE (after "=ON" in the same
// connection: JOB START at "@PJL JOB" or a job control id, PAGE and JOB END
// at "@PJL EOJ"), INFO CONFIG, INFO VARIABLES, INFO ID, INQUIRE, INFO
// PAGECOUNT and ECHO. Every reply ends with a form feed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kestrel::test {

struct PrinterState {
  std::string code = "10001";
  std::string display = "READY";
  std::string online = "TRUE";
  // the lines of the INFO CONFIG and INFO VARIABLES replies (CR LF each)
  std::string config =
      "IN TRAYS [2 ENUMERATED]\r\n\tINTRAY1 TYPE=NORMAL NAME=\"TRAY 1\"\r\n\tINTRAY2 TYPE=LARGE NAME=\"LCT\"\r\n"
      "DUPLEX\r\nOUT TRAYS [1 ENUMERATED]\r\n\tOUTTRAY1\r\nMEMORY=67108864\r\nRAMDISK=0\r\n"
      "LANGUAGES [1 ENUMERATED]\r\n\tPCLXL\r\n";
  std::string variables = "COPIES=1 [2 RANGE]\r\n\t1\r\n\t999\r\nORIENTATION=PORTRAIT [2 ENUMERATED]\r\n"
                          "\tPORTRAIT\r\n\tLANDSCAPE\r\nECONOMODE=OFF\r\n";
  std::map<std::string, std::string> inquire = {{"COPIES", "1"}};
  std::string id = "\"Scriva K350\"";
  std::string pageCount = "1200";
  unsigned pagesPerJob = 2;
  bool endJobs = true;      // false: a job's end is never reported
  bool cancelJobs = false;  // true: every job is reported cancelled as it starts
};

enum class PrinterMode {
  Normal,
  SplitBytes,   // every reply goes out one byte per send
  Delay,        // every reply waits `delayMs` first
  NeverEnd,     // replies lose their form feed
  Hostile,      // every number in a reply becomes 99999999999999999999
  StopReading,  // the printer stops reading (the sender's buffers fill)
  Reset,        // the next bytes received make the printer reset the connection
};

class LoopbackPrinter {
 public:
  LoopbackPrinter();
  ~LoopbackPrinter();
  LoopbackPrinter(const LoopbackPrinter&) = delete;
  LoopbackPrinter& operator=(const LoopbackPrinter&) = delete;

  uint16_t port() const { return port_; }
  void setMode(PrinterMode mode, int delayMs = 0);
  void update(const std::function<void(PrinterState&)>& change);
  // A printer that drops the job: a connection carrying a job is closed by
  // the printer once it has received at least `bytes` bytes (0: never).
  void closeJobsAfter(size_t bytes);
  PrinterState state();

  // Every connection's bytes, in the order the connections came.
  std::vector<std::string> connections();
  // Every PJL command line received (without CR LF), in order.
  std::vector<std::string> commands();
  // The bytes of the connections that carried a job (a "@PJL JOB", a job
  // control id or any byte outside PJL).
  std::vector<std::string> jobs();
  // The same, only those whose connection the sender has closed.
  std::vector<std::string> finishedJobs();
  // Waits (real time, at most `ms`) until `ready` holds.
  bool waitUntil(const std::function<bool()>& ready, int ms);

 private:
  struct Conn;
  void acceptLoop();
  void serve(std::shared_ptr<Conn> conn);
  void handle(Conn& conn, const std::string& line);
  void reply(Conn& conn, std::string text);

  int listen_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread acceptor_;
  std::mutex lock_;
  std::condition_variable changed_;
  PrinterState state_;
  PrinterMode mode_ = PrinterMode::Normal;
  int delayMs_ = 0;
  size_t closeAfter_ = 0;
  std::vector<std::shared_ptr<Conn>> conns_;
  std::vector<std::thread> workers_;
  std::vector<std::string> commands_;
};

}  // namespace kestrel::test
