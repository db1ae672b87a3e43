#include <windows.h>

#include <algorithm>
#include <charconv>
#include <utility>

#include "link/port_names.h"
#include "link/win32_serial_port.h"

namespace rs485 {

namespace {

// n when `name` is "COMn", n written without leading zeros.
std::optional<unsigned> comNumber(const std::string& name) {
  const std::string prefix = "COM";
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
  const char* first = name.data() + prefix.size();
  const char* last = name.data() + name.size();
  if (*first == '0' && last - first > 1) return std::nullopt;  // "COM01" names nothing
  unsigned number = 0;
  const auto [end, error] = std::from_chars(first, last, number);
  if (error != std::errc() || end != last || number == 0) return std::nullopt;
  return number;
}

}  // namespace

// On Windows COMn is the port that Windows itself names so: the name stays
// with a USB adapter across replugs, so the name is also what it is opened
// by again. devRoot and sysRoot have no meaning here.
PortNames::PortNames(std::map<std::string, std::string> overrides, std::string devRoot, std::string sysRoot)
    : overrides_(std::move(overrides)), devRoot_(std::move(devRoot)), sysRoot_(std::move(sysRoot)) {}

std::optional<std::string> PortNames::resolve(const std::string& name) const {
  if (const auto it = overrides_.find(name); it != overrides_.end()) return it->second;
  if (!comNumber(name)) return std::nullopt;
  const auto present = presentDevices();
  if (std::find(present.begin(), present.end(), name) == present.end()) return std::nullopt;
  return name;
}

std::optional<std::string> PortNames::stablePath(const std::string& name) const { return resolve(name); }

// The serial ports present now, as the drivers list them under
// HARDWARE\DEVICEMAP\SERIALCOMM (device object -> COM name), in COM order.
std::vector<std::string> PortNames::presentDevices() const {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS)
    return {};
  std::vector<std::pair<unsigned, std::string>> found;
  for (DWORD index = 0;; ++index) {
    wchar_t device[256];
    DWORD deviceLength = 256;
    wchar_t port[64] = {};
    DWORD portBytes = sizeof port - sizeof(wchar_t);  // room for a terminating NUL the value may lack
    DWORD type = 0;
    const LONG result = RegEnumValueW(key, index, device, &deviceLength, nullptr, &type,
                                      reinterpret_cast<BYTE*>(port), &portBytes);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || type != REG_SZ) continue;
    const std::string name = utf8FromWide(port);
    if (const auto number = comNumber(name)) found.emplace_back(*number, name);
  }
  RegCloseKey(key);
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  std::vector<std::string> names;
  for (auto& [number, name] : found) names.push_back(std::move(name));
  return names;
}

std::optional<std::pair<std::string, std::string>> PortNames::parseOption(const std::string& text) {
  const auto equals = text.find('=');
  if (equals == std::string::npos) return std::nullopt;
  std::string name = text.substr(0, equals);
  std::string path = text.substr(equals + 1);
  if (!comNumber(name) || path.empty()) return std::nullopt;
  return std::pair{std::move(name), std::move(path)};
}

}  // namespace rs485
