// The poll, the large digits and the recording files, seen from the window
// while a simulated bus answers.

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "tests/e2e/display_text.h"
#include "tests/e2e/sample_bus.h"
#include "tests/support/cp1251_oracle.h"
#include "tests/support/window_rig.h"
#include "tests/support/window_states.h"

using namespace rs485;
using namespace rs485::test;

namespace {

const QString kAllZero = QStringLiteral("0000 0000 00 00 000 0000 0000");

// Readings of a device that is polled but not displayed: every field
// differs from the displayed one's.
ReadingsResponse otherReadings(std::uint8_t statusByte = 0) {
  return readingsOf(0, {.temperature = -5,
                        .timeMinutes = 0,
                        .step = 99,
                        .cycles = 1,
                        .numStep = 0,
                        .setTemperature = 0,
                        .setTimeMinutes = 59,
                        .statusByte = statusByte});
}

// Devices 3, 17, 42; 17 answers 23,5 °C at step 7 with its colon blinking.
sim::SimOptions blinkingSeventeen() {
  sim::SimOptions options = bus({3, 17, 42});
  options.devices[1].fixedReadings = readings(235, 7, kBlinkStatus);
  return options;
}

// Devices 3, 17, 42 whose recorded steps and temperatures all differ.
sim::SimOptions recordedTrio() {
  sim::SimOptions options = bus({3, 17, 42});
  options.devices[0].fixedReadings = readings(-12, 5);
  options.devices[1].fixedReadings = readings(235, 7);
  options.devices[2].fixedReadings = readings(1234, 120);
  return options;
}

// Devices 3, 17, 42 found by a scan, 17 chosen in the list and polled.
bool startPollingSeventeen(WindowRig& rig) {
  if (!rig.findDevicesThrough(45)) return false;
  rig.clickRow(1);
  rig.click("readingAll");
  return rig.window->form().readingAll->text() == msg::stopCaption() || rig.fail("the poll did not start");
}

// A recording row as the file holds it.
QString row(const QString& time, const QString& step, const QString& temperature) {
  return QStringLiteral("07.12.2026г.") + QString(4, QLatin1Char(' ')) + time + QString(7, QLatin1Char(' ')) +
         step + QString(13, QLatin1Char(' ')) + temperature + QStringLiteral("\r\n");
}

QString header(int address) {
  return QString(15, QLatin1Char(' ')) + QStringLiteral("Номер устройства: %1\r\n").arg(address) +
         QStringLiteral("     Дата      Время      Шаг          Температура\r\n");
}

QByteArray contents(const WindowRig& rig, int address) {
  QFile file(rig.files.filePath(QStringLiteral("ЗОР_номер - %1.txt").arg(address)));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
}

}  // namespace

class MonitorE2eTest : public QObject {
  Q_OBJECT

 private slots:
  void thePollServesEveryDeviceFromTheSelectedOne() {
    WindowRig rig(bus({3, 17, 42}));
    QVERIFY(rig.ready);
    QVERIFY2(rig.findDevicesThrough(45), rig.fault());
    rig.clickRow(1);
    const std::size_t start = rig.sim->requestsSeen();
    rig.click("readingAll");

    QVERIFY(rig.exchange().transmitParked());  // the click itself sends nothing
    QCOMPARE(rig.window->statusText(), msg::pollStarted());
    RS485_VERIFY_STATE(*rig.window, pollingState(true, msg::findCaption()));
    QVERIFY(rig.window->readTimer.isActive());
    QCOMPARE(rig.window->readTimer.interval(), 1000);
    QCOMPARE(display(rig), kAllZero);

    for (int i = 0; i < 7; ++i) QVERIFY2(rig.pollTick(), rig.fault());
    QCOMPARE(rig.requestedAddresses(start), (QList<int>{17, 42, 3, 17, 42, 3, 17}));
    for (std::size_t i = start; i < rig.requests().size(); ++i) {
      QCOMPARE(rig.requests()[i].verdict, std::string("answered"));
    }
    // The list stays usable: choosing 42 moves the display, not the order.
    rig.clickRow(2);
    QCOMPARE(rig.address(), QStringLiteral("042"));
    QVERIFY2(rig.pollTick(), rig.fault());
    QCOMPARE(rig.lastRequest.address, 42);
    QCOMPARE(rig.cellsText(kTemperature), QStringLiteral("0142"));
  }

