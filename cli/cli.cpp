#include "cli/cli.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <ostream>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "base/version.h"
#include "base/work_buffers.h"
#include "cli/options.h"
#include "core/convert_job.h"
#include "core/loop_file.h"
#include "core/loop_format.h"
#include "core/loop_length.h"
#include "wave/wave_io.h"

namespace loopsmith::cli {
namespace {

constexpr const char* kProgram = "loopsmith-cli";

constexpr const char* kHelp =
    "Usage: loopsmith-cli [--bpm BPM] [--measure 1|2|off] [--number N] FILE...\n"
    "  or:  loopsmith-cli --info FILE...\n"
    "\n"
    "Converts each FILE for the TQ-58 sampler, exactly as dropping it on the\n"
    "Loopsmith window would, and writes the result beside it:\n"
    "  NAME.WAV (44,100 Hz, 16-bit, mono or stereo)  ->  L01.T58 ... L50.T58\n"
    "  NAME.T58 (loop file)                           ->  NAME.WAV (mono)\n"
    "\n"
    "Loop parameters for WAV files (the Loop Parameters dialog's choices):\n"
    "  --bpm BPM        tempo, 40 to 240, at most one decimal (default 120)\n"
    "  --measure M      loop length: 1 or 2 measures, or off (default 1)\n"
    "  --number N       file number of the first loop file, 1 to 50 (default 1);\n"
    "                   further WAV files count up from it\n"
    "\n"
    "  --info           write nothing; describe each FILE\n"
    "  --help           show this text\n"
    "  --version        show the version\n"
    "\n"
    "The path of every file written goes to standard output; every failure is a\n"
    "line on standard error. Exit status: 0 all converted, 1 some not, 2 usage error.\n";

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
      : m_tempo(options.tempo), m_mode(options.measureMode) {}
  bool AskLoopParams(LoopParams& params) override {
    params.tempo = m_tempo;
    params.measureMode = m_mode;
    params.fileNumber = number;
    return true;
  }
  std::uint8_t number = 1;

 private:
  std::int16_t m_tempo;
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
      << "  stored words:  " << WithCommas(StorageWords(last) + 1ull) << '\n'
      << "  file size:     " << WithCommas(static_cast<std::uint64_t>(FileSize(fs, path)))
      << " bytes\n";
  return true;
}

bool DescribeWave(FileSystem& fs, LineReporter& reporter, const std::string& path,
                  std::ostream& out) {
  HeapAllocator heap;
  const WorkBuffer pcm(heap, kPcmElements * 2);
  if (!pcm) {
    reporter.Report(Failure{MessageId::kMemoryError, ENOMEM, "there is not enough memory"});
    return false;
  }
  CWaveFile wave(fs, reporter);
  std::uint32_t loaded = 0;
  if (!LoadWave(wave, reporter, path, pcm.data(), loaded)) return false;
  const std::uint32_t frameBytes = 2u * wave.m_format.nChannels;
  out << path << ": WAV file\n"
      << "  channels:      " << wave.m_format.nChannels << '\n'
      << "  rate:          " << WithCommas(wave.m_format.nSamplesPerSec) << " Hz\n"
      << "  bits:          " << wave.m_format.wBitsPerSample << '\n'
      << "  frames:        " << WithCommas(wave.m_dataSize / frameBytes) << '\n'
      << "  converted:     " << WithCommas((loaded + frameBytes - 1) / frameBytes) << " frames\n";
  return true;
}

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
    out << kHelp;
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
  bool allConverted = true;
  // Every WAV file has its number by its place among the WAV files, converted or
  // not, so a file that failed can be converted again under the same name.
  answers.number = options.firstNumber;
  for (const auto& file : options.files) {
    reporter.Start(file);
    const Direction direction = DirectionOf(file);
    if (direction == Direction::kNone) {
      reporter.Say("not a .WAV or .T58 file");
      allConverted = false;
      continue;
    }
    bool ok = false;
    try {
      if (options.mode == Mode::kInfo) {
        ok = direction == Direction::kLoopToWave ? DescribeLoop(fs, reporter, file, out)
                                                 : DescribeWave(fs, reporter, file, out);
      } else {
        const JobOutcome outcome = job.Run(file);
        ok = outcome.Converted();
        if (ok) out << outcome.output << '\n';
      }
    } catch (const std::bad_alloc&) {
      reporter.Report(Failure{MessageId::kMemoryError, ENOMEM, "there is not enough memory"});
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
