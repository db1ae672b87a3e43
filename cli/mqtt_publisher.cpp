#include <mosquitto.h>

#include <QCoreApplication>
#include <QSysInfo>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <initializer_list>
#include <iostream>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "cli/outbox.h"
#include "cli/publisher.h"

namespace rs485::cli {

namespace {

constexpr int kQos = 1;
constexpr bool kRetain = true;
// Messages handed to the library at once; the rest wait in the outbox,
// where the bound applies.
constexpr std::size_t kMaxInFlight = 20;
constexpr char kOnline[] = "online";
constexpr char kOffline[] = "offline";
// How long a clean stop waits for the broker to take "offline".
constexpr auto kOfflineWait = std::chrono::seconds(2);
// The CONNACK codes of a refused user name or password (MQTT 3.1.1).
constexpr int kBadUserNameOrPassword = 4;
constexpr int kNotAuthorised = 5;
// The network thread's longest wait in the library: a stop is seen at the
// latest then (the library's own wake-up usually ends the wait sooner).
constexpr int kLoopTimeoutMs = 1000;
// How long a stop waits for the DISCONNECT to leave.
constexpr auto kStopWait = std::chrono::seconds(2);

// The library is set up once per process and left so.
void initLibrary() {
  static const int ready = mosquitto_lib_init();
  (void)ready;
}

class MosquittoPublisher : public Publisher {
 public:
  MosquittoPublisher(const MqttSettings& settings, mosquitto* client)
      : client_(client),
        statusTopic_(settings.statusTopic),
        delayMin_(settings.reconnectDelayMin),
        delayMax_(settings.reconnectDelayMax),
        delay_(delayMin_),
        outbox_(settings.queueCapacity) {}

  ~MosquittoPublisher() override {
    announceOffline();
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      changed_.notify_all();
    }
    mosquitto_disconnect(client_);
    if (network_.joinable()) network_.join();
    mosquitto_destroy(client_);
  }

  // The library's own thread (mosquitto_loop_start) ends for good at some
  // errors, a certificate that does not verify among them; this one
  // reconnects after any error.
  void startNetwork() {
    mosquitto_threaded_set(client_, true);
    network_ = std::thread([this] { runNetwork(); });
  }

  void publish(const std::string& topic, const QByteArray& payload) override {
    std::lock_guard lock(mutex_);
    outbox_.push({topic, payload}, inFlight_.size());
    sendWaiting();
  }

  void flush(std::chrono::milliseconds timeout) override {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [this] { return outbox_.waiting() == 0 && inFlight_.empty(); });
  }

  Counts counts() const override {
    std::lock_guard lock(mutex_);
    return {acknowledged_, outbox_.dropped(), outbox_.waiting() + inFlight_.size()};
  }

