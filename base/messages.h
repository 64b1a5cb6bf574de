#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace loopsmith {

// The program's message catalogue. Every failure the user sees is one of these.
enum class MessageId : std::uint16_t {
  // A failure the catalogue has no text for (the command line's other
  // sound files): its detail is all there is to say.
  kNoCatalogueText = 0,
  kWaveOpenError1 = 120,
  kWaveOpenError2 = 121,
  kWaveCloseError1 = 122,
  kWaveReadError1 = 123,
  kWaveOpenError3 = 124,
  kWaveReadError2 = 125,
  kWaveReadError3 = 126,
  kWaveReadError4 = 127,
  kWaveWriteError1 = 128,
  kWaveWriteError2 = 129,
  kLoopReadError = 130,
  kLoopWriteError = 131,
  kMemoryError = 132,
  kWaveFormatError = 133,
  kWaveReadError = 134,
  kWaveWriteError = 135,
  kFileNumberError = 136,
};

inline constexpr std::uint16_t kFirstMessageId = 120;
inline constexpr std::uint16_t kLastMessageId = 136;

// The text of a catalogue entry, exactly as the user sees it; empty for an unknown id.
std::string_view MessageText(MessageId id);

// One failure, made where it is found and carried up unchanged: the catalogue
// entry the window shows, the system's error code (an errno value) where the
// system refused something, and a short account in plain words for the
// command line, without the system's words, which DetailOf adds.
struct Failure {
  MessageId id;
  int systemError = 0;
  std::string detail;
};

// The account as the command line prints it: "it cannot be opened: No such
// file or directory".
std::string DetailOf(const Failure& failure);

// A failure the catalogue has no text for, said in plain words.
Failure PlainFailure(std::string detail);

// Why a file could not be opened: a folder or a device in plain words,
// anything else with the system's error.
Failure OpenFailure(MessageId id, int error);

// Why a file read may not be trusted after a failed check that it is unchanged.
Failure ChangedFailure(MessageId id, int error);

// The one way a failure reaches the user: the window shows a box, the command
// line prints a line, tests record the ids.
class Reporter {
 public:
  virtual ~Reporter() = default;
  virtual void Report(const Failure& failure) = 0;
};

// Keeps the first failure and shows nothing: for a caller that says one
// failure in its own way (the page's message, a JSON field).
class FirstFailure final : public Reporter {
 public:
  void Report(const Failure& failure) override {
    if (!first) first = failure;
  }
  std::optional<Failure> first;
};

// Takes failures and shows nothing: for a first try whose failure is not yet the user's.
class SilentReporter final : public Reporter {
 public:
  void Report(const Failure&) override {}
};

}  // namespace loopsmith
