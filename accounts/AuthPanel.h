#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class QAbstractAnimation;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qbk {

class AuthClient;
class SessionStore;
class Settings;

// The account card: sign-in, account creation and recovery forms, and once signed in a short
// view with a sign-out button. The session of the run lives in its SessionStore.
class AuthPanel : public QWidget {
    Q_OBJECT
public:
    enum class Mode { Login = 0, Register = 1, Recover = 2 };

    explicit AuthPanel(QWidget* parent = nullptr);
    AuthPanel(Settings& settings, QWidget* parent);

    QString username() const;
    bool isSignedIn() const { return signedIn_; }
    // True while a request of the form is under way.
    bool isBusy() const { return busy_; }
    // True while the form shows an error of the last request or entry.
    bool hasError() const;
    SessionStore& sessionStore() { return *session_; }
    AuthClient& client() { return *client_; }

signals:
    void signedInChanged(bool signedIn, QString username);
    void bannedChanged(bool banned, QString details);
    void statusMessage(QString text);

protected:
    // The main window is activated again when a dialog over it closes, and the settings
    // dialog may have changed the remember-login choice meanwhile.
    void changeEvent(QEvent* event) override;

private:
    void buildUi();
    QPushButton* linkButton(const QString& text, const QString& styleSheet);
    void connectClient();
    void restoreRemembered();

    void setMode(Mode mode);
    void submit();
    void signOut();
    void showSignedIn(const QString& username);
    void showBan(const QString& reason, qint64 untilUnix);
    void completeSignIn(const QString& username);
    void endRegistration();
    void rememberSession();

    void setBusy(bool busy);
    void showError(const QString& text);
    void onRememberBothToggled(bool on);
    void animateRememberLogin(bool show);
    void syncRememberLogin();

    Settings& settings_;
    AuthClient* client_ = nullptr;
    SessionStore* session_ = nullptr;

    QLineEdit* usernameField_ = nullptr;
    QLineEdit* passwordField_ = nullptr;
    QLineEdit* passwordAgainField_ = nullptr;
    QLineEdit* recoveryCodeField_ = nullptr;
    QLabel* titleLabel_ = nullptr;
    QLabel* hintLabel_ = nullptr;
    QLabel* errorLabel_ = nullptr;
    QWidget* rememberLoginRow_ = nullptr;
    QCheckBox* rememberLoginBox_ = nullptr;
    QCheckBox* rememberBothBox_ = nullptr;
    QPushButton* submitButton_ = nullptr;
    QPushButton* createLink_ = nullptr;
    QPushButton* forgotLink_ = nullptr;
    QPushButton* signOutButton_ = nullptr;
    QMetaObject::Connection forgotAction_;
    QPointer<QAbstractAnimation> rememberAnimation_;

    Mode mode_ = Mode::Login;
    bool signedIn_ = false;
    bool busy_ = false;
    bool registering_ = false; // from the submit until the account exists or the attempt ends
    // Once the register request is sent the form cannot be left: the account may be created.
    bool registrationSent_ = false;
    QString newAccountName_; // set while the sign-in that follows a registration runs
    // The remember-login value last taken from or written to the settings file; a different
    // value there means another dialog changed it.
    bool rememberLoginSeen_ = true;
};

} // namespace qbk
