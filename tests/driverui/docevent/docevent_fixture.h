// What the document-event tests share: a root with model A's files, the
// real kestrelui (as the printer's configuration file), kestrelkm (as its
// driver), kestreljd and the resource module; model A's printer; the queue
// taken into use in the test process too, so that tests read and write
// devmode values by DDM id. DCs come from the DC stand-in (CreateDCW).
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kplatform/gdi32_dc.h"
#include "model_a_queue.h"
#include "temp_root.h"

namespace kestrel::test::docevent {

inline constexpr char16_t kPrinter[] = u"Scriva K350";

// One escape of a DC's log: code, sizes, input bytes and answer.
struct Escape {
  LONG code;
  ULONG cbIn;
  ULONG cbOut;
  LONG result;
  std::vector<BYTE> in;
};

class DocEventTest : public RootedTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  HDC CreateDc(const DEVMODEW* devmode = nullptr);
  // The escapes in a DC's log, in order (from entry `from` on).
  static std::vector<Escape> Escapes(HDC hdc, DWORD from = 0);
  static std::vector<LONG> Codes(const std::vector<Escape>& escapes);
  // The document events raised on a DC, in order (codes and answers).
  static std::vector<std::pair<LONG, LONG>> Events(HDC hdc);
  // The drawing calls in a DC's log (names).
  static std::vector<std::string> Drawing(HDC hdc);
  // kestrelui's export, taken from the queue's loaded module.
  PFN_DrvDocumentEvent Event() const { return event_; }
  // The renderer's output on a DC's engine printer.
  static std::vector<BYTE> Output(HDC hdc);

  ModelAQueue queue_;
  PFN_DrvDocumentEvent event_ = nullptr;
};

// Answers escapes for a test: every code in `answers` is answered with the
// result given (output zero-filled, or the bytes given) instead of the
// renderer. Installed for the object's lifetime.
class EscapeScript {
 public:
  struct Answer {
    LONG code;
    LONG result;
    std::vector<BYTE> out;
  };
  explicit EscapeScript(std::vector<Answer> answers);
  ~EscapeScript();

 private:
  static BOOL Hook(void* context, HDC, ULONG code, ULONG, const void*, ULONG cbOut, void* pvOut, LONG* result);
  std::vector<Answer> answers_;
};

}  // namespace kestrel::test::docevent
