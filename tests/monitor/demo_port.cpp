// kestrel-demo-port: the language monitor on a port. It starts the loopback
// PJL printer, loads kmonant through the monitor host, prints a small job on
// a TCP port, and shows what the printer received and what it reported back.
#include <kplatform/kwindows.h>
#include <kplatform/monitor_host.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

LONG AskDword(HANDLE monitor, HANDLE port, const char16_t* name) {
  LONG v = 0;
  DWORD got = 0;
  KpMonitorGetPrinterData(monitor, port, name, reinterpret_cast<BYTE*>(&v), 4, &got);
  return v;
}

}  // namespace

int main() {
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
    // Until the renderer and the job processor make real jobs, the monitor
    // wraps a stand-in whose body says what it is.
    std::string job = ") HP-PCL XL;2;1;Comment demo page\r\n<stand-in body: no document output yet>";
    std::printf("sending a stand-in job body (the renderer writes no document yet and the job processor is not built)\n");
    DWORD id = KpMonitorAddJob(u"Kestrel K350", u"demo.txt", u"demo user");
    if (!KpMonitorPrintJob(monitor, port, u"Kestrel K350", id, job.data(), static_cast<DWORD>(job.size()), 4096)) {
      std::fprintf(stderr, "the job failed (error %u)\n", GetLastError());
      rc = 1;
    }
    printer.waitUntil([&] { return !printer.finishedJobs().empty(); }, 5000);
    for (const std::string& bytes : printer.jobs()) std::printf("printer received:\n    %s\n", Visible(bytes).c_str());
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
