#include "link/parent_console.h"

namespace rs485 {

void useParentConsole() {}

}  // namespace rs485
