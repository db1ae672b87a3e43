// Renders the main window in each state it reaches, and the dialog, to PNG
// files so that the layout can be looked at: render-window [DIRECTORY].

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <iostream>

#include "devices/messages.h"
#include "sim/sim_server.h"
#include "tests/support/sim_bus.h"
#include "tests/support/window_rig.h"
#include "ui/attention.h"
#include "ui_Main.h"

using namespace rs485;

namespace {

bool save(QWidget& widget, const QDir& directory, const QString& name) {
  QCoreApplication::processEvents();
  const QString path = directory.filePath(name + QStringLiteral(".png"));
  const bool saved = widget.grab().save(path);
  std::cout << (saved ? "wrote " : "could not write ") << path.toStdString() << '\n';
  return saved;
}

// Digits as a poll of a device would leave them, to see the display filled.
void fillDisplay(THeadForm& window) {
  const std::pair<const char*, const char*> cells[] = {
      {"tempN1", "0"},   {"tempN2", "2"},   {"tempN3", "3"},   {"tempN4", "5"},   {"hoursH", "0"},
      {"hoursL", "1"},   {"minutesH", "3"}, {"minutesL", "7"}, {"sectionH", "0"}, {"sectionL", "3"},
      {"numStepH", "0"}, {"numStepL", "7"}, {"n1_temp", "0"},  {"n2_temp", "6"},  {"n3_temp", "5"},
      {"n4_temp", "0"},  {"hhTime", "0"},   {"hlTime", "2"},   {"lhTime", "4"},   {"llTime", "5"},
      {"hCycle", "0"},   {"mCycle", "1"},   {"lCycle", "2"}};
  for (const auto& [name, text] : cells) window.setCellText(*digitCellNamed(name), QString::fromLatin1(text));
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  const QStringList arguments = QApplication::arguments();
  QDir directory(arguments.size() > 1 ? arguments[1] : QStringLiteral("window-shots"));
  if (!directory.mkpath(QStringLiteral("."))) {
    std::cerr << "render-window: cannot create " << directory.path().toStdString() << '\n';
    return 1;
  }
  bool saved = true;

  {
    test::WindowRig rig(test::instantBus({{5}}), test::asShown());
    THeadForm& window = *rig.window;
    saved &= save(window, directory, QStringLiteral("1-port-closed"));

    window.form().OpenClose->click();
    if (!rig.errors.isEmpty()) {
      std::cerr << "render-window: " << rig.errors.join(QLatin1Char(' ')).toStdString() << '\n';
      return 1;
    }
    saved &= save(window, directory, QStringLiteral("2-port-open"));

    window.appendDeviceListItem(msg::deviceCaptionPrefix() + QStringLiteral("5"));
    window.appendDeviceListItem(msg::deviceCaptionPrefix() + QStringLiteral("12"));
    window.setDeviceListEnabled(true);
    window.form().ListAdress->selectRow(0);
    window.setAddressDigit(2, QStringLiteral("5"));
    window.setStatus(msg::deviceSelected(msg::deviceCaptionPrefix() + QStringLiteral("5")));
    fillDisplay(window);
    saved &= save(window, directory, QStringLiteral("3-port-open-devices-and-digits"));

    window.form().OpenClose->click();
    saved &= save(window, directory, QStringLiteral("4-port-closed-again"));
  }
  {
    test::LineRig small(PortNames{}, test::asShown(THeadForm::kSmallScreenWidth - 1));
    fillDisplay(*small.window);
    saved &= save(*small.window, directory, QStringLiteral("5-screen-1279"));
  }
  {
    TAttention attention;
    QTimer::singleShot(0, &attention, [&] {
      saved &= save(attention, directory, QStringLiteral("6-attention"));
      attention.done(0);
    });
    attention.ask(msg::foundDeviceQuestion(5));
  }
  return saved ? 0 : 1;
}
