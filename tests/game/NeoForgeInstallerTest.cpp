#include "game/NeoForgeInstaller.h"

#include "platform/Platform.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestHttpServer.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <mutex>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

namespace qbk {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::TestHttpServer;

const std::string kPinned = "21.1.230";
const std::string kListPath = "/m/api/maven/versions/releases/net/neoforged/neoforge";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::string listOf(const std::vector<std::string>& versions) {
    return nlohmann::json{{"isSnapshot", false}, {"versions", versions}}.dump();
}

// The mirror that neoforge.py writes, generated once for the suite at a 64th of the sizes.
class Mirror {
public:
    static const Mirror& instance() {
        static const Mirror mirror;
        return mirror;
    }
    bool ok() const { return ok_; }
    const fs::path& root() const { return dir_.path(); }
    fs::path installerJar() const {
        return root() / "maven/releases/net/neoforged/neoforge/21.1.230/"
                        "neoforge-21.1.230-installer.jar";
    }

private:
    Mirror() {
        const std::string command = std::string(QBK_PYTHON3) + " '" + QBK_MIRROR_TOOL_DIR +
                                    "/neoforge.py' --out '" + dir_.path().string() +
                                    "' --base-url http://127.0.0.1:9 --scale 64 > /dev/null";
        ok_ = std::system(command.c_str()) == 0;
    }
    TempDir dir_{"qbk-neoforge-mirror"};
    bool ok_ = false;
};

// A maven repository whose version list and installer jar the test controls, the stand-in
// java as the runtime, and a game folder with a Cyrillic name.
class NeoForgeInstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Mirror::instance().ok());
        installerBytes = readFile(Mirror::instance().installerJar());
        server.get(kListPath,
                   [this](const httplib::Request&, httplib::Response& response, const auto&) {
                       std::lock_guard lock(mutex);
                       ++listRequests;
                       response.status = listStatus;
                       response.set_content(listBody, "application/json");
                   });
        server.get(
            "/m/releases/net/neoforged/neoforge/([^/]+)/neoforge-([^/]+)-installer.jar",
            [this](const httplib::Request&, httplib::Response& response, const std::smatch& match) {
                std::lock_guard lock(mutex);
                ++jarRequests;
                if (match[1] != match[2] || !jarAvailable) {
                    response.status = 404;
                    return;
                }
                response.set_content(installerBytes, "application/java-archive");
            });
        listBody = listOf({"21.1.228", "21.1.229-beta", kPinned, "21.2.0"});
        const fs::path java = javaHome / "bin" / TargetPlatform::host().javaExecutable;
        fs::create_directories(java.parent_path());
        fs::copy_file(QBK_JAVA_STANDIN, java);
        fs::create_directories(gameDir);
    }

    NeoForgeInstaller
    neoForge(std::chrono::milliseconds limit = NeoForgeInstaller::kDefaultInstallerTimeLimit) {
        return NeoForgeInstaller(
            installer, server.url("/m"), TargetPlatform::host(),
            [this](LogStream stream, const std::wstring& text) {
                (stream == LogStream::Output ? out : err) += platform::wideToUtf8(text);
            },
            limit);
    }

    StatusFn recorder() {
        return [this](const std::wstring& text, int percent) {
            statuses.emplace_back(platform::wideToUtf8(text), percent);
        };
    }

    std::string lastError() const { return platform::wideToUtf8(installer.lastError); }
    fs::path versionJson(const std::string& v = kPinned) const {
        return gameDir / "versions" / ("neoforge-" + v) / ("neoforge-" + v + ".json");
    }
    fs::path installerJar(const std::string& v = kPinned) const {
        return gameDir / ("neoforge-installer-" + v + ".jar");
    }
    void control(const std::string& json) { writeFile(gameDir / "standin-java.json", json); }

    TestHttpServer server;
    TempDir root{"qbk-neoforge"};
    fs::path launcherDir = root / platform::pathFromUtf8("Лаунчер");
    fs::path gameDir = launcherDir / "minecraft";
    fs::path javaHome = launcherDir / "runtime" / "java21";
    MinecraftInstaller installer{gameDir, javaHome, Endpoints::defaults(), TargetPlatform::host()};
    std::mutex mutex;
    std::string listBody;
    int listStatus = 200;
    bool jarAvailable = true;
    std::string installerBytes;
    int listRequests = 0;
    int jarRequests = 0;
    std::vector<std::pair<std::string, int>> statuses;
    std::string out, err;
};

