// The one place where the recording asks the C library for the user's
// locale.
#include <langinfo.h>
#include <locale.h>

#include <cstring>

#include "monitor/row_date.h"

namespace rs485 {

LocaleDateFormat environmentDateFormat() {
  // A locale object of its own leaves the process's locale untouched and
  // reads the environment afresh at each call.
  locale_t loc = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) return {};
  LocaleDateFormat result;
  const char* name = ::nl_langinfo_l(_NL_LOCALE_NAME(LC_TIME), loc);
  result.posix = name == nullptr || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0 ||
                 std::strncmp(name, "C.", 2) == 0;
  result.dFmt = QByteArray(::nl_langinfo_l(D_FMT, loc));
  ::freelocale(loc);
  return result;
}

}  // namespace rs485
