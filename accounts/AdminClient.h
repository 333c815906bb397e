#pragma once

#include "accounts/BanRecord.h"

#include <QObject>
#include <QString>
#include <chrono>

class QJsonObject;
class QNetworkAccessManager;
class QNetworkReply;

namespace qbk {

class SessionStore;
class Settings;

// The operator calls ("/api/admin/*") with the access token of this run's session; the
// server decides who may do what. Each call ends in exactly one of its two signals.
class AdminClient : public QObject {
    Q_OBJECT
public:
    AdminClient(const SessionStore& store, Settings& settings, QObject* parent = nullptr);

    void requestLevel();
    void loadBans();
    void ban(const QString& username, const QString& reason, int days); // 0 days = permanent
    void unban(const QString& username);

    void setTransferTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }

signals:
    void levelReceived(int level, bool canBan);
    void levelFailed(QString message);
    void bansLoaded(qbk::BanList bans);
    void bansFailed(QString message);
    void banned(QString username);
    void banFailed(QString message);
    void unbanned(QString username);
    void unbanFailed(QString message);

private:
    QNetworkReply* get(const QString& path);
    QNetworkReply* post(const QString& path, const QJsonObject& body);
    // Runs onSuccess with the reply object, or onFailure with the error text.
    template <typename Success, typename Failure>
    void whenFinished(QNetworkReply* reply, Success onSuccess, Failure onFailure);

    const SessionStore& store_;
    Settings& settings_;
    QNetworkAccessManager* network_;
    std::chrono::milliseconds timeout_;
};

} // namespace qbk
