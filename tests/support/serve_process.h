#pragma once

// `rs485-cli serve` run by a test as its own process on the simulator's
// pseudo-terminal, listening on a free port of 127.0.0.1 that it picks
// itself and names in its log. Its log (standard error) is gathered.

#include <signal.h>

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <chrono>
#include <string>

#include "tests/support/wait_until.h"

namespace rs485::test {

class ServeProcess {
 public:
  // `program`: the rs485-cli to run; `device`: the bus's line.
  ServeProcess(QString program, const std::string& device, QStringList options = {})
      : program_(std::move(program)),
        arguments_(QStringList{"--port", "COM1=" + QString::fromStdString(device), "serve", "--listen",
                               "127.0.0.1:0"} +
                   options) {}
  ~ServeProcess() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }
  ServeProcess(const ServeProcess&) = delete;
  ServeProcess& operator=(const ServeProcess&) = delete;

  // Up once it listens; false when it did not within 10 s.
  bool start() {
    process_.start(program_, arguments_);
    if (!process_.waitForStarted(10000)) return false;
    const QRegularExpression listening(QStringLiteral("serve: listening on 127\\.0\\.0\\.1:(\\d+)\n"));
    return waitUntil([&] {
             const QRegularExpressionMatch match = listening.match(log());
             if (match.hasMatch()) port_ = match.captured(1).toUShort();
             return port_ != 0 || process_.state() == QProcess::NotRunning;
           }) &&
           port_ != 0;
  }

  quint16 port() const { return port_; }
  std::string url() const { return "tcp://127.0.0.1:" + std::to_string(port_); }

  // Everything it wrote to standard error so far.
  QString log() {
    log_ += QString::fromUtf8(process_.readAllStandardError());
    return log_;
  }
  bool logContains(const QString& text, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return waitUntil([&] { return log().contains(text); }, timeout);
  }

  // SIGTERM, as systemd stops it; its exit status, or -1 when it did not end.
  int terminate() {
    ::kill(static_cast<pid_t>(process_.processId()), SIGTERM);
    if (!process_.waitForFinished(10000)) return -1;
    log();
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
  }

 private:
  QString program_;
  QStringList arguments_;
  QProcess process_;
  quint16 port_ = 0;
  QString log_;
};

}  // namespace rs485::test
