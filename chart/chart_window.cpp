#include "chart/chart_window.h"

#include <QApplication>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QSaveFile>
#include <QScatterSeries>
#include <QStatusBar>
#include <QToolTip>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "chart/csv_export.h"
#include "monitor/data_text.h"

namespace rs485::chart {

namespace {

constexpr std::int64_t kMinute = 60'000;
// The diameter of the point that stands for a row without neighbours, in pixels.
constexpr double kPointSize = 8;

QColor deviceColour(std::size_t index) {
  static const std::array<QColor, 8> colours{
      QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c), QColor(0x94, 0x67, 0xbd),
      QColor(0xff, 0x7f, 0x0e), QColor(0x8c, 0x56, 0x4b), QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf)};
  return colours[index % colours.size()];
}

// The decimal separator follows the language of the texts around it.
QString degrees(int tenths) {
  return QString::fromLatin1(decimalTenths(tenths))
      .replace(QLatin1Char('.'), QCoreApplication::translate("rs485-chart", ".", "decimal separator"));
}

}  // namespace

ChartView::ChartView(const ChartData& source, QWidget* parent)
    : QChartView(new QChart, parent),
      data_(source),
      time_(new QDateTimeAxis),
      temperature_(new QValueAxis),
      step_(new QValueAxis) {
  setRenderHint(QPainter::Antialiasing);
  setRubberBand(QChartView::HorizontalRubberBand);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  QChart* c = chart();
  c->legend()->setAlignment(Qt::AlignBottom);
  c->setMargins(QMargins(6, 6, 6, 6));
  time_->setTitleText(QCoreApplication::translate("rs485-chart", "Time"));
  time_->setTickCount(7);
  temperature_->setTitleText(QCoreApplication::translate("rs485-chart", "Temperature, °C"));
  temperature_->setLabelFormat(QStringLiteral("%.1f"));
  step_->setTitleText(QCoreApplication::translate("rs485-chart", "Step"));
  step_->setLabelFormat(QStringLiteral("%d"));
  step_->setGridLineVisible(false);
  c->addAxis(time_, Qt::AlignBottom);
  c->addAxis(temperature_, Qt::AlignLeft);
  c->addAxis(step_, Qt::AlignRight);
  replotTimer_.setSingleShot(true);
  connect(&replotTimer_, &QTimer::timeout, this, &ChartView::replot);
  connect(time_, &QDateTimeAxis::rangeChanged, this, [this] {
    if (!replotting_) scheduleReplot();
  });
  showAll();
}

std::pair<std::int64_t, std::int64_t> ChartView::timeRange() const {
  return {time_->min().toMSecsSinceEpoch(), time_->max().toMSecsSinceEpoch()};
}

void ChartView::scheduleReplot() { replotTimer_.start(0); }

void ChartView::setTimeRange(std::int64_t from, std::int64_t to) {
  if (to - from < 10 * kMinute) {
    const std::int64_t middle = from + (to - from) / 2;
    from = middle - 5 * kMinute;
    to = middle + 5 * kMinute;
  }
  time_->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(to));
  scheduleReplot();
}

void ChartView::showAll() {
  std::int64_t first = 0;
  std::int64_t last = 0;
  if (!data_.span(&first, &last)) {
    last = QDateTime::currentMSecsSinceEpoch();
    first = last - 60 * kMinute;
  }
  followedEnd_ = last;
  if (last - first < 10 * kMinute) {
    const std::int64_t middle = first + (last - first) / 2;
    first = middle - 5 * kMinute;
    last = middle + 5 * kMinute;
  }
  // Whole ticks of local time: the span widened to a round step, at most
  // eight of them.
  static constexpr std::array<std::int64_t, 17> kSteps{1,   2,   5,    10,   15,    30,    60,    120,  180,
                                                       360, 720, 1440, 2880, 10080, 20160, 40320, 80640};
  std::int64_t step = kSteps.back() * kMinute;
  for (const std::int64_t minutes : kSteps) {
    if ((last - first) / (minutes * kMinute) <= 8) {
      step = minutes * kMinute;
      break;
    }
  }
  const std::int64_t offset = std::int64_t{QDateTime::fromMSecsSinceEpoch(first).offsetFromUtc()} * 1000;
  const std::int64_t from = (first + offset) / step * step - offset;
  std::int64_t to = (last + offset) / step * step - offset;
  if (to < last) to += step;
  time_->setTickCount(static_cast<int>((to - from) / step) + 1);
  setTimeRange(from, to);
}

