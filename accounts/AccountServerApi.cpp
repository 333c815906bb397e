#include "accounts/AccountServerApi.h"

#include "app/ProjectInfo.h"
#include "app/Settings.h"

#include <QJsonDocument>
#include <QNetworkReply>
#include <QUrl>
#include <cmath>

namespace qbk {

QString accountServerBaseUrl() {
    return accountServerBaseUrl(Settings::instance());
}

QString accountServerBaseUrl(const Settings& settings) {
    return QString::fromStdString(settings.endpoints().accountServer);
}

QNetworkRequest accountServerRequest(const QString& baseUrl, const QString& path,
                                     const QString& bearerToken,
                                     std::chrono::milliseconds timeout) {
    QNetworkRequest request(QUrl(baseUrl + path));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setRawHeader("User-Agent", QByteArray(project::kUserAgent.data(),
                                                  static_cast<int>(project::kUserAgent.size())));
    if (!bearerToken.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + bearerToken.toUtf8());
    request.setTransferTimeout(static_cast<int>(timeout.count()));
    return request;
}

namespace {

QString serverErrorMessage(const QByteArray& body) {
    return replyObject(body).value(QStringLiteral("errorMessage")).toString();
}

bool timedOut(const QNetworkReply& reply) {
    // Qt ends a reply at its transfer time-out as cancelled; this code never cancels one.
    return reply.error() == QNetworkReply::TimeoutError ||
           reply.error() == QNetworkReply::OperationCanceledError;
}

} // namespace

QString replyErrorText(const QNetworkReply& reply, const QByteArray& body) {
    const QString serverText = serverErrorMessage(body);
    if (!serverText.isEmpty())
        return serverText;
    if (timedOut(reply) || reply.error() == QNetworkReply::ConnectionRefusedError ||
        reply.error() == QNetworkReply::HostNotFoundError)
        return kServerUnreachableText;
    return QStringLiteral("Ошибка связи с сервером: ") + reply.errorString();
}

QString adminReplyErrorText(const QNetworkReply& reply, const QByteArray& body) {
    const QString serverText = serverErrorMessage(body);
    if (!serverText.isEmpty())
        return serverText;
    return timedOut(reply) ? kServerUnreachableText : reply.errorString();
}

QByteArray replyBody(QNetworkReply& reply) {
    return reply.isOpen() ? reply.readAll() : QByteArray();
}

QJsonObject replyObject(const QByteArray& body) {
    return QJsonDocument::fromJson(body).object();
}

qint64 truncatedSeconds(const QJsonValue& value) {
    const double seconds = value.toDouble(); // 0 for null or a non-number
    return std::isfinite(seconds) && std::fabs(seconds) < 9.0e18 ? static_cast<qint64>(seconds) : 0;
}

std::optional<Session::Ban> banFromReply(const QJsonObject& reply) {
    const QJsonValue ban = reply.value(QStringLiteral("ban"));
    if (!ban.isObject())
        return std::nullopt;
    const QJsonObject object = ban.toObject();
    Session::Ban result;
    result.reason = object.value(QStringLiteral("reason")).toString();
    result.untilUnix = truncatedSeconds(object.value(QStringLiteral("until")));
    return result;
}

} // namespace qbk
