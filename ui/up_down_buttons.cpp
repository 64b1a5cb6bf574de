#include "ui/up_down_buttons.h"

#include <QKeyEvent>

namespace loopsmith::ui {

UpDownButtons::UpDownButtons(QWidget* parent)
    : QWidget(parent), m_up(new QToolButton(this)), m_down(new QToolButton(this)) {
  for (QToolButton* button : {m_up, m_down}) {
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIconSize(QSize(7, 5));
  }
  m_up->setArrowType(Qt::UpArrow);
  m_down->setArrowType(Qt::DownArrow);
  connect(m_up, &QToolButton::clicked, this, [this] { emit stepped(1); });
  connect(m_down, &QToolButton::clicked, this, [this] { emit stepped(-1); });
  setFocusPolicy(Qt::NoFocus);
}

void UpDownButtons::attachTo(QLineEdit* field, int width) {
  m_field = field;
  const QRect area = field->geometry();
  field->setGeometry(area.adjusted(0, 0, -width, 0));
  setGeometry(area.right() - width + 1, area.top(), width, area.height());
  field->installEventFilter(this);
}

bool UpDownButtons::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_field && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      emit stepped(key == Qt::Key_Up ? 1 : -1);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void UpDownButtons::resizeEvent(QResizeEvent*) {
  const int half = height() / 2;
  m_up->setGeometry(0, 0, width(), half);
  m_down->setGeometry(0, half, width(), height() - half);
}

}  // namespace loopsmith::ui
