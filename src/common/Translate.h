#pragma once

#include <functional>

#include <QString>

namespace tellamo {

// Every user-visible literal that the program composes passes through TranslateText just before
// it is shown. Until a translator is installed (the language changer does that when a
// translation file is named) it returns the literal unchanged.
QString TranslateText(const QString& literal);

// Marks a literal that reaches TranslateText from a table, so that the check of the shipped
// translations finds it too; returns it unchanged.
constexpr const char* Translatable(const char* literal) {
    return literal;
}

using Translator = std::function<QString(const QString&)>;
// Installs the translator; an empty function restores the identity. Window thread only.
void SetTranslator(Translator translator);

} // namespace tellamo
