#include "sim/cli.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <stdexcept>

#include "protocol/frames.h"
#include "sim/text.h"

namespace rs485::sim {

namespace {

[[noreturn]] void bad(const std::string& text) { throw std::invalid_argument(text); }

std::vector<std::string_view> splitOn(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// Decimal, or hexadecimal after 0x.
long long parseInteger(std::string_view text, long long low, long long high, const std::string& what) {
  int base = 10;
  std::string_view digits = text;
  const bool negative = !digits.empty() && digits[0] == '-';
  if (negative) digits.remove_prefix(1);
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  long long value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
    bad(message(QT_TRANSLATE_NOOP("rs485-sim", "%1: not a number: '%2'"), {what, std::string(text)}));
  if (negative) value = -value;
  if (value < low || value > high)
    bad(message(QT_TRANSLATE_NOOP("rs485-sim", "%1: %2 is out of %3..%4"),
                {what, std::to_string(value), std::to_string(low), std::to_string(high)}));
  return value;
}

double parseReal(std::string_view text, double low, double high, const std::string& what) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    bad(message(QT_TRANSLATE_NOOP("rs485-sim", "%1: not a number: '%2'"), {what, std::string(text)}));
  if (!(value >= low && value <= high))
    bad(message(QT_TRANSLATE_NOOP("rs485-sim", "%1: %2 is out of range"), {what, std::string(text)}));
  return value;
}

std::pair<std::string_view, std::string_view> keyValue(std::string_view item) {
  const std::size_t eq = item.find('=');
  if (eq == std::string_view::npos) return {item, {}};
  return {item.substr(0, eq), item.substr(eq + 1)};
}

// "ADDR:rest" or "all:rest".
std::pair<std::string_view, std::string_view> target(std::string_view text, const std::string& option) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos)
    bad(message(QT_TRANSLATE_NOOP("rs485-sim", "%1 wants ADDRESS:LIST, got '%2'"),
                {option, std::string(text)}));
  return {text.substr(0, colon), text.substr(colon + 1)};
}

}  // namespace

Faults parseFaults(std::string_view list, Faults f) {
  bool lateShare = false;  // a late-p anywhere in the list outweighs the certainty late=MS implies
  for (const std::string_view item : splitOn(list, ',')) {
    const auto [name, value] = keyValue(item);
    const std::string key(name);
    const std::string what = message(QT_TRANSLATE_NOOP("rs485-sim", "fault %1"), {key});
    auto probability = [&, v = value] { return v.empty() ? 1.0 : parseReal(v, 0.0, 1.0, what); };
    auto number = [&, v = value](long long low, long long high) {
      if (v.empty()) bad(message(QT_TRANSLATE_NOOP("rs485-sim", "%1 needs a value"), {what}));
      return parseInteger(v, low, high, what);
    };
    if (key == "silent")
      f.silent = probability();
    else if (key == "bad-crc")
      f.badCrc = probability();
    else if (key == "split")
      f.split = probability();
    else if (key == "extra")
      f.extraBytes = probability();
    else if (key == "wrong-address")
      f.wrongAddress = probability();
    else if (key == "bad-status")
      f.badStatus = probability();
    else if (key == "late") {
      f.lateBy = std::chrono::milliseconds(number(1, 60000));
      if (!lateShare) f.late = 1.0;
    } else if (key == "late-p") {
      if (value.empty()) bad(message(QT_TRANSLATE_NOOP("rs485-sim", "%1 needs a value"), {what}));
      f.late = probability();
      lateShare = true;
    } else if (key == "extra-count")
      f.extraByteCount = static_cast<int>(number(1, 64));
    else if (key == "other-address")
      f.otherAddress = static_cast<std::uint8_t>(number(0, 255));
    else if (key == "fail-status")
      f.failStatus = static_cast<std::uint8_t>(number(1, 255));
    else if (key == "gap-min")
      f.splitGapMin = std::chrono::milliseconds(number(0, 10000));
    else if (key == "gap-max")
      f.splitGapMax = std::chrono::milliseconds(number(0, 10000));
    else
      bad(message(QT_TRANSLATE_NOOP("rs485-sim", "unknown fault '%1'"), {key}));
  }
  if (f.splitGapMax < f.splitGapMin) f.splitGapMax = f.splitGapMin;
  return f;
}

