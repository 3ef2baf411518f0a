// The fixture every monitor test uses: a fresh platform root, the library
// under test (named on the command line: kmonant, kmonbnt, kmona9x or
// kmonb9x) installed and loaded through the monitor host, and helpers to
// open ports, print jobs and ask for values.
#pragma once

#include <gtest/gtest.h>
#include <kplatform/kwindows.h>
#include <kplatform/monitor_host.h>

#include <string>

#include "loopback_printer.h"
#include "temp_root.h"

namespace kestrel::test {

extern std::string g_library;

std::u16string U16(const std::string& s);

class MonitorTest : public RootedTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Port options through the registry ("MyPortMode"; 0 removes it) and the
  // job counts ("JobCopies", "JobQty"; -1 removes them).
  void setPortMode(DWORD mode);
  void setCounts(DWORD copies, DWORD qty);
  // Installs the status-manager double (PRSTATMG.DLL) with a fail mode
  // (0 none, 1 the open fails, 2 updates fail, 3 registrations are refused).
  void installStatmgr(int failMode);
  // The double's last data of a record ("" when never sent).
  std::string statmgrRecord(const char* name);
  // How often the double got a record; its live notification registrations
  // for a printer (null: all); calls their callbacks (answers how many).
  int statmgrSends(const char* name);
  int statmgrRegistrations(const char* printer);
  int statmgrNotify(const char* printer);

  // The monitor's registry root (HKEY_LOCAL_MACHINE) as the fixture loads it,
  // and values under it or any other key (a null value removes it).
  static const char16_t kRoot[];
  void setValue(const char16_t* key, const char16_t* name, DWORD type, const void* data, DWORD size);
  void setString(const char16_t* key, const char16_t* name, const char16_t* text);
  // Loads the library again: its entry runs again (and reads the registry).
  void reload();
  // 'A' or 'B': the model the library under test is built for.
  char model() const;

  bool openPort(const std::u16string& name, HANDLE* port, const char16_t* printer = u"Kestrel K350");
  // A TCP port named `name` (the name decides the port type) on the printer.
  bool openTcp(const std::u16string& name, LoopbackPrinter& printer, HANDLE* port);
  bool close(HANDLE port) { return table_->pfnClosePort(port) != FALSE; }
  // Prints a job as the spooler does; answers its job id (0 when it failed).
  DWORD print(HANDLE port, const std::string& data, const char16_t* user = u"user", DWORD chunk = 4096,
              const char16_t* printer = u"Kestrel K350");
  // GetPrinterDataFromPort with control code 0: the result, last error,
  // answer bytes and size returned.
  struct Answer {
    BOOL result;
    DWORD error;
    std::string bytes;
    DWORD returned;
    LONG dword() const;
  };
  Answer ask(HANDLE port, const char16_t* name, DWORD outSize);

  HANDLE monitor_ = nullptr;
  const MONITOR* table_ = nullptr;
  size_t baselineBlocks_ = 0;
  size_t baselineHandles_ = 0;
  HMODULE statmgr_ = nullptr;
};

}  // namespace kestrel::test
