#include "base/messages.h"

#include <cerrno>

#include "base/file_system.h"
#include "base/text.h"

#include <array>

namespace loopsmith {
namespace {

constexpr std::array<std::string_view, kLastMessageId - kFirstMessageId + 1> kTexts = {
    "Wave file open error #1",   // 120
    "Wave file open error #2",   // 121
    "Wave file close error #1",  // 122
    "Wave file read error #1",   // 123
    "Wave file open error #3",   // 124
    "Wave file read error #2",   // 125
    "Wave file read error #3",   // 126
    "Wave file read error #4",   // 127
    "Wave file write error #1",  // 128
    "Wave file write error #2",  // 129
    "Loop file read error",      // 130
    "Loop file write error",     // 131
    "Memory error",              // 132
    "Wave file format error",    // 133
    "Wave file read error",      // 134
    "Wave file write error",     // 135
    "File number error",         // 136
};

}  // namespace

std::string_view MessageText(MessageId id) {
  const auto number = static_cast<std::uint16_t>(id);
  if (number < kFirstMessageId || number > kLastMessageId) return {};
  return kTexts[number - kFirstMessageId];
}

std::string DetailOf(const Failure& failure) {
  if (failure.systemError == 0) return failure.detail;
  // The system's own words ("Device or resource busy") do not say whose.
  if (failure.systemError == kErrorHeld) {
    return failure.detail +
           ": another program was using it and did not let go in time; try again once it is done";
  }
  return failure.detail + ": " + SystemErrorText(failure.systemError);
}

Failure PlainFailure(std::string detail) {
  return {MessageId::kNoCatalogueText, 0, std::move(detail)};
}

Failure OpenFailure(MessageId id, int error) {
  if (error == EISDIR) return {id, 0, "it is a folder, not a file"};
  if (error == EINVAL) return {id, 0, "it is not a regular file"};
  if (error == kErrorInterrupted) {
    return {id, 0,
            "a copy over it was cut off, and its old contents, kept beside it in a "
            ".loopsmith-journal- file, cannot be put back"};
  }
  return {id, error, "it cannot be opened"};
}

Failure ChangedFailure(MessageId id, int error) {
  if (error == kErrorChanged) return {id, 0, "it was changed by another program while it was read"};
  return {id, error, "it cannot be read"};
}

}  // namespace loopsmith
