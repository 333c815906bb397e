// The sign-in panel driven through its widgets against the stand-in account server.

#include "accounts/AuthPanel.h"

#include "AccountUiSupport.h"
#include "accounts/RecoveryCodeDialog.h"
#include "accounts/SessionStore.h"
#include "tests/app/QtTestApp.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDateTime>
#include <QGuiApplication>
#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>
#include <gtest/gtest.h>

namespace qbk {
namespace {

using test::click;
using test::kServerWaitMs;
using test::ServerBackedSettings;
using test::typeInto;

const QString kCodePattern = QStringLiteral("^QUELL-[0-9A-Z]{4}-[0-9A-Z]{4}-[0-9A-Z]{4}$");

class AuthPanelTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(env.ready()); }

    AuthPanel& openPanel() { return openPanel(env.settings()); }
    AuthPanel& openPanel(Settings& settings) {
        panel = std::make_unique<AuthPanel>(settings, nullptr);
        statuses = std::make_unique<QSignalSpy>(panel.get(), &AuthPanel::statusMessage);
        signedIn = std::make_unique<QSignalSpy>(panel.get(), &AuthPanel::signedInChanged);
        banned = std::make_unique<QSignalSpy>(panel.get(), &AuthPanel::bannedChanged);
        panel->show();
        return *panel;
    }

    QLabel* label(const QString& objectName, int index = 0) {
        const auto labels = panel->findChildren<QLabel*>(objectName);
        return index < labels.size() ? labels[index] : nullptr;
    }
    QLabel* title() { return label("sectionTitle"); }
    QLabel* hint() { return label("hintLabel", 0); }
    QLabel* error() { return label("hintLabel", 1); }
    QCheckBox* box(const QString& text) {
        for (QCheckBox* candidate : panel->findChildren<QCheckBox*>())
            if (candidate->text() == text)
                return candidate;
        ADD_FAILURE() << "no check box " << text.toStdString();
        return nullptr;
    }
    QCheckBox* rememberLogin() { return box("Запомнить логин"); }
    QCheckBox* rememberBoth() { return box("Запомнить логин и пароль"); }
    QPushButton* button(const QString& text) { return test::buttonWithText(*panel, text); }
    QLineEdit* field(const QString& placeholder) {
        return test::fieldWithPlaceholder(*panel, placeholder);
    }
    QStringList statusTexts() const {
        QStringList texts;
        for (const QList<QVariant>& args : *statuses)
            texts << args[0].toString();
        return texts;
    }
    QString lastStatus() const { return statuses->isEmpty() ? QString() : statusTexts().last(); }

    bool waitSignedIn() {
        return QTest::qWaitFor([this] { return panel->isSignedIn(); }, kServerWaitMs);
    }
    bool waitUntilIdle() {
        return QTest::qWaitFor([this] { return button(submitText())->isEnabled(); }, kServerWaitMs);
    }
    QString submitText() {
        for (const QString& text : QStringList{"Войти", "ВОЙТИ", "СОЗДАТЬ", "ВОССТАНОВИТЬ"})
            for (QPushButton* candidate : panel->findChildren<QPushButton*>())
                if (candidate->text() == text)
                    return text;
        return {};
    }

    void signIn(const QString& username, const QString& password) {
        typeInto(*panel, "Никнейм", username);
        typeInto(*panel, "Пароль", password);
        QTest::keyClick(field("Пароль"), Qt::Key_Return);
    }

    // Creates an account through the form and returns the recovery code the dialog showed.
    QString createAccount(const QString& username, const QString& password) {
        click(*panel, "Нет аккаунта? Создать");
        typeInto(*panel, "Никнейм", username);
        typeInto(*panel, "Пароль", password);
        typeInto(*panel, "Пароль ещё раз", password);
        QString shownCode;
        test::whenModalOpens<RecoveryCodeDialog>([&](RecoveryCodeDialog& dialog) {
            shownCode = dialog.findChild<QLineEdit*>()->text();
            test::click(dialog, "Запомнил");
        });
        click(*panel, "СОЗДАТЬ");
        EXPECT_TRUE(waitSignedIn());
        return shownCode;
    }

