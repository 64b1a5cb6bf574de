#pragma once

#include <cstdint>
#include <string>

namespace loopsmith {

enum class Direction { kNone, kLoopToWave, kWaveToLoop };

// Decided by the path's last four bytes, ignoring case: ".T58" or ".WAV".
Direction DirectionOf(const std::string& path);

// "base.WAV" beside a dropped loop file: everything before the last '.', then ".WAV".
std::string WaveNameFor(const std::string& loopPath);

// "L01.T58" to "L50.T58" in the dropped WAV file's folder.
std::string LoopNameFor(const std::string& wavePath, std::uint8_t fileNumber);

}  // namespace loopsmith
