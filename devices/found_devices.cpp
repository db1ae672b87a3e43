#include "devices/found_devices.h"

#include "devices/messages.h"

namespace rs485 {

QString deviceCaption(int address) { return msg::deviceCaptionPrefix() + QString::number(address); }

}  // namespace rs485
