// Two models read at the same time from two threads, each thread with its
// own pair of contexts: the reader keeps no shared state between them, so
// each answers with its own format version and optional fields.
#include <thread>

#include "../../../fuzz/ddd_reader/ddd_walk.h"
#include "ddd_test_util.h"

namespace kestrel::test::ddd {
namespace {

TEST_F(DddTest, TwoModelsReadInTwoThreads) {
  struct Model {
    const char* folder;
    long format;
  };
  const Model models[] = {{"a", 1280}, {"b", 256}};
  for (const Model& m : models) {
    ModelBytes bytes = BuildModel(m.format);
    WriteHostFile(root_.host(std::string("c/") + m.folder + "/model.DDD"), bytes.main);
    WriteHostFile(root_.host(std::string("c/") + m.folder + "/modelref.DDD"), bytes.ref);
  }
  kestrel::ddd_walk::WalkResult first[2];
  WORD flags[2][20] = {};
  auto run = [&](int k) {
    DDDFILE main{}, ref{};
    std::u16string path = u"C:\\" + Wide(models[k].folder) + u"\\model.DDD";
    if (ddd_OpenFile(path.c_str(), 0, &main, &ref) != DDD_OK) return;
    for (int round = 0; round < 20; ++round) {
      kestrel::ddd_walk::WalkResult w = kestrel::ddd_walk::Walk(&main, &ref);
      if (round == 0) first[k] = w;
      if (!(w == first[k])) flags[k][round] = 0xFFFF;
      void* paper = nullptr;
      if (ddd_GetDataByIDX(DDD_FULL, &main, &ref, DDD_CAT_PAPER, 9, 0, &paper) == DDD_OK) {
        WORD flag = 0;
        flags[k][round] = ddd_GetAdditionalFlag(paper, &flag) == DDD_OK ? flag : 1;
        ddd_Free(&paper, DDD_KIND_ANY);
      }
    }
    ddd_CloseFile(&main, &ref);
  };
  std::thread a(run, 0), b(run, 1);
  a.join();
  b.join();
  for (int round = 0; round < 20; ++round) {
    EXPECT_EQ(flags[0][round], 0x1234) << round;
    EXPECT_EQ(flags[1][round], 1) << round;  // format version 256 has no additional flag
  }
  EXPECT_FALSE(first[0].results.empty());
  EXPECT_FALSE(first[0] == first[1]);
}

}  // namespace
}  // namespace kestrel::test::ddd
