// The rs485-cli program as a user runs it: its command line, its exit
// codes, and MQTT end to end against a real broker started here.

#include <gtest/gtest.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "tests/cli/cli_rig.h"

using namespace rs485;
using namespace rs485::test;
using namespace std::chrono_literals;

namespace {

struct Outcome {
  int status = -1;
  QString out;
  QString err;
};

Outcome run(const QStringList& arguments, int timeoutMs = 20000) {
  QProcess process;
  process.start(QStringLiteral(RS485_CLI), arguments);
  Outcome result;
  if (!process.waitForFinished(timeoutMs)) {
    process.kill();
    process.waitForFinished();
    return result;
  }
  result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  result.out = QString::fromUtf8(process.readAllStandardOutput());
  result.err = QString::fromUtf8(process.readAllStandardError());
  return result;
}

int freePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

// Debian's broker on a free localhost port, keeping its sessions on disk so
// that a restart loses no subscription.
class Broker {
 public:
  Broker() : port(freePort()) {
    QFile config(dir.filePath("mosquitto.conf"));
    config.open(QIODevice::WriteOnly);
    config.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence true\n"
                                "persistence_location %2/\nlog_dest none\n")
                     .arg(port)
                     .arg(dir.path())
                     .toUtf8());
  }
  ~Broker() { stop(); }

  bool start() {
    process.start(QStringLiteral(MOSQUITTO_BROKER), {QStringLiteral("-c"), dir.filePath("mosquitto.conf")});
    if (!process.waitForStarted()) return false;
    // Up once it takes a connection.
    for (int i = 0; i < 500; ++i) {
      const int fd = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(static_cast<std::uint16_t>(port));
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
      close(fd);
      if (up) return true;
      if (process.state() != QProcess::Running) return false;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }
  void stop() {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();  // saves the sessions
    process.waitForFinished(5000);
  }

  QTemporaryDir dir;
  int port;
  QProcess process;
};

// A subscriber with a session that outlives a broker restart (QoS 1, not
// clean), collecting every message by topic.
class Subscriber {
 public:
  Subscriber(int port, const std::string& filter) {
    mosquitto_lib_init();
    client_ = mosquitto_new("cli-test-subscriber", false, this);
    mosquitto_connect_callback_set(client_, [](mosquitto* m, void* self, int rc) {
      if (rc == 0) mosquitto_subscribe(m, nullptr, static_cast<Subscriber*>(self)->filter_.c_str(), 1);
    });
    mosquitto_subscribe_callback_set(client_, [](mosquitto*, void* self, int, int, const int*) {
      static_cast<Subscriber*>(self)->subscribed_ = true;
    });
    mosquitto_message_callback_set(client_, [](mosquitto*, void* self, const mosquitto_message* m) {
      auto* s = static_cast<Subscriber*>(self);
      std::lock_guard lock(s->mutex_);
      s->messages_.insert({m->topic, std::string(static_cast<const char*>(m->payload),
                                                 static_cast<std::size_t>(m->payloadlen))});
    });
    filter_ = filter;
    mosquitto_reconnect_delay_set(client_, 1, 1, false);
    connected = mosquitto_connect(client_, "127.0.0.1", port, 10) == MOSQ_ERR_SUCCESS &&
                mosquitto_loop_start(client_) == MOSQ_ERR_SUCCESS;
  }
  ~Subscriber() {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, true);
    mosquitto_destroy(client_);
  }
  bool waitSubscribed() {
    for (int i = 0; i < 500 && !subscribed_; ++i) std::this_thread::sleep_for(10ms);
    return subscribed_;
  }
  std::set<std::pair<std::string, std::string>> messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }

  bool connected = false;

 private:
  mosquitto* client_;
  std::string filter_;
  std::atomic<bool> subscribed_{false};
  mutable std::mutex mutex_;
  std::set<std::pair<std::string, std::string>> messages_;
};

sim::SimServer& bus(std::unique_ptr<sim::SimServer>& sim, const std::vector<int>& addresses) {
  sim::SimOptions o;
  for (const int a : addresses) o.devices.push_back(device(a));
  o.pace = false;
  sim = std::make_unique<sim::SimServer>(o);
  sim->start();
  return *sim;
}

}  // namespace

TEST(CliProgram, HelpAndVersionNeedNoPortAndNoDisplay) {
  for (const QStringList& arguments :
       {QStringList{"--help"}, QStringList{"scan", "--help"}, QStringList{"read", "--help"},
        QStringList{"poll", "--help"}, QStringList{"set-address", "--help"}, QStringList{"--version"}}) {
    const Outcome r = run(arguments);
    EXPECT_EQ(r.status, 0) << arguments.join(' ').toStdString();
    EXPECT_FALSE(r.out.isEmpty()) << arguments.join(' ').toStdString();
  }
  EXPECT_TRUE(run({"poll", "--help"}).out.contains("passed over until its next turn"));
  EXPECT_EQ(run({"--version"}).out.trimmed(), QStringLiteral("rs485-cli 0.1.0"));
}

