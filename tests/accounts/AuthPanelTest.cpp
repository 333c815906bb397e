// The sign-in panel (and the recovery code dialog it opens) driven through its widgets
// against the stand-in account server: what it shows, and what it remembers on disk.

#include "accounts/AuthPanel.h"

#include "AccountTestServer.h"
#include "AccountUiSupport.h"
#include "accounts/RecoveryCodeDialog.h"
#include "accounts/SessionStore.h"
#include "tests/support/QtTestApp.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QThreadPool>

namespace qbk {
namespace {

using test::click;
using test::typeInto;

const QString kCode = "Код восстановления (QUELL-XXXX-XXXX-XXXX)";

class AuthPanelTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(env.ready()); }
    void open(Settings& settings) {
        panel = std::make_unique<AuthPanel>(settings, nullptr);
        statuses = std::make_unique<QSignalSpy>(panel.get(), &AuthPanel::statusMessage);
        signedIn = std::make_unique<QSignalSpy>(panel.get(), &AuthPanel::signedInChanged);
        banned = std::make_unique<QSignalSpy>(panel.get(), &AuthPanel::bannedChanged);
        panel->show();
    }
    QString title() { return panel->findChild<QLabel*>("sectionTitle")->text(); }
    QLabel* hint() { return panel->findChildren<QLabel*>("hintLabel").value(0); }
    QLabel* error() { return panel->findChildren<QLabel*>("hintLabel").value(1); }
    QCheckBox* remember(const QString& text) { return test::byText<QCheckBox>(panel.get(), text); }
    QCheckBox* rememberLogin() { return remember("Запомнить логин"); }
    QCheckBox* rememberBoth() { return remember("Запомнить логин и пароль"); }
    QLineEdit* field(const QString& placeholder) { return test::field(*panel, placeholder); }
    QPushButton* button(const QString& text) {
        return test::byText<QPushButton>(panel.get(), text);
    }
    QString lastStatus() { return statuses->isEmpty() ? "" : statuses->last()[0].toString(); }
    bool waitFor(std::function<bool()> done) { return QTest::qWaitFor(done, test::kServerWaitMs); }
    void signIn(const QString& username, const QString& password) {
        typeInto(*panel, "Никнейм", username);
        typeInto(*panel, "Пароль", password);
        QTest::keyClick(field("Пароль"), Qt::Key_Return);
        EXPECT_TRUE(waitFor([this] { return field("Никнейм")->isEnabled(); }));
    }
    // Submits the form and returns the recovery code the dialog showed, confirmed at once.
    QString submitShowingCode(const QString& submit) {
        QString code;
        test::whenModalOpens<RecoveryCodeDialog>([&](RecoveryCodeDialog& dialog) {
            code = dialog.findChild<QLineEdit*>()->text();
            click(dialog, "Запомнил");
        });
        click(*panel, submit);
        EXPECT_TRUE(waitFor([&] { return !code.isEmpty() && field("Никнейм")->isEnabled(); }));
        return code;
    }
    // The name and every shown password field (both on the create and recovery forms).
    void fill(const QString& name, const QString& password) {
        typeInto(*panel, "Никнейм", name);
        for (QLineEdit* secret : panel->findChildren<QLineEdit*>())
            if (secret->isVisible() && secret->echoMode() == QLineEdit::Password)
                secret->setText(password);
    }

    test::AccountTestServer env;
    std::unique_ptr<AuthPanel> panel;
    std::unique_ptr<QSignalSpy> statuses, signedIn, banned;
};

