// kestrelum's colour engine: cil_CST_Conv_sBGR on 10 million pixels in
// matrix mode (the sRGB.icc fixture) and in table mode (a 17-point mft2
// lookup table built here), each against LittleCMS's transform of the same
// pixels through the same profile to its sRGB. Reported as pixels per
// second (items). LittleCMS is linked by this program only.
#include <benchmark/benchmark.h>
#include <lcms2.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "icc_builder.h"
#include "kestrel/spool/cil.h"
#include "model_root.h"

namespace {

constexpr size_t kPixels = 10'000'000;

const std::vector<BYTE>& Pixels() {
  static const std::vector<BYTE> p = [] {
    std::vector<BYTE> v(kPixels * 3);
    uint32_t x = 12345;
    for (BYTE& b : v) {
      x = x * 1103515245u + 12345u;
      b = static_cast<BYTE>(x >> 16);
    }
    return v;
  }();
  return p;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A 17-point mft2 whose table is a smooth, not quite linear, XYZ field.
std::string LutProfile() {
  std::vector<uint16_t> clut;
  for (int r = 0; r < 17; ++r)
    for (int g = 0; g < 17; ++g)
      for (int b = 0; b < 17; ++b) {
        const double R = r / 16.0, G = g / 16.0, B = b / 16.0;
        const double X = 0.43 * R * R + 0.38 * G + 0.14 * B, Y = 0.22 * R + 0.72 * G * G + 0.06 * B,
                     Z = 0.01 * R + 0.10 * G + 0.71 * B * B;
        for (double v : {X, Y, Z}) clut.push_back(static_cast<uint16_t>(v * 32768.0));
      }
  kestrel::test::IccBuilder p("scnr", "XYZ ");
  p.Raw("A2B0", kestrel::test::IccBuilder::Lut(true, 17, clut, 3, 3, 256)).Xyz("wtpt", 0.9642, 1.0, 0.8249);
  return p.Build();
}

struct Profiles {
  kestrel::test::FreshRoot root{"kestrel-colour-bench"};
  std::string matrix = ReadAll(std::string(KESTREL_ICC_DIR) + "/sRGB.icc");
  std::string table = LutProfile();
  Profiles() {
    if (!root.ok()) std::abort();
    std::ofstream(root.path() + "/c/matrix.icc", std::ios::binary) << matrix;
    std::ofstream(root.path() + "/c/table.icc", std::ios::binary) << table;
  }
};
Profiles& Files() {
  static Profiles p;
  return p;
}

void Ours(benchmark::State& state, const char* path, int32_t mode) {
  Files();
  CIL_CST_PARAM block{};
  if (cil_Create_CST_Param_Prof(&block, path) != 0 || block.mode != mode) {
    state.SkipWithError("the profile was refused");
    return;
  }
  std::vector<BYTE> out(kPixels * 3);
  for (auto _ : state) {
    cil_CST_Conv_sBGR(&block, Pixels().data(), out.data(), kPixels);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kPixels));
  cil_Dispose_CST_Param(&block);
}

void Theirs(benchmark::State& state, const std::string& bytes) {
  cmsHPROFILE in = cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsHTRANSFORM t = cmsCreateTransform(in, TYPE_BGR_8, srgb, TYPE_BGR_8, INTENT_RELATIVE_COLORIMETRIC, 0);
  cmsCloseProfile(in);
  cmsCloseProfile(srgb);
  if (t == nullptr) {
    state.SkipWithError("LittleCMS refused the profile");
    return;
  }
  std::vector<BYTE> out(kPixels * 3);
  for (auto _ : state) {
    cmsDoTransform(t, Pixels().data(), out.data(), static_cast<cmsUInt32Number>(kPixels));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kPixels));
  cmsDeleteTransform(t);
}

void BM_EngineMatrix_sRGB(benchmark::State& s) { Ours(s, "C:\\matrix.icc", CIL_MODE_MATRIX); }
void BM_LittleCmsMatrix_sRGB(benchmark::State& s) { Theirs(s, Files().matrix); }
void BM_EngineTable_mft2(benchmark::State& s) { Ours(s, "C:\\table.icc", CIL_MODE_TABLE); }
void BM_LittleCmsTable_mft2(benchmark::State& s) { Theirs(s, Files().table); }

BENCHMARK(BM_EngineMatrix_sRGB)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_LittleCmsMatrix_sRGB)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_EngineTable_mft2)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_LittleCmsTable_mft2)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
