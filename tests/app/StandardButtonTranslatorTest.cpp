// The standard buttons of the launcher's message boxes, with the translator main() installs.
#include "app/StandardButtonTranslator.h"

#include "tests/support/QtTestApp.h"

#include <QDialogButtonBox>
#include <QPushButton>

TEST(StandardButtonTranslatorTest, StandardButtonsAnswerInRussianAndOtherTextsAreLeftToQt) {
    qbk::StandardButtonTranslator translator;
    ASSERT_TRUE(QCoreApplication::installTranslator(&translator));
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Yes | QDialogButtonBox::No |
                             QDialogButtonBox::Save | QDialogButtonBox::Cancel);
    QStringList texts;
    for (QAbstractButton* button : buttons.buttons())
        texts << button->text();
    texts.sort();
    EXPECT_EQ(texts, (QStringList{"&Да", "&Нет", "ОК", "Отмена", "Сохранить"}));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Cancel"), "Cancel");
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Not a button"), "Not a button");
    QCoreApplication::removeTranslator(&translator);
    EXPECT_EQ(QDialogButtonBox(QDialogButtonBox::Yes).button(QDialogButtonBox::Yes)->text(),
              "&Yes");
}
