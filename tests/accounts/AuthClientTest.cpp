// The account client against a loopback host that answers what a broken or hostile one might,
// and against the stand-in server: no secret ever shown, logged or stored; the session check.

#include "accounts/AuthClient.h"

#include "AccountTestServer.h"
#include "accounts/AccountServerApi.h"
#include "accounts/BanText.h"
#include "accounts/SessionCheck.h"
#include "accounts/SessionStore.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <QDateTime>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>
#include <mutex>
#include <nlohmann/json.hpp>
#include <ranges>

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
                res.status = auth ? authStatus : 200;
                res.set_content(auth ? authBody : "{}", "application/json");
            });
        use(QString::fromStdString(host.baseUrl()));
    }
    // A new client on baseUrl whose signals are recorded as "name|argument|...".
    void use(const QString& baseUrl) {
        client.reset();
        env.useServer(baseUrl);
        client = std::make_unique<AuthClient>(env.settings(), nullptr);
        const auto on = [this](auto signal, const char* name) {
            QObject::connect(client.get(), signal, [this, name](const auto&... args) {
                QStringList event{name};
                ((event << QVariant::fromValue(args).toString()), ...);
                events << event.join('|');
            });
        };
        on(&AuthClient::busy, "busy"), on(&AuthClient::registered, "registered");
        on(&AuthClient::recoveryCodeIssued, "code"), on(&AuthClient::lockedOut, "lockedOut");
        on(&AuthClient::recovered, "recovered"), on(&AuthClient::accountBanned, "banned");
        on(&AuthClient::loggedIn, "loggedIn"), on(&AuthClient::failed, "failed");
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

    test::AccountTestServer env; // servers outlive the client, whose connections close first
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

TEST_F(AuthClientTest, RequestsCarryTheSmallestNonceAndTheNewPassword) {
    EXPECT_EQ(run([](AuthClient& c) { c.registerAccount("Steve", "pw"); }),
              (QStringList{"busy|Получаю задачу от сервера...", "busy|Проверка, что ты не бот...",
                           "busy|Создаю аккаунт...", "registered|Steve", "busy|Вход...",
                           "sessionReady", "loggedIn|Steve|u1|tok|cli"}));
    run([](AuthClient& c) { c.recover("Steve", "QUELL-AAAA-BBBB-CCCC", "newpass"); });
    EXPECT_EQ(json(bodies),
              json::parse(R"([{"username":"Steve","password":"pw","challenge":"abc","nonce":"181"},
                  {"username":"Steve","password":"pw","requestUser":true},
                  {"username":"Steve","recoveryCode":"QUELL-AAAA-BBBB-CCCC","newPassword":"newpass"}])"));
    // Challenges that cannot be solved end it.
    const std::pair<std::string, QString> rows[] = {
        {R"({"difficultyBits":8})", "failed|Сервер вернул некорректную задачу."},
        {R"({"challenge":"abc","difficultyBits":300})", "невозможно"}};
    for (const auto& [reply, outcome] : rows) {
        challenge = reply;
        const QString last = run([](AuthClient& c) { c.registerAccount("Steve", "pw"); }).last();
        EXPECT_TRUE(last.contains(outcome)) << reply << ": " << last.toStdString();
    }
}

// What each answer of the sign-in host ends in (the signals after "busy"), the ban it
// carries, and the operator level on disk; then a refused connection.
TEST_F(AuthClientTest, SignInAnswersOfABrokenOrHostileHost) {
    const std::string tokens = R"({"accessToken":"tok","clientToken":"cli",)"
                               R"("selectedProfile":{"id":"u1","name":"Steve"},"opLevel":2)";
    const QString in = "sessionReady,loggedIn|Steve|u1|tok|cli";
    const std::tuple<int, std::string, QString, qint64> rows[] = {
        {200, "<html>Войдите в сеть Wi-Fi</html>", "failed|Сервер вернул некорректный ответ.", -1},
        {200, R"({"accessToken":"tok","selectedProfile":{"id":"u1"}})",
         "failed|Сервер вернул некорректный ответ.", -1},
        {429, R"({"errorMessage":"Подожди минуту"})", "lockedOut|Подожди минуту", -1},
        {500, R"({"errorMessage":""})", "failed|Ошибка связи с сервером: ", -1},
        {200, tokens + R"(,"ban":null})", in, -1},
        {200, tokens + R"(,"ban":{"reason":"r","until":1e19}})", "sessionReady,banned|r|0", 0},
        {200, tokens + R"(,"ban":{"until":"soon"}})", "sessionReady,banned||0", 0},
        {200, tokens + R"(,"ban":{"reason":"r","until":1900000000}})",
         "sessionReady,banned|r|1900000000,loggedIn|Steve|u1|tok|cli", 1900000000}};
    for (const auto& [status, body, ending, banUntil] : rows) {
        std::tie(authStatus, authBody, session) = std::tuple(status, body, Session{});
        const QString emitted = signIn("Steve", "pw").mid(1).join(',');
        EXPECT_TRUE(emitted.startsWith(ending)) << body << " ended in " << emitted.toStdString();
        EXPECT_EQ(session.ban ? session.ban->untilUnix : -1, banUntil) << body;
        env.settings().sync();
        EXPECT_EQ(env.onDisk("session/opLevel"),
                  ending.startsWith("session") ? QVariant(2) : QVariant())
            << body;
    }
    use(QString("http://127.0.0.1:%1").arg(test::TestHttpServer().port())); // closed again
    EXPECT_EQ(signIn("Steve", "pw").last(), "failed|" + kServerUnreachableText);
}

// Passwords, recovery codes and tokens go to the server and to the signals meant to carry
// them, never into a text the launcher shows (busy and failure texts), a line on the standard
// streams (where Qt's messages go too) or the INI.
TEST_F(AuthClientTest, SecretsNeverReachShownTextsLogsOrTheIni) {
    use(env.baseUrl());
    QStringList secrets{"first-pass-Ä1", "wrong-pass-Ö2", "new-pass-Ü3", "QUELL-AAAA-BBBB-CCCC"};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    run([&](AuthClient& c) { c.registerAccount("Secret_Player", secrets[0]); });
    EXPECT_EQ(signIn("Secret_Player", secrets[1]).last(), "failed|Неверный никнейм или пароль.");
    run([&](AuthClient& c) { c.recover("Secret_Player", secrets[3], secrets[2]); }); // not issued
    const QString code = events.filter(QRegularExpression("^code\\|")).value(0).mid(5);
    EXPECT_EQ(run([&](AuthClient& c) { c.recover("Secret_Player", code, secrets[2]); }).last(),
              "recovered|Secret_Player|true");
    signIn("Secret_Player", secrets[2]);
    env.settings().sync();
    QStringList shown; // what the panel would put on screen
    for (const QStringList parts :
         events | std::views::transform([](const QString& e) { return e.split('|'); }))
        if (parts[0] == "code")
            secrets << parts[1];
        else if (parts[0] == "loggedIn")
            secrets << parts[3] << parts[4];
        else
            shown << parts.join('|');
    ASSERT_EQ(secrets.size(), 10); // two codes and two pairs of tokens
    const std::string written = testing::internal::GetCapturedStdout() +
                                testing::internal::GetCapturedStderr() +
                                test::readWholeFile(env.ini);
    for (const QString& secret : secrets) {
        EXPECT_FALSE(shown.join('\n').contains(secret, Qt::CaseInsensitive))
            << secret.toStdString();
        EXPECT_EQ(written.find(secret.toStdString()), std::string::npos) << secret.toStdString();
    }
}

// The session check against "/api/session" applies only to the session it was asked for.
TEST(SessionCheck, AppliesTheServersAnswerToTheSessionItWasAskedFor) {
    test::AccountTestServer env;
    SessionStore store, oper;
    SessionCheck check(store, env.settings());
    QSignalSpy checked(&check, &SessionCheck::checked), failed(&check, &SessionCheck::failed);
    const auto handled = [&] { // every reply the check asked for was handled (and deleted)
        return QTest::qWaitFor([&] { return check.findChildren<QNetworkReply*>().isEmpty(); },
                               test::kServerWaitMs);
    };
    ASSERT_TRUE(env.signIn(oper, "oper", "operpass"));
    store.begin({"oper", oper.current().uuid, oper.current().accessToken, "", 0, std::nullopt});
    const quint64 generation = store.generation();
    env.settings().setOpLevel(0);
    ASSERT_TRUE(check.start());
    ASSERT_TRUE(checked.wait(test::kServerWaitMs));
    EXPECT_EQ(checked.first().first().value<Session>().opLevel, 3);
    EXPECT_EQ(
        std::tuple(store.current().opLevel, env.onDisk("session/opLevel"), store.generation()),
        std::tuple(3, QVariant(3), generation));
    // Answers that arrive after a sign-out or another sign-in are dropped.
    ASSERT_TRUE(env.signIn(store, "villain", "villainpass"));
    const Session villain = store.current();
    ASSERT_TRUE(check.start());
    store.end();
    EXPECT_FALSE(check.start()); // nobody signed in: no request
    ASSERT_TRUE(handled());
    store.begin(oper.current());
    ASSERT_TRUE(check.start());
    store.begin(villain);
    ASSERT_TRUE(handled());
    EXPECT_EQ(std::tuple(checked.count(), failed.count(), store.current().opLevel),
              std::tuple(1, 0, 0));
    const QString end = banEndText({"", 1900000000}); // a dated end: local time to the second
    EXPECT_EQ(QDateTime::fromString(end, "до dd.MM.yyyy HH:mm:ss").toSecsSinceEpoch(), 1900000000);
    EXPECT_EQ(banStatusText({"спам", 1900000000}),
              "Аккаунт заблокирован " + end + ". Причина: спам");
    store.begin({"oper", "", "forgotten-token", "", 3, std::nullopt});
    ASSERT_TRUE(check.start());
    ASSERT_TRUE(failed.wait(test::kServerWaitMs));
    EXPECT_EQ(failed.first().first().toString(), "Сессия недействительна, войди заново.");
}

} // namespace
} // namespace qbk