TEST_F(AuthPanelTest, FormsValidateSwitchAndCancelARegistration) {
    test::AccountTestServer hard({"--difficulty", "40"}); // many minutes of both cores
    open(hard.settings());
    EXPECT_EQ(title(), "Вход");
    EXPECT_TRUE(error()->isHidden());
    EXPECT_TRUE(button("Выйти из аккаунта")->isHidden());
    EXPECT_TRUE(field("Пароль ещё раз")->isHidden());
    EXPECT_TRUE(field(kCode)->isHidden());
    EXPECT_TRUE(rememberLogin()->isChecked()); // default on
    EXPECT_FALSE(rememberBoth()->isChecked());

    // Each row: the link clicked first, the fields typed, the button, the error shown.
    const struct {
        const char* link;
        QStringList typed; // placeholder, text, ...
        const char* submit;
        const char* error;
    } rows[] = {
        {nullptr, {"Никнейм", "   "}, "Войти", "Введи никнейм"},
        {nullptr, {"Никнейм", "player"}, "Войти", "Введи пароль"},
        {"Нет аккаунта? Создать",
         {"Пароль", "secret1", "Пароль ещё раз", "Secret1"},
         "СОЗДАТЬ",
         "Пароли не совпадают"},
        {"Забыл пароль?", {"Новый пароль", ""}, "ВОССТАНОВИТЬ", "Введи пароль"}, // code empty too
        {nullptr, {"Новый пароль", "secret1"}, "ВОССТАНОВИТЬ", "Введи код восстановления"},
        {nullptr,
         {kCode, "QUELL-A", "Новый пароль ещё раз", "x"},
         "ВОССТАНОВИТЬ",
         "Пароли не совпадают"},
    };
    for (const auto& row : rows) {
        if (row.link) {
            click(*panel, row.link);
            EXPECT_TRUE(error()->isHidden()) << row.link; // a mode switch hides the old error
        }
        for (int i = 0; i + 1 < row.typed.size(); i += 2)
            typeInto(*panel, row.typed[i], row.typed[i + 1]);
        click(*panel, row.submit);
        EXPECT_EQ(error()->text(), row.error);
        EXPECT_FALSE(error()->isHidden()) << row.error;
    }
    EXPECT_TRUE(statuses->isEmpty()); // nothing was sent
    EXPECT_TRUE(button("Нет аккаунта? Создать")->isHidden());
    for (const char* secret : {"Новый пароль", "Новый пароль ещё раз"})
        EXPECT_EQ(field(secret)->echoMode(), QLineEdit::Password);

    // The forgot link's action follows the mode: back to the sign-in form.
    click(*panel, "Вернуться ко входу");
    EXPECT_EQ(title(), "Вход");
    EXPECT_TRUE(field(kCode)->isHidden());
    click(*panel, "Нет аккаунта? Создать");
    EXPECT_EQ(title(), "Создать аккаунт");
    click(*panel, "Уже есть аккаунт? Войти");
    EXPECT_TRUE(field("Пароль ещё раз")->isHidden());
    EXPECT_NE(button("ВОЙТИ"), nullptr);

    // Leaving the create form stops its search, which then reports nothing.
    click(*panel, "Нет аккаунта? Создать");
    fill("patient", "secret123");
    click(*panel, "СОЗДАТЬ");
    ASSERT_TRUE(waitFor([this] { return lastStatus() == "Проверка, что ты не бот..."; }));
    EXPECT_FALSE(field("Никнейм")->isEnabled());
    click(*panel, "Забыл пароль?");
    EXPECT_EQ(title(), "Восстановление доступа");
    EXPECT_EQ(lastStatus(), "Создание аккаунта отменено");
    EXPECT_TRUE(field("Никнейм")->isEnabled());
    const qsizetype reported = statuses->size();
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(statuses->size(), reported);
    EXPECT_TRUE(error()->isHidden());
    panel.reset(); // before the settings it uses
}

