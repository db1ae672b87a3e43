#include <mosquitto.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>

#include "cli/outbox.h"
#include "cli/publisher.h"

namespace rs485::cli {

namespace {

constexpr int kQos = 1;
constexpr bool kRetain = true;
// Messages handed to the library at once; the rest wait in the outbox,
// where the bound applies.
constexpr std::size_t kMaxInFlight = 20;

// The library is set up once per process and left so.
void initLibrary() {
  static const int ready = mosquitto_lib_init();
  (void)ready;
}

class MosquittoPublisher : public Publisher {
 public:
  MosquittoPublisher(const MqttSettings& settings, mosquitto* client)
      : client_(client), outbox_(settings.queueCapacity) {}

  ~MosquittoPublisher() override {
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, true);
    mosquitto_destroy(client_);
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

  void connected(int result) {
    std::lock_guard lock(mutex_);
    connected_ = result == 0;
    sendWaiting();
  }
  void disconnected() {
    std::lock_guard lock(mutex_);
    connected_ = false;
  }
  // The broker acknowledged a message. Called on the library's thread; the
  // lock also waits for a publish() that has not yet noted this mid.
  void acknowledged(int mid) {
    std::lock_guard lock(mutex_);
    if (inFlight_.erase(mid) > 0) ++acknowledged_;
    sendWaiting();
    changed_.notify_all();
  }

 private:
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
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  Outbox outbox_;
  std::set<int> inFlight_;
  std::size_t acknowledged_ = 0;
  bool connected_ = false;
};

MosquittoPublisher* self(void* object) { return static_cast<MosquittoPublisher*>(object); }

}  // namespace

std::unique_ptr<Publisher> connectMqtt(const MqttSettings& settings, std::string& error) {
  initLibrary();
  std::string id = settings.clientId;
  if (id.empty()) {
    char host[64] = {};
    gethostname(host, sizeof host - 1);
    id = "rs485-cli-" + std::string(host) + "-" + std::to_string(getpid());
  }
  mosquitto* client = mosquitto_new(id.c_str(), true, nullptr);
  if (client == nullptr) {
    error = "cannot create an MQTT client";
    return nullptr;
  }
  auto publisher = std::make_unique<MosquittoPublisher>(settings, client);
  mosquitto_user_data_set(client, publisher.get());
  mosquitto_connect_callback_set(client,
                                 [](mosquitto*, void* object, int rc) { self(object)->connected(rc); });
  mosquitto_disconnect_callback_set(client,
                                    [](mosquitto*, void* object, int) { self(object)->disconnected(); });
  mosquitto_publish_callback_set(client,
                                 [](mosquitto*, void* object, int mid) { self(object)->acknowledged(mid); });
  mosquitto_reconnect_delay_set(client, static_cast<unsigned>(settings.reconnectDelayMin),
                                static_cast<unsigned>(settings.reconnectDelayMax), true);

  const int rc = mosquitto_connect(client, settings.host.c_str(), settings.port, settings.keepAliveSeconds);
  if (rc != MOSQ_ERR_SUCCESS) {
    error = "cannot reach the MQTT broker at " + settings.host + ":" + std::to_string(settings.port) + ": " +
            (rc == MOSQ_ERR_ERRNO ? std::string(strerror(errno)) : std::string(mosquitto_strerror(rc)));
    return nullptr;
  }
  if (mosquitto_loop_start(client) != MOSQ_ERR_SUCCESS) {
    error = "cannot start the MQTT client thread";
    return nullptr;
  }
  return publisher;
}

}  // namespace rs485::cli
