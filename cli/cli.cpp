#include "cli/cli.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <exception>
#include <map>
#include <new>
#include <optional>
#include <ostream>
#include <vector>

#include "base/forwarding_file_system.h"
#include "base/journal.h"
#include "base/paths.h"
#include "base/text.h"
#include "base/version.h"
#include "base/work_buffers.h"
#include "card/card.h"
#include "card/card_moves.h"
#include "card/numbering.h"
#include "cli/describe.h"
#include "cli/describe_card.h"
#include "cli/describe_json.h"
#include "cli/line_reporter.h"
#include "cli/loop_start.h"
#include "cli/options.h"
#include "core/convert_job.h"
#ifdef LOOPSMITH_HAVE_ADAPT
#include "adapt/adapting_source.h"
#include "adapt/beat_level.h"
#include "adapt/tempo.h"
#endif

namespace loopsmith::cli {
namespace {

#ifdef LOOPSMITH_HAVE_ADAPT
constexpr bool kHaveAdapt = true;
#else
constexpr bool kHaveAdapt = false;
#endif

// The help shows only what this build does: the Windows build has no --adapt.
std::string HelpText() {
  std::string text =
      "Usage: loopsmith-cli [--bpm BPM] [--measure 1|2|off] [--number N] [--start S] FILE...\n"
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
        "                   or its length, the tempo its beats bear out; for a take\n"
        "                   longer than any loop, the tempo of its beats\n";
  }
  text +=
      "  --measure M      loop length: 1 or 2 measures, or off (default 1)\n"
      "  --number N       file number of the first loop file, 1 to 50 (default 1);\n"
      "                   further WAV files count up from it\n"
      "  --start SECONDS  take the loop from this point of the file (1.5, say), to\n"
      "                   the nearest sample, not from its first sample\n";
  if (kHaveAdapt) {
    text +=
        "  --start auto     from the file's first hit: where its attack begins, so the\n"
        "                   downbeat lands on the sampler's trigger; a take that opens\n"
        "                   with no clear hit starts at 0, and a line says so\n";
  }
  text += "\n";
  if (kHaveAdapt) {
    text +=
        "  --adapt          take any sound file: other rates, depths and channel counts,\n"
        "                   AIFF, FLAC, Ogg, Opus, MP3...; resampled to 44,100 Hz and\n"
        "                   rounded to 16 bits\n";
  }
  text +=
      "  --dither         TPDF dither at the step from 16 to 12 bits\n"
      "  --info           write nothing; describe each FILE; a folder is described\n"
      "                   as the sampler's card: its fifty numbers and other names;\n"
      "                   a file whose copy was cut off is described as it will be\n"
      "                   once its old contents are put back\n"
      "  --recover FOLDER put back what copies cut off left in FOLDER and remove what\n"
      "                   killed runs left, where the file system cannot lock; run it\n"
      "                   when no other conversion is at work there\n"
      "  --number free    each WAV file takes the lowest free number of its folder;\n"
      "                   an existing loop file is never replaced\n"
      "  -n, --no-clobber never replace an existing output\n"
      "  --move N M CARD  the loop of number N to the free number M in folder CARD\n"
      "  --swap N M CARD  the loops of numbers N and M trade places\n"
      "  --remove N CARD  the loop of number N is removed; one marked read-only only\n"
      "                   with --force\n"
      "  --label N TEXT CARD  name the loop of number N; --info shows it, with the\n"
      "                   sound it was made from (kept for --number free's loops)\n"
      "  --json           with --info: one JSON document (its shape is in the README)\n"
      "  -0, --null       end each path written with a NUL byte, not a newline,\n"
      "                   for names that hold newlines (xargs -0 reads them)\n"
      "  --help           show this text\n"
      "  --version        show the version\n"
      "\n"
      "The path of every file written goes to standard output; every failure is a\n"
      "line on standard error, with a name that holds a newline quoted as $'a\\nb'.\n"
      "Exit status: 0 all converted, 1 some not, 2 usage error.\n";
  return text;
}

// Commits that never replace a file (-n, --number free); says when one refused.
class NoReplaceFiles final : public ForwardingFileSystem {
 public:
  NoReplaceFiles(FileSystem& inner, bool on) : ForwardingFileSystem(inner), m_on(on) {}
  int CommitOutput(FileHandle file) override {
    if (!m_on) return ForwardingFileSystem::CommitOutput(file);
    const int result = CommitOutputNoReplace(file);
    refused = result == -EEXIST;
    return result;
  }
  bool refused = false;

