// The in-memory session, its check against "/api/session" of the stand-in server, and the
// remembered copy in the settings file.

#include "AccountServerProcess.h"
#include "accounts/AccountServerApi.h"
#include "accounts/AuthClient.h"
#include "accounts/BanText.h"
#include "accounts/SessionCheck.h"
#include "accounts/SessionStore.h"
#include "app/Settings.h"
#include "tests/support/TempDir.h"

#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace qbk {
namespace {

using test::AccountServerProcess;
using test::TempDir;

constexpr int kWaitMs = 20000;

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        server = std::make_unique<AccountServerProcess>(
            QStringList{"--seed-account", "Owner:ownerpass:3", "--seed-account",
                        "Player:playerpass", "--seed-ban", "Player:0:читы"});
        ASSERT_TRUE(server->isListening());
        QSettings(iniPath(), QSettings::IniFormat).setValue("auth/baseUrl", server->baseUrl());
        settings = std::make_unique<Settings>(dir / "Quellbrook.ini");
        client = std::make_unique<AuthClient>(*settings, nullptr);
        QObject::connect(client.get(), &AuthClient::sessionReady, &store, &SessionStore::begin);
        check = std::make_unique<SessionCheck>(store, *settings);
    }
    QString iniPath() const { return QString::fromStdString((dir / "Quellbrook.ini").string()); }
    void signIn(const QString& name, const QString& password) {
        QSignalSpy done(client.get(), &AuthClient::loggedIn);
        client->login(name, password);
        ASSERT_TRUE(done.wait(kWaitMs));
    }
    QVariant storedOpLevel() {
        settings->sync();
        return QSettings(iniPath(), QSettings::IniFormat).value("session/opLevel");
    }

    TempDir dir{"qbk-session"};
    std::unique_ptr<AccountServerProcess> server;
    SessionStore store;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<AuthClient> client;
    std::unique_ptr<SessionCheck> check;
};

TEST_F(SessionTest, CheckAppliesTheServersAnswerToTheCurrentSession) {
    EXPECT_FALSE(check->start()); // nobody signed in: no request
    signIn("Owner", "ownerpass");
    ASSERT_TRUE(store.isSignedIn());
    EXPECT_EQ(store.current().username, "Owner");
    EXPECT_EQ(store.current().opLevel, 3);

    QSettings(iniPath(), QSettings::IniFormat).setValue("session/opLevel", 0);
    QSignalSpy checked(check.get(), &SessionCheck::checked);
    ASSERT_TRUE(check->start());
    ASSERT_TRUE(checked.wait(kWaitMs));
    EXPECT_EQ(checked.first().first().value<Session>().opLevel, 3);
    EXPECT_FALSE(store.current().ban);
    EXPECT_EQ(storedOpLevel(), QVariant(3));
}

TEST_F(SessionTest, AnswerForAnEarlierSessionIsDropped) {
    signIn("Player", "playerpass");
    const Session player = store.current();
    signIn("Owner", "ownerpass");
    QSignalSpy checked(check.get(), &SessionCheck::checked);
    QSignalSpy failed(check.get(), &SessionCheck::failed);

    ASSERT_TRUE(check->start());
    store.end(); // signed out before the answer came
    EXPECT_FALSE(check->start());
    QTest::qWait(500);

    signIn("Owner", "ownerpass");
    ASSERT_TRUE(check->start());
    store.begin(player); // someone else signed in before the answer came
    QTest::qWait(500);
    EXPECT_EQ(checked.count(), 0);
    EXPECT_EQ(failed.count(), 0);
    EXPECT_EQ(store.current().username, "Player");
    EXPECT_EQ(store.current().opLevel, 0);
}

TEST_F(SessionTest, BanOfTheSignInStaysWhateverTheCheckAnswers) {
    signIn("Player", "playerpass");
    ASSERT_TRUE(store.current().ban);
    EXPECT_EQ(store.current().ban->reason, "читы");
    EXPECT_EQ(banStatusText(*store.current().ban), "Аккаунт заблокирован навсегда. Причина: читы");
    const Session player = store.current();

    // An operator lifts the ban while the player's launcher still shows it.
    signIn("Owner", "ownerpass");
    QNetworkAccessManager network;
    QNetworkReply* unban = network.post(
        accountServerRequest(server->baseUrl(), "/api/admin/unban", store.current().accessToken),
        R"({"username":"Player"})");
    ASSERT_TRUE(QTest::qWaitFor([unban] { return unban->isFinished(); }, kWaitMs));
    ASSERT_EQ(unban->error(), QNetworkReply::NoError);
    delete unban;

    store.begin(player);
    QSignalSpy checked(check.get(), &SessionCheck::checked);
    ASSERT_TRUE(check->start());
    ASSERT_TRUE(checked.wait(kWaitMs));
    ASSERT_TRUE(store.current().ban);
    EXPECT_EQ(store.current().ban->reason, "читы");
}

TEST_F(SessionTest, RefusedTokenIsAFailureWithTheServersText) {
    Session stale;
    stale.username = "Owner";
    stale.accessToken = "forgotten-token";
    store.begin(stale);
    QSignalSpy failed(check.get(), &SessionCheck::failed);
    ASSERT_TRUE(check->start());
    ASSERT_TRUE(failed.wait(kWaitMs));
    EXPECT_EQ(failed.first().first().toString(), "Сессия недействительна, войди заново.");
}

TEST(SessionStore, RemembersOnlyWhatTheSettingsFileWasGiven) {
    TempDir dir("qbk-session-store");
    Settings settings(dir / "Quellbrook.ini");
    EXPECT_FALSE(SessionStore::restoreFrom(settings));

    SessionStore store;
    QSignalSpy changed(&store, &SessionStore::changed);
    const quint64 before = store.generation();
    store.begin({"Алиса", "uuid-1", "access-1", "client-1", 2, std::nullopt});
    EXPECT_EQ(changed.count(), 1);
    EXPECT_NE(store.generation(), before);
    settings.setUsername("Алиса");
    store.saveTo(settings);

    Settings reread(dir / "Quellbrook.ini");
    const auto restored = SessionStore::restoreFrom(reread);
    ASSERT_TRUE(restored);
    EXPECT_EQ(restored->username, "Алиса");
    EXPECT_EQ(restored->accessToken, "access-1");
    EXPECT_EQ(restored->uuid, "uuid-1");

    const quint64 signedIn = store.generation();
    store.end();
    EXPECT_FALSE(store.isSignedIn());
    EXPECT_NE(store.generation(), signedIn);
    reread.clearSession();
    EXPECT_FALSE(SessionStore::restoreFrom(Settings(dir / "Quellbrook.ini")));
}

TEST(BanText, EndIsPermanentOrALocalTimeToTheSecond) {
    EXPECT_EQ(banEndText({"", 0}), "навсегда");
    const qint64 until = 1900000000;
    const QString text = banEndText({"", until});
    ASSERT_TRUE(text.startsWith("до "));
    const QDateTime parsed = QDateTime::fromString(text.mid(3), "dd.MM.yyyy HH:mm:ss");
    EXPECT_EQ(parsed.toSecsSinceEpoch(), until);
    EXPECT_EQ(banStatusText({"спам", until}), "Аккаунт заблокирован " + text + ". Причина: спам");
}

} // namespace
} // namespace qbk
