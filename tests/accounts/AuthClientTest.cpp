// The account client against the real stand-in server (child process) and against a loopback
// server that answers what a broken or hostile host might.

#include "accounts/AuthClient.h"

#include "AccountServerProcess.h"
#include "accounts/AccountServerApi.h"
#include "accounts/ProofOfWork.h"
#include "app/ProjectInfo.h"
#include "app/Settings.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSettings>
#include <QTest>
#include <QThreadPool>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <nlohmann/json.hpp>

namespace qbk {
namespace {

using test::AccountServerProcess;
using test::TempDir;
using test::TestHttpServer;

constexpr int kWaitMs = 20000;

// Every signal of one client, in arrival order, as "name" followed by its arguments.
class SignalLog {
public:
    explicit SignalLog(AuthClient& client) {
        auto add = [this](QStringList event) {
            events.push_back(std::move(event));
        };
        QObject::connect(&client, &AuthClient::busy, [=](QString w) { add({"busy", w}); });
        QObject::connect(&client, &AuthClient::registered, [=](QString u) {
            add({"registered", u});
        });
        QObject::connect(&client, &AuthClient::recoveryCodeIssued, [=](QString c) {
            add({"recoveryCodeIssued", c});
        });
        QObject::connect(&client, &AuthClient::lockedOut, [=](QString m) {
            add({"lockedOut", m});
        });
        QObject::connect(&client, &AuthClient::recovered, [=](QString u, bool changed) {
            add({"recovered", u, changed ? "true" : "false"});
        });
        QObject::connect(&client, &AuthClient::accountBanned, [=](QString r, qlonglong until) {
            add({"accountBanned", r, QString::number(until)});
        });
        QObject::connect(&client, &AuthClient::loggedIn,
                         [=](QString u, QString id, QString access, QString clientToken) {
                             add({"loggedIn", u, id, access, clientToken});
                         });
        QObject::connect(&client, &AuthClient::failed, [=](QString m) { add({"failed", m}); });
        QObject::connect(&client, &AuthClient::sessionReady, [this](const Session& s) {
            session = s;
            events.push_back({"sessionReady", s.username});
        });
    }

    // Waits for the signal that ends an operation (loggedIn, failed, lockedOut, recovered).
    bool waitForEnd() {
        return QTest::qWaitFor(
            [this] {
                for (const QStringList& e : events)
                    if (e[0] == "loggedIn" || e[0] == "failed" || e[0] == "lockedOut" ||
                        e[0] == "recovered")
                        return true;
                return false;
            },
            kWaitMs);
    }
    QStringList names() const {
        QStringList result;
        for (const QStringList& e : events)
            result << (e[0] == "busy" ? "busy:" + e[1] : e[0]);
        return result;
    }
    QStringList first(const QString& name) const {
        for (const QStringList& e : events)
            if (e[0] == name)
                return e;
        return {};
    }
    void clear() { events.clear(); }

    std::vector<QStringList> events;
    Session session;
};

void writeIni(const std::filesystem::path& file, const QString& baseUrl) {
    QSettings ini(QString::fromStdString(file.string()), QSettings::IniFormat);
    ini.setValue("auth/baseUrl", baseUrl);
}

struct Fetched {
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QJsonObject object;
    QString errorText;
};

Fetched fetch(const QString& baseUrl, const QString& path, const QString& token,
              const QJsonObject* body = nullptr) {
    QNetworkAccessManager network;
    const QNetworkRequest request = accountServerRequest(baseUrl, path, token);
    QNetworkReply* reply =
        body ? network.post(request, QJsonDocument(*body).toJson()) : network.get(request);
    EXPECT_TRUE(QTest::qWaitFor([reply] { return reply->isFinished(); }, kWaitMs));
    const QByteArray bytes = replyBody(*reply);
    Fetched result{reply->error(),
                   reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                   replyObject(bytes), replyErrorText(*reply, bytes)};
    delete reply;
    return result;
}

// A loopback host whose answers the tests choose; records the bodies it was sent.
class FakeAccountServer {
public:
    FakeAccountServer() {
        http.get("/api/challenge", [this](const auto&, auto& res, const auto&) {
            res.set_content(challengeReply, "application/json");
        });
        http.post("/api/register", [this](const auto& req, auto& res, const auto&) {
            record(req.body);
            res.set_content("{}", "application/json");
        });
        http.post("/api/recover", [this](const auto& req, auto& res, const auto&) {
            record(req.body);
            res.status = recoverStatus;
            res.set_content(R"({"passwordChanged":false})", "application/json");
        });
        http.post("/authserver/authenticate", [this](const auto& req, auto& res, const auto&) {
            record(req.body);
            for (int waited = 0; stall && !released && waited < 5000; waited += 10)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            res.status = authenticateStatus;
            res.set_content(authenticateReply, authenticateType);
        });
    }
    ~FakeAccountServer() { released = true; }

