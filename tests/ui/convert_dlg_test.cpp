#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>

#include "core/loop_format.h"
#include "temp_dir.h"
#include "ui/convert_dlg.h"
#include "ui/loop_param_dlg.h"
#include "wav_builder.h"

using loopsmith::LoopParams;
using loopsmith::testing::ReadBytes;
using loopsmith::testing::SimpleWave;
using loopsmith::testing::TempDir;
using loopsmith::testing::WriteBytes;
using loopsmith::ui::CConvertDlg;
using loopsmith::ui::CLoopParamDlg;

namespace {

// Acts on the Loop Parameters dialog as soon as the job has opened it.
void WhenDialogOpens(const std::function<void(CLoopParamDlg*)>& act) {
  auto* poll = new QTimer(QCoreApplication::instance());
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    if (auto* dialog = qobject_cast<CLoopParamDlg*>(QApplication::activeModalWidget())) {
      poll->stop();
      poll->deleteLater();
      act(dialog);
    }
  });
  poll->start(5);
}

struct ShownMessage {
  QWidget* owner;
  QString caption;
  QString text;
};

}  // namespace

class ConvertDlgTest : public QObject {
  Q_OBJECT

 private:
  struct Fixture {
    TempDir dir;
    CConvertDlg window;
    std::vector<ShownMessage> messages;
    int asked = 0;
    Fixture() {
      window.setMessagePresenter(
          [this](QWidget* owner, const QString& caption, const QString& text) {
            messages.push_back({owner, caption, text});
          });
      window.show();
    }
    void Answer(bool ok, LoopParams answer = {1200, 1, 1}) {
      window.setAskLoopParams([this, ok, answer](LoopParams& params) {
        ++asked;
        if (ok) params = answer;
        return ok;
      });
    }
    QString Path(const char* name) const { return QString::fromStdString(dir.Path(name)); }
    // Drops the files as the desktop would, and waits for the job to end.
    bool Drop(const QList<QUrl>& urls) {
      QMimeData mime;
      mime.setUrls(urls);
      QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&window, &enter);  // Qt takes a drop only after its drag entered
      if (!enter.isAccepted()) return false;
      QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QSignalSpy finished(&window, &CConvertDlg::conversionFinished);
      QApplication::sendEvent(&window, &drop);
      if (!drop.isAccepted()) return false;
      return finished.wait(5000);
    }
    bool Drop(const QStringList& names) {
      QList<QUrl> urls;
      for (const auto& name : names) urls << QUrl::fromLocalFile(Path(name.toUtf8().constData()));
      return Drop(urls);
    }
  };

 private slots:
  void showsItsTexts() {
    Fixture f;
    QCOMPARE(f.window.windowTitle(), QStringLiteral("Loopsmith for TQ-58"));
    QStringList texts;
    for (auto* label : f.window.findChildren<QLabel*>()) texts << label->text();
    QCOMPARE(texts.at(0), QStringLiteral("Please drop the \".WAV\" or \".T58\" file here."));
    QCOMPARE(texts.at(2), QStringLiteral("Loopsmith for TQ-58"));
    QVERIFY(f.window.acceptDrops());
    const QList<QSize> sizes = f.window.windowIcon().availableSizes();
    QVERIFY(sizes.contains(QSize(32, 32)));
    QVERIFY(sizes.contains(QSize(16, 16)));
  }

  void droppedWaveBecomesLoopFile() {
    Fixture f;
    WriteBytes(f.dir.Path("SONG.wav"), SimpleWave(2, {-17, -16, 1000, 3000}));
    f.Answer(true, {1200, 1, 1});
    QVERIFY(f.Drop(QStringList{"SONG.wav"}));
    const auto bytes = ReadBytes(f.dir.Path("L01.T58"));
    QCOMPARE(bytes.size(), std::size_t{262'200});
    QVERIFY(std::equal(bytes.begin(), bytes.begin() + 56, loopsmith::kLoopHeaderTemplate.begin()));
    QCOMPARE(int{bytes[56]}, 0x0F);
    QCOMPARE(int{bytes[57]}, 0xFF);
    QCOMPARE(int{bytes[58]}, 0x00);
    QCOMPARE(int{bytes[59]}, 0x7D);  // (1000 + 3000) / 2 = 2000 = 0x7D0
    QVERIFY(f.messages.empty());
  }

  void cancelWritesNothing() {
    Fixture f;
    WriteBytes(f.dir.Path("a.wav"), SimpleWave(1, {1}));
    f.Answer(false);
    QVERIFY(f.Drop(QStringList{"a.wav"}));
    QCOMPARE(f.asked, 1);
    QCOMPARE(f.dir.Entries(), std::vector<std::string>{"a.wav"});
    QVERIFY(f.messages.empty());
  }

  void droppedLoopBecomesWave() {
    Fixture f;
    std::vector<std::uint8_t> loop(131'128);
    loopsmith::MakeLoopHeader({2400, 1, 1}, loop.data());
    WriteBytes(f.dir.Path("beat.t58"), loop);
    QVERIFY(f.Drop(QStringList{"beat.t58"}));
    QCOMPARE(ReadBytes(f.dir.Path("beat.WAV")).size(), std::size_t{46 + 2 * 44'101});
    QCOMPARE(f.asked, 0);
  }

  void onlyTheFirstOfSeveralFilesIsConverted() {
    Fixture f;
    WriteBytes(f.dir.Path("one.wav"), SimpleWave(1, {1}));
    WriteBytes(f.dir.Path("two.wav"), SimpleWave(1, {1}));
    f.Answer(true, {1200, 1, 5});
    QVERIFY(f.Drop(QStringList{"notes.txt", "one.wav"}));
    QVERIFY(f.messages.empty());
    QCOMPARE(f.asked, 0);
    QVERIFY(f.Drop(QStringList{"two.wav", "one.wav"}));
    QCOMPARE(f.asked, 1);
    QCOMPARE(f.window.lastOutcome().output, f.dir.Path("L05.T58"));
  }

  // What a drop's first URL may be: the file system's own bytes, on this machine.
  void dropUrls_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<QByteArray>("file");  // created in the folder; empty: refused
    QTest::newRow("Latin-1 name") << "file:///DIR/caf%E9.wav" << QByteArray("caf\xe9.wav");
    QTest::newRow("localhost") << "file://localhost/DIR/a.wav" << QByteArray("a.wav");
    QTest::newRow("this host") << "file://HOST/DIR/a.wav" << QByteArray("a.wav");
    QTest::newRow("other host") << "file://elsewhere.example/DIR/a.wav" << QByteArray();
    QTest::newRow("web") << "https://example.com/a.wav" << QByteArray();
  }
  void dropUrls() {
    QFETCH(QString, url);
    QFETCH(QByteArray, file);
    Fixture f;
    f.Answer(true);
    const QByteArray name = file.isEmpty() ? QByteArray("a.wav") : file;
    WriteBytes(f.dir.Path(name.toStdString()), SimpleWave(1, {1}));
    url.replace(QStringLiteral("/DIR"), QString::fromLatin1(QUrl::toPercentEncoding(
                                            QString::fromStdString(f.dir.root().string()), "/")));
    url.replace(QStringLiteral("HOST"), QSysInfo::machineHostName());
    QCOMPARE(f.Drop(QList<QUrl>{QUrl::fromEncoded(url.toLatin1())}), !file.isEmpty());
    if (!file.isEmpty()) QCOMPARE(f.window.lastOutcome().output, f.dir.Path("L01.T58"));
    QVERIFY(!f.Drop(QList<QUrl>{}));
  }

  void messagesCarryTheProgramNameAndTheWindowInFront() {
    Fixture f;
    WriteBytes(f.dir.Path("bad.wav"), {'R', 'I', 'F', 'F'});
    QVERIFY(f.Drop(QStringList{"bad.wav"}));
    QCOMPARE(f.messages.size(), std::size_t{1});
    QCOMPARE(f.messages[0].text, QStringLiteral("Wave file read error #2"));
    QCOMPARE(f.messages[0].caption, QStringLiteral("convert_dlg_test"));
    QCOMPARE(f.messages[0].owner, &f.window);
  }

  void theLoopDialogOwnsItsOwnMessage() {
    // The real dialog: a bad number on OK is reported over it, then it is cancelled.
    Fixture f;
    WriteBytes(f.dir.Path("a.wav"), SimpleWave(1, {1}));
    QWidget* dialogSeen = nullptr;
    WhenDialogOpens([&](CLoopParamDlg* dialog) {
      dialogSeen = dialog;
      dialog->fileNumberField()->setText(QStringLiteral("0"));
      dialog->accept();
      dialog->reject();
    });
    QVERIFY(f.Drop(QStringList{"a.wav"}));
    QCOMPARE(f.messages.size(), std::size_t{1});
    QCOMPARE(f.messages[0].text, QStringLiteral("File number error"));
    QCOMPARE(f.messages[0].owner, dialogSeen);
    QCOMPARE(f.dir.Entries(), std::vector<std::string>{"a.wav"});
  }

  void theRealDialogAnswersOk() {
    Fixture f;
    WriteBytes(f.dir.Path("a.wav"), SimpleWave(1, {1}));
    WhenDialogOpens([&](CLoopParamDlg* dialog) {
      dialog->fileNumberField()->setText(QStringLiteral("12"));
      QTest::keyClick(dialog, Qt::Key_Return);
    });
    QVERIFY(f.Drop(QStringList{"a.wav"}));
    QCOMPARE(f.window.lastOutcome().output, f.dir.Path("L12.T58"));
    QVERIFY(f.messages.empty());
  }

  void keysThatEndTheProgram_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("result");
    QTest::newRow("Enter") << int(Qt::Key_Return) << int(QDialog::Accepted);
    QTest::newRow("Escape") << int(Qt::Key_Escape) << int(QDialog::Rejected);
  }
  void keysThatEndTheProgram() {
    QFETCH(int, key);
    QFETCH(int, result);
    Fixture f;
    QTest::keyClick(&f.window, static_cast<Qt::Key>(key));
    QVERIFY(!f.window.isVisible());
    QCOMPARE(f.window.result(), result);
  }

  void helpKeyDoesNothing() {
    Fixture f;
    QTest::keyClick(&f.window, Qt::Key_F1);
    QVERIFY(f.window.isVisible());
  }

  void screenshots() {
    // Pictures of both windows for a person to look at: LOOPSMITH_SCREENSHOTS=folder.
    const QString folder = qEnvironmentVariable("LOOPSMITH_SCREENSHOTS");
    if (folder.isEmpty()) QSKIP("LOOPSMITH_SCREENSHOTS is not set");
    Fixture f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    f.window.grab().save(folder + QStringLiteral("/main-window.png"));
    std::int16_t tempo = 0;
    loopsmith::MeasureMode mode = 0;
    std::uint8_t number = 0;
    CLoopParamDlg dialog(&tempo, &mode, &number, f.window.reporter(), &f.window);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.grab().save(folder + QStringLiteral("/loop-parameters.png"));
    dialog.tempoSlider()->setSliderPosition(90);
    QTest::mouseClick(dialog.measureButton(2), Qt::LeftButton);
    dialog.grab().save(folder + QStringLiteral("/loop-parameters-90-two.png"));
  }
};

QTEST_MAIN(ConvertDlgTest)
#include "convert_dlg_test.moc"
