// The stand-in java refuses each flaw of a launch that a JVM or the game would trip over: its
// "ok" in the e2e suites means a launch that would work.
#include "platform/Platform.h"
#include "platform/TargetPlatform.h"
#include "tests/support/TempDir.h"
#include "tests/support/ToolProcess.h"

#include <functional>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace qbk::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
std::string utf8(const fs::path& path) {
    return platform::pathToUtf8(path);
}

// A game folder as the launcher leaves it, and the command line a launch assembles for it: the
// JVM's options (0-12, the agent last), the main class (13), the game's arguments (14-).
struct Game {
    Game() {
        for (const char* jar : {"a/one.jar", "b/two.jar", "boot/boot.jar", "boot/jarjar.jar"})
            writeWholeFile(dir / "libraries" / jar, "jar");
        writeWholeFile(dir / "versions/neoforge-21.1.230/neoforge-21.1.230.json",
                       json{{"id", "neoforge-21.1.230"}, {"mainClass", args[13]}}.dump());
        writeWholeFile(dir / "assets/indexes/17.json", "{}");
        writeWholeFile(agent, "agent");
        fs::create_directories(dir / "natives");
        writeWholeFile(dir / "standin-java.json", R"({"gameExitCode": 0})");
    }
    std::string libs(const char* a, const char* b) const {
        return utf8(dir / "libraries" / a) + TargetPlatform::host().classpathSeparator +
               utf8(dir / "libraries" / b);
    }
    ToolProcess::Exit run(const ToolProcess::Args& a) const {
        return ToolProcess::run(QBK_JAVA_STANDIN, a, dir, root / "out.txt");
    }
    TempDir root{"qbk-standin"};
    fs::path dir = root / platform::pathFromUtf8("Лаунчер") / "minecraft";
    fs::path agent = dir.parent_path() / "authlib-injector.jar";
    // clang-format off
    ToolProcess::Args args = {"-Xms1024M", "-Xmx4096M", "-Dfile.encoding=UTF-8",
        "-Djava.library.path=" + utf8(dir / "natives"), "-p", libs("boot/boot.jar", "boot/jarjar.jar"),
        "--add-modules", "ALL-MODULE-PATH", "--add-opens", "java.base/java.util.jar=cpw.mods.securejarhandler",
        "-cp", libs("a/one.jar", "b/two.jar"), "-javaagent:" + utf8(agent) + "=http://127.0.0.1:8080/api",
        "cpw.mods.bootstraplauncher.BootstrapLauncher", "--username", "Игрок", "--version",
        "neoforge-21.1.230", "--gameDir", utf8(dir), "--assetsDir", utf8(dir / "assets"), "--assetIndex",
        "17", "--accessToken", "SECRET-ACCESS-TOKEN", "--launchTarget", "forgeclient"};
    // clang-format on
};

TEST(JavaStandinTest, EachFlawOfALaunchFailsTheStart) {
    // clang-format off
    const std::vector<std::pair<std::string, std::function<void(Game&)>>> flaws = {
        {"", [](Game&) {}}, // the sound launch the flaws start from
        {"classpath entry missing", [](Game& g) { fs::remove(g.dir / "libraries/b/two.jar"); }},
        {"no classpath", [](Game& g) { g.args.erase(g.args.begin() + 10, g.args.begin() + 12); }},
        {"expected one -javaagent", [](Game& g) { g.args.erase(g.args.begin() + 12); }},
        {"agent argument has no API root URL", [](Game& g) { g.args[12] = "-javaagent:" + utf8(g.agent); }},
        {"agent jar missing", [](Game& g) { fs::remove(g.agent); }},
        {"-Xmx and -Xms", [](Game& g) { g.args.erase(g.args.begin() + 1); }},
        {"larger value than the maximum", [](Game& g) { g.args[0] = "-Xms8192M"; }},
        {"placeholder left", [](Game& g) { g.args[15] = "${auth_player_name}"; }},
        {"is not the one of", [](Game& g) { g.args[13] = "net.minecraft.client.main.Main"; }},
        {"assets directory missing", [](Game& g) { fs::remove_all(g.dir / "assets"); }},
        {"asset index missing", [](Game& g) { g.args[23] = "18"; }}};
    // clang-format on
    for (const auto& [problem, flaw] : flaws) {
        Game g;
        flaw(g);
        const int code = g.run(g.args).code;
        const json report = json::parse(readWholeFile(g.dir / "logs/standin-report.json"));
        EXPECT_TRUE(code == (problem.empty() ? 0 : 1) &&
                    report.value("ok", false) == problem.empty() &&
                    report["problems"].dump().find(problem) != std::string::npos)
            << problem << ": " << report.dump();
    }
}

} // namespace
} // namespace qbk::test
