// The stand-in account server's own rules, driven in-process: levels, bans, limits, expiry.
#include "AccountService.h"

#include "SecretHash.h"

#include <gtest/gtest.h>
#include <thread>

namespace qbk::accountserver {
namespace {
using nlohmann::json;
using Call = AccountService::Reply (AccountService::*)(const std::string&, const std::string&);
const Call ban = &AccountService::adminBan, unban = &AccountService::adminUnban;

struct AccountServiceTest : ::testing::Test {
    void start(int tokenLifetimeSeconds = 3600) {
        ServerOptions options;
        options.pbkdf2Iterations = 1;
        options.maxFailedLogins = 3;
        options.tokenLifetimeSeconds = tokenLifetimeSeconds;
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
    int recover(const std::string& name, const std::string& code = "QUELL-WRONG") {
        return s->recover(json{{"username", name}, {"recoveryCode", code}}.dump()).status;
    }
    std::optional<AccountService> s;
};

TEST_F(AccountServiceTest, AdminCallsFollowTheLevelsAndABannedOperatorLosesThemAndItsSessions) {
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
}

// An unknown name costs the same slow hash as a wrong secret; wrong recovery codes lock
// recovery, not the password.
TEST_F(AccountServiceTest, SecretChecksCostTheSameAndWrongCodesLockOnlyRecovery) {
    start();
    const std::function<int()> calls[] = {[&] { return signIn("nobody", "x").status; },
                                          [&] { return signIn("player", "x").status; },
                                          [&] { return recover("nobody"); },
                                          [&] {
                                              return recover("player");
                                          }};
    for (const auto& call : calls) {
        const long before = secretDerivations();
        EXPECT_EQ(call(), 403);
        EXPECT_EQ(secretDerivations() - before, 1);
    }
    EXPECT_EQ(std::vector<int>({recover("player"), recover("player"), recover("player")}),
              std::vector<int>({403, 403, 429}));
    EXPECT_EQ(signIn("player", "secret1").status, 200);
}

TEST_F(AccountServiceTest, TokensExpireAfterTheirLifetime) {
    start(1);
    const std::string first = token("player");
    EXPECT_EQ(s->session(first).status, 200);
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    EXPECT_EQ(std::pair(s->session(first).status, s->session(token("player")).status),
              std::pair(401, 200));
}
} // namespace
} // namespace qbk::accountserver
