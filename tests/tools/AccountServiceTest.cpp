// The stand-in account server's own rules, driven in-process: levels, bans, limits, expiry.
#include "AccountService.h"

#include "SecretHash.h"

#include <gtest/gtest.h>
#include <thread>
namespace qbk::accountserver {
namespace {
using nlohmann::json;
class AccountServiceTest : public ::testing::Test {
protected:
    void start(int tokenLifetimeSeconds = 3600) {
        ServerOptions options;
        options.pbkdf2Iterations = 1;
        options.maxFailedLogins = 3;
        options.tokenLifetimeSeconds = tokenLifetimeSeconds;
        options.seedAccounts = {{"player", "secret1", 0},
                                {"moderator", "secret1", 3},
                                {"deputy", "secret1", 3},
                                {"owner", "secret1", 4}};
        service_.emplace(options);
        ASSERT_TRUE(service_->isReady()) << service_->startupError();
    }
    int signInStatus(const std::string& name, const std::string& password = "secret1") {
        return service_->authenticate(json{{"username", name}, {"password", password}}.dump())
            .status;
    }
    std::string signIn(const std::string& name) {
        const auto reply =
            service_->authenticate(json{{"username", name}, {"password", "secret1"}}.dump());
        return "Bearer " + reply.body.value("accessToken", std::string());
    }
    int ban(const std::string& caller, const std::string& target) {
        const json body{{"username", target}, {"reason", "r"}, {"days", 0}};
        return service_->adminBan(caller, body.dump()).status;
    }
    int unban(const std::string& caller, const std::string& target) {
        return service_->adminUnban(caller, json{{"username", target}}.dump()).status;
    }
    int recover(const std::string& name, const std::string& code = "QUELL-WRONG") {
        return service_->recover(json{{"username", name}, {"recoveryCode", code}}.dump()).status;
    }
    std::optional<AccountService> service_;
};
TEST_F(AccountServiceTest, ABannedOperatorLosesEveryAdminCallAndItsSessions) {
    start();
    const std::string owner = signIn("owner"), moderator = signIn("moderator");
    const std::string player = signIn("player");
    ASSERT_EQ(service_->adminMe(moderator).status, 200);
    ASSERT_EQ(ban(owner, "moderator"), 200);
    EXPECT_EQ(service_->session(moderator).status, 401) << "a ban revokes the tokens it had";
    const std::string banned = signIn("moderator"); // signing in still shows the ban
    EXPECT_EQ(
        std::vector<int>({service_->adminMe(banned).status, service_->adminBans(banned).status,
                          ban(banned, "player"), unban(banned, "moderator")}),
        std::vector<int>(4, 403));
    EXPECT_EQ(service_->session(player).status, 200);
}
TEST_F(AccountServiceTest, UnbanNeedsAHigherLevelThanTheTarget) {
    start();
    const std::string owner = signIn("owner"), moderator = signIn("moderator");
    ASSERT_EQ(std::pair(ban(owner, "deputy"), ban(owner, "player")), std::pair(200, 200));
    EXPECT_EQ(unban(moderator, "deputy"), 403) << "same level";
    EXPECT_EQ(unban(moderator, "player"), 200);
    EXPECT_EQ(unban(owner, "deputy"), 200);
}
TEST_F(AccountServiceTest, WrongRecoveryCodesLockRecoveryButNotThePassword) {
    start();
    EXPECT_EQ(std::vector<int>(
                  {recover("player"), recover("player"), recover("player"), recover("player")}),
              std::vector<int>({403, 403, 403, 429}));
    EXPECT_EQ(signInStatus("player"), 200);
}
TEST_F(AccountServiceTest, TokensExpireAfterTheirLifetime) {
    start(1);
    const std::string token = signIn("player");
    EXPECT_EQ(service_->session(token).status, 200);
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    EXPECT_EQ(service_->session(token).status, 401);
    EXPECT_EQ(service_->session(signIn("player")).status, 200);
}
TEST_F(AccountServiceTest, AnUnknownNameRunsTheSameSlowHashAsAWrongSecret) {
    start();
    const std::function<int()> calls[] = {[&] { return signInStatus("nobody", "x"); },
                                          [&] { return signInStatus("player", "x"); },
                                          [&] { return recover("nobody", "Q"); },
                                          [&] {
                                              return recover("player", "Q");
                                          }};
    for (const auto& call : calls) {
        const long before = secretDerivations();
        EXPECT_EQ(call(), 403);
        EXPECT_EQ(secretDerivations() - before, 1);
    }
}
} // namespace
} // namespace qbk::accountserver
