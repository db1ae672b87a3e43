#include <windows.h>

#include <climits>
#include <iterator>

#include "link/code_page.h"

namespace rs485 {

namespace {
const wchar_t* wide(std::u16string_view text) { return reinterpret_cast<const wchar_t*>(text.data()); }
}  // namespace

std::string toCodePage(std::u16string_view text, unsigned codePage, char replacement) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int length = static_cast<int>(text.size());
  const char fallback[2] = {replacement, '\0'};
  // No best fit: a character the code page lacks is replaced, not turned
  // into a look-alike ("ä" would become "a").
  const DWORD flags = WC_NO_BEST_FIT_CHARS;
  const int size = WideCharToMultiByte(codePage, flags, wide(text), length, nullptr, 0, fallback, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(codePage, flags, wide(text), length, out.data(), size, fallback, nullptr);
  return out;
}

std::u16string fromCodePage(std::string_view bytes, unsigned codePage) {
  if (bytes.empty() || bytes.size() > INT_MAX) return {};
  const int length = static_cast<int>(bytes.size());
  const int size = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
  if (size <= 0) return {};
  std::u16string out(static_cast<std::size_t>(size), u'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(out.data()), size);
  return out;
}

std::u16string shortDatePicture(const std::u16string& localeName) {
  const wchar_t* name = localeName.empty() ? LOCALE_NAME_USER_DEFAULT : wide(localeName);
  wchar_t picture[LOCALE_NAME_MAX_LENGTH + 80] = {};
  const int size = GetLocaleInfoEx(name, LOCALE_SSHORTDATE, picture, static_cast<int>(std::size(picture)));
  if (size <= 1) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(picture), static_cast<std::size_t>(size - 1));
}

}  // namespace rs485
