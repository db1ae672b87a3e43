#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "protocol/readings.h"

namespace rs485::sim {

struct ParsedItem;

// Misbehaviour of one device, each with the probability (0..1) that it
// strikes a given request; 1 makes it strike every time.
struct Faults {
  double silent = 0;        // the device does not hear the request: no answer, no address change
  double badCrc = 0;        // the answer's last CRC byte is inverted
  double split = 0;         // the answer goes out in 2..4 bursts with gaps between them
  double extraBytes = 0;    // bytes are appended after the answer's CRC
  double wrongAddress = 0;  // the answer names otherAddress (with a CRC that matches)
  double badStatus = 0;     // a probe or address change is answered with failStatus (the address stays)
  // The answer goes out lateBy after the request instead of after the
  // turnaround, with the readings of the request's moment.
  double late = 0;

  int extraByteCount = 3;
  std::uint8_t otherAddress = 0;  // 0: the device's address + 1, 247 wrapping to 1
  std::uint8_t failStatus = 0x01;
  std::chrono::milliseconds splitGapMin{3};
  std::chrono::milliseconds splitGapMax{15};
  std::chrono::milliseconds lateBy{500};
};

// Throws std::invalid_argument for a probability outside 0..1, an extra byte
// count outside 1..64, split gaps that are negative or out of order or a
// late delay outside 1..60000 ms.
void checkFaults(const Faults& faults);

// What a device asks of the rest of the bus, and only when a request needs it.
struct BusView {
  std::function<ReadingsResponse()> readings;  // this moment's readings, for a readings request
  std::function<bool(int)> addressTaken;       // another device answers there, for an address change
};

// The bytes of one answer, before the line paces them.
struct Answer {
  std::vector<std::uint8_t> bytes;
  std::vector<std::size_t> bursts;              // the sizes of the writes, in order, adding up to the bytes
  std::vector<std::chrono::microseconds> gaps;  // the pause before every burst but the first
  std::string verdict;                          // "ok", or the faults that struck joined by '+'
  std::chrono::milliseconds late{0};            // set: sent this long after the request
};

// What one request does to a device.
struct Outcome {
  // "silent" (not heard), "answered", or "refused": an address change to a
  // taken or invalid address, answered with the fail status.
  const char* verdict = "answered";
  std::optional<int> newAddress;  // an address change taken: the device moves here
  std::optional<Answer> answer;   // none when silent
};

// What the line carries when two devices send `first` and `second` at once,
// the second half a character behind. Modelled as a line on which a driven
// 0 outweighs a 1: every byte is the AND of the first's byte and the
// second's bits half a byte late, and the second's tail makes it one byte
// longer than either answer. No receiver can take it for either answer.
std::vector<std::uint8_t> collide(const std::vector<std::uint8_t>& first,
                                  const std::vector<std::uint8_t>& second);

// One device's way of answering: its faults and the random draws that decide
// when they strike. The same seed and the same requests give the same answers.
class AnswerBuilder {
 public:
  AnswerBuilder(const Faults& faults, std::uint64_t seed)
      : faults_(faults), rng_(seed), lateRng_(seed ^ 0x9E3779B97F4A7C15ull) {}

  // The draws go on from where they are.
  void setFaults(const Faults& faults) { faults_ = faults; }
  const Faults& faults() const { return faults_; }

  // The answer to a request addressed to this device.
  Outcome answer(const ParsedItem& request, const BusView& bus);

 private:
  Faults faults_;
  std::mt19937_64 rng_;
  // The late fault draws from a stream of its own, so that every seed's
  // other draws stay as they were before it existed.
  std::mt19937_64 lateRng_;
};

}  // namespace rs485::sim
