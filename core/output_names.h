#pragma once

#include <cstdint>
#include <string>

namespace loopsmith {

enum class Direction { kNone, kLoopToWave, kWaveToLoop };

// Decided by the path's last four bytes, ignoring case: ".T58" or ".WAV".
Direction DirectionOf(const std::string& path);

// "base.WAV" beside a dropped loop file: everything before the last '.', then ".WAV".
std::string WaveNameFor(const std::string& loopPath);

// The folder a dropped file is in, as the outputs beside it are written: "."
// for a bare name.
std::string FolderOfDrop(const std::string& path);

// "L01.T58" to "L50.T58" in the dropped WAV file's folder.
std::string LoopNameFor(const std::string& wavePath, std::uint8_t fileNumber);

// A batch's WAV files take the numbers counting up from `firstNumber`: why
// `waves` of them cannot (one would pass 50), or empty when they can. The
// command line and the page refuse such a batch before writing anything.
std::string BatchNumberProblem(int firstNumber, int waves);

}  // namespace loopsmith
