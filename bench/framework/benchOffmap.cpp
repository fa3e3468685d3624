// Full-window composition: the screen recomposes 640 x 480 through masks
// whenever a panel changes.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "framework/offmap/uloOffmap.h"

namespace {

struct Scene {
  uloOffmap dst, src, mask;
  Scene() {
    dst.allocate(1, 640, 480, -1);
    src.allocate(1, 640, 480, -1);
    mask.allocate(3, 640, 480, -1);
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    for (int32_t i = 0; i < dst.size / 2; i++) {
      reinterpret_cast<uint16_t*>(dst.bits)[i] = uint16_t(next() >> 17);
      reinterpret_cast<uint16_t*>(src.bits)[i] = uint16_t(next() >> 17);
    }
    // A realistic mask: mostly opaque or transparent, edges in between.
    for (int32_t i = 0; i < mask.size; i++) {
      uint32_t r = next() >> 24;
      mask.bits[i] = r < 100 ? 0 : r < 200 ? 255 : uint8_t(r);
    }
  }
};

void BM_CopyMask8Full(benchmark::State& state) {
  Scene s;
  for (auto _ : state) {
    s.dst.copyMask(&s.src, s.src.bounds, &s.mask, s.mask.bounds, s.dst.bounds);
    benchmark::DoNotOptimize(s.dst.bits);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 640 * 480);
}
BENCHMARK(BM_CopyMask8Full)->Unit(benchmark::kMicrosecond);

void BM_CopyMaskBlend8Full(benchmark::State& state) {
  Scene s;
  for (auto _ : state) {
    s.dst.copyMaskBlend(&s.src, s.src.bounds, &s.mask, s.mask.bounds, s.dst.bounds, 180);
    benchmark::DoNotOptimize(s.dst.bits);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 640 * 480);
}
BENCHMARK(BM_CopyMaskBlend8Full)->Unit(benchmark::kMicrosecond);

void BM_CopyFull(benchmark::State& state) {
  Scene s;
  for (auto _ : state) {
    s.dst.copy(&s.src, s.src.bounds, s.dst.bounds);
    benchmark::DoNotOptimize(s.dst.bits);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 640 * 480);
}
BENCHMARK(BM_CopyFull)->Unit(benchmark::kMicrosecond);

}  // namespace