  void stoppingThePollResetsTheDisplay() {
    WindowRig rig(blinkingSeventeen());
    QVERIFY2(startPollingSeventeen(rig), rig.fault());
    rig.click("wFile");
    QCOMPARE(rig.control<QCheckBox>("wFile")->text(), msg::stopRecordingCaption());
    QVERIFY2(rig.pollTick(), rig.fault());
    QVERIFY(display(rig) != kAllZero);
    QVERIFY(rig.window->dotTimer.isActive());
    rig.window->dotTimerTimer();  // the blink has the colon hidden
    QVERIFY(!rig.window->dotVisible());

    rig.click("readingAll");
    QCOMPARE(rig.window->statusText(), msg::pollStopped());
    RS485_VERIFY_STATE(*rig.window, portOpenState(true));
    QVERIFY(!rig.control<QCheckBox>("wFile")->isChecked());
    QCOMPARE(display(rig), kAllZero);
    QVERIFY(!rig.window->readTimer.isActive());
    QVERIFY(!rig.window->dotTimer.isActive());
    QVERIFY(rig.window->dotVisible());
    for (const char* name : {"n1_addr", "n2_addr", "n3_addr"}) {
      QVERIFY2(!rig.control<QLineEdit>(name)->isReadOnly(), name);
    }

    // Started again on 42: where it starts follows the new choice.
    rig.clickRow(2);
    rig.click("readingAll");
    QCOMPARE(display(rig), kAllZero);
    QCOMPARE(rig.window->readTimer.interval(), 1000);
    QVERIFY(rig.exchange().transmitParked());
    QVERIFY2(rig.pollTick(), rig.fault());
    QCOMPARE(rig.lastRequest.address, 42);
  }

  // A device switched off part-way is asked at three ticks in a row, then
  // passed over until its turn comes round; the others go on being
  // displayed and recorded, and it is recorded again once it answers.
  void aDeviceSwitchedOffPartWayDoesNotStopTheOthers() {
    WindowRig rig(bus({3, 17, 42}));
    QVERIFY2(startPollingSeventeen(rig), rig.fault());
    rig.click("wFile");
    const std::size_t start = rig.sim->requestsSeen();
    const std::size_t answered = rig.sim->answersSent();
    const auto ticks = [&rig](const QTime& time, int count) {
      rig.now.setTime(time);
      for (int i = 0; i < count; ++i) {
        if (!rig.pollTick()) return false;
      }
      return true;
    };
    QVERIFY2(ticks(QTime(10, 5, 40), 3), rig.fault());
    sim::Faults off;
    off.silent = 1;
    rig.sim->setFaults(42, off);
    QVERIFY2(ticks(QTime(10, 6, 0), 6), rig.fault());
    QVERIFY2(ticks(QTime(10, 7, 0), 5), rig.fault());
    QCOMPARE(rig.cellsText(kTemperature), QStringLiteral("0117"));
    rig.sim->setFaults(42, sim::Faults{});
    QVERIFY2(ticks(QTime(10, 8, 0), 3), rig.fault());
    rig.click("readingAll");

    QCOMPARE(rig.requestedAddresses(start),
             (QList<int>{17, 42, 3, 17, 42, 42, 42, 3, 17, 42, 42, 42, 3, 17, 42, 3, 17}));
    QCOMPARE(rig.sim->answersSent(), answered + 11);
    const auto rows = [](const char* step, const char* temperature,
                         std::initializer_list<const char*> times) {
      QString text;
      for (const char* time : times) {
        text += row(QString::fromLatin1(time), QString::fromLatin1(step), QString::fromLatin1(temperature));
      }
      return text;
    };
    QCOMPARE(contents(rig, 17),
             cp1251(header(17) + rows("01", "011,7", {"10:05", "10:06", "10:07", "10:08"})));
    QCOMPARE(contents(rig, 3), cp1251(header(3) + rows("01", "010,3", {"10:05", "10:06", "10:07", "10:08"})));
    QCOMPARE(contents(rig, 42), cp1251(header(42) + rows("01", "014,2", {"10:05", "10:08"})));
    QVERIFY(rig.errors.isEmpty());
  }

