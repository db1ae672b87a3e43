#include "link/bus_reply.h"

namespace rs485 {

int BusRequest::command() const {
  switch (kind) {
    case Kind::Probe:
      return CmdProbe;
    case Kind::ReadCurrent:
      return CmdReadCurrent;
    case Kind::SetAddress:
      return CmdSetAddress;
  }
  return CmdProbe;
}

std::size_t BusRequest::answerLength() const {
  return kind == Kind::ReadCurrent ? kReadingsResponseLength : kStatusResponseLength;
}

TxFrame BusRequest::frame() const {
  return kind == Kind::SetAddress ? buildAddressChangeRequest(address, newAddress)
                                  : buildBusRequest(address, command());
}

std::size_t BusRequest::frameLength() const {
  return kind == Kind::SetAddress ? kAddressChangeRequestLength : kBusRequestLength;
}

}  // namespace rs485
