#pragma once

#include <QSlider>

namespace loopsmith::ui {

// The tempo slider, which can end a mouse action of its own accord: a message
// box shown from its handler takes the mouse, and the slider would otherwise
// never see the button come up and page on behind the box.
class TempoSlider final : public QSlider {
  Q_OBJECT

 public:
  explicit TempoSlider(QWidget* parent = nullptr) : QSlider(Qt::Horizontal, parent) {}
  // Ends a press or drag as a release would; from inside the press itself,
  // as soon as the press has been handled (it starts the repeat last).
  void endMouseAction();

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void release();

  bool m_inPress = false;
  bool m_endAfterPress = false;
};

}  // namespace loopsmith::ui
