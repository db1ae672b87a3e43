#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "devices/messages.h"
#include "monitor/cp1251.h"
#include "tests/monitor/monitor_rig.h"

namespace rs485::test {
namespace {

QByteArray cp(const char* utf8) { return toCp1251(QString::fromUtf8(utf8)); }

QByteArray header(int address) {
  return cp("               Номер устройства: ") + QByteArray::number(address) +
         cp("\r\n     Дата      Время      Шаг          Температура\r\n");
}
QByteArray row(const char* utf8) { return cp(utf8) + "\r\n"; }

class RecordingTest : public MonitorRig {
 protected:
  // A scan in minute 04 found the devices and prepared their files; the
  // poll runs with `selected` displayed and recording on.
  void pollRecording(std::initializer_list<int> addresses, int selected) {
    at(10, 4);
    found(addresses, 4);
    for (int a : addresses) recording.prepareRecordingFile(a);
    select(selected);
    clickReadingAll();
    clickWFile();
    ASSERT_TRUE(recording.recordingOn());
  }
  // The next tick's device answers with `r` (address taken from the request).
  void next(ReadingsResponse r) {
    r.address = static_cast<std::uint8_t>(tick());
    answer(r);
  }
  void next(int temperature = 235) { next(panelReadings(0, temperature)); }
  DeviceEntry& entry(int address) {
    for (auto& e : state.FoundDevices)
      if (e.address == address) return e;
    throw std::logic_error("no such device");
  }
};

TEST(Cp1251, EncodesCyrillicAsTheCodePage) {
  struct Case {
    const char* utf8;
    QByteArray bytes;
  };
  for (const Case& c :
       {Case{"Номер", QByteArray::fromHex("cdeeece5f0")}, Case{"г.", QByteArray::fromHex("e32e")},
        Case{"ЗОР_номер - 5.txt", QByteArray::fromHex("c7ced05fedeeece5f0202d20352e747874")},
        Case{"Ёё", QByteArray::fromHex("a8b8")}, Case{"°C\r\n", QByteArray::fromHex("b0430d0a")},
        Case{"", QByteArray()}}) {
    EXPECT_EQ(toCp1251(QString::fromUtf8(c.utf8)).toHex(), c.bytes.toHex()) << c.utf8;
  }
}

TEST(Cp1251, ACharacterOutsideTheCodePageBecomesAQuestionMark) {
  EXPECT_EQ(toCp1251(QString::fromUtf8("1你2😀3")), QByteArray("1?2?3"));
}

TEST_F(RecordingTest, ANewFileGetsTheHeader) {
  const mode_t old = ::umask(022);
  recording.prepareRecordingFile(5);
  ::umask(old);
  const QByteArray bytes = fileBytes(5);
  EXPECT_EQ(bytes, header(5));
  EXPECT_TRUE(bytes.startsWith(QByteArray(15, ' ') + QByteArray::fromHex("cdeeece5f0"))) << "Номер in cp1251";
  EXPECT_TRUE(bytes.endsWith(QByteArray::fromHex("0d0a")));
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(recording.filePath(5)).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(RecordingTest, TheFileNameIsStoredInUtf8) {
  recording.prepareRecordingFile(17);
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.path().toStdString()))
    names.push_back(e.path().filename().native());
  EXPECT_EQ(names, std::vector<std::string>{
                       "\xD0\x97\xD0\x9E\xD0\xA0_\xD0\xBD\xD0\xBE\xD0\xBC\xD0\xB5\xD1\x80 - 17.txt"});
}

TEST_F(RecordingTest, AFileWithContentGetsNoSecondHeader) {
  {
    QFile f(recording.filePath(5));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("old\r\n");
  }
  recording.prepareRecordingFile(5);
  EXPECT_EQ(fileBytes(5), QByteArray("old\r\n"));
  recording.prepareRecordingFile(6);
  recording.prepareRecordingFile(6);
  EXPECT_EQ(fileBytes(6), header(6));
}

TEST_F(RecordingTest, OneRowPerDeviceAndMinuteByteForByte) {
  pollRecording({3, 7, 12}, 7);
  at(10, 5);
  for (int round = 0; round < 2; ++round) {
    next(235);  // 7, displayed
    next(-12);  // 12
    next(5);    // 3
  }
  at(10, 6);
  next(panelReadings(0, 1234));
  next(-123);
  next(99);
  EXPECT_EQ(fileBytes(7), header(7) + row("07.12.2026г.    10:05       03             023,5") +
                              row("07.12.2026г.    10:06       03             123,4"));
  EXPECT_EQ(fileBytes(12), header(12) + row("07.12.2026г.    10:05       03             -01,2") +
                               row("07.12.2026г.    10:06       03             -12,3"));
  EXPECT_EQ(fileBytes(3), header(3) + row("07.12.2026г.    10:05       03             000,5") +
                              row("07.12.2026г.    10:06       03             009,9"));
  const QByteArray written = fileBytes(3);
  const QByteArray firstRow = written.mid(header(3).size(), 18);
  EXPECT_EQ(firstRow, QByteArray("07.12.2026") + QByteArray::fromHex("e32e20202020") + "10")
      << "г. in cp1251";
  EXPECT_EQ(entry(3).recordedMinute, 6);
}

TEST_F(RecordingTest, ADeviceNotDisplayedIsRecordedFromItsOwnAnswer) {
  pollRecording({7, 9}, 7);
  at(10, 5);
  ReadingsResponse mine = panelReadings(0, 235);
  mine.step = 123;  // too long for the cells: the row repeats what they show
  next(mine);
  ReadingsResponse other = panelReadings(0, -5);
  other.step = 123;
  next(other);
  EXPECT_EQ(fileBytes(7), header(7) + row("07.12.2026г.    10:05       00             023,5"));
  EXPECT_EQ(fileBytes(9), header(9) + row("07.12.2026г.    10:05       123             -00,5"));
}

TEST_F(RecordingTest, AThousandDegreesRepeatsTheCellsOrFallsBackToTheTemplate) {
  pollRecording({7, 8, 9}, 7);
  at(10, 5);
  next(235);    // 7
  next(10000);  // 8
  next(-1000);  // 9
  at(10, 6);
  next(10000);  // 7: the cells keep 023,5
  next(-1000);
  next(32767);
  at(10, 7);
  next(-1000);  // 7 again
  EXPECT_EQ(fileBytes(7), header(7) + row("07.12.2026г.    10:05       03             023,5") +
                              row("07.12.2026г.    10:06       03             023,5") +
                              row("07.12.2026г.    10:07       03             023,5"));
  EXPECT_EQ(fileBytes(8), header(8) + row("07.12.2026г.    10:05       03             000,0") +
                              row("07.12.2026г.    10:06       03             -00,0"));
  EXPECT_EQ(fileBytes(9), header(9) + row("07.12.2026г.    10:05       03             -00,0") +
                              row("07.12.2026г.    10:06       03             000,0"));
}

TEST_F(RecordingTest, AFileDeletedDuringThePollComesBackWithoutHeader) {
  pollRecording({7}, 7);
  at(10, 5);
  next(235);
  ASSERT_TRUE(QFile::remove(recording.filePath(7)));
  next(240);  // same minute: the file is opened, so created, but gets no row
  EXPECT_TRUE(fileExists(7));
  EXPECT_EQ(fileBytes(7), QByteArray());
  at(10, 6);
  next(241);
  EXPECT_EQ(fileBytes(7), row("07.12.2026г.    10:06       03             024,1"));
}

TEST_F(RecordingTest, AFileThatCannotBeOpenedIsSkippedAndTriedAgain) {
  // Tests may run as root, whom file modes do not stop: a folder in the
  // file's place cannot be opened for writing by anyone.
  ASSERT_TRUE(QDir(dir.path()).mkdir(recordingFileName(9)));
  pollRecording({7, 9}, 7);
  at(10, 5);
  next(235);
  next(300);
  EXPECT_TRUE(view.errors.empty());
  EXPECT_EQ(entry(9).recordedMinute, 3) << "unchanged";
  EXPECT_EQ(poll.PollIndex, 0u) << "the poll goes on";
  ASSERT_TRUE(QDir(dir.path()).rmdir(recordingFileName(9)));
  next(236);
  next(301);  // same minute: the row was never written, so it comes now
  EXPECT_EQ(fileBytes(9), row("07.12.2026г.    10:05       03             030,1"));
  EXPECT_EQ(entry(9).recordedMinute, 5);
}

TEST_F(RecordingTest, ARowThatDoesNotGetIntoTheFileDoesNotCount) {
  pollRecording({7}, 7);
  ASSERT_TRUE(QFile::remove(recording.filePath(7)));
  ASSERT_EQ(::symlink("/dev/full", QFile::encodeName(recording.filePath(7)).constData()), 0);
  at(10, 5);
  next(235);
  EXPECT_EQ(entry(7).recordedMinute, 3);
  ASSERT_TRUE(QFile::remove(recording.filePath(7)));
  next(236);
  EXPECT_EQ(fileBytes(7), row("07.12.2026г.    10:05       03             023,6"));
  EXPECT_EQ(entry(7).recordedMinute, 5);
}

TEST_F(RecordingTest, UntickAndTickWithinAMinuteWritesNoSecondRow) {
  pollRecording({7}, 7);
  at(10, 5);
  next(235);
  clickWFile();
  EXPECT_EQ(view.wFile, msg::recordCaption());
  at(10, 6);
  next(236);  // not recording
  clickWFile();
  EXPECT_EQ(view.wFile, msg::stopRecordingCaption());
  next(237);  // recording again, first row of minute 06
  next(238);
  EXPECT_EQ(fileBytes(7), header(7) + row("07.12.2026г.    10:05       03             023,5") +
                              row("07.12.2026г.    10:06       03             023,7"));
}

TEST_F(RecordingTest, NoRowForCyclesZero) {
  pollRecording({7, 9}, 7);
  at(10, 5);
  ReadingsResponse ended = panelReadings(0, 235);
  ended.cycles = 0;
  next(ended);
  next(ended);
  EXPECT_EQ(fileBytes(7), header(7));
  EXPECT_EQ(fileBytes(9), header(9));
  EXPECT_EQ(entry(7).recordedMinute, 3);
  EXPECT_EQ(entry(9).recordedMinute, 3);
}

TEST_F(RecordingTest, TheMinuteOfTheHourAloneDecides) {
  // Found in minute 00: recordedMinute 255, the first answer gives a row.
  at(11, 0);
  found({7}, 0);
  EXPECT_EQ(state.FoundDevices[0].recordedMinute, 255);
  select(7);
  clickReadingAll();
  clickWFile();
  next(235);
  EXPECT_EQ(fileBytes(7), row("07.12.2026г.    11:00       03             023,5"));

  // Found in minute 05, first answer in minute 04 of the next hour: no row then.
  found({8}, 5);
  select(8);
  clickReadingAll();  // stop
  clickReadingAll();  // start again with 8
  clickWFile();
  at(12, 4);
  next(100);
  EXPECT_EQ(fileBytes(8), QByteArray());
  EXPECT_EQ(entry(8).recordedMinute, 4);
  at(12, 5);
  next(101);
  EXPECT_EQ(fileBytes(8), row("07.12.2026г.    12:05       03             010,1"));
}

TEST_F(RecordingTest, TheStopEndsTheRecording) {
  pollRecording({7}, 7);
  at(10, 5);
  ASSERT_EQ(tick(), 7);
  clickReadingAll();
  EXPECT_FALSE(recording.recordingOn());
  answer(panelReadings(7));
  EXPECT_EQ(fileBytes(7), header(7));
}

TEST_F(RecordingTest, TickingTheBoxTouchesNoFile) {
  clickWFile();
  EXPECT_EQ(view.wFile, msg::stopRecordingCaption());
  clickWFile();
  EXPECT_EQ(view.wFile, msg::recordCaption());
  EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

TEST_F(RecordingTest, TheDateComesFromTheInjectedFormat) {
  Recording us(view, [this] { return now; },
               {dir.path(), [](const QDate& d) {
                  return QLocale(QLocale::English, QLocale::UnitedStates).toString(d, QLocale::ShortFormat);
                }});
  at(9, 3);
  DeviceEntry e{4, 0};
  us.recordReading(e, panelReadings(4, 235), std::nullopt);
  EXPECT_EQ(fileBytes(4), row("12/7/26г.    09:03       03             023,5"));
}

TEST_F(RecordingTest, WithoutAFolderTheFilesGoToTheWorkingDirectory) {
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  Recording here(view, [this] { return now; });
  here.prepareRecordingFile(5);
  ASSERT_TRUE(QDir::setCurrent(previous));
  EXPECT_EQ(here.filePath(5), recordingFileName(5));
  EXPECT_EQ(fileBytes(5), header(5));
}

}  // namespace
}  // namespace rs485::test
