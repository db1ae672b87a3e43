// rs485-sim: a simulated bus of controllers for rs485-master.
#include <signal.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "sim/cli.h"
#include "sim/sim_server.h"
#include "sim/text.h"

int main(int argc, char** argv) {
  using namespace rs485::sim;
  useLocaleLanguage();
  CommandLine cl;
  try {
    cl = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::cerr << "rs485-sim: " << e.what() << '\n'
              << message(QT_TRANSLATE_NOOP("rs485-sim", "Try 'rs485-sim --help'.")) << '\n';
    return 2;
  }
  if (cl.help) {
    std::cout << usage();
    return 0;
  }
  if (cl.version) {
    std::cout << "rs485-sim " << RS485_VERSION << '\n';
    return 0;
  }

  // The signals are taken by sigwait below; every thread inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);
  sigaddset(&signals, SIGUSR2);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  try {
    SimServer server(cl.options);
    server.start();
    std::cout << server.toolPath() << std::endl;
    std::string addresses;
    // Appended piece by piece: GCC 12 at -O3 falsely reports -Wrestrict inside
    // std::operator+ of a literal and a temporary string.
    for (const int a : server.addresses()) {
      if (!addresses.empty()) addresses += ' ';
      addresses += std::to_string(a);
    }
    std::string line =
        message(QT_TRANSLATE_NOOP("rs485-sim", "devices %1 on %2"), {addresses, server.toolPath()});
    if (!server.linkPath().empty())
      line += message(QT_TRANSLATE_NOOP("rs485-sim", " (link %1)"), {server.linkPath()});
    line += cl.options.pace ? message(QT_TRANSLATE_NOOP("rs485-sim", ", paced"))
                            : message(QT_TRANSLATE_NOOP("rs485-sim", ", not paced"));
    std::cerr << "rs485-sim: " << line << std::endl;

    for (;;) {
      int signal = 0;
      if (sigwait(&signals, &signal) != 0) continue;
      if (signal == SIGUSR2) {
        if (server.unplugFor(cl.outage))
          std::cerr << "rs485-sim: "
                    << message(QT_TRANSLATE_NOOP("rs485-sim", "line gone for %1 ms"),
                               {std::to_string(cl.outage.count())})
                    << std::endl;
        continue;
      }
      if (signal != SIGUSR1) break;
      if (server.lineUp()) {
        if (server.lineGone())
          std::cerr << "rs485-sim: " << message(QT_TRANSLATE_NOOP("rs485-sim", "line gone")) << std::endl;
      } else if (server.comeBack()) {
        std::cout << server.toolPath() << std::endl;
        std::cerr << "rs485-sim: "
                  << message(QT_TRANSLATE_NOOP("rs485-sim", "line back on %1"), {server.toolPath()})
                  << std::endl;
      }
    }
    server.stop();
  } catch (const std::exception& e) {
    std::cerr << "rs485-sim: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
