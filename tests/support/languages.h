#pragma once

// The programs' messages as a user of a given locale reads them.

#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace rs485::test {

// Locales whose users read the messages in English, and in Russian.
inline const QStringList kEnglishLocales = {QStringLiteral("C"), QStringLiteral("en_US.UTF-8")};
inline const QString kRussianLocale = QStringLiteral("ru_RU.UTF-8");

// `base` with every locale variable replaced by LC_ALL=`locale`; the
// compiled locales come from LOCPATH, which CTest sets.
inline QProcessEnvironment withLocale(const QString& locale,
                                      QProcessEnvironment base = QProcessEnvironment::systemEnvironment()) {
  for (const QString& name : base.keys()) {
    if (name.startsWith(QLatin1String("LC_")) || name == QLatin1String("LANG") ||
        name == QLatin1String("LANGUAGE"))
      base.remove(name);
  }
  base.insert(QStringLiteral("LC_ALL"), locale);
  return base;
}

// An English sentence: four words of Latin letters in a row. Option names,
// paths and value names do not make one.
inline bool hasEnglishSentence(const QString& text) {
  static const QRegularExpression sentence(QStringLiteral("\\b[A-Za-z]+( [A-Za-z]+){3}\\b"));
  return sentence.match(text).hasMatch();
}

inline bool hasCyrillic(const QString& text) {
  static const QRegularExpression cyrillic(QStringLiteral("\\p{Cyrillic}"));
  return cyrillic.match(text).hasMatch();
}

// Russian, with no English sentence left untranslated.
inline bool readsRussian(const QString& text) { return hasCyrillic(text) && !hasEnglishSentence(text); }

}  // namespace rs485::test
