#pragma once

#include <QDateTime>
#include <functional>

namespace rs485 {

// Local time, injectable so that tests can set the minute.
using Clock = std::function<QDateTime()>;

inline Clock systemClock() {
  return [] { return QDateTime::currentDateTime(); };
}

}  // namespace rs485
