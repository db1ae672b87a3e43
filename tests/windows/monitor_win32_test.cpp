// The window's Windows counterparts in monitor/, under wine: the code page
// of the recording files against what the Linux build gives (the files of
// tests/monitor/cp1251_reference, named by RS485_CP1251_REFERENCE), and the
// row date of Windows' own locales.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QString>

#include "link/code_page.h"
#include "monitor/cp1251.h"
#include "monitor/recording.h"
#include "monitor/row_date.h"
#include "tests/support/fake_view.h"

namespace rs485 {
namespace {

class LinuxReference : public ::testing::Test {
 protected:
  void SetUp() override {
    const QString folder = qEnvironmentVariable("RS485_CP1251_REFERENCE");
    if (folder.isEmpty()) GTEST_SKIP() << "runs under scripts/windows-port-tests only";
    folder_ = QDir(folder);
  }
  QByteArray read(const char* name) const {
    QFile file(folder_.filePath(QString::fromLatin1(name)));
    if (!file.open(QIODevice::ReadOnly)) ADD_FAILURE() << "cannot read " << file.fileName().toStdString();
    return file.readAll();
  }
  QDir folder_;
};

TEST_F(LinuxReference, EveryCharacterEncodesAsOnLinux) {
  const QByteArray reference = read("to_cp1251.bin");
  ASSERT_EQ(reference.size(), 0x10000);
  int differing = 0;
  for (int unit = 0; unit < 0x10000; ++unit) {
    const auto c = static_cast<char16_t>(unit);
    if (QChar::isSurrogate(c)) continue;
    const QByteArray bytes = toCp1251(QString(QChar(c)));
    if (bytes != reference.mid(unit, 1) && ++differing <= 10) {
      ADD_FAILURE() << "U+" << QByteArray::number(unit, 16).toStdString() << ": "
                    << bytes.toHex().toStdString() << " where Linux gives "
                    << reference.mid(unit, 1).toHex().toStdString();
    }
  }
  EXPECT_EQ(differing, 0);
}

TEST_F(LinuxReference, EveryByteDecodesAsOnLinux) {
  const QByteArray reference = read("from_cp1251.bin");
  ASSERT_EQ(reference.size(), 512);
  for (int byte = 0; byte < 256; ++byte) {
    const auto expected = static_cast<char16_t>(static_cast<unsigned char>(reference[2 * byte]) |
                                                static_cast<unsigned char>(reference[2 * byte + 1]) << 8);
    EXPECT_EQ(fromCp1251(QByteArray(1, static_cast<char>(byte))), QString(QChar(expected)))
        << "byte " << byte;
  }
}

TEST_F(LinuxReference, TheRecordingHeaderIsTheLinuxBuildsBytesAndReadsBack) {
  const QByteArray header = read("header.bin");
  ASSERT_FALSE(header.isEmpty());
  EXPECT_EQ(toCp1251(recordingHeader(17)).toHex(), header.toHex());
  EXPECT_EQ(fromCp1251(header), recordingHeader(17));
}

TEST(Cp1251Win32, RussianTextsOfTheRecordingGoThereAndBack) {
  for (const char* utf8 : {"ЗОР_номер - 5.txt", "08.12.2026 г.    01:27       01             033,6\r\n",
                           "     Дата      Время      Шаг          Температура", "Ёё°C№"}) {
    const QString text = QString::fromUtf8(utf8);
    const QByteArray bytes = toCp1251(text);
    EXPECT_EQ(bytes.size(), text.size()) << utf8;
    EXPECT_EQ(fromCp1251(bytes), text) << utf8;
  }
}

TEST(Cp1251Win32, OneQuestionMarkForEachCharacterOutsideTheCodePage) {
  struct Case {
    QString text;
    QByteArray bytes;
  };
  for (const Case& c : {
           Case{QString::fromUtf8("1你2😀3"), "1?2?3"},
           Case{QString::fromUtf8("ä"), "?"},                         // no look-alike "a"
           Case{QString(QChar(0xD800)) + QStringLiteral("x"), "?x"},  // a lone surrogate
           Case{QString(QChar(0x98)), "?"},                           // the byte the code page leaves out
           Case{QString(), QByteArray()},
       }) {
    EXPECT_EQ(toCp1251(c.text).toHex(), c.bytes.toHex()) << c.text.toStdString();
  }
}

// Windows' own short date of each locale, as the Linux build takes the
// same locale's D_FMT (08.12.2026 under ru_RU, 12/08/2026 under en_US).
TEST(RowDateWin32, TheShortDateOfWindowsLocales) {
  struct Case {
    const char16_t* locale;
    const char* date;
  };
  const QDate date(2026, 12, 8);
  for (const Case& c : {Case{u"ru-RU", "08.12.2026"}, Case{u"en-US", "12/08/2026"},
                        Case{u"de-DE", "08.12.2026"}, Case{u"uk-UA", "08.12.2026"}}) {
    const std::u16string picture = shortDatePicture(c.locale);
    ASSERT_FALSE(picture.empty()) << c.date;
    const RowDateFormat form =
        RowDateFormat::fromPosix(posixFromDatePicture(QString::fromStdU16String(picture)));
    EXPECT_EQ(form.format(date), QString::fromLatin1(c.date))
        << QString::fromStdU16String(picture).toStdString();
  }
}

TEST(RowDateWin32, AnUnknownLocaleHasNoPicture) { EXPECT_TRUE(shortDatePicture(u"xx-XX-invalid").empty()); }

TEST(RowDateWin32, TheUserLocaleGivesAFormWithEveryField) {
  const LocaleDateFormat user = environmentDateFormat();
  EXPECT_FALSE(user.posix);
  const QString row = RowDateFormat::fromEnvironment().format(QDate(2026, 12, 8));
  EXPECT_TRUE(row.contains(QStringLiteral("2026")) && row.contains(QStringLiteral("08")) &&
              row.contains(QStringLiteral("12")))
      << row.toStdString();
}

// Windows' file names are UTF-16: the recording file has its Russian name
// whatever the ANSI code page, which may not even hold the letters.
TEST(RecordingWin32, TheFileHasItsRussianName) {
  const QString folder = QDir::temp().filePath(QStringLiteral("rs485-recording-name"));
  QDir(folder).removeRecursively();
  ASSERT_TRUE(QDir().mkpath(folder));
  test::FakeView view;
  Recording recording(
      view, [] { return QDateTime::currentDateTime(); }, RecordingOptions{folder, {}});
  recording.prepareRecordingFile(5);
  EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral(u"ЗОР_номер - 5.txt")});
  QFile file(recording.filePath(5));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(fromCp1251(file.readAll()), recordingHeader(5));
  file.close();
  QDir(folder).removeRecursively();
}

}  // namespace
}  // namespace rs485
