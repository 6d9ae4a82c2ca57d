#include "common/Translate.h"

namespace tellamo {

namespace {
Translator& CurrentTranslator() {
    static Translator translator;
    return translator;
}
} // namespace

QString TranslateText(const QString& literal) {
    const Translator& translator = CurrentTranslator();
    return translator ? translator(literal) : literal;
}

void SetTranslator(Translator translator) {
    CurrentTranslator() = std::move(translator);
}

} // namespace tellamo
