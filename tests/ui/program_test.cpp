#include <QProcess>
#include <QTest>

// The command line of rs485-master, run as the operator runs it.
class ProgramTest : public QObject {
  Q_OBJECT

 private slots:
  void commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    QTest::newRow("help") << QStringList{"--help"} << 0 << "usage: rs485-master";
    QTest::newRow("no mapping") << QStringList{"--port", "COM1"} << 2 << "COMn=PATH";
    QTest::newRow("missing value") << QStringList{"--port"} << 2 << "COMn=PATH";
    QTest::newRow("COM0") << QStringList{"--port=COM0=/dev/ttyUSB0"} << 2 << "COMn=PATH";
    QTest::newRow("no path") << QStringList{"--port", "COM2="} << 2 << "COMn=PATH";
    QTest::newRow("other name") << QStringList{"--port", "ttyS0=/dev/ttyS0"} << 2 << "COMn=PATH";
    QTest::newRow("unknown option") << QStringList{"--baud", "9600"} << 2 << "unknown argument";
    QTest::newRow("help after a mapping")
        << QStringList{"--port", "COM1=/dev/null", "--help"} << 0 << "usage";
  }
  void commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, output);
    QProcess program;
    program.setProcessEnvironment([] {
      QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
      environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
      return environment;
    }());
    program.start(QStringLiteral(RS485_MASTER), arguments);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), status);
    const QString printed =
        QString::fromUtf8(program.readAllStandardOutput() + program.readAllStandardError());
    QVERIFY2(printed.contains(output), qPrintable(printed));
  }
};

QTEST_MAIN(ProgramTest)
#include "program_test.moc"
