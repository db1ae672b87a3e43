// The rs485-cli program as a user runs it: its command line, its exit
// codes, and MQTT end to end against a real broker started here.

#include <gtest/gtest.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>

#include "tests/cli/cli_rig.h"
#include "tests/support/languages.h"
#include "tests/support/serve_process.h"

using namespace rs485;
using namespace rs485::test;
using namespace std::chrono_literals;

namespace {

struct Outcome {
  int status = -1;
  QString out;
  QString err;
};

Outcome run(const QStringList& arguments, int timeoutMs = 20000,
            const QProcessEnvironment& environment = withLocale(QStringLiteral("C"))) {
  QProcess process;
  process.setProcessEnvironment(environment);
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

bool runTool(const QString& program, const QStringList& arguments, const QString& directory) {
  QProcess process;
  process.setWorkingDirectory(directory);
  process.start(program, arguments);
  return process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit &&
         process.exitCode() == 0;
}

// A CA (NAME.crt) and, signed by it, a server certificate for localhost
// (NAME-server.crt, .key), made in `directory`.
bool makeCertificates(const QString& directory, const QString& name) {
  const QString openssl = QStringLiteral(OPENSSL_PROGRAM);
  const QStringList newKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
  QFile extensions(QDir(directory).filePath("san.cnf"));
  return extensions.open(QIODevice::WriteOnly) &&
         extensions.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n") > 0 && (extensions.close(), true) &&
         runTool(openssl,
                 QStringList{"req", "-x509"} + newKey +
                     QStringList{"-keyout", name + ".key", "-out", name + ".crt", "-days", "2", "-subj",
                                 "/CN=" + name},
                 directory) &&
         runTool(openssl,
                 QStringList{"req"} + newKey +
                     QStringList{"-keyout", name + "-server.key", "-out", name + "-server.csr", "-subj",
                                 "/CN=localhost"},
                 directory) &&
         runTool(openssl,
                 {"x509", "-req", "-in", name + "-server.csr", "-CA", name + ".crt", "-CAkey", name + ".key",
                  "-CAcreateserial", "-out", name + "-server.crt", "-days", "2", "-extfile", "san.cnf"},
                 directory);
}

// The broker's next start presents the server certificate signed by the CA
// `name` (server.crt, server.key).
bool presentCertificateOf(const QString& directory, const QString& name) {
  const QDir dir(directory);
  for (const QString suffix : {".crt", ".key"}) {
    QFile::remove(dir.filePath("server" + suffix));
    if (!QFile::copy(dir.filePath(name + "-server" + suffix), dir.filePath("server" + suffix))) return false;
  }
  return true;
}

constexpr char kUser[] = "kiln";
constexpr char kPassword[] = "s3cret pass";

// Debian's broker on a free localhost port, keeping its sessions on disk so
// that a restart loses no subscription. Secured, it takes only kUser with
// kPassword, on `port` in clear text and on `tlsPort` over TLS with a
// certificate for localhost from the CA in caFile().
class Broker {
 public:
  enum class Access { Open, Secured };

  explicit Broker(Access access = Access::Open) : port(freePort()) {
    // "user root": as root the broker would otherwise drop to its own user,
    // which can neither save the sessions here nor read the files made here.
    // Its information lines on standard error tell when it listens.
    QString text = QStringLiteral(
                       "user root\npersistence true\npersistence_location %1/\nlog_dest stderr\n"
                       "log_type information\n")
                       .arg(dir.path());
    if (access == Access::Open) {
      text += QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\n").arg(port);
    } else {
      tlsPort = freePort();
      ready =
          makeCertificates(dir.path(), "ca") && presentCertificateOf(dir.path(), "ca") &&
          runTool(QStringLiteral(MOSQUITTO_PASSWD), {"-b", "-c", "passwd", kUser, kPassword}, dir.path()) &&
          // Newer brokers refuse a password file that others may read.
          QFile::setPermissions(dir.filePath("passwd"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
      text += QStringLiteral(
                  "per_listener_settings false\nallow_anonymous false\npassword_file %1\n"
                  "listener %2 127.0.0.1\ncafile %3\ncertfile %4\nkeyfile %5\nlistener %6 127.0.0.1\n")
                  .arg(dir.filePath("passwd"))
                  .arg(tlsPort)
                  .arg(caFile(), dir.filePath("server.crt"), dir.filePath("server.key"))
                  .arg(port);
    }
    QFile config(dir.filePath("mosquitto.conf"));
    config.open(QIODevice::WriteOnly);
    config.write(text.toUtf8());
  }
  QString caFile() const { return dir.filePath("ca.crt"); }
  ~Broker() { stop(); }

  // Up once it says it runs: it says so when every listener is open.
  bool start() {
    process.setReadChannel(QProcess::StandardError);
    process.start(QStringLiteral(MOSQUITTO_BROKER), {QStringLiteral("-c"), dir.filePath("mosquitto.conf")});
    QByteArray said;
    while (!said.contains(" running\n")) {
      if (!process.waitForReadyRead(10000)) return false;
      said += process.readAll();
    }
    return true;
  }
  void stop() {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();  // saves the sessions
    process.waitForFinished(5000);
  }

  QTemporaryDir dir;
  int port;
  int tlsPort = 0;
  bool ready = true;
  QProcess process;
};

// A subscriber with a session that outlives a broker restart (QoS 1, not
// clean), collecting every message by topic.
class Subscriber {
 public:
  using Messages = std::set<std::pair<std::string, std::string>>;

  Subscriber(int port, const std::string& filter, const char* user = nullptr, const char* password = nullptr,
             const char* id = "cli-test-subscriber") {
    mosquitto_lib_init();
    client_ = mosquitto_new(id, false, this);
    if (user != nullptr) mosquitto_username_pw_set(client_, user, password);
    mosquitto_connect_callback_set(client_, [](mosquitto* m, void* self, int rc) {
      if (rc == 0) mosquitto_subscribe(m, nullptr, static_cast<Subscriber*>(self)->filter_.c_str(), 1);
    });
    mosquitto_subscribe_callback_set(client_, [](mosquitto*, void* self, int, int, const int*) {
      static_cast<Subscriber*>(self)->change([](Subscriber& s) { s.subscribed_ = true; });
    });
    mosquitto_message_callback_set(client_, [](mosquitto*, void* self, const mosquitto_message* m) {
      static_cast<Subscriber*>(self)->change([m](Subscriber& s) {
        const std::pair<std::string, std::string> message{
            m->topic,
            std::string(static_cast<const char*>(m->payload), static_cast<std::size_t>(m->payloadlen))};
        s.messages_.insert(message);
        s.inOrder_.push_back(message);
      });
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
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 5s, [this] { return subscribed_; });
  }
  // Waits until `topic` has carried `payload`.
  bool waitFor(const std::string& topic, const std::string& payload) {
    return waitForMessages([&](const Messages& messages) { return messages.count({topic, payload}) > 0; });
  }
  // Waits until the messages so far satisfy `done`.
  bool waitForMessages(const std::function<bool(const Messages&)>& done) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 10s, [&] { return done(messages_); });
  }
  Messages messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  // Waits until `topic` has carried `payloads`, in this order, with nothing
  // else on it in between.
  bool waitForSequence(const std::string& topic, const std::vector<std::string>& payloads) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 10s, [&] {
      std::vector<std::string> seen;
      for (const auto& [t, payload] : inOrder_)
        if (t == topic) seen.push_back(payload);
      return seen == payloads;
    });
  }

  bool connected = false;

 private:
  // Runs on the client's network thread.
  template <class Change>
  void change(Change apply) {
    {
      std::lock_guard lock(mutex_);
      apply(*this);
    }
    changed_.notify_all();
  }

  mosquitto* client_;
  std::string filter_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool subscribed_ = false;
  Messages messages_;
  std::vector<std::pair<std::string, std::string>> inOrder_;
};

// `speed` 0 freezes the readings.
sim::SimServer& bus(std::unique_ptr<sim::SimServer>& sim, const std::vector<int>& addresses,
                    double speed = 1.0) {
  sim::SimOptions o;
  o.speed = speed;
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
        QStringList{"poll", "--help"}, QStringList{"set-address", "--help"}, QStringList{"serve", "--help"},
        QStringList{"--version"}}) {
    const Outcome r = run(arguments);
    EXPECT_EQ(r.status, 0) << arguments.join(' ').toStdString();
    EXPECT_FALSE(r.out.isEmpty()) << arguments.join(' ').toStdString();
  }
  EXPECT_TRUE(run({"poll", "--help"}).out.contains("passed over until its next turn"));
  EXPECT_TRUE(run({"scan", "--help"}).out.contains("two devices on one address, or a noisy line"));
  EXPECT_TRUE(run({"poll", "--help"}).out.contains("PREFIX/ADDRESS/status"));
  EXPECT_TRUE(
      run({"serve", "--help"}).out.simplified().contains("(default 127.0.0.1:4001: this machine only)"));
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
           QStringList{"--port", "COM1", "scan", "--fast", "--reply-window", "9"},
           QStringList{"--port", "COM1", "scan", "--fast", "--reply-window", "2001"},
           QStringList{"--port", "COM1", "scan", "--reply-window", "100"},
           QStringList{"--port", "COM1", "poll", "--interval", "199"},
           QStringList{"--port", "COM1", "poll", "--interval", "60001"},
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
           QStringList{"--port", "COM1=/nonexistent", "serve", "--listen", "localhost:4001"},
           QStringList{"--port", "COM1=/nonexistent", "serve", "--listen", "127.0.0.1:65536"},
           QStringList{"--port", "COM1=/nonexistent", "serve", "--listen", "::1"},
           QStringList{"--port", "COM1=/nonexistent", "serve", "--reply-window", "9"},
           QStringList{"--port", "COM1=/nonexistent", "serve", "--reply-window", "10001"},
           QStringList{"--port", "COM1=/nonexistent", "serve", "7"},
           QStringList{"--port", "COM1=/nonexistent", "serve", "--fast"},
           QStringList{"--port", "COM1", "poll", "--mqtt-user", "u"},
           QStringList{"--port", "COM1", "poll", "--mqtt-cafile", "/etc/hostname"},
           QStringList{"--port", "COM1", "poll", "--mqtt", "h", "--mqtt-password", "secret"},
           QStringList{"--port", "COM1", "poll", "--mqtt", "h", "--mqtt-password=secret", "--mqtt-user", "u"},
           QStringList{"--port", "COM1", "poll", "--mqtt", "h", "--mqtt-password-file", "/etc/hostname"},
           QStringList{"--port", "COM1", "poll", "--mqtt", "h", "--mqtt-user", "u", "--mqtt-password-file",
                       "/nonexistent/password"},
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
      // A serial device server on a port where nothing listens, and one whose address is malformed.
      {QStringLiteral("tcp://127.0.0.1:%1").arg(freePort()), "no such serial device (Connection refused)"},
      {QStringLiteral("COM1=rfc2217://127.0.0.1:%1").arg(freePort()),
       "no such serial device (Connection refused)"},
      {"tcp://127.0.0.1:0", "no such serial device (Invalid argument)"},
  };
  for (const auto& c : cases) {
    const Outcome r = run({"--port", c.port, "scan", "--to", "1"});
    EXPECT_EQ(r.status, 3) << c.port.toStdString();
    EXPECT_TRUE(r.err.contains(c.reason)) << r.err.toStdString();
  }
}

