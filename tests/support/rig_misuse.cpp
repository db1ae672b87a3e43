// A rig on lines served elsewhere has no simulator, and reading one must not
// compile. RIG_MISUSE picks the mistake: 0 is none, the right calls, built
// with the tests; tests/support/CMakeLists.txt builds each other one on
// request and expects the compiler to refuse it for that reason.
#include <cstddef>

#include "tests/support/window_rig.h"

namespace rs485::test {

void rigMisuse(LineRig& rig) {
#if RIG_MISUSE == 0
  // A scan on a line served elsewhere counts the requests its server saw.
  rig.scanInRealTime(500, 1, 5, [] { return std::size_t{0}; });
#elif RIG_MISUSE == 1
  static_cast<void>(rig.sim->requestsSeen());
#elif RIG_MISUSE == 2
  rig.scanInRealTime(500, 1, 5);
#elif RIG_MISUSE == 3
  static_cast<void>(rig.requests());
#elif RIG_MISUSE == 4
  static_cast<void>(rig);
  LineRig withBus(instantBus({{5}}));
#endif
}

}  // namespace rs485::test
