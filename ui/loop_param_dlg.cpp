#include "ui/loop_param_dlg.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "app/dialog_layouts.h"
#include "ui/dialog_units.h"

namespace loopsmith::ui {

CLoopParamDlg::CLoopParamDlg(std::int16_t* tempo, MeasureMode* mode, std::uint8_t* fileNumber,
                             Reporter& reporter, QWidget* parent)
    : QDialog(parent), m_destinations{tempo, mode, fileNumber}, m_reporter(reporter) {
  setWindowTitle(QString::fromLatin1(kLoopParamTitle));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFont(DialogFont());
  BuildControls();
  Show();
  // Connected only now, so that setting up the controls raises no notification.
  // One notification per slider action (drag step, key, page click, wheel), also
  // one that leaves the slider where it was, and one at the end of a drag;
  // never for a value set from here.
  connect(m_tempoSlider, &QSlider::actionTriggered, this, &CLoopParamDlg::OnTempoScroll);
  connect(m_tempoSlider, &QSlider::sliderReleased, this, &CLoopParamDlg::OnTempoScroll);
  connect(m_fileNumberField, &QLineEdit::textChanged, this,
          [this](const QString& text) { m_model.OnFileNumberEdited(text.toStdString()); });
  connect(m_fileNumberStepper, &UpDownButtons::stepped, this, [this](int delta) {
    m_model.OnFileNumberStep(delta);
    Show();
  });
}

void CLoopParamDlg::BuildControls() {
  const LoopParamLayout& layout = UseJapaneseLayout() ? kLoopParamJapanese : kLoopParamEnglish;
  const DialogUnits units(font());
  setFixedSize(units.X(layout.size.width), units.Y(layout.size.height));

  // Frames first, so that they lie beneath the controls they frame.
  auto frame = [&](const char* title, const DluRect& rect) {
    auto* box = new QGroupBox(QString::fromLatin1(title), this);
    box->setStyleSheet(GroupBoxStyle());
    box->setGeometry(units.ToPixels(rect));
  };
  frame("Measure", layout.measureGroup);
  frame("BPM", layout.bpmGroup);
  frame("Time", layout.timeGroup);
  frame("File Number", layout.fileNumberGroup);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setGeometry(units.ToPixels(layout.ok));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("CANCEL"), this);
  cancel->setGeometry(units.ToPixels(layout.cancel));
  connect(ok, &QPushButton::clicked, this, &CLoopParamDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CLoopParamDlg::reject);

  m_tempoSlider = new TempoSlider(this);
  m_tempoSlider->setGeometry(units.ToPixels(layout.slider));
  m_tempoSlider->setTickPosition(QSlider::NoTicks);
  m_tempoSlider->setRange(kMinBpm, kMaxBpm);

  auto radio = [&](const char* caption, const DluRect& rect, MeasureMode mode) {
    auto* button = new QRadioButton(QString::fromLatin1(caption), this);
    button->setGeometry(units.ToPixels(rect));
    button->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    m_measureGroup.addButton(button);
    connect(button, &QRadioButton::clicked, this, [this, mode] { OnMeasure(mode); });
    return button;
  };
  m_measure1 = radio("1", layout.measure1, kMeasureOne);
  m_measure2 = radio("2", layout.measure2, kMeasureTwo);

  m_fileNumberField = new QLineEdit(this);
  m_fileNumberField->setGeometry(units.ToPixels(layout.fileNumber));
  m_fileNumberField->setAlignment(Qt::AlignCenter);
  // Digits only, but any number of them: 0, 99 and an empty field are caught on validation.
  m_fileNumberField->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
  m_fileNumberStepper = new UpDownButtons(this);
  m_fileNumberStepper->attachTo(m_fileNumberField, units.X(layout.stepper.width));

  auto readOnlyField = [&](const DluRect& rect, bool border) {
    auto* field = new QLineEdit(this);
    field->setGeometry(units.ToPixels(rect));
    field->setReadOnly(true);
    field->setAlignment(Qt::AlignCenter);
    field->setFrame(border);
    field->setFocusPolicy(Qt::ClickFocus);
    // Read-only fields take the dialog's colour, so they do not look editable.
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    field->setPalette(palette);
    return field;
  };
  m_tempoField = readOnlyField(layout.tempo, false);
  m_timeField = readOnlyField(layout.time, true);
  auto* sec = new QLabel(QStringLiteral("sec"), this);
  sec->setGeometry(units.ToPixels(layout.sec));
  m_measureOff = radio("OFF", layout.measureOff, kMeasureOff);

  setTabOrder(ok, cancel);
  setTabOrder(cancel, m_tempoSlider);
  setTabOrder(m_tempoSlider, m_fileNumberField);
  ok->setFocus();  // the first tab stop
}

QRadioButton* CLoopParamDlg::measureButton(MeasureMode mode) const {
  return mode == kMeasureOne ? m_measure1 : mode == kMeasureTwo ? m_measure2 : m_measureOff;
}

void CLoopParamDlg::Show() {
  const QSignalBlocker quiet(m_tempoSlider);
  m_tempoSlider->setValue(m_model.sliderPosition());
  measureButton(m_model.GetMeasureMode())->setChecked(true);
  m_tempoField->setText(QString::fromStdString(m_model.tempoText()));
  m_timeField->setText(QString::fromStdString(m_model.timeText()));
  const QString number = QString::fromStdString(m_model.fileNumberText());
  if (m_fileNumberField->text() != number) m_fileNumberField->setText(number);
  if (const auto message = m_model.TakeMessage()) {
    m_tempoSlider->endMouseAction();
    m_reporter.Report(Failure{*message, 0, {}});
  }
}

void CLoopParamDlg::OnTempoScroll() {
  // During an action the slider's position is already the new one, its value not yet.
  m_model.OnTempoScroll(m_tempoSlider->sliderPosition());
  Show();
}

void CLoopParamDlg::OnMeasure(MeasureMode mode) {
  m_model.OnMeasure(mode);
  Show();
}

void CLoopParamDlg::accept() {
  const bool ends = AcceptLoopParams(m_model, m_destinations);
  Show();
  if (!ends) return;  // stays open with 1 in the field
  QDialog::accept();
}

void CLoopParamDlg::reject() {
  m_model.OnCancel();
  QDialog::reject();
}

void CLoopParamDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1 || event->key() == Qt::Key_Help) return;  // no help
  QDialog::keyPressEvent(event);
}

}  // namespace loopsmith::ui
