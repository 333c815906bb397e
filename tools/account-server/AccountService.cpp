#include "AccountService.h"

#include "SecretHash.h"
#include "accounts/ProofOfWork.h"

#include <charconv>
#include <chrono>
#include <openssl/rand.h>
#include <regex>

namespace qbk::accountserver {

namespace {

using nlohmann::json;
using Reply = AccountService::Reply;

constexpr int kViewBansLevel = 1;
constexpr int kBanLevel = 3;
constexpr int kMaxBanDays = 3650;
constexpr std::size_t kMinPasswordLength = 6;
constexpr std::int64_t kSecondsPerDay = 86400;

std::int64_t now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

Reply error(int status, const std::string& message) {
    return {status, json{{"error", status == 403 ? "ForbiddenOperationException" : "Error"},
                         {"errorMessage", message}}};
}

const Reply kBadRequest = error(400, "Некорректный запрос.");

std::optional<json> parseObject(const std::string& body) {
    json parsed = json::parse(body, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object())
        return std::nullopt;
    return parsed;
}

std::string stringField(const json& object, const char* key) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool validUsername(const std::string& name) {
    static const std::regex pattern("[A-Za-z0-9_]{3,16}");
    return std::regex_match(name, pattern);
}

// Decimal digits as the launcher writes them: no sign, no leading zeros, fits 64 bits.
std::optional<std::uint64_t> parseNonce(const std::string& text) {
    if (text.empty() || (text.size() > 1 && text[0] == '0'))
        return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string normalizedCode(std::string code) {
    const auto first = code.find_first_not_of(" \t\r\n");
    const auto last = code.find_last_not_of(" \t\r\n");
    code = first == std::string::npos ? std::string() : code.substr(first, last - first + 1);
    for (char& c : code)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return code;
}

std::string newRecoveryCode() {
    static constexpr char kAlphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789"; // 32, no 0/O/1/I
    unsigned char bytes[12];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        throw std::runtime_error("no random bytes from OpenSSL");
    std::string code = "QUELL";
    for (std::size_t i = 0; i < sizeof bytes; ++i) {
        if (i % 4 == 0)
            code += '-';
        code += kAlphabet[bytes[i] & 31];
    }
    return code;
}

std::string bearerOf(const std::string& header) {
    static const std::string prefix = "Bearer ";
    return header.rfind(prefix, 0) == 0 ? header.substr(prefix.size()) : std::string();
}

} // namespace

AccountService::AccountService(const ServerOptions& options)
    : options_(options), db_(options.databasePath) {
    if (!db_.isOpen() || !createSchema()) {
        startupError_ = "cannot open the database: " + db_.lastError();
        return;
    }
    decoyHash_ = hashSecret(randomHex(16), options_.pbkdf2Iterations);
    ready_ = seed();
}

bool AccountService::createSchema() {
    return db_.exec("PRAGMA foreign_keys = ON;"
                    "CREATE TABLE IF NOT EXISTS accounts ("
                    " id INTEGER PRIMARY KEY, username TEXT NOT NULL UNIQUE COLLATE NOCASE,"
                    " uuid TEXT NOT NULL, password_hash TEXT NOT NULL, recovery_hash TEXT,"
                    " op_level INTEGER NOT NULL DEFAULT 0,"
                    " failed_logins INTEGER NOT NULL DEFAULT 0,"
                    " locked_until INTEGER NOT NULL DEFAULT 0, created_at INTEGER NOT NULL);"
                    "CREATE TABLE IF NOT EXISTS sessions ("
                    " access_token TEXT PRIMARY KEY, client_token TEXT NOT NULL,"
                    " account_id INTEGER NOT NULL REFERENCES accounts(id),"
                    " created_at INTEGER NOT NULL);"
                    "CREATE TABLE IF NOT EXISTS challenges ("
                    " challenge TEXT PRIMARY KEY, difficulty INTEGER NOT NULL,"
                    " expires_at INTEGER NOT NULL);"
                    "CREATE TABLE IF NOT EXISTS recovery_failures ("
                    " account_id INTEGER PRIMARY KEY REFERENCES accounts(id),"
                    " failures INTEGER NOT NULL, locked_until INTEGER NOT NULL);"
                    "CREATE TABLE IF NOT EXISTS bans ("
                    " account_id INTEGER PRIMARY KEY REFERENCES accounts(id),"
                    " reason TEXT NOT NULL, banned_by TEXT NOT NULL,"
                    " created_at INTEGER NOT NULL, until INTEGER);");
}

bool AccountService::seed() {
    for (const SeedAccount& seedAccount : options_.seedAccounts) {
        if (!validUsername(seedAccount.username)) {
            startupError_ = "bad seed account name " + seedAccount.username;
            return false;
        }
        if (!findAccount(seedAccount.username))
            createAccount(seedAccount.username, seedAccount.password, seedAccount.opLevel);
    }
    for (const SeedBan& seedBan : options_.seedBans) {
        const auto account = findAccount(seedBan.username);
        if (!account) {
            startupError_ = "seed ban for an unknown account " + seedBan.username;
            return false;
        }
        putBan(account->id, seedBan.reason, "server", seedBan.days);
    }
    return true;
}

std::optional<AccountService::Account> AccountService::findAccount(const std::string& username) {
    auto query = db_.prepare("SELECT id, username, uuid, password_hash, recovery_hash, op_level,"
                             " failed_logins, locked_until FROM accounts WHERE username = ?");
    if (!query.bind(1, username).step())
        return std::nullopt;
    return Account{query.integer(0),
                   query.text(1),
                   query.text(2),
                   query.text(3),
                   query.text(4),
                   static_cast<int>(query.integer(5)),
                   static_cast<int>(query.integer(6)),
                   query.integer(7)};
}

std::optional<AccountService::Account>
AccountService::accountOfToken(const std::string& accessToken) {
    if (accessToken.empty())
        return std::nullopt;
    auto query = db_.prepare("SELECT a.username FROM sessions s JOIN accounts a"
                             " ON a.id = s.account_id WHERE s.access_token = ?"
                             " AND s.created_at > ?");
    if (!query.bind(1, accessToken).bind(2, now() - options_.tokenLifetimeSeconds).step())
        return std::nullopt;
    return findAccount(query.text(0));
}

std::string AccountService::createAccount(const std::string& username, const std::string& password,
                                          int opLevel) {
    db_.prepare("INSERT INTO accounts (username, uuid, password_hash, op_level, created_at)"
                " VALUES (?, ?, ?, ?, ?)")
        .bind(1, username)
        .bind(2, randomHex(16))
        .bind(3, hashSecret(password, options_.pbkdf2Iterations))
        .bind(4, std::int64_t{opLevel})
        .bind(5, now())
        .run();
    return issueRecoveryCode(findAccount(username)->id);
}

std::string AccountService::issueRecoveryCode(std::int64_t accountId) {
    const std::string code = newRecoveryCode();
    db_.prepare("UPDATE accounts SET recovery_hash = ? WHERE id = ?")
        .bind(1, hashSecret(code, options_.pbkdf2Iterations))
        .bind(2, accountId)
        .run();
    return code;
}

void AccountService::recordFailedLogin(const Account& account, bool& lockedNow) {
    const int failures = account.failedLogins + 1;
    lockedNow = failures >= options_.maxFailedLogins;
    db_.prepare("UPDATE accounts SET failed_logins = ?, locked_until = ? WHERE id = ?")
        .bind(1, std::int64_t{lockedNow ? 0 : failures})
        .bind(2, lockedNow ? now() + options_.lockoutSeconds : account.lockedUntil)
        .bind(3, account.id)
        .run();
}

bool AccountService::recoveryLocked(std::int64_t accountId) {
    auto query = db_.prepare("SELECT 1 FROM recovery_failures WHERE account_id = ?"
                             " AND locked_until > ?");
    return query.bind(1, accountId).bind(2, now()).step();
}

// Wrong recovery codes count apart from wrong passwords, so that a code still lifts a
// sign-in lock-out; their own lock-out has the same limit and length.
void AccountService::recordFailedRecovery(std::int64_t accountId) {
    auto query = db_.prepare("SELECT failures FROM recovery_failures WHERE account_id = ?");
    const int failures = (query.bind(1, accountId).step() ? int(query.integer(0)) : 0) + 1;
    const bool lockedNow = failures >= options_.maxFailedLogins;
    db_.prepare("INSERT OR REPLACE INTO recovery_failures (account_id, failures, locked_until)"
                " VALUES (?, ?, ?)")
        .bind(1, accountId)
        .bind(2, std::int64_t{lockedNow ? 0 : failures})
        .bind(3, lockedNow ? now() + options_.lockoutSeconds : 0)
        .run();
}

std::optional<nlohmann::json> AccountService::activeBan(std::int64_t accountId) {
    auto query = db_.prepare("SELECT reason, banned_by, created_at, until FROM bans"
                             " WHERE account_id = ? AND (until IS NULL OR until > ?)");
    if (!query.bind(1, accountId).bind(2, now()).step())
        return std::nullopt;
    const auto until = query.optionalInteger(3);
    return json{{"reason", query.text(0)},
                {"bannedBy", query.text(1)},
                {"createdAt", query.integer(2)},
                {"until", until ? json(*until) : json(nullptr)}};
}

void AccountService::putBan(std::int64_t accountId, const std::string& reason,
                            const std::string& bannedBy, int days) {
    const std::int64_t created = now();
    db_.prepare("INSERT OR REPLACE INTO bans (account_id, reason, banned_by, created_at, until)"
                " VALUES (?, ?, ?, ?, ?)")
        .bind(1, accountId)
        .bind(2, reason)
        .bind(3, bannedBy)
        .bind(4, created)
        .bind(5, days == 0 ? std::nullopt
                           : std::optional<std::int64_t>(created + days * kSecondsPerDay))
        .run();
    // A banned player's game must not go on with a token issued before the ban.
    db_.prepare("DELETE FROM sessions WHERE account_id = ?").bind(1, accountId).run();
}

Reply AccountService::challenge() {
    std::lock_guard lock(mutex_);
    const std::int64_t expires = now() + options_.challengeTtlSeconds;
    db_.prepare("DELETE FROM challenges WHERE expires_at <= ?").bind(1, now()).run();
    const std::string text = randomHex(16);
    db_.prepare("INSERT INTO challenges (challenge, difficulty, expires_at) VALUES (?, ?, ?)")
        .bind(1, text)
        .bind(2, std::int64_t{options_.difficultyBits})
        .bind(3, expires)
        .run();
    return {200, json{{"challenge", text},
                      {"difficultyBits", options_.difficultyBits},
                      {"expiresAt", expires}}};
}

Reply AccountService::registerAccount(const std::string& body) {
    const auto request = parseObject(body);
    if (!request)
        return kBadRequest;
    const std::string username = stringField(*request, "username");
    const std::string password = stringField(*request, "password");
    const std::string challengeText = stringField(*request, "challenge");
    if (!validUsername(username))
        return error(400, "Никнейм: от 3 до 16 латинских букв, цифр или знаков _.");
    if (password.size() < kMinPasswordLength)
        return error(400, "Пароль должен быть не короче 6 символов.");

    std::lock_guard lock(mutex_);
    // Taken before the nonce is checked, so a challenge serves exactly one attempt.
    auto taken = db_.prepare("DELETE FROM challenges WHERE challenge = ? AND expires_at > ?"
                             " RETURNING difficulty");
    if (challengeText.empty() || !taken.bind(1, challengeText).bind(2, now()).step())
        return error(400, "Задача устарела или уже использована. Попробуй ещё раз.");
    const int difficulty = static_cast<int>(taken.integer(0));
    taken.step();
    const auto nonce = parseNonce(stringField(*request, "nonce"));
    if (!nonce || !pow::nonceMeetsDifficulty(challengeText, *nonce, difficulty))
        return error(400, "Решение задачи неверно. Попробуй ещё раз.");
    if (findAccount(username))
        return error(409, "Этот никнейм уже занят.");
    const std::string code = createAccount(username, password, 0);
    return {200, json{{"username", username},
                      {"uuid", findAccount(username)->uuid},
                      {"recoveryCode", code}}};
}

Reply AccountService::authenticate(const std::string& body) {
    const auto request = parseObject(body);
    if (!request)
        return kBadRequest;
    const std::string username = stringField(*request, "username");
    const std::string password = stringField(*request, "password");
    const Reply wrong = error(403, "Неверный никнейм или пароль.");
    const Reply locked = error(429, "Слишком много неверных попыток входа. Вход временно "
                                    "закрыт — восстанови доступ кодом или попробуй позже.");

    std::lock_guard lock(mutex_);
    const auto account = findAccount(username);
    if (!account) {
        verifySecret(password, decoyHash_);
        return wrong;
    }
    if (account->lockedUntil > now())
        return locked;
    if (!verifySecret(password, account->passwordHash)) {
        bool lockedNow = false;
        recordFailedLogin(*account, lockedNow);
        return lockedNow ? locked : wrong;
    }
    db_.prepare("UPDATE accounts SET failed_logins = 0, locked_until = 0 WHERE id = ?")
        .bind(1, account->id)
        .run();
    db_.prepare("DELETE FROM sessions WHERE created_at <= ?")
        .bind(1, now() - options_.tokenLifetimeSeconds)
        .run();
    const std::string accessToken = randomHex(32);
    const std::string clientToken = randomHex(16);
    db_.prepare("INSERT INTO sessions (access_token, client_token, account_id, created_at)"
                " VALUES (?, ?, ?, ?)")
        .bind(1, accessToken)
        .bind(2, clientToken)
        .bind(3, account->id)
        .bind(4, now())
        .run();
    const json profile{{"id", account->uuid}, {"name", account->username}};
    json reply{{"accessToken", accessToken},
               {"clientToken", clientToken},
               {"availableProfiles", json::array({profile})},
               {"selectedProfile", profile},
               {"user", {{"id", account->uuid}, {"username", account->username}}},
               {"opLevel", account->opLevel}};
    if (auto ban = activeBan(account->id))
        reply["ban"] = *ban;
    return {200, reply};
}

Reply AccountService::recover(const std::string& body) {
    const auto request = parseObject(body);
    if (!request)
        return kBadRequest;
    const std::string username = stringField(*request, "username");
    const std::string code = normalizedCode(stringField(*request, "recoveryCode"));
    const std::string newPassword = stringField(*request, "newPassword");
    if (!newPassword.empty() && newPassword.size() < kMinPasswordLength)
        return error(400, "Пароль должен быть не короче 6 символов.");

    std::lock_guard lock(mutex_);
    const Reply refused = error(403, "Неверный никнейм или код восстановления.");
    const auto account = findAccount(username);
    if (!account) {
        verifySecret(code, decoyHash_);
        return refused;
    }
    if (recoveryLocked(account->id))
        return error(429, "Слишком много неверных кодов восстановления. Попробуй позже.");
    if (code.empty() || !verifySecret(code, account->recoveryHash)) {
        recordFailedRecovery(account->id);
        return refused;
    }
    db_.prepare("DELETE FROM recovery_failures WHERE account_id = ?").bind(1, account->id).run();
    if (!newPassword.empty()) {
        db_.prepare("UPDATE accounts SET password_hash = ? WHERE id = ?")
            .bind(1, hashSecret(newPassword, options_.pbkdf2Iterations))
            .bind(2, account->id)
            .run();
        // Whoever knew the old password loses the sessions it opened.
        db_.prepare("DELETE FROM sessions WHERE account_id = ?").bind(1, account->id).run();
    }
    db_.prepare("UPDATE accounts SET failed_logins = 0, locked_until = 0 WHERE id = ?")
        .bind(1, account->id)
        .run();
    return {200, json{{"recoveryCode", issueRecoveryCode(account->id)},
                      {"passwordChanged", !newPassword.empty()}}};
}

Reply AccountService::session(const std::string& bearerToken) {
    std::lock_guard lock(mutex_);
    const auto account = accountOfToken(bearerOf(bearerToken));
    if (!account)
        return error(401, "Сессия недействительна, войди заново.");
    json reply{
        {"username", account->username}, {"uuid", account->uuid}, {"opLevel", account->opLevel}};
    if (auto ban = activeBan(account->id))
        reply["ban"] = *ban;
    return {200, reply};
}

std::optional<AccountService::Account>
AccountService::operatorOf(const std::string& bearerToken, int minimumLevel, Reply& refusal) {
    const auto account = accountOfToken(bearerOf(bearerToken));
    if (!account) {
        refusal = error(401, "Сессия недействительна, войди заново.");
        return std::nullopt;
    }
    if (activeBan(account->id)) {
        refusal = error(403, "Твой аккаунт заблокирован: действия оператора недоступны.");
        return std::nullopt;
    }
    if (account->opLevel < minimumLevel) {
        refusal = error(403, "Недостаточно прав: нужен уровень доступа " +
                                 std::to_string(minimumLevel) + " или выше.");
        return std::nullopt;
    }
    return account;
}

Reply AccountService::adminMe(const std::string& bearerToken) {
    std::lock_guard lock(mutex_);
    Reply refusal;
    const auto account = operatorOf(bearerToken, kViewBansLevel, refusal);
    if (!account)
        return refusal;
    return {200, json{{"username", account->username},
                      {"level", account->opLevel},
                      {"canBan", account->opLevel >= kBanLevel}}};
}

Reply AccountService::adminBans(const std::string& bearerToken) {
    std::lock_guard lock(mutex_);
    Reply refusal;
    if (!operatorOf(bearerToken, kViewBansLevel, refusal))
        return refusal;
    auto query = db_.prepare("SELECT a.username, b.reason, b.banned_by, b.created_at, b.until"
                             " FROM bans b JOIN accounts a ON a.id = b.account_id"
                             " WHERE b.until IS NULL OR b.until > ? ORDER BY b.created_at DESC");
    query.bind(1, now());
    json bans = json::array();
    while (query.step()) {
        const auto until = query.optionalInteger(4);
        bans.push_back({{"username", query.text(0)},
                        {"reason", query.text(1)},
                        {"bannedBy", query.text(2)},
                        {"createdAt", query.integer(3)},
                        {"permanent", !until.has_value()},
                        {"until", until.value_or(0)}});
    }
    return {200, json{{"bans", bans}}};
}

Reply AccountService::adminBan(const std::string& bearerToken, const std::string& body) {
    const auto request = parseObject(body);
    if (!request)
        return kBadRequest;
    std::lock_guard lock(mutex_);
    Reply refusal;
    const auto caller = operatorOf(bearerToken, kBanLevel, refusal);
    if (!caller)
        return refusal;
    const auto days = request->find("days");
    if (days == request->end() || !days->is_number_integer() || days->get<std::int64_t>() < 0 ||
        days->get<std::int64_t>() > kMaxBanDays)
        return error(400, "Срок бана: от 0 до 3650 дней.");
    const auto target = findAccount(stringField(*request, "username"));
    if (!target)
        return error(404, "Игрок не найден.");
    if (target->id == caller->id)
        return error(400, "Нельзя забанить самого себя.");
    if (target->opLevel >= caller->opLevel)
        return error(403, "Нельзя забанить оператора твоего уровня или выше.");
    putBan(target->id, stringField(*request, "reason"), caller->username, days->get<int>());
    return {200, json{{"ok", true}}};
}

Reply AccountService::adminUnban(const std::string& bearerToken, const std::string& body) {
    const auto request = parseObject(body);
    if (!request)
        return kBadRequest;
    std::lock_guard lock(mutex_);
    Reply refusal;
    const auto caller = operatorOf(bearerToken, kBanLevel, refusal);
    if (!caller)
        return refusal;
    const auto target = findAccount(stringField(*request, "username"));
    if (!target || !activeBan(target->id))
        return error(404, "Этот игрок не забанен.");
    // A banned operator was refused above, so nobody lifts a ban of their own.
    if (target->opLevel >= caller->opLevel)
        return error(403, "Нельзя разбанить оператора твоего уровня или выше.");
    db_.prepare("DELETE FROM bans WHERE account_id = ?").bind(1, target->id).run();
    return {200, json{{"ok", true}}};
}

} // namespace qbk::accountserver
