#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/file_system.h"
#include "base/messages.h"

namespace loopsmith::adapt {

// A WAV or AIFF file's sound, read without a library: for the page, whose
// browser scales 8-bit WAV samples its own way and reads no AIFF at all.
struct PcmSound {
  int rate = 0;
  int channels = 0;
  std::int64_t frames = 0;     // the whole file's
  std::vector<float> samples;  // the first frames asked for, interleaved
};

// DecodePcmFile's words for a file that is neither: any other reader may try it.
inline constexpr const char* kNotWavOrAiff = "it is no WAV or AIFF file";

// What --adapt decodes of a file at `rate`: enough for the longest loop, and
// a tenth of a second more for the resampler's filter to settle at the end.
std::int64_t FramesForLongestLoop(int rate);

// Decodes the first `wantedFrames(rate)` frames of a RIFF WAVE file (PCM of 8 to 32
// bits, 32- or 64-bit float, plain or extensible) or an AIFF/AIFC file (PCM,
// "sowt", "fl32", "fl64") into floats exactly as libsndfile does with
// normalised floats (SFC_SET_NORM_FLOAT), so that what follows (mixing,
// rounding to 16 bits) gives the command line's --adapt bytes. Nothing, with
// the reason in `failure`, for any other file. With `heldBytes` (the part of
// a file held so far), no frame is read past it.
std::optional<PcmSound> DecodePcmFile(FileSystem& fs, const std::string& path,
                                      const std::function<std::int64_t(int rate)>& wantedFrames,
                                      Failure& failure, std::int64_t heldBytes = -1);

}  // namespace loopsmith::adapt
