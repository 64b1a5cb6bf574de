#include "ui/spin_button_ctrl.h"

#include <QKeyEvent>

#include <algorithm>

namespace loopsmith::ui {

CSpinButtonCtrl::CSpinButtonCtrl(QWidget* parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
  for (QToolButton* button : {up_, down_}) {
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIconSize(QSize(7, 5));
  }
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  connect(up_, &QToolButton::clicked, this, [this] { StepBy(1); });
  connect(down_, &QToolButton::clicked, this, [this] { StepBy(-1); });
  setFocusPolicy(Qt::NoFocus);
}

void CSpinButtonCtrl::SetBuddy(QLineEdit* buddy, int width) {
  buddy_ = buddy;
  QRect area = buddy->geometry();
  buddy->setGeometry(area.adjusted(0, 0, -width, 0));
  setGeometry(area.right() - width + 1, area.top(), width, area.height());
  buddy->installEventFilter(this);
}

void CSpinButtonCtrl::SetRange(int lower, int upper) {
  lower_ = lower;
  upper_ = upper;
  last_ = std::clamp(last_, std::min(lower, upper), std::max(lower, upper));
}

int CSpinButtonCtrl::GetPos(bool* valid) const {
  bool parsed = false;
  const QString text = buddy_ ? buddy_->text().trimmed() : QString();
  const int value = text.toInt(&parsed, 10);
  const bool inRange = parsed && !text.startsWith(QLatin1Char('+')) &&
                       !text.startsWith(QLatin1Char('-')) && value >= lower_ && value <= upper_;
  if (valid != nullptr) *valid = inRange;
  return inRange ? value : last_;
}

void CSpinButtonCtrl::SetPos(int position) {
  last_ = position;
  if (buddy_) buddy_->setText(QString::number(position));
}

void CSpinButtonCtrl::StepBy(int delta) {
  // Stops at either end; it never wraps round.
  const int position = GetPos(nullptr);
  SetPos(std::clamp(position + delta, lower_, upper_));
}

bool CSpinButtonCtrl::eventFilter(QObject* watched, QEvent* event) {
  if (watched == buddy_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      StepBy(key == Qt::Key_Up ? 1 : -1);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void CSpinButtonCtrl::resizeEvent(QResizeEvent*) {
  const int half = height() / 2;
  up_->setGeometry(0, 0, width(), half);
  down_->setGeometry(0, half, width(), height() - half);
}

}  // namespace loopsmith::ui
