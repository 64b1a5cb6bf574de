#include "cli/cli.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <optional>
#include <ostream>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "base/version.h"
#include "base/work_buffers.h"
#include "cli/options.h"
#include "core/convert_job.h"
#ifdef LOOPSMITH_HAVE_ADAPT
#include "adapt/adapting_source.h"
#include "adapt/sound_file.h"
#include "adapt/tempo.h"
#endif
#include "core/loop_file.h"
#include "core/loop_format.h"
#include "core/loop_length.h"
#include "wave/wave_io.h"

namespace loopsmith::cli {
namespace {

constexpr const char* kProgram = "loopsmith-cli";

#ifdef LOOPSMITH_HAVE_ADAPT
constexpr bool kHaveAdapt = true;
#else
constexpr bool kHaveAdapt = false;
#endif

// The help shows only what this build does: the Windows build has no --adapt.
std::string HelpText() {
  std::string text =
      "Usage: loopsmith-cli [--bpm BPM] [--measure 1|2|off] [--number N] FILE...\n"
      "  or:  loopsmith-cli --info FILE...\n"
      "\n"
      "Converts each FILE for the TQ-58 sampler, exactly as dropping it on the\n"
      "Loopsmith window would, and writes the result beside it:\n"
      "  NAME.WAV (44,100 Hz, 16-bit, mono or stereo)  ->  L01.T58 ... L50.T58\n"
      "  NAME.T58 (loop file)                           ->  NAME.WAV (mono)\n"
      "A loop holds at most 262,144 samples (5.944 s); a longer file is cut.\n"
      "\n"
      "Loop parameters for WAV files (the Loop Parameters dialog's choices):\n"
      "  --bpm BPM        tempo, 40 to 240, at most one decimal (default 120);\n";
  if (kHaveAdapt) {
    text +=
        "                   auto: from the file's loop chunk, its name (\"128bpm\"),\n"
        "                   or its length checked by beat tracking\n";
  }
  text +=
      "  --measure M      loop length: 1 or 2 measures, or off (default 1)\n"
      "  --number N       file number of the first loop file, 1 to 50 (default 1);\n"
      "                   further WAV files count up from it\n"
      "\n";
  if (kHaveAdapt) {
    text +=
        "  --adapt          take any sound file: other rates, depths and channel counts,\n"
        "                   AIFF, FLAC, Ogg, Opus, MP3...; resampled to 44,100 Hz and\n"
        "                   rounded to 16 bits\n";
  }
  text +=
      "  --dither         TPDF dither at the step from 16 to 12 bits\n"
      "  --info           write nothing; describe each FILE\n"
      "  --help           show this text\n"
      "  --version        show the version\n"
      "\n"
      "The path of every file written goes to standard output; every failure is a\n"
      "line on standard error. Exit status: 0 all converted, 1 some not, 2 usage error.\n";
  return text;
}

// Every failure is a line with the window's text; with `explain` set, the
// first failure's detail follows on a second line.
class LineReporter final : public Reporter {
 public:
  explicit LineReporter(std::ostream& err) : m_err(err) {}
  void Report(const Failure& failure) override {
    Say(MessageText(failure.id));
    if (explain && !explained && !failure.detail.empty()) {
      Say(failure.detail);
      explained = true;
    }
  }
  // Every line about a file, catalogue message or not, has the same form.
  void Say(std::string_view text) { m_err << kProgram << ": " << file << ": " << text << '\n'; }
  void Start(const std::string& path) {
    file = path;
    explained = false;
  }
  std::string file;
  bool explain = false;
  bool explained = false;

 private:
  std::ostream& m_err;
};

class FixedParams final : public LoopParamsSource {
 public:
  explicit FixedParams(const Options& options)
      : tempo(options.tempo), m_mode(options.measureMode) {}
  bool AskLoopParams(LoopParams& params) override {
    params.tempo = tempo;
    params.measureMode = m_mode;
    params.fileNumber = number;
    return true;
  }
  std::int16_t tempo;
  std::uint8_t number = 1;

 private:
  MeasureMode m_mode;
};

std::string Tenths(int value) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%d.%d", value < 0 ? "-" : "", std::abs(value) / 10,
                std::abs(value) % 10);
  return text;
}

std::int64_t FileSize(FileSystem& fs, const std::string& path) {
  FileHandle file = FileHandle::kNone;
  if (fs.OpenRead(path, file) != 0) return -1;
  const std::int64_t size = fs.Seek(file, 0, SeekFrom::kEnd);
  fs.Close(file);
  return size;
}

