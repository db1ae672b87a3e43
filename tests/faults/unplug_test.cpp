// The adapter pulled out and plugged back in while the port stays open: the
// link reopens it by itself and the window carries on as it stood.

#include <QElapsedTimer>
#include <QHelpEvent>
#include <QToolTip>
#include <set>

#include "tests/faults/fault_setup.h"

using namespace rs485;
using namespace rs485::test;

namespace {

const ReadingsResponse kThree = panelReadings(3);
const ReadingsResponse kSeventeen = readingsOf(17, -57, 61, 8, 7, 9, 300, 30);
const ReadingsResponse kFortyTwo = readingsOf(42, 1000, 5, 1, 1, 2, 1100, 10);

sim::SimOptions threeDevicesBehindALink(const QTemporaryDir& dir) {
  sim::SimOptions options = instantBus({{3, kThree}, {17, kSeventeen}, {42, kFortyTwo}});
  options.linkPath = dir.filePath(QStringLiteral("ttyUSB-link")).toStdString();
  return options;
}

// One poll round: every device asked and answered once.
bool pollRound(FaultRig& rig) {
  for (std::size_t i = 0; i < rig.deviceCount(); ++i) {
    const std::size_t answers = rig.sim->answersSent();
    const int taken = rig.answersTaken();
    if (rig.tickUntilSent() < 0 || !rig.sim->waitForAnswers(answers + 1, 5s)) return false;
    // Read off the line and handled before the next tick purges: an empty
    // input queue alone may only mean the bytes are still on their way.
    if (!waitUntil([&] { return rig.answersTaken() > taken; })) return false;
  }
  return rig.tick() && rig.requestLeft();  // the last answer handled, the next request out
}

// Ticks until the selected device's readings are on the cells.
bool displays(FaultRig& rig, const ReadingsResponse& r) {
  for (int i = 0; i < 12; ++i) {
    if (rig.tickUntilSent() < 0) return false;
    // The cells may show an earlier answer: the request of this tick is let
    // leave first.
    if (waitUntil([&] { return rig.cells() == cellsShowing(r); }, 500ms)) return rig.requestLeft();
  }
  return false;
}

// Polls until every device's file holds `rows` rows.
bool recordedEach(FaultRig& rig, std::size_t rows) {
  for (int round = 0; round < 5; ++round) {
    if (!pollRound(rig)) return false;
    if (std::ranges::all_of(rig.foundAddresses(), [&](int a) { return rig.rowTimes(a).size() >= rows; }))
      return true;
  }
  for (const int a : rig.foundAddresses())
    qInfo("device %d: %zu requests, %zu answers, %zu rows", a, rig.sim->stats(a)->requests,
          rig.sim->stats(a)->answers, rig.rowTimes(a).size());
  return false;
}

bool oneRowPerMinute(const std::vector<QDateTime>& rows) {
  std::set<QString> minutes;
  for (const QDateTime& at : rows) minutes.insert(at.toString(QStringLiteral("yyyyMMddhhmm")));
  return minutes.size() == rows.size();
}

}  // namespace

class UnplugTest : public QObject {
  Q_OBJECT

