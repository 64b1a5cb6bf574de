#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

#include "base/messages.h"

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
  explicit MessageBoxReporter(QWidget* mainWindow) : m_mainWindow(mainWindow) {}
  // Shows the catalogue text alone; the detail is for the command line.
  void Report(const Failure& failure) override;
  void setPresenter(MessagePresenter presenter) { m_presenter = std::move(presenter); }

 private:
  QPointer<QWidget> m_mainWindow;
  MessagePresenter m_presenter = ShowWarningBox;
};

}  // namespace loopsmith::ui
