// The bans dialog against the stand-in account server, signed in as its seeded accounts.

#include "accounts/AdminDialog.h"

#include "AccountTestServer.h"
#include "AccountUiSupport.h"
#include "accounts/AccountServerApi.h"
#include "accounts/AdminClient.h"
#include "accounts/SessionStore.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TestHttpServer.h"

#include <QDateTime>
#include <QLabel>
#include <QMessageBox>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>

namespace qbk {
namespace {

const QString kRed = "color: #e06a6a; background: transparent;";

class AdminDialogTest : public ::testing::Test {
protected:
    void open(const QString& username, const QString& password) {
        ASSERT_TRUE(env.signIn(session, username, password));
        dialog = std::make_unique<AdminDialog>(env.settings(), session, nullptr);
        dialog->show();
    }
    QTableWidget* table() { return dialog->findChild<QTableWidget*>(); }
    // The status beside the title (one line) and the message under the table (wrapped).
    QLabel* label(bool wrapped) {
        for (QLabel* candidate : dialog->findChildren<QLabel*>("hintLabel"))
            if (candidate->wordWrap() == wrapped)
                return candidate;
        return nullptr;
    }
    bool waitText(bool wrapped, const QString& text) {
        return QTest::qWaitFor([&] { return label(wrapped)->text() == text; }, test::kServerWaitMs);
    }
    QLineEdit* field(const QString& placeholder) { return test::field(*dialog, placeholder); }
    QPushButton* banButton() { return test::byText<QPushButton>(dialog.get(), "Забанить"); }
    QString cell(const QString& username, int column) {
        for (int row = 0; row < table()->rowCount(); ++row)
            if (table()->item(row, 0)->text() == username)
                return column < 5 ? table()->item(row, column)->text()
                                  : table()->cellWidget(row, 5)->accessibleName();
        return {};
    }
    // Clicks the button and answers the question it asks; returns the question.
    QString answering(QMessageBox::StandardButton answer, QAbstractButton* button) {
        QString question;
        test::whenModalOpens<QMessageBox>([&](QMessageBox& box) {
            question = box.windowTitle() + ": " + box.text();
            box.button(answer)->click();
        });
        QTest::mouseClick(button, Qt::LeftButton);
        return question;
    }
    void enterBan(const QString& username, int days) {
        test::typeInto(*dialog, "Никнейм", username);
        dialog->findChild<QSpinBox*>()->setValue(days);
    }