void ChartView::dataChanged() {
  std::int64_t first = 0;
  std::int64_t last = 0;
  if (!data_.span(&first, &last)) return scheduleReplot();
  if (!shownRows_) {
    shownRows_ = true;
    return showAll();
  }
  // A view that reaches the newest row keeps reaching it as rows come.
  const std::int64_t from = time_->min().toMSecsSinceEpoch();
  const std::int64_t to = time_->max().toMSecsSinceEpoch();
  if (to >= followedEnd_ && last > to) setTimeRange(from, last);
  followedEnd_ = std::max(followedEnd_, last);
  scheduleReplot();
}

void ChartView::updateTimeFormat(std::int64_t from, std::int64_t to) {
  const std::int64_t span = to - from;
  const bool oneDay =
      QDateTime::fromMSecsSinceEpoch(from).date() == QDateTime::fromMSecsSinceEpoch(to).date();
  // Ticks between whole minutes (after a zoom or a pan) show their seconds.
  const std::int64_t interval = span / std::max(1, time_->tickCount() - 1);
  const bool wholeMinutes = from % kMinute == 0 && interval % kMinute == 0;
  time_->setFormat(oneDay && !wholeMinutes && span <= 6 * 60 * kMinute ? QStringLiteral("hh:mm:ss")
                   : oneDay                                            ? QStringLiteral("hh:mm")
                   : span <= 90LL * 24 * 60 * kMinute                  ? QStringLiteral("dd.MM hh:mm")
                                                                       : QStringLiteral("dd.MM.yyyy"));
}

void ChartView::replot() {
  replotting_ = true;
  chart()->removeAllSeries();
  const std::int64_t from = time_->min().toMSecsSinceEpoch();
  const std::int64_t to = time_->max().toMSecsSinceEpoch();
  const int columns = std::max(100, static_cast<int>(chart()->plotArea().width()));
  Bounds degreesSeen;
  Bounds stepsSeen;
  points_ = 0;
  for (std::size_t i = 0; i < data_.traces().size(); ++i) {
    const Trace& trace = *data_.traces()[i];
    plotCurve(i, trace, Value::Temperature, {from, to, columns}, degreesSeen);
    plotCurve(i, trace, Value::Step, {from, to, columns}, stepsSeen);
  }
  // Attaching series may move the axes: the span in view stays as it was.
  time_->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(to));
  updateTimeFormat(from, to);
  fitTemperatureAxis(degreesSeen);
  step_->setRange(0, std::max(10.0, std::ceil(stepsSeen.empty() ? 0 : stepsSeen.high * 1.1 + 1)));
  step_->applyNiceNumbers();
  replotting_ = false;
}

void ChartView::plotCurve(std::size_t device, const Trace& trace, Value value, const PlotSpan& span,
                          Bounds& seen) {
  QChart* c = chart();
  const bool isTemperature = value == Value::Temperature;
  auto segments = plotSegments(trace.rows, span.from, span.to, span.columns, trace.gapMsecs, value);
  // A device without rows in view keeps its place in the legend.
  if (segments.empty()) segments.emplace_back();
  std::size_t count = 0;
  for (const auto& segment : segments) count += segment.size();
  // A dense curve is drawn with a one-pixel pen: wider ones are stroked
  // as outlines, which costs seconds for a year of rows.
  const bool dense = count > static_cast<std::size_t>(span.columns);
  const QColor colour = isTemperature ? deviceColour(device) : deviceColour(device).lighter(130);
  QPen pen(colour);
  pen.setWidthF(dense ? 1.0 : isTemperature ? 2.0 : 1.2);
  if (!isTemperature) pen.setStyle(Qt::DotLine);
  const auto attach = [&](QXYSeries* series, bool inLegend) {
    series->setName(isTemperature
                        ? trace.label()
                        : QCoreApplication::translate("rs485-chart", "%1, step").arg(trace.label()));
    c->addSeries(series);
    series->attachAxis(time_);
    series->attachAxis(isTemperature ? temperature_ : step_);
    if (!inLegend) {
      for (QLegendMarker* marker : c->legend()->markers(series)) marker->setVisible(false);
    }
  };
  // A line needs two rows: a row alone is drawn as a point.
  QList<QPointF> alone;
  bool first = true;
  for (const auto& segment : segments) {
    points_ += static_cast<int>(segment.size());
    for (const QPointF& p : segment) {
      if (p.x() >= static_cast<double>(span.from) && p.x() <= static_cast<double>(span.to)) seen.add(p.y());
    }
    if (segment.size() == 1) {
      alone.append(segment.front());
      continue;
    }
    auto* series = new QLineSeries;
    series->setPen(pen);
    series->replace(QList<QPointF>(segment.begin(), segment.end()));
    attach(series, first);
    first = false;
  }
  // The legend shows the line even when every row is alone.
  if (first) {
    auto* series = new QLineSeries;
    series->setPen(pen);
    attach(series, true);
  }
  if (!alone.isEmpty()) {
    auto* series = new QScatterSeries;
    series->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    series->setMarkerSize(isTemperature ? kPointSize : kPointSize - 2);
    series->setColor(colour);
    series->setBorderColor(colour);
    series->replace(alone);
    attach(series, false);
  }
}

