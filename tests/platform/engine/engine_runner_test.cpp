// The driver runner with the test driver: the engine's order of calls, the
// checks on DrvEnableDriver's answer, refusals of calls out of order, a reset
// between pages (the document started again on the new PDEV), escapes, and
// nothing left behind once the PDEV is disabled.
#include <gtest/gtest.h>
#include <kplatform/engine.h>
#include <kplatform/kwindows.h>
#include <kplatform/monitor_host.h>

#include <string>
#include <vector>

#include "kptestdrv.h"
#include "temp_root.h"

namespace {

class EngineRunner : public kestrel::test::RootedTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(KpInstallModule("libkptestdrv.so", nullptr));
    // Keep the driver loaded across the test so its controls stay put.
    module_ = LoadLibraryW(u"kptestdrv.dll");
    ASSERT_NE(module_, nullptr);
    control_ = reinterpret_cast<KtdGetControlFn>(reinterpret_cast<void (*)()>(GetProcAddress(module_, "KtdGetControl")))();
    *control_ = KtdControl{DDI_DRIVER_VERSION_NT4, sizeof(DRVENABLEDATA), DDI_DRIVER_VERSION_NT4, kKtdTableNormal,
                           FALSE, FALSE, FALSE, 16, 0, 0, 0, 0, FALSE, FALSE, 0, 0, 0, 0, 0, 0, {}, FALSE};
    KP_ENGINE_PRINTER_INFO info{u"Scriva K260", u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\kptestdrv.dll",
                                u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\model.ddd"};
    printer_ = KpEngineCreatePrinter(&info);
    ASSERT_NE(printer_, nullptr);
    blocks_ = KpEngineBlockCount(0);
  }
  void TearDown() override {
    EXPECT_EQ(control_->livePdevs, 0);
    EXPECT_EQ(control_->wrongSurfaces, 0);
    EXPECT_EQ(KpEngineBlockCount(0), blocks_);
    EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_PALETTES), 0u);
    EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_SURFACES), 0u);
    EXPECT_EQ(KpEngineObjectCount(KP_ENGINE_DEVICES), 0u);
    KpEngineDeletePrinter(printer_);
    FreeLibrary(module_);
  }

  static std::vector<std::string> calls(KP_ENGINE_DRIVER* d) {
    std::vector<std::string> names;
    for (DWORD i = 0; i < KpEngineCallCount(d); ++i) names.push_back(KpEngineCallName(d, i));
    return names;
  }
  std::string output() {
    std::string bytes(KpEngineGetOutput(printer_, nullptr, 0), '\0');
    KpEngineGetOutput(printer_, bytes.data(), bytes.size());
    return bytes;
  }

  HMODULE module_ = nullptr;
  KtdControl* control_ = nullptr;
  HANDLE printer_ = nullptr;
  size_t blocks_ = 0;
};

TEST_F(EngineRunner, AJobCallsTheTableInTheEnginesOrder) {
  KP_ENGINE_DRIVER* d = KpEngineLoadDriver(u"kptestdrv");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(KpEngineDriverVersion(d), DDI_DRIVER_VERSION_NT4);
  EXPECT_EQ(KpEngineDriverEntryCount(d), 12u);
  int drawn = 0;
  auto draw = [](void* context, KP_ENGINE_SESSION* s, ULONG) -> BOOL {
    ++*static_cast<int*>(context);
    SURFOBJ* pso = KpEngineSessionSurface(s);
    return pso && pso->dhpdev == KpEngineSessionPDEV(s) && pso->iType == STYPE_DEVICE;
  };
  ASSERT_TRUE(KpEngineRunJob(d, printer_, nullptr, u"doc", 2, draw, &drawn));
  EXPECT_EQ(drawn, 2);
  EXPECT_EQ(calls(d), (std::vector<std::string>{"DrvEnableDriver", "DrvEnablePDEV", "DrvCompletePDEV",
                                                "DrvEnableSurface", "DrvStartDoc", "DrvStartPage", "DrvSendPage",
                                                "DrvStartPage", "DrvSendPage", "DrvEndDoc", "DrvDisableSurface",
                                                "DrvDisablePDEV"}));
  EXPECT_EQ(output(), "<doc>" + std::string(32, 'P') + "</doc>");
  EXPECT_EQ(KpEngineWriteCount(printer_), 4u);
  EXPECT_TRUE(KpEngineUnloadDriver(d));
  EXPECT_EQ(control_->driverDisables, 1);

  char trace[256];
  KpEngineGetDebugOutput(trace, sizeof trace);
  EXPECT_NE(std::string(trace).find("KTD: EnablePDEV Scriva K260 264"), std::string::npos);
}

