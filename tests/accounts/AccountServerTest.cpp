// The stand-in account server at the wire: what it stores, what it accepts, how it stops
// (its rules in-process, admin levels included, are tests/tools/AccountServiceTest.cpp).

#include "AccountTestServer.h"
#include "accounts/NonceSearch.h"
#include "accounts/ProofOfWork.h"
#include "tests/support/WholeFile.h"

#include <QProcess>
#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

namespace qbk::test {
namespace {

using nlohmann::json;
using Answer = std::pair<int, json>; // status (0 without a reply) and body

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

std::string errorOf(const Answer& answer) {
    return std::to_string(answer.first) + " " + answer.second.value("errorMessage", "");
}

// A registration request with a fresh challenge and its smallest nonce.
json enrollment(const AccountTestServer& server, const std::string& name,
                const std::string& password = "secret12") {
    const json challenge = call(server, "/api/challenge").second;
    const std::string text = challenge.value("challenge", "");
    const std::atomic<bool> stop{false};
    const auto nonce = pow::findSmallestNonce(text, challenge["difficultyBits"], stop).nonce;
    return {{"username", name},
            {"password", password},
            {"challenge", text},
            {"nonce", std::to_string(nonce.value_or(0))}};
}

Answer enroll(const AccountTestServer& s, const json& request) {
    return call(s, "/api/register", request);
}

TEST(AccountServer, ChallengeIsSingleUseAndItsNonceIsChecked) {
    AccountTestServer server({"--difficulty", "10"});
    EXPECT_EQ(call(server, "/api/challenge").second["difficultyBits"], 10);
    json request = enrollment(server, "Steve"), wrong = request;
    const std::string challenge = request["challenge"];
    std::uint64_t failing = std::stoull(request["nonce"].get<std::string>()) + 1;
    while (pow::nonceMeetsDifficulty(challenge, failing, 10))
        ++failing;
    wrong["nonce"] = std::to_string(failing);
    EXPECT_EQ(errorOf(enroll(server, wrong)), "400 Решение задачи неверно. Попробуй ещё раз.");
    // The failed attempt used the challenge up; its right answer no longer counts.
    EXPECT_EQ(errorOf(enroll(server, request)),
              "400 Задача устарела или уже использована. Попробуй ещё раз.");
    request = enrollment(server, "Steve"); // leading zeros make another candidate
    request["nonce"] = "0" + request["nonce"].get<std::string>();
    EXPECT_EQ(enroll(server, request).first, 400);
    const std::string code = enroll(server, enrollment(server, "Steve")).second["recoveryCode"];
    EXPECT_EQ(errorOf(enroll(server, enrollment(server, "steve"))), "409 Этот никнейм уже занят.");
    // A new password set by recovery ends the sessions the old one opened.
    const json credentials{{"username", "Steve"}, {"password", "secret12"}};
    const std::string token =
        call(server, "/authserver/authenticate", credentials).second.value("accessToken", "");
    EXPECT_EQ(call(server, "/api/session", nullptr, token).first, 200);
    const json recovery{{"username", "Steve"}, {"recoveryCode", code}, {"newPassword", "other1"}};
    EXPECT_EQ(call(server, "/api/recover", recovery).first, 200);
    EXPECT_EQ(call(server, "/api/session", nullptr, token).first, 401);
}

TEST(AccountServer, KeepsOnlySaltedHashesOnDiskStopsOnSigtermAndRefusesBadArguments) {
    TempDir dir("qbk-account-db");
    const auto db = QString::fromStdString((dir / "accounts.sqlite").string());
    std::string code;
    {
        AccountTestServer server(
            {"--db", db, "--difficulty", "4", "--seed-account", "Seeded:SeedPassword1:2"});
        code = enroll(server, enrollment(server, "Herobrine", "PlainPassword9"))
                   .second["recoveryCode"];
        EXPECT_EQ(server.stop(), 0); // SIGTERM ends it cleanly, and the port closes
        EXPECT_FALSE(httplib::Client("127.0.0.1", server.port).Get("/api/challenge"));
    }
    const std::string bytes = readWholeFile(db.toStdString());
    for (const std::string& secret :
         {std::string("PlainPassword9"), std::string("SeedPassword1"), code})
        EXPECT_EQ(bytes.find(secret), std::string::npos) << secret;
    // A password and a recovery hash per account, each with its own salt.
    const std::regex hash(R"(pbkdf2-sha256\$1000\$([0-9a-f]{32})\$[0-9a-f]{64})");
    std::set<std::string> salts;
    for (std::sregex_iterator it(bytes.begin(), bytes.end(), hash), end; it != end; ++it)
        salts.insert((*it)[1]);
    EXPECT_EQ(salts.size(), 4u);
    const QString exe = QStringLiteral(QBK_ACCOUNT_SERVER_EXE);
    for (const auto& [arguments, code] :
         {std::pair{QStringList{"--port", "x"}, 2},
          {QStringList{"--bogus", "1"}, 2},
          {QStringList{"--port", "0", "--seed-ban", "Ghost:0:reason"}, 1}})
        EXPECT_EQ(QProcess::execute(exe, arguments), code) << arguments.join(' ').toStdString();
}

} // namespace
} // namespace qbk::test
