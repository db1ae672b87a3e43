#pragma once

#include <optional>
#include <string>

namespace rs485 {

// What a USB serial adapter is, as the kernel describes it in sysfs (the same
// facts udev builds /dev/serial/by-id and by-path names from), so that it can
// be found again when it comes back under another node name. Learnt without
// opening anything.
struct AdapterIdentity {
  std::string vendor;     // idVendor
  std::string product;    // idProduct
  std::string serial;     // empty where the adapter has none (most CH340s)
  std::string interface;  // bInterfaceNumber: one adapter may have several ports
  std::string usbPort;    // the USB device's place: host controller and hub ports

  bool operator==(const AdapterIdentity&) const = default;
};

// The identity of the adapter behind the device node `node` (a symlink is
// followed); none for a node that is no USB adapter's tty (a pseudo-terminal,
// an on-board UART, a regular file) or is not there.
std::optional<AdapterIdentity> adapterIdentity(const std::string& node, const std::string& sysRoot = "/sys");

// The node under devRoot of the one tty present now whose adapter is
// `wanted`: the same serial number where it has one, else the same USB port.
// Several adapters with one serial number (clones) are told apart by their
// port. None when nothing matches or when it stays ambiguous. A node counts
// only when it is the very device that sysfs lists under its name.
std::optional<std::string> findAdapter(const AdapterIdentity& wanted, const std::string& devRoot = "/dev",
                                       const std::string& sysRoot = "/sys");

// Both paths lead to the same character device (its number, as stat() gives
// it; std::filesystem::equivalent cannot compare device nodes).
bool sameDeviceNode(const std::string& a, const std::string& b);

}  // namespace rs485