    test::AccountTestServer env;
    SessionStore session;
    std::unique_ptr<AdminDialog> dialog;
};

TEST_F(AdminDialogTest, OperatorBansAndUnbans) {
    open("oper", "operpass");
    ASSERT_TRUE(waitText(false, "Уровень доступа: 3"));
    ASSERT_TRUE(waitText(true, "Забанено: 1"));
    EXPECT_EQ(cell("villain", 1), "Читы");
    EXPECT_EQ(cell("villain", 4), "Навсегда");
    EXPECT_NEAR(QDateTime::fromString(cell("villain", 3), "dd.MM.yyyy HH:mm").toSecsSinceEpoch(),
                QDateTime::currentSecsSinceEpoch(), 120);

    QTest::mouseClick(banButton(), Qt::LeftButton);
    EXPECT_EQ(label(true)->text(), "Введи никнейм");
    EXPECT_EQ(label(true)->styleSheet(), kRed);
    enterBan("  player ", 7);
    field("Причина")->setText("Спам в чате");
    EXPECT_EQ(answering(QMessageBox::Yes, banButton()), "Подтверждение: Забанить player на 7 дн.?");
    ASSERT_TRUE(waitText(true, "Забанено: 2"));
    EXPECT_TRUE(field("Никнейм")->text().isEmpty());
    EXPECT_TRUE(field("Причина")->text().isEmpty());
    EXPECT_EQ(dialog->findChild<QSpinBox*>()->value(), 7); // the length stays for the next ban
    EXPECT_TRUE(banButton()->isEnabled());
    EXPECT_EQ(cell("player", 1), "Спам в чате");
    EXPECT_EQ(cell("player", 2), "oper");
    EXPECT_NEAR(QDateTime::fromString(cell("player", 4), "dd.MM.yyyy HH:mm").toSecsSinceEpoch(),
                QDateTime::currentSecsSinceEpoch() + 7 * 86400, 120);

    enterBan("ghost", 0);
    EXPECT_EQ(answering(QMessageBox::Yes, banButton()), "Подтверждение: Забанить ghost навсегда?");
    ASSERT_TRUE(waitText(true, "Игрок не найден."));
    EXPECT_EQ(label(true)->styleSheet(), kRed);
    EXPECT_EQ(field("Никнейм")->text(), "ghost"); // kept for a correction

    // Answering no sends nothing: a reload still lists the same bans.
    enterBan("viewer", 0);
    answering(QMessageBox::No, banButton());
    auto* unban = qobject_cast<QPushButton*>(table()->cellWidget(0, 5));
    answering(QMessageBox::No, unban);
    test::click(*dialog, "Обновить");
    ASSERT_TRUE(waitText(true, "Забанено: 2"));

    // The date column sorts by time, permanent last, and the unban buttons travel along.
    enterBan("viewer", 3650);
    answering(QMessageBox::Yes, banButton());
    ASSERT_TRUE(waitText(true, "Забанено: 3"));
    for (const auto order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        table()->sortByColumn(4, order);
        QStringList names;
        for (int row = 0; row < 3; ++row)
            names << table()->item(row, 0)->text();
        const QStringList ascending{"player", "viewer", "villain"};
        EXPECT_EQ(names, order == Qt::AscendingOrder
                             ? ascending
                             : QStringList(ascending.rbegin(), ascending.rend()));
    }
    for (const QString name : {"player", "viewer", "villain"})
        EXPECT_EQ(cell(name, 5), "Разбанить " + name);

    const int villainRow = table()->item(0, 0)->text() == "villain" ? 0 : 2;
    unban = qobject_cast<QPushButton*>(table()->cellWidget(villainRow, 5));
    EXPECT_EQ(answering(QMessageBox::Yes, unban), "Подтверждение: Снять бан с villain?");
    ASSERT_TRUE(waitText(true, "Забанено: 2"));
    EXPECT_EQ(cell("villain", 0), "");
}

TEST_F(AdminDialogTest, ViewerMayOnlyLookAndAPlayerIsRefused) {
    open("viewer", "viewpass");
    ASSERT_TRUE(waitText(false, "Уровень доступа: 1"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return table()->rowCount() == 1; }, test::kServerWaitMs));
    EXPECT_NE(label(true)->styleSheet(), kRed);
    for (QWidget* control :
         {static_cast<QWidget*>(banButton()), static_cast<QWidget*>(field("Никнейм")),
          static_cast<QWidget*>(field("Причина")),
          static_cast<QWidget*>(dialog->findChild<QSpinBox*>())})
        EXPECT_FALSE(control->isEnabled());
    EXPECT_EQ(table()->cellWidget(0, 5), nullptr); // no unban button
    EXPECT_EQ(cell("villain", 1), "Читы");

    open("player", "playpass");
    ASSERT_TRUE(waitText(false, "Нет прав"));
    EXPECT_EQ(label(false)->styleSheet(), kRed);
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return label(true)->text().startsWith("Недостаточно прав"); },
                        test::kServerWaitMs));
    EXPECT_EQ(label(true)->styleSheet(), kRed);
    EXPECT_FALSE(banButton()->isEnabled());
    EXPECT_EQ(table()->rowCount(), 0);
    session.end(); // asked without a token now
    test::click(*dialog, "Обновить");
    ASSERT_TRUE(waitText(true, "Сессия недействительна, войди заново."));
}

TEST_F(AdminDialogTest, ClientFailuresOfAnUnbanAndOfASilentServer) {
    ASSERT_TRUE(env.signIn(session, "oper", "operpass"));
    AdminClient client(session, env.settings());
    QSignalSpy unbanFailed(&client, &AdminClient::unbanFailed);
    client.unban("player");
    ASSERT_TRUE(unbanFailed.wait(test::kServerWaitMs));
    EXPECT_EQ(unbanFailed.first().first(), "Этот игрок не забанен.");

    test::TestHttpServer silent;
    silent.holdConnections();
    env.useServer(QString::fromStdString(silent.baseUrl()));
    AdminClient waiting(session, env.settings());
    waiting.setTransferTimeout(std::chrono::milliseconds(300));
    QSignalSpy levelFailed(&waiting, &AdminClient::levelFailed);
    waiting.requestLevel();
    ASSERT_TRUE(levelFailed.wait(test::kServerWaitMs));
    EXPECT_EQ(levelFailed.first().first(), kServerUnreachableText);
    silent.releaseConnections();
}

} // namespace
} // namespace qbk
