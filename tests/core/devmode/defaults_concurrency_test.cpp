// The model-name check from several threads at once: each thread compares
// devmodes of two models against its own handles of both models; no thread
// may see another thread's model name. (A description handle reads its file
// through one position, so it belongs to one thread at a time.)
#include <atomic>
#include <thread>

#include "defaults_fixture.h"

namespace kestrel::test::defaults {
namespace {

TEST_F(DefaultsTest, ModelNameCheckFromEightThreads) {
  HCDDD a = OpenModel("K350");
  HCDDD b = OpenModel("K260");
  ASSERT_NE(nullptr, a);
  ASSERT_NE(nullptr, b);
  Records ra, rb;
  ASSERT_EQ(1, cdm_SetDefaultDevmode(a, ra.dm.data(), ra.pd.data(), u"A"));
  ASSERT_EQ(1, cdm_SetDefaultDevmode(b, rb.dm.data(), rb.pd.data(), u"B"));
  ASSERT_EQ(1, cdm_IsDevmode(a, ra.dm.data(), ra.pd.data()));
  const std::u16string dir(kDriverDirW);
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      HCDDD k350 = cddd_OpenFile((dir + u"K350.DDD").c_str());
      HCDDD k260 = cddd_OpenFile((dir + u"K260.DDD").c_str());
      if (!k350 || !k260) {
        ++wrong;
      } else {
        HCDDD mine = t % 2 ? k350 : k260, other = t % 2 ? k260 : k350;
        Records& own = t % 2 ? ra : rb;
        for (int i = 0; i < 100; ++i) {
          if (cdm_IsDevmode(mine, own.dm.data(), own.pd.data()) != 1) ++wrong;
          if (cdm_IsDevmode(other, own.dm.data(), own.pd.data()) != 0) ++wrong;
        }
      }
      if (k350) cddd_Close(k350);
      if (k260) cddd_Close(k260);
    });
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(0, wrong.load());
}

TEST_F(DefaultsTest, FirstValueCallsFromEightThreadsResolveTheModuleOnce) {
  // No value call has run since the access module was taken into use: the
  // first calls of every thread race to resolve its entry points.
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      BYTE own[NRV_DEVMODE_SIZE_FULL] = {};
      WORD type = 0;
      DWORD size = 0;
      ULONG_PTR value = 0;
      // dmOrientation (id 7): read, then written back with the type it was read as.
      if (ddm_GetValue(7, own, nullptr, &type, &size, &value) != DMA_OK) ++wrong;
      if (ddm_SetValue(7, own, nullptr, type, size, &value) != DMA_OK) ++wrong;
    });
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(0, wrong.load());
}

}  // namespace
}  // namespace kestrel::test::defaults
