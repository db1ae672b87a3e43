#include "ui/chart_menu.h"

#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// "График" on a row of the device list starts rs485-chart on the file of
// that row's device; here a stand-in program on PATH notes its arguments.
class ChartMenuTest : public QObject {
  Q_OBJECT

 private slots:
  void captionsName_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("address");
    QTest::newRow("address") << QStringLiteral("Адрес: 5") << 5;
    QTest::newRow("three digits") << QStringLiteral("Адрес: 247") << 247;
    QTest::newRow("other text") << QStringLiteral("5") << -1;
    QTest::newRow("no number") << QStringLiteral("Адрес: ") << -1;
  }
  void captionsName() {
    QFETCH(QString, caption);
    QFETCH(int, address);
    QCOMPARE(rs485::addressOfCaption(caption), address);
  }

  void chartStartsOnTheFileOfTheRow() {
    QTemporaryDir dir;
    const QString noted = dir.filePath(QStringLiteral("arguments"));
    const QString fake = dir.filePath(QStringLiteral("rs485-chart"));
    {
      QFile script(fake);
      QVERIFY(script.open(QIODevice::WriteOnly));
      script.write(
          ("#!/bin/sh\nprintf '%s' \"$1\" > '" + noted + ".tmp' && mv '" + noted + ".tmp' '" + noted + "'\n")
              .toUtf8());
      script.close();
      QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    qputenv("PATH", dir.path().toUtf8() + ":" + qgetenv("PATH"));
    QCOMPARE(rs485::chartProgram(), fake);

    QTableWidget list(2, 1);
    list.setItem(0, 0, new QTableWidgetItem(QStringLiteral("Адрес: 3")));
    list.setItem(1, 0, new QTableWidgetItem(QStringLiteral("Адрес: 17")));
    list.resize(200, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    rs485::installChartMenu(
        &list, [&dir](int address) { return dir.filePath(QStringLiteral("file of %1.txt").arg(address)); });
    QStringList offered;
    QTimer::singleShot(0, this, [&offered] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (menu == nullptr) return;
      for (QAction* action : menu->actions()) offered << action->text();
      menu->actions().front()->trigger();
      menu->close();
    });
    const QRect second = list.visualItemRect(list.item(1, 0));
    emit list.customContextMenuRequested(second.center());
    QCOMPARE(offered, QStringList{QStringLiteral("График")});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(noted), 10000);
    QFile arguments(noted);
    QVERIFY(arguments.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(arguments.readAll()), dir.filePath(QStringLiteral("file of 17.txt")));
  }
};

QTEST_MAIN(ChartMenuTest)
#include "chart_menu_test.moc"
