#include "AccountTestServer.h"

#include "accounts/AuthClient.h"
#include "accounts/SessionStore.h"

#include <QRegularExpression>
#include <QSettings>
#include <QTest>

namespace qbk::test {

AccountTestServer::AccountTestServer(const QStringList& arguments) {
    static int argc = 1; // QProcess and the network classes want an application object
    static char name[] = "qbk-test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QBK_ACCOUNT_SERVER_EXE,
                   QStringList{"--port", "0", "--pbkdf2-iterations", "1000"} + arguments);
    while (process_.waitForStarted(5000) && !process_.canReadLine() &&
           process_.waitForReadyRead(5000))
        ;
    static const QRegularExpression line("^listening 127\\.0\\.0\\.1:(\\d+)\\s*$");
    port = line.match(QString::fromUtf8(process_.readLine())).captured(1).toInt();
    useServer(baseUrl());
}

AccountTestServer::~AccountTestServer() {
    process_.kill();
    process_.waitForFinished(5000);
}

void AccountTestServer::useServer(const QString& url) {
    QSettings(QString::fromStdString(ini.string()), QSettings::IniFormat)
        .setValue("auth/baseUrl", url);
    settings_ = reopen();
}

QVariant AccountTestServer::onDisk(const QString& key) const {
    return QSettings(QString::fromStdString(ini.string()), QSettings::IniFormat).value(key);
}

bool AccountTestServer::signIn(SessionStore& store, const QString& username,
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
