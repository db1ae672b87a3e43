#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QValueAxis>
#include <QWheelEvent>
#include <cmath>
#include <cstdio>
#include <set>

#include "chart/chart_data.h"
#include "chart/chart_window.h"
#include "chart/csv_export.h"
#include "i18n/catalogue.h"
#include "monitor/cp1251.h"
#include "monitor/recording.h"
#include "tests/support/languages.h"

using namespace rs485;
using namespace rs485::chart;

namespace {

QByteArray cp(const char* utf8) { return toCp1251(QString::fromUtf8(utf8)); }

// Device 5 with a header, an outage from 01:30 to 01:40 and malformed lines.
const QByteArray kDevice5 =
    cp("               Номер устройства: 5\r\n"
       "     Дата      Время      Шаг          Температура\r\n"
       "08.12.2026г.    01:27       01             033,6\r\n"
       "08.12.2026г.    01:28       01             -00,5\r\n"
       "not a row\r\n"
       "08.12.2026г.    01:29       255             100,0\r\n"
       "08.12.2026г.    01:40       02             -12,3\r\n");
// Device 7 re-created after a deletion: no header, an older date form.
const QByteArray kDevice7 =
    cp("8 Dec 2026г.    23:59       07             000,5\r\n"
       "12/09/2026г.    00:00       07             001,0\r\n");

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
  const QString path = dir.filePath(name);
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
    qFatal("cannot write %s", qPrintable(path));
  return path;
}

bool append(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::Append) && file.write(bytes) == bytes.size();
}

// The program as a user without a display runs it.
struct Run {
  int status = -1;
  QByteArray out;
  QByteArray err;
};
Run runChart(const QStringList& arguments, const QString& locale = QStringLiteral("C")) {
  QProcess program;
  QProcessEnvironment env = test::withLocale(locale);
  env.remove(QStringLiteral("DISPLAY"));
  env.remove(QStringLiteral("WAYLAND_DISPLAY"));
  env.remove(QStringLiteral("QT_QPA_PLATFORM"));
  program.setProcessEnvironment(env);
  program.start(QStringLiteral(RS485_CHART), arguments);
  if (!program.waitForFinished(60000) || program.exitStatus() != QProcess::NormalExit) return {};
  return {program.exitCode(), program.readAllStandardOutput(), program.readAllStandardError()};
}

// Rows at 10:00, 10:01, 10:02, 10:10, 10:20 and 10:21: the row of 10:10
// has no neighbour within the gap rule on either side.
const QByteArray kLoneRow =
    cp("               Номер устройства: 5\r\n"
       "08.12.2026г.    10:00       01             020,0\r\n"
       "08.12.2026г.    10:01       01             021,0\r\n"
       "08.12.2026г.    10:02       02             022,0\r\n"
       "08.12.2026г.    10:10       02             030,5\r\n"
       "08.12.2026г.    10:20       03             025,0\r\n"
       "08.12.2026г.    10:21       03             024,0\r\n");
const QByteArray kOneRow =
    cp("               Номер устройства: 5\r\n"
       "08.12.2026г.    10:00       01             033,6\r\n");

constexpr QRgb kFirstDevice = qRgb(0x1f, 0x77, 0xb4);

std::int64_t at(int hour, int minute) {
  return QDateTime(QDate(2026, 12, 8), QTime(hour, minute)).toMSecsSinceEpoch();
}

// Where a temperature at a time lies in an image of the view (view.grab()),
// from the plot area and the ranges of the time axis and the left axis.
QPointF placeOf(const ChartView& view, std::int64_t msecs, double degrees) {
  QChart* chart = view.chart();
  const auto* time = qobject_cast<QDateTimeAxis*>(chart->axes(Qt::Horizontal).value(0));
  const QValueAxis* temperature = nullptr;
  for (QAbstractAxis* axis : chart->axes(Qt::Vertical)) {
    if (axis->alignment() == Qt::AlignLeft) temperature = qobject_cast<QValueAxis*>(axis);
  }
  if (time == nullptr || temperature == nullptr) qFatal("no time or temperature axis");
  const auto from = static_cast<double>(time->min().toMSecsSinceEpoch());
  const auto to = static_cast<double>(time->max().toMSecsSinceEpoch());
  const QRectF plot = chart->plotArea();
  const QPointF inChart(plot.left() + (static_cast<double>(msecs) - from) / (to - from) * plot.width(),
                        plot.bottom() - (degrees - temperature->min()) /
                                            (temperature->max() - temperature->min()) * plot.height());
  return view.viewportTransform().map(chart->mapToScene(inChart)) + QPointF(view.viewport()->pos());
}

