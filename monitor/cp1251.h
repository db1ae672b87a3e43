#pragma once

#include <QByteArray>
#include <QString>

namespace rs485 {

// The text in Windows code page 1251, no byte-order mark. A character the
// code page lacks becomes '?'.
QByteArray toCp1251(const QString& text);
// Bytes of code page 1251 as text.
QString fromCp1251(const QByteArray& bytes);

}  // namespace rs485
