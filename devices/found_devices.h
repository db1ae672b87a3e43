#pragma once

#include <cstdint>
#include <vector>

#include <QString>

namespace rs485 {

struct DeviceEntry {
  std::uint8_t address = 0;         // as the device stated it in its answer
  std::uint8_t recordedMinute = 0;  // minute of the hour of the last recorded row
};

// Devices in the order in which their answers were handled.
using FoundDeviceList = std::vector<DeviceEntry>;

// The device list's caption for an address: "Адрес: " + decimal address.
QString deviceCaption(int address);

// State shared by the scan, the selection, the address change and the poll.
// User-interface thread only.
struct DeviceState {
  FoundDeviceList FoundDevices;
  int SelectedAddress = 0;
};

}  // namespace rs485
