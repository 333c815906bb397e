#include "launch/AuthlibInjector.h"

#include "platform/Digest.h"
#include "platform/Platform.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <mutex>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::TestHttpServer;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string sha256Of(const std::string& bytes) {
    platform::Digest digest(platform::HashAlgorithm::Sha256);
    digest.update(bytes);
    return digest.finishHex();
}

const std::string kJar = "PK\x03\x04 synthetic agent jar";

// The metadata in the release service's real shape, pointing at this server's jar.
class AuthlibInjectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        server.get("/artifact/latest.json",
                   [this](const httplib::Request&, httplib::Response& response, const auto&) {
                       std::lock_guard lock(mutex);
                       ++metadataRequests;
                       response.set_content(metadata, "application/json");
                   });
        server.get("/artifact/55/authlib-injector-1.2.7.jar",
                   [this](const httplib::Request&, httplib::Response& response, const auto&) {
                       std::lock_guard lock(mutex);
                       ++jarRequests;
                       response.status = jarStatus;
                       response.set_content(jarBody, "application/java-archive");
                   });
        setMetadata(realShape(sha256Of(kJar)));
    }

    std::string realShape(const std::string& sha256) const {
        return R"({
  "build_number": 55,
  "version": "1.2.7",
  "release_time": "2025-12-16T16:01:27Z",
  "download_url": ")" +
               server.url("/artifact/55/authlib-injector-1.2.7.jar") + R"(",
  "checksums": {
    "sha256": ")" +
               sha256 + R"("
  }
})";
    }

    void setMetadata(std::string body) {
        std::lock_guard lock(mutex);
        metadata = std::move(body);
    }

    fs::path ensure() {
        error.clear();
        return EnsureAuthlibInjector(launcherDir, server.baseUrl(), error);
    }

    TestHttpServer server;
    TempDir root{"qbk-agent"};
    fs::path launcherDir = root / platform::pathFromUtf8("Лаунчер");
    fs::path agent = launcherDir / "authlib-injector.jar";
    std::mutex mutex;
    std::string metadata;
    std::string jarBody = kJar;
    int jarStatus = 200;
    int metadataRequests = 0;
    int jarRequests = 0;
    std::string error;
};

TEST_F(AuthlibInjectorTest, DownloadsTheLatestReleaseOnceAndThenUsesTheFile) {
    fs::create_directories(launcherDir);
    EXPECT_EQ(ensure(), agent);
    EXPECT_EQ(readFile(agent), kJar);
    EXPECT_FALSE(fs::exists(agent.string() + ".part"));
    EXPECT_EQ(ensure(), agent);
    EXPECT_EQ(metadataRequests, 1);
    EXPECT_EQ(jarRequests, 1);
}

TEST_F(AuthlibInjectorTest, ExistingFileOfAnyContentIsUsedWithoutNetworkAccess) {
    fs::create_directories(launcherDir);
    std::ofstream(agent, std::ios::binary).close(); // empty
    server.resetCounters();
    EXPECT_EQ(ensure(), agent);
    EXPECT_EQ(server.requestsServed(), 0u);
    EXPECT_EQ(readFile(agent), "");
}

TEST_F(AuthlibInjectorTest, JarNotMatchingThePublishedSha256IsDeletedAndTheResultIsEmpty) {
    jarBody = "tampered";
    EXPECT_TRUE(ensure().empty());
    EXPECT_FALSE(fs::exists(agent));
    EXPECT_FALSE(fs::exists(agent.string() + ".part"));
    EXPECT_NE(error.find("SHA-256"), std::string::npos) << error;

    jarBody = kJar; // the next launch tries again from the metadata
    EXPECT_EQ(ensure(), agent);
    EXPECT_EQ(metadataRequests, 2);
}

TEST_F(AuthlibInjectorTest, ChecksumIsComparedCaseInsensitivelyAndMayBeAbsent) {
    std::string upper = sha256Of(kJar);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    setMetadata(realShape(upper));
    EXPECT_EQ(ensure(), agent) << error;

    fs::remove(agent);
    setMetadata(R"({"download_url": ")" + server.url("/artifact/55/authlib-injector-1.2.7.jar") +
                R"("})");
    EXPECT_EQ(ensure(), agent) << error;
    EXPECT_EQ(readFile(agent), kJar);
}

TEST_F(AuthlibInjectorTest, HttpErrorOnTheJarLeavesNoAgentFile) {
    jarStatus = 500;
    EXPECT_TRUE(ensure().empty());
    EXPECT_FALSE(fs::exists(agent));
    EXPECT_FALSE(fs::exists(agent.string() + ".part"));
    EXPECT_FALSE(error.empty());
}

TEST_F(AuthlibInjectorTest, UnusableMetadataGivesAnEmptyResultWithoutDownloading) {
    const std::string jarUrl = server.url("/artifact/55/authlib-injector-1.2.7.jar");
    const std::vector<std::string> bodies = {
        "not json",
        R"([")" + jarUrl + R"("])",
        R"({"version": "1.2.7"})",
        R"({"download_url": ""})",
        R"({"download_url": 55})",
        R"({"download_url": ")" + jarUrl + R"(", "checksums": {"sha256": "abc"}})",
        R"({"download_url": ")" + jarUrl + R"(", "checksums": {"sha256": 1}})",
    };
    for (const auto& body : bodies) {
        setMetadata(body);
        EXPECT_TRUE(ensure().empty()) << body;
        EXPECT_FALSE(error.empty()) << body;
    }
    EXPECT_EQ(jarRequests, 0);
    EXPECT_FALSE(fs::exists(agent));
}

TEST_F(AuthlibInjectorTest, UnreachableMetadataGivesAnEmptyResult) {
    EXPECT_TRUE(EnsureAuthlibInjector(launcherDir, server.url("/status/503"), error).empty());
    EXPECT_FALSE(fs::exists(agent));
    EXPECT_NE(error.find("authlib-injector"), std::string::npos);
}

TEST(AuthlibInjectorRealDataTest, RealMetadataNamesTheJarAndItsChecksum) {
    // The stored release reply must parse the way the provisioning reads it: a server that
    // answers with it (URL rewritten to loopback) gives a jar only when the hash matches.
    std::string real = readFile(fs::path(QBK_TESTDATA_DIR) / "authlib-injector" / "latest.json");
    ASSERT_FALSE(real.empty());
    TestHttpServer server;
    const std::string publicUrl =
        "https://authlib-injector.yushi.moe/artifact/55/authlib-injector-1.2.7.jar";
    const auto at = real.find(publicUrl);
    ASSERT_NE(at, std::string::npos);
    real.replace(at, publicUrl.size(), server.url("/jar"));
    server.get("/artifact/latest.json",
               [&](const httplib::Request&, httplib::Response& response, const auto&) {
                   response.set_content(real, "application/json");
               });
    server.get("/jar", [](const httplib::Request&, httplib::Response& response, const auto&) {
        response.set_content("not the real 344477-byte jar", "application/java-archive");
    });
    TempDir dir{"qbk-agent-real"};
    std::string error;
    EXPECT_TRUE(EnsureAuthlibInjector(dir.path(), server.baseUrl(), error).empty());
    EXPECT_NE(error.find("eaf14bc5acffc7d885bd5bd5942b99f36d6299302beae356b2fc5807fe42652b"),
              std::string::npos)
        << error;
    EXPECT_FALSE(fs::exists(dir / "authlib-injector.jar"));
}

} // namespace
} // namespace qbk