    QString baseUrl() const { return QString::fromStdString(http.baseUrl()); }
    std::vector<nlohmann::json> bodies() {
        std::lock_guard lock(mutex);
        return received;
    }

    std::string challengeReply = R"({"challenge":"abc","difficultyBits":8})";
    std::string authenticateReply =
        R"({"accessToken":"tok","clientToken":"cli","selectedProfile":{"id":"u1","name":"Steve"}})";
    std::string authenticateType = "application/json";
    int authenticateStatus = 200;
    int recoverStatus = 200;
    std::atomic<bool> stall{false};

private:
    void record(const std::string& body) {
        std::lock_guard lock(mutex);
        received.push_back(nlohmann::json::parse(body, nullptr, false));
    }
    std::atomic<bool> released{false};
    std::mutex mutex;
    std::vector<nlohmann::json> received;
    TestHttpServer http; // last: its threads stop before the members above go
};

class AuthClientTest : public ::testing::Test {
protected:
    AccountServerProcess& startServer(const QStringList& arguments) {
        accountServer = std::make_unique<AccountServerProcess>(arguments);
        EXPECT_TRUE(accountServer->isListening());
        useServer(accountServer->baseUrl());
        return *accountServer;
    }
    FakeAccountServer& startFake() {
        fakeServer = std::make_unique<FakeAccountServer>();
        useServer(fakeServer->baseUrl());
        return *fakeServer;
    }
    void useServer(const QString& baseUrl) {
        writeIni(dir / "Quellbrook.ini", baseUrl);
        settings = std::make_unique<Settings>(dir / "Quellbrook.ini");
        client = std::make_unique<AuthClient>(*settings, nullptr);
        log = std::make_unique<SignalLog>(*client);
    }
    QVariant iniValue(const QString& key) {
        settings->sync();
        return QSettings(QString::fromStdString((dir / "Quellbrook.ini").string()),
                         QSettings::IniFormat)
            .value(key);
    }
    Session signIn(const QString& name, const QString& password) {
        log->clear();
        client->login(name, password);
        EXPECT_TRUE(log->waitForEnd());
        return log->session;
    }
    QString registerAccount(const QString& name, const QString& password) {
        log->clear();
        client->registerAccount(name, password);
        EXPECT_TRUE(log->waitForEnd());
        return log->first("recoveryCodeIssued").value(1);
    }

