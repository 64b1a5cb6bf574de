#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

#include "core/messages.h"

namespace loopsmith::ui {

// Shows one box: warning icon, one OK button, owner disabled meanwhile.
// Tests put a recorder in its place.
using MessagePresenter =
    std::function<void(QWidget* owner, const QString& caption, const QString& text)>;

void ShowWarningBox(QWidget* owner, const QString& caption, const QString& text);

// The running executable's file name without folder and extension.
QString ApplicationCaption();

// Shows catalogue messages over the window in front: the modal dialog while
// one is open, otherwise the main window.
class MessageBoxReporter final : public Reporter {
 public:
  explicit MessageBoxReporter(QWidget* mainWindow) : mainWindow_(mainWindow) {}
  void Report(MessageId id) override;
  void setPresenter(MessagePresenter presenter) { presenter_ = std::move(presenter); }

 private:
  QPointer<QWidget> mainWindow_;
  MessagePresenter presenter_ = ShowWarningBox;
};

}  // namespace loopsmith::ui
