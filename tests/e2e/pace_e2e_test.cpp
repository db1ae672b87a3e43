// The one test that lets real time pass: readTimer itself paces the scan.

#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <vector>

#include "tests/e2e/sample_bus.h"
#include "tests/support/cp1251_oracle.h"
#include "tests/support/window_rig.h"
#include "tests/support/window_states.h"

using namespace rs485;
using namespace rs485::test;

class PaceE2eTest : public QObject {
  Q_OBJECT

 private slots:
  // Each gap between two probes is the timer's interval plus the difference
  // of the two probes' delays on their way to the bus, and a busy machine
  // delays a single probe by tens of milliseconds now and then. So the test
  // asks only that the pace is of the right order: no tick missed or
  // doubled, none early by half an interval. How close the pace keeps to the
  // interval is measured by bench/timer_pace.
  void theScanProbesAtTheIntervalOfTimeouts() {
    using Clock = std::chrono::steady_clock;
    constexpr std::size_t kProbes = 9;
    constexpr auto kInterval = 750ms;
    RigSetup realTime;
    realTime.realTime = true;
    WindowRig rig(bus({}), realTime);
    QVERIFY(rig.ready);
    QVERIFY2(rig.openPort(), rig.fault());
    auto* upDown = rig.control<UpDownSpinner>("UpDown");
    for (int step = 0; step < 5; ++step) QTest::mouseClick(upDown->upButton(), Qt::LeftButton);
    QCOMPARE(rig.control<QLineEdit>("Timeouts")->text(), QStringLiteral("750"));

    const auto started = Clock::now();
    rig.click("Find");
    QCOMPARE(rig.window->readTimer.interval(), 750);
    QVERIFY(waitUntil([&] { return rig.sim->requestsSeen() >= kProbes; }, 15s));
    rig.click("Find");
    QCOMPARE(rig.window->statusText(), msg::scanFinished(0));

    const auto probes = rig.requests();
    std::vector<Clock::duration> gaps;
    QStringList shown;
    for (std::size_t i = 0; i < kProbes; ++i) {
      QCOMPARE(probes[i].address, static_cast<int>(i) + 1);
      const auto gap = probes[i].at - (i == 0 ? started : probes[i - 1].at);
      if (i > 0) gaps.push_back(gap);
      shown << QString::number(
          static_cast<double>(std::chrono::duration_cast<std::chrono::microseconds>(gap).count()) / 1000.0);
    }
    const QByteArray seen =
        (QStringLiteral("gaps in ms from the start: ") + shown.join(QLatin1String(", "))).toUtf8();
    // The first probe about one interval after the start, not at once.
    QVERIFY2(probes[0].at - started > kInterval / 2, seen.constData());
    for (const auto gap : gaps) QVERIFY2(gap > kInterval / 2 && gap < kInterval * 3 / 2, seen.constData());
    std::sort(gaps.begin(), gaps.end());
    const Clock::duration median = (gaps[gaps.size() / 2 - 1] + gaps[gaps.size() / 2]) / 2;
    QVERIFY2(median > kInterval * 2 / 3 && median < kInterval * 4 / 3, seen.constData());
  }
};

QTEST_MAIN(PaceE2eTest)
#include "pace_e2e_test.moc"
