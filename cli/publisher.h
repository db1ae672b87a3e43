#pragma once

#include <QByteArray>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace rs485::cli {

// Where accepted answers go besides standard output. The MQTT client is
// one; TLS or credentials would be settings of its own, not changes here.
class Publisher {
 public:
  struct Counts {
    std::size_t acknowledged = 0;  // the broker has them
    std::size_t dropped = 0;       // pushed out of the full queue, never sent
    std::size_t unsent = 0;        // still waiting or in flight
  };

  virtual ~Publisher() = default;
  // Returns at once; the message waits while the broker is away.
  virtual void publish(const std::string& topic, const QByteArray& payload) = 0;
  // Waits at most `timeout` for every unsent message to be acknowledged.
  virtual void flush(std::chrono::milliseconds timeout) = 0;
  virtual Counts counts() const = 0;
};

struct MqttSettings {
  std::string host = "localhost";
  int port = 1883;
  std::string clientId;  // empty: one made from the host name and process id
  int keepAliveSeconds = 30;
  std::size_t queueCapacity = 1000;
  int reconnectDelayMin = 1;   // seconds; doubled after each failure
  int reconnectDelayMax = 30;  // seconds
};

// Connects to the broker (QoS 1, retained messages) and keeps reconnecting
// by itself once it has been reached. Null, with the reason in `error`, when
// the broker cannot be reached now.
std::unique_ptr<Publisher> connectMqtt(const MqttSettings& settings, std::string& error);

}  // namespace rs485::cli
