// The scan, the device list, the digit editors and the address change, seen
// from the window while a simulated bus answers.

#include <QApplication>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <algorithm>

#include "tests/e2e/sample_bus.h"
#include "tests/support/cp1251_oracle.h"
#include "tests/support/window_rig.h"
#include "tests/support/window_states.h"

using namespace rs485;
using namespace rs485::test;

Q_DECLARE_METATYPE(rs485::test::Answer)
Q_DECLARE_METATYPE(QList<rs485::test::Answer>)
Q_DECLARE_METATYPE(rs485::sim::Faults)

namespace {

QStringList captions(const QList<int>& addresses) {
  QStringList list;
  for (const int address : addresses) list << QStringLiteral("Адрес: %1").arg(address);
  return list;
}

QList<int> sorted(std::vector<int> addresses) {
  std::sort(addresses.begin(), addresses.end());
  return QList<int>(addresses.begin(), addresses.end());
}

// Types one key at whatever has the focus, as the operator's keyboard does.
void typeAtFocus(const QString& keys) {
  for (const QChar key : keys) {
    QWidget* focused = QApplication::focusWidget();
    QVERIFY(focused != nullptr);
    if (key == QChar(8)) {
      QTest::keyClick(focused, Qt::Key_Backspace);
    } else {
      QTest::keyClick(focused, key.toLatin1());
    }
  }
}

QString focusName() {
  const QWidget* focused = QApplication::focusWidget();
  return focused != nullptr ? focused->objectName() : QString();
}

}  // namespace

class ScanE2eTest : public QObject {
  Q_OBJECT

 private slots:
  void anEmptyBusIsProbedOneToTwoHundredFortySeven() {
    WindowRig rig(bus({}));
    QVERIFY(rig.ready);
    QVERIFY2(rig.openPort(), rig.fault());
    rig.click("Find");
    RS485_VERIFY_STATE(*rig.window, scanningState(false));
    QCOMPARE(rig.window->statusText(), msg::scanningFirst());
    QVERIFY(rig.window->readTimer.isActive());
    QCOMPARE(rig.window->readTimer.interval(), 500);
    QVERIFY(rig.exchange().transmitParked());  // the first probe waits for the first tick

    for (int address = 1; address <= kLastBusAddress; ++address) {
      QVERIFY2(rig.scanTick(), rig.fault());
      const QString progress = address < kLastBusAddress ? msg::scanning(address) : msg::scanFinished(0);
      QCOMPARE(rig.window->statusText(), progress);
    }

    QVERIFY(!rig.window->readTimer.isActive());
    const auto probes = rig.requests();
    QCOMPARE(probes.size(), std::size_t{247});
    for (int address = 1; address <= kLastBusAddress; ++address) {
      const sim::FrameRecord& probe = probes[static_cast<std::size_t>(address - 1)];
      QCOMPARE(probe.address, address);
      QVERIFY(probe.bytes == requestBytes(address, CmdProbe));
      QCOMPARE(probe.verdict, std::string("no-device"));
    }
    RS485_VERIFY_STATE(*rig.window, portOpenState(false));
    QCOMPARE(rig.list()->rowCount(), 0);
    QVERIFY(rig.dialog->asked.empty());
  }

