// The bans dialog against the stand-in account server, signed in as its seeded accounts.

#include "accounts/AdminDialog.h"

#include "AccountUiSupport.h"
#include "accounts/AuthClient.h"
#include "accounts/SessionStore.h"
#include "accounts/SortKeyItem.h"
#include "tests/app/QtTestApp.h"

#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace qbk {
namespace {

using test::kServerWaitMs;
using test::ServerBackedSettings;

constexpr int kDay = 86400;

class AdminDialogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(env.ready()); }

    // Signs in through the account client, as the panel does, into this test's store.
    void signIn(const QString& username, const QString& password) {
        AuthClient client(env.settings(), nullptr);
        QObject::connect(&client, &AuthClient::sessionReady, &session, &SessionStore::begin);
        client.login(username, password);
        ASSERT_TRUE(QTest::qWaitFor([this] { return session.isSignedIn(); }, kServerWaitMs));
    }

    AdminDialog& open() {
        dialog = std::make_unique<AdminDialog>(env.settings(), session, nullptr);
        dialog->show();
        return *dialog;
    }

    QTableWidget* table() { return dialog->findChild<QTableWidget*>(); }
    QLabel* status() {
        for (QLabel* label : dialog->findChildren<QLabel*>("hintLabel"))
            if (!label->wordWrap())
                return label;
        return nullptr;
    }
    QLabel* message() {
        for (QLabel* label : dialog->findChildren<QLabel*>("hintLabel"))
            if (label->wordWrap())
                return label;
        return nullptr;
    }
    QPushButton* banButton() { return test::buttonWithText(*dialog, "Забанить"); }
    QLineEdit* usernameField() { return test::fieldWithPlaceholder(*dialog, "Никнейм"); }
    QLineEdit* reasonField() { return test::fieldWithPlaceholder(*dialog, "Причина"); }
    QSpinBox* daysBox() { return dialog->findChild<QSpinBox*>(); }

    bool waitMessage(const QString& text) {
        return QTest::qWaitFor([&] { return message()->text() == text; }, kServerWaitMs);
    }
    bool waitStatus(const QString& text) {
        return QTest::qWaitFor([&] { return status()->text() == text; }, kServerWaitMs);
    }
    int rowOf(const QString& username) {
        for (int row = 0; row < table()->rowCount(); ++row)
            if (table()->item(row, 0)->text() == username)
                return row;
        return -1;
    }
    QPushButton* unbanButton(const QString& username) {
        const int row = rowOf(username);
        return row < 0 ? nullptr : qobject_cast<QPushButton*>(table()->cellWidget(row, 5));
    }

    // Answers the next question box, remembering its text.
    void answerQuestion(QMessageBox::StandardButton answer) {
        test::whenModalOpens<QMessageBox>([this, answer](QMessageBox& box) {
            questionTitle = box.windowTitle();
            question = box.text();
            box.button(answer)->click();
        });
    }

    ServerBackedSettings env;
    SessionStore session;
    std::unique_ptr<AdminDialog> dialog;
    QString questionTitle;
    QString question;
};

