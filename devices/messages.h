#pragma once

#include <QString>

// Every text the program shows, in one place. It sits in the lowest layer
// that speaks Qt strings so that the scan, the poll and the window all take
// their texts from here.
namespace rs485::msg {

inline QString openPortPrompt() { return QStringLiteral("Откройте порт к которому подключены приборы"); }
inline QString searchPrompt() { return QStringLiteral("Произведите поиск устройств"); }
inline QString scanningFirst() { return QStringLiteral("Сканируется адрес: 1 из 247"); }
inline QString scanning(int address) {
  return QStringLiteral("Сканируется адрес: ") + QString::number(address) + QStringLiteral(" из 247");
}
inline QString scanFinished(int count) {
  return QStringLiteral("Сканирование завершено. Найдено ") + QString::number(count) +
         QStringLiteral(" устройств");
}
inline QString deviceSelected(const QString& caption) {
  return QStringLiteral("Выбрано устройство с адресом: ") + caption;
}
inline QString foundCount(int count) {
  return QStringLiteral("Найдено ") + QString::number(count) + QStringLiteral(" устройств");
}
inline QString addressChanged() { return QStringLiteral("Адрес успешно изменен"); }
inline QString pollStarted() { return QStringLiteral("Считывание текущих показаний температуры"); }
inline QString pollStopped() { return QStringLiteral("Опрос прерван"); }
inline QString sendFailed() { return QStringLiteral("Ошибка передачи"); }

// Message boxes.
inline QString cannotOpenPort() { return QStringLiteral("Невозможно открыть порт"); }
inline QString enterDeviceAddress() { return QStringLiteral("Введите адрес устройства"); }
inline QString wrongNewAddress() { return QStringLiteral("Неправильно введен адрес"); }
inline QString notAnInteger(const QString& text) {
  return QStringLiteral("'%1' is not a valid integer value").arg(text);
}
inline QString errorCaption() { return QStringLiteral("Error"); }

// The confirmation dialog.
inline QString foundDeviceQuestion(int address) {
  return QStringLiteral("Найден прибор с адресом: ") + QString::number(address) +
         QStringLiteral(". Продолжить поиск?");
}

// Captions of the two-way buttons, idle and active.
inline QString openCaption() { return QStringLiteral("Открыть"); }
inline QString closeCaption() { return QStringLiteral("Закрыть"); }
inline QString findCaption() { return QStringLiteral("Поиск"); }
inline QString stopCaption() { return QStringLiteral("[Стоп]"); }
inline QString readingAllCaption() { return QStringLiteral("Чтение текущих показаний"); }
inline QString recordCaption() { return QStringLiteral("Записать в файл"); }
inline QString stopRecordingCaption() { return QStringLiteral("Остановить запись"); }

inline QString deviceCaptionPrefix() { return QStringLiteral("Адрес: "); }

}  // namespace rs485::msg