  void theQuestionAfterEachFind_data() {
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<QList<int>>("asked");
    QTest::addColumn<QList<int>>("listed");
    QTest::addColumn<int>("probes");
    QTest::newRow("Да each time") << QList<Answer>{Answer::Yes, Answer::Yes, Answer::Yes}
                                  << QList<int>{3, 17, 42} << QList<int>{3, 17, 42} << 247;
    QTest::newRow("Да with Не спрашивать")
        << QList<Answer>{Answer::YesDontAsk} << QList<int>{3} << QList<int>{3, 17, 42} << 247;
    QTest::newRow("Нет ends at once")
        << QList<Answer>{Answer::Yes, Answer::No} << QList<int>{3, 17} << QList<int>{3, 17} << 17;
    QTest::newRow("the close box goes on and asks again")
        << QList<Answer>{Answer::CloseBox, Answer::Yes, Answer::No} << QList<int>{3, 17, 42}
        << QList<int>{3, 17, 42} << 42;
    QTest::newRow("Esc is Нет") << QList<Answer>{Answer::Escape} << QList<int>{3} << QList<int>{3} << 3;
    QTest::newRow("Enter at once is Нет")
        << QList<Answer>{Answer::Enter} << QList<int>{3} << QList<int>{3} << 3;
  }
  void theQuestionAfterEachFind() {
    QFETCH(QList<Answer>, answers);
    QFETCH(QList<int>, asked);
    QFETCH(QList<int>, listed);
    QFETCH(int, probes);
    WindowRig rig(bus({3, 17, 42}));
    QVERIFY2(rig.openPort(), rig.fault());
    for (const Answer answer : answers) rig.dialog->script({answer});
    rig.click("Find");

    // Between finds the scan runs with the controls of its state.
    QVERIFY2(rig.scanThrough(5), rig.fault());
    if (rig.window->readTimer.isActive()) {
      RS485_VERIFY_STATE(*rig.window, scanningState(false));
      QCOMPARE(rig.window->statusText(), msg::scanning(5));
    }
    QVERIFY2(rig.scanToEnd(), rig.fault());

    QCOMPARE(rig.dialog->askedAddresses(), asked);
    QCOMPARE(rig.dialog->unexpected, 0);
    QCOMPARE(rig.dialog->answersLeft(), std::size_t{0});
    for (int i = 0; i < asked.size(); ++i) {
      const Question& question = rig.dialog->asked[static_cast<std::size_t>(i)];
      const int address = asked[i];
      QCOMPARE(question.text, msg::foundDeviceQuestion(address));
      QVERIFY(question.checkBoxClear);
      QVERIFY(question.focusOnNo);
      QVERIFY(question.readTimerOff);
      QCOMPARE(question.listed.value(question.listed.size() - 1), QStringLiteral("Адрес: %1").arg(address));
      QCOMPARE(question.status, msg::scanning(address));
    }
    QCOMPARE(rig.listed(), captions(listed));
    QCOMPARE(static_cast<int>(rig.sim->requestsSeen()), probes);
    QCOMPARE(rig.requestedAddresses().last(), probes);

    // Back to Port open, the list usable since it holds devices.
    QVERIFY(!rig.window->readTimer.isActive());
    QCOMPARE(rig.window->statusText(), msg::scanFinished(static_cast<int>(listed.size())));
    RS485_VERIFY_STATE(*rig.window, portOpenState(true));
    QCOMPARE(rig.state().FoundDevices.size(), static_cast<std::size_t>(listed.size()));
  }

  void notAskingLastsOneScanAndASecondScanEmptiesTheList() {
    WindowRig rig(bus({3, 17, 42}));
    QVERIFY2(rig.findDevicesThrough(50), rig.fault());
    QCOMPARE(rig.dialog->askedAddresses(), QList<int>{3});
    QCOMPARE(rig.listed(), captions({3, 17, 42}));
    QVERIFY(rig.list()->isEnabled());

    rig.dialog->script({Answer::No});
    rig.click("Find");
    QCOMPARE(rig.list()->rowCount(), 0);
    QVERIFY(rig.state().FoundDevices.empty());
    QVERIFY(rig.list()->isEnabled());  // it keeps its flag
    QCOMPARE(rig.window->statusText(), msg::scanningFirst());
    QVERIFY2(rig.scanToEnd(), rig.fault());
    QCOMPARE(rig.dialog->askedAddresses(), (QList<int>{3, 3}));
    QCOMPARE(rig.listed(), captions({3}));
    QCOMPARE(rig.window->statusText(), msg::scanFinished(1));
  }

