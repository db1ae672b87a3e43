#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "protocol/readings.h"

namespace rs485::sim {

struct ProgramStep {
  std::int16_t setTemperature = 0;   // tenths of a degree Celsius
  std::uint16_t setTimeMinutes = 0;  // how long the step holds its setpoint
};

// What a simulated controller runs: each step ramps the temperature to the
// step's setpoint, then holds it for the step's time; the list of steps runs
// `cycles` times, after which the program has ended.
struct Program {
  std::int16_t startTemperature = 200;  // tenths of a degree, also where it cools to after the end
  int rampTenthsPerMinute = 50;         // heating and cooling speed, at least 1
  std::vector<ProgramStep> steps{{650, 10}, {300, 5}};
  std::uint8_t cycles = 2;
  // statusByte while holding is kBlinkStatus (the clock runs, its colon blinks).
  std::uint8_t rampStatus = 0x01;  // while heading for a setpoint
  std::uint8_t endStatus = 0x00;   // once the program has ended

  // A plausible program drawn from the seed; the same seed gives the same one.
  static Program random(std::uint64_t seed);
};

// The state of one controller's program, advanced by simulated time only:
// the same program and the same advances give the same readings.
class DeviceModel {
 public:
  explicit DeviceModel(Program program);  // throws std::invalid_argument for a ramp below 1

  void advance(std::chrono::milliseconds simulated);

  // The readings of this moment as the device at `address` sends them.
  ReadingsResponse readings(std::uint8_t address) const;

  bool ended() const { return ended_; }
  bool holding() const { return holding_; }
  const Program& program() const { return program_; }

 private:
  std::int64_t targetUnits() const;
  void nextStep();

  Program program_;
  std::int64_t temperatureUnits_;  // tenths of a degree × 60000, so one millisecond moves it by the ramp
  std::size_t stepIndex_ = 0;
  bool holding_ = false;
  std::int64_t holdMs_ = 0;
  std::uint8_t cyclesLeft_;
  bool ended_;
};

// Mixes a seed with a number (a device address, a purpose) into a new seed.
std::uint64_t mixSeed(std::uint64_t seed, std::uint64_t value);

}  // namespace rs485::sim
