// The bans dialog against the stand-in account server, signed in as its seeded accounts.

#include "accounts/AdminDialog.h"

#include "AccountTestServer.h"
#include "AccountUiSupport.h"
#include "accounts/SessionStore.h"
#include "tests/support/QtTestApp.h"

#include <QDateTime>
#include <QLabel>
#include <QMessageBox>
#include <QSpinBox>
#include <QTableWidget>

namespace qbk {
namespace {

class AdminDialogTest : public ::testing::Test {
protected:
    void open(const QString& username, const QString& password) {
        ASSERT_TRUE(env.signIn(session, username, password));
        dialog = std::make_unique<AdminDialog>(env.settings(), session, nullptr);
        dialog->show();
    }
    QTableWidget* table() { return dialog->findChild<QTableWidget*>(); }
    // The status beside the title (one line) or the message under the table (wrapped), with
    // "!" in front when it is shown as an error.
    QString label(bool wrapped) {
        for (QLabel* label : dialog->findChildren<QLabel*>("hintLabel"))
            if (label->wordWrap() == wrapped)
                return (label->styleSheet().contains("#e06a6a") ? "!" : "") + label->text();
        return {};
    }
    bool waitText(bool wrapped, const QString& text) {
        return QTest::qWaitFor([&] { return label(wrapped) == text; }, test::kServerWaitMs);
    }
    QPushButton* banButton() { return test::byText<QPushButton>(dialog.get(), "Забанить"); }
    // The row of a name: its texts (times as whole days from now), and the accessible name of
    // its unban button.
    QStringList row(const QString& username) {
        for (int row = 0; row < table()->rowCount(); ++row)
            if (table()->item(row, 0)->text() == username) {
                QStringList cells;
                for (int column = 1; column < 5; ++column) {
                    const QString text = table()->item(row, column)->text();
                    const auto time = QDateTime::fromString(text, "dd.MM.yyyy HH:mm");
                    const qint64 days =
                        qRound((time.toSecsSinceEpoch() - time.currentSecsSinceEpoch()) / 86400.0);
                    cells << (time.isValid() ? QString::number(days) : text);
                }
                QWidget* unban = table()->cellWidget(row, 5);
                return cells << (unban ? unban->accessibleName() : "");
            }
        return {};
    }
    // Clicks the button and answers the question it asks; returns the question.
    QString answering(QMessageBox::StandardButton answer, QAbstractButton* button) {
        QString question;
        test::whenModalOpens<QMessageBox>([&](QMessageBox& box) {
            question = box.text();
            box.button(answer)->click();
        });
        QTest::mouseClick(button, Qt::LeftButton);
        return question;
    }
    QString ban(const QString& username, int days, QMessageBox::StandardButton answer) {
        test::field(*dialog, "Никнейм")->setText(username);
        dialog->findChild<QSpinBox*>()->setValue(days);
        return answering(answer, banButton());
    }

    test::AccountTestServer env;
    SessionStore session;
    std::unique_ptr<AdminDialog> dialog;
};

TEST_F(AdminDialogTest, OperatorBansAndUnbans) {
    open("oper", "operpass");
    ASSERT_TRUE(waitText(false, "Уровень доступа: 3"));
    ASSERT_TRUE(waitText(true, "Забанено: 1"));
    EXPECT_EQ(row("villain"),
              (QStringList{"Читы", "server", "0", "Навсегда", "Разбанить villain"}));
    QTest::mouseClick(banButton(), Qt::LeftButton);
    EXPECT_EQ(label(true), "!Введи никнейм");
    test::field(*dialog, "Причина")->setText("Спам в чате");
    EXPECT_EQ(ban("  player ", 7, QMessageBox::Yes), "Забанить player на 7 дн.?");
    ASSERT_TRUE(waitText(true, "Забанено: 2"));
    EXPECT_EQ(row("player"), (QStringList{"Спам в чате", "oper", "0", "7", "Разбанить player"}));
    // Answering no sends nothing: a reload still lists the same bans.
    ban("viewer", 0, QMessageBox::No);
    answering(QMessageBox::No, qobject_cast<QPushButton*>(table()->cellWidget(0, 5)));
    test::click(*dialog, "Обновить");
    ASSERT_TRUE(waitText(true, "Забанено: 2"));
    EXPECT_EQ(answering(QMessageBox::Yes, qobject_cast<QPushButton*>(table()->cellWidget(0, 5))),
              "Снять бан с villain?");
    ASSERT_TRUE(waitText(true, "Забанено: 1"));
    EXPECT_EQ(row("villain"), QStringList());
}

TEST_F(AdminDialogTest, ViewerMayOnlyLookAndAPlayerIsRefused) {
    open("viewer", "viewpass");
    ASSERT_TRUE(waitText(false, "Уровень доступа: 1"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return table()->rowCount() == 1; }, test::kServerWaitMs));
    EXPECT_FALSE(test::field(*dialog, "Никнейм")->isEnabled() ||
                 dialog->findChild<QSpinBox*>()->isEnabled() || banButton()->isEnabled());
    EXPECT_EQ(row("villain"), (QStringList{"Читы", "server", "0", "Навсегда", ""}));
    open("player", "playpass");
    ASSERT_TRUE(waitText(false, "!Нет прав"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return label(true).startsWith("!Недостаточно прав"); },
                                test::kServerWaitMs));
    EXPECT_FALSE(banButton()->isEnabled());
    EXPECT_EQ(table()->rowCount(), 0);
    session.end(); // asked without a token now
    test::click(*dialog, "Обновить");
    ASSERT_TRUE(waitText(true, "!Сессия недействительна, войди заново."));
}

} // namespace
} // namespace qbk
