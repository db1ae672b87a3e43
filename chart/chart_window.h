#pragma once

#include <QChartView>
#include <QImage>
#include <QMainWindow>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>

#include "chart/chart_data.h"

class QDateTimeAxis;
class QLabel;
class QValueAxis;

namespace rs485::chart {

// The plot: temperature on the left axis, the step dotted on the right one,
// one colour per device. Left drag zooms into a span of time, the wheel
// zooms around the pointer, a middle drag or the arrow keys pan, a double
// click or Home shows everything. The curves are drawn from a thinned copy
// of the rows (one lowest and one highest point per pixel column) that is
// made again at each zoom, so a year of rows draws as fast as a day. A row
// without a neighbour within the gap rule is drawn as a point.
class ChartView : public QChartView {
  Q_OBJECT
 public:
  explicit ChartView(const ChartData& source, QWidget* parent = nullptr);

  // Everything in view again.
  void showAll();
  // Draws the curves of the span in view anew.
  void replot();
  // New rows: the first ones are shown whole; a view that reaches the
  // newest row follows the rows that come after it.
  void dataChanged();
  int pointCount() const { return points_; }
  // The span of time in view, msecs since the epoch.
  std::pair<std::int64_t, std::int64_t> timeRange() const;
  // The readout at a time: date, time, and each device's values. A row
  // counts when it is within half the device's gap rule, or within
  // `slack` msecs (what the pointer covers at the present zoom).
  QString readoutAt(std::int64_t msecs, std::int64_t slack = 0) const;

 signals:
  void readout(const QString& text);

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The values a replot has drawn within the span in view.
  struct Bounds {
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    void add(double v) {
      low = std::min(low, v);
      high = std::max(high, v);
    }
    bool empty() const { return low > high; }
  };
  // The span in view and the pixel columns it is thinned to.
  struct PlotSpan {
    std::int64_t from;
    std::int64_t to;
    int columns;
  };

  void scheduleReplot();
  void setTimeRange(std::int64_t from, std::int64_t to);
  void updateTimeFormat(std::int64_t from, std::int64_t to);
  // One device's curve of `value`: lines, the rows alone as points, and the
  // legend entry; `seen` takes the values drawn within the span.
  void plotCurve(std::size_t device, const Trace& trace, Value value, const PlotSpan& span, Bounds& seen);
  // Round ticks about the temperatures seen, none below zero for a curve above it.
  void fitTemperatureAxis(Bounds seen);

  const ChartData& data_;
  QDateTimeAxis* time_;
  QValueAxis* temperature_;
  QValueAxis* step_;
  QTimer replotTimer_;
  bool replotting_ = false;
  bool panning_ = false;
  QPointF panFrom_;
  int points_ = 0;
  bool shownRows_ = false;
  std::int64_t followedEnd_ = 0;
};

// The window: the plot, a menu to open files and export, files dropped on
// it, and a status line with the counts and the readout.
class ChartWindow : public QMainWindow {
  Q_OBJECT
 public:
  explicit ChartWindow(ReaderOptions options = {}, QWidget* parent = nullptr);

  // Opens each file; false with `error` naming the first one that failed.
  bool openFiles(const QStringList& paths, QString* error);
  ChartData& data() { return data_; }
  ChartView& view() { return *view_; }
  // The plot alone, at the size of the view.
  QImage image();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void openWithDialog();
  void exportWithDialog();
  void exportForExcelWithDialog();
  void openAndReport(const QStringList& paths);
  void updateStatus();

  ChartData data_;
  ChartView* view_;
  QLabel* counts_;
  QLabel* readout_;
  bool firstRows_ = true;
};

}  // namespace rs485::chart
