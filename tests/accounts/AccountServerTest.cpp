// The stand-in account server at the wire: what it stores, what it accepts, how it stops.

#include "AccountServerProcess.h"
#include "accounts/NonceSearch.h"
#include "accounts/ProofOfWork.h"
#include "tests/support/TempDir.h"

#include <QProcess>
#include <fstream>
#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <sqlite3.h>
#include <sstream>
#include <thread>

namespace qbk::test {
namespace {

using nlohmann::json;

struct Answer {
    int status = 0;
    json body;
};

Answer call(const AccountServerProcess& server, const std::string& method, const std::string& path,
            const json& body = nullptr, const std::string& token = {}) {
    httplib::Client client("127.0.0.1", server.port());
    client.set_read_timeout(10, 0);
    httplib::Headers headers;
    if (!token.empty())
        headers.emplace("Authorization", "Bearer " + token);
    const auto result = method == "GET"
                            ? client.Get(path.c_str(), headers)
                            : client.Post(path.c_str(), headers, body.dump(), "application/json");
    if (!result)
        return {};
    return {result->status, json::parse(result->body, nullptr, false)};
}

json challengeOf(const AccountServerProcess& server) {
    return call(server, "GET", "/api/challenge").body;
}

std::uint64_t solve(const json& challenge) {
    const std::atomic<bool> stop{false};
    return *pow::findSmallestNonce(challenge["challenge"].get<std::string>(),
                                   challenge["difficultyBits"].get<int>(), stop)
                .nonce;
}

json registration(const std::string& name, const std::string& password, const json& challenge,
                  const std::string& nonce) {
    return {{"username", name},
            {"password", password},
            {"challenge", challenge["challenge"]},
            {"nonce", nonce}};
}

std::string readAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

TEST(AccountServer, ChallengeIsSingleUseAndItsNonceIsChecked) {
    AccountServerProcess server({"--difficulty", "10"});
    ASSERT_TRUE(server.isListening());

    const json first = challengeOf(server);
    EXPECT_EQ(first["difficultyBits"], 10);
    EXPECT_EQ(first["challenge"].get<std::string>().size(), 32u);
    const std::uint64_t nonce = solve(first);
    std::uint64_t failing = nonce + 1;
    while (pow::nonceMeetsDifficulty(first["challenge"].get<std::string>(), failing, 10))
        ++failing;
    const Answer wrong = call(server, "POST", "/api/register",
                              registration("Steve", "secret12", first, std::to_string(failing)));
    EXPECT_EQ(wrong.status, 400);
    EXPECT_EQ(wrong.body["errorMessage"], "Решение задачи неверно. Попробуй ещё раз.");
    // The failed attempt used the challenge up; its right answer no longer counts.
    const Answer reused = call(server, "POST", "/api/register",
                               registration("Steve", "secret12", first, std::to_string(nonce)));
    EXPECT_EQ(reused.status, 400);
    EXPECT_EQ(reused.body["errorMessage"],
              "Задача устарела или уже использована. Попробуй ещё раз.");

    const json second = challengeOf(server);
    const std::string digits = std::to_string(solve(second));
    EXPECT_EQ(call(server, "POST", "/api/register",
                   registration("Steve", "secret12", second, "0" + digits))
                  .status,
              400); // leading zeros are another candidate than the one hashed
    const json third = challengeOf(server);
    const Answer created =
        call(server, "POST", "/api/register",
             registration("Steve", "secret12", third, std::to_string(solve(third))));
    EXPECT_EQ(created.status, 200);
    EXPECT_TRUE(std::regex_match(created.body["recoveryCode"].get<std::string>(),
                                 std::regex("QUELL(-[A-Z2-9]{4}){3}")));

    const json fourth = challengeOf(server);
    const Answer taken =
        call(server, "POST", "/api/register",
             registration("steve", "other123", fourth, std::to_string(solve(fourth))));
    EXPECT_EQ(taken.status, 409);
    EXPECT_EQ(taken.body["errorMessage"], "Этот никнейм уже занят.");
}

TEST(AccountServer, ExpiredChallengeIsRefused) {
    AccountServerProcess server({"--difficulty", "4", "--challenge-ttl", "1"});
    ASSERT_TRUE(server.isListening());
    const json challenge = challengeOf(server);
    const std::string nonce = std::to_string(solve(challenge));
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    const Answer late =
        call(server, "POST", "/api/register", registration("Alex", "secret12", challenge, nonce));
    EXPECT_EQ(late.status, 400);
}

TEST(AccountServer, KeepsOnlySaltedHashesAndSurvivesARestart) {
    TempDir dir("qbk-account-db");
    const std::string dbPath = (dir / "accounts.sqlite").string();
    std::string recoveryCode;
    {
        AccountServerProcess server({"--db", QString::fromStdString(dbPath), "--difficulty", "4",
                                     "--seed-account", "Seeded:SeedPassword1:2"});
        ASSERT_TRUE(server.isListening());
        const json challenge = challengeOf(server);
        const Answer created = call(server, "POST", "/api/register",
                                    registration("Herobrine", "PlainPassword9", challenge,
                                                 std::to_string(solve(challenge))));
        ASSERT_EQ(created.status, 200);
        recoveryCode = created.body["recoveryCode"];
        EXPECT_EQ(server.stop(), 0);
    }
    const std::string bytes = readAll(dbPath);
    ASSERT_FALSE(bytes.empty());
    for (const std::string& secret :
         std::vector<std::string>{"PlainPassword9", "SeedPassword1", recoveryCode})
        EXPECT_EQ(bytes.find(secret), std::string::npos) << secret;

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dbPath.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* query = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT password_hash, recovery_hash FROM accounts", -1,
                                 &query, nullptr),
              SQLITE_OK);
    std::vector<std::string> hashes;
    while (sqlite3_step(query) == SQLITE_ROW)
        for (int column = 0; column < 2; ++column)
            hashes.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(query, column)));
    sqlite3_finalize(query);
    sqlite3_close(db);
    ASSERT_EQ(hashes.size(), 4u);
    for (const std::string& hash : hashes)
        EXPECT_TRUE(std::regex_match(hash, std::regex("pbkdf2-sha256\\$1000\\$[0-9a-f]{32}\\$"
                                                      "[0-9a-f]{64}")))
            << hash;
    EXPECT_NE(hashes[0].substr(20, 32), hashes[2].substr(20, 32)); // salts differ

    AccountServerProcess again({"--db", QString::fromStdString(dbPath)});
    ASSERT_TRUE(again.isListening());
    const Answer signedIn = call(again, "POST", "/authserver/authenticate",
                                 {{"username", "Herobrine"}, {"password", "PlainPassword9"}});
    EXPECT_EQ(signedIn.status, 200);
    EXPECT_EQ(signedIn.body["selectedProfile"]["name"], "Herobrine");
    const Answer seeded = call(again, "POST", "/authserver/authenticate",
                               {{"username", "seeded"}, {"password", "SeedPassword1"}});
    EXPECT_EQ(seeded.body["opLevel"], 2);
}

