// The operator calls against the stand-in server, with the token of this run's session only.

#include "accounts/AdminClient.h"

#include "AccountServerProcess.h"
#include "accounts/AccountServerApi.h"
#include "accounts/AuthClient.h"
#include "accounts/SessionStore.h"
#include "app/Settings.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"

#include <QDateTime>
#include <QSettings>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <thread>

namespace qbk {
namespace {

using test::AccountServerProcess;
using test::TempDir;
using test::TestHttpServer;

constexpr int kWaitMs = 20000;

class AdminClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = std::make_unique<AccountServerProcess>(QStringList{
            "--seed-account", "Owner:ownerpass:3", "--seed-account", "Viewer:viewpass:1",
            "--seed-account", "Player:playerpass", "--seed-account", "Target:targetpass"});
        ASSERT_TRUE(server->isListening());
        useBaseUrl(server->baseUrl());
    }
    void useBaseUrl(const QString& baseUrl) {
        QSettings(iniPath(), QSettings::IniFormat).setValue("auth/baseUrl", baseUrl);
        settings = std::make_unique<Settings>(dir / "Quellbrook.ini");
        admin = std::make_unique<AdminClient>(store, *settings);
    }
    QString iniPath() const { return QString::fromStdString((dir / "Quellbrook.ini").string()); }
    void signIn(const QString& name, const QString& password) {
        AuthClient client(*settings, nullptr);
        QObject::connect(&client, &AuthClient::sessionReady, &store, &SessionStore::begin);
        QSignalSpy done(&client, &AuthClient::loggedIn);
        client.login(name, password);
        ASSERT_TRUE(done.wait(kWaitMs));
    }
    BanList bans() {
        QSignalSpy loaded(admin.get(), &AdminClient::bansLoaded);
        admin->loadBans();
        EXPECT_TRUE(loaded.wait(kWaitMs));
        return loaded.isEmpty() ? BanList{} : loaded.first().first().value<BanList>();
    }
    template <typename Signal> QString waitForText(Signal signal, std::function<void()> call) {
        QSignalSpy spy(admin.get(), signal);
        call();
        EXPECT_TRUE(spy.wait(kWaitMs));
        return spy.isEmpty() ? QString() : spy.first().first().toString();
    }

    TempDir dir{"qbk-admin"};
    std::unique_ptr<AccountServerProcess> server;
    SessionStore store;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<AdminClient> admin;
};

TEST_F(AdminClientTest, OperatorBansAndUnbansWithTheSessionOfThisRun) {
    signIn("Owner", "ownerpass");
    EXPECT_FALSE(QSettings(iniPath(), QSettings::IniFormat).contains("session/accessToken"));

    QSignalSpy level(admin.get(), &AdminClient::levelReceived);
    admin->requestLevel();
    ASSERT_TRUE(level.wait(kWaitMs));
    EXPECT_EQ(level.first(), (QVariantList{3, true}));
    EXPECT_TRUE(bans().isEmpty());

    EXPECT_EQ(waitForText(&AdminClient::banned, [&] { admin->ban("Target", "гриф", 0); }),
              "Target");
    BanList list = bans();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].username, "Target");
    EXPECT_EQ(list[0].reason, "гриф");
    EXPECT_EQ(list[0].bannedBy, "Owner");
    EXPECT_TRUE(list[0].permanent);
    EXPECT_NEAR(list[0].createdAt, QDateTime::currentSecsSinceEpoch(), 60);

    EXPECT_EQ(waitForText(&AdminClient::banned, [&] { admin->ban("Target", "", 5); }), "Target");
    list = bans();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].reason, "");
    EXPECT_FALSE(list[0].permanent);
    EXPECT_EQ(list[0].until - list[0].createdAt, 5 * 86400);

    EXPECT_EQ(waitForText(&AdminClient::unbanned, [&] { admin->unban("Target"); }), "Target");
    EXPECT_TRUE(bans().isEmpty());
    EXPECT_EQ(waitForText(&AdminClient::unbanFailed, [&] { admin->unban("Target"); }),
              "Этот игрок не забанен.");
}

TEST_F(AdminClientTest, LowerLevelsMayOnlyLookOrAreRefused) {
    signIn("Viewer", "viewpass");
    QSignalSpy level(admin.get(), &AdminClient::levelReceived);
    admin->requestLevel();
    ASSERT_TRUE(level.wait(kWaitMs));
    EXPECT_EQ(level.first(), (QVariantList{1, false}));
    EXPECT_TRUE(bans().isEmpty());
    EXPECT_EQ(waitForText(&AdminClient::banFailed, [&] { admin->ban("Target", "x", 1); }),
              "Недостаточно прав: нужен уровень доступа 3 или выше.");

    signIn("Player", "playerpass");
    EXPECT_EQ(waitForText(&AdminClient::levelFailed, [&] { admin->requestLevel(); }),
              "Недостаточно прав: нужен уровень доступа 1 или выше.");
    EXPECT_EQ(waitForText(&AdminClient::bansFailed, [&] { admin->loadBans(); }),
              "Недостаточно прав: нужен уровень доступа 1 или выше.");

    store.end();
    EXPECT_EQ(waitForText(&AdminClient::levelFailed, [&] { admin->requestLevel(); }),
              "Сессия недействительна, войди заново.");
}

TEST_F(AdminClientTest, SilentServerTimesOut) {
    std::atomic<bool> released{false};
    TestHttpServer silent;
    silent.get("/api/admin/me", [&](const auto&, auto& res, const auto&) {
        for (int waited = 0; !released && waited < 5000; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        res.set_content("{}", "application/json");
    });
    useBaseUrl(QString::fromStdString(silent.baseUrl()));
    admin->setTransferTimeout(std::chrono::milliseconds(300));
    EXPECT_EQ(waitForText(&AdminClient::levelFailed, [&] { admin->requestLevel(); }),
              kServerUnreachableText);
    admin.reset();
    released = true;
}

} // namespace
} // namespace qbk