// Remember both: the code dialog shows once, the session survives a restart until sign-out;
// then wrong passwords lock the account until a recovery code restores access.
TEST_F(AuthPanelTest, RememberedSessionThenLockOutAndRecovery) {
    open(env.settings());
    rememberBoth()->setChecked(true);
    click(*panel, "Нет аккаунта? Создать");
    fill("newbie", "oldpass1");
    QString first;
    test::whenModalOpens<RecoveryCodeDialog>([&](RecoveryCodeDialog& dialog) {
        EXPECT_FALSE(button("СОЗДАТЬ")->isEnabled()); // the form waits behind, still busy
        EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
        first = dialog.findChild<QLineEdit*>()->text();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_FALSE(dialog.close());
        EXPECT_TRUE(dialog.isVisible());
        click(dialog, "Скопировать");
        EXPECT_EQ(QGuiApplication::clipboard()->text(), first);
        EXPECT_NE(test::byText<QPushButton>(&dialog, "Скопировано"), nullptr);
        click(dialog, "Запомнил");
    });
    click(*panel, "СОЗДАТЬ");
    ASSERT_TRUE(waitFor([this] { return panel->isSignedIn(); }));
    EXPECT_TRUE(QRegularExpression("^QUELL(-[A-Z2-9]{4}){3}$").match(first).hasMatch());
    EXPECT_EQ(*statuses, (QList<QVariantList>{{"Получаю задачу от сервера..."},
                                              {"Проверка, что ты не бот..."},
                                              {"Создаю аккаунт..."},
                                              {"Вход..."},
                                              {"Вход выполнен: newbie"}}));
    EXPECT_EQ(title(), "Аккаунт");
    EXPECT_EQ(hint()->text(), "Ты вошёл как newbie");
    EXPECT_TRUE(field("Никнейм")->isHidden());
    EXPECT_EQ(*signedIn, (QList<QVariantList>{{true, "newbie"}}));
    const Session session = panel->sessionStore().current();
    EXPECT_EQ(env.onDisk("session/accessToken").toString(), session.accessToken);
    EXPECT_EQ(env.onDisk("session/uuid").toString(), session.uuid);
    EXPECT_EQ(env.onDisk("player/username").toString(), "newbie");

    // A restarted launcher is signed in at once, without asking the server.
    auto restarted = env.reopen();
    open(*restarted);
    EXPECT_TRUE(panel->isSignedIn());
    EXPECT_EQ(hint()->text(), "Ты вошёл как newbie");
    EXPECT_TRUE(rememberBoth()->isChecked());
    EXPECT_EQ(panel->sessionStore().current().accessToken, session.accessToken);

    // Sign-out forgets the session and returns to the sign-in form with the name kept.
    click(*panel, "Выйти из аккаунта");
    EXPECT_FALSE(panel->isSignedIn());
    EXPECT_EQ(title(), "Вход");
    EXPECT_EQ(field("Никнейм")->text(), "newbie");
    EXPECT_TRUE(field("Пароль")->isVisible());
    EXPECT_TRUE(button("Выйти из аккаунта")->isHidden());
    EXPECT_TRUE(rememberLogin()->parentWidget()->isHidden()); // remember-both still on
    EXPECT_EQ(signedIn->last(), (QVariantList{false, QString()}));
    EXPECT_EQ(lastStatus(), "Вы вышли из аккаунта");
    EXPECT_FALSE(env.onDisk("session/accessToken").isValid());
    EXPECT_FALSE(SessionStore::restoreFrom(*env.reopen()));

    for (int attempt = 0; attempt < 2; ++attempt) {
        signIn("newbie", "wrong-password");
        EXPECT_EQ(error()->text(), "Неверный никнейм или пароль.");
        EXPECT_EQ(lastStatus(), "Не удалось войти");
        EXPECT_EQ(title(), "Вход");
    }
    for (const char* password : {"wrong-password", "oldpass1"}) { // then even the right one
        signIn("newbie", password);
        EXPECT_EQ(title(), "Восстановление доступа");
        EXPECT_TRUE(error()->text().startsWith("Слишком много неверных попыток входа."));
        EXPECT_TRUE(button("ВОССТАНОВИТЬ")->isEnabled());
        EXPECT_FALSE(panel->isSignedIn());
        click(*panel, "Вернуться ко входу");
    }

    // A code without a new password lifts the lock-out and keeps the password.
    click(*panel, "Забыл пароль?");
    fill("newbie", "");
    typeInto(*panel, kCode, "  " + first.toLower());
    const QString second = submitShowingCode("ВОССТАНОВИТЬ");
    EXPECT_EQ(lastStatus(), "Доступ восстановлен, попробуй войти");
    EXPECT_NE(second, first);
    signIn("newbie", "oldpass1");
    ASSERT_TRUE(panel->isSignedIn());
    click(*panel, "Выйти из аккаунта");

    // A used code is spent; a fresh one sets a new password.
    click(*panel, "Забыл пароль?");
    fill("newbie", "newpass1");
    typeInto(*panel, kCode, first);
    click(*panel, "ВОССТАНОВИТЬ");
    ASSERT_TRUE(waitFor([this] { return !error()->isHidden(); }));
    EXPECT_EQ(error()->text(), "Неверный никнейм или код восстановления.");
    typeInto(*panel, kCode, second);
    EXPECT_NE(submitShowingCode("ВОССТАНОВИТЬ"), second);
    EXPECT_EQ(lastStatus(), "Пароль изменён, войди с новым");
    EXPECT_EQ(title(), "Вход");
    EXPECT_EQ(field("Никнейм")->text(), "newbie");
    EXPECT_TRUE(field("Пароль")->text().isEmpty());
    signIn("newbie", "oldpass1");
    EXPECT_EQ(error()->text(), "Неверный никнейм или пароль.");
    signIn("newbie", "newpass1");
    EXPECT_TRUE(panel->isSignedIn());
}