TEST_F(AdminDialogTest, OperatorSeesTheListAndTheBanControls) {
    signIn("oper", "operpass");
    AdminDialog& d = open();
    EXPECT_EQ(d.windowTitle(), "Админка");
    EXPECT_EQ(d.minimumSize(), QSize(940, 620));
    ASSERT_TRUE(waitStatus("Уровень доступа: 3"));
    ASSERT_TRUE(
        QTest::qWaitFor([this] { return unbanButton("villain") != nullptr; }, kServerWaitMs));
    ASSERT_TRUE(waitMessage("Забанено: 1"));

    EXPECT_TRUE(banButton()->isEnabled());
    EXPECT_TRUE(usernameField()->isEnabled());
    EXPECT_TRUE(daysBox()->isEnabled());
    EXPECT_EQ(banButton()->objectName(), "chooseButton");
    EXPECT_EQ(daysBox()->minimum(), 0);
    EXPECT_EQ(daysBox()->maximum(), 3650);
    EXPECT_EQ(daysBox()->text(), "Навсегда");

    QTableWidget* t = table();
    ASSERT_EQ(t->rowCount(), 1);
    EXPECT_EQ(t->columnCount(), 6);
    EXPECT_EQ(t->horizontalHeaderItem(3)->text(), "Когда");
    EXPECT_EQ(t->item(0, 1)->text(), "Читы");
    EXPECT_EQ(t->item(0, 4)->text(), "Навсегда");
    const QDateTime created = QDateTime::fromString(t->item(0, 3)->text(), "dd.MM.yyyy HH:mm");
    ASSERT_TRUE(created.isValid()) << t->item(0, 3)->text().toStdString();
    EXPECT_NEAR(created.toSecsSinceEpoch(), QDateTime::currentSecsSinceEpoch(), 120);
    EXPECT_EQ(t->rowHeight(0), 46);
    EXPECT_EQ(t->columnWidth(5), 150);
    EXPECT_EQ(t->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(t->isSortingEnabled());
    EXPECT_TRUE(t->verticalHeader()->isHidden());
    EXPECT_EQ(unbanButton("villain")->maximumWidth(), 126);
    for (QPushButton* push : d.findChildren<QPushButton*>())
        EXPECT_EQ(push->cursor().shape(), Qt::PointingHandCursor) << push->text().toStdString();
}

TEST_F(AdminDialogTest, OperatorBansAndUnbansAPlayer) {
    signIn("oper", "operpass");
    open();
    ASSERT_TRUE(waitStatus("Уровень доступа: 3"));
    ASSERT_TRUE(waitMessage("Забанено: 1"));

    QTest::keyClicks(usernameField(), "  player ");
    test::typeText(reasonField(), "Спам в чате");
    daysBox()->setValue(7);
    answerQuestion(QMessageBox::Yes);
    QTest::mouseClick(banButton(), Qt::LeftButton);
    ASSERT_TRUE(waitMessage("Забанено: 2"));
    EXPECT_EQ(questionTitle, "Подтверждение");
    EXPECT_EQ(question, "Забанить player на 7 дн.?");
    EXPECT_TRUE(usernameField()->text().isEmpty());
    EXPECT_TRUE(reasonField()->text().isEmpty());
    EXPECT_EQ(daysBox()->value(), 7); // the length stays for the next ban
    EXPECT_TRUE(banButton()->isEnabled());
    const int row = rowOf("player");
    ASSERT_GE(row, 0);
    EXPECT_EQ(table()->item(row, 1)->text(), "Спам в чате");
    EXPECT_EQ(table()->item(row, 2)->text(), "oper");
    const QDateTime until =
        QDateTime::fromString(table()->item(row, 4)->text(), "dd.MM.yyyy HH:mm");
    EXPECT_NEAR(until.toSecsSinceEpoch(), QDateTime::currentSecsSinceEpoch() + 7 * kDay, 120);

    answerQuestion(QMessageBox::Yes);
    QTest::mouseClick(unbanButton("villain"), Qt::LeftButton);
    ASSERT_TRUE(waitMessage("Забанено: 1"));
    EXPECT_EQ(question, "Снять бан с villain?");
    EXPECT_EQ(rowOf("villain"), -1);
    EXPECT_GE(rowOf("player"), 0);
}

TEST_F(AdminDialogTest, AnsweringNoSendsNothingAndPermanentIsAsked) {
    signIn("oper", "operpass");
    open();
    ASSERT_TRUE(waitStatus("Уровень доступа: 3"));
    ASSERT_TRUE(waitMessage("Забанено: 1"));

    QTest::keyClicks(usernameField(), "player");
    answerQuestion(QMessageBox::No);
    QTest::mouseClick(banButton(), Qt::LeftButton);
    EXPECT_EQ(question, "Забанить player навсегда?");
    QTest::qWait(200);
    EXPECT_EQ(message()->text(), "Забанено: 1");
    EXPECT_EQ(usernameField()->text(), "player");

    answerQuestion(QMessageBox::No);
    QTest::mouseClick(unbanButton("villain"), Qt::LeftButton);
    QTest::qWait(200);
    EXPECT_EQ(table()->rowCount(), 1);

    // A reload shows the server's unchanged list.
    test::click(*dialog, "Обновить");
    ASSERT_TRUE(waitMessage("Забанено: 1"));
}

TEST_F(AdminDialogTest, ServerRefusalsAndTheEmptyNameAreShownInRed) {
    signIn("oper", "operpass");
    open();
    ASSERT_TRUE(waitStatus("Уровень доступа: 3"));
    ASSERT_TRUE(waitMessage("Забанено: 1"));

    QTest::mouseClick(banButton(), Qt::LeftButton);
    EXPECT_EQ(message()->text(), "Введи никнейм");
    EXPECT_EQ(message()->styleSheet(), "color: #e06a6a; background: transparent;");

    QTest::keyClicks(usernameField(), "ghost");
    answerQuestion(QMessageBox::Yes);
    QTest::mouseClick(banButton(), Qt::LeftButton);
    ASSERT_TRUE(waitMessage("Игрок не найден."));
    EXPECT_EQ(message()->styleSheet(), "color: #e06a6a; background: transparent;");
    EXPECT_TRUE(banButton()->isEnabled());
    EXPECT_EQ(usernameField()->text(), "ghost"); // kept for a correction
    EXPECT_EQ(table()->rowCount(), 1);
}

TEST_F(AdminDialogTest, ViewerMayOnlyLook) {
    signIn("viewer", "viewpass");
    open();
    ASSERT_TRUE(waitStatus("Уровень доступа: 1"));
    ASSERT_TRUE(QTest::qWaitFor([this] { return table()->rowCount() == 1; }, kServerWaitMs));
    // The level and the list are asked for at once; whichever answers last has the message.
    const QStringList eitherMessage{
        "Твоего уровня хватает только на просмотр. Для банов нужен уровень 3 и выше.",
        "Забанено: 1"};
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return eitherMessage.contains(message()->text()); }, kServerWaitMs))
        << message()->text().toStdString();
    EXPECT_EQ(message()->styleSheet(), "color: #8b8b98; background: transparent;");
    EXPECT_FALSE(banButton()->isEnabled());
    EXPECT_FALSE(usernameField()->isEnabled());
    EXPECT_FALSE(reasonField()->isEnabled());
    EXPECT_FALSE(daysBox()->isEnabled());
    EXPECT_EQ(unbanButton("villain"), nullptr);
    EXPECT_EQ(table()->item(0, 0)->text(), "villain");
}

