#include "protocol/readings.h"

#include "protocol/frames.h"

namespace rs485 {

namespace {
std::uint16_t unsigned16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
std::int16_t signed16(const std::uint8_t* p) { return static_cast<std::int16_t>(unsigned16(p)); }
void put16(std::uint8_t* p, std::uint16_t value) {
  p[0] = static_cast<std::uint8_t>(value >> 8);
  p[1] = static_cast<std::uint8_t>(value & 0xFFu);
}
}  // namespace

StatusResponse decodeStatusResponse(const std::uint8_t* frame) {
  return StatusResponse{frame[0], frame[1], frame[2]};
}

ReadingsResponse decodeReadingsResponse(const std::uint8_t* frame) {
  ReadingsResponse r;
  r.address = frame[0];
  r.command = frame[1];
  r.temperature = signed16(frame + 2);
  r.timeMinutes = unsigned16(frame + 4);
  r.step = frame[6];
  r.cycles = frame[7];
  r.numStep = frame[8];
  r.setTemperature = signed16(frame + 9);
  r.setTimeMinutes = unsigned16(frame + 11);
  r.statusByte = frame[13];
  return r;
}

void encodeReadingsResponse(const ReadingsResponse& r, std::uint8_t* frame) {
  frame[0] = r.address;
  frame[1] = r.command;
  put16(frame + 2, static_cast<std::uint16_t>(r.temperature));
  put16(frame + 4, r.timeMinutes);
  frame[6] = r.step;
  frame[7] = r.cycles;
  frame[8] = r.numStep;
  put16(frame + 9, static_cast<std::uint16_t>(r.setTemperature));
  put16(frame + 11, r.setTimeMinutes);
  frame[13] = r.statusByte;
  appendCrc({frame, kReadingsResponseLength}, kReadingsResponseLength - 2);
}

void encodeStatusResponse(const StatusResponse& s, std::uint8_t* frame) {
  frame[0] = s.address;
  frame[1] = s.command;
  frame[2] = s.status;
  appendCrc({frame, kStatusResponseLength}, kStatusResponseLength - 2);
}

}  // namespace rs485