TEST_F(EngineRunner, SessionHoldsWhatThePdevReported) {
  KP_ENGINE_DRIVER* d = KpEngineLoadDriver(u"kptestdrv.dll");
  ASSERT_NE(d, nullptr);
  KP_ENGINE_SESSION* s = KpEngineEnablePDEV(d, printer_, nullptr);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(KpEngineSessionGdiInfo(s)->ulTechnology, static_cast<ULONG>(DT_RASPRINTER));
  EXPECT_EQ(KpEngineSessionGdiInfo(s)->ulLogPixelsX, 600u);
  EXPECT_EQ(KpEngineSessionDevInfo(s)->flGraphicsCaps, 0x11Fu);
  EXPECT_NE(KpEngineSessionDevInfo(s)->hpalDefault, nullptr);
  EXPECT_EQ(std::u16string(EngGetDriverName(KpEngineSessionDevice(s))),
            u"C:\\Windows\\system32\\spool\\drivers\\x64\\3\\kptestdrv.dll");
  EXPECT_EQ(KpEngineSessionSurface(s), nullptr);
  ASSERT_TRUE(KpEngineEnableSurface(s));
  KP_ENGINE_SURFACE_INFO info{};
  ASSERT_TRUE(KpEngineQuerySurface(KpEngineSessionSurface(s)->hsurf, &info));
  EXPECT_EQ(info.hooks, 0x4EBu);
  EXPECT_EQ(info.size.cx, 4760);
  EXPECT_EQ(info.dhpdev, KpEngineSessionPDEV(s));
  EXPECT_TRUE(KpEngineUnloadDriver(d));  // disables the open session first
}

TEST_F(EngineRunner, CallsOutOfOrderNeverReachTheDriver) {
  KP_ENGINE_DRIVER* d = KpEngineLoadDriver(u"kptestdrv");
  ASSERT_NE(d, nullptr);
  KP_ENGINE_SESSION* s = KpEngineEnablePDEV(d, printer_, nullptr);
  ASSERT_NE(s, nullptr);
  KpEngineClearCallLog(d);
  struct Step {
    const char* what;
    BOOL (*call)(KP_ENGINE_SESSION*);
    BOOL expected;
  } steps[] = {
      {"doc before surface", [](KP_ENGINE_SESSION* x) { return KpEngineStartDoc(x, u"d", 1); }, FALSE},
      {"page before doc", KpEngineStartPage, FALSE},
      {"surface", KpEngineEnableSurface, TRUE},
      {"surface twice", KpEngineEnableSurface, FALSE},
      {"send before page", KpEngineSendPage, FALSE},
      {"end before doc", [](KP_ENGINE_SESSION* x) { return KpEngineEndDoc(x, 0); }, FALSE},
      {"doc", [](KP_ENGINE_SESSION* x) { return KpEngineStartDoc(x, u"d", 1); }, TRUE},
      {"doc twice", [](KP_ENGINE_SESSION* x) { return KpEngineStartDoc(x, u"d", 1); }, FALSE},
      {"page", KpEngineStartPage, TRUE},
      {"page twice", KpEngineStartPage, FALSE},
      {"reset inside a page", [](KP_ENGINE_SESSION* x) { return KpEngineResetPDEV(x, nullptr); }, FALSE},
  };
  for (const auto& step : steps) {
    DWORD before = KpEngineCallCount(d);
    EXPECT_EQ(step.call(s), step.expected) << step.what;
    if (!step.expected) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION)) << step.what;
      EXPECT_EQ(KpEngineCallCount(d), before) << step.what;
    }
  }
  KpEngineClearCallLog(d);
  // Disabling with a document and a page open aborts the document first.
  ASSERT_TRUE(KpEngineDisablePDEV(s));
  EXPECT_EQ(calls(d), (std::vector<std::string>{"DrvEndDoc", "DrvDisableSurface", "DrvDisablePDEV"}));
  EXPECT_EQ(output(), "<doc><abort>");
  EXPECT_FALSE(KpEngineStartPage(s));  // the session is gone
  EXPECT_TRUE(KpEngineUnloadDriver(d));
}

