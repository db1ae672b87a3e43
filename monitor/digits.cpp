#include "monitor/digits.h"

namespace rs485 {

namespace {
QString zero() { return QStringLiteral("0"); }
QString minus() { return QStringLiteral("-"); }
QString at(const QString& s, qsizetype i) { return QString(s.at(i)); }
}  // namespace

TemperatureCells showTemperature(int tenths, const TemperatureCells& current) {
  const QString s = QString::number(tenths);
  if (tenths < 0) {
    switch (s.size()) {
      case 2:
        return {minus(), zero(), zero(), at(s, 1)};
      case 3:
        return {minus(), zero(), at(s, 1), at(s, 2)};
      case 4:
        return {minus(), at(s, 1), at(s, 2), at(s, 3)};
      default:
        return current;
    }
  }
  switch (s.size()) {
    case 1:
      return {zero(), zero(), zero(), at(s, 0)};
    case 2:
      return {zero(), zero(), at(s, 0), at(s, 1)};
    case 3:
      return {zero(), at(s, 0), at(s, 1), at(s, 2)};
    case 4:
      return {at(s, 0), at(s, 1), at(s, 2), at(s, 3)};
    default:
      return current;
  }
}

TwoCells showTwoDigits(int value, const TwoCells& current) {
  const QString s = QString::number(value);
  switch (s.size()) {
    case 1:
      return {zero(), at(s, 0)};
    case 2:
      return {at(s, 0), at(s, 1)};
    default:
      return current;
  }
}

ThreeCells showThreeDigits(int value, const ThreeCells& current) {
  const QString s = QString::number(value);
  switch (s.size()) {
    case 1:
      return {zero(), zero(), at(s, 0)};
    case 2:
      return {zero(), at(s, 0), at(s, 1)};
    case 3:
      return {at(s, 0), at(s, 1), at(s, 2)};
    default:
      return current;
  }
}

QString recordedTemperatureText(int tenths) {
  const QString s = QString::number(tenths);
  QString t = tenths < 0 ? QStringLiteral("-00,0") : QStringLiteral("000,0");
  // Template positions 0..4; the comma sits at 3.
  auto put = [&](std::initializer_list<std::pair<qsizetype, qsizetype>> places) {
    for (auto [position, character] : places) t[position] = s.at(character);
  };
  if (tenths < 0) {
    switch (s.size()) {
      case 2:
        put({{4, 1}});
        break;
      case 3:
        put({{2, 1}, {4, 2}});
        break;
      case 4:
        put({{1, 1}, {2, 2}, {4, 3}});
        break;
      default:
        break;
    }
  } else {
    switch (s.size()) {
      case 1:
        put({{4, 0}});
        break;
      case 2:
        put({{2, 0}, {4, 1}});
        break;
      case 3:
        put({{1, 0}, {2, 1}, {4, 2}});
        break;
      case 4:
        put({{0, 0}, {1, 1}, {2, 2}, {4, 3}});
        break;
      default:
        break;
    }
  }
  return t;
}

QString recordedStepText(int step) {
  const QString s = QString::number(step);
  return s.size() == 1 ? zero() + s : s;
}

}  // namespace rs485
