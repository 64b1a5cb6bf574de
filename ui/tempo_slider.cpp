#include "ui/tempo_slider.h"

#include <QMouseEvent>
#include <utility>

namespace loopsmith::ui {

void TempoSlider::endMouseAction() {
  if (m_inPress) {
    m_endAfterPress = true;
  } else {
    release();
  }
}

void TempoSlider::mousePressEvent(QMouseEvent* event) {
  m_inPress = true;
  QSlider::mousePressEvent(event);
  m_inPress = false;
  if (std::exchange(m_endAfterPress, false)) release();
}

void TempoSlider::release() {
  setRepeatAction(SliderNoAction);
  // A release with no button left down clears the slider's pressed state; a
  // slider that is not pressed ignores it.
  QMouseEvent up(QEvent::MouseButtonRelease, QPointF(0, 0), QPointF(0, 0), Qt::LeftButton,
                 Qt::NoButton, Qt::NoModifier);
  mouseReleaseEvent(&up);
}

}  // namespace loopsmith::ui
