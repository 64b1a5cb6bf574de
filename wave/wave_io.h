#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "base/messages.h"
#include "wave/wave_file.h"

namespace loopsmith {

inline constexpr std::uint32_t kSampleRate = 44100;
inline constexpr std::uint32_t kMonoLoadCap = 0x80000;     // bytes: 262,144 mono samples
inline constexpr std::uint32_t kStereoLoadCap = 0x100000;  // bytes: 262,144 stereo frames

// The PCM work buffer: the largest stereo load fills it.
using PcmBytes = std::span<std::uint8_t, kStereoLoadCap>;

// Loads a 44,100 Hz 16-bit mono or stereo WAV file's sample bytes into `pcm`,
// from frame `startFrame` on, capped at the longest loop. On success the file
// is closed and wave.m_format still describes it. A start at or past the last
// frame is a failure: there would be no loop.
bool LoadWave(CWaveFile& wave, Reporter& reporter, const std::string& path, PcmBytes pcm,
              std::uint32_t& loadedBytes, std::uint32_t startFrame = 0);

// "the start, 7.000 s, is at or past its end, 6.000 s"
Failure StartPastEnd(std::uint64_t startFrame, std::uint64_t frames);

// "1.500 s": frames at 44,100 Hz, to the millisecond.
std::string SecondsText(std::uint64_t frames);

// Writes samples 0 to `lastSample` of `pcm` as a mono 44,100 Hz 16-bit WAV file.
bool SaveWave(CWaveFile& wave, Reporter& reporter, const std::string& path, const std::uint8_t* pcm,
              std::uint32_t lastSample);

// "48,000 Hz, needs 44,100; 24 bits, needs 16"; empty for a format that loads.
std::string FormatProblems(const WAVEFORMATEX& format,
                           const std::optional<std::array<std::uint8_t, 16>>& subFormat);

}  // namespace loopsmith
