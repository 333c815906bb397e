// The recovery code dialog: shown once, copied to the clipboard, ended only by "Запомнил".

#include "accounts/RecoveryCodeDialog.h"

#include "tests/app/QtTestApp.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace qbk {
namespace {

const QString kCode = QStringLiteral("QUELL-7K2M-9QXD-4HTB");

QPushButton* button(QWidget& root, const QString& text) {
    for (QPushButton* candidate : root.findChildren<QPushButton*>())
        if (candidate->text() == text)
            return candidate;
    ADD_FAILURE() << "no button " << text.toStdString();
    return nullptr;
}

TEST(RecoveryCodeDialogTest, ShowsTheCodeWithoutACloseButton) {
    RecoveryCodeDialog dialog(kCode);
    EXPECT_EQ(dialog.windowTitle(), "Код восстановления");
    EXPECT_TRUE(dialog.isModal());
    EXPECT_EQ(dialog.minimumWidth(), 560);
    EXPECT_TRUE(dialog.windowFlags() & Qt::CustomizeWindowHint);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);

    QLineEdit* field = dialog.findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->text(), kCode);
    EXPECT_TRUE(field->isReadOnly());
    EXPECT_EQ(field->alignment(), Qt::AlignCenter);

    EXPECT_EQ(dialog.findChild<QLabel*>("sectionTitle")->text(), "Запомни этот код");
    const QLabel* explanation = dialog.findChild<QLabel*>("hintLabel");
    EXPECT_TRUE(explanation->wordWrap());
    EXPECT_EQ(explanation->text().split("\n\n").size(), 3);
    EXPECT_TRUE(explanation->text().startsWith("Это единственный способ вернуть доступ"));
    EXPECT_EQ(button(dialog, "Запомнил")->objectName(), "playButton");
    EXPECT_EQ(button(dialog, "Скопировать")->objectName(), "secondaryButton");
    for (QPushButton* push : dialog.findChildren<QPushButton*>())
        EXPECT_EQ(push->cursor().shape(), Qt::PointingHandCursor);
}

TEST(RecoveryCodeDialogTest, CopyPutsTheCodeOnTheClipboardAndSaysSoForAWhile) {
    RecoveryCodeDialog dialog(kCode);
    dialog.show();
    QGuiApplication::clipboard()->setText("something else");
    QPushButton* copy = button(dialog, "Скопировать");
    QTest::mouseClick(copy, Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), kCode);
    EXPECT_EQ(copy->text(), "Скопировано");
    EXPECT_EQ(dialog.findChild<QLineEdit*>()->selectedText(), kCode);

    QTest::qWait(1000);
    EXPECT_EQ(copy->text(), "Скопировано");
    EXPECT_TRUE(QTest::qWaitFor([copy] { return copy->text() == "Скопировать"; }, 1500));
}

TEST(RecoveryCodeDialogTest, EscapeAndCloseRequestsDoNotEndIt) {
    RecoveryCodeDialog dialog(kCode);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.close());
    EXPECT_TRUE(dialog.isVisible());

    QTest::mouseClick(button(dialog, "Запомнил"), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(RecoveryCodeDialogTest, ModalRunEndsOnlyWithTheConfirmButton) {
    RecoveryCodeDialog dialog(kCode);
    bool stillOpenAfterEscape = false;
    QTimer::singleShot(50, &dialog, [&] {
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QTest::qWait(50);
        stillOpenAfterEscape = dialog.isVisible();
        QTest::mouseClick(button(dialog, "Запомнил"), Qt::LeftButton);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_TRUE(stillOpenAfterEscape);
}

} // namespace
} // namespace qbk
