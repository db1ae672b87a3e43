// rs485-chart: plots recording files of rs485-master, or exports them
// without a window (--export OUT.png / OUT.csv, --export-excel OUT.csv).
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <QSaveFile>
#include <cstdio>
#include <utility>

#include "chart/chart_window.h"
#include "chart/csv_export.h"
#include "monitor/row_date.h"

namespace {

void print(FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
  std::fflush(stream);
}

int usageError(const QString& text) {
  print(stderr, QStringLiteral("rs485-chart: %1\nПодробнее: rs485-chart --help\n").arg(text));
  return 2;
}

int fail(const QString& text) {
  print(stderr, QStringLiteral("rs485-chart: %1\n").arg(text));
  return 1;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
  QSaveFile out(path);
  return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.commit();
}

}  // namespace

int main(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Графики файлов записи rs485-master: температура и шаг каждого устройства по времени.\n"
                     "Файлы, дописываемые во время просмотра, показываются по мере записи."));
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Показать эту справку и выйти."));
  const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                   QStringLiteral("Показать версию и выйти."));
  const QCommandLineOption exportTo(
      QStringLiteral("export"),
      QStringLiteral(
          "Записать график (ФАЙЛ.png) или строки в UTF-8 CSV (ФАЙЛ.csv) и выйти, не открывая окна."),
      QStringLiteral("ФАЙЛ"));
  const QCommandLineOption exportExcel(
      QStringLiteral("export-excel"),
      QStringLiteral("Записать строки в CSV для Excel (ФАЙЛ.csv: точка с запятой между полями, десятичная "
                     "запятая, UTF-8 с BOM) и выйти, не открывая окна. Можно вместе с --export."),
      QStringLiteral("ФАЙЛ"));
  parser.addOption(help);
  parser.addOption(version);
  parser.addOption(exportTo);
  parser.addOption(exportExcel);
  parser.addPositionalArgument(QStringLiteral("файлы"), QStringLiteral("Файлы записи (ЗОР_номер - N.txt)."),
                               QStringLiteral("[ФАЙЛ...]"));
  if (!parser.parse(arguments)) return usageError(parser.errorText());
  if (parser.isSet(help)) {
    // helpText() names the program after the running application, which
    // does not exist yet.
    QString text = parser.helpText();
    text.replace(QRegularExpression(QStringLiteral("^[^:]*: \\S*")), QStringLiteral("usage: rs485-chart"));
    print(stdout, text);
    return 0;
  }
  if (parser.isSet(version)) {
    print(stdout, QStringLiteral("rs485-chart " RS485_VERSION "\n"));
    return 0;
  }
  const QStringList files = parser.positionalArguments();
  const QString out = parser.value(exportTo);
  const QString excelOut = parser.value(exportExcel);
  const bool csv = out.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive);
  const bool png = parser.isSet(exportTo) && !csv;
  if (parser.isSet(exportTo)) {
    if (!csv && !out.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) {
      return usageError(QStringLiteral("--export: имя файла должно оканчиваться на .png или .csv"));
    }
    if (files.isEmpty()) return usageError(QStringLiteral("--export: не указаны файлы записи"));
    // No window and no display: the offscreen platform draws the image.
    if (png) qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  if (parser.isSet(exportExcel)) {
    if (!excelOut.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) {
      return usageError(QStringLiteral("--export-excel: имя файла должно оканчиваться на .csv"));
    }
    if (files.isEmpty()) return usageError(QStringLiteral("--export-excel: не указаны файлы записи"));
  }
  // The tables, once the rows are read; false when one cannot be written.
  const auto writeTables = [&](const rs485::chart::ChartData& data) {
    using rs485::chart::CsvForm;
    for (const auto& [path, form] :
         {std::pair{csv ? out : QString(), CsvForm::Plain}, std::pair{excelOut, CsvForm::Excel}}) {
      if (path.isEmpty()) continue;
      if (!writeFile(path, rs485::chart::csvOf(data, form))) {
        fail(QStringLiteral("не удаётся записать %1").arg(path));
        return false;
      }
    }
    if (data.skipped() > 0)
      print(stderr, QStringLiteral("rs485-chart: пропущено строк: %1\n").arg(data.skipped()));
    return true;
  };

  const rs485::ReaderOptions options{
      rs485::RowDateFormat::fromEnvironment().pattern().startsWith(QStringLiteral("dd/"))};
  if ((parser.isSet(exportTo) || parser.isSet(exportExcel)) && !png) {
    QCoreApplication app(argc, argv);
    rs485::chart::ChartData data(options);
    for (const QString& file : files) {
      QString error;
      if (!data.open(file, &error))
        return fail(QStringLiteral("не удаётся прочитать файл %1: %2").arg(file, error));
    }
    return writeTables(data) ? 0 : 1;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("rs485-chart"));
  QApplication::setApplicationVersion(QStringLiteral(RS485_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("rs485-chart"));
  rs485::chart::ChartWindow window(options);
  QString error;
  if (!window.openFiles(files, &error)) return fail(error);
  if (png) {
    window.resize(1280, 720);
    const QImage image = window.image();
    if (!image.save(out, "PNG")) return fail(QStringLiteral("не удаётся записать %1").arg(out));
    return writeTables(window.data()) ? 0 : 1;
  }
  if (window.data().skipped() > 0) {
    print(stderr, QStringLiteral("rs485-chart: пропущено строк: %1\n").arg(window.data().skipped()));
  }
  window.show();
  return QApplication::exec();
}
