#include "ui/convert_dlg.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QStyle>
#include <QSysInfo>
#include <utility>

#include "app/dialog_layouts.h"
#include "ui/dialog_units.h"
#include "ui/loop_param_dlg.h"

namespace loopsmith::ui {
namespace {

// The first dropped item, if it is a local file or folder, as the file
// system's own bytes: the URL's escapes are decoded here, never through a
// QString, so a name that is not UTF-8 reaches the file system unchanged.
std::optional<std::string> FirstLocalPath(const QMimeData* mime) {
  if (mime == nullptr || !mime->hasUrls()) return std::nullopt;
  std::vector<std::string> uris;
  for (const QUrl& url : mime->urls()) uris.push_back(url.toEncoded().toStdString());
  return DropGuard::FirstPath(uris, QSysInfo::machineHostName().toStdString());
}

}  // namespace

QIcon ApplicationIcon() {
  QIcon icon(QStringLiteral(":/loopsmith/loopsmith.xpm"));
  icon.addFile(QStringLiteral(":/loopsmith/loopsmith-16.xpm"));
  return icon;
}

QString CConvertDlg::InstructionText() { return QString::fromLatin1(kInstruction); }

CConvertDlg::CConvertDlg(QWidget* parent)
    : QDialog(parent),
      m_icon(ApplicationIcon()),
      m_reporter(this),
      m_job(m_fileSystem, m_reporter, *this, m_allocator) {
  setWindowTitle(QString::fromLatin1(kMainTitle));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(m_icon);
  setAcceptDrops(true);
  setFont(DialogFont());
  BuildControls();
}

void CConvertDlg::BuildControls() {
  const MainLayout& layout = UseJapaneseLayout() ? kMainJapanese : kMainEnglish;
  const DialogUnits units(font());
  setFixedSize(units.X(layout.size.width), units.Y(layout.size.height));
  auto* frame = new QGroupBox(this);
  frame->setStyleSheet(GroupBoxStyle());
  frame->setGeometry(units.ToPixels(layout.frame));
  auto line = [&](const QString& text, const DluRect& rect) {
    auto* label = new QLabel(text, this);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setGeometry(units.ToPixels(rect));
  };
  line(InstructionText(), layout.instruction);
  line(QString::fromLatin1(kCopyright), layout.copyright);
  line(QString::fromLatin1(kMainTitle), layout.title);
}

void CConvertDlg::setMessagePresenter(MessagePresenter presenter) {
  m_reporter.setPresenter(std::move(presenter));
}

JobOutcome CConvertDlg::OnDropFiles(const std::string& path) {
  // The job runs its own modal loops; a drop that arrives meanwhile is not taken.
  if (!m_drops.Begin()) return {};
  m_lastOutcome = m_job.Run(path);
  m_drops.End();
  emit conversionFinished();
  return m_lastOutcome;
}

bool CConvertDlg::AskLoopParams(LoopParams& params) {
  if (m_askOverride) return m_askOverride(params);
  // Always opens with 120 BPM, one measure, file number 1; nothing is remembered.
  CLoopParamDlg dialog(&params.tempo, &params.measureMode, &params.fileNumber, m_reporter, this);
  return dialog.exec() == QDialog::Accepted;
}

void CConvertDlg::dragEnterEvent(QDragEnterEvent* event) {
  // Decided once as the drag comes in; moves over the window only repeat the answer.
  m_dragPath = m_drops.busy() ? std::nullopt : FirstLocalPath(event->mimeData());
  if (m_dragPath) event->acceptProposedAction();
}

void CConvertDlg::dragMoveEvent(QDragMoveEvent* event) {
  if (m_dragPath && !m_drops.busy()) event->acceptProposedAction();
}

void CConvertDlg::dragLeaveEvent(QDragLeaveEvent*) { m_dragPath.reset(); }

void CConvertDlg::dropEvent(QDropEvent* event) {
  std::optional<std::string> dropped = std::exchange(m_dragPath, std::nullopt);
  if (!dropped || m_drops.busy()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  // The drop is finished first and the job runs right after, on this thread:
  // a file manager must not wait on our dialog to end its drag.
  QMetaObject::invokeMethod(
      this, [this, path = std::move(*dropped)] { OnDropFiles(path); }, Qt::QueuedConnection);
}

void CConvertDlg::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      accept();
      return;
    case Qt::Key_F1:
    case Qt::Key_Help:
      return;  // no help
    default:
      QDialog::keyPressEvent(event);
  }
}

void CConvertDlg::paintEvent(QPaintEvent* event) {
  if (!isMinimized()) {
    QDialog::paintEvent(event);
    return;
  }
  QPainter painter(this);
  painter.eraseRect(rect());
  const int iconSize = style()->pixelMetric(QStyle::PM_LargeIconSize);
  const int x = (width() - iconSize + 1) / 2;
  const int y = (height() - iconSize + 1) / 2;
  m_icon.paint(&painter, x, y, iconSize, iconSize);
}

}  // namespace loopsmith::ui
