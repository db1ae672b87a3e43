#pragma once

#include <QStringList>
#include <QTest>
#include <map>
#include <memory>
#include <string>

#include "sim/sim_server.h"
#include "ui/head_form.h"

namespace rs485::test {

// The simulator on a pseudo-terminal with one device at address 5.
inline sim::SimOptions oneDeviceBus() {
  sim::SimOptions options;
  sim::DeviceConfig device;
  device.address = 5;
  options.devices.push_back(device);
  options.pace = false;
  options.speed = 0;
  return options;
}

// A shown main window whose error boxes are recorded instead of shown, on a
// screen wide enough for the design size unless told otherwise.
struct WindowRig {
  explicit WindowRig(PortNames names, int screenWidth = THeadForm::kSmallScreenWidth)
      : window(std::make_unique<THeadForm>(std::move(names))) {
    window->setErrorBox([this](const QString& text) { errors << text; });
    window->setScreenWidth([screenWidth] { return screenWidth; });
    window->show();
    exposed = QTest::qWaitForWindowExposed(window.get());
  }

  template <typename T = QWidget>
  T* control(const char* name) const {
    return window->findChild<T*>(QString::fromLatin1(name));
  }

  std::unique_ptr<THeadForm> window;
  QStringList errors;
  bool exposed = false;
};

// The window on COM1 = the simulator's line.
struct SimWindowRig {
  SimWindowRig() : sim(oneDeviceBus()) {
    sim.start();
    rig = std::make_unique<WindowRig>(PortNames({{"COM1", sim.toolPath()}}));
  }

  THeadForm& window() const { return *rig->window; }

  sim::SimServer sim;
  std::unique_ptr<WindowRig> rig;
};

}  // namespace rs485::test
