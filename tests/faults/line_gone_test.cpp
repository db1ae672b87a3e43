// The adapter unplugged in the middle of a poll, and plugged in again.

#include <time.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include "tests/faults/fault_setup.h"

using namespace rs485;
using namespace rs485::test;

namespace {

std::chrono::nanoseconds processCpuTime() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

double seconds(std::chrono::nanoseconds d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

class LineGoneTest : public QObject {
  Q_OBJECT

 private slots:
  void theLineGoesAwayInTheMiddleOfAPollAndComesBack() {
    const ReadingsResponse before = panelReadings(5);
    const ReadingsResponse after = readingsOf(5, -57, 61, 8, 7, 9, 300, 30);
    QTemporaryDir dir;
    sim::SimOptions options = instantBus({{5, before}});
    options.linkPath = dir.filePath(QStringLiteral("ttyRS485")).toStdString();
    FaultRig rig(options);
    const int threadsClosed = threadCount();
    const int descriptorsClosed = descriptorCount();

    QVERIFY(rig.openPort());
    QVERIFY(rig.scanFor({5}));
    QVERIFY(rig.select(5));
    QVERIFY(rig.startPoll());
    QVERIFY(rig.tickUntilSent() >= 0);
    QVERIFY(waitUntil([&] { return rig.cells() == cellsShowing(before); }));

    // The next answer stops after its first burst, and the line goes with
    // the rest of it.
    sim::Faults cut;
    cut.split = 1;
    cut.splitGapMin = 10min;
    cut.splitGapMax = 10min;
    QVERIFY(rig.sim->setFaults(5, cut));
    QVERIFY(rig.tickUntilSent() >= 0);
    QVERIFY(waitUntil([&] { return rig.window->exchange().inputQueued() > 0; }));
    QVERIFY(rig.sim->lineGone());

    QVERIFY(rig.tick());
    QVERIFY(waitUntil([&] { return rig.window->statusText() == msg::sendFailed(); }));

    // A second of ticks on the dead line, with the event loop running as in
    // the program, so that whatever the workers hand over runs at once:
    // nothing may spin.
    const auto cpuBefore = processCpuTime();
    const Exchange& exchange = rig.window->exchange();
    const auto receiveBefore = exchange.receiveThreadCpuTime();
    const auto transmitBefore = exchange.transmitThreadCpuTime();
    QElapsedTimer wall;
    wall.start();
    while (wall.elapsed() < 1000) {
      rig.window->readTimerTimer();
      QEventLoop loop;
      QTimer::singleShot(100, &loop, &QEventLoop::quit);
      loop.exec();
    }
    const double cpu = seconds(processCpuTime() - cpuBefore);
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000;
    qInfo(
        "line gone: %.3f s of process CPU over %.3f s of ticks; receive thread %.3f s, transmit thread %.3f "
        "s",
        cpu, elapsed, seconds(rig.window->exchange().receiveThreadCpuTime()),
        seconds(rig.window->exchange().transmitThreadCpuTime()));
    // Margins that hold under sanitizers on two busy cores: the workers
    // should use next to nothing, the whole process (the window's thread
    // with its ticks included) well under one core.
    QVERIFY2(seconds(exchange.receiveThreadCpuTime() - receiveBefore) < 0.25 * elapsed,
             "the receive thread spins on the dead line");
    QVERIFY2(seconds(exchange.transmitThreadCpuTime() - transmitBefore) < 0.25 * elapsed,
             "the transmit thread spins on the dead line");
    QVERIFY2(cpu < 0.6 * elapsed, "a thread spins on the dead line");
    QCOMPARE(rig.window->statusText(), msg::sendFailed());
    QCOMPARE(rig.cells(), cellsShowing(before));  // the half answer never reached them
    QVERIFY(rig.errors.isEmpty());

    // The operator stops the poll and closes the port.
    QVERIFY(rig.stopPoll());
    QVERIFY(rig.form().OpenClose->isEnabled());
    QElapsedTimer closing;
    closing.start();
    QVERIFY(rig.closePort());
    qInfo("line gone: the port closed in %lld ms", closing.elapsed());
    QVERIFY(closing.elapsed() < 5000);
    QCOMPARE(rig.window->statusText(), msg::openPortPrompt());
    QCOMPARE(threadCount(), threadsClosed);

    // Plugged in again at the same path.
    QVERIFY(rig.sim->comeBack());
    QVERIFY(rig.sim->setFaults(5, {}));
    QVERIFY(rig.openPort());
    QCOMPARE(rig.window->statusText(), msg::searchPrompt());
    QVERIFY(rig.scanFor({5}));
    QVERIFY(rig.select(5));
    QVERIFY(rig.startPoll());
    for (int i = 0; i < 3; ++i) {
      ReadingsResponse next = after;
      next.temperature = static_cast<std::int16_t>(after.temperature - i);
      QVERIFY(rig.sim->setReadings(5, next));
      QVERIFY(rig.tickUntilSent() >= 0);
      QVERIFY(waitUntil([&] { return rig.cells() == cellsShowing(next); }));
    }
    QCOMPARE(rig.window->statusText(), msg::pollStarted());
    QVERIFY(rig.errors.isEmpty());
    QVERIFY(rig.stopPoll());
    QVERIFY(rig.closePort());
    QCOMPARE(threadCount(), threadsClosed);
    QCOMPARE(descriptorCount(), descriptorsClosed);  // the simulator holds as many as before
  }
};

QTEST_MAIN(LineGoneTest)
#include "line_gone_test.moc"
