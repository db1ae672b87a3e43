// One simulated bus, one owner: `rs485-cli serve` as its own process, with
// the window polling through it and a recorder (rs485-cli's poll with
// --record, in-process, its clock ten times as fast) polling the same
// devices at the same time, while a third program sends garbage and then a
// flood. Each of the two gets every answer it asked for and none it did not,
// the recording has one row per device and minute with that device's own
// readings, and the misbehaving program changes nothing for them.

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>
#include <QTimeZone>
#include <sstream>

#include "cli/bus.h"
#include "cli/commands.h"
#include "tests/e2e/sample_bus.h"
#include "tests/support/serve_process.h"
#include "tests/support/window_rig.h"

using namespace rs485;
using namespace rs485::test;
using namespace std::chrono_literals;

namespace {

const std::vector<int> kDevices = {1, 2, 3};

// A program that connects and writes `bytes`; the server must part with it.
bool misbehave(quint16 port, const QByteArray& bytes) {
  QTcpSocket socket;
  socket.connectToHost(QHostAddress::LocalHost, port);
  if (!socket.waitForConnected(5000)) return false;
  socket.write(bytes);
  return waitUntil([&] { return socket.state() == QAbstractSocket::UnconnectedState; });
}

QByteArray frameOf(const BusRequest& request) {
  const TxFrame frame = request.frame();
  return {reinterpret_cast<const char*>(frame.data()), static_cast<qsizetype>(request.frameLength())};
}

}  // namespace

class ServeE2eTest : public QObject {
  Q_OBJECT

 private slots:
  void theWindowAndARecorderShareOneBusThroughServe() {
    sim::SimServer sim(bus(kDevices));
    sim.start();
    ServeProcess serve(QStringLiteral(RS485_CLI), sim.toolPath());
    QVERIFY2(serve.start(), qPrintable(serve.log()));

    // The window: found devices, polled once a second by its own timer.
    LineRig rig(PortNames({{"COM1", serve.url()}}), asShown());
    QVERIFY(rig.ready);
    QVERIFY2(rig.openPort(), rig.fault());
    QVERIFY2(rig.scanInRealTime(500, kDevices.size(), 10, [&] { return sim.requestsSeen(); }), rig.fault());
    QCOMPARE(rig.foundAddresses(), kDevices);
    QVERIFY2(rig.select(2), rig.fault());
    QVERIFY2(rig.startPoll(), rig.fault());

    // The recorder: a poll of the three with --record, one request a second
    // as the program asks, 12 s of real time that its clock counts as 2 min
    // from 01:27:50, crossing two minutes.
    QElapsedTimer elapsed;
    elapsed.start();
    const QDateTime start(QDate(2026, 12, 8), QTime(1, 27, 50), QTimeZone(3 * 3600));
    QTemporaryDir files;
    cli::Bus recorder({.names = PortNames({{"COM1", serve.url()}}),
                       .clock = [&] { return start.addMSecs(elapsed.elapsed() * 10); },
                       .recording = {files.path(), {}},
                       .timeDivisor = 1});
    QVERIFY(recorder.open("COM1"));

    // Meanwhile a third program sends garbage, then floods.
    bool garbageParted = false;
    bool floodParted = false;
    QTimer::singleShot(3s, [&] { garbageParted = misbehave(serve.port(), QByteArray::fromHex("0199aabb")); });
    QTimer::singleShot(6s, [&] {
      floodParted = misbehave(serve.port(), frameOf(BusRequest::readCurrent(1)).repeated(500));
    });

    std::ostringstream out;
    std::ostringstream err;
    cli::StopRequest stop;
    cli::PollSettings settings;
    settings.addresses = kDevices;
    settings.record = true;
    settings.seconds = 12;
    QCOMPARE(cli::runPoll(recorder, settings, {out, err, false}, stop, nullptr), cli::kExitOk);
    recorder.close();
    QVERIFY(garbageParted);
    QVERIFY(floodParted);

    // The recorder: every request answered, nothing late or unasked.
    for (const int address : kDevices) {
      const QRegularExpressionMatch summary =
          QRegularExpression(QStringLiteral("device %1: sent (\\d+), answered \\1, dropped 0, silent 0, late "
                                            "or unasked 0\n")
                                 .arg(address))
              .match(QString::fromStdString(err.str()));
      QVERIFY2(summary.hasMatch(), err.str().c_str());
      QVERIFY(summary.captured(1).toInt() >= 3);
    }
    // Its files: one row per device and minute, each with the device's own temperature.
    for (const int address : kDevices) {
      const auto contents = readRecordingFile(QDir(files.path()).filePath(recordingFileName(address)));
      QVERIFY(contents);
      QCOMPARE(contents->skipped, 0);
      QVERIFY2(contents->rows.size() >= 2, qPrintable(QString::number(contents->rows.size())));
      for (std::size_t i = 0; i < contents->rows.size(); ++i) {
        QCOMPARE(contents->rows[i].temperature, static_cast<std::int16_t>(100 + address));
        if (i > 0) QCOMPARE(contents->rows[i].msecs - contents->rows[i - 1].msecs, std::int64_t{60000});
      }
    }

    // The window: every request answered by the device asked, none dropped or unasked.
    QVERIFY2(rig.stopPoll(), rig.fault());
    const auto settled = [&] {
      for (const int address : kDevices) {
        const DeviceHealth::Figures f = rig.window->deviceHealth().figures(address);
        if (f.accepted != f.sent) return false;
      }
      return true;
    };
    QVERIFY(waitUntil(settled, 5s));
    for (const int address : kDevices) {
      const DeviceHealth::Figures f = rig.window->deviceHealth().figures(address);
      QVERIFY2(f.accepted >= 3, qPrintable(QString::number(f.accepted)));
      QCOMPARE(f.dropped, 0);
      QCOMPARE(f.unanswered, 0);
      QCOMPARE(f.notAsked, 0);
    }
    rig.stopAndClose();

    // The server's word: the two misbehaving programs parted with, the
    // window (client 1) and the recorder (client 2) answered in full.
    QCOMPARE(serve.terminate(), 0);
    const QString log = serve.log();
    QVERIFY2(
        log.contains(QRegularExpression(QStringLiteral("client 3 \\(127\\.0\\.0\\.1:\\d+\\) disconnected: an "
                                                       "unknown command\n"))),
        qPrintable(log));
    QVERIFY2(log.contains(
                 QRegularExpression(QStringLiteral("client 4 \\(127\\.0\\.0\\.1:\\d+\\) disconnected: more "
                                                   "than 64 requests waiting\n"))),
             qPrintable(log));
    for (const int client : {1, 2}) {
      QVERIFY2(
          log.contains(QRegularExpression(
              QStringLiteral("client %1 \\(127\\.0\\.0\\.1:\\d+\\): (\\d+) requests, \\1 answers, 0 without "
                             "an answer\n")
                  .arg(client))),
          qPrintable(log));
    }
  }
};

QTEST_MAIN(ServeE2eTest)
#include "serve_e2e_test.moc"