    // Servers outlive the client, so its open connections close before they stop.
    TempDir dir{"qbk-auth-client"};
    std::unique_ptr<AccountServerProcess> accountServer;
    std::unique_ptr<FakeAccountServer> fakeServer;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<AuthClient> client;
    std::unique_ptr<SignalLog> log;
};

TEST_F(AuthClientTest, RegistrationSolvesTheChallengeShowsTheCodeAndSignsIn) {
    startServer({"--difficulty", "12"});

    client->registerAccount("Newbie", "secret12");
    ASSERT_TRUE(log->waitForEnd());
    EXPECT_EQ(log->names(),
              (QStringList{"busy:Получаю задачу от сервера...", "busy:Проверка, что ты не бот...",
                           "busy:Создаю аккаунт...", "recoveryCodeIssued", "registered",
                           "busy:Вход...", "sessionReady", "loggedIn"}));
    EXPECT_TRUE(QRegularExpression("^QUELL(-[A-Z2-9]{4}){3}$")
                    .match(log->first("recoveryCodeIssued").value(1))
                    .hasMatch());
    const QStringList loggedIn = log->first("loggedIn");
    EXPECT_EQ(loggedIn.value(1), "Newbie");
    EXPECT_EQ(loggedIn.value(2).size(), 32);
    EXPECT_EQ(loggedIn.value(3), log->session.accessToken);
    EXPECT_FALSE(loggedIn.value(4).isEmpty());
    EXPECT_EQ(iniValue("session/opLevel"), QVariant(0));

    EXPECT_EQ(registerAccount("newbie", "other123"), "");
    EXPECT_EQ(log->first("failed").value(1), "Этот никнейм уже занят.");
}

TEST_F(AuthClientTest, WrongPasswordsLockOutAndRecoveryCodesRestoreAccess) {
    const AccountServerProcess& server =
        startServer({"--difficulty", "4", "--max-failed-logins", "3"});
    const QString code = registerAccount("Alex", "rightpass1");
    ASSERT_FALSE(code.isEmpty());
    const QString firstToken = log->session.accessToken;

    for (int attempt = 0; attempt < 2; ++attempt) {
        signIn("Alex", "wrongpass");
        EXPECT_EQ(log->names(), (QStringList{"busy:Вход...", "failed"}));
        EXPECT_EQ(log->first("failed").value(1), "Неверный никнейм или пароль.");
    }
    signIn("Alex", "wrongpass");
    EXPECT_EQ(log->names(), (QStringList{"busy:Вход...", "lockedOut"}));
    EXPECT_TRUE(log->first("lockedOut").value(1).startsWith("Слишком много неверных попыток"));
    signIn("Alex", "rightpass1"); // the right password does not open a locked account
    EXPECT_EQ(log->names().last(), "lockedOut");

    log->clear();
    client->recover("Alex", "  " + code.toLower() + " ", "");
    ASSERT_TRUE(log->waitForEnd());
    EXPECT_EQ(log->names(),
              (QStringList{"busy:Проверка кода...", "recoveryCodeIssued", "recovered"}));
    EXPECT_EQ(log->first("recovered"), (QStringList{"recovered", "Alex", "false"}));
    const QString secondCode = log->first("recoveryCodeIssued").value(1);
    EXPECT_NE(secondCode, code);
    EXPECT_EQ(signIn("Alex", "rightpass1").username, "Alex");

    log->clear();
    client->recover("Alex", code, "brandnew9"); // a used code is spent
    ASSERT_TRUE(log->waitForEnd());
    EXPECT_EQ(log->first("failed").value(1), "Неверный никнейм или код восстановления.");

    log->clear();
    client->recover("Alex", secondCode, "brandnew9");
    ASSERT_TRUE(log->waitForEnd());
    EXPECT_EQ(log->first("recovered"), (QStringList{"recovered", "Alex", "true"}));
    signIn("Alex", "rightpass1");
    EXPECT_EQ(log->names().last(), "failed");
    EXPECT_EQ(signIn("Alex", "brandnew9").username, "Alex");
    EXPECT_EQ(fetch(server.baseUrl(), "/api/session", firstToken).status, 401);
}

TEST_F(AuthClientTest, BannedAccountReportsTheBanAndStillSignsIn) {
    startServer({"--seed-account", "Griefer:pass1234", "--seed-account", "Cheater:pass5678",
                 "--seed-ban", "Griefer:2:гриф: спавн", "--seed-ban", "Cheater:0:читы"});

    signIn("Griefer", "pass1234");
    EXPECT_EQ(log->names(),
              (QStringList{"busy:Вход...", "sessionReady", "accountBanned", "loggedIn"}));
    const QStringList ban = log->first("accountBanned");
    EXPECT_EQ(ban.value(1), "гриф: спавн");
    const qint64 expectedEnd = QDateTime::currentSecsSinceEpoch() + 2 * 86400;
    EXPECT_NEAR(ban.value(2).toLongLong(), expectedEnd, 60);
    ASSERT_TRUE(log->session.ban);
    EXPECT_EQ(log->session.ban->untilUnix, ban.value(2).toLongLong());

    signIn("Cheater", "pass5678");
    EXPECT_EQ(log->first("accountBanned"), (QStringList{"accountBanned", "читы", "0"}));
}

TEST_F(AuthClientTest, SessionAndAdminCallsUseTheBearerToken) {
    const AccountServerProcess& server =
        startServer({"--seed-account", "Owner:ownerpass:3", "--seed-account", "Viewer:viewpass:1",
                     "--seed-account", "Player:playerpass"});
    const QString base = server.baseUrl();
    const QString owner = signIn("Owner", "ownerpass").accessToken;
    const QString viewer = signIn("Viewer", "viewpass").accessToken;
    const QString player = signIn("Player", "playerpass").accessToken;
    EXPECT_EQ(iniValue("session/opLevel"), QVariant(0)); // the last sign-in's level

    const Fetched session = fetch(base, "/api/session", owner);
    EXPECT_EQ(session.object.value("opLevel").toInt(), 3);
    EXPECT_FALSE(banFromReply(session.object));
    const Fetched me = fetch(base, "/api/admin/me", owner);
    EXPECT_EQ(me.object.value("level").toInt(), 3);
    EXPECT_TRUE(me.object.value("canBan").toBool());

    const QJsonObject banBody{{"username", "Player"}, {"reason", "спам"}, {"days", 0}};
    EXPECT_EQ(fetch(base, "/api/admin/ban", owner, &banBody).status, 200);
    const auto playerBan = banFromReply(fetch(base, "/api/session", player).object);
    ASSERT_TRUE(playerBan);
    EXPECT_EQ(playerBan->reason, "спам");
    EXPECT_EQ(playerBan->untilUnix, 0);
    const QJsonArray bans = fetch(base, "/api/admin/bans", viewer).object.value("bans").toArray();
    ASSERT_EQ(bans.size(), 1);
    EXPECT_EQ(bans[0].toObject().value("username").toString(), "Player");
    EXPECT_TRUE(bans[0].toObject().value("permanent").toBool());

    const Fetched viewerBan = fetch(base, "/api/admin/ban", viewer, &banBody);
    EXPECT_EQ(viewerBan.status, 403);
    EXPECT_EQ(viewerBan.errorText, "Недостаточно прав: нужен уровень доступа 3 или выше.");
    const Fetched refused = fetch(base, "/api/admin/me", player);
    EXPECT_EQ(refused.status, 403);
    EXPECT_EQ(refused.errorText, "Недостаточно прав: нужен уровень доступа 1 или выше.");

    const QJsonObject unbanBody{{"username", "Player"}};
    EXPECT_EQ(fetch(base, "/api/admin/unban", owner, &unbanBody).status, 200);
    EXPECT_TRUE(fetch(base, "/api/admin/bans", owner).object.value("bans").toArray().isEmpty());
    EXPECT_FALSE(banFromReply(fetch(base, "/api/session", player).object));
}

TEST_F(AuthClientTest, RegisterSendsTheSmallestNonceAsAStringAndDefaultsTo20Bits) {
    FakeAccountServer& fake = startFake();
    client->registerAccount("Steve", "pw");
    ASSERT_TRUE(log->waitForEnd());
    EXPECT_EQ(log->names(),
              (QStringList{"busy:Получаю задачу от сервера...", "busy:Проверка, что ты не бот...",
                           "busy:Создаю аккаунт...", "registered", "busy:Вход...", "sessionReady",
                           "loggedIn"}));
    ASSERT_EQ(fake.bodies().size(), 2u);
    EXPECT_EQ(fake.bodies()[0]["nonce"], "181");
    EXPECT_EQ(fake.bodies()[0]["challenge"], "abc");
    EXPECT_EQ(fake.bodies()[1],
              (nlohmann::json{{"username", "Steve"}, {"password", "pw"}, {"requestUser", true}}));

    fake.challengeReply = R"({"challenge":"abc"})";
    log->clear();
    client->registerAccount("Steve", "pw");
    ASSERT_TRUE(log->waitForEnd());
    const nlohmann::json body = fake.bodies()[2];
    ASSERT_TRUE(body["nonce"].is_string());
    EXPECT_TRUE(
        pow::nonceMeetsDifficulty("abc", std::stoull(body["nonce"].get<std::string>()), 20));
}

TEST_F(AuthClientTest, UnusableChallengesEndTheRegistrationBeforeRegistering) {
    FakeAccountServer& fake = startFake();
    fake.challengeReply = R"({"difficultyBits":8})";
    EXPECT_EQ(registerAccount("Steve", "pw"), "");
    EXPECT_EQ(log->first("failed").value(1), "Сервер вернул некорректную задачу.");

    fake.challengeReply = R"({"challenge":"abc","difficultyBits":300})";
    registerAccount("Steve", "pw");
    EXPECT_TRUE(log->first("failed").value(1).contains("невозможно"));
    EXPECT_TRUE(fake.bodies().empty());
}

TEST_F(AuthClientTest, CancelledSearchStopsAndEmitsNothing) {
    FakeAccountServer& fake = startFake();
    fake.challengeReply = R"({"challenge":"abc","difficultyBits":64})";
    client->registerAccount("Steve", "pw");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return log->names().contains("busy:Проверка, что ты не бот..."); }, kWaitMs));
    client->cancelRegistration();
    EXPECT_TRUE(QThreadPool::globalInstance()->waitForDone(5000));
    QTest::qWait(200);
    EXPECT_EQ(log->names().last(), "busy:Проверка, что ты не бот...");
    EXPECT_TRUE(fake.bodies().empty());
}

