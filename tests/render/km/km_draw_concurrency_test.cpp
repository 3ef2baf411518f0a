// Two sessions of one loaded kestrelkm drawing the sample page at once, on
// two printers (models A and B): each stream is the stream the session gives
// alone (the bit-reversal table is filled by whichever draws first).
#include <gtest/gtest.h>
#include <kplatform/engine.h>

#include <thread>
#include <vector>

#include "renderer_fixture.h"
#include "sample_page.h"

namespace {

using kestrel::test::km::CreateDcDevmode;
using kestrel::test::km::KmTest;
using kestrel::test::km::kModelA;
using kestrel::test::km::kModelB;

class KmDrawConcurrency : public KmTest {};

// One document of one sample page on the printer; its stream.
std::vector<BYTE> Render(KP_ENGINE_DRIVER* d, HANDLE printer, CreateDcDevmode& dm, bool* ok) {
  KpEngineClearOutput(printer);
  KP_ENGINE_SESSION* s = KpEngineEnablePDEV(d, printer, dm.data());
  *ok = s && KpEngineEnableSurface(s) && KpEngineStartDoc(s, u"sample", 1) && KpEngineStartPage(s) &&
        kestrel::kmhost::DrawSamplePage(s) && KpEngineSendPage(s) && KpEngineEndDoc(s, 0);
  if (s) *ok = KpEngineDisablePDEV(s) && *ok;
  std::vector<BYTE> bytes(KpEngineGetOutput(printer, nullptr, 0));
  KpEngineGetOutput(printer, bytes.data(), bytes.size());
  return bytes;
}

TEST_F(KmDrawConcurrency, TwoSessionsDrawingAtOnceGiveTheirOwnStreams) {
  HANDLE a = Printer(kModelA), b = Printer(kModelB);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  KP_ENGINE_DRIVER* d = LoadDriver();
  ASSERT_NE(d, nullptr);
  CreateDcDevmode dmA = Devmode(kModelA), dmB = Devmode(kModelB);
  bool ok = false;
  const std::vector<BYTE> aloneA = Render(d, a, dmA, &ok);
  ASSERT_TRUE(ok);
  const std::vector<BYTE> aloneB = Render(d, b, dmB, &ok);
  ASSERT_TRUE(ok);
  for (int round = 0; round < 3; ++round) {
    std::vector<BYTE> togetherA, togetherB;
    bool okA = false, okB = false;
    std::thread ta([&] { togetherA = Render(d, a, dmA, &okA); });
    std::thread tb([&] { togetherB = Render(d, b, dmB, &okB); });
    ta.join();
    tb.join();
    EXPECT_TRUE(okA && okB);
    EXPECT_EQ(togetherA, aloneA) << "round " << round;
    EXPECT_EQ(togetherB, aloneB) << "round " << round;
  }
}

}  // namespace
