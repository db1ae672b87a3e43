#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace rs485::telnet {

// Telnet's command bytes and the options the tool speaks.
constexpr std::uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250, kSe = 240;
constexpr std::uint8_t kBinary = 0, kSuppressGoAhead = 3, kComPort = 44;

// Commands of the serial-port option, client to server; the server answers
// each with the same value plus 100.
enum class ComPort : std::uint8_t {
  SetBaudRate = 1,
  SetDataSize = 2,
  SetParity = 3,
  SetStopSize = 4,
  SetControl = 5,
  PurgeData = 12,
};
constexpr std::uint8_t kServerReply = 100;

// Values of SetControl, SetParity, SetStopSize and PurgeData.
constexpr std::uint8_t kNoFlowControl = 1, kDtrOff = 9, kRtsOff = 12, kInboundNoFlowControl = 14;
constexpr std::uint8_t kNoParity = 1, kOneStopBit = 1;
constexpr std::uint8_t kPurgeReceived = 1, kPurgeTransmitted = 2, kPurgeBoth = 3;

// Appends `data` with every 0xFF doubled, so that no data byte reads as a command.
void appendEscaped(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out);

// IAC SB COM-PORT-OPTION command value IAC SE, the value escaped.
std::vector<std::uint8_t> comPortCommand(ComPort command, std::span<const std::uint8_t> value);

// The client's side of a Telnet connection to a serial device server: what it
// offers first, the answers it owes the server's requests, and the data
// bytes with Telnet taken out. Sequences may be split across reads anywhere.
class Client {
 public:
  // WILL and DO TRANSMIT-BINARY (so that no byte of a frame is taken for
  // text: a CR followed by NUL may lose the NUL otherwise), WILL COM-PORT-OPTION.
  std::vector<std::uint8_t> opening();

  // Takes bytes as the server sent them: appends the data bytes to `data`
  // and what must go back to `reply`.
  void feed(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& data,
            std::vector<std::uint8_t>& reply);

  // The server has answered everything the client asked.
  bool settled() const;
  // The server has agreed that the client sets the line.
  bool comPortAccepted() const { return ours_[kComPort]; }
  // Both ends send binary.
  bool binaryBothWays() const { return ours_[kBinary] && his_[kBinary]; }
  // The value of the server's last answer to `command`, if any came.
  std::optional<std::vector<std::uint8_t>> answerTo(ComPort command) const;
  void forgetAnswers();

 private:
  enum class State { Data, Iac, Verb, Sub, SubIac };
  void negotiate(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& reply);
  void subnegotiation();

  State state_ = State::Data;
  std::uint8_t verb_ = 0;
  std::vector<std::uint8_t> sub_;
  // What each side does now, and what the client has asked and not yet heard back on.
  std::array<bool, 256> ours_{}, his_{}, askedOurs_{}, askedHis_{};
  std::array<std::optional<std::vector<std::uint8_t>>, 256> answers_{};
};

}  // namespace rs485::telnet
