#include "cli/describe.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/text.h"
#include "base/work_buffers.h"
#ifdef LOOPSMITH_HAVE_ADAPT
#include "adapt/beat_level.h"
#include "adapt/sound_file.h"
#include "adapt/tempo.h"
#endif
#include "cli/loop_start.h"
#include "core/loop_file.h"
#include "core/loop_format.h"
#include "core/loop_length.h"
#include "wave/wave_io.h"

namespace loopsmith::cli {
namespace {

std::string TenthsText(int value) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%d.%d", value < 0 ? "-" : "", std::abs(value) / 10,
                std::abs(value) % 10);
  return text;
}

bool DescribeLoop(FileSystem& fs, LineReporter& reporter, const std::string& path,
                  std::ostream& out) {
  PageAllocator heap;
  const WorkBuffer image(heap, kLargestLoopFile);
  if (!image) {
    reporter.Report(Failure{MessageId::kMemoryError, ENOMEM, "there is not enough memory"});
    return false;
  }
  LoopParams params;
  if (!ReadLoopFile(fs, reporter, path, image.first<kLargestLoopFile>(), params)) return false;
  const std::uint32_t last = SampleCount(params.measureMode, params.tempo);
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", (last + 1.0) / kSampleRate);
  const std::string mode = params.measureMode == kMeasureOne   ? "1"
                           : params.measureMode == kMeasureTwo ? "2"
                                                               : "OFF";
  out << QuotedName(path) << ": loop file\n"
      << "  tempo:         " << TenthsText(params.tempo) << " BPM\n"
      << "  measure:       " << mode << '\n'
      << "  loop samples:  " << WithCommas(last + 1ull) << '\n'
      << "  loop seconds:  " << seconds << '\n'
      << "  stored words:  " << WithCommas(StorageWords(last) + 1ull) << '\n';
  const std::int64_t size = FileSize(fs, path);
  out << "  file size:     "
      << (size < 0 ? "unknown" : WithCommas(static_cast<std::uint64_t>(size)) + " bytes") << '\n';
  return true;
}

#ifdef LOOPSMITH_HAVE_ADAPT
// `quiet`: a file libsndfile cannot read is passed over without a line.
bool DescribeSound(FileSystem& fs, LineReporter& reporter, const std::string& path,
                   const Options& options, std::uint32_t start, std::ostream& out,
                   bool quiet = false);
void DescribeAutoTempo(const adapt::TempoFinding& found, MeasureMode mode, std::ostream& out);
#endif

// The tempo a conversion would take: --bpm's, or the one --bpm auto found.
std::int16_t TempoTaken(const Options& options, const std::optional<double>& found) {
  return found ? static_cast<std::int16_t>(std::lround(*found * 10)) : options.tempo;
}

bool DescribeWave(FileSystem& fs, LineReporter& reporter, const std::string& path,
                  const Options& options, std::ostream& out) {
  PageAllocator heap;
  const WorkBuffer pcm(heap, kPcmElements * 2);
  if (!pcm) {
    reporter.Report(Failure{MessageId::kMemoryError, ENOMEM, "there is not enough memory"});
    return false;
  }
  // With --adapt a file the strict reader refuses is no failure: it is described as a sound file.
  SilentReporter quiet;
  Reporter& strict = options.adapt ? static_cast<Reporter&>(quiet) : reporter;
  CWaveFile wave(fs, strict);
  std::uint32_t loaded = 0;
  const std::optional<std::uint32_t> start = LoopStart(fs, reporter, path, options);
  if (!start) return false;
  if (!LoadWave(wave, strict, path, pcm.first<kStereoLoadCap>(), loaded, *start)) {
#ifdef LOOPSMITH_HAVE_ADAPT
    // What it is all the same, and what --adapt would make of it.
    if (options.adapt) return DescribeSound(fs, reporter, path, options, *start, out);
    DescribeSound(fs, reporter, path, options, *start, out, true);
#endif
    return false;
  }
  const std::uint32_t frameBytes = 2u * wave.m_format.nChannels;
  out << QuotedName(path) << ": WAV file\n"
      << "  channels:      " << wave.m_format.nChannels << '\n'
      << "  rate:          " << WithCommas(wave.m_format.nSamplesPerSec) << " Hz\n"
      << "  bits:          " << wave.m_format.wBitsPerSample << '\n'
      << "  frames:        " << WithCommas(wave.m_dataSize / frameBytes) << '\n'
      << "  converted:     " << WithCommas((loaded + frameBytes - 1) / frameBytes) << " frames\n";
  std::optional<double> found;
#ifdef LOOPSMITH_HAVE_ADAPT
  if (options.autoTempo) {
    const adapt::TempoFinding finding =
        adapt::FindTempo(fs, path, GivenMeasures(options), nullptr, *start);
    DescribeAutoTempo(finding, options.measureMode, out);
    found = finding.bpm;
  }
#endif
  if (options.startGiven) {
    DescribeLoopSpan(*start, wave.m_dataSize / frameBytes, options, TempoTaken(options, found),
                     out);
  }
  return true;
}

