#include "link/adapter_identity.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace rs485 {

namespace {

namespace fs = std::filesystem;

std::optional<dev_t> characterDevice(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) return std::nullopt;
  return status.st_rdev;
}

// The first line of a sysfs attribute; empty when it is missing.
std::string attribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// From a tty's folder in sysfs up to its USB interface and the USB device
// above it. A tty with no USB device above it is no adapter.
std::optional<AdapterIdentity> identityOfTty(const fs::path& ttyFolder) {
  std::error_code error;
  const fs::path real = fs::canonical(ttyFolder, error);
  if (error) return std::nullopt;
  AdapterIdentity identity;
  for (fs::path at = real.parent_path(); at.has_relative_path(); at = at.parent_path()) {
    if (identity.interface.empty() && fs::exists(at / "bInterfaceNumber", error)) {
      identity.interface = attribute(at / "bInterfaceNumber");
    }
    if (fs::exists(at / "idVendor", error)) {
      identity.vendor = attribute(at / "idVendor");
      identity.product = attribute(at / "idProduct");
      identity.serial = attribute(at / "serial");
      identity.usbPort = at.string();
      return identity;
    }
  }
  return std::nullopt;
}

bool sameKind(const AdapterIdentity& a, const AdapterIdentity& b) {
  return a.vendor == b.vendor && a.product == b.product && a.interface == b.interface;
}

// "188:0" as sysfs writes a device number.
std::optional<dev_t> deviceNumber(const std::string& text) {
  unsigned major = 0;
  unsigned minor = 0;
  char colon = 0;
  std::istringstream in(text);
  if (!(in >> major >> colon >> minor) || colon != ':') return std::nullopt;
  return makedev(major, minor);
}

}  // namespace

std::optional<AdapterIdentity> adapterIdentity(const std::string& node, const std::string& sysRoot) {
  const auto device = characterDevice(node);
  if (!device) return std::nullopt;
  const std::string number = std::to_string(major(*device)) + ":" + std::to_string(minor(*device));
  return identityOfTty(fs::path(sysRoot) / "dev" / "char" / number);
}

std::optional<std::string> findAdapter(const AdapterIdentity& wanted, const std::string& devRoot,
                                       const std::string& sysRoot) {
  std::vector<std::pair<std::string, AdapterIdentity>> matches;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(fs::path(sysRoot) / "class" / "tty", error)) {
    if (!fs::exists(entry.path() / "device", error)) continue;  // virtual terminals, ptys
    const auto identity = identityOfTty(entry.path());
    if (!identity || !sameKind(*identity, wanted)) continue;
    if (wanted.serial.empty() ? identity->usbPort != wanted.usbPort : identity->serial != wanted.serial)
      continue;
    const std::string node = (fs::path(devRoot) / entry.path().filename()).string();
    const auto listed = deviceNumber(attribute(entry.path() / "dev"));
    if (!listed || characterDevice(node) != listed) continue;
    matches.emplace_back(node, *identity);
  }
  if (matches.size() > 1) {
    std::erase_if(matches, [&](const auto& match) { return match.second.usbPort != wanted.usbPort; });
  }
  if (matches.size() != 1) return std::nullopt;
  return matches.front().first;
}

bool sameDeviceNode(const std::string& a, const std::string& b) {
  const auto first = characterDevice(a);
  return first && characterDevice(b) == first;
}

}  // namespace rs485