void ChartView::fitTemperatureAxis(Bounds seen) {
  if (seen.empty()) seen = {0, 100};
  const double pad = std::max(1.0, (seen.high - seen.low) * 0.05);
  // Ticks at round values: 1, 2 or 5 times a power of ten, about six of them.
  const double raw = (seen.high - seen.low + 2 * pad) / 6;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  const double interval = raw / power < 1.5   ? power
                          : raw / power < 3.5 ? 2 * power
                          : raw / power < 7.5 ? 5 * power
                                              : 10 * power;
  temperature_->setTickType(QValueAxis::TicksDynamic);
  temperature_->setTickAnchor(0);
  temperature_->setTickInterval(interval);
  temperature_->setLabelFormat(interval < 1 ? QStringLiteral("%.1f") : QStringLiteral("%.0f"));
  // A curve that stays above zero gets no axis below it.
  const double lower = seen.low >= 0 ? std::max(0.0, seen.low - pad) : seen.low - pad;
  temperature_->setRange(std::floor(lower / interval) * interval,
                         std::ceil((seen.high + pad) / interval) * interval);
}

QString ChartView::readoutAt(std::int64_t msecs, std::int64_t slack) const {
  QString text = QDateTime::fromMSecsSinceEpoch(msecs).toString(QStringLiteral("dd.MM.yyyy hh:mm"));
  for (const auto& trace : data_.traces()) {
    const auto& rows = trace->rows;
    auto it = std::lower_bound(rows.begin(), rows.end(), msecs,
                               [](const RecordedRow& r, std::int64_t t) { return r.msecs < t; });
    const RecordedRow* nearest = nullptr;
    if (it != rows.end()) nearest = &*it;
    if (it != rows.begin() && (nearest == nullptr || msecs - std::prev(it)->msecs < nearest->msecs - msecs)) {
      nearest = &*std::prev(it);
    }
    text += QStringLiteral("   ") + trace->label() + QStringLiteral(": ");
    if (nearest == nullptr ||
        std::abs(nearest->msecs - msecs) > std::max(std::max(trace->gapMsecs, kMinute) / 2, slack)) {
      text += QCoreApplication::translate("rs485-chart", "no data");
    } else {
      text += QCoreApplication::translate("rs485-chart", "%1 °C, step %2")
                  .arg(degrees(nearest->temperature))
                  .arg(nearest->step);
    }
  }
  return text;
}

void ChartView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::MiddleButton ||
      (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier) != 0)) {
    panning_ = true;
    panFrom_ = event->position();
    setCursor(Qt::ClosedHandCursor);
    event->accept();
    return;
  }
  QChartView::mousePressEvent(event);
}

void ChartView::mouseReleaseEvent(QMouseEvent* event) {
  if (panning_) {
    panning_ = false;
    unsetCursor();
    event->accept();
    return;
  }
  QChartView::mouseReleaseEvent(event);
}

