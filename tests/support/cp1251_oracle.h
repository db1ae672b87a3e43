#pragma once

#include <iconv.h>

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace rs485::test {

// The text in Windows code page 1251, converted by the C library rather
// than by the converter under test.
inline QByteArray cp1251(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  iconv_t cd = iconv_open("CP1251", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) qFatal("iconv has no CP1251");
  QByteArray out(utf8.size() + 1, '\0');
  char* in = const_cast<char*>(utf8.constData());
  std::size_t inLeft = static_cast<std::size_t>(utf8.size());
  char* to = out.data();
  std::size_t outLeft = static_cast<std::size_t>(out.size());
  if (iconv(cd, &in, &inLeft, &to, &outLeft) == static_cast<std::size_t>(-1)) qFatal("not in CP1251");
  iconv_close(cd);
  out.resize(out.size() - static_cast<qsizetype>(outLeft));
  return out;
}

}  // namespace rs485::test
