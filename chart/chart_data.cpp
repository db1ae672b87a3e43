#include "chart/chart_data.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace rs485::chart {

namespace {
std::optional<FileIdentity> identityOf(const QString& path) {
  return fileIdentity(QFile::encodeName(path).toStdString());
}
}  // namespace

QString Trace::label() const {
  return address >= 0 ? QCoreApplication::translate("rs485-chart", "Address %1").arg(address)
                      : QFileInfo(path).fileName();
}

ChartData::ChartData(ReaderOptions options, QObject* parent) : QObject(parent), options_(options) {
  connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &ChartData::refresh);
  connect(&poll_, &QTimer::timeout, this, &ChartData::refresh);
  poll_.start(1000);
}

bool ChartData::open(const QString& path, QString* error) {
  auto trace = std::make_unique<Trace>();
  trace->path = QFileInfo(path).absoluteFilePath();
  trace->reader = std::make_unique<RecordingReader>(options_);
  if (!readMore(*trace, error)) return false;
  if (trace->address < 0) trace->address = addressFromFileName(QFileInfo(path).fileName());
  watcher_.addPath(trace->path);
  traces_.push_back(std::move(trace));
  emit changed();
  return true;
}

bool ChartData::readMore(Trace& trace, QString* error) {
  QFile file(trace.path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (error != nullptr) *error = file.errorString();
    return false;
  }
  // Of the file opened, not of whatever the name may name a moment later.
  const std::optional<FileIdentity> identity = fileIdentity(file.handle());
  const bool replaced = file.size() < trace.readBytes || identity != trace.identity;
  trace.identity = identity;
  if (replaced) {
    // Replaced or cut short: read it again from the start.
    trace.reader = std::make_unique<RecordingReader>(options_);
    trace.readBytes = 0;
  }
  if (!file.seek(trace.readBytes)) {
    if (error != nullptr) *error = file.errorString();
    return false;
  }
  while (true) {
    const QByteArray chunk = file.read(1 << 20);
    if (chunk.isEmpty()) break;
    trace.reader->feed(chunk);
    trace.readBytes += chunk.size();
  }
  if (file.error() != QFileDevice::NoError) {
    if (error != nullptr) *error = file.errorString();
    return false;
  }
  RecordingContents& got = trace.reader->contents();
  if (got.address >= 0) trace.address = got.address;
  trace.skipped = got.skipped;
  auto& rows = trace.rows;
  if (replaced) rows.clear();
  if (got.rows.empty()) return true;
  // The reader hands its rows over; the trace keeps them in time order.
  const auto oldSize = static_cast<std::ptrdiff_t>(rows.size());
  rows.insert(rows.end(), got.rows.begin(), got.rows.end());
  got.rows.clear();
  got.rows.shrink_to_fit();
  const auto byTime = [](const RecordedRow& a, const RecordedRow& b) { return a.msecs < b.msecs; };
  if (!std::is_sorted(rows.begin() + std::max<std::ptrdiff_t>(oldSize - 1, 0), rows.end(), byTime)) {
    std::stable_sort(rows.begin(), rows.end(), byTime);
  }
  trace.gapMsecs = gapThreshold(rows);
  return true;
}

void ChartData::refresh() {
  bool grew = false;
  for (auto& trace : traces_) {
    const std::size_t rows = trace->rows.size();
    const int skipped = trace->skipped;
    const std::int64_t bytes = trace->readBytes;
    QFile probe(trace->path);
    if (probe.size() == bytes && identityOf(trace->path) == trace->identity) continue;
    if (!readMore(*trace, nullptr)) continue;
    // A replaced file drops out of the watcher; take it in again.
    if (!watcher_.files().contains(trace->path)) watcher_.addPath(trace->path);
    grew = grew || trace->rows.size() != rows || trace->skipped != skipped;
  }
  if (grew) emit changed();
}

int ChartData::skipped() const {
  int n = 0;
  for (const auto& t : traces_) n += t->skipped;
  return n;
}

std::size_t ChartData::rowCount() const {
  std::size_t n = 0;
  for (const auto& t : traces_) n += t->rows.size();
  return n;
}

bool ChartData::span(std::int64_t* first, std::int64_t* last) const {
  bool any = false;
  for (const auto& t : traces_) {
    if (t->rows.empty()) continue;
    *first = any ? std::min(*first, t->rows.front().msecs) : t->rows.front().msecs;
    *last = any ? std::max(*last, t->rows.back().msecs) : t->rows.back().msecs;
    any = true;
  }
  return any;
}

std::int64_t gapThreshold(const std::vector<RecordedRow>& rows) {
  constexpr std::int64_t kMinute = 60'000;
  if (rows.size() < 3) return 3 * kMinute;
  // A sample of the steps is enough for their median.
  std::vector<std::int64_t> steps;
  const std::size_t stride = std::max<std::size_t>(1, rows.size() / 4096);
  for (std::size_t i = stride; i < rows.size(); i += stride)
    steps.push_back(rows[i].msecs - rows[i - 1].msecs);
  std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2), steps.end());
  const std::int64_t median = std::max<std::int64_t>(steps[steps.size() / 2], kMinute);
  // One missing row is no outage yet; two are.
  return median * 5 / 2;
}

double valueOf(const RecordedRow& row, Value value) {
  return value == Value::Temperature ? row.temperature / 10.0 : static_cast<double>(row.step);
}

std::vector<std::vector<QPointF>> plotSegments(const std::vector<RecordedRow>& rows, std::int64_t from,
                                               std::int64_t to, int columns, std::int64_t gapMsecs,
                                               Value value) {
  std::vector<std::vector<QPointF>> segments;
  if (rows.empty() || to < from) return segments;
  const auto byTime = [](const RecordedRow& r, std::int64_t t) { return r.msecs < t; };
  auto first = std::lower_bound(rows.begin(), rows.end(), from, byTime);
  auto last = std::lower_bound(first, rows.end(), to + 1, byTime);
  if (first != rows.begin()) --first;
  if (last != rows.end()) ++last;
  columns = std::max(columns, 1);
  const double width = std::max(1.0, static_cast<double>(to - from) / columns);
  const std::int64_t breakAt = std::max<std::int64_t>(gapMsecs, static_cast<std::int64_t>(width));
  const bool all = last - first <= 4 * columns;

  std::vector<QPointF>* segment = nullptr;
  const auto point = [&](const RecordedRow& r) {
    segment->emplace_back(static_cast<double>(r.msecs), valueOf(r, value));
  };
  // The column being gathered: its least and greatest rows.
  long column = 0;
  const RecordedRow* low = nullptr;
  const RecordedRow* high = nullptr;
  const auto flush = [&] {
    if (low == nullptr) return;
    if (low == high) {
      point(*low);
    } else {
      point(low->msecs <= high->msecs ? *low : *high);
      point(low->msecs <= high->msecs ? *high : *low);
    }
    low = high = nullptr;
  };
  const RecordedRow* previous = nullptr;
  for (auto it = first; it != last; ++it) {
    const RecordedRow& r = *it;
    if (previous == nullptr || r.msecs - previous->msecs > breakAt) {
      flush();
      segments.emplace_back();
      segment = &segments.back();
    }
    previous = &r;
    if (all) {
      point(r);
      continue;
    }
    const long c = static_cast<long>(static_cast<double>(r.msecs - from) / width);
    if (low != nullptr && c != column) flush();
    column = c;
    if (low == nullptr || valueOf(r, value) < valueOf(*low, value)) low = &r;
    if (high == nullptr || valueOf(r, value) > valueOf(*high, value)) high = &r;
  }
  flush();
  return segments;
}

}  // namespace rs485::chart
