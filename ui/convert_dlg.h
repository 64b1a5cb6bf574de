#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/drop_guard.h"
#include "base/platform_file_system.h"
#include "core/convert_job.h"
#include "ui/message_box.h"

namespace loopsmith::ui {

// The program's icon, 32 x 32 and 16 x 16.
QIcon ApplicationIcon();

// The main window: says what to do, takes files dropped on it and hands the
// first one to the conversion job. It has no buttons and no menu.
class CConvertDlg final : public QDialog, private LoopParamsSource {
  Q_OBJECT

 public:
  explicit CConvertDlg(QWidget* parent = nullptr);

  // Converts one dropped path, as a drop does.
  JobOutcome OnDropFiles(const std::string& path);

  // Seams for tests: who answers for the loop parameters, and who shows messages.
  void setAskLoopParams(std::function<bool(LoopParams&)> ask) { m_askOverride = std::move(ask); }
  void setMessagePresenter(MessagePresenter presenter);
  MessageBoxReporter& reporter() { return m_reporter; }

  static QString InstructionText();
  const JobOutcome& lastOutcome() const { return m_lastOutcome; }

 signals:
  void conversionFinished();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  bool AskLoopParams(LoopParams& params) override;
  void BuildControls();

  QIcon m_icon;
  PlatformFileSystem m_fileSystem;
  MessageBoxReporter m_reporter;
  PageAllocator m_allocator;
  ConvertJob m_job;
  std::function<bool(LoopParams&)> m_askOverride;
  JobOutcome m_lastOutcome;
  DropGuard m_drops;
  std::optional<std::string> m_dragPath;  // what the drag now over the window would convert
};

}  // namespace loopsmith::ui
