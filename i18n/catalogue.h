#pragma once

// The language of the programs' messages. The texts in the sources are
// English; under a Russian locale the Russian catalogue translates them.
// The window's own texts are Russian as they stand and never pass through it.

#include <QString>

class QTranslator;

namespace rs485::i18n {

// The locale that names the language of messages, as the C library chooses
// it: LC_ALL, else LC_MESSAGES, else LANG; empty when none is set.
QString messagesLocale();

// True for a Russian locale name: "ru", "ru_RU", "ru_UA.UTF-8", "ru_RU@euro".
bool isRussian(const QString& locale);

// Loads the Russian catalogue into `translator` when `locale` is Russian;
// false otherwise (the texts stay English).
bool loadCatalogue(QTranslator& translator, const QString& locale = messagesLocale());

// Installs the catalogue into the running application when `locale` is
// Russian. Safe to call again for a later application.
void installCatalogue(const QString& locale = messagesLocale());

}  // namespace rs485::i18n
