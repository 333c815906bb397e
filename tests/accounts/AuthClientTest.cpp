// The account client against a loopback host that answers what a broken or hostile one might,
// and against the stand-in server: no secret ever shown, logged or stored.

#include "accounts/AuthClient.h"

#include "AccountTestServer.h"
#include "accounts/AccountServerApi.h"
#include "accounts/NonceSearch.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>
#include <iostream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>

namespace qbk {
namespace {

using nlohmann::json;

class AuthClientTest : public ::testing::Test {
protected:
    AuthClientTest() {
        host.get("/api/challenge", [this](const auto&, auto& res, const auto&) {
            res.set_content(challenge, "application/json");
        });
        for (const std::string path : {"/api/register", "/api/recover", "/authserver/authenticate"})
            host.post(path, [this, path](const auto& req, auto& res, const auto&) {
                std::lock_guard lock(mutex);
                bodies.push_back(json::parse(req.body, nullptr, false));
                const bool auth = path == "/authserver/authenticate";
                res.status = auth ? authStatus : path == "/api/recover" ? 429 : 200;
                res.set_content(auth ? authBody : "{}", "application/json");
            });
        use(QString::fromStdString(host.baseUrl()));
    }
    void use(const QString& baseUrl) {
        client.reset();
        env.useServer(baseUrl);
        client = std::make_unique<AuthClient>(env.settings(), nullptr);
        const auto add = [this](const char* name) {
            return [this, name](const auto&... args) {
                QStringList event{name};
                ((event << QVariant::fromValue(args).toString()), ...);
                events << event.join('|');
            };
        };
        QObject::connect(client.get(), &AuthClient::busy, add("busy"));
        QObject::connect(client.get(), &AuthClient::registered, add("registered"));
        QObject::connect(client.get(), &AuthClient::recoveryCodeIssued, add("code"));
        QObject::connect(client.get(), &AuthClient::lockedOut, add("lockedOut"));
        QObject::connect(client.get(), &AuthClient::recovered, add("recovered"));
        QObject::connect(client.get(), &AuthClient::accountBanned, add("banned"));
        QObject::connect(client.get(), &AuthClient::loggedIn, add("loggedIn"));
        QObject::connect(client.get(), &AuthClient::failed, add("failed"));
        QObject::connect(client.get(), &AuthClient::sessionReady, [this](const Session& s) {
            session = s;
            events << "sessionReady";
        });
    }
    // Runs the call to the signal that ends it; the signals it emitted, in order.
    QStringList run(std::function<void(AuthClient&)> call) {
        const qsizetype from = events.size();
        call(*client);
        const QRegularExpression end("^(loggedIn|failed|lockedOut|recovered)");
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return events.size() > from && end.match(events.last()).hasMatch(); },
            test::kServerWaitMs));
        return events.mid(from);
    }
    QStringList signIn(const QString& name, const QString& password) {
        return run([&](AuthClient& c) { c.login(name, password); });
    }

    // Servers outlive the client, so its open connections close before they stop.
    test::AccountTestServer env;
    std::mutex mutex;
    std::vector<json> bodies;
    std::string challenge = R"({"challenge":"abc","difficultyBits":8})";
    std::string authBody =
        R"({"accessToken":"tok","clientToken":"cli","selectedProfile":{"id":"u1","name":"Steve"}})";
    int authStatus = 200;
    QStringList events;
    Session session;
    test::TestHttpServer host; // after what its handlers use, so its threads stop first
    std::unique_ptr<AuthClient> client;
};

