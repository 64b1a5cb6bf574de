#pragma once

#include <QButtonGroup>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <cstdint>

#include "core/loop_params.h"
#include "core/messages.h"
#include "ui/spin_button_ctrl.h"

namespace loopsmith::ui {

// The modal "Loop Parameters" dialog: tempo on a slider, loop length and file
// number. It writes its choice through the three destinations only on OK.
class CLoopParamDlg final : public QDialog {
  Q_OBJECT

 public:
  CLoopParamDlg(std::int16_t* tempo, MeasureMode* mode, std::uint8_t* fileNumber,
                Reporter& reporter, QWidget* parent = nullptr);

  MeasureMode GetMeasureMode() const;
  void UpdateTime();
  // True when the file number was invalid and has been reset to 1.
  bool ValidateFileNumber();

  QSlider* tempoSlider() const { return m_tempoSlider; }
  QLineEdit* tempoField() const { return m_tempoField; }
  QLineEdit* fileNumberField() const { return m_fileNumberField; }
  QLineEdit* timeField() const { return m_timeField; }
  CSpinButtonCtrl* fileNumberStepper() const { return m_fileNumberStepper; }
  QRadioButton* measureButton(MeasureMode mode) const;

  void accept() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildControls();
  void OnInitDialog();
  void OnTempoScroll();
  void OnMeasure();
  // Members to fields (false) or fields to members (true).
  void UpdateData(bool fromControls);

  CSpinButtonCtrl* m_fileNumberStepper = nullptr;
  QSlider* m_tempoSlider = nullptr;
  std::uint32_t m_tempo = 120;
  std::uint32_t m_fileNumber = 1;
  double m_time;

  std::int16_t* m_tempoDestination;
  MeasureMode* m_modeDestination;
  std::uint8_t* m_fileNumberDestination;
  Reporter& m_reporter;

  QPushButton* m_okButton = nullptr;
  QLineEdit* m_tempoField = nullptr;
  QLineEdit* m_fileNumberField = nullptr;
  QLineEdit* m_timeField = nullptr;
  QRadioButton* m_measure1 = nullptr;
  QRadioButton* m_measure2 = nullptr;
  QRadioButton* m_measureOff = nullptr;
  QButtonGroup m_measureGroup;
};

// "%.*g" at precision 15: 2, 1.5, 2.666, 12.
QString FormatSeconds(double seconds);

}  // namespace loopsmith::ui