ReadingsResponse parseReadings(std::string_view list, int address) {
  ReadingsResponse r;
  r.address = static_cast<std::uint8_t>(address);
  r.command = CmdReadCurrent;
  r.cycles = 1;
  for (const std::string_view item : splitOn(list, ',')) {
    const auto [name, value] = keyValue(item);
    const std::string key(name);
    const std::string what = message(QT_TRANSLATE_NOOP("rs485-sim", "reading %1"), {key});
    if (value.empty()) bad(message(QT_TRANSLATE_NOOP("rs485-sim", "%1 needs a value"), {what}));
    if (key == "temperature")
      r.temperature = static_cast<std::int16_t>(parseInteger(value, -32768, 32767, what));
    else if (key == "time")
      r.timeMinutes = static_cast<std::uint16_t>(parseInteger(value, 0, 65535, what));
    else if (key == "step")
      r.step = static_cast<std::uint8_t>(parseInteger(value, 0, 255, what));
    else if (key == "cycles")
      r.cycles = static_cast<std::uint8_t>(parseInteger(value, 0, 255, what));
    else if (key == "num-step")
      r.numStep = static_cast<std::uint8_t>(parseInteger(value, 0, 255, what));
    else if (key == "set-temperature")
      r.setTemperature = static_cast<std::int16_t>(parseInteger(value, -32768, 32767, what));
    else if (key == "set-time")
      r.setTimeMinutes = static_cast<std::uint16_t>(parseInteger(value, 0, 65535, what));
    else if (key == "status")
      r.statusByte = static_cast<std::uint8_t>(parseInteger(value, 0, 255, what));
    else if (key == "address")
      r.address = static_cast<std::uint8_t>(parseInteger(value, 0, 255, what));
    else
      bad(message(QT_TRANSLATE_NOOP("rs485-sim", "unknown reading '%1'"), {key}));
  }
  return r;
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  SimOptions& o = cl.options;
  std::vector<int> addresses{1};
  std::vector<std::string> faultTexts, fixedTexts, turnaroundTexts;
  std::vector<int> shared;
  const auto turnaround = [](std::string_view ms) {
    return std::chrono::microseconds(
        static_cast<std::int64_t>(parseReal(ms, 0.0, 10000.0, "--turnaround") * 1000.0));
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string option = args[i];
    std::string value;
    bool hasValue = false;
    if (const std::size_t eq = option.find('='); option.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = option.substr(eq + 1);
      option.resize(eq);
      hasValue = true;
    }
    auto takeValue = [&]() -> const std::string& {
      if (!hasValue) {
        if (i + 1 >= args.size()) bad(message(QT_TRANSLATE_NOOP("rs485-sim", "%1 needs a value"), {option}));
        value = args[++i];
        hasValue = true;
      }
      return value;
    };
    auto noValue = [&] {
      if (hasValue) bad(message(QT_TRANSLATE_NOOP("rs485-sim", "%1 takes no value"), {option}));
    };

    if (option == "--help" || option == "-h") {
      noValue();
      cl.help = true;
    } else if (option == "--version" || option == "-v") {
      noValue();
      cl.version = true;
    } else if (option == "--devices") {
      addresses.clear();
      for (const std::string_view a : splitOn(takeValue(), ','))
        addresses.push_back(
            static_cast<int>(parseInteger(a, kFirstBusAddress, kLastBusAddress, "--devices")));
    } else if (option == "--link") {
      o.linkPath = takeValue();
    } else if (option == "--port") {
      o.devicePath = takeValue();
    } else if (option == "--no-pace") {
      noValue();
      o.pace = false;
    } else if (option == "--log") {
      o.logPath = takeValue();
    } else if (option == "--seed") {
      o.seed = static_cast<std::uint64_t>(
          parseInteger(takeValue(), 0, std::numeric_limits<long long>::max(), "--seed"));
    } else if (option == "--speed") {
      o.speed = parseReal(takeValue(), 0.0, 1e6, "--speed");
    } else if (option == "--turnaround") {
      // MS for the whole bus, ADDR:MS for one device.
      if (takeValue().find(':') != std::string::npos) {
        turnaroundTexts.push_back(value);
      } else {
        o.turnaround = turnaround(value);
      }
    } else if (option == "--shared") {
      shared.push_back(
          static_cast<int>(parseInteger(takeValue(), kFirstBusAddress, kLastBusAddress, "--shared")));
    } else if (option == "--outage") {
      cl.outage = std::chrono::milliseconds(parseInteger(takeValue(), 1, 3600000, "--outage"));
    } else if (option == "--fault") {
      faultTexts.push_back(takeValue());
    } else if (option == "--fixed") {
      fixedTexts.push_back(takeValue());
    } else {
      bad(message(QT_TRANSLATE_NOOP("rs485-sim", "unknown option '%1'"), {args[i]}));
    }
  }
  if (!o.linkPath.empty() && !o.devicePath.empty())
    bad(message(QT_TRANSLATE_NOOP("rs485-sim", "--link and --port exclude each other")));

  for (std::size_t i = 0; i < addresses.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (addresses[i] == addresses[j])
        bad(message(QT_TRANSLATE_NOOP("rs485-sim", "--devices names %1 twice"),
                    {std::to_string(addresses[i])}));
  for (const int a : addresses) {
    o.devices.emplace_back();
    o.devices.back().address = a;
  }
  for (const int a : shared) {
    if (std::find(addresses.begin(), addresses.end(), a) == addresses.end())
      bad(message(QT_TRANSLATE_NOOP("rs485-sim", "--shared: no device %1 in --devices"),
                  {std::to_string(a)}));
    o.devices.emplace_back();
    o.devices.back().address = a;
    o.devices.back().sharesAddress = true;
  }

  auto devicesNamed = [&](std::string_view who, const std::string& option) {
    std::vector<DeviceConfig*> out;
    if (who == "all") {
      for (auto& d : o.devices) out.push_back(&d);
      return out;
    }
    const int a = static_cast<int>(parseInteger(who, kFirstBusAddress, kLastBusAddress, option));
    for (auto& d : o.devices)
      if (d.address == a) out.push_back(&d);
    if (out.empty())
      bad(message(QT_TRANSLATE_NOOP("rs485-sim", "%1: no device %2 in --devices"),
                  {option, std::to_string(a)}));
    return out;
  };
  for (const auto& text : faultTexts) {
    const auto [who, list] = target(text, "--fault");
    for (DeviceConfig* d : devicesNamed(who, "--fault")) d->faults = parseFaults(list, d->faults);
  }
  for (const auto& text : turnaroundTexts) {
    const auto [who, ms] = target(text, "--turnaround");
    for (DeviceConfig* d : devicesNamed(who, "--turnaround")) d->turnaround = turnaround(ms);
  }
  for (const auto& text : fixedTexts) {
    const auto [who, list] = target(text, "--fixed");
    for (DeviceConfig* d : devicesNamed(who, "--fixed")) d->fixedReadings = parseReadings(list, d->address);
  }
  return cl;
}

std::string usage() {
  return message(QT_TRANSLATE_NOOP("rs485-sim", R"(Usage: rs485-sim [OPTIONS]

Plays controllers on a simulated RS-485 bus for rs485-master. By default it
creates a pseudo-terminal, prints the path of the end the tool opens on
standard output, and serves until SIGINT or SIGTERM. Each device answers the
probe (0x01), the readings request (0x50) and the address change (0x02); its
readings follow a program that ramps the temperature to each step's setpoint,
holds it while the clock counts, and counts the cycles down to the end.

Options:
  --devices LIST     bus addresses of the devices, e.g. 3,7,12 (1..247; default 1)
  --link PATH        place a symlink at PATH pointing to the pseudo-terminal
                     (an existing symlink is replaced; removed at exit)
  --port DEVICE      serve a real serial device (2400 8N1, raw) instead of a
                     pseudo-terminal
  --no-pace          send each answer in one write instead of byte by byte at
                     2400 baud (about 4.2 ms a byte)
  --turnaround MS    pause between a request and its answer (default 2)
  --turnaround ADDR:MS
                     the same for device ADDR (or "all") only: a slow device
                     without a fault (repeatable)
  --shared ADDR      one more device at ADDR, which must be in --devices
                     (repeatable): both hear every request to ADDR and answer
                     together, so their answers collide into bytes that make
                     no valid frame, as two devices with one factory address do
  --log FILE         append one line per frame: time in microseconds of the
                     steady clock, kind (req, ans, junk, line), verdict,
                     address, the bytes in hex; answers end with done=TIME of
                     their last byte
  --outage MS        how long SIGUSR2 keeps the line away (default 5000)
  --seed N           seed of the devices' programs and of the fault draws
                     (default 1); the same seed plays the same bus
  --speed X          readings evolve X times faster than real time (default 1;
                     0 freezes them)
  --fault ADDR:LIST  faults of device ADDR (or "all"), LIST being NAME[=P],...
                     with P the probability 0..1 per request (default 1):
                       silent         no answer at all
                       bad-crc        the answer's CRC is wrong
                       split          the answer comes in 2..4 bursts
                       extra          bytes are appended to the answer
                       wrong-address  the answer names another address
                       bad-status     probe/address change answered with status != 0
                       late=MS        the answer comes MS ms (1..60000) after the
                                      request, while the other devices go on
                                      answering; every time unless late-p=P
                     and settings: extra-count=N, other-address=N,
                     fail-status=N, gap-min=MS, gap-max=MS (split gaps),
                     late-p=P (the share of late answers)
                     e.g. --fault 7:bad-crc=0.1,split=0.05 (repeatable)
  --fixed ADDR:LIST  device ADDR (or "all") answers these readings as they are:
                     temperature, time, step, cycles, num-step,
                     set-temperature, set-time, status, address
                     e.g. --fixed 3:temperature=-200,time=130,cycles=0,status=0x80
  -h, --help         show this help and exit
  -v, --version      show the version and exit

Signals: SIGUSR1 takes the line away as an adapter pulled out does (the tool's
end hangs up, the --link symlink is removed) and, sent again, brings a new
pseudo-terminal back behind the same --link path. SIGUSR2 takes it away for
--outage milliseconds (default 5000) and brings it back by itself.
)"));
}

}  // namespace rs485::sim
