#include "accounts/SessionCheck.h"

#include "accounts/AccountServerApi.h"
#include "accounts/SessionStore.h"
#include "app/Settings.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace qbk {

SessionCheck::SessionCheck(SessionStore& store, Settings& settings, QObject* parent)
    : QObject(parent), store_(store), settings_(settings),
      network_(new QNetworkAccessManager(this)), timeout_(kAccountServerTimeout) {}

bool SessionCheck::start() {
    if (!store_.isSignedIn())
        return false;
    const quint64 generation = store_.generation();
    QNetworkReply* reply = network_->get(
        accountServerRequest(accountServerBaseUrl(settings_), QStringLiteral("/api/session"),
                             store_.current().accessToken, timeout_));
    connect(reply, &QNetworkReply::finished, this, [this, reply, generation] {
        reply->deleteLater();
        const QByteArray body = replyBody(*reply);
        if (store_.generation() != generation)
            return;
        if (reply->error() != QNetworkReply::NoError) {
            emit failed(replyErrorText(*reply, body));
            return;
        }
        const QJsonObject object = replyObject(body);
        const int opLevel = object.value(QStringLiteral("opLevel")).toInt();
        settings_.setOpLevel(opLevel);
        store_.setOpLevel(opLevel);
        if (const auto ban = banFromReply(object))
            store_.setBan(ban);
        emit checked(store_.current());
    });
    return true;
}

} // namespace qbk
