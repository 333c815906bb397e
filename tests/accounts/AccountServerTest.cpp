// The stand-in account server at the wire: what it stores, what it accepts, how it stops.

#include "AccountTestServer.h"
#include "accounts/NonceSearch.h"
#include "accounts/ProofOfWork.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"

#include <QProcess>
#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <sqlite3.h>
#include <thread>

namespace qbk::test {
namespace {

using nlohmann::json;

struct Answer {
    int status = 0;
    json body;
};

Answer call(const AccountTestServer& server, const std::string& path, const json& body = nullptr,
            const std::string& token = {}) {
    httplib::Client client("127.0.0.1", server.port);
    httplib::Headers headers;
    if (!token.empty())
        headers.emplace("Authorization", "Bearer " + token);
    const auto result = body.is_null()
                            ? client.Get(path, headers)
                            : client.Post(path, headers, body.dump(), "application/json");
    return result ? Answer{result->status, json::parse(result->body, nullptr, false)} : Answer{};
}

// A fresh challenge (its text and difficulty) and its smallest nonce.
std::tuple<std::string, int, std::uint64_t> solved(const AccountTestServer& server) {
    const json challenge = call(server, "/api/challenge").body;
    const std::atomic<bool> stop{false};
    return {challenge["challenge"], challenge["difficultyBits"],
            *pow::findSmallestNonce(challenge["challenge"].get<std::string>(),
                                    challenge["difficultyBits"], stop)
                 .nonce};
}

Answer submit(const AccountTestServer& server, const std::string& name,
              const std::string& challenge, const std::string& nonce,
              const std::string& password = "secret12") {
    return call(
        server, "/api/register",
        {{"username", name}, {"password", password}, {"challenge", challenge}, {"nonce", nonce}});
}

Answer registerAccount(const AccountTestServer& server, const std::string& name) {
    const auto [challenge, bits, nonce] = solved(server);
    return submit(server, name, challenge, std::to_string(nonce));
}

std::string errorOf(const Answer& answer) {
    return std::to_string(answer.status) + " " + answer.body.value("errorMessage", "");
}

TEST(AccountServer, ChallengeIsSingleUseAndItsNonceIsChecked) {
    AccountTestServer server({"--difficulty", "10"});
    auto [first, bits, nonce] = solved(server);
    EXPECT_EQ(bits, 10);
    EXPECT_EQ(first.size(), 32u);
    std::uint64_t failing = nonce + 1;
    while (pow::nonceMeetsDifficulty(first, failing, 10))
        ++failing;
    EXPECT_EQ(errorOf(submit(server, "Steve", first, std::to_string(failing))),
              "400 Решение задачи неверно. Попробуй ещё раз.");
    // The failed attempt used the challenge up; its right answer no longer counts.
    EXPECT_EQ(errorOf(submit(server, "Steve", first, std::to_string(nonce))),
              "400 Задача устарела или уже использована. Попробуй ещё раз.");
    // Leading zeros make another candidate than the one hashed.
    std::tie(first, bits, nonce) = solved(server);
    EXPECT_EQ(submit(server, "Steve", first, "0" + std::to_string(nonce)).status, 400);

    const Answer created = registerAccount(server, "Steve");
    EXPECT_EQ(created.status, 200);
    EXPECT_TRUE(std::regex_match(created.body["recoveryCode"].get<std::string>(),
                                 std::regex("QUELL(-[A-Z2-9]{4}){3}")));
    EXPECT_EQ(errorOf(registerAccount(server, "steve")), "409 Этот никнейм уже занят.");
    // A new password set by recovery ends the sessions the old one opened.
    const json steve = {{"username", "Steve"}, {"password", "secret12"}};
    const std::string token = call(server, "/authserver/authenticate", steve).body["accessToken"];
    EXPECT_EQ(call(server, "/api/session", nullptr, token).status, 200);
    EXPECT_EQ(call(server, "/api/recover",
                   {{"username", "Steve"},
                    {"recoveryCode", created.body["recoveryCode"]},
                    {"newPassword", "other123"}})
                  .status,
              200);
    EXPECT_EQ(call(server, "/api/session", nullptr, token).status, 401);

    AccountTestServer brief({"--difficulty", "4", "--challenge-ttl", "1"});
    std::tie(first, bits, nonce) = solved(brief);
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    EXPECT_EQ(submit(brief, "Alex", first, std::to_string(nonce)).status, 400);
}

TEST(AccountServer, KeepsOnlySaltedHashesAndSurvivesARestart) {
    TempDir dir("qbk-account-db");
    const std::string dbPath = (dir / "accounts.sqlite").string();
    std::string recoveryCode;
    {
        AccountTestServer server({"--db", QString::fromStdString(dbPath), "--difficulty", "4",
                                  "--seed-account", "Seeded:SeedPassword1:2"});
        const auto [challenge, bits, nonce] = solved(server);
        const Answer created =
            submit(server, "Herobrine", challenge, std::to_string(nonce), "PlainPassword9");
        ASSERT_EQ(created.status, 200);
        recoveryCode = created.body["recoveryCode"];
        EXPECT_EQ(server.stop(), 0);
    }
    const std::string bytes = readWholeFile(dbPath);
    ASSERT_FALSE(bytes.empty());
    for (const std::string& secret :
         {std::string("PlainPassword9"), std::string("SeedPassword1"), recoveryCode})
        EXPECT_EQ(bytes.find(secret), std::string::npos) << secret;

    std::vector<std::string> hashes;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dbPath.c_str(), &db), SQLITE_OK);
    const auto keep = [](void* out, int count, char** values, char**) {
        static_cast<std::vector<std::string>*>(out)->insert(
            static_cast<std::vector<std::string>*>(out)->end(), values, values + count);
        return 0;
    };
    sqlite3_exec(db, "SELECT password_hash, recovery_hash FROM accounts", keep, &hashes, nullptr);
    sqlite3_close(db);
    ASSERT_EQ(hashes.size(), 4u);
    for (const std::string& hash : hashes)
        EXPECT_TRUE(std::regex_match(
            hash, std::regex(R"(pbkdf2-sha256\$1000\$[0-9a-f]{32}\$[0-9a-f]{64})")))
            << hash;
    EXPECT_NE(hashes[0].substr(20, 32), hashes[2].substr(20, 32)); // salts differ

