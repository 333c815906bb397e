// The standard buttons of the launcher's message boxes, with the translator main() installs.
#include "app/StandardButtonTranslator.h"

#include "tests/support/QtTestApp.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QSet>

namespace qbk {
namespace {

TEST(StandardButtonTranslatorTest, StandardButtonsAnswerInRussianAndOtherTextsAreLeftToQt) {
    StandardButtonTranslator translator;
    ASSERT_TRUE(QCoreApplication::installTranslator(&translator));
    const QDialogButtonBox::StandardButtons all =
        QDialogButtonBox::Ok | QDialogButtonBox::Yes | QDialogButtonBox::No |
        QDialogButtonBox::Save | QDialogButtonBox::Cancel | QDialogButtonBox::Close;
    QDialogButtonBox buttons(all);
    QStringList texts;
    for (QAbstractButton* button : buttons.buttons())
        texts << button->text();
    EXPECT_EQ(QSet(texts.begin(), texts.end()),
              (QSet<QString>{"&Да", "&Нет", "Закрыть", "Отмена", "Сохранить", "ОК"}));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Cancel"), "Cancel");
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Not a button"), "Not a button");

    QCoreApplication::removeTranslator(&translator);
    EXPECT_EQ(QDialogButtonBox(QDialogButtonBox::Yes).button(QDialogButtonBox::Yes)->text(),
              "&Yes");
}

} // namespace
} // namespace qbk
