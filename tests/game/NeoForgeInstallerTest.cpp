#include "game/NeoForgeInstaller.h"

#include "platform/Platform.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/WholeFile.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
namespace qbk {
namespace {
namespace fs = std::filesystem;
using test::readWholeFile;
using test::writeWholeFile;
const std::string kPinned = "21.1.230";
std::string listOf(const std::vector<std::string>& versions) {
    return nlohmann::json{{"isSnapshot", false}, {"versions", versions}}.dump();
}
// The installer jar of the mirror that neoforge.py writes, generated once at a 64th of the sizes.
const std::string& installerBytes() {
    static const std::string bytes = [] {
#ifdef _WIN32 // cmd.exe starts no host Python: scripts/test-windows generates the mirror
        const char* generated = std::getenv("QBK_NEOFORGE_MIRROR");
        const fs::path dir = generated ? generated : "";
#else
        test::TempDir dir("qbk-neoforge-mirror");
        const std::string command =
            std::string(QBK_PYTHON3) + " '" QBK_MIRROR_TOOL_DIR "/neoforge.py' --out '" +
            dir.path().string() + "' --base-url http://127.0.0.1:9 --scale 64 > /dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0);
#endif
        return readWholeFile(dir / "maven/releases/net/neoforged/neoforge/21.1.230/"
                                   "neoforge-21.1.230-installer.jar");
    }();
    return bytes;
}
// A maven repository whose version list and installer jars the test controls, the stand-in
// java as the runtime, and a game folder with a Cyrillic name.
class NeoForgeInstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(installerBytes().empty());
        server.get("/m/api/maven/versions/releases/net/neoforged/neoforge",
                   [this](auto&, auto& response, const auto&) {
                       ++listRequests;
                       response.status = listStatus;
                       response.set_content(listBody, "application/json");
                   });
        // Any listed version gets the jar of 21.1.230, which installs 21.1.230.
        server.get("/m/releases/net/neoforged/neoforge/([^/]+)/neoforge-([^/]+)-installer.jar",
                   [this](auto&, auto& response, const auto& match) {
                       ++jarRequests;
                       if (match[1] != match[2] || !jarAvailable)
                           response.status = 404;
                       else
                           response.set_content(installerBytes(), "application/java-archive");
                   });
        fs::create_directories(java.parent_path());
        fs::copy_file(QBK_JAVA_STANDIN, java);
    }
    bool install(const std::string& pinned = kPinned) {
        return neoForge().InstallNeoForge("1.21.1", pinned, {});
    }
    NeoForgeInstaller neoForge() {
        return NeoForgeInstaller(
            installer, server.url("/m"), TargetPlatform::host(),
            [this](LogStream stream, const std::wstring& text) {
                (stream == LogStream::Output ? out : err) += platform::wideToUtf8(text);
            },
            limit);
    }
    std::string lastError() const { return platform::wideToUtf8(installer.lastError); }
    fs::path versionJson(const std::string& v = kPinned) const {
        return gameDir / "versions" / ("neoforge-" + v) / ("neoforge-" + v + ".json");
    }
    void control(const std::string& json) { writeWholeFile(gameDir / "standin-java.json", json); }
    test::TestHttpServer server;
    test::TempDir root{"qbk-neoforge"};
    fs::path gameDir = root / "Лаунчер" / "minecraft";
    fs::path javaHome = root / "Лаунчер" / "runtime" / "java21";
    fs::path java = javaHome / "bin" / TargetPlatform::host().javaExecutable;
    MinecraftInstaller installer{gameDir, javaHome, Endpoints::defaults(), TargetPlatform::host()};
    std::string listBody = listOf({"21.1.228", "21.1.229-beta", kPinned, "21.2.0"});
    int listStatus = 200;
    bool jarAvailable = true;
    std::chrono::milliseconds limit = NeoForgeInstaller::kDefaultInstallerTimeLimit;
    std::atomic<int> listRequests{0}, jarRequests{0};
    std::string out, err;
};
// A failed install names its cause and leaves neither the installer nor a version JSON that
// would mark it done (a hung installer is stopped at the time limit); an unreadable list falls
// back to an installed pinned version only.
TEST_F(NeoForgeInstallerTest, FailedInstallsNameTheCauseAndLeaveNothingBehind) {
    const std::string absent = platform::pathToUtf8(versionJson("21.1.231"));
    const struct {
        std::function<void()> arrange;
        std::string pinned, error;
        int jarRequests;
        bool ok = false;
    } cases[] = {
        {[&] { control(R"({"rejectInstallerFlags": ["--install-client", "--installClient"]})"); },
         kPinned, "Установщик NeoForge завершился с ошибкой.", 1},
        {[&] { fs::remove(java); }, kPinned,
         "Не найден " + java.filename().string() + ": " + platform::pathToUtf8(java), 1},
        {[&] {
             listBody = listOf({kPinned, "21.1.231"});
         },
         "21.1.231", "Установщик отработал, но " + absent + " не появился.", 1},
        {[&] { jarAvailable = false; }, kPinned, "Не удалось скачать установщик NeoForge: ", 1},
        {[&] { writeWholeFile(versionJson("21.1.228"), "{}"), listBody = listOf({"21.1.228"}); },
         kPinned, "NeoForge 21.1.230 не найден в репозитории. Проверь версию сервера.", 0},
        {[&] { listStatus = 503; }, kPinned, "Не удалось получить список версий NeoForge: ", 0},
        {[&] { writeWholeFile(versionJson(), "{}"), listBody = "<html>"; }, "",
         "Некорректный список версий NeoForge: ", 0},
        {[&] { writeWholeFile(versionJson(), "{}"), listStatus = 503; }, kPinned,
         "[NeoForge] Не удалось получить список версий NeoForge: ", 0, true},
        {[&] { control(R"({"installerHangs": true})"), limit = std::chrono::milliseconds(1500); },
         kPinned, "Установщик NeoForge не завершился за 1 с и был остановлен.", 1},
    };
    const auto reset = [&] {
        ASSERT_TRUE(platform::removeTree(gameDir)); // a just-ended installer's log may be locked
        if (!fs::exists(java))
            fs::copy_file(QBK_JAVA_STANDIN, java);
        listBody = listOf({kPinned});
        listStatus = 200, jarAvailable = true, jarRequests = 0;
        limit = NeoForgeInstaller::kDefaultInstallerTimeLimit;
        err.clear(), installer.lastError.clear();
    };
    for (const auto& c : cases) {
        reset();
        c.arrange();
        EXPECT_EQ(install(c.pinned), c.ok) << c.error;
        EXPECT_EQ((c.ok ? err : lastError()).rfind(c.error, 0), 0u) << lastError() << err;
        EXPECT_EQ(err.find(" Использую установленный NeoForge 21.1.230.\n") != std::string::npos,
                  c.ok)
            << err;
        EXPECT_EQ(c.ok ? installer.neoForgeVersion + lastError() : kPinned, kPinned);
        EXPECT_EQ(jarRequests, c.jarRequests) << c.error;
        EXPECT_FALSE(fs::exists(gameDir / ("neoforge-installer-" + c.pinned + ".jar"))) << c.error;
        EXPECT_EQ(fs::exists(versionJson(c.pinned)), c.ok) << c.error;
    }
}
TEST_F(NeoForgeInstallerTest, VersionListPicksTheLastPlainReleaseOrFailsWithItsReason) {
    const std::string bad = "Некорректный список версий NeoForge: ";
    const struct {
        std::string mc, body, pinned, version, error = {};
    } cases[] = {
        {"1.21", listOf({"20.6.119", "21.0.166-beta", "21.0.3", "21.0.4", "21.1.5"}), "", "21.0.4"},
        {"1.21.1", listOf({"21.1.229", "21.1.230/../../escape", "21.1.231/escape", "21.1.1-beta"}),
         "", "21.1.229"},
        {"1.20.1", listOf({kPinned}), "", "", "Не найдено сборок NeoForge для Minecraft 1.20.1"},
        {"121", listOf({kPinned}), kPinned, "", "Некорректная версия Minecraft \"121\""},
        {"1.21.1", "<html>", kPinned, "", bad},
        {"1.21.1", R"({"isSnapshot": false})", kPinned, "", bad},
        {"1.21.1", R"({"versions": ["21.1.230", 5]})", kPinned, "", bad},
        {"1.21.1", R"({"versions": "21.1.230"})", kPinned, "", bad},
    };
    for (const auto& c : cases) {
        listBody = c.body;
        installer.lastError.clear();
        std::string version;
        EXPECT_EQ(neoForge().ResolveNeoForgeVersion(c.mc, c.pinned, version), c.error.empty());
        EXPECT_EQ(version, c.version) << c.body;
        EXPECT_EQ(lastError().rfind(c.error, 0), 0u) << lastError();
        EXPECT_EQ(lastError().empty(), c.error.empty()) << c.body;
    }
    EXPECT_EQ(listRequests, 7); // not for a Minecraft version without a dot
    // The newest listed, by an installer that refuses the first flag and is run again with the
    // next; the player's launcher_profiles.json stays. The happy install is the UI suite's.
    listBody = listOf({"21.1.229", kPinned});
    writeWholeFile(gameDir / "launcher_profiles.json", R"({"profiles":{"mine":{}}})");
    control(R"({"rejectInstallerFlags": ["--install-client"]})");
    ASSERT_TRUE(install("")) << lastError();
    EXPECT_EQ(installer.neoForgeVersion, kPinned);
    EXPECT_EQ(readWholeFile(versionJson()),
              readWholeFile(QBK_TESTDATA_DIR "/neoforge/neoforge-21.1.230.json"));
    EXPECT_EQ(out, "[NeoForge] Установщик с --install-client завершился с кодом 1\n"
                   "[NeoForge] Установщик с --installClient завершился с кодом 0\n");
    EXPECT_NE(readWholeFile(gameDir / "logs/neoforge-installer.log")
                  .find("Successfully installed client neoforge-21.1.230"),
              std::string::npos);
    EXPECT_EQ(readWholeFile(gameDir / "launcher_profiles.json"), R"({"profiles":{"mine":{}}})");
    EXPECT_EQ(listRequests + jarRequests, 7 + 2);
}
} // namespace
} // namespace qbk
