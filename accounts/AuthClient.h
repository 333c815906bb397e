#pragma once

#include "accounts/ChallengeSolver.h"
#include "accounts/Session.h"

#include <QObject>
#include <QString>
#include <chrono>

class QNetworkAccessManager;
class QNetworkReply;

namespace qbk {

class Settings;

// Speaks the account protocol for signing in, creating an account and recovering access.
// Every outcome arrives as a signal carrying Russian text; all calls run on the GUI thread.
class AuthClient : public QObject {
    Q_OBJECT
public:
    explicit AuthClient(QObject* parent = nullptr);
    AuthClient(Settings& settings, QObject* parent);
    ~AuthClient() override;

    void login(const QString& username, const QString& password);
    void registerAccount(const QString& username, const QString& password);
    void recover(const QString& username, const QString& recoveryCode, const QString& newPassword);

    // Stops a registration that is still fetching or solving its challenge; nothing is
    // emitted for it afterwards. A register request already sent runs to its end.
    void cancelRegistration();

    // Shortens the time-out in tests; every request has one. Register and recover, which
    // cannot be sent twice without losing what the first one did, wait four times as long.
    void setTransferTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }

    static QString accountServerBaseUrl();

signals:
    void busy(QString what);
    // The register request is on its way: from here on the account may be created whatever
    // the player does, so the registration runs to its end.
    void registrationSent();
    void registered(QString username);
    void recoveryCodeIssued(QString code);
    void lockedOut(QString message);
    void recovered(QString username, bool passwordChanged);
    void accountBanned(QString reason, qlonglong untilUnix);
    void loggedIn(QString username, QString uuid, QString accessToken, QString clientToken);
    void failed(QString message);
    // The whole sign-in (tokens, operator level, ban), emitted just before accountBanned
    // and loggedIn so that a session store is current when they arrive.
    void sessionReady(const qbk::Session& session);

private:
    QNetworkReply* post(const QString& path, const QJsonObject& body,
                        std::chrono::milliseconds timeout);
    QNetworkReply* get(const QString& path);
    void onChallenge(QNetworkReply* reply, const QString& username, const QString& password,
                     const CancelFlag& cancel);
    void onSolved(const SolveOutcome& outcome, const QString& username, const QString& password);
    void sendRegistration(const Solution& solution, const QString& username,
                          const QString& password);
    void onAuthenticated(QNetworkReply* reply);
    std::chrono::milliseconds unrepeatableTimeout() const { return timeout_ * 4; }

    Settings& settings_;
    QNetworkAccessManager* network_;
    CancelFlag registrationCancel_;
    std::chrono::milliseconds timeout_;
};

} // namespace qbk
