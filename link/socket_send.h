#pragma once

#include <cstdint>
#include <span>

namespace rs485 {

// Sends all of `bytes` on a non-blocking socket, waiting for room while the
// socket's buffer is full. False when the connection failed, or when the
// wake-up descriptor `wakeFd` cut the wait short; errno says which.
bool sendAll(int socket, std::span<const std::uint8_t> bytes, int wakeFd);

}  // namespace rs485
