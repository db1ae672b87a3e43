#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

#include "cli/command_line.h"

namespace rs485::cli {

// Every option of the program with its help text; each command takes its own.
struct CommandOptions {
  QCommandLineOption help, version, port, json, trace;  // every command
  QCommandLineOption timeout, from, to;                 // scan, and poll without addresses
  QCommandLineOption record, recordDir;                 // poll
  QCommandLineOption mqtt, topic, mqttUser, mqttPasswordFile, mqttCaFile;
  QCommandLineOption fast, replyWindow;         // scan
  QCommandLineOption interval, seconds;         // poll
  QCommandLineOption listen, serveReplyWindow;  // serve
};

CommandOptions declareOptions();

// The program's help, its options for every command, and the command argument.
void describeProgram(QCommandLineParser& parser, const CommandOptions& options);
// The help of `command` (spelled `name`): its description, arguments and options.
void describeCommand(QCommandLineParser& parser, Command command, const QString& name,
                     const CommandOptions& options);

}  // namespace rs485::cli