    ServerBackedSettings env;
    std::unique_ptr<AuthPanel> panel;
    std::unique_ptr<QSignalSpy> statuses;
    std::unique_ptr<QSignalSpy> signedIn;
    std::unique_ptr<QSignalSpy> banned;
};

TEST_F(AuthPanelTest, StartsOnTheSignInFormWithItsNamedParts) {
    AuthPanel& p = openPanel();
    EXPECT_EQ(title()->text(), "Вход");
    EXPECT_TRUE(hint()->isHidden());
    EXPECT_TRUE(error()->isHidden());
    EXPECT_EQ(error()->styleSheet(), "color: #e06a6a; background: transparent;");
    EXPECT_EQ(button("Войти")->objectName(), "playButton");
    EXPECT_EQ(button("Войти")->minimumHeight(), 62);
    EXPECT_EQ(button("Нет аккаунта? Создать")->objectName(), "linkLikeButton");
    EXPECT_TRUE(button("Выйти из аккаунта")->isHidden());
    EXPECT_EQ(button("Выйти из аккаунта")->objectName(), "secondaryButton");
    EXPECT_EQ(field("Никнейм")->maxLength(), 16);
    EXPECT_EQ(field("Пароль")->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(field("Пароль ещё раз")->isHidden());
    EXPECT_TRUE(field("Код восстановления (QUELL-XXXX-XXXX-XXXX)")->isHidden());
    EXPECT_TRUE(rememberLogin()->isChecked()); // default on
    EXPECT_FALSE(rememberBoth()->isChecked());
    for (QPushButton* push : p.findChildren<QPushButton*>())
        EXPECT_EQ(push->cursor().shape(), Qt::PointingHandCursor) << push->text().toStdString();
    EXPECT_FALSE(p.isSignedIn());
}

TEST_F(AuthPanelTest, ValidationStopsAtTheFirstFailingRuleWithoutAsking) {
    openPanel();
    typeInto(*panel, "Никнейм", "   ");
    click(*panel, "Войти");
    EXPECT_EQ(error()->text(), "Введи никнейм");
    EXPECT_FALSE(error()->isHidden());

    typeInto(*panel, "Никнейм", "player");
    click(*panel, "Войти");
    EXPECT_EQ(error()->text(), "Введи пароль");

    click(*panel, "Нет аккаунта? Создать");
    EXPECT_TRUE(error()->isHidden()); // a mode switch hides the old error
    typeInto(*panel, "Пароль", "secret1");
    typeInto(*panel, "Пароль ещё раз", "Secret1");
    click(*panel, "СОЗДАТЬ");
    EXPECT_EQ(error()->text(), "Пароли не совпадают");

    click(*panel, "Забыл пароль?");
    typeInto(*panel, "Новый пароль", "");
    click(*panel, "ВОССТАНОВИТЬ");
    EXPECT_EQ(error()->text(), "Введи пароль"); // even with the code empty too
    typeInto(*panel, "Новый пароль", "secret1");
    click(*panel, "ВОССТАНОВИТЬ");
    EXPECT_EQ(error()->text(), "Введи код восстановления");
    EXPECT_TRUE(statuses->isEmpty()); // nothing was sent
    EXPECT_EQ(field("Никнейм")->text(), "player");
}

TEST_F(AuthPanelTest, ModesSwitchTextsAndFields) {
    openPanel();
    click(*panel, "Нет аккаунта? Создать");
    EXPECT_EQ(title()->text(), "Создать аккаунт");
    EXPECT_FALSE(field("Пароль ещё раз")->isHidden());
    EXPECT_FALSE(button("Уже есть аккаунт? Войти")->isHidden());

    click(*panel, "Уже есть аккаунт? Войти");
    EXPECT_EQ(title()->text(), "Вход");
    EXPECT_NE(button("ВОЙТИ"), nullptr);
    EXPECT_TRUE(field("Пароль ещё раз")->isHidden());

    typeInto(*panel, "Пароль", "kept");
    click(*panel, "Забыл пароль?");
    EXPECT_EQ(title()->text(), "Восстановление доступа");
    EXPECT_FALSE(field("Код восстановления (QUELL-XXXX-XXXX-XXXX)")->isHidden());
    EXPECT_FALSE(field("Новый пароль ещё раз")->isHidden());
    EXPECT_TRUE(button("Нет аккаунта? Создать")->isHidden());
    EXPECT_EQ(field("Новый пароль")->accessibleName(), "Новый пароль");

    // The forgot link's action follows the mode: back to the sign-in form.
    click(*panel, "Вернуться ко входу");
    EXPECT_EQ(title()->text(), "Вход");
    EXPECT_TRUE(field("Код восстановления (QUELL-XXXX-XXXX-XXXX)")->isHidden());
    EXPECT_NE(button("Забыл пароль?"), nullptr);
}

TEST_F(AuthPanelTest, RememberBothFoldsAndUnfoldsTheRememberLoginRow) {
    openPanel();
    QWidget* row = rememberLogin()->parentWidget();
    rememberLogin()->setChecked(false);
    rememberBoth()->setChecked(true);
    EXPECT_TRUE(rememberLogin()->isChecked());
    ASSERT_TRUE(QTest::qWaitFor([row] { return row->isHidden(); }, 2000));
    EXPECT_EQ(row->maximumHeight(), 0);
    EXPECT_EQ(row->graphicsEffect(), nullptr);

    rememberBoth()->setChecked(false);
    EXPECT_FALSE(row->isHidden()); // shown at once, then grows
    ASSERT_TRUE(QTest::qWaitFor(
        [row] { return row->maximumHeight() > 0 && row->graphicsEffect() == nullptr; }, 2000));
    EXPECT_TRUE(rememberLogin()->isChecked());

    // A quick second toggle takes over the running fold and still ends folded.
    rememberBoth()->setChecked(true);
    rememberBoth()->setChecked(false);
    rememberBoth()->setChecked(true);
    ASSERT_TRUE(QTest::qWaitFor([row] { return row->isHidden(); }, 2000));
    QTest::qWait(300);
    EXPECT_TRUE(row->isHidden());
    EXPECT_EQ(row->maximumHeight(), 0);
}

TEST_F(AuthPanelTest, CreateShowsTheCodeOnceThenSignsInAndIsRememberedAcrossRestarts) {
    openPanel();
    rememberBoth()->setChecked(true);
    click(*panel, "Нет аккаунта? Создать");
    typeInto(*panel, "Никнейм", "newbie");
    typeInto(*panel, "Пароль", "secret123");
    typeInto(*panel, "Пароль ещё раз", "secret123");

    QString shownCode;
    QString clipboardText;
    QString copiedLabel;
    bool escapeIgnored = false;
    test::whenModalOpens<RecoveryCodeDialog>([&](RecoveryCodeDialog& dialog) {
        // The form waits behind the dialog, still busy.
        EXPECT_FALSE(button("СОЗДАТЬ")->isEnabled());
        shownCode = dialog.findChild<QLineEdit*>()->text();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        escapeIgnored = dialog.isVisible();
        test::click(dialog, "Скопировать");
        clipboardText = QGuiApplication::clipboard()->text();
        copiedLabel = dialog.findChildren<QPushButton*>().first()->text();
        test::click(dialog, "Запомнил");
    });
    click(*panel, "СОЗДАТЬ");
    ASSERT_TRUE(waitSignedIn());

    EXPECT_TRUE(QRegularExpression(kCodePattern).match(shownCode).hasMatch())
        << shownCode.toStdString();
    EXPECT_TRUE(escapeIgnored);
    EXPECT_EQ(clipboardText, shownCode);
    EXPECT_EQ(copiedLabel, "Скопировано");
    const QStringList expected{"Получаю задачу от сервера...", "Проверка, что ты не бот...",
                               "Создаю аккаунт...", "Вход...", "Вход выполнен: newbie"};
    EXPECT_EQ(statusTexts(), expected);

    // Signed-in view.
    EXPECT_EQ(title()->text(), "Аккаунт");
    EXPECT_EQ(hint()->text(), "Ты вошёл как newbie");
    EXPECT_FALSE(hint()->isHidden());
    EXPECT_FALSE(button("Выйти из аккаунта")->isHidden());
    EXPECT_TRUE(field("Никнейм")->isHidden());
    EXPECT_TRUE(button("СОЗДАТЬ")->isHidden());
    ASSERT_EQ(signedIn->size(), 1);
    EXPECT_EQ(signedIn->at(0), (QList<QVariant>{true, "newbie"}));
    EXPECT_EQ(panel->username(), "newbie");
    const Session session = panel->sessionStore().current(); // a copy: the panel is replaced below
    EXPECT_EQ(session.username, "newbie");
    EXPECT_FALSE(session.accessToken.isEmpty());

    // The session reached the file on disk.
    EXPECT_EQ(env.onDisk("session/accessToken").toString(), session.accessToken);
    EXPECT_EQ(env.onDisk("session/uuid").toString(), session.uuid);
    EXPECT_EQ(env.onDisk("player/username").toString(), "newbie");
    EXPECT_TRUE(env.onDisk("player/rememberPassword").toBool());

    // A restarted launcher is signed in at once, without asking the server.
    env.server.stop();
    auto restarted = env.reopen();
    openPanel(*restarted);
    EXPECT_TRUE(panel->isSignedIn());
    EXPECT_EQ(hint()->text(), "Ты вошёл как newbie");
    EXPECT_FALSE(button("Выйти из аккаунта")->isHidden());
    EXPECT_TRUE(rememberBoth()->isChecked());
    EXPECT_EQ(panel->sessionStore().current().accessToken, session.accessToken);

    // Sign-out forgets the session and returns to the sign-in form with the name kept.
    click(*panel, "Выйти из аккаунта");
    EXPECT_FALSE(panel->isSignedIn());
    EXPECT_EQ(title()->text(), "Вход");
    EXPECT_EQ(field("Никнейм")->text(), "newbie");
    EXPECT_TRUE(field("Пароль")->text().isEmpty());
    EXPECT_FALSE(field("Пароль")->isHidden());
    EXPECT_TRUE(button("Выйти из аккаунта")->isHidden());
    EXPECT_TRUE(rememberLogin()->parentWidget()->isHidden()); // remember-both still on
    EXPECT_FALSE(panel->sessionStore().isSignedIn());
    EXPECT_EQ(signedIn->last(), (QList<QVariant>{false, QString()}));
    EXPECT_EQ(lastStatus(), "Вы вышли из аккаунта");
    EXPECT_FALSE(env.onDisk("session/accessToken").isValid());

    auto afterSignOut = env.reopen();
    openPanel(*afterSignOut);
    EXPECT_FALSE(panel->isSignedIn());
    EXPECT_EQ(field("Никнейм")->text(), "newbie");
}

TEST_F(AuthPanelTest, SessionNotRememberedStaysInMemoryOnly) {
    openPanel();
    rememberLogin()->setChecked(false);
    signIn("player", "playpass");
    ASSERT_TRUE(waitSignedIn());
    EXPECT_EQ(lastStatus(), "Вход выполнен: player");
    EXPECT_EQ(statusTexts().first(), "Вход...");

    // This run can still use the session; the file keeps neither it nor the name.
    EXPECT_FALSE(panel->sessionStore().current().accessToken.isEmpty());
    EXPECT_EQ(panel->sessionStore().current().username, "player");
    for (const char* key :
         {"session/accessToken", "session/clientToken", "session/uuid", "session/opLevel"})
        EXPECT_FALSE(env.onDisk(key).isValid()) << key;
    EXPECT_EQ(env.onDisk("player/username").toString(), "");
    EXPECT_FALSE(env.onDisk("player/rememberLogin").toBool());

    auto restarted = env.reopen();
    openPanel(*restarted);
    EXPECT_FALSE(panel->isSignedIn());
    EXPECT_TRUE(field("Никнейм")->text().isEmpty());
    EXPECT_FALSE(rememberLogin()->isChecked());
}

TEST_F(AuthPanelTest, WrongPasswordsEndInTheLockOutOnTheRecoveryForm) {
    openPanel();
    for (int attempt = 0; attempt < 2; ++attempt) {
        signIn("player", "wrong-password");
        ASSERT_TRUE(waitUntilIdle());
        EXPECT_EQ(error()->text(), "Неверный никнейм или пароль.");
        EXPECT_FALSE(error()->isHidden());
        EXPECT_EQ(lastStatus(), "Не удалось войти");
        EXPECT_EQ(title()->text(), "Вход");
        EXPECT_EQ(field("Никнейм")->text(), "player"); // the form is left as it was
    }
    signIn("player", "wrong-password");
    ASSERT_TRUE(QTest::qWaitFor([this] { return title()->text() == "Восстановление доступа"; },
                                kServerWaitMs));
    EXPECT_TRUE(error()->text().startsWith("Слишком много неверных попыток входа."))
        << error()->text().toStdString();
    EXPECT_FALSE(error()->isHidden());
    EXPECT_TRUE(button("ВОССТАНОВИТЬ")->isEnabled());
    EXPECT_FALSE(panel->isSignedIn());
    EXPECT_FALSE(env.onDisk("player/username").isValid()); // nothing written on a failure

    // Even the right password is refused now.
    click(*panel, "Вернуться ко входу");
    signIn("player", "playpass");
    ASSERT_TRUE(QTest::qWaitFor([this] { return title()->text() == "Восстановление доступа"; },
                                kServerWaitMs));
    EXPECT_FALSE(panel->isSignedIn());
}

TEST_F(AuthPanelTest, RecoveryWithANewPasswordAndWithoutOne) {
    openPanel();
    const QString firstCode = createAccount("forgetful", "oldpass1");
    ASSERT_FALSE(firstCode.isEmpty());
    click(*panel, "Выйти из аккаунта");

    // With a new password: a fresh code is shown and the old password stops working.
    click(*panel, "Забыл пароль?");
    typeInto(*panel, "Никнейм", "forgetful");
    typeInto(*panel, "Код восстановления (QUELL-XXXX-XXXX-XXXX)", "  " + firstCode.toLower());
    typeInto(*panel, "Новый пароль", "newpass1");
    typeInto(*panel, "Новый пароль ещё раз", "newpass1");
    QString secondCode;
    test::whenModalOpens<RecoveryCodeDialog>([&](RecoveryCodeDialog& dialog) {
        secondCode = dialog.findChild<QLineEdit*>()->text();
        test::click(dialog, "Запомнил");
    });
    click(*panel, "ВОССТАНОВИТЬ");
    ASSERT_TRUE(QTest::qWaitFor([this] { return lastStatus() == "Пароль изменён, войди с новым"; },
                                kServerWaitMs));
    EXPECT_TRUE(QRegularExpression(kCodePattern).match(secondCode).hasMatch());
    EXPECT_NE(secondCode, firstCode);
    EXPECT_EQ(title()->text(), "Вход");
    EXPECT_EQ(field("Никнейм")->text(), "forgetful");
    EXPECT_TRUE(field("Пароль")->text().isEmpty());

    signIn("forgetful", "oldpass1");
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_EQ(error()->text(), "Неверный никнейм или пароль.");

    // Without one: the used code is refused, the new code restores access, the password stays.
    click(*panel, "Забыл пароль?");
    typeInto(*panel, "Новый пароль", "");
    typeInto(*panel, "Код восстановления (QUELL-XXXX-XXXX-XXXX)", firstCode);
    click(*panel, "ВОССТАНОВИТЬ");
    ASSERT_TRUE(waitUntilIdle());
    EXPECT_EQ(error()->text(), "Неверный никнейм или код восстановления.");

    typeInto(*panel, "Код восстановления (QUELL-XXXX-XXXX-XXXX)", secondCode);
    test::whenModalOpens<RecoveryCodeDialog>(
        [](RecoveryCodeDialog& dialog) { test::click(dialog, "Запомнил"); });
    click(*panel, "ВОССТАНОВИТЬ");
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return lastStatus() == "Доступ восстановлен, попробуй войти"; }, kServerWaitMs));
    signIn("forgetful", "newpass1");
    ASSERT_TRUE(waitSignedIn());
}