  // How the first attempt ended: 0 connected, a CONNACK code, or -1 for a
  // connection lost before any answer or an error such as a failed TLS
  // handshake. Empty when nothing happened within `timeout`.
  std::optional<int> firstOutcome(std::chrono::seconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [this] { return firstOutcome_.has_value(); });
    return firstOutcome_;
  }
  std::string loggedErrors() const {
    std::lock_guard lock(mutex_);
    return loggedErrors_;
  }

  void connected(int result) {
    std::lock_guard lock(mutex_);
    if (firstOutcome_ && result != 0)
      std::cerr << "rs485-cli: mqtt: "
                << QCoreApplication::translate("rs485-cli", "the broker refused the connection: %1")
                       .arg(QString::fromUtf8(mosquitto_connack_string(result)))
                       .toStdString()
                << '\n';
    if (!firstOutcome_) firstOutcome_ = result;
    connected_ = result == 0;
    if (connected_) delay_ = delayMin_;
    // At every connect, so that a subscriber sees the client back after a
    // reconnect that its last will had announced as gone.
    if (connected_ && !statusTopic_.empty()) publishStatus(kOnline);
    sendWaiting();
    changed_.notify_all();
  }
  void disconnected() {
    std::lock_guard lock(mutex_);
    if (!firstOutcome_) firstOutcome_ = -1;
    connected_ = false;
    changed_.notify_all();
  }
  // The library's own errors (OpenSSL's among them) explain a failed start.
  // A TLS handshake that fails ends the attempt without a disconnect
  // callback, so such an error is the first outcome too.
  // Later ones go to standard error (the journal, under systemd).
  void logged(int level, const char* text) {
    if (level != MOSQ_LOG_ERR || text == nullptr) return;
    std::lock_guard lock(mutex_);
    if (firstOutcome_) {
      std::cerr << "rs485-cli: mqtt: " << text << '\n';
      return;
    }
    loggedErrors_ = text;
    firstOutcome_ = -1;
    changed_.notify_all();
  }
  // The broker acknowledged a message. Called on the library's thread; the
  // lock also waits for a publish() that has not yet noted this mid.
  void acknowledged(int mid) {
    std::lock_guard lock(mutex_);
    if (inFlight_.erase(mid) > 0) ++acknowledged_;
    if (mid == offlineMid_) offlineAcknowledged_ = true;
    sendWaiting();
    changed_.notify_all();
  }

 private:
  void runNetwork() {
    const auto stopDeadline = [] { return std::chrono::steady_clock::now() + kStopWait; };
    std::optional<std::chrono::steady_clock::time_point> deadline;
    for (;;) {
      const int rc = mosquitto_loop(client_, kLoopTimeoutMs, 1);
      std::unique_lock lock(mutex_);
      if (stopping_) {
        // On until the DISCONNECT is out (the library then reports the
        // disconnect), unless no broker is there to hear it.
        if (!deadline) deadline = stopDeadline();
        if (!connected_ || rc != MOSQ_ERR_SUCCESS || std::chrono::steady_clock::now() > *deadline) return;
        continue;
      }
      if (rc == MOSQ_ERR_SUCCESS) continue;
      // Gone, refused, or a handshake that failed: try again after a delay
      // that doubles up to its bound and starts afresh after a connect.
      changed_.wait_for(lock, std::chrono::seconds(delay_), [this] { return stopping_; });
      if (stopping_) return;
      delay_ = std::min(delay_ * 2, delayMax_);
      lock.unlock();
      mosquitto_reconnect_async(client_);
    }
  }

  // With the lock held.
  int publishStatus(const char* status) {
    int mid = 0;
    mosquitto_publish(client_, &mid, statusTopic_.c_str(), static_cast<int>(std::strlen(status)), status,
                      kQos, kRetain);
    return mid;
  }

  // A clean stop says so itself: the broker drops the last will at a
  // normal disconnect.
  void announceOffline() {
    std::unique_lock lock(mutex_);
    if (!connected_ || statusTopic_.empty()) return;
    offlineMid_ = publishStatus(kOffline);
    changed_.wait_for(lock, kOfflineWait, [this] { return offlineAcknowledged_; });
  }

  // With the lock held. Messages handed over while connected stay with the
  // library across a reconnect: it sends them again itself.
  void sendWaiting() {
    while (connected_ && inFlight_.size() < kMaxInFlight) {
      std::optional<OutMessage> message = outbox_.take();
      if (!message) break;
      int mid = 0;
      const int rc =
          mosquitto_publish(client_, &mid, message->topic.c_str(), static_cast<int>(message->payload.size()),
                            message->payload.constData(), kQos, kRetain);
      if (rc == MOSQ_ERR_SUCCESS || rc == MOSQ_ERR_NO_CONN) {
        inFlight_.insert(mid);
      } else {
        outbox_.putBack(std::move(*message));
        break;
      }
    }
  }

  mosquitto* client_;
  const std::string statusTopic_;
  const int delayMin_;
  const int delayMax_;
  int delay_;  // seconds before the next attempt
  bool stopping_ = false;
  std::thread network_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Outbox outbox_;
  std::set<int> inFlight_;
  std::size_t acknowledged_ = 0;
  bool connected_ = false;
  std::optional<int> firstOutcome_;
  std::string loggedErrors_;
  int offlineMid_ = -1;
  bool offlineAcknowledged_ = false;
};

MosquittoPublisher* self(void* object) { return static_cast<MosquittoPublisher*>(object); }

// A message in the user's language, its %1, %2, ... filled in order.
std::string said(const char* text, std::initializer_list<std::string> values = {}) {
  QString message = QCoreApplication::translate("rs485-cli", text);
  for (const std::string& value : values) message = message.arg(QString::fromStdString(value));
  return message.toStdString();
}

// host:port, an IPv6 literal in brackets as it was given.
std::string brokerName(const MqttSettings& settings) {
  const bool literalV6 = settings.host.find(':') != std::string::npos;
  return (literalV6 ? "[" + settings.host + "]" : settings.host) + ":" + std::to_string(settings.port);
}

// Why the broker's end closed before it answered, from the library's log.
std::string closedReason(const MqttSettings& settings, const std::string& logged) {
  const std::string broker = brokerName(settings);
  if (!settings.caFile.empty() && logged.find("verif") != std::string::npos) {
    // The chain against the CA, or the host name against the certificate.
    return said(QT_TRANSLATE_NOOP("rs485-cli",
                                  "the certificate of the MQTT broker at %1 does not verify against %2 (%3)"),
                {broker, settings.caFile, logged});
  }
  if (settings.caFile.empty() && logged.empty())
    return said(
        QT_TRANSLATE_NOOP("rs485-cli",
                          "the MQTT broker at %1 closed the connection (does it want TLS? --mqtt-cafile)"),
        {broker});
  if (logged.empty())
    return said(QT_TRANSLATE_NOOP("rs485-cli", "the MQTT broker at %1 closed the connection"), {broker});
  return said(QT_TRANSLATE_NOOP("rs485-cli", "the MQTT broker at %1 closed the connection: %2"),
              {broker, logged});
}

std::string clientId(const MqttSettings& settings) {
  if (!settings.clientId.empty()) return settings.clientId;
  return "rs485-cli-" + QSysInfo::machineHostName().left(63).toStdString() + "-" +
         std::to_string(QCoreApplication::applicationPid());
}

