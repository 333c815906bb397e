#include "platform/ChildProcess.h"
#include "platform/Platform.h"
#include "platform/TargetPlatform.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <nlohmann/json.hpp>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using platform::ChildProcess;
using test::TempDir;

const std::string kMainClass = "cpw.mods.bootstraplauncher.BootstrapLauncher";
const std::string kToken = "SECRET-ACCESS-TOKEN";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::string utf8(const fs::path& path) {
    return platform::pathToUtf8(path);
}

struct RunResult {
    ChildProcess::WaitResult waited = ChildProcess::WaitResult::Failed;
    int exitCode = -1;
    std::string output;
};

// A game folder as the launcher leaves it, and the command line the launch assembles for it.
struct StandinWorld {
    StandinWorld() {
        for (const char* jar : {"a/one.jar", "b/two.jar", "boot/boot.jar", "boot/jarjar.jar"})
            writeFile(gameDir / "libraries" / jar, "jar");
        writeFile(gameDir / "versions/neoforge-21.1.230/neoforge-21.1.230.json",
                  json{{"id", "neoforge-21.1.230"}, {"mainClass", kMainClass}}.dump());
        writeFile(gameDir / "assets/indexes/17.json", "{}");
        fs::create_directories(gameDir / "natives");
        writeFile(agent, "agent");
        jvmArgs = {"-Xms1024M",
                   "-Xmx4096M",
                   "-Dfile.encoding=UTF-8",
                   "-Djava.library.path=" + utf8(gameDir / "natives"),
                   "-p",
                   pathList({"boot/boot.jar", "boot/jarjar.jar"}),
                   "--add-modules",
                   "ALL-MODULE-PATH",
                   "--add-opens",
                   "java.base/java.util.jar=cpw.mods.securejarhandler",
                   "-cp",
                   pathList({"a/one.jar", "b/two.jar"}),
                   "-javaagent:" + utf8(agent) + "=http://127.0.0.1:8080/api/yggdrasil"};
        gameArgs = {"--username",    "Игрок",       "--version",      "neoforge-21.1.230",
                    "--gameDir",     utf8(gameDir), "--assetsDir",    utf8(gameDir / "assets"),
                    "--assetIndex",  "17",          "--uuid",         "0123456789abcdef",
                    "--accessToken", kToken,        "--launchTarget", "forgeclient"};
    }

    std::string pathList(std::initializer_list<const char*> jars) const {
        std::string list;
        for (const char* jar : jars) {
            if (!list.empty())
                list += TargetPlatform::host().classpathSeparator;
            list += utf8(gameDir / "libraries" / jar);
        }
        return list;
    }

    std::vector<std::string> commandLine() const {
        std::vector<std::string> args = jvmArgs;
        args.push_back(mainClass);
        args.insert(args.end(), gameArgs.begin(), gameArgs.end());
        return args;
    }

    RunResult run(const std::vector<std::string>& args,
                  std::chrono::milliseconds wait = std::chrono::seconds(20)) {
        platform::ChildProcessSpec setup;
        setup.program = QBK_JAVA_STANDIN;
        setup.arguments = args;
        setup.workingDirectory = gameDir;
        setup.outputFile = root / "output.txt";
        ChildProcess process;
        std::string error;
        int systemError = 0;
        RunResult result;
        if (!process.start(setup, error, systemError))
            return result;
        result.waited = process.waitFor(wait, result.exitCode);
        if (result.waited == ChildProcess::WaitResult::StillRunning)
            process.kill();
        result.output = readFile(setup.outputFile);
        return result;
    }

    json report() const {
        return json::parse(readFile(gameDir / "logs" / "standin-report.json"), nullptr, false);
    }

    void exitAtOnce(int code) {
        writeFile(gameDir / "standin-java.json", json{{"gameExitCode", code}}.dump());
    }

    TempDir root{"qbk-standin"};
    fs::path gameDir = root / platform::pathFromUtf8("Лаунчер") / "minecraft";
    fs::path agent = root / platform::pathFromUtf8("Лаунчер") / "authlib-injector.jar";
    std::vector<std::string> jvmArgs;
    std::string mainClass = kMainClass;
    std::vector<std::string> gameArgs;
};

class JavaStandinTest : public ::testing::Test, public StandinWorld {};

