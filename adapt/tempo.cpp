#include "adapt/tempo.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <regex>

#include "adapt/libraries.h"
#include "adapt/sound_file.h"

namespace loopsmith::adapt {
namespace {

constexpr double kMinBpm = 40;
constexpr double kMaxBpm = 240;
constexpr double kAgreement = 0.01;  // two sources within 1% agree
constexpr double kMinPlausibleBpm = 20;
constexpr double kMaxPlausibleBpm = 999;

double Tenths(double bpm) { return std::round(bpm * 10) / 10; }

bool Agree(double a, double b) { return std::abs(a - b) <= kAgreement * std::max(a, b); }

// A tempo outside 40 to 240 is doubled or halved into it, and said so.
double IntoRange(double bpm, std::string& adjusted) {
  const double original = bpm;
  while (bpm > kMaxBpm) bpm /= 2;
  while (bpm < kMinBpm) bpm *= 2;
  if (bpm != original) {
    adjusted = (bpm < original ? "halved from " : "doubled from ") + BpmText(original);
  }
  return bpm;
}

std::string NameOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct Tracked {
  double bpm = 0;
  double confidence = 0;
  std::vector<double> strength;  // aubio's onset detection function, one value a hop
  double hopSeconds = 0;
};

// aubio's tempo estimate and onset strength over the loop played three times
// round, so that the tracker has settled by the last time.
Tracked Track(const AubioCalls& aubio, const std::vector<float>& mono, int rate) {
  constexpr uint_t kHop = 256;
  constexpr uint_t kWindow = 1024;
  Tracked result;
  if (mono.size() < kWindow) return result;
  aubio_tempo_t* tempo = aubio.newTempo("default", kWindow, kHop, static_cast<uint_t>(rate));
  aubio_onset_t* onset = aubio.newOnset("default", kWindow, kHop, static_cast<uint_t>(rate));
  fvec_t* in = aubio.newVector(kHop);
  fvec_t* out = aubio.newVector(2);
  fvec_t* onsetOut = aubio.newVector(1);
  if (tempo != nullptr && onset != nullptr && in != nullptr && out != nullptr &&
      onsetOut != nullptr) {
    const std::size_t length = mono.size();
    constexpr int kRounds = 3;
    result.hopSeconds = static_cast<double>(kHop) / rate;
    for (int round = 0; round < kRounds; ++round) {
      for (std::size_t at = 0; at < length; at += kHop) {
        for (uint_t k = 0; k < kHop; ++k) in->data[k] = mono[(at + k) % length];
        aubio.tempoDo(tempo, in, out);
        aubio.onsetDo(onset, in, onsetOut);
        if (round == kRounds - 1) result.strength.push_back(aubio.onsetDescriptor(onset));
      }
    }
    result.bpm = aubio.tempoBpm(tempo);
    result.confidence = aubio.tempoConfidence(tempo);
  }
  if (onsetOut != nullptr) aubio.deleteVector(onsetOut);
  if (out != nullptr) aubio.deleteVector(out);
  if (in != nullptr) aubio.deleteVector(in);
  if (onset != nullptr) aubio.deleteOnset(onset);
  if (tempo != nullptr) aubio.deleteTempo(tempo);
  return result;
}

}  // namespace

std::string BpmText(double bpm) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f BPM", bpm);
  return text;
}

std::optional<double> TempoInName(const std::string& path) {
  static const std::regex kPattern("([0-9]+(\\.[0-9]+)?) ?bpm", std::regex::icase);
  const std::string name = NameOf(path);
  std::smatch match;
  if (!std::regex_search(name, match, kPattern)) return std::nullopt;
  // Without exceptions: a name of 240 digits is no tempo, not an abort.
  const std::string digits = match[1].str();
  double bpm = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), bpm);
  if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
  // Beyond these no music is written: a number there is something else.
  return bpm >= kMinPlausibleBpm && bpm <= kMaxPlausibleBpm ? std::optional(bpm) : std::nullopt;
}

std::vector<double> TempiOfLength(double seconds) {
  std::vector<double> tempi;
  if (seconds <= 0) return tempi;
  for (int measures = 1; measures <= 64; ++measures) {
    const double bpm = 60.0 * 4 * measures / seconds;
    if (bpm > kMaxBpm) break;
    if (bpm >= kMinBpm) tempi.push_back(bpm);
  }
  return tempi;
}