TEST_F(AuthClientTest, RequestsCarryTheSmallestNonceTheTrimmedCodeAndNoEmptyPassword) {
    EXPECT_EQ(run([](AuthClient& c) { c.registerAccount("Steve", "pw"); }),
              (QStringList{"busy|Получаю задачу от сервера...", "busy|Проверка, что ты не бот...",
                           "busy|Создаю аккаунт...", "registered|Steve", "busy|Вход...",
                           "sessionReady", "loggedIn|Steve|u1|tok|cli"}));
    run([](AuthClient& c) { c.recover("Steve", "  quell-ab2c-def3-gh4k \n", ""); });
    EXPECT_TRUE(events.last().startsWith("failed|")); // only the sign-in treats 429 as a lock-out
    run([](AuthClient& c) { c.recover("Steve", "QUELL-AAAA-BBBB-CCCC", "newpass"); });
    ASSERT_EQ(bodies.size(), 4u);
    EXPECT_EQ(
        bodies[0],
        (json{{"username", "Steve"}, {"password", "pw"}, {"challenge", "abc"}, {"nonce", "181"}}));
    EXPECT_EQ(bodies[1], (json{{"username", "Steve"}, {"password", "pw"}, {"requestUser", true}}));
    EXPECT_EQ(bodies[2], (json{{"username", "Steve"}, {"recoveryCode", "QUELL-AB2C-DEF3-GH4K"}}));
    EXPECT_EQ(bodies[3]["newPassword"], "newpass");

    // Challenges without a usable difficulty are solved at 20 bits; unusable ones end it.
    const std::pair<std::string, QString> rows[] = {
        {R"({"challenge":"abc"})", ""},
        {R"({"challenge":"abc","difficultyBits":8.5})", ""},
        {R"({"difficultyBits":8})", "failed|Сервер вернул некорректную задачу."},
        {R"({"challenge":"abc","difficultyBits":300})", "невозможно"}};
    const std::atomic<bool> stop{false};
    const std::uint64_t smallestAt20 = *pow::findSmallestNonce("abc", 20, stop).nonce;
    for (const auto& [reply, failure] : rows) {
        bodies.clear();
        challenge = reply;
        const QString last = run([](AuthClient& c) { c.registerAccount("Steve", "pw"); }).last();
        if (!failure.isEmpty()) {
            EXPECT_TRUE(last.contains(failure)) << reply;
            EXPECT_TRUE(bodies.empty()) << reply;
            continue;
        }
        ASSERT_FALSE(bodies.empty()) << reply;
        const std::uint64_t nonce = std::stoull(bodies[0]["nonce"].get<std::string>());
        EXPECT_EQ(nonce, smallestAt20) << reply;
    }

    const QNetworkRequest request = accountServerRequest("http://h:1", "/api/session", "tök");
    EXPECT_EQ(request.url().toString(), "http://h:1/api/session");
    EXPECT_EQ(request.rawHeader("Authorization"), QString("Bearer tök").toUtf8());
    EXPECT_FALSE(accountServerRequest("http://h:1", "/", "").hasRawHeader("Authorization"));
}

// What each answer of the sign-in host ends in: the last signal and its text, and the ban.
TEST_F(AuthClientTest, SignInAnswersOfABrokenOrHostileHost) {
    const std::string tokens = R"("accessToken":"tok","clientToken":"cli",)"
                               R"("selectedProfile":{"id":"u1","name":"Steve"},"opLevel":2)";
    const struct {
        int status;
        std::string body;
        QString last; // its start
        qint64 banUntil = -1;
    } rows[] = {
        {200, "<html>Войдите в сеть Wi-Fi</html>", "failed|Сервер вернул некорректный ответ."},
        {200, R"({"accessToken":"tok","selectedProfile":{"id":"u1"}})",
         "failed|Сервер вернул некорректный ответ."},
        {429, R"({"errorMessage":"Подожди минуту"})", "lockedOut|Подожди минуту"},
        {500, R"({"errorMessage":""})", "failed|Ошибка связи с сервером: "},
        {502, "<html>Bad Gateway</html>", "failed|Ошибка связи с сервером: "},
        {200, "{" + tokens + R"(,"ban":null})", "loggedIn|Steve"},
        {200, "{" + tokens + R"(,"ban":"yes"})", "loggedIn|Steve"},
        {200, "{" + tokens + R"(,"ban":17})", "loggedIn|Steve"},
        {200, "{" + tokens + R"(,"ban":{"reason":"r","until":1e19}})", "loggedIn|Steve", 0},
        {200, "{" + tokens + R"(,"ban":{"until":"soon"}})", "loggedIn|Steve", 0},
        {200, "{" + tokens + R"(,"ban":{"reason":"r","until":1900000000}})", "loggedIn|Steve",
         1900000000},
    };
    for (const auto& row : rows) {
        authStatus = row.status;
        authBody = row.body;
        session = {};
        const QStringList emitted = signIn("Steve", "pw");
        EXPECT_TRUE(emitted.last().startsWith(row.last)) << row.body;
        EXPECT_EQ(session.ban ? session.ban->untilUnix : -1, row.banUntil) << row.body;
        if (row.banUntil > 0)
            EXPECT_EQ(emitted.mid(1), (QStringList{"sessionReady", "banned|r|1900000000",
                                                   "loggedIn|Steve|u1|tok|cli"}));
        env.settings().sync();
        EXPECT_EQ(env.onDisk("session/opLevel"),
                  row.last.startsWith("loggedIn") ? QVariant(2) : QVariant())
            << row.body;
    }
}

