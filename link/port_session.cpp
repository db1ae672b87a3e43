#include "link/port_session.h"

#include <cerrno>
#include <system_error>
#include <utility>

namespace rs485 {

namespace {
// Bytes of the driver's input and output queues, where a driver has them.
constexpr int kDriverQueueSize = 2000;
}  // namespace

PortSession::PortSession(Exchange& exchange, PortNames names, DeviceOpener opener)
    : exchange_(exchange), names_(std::move(names)), opener_(std::move(opener)) {}

PortSession::~PortSession() {
  // Whoever listens to the engine may be gone already: nothing is told.
  exchange_.stop();
  device_.reset();
}

std::string PortSession::lastErrorText() const {
  std::string text = describe(lastError_);
  if (lastErrno_ != 0) text += " (" + systemErrorText(lastErrno_) + ")";
  return text;
}

bool PortSession::COMOpen(const std::string& portName) {
  COMClose();
  lastError_ = OpenError::None;
  lastErrno_ = 0;
  const auto node = names_.resolve(portName);
  lastPath_ = node.value_or(std::string());
  // The device reopens itself by the path it was opened by when its line
  // comes back after an unplug.
  const auto path = names_.stablePath(portName);
  if (!node || !path) {
    lastError_ = OpenError::NotFound;
    return false;
  }

  // errno is cleared before each step, so that a step that fails without a
  // system call leaves no stale value behind.
  OpenError error = OpenError::None;
  errno = 0;
  std::unique_ptr<SerialDevice> device = opener_(*path, error);
  if (!device) {
    lastErrno_ = errno;
    lastError_ = error == OpenError::None ? OpenError::Other : error;
    return false;
  }
  // A device dropped on the way out of here closes itself.
  errno = 0;
  if (!device->readLineSettings() || !device->applyLineSettings() || !device->clearTimeouts()) {
    lastErrno_ = errno;
    lastError_ = OpenError::SettingsRejected;
    return false;
  }
  device->setQueueSizes(kDriverQueueSize, kDriverQueueSize);
  device->purgeInput();

  try {
    exchange_.start(*device);
  } catch (const std::system_error&) {
    lastError_ = OpenError::Other;
    return false;
  }
  device_ = std::move(device);
  return true;
}

void PortSession::COMClose() {
  exchange_.stop();
  device_.reset();
  exchange_.settleRequest();
}

}  // namespace rs485
