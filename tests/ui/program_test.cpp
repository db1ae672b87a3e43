#include <fcntl.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "tests/support/languages.h"

// The command line of rs485-master, run as the operator runs it.
class ProgramTest : public QObject {
  Q_OBJECT

 private slots:
  void commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: " RS485_MASTER " [options]";
    QTest::newRow("short help") << QStringList{"-h"} << 0 << "--port <COMn=PATH>";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "rs485-master " RS485_VERSION "\n";
    QTest::newRow("short version") << QStringList{"-v"} << 0 << "rs485-master " RS485_VERSION "\n";
    QTest::newRow("no mapping") << QStringList{"--port", "COM1"} << 2 << "COMn=PATH";
    QTest::newRow("missing value") << QStringList{"--port"} << 2 << "Missing value after '--port'";
    QTest::newRow("COM0") << QStringList{"--port=COM0=/dev/ttyUSB0"} << 2 << "COMn=PATH";
    QTest::newRow("no path") << QStringList{"--port", "COM2="} << 2 << "COMn=PATH";
    QTest::newRow("other name") << QStringList{"--port", "ttyS0=/dev/ttyS0"} << 2 << "COMn=PATH";
    QTest::newRow("COM6") << QStringList{"--port", "COM6=/dev/ttyS0"} << 2 << "the port names are COM1..COM5";
    QTest::newRow("COM12 after COM1")
        << QStringList{"--port", "COM1=/dev/null", "--port=COM12=/x"} << 2 << "'COM12=/x'";
    QTest::newRow("unknown option") << QStringList{"--baud", "9600"} << 2 << "Unknown option 'baud'";
    QTest::newRow("stray argument") << QStringList{"COM1"} << 2 << "unexpected argument 'COM1'";
    QTest::newRow("help after a mapping")
        << QStringList{"--port", "COM1=/dev/null", "--help"} << 0 << "Usage";
    QTest::newRow("help names the trace") << QStringList{"--help"} << 0 << "--trace <FILE>";
    QTest::newRow("trace without a file") << QStringList{"--trace"} << 2 << "Missing value after '--trace'";
    QTest::newRow("trace with an empty file") << QStringList{"--trace="} << 2 << "--trace needs a FILE";
    QTest::newRow("trace into a missing folder")
        << QStringList{"--trace", "/nonexistent-folder/trace.log"} << 2
        << "cannot open the trace file '/nonexistent-folder/trace.log': No such file or directory";
    QTest::newRow("trace into a folder") << QStringList{"--trace=/"} << 2 << "Is a directory";
  }
  // Each of these ends before the window would start, so none needs a
  // display: run as over SSH, without one and without the offscreen platform.
  void commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, output);
    QProcess program;
    program.setProcessEnvironment(noDisplay());
    program.start(QStringLiteral(RS485_MASTER), arguments);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), status);
    const QString printed =
        QString::fromUtf8(program.readAllStandardOutput() + program.readAllStandardError());
    QVERIFY2(printed.contains(output), qPrintable(printed));
  }

  // --help and a mistake in the language of the user's locale: Qt's parser's
  // own texts too. Under ru_RU every sentence is Russian.
  void languageOfTheCommandLine_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    for (const QString& locale : rs485::test::kEnglishLocales) {
      QTest::addRow("help, %s", qPrintable(locale))
          << locale << QStringList{"--help"} << 0 << "Show this help";
      QTest::addRow("COM6, %s", qPrintable(locale))
          << locale << QStringList{"--port", "COM6=/dev/ttyS0"} << 2 << "Try 'rs485-master --help'.";
    }
    const QString ru = rs485::test::kRussianLocale;
    QTest::newRow("help, ru") << ru << QStringList{"--help"} << 0
                              << "Использование: " RS485_MASTER " [параметры]";
    QTest::newRow("COM6, ru") << ru << QStringList{"--port", "COM6=/dev/ttyS0"} << 2 << "имена портов";
    QTest::newRow("unknown option, ru")
        << ru << QStringList{"--baud"} << 2 << "Подробнее: rs485-master --help";
    QTest::newRow("missing value, ru") << ru << QStringList{"--trace"} << 2 << "Нет значения после '--trace'";
  }
  void languageOfTheCommandLine() {
    QFETCH(QString, locale);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, output);
    QProcess program;
    program.setProcessEnvironment(noDisplay(locale));
    program.start(QStringLiteral(RS485_MASTER), arguments);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitCode(), status);
    const QString printed =
        QString::fromUtf8(program.readAllStandardOutput() + program.readAllStandardError());
    QVERIFY2(printed.contains(output), qPrintable(printed));
    QCOMPARE(rs485::test::readsRussian(printed), locale == rs485::test::kRussianLocale);
  }

  // The trace file is opened for appending, and held open, before the window
  // appears; what it held stays.
  void traceFileIsOpenedForAppending() {
    QTemporaryDir dir;
    const QString fresh = dir.filePath(QStringLiteral("fresh.log"));
    const QString kept = dir.filePath(QStringLiteral("kept.log"));
    {
      QFile file(kept);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("an earlier session\n");
    }
    for (const QString& path : {fresh, kept}) {
      QProcess program;
      program.setProcessEnvironment(offscreen());
      program.start(QStringLiteral(RS485_MASTER), {QStringLiteral("--trace"), path});
      QVERIFY(program.waitForStarted(30000));
      QString flags;
      QTRY_VERIFY_WITH_TIMEOUT(!(flags = openFlags(program.processId(), path)).isEmpty(), 30000);
      QVERIFY2((flags.toUInt(nullptr, 8) & O_APPEND) != 0, qPrintable(flags));
      QVERIFY(program.state() == QProcess::Running);  // a trace that opened is no reason to stop
      program.kill();
      QVERIFY(program.waitForFinished(30000));
    }
    QFile file(kept);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("an earlier session\n"));
  }

 private:
  // The octal open flags with which process `pid` holds `path` open; empty
  // while it does not.
  static QString openFlags(qint64 pid, const QString& path) {
    const QString proc = QStringLiteral("/proc/%1/").arg(pid);
    const QString wanted = QFileInfo(path).canonicalFilePath();
    for (const QString& fd : QDir(proc + QStringLiteral("fd")).entryList(QDir::Files | QDir::System)) {
      if (wanted.isEmpty() || QFileInfo(proc + QStringLiteral("fd/") + fd).symLinkTarget() != wanted)
        continue;
      QFile info(proc + QStringLiteral("fdinfo/") + fd);
      if (!info.open(QIODevice::ReadOnly)) continue;
      for (const QByteArray& line : info.readAll().split('\n')) {
        if (line.startsWith("flags:")) return QString::fromLatin1(line.mid(6).trimmed());
      }
    }
    return {};
  }

  static QProcessEnvironment noDisplay(const QString& locale = QStringLiteral("C")) {
    QProcessEnvironment environment = rs485::test::withLocale(locale);
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
      environment.remove(QString::fromLatin1(name));
    return environment;
  }

  static QProcessEnvironment offscreen() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
  }
};

QTEST_MAIN(ProgramTest)
#include "program_test.moc"
