#pragma once

#include <vector>

namespace loopsmith::adapt {

// How strongly something starts in each hop of one pass of a loop: in the
// kick drum's lows, in the snare's mids, and over all of those and the
// cymbals' highs. The loop wraps round, so its first hop follows its last.
struct BandOnsets {
  std::vector<double> low;
  std::vector<double> mid;
  // The three bands added, each scaled to its own loudest and by how far
  // that stands above its noise.
  std::vector<double> all;
  // Nine octave bands added the same way, for the slots between the beats:
  // a quiet hit under a louder sound in the same broad band (a pad, a snare)
  // hardly rises there, but does in its own octave.
  std::vector<double> octaves;
  double hopSeconds = 0;
};

// The onsets of a loop of `mono` samples at `rate`: each band's energy per hop
// of about 5 ms, compressed as the ear does (a logarithm), and its rise over
// two hops. Empty for a loop shorter than a few hops.
BandOnsets OnsetsOf(const std::vector<float>& mono, int rate);

// The same without `octaves`: the three broad bands are enough to find where
// the hits are, for a ninth of the filtering.
BandOnsets BroadOnsetsOf(const std::vector<float>& mono, int rate);

// The value a quarter of `values` reach or pass: where a band's noise stands,
// or a grid's loud beats. 0 for none.
double UpperQuartile(std::vector<double> values);

}  // namespace loopsmith::adapt
