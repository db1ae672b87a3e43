#include "link/port_names.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <utility>

#include "link/adapter_identity.h"

namespace rs485 {

namespace {

namespace fs = std::filesystem;

// The number after `prefix` when `name` is prefix followed by a number
// written without leading zeros.
std::optional<unsigned> numberAfter(const std::string& name, const std::string& prefix) {
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
  const char* first = name.data() + prefix.size();
  const char* last = name.data() + name.size();
  if (*first == '0' && last - first > 1) return std::nullopt;  // "COM01" names nothing
  unsigned number = 0;
  const auto [end, error] = std::from_chars(first, last, number);
  if (error != std::errc() || end != last) return std::nullopt;
  return number;
}

// Device names under devRoot of the form prefix<number>, in numeric order.
std::vector<std::string> numbered(const std::string& devRoot, const std::string& prefix) {
  std::vector<std::pair<unsigned, std::string>> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(devRoot, error)) {
    const std::string name = entry.path().filename().string();
    if (const auto number = numberAfter(name, prefix)) found.emplace_back(*number, name);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> names;
  for (auto& [number, name] : found) names.push_back(std::move(name));
  return names;
}

// The kernel lists every possible on-board port; only those with a device
// behind them, and a UART type other than 0 ("unknown") where it says, are real.
bool hasHardware(const std::string& sysRoot, const std::string& name) {
  const fs::path tty = fs::path(sysRoot) / "class" / "tty" / name;
  std::error_code error;
  if (!fs::exists(tty / "device", error)) return false;
  std::ifstream typeFile(tty / "type");
  if (!typeFile) return true;
  std::string type;
  typeFile >> type;
  return type != "0";
}

}  // namespace

PortNames::PortNames(std::map<std::string, std::string> overrides, std::string devRoot, std::string sysRoot)
    : overrides_(std::move(overrides)), devRoot_(std::move(devRoot)), sysRoot_(std::move(sysRoot)) {}

std::optional<std::string> PortNames::resolve(const std::string& name) const {
  if (const auto it = overrides_.find(name); it != overrides_.end()) return it->second;
  const auto number = numberAfter(name, "COM");
  if (!number || *number == 0) return std::nullopt;
  const auto devices = presentDevices();
  if (*number > devices.size()) return std::nullopt;
  return devices[*number - 1];
}

std::optional<std::string> PortNames::stablePath(const std::string& name) const {
  const auto node = resolve(name);
  if (!node || overrides_.contains(name)) return node;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(fs::path(devRoot_) / "serial" / "by-id", error)) {
    if (sameDeviceNode(entry.path().string(), *node)) return entry.path().string();
  }
  return node;
}

std::vector<std::string> PortNames::presentDevices() const {
  std::vector<std::string> names = numbered(devRoot_, "ttyUSB");
  for (auto& name : numbered(devRoot_, "ttyACM")) names.push_back(std::move(name));
  for (auto& name : numbered(devRoot_, "ttyS")) {
    if (hasHardware(sysRoot_, name)) names.push_back(std::move(name));
  }
  std::vector<std::string> paths;
  for (const auto& name : names) paths.push_back((fs::path(devRoot_) / name).string());
  return paths;
}

std::optional<std::pair<std::string, std::string>> PortNames::parseOption(const std::string& text) {
  const auto equals = text.find('=');
  if (equals == std::string::npos) return std::nullopt;
  std::string name = text.substr(0, equals);
  std::string path = text.substr(equals + 1);
  const auto number = numberAfter(name, "COM");
  if (!number || *number == 0 || path.empty()) return std::nullopt;
  return std::pair{std::move(name), std::move(path)};
}

}  // namespace rs485
