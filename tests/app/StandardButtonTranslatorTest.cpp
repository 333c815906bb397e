// The standard buttons of the launcher's message boxes, with the translator main() installs.
#include "app/StandardButtonTranslator.h"

#include "tests/app/QtTestApp.h"

#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

namespace qbk {
namespace {

class StandardButtonTranslatorTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QCoreApplication::installTranslator(&translator)); }
    void TearDown() override { QCoreApplication::removeTranslator(&translator); }

    StandardButtonTranslator translator;
};

TEST_F(StandardButtonTranslatorTest, QuestionsAndWarningsAnswerInRussian) {
    QMessageBox question(QMessageBox::Question, "Подтверждение", "Удалить?",
                         QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(question.button(QMessageBox::Yes)->text(), "&Да");
    EXPECT_EQ(question.button(QMessageBox::No)->text(), "&Нет");
    QMessageBox warning(QMessageBox::Warning, "Quellbrook Launcher", "Текст", QMessageBox::Ok);
    EXPECT_EQ(warning.button(QMessageBox::Ok)->text(), "ОК");

    QDialogButtonBox buttons(QDialogButtonBox::Save | QDialogButtonBox::Cancel |
                             QDialogButtonBox::Close);
    EXPECT_EQ(buttons.button(QDialogButtonBox::Save)->text(), "Сохранить");
    EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), "Отмена");
    EXPECT_EQ(buttons.button(QDialogButtonBox::Close)->text(), "Закрыть");
}

TEST_F(StandardButtonTranslatorTest, OtherTextsAreLeftToQt) {
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Not a button"), "Not a button");
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Cancel"), "Cancel");
    QCoreApplication::removeTranslator(&translator);
    QMessageBox question(QMessageBox::Question, "", "", QMessageBox::Yes);
    EXPECT_EQ(question.button(QMessageBox::Yes)->text(), "&Yes");
}

} // namespace
} // namespace qbk
