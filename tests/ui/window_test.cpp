#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QToolButton>
#include <array>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

#include "devices/messages.h"
#include "devices/qt_ui_executor.h"
#include "link/raw_tty.h"
#include "protocol/frames.h"
#include "tests/support/sim_bus.h"
#include "tests/support/window_rig.h"
#include "tests/support/window_states.h"
#include "ui/up_down.h"
#include "ui_Main.h"

using namespace rs485;
using namespace rs485::test;

namespace {

const QString kZero = QStringLiteral("0");

// The cell of an object name that the test spells out itself.
DigitCell cellNamed(const QString& name) {
  const auto cell = digitCellNamed(name.toStdString());
  if (!cell) throw std::invalid_argument("no digit cell " + name.toStdString());
  return *cell;
}

// The rows, the status bar and the hidden Label1.
void checkState(const THeadForm& window, const std::vector<Expected>& rows, const QString& status) {
  QStringList faults;
  if (const QString controls = stateFaults(window, rows); !controls.isEmpty()) faults << controls;
  if (window.statusText() != status) faults << QStringLiteral("status: \"%1\"").arg(window.statusText());
  const auto* label1 = window.findChild<QLabel*>(QStringLiteral("Label1"));
  if (label1 == nullptr || !label1->isHidden()) faults << QStringLiteral("Label1 is not hidden");
  QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1String("; "))));
}

// A pseudo-terminal whose master end the test holds.
class RawPty {
 public:
  RawPty() : pty_(openPtyMaster(O_CLOEXEC)) {
    if (pty_.failed != nullptr) qFatal("no pseudo-terminal: %s", pty_.failed);
  }

