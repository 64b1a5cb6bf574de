#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QToolButton>
#include <QWidget>

namespace loopsmith::ui {

// Two arrow buttons on the right edge of a text field, also worked by the up
// and down keys in the field. They only say which way; the dialog's model
// decides what the field then holds.
class UpDownButtons final : public QWidget {
  Q_OBJECT

 public:
  explicit UpDownButtons(QWidget* parent = nullptr);

  // Narrows the field by `width` and sits in the space freed.
  void attachTo(QLineEdit* field, int width);

  QToolButton* upButton() const { return m_up; }
  QToolButton* downButton() const { return m_down; }

 signals:
  void stepped(int delta);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QPointer<QLineEdit> m_field;
  QToolButton* m_up;
  QToolButton* m_down;
};

}  // namespace loopsmith::ui
