// Recording while a device's file is deleted, turned into a folder, made
// read-only, or meets a full disk or the file size limit.

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <QTest>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "tests/faults/fault_setup.h"

using namespace rs485;
using namespace rs485::test;

namespace {

constexpr int kSelected = 5;
constexpr int kOther = 7;

// A tmpfs of four pages over a folder, taken away again at the end.
class SmallDisk {
 public:
  explicit SmallDisk(const QString& folder) : path_(QFile::encodeName(folder)) {
    mounted_ =
        ::mount("tmpfs", path_.constData(), "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, "size=16k") == 0;
    if (!mounted_) error_ = std::strerror(errno);
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(path_.constData(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool mounted() const { return mounted_; }
  const char* error() const { return error_; }

 private:
  QByteArray path_;
  bool mounted_ = false;
  const char* error_ = "";
};

// Writes until the disk refuses; true when it did.
bool fillUp(const QString& path) {
  QFile filler(path);
  if (!filler.open(QIODevice::WriteOnly)) return false;
  const QByteArray page(4096, 'x');
  for (int i = 0; i < 64; ++i) {
    if (filler.write(page) != page.size() || !filler.flush()) return true;
  }
  return false;
}

struct FileState {
  bool regular = false;
  qint64 size = 0;
  qint64 allocated = 0;  // bytes of the blocks the file system gave it
};

FileState stateOf(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return {true, st.st_size, static_cast<qint64>(st.st_blocks) * 512};
}

// Restores the signal disposition and the file size limit it found.
class SizeLimit {
 public:
  SizeLimit() {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = signal(SIGXFSZ, SIG_IGN);  // a write beyond the limit fails with EFBIG instead
  }
  ~SizeLimit() {
    lift();
    signal(SIGXFSZ, previous_);
  }
  SizeLimit(const SizeLimit&) = delete;
  SizeLimit& operator=(const SizeLimit&) = delete;
  bool set(qint64 bytes) {
    rlimit limit = saved_;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  void lift() { setrlimit(RLIMIT_FSIZE, &saved_); }

 private:
  rlimit saved_{};
  sighandler_t previous_ = SIG_DFL;
};

// Opens the reading end of a named pipe unless called off within a few
// seconds: a writer stuck opening it is let go, and the test knows.
class PipeWatchdog {
 public:
  explicit PipeWatchdog(const QString& path) : path_(QFile::encodeName(path)), thread_([this] { watch(); }) {}
  ~PipeWatchdog() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    thread_.join();
    if (reader_ >= 0) ::close(reader_);
  }
  PipeWatchdog(const PipeWatchdog&) = delete;
  PipeWatchdog& operator=(const PipeWatchdog&) = delete;
  bool fired() {
    std::lock_guard lock(mutex_);
    return reader_ >= 0;
  }

 private:
  void watch() {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, 3s, [this] { return done_; })) {
      reader_ = ::open(path_.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
  }

  QByteArray path_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  int reader_ = -1;
  std::thread thread_;
};

bool isPipe(const QString& path) {
  struct stat st {};
  return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
}

}  // namespace

class RecordingFaultsTest : public QObject {
  Q_OBJECT

 private slots:
  void recordingGoesOnThroughFileFaults_data() {
    QTest::addColumn<QString>("fault");
    for (const char* fault :
         {"deleted", "directory", "named pipe", "read-only", "disk full", "file size limit"}) {
      QTest::newRow(fault) << QString::fromLatin1(fault);
    }
  }

  // Device 5 is selected and shown, device 7 polled and recorded too. Both
  // files are checked byte for byte after every answer: what they held
  // before stays, no row appears twice or in part, and a row the file could
  // not take is written at the device's next answer that it can take.
  void recordingGoesOnThroughFileFaults() {
    QFETCH(QString, fault);
    if (fault == QLatin1String("read-only") && geteuid() == 0) {
      QSKIP("running as root, which writes to a read-only file anyway");
    }
    QTemporaryDir base;
    QString folder = base.path();
    std::optional<SmallDisk> disk;
    if (fault == QLatin1String("disk full")) {
      folder = base.filePath(QStringLiteral("small"));
      QVERIFY(QDir().mkpath(folder));
      disk.emplace(folder);
      if (!disk->mounted()) QSKIP(qPrintable(QStringLiteral("no tmpfs to fill: %1").arg(disk->error())));
    }
    std::optional<SizeLimit> limit;
    if (fault == QLatin1String("file size limit")) limit.emplace();

    const int page = static_cast<int>(sysconf(_SC_PAGESIZE));
    const int rowLength =
        static_cast<int>(toCp1251(recordingRow(QStringLiteral("07.12.2026"), QTime(10, 0),
                                               {QStringLiteral("03"), QStringLiteral("023,5")}))
                             .size());
    // Older rows in the selected device's file, so that two more rows end
    // half a row short of a block boundary.
    const QByteArray old = toCp1251(QStringLiteral("старая запись\r\n"))
                               .leftJustified((disk ? 1 : 16) * page - 2 * rowLength - rowLength / 2, '.');
    std::map<int, ReadingsResponse> readings = {
        {kSelected, panelReadings(kSelected)},
        {kOther, readingsOf(kOther, -57, 61, 8, 7, 9, 300, 30)},
    };
    FaultRig rig(instantBus({{kSelected, readings[kSelected]}, {kOther, readings[kOther]}}), folder);
    const QString path = rig.filePath(kSelected);
    {
      QFile file(path);
      QVERIFY(file.open(QIODevice::WriteOnly));
      QCOMPARE(file.write(old), old.size());
    }

    QVERIFY(rig.openPort());
    QVERIFY(rig.scanFor({kSelected, kOther}));
    QVERIFY(rig.select(kSelected));
    QVERIFY(rig.startPoll());
    QVERIFY(rig.startRecording());

    std::map<int, ExpectedFile> expected;
    expected.emplace(kSelected, ExpectedFile(kSelected, old));
    expected.emplace(kOther, ExpectedFile(kOther));
    std::map<int, int> recordedMinute = {{kSelected, -1}, {kOther, -1}};
    QStringList shown = initialCells();
    enum class Phase { Healthy, Faulty, Recovered } phase = Phase::Healthy;
    int refused = 0;
    qint64 limitBytes = 0;

    // Can the device's file take its next row now?
    const auto writable = [&](int address) {
      const QString file = rig.filePath(address);
      const FileState st = stateOf(file);
      if (phase != Phase::Faulty) return true;
      if (fault == QLatin1String("directory") || fault == QLatin1String("named pipe") ||
          fault == QLatin1String("read-only")) {
        return address != kSelected;
      }
      if (fault == QLatin1String("disk full")) return !st.regular || st.size + rowLength <= st.allocated;
      if (fault == QLatin1String("file size limit")) return st.size + rowLength <= limitBytes;
      return true;
    };

    for (int k = 0; k < 14; ++k) {
      if (k == 4) {
        phase = Phase::Faulty;
        readings[kSelected].temperature = 236;
        QVERIFY(rig.sim->setReadings(kSelected, readings[kSelected]));
        if (fault == QLatin1String("deleted")) {
          QVERIFY(QFile::remove(path));
          expected.at(kSelected).restart();
        } else if (fault == QLatin1String("directory")) {
          QVERIFY(QFile::remove(path));
          QVERIFY(QDir().mkdir(path));
        } else if (fault == QLatin1String("named pipe")) {
          // Nobody reads it: opening it to write would wait for a reader.
          QVERIFY(QFile::remove(path));
          QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0666), 0);
        } else if (fault == QLatin1String("read-only")) {
          QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        } else if (fault == QLatin1String("disk full")) {
          QVERIFY(fillUp(QDir(folder).filePath(QStringLiteral("filler"))));
        } else {
          // The selected device's next row would cross it half-way.
          limitBytes = stateOf(path).size + rowLength / 2;
          QVERIFY(limit->set(limitBytes));
        }
      }
      if (k == 10) {
        phase = Phase::Recovered;
        readings[kSelected].temperature = 237;
        QVERIFY(rig.sim->setReadings(kSelected, readings[kSelected]));
        if (fault == QLatin1String("directory")) {
          QVERIFY(QDir().rmdir(path));
          expected.at(kSelected).restart();
        } else if (fault == QLatin1String("named pipe")) {
          QVERIFY(QFile::remove(path));
          expected.at(kSelected).restart();
        } else if (fault == QLatin1String("read-only")) {
          QVERIFY(QFile::setPermissions(
              path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        } else if (fault == QLatin1String("disk full")) {
          QVERIFY(QFile::remove(QDir(folder).filePath(QStringLiteral("filler"))));
        } else if (limit) {
          limit->lift();
        }
      }

      rig.now = rig.now.addSecs(60);
      const std::size_t asked = rig.pollIndex();
      const int polled = rig.window->deviceState().FoundDevices[asked].address;
      const bool canWrite = writable(polled);
      std::optional<PipeWatchdog> watchdog;
      if (isPipe(path)) watchdog.emplace(path);
      QVERIFY(rig.tickUntilSent() >= 0);
      QVERIFY2(waitUntil([&] { return rig.pollIndex() != asked; }), "the poll stopped");
      QVERIFY2(!watchdog || !watchdog->fired(), "the window hung opening the pipe");
      watchdog.reset();

      if (polled == kSelected) shown = cellsShowing(readings[kSelected]);
      const int minute = rig.now.time().minute();
      if (minute != recordedMinute[polled]) {
        if (canWrite) {
          expected.at(polled).row(rig.now, rowTextsOf(readings[polled]));
          recordedMinute[polled] = minute;
        } else {
          ++refused;
        }
      }
      const QByteArray selectedFile = stateOf(path).regular ? fileBytes(path) : QByteArray();
      const QByteArray otherFile = fileBytes(rig.filePath(kOther));

      const QString at = QStringLiteral("answer %1 of %2").arg(k).arg(polled);
      QVERIFY2(rig.cells() == shown, qPrintable(at));
      if (fault == QLatin1String("directory") && phase == Phase::Faulty) {
        QVERIFY2(QFileInfo(path).isDir() && QDir(path).isEmpty(), qPrintable(at));
      } else if (fault == QLatin1String("named pipe") && phase == Phase::Faulty) {
        QVERIFY2(isPipe(path), qPrintable(at));
      } else {
        QVERIFY2(selectedFile == expected.at(kSelected).bytes(),
                 qPrintable(at + QStringLiteral(": %1 bytes, expected %2; ends \"%3\"")
                                     .arg(selectedFile.size())
                                     .arg(expected.at(kSelected).bytes().size())
                                     .arg(QString::fromLatin1(
                                         selectedFile.right(rowLength + 10).toPercentEncoding(" ,.:")))));
      }
      QVERIFY2(otherFile == expected.at(kOther).bytes(), qPrintable(at));
      QVERIFY2(rig.errors.isEmpty(), qPrintable(rig.errors.join(QLatin1Char(';'))));
      QCOMPARE(rig.window->statusText(), msg::pollStarted());
    }
    qInfo("%s: %d rows refused, then %d and %d rows in the files", qPrintable(fault), refused,
          expected.at(kSelected).rows(), expected.at(kOther).rows());
    if (fault != QLatin1String("deleted")) QVERIFY(refused > 0);  // the fault did strike
    QVERIFY(rig.stopPoll());
    QVERIFY(rig.closePort());
  }
};

QTEST_MAIN(RecordingFaultsTest)
#include "recording_faults_test.moc"