  // Answers that are no find: the entry takes the address the answer names,
  // and a bad status, a bad CRC or a wrong length list nothing.
  void answersThatAreNoFind_data() {
    QTest::addColumn<sim::Faults>("faults");
    QTest::addColumn<QList<int>>("listed");
    sim::Faults otherAddress;
    otherAddress.wrongAddress = 1;
    otherAddress.otherAddress = 99;
    sim::Faults badStatus;
    badStatus.badStatus = 1;
    sim::Faults badCrc;
    badCrc.badCrc = 1;
    sim::Faults longer;
    longer.extraBytes = 1;
    QTest::newRow("another address named") << otherAddress << QList<int>{3, 99, 42};
    QTest::newRow("status other than 0") << badStatus << QList<int>{3, 42};
    QTest::newRow("bad CRC") << badCrc << QList<int>{3, 42};
    QTest::newRow("wrong length") << longer << QList<int>{3, 42};
  }
  void answersThatAreNoFind() {
    QFETCH(sim::Faults, faults);
    QFETCH(QList<int>, listed);
    sim::SimOptions options = bus({3, 17, 42});
    options.devices[1].faults = faults;
    WindowRig rig(options);
    QVERIFY2(rig.openPort(), rig.fault());
    rig.dialog->script({Answer::Yes, Answer::Yes, Answer::Yes});
    rig.click("Find");
    QVERIFY2(rig.scanThrough(45), rig.fault());
    rig.click("Find");
    QCOMPARE(rig.requests()[16].verdict, std::string("answered"));
    QCOMPARE(rig.dialog->askedAddresses(), listed);
    QCOMPARE(rig.listed(), captions(listed));
    QCOMPARE(rig.window->statusText(), msg::scanFinished(static_cast<int>(listed.size())));
  }

  // An answer landing at the moment of a tick: the tick sends nothing, the
  // next quiet tick probes the same address.
  void bytesWaitingAtATickHoldTheProbeBack() {
    sim::SimOptions options = bus({3});
    options.turnaround = 1s;  // device 3 answers one second late
    WindowRig rig(options);
    QVERIFY2(rig.openPort(), rig.fault());
    rig.holdReceive();  // its answer stays in the queue
    rig.click("Find");
    for (int address = 1; address <= 3; ++address) QVERIFY2(rig.tickAndSend(), rig.fault());
    QCOMPARE(rig.window->statusText(), msg::scanning(3));

    rig.line->bytesAfterNextPurge();
    rig.window->readTimerTimer();
    QCOMPARE(rig.line->queuedBeforeArmedPurge(), 0);  // the answer came after the purge
    QVERIFY(rig.exchange().inputQueued() > 0);
    QVERIFY(rig.exchange().transmitParked());  // nothing was released for sending
    QCOMPARE(rig.window->bus().scan.ScanAddress(), 4);
    QCOMPARE(rig.window->statusText(), msg::scanning(3));

    QVERIFY2(rig.tickAndSend(), rig.fault());
    QCOMPARE(rig.window->statusText(), msg::scanning(4));
    QCOMPARE(rig.requestedAddresses(), (QList<int>{1, 2, 3, 4}));
    QCOMPARE(rig.exchange().inputQueued(), 0);
  }

  void stopWhileAnAnswerIsOnItsWay_data() {
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<int>("counted");
    QTest::newRow("Да") << Answer::Yes << 0;
    QTest::newRow("Нет") << Answer::No << 1;
  }
  void stopWhileAnAnswerIsOnItsWay() {
    QFETCH(Answer, answer);
    QFETCH(int, counted);
    WindowRig rig(bus({3}));
    QVERIFY2(rig.openPort(), rig.fault());
    rig.holdReceive();
    rig.click("Find");
    for (int address = 1; address <= 3; ++address) QVERIFY2(rig.tickAndSend(), rig.fault());
    QVERIFY(rig.sim->waitForAnswers(1, 5s));
    QVERIFY(waitUntil([&] { return rig.exchange().inputQueued() == kStatusResponseLength; }));

    rig.click("Find");
    QCOMPARE(rig.window->form().Find->text(), msg::findCaption());
    QCOMPARE(rig.window->statusText(), msg::scanFinished(0));
    QVERIFY(!rig.window->readTimer.isActive());

    rig.dialog->script({answer});
    rig.releaseReceive();
    QVERIFY(waitUntil([&] { return rig.state().FoundDevices.size() == 1; }));
    QCOMPARE(rig.dialog->askedAddresses(), QList<int>{3});
    QCOMPARE(rig.listed(), captions({3}));
    // The scan does not start again.
    QVERIFY(!rig.window->readTimer.isActive());
    QCOMPARE(rig.window->statusText(), msg::scanFinished(counted));
    RS485_VERIFY_STATE(*rig.window, portOpenState(counted > 0));
    QCOMPARE(rig.sim->requestsSeen(), std::size_t{3});
  }

