#include "link/network_serial_device.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "link/poll_until.h"
#include "link/rfc2217_setup.h"
#include "link/socket_send.h"
#include "link/tcp_connect.h"

namespace rs485 {

namespace {

using Clock = std::chrono::steady_clock;

// The device server's answers to the Telnet set-up; a server that says
// nothing is taken for one that does not speak the option.
constexpr std::chrono::seconds kSetUpTimeLimit{2};

// Bytes the input queue takes before the rest waits in the socket, as a
// driver's queue is bounded.
constexpr std::size_t kInputQueueLimit = 4096;

constexpr std::uint64_t kWakeTag = ~std::uint64_t{0};
constexpr std::uint64_t kFreshTag = kWakeTag - 1;

bool watch(int epoll, int fd, std::uint64_t tag) {
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = tag;
  return epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) == 0;
}

}  // namespace

std::unique_ptr<SerialDevice> openNetworkSerialDevice(const std::string& path, OpenError& error) {
  const auto address = parseNetworkAddress(path);
  if (!address) {
    error = OpenError::NotFound;
    errno = EINVAL;
    return nullptr;
  }
  auto device = std::make_unique<NetworkSerialDevice>(*address);
  error = device->open();
  if (error == OpenError::None) return device;
  const int failed = errno;
  device.reset();
  errno = failed;
  return nullptr;
}

NetworkSerialDevice::NetworkSerialDevice(NetworkAddress address) : address_(std::move(address)) {}

NetworkSerialDevice::~NetworkSerialDevice() = default;

OpenError NetworkSerialDevice::open() {
  wakeFd_ = UniqueFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  freshFd_ = UniqueFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  readEpoll_ = UniqueFd(epoll_create1(EPOLL_CLOEXEC));
  if (!wakeFd_.valid() || !freshFd_.valid() || !readEpoll_.valid() ||
      !watch(readEpoll_.get(), wakeFd_.get(), kWakeTag) ||
      !watch(readEpoll_.get(), freshFd_.get(), kFreshTag))
    return OpenError::Other;
  Link link = connectLink(false, Clock::now() + kConnectTimeLimit);
  if (!link.socket.valid()) {
    errno = link.error;
    // A server that took the connection but not the Telnet set-up refused the line.
    return link.connected ? OpenError::SettingsRejected : openErrorFromConnect(link.error);
  }
  fd_ = std::move(link.socket);
  client_ = std::move(link.client);
  std::lock_guard lock(lineMutex_);
  return watchLine(generation_) ? OpenError::None : OpenError::Other;
}

// The connection, and for Telnet its set-up; the line's settings only when
// `setLine` (a first open leaves them to applyLineSettings()).
NetworkSerialDevice::Link NetworkSerialDevice::connectLink(bool setLine, Clock::time_point deadline) {
  Link link;
  Connection connection = connectTcp(address_.host, address_.port, wakeFd_.get(), deadline);
  link.error = connection.error;
  if (!connection.socket.valid()) return link;
  link.socket = std::move(connection.socket);
  link.connected = true;
  if (telnet() && !setUp(link, setLine, Clock::now() + kSetUpTimeLimit)) link.socket = UniqueFd();
  return link;
}

bool NetworkSerialDevice::setUp(Link& link, bool setLine, Clock::time_point deadline) {
  link.client.emplace();
  Rfc2217Setup setup{link.socket.get(), *link.client, wakeFd_.get(), deadline};
  const bool ok = setup.negotiate() && (!setLine || setup.setLine());
  link.error = setup.error;
  return ok;
}

bool NetworkSerialDevice::watchLine(std::uint64_t generation) {
  // Edge-triggered: every arrival wakes the receive thread once, however many
  // bytes it leaves in the queue.
  epoll_event event{};
  event.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
  event.data.u64 = generation;
  return epoll_ctl(readEpoll_.get(), EPOLL_CTL_ADD, fd_.get(), &event) == 0;
}

// A connection that closed, reset or timed out is let go at once, so that the
// server sees the close and takes the next connection; an eventfd takes the
// socket's place, on which every send fails, which sends the engine to
// reopen(). Unless a reopen has replaced the connection already.
void NetworkSerialDevice::releaseLine(std::uint64_t generation) {
  std::lock_guard lock(lineMutex_);
  if (generation != generation_ || released_) return;
  epoll_ctl(readEpoll_.get(), EPOLL_CTL_DEL, fd_.get(), nullptr);
  const UniqueFd standIn(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!standIn.valid() || dup2(standIn.get(), fd_.get()) != fd_.get()) {
    ::shutdown(fd_.get(), SHUT_RDWR);  // keeps the number; every send fails all the same
  }
  released_ = true;
}

void NetworkSerialDevice::setFresh(bool fresh) {
  if (fresh == fresh_) return;
  fresh_ = fresh;
  std::uint64_t count = 1;
  const ssize_t n =
      fresh ? ::write(freshFd_.get(), &count, sizeof count) : ::read(freshFd_.get(), &count, sizeof count);
  static_cast<void>(n);
}

std::uint64_t NetworkSerialDevice::currentGeneration() {
  std::lock_guard lock(lineMutex_);
  return generation_;
}