TEST_F(AuthClientTest, RefusedOrSilentServerReadsAsUnreachable) {
    int closedPort = 0;
    {
        test::TestHttpServer gone;
        closedPort = gone.port();
    }
    use(QString("http://127.0.0.1:%1").arg(closedPort));
    EXPECT_EQ(signIn("Steve", "pw").last(), "failed|" + kServerUnreachableText);
    use(QString::fromStdString(host.baseUrl()));
    host.holdConnections();
    client->setTransferTimeout(std::chrono::milliseconds(300));
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(signIn("Steve", "pw"),
              (QStringList{"busy|Вход...", "failed|" + kServerUnreachableText}));
    EXPECT_LT(timer.elapsed(), 4000);
    client.reset();
    host.releaseConnections();
}

std::mutex gMessagesMutex;
std::string gMessages;

// Passwords, recovery codes and tokens go to the server and to the signals meant to carry
// them, never into a text the launcher shows (busy and failure texts), a Qt message, a line on
// the standard streams or the INI.
TEST_F(AuthClientTest, SecretsNeverReachShownTextsLogsOrTheIni) {
    use(env.baseUrl());
    QStringList secrets{"first-pass-Ä1", "wrong-pass-Ö2", "new-pass-Ü3", "QUELL-AAAA-BBBB-CCCC"};
    std::ostringstream out, err;
    std::streambuf* const oldOut = std::cout.rdbuf(out.rdbuf());
    std::streambuf* const oldErr = std::cerr.rdbuf(err.rdbuf());
    const QtMessageHandler oldHandler =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
            std::lock_guard lock(gMessagesMutex);
            gMessages += text.toStdString() + "\n";
        });
    run([&](AuthClient& c) { c.registerAccount("Secret_Player", secrets[0]); });
    EXPECT_EQ(signIn("Secret_Player", secrets[1]).last(), "failed|Неверный никнейм или пароль.");
    run([&](AuthClient& c) { c.recover("Secret_Player", secrets[3], secrets[2]); }); // not issued
    const QString code = events.filter(QRegularExpression("^code\\|")).value(0).mid(5);
    EXPECT_EQ(run([&](AuthClient& c) { c.recover("Secret_Player", code, secrets[2]); }).last(),
              "recovered|Secret_Player|true");
    signIn("Secret_Player", secrets[2]);
    env.settings().sync();
    std::cout.rdbuf(oldOut);
    std::cerr.rdbuf(oldErr);
    qInstallMessageHandler(oldHandler);

    QStringList shown; // what the panel would put on screen
    for (const QString& event : events) {
        const QStringList parts = event.split('|');
        if (parts[0] == "code")
            secrets << parts[1];
        else if (parts[0] == "loggedIn")
            secrets << parts[3] << parts[4];
        else
            shown << event;
    }
    ASSERT_EQ(secrets.size(), 10); // two codes and two pairs of tokens
    const std::string written = out.str() + err.str() + gMessages + test::readWholeFile(env.ini);
    for (const QString& secret : secrets) {
        for (const QString& text : shown)
            EXPECT_FALSE(text.contains(secret, Qt::CaseInsensitive)) << text.toStdString();
        EXPECT_EQ(written.find(secret.toStdString()), std::string::npos) << secret.toStdString();
    }
}

} // namespace
} // namespace qbk