  void theDeviceAt247AnswersAfterTheEndMessage_data() {
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<int>("counted");
    QTest::newRow("Да") << Answer::Yes << 0;
    QTest::newRow("Нет") << Answer::No << 1;
  }
  void theDeviceAt247AnswersAfterTheEndMessage() {
    QFETCH(Answer, answer);
    QFETCH(int, counted);
    WindowRig rig(bus({247}));
    QVERIFY2(rig.openPort(), rig.fault());
    rig.dialog->script({answer});
    rig.click("Find");
    int ticks = 0;
    QVERIFY2(rig.scanToEnd(&ticks), rig.fault());
    QCOMPARE(ticks, 247);

    QCOMPARE(rig.dialog->askedAddresses(), QList<int>{247});
    const Question& question = rig.dialog->asked.front();
    QCOMPARE(question.status, msg::scanFinished(0));  // the end message came first
    QVERIFY(question.readTimerOff);
    QCOMPARE(rig.listed(), captions({247}));
    QVERIFY(!rig.window->readTimer.isActive());
    QCOMPARE(rig.window->statusText(), msg::scanFinished(counted));
    RS485_VERIFY_STATE(*rig.window, portOpenState(counted > 0));
    QCOMPARE(rig.sim->requestsSeen(), std::size_t{247});

    if (counted > 0) {
      rig.clickRow(0);
      QCOMPARE(rig.address(), QStringLiteral("247"));
      QCOMPARE(rig.window->statusText(), msg::deviceSelected(QStringLiteral("Адрес: 247")));
    }
  }

