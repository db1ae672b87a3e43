#include "monitor/recording_reader.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include "monitor/cp1251.h"
#include "monitor/recording.h"
#include "monitor/row_date.h"

namespace rs485::test {
namespace {

QByteArray cp(const char* utf8) { return toCp1251(QString::fromUtf8(utf8)); }

std::int64_t at(int day, int hour, int minute) {
  return QDateTime(QDate(2026, 12, day), QTime(hour, minute)).toMSecsSinceEpoch();
}

RecordingContents read(const QByteArray& bytes, ReaderOptions options = {}) {
  RecordingReader reader(options);
  reader.feed(bytes);
  reader.finish();
  return reader.contents();
}

void expectRows(const RecordingContents& got, const std::vector<RecordedRow>& want) {
  ASSERT_EQ(got.rows.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got.rows[i].msecs, want[i].msecs) << "row " << i;
    EXPECT_EQ(got.rows[i].temperature, want[i].temperature) << "row " << i;
    EXPECT_EQ(got.rows[i].step, want[i].step) << "row " << i;
  }
}

const QByteArray kFile =
    cp("               Номер устройства: 5\r\n"
       "     Дата      Время      Шаг          Температура\r\n"
       "08.12.2026г.    01:27       03             023,5\r\n"
       "08.12.2026г.    01:28       255             -00,5\r\n"
       "08.12.2026г.    01:29       100             100,0\r\n"
       "08.12.2026г.    01:30       07             -12,3\r\n"
       "08.12.2026г.    01:31       00             000,0\r\n"
       "08.12.2026г.    01:32       99             999,9\r\n");
const std::vector<RecordedRow> kRows = {{at(8, 1, 27), 235, 3},    {at(8, 1, 28), -5, 255},
                                        {at(8, 1, 29), 1000, 100}, {at(8, 1, 30), -123, 7},
                                        {at(8, 1, 31), 0, 0},      {at(8, 1, 32), 9999, 99}};

TEST(RecordingReader, ReadsTheHeaderAndEveryTemperatureAndStepForm) {
  const RecordingContents got = read(kFile);
  EXPECT_EQ(got.address, 5);
  EXPECT_EQ(got.skipped, 0);
  expectRows(got, kRows);
}

TEST(RecordingReader, AFileWithoutHeaderTakesTheAddressFromItsName) {
  QTemporaryDir dir;
  const QString path = dir.filePath(recordingFileName(42));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(kFile.mid(kFile.indexOf("08.12")));
  file.close();
  const auto got = readRecordingFile(path);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->address, 42);
  EXPECT_EQ(got->skipped, 0);
  expectRows(*got, kRows);
  EXPECT_EQ(addressFromFileName(QStringLiteral("ЗОР_номер - 05.txt")), -1);
  EXPECT_EQ(addressFromFileName(QStringLiteral("ЗОР_номер - 5 (копия).txt")), -1);
  EXPECT_EQ(addressFromFileName(QStringLiteral("readings.txt")), -1);
}

TEST(RecordingReader, ReadsTheDateFormsOfEveryVersion) {
  struct Case {
    const char* text;
    bool slashedDayFirst;
    QDate date;
  };
  const QDate dec8(2026, 12, 8);
  for (const Case& c : {
           Case{"08.12.2026", false, dec8},
           Case{"12/08/2026", false, dec8},
           Case{"2026-12-08", false, dec8},
           Case{"08.12.26", false, dec8},                   // older versions under de_DE and uk_UA
           Case{"12/8/26", false, dec8},                    // under en_US
           Case{"8 Dec 2026", false, dec8},                 // under C
           Case{"08 Dec 2026", false, dec8},                //
           Case{"08/12/2026", true, dec8},                  // a day-first locale with slashes
           Case{"13/12/2026", false, QDate(2026, 12, 13)},  // cannot be a month
           Case{"31.02.2026", false, QDate()},
           Case{"8 Foo 2026", false, QDate()},
           Case{"08.12", false, QDate()},
           Case{"", false, QDate()},
           Case{"08.12.20266", false, QDate()},
       }) {
    const auto got = parseRowDate(c.text, {c.slashedDayFirst});
    EXPECT_EQ(got.value_or(QDate()), c.date) << c.text;
  }
}

TEST(RecordingReader, MixedDateFormsInOneFileAndMalformedLinesCounted) {
  const QByteArray bytes =
      cp("08.12.2026г.    01:27       03             023,5\r\n"
         "12/08/2026г.    01:28       03             023,6\n"
         "8 Dec 2026г.    01:29       03             023,7\r\n"
         "garbage\r\n"
         "08.12.2026г.    25:00       03             023,5\r\n"    // hour
         "08.12.2026г.    01:30       03             02x,5\r\n"    // temperature
         "08.12.2026г.    01:30       03             023.5\r\n"    // separator
         "08.12.2026г.    01:30      03             023,5\r\n"     // spaces
         "08.12.2026г.    01:30       1234             023,5\r\n"  // step
         "31.02.2026г.    01:30       03             023,5\r\n"    // date
         "08.12.2026г.    01:30       03             023,\r\n"     // cut short
         "\r\n"                                                    // empty: no row, no fault
         "09.12.2026г.    00:00       04             -01,0");      // no line end at the end
  const RecordingContents got = read(bytes);
  EXPECT_EQ(got.skipped, 8);
  EXPECT_EQ(got.address, -1);
  expectRows(got,
             {{at(8, 1, 27), 235, 3}, {at(8, 1, 28), 236, 3}, {at(8, 1, 29), 237, 3}, {at(9, 0, 0), -10, 4}});
}

TEST(RecordingReader, ReadsWhatTheWriterWrites) {
  for (const char* dFmt : {"%d.%m.%Y", "%m/%d/%y", "%F", "%d.%m.%Y г."}) {
    const RowDateFormat format = RowDateFormat::fromPosix(dFmt);
    const QByteArray bytes = toCp1251(recordingHeader(17)) +
                             toCp1251(recordingRow(format.format(QDate(2026, 12, 8)), QTime(23, 59),
                                                   {QStringLiteral("12"), QStringLiteral("-05,5")}));
    const RecordingContents got = read(bytes);
    EXPECT_EQ(got.address, 17) << dFmt;
    EXPECT_EQ(got.skipped, 0) << dFmt;
    expectRows(got, {{at(8, 23, 59), -55, 12}});
  }
}

TEST(RecordingReader, BytesFedInAnyPiecesGiveTheSameRows) {
  // As a followed file grows: a line may arrive in several reads.
  for (qsizetype cut = 1; cut < kFile.size(); cut += 7) {
    RecordingReader reader;
    reader.feed(kFile.left(cut));
    reader.feed(kFile.mid(cut, 3));
    reader.feed(kFile.mid(cut + 3));
    EXPECT_EQ(reader.contents().skipped, 0) << cut;
    expectRows(reader.contents(), kRows);
  }
  RecordingReader reader;
  reader.feed(kFile.left(kFile.size() - 1));  // the last LF still to come
  EXPECT_EQ(reader.contents().rows.size(), kRows.size() - 1);
}

TEST(RecordingReader, AFileThatCannotBeReadSaysWhy) {
  QTemporaryDir dir;
  QString error;
  EXPECT_FALSE(readRecordingFile(dir.filePath(QStringLiteral("missing.txt")), &error));
  EXPECT_FALSE(error.isEmpty());
  error.clear();
  EXPECT_FALSE(readRecordingFile(dir.path(), &error));  // a folder
  EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace rs485::test
