#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace rs485::test {

// The Linux side of a run under wine (scripts/windows-port-tests): the
// simulator's bus behind the pseudo-terminal that COM1 leads to, and a helper
// of the script that does for a test what a Windows program cannot do there
// (read the pty's settings, signal the simulator). A test asks with a
// request file in the run's folder and the helper answers with a file.
class WineHost {
 public:
  // From RS485_WINE_FOLDER; empty when the tests run outside the script.
  static std::optional<WineHost> fromEnvironment();

  // What the helper answered, or nothing when it did not within `timeout`.
  // Commands: "settings" (stty -a of the simulator's pty), "unplug" and
  // "replug" (the simulator's SIGUSR1; answered once the COM1 link has
  // gone, or is back).
  std::optional<std::string> ask(const std::string& command,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

 private:
  explicit WineHost(std::string folder) : folder_(std::move(folder)) {}
  std::string folder_;  // the run's folder, as a Windows path (Z:\...)
};

}  // namespace rs485::test
