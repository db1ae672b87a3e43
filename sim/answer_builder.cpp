#include "sim/answer_builder.h"

#include <algorithm>
#include <stdexcept>

#include "protocol/frames.h"
#include "sim/request_parser.h"

namespace rs485::sim {

namespace {

double uniform(std::mt19937_64& rng) { return static_cast<double>(rng() >> 11) * 0x1.0p-53; }

void checkProbability(double p, const char* name) {
  if (!(p >= 0.0 && p <= 1.0))
    throw std::invalid_argument(std::string("fault probability out of 0..1: ") + name);
}

std::string joinVerdict(const std::vector<const char*>& faults) {
  if (faults.empty()) return "ok";
  std::string out;
  for (const char* f : faults) {
    if (!out.empty()) out += '+';
    out += f;
  }
  return out;
}

struct Draws {
  double silent, badStatus, wrongAddress, badCrc, extra, split;
};

// All six are drawn for every request so that one fault's setting does not
// shift the draws of the others.
Draws drawFaults(std::mt19937_64& rng) {
  Draws d{};
  d.silent = uniform(rng);
  d.badStatus = uniform(rng);
  d.wrongAddress = uniform(rng);
  d.badCrc = uniform(rng);
  d.extra = uniform(rng);
  d.split = uniform(rng);
  return d;
}

std::vector<std::size_t> splitSizes(std::size_t length, std::mt19937_64& rng) {
  const std::size_t count = std::min<std::size_t>(2 + rng() % 3, length);
  std::vector<std::size_t> cuts;
  for (std::size_t i = 1; i < length; ++i) cuts.push_back(i);
  for (std::size_t i = 0; i + 1 < count; ++i) std::swap(cuts[i], cuts[i + rng() % (cuts.size() - i)]);
  cuts.resize(count - 1);
  std::sort(cuts.begin(), cuts.end());
  std::vector<std::size_t> sizes;
  std::size_t previous = 0;
  for (const std::size_t cut : cuts) {
    sizes.push_back(cut - previous);
    previous = cut;
  }
  sizes.push_back(length - previous);
  return sizes;
}

}  // namespace

void checkFaults(const Faults& f) {
  checkProbability(f.silent, "silent");
  checkProbability(f.badCrc, "bad-crc");
  checkProbability(f.split, "split");
  checkProbability(f.extraBytes, "extra");
  checkProbability(f.wrongAddress, "wrong-address");
  checkProbability(f.badStatus, "bad-status");
  checkProbability(f.late, "late");
  if (f.extraByteCount < 1 || f.extraByteCount > 64)
    throw std::invalid_argument("extra byte count out of 1..64");
  if (f.splitGapMin.count() < 0 || f.splitGapMax < f.splitGapMin)
    throw std::invalid_argument("bad split gaps");
  if (f.lateBy.count() < 1 || f.lateBy.count() > 60000)
    throw std::invalid_argument("late delay out of 1..60000 ms");
}

std::vector<std::uint8_t> collide(const std::vector<std::uint8_t>& first,
                                  const std::vector<std::uint8_t>& second) {
  constexpr unsigned kIdle = 0xFF;
  const auto at = [](const std::vector<std::uint8_t>& bytes, std::size_t i) -> unsigned {
    return i < bytes.size() ? bytes[i] : kIdle;
  };
  const std::size_t length = std::max(first.size(), second.size()) + 1;
  std::vector<std::uint8_t> line(length);
  for (std::size_t i = 0; i < length; ++i) {
    // Bits go out least significant first, so lateness moves them up.
    const unsigned before = i == 0 ? kIdle : at(second, i - 1);
    const unsigned late = ((at(second, i) << 4) | (before >> 4)) & 0xFFu;
    line[i] = static_cast<std::uint8_t>(at(first, i) & late);
  }
  return line;
}

Outcome AnswerBuilder::answer(const ParsedItem& request, const BusView& bus) {
  const Faults& f = faults_;
  const Draws draw = drawFaults(rng_);
  const double lateDraw = uniform(lateRng_);
  Outcome outcome;
  if (draw.silent < f.silent) {
    outcome.verdict = "silent";
    return outcome;
  }
  std::vector<const char*> applied;
  std::vector<std::uint8_t> frame;
  const std::uint8_t self = request.address();
  if (request.command() == CmdReadCurrent) {
    frame.resize(kReadingsResponseLength);
    encodeReadingsResponse(bus.readings(), frame.data());
  } else {
    StatusResponse s{self, request.command(), 0};
    if (draw.badStatus < f.badStatus) {
      s.status = f.failStatus;
      applied.push_back("bad-status");
    } else if (request.command() == CmdSetAddress) {
      // A device takes any free address; the acknowledgement still names the old one.
      const int target = request.newAddress();
      if (!isBusAddress(target) || (target != self && bus.addressTaken(target))) {
        s.status = f.failStatus;
        outcome.verdict = "refused";
      } else {
        outcome.newAddress = target;
      }
    }
    frame.resize(kStatusResponseLength);
    encodeStatusResponse(s, frame.data());
  }

  if (draw.wrongAddress < f.wrongAddress) {
    frame[0] = f.otherAddress != 0 ? f.otherAddress : static_cast<std::uint8_t>(self % kLastBusAddress + 1);
    appendCrc(frame, frame.size() - 2);
    applied.push_back("wrong-address");
  }
  if (draw.badCrc < f.badCrc) {
    frame[frame.size() - 1] ^= 0xFF;
    applied.push_back("bad-crc");
  }
  if (draw.extra < f.extraBytes) {
    for (int i = 0; i < f.extraByteCount; ++i) frame.push_back(static_cast<std::uint8_t>(rng_() & 0xFF));
    applied.push_back("extra");
  }
  Answer& a = outcome.answer.emplace();
  a.bursts = {frame.size()};
  if (draw.split < f.split) {
    a.bursts = splitSizes(frame.size(), rng_);
    const auto span = static_cast<std::uint64_t>((f.splitGapMax - f.splitGapMin).count() + 1);
    for (std::size_t i = 0; i + 1 < a.bursts.size(); ++i)
      a.gaps.push_back(f.splitGapMin + std::chrono::milliseconds(static_cast<std::int64_t>(rng_() % span)));
    applied.push_back("split");
  }
  if (lateDraw < f.late) {
    a.late = f.lateBy;
    applied.push_back("late");
  }
  a.bytes = std::move(frame);
  a.verdict = joinVerdict(applied);
  return outcome;
}

}  // namespace rs485::sim
