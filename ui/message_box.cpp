#include "ui/message_box.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

namespace loopsmith::ui {

void ShowWarningBox(QWidget* owner, const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, owner);
  box.exec();
}

QString ApplicationCaption() {
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void MessageBoxReporter::Report(const Failure& failure) {
  QWidget* owner = QApplication::activeModalWidget();
  if (owner == nullptr) owner = m_mainWindow;
  const std::string_view text = MessageText(failure.id);
  m_presenter(owner, ApplicationCaption(),
              QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace loopsmith::ui