#ifdef LOOPSMITH_HAVE_ADAPT
// Any file libsndfile reads: what it is and what --adapt would do with it.
bool DescribeSound(FileSystem& fs, LineReporter& reporter, const std::string& path,
                   const Options& options, std::uint32_t start, std::ostream& out, bool quiet) {
  Failure unopened = PlainFailure({});
  const auto sound = adapt::SoundFile::Open(fs, path, unopened);
  if (!sound) {
    // A missing library is said even then: the file may well be one it reads.
    if (!quiet || adapt::SoundFile::LibraryMissing()) reporter.Report(unopened);
    return false;
  }
  const adapt::SoundInfo& info = sound->info();
  std::string length = "unknown";
  if (info.lengthKnown) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(info.frames) / info.rate);
    length = WithCommas(static_cast<std::uint64_t>(info.frames)) + " frames, " + seconds + " s";
  }
  std::string steps;
  auto add = [&](const std::string& step) { steps += (steps.empty() ? "" : "; ") + step; };
  if (info.channels > 2) add("mix " + std::to_string(info.channels) + " channels to 2");
  if (info.rate != static_cast<int>(kSampleRate)) {
    add("resample " + WithCommas(static_cast<std::uint64_t>(info.rate)) + " -> 44,100 Hz");
  }
  if (!info.pcm16) add("round to 16 bits");
  if (steps.empty()) steps = "take the samples as they are";
  out << QuotedName(path) << ": sound file\n"
      << "  container:     " << info.container << '\n'
      << "  encoding:      " << info.encoding << '\n'
      << "  rate:          " << WithCommas(static_cast<std::uint64_t>(info.rate)) << " Hz\n"
      << "  channels:      " << info.channels << '\n'
      << "  length:        " << length << '\n'
      << "  --adapt would: " << steps << '\n';
  if (info.loopChunkBpm) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f BPM", *info.loopChunkBpm);
    out << "  loop chunk:    " << text << '\n';
  }
  if (const auto named = adapt::TempoInName(path)) {
    out << "  file name:     " << adapt::BpmText(*named) << '\n';
  }
  std::optional<double> found;
  if (options.autoTempo) {
    const adapt::TempoFinding finding =
        adapt::FindTempo(fs, path, GivenMeasures(options), sound.get(), start);
    DescribeAutoTempo(finding, options.measureMode, out);
    found = finding.bpm;
  }
  if (options.startGiven) {
    // At the rate the loop is counted in.
    const auto frames = info.lengthKnown
                            ? static_cast<std::uint64_t>(std::llround(
                                  static_cast<double>(info.frames) * kSampleRate / info.rate))
                            : 0;
    DescribeLoopSpan(start, frames, options, TempoTaken(options, found), out);
  }
  return true;
}

void DescribeAutoTempo(const adapt::TempoFinding& found, MeasureMode mode, std::ostream& out) {
  if (!found.bpm) {
    out << "  --bpm auto:    none: " << DetailOf(*found.failure) << '\n';
    return;
  }
  out << "  --bpm auto:    " << adapt::BpmText(*found.bpm) << " from " << found.source
      << (found.adjusted.empty() ? "" : ", " + found.adjusted) << '\n';
  if (found.measures > 0) {
    // What the conversion with the same --measure takes, in its words.
    const std::string taken = MeasuresTaken(found.measures, mode);
    out << "  measures:      " << found.measures << " in the file; "
        << (taken.empty() ? "the loop takes " + std::string(found.measures == 1 ? "it" : "them all")
                          : taken)
        << '\n';
  }
  if (found.heard) {
    out << "  beat tracking: heard " << adapt::BpmText(*found.heard);
    // Moved an octave from what the tracker heard: say why, or it looks like a mistake.
    if (found.bpm && std::abs(std::log2(*found.bpm / *found.heard)) > 0.5) {
      out << " (its hits say " << adapt::BpmText(*found.bpm) << ")";
    }
    out << '\n';
  }
  if (!found.weighed.empty())
    out << "  weighed:       " << adapt::WeighedText(found.weighed) << '\n';
  if (const std::string second = adapt::SecondChoiceText(found); !second.empty()) {
    out << "  unsure:        " << second << '\n';
  }
  for (const auto& note : found.notes) out << "  note:          " << note << '\n';
}
#endif

}  // namespace

bool Describe(FileSystem& fs, LineReporter& reporter, const std::string& path, Direction direction,
              const Options& options, std::ostream& out) {
  // Read, never applied: what follows describes the file as it will be.
  if (const auto cutOff = fs.CutOffCopyOf(path)) reporter.Say(cutOff->name + ": " + cutOff->why);
  return direction == Direction::kLoopToWave ? DescribeLoop(fs, reporter, path, out)
                                             : DescribeWave(fs, reporter, path, options, out);
}

std::int64_t FileSize(FileSystem& fs, const std::string& path) {
  FileHandle file = FileHandle::kNone;
  if (fs.OpenRead(path, file) != 0) return -1;
  const std::int64_t size = fs.Seek(file, 0, SeekFrom::kEnd);
  fs.Close(file);
  return size;
}

}  // namespace loopsmith::cli
