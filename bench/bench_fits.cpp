// Loading a 4096 x 4096 16-bit FITS image into a grid, against merely
// reading the same file into memory.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "core/u_fonctionxy.h"
#include "io/u_fichier.h"
#include "support/fits_writer.h"
#include "support/test_files.h"

namespace {

using namespace caustica;

constexpr int kSide = 4096;

const std::string& ImagePath() {
  static test::ScratchDir dir;
  static const std::string path = [] {
    test::FitsImage img;
    img.Width = img.Height = kSide;
    img.Raw.resize(static_cast<std::size_t>(kSide) * kSide);
    for (std::size_t i = 0; i < img.Raw.size(); ++i) img.Raw[i] = static_cast<double>(i % 30000);
    const std::string p = dir.File("big.fits");
    test::WriteBytes(p, test::BuildFits(img));
    return p;
  }();
  return path;
}

void BM_ReadBytes(benchmark::State& state) {
  const std::string& path = ImagePath();
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    std::vector<char> bytes(static_cast<std::size_t>(size));
    benchmark::DoNotOptimize(std::fread(bytes.data(), 1, bytes.size(), f));
    std::fclose(f);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(state.iterations() * 2LL * kSide * kSide);
}
BENCHMARK(BM_ReadBytes)->Unit(benchmark::kMillisecond);

void BM_ReadFitsFile(benchmark::State& state) {
  const std::string& path = ImagePath();
  for (auto _ : state) {
    Int16Planes s16;
    DoublePlanes s64;
    std::int32_t w, h, planes;
    std::uint8_t type;
    TImgInfos infos;
    benchmark::DoNotOptimize(ReadFitsFile(path, s16, s64, w, h, planes, type, infos));
  }
  state.SetBytesProcessed(state.iterations() * 2LL * kSide * kSide);
}
BENCHMARK(BM_ReadFitsFile)->Unit(benchmark::kMillisecond);

void BM_LoadFromFits(benchmark::State& state) {
  const std::string& path = ImagePath();
  for (auto _ : state) {
    TFctXY grid;
    grid.LoadFromFits(path);
    benchmark::DoNotOptimize(grid.Values.PlaneData(1));
  }
  state.SetBytesProcessed(state.iterations() * 2LL * kSide * kSide);
}
BENCHMARK(BM_LoadFromFits)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