TEST_F(AuthPanelTest, BannedAccountReportsItsBanAndStillSignsIn) {
    openPanel();
    signIn("villain", "villainpass");
    ASSERT_TRUE(waitSignedIn());
    ASSERT_EQ(banned->size(), 1);
    EXPECT_EQ(banned->at(0),
              (QList<QVariant>{true, "Аккаунт заблокирован навсегда.\nПричина: Читы"}));
    EXPECT_EQ(statusTexts(),
              (QStringList{"Вход...", "Аккаунт заблокирован навсегда", "Вход выполнен: villain"}));
    ASSERT_TRUE(panel->sessionStore().current().ban.has_value());
    EXPECT_EQ(panel->sessionStore().current().ban->reason, "Читы");
}

TEST_F(AuthPanelTest, DatedBanNamesItsEnd) {
    ServerBackedSettings dated(
        {"--seed-account", "cheat:cheatpass", "--seed-ban", "cheat:2:Гриферство"});
    ASSERT_TRUE(dated.ready());
    openPanel(dated.settings());
    signIn("cheat", "cheatpass");
    ASSERT_TRUE(waitSignedIn());
    ASSERT_EQ(banned->size(), 1);
    const QString text = banned->at(0).at(1).toString();
    static const QRegularExpression shape(
        "^Аккаунт заблокирован до (\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d)\\.\\nПричина: "
        "Гриферство$");
    const auto match = shape.match(text);
    ASSERT_TRUE(match.hasMatch()) << text.toStdString();
    const QDateTime end = QDateTime::fromString(match.captured(1), "dd.MM.yyyy HH:mm:ss");
    EXPECT_NEAR(end.toSecsSinceEpoch(), QDateTime::currentSecsSinceEpoch() + 2 * 86400, 120);
}