 private slots:
  void aPollWithRecordingCarriesOnThroughAFiveSecondUnplug() {
    QTemporaryDir dir;
    FaultRig rig(threeDevicesBehindALink(dir));
    QVERIFY(rig.openPort());
    QVERIFY(rig.scanFor({3, 17, 42}));
    QVERIFY(rig.select(17));
    QVERIFY(rig.startRecording());
    QVERIFY(rig.startPoll());
    QVERIFY(recordedEach(rig, 1));
    QVERIFY(displays(rig, kSeventeen));
    const QStringList captions = [&] {
      QStringList texts;
      for (int row = 0; row < rig.form().ListAdress->rowCount(); ++row)
        texts << rig.form().ListAdress->item(row, 0)->text();
      return texts;
    }();

    const QString statusBefore = rig.window->statusText();
    QCOMPARE(statusBefore, msg::pollStarted());
    QVERIFY(rig.sim->unplugFor(5s));
    rig.now = rig.now.addSecs(40);  // the next minute
    QVERIFY(rig.tick());
    QVERIFY(waitUntil([&] { return rig.window->statusText() == msg::sendFailed(); }));
    QVERIFY(rig.tickThroughOutage());
    const std::size_t requestsAtBack = rig.sim->requestsSeen();
    QVERIFY(rig.tick());  // the first tick after the line is back sends its request
    QVERIFY(rig.sim->waitForRequests(requestsAtBack + 1, 2s));

    ReadingsResponse next = kSeventeen;
    next.temperature = -42;
    QVERIFY(rig.sim->setReadings(17, next));
    QVERIFY(displays(rig, next));
    QCOMPARE(rig.window->statusText(), statusBefore);  // the line works again
    QVERIFY(recordedEach(rig, 2));
    for (int i = 0; i < 3; ++i) QVERIFY(rig.tickUntilSent() >= 0);  // more ticks in the same minute
    QVERIFY(rig.tick());

    QCOMPARE(rig.foundAddresses(), (std::vector<int>{3, 17, 42}));
    QCOMPARE(rig.form().ListAdress->rowCount(), captions.size());
    for (int row = 0; row < captions.size(); ++row)
      QCOMPARE(rig.form().ListAdress->item(row, 0)->text(), captions[row]);
    QCOMPARE(rig.window->deviceState().SelectedAddress, 17);
    QVERIFY(rig.form().wFile->isChecked());
    QCOMPARE(rig.form().readingAll->text(), msg::stopCaption());
    for (const int address : {3, 17, 42}) {
      const auto rows = rig.rowTimes(address);
      QStringList seen;
      for (const QDateTime& at : rows) seen << at.toString(Qt::ISODate);
      QVERIFY2(rows.size() == 2, qPrintable(QStringLiteral("%1: %2").arg(address).arg(seen.join(' '))));
      QVERIFY(oneRowPerMinute(rows));
    }
    QVERIFY(rig.errors.isEmpty());
    QVERIFY(rig.stopPoll());
    QVERIFY(rig.closePort());
  }

  void aScanGoesOnFromWhereItStood() {
    QTemporaryDir dir;
    FaultRig rig(threeDevicesBehindALink(dir));
    QVERIFY(rig.openPort());
    WindowRig::click(rig.form().Find);
    auto probesOf = [&](int address) {
      int n = 0;
      for (const auto& r : rig.sim->log().snapshot(sim::FrameKind::Request))
        n += r.address == address ? 1 : 0;
      return n;
    };
    auto probe = [&](int address) {
      const std::size_t requests = rig.sim->requestsSeen();
      const std::size_t found = rig.foundAddresses().size();
      const bool present = address == 3 || address == 17 || address == 42;
      return rig.tickUntilSent() >= 0 && rig.sim->waitForRequests(requests + 1, 5s) &&
             (!present || waitUntil([&] { return rig.foundAddresses().size() == found + 1; }));
    };
    for (int address = 1; address <= 5; ++address) QVERIFY(probe(address));
    QCOMPARE(rig.foundAddresses(), std::vector<int>{3});
    QVERIFY(rig.sim->unplugFor(1s));
    QVERIFY(rig.tickThroughOutage());
    // The ticks of the outage went on through the addresses as through
    // silent ones; the scan carries on from the one it has reached.
    const int next = rig.window->bus().scan.ScanAddress();
    QVERIFY2(next > 6 && next < 17, qPrintable(QString::number(next)));
    for (int address = next; address <= 42; ++address)
      QVERIFY2(probe(address), qPrintable(QString::number(address)));
    QCOMPARE(rig.foundAddresses(), (std::vector<int>{3, 17, 42}));
    for (int address = 1; address <= 5; ++address) QCOMPARE(probesOf(address), 1);  // never started again
    QVERIFY(rig.errors.isEmpty());
    WindowRig::click(rig.form().Find);
    QVERIFY(rig.closePort());
  }