void ChartView::mouseMoveEvent(QMouseEvent* event) {
  if (panning_) {
    chart()->scroll(panFrom_.x() - event->position().x(), 0);
    panFrom_ = event->position();
    event->accept();
    return;
  }
  const QRectF plot = chart()->plotArea();
  const QPointF at = chart()->mapFromScene(mapToScene(event->position().toPoint()));
  if (plot.contains(at) && plot.width() > 0) {
    const std::int64_t from = time_->min().toMSecsSinceEpoch();
    const std::int64_t to = time_->max().toMSecsSinceEpoch();
    const auto msecs = from + static_cast<std::int64_t>((at.x() - plot.left()) / plot.width() *
                                                        static_cast<double>(to - from));
    // A row drawn alone is under the pointer wherever its point is.
    const auto slack =
        static_cast<std::int64_t>(kPointSize / 2 / plot.width() * static_cast<double>(to - from));
    const QString text = readoutAt(msecs, slack);
    QToolTip::showText(event->globalPosition().toPoint(), text.split(QStringLiteral("   ")).join('\n'), this);
    emit readout(text);
  } else {
    QToolTip::hideText();
  }
  QChartView::mouseMoveEvent(event);
}

void ChartView::mouseDoubleClickEvent(QMouseEvent* event) {
  showAll();
  event->accept();
}

void ChartView::wheelEvent(QWheelEvent* event) {
  const QRectF plot = chart()->plotArea();
  if (plot.width() <= 0 || event->angleDelta().y() == 0) return;
  const double factor = event->angleDelta().y() > 0 ? 1.25 : 0.8;
  const QPointF at = chart()->mapFromScene(mapToScene(event->position().toPoint()));
  const double share = std::clamp((at.x() - plot.left()) / plot.width(), 0.0, 1.0);
  const auto from = static_cast<double>(time_->min().toMSecsSinceEpoch());
  const auto to = static_cast<double>(time_->max().toMSecsSinceEpoch());
  const double centre = from + share * (to - from);
  setTimeRange(static_cast<std::int64_t>(centre - (centre - from) / factor),
               static_cast<std::int64_t>(centre + (to - centre) / factor));
  event->accept();
}

void ChartView::keyPressEvent(QKeyEvent* event) {
  const std::int64_t from = time_->min().toMSecsSinceEpoch();
  const std::int64_t to = time_->max().toMSecsSinceEpoch();
  const std::int64_t tenth = (to - from) / 10;
  switch (event->key()) {
    case Qt::Key_Left:
      setTimeRange(from - tenth, to - tenth);
      break;
    case Qt::Key_Right:
      setTimeRange(from + tenth, to + tenth);
      break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      setTimeRange(from + tenth, to - tenth);
      break;
    case Qt::Key_Minus:
      setTimeRange(from - tenth, to + tenth);
      break;
    case Qt::Key_Home:
      showAll();
      break;
    default:
      QChartView::keyPressEvent(event);
      return;
  }
  event->accept();
}

void ChartView::resizeEvent(QResizeEvent* event) {
  QChartView::resizeEvent(event);
  scheduleReplot();
}

ChartWindow::ChartWindow(ReaderOptions options, QWidget* parent)
    : QMainWindow(parent),
      data_(options),
      view_(new ChartView(data_)),
      counts_(new QLabel),
      readout_(new QLabel) {
  setWindowTitle(QCoreApplication::translate("rs485-chart", "Charts of the recorded readings"));
  setWindowIcon(QIcon::fromTheme(QStringLiteral("rs485-chart")));
  setCentralWidget(view_);
  setAcceptDrops(true);
  resize(1100, 680);
  QMenu* file = menuBar()->addMenu(QCoreApplication::translate("rs485-chart", "&File"));
  file->addAction(QCoreApplication::translate("rs485-chart", "&Open…"), QKeySequence::Open, this,
                  &ChartWindow::openWithDialog);
  file->addAction(QCoreApplication::translate("rs485-chart", "&Export…"), QKeySequence(Qt::CTRL | Qt::Key_E),
                  this, &ChartWindow::exportWithDialog);
  file->addAction(QCoreApplication::translate("rs485-chart", "Export for Excel…"), this,
                  &ChartWindow::exportForExcelWithDialog);
  file->addSeparator();
  file->addAction(QCoreApplication::translate("rs485-chart", "&Quit"), QKeySequence::Quit, this,
                  &QWidget::close);
  QMenu* view = menuBar()->addMenu(QCoreApplication::translate("rs485-chart", "&View"));
  view->addAction(QCoreApplication::translate("rs485-chart", "Show &all"), QKeySequence(Qt::Key_Home), view_,
                  &ChartView::showAll);
  statusBar()->addWidget(readout_, 1);
  statusBar()->addPermanentWidget(counts_);
  view_->setToolTip(QString());
  connect(view_, &ChartView::readout, readout_, &QLabel::setText);
  connect(&data_, &ChartData::changed, this, [this] {
    view_->dataChanged();
    updateStatus();
  });
  updateStatus();
  readout_->setText(QCoreApplication::translate(
      "rs485-chart",
      "Drag over a span of time to zoom in; the wheel zooms, the middle button or Shift pans, a "
      "double click shows everything"));
}

