// The in-memory session and its check against "/api/session" of the stand-in server.

#include "AccountTestServer.h"
#include "accounts/AccountServerApi.h"
#include "accounts/BanText.h"
#include "accounts/SessionCheck.h"
#include "accounts/SessionStore.h"

#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace qbk {
namespace {

using test::kServerWaitMs;

TEST(SessionCheck, AppliesTheServersAnswerToTheSessionItWasAskedFor) {
    test::AccountTestServer env;
    SessionStore store;
    SessionCheck check(store, env.settings());
    QSignalSpy checked(&check, &SessionCheck::checked), failed(&check, &SessionCheck::failed);
    QSignalSpy changed(&store, &SessionStore::changed);
    // Every reply the check asked for was handled (and deleted).
    const auto handled = [&] {
        return QTest::qWaitFor([&] { return check.findChildren<QNetworkReply*>().isEmpty(); },
                               kServerWaitMs);
    };
    EXPECT_FALSE(check.start()); // nobody signed in: no request
    ASSERT_TRUE(env.signIn(store, "oper", "operpass"));
    const quint64 generation = store.generation();
    store.setOpLevel(0);
    env.settings().setOpLevel(0);
    EXPECT_EQ(changed.count(), 2);
    ASSERT_TRUE(check.start());
    ASSERT_TRUE(checked.wait(kServerWaitMs));
    EXPECT_EQ(checked.first().first().value<Session>().opLevel, 3);
    EXPECT_EQ(store.current().opLevel, 3);
    EXPECT_FALSE(store.current().ban);
    EXPECT_EQ(env.onDisk("session/opLevel"), QVariant(3));
    EXPECT_EQ(store.generation(), generation);

    // Answers that arrive after a sign-out or another sign-in are dropped.
    ASSERT_TRUE(env.signIn(store, "villain", "villainpass"));
    const Session villain = store.current();
    ASSERT_TRUE(villain.ban);
    EXPECT_EQ(banStatusText(*villain.ban), "Аккаунт заблокирован навсегда. Причина: Читы");
    ASSERT_TRUE(env.signIn(store, "oper", "operpass"));
    const Session oper = store.current();
    ASSERT_TRUE(check.start());
    store.end();
    EXPECT_FALSE(store.isSignedIn());
    EXPECT_FALSE(check.start());
    ASSERT_TRUE(handled());
    store.begin(oper);
    ASSERT_TRUE(check.start());
    store.begin(villain);
    ASSERT_TRUE(handled());
    EXPECT_EQ(checked.count(), 1);
    EXPECT_EQ(failed.count(), 0);
    EXPECT_EQ(store.current().opLevel, 0);

    // A ban lifted meanwhile stays shown until the next sign-in.
    QNetworkAccessManager network;
    QNetworkReply* unban =
        network.post(accountServerRequest(env.baseUrl(), "/api/admin/unban", oper.accessToken),
                     R"({"username":"villain"})");
    ASSERT_TRUE(QTest::qWaitFor([unban] { return unban->isFinished(); }, kServerWaitMs));
    ASSERT_EQ(unban->error(), QNetworkReply::NoError);
    delete unban;
    ASSERT_TRUE(check.start());
    ASSERT_TRUE(checked.wait(kServerWaitMs));
    EXPECT_EQ(store.current().ban->reason, "Читы");

    store.begin({"oper", "", "forgotten-token", "", 3, std::nullopt});
    ASSERT_TRUE(check.start());
    ASSERT_TRUE(failed.wait(kServerWaitMs));
    EXPECT_EQ(failed.first().first().toString(), "Сессия недействительна, войди заново.");
}

TEST(BanText, EndIsPermanentOrALocalTimeToTheSecond) {
    EXPECT_EQ(banEndText({"", 0}), "навсегда");
    const qint64 until = 1900000000;
    const QString text = banEndText({"", until});
    ASSERT_TRUE(text.startsWith("до "));
    EXPECT_EQ(QDateTime::fromString(text.mid(3), "dd.MM.yyyy HH:mm:ss").toSecsSinceEpoch(), until);
    EXPECT_EQ(banStatusText({"спам", until}), "Аккаунт заблокирован " + text + ". Причина: спам");
}

} // namespace
} // namespace qbk
