#include "ui/chart_menu.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QTableWidget>
#include <cstdio>
#include <utility>

#include "devices/messages.h"

namespace rs485 {

QString chartProgram() {
  const QDir here(QCoreApplication::applicationDirPath());
  for (const QString& candidate : {here.filePath(QStringLiteral("rs485-chart")),
                                   here.filePath(QStringLiteral("../chart/rs485-chart"))}) {
    const QFileInfo info(candidate);
    if (info.isFile() && info.isExecutable()) return info.canonicalFilePath();
  }
  return QStandardPaths::findExecutable(QStringLiteral("rs485-chart"));
}

int addressOfCaption(const QString& caption) {
  if (!caption.startsWith(msg::deviceCaptionPrefix())) return -1;
  bool ok = false;
  const int address = caption.mid(msg::deviceCaptionPrefix().size()).toInt(&ok);
  return ok ? address : -1;
}

void installChartMenu(QTableWidget* list, std::function<QString(int address)> recordingPath) {
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(list, &QWidget::customContextMenuRequested, list,
                   [list, recordingPath = std::move(recordingPath)](const QPoint& at) {
                     const QTableWidgetItem* item = list->itemAt(at);
                     const int address = item == nullptr ? -1 : addressOfCaption(item->text());
                     if (address < 0) return;
                     QMenu menu(list);
                     QAction* chart = menu.addAction(QStringLiteral("График"));
                     QObject::connect(chart, &QAction::triggered, list, [&recordingPath, address] {
                       const QString program = chartProgram();
                       const QString file = QFileInfo(recordingPath(address)).absoluteFilePath();
                       if (program.isEmpty() || !QProcess::startDetached(program, {file})) {
                         std::fprintf(stderr, "rs485-master: cannot start rs485-chart\n");
                       }
                     });
                     menu.exec(list->viewport()->mapToGlobal(at));
                   });
}

}  // namespace rs485
