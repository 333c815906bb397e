// The stand-in java refuses each flaw of a command line that a JVM or the game would trip
// over, and what the real installer refuses, so that its "ok" in the e2e suites, which see
// it accept a sound launch, means a launch that would work.
#include "platform/Platform.h"
#include "platform/TargetPlatform.h"
#include "tests/support/TempDir.h"
#include "tests/support/ToolProcess.h"
#include "tests/support/WholeFile.h"

#include <functional>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace qbk::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
const std::string kMain = "cpw.mods.bootstraplauncher.BootstrapLauncher";

// A game folder as the launcher leaves it, and the command line a launch assembles for it.
struct Game {
    Game() {
        for (const char* jar : {"a/one.jar", "b/two.jar", "boot/boot.jar", "boot/jarjar.jar"})
            writeWholeFile(dir / "libraries" / jar, "jar");
        writeWholeFile(dir / "versions/neoforge-21.1.230/neoforge-21.1.230.json",
                       json{{"id", "neoforge-21.1.230"}, {"mainClass", kMain}}.dump());
        writeWholeFile(dir / "assets/indexes/17.json", "{}");
        writeWholeFile(agent, "agent");
        fs::create_directories(dir / "natives");
        writeWholeFile(dir / "standin-java.json", R"({"gameExitCode": 0})");
    }
    std::string lib(const char* a, const char* b) const {
        return utf8(dir / "libraries" / a) + TargetPlatform::host().classpathSeparator +
               utf8(dir / "libraries" / b);
    }
    static std::string utf8(const fs::path& path) { return platform::pathToUtf8(path); }
    ToolProcess::Exit run(const ToolProcess::Args& args) const {
        return ToolProcess::run(QBK_JAVA_STANDIN, args, dir, root / "out.txt");
    }
    ToolProcess::Exit launch() const {
        ToolProcess::Args args = jvm;
        args.push_back(mainClass);
        args.insert(args.end(), game.begin(), game.end());
        return run(args);
    }
    json report() const {
        return json::parse(readWholeFile(dir / "logs/standin-report.json"), nullptr, false);
    }

    TempDir root{"qbk-standin"};
    fs::path dir = root / platform::pathFromUtf8("Лаунчер") / "minecraft";
    fs::path agent = root / platform::pathFromUtf8("Лаунчер") / "authlib-injector.jar";
    // clang-format off
    std::vector<std::string> jvm = {"-Xms1024M", "-Xmx4096M", "-Dfile.encoding=UTF-8",
        "-Djava.library.path=" + utf8(dir / "natives"), "-p", lib("boot/boot.jar", "boot/jarjar.jar"),
        "--add-modules", "ALL-MODULE-PATH", "--add-opens",
        "java.base/java.util.jar=cpw.mods.securejarhandler", "-cp", lib("a/one.jar", "b/two.jar"),
        "-javaagent:" + utf8(agent) + "=http://127.0.0.1:8080/api"};
    std::string mainClass = kMain;
    std::vector<std::string> game = {"--username", "Игрок", "--version", "neoforge-21.1.230",
        "--gameDir", utf8(dir), "--assetsDir", utf8(dir / "assets"), "--assetIndex", "17",
        "--accessToken", "SECRET-ACCESS-TOKEN", "--launchTarget", "forgeclient"};
    // clang-format on
};

TEST(JavaStandinTest, EachFlawAJvmOrTheGameWouldTripOverFailsTheStart) {
    // clang-format off
    const std::vector<std::pair<std::string, std::function<void(Game&)>>> flaws = {
        {"", [](Game&) {}}, // the sound launch the flaws start from
        {"classpath entry missing", [](Game& g) { fs::remove(g.dir / "libraries/b/two.jar"); }},
        {"modulePath entry missing", [](Game& g) { fs::remove(g.dir / "libraries/boot/jarjar.jar"); }},
        {"no classpath", [](Game& g) { g.jvm.erase(g.jvm.begin() + 10, g.jvm.begin() + 12); }},
        {"expected one -javaagent", [](Game& g) { g.jvm.pop_back(); }},
        {"agent argument has no API root URL", [](Game& g) { g.jvm.back() = "-javaagent:" + Game::utf8(g.agent); }},
        {"agent jar missing", [](Game& g) { fs::remove(g.agent); }},
        {"-Xmx and -Xms", [](Game& g) { g.jvm.erase(g.jvm.begin() + 1); }},
        {"larger value than the maximum", [](Game& g) { g.jvm[0] = "-Xms8192M"; }},
        {"placeholder left", [](Game& g) { g.game[1] = "${auth_player_name}"; }},
        {"is not the one of", [](Game& g) { g.mainClass = "net.minecraft.client.main.Main"; }},
        {"assets directory missing", [](Game& g) { fs::remove_all(g.dir / "assets"); }},
        {"asset index missing", [](Game& g) { g.game[9] = "18"; }}};
    // clang-format on
    for (const auto& [problem, flaw] : flaws) {
        Game g;
        flaw(g);
        EXPECT_EQ(g.launch().code, problem.empty() ? 0 : 1) << problem;
        EXPECT_EQ(g.report().value("ok", problem.empty()), problem.empty()) << problem;
        EXPECT_NE(g.report()["problems"].dump().find(problem), std::string::npos)
            << problem << ": " << g.report()["problems"].dump();
    }
}

TEST(JavaStandinTest, InstallerModeRefusesWhatTheRealInstallerRefuses) {
    Game g;
    writeWholeFile(g.root / "bad.jar", "not a zip");
    const std::string bad = Game::utf8(g.root / "bad.jar"), dir = Game::utf8(g.dir);
    const std::vector<std::pair<ToolProcess::Args, std::string>> refusals = {
        {{"-jar", bad, "--install-server", dir}, ""},
        {{"-jar", bad, "--install-client", dir}, "There is no minecraft launcher profile"},
        {{"-jar", bad, "--install-client", dir}, "Corrupt installer jar"}, // once profiles exist
        {{"-jar", Game::utf8(g.root / "absent.jar"), "--install-client", dir}, ""}};
    for (const auto& [args, says] : refusals) {
        const auto refused = g.run(args);
        EXPECT_EQ(refused.code, 1) << says;
        EXPECT_NE(refused.output.find(says), std::string::npos) << refused.output;
        if (says.starts_with("There is no"))
            writeWholeFile(g.dir / "launcher_profiles.json", "{}");
    }
}

} // namespace
} // namespace qbk::test
