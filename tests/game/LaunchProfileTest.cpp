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
using Strings = std::vector<std::wstring>;
using test::readWholeFile;
using test::writeWholeFile;

const std::string kGolden = QBK_SOURCE_DIR "/tests/game/golden/";

std::string utf8(const std::wstring& text) {
    return platform::wideToUtf8(text);
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at))
        text.replace(at, from.size(), to), at += to.size();
}

// One argument a line, the game folder as <game>, "/" for separators and one classpath entry
// a line, so that a golden file reads the same on every host.
std::string render(const LaunchProfile& profile, const fs::path& gameDir, char separator) {
    std::string text = "main " + utf8(profile.mainClass) + "\n";
    const auto add = [&](const std::string& kind, const Strings& arguments) {
        for (const auto& argument : arguments) {
            std::string line = utf8(argument);
            replaceAll(line, platform::pathToUtf8(gameDir), "<game>");
            std::replace(line.begin(), line.end(), '\\', '/');
            replaceAll(line, std::string(1, separator), "\n    ");
            text += kind + " " + line + "\n";
        }
    };
    add("jvm", profile.jvmArgs);
    add("game", profile.gameArgs);
    return text;
}

class LaunchProfileTest : public ::testing::Test {
protected:
    MinecraftInstaller installer(const TargetPlatform& target) {
        // The assembly reads files only; no host is ever asked.
        MinecraftInstaller result(gameDir, dir / "runtime" / "java21", Endpoints{}, target);
        result.mcVersion = "1.21.1";
        result.neoForgeVersion = "21.1.230";
        return result;
    }
    void placeVersionJsons(const std::string& neoForge, const std::string& vanilla) {
        writeWholeFile(gameDir / "versions/neoforge-21.1.230/neoforge-21.1.230.json", neoForge);
        writeWholeFile(gameDir / "versions/1.21.1/1.21.1.json", vanilla);
    }
    void placeRealVersionJsons() {
        placeVersionJsons(readWholeFile(QBK_TESTDATA_DIR "/neoforge/neoforge-21.1.230.json"),
                          readWholeFile(QBK_TESTDATA_DIR "/minecraft/1.21.1.json"));
    }

    test::TempDir dir{"qbk-profile"};
    fs::path gameDir = dir / "Игры Quellbrook" / "minecraft";
};

// NeoForge's libraries first, then the vanilla ones the target admits that NeoForge has not
// named; the player name is a placeholder itself and must reach the game as it is.
TEST_F(LaunchProfileTest, RealJsonsGiveTheGoldenProfileOfEachTarget) {
    placeRealVersionJsons();
    const LaunchOptions options{L"${auth_access_token}", L"8667ba71-b85a-4004-af54-457a9734eed7",
                                L"tok-123", 4096, 1024};
    for (const auto& [target, name] : {std::pair{TargetPlatform::windowsX64(), "windows"},
                                       std::pair{TargetPlatform::linuxX64(), "linux"}}) {
        MinecraftInstaller game = installer(target);
        LaunchProfile profile;
        ASSERT_TRUE(BuildLaunchProfile(game, target, options, profile)) << utf8(game.lastError);
        EXPECT_EQ(render(profile, gameDir, target.classpathSeparator),
                  readWholeFile(kGolden + "launch-profile-" + name + ".txt"));
    }
}

// No inheritsFrom and no argument lists: NeoForge's libraries win over vanilla's of the same
// group, artifact and classifier, paths leaving the libraries folder are dropped, the client
// jar closes the classpath, "-cp" comes last, and the legacy string gives the game arguments
// (the quick-play value dropped, the index id defaulting to the version, an unclosed
// placeholder dropping its token); an empty session gives the zero UUID and the token "0", and
// the agent comes after everything else.
TEST_F(LaunchProfileTest, ClasspathPrecedenceRulesAndLegacyArguments) {
    placeVersionJsons(readWholeFile(kGolden + "legacy-neoforge.json"),
                      readWholeFile(kGolden + "legacy-1.21.1.json"));
    const TargetPlatform target = TargetPlatform::windowsX64();
    MinecraftInstaller game = installer(target);
    LaunchProfile profile;
    ASSERT_TRUE(BuildLaunchProfile(game, target, {L"Player", L"", L"", 6144, 2048}, profile))
        << utf8(game.lastError);
    AppendAgentArgument(profile,
                        gameDir / platform::pathFromUtf8("с пробелом/authlib-injector.jar"),
                        "https://auth.example.org:8448");
    EXPECT_EQ(render(profile, gameDir, ';'), readWholeFile(kGolden + "launch-profile-legacy.txt"));
}

