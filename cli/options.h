#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/loop_params.h"

namespace loopsmith::cli {

enum class Mode { kConvert, kInfo, kHelp, kVersion, kCard, kRecover };

// A change to a card's slots, with --move, --swap or --remove.
enum class CardOp { kNone, kMove, kSwap, kRemove, kLabel };

struct Options {
  Mode mode = Mode::kConvert;
  std::int16_t tempo = 1200;  // tenths of BPM
  MeasureMode measureMode = kMeasureOne;
  bool measureGiven = false;  // --measure was on the command line
  std::uint8_t firstNumber = 1;
  bool freeNumbers = false;  // --number free: each WAV file the next free number of its folder
  bool noClobber = false;    // -n: an existing output is never replaced
  bool force = false;        // --force: --remove takes a loop marked read-only too
  bool json = false;         // --info as one JSON document
  CardOp cardOp = CardOp::kNone;
  int slot = 0;                  // the number moved, swapped or removed
  int other = 0;                 // the number it goes to, or trades places with
  std::string label;             // --label N TEXT: the loop's name on the card
  bool autoTempo = false;        // --bpm auto
  bool startGiven = false;       // --start: the loop is taken from later in the file
  bool autoStart = false;        // --start auto: from its first hit
  std::uint32_t startFrame = 0;  // --start SECONDS, at 44,100 Hz
  bool adapt = false;            // any sound file in
  bool dither = false;           // TPDF dither from 16 to 12 bits
  char pathEnd = '\n';           // after each path written: '\0' with --null
  std::vector<std::string> files;
};

struct ParseResult {
  std::optional<Options> options;
  std::string error;  // set when options is empty
};

ParseResult ParseOptions(const std::vector<std::string>& args);

// The measures --measure said a file holds (1 or 2), for the tempo from its
// length; 0 when it was not given or is off.
int GivenMeasures(const Options& options);

// What a conversion takes of a file of `measures` measures: empty when its
// loop holds them all (or --measure is off, which takes the file as it is),
// else "one measure is taken" or "two measures are taken", and how to take both.
std::string MeasuresTaken(int measures, MeasureMode mode);

// "128.5" -> 1285; whole numbers or one decimal, 40 to 240 BPM.
std::optional<std::int16_t> ParseTempo(const std::string& text);

// "1.5" -> 66,150: seconds from 0 to a day, as decimals, to the nearest frame at 44,100 Hz.
std::optional<std::uint32_t> ParseStart(const std::string& text);

}  // namespace loopsmith::cli