TEST_F(AuthClientTest, RecoverySendsTheCodeTrimmedInUpperCaseAndOmitsAnEmptyPassword) {
    FakeAccountServer& fake = startFake();
    client->recover("Steve", "  quell-ab2c-def3-gh4k \n", "");
    ASSERT_TRUE(log->waitForEnd());
    log->clear();
    client->recover("Steve", "QUELL-AAAA-BBBB-CCCC", "newpass");
    ASSERT_TRUE(log->waitForEnd());
    ASSERT_EQ(fake.bodies().size(), 2u);
    EXPECT_EQ(fake.bodies()[0],
              (nlohmann::json{{"username", "Steve"}, {"recoveryCode", "QUELL-AB2C-DEF3-GH4K"}}));
    EXPECT_EQ(fake.bodies()[1]["newPassword"], "newpass");

    fake.recoverStatus = 429; // only the sign-in treats 429 as a lock-out
    log->clear();
    client->recover("Steve", "x", "");
    ASSERT_TRUE(log->waitForEnd());
    EXPECT_EQ(log->names().last(), "failed");
}

TEST_F(AuthClientTest, SuccessWithoutTokensIsNoSignIn) {
    FakeAccountServer& fake = startFake();
    fake.authenticateReply = "<html><body>Войдите в сеть Wi-Fi</body></html>";
    fake.authenticateType = "text/html";
    signIn("Steve", "pw");
    EXPECT_EQ(log->names(), (QStringList{"busy:Вход...", "failed"}));
    EXPECT_EQ(log->first("failed").value(1), "Сервер вернул некорректный ответ.");

    fake.authenticateReply = R"({"accessToken":"tok","selectedProfile":{"id":"u1"}})";
    fake.authenticateType = "application/json";
    signIn("Steve", "pw");
    EXPECT_EQ(log->first("failed").value(1), "Сервер вернул некорректный ответ.");
    EXPECT_FALSE(iniValue("session/opLevel").isValid());
}

