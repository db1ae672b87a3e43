#pragma once

#include <QStringList>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli/commands.h"
#include "cli/publisher.h"
#include "cli/serve.h"

namespace rs485::cli {

enum class Command { Scan, Read, Poll, SetAddress, Serve };

struct Invocation {
  Command command = Command::Scan;
  std::string port;  // "COMn", "COMn=PATH" or a device path
  bool json = false;
  std::string tracePath;  // the frames' trace, in the file system's encoding; empty: none
  ScanRange scan;         // scan, and poll without addresses
  int address = 0;        // read
  int oldAddress = 0;     // set-address
  int newAddress = 0;
  PollSettings poll;
  QString recordDirectory;  // empty: the working directory
  std::optional<MqttSettings> mqtt;
  ServeSettings serve;
};

// What the command line asks for, or the exit status when the program ends
// at once (help and version print to standard output and give 0, a usage
// error prints to standard error and gives 2). `arguments` includes the
// program name.
std::variant<Invocation, int> parseCommandLine(const QStringList& arguments);

}  // namespace rs485::cli