  // Editors naming no listed device: the poll starts at the first entry
  // and nothing is ever displayed.
  void anAddressNotInTheListIsPolledFromTheFirstEntry() {
    WindowRig rig(bus({3, 17, 42}));
    QVERIFY2(rig.findDevicesThrough(45), rig.fault());
    QTest::mouseClick(rig.control("n1_addr"), Qt::LeftButton);
    for (const char key : {'0', '0', '5'}) QTest::keyClick(QApplication::focusWidget(), key);
    const std::size_t start = rig.sim->requestsSeen();
    rig.click("readingAll");
    for (int i = 0; i < 4; ++i) QVERIFY2(rig.pollTick(), rig.fault());
    QCOMPARE(rig.requestedAddresses(start), (QList<int>{3, 17, 42, 3}));
    QCOMPARE(display(rig), kAllZero);
  }

  void aSingleDeviceIsAskedAtEveryTick() {
    WindowRig rig(bus({3}));
    QVERIFY2(rig.findDevicesThrough(5), rig.fault());
    rig.clickRow(0);
    const std::size_t start = rig.sim->requestsSeen();
    rig.click("readingAll");
    for (int i = 0; i < 3; ++i) QVERIFY2(rig.pollTick(), rig.fault());
    QCOMPARE(rig.requestedAddresses(start), (QList<int>{3, 3, 3}));
    QCOMPARE(rig.window->bus().poll.PollIndex, std::size_t{0});
    QCOMPARE(rig.cellsText(kTemperature), QStringLiteral("0103"));
  }

  // An answer still on its way when the poll stops is shown all the same,
  // blinking included, but recorded no more.
  void anAnswerAfterTheStopIsStillShown() {
    WindowRig rig(blinkingSeventeen());
    QVERIFY2(startPollingSeventeen(rig), rig.fault());
    rig.click("wFile");
    const std::size_t arrivals = rig.line->arrivals();
    const std::size_t answered = rig.sim->answersSent();
    rig.holdReceive();
    QVERIFY2(rig.pollTick(), rig.fault());
    QVERIFY(rig.sim->waitForAnswers(answered + 1, 5s));
    QVERIFY(waitUntil([&] { return rig.exchange().inputQueued() == kReadingsResponseLength; }));

    rig.click("readingAll");
    QCOMPARE(display(rig), kAllZero);
    QVERIFY(!rig.window->dotTimer.isActive());
    rig.releaseReceive();
    QVERIFY(waitUntil([&] { return rig.line->settledAfter(arrivals); }));
    QCOMPARE(display(rig), QStringLiteral("0235 0210 07 12 042 -123 1005"));
    QVERIFY(rig.window->dotTimer.isActive());
    QCOMPARE(contents(rig, 17), cp1251(header(17)));
  }

  void theSelectedDevicesReadingsBoxByBox() {
    sim::SimOptions options = blinkingSeventeen();
    options.devices[0].fixedReadings = otherReadings();
    options.devices[2].fixedReadings = otherReadings();
    WindowRig rig(options);
    QVERIFY2(startPollingSeventeen(rig), rig.fault());

    QVERIFY2(rig.pollTick(), rig.fault());
    QCOMPARE(rig.lastRequest.address, 17);
    // 23,5 °C; 02 ч. 10 м.; step 07 (12); 042 cycles; setpoints -12,3 °C and 10:05.
    const QString shown = QStringLiteral("0235 0210 07 12 042 -123 1005");
    QCOMPARE(display(rig), shown);
    QVERIFY(rig.window->dotTimer.isActive());

    // Answers of the devices not displayed change no box and leave the
    // blinking alone.
    for (const int address : {42, 3}) {
      QVERIFY2(rig.pollTick(), rig.fault());
      QCOMPARE(rig.lastRequest.address, address);
      QCOMPARE(display(rig), shown);
      QVERIFY(rig.window->dotTimer.isActive());
    }
    QCOMPARE(rig.window->bus().poll.PollIndex, std::size_t{1});
    for (const char* group : {"GroupBox4", "gb_temp", "gb_time", "gb_cycle"}) {
      QVERIFY2(!rig.control(group)->isEnabled(), group);
    }
  }

