// Walks the operator's path through the real window, as a test would, and
// saves a screenshot after each step; scripts/demo runs it when there is no
// display:
//   demo-walk DIRECTORY --port COM1=PATH --devices 3,17,42
// The window and its dialog are made as rs485-master makes them; the bus is
// a running rs485-sim behind PATH, with the real timers pacing it.

#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <iostream>

#include "devices/messages.h"
#include "link/port_names.h"
#include "tests/support/wait_until.h"
#include "ui/attention.h"
#include "ui/head_form.h"
#include "ui_Find.h"
#include "ui_Main.h"

using namespace rs485;
using namespace std::chrono_literals;

namespace {

[[noreturn]] void fail(const QString& why) {
  std::cerr << "demo-walk: " << why.toStdString() << '\n';
  std::exit(1);
}

// Every digit cell of the display, run together.
QString display(const THeadForm& window) {
  QString text;
  for (const DigitCellName& cell : kDigitCells) text += window.cellText(cell.cell);
  return text;
}

class Walk : public QObject {
 public:
  Walk(THeadForm& window, TAttention& attention, QDir directory)
      : window_(window), attention_(attention), directory_(std::move(directory)) {
    qApp->installEventFilter(this);
  }

  void shoot(QWidget& widget, const QString& name) {
    QCoreApplication::processEvents();
    const QString path = directory_.absoluteFilePath(QStringLiteral("%1-%2.png").arg(++shots_).arg(name));
    if (!widget.grab().save(path)) fail(QStringLiteral("cannot write ") + path);
    std::cout << path.toStdString() << std::endl;
  }

  template <typename T = QWidget>
  T* control(const char* name) const {
    auto* widget = window_.findChild<T*>(QString::fromLatin1(name));
    if (widget == nullptr) fail(QStringLiteral("no control ") + QLatin1String(name));
    return widget;
  }

  void click(const char* name) const { QTest::mouseClick(control(name), Qt::LeftButton); }

  void waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout, const QString& what) {
    if (!test::waitUntil(done, timeout)) {
      shoot(window_, QStringLiteral("failed"));
      fail(QStringLiteral("gave up waiting: ") + what);
    }
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show) return false;  // of any window: the dialog or an error box
    // The question about the first device found: "Не спрашивать", then "Да".
    if (watched == &attention_) {
      QTimer::singleShot(0, &attention_, [this] {
        QTest::mouseClick(attention_.form().All_yes, Qt::LeftButton, {}, QPoint(5, 7));
        shoot(attention_, QStringLiteral("question-dont-ask-ticked"));
        QTest::mouseClick(attention_.form().Yes, Qt::LeftButton);
      });
    }
    // An error box would wait for a person: show what it says and give up.
    if (auto* box = qobject_cast<QMessageBox*>(watched)) {
      QTimer::singleShot(0, box, [this, box] {
        shoot(window_, QStringLiteral("error"));
        fail(QStringLiteral("the window reports: ") + box->text());
      });
    }
    return false;
  }

 private:
  THeadForm& window_;
  TAttention& attention_;
  QDir directory_;
  int shots_ = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QCommandLineParser parser;
  const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("COMn=PATH"),
                                QStringLiteral("COMn=PATH"));
  const QCommandLineOption devices(QStringLiteral("devices"), QStringLiteral("the simulated addresses"),
                                   QStringLiteral("LIST"));
  parser.addOptions({port, devices});
  parser.addPositionalArgument(QStringLiteral("directory"), QStringLiteral("where the screenshots go"));
  parser.process(application);
  const auto mapping = PortNames::parseOption(parser.value(port).toStdString());
  const QStringList addresses = parser.value(devices).split(QLatin1Char(','), Qt::SkipEmptyParts);
  if (!mapping || addresses.isEmpty() || parser.positionalArguments().size() != 1) parser.showHelp(2);
  QDir directory(parser.positionalArguments().first());
  if (!directory.mkpath(QStringLiteral("."))) fail(QStringLiteral("cannot create ") + directory.path());

  // As rs485-master's main makes them.
  THeadForm window{PortNames(std::map<std::string, std::string>{*mapping})};
  window.show();
  TAttention attention(&window);
  window.setConfirmDialog(&attention);
  Walk walk(window, attention, directory);
  walk.waitFor([&] { return window.isVisible(); }, 10s, QStringLiteral("the window to show"));
  walk.shoot(window, QStringLiteral("start"));

  walk.click("OpenClose");
  walk.waitFor([&] { return window.session().isOpen(); }, 10s, QStringLiteral("the port to open"));
  walk.shoot(window, QStringLiteral("port-open"));

  // The scan probes one address per tick; it is stopped once every
  // simulated device is listed rather than run on to 247.
  auto* list = walk.control<QTableWidget>("ListAdress");
  walk.click("Find");
  walk.waitFor([&] { return list->rowCount() == addresses.size(); }, 300s,
               QStringLiteral("every device listed"));
  walk.shoot(window, QStringLiteral("scan-found-all"));
  walk.click("Find");
  walk.waitFor([&] { return window.form().Find->text() == msg::findCaption(); }, 10s,
               QStringLiteral("the scan to stop"));
  walk.shoot(window, QStringLiteral("scan-stopped"));

  const int row = static_cast<int>(addresses.size() / 2);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row, 0)).center());
  walk.waitFor([&] { return window.statusText() == msg::deviceSelected(list->item(row, 0)->text()); }, 10s,
               QStringLiteral("the device to be chosen"));
  walk.shoot(window, QStringLiteral("device-chosen"));

  walk.click("wFile");
  walk.waitFor([&] { return walk.control<QCheckBox>("wFile")->isChecked(); }, 10s,
               QStringLiteral("recording to be ticked"));
  walk.shoot(window, QStringLiteral("recording-ticked"));

  // Every device is asked once a second in turn; a few rounds fill the display.
  const QString before = display(window);
  walk.click("readingAll");
  walk.waitFor([&] { return display(window) != before; }, 30s,
               QStringLiteral("the chosen device's readings"));
  QDeadlineTimer rounds(static_cast<qint64>(addresses.size()) * 2 * 1000 + 500);
  walk.waitFor([&] { return rounds.hasExpired(); }, 60s, QStringLiteral("a few rounds of the poll"));
  walk.shoot(window, QStringLiteral("polling"));

  walk.click("readingAll");
  walk.waitFor([&] { return window.form().readingAll->text() == msg::readingAllCaption(); }, 10s,
               QStringLiteral("the poll to stop"));
  walk.shoot(window, QStringLiteral("stopped"));

  for (const QString& file : QDir::current().entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name))
    std::cout << "recording: " << QDir::current().absoluteFilePath(file).toStdString() << std::endl;
  return 0;
}