// The pixel under `place` and its eight neighbours are all of `colour`.
bool markedAt(const QImage& image, QPointF place, QRgb colour) {
  const int x = static_cast<int>(std::floor(place.x()));
  const int y = static_cast<int>(std::floor(place.y()));
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) {
      if (!image.valid(x + dx, y + dy) || image.pixel(x + dx, y + dy) != colour) return false;
    }
  }
  return true;
}

// Answers the next file dialog with `path`, as a user would.
void answerFileDialog(const QString& path) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, timer, [timer, path] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    dialog->selectFile(path);
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept(), through the public slot
    timer->deleteLater();
  });
  timer->start(10);
}

std::vector<RecordedRow> minuteRows(std::int64_t start, int count) {
  std::vector<RecordedRow> rows;
  for (int i = 0; i < count; ++i) {
    rows.push_back({start + std::int64_t{i} * 60'000, static_cast<std::int16_t>(i % 1000), 1});
  }
  return rows;
}

}  // namespace

class ChartTest : public QObject {
  Q_OBJECT

 private slots:
  // The window's texts are the catalogue's: the tests below read them in Russian.
  void initTestCase() {
    QVERIFY(i18n::loadCatalogue(russian_, test::kRussianLocale));
    QVERIFY(QCoreApplication::installTranslator(&russian_));
  }

  void theWindowIsEnglishWithoutTheCatalogue() {
    QCoreApplication::removeTranslator(&russian_);
    QTemporaryDir dir;
    const QString file = writeFile(dir, recordingFileName(5), kLoneRow);
    {
      ChartWindow window;
      QVERIFY(window.openFiles({file}, nullptr));
      QCOMPARE(window.menuBar()->actions().front()->text(), QStringLiteral("&File"));
      QCOMPARE(window.view().readoutAt(at(10, 10)),
               QStringLiteral("08.12.2026 10:10   Address 5: 30.5 °C, step 2"));
    }
    QCoreApplication::installTranslator(&russian_);
    ChartWindow window;
    QVERIFY(window.openFiles({file}, nullptr));
    QCOMPARE(window.menuBar()->actions().front()->text(), QStringLiteral("&Файл"));
    QCOMPARE(window.view().readoutAt(at(10, 10)),
             QStringLiteral("08.12.2026 10:10   Адрес 5: 30,5 °C, шаг 2"));
  }

  // The rows exported are the same bytes whatever language the messages are in.
  void theExportsDoNotFollowTheLanguage() {
    QTemporaryDir dir;
    const QString five = writeFile(dir, recordingFileName(5), kDevice5);
    QByteArray first;
    for (const QString& locale : {test::kRussianLocale, test::kEnglishLocales[0], test::kEnglishLocales[1]}) {
      const QString csv = dir.filePath(locale + QStringLiteral(".csv"));
      const QString excel = dir.filePath(locale + QStringLiteral("-excel.csv"));
      const Run run =
          runChart({five, QStringLiteral("--export"), csv, QStringLiteral("--export-excel"), excel}, locale);
      QCOMPARE(run.status, 0);
      // The skipped line is reported in the user's language.
      QCOMPARE(test::readsRussian(QString::fromUtf8(run.err)), locale == test::kRussianLocale);
      QFile plain(csv);
      QFile forExcel(excel);
      QVERIFY(plain.open(QIODevice::ReadOnly) && forExcel.open(QIODevice::ReadOnly));
      const QByteArray bytes = plain.readAll() + forExcel.readAll();
      QVERIFY(bytes.contains("Устройство;Время;Шаг;Температура, °C"));
      if (first.isEmpty()) first = bytes;
      QCOMPARE(bytes, first);
    }
  }

  void exportsTheRowsAsCsv() {
    QTemporaryDir dir;
    const QString five = writeFile(dir, recordingFileName(5), kDevice5);
    const QString seven = writeFile(dir, recordingFileName(7), kDevice7);
    const QString out = dir.filePath(QStringLiteral("rows.csv"));
    const Run run = runChart({five, seven, QStringLiteral("--export"), out});
    QCOMPARE(run.status, 0);
    QVERIFY2(run.err.contains("1"), run.err.constData());  // the one skipped line is reported
    QFile csv(out);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll(), QByteArray("device,time,step,temperature\n"
                                       "5,2026-12-08T01:27:00+01:00,1,33.6\n"
                                       "5,2026-12-08T01:28:00+01:00,1,-0.5\n"
                                       "5,2026-12-08T01:29:00+01:00,255,100.0\n"
                                       "5,2026-12-08T01:40:00+01:00,2,-12.3\n"
                                       "7,2026-12-08T23:59:00+01:00,7,0.5\n"
                                       "7,2026-12-09T00:00:00+01:00,7,1.0\n"));
  }

  void exportsTheRowsForExcel() {
    QTemporaryDir dir;
    const QString five = writeFile(dir, recordingFileName(5),
                                   cp("               Номер устройства: 5\r\n"
                                      "08.12.2026г.    01:27       01             -12,3\r\n"
                                      "08.12.2026г.    01:28       01             -00,5\r\n"
                                      "08.12.2026г.    01:29       12             000,0\r\n"
                                      "08.12.2026г.    01:30       255             100,0\r\n"
                                      "08.12.2026г.    01:31       03             950,4\r\n"));
    const QString other = writeFile(dir, QStringLiteral("печь.txt"),
                                    cp("09.12.2026г.    00:00       07             001,0\r\n"));
    const QString out = dir.filePath(QStringLiteral("rows.csv"));
    const Run run = runChart({five, other, QStringLiteral("--export-excel"), out});
    QCOMPARE(run.status, 0);
    QFile csv(out);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QCOMPARE(csv.readAll(), QByteArray("\xEF\xBB\xBF"
                                       "Устройство;Время;Шаг;Температура, °C\r\n"
                                       "5;08.12.2026 01:27;1;-12,3\r\n"
                                       "5;08.12.2026 01:28;1;-0,5\r\n"
                                       "5;08.12.2026 01:29;12;0,0\r\n"
                                       "5;08.12.2026 01:30;255;100,0\r\n"
                                       "5;08.12.2026 01:31;3;950,4\r\n"
                                       ";09.12.2026 00:00;7;1,0\r\n"));
  }

  void theFileMenuExportsForExcel() {
    QTemporaryDir dir;
    ChartWindow window;
    QVERIFY(window.openFiles({writeFile(dir, recordingFileName(5), kLoneRow)}, nullptr));
    QAction* action = nullptr;
    for (QAction* menu : window.menuBar()->actions()) {
      if (menu->text() != QStringLiteral("&Файл")) continue;
      for (QAction* item : menu->menu()->actions()) {
        if (item->text() == QStringLiteral("Экспорт для Excel…")) action = item;
      }
    }
    QVERIFY(action != nullptr);
    // A name typed without its suffix gets ".csv", by which Excel knows the file.
    answerFileDialog(dir.filePath(QStringLiteral("для Excel")));
    action->trigger();
    QFile csv(dir.filePath(QStringLiteral("для Excel.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QByteArray bytes = csv.readAll();
    QVERIFY2(bytes.startsWith("\xEF\xBB\xBF\xD0\xA3"), bytes.left(20).toHex().constData());
    QVERIFY2(bytes.contains("\r\n5;08.12.2026 10:10;2;30,5\r\n"), bytes.constData());
    QCOMPARE(bytes.count('\n'), 7);
  }

  void exportsTheChartAsPngWithoutADisplay() {
    QTemporaryDir dir;
    const QString five = writeFile(dir, recordingFileName(5), kDevice5);
    const QString out = dir.filePath(QStringLiteral("chart.png"));
    const Run run = runChart({five, QStringLiteral("--export=") + out});
    QCOMPARE(run.status, 0);
    QImage image(out);
    QVERIFY(!image.isNull());
    QCOMPARE(image.width(), 1280);
    QVERIFY(image.height() > 500);
    // The curve of the first device is drawn in its colour.
    int curve = 0;
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QRgb p = image.pixel(x, y);
        colours.insert(p);
        if (p == qRgb(0x1f, 0x77, 0xb4)) ++curve;
      }
    }
    QVERIFY2(curve > 100, qPrintable(QString::number(curve)));
    QVERIFY(colours.size() > 20);
  }

  // Rows alone between outages, and the row of a file of one, are drawn
  // as points of the device's colour.
  void aRowWithoutNeighboursIsAPoint_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("minute");
    QTest::addColumn<double>("degrees");
    QTest::newRow("one row") << kOneRow << 0 << 33.6;
    QTest::newRow("between two outages") << kLoneRow << 10 << 30.5;
  }
  void aRowWithoutNeighboursIsAPoint() {
    QFETCH(QByteArray, file);
    QFETCH(int, minute);
    QFETCH(double, degrees);
    QTemporaryDir dir;
    const QString path = writeFile(dir, recordingFileName(5), file);
    const QString out = dir.filePath(QStringLiteral("chart.png"));
    const Run run = runChart({path, QStringLiteral("--export"), out});
    QCOMPARE(run.status, 0);
    const QImage png(out);
    // The same file laid out as the program lays it out, for the geometry.
    ChartWindow window;
    QVERIFY(window.openFiles({path}, nullptr));
    window.resize(1280, 720);
    const QImage here = window.image();
    QCOMPARE(png.size(), here.size());
    const QPointF place = placeOf(window.view(), at(10, minute), degrees);
    QVERIFY2(markedAt(png, place, kFirstDevice),
             qPrintable(QStringLiteral("%1,%2").arg(place.x()).arg(place.y())));
    QVERIFY(markedAt(here, place, kFirstDevice));
    // Nothing bridges the outage after it.
    const QPointF outage = placeOf(window.view(), at(10, minute) + 4 * 60'000, degrees);
    QVERIFY(!markedAt(png, outage, kFirstDevice));
  }

  void everyFileOpenedIsInView() {
    QTemporaryDir dir;
    // The first file's one row comes after all the rows of the second.
    const QString three =
        writeFile(dir, recordingFileName(3), cp("08.12.2026г.    12:00       01             033,6\r\n"));
    const QString five = writeFile(dir, recordingFileName(5), kLoneRow);
    ChartWindow window;
    QVERIFY(window.openFiles({three, five}, nullptr));
    const auto [from, to] = window.view().timeRange();
    QVERIFY2(from <= at(10, 0) && to >= at(12, 0),
             qPrintable(QDateTime::fromMSecsSinceEpoch(from).toString() + " - " +
                        QDateTime::fromMSecsSinceEpoch(to).toString()));
  }

  void theReadoutNamesALonePoint_data() {
    QTest::addColumn<int>("pixels");  // from the point's centre
    QTest::addColumn<bool>("named");
    QTest::newRow("on its centre") << 0 << true;
    QTest::newRow("on its left edge") << -3 << true;
    QTest::newRow("on its right edge") << 3 << true;
    QTest::newRow("between it and the next row") << 6 << false;
  }
  void theReadoutNamesALonePoint() {
    QFETCH(int, pixels);
    QFETCH(bool, named);
    QTemporaryDir dir;
    ChartWindow window;
    QVERIFY(window.openFiles({writeFile(dir, recordingFileName(5), kLoneRow)}, nullptr));
    window.resize(1280, 720);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ChartView& view = window.view();
    // Out so far that a pixel is most of a minute: the rows nearest to the
    // point are a few pixels away, and the point is wider than the time
    // within which a row counts as under the pointer.
    for (int i = 0; i < 20; ++i) QTest::keyClick(&view, Qt::Key_Minus);
    view.replot();
    const auto [from, to] = view.timeRange();
    const double pixel = static_cast<double>(to - from) / view.chart()->plotArea().width();
    QVERIFY2(pixel > 30'000 && pixel < 58'000, qPrintable(QString::number(pixel)));
    const QImage image = view.grab().toImage();
    const QPointF place = placeOf(view, at(10, 10), 30.5);
    QVERIFY(markedAt(image, place, kFirstDevice));
    QSignalSpy readout(&view, &ChartView::readout);
    const QPoint pointer = (place + QPointF(pixels, 0)).toPoint() - view.viewport()->pos();
    QMouseEvent move(QEvent::MouseMove, pointer, view.viewport()->mapToGlobal(pointer), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &move);
    QCOMPARE(readout.count(), 1);
    const QString text = readout.front().front().toString();
    QCOMPARE(text.contains(QStringLiteral("Адрес 5: 30,5 °C, шаг 2")), named);
    QCOMPARE(text.contains(QStringLiteral("Адрес 5: нет данных")), !named);
  }

  void theFirstRowOfAFileBeingRecordedIsShown() {
    QTemporaryDir dir;
    const QString five = writeFile(dir, recordingFileName(5), toCp1251(recordingHeader(5)));
    ChartWindow window;
    QVERIFY(window.openFiles({five}, nullptr));
    window.resize(1280, 720);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.view().pointCount(), 0);
    QSignalSpy changed(&window.data(), &ChartData::changed);
    QVERIFY(append(five, cp("08.12.2026г.    10:00       01             033,6\r\n")));
    QVERIFY(changed.wait(3000));
    // The view moves to the row and draws it, on its own.
    QTRY_COMPARE(window.view().pointCount(), 2);
    ChartView& view = window.view();
    QVERIFY(markedAt(view.grab().toImage(), placeOf(view, at(10, 0), 33.6), kFirstDevice));
  }

  void commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: rs485-chart [options] [FILE...]";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "rs485-chart 0.";
    QTest::newRow("unknown option") << QStringList{"--zoom"} << 2 << "--help";
    QTest::newRow("export without a file") << QStringList{"--export"} << 2 << "--help";
    QTest::newRow("export to another format") << QStringList{"a.txt", "--export", "out.jpg"} << 2 << ".png";
    QTest::newRow("export of nothing") << QStringList{"--export", "out.csv"} << 2 << "--export";
    QTest::newRow("help on the Excel form") << QStringList{"--help"} << 0 << "--export-excel";
    QTest::newRow("Excel form to another format")
        << QStringList{"a.txt", "--export-excel", "out.xlsx"} << 2 << ".csv";
    QTest::newRow("Excel form of nothing")
        << QStringList{"--export-excel", "out.csv"} << 2 << "--export-excel";
    QTest::newRow("unreadable file") << QStringList{"/nonexistent/x.txt", "--export", "out.csv"} << 1
                                     << "/nonexistent/x.txt: No such file or directory";
    QTest::newRow("a folder") << QStringList{"/", "--export", "out.png"} << 1 << "cannot read the file /";
  }
  void commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, output);
    QTemporaryDir dir;
    const Run run = runChart(arguments);
    QCOMPARE(run.status, status);
    const QString printed = QString::fromUtf8(run.out + run.err);
    QVERIFY2(printed.contains(output), qPrintable(printed));
  }

  // --help and the mistakes in the language of the user's locale.
  void languageOfTheCommandLine_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    for (const QString& locale : test::kEnglishLocales) {
      QTest::addRow("help, %s", qPrintable(locale))
          << locale << QStringList{"--help"} << 0 << "Show this help";
      QTest::addRow("no files, %s", qPrintable(locale))
          << locale << QStringList{"--export", "out.csv"} << 2 << "Try 'rs485-chart --help'.";
    }
    const QString ru = test::kRussianLocale;
    QTest::newRow("help, ru") << ru << QStringList{"--help"} << 0 << "Использование: rs485-chart [параметры]";
    QTest::newRow("no files, ru") << ru << QStringList{"--export", "out.csv"} << 2
                                  << "не указаны файлы записи";
    QTest::newRow("unknown option, ru") << ru << QStringList{"--zoom"} << 2 << "Неизвестный параметр 'zoom'";
    QTest::newRow("Excel form to another format, ru")
        << ru << QStringList{"a.txt", "--export-excel", "out.xlsx"} << 2 << "должно оканчиваться на .csv";
  }
  void languageOfTheCommandLine() {
    QFETCH(QString, locale);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, output);
    const Run run = runChart(arguments, locale);
    QCOMPARE(run.status, status);
    const QString printed = QString::fromUtf8(run.out + run.err);
    QVERIFY2(printed.contains(output), qPrintable(printed));
    QCOMPARE(test::readsRussian(printed), locale == test::kRussianLocale);
  }

  void aRowAppendedToAnOpenFileIsShown() {
    QTemporaryDir dir;
    const QString five = writeFile(dir, recordingFileName(5), kDevice5);
    ChartWindow window;
    QString error;
    QVERIFY2(window.openFiles({five}, &error), qPrintable(error));
    window.view().replot();
    const int points = window.view().pointCount();
    QSignalSpy changed(&window.data(), &ChartData::changed);
    QVERIFY(append(five, cp("08.12.2026г.    01:41       02             -12,0\r\n")));
    QVERIFY(changed.wait(3000));
    QCOMPARE(window.data().rowCount(), std::size_t{5});
    // The view reached the last row, so it follows: the new one is drawn.
    QTRY_COMPARE(window.view().pointCount(), points + 2);
    const auto at = QDateTime(QDate(2026, 12, 8), QTime(1, 41)).toMSecsSinceEpoch();
    QVERIFY(window.view().readoutAt(at).contains(QStringLiteral("Адрес 5: -12,0 °C, шаг 2")));
  }

  // However long the new file is: a rotation may leave one as long as the
  // old or longer, and reading it on from the old offset would start mid-line.
  void aFileReplacedWhileFollowedIsReadAgain_data() {
    const QByteArray row = cp("09.12.2026г.    10:00       03             050,0\r\n");
    QTest::addColumn<QByteArray>("replacement");
    QTest::addColumn<bool>("renamedOver");  // else removed and written again
    QTest::addColumn<int>("rows");
    QTest::newRow("shorter, written again") << row << false << 1;
    QTest::newRow("shorter, renamed over") << row << true << 1;
    QByteArray asLong = row.repeated(kDevice5.size() / row.size());
    asLong.append(QByteArray(kDevice5.size() - asLong.size(), ' '));
    QTest::newRow("as long, renamed over") << asLong << true << int(kDevice5.size() / row.size());
    QTest::newRow("longer, renamed over") << row.repeated(9) << true << 9;
  }
  void aFileReplacedWhileFollowedIsReadAgain() {
    QFETCH(QByteArray, replacement);
    QFETCH(bool, renamedOver);
    QFETCH(int, rows);
    QTemporaryDir dir;
    const QString five = writeFile(dir, recordingFileName(5), kDevice5);
    ChartData data;
    QVERIFY(data.open(five, nullptr));
    QCOMPARE(data.rowCount(), std::size_t{4});
    if (renamedOver) {
      const QString next = writeFile(dir, QStringLiteral("next"), replacement);
      QVERIFY(std::rename(QFile::encodeName(next).constData(), QFile::encodeName(five).constData()) == 0);
    } else {
      QVERIFY(QFile::remove(five));
      writeFile(dir, recordingFileName(5), replacement);
    }
    QSignalSpy changed(&data, &ChartData::changed);
    data.refresh();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(data.rowCount(), std::size_t(rows));
    QCOMPARE(data.traces().front()->skipped, 0);
    for (const RecordedRow& r : data.traces().front()->rows) QCOMPARE(r.temperature, 500);
    QCOMPARE(data.traces().front()->address, 5);  // from the name, now that the header is gone
  }

  void anOutageBreaksTheCurve() {
    auto rows = minuteRows(0, 60);
    auto later = minuteRows(70 * 60'000, 60);  // ten minutes without rows
    rows.insert(rows.end(), later.begin(), later.end());
    const std::int64_t gap = gapThreshold(rows);
    QCOMPARE(gap, std::int64_t{150'000});
    QCOMPARE(plotSegments(rows, 0, 130 * 60'000, 1000, gap, Value::Temperature).size(), std::size_t{2});
    // One row missing is no outage.
    rows.erase(rows.begin() + 30);
    QCOMPARE(plotSegments(rows, 0, 130 * 60'000, 1000, gap, Value::Temperature).size(), std::size_t{2});
    // An outage narrower than one column cannot be seen at that scale.
    QCOMPARE(plotSegments(rows, 0, 130 * 60'000, 5, gap, Value::Temperature).size(), std::size_t{1});
  }

  void aYearIsThinnedToTheLeastAndGreatestOfEachColumn() {
    auto rows = minuteRows(0, 525'600);
    rows[300'000].temperature = 5000;  // a spike must survive the thinning
    rows[400'000].temperature = -400;
    const std::int64_t end = rows.back().msecs;
    const auto segments = plotSegments(rows, 0, end, 1000, gapThreshold(rows), Value::Temperature);
    QCOMPARE(segments.size(), std::size_t{1});
    QVERIFY(segments[0].size() <= 2 * 1001);
    double low = 1e9;
    double high = -1e9;
    for (const QPointF& p : segments[0]) {
      low = std::min(low, p.y());
      high = std::max(high, p.y());
    }
    QCOMPARE(high, 500.0);
    QCOMPARE(low, -40.0);
    // Zoomed into an hour: every row, plus one on each side.
    const auto hour = plotSegments(rows, 60 * 60'000, 120 * 60'000, 1000, gapThreshold(rows), Value::Step);
    QCOMPARE(hour[0].size(), std::size_t{61 + 2});
  }

  void theWheelZoomsAroundThePointerAndThinsAgain() {
    // Two days of rows, far more than the plot has pixel columns.
    QByteArray bytes = toCp1251(recordingHeader(9));
    const QDateTime start(QDate(2026, 12, 7), QTime(0, 0));
    for (int i = 0; i < 2880; ++i) {
      const QDateTime at = start.addSecs(i * 60);
      bytes += toCp1251(
          recordingRow(at.date().toString(QStringLiteral("dd.MM.yyyy")), at.time(),
                       {QStringLiteral("01"), QStringLiteral("%1,0").arg(i % 500, 3, 10, QLatin1Char('0'))}));
    }
    QTemporaryDir dir;
    ChartWindow window;
    QVERIFY(window.openFiles({writeFile(dir, recordingFileName(9), bytes)}, nullptr));
    window.resize(800, 500);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ChartView& view = window.view();
    view.replot();
    const auto [from, to] = view.timeRange();
    // Everything, widened to whole ticks (six hours for two days).
    QCOMPARE(from, start.toMSecsSinceEpoch());
    QCOMPARE(to, start.addDays(2).toMSecsSinceEpoch());
    const int thinned = view.pointCount();
    QVERIFY2(thinned < 2 * 2 * 800,
             qPrintable(QString::number(thinned)));  // two series, two a column at most

    // Three notches up with the pointer at the middle of the plot.
    const QRectF plot = view.chart()->plotArea();
    const QPoint middle = view.mapFromScene(view.chart()->mapToScene(plot.center()));
    for (int i = 0; i < 3; ++i) {
      QWheelEvent wheel(middle, view.mapToGlobal(middle), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                        Qt::NoScrollPhase, false);
      QApplication::sendEvent(view.viewport(), &wheel);
    }
    const auto [zoomFrom, zoomTo] = view.timeRange();
    const double factor = static_cast<double>(to - from) / static_cast<double>(zoomTo - zoomFrom);
    QVERIFY2(std::abs(factor - 1.953125) < 0.01, qPrintable(QString::number(factor)));
    QVERIFY(std::abs((zoomFrom + zoomTo) / 2 - (from + to) / 2) < 5 * 60'000);
    // Drawn again for the narrower span: every row in view, as few are left.
    QTRY_VERIFY(view.pointCount() != thinned);
    QVERIFY(view.pointCount() > 2 * (zoomTo - zoomFrom) / 60'000 - 4);
  }

  void readoutNamesTheNearestRowOfEachDevice() {
    QTemporaryDir dir;
    ChartWindow window;
    QVERIFY(window.openFiles(
        {writeFile(dir, recordingFileName(5), kDevice5), writeFile(dir, recordingFileName(7), kDevice7)},
        nullptr));
    const auto at = QDateTime(QDate(2026, 12, 8), QTime(1, 28, 20)).toMSecsSinceEpoch();
    QCOMPARE(window.view().readoutAt(at),
             QStringLiteral("08.12.2026 01:28   Адрес 5: -0,5 °C, шаг 1   Адрес 7: нет данных"));
    const auto inOutage = QDateTime(QDate(2026, 12, 8), QTime(1, 35)).toMSecsSinceEpoch();
    QVERIFY(window.view().readoutAt(inOutage).contains(QStringLiteral("Адрес 5: нет данных")));
  }

 private:
  QTranslator russian_;
};

QTEST_MAIN(ChartTest)
#include "chart_test.moc"
