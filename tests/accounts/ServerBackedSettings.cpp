#include "ServerBackedSettings.h"

#include "accounts/AuthClient.h"
#include "accounts/SessionStore.h"

#include <QSettings>
#include <QTest>

namespace qbk::test {

ServerBackedSettings::ServerBackedSettings(const QStringList& serverArguments)
    : server(serverArguments) {
    useServer(server.baseUrl());
}

void ServerBackedSettings::useServer(const QString& baseUrl) {
    QSettings(QString::fromStdString(ini.string()), QSettings::IniFormat)
        .setValue("auth/baseUrl", baseUrl);
    settings_ = reopen();
}

QVariant ServerBackedSettings::onDisk(const QString& key) const {
    return QSettings(QString::fromStdString(ini.string()), QSettings::IniFormat).value(key);
}

std::unique_ptr<Settings> ServerBackedSettings::reopen() const {
    return std::make_unique<Settings>(ini);
}

bool ServerBackedSettings::signIn(SessionStore& store, const QString& username,
                                  const QString& password) {
    AuthClient client(*settings_, nullptr);
    bool ended = false;
    QObject::connect(&client, &AuthClient::sessionReady, &store, &SessionStore::begin);
    QObject::connect(&client, &AuthClient::loggedIn, [&] { ended = true; });
    QObject::connect(&client, &AuthClient::failed, [&] { ended = true; });
    client.login(username, password);
    return QTest::qWaitFor([&] { return ended; }, kServerWaitMs) &&
           store.current().username.compare(username, Qt::CaseInsensitive) == 0;
}

} // namespace qbk::test
