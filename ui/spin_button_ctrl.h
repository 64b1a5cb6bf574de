#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QToolButton>
#include <QWidget>

namespace loopsmith::ui {

// An up-down control: two arrow buttons attached to the right edge of a buddy
// text field. Its position lives in the buddy's text, so whatever is typed
// there (99, 0, nothing) stays until the position is read and found invalid.
class CSpinButtonCtrl final : public QWidget {
  Q_OBJECT

 public:
  explicit CSpinButtonCtrl(QWidget* parent = nullptr);

  // Narrows the buddy by this control's width and sits in the space freed.
  void SetBuddy(QLineEdit* buddy, int width);
  void SetRange(int lower, int upper);
  // The buddy's text as a number; `valid` is false for anything that is not a
  // whole decimal number within the range.
  int GetPos(bool* valid) const;
  // Writes the position into the buddy as plain decimal.
  void SetPos(int position);
  void StepBy(int delta);

  QToolButton* upButton() const { return up_; }
  QToolButton* downButton() const { return down_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QPointer<QLineEdit> buddy_;
  QToolButton* up_;
  QToolButton* down_;
  int lower_ = 0;
  int upper_ = 100;
  int last_ = 0;  // the last valid position, where a step starts from invalid text
};

}  // namespace loopsmith::ui
