// Allocation failure at each allocation of DrvEnablePDEV and of the sample
// page: every call fails cleanly or succeeds, the stream written passes the
// checker, and no block, object or brush realization is left.
#include <gtest/gtest.h>
#include <kplatform/engine.h>

#include <cstdio>
#include <cstdlib>

#include "pclxl_checker.h"
#include "renderer_fixture.h"
#include "sample_page.h"

namespace {

using namespace kestrel::test::km;

class KmDrawFailure : public KmTest {};

// One job of the sample page; *framed whether every document call
// succeeded, the answer whether the page drew too.
bool Job(KP_ENGINE_DRIVER* d, HANDLE printer, CreateDcDevmode& dm, bool* framed) {
  KpEngineClearOutput(printer);
  bool all = false;
  *framed = false;
  KP_ENGINE_SESSION* s = KpEngineEnablePDEV(d, printer, dm.data());
  if (!s) return false;
  *framed = KpEngineEnableSurface(s) && KpEngineStartDoc(s, u"sample", 1) && KpEngineStartPage(s);
  // A drawing call that fails leaves the document going, as the engine goes
  // on with the next call.
  all = *framed && kestrel::kmhost::DrawSamplePage(s);
  *framed = *framed && KpEngineSendPage(s);
  *framed = KpEngineEndDoc(s, *framed ? 0 : ED_ABORTDOC) && *framed;
  EXPECT_TRUE(KpEngineDisablePDEV(s));
  return all && *framed;
}

TEST_F(KmDrawFailure, EveryAllocationOfAJobWithTheSamplePageMayFail) {
  HANDLE printer = Printer(kModelB);
  ASSERT_NE(printer, nullptr);
  KP_ENGINE_DRIVER* d = LoadDriver();
  ASSERT_NE(d, nullptr);
  CreateDcDevmode dm = Devmode(kModelB);
  const size_t blocks = KpEngineBlockCount(0);
  const size_t objects = KpEngineObjectCount(KP_ENGINE_DRAWING_OBJECTS);
  const size_t rbrushes = KpEngineRbrushCount();
  // The job's allocations, counted on a run that fails none.
  bool framed = false;
  const size_t before = KpEngineAllocationCount();
  ASSERT_TRUE(Job(d, printer, dm, &framed));
  const size_t total = KpEngineAllocationCount() - before;
  ASSERT_GT(total, 50u);
  size_t refused = 0;
  for (size_t failing = 1; failing <= total; ++failing) {
    SCOPED_TRACE(failing);
    KpEngineFailAllocation(static_cast<DWORD>(failing));
    const bool finished = Job(d, printer, dm, &framed);
    KpEngineFailAllocation(0);
    refused += finished ? 0 : 1;
    EXPECT_EQ(KpEngineBlockCount(0), blocks);
    EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_DRAWING_OBJECTS), objects);
    EXPECT_EQ(KpEngineRbrushCount(), rbrushes);
    if (framed) {
      // Whatever a failed call left in the page, the stream stays well formed.
      std::vector<BYTE> bytes(KpEngineGetOutput(printer, nullptr, 0));
      KpEngineGetOutput(printer, bytes.data(), bytes.size());
      const pclxl_check::Report report = pclxl_check::check(bytes, pclxl_check::Mode::RendererStream);
      EXPECT_TRUE(report.ok()) << report.text();
    }
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_GT(refused, 0u);
  // Beyond the job's allocations it draws again.
  EXPECT_TRUE(Job(d, printer, dm, &framed));
}

}  // namespace
