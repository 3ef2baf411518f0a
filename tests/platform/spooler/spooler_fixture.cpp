#include "spooler_fixture.h"

#include <cstring>
#include <vector>

namespace kestrel::test {

void SpoolerTest::SetUp() {
  KpSpoolerReset();
  KpPortReset();
  ASSERT_TRUE(KpSpoolerAddPrinter(kPrinter, u"Job Driver", nullptr, nullptr, nullptr));
  ASSERT_TRUE(KpPortDefineFile(kFilePort, u"C:\\port.prn"));
  ASSERT_TRUE(KpSpoolerSetPrinterPort(kPrinter, kFilePort, nullptr));
  baselineHandles_ = KpOpenHandleCount();
  std::u16string name = kPrinter;
  ASSERT_TRUE(OpenPrinterW(name.data(), &printer_, nullptr));
}

void SpoolerTest::TearDown() {
  if (printer_) ClosePrinter(printer_);
  KpSpoolerReset();
  KpPortReset();
}

DWORD SpoolerTest::StartDoc(HANDLE printer, const char16_t* document) {
  std::u16string doc = document, raw = u"RAW";
  DOC_INFO_1W info{doc.data(), nullptr, raw.data()};
  return StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&info));
}

bool SpoolerTest::Write(HANDLE printer, const std::string& bytes) {
  DWORD written = 0;
  BOOL ok = WritePrinter(printer, const_cast<char*>(bytes.data()), static_cast<DWORD>(bytes.size()), &written);
  return ok && written == bytes.size();
}

std::string SpoolerTest::PortFile() const { return ReadHostFile(root_.host("c/port.prn")); }

std::string SpoolerTest::JobBytes(DWORD jobId) {
  std::string out(KpSpoolerJobOutput(jobId, nullptr, 0), '\0');
  KpSpoolerJobOutput(jobId, out.data(), out.size());
  return out;
}

KP_SPOOLER_JOB_STATE SpoolerTest::JobState(DWORD jobId) {
  KP_SPOOLER_JOB_STATE state{};
  EXPECT_TRUE(KpSpoolerGetJobState(jobId, &state)) << "job " << jobId;
  return state;
}

DWORD SpoolerTest::JobStatus(HANDLE printer, DWORD jobId) {
  DWORD needed = 0;
  GetJobW(printer, jobId, 1, nullptr, 0, &needed);
  if (needed == 0) return ~0u;
  std::vector<BYTE> buffer(needed);
  if (!GetJobW(printer, jobId, 1, buffer.data(), needed, &needed)) return ~0u;
  JOB_INFO_1W info;
  std::memcpy(&info, buffer.data(), sizeof info);
  return info.Status;
}

void SpoolerTest::SetDriverValue(const std::u16string& value) {
  ASSERT_TRUE(SetUserModeDriver(printer_, value));
}

}  // namespace kestrel::test
