#include "devices/qt_ui_executor.h"

#include <QMetaObject>
#include <QObject>

namespace rs485 {

void QtUiExecutor::post(std::function<void()> task) {
  QMetaObject::invokeMethod(target_, std::move(task), Qt::QueuedConnection);
}

}  // namespace rs485
