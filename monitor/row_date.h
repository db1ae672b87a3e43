#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <vector>

namespace rs485 {

// The date of a recording row: the fields of the user's date format in its
// order and with its separators, but the day and the month always in two
// digits and the year in four, so that every row can be read back.
class RowDateFormat {
 public:
  // dd.MM.yyyy, the form of the C/POSIX locale and of every locale whose own
  // form the row cannot carry.
  RowDateFormat();

  // From a POSIX date format (the LC_TIME `D_FMT`, e.g. "%d.%m.%Y"). A form
  // without exactly one day, month and year in decimal digits, or with text
  // outside code page 1251, gives the default.
  static RowDateFormat fromPosix(const QByteArray& dFmt);
  // From the process's environment (LC_ALL, LC_TIME, LANG), as `date +%x`
  // would take it; the C/POSIX locale and a locale that is not installed
  // give the default.
  static RowDateFormat fromEnvironment();

  QString format(const QDate& date) const;
  // The form as a pattern, e.g. "dd.MM.yyyy" or "MM/dd/yyyy".
  QString pattern() const;

 private:
  enum class Field { Day, Month, Year };
  struct Piece {
    bool isField;
    Field field;
    QString text;
  };
  std::vector<Piece> pieces_;
};

// The LC_TIME date format of the environment and whether that locale is the
// C/POSIX one; empty when the locale cannot be loaded.
struct LocaleDateFormat {
  QByteArray dFmt;
  bool posix = true;
};
LocaleDateFormat environmentDateFormat();

// The POSIX form of a Windows date picture (a locale's LOCALE_SSHORTDATE):
// "dd.MM.yyyy" gives "%d.%m.%Y", "M/d/yyyy" "%m/%d/%Y". Names of days and
// months give %a, %A, %b, %B and an era %EC, which no row carries; text in
// single quotes is taken as it is.
QByteArray posixFromDatePicture(const QString& picture);

}  // namespace rs485
