// The two sample transforms over the longest loop, against memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "base/work_buffers.h"
#include "bench_util.h"
#include "core/loop_format.h"
#include "core/sample_transforms.h"

namespace loopsmith::bench {
namespace {

constexpr LoopParams kLongest{1200, kMeasureOff, 1};  // 262,144 words

std::vector<std::uint8_t> Noise(std::size_t bytes) {
  std::vector<std::uint8_t> data(bytes);
  std::uint32_t x = 12345;
  for (auto& b : data) b = static_cast<std::uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
  return data;
}

// Reports throughput over the bytes read, and how that compares with memcpy of
// the same bytes (memcpy_ratio 0.5 = half memcpy's speed).
template <typename Work>
void Run(benchmark::State& state, std::size_t bytes, Work work) {
  std::vector<std::uint8_t> from(bytes), to(bytes);
  const double copy = BestSeconds([&] {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
  });
  const double transform = BestSeconds(work);
  for (auto _ : state) {
    work();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
  state.counters["memcpy_ratio"] = copy / transform;
}

void BM_BuildLoopImageMono(benchmark::State& state) {
  const auto pcm = Noise(kPcmElements * 2);
  std::vector<std::uint8_t> image(kLoopImageElements * 2);
  Run(state, 524'288, [&] {
    BuildLoopImage(kLongest, 1, FixedSpan<kStereoLoadCap>(pcm), FixedSpan<kLargestLoopFile>(image));
    benchmark::DoNotOptimize(image.data());
  });
}

void BM_BuildLoopImageStereo(benchmark::State& state) {
  const auto pcm = Noise(kPcmElements * 2);
  std::vector<std::uint8_t> image(kLoopImageElements * 2);
  Run(state, 1'048'576, [&] {
    BuildLoopImage(kLongest, 2, FixedSpan<kStereoLoadCap>(pcm), FixedSpan<kLargestLoopFile>(image));
    benchmark::DoNotOptimize(image.data());
  });
}

void BM_LoopToPcm(benchmark::State& state) {
  const auto image = Noise(kLoopImageElements * 2);
  std::vector<std::uint8_t> pcm(kPcmElements * 2);
  Run(state, 524'288, [&] {
    LoopToPcm(image.data(), pcm.data(), 262'143);
    benchmark::DoNotOptimize(pcm.data());
  });
}

BENCHMARK(BM_BuildLoopImageMono);
BENCHMARK(BM_BuildLoopImageStereo);
BENCHMARK(BM_LoopToPcm);

}  // namespace
}  // namespace loopsmith::bench
