#include "launch/AuthlibInjector.h"

#include "platform/Digest.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using test::readWholeFile;

// A release service answering with the metadata and the jar the test sets; the jar's URL is
// on this server. Reads happen on the server's threads after each set, never during.
class AuthlibInjectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.get("/artifact/latest.json", [this](const auto&, auto& response, const auto&) {
            response.set_content(metadata, "application/json");
        });
        server.get("/agent.jar", [this](const auto&, auto& response, const auto&) {
            response.status = jarStatus;
            response.set_content(jar, "application/java-archive");
        });
    }
    std::string withSha256(const std::string& sha256) const {
        return R"({"build_number": 55, "version": "1.2.7", "download_url": ")" + jarUrl +
               R"(", "checksums": {"sha256": ")" + sha256 + R"("}})";
    }
    fs::path ensure() {
        error.clear();
        return EnsureAuthlibInjector(launcherDir, server.baseUrl(), error);
    }

    test::TestHttpServer server;
    test::TempDir root{"qbk-agent"};
    const fs::path launcherDir = root / fs::path(u8"Лаунчер");
    const fs::path agent = launcherDir / "authlib-injector.jar";
    const std::string jarUrl = server.url("/agent.jar");
    std::string jar = "PK\x03\x04 synthetic agent jar", metadata, error;
    int jarStatus = 200;
};

TEST_F(AuthlibInjectorTest, OnlyAMatchingCompleteJarIsPutInPlaceAndThenUsedAsItIs) {
    platform::Digest digest(platform::HashAlgorithm::Sha256);
    digest.update(jar);
    const std::string sha256 = digest.finishHex();
    std::string upper = sha256;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    struct Case {
        std::string metadata, jar;
        int status;
        const char* error; // a part of the reason, or null: the agent is installed
    };
    // The stored release reply, its jar moved to this server: its published hash is checked.
    std::string real = readWholeFile(fs::path(QBK_TESTDATA_DIR) / "authlib-injector/latest.json");
    const std::string publicUrl =
        "https://authlib-injector.yushi.moe/artifact/55/authlib-injector-1.2.7.jar";
    ASSERT_NE(real.find(publicUrl), std::string::npos);
    real.replace(real.find(publicUrl), publicUrl.size(), jarUrl);
    const Case cases[] = {
        {withSha256(sha256), "tampered", 200, "SHA-256"},
        {withSha256(sha256), jar, 500, "HTTP код ответа: 500"},
        {"not json", jar, 200, "JSON"},
        {R"([")" + jarUrl + R"("])", jar, 200, "JSON"},
        {R"({"version": "1.2.7"})", jar, 200, "download_url"},
        {R"({"download_url": ""})", jar, 200, "download_url"},
        {R"({"download_url": 55})", jar, 200, "download_url"},
        {R"({"download_url": ")" + jarUrl + R"(", "checksums": {"sha256": "abc"}})", jar, 200,
         "sha256"},
        {R"({"download_url": ")" + jarUrl + R"(", "checksums": {"sha256": 1}})", jar, 200,
         "sha256"},
        {real, jar, 200, "eaf14bc5acffc7d885bd5bd5942b99f36d6299302beae356b2fc5807fe42652b"},
        {withSha256(upper), jar, 200, nullptr},
        {R"({"download_url": ")" + jarUrl + R"("})", jar, 200, nullptr}};
    const std::string good = jar;
    for (const Case& c : cases) {
        metadata = c.metadata;
        jar = c.jar;
        jarStatus = c.status;
        EXPECT_EQ(ensure(), c.error ? fs::path() : agent) << c.metadata;
        if (c.error) {
            EXPECT_NE(error.find(c.error), std::string::npos) << c.metadata << ": " << error;
        }
        EXPECT_EQ(readWholeFile(agent), c.error ? "" : good) << c.metadata;
        EXPECT_FALSE(fs::exists(agent.string() + ".part")) << c.metadata;
        fs::remove(agent);
    }

    // A file already there, of any content, is used without asking the network.
    test::writeWholeFile(agent, "");
    server.resetCounters();
    EXPECT_EQ(ensure(), agent);
    EXPECT_EQ(server.requestsServed(), 0u);
    EXPECT_EQ(EnsureAuthlibInjector(root / "other", server.url("/status/503"), error), fs::path());
    EXPECT_NE(error.find("authlib-injector"), std::string::npos);
}

} // namespace
} // namespace qbk