  const std::string& slavePath() const { return pty_.slavePath; }
  bool write(const std::vector<unsigned char>& bytes) const {
    return ::write(pty_.fd.get(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

 private:
  PtyMaster pty_;
};

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void startsInPortClosed() {
    WindowRig rig(instantBus({{5}}), asShown());
    QVERIFY(rig.ready);
    checkState(*rig.window, closedState(), msg::openPortPrompt());
    QCOMPARE(rig.control<QTableWidget>("ListAdress")->rowCount(), 0);
  }

  void openingGoesToPortOpen() {
    WindowRig rig(instantBus({{5}}), asShown());
    QTest::mouseClick(rig.control<QPushButton>("OpenClose"), Qt::LeftButton);
    QVERIFY2(rig.errors.isEmpty(), qPrintable(rig.errors.join(QLatin1Char(','))));
    QVERIFY(rig.window->session().isOpen());
    checkState(*rig.window, openState(), msg::searchPrompt());
    for (const char* cell : {"n1_addr", "n2_addr", "n3_addr"}) {
      QVERIFY2(!rig.control<QLineEdit>(cell)->isReadOnly(), cell);
    }
  }

  void closingGoesBackToPortClosedAndResets() {
    WindowRig rig(instantBus({{5}}), asShown());
    THeadForm& window = *rig.window;
    auto* openClose = rig.control<QPushButton>("OpenClose");
    QTest::mouseClick(openClose, Qt::LeftButton);
    QVERIFY(window.session().isOpen());

    // What a scan and the operator may have left behind.
    window.deviceState().FoundDevices.push_back(DeviceEntry{.address = 5});
    window.appendDeviceListItem(QStringLiteral("Адрес: 5"));
    window.setDeviceListEnabled(true);
    const char* const touched[] = {"n1_addr", "n2_addr", "n3_addr", "new1", "new2", "new3"};
    for (const char* cell : touched) rig.control<QLineEdit>(cell)->setText(QStringLiteral("7"));
    window.setCellText(DigitCell::tempN1, QStringLiteral("9"));
    window.setCellText(DigitCell::hCycle, QStringLiteral("E"));

    QTest::mouseClick(openClose, Qt::LeftButton);
    QVERIFY(!window.session().isOpen());
    std::vector<Expected> expected = closedState();
    for (Expected& row : expected) {
      if (QLatin1String(row.name) == QLatin1String("tempN1")) row.text = QStringLiteral("9");
      if (QLatin1String(row.name) == QLatin1String("hCycle")) row.text = QStringLiteral("E");
    }
    checkState(window, expected, msg::openPortPrompt());
    QCOMPARE(rig.control<QTableWidget>("ListAdress")->rowCount(), 0);
    QVERIFY(window.deviceState().FoundDevices.empty());
  }

  void opensAndClosesAgainAndAgain() {
    WindowRig rig(instantBus({{5}}), asShown());
    auto* openClose = rig.control<QPushButton>("OpenClose");
    for (int round = 0; round < 5; ++round) {
      QTest::mouseClick(openClose, Qt::LeftButton);
      QVERIFY(rig.window->session().isOpen());
      QCOMPARE(openClose->text(), msg::closeCaption());
      QTest::mouseClick(openClose, Qt::LeftButton);
      QVERIFY(!rig.window->session().isOpen());
      QCOMPARE(openClose->text(), msg::openCaption());
    }
    QVERIFY(rig.errors.isEmpty());
  }

  void aPortThatDoesNotOpenChangesNothing_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("missing device") << QStringLiteral("/nonexistent/ttyUSB9");
    QTest::newRow("not a serial device") << QStringLiteral("/dev/null");
  }
  void aPortThatDoesNotOpenChangesNothing() {
    QFETCH(QString, path);
    LineRig rig(PortNames({{"COM1", path.toStdString()}}), asShown());
    const QStringList before = snapshot(*rig.window);
    QTest::mouseClick(rig.control<QPushButton>("OpenClose"), Qt::LeftButton);
    QCOMPARE(rig.errors, QStringList{msg::cannotOpenPort()});
    QCOMPARE(snapshot(*rig.window), before);
    QVERIFY(!rig.window->session().isOpen());
  }

  void aNameThatNamesNoDeviceDoesNotOpen() {
    QTemporaryDir empty;
    LineRig rig(PortNames({}, empty.path().toStdString(), empty.path().toStdString()), asShown());
    rig.control<QComboBox>("Ports")->setCurrentIndex(2);
    QTest::mouseClick(rig.control<QPushButton>("OpenClose"), Qt::LeftButton);
    QCOMPARE(rig.errors, QStringList{msg::cannotOpenPort()});
    QCOMPARE(rig.control<QPushButton>("OpenClose")->text(), msg::openCaption());
  }

  void upDownStepsTimeoutsWithinItsLimits() {
    WindowRig rig(instantBus({{5}}), asShown());
    THeadForm& window = *rig.window;
    QTest::mouseClick(rig.control<QPushButton>("OpenClose"), Qt::LeftButton);
    auto* upDown = rig.control<UpDownSpinner>("UpDown");
    auto* timeouts = rig.control<QLineEdit>("Timeouts");
    QVERIFY(upDown->isEnabled());

    QTest::mouseClick(upDown->downButton(), Qt::LeftButton);
    QCOMPARE(timeouts->text(), QStringLiteral("500"));  // no wrap to the top
    for (int expected = 550; expected <= 10000; expected += 50) {
      QTest::mouseClick(upDown->upButton(), Qt::LeftButton);
      QCOMPARE(timeouts->text(), QString::number(expected));  // and no thousands separator
    }
    QTest::mouseClick(upDown->upButton(), Qt::LeftButton);
    QCOMPARE(timeouts->text(), QStringLiteral("10000"));  // no wrap to the bottom
    QCOMPARE(window.timeoutsValue(), 10000);
    QTest::mouseClick(upDown->downButton(), Qt::LeftButton);
    QCOMPARE(window.timeoutsValue(), 9950);
  }

  void timeoutsIgnoresTypingAndArrowKeys() {
    WindowRig rig(instantBus({{5}}), asShown());
    QTest::mouseClick(rig.control<QPushButton>("OpenClose"), Qt::LeftButton);
    auto* timeouts = rig.control<QLineEdit>("Timeouts");
    auto* upDown = rig.control<UpDownSpinner>("UpDown");
    QTest::mouseClick(upDown->upButton(), Qt::LeftButton);
    timeouts->setFocus();
    QTest::keyClicks(timeouts, QStringLiteral("abc-7"));
    QCOMPARE(timeouts->text(), QStringLiteral("550"));
    for (const auto key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageUp, Qt::Key_PageDown}) {
      QTest::keyClick(timeouts, key);
      QTest::keyClick(rig.window.get(), key);
    }
    QCOMPARE(timeouts->text(), QStringLiteral("550"));
    QCOMPARE(upDown->position(), 550);
    QCOMPARE(upDown->focusPolicy(), Qt::NoFocus);
  }

