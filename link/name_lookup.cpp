#include "link/name_lookup.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "link/poll_until.h"
#include "link/unique_fd.h"

namespace rs485 {

namespace {

LookupResult resolve(const std::string& host, const std::string& port, int flags) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = flags;
  addrinfo* list = nullptr;
  LookupResult result;
  const int code = getaddrinfo(host.c_str(), port.c_str(), &hints, &list);
  if (code != 0) {
    result.error = code == EAI_SYSTEM ? errno : code;
    return result;
  }
  for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
    SocketAddress address;
    std::memcpy(&address.address, entry->ai_addr, entry->ai_addrlen);
    address.length = entry->ai_addrlen;
    address.family = entry->ai_family;
    result.addresses.push_back(address);
  }
  freeaddrinfo(list);
  return result;
}

// What the lookup thread and its caller share; whoever leaves last frees it.
struct Pending {
  std::mutex mutex;
  LookupResult result;
  UniqueFd done{eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
};

}  // namespace

LookupResult lookUp(const std::string& host, const std::string& port, int wakeFd,
                    std::chrono::steady_clock::time_point deadline) {
  LookupResult numeric = resolve(host, port, AI_NUMERICHOST | AI_NUMERICSERV);
  if (numeric.error == 0) return numeric;

  auto pending = std::make_shared<Pending>();
  if (!pending->done.valid()) return {{}, errno};
  try {
    std::thread([pending, host, port] {
      LookupResult result = resolve(host, port, AI_NUMERICSERV);
      std::lock_guard lock(pending->mutex);
      pending->result = std::move(result);
      const std::uint64_t one = 1;
      const ssize_t n = ::write(pending->done.get(), &one, sizeof one);
      static_cast<void>(n);
    }).detach();
  } catch (const std::system_error& error) {
    return {{}, error.code().value()};
  }
  switch (pollUntil(pending->done.get(), POLLIN, wakeFd, deadline)) {
    case PollOutcome::Ready:
      break;
    case PollOutcome::Woken:
      return {{}, ECANCELED};
    case PollOutcome::TimedOut:
      return {{}, ETIMEDOUT};
  }
  std::lock_guard lock(pending->mutex);
  return pending->result;
}

}  // namespace rs485