  // The colon blinks exactly while the displayed device reports 0x80.
  void theColonBlinksOnlyForStatus0x80() {
    struct Round {
      std::uint8_t shown;  // status byte of 17, the displayed device
      std::uint8_t other;  // status byte of 42 and 3
      bool blinking;
    };
    const Round rounds[] = {
        {0x80, 0x00, true}, {0xC0, 0x80, false}, {0x81, 0x80, false},
        {0x80, 0x81, true}, {0x00, 0x80, false}, {0x80, 0x00, true},
    };
    WindowRig rig(bus({3, 17, 42}));
    QVERIFY2(startPollingSeventeen(rig), rig.fault());
    for (const Round& round : rounds) {
      rig.sim->setReadings(17, readings(235, 7, round.shown));
      rig.sim->setReadings(42, otherReadings(round.other));
      rig.sim->setReadings(3, otherReadings(round.other));
      // The colon hidden by a blink must come back when the blinking stops.
      if (rig.window->dotTimer.isActive()) rig.window->dotTimerTimer();
      for (int device = 0; device < 3; ++device) {
        QVERIFY2(rig.pollTick(), rig.fault());
        QVERIFY2(rig.window->dotTimer.isActive() == round.blinking,
                 qPrintable(QString::number(round.shown, 16)));
        if (!round.blinking) QVERIFY(rig.window->dotVisible());
      }
    }
  }

  // The simulator's own program: heating, holding the setpoint with the
  // clock running, the end. The colon blinks while it holds.
  void theDisplayFollowsTheDevicesProgram() {
    sim::Program program;
    program.startTemperature = 200;
    program.rampTenthsPerMinute = 50;
    program.steps = {{300, 10}, {250, 5}};
    program.cycles = 1;
    WindowRig rig(bus({3, 17, 42}));
    QVERIFY(rig.sim->setProgram(17, program));
    QVERIFY(rig.sim->clearReadings(17));
    QVERIFY2(startPollingSeventeen(rig), rig.fault());

    QVERIFY2(rig.pollTick(), rig.fault());
    QCOMPARE(display(rig), QStringLiteral("0200 0000 01 02 001 0300 0010"));
    QVERIFY(!rig.window->dotTimer.isActive());

    rig.sim->advanceReadings(5min);  // two minutes of heating, three of holding
    const ReadingsResponse holding = *rig.sim->readings(17);
    QCOMPARE(holding.statusByte, kBlinkStatus);
    QCOMPARE(holding.timeMinutes, std::uint16_t{3});
    for (int device = 0; device < 3; ++device) QVERIFY2(rig.pollTick(), rig.fault());
    QCOMPARE(display(rig), QStringLiteral("0300 0003 01 02 001 0300 0010"));
    QVERIFY(rig.window->dotTimer.isActive());

    rig.sim->advanceReadings(30min);
    QCOMPARE(rig.sim->readings(17)->cycles, std::uint8_t{0});
    for (int device = 0; device < 3; ++device) QVERIFY2(rig.pollTick(), rig.fault());
    QCOMPARE(rig.cellsText(kCycles), QStringLiteral("End"));
    QVERIFY(!rig.window->dotTimer.isActive());
    QVERIFY(rig.window->dotVisible());
  }

  void cyclesZeroShowsEndAndNothingElse() {
    WindowRig rig(blinkingSeventeen());
    QVERIFY2(startPollingSeventeen(rig), rig.fault());
    for (int device = 0; device < 3; ++device) QVERIFY2(rig.pollTick(), rig.fault());
    QCOMPARE(display(rig), QStringLiteral("0235 0210 07 12 042 -123 1005"));

    ReadingsResponse ended = otherReadings(0x00);
    ended.cycles = 0;
    rig.sim->setReadings(17, ended);
    QVERIFY2(rig.pollTick(), rig.fault());
    QCOMPARE(rig.lastRequest.address, 17);
    QCOMPARE(display(rig), QStringLiteral("0235 0210 07 12 End -123 1005"));
    QVERIFY(!rig.window->dotTimer.isActive());
  }

