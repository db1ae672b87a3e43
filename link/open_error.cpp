#include "link/open_error.h"

#ifndef _WIN32
#include <netdb.h>
#endif

#include <cstring>

namespace rs485 {

// The words are marked for the catalogue; the layers with Qt translate them
// in context "rs485::OpenError". The same definition as Qt's.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, x) x
#endif

std::string describe(OpenError error) {
  switch (error) {
    case OpenError::None:
      return QT_TRANSLATE_NOOP("rs485::OpenError", "no error");
    case OpenError::NotFound:
      return QT_TRANSLATE_NOOP("rs485::OpenError", "no such serial device");
    case OpenError::PermissionDenied:
      return QT_TRANSLATE_NOOP("rs485::OpenError",
                               "permission denied; add the user to the \"dialout\" group and log in again");
    case OpenError::Busy:
      return QT_TRANSLATE_NOOP("rs485::OpenError", "the port is in use by another program");
    case OpenError::NotSerial:
      return QT_TRANSLATE_NOOP("rs485::OpenError", "not a serial device");
    case OpenError::SettingsRejected:
      return QT_TRANSLATE_NOOP("rs485::OpenError", "the port refused the line settings");
    case OpenError::Other:
      break;
  }
  return QT_TRANSLATE_NOOP("rs485::OpenError", "the port could not be opened");
}

#ifdef _WIN32
// The network ports, whose name lookups give the negative codes, are not
// built for Windows; the Win32 serial device writes Windows' own words itself.
std::string systemErrorText(int code) { return std::strerror(code); }
#else
std::string systemErrorText(int code) { return code < 0 ? gai_strerror(code) : std::strerror(code); }
#endif

}  // namespace rs485
