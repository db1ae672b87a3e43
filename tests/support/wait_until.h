#pragma once

// Waiting in a program with a Qt event loop: the loop runs (timers fire on
// time, queued calls from the worker threads are handled) while what is
// awaited is looked at every `every`, since much of it changes on other
// threads without an event here.

#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>

namespace rs485::test {

// True once `done` holds; false when `timeout` passed first. The time-out
// is a safety net, not a pace.
inline bool waitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10),
                      std::chrono::milliseconds every = std::chrono::milliseconds(1)) {
  if (done()) return true;
  QEventLoop loop;
  QTimer look;
  look.setTimerType(Qt::PreciseTimer);
  QObject::connect(&look, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  look.start(every);
  QTimer end;
  end.setSingleShot(true);
  QObject::connect(&end, &QTimer::timeout, &loop, &QEventLoop::quit);
  end.start(timeout);
  loop.exec();
  return done();
}

// Runs the event loop for `length`, as the program would run meanwhile.
inline void runFor(std::chrono::milliseconds length) {
  QEventLoop loop;
  QTimer::singleShot(length, Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace rs485::test
