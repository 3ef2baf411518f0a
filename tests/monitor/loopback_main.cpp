// kestrel-loopback-printer: the loopback PJL printer as a program of its
// own, for scripts/demo's road step (kprint sends the sample to it over TCP).
//
//   kestrel-loopback-printer RECEIVED [SECONDS [LINGER]]
//
// Listens on 127.0.0.1 at a free port and says which on its first line
// ("listening on 127.0.0.1:PORT"); waits at most SECONDS (default 60) for
// one job whose connection the sender closed, writes that job's bytes to
// RECEIVED, keeps answering status requests for LINGER seconds more
// (default 5: the sender's monitor asks for status after the job) and lists
// the PJL commands the printer saw. Exit status 0 when a job arrived and
// was written, 1 otherwise (RECEIVED is then removed).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "loopback_printer.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: kestrel-loopback-printer RECEIVED [SECONDS [LINGER]]\n");
    return 1;
  }
  const std::string received = argv[1];
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 60;
  const int linger = argc > 3 ? std::atoi(argv[3]) : 5;
  std::error_code ec;
  std::filesystem::remove(received, ec);
  kestrel::test::LoopbackPrinter printer;
  std::printf("listening on 127.0.0.1:%u\n", printer.port());
  std::fflush(stdout);
  if (!printer.waitUntil([&] { return !printer.finishedJobs().empty(); }, (seconds > 0 ? seconds : 60) * 1000)) {
    std::fprintf(stderr, "the loopback printer received no job in %d seconds\n", seconds);
    return 1;
  }
  const std::string job = printer.finishedJobs().front();
  std::ofstream out(received, std::ios::binary | std::ios::trunc);
  out.write(job.data(), static_cast<std::streamsize>(job.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", received.c_str());
    std::filesystem::remove(received, ec);
    return 1;
  }
  std::this_thread::sleep_for(std::chrono::seconds(linger > 0 ? linger : 0));
  std::printf("the loopback printer received a job of %zu bytes (in %s); the PJL commands it saw:\n", job.size(),
              received.c_str());
  for (const std::string& c : printer.commands()) std::printf("    %s\n", c.c_str());
  return 0;
}
