#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <nlohmann/json.hpp>

namespace qbk {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// qbk-tool's NeoForge and mod stages against a loopback mirror and the stand-in java; the
// launcher folder has a Cyrillic name.
class QbkStageToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string generate = std::string(QBK_PYTHON3) +
                                     " \"" QBK_SOURCE_DIR "/tools/mirror/neoforge.py\" --out \"" +
                                     (dir / "mirror").string() + "\" --base-url " +
                                     server.url("/m") + " --scale 64 > /dev/null";
        ASSERT_EQ(std::system(generate.c_str()), 0);
        ASSERT_TRUE(server.mount("/m", dir / "mirror"));
        fs::create_directories(launcher / "runtime/java21/bin");
        fs::copy_file(QBK_JAVA_STANDIN, launcher / "runtime/java21/bin/java");
        writeFile(launcher / "Quellbrook.ini", "[endpoints]\n" +
                                                   readAll(dir / "mirror/endpoints-play.ini") +
                                                   "[auth]\nbaseUrl=" + server.baseUrl() + "\n");
    }

    int run(const std::string& command) {
        const std::string line = "\"" QBK_TOOL_PATH "\" " + command + " --launcher-dir \"" +
                                 launcher.string() + "\" --target linux > \"" +
                                 (dir / "out.txt").string() + "\" 2> \"" +
                                 (dir / "err.txt").string() + "\"";
        const int status = std::system(line.c_str());
        return status == -1 ? -1 : status >> 8;
    }

    // Standard output must be the summary alone, so scripts can read it.
    nlohmann::json summary() {
        const std::string out = readAll(dir / "out.txt");
        EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
        return nlohmann::json::parse(out, nullptr, false);
    }

    test::TestHttpServer server;
    test::TempDir dir{"qbk-stage-tool"};
    fs::path launcher = dir / "Лаунчер";
};

TEST_F(QbkStageToolTest, InstallNeoForgeInstallsOnceAndThenOnlyConfirmsTheVersion) {
    ASSERT_EQ(run("install-neoforge"), 0) << readAll(dir / "err.txt");
    const auto cold = summary();
    EXPECT_EQ(cold["ok"], true);
    EXPECT_EQ(cold["neoForgeVersion"], "21.1.230");
    EXPECT_EQ(cold["alreadyInstalled"], false);
    EXPECT_TRUE(
        fs::exists(launcher / "minecraft/versions/neoforge-21.1.230/neoforge-21.1.230.json"));
    EXPECT_NE(readAll(dir / "err.txt").find("[NeoForge] 70% Установка NeoForge"),
              std::string::npos);

    server.resetCounters();
    ASSERT_EQ(run("install-neoforge"), 0) << readAll(dir / "err.txt");
    EXPECT_EQ(summary()["alreadyInstalled"], true);
    EXPECT_EQ(server.requestsServed(), 1u); // the version list only
}

TEST_F(QbkStageToolTest, InstallNeoForgeFailureIsReportedInTheSummaryAndExitCode) {
    fs::remove(launcher / "runtime/java21/bin/java");
    EXPECT_EQ(run("install-neoforge"), 1);
    const auto failed = summary();
    EXPECT_EQ(failed["ok"], false);
    EXPECT_EQ(failed["error"].get<std::string>().rfind("Не найден java: ", 0), 0u) << failed;
}

TEST_F(QbkStageToolTest, SyncModsDownloadsTheManifestsModsAndReportsAnUnavailableOne) {
    server.get("/api/mods",
               [this](const httplib::Request&, httplib::Response& response, const auto&) {
                   response.set_content(nlohmann::json{{"mods",
                                                        {{{"fileName", "demo.jar"},
                                                          {"url", server.url("/bytes/2048")},
                                                          {"sizeBytes", 2048}}}}}
                                            .dump(),
                                        "application/json");
               });
    ASSERT_EQ(run("sync-mods"), 0) << readAll(dir / "err.txt");
    auto synced = summary();
    EXPECT_EQ(synced["manifestAvailable"], true);
    EXPECT_EQ(synced["entries"], 1);
    EXPECT_EQ(synced["downloaded"], 1);
    EXPECT_EQ(fs::file_size(launcher / "minecraft/mods/demo.jar"), 2048u);
    ASSERT_EQ(run("sync-mods"), 0);
    EXPECT_EQ(summary()["downloaded"], 0);

    server.get("/api/mods", [](const httplib::Request&, httplib::Response& response, const auto&) {
        response.status = 503;
    });
    EXPECT_EQ(run("sync-mods"), 1);
    EXPECT_EQ(summary()["manifestAvailable"], false);
    EXPECT_NE(readAll(dir / "err.txt").find("[Mods] Не удалось скачать манифест: "),
              std::string::npos);
}

} // namespace
} // namespace qbk
