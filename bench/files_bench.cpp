// Whole conversions through real files, against copying the same bytes file to file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/posix_file_system.h"
#include "base/work_buffers.h"
#include "bench_util.h"
#include "core/loop_file.h"
#include "core/loop_format.h"
#include "core/loop_length.h"
#include "core/sample_transforms.h"
#include "wave/wave_io.h"

namespace loopsmith::bench {
namespace {

class Silent final : public Reporter {
 public:
  void Report(const Failure&) override { std::abort(); }
};

std::string Scratch(const std::string& name) {
  static const std::string folder = [] {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "loopsmith-bench-XXXXXX").string();
    return std::string(::mkdtemp(pattern.data()));
  }();
  return folder + "/" + name;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// Reads `from` whole and writes it to a new file `to`, as cp does.
void CopyFile(const std::string& from, const std::string& to, std::vector<std::uint8_t>& buffer) {
  ::unlink(to.c_str());
  const int in = ::open(from.c_str(), O_RDONLY);
  const ssize_t got = ::read(in, buffer.data(), buffer.size());
  ::close(in);
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  benchmark::DoNotOptimize(::write(out, buffer.data(), static_cast<std::size_t>(got)));
  ::close(out);
}

template <typename Work>
void Run(benchmark::State& state, std::size_t bytes, const std::string& source, Work work) {
  std::vector<std::uint8_t> buffer(4 << 20);
  const double copy = BestSeconds([&] { CopyFile(source, Scratch("copy"), buffer); }, 50);
  const double convert = BestSeconds(work, 50);
  for (auto _ : state) work();
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
  state.counters["copy_ratio"] = copy / convert;
}

void BM_WaveToLoopFile(benchmark::State& state) {
  // The largest stereo load: 262,144 frames, 1 MiB of samples.
  std::vector<std::uint8_t> wav = {'R', 'I', 'F',  'F',  0x24, 0,   0x10, 0,    'W', 'A',  'V',
                                   'E', 'f', 'm',  't',  ' ',  16,  0,    0,    0,   1,    0,
                                   2,   0,   0x44, 0xAC, 0,    0,   0x10, 0xB1, 2,   0,    4,
                                   0,   16,  0,    'd',  'a',  't', 'a',  0,    0,   0x10, 0};
  for (std::size_t i = 0; i < 1'048'576; ++i) wav.push_back(static_cast<std::uint8_t>(i * 7));
  const std::string source = Scratch("in.wav");
  WriteFile(source, wav);
  PosixFileSystem fs;
  Silent reporter;
  const LoopParams params{1200, kMeasureOff, 1};
  Run(state, wav.size(), source, [&] {
    ::unlink(Scratch("L01.T58").c_str());  // a new file each time, as for the copy
    std::vector<std::uint8_t> image(kLoopImageElements * 2), pcm(kPcmElements * 2);
    CWaveFile wave(fs, reporter);
    std::uint32_t loaded = 0;
    LoadWave(wave, reporter, source, FixedSpan<kStereoLoadCap>(pcm), loaded);
    BuildLoopImage(params, wave.m_format.nChannels, FixedSpan<kStereoLoadCap>(pcm),
                   FixedSpan<kLargestLoopFile>(image));
    WriteLoopFile(fs, reporter, Scratch("L01.T58"), image.data(), params);
  });
}

void BM_LoopFileToWave(benchmark::State& state) {
  std::vector<std::uint8_t> loop(kLargestLoopFile);
  MakeLoopHeader({1200, kMeasureOff, 1}, loop.data());
  for (std::size_t i = 56; i < loop.size(); ++i) loop[i] = static_cast<std::uint8_t>(i * 3);
  const std::string source = Scratch("in.T58");
  WriteFile(source, loop);
  PosixFileSystem fs;
  Silent reporter;
  Run(state, loop.size(), source, [&] {
    ::unlink(Scratch("in.WAV").c_str());  // a new file each time, as for the copy
    std::vector<std::uint8_t> image(kLoopImageElements * 2), pcm(kPcmElements * 2);
    LoopParams params;
    ReadLoopFile(fs, reporter, source, FixedSpan<kLargestLoopFile>(image), params);
    LoopToPcm(image.data(), pcm.data(), SampleCount(params.measureMode, params.tempo));
    CWaveFile wave(fs, reporter);
    SaveWave(wave, reporter, Scratch("in.WAV"), pcm.data(),
             SampleCount(params.measureMode, params.tempo));
  });
}

BENCHMARK(BM_WaveToLoopFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoopFileToWave)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace loopsmith::bench
