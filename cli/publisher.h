#pragma once

#include <QByteArray>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace rs485::cli {

// Where accepted answers go besides standard output. The MQTT client is
// one; its TLS and credentials are settings of its own, not changes here.
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
  int reconnectDelayMin = 1;       // seconds; doubled after each failure
  int reconnectDelayMax = 30;      // seconds
  int connectTimeoutSeconds = 10;  // for the broker's first answer
  std::string user;                // empty: anonymous
  std::string password;            // only with a user; empty: none
  std::string caFile;              // TLS, the broker's certificate and host name verified against it
  // "online" (retained) at every connect, "offline" at a clean stop and as
  // the last will, so that a subscriber learns when the client is gone.
  std::string statusTopic;  // empty: none
};

// Connects to the broker (QoS 1, retained messages) and keeps reconnecting
// by itself, with the same credentials and TLS, once it has been reached.
// Null, with the reason in `error`, when the broker cannot be reached now,
// refuses the credentials or presents a certificate that does not verify.
std::unique_ptr<Publisher> connectMqtt(const MqttSettings& settings, std::string& error);

}  // namespace rs485::cli
