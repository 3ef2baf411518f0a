// kestrel-demo-port: the language monitor on a port. It starts the loopback
// PJL printer, loads kmonant through the monitor host, prints a job on a TCP
// port, and shows what the printer received and what it reported back.
//
//   kestrel-demo-port [JOB [RECEIVED]]
//
// The job is the spool step's (the build folder's demo/spool-job.pcl by
// default: kestrelum's job, which has no PJL frame of its own); without that
// file a stand-in body is sent, and the program says so. When the spool
// step's job was sent, the job the printer received (the monitor's PJL frame
// around it) is written to RECEIVED (demo/printer-job.pcl by default) for
// scripts/demo's check as a whole printer job; otherwise that file is
// removed, so no earlier run's job is checked.
#include <kplatform/kwindows.h>
#include <kplatform/monitor_host.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "loopback_printer.h"

namespace {

std::string Visible(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c == '\n') out += "\\n\n    ";
    else if (c == '\r') out += "\\r";
    else if (c == 0x1B) out += "<ESC>";
    else if (c == '\f') out += "<FF>";
    else if (c < 0x20 || c > 0x7E) {
      char b[8];
      std::snprintf(b, sizeof b, "<%02X>", c);
      out += b;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// What the printer received, with the spool step's job (found whole inside
// it) shown by its size: the PJL frame around it stays readable.
std::string Shown(const std::string& received, const std::string& job, bool jobIsFile) {
  const size_t at = jobIsFile ? received.find(job) : std::string::npos;
  if (at == std::string::npos) return Visible(received);
  return Visible(received.substr(0, at)) + "[the spool step's job: " + std::to_string(job.size()) +
         " bytes, unchanged]" + Visible(received.substr(at + job.size()));
}

LONG AskDword(HANDLE monitor, HANDLE port, const char16_t* name) {
  LONG v = 0;
  DWORD got = 0;
  KpMonitorGetPrinterData(monitor, port, name, reinterpret_cast<BYTE*>(&v), 4, &got);
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string jobPath = argc > 1 ? argv[1] : std::string(KESTREL_DEMO_DIR) + "/spool-job.pcl";
  const std::string receivedPath = argc > 2 ? argv[2] : std::string(KESTREL_DEMO_DIR) + "/printer-job.pcl";
  std::error_code ec;
  std::filesystem::remove(receivedPath, ec);
  char pattern[] = "/tmp/kestrel-demo-port-XXXXXX";
  if (mkdtemp(pattern) == nullptr || !KpSetRoot(pattern)) {
    std::fprintf(stderr, "cannot make a platform root\n");
    return 1;
  }
  int rc = 0;
  {
    kestrel::test::LoopbackPrinter printer;
    std::printf("loopback printer listening on 127.0.0.1:%u\n", printer.port());
    if (!KpInstallModule("libkmonant.so", nullptr)) {
      std::fprintf(stderr, "kmonant is not built\n");
      return 1;
    }
    HANDLE monitor = KpMonitorLoad(u"kmonant.dll", u"System\\CurrentControlSet\\Control\\Print\\Monitors\\Kestrel");
    HANDLE port = nullptr;
    KpPortDefineTcp(u"IP_127.0.0.1:", "127.0.0.1", printer.port());
    if (monitor == nullptr || !KpMonitorOpenPort(monitor, u"IP_127.0.0.1:", u"Kestrel K350", &port)) {
      std::fprintf(stderr, "cannot open the port through kmonant (error %u)\n", GetLastError());
      return 1;
    }
    std::string job;
    std::ifstream file(jobPath, std::ios::binary);
    const bool jobIsFile = static_cast<bool>(file);
    if (jobIsFile) {
      job.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
      std::printf("sending the spool step's job: %s, %zu bytes\n", jobPath.c_str(), job.size());
    } else {
      // Without the spool step's job the monitor wraps a stand-in whose body
      // says what it is.
      job = ") HP-PCL XL;2;1;Comment demo page\r\n<stand-in body: no document output yet>";
      std::printf("no spool step's job at %s: sending a stand-in job body\n", jobPath.c_str());
    }
    DWORD id = KpMonitorAddJob(u"Kestrel K350", u"demo.txt", u"demo user");
    if (!KpMonitorPrintJob(monitor, port, u"Kestrel K350", id, job.data(), static_cast<DWORD>(job.size()), 4096)) {
      std::fprintf(stderr, "the job failed (error %u)\n", GetLastError());
      rc = 1;
    }
    printer.waitUntil([&] { return !printer.finishedJobs().empty(); }, 5000);
    const std::vector<std::string> received = printer.finishedJobs();
    for (const std::string& bytes : received)
      std::printf("printer received:\n    %s\n", Shown(bytes, job, jobIsFile).c_str());
    if (jobIsFile && rc == 0) {
      if (received.size() != 1 || received[0].find(job) == std::string::npos) {
        std::fprintf(stderr, "the printer did not receive the spool step's job whole in one job\n");
        rc = 1;
      } else {
        std::ofstream out(receivedPath, std::ios::binary | std::ios::trunc);
        out.write(received[0].data(), static_cast<std::streamsize>(received[0].size()));
        out.close();
        if (!out) {
          std::fprintf(stderr, "cannot write %s\n", receivedPath.c_str());
          rc = 1;
        } else {
          std::printf("the job the printer received is in %s\n", receivedPath.c_str());
        }
      }
    }
    std::printf("PJL commands the printer saw:\n");
    for (const std::string& c : printer.commands()) std::printf("    %s\n", c.c_str());
    char name[33] = {};
    DWORD got = 0;
    KpMonitorGetPrinterData(monitor, port, u"LM_SysName", reinterpret_cast<BYTE*>(name), 32, &got);
    std::printf("the printer reported: system name \"%s\", %ld MB memory, duplex module %s, %ld input trays\n", name,
                static_cast<long>(AskDword(monitor, port, u"LM_MemorySizeInMByte")),
                (AskDword(monitor, port, u"LM_DuplexModule") & 0xFFFF) ? "present" : "absent",
                static_cast<long>(AskDword(monitor, port, u"LM_InputTray")));
    KpMonitorClosePort(monitor, port);
    KpMonitorUnload(monitor);
  }
  std::filesystem::remove_all(pattern);
  return rc;
}
