#pragma once

// ser2net, a serial device server that is not ours, run by the test as its
// own foreground process: a private configuration, bound to 127.0.0.1 on a
// free port, connected only to the simulator's pseudo-terminal. Never the
// packaged service, never the machine's own serial ports.

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <chrono>
#include <string>

#include "link/unique_fd.h"
#include "tests/support/wait_until.h"

namespace rs485::test {

#ifndef SER2NET_PROGRAM
#define SER2NET_PROGRAM ""
#endif

class Ser2net {
 public:
  enum class Mode { Raw, Rfc2217 };

  // `line`: the speed and framing ser2net sets on the device itself, in its
  // own notation ("2400n81").
  Ser2net(std::string device, Mode mode, std::string line = "2400n81")
      : device_(std::move(device)), mode_(mode), line_(std::move(line)), port_(freePort()) {}
  ~Ser2net() { stop(); }
  Ser2net(const Ser2net&) = delete;
  Ser2net& operator=(const Ser2net&) = delete;

  static bool installed() { return QFile::exists(QStringLiteral(SER2NET_PROGRAM)); }

  std::string url() const {
    return std::string(mode_ == Mode::Raw ? "tcp" : "rfc2217") + "://127.0.0.1:" + std::to_string(port_);
  }
  int port() const { return port_; }

  // Up once it listens; false when it did not within 10 s or ended.
  bool start() {
    writeConfiguration();
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(QStringLiteral(SER2NET_PROGRAM),
                   {"-n", "-u", "-c", dir_.filePath("ser2net.yaml"), "-P", dir_.filePath("ser2net.pid")});
    if (!process_.waitForStarted(10000)) return false;
    return waitUntil([this] { return listening() || process_.state() == QProcess::NotRunning; },
                     std::chrono::seconds(10)) &&
           process_.state() == QProcess::Running;
  }

  void stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }

  // What ser2net said, for a failure's message.
  QString output() { return QString::fromLocal8Bit(process_.readAll()); }

 private:
  // A port the kernel gave out a moment ago; never 2000-2001 or 3000-3001,
  // which the packaged service uses (the ephemeral range starts far above).
  static int freePort() {
    const UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return 0;
    return ntohs(address.sin_port);
  }

  void writeConfiguration() {
    QFile file(dir_.filePath("ser2net.yaml"));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    QTextStream out(&file);
    const QString accepter = mode_ == Mode::Raw ? QStringLiteral("tcp,127.0.0.1,%1")
                                                : QStringLiteral("telnet(rfc2217),tcp,127.0.0.1,%1");
    out << "%YAML 1.1\n---\n"
        << "connection: &bus\n"
        << "    accepter: " << accepter.arg(port_) << "\n"
        << "    enable: on\n"
        << "    options:\n"
        << "      kickolduser: true\n"
        << "    connector: serialdev," << QString::fromStdString(device_) << ","
        << QString::fromStdString(line_) << ",local\n";
  }

  // The port in the kernel's table of listening sockets.
  bool listening() const {
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly)) return false;
    const QString local = QStringLiteral("0100007F:%1").arg(port_, 4, 16, QLatin1Char('0')).toUpper();
    for (const QByteArray& line : table.readAll().split('\n')) {
      const QList<QByteArray> fields = line.simplified().split(' ');
      if (fields.size() > 3 && QString::fromLatin1(fields[1]) == local && fields[3] == "0A") return true;
    }
    return false;
  }

  std::string device_;
  Mode mode_;
  std::string line_;
  int port_;
  QTemporaryDir dir_;
  QProcess process_;
};

}  // namespace rs485::test
