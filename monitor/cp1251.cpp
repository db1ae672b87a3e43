#include "monitor/cp1251.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace rs485 {

namespace {

class Converter {
 public:
  Converter(const char* to, const char* from, QByteArray replacement)
      : cd_(iconv_open(to, from)),
        replacement_(std::move(replacement)),
        fromUtf8_(std::string_view(from) == "UTF-8") {
    if (cd_ == invalid()) {
      throw std::runtime_error(std::string("iconv: no conversion from ") + from + " to " + to);
    }
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // `outPerIn`: output bytes per input byte at most.
  QByteArray convert(const QByteArray& input, int outPerIn) {
    QByteArray out;
    out.resize(input.size() * outPerIn);
    char* in = const_cast<char*>(input.constData());
    std::size_t inLeft = static_cast<std::size_t>(input.size());
    char* dst = out.data();
    std::size_t outLeft = static_cast<std::size_t>(out.size());
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    while (inLeft > 0) {
      if (iconv(cd_, &in, &inLeft, &dst, &outLeft) != static_cast<std::size_t>(-1)) break;
      if (errno != EILSEQ && errno != EINVAL) break;
      // Not in the target (or a broken sequence): one replacement for the
      // whole UTF-8 sequence, then go on.
      dst = std::copy(replacement_.cbegin(), replacement_.cend(), dst);
      outLeft -= static_cast<std::size_t>(replacement_.size());
      std::size_t skip = 1;
      while (fromUtf8_ && skip < inLeft && (static_cast<unsigned char>(in[skip]) & 0xC0u) == 0x80u) ++skip;
      in += skip;
      inLeft -= skip;
    }
    out.truncate(static_cast<qsizetype>(dst - out.data()));
    return out;
  }

 private:
  static iconv_t invalid() { return reinterpret_cast<iconv_t>(static_cast<std::intptr_t>(-1)); }
  iconv_t cd_;
  QByteArray replacement_;
  bool fromUtf8_;
};

}  // namespace

QByteArray toCp1251(const QString& text) {
  // One descriptor per thread: an iconv descriptor keeps state.
  thread_local Converter converter("CP1251", "UTF-8", "?");
  return converter.convert(text.toUtf8(), 1);
}

QString fromCp1251(const QByteArray& bytes) {
  // The one byte the code page leaves unassigned (0x98) reads U+FFFD.
  thread_local Converter converter("UTF-8", "CP1251", "\xEF\xBF\xBD");
  return QString::fromUtf8(converter.convert(bytes, 3));
}

}  // namespace rs485
