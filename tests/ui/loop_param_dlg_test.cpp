#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "recording_reporter.h"
#include "ui/loop_param_dlg.h"

using loopsmith::MeasureMode;
using loopsmith::testing::RecordingReporter;
using loopsmith::ui::CLoopParamDlg;

class LoopParamDlgTest : public QObject {
  Q_OBJECT

 private:
  struct Fixture {
    std::int16_t tempo = -1;
    MeasureMode mode = 99;
    std::uint8_t number = 99;
    RecordingReporter reporter;
    CLoopParamDlg dialog{&tempo, &mode, &number, reporter};
    Fixture() { dialog.show(); }
  };

 private slots:
  void opensWithTheDefaults() {
    Fixture f;
    QCOMPARE(f.dialog.windowTitle(), QStringLiteral("Loop Parameters"));
    QCOMPARE(f.dialog.tempoField()->text(), QStringLiteral("120"));
    QCOMPARE(f.dialog.tempoSlider()->value(), 120);
    QCOMPARE(f.dialog.tempoSlider()->minimum(), 40);
    QCOMPARE(f.dialog.tempoSlider()->maximum(), 240);
    QVERIFY(f.dialog.measureButton(1)->isChecked());
    QVERIFY(!f.dialog.measureButton(2)->isChecked());
    QVERIFY(!f.dialog.measureButton(0)->isChecked());
    QCOMPARE(f.dialog.fileNumberField()->text(), QStringLiteral("1"));
    QCOMPARE(f.dialog.timeField()->text(), QStringLiteral("2"));
    QVERIFY(f.dialog.tempoField()->isReadOnly());
    QVERIFY(f.dialog.timeField()->isReadOnly());
    QCOMPARE(f.tempo, -1);
  }

  void okAtOnceGivesTheDefaults() {
    Fixture f;
    QTest::keyClick(&f.dialog, Qt::Key_Return);
    QCOMPARE(f.dialog.result(), int(QDialog::Accepted));
    QCOMPARE(f.tempo, std::int16_t{1200});
    QCOMPARE(f.mode, MeasureMode{1});
    QCOMPARE(f.number, std::uint8_t{1});
    QVERIFY(f.reporter.ids.empty());
  }