bool NetworkSerialDevice::reopen() {
  if (shutDown_) return false;
  {
    std::lock_guard lock(lineMutex_);
    if (!released_) return false;  // the connection it holds has not gone
  }
  Link link = connectLink(true, Clock::now() + kConnectTimeLimit);
  if (!link.socket.valid()) return false;
  std::lock_guard line(lineMutex_);
  std::lock_guard input(inputMutex_);
  if (shutDown_ || dup2(link.socket.get(), fd_.get()) != fd_.get()) return false;
  link.socket = UniqueFd();
  client_ = std::move(link.client);
  input_.clear();
  setFresh(false);
  released_ = false;
  return watchLine(++generation_);
}

bool NetworkSerialDevice::readLineSettings() { return true; }

// A raw-TCP server sets the line from its own configuration; a Telnet one is
// told. The engine's threads are not running yet, so the socket is read here.
bool NetworkSerialDevice::applyLineSettings() {
  if (!telnet()) return true;
  std::lock_guard lock(inputMutex_);
  Rfc2217Setup setup{fd_.get(), *client_, wakeFd_.get(), Clock::now() + kSetUpTimeLimit};
  const bool ok = setup.setLine();
  errno = setup.error;
  return ok;
}

bool NetworkSerialDevice::clearTimeouts() { return true; }

// The socket's buffers are the kernel's; nothing to size.
void NetworkSerialDevice::setQueueSizes(int, int) {}

bool NetworkSerialDevice::writeAll(const std::uint8_t* data, std::size_t length) {
  std::uint64_t generation = 0;
  {
    std::lock_guard lock(lineMutex_);
    if (released_ || shutDown_) return false;
    generation = generation_;
  }
  std::vector<std::uint8_t> bytes;
  if (telnet()) {
    telnet::appendEscaped(std::span(data, length), bytes);
  } else {
    bytes.assign(data, data + length);
  }
  bool ok = false;
  {
    std::lock_guard lock(sendMutex_);
    ok = sendAll(fd_.get(), bytes, wakeFd_.get());
  }
  if (!ok && !shutDown_) releaseLine(generation);
  return ok;
}

void NetworkSerialDevice::pull() {
  const std::uint64_t generation = currentGeneration();
  bool gone = false;
  std::vector<std::uint8_t> reply;
  {
    std::lock_guard lock(inputMutex_);
    std::array<std::uint8_t, 1024> chunk{};
    while (input_.size() < kInputQueueLimit) {
      const ssize_t n = recv(fd_.get(), chunk.data(), chunk.size(), MSG_DONTWAIT);
      if (n > 0) {
        const std::size_t before = input_.size();
        const auto got = std::span(chunk).first(static_cast<std::size_t>(n));
        if (client_) {
          client_->feed(got, input_, reply);
        } else {
          input_.insert(input_.end(), got.begin(), got.end());
        }
        if (input_.size() > before) setFresh(true);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      // Nothing more now, or the stand-in of a connection already let go.
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOTSOCK)) break;
      gone = true;  // closed by the server, reset, or timed out
      break;
    }
  }
  if (!reply.empty()) {
    std::lock_guard lock(sendMutex_);
    sendAll(fd_.get(), reply, wakeFd_.get());
  }
  if (gone) releaseLine(generation);
}

int NetworkSerialDevice::inputQueued() {
  pull();
  std::lock_guard lock(inputMutex_);
  return static_cast<int>(input_.size());
}

std::size_t NetworkSerialDevice::readQueued(std::span<std::uint8_t> buffer) {
  pull();
  std::lock_guard lock(inputMutex_);
  const std::size_t count = std::min(buffer.size(), input_.size());
  std::copy_n(input_.begin(), count, buffer.begin());
  input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(count));
  return count;
}

// Only the tool's own queue: a purge sent to a Telnet server is carried out
// when the server gets to it, which may be after the request that follows
// it has gone out, so that it throws away the request's answer. The server's
// queues are purged once, when the line is set up.
void NetworkSerialDevice::purgeInput() {
  pull();
  std::lock_guard lock(inputMutex_);
  input_.clear();
  setFresh(false);
}

// What the socket has taken cannot be called back (see purgeInput()).
void NetworkSerialDevice::purgeOutput() {}

SerialPort::Wake NetworkSerialDevice::waitForArrival() {
  for (;;) {
    {
      std::lock_guard lock(inputMutex_);
      if (fresh_) {
        setFresh(false);
        return Wake::Arrival;
      }
    }
    epoll_event events[3];
    const int n = epoll_wait(readEpoll_.get(), events, 3, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Wake::Error;
    const std::span woken(events, static_cast<std::size_t>(n));
    for (const epoll_event& event : woken) {
      if (event.data.u64 == kWakeTag) return Wake::Shutdown;
    }
    // Bytes, or the end of the connection, which the read reports.
    pull();
    for (const epoll_event& event : woken) {
      if ((event.events & (EPOLLHUP | EPOLLERR)) != 0) releaseLine(event.data.u64);
    }
  }
}

bool NetworkSerialDevice::pause(std::chrono::milliseconds duration) {
  if (shutDown_) return false;
  return pollUntil(wakeFd_.get(), POLLIN, wakeFd_.get(), Clock::now() + duration) == PollOutcome::TimedOut;
}

void NetworkSerialDevice::shutdown() {
  shutDown_ = true;
  // Never read back, so the eventfd stays readable and every later wait returns too.
  const std::uint64_t one = 1;
  const ssize_t n = ::write(wakeFd_.get(), &one, sizeof one);
  static_cast<void>(n);
}

}  // namespace rs485
