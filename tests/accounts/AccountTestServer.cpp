#include "AccountTestServer.h"

#include "accounts/AuthClient.h"
#include "accounts/SessionStore.h"

#include <QRegularExpression>
#include <QSettings>
#include <QTest>

#ifdef _WIN32
#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>
#include <httplib.h>
#endif

namespace qbk::test {

#ifdef _WIN32
// Under Wine a Windows process gets no handle for a host program it starts, so the stage's
// spawner (tests/windows/account_spawner.py) starts and stops the Linux server for the test.
static std::string askSpawner(const std::string& path, const std::string& body) {
    const std::string url = qEnvironmentVariable("QBK_ACCOUNT_SPAWNER").toStdString();
    if (url.empty()) {
        ADD_FAILURE() << "QBK_ACCOUNT_SPAWNER is not set (scripts/test-windows starts the spawner)";
        return {};
    }
    httplib::Client client(url);
    client.set_read_timeout(kServerWaitMs / 1000);
    const httplib::Result result = client.Post(path, body, "application/json");
    if (!result || result->status != 200) {
        ADD_FAILURE() << "account spawner " << path << ": "
                      << (result ? result->body : httplib::to_string(result.error()));
        return {};
    }
    return result->body;
}
#endif

AccountTestServer::AccountTestServer(const QStringList& arguments) {
    static int argc = 1; // QProcess and the network classes want an application object
    static char name[] = "qbk-test";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
#ifdef _WIN32
    const QStringList all = QStringList{"--pbkdf2-iterations", "1000"} + arguments;
    const QByteArray json = QJsonDocument(QJsonArray::fromStringList(all)).toJson();
    port = QByteArray::fromStdString(askSpawner("/start", json.toStdString())).toInt();
#else
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QBK_ACCOUNT_SERVER_EXE,
                   QStringList{"--port", "0", "--pbkdf2-iterations", "1000"} + arguments);
    while (process_.waitForStarted(5000) && !process_.canReadLine() &&
           process_.waitForReadyRead(5000))
        ;
    static const QRegularExpression line("^listening 127\\.0\\.0\\.1:(\\d+)\\s*$");
    port = line.match(QString::fromUtf8(process_.readLine())).captured(1).toInt();
#endif
    useServer(baseUrl());
}

AccountTestServer::~AccountTestServer() {
#ifdef _WIN32
    if (port != 0)
        askSpawner("/stop", std::to_string(port));
#else
    process_.kill();
    process_.waitForFinished(5000);
#endif
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