  void aClickOnARowSelectsTheDevice_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("digits");
    QTest::newRow("5") << 0 << QStringLiteral("005");
    QTest::newRow("47") << 1 << QStringLiteral("047");
    QTest::newRow("247") << 2 << QStringLiteral("247");
  }
  void aClickOnARowSelectsTheDevice() {
    QFETCH(int, row);
    QFETCH(QString, digits);
    WindowRig rig(bus({5, 47, 247}));
    QVERIFY2(rig.findDevicesThrough(247), rig.fault());
    QCOMPARE(rig.listed(), captions({5, 47, 247}));
    rig.clickRow(row);
    QCOMPARE(rig.window->selectedDeviceListRow(), row);
    QCOMPARE(rig.address(), digits);
    QCOMPARE(rig.window->statusText(), msg::deviceSelected(rig.list()->item(row, 0)->text()));

    // Below the rows nothing is selected: the count, the editors as they were.
    const QRect last = rig.list()->visualItemRect(rig.list()->item(2, 0));
    QTest::mouseClick(rig.list()->viewport(), Qt::LeftButton, {},
                      QPoint(last.center().x(), last.bottom() + 20));
    QCOMPARE(rig.window->selectedDeviceListRow(), -1);
    QCOMPARE(rig.window->statusText(), msg::foundCount(3));
    QCOMPARE(rig.address(), digits);
  }

  void theDigitEditorsFilterTheKeysAndMoveTheFocus() {
    WindowRig rig(bus({3, 17, 42}));
    QVERIFY2(rig.findDevicesThrough(45), rig.fault());

    auto* n1 = rig.control<QLineEdit>("n1_addr");
    QTest::mouseClick(n1, Qt::LeftButton);
    QCOMPARE(focusName(), QStringLiteral("n1_addr"));
    QCOMPARE(n1->selectedText(), QStringLiteral("0"));
    typeAtFocus(QStringLiteral("3x-"));
    QCOMPARE(rig.address(), QStringLiteral("000"));
    QCOMPARE(focusName(), QStringLiteral("n1_addr"));
    typeAtFocus(QStringLiteral("2"));
    QCOMPARE(focusName(), QStringLiteral("n2_addr"));
    QCOMPARE(rig.control<QLineEdit>("n2_addr")->selectedText(), QStringLiteral("0"));
    typeAtFocus(QStringLiteral("9"));
    QCOMPARE(focusName(), QStringLiteral("n3_addr"));
    typeAtFocus(QStringLiteral("9"));
    QCOMPARE(focusName(), QStringLiteral("readingAll"));
    QCOMPARE(rig.address(), QStringLiteral("299"));

    // 299 is refused by the operation that uses it, and nothing goes out.
    const std::size_t sent = rig.sim->requestsSeen();
    rig.click("readingAll");
    QCOMPARE(rig.errors, QStringList{msg::enterDeviceAddress()});
    QCOMPARE(focusName(), QStringLiteral("n1_addr"));
    QCOMPARE(rig.control<QPushButton>("readingAll")->text(), msg::readingAllCaption());
    QVERIFY(!rig.window->readTimer.isActive());

    // The new address: 3 refused in new1, then 2, 4, 8 accepted.
    QTest::mouseClick(rig.control("new1"), Qt::LeftButton);
    QCOMPARE(rig.control<QLineEdit>("new1")->selectedText(), QStringLiteral("0"));
    typeAtFocus(QStringLiteral("3"));
    QCOMPARE(focusName(), QStringLiteral("new1"));
    typeAtFocus(QStringLiteral("2"));
    QCOMPARE(focusName(), QStringLiteral("new2"));
    typeAtFocus(QStringLiteral("4"));
    QCOMPARE(focusName(), QStringLiteral("new3"));
    typeAtFocus(QStringLiteral("8"));
    QCOMPARE(focusName(), QStringLiteral("InstallAdress"));
    QCOMPARE(rig.newAddress(), QStringLiteral("248"));
    rig.clickRow(1);
    rig.click("InstallAdress");
    QCOMPARE(rig.errors, (QStringList{msg::enterDeviceAddress(), msg::wrongNewAddress()}));
    QCOMPARE(focusName(), QStringLiteral("new1"));

    // An editor emptied by Backspace holds no number.
    QTest::mouseClick(rig.control("n2_addr"), Qt::LeftButton);
    typeAtFocus(QString(QChar(8)));
    QCOMPARE(rig.address(), QStringLiteral("07"));
    rig.click("readingAll");
    QCOMPARE(rig.errors.last(), msg::notAnInteger(QString()));
    QCOMPARE(rig.control<QPushButton>("readingAll")->text(), msg::readingAllCaption());

    QVERIFY(rig.exchange().transmitParked());
    QCOMPARE(rig.sim->requestsSeen(), sent);
  }

  void refusedAddressChangesSendNothing_data() {
    QTest::addColumn<int>("row");  // the list row chosen; -1: the editors as the scan left them
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("focus");
    QTest::newRow("the same address")
        << 1 << QStringLiteral("017") << msg::wrongNewAddress() << QStringLiteral("new1");
    QTest::newRow("new address 248") << 1 << QStringLiteral("248") << msg::wrongNewAddress()
                                     << QStringLiteral("new1");
    QTest::newRow("new address 0") << 1 << QStringLiteral("000") << msg::wrongNewAddress()
                                   << QStringLiteral("new1");
    QTest::newRow("present address 0")
        << -1 << QStringLiteral("100") << msg::enterDeviceAddress() << QStringLiteral("n1_addr");
  }
  void refusedAddressChangesSendNothing() {
    QFETCH(int, row);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    WindowRig rig(bus({3, 17, 42}));
    QVERIFY2(rig.findDevicesThrough(45), rig.fault());
    if (row >= 0) rig.clickRow(row);
    QTest::mouseClick(rig.control("new1"), Qt::LeftButton);
    typeAtFocus(typed);
    QCOMPARE(rig.newAddress(), typed);
    const std::size_t sent = rig.sim->requestsSeen();
    rig.click("InstallAdress");
    QCOMPARE(rig.errors, QStringList{message});
    QCOMPARE(focusName(), focus);
    QVERIFY(rig.exchange().transmitParked());
    QCOMPARE(rig.sim->requestsSeen(), sent);
    QCOMPARE(rig.window->deviceState().PendingCommand, int{CmdProbe});
    QCOMPARE(rig.listed(), captions({3, 17, 42}));
  }

  void aRefusalLeavesEverythingAsItWas() {
    WindowRig rig(bus({3, 17, 42}));
    QVERIFY2(rig.findDevicesThrough(45), rig.fault());
    rig.clickRow(1);
    QTest::mouseClick(rig.control("new1"), Qt::LeftButton);
    typeAtFocus(QStringLiteral("100"));
    sim::Faults refuse;
    refuse.badStatus = 1;
    rig.sim->setFaults(17, refuse);
    QVERIFY2(rig.send([&] { rig.click("InstallAdress"); }), rig.fault());
    QCOMPARE(rig.window->statusText(), msg::deviceSelected(QStringLiteral("Адрес: 17")));
    QCOMPARE(rig.listed(), captions({3, 17, 42}));
    QCOMPARE(rig.window->selectedDeviceListRow(), 1);
    QCOMPARE(sorted(rig.sim->addresses()), (QList<int>{3, 17, 42}));

    // Asked again without the fault, the device takes the address.
    rig.sim->setFaults(17, sim::Faults{});
    QVERIFY2(rig.send([&] { rig.click("InstallAdress"); }), rig.fault());
    QCOMPARE(rig.window->statusText(), msg::addressChanged());
    QCOMPARE(rig.listed(), captions({3, 100, 42}));
  }

  // Typed by hand: the request goes out, the list stays, the address is taken.
  void aChangeOfAnAddressNotInTheList() {
    WindowRig rig(bus({3, 17, 42, 60}));
    QVERIFY2(rig.findDevicesThrough(45), rig.fault());
    QTest::mouseClick(rig.control("n1_addr"), Qt::LeftButton);
    typeAtFocus(QStringLiteral("060"));
    QTest::mouseClick(rig.control("new1"), Qt::LeftButton);
    typeAtFocus(QStringLiteral("070"));
    QVERIFY2(rig.send([&] { rig.click("InstallAdress"); }), rig.fault());
    QCOMPARE(rig.window->statusText(), msg::addressChanged());
    QCOMPARE(rig.listed(), captions({3, 17, 42}));
    QCOMPARE(rig.state().SelectedAddress, 70);
    QCOMPARE(sorted(rig.sim->addresses()), (QList<int>{3, 17, 42, 70}));
  }

  // Device 17 names itself 3: two entries of 3, and the first one is changed.
  void onlyTheFirstOfTwoEqualEntriesIsChanged() {
    sim::SimOptions options = bus({3, 17, 42});
    options.devices[1].faults.wrongAddress = 1;
    options.devices[1].faults.otherAddress = 3;
    WindowRig rig(options);
    QVERIFY2(rig.findDevicesThrough(45), rig.fault());
    QCOMPARE(rig.listed(), captions({3, 3, 42}));
    rig.clickRow(1);
    QCOMPARE(rig.address(), QStringLiteral("003"));
    QTest::mouseClick(rig.control("new1"), Qt::LeftButton);
    typeAtFocus(QStringLiteral("100"));
    QVERIFY2(rig.send([&] { rig.click("InstallAdress"); }), rig.fault());
    QCOMPARE(rig.window->statusText(), msg::addressChanged());
    QCOMPARE(rig.listed(), captions({100, 3, 42}));
  }

  // The acknowledgement of an address change is the change's own answer:
  // the device polled just before it gains no answer and no fresh time.
  void anAcknowledgementIsNoAnswerOfTheDevicePolledBefore() {
    WindowRig rig(bus({3, 7}));
    QVERIFY2(rig.findDevicesThrough(10), rig.fault());
    QVERIFY(rig.select(3));
    QVERIFY(rig.startPoll());
    for (int i = 0; i < 3 && rig.lastRequest.address != 7; ++i) QVERIFY2(rig.tickAndSend(), rig.fault());
    QCOMPARE(rig.lastRequest.address, 7);
    QVERIFY(rig.stopPoll());
    const DeviceHealth::Figures seven = rig.window->deviceHealth().figures(7);
    const DeviceHealth::Figures three = rig.window->deviceHealth().figures(3);
    QVERIFY(seven.accepted > 0);

    rig.now = rig.now.addSecs(5);
    QVERIFY(rig.select(3));
    QTest::mouseClick(rig.control("new1"), Qt::LeftButton);
    typeAtFocus(QStringLiteral("005"));
    QVERIFY2(rig.send([&] { rig.click("InstallAdress"); }), rig.fault());
    QCOMPARE(rig.window->statusText(), msg::addressChanged());

    const DeviceHealth::Figures after = rig.window->deviceHealth().figures(7);
    QCOMPARE(after.accepted, seven.accepted);
    QCOMPARE(after.lastAnswer, seven.lastAnswer);
    QCOMPARE(rig.window->deviceHealth().figures(3).sent, three.sent + 1);
    QCOMPARE(rig.window->deviceHealth().figures(3).accepted, three.accepted + 1);
  }

  void aNewAddressIsTheOneTheDeviceAnswersTo() {
    WindowRig rig(bus({3, 17, 42}));
    QVERIFY2(rig.findDevicesThrough(45), rig.fault());
    rig.clickRow(1);
    QCOMPARE(rig.address(), QStringLiteral("017"));
    QTest::mouseClick(rig.control("new1"), Qt::LeftButton);
    typeAtFocus(QStringLiteral("100"));
    QCOMPARE(focusName(), QStringLiteral("InstallAdress"));

    const std::size_t sent = rig.sim->requestsSeen();
    QTest::keyClick(rig.control("InstallAdress"), Qt::Key_Space);
    QVERIFY(rig.sim->waitForRequests(sent + 1, 5s));
    const TxFrame change = buildAddressChangeRequest(17, 100);
    QVERIFY(rig.requests().back().bytes ==
            std::vector<std::uint8_t>(change.begin(), change.begin() + kAddressChangeRequestLength));
    QVERIFY(waitUntil([&] { return rig.window->statusText() == msg::addressChanged(); }));
    QVERIFY(rig.errors.isEmpty());

    QCOMPARE(rig.listed(), captions({3, 100, 42}));
    QCOMPARE(rig.window->selectedDeviceListRow(), -1);
    QCOMPARE(rig.address(), QStringLiteral("017"));
    QCOMPARE(rig.newAddress(), QStringLiteral("100"));
    QCOMPARE(rig.state().SelectedAddress, 100);
    QCOMPARE(sorted(rig.sim->addresses()), (QList<int>{3, 42, 100}));
    QVERIFY(waitUntil([&] { return rig.exchange().transmitParked(); }));

    // Another scan: nobody answers at 17 any more, the device answers at 100.
    const std::size_t scanStart = rig.sim->requestsSeen();
    rig.dialog->script({Answer::YesDontAsk});
    rig.click("Find");
    QVERIFY2(rig.scanThrough(100), rig.fault());
    rig.click("Find");
    const auto probes = rig.requests();
    QCOMPARE(probes.size() - scanStart, std::size_t{100});
    QCOMPARE(probes[scanStart + 16].address, 17);
    QCOMPARE(probes[scanStart + 16].verdict, std::string("no-device"));
    QCOMPARE(probes[scanStart + 99].address, 100);
    QCOMPARE(probes[scanStart + 99].verdict, std::string("answered"));
    QCOMPARE(rig.listed(), captions({3, 42, 100}));
    QCOMPARE(rig.window->statusText(), msg::scanFinished(3));
  }
};

QTEST_MAIN(ScanE2eTest)
#include "scan_e2e_test.moc"