TEST(CliProgram, UsageErrorsExitTwo) {
  for (const QStringList& arguments : {
           QStringList{},
           QStringList{"--port", "COM1"},
           QStringList{"--port", "COM1", "listen"},
           QStringList{"scan"},
           QStringList{"--port", "COM1", "scan", "--timeout", "400"},
           QStringList{"--port", "COM1", "scan", "--from", "10", "--to", "9"},
           QStringList{"--port", "COM1", "scan", "--to", "248"},
           QStringList{"--port", "COM1", "read"},
           QStringList{"--port", "COM1", "read", "0"},
           QStringList{"--port", "COM1", "read", "248"},
           QStringList{"--port", "COM1", "read", "7", "8"},
           QStringList{"--port", "COM1", "set-address", "5", "5"},
           QStringList{"--port", "COM1", "set-address", "5"},
           QStringList{"--port", "COM1", "poll", "--mqtt", "host:0"},
           QStringList{"--port", "COM1", "poll", "--topic", "x"},
           QStringList{"--port", "COM1", "poll", "--seconds", "-1"},
           QStringList{"--port", "COM1", "scan", "--bogus"},
       }) {
    const Outcome r = run(arguments);
    EXPECT_EQ(r.status, 2) << arguments.join(' ').toStdString();
    EXPECT_TRUE(r.err.startsWith("rs485-cli: ")) << r.err.toStdString();
  }
}

TEST(CliProgram, APortThatCannotBeOpenedExitsThreeWithTheReason) {
  QTemporaryDir dir;
  QFile plain(dir.filePath("plain"));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  const struct {
    QString port;
    QString reason;
  } cases[] = {
      {dir.filePath("missing"), "no such serial device"},
      {dir.filePath("plain"), "not a serial device"},
      {"COM1=" + dir.filePath("missing"), "no such serial device"},
  };
  for (const auto& c : cases) {
    const Outcome r = run({"--port", c.port, "scan", "--to", "1"});
    EXPECT_EQ(r.status, 3) << c.port.toStdString();
    EXPECT_TRUE(r.err.contains(c.reason)) << r.err.toStdString();
  }
}

TEST(CliProgram, ReadsAndRecordsIntoTheGivenFolder) {
  std::unique_ptr<sim::SimServer> sim;
  bus(sim, {4});
  const QString port = QString::fromStdString(sim->toolPath());
  Outcome r = run({"--port", port, "read", "4"});
  EXPECT_EQ(r.status, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.startsWith("4: ")) << r.out.toStdString();
  EXPECT_EQ(run({"--port", port, "read", "5"}).status, 1);

  QTemporaryDir files;
  r = run({"--port", port, "poll", "4", "--record", files.path(), "--seconds", "2"});
  EXPECT_EQ(r.status, 0) << r.err.toStdString();
  // Ticks at 1 s and perhaps 2 s; every request is accounted for.
  const QRegularExpression counts(
      QStringLiteral("device 4: sent (\\d), answered \\1, dropped 0, silent 0\n"));
  EXPECT_TRUE(counts.match(r.err).hasMatch()) << r.err.toStdString();
  QFile file(QDir(files.path()).filePath(QStringLiteral("ЗОР_номер - 4.txt")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const qsizetype lines = file.readAll().count("\r\n");  // the header and a row per minute
  EXPECT_TRUE(lines == 3 || lines == 4) << lines;
}

TEST(CliProgram, AnUnreachableBrokerExitsThree) {
  std::unique_ptr<sim::SimServer> sim;
  bus(sim, {3});
  const Outcome r = run({"--port", QString::fromStdString(sim->toolPath()), "poll", "3", "--mqtt",
                         QStringLiteral("127.0.0.1:%1").arg(freePort()), "--seconds", "1"});
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(r.err.contains("cannot reach the MQTT broker")) << r.err.toStdString();
}

// Every accepted answer reaches the broker as its JSON line, on
// PREFIX/ADDRESS, even though the broker restarts in the middle of the poll.
TEST(CliProgram, PublishesEveryAnswerAcrossABrokerRestart) {
  Broker broker;
  ASSERT_TRUE(broker.start());
  Subscriber subscriber(broker.port, "plant/#");
  ASSERT_TRUE(subscriber.connected);
  ASSERT_TRUE(subscriber.waitSubscribed());
  std::unique_ptr<sim::SimServer> sim;
  bus(sim, {3, 7});

  QProcess cli;
  cli.start(QStringLiteral(RS485_CLI),
            {"--port", QString::fromStdString(sim->toolPath()), "poll", "3", "7", "--json", "--mqtt",
             QStringLiteral("127.0.0.1:%1").arg(broker.port), "--topic", "plant", "--seconds", "9"});
  ASSERT_TRUE(cli.waitForStarted());
  // Two answers out, then the broker goes away for a while and comes back.
  QByteArray out;
  while (out.count('\n') < 2 && cli.waitForReadyRead(5000)) out += cli.readAllStandardOutput();
  ASSERT_GE(out.count('\n'), 2);
  broker.stop();
  while (out.count('\n') < 4 && cli.waitForReadyRead(5000)) out += cli.readAllStandardOutput();
  ASSERT_TRUE(broker.start());
  ASSERT_TRUE(cli.waitForFinished(20000));
  out += cli.readAllStandardOutput();
  const QString err = QString::fromUtf8(cli.readAllStandardError());
  EXPECT_EQ(cli.exitCode(), 0) << err.toStdString();
  EXPECT_TRUE(err.contains("dropped 0 (queue full), unsent 0")) << err.toStdString();

  std::set<std::pair<std::string, std::string>> expected;
  for (const QByteArray& line : out.split('\n')) {
    if (line.isEmpty()) continue;
    const QByteArray address = line.mid(line.indexOf("\"address\":") + 10).split(',').front();
    expected.insert({"plant/" + address.toStdString(), line.toStdString()});
  }
  ASSERT_GE(expected.size(), 6u);
  for (int i = 0; i < 1000 && subscriber.messages() != expected; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(subscriber.messages(), expected);
}
