#include "app/loop_param_model.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "core/loop_length.h"

namespace loopsmith {

std::string FormatSeconds(double seconds) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*g", 15, seconds);
  return text;
}

std::string LoopParamModel::tempoText() const { return std::to_string(m_tempo); }

std::string LoopParamModel::timeText() const { return FormatSeconds(m_time); }

std::optional<MessageId> LoopParamModel::TakeMessage() {
  std::optional<MessageId> message = m_message;
  m_message.reset();
  return message;
}

void LoopParamModel::UpdateTime() {
  m_time = DisplaySeconds(GetMeasureMode(), static_cast<std::uint32_t>(m_sliderPosition));
}

std::optional<int> LoopParamModel::FileNumberInField() const {
  // Whole decimal numbers within the range; spaces round it are let pass.
  const auto first = m_fileNumberText.find_first_not_of(' ');
  const auto last = m_fileNumberText.find_last_not_of(' ');
  if (first == std::string::npos) return std::nullopt;
  const std::string digits = m_fileNumberText.substr(first, last - first + 1);
  if (digits.size() > 9 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  int value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (value < kMinFileNumber || value > kMaxFileNumber) return std::nullopt;
  return value;
}

void LoopParamModel::SetFileNumber(int value) {
  m_lastGoodFileNumber = value;
  m_fileNumberText = std::to_string(value);  // a valid 07 becomes 7
}

bool LoopParamModel::ValidateFileNumber() {
  const std::optional<int> read = FileNumberInField();
  const int value = read.value_or(1);
  m_fileNumber = static_cast<std::uint32_t>(value);
  SetFileNumber(value);
  if (!read) m_message = MessageId::kFileNumberError;
  return !read;
}

void LoopParamModel::OnTempoScroll(int sliderPosition) {
  m_sliderPosition = std::clamp(sliderPosition, kMinBpm, kMaxBpm);
  m_tempo = static_cast<std::uint32_t>(m_sliderPosition);
  UpdateTime();
  ValidateFileNumber();
}

void LoopParamModel::OnMeasure(MeasureMode mode) {
  m_measureMode = mode;
  UpdateTime();
  ValidateFileNumber();
}

void LoopParamModel::OnFileNumberEdited(std::string text) { m_fileNumberText = std::move(text); }

void LoopParamModel::OnFileNumberStep(int delta) {
  // Stops at either end; it never wraps round.
  SetFileNumber(std::clamp(stepperPosition() + delta, kMinFileNumber, kMaxFileNumber));
}

void LoopParamModel::OnOK() {
  if (m_ending != Ending::kOpen) return;
  m_handedBack.tempo = static_cast<std::int16_t>(m_sliderPosition * 10);
  m_handedBack.measureMode = GetMeasureMode();
  if (ValidateFileNumber()) return;  // stays open with 1 in the field
  m_handedBack.fileNumber = static_cast<std::uint8_t>(m_fileNumber & 0xFF);
  m_ending = Ending::kOk;
}

void LoopParamModel::OnCancel() {
  if (m_ending == Ending::kOpen) m_ending = Ending::kCancel;
}

bool AcceptLoopParams(LoopParamModel& model, const LoopParamDestinations& to) {
  model.OnOK();
  const LoopParams& chosen = model.handedBack();
  *to.tempo = chosen.tempo;
  *to.mode = chosen.measureMode;
  if (model.ending() != LoopParamModel::Ending::kOk) return false;  // stays open, 1 in the field
  *to.fileNumber = chosen.fileNumber;
  return true;
}

}  // namespace loopsmith
