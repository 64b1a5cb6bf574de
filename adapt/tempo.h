#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "adapt/tempo_rules.h"
#include "base/file_system.h"
#include "base/messages.h"

namespace loopsmith::adapt {

// The tempo for --bpm auto: the file's loop chunk, else its name, else its
// length in whole measures, chosen among 1, 2, 4 and 8 measures by beat
// tracking (aubio's estimate, weighed with the loop's onsets: WeighTempi), or, with
// `givenMeasures` (1 or 2, the user's --measure), the tempo at which the file is that many
// measures. Tempi within 20 to 999 BPM are doubled or halved into 40 to 240. `opened`, when the
// caller has the file open already, is read instead of opening it again.
//
// Its length is taken from `startFrame` (44,100 Hz) on. A take (IsTake: longer
// than any loop's 8 measures, or started later and running on past the
// longest loop) is no loop: its length tells nothing, and the tracker's
// octaves within 40 to 240 are weighed on the hits of up to a minute of it
// from the start.
class SoundFile;
TempoFinding FindTempo(FileSystem& fs, const std::string& path, int givenMeasures = 0,
                       SoundFile* opened = nullptr, std::uint32_t startFrame = 0);

}  // namespace loopsmith::adapt
