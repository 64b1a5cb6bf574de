#pragma once

#include <QButtonGroup>
#include <QDialog>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <cstdint>

#include "app/loop_param_model.h"
#include "base/messages.h"
#include "core/loop_params.h"
#include "ui/tempo_slider.h"
#include "ui/up_down_buttons.h"

namespace loopsmith::ui {

// The modal "Loop Parameters" dialog: tempo on a slider, loop length and file
// number. The widgets are bound to a LoopParamModel, which holds every rule;
// the choice is written through the three destinations only on OK.
class CLoopParamDlg final : public QDialog {
  Q_OBJECT

 public:
  CLoopParamDlg(std::int16_t* tempo, MeasureMode* mode, std::uint8_t* fileNumber,
                Reporter& reporter, QWidget* parent = nullptr);

  MeasureMode GetMeasureMode() const { return m_model.GetMeasureMode(); }

  QSlider* tempoSlider() const { return m_tempoSlider; }
  QLineEdit* tempoField() const { return m_tempoField; }
  QLineEdit* fileNumberField() const { return m_fileNumberField; }
  QLineEdit* timeField() const { return m_timeField; }
  UpDownButtons* fileNumberStepper() const { return m_fileNumberStepper; }
  QRadioButton* measureButton(MeasureMode mode) const;

  void accept() override;
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildControls();
  void OnTempoScroll();
  void OnMeasure(MeasureMode mode);
  // Shows the model's state in the widgets, then the message it raised, if any.
  void Show();

  LoopParamModel m_model;
  LoopParamDestinations m_destinations;
  Reporter& m_reporter;

  TempoSlider* m_tempoSlider = nullptr;
  UpDownButtons* m_fileNumberStepper = nullptr;
  QLineEdit* m_tempoField = nullptr;
  QLineEdit* m_fileNumberField = nullptr;
  QLineEdit* m_timeField = nullptr;
  QRadioButton* m_measure1 = nullptr;
  QRadioButton* m_measure2 = nullptr;
  QRadioButton* m_measureOff = nullptr;
  QButtonGroup m_measureGroup;
};

}  // namespace loopsmith::ui