  void aCloseDuringTheOutageReturnsAtOnceAndLeavesNothingBehind() {
    QTemporaryDir dir;
    FaultRig rig(threeDevicesBehindALink(dir));
    const int threads = threadCount();
    const int descriptors = descriptorCount();
    QVERIFY(rig.openPort());
    QVERIFY(rig.scanFor({3, 17, 42}));
    QVERIFY(rig.select(3));
    QVERIFY(rig.startPoll());
    QVERIFY(pollRound(rig));
    QVERIFY(rig.sim->lineGone());
    QVERIFY(rig.tick());
    QVERIFY(waitUntil([&] { return rig.window->statusText() == msg::sendFailed(); }));
    QVERIFY(rig.stopPoll());
    QElapsedTimer closing;
    closing.start();
    QVERIFY(rig.closePort());
    qInfo("closed during the outage in %lld ms", closing.elapsed());
    // A joined thread may still be listed for a moment while the kernel ends it.
    waitUntil([&] { return threadCount() == threads; });
    QCOMPARE(threadCount(), threads);
    QVERIFY(rig.sim->comeBack());
    QCOMPARE(descriptorCount(), descriptors);
    QVERIFY(rig.openPort());
    QVERIFY(rig.closePort());
    waitUntil([&] { return threadCount() == threads; });
    QCOMPARE(threadCount(), threads);
    QCOMPARE(descriptorCount(), descriptors);
  }