TEST(AccountServer, AdminCallsFollowTheCallersLevel) {
    AccountServerProcess server({"--seed-account", "Owner:ownerpass:4", "--seed-account",
                                 "Mod:modpass:3", "--seed-account", "Player:playerpass"});
    ASSERT_TRUE(server.isListening());
    auto tokenOf = [&](const std::string& name, const std::string& password) {
        return call(server, "POST", "/authserver/authenticate",
                    {{"username", name}, {"password", password}})
            .body["accessToken"]
            .get<std::string>();
    };
    const std::string mod = tokenOf("Mod", "modpass");
    EXPECT_EQ(
        call(server, "POST", "/api/admin/ban", {{"username", "Owner"}, {"days", 1}}, mod).status,
        403);
    EXPECT_EQ(call(server, "POST", "/api/admin/ban", {{"username", "Player"}, {"days", 4000}}, mod)
                  .status,
              400);
    EXPECT_EQ(
        call(server, "POST", "/api/admin/ban", {{"username", "Nobody"}, {"days", 1}}, mod).status,
        404);
    EXPECT_EQ(call(server, "POST", "/api/admin/unban", {{"username", "Player"}}, mod).status, 404);
    EXPECT_EQ(call(server, "GET", "/api/admin/bans", nullptr, "not-a-token").status, 401);

    const Answer banned = call(server, "POST", "/api/admin/ban",
                               {{"username", "Player"}, {"reason", ""}, {"days", 3}}, mod);
    EXPECT_EQ(banned.status, 200);
    const json bans = call(server, "GET", "/api/admin/bans", nullptr, mod).body["bans"];
    ASSERT_EQ(bans.size(), 1u);
    EXPECT_EQ(bans[0]["username"], "Player");
    EXPECT_EQ(bans[0]["bannedBy"], "Mod");
    EXPECT_EQ(bans[0]["permanent"], false);
    EXPECT_NEAR(bans[0]["until"].get<double>() - bans[0]["createdAt"].get<double>(), 3 * 86400, 1);
}

TEST(AccountServer, ServesTheModsManifestFileAsItIs) {
    TempDir dir("qbk-account-mods");
    const std::string manifest =
        R"({"mods":[{"fileName":"сборка.jar","url":"http://127.0.0.1/x","sizeBytes":3}]})";
    std::ofstream(dir / "mods.json", std::ios::binary) << manifest;
    AccountServerProcess server(
        {"--mods-manifest", QString::fromStdString((dir / "mods.json").string())});
    ASSERT_TRUE(server.isListening());
    httplib::Client client("127.0.0.1", server.port());
    const auto result = client.Get("/api/mods");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    EXPECT_EQ(result->body, manifest);

    std::filesystem::remove(dir / "mods.json");
    EXPECT_EQ(client.Get("/api/mods")->status, 500);
}

TEST(AccountServer, StopsCleanlyOnSigtermAndRejectsABadCommandLine) {
    AccountServerProcess server;
    ASSERT_TRUE(server.isListening());
    EXPECT_EQ(server.stop(), 0);
    httplib::Client client("127.0.0.1", server.port());
    EXPECT_FALSE(client.Get("/api/challenge"));

    EXPECT_EQ(QProcess::execute(AccountServerProcess::executable(), {"--port", "x"}), 2);
    EXPECT_EQ(QProcess::execute(AccountServerProcess::executable(), {"--bogus", "1"}), 2);
    EXPECT_EQ(QProcess::execute(AccountServerProcess::executable(),
                                {"--port", "0", "--seed-ban", "Ghost:0:reason"}),
              1);
}

} // namespace
} // namespace qbk::test