// --help, the mistakes and the reasons in the language of the user's locale.
TEST(CliProgram, SpeaksTheLanguageOfTheLocale) {
  const struct {
    QString locale;
    QStringList arguments;
    int status;
    QString text;
  } cases[] = {
      {kRussianLocale, {"--help"}, 0, "Ищет, читает, опрашивает"},
      {kRussianLocale, {"poll", "--help"}, 0, "Опрашивает устройства по очереди"},
      {kRussianLocale,
       {"--port", "COM1", "read", "248"},
       2,
       "'248' — не адрес шины (1..247)\nПодробнее: rs485-cli read --help"},
      {kRussianLocale, {"--port", "COM1", "scan", "--bogus"}, 2, "Неизвестный параметр 'bogus'."},
      {kRussianLocale,
       {"--port", "/nonexistent/ttyUSB9", "scan"},
       3,
       "нет такого последовательного устройства"},
      {kEnglishLocales[0], {"--help"}, 0, "Scans, reads, polls"},
      {kEnglishLocales[1],
       {"--port", "COM1", "read", "248"},
       2,
       "'248' is no bus address (1..247)\nTry 'rs485-cli read --help'."},
      {kEnglishLocales[1],
       {"--port", "/nonexistent/ttyUSB9", "scan"},
       3,
       "cannot open /nonexistent/ttyUSB9: no such serial device"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE((c.locale + ' ' + c.arguments.join(' ')).toStdString());
    const Outcome r = run(c.arguments, 20000, withLocale(c.locale));
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE((r.out + r.err).contains(c.text)) << (r.out + r.err).toStdString();
    EXPECT_EQ(readsRussian(r.out + r.err), c.locale == kRussianLocale) << (r.out + r.err).toStdString();
  }
}

// The answers as JSON and the recording files are the same bytes in either
// language; only the times of the two runs differ.
TEST(CliProgram, DataDoNotFollowTheLanguage) {
  std::unique_ptr<sim::SimServer> sim;
  bus(sim, {4}, 0.0);
  const QString port = QString::fromStdString(sim->toolPath());
  const QRegularExpression times(QStringLiteral(
      "\\d\\d:\\d\\d(:\\d\\d)?|\\d{4}-\\d\\d-\\d\\d|\\d\\d\\.\\d\\d\\.\\d{4}|[+-]\\d\\d:\\d\\d"));
  QStringList seen;
  for (const QString& locale : {kRussianLocale, QStringLiteral("C")}) {
    QTemporaryDir files;
    const Outcome r = run({"--port", port, "--json", "poll", "4", "--record", files.path(), "--seconds", "2"},
                          20000, withLocale(locale));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(readsRussian(r.err), locale == kRussianLocale) << r.err.toStdString();
    QFile file(QDir(files.path()).filePath(QStringLiteral("ЗОР_номер - 4.txt")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    // The header and the first row: a second row comes only when a minute began in between.
    const QByteArray header = file.readAll().split('\n').mid(0, 3).join('\n');
    const QString firstAnswer = r.out.section('\n', 0, 0);
    ASSERT_TRUE(firstAnswer.startsWith("{\"time\":")) << r.out.toStdString();
    // Latin-1 keeps every byte of the code page 1251 file as one character.
    QString bytes = firstAnswer + QString::fromLatin1(header);
    seen << bytes.replace(times, QStringLiteral("T"));
  }
  EXPECT_EQ(seen[0].toStdString(), seen[1].toStdString());
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
  // The frames of a read, as the window's --trace writes them.
  const QString tracePath = QDir(files.path()).filePath(QStringLiteral("frames.log"));
  r = run({"--port", port, "--trace", tracePath, "read", "4"});
  EXPECT_EQ(r.status, 0) << r.err.toStdString();
  QFile traced(tracePath);
  ASSERT_TRUE(traced.open(QIODevice::ReadOnly));
  const QString frames = QString::fromLatin1(traced.readAll());
  EXPECT_TRUE(
      frames.contains(QRegularExpression(QStringLiteral("  TX  04 50 [0-9A-F]{2} [0-9A-F]{2}  sent\n"))))
      << frames.toStdString();
  EXPECT_TRUE(frames.contains(QRegularExpression(QStringLiteral("  RX  04( [0-9A-F]{2}){15}  accepted\n"))))
      << frames.toStdString();
  EXPECT_EQ(run({"--port", port, "--trace", files.path() + "/no/such/folder/frames.log", "read", "4"}).status,
            2);

  r = run({"--port", port, "poll", "4", "--record", files.path(), "--seconds", "2"});
  EXPECT_EQ(r.status, 0) << r.err.toStdString();
  // Ticks at 1 s and perhaps 2 s; every request is accounted for.
  const QRegularExpression counts(
      QStringLiteral("device 4: sent (\\d), answered \\1, dropped 0, silent 0, late or unasked 0\n"));
  EXPECT_TRUE(counts.match(r.err).hasMatch()) << r.err.toStdString();
  QFile file(QDir(files.path()).filePath(QStringLiteral("ЗОР_номер - 4.txt")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const qsizetype lines = file.readAll().count("\r\n");  // the header and a row per minute
  EXPECT_TRUE(lines == 3 || lines == 4) << lines;
}

// SIGINT ends a whole-bus scan part-way with the summary of what it found.
TEST(CliProgram, AFastScanEndsAtSigint) {
  std::unique_ptr<sim::SimServer> sim;
  bus(sim, {2, 247});
  QProcess cli;
  cli.start(QStringLiteral(RS485_CLI), {"--port", QString::fromStdString(sim->toolPath()), "scan", "--fast"});
  ASSERT_TRUE(cli.waitForReadyRead(10000));
  EXPECT_EQ(cli.readAllStandardOutput(), "2\n");
  ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
  ASSERT_TRUE(cli.waitForFinished(10000));
  EXPECT_EQ(cli.exitCode(), 0);
  const QRegularExpression summary(
      QStringLiteral("^scan 1\\.\\.247 \\(stopped after (\\d+)\\): 1 device\\(s\\) found: 2\n$"));
  const QRegularExpressionMatch match = summary.match(QString::fromUtf8(cli.readAllStandardError()));
  ASSERT_TRUE(match.hasMatch());
  EXPECT_LT(match.captured(1).toInt(), 247);
  EXPECT_TRUE(cli.readAllStandardOutput().isEmpty());
}

// With --interval 200 a poll of one second asks about five times, not once.
TEST(CliProgram, TheIntervalSetsThePaceOfThePoll) {
  std::unique_ptr<sim::SimServer> sim;
  bus(sim, {4});
  const Outcome r = run({"--port", QString::fromStdString(sim->toolPath()), "poll", "4", "--interval", "200",
                         "--seconds", "1"});
  ASSERT_EQ(r.status, 0) << r.err.toStdString();
  const QRegularExpression counts(QStringLiteral("device 4: sent (\\d+), answered \\1,"));
  const QRegularExpressionMatch match = counts.match(r.err);
  ASSERT_TRUE(match.hasMatch()) << r.err.toStdString();
  EXPECT_GE(match.captured(1).toInt(), 3);
}

// serve as systemd runs it: two programs use the bus, one leaves, and
// SIGTERM ends it with a line per client and the totals.
TEST(CliProgram, ServeSummarisesEveryClientAtSigterm) {
  coreApplication();  // the waits for its log run an event loop
  std::unique_ptr<sim::SimServer> sim;
  bus(sim, {3, 7});
  // 9 is settled well within the poll's 200 ms.
  ServeProcess serve(QStringLiteral(RS485_CLI), sim->toolPath(), {"--reply-window", "100"});
  ASSERT_TRUE(serve.start()) << serve.log().toStdString();
  const QString url = QString::fromStdString(serve.url());
  const Outcome a = run({"--port", url, "read", "3"});
  EXPECT_EQ(a.status, 0) << a.err.toStdString();
  const Outcome b = run({"--port", url, "poll", "7", "9", "--interval", "200", "--seconds", "1"});
  EXPECT_EQ(b.status, 0) << b.err.toStdString();
  ASSERT_TRUE(serve.logContains("client 2 (127.0.0.1:")) << serve.log().toStdString();
  ASSERT_EQ(serve.terminate(), 0);
  const QString log = serve.log();
  EXPECT_TRUE(
      QRegularExpression(
          QStringLiteral("client 1 \\(127\\.0\\.0\\.1:\\d+\\): 1 requests, 1 answers, 0 without an answer\n"))
          .match(log)
          .hasMatch())
      << log.toStdString();
  // The poll asked 7 and the absent 9 in turn: 7 answered every time, 9 never.
  const QRegularExpressionMatch second =
      QRegularExpression(QStringLiteral("client 2 \\(127\\.0\\.0\\.1:\\d+\\): (\\d+) requests, (\\d+) "
                                        "answers, (\\d+) without an answer\n"))
          .match(log);
  ASSERT_TRUE(second.hasMatch()) << log.toStdString();
  EXPECT_GE(second.captured(2).toInt(), 2);
  EXPECT_GE(second.captured(3).toInt(), 1);
  EXPECT_EQ(second.captured(1).toInt(), second.captured(2).toInt() + second.captured(3).toInt());
  EXPECT_TRUE(log.contains(QStringLiteral("serve: 2 clients, %1 requests, %2 answers; 0 refused")
                               .arg(1 + second.captured(1).toInt())
                               .arg(1 + second.captured(2).toInt())))
      << log.toStdString();
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
  expected.insert({{"plant/status", "online"},
                   {"plant/status", "offline"},
                   {"plant/3/status", "answering"},
                   {"plant/7/status", "answering"}});
  subscriber.waitForMessages([&](const Subscriber::Messages& messages) { return messages == expected; });
  EXPECT_EQ(subscriber.messages(), expected);
}

namespace {

// rs485-cli polling address 3 of `sim` into the secured broker over TLS,
// publishing under `prefix`; further arguments follow.
QStringList securePoll(const Broker& broker, const sim::SimServer& sim, const QString& prefix,
                       const QStringList& more) {
  QStringList arguments{"--port", QString::fromStdString(sim.toolPath()), "poll", "3", "--json"};
  arguments << "--mqtt" << QStringLiteral("localhost:%1").arg(broker.tlsPort) << "--mqtt-cafile"
            << broker.caFile() << "--mqtt-user" << kUser << "--topic" << prefix;
  return arguments + more;
}

QProcessEnvironment withPassword(const QString& password) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("RS485_MQTT_PASSWORD", password);
  return environment;
}

// The secured broker running, a subscriber to all of it, and device 3 on
// the simulator's line.
class SecuredBroker : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(broker.ready);
    ASSERT_TRUE(started);
    ASSERT_TRUE(subscriber.connected);
    ASSERT_TRUE(subscriber.waitSubscribed());
    bus(sim, {3});
  }

  Broker broker{Broker::Access::Secured};
  bool started = broker.ready && broker.start();  // before the subscriber connects
  Subscriber subscriber{broker.port, "#", kUser, kPassword};
  std::unique_ptr<sim::SimServer> sim;
};

}  // namespace

// Over TLS with the password from a file or the environment, every answer
// arrives, and so do "online" at the connect and "offline" at the end.
TEST_F(SecuredBroker, PublishesOverTlsWithAPasswordAndAnnouncesItsStatus) {
  const QString passwordFile = broker.dir.filePath("password");
  QFile file(passwordFile);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(QByteArray(kPassword) + "\nnot part of it\n");
  file.close();
  const struct {
    QString prefix;
    QFileDevice::Permissions permissions;  // of the password file; none: the environment
    bool warned;
  } cases[] = {
      {"private-file", QFileDevice::ReadOwner | QFileDevice::WriteOwner, false},
      {"shared-file", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther, true},
      {"environment", {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.prefix.toStdString());
    QStringList more{"--seconds", "2"};
    QProcessEnvironment environment = withPassword("wrong");  // a file takes precedence
    if (c.permissions == QFileDevice::Permissions{}) {
      environment = withPassword(kPassword);
    } else {
      ASSERT_TRUE(QFile::setPermissions(passwordFile, c.permissions));
      more << "--mqtt-password-file" << passwordFile;
    }
    const Outcome r = run(securePoll(broker, *sim, c.prefix, more), 20000, environment);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.err.contains("warning: the password file"), c.warned) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("dropped 0 (queue full), unsent 0")) << r.err.toStdString();
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    const std::string prefix = c.prefix.toStdString();
    for (const QString& line : lines) EXPECT_TRUE(subscriber.waitFor(prefix + "/3", line.toStdString()));
    EXPECT_TRUE(subscriber.waitFor(prefix + "/status", "online"));
    EXPECT_TRUE(subscriber.waitFor(prefix + "/status", "offline"));
  }
}

TEST(CliProgram, RefusedCredentialsAndAnUnverifiedCertificateExitThree) {
  Broker broker(Broker::Access::Secured);
  ASSERT_TRUE(broker.ready);
  ASSERT_TRUE(makeCertificates(broker.dir.path(), "other-ca"));
  ASSERT_TRUE(broker.start());
  std::unique_ptr<sim::SimServer> sim;
  bus(sim, {3});
  const struct {
    QString password;
    QString caFile;
    QString reason;
    QString host = "localhost";
  } cases[] = {
      {"wrong", broker.caFile(), "refused the user kiln: not authorised"},
      {kPassword, broker.dir.filePath("other-ca.crt"), "does not verify against"},
      // 127.1 is 127.0.0.1, but not a name that the certificate gives.
      {kPassword, broker.caFile(), "host name verification failed", "127.1"},
  };
  for (const auto& c : cases) {
    QStringList arguments = securePoll(broker, *sim, "plant", {"--mqtt-cafile", c.caFile, "--seconds", "1"});
    arguments.replaceInStrings(QRegularExpression("^localhost:"), c.host + ":");
    const Outcome r = run(arguments, 20000, withPassword(c.password));
    EXPECT_EQ(r.status, 3) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(c.reason)) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
  }
}

