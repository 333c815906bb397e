#include "accounts/AuthClient.h"

#include "accounts/AccountServerApi.h"
#include "app/Settings.h"

#include <QFutureWatcher>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace qbk {

namespace {

constexpr int kDefaultDifficultyBits = 20;
constexpr int kTooManyRequests = 429;

int httpStatus(const QNetworkReply& reply) {
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

QString stringAt(const QJsonObject& object, const char* key) {
    return object.value(QLatin1String(key)).toString();
}

} // namespace

AuthClient::AuthClient(QObject* parent) : AuthClient(Settings::instance(), parent) {}

AuthClient::AuthClient(Settings& settings, QObject* parent)
    : QObject(parent), settings_(settings), network_(new QNetworkAccessManager(this)),
      timeout_(kAccountServerTimeout) {}

AuthClient::~AuthClient() {
    cancelRegistration();
}

QString AuthClient::accountServerBaseUrl() {
    return qbk::accountServerBaseUrl();
}

QNetworkReply* AuthClient::post(const QString& path, const QJsonObject& body,
                                std::chrono::milliseconds timeout) {
    const QNetworkRequest request =
        accountServerRequest(qbk::accountServerBaseUrl(settings_), path, {}, timeout);
    return network_->post(request, QJsonDocument(body).toJson(QJsonDocument::Compact));
}

QNetworkReply* AuthClient::get(const QString& path) {
    return network_->get(
        accountServerRequest(qbk::accountServerBaseUrl(settings_), path, {}, timeout_));
}

void AuthClient::login(const QString& username, const QString& password) {
    emit busy(QStringLiteral("Вход..."));
    QNetworkReply* reply = post(QStringLiteral("/authserver/authenticate"),
                                {{QStringLiteral("username"), username},
                                 {QStringLiteral("password"), password},
                                 {QStringLiteral("requestUser"), true}},
                                timeout_);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onAuthenticated(reply); });
}

void AuthClient::onAuthenticated(QNetworkReply* reply) {
    reply->deleteLater();
    const QByteArray body = replyBody(*reply);
    if (reply->error() != QNetworkReply::NoError) {
        const QString text = replyErrorText(*reply, body);
        if (httpStatus(*reply) == kTooManyRequests)
            emit lockedOut(text);
        else
            emit failed(text);
        return;
    }
    const QJsonObject object = replyObject(body);
    const QJsonObject profile = object.value(QStringLiteral("selectedProfile")).toObject();
    Session session;
    session.username = stringAt(profile, "name");
    session.uuid = stringAt(profile, "id");
    session.accessToken = stringAt(object, "accessToken");
    session.clientToken = stringAt(object, "clientToken");
    session.opLevel = object.value(QStringLiteral("opLevel")).toInt();
    session.ban = banFromReply(object);
    // A captive portal or a broken proxy answers 200 too; that is no sign-in.
    if (!session.isValid()) {
        emit failed(QStringLiteral("Сервер вернул некорректный ответ."));
        return;
    }
    settings_.setOpLevel(session.opLevel);
    emit sessionReady(session);
    if (session.ban)
        emit accountBanned(session.ban->reason, session.ban->untilUnix);
    emit loggedIn(session.username, session.uuid, session.accessToken, session.clientToken);
}

void AuthClient::registerAccount(const QString& username, const QString& password) {
    cancelRegistration();
    const CancelFlag cancel = std::make_shared<std::atomic<bool>>(false);
    registrationCancel_ = cancel;
    emit busy(QStringLiteral("Получаю задачу от сервера..."));
    QNetworkReply* reply = get(QStringLiteral("/api/challenge"));
    connect(reply, &QNetworkReply::finished, this,
            [=, this] { onChallenge(reply, username, password, cancel); });
}

void AuthClient::cancelRegistration() {
    if (registrationCancel_)
        registrationCancel_->store(true);
    registrationCancel_.reset();
}

void AuthClient::onChallenge(QNetworkReply* reply, const QString& username, const QString& password,
                             const CancelFlag& cancel) {
    reply->deleteLater();
    const QByteArray body = replyBody(*reply);
    if (cancel->load())
        return;
    if (reply->error() != QNetworkReply::NoError) {
        emit failed(replyErrorText(*reply, body));
        return;
    }
    const QJsonObject object = replyObject(body);
    const QString challenge = stringAt(object, "challenge");
    const QJsonValue bits = object.value(QStringLiteral("difficultyBits"));
    const bool integral = bits.isDouble() && bits.toDouble() == bits.toInt();
    const int difficulty = integral ? bits.toInt() : kDefaultDifficultyBits;
    if (challenge.isEmpty()) {
        emit failed(QStringLiteral("Сервер вернул некорректную задачу."));
        return;
    }
    emit busy(QStringLiteral("Проверка, что ты не бот..."));
    auto* watcher = new QFutureWatcher<SolveOutcome>(this);
    connect(watcher, &QFutureWatcher<SolveOutcome>::finished, this, [=, this] {
        watcher->deleteLater();
        if (!cancel->load())
            onSolved(watcher->result(), username, password);
    });
    watcher->setFuture(startSolving(challenge, difficulty, cancel));
}

void AuthClient::onSolved(const SolveOutcome& outcome, const QString& username,
                          const QString& password) {
    registrationCancel_.reset();
    if (!outcome.solution) {
        emit failed(outcome.error);
        return;
    }
    sendRegistration(*outcome.solution, username, password);
}

void AuthClient::sendRegistration(const Solution& solution, const QString& username,
                                  const QString& password) {
    emit busy(QStringLiteral("Создаю аккаунт..."));
    QNetworkReply* reply = post(QStringLiteral("/api/register"),
                                {{QStringLiteral("username"), username},
                                 {QStringLiteral("password"), password},
                                 {QStringLiteral("challenge"), solution.challenge},
                                 {QStringLiteral("nonce"), QString::number(solution.nonce)}},
                                unrepeatableTimeout());
    emit registrationSent();
    connect(reply, &QNetworkReply::finished, this, [=, this] {
        reply->deleteLater();
        const QByteArray body = replyBody(*reply);
        if (reply->error() != QNetworkReply::NoError) {
            emit failed(replyErrorText(*reply, body));
            return;
        }
        const QString code = stringAt(replyObject(body), "recoveryCode");
        if (!code.isEmpty())
            emit recoveryCodeIssued(code);
        emit registered(username);
        login(username, password);
    });
}

void AuthClient::recover(const QString& username, const QString& recoveryCode,
                         const QString& newPassword) {
    emit busy(QStringLiteral("Проверка кода..."));
    QJsonObject request{{QStringLiteral("username"), username},
                        {QStringLiteral("recoveryCode"), recoveryCode.trimmed().toUpper()}};
    if (!newPassword.isEmpty())
        request.insert(QStringLiteral("newPassword"), newPassword);
    QNetworkReply* reply = post(QStringLiteral("/api/recover"), request, unrepeatableTimeout());
    connect(reply, &QNetworkReply::finished, this, [=, this] {
        reply->deleteLater();
        const QByteArray body = replyBody(*reply);
        if (reply->error() != QNetworkReply::NoError) {
            emit failed(replyErrorText(*reply, body));
            return;
        }
        const QJsonObject object = replyObject(body);
        const QString code = stringAt(object, "recoveryCode");
        if (!code.isEmpty())
            emit recoveryCodeIssued(code);
        emit recovered(username, object.value(QStringLiteral("passwordChanged")).toBool());
    });
}

} // namespace qbk