bool DescribeLoop(FileSystem& fs, LineReporter& reporter, const std::string& path,
                  std::ostream& out) {
  HeapAllocator heap;
  const WorkBuffer image(heap, kLargestLoopFile);
  if (!image) {
    reporter.Report(Failure{MessageId::kMemoryError, ENOMEM, "there is not enough memory"});
    return false;
  }
  LoopParams params;
  if (!ReadLoopFile(fs, reporter, path, image.data(), params)) return false;
  const std::uint32_t last = SampleCount(params.measureMode, params.tempo);
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", (last + 1.0) / kSampleRate);
  const std::string mode = params.measureMode == kMeasureOne   ? "1"
                           : params.measureMode == kMeasureTwo ? "2"
                                                               : "OFF";
  out << path << ": loop file\n"
      << "  tempo:         " << Tenths(params.tempo) << " BPM\n"
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
                   const Options& options, std::ostream& out, bool quiet = false);
void DescribeAutoTempo(FileSystem& fs, const std::string& path, const Options& options,
                       std::ostream& out);
#endif

bool DescribeWave(FileSystem& fs, LineReporter& reporter, const std::string& path,
                  const Options& options, std::ostream& out) {
  HeapAllocator heap;
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
  if (!LoadWave(wave, strict, path, pcm.data(), loaded)) {
#ifdef LOOPSMITH_HAVE_ADAPT
    // What it is all the same, and what --adapt would make of it.
    if (options.adapt) return DescribeSound(fs, reporter, path, options, out);
    DescribeSound(fs, reporter, path, options, out, true);
#endif
    return false;
  }
  const std::uint32_t frameBytes = 2u * wave.m_format.nChannels;
  out << path << ": WAV file\n"
      << "  channels:      " << wave.m_format.nChannels << '\n'
      << "  rate:          " << WithCommas(wave.m_format.nSamplesPerSec) << " Hz\n"
      << "  bits:          " << wave.m_format.wBitsPerSample << '\n'
      << "  frames:        " << WithCommas(wave.m_dataSize / frameBytes) << '\n'
      << "  converted:     " << WithCommas((loaded + frameBytes - 1) / frameBytes) << " frames\n";
#ifdef LOOPSMITH_HAVE_ADAPT
  if (options.autoTempo) DescribeAutoTempo(fs, path, options, out);
#endif
  return true;
}

#ifdef LOOPSMITH_HAVE_ADAPT
// How many measures the loop takes of a file that holds `held` at its tempo.
int MeasuresTaken(MeasureMode mode) { return mode == kMeasureTwo ? 2 : 1; }

// The measures given on the command line, for the tempo from the length.
int GivenMeasures(const Options& options) {
  return options.measureGiven && options.measureMode != kMeasureOff
             ? MeasuresTaken(options.measureMode)
             : 0;
}

// --bpm auto: the file's tempo, or a line saying what was looked at.
std::optional<std::int16_t> AutoTempo(FileSystem& fs, LineReporter& reporter,
                                      const std::string& path, const Options& options) {
  const adapt::TempoFinding found = adapt::FindTempo(fs, path, GivenMeasures(options));
  for (const auto& note : found.notes) reporter.Say(note);
  if (!found.bpm) {
    reporter.Say("--bpm auto found no tempo: " + found.error);
    return std::nullopt;
  }
  if (!found.adjusted.empty()) {
    reporter.Say("tempo " + adapt::BpmText(*found.bpm) + " from " + found.source + ", " +
                 found.adjusted);
  }
  const int taken = MeasuresTaken(options.measureMode);
  if (options.measureMode != kMeasureOff && found.measures > taken) {
    reporter.Say("holds " + std::to_string(found.measures) + " measures at " +
                 adapt::BpmText(*found.bpm) + "; " +
                 (taken == 1 ? "one measure is taken" : "two measures are taken") +
                 (found.measures == 2 ? ", use --measure 2 for both" : ""));
  }
  return static_cast<std::int16_t>(std::lround(*found.bpm * 10));
}

