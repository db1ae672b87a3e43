#include "monitor/row_date.h"

#include "monitor/cp1251.h"

namespace rs485 {

namespace {

bool writableInCp1251(const QString& text) { return fromCp1251(toCp1251(text)) == text; }

bool hasDigit(const QString& text) {
  for (const QChar c : text) {
    if (c.isDigit()) return true;
  }
  return false;
}

}  // namespace

RowDateFormat::RowDateFormat()
    : pieces_{{true, Field::Day, {}},
              {false, Field::Day, QStringLiteral(".")},
              {true, Field::Month, {}},
              {false, Field::Day, QStringLiteral(".")},
              {true, Field::Year, {}}} {}

RowDateFormat RowDateFormat::fromPosix(const QByteArray& dFmt) {
  RowDateFormat result;
  result.pieces_.clear();
  int days = 0;
  int months = 0;
  int years = 0;
  QString text;
  const auto field = [&](Field f) {
    if (!text.isEmpty()) result.pieces_.push_back({false, Field::Day, text});
    text.clear();
    result.pieces_.push_back({true, f, {}});
    (f == Field::Day ? days : f == Field::Month ? months : years) += 1;
  };
  const QString fmt = QString::fromUtf8(dFmt);
  for (qsizetype i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != QLatin1Char('%')) {
      text += fmt[i];
      continue;
    }
    if (++i >= fmt.size()) return {};
    // GNU flags and a field width change only the padding, which is ours.
    while (i < fmt.size() && (QStringLiteral("-_0^#").contains(fmt[i]) || fmt[i].isDigit())) ++i;
    if (i >= fmt.size()) return {};
    switch (fmt[i].toLatin1()) {
      case 'd':
      case 'e':
        field(Field::Day);
        break;
      case 'm':
        field(Field::Month);
        break;
      case 'y':
      case 'Y':
        field(Field::Year);
        break;
      case 'D':
        field(Field::Month);
        text = QStringLiteral("/");
        field(Field::Day);
        text = QStringLiteral("/");
        field(Field::Year);
        break;
      case 'F':
        field(Field::Year);
        text = QStringLiteral("-");
        field(Field::Month);
        text = QStringLiteral("-");
        field(Field::Day);
        break;
      case '%':
        text += QLatin1Char('%');
        break;
      default:
        // Names of months or days, eras, alternative digits: not for a row.
        return {};
    }
  }
  if (!text.isEmpty()) result.pieces_.push_back({false, Field::Day, text});
  if (days != 1 || months != 1 || years != 1) return {};
  for (const Piece& p : result.pieces_) {
    if (!p.isField && (hasDigit(p.text) || !writableInCp1251(p.text) || p.text.contains(QLatin1Char('\n')))) {
      return {};
    }
  }
  return result;
}

QByteArray posixFromDatePicture(const QString& picture) {
  QString out;
  for (qsizetype i = 0; i < picture.size();) {
    const QChar c = picture[i];
    if (c == QLatin1Char('\'')) {
      // Quoted text; '' inside it (or alone) is one quote.
      qsizetype end = i + 1;
      while (end < picture.size()) {
        if (picture[end] == QLatin1Char('\'')) {
          if (end + 1 < picture.size() && picture[end + 1] == QLatin1Char('\'')) {
            out += QLatin1Char('\'');
            end += 2;
            continue;
          }
          break;
        }
        out += picture[end] == QLatin1Char('%') ? QStringLiteral("%%") : QString(picture[end]);
        ++end;
      }
      if (end == i + 1 && end < picture.size()) out += QLatin1Char('\'');
      i = end + 1;
      continue;
    }
    qsizetype run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    switch (c.toLatin1()) {
      case 'd':
        out += run <= 2 ? QStringLiteral("%d") : run == 3 ? QStringLiteral("%a") : QStringLiteral("%A");
        break;
      case 'M':
        out += run <= 2 ? QStringLiteral("%m") : run == 3 ? QStringLiteral("%b") : QStringLiteral("%B");
        break;
      case 'y':
        out += run <= 2 ? QStringLiteral("%y") : QStringLiteral("%Y");
        break;
      case 'g':
        out += QStringLiteral("%EC");
        break;
      case '%':
        out += QString(run * 2, QLatin1Char('%'));
        break;
      default:
        out += QString(run, c);
    }
    i += run;
  }
  return out.toUtf8();
}

RowDateFormat RowDateFormat::fromEnvironment() {
  const LocaleDateFormat locale = environmentDateFormat();
  return locale.posix ? RowDateFormat() : fromPosix(locale.dFmt);
}

QString RowDateFormat::format(const QDate& date) const {
  QString out;
  for (const Piece& p : pieces_) {
    if (!p.isField) {
      out += p.text;
    } else if (p.field == Field::Year) {
      out += QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
    } else {
      out += QStringLiteral("%1").arg(p.field == Field::Day ? date.day() : date.month(), 2, 10,
                                      QLatin1Char('0'));
    }
  }
  return out;
}

QString RowDateFormat::pattern() const {
  QString out;
  for (const Piece& p : pieces_) {
    out += !p.isField                ? p.text
           : p.field == Field::Year  ? QStringLiteral("yyyy")
           : p.field == Field::Month ? QStringLiteral("MM")
                                     : QStringLiteral("dd");
  }
  return out;
}

}  // namespace rs485