// The last will: a client that dies without a word is announced "offline"
// by the broker.
TEST_F(SecuredBroker, TheBrokerAnnouncesAKilledClientOffline) {
  QProcess cli;
  cli.setProcessEnvironment(withPassword(kPassword));
  cli.start(QStringLiteral(RS485_CLI), securePoll(broker, *sim, "plant", {}));
  ASSERT_TRUE(cli.waitForStarted());
  ASSERT_TRUE(subscriber.waitFor("plant/status", "online")) << cli.readAllStandardError().toStdString();
  ASSERT_TRUE(cli.waitForReadyRead(5000));  // an answer: the poll runs
  EXPECT_FALSE(subscriber.messages().count({"plant/status", "offline"}));
  cli.kill();  // SIGKILL: no word to the broker
  ASSERT_TRUE(cli.waitForFinished(5000));
  EXPECT_TRUE(subscriber.waitFor("plant/status", "offline"));
}

// A device switched off part-way goes "silent" on its status topic and back
// to "answering"; the last word stays retained for a later subscriber.
TEST_F(SecuredBroker, TellsWhenADeviceGoesSilentAndAnswersAgain) {
  QProcess cli;
  cli.setProcessEnvironment(withPassword(kPassword));
  cli.start(QStringLiteral(RS485_CLI), securePoll(broker, *sim, "plant", {"--interval", "200"}));
  ASSERT_TRUE(cli.waitForStarted());
  ASSERT_TRUE(subscriber.waitForSequence("plant/3/status", {"answering"}));
  sim->setFaults(3, sim::Faults{.silent = 1});
  ASSERT_TRUE(subscriber.waitForSequence("plant/3/status", {"answering", "silent"}));
  sim->setFaults(3, sim::Faults{});
  ASSERT_TRUE(subscriber.waitForSequence("plant/3/status", {"answering", "silent", "answering"}));
  EXPECT_TRUE(subscriber.waitFor("plant/status", "online")) << "the client's own status stays apart";
  cli.terminate();
  ASSERT_TRUE(cli.waitForFinished(10000));
  EXPECT_EQ(cli.exitCode(), 0);

  Subscriber later(broker.port, "plant/+/status", kUser, kPassword, "cli-test-later");
  ASSERT_TRUE(later.connected);
  EXPECT_TRUE(later.waitForSequence("plant/3/status", {"answering"}));
}

