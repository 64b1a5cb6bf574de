#pragma once

#include <initializer_list>
#include <optional>
#include <vector>

#include "adapt/band_onsets.h"

namespace loopsmith::adapt {

// One tempo's beats laid over a loop's onsets, and what they hold: the
// measures weighing a tempo takes as its evidence. The grid is laid where
// its beats land on the most onset, up to half a beat either way of the
// loop's start (a loop cut late, or starting with a pickup). A hit counts
// as played or silent against the loud beats (the upper quartile), not the
// middle one: where most beats are silent, the middle beat is the noise floor.
class BeatGrid {
 public:
  // `onsets` (usable: every curve as long as `all`, a hop of some length)
  // must outlive the grid; the beats span `seconds`, at least two of them.
  BeatGrid(const BandOnsets& onsets, double bpm, double seconds);

  // The share of the beats played: a tempo whose every other beat is silent
  // is too fast.
  [[nodiscard]] double Coverage() const;
  // The share of the eighth notes between the beats played, shuffled or not.
  [[nodiscard]] double Eighths() const;
  // The share of the sixteenths either side of the "and" played, swung or not.
  [[nodiscard]] double Sixteenths() const;
  // The share of the thirty-seconds between the sixteenths played: a slow
  // reading of a groove whose sixteenths are its beat's.
  [[nodiscard]] double ThirtySeconds() const;
  // The share of the beats with nothing at all on them.
  [[nodiscard]] double SilentBeats() const;
  // The snare on every other beat and the kick on the beats between, counted
  // from either beat: -1 to 1 for each drum, their sum's size (0 to 2).
  [[nodiscard]] double Backbeat() const;
  // The onsets' correlation with themselves a beat later, round the loop.
  [[nodiscard]] double Repeat() const;

 private:
  [[nodiscard]] double PeakAt(const std::vector<double>& curve, double at, double late) const;
  [[nodiscard]] std::vector<double> Peaks(const std::vector<double>& curve, double fraction = 0,
                                          double swing = 0) const;
  [[nodiscard]] double Played(std::initializer_list<double> fractions, double swing) const;
  [[nodiscard]] std::optional<double> BeatsReaching(double share) const;
  [[nodiscard]] double FirstBeat() const;

  const BandOnsets& m_onsets;
  double m_period;
  int m_beats;
  double m_first = 0;
  std::vector<double> m_beatPeaks;  // each beat's peak in all the bands
  double m_loud = 0;                // the loud beats' peak: the upper quartile's
  double m_slotLoud = 0;            // the same in the octave bands
};

}  // namespace loopsmith::adapt