TEST_F(AuthClientTest, BanThatIsNotAnObjectIsNoBan) {
    FakeAccountServer& fake = startFake();
    for (const char* ban : {"null", "\"yes\"", "17"}) {
        fake.authenticateReply = std::string(R"({"accessToken":"tok","clientToken":"cli",)") +
                                 R"("selectedProfile":{"id":"u1","name":"Steve"},"opLevel":2,)" +
                                 R"("ban":)" + ban + "}";
        signIn("Steve", "pw");
        EXPECT_EQ(log->names(), (QStringList{"busy:Вход...", "sessionReady", "loggedIn"})) << ban;
        EXPECT_FALSE(log->session.ban);
        EXPECT_EQ(iniValue("session/opLevel"), QVariant(2));
    }
}

TEST_F(AuthClientTest, ErrorTextsComeFromTheBodyOrTheNetworkFailure) {
    FakeAccountServer& fake = startFake();
    fake.authenticateStatus = 429;
    fake.authenticateReply = R"({"errorMessage":"Подожди минуту"})";
    signIn("Steve", "pw");
    EXPECT_EQ(log->names(), (QStringList{"busy:Вход...", "lockedOut"}));
    EXPECT_EQ(log->first("lockedOut").value(1), "Подожди минуту");

    fake.authenticateStatus = 500;
    fake.authenticateReply = R"({"errorMessage":""})";
    signIn("Steve", "pw");
    EXPECT_TRUE(log->first("failed").value(1).startsWith("Ошибка связи с сервером: "));
    EXPECT_GT(log->first("failed").value(1).size(), QString("Ошибка связи с сервером: ").size());

    fake.authenticateStatus = 502;
    fake.authenticateReply = "<html>Bad Gateway</html>";
    signIn("Steve", "pw");
    EXPECT_TRUE(log->first("failed").value(1).startsWith("Ошибка связи с сервером: "));
}