TEST_F(EngineRunner, ResetBetweenPagesMovesTheJobToANewPdev) {
  KP_ENGINE_DRIVER* d = KpEngineLoadDriver(u"kptestdrv");
  ASSERT_NE(d, nullptr);
  KP_ENGINE_SESSION* s = KpEngineEnablePDEV(d, printer_, nullptr);
  ASSERT_TRUE(s && KpEngineEnableSurface(s) && KpEngineStartDoc(s, u"Quarterly report", 42));
  ASSERT_TRUE(KpEngineStartPage(s) && KpEngineSendPage(s));
  DHPDEV old = KpEngineSessionPDEV(s);
  KpEngineClearCallLog(d);
  control_->lastJobId = 0;
  control_->lastDocName[0] = 0;
  ASSERT_TRUE(KpEngineResetPDEV(s, nullptr));
  // Inside the document the engine starts it again on the new PDEV, with the
  // document's own name and job id.
  EXPECT_EQ(calls(d), (std::vector<std::string>{"DrvEnablePDEV", "DrvResetPDEV", "DrvCompletePDEV",
                                                "DrvDisableSurface", "DrvDisablePDEV", "DrvEnableSurface",
                                                "DrvStartDoc"}));
  EXPECT_EQ(std::u16string(control_->lastDocName), u"Quarterly report");
  EXPECT_EQ(control_->lastJobId, 42u);
  EXPECT_NE(KpEngineSessionPDEV(s), old);
  EXPECT_EQ(control_->lastResetPages, 1u);
  EXPECT_EQ(control_->livePdevs, 1);
  EXPECT_EQ(KpEngineSessionSurface(s)->dhpdev, KpEngineSessionPDEV(s));
  ASSERT_TRUE(KpEngineStartPage(s) && KpEngineSendPage(s) && KpEngineEndDoc(s, 0));
  EXPECT_EQ(output(), "<doc>" + std::string(16, 'P') + "<doc>" + std::string(16, 'P') + "</doc>");

  // Between documents a reset starts nothing.
  KpEngineClearCallLog(d);
  ASSERT_TRUE(KpEngineResetPDEV(s, nullptr));
  EXPECT_EQ(calls(d), (std::vector<std::string>{"DrvEnablePDEV", "DrvResetPDEV", "DrvCompletePDEV",
                                                "DrvDisableSurface", "DrvDisablePDEV", "DrvEnableSurface"}));

  // A document started without a name is started again without one.
  ASSERT_TRUE(KpEngineStartDoc(s, nullptr, 9));
  control_->lastDocName[0] = u'x';
  ASSERT_TRUE(KpEngineResetPDEV(s, nullptr));
  EXPECT_EQ(control_->lastDocName[0], 0);
  EXPECT_EQ(control_->lastJobId, 9u);

  // When the new PDEV refuses the document, the reset fails and the document
  // is over: nothing more is called for it.
  control_->failStartDoc = TRUE;
  EXPECT_FALSE(KpEngineResetPDEV(s, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FUNCTION));
  KpEngineClearCallLog(d);
  EXPECT_FALSE(KpEngineStartPage(s));
  EXPECT_FALSE(KpEngineEndDoc(s, 0));
  EXPECT_TRUE(KpEngineDisablePDEV(s));
  EXPECT_EQ(calls(d), (std::vector<std::string>{"DrvDisableSurface", "DrvDisablePDEV"}));
  EXPECT_TRUE(KpEngineUnloadDriver(d));
  control_->failStartDoc = FALSE;

  // A new PDEV that can't be made leaves the session on the old one.
  d = KpEngineLoadDriver(u"kptestdrv");
  s = KpEngineEnablePDEV(d, printer_, nullptr);
  ASSERT_NE(s, nullptr);
  old = KpEngineSessionPDEV(s);
  control_->failEnablePDEV = TRUE;
  EXPECT_FALSE(KpEngineResetPDEV(s, nullptr));
  EXPECT_EQ(KpEngineSessionPDEV(s), old);
  EXPECT_TRUE(KpEngineUnloadDriver(d));
}

