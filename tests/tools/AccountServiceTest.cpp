// The stand-in account server's own rules, driven in-process: challenges, stored secrets,
// levels, bans, limits. Its HTTP front is walked by the accounts suites.
#include "AccountService.h"

#include "accounts/NonceSearch.h"
#include "accounts/ProofOfWork.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"

#include <gtest/gtest.h>

namespace qbk::accountserver {
namespace {
using nlohmann::json;
using Call = AccountService::Reply (AccountService::*)(const std::string&, const std::string&);
const Call ban = &AccountService::adminBan, unban = &AccountService::adminUnban;

struct AccountServiceTest : ::testing::Test {
    void start(const std::string& database = ":memory:") {
        ServerOptions options;
        options.databasePath = database;
        options.difficultyBits = 10;
        options.pbkdf2Iterations = 1000;
        options.maxFailedLogins = 3;
        options.seedAccounts = {{"player", "secret1", 0},
                                {"moderator", "secret1", 3},
                                {"deputy", "secret1", 3},
                                {"owner", "secret1", 4}};
        s.emplace(options);
        ASSERT_TRUE(s->isReady()) << s->startupError();
    }
    AccountService::Reply signIn(const std::string& name, const std::string& password) {
        return s->authenticate(json{{"username", name}, {"password", password}}.dump());
    }
    std::string token(const std::string& name) {
        return "Bearer " + signIn(name, "secret1").body.value("accessToken", std::string());
    }
    int admin(Call call, const std::string& caller, const std::string& target, int days = 0) {
        const json body{{"username", target}, {"reason", "r"}, {"days", days}};
        return ((*s).*call)(caller, body.dump()).status;
    }
    // A registration with a fresh challenge and its smallest nonce.
    json enrollment(const std::string& name, const std::string& password = "secret12") {
        const json challenge = s->challenge().body;
        const std::string text = challenge.value("challenge", "");
        const std::atomic<bool> stop{false};
        const auto nonce = pow::findSmallestNonce(text, challenge["difficultyBits"], stop).nonce;
        return {{"username", name},
                {"password", password},
                {"challenge", text},
                {"nonce", std::to_string(nonce.value_or(0))}};
    }
    std::string enroll(const json& request) {
        const auto reply = s->registerAccount(request.dump());
        return std::to_string(reply.status) + " " + reply.body.value("errorMessage", "");
    }
    std::optional<AccountService> s;
};

TEST_F(AccountServiceTest, ChallengeIsSingleUseItsNonceIsCheckedAndOnlySaltedHashesAreStored) {
    test::TempDir dir("qbk-account-db");
    start((dir / "accounts.sqlite").string());
    json request = enrollment("Steve"), wrong = request;
    const std::string challenge = request["challenge"];
    std::uint64_t failing = std::stoull(request["nonce"].get<std::string>()) + 1;
    while (pow::nonceMeetsDifficulty(challenge, failing, 10))
        ++failing;
    wrong["nonce"] = std::to_string(failing);
    EXPECT_EQ(enroll(wrong), "400 Решение задачи неверно. Попробуй ещё раз.");
    // The failed attempt used the challenge up; its right answer no longer counts.
    EXPECT_EQ(enroll(request), "400 Задача устарела или уже использована. Попробуй ещё раз.");
    const std::string code =
        s->registerAccount(enrollment("Steve", "PlainPassword9").dump()).body["recoveryCode"];
    EXPECT_EQ(enroll(enrollment("steve")), "409 Этот никнейм уже занят.");
    // A new password set by recovery ends the sessions the old one opened.
    const std::string old =
        "Bearer " + signIn("Steve", "PlainPassword9").body.value("accessToken", "");
    EXPECT_EQ(s->session(old).status, 200);
    const json recovery{{"username", "Steve"}, {"recoveryCode", code}, {"newPassword", "other1"}};
    EXPECT_EQ(s->recover(recovery.dump()).status, 200);
    EXPECT_EQ(s->session(old).status, 401);
    s.reset();
    const std::string bytes = test::readWholeFile(dir / "accounts.sqlite");
    for (const std::string& secret : {std::string("PlainPassword9"), std::string("other1"), code})
        EXPECT_EQ(bytes.find(secret), std::string::npos) << secret;
    EXPECT_NE(bytes.find("pbkdf2-sha256$1000$"), std::string::npos);
}

TEST_F(AccountServiceTest, AdminLevelsBansAndRecoveryLocks) {
    start();
    const std::string owner = token("owner"), moderator = token("moderator");
    const std::tuple<Call, std::string, const char*, int, int> rows[] = {
        {ban, moderator, "owner", 1, 403},    {ban, moderator, "player", 3651, 400},
        {ban, moderator, "player", -1, 400},  {ban, moderator, "nobody", 1, 404},
        {unban, moderator, "player", 0, 404}, {ban, "Bearer not-a-token", "player", 1, 401},
        {ban, owner, "deputy", 3650, 200},    {ban, owner, "player", 0, 200},
        {unban, moderator, "deputy", 0, 403}, // the same level
        {unban, moderator, "player", 0, 200}, {unban, owner, "deputy", 0, 200}};
    for (const auto& [call, caller, target, days, status] : rows)
        EXPECT_EQ(admin(call, caller, target, days), status) << target << " " << days;
    const std::string player = token("player");
    ASSERT_EQ(admin(ban, owner, "moderator"), 200);
    EXPECT_EQ(s->session(moderator).status, 401) << "a ban revokes the tokens it had";
    const std::string banned = token("moderator"); // signing in still shows the ban
    EXPECT_EQ(std::vector<int>({s->adminMe(banned).status, s->adminBans(banned).status,
                                admin(ban, banned, "player"), admin(unban, banned, "moderator")}),
              std::vector<int>(4, 403));
    EXPECT_EQ(s->session(player).status, 200);
    // Wrong recovery codes lock recovery, not the password (the panel's recovery walk needs it).
    std::vector<int> recoveries;
    for (const char* name : {"nobody", "player", "player", "player", "player"})
        recoveries.push_back(
            s->recover(json{{"username", name}, {"recoveryCode", "QUELL-WRONG"}}.dump()).status);
    EXPECT_EQ(recoveries, std::vector<int>({403, 403, 403, 403, 429}));
    EXPECT_EQ(signIn("player", "secret1").status, 200);
}

} // namespace
} // namespace qbk::accountserver
