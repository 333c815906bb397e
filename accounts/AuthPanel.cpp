#include "accounts/AuthPanel.h"

#include "accounts/AuthClient.h"
#include "accounts/BanText.h"
#include "accounts/RecoveryCodeDialog.h"
#include "accounts/SessionStore.h"
#include "app/Settings.h"

#include <QCheckBox>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QLineEdit>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

namespace qbk {

namespace {

constexpr int kUsernameMaxLength = 16;
constexpr int kFoldDurationMs = 220;

QLineEdit* textField(const QString& placeholder, QWidget* parent, bool secret = false) {
    auto* field = new QLineEdit(parent);
    field->setPlaceholderText(placeholder);
    field->setAccessibleName(placeholder);
    if (secret)
        field->setEchoMode(QLineEdit::Password);
    return field;
}

void setPlaceholder(QLineEdit* field, const QString& text) {
    field->setPlaceholderText(text);
    field->setAccessibleName(text);
}

} // namespace

AuthPanel::AuthPanel(QWidget* parent) : AuthPanel(Settings::instance(), parent) {}

AuthPanel::AuthPanel(Settings& settings, QWidget* parent)
    : QWidget(parent), settings_(settings), client_(new AuthClient(settings, this)),
      session_(new SessionStore(this)) {
    buildUi();
    connectClient();
    restoreRemembered();
}

QString AuthPanel::username() const {
    return usernameField_->text().trimmed();
}

QPushButton* AuthPanel::linkButton(const QString& text, const QString& styleSheet) {
    auto* button = new QPushButton(text, this);
    button->setFlat(true);
    button->setStyleSheet(styleSheet);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

void AuthPanel::buildUi() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(14);

    titleLabel_ = new QLabel(QStringLiteral("Вход"), this);
    titleLabel_->setObjectName(QStringLiteral("sectionTitle"));
    hintLabel_ = new QLabel(this);
    hintLabel_->setObjectName(QStringLiteral("hintLabel"));
    hintLabel_->setWordWrap(true);
    hintLabel_->setTextFormat(Qt::PlainText); // holds the name the server answered with
    hintLabel_->hide();

    usernameField_ = textField(QStringLiteral("Никнейм"), this);
    usernameField_->setMaxLength(kUsernameMaxLength);
    recoveryCodeField_ =
        textField(QStringLiteral("Код восстановления (QUELL-XXXX-XXXX-XXXX)"), this);
    recoveryCodeField_->hide();
    passwordField_ = textField(QStringLiteral("Пароль"), this, true);
    passwordAgainField_ = textField(QStringLiteral("Пароль ещё раз"), this, true);
    passwordAgainField_->hide();

    errorLabel_ = new QLabel(this);
    errorLabel_->setObjectName(QStringLiteral("hintLabel"));
    errorLabel_->setStyleSheet(QStringLiteral("color: #e06a6a; background: transparent;"));
    errorLabel_->setWordWrap(true);
    errorLabel_->setTextFormat(Qt::PlainText); // server error texts and ban reasons
    errorLabel_->hide();

    rememberLoginRow_ = new QWidget(this);
    auto* rowLayout = new QVBoxLayout(rememberLoginRow_);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rememberLoginBox_ = new QCheckBox(QStringLiteral("Запомнить логин"), rememberLoginRow_);
    rowLayout->addWidget(rememberLoginBox_);
    rememberBothBox_ = new QCheckBox(QStringLiteral("Запомнить логин и пароль"), this);

    submitButton_ = new QPushButton(QStringLiteral("Войти"), this);
    submitButton_->setObjectName(QStringLiteral("playButton"));
    submitButton_->setMinimumHeight(62);
    submitButton_->setCursor(Qt::PointingHandCursor);
    createLink_ = linkButton(QStringLiteral("Нет аккаунта? Создать"),
                             QStringLiteral("background: transparent; border: none; color: "
                                            "#9a9aff;text-decoration: underline; font-size: "
                                            "14px; padding: 4px;"));
    createLink_->setObjectName(QStringLiteral("linkLikeButton"));
    forgotLink_ = linkButton(QStringLiteral("Забыл пароль?"),
                             QStringLiteral("background: transparent; border: none; color: "
                                            "#8b8b98;text-decoration: underline; font-size: "
                                            "13px; padding: 2px;"));
    signOutButton_ = new QPushButton(QStringLiteral("Выйти из аккаунта"), this);
    signOutButton_->setObjectName(QStringLiteral("secondaryButton"));
    signOutButton_->setCursor(Qt::PointingHandCursor);
    signOutButton_->hide();

    for (QWidget* widget :
         {static_cast<QWidget*>(titleLabel_), static_cast<QWidget*>(hintLabel_),
          static_cast<QWidget*>(usernameField_), static_cast<QWidget*>(recoveryCodeField_),
          static_cast<QWidget*>(passwordField_), static_cast<QWidget*>(passwordAgainField_),
          static_cast<QWidget*>(errorLabel_), rememberLoginRow_,
          static_cast<QWidget*>(rememberBothBox_)})
        column->addWidget(widget);
    column->addSpacing(6);
    column->addWidget(submitButton_);
    column->addWidget(createLink_, 0, Qt::AlignHCenter);
    column->addWidget(forgotLink_, 0, Qt::AlignHCenter);
    column->addWidget(signOutButton_);
    column->addStretch();

    connect(submitButton_, &QPushButton::clicked, this, &AuthPanel::submit);
    connect(usernameField_, &QLineEdit::returnPressed, this, &AuthPanel::submit);
    connect(passwordField_, &QLineEdit::returnPressed, this, &AuthPanel::submit);
    connect(signOutButton_, &QPushButton::clicked, this, &AuthPanel::signOut);
    connect(createLink_, &QPushButton::clicked, this,
            [this] { setMode(mode_ == Mode::Register ? Mode::Login : Mode::Register); });
    forgotAction_ =
        connect(forgotLink_, &QPushButton::clicked, this, [this] { setMode(Mode::Recover); });
    connect(rememberBothBox_, &QCheckBox::toggled, this, &AuthPanel::onRememberBothToggled);
}

void AuthPanel::connectClient() {
    connect(client_, &AuthClient::sessionReady, session_, &SessionStore::begin);
    connect(client_, &AuthClient::busy, this, [this](const QString& what) {
        setBusy(true);
        errorLabel_->hide();
        emit statusMessage(what);
    });
    connect(client_, &AuthClient::registrationSent, this, [this] {
        registrationSent_ = true;
        forgotLink_->setEnabled(false);
    });
    connect(client_, &AuthClient::registered, this, [this](const QString& username) {
        endRegistration();
        newAccountName_ = username;
    });
    connect(client_, &AuthClient::failed, this, [this](const QString& message) {
        setBusy(false);
        endRegistration();
        if (!newAccountName_.isEmpty()) {
            // The account exists: a retry is a sign-in, not a second registration.
            setMode(Mode::Login);
            usernameField_->setText(std::exchange(newAccountName_, QString()));
        }
        showError(message);
        emit statusMessage(QStringLiteral("Не удалось войти"));
    });
    connect(client_, &AuthClient::lockedOut, this, [this](const QString& message) {
        newAccountName_.clear();
        setBusy(false);
        setMode(Mode::Recover);
        showError(message);
    });
    connect(client_, &AuthClient::recovered, this,
            [this](const QString& username, bool passwordChanged) {
                setBusy(false);
                setMode(Mode::Login);
                usernameField_->setText(username);
                passwordField_->clear();
                emit statusMessage(passwordChanged
                                       ? QStringLiteral("Пароль изменён, войди с новым")
                                       : QStringLiteral("Доступ восстановлен, попробуй войти"));
            });
    connect(client_, &AuthClient::recoveryCodeIssued, this, [this](const QString& code) {
        RecoveryCodeDialog dialog(code, this);
        dialog.exec();
    });
    connect(client_, &AuthClient::accountBanned, this, &AuthPanel::showBan);
    connect(client_, &AuthClient::loggedIn, this, [this](const QString& username) {
        newAccountName_.clear();
        completeSignIn(username);
    });
}

void AuthPanel::endRegistration() {
    registering_ = false;
    registrationSent_ = false;
    forgotLink_->setEnabled(true);
}

void AuthPanel::restoreRemembered() {
    const bool rememberPassword = settings_.rememberPassword();
    rememberLoginSeen_ = settings_.rememberLogin();
    {
        // Restoring is not a toggle by the player: the row folds at once, without animation.
        const QSignalBlocker blockLogin(rememberLoginBox_);
        const QSignalBlocker blockBoth(rememberBothBox_);
        rememberLoginBox_->setChecked(rememberLoginSeen_);
        rememberBothBox_->setChecked(rememberPassword);
    }
    if (rememberPassword) {
        rememberLoginRow_->setMaximumHeight(0);
        rememberLoginRow_->hide();
    }
    usernameField_->setText(settings_.username());
    if (!rememberPassword)
        return;
    if (const auto remembered = SessionStore::restoreFrom(settings_)) {
        session_->begin(*remembered);
        showSignedIn(remembered->username);
    }
}

void AuthPanel::setMode(Mode mode) {
    if (registrationSent_)
        return; // the links are held; nothing may abandon an account being created
    if (registering_ && mode != Mode::Register) {
        // Leaving the form abandons the account: the search stops and reports nothing more.
        registering_ = false;
        client_->cancelRegistration();
        setBusy(false);
        emit statusMessage(QStringLiteral("Создание аккаунта отменено"));
    }
    mode_ = mode;
    const bool recover = mode == Mode::Recover;
    const bool registering = mode == Mode::Register;
    titleLabel_->setText(recover ? QStringLiteral("Восстановление доступа")
                         : registering ? QStringLiteral("Создать аккаунт")
                                       : QStringLiteral("Вход"));
    submitButton_->setText(recover       ? QStringLiteral("ВОССТАНОВИТЬ")
                           : registering ? QStringLiteral("СОЗДАТЬ")
                                         : QStringLiteral("ВОЙТИ"));
    setPlaceholder(passwordField_,
                   recover ? QStringLiteral("Новый пароль") : QStringLiteral("Пароль"));
    setPlaceholder(passwordAgainField_, recover ? QStringLiteral("Новый пароль ещё раз")
                                                : QStringLiteral("Пароль ещё раз"));
    recoveryCodeField_->clear();
    recoveryCodeField_->setVisible(recover);
    passwordAgainField_->clear();
    passwordAgainField_->setVisible(recover || registering);
    createLink_->setVisible(!recover);
    createLink_->setText(registering ? QStringLiteral("Уже есть аккаунт? Войти")
                                     : QStringLiteral("Нет аккаунта? Создать"));
    forgotLink_->setText(recover ? QStringLiteral("Вернуться ко входу")
                                 : QStringLiteral("Забыл пароль?"));
    disconnect(forgotAction_);
    const Mode next = recover ? Mode::Login : Mode::Recover;
    forgotAction_ =
        connect(forgotLink_, &QPushButton::clicked, this, [this, next] { setMode(next); });
    errorLabel_->hide();
}

void AuthPanel::submit() {
    const QString username = usernameField_->text().trimmed();
    const QString password = passwordField_->text();
    if (username.isEmpty())
        return showError(QStringLiteral("Введи никнейм"));
    const bool codeGiven = !recoveryCodeField_->text().trimmed().isEmpty();
    // With a code, recovery may keep the old password: it then only lifts a lock-out.
    if (password.isEmpty() && !(mode_ == Mode::Recover && codeGiven))
        return showError(QStringLiteral("Введи пароль"));
    const bool passwordsDiffer = password != passwordAgainField_->text();
    switch (mode_) {
    case Mode::Recover:
        if (!codeGiven)
            return showError(QStringLiteral("Введи код восстановления"));
        if (passwordsDiffer)
            return showError(QStringLiteral("Пароли не совпадают"));
        client_->recover(username, recoveryCodeField_->text(), password);
        return;
    case Mode::Register:
        if (passwordsDiffer)
            return showError(QStringLiteral("Пароли не совпадают"));
        registering_ = true;
        client_->registerAccount(username, password);
        return;
    case Mode::Login:
        client_->login(username, password);
        return;
    }
}

void AuthPanel::completeSignIn(const QString& username) {
    setBusy(false);
    registering_ = false;
    const bool rememberLogin = rememberLoginBox_->isChecked();
    const bool rememberBoth = rememberBothBox_->isChecked();
    settings_.setRememberLogin(rememberLogin);
    rememberLoginSeen_ = rememberLogin;
    settings_.setRememberPassword(rememberBoth);
    settings_.setUsername(rememberLogin ? username : QString());
    if (rememberBoth)
        session_->saveTo(settings_);
    else
        settings_.clearSession();
    settings_.sync();
    showSignedIn(username);
    emit statusMessage(QStringLiteral("Вход выполнен: ") + username);
}

void AuthPanel::showSignedIn(const QString& username) {
    signedIn_ = true;
    titleLabel_->setText(QStringLiteral("Аккаунт"));
    hintLabel_->setText(QStringLiteral("Ты вошёл как ") + username);
    hintLabel_->show();
    // The recovery form has nothing to offer a signed-in player, so its link and field go too.
    for (QWidget* widget :
         {static_cast<QWidget*>(usernameField_), static_cast<QWidget*>(passwordField_),
          static_cast<QWidget*>(passwordAgainField_), static_cast<QWidget*>(recoveryCodeField_),
          static_cast<QWidget*>(errorLabel_), rememberLoginRow_,
          static_cast<QWidget*>(rememberBothBox_), static_cast<QWidget*>(submitButton_),
          static_cast<QWidget*>(createLink_), static_cast<QWidget*>(forgotLink_)})
        widget->hide();
    signOutButton_->show();
    usernameField_->setText(username);
    emit signedInChanged(true, username);
}

void AuthPanel::signOut() {
    signedIn_ = false;
    session_->end();
    settings_.clearSession();
    settings_.sync();
    hintLabel_->hide();
    usernameField_->show();
    passwordField_->show();
    passwordField_->clear();
    rememberBothBox_->show();
    rememberLoginRow_->setVisible(!rememberBothBox_->isChecked());
    submitButton_->show();
    createLink_->show();
    forgotLink_->show();
    signOutButton_->hide();
    syncRememberLogin();
    setMode(Mode::Login);
    emit signedInChanged(false, QString());
    emit statusMessage(QStringLiteral("Вы вышли из аккаунта"));
}

void AuthPanel::showBan(const QString& reason, qint64 untilUnix) {
    const QString when = banEndText(Session::Ban{reason, untilUnix});
    const QString text = QStringLiteral("Аккаунт заблокирован %1.\nПричина: %2").arg(when, reason);
    showError(text);
    emit bannedChanged(true, text);
    emit statusMessage(QStringLiteral("Аккаунт заблокирован ") + when);
}

bool AuthPanel::hasError() const {
    return !errorLabel_->isHidden();
}

void AuthPanel::setBusy(bool busy) {
    busy_ = busy;
    for (QWidget* widget :
         {static_cast<QWidget*>(submitButton_), static_cast<QWidget*>(createLink_),
          static_cast<QWidget*>(usernameField_), static_cast<QWidget*>(passwordField_),
          static_cast<QWidget*>(passwordAgainField_)})
        widget->setEnabled(!busy);
}

void AuthPanel::showError(const QString& text) {
    errorLabel_->setText(text);
    errorLabel_->show();
}

void AuthPanel::onRememberBothToggled(bool on) {
    if (on)
        rememberLoginBox_->setChecked(true);
    animateRememberLogin(!on);
}

void AuthPanel::animateRememberLogin(bool show) {
    if (rememberAnimation_)
        rememberAnimation_->stop(); // a quick second toggle takes over from where the row is
    if (show)
        rememberLoginRow_->show();
    auto* effect = new QGraphicsOpacityEffect(rememberLoginRow_);
    rememberLoginRow_->setGraphicsEffect(effect);
    const int height = rememberLoginBox_->sizeHint().height();

    auto* fade = new QPropertyAnimation(effect, "opacity");
    fade->setDuration(kFoldDurationMs);
    fade->setStartValue(show ? 0.0 : 1.0);
    fade->setEndValue(show ? 1.0 : 0.0);
    auto* fold = new QPropertyAnimation(rememberLoginRow_, "maximumHeight");
    fold->setDuration(kFoldDurationMs);
    fold->setEasingCurve(QEasingCurve::InOutCubic);
    fold->setStartValue(show ? 0 : height);
    fold->setEndValue(show ? height : 0);

    auto* group = new QParallelAnimationGroup(this);
    group->addAnimation(fade);
    group->addAnimation(fold);
    connect(group, &QAbstractAnimation::finished, this, [this, show] {
        if (!show)
            rememberLoginRow_->hide();
        rememberLoginRow_->setGraphicsEffect(nullptr);
    });
    rememberAnimation_ = group;
    group->start(QAbstractAnimation::DeleteWhenStopped);
}

void AuthPanel::syncRememberLogin() {
    const bool stored = settings_.rememberLogin();
    if (stored == rememberLoginSeen_)
        return;
    rememberLoginSeen_ = stored;
    rememberLoginBox_->setChecked(stored);
    // Remembering the session needs the remembered name, so it cannot stay on without it.
    if (!stored)
        rememberBothBox_->setChecked(false);
}

void AuthPanel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && !signedIn_ && !busy_)
        syncRememberLogin();
    QWidget::changeEvent(event);
}

} // namespace qbk
