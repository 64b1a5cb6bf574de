// Prints how long a window takes to be mapped on a real X server, in
// milliseconds, for bench/window_latency.py:
//   window_latency main         process start (LOOPSMITH_T0, ns) to the main window mapped
//   window_latency bare         the same for a bare Qt dialog with one label
//   window_latency drop FILE    a drop of FILE on the main window to Loop Parameters mapped
#include <QApplication>
#include <QDialog>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/convert_app.h"
#include "ui/convert_dlg.h"
#include "ui/loop_param_dlg.h"

namespace {

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Calls `onMapped` once, when a window with this title is first exposed.
class MapWatch final : public QObject {
 public:
  MapWatch(QString title, std::function<void()> onMapped)
      : m_title(std::move(title)), m_onMapped(std::move(onMapped)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && watched->isWindowType()) {
      auto* window = static_cast<QWindow*>(watched);
      if (window->isExposed() && window->title() == m_title && m_onMapped) {
        auto done = std::exchange(m_onMapped, nullptr);
        done();
      }
    }
    return false;
  }

 private:
  QString m_title;
  std::function<void()> m_onMapped;
};

void Print(std::int64_t from) { std::printf("%.3f\n", static_cast<double>(NowNs() - from) / 1e6); }

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  const char* t0 = std::getenv("LOOPSMITH_T0");
  const std::int64_t start = t0 ? std::atoll(t0) : NowNs();
  if (mode == "bare") {
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("bare"));
    new QLabel(QStringLiteral("Please drop a file here."), &dialog);
    MapWatch watch(QStringLiteral("bare"), [&] {
      Print(start);
      app.quit();
    });
    app.installEventFilter(&watch);
    dialog.show();
    return app.exec();
  }
  loopsmith::ui::CConvertApp app(argc, argv);
  loopsmith::ui::CConvertDlg window;
  if (mode == "main") {
    MapWatch watch(QStringLiteral("Loopsmith for TQ-58"), [&] {
      Print(start);
      app.quit();
    });
    app.installEventFilter(&watch);
    window.show();
    return app.exec();
  }
  if (mode != "drop" || argc < 3) return 2;
  std::int64_t dropped = 0;
  MapWatch dialogWatch(QStringLiteral("Loop Parameters"), [&] {
    Print(dropped);
    QTimer::singleShot(0, [] {
      if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        dialog->reject();
      }
    });
  });
  MapWatch mainWatch(QStringLiteral("Loopsmith for TQ-58"), [&] {
    QTimer::singleShot(100, [&] {
      app.installEventFilter(&dialogWatch);
      QMimeData mime;
      mime.setUrls({QUrl::fromLocalFile(QString::fromLocal8Bit(argv[2]))});
      QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      dropped = NowNs();
      QApplication::sendEvent(&window, &enter);
      QApplication::sendEvent(&window, &drop);
    });
  });
  app.installEventFilter(&mainWatch);
  QObject::connect(&window, &loopsmith::ui::CConvertDlg::conversionFinished, &app,
                   &QApplication::quit);
  window.show();
  return app.exec();
}
