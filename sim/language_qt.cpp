// rs485-sim in a build with Qt: its texts come from the catalogue of the
// user's locale.
#include <QTranslator>

#include "i18n/catalogue.h"
#include "sim/text.h"

namespace rs485::sim {

namespace {
QTranslator catalogue;

std::string translated(const char* english) {
  const QString text = catalogue.translate("rs485-sim", english);
  return text.isEmpty() ? std::string(english) : text.toStdString();
}
}  // namespace

void useLocaleLanguage() {
  if (i18n::loadCatalogue(catalogue)) setTranslation(translated);
}

}  // namespace rs485::sim