TEST_F(LaunchProfileTest, FailuresCarryTheirMessagesAndNeverThrow) {
    const TargetPlatform target = TargetPlatform::windowsX64();
    const std::string neoForge = "versions/neoforge-21.1.230/neoforge-21.1.230.json";
    const struct {
        const char* neoForge; // nullptr: no file
        const char* vanilla;
        std::wstring error;
    } cases[] = {
        {nullptr, "{}", L"Не найден JSON NeoForge — сначала установи NeoForge."},
        {"{}", nullptr, L"Не найден JSON Minecraft 1.21.1"},
        {"{}", "", L"Не найден JSON Minecraft 1.21.1"}, // empty counts as missing
        {"{\"libraries\": [", "{}", L"Битый JSON версии: [json.exception"},
        {"{}", "not json", L"Битый JSON версии: [json.exception"},
        {"{\"inheritsFrom\": \"1.21.1\"}", "{\"libraries\": []}", L"В JSON версии нет mainClass."},
        {R"({"mainClass": "a.B", "libraries": "none"})", "{}", L"Неожиданная структура"},
        {R"({"mainClass": "a.B", "libraries": [{"name": 7}]})", "{}", L"Неожиданная структура"},
        {R"({"mainClass": "a.B", "libraries": [{"name": "a:b:1", "rules": [{"os": {"name": 1}}]}]})",
         "{}", L"Неожиданная структура"},
        {R"({"mainClass": "a.B", "arguments": {"jvm": [{"rules": ["allow"], "value": "-X"}]}})",
         "{}", L"Неожиданная структура"},
        {R"({"mainClass": "a.B", "arguments": "none"})", "{}", L"Неожиданная структура"},
        {R"({"mainClass": 42})", "{}", L"Неожиданная структура"},
        {R"({"mainClass": "a.B", "minecraftArguments": 5})", "{}", L"Неожиданная структура"},
        {R"({"mainClass": "a.B"})", R"({"assetIndex": "17"})", L"Неожиданная структура"},
        {R"({"mainClass": "a.B"})", "[1, 2, 3]", L"Неожиданная структура JSON версии: "},
    };
    for (const auto& c : cases) {
        fs::remove_all(gameDir);
        if (c.neoForge)
            writeWholeFile(gameDir / neoForge, c.neoForge);
        if (c.vanilla)
            writeWholeFile(gameDir / "versions/1.21.1/1.21.1.json", c.vanilla);
        MinecraftInstaller game = installer(target);
        LaunchProfile profile;
        bool built = true;
        EXPECT_NO_THROW(built = BuildLaunchProfile(game, target, LaunchOptions(), profile));
        EXPECT_FALSE(built) << utf8(c.error);
        EXPECT_EQ(game.lastError.rfind(c.error, 0), 0u) << utf8(game.lastError);
    }
}

TEST(LaunchProfileHelpers, MavenCoordinatesArgumentRulesAndPlaceholders) {
    const std::pair<const char*, const char*> keys[] = {
        {"org.lwjgl:lwjgl:3.3.3", "org.lwjgl:lwjgl"},
        {"org.lwjgl:lwjgl:3.3.3:natives-windows", "org.lwjgl:lwjgl:natives-windows"},
        {"g:a:1:c:extra", "g:a:c:extra"},
        {"g:a", "g:a"},
        {"plain", "plain"}};
    for (const auto& [name, key] : keys)
        EXPECT_EQ(LibraryKey(name), key);
    const std::pair<const char*, const char*> paths[] = {
        {"net.neoforged:mergetool:2.0.0:api",
         "net/neoforged/mergetool/2.0.0/mergetool-2.0.0-api.jar"},
        {"com.google.guava:guava:32.1.2-jre",
         "com/google/guava/guava/32.1.2-jre/guava-32.1.2-jre.jar"},
        {"g:a", ""},
        {"", ""}};
    for (const auto& [name, path] : paths)
        EXPECT_EQ(MavenPath(name), path);

    const auto list = nlohmann::json::parse(R"([
        "-a",
        {"rules": [{"action": "allow", "os": {"name": "windows"}}], "value": ["-w1", 3, "-w2"]},
        {"rules": [{"action": "allow", "os": {"name": "linux"}}], "value": "-l"},
        {"rules": [{"action": "allow", "features": {"is_demo_user": true}}], "value": "--demo"},
        {"value": "-always"}, {"rules": [{"action": "allow"}]}, {"value": 5}, 7, null])");
    std::vector<std::string> windows, linux, none;
    CollectArguments(list, TargetPlatform::windowsX64(), windows);
    EXPECT_EQ(windows, (std::vector<std::string>{"-a", "-w1", "-w2", "-always"}));
    CollectArguments(list, TargetPlatform::linuxX64(), linux);
    EXPECT_EQ(linux, (std::vector<std::string>{"-a", "-l", "-always"}));
    CollectArguments(nlohmann::json::object(), TargetPlatform::linuxX64(), none);
    EXPECT_TRUE(none.empty());

    Strings out;
    ExpandPlaceholders({"plain", "${a}-${a}", "${b}/${b}", "${c}", "pre${a", "$ {a}", "${}"},
                       {{L"${a}", L"x${b}"}, {L"${b}", L"путь"}}, out);
    EXPECT_EQ(out, (Strings{L"plain", L"x${b}-x${b}", L"путь/путь", L"$ {a}"}));
}

} // namespace
} // namespace qbk
