#include "cli/loop_start.h"

#include "base/text.h"
#include "core/loop_length.h"
#include "wave/wave_io.h"
#ifdef LOOPSMITH_HAVE_ADAPT
#include "adapt/take_start.h"
#endif

namespace loopsmith::cli {

std::optional<std::uint32_t> LoopStart(FileSystem& fs, LineReporter& reporter,
                                       const std::string& path, const Options& options) {
  if (!options.autoStart) return options.startFrame;
#ifdef LOOPSMITH_HAVE_ADAPT
  const adapt::TakeStart found = adapt::FindTakeStart(fs, path);
  if (found.failure) {
    reporter.Report(*found.failure);
    return std::nullopt;
  }
  if (!found.note.empty()) reporter.Say(found.note);
  return found.frame;
#else
  (void)fs;
  (void)reporter;
  (void)path;
  return std::nullopt;  // the options refuse --start auto in this build
#endif
}

void DescribeLoopSpan(std::uint32_t start, std::uint64_t frames, const Options& options,
                      std::int16_t tempo, std::ostream& out) {
  const std::uint64_t end = std::uint64_t{start} + SampleCount(options.measureMode, tempo) + 1;
  out << "  loop:          " << SecondsText(start) << " to " << SecondsText(end) << " (frames "
      << WithCommas(start) << " to " << WithCommas(end) << ")";
  if (frames > 0) {
    out << " of " << SecondsText(frames);
    // The transforms read silence past the sound: a loop that runs past it ends quiet.
    if (end > frames) out << " (silent past its end)";
  }
  out << '\n';
}

}  // namespace loopsmith::cli