TEST_F(AuthClientTest, RefusedConnectionReadsAsUnreachableServer) {
    int closedPort = 0;
    {
        TestHttpServer gone;
        closedPort = gone.port();
    }
    useServer(QString("http://127.0.0.1:%1").arg(closedPort));
    signIn("Steve", "pw");
    EXPECT_EQ(log->first("failed").value(1), kServerUnreachableText);
}

TEST_F(AuthClientTest, SilentServerTimesOutAsUnreachable) {
    startFake().stall = true;
    client->setTransferTimeout(std::chrono::milliseconds(300));
    QElapsedTimer timer;
    timer.start();
    signIn("Steve", "pw");
    EXPECT_LT(timer.elapsed(), 4000);
    EXPECT_EQ(log->names(), (QStringList{"busy:Вход...", "failed"}));
    EXPECT_EQ(log->first("failed").value(1), kServerUnreachableText);
}

TEST(AccountServerBaseUrl, IsTrimmedWithoutTrailingSlashesOrTheBuiltInServer) {
    TempDir dir("qbk-base-url");
    const auto ini = dir / "Quellbrook.ini";
    writeIni(ini, "  http://127.0.0.1:8448///  ");
    EXPECT_EQ(accountServerBaseUrl(Settings(ini)), "http://127.0.0.1:8448");
    writeIni(ini, "   ");
    const QString builtIn = QString::fromStdString(project::defaultAccountServer());
    EXPECT_EQ(accountServerBaseUrl(Settings(ini)), builtIn);
    EXPECT_TRUE(builtIn.startsWith("https://") && builtIn.endsWith(":8448"));
    EXPECT_EQ(accountServerBaseUrl(Settings(dir / "absent.ini")), builtIn);

    const QNetworkRequest request = accountServerRequest("http://h:1", "/api/session", "tök");
    EXPECT_EQ(request.url().toString(), "http://h:1/api/session");
    EXPECT_EQ(request.rawHeader("Authorization"), QString("Bearer tök").toUtf8());
    EXPECT_EQ(request.rawHeader("User-Agent"), "Quellbrook-Launcher/1.0");
    EXPECT_EQ(request.header(QNetworkRequest::ContentTypeHeader).toString(), "application/json");
    EXPECT_EQ(request.transferTimeout(), 15000);
}

} // namespace
} // namespace qbk