TEST_F(NeoForgeInstallerTest, FreshInstallRunsTheInstallerAndWarmRunOnlyAsksTheList) {
    ASSERT_TRUE(neoForge().InstallNeoForge("1.21.1", kPinned, recorder())) << lastError();
    const std::vector<std::pair<std::string, int>> expected = {
        {"Проверка версии NeoForge...", 66},
        {"Скачивание установщика NeoForge 21.1.230...", 67},
        {"Установка NeoForge (это займёт минуту)...", 70}};
    EXPECT_EQ(statuses, expected);
    EXPECT_EQ(installer.neoForgeVersion, kPinned);
    const fs::path real = fs::path(QBK_TESTDATA_DIR) / "neoforge" / "neoforge-21.1.230.json";
    EXPECT_EQ(readFile(versionJson()), readFile(real));
    const auto version = nlohmann::json::parse(readFile(real));
    for (const auto& library : version["libraries"]) {
        const std::string path = library["downloads"]["artifact"]["path"];
        EXPECT_TRUE(fs::is_regular_file(gameDir / "libraries" / path)) << path;
    }
    EXPECT_EQ(readFile(gameDir / "launcher_profiles.json"), R"({"profiles":{},"version":3})");
    EXPECT_FALSE(fs::exists(installerJar()));
    EXPECT_EQ(out, "[NeoForge] Установщик с --install-client завершился с кодом 0\n");

    statuses.clear();
    ASSERT_TRUE(neoForge().InstallNeoForge("1.21.1", kPinned, recorder()));
    EXPECT_EQ(statuses.size(), 1u);
    EXPECT_EQ(listRequests, 2);
    EXPECT_EQ(jarRequests, 1);
}

TEST_F(NeoForgeInstallerTest, ExistingLauncherProfilesIsLeftAsItIs) {
    writeFile(gameDir / "launcher_profiles.json", R"({"profiles":{"mine":{}},"version":3})");
    ASSERT_TRUE(neoForge().InstallNeoForge("1.21.1", kPinned, {})) << lastError();
    EXPECT_EQ(readFile(gameDir / "launcher_profiles.json"),
              R"({"profiles":{"mine":{}},"version":3})");
}

TEST_F(NeoForgeInstallerTest, InstallerRejectingTheFirstFlagSucceedsWithTheSecond) {
    control(R"({"rejectInstallerFlags": ["--install-client"]})");
    ASSERT_TRUE(neoForge().InstallNeoForge("1.21.1", kPinned, {})) << lastError();
    EXPECT_TRUE(fs::exists(versionJson()));
    EXPECT_EQ(out, "[NeoForge] Установщик с --install-client завершился с кодом 1\n"
                   "[NeoForge] Установщик с --installClient завершился с кодом 0\n");
    const std::string log = readFile(gameDir / "logs" / "neoforge-installer.log");
    EXPECT_NE(log.find("Successfully installed client neoforge-21.1.230"), std::string::npos)
        << log;
}

TEST_F(NeoForgeInstallerTest, InstallerFailingWithBothFlagsFailsAndTheJarIsDeleted) {
    control(R"({"rejectInstallerFlags": ["--install-client", "--installClient"]})");
    EXPECT_FALSE(neoForge().InstallNeoForge("1.21.1", kPinned, {}));
    EXPECT_EQ(lastError(), "Установщик NeoForge завершился с ошибкой.");
    EXPECT_FALSE(fs::exists(installerJar()));
    EXPECT_FALSE(fs::exists(versionJson()));
}