  void timeoutsKeyFilter_data() {
    QTest::addColumn<QChar>("key");
    QTest::addColumn<bool>("passes");
    QTest::newRow("0") << QChar(u'0') << true;
    QTest::newRow("9") << QChar(u'9') << true;
    QTest::newRow("Backspace") << QChar(8) << true;
    QTest::newRow("Enter") << QChar(13) << true;
    QTest::newRow("letter") << QChar(u'a') << false;
    QTest::newRow("Cyrillic letter") << QChar(u'ж') << false;
    QTest::newRow("minus") << QChar(u'-') << false;
    QTest::newRow("space") << QChar(u' ') << false;
    QTest::newRow("Esc") << QChar(27) << false;
  }
  void timeoutsKeyFilter() {
    QFETCH(QChar, key);
    QFETCH(bool, passes);
    THeadForm window;
    QChar typed = key;
    window.TimeoutsKeyPress(typed);
    QCOMPARE(typed, passes ? key : QChar());
  }

  void windowProperties() {
    LineRig rig(PortNames{}, asShown());
    THeadForm& window = *rig.window;
    QCOMPARE(window.objectName(), QStringLiteral("HeadForm"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Программа для работы с устройствами по RS-485"));
    QCOMPARE(window.size(), QSize(884, 570));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    // Centred at first show, give or take the frame.
    const QPoint offCentre =
        window.geometry().center() - QGuiApplication::primaryScreen()->geometry().center();
    QVERIFY2(offCentre.manhattanLength() <= 10,
             qPrintable(QStringLiteral("%1,%2").arg(offCentre.x()).arg(offCentre.y())));

    auto* status = rig.control<QStatusBar>("Status");
    QCOMPARE(status->height(), 19);
    QCOMPARE(status->geometry().bottom(), window.height() - 1);
    QCOMPARE(status->width(), window.width());
  }

  // Kind, parent, position and size at design size.
  void controlsSitWhereTheLayoutPutsThem_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("place");
    const auto row = [](const char* name, const char* kind, const char* parent, QRect place) {
      QTest::newRow(name) << QString::fromLatin1(kind) << QString::fromLatin1(parent) << place;
    };
    row("PanelPorts", "QFrame", "ClientArea", {0, 0, 217, 553});
    row("InstallPort", "QGroupBox", "PanelPorts", {8, 8, 201, 73});
    row("Ports", "QComboBox", "InstallPort", {8, 30, 89, 27});
    row("OpenClose", "QPushButton", "InstallPort", {104, 30, 89, 27});
    row("UpDown", "rs485::UpDownSpinner", "PanelPorts", {177, 88, 25, 27});
    row("ListAdress", "QTableWidget", "PanelPorts", {8, 152, 200, 137});
    row("n3_addr", "QLineEdit", "PanelPorts", {136, 352, 41, 67});
    row("new1", "QLineEdit", "PanelPorts", {52, 456, 33, 46});
    row("PanelAction", "QFrame", "ClientArea", {216, 0, 669, 553});
    row("middle", "QFrame", "PanelAction", {344, 32, 3, 457});
    row("GroupBox4", "QGroupBox", "PanelAction", {8, 72, 330, 401});
    row("gb_cycle", "QGroupBox", "PanelAction", {352, 359, 307, 114});
    row("readingAll", "QPushButton", "PanelAction", {240, 504, 209, 25});
    row("wFile", "QCheckBox", "PanelAction", {488, 480, 161, 25});
    row("numStepL", "QLineEdit", "GroupBox4", {264, 320, 41, 67});
    row("n4_temp", "QLineEdit", "gb_temp", {160, 32, 41, 67});
    row("llTime", "QLineEdit", "gb_time", {216, 32, 41, 67});
    row("hCycle", "QLineEdit", "gb_cycle", {152, 32, 41, 67});
    // Labels sized to their text: only the corner counts.
    row("Label1", "QLabel", "PanelPorts", {8, 322, 0, 0});
    row("lUnit", "QLabel", "GroupBox4", {213, 48, 0, 0});
    row("Label3", "QLabel", "GroupBox4", {192, 324, 0, 0});
  }
  void controlsSitWhereTheLayoutPutsThem() {
    QFETCH(QString, kind);
    QFETCH(QString, parent);
    QFETCH(QRect, place);
    LineRig rig(PortNames{}, asShown());
    const QWidget* widget = rig.window->findChild<QWidget*>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(widget != nullptr);
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), kind);
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    if (place.width() == 0) {
      QCOMPARE(widget->pos(), place.topLeft());
      QVERIFY(widget->width() > 0);
    } else {
      QCOMPARE(widget->geometry(), place);
    }
  }

  void fontsAreThoseOfTheLayout_data() {
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<bool>("bold");
    const auto row = [](const char* name, const char* family, int pixels, bool bold) {
      QTest::newRow(name) << QString::fromLatin1(family) << pixels << bold;
    };
    row("HeadForm", "MS Sans Serif", 11, false);
    row("StatusText", "MS Sans Serif", 11, false);
    row("OpenClose", "Times New Roman", 16, false);
    row("Ports", "Times New Roman", 16, false);
    row("ListAdress", "MS Sans Serif", 15, false);
    row("Status", "MS Sans Serif", 11, false);
    row("lCurrent", "Times New Roman", 21, true);
    row("n1_addr", "Verdana", 48, true);
    row("lCycle", "Verdana", 48, true);
    row("new1", "Verdana", 32, true);
    row("lUnit", "Verdana", 37, true);
    row("Label3", "Verdana", 43, true);
  }
  void fontsAreThoseOfTheLayout() {
    QFETCH(QString, family);
    QFETCH(int, pixels);
    QFETCH(bool, bold);
    LineRig rig(PortNames{}, asShown());
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    const QWidget* widget =
        name == QLatin1String("HeadForm") ? rig.window.get() : rig.window->findChild<QWidget*>(name);
    QVERIFY(widget != nullptr);
    QCOMPARE(widget->font().family(), family);
    QCOMPARE(widget->font().pixelSize(), pixels);
    QCOMPARE(widget->font().bold(), bold);
  }

  // Rendered, not just requested: maroon and green glyphs on the button face.
  void digitCellsShowTheirColours_data() {
    QTest::addColumn<QColor>("colour");
    QTest::newRow("tempN1") << QColor(0x80, 0, 0);
    QTest::newRow("n1_temp") << QColor(0, 0x80, 0);
    QTest::newRow("n1_addr") << QColor(0, 0x80, 0);
    QTest::newRow("new2") << QColor(0x80, 0, 0);
    QTest::newRow("lUnit") << QColor(0x80, 0, 0);
    QTest::newRow("Label4") << QColor(0, 0x80, 0);
  }
  void digitCellsShowTheirColours() {
    QFETCH(QColor, colour);
    WindowRig rig(instantBus({{5}}), asShown());
    QTest::mouseClick(rig.control<QPushButton>("OpenClose"), Qt::LeftButton);
    auto* widget = rig.window->findChild<QWidget*>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(widget != nullptr);
    const QImage image = widget->grab().toImage();
    int coloured = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) coloured += QColor(image.pixel(x, y)) == colour ? 1 : 0;
    }
    QVERIFY2(coloured > 30, qPrintable(QString::number(coloured)));
    if (qobject_cast<QLineEdit*>(widget) != nullptr) {
      const QColor face = widget->palette().color(QPalette::Button);
      QCOMPARE(QColor(image.pixel(image.width() / 2, 4)), face);
    }
  }

  // A cell the operator cannot use looks it: grey, not green.
  void disabledAddressCellsGreyOut() {
    LineRig rig(PortNames{}, asShown());
    const QImage image = rig.control("n1_addr")->grab().toImage();
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) QVERIFY(QColor(image.pixel(x, y)) != QColor(0, 0x80, 0));
    }
  }

  void smallScreensGetTheLayoutAtNineTenths_data() {
    QTest::addColumn<int>("screenWidth");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("openClose");
    QTest::addColumn<QRect>("tempN1");
    QTest::addColumn<QList<int>>("fonts");  // OpenClose, tempN1, new1, lCurrent, ListAdress, window
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("statusHeight");
    QTest::newRow("1280") << 1280 << QSize(884, 570) << QRect(104, 30, 89, 27) << QRect(8, 32, 41, 67)
                          << QList<int>{16, 48, 32, 21, 15, 11} << 194 << 19;
    // Outer width 792 with the layout's frame of 8; height 570 * 0.9.
    QTest::newRow("1279") << 1279 << QSize(784, 513) << QRect(94, 27, 80, 24) << QRect(7, 29, 37, 60)
                          << QList<int>{14, 43, 29, 19, 14, 10} << 174 << 17;
  }
  void smallScreensGetTheLayoutAtNineTenths() {
    QFETCH(int, screenWidth);
    QFETCH(QSize, size);
    QFETCH(QRect, openClose);
    QFETCH(QRect, tempN1);
    QFETCH(QList<int>, fonts);
    QFETCH(int, column);
    QFETCH(int, statusHeight);
    LineRig rig(PortNames{}, asShown(screenWidth));
    THeadForm& window = *rig.window;
    QCOMPARE(window.size(), size);
    QCOMPARE(window.size().width() + THeadForm::kFrameWidth, screenWidth < 1280 ? 792 : 892);
    QCOMPARE(rig.control("OpenClose")->geometry(), openClose);
    QCOMPARE(rig.control("tempN1")->geometry(), tempN1);
    const QList<int> seen = {
        rig.control("OpenClose")->font().pixelSize(),  rig.control("tempN1")->font().pixelSize(),
        rig.control("new1")->font().pixelSize(),       rig.control("lCurrent")->font().pixelSize(),
        rig.control("ListAdress")->font().pixelSize(), window.font().pixelSize()};
    QCOMPARE(seen, fonts);
    const QHeaderView* header = rig.control<QTableWidget>("ListAdress")->horizontalHeader();
    QCOMPARE(header->sectionSize(0), column);
    QCOMPARE(header->minimumSectionSize(), column);
    QCOMPARE(header->maximumSectionSize(), column);
    QCOMPARE(rig.control("Status")->height(), statusHeight);
    // The top-left corner stays where centring the design size put it.
    LineRig designSize(PortNames{}, asShown());
    QCOMPARE(window.pos(), designSize.window->pos());
  }

  void theDeviceListIsAOneColumnReport() {
    LineRig rig(PortNames{}, asShown());
    THeadForm& window = *rig.window;
    auto* list = rig.control<QTableWidget>("ListAdress");
    QCOMPARE(list->columnCount(), 1);
    QCOMPARE(list->horizontalHeaderItem(0)->text(), QStringLiteral("Результаты сканирования"));
    QVERIFY(list->showGrid());
    QCOMPARE(list->horizontalHeader()->font(), list->font());
    QVERIFY(!list->verticalHeader()->isVisible());
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!(list->focusPolicy() & Qt::TabFocus));
    QCOMPARE(list->palette().color(QPalette::Inactive, QPalette::Highlight),
             list->palette().color(QPalette::Active, QPalette::Highlight));

    window.appendDeviceListItem(QStringLiteral("Адрес: 3"));
    window.appendDeviceListItem(QStringLiteral("Адрес: 12"));
    QCOMPARE(window.selectedDeviceListRow(), -1);
    QCOMPARE(window.deviceListItemCaption(1), QStringLiteral("Адрес: 12"));
    QVERIFY(!(list->item(1, 0)->flags() & Qt::ItemIsEditable));
    list->selectRow(1);
    QCOMPARE(window.selectedDeviceListRow(), 1);
    window.clearDeviceList();
    QCOMPARE(list->rowCount(), 0);
    QCOMPARE(window.selectedDeviceListRow(), -1);
  }

  void timersAreOffAndPrecise() {
    THeadForm window;
    QCOMPARE(window.readTimer.interval(), 1000);
    QCOMPARE(window.dotTimer.interval(), 500);
    QVERIFY(!window.readTimer.isActive());
    QVERIFY(!window.dotTimer.isActive());
    QCOMPARE(window.readTimer.timerType(), Qt::PreciseTimer);
    QCOMPARE(window.dotTimer.timerType(), Qt::PreciseTimer);
  }

  // Switching on a running timer must not restart its period.
  void switchingOnARunningTimerLeavesItRunning() {
    THeadForm window;
    window.setReadTimerActive(true);
    window.setDotTimerActive(true);
    const int readId = window.readTimer.timerId();
    const int dotId = window.dotTimer.timerId();
    window.setReadTimerActive(true);
    window.setDotTimerActive(true);
    QCOMPARE(window.readTimer.timerId(), readId);
    QCOMPARE(window.dotTimer.timerId(), dotId);
    window.setReadTimerInterval(750);
    QCOMPARE(window.readTimer.interval(), 750);
    window.setReadTimerActive(false);
    window.setDotTimerActive(false);
    QVERIFY(!window.readTimerActive());
    QVERIFY(!window.dotTimer.isActive());
  }

  void initialAllWritesEveryDisplayCellInOrder() {
    LineRig rig(PortNames{}, asShown());
    THeadForm& window = *rig.window;
    const QStringList order = {"tempN1",   "tempN2",   "tempN3", "tempN4", "n1_temp",  "n2_temp",
                               "n3_temp",  "n4_temp",  "hoursH", "hoursL", "minutesH", "minutesL",
                               "hhTime",   "hlTime",   "lhTime", "llTime", "sectionH", "sectionL",
                               "numStepH", "numStepL", "hCycle", "mCycle", "lCycle"};
    QStringList written;
    for (const QString& name : order) {
      window.setCellText(cellNamed(name), QStringLiteral("7"));
      connect(rig.control<QLineEdit>(name.toLatin1().constData()), &QLineEdit::textChanged, this,
              [&written, name] { written << name; });
    }
    window.setSetpointGroupsEnabled(true);
    window.setAddressDigit(0, QStringLiteral("2"));
    window.setDotVisible(false);
    auto* labelDot = rig.control<QLabel>("dot");

    window.initialAll();
    QCOMPARE(written, order);
    for (const QString& name : order) QCOMPARE(window.cellText(cellNamed(name)), QStringLiteral("0"));
    for (const char* group : {"gb_temp", "gb_time", "gb_cycle"}) {
      QVERIFY2(!rig.control(group)->isEnabledTo(rig.control("PanelAction")), group);
    }
    // Nothing else.
    QCOMPARE(window.addressDigit(0), QStringLiteral("2"));
    QVERIFY(labelDot->isHidden());
    QCOMPARE(labelDot->text(), QStringLiteral(":"));
  }

  void enDisPanelSwitchesTheLeftPanelInOrder() {
    WindowRig rig(instantBus({{5}}), asShown());
    THeadForm& window = *rig.window;
    QTest::mouseClick(rig.control<QPushButton>("OpenClose"), Qt::LeftButton);
    const QStringList order = {"InstallPort", "Timeouts", "UpDown",  "Find",    "new1",         "new2",
                               "new3",        "n1_addr",  "n2_addr", "n3_addr", "InstallAdress"};
    QStringList changed;
    EventRecorder recorder(&changed);
    for (const QString& name : order) rig.control(name.toLatin1().constData())->installEventFilter(&recorder);
    window.setDeviceListEnabled(true);

    window.enDisPanel(false);
    QCOMPARE(changed, order);
    for (const char* name :
         {"InstallPort", "Timeouts", "UpDown", "Find", "new1", "new2", "new3", "InstallAdress"}) {
      QVERIFY2(!rig.control(name)->isEnabled(), name);
    }
    for (const char* name : {"n1_addr", "n2_addr", "n3_addr"}) {
      QVERIFY2(rig.control<QLineEdit>(name)->isEnabled(), name);
      QVERIFY2(rig.control<QLineEdit>(name)->isReadOnly(), name);
    }
    // Their own flags are untouched; they follow their group.
    auto* group = rig.control("InstallPort");
    QVERIFY(!rig.control("OpenClose")->isEnabled());
    QVERIFY(rig.control("OpenClose")->isEnabledTo(group));
    QVERIFY(!rig.control("Ports")->isEnabledTo(group));
    for (const char* name : {"ListAdress", "PanelAction", "readingAll", "wFile"}) {
      QVERIFY2(rig.control(name)->isEnabled(), name);
    }

    changed.clear();
    window.enDisPanel(true);
    QCOMPARE(changed, order);
    std::vector<Expected> expected = openState();
    for (Expected& row : expected) {
      if (QLatin1String(row.name) == QLatin1String("ListAdress")) row.enabled = true;
    }
    checkState(window, expected, msg::searchPrompt());
    for (const char* name : {"n1_addr", "n2_addr", "n3_addr"}) {
      QVERIFY2(!rig.control<QLineEdit>(name)->isReadOnly(), name);
    }
  }

  // The display: a click or a key on a digit cell changes nothing, even on
  // cells that are not read-only and with their groups switched on.
  // Tab and Shift+Tab are no typed characters: they move the focus along
  // the tab order of the digit editors instead of being filtered away.
  void tabMovesThroughTheDigitEditors() {
    WindowRig rig(instantBus({{5}}), asShown());
    QTest::mouseClick(rig.control<QPushButton>("OpenClose"), Qt::LeftButton);
    auto* n1 = rig.control<QLineEdit>("n1_addr");
    n1->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), n1);
    QTest::keyClick(n1, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("n2_addr"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), n1);
    auto* new3 = rig.control<QLineEdit>("new3");
    new3->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), new3);
    QTest::keyClick(new3, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("InstallAdress"));
  }

  // Before a scan has found anything the list is off: a click in it does
  // nothing, in particular it writes no status text.
  void aDisabledListTakesNoClick() {
    LineRig rig(PortNames{}, asShown());
    auto* list = rig.control<QTableWidget>("ListAdress");
    QVERIFY(!list->isEnabled());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(20, 60));
    QCOMPARE(rig.window->statusText(), msg::openPortPrompt());
  }

  void displayCellsIgnoreClicksAndKeys() {
    WindowRig rig(instantBus({{5}}), asShown());
    THeadForm& window = *rig.window;
    QTest::mouseClick(rig.control<QPushButton>("OpenClose"), Qt::LeftButton);
    window.setSetpointGroupsEnabled(true);
    rig.control("GroupBox4")->setEnabled(true);
    QGuiApplication::clipboard()->setText(QStringLiteral("5"));
    for (const char* name : {"tempN1", "hhTime", "lCycle", "numStepH"}) {
      auto* cell = rig.control<QLineEdit>(name);
      QVERIFY2(cell->isEnabled(), name);
      QTest::mouseClick(cell, Qt::LeftButton);
      QTest::mouseDClick(cell, Qt::LeftButton);
      QTest::mouseClick(cell, Qt::MiddleButton);
      cell->setFocus();
      QTest::keyClicks(cell, QStringLiteral("4a"));
      for (const auto key : {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Space}) QTest::keyClick(cell, key);
      QTest::keyClick(cell, Qt::Key_V, Qt::ControlModifier);
      QCOMPARE(cell->text(), QStringLiteral("0"));
    }
    QVERIFY(!rig.control<QLineEdit>("hhTime")->isReadOnly());
    QVERIFY(rig.errors.isEmpty());
  }

  // Only the digit cells of the right panel are cells; a value outside them
  // or a wrong index is an error, not a silent no-op.
  void cellsByNameAndIndex() {
    THeadForm window;
    window.setCellText(DigitCell::minutesL, QStringLiteral("9"));
    QCOMPARE(window.form().minutesL->text(), QStringLiteral("9"));
    QVERIFY(!digitCellNamed("n1_addr") && !digitCellNamed("dot"));
    const auto notACell = static_cast<DigitCell>(kDigitCells.size());
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, window.cellText(notACell));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, window.setCellText(notACell, QStringLiteral("1")));
    window.setAddressDigit(2, QStringLiteral("4"));
    QCOMPARE(window.form().n3_addr->text(), QStringLiteral("4"));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, window.addressDigit(3));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, window.newAddressDigit(-1));
  }

  void editFlagsOfTheLayout() {
    THeadForm window;
    const Ui::THeadForm& form = window.form();
    QVERIFY(form.Timeouts->isReadOnly());
    QCOMPARE(form.Timeouts->maxLength(), 5);
    QVERIFY(!form.Ports->isEditable());
    QCOMPARE(form.Ports->count(), 5);
    QCOMPARE(form.Ports->itemText(4), QStringLiteral("COM5"));
    QStringList faults;
    const auto check = [&faults](const QLineEdit* cell, bool readOnly) {
      if (cell->maxLength() != 1 || cell->isReadOnly() != readOnly) faults << cell->objectName();
    };
    for (const QLineEdit* cell : {form.tempN1, form.tempN4, form.hoursL, form.minutesH, form.sectionL,
                                  form.numStepH, form.n1_temp, form.n4_temp}) {
      check(cell, true);
    }
    for (const QLineEdit* cell : {form.hhTime, form.llTime, form.hCycle, form.lCycle, form.n1_addr,
                                  form.n3_addr, form.new1, form.new3}) {
      check(cell, false);
    }
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char(' '))));
  }

  void dotTimerBlinksTheColon() {
    THeadForm window;
    QVERIFY(window.dotVisible());
    window.dotTimerTimer();
    QVERIFY(!window.dotVisible());
    window.dotTimerTimer();
    QVERIFY(window.dotVisible());
  }

  // Both queues are purged before the waiting bytes are counted.
  void readTimerTimerPurgesBeforeCounting() {
    RawPty pty;
    LineRig rig(PortNames({{"COM1", pty.slavePath()}}), asShown());
    THeadForm& window = *rig.window;
    window.deviceState().PendingCommand = 2;  // neither the scan's nor the poll's tick
    window.readTimerTimer();                  // no port: the tick still runs
    QTest::mouseClick(rig.control<QPushButton>("OpenClose"), Qt::LeftButton);
    QVERIFY(window.session().isOpen());
    QVERIFY(pty.write({0x05, 0x01, 0x00}));
    QTRY_COMPARE(window.exchange().inputQueued(), 3);
    window.readTimerTimer();
    QCOMPARE(window.exchange().inputQueued(), 0);
  }

  void aFailedWriteShowsTheTransmitError() {
    WindowRig rig(instantBus({{5}}), asShown());
    THeadForm& window = *rig.window;
    QTest::mouseClick(rig.control<QPushButton>("OpenClose"), Qt::LeftButton);
    QVERIFY(window.session().isOpen());
    QVERIFY(rig.sim->lineGone());
    window.deviceState().PendingCommand = 1;
    window.exchange().sendRequest(BusRequest::probe(5));
    QTRY_COMPARE(window.statusText(), msg::sendFailed());
    QTest::mouseClick(rig.control<QPushButton>("OpenClose"), Qt::LeftButton);
    QVERIFY(!window.session().isOpen());
  }

  void errorBoxMovesTheFocusAfterwards_data() {
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("focused");
    QTest::newRow("Find") << int(FocusTarget::Find) << QStringLiteral("Find");
    QTest::newRow("n1_addr") << int(FocusTarget::n1_addr) << QStringLiteral("n1_addr");
    QTest::newRow("new1") << int(FocusTarget::new1) << QStringLiteral("new1");
  }
  void errorBoxMovesTheFocusAfterwards() {
    QFETCH(int, target);
    QFETCH(QString, focused);
    WindowRig rig(instantBus({{5}}), asShown());
    THeadForm& window = *rig.window;
    QTest::mouseClick(rig.control<QPushButton>("OpenClose"), Qt::LeftButton);
    rig.control("OpenClose")->setFocus();
    QString focusDuringBox;
    window.setErrorBox([&window, &focusDuringBox](const QString&) {
      focusDuringBox = window.focusWidget() != nullptr ? window.focusWidget()->objectName() : QString();
    });
    window.showError(msg::enterDeviceAddress(), static_cast<FocusTarget>(target));
    QCOMPARE(focusDuringBox, QStringLiteral("OpenClose"));
    QCOMPARE(window.focusWidget()->objectName(), focused);
  }

  void portTooltipsNameTheDevicesNow() {
    QTemporaryDir dev;
    const std::string root = dev.path().toStdString();
    LineRig rig(PortNames({{"COM3", "/dev/pts/77"}}, root, root), asShown());
    auto* ports = rig.control<QComboBox>("Ports");
    QCOMPARE(ports->itemData(0, Qt::ToolTipRole).toString(), QStringLiteral("нет устройства"));
    QCOMPARE(ports->itemData(2, Qt::ToolTipRole).toString(), QStringLiteral("/dev/pts/77"));
    QCOMPARE(ports->toolTip(), QStringLiteral("нет устройства"));

    std::ofstream(root + "/ttyUSB0").put('\n');  // an adapter plugged in after the start
    QTest::mouseClick(ports, Qt::LeftButton);
    ports->hidePopup();
    const QString adapter = dev.filePath(QStringLiteral("ttyUSB0"));
    QCOMPARE(ports->itemData(0, Qt::ToolTipRole).toString(), adapter);
    QCOMPARE(ports->toolTip(), adapter);
    ports->setCurrentIndex(2);
    QCOMPARE(ports->toolTip(), QStringLiteral("/dev/pts/77"));
  }

  void anErrorInAHandlerIsShownAndTheWindowGoesOn() {
    // A find whose question fails: the error escapes the answer's handler.
    struct FailingDialog : ConfirmDialog {
      ScanAnswer askMode() const override { return ScanAnswer::AskAgain; }
      void setAskMode(ScanAnswer) override {}
      void ask(const QString&) override { throw std::runtime_error("the dialog is gone"); }
    } dialog;
    LineRig rig(PortNames{}, asShown());
    rig.window->setConfirmDialog(&dialog);
    Exchange& exchange = rig.window->exchange();
    rig.window->deviceState().PendingCommand = 1;
    exchange.sendRequest(BusRequest::probe(5));  // no port: the request is only in flight
    std::uint8_t ack[] = {0x05, 0x01, 0x00, 0, 0};
    appendCrc(ack, 3);
    exchange.acceptBlock(ack);
    QCOMPARE(rig.errors, QStringList{QStringLiteral("the dialog is gone")});
    QCOMPARE(exchange.frame().size(), 0);  // the engine cleared up all the same
    QCOMPARE(rig.window->deviceState().FoundDevices.size(), std::size_t{1});
  }

  void hand_overRunsOnTheWindowThreadAndNeverInline() {
    QObject target;
    QtUiExecutor executor(&target);
    bool ran = false;
    executor.post([&ran] { ran = true; });
    QVERIFY(!ran);
    QTRY_VERIFY(ran);

    std::atomic<QThread*> ranOn{nullptr};
    std::thread worker([&] { executor.post([&ranOn] { ranOn = QThread::currentThread(); }); });
    worker.join();
    QTRY_COMPARE(ranOn.load(), QThread::currentThread());
  }

 private:
  // Records the first enabled or read-only change of each watched widget.
  class EventRecorder : public QObject {
   public:
    explicit EventRecorder(QStringList* seen) : seen_(seen) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
      if ((event->type() == QEvent::EnabledChange || event->type() == QEvent::ReadOnlyChange) &&
          !seen_->contains(watched->objectName())) {
        *seen_ << watched->objectName();
      }
      return false;
    }

   private:
    QStringList* seen_;
  };
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
