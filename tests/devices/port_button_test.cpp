// The port button and the first steps of every tick, against the fake
// window, over a scripted line or a real device node.
#include "devices/port_button.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "devices/messages.h"
#include "devices/open_failure.h"
#include "devices/read_tick.h"
#include "tests/devices/rig.h"
#include "tests/link/fake_line.h"
#include "tests/support/fake_port_controls.h"

namespace rs485::test {
namespace {

using Lines = std::vector<std::string>;

std::string status(const QString& s) { return "status " + s.toStdString(); }

struct PortRig {
  Rig rig;
  FakePortControls controls{rig.log};
  std::vector<std::string> steps;  // of the scripted line
  bool destroyed = false;
  // COM5 names nothing: no device folders to count serial devices in.
  PortSession session{rig.exchange,
                      PortNames(std::map<std::string, std::string>{{"COM1", "/fake"}, {"COM2", "/dev/null"}},
                                "/nonexistent-dev", "/nonexistent-sys"),
                      [this](const std::string& path, OpenError& error) -> std::unique_ptr<SerialDevice> {
                        if (path != "/fake") return openLinuxSerialDevice(path, error);
                        return std::make_unique<FakeLine>("", &destroyed, &steps);
                      }};
  std::ostringstream errors;

  // OpenClose clicked: its caption says whether the port opens or closes.
  void click() {
    if (controls.caption == msg::openCaption()) {
      openPort(rig.view, controls, session, controls.port, errors);
    } else {
      closePort(rig.view, controls, session, rig.state);
    }
  }
};

TEST(PortButton, OpenEnablesWhatAnOpenPortAllowsInOrder) {
  PortRig p;
  p.click();
  EXPECT_TRUE(p.session.isOpen());
  EXPECT_TRUE(p.rig.exchange.running());
  EXPECT_EQ(p.rig.log,
            (Lines{"find on", "timeouts on", "ports off", "caption " + msg::closeCaption().toStdString(),
                   "panel on", "digits on", "new digits on", "install on",
                   "find " + msg::findCaption().toStdString(), status(msg::searchPrompt())}));
  EXPECT_TRUE(p.errors.str().empty());
  p.session.COMClose();
}

TEST(PortButton, CloseResetsTheWindowThenClosesThePort) {
  PortRig p;
  p.click();
  p.rig.state.FoundDevices = {{3, 0}, {17, 0}};
  p.rig.view.list = {"Адрес: 3", "Адрес: 17"};
  p.rig.log.clear();

  p.click();
  EXPECT_EQ(p.rig.log, (Lines{"find off", "ports on", "timeouts off", "list off", "list clear", "panel off",
                              "digits off", "digit 0 0", "digit 1 0", "digit 2 0", "new digits off",
                              "new digit 0 0", "new digit 1 0", "new digit 2 0", "install off",
                              status(msg::openPortPrompt()), "caption " + msg::openCaption().toStdString()}));
  EXPECT_TRUE(p.rig.state.FoundDevices.empty());
  EXPECT_TRUE(p.rig.view.list.isEmpty());
  EXPECT_FALSE(p.session.isOpen());
  EXPECT_FALSE(p.rig.exchange.running());
  EXPECT_TRUE(p.destroyed);
}

TEST(PortButton, APortThatDoesNotOpenIsReportedAndChangesNothingElse) {
  PortRig p;
  p.controls.port = QStringLiteral("COM2");  // /dev/null: no serial device
  p.click();
  EXPECT_EQ(p.rig.log, (Lines{"error " + msg::cannotOpenPort().toStdString()}));
  EXPECT_EQ(p.rig.view.errors.at(0).second, FocusTarget::None);
  EXPECT_EQ(p.controls.caption, msg::openCaption());
  EXPECT_FALSE(p.session.isOpen());
  EXPECT_EQ(
      p.errors.str(),
      "rs485-master: cannot open COM2 (/dev/null): not a serial device (Inappropriate ioctl for device)\n");

  p.controls.port = QStringLiteral("COM5");  // names nothing: no system call failed
  p.errors.str({});
  p.click();
  EXPECT_EQ(p.errors.str(), "rs485-master: cannot open COM5 (no device): no such serial device\n");
}

// brltty is named only where it can be the cause: a device that is not there.
TEST(OpenFailure, NamesBrlttyWhenTheDeviceIsMissingWhileItRuns) {
  const struct {
    OpenError error;
    int systemError;
    bool brltty;
    std::string expected;
  } cases[] = {
      {OpenError::NotFound, 0, false, "no such serial device"},
      {OpenError::NotFound, ENOENT, false, "no such serial device (No such file or directory)"},
      {OpenError::NotFound, ENOENT, true,
       "no such serial device (No such file or directory); brltty (the braille display service) is running "
       "and "
       "may have claimed the adapter: stop it with 'sudo systemctl stop brltty-udev.service brltty.service', "
       "or remove it with 'sudo apt remove brltty', then plug the adapter in again"},
      {OpenError::Busy, EBUSY, true, "the port is in use by another program (Device or resource busy)"},
      {OpenError::PermissionDenied, EACCES, true,
       "permission denied; add the user to the \"dialout\" group and log in again (Permission denied)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(openFailureText(c.error, c.systemError, c.brltty).toStdString(), c.expected);
  }
}

TEST(ReadTick, PurgesBothQueuesThenCountsWhatWaits) {
  PortRig p;
  EXPECT_EQ(beginReadTick(p.rig.exchange), 0) << "no port: nothing to purge or count";
  p.click();
  p.steps.clear();
  EXPECT_EQ(beginReadTick(p.rig.exchange), 0);
  EXPECT_EQ(p.steps, (Lines{"purge output", "purge input"}));
  p.session.COMClose();
}

}  // namespace
}  // namespace rs485::test
