#pragma once

#include <QTranslator>

namespace qbk {

// Gives the standard buttons of message boxes and button boxes their Russian texts ("Да",
// "Нет", "Отмена"...), which Qt otherwise shows in English unless its own translation
// catalogues are installed beside the program.
class StandardButtonTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override;
    bool isEmpty() const override { return false; }
};

} // namespace qbk