void setCallbacks(mosquitto* client, MosquittoPublisher* publisher) {
  mosquitto_user_data_set(client, publisher);
  mosquitto_connect_callback_set(client,
                                 [](mosquitto*, void* object, int rc) { self(object)->connected(rc); });
  mosquitto_disconnect_callback_set(client,
                                    [](mosquitto*, void* object, int) { self(object)->disconnected(); });
  mosquitto_publish_callback_set(client,
                                 [](mosquitto*, void* object, int mid) { self(object)->acknowledged(mid); });
  mosquitto_log_callback_set(client, [](mosquitto*, void* object, int level, const char* text) {
    self(object)->logged(level, text);
  });
}

// The login, TLS and the last will; the reason when the library refuses one.
std::string configure(mosquitto* client, const MqttSettings& settings) {
  if (!settings.user.empty() &&
      mosquitto_username_pw_set(client, settings.user.c_str(),
                                settings.password.empty() ? nullptr : settings.password.c_str()) !=
          MOSQ_ERR_SUCCESS) {
    return said(QT_TRANSLATE_NOOP("rs485-cli", "cannot use the MQTT user name %1"), {settings.user});
  }
  if (!settings.caFile.empty()) {
    // Peer verification on, host name included; nothing here turns it off.
    constexpr int kVerifyPeer = 1;
    if (mosquitto_tls_set(client, settings.caFile.c_str(), nullptr, nullptr, nullptr, nullptr) !=
            MOSQ_ERR_SUCCESS ||
        mosquitto_tls_opts_set(client, kVerifyPeer, nullptr, nullptr) != MOSQ_ERR_SUCCESS ||
        mosquitto_tls_insecure_set(client, false) != MOSQ_ERR_SUCCESS) {
      return said(QT_TRANSLATE_NOOP("rs485-cli", "cannot use the CA file %1 for TLS"), {settings.caFile});
    }
  }
  if (!settings.statusTopic.empty() &&
      mosquitto_will_set(client, settings.statusTopic.c_str(), static_cast<int>(std::strlen(kOffline)),
                         kOffline, kQos, kRetain) != MOSQ_ERR_SUCCESS) {
    return said(QT_TRANSLATE_NOOP("rs485-cli", "cannot use the MQTT status topic %1"),
                {settings.statusTopic});
  }
  return {};
}

// The broker has been reached; whether it takes this client shows in its
// first answer (or in a TLS handshake that ends the connection first).
// Empty when it took it.
std::string firstAnswerRefusal(const MqttSettings& settings, MosquittoPublisher& publisher) {
  const std::string broker = brokerName(settings);
  const std::optional<int> outcome =
      publisher.firstOutcome(std::chrono::seconds(settings.connectTimeoutSeconds));
  if (!outcome) {
    return said(QT_TRANSLATE_NOOP("rs485-cli", "no answer from the MQTT broker at %1 within %2 s"),
                {broker, std::to_string(settings.connectTimeoutSeconds)});
  }
  if (*outcome == kBadUserNameOrPassword || *outcome == kNotAuthorised) {
    return settings.user.empty()
               ? said(QT_TRANSLATE_NOOP("rs485-cli",
                                        "the MQTT broker at %1 refused an anonymous client: not authorised"),
                      {broker})
               : said(QT_TRANSLATE_NOOP("rs485-cli",
                                        "the MQTT broker at %1 refused the user %2: not authorised"),
                      {broker, settings.user});
  }
  if (*outcome > 0) {
    return said(QT_TRANSLATE_NOOP("rs485-cli", "the MQTT broker at %1 refused the connection: %2"),
                {broker, mosquitto_connack_string(*outcome)});
  }
  if (*outcome < 0) return closedReason(settings, publisher.loggedErrors());
  return {};
}

}  // namespace

std::unique_ptr<Publisher> connectMqtt(const MqttSettings& settings, std::string& error) {
  initLibrary();
  mosquitto* client = mosquitto_new(clientId(settings).c_str(), true, nullptr);
  if (client == nullptr) {
    error = said(QT_TRANSLATE_NOOP("rs485-cli", "cannot create an MQTT client"));
    return nullptr;
  }
  auto publisher = std::make_unique<MosquittoPublisher>(settings, client);
  setCallbacks(client, publisher.get());
  error = configure(client, settings);
  if (!error.empty()) return nullptr;

  const int rc = mosquitto_connect(client, settings.host.c_str(), settings.port, settings.keepAliveSeconds);
  if (rc == MOSQ_ERR_TLS) {  // the handshake may end within the connect
    error = closedReason(settings, publisher->loggedErrors());
    return nullptr;
  }
  if (rc != MOSQ_ERR_SUCCESS) {
    error = said(QT_TRANSLATE_NOOP("rs485-cli", "cannot reach the MQTT broker at %1: %2"),
                 {brokerName(settings),
                  rc == MOSQ_ERR_ERRNO ? std::string(strerror(errno)) : std::string(mosquitto_strerror(rc))});
    return nullptr;
  }
  publisher->startNetwork();
  error = firstAnswerRefusal(settings, *publisher);
  if (!error.empty()) return nullptr;
  return publisher;
}

}  // namespace rs485::cli