std::optional<double> PickTempo(const std::vector<double>& candidates, double estimate,
                                const std::vector<double>& strength, double hopSeconds,
                                double seconds) {
  constexpr double kNear = 0.08;  // a candidate within 8% of the estimate's octaves
  // Each candidate's beats are scored by the onset strength at them; the
  // detection function lags the sound by up to a window.
  std::vector<std::pair<double, double>> scored;  // tempo, mean strength at its beats
  double strongest = 0;
  const auto count = static_cast<long>(strength.size());
  // Strength above the loop's usual level: noise under the beats lifts every grid alike.
  std::vector<double> sorted = strength;
  std::nth_element(sorted.begin(), sorted.begin() + count / 2, sorted.end());
  const double usual = count > 0 ? sorted[static_cast<std::size_t>(count / 2)] : 0;
  for (const double candidate : candidates) {
    const double octaves = std::log2(candidate / estimate);
    const double distance = std::abs(octaves - std::round(octaves));
    if (count == 0 || std::abs(std::round(octaves)) > 2 || std::exp2(distance) - 1 > kNear) {
      continue;
    }
    const double period = 60.0 / candidate;
    const int beats = static_cast<int>(std::lround(seconds / period));
    double sum = 0;
    for (int beat = 0; beat < beats; ++beat) {
      const auto first = static_cast<long>(std::floor((beat * period - 0.02) / hopSeconds));
      const auto last = static_cast<long>(std::ceil((beat * period + 0.08) / hopSeconds));
      double peak = 0;
      for (long hop = first; hop <= last; ++hop) {
        peak = std::max(peak, strength[static_cast<std::size_t>((hop % count + count) % count)]);
      }
      sum += std::max(0.0, peak - usual);
    }
    const double mean = beats > 0 ? sum / beats : 0;
    scored.emplace_back(candidate, mean);
    strongest = std::max(strongest, mean);
  }
  // The fastest candidate whose beats are about as strong as the strongest's:
  // clicks on every beat make a slower grid no stronger, a backbeat under
  // off-beat hats makes the faster grid weaker.
  std::optional<double> best;
  for (const auto& [tempo, mean] : scored) {
    if (mean >= 0.85 * strongest && (!best || tempo > *best)) best = tempo;
  }
  return best;
}

TempoFinding FindTempo(FileSystem& fs, const std::string& path) {
  TempoFinding finding;
  std::string error;
  const std::unique_ptr<SoundFile> sound = SoundFile::Open(fs, path, error);
  const std::optional<double> named = TempoInName(path);
  std::optional<double> chunk;
  if (sound && sound->info().acidBpm > 0) chunk = sound->info().acidBpm;

  if (chunk && named && !Agree(*chunk, *named)) {
    finding.error = "the loop chunk says " + BpmText(*chunk) + ", the file name " + BpmText(*named);
    return finding;
  }
  if (chunk || named) {
    finding.source = chunk ? "the loop chunk" : "the file name";
    finding.sureness = chunk && named ? "the file name agrees" : "as written there";
    finding.bpm = Tenths(IntoRange(chunk ? *chunk : *named, finding.adjusted));
    return finding;
  }
  if (!sound) {
    finding.error = "no tempo in the file name, and the file cannot be read: " + error;
    return finding;
  }

  const SoundInfo& info = sound->info();
  const double seconds = static_cast<double>(info.frames) / info.rate;
  const std::vector<double> candidates = TempiOfLength(seconds);
  if (candidates.empty()) {
    char text[128];
    std::snprintf(text, sizeof text,
                  "no loop chunk, no tempo in the file name, and %.3f s is no whole number of "
                  "measures at 40 to 240 BPM",
                  seconds);
    finding.error = text;
    return finding;
  }
  // The tracker hears the file mixed to mono, at its own rate; a loop of 64
  // measures at 40 BPM is the longest there can be.
  if (info.frames > static_cast<std::int64_t>(info.rate) * 384) {
    finding.error = "the file is longer than any loop";
    return finding;
  }
  const std::vector<float> samples = sound->ReadFrames(info.frames, error);
  std::vector<float> mono(samples.size() / static_cast<std::size_t>(info.channels));
  for (std::size_t i = 0; i < mono.size(); ++i) {
    float sum = 0;
    for (int c = 0; c < info.channels; ++c)
      sum += samples[i * static_cast<std::size_t>(info.channels) + static_cast<std::size_t>(c)];
    mono[i] = sum / static_cast<float>(info.channels);
  }
  const AubioCalls* aubio = AubioCalls::Load();
  if (aubio == nullptr) {
    finding.error =
        "no loop chunk, no tempo in the file name, and beat tracking needs libaubio5, which "
        "cannot be loaded";
    return finding;
  }
  const Tracked tracked = Track(*aubio, mono, info.rate);
  const std::optional<double> picked =
      tracked.bpm > 0
          ? PickTempo(candidates, tracked.bpm, tracked.strength, tracked.hopSeconds, seconds)
          : std::nullopt;
  if (!picked) {
    char text[192];
    std::snprintf(text, sizeof text,
                  "no loop chunk, no tempo in the file name; the loop length (%.3f s) allows "
                  "%.1f to %.1f BPM, beat tracking heard %.1f BPM",
                  seconds, candidates.front(), candidates.back(), tracked.bpm);
    finding.error = text;
    return finding;
  }
  finding.source = "the loop length";
  char text[160];
  std::snprintf(
      text, sizeof text, "%d measure(s) of 4 beats; beat tracking heard %.1f BPM, confidence %.2f",
      static_cast<int>(std::lround(*picked * seconds / 240)), tracked.bpm, tracked.confidence);
  finding.sureness = text;
  finding.bpm = Tenths(*picked);
  return finding;
}

}  // namespace loopsmith::adapt
