// The in-memory session and its check against "/api/session" of the stand-in server.

#include "AccountTestServer.h"
#include "accounts/AdminClient.h"
#include "accounts/BanText.h"
#include "accounts/SessionCheck.h"
#include "accounts/SessionStore.h"

#include <QDateTime>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace qbk {
namespace {

TEST(SessionCheck, AppliesTheServersAnswerToTheSessionItWasAskedFor) {
    test::AccountTestServer env;
    SessionStore store, oper;
    SessionCheck check(store, env.settings());
    QSignalSpy checked(&check, &SessionCheck::checked), failed(&check, &SessionCheck::failed);
    const auto handled = [&] { // every reply the check asked for was handled (and deleted)
        return QTest::qWaitFor([&] { return check.findChildren<QNetworkReply*>().isEmpty(); },
                               test::kServerWaitMs);
    };
    EXPECT_FALSE(check.start()); // nobody signed in: no request
    ASSERT_TRUE(env.signIn(oper, "oper", "operpass"));
    store.begin(oper.current());
    const quint64 generation = store.generation();
    store.setOpLevel(0);
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
    EXPECT_FALSE(check.start());
    ASSERT_TRUE(handled());
    store.begin(oper.current());
    ASSERT_TRUE(check.start());
    store.begin(villain);
    ASSERT_TRUE(handled());
    EXPECT_EQ(std::tuple(checked.count(), failed.count(), store.current().opLevel),
              std::tuple(1, 0, 0));
    // A ban lifted meanwhile stays shown until the next sign-in.
    AdminClient admin(oper, env.settings());
    QSignalSpy unbanned(&admin, &AdminClient::unbanned);
    admin.unban("villain");
    ASSERT_TRUE(unbanned.wait(test::kServerWaitMs));
    ASSERT_TRUE(check.start());
    ASSERT_TRUE(checked.wait(test::kServerWaitMs));
    EXPECT_EQ(banStatusText(*store.current().ban), "Аккаунт заблокирован навсегда. Причина: Читы");
    store.begin({"oper", "", "forgotten-token", "", 3, std::nullopt});
    ASSERT_TRUE(check.start());
    ASSERT_TRUE(failed.wait(test::kServerWaitMs));
    EXPECT_EQ(failed.first().first().toString(), "Сессия недействительна, войди заново.");
}

TEST(BanText, EndIsPermanentOrALocalTimeToTheSecond) {
    const qint64 until = 1900000000;
    const QString text = banEndText({"", until});
    ASSERT_TRUE(text.startsWith("до "));
    EXPECT_EQ(QDateTime::fromString(text.mid(3), "dd.MM.yyyy HH:mm:ss").toSecsSinceEpoch(), until);
    EXPECT_EQ(banStatusText({"спам", until}), "Аккаунт заблокирован " + text + ". Причина: спам");
}

} // namespace
} // namespace qbk
