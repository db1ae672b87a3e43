#pragma once

// The simulator's messages are English. A program with a catalogue hands its
// translation in before it reads the command line; without one the texts
// stay as they are.

#include <initializer_list>
#include <string>

// Marks a text for the catalogue: the translation tools look for this
// marker. The same definition as Qt's, which may come after it.
#ifndef QT_TRANSLATE_NOOP
#define QT_TRANSLATE_NOOP(scope, x) x
#endif

namespace rs485::sim {

// The translation of an English text, in UTF-8.
using Translation = std::string (*)(const char* english);

// Set once, before any message is made.
void setTranslation(Translation translation);

// `english` translated, then %1..%9 replaced by `args` in their order.
std::string message(const char* english, std::initializer_list<std::string> args = {});

// Hands the catalogue of the user's locale to setTranslation(), where the
// program has one.
void useLocaleLanguage();

}  // namespace rs485::sim