  // The poll takes readTimer over from a running scan, which then stands
  // still until Find ends it.
  void aPollStartedDuringAScan() {
    WindowRig rig(bus({3, 17, 42}));
    QVERIFY2(rig.openPort(), rig.fault());
    rig.dialog->script({Answer::YesDontAsk});
    rig.click("Find");
    QVERIFY2(rig.scanThrough(44), rig.fault());
    QVERIFY2(rig.activate(), rig.fault());
    QTest::mouseClick(rig.control("n1_addr"), Qt::LeftButton);
    for (const char key : {'0', '1', '7'}) QTest::keyClick(QApplication::focusWidget(), key);
    QCOMPARE(rig.address(), QStringLiteral("017"));

    const std::size_t start = rig.sim->requestsSeen();
    rig.click("readingAll");
    QCOMPARE(rig.window->statusText(), msg::pollStarted());
    RS485_VERIFY_STATE(*rig.window, pollingState(false, msg::stopCaption()));
    for (int device = 0; device < 4; ++device) QVERIFY2(rig.pollTick(), rig.fault());
    QCOMPARE(rig.requestedAddresses(start), (QList<int>{17, 42, 3, 17}));
    QCOMPARE(rig.window->bus().scan.ScanAddress(), 45);

    rig.click("readingAll");
    const auto afterPoll = with(with(portOpenState(false), {"Find", true, msg::stopCaption()}),
                                {"OpenClose", false, msg::closeCaption()});
    RS485_VERIFY_STATE(*rig.window, afterPoll);
    QVERIFY(!rig.window->readTimer.isActive());

    rig.click("Find");
    QCOMPARE(rig.window->statusText(), msg::scanFinished(3));
    RS485_VERIFY_STATE(*rig.window, portOpenState(true));
    QCOMPARE(rig.sim->requestsSeen(), start + 4);
  }

  // The answer to the scan's last probe arrives after "[Стоп]" and after a
  // poll has started, before its first tick: it is a find, and the poll's
  // timer runs again afterwards at the poll's interval.
  void aLateProbeAnswerDoesNotFreezeThePoll_data() {
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("no");
    QTest::newRow("not asking") << false << false;
    QTest::newRow("Да") << true << false;
    QTest::newRow("Нет") << true << true;
  }
  void aLateProbeAnswerDoesNotFreezeThePoll() {
    QFETCH(bool, asked);
    QFETCH(bool, no);
    WindowRig rig(bus({3, 5}));
    QVERIFY2(rig.openPort(), rig.fault());
    rig.dialog->script({asked ? Answer::Yes : Answer::YesDontAsk});
    rig.click("Find");
    QVERIFY2(rig.scanThrough(4), rig.fault());
    const std::size_t arrivals = rig.line->arrivals();
    rig.holdReceive();
    QVERIFY2(rig.scanTick(), rig.fault());
    QVERIFY(rig.sim->waitForAnswers(2, 5s));
    QVERIFY(waitUntil([&] { return rig.exchange().inputQueued() == kStatusResponseLength; }));
    rig.click("Find");
    QVERIFY2(rig.activate(), rig.fault());
    rig.clickRow(0);
    rig.click("readingAll");
    QCOMPARE(rig.window->form().readingAll->text(), msg::stopCaption());

    if (asked) rig.dialog->script({no ? Answer::No : Answer::Yes});
    rig.releaseReceive();
    QVERIFY(waitUntil([&] { return rig.line->settledAfter(arrivals); }));
    QCOMPARE(rig.listed(), (QStringList{deviceCaption(3), deviceCaption(5)}));
    QCOMPARE(rig.dialog->askedAddresses(), asked ? (QList<int>{3, 5}) : (QList<int>{3}));
    QCOMPARE(rig.dialog->unexpected, 0);
    QVERIFY(rig.window->readTimer.isActive());
    QCOMPARE(rig.window->readTimer.interval(), 1000);
    QVERIFY2(rig.activate(), rig.fault());

    const std::size_t start = rig.sim->requestsSeen();
    for (int i = 0; i < 3; ++i) QVERIFY2(rig.pollTick(), rig.fault());
    QCOMPARE(rig.requestedAddresses(start), (QList<int>{3, 5, 3}));
    QCOMPARE(rig.cellsText(kTemperature), QStringLiteral("0103"));
  }