// ExtEscape reaches DrvEscape from DrvEnablePDEV on, with the PDEV in the
// surface record, and the driver's answer and output come back unchanged.
TEST_F(EngineRunner, EscapesReachTheDriverFromThePdevOn) {
  KP_ENGINE_DRIVER* d = KpEngineLoadDriver(u"kptestdrv");
  ASSERT_NE(d, nullptr);
  KP_ENGINE_SESSION* s = KpEngineEnablePDEV(d, printer_, nullptr);
  ASSERT_NE(s, nullptr);
  KpEngineClearCallLog(d);

  struct Step {
    const char* when;
    BOOL (*before)(KP_ENGINE_SESSION*);  // brings the session there
    ULONG answer;                        // what the driver answers
  } steps[] = {
      {"before the surface", nullptr, 1},
      {"with the surface", KpEngineEnableSurface, 0},
      {"in a document", [](KP_ENGINE_SESSION* x) { return KpEngineStartDoc(x, u"d", 1); }, 0xFFFFFFFFu},
      {"in a page", KpEngineStartPage, 4209},
      {"after a reset", [](KP_ENGINE_SESSION* x) -> BOOL { return KpEngineSendPage(x) && KpEngineResetPDEV(x, nullptr); }, 7},
  };
  for (const auto& step : steps) {
    if (step.before) {
      ASSERT_TRUE(step.before(s)) << step.when;
    }
    control_->escapeAnswer = step.answer;
    const DWORD before = KpEngineCallCount(d);
    const char in[5] = {'a', 'b', 'c', 'd', 'e'};
    char out[3] = {};
    EXPECT_EQ(KpEngineEscape(s, 0x5002, sizeof in, const_cast<char*>(in), sizeof out, out), step.answer) << step.when;
    EXPECT_EQ(control_->lastEscape, 0x5002u) << step.when;
    EXPECT_EQ(control_->lastEscapeIn, 5u) << step.when;
    EXPECT_EQ(control_->lastEscapeOut, 3u) << step.when;
    EXPECT_EQ(std::string(out, 3), "abc") << step.when;
    ASSERT_EQ(KpEngineCallCount(d), before + 1) << step.when;  // whatever else the step called comes first
    EXPECT_STREQ(KpEngineCallName(d, before), "DrvEscape") << step.when;
    EXPECT_EQ(KpEngineCallResult(d, before), step.answer) << step.when;
  }
  EXPECT_EQ(control_->escapes, 5);
  // Null buffers pass through as null.
  EXPECT_EQ(KpEngineEscape(s, 8, 0, nullptr, 0, nullptr), 7u);
  EXPECT_EQ(control_->lastEscape, 8u);
  EXPECT_EQ(control_->lastEscapeIn, 0u);

  // No session: refused, nothing called.
  const DWORD calls = KpEngineCallCount(d);
  SetLastError(0);
  EXPECT_EQ(KpEngineEscape(nullptr, 8, 0, nullptr, 0, nullptr), KP_ENGINE_ESCAPE_ERROR);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  ASSERT_TRUE(KpEngineEndDoc(s, 0) && KpEngineDisablePDEV(s));
  const DWORD afterDisable = KpEngineCallCount(d);
  EXPECT_EQ(KpEngineEscape(s, 8, 0, nullptr, 0, nullptr), KP_ENGINE_ESCAPE_ERROR);  // a session that is gone
  EXPECT_EQ(KpEngineCallCount(d), afterDisable);
  EXPECT_EQ(afterDisable, calls + 3);  // DrvEndDoc, DrvDisableSurface, DrvDisablePDEV
  EXPECT_EQ(control_->escapes, 6);
  EXPECT_TRUE(KpEngineUnloadDriver(d));

  // A driver without DrvEscape: not implemented (0), nothing called.
  control_->omitEscape = TRUE;
  d = KpEngineLoadDriver(u"kptestdrv");
  ASSERT_NE(d, nullptr);
  s = KpEngineEnablePDEV(d, printer_, nullptr);
  ASSERT_NE(s, nullptr);
  const DWORD count = KpEngineCallCount(d);
  EXPECT_EQ(KpEngineEscape(s, 8, 0, nullptr, 0, nullptr), 0u);
  EXPECT_EQ(KpEngineCallCount(d), count);
  EXPECT_EQ(control_->escapes, 6);
  EXPECT_TRUE(KpEngineUnloadDriver(d));
}

