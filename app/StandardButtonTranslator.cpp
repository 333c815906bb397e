#include "app/StandardButtonTranslator.h"

#include <QHash>
#include <QString>

namespace qbk {

namespace {

// Qt's source texts of the standard buttons (an ampersand marks the access key).
const QHash<QString, QString>& buttonTexts() {
    static const QHash<QString, QString> texts{
        {QStringLiteral("OK"), QStringLiteral("ОК")},
        {QStringLiteral("&Yes"), QStringLiteral("&Да")},
        {QStringLiteral("&No"), QStringLiteral("&Нет")},
        {QStringLiteral("Yes to &All"), QStringLiteral("Да для &всех")},
        {QStringLiteral("N&o to All"), QStringLiteral("Н&ет для всех")},
        {QStringLiteral("Cancel"), QStringLiteral("Отмена")},
        {QStringLiteral("Close"), QStringLiteral("Закрыть")},
        {QStringLiteral("Save"), QStringLiteral("Сохранить")},
        {QStringLiteral("Open"), QStringLiteral("Открыть")},
        {QStringLiteral("Apply"), QStringLiteral("Применить")},
        {QStringLiteral("Retry"), QStringLiteral("Повторить")},
        {QStringLiteral("Abort"), QStringLiteral("Прервать")},
        {QStringLiteral("Ignore"), QStringLiteral("Пропустить")},
        {QStringLiteral("Help"), QStringLiteral("Справка")},
    };
    return texts;
}

} // namespace

QString StandardButtonTranslator::translate(const char* context, const char* sourceText,
                                            const char*, int) const {
    if (qstrcmp(context, "QPlatformTheme") != 0)
        return {};
    return buttonTexts().value(QString::fromLatin1(sourceText));
}

} // namespace qbk
