#include "monitor/row_date.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QDate>
#include <QTemporaryDir>
#include <optional>
#include <string>

#include "monitor/cp1251.h"
#include "monitor/recording.h"
#include "tests/support/fake_view.h"

namespace rs485::test {
namespace {

const QDate kDate(2026, 12, 8);

TEST(RowDateFormat, TakesOrderAndSeparatorsOfThePosixFormWithFullFields) {
  struct Case {
    const char* dFmt;
    const char* pattern;
  };
  for (const Case& c : {
           Case{"%d.%m.%Y", "dd.MM.yyyy"},        // ru_RU
           Case{"%d.%m.%y", "dd.MM.yyyy"},        // de_DE, uk_UA: the century comes back
           Case{"%m/%d/%Y", "MM/dd/yyyy"},        // en_US
           Case{"%m/%d/%y", "MM/dd/yyyy"},        //
           Case{"%D", "MM/dd/yyyy"},              //
           Case{"%F", "yyyy-MM-dd"},              //
           Case{"%Y-%m-%d", "yyyy-MM-dd"},        // sv_SE
           Case{"%e.%m.%Y", "dd.MM.yyyy"},        // a space-padded day
           Case{"%-d.%-m.%Y", "dd.MM.yyyy"},      // GNU flags
           Case{"%Y. %m. %d.", "yyyy. MM. dd."},  // hu_HU
           Case{"%d.%m.%Y г.", "dd.MM.yyyy г."},  // Cyrillic fits the code page
           Case{"%d%%%m%%%Y", "dd%MM%yyyy"},
           // What a row cannot carry: the default.
           Case{"%Y年%m月%d日", "dd.MM.yyyy"},  // ja_JP
           Case{"%Oy/%Om/%Od", "dd.MM.yyyy"},   // alternative digits
           Case{"%Ey", "dd.MM.yyyy"},           // era
           Case{"%e %b %Y", "dd.MM.yyyy"},      // month names
           Case{"%d/%m", "dd.MM.yyyy"},         // no year
           Case{"%d.%m.%Y.%d", "dd.MM.yyyy"},   // two days
           Case{"%d1%m1%Y", "dd.MM.yyyy"},      // digits between the fields
           Case{"%d.%m.%Y%", "dd.MM.yyyy"},
           Case{"", "dd.MM.yyyy"},
       }) {
    EXPECT_EQ(RowDateFormat::fromPosix(QByteArray(c.dFmt)).pattern(), QString::fromUtf8(c.pattern)) << c.dFmt;
  }
}

// Windows gives the user's form as a date picture (LOCALE_SSHORTDATE); the
// row takes it through its POSIX form.
TEST(RowDateFormat, TakesTheWindowsShortDatePicture) {
  struct Case {
    const char* picture;
    const char* dFmt;
    const char* pattern;
  };
  for (const Case& c : {
           Case{"dd.MM.yyyy", "%d.%m.%Y", "dd.MM.yyyy"},             // ru-RU, de-DE, uk-UA
           Case{"M/d/yyyy", "%m/%d/%Y", "MM/dd/yyyy"},               // en-US
           Case{"dd/MM/yy", "%d/%m/%y", "dd/MM/yyyy"},               //
           Case{"yyyy-MM-dd", "%Y-%m-%d", "yyyy-MM-dd"},             // sv-SE
           Case{"d. M. yyyy", "%d. %m. %Y", "dd. MM. yyyy"},         // cs-CZ
           Case{"dd.MM.yyyy' г.'", "%d.%m.%Y г.", "dd.MM.yyyy г."},  // quoted text
           Case{"dd'%'MM'''.'yyyy", "%d%%%m'.%Y", "dd%MM'.yyyy"},    // a quote inside quotes, a percent sign
           Case{"d'-'M''yyyy", "%d-%m'%Y", "dd-MM'yyyy"},            // a lone pair of quotes
           // What a row cannot carry: the default.
           Case{"dddd, d MMMM yyyy", "%A, %d %B %Y", "dd.MM.yyyy"},   // names
           Case{"ddd MMM yyyy", "%a %b %Y", "dd.MM.yyyy"},            //
           Case{"gg yyyy/MM/dd", "%EC %Y/%m/%d", "dd.MM.yyyy"},       // an era
           Case{"yyyy'年'M'月'd'日'", "%Y年%m月%d日", "dd.MM.yyyy"},  // outside the code page
           Case{"dd.MM.yyyy'", "%d.%m.%Y", "dd.MM.yyyy"},             // an open quote at the end
           Case{"", "", "dd.MM.yyyy"},
       }) {
    const QByteArray dFmt = posixFromDatePicture(QString::fromUtf8(c.picture));
    EXPECT_EQ(dFmt, QByteArray(c.dFmt)) << c.picture;
    EXPECT_EQ(RowDateFormat::fromPosix(dFmt).pattern(), QString::fromUtf8(c.pattern)) << c.picture;
  }
}

TEST(RowDateFormat, WritesTwoDigitDayAndMonthAndFourDigitYear) {
  const RowDateFormat us = RowDateFormat::fromPosix("%m/%d/%y");
  EXPECT_EQ(us.format(QDate(2026, 1, 2)), QStringLiteral("01/02/2026"));
  EXPECT_EQ(us.format(QDate(987, 11, 30)), QStringLiteral("11/30/0987"));
  EXPECT_EQ(RowDateFormat().format(QDate(2026, 3, 9)), QStringLiteral("09.03.2026"));
  EXPECT_EQ(toCp1251(RowDateFormat::fromPosix("%d.%m.%Y г.").format(kDate)),
            QByteArray::fromHex("30382e31322e3230323620e32e"));
}

// Under real locales compiled by make_locales.sh into LOCPATH (the CTest
// fixture does it).
class RealLocales : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* path = std::getenv("LOCPATH");
    ASSERT_TRUE(path != nullptr && *path != 0) << "run through ctest: LOCPATH names the compiled locales";
    saved_ = std::getenv("LC_ALL") ? std::optional<std::string>(std::getenv("LC_ALL")) : std::nullopt;
  }
  void TearDown() override {
    if (saved_) {
      ::setenv("LC_ALL", saved_->c_str(), 1);
    } else {
      ::unsetenv("LC_ALL");
    }
  }
  static void useLocale(const char* name) { ::setenv("LC_ALL", name, 1); }

