// The sign-in panel (and the recovery code dialog it opens) driven through its widgets
// against the stand-in account server: what it shows, and what it remembers on disk.

#include "accounts/AuthPanel.h"

#include "AccountTestServer.h"
#include "AccountUiSupport.h"
#include "accounts/RecoveryCodeDialog.h"
#include "accounts/SessionStore.h"
#include "tests/support/QtTestApp.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalSpy>
#include <QThreadPool>

namespace qbk {
namespace {

using test::click;
const QString kCode = "Код восстановления (QUELL-XXXX-XXXX-XXXX)";

class AuthPanelTest : public ::testing::Test {
protected:
    void open(Settings& settings) {
        panel = std::make_unique<AuthPanel>(settings, nullptr);
        statuses = std::make_unique<QSignalSpy>(panel.get(), &AuthPanel::statusMessage);
        panel->show();
    }
    QString title() { return panel->findChild<QLabel*>("sectionTitle")->text(); }
    QLabel* error() { return panel->findChildren<QLabel*>("hintLabel").value(1); }
    QCheckBox* remember(const QString& what = "") {
        return test::byText<QCheckBox>(panel.get(), "Запомнить логин" + what);
    }
    QLineEdit* field(const QString& placeholder) { return test::field(*panel, placeholder); }
    QString lastStatus() { return statuses->isEmpty() ? "" : statuses->last()[0].toString(); }
    bool waitFor(std::function<bool()> done) { return QTest::qWaitFor(done, test::kServerWaitMs); }
    bool idle() {
        return waitFor([this] { return field("Никнейм")->isEnabled(); });
    }
    void signIn(const QString& username, const QString& password) {
        fill(username, password);
        QTest::keyClick(field("Пароль"), Qt::Key_Return);
        EXPECT_TRUE(idle());
    }
    // Submits the form; the recovery code the dialog showed (handled, then confirmed).
    QString submitShowingCode(const QString& submit,
                              std::function<void(RecoveryCodeDialog&)> handle = {}) {
        QString code;
        test::whenModalOpens<RecoveryCodeDialog>([&, handle](RecoveryCodeDialog& dialog) {
            code = dialog.findChild<QLineEdit*>()->text();
            if (handle)
                handle(dialog);
            click(dialog, "Запомнил");
        });
        click(*panel, submit);
        EXPECT_TRUE(waitFor([&] { return !code.isEmpty(); }) && idle());
        return code;
    }
    // The name and every shown password field (both on the create and recovery forms).
    void fill(const QString& name, const QString& password) {
        field("Никнейм")->setText(name);
        for (QLineEdit* secret : panel->findChildren<QLineEdit*>())
            if (secret->isVisible() && secret->echoMode() == QLineEdit::Password)
                secret->setText(password);
    }

