#include "launch/AuthlibInjector.h"

#include "tests/support/Digests.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <gtest/gtest.h>
#include <tuple>
namespace qbk {
namespace {
namespace fs = std::filesystem;
using test::readWholeFile;
// Only a matching complete jar lands at the agent path; one already there is used offline.
TEST(AuthlibInjectorTest, OnlyAMatchingCompleteJarIsPutInPlaceAndThenUsedAsItIs) {
    test::TestHttpServer server;
    const test::TempDir root("qbk-agent");
    const fs::path launcherDir = root / fs::path(u8"Лаунчер"),
                   agent = launcherDir / "authlib-injector.jar";
    const std::string url = server.url("/agent.jar"), good = "PK\x03\x04 synthetic agent jar";
    std::string jar, metadata, error;
    int jarStatus = 200;
    server.get("/artifact/latest.json",
               [&](auto&, auto& r, auto&) { r.set_content(metadata, "application/json"); });
    server.get("/agent.jar", [&](const auto&, auto& response, const auto&) {
        response.status = jarStatus;
        response.set_content(jar, "application/java-archive");
    });
    const std::string sha256 = test::sha256Hex(good);
    const auto with = [&](const std::string& checksum) {
        return R"({"build_number": 55, "download_url": ")" + url +
               R"(", "checksums": {"sha256": )" + checksum + "}}";
    };
    // The stored release reply, its jar moved to this server: its published hash is checked.
    std::string real = readWholeFile(fs::path(QBK_TESTDATA_DIR) / "authlib-injector/latest.json");
    const std::string publicUrl =
        "https://authlib-injector.yushi.moe/artifact/55/authlib-injector-1.2.7.jar";
    ASSERT_NE(real.find(publicUrl), std::string::npos);
    real.replace(real.find(publicUrl), publicUrl.size(), url);
    // metadata, jar, its status, a part of the reason (null: the agent is installed)
    const std::tuple<std::string, std::string, int, const char*> cases[] = {
        {with('"' + sha256 + '"'), "tampered", 200, "SHA-256"},
        {with('"' + sha256 + '"'), good, 500, "HTTP код ответа: 500"},
        {"not json", good, 200, "JSON"},
        {R"({"version": "1.2.7"})", good, 200, "download_url"},
        {R"({"download_url": ""})", good, 200, "download_url"},
        {with(R"("abc")"), good, 200, "sha256"},
        {real, good, 200, "eaf14bc5acffc7d885bd5bd5942b99f36d6299302beae356b2fc5807fe42652b"},
        {with('"' + test::upperCase(sha256) + '"'), good, 200, nullptr},
        {R"({"download_url": ")" + url + R"("})", good, 200, nullptr}};
    for (const auto& c : cases) {
        const char* reason = std::get<3>(c);
        std::tie(metadata, jar, jarStatus, std::ignore) = c;
        error.clear();
        EXPECT_EQ(EnsureAuthlibInjector(launcherDir, server.baseUrl(), error),
                  reason ? fs::path() : agent)
            << metadata;
        EXPECT_TRUE(reason ? error.find(reason) != std::string::npos : error.empty()) << error;
        EXPECT_EQ(readWholeFile(agent), reason ? "" : good) << metadata;
        EXPECT_FALSE(fs::exists(agent.string() + ".part")) << metadata;
        fs::remove(agent);
    }
    test::writeWholeFile(agent, "");
    server.resetCounters();
    EXPECT_EQ(EnsureAuthlibInjector(launcherDir, server.baseUrl(), error), agent);
    EXPECT_EQ(server.requestsServed(), 0u);
    EXPECT_EQ(EnsureAuthlibInjector(root / "other", server.url("/status/503"), error), fs::path());
    EXPECT_NE(error.find("authlib-injector"), std::string::npos);
}
} // namespace
} // namespace qbk
