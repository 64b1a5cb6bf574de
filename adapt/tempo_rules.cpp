#include "adapt/tempo_rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/paths.h"
#include "base/text.h"
#include "core/loop_params.h"

namespace loopsmith::adapt {
namespace {

constexpr double kMinPlausibleBpm = 20;
constexpr double kMaxPlausibleBpm = 999;

}  // namespace

std::string BpmText(double bpm) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f BPM", bpm);
  return text;
}

double RoundToTenth(double bpm) { return std::round(bpm * 10) / 10; }

bool Agree(double a, double b) { return std::abs(a - b) <= 0.01 * std::max(a, b); }

std::optional<double> TempoInName(const std::string& path) {
  const std::string name = NameOf(path);
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  // Each "bpm" in any case, from the left, with the number just before it:
  // digits, maybe a decimal point or comma and more digits, then maybe a
  // space, then maybe "-" or "_".
  for (std::size_t at = 0; at + 3 <= name.size(); ++at) {
    if (!EqualsIgnoringCase(std::string_view(name).substr(at, 3), "bpm")) continue;
    std::size_t end = at;
    if (end > 0 && (name[end - 1] == '-' || name[end - 1] == '_')) --end;
    if (end > 0 && name[end - 1] == ' ') --end;
    std::size_t start = end;
    while (start > 0 && isDigit(name[start - 1])) --start;
    if (start == end) continue;
    std::string digits = name.substr(start, end - start);
    if (start >= 2 && (name[start - 1] == '.' || name[start - 1] == ',') &&
        isDigit(name[start - 2])) {
      // "120,5": what stood before the separator is the whole part.
      std::size_t whole = start - 1;
      while (whole > 0 && isDigit(name[whole - 1])) --whole;
      digits.insert(0, 1, '.');
      digits.insert(0, name, whole, start - 1 - whole);
    }
    // strtod, not stod: a name of 240 digits is no tempo, not an exception.
    // Only digits and one point reach it, so the locale cannot matter.
    char* stop = nullptr;
    const double bpm = std::strtod(digits.c_str(), &stop);
    if (stop != digits.c_str() + digits.size()) return std::nullopt;
    // Beyond these no music is written: a number there is something else.
    if (bpm >= kMinPlausibleBpm && bpm <= kMaxPlausibleBpm) return bpm;
    return std::nullopt;
  }
  return std::nullopt;
}

std::optional<double> PlausibleTempo(double bpm, std::string& adjusted) {
  if (!std::isfinite(bpm) || bpm < kMinPlausibleBpm || bpm > kMaxPlausibleBpm) return std::nullopt;
  const double original = bpm;
  while (bpm > kMaxBpm) bpm /= 2;
  while (bpm < kMinBpm) bpm *= 2;
  if (bpm != original) {
    adjusted = (bpm < original ? "halved from " : "doubled from ") + BpmText(original);
  }
  return RoundToTenth(bpm);
}

std::vector<LengthTempo> TempiOfLength(double seconds, int measures) {
  std::vector<LengthTempo> tempi;
  if (!(seconds > 0) || !std::isfinite(seconds)) return tempi;
  for (int times = 1; times <= 8; times *= 2) {
    const double bpm = kMeasureSecondsAtOneBpm * measures * times / seconds;
    if (bpm > kMaxBpm + 0.05) break;
    if (bpm >= kMinBpm - 0.05) tempi.push_back({bpm, measures * times});
  }
  return tempi;
}

static std::string MeasuresText(int measures) {
  return std::to_string(measures) + (measures == 1 ? " measure" : " measures");
}

std::string CandidatesText(const std::vector<LengthTempo>& candidates) {
  std::string text;
  for (const auto& candidate : candidates) {
    // A long take's tempi are no count of measures.
    text += (text.empty() ? "" : ", ") + BpmText(RoundToTenth(candidate.bpm)) +
            (candidate.measures > 0 ? " (" + MeasuresText(candidate.measures) + ")" : "");
  }
  return text;
}

bool TempoFromTags(std::optional<double> chunkBpm, const std::string& path, double seconds,
                   TempoFinding& finding) {
  const std::optional<double> named = TempoInName(path);
  std::optional<double> chunk;
  if (chunkBpm) {
    const double stored = *chunkBpm;
    std::string unused;
    if (PlausibleTempo(stored, unused)) {
      chunk = stored;
    } else {
      char text[96];
      std::snprintf(text, sizeof text, "the loop chunk's tempo of %g BPM is no tempo; ignored",
                    stored);
      finding.notes.emplace_back(text);
    }
  }
  if (chunk && named && !Agree(*chunk, *named)) {
    finding.failure = PlainFailure("the loop chunk says " + BpmText(*chunk) + ", the file name " +
                                   BpmText(*named) + "; give --bpm N");
    return true;
  }
  if (!chunk && !named) return false;
  finding.source = chunk ? "the loop chunk" : "the file name";
  const double tagged = chunk ? *chunk : *named;
  finding.bpm = PlausibleTempo(tagged, finding.adjusted);
  // The length is a check on the tag: a whole number of measures, within 1%.
  if (seconds > 0) {
    const double measures = seconds * tagged / kMeasureSecondsAtOneBpm;
    const double whole = std::max(1.0, std::round(measures));
    if (std::abs(measures - whole) > 0.01 * whole) {
      char text[192];
      std::snprintf(text, sizeof text,
                    "%s says %s, but %.3f s is no whole number of measures at that tempo; "
                    "the tag is used",
                    finding.source.c_str(), BpmText(tagged).c_str(), seconds);
      finding.notes.emplace_back(text);
    }
  }
  return true;
}

std::vector<LengthTempo> TempoFromLength(double seconds, int givenMeasures, TempoFinding& finding) {
  std::vector<LengthTempo> candidates = TempiOfLength(seconds, std::max(givenMeasures, 1));
  if (candidates.empty()) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "no loop chunk, no tempo in the file name, and %.3f s is no whole number of "
                  "measures at 40 to 240 BPM; give --bpm N",
                  seconds);
    finding.failure = PlainFailure(text);
    return candidates;
  }
  finding.source = "the loop length";
  // The user said how many measures the file holds: that tempo, if it is one.
  if (givenMeasures > 0 && candidates.front().measures == givenMeasures) {
    finding.bpm = RoundToTenth(candidates.front().bpm);
    finding.measures = givenMeasures;
  } else if (candidates.size() == 1) {
    finding.bpm = RoundToTenth(candidates.front().bpm);
    finding.measures = candidates.front().measures;
  }
  return candidates;
}

bool IsTake(double fileSeconds, double startSeconds) {
  // A hundredth of a second over: a loop cut a few samples long is still one.
  constexpr double kLongestHeld = static_cast<double>(kLongestLoop) / 44100 + 0.01;
  return fileSeconds > kLongestMeasuredLoop ||
         (startSeconds > 0 && fileSeconds - startSeconds > kLongestHeld);
}

}  // namespace loopsmith::adapt