  void sliderEnds_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("tempo");
    QTest::newRow("Home") << int(Qt::Key_Home) << "40" << 400;
    QTest::newRow("End") << int(Qt::Key_End) << "240" << 2400;
  }
  void sliderEnds() {
    QFETCH(int, key);
    QFETCH(QString, shown);
    QFETCH(int, tempo);
    Fixture f;
    QTest::keyClick(f.dialog.tempoSlider(), static_cast<Qt::Key>(key));
    QCOMPARE(f.dialog.tempoField()->text(), shown);
    f.dialog.accept();
    QCOMPARE(int{f.tempo}, tempo);
  }

  void timeTexts_data() {
    QTest::addColumn<int>("bpm");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("text");
    QTest::newRow("120 two") << 120 << 2 << "4";
    QTest::newRow("140 one") << 140 << 1 << "1.714";
    QTest::newRow("90 one") << 90 << 1 << "2.666";
    QTest::newRow("81 two") << 81 << 2 << "5.925";
    QTest::newRow("240 one") << 240 << 1 << "1";
    QTest::newRow("40 two") << 40 << 2 << "12";
    QTest::newRow("OFF 40") << 40 << 0 << "6";
    QTest::newRow("OFF 200") << 200 << 0 << "6";
  }
  void timeTexts() {
    QFETCH(int, bpm);
    QFETCH(int, mode);
    QFETCH(QString, text);
    Fixture f;
    QTest::mouseClick(f.dialog.measureButton(static_cast<MeasureMode>(mode)), Qt::LeftButton);
    f.dialog.tempoSlider()->setSliderPosition(bpm);
    QCOMPARE(f.dialog.timeField()->text(), text);
    QCOMPARE(f.dialog.tempoField()->text(), QString::number(bpm));
  }

  void measureButtonsAreOneExclusiveGroup() {
    Fixture f;
    QTest::mouseClick(f.dialog.measureButton(0), Qt::LeftButton);
    QVERIFY(!f.dialog.measureButton(1)->isChecked());
    QVERIFY(!f.dialog.measureButton(2)->isChecked());
    QCOMPARE(f.dialog.timeField()->text(), QStringLiteral("6"));
    QCOMPARE(f.dialog.GetMeasureMode(), MeasureMode{0});
    QTest::mouseClick(f.dialog.measureButton(2), Qt::LeftButton);
    QVERIFY(!f.dialog.measureButton(0)->isChecked());
    QCOMPARE(f.dialog.timeField()->text(), QStringLiteral("4"));
    f.dialog.accept();
    QCOMPARE(f.mode, MeasureMode{2});
  }

  void fileNumberOnOk_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("50") << "50" << true;
    QTest::newRow("07") << "07" << true;
    QTest::newRow("51") << "51" << false;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("99999999999") << "99999999999" << false;
  }
  void fileNumberOnOk() {
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    Fixture f;
    f.dialog.fileNumberField()->clear();
    QTest::keyClicks(f.dialog.fileNumberField(), typed);
    QCOMPARE(f.dialog.fileNumberField()->text(), typed);
    QTest::keyClick(f.dialog.fileNumberField(), Qt::Key_Return);
    if (accepted) {
      QCOMPARE(f.dialog.result(), int(QDialog::Accepted));
      QCOMPARE(int{f.number}, typed.toInt());
      QVERIFY(f.reporter.ids.empty());
      return;
    }
    QVERIFY(f.dialog.isVisible());
    QCOMPARE(f.reporter.ids, std::vector<int>{136});
    QCOMPARE(f.dialog.fileNumberField()->text(), QStringLiteral("1"));
    QCOMPARE(f.number, std::uint8_t{99});
    QTest::keyClick(f.dialog.fileNumberField(), Qt::Key_Return);
    QCOMPARE(f.dialog.result(), int(QDialog::Accepted));
    QCOMPARE(f.number, std::uint8_t{1});
    QCOMPARE(f.reporter.ids.size(), std::size_t{1});
  }

  void lettersCannotBeTyped() {
    Fixture f;
    f.dialog.fileNumberField()->clear();
    QTest::keyClicks(f.dialog.fileNumberField(), QStringLiteral("1a-2"));
    QCOMPARE(f.dialog.fileNumberField()->text(), QStringLiteral("12"));
  }

  void invalidNumberIsCaughtAtTheNextSliderMove() {
    Fixture f;
    f.dialog.fileNumberField()->setText(QStringLiteral("99"));
    QTest::keyClick(f.dialog.tempoSlider(), Qt::Key_Right);
    QCOMPARE(f.reporter.ids, std::vector<int>{136});
    QCOMPARE(f.dialog.fileNumberField()->text(), QStringLiteral("1"));
    QTest::keyClick(f.dialog.tempoSlider(), Qt::Key_Right);
    QCOMPARE(f.dialog.tempoField()->text(), QStringLiteral("122"));
    QCOMPARE(f.reporter.ids.size(), std::size_t{1});
  }

  // Every slider action runs the handler once: also one that leaves the
  // slider where it was, and the end of a drag. A page click's repeat stops
  // when the box comes, since the box takes the mouse release.
  void sliderActionsWith99Typed_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("tempo");
    QTest::newRow("page click right") << "page"
                                      << "130";
    QTest::newRow("Left at 40") << "left at 40"
                                << "40";
    QTest::newRow("Home at 40") << "home at 40"
                                << "40";
    QTest::newRow("end of a drag") << "drag end"
                                   << "120";
  }
  void sliderActionsWith99Typed() {
    QFETCH(QString, action);
    QFETCH(QString, tempo);
    Fixture f;
    QSlider* slider = f.dialog.tempoSlider();
    if (action.endsWith(QStringLiteral("at 40"))) QTest::keyClick(slider, Qt::Key_Home);
    f.dialog.fileNumberField()->setText(QStringLiteral("99"));
    if (action == QStringLiteral("page")) {
      QTest::mousePress(slider, Qt::LeftButton, {},
                        QPoint(slider->width() - 2, slider->height() / 2));
      QTest::qWait(800);  // past the repeat's first delay
    } else if (action == QStringLiteral("drag end")) {
      slider->setSliderDown(true);
      slider->setSliderDown(false);
    } else {
      QTest::keyClick(slider,
                      action.startsWith(QStringLiteral("left")) ? Qt::Key_Left : Qt::Key_Home);
    }
    QCOMPARE(f.reporter.ids, std::vector<int>{136});
    QCOMPARE(f.dialog.fileNumberField()->text(), QStringLiteral("1"));
    QCOMPARE(f.dialog.tempoField()->text(), tempo);
    QCOMPARE(slider->value(), tempo.toInt());
  }

  void invalidNumberIsCaughtAtAMeasureClick() {
    Fixture f;
    f.dialog.fileNumberField()->setText(QStringLiteral("0"));
    QTest::mouseClick(f.dialog.measureButton(2), Qt::LeftButton);
    QCOMPARE(f.reporter.ids, std::vector<int>{136});
    QCOMPARE(f.dialog.fileNumberField()->text(), QStringLiteral("1"));
  }

  void stepperStopsAtItsEnds() {
    Fixture f;
    auto* stepper = f.dialog.fileNumberStepper();
    QTest::keyClick(f.dialog.fileNumberField(), Qt::Key_Down);
    QCOMPARE(f.dialog.fileNumberField()->text(), QStringLiteral("1"));
    f.dialog.fileNumberField()->setText(QStringLiteral("49"));
    stepper->upButton()->click();
    stepper->upButton()->click();
    QCOMPARE(f.dialog.fileNumberField()->text(), QStringLiteral("50"));
    QTest::keyClick(f.dialog.fileNumberField(), Qt::Key_Up);
    QCOMPARE(f.dialog.fileNumberField()->text(), QStringLiteral("50"));
    stepper->downButton()->click();
    QCOMPARE(f.dialog.fileNumberField()->text(), QStringLiteral("49"));
    QVERIFY(f.reporter.ids.empty());
  }

  void cancelAndEscapeWriteNothing_data() {
    QTest::addColumn<bool>("escape");
    QTest::newRow("CANCEL") << false;
    QTest::newRow("Escape") << true;
  }
  void cancelAndEscapeWriteNothing() {
    QFETCH(bool, escape);
    Fixture f;
    f.dialog.tempoSlider()->setSliderPosition(200);
    if (escape) {
      QTest::keyClick(&f.dialog, Qt::Key_Escape);
    } else {
      f.dialog.findChildren<QPushButton*>().at(1)->click();
    }
    QCOMPARE(f.dialog.result(), int(QDialog::Rejected));
    QCOMPARE(f.tempo, std::int16_t{-1});
    QCOMPARE(f.number, std::uint8_t{99});
  }

  void helpKeyDoesNothing() {
    Fixture f;
    QTest::keyClick(&f.dialog, Qt::Key_F1);
    QVERIFY(f.dialog.isVisible());
    QVERIFY(f.reporter.ids.empty());
  }
};

QTEST_MAIN(LoopParamDlgTest)
#include "loop_param_dlg_test.moc"
