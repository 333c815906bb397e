#include "app/Endpoints.h"
#include "game/LaunchProfile.h"
#include "game/MinecraftInstaller.h"
#include "platform/Platform.h"
#include "tests/support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace qbk {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> utf8List(const std::vector<std::wstring>& items) {
    std::vector<std::string> list;
    for (const auto& item : items)
        list.push_back(platform::wideToUtf8(item));
    return list;
}

class PlayToolRun : public ::testing::Test {
protected:
    void SetUp() override {
        writeText(launcherDir / "Quellbrook.ini", "[auth]\nbaseUrl=http://127.0.0.1:9/\n"
                                                  "[endpoints]\ngameServer=mc.test.invalid\n");
    }
    void placeRealVersionJsons() {
        const fs::path real(QBK_TESTDATA_DIR);
        const fs::path versions = launcherDir / "minecraft" / "versions";
        writeText(versions / "neoforge-21.1.230" / "neoforge-21.1.230.json",
                  readAll(real / "neoforge" / "neoforge-21.1.230.json"));
        writeText(versions / "1.21.1" / "1.21.1.json", readAll(real / "minecraft" / "1.21.1.json"));
    }
    int run(const std::string& arguments) {
        const std::string command = "\"" QBK_TOOL_PATH "\" " + arguments + " > \"" +
                                    (dir / "out.txt").string() + "\" 2> \"" +
                                    (dir / "err.txt").string() + "\"";
        const int status = std::system(command.c_str());
        return status == -1 ? -1 : status >> 8;
    }
    std::string launcherArg() const { return "--launcher-dir \"" + launcherDir.string() + "\""; }
    nlohmann::json output() const { return nlohmann::json::parse(readAll(dir / "out.txt")); }

    test::TempDir dir{"qbk-play-tool"};
    fs::path launcherDir = dir / "Лаунчер Quellbrook";
};

TEST_F(PlayToolRun, ProfilePrintsTheAssembledProfileWithTheAgentLast) {
    placeRealVersionJsons();
    ASSERT_EQ(run("profile " + launcherArg() +
                  " --target windows --player Игрок --uuid 8667ba71-b85a-4004-af54-457a9734eed7"
                  " --token tok-1 --max-ram 6144 --min-ram 2048"),
              0)
        << readAll(dir / "err.txt");
    const nlohmann::json printed = output();
    ASSERT_EQ(printed.size(), 3u);

    // The same assembly through the library, with the options the tool was given.
    const TargetPlatform target = TargetPlatform::windowsX64();
    MinecraftInstaller installer(launcherDir / "minecraft", launcherDir / "runtime" / "java21",
                                 Endpoints::defaults(), target);
    installer.mcVersion = "1.21.1";
    installer.neoForgeVersion = "21.1.230";
    LaunchOptions options{L"Игрок", L"8667ba71-b85a-4004-af54-457a9734eed7", L"tok-1", 6144, 2048};
    LaunchProfile expected;
    ASSERT_TRUE(BuildLaunchProfile(installer, target, options, expected));

    EXPECT_EQ(printed.at("mainClass"), "cpw.mods.bootstraplauncher.BootstrapLauncher");
    const auto jvm = printed.at("jvmArgs").get<std::vector<std::string>>();
    ASSERT_EQ(jvm.size(), expected.jvmArgs.size() + 1);
    EXPECT_EQ(std::vector<std::string>(jvm.begin(), jvm.end() - 1), utf8List(expected.jvmArgs));
    EXPECT_EQ(jvm[0], "-Xms2048M");
    EXPECT_EQ(jvm[1], "-Xmx6144M");
    EXPECT_EQ(jvm.back(),
              "-javaagent:" + platform::pathToUtf8(launcherDir / "authlib-injector.jar") +
                  "=http://127.0.0.1:9");
    const auto game = printed.at("gameArgs").get<std::vector<std::string>>();
    std::vector<std::string> masked = utf8List(expected.gameArgs);
    ASSERT_GE(masked.size(), 14u);
    ASSERT_EQ(masked[12], "--accessToken");
    masked[13] = "***";
    EXPECT_EQ(game, masked);
    EXPECT_EQ(game[1], "Игрок");
    // The token reached the assembly but no line the tool wrote.
    EXPECT_EQ(readAll(dir / "out.txt").find("tok-1"), std::string::npos);
    EXPECT_EQ(readAll(dir / "err.txt").find("tok-1"), std::string::npos);
}

TEST_F(PlayToolRun, ProfileFailuresAndBadOptions) {
    EXPECT_EQ(run("profile " + launcherArg()), 1);
    const nlohmann::json failed = output();
    EXPECT_EQ(failed.at("ok"), false);
    EXPECT_EQ(failed.at("error"), "Не найден JSON NeoForge — сначала установи NeoForge.");

    EXPECT_EQ(run("profile " + launcherArg() + " --max-ram lots"), 2);
    EXPECT_EQ(run("profile " + launcherArg() + " --min-ram 0"), 2);
    EXPECT_EQ(run("profile " + launcherArg() + " --player"), 2);
    EXPECT_EQ(run("profile --player Игрок"), 2); // no launcher directory
}

TEST_F(PlayToolRun, ServersDatWritesTheIniAddressAndTheIcon) {
    ASSERT_EQ(run("servers-dat " + launcherArg()), 0) << readAll(dir / "err.txt");
    const nlohmann::json summary = output();
    EXPECT_EQ(summary.at("ok"), true);
    EXPECT_EQ(summary.at("icon"), true);
    EXPECT_EQ(summary.at("address"), "mc.test.invalid");
    const std::string bytes = readAll(launcherDir / "minecraft" / "servers.dat");
    EXPECT_EQ(summary.at("bytes"), bytes.size());
    EXPECT_NE(bytes.find(std::string("\x00\x0F", 2) + "mc.test.invalid"), std::string::npos);
    EXPECT_NE(bytes.find("iVBORw0KGgo"), std::string::npos); // the PNG signature in Base64
}

} // namespace
} // namespace qbk
