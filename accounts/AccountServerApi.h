#pragma once

#include "accounts/Session.h"

#include <QByteArray>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QString>
#include <chrono>
#include <optional>

class QNetworkReply;

namespace qbk {

class Settings;

// No request to the account server may wait forever on a silent host.
inline constexpr std::chrono::milliseconds kAccountServerTimeout{15000};

inline const QString kServerUnreachableText =
    QStringLiteral("Сервер авторизации недоступен. Проверь интернет.");

// "auth/baseUrl" from the INI, trimmed and without trailing "/", or the built-in server.
QString accountServerBaseUrl();
QString accountServerBaseUrl(const Settings& settings);

// A request with the headers every call to the account server carries; a non-empty bearer
// token adds the Authorization header.
QNetworkRequest accountServerRequest(const QString& baseUrl, const QString& path,
                                     const QString& bearerToken = {},
                                     std::chrono::milliseconds timeout = kAccountServerTimeout);

// The text shown for a failed reply: the server's errorMessage, else a wording of the
// network failure. A time-out reads as an unreachable server.
QString replyErrorText(const QNetworkReply& reply, const QByteArray& body);

// The admin calls' wording: the server's errorMessage, else the network layer's text (a
// time-out reads as an unreachable server).
QString adminReplyErrorText(const QNetworkReply& reply, const QByteArray& body);

// The whole body of a finished reply; empty for one aborted before it opened.
QByteArray replyBody(QNetworkReply& reply);

// The top-level object of a reply body; empty when the body is not a JSON object.
QJsonObject replyObject(const QByteArray& body);

// The ban member of an authenticate or session answer; anything but an object is no ban.
std::optional<Session::Ban> banFromReply(const QJsonObject& reply);

// A time in Unix seconds as servers send it, possibly with a fraction: truncated; 0 for a
// null, a non-number or a value out of range.
qint64 truncatedSeconds(const QJsonValue& value);

} // namespace qbk
