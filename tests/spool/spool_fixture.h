// The set-up of kestrelum's tests: model A's queue in use (the job context
// reads its printer-data record and the devmode values through it), a
// printer double behind WritePrinter and the second-job calls (each call
// recorded, a failing or short k-th write), a job context fed from memory
// (no threads) for the tokenizer and the executor, and a watchdog for the
// tests that wait on threads.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kestrel/spool/umpd.h"
#include "model_a_queue.h"
#include "temp_root.h"
#include "watchdog.h"

namespace kestrel::test {

// What WritePrinter was given, and its faults.
struct PrinterDouble {
  std::mutex lock;
  std::string bytes;               // every byte taken, in order
  std::vector<DWORD> sizes;        // the count of every call
  DWORD failAt = 0;                // the nth call (from 1) fails, taking nothing
  DWORD shortAt = 0;               // the nth call takes shortBy bytes less
  DWORD shortBy = 0;
  std::vector<std::string> events; // StartDocPrinterW, StartPagePrinter, ... by name
  BOOL failStartDoc = FALSE;
  BOOL failStartPage = FALSE;
  // While the gate is closed WritePrinter waits (waiting counts the calls
  // held there).
  std::condition_variable gate;
  bool gateClosed = false;
  int waiting = 0;
  void CloseGate();
  void OpenGate();
  void WaitUntilHeld();
  void Reset();
};
PrinterDouble& Printer();

// A job context without a thread whose input is `bytes` followed by the
// end of input. The output (when opened) goes to the printer double.
class OfflineJob {
 public:
  // queuePrinter: a printer of the queue whose printer data the context
  // reads (null: a bare context).
  explicit OfflineJob(const std::string& bytes, HANDLE queuePrinter = nullptr, bool openOutput = true);
  ~OfflineJob();
  UmpdJobContext* ctx() { return ctx_; }
  // Runs the grouped parser over the input (as the parser thread does in
  // mode 0) and closes the output as the thread's end does.
  void Run();
  OfflineJob(const OfflineJob&) = delete;
  OfflineJob& operator=(const OfflineJob&) = delete;

 private:
  std::string input_;
  UmpdJobContext* ctx_ = nullptr;
};

// Model A's queue in use, the printer double reset.
class SpoolTest : public RootedTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  ModelAQueue queue_;
};

// A renderer stream made with the renderer's writers: every command but
// form registration (157/158), two pages, model A's default devmode.
std::string RendererStream(const ModelAQueue& queue);

// Model A's default devmode for the queue's printer data (5440 bytes).
std::string ModelADevmode(const ModelAQueue& queue);

// Model A's defaults changed for one session: DDM values, the job
// information's automatic-colour strictness and the page's colour mode.
struct Settings {
  std::vector<std::pair<WORD, LONG>> numbers;
  int32_t colorModeAuto = 0;  // job information word 16: 0 strict
  int32_t pageColorMode = 0;
};
// A whole session around `page`: the in-band job set-up (devmode with the
// settings, printer data, job information, page control), BeginSession,
// one page with its colour mode, EndSession and the job's end.
std::string Session(const ModelAQueue& queue, const Settings& settings, const std::string& page);

// PCL XL bytes of one in-band command with its payload (empty: none).
std::string InbandCommand(BYTE code, const std::string& payload, bool hasPayload);
std::string Bytes(std::initializer_list<int> values);

}  // namespace kestrel::test
