#include "ui/loop_param_dlg.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <cstdio>

#include "core/loop_length.h"
#include "ui/dialog_units.h"

namespace loopsmith::ui {
namespace {

// One layout a language, in dialog units.
struct ParamLayout {
  DluRect size, ok, cancel, slider, measure1, measure2, fileNumber, stepper, tempo, time, sec,
      measureGroup, bpmGroup, timeGroup, fileNumberGroup, measureOff;
};

constexpr ParamLayout kEnglish = {
    {0, 0, 190, 98},  {80, 80, 50, 14},  {135, 80, 50, 14}, {10, 35, 68, 15},
    {95, 20, 20, 10}, {95, 30, 19, 10},  {15, 75, 30, 14},  {45, 75, 7, 14},
    {35, 20, 25, 12}, {141, 27, 25, 12}, {165, 40, 15, 8},  {90, 10, 40, 45},
    {5, 10, 80, 45},  {135, 10, 50, 45}, {5, 60, 50, 35},   {95, 40, 29, 10}};

constexpr ParamLayout kJapanese = {
    {0, 0, 190, 115},  {80, 95, 50, 14},  {135, 95, 50, 14}, {10, 40, 68, 15},
    {100, 20, 20, 10}, {100, 35, 19, 10}, {17, 85, 25, 14},  {41, 85, 7, 14},
    {35, 20, 25, 12},  {140, 35, 25, 12}, {170, 40, 11, 8},  {90, 10, 40, 55},
    {5, 10, 80, 55},   {135, 10, 50, 55}, {5, 70, 50, 40},   {100, 50, 29, 10}};

constexpr int kMinBpm = 40;
constexpr int kMaxBpm = 240;
constexpr int kMaxFileNumber = 50;

QString Unsigned(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(value));
  return QString::fromLatin1(text);
}

}  // namespace

QString FormatSeconds(double seconds) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*g", 15, seconds);
  return QString::fromLatin1(text);
}

CLoopParamDlg::CLoopParamDlg(std::int16_t* tempo, MeasureMode* mode, std::uint8_t* fileNumber,
                             Reporter& reporter, QWidget* parent)
    : QDialog(parent),
      m_time(DisplaySeconds(kMeasureOne, 120)),
      m_tempoDestination(tempo),
      m_modeDestination(mode),
      m_fileNumberDestination(fileNumber),
      m_reporter(reporter) {
  setWindowTitle(QStringLiteral("Loop Parameters"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFont(DialogFont());
  BuildControls();
  OnInitDialog();
}

void CLoopParamDlg::BuildControls() {
  const ParamLayout& layout = UseJapaneseLayout() ? kJapanese : kEnglish;
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
  m_okButton = ok;
  ok->setGeometry(units.ToPixels(layout.ok));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("CANCEL"), this);
  cancel->setGeometry(units.ToPixels(layout.cancel));
  connect(ok, &QPushButton::clicked, this, &CLoopParamDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CLoopParamDlg::reject);

  m_tempoSlider = new QSlider(Qt::Horizontal, this);
  m_tempoSlider->setGeometry(units.ToPixels(layout.slider));
  m_tempoSlider->setTickPosition(QSlider::NoTicks);

  auto radio = [&](const char* caption, const DluRect& rect) {
    auto* button = new QRadioButton(QString::fromLatin1(caption), this);
    button->setGeometry(units.ToPixels(rect));
    button->setFocusPolicy(Qt::ClickFocus);  // not a tab stop
    m_measureGroup.addButton(button);
    connect(button, &QRadioButton::clicked, this, &CLoopParamDlg::OnMeasure);
    return button;
  };
  m_measure1 = radio("1", layout.measure1);
  m_measure2 = radio("2", layout.measure2);

  m_fileNumberField = new QLineEdit(this);
  m_fileNumberField->setGeometry(units.ToPixels(layout.fileNumber));
  m_fileNumberField->setAlignment(Qt::AlignCenter);
  // Digits only, but any number of them: 0, 99 and an empty field are caught on validation.
  m_fileNumberField->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
  m_fileNumberStepper = new CSpinButtonCtrl(this);
  m_fileNumberStepper->SetBuddy(m_fileNumberField, units.X(layout.stepper.width));

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
  m_measureOff = radio("OFF", layout.measureOff);

  setTabOrder(ok, cancel);
  setTabOrder(cancel, m_tempoSlider);
  setTabOrder(m_tempoSlider, m_fileNumberField);
}

void CLoopParamDlg::OnInitDialog() {
  UpdateData(false);
  m_tempoSlider->setRange(kMinBpm, kMaxBpm);
  m_tempoSlider->setValue(120);
  m_measure1->setChecked(true);
  m_fileNumberStepper->SetRange(1, kMaxFileNumber);
  // Connected only now, so that setting up the slider raises no notification.
  connect(m_tempoSlider, &QSlider::valueChanged, this, &CLoopParamDlg::OnTempoScroll);
  connect(m_tempoSlider, &QSlider::sliderReleased, this, &CLoopParamDlg::OnTempoScroll);
  m_okButton->setFocus();  // the first tab stop
}

QRadioButton* CLoopParamDlg::measureButton(MeasureMode mode) const {
  return mode == kMeasureOne ? m_measure1 : mode == kMeasureTwo ? m_measure2 : m_measureOff;
}

MeasureMode CLoopParamDlg::GetMeasureMode() const {
  if (m_measure1->isChecked()) return kMeasureOne;
  if (m_measure2->isChecked()) return kMeasureTwo;
  return kMeasureOff;
}

void CLoopParamDlg::UpdateTime() {
  m_time = DisplaySeconds(GetMeasureMode(), static_cast<std::uint32_t>(m_tempoSlider->value()));
}

bool CLoopParamDlg::ValidateFileNumber() {
  bool valid = false;
  int value = m_fileNumberStepper->GetPos(&valid);
  const bool error = !valid || value < 1 || value > kMaxFileNumber;
  if (error) value = 1;
  m_fileNumber = static_cast<std::uint32_t>(value);
  m_fileNumberStepper->SetPos(value);  // rewrites the field: a valid 07 becomes 7
  if (error) m_reporter.Report(MessageId::kFileNumberError);
  return error;
}

void CLoopParamDlg::OnTempoScroll() {
  m_tempo = static_cast<std::uint32_t>(m_tempoSlider->value());
  UpdateTime();
  ValidateFileNumber();
  UpdateData(false);
}

void CLoopParamDlg::OnMeasure() {
  UpdateTime();
  ValidateFileNumber();
  UpdateData(false);
}

void CLoopParamDlg::UpdateData(bool fromControls) {
  if (fromControls) {
    m_tempo = m_tempoField->text().toUInt();
    m_fileNumber = m_fileNumberField->text().toUInt();
    m_time = m_timeField->text().toDouble();
    return;
  }
  m_tempoField->setText(Unsigned(m_tempo));
  m_fileNumberField->setText(Unsigned(m_fileNumber));
  m_timeField->setText(FormatSeconds(m_time));
}

void CLoopParamDlg::accept() {
  *m_tempoDestination = static_cast<std::int16_t>(m_tempoSlider->value() * 10);
  *m_modeDestination = GetMeasureMode();
  if (ValidateFileNumber()) {
    UpdateData(false);
    return;  // stays open with 1 in the field
  }
  *m_fileNumberDestination = static_cast<std::uint8_t>(m_fileNumber & 0xFF);
  UpdateData(true);
  QDialog::accept();
}

void CLoopParamDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1 || event->key() == Qt::Key_Help) return;  // no help
  QDialog::keyPressEvent(event);
}

}  // namespace loopsmith::ui
