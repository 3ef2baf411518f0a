#include "monitor_fixture.h"

#include <cstring>

namespace kestrel::test {

std::string g_library = "kmonant";

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

namespace {
const char16_t kPrintersKey[] = u"SOFTWARE\\Halcyra\\Tessaly-AP\\Printers";

void SetDword(const char16_t* name, DWORD value, bool remove) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPrintersKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  if (remove) RegDeleteValueW(key, name);
  else RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
  RegCloseKey(key);
}
}  // namespace

const char16_t MonitorTest::kRoot[] = u"System\\CurrentControlSet\\Control\\Print\\Monitors\\Kestrel";

void MonitorTest::SetUp() {
  // Fast enough that 30-second paths take well under a second, slow enough
  // that a loaded machine still gets a trickled reply in within its time.
  KpSetClockScale(10);
  KpPortReset();
  KpMonitorResetJobs();
  ASSERT_TRUE(KpInstallModule(("lib" + g_library + ".so").c_str(), nullptr));
  monitor_ = KpMonitorLoad(U16(g_library + ".dll").c_str(), kRoot);
  ASSERT_NE(monitor_, nullptr) << GetLastError();
  table_ = KpMonitorTable(monitor_);
  baselineBlocks_ = KpLiveBlockCount();
  baselineHandles_ = KpOpenHandleCount();
}

void MonitorTest::TearDown() {
  if (statmgr_) FreeLibrary(statmgr_);
  if (monitor_) KpMonitorUnload(monitor_);
  KpSetClockScale(1);
}

void MonitorTest::setPortMode(DWORD mode) { SetDword(u"MyPortMode", mode, mode == 0); }

void MonitorTest::setCounts(DWORD copies, DWORD qty) {
  SetDword(u"JobCopies", copies, copies == 0xFFFFFFFFu);
  SetDword(u"JobQty", qty, qty == 0xFFFFFFFFu);
}

void MonitorTest::installStatmgr(int failMode) {
  ASSERT_TRUE(KpInstallModule("libprstatmg_double.so", u"PRSTATMG.DLL"));
  if (statmgr_ == nullptr) statmgr_ = LoadLibraryW(u"PRSTATMG.DLL");
  ASSERT_NE(statmgr_, nullptr);
  auto reset = reinterpret_cast<void (*)(int)>(reinterpret_cast<void*>(GetProcAddress(statmgr_, "StatmgrDoubleReset")));
  ASSERT_NE(reset, nullptr);
  reset(failMode);
}

std::string MonitorTest::statmgrRecord(const char* name) {
  if (statmgr_ == nullptr) return "";
  auto get = reinterpret_cast<DWORD (*)(const char*, void*, DWORD)>(
      reinterpret_cast<void*>(GetProcAddress(statmgr_, "StatmgrDoubleRecord")));
  char buf[512];
  DWORD n = get(name, buf, sizeof buf);
  return std::string(buf, n < sizeof buf ? n : sizeof buf);
}

namespace {
template <class F>
F DoubleCall(HMODULE m, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}
}  // namespace

int MonitorTest::statmgrSends(const char* name) {
  if (statmgr_ == nullptr) return 0;
  return DoubleCall<int (*)(const char*)>(statmgr_, "StatmgrDoubleSends")(name);
}

int MonitorTest::statmgrRegistrations(const char* printer) {
  if (statmgr_ == nullptr) return 0;
  return DoubleCall<int (*)(const char*)>(statmgr_, "StatmgrDoubleRegistrations")(printer);
}

int MonitorTest::statmgrNotify(const char* printer) {
  if (statmgr_ == nullptr) return 0;
  return DoubleCall<int (*)(const char*)>(statmgr_, "StatmgrDoubleNotify")(printer);
}

void MonitorTest::setValue(const char16_t* key, const char16_t* name, DWORD type, const void* data, DWORD size) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  if (data == nullptr) RegDeleteValueW(k, name);
  else ASSERT_EQ(RegSetValueExW(k, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  RegCloseKey(k);
}

void MonitorTest::setString(const char16_t* key, const char16_t* name, const char16_t* text) {
  DWORD size = text ? static_cast<DWORD>((std::char_traits<char16_t>::length(text) + 1) * sizeof(char16_t)) : 0;
  setValue(key, name, REG_SZ, text, size);
}

void MonitorTest::reload() {
  ASSERT_TRUE(KpMonitorUnload(monitor_));
  monitor_ = KpMonitorLoad(U16(g_library + ".dll").c_str(), kRoot);
  ASSERT_NE(monitor_, nullptr) << GetLastError();
  table_ = KpMonitorTable(monitor_);
}

char MonitorTest::model() const { return g_library == "kmonant" || g_library == "kmona9x" ? 'A' : 'B'; }

bool MonitorTest::openPort(const std::u16string& name, HANDLE* port, const char16_t* printer) {
  return KpMonitorOpenPort(monitor_, name.c_str(), printer, port) != FALSE;
}

bool MonitorTest::openTcp(const std::u16string& name, LoopbackPrinter& printer, HANDLE* port) {
  if (!KpPortDefineTcp(name.c_str(), "127.0.0.1", printer.port())) return false;
  return openPort(name, port);
}

DWORD MonitorTest::print(HANDLE port, const std::string& data, const char16_t* user, DWORD chunk,
                         const char16_t* printer) {
  DWORD job = KpMonitorAddJob(printer, u"document", user);
  if (!KpMonitorPrintJob(monitor_, port, printer, job, data.data(), static_cast<DWORD>(data.size()), chunk)) return 0;
  return job;
}

LONG MonitorTest::Answer::dword() const {
  LONG v = 0;
  if (bytes.size() >= 4) std::memcpy(&v, bytes.data(), 4);
  return v;
}

MonitorTest::Answer MonitorTest::ask(HANDLE port, const char16_t* name, DWORD outSize) {
  std::u16string n = name;
  std::string out(outSize + 8, '\x5A');
  Answer a{};
  SetLastError(0);
  a.result = table_->pfnGetPrinterDataFromPort(port, 0, n.data(), nullptr, 0,
                                               reinterpret_cast<LPWSTR>(out.data()), outSize, &a.returned);
  a.error = GetLastError();
  a.bytes = out;
  return a;
}

}  // namespace kestrel::test

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc > 1) kestrel::test::g_library = argv[1];
  return RUN_ALL_TESTS();
}
