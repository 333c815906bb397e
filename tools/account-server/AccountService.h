#pragma once

#include "ServerOptions.h"
#include "SqliteDatabase.h"

#include <cstdint>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace qbk::accountserver {

// Accounts, sessions, recovery codes, challenges and bans, answering the launcher's calls.
// Thread-safe: the HTTP server calls it from its worker threads.
class AccountService {
public:
    struct Reply {
        int status = 200;
        nlohmann::json body = nlohmann::json::object();
    };

    explicit AccountService(const ServerOptions& options);

    bool isReady() const { return ready_; }
    const std::string& startupError() const { return startupError_; }

    Reply challenge();
    Reply registerAccount(const std::string& body);
    Reply authenticate(const std::string& body);
    Reply recover(const std::string& body);
    Reply session(const std::string& bearerToken);
    Reply adminMe(const std::string& bearerToken);
    Reply adminBans(const std::string& bearerToken);
    Reply adminBan(const std::string& bearerToken, const std::string& body);
    Reply adminUnban(const std::string& bearerToken, const std::string& body);

private:
    struct Account {
        std::int64_t id = 0;
        std::string username;
        std::string uuid;
        std::string passwordHash;
        std::string recoveryHash;
        int opLevel = 0;
        int failedLogins = 0;
        std::int64_t lockedUntil = 0;
    };

    bool createSchema();
    bool seed();
    std::optional<Account> findAccount(const std::string& username);
    std::optional<Account> accountOfToken(const std::string& accessToken);
    std::string createAccount(const std::string& username, const std::string& password,
                              int opLevel); // returns the recovery code
    std::string issueRecoveryCode(std::int64_t accountId);
    void recordFailedLogin(const Account& account, bool& lockedNow);
    bool recoveryLocked(std::int64_t accountId);
    void recordFailedRecovery(std::int64_t accountId);
    std::optional<nlohmann::json> activeBan(std::int64_t accountId);
    void putBan(std::int64_t accountId, const std::string& reason, const std::string& bannedBy,
                int days);
    // The caller's account when its level reaches minimumLevel; otherwise the refusal.
    std::optional<Account> operatorOf(const std::string& bearerToken, int minimumLevel,
                                      Reply& refusal);

    ServerOptions options_;
    SqliteDatabase db_;
    std::mutex mutex_;
    // Checked against a secret for a name that does not exist, so that an unknown name costs
    // the same slow hash as a wrong password and does not answer faster.
    std::string decoyHash_;
    bool ready_ = false;
    std::string startupError_;
};

} // namespace qbk::accountserver
