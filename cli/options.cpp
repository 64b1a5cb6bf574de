#include "cli/options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <iterator>

#include "base/text.h"
#include "core/output_names.h"
#include "wave/wave_io.h"

namespace loopsmith::cli {
namespace {

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::optional<MeasureMode> ParseMeasure(const std::string& value) {
  const std::string text = AsciiLower(value);
  if (text == "1") return kMeasureOne;
  if (text == "2") return kMeasureTwo;
  if (text == "off") return kMeasureOff;
  return std::nullopt;
}

std::optional<std::uint8_t> ParseNumber(const std::string& text) {
  if (!AllDigits(text) || text.size() > 3) return std::nullopt;
  int number = 0;
  std::from_chars(text.data(), text.data() + text.size(), number);
  if (number < kMinFileNumber || number > kMaxFileNumber) return std::nullopt;
  return static_cast<std::uint8_t>(number);
}

}  // namespace

std::optional<std::int16_t> ParseTempo(const std::string& text) {
  const auto dot = text.find('.');
  const std::string whole = text.substr(0, dot);
  const std::string tenth = dot == std::string::npos ? "0" : text.substr(dot + 1);
  if (!AllDigits(whole) || whole.size() > 3 || tenth.size() != 1 || !AllDigits(tenth)) {
    return std::nullopt;
  }
  int bpm = 0;
  std::from_chars(whole.data(), whole.data() + whole.size(), bpm);
  const int value = bpm * 10 + (tenth[0] - '0');
  if (value < kMinBpm * 10 || value > kMaxBpm * 10) return std::nullopt;
  return static_cast<std::int16_t>(value);
}

std::optional<std::uint32_t> ParseStart(const std::string& text) {
  const auto dot = text.find('.');
  const std::string whole = text.substr(0, dot);
  const std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
  // No sign, no exponent, no "inf": digits on at least one side of the point.
  if ((!whole.empty() && !AllDigits(whole)) || (!fraction.empty() && !AllDigits(fraction)) ||
      (whole.empty() && fraction.empty()) || whole.size() > 5) {
    return std::nullopt;
  }
  const double seconds = std::strtod(text.c_str(), nullptr);
  constexpr double kDay = 24.0 * 60 * 60;
  if (!(seconds >= 0 && seconds <= kDay)) return std::nullopt;
  return static_cast<std::uint32_t>(std::llround(seconds * kSampleRate));
}

namespace {

// `value` "auto" (any case) sets `flag`; what is wrong where this build
// cannot take it. Nothing for another value.
std::optional<std::string> TakeAuto(const std::string& value, const std::string& option,
                                    bool& flag) {
  if (AsciiLower(value) != "auto") return std::nullopt;
#ifndef LOOPSMITH_HAVE_ADAPT
  (void)flag;
  return option + " auto is not in this build";
#else
  (void)option;
  flag = true;
  return std::string();
#endif
}

// An option with a value: sets it in `options`, or says what is wrong with it.
struct ValueOption {
  const char* name;
  std::string (*apply)(const std::string& value, Options& options);
};

const ValueOption kValueOptions[] = {
    {"--bpm",
     [](const std::string& value, Options& options) -> std::string {
       if (auto said = TakeAuto(value, "--bpm", options.autoTempo)) return *said;
       const auto tempo = ParseTempo(value);
       if (!tempo)
         return "--bpm takes 40 to 240, with at most one decimal, or auto: '" + value + "'";
       options.tempo = *tempo;
       return {};
     }},
    {"--measure",
     [](const std::string& value, Options& options) -> std::string {
       const auto mode = ParseMeasure(value);
       if (!mode) return "--measure takes 1, 2 or off: '" + value + "'";
       options.measureMode = *mode;
       options.measureGiven = true;
       return {};
     }},
    {"--start",
     [](const std::string& value, Options& options) -> std::string {
       options.startGiven = true;
       if (auto said = TakeAuto(value, "--start", options.autoStart)) return *said;
       const auto frame = ParseStart(value);
       if (!frame) return "--start takes seconds from 0 (1.5, say), or auto: '" + value + "'";
       options.startFrame = *frame;
       options.autoStart = false;
       return {};
     }},
    {"--number",
     [](const std::string& value, Options& options) -> std::string {
       if (value == "free") {
         options.freeNumbers = true;
         return {};
       }
       const auto number = ParseNumber(value);
       if (!number) return "--number takes 1 to 50 or free: '" + value + "'";
       options.firstNumber = *number;
       options.freeNumbers = false;
       return {};
     }},
};

// Several WAV files take the numbers counting up from --number: none may pass 50.
std::string BatchProblem(const Options& options) {
  // Free numbers are counted against each folder when the batch runs.
  if (options.mode != Mode::kConvert || options.freeNumbers) return {};
  int waves = 0;
  for (const auto& file : options.files) {
    // With --adapt every file that is not a loop file counts as a WAV file.
    const Direction direction = DirectionOf(file);
    if (direction == Direction::kWaveToLoop || (options.adapt && direction == Direction::kNone)) {
      ++waves;
    }
  }
  return loopsmith::BatchNumberProblem(options.firstNumber, waves);
}

}  // namespace

ParseResult ParseOptions(const std::vector<std::string>& args) {
  Options options;
  bool onlyFiles = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (onlyFiles || arg.size() < 2 || arg[0] != '-') {
      options.files.push_back(arg);
      continue;
    }
    if (arg == "--") {
      onlyFiles = true;
      continue;
    }
    if (arg == "--help" || arg == "-h" || arg == "--version") {
      options.mode = arg == "--version" ? Mode::kVersion : Mode::kHelp;
      return {options, {}};
    }
    if (arg == "--info") {
      options.mode = Mode::kInfo;
      continue;
    }
    if (arg == "--recover") {
      options.mode = Mode::kRecover;
      continue;
    }
    if (arg == "--json") {
      options.json = true;
      continue;
    }
    if (arg == "--move" || arg == "--swap" || arg == "--remove") {
      // --move N M, --swap N M, --remove N: numbers, then the card's folder.
      const int count = arg == "--remove" ? 1 : 2;
      std::optional<std::uint8_t> numbers[2];
      for (int k = 0; k < count; ++k) {
        if (i + 1 < args.size()) numbers[k] = ParseNumber(args[++i]);
        if (!numbers[k])
          return {std::nullopt,
                  arg + " takes " + (count == 1 ? "a number" : "two numbers") + ", 1 to 50"};
      }
      options.mode = Mode::kCard;
      options.cardOp = arg == "--move"   ? CardOp::kMove
                       : arg == "--swap" ? CardOp::kSwap
                                         : CardOp::kRemove;
      options.slot = *numbers[0];
      options.other = count == 2 ? *numbers[1] : 0;
      if (count == 2 && options.slot == options.other) {
        return {std::nullopt, arg + " takes two different numbers"};
      }
      continue;
    }
    if (arg == "--label") {
      // --label N TEXT, then the card's folder.
      std::optional<std::uint8_t> number;
      if (i + 2 < args.size()) number = ParseNumber(args[i + 1]);
      if (!number) return {std::nullopt, "--label takes a number, 1 to 50, and a text"};
      options.mode = Mode::kCard;
      options.cardOp = CardOp::kLabel;
      options.slot = *number;
      options.label = args[i + 2];
      i += 2;
      continue;
    }
    if (arg == "--no-clobber" || arg == "-n") {
      options.noClobber = true;
      continue;
    }
    if (arg == "--force") {
      options.force = true;
      continue;
    }
    if (arg == "--null" || arg == "-0") {
      options.pathEnd = '\0';
      continue;
    }
    if (arg == "--adapt" || arg == "--dither") {
#ifndef LOOPSMITH_HAVE_ADAPT
      if (arg == "--adapt") return {std::nullopt, "--adapt is not in this build"};
#endif
      (arg == "--adapt" ? options.adapt : options.dither) = true;
      continue;
    }
    // --name VALUE or --name=VALUE
    const auto equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const auto* option = std::find_if(std::begin(kValueOptions), std::end(kValueOptions),
                                      [&](const ValueOption& o) { return name == o.name; });
    if (option == std::end(kValueOptions)) return {std::nullopt, "unknown option '" + arg + "'"};
    std::string value;
    if (equals != std::string::npos) {
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return {std::nullopt, "option '" + name + "' needs a value"};
    }
    if (std::string problem = option->apply(value, options); !problem.empty()) {
      return {std::nullopt, std::move(problem)};
    }
  }
  if (options.files.empty()) return {std::nullopt, "no FILE given"};
  if (options.json && options.mode != Mode::kInfo) return {std::nullopt, "--json goes with --info"};
  if (options.startGiven) {
    // A loop file is a loop already: there is nothing later in it to start from.
    for (const auto& file : options.files) {
      if (DirectionOf(file) == Direction::kLoopToWave) {
        return {std::nullopt, "--start goes with sound files, and '" + file + "' is a loop file"};
      }
    }
  }
  if (std::string problem = BatchProblem(options); !problem.empty()) {
    return {std::nullopt, std::move(problem)};
  }
  return {options, {}};
}

int GivenMeasures(const Options& options) {
  if (!options.measureGiven || options.measureMode == kMeasureOff) return 0;
  return options.measureMode == kMeasureTwo ? 2 : 1;
}

std::string MeasuresTaken(int measures, MeasureMode mode) {
  const int taken = mode == kMeasureTwo ? 2 : 1;
  if (mode == kMeasureOff || measures <= taken) return {};
  return std::string(taken == 1 ? "one measure is taken" : "two measures are taken") +
         (measures == 2 ? ", use --measure 2 for both" : "");
}

}  // namespace loopsmith::cli
