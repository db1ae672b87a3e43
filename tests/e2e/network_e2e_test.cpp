// The window through ser2net, a serial device server that is not ours, in
// front of the simulated bus: in raw TCP and in RFC 2217 mode.

#include <QTest>

#include "tests/e2e/display_text.h"
#include "tests/e2e/sample_bus.h"
#include "tests/support/window_rig.h"

using namespace rs485;
using namespace rs485::test;

class NetworkE2eTest : public QObject {
  Q_OBJECT

 private slots:
  void theWindowFindsAndShowsDevicesThroughSer2net_data() {
    QTest::addColumn<int>("mode");
    QTest::newRow("raw TCP") << static_cast<int>(Ser2net::Mode::Raw);
    QTest::newRow("RFC 2217") << static_cast<int>(Ser2net::Mode::Rfc2217);
  }

  // Device 17's frame holds 0x0D 0x0A (33,8 °C), 0x0D 0x00 (55 h 28 min) and
  // 0xFF (-12,3 °C): its boxes show every field as it left the device.
  void theWindowFindsAndShowsDevicesThroughSer2net() {
    if (!Ser2net::installed()) QSKIP("ser2net is not installed (scripts/install-deps)");
    QFETCH(int, mode);
    sim::SimOptions options = bus({3, 17, 42});
    options.devices[1].fixedReadings = readingsOf(0, {.temperature = 0x0D0A,
                                                      .timeMinutes = 0x0D00,
                                                      .step = 13,
                                                      .cycles = 42,
                                                      .numStep = 12,
                                                      .setTemperature = -123,
                                                      .setTimeMinutes = 605,
                                                      .statusByte = 0});
    RigSetup setup;
    setup.throughSer2net = static_cast<Ser2net::Mode>(mode);
    WindowRig rig(options, setup);
    QVERIFY2(rig.serverUp, qPrintable(rig.server->output()));
    QVERIFY(rig.ready);

    QVERIFY2(rig.openPort(), rig.fault());
    QVERIFY2(rig.scanFor({3, 17, 42}), rig.fault());
    QVERIFY(rig.select(17));
    rig.click("readingAll");
    QCOMPARE(rig.window->form().readingAll->text(), msg::stopCaption());
    QVERIFY2(rig.pollTick(), rig.fault());
    QCOMPARE(rig.lastRequest.address, 17);
    QCOMPARE(display(rig), QStringLiteral("3338 5528 13 12 042 -123 1005"));
    for (const int address : {42, 3}) {
      QVERIFY2(rig.pollTick(), rig.fault());
      QCOMPARE(rig.lastRequest.address, address);
      QCOMPARE(display(rig), QStringLiteral("3338 5528 13 12 042 -123 1005"));
    }
    rig.stopAndClose();
  }
};

QTEST_MAIN(NetworkE2eTest)
#include "network_e2e_test.moc"