TEST_F(JavaStandinTest, VersionBannerGoesToStandardError) {
    const RunResult result = run({"-version"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output.rfind("openjdk version \"21.0.5\"", 0), 0u) << result.output;
}

TEST_F(JavaStandinTest, SoundCommandLineIsReportedWithTheTokenMaskedAndExitsAsAsked) {
    exitAtOnce(0);
    const RunResult result = run(commandLine());
    ASSERT_EQ(result.waited, ChildProcess::WaitResult::Exited);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    const json got = report();
    ASSERT_TRUE(got.is_object());
    EXPECT_TRUE(got["ok"].get<bool>()) << got.dump(2);
    EXPECT_EQ(got["mainClass"], kMainClass);
    EXPECT_EQ(got["xmxMb"], 4096);
    EXPECT_EQ(got["xmsMb"], 1024);
    EXPECT_EQ(got["classpath"]["entries"], 2);
    EXPECT_EQ(got["modulePath"]["entries"], 2);
    EXPECT_EQ(got["javaagent"]["jar"], utf8(agent));
    EXPECT_EQ(got["javaagent"]["apiRoot"], "http://127.0.0.1:8080/api/yggdrasil");
    EXPECT_EQ(got["username"], "Игрок");
    EXPECT_EQ(got["gameDir"], utf8(gameDir));
    EXPECT_EQ(got["accessTokenLength"], kToken.size());
    EXPECT_EQ(readFile(gameDir / "logs" / "standin-report.json").find(kToken), std::string::npos);
    EXPECT_NE(result.output.find("[standin] " + kMainClass + " started"), std::string::npos);
}

TEST_F(JavaStandinTest, GameKeepsRunningUnlessToldToExitWithACode) {
    const RunResult running = run(commandLine(), std::chrono::milliseconds(1500));
    EXPECT_EQ(running.waited, ChildProcess::WaitResult::StillRunning) << running.output;
    EXPECT_TRUE(report()["ok"].get<bool>());

    exitAtOnce(7);
    const RunResult quick = run(commandLine());
    EXPECT_EQ(quick.waited, ChildProcess::WaitResult::Exited);
    EXPECT_EQ(quick.exitCode, 7);
}

TEST_F(JavaStandinTest, EachFlawAJvmOrTheGameWouldTripOverFailsTheStart) {
    using Mutation = std::function<void(StandinWorld&)>;
    const std::vector<std::pair<std::string, Mutation>> cases = {
        {"classpath entry missing",
         [](StandinWorld& t) {
             fs::remove(t.gameDir / "libraries/b/two.jar");
         }},
        {"modulePath entry missing",
         [](StandinWorld& t) {
             fs::remove(t.gameDir / "libraries/boot/jarjar.jar");
         }},
        {"no classpath",
         [](StandinWorld& t) {
             t.jvmArgs.erase(t.jvmArgs.begin() + 10, t.jvmArgs.begin() + 12);
         }},
        {"expected one -javaagent",
         [](StandinWorld& t) {
             t.jvmArgs.pop_back();
         }},
        {"agent argument has no API root URL",
         [](StandinWorld& t) {
             t.jvmArgs.back() = "-javaagent:" + utf8(t.agent);
         }},
        {"agent jar missing",
         [](StandinWorld& t) {
             fs::remove(t.agent);
         }},
        {"-Xmx and -Xms",
         [](StandinWorld& t) {
             t.jvmArgs.erase(t.jvmArgs.begin() + 1);
         }},
        {"larger value than the maximum",
         [](StandinWorld& t) {
             t.jvmArgs[0] = "-Xms8192M";
         }},
        {"placeholder left",
         [](StandinWorld& t) {
             t.gameArgs[1] = "${auth_player_name}";
         }},
        {"is not the one of",
         [](StandinWorld& t) {
             t.mainClass = "net.minecraft.client.main.Main";
         }},
        {"assets directory missing",
         [](StandinWorld& t) {
             fs::remove_all(t.gameDir / "assets");
         }},
        {"asset index missing",
         [](StandinWorld& t) {
             t.gameArgs[9] = "18";
         }},
    };
    for (const auto& [problem, mutate] : cases) {
        StandinWorld fresh;
        fresh.exitAtOnce(0);
        mutate(fresh);
        const RunResult result = fresh.run(fresh.commandLine());
        EXPECT_EQ(result.exitCode, 1) << problem;
        const json got = fresh.report();
        ASSERT_TRUE(got.is_object()) << problem;
        EXPECT_FALSE(got["ok"].get<bool>()) << problem;
        EXPECT_NE(got["problems"].dump().find(problem), std::string::npos)
            << problem << ": " << got["problems"].dump();
    }
}

TEST_F(JavaStandinTest, InstallerModeRefusesWhatTheRealInstallerRefuses) {
    writeFile(root / "installer.jar", "not a zip");
    const std::string jar = utf8(root / "installer.jar");
    EXPECT_EQ(run({"-jar", jar, "--install-server", utf8(gameDir)}).exitCode, 1);
    const RunResult noProfiles = run({"-jar", jar, "--install-client", utf8(gameDir)});
    EXPECT_EQ(noProfiles.exitCode, 1);
    EXPECT_NE(noProfiles.output.find("There is no minecraft launcher profile"), std::string::npos);
    writeFile(gameDir / "launcher_profiles.json", "{}");
    const RunResult corrupt = run({"-jar", jar, "--install-client", utf8(gameDir)});
    EXPECT_EQ(corrupt.exitCode, 1);
    EXPECT_NE(corrupt.output.find("Corrupt installer jar"), std::string::npos) << corrupt.output;
    EXPECT_EQ(run({"-jar", utf8(root / "absent.jar"), "--install-client", utf8(gameDir)}).exitCode,
              1);
}

} // namespace
} // namespace qbk