  // Scan, then poll with recording on: a header from the scan, one row per
  // device and minute, the displayed device's from its boxes, the others'
  // from their own answers.
  void recordingFilesFromAScanAndAPoll() {
    WindowRig rig(recordedTrio());
    QVERIFY2(rig.findDevicesThrough(45), rig.fault());
    for (const int address : {3, 17, 42}) QCOMPARE(contents(rig, address), cp1251(header(address)));

    rig.clickRow(1);
    rig.click("wFile");
    rig.click("readingAll");
    for (const int second : {40, 50}) {  // two rounds within 10:05
      rig.now.setTime(QTime(10, 5, second));
      for (int device = 0; device < 3; ++device) QVERIFY2(rig.pollTick(), rig.fault());
    }
    rig.now.setTime(QTime(10, 6, 1));
    for (int device = 0; device < 3; ++device) QVERIFY2(rig.pollTick(), rig.fault());
    rig.click("readingAll");

    const QByteArray seventeen = contents(rig, 17);
    QCOMPARE(seventeen,
             cp1251(header(17) + row(QStringLiteral("10:05"), QStringLiteral("07"), QStringLiteral("023,5")) +
                    row(QStringLiteral("10:06"), QStringLiteral("07"), QStringLiteral("023,5"))));
    QCOMPARE(
        contents(rig, 42),
        cp1251(header(42) + row(QStringLiteral("10:05"), QStringLiteral("120"), QStringLiteral("123,4")) +
               row(QStringLiteral("10:06"), QStringLiteral("120"), QStringLiteral("123,4"))));
    QCOMPARE(contents(rig, 3),
             cp1251(header(3) + row(QStringLiteral("10:05"), QStringLiteral("05"), QStringLiteral("-01,2")) +
                    row(QStringLiteral("10:06"), QStringLiteral("05"), QStringLiteral("-01,2"))));
    QVERIFY(seventeen.contains(QByteArray::fromHex("CDEEECE5F0")));  // "Номер"
  }

  void recordingAlongTheMinutes() {
    WindowRig rig(recordedTrio());
    const QString old = QStringLiteral("старая запись\r\n");
    {
      QFile file(rig.files.filePath(QStringLiteral("ЗОР_номер - 42.txt")));
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(cp1251(old));
    }
    QVERIFY2(rig.findDevicesThrough(45), rig.fault());
    QCOMPARE(contents(rig, 42), cp1251(old));  // no header on a file with content

    rig.clickRow(1);
    rig.click("wFile");
    rig.click("readingAll");
    const auto round = [&rig](const QTime& time) {
      rig.now.setTime(time);
      for (int device = 0; device < 3; ++device) {
        if (!rig.pollTick()) return false;
      }
      return true;
    };
    QVERIFY2(round(QTime(10, 5, 40)), rig.fault());

    // 10:06: the file of 3 is gone, and 17 has ended its program.
    QVERIFY(QFile::remove(rig.files.filePath(QStringLiteral("ЗОР_номер - 3.txt"))));
    ReadingsResponse ended = readings(235, 7);
    ended.cycles = 0;
    rig.sim->setReadings(17, ended);
    QVERIFY2(round(QTime(10, 6, 0)), rig.fault());

    // 10:07: temperatures beyond the boxes; unticked and ticked again within
    // the minute, nothing more.
    rig.sim->setReadings(17, readings(10000, 7));
    rig.sim->setReadings(42, readings(10000, 120));
    QVERIFY2(round(QTime(10, 7, 0)), rig.fault());
    rig.click("wFile");
    rig.click("wFile");
    QCOMPARE(rig.control<QCheckBox>("wFile")->text(), msg::stopRecordingCaption());
    QVERIFY2(round(QTime(10, 7, 30)), rig.fault());

    // 10:08 unticked: no rows.
    rig.click("wFile");
    QVERIFY2(round(QTime(10, 8, 0)), rig.fault());
    rig.click("readingAll");

    const auto r = [](const char* time, const char* step, const char* temperature) {
      return row(QString::fromLatin1(time), QString::fromLatin1(step), QString::fromLatin1(temperature));
    };
    QCOMPARE(contents(rig, 17), cp1251(header(17) + r("10:05", "07", "023,5") + r("10:07", "07", "023,5")));
    QCOMPARE(contents(rig, 42), cp1251(old + r("10:05", "120", "123,4") + r("10:06", "120", "123,4") +
                                       r("10:07", "120", "000,0")));
    QCOMPARE(contents(rig, 3), cp1251(r("10:06", "05", "-01,2") + r("10:07", "05", "-01,2")));
  }
};

QTEST_MAIN(MonitorE2eTest)
#include "monitor_e2e_test.moc"