 private:
  bool m_on;
};

// Failures held back until the caller knows whether they are the user's
// business: a commit refused by -n or --number free is said otherwise.
class HeldReporter final : public Reporter {
 public:
  HeldReporter(Reporter& inner, const NoReplaceFiles& files) : m_inner(inner), m_files(files) {}
  void Report(const Failure& failure) override {
    if (!m_files.refused) m_inner.Report(failure);
  }

 private:
  Reporter& m_inner;
  const NoReplaceFiles& m_files;
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

#ifdef LOOPSMITH_HAVE_ADAPT
// --bpm auto: the file's tempo, or a line saying what was looked at.
std::optional<std::int16_t> AutoTempo(FileSystem& fs, LineReporter& reporter,
                                      const std::string& path, const Options& options,
                                      std::uint32_t startFrame) {
  const adapt::TempoFinding found =
      adapt::FindTempo(fs, path, GivenMeasures(options), nullptr, startFrame);
  for (const auto& note : found.notes) reporter.Say(note);
  if (!found.bpm) {
    reporter.Report(PlainFailure("--bpm auto found no tempo: " + DetailOf(*found.failure)));
    return std::nullopt;
  }
  if (const std::string second = adapt::SecondChoiceText(found); !second.empty()) {
    reporter.Say(second);
  }
  if (!found.adjusted.empty()) {
    reporter.Say("tempo " + adapt::BpmText(*found.bpm) + " from " + found.source + ", " +
                 found.adjusted);
  }
  if (const std::string taken = MeasuresTaken(found.measures, options.measureMode);
      !taken.empty()) {
    reporter.Say("holds " + std::to_string(found.measures) + " measures at " +
                 adapt::BpmText(*found.bpm) + "; " + taken);
  }
  return static_cast<std::int16_t>(std::lround(*found.bpm * 10));
}
#endif

// "2026-12-08 16:30", this computer's time.
std::string Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

// A loop written into a card keeps the name of the sound it came from in the
// card's index: with --number free, or where the folder has an index already.
// A plain conversion into any other folder adds no file of ours there.
void RecordName(FileSystem& fs, LineReporter& reporter, const std::string& file, int number,
                const Options& options) {
  const std::string folder = FolderOfDrop(file);
  FileHandle index = FileHandle::kNone;
  const bool indexed = fs.OpenRead(card::PathIn(folder, std::string(kCardFileName)), index) == 0;
  if (indexed) fs.Close(index);
  if (!indexed && !options.freeNumbers) return;
  if (const int recorded = card::RecordSlot(fs, folder, number, NameOf(file), Now());
      recorded != 0) {
    reporter.Say("converted, but its name could not be kept in the card's index: " +
                 SystemErrorText(-recorded));
  }
}

// One file converted, its tempo found first with --bpm auto; true when written.
bool ConvertOne(FileSystem& fs, LineReporter& reporter, ConvertJob& job, FixedParams& answers,
                NoReplaceFiles& noReplace, const std::string& file, Direction direction,
                const Options& options, std::ostream& out) {
  std::optional<std::int16_t> tempo = options.tempo;
  std::uint32_t start = 0;
  if (direction == Direction::kWaveToLoop) {
    const auto found = LoopStart(fs, reporter, file, options);
    if (!found) return false;
    start = *found;
  }
#ifdef LOOPSMITH_HAVE_ADAPT
  if (options.autoTempo && direction == Direction::kWaveToLoop) {
    tempo = AutoTempo(fs, reporter, file, options, start);
  }
#else
  (void)fs;
  (void)reporter;
#endif
  if (!tempo) return false;
  answers.tempo = *tempo;
  job.setStart(start);
  // With -n or --number free never over a file: the commit itself refuses, so
  // a loop another run wrote meanwhile is kept, and --number free goes on to
  // the next number.
  const bool guarded = options.noClobber || options.freeNumbers;
  for (;;) {
    const std::string output =
        direction == Direction::kWaveToLoop ? LoopNameFor(file, answers.number) : WaveNameFor(file);
    noReplace.refused = false;
    FileHandle existing = FileHandle::kNone;
    const int opened = guarded ? fs.OpenRead(output, existing) : -ENOENT;
    if (opened == 0) fs.Close(existing);
    if (opened == -ENOENT) {
      const JobOutcome outcome = job.Run(file, direction);
      if (outcome.Converted()) {
        out << outcome.output << options.pathEnd;
        if (direction == Direction::kWaveToLoop)
          RecordName(fs, reporter, file, answers.number, options);
      }
      if (!noReplace.refused) return outcome.Converted();
    }
    if (!options.freeNumbers || direction != Direction::kWaveToLoop) {
      reporter.Say(QuotedName(output) + " is there already, and is not replaced");
      return false;
    }
    card::CardView view;
    const auto free =
        card::ReadCard(fs, FolderOfDrop(file), view) == 0 ? view.FreeNumbers() : std::vector<int>{};
    const auto next =
        std::find_if(free.begin(), free.end(), [&](int n) { return n > answers.number; });
    if (next == free.end()) {
      reporter.Say(QuotedName(output) + " was taken meanwhile, and no higher number is free");
      return false;
    }
    reporter.Say(QuotedName(output) + " was taken meanwhile; " + card::SlotName(*next) +
                 " is used");
    answers.number = static_cast<std::uint8_t>(*next);
  }
}

bool IsWave(const std::string& file, const Options& options) {
  const Direction direction = DirectionOf(file);
  return direction == Direction::kWaveToLoop || (options.adapt && direction == Direction::kNone);
}

// --number free: for each WAV file the lowest number still free in its
// folder, in the order given (0 for other files); a problem, and nothing to
// convert, where a folder cannot be read or has too few free numbers.
std::vector<std::uint8_t> FreeNumbersFor(FileSystem& fs, const Options& options,
                                         std::string& problem) {
  std::map<std::string, int> wanted;
  for (const auto& file : options.files) {
    if (IsWave(file, options)) ++wanted[FolderOfDrop(file)];
  }
  std::map<std::string, std::vector<int>> free;  // each folder's, highest first
  for (const auto& [folder, count] : wanted) {
    card::CardView view;
    if (const int listed = card::ReadCard(fs, folder, view); listed != 0) {
      problem =
          QuotedName(folder) + ": its free numbers cannot be read: " + SystemErrorText(-listed);
      return {};
    }
    const auto plan = card::PlanNumbers(view, count, 0);
    if (!plan.problem.empty()) {
      problem = QuotedName(folder) + ": " + plan.problem;
      return {};
    }
    const auto& numbers = plan.numbers;
    free[folder].assign(numbers.rbegin(), numbers.rend());
  }
  std::vector<std::uint8_t> numbers(options.files.size(), 0);
  for (std::size_t i = 0; i < options.files.size(); ++i) {
    if (!IsWave(options.files[i], options)) continue;
    auto& left = free[FolderOfDrop(options.files[i])];
    numbers[i] = static_cast<std::uint8_t>(left.back());
    left.pop_back();
  }
  return numbers;
}

// --move, --swap, --remove on each card folder given: the paths that hold a
// loop afterwards, or one line for each failure.
int RunCardOp(FileSystem& fs, LineReporter& reporter, const Options& options, std::ostream& out) {
  bool done = true;
  for (const auto& folder : options.files) {
    reporter.Start(folder);
    std::optional<Failure> failure;
    if (options.cardOp == CardOp::kLabel) {
      if (const int labelled = card::LabelSlot(fs, folder, options.slot, options.label);
          labelled != 0) {
        failure =
            PlainFailure(labelled == -ENOENT
                             ? card::SlotName(options.slot) + " holds no loop to name"
                             : "the card's names cannot be written: " + SystemErrorText(-labelled));
      }
    } else {
      failure = options.cardOp == CardOp::kMove
                    ? card::MoveSlot(fs, folder, options.slot, options.other)
                : options.cardOp == CardOp::kSwap
                    ? card::SwapSlots(fs, folder, options.slot, options.other)
                    : card::RemoveSlot(fs, folder, options.slot, options.force);
    }
    if (failure) {
      reporter.Report(*failure);
      done = false;
      continue;
    }
    if (options.cardOp == CardOp::kSwap) {
      out << card::PathIn(folder, card::SlotName(options.slot)) << options.pathEnd;
    }
    if (options.cardOp == CardOp::kLabel) {
      out << card::PathIn(folder, card::SlotName(options.slot)) << options.pathEnd;
    } else if (options.cardOp != CardOp::kRemove) {
      out << card::PathIn(folder, card::SlotName(options.other)) << options.pathEnd;
    }
  }
  if (!out.flush()) return 1;
  return done ? 0 : 1;
}

// --recover: each folder's leftovers put back or removed, even where the file
// system cannot lock; a line for each thing that had to stay.
int RunRecover(FileSystem& fs, LineReporter& reporter, const Options& options) {
  bool clean = true;
  for (const auto& folder : options.files) {
    reporter.Start(folder);
    std::vector<FolderEntry> entries;
    if (const int listed = fs.ListFolder(folder, entries); listed != 0) {
      reporter.Say("not a folder that can be read: " + SystemErrorText(-listed));
      clean = false;
      continue;
    }
    for (const LeftoverFile& left : fs.RecoverFolder(folder)) {
      reporter.Say(left.name + ": " + left.why);
      clean = false;
    }
    if (auto unfinished = card::FinishInterruptedSwap(fs, folder)) {
      reporter.Report(*unfinished);
      clean = false;
    }
  }
  return clean ? 0 : 1;
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
    out << HelpText();
    return 0;
  }
  if (options.mode == Mode::kVersion) {
    out << kProgram << " (" << kProductName << ") " << kVersion << '\n';
    return 0;
  }

