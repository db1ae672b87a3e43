// The recording's code page through Windows' own conversions, with the
// iconv build's results: one '?' for each character the code page lacks,
// and U+FFFD for the one byte it leaves unassigned.
#include <string>
#include <string_view>

#include "link/code_page.h"
#include "monitor/cp1251.h"

namespace rs485 {

namespace {

constexpr unsigned kCp1251 = 1251;
// Windows' table passes 0x98 through as U+0098 both ways; in the code page
// proper (and in iconv's) it is unassigned.
constexpr char16_t kUnassigned = 0x0098;
constexpr char16_t kReplacement = 0xFFFD;

// One stand-in per character: a surrogate pair would otherwise give two
// '?', since Windows converts UTF-16 units.
std::u16string oneUnitPerCharacter(const QString& text) {
  std::u16string units;
  units.reserve(static_cast<std::size_t>(text.size()));
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i].unicode();
    if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ++i;
    const bool lacking = QChar::isSurrogate(unit) || unit == kUnassigned;
    units.push_back(lacking ? kReplacement : unit);
  }
  return units;
}

}  // namespace

QByteArray toCp1251(const QString& text) {
  const std::string bytes = toCodePage(oneUnitPerCharacter(text), kCp1251, '?');
  return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString fromCp1251(const QByteArray& bytes) {
  std::u16string text =
      fromCodePage(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), kCp1251);
  for (char16_t& unit : text) {
    if (unit == kUnassigned) unit = kReplacement;
  }
  return QString::fromStdU16String(text);
}

}  // namespace rs485