TEST_F(AuthPanelTest, LeavingTheRegistrationFormStopsItsSearch) {
    // A challenge this hard would keep both cores busy for many minutes.
    ServerBackedSettings hard({"--difficulty", "40"});
    ASSERT_TRUE(hard.ready());
    openPanel(hard.settings());
    click(*panel, "Нет аккаунта? Создать");
    typeInto(*panel, "Никнейм", "patient");
    typeInto(*panel, "Пароль", "secret123");
    typeInto(*panel, "Пароль ещё раз", "secret123");
    click(*panel, "СОЗДАТЬ");
    ASSERT_TRUE(QTest::qWaitFor([this] { return lastStatus() == "Проверка, что ты не бот..."; },
                                kServerWaitMs));
    EXPECT_FALSE(field("Никнейм")->isEnabled());

    click(*panel, "Забыл пароль?");
    EXPECT_EQ(title()->text(), "Восстановление доступа");
    EXPECT_EQ(lastStatus(), "Создание аккаунта отменено");
    EXPECT_TRUE(field("Никнейм")->isEnabled());
    EXPECT_TRUE(button("ВОССТАНОВИТЬ")->isEnabled());

    // The search ends soon and reports nothing.
    const qsizetype reported = statuses->size();
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(5000));
    QTest::qWait(100);
    EXPECT_EQ(statuses->size(), reported);
    EXPECT_TRUE(error()->isHidden());
    EXPECT_FALSE(panel->isSignedIn());
}

TEST_F(AuthPanelTest, RereadsTheRememberLoginChoiceWhenTheFormComesBack) {
    openPanel();
    EXPECT_TRUE(rememberLogin()->isChecked());
    // Another dialog turns it off while the sign-in form waits behind it.
    env.settings().setRememberLogin(false);
    QEvent activation(QEvent::ActivationChange);
    QCoreApplication::sendEvent(panel.get(), &activation);
    EXPECT_FALSE(rememberLogin()->isChecked());

    signIn("player", "playpass");
    ASSERT_TRUE(waitSignedIn());
    EXPECT_EQ(env.onDisk("player/username").toString(), "");

    // Turned on again while signed in: the form shown by sign-out follows it.
    env.settings().setRememberLogin(true);
    click(*panel, "Выйти из аккаунта");
    EXPECT_TRUE(rememberLogin()->isChecked());

    // A choice the player made in the form itself survives a mere activation.
    rememberLogin()->setChecked(false);
    QCoreApplication::sendEvent(panel.get(), &activation);
    EXPECT_FALSE(rememberLogin()->isChecked());
}

} // namespace
} // namespace qbk
