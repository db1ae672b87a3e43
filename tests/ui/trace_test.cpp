#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "link/traffic_trace.h"
#include "tests/support/sim_bus.h"
#include "tests/support/window_rig.h"

using namespace rs485;
using namespace rs485::test;

// The window's traffic in a trace file, as rs485-master --trace wires it.
class TraceTest : public QObject {
  Q_OBJECT

 private slots:
  void framesOfTheWindowReachTheFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("trace.log"));
    WindowRig rig(instantBus({{5}}), asShown());
    std::string error;
    auto trace = TrafficTrace::appendToFile(QFile::encodeName(path).toStdString(), error);
    QVERIFY2(trace != nullptr, error.c_str());
    rig.window->exchange().setTrace(trace);
    QTest::mouseClick(rig.control<QPushButton>("OpenClose"), Qt::LeftButton);
    QVERIFY(rig.window->session().isOpen());

    Exchange& exchange = rig.window->exchange();
    rig.window->deviceState().PendingCommand = CmdProbe;
    exchange.sendRequest(BusRequest::probe(5));
    QTRY_COMPARE(rig.window->deviceState().FoundDevices.size(), std::size_t{1});
    QTest::mouseClick(rig.control<QPushButton>("OpenClose"), Qt::LeftButton);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QString stamp = QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}  )");
    QCOMPARE(lines.size(), 2);
    QVERIFY2(QRegularExpression(stamp + QStringLiteral("TX  05 01 C3 20  sent$")).match(lines[0]).hasMatch(),
             qPrintable(lines[0]));
    QVERIFY2(QRegularExpression(stamp + QStringLiteral("RX  05 01 00 ([0-9A-F]{2} ?){2}  accepted$"))
                 .match(lines[1])
                 .hasMatch(),
             qPrintable(lines[1]));
  }
};

QTEST_MAIN(TraceTest)
#include "trace_test.moc"
