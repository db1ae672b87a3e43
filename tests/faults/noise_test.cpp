// Polling a noisy bus: answers with a bad CRC, split into bursts, with bytes
// after them, or naming another address.

#include <QTest>
#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

#include "link/traffic_trace.h"
#include "monitor/poll.h"
#include "tests/faults/fault_setup.h"

using namespace rs485;
using namespace rs485::test;

namespace {

constexpr int kDefaultExchanges = 400;

// The received blocks in the engine's trace: what it judged, bytes and all.
class JudgedBlocks {
 public:
  void add(const std::string& line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
  }
  std::size_t count() const {
    std::lock_guard lock(mutex_);
    return lines_.size();
  }
  // A block of exactly `bytes` was judged since line `from` (not thrown
  // away unread by a purge).
  bool judgedSince(std::size_t from, const std::vector<std::uint8_t>& bytes) const {
    std::string hex;
    for (const std::uint8_t b : bytes) {
      char two[4];
      std::snprintf(two, sizeof two, "%02X ", b);
      hex += two;
    }
    const std::string wanted = "  RX  " + hex.substr(0, hex.size() - 1) + "  ";
    std::lock_guard lock(mutex_);
    for (std::size_t i = from; i < lines_.size(); ++i) {
      if (lines_[i].find(wanted) != std::string::npos &&
          lines_[i].find("dropped by a purge") == std::string::npos)
        return true;
    }
    return false;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

int exchangeCount() {
  bool ok = false;
  const int n = qEnvironmentVariableIntValue("RS485_NOISE_EXCHANGES", &ok);
  return ok && n > 0 ? n : kDefaultExchanges;
}

// Eight devices, each with readings of its own that the cells show whole.
std::vector<BusDevice> eightDevices() {
  return {
      {3, panelReadings(3)},
      {9, readingsOf(9, -57, 0, 7, 1, 5, -100, 59)},
      {27, readingsOf(27, 1000, 59, 12, 255, 99, 9999, 60)},
      {64, readingsOf(64, 9, 60, 0, 100, 1, 0, 5999)},
      {101, readingsOf(101, 4321, 5999, 99, 5, 44, -999, 1)},
      {150, readingsOf(150, -999, 718, 45, 17, 30, 250, 1439)},
      {199, readingsOf(199, 77, 333, 1, 200, 2, 77, 333)},
      {247, readingsOf(247, 650, 1439, 20, 9, 88, 1234, 90)},
  };
}

// What the engine may do with an answer, judged from the bytes and bursts
// that went on the line: it reads only when an arrival leaves exactly 16
// bytes queued, and takes the frame only when their CRC matches. More than
// 16 bytes are read only if a burst ended at byte 16, and then only if the
// receive thread looked before the next burst came: either may happen.
enum class Fate { Taken, Dropped, Either };

Fate fateOf(const sim::FrameRecord& answer, int asked) {
  const auto& bytes = answer.bytes;
  const bool crcGood = bytes.size() >= kReadingsResponseLength &&
                       frameCrcMatches(std::span(bytes).first(kReadingsResponseLength));
  if (bytes.empty() || bytes[0] != asked) return Fate::Dropped;  // not the device asked
  if (bytes.size() == kReadingsResponseLength) return crcGood ? Fate::Taken : Fate::Dropped;
  std::size_t sum = 0;
  bool heldSixteen = false;
  for (const std::size_t burst : answer.bursts) {
    sum += burst;
    heldSixteen = heldSixteen || sum == kReadingsResponseLength;
  }
  return heldSixteen && crcGood ? Fate::Either : Fate::Dropped;
}

}  // namespace

class NoiseTest : public QObject {
  Q_OBJECT

