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
#include <variant>

#include "chart/chart_window.h"
#include "chart/csv_export.h"
#include "i18n/catalogue.h"
#include "monitor/row_date.h"

namespace {

void print(FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
  std::fflush(stream);
}

int usageError(const QString& message) {
  print(stderr, QStringLiteral("rs485-chart: %1\n").arg(message) +
                    QCoreApplication::translate("rs485-chart", "Try 'rs485-chart --help'.") +
                    QLatin1Char('\n'));
  return 2;
}

int fail(const QString& message) {
  print(stderr, QStringLiteral("rs485-chart: %1\n").arg(message));
  return 1;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
  QSaveFile out(path);
  return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.commit();
}

struct Request {
  QStringList files;
  QString out;       // --export
  QString excelOut;  // --export-excel
  bool exportSet = false;
  bool excelSet = false;
};

// Reads the command line with a core application only, so that --help,
// --version and a mistake need no display. Returns what to do, or the exit
// status when the program should end now.
std::variant<Request, int> parseArguments(int argc, char* argv[]) {
  QCoreApplication core(argc, argv);
  rs485::i18n::installCatalogue();
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QCoreApplication::translate("rs485-chart",
                                  "Charts of the recording files of rs485-master: the temperature and the "
                                  "step of each device over time.\n"
                                  "Files that grow while they are shown are followed as they are recorded."));
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                QCoreApplication::translate("rs485-chart", "Show this help and exit."));
  const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                   QCoreApplication::translate("rs485-chart", "Show the version and exit."));
  const QCommandLineOption exportTo(
      QStringLiteral("export"),
      QCoreApplication::translate("rs485-chart",
                                  "Write the chart (FILE.png) or the rows as UTF-8 CSV (FILE.csv) and exit "
                                  "without opening a window."),
      QCoreApplication::translate("rs485-chart", "FILE"));
  const QCommandLineOption exportExcel(
      QStringLiteral("export-excel"),
      QCoreApplication::translate(
          "rs485-chart",
          "Write the rows as CSV for Excel (FILE.csv: semicolons between the fields, a "
          "decimal comma, UTF-8 with a BOM) and exit without opening a window. May be "
          "given together with --export."),
      QCoreApplication::translate("rs485-chart", "FILE"));
  parser.addOption(help);
  parser.addOption(version);
  parser.addOption(exportTo);
  parser.addOption(exportExcel);
  parser.addPositionalArgument(
      QCoreApplication::translate("rs485-chart", "files"),
      QCoreApplication::translate("rs485-chart", "Recording files (ЗОР_номер - N.txt)."),
      QCoreApplication::translate("rs485-chart", "[FILE...]"));
  if (!parser.parse(QCoreApplication::arguments())) return usageError(parser.errorText());
  if (parser.isSet(help)) {
    // The usage line names the program, not the path it was started by.
    QString text = parser.helpText();
    text.replace(QRegularExpression(QStringLiteral("^([^:]*: )\\S*")), QStringLiteral("\\1rs485-chart"));
    print(stdout, text);
    return 0;
  }
  if (parser.isSet(version)) {
    print(stdout, QStringLiteral("rs485-chart " RS485_VERSION "\n"));
    return 0;
  }
  Request request{parser.positionalArguments(), parser.value(exportTo), parser.value(exportExcel),
                  parser.isSet(exportTo), parser.isSet(exportExcel)};
  if (request.exportSet) {
    if (!request.out.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive) &&
        !request.out.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive)) {
      return usageError(
          QCoreApplication::translate("rs485-chart", "--export: the file name must end in .png or .csv"));
    }
    if (request.files.isEmpty())
      return usageError(QCoreApplication::translate("rs485-chart", "--export: no recording files given"));
  }
  if (request.excelSet) {
    if (!request.excelOut.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) {
      return usageError(
          QCoreApplication::translate("rs485-chart", "--export-excel: the file name must end in .csv"));
    }
    if (request.files.isEmpty())
      return usageError(
          QCoreApplication::translate("rs485-chart", "--export-excel: no recording files given"));
  }
  return request;
}

}  // namespace

int main(int argc, char* argv[]) {
  auto parsed = parseArguments(argc, argv);
  if (const int* status = std::get_if<int>(&parsed)) return *status;
  const Request& request = std::get<Request>(parsed);
  const QStringList& files = request.files;
  const QString& out = request.out;
  const QString& excelOut = request.excelOut;
  const bool csv = out.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive);
  const bool png = request.exportSet && !csv;
  // No window and no display: the offscreen platform draws the image.
  if (png) qputenv("QT_QPA_PLATFORM", "offscreen");
  const auto skippedRows = [](qsizetype count) {
    print(stderr, QStringLiteral("rs485-chart: %1\n")
                      .arg(QCoreApplication::translate("rs485-chart", "rows skipped: %1").arg(count)));
  };
  // The tables, once the rows are read; false when one cannot be written.
  const auto writeTables = [&](const rs485::chart::ChartData& data) {
    using rs485::chart::CsvForm;
    for (const auto& [path, form] :
         {std::pair{csv ? out : QString(), CsvForm::Plain}, std::pair{excelOut, CsvForm::Excel}}) {
      if (path.isEmpty()) continue;
      if (!writeFile(path, rs485::chart::csvOf(data, form))) {
        fail(QCoreApplication::translate("rs485-chart", "cannot write %1").arg(path));
        return false;
      }
    }
    if (data.skipped() > 0) skippedRows(data.skipped());
    return true;
  };

  const rs485::ReaderOptions options{
      rs485::RowDateFormat::fromEnvironment().pattern().startsWith(QStringLiteral("dd/"))};
  if ((request.exportSet || request.excelSet) && !png) {
    QCoreApplication app(argc, argv);
    rs485::i18n::installCatalogue();
    rs485::chart::ChartData data(options);
    for (const QString& file : files) {
      QString error;
      if (!data.open(file, &error))
        return fail(
            QCoreApplication::translate("rs485-chart", "cannot read the file %1: %2").arg(file, error));
    }
    return writeTables(data) ? 0 : 1;
  }

  QApplication app(argc, argv);
  rs485::i18n::installCatalogue();
  QApplication::setApplicationName(QStringLiteral("rs485-chart"));
  QApplication::setApplicationVersion(QStringLiteral(RS485_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("rs485-chart"));
  rs485::chart::ChartWindow window(options);
  QString error;
  if (!window.openFiles(files, &error)) return fail(error);
  if (png) {
    window.resize(1280, 720);
    const QImage image = window.image();
    if (!image.save(out, "PNG"))
      return fail(QCoreApplication::translate("rs485-chart", "cannot write %1").arg(out));
    return writeTables(window.data()) ? 0 : 1;
  }
  if (window.data().skipped() > 0) skippedRows(window.data().skipped());
  window.show();
  return QApplication::exec();
}