// Any file libsndfile reads: what it is and what --adapt would do with it.
bool DescribeSound(FileSystem& fs, LineReporter& reporter, const std::string& path,
                   const Options& options, std::ostream& out, bool quiet) {
  std::string error;
  const auto sound = adapt::SoundFile::Open(fs, path, error);
  if (!sound) {
    if (!quiet) reporter.Say(error);
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
  if (info.encoding != "Signed 16 bit PCM") add("round to 16 bits");
  if (steps.empty()) steps = "take the samples as they are";
  out << path << ": sound file\n"
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
  if (options.autoTempo) DescribeAutoTempo(fs, path, options, out);
  return true;
}

void DescribeAutoTempo(FileSystem& fs, const std::string& path, const Options& options,
                       std::ostream& out) {
  const adapt::TempoFinding found = adapt::FindTempo(fs, path, GivenMeasures(options));
  if (!found.bpm) {
    out << "  --bpm auto:    none: " << found.error << '\n';
    return;
  }
  out << "  --bpm auto:    " << adapt::BpmText(*found.bpm) << " from " << found.source
      << (found.adjusted.empty() ? "" : ", " + found.adjusted) << '\n';
  if (found.measures > 0) {
    // As the sampler holds it: loops of 1 or 2 measures, and how many the file has.
    const int loop = found.measures >= 2 ? 2 : 1;
    const int loops = found.measures / loop;
    out << "  measures:      " << loop << " a loop; the file holds " << loops
        << (loops == 1 ? " such loop" : " such loops") << '\n';
  }
  if (found.heard) {
    out << "  beat tracking: heard " << adapt::BpmText(*found.heard) << '\n';
  }
  for (const auto& note : found.notes) out << "  note:          " << note << '\n';
}
#endif

}  // namespace

int RunCli(const std::vector<std::string>& args, FileSystem& fs, std::ostream& out,
           std::ostream& err) {
  const ParseResult parsed = ParseOptions(args);
  if (!parsed.options) {
    err << kProgram << ": " << parsed.error << '\n'
        << "Try 'loopsmith-cli --help' for more information.\n";
    return 2;
  }
  const Options& options = *parsed.options;
  if (options.mode == Mode::kHelp) {
    out << HelpText();
    return 0;
  }
  if (options.mode == Mode::kVersion) {
    out << kProgram << " (" << kProductName << ") " << kVersion << '\n';
    return 0;
  }

  LineReporter reporter(err);
  reporter.explain = options.mode == Mode::kInfo;
  FixedParams answers(options);
  HeapAllocator allocator;
  ConvertJob job(fs, reporter, answers, allocator);
  job.setDither(options.dither);
#ifdef LOOPSMITH_HAVE_ADAPT
  adapt::AdaptingSource adapting(fs, [&reporter](std::string_view text) { reporter.Say(text); });
  if (options.adapt) job.setPcmSource(&adapting);
#endif
  bool allConverted = true;
  // Every WAV file has its number by its place among the WAV files, converted or
  // not, so a file that failed can be converted again under the same name.
  answers.number = options.firstNumber;
  for (const auto& file : options.files) {
    reporter.Start(file);
    Direction direction = DirectionOf(file);
    // With --adapt any file that is not a loop file is taken as a sound file.
    if (direction == Direction::kNone && options.adapt) direction = Direction::kWaveToLoop;
    if (direction == Direction::kNone) {
      reporter.Say("not a .WAV or .T58 file");
      allConverted = false;
      continue;
    }
    bool ok = false;
    try {
      if (options.mode == Mode::kInfo) {
        ok = direction == Direction::kLoopToWave ? DescribeLoop(fs, reporter, file, out)
                                                 : DescribeWave(fs, reporter, file, options, out);
      } else {
        std::optional<std::int16_t> tempo = options.tempo;
#ifdef LOOPSMITH_HAVE_ADAPT
        if (options.autoTempo && direction == Direction::kWaveToLoop) {
          tempo = AutoTempo(fs, reporter, file, options);
        }
#endif
        answers.tempo = tempo.value_or(options.tempo);
        const JobOutcome outcome =
            tempo ? job.Run(file, direction) : JobOutcome{direction, false, true, {}};
        ok = outcome.Converted();
        if (ok) out << outcome.output << '\n';
      }
    } catch (const std::bad_alloc&) {
      reporter.Report(Failure{MessageId::kMemoryError, ENOMEM, "there is not enough memory"});
    } catch (const std::exception& error) {
      // One file's surprise is one line; the batch goes on.
      reporter.Say(std::string("cannot be handled: ") + error.what());
    }
    if (options.mode == Mode::kConvert && direction == Direction::kWaveToLoop) ++answers.number;
    allConverted = allConverted && ok;
  }
  // A script that reads the paths written must not take silence for success.
  if (!out.flush()) {
    err << kProgram << ": standard output: the paths written could not be printed\n";
    return 1;
  }
  return allConverted ? 0 : 1;
}

}  // namespace loopsmith::cli