 private slots:
  // An answer is taken only when its address byte names the device asked.
  // Here a "wrong address" answer carries the asked device's readings with a
  // neighbour's address and a CRC to match: it is refused like any other
  // fault, shown nowhere and recorded in no file, neither the asked
  // device's nor the neighbour's. Every fault must leave no trace: the
  // device is asked again at the next tick, unless that tick is the fourth
  // in a row without a handled answer from it, and the cells keep what they
  // showed.
  void noiseNeverReachesTheDisplayOrTheFiles() {
    const std::vector<BusDevice> bus = eightDevices();
    std::map<int, ReadingsResponse> readingsAt;
    std::vector<int> addresses;
    for (const BusDevice& d : bus) {
      readingsAt[d.address] = *d.readings;
      addresses.push_back(d.address);
    }
    FaultRig rig(instantBus(bus));
    QVERIFY(rig.ready);
    QVERIFY(rig.openPort());
    QVERIFY(rig.scanFor(addresses));

    for (std::size_t i = 0; i < bus.size(); ++i) {
      sim::Faults f;
      f.badCrc = 0.10;
      f.split = 0.05;
      f.extraBytes = 0.05;
      f.wrongAddress = 0.02;
      f.otherAddress = static_cast<std::uint8_t>(bus[(i + 1) % bus.size()].address);
      QVERIFY(rig.sim->setFaults(bus[i].address, f));
    }

    int selected = bus[2].address;
    QVERIFY(rig.select(selected));
    QVERIFY(rig.startPoll());
    QVERIFY(rig.startRecording());
    QString status = msg::pollStarted();
    QCOMPARE(rig.window->statusText(), status);

    std::map<int, ExpectedFile> files;
    std::map<int, int> recordedMinute;
    std::map<int, std::size_t> requestsAtCheck;
    for (const int a : addresses) {
      files.emplace(a, ExpectedFile(a));
      recordedMinute[a] = -1;
      requestsAtCheck[a] = rig.sim->stats(a)->requests;
    }

    Exchange& exchange = rig.window->exchange();
    // Every block the engine judges shows in its trace with its bytes.
    const auto judged = std::make_shared<JudgedBlocks>();
    exchange.setTrace(
        std::make_shared<TrafficTrace>([judged](const std::string& line) { judged->add(line); }));
    const int n = exchangeCount();
    QStringList shown = initialCells();
    int taken = 0;
    int takenNamingAnother = 0;
    int refusedNamingAnother = 0;
    int takenSplit = 0;
    int either = 0;
    std::map<std::string, int> droppedBy;
    int dropped = 0;
    int busyTicks = 0;                   // ticks that found late bytes waiting and sent nothing
    std::size_t next = rig.pollIndex();  // the entry the poll asks at its next tick
    int silentTicks = 0;                 // ticks in a row without a handled answer from it
    int passedOver = 0;

    for (int k = 0; k < n; ++k) {
      if (k == n / 2) {
        selected = bus[5].address;
        QVERIFY(rig.select(selected));
        status = msg::deviceSelected(deviceCaption(selected));
      }
      if (k > 0 && k % 100 == 0) {
        for (const int a : addresses) {
          const std::size_t now = rig.sim->stats(a)->requests;
          QVERIFY2(now > requestsAtCheck[a], qPrintable(QStringLiteral("device %1 not asked").arg(a)));
          requestsAtCheck[a] = now;
        }
      }

      rig.now = rig.now.addSecs(60);
      const std::size_t requests = rig.sim->requestsSeen();
      const std::size_t answers = rig.sim->answersSent();
      const std::size_t judgedBefore = judged->count();  // so that a refused frame can be seen arriving

      const int busy = rig.tickUntilSent();
      QVERIFY(busy >= 0);
      busyTicks += busy;
      // Every tick, a busy one too, counts against the device the poll is on.
      for (int t = 0; t <= busy; ++t) {
        if (silentTicks == kSilentTicksBeforeSkip) {
          next = (next + 1) % rig.deviceCount();
          silentTicks = 0;
          ++passedOver;
        }
        ++silentTicks;
      }
      const std::size_t asked = next;
      QCOMPARE(rig.pollIndex(), asked);
      const int polled = rig.window->deviceState().FoundDevices[asked].address;
      QVERIFY(rig.sim->waitForRequests(requests + 1, 5s));
      QCOMPARE(rig.sim->log().snapshot(sim::FrameKind::Request).back().address, polled);
      QVERIFY(rig.sim->waitForAnswers(answers + 1, 5s));
      const sim::FrameRecord answer = rig.sim->log().snapshot(sim::FrameKind::Answer).back();
      QCOMPARE(answer.address, polled);

      const int total = static_cast<int>(answer.bytes.size());
      const std::vector<std::uint8_t> first(
          answer.bytes.begin(), answer.bytes.begin() + std::min(total, int{kReadingsResponseLength}));
      // Settled: the frame was handed over (taken, or refused by its CRC), or
      // every byte of it waits in the queue, which holds a number that the
      // engine never reads.
      const auto handedOver = [&] {
        return rig.pollIndex() != asked ||
               (total >= int{kReadingsResponseLength} && judged->judgedSince(judgedBefore, first));
      };
      const auto settled = [&] {
        return handedOver() || (total != kReadingsResponseLength && exchange.inputQueued() == total);
      };
      QVERIFY2(waitUntil(settled), answer.verdict.c_str());

      const bool wasTaken = rig.pollIndex() != asked;
      const Fate fate = fateOf(answer, polled);
      QVERIFY2(fate != Fate::Taken || wasTaken, answer.verdict.c_str());
      QVERIFY2(fate != Fate::Dropped || !wasTaken, answer.verdict.c_str());
      if (fate == Fate::Either) ++either;

      if (wasTaken) {
        ++taken;
        if (answer.bytes[0] != polled) ++takenNamingAnother;
        if (answer.bursts.size() > 1) ++takenSplit;
        QCOMPARE(rig.pollIndex(), (asked + 1) % rig.deviceCount());
        next = rig.pollIndex();
        silentTicks = 0;
        if (polled == selected) shown = cellsShowing(readingsAt[polled]);
        const int minute = rig.now.time().minute();
        if (minute != recordedMinute[polled]) {
          files.at(polled).row(rig.now, rowTextsOf(readingsAt[polled]));
          recordedMinute[polled] = minute;
        }
      } else {
        ++dropped;
        ++droppedBy[answer.verdict];
        if (!answer.bytes.empty() && answer.bytes[0] != polled) ++refusedNamingAnother;
      }
      QCOMPARE(rig.cells(), shown);
      QVERIFY2(rig.errors.isEmpty(), qPrintable(rig.errors.join(QLatin1Char(';'))));
      QCOMPARE(rig.window->statusText(), status);
    }

    QStringList drops;
    for (const auto& [verdict, count] : droppedBy)
      drops << QStringLiteral("%1 %2").arg(verdict.c_str()).arg(count);
    qInfo(
        "noise: %d exchanges, %d frames accepted (%d split), %d dropped (%s; %d naming another address); "
        "%d could have gone either way; %d ticks sent nothing; %d silent devices passed over",
        n, taken, takenSplit, dropped, qPrintable(drops.join(QStringLiteral(", "))), refusedNamingAnother,
        either, busyTicks, passedOver);
    QCOMPARE(taken + dropped, n);
    // The faults did strike, each of them.
    QCOMPARE(takenNamingAnother, 0);
    QVERIFY(refusedNamingAnother > 0);
    QVERIFY(takenSplit > 0);
    QVERIFY(dropped > n / 20);

    for (const int a : addresses) {
      QCOMPARE(fileBytes(rig.filePath(a)), files.at(a).bytes());
      QVERIFY(files.at(a).rows() > 0);
    }
    QVERIFY(rig.stopPoll());
    QVERIFY(rig.closePort());
    QVERIFY(rig.errors.isEmpty());
  }
};

QTEST_MAIN(NoiseTest)
#include "noise_test.moc"
