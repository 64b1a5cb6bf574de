#pragma once

#include <aubio/aubio.h>
#include <sndfile.h>
#include <soxr.h>

namespace loopsmith::adapt {

// The libraries' decoders (libmpg123 among them) print warnings of their own
// to standard error; the user gets one line of ours instead. While one of
// these lives, standard error goes to /dev/null (nothing else runs meanwhile):
// one is held around every stretch of library calls.
class QuietLibraries {
 public:
  QuietLibraries();
  ~QuietLibraries();
  QuietLibraries(const QuietLibraries&) = delete;
  QuietLibraries& operator=(const QuietLibraries&) = delete;

 private:
  int m_saved;
};

// The calls this layer makes into each library, found when first needed.
// Load() gives null when the library or one of its calls cannot be found,
// and the caller says which package is missing.

struct SndfileCalls {
  static constexpr const char* kPackage = "libsndfile1";
  decltype(&sf_open_virtual) openVirtual = nullptr;
  decltype(&sf_command) command = nullptr;
  decltype(&sf_readf_float) readFloatFrames = nullptr;
  decltype(&sf_error) error = nullptr;
  decltype(&sf_close) close = nullptr;
  static const SndfileCalls* Load();
};

struct SoxrCalls {
  static constexpr const char* kPackage = "libsoxr0";
  decltype(&soxr_io_spec) ioSpec = nullptr;
  decltype(&soxr_quality_spec) qualitySpec = nullptr;
  decltype(&soxr_oneshot) oneshot = nullptr;
  static const SoxrCalls* Load();
};

struct AubioCalls {
  static constexpr const char* kPackage = "libaubio5";
  decltype(&new_aubio_tempo) newTempo = nullptr;
  decltype(&aubio_tempo_do) tempoDo = nullptr;
  decltype(&aubio_tempo_get_bpm) tempoBpm = nullptr;
  decltype(&del_aubio_tempo) deleteTempo = nullptr;
  decltype(&new_fvec) newVector = nullptr;
  decltype(&del_fvec) deleteVector = nullptr;
  static const AubioCalls* Load();
};

}  // namespace loopsmith::adapt
