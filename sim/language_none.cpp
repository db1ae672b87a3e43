// rs485-sim in a build without Qt (the thread-sanitizer one): English only.
#include "sim/text.h"

namespace rs485::sim {

void useLocaleLanguage() {}

}  // namespace rs485::sim