 private:
  std::optional<std::string> saved_;
};

struct LocaleCase {
  const char* locale;
  bool posix;
  const char* date;
};
const LocaleCase kLocales[] = {
    {"ru_RU.UTF-8", false, "08.12.2026"},
    {"de_DE.UTF-8", false, "08.12.2026"},
    {"uk_UA.UTF-8", false, "08.12.2026"},
    {"en_US.UTF-8", false, "12/08/2026"},
    {"C", true, "08.12.2026"},
    {"POSIX", true, "08.12.2026"},
    {"C.UTF-8", true, "08.12.2026"},
};

TEST_F(RealLocales, TheRowDateOfEachLocale) {
  for (const LocaleCase& c : kLocales) {
    useLocale(c.locale);
    // A locale that failed to load would fall back to dd.MM.yyyy unnoticed.
    const LocaleDateFormat loaded = environmentDateFormat();
    EXPECT_EQ(loaded.posix, c.posix) << c.locale;
    if (!c.posix) {
      EXPECT_FALSE(loaded.dFmt.isEmpty()) << c.locale;
    }
    EXPECT_EQ(RowDateFormat::fromEnvironment().format(kDate), QString::fromLatin1(c.date)) << c.locale;
  }
}

TEST_F(RealLocales, ALocaleThatIsNotInstalledGivesTheDefault) {
  useLocale("xx_XX.UTF-8");
  EXPECT_EQ(RowDateFormat::fromEnvironment().pattern(), QStringLiteral("dd.MM.yyyy"));
}

TEST_F(RealLocales, EveryRowCarriesAFourDigitYear) {
  QTemporaryDir dir;
  for (const LocaleCase& c : kLocales) {
    useLocale(c.locale);
    FakeView view;
    Recording recording(view, [] { return QDateTime(kDate, QTime(1, 27, 5)); }, {dir.path(), {}});
    DeviceEntry entry{7, 0};
    const ReadingsResponse answer{.temperature = 336, .step = 1};
    QFile::remove(recording.filePath(7));
    recording.recordReading(entry, answer, std::nullopt);
    QFile file(recording.filePath(7));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(),
              QByteArray(c.date) + QByteArray::fromHex("e32e") + "    01:27       01             033,6\r\n")
        << c.locale;
  }
}

}  // namespace
}  // namespace rs485::test