  // The tooltip of a row counts what the engine saw of that device.
  void theRowTooltipsTellANoisyDeviceFromASilentOne() {
    sim::SimOptions options = instantBus({{3, kThree}, {17, kSeventeen}});
    options.devices[0].faults.badCrc = 0.1;
    FaultRig rig(options);
    QVERIFY(rig.openPort());
    QVERIFY(rig.scanFor({3, 17}));
    QVERIFY(rig.select(3));
    QVERIFY(rig.startPoll());
    auto toolTip = [&](int row) {
      QWidget* viewport = rig.form().ListAdress->viewport();
      const QPoint at = rig.form().ListAdress->visualItemRect(rig.form().ListAdress->item(row, 0)).center();
      QHelpEvent event(QEvent::ToolTip, at, viewport->mapToGlobal(at));
      QCoreApplication::sendEvent(viewport, &event);
      return QToolTip::text();
    };
    // The figure after the colon of each line of a tooltip.
    auto figuresOf = [&](int row) {
      std::vector<int> figures;
      for (const QString& line : toolTip(row).split(QLatin1Char('\n')).mid(0, 5))
        figures.push_back(line.section(QStringLiteral(": "), 1).toInt());
      return figures;
    };
    auto ticks = [&](int n) {
      for (int i = 0; i < n; ++i) {
        const std::size_t answers = rig.sim->answersSent();
        if (rig.tickUntilSent() < 0) {
          qWarning("tick %d: the window sent nothing", i);
          return false;
        }
        rig.sim->waitForAnswers(answers + 1, 1s);  // none from a silent device
        // Every answer sent, the scan's included, accepted, dropped or (when
        // it came after the wait above, so after the next request went out)
        // counted as not awaited, before the next tick.
        const auto handled = [&] {
          std::size_t n = 0;
          for (const int row : {0, 1}) {
            const std::vector<int> f = figuresOf(row);
            n += static_cast<std::size_t>(f[1] + f[2] + f[4]);
          }
          return n;
        };
        if (!waitUntil([&] { return handled() == rig.sim->answersSent(); }, 2s)) {
          qWarning("tick %d: %zu answers handled of %zu sent\n%s\n%s", i, handled(), rig.sim->answersSent(),
                   qPrintable(toolTip(0)), qPrintable(toolTip(1)));
          rig.dump();
          return false;
        }
      }
      return true;
    };
    QVERIFY(ticks(30));
    QVERIFY(rig.sim->setFaults(17, sim::Faults{.silent = 1}));
    QVERIFY(ticks(8));
    QVERIFY(ticks(1));  // one tick more, its answer (if any) settled before the counts are compared
    auto answersOf = [&](int address, bool bad) {
      int n = 0;
      for (const auto& r : rig.sim->log().snapshot(sim::FrameKind::Answer))
        n += r.address == address && (r.verdict.find("bad-crc") != std::string::npos) == bad ? 1 : 0;
      return n;
    };
    const int badOfThree = answersOf(3, true);
    QVERIFY(badOfThree > 0);  // the seed gives some
    const QString noisy = toolTip(0);
    QVERIFY2(noisy.startsWith(QStringLiteral("Запросов отправлено: ")) &&
                 noisy.contains(QStringLiteral("\nОтветов отброшено (ошибка CRC, неверная длина): ")),
             qPrintable(noisy));
    const std::vector<int> three = figuresOf(0);
    // A good answer is taken, or counted as not awaited when a slow run let it
    // come after the next request.
    QCOMPARE(three[1] + three[4], answersOf(3, false));
    QCOMPARE(three[2], badOfThree);
    // Sent: what the simulator heard (the scan's probe among them), give or take the request on its way now.
    QVERIFY2(std::abs(three[0] - static_cast<int>(rig.sim->stats(3)->requests)) <= 1, qPrintable(noisy));
    QVERIFY2(three[3] <= 1, qPrintable(noisy));
    const QString silent = toolTip(1);
    QVERIFY2(silent.contains(QStringLiteral("Ответов принято: ")), qPrintable(silent));
    QVERIFY2(figuresOf(1)[1] + figuresOf(1)[4] == answersOf(17, false), qPrintable(silent));
    QVERIFY2(figuresOf(1)[3] >= 2, qPrintable(silent));  // asked in vain until passed over
    QVERIFY2(silent.endsWith(QStringLiteral("Последний ответ: 07.12.2026 10:00:30")), qPrintable(silent));
    QCOMPARE(rig.form().ListAdress->item(1, 0)->text(), deviceCaption(17));  // captions as they were
    QVERIFY(rig.stopPoll());
    QVERIFY(rig.closePort());
  }

  void manyUnplugsLeaveThreadsAndDescriptorsWhereTheyWere() {
    QTemporaryDir dir;
    FaultRig rig(threeDevicesBehindALink(dir));
    QVERIFY(rig.openPort());
    QVERIFY(rig.scanFor({3, 17, 42}));
    QVERIFY(rig.select(42));
    QVERIFY(rig.startPoll());
    QVERIFY(pollRound(rig));
    const int threads = threadCount();
    const int descriptors = descriptorCount();
    for (int cycle = 0; cycle < 20; ++cycle) {
      QVERIFY(rig.sim->unplugFor(30ms));
      QVERIFY2(rig.tickThroughOutage(20ms), qPrintable(QString::number(cycle)));
      ReadingsResponse next = kFortyTwo;
      next.temperature = static_cast<std::int16_t>(cycle);
      QVERIFY(rig.sim->setReadings(42, next));
      QVERIFY2(displays(rig, next), qPrintable(QString::number(cycle)));
    }
    QCOMPARE(threadCount(), threads);
    QCOMPARE(descriptorCount(), descriptors);
    QCOMPARE(rig.foundAddresses(), (std::vector<int>{3, 17, 42}));
    QVERIFY(rig.errors.isEmpty());
    QVERIFY(rig.stopPoll());
    QVERIFY(rig.closePort());
  }
};

QTEST_MAIN(UnplugTest)
#include "unplug_test.moc"
