// The spooler tests' set-up: a fresh root with one printer whose port is a
// file port, a printer handle open on it, and small helpers for jobs.
#pragma once

#include <string>

#include "kplatform/kwindows.h"
#include "kplatform/monitor_host.h"
#include "kplatform/winspool_job.h"
#include "kplatform/winspool_printer.h"
#include "temp_root.h"

namespace kestrel::test {

inline constexpr char16_t kPrinter[] = u"Job Printer";
inline constexpr char16_t kFilePort[] = u"FILE1:";

class SpoolerTest : public RootedTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // StartDocPrinterW level 1 with the document name and "RAW"; 0 on failure.
  DWORD StartDoc(HANDLE printer, const char16_t* document = u"doc");
  // WritePrinter of the whole text; false when the call failed or took less.
  bool Write(HANDLE printer, const std::string& bytes);
  // The file port's file, as bytes.
  std::string PortFile() const;
  // What the job sent (KpSpoolerJobOutput) and its state.
  static std::string JobBytes(DWORD jobId);
  static KP_SPOOLER_JOB_STATE JobState(DWORD jobId);
  // GetJobW level 1 of the job on `printer`; Status, or ~0 when it failed.
  static DWORD JobStatus(HANDLE printer, DWORD jobId);
  // Sets the printer's "SPLUserModePrinterDriver" value.
  void SetDriverValue(const std::u16string& value);

  HANDLE printer_ = nullptr;
  size_t baselineHandles_ = 0;
};

}  // namespace kestrel::test
