// qbk-tool as scripts run it: a launcher folder with a Cyrillic name, its INI pointing at a
// loopback HTTPS mirror whose CA only the INI's network/caBundle trusts.
#include "tests/support/TempDir.h"
#include "tests/support/TestCertificates.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
namespace qbk {
namespace {
namespace fs = std::filesystem;
using nlohmann::json;
using test::readWholeFile;
using test::writeWholeFile;
class QbkToolRun : public ::testing::Test {
protected:
    // The exit code; standard output must be one summary line, so scripts can read it.
    int run(const std::string& command, const std::string& options = "") {
        const int status = std::system(("\"" QBK_TOOL_PATH "\" " + command + " --launcher-dir \"" +
                                        launcher.string() + "\" " + options + " > \"" +
                                        (dir / "out.txt").string() + "\" 2> \"" +
                                        (dir / "err.txt").string() + "\"")
                                           .c_str());
        const std::string out = readWholeFile(dir / "out.txt");
        printed = json::parse(out, nullptr, false);
        EXPECT_TRUE(out.empty() || out.find('\n') == out.size() - 1) << out;
        return status == -1 ? -1 : status >> 8;
    }
    void ini(const std::string& text) { writeWholeFile(launcher / "Quellbrook.ini", text); }
    std::string err() const { return readWholeFile(dir / "err.txt"); }
    test::TempDir dir{"qbk-tool"};
    test::TestCertificates certificates{dir.path()};
    fs::path launcher = dir / "Лаунчер";
    json printed;
};
TEST_F(QbkToolRun, ProfilePrintsTheLibraryAssemblyWithTheTokenMaskedAndTheAgentLast) {
    ini("[auth]\nbaseUrl=http://127.0.0.1:9/\n");
    EXPECT_EQ(run("profile"), 1);
    EXPECT_EQ(printed["ok"], false); // the message is LaunchProfileTest's
    for (const char* bad : {"--max-ram lots", "--min-ram 0", "--player", "--target macos"})
        EXPECT_EQ(run("profile", bad), 2) << bad;
    writeWholeFile(launcher / "minecraft/versions/neoforge-21.1.230/neoforge-21.1.230.json",
                   readWholeFile(QBK_TESTDATA_DIR "/neoforge/neoforge-21.1.230.json"));
    writeWholeFile(launcher / "minecraft/versions/1.21.1/1.21.1.json",
                   readWholeFile(QBK_TESTDATA_DIR "/minecraft/1.21.1.json"));
    const std::string session = "--player Игрок --uuid 8667ba71-b85a-4004-af54-457a9734eed7";
    ASSERT_EQ(run("profile", session + " --token tok-1 --max-ram 6144 --min-ram 2048"), 0) << err();
    const std::string out = readWholeFile(dir / "out.txt");
    EXPECT_EQ(printed["jvmArgs"].back(),
              "-javaagent:" + (launcher / "authlib-injector.jar").string() + "=http://127.0.0.1:9");
    for (const char* part :
         {R"("--accessToken","***")", R"("-Xmx6144M")", R"("--username","Игрок")"})
        EXPECT_NE(out.find(part), std::string::npos) << out;
    EXPECT_EQ((out + err()).find("tok-1"), std::string::npos);
    ASSERT_EQ(run("profile", session), 0) << err(); // no session token: "0" is no secret
    EXPECT_NE(readWholeFile(dir / "out.txt").find(R"("--accessToken","0")"), std::string::npos);
}
TEST_F(QbkToolRun, ModSyncReportsThroughSummaryAndExitCode) {
    test::TestHttpServer server(certificates);
    ini("[auth]\nbaseUrl=" + server.baseUrl() +
        "\n[network]\ncaBundle=" + certificates.caFile().string() + "\n");
    const json mods = {
        {"mods",
         {{{"fileName", "demo.jar"}, {"url", server.url("/bytes/2048")}, {"sizeBytes", 2048}}}}};
    int status = 200;
    server.get("/api/mods", [&](auto&, auto& response, const auto&) {
        response.status = status;
        response.set_content(mods.dump(), "application/json");
    });
    const auto sync = [&] {
        const int code = run("sync-mods");
        return std::tuple(code, printed["manifestAvailable"], printed["entries"],
                          printed["downloaded"]);
    };
    EXPECT_EQ(sync(), std::tuple(0, true, 1, 1)) << err();
    EXPECT_EQ(fs::file_size(launcher / "minecraft/mods/demo.jar"), 2048u);
    EXPECT_EQ(sync(), std::tuple(0, true, 1, 0));
    status = 503;
    EXPECT_EQ(sync(), std::tuple(1, false, 0, 0));
    EXPECT_NE(err().find("[Mods] Не удалось скачать манифест: "), std::string::npos);
}
} // namespace
} // namespace qbk