    AccountTestServer again({"--db", QString::fromStdString(dbPath)});
    const Answer signedIn = call(again, "/authserver/authenticate",
                                 {{"username", "Herobrine"}, {"password", "PlainPassword9"}});
    EXPECT_EQ(signedIn.body["selectedProfile"]["name"], "Herobrine");
    EXPECT_EQ(call(again, "/authserver/authenticate",
                   {{"username", "seeded"}, {"password", "SeedPassword1"}})
                  .body["opLevel"],
              2);
}

TEST(AccountServer, AdminCallsFollowTheCallersLevel) {
    AccountTestServer server({"--seed-account", "Owner:ownerpass:4", "--seed-account",
                              "Mod:modpass:3", "--seed-account", "Player:playerpass"});
    const auto tokenOf = [&](const std::string& name, const std::string& password) {
        return call(server, "/authserver/authenticate",
                    {{"username", name}, {"password", password}})
            .body["accessToken"]
            .get<std::string>();
    };
    const std::string mod = tokenOf("Mod", "modpass"), player = tokenOf("Player", "playerpass");
    const struct {
        const char* path;
        json body;
        std::string token;
        int status;
    } rows[] = {
        {"/api/admin/ban", {{"username", "Owner"}, {"days", 1}}, mod, 403},
        {"/api/admin/ban", {{"username", "Player"}, {"days", 3651}}, mod, 400},
        {"/api/admin/ban", {{"username", "Player"}, {"days", -1}}, mod, 400},
        {"/api/admin/ban", {{"username", "Nobody"}, {"days", 1}}, mod, 404},
        {"/api/admin/unban", {{"username", "Player"}}, mod, 404},
        {"/api/admin/bans", nullptr, "not-a-token", 401},
        {"/api/admin/ban", {{"username", "Player"}, {"days", 3650}}, mod, 200},
        {"/api/admin/ban", {{"username", "Player"}, {"reason", ""}, {"days", 3}}, mod, 200}};
    for (const auto& row : rows)
        EXPECT_EQ(call(server, row.path, row.body, row.token).status, row.status)
            << row.path << " " << row.body.dump();
    // A ban ends the sessions opened before it.
    EXPECT_EQ(call(server, "/api/session", nullptr, player).status, 401);
    const json bans = call(server, "/api/admin/bans", nullptr, mod).body["bans"];
    ASSERT_EQ(bans.size(), 1u);
    EXPECT_EQ(bans[0]["username"], "Player");
    EXPECT_EQ(bans[0]["bannedBy"], "Mod");
    EXPECT_EQ(bans[0]["permanent"], false);
    EXPECT_NEAR(bans[0]["until"].get<double>() - bans[0]["createdAt"].get<double>(), 3 * 86400, 1);
}

TEST(AccountServer, ServesTheModsManifestStopsOnSigtermAndRejectsABadCommandLine) {
    TempDir dir("qbk-account-mods");
    const std::string manifest = R"({"mods":[{"fileName":"сборка.jar","sizeBytes":3}]})";
    writeWholeFile(dir / "mods.json", manifest);
    AccountTestServer server(
        {"--mods-manifest", QString::fromStdString((dir / "mods.json").string())});
    httplib::Client client("127.0.0.1", server.port);
    EXPECT_EQ(client.Get("/api/mods")->body, manifest);
    std::filesystem::remove(dir / "mods.json");
    EXPECT_EQ(client.Get("/api/mods")->status, 500);
    EXPECT_EQ(server.stop(), 0);
    EXPECT_FALSE(client.Get("/api/challenge"));

    const QString exe = QStringLiteral(QBK_ACCOUNT_SERVER_EXE);
    EXPECT_EQ(QProcess::execute(exe, {"--port", "x"}), 2);
    EXPECT_EQ(QProcess::execute(exe, {"--bogus", "1"}), 2);
    EXPECT_EQ(QProcess::execute(exe, {"--port", "0", "--seed-ban", "Ghost:0:reason"}), 1);
}

} // namespace
} // namespace qbk::test
