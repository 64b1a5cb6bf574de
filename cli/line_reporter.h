#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "base/messages.h"
#include "base/text.h"

namespace loopsmith::cli {

inline constexpr const char* kProgram = "loopsmith-cli";

// Every failure is a line with the window's text; with `explain` set, the
// first failure's detail follows on a second line.
class LineReporter final : public Reporter {
 public:
  explicit LineReporter(std::ostream& err) : m_err(err) {}
  void Report(const Failure& failure) override {
    // A failure the catalogue has no text for is its detail alone.
    const std::string_view text = MessageText(failure.id);
    if (text.empty()) {
      Say(DetailOf(failure));
      return;
    }
    Say(text);
    // A write that failed always says why: the user's file was left as it was
    // for a reason they can act on (a full disk, another program).
    if ((explain || IsWriteFailure(failure.id)) && !explained && !failure.detail.empty()) {
      Say(DetailOf(failure));
      explained = true;
    }
  }
  // Every line about a file, catalogue message or not, has the same form.
  void Say(std::string_view text) {
    m_err << kProgram << ": " << QuotedName(file) << ": " << text << '\n';
  }
  void Start(const std::string& path) {
    file = path;
    explained = false;
  }
  std::string file;
  bool explain = false;
  bool explained = false;

 private:
  static bool IsWriteFailure(MessageId id) {
    return id == MessageId::kLoopWriteError || id == MessageId::kWaveWriteError ||
           id == MessageId::kWaveWriteError1 || id == MessageId::kWaveWriteError2 ||
           id == MessageId::kWaveCloseError1;
  }

  std::ostream& m_err;
};

}  // namespace loopsmith::cli
