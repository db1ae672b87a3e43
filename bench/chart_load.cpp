// Opening recording files in rs485-chart: a day, a month and a year of rows
// at one a minute (1,440 / 43,200 / 525,600 rows), written with the
// recording's own code. For each it prints the time to read the file into
// the chart's rows and to thin them for a 1280-pixel plot (in this process),
// and the wall time and peak resident size of `rs485-chart FILE --export
// OUT.png` (a separate process: start, read, plot, draw, exit).
//
//   chart_load [--runs N] [--binary PATH]
//   chart_load --write DIR [--hours H]   realistic files of devices 3, 17, 42
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "chart/chart_data.h"
#include "monitor/cp1251.h"
#include "monitor/digits.h"
#include "monitor/recording.h"
#include "monitor/row_date.h"

namespace {

using namespace rs485;

// A firing a day: heat to 600 °C, hold, heat to 950 °C, hold, cool down.
// `shift` moves the programme of a device by some minutes.
struct Firing {
  int step;
  int tenths;
};
Firing firingAt(long minute, int shift, unsigned& noise) {
  const long m = ((minute + shift) % 1440 + 1440) % 1440;
  double degrees = 0;
  int step = 0;
  if (m < 180) {
    step = 1, degrees = 20 + (600.0 - 20) * static_cast<double>(m) / 180;
  } else if (m < 240) {
    step = 2, degrees = 600;
  } else if (m < 360) {
    step = 3, degrees = 600 + 350.0 * static_cast<double>(m - 240) / 120;
  } else if (m < 420) {
    step = 4, degrees = 950;
  } else {
    step = 5, degrees = 25 + 925 * std::exp(-static_cast<double>(m - 420) / 200);
  }
  noise = noise * 1103515245u + 12345u;
  const int jitter = static_cast<int>((noise >> 16) % 7) - 3;
  return {step, static_cast<int>(std::lround(degrees * 10)) + jitter};
}

// One file of `rows` minutes from `start`, skipping the minutes in
// [gapFrom, gapTo); returns its size in bytes.
qint64 writeRecording(const QString& path, int address, const QDateTime& start, long rows, int shift,
                      long gapFrom = -1, long gapTo = -1) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return -1;
  file.write(toCp1251(recordingHeader(address)));
  const RowDateFormat dates;
  unsigned noise = static_cast<unsigned>(address);
  QString day;
  for (long i = 0; i < rows; ++i) {
    if (i >= gapFrom && i < gapTo) continue;
    const QDateTime at = start.addSecs(i * 60);
    const Firing f = firingAt(i + start.time().hour() * 60 + start.time().minute(), shift, noise);
    day += recordingRow(dates.format(at.date()), at.time(),
                        {recordedStepText(f.step), recordedTemperatureText(f.tenths)});
    if (day.size() > (1 << 16)) {
      file.write(toCp1251(day));
      day.clear();
    }
  }
  file.write(toCp1251(day));
  return file.size();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

struct Child {
  bool ok = false;
  double ms = 0;
  long peakKiB = 0;
};
Child exportOnce(const std::string& binary, const QString& file, const QString& out) {
  QElapsedTimer timer;
  timer.start();
  const pid_t pid = fork();
  if (pid == 0) {
    const QByteArray f = QFile::encodeName(file);
    const QByteArray o = QFile::encodeName(out);
    if (std::freopen("/dev/null", "w", stderr) == nullptr) _exit(126);
    execl(binary.c_str(), binary.c_str(), f.constData(), "--export", o.constData(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  return {WIFEXITED(status) && WEXITSTATUS(status) == 0, static_cast<double>(timer.nsecsElapsed()) / 1e6,
          usage.ru_maxrss};
}

int writeExamples(const QString& dir, int hours) {
  const QDateTime start(QDate(2026, 12, 7), QTime(6, 0));
  const long rows = hours * 60L;
  // Device 17 was silent for half an hour (an outage, not a line).
  const qint64 a = writeRecording(QDir(dir).filePath(recordingFileName(3)), 3, start, rows, 0);
  const qint64 b = writeRecording(QDir(dir).filePath(recordingFileName(17)), 17, start, rows, -45, 200, 230);
  const qint64 c = writeRecording(QDir(dir).filePath(recordingFileName(42)), 42, start, rows, -100);
  std::printf("wrote %ld rows a device into %s (%lld, %lld, %lld bytes)\n", rows, qPrintable(dir),
              static_cast<long long>(a), static_cast<long long>(b), static_cast<long long>(c));
  return a > 0 && b > 0 && c > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  int runs = 3;
  std::string binary = RS485_CHART;
  QString writeDir;
  int hours = 14;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--binary" && i + 1 < argc) {
      binary = argv[++i];
    } else if (arg == "--write" && i + 1 < argc) {
      writeDir = QString::fromLocal8Bit(argv[++i]);
    } else if (arg == "--hours" && i + 1 < argc) {
      hours = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: chart_load [--runs N] [--binary PATH] | --write DIR [--hours H]\n");
      return 2;
    }
  }
  if (!writeDir.isEmpty()) return writeExamples(writeDir, hours);

  QTemporaryDir dir;
  struct Size {
    const char* name;
    long rows;
  };
  std::printf("chart_load: %d runs each; export to PNG at 1280x720 on the offscreen platform\n", runs);
  for (const Size& size : {Size{"day", 1440}, Size{"month", 43'200}, Size{"year", 525'600}}) {
    const QString file = dir.filePath(QStringLiteral("%1.txt").arg(size.name));
    const qint64 bytes = writeRecording(file, 5, QDateTime(QDate(2026, 1, 1), QTime(0, 0)), size.rows, 0);
    std::vector<double> read, thin, child, peak;
    for (int r = 0; r < runs; ++r) {
      QElapsedTimer timer;
      timer.start();
      chart::ChartData data;
      if (!data.open(file, nullptr)) return 1;
      read.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
      timer.restart();
      const auto& rows = data.traces().front()->rows;
      const auto points = chart::plotSegments(rows, rows.front().msecs, rows.back().msecs, 1280,
                                              data.traces().front()->gapMsecs, chart::Value::Temperature);
      thin.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
      if (points.empty()) return 1;
      const Child c = exportOnce(binary, file, dir.filePath(QStringLiteral("out.png")));
      if (!c.ok) {
        std::printf("  %s: rs485-chart --export failed\n", size.name);
        return 1;
      }
      child.push_back(c.ms);
      peak.push_back(static_cast<double>(c.peakKiB));
    }
    std::printf(
        "  %-5s %7ld rows %9lld bytes: read %7.1f ms, thin %5.1f ms | rs485-chart --export: %7.1f ms, "
        "peak RSS %6.0f KiB (%.1f MiB)\n",
        size.name, size.rows, static_cast<long long>(bytes), median(read), median(thin), median(child),
        median(peak), median(peak) / 1024);
  }
  return 0;
}
