#include "link/telnet_codec.h"

#include <algorithm>

namespace rs485::telnet {

namespace {

// A subnegotiation longer than any the option defines is cut here, so that a
// server that never ends one cannot grow the buffer without bound.
constexpr std::size_t kLongestSubnegotiation = 64;

bool weEnable(std::uint8_t option) {
  return option == kBinary || option == kComPort || option == kSuppressGoAhead;
}
bool heEnables(std::uint8_t option) { return option == kBinary || option == kSuppressGoAhead; }

// Byte by byte: GCC 12 at -O3 falsely reports -Warray-bounds and
// -Wstringop-overflow inside vector::insert of an initializer list here.
void command(std::vector<std::uint8_t>& out, std::uint8_t verb, std::uint8_t option) {
  out.push_back(kIac);
  out.push_back(verb);
  out.push_back(option);
}

}  // namespace

void appendEscaped(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out) {
  for (const std::uint8_t byte : data) {
    out.push_back(byte);
    if (byte == kIac) out.push_back(kIac);
  }
}

std::vector<std::uint8_t> comPortCommand(ComPort code, std::span<const std::uint8_t> value) {
  std::vector<std::uint8_t> out{kIac, kSb, kComPort, static_cast<std::uint8_t>(code)};
  appendEscaped(value, out);
  out.push_back(kIac);
  out.push_back(kSe);
  return out;
}

std::vector<std::uint8_t> Client::opening() {
  std::vector<std::uint8_t> out;
  for (const std::uint8_t option : {kBinary, kComPort}) {
    askedOurs_[option] = true;
    command(out, kWill, option);
  }
  askedHis_[kBinary] = true;
  command(out, kDo, kBinary);
  return out;
}

void Client::feed(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& data,
                  std::vector<std::uint8_t>& reply) {
  for (const std::uint8_t byte : bytes) {
    switch (state_) {
      case State::Data:
        if (byte == kIac) {
          state_ = State::Iac;
        } else {
          data.push_back(byte);
        }
        break;
      case State::Iac:
        if (byte == kIac) {
          data.push_back(kIac);
          state_ = State::Data;
        } else if (byte >= kWill) {  // WILL, WONT, DO, DONT
          verb_ = byte;
          state_ = State::Verb;
        } else if (byte == kSb) {
          sub_.clear();
          state_ = State::Sub;
        } else {
          state_ = State::Data;  // NOP, GA, a break and the like: nothing for a binary line
        }
        break;
      case State::Verb:
        negotiate(verb_, byte, reply);
        state_ = State::Data;
        break;
      case State::Sub:
        if (byte == kIac) {
          state_ = State::SubIac;
        } else if (sub_.size() < kLongestSubnegotiation) {
          sub_.push_back(byte);
        }
        break;
      case State::SubIac:
        if (byte == kSe) {
          subnegotiation();
          state_ = State::Data;
        } else {
          if (sub_.size() < kLongestSubnegotiation) sub_.push_back(byte);  // IAC IAC: one 0xFF
          state_ = State::Sub;
        }
        break;
    }
  }
}

// Answers only what changes a side's state, so that two ends never echo
// each other's agreement for ever.
void Client::negotiate(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& reply) {
  const bool asked = verb == kDo || verb == kDont ? askedOurs_[option] : askedHis_[option];
  switch (verb) {
    case kDo:
      askedOurs_[option] = false;
      if (!weEnable(option)) {
        command(reply, kWont, option);
      } else if (!ours_[option]) {
        ours_[option] = true;
        if (!asked) command(reply, kWill, option);
      }
      break;
    case kDont:
      askedOurs_[option] = false;
      if (ours_[option]) {
        ours_[option] = false;
        command(reply, kWont, option);
      }
      break;
    case kWill:
      askedHis_[option] = false;
      if (!heEnables(option)) {
        command(reply, kDont, option);
      } else if (!his_[option]) {
        his_[option] = true;
        if (!asked) command(reply, kDo, option);
      }
      break;
    case kWont:
      askedHis_[option] = false;
      if (his_[option]) {
        his_[option] = false;
        command(reply, kDont, option);
      }
      break;
    default:
      break;
  }
}

void Client::subnegotiation() {
  if (sub_.size() < 2 || sub_[0] != kComPort || sub_[1] < kServerReply) return;
  answers_[sub_[1] - kServerReply] = std::vector<std::uint8_t>(sub_.begin() + 2, sub_.end());
}

bool Client::settled() const {
  const auto asked = [](bool pending) { return pending; };
  return std::none_of(askedOurs_.begin(), askedOurs_.end(), asked) &&
         std::none_of(askedHis_.begin(), askedHis_.end(), asked);
}

std::optional<std::vector<std::uint8_t>> Client::answerTo(ComPort code) const {
  return answers_[static_cast<std::uint8_t>(code)];
}

void Client::forgetAnswers() {
  for (auto& answer : answers_) answer.reset();
}

}  // namespace rs485::telnet