    test::AccountTestServer env;
    std::unique_ptr<AuthPanel> panel;
    std::unique_ptr<QSignalSpy> statuses;
};

TEST_F(AuthPanelTest, FormsValidateSwitchAndCancelARegistration) {
    test::AccountTestServer hard({"--difficulty", "40"}); // many minutes of both cores
    open(hard.settings());
    // Each row: the link clicked first; placeholder=text typed; the button; the error shown.
    for (const QString& row : QStringList{
             ";Никнейм=   ;Войти;Введи никнейм", ";Никнейм=player;Войти;Введи пароль",
             "Нет аккаунта? Создать;Пароль=a1;Пароль ещё раз=A1;СОЗДАТЬ;Пароли не совпадают",
             "Забыл пароль?;Новый пароль=secret1;ВОССТАНОВИТЬ;Введи код восстановления",
             ";" + kCode + "=QUELL-A;Новый пароль ещё раз=x;ВОССТАНОВИТЬ;Пароли не совпадают"}) {
        const QStringList parts = row.split(';');
        if (!parts[0].isEmpty())
            click(*panel, parts[0]);
        EXPECT_TRUE(error()->isHidden()) << row.toStdString(); // a mode switch hides the old error
        for (const QString& typed : parts.mid(1, parts.size() - 3))
            field(typed.section('=', 0, 0))->setText(typed.section('=', 1));
        click(*panel, parts[parts.size() - 2]);
        EXPECT_EQ(error()->isHidden() ? "" : error()->text(), parts.last());
        error()->hide();
    }
    EXPECT_TRUE(statuses->isEmpty()); // nothing was sent
    click(*panel, "Вернуться ко входу");
    // Leaving the create form stops its search, which then reports nothing.
    click(*panel, "Нет аккаунта? Создать");
    fill("patient", "secret123");
    click(*panel, "СОЗДАТЬ");
    ASSERT_TRUE(waitFor([this] { return lastStatus() == "Проверка, что ты не бот..."; }));
    click(*panel, "Забыл пароль?");
    EXPECT_EQ(title() + ": " + lastStatus(), "Восстановление доступа: Создание аккаунта отменено");
    EXPECT_TRUE(field("Никнейм")->isEnabled());
    const qsizetype reported = statuses->size();
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(statuses->size(), reported);
    panel.reset(); // before the settings it uses
}

// Remember both: the code dialog shows once, the session is on disk until sign-out;
// then wrong passwords lock the account until a recovery code restores access.
TEST_F(AuthPanelTest, RememberedSessionThenLockOutAndRecovery) {
    open(env.settings());
    remember(" и пароль")->setChecked(true);
    click(*panel, "Нет аккаунта? Создать");
    fill("newbie", "oldpass1");
    const QString first = submitShowingCode("СОЗДАТЬ", [&](RecoveryCodeDialog& dialog) {
        EXPECT_FALSE(field("Никнейм")->isEnabled()); // the form waits behind, still busy
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_FALSE(dialog.close());
    });
    ASSERT_TRUE(panel->isSignedIn());
    EXPECT_EQ(SessionStore::restoreFrom(*env.reopen()).value_or(Session{}).accessToken,
              panel->sessionStore().current().accessToken);
    // Sign-out forgets the session and returns to the sign-in form with the name kept.
    click(*panel, "Выйти из аккаунта");
    EXPECT_EQ(title() + field("Никнейм")->text(), "Входnewbie");
    EXPECT_FALSE(SessionStore::restoreFrom(*env.reopen()));
    // Wrong passwords fail until the server locks the account out: the recovery form.
    for (const QString attempt : {"wrong1", "wrong2"}) {
        signIn("newbie", attempt);
        EXPECT_EQ(title() + ": " + error()->text(), "Вход: Неверный никнейм или пароль.");
    }
    signIn("newbie", "wrong3");
    EXPECT_EQ(title() + ": " + error()->text().section('.', 0, 0),
              "Восстановление доступа: Слишком много неверных попыток входа");
    // A code without a new password lifts the lock-out, keeps the password and is replaced
    // (a new password through recovery: AuthClientTest's secrets case).
    fill("newbie", "");
    field(kCode)->setText("  " + first.toLower());
    EXPECT_NE(submitShowingCode("ВОССТАНОВИТЬ"), first);
    EXPECT_EQ(lastStatus(), "Доступ восстановлен, попробуй войти");
    signIn("newbie", "oldpass1");
    EXPECT_TRUE(panel->isSignedIn());
}

TEST_F(AuthPanelTest, RememberChoicesFoldTheRowAndFollowTheSettings) {
    open(env.settings());
    QWidget* row = remember()->parentWidget();
    remember()->setChecked(false);
    remember(" и пароль")->setChecked(true);
    EXPECT_TRUE(remember()->isChecked());
    ASSERT_TRUE(QTest::qWaitFor([row] { return row->isHidden(); }, 2000));
    remember(" и пароль")->setChecked(false);
    EXPECT_FALSE(row->isHidden()); // shown at once, then grows to its height, effect gone
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return row->maximumHeight() > 0 && !row->graphicsEffect(); }, 2000));
    // Another dialog turns remembering the name off while the form waits behind it.
    env.settings().setRememberLogin(false);
    QEvent activation(QEvent::ActivationChange);
    QCoreApplication::sendEvent(panel.get(), &activation);
    EXPECT_FALSE(remember()->isChecked());
    // Not remembered: this run has the session (and its ban), the file has none of it.
    QSignalSpy banned(panel.get(), &AuthPanel::bannedChanged);
    signIn("villain", "villainpass");
    ASSERT_TRUE(panel->isSignedIn());
    EXPECT_EQ(banned,
              (QList<QVariantList>{{true, "Аккаунт заблокирован навсегда.\nПричина: Читы"}}));
    for (const char* key : {"session/accessToken", "session/clientToken", "session/uuid",
                            "session/opLevel", "player/username"})
        EXPECT_EQ(env.onDisk(key).toString(), "") << key;
    EXPECT_FALSE(SessionStore::restoreFrom(*env.reopen()));
}

} // namespace
} // namespace qbk
