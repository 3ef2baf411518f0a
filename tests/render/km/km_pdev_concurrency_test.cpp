// Two PDEVs at once of one loaded driver on two printers whose models'
// description data have different format versions (K350: 0x1600, K260:
// 0x500): each PDEV answers its own model's tray data and reports its own
// colour depth from the model's defaults, while the other thread enables and
// disables its PDEVs. A failed DrvEnablePDEV leaves the description
// semaphore free for other threads.
#include <gtest/gtest.h>
#include <kplatform/engine.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "kestrel/core/cddd_open.h"
#include "kestrel/core/ddd.h"
#include "kestrel/render/km_services.h"
#include "renderer_fixture.h"

namespace {

using kestrel::test::km::CreateDcDevmode;
using kestrel::test::km::KmTest;
using kestrel::test::km::kModelA;
using kestrel::test::km::kModelB;
using kestrel::test::km::Model;

struct Tray {
  WORD id;
  WORD nrvArg;
  BYTE duplex;
  bool operator==(const Tray&) const = default;
};

// The tray records (category 5) of an open description, by position.
std::vector<Tray> TraysOf(DDDFILE* main, DDDFILE* referenced) {
  std::vector<Tray> trays;
  WORD n = ddd_GetNumOfData(main, 5);
  for (WORD i = 1; i <= n; ++i) {
    void* record = nullptr;
    if (ddd_GetDataByIndexX(0, main, referenced, 5, i, &record) != 0 || !record) break;
    Tray t{static_cast<const DDD_HEAD*>(record)->id, 0, 0};
    ddd_GetTrayNRVArg(record, &t.nrvArg);
    ddd_GetTrayDuplexAvailability(record, &t.duplex);
    trays.push_back(t);
    ddd_Free(&record, 5);
  }
  return trays;
}

std::vector<Tray> ExpectedTrays(const Model& m) {
  std::u16string file = std::u16string(kestrel::test::kDriverDirW) +
                        std::u16string(m.file, m.file + std::char_traits<char>::length(m.file)) + u".DDD";
  HCDDD h = cddd_OpenFile(file.c_str());
  if (!h) return {};
  std::vector<Tray> trays = TraysOf(h->main, h->referenced);
  cddd_Close(h);
  return trays;
}

class KmTwoPdevs : public KmTest {};

TEST_F(KmTwoPdevs, EachPdevAnswersItsOwnModel) {
  struct Side {
    const Model* model;
    HANDLE printer;
    CreateDcDevmode dm;
    std::vector<Tray> trays;
    ULONG bitsPixel;  // K350 defaults to colour, K260 is monochrome
  };
  Side sides[2] = {{&kModelA, nullptr, {}, {}, 24}, {&kModelB, nullptr, {}, {}, 1}};
  for (Side& s : sides) {
    s.printer = Printer(*s.model);
    ASSERT_NE(s.printer, nullptr);
    s.dm = Devmode(*s.model);
    s.trays = ExpectedTrays(*s.model);
    ASSERT_FALSE(s.trays.empty());
  }
  ASSERT_NE(sides[0].trays, sides[1].trays);
  KP_ENGINE_DRIVER* driver = LoadDriver();
  ASSERT_NE(driver, nullptr);

  constexpr int kRounds = 8;
  auto run = [driver](Side* s) -> std::string {
    for (int round = 0; round < kRounds; ++round) {
      KP_ENGINE_SESSION* session = KpEngineEnablePDEV(driver, s->printer, s->dm.data());
      if (!session) return "no PDEV";
      auto* pdev = reinterpret_cast<PDEV*>(KpEngineSessionPDEV(session));
      std::string fault;
      if (KpEngineSessionGdiInfo(session)->cBitsPixel != s->bitsPixel) fault = "bits per pixel";
      else if (TraysOf(pdev->dddMain, pdev->dddReferenced) != s->trays) fault = "tray data";
      KpEngineDisablePDEV(session);
      if (!fault.empty()) return fault;
    }
    return "";
  };
  auto a = std::async(std::launch::async, run, &sides[0]);
  auto b = std::async(std::launch::async, run, &sides[1]);
  EXPECT_EQ(a.get(), "");
  EXPECT_EQ(b.get(), "");
}

TEST_F(KmTwoPdevs, AFailedEnableLeavesTheDescriptionSemaphoreFree) {
  HANDLE good = Printer(kModelB);
  ASSERT_NE(good, nullptr);
  CreateDcDevmode dm = Devmode(kModelB);
  std::u16string driver = std::u16string(kestrel::test::kDriverDirW) + u"kestrelkm.dll";
  std::u16string missing = std::u16string(kestrel::test::kDriverDirW) + u"MISSING.DDD";
  KP_ENGINE_PRINTER_INFO info{kModelB.printer, driver.c_str(), missing.c_str()};
  HANDLE bad = KpEngineCreatePrinter(&info);
  ASSERT_NE(bad, nullptr);
  printers_.push_back(bad);
  KP_ENGINE_DRIVER* d = LoadDriver();
  ASSERT_NE(d, nullptr);

  EXPECT_EQ(KpEngineEnablePDEV(d, bad, dm.data()), nullptr);  // the description data does not open
  // Another thread must still get through the semaphore. A kept semaphore
  // would block it for ever: the test then stops the program with a message
  // rather than hang.
  auto result = std::make_shared<std::promise<bool>>();
  std::future<bool> done = result->get_future();
  std::thread([d, good, bytes = dm.bytes, result]() mutable {
    KP_ENGINE_SESSION* s = KpEngineEnablePDEV(d, good, bytes.data());
    if (s) KpEngineDisablePDEV(s);
    result->set_value(s != nullptr);
  }).detach();
  if (done.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    std::fprintf(stderr, "DrvEnablePDEV on another thread never got the description semaphore\n");
    std::_Exit(1);
  }
  EXPECT_TRUE(done.get());
}

}  // namespace