TEST_F(NeoForgeInstallerTest, HungInstallerIsEndedAtTheTimeBound) {
    control(R"({"installerHangs": true})");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(neoForge(std::chrono::milliseconds(1500)).InstallNeoForge("1.21.1", kPinned, {}));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(lastError(), "Установщик NeoForge не завершился за 1 с и был остановлен.");
    EXPECT_GE(elapsed, std::chrono::milliseconds(1500));
    EXPECT_LT(elapsed, std::chrono::seconds(8));
    EXPECT_FALSE(fs::exists(installerJar()));
}

TEST_F(NeoForgeInstallerTest, MissingJavaFailsWithItsPath) {
    fs::remove_all(javaHome);
    EXPECT_FALSE(neoForge().InstallNeoForge("1.21.1", kPinned, {}));
    const fs::path java = javaHome / "bin" / TargetPlatform::host().javaExecutable;
    EXPECT_EQ(lastError(), "Не найден " + TargetPlatform::host().javaExecutable + ": " +
                               platform::pathToUtf8(java));
    EXPECT_FALSE(fs::exists(installerJar()));
}

TEST_F(NeoForgeInstallerTest, InstallerThatWritesNoJsonForTheVersionFails) {
    // The jar served for 21.1.231 installs 21.1.230, so the expected JSON never appears.
    listBody = listOf({kPinned, "21.1.231"});
    server.get("/m/releases/net/neoforged/neoforge/21.1.231/neoforge-21.1.231-installer.jar",
               [this](const httplib::Request&, httplib::Response& response, const auto&) {
                   response.set_content(installerBytes, "application/java-archive");
               });
    EXPECT_FALSE(neoForge().InstallNeoForge("1.21.1", "21.1.231", {}));
    EXPECT_EQ(lastError(), "Установщик отработал, но " +
                               platform::pathToUtf8(versionJson("21.1.231")) + " не появился.");
    EXPECT_FALSE(fs::exists(installerJar("21.1.231")));
}

TEST_F(NeoForgeInstallerTest, InstallerDownloadFailureIsReported) {
    jarAvailable = false;
    EXPECT_FALSE(neoForge().InstallNeoForge("1.21.1", kPinned, {}));
    EXPECT_EQ(lastError().rfind("Не удалось скачать установщик NeoForge: ", 0), 0u) << lastError();
    EXPECT_FALSE(fs::exists(installerJar()));
}

TEST_F(NeoForgeInstallerTest, UnpinnedPicksTheLastReleaseOfTheLineWithoutBetas) {
    std::string version;
    auto neo = neoForge();
    ASSERT_TRUE(neo.ResolveNeoForgeVersion("1.21.1", "", version)) << lastError();
    EXPECT_EQ(version, "21.1.230");

    listBody = listOf({"20.6.119", "21.0.166-beta", "21.0.3", "21.0.4", "21.1.5"});
    ASSERT_TRUE(neo.ResolveNeoForgeVersion("1.21", "", version));
    EXPECT_EQ(version, "21.0.4");

    listBody = listOf({"21.1.229", "21.1.230/../../escape", "21.1.1-beta"});
    ASSERT_TRUE(neo.ResolveNeoForgeVersion("1.21.1", "", version));
    EXPECT_EQ(version, "21.1.229");

    EXPECT_FALSE(neo.ResolveNeoForgeVersion("1.20.1", "", version));
    EXPECT_EQ(lastError(), "Не найдено сборок NeoForge для Minecraft 1.20.1");

    statuses.clear();
    listBody = listOf({"21.1.229", kPinned});
    ASSERT_TRUE(neo.InstallNeoForge("1.21.1", "", recorder())) << lastError();
    EXPECT_EQ(installer.neoForgeVersion, kPinned);
    EXPECT_EQ(statuses.front(),
              std::make_pair(std::string("Поиск последней версии NeoForge..."), 66));
}

