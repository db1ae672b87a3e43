// Writes what this build's code page conversion makes of every character and
// every byte, and the header line of a recording file, for the Windows build
// to be compared with under wine (scripts/windows-port-tests):
//
//   cp1251_reference FOLDER
//
// FOLDER/to_cp1251.bin    one byte per UTF-16 unit 0x0000..0xFFFF ('?' for
//                         the surrogates, which are no characters alone)
// FOLDER/from_cp1251.bin  one UTF-16LE unit per byte 0x00..0xFF
// FOLDER/header.bin       the header of device 17's recording file
#include <QDir>
#include <QFile>
#include <QString>
#include <cstdio>

#include "monitor/cp1251.h"
#include "monitor/recording.h"

namespace {

bool write(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: cp1251_reference FOLDER\n");
    return 2;
  }
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  QByteArray encoded;
  for (char16_t unit = 0;; ++unit) {
    const QByteArray bytes =
        QChar::isSurrogate(unit) ? QByteArray("?") : rs485::toCp1251(QString(QChar(unit)));
    if (bytes.size() != 1) {
      std::fprintf(stderr, "U+%04X gave %d bytes\n", static_cast<unsigned>(unit),
                   static_cast<int>(bytes.size()));
      return 1;
    }
    encoded += bytes;
    if (unit == 0xFFFF) break;
  }
  QByteArray decoded;
  for (int byte = 0; byte < 256; ++byte) {
    const QString text = rs485::fromCp1251(QByteArray(1, static_cast<char>(byte)));
    if (text.size() != 1) {
      std::fprintf(stderr, "byte %02X gave %d units\n", static_cast<unsigned>(byte),
                   static_cast<int>(text.size()));
      return 1;
    }
    const char16_t unit = text[0].unicode();
    decoded += static_cast<char>(unit & 0xFF);
    decoded += static_cast<char>(unit >> 8);
  }
  const bool written =
      write(folder.filePath(QStringLiteral("to_cp1251.bin")), encoded) &&
      write(folder.filePath(QStringLiteral("from_cp1251.bin")), decoded) &&
      write(folder.filePath(QStringLiteral("header.bin")), rs485::toCp1251(rs485::recordingHeader(17)));
  if (!written) std::fprintf(stderr, "cannot write into %s\n", argv[1]);
  return written ? 0 : 1;
}
