#include "accounts/AdminClient.h"

#include "accounts/AccountServerApi.h"
#include "accounts/SessionStore.h"
#include "app/Settings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace qbk {

namespace {

BanRecord banRecordFrom(const QJsonObject& object) {
    BanRecord record;
    record.username = object.value(QStringLiteral("username")).toString();
    record.reason = object.value(QStringLiteral("reason")).toString();
    record.bannedBy = object.value(QStringLiteral("bannedBy")).toString();
    record.createdAt = truncatedSeconds(object.value(QStringLiteral("createdAt")));
    record.permanent = object.value(QStringLiteral("permanent")).toBool();
    record.until = truncatedSeconds(object.value(QStringLiteral("until")));
    return record;
}

} // namespace

AdminClient::AdminClient(const SessionStore& store, Settings& settings, QObject* parent)
    : QObject(parent), store_(store), settings_(settings),
      network_(new QNetworkAccessManager(this)), timeout_(kAccountServerTimeout) {}

QNetworkReply* AdminClient::get(const QString& path) {
    return network_->get(accountServerRequest(accountServerBaseUrl(settings_), path,
                                              store_.current().accessToken, timeout_));
}

QNetworkReply* AdminClient::post(const QString& path, const QJsonObject& body) {
    return network_->post(accountServerRequest(accountServerBaseUrl(settings_), path,
                                               store_.current().accessToken, timeout_),
                          QJsonDocument(body).toJson(QJsonDocument::Indented));
}

template <typename Success, typename Failure>
void AdminClient::whenFinished(QNetworkReply* reply, Success onSuccess, Failure onFailure) {
    connect(reply, &QNetworkReply::finished, this, [reply, onSuccess, onFailure] {
        reply->deleteLater();
        const QByteArray body = replyBody(*reply);
        if (reply->error() != QNetworkReply::NoError)
            onFailure(adminReplyErrorText(*reply, body));
        else
            onSuccess(replyObject(body));
    });
}

void AdminClient::requestLevel() {
    whenFinished(
        get(QStringLiteral("/api/admin/me")),
        [this](const QJsonObject& reply) {
            emit levelReceived(reply.value(QStringLiteral("level")).toInt(),
                               reply.value(QStringLiteral("canBan")).toBool());
        },
        [this](const QString& message) { emit levelFailed(message); });
}

void AdminClient::loadBans() {
    whenFinished(
        get(QStringLiteral("/api/admin/bans")),
        [this](const QJsonObject& reply) {
            BanList bans;
            for (const QJsonValue& entry : reply.value(QStringLiteral("bans")).toArray())
                bans.push_back(banRecordFrom(entry.toObject()));
            emit bansLoaded(bans);
        },
        [this](const QString& message) { emit bansFailed(message); });
}

void AdminClient::ban(const QString& username, const QString& reason, int days) {
    whenFinished(
        post(QStringLiteral("/api/admin/ban"), {{QStringLiteral("username"), username},
                                                {QStringLiteral("reason"), reason},
                                                {QStringLiteral("days"), days}}),
        [this, username](const QJsonObject&) { emit banned(username); },
        [this](const QString& message) { emit banFailed(message); });
}

void AdminClient::unban(const QString& username) {
    whenFinished(
        post(QStringLiteral("/api/admin/unban"), {{QStringLiteral("username"), username}}),
        [this, username](const QJsonObject&) { emit unbanned(username); },
        [this](const QString& message) { emit unbanFailed(message); });
}

} // namespace qbk