TEST_F(NeoForgeInstallerTest, PinnedVersionMustBeListedEvenWhenAnOlderOneIsInstalled) {
    writeFile(versionJson("21.1.228"), "{}");
    listBody = listOf({"21.1.228", "21.1.229"});
    EXPECT_FALSE(neoForge().InstallNeoForge("1.21.1", kPinned, {}));
    EXPECT_EQ(lastError(), "NeoForge 21.1.230 не найден в репозитории. Проверь версию сервера.");
    EXPECT_EQ(jarRequests, 0);
}

TEST_F(NeoForgeInstallerTest, MinecraftVersionWithoutADotFailsBeforeAnyRequest) {
    std::string version;
    EXPECT_FALSE(neoForge().ResolveNeoForgeVersion("121", kPinned, version));
    EXPECT_EQ(lastError().rfind("Некорректная версия Minecraft \"121\"", 0), 0u) << lastError();
    EXPECT_EQ(listRequests, 0);
}

TEST_F(NeoForgeInstallerTest, MalformedVersionListsAreReported) {
    const std::vector<std::string> bodies = {"<html>", R"({"isSnapshot": false})",
                                             R"({"versions": ["21.1.230", 5]})",
                                             R"({"versions": "21.1.230"})"};
    for (const auto& body : bodies) {
        listBody = body;
        std::string version;
        EXPECT_FALSE(neoForge().ResolveNeoForgeVersion("1.21.1", kPinned, version)) << body;
        EXPECT_EQ(lastError().rfind("Некорректный список версий NeoForge: ", 0), 0u) << lastError();
    }
}

TEST_F(NeoForgeInstallerTest, UnreachableRepositoryDoesNotStopAnInstalledGame) {
    listStatus = 503;
    EXPECT_FALSE(neoForge().InstallNeoForge("1.21.1", kPinned, {}));
    EXPECT_EQ(lastError().rfind("Не удалось получить список версий NeoForge: ", 0), 0u)
        << lastError();
    EXPECT_EQ(jarRequests, 0);

    writeFile(versionJson(), "{}");
    ASSERT_TRUE(neoForge().InstallNeoForge("1.21.1", kPinned, {})) << lastError();
    EXPECT_EQ(installer.neoForgeVersion, kPinned);
    EXPECT_TRUE(installer.lastError.empty());
    EXPECT_NE(err.find("[NeoForge] Не удалось получить список версий NeoForge: "),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("Использую установленный NeoForge 21.1.230."), std::string::npos) << err;

    listStatus = 200;
    listBody = "<html>captive portal</html>";
    ASSERT_TRUE(neoForge().InstallNeoForge("1.21.1", kPinned, {}));
    EXPECT_EQ(jarRequests, 0);
    EXPECT_EQ(listRequests, 3);

    std::string version;
    EXPECT_FALSE(neoForge().ResolveNeoForgeVersion("1.21.1", "", version))
        << "without a pin nothing on disk can stand in for the list";
}

TEST_F(NeoForgeInstallerTest, InstallsFromTheGeneratedMirror) {
    ASSERT_TRUE(server.mount("/mirror", Mirror::instance().root()));
    NeoForgeInstaller neo(installer, server.url("/mirror/maven"), TargetPlatform::host(),
                          [](LogStream, const std::wstring&) {});
    ASSERT_TRUE(neo.InstallNeoForge("1.21.1", "", {})) << lastError();
    EXPECT_EQ(installer.neoForgeVersion, kPinned);
    EXPECT_TRUE(fs::exists(versionJson()));
    EXPECT_TRUE(fs::exists(gameDir / "libraries/net/neoforged/fancymodloader/earlydisplay/4.0.42/"
                                     "earlydisplay-4.0.42.jar"));
}

} // namespace
} // namespace qbk
