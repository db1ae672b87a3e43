#include "sim/device_model.h"

#include <algorithm>
#include <cstdlib>
#include <random>
#include <stdexcept>

#include "protocol/frames.h"

namespace rs485::sim {

namespace {

constexpr std::int64_t kUnitsPerTenth = 60000;  // milliseconds per minute
constexpr std::int64_t kMsPerMinute = 60000;

std::int16_t toTenths(std::int64_t units) {
  const std::int64_t half = kUnitsPerTenth / 2;
  const std::int64_t rounded =
      units >= 0 ? (units + half) / kUnitsPerTenth : -((-units + half) / kUnitsPerTenth);
  return static_cast<std::int16_t>(std::clamp<std::int64_t>(rounded, INT16_MIN, INT16_MAX));
}

// Draws from [low, high]; the standard distributions differ between
// libraries, this does not.
int draw(std::mt19937_64& rng, int low, int high) {
  const auto span = static_cast<std::uint64_t>(high - low + 1);
  return low + static_cast<int>(rng() % span);
}

}  // namespace

std::uint64_t mixSeed(std::uint64_t seed, std::uint64_t value) {
  std::uint64_t z = seed + 0x9E3779B97F4A7C15ull * (value + 1);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

Program Program::random(std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  Program p;
  // Lively enough to watch at real speed: a few minutes per ramp and per hold.
  p.startTemperature = static_cast<std::int16_t>(draw(rng, 150, 300));
  p.rampTenthsPerMinute = draw(rng, 100, 600);
  p.steps.clear();
  const int count = draw(rng, 2, 5);
  int previous = p.startTemperature;
  for (int i = 0; i < count; ++i) {
    ProgramStep step;
    previous = std::clamp(previous + draw(rng, -300, 700), -150, 9000);
    step.setTemperature = static_cast<std::int16_t>(previous);
    step.setTimeMinutes = static_cast<std::uint16_t>(draw(rng, 1, 10));
    p.steps.push_back(step);
  }
  p.cycles = static_cast<std::uint8_t>(draw(rng, 1, 5));
  return p;
}

DeviceModel::DeviceModel(Program program)
    : program_(std::move(program)),
      temperatureUnits_(program_.startTemperature * kUnitsPerTenth),
      cyclesLeft_(program_.cycles),
      ended_(program_.cycles == 0 || program_.steps.empty()) {
  if (program_.rampTenthsPerMinute < 1)
    throw std::invalid_argument("ramp must be at least 1 tenth per minute");
  if (program_.steps.size() > 255) throw std::invalid_argument("at most 255 steps");
}

std::int64_t DeviceModel::targetUnits() const {
  if (ended_) return program_.startTemperature * kUnitsPerTenth;
  return program_.steps[stepIndex_].setTemperature * kUnitsPerTenth;
}

void DeviceModel::nextStep() {
  holding_ = false;
  holdMs_ = 0;
  if (++stepIndex_ < program_.steps.size()) return;
  stepIndex_ = 0;
  if (--cyclesLeft_ == 0) {
    ended_ = true;
    stepIndex_ = program_.steps.size() - 1;
  }
}

void DeviceModel::advance(std::chrono::milliseconds simulated) {
  std::int64_t ms = simulated.count();
  const std::int64_t rate = program_.rampTenthsPerMinute;
  while (ms > 0) {
    if (ended_ || !holding_) {
      const std::int64_t target = targetUnits();
      const std::int64_t distance = target - temperatureUnits_;
      const std::int64_t needed = (std::abs(distance) + rate - 1) / rate;
      if (needed > ms) {
        temperatureUnits_ += (distance > 0 ? rate : -rate) * ms;
        return;
      }
      temperatureUnits_ = target;
      if (ended_) return;
      ms -= needed;
      holding_ = true;
      holdMs_ = 0;
    } else {
      const std::int64_t left = program_.steps[stepIndex_].setTimeMinutes * kMsPerMinute - holdMs_;
      if (left > ms) {
        holdMs_ += ms;
        return;
      }
      ms -= left;
      nextStep();
    }
  }
}

ReadingsResponse DeviceModel::readings(std::uint8_t address) const {
  ReadingsResponse r;
  r.address = address;
  r.command = CmdReadCurrent;
  r.temperature = toTenths(temperatureUnits_);
  r.numStep = static_cast<std::uint8_t>(program_.steps.size());
  r.cycles = ended_ ? 0 : cyclesLeft_;
  if (!program_.steps.empty()) {
    const ProgramStep& step = program_.steps[stepIndex_];
    r.step = static_cast<std::uint8_t>(stepIndex_ + 1);
    r.setTemperature = step.setTemperature;
    r.setTimeMinutes = step.setTimeMinutes;
  }
  if (holding_ && !ended_) r.timeMinutes = static_cast<std::uint16_t>(holdMs_ / kMsPerMinute);
  r.statusByte = ended_ ? program_.endStatus : holding_ ? kBlinkStatus : program_.rampStatus;
  return r;
}

}  // namespace rs485::sim