  LineReporter reporter(err);
  // A wait for another run is said when it begins, not after a silent minute.
  fs.SetWaitNotice([&reporter](const std::string& name) {
    reporter.Say("waits for another program that is writing " + QuotedName(name) +
                 " (up to a minute)");
  });
  struct QuietAgain {
    FileSystem& fs;
    ~QuietAgain() { fs.SetWaitNotice(nullptr); }
  } quietAgain{fs};
  if (options.mode == Mode::kCard) return RunCardOp(fs, reporter, options, out);
  if (options.mode == Mode::kRecover) return RunRecover(fs, reporter, options);
  if (options.mode == Mode::kInfo && options.json) {
    bool all = true;
    out << "{\"files\": [";
    for (std::size_t i = 0; i < options.files.size(); ++i) {
      bool ok = false;
      out << (i > 0 ? ",\n  " : "\n  ")
          << DescribeJson(fs, options.files[i], DirectionOf(options.files[i]), options, ok);
      all = all && ok;
    }
    out << "\n]}\n";
    return !out.flush() ? 1 : all ? 0 : 1;
  }
  reporter.explain = options.mode == Mode::kInfo;
  FixedParams answers(options);
  PageAllocator allocator;
  NoReplaceFiles noReplace(fs, options.noClobber || options.freeNumbers);
  HeldReporter held(reporter, noReplace);
  ConvertJob job(noReplace, held, answers, allocator);
  job.setDither(options.dither);
#ifdef LOOPSMITH_HAVE_ADAPT
  adapt::AdaptingSource adapting(fs, reporter);
  if (options.adapt) job.setPcmSource(&adapting);
#endif
  bool allConverted = true;
  // Every WAV file has its number by its place among the WAV files, converted or
  // not, so a file that failed can be converted again under the same name.
  answers.number = options.firstNumber;
  std::vector<std::uint8_t> freeNumbers;
  if (options.mode == Mode::kConvert && options.freeNumbers) {
    std::string problem;
    freeNumbers = FreeNumbersFor(fs, options, problem);
    if (!problem.empty()) {
      err << kProgram << ": " << problem << '\n';
      return 2;
    }
  }
  for (std::size_t index = 0; index < options.files.size(); ++index) {
    const std::string& file = options.files[index];
    if (!freeNumbers.empty()) answers.number = freeNumbers[index];
    reporter.Start(file);
    // A folder is a card: its slots, with --info.
    if (std::vector<FolderEntry> entries;
        options.mode == Mode::kInfo && fs.ListFolder(file, entries) == 0) {
      allConverted = DescribeCard(fs, reporter, file, out) && allConverted;
      continue;
    }
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
      ok = options.mode == Mode::kInfo
               ? Describe(fs, reporter, file, direction, options, out)
               : ConvertOne(fs, reporter, job, answers, noReplace, file, direction, options, out);
    } catch (const std::bad_alloc&) {
      reporter.Report(Failure{MessageId::kMemoryError, ENOMEM, "there is not enough memory"});
    } catch (const std::exception& error) {
      // One file's surprise is one line; the batch goes on.
      reporter.Say(std::string("cannot be handled: ") + error.what());
    }
    if (options.mode == Mode::kConvert && direction == Direction::kWaveToLoop &&
        !options.freeNumbers) {
      ++answers.number;
    }
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
