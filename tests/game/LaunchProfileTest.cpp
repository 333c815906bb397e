#include "game/LaunchProfile.h"

#include "app/Endpoints.h"
#include "game/MinecraftInstaller.h"
#include "platform/Platform.h"
#include "tests/support/TempDir.h"
#include "tests/support/WholeFile.h"

#include <algorithm>
#include <gtest/gtest.h>
namespace qbk {
namespace {
namespace fs = std::filesystem;
using test::readWholeFile;
using test::writeWholeFile;
const std::string kGolden = QBK_SOURCE_DIR "/tests/game/golden/";
const auto utf8 = platform::wideToUtf8;
void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at))
        text.replace(at, from.size(), to), at += to.size();
}
// One argument a line, the game folder as <game>, "/" for separators and one classpath entry
// a line, so that a golden file reads the same on every host.
std::string render(const LaunchProfile& profile, const fs::path& gameDir, char separator) {
    std::string text = "main " + utf8(profile.mainClass) + "\n";
    for (const auto& [kind, arguments] :
         {std::pair{"jvm ", &profile.jvmArgs}, std::pair{"game ", &profile.gameArgs}})
        for (const auto& argument : *arguments) {
            std::string line = utf8(argument);
            replaceAll(line, platform::pathToUtf8(gameDir), "<game>");
            std::replace(line.begin(), line.end(), '\\', '/');
            replaceAll(line, std::string(1, separator), "\n    ");
            text += kind + line + "\n";
        }
    return text;
}
class LaunchProfileTest : public ::testing::Test {
protected:
    // The assembly reads files only; no host is ever asked.
    bool build(const TargetPlatform& target, const LaunchOptions& options) {
        game.mcVersion = "1.21.1";
        game.neoForgeVersion = "21.1.230";
        return BuildLaunchProfile(game, target, options, profile);
    }
    void place(const std::string& neoForge, const std::string& vanilla) {
        fs::remove_all(gameDir);
        if (!neoForge.empty())
            writeWholeFile(gameDir / "versions/neoforge-21.1.230/neoforge-21.1.230.json", neoForge);
        if (vanilla != "-")
            writeWholeFile(gameDir / "versions/1.21.1/1.21.1.json", vanilla);
    }
    test::TempDir dir{"qbk-profile"};
    fs::path gameDir = dir / "Игры Quellbrook" / "minecraft";
    MinecraftInstaller game{gameDir, dir / "runtime", Endpoints{}, TargetPlatform::windowsX64()};
    LaunchProfile profile;
};
// The legacy pair (no inheritsFrom, no argument lists, clashing libraries, escaping paths,
// odd placeholders, an empty session) walks what the real JSONs do not.
TEST_F(LaunchProfileTest, VersionJsonsGiveTheGoldenProfileOfEachTarget) {
    place(readWholeFile(QBK_TESTDATA_DIR "/neoforge/neoforge-21.1.230.json"),
          readWholeFile(QBK_TESTDATA_DIR "/minecraft/1.21.1.json"));
    for (const auto& [target, name] : {std::pair{TargetPlatform::windowsX64(), "windows"},
                                       std::pair{TargetPlatform::linuxX64(), "linux"}}) {
        ASSERT_TRUE(build(target, {L"${auth_access_token}", L"8667ba71-b85a-4004-af54-457a9734eed7",
                                   L"tok-123", 4096, 1024}))
            << utf8(game.lastError);
        EXPECT_EQ(render(profile, gameDir, target.classpathSeparator),
                  readWholeFile(kGolden + "launch-profile-" + name + ".txt"));
    }
    place(readWholeFile(kGolden + "legacy-neoforge.json"),
          readWholeFile(kGolden + "legacy-1.21.1.json"));
    ASSERT_TRUE(build(TargetPlatform::windowsX64(), {L"Player", L"", L"", 6144, 2048}));
    AppendAgentArgument(profile,
                        gameDir / platform::pathFromUtf8("с пробелом/authlib-injector.jar"),
                        "https://auth.example.org:8448");
    EXPECT_EQ(render(profile, gameDir, ';'), readWholeFile(kGolden + "launch-profile-legacy.txt"));
}
TEST_F(LaunchProfileTest, FailuresCarryTheirMessagesAndNeverThrow) {
    const std::wstring odd = L"Неожиданная структура JSON версии: ";
    const std::tuple<const char*, const char*, std::wstring> cases[] = {
        // "": no file
        {"", "{}", L"Не найден JSON NeoForge — сначала установи NeoForge."},
        {"{}", "-", L"Не найден JSON Minecraft 1.21.1"},
        {"{}", "", L"Не найден JSON Minecraft 1.21.1"}, // empty counts as missing
        {"{\"libraries\": [", "{}", L"Битый JSON версии: [json.exception"},
        {"{}", "not json", L"Битый JSON версии: [json.exception"},
        {R"({"inheritsFrom": "1.21.1"})", R"({"libraries": []})", L"В JSON версии нет mainClass."},
        {R"({"mainClass": "a.B", "libraries": "none"})", "{}", odd},
        {R"({"mainClass": "a.B", "libraries": [{"name": 7}]})", "{}", odd},
        {R"({"mainClass": "a.B", "libraries": [{"name": "a:b:1", "rules": [{"os": {"name": 1}}]}]})",
         "{}", odd},
        {R"({"mainClass": "a.B", "arguments": {"jvm": [{"rules": ["allow"]}]}})", "{}", odd},
        {R"({"mainClass": "a.B", "libraries": [{"name": "a:b:1", "rules": [{"action": 1}]}]})",
         "{}", odd},
        {R"({"mainClass": "a.B", "arguments": "none"})", "{}", odd},
        {R"({"mainClass": 42})", "{}", odd},
        {R"({"mainClass": "a.B", "minecraftArguments": 5})", "{}", odd},
        {R"({"mainClass": "a.B"})", R"({"assetIndex": "17"})", odd},
        {R"({"mainClass": "a.B"})", "[1, 2, 3]", odd},
    };
    for (const auto& [neoForge, vanilla, error] : cases) {
        place(neoForge, vanilla);
        bool built = true;
        EXPECT_NO_THROW(built = build(TargetPlatform::windowsX64(), LaunchOptions()));
        EXPECT_FALSE(built) << utf8(error);
        EXPECT_EQ(game.lastError.rfind(error, 0), 0u) << utf8(game.lastError);
    }
}
} // namespace
} // namespace qbk
