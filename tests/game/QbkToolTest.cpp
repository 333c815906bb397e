#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestHttpServer.h"
#include "tools/qbk-tool/ToolOptions.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using tool::ToolOptions;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(QbkToolOptions, ParsesCommandDirectoryAndTarget) {
    ToolOptions options;
    std::string error;
    ASSERT_TRUE(ToolOptions::parse(
        {"install-vanilla", "--launcher-dir", "/tmp/Лаунчер", "--target", "windows"}, options,
        error));
    EXPECT_EQ(options.command, "install-vanilla");
    EXPECT_EQ(options.launcherDir, fs::path(u8"/tmp/Лаунчер"));
    EXPECT_EQ(options.target.osName, "windows");

    EXPECT_FALSE(ToolOptions::parse({"install-vanilla"}, options, error));
    EXPECT_EQ(error, "--launcher-dir is required");
    EXPECT_FALSE(ToolOptions::parse({"install-java", "--launcher-dir", "d", "--target", "macos"},
                                    options, error));
    EXPECT_EQ(error, "unknown target macos (windows or linux)");
    EXPECT_FALSE(ToolOptions::parse({"install-java", "--launcher-dir"}, options, error));
    EXPECT_FALSE(ToolOptions::parse({"install-java", "--speed", "fast"}, options, error));
    EXPECT_FALSE(ToolOptions::parse({}, options, error));
}

class QbkToolRun : public ::testing::Test {
protected:
    int run(const std::string& arguments) {
        const std::string command = "\"" QBK_TOOL_PATH "\" " + arguments + " > \"" +
                                    (dir / "out.txt").string() + "\" 2> \"" +
                                    (dir / "err.txt").string() + "\"";
        const int status = std::system(command.c_str());
        return status == -1 ? -1 : status >> 8; // system() gives the wait status
    }
    nlohmann::json summary() { return nlohmann::json::parse(readAll(dir / "out.txt")); }

    test::TestHttpServer server;
    test::TempDir dir{"qbk-tool"};
};

TEST_F(QbkToolRun, InstallVanillaUsesTheIniEndpointsAndSummarisesAsJson) {
    const fs::path mirror = dir / "mirror";
    const std::string generate =
        "python3 \"" QBK_SOURCE_DIR "/tools/mirror/generate.py\" --out \"" + mirror.string() +
        "\" --base-url " + server.url("/m") + " --scale 8000 --no-runtime > /dev/null";
    ASSERT_EQ(std::system(generate.c_str()), 0);
    ASSERT_TRUE(server.mount("/m", mirror));
    const fs::path launcher = dir / "Лаунчер";
    fs::create_directories(launcher);
    fs::copy_file(mirror / "endpoints.ini", launcher / "Quellbrook.ini");

    const std::string args =
        "install-vanilla --launcher-dir \"" + launcher.string() + "\" --target linux";
    ASSERT_EQ(run(args), 0) << readAll(dir / "err.txt");
    const auto cold = summary();
    EXPECT_EQ(cold["ok"], true);
    EXPECT_EQ(cold["target"], "linux");
    EXPECT_GT(cold["filesDownloaded"].get<int>(), 3900);
    EXPECT_EQ(cold["filesSkipped"], 0);
    EXPECT_GT(cold["bytes"].get<long long>(), 0);
    EXPECT_NE(readAll(dir / "err.txt").find("[Minecraft] 65% Скачивание ресурсов игры ("),
              std::string::npos);
    EXPECT_TRUE(fs::exists(launcher / "minecraft/versions/1.21.1/1.21.1.jar"));

    server.resetCounters();
    ASSERT_EQ(run(args), 0);
    EXPECT_EQ(summary()["filesDownloaded"], 0);
    EXPECT_EQ(summary()["filesSkipped"].get<int>(), cold["filesDownloaded"].get<int>() - 3);
    EXPECT_EQ(server.requestsServed(), 0u);
}

TEST(QbkToolTls, TrustsTheConfiguredBundleAndRefusesAnUntrustedCertificate) {
    test::TempDir dir("qbk-tool-tls");
    const test::TestCertificates certificates(dir.path());
    test::TestHttpServer server(certificates);
    const fs::path mirror = dir / "mirror";
    const std::string generate =
        "python3 \"" QBK_SOURCE_DIR "/tools/mirror/generate.py\" --out \"" + mirror.string() +
        "\" --base-url " + server.url("/m") + " --scale 8000 --no-runtime > /dev/null";
    ASSERT_EQ(std::system(generate.c_str()), 0);
    ASSERT_TRUE(server.mount("/m", mirror));

    const auto runIn = [&](const fs::path& launcher) {
        const std::string command = "\"" QBK_TOOL_PATH "\" install-vanilla --launcher-dir \"" +
                                    launcher.string() + "\" > \"" +
                                    (launcher / "out.txt").string() + "\" 2> \"" +
                                    (launcher / "err.txt").string() + "\"";
        const int status = std::system(command.c_str());
        return status == -1 ? -1 : status >> 8;
    };
    const fs::path trusting = dir / "trusting";
    fs::create_directories(trusting);
    std::ofstream(trusting / "Quellbrook.ini")
        << readAll(mirror / "endpoints.ini")
        << "\n[network]\ncaBundle=" << certificates.caFile().string() << "\n";
    ASSERT_EQ(runIn(trusting), 0) << readAll(trusting / "err.txt");
    EXPECT_TRUE(fs::exists(trusting / "minecraft/assets/indexes/17.json"));

    const fs::path untrusting = dir / "untrusting";
    fs::create_directories(untrusting);
    fs::copy_file(mirror / "endpoints.ini", untrusting / "Quellbrook.ini");
    server.resetCounters();
    EXPECT_EQ(runIn(untrusting), 1);
    const auto summary = nlohmann::json::parse(readAll(untrusting / "out.txt"));
    EXPECT_EQ(summary["error"].get<std::string>().rfind(
                  "Не удалось получить список версий Minecraft: ", 0),
              0u);
    EXPECT_EQ(server.requestsServed(), 0u); // refused during the handshake
    EXPECT_FALSE(fs::exists(untrusting / "minecraft/versions"));
}

TEST_F(QbkToolRun, FailingStageExitsNonZeroWithItsMessage) {
    const fs::path launcher = dir / "launcher";
    fs::create_directories(launcher);
    std::ofstream(launcher / "Quellbrook.ini")
        << "[endpoints]\nmojangMeta=" << server.url("/nothing") << "\n";
    EXPECT_EQ(run("install-vanilla --launcher-dir \"" + launcher.string() + "\""), 1);
    const std::string expected =
        "Не удалось получить список версий Minecraft: HTTP код ответа: 404";
    EXPECT_NE(readAll(dir / "err.txt").find(expected), std::string::npos)
        << readAll(dir / "err.txt");
    EXPECT_EQ(summary()["ok"], false);
    EXPECT_EQ(summary()["error"], expected);
    EXPECT_EQ(run("install-vanilla"), 2);
}

} // namespace
} // namespace qbk
