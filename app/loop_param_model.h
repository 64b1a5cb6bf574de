#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/messages.h"
#include "core/loop_params.h"

namespace loopsmith {

// Everything the Loop Parameters dialog decides, without a toolkit: the
// events come in, the texts to show, the message to show and how the dialog
// ends come out. A front end binds its widgets to it and adds nothing.
class LoopParamModel {
 public:
  enum class Ending { kOpen, kOk, kCancel };

  // As the dialog opens: 120 BPM, one measure, file number 1, time 2.
  LoopParamModel() = default;

  // Events.
  // Every action of the tempo slider (drag, key, page click, end of a drag),
  // also one that leaves it where it was.
  void OnTempoScroll(int sliderPosition);
  void OnMeasure(MeasureMode mode);
  // The user edited the file-number field; nothing is checked until the next event.
  void OnFileNumberEdited(std::string text);
  // The stepper's arrows (and the up and down keys in the field): +1 or -1,
  // from the field's number, or from the last good one when the field holds none.
  void OnFileNumberStep(int delta);
  void OnOK();
  void OnCancel();

  // The dialog's own steps.
  MeasureMode GetMeasureMode() const { return m_measureMode; }
  void UpdateTime();
  // True when the file number was invalid and has been reset to 1.
  bool ValidateFileNumber();

  // State to show.
  int sliderPosition() const { return m_sliderPosition; }
  std::string tempoText() const;
  std::string timeText() const;
  const std::string& fileNumberText() const { return m_fileNumberText; }
  // Where a stepper control stands: the field's number, or the last good one.
  int stepperPosition() const { return FileNumberInField().value_or(m_lastGoodFileNumber); }
  // The message the last event raised, handed out once.
  std::optional<MessageId> TakeMessage();
  Ending ending() const { return m_ending; }
  // What OK hands back: tempo (BPM x 10) and measure mode from every OK, the
  // file number only from the OK that ends the dialog.
  const LoopParams& handedBack() const { return m_handedBack; }

 private:
  // The stepper's position as the field's text gives it, or nothing.
  std::optional<int> FileNumberInField() const;
  void SetFileNumber(int value);

  int m_sliderPosition = 120;
  MeasureMode m_measureMode = kMeasureOne;
  std::uint32_t m_tempo = 120;
  std::uint32_t m_fileNumber = 1;
  double m_time = 2.0;
  std::string m_fileNumberText = "1";
  int m_lastGoodFileNumber = 1;
  std::optional<MessageId> m_message;
  Ending m_ending = Ending::kOpen;
  LoopParams m_handedBack;
};

// Where a dialog writes the user's choice: the main window's own values.
struct LoopParamDestinations {
  std::int16_t* tempo;
  MeasureMode* mode;
  std::uint8_t* fileNumber;
};

// OK pressed: the model decides; tempo and measure go to the destinations on
// every OK, the file number only on the OK that ends the dialog. True when it ends.
bool AcceptLoopParams(LoopParamModel& model, const LoopParamDestinations& to);

// "%.*g" at precision 15: 2, 1.5, 2.666, 12.
std::string FormatSeconds(double seconds);

}  // namespace loopsmith
