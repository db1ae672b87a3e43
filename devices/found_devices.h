#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <vector>

namespace rs485 {

struct DeviceEntry {
  std::uint8_t address = 0;         // as the device stated it in its answer
  std::uint8_t recordedMinute = 0;  // minute of the hour of the last recorded row
};

// The recordedMinute of a device found at `now`: one minute behind, kept in
// one byte (255 in minute 0), so that its first reading is recorded.
inline std::uint8_t minuteBefore(const QDateTime& now) {
  return static_cast<std::uint8_t>((now.time().minute() - 1 + 256) % 256);
}

// Devices in the order in which their answers were handled.
using FoundDeviceList = std::vector<DeviceEntry>;

// The device list's caption for an address: "Адрес: " + decimal address.
QString deviceCaption(int address);

// State shared by the scan, the selection, the address change and the poll.
// User-interface thread only.
struct DeviceState {
  FoundDeviceList FoundDevices;
  int SelectedAddress = 0;
  // The command of the operation in progress, which the timer ticks follow:
  // 1 scan, 2 address change, 80 poll.
  int PendingCommand = 1;
};

}  // namespace rs485
