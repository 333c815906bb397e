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
    AccountService& start(int tokenLifetimeSeconds = 3600) {
        ServerOptions options;
        options.pbkdf2Iterations = 1;
        options.maxFailedLogins = 3;
        options.tokenLifetimeSeconds = tokenLifetimeSeconds;
        options.seedAccounts = {{"player", "secret1", 0},
                                {"moderator", "secret1", 3},
                                {"deputy", "secret1", 3},
                                {"owner", "secret1", 4}};
        service_.emplace(options);
        EXPECT_TRUE(service_->isReady()) << service_->startupError();
        return *service_;
    }

    std::string signIn(const std::string& name) {
        const auto reply =
            service_->authenticate(json{{"username", name}, {"password", "secret1"}}.dump());
        EXPECT_EQ(reply.status, 200) << reply.body.dump();
        return "Bearer " + reply.body.value("accessToken", std::string());
    }

    int ban(const std::string& caller, const std::string& target) {
        return service_
            ->adminBan(caller, json{{"username", target}, {"reason", "r"}, {"days", 0}}.dump())
            .status;
    }

    std::optional<AccountService> service_;
};

TEST_F(AccountServiceTest, ABannedOperatorLosesEveryAdminCallAndItsSessions) {
    start();
    const std::string owner = signIn("owner");
    const std::string moderator = signIn("moderator");
    const std::string player = signIn("player");
    ASSERT_EQ(service_->adminMe(moderator).status, 200);

    ASSERT_EQ(ban(owner, "moderator"), 200);
    EXPECT_EQ(service_->session(moderator).status, 401) << "a ban revokes the tokens it had";
    const std::string bannedModerator = signIn("moderator"); // signing in shows the ban
    EXPECT_EQ(service_->adminMe(bannedModerator).status, 403);
    EXPECT_EQ(service_->adminBans(bannedModerator).status, 403);
    EXPECT_EQ(ban(bannedModerator, "player"), 403);
    EXPECT_EQ(service_->adminUnban(bannedModerator, json{{"username", "moderator"}}.dump()).status,
              403)
        << "a banned operator lifts no ban, their own included";
    EXPECT_EQ(service_->session(player).status, 200);
}

TEST_F(AccountServiceTest, UnbanNeedsAHigherLevelThanTheTarget) {
    start();
    const std::string owner = signIn("owner");
    const std::string moderator = signIn("moderator");
    ASSERT_EQ(ban(owner, "deputy"), 200);
    ASSERT_EQ(ban(owner, "player"), 200);
    const auto unban = [&](const std::string& caller, const std::string& target) {
        return service_->adminUnban(caller, json{{"username", target}}.dump()).status;
    };
    EXPECT_EQ(unban(moderator, "deputy"), 403) << "same level";
    EXPECT_EQ(unban(moderator, "player"), 200);
    EXPECT_EQ(unban(owner, "deputy"), 200);
}

TEST_F(AccountServiceTest, WrongRecoveryCodesLockRecoveryLikeWrongPasswordsLockSignIn) {
    start();
    const auto recover = [&](const std::string& code) {
        return service_->recover(json{{"username", "player"}, {"recoveryCode", code}}.dump());
    };
    EXPECT_EQ(recover("QUELL-WRONG").status, 403);
    EXPECT_EQ(recover("QUELL-WRONG").status, 403);
    EXPECT_EQ(recover("QUELL-WRONG").status, 403);
    const auto locked = recover("QUELL-WRONG");
    EXPECT_EQ(locked.status, 429) << locked.body.dump();
    EXPECT_EQ(
        service_->authenticate(json{{"username", "player"}, {"password", "secret1"}}.dump()).status,
        200)
        << "wrong codes do not lock the password out";
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
    const struct {
        const char* what;
        std::function<int()> call;
    } cases[] = {
        {"sign-in, unknown name",
         [&] {
             return service_->authenticate(json{{"username", "nobody"}, {"password", "x"}}.dump())
                 .status;
         }},
        {"sign-in, wrong password",
         [&] {
             return service_->authenticate(json{{"username", "player"}, {"password", "x"}}.dump())
                 .status;
         }},
        {"recovery, unknown name",
         [&] {
             return service_->recover(json{{"username", "nobody"}, {"recoveryCode", "Q"}}.dump())
                 .status;
         }},
        {"recovery, wrong code",
         [&] {
             return service_->recover(json{{"username", "player"}, {"recoveryCode", "Q"}}.dump())
                 .status;
         }},
    };
    for (const auto& c : cases) {
        const long before = secretDerivations();
        EXPECT_EQ(c.call(), 403) << c.what;
        EXPECT_EQ(secretDerivations() - before, 1) << c.what;
    }
}

} // namespace
} // namespace qbk::accountserver
