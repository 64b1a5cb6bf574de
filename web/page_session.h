#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/memory_file_system.h"
#include "base/messages.h"
#include "core/loop_params.h"

namespace loopsmith::web {

// What the page holds between a drop and OK: the dropped file in memory, the
// samples the core loaded from it, and every conversion through the same job
// the desktop programs run. No rule of the conversion lives in the page.
class PageSession {
 public:
  enum class Kind { kNone, kWave, kLoop };

  // The outcome of one step: the catalogue's text of the first failure, empty if none.
  struct Result {
    bool ok = false;
    std::string message;
    std::string detail;               // the failure in plain words, for the page's own notes
    std::string name;                 // the output's file name
    std::vector<std::uint8_t> bytes;  // the output file
    bool needsMore = false;           // the file is held in part, and more of it is needed
    // A WAV file the desktop's reader refused for its format (another depth
    // or rate, say), which the page's own reader may still take.
    bool otherFormat = false;
    // The page's own reader refused a WAV or AIFF file: no other reader is
    // tried, and `detail` is what --adapt says of the same file.
    bool wavOrAiff = false;
  };

  // A dropped file: a WAV file is loaded as the desktop loads it, a loop file
  // read; `message` is empty when it can be converted. `wholeSize`, when
  // larger than `bytes`, says that only the file's start is held: a step
  // that needs more says so (needsMore) instead of taking it for the end.
  Result Open(const std::string& name, std::vector<std::uint8_t> bytes, std::int64_t wholeSize = 0);
  // Samples the browser decoded from another kind of file: interleaved, full
  // scale +-1.0, already at 44,100 Hz; more than two channels are mixed to two
  // as the command line mixes them, and rounded to 16 bits.
  Result UseDecoded(const std::string& name, const std::vector<float>& samples, int channels,
                    std::uint32_t fileFrames = 0);

  // The dropped file read by the page's own WAV and AIFF reader (any PCM
  // depth, float): at 44,100 Hz it is then held as UseDecoded holds sound,
  // byte for byte as the command line's --adapt reads it; at another rate its
  // samples are kept for the browser to resample (ownSamples).
  struct Own {
    Result result;
    int rate = 0;
    int channels = 0;
  };
  Own DecodeOwn();
  const std::vector<float>& ownSamples() const { return m_own; }
  void ReleaseOwn() { m_own = {}; }

  Kind kind() const { return m_kind; }
  int channels() const { return m_channels; }
  // Frames of sound loaded from the start (a WAV file, at most the longest
  // loop) or the loop's samples (a loop file).
  std::uint32_t frames() const;
  // Frames of the sound held: the whole file, or as much of it as is read.
  std::uint32_t heldFrames() const;

  // The loop taken from this frame of the held sound on, as the command
  // line's --start takes it: a failure, in its words, at or past the end.
  Result SetStart(std::uint32_t frame);
  std::uint32_t start() const { return m_start; }
  // The held sound from `from` to `to` (frames) in `columns` columns: each
  // column's lowest and highest sample of its channels' mean, in pairs.
  std::vector<std::int16_t> Overview(std::uint32_t from, std::uint32_t to, int columns) const;
  // Where each hit of the held sound begins (the command line's --start
  // auto takes the first); `why` when there is none.
  std::vector<std::uint32_t> Hits(std::string& why) const;
  // The nearest frame at or before `frame`, within 10 ms, where the sound
  // crosses zero; `frame` itself where it does not.
  std::uint32_t ZeroCrossingBefore(std::uint32_t frame) const;
  // Frames the whole file holds.
  std::uint32_t fileFrames() const { return m_fileFrames; }
  // Loaded 16-bit samples, interleaved (a WAV file), or the loop's, mono.
  const std::vector<std::int16_t>& samples() const { return m_samples; }
  // A loop file's header values.
  const LoopParams& loopParams() const { return m_loopParams; }

  // The loop file for these choices, byte for byte as the desktop writes it.
  Result BuildLoop(const LoopParams& params, bool dither);
  // The loop as the sampler will hold it: its 12-bit words back as 16-bit
  // samples, mono, SampleCount + 1 of them.
  std::vector<std::int16_t> Audition(const LoopParams& params, bool dither);
  // A loop file's WAV file, named as the desktop names it.
  Result SaveWave();
  // The tempo in tenths of BPM from the file's loop chunk, a number before
  // "bpm" in its name, or among those its length allows the one its onsets
  // bear out (a file longer than the page holds: its length alone), as the
  // command line's --bpm auto finds it without --measure and without the beat
  // tracker: where it came from, how it was adjusted, doubts, a close second,
  // or why there is none.
  struct Suggestion {
    std::optional<int> tenths;
    int measures = 0;           // the file holds at that tempo; 0 if unknown
    std::optional<int> second;  // tenths, when the sound left it unsure
    int secondMeasures = 0;
    std::string source;
    std::string adjusted;
    std::vector<std::string> notes;
    std::string failure;
    bool needsMore = false;  // the file's tags lie past the part held
  };
  Suggestion SuggestTempo();

 private:
  Result Fail(const Failure& failure);
  // The loop's part of the held sound, from the start: the PCM the job and
  // the audition take, and the samples the page plays as the original.
  void TakeFromStart();
  // A WAV file's frames as far as its held bytes go, read by the WAV reader.
  void HoldWave(const std::string& path);
  // `frames` of the held sound from `from`, its channels' mean, full scale +-1.0.
  std::vector<float> MonoOf(std::uint32_t from, std::uint32_t frames) const;
  // One frame's channels' mean, as 16 bits.
  int MonoAt(std::size_t frame) const;
  Result OpenHeld(const std::string& name, std::vector<std::uint8_t> bytes, std::int64_t wholeSize);
  std::string PathOf(const std::string& name) const { return "/" + name; }

  MemoryFileSystem m_fs;
  std::string m_name;
  Kind m_kind = Kind::kNone;
  int m_channels = 0;
  std::vector<std::int16_t> m_samples;
  std::vector<std::int16_t> m_sound;  // all held frames, interleaved
  std::uint32_t m_start = 0;
  std::vector<std::uint8_t> m_pcm;  // as the job's PCM source hands it over
  std::uint32_t m_loadedBytes = 0;
  std::uint32_t m_fileFrames = 0;
  bool m_decoded = false;    // the samples came from the browser, not the WAV reader
  std::vector<float> m_own;  // DecodeOwn's samples, for the browser to resample
  LoopParams m_loopParams;
};

}  // namespace loopsmith::web
