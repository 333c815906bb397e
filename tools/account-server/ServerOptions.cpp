#include "ServerOptions.h"

#include <charconv>
#include <functional>
#include <map>

namespace qbk::accountserver {

namespace {

bool parseInt(const std::string& text, int& out) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size();
}

// name:password[:opLevel]; the level is split off only when it is all digits.
std::optional<SeedAccount> parseSeedAccount(const std::string& value) {
    const auto colon = value.find(':');
    if (colon == std::string::npos || colon == 0)
        return std::nullopt;
    SeedAccount seed{value.substr(0, colon), value.substr(colon + 1), 0};
    const auto last = seed.password.rfind(':');
    if (last != std::string::npos && parseInt(seed.password.substr(last + 1), seed.opLevel))
        seed.password.resize(last);
    if (seed.password.empty())
        return std::nullopt;
    return seed;
}

// name:days:reason, the reason may hold colons.
std::optional<SeedBan> parseSeedBan(const std::string& value) {
    const auto first = value.find(':');
    const auto second = first == std::string::npos ? first : value.find(':', first + 1);
    if (first == 0 || second == std::string::npos)
        return std::nullopt;
    SeedBan ban{value.substr(0, first), 0, value.substr(second + 1)};
    if (!parseInt(value.substr(first + 1, second - first - 1), ban.days) || ban.days < 0)
        return std::nullopt;
    return ban;
}

} // namespace

std::string usageText() {
    return "usage: qbk-account-server --port N [options]\n"
           "  --port N                 port on 127.0.0.1; 0 picks a free one\n"
           "  --db PATH                SQLite file, or :memory: (default)\n"
           "  --difficulty BITS        leading zero bits of a challenge (default 20)\n"
           "  --pbkdf2-iterations N    PBKDF2-HMAC-SHA256 rounds (default 210000)\n"
           "  --challenge-ttl SECONDS  lifetime of a challenge (default 600)\n"
           "  --max-failed-logins N    wrong passwords before a lock-out (default 5)\n"
           "  --lockout-seconds N      length of a lock-out (default 900)\n"
           "  --token-lifetime SECONDS lifetime of an access token (default 2592000, 30 days)\n"
           "  --mods-manifest FILE     JSON served at /api/mods\n"
           "  --seed-account NAME:PASSWORD[:OPLEVEL]   (repeatable)\n"
           "  --seed-ban NAME:DAYS:REASON              DAYS 0 = permanent (repeatable)\n"
           "The first line on stdout is \"listening 127.0.0.1:PORT\".\n";
}

std::optional<ServerOptions> parseServerOptions(const std::vector<std::string>& args,
                                                std::string& error) {
    ServerOptions options;
    auto number = [&](int& target, int minimum) {
        return [&target, minimum](const std::string& v) {
            return parseInt(v, target) && target >= minimum;
        };
    };
    const std::map<std::string, std::function<bool(const std::string&)>> handlers = {
        {"--port", number(options.port, 0)},
        {"--db",
         [&](const std::string& v) {
             return !(options.databasePath = v).empty();
         }},
        {"--difficulty", number(options.difficultyBits, 0)},
        {"--pbkdf2-iterations", number(options.pbkdf2Iterations, 1)},
        {"--challenge-ttl", number(options.challengeTtlSeconds, 1)},
        {"--max-failed-logins", number(options.maxFailedLogins, 1)},
        {"--lockout-seconds", number(options.lockoutSeconds, 1)},
        {"--token-lifetime", number(options.tokenLifetimeSeconds, 1)},
        {"--mods-manifest",
         [&](const std::string& v) {
             return !(options.modsManifestPath = v).empty();
         }},
        {"--seed-account",
         [&](const std::string& v) {
             auto seed = parseSeedAccount(v);
             if (seed)
                 options.seedAccounts.push_back(*seed);
             return seed.has_value();
         }},
        {"--seed-ban",
         [&](const std::string& v) {
             auto seed = parseSeedBan(v);
             if (seed)
                 options.seedBans.push_back(*seed);
             return seed.has_value();
         }},
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const auto handler = handlers.find(args[i]);
        if (handler == handlers.end()) {
            error = "unknown option " + args[i];
            return std::nullopt;
        }
        if (i + 1 >= args.size() || !handler->second(args[i + 1])) {
            error = "bad or missing value for " + args[i];
            return std::nullopt;
        }
        ++i;
    }
    if (options.port > 65535) {
        error = "port out of range";
        return std::nullopt;
    }
    return options;
}

} // namespace qbk::accountserver
