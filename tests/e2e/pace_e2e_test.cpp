// The one test that lets real time pass: readTimer itself paces the scan.

#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <vector>

#include "tests/e2e/bus_rig.h"

using namespace rs485;
using namespace rs485::e2e;

class PaceE2eTest : public QObject {
  Q_OBJECT

 private slots:
  // Each gap between two probes is the timer's interval plus the difference
  // of the two probes' delays on their way to the bus, and a busy machine
  // delays a single probe by tens of milliseconds now and then. So the
  // interval is taken as the median gap, within a few milliseconds of 750,
  // and no gap may be so far off that a tick was missed or doubled.
  void theScanProbesAtTheIntervalOfTimeouts() {
    using Clock = std::chrono::steady_clock;
    constexpr std::size_t kProbes = 9;
    constexpr auto kInterval = 750ms;
    constexpr auto kTolerance = 15ms;
    BusRig rig(bus({}), BusRig::Options{.realTimers = true});
    QVERIFY(rig.ready);
    QVERIFY2(rig.open(), rig.fault());
    auto* upDown = rig.control<UpDownSpinner>("UpDown");
    for (int step = 0; step < 5; ++step) QTest::mouseClick(upDown->upButton(), Qt::LeftButton);
    QCOMPARE(rig.control<QLineEdit>("Timeouts")->text(), QStringLiteral("750"));

    const auto started = Clock::now();
    rig.click("Find");
    QCOMPARE(rig.window->readTimer.interval(), 750);
    QVERIFY(waitFor([&] { return rig.sim.requestsSeen() >= kProbes; }, 15s));
    rig.click("Find");
    QCOMPARE(rig.window->statusText(), msg::scanFinished(0));

    const auto probes = rig.requests();
    std::vector<Clock::duration> gaps;
    QStringList shown;
    for (std::size_t i = 0; i < kProbes; ++i) {
      QCOMPARE(probes[i].address, static_cast<int>(i) + 1);
      const auto gap = probes[i].at - (i == 0 ? started : probes[i - 1].at);
      if (i > 0) gaps.push_back(gap);
      shown << QString::number(static_cast<double>(std::chrono::duration_cast<std::chrono::microseconds>(gap).count()) /
                               1000.0);
    }
    const QByteArray seen = (QStringLiteral("gaps in ms from the start: ") + shown.join(QLatin1String(", "))).toUtf8();
    // The first probe one interval after the start, not before.
    QVERIFY2(probes[0].at - started >= kInterval - kTolerance, seen.constData());
    for (const auto gap : gaps) QVERIFY2(gap > kInterval / 2 && gap < kInterval * 3 / 2, seen.constData());
    std::sort(gaps.begin(), gaps.end());
    const Clock::duration median = (gaps[gaps.size() / 2 - 1] + gaps[gaps.size() / 2]) / 2;
    QVERIFY2(median >= kInterval - kTolerance && median <= kInterval + kTolerance, seen.constData());
  }
};

QTEST_MAIN(PaceE2eTest)
#include "pace_e2e_test.moc"
