#include "i18n/catalogue.h"

#include <QCoreApplication>
#include <QTranslator>

namespace rs485::i18n {

QString messagesLocale() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty()) return value;
  }
  return {};
}

bool isRussian(const QString& locale) {
  if (!locale.startsWith(QLatin1String("ru"))) return false;
  return locale.size() == 2 || QStringLiteral("_.@").contains(locale.at(2));
}

bool loadCatalogue(QTranslator& translator, const QString& locale) {
  return isRussian(locale) && translator.load(QStringLiteral(":/i18n/rs485_ru.qm"));
}

void installCatalogue(const QString& locale) {
  // One translator for the whole process: an application that ends takes
  // its list of translators with it, not the translator.
  static QTranslator translator;
  if (translator.isEmpty() && !loadCatalogue(translator, locale)) return;
  QCoreApplication::installTranslator(&translator);
}

}  // namespace rs485::i18n
