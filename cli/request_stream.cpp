#include "cli/request_stream.h"

namespace rs485::cli {

std::size_t RequestStream::expectedLength() const { return count_ < 2 ? 0 : requestLength(partial_[1]); }

RequestStream::Fault RequestStream::judge(BusRequest& request) const {
  const std::size_t length = expectedLength();
  if (!frameCrcMatches(std::span(partial_).first(length))) return Fault::BadCrc;
  const int address = partial_[0];
  switch (partial_[1]) {
    case CmdProbe:
      request = BusRequest::probe(address);
      return Fault::None;
    case CmdReadCurrent:
      request = BusRequest::readCurrent(address);
      return Fault::None;
    default:
      if (!isBusAddress(partial_[2])) return Fault::BadAddress;
      request = BusRequest::setAddress(address, partial_[2]);
      return Fault::None;
  }
}

RequestStream::Fault RequestStream::take(std::span<const std::uint8_t> bytes,
                                         std::vector<BusRequest>& requests) {
  for (const std::uint8_t byte : bytes) {
    if (fault_ != Fault::None) break;
    partial_[count_++] = byte;
    if (count_ == 1 && !isBusAddress(byte)) {
      fault_ = Fault::BadAddress;
    } else if (count_ == 2 && expectedLength() == 0) {
      fault_ = Fault::UnknownCommand;
    } else if (count_ >= 2 && count_ == expectedLength()) {
      BusRequest request;
      fault_ = judge(request);
      if (fault_ == Fault::None) requests.push_back(request);
      count_ = 0;
    }
  }
  return fault_;
}

}  // namespace rs485::cli
