// The one place where the recording asks Windows for the user's locale:
// its short date picture, as the Regional Settings show it.
#include "link/code_page.h"
#include "monitor/row_date.h"

namespace rs485 {

LocaleDateFormat environmentDateFormat() {
  const std::u16string picture = shortDatePicture({});
  if (picture.empty()) return {};
  return {.dFmt = posixFromDatePicture(QString::fromStdU16String(picture)), .posix = false};
}

}  // namespace rs485
