#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "link/network_address.h"
#include "link/serial_device.h"
#include "link/telnet_codec.h"
#include "link/unique_fd.h"

namespace rs485 {

// A serial line behind a device server: raw TCP, or Telnet with the serial
// port option, where the tool sets the line itself. The socket's bytes are
// taken into an input queue of the line's own bytes (Telnet taken out), so
// that the count is what the line sent. A connection that closes, resets or
// times out is a lost line, and reopening it is connecting again.
class NetworkSerialDevice final : public SerialDevice {
 public:
  explicit NetworkSerialDevice(NetworkAddress address);
  ~NetworkSerialDevice() override;
  NetworkSerialDevice(const NetworkSerialDevice&) = delete;
  NetworkSerialDevice& operator=(const NetworkSerialDevice&) = delete;

  // Connects within kConnectTimeLimit. On failure errno holds the reason
  // (see systemErrorText).
  OpenError open();

  bool readLineSettings() override;
  bool applyLineSettings() override;
  bool clearTimeouts() override;
  void setQueueSizes(int input, int output) override;

  bool writeAll(const std::uint8_t* data, std::size_t length) override;
  int inputQueued() override;
  std::size_t readQueued(std::span<std::uint8_t> buffer) override;
  void purgeInput() override;
  void purgeOutput() override;
  Wake waitForArrival() override;
  bool pause(std::chrono::milliseconds duration) override;
  bool reopen() override;
  void shutdown() override;

 private:
  bool telnet() const { return address_.transport == NetworkAddress::Transport::Rfc2217; }
  // A connection with its Telnet set up and, when `setLine`, the line set.
  struct Link {
    UniqueFd socket;
    std::optional<telnet::Client> client;
    bool connected = false;  // the server took the connection (the set-up may have failed after)
    int error = 0;
  };
  Link connectLink(bool setLine, std::chrono::steady_clock::time_point deadline);
  bool setUp(Link& link, bool setLine, std::chrono::steady_clock::time_point deadline);
  // Moves what the socket holds into the input queue; false once the connection is gone.
  void pull();
  void setFresh(bool fresh);  // with inputMutex_ held
  void releaseLine(std::uint64_t generation);
  std::uint64_t currentGeneration();
  bool watchLine(std::uint64_t generation);

  NetworkAddress address_;
  // The socket's number never changes while the port is open: a lost
  // connection is swapped for a stand-in on which every send fails, and a
  // reconnection put in its place, both with dup2().
  UniqueFd fd_;
  UniqueFd wakeFd_;     // eventfd, readable once shutdown() has been called
  UniqueFd readEpoll_;  // receive thread: arrivals on the socket, plus wakeFd_
  std::atomic<bool> shutDown_{false};

  std::mutex lineMutex_;  // the socket, its registration and the generation
  std::uint64_t generation_ = 0;
  bool released_ = false;

  std::mutex inputMutex_;  // the queue, the Telnet state, and reads of the socket
  std::vector<std::uint8_t> input_;
  // Bytes came that no waitForArrival() has reported yet. Any thread may take
  // them from the socket, and epoll drops an arrival whose bytes another
  // thread has read before the receive thread got to it; so the arrival is
  // also told through an eventfd that the receive thread waits on, readable
  // exactly while this is set.
  bool fresh_ = false;
  UniqueFd freshFd_;
  std::optional<telnet::Client> client_;

  std::mutex sendMutex_;  // one sender at a time: frames and Telnet answers never interleave
};

// Opens a tcp:// or rfc2217:// path; null and error set otherwise.
std::unique_ptr<SerialDevice> openNetworkSerialDevice(const std::string& path, OpenError& error);

}  // namespace rs485