// A broker that comes back with a certificate that does not verify is
// refused, and said so, but tried again: once it presents its own
// certificate again, the readings flow.
TEST_F(SecuredBroker, ReconnectsOverTlsOnceTheCertificateVerifiesAgain) {
  ASSERT_TRUE(makeCertificates(broker.dir.path(), "other-ca"));

  QProcess cli;
  cli.setProcessEnvironment(withPassword(kPassword));
  cli.start(QStringLiteral(RS485_CLI), securePoll(broker, *sim, "plant", {}));
  ASSERT_TRUE(cli.waitForStarted());
  ASSERT_TRUE(subscriber.waitFor("plant/status", "online"));

  broker.stop();
  ASSERT_TRUE(presentCertificateOf(broker.dir.path(), "other-ca"));
  ASSERT_TRUE(broker.start());
  cli.setReadChannel(QProcess::StandardError);
  QByteArray err;
  while (!err.contains("certificate verify failed") && cli.waitForReadyRead(10000)) err += cli.readAll();
  ASSERT_TRUE(err.contains("certificate verify failed")) << err.toStdString();

  broker.stop();
  ASSERT_TRUE(presentCertificateOf(broker.dir.path(), "ca"));
  ASSERT_TRUE(broker.start());
  cli.setReadChannel(QProcess::StandardOutput);
  // A whole line printed from now on.
  const QByteArray before = cli.readAll();
  const int wanted = before.isEmpty() || before.endsWith('\n') ? 1 : 2;
  QByteArray out;
  while (out.count('\n') < wanted && cli.waitForReadyRead(5000)) out += cli.readAll();
  ASSERT_EQ(out.count('\n'), wanted);
  EXPECT_TRUE(subscriber.waitFor("plant/3", out.split('\n')[wanted - 1].toStdString()));
  cli.terminate();
  EXPECT_TRUE(cli.waitForFinished(10000));
}
