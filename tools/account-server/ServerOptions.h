#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qbk::accountserver {

struct SeedAccount {
    std::string username;
    std::string password;
    int opLevel = 0;
};

struct SeedBan {
    std::string username;
    int days = 0; // 0 = permanent
    std::string reason;
};

// The server's command line; see usageText().
struct ServerOptions {
    int port = 0;
    std::string databasePath = ":memory:";
    int difficultyBits = 20;
    int pbkdf2Iterations = 210000;
    int challengeTtlSeconds = 600;
    int maxFailedLogins = 5;
    int lockoutSeconds = 900;
    int tokenLifetimeSeconds = 30 * 86400;
    std::string modsManifestPath;
    std::vector<SeedAccount> seedAccounts;
    std::vector<SeedBan> seedBans;
};

std::string usageText();

// The options, or nullopt with error filled for a bad command line.
std::optional<ServerOptions> parseServerOptions(const std::vector<std::string>& args,
                                                std::string& error);

} // namespace qbk::accountserver