TEST_F(AdminDialogTest, NonOperatorGetsTheServersRefusal) {
    signIn("player", "playpass");
    open();
    ASSERT_TRUE(waitStatus("Нет прав"));
    EXPECT_EQ(status()->styleSheet(), "color: #e06a6a; background: transparent;");
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return message()->text().startsWith("Недостаточно прав"); }, kServerWaitMs));
    EXPECT_EQ(message()->styleSheet(), "color: #e06a6a; background: transparent;");
    EXPECT_FALSE(banButton()->isEnabled());
    EXPECT_EQ(table()->rowCount(), 0);
}

TEST_F(AdminDialogTest, DateColumnsSortByTimeNotByTheirText) {
    signIn("oper", "operpass");
    open();
    ASSERT_TRUE(waitStatus("Уровень доступа: 3"));
    ASSERT_TRUE(waitMessage("Забанено: 1"));
    for (const auto& [name, days] : {std::pair{"player", 1}, std::pair{"viewer", 3650}}) {
        QTest::keyClicks(usernameField(), name);
        daysBox()->setValue(days);
        answerQuestion(QMessageBox::Yes);
        QTest::mouseClick(banButton(), Qt::LeftButton);
        ASSERT_TRUE(waitMessage(QString("Забанено: %1").arg(days == 1 ? 2 : 3)));
    }
    table()->sortByColumn(4, Qt::AscendingOrder);
    EXPECT_EQ(table()->item(0, 0)->text(), "player");
    EXPECT_EQ(table()->item(1, 0)->text(), "viewer");
    EXPECT_EQ(table()->item(2, 0)->text(), "villain"); // permanent last
    table()->sortByColumn(4, Qt::DescendingOrder);
    EXPECT_EQ(table()->item(0, 0)->text(), "villain");
    EXPECT_EQ(table()->item(2, 0)->text(), "player");
    // The unban buttons travel with their rows.
    for (const char* name : {"player", "viewer", "villain"})
        EXPECT_EQ(unbanButton(name)->accessibleName(), QString("Разбанить ") + name);
}

TEST(SortKeyItemTest, OrdersByTheKeyWhateverTheText) {
    QTableWidget table(3, 1);
    // 01.02.2027 reads before 31.12.2026 but comes after it.
    table.setItem(0, 0, new SortKeyItem("01.02.2027 10:00", 1801476000));
    table.setItem(1, 0, new SortKeyItem("31.12.2026 10:00", 1798711200));
    table.setItem(2, 0, new SortKeyItem("—", 0));
    table.sortItems(0, Qt::AscendingOrder);
    EXPECT_EQ(table.item(0, 0)->text(), "—");
    EXPECT_EQ(table.item(1, 0)->text(), "31.12.2026 10:00");
    EXPECT_EQ(table.item(2, 0)->text(), "01.02.2027 10:00");
}

} // namespace
} // namespace qbk
