#include "monitor/cp1251.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>

namespace rs485 {

namespace {

class Converter {
 public:
  Converter() : cd_(iconv_open("CP1251", "UTF-8")) {
    if (cd_ == invalid()) throw std::runtime_error("iconv: no conversion from UTF-8 to CP1251");
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  QByteArray convert(const QByteArray& utf8) {
    QByteArray out;
    // One byte of output per character at most: never more than the input.
    out.resize(utf8.size());
    char* in = const_cast<char*>(utf8.constData());
    std::size_t inLeft = static_cast<std::size_t>(utf8.size());
    char* dst = out.data();
    std::size_t outLeft = static_cast<std::size_t>(out.size());
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    while (inLeft > 0) {
      if (iconv(cd_, &in, &inLeft, &dst, &outLeft) != static_cast<std::size_t>(-1)) break;
      if (errno != EILSEQ && errno != EINVAL) break;
      // Not in the code page (or a broken sequence): one '?' for the whole
      // UTF-8 sequence, then go on.
      *dst++ = '?';
      --outLeft;
      std::size_t skip = 1;
      while (skip < inLeft && (static_cast<unsigned char>(in[skip]) & 0xC0u) == 0x80u) ++skip;
      in += skip;
      inLeft -= skip;
    }
    out.truncate(static_cast<qsizetype>(dst - out.data()));
    return out;
  }

 private:
  static iconv_t invalid() { return reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1)); }
  iconv_t cd_;
};

}  // namespace

QByteArray toCp1251(const QString& text) {
  // The user-interface thread is the only writer; one descriptor serves it.
  thread_local Converter converter;
  return converter.convert(text.toUtf8());
}

}  // namespace rs485
