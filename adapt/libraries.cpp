#include "adapt/libraries.h"

#include <fcntl.h>
#include <unistd.h>

#include "adapt/shared_library.h"

namespace loopsmith::adapt {
namespace {

// Each library is opened once for the process; a failed open is not retried.
template <typename Calls, typename Bind>
const Calls* LoadOnce(const char* soname, Bind bind) {
  static const Calls* const loaded = [&]() -> const Calls* {
    const QuietLibraries quiet;
    static const SharedLibrary library(soname);
    static Calls calls;
    return library.loaded() && bind(library, calls) ? &calls : nullptr;
  }();
  return loaded;
}

}  // namespace

QuietLibraries::QuietLibraries() : m_saved(::dup(STDERR_FILENO)) {
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (m_saved >= 0 && null >= 0) ::dup2(null, STDERR_FILENO);
  if (null >= 0) ::close(null);
}

QuietLibraries::~QuietLibraries() {
  if (m_saved < 0) return;
  ::dup2(m_saved, STDERR_FILENO);
  ::close(m_saved);
}

const SndfileCalls* SndfileCalls::Load() {
  return LoadOnce<SndfileCalls>("libsndfile.so.1", [](const SharedLibrary& l, SndfileCalls& c) {
    return l.Find(c.openVirtual, "sf_open_virtual") && l.Find(c.command, "sf_command") &&
           l.Find(c.readFloatFrames, "sf_readf_float") && l.Find(c.error, "sf_error") &&
           l.Find(c.close, "sf_close");
  });
}

const SoxrCalls* SoxrCalls::Load() {
  return LoadOnce<SoxrCalls>("libsoxr.so.0", [](const SharedLibrary& l, SoxrCalls& c) {
    return l.Find(c.ioSpec, "soxr_io_spec") && l.Find(c.qualitySpec, "soxr_quality_spec") &&
           l.Find(c.oneshot, "soxr_oneshot");
  });
}

const AubioCalls* AubioCalls::Load() {
  return LoadOnce<AubioCalls>("libaubio.so.5", [](const SharedLibrary& l, AubioCalls& c) {
    return l.Find(c.newTempo, "new_aubio_tempo") && l.Find(c.tempoDo, "aubio_tempo_do") &&
           l.Find(c.tempoBpm, "aubio_tempo_get_bpm") && l.Find(c.deleteTempo, "del_aubio_tempo") &&
           l.Find(c.newVector, "new_fvec") && l.Find(c.deleteVector, "del_fvec");
  });
}

}  // namespace loopsmith::adapt