bool ChartWindow::openFiles(const QStringList& paths, QString* error) {
  bool ok = true;
  for (const QString& path : paths) {
    QString why;
    if (!data_.open(path, &why)) {
      if (error != nullptr)
        *error = QCoreApplication::translate("rs485-chart", "cannot read the file %1: %2").arg(path, why);
      ok = false;
      break;
    }
  }
  // The files just opened are all in view, whatever span the first one set.
  if (!paths.isEmpty() && data_.rowCount() > 0) view_->showAll();
  return ok;
}

void ChartWindow::openAndReport(const QStringList& paths) {
  QString error;
  if (!openFiles(paths, &error)) {
    QMessageBox::warning(this, windowTitle(), error.left(1).toUpper() + error.mid(1));
  }
}

void ChartWindow::openWithDialog() {
  const QStringList paths = QFileDialog::getOpenFileNames(
      this, QCoreApplication::translate("rs485-chart", "Open recording files"), QString(),
      QCoreApplication::translate("rs485-chart", "Recording files (*.txt);;All files (*)"));
  if (!paths.isEmpty()) openAndReport(paths);
}

void ChartWindow::exportWithDialog() {
  const QString path = QFileDialog::getSaveFileName(
      this, QCoreApplication::translate("rs485-chart", "Export"), QString(),
      QCoreApplication::translate("rs485-chart", "PNG image (*.png);;CSV table (*.csv)"));
  if (path.isEmpty()) return;
  bool ok = false;
  if (path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) {
    QSaveFile out(path);
    ok = out.open(QIODevice::WriteOnly) && out.write(csvOf(data_)) >= 0 && out.commit();
  } else {
    ok = view_->grab().save(path, "PNG");
  }
  if (!ok)
    QMessageBox::warning(this, windowTitle(),
                         QCoreApplication::translate("rs485-chart", "Cannot write the file %1").arg(path));
}

void ChartWindow::exportForExcelWithDialog() {
  // Excel takes a file for CSV by its suffix alone.
  QFileDialog dialog(this, QCoreApplication::translate("rs485-chart", "Export for Excel"), QString(),
                     QCoreApplication::translate("rs485-chart", "CSV table for Excel (*.csv)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("csv"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const QString path = dialog.selectedFiles().front();
  QSaveFile out(path);
  if (!out.open(QIODevice::WriteOnly) || out.write(csvOf(data_, CsvForm::Excel)) < 0 || !out.commit())
    QMessageBox::warning(this, windowTitle(),
                         QCoreApplication::translate("rs485-chart", "Cannot write the file %1").arg(path));
}

QImage ChartWindow::image() {
  if (!isVisible()) {
    // Laid out and drawn, but never put on a screen.
    setAttribute(Qt::WA_DontShowOnScreen);
    show();
  }
  QCoreApplication::processEvents();
  view_->replot();
  QCoreApplication::processEvents();
  return view_->grab().toImage();
}

void ChartWindow::dragEnterEvent(QDragEnterEvent* event) {
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) {
      event->acceptProposedAction();
      return;
    }
  }
}

void ChartWindow::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  event->acceptProposedAction();
  openAndReport(paths);
}

void ChartWindow::updateStatus() {
  QString text = QCoreApplication::translate("rs485-chart", "Files: %1, rows: %2")
                     .arg(data_.traces().size())
                     .arg(data_.rowCount());
  if (data_.skipped() > 0)
    text += QCoreApplication::translate("rs485-chart", ", rows skipped: %1").arg(data_.skipped());
  counts_->setText(text);
  QStringList names;
  for (const auto& trace : data_.traces()) names << QFileInfo(trace->path).fileName();
  setWindowTitle(names.isEmpty()
                     ? QCoreApplication::translate("rs485-chart", "Charts of the recorded readings")
                     : QCoreApplication::translate("rs485-chart", "%1 — charts of the recorded readings")
                           .arg(names.join(QStringLiteral(", "))));
}

}  // namespace rs485::chart
