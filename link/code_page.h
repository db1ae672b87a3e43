#pragma once

#include <string>
#include <string_view>

namespace rs485 {

// Windows' own conversions between UTF-16 and a code page; Windows only.

// `text` in code page `codePage`: each UTF-16 unit the code page lacks, with
// no nearest look-alike put in its place, becomes `replacement`.
std::string toCodePage(std::u16string_view text, unsigned codePage, char replacement);
// `bytes` of code page `codePage` as UTF-16, as the system's table maps them.
std::u16string fromCodePage(std::string_view bytes, unsigned codePage);

// The short date picture of a locale, e.g. "dd.MM.yyyy" for ru-RU or
// "M/d/yyyy" for en-US (GetLocaleInfoEx, LOCALE_SSHORTDATE); an empty
// `localeName` is the user's own locale. Empty when the locale is unknown.
std::u16string shortDatePicture(const std::u16string& localeName);

}  // namespace rs485
