#include "link/rfc2217_setup.h"

#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <vector>

#include "link/poll_until.h"
#include "link/socket_send.h"

namespace rs485 {

namespace {

constexpr std::uint32_t kBaudRate = 2400;
constexpr std::uint8_t kDataBits = 8;

std::array<std::uint8_t, 4> bigEndian(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

void append(std::vector<std::uint8_t>& out, telnet::ComPort command, std::span<const std::uint8_t> value) {
  const auto bytes = telnet::comPortCommand(command, value);
  out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace

template <typename Done>
bool Rfc2217Setup::awaitServer(Done done) {
  std::array<std::uint8_t, 512> chunk{};
  std::vector<std::uint8_t> data;
  std::vector<std::uint8_t> reply;
  while (!done()) {
    switch (pollUntil(socket, POLLIN, wakeFd, deadline)) {
      case PollOutcome::Ready:
        break;
      case PollOutcome::Woken:
        error = ECANCELED;
        return false;
      case PollOutcome::TimedOut:
        error = ETIMEDOUT;
        return false;
    }
    const ssize_t n = recv(socket, chunk.data(), chunk.size(), MSG_DONTWAIT);
    if (n == 0) {
      error = ECONNRESET;  // the server closed the connection
      return false;
    }
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      error = errno;
      return false;
    }
    data.clear();
    reply.clear();
    client.feed(std::span(chunk).first(static_cast<std::size_t>(n)), data, reply);
    if (!reply.empty() && !sendAll(socket, reply, wakeFd)) {
      error = errno;
      return false;
    }
  }
  return true;
}

bool Rfc2217Setup::negotiate() {
  if (!sendAll(socket, client.opening(), wakeFd)) {
    error = errno;
    return false;
  }
  if (!awaitServer([this] { return client.settled(); })) return false;
  error = 0;
  return client.comPortAccepted();
}

bool Rfc2217Setup::setLine() {
  using telnet::ComPort;
  std::vector<std::uint8_t> out;
  for (const std::uint8_t control :
       {telnet::kNoFlowControl, telnet::kInboundNoFlowControl, telnet::kDtrOff, telnet::kRtsOff}) {
    append(out, ComPort::SetControl, std::array{control});
  }
  const auto baud = bigEndian(kBaudRate);
  append(out, ComPort::SetBaudRate, baud);
  append(out, ComPort::SetDataSize, std::array{kDataBits});
  append(out, ComPort::SetParity, std::array{telnet::kNoParity});
  append(out, ComPort::SetStopSize, std::array{telnet::kOneStopBit});
  client.forgetAnswers();
  if (!sendAll(socket, out, wakeFd)) {
    error = errno;
    return false;
  }
  const std::array<std::pair<ComPort, std::vector<std::uint8_t>>, 4> expected{{
      {ComPort::SetBaudRate, {baud.begin(), baud.end()}},
      {ComPort::SetDataSize, {kDataBits}},
      {ComPort::SetParity, {telnet::kNoParity}},
      {ComPort::SetStopSize, {telnet::kOneStopBit}},
  }};
  const auto allAnswered = [&] {
    for (const auto& [command, value] : expected) {
      if (!client.answerTo(command)) return false;
    }
    return true;
  };
  if (!awaitServer(allAnswered)) return false;
  error = 0;
  for (const auto& [command, value] : expected) {
    if (*client.answerTo(command) != value) return false;
  }
  // Whatever the server still holds from before this connection goes, before
  // the first request does.
  std::vector<std::uint8_t> purge;
  append(purge, ComPort::PurgeData, std::array{telnet::kPurgeBoth});
  if (!sendAll(socket, purge, wakeFd) ||
      !awaitServer([this] { return client.answerTo(ComPort::PurgeData).has_value(); })) {
    error = error != 0 ? error : errno;
    return false;
  }
  return true;
}

}  // namespace rs485