TEST_F(AuthPanelTest, RememberChoicesFoldTheRowAndFollowTheSettings) {
    open(env.settings());
    QWidget* row = rememberLogin()->parentWidget();
    rememberLogin()->setChecked(false);
    rememberBoth()->setChecked(true);
    EXPECT_TRUE(rememberLogin()->isChecked());
    ASSERT_TRUE(QTest::qWaitFor([row] { return row->isHidden(); }, 2000));
    rememberBoth()->setChecked(false);
    EXPECT_FALSE(row->isHidden()); // shown at once, then grows
    ASSERT_TRUE(QTest::qWaitFor(
        [row] { return row->maximumHeight() > 0 && !row->graphicsEffect(); }, 2000));
    // A quick second toggle takes over the running fold and still ends folded.
    for (const bool on : {true, false, true})
        rememberBoth()->setChecked(on);
    ASSERT_TRUE(QTest::qWaitFor([row] { return row->isHidden() && !row->graphicsEffect(); }, 2000));
    EXPECT_EQ(row->maximumHeight(), 0);
    rememberBoth()->setChecked(false);

    // Another dialog turns remembering the name off while the form waits behind it.
    env.settings().setRememberLogin(false);
    QEvent activation(QEvent::ActivationChange);
    QCoreApplication::sendEvent(panel.get(), &activation);
    EXPECT_FALSE(rememberLogin()->isChecked());

    // Not remembered: this run has the session (and its ban), the file has none of it.
    signIn("villain", "villainpass");
    ASSERT_TRUE(panel->isSignedIn());
    EXPECT_EQ(*banned,
              (QList<QVariantList>{{true, "Аккаунт заблокирован навсегда.\nПричина: Читы"}}));
    EXPECT_EQ(statuses->mid(statuses->size() - 3),
              (QList<QVariantList>{
                  {"Вход..."}, {"Аккаунт заблокирован навсегда"}, {"Вход выполнен: villain"}}));
    EXPECT_FALSE(panel->sessionStore().current().accessToken.isEmpty());
    for (const char* key :
         {"session/accessToken", "session/clientToken", "session/uuid", "session/opLevel"})
        EXPECT_FALSE(env.onDisk(key).isValid()) << key;
    EXPECT_EQ(env.onDisk("player/username").toString(), "");
    auto restarted = env.reopen();
    AuthPanel again(*restarted, nullptr);
    EXPECT_FALSE(again.isSignedIn());
    EXPECT_TRUE(test::field(again, "Никнейм")->text().isEmpty());

    // Turned on again while signed in: the form shown by sign-out follows it.
    env.settings().setRememberLogin(true);
    click(*panel, "Выйти из аккаунта");
    EXPECT_TRUE(rememberLogin()->isChecked());
    // A choice made in the form itself survives a mere activation.
    rememberLogin()->setChecked(false);
    QCoreApplication::sendEvent(panel.get(), &activation);
    EXPECT_FALSE(rememberLogin()->isChecked());
}

} // namespace
} // namespace qbk