TEST_F(EngineRunner, DriversAnswerIsChecked) {
  struct Case {
    const char* what;
    void (*set)(KtdControl*);
    DWORD error;  // 0: accepted
  } cases[] = {
      {"normal", [](KtdControl*) {}, 0},
      {"version 0x30000", [](KtdControl* c) { c->driverVersion = DDI_DRIVER_VERSION_NT5; }, 0},
      {"version too old", [](KtdControl* c) { c->driverVersion = 0x10000; }, ERROR_BAD_DRIVER_LEVEL},
      {"version too new", [](KtdControl* c) { c->driverVersion = 0x40000; }, ERROR_BAD_DRIVER_LEVEL},
      {"index twice", [](KtdControl* c) { c->table = kKtdTableDuplicateIndex; }, ERROR_INVALID_DATA},
      {"no DrvEnableSurface", [](KtdControl* c) { c->table = kKtdTableMissingEnableSurface; }, ERROR_INVALID_DATA},
      {"index beyond", [](KtdControl* c) { c->table = kKtdTableIndexBeyondLast; }, ERROR_INVALID_DATA},
      {"null address", [](KtdControl* c) { c->table = kKtdTableNullAddress; }, ERROR_INVALID_DATA},
      {"no rows", [](KtdControl* c) { c->table = kKtdTableEmpty; }, ERROR_INVALID_DATA},
      {"no table", [](KtdControl* c) { c->table = kKtdTableNullPointer; }, ERROR_INVALID_DATA},
      {"driver wants a newer engine", [](KtdControl* c) { c->minEngineVersion = 0x40000; }, ERROR_BAD_DRIVER_LEVEL},
  };
  for (const auto& c : cases) {
    control_->driverVersion = DDI_DRIVER_VERSION_NT4;
    control_->table = kKtdTableNormal;
    control_->minEngineVersion = DDI_DRIVER_VERSION_NT4;
    c.set(control_);
    KP_ENGINE_DRIVER* d = KpEngineLoadDriver(u"kptestdrv");
    EXPECT_EQ(d != nullptr, c.error == 0) << c.what;
    if (d) {
      EXPECT_TRUE(KpEngineUnloadDriver(d));
    } else {
      EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
  }
  EXPECT_EQ(KpLoadedModuleCount(), 1u);  // refused drivers were unloaded again

  // The engine version and buffer size a driver sees can be set.
  control_->minSize = 12;
  control_->table = kKtdTableNormal;
  control_->minEngineVersion = DDI_DRIVER_VERSION_NT4;
  for (ULONG version : {0x1FFFFu, 0x20000u}) {
    for (ULONG cj : {11u, 12u}) {
      KP_ENGINE_DRIVER* d = KpEngineLoadDriverEx(u"kptestdrv", version, cj);
      EXPECT_EQ(d != nullptr, version >= 0x20000 && cj >= 12) << version << "/" << cj;
      if (d) KpEngineUnloadDriver(d);
    }
  }
  EXPECT_EQ(KpEngineLoadDriver(u"nosuchdriver"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(EngineRunner, FailuresStopTheJobWithoutLeaks) {
  struct Case {
    const char* what;
    void (*set)(KtdControl*, HANDLE);
    const char* lastCall;
  } cases[] = {
      {"no PDEV", [](KtdControl* c, HANDLE) { c->failEnablePDEV = TRUE; }, "DrvEnablePDEV"},
      {"surface not associated", [](KtdControl* c, HANDLE) { c->skipAssociate = TRUE; }, "DrvDisablePDEV"},
      {"page write fails",
       [](KtdControl*, HANDLE p) { KpEngineSetWriteFault(p, 2, 1, 0, ERROR_WRITE_FAULT); }, "DrvDisablePDEV"},
  };
  for (const auto& c : cases) {
    *control_ = KtdControl{DDI_DRIVER_VERSION_NT4, sizeof(DRVENABLEDATA), DDI_DRIVER_VERSION_NT4, kKtdTableNormal,
                           FALSE, FALSE, FALSE, 16, 0, 0, 0, 0, FALSE, FALSE, 0, 0, 0, 0, 0, 0, {}, FALSE};
    KpEngineSetWriteFault(printer_, 0, 0, 0, 0);
    c.set(control_, printer_);
    KP_ENGINE_DRIVER* d = KpEngineLoadDriver(u"kptestdrv");
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(KpEngineRunJob(d, printer_, nullptr, u"doc", 1, nullptr, nullptr)) << c.what;
    EXPECT_EQ(std::string(KpEngineCallName(d, KpEngineCallCount(d) - 1)), c.lastCall) << c.what;
    EXPECT_EQ(control_->livePdevs, 0) << c.what;
    EXPECT_TRUE(KpEngineUnloadDriver(d));
  }
  // A driver without document entries still runs a job: the engine needs none.
  *control_ = KtdControl{DDI_DRIVER_VERSION_NT4, sizeof(DRVENABLEDATA), DDI_DRIVER_VERSION_NT4, kKtdTableNormal,
                         TRUE, FALSE, FALSE, 16, 0, 0, 0, 0, FALSE, FALSE, 0, 0, 0, 0, 0, 0, {}, FALSE};
  KpEngineClearOutput(printer_);
  KP_ENGINE_DRIVER* d = KpEngineLoadDriver(u"kptestdrv");
  ASSERT_TRUE(KpEngineRunJob(d, printer_, nullptr, u"doc", 3, nullptr, nullptr));
  EXPECT_EQ(KpEngineWriteCount(printer_), 0u);
  EXPECT_TRUE(KpEngineUnloadDriver(d));
}

TEST_F(EngineRunner, DriverFileResourcesThroughTheEngine) {
  // The renderer loads its own file by the name EngGetDriverName gives and
  // reads resources from it while it is loaded.
  HDEV hdev = KpEngineCreateDevice(printer_);
  HANDLE m = EngLoadModule(EngGetDriverName(hdev));
  ASSERT_NE(m, nullptr);
  ULONG size = 0;
  auto* data = static_cast<const unsigned char*>(EngFindResource(m, 9, 10, &size));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), "KDRV");
  EXPECT_NE(EngFindResource(m, 35 / 16 + 1, 6, &size), nullptr);
  EngFreeModule(m);
  KpEngineDeleteDevice(hdev);
}

}  // namespace

// A printer context that opted in to spooler jobs: the runner's document is
// a job of the spooler's printer of that name, and the driver's
// EngWritePrinter calls are its bytes at the port.
class EngineRunnerSpooler : public EngineRunner {
 protected:
  void SetUp() override {
    EngineRunner::SetUp();
    KpSpoolerReset();
    KpPortReset();
    ASSERT_TRUE(KpSpoolerAddPrinter(u"Scriva K260", u"Test Driver", nullptr, nullptr, nullptr));
    ASSERT_TRUE(KpPortDefineFile(u"FILE:", u"C:\\engine.prn"));
    ASSERT_TRUE(KpSpoolerSetPrinterPort(u"Scriva K260", u"FILE:", nullptr));
    ASSERT_TRUE(KpEngineUseSpoolerJobs(printer_, TRUE));
  }
  void TearDown() override {
    EngineRunner::TearDown();
    KpSpoolerReset();
    KpPortReset();
  }
  std::string portFile() { return kestrel::test::ReadHostFile(root_.host("c/engine.prn")); }
};

TEST_F(EngineRunnerSpooler, TheDocumentIsASpoolerJob) {
  KP_ENGINE_DRIVER* d = KpEngineLoadDriver(u"kptestdrv");
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(KpEngineRunJob(d, printer_, nullptr, u"doc", 2, nullptr, nullptr));
  const std::string expected = "<doc>" + std::string(32, 'P') + "</doc>";
  EXPECT_EQ(portFile(), expected);
  EXPECT_EQ(output(), expected);  // the record keeps what the job took
  EXPECT_EQ(KpEngineWriteCount(printer_), 4u);
  KP_SPOOLER_JOB_STATE state{};
  DWORD job = 1;  // the first job of the spooler reset in SetUp
  ASSERT_TRUE(KpSpoolerGetJobState(job, &state));
  EXPECT_EQ(state.status, JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE);
  EXPECT_EQ(state.pagesStarted, 2u);
  EXPECT_EQ(state.pagesEnded, 2u);
  EXPECT_EQ(KpSpoolerJobWriteSize(job, 1), 16u);

  // outside a document the job is missing
  DWORD written = 9;
  EXPECT_FALSE(EngWritePrinter(printer_, const_cast<char*>("x"), 1, &written));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));
  EXPECT_EQ(written, 0u);

  // a document ended as aborted aborts its job; the driver's last words
  // before the abort reached the port
  KP_ENGINE_SESSION* s = KpEngineEnablePDEV(d, printer_, nullptr);
  ASSERT_NE(s, nullptr);
  ASSERT_TRUE(KpEngineEnableSurface(s));
  ASSERT_TRUE(KpEngineStartDoc(s, u"second", 0));
  EXPECT_FALSE(KpEngineUseSpoolerJobs(printer_, FALSE));  // not in the middle of a document
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BUSY));
  ASSERT_TRUE(KpEngineEndDoc(s, ED_ABORTDOC));
  ASSERT_TRUE(KpSpoolerGetJobState(2, &state));
  EXPECT_EQ(state.status, JOB_STATUS_DELETED);
  EXPECT_EQ(portFile(), expected + "<doc><abort>");

  // a job the spooler cannot start: the document does not start, the driver is not called
  ASSERT_TRUE(KpSpoolerSetPrinterPort(u"Scriva K260", u"NOWHERE:", nullptr));
  KpEngineClearCallLog(d);
  EXPECT_FALSE(KpEngineStartDoc(s, u"third", 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(KpEngineCallCount(d), 0u);
  // a session disabled in the middle of a document aborts its job
  ASSERT_TRUE(KpSpoolerSetPrinterPort(u"Scriva K260", u"FILE:", nullptr));
  ASSERT_TRUE(KpEngineStartDoc(s, u"fourth", 0));
  EXPECT_EQ(KpSpoolerLiveJobCount(), 1u);
  ASSERT_TRUE(KpEngineDisablePDEV(s));
  EXPECT_EQ(KpSpoolerLiveJobCount(), 0u);
  EXPECT_TRUE(KpEngineUnloadDriver(d));
}
